// The widget that hosts CShockwaveflash in a window: it drives the control's playback clock
// with a QTimer while it plays and shows the frame the control currently shows.
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

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void OnClockTick();
    void SyncClock();

    CShockwaveflash m_control;
    QTimer m_clock;
};
