// The trace() lines of a movie built with the SWF writer, played by the engine for a number of
// frames (the first included): how the script tests see what their movies did.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "player/player.h"
#include "tests/support/swf_writer.h"

namespace swfw {

inline std::vector<std::string> PlayTraces(const Movie& movie, int frames = 1,
                                           const player::Limits& limits = {}) {
    std::vector<std::string> lines;
    std::string error;
    auto player = player::Player::Load(movie.Bytes(), &error, limits);
    EXPECT_TRUE(player) << error;
    if (!player) return lines;
    player::ScriptSettings settings;
    settings.trace = [&lines](std::string_view line) { lines.emplace_back(line); };
    player->SetScripting(std::move(settings));
    for (int i = 1; i < frames; ++i) player->Tick(false, true);
    return lines;
}

}  // namespace swfw
