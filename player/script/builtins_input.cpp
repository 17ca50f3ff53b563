// What scripts read of the keyboard (Key.isDown, getCode, getAscii and the key constants) and
// MovieClip's startDrag and stopDrag. The keys and the pointer are the host's: a movie played
// without input sees no key down.
#include "player/script/builtins.h"

namespace player::script {

namespace {

Value IsDown(Vm& vm, const Value&, std::span<const Value> args) {
    if (args.empty()) return Value::Boolean(false);
    const double code = vm.ToNumber(args[0]);
    if (!(code >= 0 && code < 256)) return Value::Boolean(false);
    return Value::Boolean(vm.GetHost().KeyIsDown(static_cast<int>(code)));
}

Value GetCode(Vm& vm, const Value&, std::span<const Value>) {
    return Value::Number(vm.GetHost().LastKeyCode());
}

Value GetAscii(Vm& vm, const Value&, std::span<const Value>) {
    return Value::Number(vm.GetHost().LastKeyAscii());
}

// startDrag([lockCenter [, left, top, right, bottom]])
Value StartDrag(Vm& vm, const Value& self, std::span<const Value> args) {
    ClipHost* clip = vm.ClipOf(self.AsObject());
    if (!clip) return Value();
    std::optional<std::array<double, 4>> bounds;
    if (args.size() >= 5) {
        std::array<double, 4> box{};
        for (int k = 0; k < 4; ++k) box[k] = vm.ToNumber(args[k + 1]);
        bounds = box;
    }
    vm.GetHost().StartDrag(clip, vm.ToBoolean(Arg(args, 0)), bounds);
    return Value();
}

Value StopDrag(Vm& vm, const Value&, std::span<const Value>) {
    vm.GetHost().StopDrag();
    return Value();
}

}  // namespace

void InstallInput(Vm& vm) {
    Realm& realm = vm.GetRealm();
    Value key = vm.Get(realm.global, "Key");
    Object* k = key.AsObject();
    if (!k) {
        k = vm.NewObject();
        vm.DefineValue(realm.global, "Key", Value::Obj(k), kDontEnum);
    }
    vm.DefineMethod(k, "isDown", IsDown);
    vm.DefineMethod(k, "getCode", GetCode);
    vm.DefineMethod(k, "getAscii", GetAscii);
    static constexpr struct {
        const char* name;
        int code;
    } kKeys[] = {{"BACKSPACE", 8}, {"CAPSLOCK", 20}, {"CONTROL", 17}, {"DELETEKEY", 46},
                 {"DOWN", 40},     {"END", 35},      {"ENTER", 13},   {"ESCAPE", 27},
                 {"HOME", 36},     {"INSERT", 45},   {"LEFT", 37},    {"PGDN", 34},
                 {"PGUP", 33},     {"RIGHT", 39},    {"SHIFT", 16},   {"SPACE", 32},
                 {"TAB", 9},       {"UP", 38}};
    for (const auto& entry : kKeys)
        if (vm.Get(k, entry.name).IsUndefined())
            vm.DefineValue(k, entry.name, Value::Number(entry.code),
                           static_cast<std::uint16_t>(kDontEnum | kDontDelete));
    if (realm.clipProto) {
        vm.DefineMethod(realm.clipProto, "startDrag", StartDrag);
        vm.DefineMethod(realm.clipProto, "stopDrag", StopDrag);
    }
}

}  // namespace player::script
