// `filmcast convert`: movies to animated GIFs named as the window names them, each movie in a
// child process of its own, several at once.
#include <filesystem>
#include <map>
#include <memory>
#include <system_error>
#include <thread>

#include "capture/workfolders.h"
#include "cli/av_options.h"
#include "cli/batch_files.h"
#include "cli/child_batch.h"
#include "cli/commands.h"
#include "cli/gif_options.h"
#include "cli/movie_job.h"
#include "cli/progress.h"
#include "cli/quality_option.h"
#include "cli/script_options.h"
#include "controls/fileutil.h"

namespace cli {

namespace {

namespace fs = std::filesystem;

struct ConvertOptions {
    std::vector<std::string> movies;
    std::string outputFolder = ".";
    GifCliOptions gif;
    VideoCliOptions video;
    std::string size;
    double scale = 0.0;
    int jobs = 0;
    long frames = 0;
    long from = -1;
    long to = -1;
    double duration = kDefaultDuration;
    player::Quality quality = player::Quality::kHigh;
    ScriptOptions scripts;
    bool quiet = false;
};

std::string FolderWithSlash(std::string folder) {
    if (folder.empty()) folder = ".";
    if (folder.back() != '/') folder += '/';
    return folder;
}

// The key two outputs clash on: the same file once the folder is resolved.
std::string ClashKey(const std::string& path) {
    std::error_code error;
    const fs::path resolved = fs::weakly_canonical(path, error);
    return error ? path : resolved.string();
}

// Makes the job's working folder and reserves its temporary name; false after a message.
bool ReserveFiles(ConvertJob& job) {
    RemoveStaleTemporarySiblings(job.outputFile);
    std::string error;
    job.work = MakePrivateWorkFolder(&error);
    if (job.work.Valid()) job.temp = ReserveTemporarySibling(job.outputFile, &error);
    if (job.work.Valid() && job.temp.Valid()) return true;
    std::fprintf(stderr, "filmcast: %s: cannot create temporary files for it: %s\n",
                 job.movie.c_str(), error.c_str());
    job.work.Remove();
    return false;
}

int UsageError(const std::string& message) {
    std::fprintf(stderr, "filmcast convert: %s\nRun 'filmcast convert --help' for usage.\n",
                 message.c_str());
    return 2;
}

int RunConvert(const ConvertOptions& options) {
    SizeOption size;
    if (!options.size.empty()) {
        const auto parsed = ParseSize(options.size);
        if (!parsed) return UsageError("bad --size '" + options.size + "' (expected WxH)");
        size = *parsed;
    }
    size.scale = options.scale;
    gif::GifOptions gifOptions;
    if (!options.gif.ToGifOptions(&gifOptions))
        return UsageError("bad --matte '" + options.gif.matte + "' (expected #RRGGBB)");
    std::optional<av::VideoOptions> video;
    std::string problem;
    if (!options.video.ToVideoOptions(options.gif, &video, &problem)) return UsageError(problem);
    if (options.from >= 0 && options.to >= 0 && options.to < options.from)
        return UsageError("--to comes before --from");
    const std::string folder = FolderWithSlash(options.outputFolder);
    std::string reason;
    if (!capture::EnsureFolder(folder, &reason)) {
        std::fprintf(stderr, "filmcast: %s: %s\n", folder.c_str(), reason.c_str());
        return 1;
    }

    // Working folders a killed run left behind go first; this run's are made (and its
    // temporary names reserved) only for movies as they start.
    RemoveStaleWorkFolders();
    std::vector<BatchItem> items;
    std::map<std::string, std::string> outputs;  // clash key -> movie writing it
    int failed = 0;
    const int jobs = options.jobs > 0
                         ? options.jobs
                         : std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    const bool childBars = jobs == 1 || options.movies.size() == 1;
    for (const std::string& movie : options.movies) {
        const std::string output = folder + GetFileNameFromPath(movie) + OutputExtension(options.video.format);
        const auto [it, fresh] = outputs.emplace(ClashKey(output), movie);
        if (!fresh) {
            std::fprintf(stderr, "filmcast: %s: skipped, it would write %s as %s does\n",
                         movie.c_str(), output.c_str(), it->second.c_str());
            ++failed;
            continue;
        }
        auto job = std::make_shared<ConvertJob>();
        job->movie = movie;
        job->outputFile = output;
        job->gif = gifOptions;
        job->video = video;
        job->size = size;
        job->frames = {options.frames, options.from, options.to, options.duration};
        job->quality = options.quality;
        job->scripts = options.scripts.Settings();
        job->quiet = options.quiet;
        job->showProgress = childBars;
        items.push_back({movie, [job] { return ReserveFiles(*job); },
                         [job] { return ConvertMovie(*job); },
                         [job](bool) {
                             job->work.Remove();
                             job->temp.Remove();
                         }});
    }
    CProgress batch("converted", options.quiet || childBars);
    failed +=
        RunInChildren(items, jobs, [&batch](long done, long total) { batch.Show(done, total); });
    if (Interrupted()) return 130;
    return failed > 0 ? 1 : 0;
}

}  // namespace

void AddConvertCommand(CLI::App& app, RunState& state) {
    auto options = std::make_shared<ConvertOptions>();
    CLI::App* cmd = app.add_subcommand(
        "convert", "Convert movies to animated GIFs (DIR/<movie file name>.gif), videos or animated "
        "pictures");
    cmd->add_option("movies", options->movies, "Flash movies (.swf)")->required();
    cmd->add_option("-o,--output", options->outputFolder, "output folder (default: .)");
    AddVideoOptions(cmd, &options->video);
    AddGifOptions(cmd, &options->gif);
    auto* sizeOption =
        cmd->add_option("--size", options->size, "capture size WxH (default: the stage size)");
    cmd->add_option("--scale", options->scale, "capture size as a factor of the stage size")
        ->check(CLI::Range(0.01, 16.0))
        ->excludes(sizeOption);
    cmd->add_option("-j,--jobs", options->jobs, "movies converted at once (default: cores)")
        ->check(CLI::Range(1, 256));
    cmd->add_option("--frames", options->frames,
                    "capture N ticks of playback as a player plays them")
        ->check(CLI::Range(1L, 100000L));
    cmd->add_option("--duration", options->duration,
                    "seconds of movie time a movie animated by its scripts plays at most "
                    "(default: 10; it stops sooner when its picture loops back to its first "
                    "frame's; --frames decides when given)")
        ->check(CLI::Range(0.01, 3600.0));
    cmd->add_option("--from", options->from, "first frame to capture (0-based)")
        ->check(CLI::Range(0L, 10000000L));
    cmd->add_option("--to", options->to, "last frame to capture (0-based)")
        ->check(CLI::Range(0L, 10000000L));
    AddQualityOption(cmd, &options->quality);
    AddScriptOptions(cmd, &options->scripts);
    cmd->add_flag("-q,--quiet", options->quiet, "no progress bar and no notes");
    cmd->callback([options, &state] { state.status = RunConvert(*options); });
}

}  // namespace cli
