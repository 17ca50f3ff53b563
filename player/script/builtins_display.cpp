// MovieClip's compositing properties. blendMode reads back as a name; it takes a name (exactly
// as spelt) or the SWF's number for the mode, and ignores anything else.
#include <array>
#include <cmath>
#include <string_view>

#include "player/script/builtins.h"

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

}  // namespace

void InstallDisplay(Vm& vm) {
    Object* clipProto = vm.GetRealm().clipProto;
    if (!clipProto) return;
    DefineNativeAccessor(vm, clipProto, "blendMode", ClipGetBlendMode, ClipSetBlendMode,
                   kDontEnum | kVersion8);
}

}  // namespace player::script
