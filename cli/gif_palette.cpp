#include "cli/gif_palette.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <limits>

namespace cli::gif {

namespace {

// Pixels a palette is made from at most; larger sets are sampled evenly.
constexpr std::size_t kMaxQuantizedPixels = 1 << 14;
// Strength of ordered dithering, in levels of a channel from the darkest to the brightest
// threshold of the matrix.
constexpr int kOrderedSpread = 16;
constexpr int kDiffusedShare = 12;
constexpr std::size_t kRefinedColours = 4096;

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

// A colour of the pixels and how many of them have it.
struct Weighted {
    std::uint32_t rgb;
    std::uint32_t count;
};

// The distinct colours of the pixels (of an even sample of at most kMaxQuantizedPixels).
std::vector<Weighted> Histogram(std::span<const std::uint32_t> pixels) {
    const std::size_t step = (pixels.size() + kMaxQuantizedPixels - 1) / kMaxQuantizedPixels;
    std::size_t slots = 1024;
    while (slots < 2 * (pixels.size() / step + 1)) slots *= 2;
    const int shift = 32 - std::countr_zero(slots);
    // Open addressing; keys carry the opaque alpha byte, so 0 marks an empty slot.
    std::vector<std::uint32_t> keys(slots, 0);
    std::vector<std::uint32_t> counts(slots, 0);
    std::uint32_t last = 0;
    std::size_t lastSlot = 0;
    for (std::size_t i = 0; i < pixels.size(); i += step) {
        const std::uint32_t key = pixels[i] | 0xFF000000u;
        if (key != last) {
            last = key;
            lastSlot = (key * 2654435761u) >> shift;
            while (keys[lastSlot] != 0 && keys[lastSlot] != key)
                lastSlot = (lastSlot + 1) & (slots - 1);
            keys[lastSlot] = key;
        }
        ++counts[lastSlot];
    }
    std::vector<Weighted> colours;
    for (std::size_t slot = 0; slot < slots; ++slot) {
        if (keys[slot] != 0) colours.push_back({keys[slot] & 0xFFFFFF, counts[slot]});
    }
    return colours;
}

int Channel(std::uint32_t c, int axis) { return (c >> (16 - 8 * axis)) & 0xFF; }

// Median cut by variance: the colours are split, one box at a time, where a cut across one
// channel lowers the squared error the most, until there are as many boxes as entries; each
// box gives the mean of its colours. Cuts fall between any two levels of a channel, so the
// close colours of a smooth gradient are told apart.
class VarianceCut {
  public:
    // Stops early once the mean squared error of a channel is at most `enough`.
    VarianceCut(std::vector<Weighted> colours, int maxColors, double enough)
        : colours_(std::move(colours)) {
        double weight = 0, error = 0;
        std::array<double, 3> sum{};
        for (const Weighted& w : colours_) {
            weight += w.count;
            for (int c = 0; c < 3; ++c) {
                const double v = Channel(w.rgb, c);
                sum[c] += w.count * v;
                error += w.count * v * v;
            }
        }
        error -= (sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]) / weight;
        const double enoughError = enough * 3 * weight;
        boxes_.push_back(Measure(0, colours_.size()));
        while (int(boxes_.size()) < maxColors && error > enoughError) {
            const auto best =
                std::max_element(boxes_.begin(), boxes_.end(),
                                 [](const Box& a, const Box& b) { return a.gain < b.gain; });
            if (best->gain <= 0) break;
            error -= best->gain;
            const Box box = *best;
            const auto middle = std::partition(
                colours_.begin() + std::ptrdiff_t(box.begin),
                colours_.begin() + std::ptrdiff_t(box.end),
                [&](const Weighted& w) { return Channel(w.rgb, box.axis) <= box.cut; });
            const auto split = std::size_t(middle - colours_.begin());
            *best = Measure(box.begin, split);
            boxes_.push_back(Measure(split, box.end));
        }
    }

    Palette Means() const {
        Palette palette;
        for (const Box& box : boxes_) {
            std::array<std::uint64_t, 3> sum{};
            std::uint64_t weight = 0;
            for (std::size_t i = box.begin; i < box.end; ++i) {
                for (int c = 0; c < 3; ++c)
                    sum[c] += std::uint64_t(colours_[i].count) * Channel(colours_[i].rgb, c);
                weight += colours_[i].count;
            }
            const auto mean = [&](int c) { return int((sum[c] + weight / 2) / weight); };
            palette.push_back(Pack(mean(0), mean(1), mean(2)));
        }
        return palette;
    }

  private:
    struct Box {
        std::size_t begin, end;  // into colours_
        double gain;             // by which the best cut lowers the squared error
        int axis, cut;           // the best cut: levels up to `cut` of channel `axis` go first
    };

    // The box's best cut, from the sums of its colours by level of each channel (gathered for
    // the three channels in one pass over the colours).
    Box Measure(std::size_t begin, std::size_t end) {
        Box box{begin, end, 0, 0, 0};
        // Less the squared error of a part, by its sums: |sum|^2 / weight.
        const auto fit = [](const std::array<double, 4>& s) {
            return (s[1] * s[1] + s[2] * s[2] + s[3] * s[3]) / s[0];
        };
        std::array<int, 3> low = {255, 255, 255}, high = {0, 0, 0};
        for (std::size_t i = begin; i < end; ++i) {
            const std::uint32_t rgb = colours_[i].rgb;
            const std::uint64_t n = colours_[i].count;
            const std::array<int, 3> at = {Channel(rgb, 0), Channel(rgb, 1), Channel(rgb, 2)};
            const std::array<std::uint64_t, 3> sum = {n * at[0], n * at[1], n * at[2]};
            for (int axis = 0; axis < 3; ++axis) {
                low[axis] = std::min(low[axis], at[axis]);
                high[axis] = std::max(high[axis], at[axis]);
                auto& level = levels_[axis][at[axis]];
                level[0] += n;
                level[1] += sum[0];
                level[2] += sum[1];
                level[3] += sum[2];
            }
        }
        for (int axis = 0; axis < 3; ++axis) {
            const auto& levels = levels_[axis];
            std::array<double, 4> total{};
            for (int v = low[axis]; v <= high[axis]; ++v)
                for (int k = 0; k < 4; ++k) total[k] += double(levels[v][k]);
            const double whole = fit(total);
            // A cut gains fit(first) + fit(rest) - whole; with the parts' weights w1 and w2
            // that beats the best so far when a w2 + b w1 > (best + whole) w1 w2, where a and
            // b are the squared sums: no division but for a better cut.
            std::array<double, 4> first{};
            for (int v = low[axis]; v < high[axis]; ++v) {
                for (int k = 0; k < 4; ++k) first[k] += double(levels[v][k]);
                if (levels[v][0] == 0) continue;
                const double r1 = total[1] - first[1], r2 = total[2] - first[2],
                             r3 = total[3] - first[3];
                const double w1 = first[0], w2 = total[0] - first[0];
                const double a = first[1] * first[1] + first[2] * first[2] + first[3] * first[3];
                const double b = r1 * r1 + r2 * r2 + r3 * r3;
                const double joint = a * w2 + b * w1;
                if (joint <= (box.gain + whole) * w1 * w2) continue;
                box = {begin, end, joint / (w1 * w2) - whole, axis, v};
            }
            std::fill(levels_[axis].begin() + low[axis], levels_[axis].begin() + high[axis] + 1,
                      Level{});
        }
        return box;
    }

    std::vector<Weighted> colours_;
    std::vector<Box> boxes_;
    using Level = std::array<std::uint64_t, 4>;  // weight, then sums of the channels
    std::array<std::array<Level, 256>, 3> levels_{};  // by channel and level; 0 between uses
};

// Lloyd's refinement: every entry moves to the mean of the colours nearest to it. A cut
// places each entry for its own box; a round shares out the colours between neighbouring
// entries (later rounds gain little). Of more colours than kRefinedColours an even sample is
// shared out: the means barely move, and each colour looked up costs a learnt cell.
void Refine(std::span<const Weighted> colours, Palette& palette) {
    constexpr int kRounds = 1;
    NearestColor nearest(palette);
    for (int round = 0; round < kRounds; ++round) {
        std::vector<std::array<std::uint64_t, 4>> sums(palette.size(), {0, 0, 0, 0});
        const std::size_t step = std::max<std::size_t>(1, colours.size() / kRefinedColours);
        for (std::size_t i = 0; i < colours.size(); i += step) {
            const Weighted& w = colours[i];
            auto& sum = sums[nearest.FindOnce(w.rgb)];
            sum[0] += std::uint64_t(w.count) * Red(w.rgb);
            sum[1] += std::uint64_t(w.count) * Green(w.rgb);
            sum[2] += std::uint64_t(w.count) * Blue(w.rgb);
            sum[3] += w.count;
        }
        for (std::size_t e = 0; e < palette.size(); ++e) {
            const auto& sum = sums[e];
            if (sum[3] == 0) continue;
            const auto mean = [&](int c) { return int((sum[c] + sum[3] / 2) / sum[3]); };
            palette[e] = Pack(mean(0), mean(1), mean(2));
        }
        if (round + 1 < kRounds) nearest.Reset(palette);
    }
}

}  // namespace

Palette MakePalette(std::span<const std::uint32_t> pixels, int maxColors, double enough) {
    maxColors = std::clamp(maxColors, 1, kMaxColors);
    if (pixels.empty()) return {0};
    Palette exact;
    if (ExactColors(pixels, maxColors, &exact)) return exact;
    if (maxColors == 1) return {pixels[0] & 0xFFFFFF};
    const std::vector<Weighted> colours = Histogram(pixels);
    Palette palette = VarianceCut(colours, maxColors, enough).Means();
    Refine(colours, palette);
    return palette;
}

NearestColor::NearestColor(const Palette& palette)
    : coarseStart_(std::size_t{1} << (3 * kCoarseBits), -1), coarseSize_(coarseStart_.size(), 0) {
    Reset(palette);
}

void NearestColor::Reset(const Palette& palette) {
    count_ = static_cast<int>(std::min<std::size_t>(palette.size(), kMaxColors));
    for (int i = 0; i < count_; ++i) {
        doubled_[0][i] = 2 * Red(palette[i]);
        doubled_[1][i] = 2 * Green(palette[i]);
        doubled_[2][i] = 2 * Blue(palette[i]);
    }
    std::fill(coarseStart_.begin(), coarseStart_.end(), -1);
    candidates_.clear();
    // Few cells are learnt for most palettes: those are forgotten one by one.
    if (learnt_.size() < fine_.size() / 16) {
        for (const std::uint32_t cell : learnt_) fine_[cell] = 0;
    } else {
        std::fill(fine_.begin(), fine_.end(), 0);
    }
    learnt_.clear();
    lists_.clear();
}

namespace {

// The squared distances of the first `count` entries from a point, into `out`; returns the
// least. Written for the compiler to run over several entries at once, and built for wider
// vector units too where the processor has them.
__attribute__((target_clones("avx2", "default"))) int SquaredDistances(
    const std::array<std::array<int, kMaxColors>, 3>& doubled, int count, int r, int g, int b,
    int* out) {
    int nearest = std::numeric_limits<int>::max();
    for (int i = 0; i < count; ++i) {
        const int dr = doubled[0][i] - r, dg = doubled[1][i] - g, db = doubled[2][i] - b;
        out[i] = dr * dr + dg * dg + db * db;
        nearest = std::min(nearest, out[i]);
    }
    return nearest;
}

}  // namespace

// An entry can be nearest to some colour of the cell only if it lies within the nearest
// entry's distance from the cell's middle plus the cell's diameter.
void NearestColor::MakeCoarse(int cell) {
    constexpr int kSide = 256 >> kCoarseBits;
    constexpr int kMask = (1 << kCoarseBits) - 1;
    // Positions doubled, so that the middle of a cell falls on a whole number.
    const int cr = (cell >> (2 * kCoarseBits)) * kSide * 2 + kSide - 1;
    const int cg = ((cell >> kCoarseBits) & kMask) * kSide * 2 + kSide - 1;
    const int cb = (cell & kMask) * kSide * 2 + kSide - 1;
    const double diameter = 2 * (kSide - 1) * std::sqrt(3.0);  // doubled as well
    std::array<int, kMaxColors> distance;  // the first count_ are written before use
    const int nearest = SquaredDistances(doubled_, count_, cr, cg, cb, distance.data());
    const double reach = std::sqrt(double(nearest)) + diameter;
    const auto limit = static_cast<std::int64_t>(reach * reach) + 1;
    const std::size_t start = candidates_.size();
    candidates_.resize(start + count_);
    std::size_t end = start;
    for (int i = 0; i < count_; ++i) {
        candidates_[end] = static_cast<std::uint8_t>(i);
        end += distance[i] <= limit;
    }
    candidates_.resize(end);
    coarseStart_[cell] = static_cast<int>(start);
    coarseSize_[cell] = static_cast<std::uint16_t>(end - start);
}

// The same test as for a coarse cell, on the coarse cell's candidates only: no other entry
// is nearest to any colour inside it.
int NearestColor::Learn(std::size_t cell, int r, int g, int b) {
    if (count_ == 0) return 0;
    if (fine_.empty()) fine_.assign(std::size_t{1} << (3 * kFineBits), 0);
    learnt_.push_back(static_cast<std::uint32_t>(cell));
    constexpr int kSide = 256 >> kFineBits;
    constexpr int kMask = (1 << kFineBits) - 1;
    const int cr = int(cell >> (2 * kFineBits)) * kSide * 2 + kSide - 1;
    const int cg = int((cell >> kFineBits) & kMask) * kSide * 2 + kSide - 1;
    const int cb = int(cell & kMask) * kSide * 2 + kSide - 1;
    const double diameter = 2 * (kSide - 1) * std::sqrt(3.0);
    const int coarse = CoarseCell(r, g, b);
    if (coarseStart_[coarse] < 0) MakeCoarse(coarse);
    const std::uint8_t* list = candidates_.data() + coarseStart_[coarse];
    const int count = coarseSize_[coarse];
    std::array<int, kMaxColors> distance;  // the first `count` are written before use
    int nearest = std::numeric_limits<int>::max(), nearestIndex = 0;
    for (int k = 0; k < count; ++k) {
        const int e = list[k];
        const int dr = doubled_[0][e] - cr, dg = doubled_[1][e] - cg, db = doubled_[2][e] - cb;
        distance[k] = dr * dr + dg * dg + db * db;
        if (distance[k] < nearest) {
            nearest = distance[k];
            nearestIndex = list[k];
        }
    }
    const double reach = std::sqrt(double(nearest)) + diameter;
    const auto limit = static_cast<std::int64_t>(reach * reach) + 1;
    const std::size_t at = lists_.size();
    lists_.push_back(0);
    for (int k = 0; k < count; ++k) {
        if (distance[k] <= limit) lists_.push_back(list[k]);
    }
    const std::size_t listed = lists_.size() - at - 1;
    if (listed == 1) {
        lists_.resize(at);
        fine_[cell] = std::uint32_t(nearestIndex) + 1;
        return nearestIndex;
    }
    lists_[at] = static_cast<std::uint8_t>(listed - 1);  // 2..256 entries
    fine_[cell] = std::uint32_t(kMaxColors + 1 + at);
    return NearestIn(at, r, g, b);
}

int NearestColor::FindOnce(std::uint32_t rgb) {
    if (count_ == 0) return 0;
    const int coarse = CoarseCell(Red(rgb), Green(rgb), Blue(rgb));
    if (coarseStart_[coarse] < 0) MakeCoarse(coarse);
    return NearestOf(candidates_.data() + coarseStart_[coarse], coarseSize_[coarse], Red(rgb),
                     Green(rgb), Blue(rgb));
}

int NearestColor::NearestOf(const std::uint8_t* list, int count, int r, int g, int b) const {
    int best = std::numeric_limits<int>::max(), bestIndex = 0;
    r *= 2;
    g *= 2;
    b *= 2;
    for (int k = 0; k < count; ++k) {
        const int e = list[k];
        const int dr = doubled_[0][e] - r, dg = doubled_[1][e] - g, db = doubled_[2][e] - b;
        const int d = dr * dr + dg * dg + db * db;
        if (d < best) {  // in palette order: the first of equals is kept
            best = d;
            bestIndex = e;
        }
    }
    return bestIndex;
}

namespace {

// Floyd and Steinberg's weights, in sixteenths, along serpentine rows. Only part of each
// error is passed on (kDiffusedShare sixteenths), so flat areas settle on their own colour
// instead of carrying noise from their edges: a picture that compresses far better, for a
// little banding on the softest gradients. Errors are kept in 256ths.
struct Channels {
    int r, g, b;
};

// One row in the direction kStep (1 or -1). The error passed along the row stays in
// registers; `current` holds what the row above passed down, `next` gathers what this one
// passes down (both three channels a pixel, with a pixel of margin each side).
template <int kStep>
void DiffuseRow(const std::uint32_t* row, int width, NearestColor& nearest,
                const Channels* colours, int blankIndex, const int* current, int* next,
                std::uint8_t* indices) {
    int aheadR = 0, aheadG = 0, aheadB = 0;
    int x = kStep > 0 ? 0 : width - 1;
    for (int i = 0; i < width; ++i, x += kStep) {
        const std::uint32_t pixel = row[x];
        if (!Opaque(pixel)) {
            indices[x] = static_cast<std::uint8_t>(blankIndex);
            aheadR = aheadG = aheadB = 0;
            continue;
        }
        const int* err = current + std::size_t(x + 1) * 3;
        const int r = std::clamp(Red(pixel) + (err[0] + aheadR) / 256, 0, 255);
        const int g = std::clamp(Green(pixel) + (err[1] + aheadG) / 256, 0, 255);
        const int b = std::clamp(Blue(pixel) + (err[2] + aheadB) / 256, 0, 255);
        const int index = nearest.Find(r, g, b);
        indices[x] = static_cast<std::uint8_t>(index);
        const Channels& got = colours[index];
        const int passed[3] = {(r - got.r) * kDiffusedShare, (g - got.g) * kDiffusedShare,
                               (b - got.b) * kDiffusedShare};
        aheadR = passed[0] * 7;
        aheadG = passed[1] * 7;
        aheadB = passed[2] * 7;
        int* below = next + std::size_t(x + 1) * 3;
        for (int c = 0; c < 3; ++c) {
            below[c - 3 * kStep] += passed[c] * 3;
            below[c] += passed[c] * 5;
            below[c + 3 * kStep] += passed[c];
        }
    }
}

void Diffuse(std::span<const std::uint32_t> block, int width, int height, NearestColor& nearest,
             const Palette& palette, int blankIndex, std::vector<int>& current,
             std::vector<int>& next, std::vector<std::uint8_t>& indices) {
    std::array<Channels, kMaxColors> colours{};
    for (std::size_t i = 0; i < palette.size() && i < colours.size(); ++i)
        colours[i] = {Red(palette[i]), Green(palette[i]), Blue(palette[i])};
    current.assign(std::size_t(width + 2) * 3, 0);
    next.assign(current.size(), 0);
    for (int y = 0; y < height; ++y) {
        std::fill(next.begin(), next.end(), 0);
        const std::uint32_t* row = block.data() + std::size_t(y) * width;
        std::uint8_t* out = indices.data() + std::size_t(y) * width;
        if (y % 2 == 0)
            DiffuseRow<1>(row, width, nearest, colours.data(), blankIndex, current.data(),
                          next.data(), out);
        else
            DiffuseRow<-1>(row, width, nearest, colours.data(), blankIndex, current.data(),
                           next.data(), out);
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
                std::clamp(Red(pixel) + offset, 0, 255), std::clamp(Green(pixel) + offset, 0, 255),
                std::clamp(Blue(pixel) + offset, 0, 255)));
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

NearestColor& PaletteMapper::Nearest(const Palette& palette) {
    if (palette != palette_ || palette.empty()) {
        // A new palette: what was learnt of the last one is forgotten.
        palette_ = palette;
        nearest_.Reset(palette_);
    }
    return nearest_;
}

void PaletteMapper::Map(std::span<const std::uint32_t> block, int width, int height,
                        const Palette& palette, int blankIndex, Dither dither,
                        std::vector<std::uint8_t>* indices) {
    Nearest(palette);
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
