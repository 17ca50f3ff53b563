// How a bitmap fill is sampled under one device transform, so that drawing it costs time in
// proportion to the pixels it covers: a reduced copy when many texels fall on one pixel, a tile
// of several periods when a repeating bitmap is small, and the pattern's translation folded
// into one period (pixman walks a repeating source to its period step by step, and samples
// every texel under a pixel when it smooths).
#pragma once

#include <cairo.h>

#include <cstdint>

namespace player {

// Texels per pixel, along either bitmap axis, at which a reduced copy replaces the bitmap; up to
// this the bitmap is sampled as it is, so normal and mildly reduced scales draw as before.
inline constexpr double kReduceAbove = 2.0;
// Periods a repeating pattern's coordinate may lie from its origin anywhere it is drawn; a
// small bitmap is tiled (up to kMaxTileSide) until its periods are that few.
inline constexpr double kMaxPeriodWalk = 8.0;
inline constexpr int kMaxTileSide = 1024;

// The device pixels a pattern is sampled in (the clip).
struct SampledArea {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

struct SamplingPlan {
    int reduceX = 1, reduceY = 1;  // power-of-two reduction along each bitmap axis
    int width = 0, height = 0;     // one period of the sampled copy
    int tilesX = 1, tilesY = 1;    // periods side by side in the surface handed to cairo

    bool Plain() const { return reduceX == 1 && reduceY == 1 && tilesX == 1 && tilesY == 1; }
    bool operator==(const SamplingPlan&) const = default;
};

// The plan for a width x height bitmap whose pattern maps device pixels to bitmap pixels by
// `deviceToBitmap`, sampled within `area`; tiles only when `repeat`.
SamplingPlan PlanSampling(int width, int height, const cairo_matrix_t& deviceToBitmap, bool repeat,
                          const SampledArea& area);

// The surface the plan asks for, from premultiplied ARGB32 rows (`stride` in bytes): reduced by
// area averaging when `smooth`, by taking the texel at each block's centre otherwise, then
// tiled. Null when the surface cannot be made.
cairo_surface_t* MakeSampledCopy(const unsigned char* pixels, int width, int height, int stride,
                                 const SamplingPlan& plan, bool smooth);

// The pattern matrix (device pixels to pixels of the planned surface) for a bitmap of
// width x height; with `repeat` its translation is folded into one period. An axis reduced to
// one texel samples that texel everywhere (however many texels a pixel spanned along it).
cairo_matrix_t PlannedPatternMatrix(const cairo_matrix_t& deviceToBitmap, int width, int height,
                                    const SamplingPlan& plan, bool repeat);

// Texels a pixel reads through the pattern at most (the sampling filter's taps over the
// plan's remaining reduction), for the frame's work count.
int TexelsPerPixel(const cairo_matrix_t& deviceToBitmap, int width, int height,
                   const SamplingPlan& plan, bool smooth);

}  // namespace player
