// The output formats of `filmcast convert` and the options of its videos and full-colour
// animated pictures: the format, the video quality and leaving the sound out.
#pragma once

#include <CLI/CLI.hpp>
#include <map>
#include <optional>
#include <string>

#include "cli/av_convert.h"
#include "cli/gif_options.h"

namespace cli {

enum class OutputFormat { kGif, kMp4, kWebm, kApng, kWebp };

// The name --format gives a format (its extension is in cli/output_names).
inline const char* FormatName(OutputFormat format) {
    switch (format) {
        case OutputFormat::kGif: return "gif";
        case OutputFormat::kMp4: return "mp4";
        case OutputFormat::kWebm: return "webm";
        case OutputFormat::kApng: return "apng";
        case OutputFormat::kWebp: return "webp";
    }
    return "gif";
}

struct VideoCliOptions {
    OutputFormat format = OutputFormat::kGif;
    int crf = 0;
    bool sound = true;

    // The video writer's options for a format other than GIF (none for a GIF); false when
    // --matte is not a colour or --transparent is asked of a format without alpha.
    bool ToVideoOptions(const GifCliOptions& gif, std::optional<av::VideoOptions>* video,
                        std::string* problem) const {
        video->reset();
        if (format == OutputFormat::kGif) return true;
        av::VideoOptions options;
        options.format = format == OutputFormat::kMp4    ? av::Format::kMp4
                         : format == OutputFormat::kWebm ? av::Format::kWebm
                         : format == OutputFormat::kApng ? av::Format::kApng
                                                         : av::Format::kWebp;
        if (gif.transparent && !av::KeepsAlpha(options.format)) {
            *problem = "--transparent needs --format gif, apng or webp";
            return false;
        }
        options.fps = gif.fps;
        options.crf = crf;
        options.transparent = gif.transparent;
        options.sound = sound;
        options.plays = gif.loop;
        if (!gif.matte.empty()) {
            options.matte = ParseColour(gif.matte);
            if (!options.matte) {
                *problem = "bad --matte '" + gif.matte + "' (expected #RRGGBB)";
                return false;
            }
        }
        *video = options;
        return true;
    }
};

inline void AddVideoOptions(CLI::App* cmd, VideoCliOptions* options) {
    AddChoice(cmd, "--format", &options->format,
              std::map<std::string, OutputFormat>{{"gif", OutputFormat::kGif},
                                                  {"mp4", OutputFormat::kMp4},
                                                  {"webm", OutputFormat::kWebm},
                                                  {"apng", OutputFormat::kApng},
                                                  {"webp", OutputFormat::kWebp}},
              "gif (default); mp4 (H.264 + AAC sound); webm (VP9 + Opus sound); apng or webp "
              "(full-colour animated pictures, alpha with --transparent). Files end in .gif, "
              ".mp4, .webm, .png or .webp",
              "gif|mp4|webm|apng|webp");
    cmd->add_option("--crf", options->crf,
                    "video quality of mp4 and webm, lower is better and larger (default: " +
                        std::to_string(av::kDefaultMp4Crf) + " for mp4, " +
                        std::to_string(av::kDefaultWebmCrf) + " for webm)")
        ->check(CLI::Range(1, 63));
    cmd->add_flag("!--no-sound", options->sound,
                  "leave the movie's sound out of mp4 and webm (it is in them by default)");
}

}  // namespace cli
