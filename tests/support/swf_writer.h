// SWF writer for tests and tools: builds movies from plain structs, plain (FWS), zlib (CWS) or
// LZMA (ZWS), in memory or on disk, including deliberately malformed ones.
//
//   swfw::Movie movie;                                   // 550 x 400 px, 12 fps, version 10, FWS
//   movie.compression = swfw::Compression::Zlib;
//   swfw::Shape box(1);                                  // character id 1
//   box.Fill(box.AddFill(swfw::FillStyle::Solid(swfw::Rgb(255, 0, 0))))
//       .Line(box.AddLine(swfw::LineStyle::Solid(40, swfw::Rgb(0, 0, 0))))
//       .Rectangle(0, 0, 2000, 1000);                    // twips, clockwise on screen
//   movie.Background(swfw::Rgb(255, 255, 255))
//       .Define(box)
//       .Place(swfw::PlaceObject::New(1, 1).At(400, 400))
//       .ShowFrame();
//   swfw::Buffer bytes = movie.Bytes();                  // or movie.Save("/tmp/box.swf")
//
// Malformed movies: Movie::frameCount and Movie::declaredLength may lie, RawTag writes any code
// with any bytes and any declared length, Movie::appendEnd drops the End tag, and a test may cut
// Bytes() or Body() short itself (Pack() wraps a cut body in a header):
//
//   movie.declaredLength = 1u << 30;                     // the header lies about the length
//   movie.Tag(swfw::EncodeShape(box).Cut(5));            // a DefineShape cut after 5 bytes
//   movie.Tag(swfw::RawTag(12, {0x07}, false, 9999));    // a DoAction claiming 9999 bytes
//   swfw::Buffer cut = movie.Bytes();
//   cut.resize(12);                                      // a file that ends inside the stage
//
// Units are the file's: coordinates in twips (1/20 px), 8.8 and 16.16 fixed point where the
// format has them; helpers taking doubles convert once.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "tests/support/bit_writer.h"

namespace swfw {

// ---- Basic records -------------------------------------------------------------------------

struct Color {
    std::uint8_t r = 0, g = 0, b = 0, a = 255;
    bool operator==(const Color&) const = default;
};
constexpr Color Rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return {r, g, b, 255};
}
constexpr Color Rgba(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a) {
    return {r, g, b, a};
}

// Twips, in the file's field order.
struct Rect {
    std::int32_t xMin = 0, xMax = 0, yMin = 0, yMax = 0;
    bool operator==(const Rect&) const = default;
};

struct Point {
    std::int32_t x = 0, y = 0;
};

// x' = x * scaleX + y * rotateSkew1 + translateX;  y' = x * rotateSkew0 + y * scaleY + translateY.
struct Matrix {
    std::int32_t scaleX = 0x10000, scaleY = 0x10000;  // 16.16
    std::int32_t rotateSkew0 = 0, rotateSkew1 = 0;    // 16.16
    std::int32_t translateX = 0, translateY = 0;      // twips

    static Matrix Translate(std::int32_t x, std::int32_t y);
    // a = scaleX, b = rotateSkew0, c = rotateSkew1, d = scaleY.
    static Matrix Affine(double a, double b, double c, double d, std::int32_t x, std::int32_t y);
    // Scales, then rotates clockwise on screen by `degrees`, then moves to (x, y).
    static Matrix ScaleRotate(double sx, double sy, double degrees, std::int32_t x, std::int32_t y);
    // Maps the gradient square (-16384..16384 twips) onto the box, rotated about its centre.
    static Matrix GradientBox(std::int32_t x, std::int32_t y, std::int32_t width,
                              std::int32_t height, double degrees = 0);

    bool HasScale() const { return scaleX != 0x10000 || scaleY != 0x10000; }
    bool HasRotate() const { return rotateSkew0 != 0 || rotateSkew1 != 0; }
    bool operator==(const Matrix&) const = default;
};

// Multipliers are 8.8 (256 = 1.0), additions are added to 0..255 channels.
struct ColorTransform {
    std::int16_t redMult = 256, greenMult = 256, blueMult = 256, alphaMult = 256;
    std::int16_t redAdd = 0, greenAdd = 0, blueAdd = 0, alphaAdd = 0;

    static ColorTransform Alpha(double alpha);
    static ColorTransform Tint(double r, double g, double b, double a = 1.0);

    bool HasMult(bool withAlpha) const;
    bool HasAdd(bool withAlpha) const;
};

// ---- Styles --------------------------------------------------------------------------------

enum class SpreadMode : std::uint8_t { Pad = 0, Reflect = 1, Repeat = 2 };
enum class InterpolationMode : std::uint8_t { Normal = 0, Linear = 1 };

struct GradientStop {
    std::uint8_t ratio = 0;
    Color color;
};

// At most 15 stops are written.
struct Gradient {
    SpreadMode spread = SpreadMode::Pad;
    InterpolationMode interpolation = InterpolationMode::Normal;
    std::vector<GradientStop> stops;
    std::int16_t focalPoint = 0;  // 8.8, -1.0..1.0; written for focal fills only
};

enum class FillType : std::uint8_t {
    Solid = 0x00,
    Linear = 0x10,
    Radial = 0x12,
    Focal = 0x13,
    RepeatingBitmap = 0x40,
    ClippedBitmap = 0x41,
    RepeatingBitmapHard = 0x42,  // not smoothed
    ClippedBitmapHard = 0x43,
};

struct FillStyle {
    FillType type = FillType::Solid;
    Color color;        // solid
    Matrix matrix;      // gradient and bitmap
    Gradient gradient;  // gradient
    std::uint16_t bitmapId = 0;

    static FillStyle Solid(Color color);
    static FillStyle Linear(const Matrix& matrix, std::vector<GradientStop> stops,
                            SpreadMode spread = SpreadMode::Pad,
                            InterpolationMode interpolation = InterpolationMode::Normal);
    static FillStyle Radial(const Matrix& matrix, std::vector<GradientStop> stops,
                            SpreadMode spread = SpreadMode::Pad,
                            InterpolationMode interpolation = InterpolationMode::Normal);
    // `focal` from -1 to 1 along the gradient's x axis (DefineShape4 only).
    static FillStyle Focal(const Matrix& matrix, std::vector<GradientStop> stops, double focal,
                           SpreadMode spread = SpreadMode::Pad,
                           InterpolationMode interpolation = InterpolationMode::Normal);
    // The matrix maps bitmap pixels to shape twips (20 = one pixel per pixel).
    static FillStyle Bitmap(std::uint16_t bitmapId, const Matrix& matrix, bool repeat = true,
                            bool smooth = true);

    bool IsGradient() const;
    bool IsBitmap() const;
};

enum class CapStyle : std::uint8_t { Round = 0, None = 1, Square = 2 };
enum class JoinStyle : std::uint8_t { Round = 0, Bevel = 1, Miter = 2 };

// Written as LINESTYLE in DefineShape 1-3 (width and colour only) and as LINESTYLE2 in
// DefineShape4; a shape of automatic version becomes DefineShape4 when any line needs more.
struct LineStyle {
    std::uint16_t width = 20;  // twips
    Color color;
    CapStyle startCap = CapStyle::Round;
    CapStyle endCap = CapStyle::Round;
    JoinStyle join = JoinStyle::Round;
    std::uint16_t miterLimit = 3 << 8;  // 8.8, written for miter joins only
    bool noHScale = false, noVScale = false, pixelHinting = false, noClose = false;
    std::optional<FillStyle> fill;  // fill on stroke

    static LineStyle Solid(std::uint16_t width, Color color);
    LineStyle& Caps(CapStyle cap);
    LineStyle& Join(JoinStyle joinStyle, double miter = 3.0);
    LineStyle& NoScale(bool horizontal = true, bool vertical = true);
    LineStyle& FillWith(const FillStyle& style);

    bool NeedsStyle2() const;
};

// ---- Shape records and paths ---------------------------------------------------------------

struct StyleChange {
    std::optional<Point> moveTo;  // absolute, shape coordinates
    std::optional<std::uint32_t> fill0, fill1, line;
    bool newStyles = false;
    std::vector<FillStyle> fills;  // with newStyles
    std::vector<LineStyle> lines;
};
struct StraightEdge {
    std::int32_t dx = 0, dy = 0;
};
struct CurvedEdge {
    std::int32_t controlDx = 0, controlDy = 0, anchorDx = 0, anchorDy = 0;
};
using ShapeRecord = std::variant<StyleChange, StraightEdge, CurvedEdge>;

// Drawing commands in absolute twips, recorded as SWF shape records. Edges longer than an
// edge record holds are split. Style indices are 1-based into the current style arrays, 0 is
// "none". Selecting styles takes effect at the next MoveTo or edge, merged into one record.
template <class Self>
class PathOps {
  public:
    Self& MoveTo(std::int32_t x, std::int32_t y);
    Self& LineTo(std::int32_t x, std::int32_t y);
    Self& CurveTo(std::int32_t cx, std::int32_t cy, std::int32_t ax, std::int32_t ay);
    Self& Fill0(std::uint32_t index);
    Self& Fill1(std::uint32_t index);
    // The fill inside the closed outlines the helpers below draw (clockwise on screen, so the
    // inside is on the right of each edge: fill style 1).
    Self& Fill(std::uint32_t index) { return Fill1(index); }
    Self& Line(std::uint32_t index);
    // Starts new style arrays (DefineShape2 and later); indices then refer to these.
    Self& NewStyles(std::vector<FillStyle> fills, std::vector<LineStyle> lines);
    // Closed outlines, clockwise on screen, each starting with a MoveTo.
    Self& Rectangle(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height);
    Self& Ellipse(std::int32_t cx, std::int32_t cy, std::int32_t rx, std::int32_t ry);
    Self& Circle(std::int32_t cx, std::int32_t cy, std::int32_t r) { return Ellipse(cx, cy, r, r); }
    // Joins the points in order; closes back to the first when `closed`.
    Self& Polygon(const std::vector<Point>& points, bool closed = true);

    // The records so far, a style selection not yet followed by a MoveTo or edge included.
    std::vector<ShapeRecord> Records() const;
    // Every point reached, control points included; empty before the first MoveTo or edge.
    std::optional<Rect> PointBounds() const { return bounds_; }

  private:
    Self& self() { return static_cast<Self&>(*this); }
    StyleChange& Pending();
    void FlushPending();
    void Straight(std::int32_t dx, std::int32_t dy);
    void Curve(std::int32_t cdx, std::int32_t cdy, std::int32_t adx, std::int32_t ady);
    void Include(std::int32_t x, std::int32_t y);

    std::vector<ShapeRecord> records_;
    std::optional<StyleChange> pending_;
    Point pen_;
    std::optional<Rect> bounds_;
};

class Path : public PathOps<Path> {};

// DefineShape 1-4. Version 0 picks the smallest that holds the content: 4 for focal fills and
// lines that need LINESTYLE2, 3 for colours with alpha, 2 for new style arrays or more than 254
// styles, else 1.
class Shape : public PathOps<Shape> {
  public:
    explicit Shape(std::uint16_t characterId) : id(characterId) {}

    // Returns the 1-based index to select the style with.
    std::uint32_t AddFill(const FillStyle& style);
    std::uint32_t AddLine(const LineStyle& style);

    std::uint16_t id;
    int version = 0;
    std::optional<Rect> bounds;      // default: points grown by half the widest line
    std::optional<Rect> edgeBounds;  // DefineShape4; default: the points
    bool usesFillWindingRule = false, usesNonScalingStrokes = false, usesScalingStrokes = false;
    std::vector<FillStyle> fills;
    std::vector<LineStyle> lines;

    int ResolvedVersion() const;
    Rect ResolvedBounds() const;
};

// ---- Morph shapes --------------------------------------------------------------------------

struct MorphStop {
    std::uint8_t startRatio = 0;
    Color startColor;
    std::uint8_t endRatio = 0;
    Color endColor;
};

struct MorphFillStyle {
    FillType type = FillType::Solid;
    Color startColor, endColor;
    Matrix startMatrix, endMatrix;
    std::vector<MorphStop> stops;
    SpreadMode spread = SpreadMode::Pad;  // DefineMorphShape2
    InterpolationMode interpolation = InterpolationMode::Normal;
    std::uint16_t bitmapId = 0;

    static MorphFillStyle Solid(Color start, Color end);
    static MorphFillStyle Linear(const Matrix& start, const Matrix& end,
                                 std::vector<MorphStop> stops);
    static MorphFillStyle Radial(const Matrix& start, const Matrix& end,
                                 std::vector<MorphStop> stops);
    static MorphFillStyle Bitmap(std::uint16_t bitmapId, const Matrix& start, const Matrix& end,
                                 bool repeat = true, bool smooth = true);
};

struct MorphLineStyle {
    std::uint16_t startWidth = 20, endWidth = 20;
    Color startColor, endColor;
    // DefineMorphShape2 only:
    CapStyle startCap = CapStyle::Round, endCap = CapStyle::Round;
    JoinStyle join = JoinStyle::Round;
    std::uint16_t miterLimit = 3 << 8;
    bool noHScale = false, noVScale = false, pixelHinting = false, noClose = false;
    std::optional<MorphFillStyle> fill;

    static MorphLineStyle Solid(std::uint16_t startWidth, Color startColor, std::uint16_t endWidth,
                                Color endColor);
    bool NeedsStyle2() const;
};

// DefineMorphShape (1) or DefineMorphShape2 (2); version 0 picks 2 only when a line needs it.
// `start` carries the styles and edges; `end` must have the same edges in the same order
// (its style selections are ignored, only its MoveTos and edges are written).
class MorphShape {
  public:
    explicit MorphShape(std::uint16_t characterId) : id(characterId) {}

    std::uint32_t AddFill(const MorphFillStyle& style);
    std::uint32_t AddLine(const MorphLineStyle& style);

    std::uint16_t id;
    int version = 0;
    std::optional<Rect> startBounds, endBounds;          // default: points grown by lines
    std::optional<Rect> startEdgeBounds, endEdgeBounds;  // version 2; default: the points
    bool usesNonScalingStrokes = false, usesScalingStrokes = false;
    std::vector<MorphFillStyle> fills;
    std::vector<MorphLineStyle> lines;
    Path start, end;

    int ResolvedVersion() const;
};

// ---- Bitmaps -------------------------------------------------------------------------------

// DefineBitsLossless (withAlpha false) or DefineBitsLossless2 (true). `pixels` is the
// uncompressed data exactly as stored (the writer deflates it): format 3 colour table then
// indices (rows padded to 4 bytes), format 4 PIX15 rows padded to 4 bytes, format 5 one
// 4-byte pixel (A or reserved, R, G, B) each.
struct Bitmap {
    std::uint16_t id = 0;
    bool withAlpha = false;
    std::uint8_t format = 5;
    std::uint16_t width = 0, height = 0;
    std::uint8_t colorTableSize = 0;  // format 3: entries - 1
    Buffer pixels;

    // From straight (not premultiplied) 0xAARRGGBB pixels, row by row (missing ones are
    // transparent black). Without alpha the alpha is dropped; with alpha the colour is stored
    // premultiplied, as the format has it.
    static Bitmap Argb(std::uint16_t id, std::uint16_t width, std::uint16_t height,
                       const std::vector<std::uint32_t>& argb, bool withAlpha);
    // Colour-mapped: up to 256 palette entries (RGB, or RGBA with straight alpha), one index
    // per pixel, row by row.
    static Bitmap Indexed(std::uint16_t id, std::uint16_t width, std::uint16_t height,
                          const std::vector<Color>& palette,
                          const std::vector<std::uint8_t>& indices, bool withAlpha);
};

// DefineBits (6, when `tablesSeparate`: the encoding tables come from a JPEGTables tag),
// DefineBitsJPEG2 (21), DefineBitsJPEG3 (35, with `alpha`) or DefineBitsJPEG4 (90, with
// `deblock`). `image` is stored as given: JPEG, or PNG or GIF data in the later versions.
// `alpha` is one byte per pixel, uncompressed (the writer deflates it).
struct JpegBitmap {
    std::uint16_t id = 0;
    Buffer image;
    std::optional<Buffer> alpha;
    std::optional<std::uint16_t> deblock;  // 8.8
    bool tablesSeparate = false;
};

enum class VideoCodec : std::uint8_t {
    H263 = 2,
    ScreenVideo = 3,
    Vp6 = 4,
    Vp6Alpha = 5,
    ScreenVideo2 = 6,
};

// DefineVideoStream; its frames follow as VideoFrame tags on the timeline.
struct VideoStream {
    std::uint16_t id = 0;
    std::uint16_t frameCount = 0;
    std::uint16_t width = 0, height = 0;
    std::uint8_t deblocking = 0;  // 0..7
    bool smoothing = false;
    VideoCodec codec = VideoCodec::H263;
};

struct VideoFrame {
    std::uint16_t streamId = 0;
    std::uint16_t frame = 0;
    Buffer data;  // the codec's bytes for this frame
};

// ---- Text ----------------------------------------------------------------------------------

// DefineFont2 declaring a device font (a font name and no glyphs), for text fields.
struct DeviceFont {
    std::uint16_t id = 0;
    std::string name = "_sans";  // "_sans", "_serif", "_typewriter" or a family name
    bool bold = false, italic = false;
};

// DefineFont2 (version 2) or DefineFont3 (3) with glyph outlines. Outlines are drawn with fill
// style 1 in EM units: 1024 to the EM square in DefineFont2, 20480 in DefineFont3.
struct Glyph {
    std::uint16_t code = 0;
    Path outline;
    std::int16_t advance = 0;  // EM units
};

struct KerningRecord {
    std::uint16_t left = 0, right = 0;
    std::int16_t adjustment = 0;
};

struct Font {
    std::uint16_t id = 0;
    int version = 2;
    std::string name = "Embedded";
    bool bold = false, italic = false;
    std::vector<Glyph> glyphs;
    bool layout = true;  // ascent, descent, leading, advances, bounds and kerning
    std::uint16_t ascent = 0, descent = 0;
    std::int16_t leading = 0;
    std::vector<KerningRecord> kerning;
};

// DefineText (version 1) or DefineText2 (2, colours with alpha); version 0 picks 2 when a colour
// has alpha.
struct TextGlyph {
    std::uint32_t index = 0;
    std::int32_t advance = 0;  // twips
};

struct TextRun {
    std::optional<std::uint16_t> fontId;
    std::uint16_t height = 240;  // twips; written with the font
    std::optional<Color> color;
    std::optional<std::int16_t> x, y;
    std::vector<TextGlyph> glyphs;
};

struct Text {
    std::uint16_t id = 0;
    int version = 0;
    Rect bounds;
    Matrix matrix;
    std::vector<TextRun> runs;

    int ResolvedVersion() const;
};

// DefineEditText: a text field. Fields left unset are left out of the tag.
struct EditText {
    struct Layout {
        std::uint8_t align = 0;  // 0 left, 1 right, 2 centre, 3 justify
        std::uint16_t leftMargin = 0, rightMargin = 0, indent = 0;  // twips
        std::int16_t leading = 0;
    };

    std::uint16_t id = 0;
    Rect bounds;
    std::optional<std::string> text;
    std::optional<std::uint16_t> fontId;
    std::optional<std::string> fontClass;
    std::uint16_t fontHeight = 240;  // twips; written with a font id or class
    std::optional<Color> color;
    std::optional<std::uint16_t> maxLength;
    std::optional<Layout> layout;
    std::string variableName;
    bool wordWrap = false, multiline = false, password = false, readOnly = false;
    bool autoSize = false, noSelect = false, border = false, wasStatic = false, html = false;
    bool useOutlines = false;
};

// ---- Display list --------------------------------------------------------------------------

enum class BlendMode : std::uint8_t {
    Normal = 1,
    Layer,
    Multiply,
    Screen,
    Lighten,
    Darken,
    Difference,
    Add,
    Subtract,
    Invert,
    Alpha,
    Erase,
    Overlay,
    Hardlight,
};

// One entry of a PlaceObject3 filter list: the filter id and its encoded fields.
struct Filter {
    std::uint8_t id = 0;
    Buffer data;

    static Filter DropShadow(Color color, double blurX, double blurY, double angleRadians,
                             double distance, double strength, int passes = 1, bool inner = false,
                             bool knockout = false);
    static Filter Blur(double blurX, double blurY, int passes = 1);
    static Filter Glow(Color color, double blurX, double blurY, double strength, int passes = 1,
                       bool inner = false, bool knockout = false);
    // Written highlight colour first, as movies store it.
    static Filter Bevel(Color shadow, Color highlight, double blurX, double blurY,
                        double angleRadians, double distance, double strength, int passes = 1,
                        bool inner = true, bool knockout = false, bool onTop = false);
    static Filter GradientGlow(const std::vector<GradientStop>& stops, double blurX, double blurY,
                               double angleRadians, double distance, double strength,
                               int passes = 1, bool inner = false, bool knockout = false,
                               bool onTop = false);
    static Filter GradientBevel(const std::vector<GradientStop>& stops, double blurX, double blurY,
                                double angleRadians, double distance, double strength,
                                int passes = 1, bool inner = true, bool knockout = false,
                                bool onTop = false);
    static Filter Convolution(int columns, int rows, const std::vector<float>& matrix,
                              float divisor, float bias, Color defaultColor, bool clamp = true,
                              bool preserveAlpha = true);
    static Filter ColorMatrix(const std::array<float, 20>& matrix);
};

// PlaceObject 1-3. Version 0 picks 3 when a PlaceObject3 field is set, else 2; version 1 writes
// the character, depth, matrix (identity when unset) and colour transform without alpha.
struct PlaceObject {
    int version = 0;
    std::uint16_t depth = 1;
    std::optional<std::uint16_t> characterId;
    bool move = false;
    std::optional<Matrix> matrix;
    std::optional<ColorTransform> colorTransform;
    std::optional<std::uint16_t> ratio;
    std::optional<std::string> name;
    std::optional<std::uint16_t> clipDepth;
    // PlaceObject3:
    std::optional<std::string> className;
    std::optional<std::vector<Filter>> filters;
    std::optional<BlendMode> blendMode;
    std::optional<bool> cacheAsBitmap;
    std::optional<bool> visible;
    std::optional<Color> opaqueBackground;

    // A new character at a free depth.
    static PlaceObject New(std::uint16_t characterId, std::uint16_t depth);
    // Changes the character at `depth`.
    static PlaceObject Move(std::uint16_t depth);
    // Puts another character at an occupied depth, keeping what is not given.
    static PlaceObject Replace(std::uint16_t characterId, std::uint16_t depth);

    PlaceObject& At(std::int32_t x, std::int32_t y) { return With(Matrix::Translate(x, y)); }
    PlaceObject& With(const Matrix& m);
    PlaceObject& Colors(const ColorTransform& cx);
    PlaceObject& Ratio(std::uint16_t r);
    PlaceObject& Name(std::string n);
    PlaceObject& ClipDepth(std::uint16_t d);
    PlaceObject& Blend(BlendMode mode);
    PlaceObject& Filters(std::vector<Filter> list);
    PlaceObject& CacheAsBitmap(bool on = true);
    PlaceObject& Visible(bool on);
    PlaceObject& Version(int v);

    int ResolvedVersion() const;
};

// DoAction records, ended by the 0 action when written.
class Actions {
  public:
    Actions& Stop() { return Simple(0x07); }
    Actions& Play() { return Simple(0x06); }
    Actions& NextFrame() { return Simple(0x04); }
    Actions& PrevFrame() { return Simple(0x05); }
    Actions& GotoFrame(std::uint16_t frame);  // zero-based
    Actions& GotoLabel(const std::string& label);
    // Any action: codes from 0x80 carry a 16-bit length and `data`.
    Actions& Raw(std::uint8_t code, const Buffer& data = {});

    Buffer Bytes() const;  // with the closing 0

  private:
    Actions& Simple(std::uint8_t code) { return Raw(code); }
    BitWriter out_;
};

// ---- Buttons -------------------------------------------------------------------------------

// One character of a button and the states it shows in.
struct ButtonRecord {
    std::uint16_t characterId = 0;
    std::uint16_t depth = 1;
    Matrix matrix;
    ColorTransform colorTransform;
    bool up = true, over = false, down = false, hitTest = false;
    std::optional<BlendMode> blendMode;
    std::optional<std::vector<Filter>> filters;
};

// Transitions that run a button's actions (first flag byte high, second low, as stored).
enum ButtonCondition : std::uint16_t {
    kIdleToOverDown = 0x8000,
    kOutDownToIdle = 0x4000,
    kOutDownToOverDown = 0x2000,
    kOverDownToOutDown = 0x1000,
    kOverDownToOverUp = 0x0800,  // release
    kOverUpToOverDown = 0x0400,  // press
    kOverUpToIdle = 0x0200,      // roll out
    kIdleToOverUp = 0x0100,      // roll over
    kOverDownToIdle = 0x0001,
};

struct ButtonAction {
    std::uint16_t conditions = kOverDownToOverUp;  // ButtonCondition bits; key code << 1
    Actions actions;
};

// DefineButton2.
struct Button {
    std::uint16_t id = 0;
    bool trackAsMenu = false;
    std::vector<ButtonRecord> records;
    std::vector<ButtonAction> actions;
};

// ---- Tags and timelines --------------------------------------------------------------------

// A tag as it goes into the file. `declaredLength` replaces the true length in the header
// (lying length fields); `longHeader` forces the 6-byte header for short bodies.
struct RawTag {
    RawTag() = default;
    RawTag(std::uint16_t tagCode, Buffer tagBody, bool forceLongHeader = false,
           std::optional<std::uint32_t> lengthField = std::nullopt)
        : code(tagCode),
          body(std::move(tagBody)),
          longHeader(forceLongHeader),
          declaredLength(lengthField) {}

    std::uint16_t code = 0;  // 0..1023
    Buffer body;
    bool longHeader = false;
    std::optional<std::uint32_t> declaredLength;

    Buffer Bytes() const;
    // This tag with its body cut to `keep` bytes and its header still giving the full length.
    RawTag Cut(std::size_t keep) const;
};

enum TagCode : std::uint16_t {
    kEnd = 0,
    kShowFrame = 1,
    kDefineShape = 2,
    kPlaceObject = 4,
    kRemoveObject = 5,
    kDefineBits = 6,
    kJpegTables = 8,
    kSetBackgroundColor = 9,
    kDoAction = 12,
    kDefineBitsLossless = 20,
    kDefineBitsJpeg2 = 21,
    kDefineShape2 = 22,
    kPlaceObject2 = 26,
    kRemoveObject2 = 28,
    kDefineShape3 = 32,
    kDefineButton2 = 34,
    kDefineBitsJpeg3 = 35,
    kDefineBitsLossless2 = 36,
    kDefineEditText = 37,
    kDefineSprite = 39,
    kFrameLabel = 43,
    kDefineMorphShape = 46,
    kDefineFont2 = 48,
    kDefineFont3 = 75,
    kDefineText = 11,
    kDefineText2 = 33,
    kDefineVideoStream = 60,
    kVideoFrame = 61,
    kFileAttributes = 69,
    kPlaceObject3 = 70,
    kDefineShape4 = 83,
    kDefineMorphShape2 = 84,
    kDefineBitsJpeg4 = 90,
    kDoInitAction = 59,
    kDefineSound = 14,
    kStartSound = 15,
    kSoundStreamHead = 18,
    kSoundStreamBlock = 19,
    kSoundStreamHead2 = 45,
    kExportAssets = 56,
    kStartSound2 = 89,
};

// ---- Sound ---------------------------------------------------------------------------------

enum class SoundCodec : std::uint8_t {
    PcmNative = 0,
    Adpcm = 1,
    Mp3 = 2,
    PcmLittle = 3,
    Nellymoser16k = 4,
    Nellymoser8k = 5,
    Nellymoser = 6,
    Speex = 11,
};

// The format byte: codec, rate (0 = 5.5 kHz, 1 = 11, 2 = 22, 3 = 44), sample size, channels.
struct SoundFormat {
    SoundCodec codec = SoundCodec::PcmLittle;
    int rateCode = 3;
    bool sixteenBit = true;
    bool stereo = false;
};

// DefineSound. `data` as stored (for MP3: the seek samples and then the frames).
struct Sound {
    std::uint16_t id = 0;
    SoundFormat format;
    std::uint32_t sampleCount = 0;
    Buffer data;
};

struct SoundEnvelopePoint {
    std::uint32_t position = 0;  // 44.1 kHz samples
    std::uint16_t left = 32768;
    std::uint16_t right = 32768;
};

// SOUNDINFO.
struct SoundInfo {
    bool stop = false;
    bool noMultiple = false;
    std::optional<std::uint32_t> inPoint;
    std::optional<std::uint32_t> outPoint;
    std::optional<std::uint16_t> loops;
    std::vector<SoundEnvelopePoint> envelope;
};

// SoundStreamHead (version 1) or SoundStreamHead2 (2).
struct SoundStreamHead {
    int version = 2;
    SoundFormat format;
    std::uint16_t samplesPerBlock = 0;
    std::int16_t latencySeek = 0;  // written for MP3 only
};

// 16-bit little-endian PCM bytes of interleaved samples.
Buffer PcmBytes(const std::vector<std::int16_t>& samples);

// Tag encoders, for tests that want one tag's bytes.
RawTag EncodeShape(const Shape& shape);
RawTag EncodeMorphShape(const MorphShape& morph);
RawTag EncodeBitmap(const Bitmap& bitmap);
RawTag EncodeJpeg(const JpegBitmap& bitmap);
RawTag EncodeVideoStream(const VideoStream& stream);
RawTag EncodeVideoFrame(const VideoFrame& frame);
RawTag EncodeDeviceFont(const DeviceFont& font);
RawTag EncodeFont(const Font& font);
RawTag EncodeText(const Text& text);
RawTag EncodeButton(const Button& button);
RawTag EncodeEditText(const EditText& field);
RawTag EncodePlaceObject(const PlaceObject& place);
RawTag EncodeSound(const Sound& sound);
RawTag EncodeStartSound(std::uint16_t soundId, const SoundInfo& info);
RawTag EncodeStartSound2(const std::string& className, const SoundInfo& info);
RawTag EncodeSoundStreamHead(const SoundStreamHead& head);
RawTag EncodeExport(std::uint16_t characterId, const std::string& name);

class Sprite;
RawTag EncodeSprite(const Sprite& sprite);

class Asm;  // tests/support/avm1_asm.h

// A tag list with a fluent API; the movie's root timeline and DefineSprite share it.
template <class Self>
class Timeline {
  public:
    Self& Background(Color color);
    Self& Define(const Shape& shape) { return Tag(EncodeShape(shape)); }
    Self& Define(const MorphShape& morph) { return Tag(EncodeMorphShape(morph)); }
    Self& Define(const Bitmap& bitmap) { return Tag(EncodeBitmap(bitmap)); }
    Self& Define(const Sprite& sprite) { return Tag(EncodeSprite(sprite)); }
    Self& Define(const JpegBitmap& bitmap) { return Tag(EncodeJpeg(bitmap)); }
    Self& Define(const VideoStream& stream) { return Tag(EncodeVideoStream(stream)); }
    Self& Define(const DeviceFont& font) { return Tag(EncodeDeviceFont(font)); }
    Self& Define(const Font& font) { return Tag(EncodeFont(font)); }
    Self& Define(const Text& text) { return Tag(EncodeText(text)); }
    Self& Define(const Button& button) { return Tag(EncodeButton(button)); }
    Self& Define(const EditText& field) { return Tag(EncodeEditText(field)); }
    Self& Video(const VideoFrame& frame) { return Tag(EncodeVideoFrame(frame)); }
    Self& JpegTables(const Buffer& tables) { return Tag(RawTag{kJpegTables, tables}); }
    Self& Define(const Sound& sound) { return Tag(EncodeSound(sound)); }
    Self& StartSound(std::uint16_t soundId, const SoundInfo& info = {}) {
        return Tag(EncodeStartSound(soundId, info));
    }
    Self& StreamHead(const SoundStreamHead& head) { return Tag(EncodeSoundStreamHead(head)); }
    Self& StreamBlock(const Buffer& data) { return Tag(RawTag{kSoundStreamBlock, data}); }
    Self& Export(std::uint16_t characterId, const std::string& name) {
        return Tag(EncodeExport(characterId, name));
    }
    Self& Place(const PlaceObject& place) { return Tag(EncodePlaceObject(place)); }
    Self& Remove(std::uint16_t depth);                             // RemoveObject2
    Self& Remove(std::uint16_t characterId, std::uint16_t depth);  // RemoveObject
    Self& ShowFrame();
    Self& Label(const std::string& name, bool namedAnchor = false);
    Self& Do(const Actions& actions);
    Self& Do(const Asm& code);  // DoAction
    // DoInitAction: runs once, before the sprite's first use.
    Self& DoInit(std::uint16_t spriteId, const Asm& code);
    Self& End() { return Tag(RawTag{kEnd, {}}); }
    Self& Tag(RawTag tag);

    const std::vector<RawTag>& Tags() const { return tags_; }
    int FramesShown() const { return framesShown_; }
    // When false, Bytes() adds no End tag (for malformed timelines).
    bool appendEnd = true;

  protected:
    // The tags' bytes, with End added when wanted and not already last.
    Buffer TagBytes() const;

  private:
    Self& self() { return static_cast<Self&>(*this); }
    std::vector<RawTag> tags_;
    int framesShown_ = 0;
};

// DefineSprite: a clip with its own timeline. Frame count defaults to the ShowFrames added.
class Sprite : public Timeline<Sprite> {
  public:
    explicit Sprite(std::uint16_t characterId) : id(characterId) {}

    std::uint16_t id;
    std::optional<std::uint16_t> frameCount;

    Buffer Body() const;
};

// ---- Movie ---------------------------------------------------------------------------------

enum class Compression { None, Zlib, Lzma };

class Movie : public Timeline<Movie> {
  public:
    Compression compression = Compression::None;
    std::uint8_t version = 10;
    Rect stage{0, 550 * 20, 0, 400 * 20};
    std::uint16_t frameRate = 12 << 8;            // 8.8
    std::optional<std::uint16_t> frameCount;      // default: the ShowFrames added
    std::optional<std::uint32_t> declaredLength;  // default: the true uncompressed length

    Movie& Size(int widthPx, int heightPx);
    Movie& Rate(double framesPerSecond);
    Movie& Compress(Compression c);
    Movie& Version(std::uint8_t v);
    // Adds a FileAttributes tag (69) with the given flag bits.
    Movie& Attributes(std::uint32_t flags);

    // Everything after the 8-byte header, uncompressed: stage, rate, count and tags.
    Buffer Body() const;
    // The whole file.
    Buffer Bytes() const;
    // Writes Bytes() to `path`; false with a reason in *error when it cannot.
    bool Save(const std::string& path, std::string* error = nullptr) const;
};

// Wraps an uncompressed body in a file header: "FWS"/"CWS"/"ZWS", version, length field
// (8 + body size unless `declaredLength`), then the body stored as the compression asks.
// ZWS: the length field, a 32-bit length of the LZMA data, its 5 property bytes, the data.
Buffer Pack(Compression compression, std::uint8_t version, const Buffer& body,
            std::optional<std::uint32_t> declaredLength = std::nullopt);

// Deterministic zlib stream of `data` (level 9), as used in CWS bodies and lossless bitmaps.
Buffer Deflate(const Buffer& data);

// Record encoders, exposed for tests of bit packing. Values too wide for their field (31 bits
// in rectangles, matrices and moves, 15 in colour transforms) are saturated.
void WriteRect(BitWriter& out, const Rect& rect);
void WriteMatrix(BitWriter& out, const Matrix& matrix);
void WriteColorTransform(BitWriter& out, const ColorTransform& cx, bool withAlpha);
// A glyph outline as a SHAPE: one fill bit, no line bits, the path's records, the end record.
Buffer EncodeGlyphShape(const Path& outline);

}  // namespace swfw
