// Colour reduction for the command line's GIFs: a palette for a set of pixels (exact when they
// hold few enough colours, else a median cut refined by Lloyd's rounds), and pixels mapped onto it,
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
// there are no more than that, else entries placed by median cut (splitting where the squared
// error falls most) and refined by Lloyd's rounds; fewer entries when they already bring the
// mean squared error of a channel down to `enough`. No pixels give one black entry.
Palette MakePalette(std::span<const std::uint32_t> pixels, int maxColors, double enough = 0);

// The palette entry nearest to a colour (squared RGB distance; the lowest index among equals).
// Colour space is cut into fine cells of kFineBits a channel. When a colour first falls in a
// fine cell, the cell learns which entries can be nearest to any of its colours: most have
// one, answered at once from then on; the others keep a short list to search. What a fine
// cell may hold is found among the candidates of the coarse cell around it.
class NearestColor {
  public:
    explicit NearestColor(const Palette& palette);
    // Starts over with another palette, keeping the memory.
    void Reset(const Palette& palette);
    int Find(std::uint32_t rgb) { return Find((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }
    int Find(int r, int g, int b) {
        const std::size_t cell = (std::size_t(r >> (8 - kFineBits)) << (2 * kFineBits)) |
                                 (std::size_t(g >> (8 - kFineBits)) << kFineBits) |
                                 std::size_t(b >> (8 - kFineBits));
        const std::uint32_t known = cell < fine_.size() ? fine_[cell] : 0;
        if (known == 0) return Learn(cell, r, g, b);
        if (known <= kMaxColors) return int(known) - 1;
        return NearestIn(known - kMaxColors - 1, r, g, b);
    }

    // The same answer for a colour looked up once or seldom: its coarse cell's candidates are
    // searched without learning its fine cell.
    int FindOnce(std::uint32_t rgb);

  private:
    static int CoarseCell(int r, int g, int b) {
        return ((r >> (8 - kCoarseBits)) << (2 * kCoarseBits)) |
               ((g >> (8 - kCoarseBits)) << kCoarseBits) | (b >> (8 - kCoarseBits));
    }
    void MakeCoarse(int cell);
    // The nearest of `count` entries listed at `list` (in palette order).
    int NearestOf(const std::uint8_t* list, int count, int r, int g, int b) const;
    int Learn(std::size_t cell, int r, int g, int b);
    // The nearest of the list at lists_[at] (its length less one, then entries in palette order).
    int NearestIn(std::size_t at, int r, int g, int b) const {
        return NearestOf(lists_.data() + at + 1, lists_[at] + 1, r, g, b);
    }

    static constexpr int kCoarseBits = 4;
    static constexpr int kFineBits = 6;
    // The entries' channels, doubled (so that a cell's middle falls on a whole number), one
    // array a channel.
    std::array<std::array<int, kMaxColors>, 3> doubled_{};
    int count_ = 0;
    std::vector<int> coarseStart_;  // into candidates_, -1 until made
    std::vector<std::uint16_t> coarseSize_;
    std::vector<std::uint8_t> candidates_;
    // By fine cell: 0 until learnt, the entry + 1, or kMaxColors + 1 + where its list starts.
    std::vector<std::uint32_t> fine_;
    std::vector<std::uint32_t> learnt_;  // the cells of fine_ that hold answers
    std::vector<std::uint8_t> lists_;
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
    // The nearest-colour search Map uses for `palette`: what is learnt through it serves the
    // next Map on the same palette.
    NearestColor& Nearest(const Palette& palette);

  private:
    NearestColor nearest_;
    Palette palette_;  // the palette nearest_ searches
    std::vector<int> current_, next_;  // diffused error of two rows
};

}  // namespace cli::gif
