#include "cli/movie_job.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "capture/frame_capture.h"
#include "capture/frame_source.h"
#include "capture/workfolders.h"
#include "cli/child_batch.h"
#include "cli/output_names.h"
#include "cli/standard_streams.h"
#include "controls/shockwaveflash.h"
#include "cli/output_size.h"
#include "player/limits.h"
#include "player/player.h"

namespace cli {

namespace {

// Where the output is written, in the private working folder, whatever the movie is called.
constexpr char kAssembledName[] = "animation";

int Fail(const std::string& movie, const std::string& reason, int status = 1) {
    std::fprintf(stderr, "filmcast: %s: %s\n", movie.c_str(), reason.c_str());
    ReportFailure(reason);
    return status;
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
    // A second player over the same parsed movie, for measuring a scripted movie's playback
    // without moving the control.
    std::unique_ptr<player::Player> info;
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
    movie->info = loaded->Restart();
    if (movie->control.GetTotalFrames() <= 0) {
        *error = movie->stage.endedEarly
                     ? "the movie is truncated: it ends before its first frame (its header "
                       "promises " + std::to_string(movie->stage.declaredFrameCount) + ")"
                     : "the movie has no frames";
        return nullptr;
    }
    movie->control.Stop();
    movie->control.SetLoop(FALSE);
    return movie;
}

// Says when the rate asked for (or the movie's) is faster than a GIF shows.
std::string RateNote(double asked, const player::StageInfo& stage) {
    const double rate = asked > 0 ? asked : gif::PlayedFrameRate(stage.frameRate);
    if (rate <= kMaxGifFrameRate) return "";
    char text[32];
    std::snprintf(text, sizeof text, "%g", rate);
    return std::string(text) +
           " frames a second is faster than GIF delays can show; the GIF shows " +
           std::to_string(kMaxGifFrameRate) + " frames a second of the movie's time";
}

std::string CutFramesNote(std::size_t cut, long frames) {
    if (cut == 0) return "";
    return std::to_string(cut) + " of " + std::to_string(frames) +
           " frames needed more drawing work than a frame may take; each keeps what it drew "
           "before that";
}

// The side, at most, of the pictures compared to find a scripted movie's loop.
constexpr int kLoopPictureSide = 640;

// Ticks of a movie animated by its scripts, with a note saying why that many.
long ScriptedTicks(LoadedMovie& movie, double duration, std::string* note) {
    const double rate = movie.stage.frameRate > 0 ? movie.stage.frameRate : 12.0;
    const double wanted = std::ceil(std::max(duration, 0.0) * rate);
    const long most = static_cast<long>(
        std::clamp(wanted, 1.0, static_cast<double>(movie.info->Caps().maxPlaybackTicks)));
    const double w = std::max(movie.stage.widthPx, 1), h = std::max(movie.stage.heightPx, 1);
    const double shrink = std::min(1.0, kLoopPictureSide / std::max(w, h));
    const ScriptedLength length = MeasureScriptedPlayback(
        *movie.info, std::max(1, static_cast<int>(std::lround(w * shrink))),
        std::max(1, static_cast<int>(std::lround(h * shrink))), most);
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%g", length.ticks / rate);
    if (length.looped) {
        *note = "the movie is animated by its scripts; its picture came back to the first "
                "frame's after " + std::to_string(length.ticks) + " ticks (a loop): capturing " +
                std::to_string(length.ticks) + " frames";
    } else {
        *note = "the movie is animated by its scripts; its picture did not come back to the "
                "first frame's: capturing " + std::to_string(length.ticks) + " ticks (" +
                seconds + " s of movie time, the --duration)";
    }
    return length.ticks;
}

// The frames to take, as a chain of sources over the control; `note` says when the movie is
// played instead of stepped.
class SelectedFrames {
  public:
    SelectedFrames(LoadedMovie& movie, const FrameSelection& selection, std::string* note)
        : root_(movie.control) {
        capture::FrameSource* source = &root_;
        long ticks = selection.ticks;
        if (ticks == 0 && movie.info && AnimatedByScripts(*movie.info)) {
            ticks = ScriptedTicks(movie, selection.duration, note);
        } else if (ticks == 0 && movie.control.GetTotalFrames() == 1 && movie.longestClip > 1) {
            ticks = std::min(movie.longestClip, kMaxAutoTicks);
            *note = "the root timeline has one frame; capturing " + std::to_string(ticks) +
                    " ticks of playback";
        }
        if (ticks > 0) {
            ticks_ = std::make_unique<capture::PlaybackTickSource>(movie.control, ticks);
            source = ticks_.get();
        }
        available_ = source->TotalFrames();
        played_ = ticks > 0;
        if (selection.from >= 0 || selection.to >= 0) {
            const long last = selection.to >= 0 ? selection.to : source->TotalFrames() - 1;
            const long first = std::max(selection.from, 0L);
            firstTick_ = std::clamp(first, 0L, std::max(source->TotalFrames() - 1, 0L));
            range_ = std::make_unique<capture::FrameRangeSource>(*source, first, last);
            source = range_.get();
        }
        source->Rewind();
        source_ = source;
    }
    capture::FrameSource& Source() { return *source_; }
    // The frames the range is taken from, and whether they are ticks of playback.
    long Available() const { return available_; }
    bool Played() const { return played_; }
    // The player's tick the source's first frame shows.
    long FirstTick() const { return firstTick_; }

  private:
    long firstTick_ = 0;
    capture::ControlFrameSource root_;
    std::unique_ptr<capture::PlaybackTickSource> ticks_;
    std::unique_ptr<capture::FrameRangeSource> range_;
    capture::FrameSource* source_ = nullptr;
    long available_ = 0;
    bool played_ = false;
};

// "--from 500 is outside the movie: it has 120 frames (0 to 119)" when the range starts past
// the movie's end, else "". A --to past the end takes the movie to its end (the first N frames,
// or all of a shorter movie).
std::string RangeOutside(const FrameSelection& selection, const SelectedFrames& frames) {
    const long available = frames.Available();
    if (selection.from < available) return "";
    const std::string unit = frames.Played() ? " ticks of playback" : " frames";
    return "--from " + std::to_string(selection.from) + " is outside the movie: it has " +
           std::to_string(available) + unit + " (0 to " + std::to_string(available - 1) + ")";
}

}  // namespace

bool AnimatedByScripts(player::Player& movie) {
    if (!movie.HasScripts() || movie.TotalFrames() <= 0) return false;
    const int frames = movie.TotalFrames();
    if (frames <= 2) return true;
    // Played through once: a root that stops itself short of its last frame waits there (for
    // a click, or for its clips' scripts).
    movie.Rewind();
    bool stops = false;
    for (int i = 0; i < frames && !stops; ++i) {
        if (!movie.RootPlaying() && movie.CurrentFrame() < frames - 1) stops = true;
        else movie.Tick(false, true);
    }
    movie.Rewind();
    return stops;
}

ScriptedLength MeasureScriptedPlayback(player::Player& movie, int width, int height,
                                       long maxTicks) {
    ScriptedLength length;
    const std::size_t pixels = static_cast<std::size_t>(width) * height;
    std::vector<std::uint32_t> first(pixels), now(pixels);
    auto draw = [&](std::vector<std::uint32_t>& into) {
        movie.Render({reinterpret_cast<std::uint8_t*>(into.data()), width, height, width * 4});
    };
    movie.Rewind();
    draw(first);
    bool changed = false;
    for (long tick = 1; tick < maxTicks; ++tick) {
        movie.Tick(false, true);
        draw(now);
        if (now != first) {
            changed = true;
        } else if (changed) {
            // Tick `tick` shows the first picture again: frames 0 .. tick-1 are the loop.
            length.ticks = tick;
            length.looped = true;
            movie.Rewind();
            return length;
        }
    }
    movie.Rewind();
    length.ticks = std::max(maxTicks, 1L);
    return length;
}

namespace {

// A movie loaded once, sized, with its frames chosen and its notes printed.
struct PreparedMovie {
    std::unique_ptr<LoadedMovie> movie;
    int width = 0;
    int height = 0;
    std::unique_ptr<SelectedFrames> frames;
};

// Loads, sizes and selects; 0, or the status to fail with and the reason.
int Prepare(const std::string& path, const std::string& label, player::Quality quality,
            const player::ScriptSettings& scripts, const SizeOption& size,
            const FrameSelection& selection, bool quiet, PreparedMovie* prepared,
            std::string* error) {
    prepared->movie = Load(path, quality, scripts, error);
    if (!prepared->movie) return 1;
    const LoadedMovie& movie = *prepared->movie;
    std::string sizeNote, playNote;
    if (!ChooseOutputSize(size, movie.stage, &prepared->width, &prepared->height, &sizeNote)) {
        *error = "the output size is too large";
        return 1;
    }
    if (movie.actionScript3) Note(label, "ActionScript 3 is not run", quiet);
    prepared->frames = std::make_unique<SelectedFrames>(*prepared->movie, selection, &playNote);
    *error = RangeOutside(selection, *prepared->frames);
    if (!error->empty()) return 2;
    Note(label, EndedEarlyNote(movie.stage), quiet);
    Note(label, sizeNote, quiet);
    Note(label, playNote, quiet);
    return 0;
}

void Verbose(const std::string& movie, bool verbose, const std::string& text) {
    if (verbose) std::fprintf(stderr, "filmcast: %s: %s\n", movie.c_str(), text.c_str());
}

std::string SizeText(int width, int height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

// The conversion itself; the encoding thread is over when this returns.
int Convert(ConvertJob& job) {
    std::string error;
    PreparedMovie prepared;
    if (const int status = Prepare(job.movie, job.label, job.quality, job.scripts, job.size,
                                   job.frames, job.quiet, &prepared, &error))
        return Fail(job.label, error, status);
    LoadedMovie* movie = prepared.movie.get();
    const int width = prepared.width, height = prepared.height;
    SelectedFrames& frames = *prepared.frames;
    if (!job.video) Note(job.label, RateNote(job.gif.fps, movie->stage), job.quiet);

    const bool transparent = job.video ? job.video->transparent : job.gif.transparent;
    movie->control.SetTransparentStage(transparent);
    const gif::MovieClock clock{movie->stage.frameRate, movie->stage.background & 0xFFFFFF};
    const std::string assembled = job.work.Path() + kAssembledName;
    capture::FrameSource& source = frames.Source();
    const long expected = source.TotalFrames();
    Verbose(job.label, job.verbose,
            "converting " + std::to_string(expected) + " frames at " + SizeText(width, height));
    ReportFrames(0, expected);
    const auto reported = [](long done, long total) {
        ReportFrames(done, total);
        return !Interrupted();
    };
    bool written = false;
    if (job.video) {
        const player::Player* player = movie->control.LoadedPlayer();
        const long firstTick = frames.FirstTick();
        av::SoundSource sound;
        if (player && player->HasSound()) {
            sound = [player, firstTick](long from, long to) {
                return player->MixAudio(static_cast<int>(firstTick + from),
                                        static_cast<int>(firstTick + to));
            };
        }
        written = av::WriteVideo(source, clock, width, height, *job.video, sound, assembled,
                                 reported, &error);
    } else {
        written = gif::WriteGif(source, clock, width, height, job.gif, assembled, reported, &error);
    }
    if (Interrupted()) return Fail(job.label, "interrupted");
    const std::string shownName = job.toStandardOutput ? "standard output" : job.outputFile;
    if (!written) {
        // The reason names the GIF in the working folder; the user knows it by its own name.
        if (const auto at = error.find(assembled); at != std::string::npos)
            error.replace(at, assembled.size(), shownName);
        return Fail(job.label, error);
    }
    Note(job.label, CutFramesNote(movie->control.FramesCut(), expected), job.quiet);
    const bool placed = job.toStandardOutput
                            ? CopyToStandardOutput(assembled, &error)
                            : PublishFile(assembled, job.temp, job.outputFile, &error);
    if (!placed) return Fail(job.label, error);
    Verbose(job.label, job.verbose, "wrote " + shownName);
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
    if (const int status = Prepare(job.movie, job.label, job.quality, job.scripts, job.size,
                                   job.frames, job.quiet, &prepared, &error))
        return Fail(job.label, error, status);
    LoadedMovie* movie = prepared.movie.get();
    const int width = prepared.width, height = prepared.height;
    SelectedFrames& frames = *prepared.frames;
    if (!capture::EnsureFolder(job.folder, &error)) return Fail(job.label, error);

    capture::FrameSource& source = frames.Source();
    const long total = source.TotalFrames();
    auto fileOf = [&job](long p) {
        return job.folder + SequenceFrameName(job.stem, p, job.extension);
    };
    if (job.noClobber) {
        for (long p = 0; p < total; ++p) {
            std::error_code ignored;
            if (std::filesystem::exists(fileOf(p), ignored))
                return Fail(job.label, fileOf(p) + " exists; not replaced (--no-clobber)");
        }
    }
    Verbose(job.label, job.verbose,
            "writing " + std::to_string(total) + " frames at " + SizeText(width, height) +
                " as " + fileOf(0) + " ...");
    ReportFrames(0, total);
    for (long p = 0; p < total && !Interrupted(); ++p) {
        source.GotoFrame(p);
        const std::string file = fileOf(p);
        // Written under a temporary name and renamed, so an older file of that name is only
        // ever replaced by a complete one.
        Reservation temp = ReserveTemporarySibling(file, &error);
        if (!temp.Valid()) return Fail(job.label, error);
        const bool saved = capture::CaptureToFile(source, width, height, temp.Path(), &error);
        // The reason names the temporary file; the user knows the frame's own name.
        if (const auto at = error.find(temp.Path()); !saved && at != std::string::npos)
            error.replace(at, temp.Path().size(), file);
        if (saved && std::rename(temp.Path().c_str(), file.c_str()) != 0)
            error = "cannot write " + file + ": " + std::strerror(errno);
        const bool placed = saved && error.empty();
        temp.Remove();
        if (!placed) return Fail(job.label, error);
        ReportFrames(p + 1, total);
    }
    if (Interrupted()) return Fail(job.label, "interrupted");
    Note(job.label, CutFramesNote(movie->control.FramesCut(), total), job.quiet);
    return 0;
}

std::string EndedEarlyNote(const player::StageInfo& stage) {
    if (!stage.endedEarly || stage.frameCount >= stage.declaredFrameCount) return "";
    return "the movie is truncated: its header promises " + std::to_string(stage.declaredFrameCount) +
           " frames, " + std::to_string(stage.frameCount) + " could be read";
}

}  // namespace cli
