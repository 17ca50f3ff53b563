// An independent reader and writer for the tests: FreeImage decodes the files our codecs write,
// and writes multi-frame files for our readers. Kept in its own unit because FreeImage.h
// defines names (TRUE, RGBQUAD, BITMAPINFOHEADER) that clash with the toolkit's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct OraclePicture {
    bool ok = false;
    int width = 0;
    int height = 0;
    int bpp = 0;                      // depth as FreeImage loaded it
    std::vector<std::uint32_t> argb;  // top row first, straight 0xAARRGGBB
    std::uint32_t At(int x, int y) const { return argb[std::size_t(y) * width + x]; }
};

OraclePicture DecodeWithFreeImage(const std::string& path);

// Writes an animated GIF of solid frames (0xRRGGBB colours) with per-frame delays in ms.
bool WriteAnimatedGif(const std::string& path, int width, int height,
                      const std::vector<std::uint32_t>& colours,
                      const std::vector<std::uint32_t>& delaysMs);
