// The classes of what the converter has none of: cameras, microphones, printers and assistive
// technology; Video objects that nothing plays into; and Button's class. Scripts find them as
// a player on a machine without such devices shows them: no camera or microphone to get, a
// print job that does not start, accessibility not active.
#include <string_view>

#include "player/script/builtins.h"
#include "player/script/function.h"

namespace player::script {

namespace {

// A class on _global whose prototype has `methods` doing nothing, defined in the order given
// (scripts enumerate them back newest first).
Object* QuietClass(Vm& vm, std::string_view name, std::initializer_list<const char*> methods,
                   std::uint16_t classFlags = kDontEnum) {
    Realm& realm = vm.GetRealm();
    Object* p = vm.NewObject();
    FunctionObject* ctor = vm.DefineClass(realm.global, name, Nothing, nullptr, p);
    if (Property* own = realm.global->FindOwn(vm.Key(name))) own->flags |= classFlags;
    for (const char* method : methods) vm.DefineMethod(p, method, Nothing, kHidden);
    return ctor;
}

// Camera.get() and Microphone.get(): there is none; names lists none.
void DeviceStatics(Vm& vm, Object* ctor) {
    vm.DefineMethod(ctor, "get", Null);
    vm.DefineValue(ctor, "names", Value::Obj(vm.NewArray()));
}

}  // namespace

void InstallDevices(Vm& vm) {
    Realm& realm = vm.GetRealm();
    DeviceStatics(vm, QuietClass(vm, "Camera",
                                 {"setMode", "setQuality", "setKeyFrameInterval", "setMotionLevel",
                                  "setLoopback", "setCursor"},
                                 kDontEnum | kVersion6));
    DeviceStatics(vm, QuietClass(vm, "Microphone",
                                 {"setSilenceLevel", "setRate", "setGain",
                                  "setUseEchoSuppression", "setCodec", "setFramesPerPacket",
                                  "setEncodeQuality"},
                                 kDontEnum | kVersion6));
    QuietClass(vm, "Video", {"attachVideo", "clear"});
    // Button objects inherit Button.prototype, which shares getDepth with MovieClip's.
    realm.buttonProto = vm.Get(QuietClass(vm, "Button", {}), "prototype").AsObject();
    if (realm.buttonProto && realm.clipProto)
        vm.DefineValue(realm.buttonProto, "getDepth", vm.Get(realm.clipProto, "getDepth"));

    Object* print = QuietClass(vm, "PrintJob", {});
    Object* printProto = vm.Get(print, "prototype").AsObject();
    vm.DefineMethod(printProto, "start", No, kHidden);
    vm.DefineMethod(printProto, "addPage", No, kHidden);
    vm.DefineMethod(printProto, "send", Nothing, kHidden);

    Object* accessibility = vm.NewObject();
    vm.DefineValue(realm.global, "Accessibility", Value::Obj(accessibility));
    vm.DefineMethod(accessibility, "isActive", No, kHidden);
    vm.DefineMethod(accessibility, "sendEvent", Nothing, kHidden);
    vm.DefineMethod(accessibility, "updateProperties", Nothing, kHidden);
}

}  // namespace player::script
