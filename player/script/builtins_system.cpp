// System (the player's description and its security), Sound, SharedObject, LocalConnection
// and ContextMenu. Sounds play through the movie's sound log; the converter keeps nothing
// between runs, talks to no other movie and shows no menu, so the others hold what scripts
// give them and answer as a quiet player would.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <optional>
#include <string>
#include <utility>

#include "player/script/builtins.h"
#include "player/script/function.h"
#include "player/script/mp3_file.h"

namespace player::script {

namespace {

// ---- System ---------------------------------------------------------------------------------

// What System.capabilities tells a movie about the player. The screen is a fixed, ordinary
// one so that movies which lay themselves out by it come out the same on every run.
struct Capability {
    const char* name;
    enum { kBool, kNumber, kText } type;
    double number;
    const char* text;
};

constexpr Capability kCapabilities[] = {
    {"avHardwareDisable", Capability::kBool, 1, nullptr},
    {"hasAccessibility", Capability::kBool, 0, nullptr},
    {"hasAudio", Capability::kBool, 0, nullptr},
    {"hasAudioEncoder", Capability::kBool, 0, nullptr},
    {"hasEmbeddedVideo", Capability::kBool, 0, nullptr},
    {"hasIME", Capability::kBool, 0, nullptr},
    {"hasMP3", Capability::kBool, 0, nullptr},
    {"hasPrinting", Capability::kBool, 0, nullptr},
    {"hasScreenBroadcast", Capability::kBool, 0, nullptr},
    {"hasScreenPlayback", Capability::kBool, 0, nullptr},
    {"hasStreamingAudio", Capability::kBool, 0, nullptr},
    {"hasStreamingVideo", Capability::kBool, 0, nullptr},
    {"hasVideoEncoder", Capability::kBool, 0, nullptr},
    {"isDebugger", Capability::kBool, 0, nullptr},
    {"localFileReadDisable", Capability::kBool, 1, nullptr},
    {"language", Capability::kText, 0, "en"},
    {"manufacturer", Capability::kText, 0, "Filmcast"},
    {"os", Capability::kText, 0, "Linux"},
    {"playerType", Capability::kText, 0, "External"},
    {"version", Capability::kText, 0, "LNX 8,0,0,0"},
    {"serverString", Capability::kText, 0, ""},
    {"screenColor", Capability::kText, 0, "color"},
    {"screenDPI", Capability::kNumber, 72, nullptr},
    {"screenResolutionX", Capability::kNumber, 1536, nullptr},
    {"screenResolutionY", Capability::kNumber, 864, nullptr},
    {"pixelAspectRatio", Capability::kNumber, 1, nullptr},
};

void InstallSystemObject(Vm& vm) {
    Object* global = vm.GetRealm().global;
    Object* system = vm.Get(global, "System").AsObject();
    if (!system) {
        system = vm.NewObject();
        vm.DefineValue(global, "System", Value::Obj(system));
    }
    Object* capabilities = vm.NewObject();
    for (const Capability& c : kCapabilities) {
        Value v;
        switch (c.type) {
            case Capability::kBool: v = Value::Boolean(c.number != 0); break;
            case Capability::kNumber: v = Value::Number(c.number); break;
            case Capability::kText: v = vm.Str(c.text); break;
        }
        vm.DefineValue(capabilities, c.name, v, kHidden);
    }
    vm.DefineValue(system, "capabilities", Value::Obj(capabilities), kHidden);

    Object* security = vm.NewObject();
    vm.DefineValue(security, "sandboxType", vm.Str("localWithFile"), kHidden | kReadOnly);
    vm.DefineMethod(security, "allowDomain", Nothing);
    vm.DefineMethod(security, "allowInsecureDomain", Nothing);
    vm.DefineMethod(security, "loadPolicyFile", Nothing);
    vm.DefineValue(system, "security", Value::Obj(security), kHidden);

    vm.DefineValue(system, "useCodepage", Value::Boolean(false), kDontDelete);
    vm.DefineValue(system, "exactSettings", Value::Boolean(true), kDontDelete);
    vm.DefineMethod(system, "setClipboard", Yes);
    vm.DefineMethod(system, "showSettings", Nothing);
}

// ---- Sound ----------------------------------------------------------------------------------

// A Sound controls the sounds of a clip (the whole movie's without one). It holds the clip as
// given, a path or a clip object; a clip object is found by the path it had when the Sound was
// made, so a clip made anew under the same name takes over, with a fresh mix.
class SoundObject final : public Object {
  public:
    explicit SoundObject(Object* proto) : Object(proto, ObjectKind::kNative) {}
    Value target;       // undefined: the movie's own sounds
    std::string path;   // where the target clip was last seen
    std::string attached;  // the library sound attachSound named
    // The last start, on the movie's clock: when it began, how far into the sound, how long
    // it plays in all, and the timer that tells onSoundComplete (0 once it ended or stopped).
    double startedMs = -1;
    double offsetMs = 0;
    double playsMs = 0;
    double stoppedAtMs = -1;  // where a stopped sound was
    int completion = 0;
    // A file loaded beside the movie: how long it plays (0 while it loads, -1 for none) and
    // its size.
    double loadedMs = -1;
    double loadedBytes = 0;
    int loads = 0;  // files loaded into it so far
    void Trace(Marker& marker) const override {
        Object::Trace(marker);
        target.Mark(marker);
    }
    std::size_t Size() const override {
        return Object::Size() + sizeof(*this) - sizeof(Object) + path.size() + attached.size();
    }
};

SoundObject* ThisSound(const Value& self) {
    Object* o = self.AsObject();
    return o && o->Kind() == ObjectKind::kNative ? dynamic_cast<SoundObject*>(o) : nullptr;
}

Object* MakeSound(Vm& vm, Object* proto) { return vm.GetHeap().New<SoundObject>(proto); }

ClipObject* SoundClip(Vm& vm, SoundObject* sound) {
    ClipHost* root = vm.GetHost().Level(0);
    if (!root) return nullptr;
    ClipObject* rootObject = vm.ClipFor(root);
    Object* found = nullptr;
    if (sound->target.IsUndefined()) {
        found = rootObject;
    } else if (Object* o = sound->target.AsObject(); o && o->Kind() == ObjectKind::kClip) {
        // The clip is known by the path it had when the object was made: renamed, it is
        // out of reach unless something else answers to that path.
        if (sound->path.empty()) {
            ClipHost* clip = vm.ClipOf(o);
            if (!clip) return nullptr;
            sound->path = vm.TargetPath(clip);
        }
        found = vm.ResolvePath(sound->path, rootObject);
    } else if (sound->target.IsString()) {
        found = vm.ResolvePath(sound->target.Text(), rootObject);
    } else {
        return nullptr;
    }
    if (!found || !vm.ClipOf(found)) return nullptr;
    return static_cast<ClipObject*>(found);
}

Value SoundConstruct(Vm& vm, const Value& self, std::span<const Value> args) {
    if (SoundObject* sound = ThisSound(self)) {
        sound->target = Arg(args, 0);
        if (args.empty() || sound->target.IsNull()) sound->target = Value();
        Object* o = sound->target.AsObject();
        if (ClipHost* clip = vm.ClipOf(o)) {
            sound->path = vm.TargetPath(clip);
        } else if (o && o->Kind() != ObjectKind::kClip) {
            // Any other object names its clip by its text; a toString that throws ends `new`.
            std::string path = vm.ToString(sound->target);
            if (vm.Throwing()) return Value();
            sound->target = vm.Str(std::move(path));
        }
    }
    return self;
}

ClipObject::SoundMix* Mix(Vm& vm, const Value& self) {
    SoundObject* sound = ThisSound(self);
    ClipObject* clip = sound ? SoundClip(vm, sound) : nullptr;
    return clip ? &clip->Mix() : nullptr;
}

// The clip whose sounds the object plays and controls; null when it is not there.
ClipHost* SoundOwner(Vm& vm, SoundObject* sound) {
    ClipObject* clip = SoundClip(vm, sound);
    return clip ? vm.ClipOf(clip) : nullptr;
}

// Tells the movie the levels the object's clip now plays at.
void MixChanged(Vm& vm, const Value& self) {
    SoundObject* sound = ThisSound(self);
    ClipObject* clip = sound ? SoundClip(vm, sound) : nullptr;
    if (ClipHost* host = clip ? vm.ClipOf(clip) : nullptr) vm.GetHost().SetSoundMix(host, clip->Mix());
}

Value SoundGetVolume(Vm& vm, const Value& self, std::span<const Value>) {
    ClipObject::SoundMix* mix = Mix(vm, self);
    return mix ? Value::Number(mix->volume) : Value();
}

// A volume is a 32-bit integer: no volume is 0, and what does not fit (NaN included) is the
// smallest one.
double Volume(Vm& vm, const Value& v) {
    if (v.IsUndefined()) return 0;
    const double n = vm.ToNumber(v);
    if (!(n > -2147483649.0 && n < 2147483648.0)) return -2147483648.0;
    return std::trunc(n);
}

Value SoundSetVolume(Vm& vm, const Value& self, std::span<const Value> args) {
    if (ClipObject::SoundMix* mix = Mix(vm, self)) {
        mix->volume = Volume(vm, Arg(args, 0));
        MixChanged(vm, self);
    }
    return Value();
}

// Channel levels are 32-bit integers and the player's sums on them wrap.
double Wrap32(std::int64_t n) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(n)); }

// The balance follows from the channel levels: a left side at other than full pans right by
// what its size falls short of 100, a full one left by what the right side's size passes 100.
Value SoundGetPan(Vm& vm, const Value& self, std::span<const Value>) {
    ClipObject::SoundMix* mix = Mix(vm, self);
    if (!mix) return Value();
    const auto ll = static_cast<std::int64_t>(mix->ll), rr = static_cast<std::int64_t>(mix->rr);
    return Value::Number(ll == 100 ? Wrap32(std::abs(rr) - 100) : Wrap32(100 - std::abs(ll)));
}

// A pan is read as a volume is; panning right lowers the left side, panning left the right.
Value SoundSetPan(Vm& vm, const Value& self, std::span<const Value> args) {
    ClipObject::SoundMix* mix = Mix(vm, self);
    if (!mix) return Value();
    const auto pan = static_cast<std::int64_t>(Volume(vm, Arg(args, 0)));
    mix->ll = pan >= 0 ? Wrap32(100 - pan) : 100;
    mix->rr = pan < 0 ? Wrap32(100 + pan) : 100;
    mix->lr = mix->rl = 0;
    MixChanged(vm, self);
    return Value();
}

Value SoundGetTransform(Vm& vm, const Value& self, std::span<const Value>) {
    ClipObject::SoundMix* mix = Mix(vm, self);
    if (!mix) return Value();
    const ClipObject::SoundMix m = *mix;
    Object* o = vm.NewObject();
    vm.Set(o, "ll", Value::Number(m.ll));
    vm.Set(o, "lr", Value::Number(m.lr));
    vm.Set(o, "rr", Value::Number(m.rr));
    vm.Set(o, "rl", Value::Number(m.rl));
    return Value::Obj(o);
}

// Only the levels the object has as its own are changed, each wrapped to 32 bits.
Value SoundSetTransform(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* given = Arg(args, 0).AsObject();
    if (!given || !Mix(vm, self)) return Value();
    struct Channel {
        const char* name;
        double ClipObject::SoundMix::*level;
    };
    static constexpr Channel kChannels[] = {{"ll", &ClipObject::SoundMix::ll},
                                            {"lr", &ClipObject::SoundMix::lr},
                                            {"rr", &ClipObject::SoundMix::rr},
                                            {"rl", &ClipObject::SoundMix::rl}};
    for (const Channel& c : kChannels) {
        if (!vm.HasOwnProperty(given, c.name)) continue;
        const double level = vm.ToInt32(vm.Get(given, c.name));
        // Reading the object may have run a getter that took the clip away.
        if (ClipObject::SoundMix* mix = Mix(vm, self)) mix->*c.level = level;
    }
    MixChanged(vm, self);
    return Value();
}

void EndCompletion(Vm& vm, SoundObject* sound) {
    if (sound->completion) vm.RemoveTimer(sound->completion);
    sound->completion = 0;
}

// A sound the movie's library does not hold is not attached.
Value SoundAttach(Vm& vm, const Value& self, std::span<const Value> args) {
    SoundObject* sound = ThisSound(self);
    if (!sound || args.empty()) return Value();
    const std::string name = vm.ToString(args[0]);
    if (!vm.GetHost().SoundDuration(SoundOwner(vm, sound), name)) return Value();
    EndCompletion(vm, sound);
    sound->attached = name;
    sound->loadedMs = -1;
    sound->startedMs = sound->stoppedAtMs = -1;
    return Value();
}

// Milliseconds the attached or loaded sound plays once, or nothing.
std::optional<double> DurationMs(Vm& vm, SoundObject* sound) {
    if (sound->loadedMs >= 0) return sound->loadedMs;
    if (sound->attached.empty()) return std::nullopt;
    const auto seconds = vm.GetHost().SoundDuration(SoundOwner(vm, sound), sound->attached);
    if (!seconds) return std::nullopt;
    return std::round(*seconds * 1000);
}

// The sound plays from `offsetSeconds` for `playsMs` in all, on the movie's clock; its
// onSoundComplete runs when that time is up.
void PlayFrom(Vm& vm, const Value& self, SoundObject* sound, double offsetSeconds,
              double playsMs) {
    EndCompletion(vm, sound);
    sound->startedMs = vm.NowMs();
    sound->offsetMs = std::min(offsetSeconds * 1000, playsMs);
    sound->playsMs = playsMs;
    sound->stoppedAtMs = -1;
    sound->completion = vm.AddTimer(Value(), self, vm.Str("onSoundComplete"), {},
                                    sound->playsMs - sound->offsetMs, false);
}

// start([secondOffset [, loops]]): the attached sound from the offset, loops times; its
// onSoundComplete runs on the movie's clock once the last loop ends.
Value SoundStart(Vm& vm, const Value& self, std::span<const Value> args) {
    SoundObject* sound = ThisSound(self);
    if (!sound) return Value();
    const std::optional<double> duration = DurationMs(vm, sound);
    if (!duration) return Value();
    double offset = args.empty() ? 0 : vm.ToNumber(args[0]);
    if (!(offset > 0)) offset = 0;
    offset = std::min(offset, 86400.0);
    const double loopsAsked = args.size() > 1 ? vm.ToInteger(args[1]) : 1;
    const int loops = static_cast<int>(std::clamp(loopsAsked, 1.0, 65535.0));
    if (sound->loadedMs < 0 &&
        !vm.GetHost().StartSound(SoundOwner(vm, sound), sound->attached, loops, offset))
        return Value();
    PlayFrom(vm, self, sound, offset, *duration * loops);
    return Value();
}

// Where in the attached sound the last start has got to, in milliseconds.
double PositionMs(Vm& vm, SoundObject* sound, double duration) {
    if (sound->stoppedAtMs >= 0) return sound->stoppedAtMs;
    if (sound->startedMs < 0 || duration <= 0) return 0;
    const double played = vm.NowMs() - sound->startedMs + sound->offsetMs;
    if (played >= sound->playsMs) return duration;
    return std::round(std::fmod(played, duration));
}

// stop([name]): the named library sound wherever it plays, or every sound of the clip.
Value SoundStop(Vm& vm, const Value& self, std::span<const Value> args) {
    SoundObject* sound = ThisSound(self);
    if (!sound) return Value();
    const std::string name = args.empty() ? std::string() : vm.ToString(args[0]);
    vm.GetHost().StopSound(SoundOwner(vm, sound), name);
    if (name.empty() || name == sound->attached) {
        if (const auto duration = DurationMs(vm, sound); duration && sound->startedMs >= 0)
            sound->stoppedAtMs = PositionMs(vm, sound, *duration);
        EndCompletion(vm, sound);
    }
    return Value();
}

Value SoundDurationValue(Vm& vm, const Value& self, std::span<const Value>) {
    SoundObject* sound = ThisSound(self);
    const auto duration = sound ? DurationMs(vm, sound) : std::nullopt;
    return duration ? Value::Number(*duration) : Value();
}

Value SoundPositionValue(Vm& vm, const Value& self, std::span<const Value>) {
    SoundObject* sound = ThisSound(self);
    const auto duration = sound ? DurationMs(vm, sound) : std::nullopt;
    return duration ? Value::Number(PositionMs(vm, sound, *duration)) : Value();
}

// Bytes of a loaded file; nothing for a sound that was never loaded.
Value SoundBytes(Vm&, const Value& self, std::span<const Value>) {
    SoundObject* sound = ThisSound(self);
    return sound && sound->loadedMs >= 0 ? Value::Number(sound->loadedBytes) : Value();
}

// The names scripts also read some tag fields by.
std::string_view Id3Alias(std::string_view id) {
    static constexpr std::pair<std::string_view, std::string_view> kAliases[] = {
        {"TPE1", "artist"}, {"TALB", "album"}, {"TIT2", "songname"}, {"TRCK", "track"},
        {"TYER", "year"},   {"TCON", "genre"}, {"COMM", "comment"}};
    for (const auto& [frame, alias] : kAliases)
        if (frame == id) return alias;
    return {};
}

// The tag's fields on the sound's id3 object, each under its alias first; comments gather in
// an array. An id3 the script set first is kept (and a text one takes no fields); the one made
// here is read-only.
void SetId3(Vm& vm, Object* sound, const std::vector<Id3Field>& fields) {
    Value id3 = vm.Get(sound, "id3");
    if (id3.IsUndefined()) {
        // Bare: it converts to nothing, as the player's own does.
        id3 = Value::Obj(vm.GetHeap().New<Object>(nullptr));
        vm.DefineValue(sound, "id3", id3, kReadOnly);
    }
    Object* tags = id3.AsObject();
    if (!tags) return;
    for (const Id3Field& field : fields) {
        if (vm.Stopped()) return;
        const Value text = vm.Str(field.text);
        if (const std::string_view alias = Id3Alias(field.id); !alias.empty())
            vm.Set(tags, alias, text);
        if (field.id != "COMM") {
            vm.Set(tags, field.id, text);
            continue;
        }
        Object* comments = vm.Get(tags, "COMM").AsObject();
        if (!comments || comments->Kind() != ObjectKind::kArray) {
            comments = vm.NewArray();
            vm.Set(tags, "COMM", Value::Obj(comments));
        }
        const auto length = static_cast<ArrayObject*>(comments)->Length();
        vm.Set(comments, std::to_string(length), text);
    }
}

void CallHandler(Vm& vm, const Value& self, std::string_view name, const Value& arg) {
    const Value handler = vm.GetMember(self, name);
    if (handler.IsObject()) vm.Call(handler, self, std::span<const Value>(&arg, 1));
}

// loadSound(url, isStreaming): an MP3 file beside the movie. Its tags reach id3 and onID3,
// then its length getDuration and onLoad; a streamed one starts playing on the movie's clock.
// The file is read at once, so the handlers run before loadSound returns.
Value SoundLoad(Vm& vm, const Value& self, std::span<const Value> args) {
    SoundObject* sound = ThisSound(self);
    if (!sound || args.empty()) return Value();
    const std::string url = vm.ToString(args[0]);
    const bool streaming = vm.ToBoolean(Arg(args, 1));
    std::string bytes, reason;
    if (!vm.GetHost().ReadBytesBeside(url, &bytes, &reason)) {
        vm.GetHost().Problem("a script asked Sound.loadSound(\"" + url + "\"): " + reason +
                             "; the load fails");
        CallHandler(vm, self, "onLoad", Value::Boolean(false));
        return Value();
    }
    vm.GetHost().Problem("Sound.loadSound(\"" + url +
                         "\"): its tags and length are read; the sound is not mixed in");
    const std::span<const std::uint8_t> file(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                             bytes.size());
    EndCompletion(vm, sound);
    sound->attached.clear();
    sound->startedMs = sound->stoppedAtMs = -1;
    sound->loadedMs = 0;
    sound->loadedBytes = static_cast<double>(bytes.size());
    const int load = ++sound->loads;
    if (const std::vector<Id3Field> fields = ReadId3(file); !fields.empty()) {
        SetId3(vm, sound, fields);
        CallHandler(vm, self, "onID3", Value::Boolean(true));
    }
    // A handler may have loaded another file into the object meanwhile.
    if (sound->loads != load) return Value();
    const std::optional<double> ms = Mp3DurationMs(file);
    sound->loadedMs = ms ? std::round(*ms) : 0;
    if (streaming && sound->loadedMs > 0) PlayFrom(vm, self, sound, 0, sound->loadedMs);
    CallHandler(vm, self, "onLoad", Value::Boolean(true));
    return Value();
}

void InstallSound(Vm& vm) {
    Realm& realm = vm.GetRealm();
    Object* p = vm.NewObject();
    vm.DefineClass(realm.global, "Sound", SoundConstruct, nullptr, p);
    realm.nativeClasses.emplace_back(p, MakeSound);
    const std::pair<const char*, NativeFn> methods[] = {
        {"getPan", SoundGetPan},         {"getTransform", SoundGetTransform},
        {"getVolume", SoundGetVolume},   {"setPan", SoundSetPan},
        {"setTransform", SoundSetTransform}, {"setVolume", SoundSetVolume},
        {"stop", SoundStop},             {"attachSound", SoundAttach},
        {"start", SoundStart},           {"getDuration", SoundDurationValue},
        {"setDuration", Nothing},        {"getPosition", SoundPositionValue},
        {"setPosition", Nothing},        {"loadSound", SoundLoad},
        {"getBytesLoaded", SoundBytes},  {"getBytesTotal", SoundBytes},
    };
    for (const auto& [name, fn] : methods) vm.DefineMethod(p, name, fn, kHidden);
    // Movies before version 7 have no such properties, and may make their own.
    if (vm.Version() >= 7) {
        DefineNativeAccessor(vm, p, "duration", SoundDurationValue, Nothing, kHidden);
        DefineNativeAccessor(vm, p, "position", SoundPositionValue, Nothing, kHidden);
    }
}

// ---- SharedObject ---------------------------------------------------------------------------

// Stores live for the run only: getLocal hands back the same object for the same name and
// path, and flush keeps nothing anywhere.
constexpr const char* kStoresKey = "__stores";

Value SharedGetLocal(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* ctor = self.AsObject();
    if (!ctor || args.empty()) return Value::Null();
    const std::string name = vm.ToString(args[0]);
    if (name.empty() || name.size() > 256 ||
        name.find_first_of("~%&\\;:\"',<>?# ") != std::string::npos)
        return Value::Null();
    const std::string key =
        name + "@" + (args.size() > 1 && !args[1].IsUndefined() ? vm.ToString(args[1]) : "");
    Object* stores = vm.Get(ctor, kStoresKey).AsObject();
    if (!stores) {
        stores = vm.NewObject();
        stores->SetProto(nullptr);
        vm.DefineValue(ctor, kStoresKey, Value::Obj(stores), kHidden);
    }
    if (stores->FindOwn(key)) {
        const Value existing = stores->FindOwn(key)->value;
        if (existing.IsObject()) return existing;
    }
    Object* proto = vm.Get(ctor, "prototype").AsObject();
    Object* store = vm.NewObject();
    store->SetProto(proto);
    Object* data = vm.NewObject();
    vm.DefineValue(store, "data", Value::Obj(data), kDontDelete);
    stores->Put(vm.Intern(key), key, Value::Obj(store));
    return Value::Obj(store);
}

Value SharedClear(Vm& vm, const Value& self, std::span<const Value>) {
    if (Object* o = self.AsObject()) vm.DefineValue(o, "data", Value::Obj(vm.NewObject()), kDontDelete);
    return Value();
}

// The size a store's data would take written out: a rough count of its names and values.
Value SharedGetSize(Vm& vm, const Value& self, std::span<const Value>) {
    Object* o = self.AsObject();
    Object* data = o ? vm.Get(o, "data").AsObject() : nullptr;
    if (!data) return Value::Number(0);
    double size = 0;
    for (const Property& p : data->Properties()) {
        if (p.IsAccessor()) continue;
        size += static_cast<double>(p.key.size()) + 3;
        if (p.value.IsString()) size += static_cast<double>(p.value.Text().size()) + 2;
        else size += 8;
    }
    return Value::Number(size);
}

void InstallSharedObject(Vm& vm) {
    Realm& realm = vm.GetRealm();
    Object* p = vm.NewObject();
    Object* ctor = vm.DefineClass(realm.global, "SharedObject", Nothing, nullptr, p);
    vm.DefineMethod(ctor, "getLocal", SharedGetLocal);
    vm.DefineMethod(p, "flush", Yes);
    vm.DefineMethod(p, "clear", SharedClear);
    vm.DefineMethod(p, "getSize", SharedGetSize);
    vm.DefineMethod(p, "close", Nothing);
    vm.DefineMethod(p, "connect", No);
    vm.DefineMethod(p, "setFps", No);
}

// ---- LocalConnection ------------------------------------------------------------------------

Value ConnectionDomain(Vm& vm, const Value&, std::span<const Value>) {
    return vm.Str("localhost");
}

// The name a connection listens on or sends to, as the player files it: "domain:name" in
// lower case, the domain this movie's when none is given; a name that begins with an
// underscore is shared by every domain and takes no prefix.
std::string QualifiedConnectionName(std::string_view name) {
    std::string folded(name);
    for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (folded.front() == '_' || folded.find(':') != std::string::npos) return folded;
    return "localhost:" + folded;
}

// A connection listens on one name at a time, one no other connection holds.
Value ConnectionConnect(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* connection = self.AsObject();
    if (!connection || args.empty() || !args[0].IsString()) return Value::Boolean(false);
    const std::string_view name = args[0].Text();
    if (name.empty() || name.find(':') != std::string_view::npos) return Value::Boolean(false);
    return Value::Boolean(vm.Listen(QualifiedConnectionName(name), connection));
}

Value ConnectionClose(Vm& vm, const Value& self, std::span<const Value>) {
    if (Object* connection = self.AsObject()) vm.StopListening(connection);
    return Value();
}

// Queues the call for whoever listens on the name when the next tick begins; the sender's
// onStatus hears "status" or, when no one listened then or now, "error".
Value ConnectionSend(Vm& vm, const Value& self, std::span<const Value> args) {
    static constexpr std::string_view kReserved[] = {"send", "connect", "close", "allowDomain",
                                                     "allowInsecureDomain", "domain"};
    if (args.size() < 2 || !args[0].IsString() || !args[1].IsString()) return Value::Boolean(false);
    const std::string_view name = args[0].Text(), method = args[1].Text();
    if (name.empty() || method.empty()) return Value::Boolean(false);
    if (std::find(std::begin(kReserved), std::end(kReserved), method) != std::end(kReserved))
        return Value::Boolean(false);
    std::string qualified = QualifiedConnectionName(name);
    const bool heard = vm.HasListener(qualified);
    vm.QueueMessage(self, std::move(qualified), args[1],
                    std::vector<Value>(args.begin() + 2, args.end()), heard);
    return Value::Boolean(true);
}

void InstallLocalConnection(Vm& vm) {
    Realm& realm = vm.GetRealm();
    Object* p = vm.NewObject();
    vm.DefineClass(realm.global, "LocalConnection", Nothing, nullptr, p);
    vm.DefineMethod(p, "domain", ConnectionDomain, kHidden);
    vm.DefineMethod(p, "connect", ConnectionConnect, kHidden);
    vm.DefineMethod(p, "close", ConnectionClose, kHidden);
    vm.DefineMethod(p, "send", ConnectionSend, kHidden);
}

// ---- ContextMenu ----------------------------------------------------------------------------

Value MenuConstruct(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    if (!o) return self;
    vm.Set(o, "onSelect", Arg(args, 0));
    Object* builtIn = vm.NewObject();
    for (const char* item : {"print", "forward_back", "rewind", "loop", "play", "quality",
                             "zoom", "save"}) {
        vm.Set(builtIn, item, Value::Boolean(true));
    }
    vm.Set(o, "builtInItems", Value::Obj(builtIn));
    vm.Set(o, "customItems", Value::Obj(vm.NewArray()));
    return self;
}

Value MenuHideBuiltIns(Vm& vm, const Value& self, std::span<const Value>) {
    Object* o = self.AsObject();
    Object* builtIn = o ? vm.Get(o, "builtInItems").AsObject() : nullptr;
    if (!builtIn) return Value();
    for (const char* item : {"print", "forward_back", "rewind", "loop", "play", "quality",
                             "zoom", "save"}) {
        vm.Set(builtIn, item, Value::Boolean(false));
    }
    return Value();
}

Value MenuCopy(Vm& vm, const Value& self, std::span<const Value>) {
    Object* o = self.AsObject();
    if (!o) return Value();
    const Value ctor = vm.Get(vm.GetRealm().global, "ContextMenu");
    const Value copy = vm.Construct(ctor, {});
    Object* c = copy.AsObject();
    if (!c) return copy;
    vm.Set(c, "onSelect", vm.Get(o, "onSelect"));
    Object* from = vm.Get(o, "builtInItems").AsObject();
    Object* to = vm.Get(c, "builtInItems").AsObject();
    if (from && to) {
        for (const char* item : {"print", "forward_back", "rewind", "loop", "play", "quality",
                                 "zoom", "save"}) {
            vm.Set(to, item, vm.Get(from, item));
        }
    }
    const Value items = vm.Get(o, "customItems");
    if (Object* list = items.AsObject()) {
        const Value sliced = vm.CallMethod(Value::Obj(list), "slice", {});
        vm.Set(c, "customItems", sliced);
    }
    return copy;
}

Value ItemConstruct(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    if (!o) return self;
    vm.Set(o, "caption", Arg(args, 0));
    vm.Set(o, "onSelect", Arg(args, 1));
    vm.Set(o, "separatorBefore", Value::Boolean(vm.ToBoolean(Arg(args, 2))));
    vm.Set(o, "enabled", Value::Boolean(args.size() > 3 ? vm.ToBoolean(args[3]) : true));
    vm.Set(o, "visible", Value::Boolean(args.size() > 4 ? vm.ToBoolean(args[4]) : true));
    return self;
}

Value ItemCopy(Vm& vm, const Value& self, std::span<const Value>) {
    Object* o = self.AsObject();
    if (!o) return Value();
    const Value fields[5] = {vm.Get(o, "caption"), vm.Get(o, "onSelect"),
                             vm.Get(o, "separatorBefore"), vm.Get(o, "enabled"),
                             vm.Get(o, "visible")};
    return vm.Construct(vm.Get(vm.GetRealm().global, "ContextMenuItem"), fields);
}

void InstallContextMenu(Vm& vm) {
    Realm& realm = vm.GetRealm();
    Object* menu = vm.NewObject();
    vm.DefineClass(realm.global, "ContextMenu", MenuConstruct, nullptr, menu);
    vm.DefineMethod(menu, "hideBuiltInItems", MenuHideBuiltIns);
    vm.DefineMethod(menu, "copy", MenuCopy);
    Object* item = vm.NewObject();
    vm.DefineClass(realm.global, "ContextMenuItem", ItemConstruct, nullptr, item);
    vm.DefineMethod(item, "copy", ItemCopy);
}

}  // namespace

void InstallSystem(Vm& vm) {
    InstallSystemObject(vm);
    InstallSound(vm);
    InstallSharedObject(vm);
    InstallLocalConnection(vm);
    InstallContextMenu(vm);
}

}  // namespace player::script
