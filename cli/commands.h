// The subcommands of `filmcast`. Each adds itself to the CLI11 app; the one that runs sets
// the process exit status in `status` (0 = every input succeeded, 1 = some input failed,
// 2 = usage error).
#pragma once

#include <CLI/CLI.hpp>

namespace cli {

struct RunState {
    int status = 0;
};

// `filmcast frame MOVIE --at N [--size WxH | --scale F] -o FILE|-`: the picture after N ticks
// of play, in the format the file's extension names (a PNG on standard output for '-').
void AddFrameCommand(CLI::App& app, RunState& state);
// `filmcast convert MOVIE... [--list FILE] [--shard K/N] [-o FILE.gif|DIR|-] [--report FILE]
// [--skip-existing] [--keep-tree] [--fps N] [--size WxH | --scale F] [--jobs N]`.
void AddConvertCommand(CLI::App& app, RunState& state);
// `filmcast frames MOVIE [-o DIR] [--format bmp|tga|png] [--size WxH | --scale F]`:
// DIR/<movie name>-00000.bmp, ...
void AddFramesCommand(CLI::App& app, RunState& state);

// `filmcast trace MOVIE [--frames N]`: the scripts' trace() output, one line a call.
void AddTraceCommand(CLI::App& app, RunState& state);

// `filmcast sound MOVIE -o FILE.wav|.flac|.ogg [--frames N | --from A --to B]`: the movie's
// audio.
void AddSoundCommand(CLI::App& app, RunState& state);

// `filmcast info MOVIE... [--json]`: the header values of each movie.
void AddInfoCommand(CLI::App& app, RunState& state);

}  // namespace cli
