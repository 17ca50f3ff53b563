// What the capture code needs from a player: its position, stepping, and drawing the frame it
// shows at any size. Adapters cover the player control, a range of its frames, and playback
// ticks of a movie that animates inside its clips.
#pragma once

#include "platform/surface.h"

class CShockwaveflash;

namespace capture {

class FrameSource {
  public:
    virtual ~FrameSource() = default;
    virtual long CurrentFrame() const = 0;  // zero-based
    virtual long TotalFrames() const = 0;
    virtual void GotoFrame(long frame) = 0;
    virtual void Rewind() = 0;
    // Draws the current frame fitted into the whole surface; false when nothing can be drawn.
    virtual bool Draw(CSurface& target) = 0;
};

// The player control, drawn through its drawing interface.
class ControlFrameSource : public FrameSource {
  public:
    explicit ControlFrameSource(CShockwaveflash& control) : control_(control) {}
    long CurrentFrame() const override;
    long TotalFrames() const override;
    void GotoFrame(long frame) override;
    void Rewind() override;
    bool Draw(CSurface& target) override;

  private:
    CShockwaveflash& control_;
};

// Frames first..last of another source, numbered from 0. The range is clamped to the source.
class FrameRangeSource : public FrameSource {
  public:
    FrameRangeSource(FrameSource& inner, long first, long last);
    long CurrentFrame() const override;
    long TotalFrames() const override;
    void GotoFrame(long frame) override;
    void Rewind() override;
    bool Draw(CSurface& target) override { return inner_.Draw(target); }

  private:
    FrameSource& inner_;
    long first_ = 0;
    long count_ = 0;
};

// `ticks` ticks of playback of the control as a player plays them (the root loops and obeys
// its own actions, clips keep running); frame k is the picture after k ticks from the start.
class PlaybackTickSource : public FrameSource {
  public:
    PlaybackTickSource(CShockwaveflash& control, long ticks);
    long CurrentFrame() const override { return tick_; }
    long TotalFrames() const override { return ticks_; }
    void GotoFrame(long frame) override;
    void Rewind() override;
    bool Draw(CSurface& target) override;

  private:
    CShockwaveflash& control_;
    long ticks_ = 0;
    long tick_ = 0;
};

}  // namespace capture
