// AsBroadcaster: gives an object a listener list and the methods that keep and notify it.
#include <algorithm>

#include "player/script/builtins.h"

namespace player::script {

namespace {

constexpr std::string_view kListeners = "_listeners";

// The receiver's listener list, when it has one.
Object* ListenersOf(Vm& vm, const Value& self) {
    Object* o = self.AsObject();
    return o ? vm.Get(o, kListeners).AsObject() : nullptr;
}

std::uint32_t CountOf(Vm& vm, Object* list) {
    const double n = vm.ToNumber(vm.Get(list, "length"));
    return n > 0 ? static_cast<std::uint32_t>(std::min<double>(n, vm.Limits().maxArrayLength)) : 0;
}

// The position of `listener` in the list, or -1.
std::int64_t Find(Vm& vm, Object* list, const Value& listener) {
    const std::uint32_t n = CountOf(vm, list);
    for (std::uint32_t i = 0; i < n; ++i)
        if (vm.StrictEquals(vm.Get(list, std::to_string(i)), listener)) return i;
    return -1;
}

void RemoveAt(Vm& vm, Object* list, std::uint32_t at) {
    const Value args[2] = {Value::Number(at), Value::Number(1)};
    vm.CallMethod(Value::Obj(list), "splice", args);
}

// addListener(listener): a listener is kept once, moved to the end when added again.
Value AddListener(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* list = ListenersOf(vm, self);
    if (!list) return Value::Boolean(true);
    const Value listener = Arg(args, 0);
    const std::int64_t at = Find(vm, list, listener);
    if (at >= 0) RemoveAt(vm, list, static_cast<std::uint32_t>(at));
    const Value pushed[1] = {listener};
    vm.CallMethod(Value::Obj(list), "push", pushed);
    return Value::Boolean(true);
}

Value RemoveListener(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* list = ListenersOf(vm, self);
    if (!list) return Value::Boolean(false);
    const std::int64_t at = Find(vm, list, Arg(args, 0));
    if (at < 0) return Value::Boolean(false);
    RemoveAt(vm, list, static_cast<std::uint32_t>(at));
    return Value::Boolean(true);
}

// broadcastMessage(name, args...): calls name on every listener present when it starts, in
// the order they were added; true when there was any, undefined otherwise.
Value BroadcastMessage(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* list = ListenersOf(vm, self);
    if (!list || args.empty()) return Value();
    const std::string name = vm.ToString(args[0]);
    const std::uint32_t n = CountOf(vm, list);
    if (n == 0) return Value();
    std::vector<Value> listeners;
    listeners.reserve(n);
    for (std::uint32_t i = 0; i < n; ++i) listeners.push_back(vm.Get(list, std::to_string(i)));
    for (const Value& listener : listeners) {
        if (vm.Throwing() || vm.Stopped()) break;
        Object* target = vm.ToObject(listener);
        if (!target) continue;
        const Value method = vm.Get(target, name);
        if (method.IsObject()) vm.Call(method, listener, args.subspan(1));
    }
    return Value::Boolean(true);
}

// initialize(object): a fresh listener list and the three methods, hidden from for-in.
Value Initialize(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* o = Arg(args, 0).AsObject();
    Object* broadcaster = self.AsObject();
    if (!o || !broadcaster) return Value();
    for (std::string_view method : {"addListener", "removeListener", "broadcastMessage"})
        vm.DefineValue(o, method, vm.Get(broadcaster, method));
    vm.DefineValue(o, kListeners, Value::Obj(vm.NewArray()));
    return Value();
}

Value Construct(Vm&, const Value& self, std::span<const Value>) { return self; }

Object* TheBroadcaster(Vm& vm) {
    return vm.Get(vm.GetRealm().global, "AsBroadcaster").AsObject();
}

// The player's event sources (keys, mouse, stage, input method) are broadcasters; their other
// members come from the objects' own installers, which keep what is made here.
Object* EventSource(Vm& vm, Object* on, std::string_view name) {
    Object* o = vm.Get(on, name).AsObject();
    if (!o) {
        o = vm.NewObject();
        vm.DefineValue(on, name, Value::Obj(o));
    }
    MakeBroadcaster(vm, o);
    return o;
}

}  // namespace

void MakeBroadcaster(Vm& vm, Object* o) {
    if (Object* broadcaster = TheBroadcaster(vm)) {
        const Value target[1] = {Value::Obj(o)};
        Initialize(vm, Value::Obj(broadcaster), target);
    }
}

Object* InstallBroadcaster(Vm& vm) {
    Object* global = vm.GetRealm().global;
    // A constructor of plain objects; its own methods are what matter.
    Object* broadcaster = vm.DefineClass(global, "AsBroadcaster", Construct, nullptr, vm.NewObject());
    vm.DefineMethod(broadcaster, "initialize", Initialize);
    vm.DefineMethod(broadcaster, "addListener", AddListener);
    vm.DefineMethod(broadcaster, "removeListener", RemoveListener);
    vm.DefineMethod(broadcaster, "broadcastMessage", BroadcastMessage);

    for (std::string_view name : {"Key", "Mouse", "Stage"}) EventSource(vm, global, name);
    EventSource(vm, EventSource(vm, global, "System"), "IME");
    return broadcaster;
}

}  // namespace player::script
