// CConverterDlg: the converter window. It hosts the player, lists the loaded movie's header,
// plays and steps the movie, holds the export settings and owns the state that the conversion
// run and the exports work on.
#pragma once

#include <QDialog>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <map>
#include <memory>
#include <string>

#include "platform/wintypes.h"

class CDataExchange;
class CFlashPlayerWidget;
class CNumberSpin;
class CPlayerControl;
class CStatusLine;
class CViewObject;
class QButtonGroup;
class QLabel;
class QLineEdit;
class QMimeData;
class QPushButton;
class QRadioButton;
class QSlider;
class QTreeWidget;
struct CCaptureSession;

class CConverterDlg : public QDialog {
    Q_OBJECT
  public:
    // `player` replaces the hosted control's dispatch members (tests); the hosted control still
    // shows in the window.
    explicit CConverterDlg(QWidget* parent = nullptr, CPlayerControl* player = nullptr);
    ~CConverterDlg() override;

    QWidget* GetDlgItem(int id) const;
    // Load (false) or save-and-validate (true) data exchange; false when validation failed.
    bool UpdateData(bool saveAndValidate = true);
    bool IsTimerRunning() const { return m_timer.isActive(); }

    // Opens a movie as the Open command does once a file is chosen.
    void OpenMovie(const QString& path);

    // Command handlers.
    void OnSysCommand(int id);
    void OnTimer(int idEvent);
    void OnStart();
    void OnPause();
    void OnConvert();
    void OnSliderReleased();
    void OnFrameRateKillFocus();
    void OnContextMenu(QPoint screenPoint);
    void OnExportSingle();
    void OnSizeOption();
    void OnDestroy();
    void OnSizeEditKillFocus();
    void OnExportTga();
    void OnExportBmp();
    void OnBuyNow();
    void OnHelpFile();
    void OnAbout();
    void OnExit();
    void OnOpen();
    void OnSpinDelta(int position, int delta);
    void OnBrowseFolder();

    // Window operations the conversion run uses.
    void DisableExportControls();
    void EnableExportControls();
    void TogglePlayback();
    void ShowMovieProperties();
    void PrepareWorkFolder();

    QLineEdit* m_editOutputFolder = nullptr;
    CFlashPlayerWidget* m_playerView = nullptr;
    CPlayerControl* m_flashPlayer = nullptr;
    QString m_strMovie;
    QString m_strExportFile;
    RECT m_rectPlayer;
    QTreeWidget* m_listProperties = nullptr;
    CViewObject* m_pViewObject = nullptr;
    CNumberSpin* m_spinFrame = nullptr;
    BYTE m_bPlaying = 0;
    BYTE m_bConverting = 0;
    int m_nOutputWidth = 0;
    int m_nOutputHeight = 0;
    int m_nMovieWidth = 0;
    int m_nMovieHeight = 0;
    // The conversion run in progress (its GIF and delay tag with it); null outside a run.
    std::shared_ptr<CCaptureSession> m_pCapture;
    int m_nFrameRate = 1;

    // Why the last conversion run or single-frame export wrote nothing ("" after a success),
    // kept for a status line; the window shows no message box for it.
    const std::string& LastCaptureError() const { return lastCaptureError_; }
    // What the status line below the buttons says ("" when it is blank).
    QString StatusMessage() const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    // A movie file dropped on the window is opened as Open opens it (not during a run).
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void CreateControls();
    void BindCommands();
    void OnInitDialog();
    void DoDataExchange(CDataExchange& dx);
    void InsertPropertyRow(const QStringList& texts, int row);
    void EnableItem(int id, bool enable);
    void SetTimer1();
    void KillTimer1();
    // One step of a conversion run, on timer 1 while m_bConverting is set.
    void ConversionStep();
    // Focus left a validated edit: validate once the focus change has settled.
    void QueueValidation(void (CConverterDlg::*handler)());
    void RunValidation(void (CConverterDlg::*handler)());
    bool RouteRightButton(QObject* watched, QEvent* event);
    // The local file a drag carries that the window would open, or "" when it takes none.
    QString DroppableMovie(const QMimeData* data) const;
    // Says on the status line why the movie just opened is no movie or ends early.
    void ReportLoadProblem();
    // Says on the status line why a run that has ended wrote no GIF.
    void ReportRunWithoutGif(const std::string& reason);

    std::map<int, QWidget*> m_items;
    QSlider* m_slider = nullptr;
    QLineEdit* m_editWidth = nullptr;
    QLineEdit* m_editHeight = nullptr;
    QLineEdit* m_editFrameRate = nullptr;
    QLineEdit* m_editFrame = nullptr;
    QLabel* m_labelFrameCount = nullptr;
    QButtonGroup* m_sizeOptions = nullptr;
    QTimer m_timer;
    bool m_bValidating = false;
    std::string lastCaptureError_;
    CStatusLine* statusLine_ = nullptr;
};
