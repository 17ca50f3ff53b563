// NetConnection, NetStream and XMLSocket: the converter opens no connection. connect(null),
// NetConnection's local mode that plays files without a server, works at once; a remoting
// address (http:) is only remembered, as it is by any player until a call goes out; any other
// server cannot be reached, which the connection's onStatus hears once the frame's scripts
// ran. A socket's onConnect hears the same, with false. Streams play nothing.
#include <string>
#include <string_view>

#include "player/script/builtins.h"
#include "player/script/function.h"

namespace player::script {

namespace {

class NetConnectionObject final : public Object {
  public:
    enum class State { kClosed, kLocal, kRemoting, kConnecting };
    explicit NetConnectionObject(Object* proto) : Object(proto, ObjectKind::kNative) {}
    State state = State::kClosed;
    // Counts connects, so that the failure of one given up on is not reported.
    int attempt = 0;
};

NetConnectionObject* ThisConnection(const Value& self) {
    Object* o = self.AsObject();
    return o && o->Kind() == ObjectKind::kNative ? dynamic_cast<NetConnectionObject*>(o)
                                                 : nullptr;
}

Object* MakeConnection(Vm& vm, Object* proto) {
    return vm.GetHeap().New<NetConnectionObject>(proto);
}

// onStatus({level, code}) on the connection.
void TellStatus(Vm& vm, const Value& connection, std::string_view level, std::string_view code) {
    Object* info = vm.NewObject();
    vm.Set(info, "level", vm.Str(std::string(level)));
    vm.Set(info, "code", vm.Str(std::string(code)));
    const Value arg = Value::Obj(info);
    vm.CallMethod(connection, "onStatus", {&arg, 1});
}

// Run on the frame after a connect to a server: unless the connection moved on since, it
// hears that the server could not be reached.
Value ReportUnreachable(Vm& vm, const Value& self, std::span<const Value> args) {
    NetConnectionObject* c = ThisConnection(self);
    if (!c || c->state != NetConnectionObject::State::kConnecting ||
        vm.ToNumber(Arg(args, 0)) != c->attempt)
        return Value();
    c->state = NetConnectionObject::State::kClosed;
    vm.Set(c, "isConnected", Value::Boolean(false));
    TellStatus(vm, self, "error", "NetConnection.Connect.Failed");
    return Value();
}

// Ends what the connection was doing; an open one says it closed. A remoting connection also
// calls onStatus once more without an event.
void Disconnect(Vm& vm, NetConnectionObject* c, const Value& self) {
    const NetConnectionObject::State was = c->state;
    c->state = NetConnectionObject::State::kClosed;
    ++c->attempt;
    vm.Set(c, "isConnected", Value::Boolean(false));
    if (was == NetConnectionObject::State::kClosed ||
        was == NetConnectionObject::State::kConnecting)
        return;
    TellStatus(vm, self, "status", "NetConnection.Connect.Closed");
    if (was == NetConnectionObject::State::kRemoting) vm.CallMethod(self, "onStatus", {});
}

Value Connect(Vm& vm, const Value& self, std::span<const Value> args) {
    NetConnectionObject* c = ThisConnection(self);
    if (!c) return Value::Boolean(false);
    Disconnect(vm, c, self);
    const Value where = Arg(args, 0);
    vm.Set(c, "uri", where.IsNullish() ? vm.Str("null") : vm.Str(vm.ToString(where)));
    if (where.IsNull()) {
        c->state = NetConnectionObject::State::kLocal;
        vm.Set(c, "isConnected", Value::Boolean(true));
        TellStatus(vm, self, "status", "NetConnection.Connect.Success");
        return Value::Boolean(true);
    }
    const std::string address = vm.ToString(where);
    if (address.starts_with("http:") || address.starts_with("https:")) {
        c->state = NetConnectionObject::State::kRemoting;
        return Value::Boolean(true);
    }
    c->state = NetConnectionObject::State::kConnecting;
    vm.QueueLoad(Value::Obj(vm.NewNative(ReportUnreachable)), self,
                 {Value::Number(c->attempt)});
    return Value::Boolean(false);
}

Value Close(Vm& vm, const Value& self, std::span<const Value>) {
    if (NetConnectionObject* c = ThisConnection(self)) Disconnect(vm, c, self);
    return Value();
}

Value NewConnection(Vm& vm, const Value& self, std::span<const Value>) {
    if (NetConnectionObject* c = ThisConnection(self)) {
        vm.Set(c, "isConnected", Value::Boolean(false));
    }
    return self;
}

// ---- XMLSocket -------------------------------------------------------------------------------

// connect(host, port): true when asked for, as the attempt is made; onConnect(false) follows.
Value SocketConnect(Vm& vm, const Value& self, std::span<const Value>) {
    if (!self.IsObject()) return Value::Boolean(false);
    const Value failed = Value::Boolean(false);
    vm.AddTimer(Value(), self, vm.Str("onConnect"), {failed}, 1, false);
    return Value::Boolean(true);
}

// The default onData: the text as an XML document to onXML.
Value SocketOnData(Vm& vm, const Value& self, std::span<const Value> args) {
    const Value text = Arg(args, 0);
    const Value xml = vm.Construct(vm.Get(vm.GetRealm().global, "XML"), {&text, 1});
    vm.CallMethod(self, "onXML", {&xml, 1});
    return Value();
}

Value NewStream(Vm& vm, const Value& self, std::span<const Value>) {
    if (Object* o = self.AsObject()) {
        for (const char* name : {"time", "bytesLoaded", "bytesTotal", "bufferLength",
                                 "bufferTime", "currentFps", "liveDelay"}) {
            vm.DefineValue(o, name, Value::Number(0));
        }
    }
    return self;
}

}  // namespace

void InstallNet(Vm& vm) {
    Realm& realm = vm.GetRealm();
    Object* p = vm.NewObject();
    vm.DefineClass(realm.global, "NetConnection", NewConnection, nullptr, p);
    realm.nativeClasses.emplace_back(p, MakeConnection);
    // In the order scripts enumerate them back.
    vm.DefineMethod(p, "connect", Connect, kHidden);
    vm.DefineMethod(p, "close", Close, kHidden);
    vm.DefineMethod(p, "call", Nothing, kHidden);
    vm.DefineMethod(p, "addHeader", Nothing, kHidden);

    Object* stream = vm.NewObject();
    vm.DefineClass(realm.global, "NetStream", NewStream, nullptr, stream);
    for (const char* name : {"publish", "play", "play2", "receiveAudio", "receiveVideo", "pause",
                             "seek", "onPeerConnect", "close", "attachAudio", "attachVideo",
                             "send", "setBufferTime", "getInfo", "checkPolicyFile"}) {
        vm.DefineMethod(stream, name, Nothing, kHidden);
    }

    Object* socket = vm.NewObject();
    vm.DefineClass(realm.global, "XMLSocket", Nothing, nullptr, socket);
    vm.DefineMethod(socket, "connect", SocketConnect, kHidden);
    vm.DefineMethod(socket, "send", Nothing, kHidden);
    vm.DefineMethod(socket, "close", Nothing, kHidden);
    vm.DefineMethod(socket, "onData", SocketOnData, kHidden);
}

}  // namespace player::script
