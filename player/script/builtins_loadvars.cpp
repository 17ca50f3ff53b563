// LoadVars: an ordinary object whose enumerable properties are the variables it sends and the
// ones it decodes from URL-encoded text.
#include "player/script/builtins.h"
#include "player/script/number_text.h"

namespace player::script {

namespace {

// Called on an object (super() in a subclass) there is nothing to set up: the methods work
// on any object.
Value LoadVarsCall(Vm&, const Value&, std::span<const Value>) {
    return Value();
}

Value LoadVarsConstruct(Vm& vm, const Value&, std::span<const Value>) {
    return Value::Obj(vm.GetHeap().New<Object>(vm.GetRealm().loadVarsProto));
}

Value Decode(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    if (!o || args.empty()) return Value();
    for (const auto& [name, value] : DecodeVariables(vm.ToString(args[0]))) {
        if (vm.Stopped()) break;
        vm.Set(o, name, vm.Str(value));
    }
    return Value();
}

// Every enumerable variable, in the order for-in visits them.
Value LoadVarsToString(Vm& vm, const Value& self, std::span<const Value>) {
    Object* o = self.AsObject();
    if (!o) return Value();
    Variables variables;
    std::size_t bytes = 0;
    for (const Value& key : vm.EnumerableKeys(o)) {
        std::string name = vm.ToString(key);
        std::string value = vm.ToString(vm.Get(o, name));
        bytes += name.size() + value.size();
        // Escaping at most triples the text.
        if (bytes * 3 > vm.Limits().maxStringBytes) {
            vm.Stop("a LoadVars object's text grew past " +
                    std::to_string(vm.Limits().maxStringBytes) + " bytes");
            return Value();
        }
        variables.emplace_back(std::move(name), std::move(value));
    }
    return vm.Str(EncodeVariables(variables));
}

// The default onData: the text decoded and onLoad(true), or onLoad(false) when nothing came.
Value LoadVarsOnData(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    if (!o) return Value();
    const Value src = Arg(args, 0);
    if (src.IsUndefined()) {
        const Value failed[] = {Value::Boolean(false)};
        vm.CallMethod(self, "onLoad", failed);
        return Value();
    }
    const Value text[] = {src};
    vm.CallMethod(self, "decode", text);
    vm.Set(o, "loaded", Value::Boolean(true));
    const Value done[] = {Value::Boolean(true)};
    vm.CallMethod(self, "onLoad", done);
    return Value();
}

Value Load(Vm& vm, const Value& self, std::span<const Value> args) {
    return LoadText(vm, self, "LoadVars", vm.ToString(Arg(args, 0)));
}

Value SendAndLoad(Vm& vm, const Value&, std::span<const Value> args) {
    return LoadText(vm, Arg(args, 1), "LoadVars", vm.ToString(Arg(args, 0)));
}

Value Send(Vm& vm, const Value&, std::span<const Value> args) {
    vm.GetHost().Problem("a script sent variables to \"" + vm.ToString(Arg(args, 0)) +
                         "\"; nothing is sent");
    return Value::Boolean(false);
}

}  // namespace

void InstallLoadVars(Vm& vm) {
    Realm& realm = vm.GetRealm();
    realm.loadVarsProto = vm.GetHeap().New<Object>(realm.objectProto);
    Object* p = realm.loadVarsProto;
    vm.DefineClass(realm.global, "LoadVars", LoadVarsCall, LoadVarsConstruct, p);
    vm.DefineMethod(p, "decode", Decode);
    vm.DefineMethod(p, "toString", LoadVarsToString);
    vm.DefineMethod(p, "onData", LoadVarsOnData);
    vm.DefineMethod(p, "onLoad", Nothing);
    vm.DefineMethod(p, "load", Load);
    vm.DefineMethod(p, "send", Send);
    vm.DefineMethod(p, "sendAndLoad", SendAndLoad);
    vm.DefineMethod(p, "addRequestHeader", Nothing);
    vm.DefineMethod(p, "getBytesLoaded", Nothing);
    vm.DefineMethod(p, "getBytesTotal", Nothing);
    vm.DefineValue(p, "contentType", vm.Str("application/x-www-form-urlencoded"));
}

}  // namespace player::script
