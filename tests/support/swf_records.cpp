// Basic records, styles, paths and the shape and morph-shape tags.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "tests/support/swf_writer.h"

namespace swfw {

namespace {

constexpr std::int32_t kMaxEdgeDelta = (1 << 16) - 1;  // 17-bit signed edge fields

// Bit counts stored in 5 bits allow fields of up to 31 bits, in 4 bits (colour transforms) up
// to 15; larger values are saturated rather than let the count wrap and garble the record.
constexpr int kWideField = 31, kColorField = 15;

std::int32_t Saturate(std::int32_t v, int bits) {
    const std::int32_t high = (std::int32_t{1} << (bits - 1)) - 1;
    return std::clamp(v, -high - 1, high);
}

Rect Grow(Rect r, std::int32_t by) {
    return {r.xMin - by, r.xMax + by, r.yMin - by, r.yMax + by};
}

void WriteColor(BitWriter& out, Color c, bool withAlpha) {
    out.U8(c.r);
    out.U8(c.g);
    out.U8(c.b);
    if (withAlpha) out.U8(c.a);
}

void WriteStyleCount(BitWriter& out, std::size_t count, bool extended) {
    if (count < 0xFF || !extended) {
        out.U8(static_cast<std::uint8_t>(std::min<std::size_t>(count, 0xFF)));
        return;
    }
    out.U8(0xFF);
    out.U16(static_cast<std::uint16_t>(count));
}

std::uint8_t GradientHeader(SpreadMode spread, InterpolationMode interpolation, std::size_t n) {
    return static_cast<std::uint8_t>((static_cast<int>(spread) << 6) |
                                     (static_cast<int>(interpolation) << 4) |
                                     std::min<std::size_t>(n, 15));
}

bool IsGradientType(FillType t) {
    return t == FillType::Linear || t == FillType::Radial || t == FillType::Focal;
}
bool IsBitmapType(FillType t) {
    return static_cast<std::uint8_t>(t) >= 0x40;
}

void WriteFillStyle(BitWriter& out, const FillStyle& style, int version) {
    out.U8(static_cast<std::uint8_t>(style.type));
    if (style.type == FillType::Solid) {
        WriteColor(out, style.color, version >= 3);
    } else if (style.IsGradient()) {
        WriteMatrix(out, style.matrix);
        const Gradient& g = style.gradient;
        const std::size_t n = std::min<std::size_t>(g.stops.size(), 15);
        out.U8(GradientHeader(g.spread, g.interpolation, n));
        for (std::size_t i = 0; i < n; ++i) {
            out.U8(g.stops[i].ratio);
            WriteColor(out, g.stops[i].color, version >= 3);
        }
        if (style.type == FillType::Focal) out.S16(g.focalPoint);
    } else if (style.IsBitmap()) {
        out.U16(style.bitmapId);
        WriteMatrix(out, style.matrix);
    }
}

// The two flag bytes shared by LINESTYLE2 and MORPHLINESTYLE2.
template <class L>
void WriteLineFlags(BitWriter& out, const L& line, bool hasFill) {
    out.UB(2, static_cast<std::uint32_t>(line.startCap));
    out.UB(2, static_cast<std::uint32_t>(line.join));
    out.UB(1, hasFill);
    out.UB(1, line.noHScale);
    out.UB(1, line.noVScale);
    out.UB(1, line.pixelHinting);
    out.UB(5, 0);
    out.UB(1, line.noClose);
    out.UB(2, static_cast<std::uint32_t>(line.endCap));
    if (line.join == JoinStyle::Miter) out.U16(line.miterLimit);
}

void WriteLineStyle(BitWriter& out, const LineStyle& line, int version) {
    out.U16(line.width);
    if (version < 4) {
        WriteColor(out, line.color, version >= 3);
        return;
    }
    WriteLineFlags(out, line, line.fill.has_value());
    if (line.fill)
        WriteFillStyle(out, *line.fill, version);
    else
        WriteColor(out, line.color, true);
}

void WriteStyleArrays(BitWriter& out, const std::vector<FillStyle>& fills,
                      const std::vector<LineStyle>& lines, int version) {
    WriteStyleCount(out, fills.size(), version >= 2);
    for (const FillStyle& f : fills) WriteFillStyle(out, f, version);
    WriteStyleCount(out, lines.size(), version >= 2);
    for (const LineStyle& l : lines) WriteLineStyle(out, l, version);
}

struct RecordContext {
    int version = 1;
    int fillBits = 0;
    int lineBits = 0;
    bool edgesOnly = false;  // morph end edges: MoveTos and edges, no styles
};

void WriteStyleChange(BitWriter& out, const StyleChange& sc, RecordContext& ctx) {
    const bool newStyles = sc.newStyles && !ctx.edgesOnly;
    const bool hasLine = sc.line && !ctx.edgesOnly;
    const bool hasFill1 = sc.fill1 && !ctx.edgesOnly;
    const bool hasFill0 = sc.fill0 && !ctx.edgesOnly;
    const bool hasMove = sc.moveTo.has_value();
    if (!(newStyles || hasLine || hasFill1 || hasFill0 || hasMove)) return;  // would read as End
    out.UB(1, 0);
    out.UB(1, newStyles);
    out.UB(1, hasLine);
    out.UB(1, hasFill1);
    out.UB(1, hasFill0);
    out.UB(1, hasMove);
    if (hasMove) {
        const std::int32_t x = Saturate(sc.moveTo->x, kWideField);
        const std::int32_t y = Saturate(sc.moveTo->y, kWideField);
        const int n = SignedBits({x, y});
        out.UB(5, static_cast<std::uint32_t>(n));
        out.SB(n, x);
        out.SB(n, y);
    }
    if (hasFill0) out.UB(ctx.fillBits, *sc.fill0);
    if (hasFill1) out.UB(ctx.fillBits, *sc.fill1);
    if (hasLine) out.UB(ctx.lineBits, *sc.line);
    if (newStyles) {
        WriteStyleArrays(out, sc.fills, sc.lines, ctx.version);
        ctx.fillBits = UnsignedBits(static_cast<std::uint32_t>(sc.fills.size()));
        ctx.lineBits = UnsignedBits(static_cast<std::uint32_t>(sc.lines.size()));
        out.UB(4, static_cast<std::uint32_t>(ctx.fillBits));
        out.UB(4, static_cast<std::uint32_t>(ctx.lineBits));
    }
}

void WriteStraightEdge(BitWriter& out, const StraightEdge& e) {
    const int n = std::max(2, SignedBits({e.dx, e.dy}));
    out.UB(1, 1);
    out.UB(1, 1);
    out.UB(4, static_cast<std::uint32_t>(n - 2));
    const bool general = e.dx != 0 && e.dy != 0;
    out.UB(1, general);
    if (general) {
        out.SB(n, e.dx);
        out.SB(n, e.dy);
        return;
    }
    const bool vertical = e.dx == 0;
    out.UB(1, vertical);
    out.SB(n, vertical ? e.dy : e.dx);
}

void WriteCurvedEdge(BitWriter& out, const CurvedEdge& e) {
    const int n = std::max(2, SignedBits({e.controlDx, e.controlDy, e.anchorDx, e.anchorDy}));
    out.UB(1, 1);
    out.UB(1, 0);
    out.UB(4, static_cast<std::uint32_t>(n - 2));
    out.SB(n, e.controlDx);
    out.SB(n, e.controlDy);
    out.SB(n, e.anchorDx);
    out.SB(n, e.anchorDy);
}

// SHAPE: bit counts, records, end record, aligned.
void WriteShapeRecords(BitWriter& out, const std::vector<ShapeRecord>& records, RecordContext ctx) {
    out.UB(4, static_cast<std::uint32_t>(ctx.fillBits));
    out.UB(4, static_cast<std::uint32_t>(ctx.lineBits));
    for (const ShapeRecord& r : records) {
        if (const auto* sc = std::get_if<StyleChange>(&r))
            WriteStyleChange(out, *sc, ctx);
        else if (const auto* se = std::get_if<StraightEdge>(&r))
            WriteStraightEdge(out, *se);
        else
            WriteCurvedEdge(out, std::get<CurvedEdge>(r));
    }
    out.UB(6, 0);
    out.Align();
}

bool HasAlpha(const FillStyle& f) {
    if (f.type == FillType::Solid) return f.color.a != 255;
    return std::any_of(f.gradient.stops.begin(), f.gradient.stops.end(),
                       [](const GradientStop& s) { return s.color.a != 255; });
}

bool HasAlpha(const LineStyle& l) {
    return l.fill ? HasAlpha(*l.fill) : l.color.a != 255;
}

std::uint16_t WidestLine(const std::vector<LineStyle>& lines) {
    std::uint16_t w = 0;
    for (const LineStyle& l : lines) w = std::max(w, l.width);
    return w;
}

}  // namespace

// ---- Basic records -------------------------------------------------------------------------

Matrix Matrix::Translate(std::int32_t x, std::int32_t y) {
    Matrix m;
    m.translateX = x;
    m.translateY = y;
    return m;
}

Matrix Matrix::Affine(double a, double b, double c, double d, std::int32_t x, std::int32_t y) {
    Matrix m;
    m.scaleX = Fixed16(a);
    m.rotateSkew0 = Fixed16(b);
    m.rotateSkew1 = Fixed16(c);
    m.scaleY = Fixed16(d);
    m.translateX = x;
    m.translateY = y;
    return m;
}

Matrix Matrix::ScaleRotate(double sx, double sy, double degrees, std::int32_t x, std::int32_t y) {
    const double rad = degrees * std::numbers::pi / 180.0;
    const double cs = std::cos(rad), sn = std::sin(rad);
    return Affine(sx * cs, sx * sn, -sy * sn, sy * cs, x, y);
}

Matrix Matrix::GradientBox(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                           double degrees) {
    return ScaleRotate(width / 32768.0, height / 32768.0, degrees, x + width / 2, y + height / 2);
}

ColorTransform ColorTransform::Alpha(double alpha) {
    ColorTransform cx;
    cx.alphaMult = Fixed8(alpha);
    return cx;
}

ColorTransform ColorTransform::Tint(double r, double g, double b, double a) {
    ColorTransform cx;
    cx.redMult = Fixed8(r);
    cx.greenMult = Fixed8(g);
    cx.blueMult = Fixed8(b);
    cx.alphaMult = Fixed8(a);
    return cx;
}

bool ColorTransform::HasMult(bool withAlpha) const {
    return redMult != 256 || greenMult != 256 || blueMult != 256 || (withAlpha && alphaMult != 256);
}

bool ColorTransform::HasAdd(bool withAlpha) const {
    return redAdd != 0 || greenAdd != 0 || blueAdd != 0 || (withAlpha && alphaAdd != 0);
}

Buffer EncodeGlyphShape(const Path& outline) {
    BitWriter out;
    RecordContext ctx;
    ctx.fillBits = 1;
    WriteShapeRecords(out, outline.Records(), ctx);
    return out.Bytes();
}

void WriteRect(BitWriter& out, const Rect& rect) {
    const Rect r{Saturate(rect.xMin, kWideField), Saturate(rect.xMax, kWideField),
                 Saturate(rect.yMin, kWideField), Saturate(rect.yMax, kWideField)};
    const int n = SignedBits({r.xMin, r.xMax, r.yMin, r.yMax});
    out.UB(5, static_cast<std::uint32_t>(n));
    out.SB(n, r.xMin);
    out.SB(n, r.xMax);
    out.SB(n, r.yMin);
    out.SB(n, r.yMax);
    out.Align();
}

void WriteMatrix(BitWriter& out, const Matrix& matrix) {
    Matrix m = matrix;
    for (std::int32_t* v :
         {&m.scaleX, &m.scaleY, &m.rotateSkew0, &m.rotateSkew1, &m.translateX, &m.translateY})
        *v = Saturate(*v, kWideField);
    out.UB(1, m.HasScale());
    if (m.HasScale()) {
        const int n = SignedBits({m.scaleX, m.scaleY});
        out.UB(5, static_cast<std::uint32_t>(n));
        out.SB(n, m.scaleX);
        out.SB(n, m.scaleY);
    }
    out.UB(1, m.HasRotate());
    if (m.HasRotate()) {
        const int n = SignedBits({m.rotateSkew0, m.rotateSkew1});
        out.UB(5, static_cast<std::uint32_t>(n));
        out.SB(n, m.rotateSkew0);
        out.SB(n, m.rotateSkew1);
    }
    const int n = SignedBits({m.translateX, m.translateY});
    out.UB(5, static_cast<std::uint32_t>(n));
    out.SB(n, m.translateX);
    out.SB(n, m.translateY);
    out.Align();
}

void WriteColorTransform(BitWriter& out, const ColorTransform& transform, bool withAlpha) {
    ColorTransform cx = transform;
    for (std::int16_t* v : {&cx.redMult, &cx.greenMult, &cx.blueMult, &cx.alphaMult, &cx.redAdd,
                            &cx.greenAdd, &cx.blueAdd, &cx.alphaAdd})
        *v = static_cast<std::int16_t>(Saturate(*v, kColorField));
    const bool mult = cx.HasMult(withAlpha), add = cx.HasAdd(withAlpha);
    int n = 0;
    if (mult)
        n = std::max(n, SignedBits({cx.redMult, cx.greenMult, cx.blueMult,
                                    withAlpha ? cx.alphaMult : std::int16_t{0}}));
    if (add)
        n = std::max(n, SignedBits({cx.redAdd, cx.greenAdd, cx.blueAdd,
                                    withAlpha ? cx.alphaAdd : std::int16_t{0}}));
    out.UB(1, add);
    out.UB(1, mult);
    out.UB(4, static_cast<std::uint32_t>(n));
    if (mult) {
        out.SB(n, cx.redMult);
        out.SB(n, cx.greenMult);
        out.SB(n, cx.blueMult);
        if (withAlpha) out.SB(n, cx.alphaMult);
    }
    if (add) {
        out.SB(n, cx.redAdd);
        out.SB(n, cx.greenAdd);
        out.SB(n, cx.blueAdd);
        if (withAlpha) out.SB(n, cx.alphaAdd);
    }
    out.Align();
}

// ---- Styles --------------------------------------------------------------------------------

FillStyle FillStyle::Solid(Color color) {
    FillStyle f;
    f.color = color;
    return f;
}

static FillStyle GradientFill(FillType type, const Matrix& matrix, std::vector<GradientStop> stops,
                              SpreadMode spread, InterpolationMode interpolation) {
    FillStyle f;
    f.type = type;
    f.matrix = matrix;
    f.gradient.spread = spread;
    f.gradient.interpolation = interpolation;
    f.gradient.stops = std::move(stops);
    return f;
}

FillStyle FillStyle::Linear(const Matrix& matrix, std::vector<GradientStop> stops,
                            SpreadMode spread, InterpolationMode interpolation) {
    return GradientFill(FillType::Linear, matrix, std::move(stops), spread, interpolation);
}

FillStyle FillStyle::Radial(const Matrix& matrix, std::vector<GradientStop> stops,
                            SpreadMode spread, InterpolationMode interpolation) {
    return GradientFill(FillType::Radial, matrix, std::move(stops), spread, interpolation);
}

FillStyle FillStyle::Focal(const Matrix& matrix, std::vector<GradientStop> stops, double focal,
                           SpreadMode spread, InterpolationMode interpolation) {
    FillStyle f = GradientFill(FillType::Focal, matrix, std::move(stops), spread, interpolation);
    f.gradient.focalPoint = Fixed8(focal);
    return f;
}

FillStyle FillStyle::Bitmap(std::uint16_t bitmapId, const Matrix& matrix, bool repeat,
                            bool smooth) {
    FillStyle f;
    f.type = static_cast<FillType>(0x40 | (repeat ? 0 : 1) | (smooth ? 0 : 2));
    f.bitmapId = bitmapId;
    f.matrix = matrix;
    return f;
}

bool FillStyle::IsGradient() const {
    return IsGradientType(type);
}
bool FillStyle::IsBitmap() const {
    return IsBitmapType(type);
}

LineStyle LineStyle::Solid(std::uint16_t width, Color color) {
    LineStyle l;
    l.width = width;
    l.color = color;
    return l;
}

LineStyle& LineStyle::Caps(CapStyle cap) {
    startCap = endCap = cap;
    return *this;
}

LineStyle& LineStyle::Join(JoinStyle joinStyle, double miter) {
    join = joinStyle;
    miterLimit = static_cast<std::uint16_t>(Fixed8(miter));
    return *this;
}

LineStyle& LineStyle::NoScale(bool horizontal, bool vertical) {
    noHScale = horizontal;
    noVScale = vertical;
    return *this;
}

LineStyle& LineStyle::FillWith(const FillStyle& style) {
    fill = style;
    return *this;
}

bool LineStyle::NeedsStyle2() const {
    return startCap != CapStyle::Round || endCap != CapStyle::Round || join != JoinStyle::Round ||
           noHScale || noVScale || pixelHinting || noClose || fill.has_value();
}

// ---- Paths ---------------------------------------------------------------------------------

template <class Self>
StyleChange& PathOps<Self>::Pending() {
    if (!pending_) pending_.emplace();
    return *pending_;
}

template <class Self>
void PathOps<Self>::FlushPending() {
    if (!pending_) return;
    StyleChange sc = std::move(*pending_);
    pending_.reset();
    const bool selects = sc.fill0 || sc.fill1 || sc.line;
    if (sc.newStyles && selects) {
        // Selections after new arrays go in a record of their own, read with the new bit counts.
        StyleChange arrays;
        arrays.newStyles = true;
        arrays.fills = std::move(sc.fills);
        arrays.lines = std::move(sc.lines);
        records_.emplace_back(std::move(arrays));
        sc.newStyles = false;
        sc.fills.clear();
        sc.lines.clear();
    }
    records_.emplace_back(std::move(sc));
}

template <class Self>
std::vector<ShapeRecord> PathOps<Self>::Records() const {
    PathOps copy = *this;
    copy.FlushPending();
    return copy.records_;
}

template <class Self>
void PathOps<Self>::Include(std::int32_t x, std::int32_t y) {
    if (!bounds_) {
        bounds_ = Rect{x, x, y, y};
        return;
    }
    bounds_->xMin = std::min(bounds_->xMin, x);
    bounds_->xMax = std::max(bounds_->xMax, x);
    bounds_->yMin = std::min(bounds_->yMin, y);
    bounds_->yMax = std::max(bounds_->yMax, y);
}

template <class Self>
Self& PathOps<Self>::MoveTo(std::int32_t x, std::int32_t y) {
    Pending().moveTo = Point{x, y};
    pen_ = {x, y};
    Include(x, y);
    return self();
}

template <class Self>
void PathOps<Self>::Straight(std::int32_t dx, std::int32_t dy) {
    FlushPending();
    const std::int32_t longest = std::max(std::abs(dx), std::abs(dy));
    const std::int32_t pieces = std::max(1, (longest + kMaxEdgeDelta - 1) / kMaxEdgeDelta);
    std::int32_t doneX = 0, doneY = 0;
    for (std::int32_t i = 1; i <= pieces; ++i) {
        const auto x = static_cast<std::int32_t>(static_cast<std::int64_t>(dx) * i / pieces);
        const auto y = static_cast<std::int32_t>(static_cast<std::int64_t>(dy) * i / pieces);
        records_.emplace_back(StraightEdge{x - doneX, y - doneY});
        doneX = x;
        doneY = y;
    }
}

template <class Self>
Self& PathOps<Self>::LineTo(std::int32_t x, std::int32_t y) {
    Straight(x - pen_.x, y - pen_.y);
    pen_ = {x, y};
    Include(x, y);
    return self();
}

template <class Self>
void PathOps<Self>::Curve(std::int32_t cdx, std::int32_t cdy, std::int32_t adx, std::int32_t ady) {
    const bool fits =
        std::max({std::abs(cdx), std::abs(cdy), std::abs(adx), std::abs(ady)}) <= kMaxEdgeDelta;
    if (fits) {
        FlushPending();
        records_.emplace_back(CurvedEdge{cdx, cdy, adx, ady});
        return;
    }
    // Split at t = 1/2 (relative to the current start point).
    const std::int32_t cx = cdx, cy = cdy, ax = cdx + adx, ay = cdy + ady;
    const std::int32_t c1x = cx / 2, c1y = cy / 2;
    const std::int32_t c2x = (cx + ax) / 2, c2y = (cy + ay) / 2;
    const std::int32_t mx = (c1x + c2x) / 2, my = (c1y + c2y) / 2;
    Curve(c1x, c1y, mx - c1x, my - c1y);
    Curve(c2x - mx, c2y - my, ax - c2x, ay - c2y);
}

template <class Self>
Self& PathOps<Self>::CurveTo(std::int32_t cx, std::int32_t cy, std::int32_t ax, std::int32_t ay) {
    Curve(cx - pen_.x, cy - pen_.y, ax - cx, ay - cy);
    pen_ = {ax, ay};
    Include(cx, cy);
    Include(ax, ay);
    return self();
}

template <class Self>
Self& PathOps<Self>::Fill0(std::uint32_t index) {
    Pending().fill0 = index;
    return self();
}

template <class Self>
Self& PathOps<Self>::Fill1(std::uint32_t index) {
    Pending().fill1 = index;
    return self();
}

template <class Self>
Self& PathOps<Self>::Line(std::uint32_t index) {
    Pending().line = index;
    return self();
}

template <class Self>
Self& PathOps<Self>::NewStyles(std::vector<FillStyle> fills, std::vector<LineStyle> lines) {
    FlushPending();
    StyleChange& sc = Pending();
    sc.newStyles = true;
    sc.fills = std::move(fills);
    sc.lines = std::move(lines);
    return self();
}

template <class Self>
Self& PathOps<Self>::Rectangle(std::int32_t x, std::int32_t y, std::int32_t width,
                               std::int32_t height) {
    MoveTo(x, y);
    LineTo(x + width, y);
    LineTo(x + width, y + height);
    LineTo(x, y + height);
    return LineTo(x, y);
}

template <class Self>
Self& PathOps<Self>::Ellipse(std::int32_t cx, std::int32_t cy, std::int32_t rx, std::int32_t ry) {
    // Eight quadratic arcs; the control point lies on the tangents' meeting point.
    constexpr int kArcs = 8;
    const double step = 2 * std::numbers::pi / kArcs;
    const double reach = 1.0 / std::cos(step / 2);
    MoveTo(cx + rx, cy);
    for (int i = 1; i <= kArcs; ++i) {
        const double mid = (i - 0.5) * step, end = i * step;
        const auto ctrlX = static_cast<std::int32_t>(std::lround(cx + rx * reach * std::cos(mid)));
        const auto ctrlY = static_cast<std::int32_t>(std::lround(cy + ry * reach * std::sin(mid)));
        const bool last = i == kArcs;
        const auto endX =
            last ? cx + rx : static_cast<std::int32_t>(std::lround(cx + rx * std::cos(end)));
        const auto endY =
            last ? cy : static_cast<std::int32_t>(std::lround(cy + ry * std::sin(end)));
        CurveTo(ctrlX, ctrlY, endX, endY);
    }
    return self();
}

template <class Self>
Self& PathOps<Self>::Polygon(const std::vector<Point>& points, bool closed) {
    if (points.empty()) return self();
    MoveTo(points.front().x, points.front().y);
    for (std::size_t i = 1; i < points.size(); ++i) LineTo(points[i].x, points[i].y);
    if (closed) LineTo(points.front().x, points.front().y);
    return self();
}

template class PathOps<Path>;
template class PathOps<Shape>;

// ---- Shapes --------------------------------------------------------------------------------

std::uint32_t Shape::AddFill(const FillStyle& style) {
    fills.push_back(style);
    return static_cast<std::uint32_t>(fills.size());
}

std::uint32_t Shape::AddLine(const LineStyle& style) {
    lines.push_back(style);
    return static_cast<std::uint32_t>(lines.size());
}

int Shape::ResolvedVersion() const {
    if (version != 0) return version;
    std::vector<FillStyle> allFills = fills;
    std::vector<LineStyle> allLines = lines;
    bool newStyles = false;
    for (const ShapeRecord& r : Records()) {
        const auto* sc = std::get_if<StyleChange>(&r);
        if (!sc || !sc->newStyles) continue;
        newStyles = true;
        allFills.insert(allFills.end(), sc->fills.begin(), sc->fills.end());
        allLines.insert(allLines.end(), sc->lines.begin(), sc->lines.end());
    }
    for (const LineStyle& l : allLines)
        if (l.fill) allFills.push_back(*l.fill);
    const bool focal = std::any_of(allFills.begin(), allFills.end(),
                                   [](const FillStyle& f) { return f.type == FillType::Focal; });
    const bool style2 = std::any_of(allLines.begin(), allLines.end(),
                                    [](const LineStyle& l) { return l.NeedsStyle2(); });
    if (focal || style2) return 4;
    const bool alpha =
        std::any_of(allFills.begin(), allFills.end(), [](const auto& f) { return HasAlpha(f); }) ||
        std::any_of(allLines.begin(), allLines.end(), [](const auto& l) { return HasAlpha(l); });
    if (alpha) return 3;
    if (newStyles || fills.size() >= 0xFF || lines.size() >= 0xFF) return 2;
    return 1;
}

Rect Shape::ResolvedBounds() const {
    if (bounds) return *bounds;
    std::vector<LineStyle> allLines = lines;
    for (const ShapeRecord& r : Records())
        if (const auto* sc = std::get_if<StyleChange>(&r))
            allLines.insert(allLines.end(), sc->lines.begin(), sc->lines.end());
    return Grow(PointBounds().value_or(Rect{}), WidestLine(allLines) / 2);
}

RawTag EncodeShape(const Shape& shape) {
    static constexpr std::uint16_t kCodes[] = {kDefineShape, kDefineShape, kDefineShape2,
                                               kDefineShape3, kDefineShape4};
    const int v = std::clamp(shape.ResolvedVersion(), 1, 4);
    BitWriter out;
    out.U16(shape.id);
    WriteRect(out, shape.ResolvedBounds());
    if (v == 4) {
        WriteRect(out, shape.edgeBounds.value_or(shape.PointBounds().value_or(Rect{})));
        out.UB(5, 0);
        out.UB(1, shape.usesFillWindingRule);
        out.UB(1, shape.usesNonScalingStrokes);
        out.UB(1, shape.usesScalingStrokes);
    }
    WriteStyleArrays(out, shape.fills, shape.lines, v);
    RecordContext ctx;
    ctx.version = v;
    ctx.fillBits = UnsignedBits(static_cast<std::uint32_t>(shape.fills.size()));
    ctx.lineBits = UnsignedBits(static_cast<std::uint32_t>(shape.lines.size()));
    WriteShapeRecords(out, shape.Records(), ctx);
    return RawTag{kCodes[v], out.Bytes()};
}

// ---- Morph shapes --------------------------------------------------------------------------

MorphFillStyle MorphFillStyle::Solid(Color start, Color end) {
    MorphFillStyle f;
    f.startColor = start;
    f.endColor = end;
    return f;
}

static MorphFillStyle MorphGradient(FillType type, const Matrix& start, const Matrix& end,
                                    std::vector<MorphStop> stops) {
    MorphFillStyle f;
    f.type = type;
    f.startMatrix = start;
    f.endMatrix = end;
    f.stops = std::move(stops);
    return f;
}

MorphFillStyle MorphFillStyle::Linear(const Matrix& start, const Matrix& end,
                                      std::vector<MorphStop> stops) {
    return MorphGradient(FillType::Linear, start, end, std::move(stops));
}

MorphFillStyle MorphFillStyle::Radial(const Matrix& start, const Matrix& end,
                                      std::vector<MorphStop> stops) {
    return MorphGradient(FillType::Radial, start, end, std::move(stops));
}

MorphFillStyle MorphFillStyle::Bitmap(std::uint16_t bitmapId, const Matrix& start,
                                      const Matrix& end, bool repeat, bool smooth) {
    MorphFillStyle f;
    f.type = static_cast<FillType>(0x40 | (repeat ? 0 : 1) | (smooth ? 0 : 2));
    f.bitmapId = bitmapId;
    f.startMatrix = start;
    f.endMatrix = end;
    return f;
}

MorphLineStyle MorphLineStyle::Solid(std::uint16_t startWidth, Color startColor,
                                     std::uint16_t endWidth, Color endColor) {
    MorphLineStyle l;
    l.startWidth = startWidth;
    l.endWidth = endWidth;
    l.startColor = startColor;
    l.endColor = endColor;
    return l;
}

bool MorphLineStyle::NeedsStyle2() const {
    return startCap != CapStyle::Round || endCap != CapStyle::Round || join != JoinStyle::Round ||
           noHScale || noVScale || pixelHinting || noClose || fill.has_value();
}

std::uint32_t MorphShape::AddFill(const MorphFillStyle& style) {
    fills.push_back(style);
    return static_cast<std::uint32_t>(fills.size());
}

std::uint32_t MorphShape::AddLine(const MorphLineStyle& style) {
    lines.push_back(style);
    return static_cast<std::uint32_t>(lines.size());
}

int MorphShape::ResolvedVersion() const {
    if (version != 0) return version;
    return std::any_of(lines.begin(), lines.end(), [](const auto& l) { return l.NeedsStyle2(); })
               ? 2
               : 1;
}

namespace {

void WriteMorphFill(BitWriter& out, const MorphFillStyle& f) {
    out.U8(static_cast<std::uint8_t>(f.type));
    if (f.type == FillType::Solid) {
        WriteColor(out, f.startColor, true);
        WriteColor(out, f.endColor, true);
    } else if (IsGradientType(f.type)) {
        WriteMatrix(out, f.startMatrix);
        WriteMatrix(out, f.endMatrix);
        const std::size_t n = std::min<std::size_t>(f.stops.size(), 15);
        out.U8(GradientHeader(f.spread, f.interpolation, n));
        for (std::size_t i = 0; i < n; ++i) {
            out.U8(f.stops[i].startRatio);
            WriteColor(out, f.stops[i].startColor, true);
            out.U8(f.stops[i].endRatio);
            WriteColor(out, f.stops[i].endColor, true);
        }
    } else if (IsBitmapType(f.type)) {
        out.U16(f.bitmapId);
        WriteMatrix(out, f.startMatrix);
        WriteMatrix(out, f.endMatrix);
    }
}

void WriteMorphLine(BitWriter& out, const MorphLineStyle& l, int version) {
    out.U16(l.startWidth);
    out.U16(l.endWidth);
    if (version >= 2) {
        WriteLineFlags(out, l, l.fill.has_value());
        if (l.fill) {
            WriteMorphFill(out, *l.fill);
            return;
        }
    }
    WriteColor(out, l.startColor, true);
    WriteColor(out, l.endColor, true);
}

Rect MorphBounds(const Path& path, std::uint16_t widest) {
    return Grow(path.PointBounds().value_or(Rect{}), widest / 2);
}

}  // namespace

RawTag EncodeMorphShape(const MorphShape& morph) {
    const int v = std::clamp(morph.ResolvedVersion(), 1, 2);
    std::uint16_t widestStart = 0, widestEnd = 0;
    for (const MorphLineStyle& l : morph.lines) {
        widestStart = std::max(widestStart, l.startWidth);
        widestEnd = std::max(widestEnd, l.endWidth);
    }
    BitWriter out;
    out.U16(morph.id);
    WriteRect(out, morph.startBounds.value_or(MorphBounds(morph.start, widestStart)));
    WriteRect(out, morph.endBounds.value_or(MorphBounds(morph.end, widestEnd)));
    if (v == 2) {
        WriteRect(out, morph.startEdgeBounds.value_or(morph.start.PointBounds().value_or(Rect{})));
        WriteRect(out, morph.endEdgeBounds.value_or(morph.end.PointBounds().value_or(Rect{})));
        out.UB(6, 0);
        out.UB(1, morph.usesNonScalingStrokes);
        out.UB(1, morph.usesScalingStrokes);
    }

    // Everything up to the end edges, whose offset precedes it.
    BitWriter styled;
    WriteStyleCount(styled, morph.fills.size(), true);
    for (const MorphFillStyle& f : morph.fills) WriteMorphFill(styled, f);
    WriteStyleCount(styled, morph.lines.size(), true);
    for (const MorphLineStyle& l : morph.lines) WriteMorphLine(styled, l, v);
    RecordContext startCtx;
    startCtx.version = 3;  // colours in morph records always carry alpha
    startCtx.fillBits = UnsignedBits(static_cast<std::uint32_t>(morph.fills.size()));
    startCtx.lineBits = UnsignedBits(static_cast<std::uint32_t>(morph.lines.size()));
    WriteShapeRecords(styled, morph.start.Records(), startCtx);

    out.U32(static_cast<std::uint32_t>(styled.Size()));
    out.Append(styled.Bytes());
    RecordContext endCtx;
    endCtx.edgesOnly = true;
    WriteShapeRecords(out, morph.end.Records(), endCtx);
    return RawTag{v == 2 ? kDefineMorphShape2 : kDefineMorphShape, out.Bytes()};
}

}  // namespace swfw
