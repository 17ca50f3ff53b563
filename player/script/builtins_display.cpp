// MovieClip's compositing properties and attached bitmaps. blendMode reads back as a name; it takes a name (exactly
// as spelt) or the SWF's number for the mode, and ignores anything else.
#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <cmath>
#include <string_view>

#include "player/script/builtins.h"
#include "player/script/number_text.h"

namespace player::script {

namespace {

// By the SWF's numbering, from 1.
constexpr std::array<std::string_view, 14> kBlendModes = {
    "normal",     "layer", "multiply", "screen", "lighten", "darken", "difference",
    "add",        "subtract", "invert", "alpha", "erase",  "overlay", "hardlight"};

Value ClipGetBlendMode(Vm& vm, const Value& self, std::span<const Value>) {
    Object* o = self.AsObject();
    ClipHost* clip = o ? vm.ClipOf(o) : nullptr;
    if (!clip) return Value();
    const int mode = clip->GetBlendMode();
    return vm.Str(std::string(mode >= 1 && mode <= 14 ? kBlendModes[mode - 1] : kBlendModes[0]));
}

// The mode a value names, or 0 for none.
int BlendModeOf(const Value& v) {
    if (v.IsNullish()) return 1;
    if (v.IsString()) {
        for (std::size_t i = 0; i < kBlendModes.size(); ++i) {
            if (v.Text() == kBlendModes[i]) return static_cast<int>(i) + 1;
        }
        return 0;
    }
    if (!v.IsNumber()) return 0;
    const double n = v.AsNumber();
    if (!std::isfinite(n) || n < 0) return 0;
    // Stored in a byte, as in the file.
    const int mode = static_cast<int>(std::fmod(std::trunc(n), 256.0));
    return mode >= 1 && mode <= 14 ? mode : 0;
}

Value ClipSetBlendMode(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    ClipHost* clip = o ? vm.ClipOf(o) : nullptr;
    if (!clip) return Value();
    if (const int mode = BlendModeOf(Arg(args, 0))) clip->SetBlendMode(mode);
    return Value();
}

// attachBitmap(bitmap, depth [, pixelSnapping, smoothing]): the bitmap shown at that depth.
Value AttachBitmap(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    ClipHost* clip = o ? vm.ClipOf(o) : nullptr;
    if (!clip || args.size() < 2) return Value();
    std::shared_ptr<const media::Image> pixels = BitmapPixels(args[0]);
    const double depth = vm.ToNumber(args[1]);
    if (!pixels || !std::isfinite(depth)) return Value();
    const bool smoothing = args.size() > 3 && vm.ToBoolean(args[3]);
    // Converting the arguments may have run scripts that took the clip away.
    if ((clip = vm.ClipOf(o)))
        clip->AttachBitmap(std::move(pixels), ClampToInt(std::trunc(depth)), smoothing);
    return Value();
}

Value ClipGetOpaqueBackground(Vm& vm, const Value& self, std::span<const Value>) {
    Object* o = self.AsObject();
    ClipHost* clip = o ? vm.ClipOf(o) : nullptr;
    if (!clip) return Value();
    const std::optional<std::uint32_t> rgb = clip->GetOpaqueBackground();
    return rgb ? Value::Number(*rgb) : Value();
}

// A number sets the colour (its low 24 bits); null or undefined takes it away.
Value ClipSetOpaqueBackground(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    ClipHost* clip = o ? vm.ClipOf(o) : nullptr;
    if (!clip) return Value();
    const Value v = Arg(args, 0);
    if (v.IsNullish()) {
        clip->SetOpaqueBackground(std::nullopt);
        return Value();
    }
    const std::uint32_t rgb = vm.ToUint32(v) & 0xffffffu;
    if ((clip = vm.ClipOf(o))) clip->SetOpaqueBackground(rgb);
    return Value();
}

Value ClipGetCacheAsBitmap(Vm& vm, const Value& self, std::span<const Value>) {
    Object* o = self.AsObject();
    ClipHost* clip = o ? vm.ClipOf(o) : nullptr;
    return clip ? Value::Boolean(clip->GetCacheAsBitmap()) : Value();
}

Value ClipSetCacheAsBitmap(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    ClipHost* clip = o ? vm.ClipOf(o) : nullptr;
    if (!clip) return Value();
    const bool on = vm.ToBoolean(Arg(args, 0));
    if ((clip = vm.ClipOf(o))) clip->SetCacheAsBitmap(on);
    return Value();
}

Value ClipGetScrollRect(Vm& vm, const Value& self, std::span<const Value>) {
    Object* o = self.AsObject();
    ClipHost* clip = o ? vm.ClipOf(o) : nullptr;
    if (!clip) return Value();
    const std::optional<std::array<double, 4>> r = clip->GetScrollRect();
    Object* proto = vm.GetRealm().rectangleProto;
    if (!r || !proto) return Value();
    const Value ctor = vm.Get(proto, "constructor");
    const Value rect[4] = {Value::Number((*r)[0]), Value::Number((*r)[1]),
                           Value::Number((*r)[2]), Value::Number((*r)[3])};
    return vm.Construct(ctor, rect);
}

// Anything with x, y, width and height sets the rectangle; anything else takes it away.
Value ClipSetScrollRect(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    if (!o || !vm.ClipOf(o)) return Value();
    Object* r = Arg(args, 0).AsObject();
    std::optional<std::array<double, 4>> rect;
    if (r) {
        std::array<double, 4> v{};
        const char* names[4] = {"x", "y", "width", "height"};
        for (int i = 0; i < 4; ++i) {
            const double n = vm.ToNumber(vm.Get(r, names[i]));
            // Kept to where the player's coordinates reach.
            v[i] = std::isfinite(n) ? std::clamp(n, -107374182.0, 107374182.0) : 0;
        }
        rect = v;
    }
    if (ClipHost* clip = vm.ClipOf(o)) clip->SetScrollRect(rect);
    return Value();
}

// setMask(clip): the clip shows only where the other clip covers it; null or anything that
// is not a clip takes the mask away.
Value SetMask(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    ClipHost* clip = o ? vm.ClipOf(o) : nullptr;
    if (!clip || args.empty()) return Value();
    Object* other = args[0].AsObject();
    ClipHost* mask = other ? vm.ClipOf(other) : nullptr;
    clip->SetMask(mask == clip ? nullptr : mask);
    return Value();
}

}  // namespace

void InstallDisplay(Vm& vm) {
    Object* clipProto = vm.GetRealm().clipProto;
    if (!clipProto) return;
    DefineNativeAccessor(vm, clipProto, "blendMode", ClipGetBlendMode, ClipSetBlendMode,
                   kDontEnum | kVersion8);
    DefineNativeAccessor(vm, clipProto, "opaqueBackground", ClipGetOpaqueBackground,
                         ClipSetOpaqueBackground, kDontEnum | kVersion8);
    DefineNativeAccessor(vm, clipProto, "cacheAsBitmap", ClipGetCacheAsBitmap,
                         ClipSetCacheAsBitmap, kDontEnum | kVersion8);
    DefineNativeAccessor(vm, clipProto, "scrollRect", ClipGetScrollRect, ClipSetScrollRect,
                         kDontEnum | kVersion8);
    vm.DefineMethod(clipProto, "attachBitmap", AttachBitmap, kDontEnum | kVersion8);
    vm.DefineMethod(clipProto, "setMask", SetMask);
}

}  // namespace player::script
