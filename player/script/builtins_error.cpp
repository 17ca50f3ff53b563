// Error: an ordinary object whose prototype carries the name and the default message. The
// constructor runs on the object `new` made, so script classes extending Error get a message
// through super() too.
#include "player/script/builtins.h"

namespace player::script {

namespace {

Value ErrorCall(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    if (o && !args.empty() && !args[0].IsUndefined()) vm.Set(o, "message", args[0]);
    return Value();
}

Value ErrorToString(Vm& vm, const Value& self, std::span<const Value>) {
    return Value::Str(vm.ToStringCell(vm.GetMember(self, "message")));
}

}  // namespace

void InstallError(Vm& vm) {
    Realm& realm = vm.GetRealm();
    realm.errorProto = vm.GetHeap().New<Object>(realm.objectProto);
    Object* p = realm.errorProto;
    vm.DefineClass(realm.global, "Error", ErrorCall, nullptr, p);
    // For-in lists them newest first: message, name, toString.
    vm.DefineMethod(p, "toString", ErrorToString);
    vm.DefineValue(p, "name", vm.Str("Error"));
    vm.DefineValue(p, "message", vm.Str("Error"));
}

}  // namespace player::script
