// Filters on small layers: where blur, shadows, glows and bevels put their colour, and that
// hostile parameters stay bounded.
#include "player/media/filters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numeric>

#include "player/limits.h"

namespace media {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr std::int64_t kLayerCap = player::Limits{}.maxLayerPixels;

// A transparent layer with an opaque square [x0, x1) x [y0, y1) of `color`.
Image LayerWithSquare(int size, int x0, int x1, std::uint32_t color = 0xFFFF0000) {
    Image image;
    AllocateImage(image, size, size, kLayerCap);
    for (int y = x0; y < x1; ++y)
        for (int x = x0; x < x1; ++x) image.At(x, y) = color;
    return image;
}

std::int64_t AlphaSum(const Image& image) {
    return std::accumulate(image.argb.begin(), image.argb.end(), std::int64_t{0},
                           [](std::int64_t s, std::uint32_t p) { return s + Alpha(p); });
}

// ---- Blur ----------------------------------------------------------------------------------

struct BlurCase {
    double blur;
    int passes;
};

class BlurSpread : public ::testing::TestWithParam<BlurCase> {};

// A blur keeps the layer's total coverage and reaches exactly as far as its padding says.
TEST_P(BlurSpread, ConservesCoverageAndStaysInsideItsPadding) {
    const auto [blur, passes] = GetParam();
    const int size = 121, centre = 60;
    Image layer = LayerWithSquare(size, centre - 2, centre + 3);
    const std::int64_t before = AlphaSum(layer);
    const Filter filter = BlurFilter{blur, blur, passes};
    const FilterPadding pad = PaddingFor(filter);
    ASSERT_EQ(ApplyFilter(layer, filter, kLayerCap), FilterError::kNone);
    EXPECT_NEAR(static_cast<double>(AlphaSum(layer)), static_cast<double>(before), before * 0.03);
    const int reach = 2 + pad.right;  // square edge plus padding
    ASSERT_LT(centre + reach + 1, size);
    EXPECT_EQ(layer.At(centre + reach + 1, centre), 0u) << "blur goes beyond its padding";
    EXPECT_EQ(layer.At(centre, centre - reach - 1), 0u);
    EXPECT_GT(Alpha(layer.At(centre + 2 + pad.right / 2, centre)), 0u) << "blur does not spread";
    EXPECT_LT(Alpha(layer.At(centre - 2, centre - 2)), 255u) << "corner keeps full coverage";
    for (std::uint32_t p : layer.argb) ASSERT_LE(Red(p), Alpha(p));
}

INSTANTIATE_TEST_SUITE_P(Sizes, BlurSpread,
                         ::testing::Values(BlurCase{3, 1}, BlurCase{4, 1}, BlurCase{2.5, 2},
                                           BlurCase{7.25, 3}, BlurCase{10, 3}, BlurCase{5, 15}));

TEST(Blur, FractionalSizesLieBetweenTheirNeighbours) {
    auto centreAfter = [](double blur) {
        Image layer = LayerWithSquare(41, 20, 21);
        ApplyFilter(layer, BlurFilter{blur, blur, 1}, kLayerCap);
        return Alpha(layer.At(20, 20));
    };
    EXPECT_GT(centreAfter(3.0), centreAfter(3.5));
    EXPECT_GT(centreAfter(3.5), centreAfter(4.0));
}

TEST(Blur, OneOrLessAndZeroPassesLeaveTheLayerAlone) {
    const Image original = LayerWithSquare(20, 5, 10);
    for (const Filter& f : {Filter{BlurFilter{1.0, 0.5, 3}}, Filter{BlurFilter{8, 8, 0}}}) {
        Image layer = original;
        ApplyFilter(layer, f, kLayerCap);
        EXPECT_EQ(layer.argb, original.argb);
        EXPECT_EQ(PaddingFor(f).left, 0);
    }
}

TEST(Blur, HorizontalOnlyBlurStaysInItsRows) {
    Image layer = LayerWithSquare(30, 10, 20);
    ApplyFilter(layer, BlurFilter{9, 0, 1}, kLayerCap);
    EXPECT_GT(Alpha(layer.At(22, 15)), 0u);
    EXPECT_EQ(layer.At(15, 21), 0u);
    EXPECT_EQ(layer.At(15, 15), 0xFFFF0000u);
}

// ---- Shadows and glows ---------------------------------------------------------------------

DropShadowFilter SharpShadow() {
    DropShadowFilter f;
    f.color = 0xFF000000;
    f.blurX = f.blurY = 0;
    f.angle = kPi / 4;
    f.distance = 4 * std::sqrt(2.0);  // (4, 4)
    return f;
}

TEST(DropShadow, OuterShadowFallsBehindAlongItsAngle) {
    Image layer = LayerWithSquare(40, 10, 20);
    const DropShadowFilter f = SharpShadow();
    const FilterPadding pad = PaddingFor(f);
    EXPECT_EQ(pad.right, 4);
    EXPECT_EQ(pad.bottom, 4);
    EXPECT_EQ(pad.left, 0);
    ApplyFilter(layer, f, kLayerCap);
    EXPECT_EQ(layer.At(15, 15), 0xFFFF0000u);  // object on top
    EXPECT_EQ(layer.At(22, 22), 0xFF000000u);  // shadow below-right
    EXPECT_EQ(layer.At(8, 8), 0u);
}

TEST(DropShadow, KnockoutAndHideObject) {
    DropShadowFilter f = SharpShadow();
    f.knockout = true;
    Image knocked = LayerWithSquare(40, 10, 20);
    ApplyFilter(knocked, f, kLayerCap);
    EXPECT_EQ(knocked.At(15, 15), 0u);  // object and shadow under it removed
    EXPECT_EQ(knocked.At(22, 22), 0xFF000000u);

    f.knockout = false;
    f.compositeSource = false;
    Image hidden = LayerWithSquare(40, 10, 20);
    ApplyFilter(hidden, f, kLayerCap);
    EXPECT_EQ(hidden.At(15, 15), 0xFF000000u);  // shadow shows where the object was
    EXPECT_EQ(hidden.At(11, 11), 0u);
}

TEST(DropShadow, InnerShadowDarkensTheLitEdgeInside) {
    DropShadowFilter f = SharpShadow();
    f.inner = true;
    Image layer = LayerWithSquare(40, 10, 20);
    EXPECT_EQ(PaddingFor(f).right, 0);
    ApplyFilter(layer, f, kLayerCap);
    EXPECT_EQ(layer.At(11, 11), 0xFF000000u);  // inside, near the top-left edge
    EXPECT_EQ(layer.At(18, 18), 0xFFFF0000u);  // inside, away from it
    EXPECT_EQ(layer.At(5, 5), 0u);             // outside stays empty
}

TEST(DropShadow, StrengthAndColourAlphaScaleTheShadow) {
    DropShadowFilter f = SharpShadow();
    f.color = 0x800000FF;
    f.strength = 0.5;
    Image layer = LayerWithSquare(40, 10, 20);
    ApplyFilter(layer, f, kLayerCap);
    EXPECT_EQ(layer.At(22, 22), 0x40000040u);
}

TEST(Glow, OuterGlowSurroundsAndInnerGlowTintsTheEdge) {
    GlowFilter f;
    f.color = 0xFF00FF00;
    f.blurX = f.blurY = 5;
    f.strength = 1;
    Image outer = LayerWithSquare(40, 10, 20);
    ApplyFilter(outer, f, kLayerCap);
    EXPECT_GT(Green(outer.At(8, 15)), 0u);
    EXPECT_EQ(Green(outer.At(8, 15)), Alpha(outer.At(8, 15)));
    EXPECT_EQ(outer.At(15, 15), 0xFFFF0000u);

    f.inner = true;
    Image inner = LayerWithSquare(40, 10, 20);
    ApplyFilter(inner, f, kLayerCap);
    EXPECT_GT(Green(inner.At(10, 15)), 0u);
    EXPECT_EQ(inner.At(15, 15), 0xFFFF0000u);
    EXPECT_EQ(inner.At(8, 15), 0u);
}

TEST(GradientGlow, BlurredAlphaPicksTheGradientColour) {
    GradientGlowFilter f;
    f.stops = {{0x000000FF, 0}, {0xFF0000FF, 255}};  // transparent to blue
    f.blurX = f.blurY = 0;
    f.distance = 0;
    f.compositeSource = false;
    Image layer = LayerWithSquare(20, 5, 10);
    ApplyFilter(layer, f, kLayerCap);
    EXPECT_EQ(layer.At(7, 7), 0xFF0000FFu);
    EXPECT_EQ(layer.At(2, 2), 0u);
}

// ---- Bevels --------------------------------------------------------------------------------

TEST(Bevel, InnerBevelLightsTheEdgesFacingTheLight) {
    BevelFilter f;
    f.highlightColor = 0xFFFFFFFF;
    f.shadowColor = 0xFF000000;
    f.blurX = f.blurY = 0;
    f.angle = kPi / 4;
    f.distance = 2 * std::sqrt(2.0);
    Image layer = LayerWithSquare(40, 10, 30, 0xFF808080);
    ApplyFilter(layer, f, kLayerCap);
    EXPECT_EQ(layer.At(10, 20), 0xFFFFFFFFu);  // left edge: highlight
    EXPECT_EQ(layer.At(29, 20), 0xFF000000u);  // right edge: shadow
    EXPECT_EQ(layer.At(20, 20), 0xFF808080u);  // middle untouched
    EXPECT_EQ(layer.At(5, 20), 0u);            // outside untouched
}

TEST(Bevel, OuterBevelStaysOutsideAndFullCoversBoth) {
    BevelFilter f;
    f.blurX = f.blurY = 0;
    f.distance = 2;
    f.angle = 0;  // light along +x
    f.inner = false;
    Image outer = LayerWithSquare(40, 10, 30, 0xFF808080);
    ApplyFilter(outer, f, kLayerCap);
    EXPECT_EQ(outer.At(20, 20), 0xFF808080u);
    EXPECT_NE(outer.At(8, 20), 0u);
    EXPECT_EQ(outer.At(10, 20), 0xFF808080u);

    f.onTop = true;
    Image full = LayerWithSquare(40, 10, 30, 0xFF808080);
    ApplyFilter(full, f, kLayerCap);
    EXPECT_NE(full.At(8, 20), 0u);
    EXPECT_NE(full.At(10, 20), 0xFF808080u);
}

TEST(GradientBevel, RatioZeroColoursTheHighlightSide) {
    GradientBevelFilter f;
    f.stops = {{0xFFFFFF00, 0}, {0x00000000, 128}, {0xFF0000FF, 255}};
    f.blurX = f.blurY = 0;
    f.angle = 0;
    f.distance = 2;
    Image layer = LayerWithSquare(40, 10, 30, 0xFF808080);
    ApplyFilter(layer, f, kLayerCap);
    EXPECT_EQ(layer.At(10, 20), 0xFFFFFF00u);
    EXPECT_EQ(layer.At(29, 20), 0xFF0000FFu);
    EXPECT_EQ(layer.At(20, 20), 0xFF808080u);
}

// ---- Colour matrix and convolution ---------------------------------------------------------

TEST(ColorMatrix, WorksOnStraightColour) {
    ColorMatrixFilter swap;
    swap.matrix = {0, 0, 1, 0, 0, /**/ 0, 1, 0, 0, 0, /**/ 1, 0, 0, 0, 0, /**/ 0, 0, 0, 1, 0};
    Image layer{2, 1, {0xFFFF0000, 0x80800000}};
    ApplyFilter(layer, swap, kLayerCap);
    EXPECT_EQ(layer.At(0, 0), 0xFF0000FFu);
    EXPECT_EQ(layer.At(1, 0), 0x80000080u);

    ColorMatrixFilter opaque;
    opaque.matrix[18] = 0;
    opaque.matrix[19] = 255;  // alpha = 255 everywhere
    Image faded{1, 1, {0x40400000}};
    ApplyFilter(faded, opaque, kLayerCap);
    EXPECT_EQ(faded.At(0, 0), 0xFFFF0000u);  // straight red kept, not darkened
}

TEST(Convolution, KernelsAndEdges) {
    ConvolutionFilter identity{3, 3, {0, 0, 0, 0, 1, 0, 0, 0, 0}};
    Image layer = LayerWithSquare(6, 1, 4, 0xFF204080);
    const Image original = layer;
    ASSERT_EQ(ApplyFilter(layer, identity, kLayerCap), FilterError::kNone);
    EXPECT_EQ(layer.argb, original.argb);

    ConvolutionFilter leftNeighbour{3, 1, {1, 0, 0}};
    leftNeighbour.clamp = false;
    leftNeighbour.defaultColor = 0xFF00FF00;
    leftNeighbour.preserveAlpha = false;
    Image row{3, 1, {0xFFFF0000, 0xFF0000FF, 0xFF000000}};
    ApplyFilter(row, leftNeighbour, kLayerCap);
    EXPECT_EQ(row.argb, (std::vector<std::uint32_t>{0xFF00FF00, 0xFFFF0000, 0xFF0000FF}));

    leftNeighbour.clamp = true;
    Image clamped{2, 1, {0xFFFF0000, 0xFF0000FF}};
    ApplyFilter(clamped, leftNeighbour, kLayerCap);
    EXPECT_EQ(clamped.At(0, 0), 0xFFFF0000u);
}

TEST(Convolution, BadMatricesLeaveTheLayerAlone) {
    Image layer = LayerWithSquare(6, 1, 4);
    const Image original = layer;
    for (const ConvolutionFilter& f : {ConvolutionFilter{3, 3, {1, 2}}, ConvolutionFilter{0, 0, {}},
                                       ConvolutionFilter{16, 1, std::vector<float>(16, 1.0f)}}) {
        EXPECT_EQ(ApplyFilter(layer, f, kLayerCap), FilterError::kBadParameters);
        EXPECT_EQ(layer.argb, original.argb);
    }
    ConvolutionFilter zeroDivisor{1, 1, {1}};
    zeroDivisor.divisor = 0;
    EXPECT_EQ(ApplyFilter(layer, zeroDivisor, kLayerCap), FilterError::kNone);
    EXPECT_EQ(layer.argb, original.argb);
}

// ---- Bounds --------------------------------------------------------------------------------

TEST(FilterBounds, HostileParametersAreCapped) {
    constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
    constexpr double kInf = std::numeric_limits<double>::infinity();
    DropShadowFilter f;
    f.blurX = kInf;
    f.blurY = 1e12;
    f.passes = 255;
    f.distance = 1e9;
    f.angle = kNan;
    f.strength = kInf;
    const FilterPadding pad = PaddingFor(f);
    EXPECT_LE(pad.left, kMaxFilterPadding);
    EXPECT_LE(pad.bottom, kMaxFilterPadding);
    Image layer = LayerWithSquare(64, 20, 40);
    EXPECT_EQ(ApplyFilter(layer, f, kLayerCap), FilterError::kNone);

    const std::vector<Filter> chain(10, Filter{BlurFilter{255, 255, 255}});
    EXPECT_EQ(PaddingFor(chain).right, kMaxFilterPadding);
}

TEST(FilterBounds, OversizedLayerIsLeftUnfiltered) {
    Image layer;
    layer.width = 4097;
    layer.height = 4097;
    layer.argb.assign(1, 0);  // the size check comes before any pixel is touched
    EXPECT_EQ(ApplyFilter(layer, BlurFilter{10, 10, 1}, kLayerCap), FilterError::kLayerTooLarge);
    Image small = LayerWithSquare(8, 2, 6);
    EXPECT_EQ(ApplyFilter(small, BlurFilter{4, 4, 1}, 63), FilterError::kLayerTooLarge);
    EXPECT_EQ(ApplyFilter(small, BlurFilter{4, 4, 1}, 64), FilterError::kNone);
    Image inconsistent{8, 8, std::vector<std::uint32_t>(10, 0xFF000000)};
    EXPECT_EQ(ApplyFilter(inconsistent, BlurFilter{4, 4, 1}, kLayerCap),
              FilterError::kBadParameters);
}

TEST(FilterScaling, BlurAndOffsetFollowTheScale) {
    DropShadowFilter f;
    f.blurX = 4;
    f.blurY = 6;
    f.angle = 0;
    f.distance = 5;
    const auto scaled = std::get<DropShadowFilter>(ScaledFilter(f, 2.0, 0.5));
    EXPECT_DOUBLE_EQ(scaled.blurX, 8);
    EXPECT_DOUBLE_EQ(scaled.blurY, 3);
    EXPECT_NEAR(scaled.distance, 10, 1e-9);
    EXPECT_NEAR(scaled.angle, 0, 1e-9);
    f.angle = kPi / 2;
    const auto down = std::get<DropShadowFilter>(ScaledFilter(f, 2.0, 0.5));
    EXPECT_NEAR(down.distance, 2.5, 1e-9);
}

}  // namespace
}  // namespace media
