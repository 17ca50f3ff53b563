// `filmcast trace`: plays a movie as a player does and prints what its scripts trace().
#include <cstdio>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/script_options.h"
#include "player/player.h"

namespace cli {

namespace {

struct TraceOptions {
    std::string movie;
    int frames = 1;
    ScriptOptions scripts;
};

int RunTrace(const TraceOptions& options) {
    std::string error;
    auto movie = player::Player::LoadFile(options.movie, &error);
    if (!movie) {
        std::fprintf(stderr, "filmcast trace: %s: %s\n", options.movie.c_str(), error.c_str());
        return 1;
    }
    if (movie->UsesActionScript3())
        std::fprintf(stderr, "filmcast trace: %s: ActionScript 3 is not run\n",
                     options.movie.c_str());
    player::ScriptSettings settings = options.scripts.Settings();
    settings.trace = [](std::string_view line) {
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
    };
    // The first frame plays as the movie starts; each further frame is one tick.
    movie->SetScripting(std::move(settings));
    for (int i = 1; i < options.frames; ++i) movie->Tick(false, true);
    std::fflush(stdout);
    for (const std::string& problem : movie->Problems())
        std::fprintf(stderr, "filmcast trace: %s: %s\n", options.movie.c_str(), problem.c_str());
    return 0;
}

}  // namespace

void AddTraceCommand(CLI::App& app, RunState& state) {
    auto options = std::make_shared<TraceOptions>();
    CLI::App* cmd = app.add_subcommand(
        "trace", "Play a movie's first N frames and print its scripts' trace() output");
    cmd->add_option("movie", options->movie, "Flash movie (.swf)")->required();
    cmd->add_option("--frames", options->frames, "frames to play (default: 1)")
        ->check(CLI::Range(1, 1000000));
    AddScriptOptions(cmd, &options->scripts);
    cmd->callback([options, &state] { state.status = RunTrace(*options); });
}

}  // namespace cli
