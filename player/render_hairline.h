// Thin strokes drawn without cairo's general stroker: the line's outline built as a polygon in
// device pixels, its exact-area coverage accumulated into an 8-bit mask, and the mask composited
// in the line's colour. For the lines up to a pixel and a half wide that outline most shapes,
// this costs a fraction of stroking.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <vector>

#include "player/model.h"

namespace player {

struct DevicePoint {
    double x = 0, y = 0;
};

// The centre of the pixel a one-pixel line through v covers: the line spans [v - 0.5, v + 0.5),
// so a line on a pixel boundary falls on the pixel before it.
double PixelCentre(double v);

// A closed polygon in device pixels.
using Loop = std::vector<DevicePoint>;

// Signed-area coverage of polygons inside a box of whole pixels, resolved with the nonzero rule
// (a pixel's coverage is the sum of what every loop covers of it, at most full).
class CoverageMask {
  public:
    // Pixels a mask may hold: a box larger than this is left to cairo.
    static constexpr std::int64_t kMaxPixels = 1 << 16;

    // Starts an empty mask whose top-left pixel is (x0, y0). False when the box is empty or
    // holds more than kMaxPixels.
    bool Reset(int x0, int y0, int width, int height);
    // Adds a closed loop; every point must lie inside the box.
    void AddLoop(const Loop& loop);
    // Turns what was added into 8-bit coverage rows of `stride` bytes, and clears the
    // accumulation for the next use.
    void Resolve(std::vector<std::uint8_t>& out, int stride);

    int X0() const { return x0_; }
    int Y0() const { return y0_; }
    int Width() const { return width_; }
    int Height() const { return height_; }

  private:
    void AddEdge(double xa, double ya, double xb, double yb);

    int x0_ = 0, y0_ = 0, width_ = 0, height_ = 0;
    // One row is width_ + 2 cells: an edge on the box's right side leaves its remainder in the
    // cell past it.
    std::vector<float> cells_;
    bool dirty_ = false;  // cells added to and not yet resolved
};

// Lines narrower than this (in device pixels) are drawn as outlines.
inline constexpr double kMaxHairlineWidth = 1.5;

struct HairlineStyle {
    double width = 1;  // device pixels, above 0 and below kMaxHairlineWidth
    CapStyle cap = CapStyle::kRound;
    JoinStyle join = JoinStyle::kRound;
    double miterLimit = 3;
};

// The outline of a thin stroke along `path` (in the user space `toDevice` maps from), with
// every point moved to its pixel's centre as one-pixel lines are drawn. Gentle turns take one
// mitred point whatever the join (it lies within a hundredth of a pixel of the round join).
// False, with `loops` unspecified, when the path needs the general stroker: a sub-path of one
// point, a turn too sharp for its short sides, a curve too large, or too many points.
bool HairlineOutline(const cairo_path_t* path, const cairo_matrix_t& toDevice,
                     const HairlineStyle& style, std::vector<Loop>& loops);

}  // namespace player
