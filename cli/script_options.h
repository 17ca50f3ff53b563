// The `--seed N` and `--clock fixed|now` options of the commands that play movies.
#pragma once

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdint>
#include <string>

#include "player/player.h"

namespace cli {

struct ScriptOptions {
    std::uint64_t seed = 1;
    std::string clock = "fixed";

    player::ScriptSettings Settings() const {
        player::ScriptSettings settings;
        settings.seed = seed;
        if (clock == "now") {
            settings.clockStartMs = static_cast<double>(
                std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::system_clock::now().time_since_epoch())
                    .count());
        }
        return settings;
    }
};

inline void AddScriptOptions(CLI::App* cmd, ScriptOptions* options) {
    cmd->add_option("--seed", options->seed,
                    "seed of the movie's random numbers (default: 1; the same seed gives the "
                    "same frames)");
    cmd->add_option("--clock", options->clock,
                    "where the movie's calendar starts: fixed (2005-01-01, default) or now")
        ->check(CLI::IsMember({"fixed", "now"}));
}

}  // namespace cli
