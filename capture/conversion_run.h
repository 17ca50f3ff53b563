// A conversion run: steps a player through its frames one tick at a time, saves each frame as
// a GIF frame file in the working folder and assembles them into the animated GIF. The window
// calls Step() from its timer; the command line calls it in a loop. The GIF is assembled under
// a hidden temporary name beside the output and renamed into place once complete, so a run
// that fails or is dropped leaves an older GIF as it was.
#pragma once

#include <memory>
#include <string>

#include "capture/frame_file_writer.h"
#include "capture/frame_source.h"
#include "capture/gif_assembly.h"
#include "capture/safe_files.h"

namespace capture {

struct RunSettings {
    std::string moviePath;     // its file name names the frame files and the GIF
    std::string outputFolder;  // "/"-terminated, or empty for the current folder
    std::string workFolder;    // where the frame files go, "/"-terminated
    std::string outputFile;    // empty: outputFolder + movie file name + ".gif"
    int captureWidth = 0;
    int captureHeight = 0;
    int frameRate = 10;  // sets the page delay only
    // Encode frame files on a second thread while the GIF is assembled (the command line).
    bool backgroundFrameFiles = false;
    // The codecs the background writer saves through (the run's own when null).
    std::shared_ptr<CCodecFactory> frameCodecs;
    // Every frame of the source must become a page: a GIF missing any is not written.
    bool requireEveryFrame = false;
};

// What the run tells its front end.
class RunObserver {
  public:
    virtual ~RunObserver() = default;
    // Every tick, before anything else: the movie and the settings must not change now.
    virtual void DisableControls() = 0;
    // The player is at `frame` of `total` (also 0 of total once the run has rewound).
    virtual void ShowPosition(long frame, long total) = 0;
    // The run is over; the front end stops its timer and gives the controls back.
    virtual void Finished() = 0;
};

enum class RunOutcome { Running, GifWritten, NoGif };

class ConversionRun {
  public:
    ConversionRun(FrameSource& source, RunSettings settings, RunObserver* observer = nullptr);

    // One conversion tick.
    void Step();
    bool IsActive() const { return outcome_ == RunOutcome::Running; }
    RunOutcome Outcome() const { return outcome_; }
    int PagesWritten() const { return pagesWritten_; }
    // Why no GIF was written (empty while running or after success): a frame file that could
    // not be saved, a folder that could not be made, a GIF that could not be written.
    const std::string& Error() const { return error_; }

    std::string OutputFile() const;
    std::string FrameFile(long frame) const;

  private:
    void BeginGif(bool appendFrameZero);
    void AppendFrame(long frame);
    bool CaptureFrame();
    bool FrameFilesSaved();
    void Finish(long capturedThisTick);
    bool PublishGif();
    std::string NamedAsOutput(std::string reason) const;
    void EndWithoutGif(std::string reason);

    FrameSource& source_;
    RunSettings settings_;
    RunObserver* observer_;
    FrameFileWriter writer_;
    GifAssembly gif_;
    Reservation gifTemp_;  // the hidden name the GIF is assembled under
    RunOutcome outcome_ = RunOutcome::Running;
    int pagesWritten_ = 0;
    std::string error_;
};

}  // namespace capture
