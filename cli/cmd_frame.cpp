// `filmcast frame`: renders the picture a stand-alone player shows after N ticks into an image
// file.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "capture/frame_capture.h"
#include "cli/commands.h"
#include "cli/quality_option.h"
#include "cli/script_options.h"
#include "player/player.h"

namespace cli {

namespace {

// Largest side `frame` draws when the size comes from the stage.
constexpr int kMaxDefaultSide = 4096;
// Largest picture `frame` draws at all.
constexpr long long kMaxPixels = 16384LL * 16384LL;

struct FrameOptions {
    std::string movie;
    int at = 0;
    std::string size;
    std::string output;
    player::Quality quality = player::Quality::kHigh;
    ScriptOptions scripts;
};

bool ParseSize(const std::string& text, int* width, int* height) {
    int w = 0, h = 0;
    char x = 0;
    char extra = 0;
    if (std::sscanf(text.c_str(), "%d%c%d%c", &w, &x, &h, &extra) != 3 || (x != 'x' && x != 'X'))
        return false;
    if (w <= 0 || h <= 0 || static_cast<long long>(w) * h > kMaxPixels) return false;
    *width = w;
    *height = h;
    return true;
}

// The stage size, scaled down to fit kMaxDefaultSide; a stage of no area draws 1 x 1.
void DefaultSize(const player::StageInfo& stage, int* width, int* height) {
    double w = std::max(stage.widthPx, 1), h = std::max(stage.heightPx, 1);
    const double shrink = std::min(1.0, kMaxDefaultSide / std::max(w, h));
    *width = std::max(1, static_cast<int>(std::lround(w * shrink)));
    *height = std::max(1, static_cast<int>(std::lround(h * shrink)));
}

int RunFrame(const FrameOptions& options) {
    int width = 0, height = 0;
    if (!options.size.empty() && !ParseSize(options.size, &width, &height)) {
        std::fprintf(stderr, "filmcast frame: bad --size '%s' (expected WxH)\n",
                     options.size.c_str());
        return 2;
    }
    std::string error;
    auto movie = player::Player::LoadFile(options.movie, &error);
    if (!movie) {
        std::fprintf(stderr, "filmcast frame: %s: %s\n", options.movie.c_str(), error.c_str());
        return 1;
    }
    movie->SetQuality(options.quality);
    movie->SetScripting(options.scripts.Settings());
    if (movie->UsesActionScript3())
        std::fprintf(stderr, "filmcast frame: %s: ActionScript 3 is not run\n",
                     options.movie.c_str());
    if (options.size.empty()) DefaultSize(movie->Stage(), &width, &height);
    movie->PlayTicksFromStart(options.at);

    CSurface surface(width, height);
    if (!surface.IsValid()) {
        std::fprintf(stderr, "filmcast frame: cannot allocate a %dx%d picture\n", width, height);
        return 1;
    }
    movie->Render({surface.Pixels(), width, height, surface.Stride()});
    // The file's extension picks the format, as every image the program writes.
    if (!capture::SaveSurface(surface, options.output, &error)) {
        std::fprintf(stderr, "filmcast frame: %s: %s\n", options.output.c_str(), error.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

void AddFrameCommand(CLI::App& app, RunState& state) {
    auto options = std::make_shared<FrameOptions>();
    CLI::App* cmd = app.add_subcommand(
        "frame",
        "Render the picture shown after N ticks to an image (bmp, gif, jpg, png, tif, tga)");
    cmd->add_option("movie", options->movie, "Flash movie (.swf)")->required();
    cmd->add_option("--at", options->at, "ticks played from the start (0 = first frame)")
        ->check(CLI::Range(0, 1000000));
    cmd->add_option("--size", options->size, "picture size WxH (default: the stage size)");
    AddQualityOption(cmd, &options->quality);
    AddScriptOptions(cmd, &options->scripts);
    cmd->add_option("-o,--output", options->output,
                    "image file to write; its extension picks the format")
        ->required();
    cmd->callback([options, &state] { state.status = RunFrame(*options); });
}

}  // namespace cli
