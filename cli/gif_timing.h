// When each picture of a GIF shows: the movie's frames sampled at the GIF's frame rate on exact
// time, each held for the whole hundredths of a second between its start and the next one's,
// so the GIF runs as long as the movie.
#pragma once

#include <cstdint>
#include <vector>

namespace cli::gif {

// The fastest rate GIF viewers honour: delays are whole hundredths and shorter than two are
// shown far slower than asked.
constexpr int kMaxFrameRate = 50;
constexpr int kMinDelayCs = 2;

struct TimedFrame {
    long source = 0;          // the movie frame shown
    std::int64_t delayCs = 0;  // how long, in hundredths of a second
    bool operator==(const TimedFrame&) const = default;
};

// The header's frame rate as the window plays it: a rate of 0 or less runs at 10 frames a second.
double PlayedFrameRate(double headerRate);

// The GIF's rate: the one asked for (0 = the movie's), at most kMaxFrameRate.
double OutputFrameRate(double askedRate, double movieRate);

// The pictures of a GIF showing `sourceFrames` movie frames played at `movieRate`, sampled
// `outputRate` times a second of running time (frames dropped or repeated). Consecutive slots
// showing the same movie frame are one picture; a picture that would last less than
// kMinDelayCs is merged into its neighbour, so the delays always sum to the movie's running
// time rounded to hundredths (at least kMinDelayCs).
std::vector<TimedFrame> Schedule(long sourceFrames, double movieRate, double outputRate);

}  // namespace cli::gif
