#include "cli/movie_job.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

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

// Where the conversion run assembles the GIF, in the private working folder; its frame files
// take a short fixed name there too, whatever the movie is called.
constexpr char kAssembledName[] = "animation.gif";
constexpr char kFrameFileStem[] = "movie.swf";

int Fail(const std::string& movie, const std::string& reason) {
    std::fprintf(stderr, "filmcast: %s: %s\n", movie.c_str(), reason.c_str());
    return 1;
}

void Note(const std::string& movie, const std::string& note, bool quiet) {
    if (!note.empty() && !quiet)
        std::fprintf(stderr, "filmcast: %s: %s\n", movie.c_str(), note.c_str());
}

// The movie as loaded for capture, once: the control that draws it, and what its header and
// timelines say.
struct LoadedMovie {
    CShockwaveflash control;
    player::StageInfo stage;
    long longestClip = 0;
    bool actionScript3 = false;
};

std::unique_ptr<LoadedMovie> Load(const std::string& path, player::Quality quality,
                                  const player::ScriptSettings& scripts, std::string* error) {
    auto movie = std::make_unique<LoadedMovie>();
    movie->control.SetQuality(quality);
    movie->control.SetScripting(scripts);
    movie->control.SetMovie(path);
    const player::Player* loaded = movie->control.LoadedPlayer();
    if (!loaded) {
        *error = movie->control.LastError();
        return nullptr;
    }
    movie->stage = loaded->Stage();
    movie->longestClip = loaded->LongestClipTimeline();
    movie->actionScript3 = loaded->UsesActionScript3();
    if (movie->control.GetTotalFrames() <= 0) {
        *error = movie->stage.endedEarly
                     ? "the movie ends before its first frame (its header promises " +
                           std::to_string(movie->stage.declaredFrameCount) + ")"
                     : "the movie has no frames";
        return nullptr;
    }
    movie->control.Stop();
    movie->control.SetLoop(FALSE);
    return movie;
}

int MovieFrameRate(const player::StageInfo& stage) {
    if (stage.frameRate <= 0) return 0;
    return std::max(1, static_cast<int>(std::lround(stage.frameRate)));
}

// The GIF's frame rate: the one asked for or the movie's, at most kMaxGifFrameRate.
int GifFrameRate(int asked, const player::StageInfo& stage, std::string* note) {
    const int rate = asked > 0 ? asked : MovieFrameRate(stage);
    if (rate <= kMaxGifFrameRate) return rate;
    *note = std::to_string(rate) +
            " frames a second is faster than GIF delays can show; the GIF "
            "plays at " +
            std::to_string(kMaxGifFrameRate);
    return kMaxGifFrameRate;
}

std::string CutFramesNote(std::size_t cut, long frames) {
    if (cut == 0) return "";
    return std::to_string(cut) + " of " + std::to_string(frames) +
           " frames needed more drawing work than a frame may take; each keeps what it drew "
           "before that";
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

// A movie loaded once, sized, with its frames chosen and its notes printed.
struct PreparedMovie {
    std::unique_ptr<LoadedMovie> movie;
    int width = 0;
    int height = 0;
    std::unique_ptr<SelectedFrames> frames;
};

bool Prepare(const std::string& path, player::Quality quality,
             const player::ScriptSettings& scripts, const SizeOption& size,
             const FrameSelection& selection, bool quiet, PreparedMovie* prepared,
             std::string* error) {
    prepared->movie = Load(path, quality, scripts, error);
    if (!prepared->movie) return false;
    const LoadedMovie& movie = *prepared->movie;
    std::string sizeNote, playNote;
    if (!ChooseOutputSize(size, movie.stage, &prepared->width, &prepared->height, &sizeNote)) {
        *error = "the output size is too large";
        return false;
    }
    if (movie.actionScript3) Note(path, "ActionScript 3 is not run", quiet);
    prepared->frames = std::make_unique<SelectedFrames>(*prepared->movie, selection, &playNote);
    Note(path, EndedEarlyNote(movie.stage), quiet);
    Note(path, sizeNote, quiet);
    Note(path, playNote, quiet);
    return true;
}

// The conversion itself; the run (and its frame-file writer) is over when this returns.
int Convert(ConvertJob& job) {
    std::string error;
    PreparedMovie prepared;
    if (!Prepare(job.movie, job.quality, job.scripts, job.size, job.frames, job.quiet, &prepared,
                 &error))
        return Fail(job.movie, error);
    LoadedMovie* movie = prepared.movie.get();
    const int width = prepared.width, height = prepared.height;
    SelectedFrames& frames = *prepared.frames;
    std::string rateNote;

    capture::RunSettings settings;
    settings.moviePath = kFrameFileStem;
    settings.workFolder = job.work.Path();
    settings.outputFile = job.work.Path() + kAssembledName;
    settings.captureWidth = width;
    settings.captureHeight = height;
    settings.backgroundFrameFiles = true;
    settings.requireEveryFrame = true;
    settings.frameRate = GifFrameRate(job.fps, movie->stage, &rateNote);
    Note(job.movie, rateNote, job.quiet);

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
    if (Interrupted()) return Fail(job.movie, "interrupted");
    if (run.Outcome() != capture::RunOutcome::GifWritten) {
        // The reason names the GIF in the working folder; the user knows it by its own name.
        std::string reason = run.Error().empty() ? "no GIF was written" : run.Error();
        if (const auto at = reason.find(settings.outputFile); at != std::string::npos)
            reason.replace(at, settings.outputFile.size(), job.outputFile);
        return Fail(job.movie, reason);
    }
    Note(job.movie, CutFramesNote(movie->control.FramesCut(), expected), job.quiet);
    if (!PublishFile(settings.outputFile, job.temp, job.outputFile, &error))
        return Fail(job.movie, error);
    return 0;
}

}  // namespace

// Ends a conversion: the working folder goes, and the temporary name unless it became the GIF.
int ConvertMovie(ConvertJob& job) {
    const int status = Convert(job);
    job.work.Remove();
    job.temp.Remove();
    return status;
}

int ExportMovieFrames(const FramesJob& job) {
    std::string error;
    PreparedMovie prepared;
    if (!Prepare(job.movie, job.quality, job.scripts, job.size, job.frames, job.quiet, &prepared,
                 &error))
        return Fail(job.movie, error);
    LoadedMovie* movie = prepared.movie.get();
    const int width = prepared.width, height = prepared.height;
    SelectedFrames& frames = *prepared.frames;
    if (!capture::EnsureFolder(job.folder, &error)) return Fail(job.movie, error);

    capture::IFrameSource& source = frames.Source();
    const long total = source.TotalFrames();
    CProgress progress(GetFileNameFromPath(job.movie), job.quiet);
    for (long p = 0; p < total && !Interrupted(); ++p) {
        source.GotoFrame(p);
        const std::string file =
            job.folder + capture::FrameFileName(job.movie, static_cast<int>(p), job.extension);
        // Written under a temporary name and renamed, so an older file of that name is only
        // ever replaced by a complete one.
        Reservation temp = ReserveTemporarySibling(file, &error);
        if (!temp.Valid()) return Fail(job.movie, error);
        const bool saved = capture::CaptureToFile(source, width, height, temp.Path(), &error);
        // The reason names the temporary file; the user knows the frame's own name.
        if (const auto at = error.find(temp.Path()); !saved && at != std::string::npos)
            error.replace(at, temp.Path().size(), file);
        if (saved && std::rename(temp.Path().c_str(), file.c_str()) != 0)
            error = "cannot write " + file + ": " + std::strerror(errno);
        const bool placed = saved && error.empty();
        temp.Remove();
        if (!placed) return Fail(job.movie, error);
        progress.Show(p + 1, total);
    }
    if (Interrupted()) return Fail(job.movie, "interrupted");
    Note(job.movie, CutFramesNote(movie->control.FramesCut(), total), job.quiet);
    return 0;
}

std::string EndedEarlyNote(const player::StageInfo& stage) {
    if (!stage.endedEarly || stage.frameCount >= stage.declaredFrameCount) return "";
    return "the movie ends early: its header promises " + std::to_string(stage.declaredFrameCount) +
           " frames, " + std::to_string(stage.frameCount) + " could be read";
}

}  // namespace cli
