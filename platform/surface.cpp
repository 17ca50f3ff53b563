#include "platform/surface.h"

#include <algorithm>
#include <new>

CSurface::CSurface(int width, int height) {
    if (width <= 0 || height <= 0 || std::int64_t(width) * height > kMaxPixels) return;
    pixels_.reset(new (std::nothrow) std::uint8_t[std::size_t(width) * height * 4]());
    if (!pixels_) return;
    width_ = width;
    height_ = height;
    stride_ = width * 4;
}

void CSurface::Fill(std::uint32_t argb) {
    for (int y = 0; y < height_; ++y) std::fill_n(Row(y), width_, argb);
}
