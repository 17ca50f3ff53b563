// Shared pieces of the built-in objects: argument access and the installers of each group.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "player/media/image.h"
#include "player/script/vm.h"

namespace player::script {

inline Value Arg(std::span<const Value> args, std::size_t i) {
    return i < args.size() ? args[i] : Value();
}

// Flags of a built-in's own members: not enumerated, not deleted.
inline constexpr std::uint16_t kHidden = kDontEnum | kDontDelete;

// Natives that answer the same whatever they are given (what a player without a device or a
// service still has).
inline Value Nothing(Vm&, const Value&, std::span<const Value>) { return Value(); }
inline Value Null(Vm&, const Value&, std::span<const Value>) { return Value::Null(); }
inline Value Yes(Vm&, const Value&, std::span<const Value>) { return Value::Boolean(true); }
inline Value No(Vm&, const Value&, std::span<const Value>) { return Value::Boolean(false); }

// The object a method was called on, when it is of the given kind.
template <class T>
T* This(const Value& self, ObjectKind kind) {
    Object* o = self.AsObject();
    return o && o->Kind() == kind ? static_cast<T*>(o) : nullptr;
}

// A getter and setter pair on `on`, as addProperty makes them; a null setter leaves the
// property read-only to scripts (assignments are ignored).
void DefineNativeAccessor(Vm& vm, Object* on, std::string_view name, NativeFn get, NativeFn set,
                    std::uint16_t flags = kDontEnum);

void InstallObjectAndFunction(Vm& vm);
void InstallGlobals(Vm& vm);
void InstallPrimitives(Vm& vm);  // Boolean, Number, String
void InstallArray(Vm& vm);
void InstallMath(Vm& vm);
void InstallMovieClip(Vm& vm);
void InstallDrawing(Vm& vm);  // MovieClip's drawing methods
void InstallColorAndGeom(Vm& vm);  // Color and flash.geom
// AsBroadcaster; returns it.
Object* InstallBroadcaster(Vm& vm);
// Gives `o` a fresh listener list and AsBroadcaster's methods.
void MakeBroadcaster(Vm& vm, Object* o);
// removeMovieClip and the RemoveSprite action: a clip, or a text field, placed at a script
// depth leaves the display.
void RemoveDisplayObject(Vm& vm, Object* o);

// The constructor Object.registerClass gave a library symbol's export name in a movie of
// `movieVersion`, or null.
Object* RegisteredClass(Vm& vm, std::string_view exportName, int movieVersion);
// The clip a tellTarget path, or a slash path read as a variable, names from `base`: unlike
// a variable's path, it cannot start from `this`.
Object* ResolveTargetPath(Vm& vm, std::string_view path, Object* base);
// A new clip's construction, once: its object takes the registered class's prototype, the
// init object's properties, then the class's constructor runs on it (or, without a class,
// its onConstruct method). Nothing when the clip was constructed before; without a class,
// init object or onConstruct method, no script object is made for the clip.
void ConstructClip(Vm& vm, ClipHost* clip, const Value& init);

void InstallDate(Vm& vm);
void InstallError(Vm& vm);
void InstallXml(Vm& vm);  // XMLNode and XML
void InstallLoadVars(Vm& vm);
void InstallText(Vm& vm);  // TextField and TextFormat
// TextField.StyleSheet, as a member of the TextField class (builtins_stylesheet.cpp).
void InstallStyleSheet(Vm& vm, Object* textField);
// Stage, Key, Mouse and Selection: the player's window and input (builtins_stage.cpp).
void InstallStageAndInput(Vm& vm);
// Tells the listeners of one of the input objects ("Key", "Mouse", "Stage", "Selection")
// of an event, as the player's input does when something happens.
void BroadcastInput(Vm& vm, std::string_view source, std::string_view event,
                    std::span<const Value> args = {});
// System (capabilities, security), Sound, SharedObject, LocalConnection, ContextMenu and
// TextSnapshot (builtins_system.cpp).
void InstallSystem(Vm& vm);
// flash.display.BitmapData (builtins_bitmap.cpp).
void InstallBitmapData(Vm& vm);
// flash.external.ExternalInterface (builtins_external.cpp).
void InstallExternalInterface(Vm& vm);
// NetConnection, NetStream and XMLSocket (builtins_net.cpp).
void InstallNet(Vm& vm);
// Camera, Microphone, Video, PrintJob, Accessibility and Button (builtins_devices.cpp).
void InstallDevices(Vm& vm);
// The pixels of a BitmapData that is not disposed, or null for anything else.
std::shared_ptr<const media::Image> BitmapPixels(const Value& v);
// flash.filters and MovieClip.filters (builtins_filters.cpp).
void InstallFilters(Vm& vm);
// MovieClip's compositing properties: blendMode (builtins_display.cpp).
void InstallDisplay(Vm& vm);
void InstallInput(Vm& vm);  // MovieClip's dragging

// What load, sendAndLoad and the like do: the file beside the movie is read and `target`
// hears of it as from a download, on the next frame: its onData runs with the text. A load the
// host refuses or cannot make is reported as a problem and onData runs with nothing. loaded is
// false until then. Returns what load returns.
Value LoadText(Vm& vm, const Value& target, std::string_view kind, const std::string& url);

// loadVariables into a clip: on the next frame the URL-encoded variables are set on it and
// its onData runs.
void LoadVariablesInto(Vm& vm, ClipHost* clip, const std::string& url);

// Movies loaded by scripts (builtins_loading.cpp): MovieClipLoader and the clip methods.
void InstallLoading(Vm& vm);
// A movie file beside this one loaded into `target` (a clip's object, or a level number) once
// the frame's scripts have run; `loader`, a MovieClipLoader or undefined, hears how it went.
void RequestMovieLoad(Vm& vm, const std::string& url, const Value& target, const Value& loader);
// unloadMovie: the clip (or level) named by `target` is emptied (a level goes).
void UnloadMovieFrom(Vm& vm, const Value& target);

}  // namespace player::script
