// When each picture of a video shows: a constant rate over the movie's running time, and the
// rate as an exact fraction.
#include <gtest/gtest.h>

#include <vector>

#include "cli/av_convert.h"

namespace {

using cli::av::ConstantRateFrames;
using cli::av::OutputRate;

TEST(VideoTiming, PicturesSampleTheMovieAtAConstantRate) {
    const struct {
        const char* name;
        long frames;
        double movieRate, outputRate;
        std::vector<long> shown;
    } cases[] = {
        {"the movie's own rate", 5, 12, 12, {0, 1, 2, 3, 4}},
        {"faster: frames repeat", 5, 12, 25, {0, 0, 0, 1, 1, 2, 2, 3, 3, 4}},
        {"slower: frames drop", 10, 10, 5, {0, 2, 4, 6, 8}},
        {"a slow movie lasts as long", 2, 0.5, 1, {0, 0, 1, 1}},
        {"a short movie still shows", 1, 50, 1, {0}},
        {"no frames", 0, 12, 12, {}},
        {"no rate", 3, 0, 12, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ConstantRateFrames(c.frames, c.movieRate, c.outputRate), c.shown);
    }
}

TEST(VideoTiming, RateIsTheAskedOrTheMoviesAsAnExactFraction) {
    const struct {
        double asked, movie;
        int num, den;
    } cases[] = {{0, 12, 12, 1}, {0, 12.5, 25, 2}, {0, 23.98046875, 6139, 256},
                 {0, 0, 10, 1},  {24, 12, 24, 1}, {0, 1.0 / 256, 1, 256}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.movie);
        const cli::av::Rate rate = OutputRate(c.asked, c.movie);
        EXPECT_EQ(rate.num, c.num);
        EXPECT_EQ(rate.den, c.den);
    }
}

}  // namespace
