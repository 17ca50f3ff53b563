// The `--quality low|medium|high|best` option the drawing commands share.
#pragma once

#include <CLI/CLI.hpp>
#include <map>
#include <string>

#include "player/player.h"

namespace cli {

inline CLI::Option* AddQualityOption(CLI::App* cmd, player::Quality* quality) {
    static const std::map<std::string, player::Quality> kNames{{"low", player::Quality::kLow},
                                                               {"medium", player::Quality::kMedium},
                                                               {"high", player::Quality::kHigh},
                                                               {"best", player::Quality::kBest}};
    return cmd
        ->add_option("--quality", *quality,
                     "drawing quality: low (no anti-aliasing, crisp pixels), medium, high or best "
                     "(default: high)")
        // Transforms run last added first: the names are checked before they are mapped.
        ->transform(CLI::CheckedTransformer(kNames, CLI::ignore_case).description(""))
        ->transform(
            CLI::IsMember({"low", "medium", "high", "best"}, CLI::ignore_case).description(""))
        ->type_name("low|medium|high|best");
}

}  // namespace cli
