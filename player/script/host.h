// What the script engine asks of the movie it runs in. The engine has no I/O of its own: the
// timeline implements these interfaces and answers for its clips, its output and its problems.
#pragma once

#include <cstdint>
#include <span>
#include <vector>
#include <string>
#include <string_view>

#include "player/script/value.h"

namespace player::script {

class Vm;
class ClipObject;
class TextHost;

// The properties GetProperty and SetProperty name by index, in their index order.
enum class ClipProperty : std::uint8_t {
    kX,
    kY,
    kXScale,
    kYScale,
    kCurrentFrame,
    kTotalFrames,
    kAlpha,
    kVisible,
    kWidth,
    kHeight,
    kRotation,
    kTarget,
    kFramesLoaded,
    kName,
    kDropTarget,
    kUrl,
    kHighQuality,
    kFocusRect,
    kSoundBufTime,
    kQuality,
    kXMouse,
    kYMouse,
};
inline constexpr int kClipPropertyCount = 22;

// One movie clip (a sprite instance or a root) as scripts see it. Frames are zero-based.
class ClipHost {
  public:
    virtual ~ClipHost() = default;
    // The clip's script object, made the first time it is asked for.
    virtual ClipObject* ScriptObject(Vm& vm) = 0;
    virtual ClipHost* Parent() = 0;  // null for a root
    // The child display object of that instance name that is a clip, or null.
    virtual ClipHost* Child(std::string_view name, bool caseSensitive) = 0;
    virtual int Level() const = 0;  // the _levelN this clip's root sits on
    virtual std::string Name() const = 0;

    virtual int CurrentFrame() const = 0;
    virtual int TotalFrames() const = 0;
    virtual int FramesLoaded() const = 0;
    // The frame a label names, or -1 (labels match without regard to case).
    virtual int FindLabel(std::string_view label) const = 0;
    // Goes to a frame (clamped to the timeline); the play flag is left as it is.
    virtual void GotoFrame(int frame) = 0;
    virtual void SetPlaying(bool playing) = 0;
    // The action blocks of one of the clip's frames, for the Call action.
    virtual std::vector<std::span<const std::uint8_t>> FrameScripts(int frame) const = 0;
    // A copy of the clip beside it under a new name and depth; null when it cannot be made.
    virtual ClipHost* Duplicate(std::string_view name, int depth) = 0;
    // Takes a clip made by script off the display; false for other clips.
    virtual bool Remove() = 0;
    // A new clip of the library symbol exported under `exportName` (or an empty clip for an
    // empty name) inside this one; null when there is no such symbol or no room.
    virtual ClipHost* Attach(std::string_view exportName, std::string_view name, int depth) = 0;
    // Depths as scripts number them (timeline depths start at -16383).
    virtual int Depth() const = 0;
    virtual ClipHost* AtDepth(int depth) = 0;
    virtual int NextHighestDepth() const = 0;
    // Trades places with whatever is at `depth` in the same parent.
    virtual void SwapDepths(int depth) = 0;

    // Display properties other than the ones above; undefined when the clip has none.
    virtual Value GetDisplayProperty(Vm& vm, ClipProperty property) = 0;
    virtual void SetDisplayProperty(Vm& vm, ClipProperty property, const Value& value) = 0;

    // The child text field of that instance name, or null (clips without fields keep these).
    virtual TextHost* TextChild(std::string_view /*name*/, bool /*caseSensitive*/) {
        return nullptr;
    }
    // A new empty text field inside this clip (pixels); null when it cannot be made.
    virtual TextHost* CreateTextField(std::string_view /*name*/, int /*depth*/, double /*x*/,
                                      double /*y*/, double /*width*/, double /*height*/) {
        return nullptr;
    }
};

// One text field as scripts see it. Its properties and methods are the host's to answer: the
// field's text, formats and layout live with the display.
class TextHost {
  public:
    virtual ~TextHost() = default;
    virtual ClipHost* Parent() = 0;
    virtual std::string Name() const = 0;
    // A property by name (display properties ignore case); false when the field has none.
    virtual bool GetField(Vm& vm, std::string_view key, Value* out) = 0;
    virtual bool SetField(Vm& vm, std::string_view key, const Value& value) = 0;
    // A TextField method by name; undefined for a name it does not know.
    virtual Value CallField(Vm& vm, std::string_view method, std::span<const Value> args) = 0;
};

// The size of a line of text as a field would show it, in pixels.
struct TextExtent {
    double ascent = 0, descent = 0, width = 0, height = 0;
};

class Host {
  public:
    virtual ~Host() = default;
    // Measures text in a font (by name) and size (pixels), broken into lines to fit a field
    // wrapWidth wide when that is positive; false when the host cannot measure text.
    virtual bool MeasureText(std::string_view /*text*/, std::string_view /*font*/,
                             double /*size*/, bool /*bold*/, bool /*italic*/,
                             double /*wrapWidth*/, TextExtent* /*out*/) {
        return false;
    }
    virtual void Trace(std::string_view line) = 0;
    // Something in the movie's scripts that could not be done; the movie goes on.
    virtual void Problem(std::string line) = 0;
    // The root clip of _levelN, or null when nothing is loaded there.
    virtual ClipHost* Level(int n) = 0;
};

}  // namespace player::script
