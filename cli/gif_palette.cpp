#include "cli/gif_palette.h"

#include <FreeImage.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "platform/freeimagehandle.h"

namespace cli::gif {

namespace {

// Pixels Wu's quantizer is shown at most; larger sets are sampled evenly.
constexpr std::size_t kMaxQuantizedPixels = 1 << 17;
constexpr int kQuantizeRowWidth = 1024;
// Strength of ordered dithering, in levels of a channel from the darkest to the brightest
// threshold of the matrix.
constexpr int kOrderedSpread = 16;
constexpr int kDiffusedShare = 14;

int Red(std::uint32_t c) { return (c >> 16) & 0xFF; }
int Green(std::uint32_t c) { return (c >> 8) & 0xFF; }
int Blue(std::uint32_t c) { return c & 0xFF; }
std::uint32_t Pack(int r, int g, int b) { return (std::uint32_t(r) << 16) | (g << 8) | b; }
bool Opaque(std::uint32_t pixel) { return pixel >> 24 != 0; }

// Every distinct colour, or nothing when there are more than maxColors.
bool ExactColors(std::span<const std::uint32_t> pixels, int maxColors, Palette* colors) {
    constexpr std::size_t kSlots = 1024;  // open addressing, never more than a quarter full
    std::array<std::uint32_t, kSlots> slots;
    slots.fill(0);  // 0 = empty: stored values carry the opaque alpha byte
    std::uint32_t last = 0;
    for (const std::uint32_t pixel : pixels) {
        if (pixel == last) continue;
        last = pixel;
        std::size_t slot = (pixel * 2654435761u) >> 22;
        while (slots[slot] != 0 && slots[slot] != pixel) slot = (slot + 1) % kSlots;
        if (slots[slot] == pixel) continue;
        if (int(colors->size()) == maxColors) return false;
        slots[slot] = pixel;
        colors->push_back(pixel & 0xFFFFFF);
    }
    return true;
}

Palette WuColors(std::span<const std::uint32_t> pixels, int maxColors) {
    const std::size_t step = (pixels.size() + kMaxQuantizedPixels - 1) / kMaxQuantizedPixels;
    const std::size_t count = (pixels.size() + step - 1) / step;
    const int width = static_cast<int>(std::min<std::size_t>(count, kQuantizeRowWidth));
    const int height = static_cast<int>((count + width - 1) / width);
    FiBitmap rgb(FreeImage_Allocate(width, height, 24));
    if (!rgb) return {0};
    for (int y = 0; y < height; ++y) {
        BYTE* at = FreeImage_GetScanLine(rgb.get(), y);
        for (int x = 0; x < width; ++x, at += 3) {
            // The last row is padded with the first pixel.
            const std::size_t i = std::size_t(y) * width + x;
            const std::uint32_t pixel = i < count ? pixels[i * step] : pixels[0];
            at[FI_RGBA_RED] = BYTE(Red(pixel));
            at[FI_RGBA_GREEN] = BYTE(Green(pixel));
            at[FI_RGBA_BLUE] = BYTE(Blue(pixel));
        }
    }
    FiBitmap indexed(FreeImage_ColorQuantizeEx(rgb.get(), FIQ_WUQUANT, maxColors, 0, nullptr));
    if (!indexed) return {0};
    // Only the entries the quantizer used.
    std::array<bool, 256> used{};
    for (int y = 0; y < height; ++y) {
        const BYTE* row = FreeImage_GetScanLine(indexed.get(), y);
        for (int x = 0; x < width; ++x) used[row[x]] = true;
    }
    const RGBQUAD* entries = FreeImage_GetPalette(indexed.get());
    Palette palette;
    for (int i = 0; i < 256 && int(palette.size()) < maxColors; ++i) {
        if (used[i]) palette.push_back(Pack(entries[i].rgbRed, entries[i].rgbGreen, entries[i].rgbBlue));
    }
    return palette;
}

}  // namespace

namespace {

// Lloyd's refinement: every entry moves to the mean of the pixels nearest to it. Wu's
// quantizer places its entries from a histogram of 5 bits a channel; a few rounds on the
// pixels themselves recover most of what that costs.
void Refine(std::span<const std::uint32_t> pixels, Palette& palette) {
    constexpr int kRounds = 2;
    const std::size_t step = (pixels.size() + kMaxQuantizedPixels - 1) / kMaxQuantizedPixels;
    NearestColor nearest(palette);
    for (int round = 0; round < kRounds; ++round) {
        std::vector<std::array<std::int64_t, 4>> sums(palette.size(), {0, 0, 0, 0});
        for (std::size_t i = 0; i < pixels.size(); i += step) {
            const std::uint32_t pixel = pixels[i];
            auto& sum = sums[nearest.Find(pixel)];
            sum[0] += Red(pixel);
            sum[1] += Green(pixel);
            sum[2] += Blue(pixel);
            ++sum[3];
        }
        for (std::size_t e = 0; e < palette.size(); ++e) {
            const auto& sum = sums[e];
            if (sum[3] == 0) continue;
            const auto mean = [&](int c) { return int((sum[c] + sum[3] / 2) / sum[3]); };
            palette[e] = Pack(mean(0), mean(1), mean(2));
        }
        nearest.Reset(palette);
    }
}

}  // namespace

Palette MakePalette(std::span<const std::uint32_t> pixels, int maxColors) {
    maxColors = std::clamp(maxColors, 1, kMaxColors);
    if (pixels.empty()) return {0};
    Palette exact;
    if (ExactColors(pixels, maxColors, &exact)) return exact;
    if (maxColors == 1) return {pixels[0] & 0xFFFFFF};
    Palette palette = WuColors(pixels, maxColors);
    Refine(pixels, palette);
    return palette;
}

NearestColor::NearestColor(const Palette& palette)
    : cellStart_(std::size_t{1} << (3 * kCellBits), -1),
      cellSize_(cellStart_.size(), 0),
      cacheKeys_(std::size_t{1} << kCacheBits, 0),
      cacheIndices_(cacheKeys_.size(), 0) {
    Reset(palette);
}

void NearestColor::Reset(const Palette& palette) {
    if (++generation_ > 0xFF) {
        std::fill(cacheKeys_.begin(), cacheKeys_.end(), 0);
        generation_ = 1;
    }
    entries_.clear();
    for (const std::uint32_t c : palette) entries_.push_back({Red(c), Green(c), Blue(c)});
    std::fill(cellStart_.begin(), cellStart_.end(), -1);
    candidates_.clear();
}

int NearestColor::Find(std::uint32_t rgb) {
    rgb &= 0xFFFFFF;
    const std::uint32_t key = rgb | (generation_ << 24);
    const std::size_t slot = (rgb * 2654435761u) >> (32 - kCacheBits);
    if (cacheKeys_[slot] == key) return cacheIndices_[slot];
    const int index = Search(Red(rgb), Green(rgb), Blue(rgb));
    cacheKeys_[slot] = key;
    cacheIndices_[slot] = static_cast<std::uint8_t>(index);
    return index;
}

// An entry can be nearest to some colour of the cell only if it lies within the nearest
// entry's distance from the cell's centre plus the cell's diameter.
void NearestColor::MakeCell(int cell) {
    constexpr int kSide = 256 >> kCellBits;
    const double half = (kSide - 1) / 2.0;
    const double cr = (cell >> (2 * kCellBits)) * kSide + half;
    const double cg = ((cell >> kCellBits) & ((1 << kCellBits) - 1)) * kSide + half;
    const double cb = (cell & ((1 << kCellBits) - 1)) * kSide + half;
    const double diameter = 2 * half * std::sqrt(3.0);
    double nearest = 1e9;
    std::array<double, kMaxColors> distance{};
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const Entry& e = entries_[i];
        distance[i] = std::sqrt((e.r - cr) * (e.r - cr) + (e.g - cg) * (e.g - cg) +
                                (e.b - cb) * (e.b - cb));
        nearest = std::min(nearest, distance[i]);
    }
    cellStart_[cell] = static_cast<int>(candidates_.size());
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (distance[i] <= nearest + diameter + 1e-6) candidates_.push_back(static_cast<std::uint8_t>(i));
    }
    cellSize_[cell] = static_cast<std::uint16_t>(candidates_.size() - cellStart_[cell]);
}

int NearestColor::Search(int r, int g, int b) {
    if (entries_.empty()) return 0;
    const int cell = ((r >> (8 - kCellBits)) << (2 * kCellBits)) |
                     ((g >> (8 - kCellBits)) << kCellBits) | (b >> (8 - kCellBits));
    if (cellStart_[cell] < 0) MakeCell(cell);
    int best = std::numeric_limits<int>::max(), bestIndex = 0;
    const std::uint8_t* list = candidates_.data() + cellStart_[cell];
    for (int k = 0; k < cellSize_[cell]; ++k) {
        const Entry& e = entries_[list[k]];
        const int d = (e.r - r) * (e.r - r) + (e.g - g) * (e.g - g) + (e.b - b) * (e.b - b);
        if (d < best) {  // candidates are in palette order: the first of equals is kept
            best = d;
            bestIndex = list[k];
        }
    }
    return bestIndex;
}

namespace {

// Floyd and Steinberg's weights, in sixteenths, along serpentine rows. Only part of each
// error is passed on (kDiffusedShare sixteenths), so flat areas settle on their own colour
// instead of carrying noise from their edges: a picture that compresses far better, for a
// little banding on the softest gradients. Errors are kept in 256ths.
void Diffuse(std::span<const std::uint32_t> block, int width, int height, NearestColor& nearest,
             const Palette& palette, int blankIndex, std::vector<int>& current,
             std::vector<int>& next, std::vector<std::uint8_t>& indices) {
    // Errors of this row and the next, three channels a pixel with a pixel of margin each side.
    current.assign(std::size_t(width + 2) * 3, 0);
    next.assign(current.size(), 0);
    for (int y = 0; y < height; ++y) {
        const bool leftToRight = (y % 2) == 0;
        const int dir = leftToRight ? 1 : -1;
        std::fill(next.begin(), next.end(), 0);
        for (int i = 0; i < width; ++i) {
            const int x = leftToRight ? i : width - 1 - i;
            const std::size_t at = std::size_t(y) * width + x;
            const std::uint32_t pixel = block[at];
            if (!Opaque(pixel)) {
                indices[at] = static_cast<std::uint8_t>(blankIndex);
                continue;
            }
            int* err = &current[std::size_t(x + 1) * 3];
            const int want[3] = {std::clamp(Red(pixel) + err[0] / 256, 0, 255),
                                 std::clamp(Green(pixel) + err[1] / 256, 0, 255),
                                 std::clamp(Blue(pixel) + err[2] / 256, 0, 255)};
            const int index = nearest.Find(Pack(want[0], want[1], want[2]));
            indices[at] = static_cast<std::uint8_t>(index);
            const std::uint32_t got = palette[index];
            const int diff[3] = {want[0] - Red(got), want[1] - Green(got), want[2] - Blue(got)};
            int* ahead = &current[std::size_t(x + 1 + dir) * 3];
            int* below = &next[std::size_t(x + 1) * 3];
            for (int c = 0; c < 3; ++c) {
                const int passed = diff[c] * kDiffusedShare;
                ahead[c] += passed * 7;
                below[c - 3 * dir] += passed * 3;
                below[c] += passed * 5;
                below[c + 3 * dir] += passed;
            }
        }
        std::swap(current, next);
    }
}

// An 8 x 8 Bayer matrix: thresholds 0..63 spread evenly over every 2^k square.
constexpr std::array<std::array<std::uint8_t, 8>, 8> kBayer = {{
    {0, 32, 8, 40, 2, 34, 10, 42},
    {48, 16, 56, 24, 50, 18, 58, 26},
    {12, 44, 4, 36, 14, 46, 6, 38},
    {60, 28, 52, 20, 62, 30, 54, 22},
    {3, 35, 11, 43, 1, 33, 9, 41},
    {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37},
    {63, 31, 55, 23, 61, 29, 53, 21},
}};

void Ordered(std::span<const std::uint32_t> block, int width, int height, NearestColor& nearest,
             int blankIndex, std::vector<std::uint8_t>& indices) {
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::size_t at = std::size_t(y) * width + x;
            const std::uint32_t pixel = block[at];
            if (!Opaque(pixel)) {
                indices[at] = static_cast<std::uint8_t>(blankIndex);
                continue;
            }
            const int offset = (kBayer[y & 7][x & 7] * 2 - 63) * kOrderedSpread / 128;
            indices[at] = static_cast<std::uint8_t>(nearest.Find(
                Pack(std::clamp(Red(pixel) + offset, 0, 255), std::clamp(Green(pixel) + offset, 0, 255),
                     std::clamp(Blue(pixel) + offset, 0, 255))));
        }
    }
}

void Plain(std::span<const std::uint32_t> block, NearestColor& nearest, int blankIndex,
           std::vector<std::uint8_t>& indices) {
    std::uint32_t last = 0;
    int lastIndex = blankIndex;
    for (std::size_t i = 0; i < block.size(); ++i) {
        const std::uint32_t pixel = block[i];
        if (pixel != last) {
            last = pixel;
            lastIndex = Opaque(pixel) ? nearest.Find(pixel) : blankIndex;
        }
        indices[i] = static_cast<std::uint8_t>(lastIndex);
    }
}

}  // namespace

PaletteMapper::PaletteMapper() : nearest_(Palette{}) {}

void PaletteMapper::Map(std::span<const std::uint32_t> block, int width, int height,
                        const Palette& palette, int blankIndex, Dither dither,
                        std::vector<std::uint8_t>* indices) {
    nearest_.Reset(palette);
    indices->resize(block.size());
    switch (dither) {
    case Dither::kDiffuse:
        Diffuse(block, width, height, nearest_, palette, blankIndex, current_, next_, *indices);
        return;
    case Dither::kOrdered:
        Ordered(block, width, height, nearest_, blankIndex, *indices);
        return;
    case Dither::kNone:
        break;
    }
    Plain(block, nearest_, blankIndex, *indices);
}

std::vector<std::uint8_t> MapToPalette(std::span<const std::uint32_t> block, int width, int height,
                                       const Palette& palette, int blankIndex, Dither dither) {
    std::vector<std::uint8_t> indices;
    PaletteMapper().Map(block, width, height, palette, blankIndex, dither, &indices);
    return indices;
}

}  // namespace cli::gif
