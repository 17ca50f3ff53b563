#include "capture/frame_source.h"

#include <algorithm>

#include "controls/shockwaveflash.h"

namespace capture {

namespace {

bool DrawControl(CShockwaveflash& control, CSurface& target) {
    if (!target.IsValid() || control.GetTotalFrames() <= 0) return false;
    CViewObject* view = control.QueryViewObject();
    if (!view) return false;
    view->Draw(target, RECT{0, 0, target.Width(), target.Height()});
    return true;
}

}  // namespace

long ControlFrameSource::CurrentFrame() const {
    return control_.CurrentFrame();
}
long ControlFrameSource::TotalFrames() const {
    return control_.GetTotalFrames();
}
void ControlFrameSource::GotoFrame(long frame) {
    control_.GotoFrame(frame);
}
void ControlFrameSource::Rewind() {
    control_.Rewind();
}
bool ControlFrameSource::Draw(CSurface& target) {
    return DrawControl(control_, target);
}

FrameRangeSource::FrameRangeSource(FrameSource& inner, long first, long last) : inner_(inner) {
    const long total = inner.TotalFrames();
    first_ = std::clamp(first, 0L, std::max(total - 1, 0L));
    const long end = std::clamp(last, first_, std::max(total - 1, 0L));
    count_ = total > 0 ? end - first_ + 1 : 0;
}

long FrameRangeSource::CurrentFrame() const {
    return std::max(inner_.CurrentFrame() - first_, 0L);
}
long FrameRangeSource::TotalFrames() const {
    return count_;
}

void FrameRangeSource::GotoFrame(long frame) {
    inner_.GotoFrame(first_ + std::clamp(frame, 0L, std::max(count_ - 1, 0L)));
}

void FrameRangeSource::Rewind() {
    GotoFrame(0);
}

PlaybackTickSource::PlaybackTickSource(CShockwaveflash& control, long ticks)
    : control_(control), ticks_(control.GetTotalFrames() > 0 ? std::max(ticks, 0L) : 0) {
    Rewind();
}

void PlaybackTickSource::GotoFrame(long frame) {
    const long target = std::clamp(frame, 0L, std::max(ticks_ - 1, 0L));
    if (target < tick_) Rewind();
    while (tick_ < target) {
        control_.AdvancePlayback();
        ++tick_;
    }
}

void PlaybackTickSource::Rewind() {
    // From a fresh start, as a player starts it: a stop on the first frame holds the root.
    control_.SetLoop(TRUE);
    control_.GotoFrame(0);
    control_.Rewind();
    tick_ = 0;
}

bool PlaybackTickSource::Draw(CSurface& target) {
    return DrawControl(control_, target);
}

}  // namespace capture
