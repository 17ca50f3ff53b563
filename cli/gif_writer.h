// Streams an animated GIF into a file with giflib: the screen and loop count first, then each
// picture as it comes (a rectangle of palette indices with its delay, disposal and transparent
// index), so nothing of earlier pictures is kept.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cli/gif_palette.h"

namespace cli::gif {

// What a viewer does with a picture's rectangle before the next one: leave it, or clear it to
// transparent (the GIF disposal methods 1 and 2).
enum class Disposal { kKeep = 1, kClear = 2 };

struct Picture {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> indices;  // width x height, row-major
    Palette palette;                     // empty: the GIF's global palette
    int transparentIndex = -1;           // -1: none
    std::int64_t delayCs = 0;
    Disposal disposal = Disposal::kKeep;
};

// Total plays: 0 forever, 1 once (no loop block), N plays as a loop count of N - 1.
constexpr int kMaxPlays = 65536;

class GifWriter {
  public:
    GifWriter();
    ~GifWriter();
    GifWriter(const GifWriter&) = delete;
    GifWriter& operator=(const GifWriter&) = delete;

    // Creates the file and writes the screen (with `global` as its palette unless empty) and
    // the loop block. False with Error() when the file cannot be made or written.
    bool Open(const std::string& path, int width, int height, const Palette& global, int plays);
    // Appends a picture; delays past the format's 655.35 s go on in transparent pictures.
    // Pictures outside the screen, with indices missing or a transparent index outside the
    // palette are refused.
    bool Write(const Picture& picture);
    // Writes the trailer and closes the file.
    bool Close();

    const std::string& Error() const { return error_; }

  private:
    bool WriteOne(const Picture& picture, int delayCs, Disposal disposal);
    bool Failed(const std::string& what, int code);

    struct Handle;
    std::unique_ptr<Handle> gif_;
    std::string path_;
    int width_ = 0;
    int height_ = 0;
    int globalColors_ = 0;
    std::string error_;
};

}  // namespace cli::gif
