// Embedded fonts (DefineFont2, DefineFont3) and static text (DefineText, DefineText2).
#include <algorithm>

#include "tests/support/swf_writer.h"

namespace swfw {

namespace {

void WriteColor(BitWriter& out, Color c, bool withAlpha) {
    out.U8(c.r);
    out.U8(c.g);
    out.U8(c.b);
    if (withAlpha) out.U8(c.a);
}

}  // namespace

RawTag EncodeFont(const Font& font) {
    std::vector<Buffer> shapes;
    std::size_t shapeBytes = 0;
    for (const Glyph& g : font.glyphs) {
        shapes.push_back(EncodeGlyphShape(g.outline));
        shapeBytes += shapes.back().size();
    }
    const std::size_t count = font.glyphs.size();
    // Offsets count from the start of the offset table; wide ones when a narrow one would not do.
    const bool wideOffsets = (count + 1) * 2 + shapeBytes > 0xFFFF;
    const std::size_t offsetSize = wideOffsets ? 4 : 2;

    BitWriter out;
    out.U16(font.id);
    out.UB(1, font.layout);
    out.UB(3, 0);  // no Shift-JIS, no small text, no ANSI
    out.UB(1, wideOffsets);
    out.UB(1, 1);  // wide codes
    out.UB(1, font.italic);
    out.UB(1, font.bold);
    out.U8(1);  // language: Latin
    out.U8(static_cast<std::uint8_t>(font.name.size()));
    out.Append(Buffer(font.name.begin(), font.name.end()));
    out.U16(static_cast<std::uint16_t>(count));
    std::size_t offset = (count + 1) * offsetSize;
    auto writeOffset = [&](std::size_t v) {
        if (wideOffsets)
            out.U32(static_cast<std::uint32_t>(v));
        else
            out.U16(static_cast<std::uint16_t>(v));
    };
    for (const Buffer& shape : shapes) {
        writeOffset(offset);
        offset += shape.size();
    }
    writeOffset(offset);  // the code table
    for (const Buffer& shape : shapes) out.Append(shape);
    for (const Glyph& g : font.glyphs) out.U16(g.code);
    if (font.layout) {
        out.U16(font.ascent);
        out.U16(font.descent);
        out.S16(font.leading);
        for (const Glyph& g : font.glyphs) out.S16(g.advance);
        for (const Glyph& g : font.glyphs) WriteRect(out, g.outline.PointBounds().value_or(Rect{}));
        out.U16(static_cast<std::uint16_t>(font.kerning.size()));
        for (const KerningRecord& k : font.kerning) {
            out.U16(k.left);
            out.U16(k.right);
            out.S16(k.adjustment);
        }
    }
    return RawTag{font.version == 3 ? kDefineFont3 : kDefineFont2, out.Bytes()};
}

int Text::ResolvedVersion() const {
    if (version != 0) return version;
    const bool alpha = std::any_of(runs.begin(), runs.end(),
                                   [](const TextRun& r) { return r.color && r.color->a != 255; });
    return alpha ? 2 : 1;
}

RawTag EncodeText(const Text& text) {
    const int version = text.ResolvedVersion();
    int glyphBits = 0, advanceBits = 0;
    for (const TextRun& run : text.runs) {
        for (const TextGlyph& g : run.glyphs) {
            glyphBits = std::max(glyphBits, UnsignedBits(g.index));
            advanceBits = std::max(advanceBits, SignedBits(g.advance));
        }
    }
    BitWriter out;
    out.U16(text.id);
    WriteRect(out, text.bounds);
    WriteMatrix(out, text.matrix);
    out.U8(static_cast<std::uint8_t>(glyphBits));
    out.U8(static_cast<std::uint8_t>(advanceBits));
    for (const TextRun& run : text.runs) {
        out.UB(1, 1);  // a style record
        out.UB(3, 0);
        out.UB(1, run.fontId.has_value());
        out.UB(1, run.color.has_value());
        out.UB(1, run.y.has_value());
        out.UB(1, run.x.has_value());
        if (run.fontId) out.U16(*run.fontId);
        if (run.color) WriteColor(out, *run.color, version == 2);
        if (run.x) out.S16(*run.x);
        if (run.y) out.S16(*run.y);
        if (run.fontId) out.U16(run.height);
        out.U8(static_cast<std::uint8_t>(std::min<std::size_t>(run.glyphs.size(), 255)));
        for (std::size_t i = 0; i < run.glyphs.size() && i < 255; ++i) {
            out.UB(glyphBits, run.glyphs[i].index);
            out.SB(advanceBits, run.glyphs[i].advance);
        }
        out.Align();
    }
    out.U8(0);  // end of records
    const std::uint16_t code = version == 2 ? kDefineText2 : kDefineText;
    return RawTag{code, out.Bytes()};
}

}  // namespace swfw
