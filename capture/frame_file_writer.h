// Saves drawn frames as image files, either at once or on a worker thread, so that the colour
// reduction and encoding of one frame overlap the GIF assembly of the one before. The player is
// never touched off the calling thread: frames arrive already drawn, and the worker saves
// through codecs of its own, never through the process-wide codec factory.
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "imaging/codecfactory.h"
#include "platform/surface.h"

namespace capture {

class FrameFileWriter {
  public:
    // In the background the frames are saved through `codecs` (the conversion run's codecs
    // when null); at once they are saved as every capture saves, on the calling thread.
    explicit FrameFileWriter(bool background, std::shared_ptr<CCodecFactory> codecs = nullptr);
    ~FrameFileWriter();
    FrameFileWriter(const FrameFileWriter&) = delete;
    FrameFileWriter& operator=(const FrameFileWriter&) = delete;

    // Saves the surface to `path` by its extension; in the background this waits only while
    // kMaxQueued frames are already waiting. Once a save has failed, later ones are dropped.
    void Save(CSurface surface, std::string path);
    // Returns once no save of `path` is queued or running.
    void WaitFor(const std::string& path);
    void WaitForAll();
    // Why the first failed save failed ("cannot write ...: No space left on device"), or ""
    // while every save has succeeded.
    std::string FirstFailure() const;

    static constexpr std::size_t kMaxQueued = 2;

  private:
    struct Job {
        CSurface surface;
        std::string path;
    };
    void Work();
    bool Pending(const std::string& path) const;
    void Record(bool saved, const std::string& reason);

    bool background_;
    std::shared_ptr<CCodecFactory> codecs_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> queue_;
    std::string running_;
    std::string firstFailure_;
    bool stopping_ = false;
    std::thread worker_;
};

}  // namespace capture
