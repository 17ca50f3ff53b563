#include "player/media/filters.h"

#include <algorithm>
#include <cmath>

namespace media {
namespace {

using Plane = std::vector<std::uint8_t>;

// ---- Box blur ------------------------------------------------------------------------------

// One box pass: full taps over [-radius, radius], taps at +-(radius + 1) weighted `edge`
// (the fractional part of the box), all divided by the box width.
struct BoxPass {
    int radius = 0;
    float edge = 0.0f;
    float scale = 1.0f;

    int Extent() const { return radius + (edge > 0.0f ? 1 : 0); }
};

struct BlurPlan {
    int passes = 0;  // passes actually run, per direction
    BoxPass x;
    BoxPass y;
    bool blurX = false;
    bool blurY = false;

    int ExtentX() const { return blurX ? passes * x.Extent() : 0; }
    int ExtentY() const { return blurY ? passes * y.Extent() : 0; }
};

BoxPass PlanBox(double size, int requestedPasses, int runPasses) {
    if (requestedPasses > runPasses)  // same variance: n (w^2 - 1) / 12 for n passes of width w
        size = std::sqrt(double(requestedPasses) / runPasses * (size * size - 1.0) + 1.0);
    BoxPass pass;
    const double radius = (size - 1.0) / 2.0;
    pass.radius = static_cast<int>(std::floor(radius));
    pass.edge = static_cast<float>(radius - pass.radius);
    pass.scale = static_cast<float>(1.0 / size);
    return pass;
}

BlurPlan PlanBlur(double blurX, double blurY, int passes) {
    BlurPlan plan;
    const int requested = std::clamp(passes, 0, kMaxBlurPasses);
    plan.passes = std::min(requested, kMaxBoxPassesRun);
    if (plan.passes == 0) return plan;
    const double sizeX = std::isfinite(blurX) ? std::clamp(blurX, 0.0, kMaxBlurSize) : 0.0;
    const double sizeY = std::isfinite(blurY) ? std::clamp(blurY, 0.0, kMaxBlurSize) : 0.0;
    plan.blurX = sizeX > 1.0;
    plan.blurY = sizeY > 1.0;
    if (plan.blurX) plan.x = PlanBox(sizeX, requested, plan.passes);
    if (plan.blurY) plan.y = PlanBox(sizeY, requested, plan.passes);
    return plan;
}

std::uint8_t ToByte(float v) {
    return static_cast<std::uint8_t>(std::clamp(v + 0.5f, 0.0f, 255.0f));
}

// Blurs the columns of `data` into `out` with running sums over whole rows, which keeps memory
// access sequential.
void BlurColumns(const std::uint8_t* data, std::uint8_t* out, int width, int height, int channels,
                 const BoxPass& p) {
    const std::size_t rowLength = static_cast<std::size_t>(width) * channels;
    const std::vector<std::uint8_t> zeros(rowLength, 0);
    std::vector<int> sums(rowLength, 0);
    auto row = [&](int y) {
        return (y < 0 || y >= height) ? zeros.data()
                                      : data + static_cast<std::size_t>(y) * rowLength;
    };
    for (int y = -p.radius; y <= p.radius; ++y) {
        const std::uint8_t* r = row(y);
        for (std::size_t i = 0; i < rowLength; ++i) sums[i] += r[i];
    }
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* before = row(y - p.radius - 1);
        const std::uint8_t* after = row(y + p.radius + 1);
        const std::uint8_t* leaving = row(y - p.radius);
        std::uint8_t* o = out + static_cast<std::size_t>(y) * rowLength;
        for (std::size_t i = 0; i < rowLength; ++i) {
            const float edges = static_cast<float>(before[i] + after[i]);
            o[i] = ToByte((static_cast<float>(sums[i]) + p.edge * edges) * p.scale);
            sums[i] += after[i] - leaving[i];
        }
    }
}

// Runs `passes` column passes over `data`, using `spare` (same size) as the other buffer.
template <typename T>
void BlurColumnPasses(std::vector<T>& data, std::vector<T>& spare, int width, int height,
                      int passes, const BoxPass& p) {
    for (int pass = 0; pass < passes; ++pass) {
        BlurColumns(reinterpret_cast<const std::uint8_t*>(data.data()),
                    reinterpret_cast<std::uint8_t*>(spare.data()), width, height, sizeof(T), p);
        data.swap(spare);
    }
}

// Transposes a width x height grid of T (a pixel, or one byte of an alpha plane) in tiles.
template <typename T>
void Transpose(const T* in, T* out, int width, int height) {
    constexpr int kTile = 32;
    for (int y0 = 0; y0 < height; y0 += kTile)
        for (int x0 = 0; x0 < width; x0 += kTile)
            for (int y = y0; y < std::min(y0 + kTile, height); ++y)
                for (int x = x0; x < std::min(x0 + kTile, width); ++x)
                    out[static_cast<std::size_t>(x) * height + y] =
                        in[static_cast<std::size_t>(y) * width + x];
}

// Horizontal passes run as column passes on the transposed grid, so both directions use the
// sequential (and vectorisable) column code.
template <typename T>
void BlurGrid(std::vector<T>& data, int width, int height, const BlurPlan& plan) {
    if (plan.passes == 0 || (!plan.blurX && !plan.blurY)) return;
    std::vector<T> spare(data.size());
    if (plan.blurX) {
        Transpose(data.data(), spare.data(), width, height);
        data.swap(spare);
        BlurColumnPasses(data, spare, height, width, plan.passes, plan.x);
        Transpose(data.data(), spare.data(), height, width);
        data.swap(spare);
    }
    if (plan.blurY) BlurColumnPasses(data, spare, width, height, plan.passes, plan.y);
}

// ---- Pixel helpers -------------------------------------------------------------------------

std::uint32_t Scale(std::uint32_t p, std::uint32_t f) {
    return PackArgb(MulDiv255(Alpha(p), f), MulDiv255(Red(p), f), MulDiv255(Green(p), f),
                    MulDiv255(Blue(p), f));
}

std::uint32_t Over(std::uint32_t top, std::uint32_t bottom) {
    const std::uint32_t inv = 255 - Alpha(top);
    return PackArgb(
        Alpha(top) + MulDiv255(Alpha(bottom), inv), Red(top) + MulDiv255(Red(bottom), inv),
        Green(top) + MulDiv255(Green(bottom), inv), Blue(top) + MulDiv255(Blue(bottom), inv));
}

// `top` drawn over `bottom` only where `bottom` is: the result keeps bottom's alpha.
std::uint32_t Atop(std::uint32_t top, std::uint32_t bottom) {
    const std::uint32_t da = Alpha(bottom), inv = 255 - Alpha(top);
    auto channel = [&](std::uint32_t t, std::uint32_t b) {
        return MulDiv255(t, da) + MulDiv255(b, inv);
    };
    return PackArgb(da, std::min(channel(Red(top), Red(bottom)), da),
                    std::min(channel(Green(top), Green(bottom)), da),
                    std::min(channel(Blue(top), Blue(bottom)), da));
}

Plane AlphaPlane(const Image& image) {
    Plane plane(image.argb.size());
    for (std::size_t i = 0; i < plane.size(); ++i)
        plane[i] = static_cast<std::uint8_t>(Alpha(image.argb[i]));
    return plane;
}

std::uint8_t Sample(const Plane& plane, int width, int height, int x, int y) {
    if (x < 0 || y < 0 || x >= width || y >= height) return 0;
    return plane[static_cast<std::size_t>(y) * width + x];
}

struct Offset {
    int dx = 0;
    int dy = 0;
};

Offset OffsetFor(double angle, double distance) {
    if (!std::isfinite(angle) || !std::isfinite(distance)) return {};
    const double d = std::clamp(distance, -kMaxFilterDistance, kMaxFilterDistance);
    return {static_cast<int>(std::lround(d * std::cos(angle))),
            static_cast<int>(std::lround(d * std::sin(angle)))};
}

std::uint32_t ScaledStrength(int value, double strength) {
    if (!std::isfinite(strength) || strength <= 0.0) return 0;
    return static_cast<std::uint32_t>(std::clamp(value * strength + 0.5, 0.0, 255.0));
}

using Lut = std::array<std::uint32_t, 256>;

Lut SolidLut(std::uint32_t straightColor) {
    const std::uint32_t color = Premultiply(straightColor);
    Lut lut;
    for (std::uint32_t v = 0; v < 256; ++v) lut[v] = Scale(color, v);
    return lut;
}

Lut GradientLut(std::vector<GradientStop> stops) {
    Lut lut{};
    if (stops.empty()) return lut;
    std::stable_sort(stops.begin(), stops.end(), [](const GradientStop& a, const GradientStop& b) {
        return a.ratio < b.ratio;
    });
    std::size_t next = 0;
    for (int i = 0; i < 256; ++i) {
        while (next < stops.size() && stops[next].ratio < i) ++next;
        if (next == 0 || next == stops.size()) {
            lut[i] = Premultiply(stops[next == 0 ? 0 : stops.size() - 1].color);
            continue;
        }
        const GradientStop& a = stops[next - 1];
        const GradientStop& b = stops[next];
        const int span = b.ratio - a.ratio;
        const std::uint32_t t =
            span > 0 ? static_cast<std::uint32_t>((i - a.ratio) * 255 / span) : 255;
        auto mix = [&](int shift) {
            const std::uint32_t ca = (a.color >> shift) & 0xFF, cb = (b.color >> shift) & 0xFF;
            return MulDiv255(ca, 255 - t) + MulDiv255(cb, t);
        };
        lut[i] = Premultiply(PackArgb(mix(24), mix(16), mix(8), mix(0)));
    }
    return lut;
}

// ---- Shadow-like filters: drop shadow, glow, gradient glow -----------------------------------

enum class EdgeType { kInner, kOuter, kFull };

EdgeType EdgeTypeFor(bool inner, bool onTop) {
    if (onTop) return EdgeType::kFull;
    return inner ? EdgeType::kInner : EdgeType::kOuter;
}

struct ShadowParams {
    Lut colors;  // by shadow strength 0-255
    BlurPlan blur;
    Offset offset;
    double strength = 1.0;
    EdgeType type = EdgeType::kOuter;
    bool knockout = false;
    bool compositeSource = true;
};

void ApplyShadow(Image& layer, const ShadowParams& p) {
    const Plane alpha = AlphaPlane(layer);
    Plane blurred = alpha;
    BlurGrid(blurred, layer.width, layer.height, p.blur);
    for (int y = 0; y < layer.height; ++y) {
        std::uint32_t* row = layer.Row(y);
        for (int x = 0; x < layer.width; ++x) {
            const int s =
                Sample(blurred, layer.width, layer.height, x - p.offset.dx, y - p.offset.dy);
            const int amount = p.type == EdgeType::kInner ? 255 - s : s;
            const std::uint32_t shadow = p.colors[ScaledStrength(amount, p.strength)];
            const std::uint32_t a = alpha[static_cast<std::size_t>(y) * layer.width + x];
            std::uint32_t& out = row[x];
            if (p.type == EdgeType::kInner)
                out = (p.knockout || !p.compositeSource) ? Scale(shadow, a) : Atop(shadow, out);
            else if (p.knockout)
                out = Scale(shadow, 255 - a);
            else if (!p.compositeSource)
                out = shadow;
            else
                out = p.type == EdgeType::kFull ? Over(shadow, out) : Over(out, shadow);
        }
    }
}

// ---- Bevels --------------------------------------------------------------------------------

struct BevelParams {
    Lut highlight;  // by amount, for plain bevels
    Lut shadow;
    Lut gradient;  // by ratio, for gradient bevels
    bool useGradient = false;
    BlurPlan blur;
    Offset offset;
    double strength = 1.0;
    EdgeType type = EdgeType::kInner;
    bool knockout = false;
    bool compositeSource = true;
};

// Colour for a signed bevel value: positive faces the light.
std::uint32_t BevelColor(const BevelParams& p, int value) {
    const int v = std::clamp(
        static_cast<int>(std::lround(value * std::clamp(p.strength, 0.0, 255.0))), -255, 255);
    if (p.useGradient) return p.gradient[std::clamp((256 - v) >> 1, 0, 255)];
    return v >= 0 ? p.highlight[v] : p.shadow[-v];
}

void ApplyBevel(Image& layer, const BevelParams& p) {
    const Plane alpha = AlphaPlane(layer);
    Plane blurred = alpha;
    BlurGrid(blurred, layer.width, layer.height, p.blur);
    const int w = layer.width, h = layer.height;
    for (int y = 0; y < h; ++y) {
        std::uint32_t* row = layer.Row(y);
        for (int x = 0; x < w; ++x) {
            const int toward = Sample(blurred, w, h, x + p.offset.dx, y + p.offset.dy);
            const int away = Sample(blurred, w, h, x - p.offset.dx, y - p.offset.dy);
            const std::uint32_t bevel = BevelColor(p, toward - away);
            const std::uint32_t a = alpha[static_cast<std::size_t>(y) * w + x];
            std::uint32_t& out = row[x];
            const bool alone = p.knockout || !p.compositeSource;
            switch (p.type) {
                case EdgeType::kInner:
                    out = alone ? Scale(bevel, a) : Atop(bevel, out);
                    break;
                case EdgeType::kOuter:
                    out = alone ? Scale(bevel, 255 - a) : Over(out, Scale(bevel, 255 - a));
                    break;
                case EdgeType::kFull:
                    out = alone ? bevel : Over(bevel, out);
                    break;
            }
        }
    }
}

// ---- Colour matrix and convolution -------------------------------------------------------

std::uint32_t ApplyMatrix(const std::array<float, 20>& m, std::uint32_t premultiplied) {
    const std::uint32_t s = Unpremultiply(premultiplied);
    const float in[4] = {float(Red(s)), float(Green(s)), float(Blue(s)), float(Alpha(s))};
    std::uint32_t out[4];
    for (int r = 0; r < 4; ++r) {
        const float* row = m.data() + r * 5;
        const float v = row[0] * in[0] + row[1] * in[1] + row[2] * in[2] + row[3] * in[3] + row[4];
        out[r] = std::isfinite(v) ? ToByte(v) : 0;
    }
    return Premultiply(PackArgb(out[3], out[0], out[1], out[2]));
}

void ApplyColorMatrix(Image& layer, const ColorMatrixFilter& f) {
    for (std::uint32_t& p : layer.argb) p = ApplyMatrix(f.matrix, p);
}

FilterError ApplyConvolution(Image& layer, const ConvolutionFilter& f) {
    if (f.columns < 1 || f.rows < 1 || f.columns > kMaxConvolutionSide ||
        f.rows > kMaxConvolutionSide ||
        f.matrix.size() != static_cast<std::size_t>(f.columns) * f.rows)
        return FilterError::kBadParameters;
    const float divisor = (f.divisor == 0.0f || !std::isfinite(f.divisor)) ? 1.0f : f.divisor;
    const float bias = std::isfinite(f.bias) ? f.bias : 0.0f;
    std::vector<std::uint32_t> straight(layer.argb.size());
    std::transform(layer.argb.begin(), layer.argb.end(), straight.begin(), Unpremultiply);
    const std::uint32_t outside = f.defaultColor;
    const int w = layer.width, h = layer.height, cx = f.columns / 2, cy = f.rows / 2;
    auto pixel = [&](int x, int y) {
        if (f.clamp)
            return straight[static_cast<std::size_t>(std::clamp(y, 0, h - 1)) * w +
                            std::clamp(x, 0, w - 1)];
        if (x < 0 || y < 0 || x >= w || y >= h) return outside;
        return straight[static_cast<std::size_t>(y) * w + x];
    };
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            float sum[4] = {0, 0, 0, 0};
            for (int j = 0; j < f.rows; ++j)
                for (int i = 0; i < f.columns; ++i) {
                    const float k = f.matrix[static_cast<std::size_t>(j) * f.columns + i];
                    const std::uint32_t s = pixel(x + i - cx, y + j - cy);
                    sum[0] += k * float(Alpha(s));
                    sum[1] += k * float(Red(s));
                    sum[2] += k * float(Green(s));
                    sum[3] += k * float(Blue(s));
                }
            auto channel = [&](int c) {
                const float v = sum[c] / divisor + bias;
                return std::uint32_t{std::isfinite(v) ? ToByte(v) : std::uint8_t{0}};
            };
            const std::uint32_t a = f.preserveAlpha ? Alpha(pixel(x, y)) : channel(0);
            layer.At(x, y) = Premultiply(PackArgb(a, channel(1), channel(2), channel(3)));
        }
    }
    return FilterError::kNone;
}

// ---- Padding -------------------------------------------------------------------------------

FilterPadding Around(int x, int y) {
    return {x, y, x, y};
}

FilterPadding Shifted(int extentX, int extentY, Offset o) {
    return {std::max(0, extentX - o.dx), std::max(0, extentY - o.dy), std::max(0, extentX + o.dx),
            std::max(0, extentY + o.dy)};
}

template <typename F>
FilterPadding ShadowPadding(const F& f, Offset offset, bool innerOnly) {
    if (innerOnly) return {};
    const BlurPlan plan = PlanBlur(f.blurX, f.blurY, f.passes);
    return Shifted(plan.ExtentX(), plan.ExtentY(), offset);
}

template <typename F>
FilterPadding BevelPadding(const F& f) {
    if (f.inner && !f.onTop) return {};
    const BlurPlan plan = PlanBlur(f.blurX, f.blurY, f.passes);
    const Offset o = OffsetFor(f.angle, f.distance);
    return Around(plan.ExtentX() + std::abs(o.dx), plan.ExtentY() + std::abs(o.dy));
}

FilterPadding Capped(FilterPadding p) {
    auto cap = [](int v) { return std::clamp(v, 0, kMaxFilterPadding); };
    return {cap(p.left), cap(p.top), cap(p.right), cap(p.bottom)};
}

struct PaddingVisitor {
    FilterPadding operator()(const BlurFilter& f) const {
        const BlurPlan plan = PlanBlur(f.blurX, f.blurY, f.passes);
        return Around(plan.ExtentX(), plan.ExtentY());
    }
    FilterPadding operator()(const DropShadowFilter& f) const {
        return ShadowPadding(f, OffsetFor(f.angle, f.distance), f.inner);
    }
    FilterPadding operator()(const GlowFilter& f) const { return ShadowPadding(f, {}, f.inner); }
    FilterPadding operator()(const GradientGlowFilter& f) const {
        return ShadowPadding(f, OffsetFor(f.angle, f.distance), f.inner && !f.onTop);
    }
    FilterPadding operator()(const BevelFilter& f) const { return BevelPadding(f); }
    FilterPadding operator()(const GradientBevelFilter& f) const { return BevelPadding(f); }
    FilterPadding operator()(const ConvolutionFilter&) const { return {}; }
    FilterPadding operator()(const ColorMatrixFilter&) const { return {}; }
};

// ---- Scaling -------------------------------------------------------------------------------

template <typename F>
void ScaleBlur(F& f, double sx, double sy) {
    f.blurX *= sx;
    f.blurY *= sy;
}

template <typename F>
void ScaleOffset(F& f, double sx, double sy) {
    const double dx = f.distance * std::cos(f.angle) * sx;
    const double dy = f.distance * std::sin(f.angle) * sy;
    f.distance = std::hypot(dx, dy);
    if (f.distance > 0.0) f.angle = std::atan2(dy, dx);
}

// ---- Application ---------------------------------------------------------------------------

struct ApplyVisitor {
    Image& layer;

    FilterError operator()(const BlurFilter& f) const {
        BlurImage(layer, f.blurX, f.blurY, f.passes);
        return FilterError::kNone;
    }
    FilterError operator()(const DropShadowFilter& f) const {
        ApplyShadow(layer, {SolidLut(f.color), PlanBlur(f.blurX, f.blurY, f.passes),
                            OffsetFor(f.angle, f.distance), f.strength, EdgeTypeFor(f.inner, false),
                            f.knockout, f.compositeSource});
        return FilterError::kNone;
    }
    FilterError operator()(const GlowFilter& f) const {
        ApplyShadow(layer, {SolidLut(f.color),
                            PlanBlur(f.blurX, f.blurY, f.passes),
                            {},
                            f.strength,
                            EdgeTypeFor(f.inner, false),
                            f.knockout,
                            f.compositeSource});
        return FilterError::kNone;
    }
    FilterError operator()(const GradientGlowFilter& f) const {
        ApplyShadow(layer, {GradientLut(f.stops), PlanBlur(f.blurX, f.blurY, f.passes),
                            OffsetFor(f.angle, f.distance), f.strength,
                            EdgeTypeFor(f.inner, f.onTop), f.knockout, f.compositeSource});
        return FilterError::kNone;
    }
    FilterError operator()(const BevelFilter& f) const {
        BevelParams p;
        p.highlight = SolidLut(f.highlightColor);
        p.shadow = SolidLut(f.shadowColor);
        Configure(p, f);
        ApplyBevel(layer, p);
        return FilterError::kNone;
    }
    FilterError operator()(const GradientBevelFilter& f) const {
        BevelParams p;
        p.gradient = GradientLut(f.stops);
        p.useGradient = true;
        Configure(p, f);
        ApplyBevel(layer, p);
        return FilterError::kNone;
    }
    FilterError operator()(const ConvolutionFilter& f) const { return ApplyConvolution(layer, f); }
    FilterError operator()(const ColorMatrixFilter& f) const {
        ApplyColorMatrix(layer, f);
        return FilterError::kNone;
    }

    template <typename F>
    static void Configure(BevelParams& p, const F& f) {
        p.blur = PlanBlur(f.blurX, f.blurY, f.passes);
        p.offset = OffsetFor(f.angle, f.distance);
        p.strength = std::isfinite(f.strength) ? f.strength : 0.0;
        p.type = EdgeTypeFor(f.inner, f.onTop);
        p.knockout = f.knockout;
        p.compositeSource = f.compositeSource;
    }
};

}  // namespace

FilterPadding PaddingFor(const Filter& filter) {
    return Capped(std::visit(PaddingVisitor{}, filter));
}

FilterPadding PaddingFor(std::span<const Filter> filters) {
    FilterPadding total;
    for (const Filter& f : filters) {
        const FilterPadding p = PaddingFor(f);
        total = Capped({total.left + p.left, total.top + p.top, total.right + p.right,
                        total.bottom + p.bottom});
    }
    return total;
}

Filter ScaledFilter(const Filter& filter, double scaleX, double scaleY) {
    Filter scaled = filter;
    std::visit(
        [&](auto& f) {
            if constexpr (requires { f.blurX; }) ScaleBlur(f, scaleX, scaleY);
            if constexpr (requires { f.distance; }) ScaleOffset(f, scaleX, scaleY);
        },
        scaled);
    return scaled;
}

const char* FilterErrorName(FilterError error) {
    switch (error) {
        case FilterError::kNone:
            return "no error";
        case FilterError::kLayerTooLarge:
            return "layer too large to filter";
        case FilterError::kBadParameters:
            return "bad filter parameters";
    }
    return "unknown error";
}

FilterError ApplyFilter(Image& layer, const Filter& filter, std::int64_t maxLayerPixels) {
    if (layer.Empty()) return FilterError::kNone;
    if (static_cast<std::int64_t>(layer.width) * layer.height > maxLayerPixels)
        return FilterError::kLayerTooLarge;
    if (!layer.IsValid()) return FilterError::kBadParameters;
    return std::visit(ApplyVisitor{layer}, filter);
}

void BlurImage(Image& image, double blurX, double blurY, int passes) {
    if (!image.IsValid()) return;
    BlurGrid(image.argb, image.width, image.height, PlanBlur(blurX, blurY, passes));
    for (std::uint32_t& p : image.argb) {
        const std::uint32_t a = Alpha(p);
        p = PackArgb(a, std::min(Red(p), a), std::min(Green(p), a), std::min(Blue(p), a));
    }
}

}  // namespace media
