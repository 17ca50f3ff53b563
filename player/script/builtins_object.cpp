// Object and Function, the machine's object factories, and the installer of every built-in.
#include <cctype>
#include <cmath>

#include "player/script/builtins.h"

namespace player::script {

// ---- Factories ---------------------------------------------------------------------------------

Object* Vm::NewObject() { return heap_.New<Object>(realm_.objectProto); }

ArrayObject* Vm::NewArray() { return heap_.New<ArrayObject>(realm_.arrayProto); }

ArrayObject* Vm::NewArray(std::span<const Value> elements) {
    ArrayObject* array = NewArray();
    SetElements(array, elements);
    return array;
}

FunctionObject* Vm::NewNative(NativeFn call, NativeFn construct) {
    return heap_.New<FunctionObject>(realm_.functionProto, call, construct);
}

void Vm::DefineValue(Object* on, std::string_view name, Value value, std::uint16_t flags) {
    heap_.Grew(sizeof(Property) + name.size());
    on->Put(Intern(name), Key(name), value, flags);
}

FunctionObject* Vm::DefineMethod(Object* on, std::string_view name, NativeFn call,
                                 std::uint16_t flags) {
    FunctionObject* f = NewNative(call);
    DefineValue(on, name, Value::Obj(f), flags);
    return f;
}

FunctionObject* Vm::DefineClass(Object* on, std::string_view name, NativeFn call,
                                NativeFn construct, Object* proto) {
    FunctionObject* f = NewNative(call, construct);
    DefineValue(f, "prototype", Value::Obj(proto), kDontEnum | kDontDelete);
    DefineValue(proto, "constructor", Value::Obj(f), kDontEnum);
    DefineValue(on, name, Value::Obj(f), kDontEnum);
    return f;
}

namespace {

// ---- Object ----------------------------------------------------------------------------------

Value ObjectCall(Vm& vm, const Value&, std::span<const Value> args) {
    const Value v = Arg(args, 0);
    if (Object* o = vm.ToObject(v)) return Value::Obj(o);
    return Value::Obj(vm.NewObject());
}

Value ObjectToString(Vm& vm, const Value& self, std::span<const Value>) {
    Object* o = self.AsObject();
    if (o && o->Kind() == ObjectKind::kFunction) return vm.Str("[type Function]");
    return vm.Str("[object Object]");
}

Value ObjectValueOf(Vm&, const Value& self, std::span<const Value>) { return self; }

Value HasOwnProperty(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    return Value::Boolean(o && vm.HasOwnProperty(o, vm.ToString(Arg(args, 0))));
}

Value PropertyIsEnumerable(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    if (!o) return Value::Boolean(false);
    const Property* p = o->FindOwn(vm.Key(vm.ToString(Arg(args, 0))));
    return Value::Boolean(p && !(p->flags & kDontEnum));
}

Value IsPrototypeOf(Vm&, const Value& self, std::span<const Value> args) {
    Object* proto = self.AsObject();
    Object* o = Arg(args, 0).AsObject();
    if (!proto || !o) return Value::Boolean(false);
    int hops = 0;
    for (Object* p = o->Proto(); p && hops < 256; p = p->Proto(), ++hops)
        if (p == proto) return Value::Boolean(true);
    return Value::Boolean(false);
}

Value AddProperty(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    const std::string name = vm.ToString(Arg(args, 0));
    Object* getter = Arg(args, 1).AsObject();
    Object* setter = Arg(args, 2).AsObject();
    const bool setterOk = Arg(args, 2).IsNull() ||
                          (setter && setter->Kind() == ObjectKind::kFunction);
    if (!o || name.empty() || !getter || getter->Kind() != ObjectKind::kFunction || !setterOk)
        return Value::Boolean(false);
    std::string key = vm.Key(name);
    // A plain value the property had stays stored beside the pair.
    Property* existing = o->FindOwn(key);
    const std::uint16_t flags = existing ? existing->flags : 0;
    const Value kept = existing && !existing->IsAccessor() ? existing->value : Value();
    Property& p = o->Put(vm.Intern(name), std::move(key), kept, flags);
    p.getter = getter;
    p.setter = setter;
    vm.GetHeap().Grew(sizeof(Property));
    return Value::Boolean(true);
}

Value Watch(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    Object* callback = Arg(args, 1).AsObject();
    if (!o || !callback || callback->Kind() != ObjectKind::kFunction || args.empty())
        return Value::Boolean(false);
    o->SetWatcher(vm.Key(vm.ToString(args[0])), Watcher{callback, Arg(args, 2)});
    return Value::Boolean(true);
}

Value Unwatch(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    return Value::Boolean(o && !args.empty() && o->RemoveWatcher(vm.Key(vm.ToString(args[0]))));
}

// Names in the registry of movies before version 7 match without regard to case.
std::string RegistryName(std::string name, int movieVersion) {
    if (movieVersion < 7)
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

Object*& RegistryFor(Realm& realm, int movieVersion) {
    return movieVersion < 7 ? realm.foldedClassRegistry : realm.classRegistry;
}

// Object.registerClass(exportName, constructor): a function registers the symbol's class,
// null (or undefined) forgets it; any other value, or fewer than two arguments, is refused.
// The registry is the one of the calling movie's version.
Value RegisterClass(Vm& vm, const Value&, std::span<const Value> args) {
    if (args.size() < 2) return Value::Boolean(false);
    Object* constructor = args[1].AsObject();
    if (!args[1].IsNullish() && (!constructor || constructor->Kind() != ObjectKind::kFunction))
        return Value::Boolean(false);
    const int version = vm.ActivationVersion();
    Object*& registry = RegistryFor(vm.GetRealm(), version);
    if (!registry) registry = vm.GetHeap().New<Object>(nullptr);
    std::string name = RegistryName(vm.ToString(args[0]), version);
    if (!constructor) {
        registry->RemoveOwn(name);
        return Value::Boolean(true);
    }
    vm.GetHeap().Grew(sizeof(Property) + name.size());
    const String* cell = vm.NewString(name);
    registry->Put(cell, std::move(name), args[1]);
    return Value::Boolean(true);
}

// ---- Function --------------------------------------------------------------------------------

Value FunctionCallMethod(Vm& vm, const Value& self, std::span<const Value> args) {
    const Value thisArg = Arg(args, 0);
    return vm.Call(self, thisArg.IsNullish() ? Value() : thisArg,
                   args.empty() ? args : args.subspan(1));
}

Value FunctionApply(Vm& vm, const Value& self, std::span<const Value> args) {
    const Value thisArg = Arg(args, 0);
    std::vector<Value> list;
    if (Object* array = Arg(args, 1).AsObject()) {
        const double n = vm.ToNumber(vm.Get(array, "length"));
        const std::uint32_t count =
            n > 0 ? static_cast<std::uint32_t>(std::min<double>(n, vm.Limits().maxArrayLength)) : 0;
        for (std::uint32_t i = 0; i < count; ++i) list.push_back(vm.Get(array, std::to_string(i)));
    }
    return vm.Call(self, thisArg.IsNullish() ? Value() : thisArg, list);
}

Value FunctionConstruct(Vm& vm, const Value&, std::span<const Value> args) {
    return args.empty() ? Value::Obj(vm.GetHeap().New<Object>(nullptr)) : args[0];
}

// Function(x) answers x unchanged; Function() a bare object without a prototype.
Value FunctionCall(Vm& vm, const Value&, std::span<const Value> args) {
    if (!args.empty()) return args[0];
    Object* bare = vm.NewObject();
    bare->SetProto(nullptr);
    return Value::Obj(bare);
}

}  // namespace

Object* RegisteredClass(Vm& vm, std::string_view exportName, int movieVersion) {
    Object* registry = RegistryFor(vm.GetRealm(), movieVersion);
    const Property* p =
        registry ? registry->FindOwn(RegistryName(std::string(exportName), movieVersion))
                 : nullptr;
    return p ? p->value.AsObject() : nullptr;
}

void InstallObjectAndFunction(Vm& vm) {
    Realm& realm = vm.GetRealm();
    Heap& heap = vm.GetHeap();
    realm.objectProto = heap.New<Object>(nullptr);
    realm.functionProto = heap.New<Object>(realm.objectProto);
    realm.global = heap.New<Object>(nullptr);  // _global has no prototype

    Object* op = realm.objectProto;
    realm.objectCtor = vm.DefineClass(realm.global, "Object", ObjectCall, ObjectCall, op);
    vm.DefineMethod(op, "toString", ObjectToString);
    vm.DefineMethod(op, "toLocaleString", ObjectToString);
    vm.DefineMethod(op, "valueOf", ObjectValueOf);
    vm.DefineMethod(op, "hasOwnProperty", HasOwnProperty, kDontEnum | kVersion6);
    vm.DefineMethod(op, "isPropertyEnumerable", PropertyIsEnumerable, kDontEnum | kVersion6);
    vm.DefineMethod(op, "isPrototypeOf", IsPrototypeOf, kDontEnum | kVersion6);
    vm.DefineMethod(op, "addProperty", AddProperty);
    vm.DefineMethod(op, "watch", Watch);
    vm.DefineMethod(op, "unwatch", Unwatch);
    vm.DefineMethod(realm.objectCtor, "registerClass", RegisterClass);

    Object* fp = realm.functionProto;
    realm.functionCtor =
        vm.DefineClass(realm.global, "Function", FunctionCall, FunctionConstruct, fp);
    vm.DefineMethod(fp, "call", FunctionCallMethod, kDontEnum | kVersion6);
    vm.DefineMethod(fp, "apply", FunctionApply, kDontEnum | kVersion6);
}

void InstallBuiltins(Vm& vm) {
    InstallObjectAndFunction(vm);
    InstallPrimitives(vm);
    InstallArray(vm);
    InstallMath(vm);
    InstallGlobals(vm);
    InstallBroadcaster(vm);
    InstallMovieClip(vm);
    InstallLoading(vm);
    InstallDrawing(vm);
    InstallColorAndGeom(vm);
    InstallDate(vm);
    InstallError(vm);
    InstallXml(vm);
    InstallLoadVars(vm);
    InstallText(vm);
    InstallStageAndInput(vm);
    InstallSystem(vm);
    InstallDisplay(vm);
    InstallBitmapData(vm);
    InstallExternalInterface(vm);
    InstallNet(vm);
    InstallDevices(vm);
    InstallFilters(vm);
    InstallInput(vm);
    // The flash package came with version 8; older movies do not see it.
    Realm& realm = vm.GetRealm();
    if (Property* flash = realm.global->FindOwn(vm.Key("flash"))) flash->flags |= kVersion8;
}

}  // namespace player::script
