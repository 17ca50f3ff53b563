// The one size rule of the command line: what --size accepts, the default size from the stage
// and the pixel cap every command draws under.
#include "cli/output_size.h"

#include <gtest/gtest.h>

namespace {

struct ParseCase {
    const char* text;
    bool accepted;
    int width;
    int height;
};

class ParseSizeText : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseSizeText, AcceptsOnlyPositiveSidesUnderTheCap) {
    const ParseCase& c = GetParam();
    const auto size = cli::ParseSize(c.text);
    ASSERT_EQ(size.has_value(), c.accepted) << c.text;
    if (!size) return;
    EXPECT_EQ(size->width, c.width);
    EXPECT_EQ(size->height, c.height);
    EXPECT_EQ(size->scale, 0.0);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ParseSizeText,
    ::testing::Values(ParseCase{"640x480", true, 640, 480}, ParseCase{"1X1", true, 1, 1},
                      ParseCase{"16384x16384", true, 16384, 16384},
                      ParseCase{"16385x16384", false, 0, 0}, ParseCase{"65536x65536", false, 0, 0},
                      ParseCase{"0x10", false, 0, 0}, ParseCase{"10x-1", false, 0, 0},
                      ParseCase{"640*480", false, 0, 0}, ParseCase{"640x480x2", false, 0, 0},
                      ParseCase{"640x", false, 0, 0}, ParseCase{"", false, 0, 0},
                      ParseCase{"2147483647x2", false, 0, 0}));

player::StageInfo Stage(int width, int height) {
    player::StageInfo stage;
    stage.widthPx = width;
    stage.heightPx = height;
    return stage;
}

struct ChooseCase {
    const char* name;
    cli::SizeOption option;
    player::StageInfo stage;
    bool drawable;
    int width;
    int height;
    bool noted;  // the stage was drawn smaller than it says
};

void PrintTo(const ChooseCase& c, std::ostream* out) {
    *out << c.name;
}

class ChooseSize : public ::testing::TestWithParam<ChooseCase> {};

TEST_P(ChooseSize, FollowsTheOptionThenTheScaleThenTheStage) {
    const ChooseCase& c = GetParam();
    int width = 0, height = 0;
    std::string note;
    ASSERT_EQ(cli::ChooseOutputSize(c.option, c.stage, &width, &height, &note), c.drawable);
    if (!c.drawable) return;
    EXPECT_EQ(width, c.width);
    EXPECT_EQ(height, c.height);
    EXPECT_EQ(!note.empty(), c.noted) << note;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChooseSize,
    ::testing::Values(
        ChooseCase{"AskedSize", {300, 200, 0.0}, Stage(550, 400), true, 300, 200, false},
        ChooseCase{"Stage", {}, Stage(550, 400), true, 550, 400, false},
        ChooseCase{"StageOfNoArea", {}, Stage(0, 0), true, 1, 1, false},
        ChooseCase{"HugeStageShrunkToTheDefaultCap", {}, Stage(8192, 2048), true, 4096, 1024,
                   true},
        ChooseCase{"Half", {0, 0, 0.5}, Stage(550, 400), true, 275, 200, false},
        ChooseCase{"TinyScaleIsOnePixel", {0, 0, 0.0001}, Stage(550, 400), true, 1, 1, false},
        ChooseCase{"ScalePastThePixelCap", {0, 0, 100.0}, Stage(550, 400), false, 0, 0, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
