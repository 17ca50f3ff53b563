#include "controls/flashplayerwidget.h"

#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "platform/surface.h"

CFlashPlayerWidget::CFlashPlayerWidget(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    connect(&m_clock, &QTimer::timeout, this, &CFlashPlayerWidget::OnClockTick);
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus);
}

namespace {

// A Qt key as the movie knows it: its Key code, or 0 for a key it has none for.
int MovieKeyCode(int qtKey) {
    if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9))
        return qtKey;  // the same codes
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F12) return 112 + (qtKey - Qt::Key_F1);
    switch (qtKey) {
        case Qt::Key_Space: return 32;
        case Qt::Key_Return:
        case Qt::Key_Enter: return 13;
        case Qt::Key_Escape: return 27;
        case Qt::Key_Tab: return 9;
        case Qt::Key_Backspace: return 8;
        case Qt::Key_Delete: return 46;
        case Qt::Key_Insert: return 45;
        case Qt::Key_Home: return 36;
        case Qt::Key_End: return 35;
        case Qt::Key_PageUp: return 33;
        case Qt::Key_PageDown: return 34;
        case Qt::Key_Left: return 37;
        case Qt::Key_Up: return 38;
        case Qt::Key_Right: return 39;
        case Qt::Key_Down: return 40;
        case Qt::Key_Shift: return 16;
        case Qt::Key_Control: return 17;
        default: return 0;
    }
}

}  // namespace

void CFlashPlayerWidget::SendPointer(player::InputEvent::Kind kind, const QPointF& at) {
    double x = 0, y = 0;
    if (!m_inputEnabled || !m_control.ViewToStage(width(), height(), at.x(), at.y(), &x, &y))
        return;
    player::InputEvent event;
    event.kind = kind;
    event.x = x;
    event.y = y;
    m_control.SendInput(event);
    if (kind != player::InputEvent::Kind::kMove) Deliver();
}

void CFlashPlayerWidget::SendKey(player::InputEvent::Kind kind, QKeyEvent* event) {
    const int code = MovieKeyCode(event->key());
    if (!m_inputEnabled || code == 0 || event->isAutoRepeat()) return;
    player::InputEvent input;
    input.kind = kind;
    input.keyCode = code;
    const QString text = event->text();
    if (!text.isEmpty() && text.at(0).unicode() < 0x7F) input.ascii = text.at(0).unicode();
    m_control.SendInput(input);
    Deliver();
}

void CFlashPlayerWidget::Deliver() {
    if (m_clock.isActive()) return;  // the next tick takes it
    m_control.AdvancePlayback();
    SyncClock();
}

void CFlashPlayerWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        SendPointer(player::InputEvent::Kind::kPress, event->position());
}

void CFlashPlayerWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        SendPointer(player::InputEvent::Kind::kRelease, event->position());
}

void CFlashPlayerWidget::mouseMoveEvent(QMouseEvent* event) {
    SendPointer(player::InputEvent::Kind::kMove, event->position());
}

void CFlashPlayerWidget::keyPressEvent(QKeyEvent* event) {
    SendKey(player::InputEvent::Kind::kKeyDown, event);
}

void CFlashPlayerWidget::keyReleaseEvent(QKeyEvent* event) {
    SendKey(player::InputEvent::Kind::kKeyUp, event);
}

void CFlashPlayerWidget::SetMovie(const std::string& path) {
    m_control.SetMovie(path);
    SyncClock();
}

void CFlashPlayerWidget::SetLoop(BOOL loop) {
    m_control.SetLoop(loop);
}

void CFlashPlayerWidget::Play() {
    m_control.Play();
    SyncClock();
}

void CFlashPlayerWidget::Stop() {
    m_control.Stop();
    SyncClock();
}

void CFlashPlayerWidget::Rewind() {
    m_control.Rewind();
    update();
}

long CFlashPlayerWidget::GetTotalFrames() const {
    return m_control.GetTotalFrames();
}

void CFlashPlayerWidget::StopPlay() {
    m_control.StopPlay();
    SyncClock();
}

void CFlashPlayerWidget::GotoFrame(long frame) {
    m_control.GotoFrame(frame);
    update();
}

long CFlashPlayerWidget::CurrentFrame() const {
    return m_control.CurrentFrame();
}
BOOL CFlashPlayerWidget::IsPlaying() const {
    return m_control.IsPlaying();
}

void CFlashPlayerWidget::OnClockTick() {
    m_control.OnPlaybackTimer();
    SyncClock();
}

// Runs the clock exactly while the control plays, and shows the frame.
void CFlashPlayerWidget::SyncClock() {
    if (m_control.IsPlaying()) {
        const int interval = std::max(1, m_control.PlaybackIntervalMs());
        if (!m_clock.isActive() || m_clock.interval() != interval) m_clock.start(interval);
    } else {
        m_clock.stop();
    }
    update();
}

void CFlashPlayerWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    CSurface surface(width(), height());
    if (!surface.IsValid()) return;
    surface.Fill(0xFFFFFFFF);
    m_control.DrawFrame(surface, RECT{0, 0, width(), height()});
    const QImage frame(surface.Pixels(), surface.Width(), surface.Height(), surface.Stride(),
                       QImage::Format_ARGB32_Premultiplied);
    painter.drawImage(0, 0, frame);
}
