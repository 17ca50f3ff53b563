// Loading movies into clips and levels: loadMovie and unloadMovie (clip methods and what the
// getURL forms compile to) and MovieClipLoader with its events. A load completes once the
// frame's scripts have run, as a download that arrives at once: the host reads the file beside
// the movie and puts it in place, the loader hears onLoadStart, onLoadProgress and
// onLoadComplete then, and onLoadInit once the loaded movie's first frame has run; a load the
// host refuses or cannot make gives onLoadError and leaves the target as it was.
#include <cmath>
#include <string>
#include <vector>

#include "player/script/builtins.h"

namespace player::script {

namespace {

constexpr const char* kNotFound = "URLNotFound";

// Tells a loader's listeners (itself among them) of an event.
void Notify(Vm& vm, const Value& loader, std::string_view event, std::vector<Value> args) {
    if (!loader.IsObject() || vm.Stopped()) return;
    args.insert(args.begin(), vm.Str(std::string(event)));
    vm.CallMethod(loader, "broadcastMessage", args);
}

Value LoadInit(Vm& vm, const Value& self, std::span<const Value> args) {
    Notify(vm, self, "onLoadInit", {Arg(args, 0)});
    return Value();
}

// The load's completion: self is the loader (or undefined), the arguments the address and the
// target (a clip's object or a level number).
Value MovieArrives(Vm& vm, const Value& self, std::span<const Value> args) {
    const std::string url = vm.ToString(Arg(args, 0));
    const Value target = Arg(args, 1);
    ClipHost* into = nullptr;
    int level = 0;
    if (target.IsNumber()) {
        level = static_cast<int>(target.AsNumber());
        into = vm.GetHost().Level(level);
    } else if (!(into = vm.ClipOf(target.AsObject()))) {
        vm.GetHost().Problem("a script loaded the movie \"" + url +
                             "\" into a clip that is no longer there; it is not loaded");
        Notify(vm, self, "onLoadError", {target, vm.Str(kNotFound), Value::Number(0)});
        return Value();
    }
    double bytes = 0;
    std::string reason;
    ClipHost* loaded = vm.GetHost().LoadMovie(url, into, level, &bytes, &reason);
    if (!loaded) {
        vm.GetHost().Problem("a script asked to load the movie \"" + url + "\": " + reason +
                             "; it is not loaded");
        Notify(vm, self, "onLoadError", {target, vm.Str(kNotFound), Value::Number(0)});
        return Value();
    }
    const Value clip = Value::Obj(vm.ClipFor(loaded));
    Notify(vm, self, "onLoadStart", {clip});
    Notify(vm, self, "onLoadProgress", {clip, Value::Number(bytes), Value::Number(bytes)});
    Notify(vm, self, "onLoadComplete", {clip, Value::Number(0)});
    loaded->DataArrived();
    if (self.IsObject()) vm.CallAfterFrames(Value::Obj(vm.NewNative(LoadInit)), self, {clip});
    return Value();
}

// What a level number or target is worth as a load's target: a clip's object, a level
// number, or undefined when it names nothing.
Value TargetOf(Vm& vm, const Value& target) {
    if (target.IsNumber()) {
        const double n = std::floor(target.AsNumber());
        if (!(n >= 0 && n <= Limits::kMaxLevel)) return Value();
        return Value::Number(n);
    }
    Object* o = target.IsString() ? vm.ResolvePath(target.Text(), vm.RootOf(nullptr))
                                  : target.AsObject();
    return o && vm.ClipOf(o) ? Value::Obj(o) : Value();
}

// new MovieClipLoader() is a broadcaster listening to itself.
Value LoaderConstruct(Vm& vm, const Value& self, std::span<const Value>) {
    Object* o = self.AsObject();
    if (!o) return self;
    MakeBroadcaster(vm, o);
    const Value me[] = {self};
    vm.CallMethod(self, "addListener", me);
    return self;
}

// loadClip(url, target): true when the request is taken (its outcome arrives as events).
Value LoaderLoadClip(Vm& vm, const Value& self, std::span<const Value> args) {
    if (args.size() < 2) return Value();
    if (!args[0].IsString()) return Value::Boolean(false);
    const Value target = TargetOf(vm, args[1]);
    if (target.IsUndefined()) return Value::Boolean(false);
    RequestMovieLoad(vm, args[0].Text(), target, self);
    return Value::Boolean(true);
}

Value LoaderUnloadClip(Vm& vm, const Value&, std::span<const Value> args) {
    if (args.empty()) return Value();
    const Value target = TargetOf(vm, args[0]);
    if (target.IsUndefined()) return Value::Boolean(false);
    UnloadMovieFrom(vm, target);
    return Value::Boolean(true);
}

// getProgress(target): the bytes loaded and in all of the movie the target holds.
Value LoaderGetProgress(Vm& vm, const Value&, std::span<const Value> args) {
    if (args.empty()) return Value();
    const Value& given = args[0];
    if (!given.IsNumber() && !given.IsString() && !vm.ClipOf(given.AsObject())) return Value();
    const Value target = TargetOf(vm, given);
    ClipHost* clip = target.IsNumber() ? vm.GetHost().Level(static_cast<int>(target.AsNumber()))
                                       : vm.ClipOf(target.AsObject());
    Object* progress = vm.NewObject();
    const Value bytes = clip ? Value::Number(clip->MovieBytes()) : Value();
    vm.Set(progress, "bytesLoaded", bytes);
    vm.Set(progress, "bytesTotal", bytes);
    return Value::Obj(progress);
}

// A clip's loadMovie(url [, method]) and unloadMovie().
Value ClipLoadMovie(Vm& vm, const Value& self, std::span<const Value> args) {
    if (!vm.ClipOf(self.AsObject()) || args.empty()) return Value();
    RequestMovieLoad(vm, vm.ToString(args[0]), self, Value());
    return Value();
}

Value ClipUnloadMovie(Vm& vm, const Value& self, std::span<const Value>) {
    if (vm.ClipOf(self.AsObject())) UnloadMovieFrom(vm, self);
    return Value();
}

}  // namespace

void RequestMovieLoad(Vm& vm, const std::string& url, const Value& target, const Value& loader) {
    vm.QueueLoad(Value::Obj(vm.NewNative(MovieArrives)), loader, {vm.Str(url), target});
}

void UnloadMovieFrom(Vm& vm, const Value& target) {
    ClipHost* clip = target.IsNumber() ? vm.GetHost().Level(static_cast<int>(target.AsNumber()))
                                       : vm.ClipOf(target.AsObject());
    if (clip) vm.GetHost().UnloadMovie(clip);
}

void InstallLoading(Vm& vm) {
    Realm& realm = vm.GetRealm();
    vm.DefineMethod(realm.clipProto, "loadMovie", ClipLoadMovie);
    vm.DefineMethod(realm.clipProto, "unloadMovie", ClipUnloadMovie);
    Object* p = vm.NewObject();
    vm.DefineClass(realm.global, "MovieClipLoader", LoaderConstruct, nullptr, p);
    vm.DefineMethod(p, "loadClip", LoaderLoadClip);
    vm.DefineMethod(p, "unloadClip", LoaderUnloadClip);
    vm.DefineMethod(p, "getProgress", LoaderGetProgress);
}

}  // namespace player::script
