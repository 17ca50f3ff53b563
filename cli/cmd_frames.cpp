// `filmcast frames`: one movie to a numbered sequence of image files, named as the window's
// sequence export names them (movie file name + 5-digit frame number + extension).
#include <memory>

#include "cli/child_batch.h"
#include "cli/commands.h"
#include "cli/movie_job.h"
#include "cli/quality_option.h"
#include "cli/script_options.h"

namespace cli {

namespace {

struct FramesOptions {
    std::string movie;
    std::string outputFolder = ".";
    std::string format = "bmp";
    std::string size;
    long frames = 0;
    long from = -1;
    long to = -1;
    player::Quality quality = player::Quality::kHigh;
    ScriptOptions scripts;
    bool quiet = false;
};

int RunFrames(const FramesOptions& options) {
    FramesJob job;
    if (!options.size.empty()) {
        const auto size = ParseSize(options.size);
        if (!size) {
            std::fprintf(stderr,
                         "filmcast frames: bad --size '%s' (expected WxH)\n"
                         "Run 'filmcast frames --help' for usage.\n",
                         options.size.c_str());
            return 2;
        }
        job.size = *size;
    }
    job.movie = options.movie;
    job.folder = options.outputFolder.empty() ? "./" : options.outputFolder;
    if (job.folder.back() != '/') job.folder += '/';
    job.extension = "." + options.format;
    job.frames = {options.frames, options.from, options.to};
    job.quality = options.quality;
        job.scripts = options.scripts.Settings();
    job.quiet = options.quiet;
    std::vector<BatchItem> items{{job.movie, {}, [&job] { return ExportMovieFrames(job); }, {}}};
    const int failed = RunInChildren(items, 1, {});
    if (Interrupted()) return 130;
    return failed > 0 ? 1 : 0;
}

}  // namespace

void AddFramesCommand(CLI::App& app, RunState& state) {
    auto options = std::make_shared<FramesOptions>();
    CLI::App* cmd = app.add_subcommand(
        "frames", "Write every frame of a movie as a numbered image (DIR/<movie>00000.bmp, ...)");
    cmd->add_option("movie", options->movie, "Flash movie (.swf)")->required();
    cmd->add_option("-o,--output", options->outputFolder, "output folder (default: .)");
    cmd->add_option("--format", options->format, "image format of the files")
        ->check(CLI::IsMember({"bmp", "tga", "png"}));
    cmd->add_option("--size", options->size, "picture size WxH (default: the stage size)");
    cmd->add_option("--frames", options->frames, "take N ticks of playback as a player plays them")
        ->check(CLI::Range(1L, 100000L));
    cmd->add_option("--from", options->from, "first frame to take (0-based)")
        ->check(CLI::Range(0L, 10000000L));
    cmd->add_option("--to", options->to, "last frame to take (0-based)")
        ->check(CLI::Range(0L, 10000000L));
    AddQualityOption(cmd, &options->quality);
    AddScriptOptions(cmd, &options->scripts);
    cmd->add_flag("-q,--quiet", options->quiet, "no progress bar and no notes");
    cmd->callback([options, &state] { state.status = RunFrames(*options); });
}

}  // namespace cli
