#include "player/effects.h"

#include <algorithm>

#include "player/bitreader.h"
#include "player/units.h"

namespace player {
namespace {

double Fixed16(BitReader& in) {
    return FromFixed16(static_cast<std::int32_t>(in.U32()));
}

double Fixed8(BitReader& in) {
    return FromFixed8(in.S16());
}

// RGBA as stored, to straight 0xAARRGGBB.
std::uint32_t Color(BitReader& in) {
    const std::uint32_t r = in.U8(), g = in.U8(), b = in.U8(), a = in.U8();
    return media::PackArgb(a, r, g, b);
}

// Flags byte of the shadow-like filters: inner, knockout, composite source, then either the
// on-top bit and 4 bits of passes, or 5 bits of passes.
struct Flags {
    bool inner = false, knockout = false, compositeSource = true, onTop = false;
    int passes = 1;
};

Flags ReadFlags(BitReader& in, bool withOnTop) {
    Flags f;
    f.inner = in.Flag();
    f.knockout = in.Flag();
    f.compositeSource = in.Flag();
    if (withOnTop) {
        f.onTop = in.Flag();
        f.passes = static_cast<int>(in.UBits(4));
    } else {
        f.passes = static_cast<int>(in.UBits(5));
    }
    return f;
}

template <typename F>
void SetShared(F& f, const Flags& flags) {
    f.inner = flags.inner;
    f.knockout = flags.knockout;
    f.compositeSource = flags.compositeSource;
    f.passes = flags.passes;
}

media::DropShadowFilter ReadDropShadow(BitReader& in) {
    media::DropShadowFilter f;
    f.color = Color(in);
    f.blurX = Fixed16(in);
    f.blurY = Fixed16(in);
    f.angle = Fixed16(in);
    f.distance = Fixed16(in);
    f.strength = Fixed8(in);
    SetShared(f, ReadFlags(in, false));
    return f;
}

media::BlurFilter ReadBlur(BitReader& in) {
    media::BlurFilter f;
    f.blurX = Fixed16(in);
    f.blurY = Fixed16(in);
    f.passes = static_cast<int>(in.UBits(5));
    return f;
}

media::GlowFilter ReadGlow(BitReader& in) {
    media::GlowFilter f;
    f.color = Color(in);
    f.blurX = Fixed16(in);
    f.blurY = Fixed16(in);
    f.strength = Fixed8(in);
    SetShared(f, ReadFlags(in, false));
    return f;
}

media::BevelFilter ReadBevel(BitReader& in) {
    media::BevelFilter f;
    // Movies store the highlight colour first, whatever the published field order says.
    f.highlightColor = Color(in);
    f.shadowColor = Color(in);
    f.blurX = Fixed16(in);
    f.blurY = Fixed16(in);
    f.angle = Fixed16(in);
    f.distance = Fixed16(in);
    f.strength = Fixed8(in);
    const Flags flags = ReadFlags(in, true);
    SetShared(f, flags);
    f.onTop = flags.onTop;
    return f;
}

template <typename F>
F ReadGradientFilter(BitReader& in) {
    F f;
    const int count = in.U8();
    f.stops.resize(static_cast<std::size_t>(count));
    for (auto& stop : f.stops) stop.color = Color(in);
    for (auto& stop : f.stops) stop.ratio = in.U8();
    f.blurX = Fixed16(in);
    f.blurY = Fixed16(in);
    f.angle = Fixed16(in);
    f.distance = Fixed16(in);
    f.strength = Fixed8(in);
    const Flags flags = ReadFlags(in, true);
    SetShared(f, flags);
    f.onTop = flags.onTop;
    return f;
}

media::ConvolutionFilter ReadConvolution(BitReader& in) {
    media::ConvolutionFilter f;
    f.columns = in.U8();
    f.rows = in.U8();
    f.divisor = in.Float();
    f.bias = in.Float();
    const std::size_t count = static_cast<std::size_t>(f.columns) * f.rows;
    if (count * 4 > in.Remaining()) {
        in.Fail();
        return f;
    }
    f.matrix.resize(count);
    for (float& v : f.matrix) v = in.Float();
    f.defaultColor = Color(in);
    in.UBits(6);
    f.clamp = in.Flag();
    f.preserveAlpha = in.Flag();
    return f;
}

media::ColorMatrixFilter ReadColorMatrix(BitReader& in) {
    media::ColorMatrixFilter f;
    for (float& v : f.matrix) v = in.Float();
    return f;
}

}  // namespace

std::optional<media::Filter> DecodeFilter(const Filter& stored) {
    BitReader in(stored.bytes);
    std::optional<media::Filter> filter;
    switch (stored.id) {
        case 0:
            filter = ReadDropShadow(in);
            break;
        case 1:
            filter = ReadBlur(in);
            break;
        case 2:
            filter = ReadGlow(in);
            break;
        case 3:
            filter = ReadBevel(in);
            break;
        case 4:
            filter = ReadGradientFilter<media::GradientGlowFilter>(in);
            break;
        case 5:
            filter = ReadConvolution(in);
            break;
        case 6:
            filter = ReadColorMatrix(in);
            break;
        case 7:
            filter = ReadGradientFilter<media::GradientBevelFilter>(in);
            break;
        default:
            return std::nullopt;
    }
    if (in.Failed()) return std::nullopt;
    return filter;
}

std::vector<media::Filter> DecodeFilters(const std::vector<Filter>& stored, std::size_t most) {
    std::vector<media::Filter> filters;
    for (const Filter& f : stored) {
        if (filters.size() >= most) break;
        if (auto decoded = DecodeFilter(f)) filters.push_back(std::move(*decoded));
    }
    return filters;
}

media::BlendMode BlendModeOf(const DisplayObject& object) {
    return media::BlendModeFromFile(object.blendMode.value_or(0));
}

bool NeedsLayer(const DisplayObject& object) {
    return media::NeedsLayer(BlendModeOf(object)) || (object.filters && !object.filters->empty()) ||
           object.cacheAsBitmap.value_or(0) != 0;
}

bool IsHidden(const DisplayObject& object) {
    return object.visible && *object.visible == 0;
}

}  // namespace player
