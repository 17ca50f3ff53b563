// Shapes drawn from coverage we compute ourselves rather than through cairo's rasterizer: a
// shape's outline flattened to polygons in device pixels, their exact-area coverage accumulated
// into an 8-bit mask, and the mask composited with the shape's colour or gradient. Strokes get
// their outline built here instead of by cairo's stroker; fills use their own path. For the
// small shapes and thin lines most movies are made of, this costs a fraction of cairo's
// rasterizer.
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

enum class FillRule { kNonZero, kEvenOdd };

// Signed-area coverage of polygons inside a box of whole pixels. With the nonzero rule a pixel's
// coverage is the sum of what every loop covers of it, at most full; with even-odd, what an odd
// count of loops covers.
class CoverageMask {
  public:
    // Pixels a mask may hold: a box larger than this is left to cairo.
    static constexpr std::int64_t kMaxPixels = 1 << 18;

    // Starts an empty mask whose top-left pixel is (x0, y0). False when the box is empty or
    // holds more than kMaxPixels.
    bool Reset(int x0, int y0, int width, int height);
    // Adds a closed loop; every point must lie inside the box.
    void AddLoop(const Loop& loop);
    // Turns what was added into 8-bit coverage rows of `stride` bytes, and clears the
    // accumulation for the next use.
    void Resolve(std::vector<std::uint8_t>& out, int stride, FillRule rule = FillRule::kNonZero);

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

// Lines narrower than this (in device pixels) run through pixel centres: a one-pixel line lands
// on one row or column instead of smearing over two.
inline constexpr double kMaxHairlineWidth = 1.5;
// The widest line outlined here, in device pixels.
inline constexpr double kMaxOutlinedWidth = 64;

struct StrokeStyle {
    double width = 1;  // device pixels, above 0 and at most kMaxOutlinedWidth
    CapStyle cap = CapStyle::kRound;
    JoinStyle join = JoinStyle::kRound;
    double miterLimit = 3;
};

// The outline of a stroke along `path` (in the user space `toDevice` maps from); a hairline's
// points are moved to their pixels' centres first. Gentle turns take one mitred point whatever
// the join (it lies within a twentieth of a pixel of the round join). False, with `loops`
// unspecified, when the path needs the general stroker: a sub-path of one point, a turn too
// sharp for its short sides (the line is wider than the bend is round), a curve too large, a
// point far off any surface (or not a number), or too many points.
bool StrokeOutline(const cairo_path_t* path, const cairo_matrix_t& toDevice,
                   const StrokeStyle& style, std::vector<Loop>& loops);

// A fill's path in device pixels, every sub-path a loop. False when a curve is too large, a
// point lies far off any surface (or is not a number), or there are too many points.
bool FillOutline(const cairo_path_t* path, const cairo_matrix_t& toDevice,
                 std::vector<Loop>& loops);

// Whether the loops are one rectangle with sides along the pixel rows and columns.
bool IsUprightBox(const std::vector<Loop>& loops);

}  // namespace player
