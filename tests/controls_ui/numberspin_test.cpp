#include "controls/numberspin.h"

#include <gtest/gtest.h>

#include <QLineEdit>

#include "tests/support/qtapp.h"

namespace {

class NumberSpinTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { EnsureQtApplication(); }
    void SetUp() override {
        spin.SetBuddy(&buddy);
        spin.m_decimalPoint = '.';
    }
    QLineEdit buddy;
    CNumberSpin spin;
};

struct FormatCase {
    const char* name;
    int precision;
    bool trim;
    double value;
    const char* text;
};

class NumberSpinFormat : public NumberSpinTest, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(NumberSpinFormat, ShowsTheValueInTheBuddy) {
    const FormatCase c = GetParam();
    spin.SetPrecision(c.precision);
    spin.SetTrimZeros(c.trim);
    spin.SetValue(c.value);
    EXPECT_EQ(buddy.text().toStdString(), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NumberSpinFormat,
    ::testing::Values(FormatCase{"WindowSettingsWhole", 0, false, 12.0, "12"},
                      FormatCase{"WindowSettingsZero", 0, false, 0.0, "0"},
                      FormatCase{"FreeFormat", -1, true, 2.5, "2.5"},
                      FormatCase{"FreeFormatLarge", -1, true, 1234567.0, "1.23457e+06"},
                      FormatCase{"TrimKeepsSignificantDigits", 3, true, 1.5, "1.5"},
                      FormatCase{"TrimDropsThePoint", 3, true, 2.0, "2"},
                      FormatCase{"NoTrim", 3, false, 1.5, "1.500"},
                      FormatCase{"ExponentTrimsOnlyTheMantissa", 3, true, 1.5e20, "1.5e+20"},
                      FormatCase{"ExponentKeepsZerosInTheExponent", 2, true, 1e-10, "1e-10"},
                      FormatCase{"WholeNumberWithoutPointUntouched", 0, true, 100.0, "100"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(NumberSpinTest, CallerFormatIsUsedOnlyWhenItHoldsOneFloatingConversion) {
    spin.SetFormat("%.2f fps");
    spin.SetValue(1.5);
    EXPECT_EQ(buddy.text(), "1.50 fps");
    spin.SetFormat("%s");  // would read a string that is not there
    spin.SetValue(1.5);
    EXPECT_EQ(buddy.text(), "1.5");
    spin.SetFormat("%f %f");
    EXPECT_TRUE(spin.m_format.isEmpty());
    spin.SetFormat(nullptr);
    EXPECT_TRUE(spin.m_format.isEmpty());
}

struct RangeCase {
    double min;
    double max;
    double step;
    int positions;
};

class NumberSpinRange : public NumberSpinTest, public ::testing::WithParamInterface<RangeCase> {};

TEST_P(NumberSpinRange, CountsPositions) {
    const RangeCase c = GetParam();
    spin.SetRangeAndStep(c.min, c.max, c.step);
    EXPECT_EQ(spin.m_positions, c.positions);
    EXPECT_EQ(spin.GetRangeUpper(), c.positions);
}

INSTANTIATE_TEST_SUITE_P(Cases, NumberSpinRange,
                         ::testing::Values(RangeCase{0, 250, 1, 250}, RangeCase{0, 1e6, 0.5, 32767},
                                           RangeCase{10, 0, 2, 5}, RangeCase{0, 1, 0.3, 3},
                                           RangeCase{0, 1e300, 1e-300, 32767}));

TEST_F(NumberSpinTest, ZeroStepStoresTheRangeOnly) {
    spin.SetRangeAndStep(0, 50, 0.0);
    EXPECT_EQ(spin.m_maxValue, 50);
    EXPECT_EQ(spin.m_positions, 100);
}

struct ProjectionCase {
    double value;
    int position;
};

class NumberSpinProjection : public NumberSpinTest,
                             public ::testing::WithParamInterface<ProjectionCase> {};

TEST_P(NumberSpinProjection, ProjectsTheValueOntoPositions) {
    spin.SetRangeAndStep(10, 20, 0.1);  // 100 positions
    spin.SetSpinPosition(GetParam().value);
    EXPECT_EQ(spin.GetPos(), GetParam().position);
}

INSTANTIATE_TEST_SUITE_P(Cases, NumberSpinProjection,
                         ::testing::Values(ProjectionCase{5, 0}, ProjectionCase{25, 100},
                                           ProjectionCase{10, 0}, ProjectionCase{20, 100},
                                           ProjectionCase{15, 50}, ProjectionCase{10.04, 0},
                                           ProjectionCase{10.06, 1},
                                           ProjectionCase{std::nan(""), 0}));

TEST_F(NumberSpinTest, EmptyRangeLeavesThePosition) {
    spin.SetRangeAndStep(0, 100, 1);
    spin.SetSpinPosition(40);
    spin.SetRangeAndStep(5, 5, 1);
    spin.SetSpinPosition(5);
    EXPECT_EQ(spin.GetPos(), 40);
}

TEST_F(NumberSpinTest, SteppingStopsAtTheEndsWithoutWrap) {
    spin.SetRangeAndStep(0, 10, 1);
    spin.SetValue(0);
    spin.Step(-1);
    EXPECT_EQ(buddy.text(), "0");
    EXPECT_EQ(spin.GetPos(), 0);
    spin.SetValue(10);
    spin.Step(1);
    EXPECT_EQ(buddy.text(), "10");
    spin.SetValue(4);
    spin.Step(1);
    EXPECT_EQ(buddy.text(), "5");
    EXPECT_EQ(spin.GetPos(), 5);
}

TEST_F(NumberSpinTest, SteppingWrapsWithWrap) {
    spin.SetWrap(true);
    spin.SetRangeAndStep(0, 10, 1);
    spin.SetValue(0);
    spin.Step(-1);
    EXPECT_EQ(buddy.text(), "10");
    EXPECT_EQ(spin.GetPos(), 10);
    spin.Step(1);
    EXPECT_EQ(buddy.text(), "0");
    EXPECT_EQ(spin.GetPos(), 0);
}

TEST_F(NumberSpinTest, SteppingWithinToleranceOfTheEndIsNotClamped) {
    spin.SetRangeAndStep(0, 1, 0.1);
    buddy.setText("0.9000000000001");
    spin.Step(1);
    EXPECT_EQ(buddy.text(), "1");
}

TEST_F(NumberSpinTest, ParentHearsThePositionBeforeTheStep) {
    spin.SetRangeAndStep(0, 300, 1);
    spin.SetValue(10);
    std::vector<std::pair<int, int>> heard;
    QObject::connect(&spin, &CNumberSpin::deltaPos,
                     [&](int p, int d) { heard.emplace_back(p, d); });
    spin.Step(1);
    spin.Step(-1);
    EXPECT_EQ(heard, (std::vector<std::pair<int, int>>{{10, 1}, {11, -1}}));
}

TEST(NumberSpinNoBuddy, ReadsZeroAndWritesNothing) {
    EnsureQtApplication();
    CNumberSpin spin;
    EXPECT_EQ(spin.GetValue(), 0.0);
    spin.SetValue(42);
    spin.Step(1);
    EXPECT_EQ(spin.GetValue(), 0.0);
}

}  // namespace
