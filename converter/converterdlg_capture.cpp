// The converter window's capture commands: one step of a conversion run on timer 1 and the
// exports of the context menu, as thin callers of the capture code.
#include <QFile>
#include <QSlider>
#include <functional>

#include "capture/conversion_run.h"
#include "capture/exportdialog.h"
#include "capture/exports.h"
#include "capture/workfolders.h"
#include "controls/filedialogs.h"
#include "controls/flashplayerwidget.h"
#include "controls/numberspin.h"
#include "controls/playercontrol.h"
#include "controls/shockwaveflash.h"
#include "converter/converterdlg.h"
#include "converter/outputfolder.h"
#include "converter/statusline.h"
#include "platform/messagebox.h"
#include "res/resource.h"

namespace {

constexpr const char* kNoMovieText = "No swf files!";

std::string BytesFromPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}
QString PathFromBytes(const std::string& bytes) {
    return QFile::decodeName(QByteArray::fromStdString(bytes));
}

// The window's player: positioned through its dispatch members, drawn through its drawing
// interface (none: nothing is drawn).
class CWindowFrameSource : public capture::FrameSource {
  public:
    CWindowFrameSource(CPlayerControl& player, CViewObject* view) : player_(player), view_(view) {}
    long CurrentFrame() const override { return player_.CurrentFrame(); }
    long TotalFrames() const override { return player_.GetTotalFrames(); }
    void GotoFrame(long frame) override { player_.GotoFrame(frame); }
    void Rewind() override { player_.Rewind(); }
    bool Draw(CSurface& target) override {
        if (!view_ || !target.IsValid()) return false;
        view_->Draw(target, RECT{0, 0, target.Width(), target.Height()});
        return true;
    }

  private:
    CPlayerControl& player_;
    CViewObject* view_;
};

class CWindowRunObserver : public capture::RunObserver {
  public:
    std::function<void()> disable;
    std::function<void(long, long)> show;
    std::function<void()> finished;
    void DisableControls() override { disable(); }
    void ShowPosition(long frame, long total) override { show(frame, total); }
    void Finished() override { finished(); }
};

}  // namespace

// A conversion run in progress with the pieces it talks to.
struct CCaptureSession {
    CCaptureSession(CPlayerControl& player, CViewObject* view, capture::RunSettings settings)
        : source(player, view), run(source, std::move(settings), &observer) {}
    CWindowFrameSource source;
    CWindowRunObserver observer;
    capture::ConversionRun run;
};

void CConverterDlg::ConversionStep() {
    if (!m_pCapture) {
        capture::RunSettings settings;
        settings.moviePath = BytesFromPath(m_strMovie);
        settings.outputFolder = g_strOutputFolder;
        settings.workFolder = capture::ConversionWorkFolder(g_strOutputFolder);
        settings.captureWidth = m_rectPlayer.Width();
        settings.captureHeight = m_rectPlayer.Height();
        settings.frameRate = m_nFrameRate;
        m_pCapture = std::make_shared<CCaptureSession>(*m_flashPlayer, m_pViewObject, settings);
        CWindowRunObserver& observer = m_pCapture->observer;
        observer.disable = [this] {
            if (m_playerView) m_playerView->SetInputEnabled(false);
            EnableItem(IDC_OPEN, false);
            DisableExportControls();
        };
        observer.show = [this](long frame, long total) {
            m_slider->setValue(static_cast<int>(static_cast<long long>(frame) * 100 / total));
            m_spinFrame->SetValue(static_cast<double>(frame));
        };
        observer.finished = [this] {
            if (m_playerView) m_playerView->SetInputEnabled(true);
            m_bConverting = 0;
            KillTimer1();
            EnableExportControls();
            EnableItem(IDC_OPEN, true);
            EnableItem(IDC_START, true);
            EnableItem(IDC_PAUSE, false);
        };
    }
    // The session must outlive the step that ends it.
    const std::shared_ptr<CCaptureSession> session = m_pCapture;
    session->run.Step();
    if (session->run.IsActive()) return;
    lastCaptureError_ = session->run.Error();
    if (session->run.Outcome() != capture::RunOutcome::GifWritten)
        ReportRunWithoutGif(lastCaptureError_);
    m_pCapture.reset();
}

// A movie that did not load has no frames to step: why it did not load says more than that.
void CConverterDlg::ReportRunWithoutGif(const std::string& reason) {
    std::string why = reason;
    if (m_flashPlayer->GetTotalFrames() <= 0) {
        const std::string problem = m_flashPlayer->LoadProblem();
        if (!problem.empty()) why = problem;
    }
    statusLine_->Say(why.empty() ? QString("No GIF was written.")
                                 : "No GIF was written: " + PathFromBytes(why));
}

void CConverterDlg::OnExportSingle() {
    if (m_strMovie.isEmpty()) {
        AfxMessageBox(kNoMovieText, MB_OK);
        return;
    }
    std::string path = BytesFromPath(m_strExportFile);
    if (!PromptSaveImage(path)) return;
    m_strExportFile = PathFromBytes(path);
    if (!m_pViewObject) return;
    CWindowFrameSource source(*m_flashPlayer, m_pViewObject);
    lastCaptureError_.clear();
    statusLine_->Clear();
    if (!capture::ExportSingleFrame(source, m_rectPlayer.Width(), m_rectPlayer.Height(),
                                    m_nOutputWidth, m_nOutputHeight, path, &lastCaptureError_))
        statusLine_->Say(lastCaptureError_.empty()
                             ? QString("The frame was not exported.")
                             : "The frame was not exported: " + PathFromBytes(lastCaptureError_));
}

namespace {

void ExportSequence(const QString& movie, const char* extension, int width, int height) {
    CExportDialog dialog;
    dialog.m_strMovie = movie;
    dialog.m_strExtension = extension;
    dialog.m_strOutputFolder = g_strOutputFolder;
    dialog.m_nExportWidth = width;
    dialog.m_nExportHeight = height;
    dialog.m_rectExport = RECT{0, 0, width, height};
    dialog.DoModal();
}

}  // namespace

void CConverterDlg::OnExportBmp() {
    if (m_strMovie.isEmpty()) {
        AfxMessageBox(kNoMovieText, MB_OK);
        return;
    }
    ExportSequence(m_strMovie, ".bmp", m_nOutputWidth, m_nOutputHeight);
}

void CConverterDlg::OnExportTga() {
    if (m_strMovie.isEmpty()) {
        AfxMessageBox(kNoMovieText, MB_OK);
        return;
    }
    ExportSequence(m_strMovie, ".tga", m_nOutputWidth, m_nOutputHeight);
}
