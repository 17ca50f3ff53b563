// The typed movie model: plain structs for the header, the character dictionary and the
// timelines, with values in file units (twips, 16.16 and 8.8 fixed point). Built once by the
// reader, never changed afterwards; the timeline and the renderer only read it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "player/limits.h"
#include "player/media/image.h"
#include "player/sound/sound_model.h"

namespace player {

struct Rect {  // twips
    std::int32_t xMin = 0, xMax = 0, yMin = 0, yMax = 0;
    bool operator==(const Rect&) const = default;
};

struct Rgba {
    std::uint8_t r = 0, g = 0, b = 0, a = 255;
    bool operator==(const Rgba&) const = default;
};

// x' = scaleX * x + rotateSkew1 * y + translateX; y' = rotateSkew0 * x + scaleY * y + translateY
struct Matrix {
    std::int32_t scaleX = 1 << 16, scaleY = 1 << 16;  // 16.16
    std::int32_t rotateSkew0 = 0, rotateSkew1 = 0;    // 16.16
    std::int32_t translateX = 0, translateY = 0;      // twips
    bool operator==(const Matrix&) const = default;
};

// c' = c * mult / 256 + add, per channel R, G, B, A.
struct ColorTransform {
    std::int16_t mult[4] = {256, 256, 256, 256};  // 8.8
    std::int16_t add[4] = {0, 0, 0, 0};
    bool operator==(const ColorTransform&) const = default;
};

struct GradientRecord {
    std::uint8_t ratio = 0;
    Rgba color;
    bool operator==(const GradientRecord&) const = default;
};

enum class SpreadMode : std::uint8_t { kPad = 0, kReflect = 1, kRepeat = 2 };
enum class Interpolation : std::uint8_t { kRgb = 0, kLinearRgb = 1 };

struct Gradient {
    Matrix matrix;  // maps the gradient square (-16384..16384 twips) into the shape
    SpreadMode spread = SpreadMode::kPad;
    Interpolation interpolation = Interpolation::kRgb;
    std::vector<GradientRecord> records;
    std::int16_t focalPoint = 0;  // 8.8, focal radial only
    bool operator==(const Gradient&) const = default;
};

enum class FillKind : std::uint8_t {
    kSolid = 0x00,
    kLinear = 0x10,
    kRadial = 0x12,
    kFocalRadial = 0x13,
    kRepeatingBitmap = 0x40,
    kClippedBitmap = 0x41,
    kRepeatingBitmapHard = 0x42,
    kClippedBitmapHard = 0x43,
};

struct FillStyle {
    FillKind kind = FillKind::kSolid;
    Rgba color;         // solid
    Gradient gradient;  // linear, radial, focal radial
    std::uint16_t bitmapId = 0;
    Matrix bitmapMatrix;
    // A script's bitmap (drawn instead of bitmapId's when set), shared with its BitmapData.
    std::shared_ptr<const media::Image> image;
    bool operator==(const FillStyle&) const = default;
};

enum class CapStyle : std::uint8_t { kRound = 0, kNone = 1, kSquare = 2 };
enum class JoinStyle : std::uint8_t { kRound = 0, kBevel = 1, kMiter = 2 };

struct LineStyle {
    std::uint16_t width = 0;  // twips
    Rgba color;
    CapStyle startCap = CapStyle::kRound;
    CapStyle endCap = CapStyle::kRound;
    JoinStyle join = JoinStyle::kRound;
    std::uint16_t miterLimit = 3 << 8;  // 8.8
    bool noHScale = false;
    bool noVScale = false;
    bool pixelHinting = false;
    bool noClose = false;
    std::optional<FillStyle> fill;  // a stroke painted with a fill style
    bool operator==(const LineStyle&) const = default;
};

struct StyleArrays {
    std::vector<FillStyle> fills;
    std::vector<LineStyle> lines;
    bool operator==(const StyleArrays&) const = default;
};

// Style indexes are 1-based into the current arrays; 0 means "none".
struct StyleChange {
    std::optional<std::int32_t> moveX, moveY;  // absolute, twips
    std::optional<std::uint32_t> fill0, fill1, line;
    std::optional<StyleArrays> newStyles;
    bool operator==(const StyleChange&) const = default;
};
struct StraightEdge {
    std::int32_t dx = 0, dy = 0;
    bool operator==(const StraightEdge&) const = default;
};
struct CurvedEdge {
    std::int32_t controlDx = 0, controlDy = 0, anchorDx = 0, anchorDy = 0;
    bool operator==(const CurvedEdge&) const = default;
};
using ShapeRecord = std::variant<StyleChange, StraightEdge, CurvedEdge>;

struct Shape {
    std::uint16_t id = 0;
    int version = 1;  // DefineShape 1..4
    Rect bounds;
    Rect edgeBounds;  // DefineShape4 only
    bool nonZeroWinding = false;
    bool usesNonScalingStrokes = false;
    bool usesScalingStrokes = false;
    StyleArrays styles;
    std::vector<ShapeRecord> records;
};

struct Filter {
    std::uint8_t id = 0;              // 0 drop shadow ... 7 gradient bevel
    std::vector<std::uint8_t> bytes;  // the filter's fields as stored
    bool operator==(const Filter&) const = default;
};

// One onClipEvent handler of a placed clip: the events it answers and its actions.
enum ClipEvent : std::uint32_t {
    kClipLoad = 1u << 0,
    kClipEnterFrame = 1u << 1,
    kClipUnload = 1u << 2,
    kClipMouseMove = 1u << 3,
    kClipMouseDown = 1u << 4,
    kClipMouseUp = 1u << 5,
    kClipKeyDown = 1u << 6,
    kClipKeyUp = 1u << 7,
    kClipData = 1u << 8,
    kClipInitialize = 1u << 9,
    kClipPress = 1u << 10,
    kClipRelease = 1u << 11,
    kClipReleaseOutside = 1u << 12,
    kClipRollOver = 1u << 13,
    kClipRollOut = 1u << 14,
    kClipDragOver = 1u << 15,
    kClipDragOut = 1u << 16,
    kClipKeyPress = 1u << 17,
    kClipConstruct = 1u << 18,
};
struct ClipAction {
    std::uint32_t events = 0;  // ClipEvent bits
    std::uint8_t keyCode = 0;  // with kClipKeyPress
    std::vector<std::uint8_t> actions;
    bool operator==(const ClipAction&) const = default;
};

// PlaceObject, PlaceObject2 and PlaceObject3 in one form; absent fields are unset.
struct PlaceObject {
    int version = 1;
    std::uint16_t depth = 0;
    bool move = false;
    std::optional<std::uint16_t> characterId;
    std::optional<Matrix> matrix;
    std::optional<ColorTransform> colorTransform;
    std::optional<std::uint16_t> ratio;
    std::optional<std::string> name;
    std::optional<std::uint16_t> clipDepth;
    std::optional<std::string> className;
    std::optional<std::vector<Filter>> filters;
    std::optional<std::uint8_t> blendMode;
    std::optional<std::uint8_t> cacheAsBitmap;
    std::optional<std::uint8_t> visible;
    std::optional<Rgba> backgroundColor;
    std::vector<ClipAction> clipActions;
};

struct RemoveObject {
    std::uint16_t depth = 0;
    std::optional<std::uint16_t> characterId;  // RemoveObject (version 1) only
    bool operator==(const RemoveObject&) const = default;
};

using DisplayCommand = std::variant<PlaceObject, RemoveObject>;

// A DoAction body as stored: action records for the script engine, which decodes them.
using ActionBlock = std::vector<std::uint8_t>;

// DoInitAction: actions run once, before the frame's own, for the sprite they name.
struct InitAction {
    std::uint16_t spriteId = 0;
    ActionBlock actions;
};

struct Frame {
    std::vector<DisplayCommand> commands;
    std::vector<ActionBlock> actions;  // one per DoAction tag, in file order
    // For each action block, how many of the frame's display commands came before it.
    std::vector<std::uint32_t> actionsAfter;
    std::vector<InitAction> initActions;
    std::optional<std::string> label;
    std::vector<sound::StartSound> sounds;  // StartSound/StartSound2, in file order
    std::optional<std::vector<std::uint8_t>> streamBlock;  // SoundStreamBlock's data
};

// One VideoFrame tag: the codec's data for one frame of a stream.
struct VideoFrame {
    std::uint16_t streamId = 0;
    std::uint16_t frameNumber = 0;
    std::vector<std::uint8_t> data;  // the VideoData after StreamID and FrameNum
};

struct Timeline {
    std::vector<Frame> frames;
    std::map<std::string, int> labels;  // label -> zero-based frame
    // A sprite's VideoFrame tags, until the reader files them in Movie::videoFrames.
    std::vector<VideoFrame> videoFrames;
    std::optional<sound::StreamHead> streamHead;  // the format of its frames' stream blocks
};

struct Sprite {
    std::uint16_t id = 0;
    std::uint16_t declaredFrameCount = 0;
    Timeline timeline;
};

// A tag the engine does not model (or could not read): code and bytes as stored.
struct RawTag {
    std::uint16_t code = 0;
    std::vector<std::uint8_t> bytes;
};

// A bitmap character as stored; the renderer decodes it on first use.
struct Bitmap {
    enum class Kind : std::uint8_t {
        kJpegWithTables,
        kJpeg2,
        kJpeg3,
        kJpeg4,
        kLossless,
        kLossless2
    };
    std::uint16_t id = 0;
    Kind kind = Kind::kLossless;
    std::vector<std::uint8_t> body;  // the tag body after the character id
};

// A shape tween (DefineMorphShape, DefineMorphShape2): every style and edge has a start and an
// end form; a placed object's ratio (0..65535) picks the shape in between.
struct MorphGradientRecord {
    GradientRecord start, end;
};
struct MorphFillStyle {
    FillKind kind = FillKind::kSolid;
    Rgba startColor, endColor;
    Matrix startMatrix, endMatrix;  // gradient or bitmap matrix
    SpreadMode spread = SpreadMode::kPad;
    Interpolation interpolation = Interpolation::kRgb;
    std::vector<MorphGradientRecord> records;
    std::int16_t startFocalPoint = 0, endFocalPoint = 0;
    std::uint16_t bitmapId = 0;
};
struct MorphLineStyle {
    std::uint16_t startWidth = 0, endWidth = 0;
    Rgba startColor, endColor;
    CapStyle startCap = CapStyle::kRound, endCap = CapStyle::kRound;
    JoinStyle join = JoinStyle::kRound;
    std::uint16_t miterLimit = 3 << 8;
    bool noHScale = false, noVScale = false, pixelHinting = false, noClose = false;
    std::optional<MorphFillStyle> fill;
};
struct MorphShape {
    std::uint16_t id = 0;
    int version = 1;  // DefineMorphShape 1 or 2
    Rect startBounds, endBounds;
    std::vector<MorphFillStyle> fills;
    std::vector<MorphLineStyle> lines;
    std::vector<ShapeRecord> startRecords;  // styles and edges
    std::vector<ShapeRecord> endRecords;    // moves and edges only
};

// A button (DefineButton, DefineButton2): characters with the states they show in, each state
// kept as a one-frame timeline placed and played like a sprite's, and the actions that run on
// the pointer's and keys' transitions.
struct ButtonRecord {
    bool up = false, over = false, down = false, hitTest = false;
    std::uint16_t characterId = 0;
    std::uint16_t depth = 0;
    Matrix matrix;
    std::optional<ColorTransform> colorTransform;  // DefineButton2, or DefineButtonCxform
    std::vector<Filter> filters;                   // DefineButton2 only
    std::optional<std::uint8_t> blendMode;         // DefineButton2 only
};
// The transitions a button's actions run on, as stored in a condition record (first byte
// high); the key code of a key-press condition is kept apart.
enum ButtonTransition : std::uint16_t {
    kButtonIdleToOverDown = 0x8000,
    kButtonOutDownToIdle = 0x4000,
    kButtonOutDownToOverDown = 0x2000,
    kButtonOverDownToOutDown = 0x1000,
    kButtonOverDownToOverUp = 0x0800,  // released over the button
    kButtonOverUpToOverDown = 0x0400,  // pressed
    kButtonOverUpToIdle = 0x0200,      // the pointer left
    kButtonIdleToOverUp = 0x0100,      // the pointer came over
    kButtonOverDownToIdle = 0x0001,
};
struct ButtonAction {
    std::uint16_t transitions = 0;  // ButtonTransition bits
    std::uint8_t keyCode = 0;       // non-zero: runs when this key is pressed
    ActionBlock actions;
};
struct Button {
    std::uint16_t id = 0;
    int version = 1;  // DefineButton 1 or 2
    bool trackAsMenu = false;
    std::vector<ButtonRecord> records;
    Timeline upState, overState, downState;
    std::vector<ButtonAction> actions;
};

// A font (DefineFont, DefineFont2, DefineFont3) with what DefineFontInfo/2 and DefineFontName
// add to it. Glyph shapes are in EM units: 1024 to the EM square, 20480 in DefineFont3.
struct KerningPair {
    std::uint16_t left = 0, right = 0;  // character codes
    std::int16_t adjustment = 0;        // EM units
    bool operator==(const KerningPair&) const = default;
};
struct Font {
    std::uint16_t id = 0;
    int version = 1;  // DefineFont 1..3
    std::string name;
    bool bold = false, italic = false, smallText = false, shiftJis = false, ansi = false;
    bool wideCodes = false;
    std::uint8_t language = 0;
    std::vector<std::vector<ShapeRecord>> glyphs;  // one outline per glyph, fill style 1
    std::vector<std::uint16_t> codes;              // character code of each glyph
    bool hasLayout = false;
    std::int32_t ascent = 0, descent = 0, leading = 0;  // EM units
    std::vector<std::int16_t> advances;                 // per glyph, EM units
    std::vector<Rect> glyphBounds;
    std::vector<KerningPair> kerning;
    std::string displayName, copyright;  // DefineFontName

    double EmSquare() const { return version == 3 ? 1024.0 * 20 : 1024.0; }
};

// DefineText/DefineText2: runs of glyphs from embedded fonts, placed by the text's matrix.
struct GlyphEntry {
    std::uint32_t index = 0;   // into the font's glyphs
    std::int32_t advance = 0;  // twips
    bool operator==(const GlyphEntry&) const = default;
};
struct TextRecord {
    std::optional<std::uint16_t> fontId;
    std::optional<Rgba> color;
    std::optional<std::int16_t> xOffset, yOffset;  // twips; the pen's absolute position
    std::uint16_t height = 0;                      // twips; given with the font
    std::vector<GlyphEntry> glyphs;
    bool operator==(const TextRecord&) const = default;
};
struct StaticText {
    std::uint16_t id = 0;
    int version = 1;  // 2: colours with alpha
    Rect bounds;
    Matrix matrix;
    std::vector<TextRecord> records;
};

// DefineEditText: a text field with its initial text, plain or in the HTML subset.
enum class TextAlign : std::uint8_t { kLeft = 0, kRight = 1, kCenter = 2, kJustify = 3 };
struct EditText {
    std::uint16_t id = 0;
    Rect bounds;
    bool wordWrap = false, multiline = false, password = false, readOnly = false;
    bool autoSize = false, noSelect = false, border = false, wasStatic = false, html = false;
    bool useOutlines = false;
    // The file's border flag gives both a white background and a black border; scripts set
    // each and their colours apart.
    bool background = false;
    Rgba backgroundColor{255, 255, 255, 255};
    Rgba borderColor{0, 0, 0, 255};
    std::optional<std::uint16_t> fontId;
    std::string fontClass;
    std::uint16_t fontHeight = 240;  // twips
    std::optional<Rgba> color;
    std::optional<std::uint16_t> maxLength;
    TextAlign align = TextAlign::kLeft;
    std::uint16_t leftMargin = 0, rightMargin = 0, indent = 0;  // twips
    std::int16_t leading = 0;                                   // twips
    std::string variableName;
    std::string initialText;  // as stored (UTF-8 from version 6 on, else the 8-bit code page)
    // 0 for a field as the movie defines it; a field a script changes gets a new number with
    // each change, so that its layout is made again.
    std::uint64_t revision = 0;
};

// An embedded video stream (DefineVideoStream); its frames are in Movie::videoFrames. A placed
// stream shows the frame its placement's ratio names.
struct VideoStream {
    std::uint16_t id = 0;
    std::uint16_t frameCount = 0;
    std::uint16_t width = 0, height = 0;  // pixels
    std::uint8_t deblocking = 0;          // 0..7 as stored
    bool smoothing = false;               // bilinear when scaled, else nearest
    std::uint8_t codecId = 0;             // 2 H.263, 3 Screen Video, 4 VP6, 5 VP6 alpha, 6 SV2
};

// One stream's VideoData by frame number.
using VideoFrames = std::map<std::uint16_t, std::vector<std::uint8_t>>;

// A dictionary entry: what the renderer and the timeline know how to use, or the raw tag.
using Character = std::variant<Shape, Sprite, Bitmap, MorphShape, Button, Font, StaticText,
                               EditText, VideoStream, RawTag>;

struct Movie {
    Limits limits;  // the caps it was read under and plays under
    std::uint8_t version = 0;
    Rect frameSize;
    std::uint16_t frameRate = 0;  // 8.8
    std::uint16_t declaredFrameCount = 0;
    std::size_t fileBytes = 0;  // the length of the file it was read from
    std::optional<Rgba> background;
    std::vector<std::uint8_t> jpegTables;  // the JPEGTables body DefineBits images share
    std::map<std::uint16_t, std::shared_ptr<const Character>> dictionary;
    Timeline root;
    std::map<std::uint16_t, VideoFrames> videoFrames;  // by stream id, root and sprites alike
    std::vector<RawTag> rawTags;                       // tags kept but not modelled, in file order
    std::vector<std::string> problems;                 // what could not be read, one line each
    bool truncated = false;                            // the file broke off before its End tag
    bool actionScript3 = false;                        // scripts in DoABC tags (not run)
    std::map<std::string, std::uint16_t> exports;      // ExportAssets: name -> character
    // ImportAssets: ids of this movie that stand for characters another movie beside it
    // exports (its address, the name it exports them under).
    struct Import {
        std::string url;
        std::string name;
    };
    std::map<std::uint16_t, Import> imports;
    std::optional<std::uint16_t> maxRecursion;         // the ScriptLimits tag's depth
    std::map<std::uint16_t, sound::SoundDefinition> sounds;  // DefineSound by id

    const Character* Find(std::uint16_t id) const {
        auto it = dictionary.find(id);
        return it == dictionary.end() ? nullptr : it->second.get();
    }
};

}  // namespace player
