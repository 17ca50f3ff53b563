// How bitmaps are sampled: the plan for a transform (reduction and tiling), the copies it asks
// for, and the folded pattern matrix. The plan's promises are what keep a bitmap drawn at any
// scale from costing more than the pixels it covers.
#include "player/bitmap_sampling.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace player {
namespace {

// Device to bitmap pixels for a bitmap drawn at `scale` device pixels per bitmap pixel,
// rotated by `degrees` and moved by (tx, ty) device pixels.
cairo_matrix_t DeviceToBitmap(double scale, double degrees = 0, double tx = 0, double ty = 0) {
    cairo_matrix_t m;
    cairo_matrix_init_translate(&m, tx, ty);
    cairo_matrix_rotate(&m, degrees * M_PI / 180);
    cairo_matrix_scale(&m, scale, scale);
    cairo_matrix_invert(&m);
    return m;
}

const SampledArea kStage{0, 0, 550, 400};
const SampledArea kLargest{0, 0, 4096, 4096};

struct PlanCase {
    const char* name;
    int width, height;
    double scale, degrees;
    bool repeat;
    SamplingPlan expected;
};

class PlanTest : public ::testing::TestWithParam<PlanCase> {};

TEST_P(PlanTest, ReducesAndTilesAsExpected) {
    const PlanCase& c = GetParam();
    const SamplingPlan plan =
        PlanSampling(c.width, c.height, DeviceToBitmap(c.scale, c.degrees), c.repeat, kStage);
    EXPECT_EQ(plan, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Transforms, PlanTest,
    ::testing::Values(
        // Normal and magnified scales keep the bitmap as it is, large enough not to tile.
        PlanCase{"OneToOne", 512, 512, 1.0, 0, true, {1, 1, 512, 512, 1, 1}},
        PlanCase{"Magnified", 300, 300, 8.0, 0, true, {1, 1, 300, 300, 1, 1}},
        PlanCase{"Clipped", 64, 64, 1.0, 0, false, {1, 1, 64, 64, 1, 1}},
        // Up to two texels per pixel the bitmap is sampled as it is.
        PlanCase{"HalfSize", 512, 512, 0.5, 0, false, {1, 1, 512, 512, 1, 1}},
        // A twips matrix of scale 1: twenty texels per pixel, reduced by sixteen.
        PlanCase{"TwentiethSize", 640, 320, 0.05, 0, false, {16, 16, 40, 20, 1, 1}},
        // Reduced no further than one texel.
        PlanCase{"ReducedToOneTexel", 16, 16, 0.001, 0, false, {16, 16, 1, 1, 1, 1}},
        // Rotation spreads a pixel over more texels along both axes.
        PlanCase{"RotatedQuarterSize", 256, 256, 0.25, 45, false, {4, 4, 64, 64, 1, 1}},
        // Small repeating bitmaps are tiled until the stage lies within a few periods.
        PlanCase{"SmallRepeatingTile", 16, 16, 1.0, 0, true, {1, 1, 16, 16, 8, 4}},
        PlanCase{"TinyRepeatAtOneTwentieth", 16, 16, 0.05, 0, true, {16, 16, 1, 1, 1, 1}},
        PlanCase{"ThinStripe", 1, 64, 1.0, 0, true, {1, 1, 1, 64, 1, 1}},
        PlanCase{"TallStripeShort", 300, 2, 1.0, 0, true, {1, 1, 300, 2, 1, 32}},
        // A repeating bitmap drawn large needs no tile.
        PlanCase{"SmallButMagnified", 4, 4, 100.0, 0, true, {1, 1, 4, 4, 1, 1}}),
    [](const auto& info) { return std::string(info.param.name); });

// Over many transforms, at the largest picture: a pixel reads a handful of texels, and its
// texel lies a bounded number of periods from the pattern's origin.
TEST(Sampling, EveryTransformReadsFewTexelsAndWalksFewPeriods) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> logScale(-12, 8), angle(0, 360), shift(-1e6, 1e6);
    std::uniform_int_distribution<int> side(1, 2048);
    for (int i = 0; i < 2000; ++i) {
        const int width = side(random), height = side(random);
        const cairo_matrix_t toBitmap = DeviceToBitmap(std::exp2(logScale(random)), angle(random),
                                                       shift(random), shift(random));
        const SamplingPlan plan = PlanSampling(width, height, toBitmap, true, kLargest);
        // Two texels along each axis, a little more where a side's reduction rounds up.
        EXPECT_LE(TexelsPerPixel(toBitmap, width, height, plan, true), 16) << i;
        EXPECT_LE(plan.width * plan.tilesX, std::max(width, kMaxTileSide)) << i;
        const cairo_matrix_t m = PlannedPatternMatrix(toBitmap, width, height, plan, true);
        for (const double x : {kLargest.x0, kLargest.x1})
            for (const double y : {kLargest.y0, kLargest.y1}) {
                double px = x, py = y;
                cairo_matrix_transform_point(&m, &px, &py);
                // Past the tile cap a one-texel period still lies within 20 tiles.
                EXPECT_LE(std::abs(px) / (plan.width * plan.tilesX), 20) << i;
                EXPECT_LE(std::abs(py) / (plan.height * plan.tilesY), 20) << i;
            }
    }
}

TEST(Sampling, FoldingMovesTheOriginByWholePeriodsOnly) {
    const cairo_matrix_t toBitmap = DeviceToBitmap(1.0, 30, 123456.25, -98765.5);
    const SamplingPlan plan = PlanSampling(16, 8, toBitmap, true, kStage);
    const cairo_matrix_t folded = PlannedPatternMatrix(toBitmap, 16, 8, plan, true);
    EXPECT_GE(folded.x0, 0);
    EXPECT_LT(folded.x0, 16);
    EXPECT_GE(folded.y0, 0);
    EXPECT_LT(folded.y0, 8);
    const double periodsX = (toBitmap.x0 - folded.x0) / 16,
                 periodsY = (toBitmap.y0 - folded.y0) / 8;
    EXPECT_DOUBLE_EQ(periodsX, std::round(periodsX));
    EXPECT_DOUBLE_EQ(periodsY, std::round(periodsY));
    // Clipped bitmaps keep their place.
    const cairo_matrix_t kept = PlannedPatternMatrix(toBitmap, 16, 8, plan, false);
    EXPECT_DOUBLE_EQ(kept.x0, toBitmap.x0);
}

struct Copy {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t At(int x, int y) const { return pixels[std::size_t(y) * width + x]; }
};

Copy Sampled(const std::vector<std::uint32_t>& pixels, int width, int height,
             const SamplingPlan& plan, bool smooth) {
    cairo_surface_t* s = MakeSampledCopy(reinterpret_cast<const unsigned char*>(pixels.data()),
                                         width, height, width * 4, plan, smooth);
    Copy copy;
    if (!s) return copy;
    copy.width = cairo_image_surface_get_width(s);
    copy.height = cairo_image_surface_get_height(s);
    const int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < copy.height; ++y) {
        const auto* row =
            reinterpret_cast<const std::uint32_t*>(cairo_image_surface_get_data(s) + y * stride);
        copy.pixels.insert(copy.pixels.end(), row, row + copy.width);
    }
    cairo_surface_destroy(s);
    return copy;
}

// A checkerboard of opaque red and transparent texels.
std::vector<std::uint32_t> Checker(int width, int height) {
    std::vector<std::uint32_t> pixels(std::size_t(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels[std::size_t(y) * width + x] = (x + y) % 2 ? 0xFFFF0000 : 0x00000000;
    return pixels;
}

TEST(SampledCopy, SmoothReductionAveragesPremultipliedTexels) {
    const Copy copy = Sampled(Checker(64, 32), 64, 32, {4, 4, 16, 8, 1, 1}, true);
    ASSERT_EQ(copy.width, 16);
    ASSERT_EQ(copy.height, 8);
    for (const std::uint32_t p : copy.pixels) EXPECT_EQ(p, 0x80800000u);  // half-covered red
}

TEST(SampledCopy, UnevenReductionWeighsTexelsByTheirShare) {
    // Three texels (0, 90, 180 grey) into two: each output takes one and a half texels.
    const std::vector<std::uint32_t> row = {0xFF000000, 0xFF5A5A5A, 0xFFB4B4B4};
    const Copy copy = Sampled(row, 3, 1, {2, 1, 2, 1, 1, 1}, true);
    ASSERT_EQ(copy.width, 2);
    EXPECT_EQ(copy.At(0, 0), 0xFF1E1E1Eu);  // (0 + 90 / 2) / 1.5 = 30
    EXPECT_EQ(copy.At(1, 0), 0xFF969696u);  // (90 / 2 + 180) / 1.5 = 150
}

TEST(SampledCopy, HardReductionPicksTexelsWithoutMixing) {
    const Copy copy = Sampled(Checker(64, 64), 64, 64, {4, 4, 16, 16, 1, 1}, false);
    ASSERT_EQ(copy.width, 16);
    for (const std::uint32_t p : copy.pixels) EXPECT_TRUE(p == 0xFFFF0000 || p == 0) << p;
}

TEST(SampledCopy, TilesRepeatThePeriodExactly) {
    std::vector<std::uint32_t> pixels(5 * 3);
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = 0xFF000000 | std::uint32_t(i * 17);
    const Copy copy = Sampled(pixels, 5, 3, {1, 1, 5, 3, 4, 2}, true);
    ASSERT_EQ(copy.width, 20);
    ASSERT_EQ(copy.height, 6);
    for (int y = 0; y < copy.height; ++y)
        for (int x = 0; x < copy.width; ++x)
            EXPECT_EQ(copy.At(x, y), pixels[std::size_t(y % 3) * 5 + x % 5]) << x << "," << y;
}

}  // namespace
}  // namespace player
