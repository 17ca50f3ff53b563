// The `--seed N`, `--clock fixed|now`, `--click X,Y@TICK` and `--key NAME@TICK` options of the
// commands that play movies.
#pragma once

#include <CLI/CLI.hpp>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "player/limits.h"
#include "player/player.h"

namespace cli {

// The last tick a scripted click or key may name.
constexpr long kMaxInputTick = 10'000'000;

// "...@TICK": the tick after the last '@', and the text before it. False when malformed.
inline bool SplitAtTick(const std::string& text, std::string* before, long* tick) {
    const auto at = text.rfind('@');
    if (at == std::string::npos || at + 1 >= text.size()) return false;
    const std::string digits = text.substr(at + 1);
    if (digits.find_first_not_of("0123456789") != std::string::npos || digits.size() > 9)
        return false;
    *tick = std::strtol(digits.c_str(), nullptr, 10);
    *before = text.substr(0, at);
    return *tick <= kMaxInputTick;
}

// "X,Y@TICK": a click at stage pixels (X, Y) on a tick.
inline bool ParseClick(const std::string& text, double* x, double* y, long* tick) {
    std::string point;
    if (!SplitAtTick(text, &point, tick)) return false;
    const auto comma = point.find(',');
    if (comma == std::string::npos) return false;
    const std::string xs = point.substr(0, comma), ys = point.substr(comma + 1);
    char* end = nullptr;
    *x = std::strtod(xs.c_str(), &end);
    if (xs.empty() || *end) return false;
    *y = std::strtod(ys.c_str(), &end);
    if (ys.empty() || *end) return false;
    return std::isfinite(*x) && std::isfinite(*y) && std::fabs(*x) < 1e6 && std::fabs(*y) < 1e6;
}

// "NAME@TICK": a key pressed on a tick.
inline bool ParseKey(const std::string& text, int* keyCode, int* ascii, long* tick) {
    std::string name;
    return SplitAtTick(text, &name, tick) && player::KeyByName(name, keyCode, ascii);
}

struct ScriptOptions {
    std::uint64_t seed = 1;
    std::string clock = "fixed";
    std::vector<std::string> clicks;  // X,Y@TICK
    std::vector<std::string> keys;    // NAME@TICK

    player::ScriptSettings Settings() const {
        player::ScriptSettings settings;
        settings.seed = seed;
        if (clock == "now") {
            settings.clockStartMs = static_cast<double>(
                std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::system_clock::now().time_since_epoch())
                    .count());
        }
        for (const std::string& click : clicks) {
            double x = 0, y = 0;
            long tick = 0;
            if (ParseClick(click, &x, &y, &tick)) player::AddClick(settings.input, tick, x, y);
        }
        for (const std::string& key : keys) {
            int code = 0, ascii = 0;
            long tick = 0;
            if (ParseKey(key, &code, &ascii, &tick))
                player::AddKeyPress(settings.input, tick, code, ascii);
        }
        return settings;
    }
    bool HasInput() const { return !clicks.empty() || !keys.empty(); }
};

inline void AddScriptOptions(CLI::App* cmd, ScriptOptions* options) {
    cmd->add_option("--seed", options->seed,
                    "seed of the movie's random numbers (default: 1; the same seed gives the "
                    "same frames)");
    cmd->add_option("--clock", options->clock,
                    "where the movie's calendar starts: fixed (2005-01-01, default) or now")
        ->check(CLI::IsMember({"fixed", "now"}));
    // Each click takes three events and each key two, within the engine's cap.
    const std::size_t most = player::Limits{}.maxScriptedInputs / 3;
    cmd->add_option("--click", options->clicks,
                    "click at stage pixel X,Y on tick TICK (0 = the first frame; frame TICK "
                    "is the first to show what it did): the pointer moves there, presses and "
                    "releases, as a user's click; repeatable")
        ->type_name("X,Y@TICK")
        ->expected(0, static_cast<int>(most))
        ->allow_extra_args(false)
        ->check(CLI::Validator(
            [](std::string& text) {
                double x = 0, y = 0;
                long tick = 0;
                return ParseClick(text, &x, &y, &tick)
                           ? std::string()
                           : "expected X,Y@TICK (stage pixels, a tick from 0 to " +
                                 std::to_string(kMaxInputTick) + "), got " + text;
            },
            ""));
    cmd->add_option("--key", options->keys,
                    "press key NAME on tick TICK, held through that tick: a letter or digit, "
                    "Space, Enter, Escape, Tab, Backspace, Delete, Insert, Home, End, PageUp, "
                    "PageDown, Left, Right, Up, Down, Shift, Control or F1-F12; repeatable")
        ->type_name("NAME@TICK")
        ->expected(0, static_cast<int>(most))
        ->allow_extra_args(false)
        ->check(CLI::Validator(
            [](std::string& text) {
                int code = 0, ascii = 0;
                long tick = 0;
                return ParseKey(text, &code, &ascii, &tick)
                           ? std::string()
                           : "expected NAME@TICK (a key name such as Space, Enter, A or "
                             "Left), got " + text;
            },
            ""));
}

}  // namespace cli
