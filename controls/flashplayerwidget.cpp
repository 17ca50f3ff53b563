#include "controls/flashplayerwidget.h"

#include <QImage>
#include <QPainter>

#include "platform/surface.h"

CFlashPlayerWidget::CFlashPlayerWidget(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    connect(&m_clock, &QTimer::timeout, this, &CFlashPlayerWidget::OnClockTick);
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
