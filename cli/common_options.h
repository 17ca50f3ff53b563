// Options the writing commands share: the output size (--size WxH or --scale F), what to do
// with a file that exists already (-n/--no-clobber, -y/--overwrite) and how much to say
// (-q/--quiet, -v/--verbose).
#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "cli/output_size.h"

namespace cli {

struct CommonOptions {
    std::string size;
    double scale = 0.0;
    bool noClobber = false;
    bool overwrite = false;
    bool quiet = false;
    bool verbose = false;
};

inline void AddSizeOptions(CLI::App* cmd, CommonOptions* options, const std::string& what) {
    auto* size = cmd->add_option("--size", options->size,
                                 what + " size WxH (default: the stage size)");
    cmd->add_option("--scale", options->scale, what + " size as a factor of the stage size")
        ->check(CLI::Range(0.01, 16.0))
        ->excludes(size);
}

// The size asked for; false when --size is not WxH.
inline bool ToSizeOption(const CommonOptions& options, SizeOption* size) {
    *size = {};
    if (!options.size.empty()) {
        const auto parsed = ParseSize(options.size);
        if (!parsed) return false;
        *size = *parsed;
    }
    size->scale = options.scale;
    return true;
}

inline void AddOverwriteOptions(CLI::App* cmd, CommonOptions* options) {
    auto* keep = cmd->add_flag("-n,--no-clobber", options->noClobber,
                               "never replace an existing output file: report it and fail");
    cmd->add_flag("-y,--overwrite", options->overwrite,
                  "replace existing output files (the default)")
        ->excludes(keep);
}

inline void AddTalkOptions(CLI::App* cmd, CommonOptions* options, bool progress) {
    auto* quiet = cmd->add_flag("-q,--quiet", options->quiet,
                                progress ? "no progress line and no notes" : "no notes");
    cmd->add_flag("-v,--verbose", options->verbose,
                  "say what is read and written: frames, size, output names")
        ->excludes(quiet);
}

}  // namespace cli
