#include "capture/conversion_run.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "capture/frame_capture.h"
#include "capture/workfolders.h"

namespace capture {

ConversionRun::ConversionRun(FrameSource& source, RunSettings settings, RunObserver* observer)
    : source_(source),
      settings_(std::move(settings)),
      observer_(observer),
      writer_(settings_.backgroundFrameFiles, settings_.frameCodecs) {}

std::string ConversionRun::OutputFile() const {
    if (!settings_.outputFile.empty()) return settings_.outputFile;
    return OutputAnimationPath(settings_.outputFolder, settings_.moviePath);
}

std::string ConversionRun::FrameFile(long frame) const {
    return settings_.workFolder +
           FrameFileName(settings_.moviePath, static_cast<int>(frame), ".gif");
}

void ConversionRun::Step() {
    if (!IsActive()) return;
    if (observer_) observer_->DisableControls();
    // A player with no frames would never reach the last frame: end before the old GIF is
    // touched.
    if (source_.TotalFrames() <= 0) {
        EndWithoutGif("the movie has no frames");
        return;
    }
    if (source_.CurrentFrame() <= 1) BeginGif(source_.CurrentFrame() == 1);
    if (!IsActive()) return;

    long captured = -1;
    const long i = source_.CurrentFrame();
    if (i < source_.TotalFrames()) {
        if (observer_) observer_->ShowPosition(i, source_.TotalFrames());
        // Frame i is drawn before frame i - 1 is appended, so that a background frame writer
        // encodes one while the other is assembled; the pages come out the same either way.
        if (!CaptureFrame()) return;
        captured = i;
        if (i > 1) AppendFrame(i - 1);
        if (!FrameFilesSaved()) return;
        source_.GotoFrame(i + 1);
        // A movie whose frame actions jump back (a loop on its second frame) lands before the
        // frame asked for; stepping on would capture the same frames for ever.
        if (i + 1 < source_.TotalFrames() && source_.CurrentFrame() <= i) {
            EndWithoutGif("the movie's actions send it back from frame " + std::to_string(i + 1) +
                          " to frame " + std::to_string(source_.CurrentFrame()) +
                          ", so its frames cannot be stepped through");
            return;
        }
    }
    if (source_.CurrentFrame() + 1 >= source_.TotalFrames()) Finish(captured);
}

void ConversionRun::BeginGif(bool appendFrameZero) {
    // Beginning again (at frame 1 after frame 0) drops the GIF begun on the tick before. At
    // frame 0 the frame-0 file is about to be captured afresh, so an older one left in the
    // working folder is not taken: it would show up as a stale extra first page in movies
    // of one or two frames, which end before the GIF is begun again.
    gif_.Abandon();
    gifTemp_.Remove();
    std::string reason;
    gifTemp_ = ReserveTemporarySibling(OutputFile(), &reason);
    if (!gifTemp_.Valid()) {
        EndWithoutGif(reason);
        return;
    }
    if (!gif_.Begin(gifTemp_.Path(), settings_.frameRate)) {
        EndWithoutGif(gif_.LastError());
        return;
    }
    if (appendFrameZero) AppendFrame(0);
}

void ConversionRun::AppendFrame(long frame) {
    const std::string file = FrameFile(frame);
    writer_.WaitFor(file);
    gif_.AppendFrameFile(file);
}

// False, with the run ended, when the working folder cannot be made.
bool ConversionRun::CaptureFrame() {
    const std::string file = FrameFile(source_.CurrentFrame());
    std::string reason;
    if (!EnsureFolder(settings_.workFolder, &reason)) {
        EndWithoutGif(reason);
        return false;
    }
    CSurface surface(settings_.captureWidth, settings_.captureHeight);
    if (!surface.IsValid() || !source_.Draw(surface)) return true;
    writer_.Save(std::move(surface), file);
    return true;
}

// False, with the run ended, once a frame file could not be saved: a full disk or a failing
// encoder would only fail again for every later frame.
bool ConversionRun::FrameFilesSaved() {
    const std::string failure = writer_.FirstFailure();
    if (failure.empty()) return true;
    EndWithoutGif("a frame could not be saved: " + failure);
    return false;
}

void ConversionRun::Finish(long capturedThisTick) {
    if (!CaptureFrame()) return;
    const long last = source_.CurrentFrame();
    if (capturedThisTick >= 0 && capturedThisTick != last) AppendFrame(capturedThisTick);
    AppendFrame(last);
    writer_.WaitForAll();
    source_.Rewind();
    if (observer_) observer_->ShowPosition(0, source_.TotalFrames());
    pagesWritten_ = gif_.PageCount();
    if (!FrameFilesSaved()) return;
    if (!gif_.IsBegun()) {
        EndWithoutGif("the run began above frame 1, so no GIF was begun");
        return;
    }
    if (settings_.requireEveryFrame && pagesWritten_ != source_.TotalFrames()) {
        EndWithoutGif("only " + std::to_string(pagesWritten_) + " of " +
                      std::to_string(source_.TotalFrames()) + " frames could be captured");
        return;
    }
    if (!gif_.Finish()) {
        outcome_ = RunOutcome::NoGif;
        error_ = NamedAsOutput(gif_.LastError());
    } else {
        outcome_ = PublishGif() ? RunOutcome::GifWritten : RunOutcome::NoGif;
    }
    gifTemp_.Remove();
    if (observer_) observer_->Finished();
}

// The reason with the GIF's hidden name replaced by the output's.
std::string ConversionRun::NamedAsOutput(std::string reason) const {
    const std::string& hidden = gifTemp_.Path();
    if (hidden.empty()) return reason;
    const std::string output = OutputFile();
    for (auto at = reason.find(hidden); at != std::string::npos;
         at = reason.find(hidden, at + output.size()))
        reason.replace(at, hidden.size(), output);
    return reason;
}

// Renames the finished GIF from its hidden name to the output, replacing an older one only now.
bool ConversionRun::PublishGif() {
    if (std::rename(gifTemp_.Path().c_str(), OutputFile().c_str()) == 0) return true;
    error_ = "cannot write " + OutputFile() + ": " + std::strerror(errno);
    std::remove(gifTemp_.Path().c_str());
    return false;
}

void ConversionRun::EndWithoutGif(std::string reason) {
    gif_.Abandon();
    gifTemp_.Remove();
    outcome_ = RunOutcome::NoGif;
    error_ = NamedAsOutput(std::move(reason));
    if (observer_) observer_->Finished();
}

}  // namespace capture
