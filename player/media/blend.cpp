#include "player/media/blend.h"

#include <algorithm>
#include <cstdlib>

namespace media {
namespace {

// Colour term B(Sc, Dc) of a separable mode, in premultiplied values scaled by 255
// (so the result lies in 0 .. 255 * 255).
template <BlendMode kMode>
int BlendTerm(int sc, int sa, int dc, int da) {
    switch (kMode) {
        case BlendMode::kMultiply:
            return sc * dc;
        case BlendMode::kScreen:
            return sc * da + dc * sa - sc * dc;
        case BlendMode::kLighten:
            return std::max(sc * da, dc * sa);
        case BlendMode::kDarken:
            return std::min(sc * da, dc * sa);
        case BlendMode::kDifference:
            return std::abs(sc * da - dc * sa);
        case BlendMode::kHardlight:
            return 2 * sc <= sa ? 2 * sc * dc : sa * da - 2 * (da - dc) * (sa - sc);
        case BlendMode::kOverlay:
            return 2 * dc <= da ? 2 * sc * dc : sa * da - 2 * (da - dc) * (sa - sc);
        default:
            return sc * 255;  // normal: the source colour over whatever lies below
    }
}

int Div255(int v) {
    return (v + 127) / 255;
}

// Add and subtract are plain sums of the premultiplied colours where the destination is, not
// blends weighted by the source's coverage: a half-transparent source subtracts half its colour
// from all of the destination. Where there is no destination the source shows as it is.
template <BlendMode kMode>
int Arithmetic(int sc, int dc, int da, int a) {
    const int covered = kMode == BlendMode::kAdd ? std::min(dc * 255 + sc * da, a * 255)
                                                 : std::max(dc * 255 - sc * da, 0);
    return Div255(sc * (255 - da) + covered);
}

template <BlendMode kMode>
std::uint32_t BlendSeparable(std::uint32_t s, std::uint32_t d) {
    const int sa = static_cast<int>(Alpha(s));
    if (sa == 0) return d;
    const int da = static_cast<int>(Alpha(d));
    const int a = sa + da - Div255(sa * da);
    auto channel = [&](int shift) {
        const int sc = static_cast<int>((s >> shift) & 0xFF);
        const int dc = static_cast<int>((d >> shift) & 0xFF);
        const int v =
            kMode == BlendMode::kAdd || kMode == BlendMode::kSubtract
                ? Arithmetic<kMode>(sc, dc, da, a)
                : Div255(BlendTerm<kMode>(sc, sa, dc, da) + sc * (255 - da) + dc * (255 - sa));
        return static_cast<std::uint32_t>(std::clamp(v, 0, a));
    };
    return PackArgb(static_cast<std::uint32_t>(a), channel(16), channel(8), channel(0));
}

std::uint32_t SourceOver(std::uint32_t s, std::uint32_t d) {
    const std::uint32_t inv = 255 - Alpha(s);
    if (inv == 0) return s;
    if (inv == 255) return d;
    return PackArgb(Alpha(s) + MulDiv255(Alpha(d), inv), Red(s) + MulDiv255(Red(d), inv),
                    Green(s) + MulDiv255(Green(d), inv), Blue(s) + MulDiv255(Blue(d), inv));
}

std::uint32_t Scale(std::uint32_t p, std::uint32_t f) {
    return PackArgb(MulDiv255(Alpha(p), f), MulDiv255(Red(p), f), MulDiv255(Green(p), f),
                    MulDiv255(Blue(p), f));
}

// The destination's colour inverted (in premultiplied terms Da - Dc), mixed in by Sa.
std::uint32_t Invert(std::uint32_t s, std::uint32_t d) {
    const std::uint32_t sa = Alpha(s), da = Alpha(d);
    auto channel = [&](std::uint32_t dc) {
        return MulDiv255(da - dc, sa) + MulDiv255(dc, 255 - sa);
    };
    return PackArgb(da, channel(Red(d)), channel(Green(d)), channel(Blue(d)));
}

template <typename Op>
void ForEachOverlap(PixelView dest, const Image& source, int x, int y, Op op) {
    const int x0 = std::max(0, x), y0 = std::max(0, y);
    const int x1 =
        static_cast<int>(std::min<std::int64_t>(dest.width, std::int64_t{x} + source.width));
    const int y1 =
        static_cast<int>(std::min<std::int64_t>(dest.height, std::int64_t{y} + source.height));
    for (int dy = y0; dy < y1; ++dy) {
        std::uint32_t* d = dest.pixels + static_cast<std::size_t>(dy) * dest.stride;
        const std::uint32_t* s = source.Row(dy - y);
        for (int dx = x0; dx < x1; ++dx) d[dx] = op(s[dx - x], d[dx]);
    }
}

}  // namespace

BlendMode BlendModeFromFile(std::uint8_t value) {
    if (value < 1 || value > 14) return BlendMode::kNormal;
    return static_cast<BlendMode>(value);
}

bool NeedsLayer(BlendMode mode) {
    return mode != BlendMode::kNormal;
}

void Blend(Image& dest, const Image& source, int x, int y, BlendMode mode) {
    if (!dest.IsValid()) return;
    Blend(PixelView{dest.argb.data(), dest.width, dest.height, dest.width}, source, x, y, mode);
}

void Blend(PixelView dest, const Image& source, int x, int y, BlendMode mode) {
    if (!dest.pixels || dest.width <= 0 || dest.height <= 0 || dest.stride < dest.width ||
        !source.IsValid())
        return;
    switch (mode) {
        case BlendMode::kNormal:
        case BlendMode::kLayer:
            ForEachOverlap(dest, source, x, y, SourceOver);
            break;
        case BlendMode::kMultiply:
            ForEachOverlap(dest, source, x, y, BlendSeparable<BlendMode::kMultiply>);
            break;
        case BlendMode::kScreen:
            ForEachOverlap(dest, source, x, y, BlendSeparable<BlendMode::kScreen>);
            break;
        case BlendMode::kLighten:
            ForEachOverlap(dest, source, x, y, BlendSeparable<BlendMode::kLighten>);
            break;
        case BlendMode::kDarken:
            ForEachOverlap(dest, source, x, y, BlendSeparable<BlendMode::kDarken>);
            break;
        case BlendMode::kDifference:
            ForEachOverlap(dest, source, x, y, BlendSeparable<BlendMode::kDifference>);
            break;
        case BlendMode::kAdd:
            ForEachOverlap(dest, source, x, y, BlendSeparable<BlendMode::kAdd>);
            break;
        case BlendMode::kSubtract:
            ForEachOverlap(dest, source, x, y, BlendSeparable<BlendMode::kSubtract>);
            break;
        case BlendMode::kOverlay:
            ForEachOverlap(dest, source, x, y, BlendSeparable<BlendMode::kOverlay>);
            break;
        case BlendMode::kHardlight:
            ForEachOverlap(dest, source, x, y, BlendSeparable<BlendMode::kHardlight>);
            break;
        case BlendMode::kInvert:
            ForEachOverlap(dest, source, x, y, Invert);
            break;
        case BlendMode::kAlpha:
            ForEachOverlap(dest, source, x, y,
                           [](std::uint32_t s, std::uint32_t d) { return Scale(d, Alpha(s)); });
            break;
        case BlendMode::kErase:
            ForEachOverlap(dest, source, x, y, [](std::uint32_t s, std::uint32_t d) {
                return Scale(d, 255 - Alpha(s));
            });
            break;
    }
}

}  // namespace media
