// The GIF options of `filmcast convert`: rate, colours, dithering, palette, optimizing,
// transparency and loops, with the colour parser --matte uses.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "cli/gif_convert.h"
#include "cli/gif_writer.h"

namespace cli {

// "#RRGGBB" or "RRGGBB" (hex digits in either case) as 0xRRGGBB; nothing otherwise.
inline std::optional<std::uint32_t> ParseColour(std::string text) {
    if (!text.empty() && text.front() == '#') text.erase(0, 1);
    if (text.size() != 6) return std::nullopt;
    std::uint32_t value = 0;
    for (const char c : text) {
        const int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                          : (c >= 'a' && c <= 'f')                     ? c - 'a' + 10
                          : (c >= 'A' && c <= 'F')                     ? c - 'A' + 10
                                                                       : -1;
        if (digit < 0) return std::nullopt;
        value = value * 16 + std::uint32_t(digit);
    }
    return value;
}

struct GifCliOptions {
    int fps = 0;
    int colors = gif::kMaxColors;
    gif::Dither dither = gif::Dither::kDiffuse;
    bool globalPalette = false;
    bool optimize = true;
    int tolerance = gif::kDefaultTolerance;
    bool transparent = false;
    std::string matte;
    int loop = 0;

    // The encoder's options; false when --matte is not a colour.
    bool ToGifOptions(gif::GifOptions* options) const {
        options->fps = fps;
        options->colors = colors;
        options->dither = dither;
        options->globalPalette = globalPalette;
        options->optimize = optimize;
        options->tolerance = tolerance;
        options->transparent = transparent;
        options->plays = loop;
        options->matte.reset();
        if (matte.empty()) return true;
        options->matte = ParseColour(matte);
        return options->matte.has_value();
    }
};

template <typename Value>
CLI::Option* AddChoice(CLI::App* cmd, const std::string& name, Value* value,
                       const std::map<std::string, Value>& names, const std::string& help,
                       const std::string& typeName) {
    std::vector<std::string> keys;
    for (const auto& entry : names) keys.push_back(entry.first);
    return cmd->add_option(name, *value, help)
        // Transforms run last added first: the names are checked before they are mapped.
        ->transform(CLI::CheckedTransformer(names, CLI::ignore_case).description(""))
        ->transform(CLI::IsMember(keys, CLI::ignore_case).description(""))
        ->type_name(typeName);
}

inline void AddGifOptions(CLI::App* cmd, GifCliOptions* options) {
    cmd->add_option("--fps", options->fps,
                    "pictures a second of the movie's running time, frames dropped or repeated "
                    "(default: the movie's rate; a GIF shows at most 50, as GIF viewers show)")
        ->check(CLI::Range(1, 100));
    cmd->add_option("--colors", options->colors,
                    "colours a picture holds, 2-256 (the transparent entry included; default 256)")
        ->check(CLI::Range(2, gif::kMaxColors));
    AddChoice(cmd, "--dither", &options->dither,
              std::map<std::string, gif::Dither>{{"none", gif::Dither::kNone},
                                                 {"ordered", gif::Dither::kOrdered},
                                                 {"diffuse", gif::Dither::kDiffuse}},
              "dithering onto the palette: none, ordered (a Bayer pattern) or diffuse "
              "(error diffusion; default)",
              "none|ordered|diffuse");
    AddChoice(cmd, "--palette", &options->globalPalette,
              std::map<std::string, bool>{{"local", false}, {"global", true}},
              "local: each picture its own palette (default); global: one palette for the GIF, "
              "from frames spread over the movie",
              "local|global");
    cmd->add_flag("--optimize,!--no-optimize", options->optimize,
                  "merge identical frames and store each later one as the rectangle that "
                  "changed, unchanged pixels transparent where that is smaller (default: on)");
    cmd->add_option("--tolerance", options->tolerance,
                    "levels a channel (0-255) a pixel may drift from the colour it was drawn in "
                    "before it is drawn again, with --optimize; a pixel on screen within 3N "
                    "levels of its colour, beyond the palette's own error, is left as shown where "
                    "that is smaller (0: only exact repeats are kept; default: " +
                        std::to_string(gif::kDefaultTolerance) + ")")
        ->check(CLI::Range(0, 255));
    cmd->add_flag("--transparent", options->transparent,
                  "leave the stage's background transparent (a GIF: 1-bit alpha, soft edges "
                  "matted; apng and webp: full alpha)");
    cmd->add_option("--matte", options->matte,
                    "colour behind soft edges, #RRGGBB (default: the stage colour)");
    cmd->add_option("--loop", options->loop,
                    "plays of the animation: 0 forever (default), 1 once, N times")
        ->check(CLI::Range(0, gif::kMaxPlays));
}

}  // namespace cli
