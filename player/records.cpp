#include "player/records.h"

#include <algorithm>

#include "player/limits.h"

namespace player {

Rect ReadRect(BitReader& in) {
    in.Align();
    const int bits = static_cast<int>(in.UBits(5));
    Rect r;
    r.xMin = in.SBits(bits);
    r.xMax = in.SBits(bits);
    r.yMin = in.SBits(bits);
    r.yMax = in.SBits(bits);
    in.Align();
    return r;
}

Matrix ReadMatrix(BitReader& in) {
    in.Align();
    Matrix m;
    if (in.Flag()) {
        const int bits = static_cast<int>(in.UBits(5));
        m.scaleX = in.FBits(bits);
        m.scaleY = in.FBits(bits);
    }
    if (in.Flag()) {
        const int bits = static_cast<int>(in.UBits(5));
        m.rotateSkew0 = in.FBits(bits);
        m.rotateSkew1 = in.FBits(bits);
    }
    const int bits = static_cast<int>(in.UBits(5));
    m.translateX = in.SBits(bits);
    m.translateY = in.SBits(bits);
    in.Align();
    return m;
}

ColorTransform ReadColorTransform(BitReader& in, bool withAlpha) {
    in.Align();
    ColorTransform c;
    const bool hasAdd = in.Flag();
    const bool hasMult = in.Flag();
    const int bits = static_cast<int>(in.UBits(4));
    const int channels = withAlpha ? 4 : 3;
    if (hasMult) {
        for (int i = 0; i < channels; ++i) c.mult[i] = static_cast<std::int16_t>(in.SBits(bits));
    }
    if (hasAdd) {
        for (int i = 0; i < channels; ++i) c.add[i] = static_cast<std::int16_t>(in.SBits(bits));
    }
    in.Align();
    return c;
}

Rgba ReadRgb(BitReader& in) {
    Rgba c;
    c.r = in.U8();
    c.g = in.U8();
    c.b = in.U8();
    return c;
}

Rgba ReadRgba(BitReader& in) {
    Rgba c = ReadRgb(in);
    c.a = in.U8();
    return c;
}

namespace {

Rgba ReadShapeColor(BitReader& in, int shapeVersion) {
    return shapeVersion >= 3 ? ReadRgba(in) : ReadRgb(in);
}

Gradient ReadGradient(BitReader& in, int shapeVersion, bool focal) {
    Gradient g;
    g.matrix = ReadMatrix(in);
    const std::uint32_t spread = in.UBits(2);
    const std::uint32_t interpolation = in.UBits(2);
    const std::uint32_t count = in.UBits(4);
    g.spread = spread <= 2 ? static_cast<SpreadMode>(spread) : SpreadMode::kPad;
    g.interpolation = interpolation == 1 ? Interpolation::kLinearRgb : Interpolation::kRgb;
    for (std::uint32_t i = 0; i < count && !in.Failed(); ++i) {
        GradientRecord r;
        r.ratio = in.U8();
        r.color = ReadShapeColor(in, shapeVersion);
        g.records.push_back(r);
    }
    if (focal) g.focalPoint = in.S16();
    return g;
}

std::size_t ReadStyleCount(BitReader& in, int shapeVersion) {
    std::size_t count = in.U8();
    if (count == 0xFF && shapeVersion >= 2) count = in.U16();
    return count;
}

LineStyle ReadLineStyle(BitReader& in, int shapeVersion) {
    LineStyle s;
    s.width = in.U16();
    if (shapeVersion < 4) {
        s.color = ReadShapeColor(in, shapeVersion);
        return s;
    }
    const bool hasFill = ReadLineStyle2Flags(in, s);
    if (hasFill) {
        s.fill = ReadFillStyle(in, shapeVersion);
        if (s.fill->kind == FillKind::kSolid) s.color = s.fill->color;
    } else {
        s.color = ReadRgba(in);
    }
    return s;
}

}  // namespace

FillStyle ReadFillStyle(BitReader& in, int shapeVersion) {
    FillStyle f;
    const std::uint8_t type = in.U8();
    switch (type) {
        case 0x00:
            f.kind = FillKind::kSolid;
            f.color = ReadShapeColor(in, shapeVersion);
            break;
        case 0x10:
        case 0x12:
        case 0x13:
            f.kind = static_cast<FillKind>(type);
            f.gradient = ReadGradient(in, shapeVersion, type == 0x13);
            break;
        case 0x40:
        case 0x41:
        case 0x42:
        case 0x43:
            f.kind = static_cast<FillKind>(type);
            f.bitmapId = in.U16();
            f.bitmapMatrix = ReadMatrix(in);
            break;
        default:
            in.Fail();  // unknown fill type: the rest of the shape cannot be trusted
            break;
    }
    return f;
}

StyleArrays ReadStyleArrays(BitReader& in, int shapeVersion, ModelBudget& budget) {
    StyleArrays s;
    const std::size_t fills = ReadStyleCount(in, shapeVersion);
    if (!budget.Charge(fills * sizeof(FillStyle))) in.Fail();
    for (std::size_t i = 0; i < fills && !in.Failed(); ++i)
        s.fills.push_back(ReadFillStyle(in, shapeVersion));
    const std::size_t lines = ReadStyleCount(in, shapeVersion);
    if (!budget.Charge(lines * sizeof(LineStyle))) in.Fail();
    for (std::size_t i = 0; i < lines && !in.Failed(); ++i)
        s.lines.push_back(ReadLineStyle(in, shapeVersion));
    return s;
}

namespace {

StyleChange ReadStyleChange(BitReader& in, std::uint32_t flags, int shapeVersion, int& fillBits,
                            int& lineBits, ModelBudget& budget) {
    StyleChange c;
    if (flags & 0x01) {
        const int bits = static_cast<int>(in.UBits(5));
        c.moveX = in.SBits(bits);
        c.moveY = in.SBits(bits);
    }
    if (flags & 0x02) c.fill0 = in.UBits(fillBits);
    if (flags & 0x04) c.fill1 = in.UBits(fillBits);
    if (flags & 0x08) c.line = in.UBits(lineBits);
    if (flags & 0x10) {
        c.newStyles = ReadStyleArrays(in, shapeVersion, budget);
        fillBits = static_cast<int>(in.UBits(4));
        lineBits = static_cast<int>(in.UBits(4));
    }
    return c;
}

ShapeRecord ReadEdge(BitReader& in) {
    const bool straight = in.Flag();
    const int bits = static_cast<int>(in.UBits(4)) + 2;
    if (!straight) {
        CurvedEdge e;
        e.controlDx = in.SBits(bits);
        e.controlDy = in.SBits(bits);
        e.anchorDx = in.SBits(bits);
        e.anchorDy = in.SBits(bits);
        return e;
    }
    StraightEdge e;
    if (in.Flag()) {  // general line
        e.dx = in.SBits(bits);
        e.dy = in.SBits(bits);
    } else if (in.Flag()) {  // vertical
        e.dy = in.SBits(bits);
    } else {
        e.dx = in.SBits(bits);
    }
    return e;
}

}  // namespace

std::vector<ShapeRecord> ReadShapeRecords(BitReader& in, int shapeVersion, int fillBits,
                                          int lineBits, ModelBudget& budget) {
    std::vector<ShapeRecord> records;
    while (!in.Failed()) {
        if (records.size() >= budget.Caps().maxShapeEdges || !budget.Charge(sizeof(ShapeRecord))) {
            in.Fail();
            break;
        }
        ShapeRecord record;
        if (in.Flag()) {
            record = ReadEdge(in);
        } else {
            const std::uint32_t flags = in.UBits(5);
            if (flags == 0 || in.Failed()) break;  // end of shape
            record = ReadStyleChange(in, flags, shapeVersion, fillBits, lineBits, budget);
        }
        if (in.Failed()) break;  // the record broke off: keep what came before it
        records.push_back(std::move(record));
    }
    in.Align();
    return records;
}

}  // namespace player
