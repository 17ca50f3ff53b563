// A frame source for capture tests: N frames, frame k drawn as one solid colour that tests can
// look for in the pages and files written.
#pragma once

#include <algorithm>
#include <cstdint>

#include "capture/frame_source.h"

class FakeFrameSource : public capture::FrameSource {
  public:
    explicit FakeFrameSource(long total, long start = 0) : total_(total), current_(start) {}

    // Distinct, well-separated opaque colours (0xRRGGBB) for each frame.
    static std::uint32_t ColourOf(long frame) {
        static const std::uint32_t colours[] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00,
                                                0x00FFFF, 0xFF00FF, 0x000000, 0xFFFFFF};
        return colours[frame % 8];
    }

    long CurrentFrame() const override { return current_; }
    long TotalFrames() const override { return total_; }
    void GotoFrame(long frame) override {
        current_ = std::clamp(frame, 0L, std::max(total_ - 1, 0L));
    }
    void Rewind() override { current_ = 0; }
    bool Draw(CSurface& target) override {
        if (!drawable) return false;
        target.Fill(0xFF000000u | ColourOf(current_));
        ++draws;
        return true;
    }

    bool drawable = true;
    int draws = 0;

  private:
    long total_;
    long current_;
};
