// Saves drawn frames as image files, either at once or on a worker thread, so that the colour
// reduction and encoding of one frame overlap the GIF assembly of the one before. The player is
// never touched off the calling thread: frames arrive already drawn.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "platform/surface.h"

namespace capture {

class CFrameFileWriter {
  public:
    explicit CFrameFileWriter(bool background);
    ~CFrameFileWriter();
    CFrameFileWriter(const CFrameFileWriter&) = delete;
    CFrameFileWriter& operator=(const CFrameFileWriter&) = delete;

    // Saves the surface to `path` by its extension; in the background this waits only while
    // kMaxQueued frames are already waiting.
    void Save(CSurface surface, std::string path);
    // Returns once no save of `path` is queued or running.
    void WaitFor(const std::string& path);
    void WaitForAll();

    static constexpr std::size_t kMaxQueued = 2;

  private:
    struct Job {
        CSurface surface;
        std::string path;
    };
    void Work();
    bool Pending(const std::string& path) const;

    bool background_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> queue_;
    std::string running_;
    bool stopping_ = false;
    std::thread worker_;
};

}  // namespace capture
