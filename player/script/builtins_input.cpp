// MovieClip's startDrag and stopDrag: the dragged clip follows the host's pointer.
#include "player/script/builtins.h"

namespace player::script {

namespace {

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
    if (realm.clipProto) {
        vm.DefineMethod(realm.clipProto, "startDrag", StartDrag);
        vm.DefineMethod(realm.clipProto, "stopDrag", StopDrag);
    }
}

}  // namespace player::script
