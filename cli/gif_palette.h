// Colour reduction for the command line's GIFs: a palette for a set of pixels (exact when they
// hold few enough colours, else Wu's quantizer through FreeImage), and pixels mapped onto it,
// plainly or dithered, through a cached nearest-colour search.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace cli::gif {

enum class Dither { kNone, kOrdered, kDiffuse };

// Up to 256 colours, 0xRRGGBB.
using Palette = std::vector<std::uint32_t>;
constexpr int kMaxColors = 256;

// A palette of at most maxColors (1..256) for opaque pixels (0xFFRRGGBB): every colour when
// there are no more than that, else Wu's. No pixels give one black entry.
Palette MakePalette(std::span<const std::uint32_t> pixels, int maxColors);

// The palette entry nearest to a colour (squared RGB distance; the lowest index among equals),
// remembering recent answers. Colour space is cut into cells, each listing the only entries
// that can be nearest to a colour inside it, made when a colour first falls there.
class NearestColor {
  public:
    explicit NearestColor(const Palette& palette);
    // Starts over with another palette, keeping the memory.
    void Reset(const Palette& palette);
    int Find(std::uint32_t rgb);

  private:
    struct Entry {
        int r, g, b;
    };
    int Search(int r, int g, int b);
    void MakeCell(int cell);

    static constexpr int kCellBits = 4;  // per channel
    std::vector<Entry> entries_;
    std::vector<int> cellStart_;          // into candidates_, -1 until made
    std::vector<std::uint16_t> cellSize_;
    std::vector<std::uint8_t> candidates_;
    // Answers by colour, each key tagged with the palette's generation in its top byte, so a
    // new palette empties the cache without clearing it.
    static constexpr int kCacheBits = 16;
    std::vector<std::uint32_t> cacheKeys_;
    std::uint32_t generation_ = 0;
    std::vector<std::uint8_t> cacheIndices_;
};

// A width x height block of pixels: opaque ones (0xFFRRGGBB) are mapped to the palette, the
// others (0) become `blankIndex`. Dithering spreads each pixel's error only over opaque pixels.
std::vector<std::uint8_t> MapToPalette(std::span<const std::uint32_t> block, int width, int height,
                                       const Palette& palette, int blankIndex, Dither dither);

// The same, keeping its working memory from one block to the next.
class PaletteMapper {
  public:
    PaletteMapper();
    void Map(std::span<const std::uint32_t> block, int width, int height, const Palette& palette,
             int blankIndex, Dither dither, std::vector<std::uint8_t>* indices);

  private:
    NearestColor nearest_;
    std::vector<int> current_, next_;  // diffused error of two rows
};

}  // namespace cli::gif
