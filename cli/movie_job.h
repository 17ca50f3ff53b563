// The work `filmcast convert` and `filmcast frames` do for one movie: load it into the player
// control, choose the frames and the size, then drive the shared capture code.
#pragma once

#include <optional>
#include <string>

#include "cli/av_convert.h"
#include "cli/batch_files.h"
#include "cli/gif_convert.h"
#include "cli/gif_timing.h"
#include "cli/output_size.h"
#include "player/player.h"

namespace cli {

// Which frames to take. By default the root timeline's frames. A movie animated by its
// scripts (one whose root holds one or two frames, or stops itself before its last) is played
// until its picture comes back to its first frame's, or for `duration` seconds of movie time,
// whichever is first (at most the engine's cap on playback ticks). A movie without scripts whose
// root holds one frame is played for as many ticks as its longest clip (at most
// kMaxAutoTicks).
struct FrameSelection {
    long ticks = 0;         // --frames: ticks of playback as a player plays them (0 = not asked)
    long from = -1;         // --from, first frame taken (-1 = the first)
    long to = -1;           // --to, last frame taken (-1 = the last)
    double duration = 10;   // --duration: seconds a scripted movie plays at most
};
constexpr long kMaxAutoTicks = 1000;
constexpr double kDefaultDuration = 10;

// How long a scripted movie plays: `ticks` frames, and whether that is because its picture
// came back to the first frame's after changing (a loop) rather than the time running out.
struct ScriptedLength {
    long ticks = 0;
    bool looped = false;
};
// Plays the movie from its start with its settings, drawing each tick at `width` x `height`,
// for at most maxTicks ticks.
ScriptedLength MeasureScriptedPlayback(player::Player& movie, int width, int height,
                                       long maxTicks);
// Whether the movie is animated by its scripts rather than its root timeline: it has scripts,
// and its root holds one or two frames or stops itself before its last frame when played.
bool AnimatedByScripts(player::Player& movie);

// The GIF's frame rate at most: GIF delays are whole hundredths of a second, and players show
// delays under two hundredths far slower than asked.
constexpr int kMaxGifFrameRate = gif::kMaxFrameRate;

struct ConvertJob {
    std::string movie;
    std::string label;       // the movie as messages name it
    std::string outputFile;  // the final GIF
    bool toStandardOutput = false;  // the GIF goes to stdout instead of outputFile
    // Made by the parent just before the conversion starts. The GIF is assembled in the
    // working folder and moved into place, through `temp` when the folders lie on different
    // file systems; the job removes both when it ends, and so does the parent.
    Reservation temp;
    Reservation work;
    gif::GifOptions gif;  // rate, colours, optimizing, transparency, loops
    // A video or full-colour animated picture instead of a GIF, when set.
    std::optional<av::VideoOptions> video;
    SizeOption size;
    FrameSelection frames;
    player::Quality quality = player::Quality::kHigh;
    player::ScriptSettings scripts;
    bool quiet = false;
    bool verbose = false;
};

// Converts one movie (drawn and encoded once, streamed into the GIF or video) and puts it at
// outputFile only once it is complete (an interrupted or failed conversion leaves an older
// output as it was). Returns 0; 1 after a one-line message on stderr naming the movie and the
// reason; 2 when the frames asked for lie outside the movie. Notes (damage, cut frames, caps)
// go to stderr too; the frames done are reported to the parent process (ReportFrames).
int ConvertMovie(ConvertJob& job);

struct FramesJob {
    std::string movie;
    std::string label;      // the movie as messages name it
    std::string folder;     // "/"-terminated
    std::string stem;       // the files are stem-00000.ext, ...
    std::string extension;  // ".bmp", ".tga" or ".png"
    bool noClobber = false; // an existing frame file fails the movie instead of being replaced
    SizeOption size;
    FrameSelection frames;
    player::Quality quality = player::Quality::kHigh;
    player::ScriptSettings scripts;
    bool quiet = false;
    bool verbose = false;
};

// Writes the numbered frame files of one movie, each under a temporary name renamed when
// complete. Returns 0, or 1 after a one-line message (2 for frames outside the movie).
int ExportMovieFrames(const FramesJob& job);

// "the movie is truncated: ..." when the data ends before the frames its header promises, else "".
std::string EndedEarlyNote(const player::StageInfo& stage);

}  // namespace cli
