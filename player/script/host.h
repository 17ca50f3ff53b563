// What the script engine asks of the movie it runs in. The engine has no I/O of its own: the
// timeline implements these interfaces and answers for its clips, its output and its problems.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>
#include <string>
#include <string_view>

#include "player/media/image.h"
#include "player/script/value.h"

namespace player::script {

class Vm;
class Object;
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

// One drawing call on a clip (moveTo, lineTo, beginFill, ...), its arguments already read into
// plain numbers. Coordinates are in pixels of the clip's own space; colours 0xRRGGBB with
// alphas in percent; gradient ratios 0..255.
struct DrawCommand {
    enum class Kind : std::uint8_t {
        kMoveTo,
        kLineTo,
        kCurveTo,
        kBeginFill,
        kBeginGradientFill,
        kBeginBitmapFill,
        kLineStyle,
        kLineGradientStyle,
        kEndFill,
        kClear,
    };
    enum class Gradient : std::uint8_t { kLinear, kRadial };
    enum class Cap : std::uint8_t { kRound, kNone, kSquare };
    enum class Join : std::uint8_t { kRound, kBevel, kMiter };
    struct Stop {
        std::uint32_t rgb = 0;
        double alpha = 100;
        double ratio = 0;
    };

    Kind kind = Kind::kMoveTo;
    double x = 0, y = 0;                  // moveTo, lineTo; the anchor of curveTo
    double controlX = 0, controlY = 0;    // curveTo
    bool none = false;                    // beginFill or lineStyle without a style: none
    std::uint32_t rgb = 0;                // beginFill, lineStyle
    double alpha = 100;                   // beginFill, lineStyle
    double thickness = 0;                 // lineStyle, pixels (0: a hairline)
    bool pixelHinting = false;
    bool noHScale = false, noVScale = false;
    Cap cap = Cap::kRound;
    Join join = Join::kRound;
    double miterLimit = 3;
    // Gradients: stops, the matrix from the gradient box (-819.2..819.2 pixels) into the
    // clip (a, b, c, d, tx, ty), spread (0 pad, 1 reflect, 2 repeat), interpolation (0 RGB,
    // 1 linear RGB) and the focal point (-1..1; 0 for a plain radial gradient).
    Gradient gradient = Gradient::kLinear;
    std::vector<Stop> stops;
    double matrix[6] = {1, 0, 0, 1, 0, 0};
    int spread = 0;
    int interpolation = 0;
    double focal = 0;
    // Bitmap fills: the bitmap's pixels (shared with the BitmapData, so later changes show),
    // `matrix` from its pixels into the clip, tiled or its edge pixels stretched, smoothed.
    std::shared_ptr<const media::Image> bitmap;
    bool repeat = true;
    bool smooth = false;
};

// A colour transform in plain numbers: multipliers (1 = unchanged) and offsets (-255..255),
// red, green, blue, alpha.
struct ColorNumbers {
    double mult[4] = {1, 1, 1, 1};
    double add[4] = {0, 0, 0, 0};
};

// A filter as a SWF stores it: its kind (0 drop shadow ... 7 gradient bevel) and its fields.
struct FilterData {
    std::uint8_t id = 0;
    std::vector<std::uint8_t> bytes;
};

// One movie clip (a sprite instance or a root) as scripts see it. Frames are zero-based.
class ClipHost {
  public:
    virtual ~ClipHost() = default;
    // The clip's script object, made the first time it is asked for.
    virtual ClipObject* ScriptObject(Vm& vm) = 0;
    virtual ClipHost* Parent() = 0;  // null for a root
    // The child display object of that instance name that is a clip, or null.
    virtual ClipHost* Child(std::string_view name, bool caseSensitive) = 0;
    // The instance names of the children scripts can reach (clips, buttons, text fields),
    // the highest depth first.
    virtual std::vector<std::string> ChildNames() const { return {}; }
    // Whether the clip is a button instance (scripts see it as an object, not a movieclip).
    virtual bool IsButton() const { return false; }
    virtual int Level() const = 0;  // the _levelN this clip's root sits on
    // The SWF version of the movie the clip's timeline comes from (0: not known).
    virtual int MovieVersion() const { return 0; }
    virtual std::string Name() const = 0;
    // The class scripts registered for the clip's library symbol, or null.
    virtual Object* RegisteredClass(Vm&) { return nullptr; }
    // Claims the clip's construction (its class's constructor, or onConstruct): true the
    // first time only, so a clip a script made and constructed is not constructed again.
    virtual bool ClaimConstruction() { return false; }
    // Whether a stage point (pixels) falls inside what the clip's shapes fill or stroke, by
    // their outlines and fill rules rather than their boxes.
    virtual bool ShapesCover(double /*x*/, double /*y*/) { return false; }

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

    // The box around what the clip shows, in pixels of `space`'s coordinates (the stage's
    // when null); empty when it shows nothing.
    struct Box {
        double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
        bool empty = true;
    };
    virtual Box Bounds(ClipHost* space) = 0;
    // Points between the clip's coordinates and the stage's, in pixels.
    virtual void LocalToGlobal(double* x, double* y) = 0;
    virtual void GlobalToLocal(double* x, double* y) = 0;

    // Display properties other than the ones above; undefined when the clip has none.
    virtual Value GetDisplayProperty(Vm& vm, ClipProperty property) = 0;
    virtual void SetDisplayProperty(Vm& vm, ClipProperty property, const Value& value) = 0;

    // The clip's own drawing, changed one call at a time.
    virtual void Draw(const DrawCommand&) {}
    // The clip's colour transform (identity for a clip that has none).
    virtual ColorNumbers GetColorTransform() const { return {}; }
    virtual void SetColorTransform(const ColorNumbers&) {}
    // The clip's matrix (a, b, c, d in units, tx, ty in pixels), and the one from the clip to
    // the stage through all of its parents.
    virtual std::array<double, 6> GetMatrix() const { return {1, 0, 0, 1, 0, 0}; }
    virtual void SetMatrix(const std::array<double, 6>&) {}
    virtual std::array<double, 6> GetConcatenatedMatrix() const { return GetMatrix(); }
    // What the clip draws and holds, in its own space: x min, y min, x max, y max in pixels;
    // nothing for a clip that covers nothing.
    virtual std::optional<std::array<double, 4>> LocalBounds() const { return std::nullopt; }
    // The child text field of that instance name, or null (clips without fields keep these).
    virtual TextHost* TextChild(std::string_view /*name*/, bool /*caseSensitive*/) {
        return nullptr;
    }
    // The characters of the static text the clip shows (its own, not its children's), in
    // depth order; none when the clip has no static text of its own.
    virtual std::optional<std::u32string> StaticText() const { return std::nullopt; }
    // A new empty text field inside this clip (pixels); null when it cannot be made.
    virtual TextHost* CreateTextField(std::string_view /*name*/, int /*depth*/, double /*x*/,
                                      double /*y*/, double /*width*/, double /*height*/) {
        return nullptr;
    }
    // How the clip is composited onto what is beneath it, by its SWF number (1 normal ...
    // 14 hard light); 0 when it was never set. Clips without compositing keep the defaults.
    virtual int GetBlendMode() const { return 0; }
    virtual void SetBlendMode(int /*mode*/) {}
    // The filters the clip is drawn through, first applied first.
    virtual std::vector<FilterData> GetFilters() const { return {}; }
    virtual void SetFilters(std::vector<FilterData> /*filters*/) {}
    // A bitmap's pixels shown at a depth of the clip (replacing what is there); false when it
    // cannot be placed. Later changes to the pixels show on later frames.
    virtual bool AttachBitmap(std::shared_ptr<const media::Image> /*pixels*/, int /*depth*/,
                              bool /*smoothing*/) {
        return false;
    }
    // Draws what the clip holds (its drawing and children; not its own placement, colour or
    // filters) over `target`, premultiplied ARGB: a pixel of the clip's space lands through
    // `matrix` (a, b, c, d, tx, ty) on the target's pixels and its colours go through `color`;
    // bitmaps are smoothed when `smoothing`. False when the clip cannot be drawn.
    virtual bool DrawInto(media::Image& /*target*/, const std::array<double, 6>& /*matrix*/,
                          const ColorNumbers& /*color*/, bool /*smoothing*/) {
        return false;
    }
    // The colour (0xRRGGBB) filling the clip's bounds behind it, or none.
    virtual std::optional<std::uint32_t> GetOpaqueBackground() const { return std::nullopt; }
    virtual void SetOpaqueBackground(std::optional<std::uint32_t> /*rgb*/) {}
    virtual bool GetCacheAsBitmap() const { return false; }
    virtual void SetCacheAsBitmap(bool /*on*/) {}
    // The part of itself the clip shows, moved to its origin: x, y, width, height in pixels.
    virtual std::optional<std::array<double, 4>> GetScrollRect() const { return std::nullopt; }
    virtual void SetScrollRect(std::optional<std::array<double, 4>> /*rect*/) {}
    // Shows the clip only where `mask` (another clip, no longer drawn itself) covers it; null
    // takes the mask away.
    virtual void SetMask(ClipHost* /*mask*/) {}
    // The length of the file the clip's movie came from (getBytesTotal, a loader's progress).
    virtual double MovieBytes() const { return 0; }
    // Variables or a movie the clip loaded arrived: its onClipEvent(data) handlers run.
    virtual void DataArrived() {}
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
    // Selects the characters from `begin` up to `end` (kept within the text); replaceSel
    // replaces them.
    virtual void Select(int /*begin*/, int /*end*/) {}
};

// The size of a line of text as a field would show it, in pixels.
struct TextExtent {
    double ascent = 0, descent = 0, width = 0, height = 0;
};

// How loud a clip's sounds play, as Sound objects set it: the volume and how much of each
// channel goes to each speaker (left to left, left to right, right to right, right to left),
// in percent.
struct SoundMix {
    double volume = 100;
    double ll = 100, lr = 0, rr = 100, rl = 0;
};

class Host {
  public:
    virtual ~Host() = default;
    // The stage's size in pixels; false when the host has no stage.
    virtual bool StageSize(double* /*width*/, double* /*height*/) const { return false; }
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

    // Input as the movie sees it: whether a key (by Key code) is held, and the code and
    // character of the last key pressed. A host without input has no keys down.
    virtual bool KeyIsDown(int /*code*/) { return false; }
    virtual int LastKeyCode() { return 0; }
    virtual int LastKeyAscii() { return 0; }
    // A clip follows the pointer until StopDrag: centred on it when lockCenter, else keeping
    // its offset; kept inside `bounds` (left, top, right, bottom in the parent's pixels) when
    // given. One clip is dragged at a time.
    virtual void StartDrag(ClipHost* /*clip*/, bool /*lockCenter*/,
                           const std::optional<std::array<double, 4>>& /*bounds*/) {}
    virtual void StopDrag() {}

    // A file beside the movie for a script's load (loadVariables, LoadVars, XML), as text;
    // false with a one-line reason when it may not or cannot be read.
    virtual bool ReadTextBeside(std::string_view /*address*/, std::string* /*text*/,
                                std::string* reason) {
        *reason = "this player loads nothing";
        return false;
    }
    // The same, as the file's bytes (a sound a script loads).
    virtual bool ReadBytesBeside(std::string_view /*address*/, std::string* /*bytes*/,
                                 std::string* reason) {
        *reason = "this player loads nothing";
        return false;
    }

    // Sounds a script's Sound object plays for `clip` (the whole movie's for a root): a library
    // sound by the name it is exported under, started now `loops` times from `offsetSeconds`
    // into it; stopped (every sound of the clip when the name is empty); how long it plays once
    // in seconds; and the levels the clip's sounds play at. False or nothing when the movie
    // has no sound of that name.
    virtual bool StartSound(ClipHost* /*clip*/, std::string_view /*exportName*/, int /*loops*/,
                            double /*offsetSeconds*/) {
        return false;
    }
    virtual void StopSound(ClipHost* /*clip*/, std::string_view /*exportName*/) {}
    virtual std::optional<double> SoundDuration(ClipHost* /*clip*/,
                                                std::string_view /*exportName*/) {
        return std::nullopt;
    }
    virtual void SetSoundMix(ClipHost* /*clip*/, const SoundMix& /*mix*/) {}

    // The pixels of the library bitmap exported under `exportName` (BitmapData.loadBitmap),
    // decoded; null when the movie exports no bitmap of that name or it cannot be decoded.
    virtual std::shared_ptr<const media::Image> LibraryBitmap(std::string_view /*exportName*/) {
        return nullptr;
    }

    // A movie file beside this one loaded by a script, as a download that completes at once:
    // into `clip` (a fresh clip of the loaded movie's root timeline takes its place) or, when
    // clip is null, onto _level`level`. Returns the clip that now holds it, with *bytes the
    // file's length (0 for a file that is no movie: the clip is left empty); null with a
    // one-line reason when the file may not or cannot be read.
    virtual ClipHost* LoadMovie(std::string_view /*address*/, ClipHost* /*clip*/, int /*level*/,
                                double* /*bytes*/, std::string* reason) {
        *reason = "this player loads nothing";
        return nullptr;
    }
    // Takes what a clip shows away (unloadMovie): a level above 0 goes, a clip is left empty.
    virtual void UnloadMovie(ClipHost* /*clip*/) {}
};

}  // namespace player::script
