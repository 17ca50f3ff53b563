// `filmcast convert`: movies to animated GIFs, each movie in a child process of its own, several
// at once. Movies come from the command line and from lists; a run may take one share of them,
// skip those already converted and report each movie as one JSON line.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <system_error>
#include <thread>

#include "capture/workfolders.h"
#include "cli/av_options.h"
#include "cli/batch_files.h"
#include "cli/child_batch.h"
#include "cli/commands.h"
#include "cli/common_options.h"
#include "cli/gif_options.h"
#include "cli/movie_job.h"
#include "cli/output_names.h"
#include "cli/progress.h"
#include "cli/quality_option.h"
#include "cli/script_options.h"
#include "cli/standard_streams.h"
#include "player/limits.h"

namespace cli {

namespace {

namespace fs = std::filesystem;

struct ConvertOptions {
    std::vector<std::string> movies;
    std::string output;
    std::string list;
    std::string shard;
    std::string report;
    bool skipExisting = false;
    bool keepTree = false;
    CommonOptions common;
    GifCliOptions gif;
    VideoCliOptions video;
    int jobs = 0;
    long frames = 0;
    long from = -1;
    long to = -1;
    double duration = kDefaultDuration;
    player::Quality quality = player::Quality::kHigh;
    ScriptOptions scripts;
};

// Where the outputs go: one named file, standard output, or a folder.
struct OutputPlan {
    enum class Kind { kFolder, kFile, kStandardOutput } kind = Kind::kFolder;
    std::string path;  // the file, or the "/"-terminated folder ("" for the current one)
};

std::string FolderWithSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

// The key two outputs clash on: the same file once the folder is resolved.
std::string ClashKey(const std::string& path) {
    std::error_code error;
    const fs::path resolved = fs::weakly_canonical(path, error);
    return error ? path : resolved.string();
}

// An output another run finished. Ours appear only when complete (renamed into place); a GIF
// must also start as a GIF does and end with the GIF trailer, anything else must not be empty.
bool LooksComplete(const std::string& path, OutputFormat format) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (format != OutputFormat::kGif) return in && in.tellg() > 0;
    in.seekg(0);
    char head[4] = {};
    if (!in.read(head, sizeof head) || std::string(head, 4) != "GIF8") return false;
    in.seekg(-1, std::ios::end);
    char last = 0;
    return static_cast<bool>(in.get(last)) && last == 0x3B;
}

bool Exists(const std::string& path) {
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error));
}

// Makes the job's working folder and reserves its temporary name; false with the reason.
bool ReserveFiles(ConvertJob& job, std::string* reason) {
    if (!job.toStandardOutput) RemoveStaleTemporarySiblings(job.outputFile);
    std::string error;
    job.work = MakePrivateWorkFolder(&error);
    if (job.work.Valid() && !job.toStandardOutput)
        job.temp = ReserveTemporarySibling(job.outputFile, &error);
    if (job.work.Valid() && (job.toStandardOutput || job.temp.Valid())) return true;
    *reason = "cannot create temporary files for it: " + error;
    job.work.Remove();
    return false;
}

int UsageError(const std::string& message) {
    std::fprintf(stderr, "filmcast convert: %s\nRun 'filmcast convert --help' for usage.\n",
                 message.c_str());
    return 2;
}

// One line of the --report file.
struct ReportLine {
    std::string input;
    std::string output;
    const ItemOutcome* run = nullptr;  // the child's outcome, when one ran
    std::string outcome;
    std::string reason;
};

class Report {
  public:
    bool Open(const std::string& path, std::string* error) {
        if (path.empty()) return true;
        file_ = std::fopen(path.c_str(), "w");
        if (!file_) *error = std::string(std::strerror(errno));
        return file_ != nullptr;
    }
    ~Report() {
        if (file_) std::fclose(file_);
    }
    void Write(const ReportLine& line) {
        if (!file_) return;
        std::string text = "{\"input\": " + JsonString(line.input) +
                           ", \"output\": " + JsonString(line.output);
        if (line.run && line.run->started) {
            char numbers[160];
            std::snprintf(numbers, sizeof numbers,
                          ", \"frames\": %ld, \"seconds\": %.3f, \"peak_memory_kib\": %ld",
                          line.run->frames, line.run->seconds, line.run->peakKiB);
            text += numbers;
        } else {
            text += ", \"frames\": null, \"seconds\": null, \"peak_memory_kib\": null";
        }
        text += ", \"outcome\": " + JsonString(line.outcome) +
                ", \"reason\": " + JsonString(line.reason) + "}\n";
        std::fputs(text.c_str(), file_);
        std::fflush(file_);
    }

  private:
    std::FILE* file_ = nullptr;
};

std::string OutcomeName(const ItemOutcome& outcome) {
    if (outcome.status == 0 && outcome.started) return "converted";
    if (outcome.reason == "interrupted") return "interrupted";
    if (outcome.signal != 0) return "crashed";
    return "failed";
}

// The movies named on the command line and in the list; false after a message.
bool GatherMovies(const ConvertOptions& options, std::vector<std::string>* movies, int* status) {
    *movies = options.movies;
    if (!options.list.empty()) {
        std::string error;
        const std::size_t most = player::Limits{}.maxListedMovies;
        bool read = false;
        if (options.list == kStandardStream) {
            read = ReadMovieList(std::cin, most, movies, &error);
        } else {
            std::ifstream in(options.list);
            if (!in) error = std::strerror(errno);
            else read = ReadMovieList(in, most, movies, &error);
        }
        if (!read) {
            std::fprintf(stderr, "filmcast: %s: %s\n",
                         options.list == kStandardStream ? kStandardInputLabel
                                                         : options.list.c_str(),
                         error.c_str());
            *status = 1;
            return false;
        }
    }
    const auto fromInput = std::count(movies->begin(), movies->end(), kStandardStream);
    if (fromInput > 1 || (fromInput == 1 && options.list == kStandardStream)) {
        *status = UsageError("standard input ('-') can be read only once");
        return false;
    }
    if (fromInput == 1 && options.output.empty()) {
        *status = UsageError("a movie read from standard input needs -o FILE, -o DIR or -o -");
        return false;
    }
    if (movies->empty() && options.list.empty()) {
        *status = UsageError("no movie given (name movies, or --list FILE)");
        return false;
    }
    return true;
}

// Where the outputs go for this many movies; false after a usage message.
bool PlanOutput(const ConvertOptions& options, std::size_t movies, OutputPlan* plan,
                int* status) {
    const bool oneMovie = movies == 1 && options.list.empty();
    if (options.output == kStandardStream) {
        if (!oneMovie) {
            *status = UsageError("-o - writes one GIF: give exactly one movie");
            return false;
        }
        plan->kind = OutputPlan::Kind::kStandardOutput;
        return true;
    }
    if (NamesOutputFile(options.output, FormatName(options.video.format))) {
        if (!oneMovie) {
            *status = UsageError("-o " + options.output +
                                 " names one file; several movies need a folder");
            return false;
        }
        plan->kind = OutputPlan::Kind::kFile;
        plan->path = options.output;
        return true;
    }
    plan->path = FolderWithSlash(options.output);
    return true;
}

// The GIF a movie's conversion writes; false, with the reason, when none can be named.
bool OutputFor(const std::string& movie, const ConvertOptions& options, const OutputPlan& plan,
               std::string* output, std::string* reason) {
    if (plan.kind != OutputPlan::Kind::kFolder) {
        *output = plan.kind == OutputPlan::Kind::kFile ? plan.path : kStandardStream;
        return true;
    }
    std::string folder = plan.path;
    if (options.keepTree && movie != kStandardStream) {
        const auto mirrored = MirroredFolder(movie);
        if (!mirrored) {
            *reason = "--keep-tree cannot mirror a path that climbs out with '..'";
            return false;
        }
        folder += *mirrored;
    }
    const std::string stem = movie == kStandardStream ? "standard-input" : MovieStem(movie);
    *output = folder + stem + std::string(FormatExtension(FormatName(options.video.format)));
    return true;
}

int RunConvert(const ConvertOptions& options) {
    SizeOption size;
    if (!ToSizeOption(options.common, &size))
        return UsageError("bad --size '" + options.common.size + "' (expected WxH)");
    gif::GifOptions gifOptions;
    if (!options.gif.ToGifOptions(&gifOptions))
        return UsageError("bad --matte '" + options.gif.matte + "' (expected #RRGGBB)");
    std::optional<av::VideoOptions> video;
    std::string problem;
    if (!options.video.ToVideoOptions(options.gif, &video, &problem)) return UsageError(problem);
    if (options.from >= 0 && options.to >= 0 && options.to < options.from)
        return UsageError("--to comes before --from");
    Shard shard;
    if (!options.shard.empty()) {
        const auto parsed = ParseShard(options.shard);
        if (!parsed)
            return UsageError("bad --shard '" + options.shard + "' (expected K/N, 1 <= K <= N)");
        shard = *parsed;
    }
    int status = 0;
    std::vector<std::string> movies;
    if (!GatherMovies(options, &movies, &status)) return status;
    OutputPlan plan;
    if (!PlanOutput(options, movies.size(), &plan, &status)) return status;
    movies = TakeShard(movies, shard);

    std::string error;
    Report report;
    if (!report.Open(options.report, &error)) {
        std::fprintf(stderr, "filmcast: %s: %s\n", options.report.c_str(), error.c_str());
        return 1;
    }
    if (plan.kind == OutputPlan::Kind::kFolder && !capture::EnsureFolder(plan.path, &error)) {
        std::fprintf(stderr, "filmcast: %s: %s\n", plan.path.c_str(), error.c_str());
        return 1;
    }

    // Working folders a killed run left behind go first; this run's are made (and its
    // temporary names reserved) only for movies as they start.
    RemoveStaleWorkFolders();
    // A movie read from standard input is kept in a folder of its own for the run.
    Reservation inputFolder;
    std::string inputFile;
    if (std::count(movies.begin(), movies.end(), kStandardStream) > 0) {
        inputFolder = MakePrivateWorkFolder(&error);
        if (!inputFolder.Valid() || !SpoolStandardInput(inputFolder.Path(), &inputFile, &error)) {
            std::fprintf(stderr, "filmcast: %s: %s\n", kStandardInputLabel, error.c_str());
            return 1;
        }
    }

    std::vector<BatchItem> items;
    std::map<std::string, std::string> outputs;  // clash key -> movie writing it
    CProgress progress(options.common.quiet);
    auto refuse = [&](const std::string& movie, const std::string& output,
                      const std::string& outcome, const std::string& reason) {
        progress.Print("filmcast: " + movie + ": " + reason);
        report.Write({movie, output, nullptr, outcome, reason});
        status = std::max(status, 1);
    };
    for (const std::string& movie : movies) {
        const bool fromInput = movie == kStandardStream;
        const std::string label = fromInput ? kStandardInputLabel : movie;
        std::string output, reason;
        if (!OutputFor(movie, options, plan, &output, &reason)) {
            refuse(label, "", "failed", reason);
            continue;
        }
        const bool toStandardOutput = plan.kind == OutputPlan::Kind::kStandardOutput;
        if (!toStandardOutput) {
            const auto [it, fresh] = outputs.emplace(ClashKey(output), movie);
            if (!fresh) {
                refuse(label, output, "failed",
                       "not converted: it would write " + output + " as " + it->second +
                           " does (--keep-tree keeps their folders apart)");
                continue;
            }
            if (options.skipExisting && LooksComplete(output, options.video.format)) {
                if (options.common.verbose)
                    progress.Print("filmcast: " + label + ": skipped, " + output +
                                   " exists and is complete");
                report.Write({movie, output, nullptr, "skipped", "the output exists"});
                continue;
            }
            if (options.common.noClobber && Exists(output)) {
                refuse(label, output, "refused",
                       output + " exists; not replaced (--no-clobber)");
                continue;
            }
        }
        auto job = std::make_shared<ConvertJob>();
        job->movie = fromInput ? inputFile : movie;
        job->label = label;
        job->outputFile = output;
        job->toStandardOutput = toStandardOutput;
        job->gif = gifOptions;
        job->video = video;
        job->size = size;
        job->frames = {options.frames, options.from, options.to, options.duration};
        job->quality = options.quality;
        job->scripts = options.scripts.Settings();
        job->quiet = options.common.quiet;
        job->verbose = options.common.verbose;
        const std::string folder = fs::path(output).parent_path().string();
        items.push_back(
            {label,
             [job, folder](std::string* reason) {
                 if (!job->toStandardOutput && !capture::EnsureFolder(folder, reason))
                     return false;
                 return ReserveFiles(*job, reason);
             },
             [job] { return ConvertMovie(*job); },
             [job, movie, &report](const ItemOutcome& outcome) {
                 job->work.Remove();
                 job->temp.Remove();
                 report.Write({movie, job->outputFile, &outcome, OutcomeName(outcome),
                               outcome.reason});
             }});
    }
    const int jobs = options.jobs > 0
                         ? options.jobs
                         : std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    status = std::max(status, RunInChildren(items, jobs, progress));
    inputFolder.Remove();
    if (Interrupted()) return 130;
    return status;
}

}  // namespace

void AddConvertCommand(CLI::App& app, RunState& state) {
    auto options = std::make_shared<ConvertOptions>();
    CLI::App* cmd = app.add_subcommand(
        "convert",
        "Convert movies to animated GIFs, videos or full-colour animated pictures (--format): "
        "DIR/<movie name>.gif (demo.swf -> demo.gif, demo.mp4, ...), or the file -o names");
    cmd->add_option("movies", options->movies,
                    "Flash movies (.swf); '-' reads one from standard input (needs -o)");
    cmd->add_option("-o,--output", options->output,
                    "with one movie, a file ending in the format's extension (.gif, .mp4, .webm, "
                    ".png, .webp) names the output ('-' writes it to "
                    "standard output); otherwise the output folder (default: .)");
    cmd->add_option("--list", options->list,
                    "read more movies from FILE, one a line ('-': standard input)")
        ->type_name("FILE");
    cmd->add_option("--shard", options->shard,
                    "take every N-th movie from the K-th (K from 1 to N), so N machines share "
                    "one list")
        ->type_name("K/N");
    cmd->add_option("--report", options->report,
                    "write one JSON line a movie to FILE: input, output, frames, seconds, peak "
                    "memory, outcome and reason")
        ->type_name("FILE.jsonl");
    cmd->add_flag("--skip-existing", options->skipExisting,
                  "leave a movie whose output exists and is complete (resumes a run)");
    cmd->add_flag("--keep-tree", options->keepTree,
                  "mirror the movies' folders under the output folder (a/intro.swf -> "
                  "DIR/a/intro.gif)");
    AddOverwriteOptions(cmd, &options->common);
    AddVideoOptions(cmd, &options->video);
    AddGifOptions(cmd, &options->gif);
    AddSizeOptions(cmd, &options->common, "capture");
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
    cmd->add_option("--from", options->from,
                    "first frame to capture (0-based; past the movie's end is a usage error)")
        ->check(CLI::Range(0L, 10000000L));
    cmd->add_option("--to", options->to, "last frame to capture (0-based; past the end: to the end)")
        ->check(CLI::Range(0L, 10000000L));
    AddQualityOption(cmd, &options->quality);
    AddScriptOptions(cmd, &options->scripts);
    AddTalkOptions(cmd, &options->common, true);
    cmd->callback([options, &state] { state.status = RunConvert(*options); });
}

}  // namespace cli
