// The pixel type of the media units: premultiplied ARGB32 in native byte order, rows packed
// (stride = width * 4), the layout of cairo's CAIRO_FORMAT_ARGB32, so the renderer can wrap an
// Image in a cairo image surface without copying.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace media {

struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> argb;  // width * height premultiplied pixels, top row first

    bool Empty() const { return width <= 0 || height <= 0; }
    // Positive size with exactly width * height pixels.
    bool IsValid() const {
        return !Empty() &&
               argb.size() == static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    }
    std::uint32_t* Row(int y) { return argb.data() + static_cast<std::size_t>(y) * width; }
    const std::uint32_t* Row(int y) const {
        return argb.data() + static_cast<std::size_t>(y) * width;
    }
    std::uint32_t& At(int x, int y) { return Row(y)[x]; }
    std::uint32_t At(int x, int y) const { return Row(y)[x]; }
};

// True when width x height is positive, neither side above maxPixels and the area within it
// (the caps come from the engine's Limits).
bool IsAllowedImageSize(std::int64_t width, std::int64_t height, std::int64_t maxPixels);

// Allocates a transparent image, or returns false (leaving image untouched) when the size is
// not allowed.
bool AllocateImage(Image& image, int width, int height, std::int64_t maxPixels);

// Channel helpers for premultiplied ARGB32.
constexpr std::uint32_t Alpha(std::uint32_t p) {
    return p >> 24;
}
constexpr std::uint32_t Red(std::uint32_t p) {
    return (p >> 16) & 0xFF;
}
constexpr std::uint32_t Green(std::uint32_t p) {
    return (p >> 8) & 0xFF;
}
constexpr std::uint32_t Blue(std::uint32_t p) {
    return p & 0xFF;
}
constexpr std::uint32_t PackArgb(std::uint32_t a, std::uint32_t r, std::uint32_t g,
                                 std::uint32_t b) {
    return (a << 24) | (r << 16) | (g << 8) | b;
}

// x * y / 255 rounded, for x, y in 0..255.
constexpr std::uint32_t MulDiv255(std::uint32_t x, std::uint32_t y) {
    const std::uint32_t t = x * y + 128;
    return (t + (t >> 8)) >> 8;
}

// Straight (unpremultiplied) ARGB to premultiplied, and back (rounded).
std::uint32_t Premultiply(std::uint32_t straight);
std::uint32_t Unpremultiply(std::uint32_t premultiplied);

}  // namespace media
