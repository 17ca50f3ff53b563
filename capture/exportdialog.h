// CExportDialog: the export progress window (template 131). It loads the movie into a hidden
// player of its own at the output size and writes one numbered BMP or TGA file per timer tick
// into "Tarnwick_reelcast/" below the output folder, closing itself after the last frame.
#pragma once

#include <QDialog>
#include <QString>
#include <QTimer>
#include <memory>
#include <string>

#include "capture/frame_source.h"
#include "controls/shockwaveflash.h"
#include "platform/wintypes.h"

class QLabel;
class QProgressBar;

constexpr int IDD_EXPORT_DIALOG = 131;
constexpr int IDC_EXPORT_PROGRESS = 1021;
constexpr int IDC_EXPORT_COUNT = 1022;
constexpr int IDC_EXPORT_PLAYER = 1025;

class CExportDialog : public QDialog {
    Q_OBJECT
  public:
    explicit CExportDialog(QWidget* parent = nullptr);
    ~CExportDialog() override;

    // Runs the window modally through the prompt seam. When a test answers the seam, the
    // export runs to its end without an event loop (or not at all when the answer cancels).
    int DoModal();

    void OnInitDialog();
    void OnTimer(int idEvent);
    void CaptureFrame();

    QWidget* GetDlgItem(int id) const;
    bool IsFinished() const { return m_bFinished; }

    // Set by the caller before DoModal.
    QString m_strMovie;
    std::string m_strExtension = ".bmp";
    std::string m_strOutputFolder;  // "/"-terminated or empty
    int m_nExportWidth = 0;
    int m_nExportHeight = 0;
    RECT m_rectExport{0, 0, 320, 480};

    int m_nTotalFrames = 0;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void OnCancel();

    CShockwaveflash m_flashPlayer;
    capture::ControlFrameSource m_source{m_flashPlayer};
    QProgressBar* m_progress = nullptr;
    QLabel* m_labelCount = nullptr;
    QTimer m_timer;
    bool m_bInitialised = false;
    bool m_bFinished = false;
};
