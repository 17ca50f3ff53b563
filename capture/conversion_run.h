// A conversion run: steps a player through its frames one tick at a time, saves each frame as
// a GIF frame file in the working folder and assembles them into the animated GIF. The window
// calls Step() from its timer; the command line calls it in a loop.
#pragma once

#include <string>

#include "capture/frame_source.h"
#include "capture/gif_assembly.h"

namespace capture {

struct RunSettings {
    std::string moviePath;     // its file name names the frame files and the GIF
    std::string outputFolder;  // "/"-terminated, or empty for the current folder
    std::string workFolder;    // where the frame files go, "/"-terminated
    std::string outputFile;    // empty: outputFolder + movie file name + ".gif"
    int captureWidth = 0;
    int captureHeight = 0;
    int frameRate = 10;  // sets the page delay only
};

// What the run tells its front end.
class IRunObserver {
  public:
    virtual ~IRunObserver() = default;
    // Every tick, before anything else: the movie and the settings must not change now.
    virtual void DisableControls() = 0;
    // The player is at `frame` of `total` (also 0 of total once the run has rewound).
    virtual void ShowPosition(long frame, long total) = 0;
    // The run is over; the front end stops its timer and gives the controls back.
    virtual void Finished() = 0;
};

enum class RunOutcome { Running, GifWritten, NoGif };

class CConversionRun {
  public:
    CConversionRun(IFrameSource& source, RunSettings settings, IRunObserver* observer = nullptr);

    // One conversion tick.
    void Step();
    bool IsActive() const { return outcome_ == RunOutcome::Running; }
    RunOutcome Outcome() const { return outcome_; }
    int PagesWritten() const { return pagesWritten_; }
    // Why no GIF was written (empty while running or after success).
    const std::string& Error() const { return error_; }

    std::string OutputFile() const;
    std::string FrameFile(long frame) const;

  private:
    void BeginGif(bool appendFrameZero);
    void AppendFrame(long frame);
    void CaptureFrame();
    void Finish(long capturedThisTick);
    void EndWithoutGif(std::string reason);

    IFrameSource& source_;
    RunSettings settings_;
    IRunObserver* observer_;
    CGifAssembly gif_;
    RunOutcome outcome_ = RunOutcome::Running;
    int pagesWritten_ = 0;
    std::string error_;
};

}  // namespace capture
