// Test oracle: reads an animated GIF with giflib (independent of FreeImage, which writes it)
// into pages of RGB pixels with their delays in hundredths of a second, composited on the
// logical screen as a viewer shows them (transparent pixels, disposal of earlier pictures).
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
    std::vector<bool> shown;         // per pixel: false where the screen is still transparent
    int disposal = 0;                // the picture's disposal method
    int left = 0, top = 0, pictureWidth = 0, pictureHeight = 0;  // its rectangle
    bool localPalette = false;
    std::uint32_t At(int x, int y) const { return rgb[std::size_t(y) * width + x]; }
    bool Shown(int x, int y) const { return shown[std::size_t(y) * width + x]; }
};

struct Gif {
    bool ok = false;
    int width = 0;
    int height = 0;
    int loopCount = -1;  // the NETSCAPE2.0 block's count, -1 when there is none
    bool globalPalette = false;
    std::vector<Page> pages;
};

Gif Read(const std::string& path);

// Largest channel difference between two 0xRRGGBB values.
int ChannelDistance(std::uint32_t a, std::uint32_t b);

}  // namespace testgif
