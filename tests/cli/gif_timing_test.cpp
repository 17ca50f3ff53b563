// Showing times of the command line's GIF pictures: totals at common rates, resampling and the
// two-hundredths floor.
#include "cli/gif_timing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

namespace cli::gif {
namespace {

std::int64_t TotalCs(const std::vector<TimedFrame>& pictures) {
    return std::accumulate(pictures.begin(), pictures.end(), std::int64_t{0},
                           [](std::int64_t sum, const TimedFrame& p) { return sum + p.delayCs; });
}

struct RateCase {
    const char* name;
    long frames;
    double movieRate;
    double askedRate;
    std::size_t pictures;
    std::int64_t totalCs;
    std::int64_t shortestCs;
    std::int64_t longestCs;
};

class ScheduleTotals : public ::testing::TestWithParam<RateCase> {};

TEST_P(ScheduleTotals, KeepTheRunningTime) {
    const RateCase& c = GetParam();
    const auto pictures = Schedule(c.frames, c.movieRate, c.askedRate);
    ASSERT_EQ(pictures.size(), c.pictures);
    EXPECT_EQ(TotalCs(pictures), c.totalCs);
    std::int64_t shortest = INT64_MAX, longest = 0;
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        shortest = std::min(shortest, pictures[i].delayCs);
        longest = std::max(longest, pictures[i].delayCs);
        if (i > 0) {
            EXPECT_GT(pictures[i].source, pictures[i - 1].source);
        }
        EXPECT_LT(pictures[i].source, c.frames);
    }
    EXPECT_EQ(shortest, c.shortestCs);
    EXPECT_EQ(longest, c.longestCs);
}

INSTANTIATE_TEST_SUITE_P(
    Rates, ScheduleTotals,
    ::testing::Values(
        // name, frames, movie rate, asked, pictures, total, shortest, longest
        RateCase{"twelve", 120, 12, 0, 120, 1000, 8, 9},
        RateCase{"twentyFour", 48, 24, 0, 48, 200, 4, 5},
        RateCase{"twentyFive", 50, 25, 0, 50, 200, 4, 4},
        RateCase{"thirty", 30, 30, 0, 30, 100, 3, 4},
        RateCase{"fifty", 100, 50, 0, 100, 200, 2, 2},
        // Above 50 the GIF shows 50 pictures a second of the movie's time.
        RateCase{"sixty", 120, 60, 0, 100, 200, 2, 2},
        RateCase{"sixtyAskedSixty", 120, 60, 60, 100, 200, 2, 2},
        RateCase{"hundredTwenty", 240, 120, 0, 100, 200, 2, 2},
        RateCase{"twelveAndAHalf", 25, 12.5, 0, 25, 200, 8, 8},
        // A rate of 0 plays at 10 frames a second, as the window plays it.
        RateCase{"zeroRate", 10, 0, 0, 10, 100, 10, 10},
        RateCase{"negativeRate", 10, -3, 0, 10, 100, 10, 10},
        // Fewer pictures than frames: frames dropped, time kept.
        RateCase{"twelveAtFive", 24, 12, 5, 10, 200, 20, 20},
        // More pictures than frames asked: repeats are one picture each.
        RateCase{"twelveAtTwentyFour", 12, 12, 24, 12, 100, 8, 9},
        // The slowest rate the header holds (1/256 frames a second).
        RateCase{"slowest", 3, 1.0 / 256, 0, 3, 76800, 25600, 25600},
        // One frame shorter than two hundredths still lasts two.
        RateCase{"oneFastFrame", 1, 120, 0, 1, 2, 2, 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Schedule, TwelveFramesASecondAlternateEightAndNine) {
    const auto pictures = Schedule(12, 12, 0);
    std::vector<std::int64_t> delays;
    for (const auto& p : pictures) delays.push_back(p.delayCs);
    EXPECT_EQ(delays, (std::vector<std::int64_t>{8, 9, 8, 8, 9, 8, 8, 9, 8, 8, 9, 8}));
}

TEST(Schedule, DroppedFramesAreTheOnesPlayingAtEachTime) {
    const auto pictures = Schedule(24, 12, 5);
    std::vector<long> sources;
    for (const auto& p : pictures) sources.push_back(p.source);
    EXPECT_EQ(sources, (std::vector<long>{0, 2, 4, 7, 9, 12, 14, 16, 19, 21}));
}

TEST(Schedule, AShortLastSlotJoinsThePictureBefore) {
    // 7 frames at 30 fps shown 20 times a second: the last slot starts at 0.20 s and the movie
    // ends at 0.2333 s, three hundredths in all for the last two slots.
    const auto pictures = Schedule(7, 30, 20);
    EXPECT_EQ(TotalCs(pictures), 23);
    for (const auto& p : pictures) EXPECT_GE(p.delayCs, kMinDelayCs);
}

TEST(Schedule, NoFramesNoPictures) {
    EXPECT_TRUE(Schedule(0, 12, 0).empty());
    EXPECT_TRUE(Schedule(-5, 12, 0).empty());
}

TEST(Schedule, ALongSlowMovieCostsNoMoreThanItsFrames) {
    // 65,535 frames at 1/256 frames a second sampled 50 times a second: 838 million slots,
    // visited only where the frame changes.
    const auto pictures = Schedule(65535, 1.0 / 256, 50);
    ASSERT_EQ(pictures.size(), 65535u);
    EXPECT_EQ(TotalCs(pictures), 65535LL * 25600);
}

TEST(OutputFrameRate, CappedAtFifty) {
    EXPECT_EQ(OutputFrameRate(0, 12), 12);
    EXPECT_EQ(OutputFrameRate(0, 0), 10);
    EXPECT_EQ(OutputFrameRate(80, 12), kMaxFrameRate);
    EXPECT_EQ(OutputFrameRate(0, 60), kMaxFrameRate);
    EXPECT_EQ(OutputFrameRate(0, std::nan("")), 10);
}

}  // namespace
}  // namespace cli::gif
