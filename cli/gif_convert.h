// The command line's GIF of a movie: frames drawn on the calling thread in the order they show
// and encoded on a second one, streamed into the file as they come, so memory stays flat
// however long the movie.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "capture/frame_source.h"
#include "cli/gif_frames.h"
#include "platform/surface.h"

namespace cli::gif {

// Levels a channel an unchanged pixel may drift by before it is drawn again.
constexpr int kDefaultTolerance = 2;
// Mean squared error of a channel at which a palette has entries enough (about 52 dB): fewer
// colours give longer runs of equal indices, so a smaller GIF.
constexpr double kEnoughPaletteError = 0.4;

struct GifOptions {
    double fps = 0;  // pictures a second of the movie's running time; 0 = the movie's rate
    int colors = kMaxColors;
    Dither dither = Dither::kDiffuse;
    bool globalPalette = false;
    bool optimize = true;
    int tolerance = kDefaultTolerance;  // see EncodeOptions::tolerance
    bool transparent = false;  // the stage left transparent, 1-bit alpha
    std::optional<std::uint32_t> matte;  // 0xRRGGBB behind soft edges; default the stage colour
    int plays = 0;                       // 0 = forever
};

// The largest picture encoded: the encoder holds about eight frames of four bytes a pixel.
constexpr std::int64_t kMaxGifPixels = std::int64_t{1} << 25;

// Pixels with less alpha than this are transparent in a transparent GIF.
constexpr int kAlphaThreshold = 128;

// A drawn surface (premultiplied ARGB) as a frame: pixels matted against `matte`, or, when
// `transparent`, those under kAlphaThreshold transparent.
void FrameFromSurface(const CSurface& surface, bool transparent, std::uint32_t matte,
                      Frame* frame);

// Called after each frame is drawn with the frames drawn and to draw; false stops the GIF.
using Progress = std::function<bool(long done, long total)>;

struct MovieClock {
    double frameRate = 0;         // the header's rate
    std::uint32_t stageColor = 0;  // 0xRRGGBB
};

// Draws the source's frames at width x height and writes the GIF at `path`. False with a
// reason in *error when the size is above kMaxGifPixels, a frame cannot be drawn, memory runs
// out, the file cannot be written or progress says stop (the file is then incomplete; the
// caller removes it).
bool WriteGif(capture::FrameSource& source, const MovieClock& movie, int width, int height,
              const GifOptions& options, const std::string& path, const Progress& progress,
              std::string* error);

}  // namespace cli::gif
