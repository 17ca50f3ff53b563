// Blend modes on single pixels with hand-computed results, and the premultiplied invariant.
#include "player/media/blend.h"

#include <gtest/gtest.h>

#include <random>

namespace media {
namespace {

Image OnePixel(std::uint32_t argb) {
    return Image{1, 1, {argb}};
}

struct BlendCase {
    const char* name;
    BlendMode mode;
    std::uint32_t source;
    std::uint32_t dest;
    std::uint32_t expected;
};

class BlendModes : public ::testing::TestWithParam<BlendCase> {};

TEST_P(BlendModes, CompositeOnePixel) {
    const BlendCase& c = GetParam();
    Image dest = OnePixel(c.dest);
    Blend(dest, OnePixel(c.source), 0, 0, c.mode);
    EXPECT_EQ(dest.argb[0], c.expected) << std::hex << dest.argb[0];
}

INSTANTIATE_TEST_SUITE_P(
    Modes, BlendModes,
    ::testing::Values(
        BlendCase{"Normal", BlendMode::kNormal, 0x80800000, 0xFF0000FF, 0xFF80007F},
        BlendCase{"Layer", BlendMode::kLayer, 0x80800000, 0xFF0000FF, 0xFF80007F},
        BlendCase{"Multiply", BlendMode::kMultiply, 0xFF808080, 0xFFFF8000, 0xFF804000},
        BlendCase{"MultiplyOnNothing", BlendMode::kMultiply, 0xFFFF0000, 0x00000000, 0xFFFF0000},
        BlendCase{"Screen", BlendMode::kScreen, 0xFF808080, 0xFFFF8000, 0xFFFFC080},
        BlendCase{"Lighten", BlendMode::kLighten, 0xFF808080, 0xFFFF2000, 0xFFFF8080},
        BlendCase{"Darken", BlendMode::kDarken, 0xFF808080, 0xFFFF2000, 0xFF802000},
        BlendCase{"Difference", BlendMode::kDifference, 0xFF808080, 0xFFFF2000, 0xFF7F6080},
        BlendCase{"AddSaturates", BlendMode::kAdd, 0xFF808080, 0xFFFF2000, 0xFFFFA080},
        BlendCase{"SubtractFloorsAtZero", BlendMode::kSubtract, 0xFF808080, 0xFFFF2000, 0xFF7F0000},
        // A half-transparent source adds or takes half its colour from all of the destination.
        BlendCase{"HalfAddSaturates", BlendMode::kAdd, 0x80808080, 0xFFCCCCCC, 0xFFFFFFFF},
        BlendCase{"HalfSubtract", BlendMode::kSubtract, 0x80404040, 0xFF806040, 0xFF402000},
        BlendCase{"SubtractOnNothingShowsTheSource", BlendMode::kSubtract, 0x80404040, 0,
                  0x80404040},
        BlendCase{"InvertIgnoresSourceColour", BlendMode::kInvert, 0xFF000000, 0xFFFF2000,
                  0xFF00DFFF},
        BlendCase{"HalfInvert", BlendMode::kInvert, 0x80000000, 0xFFFF0000, 0xFF7F8080},
        BlendCase{"AlphaKeepsUnderSource", BlendMode::kAlpha, 0x80000000, 0xFFFF2000, 0x80801000},
        BlendCase{"EraseRemovesUnderSource", BlendMode::kErase, 0x80FFFFFF, 0xFFFF2000, 0x7F7F1000},
        BlendCase{"Overlay", BlendMode::kOverlay, 0xFFFF0000, 0xFF40C040, 0xFF808100},
        BlendCase{"Hardlight", BlendMode::kHardlight, 0xFF40C000, 0xFF808080, 0xFF40C000},
        BlendCase{"TransparentSourceLeavesDest", BlendMode::kDifference, 0, 0xFF123456,
                  0xFF123456}),
    [](const auto& info) { return std::string(info.param.name); });

bool IsPremultiplied(std::uint32_t p) {
    return Red(p) <= Alpha(p) && Green(p) <= Alpha(p) && Blue(p) <= Alpha(p);
}

std::uint32_t RandomPremultiplied(std::mt19937& random) {
    const std::uint32_t a = random() % 256;
    auto c = [&] { return a == 0 ? 0u : static_cast<std::uint32_t>(random() % (a + 1)); };
    return PackArgb(a, c(), c(), c());
}

TEST(BlendInvariant, EveryModeKeepsPixelsPremultiplied) {
    std::mt19937 random(7);
    for (int mode = 1; mode <= 14; ++mode) {
        for (int i = 0; i < 2000; ++i) {
            const std::uint32_t s = RandomPremultiplied(random), d = RandomPremultiplied(random);
            Image dest = OnePixel(d);
            Blend(dest, OnePixel(s), 0, 0, static_cast<BlendMode>(mode));
            ASSERT_TRUE(IsPremultiplied(dest.argb[0])) << "mode " << mode << std::hex << " s " << s
                                                       << " d " << d << " -> " << dest.argb[0];
        }
    }
}

TEST(BlendPlacement, OnlyTheOverlapIsTouched) {
    Image dest{4, 3, std::vector<std::uint32_t>(12, 0xFF00FF00)};
    const Image source{2, 2, std::vector<std::uint32_t>(4, 0xFF000000)};
    Blend(dest, source, 3, -1, BlendMode::kMultiply);  // only (3, 0) is covered
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(dest.At(x, y), x == 3 && y == 0 ? 0xFF000000u : 0xFF00FF00u) << x << "," << y;
    Blend(dest, source, 10, 10, BlendMode::kErase);  // no overlap at all
    Blend(dest, Image{}, 0, 0, BlendMode::kErase);
    EXPECT_EQ(dest.At(0, 0), 0xFF00FF00u);
}

TEST(BlendModeValues, FileValuesMapToModes) {
    EXPECT_EQ(BlendModeFromFile(0), BlendMode::kNormal);
    EXPECT_EQ(BlendModeFromFile(3), BlendMode::kMultiply);
    EXPECT_EQ(BlendModeFromFile(14), BlendMode::kHardlight);
    EXPECT_EQ(BlendModeFromFile(15), BlendMode::kNormal);  // shader: not supported
    EXPECT_FALSE(NeedsLayer(BlendMode::kNormal));
    EXPECT_TRUE(NeedsLayer(BlendMode::kErase));
}

}  // namespace
}  // namespace media
