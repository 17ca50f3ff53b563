#include "cli/gif_timing.h"

#include <algorithm>
#include <cmath>

namespace cli::gif {

namespace {

constexpr double kDefaultMovieRate = 10.0;
// Slack for products of rates that should land on whole frames.
constexpr double kEpsilon = 1e-9;

std::int64_t Hundredths(double seconds) {
    return std::llround(100.0 * seconds);
}

// Pictures shorter than kMinDelayCs join the picture before them; a short first picture gives
// its time to the next one, which then shows from the start.
std::vector<TimedFrame> MergeShortPictures(const std::vector<TimedFrame>& pictures) {
    std::vector<TimedFrame> merged;
    for (const TimedFrame& picture : pictures) {
        if (merged.empty()) {
            merged.push_back(picture);
        } else if (picture.delayCs < kMinDelayCs) {
            merged.back().delayCs += picture.delayCs;
        } else if (merged.back().delayCs < kMinDelayCs) {
            merged.back() = {picture.source, merged.back().delayCs + picture.delayCs};
        } else {
            merged.push_back(picture);
        }
    }
    if (!merged.empty()) merged.back().delayCs = std::max(merged.back().delayCs, std::int64_t{kMinDelayCs});
    return merged;
}

}  // namespace

double PlayedFrameRate(double headerRate) {
    return headerRate > 0 && std::isfinite(headerRate) ? headerRate : kDefaultMovieRate;
}

double OutputFrameRate(double askedRate, double movieRate) {
    const double rate = askedRate > 0 ? askedRate : PlayedFrameRate(movieRate);
    return std::min(rate, double(kMaxFrameRate));
}

std::vector<TimedFrame> Schedule(long sourceFrames, double movieRate, double outputRate) {
    std::vector<TimedFrame> pictures;
    if (sourceFrames <= 0) return pictures;
    const double movie = PlayedFrameRate(movieRate);
    const double output = OutputFrameRate(outputRate, movie);
    const std::int64_t endCs = Hundredths(sourceFrames / movie);
    // Slot j of the GIF starts at j / output seconds and shows the movie frame playing then;
    // slots are visited only where that frame changes, so a slow movie costs no more than its
    // frames.
    for (std::int64_t slot = 0;;) {
        const double position = slot / output * movie;
        if (position >= sourceFrames - kEpsilon) break;
        const long source =
            std::min(sourceFrames - 1, static_cast<long>(std::floor(position + kEpsilon)));
        const auto following = static_cast<std::int64_t>(std::ceil((source + 1) * output / movie - kEpsilon));
        const std::int64_t next = std::max(slot + 1, following);
        const std::int64_t start = Hundredths(slot / output);
        const std::int64_t end = std::min(Hundredths(next / output), endCs);
        if (!pictures.empty() && pictures.back().source == source)
            pictures.back().delayCs += end - start;
        else
            pictures.push_back({source, end - start});
        slot = next;
    }
    return MergeShortPictures(pictures);
}

}  // namespace cli::gif
