#include "cli/movie_job.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include "capture/conversion_run.h"
#include "capture/frame_capture.h"
#include "capture/frame_source.h"
#include "capture/workfolders.h"
#include "cli/child_batch.h"
#include "cli/progress.h"
#include "controls/fileutil.h"
#include "controls/shockwaveflash.h"
#include "player/player.h"

namespace cli {

namespace {

// Longest side drawn when the size comes from the stage.
constexpr int kMaxDefaultSide = 4096;

int Fail(const std::string& movie, const std::string& reason) {
    std::fprintf(stderr, "filmcast: %s: %s\n", movie.c_str(), reason.c_str());
    return 1;
}

// The movie as loaded for capture: the control that draws it, and what its header and
// timelines say.
struct LoadedMovie {
    CShockwaveflash control;
    player::StageInfo stage;
    long longestClip = 0;
    bool actionScript3 = false;
};

std::unique_ptr<LoadedMovie> Load(const std::string& path, player::Quality quality,
                                  const player::ScriptSettings& scripts, std::string* error) {
    auto info = player::Player::LoadFile(path, error);
    if (!info) return nullptr;
    auto movie = std::make_unique<LoadedMovie>();
    movie->stage = info->Stage();
    movie->longestClip = info->LongestClipTimeline();
    movie->actionScript3 = info->UsesActionScript3();
    movie->control.SetQuality(quality);
    movie->control.SetScripting(scripts);
    movie->control.SetMovie(path);
    if (!movie->control.LastError().empty()) {
        *error = movie->control.LastError();
        return nullptr;
    }
    if (movie->control.GetTotalFrames() <= 0) {
        *error = "the movie has no frames";
        return nullptr;
    }
    movie->control.Stop();
    movie->control.SetLoop(FALSE);
    return movie;
}

bool OutputSize(const SizeOption& option, const player::StageInfo& stage, int* width, int* height) {
    if (option.width > 0) {
        *width = option.width;
        *height = option.height;
        return true;
    }
    double w = std::max(stage.widthPx, 1), h = std::max(stage.heightPx, 1);
    if (option.scale > 0) {
        w *= option.scale;
        h *= option.scale;
    } else {
        const double shrink = std::min(1.0, kMaxDefaultSide / std::max(w, h));
        w *= shrink;
        h *= shrink;
    }
    *width = std::max(1, static_cast<int>(std::lround(w)));
    *height = std::max(1, static_cast<int>(std::lround(h)));
    return static_cast<long long>(*width) * *height <= CSurface::kMaxPixels;
}

// The frames to take, as a chain of sources over the control; `note` says when the movie is
// played instead of stepped.
class SelectedFrames {
  public:
    SelectedFrames(LoadedMovie& movie, const FrameSelection& selection, std::string* note)
        : root_(movie.control) {
        capture::IFrameSource* source = &root_;
        long ticks = selection.ticks;
        if (ticks == 0 && movie.control.GetTotalFrames() == 1 && movie.longestClip > 1) {
            ticks = std::min(movie.longestClip, kMaxAutoTicks);
            *note = "the root timeline has one frame; capturing " + std::to_string(ticks) +
                    " ticks of playback";
        }
        if (ticks > 0) {
            ticks_ = std::make_unique<capture::CPlaybackTickSource>(movie.control, ticks);
            source = ticks_.get();
        }
        if (selection.from >= 0 || selection.to >= 0) {
            const long last = selection.to >= 0 ? selection.to : source->TotalFrames() - 1;
            range_ = std::make_unique<capture::CFrameRangeSource>(
                *source, std::max(selection.from, 0L), last);
            source = range_.get();
        }
        source->Rewind();
        source_ = source;
    }
    capture::IFrameSource& Source() { return *source_; }

  private:
    capture::CControlFrameSource root_;
    std::unique_ptr<capture::CPlaybackTickSource> ticks_;
    std::unique_ptr<capture::CFrameRangeSource> range_;
    capture::IFrameSource* source_ = nullptr;
};

int MovieFrameRate(const player::StageInfo& stage) {
    if (stage.frameRate <= 0) return 0;
    return std::max(1, static_cast<int>(std::lround(stage.frameRate)));
}

void RemoveQuietly(const std::string& path) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
}

}  // namespace

std::optional<SizeOption> ParseSize(const std::string& text) {
    int w = 0, h = 0;
    char x = 0, extra = 0;
    if (std::sscanf(text.c_str(), "%d%c%d%c", &w, &x, &h, &extra) != 3 || (x != 'x' && x != 'X'))
        return std::nullopt;
    if (w <= 0 || h <= 0 || static_cast<long long>(w) * h > CSurface::kMaxPixels)
        return std::nullopt;
    SizeOption size;
    size.width = w;
    size.height = h;
    return size;
}

int ConvertMovie(const ConvertJob& job) {
    std::string error;
    auto movie = Load(job.movie, job.quality, job.scripts, &error);
    if (!movie) return Fail(job.movie, error);
    int width = 0, height = 0;
    if (!OutputSize(job.size, movie->stage, &width, &height))
        return Fail(job.movie, "the output size is too large");
    if (movie->actionScript3 && !job.quiet)
        std::fprintf(stderr, "filmcast: %s: ActionScript 3 is not run\n", job.movie.c_str());
    std::string note;
    SelectedFrames frames(*movie, job.frames, &note);
    if (!note.empty() && !job.quiet)
        std::fprintf(stderr, "filmcast: %s: %s\n", job.movie.c_str(), note.c_str());

    capture::RunSettings settings;
    settings.moviePath = job.movie;
    settings.workFolder = job.workFolder;
    settings.outputFile = job.tempFile;
    settings.captureWidth = width;
    settings.captureHeight = height;
    settings.backgroundFrameFiles = true;
    settings.frameRate = job.fps > 0 ? job.fps : MovieFrameRate(movie->stage);

    capture::IFrameSource& source = frames.Source();
    const long expected = source.TotalFrames();
    capture::CConversionRun run(source, settings);
    CProgress progress(GetFileNameFromPath(job.movie), job.quiet || !job.showProgress);
    long ticks = 0;
    while (run.IsActive() && !Interrupted()) {
        run.Step();
        progress.Show(++ticks, std::max(expected - 1, 1L));
    }
    progress.Clear();
    if (run.Outcome() != capture::RunOutcome::GifWritten) {
        RemoveQuietly(job.tempFile);
        return Fail(job.movie, run.Error().empty() ? "interrupted" : run.Error());
    }
    if (run.PagesWritten() != expected) {
        RemoveQuietly(job.tempFile);
        return Fail(job.movie, "only " + std::to_string(run.PagesWritten()) + " of " +
                                   std::to_string(expected) + " frames could be captured");
    }
    std::error_code renameError;
    std::filesystem::rename(job.tempFile, job.outputFile, renameError);
    if (renameError) {
        RemoveQuietly(job.tempFile);
        return Fail(job.movie, "cannot write " + job.outputFile + ": " + renameError.message());
    }
    return 0;
}

int ExportMovieFrames(const FramesJob& job) {
    std::string error;
    auto movie = Load(job.movie, job.quality, job.scripts, &error);
    if (!movie) return Fail(job.movie, error);
    int width = 0, height = 0;
    if (!OutputSize(job.size, movie->stage, &width, &height))
        return Fail(job.movie, "the output size is too large");
    if (movie->actionScript3 && !job.quiet)
        std::fprintf(stderr, "filmcast: %s: ActionScript 3 is not run\n", job.movie.c_str());
    std::string note;
    SelectedFrames frames(*movie, job.frames, &note);
    if (!note.empty() && !job.quiet)
        std::fprintf(stderr, "filmcast: %s: %s\n", job.movie.c_str(), note.c_str());
    if (!capture::EnsureFolder(job.folder)) return Fail(job.movie, "cannot create " + job.folder);

    capture::IFrameSource& source = frames.Source();
    const long total = source.TotalFrames();
    CProgress progress(GetFileNameFromPath(job.movie), job.quiet);
    for (long p = 0; p < total && !Interrupted(); ++p) {
        source.GotoFrame(p);
        const std::string file =
            job.folder + capture::FrameFileName(job.movie, static_cast<int>(p), job.extension);
        if (!capture::CaptureToFile(source, width, height, file, &error))
            return Fail(job.movie, error);
        progress.Show(p + 1, total);
    }
    return Interrupted() ? Fail(job.movie, "interrupted") : 0;
}

}  // namespace cli
