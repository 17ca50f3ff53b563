// `filmcast frames`: one movie to a numbered sequence of image files, DIR/<movie name>-00000.ext
// (demo.swf -> demo-00000.png, demo-00001.png, ...).
#include <memory>

#include "cli/batch_files.h"
#include "cli/child_batch.h"
#include "cli/commands.h"
#include "cli/common_options.h"
#include "cli/movie_job.h"
#include "cli/output_names.h"
#include "cli/quality_option.h"
#include "cli/script_options.h"
#include "cli/standard_streams.h"

namespace cli {

namespace {

struct FramesOptions {
    std::string movie;
    std::string outputFolder;
    std::string format = "bmp";
    CommonOptions common;
    long frames = 0;
    long from = -1;
    long to = -1;
    player::Quality quality = player::Quality::kHigh;
    ScriptOptions scripts;
};

int UsageError(const std::string& message) {
    std::fprintf(stderr, "filmcast frames: %s\nRun 'filmcast frames --help' for usage.\n",
                 message.c_str());
    return 2;
}

int RunFrames(const FramesOptions& options) {
    FramesJob job;
    if (!ToSizeOption(options.common, &job.size))
        return UsageError("bad --size '" + options.common.size + "' (expected WxH)");
    if (options.from >= 0 && options.to >= 0 && options.to < options.from)
        return UsageError("--to comes before --from");
    if (options.outputFolder == kStandardStream)
        return UsageError("-o - writes one picture; frames writes many: name a folder");
    const bool fromInput = options.movie == kStandardStream;
    if (fromInput && options.outputFolder.empty())
        return UsageError("a movie read from standard input needs -o DIR");
    Reservation inputFolder;
    std::string error;
    job.movie = options.movie;
    job.label = options.movie;
    if (fromInput) {
        job.label = kStandardInputLabel;
        inputFolder = MakePrivateWorkFolder(&error);
        if (!inputFolder.Valid() || !SpoolStandardInput(inputFolder.Path(), &job.movie, &error)) {
            std::fprintf(stderr, "filmcast: %s: %s\n", kStandardInputLabel, error.c_str());
            return 1;
        }
    }
    job.folder = options.outputFolder.empty() ? "./" : options.outputFolder;
    if (job.folder.back() != '/') job.folder += '/';
    job.stem = fromInput ? "standard-input" : MovieStem(options.movie);
    job.extension = "." + options.format;
    job.noClobber = options.common.noClobber;
    job.frames = {options.frames, options.from, options.to};
    job.quality = options.quality;
    job.scripts = options.scripts.Settings();
    job.quiet = options.common.quiet;
    job.verbose = options.common.verbose;
    std::vector<BatchItem> items{{job.label, {}, [&job] { return ExportMovieFrames(job); }, {}}};
    CProgress progress(options.common.quiet);
    const int status = RunInChildren(items, 1, progress);
    inputFolder.Remove();
    if (Interrupted()) return 130;
    return status;
}

}  // namespace

void AddFramesCommand(CLI::App& app, RunState& state) {
    auto options = std::make_shared<FramesOptions>();
    CLI::App* cmd = app.add_subcommand(
        "frames",
        "Write every frame of a movie as a numbered image (DIR/<movie name>-00000.bmp, ...)");
    cmd->add_option("movie", options->movie,
                    "Flash movie (.swf); '-' reads it from standard input (needs -o)")
        ->required();
    cmd->add_option("-o,--output", options->outputFolder, "output folder (default: .)");
    cmd->add_option("--format", options->format, "image format of the files (default: bmp)")
        ->check(CLI::IsMember({"bmp", "tga", "png"}));
    AddSizeOptions(cmd, &options->common, "picture");
    AddOverwriteOptions(cmd, &options->common);
    cmd->add_option("--frames", options->frames, "take N ticks of playback as a player plays them")
        ->check(CLI::Range(1L, 100000L));
    cmd->add_option("--from", options->from,
                    "first frame to take (0-based; past the movie's end is a usage error)")
        ->check(CLI::Range(0L, 10000000L));
    cmd->add_option("--to", options->to, "last frame to take (0-based; past the end: to the end)")
        ->check(CLI::Range(0L, 10000000L));
    AddQualityOption(cmd, &options->quality);
    AddScriptOptions(cmd, &options->scripts);
    AddTalkOptions(cmd, &options->common, true);
    cmd->callback([options, &state] { state.status = RunFrames(*options); });
}

}  // namespace cli
