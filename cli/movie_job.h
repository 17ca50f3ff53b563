// The work `filmcast convert` and `filmcast frames` do for one movie: load it into the player
// control, choose the frames and the size, then drive the shared capture code.
#pragma once

#include <optional>
#include <string>

#include "player/player.h"

namespace cli {

// Which frames to take. By default the root timeline's frames; a movie whose root holds one
// frame is played for as many ticks as its longest clip (at most kMaxAutoTicks).
struct FrameSelection {
    long ticks = 0;  // --frames: ticks of playback as a player plays them (0 = not asked)
    long from = -1;  // --from, first frame taken (-1 = the first)
    long to = -1;    // --to, last frame taken (-1 = the last)
};
constexpr long kMaxAutoTicks = 1000;

// Output size: --size WxH, else --scale F of the stage, else the stage size.
struct SizeOption {
    int width = 0;
    int height = 0;
    double scale = 0.0;
};

// "WxH" with both sides positive and a drawable area; nothing otherwise.
std::optional<SizeOption> ParseSize(const std::string& text);

struct ConvertJob {
    std::string movie;
    std::string outputFile;  // the final GIF
    std::string tempFile;    // written first, renamed to outputFile when complete
    std::string workFolder;  // private, "/"-terminated; the caller removes it
    int fps = 0;             // 0 = the movie's own rate
    SizeOption size;
    FrameSelection frames;
    player::Quality quality = player::Quality::kHigh;
    player::ScriptSettings scripts;
    bool quiet = false;
    bool showProgress = true;
};

// Converts one movie into tempFile and renames it to outputFile. Returns 0, or 1 after a
// one-line message on stderr naming the movie and the reason.
int ConvertMovie(const ConvertJob& job);

struct FramesJob {
    std::string movie;
    std::string folder;     // "/"-terminated
    std::string extension;  // ".bmp", ".tga" or ".png"
    SizeOption size;
    FrameSelection frames;
    player::Quality quality = player::Quality::kHigh;
    player::ScriptSettings scripts;
    bool quiet = false;
};

// Writes the numbered frame files of one movie. Returns 0, or 1 after a one-line message.
int ExportMovieFrames(const FramesJob& job);

}  // namespace cli
