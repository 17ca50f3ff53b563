// The command line's videos and full-colour animated pictures of a movie: frames drawn on the
// calling thread at a constant rate, encoded with the movie's sound on a second one and
// streamed into the file as they come.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "capture/frame_source.h"
#include "cli/av_writer.h"
#include "cli/gif_convert.h"

namespace cli::av {

struct VideoOptions {
    Format format = Format::kMp4;
    double fps = 0;  // pictures a second of the movie's running time; 0 = the movie's rate
    int crf = 0;     // 0 = the format's default
    bool transparent = false;            // APNG and WebP: the stage left transparent
    std::optional<std::uint32_t> matte;  // 0xRRGGBB behind soft edges; default the stage colour
    bool sound = true;
    int plays = 0;  // APNG and WebP: 0 forever
};

// The movie's sound (interleaved stereo at 44.1 kHz) for the source's frames [from, to), asked
// for once the source has shown frame to - 1; nullptr for no sound.
using SoundSource = std::function<std::vector<float>(long from, long to)>;

// When each picture shows: picture n of a constant `outputRate` shows the source frame on
// screen at n / outputRate seconds of a movie played at `movieRate`, for as long as the movie
// runs (at least one picture).
std::vector<long> ConstantRateFrames(long sourceFrames, double movieRate, double outputRate);

// The output rate as an exact fraction: the one asked for, else the movie's (its 8.8 fixed
// point rate is exact in 256ths).
Rate OutputRate(double askedRate, double movieRate);

// Draws the source's frames at width x height and writes the file at `path`. False with a
// reason in *error when an encoder is missing, a frame cannot be drawn, memory runs out, the
// file cannot be written or progress says stop (the file is then incomplete; the caller
// removes it).
bool WriteVideo(capture::FrameSource& source, const gif::MovieClock& movie, int width,
                int height, const VideoOptions& options, const SoundSource& sound,
                const std::string& path, const gif::Progress& progress, std::string* error);

}  // namespace cli::av
