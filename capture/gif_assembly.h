// The animated GIF of a conversion run, built page by page from GIF frame files with
// FreeImage's multi-page writer; every page carries the same "FrameTime" delay.
#pragma once

#include <memory>
#include <string>

namespace capture {

// Display time of one page in milliseconds for a frame rate: the integer part of
// 1000 / rate + 0.5 in single precision. Rates of 0 or less (which carry no time) give 100 ms.
int FrameTimeMs(int frameRate);

class GifAssembly {
  public:
    GifAssembly();
    ~GifAssembly();
    GifAssembly(const GifAssembly&) = delete;
    GifAssembly& operator=(const GifAssembly&) = delete;

    // Begins a new GIF that Finish() writes to `outputPath`: an earlier GIF still open is
    // abandoned, any file at `outputPath` is deleted. False (with LastError()) when FreeImage
    // cannot open a multi-page GIF there.
    bool Begin(const std::string& outputPath, int frameRate);
    bool IsBegun() const;

    // Loads a GIF frame file and appends it as the next page with the delay tag. A missing or
    // unreadable file, or no GIF begun, appends nothing and returns false.
    bool AppendFrameFile(const std::string& frameFile);
    int PageCount() const;

    // Writes the GIF and releases it. A GIF with no page writes nothing and leaves no file
    // (returns false with a reason, as does a write that fails). No GIF begun: false.
    bool Finish();
    // Releases the GIF without writing it.
    void Abandon();

    const std::string& OutputPath() const { return outputPath_; }
    int FrameTime() const { return frameTimeMs_; }
    const std::string& LastError() const { return lastError_; }

  private:
    struct Handles;
    std::unique_ptr<Handles> handles_;
    std::string outputPath_;
    int frameTimeMs_ = 100;
    int pages_ = 0;
    std::string lastError_;
};

}  // namespace capture
