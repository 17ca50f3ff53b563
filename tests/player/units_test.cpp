// File units convert as the format defines them, exactly (no rounding on the way).
#include "player/units.h"

#include <gtest/gtest.h>

namespace {

struct UnitCase {
    const char* what;
    double (*convert)(double);
    double in;
    double out;
};

class Units : public ::testing::TestWithParam<UnitCase> {};

TEST_P(Units, ConvertExactly) {
    EXPECT_EQ(GetParam().convert(GetParam().in), GetParam().out) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Values, Units,
    ::testing::Values(
        UnitCase{"one pixel of twips", player::TwipsToPixels, 20, 1.0},
        UnitCase{"a stage of 550 pixels", player::TwipsToPixels, 11000, 550.0},
        UnitCase{"a twip", player::TwipsToPixels, 1, 0.05},
        UnitCase{"negative twips", player::TwipsToPixels, -30, -1.5},
        UnitCase{"pixels to twips", player::PixelsToTwips, 2.5, 50.0},
        UnitCase{"8.8 frame rate 24", player::FromFixed8, 24 * 256, 24.0},
        UnitCase{"8.8 one and a half", player::FromFixed8, 0x0180, 1.5},
        UnitCase{"8.8 most negative", player::FromFixed8, -32768, -128.0},
        UnitCase{"16.16 one", player::FromFixed16, 0x10000, 1.0},
        UnitCase{"16.16 half", player::FromFixed16, 0x8000, 0.5},
        UnitCase{"16.16 negative quarter", player::FromFixed16, -0x4000, -0.25}));

}  // namespace
