#include "player/morph.h"

#include <cmath>

#include "player/records.h"

namespace player {

namespace {

std::size_t ReadMorphCount(BitReader& in) {
    std::size_t count = in.U8();
    if (count == 0xFF) count = in.U16();
    return count;
}

MorphFillStyle ReadMorphFill(BitReader& in) {
    MorphFillStyle f;
    const std::uint8_t type = in.U8();
    switch (type) {
        case 0x00:
            f.kind = FillKind::kSolid;
            f.startColor = ReadRgba(in);
            f.endColor = ReadRgba(in);
            break;
        case 0x10:
        case 0x12:
        case 0x13: {
            f.kind = static_cast<FillKind>(type);
            f.startMatrix = ReadMatrix(in);
            f.endMatrix = ReadMatrix(in);
            const std::uint32_t spread = in.UBits(2);
            const std::uint32_t interpolation = in.UBits(2);
            const std::uint32_t count = in.UBits(4);
            f.spread = spread <= 2 ? static_cast<SpreadMode>(spread) : SpreadMode::kPad;
            f.interpolation = interpolation == 1 ? Interpolation::kLinearRgb : Interpolation::kRgb;
            for (std::uint32_t i = 0; i < count && !in.Failed(); ++i) {
                MorphGradientRecord r;
                r.start.ratio = in.U8();
                r.start.color = ReadRgba(in);
                r.end.ratio = in.U8();
                r.end.color = ReadRgba(in);
                f.records.push_back(r);
            }
            if (type == 0x13) {
                f.startFocalPoint = in.S16();
                f.endFocalPoint = in.S16();
            }
            break;
        }
        case 0x40:
        case 0x41:
        case 0x42:
        case 0x43:
            f.kind = static_cast<FillKind>(type);
            f.bitmapId = in.U16();
            f.startMatrix = ReadMatrix(in);
            f.endMatrix = ReadMatrix(in);
            break;
        default:
            in.Fail();  // unknown fill type: nothing after it can be trusted
            break;
    }
    return f;
}

MorphLineStyle ReadMorphLine(BitReader& in, int version) {
    MorphLineStyle s;
    s.startWidth = in.U16();
    s.endWidth = in.U16();
    if (version < 2) {
        s.startColor = ReadRgba(in);
        s.endColor = ReadRgba(in);
        return s;
    }
    const bool hasFill = ReadLineStyle2Flags(in, s);
    if (hasFill) {
        s.fill = ReadMorphFill(in);
        if (s.fill->kind == FillKind::kSolid) {
            s.startColor = s.fill->startColor;
            s.endColor = s.fill->endColor;
        }
    } else {
        s.startColor = ReadRgba(in);
        s.endColor = ReadRgba(in);
    }
    return s;
}

std::vector<ShapeRecord> ReadEdges(BitReader& in, int shapeVersion, ModelBudget& budget) {
    const int fillBits = static_cast<int>(in.UBits(4));
    const int lineBits = static_cast<int>(in.UBits(4));
    if (in.Failed()) return {};
    return ReadShapeRecords(in, shapeVersion, fillBits, lineBits, budget);
}

// ---- Interpolation -------------------------------------------------------------------------

double Lerp(double a, double b, double t) {
    return a + (b - a) * t;
}

std::int32_t LerpInt(std::int32_t a, std::int32_t b, double t) {
    return static_cast<std::int32_t>(std::lround(Lerp(a, b, t)));
}

std::uint8_t LerpByte(std::uint8_t a, std::uint8_t b, double t) {
    return static_cast<std::uint8_t>(std::lround(Lerp(a, b, t)));
}

Rgba LerpColor(Rgba a, Rgba b, double t) {
    return {LerpByte(a.r, b.r, t), LerpByte(a.g, b.g, t), LerpByte(a.b, b.b, t),
            LerpByte(a.a, b.a, t)};
}

Matrix LerpMatrix(const Matrix& a, const Matrix& b, double t) {
    Matrix m;
    m.scaleX = LerpInt(a.scaleX, b.scaleX, t);
    m.scaleY = LerpInt(a.scaleY, b.scaleY, t);
    m.rotateSkew0 = LerpInt(a.rotateSkew0, b.rotateSkew0, t);
    m.rotateSkew1 = LerpInt(a.rotateSkew1, b.rotateSkew1, t);
    m.translateX = LerpInt(a.translateX, b.translateX, t);
    m.translateY = LerpInt(a.translateY, b.translateY, t);
    return m;
}

Rect LerpRect(const Rect& a, const Rect& b, double t) {
    return {LerpInt(a.xMin, b.xMin, t), LerpInt(a.xMax, b.xMax, t), LerpInt(a.yMin, b.yMin, t),
            LerpInt(a.yMax, b.yMax, t)};
}

FillStyle FillAt(const MorphFillStyle& m, double t) {
    FillStyle f;
    f.kind = m.kind;
    f.color = LerpColor(m.startColor, m.endColor, t);
    f.bitmapId = m.bitmapId;
    f.bitmapMatrix = LerpMatrix(m.startMatrix, m.endMatrix, t);
    f.gradient.matrix = f.bitmapMatrix;
    f.gradient.spread = m.spread;
    f.gradient.interpolation = m.interpolation;
    f.gradient.focalPoint =
        static_cast<std::int16_t>(LerpInt(m.startFocalPoint, m.endFocalPoint, t));
    for (const MorphGradientRecord& r : m.records)
        f.gradient.records.push_back(
            {LerpByte(r.start.ratio, r.end.ratio, t), LerpColor(r.start.color, r.end.color, t)});
    return f;
}

LineStyle LineAt(const MorphLineStyle& m, double t) {
    LineStyle l;
    l.width = static_cast<std::uint16_t>(LerpInt(m.startWidth, m.endWidth, t));
    l.color = LerpColor(m.startColor, m.endColor, t);
    l.startCap = m.startCap;
    l.endCap = m.endCap;
    l.join = m.join;
    l.miterLimit = m.miterLimit;
    l.noHScale = m.noHScale;
    l.noVScale = m.noVScale;
    l.pixelHinting = m.pixelHinting;
    l.noClose = m.noClose;
    if (m.fill) l.fill = FillAt(*m.fill, t);
    return l;
}

struct Point {
    double x = 0, y = 0;
};

// An edge in absolute coordinates from the pen; a straight edge has its control half-way.
struct AbsoluteEdge {
    bool straight = true;
    Point control, anchor;
};

AbsoluteEdge Absolute(const ShapeRecord& record, Point pen) {
    AbsoluteEdge e;
    if (const auto* s = std::get_if<StraightEdge>(&record)) {
        e.anchor = {pen.x + s->dx, pen.y + s->dy};
        e.control = {(pen.x + e.anchor.x) / 2, (pen.y + e.anchor.y) / 2};
    } else if (const auto* c = std::get_if<CurvedEdge>(&record)) {
        e.straight = false;
        e.control = {pen.x + c->controlDx, pen.y + c->controlDy};
        e.anchor = {e.control.x + c->anchorDx, e.control.y + c->anchorDy};
    }
    return e;
}

bool IsEdge(const ShapeRecord& r) {
    return !std::holds_alternative<StyleChange>(r);
}

// Walks the two edge lists in step and writes the shape's records at t. Every output point is
// rounded from the two absolute pens, so contours that close in both lists close here too.
class EdgeBlender {
  public:
    EdgeBlender(const MorphShape& morph, double t) : morph_(morph), t_(t) {}

    std::vector<ShapeRecord> Run() {
        std::vector<ShapeRecord> out;
        out.reserve(morph_.startRecords.size());
        for (const ShapeRecord& record : morph_.startRecords) {
            if (const auto* change = std::get_if<StyleChange>(&record)) {
                out.push_back(Change(*change));
            } else {
                out.push_back(Edge(record));
            }
        }
        return out;
    }

  private:
    StyleChange Change(const StyleChange& change) {
        StyleChange c = change;
        c.newStyles.reset();  // morph edges carry no style arrays of their own
        if (change.moveX || change.moveY) {
            start_ = {double(change.moveX.value_or(0)), double(change.moveY.value_or(0))};
            // The matching end record moves the end pen; one without a move leaves it.
            if (end_ < morph_.endRecords.size()) {
                if (const auto* e = std::get_if<StyleChange>(&morph_.endRecords[end_])) {
                    if (e->moveX || e->moveY)
                        endPen_ = {double(e->moveX.value_or(0)), double(e->moveY.value_or(0))};
                    ++end_;
                }
            } else {
                endPen_ = start_;
            }
            const auto [x, y] = Output({start_, endPen_});
            c.moveX = x;
            c.moveY = y;
            out_ = {x, y};
        }
        return c;
    }

    ShapeRecord Edge(const ShapeRecord& record) {
        const AbsoluteEdge s = Absolute(record, start_);
        // End-side moves standing before the matching edge are applied first.
        while (end_ < morph_.endRecords.size() && !IsEdge(morph_.endRecords[end_])) {
            const auto& e = std::get<StyleChange>(morph_.endRecords[end_]);
            if (e.moveX || e.moveY)
                endPen_ = {double(e.moveX.value_or(0)), double(e.moveY.value_or(0))};
            ++end_;
        }
        AbsoluteEdge e;
        if (end_ < morph_.endRecords.size()) {
            e = Absolute(morph_.endRecords[end_++], endPen_);
        } else {  // the end list ran out: this edge keeps its start form, moved with the pen
            const Point shift{endPen_.x - start_.x, endPen_.y - start_.y};
            e = s;
            e.control = {s.control.x + shift.x, s.control.y + shift.y};
            e.anchor = {s.anchor.x + shift.x, s.anchor.y + shift.y};
        }
        start_ = s.anchor;
        endPen_ = e.anchor;
        const auto [ax, ay] = Output({s.anchor, e.anchor});
        ShapeRecord result;
        if (s.straight && e.straight) {
            result = StraightEdge{ax - out_.first, ay - out_.second};
        } else {
            const auto [cx, cy] = Output({s.control, e.control});
            result = CurvedEdge{cx - out_.first, cy - out_.second, ax - cx, ay - cy};
        }
        out_ = {ax, ay};
        return result;
    }

    std::pair<std::int32_t, std::int32_t> Output(std::pair<Point, Point> p) const {
        return {LerpInt(std::int32_t(p.first.x), std::int32_t(p.second.x), t_),
                LerpInt(std::int32_t(p.first.y), std::int32_t(p.second.y), t_)};
    }

    const MorphShape& morph_;
    double t_;
    std::size_t end_ = 0;  // next end record
    Point start_, endPen_;
    std::pair<std::int32_t, std::int32_t> out_{0, 0};
};

}  // namespace

bool ReadMorphShape(BitReader& in, int version, ModelBudget& budget, MorphShape* morph) {
    morph->version = version;
    morph->id = in.U16();
    morph->startBounds = ReadRect(in);
    morph->endBounds = ReadRect(in);
    if (version == 2) {
        ReadRect(in);  // start edge bounds
        ReadRect(in);  // end edge bounds
        in.U8();       // reserved bits and the stroke scaling flags
    }
    const std::uint32_t endOffset = in.U32();
    const std::size_t endPosition = in.Position() + endOffset;
    const std::size_t fills = ReadMorphCount(in);
    if (!budget.Charge(fills * sizeof(MorphFillStyle))) in.Fail();
    for (std::size_t i = 0; i < fills && !in.Failed(); ++i)
        morph->fills.push_back(ReadMorphFill(in));
    const std::size_t lines = ReadMorphCount(in);
    if (!budget.Charge(lines * sizeof(MorphLineStyle))) in.Fail();
    for (std::size_t i = 0; i < lines && !in.Failed(); ++i)
        morph->lines.push_back(ReadMorphLine(in, version));
    if (in.Failed()) return false;
    const int shapeVersion = version == 2 ? 4 : 3;
    morph->startRecords = ReadEdges(in, shapeVersion, budget);
    if (morph->startRecords.empty() && in.Failed()) return false;
    // The end edges start where the offset says; an offset past the data leaves them empty.
    if (endPosition >= in.Position() && endPosition < in.Position() + in.Remaining()) {
        in.Skip(endPosition - in.Position());
        morph->endRecords = ReadEdges(in, shapeVersion, budget);
    }
    return true;
}

Shape MorphAt(const MorphShape& morph, std::uint16_t ratio) {
    const double t = ratio / 65535.0;
    Shape shape;
    shape.id = morph.id;
    shape.version = morph.version == 2 ? 4 : 3;
    shape.bounds = LerpRect(morph.startBounds, morph.endBounds, t);
    shape.styles.fills.reserve(morph.fills.size());
    for (const MorphFillStyle& f : morph.fills) shape.styles.fills.push_back(FillAt(f, t));
    shape.styles.lines.reserve(morph.lines.size());
    for (const MorphLineStyle& l : morph.lines) shape.styles.lines.push_back(LineAt(l, t));
    shape.records = EdgeBlender(morph, t).Run();
    return shape;
}

}  // namespace player
