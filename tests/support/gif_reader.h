// Test oracle: reads an animated GIF with giflib (independent of FreeImage, which writes it)
// into pages of RGB pixels with their delays in hundredths of a second.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testgif {

struct Page {
    int width = 0;
    int height = 0;
    int delayCs = -1;                // from the graphic control extension, -1 when absent
    std::vector<std::uint32_t> rgb;  // 0xRRGGBB, row-major, composited on the logical screen
    std::uint32_t At(int x, int y) const { return rgb[std::size_t(y) * width + x]; }
};

struct Gif {
    bool ok = false;
    int width = 0;
    int height = 0;
    std::vector<Page> pages;
};

Gif Read(const std::string& path);

// Largest channel difference between two 0xRRGGBB values.
int ChannelDistance(std::uint32_t a, std::uint32_t b);

}  // namespace testgif
