// The one 32-bit pixel surface of the system: premultiplied ARGB32 in native byte order
// (the layout of cairo's CAIRO_FORMAT_ARGB32 and Qt's Format_ARGB32_Premultiplied), so the
// window shows it and the engine draws into it without conversion. It stands in for a GDI
// memory bitmap: CreateCompatibleBitmap always yields one of these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

class CSurface {
public:
    CSurface() = default;
    // Allocates width x height zeroed pixels; a size that is not positive, or one above
    // kMaxPixels, leaves the surface empty (IsValid() false).
    CSurface(int width, int height);

    static constexpr std::int64_t kMaxPixels = 16384LL * 16384LL;

    bool IsValid() const { return pixels_ != nullptr; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    int Stride() const { return stride_; }  // bytes per row
    std::uint8_t* Pixels() { return pixels_.get(); }
    const std::uint8_t* Pixels() const { return pixels_.get(); }
    std::uint32_t* Row(int y) { return reinterpret_cast<std::uint32_t*>(pixels_.get() + std::size_t(y) * stride_); }
    const std::uint32_t* Row(int y) const {
        return reinterpret_cast<const std::uint32_t*>(pixels_.get() + std::size_t(y) * stride_);
    }
    // Sets every pixel to one premultiplied ARGB value.
    void Fill(std::uint32_t argb);

private:
    std::unique_ptr<std::uint8_t[]> pixels_;
    int width_ = 0;
    int height_ = 0;
    int stride_ = 0;
};
