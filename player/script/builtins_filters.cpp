// flash.filters and MovieClip.filters. A filter object keeps its fields as the player would
// (angles in degrees within a turn, alphas in 255ths, blurs and strengths within their ranges)
// and a clip keeps its filters as the SWF stores them, so the renderer draws filters set by
// scripts exactly as those placed by the timeline. Reading a clip's filters makes new objects
// from what the clip holds; setting them copies: changing a filter later changes no clip.
#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "player/script/builtins.h"
#include "player/script/filter_pixels.h"

namespace player::script {

namespace {

// SWF filter ids; kDisplacement is drawn by nothing and never stored.
enum FilterKind : int {
    kDropShadow = 0,
    kBlur = 1,
    kGlow = 2,
    kBevel = 3,
    kGradientGlow = 4,
    kConvolution = 5,
    kColorMatrix = 6,
    kGradientBevel = 7,
    kDisplacement = 8,
    kKinds = 9,
};

constexpr std::array<const char*, kKinds> kClassNames = {
    "DropShadowFilter",  "BlurFilter",        "GlowFilter",
    "BevelFilter",       "GradientGlowFilter", "ConvolutionFilter",
    "ColorMatrixFilter", "GradientBevelFilter", "DisplacementMapFilter"};

enum class Type : std::uint8_t {
    kNumber,   // as given
    kAngle,    // degrees, within (-360, 360)
    kColor,    // 24-bit RGB
    kAlpha,    // 0..1 in 255ths
    kQuality,  // whole passes 0..15
    kRange,    // 0..255 (blurs, strengths)
    kBool,
    kType,     // "inner", "outer" or "full"
    kColors,   // gradient colours
    kAlphas,   // gradient alphas
    kRatios,   // gradient ratios 0..255
    kMatrix,   // a colour matrix or a convolution's
    kSide,     // a convolution matrix's columns or rows, 0..15
    kBitmap,   // a BitmapData (displacement maps)
    kPoint,    // a whole-pixel point
    kMode,     // "wrap", "clamp", "ignore" or "color"
    kWhole,    // a whole number
    kScale,    // -65535..65535
};

struct Field {
    FilterKind kind;
    const char* name;
    Type type;
    double initial;
};

// Every filter's fields, each kind's listed in the order its constructor takes them.
constexpr Field kFields[] = {
    {kDropShadow, "distance", Type::kNumber, 4},
    {kDropShadow, "angle", Type::kAngle, 45},
    {kDropShadow, "color", Type::kColor, 0},
    {kDropShadow, "alpha", Type::kAlpha, 1},
    {kDropShadow, "blurX", Type::kRange, 4},
    {kDropShadow, "blurY", Type::kRange, 4},
    {kDropShadow, "strength", Type::kRange, 1},
    {kDropShadow, "quality", Type::kQuality, 1},
    {kDropShadow, "inner", Type::kBool, 0},
    {kDropShadow, "knockout", Type::kBool, 0},
    {kDropShadow, "hideObject", Type::kBool, 0},
    {kBlur, "blurX", Type::kRange, 4},
    {kBlur, "blurY", Type::kRange, 4},
    {kBlur, "quality", Type::kQuality, 1},
    {kGlow, "color", Type::kColor, 0xff0000},
    {kGlow, "alpha", Type::kAlpha, 1},
    {kGlow, "blurX", Type::kRange, 6},
    {kGlow, "blurY", Type::kRange, 6},
    {kGlow, "strength", Type::kRange, 2},
    {kGlow, "quality", Type::kQuality, 1},
    {kGlow, "inner", Type::kBool, 0},
    {kGlow, "knockout", Type::kBool, 0},
    {kBevel, "distance", Type::kNumber, 4},
    {kBevel, "angle", Type::kAngle, 45},
    {kBevel, "highlightColor", Type::kColor, 0xffffff},
    {kBevel, "highlightAlpha", Type::kAlpha, 1},
    {kBevel, "shadowColor", Type::kColor, 0},
    {kBevel, "shadowAlpha", Type::kAlpha, 1},
    {kBevel, "blurX", Type::kRange, 4},
    {kBevel, "blurY", Type::kRange, 4},
    {kBevel, "strength", Type::kRange, 1},
    {kBevel, "quality", Type::kQuality, 1},
    {kBevel, "type", Type::kType, 0},
    {kBevel, "knockout", Type::kBool, 0},
    {kGradientGlow, "distance", Type::kNumber, 4},
    {kGradientGlow, "angle", Type::kAngle, 45},
    {kGradientGlow, "colors", Type::kColors, 0},
    {kGradientGlow, "alphas", Type::kAlphas, 0},
    {kGradientGlow, "ratios", Type::kRatios, 0},
    {kGradientGlow, "blurX", Type::kRange, 4},
    {kGradientGlow, "blurY", Type::kRange, 4},
    {kGradientGlow, "strength", Type::kRange, 1},
    {kGradientGlow, "quality", Type::kQuality, 1},
    {kGradientGlow, "type", Type::kType, 0},
    {kGradientGlow, "knockout", Type::kBool, 0},
    {kConvolution, "matrixX", Type::kSide, 0},
    {kConvolution, "matrixY", Type::kSide, 0},
    {kConvolution, "matrix", Type::kMatrix, 0},
    {kConvolution, "divisor", Type::kNumber, 1},
    {kConvolution, "bias", Type::kNumber, 0},
    {kConvolution, "preserveAlpha", Type::kBool, 1},
    {kConvolution, "clamp", Type::kBool, 1},
    {kConvolution, "color", Type::kColor, 0},
    {kConvolution, "alpha", Type::kAlpha, 0},
    {kColorMatrix, "matrix", Type::kMatrix, 0},
    {kGradientBevel, "distance", Type::kNumber, 4},
    {kGradientBevel, "angle", Type::kAngle, 45},
    {kGradientBevel, "colors", Type::kColors, 0},
    {kGradientBevel, "alphas", Type::kAlphas, 0},
    {kGradientBevel, "ratios", Type::kRatios, 0},
    {kGradientBevel, "blurX", Type::kRange, 4},
    {kGradientBevel, "blurY", Type::kRange, 4},
    {kGradientBevel, "strength", Type::kRange, 1},
    {kGradientBevel, "quality", Type::kQuality, 1},
    {kGradientBevel, "type", Type::kType, 0},
    {kGradientBevel, "knockout", Type::kBool, 0},
    {kDisplacement, "mapBitmap", Type::kBitmap, 0},
    {kDisplacement, "mapPoint", Type::kPoint, 0},
    {kDisplacement, "componentX", Type::kWhole, 0},
    {kDisplacement, "componentY", Type::kWhole, 0},
    {kDisplacement, "scaleX", Type::kScale, 0},
    {kDisplacement, "scaleY", Type::kScale, 0},
    {kDisplacement, "mode", Type::kMode, 0},
    {kDisplacement, "color", Type::kColor, 0},
    {kDisplacement, "alpha", Type::kAlpha, 0},
};
constexpr std::size_t kFieldCount = std::size(kFields);

constexpr std::array<const char*, 3> kTypes = {"inner", "outer", "full"};
constexpr std::array<const char*, 4> kModes = {"wrap", "clamp", "ignore", "color"};
// Gradient filters hold at most this many colours; a matrix at most 15 by 15.
constexpr std::size_t kMaxGradientStops = 16;
constexpr int kMaxMatrixSide = 15;

class FilterObject final : public Object {
  public:
    FilterObject(Object* proto, FilterKind kind) : Object(proto, ObjectKind::kNative), kind(kind) {
        for (std::size_t i = 0; i < kFieldCount; ++i) number[i] = kFields[i].initial;
        if (kind == kColorMatrix) matrix = {1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0};
    }
    FilterKind kind;
    std::array<double, kFieldCount> number{};
    std::array<Value, kFieldCount> value{};  // kBitmap fields
    double pointX = 0, pointY = 0;            // kPoint
    // Gradient stops: the first `stops` entries of each list are the filter's. The lists keep
    // what lies past that, which a longer list of colours brings back.
    std::array<double, kMaxGradientStops> colors{}, alphas{}, ratios{};
    std::size_t stops = 0;
    std::vector<double> matrix;

    void Trace(Marker& marker) const override {
        Object::Trace(marker);
        for (const Value& v : value) v.Mark(marker);
    }
    std::size_t Size() const override {
        return Object::Size() + sizeof(*this) - sizeof(Object) +
               matrix.size() * sizeof(double);
    }
};

FilterObject* ThisFilter(const Value& v) {
    Object* o = v.AsObject();
    return o && o->Kind() == ObjectKind::kNative ? dynamic_cast<FilterObject*>(o) : nullptr;
}

// ---- Fields -----------------------------------------------------------------------------------

double Finite(double v) { return std::isfinite(v) ? v : 0; }

double ToAlpha(double v) { return std::floor(std::clamp(Finite(v), 0.0, 1.0) * 255) / 255; }

std::uint32_t ToRgb(Vm& vm, const Value& v) { return vm.ToUint32(v) & 0xffffff; }

// Array elements as numbers; at most `cap` of them.
std::vector<double> NumbersOf(Vm& vm, const Value& v, std::size_t cap) {
    std::vector<double> out;
    // Anything with a length will do: a string gives that many NaNs.
    Object* a = v.IsObject() || v.IsString() ? vm.ToObject(v) : nullptr;
    if (!a) return out;
    const double length = vm.ToNumber(vm.Get(a, "length"));
    if (!(length > 0)) return out;
    const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(std::min(length, 1e6)), cap);
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i) out.push_back(vm.ToNumber(vm.Get(a, std::to_string(i))));
    return out;
}

Value ArrayOf(Vm& vm, std::span<const double> numbers) {
    std::vector<Value> elements;
    elements.reserve(numbers.size());
    for (double n : numbers) elements.push_back(Value::Number(n));
    return Value::Obj(vm.NewArray(elements));
}

Value StopsOf(Vm& vm, const FilterObject* f, const std::array<double, kMaxGradientStops>& list) {
    return ArrayOf(vm, std::span<const double>(list.data(), f->stops));
}

std::size_t FieldIndex(FilterKind kind, std::string_view name);

// A convolution's matrix has at least a value for each of its columns times rows; what is
// missing is 0.
void FitConvolution(FilterObject* f) {
    const auto columns = static_cast<std::size_t>(f->number[FieldIndex(kConvolution, "matrixX")]);
    const auto rows = static_cast<std::size_t>(f->number[FieldIndex(kConvolution, "matrixY")]);
    if (f->matrix.size() < columns * rows) f->matrix.resize(columns * rows, 0);
}

void Store(Vm& vm, FilterObject* f, std::size_t i, const Value& v) {
    double& slot = f->number[i];
    switch (kFields[i].type) {
        case Type::kNumber: slot = vm.ToNumber(v); break;
        case Type::kAngle: slot = std::fmod(Finite(vm.ToNumber(v)), 360.0); break;
        case Type::kColor: slot = ToRgb(vm, v); break;
        case Type::kAlpha: slot = ToAlpha(vm.ToNumber(v)); break;
        case Type::kQuality:
            slot = std::clamp(std::trunc(Finite(vm.ToNumber(v))), 0.0, 15.0);
            break;
        case Type::kRange: slot = std::clamp(Finite(vm.ToNumber(v)), 0.0, 255.0); break;
        case Type::kBool: slot = vm.ToBoolean(v) ? 1 : 0; break;
        case Type::kType: {
            const std::string t = v.IsString() ? v.Text() : std::string();
            slot = t == "inner" ? 0 : t == "outer" ? 1 : 2;
            break;
        }
        // The colours decide how many stops there are; alphas fill those stops (1 where the list
        // is short, rounded to 255ths); ratios fill them too and a shorter list cuts them down.
        // Null and undefined change nothing.
        case Type::kColors: {
            if (v.IsNullish()) break;
            const std::vector<double> given = NumbersOf(vm, v, kMaxGradientStops);
            f->stops = given.size();
            for (std::size_t k = 0; k < given.size(); ++k)
                f->colors[k] = static_cast<double>(
                    static_cast<std::uint32_t>(static_cast<std::int64_t>(Finite(given[k]))) &
                    0xffffff);
            break;
        }
        case Type::kAlphas: {
            if (v.IsNullish()) break;
            const std::vector<double> given = NumbersOf(vm, v, kMaxGradientStops);
            for (std::size_t k = 0; k < f->stops; ++k)
                f->alphas[k] = k < given.size()
                                   ? std::round(std::clamp(Finite(given[k]), 0.0, 1.0) * 255) / 255
                                   : 1;
            break;
        }
        case Type::kRatios: {
            if (v.IsNullish()) break;
            const std::vector<double> given = NumbersOf(vm, v, kMaxGradientStops);
            f->stops = std::min(f->stops, given.size());
            for (std::size_t k = 0; k < f->stops; ++k)
                f->ratios[k] = std::clamp(std::trunc(Finite(given[k])), 0.0, 255.0);
            break;
        }
        case Type::kMatrix:
            if (v.IsNullish()) break;
            if (f->kind == kColorMatrix) {
                std::vector<double> m = NumbersOf(vm, v, 20);
                m.resize(20, std::nan(""));
                f->matrix = std::move(m);
            } else {
                f->matrix = NumbersOf(vm, v, kMaxMatrixSide * kMaxMatrixSide);
                FitConvolution(f);
            }
            break;
        case Type::kSide:
            slot = std::clamp(std::trunc(Finite(vm.ToNumber(v))), 0.0, 15.0);
            FitConvolution(f);
            break;
        case Type::kBitmap: {
            // Only a bitmap will do; anything else leaves the one there.
            Object* o = v.AsObject();
            Object* display = nullptr;
            if (Object* flash = vm.Get(vm.GetRealm().global, "flash").AsObject())
                display = vm.Get(flash, "display").AsObject();
            Object* ctor = display ? vm.Get(display, "BitmapData").AsObject() : nullptr;
            if (o && ctor && vm.InstanceOf(o, ctor)) f->value[i] = v;
            break;
        }
        case Type::kPoint: {
            Object* o = v.AsObject();
            // A point missing either coordinate is the origin.
            const double x = o ? vm.ToNumber(vm.Get(o, "x")) : 0;
            const double y = o ? vm.ToNumber(vm.Get(o, "y")) : 0;
            const bool whole = std::isfinite(x) && std::isfinite(y);
            f->pointX = whole ? std::trunc(x) : 0;
            f->pointY = whole ? std::trunc(y) : 0;
            break;
        }
        case Type::kMode: {
            const std::string m = v.IsString() ? v.Text() : std::string();
            slot = 0;
            for (std::size_t k = 0; k < kModes.size(); ++k) {
                if (m == kModes[k]) slot = static_cast<double>(k);
            }
            break;
        }
        case Type::kWhole:
            slot = std::clamp(std::trunc(Finite(vm.ToNumber(v))), -2147483648.0, 2147483647.0);
            break;
        case Type::kScale: slot = std::clamp(Finite(vm.ToNumber(v)), -65535.0, 65535.0); break;
    }
}

Value Load(Vm& vm, const FilterObject* f, std::size_t i) {
    const double n = f->number[i];
    switch (kFields[i].type) {
        case Type::kBool: return Value::Boolean(n != 0);
        case Type::kType: return vm.Str(kTypes[static_cast<std::size_t>(std::clamp(n, 0.0, 2.0))]);
        case Type::kColors: return StopsOf(vm, f, f->colors);
        case Type::kAlphas: return StopsOf(vm, f, f->alphas);
        case Type::kRatios: return StopsOf(vm, f, f->ratios);
        case Type::kMatrix: return ArrayOf(vm, f->matrix);
        case Type::kBitmap: return f->value[i];
        case Type::kMode: return vm.Str(kModes[static_cast<std::size_t>(std::clamp(n, 0.0, 3.0))]);
        case Type::kPoint: {
            Object* proto = vm.GetRealm().pointProto;
            const Value ctor = proto ? vm.Get(proto, "constructor") : Value();
            const Value xy[2] = {Value::Number(f->pointX), Value::Number(f->pointY)};
            return vm.Construct(ctor, xy);
        }
        default: return Value::Number(n);
    }
}

template <std::size_t I>
Value GetField(Vm& vm, const Value& self, std::span<const Value>) {
    FilterObject* f = ThisFilter(self);
    return f && f->kind == kFields[I].kind ? Load(vm, f, I) : Value();
}

template <std::size_t I>
Value SetField(Vm& vm, const Value& self, std::span<const Value> args) {
    FilterObject* f = ThisFilter(self);
    if (f && f->kind == kFields[I].kind) Store(vm, f, I, Arg(args, 0));
    return Value();
}

// ---- Classes ----------------------------------------------------------------------------------

Object* ProtoOf(Vm& vm, FilterKind kind) {
    Object* global = vm.GetRealm().global;
    Object* flash = vm.Get(global, "flash").AsObject();
    Object* filters = flash ? vm.Get(flash, "filters").AsObject() : nullptr;
    Object* ctor = filters ? vm.Get(filters, kClassNames[kind]).AsObject() : nullptr;
    return ctor ? vm.Get(ctor, "prototype").AsObject() : nullptr;
}

FilterObject* NewFilter(Vm& vm, FilterKind kind) {
    Object* proto = ProtoOf(vm, kind);
    return vm.GetHeap().New<FilterObject>(proto ? proto : vm.GetRealm().objectProto, kind);
}

template <FilterKind K>
Value Construct(Vm& vm, const Value& self, std::span<const Value> args) {
    FilterObject* f = ThisFilter(self);
    if (!f) return self;
    std::size_t a = 0;
    for (std::size_t i = 0; i < kFieldCount && a < args.size(); ++i) {
        if (kFields[i].kind != K) continue;
        const Value& given = args[a++];
        // A colour matrix filter made with nothing useful keeps the identity.
        if (K == kColorMatrix && given.IsNullish()) continue;
        Store(vm, f, i, given);
    }
    return self;
}

template <FilterKind K>
Object* Make(Vm& vm, Object* proto) {
    return vm.GetHeap().New<FilterObject>(proto, K);
}

Value Clone(Vm& vm, const Value& self, std::span<const Value>) {
    FilterObject* f = ThisFilter(self);
    if (!f) return Value();
    FilterObject* copy = vm.GetHeap().New<FilterObject>(f->Proto(), f->kind);
    copy->number = f->number;
    copy->value = f->value;
    copy->pointX = f->pointX;
    copy->pointY = f->pointY;
    copy->colors = f->colors;
    copy->alphas = f->alphas;
    copy->ratios = f->ratios;
    copy->stops = f->stops;
    copy->matrix = f->matrix;
    return Value::Obj(copy);
}

Value BaseConstruct(Vm&, const Value& self, std::span<const Value>) { return self; }

// ---- The stored form ----------------------------------------------------------------------------

class Writer {
  public:
    void U8(std::uint32_t v) { bytes.push_back(static_cast<std::uint8_t>(v)); }
    void U16(std::uint32_t v) {
        U8(v & 0xff);
        U8((v >> 8) & 0xff);
    }
    void U32(std::uint32_t v) {
        U16(v & 0xffff);
        U16(v >> 16);
    }
    void Fixed16(double v) {
        U32(static_cast<std::uint32_t>(static_cast<std::int32_t>(
            std::clamp(std::round(Finite(v) * 65536), -2147483648.0, 2147483647.0))));
    }
    void Fixed8(double v) {
        U16(static_cast<std::uint16_t>(
            static_cast<std::int16_t>(std::clamp(std::round(Finite(v) * 256), -32768.0, 32767.0))));
    }
    void Float(double v) { U32(std::bit_cast<std::uint32_t>(static_cast<float>(v))); }
    void Rgba(double rgb, double alpha) {
        const auto c = static_cast<std::uint32_t>(rgb);
        U8((c >> 16) & 0xff);
        U8((c >> 8) & 0xff);
        U8(c & 0xff);
        U8(static_cast<std::uint32_t>(std::lround(std::clamp(alpha, 0.0, 1.0) * 255)));
    }
    std::vector<std::uint8_t> bytes;
};

class Reader {
  public:
    explicit Reader(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
    std::uint32_t U8() {
        if (pos_ >= bytes_.size()) {
            failed = true;
            return 0;
        }
        return bytes_[pos_++];
    }
    std::uint32_t U16() { return U8() | (U8() << 8); }
    std::uint32_t U32() { return U16() | (U16() << 16); }
    double Fixed16() { return static_cast<std::int32_t>(U32()) / 65536.0; }
    double Fixed8() { return static_cast<std::int16_t>(U16()) / 256.0; }
    double Float() { return std::bit_cast<float>(U32()); }
    void Rgba(double* rgb, double* alpha) {
        const std::uint32_t r = U8(), g = U8(), b = U8(), a = U8();
        *rgb = (r << 16) | (g << 8) | b;
        *alpha = a / 255.0;
    }
    bool failed = false;

  private:
    const std::vector<std::uint8_t>& bytes_;
    std::size_t pos_ = 0;
};

// The slot of a kind's field by name.
std::size_t FieldIndex(FilterKind kind, std::string_view name) {
    for (std::size_t i = 0; i < kFieldCount; ++i) {
        if (kFields[i].kind == kind && name == kFields[i].name) return i;
    }
    return 0;
}

constexpr double kRadians = std::numbers::pi / 180;

// The flags byte of the shadow-like filters.
std::uint32_t Flags(bool inner, bool knockout, bool composite, bool onTop, bool withOnTop,
                    int passes) {
    std::uint32_t f = (inner ? 0x80 : 0) | (knockout ? 0x40 : 0) | (composite ? 0x20 : 0);
    if (withOnTop) return f | (onTop ? 0x10 : 0) | static_cast<std::uint32_t>(passes & 0x0f);
    return f | static_cast<std::uint32_t>(passes & 0x1f);
}

bool Encode(const FilterObject* f, FilterData* out) {
    auto n = [f](std::string_view name) { return f->number[FieldIndex(f->kind, name)]; };
    Writer w;
    switch (f->kind) {
        case kDropShadow:
            w.Rgba(n("color"), n("alpha"));
            w.Fixed16(n("blurX"));
            w.Fixed16(n("blurY"));
            w.Fixed16(n("angle") * kRadians);
            w.Fixed16(n("distance"));
            w.Fixed8(n("strength"));
            w.U8(Flags(n("inner") != 0, n("knockout") != 0, n("hideObject") == 0, false, false,
                       static_cast<int>(n("quality"))));
            break;
        case kBlur:
            w.Fixed16(n("blurX"));
            w.Fixed16(n("blurY"));
            w.U8(static_cast<std::uint32_t>(n("quality")) << 3);
            break;
        case kGlow:
            w.Rgba(n("color"), n("alpha"));
            w.Fixed16(n("blurX"));
            w.Fixed16(n("blurY"));
            w.Fixed8(n("strength"));
            w.U8(Flags(n("inner") != 0, n("knockout") != 0, true, false, false,
                       static_cast<int>(n("quality"))));
            break;
        case kBevel: {
            w.Rgba(n("highlightColor"), n("highlightAlpha"));
            w.Rgba(n("shadowColor"), n("shadowAlpha"));
            w.Fixed16(n("blurX"));
            w.Fixed16(n("blurY"));
            w.Fixed16(n("angle") * kRadians);
            w.Fixed16(n("distance"));
            w.Fixed8(n("strength"));
            const double type = n("type");
            w.U8(Flags(type != 1, n("knockout") != 0, true, type == 2, true,
                       static_cast<int>(n("quality"))));
            break;
        }
        case kGradientGlow:
        case kGradientBevel: {
            w.U8(static_cast<std::uint32_t>(f->stops));
            for (std::size_t i = 0; i < f->stops; ++i) w.Rgba(f->colors[i], f->alphas[i]);
            for (std::size_t i = 0; i < f->stops; ++i)
                w.U8(static_cast<std::uint32_t>(f->ratios[i]));
            w.Fixed16(n("blurX"));
            w.Fixed16(n("blurY"));
            w.Fixed16(n("angle") * kRadians);
            w.Fixed16(n("distance"));
            w.Fixed8(n("strength"));
            const double type = n("type");
            w.U8(Flags(type != 1, n("knockout") != 0, true, type == 2, true,
                       static_cast<int>(n("quality"))));
            break;
        }
        case kConvolution: {
            const int columns = static_cast<int>(n("matrixX")), rows = static_cast<int>(n("matrixY"));
            w.U8(static_cast<std::uint32_t>(columns));
            w.U8(static_cast<std::uint32_t>(rows));
            w.Float(n("divisor"));
            w.Float(n("bias"));
            for (int i = 0; i < columns * rows; ++i) {
                const auto k = static_cast<std::size_t>(i);
                w.Float(k < f->matrix.size() ? f->matrix[k] : 0);
            }
            w.Rgba(n("color"), n("alpha"));
            w.U8((n("clamp") != 0 ? 0x02 : 0) | (n("preserveAlpha") != 0 ? 0x01 : 0));
            break;
        }
        case kColorMatrix:
            for (std::size_t i = 0; i < 20; ++i) w.Float(i < f->matrix.size() ? f->matrix[i] : 0);
            break;
        default:
            return false;
    }
    out->id = static_cast<std::uint8_t>(f->kind);
    out->bytes = std::move(w.bytes);
    return true;
}

// A filter object from the stored form; null for one that cannot be read.
FilterObject* Decode(Vm& vm, const FilterData& data) {
    if (data.id > kGradientBevel) return nullptr;
    const FilterKind kind = static_cast<FilterKind>(data.id);
    FilterObject* f = NewFilter(vm, kind);
    auto slot = [f, kind](std::string_view name) -> double& {
        return f->number[FieldIndex(kind, name)];
    };
    Reader r(data.bytes);
    auto passes = [&](std::uint32_t flags, bool withOnTop) {
        slot("quality") = withOnTop ? (flags & 0x0f) : (flags & 0x1f);
    };
    switch (kind) {
        case kDropShadow: {
            r.Rgba(&slot("color"), &slot("alpha"));
            slot("blurX") = r.Fixed16();
            slot("blurY") = r.Fixed16();
            slot("angle") = r.Fixed16() / kRadians;
            slot("distance") = r.Fixed16();
            slot("strength") = r.Fixed8();
            const std::uint32_t flags = r.U8();
            slot("inner") = (flags & 0x80) ? 1 : 0;
            slot("knockout") = (flags & 0x40) ? 1 : 0;
            slot("hideObject") = (flags & 0x20) ? 0 : 1;
            passes(flags, false);
            break;
        }
        case kBlur:
            slot("blurX") = r.Fixed16();
            slot("blurY") = r.Fixed16();
            slot("quality") = r.U8() >> 3;
            break;
        case kGlow: {
            r.Rgba(&slot("color"), &slot("alpha"));
            slot("blurX") = r.Fixed16();
            slot("blurY") = r.Fixed16();
            slot("strength") = r.Fixed8();
            const std::uint32_t flags = r.U8();
            slot("inner") = (flags & 0x80) ? 1 : 0;
            slot("knockout") = (flags & 0x40) ? 1 : 0;
            passes(flags, false);
            break;
        }
        case kBevel:
        case kGradientGlow:
        case kGradientBevel: {
            if (kind == kBevel) {
                r.Rgba(&slot("highlightColor"), &slot("highlightAlpha"));
                r.Rgba(&slot("shadowColor"), &slot("shadowAlpha"));
            } else {
                // A file may hold more stops than a filter object keeps: the rest are read past.
                const std::size_t count = r.U8();
                f->stops = std::min(count, kMaxGradientStops);
                double rgb = 0, alpha = 0;
                for (std::size_t i = 0; i < count && !r.failed; ++i) {
                    r.Rgba(&rgb, &alpha);
                    if (i < f->stops) {
                        f->colors[i] = rgb;
                        f->alphas[i] = alpha;
                    }
                }
                for (std::size_t i = 0; i < count && !r.failed; ++i) {
                    const double ratio = r.U8();
                    if (i < f->stops) f->ratios[i] = ratio;
                }
            }
            slot("blurX") = r.Fixed16();
            slot("blurY") = r.Fixed16();
            slot("angle") = r.Fixed16() / kRadians;
            slot("distance") = r.Fixed16();
            slot("strength") = r.Fixed8();
            const std::uint32_t flags = r.U8();
            slot("knockout") = (flags & 0x40) ? 1 : 0;
            slot("type") = (flags & 0x10) ? 2 : (flags & 0x80) ? 0 : 1;
            passes(flags, true);
            break;
        }
        case kConvolution: {
            const std::uint32_t columns = r.U8(), rows = r.U8();
            slot("matrixX") = columns;
            slot("matrixY") = rows;
            slot("divisor") = r.Float();
            slot("bias") = r.Float();
            const std::size_t count = static_cast<std::size_t>(columns) * rows;
            for (std::size_t i = 0; i < count && !r.failed; ++i) f->matrix.push_back(r.Float());
            r.Rgba(&slot("color"), &slot("alpha"));
            const std::uint32_t flags = r.U8();
            slot("clamp") = (flags & 0x02) ? 1 : 0;
            slot("preserveAlpha") = (flags & 0x01) ? 1 : 0;
            break;
        }
        case kColorMatrix:
            f->matrix.clear();
            for (int i = 0; i < 20 && !r.failed; ++i) f->matrix.push_back(r.Float());
            break;
        default:
            return nullptr;
    }
    return r.failed ? nullptr : f;
}

// ---- MovieClip.filters ------------------------------------------------------------------------

Value ClipGetFilters(Vm& vm, const Value& self, std::span<const Value>) {
    Object* o = self.AsObject();
    ClipHost* clip = o ? vm.ClipOf(o) : nullptr;
    if (!clip) return Value();
    std::vector<Value> list;
    for (const FilterData& data : clip->GetFilters()) {
        if (FilterObject* f = Decode(vm, data)) list.push_back(Value::Obj(f));
    }
    return Value::Obj(vm.NewArray(list));
}

Value ClipSetFilters(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    if (!o || !vm.ClipOf(o)) return Value();
    Object* list = Arg(args, 0).AsObject();
    if (!list) return Value();
    std::vector<FilterData> filters;
    const double length = vm.ToNumber(vm.Get(list, "length"));
    // A clip draws few filters (the rest are dropped): a long list is looked at only as far
    // as a few times that many.
    const std::size_t most = vm.Limits().maxFiltersPerClip;
    const std::size_t count =
        length > 0 ? static_cast<std::size_t>(std::min(length, 4.0 * double(most))) : 0;
    for (std::size_t i = 0; i < count && filters.size() < most; ++i) {
        FilterData data;
        if (const FilterObject* f = ThisFilter(vm.Get(list, std::to_string(i))); f && Encode(f, &data))
            filters.push_back(std::move(data));
    }
    // Reading the list may have run scripts that took the clip away.
    if (ClipHost* clip = vm.ClipOf(o)) clip->SetFilters(std::move(filters));
    return Value();
}

template <std::size_t... I>
constexpr std::array<std::pair<NativeFn, NativeFn>, kFieldCount> Accessors(
    std::index_sequence<I...>) {
    return {std::pair<NativeFn, NativeFn>{GetField<I>, SetField<I>}...};
}
constexpr auto kAccessors = Accessors(std::make_index_sequence<kFieldCount>{});

// The order each kind's prototype holds its fields in, which is the order a for-in lists them
// in (it differs from the constructor's).
constexpr std::array<std::array<const char*, 12>, kKinds> kListed = {{
    {"distance", "angle", "color", "alpha", "quality", "inner", "knockout", "blurX", "blurY",
     "strength", "hideObject"},
    {"blurX", "blurY", "quality"},
    {"color", "alpha", "quality", "inner", "knockout", "blurX", "blurY", "strength"},
    {"distance", "angle", "highlightColor", "highlightAlpha", "shadowColor", "shadowAlpha",
     "quality", "strength", "knockout", "blurX", "blurY", "type"},
    {"distance", "angle", "colors", "alphas", "ratios", "blurX", "blurY", "quality", "strength",
     "knockout", "type"},
    {"matrixX", "matrixY", "matrix", "divisor", "bias", "preserveAlpha", "clamp", "color",
     "alpha"},
    {"matrix"},
    {"distance", "angle", "colors", "alphas", "ratios", "blurX", "blurY", "quality", "strength",
     "knockout", "type"},
    {"mapBitmap", "mapPoint", "componentX", "componentY", "scaleX", "scaleY", "mode", "color",
     "alpha"},
}};

void DefineFields(Vm& vm, FilterKind kind, Object* proto) {
    for (const char* name : kListed[kind]) {
        if (!name) break;
        const std::size_t i = FieldIndex(kind, name);
        DefineNativeAccessor(vm, proto, name, kAccessors[i].first, kAccessors[i].second, 0);
    }
    vm.DefineMethod(proto, "clone", Clone, 0);
}

template <FilterKind K>
void DefineFilterClass(Vm& vm, Object* filters, Object* baseProto, std::array<Object*, kKinds>& protos) {
    Object* p = vm.NewObject();
    p->SetProto(baseProto);
    vm.DefineClass(filters, kClassNames[K], Construct<K>, nullptr, p);
    vm.GetRealm().nativeClasses.emplace_back(p, Make<K>);
    DefineFields(vm, K, p);
    protos[K] = p;
}

}  // namespace

std::optional<media::Filter> MediaFilterOf(const Value& v) {
    const FilterObject* f = ThisFilter(v);
    if (!f) return std::nullopt;
    auto n = [f](std::string_view name) { return Finite(f->number[FieldIndex(f->kind, name)]); };
    auto color = [&](const char* rgb, const char* alpha) {
        const auto a = static_cast<std::uint32_t>(std::clamp(n(alpha), 0.0, 1.0) * 255 + 0.5);
        return (a << 24) | static_cast<std::uint32_t>(std::clamp(n(rgb), 0.0, 16777215.0));
    };
    const int passes = static_cast<int>(std::clamp(n("quality"), 0.0, 15.0));
    auto stops = [f] {
        std::vector<media::GradientStop> out;
        for (std::size_t i = 0; i < f->stops; ++i) {
            const auto a =
                static_cast<std::uint32_t>(std::clamp(Finite(f->alphas[i]), 0.0, 1.0) * 255 + 0.5);
            out.push_back(
                {(a << 24) |
                     static_cast<std::uint32_t>(std::clamp(Finite(f->colors[i]), 0.0, 16777215.0)),
                 static_cast<std::uint8_t>(std::clamp(Finite(f->ratios[i]), 0.0, 255.0))});
        }
        return out;
    };
    // The shadow-like filters' common fields; a type of 0 is inner, 1 outer, 2 full.
    auto shared = [&](auto& out) {
        out.blurX = n("blurX");
        out.blurY = n("blurY");
        out.strength = n("strength");
        out.knockout = n("knockout") != 0;
        out.passes = passes;
        if constexpr (requires { out.onTop; }) {
            out.inner = n("type") != 1;
            out.onTop = n("type") == 2;
        } else {
            out.inner = n("inner") != 0;
        }
    };
    switch (f->kind) {
        case kDropShadow: {
            media::DropShadowFilter out;
            shared(out);
            out.color = color("color", "alpha");
            out.angle = n("angle") * kRadians;
            out.distance = n("distance");
            out.compositeSource = n("hideObject") == 0;
            return out;
        }
        case kBlur:
            return media::BlurFilter{n("blurX"), n("blurY"), passes};
        case kGlow: {
            media::GlowFilter out;
            shared(out);
            out.color = color("color", "alpha");
            return out;
        }
        case kBevel: {
            media::BevelFilter out;
            shared(out);
            out.highlightColor = color("highlightColor", "highlightAlpha");
            out.shadowColor = color("shadowColor", "shadowAlpha");
            out.angle = n("angle") * kRadians;
            out.distance = n("distance");
            return out;
        }
        case kGradientGlow: {
            media::GradientGlowFilter out;
            shared(out);
            out.stops = stops();
            out.angle = n("angle") * kRadians;
            out.distance = n("distance");
            return out;
        }
        case kGradientBevel: {
            media::GradientBevelFilter out;
            shared(out);
            out.stops = stops();
            out.angle = n("angle") * kRadians;
            out.distance = n("distance");
            return out;
        }
        case kConvolution: {
            media::ConvolutionFilter out;
            out.columns = static_cast<int>(std::clamp(n("matrixX"), 0.0, double(kMaxMatrixSide)));
            out.rows = static_cast<int>(std::clamp(n("matrixY"), 0.0, double(kMaxMatrixSide)));
            out.matrix.assign(static_cast<std::size_t>(out.columns * out.rows), 0.0f);
            for (std::size_t i = 0; i < out.matrix.size() && i < f->matrix.size(); ++i)
                out.matrix[i] = static_cast<float>(Finite(f->matrix[i]));
            out.divisor = static_cast<float>(n("divisor"));
            out.bias = static_cast<float>(n("bias"));
            out.defaultColor = color("color", "alpha");
            out.clamp = n("clamp") != 0;
            out.preserveAlpha = n("preserveAlpha") != 0;
            return out;
        }
        case kColorMatrix: {
            media::ColorMatrixFilter out;
            for (std::size_t i = 0; i < 20; ++i)
                out.matrix[i] = static_cast<float>(i < f->matrix.size() ? Finite(f->matrix[i]) : 0);
            return out;
        }
        default:
            return std::nullopt;
    }
}

void InstallFilters(Vm& vm) {
    Realm& realm = vm.GetRealm();
    Object* flash = vm.Get(realm.global, "flash").AsObject();
    if (!flash) {
        flash = vm.NewObject();
        vm.DefineValue(realm.global, "flash", Value::Obj(flash));
    }
    Object* filters = vm.NewObject();
    vm.DefineValue(flash, "filters", Value::Obj(filters));

    Object* base = vm.NewObject();
    vm.DefineClass(filters, "BitmapFilter", BaseConstruct, nullptr, base);
    vm.DefineMethod(base, "clone", Clone, 0);

    std::array<Object*, kKinds> protos{};
    DefineFilterClass<kDropShadow>(vm, filters, base, protos);
    DefineFilterClass<kBlur>(vm, filters, base, protos);
    DefineFilterClass<kGlow>(vm, filters, base, protos);
    DefineFilterClass<kBevel>(vm, filters, base, protos);
    DefineFilterClass<kGradientGlow>(vm, filters, base, protos);
    DefineFilterClass<kConvolution>(vm, filters, base, protos);
    DefineFilterClass<kColorMatrix>(vm, filters, base, protos);
    DefineFilterClass<kGradientBevel>(vm, filters, base, protos);
    DefineFilterClass<kDisplacement>(vm, filters, base, protos);

    if (realm.clipProto) {
        DefineNativeAccessor(vm, realm.clipProto, "filters", ClipGetFilters, ClipSetFilters,
                             kDontEnum | kVersion8);
    }
}

}  // namespace player::script
