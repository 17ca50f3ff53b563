// The widget that hosts CShockwaveflash in a window: it drives the control's playback clock
// with a QTimer while it plays and shows the frame the control currently shows. While input is
// on, the user's clicks, pointer moves and keys over it reach the movie.
#pragma once

#include <QTimer>
#include <QWidget>

#include "controls/playercontrol.h"
#include "controls/shockwaveflash.h"

class CFlashPlayerWidget : public QWidget, public CPlayerControl {
    Q_OBJECT
  public:
    explicit CFlashPlayerWidget(QWidget* parent = nullptr);

    CShockwaveflash& Control() { return m_control; }

    void SetMovie(const std::string& path) override;
    void SetLoop(BOOL loop) override;
    void Play() override;
    void Stop() override;
    void Rewind() override;
    long GetTotalFrames() const override;
    void StopPlay() override;
    void GotoFrame(long frame) override;
    long CurrentFrame() const override;
    BOOL IsPlaying() const override;
    std::string LoadProblem() const override { return m_control.LoadProblem(); }
    // Whether the user's pointer and keys reach the movie (off while a conversion runs).
    void SetInputEnabled(bool enabled) { m_inputEnabled = enabled; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

  private:
    void OnClockTick();
    void SyncClock();

    void SendPointer(player::InputEvent::Kind kind, const QPointF& at);
    void SendKey(player::InputEvent::Kind kind, QKeyEvent* event);
    // Delivers what was sent: a movie not playing is stepped one tick so its scripts hear it.
    void Deliver();

    CShockwaveflash m_control;
    QTimer m_clock;
    bool m_inputEnabled = true;
};
