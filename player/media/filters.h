// Bitmap filters of PlaceObject3's filter list (drop shadow, blur, glow, bevel, gradient glow,
// convolution, colour matrix, gradient bevel) applied to a premultiplied ARGB layer. The
// structs mirror the file's FILTERLIST records with values converted: blur, distance in pixels,
// angles in radians, colours as straight ARGB (0xAARRGGBB). The caller draws the object into a
// layer enlarged by PaddingFor(filter) and applies the filters in file order.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <variant>
#include <vector>

#include "player/media/image.h"

namespace media {

// Bounds on a filter's values, so a hostile filter list costs bounded time (the layer a filter
// runs over is capped by the engine's Limits):
// The format stores blur as 16.16 fixed point; the authoring tool offers 0-255 px, and a
// larger box only smears a layer into a flat tint.
inline constexpr double kMaxBlurSize = 255.0;
// Passes above 15 (the most the authoring tool offers) look the same as 15.
inline constexpr int kMaxBlurPasses = 15;
// Box passes actually run: more passes are replaced by 3 passes of a wider box with the same
// variance (3 box passes are already indistinguishable from a Gaussian), so a 15-pass blur
// costs what a 3-pass one does.
inline constexpr int kMaxBoxPassesRun = 3;
// Shadow and bevel offsets beyond this many pixels are clamped.
inline constexpr double kMaxFilterDistance = 1024.0;
// Padding on any side never exceeds this.
inline constexpr int kMaxFilterPadding = 1024;
// Convolution kernels are at most 15 x 15, as the format's authoring tools allow.
inline constexpr int kMaxConvolutionSide = 15;

struct BlurFilter {
    double blurX = 4.0;
    double blurY = 4.0;
    int passes = 1;
};

struct DropShadowFilter {
    std::uint32_t color = 0xFF000000;
    double blurX = 4.0;
    double blurY = 4.0;
    double angle = 0.785398163;  // radians, clockwise from +x (y points down)
    double distance = 4.0;
    double strength = 1.0;
    bool inner = false;
    bool knockout = false;
    bool compositeSource = true;  // false: hide the object, show the shadow only
    int passes = 1;
};

struct GlowFilter {
    std::uint32_t color = 0xFFFF0000;
    double blurX = 6.0;
    double blurY = 6.0;
    double strength = 2.0;
    bool inner = false;
    bool knockout = false;
    bool compositeSource = true;
    int passes = 1;
};

// inner/onTop as in the file: onTop set is a full bevel, else inner set is an inner bevel,
// else an outer bevel.
struct BevelFilter {
    std::uint32_t shadowColor = 0xFF000000;
    std::uint32_t highlightColor = 0xFFFFFFFF;
    double blurX = 4.0;
    double blurY = 4.0;
    double angle = 0.785398163;
    double distance = 4.0;
    double strength = 1.0;
    bool inner = true;
    bool knockout = false;
    bool compositeSource = true;
    bool onTop = false;
    int passes = 1;
};

struct GradientStop {
    std::uint32_t color = 0;  // straight ARGB
    std::uint8_t ratio = 0;
};

// Gradient glow: the blurred alpha (0-255) picks the colour at that ratio. Gradient bevel:
// ratio 0 colours the highlight side, 255 the shadow side, 128 neither.
struct GradientGlowFilter {
    std::vector<GradientStop> stops;
    double blurX = 4.0;
    double blurY = 4.0;
    double angle = 0.785398163;
    double distance = 4.0;
    double strength = 1.0;
    bool inner = false;
    bool knockout = false;
    bool compositeSource = true;
    bool onTop = false;
    int passes = 1;
};

struct GradientBevelFilter {
    std::vector<GradientStop> stops;
    double blurX = 4.0;
    double blurY = 4.0;
    double angle = 0.785398163;
    double distance = 4.0;
    double strength = 1.0;
    bool inner = true;
    bool knockout = false;
    bool compositeSource = true;
    bool onTop = false;
    int passes = 1;
};

// Rows R, G, B, A of [r g b a offset] on straight colour in 0-255 units.
struct ColorMatrixFilter {
    std::array<float, 20> matrix = {1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0};
};

// result = sum(matrix * neighbours) / divisor + bias, on straight colour; pixels beyond the
// layer repeat its edge (clamp) or take defaultColor.
struct ConvolutionFilter {
    int columns = 0;
    int rows = 0;
    std::vector<float> matrix;  // rows * columns, row by row
    float divisor = 1.0f;
    float bias = 0.0f;
    std::uint32_t defaultColor = 0;  // straight ARGB
    bool clamp = true;
    bool preserveAlpha = true;
};

// In the order of the file's filter ids 0-7.
using Filter =
    std::variant<DropShadowFilter, BlurFilter, GlowFilter, BevelFilter, GradientGlowFilter,
                 ConvolutionFilter, ColorMatrixFilter, GradientBevelFilter>;

struct FilterPadding {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// Room a layer needs around the object so the filter's result fits, capped at
// kMaxFilterPadding per side. For a list, the paddings accumulate in order.
FilterPadding PaddingFor(const Filter& filter);
FilterPadding PaddingFor(std::span<const Filter> filters);

// The filter as drawn at a scale (stage pixels to output pixels): blur and offsets scale.
Filter ScaledFilter(const Filter& filter, double scaleX, double scaleY);

enum class FilterError {
    kNone,
    kLayerTooLarge,  // over the caller's layer cap: left unfiltered
    kBadParameters,  // e.g. a convolution matrix of the wrong size: left unfiltered
};

const char* FilterErrorName(FilterError error);

// Applies one filter to the layer in place; a layer above maxLayerPixels is left as it is.
FilterError ApplyFilter(Image& layer, const Filter& filter, std::int64_t maxLayerPixels);

// Box-blurs premultiplied pixels in place (the blur filter's core);
// its cost grows with the image's size, which the caller bounds.
void BlurImage(Image& image, double blurX, double blurY, int passes);

}  // namespace media
