// The drawing work of one frame, counted in pixels composited and texels sampled, against the
// frame's budget: the last line of defence that keeps any frame, whatever it draws, within
// seconds. Counted rather than timed, so a picture never depends on the machine: past the
// budget the rest of that frame is left out, on every machine alike.
#pragma once

#include <cairo.h>

#include <cstdint>

namespace player {

// What the work of one pixel costs in units, against one unit for a plain pixel composited
// (measured: a unit is about half a nanosecond to a nanosecond and a half on one core).
// A filter over a layer pixel: a box blur reads and writes every channel of a pixel in two
// directions for each of up to three passes.
inline constexpr std::int64_t kFilterWorkPerPixel = 32;
// A layer pixel: cleared, drawn into, and composited with its blend mode.
inline constexpr std::int64_t kLayerWorkPerPixel = 6;
// A pixel of a radial gradient (a square root and a division), beyond the composite, and
// one more for every so many colour stops of any gradient (linear-light ramps have hundreds).
inline constexpr int kRadialGradientWork = 16;
inline constexpr int kGradientStopsPerWork = 4;

class FrameWork {
  public:
    explicit FrameWork(std::int64_t budget) : budget_(budget) {}

    // A new frame, with the whole budget.
    void Begin() {
        done_ = 0;
        spent_ = false;
    }
    // Counts `units` of work; false, and spent for the rest of the frame, when they are not
    // left. Negative units count as none.
    bool Charge(std::int64_t units);
    // For work the frame can do without (a filter): counts `units` when they are left, and
    // otherwise returns false leaving the frame to go on.
    bool ChargeIfLeft(std::int64_t units);
    bool Spent() const { return spent_; }
    std::int64_t Done() const { return done_; }

  private:
    std::int64_t budget_;
    std::int64_t done_ = 0;
    bool spent_ = false;
};

// Device pixels of the current path's bounding box grown by `margin` on every side, within the
// current clip: what filling (or stroking, with half the line width as margin) it can touch.
std::int64_t PathPixels(cairo_t* cr, double margin = 0);
// Device pixels of the current clip.
std::int64_t ClipPixels(cairo_t* cr);
// Device pixels of a device-space box within the current clip.
std::int64_t BoxPixels(cairo_t* cr, double x0, double y0, double x1, double y1);

}  // namespace player
