#include "player/bitmap_sampling.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace player {

namespace {

// Texels one device pixel spans along each bitmap axis: the pixel's steps in x and y mapped
// into the bitmap, added per axis.
void Footprint(const cairo_matrix_t& deviceToBitmap, double* alongX, double* alongY) {
    *alongX = std::abs(deviceToBitmap.xx) + std::abs(deviceToBitmap.xy);
    *alongY = std::abs(deviceToBitmap.yx) + std::abs(deviceToBitmap.yy);
}

// The smallest power of two that brings `footprint` texels to at most kReduceAbove, but no
// more than it takes to bring `side` texels down to one.
int ReductionFor(double footprint, int side) {
    int reduce = 1;
    while (!(footprint / reduce <= kReduceAbove) && reduce < side) reduce *= 2;
    return reduce;
}

int ReducedSide(int side, int reduce) {
    return std::max(1, static_cast<int>(std::lround(double(side) / reduce)));
}

// Periods of `period` texels side by side so that a coordinate `span` texels from the origin
// lies at most kMaxPeriodWalk tiles away: a power of two, the tile no wider than kMaxTileSide.
int TilesFor(double span, int period) {
    const int most = std::max(1, kMaxTileSide / period);
    int tiles = 1;
    while (tiles < most && !(span <= kMaxPeriodWalk * period * tiles)) tiles *= 2;
    return std::min(tiles, most);
}

// The largest distance from the pattern's origin, along each axis, of the area's corners.
void Span(const cairo_matrix_t& m, const SampledArea& area, double* alongX, double* alongY) {
    *alongX = *alongY = 0;
    for (const double x : {area.x0, area.x1})
        for (const double y : {area.y0, area.y1}) {
            double px = x, py = y;
            cairo_matrix_transform_point(&m, &px, &py);
            *alongX = std::max(*alongX, std::abs(px));
            *alongY = std::max(*alongY, std::abs(py));
        }
}

double FoldInto(double value, int period) {
    const double folded = std::fmod(value, period);
    return folded < 0 ? folded + period : folded;
}

// One source span of a reduced side: output index i covers source [i, i + 1) * ratio.
struct Tap {
    int index;
    float weight;
};

// Area weights of every output index over the source, each list summing to 1.
std::vector<std::vector<Tap>> AreaTaps(int source, int output) {
    std::vector<std::vector<Tap>> taps(output);
    const double ratio = double(source) / output;
    for (int i = 0; i < output; ++i) {
        const double from = i * ratio, to = (i + 1) * ratio;
        for (int s = static_cast<int>(from); s < source && s < to; ++s) {
            const double covered = std::min(to, s + 1.0) - std::max(from, double(s));
            if (covered > 0) taps[i].push_back({s, static_cast<float>(covered / ratio)});
        }
    }
    return taps;
}

std::uint32_t PackChannels(const float sum[4]) {
    std::uint32_t out = 0;
    for (int c = 0; c < 4; ++c) {
        const auto v = static_cast<std::uint32_t>(std::clamp(std::lround(sum[c]), 0L, 255L));
        out |= v << (8 * c);
    }
    return out;
}

const std::uint32_t* SourceRow(const unsigned char* pixels, int stride, int y) {
    return reinterpret_cast<const std::uint32_t*>(pixels + static_cast<std::size_t>(y) * stride);
}

// Area-averaged reduction: each output row gathers its source rows, each reduced across first.
void AverageInto(const unsigned char* pixels, int width, int height, int stride,
                 const SamplingPlan& plan, std::vector<std::uint32_t>& out) {
    const auto across = AreaTaps(width, plan.width);
    const auto down = AreaTaps(height, plan.height);
    std::vector<float> row(static_cast<std::size_t>(plan.width) * 4);
    for (int y = 0; y < plan.height; ++y) {
        std::fill(row.begin(), row.end(), 0.0f);
        for (const Tap& v : down[y]) {
            const std::uint32_t* in = SourceRow(pixels, stride, v.index);
            for (int x = 0; x < plan.width; ++x) {
                float* sum = &row[static_cast<std::size_t>(x) * 4];
                for (const Tap& h : across[x]) {
                    const std::uint32_t p = in[h.index];
                    const float w = v.weight * h.weight;
                    for (int c = 0; c < 4; ++c) sum[c] += w * float((p >> (8 * c)) & 0xFF);
                }
            }
        }
        for (int x = 0; x < plan.width; ++x)
            out[static_cast<std::size_t>(y) * plan.width + x] =
                PackChannels(&row[static_cast<std::size_t>(x) * 4]);
    }
}

// Point-sampled reduction: the texel at the centre of each output pixel's block.
void PickInto(const unsigned char* pixels, int width, int height, int stride,
              const SamplingPlan& plan, std::vector<std::uint32_t>& out) {
    for (int y = 0; y < plan.height; ++y) {
        const int sy = std::min(height - 1, static_cast<int>((y + 0.5) * height / plan.height));
        const std::uint32_t* in = SourceRow(pixels, stride, sy);
        for (int x = 0; x < plan.width; ++x) {
            const int sx = std::min(width - 1, static_cast<int>((x + 0.5) * width / plan.width));
            out[static_cast<std::size_t>(y) * plan.width + x] = in[sx];
        }
    }
}

// Texels per device pixel left along an axis of one texel: next to nothing, so the texel's
// coordinate stays put however far the pattern reaches, yet the matrix stays invertible (cairo
// refuses a singular pattern matrix).
constexpr double kFlat = 1.0 / (1 << 20);

// Along an axis reduced to one texel every pixel samples that texel: its row of the matrix is
// made perpendicular to the other row and next to nothing long, its coordinate the texel's
// centre.
void FlattenSingleTexelAxes(const SamplingPlan& plan, cairo_matrix_t* m) {
    if (plan.width == 1 && plan.height == 1) {
        cairo_matrix_init(m, kFlat, 0, 0, kFlat, 0.5, 0.5);
    } else if (plan.width == 1) {
        const double length = std::hypot(m->yx, m->yy);
        m->xx = -m->yy / length * kFlat;
        m->xy = m->yx / length * kFlat;
        m->x0 = 0.5;
    } else if (plan.height == 1) {
        const double length = std::hypot(m->xx, m->xy);
        m->yx = -m->xy / length * kFlat;
        m->yy = m->xx / length * kFlat;
        m->y0 = 0.5;
    }
}

}  // namespace

SamplingPlan PlanSampling(int width, int height, const cairo_matrix_t& deviceToBitmap, bool repeat,
                          const SampledArea& area) {
    SamplingPlan plan;
    double alongX = 0, alongY = 0;
    Footprint(deviceToBitmap, &alongX, &alongY);
    plan.reduceX = ReductionFor(alongX, width);
    plan.reduceY = ReductionFor(alongY, height);
    plan.width = ReducedSide(width, plan.reduceX);
    plan.height = ReducedSide(height, plan.reduceY);
    // A single texel repeated is a plain colour to cairo; anything else that would make pixman
    // walk many periods to a pixel's texel is tiled.
    if (repeat && (plan.width > 1 || plan.height > 1)) {
        double spanX = 0, spanY = 0;
        Span(PlannedPatternMatrix(deviceToBitmap, width, height, plan, true), area, &spanX, &spanY);
        plan.tilesX = TilesFor(spanX, plan.width);
        plan.tilesY = TilesFor(spanY, plan.height);
    }
    return plan;
}

cairo_surface_t* MakeSampledCopy(const unsigned char* pixels, int width, int height, int stride,
                                 const SamplingPlan& plan, bool smooth) {
    if (!pixels || width <= 0 || height <= 0 || plan.width <= 0 || plan.height <= 0) return nullptr;
    std::vector<std::uint32_t> period(static_cast<std::size_t>(plan.width) * plan.height);
    if (plan.width == width && plan.height == height) {
        for (int y = 0; y < height; ++y)
            std::memcpy(&period[static_cast<std::size_t>(y) * width], SourceRow(pixels, stride, y),
                        static_cast<std::size_t>(width) * 4);
    } else if (smooth) {
        AverageInto(pixels, width, height, stride, plan, period);
    } else {
        PickInto(pixels, width, height, stride, plan, period);
    }
    const int outWidth = plan.width * plan.tilesX, outHeight = plan.height * plan.tilesY;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, outWidth, outHeight);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    cairo_surface_flush(surface);
    unsigned char* data = cairo_image_surface_get_data(surface);
    const int outStride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < outHeight; ++y) {
        auto* row =
            reinterpret_cast<std::uint32_t*>(data + static_cast<std::size_t>(y) * outStride);
        const std::uint32_t* in = &period[static_cast<std::size_t>(y % plan.height) * plan.width];
        for (int t = 0; t < plan.tilesX; ++t)
            std::memcpy(row + static_cast<std::size_t>(t) * plan.width, in,
                        static_cast<std::size_t>(plan.width) * 4);
    }
    cairo_surface_mark_dirty(surface);
    return surface;
}

cairo_matrix_t PlannedPatternMatrix(const cairo_matrix_t& deviceToBitmap, int width, int height,
                                    const SamplingPlan& plan, bool repeat) {
    cairo_matrix_t toCopy;
    cairo_matrix_init_scale(&toCopy, double(plan.width) / width, double(plan.height) / height);
    cairo_matrix_t m;
    cairo_matrix_multiply(&m, &deviceToBitmap, &toCopy);
    FlattenSingleTexelAxes(plan, &m);
    if (repeat) {
        // Whole periods added to a repeating pattern's coordinates change nothing.
        m.x0 = FoldInto(m.x0, plan.width);
        m.y0 = FoldInto(m.y0, plan.height);
    }
    return m;
}

int TexelsPerPixel(const cairo_matrix_t& deviceToBitmap, int width, int height,
                   const SamplingPlan& plan, bool smooth) {
    if (!smooth) return 1;
    double alongX = 0, alongY = 0;
    Footprint(deviceToBitmap, &alongX, &alongY);
    // A pixel reads no more texels than one period holds (and a non-finite footprint reads
    // them all).
    auto taps = [](double texels, int side) {
        if (side == 1) return 1;  // one texel sampled everywhere
        return (texels >= 0 && texels <= side ? static_cast<int>(std::ceil(texels)) : side) + 1;
    };
    return taps(alongX * plan.width / width, plan.width) *
           taps(alongY * plan.height / height, plan.height);
}

}  // namespace player
