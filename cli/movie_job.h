// The work `filmcast convert` and `filmcast frames` do for one movie: load it into the player
// control, choose the frames and the size, then drive the shared capture code.
#pragma once

#include <optional>
#include <string>

#include "cli/batch_files.h"
#include "cli/output_size.h"
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

// The GIF's frame rate at most: GIF delays are whole hundredths of a second, and players show
// delays under two hundredths far slower than asked.
constexpr int kMaxGifFrameRate = 50;

struct ConvertJob {
    std::string movie;
    std::string outputFile;  // the final GIF
    // Made by the parent just before the conversion starts. The GIF is assembled in the
    // working folder and moved into place, through `temp` when the folders lie on different
    // file systems; the job removes both when it ends, and so does the parent.
    Reservation temp;
    Reservation work;
    int fps = 0;  // 0 = the movie's own rate
    SizeOption size;
    FrameSelection frames;
    player::Quality quality = player::Quality::kHigh;
    player::ScriptSettings scripts;
    bool quiet = false;
    bool showProgress = true;
};

// Converts one movie and puts the GIF at outputFile only once it is complete (an interrupted
// or failed conversion leaves an older GIF as it was). Returns 0, or 1 after a one-line message
// on stderr naming the movie and the reason. Notes (damage, cut frames, caps) go to stderr too.
int ConvertMovie(ConvertJob& job);

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

// Writes the numbered frame files of one movie, each under a temporary name renamed when
// complete. Returns 0, or 1 after a one-line message.
int ExportMovieFrames(const FramesJob& job);

// "the movie ends early: ..." when the data ends before the frames its header promises, else "".
std::string EndedEarlyNote(const player::StageInfo& stage);

}  // namespace cli
