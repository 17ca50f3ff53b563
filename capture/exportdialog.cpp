#include "capture/exportdialog.h"

#include <QLabel>
#include <QProgressBar>

#include "capture/exports.h"
#include "platform/prompt.h"
#include "res/templates.h"

namespace {

constexpr int kTimer1 = 1;
constexpr int kTimerPeriodMs = 100;

inline constexpr DialogTemplate kExportDialog{"FILMCAST CONVERTER 1.0", {0, 0, 251, 73}};
// The hidden player of the template (40 x 15 units) is not shown: it draws off screen at the
// output size, so it has no widget here.
inline constexpr ControlTemplate kExportProgress{
    IDC_EXPORT_PROGRESS, ControlKind::Static, "", {7, 33, 237, 14}};
inline constexpr ControlTemplate kExportCaption{
    -1, ControlKind::Static, "Export Process", {7, 13, 60, 8}};
inline constexpr ControlTemplate kExportCount{
    IDC_EXPORT_COUNT, ControlKind::Static, "", {180, 13, 64, 8}};

void Place(QWidget* widget, const DialogRect& units) {
    const DialogRect px = DialogUnitsToPixels(units);
    widget->setGeometry(px.x, px.y, px.width, px.height);
}

std::string Bytes(const QString& text) {
    return text.toUtf8().toStdString();
}

}  // namespace

CExportDialog::CExportDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(kExportDialog.caption);
    const DialogRect size = DialogUnitsToPixels(kExportDialog.size);
    setFixedSize(size.width, size.height);
    auto* caption = new QLabel(kExportCaption.caption, this);
    Place(caption, kExportCaption.rect);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QString("control%1").arg(IDC_EXPORT_PROGRESS));
    m_progress->setTextVisible(false);
    Place(m_progress, kExportProgress.rect);
    m_labelCount = new QLabel(this);
    m_labelCount->setObjectName(QString("control%1").arg(IDC_EXPORT_COUNT));
    Place(m_labelCount, kExportCount.rect);
    m_timer.setInterval(kTimerPeriodMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { OnTimer(kTimer1); });
}

CExportDialog::~CExportDialog() = default;

QWidget* CExportDialog::GetDlgItem(int id) const {
    if (id == IDC_EXPORT_PROGRESS) return m_progress;
    if (id == IDC_EXPORT_COUNT) return m_labelCount;
    return nullptr;
}

int CExportDialog::DoModal() {
    prompt::Request request;
    request.kind = prompt::Kind::Modal;
    request.title = windowTitle().toStdString();
    if (auto answer = prompt::Intercept(request)) {
        if (!answer->accepted) return IDCANCEL;
        OnInitDialog();
        while (!m_bFinished) OnTimer(kTimer1);
        return IDCANCEL;
    }
    return exec();
}

void CExportDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_bInitialised) OnInitDialog();
}

void CExportDialog::OnInitDialog() {
    m_bInitialised = true;
    m_flashPlayer.Stop();
    m_flashPlayer.SetMovie(Bytes(m_strMovie));
    m_flashPlayer.Stop();
    m_nTotalFrames = static_cast<int>(m_flashPlayer.GetTotalFrames());
    // The range is passed as two 16-bit halves in the original control message.
    m_progress->setRange(0, m_nTotalFrames & 0xFFFF);
    m_progress->setValue(0);
    m_timer.start();
}

void CExportDialog::OnTimer(int) {
    if (m_bFinished) return;
    int p = m_progress->value();
    if (p < m_nTotalFrames) {
        m_flashPlayer.GotoFrame(p);
        CaptureFrame();
        ++p;
        m_progress->setValue(p);
        m_labelCount->setText(QString::asprintf("%d/%d", p, m_nTotalFrames));
    }
    if (p >= m_nTotalFrames) OnCancel();
}

void CExportDialog::CaptureFrame() {
    capture::SequenceExport settings;
    settings.moviePath = Bytes(m_strMovie);
    settings.outputFolder = m_strOutputFolder;
    settings.extension = m_strExtension;
    settings.width = m_rectExport.Width();
    settings.height = m_rectExport.Height();
    capture::WriteSequenceFrame(m_source, settings);
}

void CExportDialog::OnCancel() {
    m_bFinished = true;
    m_timer.stop();
    reject();
}
