// MovieClip: the prototype every clip's object inherits, with the timeline methods.
#include <cmath>

#include "player/script/builtins.h"
#include "player/script/number_text.h"

namespace player::script {

namespace {

ClipHost* ThisClip(Vm& vm, const Value& self) { return vm.ClipOf(self.AsObject()); }

// A frame argument: a number (one-based) or a label; -1 when it names no frame.
int FrameOf(Vm& vm, ClipHost* clip, const Value& which) {
    if (which.IsString()) {
        const double n = StringToNumber(which.Text(), vm.Version());
        if (!std::isfinite(n)) return clip->FindLabel(which.Text());
        return ClampToInt(n) - 1;
    }
    const double n = vm.ToNumber(which);
    return std::isfinite(n) ? ClampToInt(n) - 1 : -1;
}

void Goto(Vm& vm, const Value& self, std::span<const Value> args, bool play) {
    ClipHost* clip = ThisClip(vm, self);
    if (!clip || args.empty()) return;
    Value which = args[0];
    // "path:frame" names another clip's frame, the path taken from this clip.
    if (which.IsString()) {
        const std::string& text = which.Text();
        if (const auto colon = text.rfind(':'); colon != std::string::npos) {
            clip = vm.ClipOf(vm.ResolvePath(std::string_view(text).substr(0, colon), self.AsObject()));
            if (!clip) return;
            which = vm.Str(text.substr(colon + 1));
        }
    }
    const int frame = FrameOf(vm, clip, which);
    if (frame < 0) return;
    clip->GotoFrame(frame);
    clip->SetPlaying(play);
}

Value GotoAndPlay(Vm& vm, const Value& self, std::span<const Value> args) {
    Goto(vm, self, args, true);
    return Value();
}

Value GotoAndStop(Vm& vm, const Value& self, std::span<const Value> args) {
    Goto(vm, self, args, false);
    return Value();
}

Value Play(Vm& vm, const Value& self, std::span<const Value>) {
    if (ClipHost* clip = ThisClip(vm, self)) clip->SetPlaying(true);
    return Value();
}

Value StopClip(Vm& vm, const Value& self, std::span<const Value>) {
    if (ClipHost* clip = ThisClip(vm, self)) clip->SetPlaying(false);
    return Value();
}

void Step(Vm& vm, const Value& self, int by) {
    ClipHost* clip = ThisClip(vm, self);
    if (!clip) return;
    const int to = clip->CurrentFrame() + by;
    if (to >= 0 && to < clip->TotalFrames()) clip->GotoFrame(to);
    clip->SetPlaying(false);
}

Value NextFrame(Vm& vm, const Value& self, std::span<const Value>) {
    Step(vm, self, 1);
    return Value();
}

Value PrevFrame(Vm& vm, const Value& self, std::span<const Value>) {
    Step(vm, self, -1);
    return Value();
}

// Copies an init object's enumerable properties onto a new clip.
void CopyInto(Vm& vm, Object* clip, const Value& init) {
    Object* source = init.AsObject();
    if (!clip || !source) return;
    for (const Value& key : vm.EnumerableKeys(source)) {
        const std::string name = vm.ToString(key);
        vm.Set(clip, name, vm.Get(source, name));
    }
}

}  // namespace

void ConstructClip(Vm& vm, ClipHost* clip, const Value& init) {
    if (!clip) return;
    if (!clip->ClaimConstruction()) {
        if (init.AsObject()) CopyInto(vm, vm.ClipFor(clip), init);
        return;
    }
    Object* constructor = clip->RegisteredClass(vm);
    if (!constructor) {
        // Without a class the clip hears of its construction through onConstruct.
        ClipObject* object = vm.ExistingClip(clip);
        Object* lookIn = object ? object : vm.GetRealm().clipProto;
        const Value handler = lookIn ? vm.Get(lookIn, "onConstruct") : Value();
        const bool callable =
            handler.AsObject() && handler.AsObject()->Kind() == ObjectKind::kFunction;
        if (!object && !callable && !init.AsObject()) return;
        object = vm.ClipFor(clip);
        CopyInto(vm, object, init);
        if (callable) vm.CallFromHost(vm.Get(object, "onConstruct"), Value::Obj(object), {});
        return;
    }
    ClipObject* object = vm.ClipFor(clip);
    object->SetProto(vm.Get(constructor, "prototype").AsObject());
    CopyInto(vm, object, init);
    vm.ConstructOn(object, Value::Obj(constructor));
}

void RemoveDisplayObject(Vm& vm, Object* o) {
    if (ClipHost* clip = vm.ClipOf(o))
        clip->Remove();
    else if (TextHost* field = vm.TextOf(o))
        field->CallField(vm, "removeTextField", {});
}

namespace {

// Also takes text fields a script moved to a script depth off the display.
Value RemoveMovieClip(Vm& vm, const Value& self, std::span<const Value>) {
    RemoveDisplayObject(vm, self.AsObject());
    return Value();
}

Value Attached(Vm& vm, ClipHost* clip, const Value& init);

// duplicateMovieClip(newName, depth [, initObject])
Value DuplicateMovieClip(Vm& vm, const Value& self, std::span<const Value> args) {
    ClipHost* clip = ThisClip(vm, self);
    if (!clip || args.size() < 2) return Value();
    // The name is converted before the depth (either may run script).
    const std::string name = vm.ToString(args[0]);
    ClipHost* copy = clip->Duplicate(name, vm.ToInt32(args[1]));
    return Attached(vm, copy, Arg(args, 2));
}

Value Attached(Vm& vm, ClipHost* clip, const Value& init) {
    if (!clip) return Value();
    ConstructClip(vm, clip, init);
    return Value::Obj(vm.ClipFor(clip));
}

// attachMovie(exportName, newName, depth [, initObject])
Value AttachMovie(Vm& vm, const Value& self, std::span<const Value> args) {
    ClipHost* clip = ThisClip(vm, self);
    if (!clip || args.size() < 3) return Value();
    const std::string exportName = vm.ToString(args[0]);
    if (exportName.empty()) return Value();
    const std::string name = vm.ToString(args[1]);
    return Attached(vm, clip->Attach(exportName, name, vm.ToInt32(args[2])),
                    Arg(args, 3));
}

// createEmptyMovieClip(name, depth)
Value CreateEmptyMovieClip(Vm& vm, const Value& self, std::span<const Value> args) {
    ClipHost* clip = ThisClip(vm, self);
    if (!clip || args.size() < 2) return Value();
    const std::string name = vm.ToString(args[0]);
    return Attached(vm, clip->Attach({}, name, vm.ToInt32(args[1])),
                    Value());
}

Value GetDepth(Vm& vm, const Value& self, std::span<const Value>) {
    ClipHost* clip = ThisClip(vm, self);
    return clip ? Value::Number(clip->Depth()) : Value();
}

Value GetNextHighestDepth(Vm& vm, const Value& self, std::span<const Value>) {
    ClipHost* clip = ThisClip(vm, self);
    return clip ? Value::Number(clip->NextHighestDepth()) : Value();
}

Value GetInstanceAtDepth(Vm& vm, const Value& self, std::span<const Value> args) {
    ClipHost* clip = ThisClip(vm, self);
    if (!clip || args.empty()) return Value();
    ClipHost* found = clip->AtDepth(vm.ToInt32(args[0]));
    return found ? Value::Obj(vm.ClipFor(found)) : Value();
}

// swapDepths(depth) or swapDepths(otherClip)
Value SwapDepths(Vm& vm, const Value& self, std::span<const Value> args) {
    ClipHost* clip = ThisClip(vm, self);
    if (!clip || args.empty()) return Value();
    const Value& which = args[0];
    if (which.IsUndefined()) return Value();
    if (TextHost* field = vm.TextOf(which.AsObject())) {
        if (field->Parent() == clip->Parent())
            clip->SwapDepths(vm.ToInt32(field->CallField(vm, "getDepth", {})));
        return Value();
    }
    ClipHost* other = vm.ClipOf(which.AsObject());
    if (!other && which.IsString())
        other = vm.ClipOf(vm.ResolvePath(vm.ToString(which), self.AsObject()));
    if (other) {
        if (other != clip && other->Parent() == clip->Parent()) clip->SwapDepths(other->Depth());
        return Value();
    }
    // Out-of-range depths leave the clip where it is.
    clip->SwapDepths(vm.ToInt32(which));
    return Value();
}

// The whole movie is at hand: loaded equals total, so preloaders go straight on.
Value GetBytes(Vm& vm, const Value& self, std::span<const Value>) {
    ClipHost* clip = ThisClip(vm, self);
    return clip ? Value::Number(clip->TotalFrames()) : Value();
}

// localToGlobal(point) and globalToLocal(point) change the point's x and y in place.
template <bool kToGlobal>
Value MapPoint(Vm& vm, const Value& self, std::span<const Value> args) {
    ClipHost* clip = ThisClip(vm, self);
    Object* point = args.empty() ? nullptr : args[0].AsObject();
    if (!clip || !point) return Value();
    double x = vm.ToNumber(vm.Get(point, "x"));
    double y = vm.ToNumber(vm.Get(point, "y"));
    if (kToGlobal)
        clip->LocalToGlobal(&x, &y);
    else
        clip->GlobalToLocal(&x, &y);
    vm.Set(point, "x", Value::Number(x));
    vm.Set(point, "y", Value::Number(y));
    return Value();
}

// hitTest(x, y [, shapeFlag]) against the clip's box on the stage (with shapeFlag, against
// what its shapes cover), or hitTest(other): the two boxes overlap.
Value HitTest(Vm& vm, const Value& self, std::span<const Value> args) {
    ClipHost* clip = ThisClip(vm, self);
    if (!clip || args.empty()) return Value::Boolean(false);
    const ClipHost::Box box = clip->Bounds(nullptr);
    if (args.size() >= 2) {
        const double x = vm.ToNumber(args[0]), y = vm.ToNumber(args[1]);
        if (args.size() >= 3 && vm.ToBoolean(args[2])) return Value::Boolean(clip->ShapesCover(x, y));
        return Value::Boolean(!box.empty && x >= box.xMin && x <= box.xMax && y >= box.yMin &&
                              y <= box.yMax);
    }
    ClipHost* other = vm.ClipOf(args[0].AsObject());
    if (!other) return Value::Boolean(false);
    const ClipHost::Box them = other->Bounds(nullptr);
    return Value::Boolean(!box.empty && !them.empty && box.xMin <= them.xMax &&
                          them.xMin <= box.xMax && box.yMin <= them.yMax &&
                          them.yMin <= box.yMax);
}

// loadVariables(url [, method]): the variables of the file beside the movie, on the next frame.
Value ClipLoadVariables(Vm& vm, const Value& self, std::span<const Value> args) {
    ClipHost* clip = ThisClip(vm, self);
    if (clip && !args.empty()) LoadVariablesInto(vm, clip, vm.ToString(args[0]));
    return Value();
}

Value MovieClipCall(Vm&, const Value&, std::span<const Value>) { return Value(); }

Value ClipToString(Vm& vm, const Value& self, std::span<const Value>) {
    ClipHost* clip = ThisClip(vm, self);
    return clip ? vm.Str(vm.TargetPath(clip)) : vm.Str("[object Object]");
}

}  // namespace

void InstallMovieClip(Vm& vm) {
    Realm& realm = vm.GetRealm();
    realm.clipProto = vm.NewObject();
    vm.DefineClass(realm.global, "MovieClip", MovieClipCall, nullptr, realm.clipProto);
    Object* mp = realm.clipProto;
    vm.DefineMethod(mp, "gotoAndPlay", GotoAndPlay);
    vm.DefineMethod(mp, "gotoAndStop", GotoAndStop);
    vm.DefineMethod(mp, "play", Play);
    vm.DefineMethod(mp, "stop", StopClip);
    vm.DefineMethod(mp, "nextFrame", NextFrame);
    vm.DefineMethod(mp, "prevFrame", PrevFrame);
    vm.DefineMethod(mp, "removeMovieClip", RemoveMovieClip);
    vm.DefineMethod(mp, "duplicateMovieClip", DuplicateMovieClip);
    vm.DefineMethod(mp, "toString", ClipToString);
    vm.DefineMethod(mp, "attachMovie", AttachMovie);
    vm.DefineMethod(mp, "createEmptyMovieClip", CreateEmptyMovieClip);
    vm.DefineMethod(mp, "getDepth", GetDepth);
    vm.DefineMethod(mp, "getNextHighestDepth", GetNextHighestDepth);
    vm.DefineMethod(mp, "getInstanceAtDepth", GetInstanceAtDepth);
    vm.DefineMethod(mp, "swapDepths", SwapDepths);
    vm.DefineMethod(mp, "getBytesLoaded", GetBytes);
    vm.DefineMethod(mp, "localToGlobal", MapPoint<true>);
    vm.DefineMethod(mp, "globalToLocal", MapPoint<false>);
    vm.DefineMethod(mp, "hitTest", HitTest);
    vm.DefineMethod(mp, "loadVariables", ClipLoadVariables);
    vm.DefineMethod(mp, "getBytesTotal", GetBytes);
}

}  // namespace player::script
