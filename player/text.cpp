#include "player/text.h"

#include <algorithm>

#include "player/bitreader.h"
#include "player/records.h"

namespace player {

namespace {

// One glyph outline: fill and line bit counts, then shape records; an outline that breaks off
// keeps the edges read so far.
std::vector<ShapeRecord> ReadGlyph(std::span<const std::uint8_t> data, ModelBudget& budget) {
    BitReader in(data);
    const int fillBits = static_cast<int>(in.UBits(4));
    const int lineBits = static_cast<int>(in.UBits(4));
    if (in.Failed()) return {};
    return ReadShapeRecords(in, 1, fillBits, lineBits, budget);
}

// Glyph outlines at the offsets, which count from the start of the offset table. Each outline
// ends with its own end record, so it is read up to the code table at most (the end of the data
// when that offset lies); an offset past the data gives an empty outline.
bool ReadGlyphs(std::span<const std::uint8_t> table, const std::vector<std::uint32_t>& offsets,
                std::size_t end, ModelBudget& budget, std::vector<std::vector<ShapeRecord>>* out) {
    out->reserve(offsets.size());
    for (const std::size_t begin : offsets) {
        const std::size_t stop = end > begin && end <= table.size() ? end : table.size();
        if (begin < stop) {
            out->push_back(ReadGlyph(table.subspan(begin, stop - begin), budget));
        } else {
            out->emplace_back();
        }
        if (budget.Exhausted()) return false;
    }
    return true;
}

bool ReadFont1(std::span<const std::uint8_t> body, ModelBudget& budget, Font* font) {
    BitReader in(body);
    font->id = in.U16();
    if (in.Failed()) return false;
    const auto table = body.subspan(2);
    BitReader offsets(table);
    // The first offset points just past the table, so it gives the glyph count.
    const std::uint32_t first = offsets.U16();
    if (offsets.Failed()) return true;  // a font of no glyphs
    const std::size_t count = first / 2;
    if (count == 0) return true;
    std::vector<std::uint32_t> starts{first};
    for (std::size_t i = 1; i < count && !offsets.Failed(); ++i) starts.push_back(offsets.U16());
    if (offsets.Failed() || !budget.Charge(count * sizeof(std::vector<ShapeRecord>))) return false;
    return ReadGlyphs(table, starts, table.size(), budget, &font->glyphs);
}

void ReadLayout(BitReader& in, std::size_t count, ModelBudget& budget, Font* font) {
    const std::int32_t ascent = in.U16();
    const std::int32_t descent = in.U16();
    const std::int32_t leading = in.S16();
    if (in.Failed()) return;
    font->hasLayout = true;
    font->ascent = ascent;
    font->descent = descent;
    font->leading = leading;
    if (!budget.Charge(count * (sizeof(std::int16_t) + sizeof(Rect)))) return;
    for (std::size_t i = 0; i < count && !in.Failed(); ++i) font->advances.push_back(in.S16());
    for (std::size_t i = 0; i < count && !in.Failed(); ++i)
        font->glyphBounds.push_back(ReadRect(in));
    const std::size_t pairs = in.U16();
    if (in.Failed() || !budget.Charge(pairs * sizeof(KerningPair))) return;
    for (std::size_t i = 0; i < pairs; ++i) {
        KerningPair k;
        k.left = font->wideCodes ? in.U16() : in.U8();
        k.right = font->wideCodes ? in.U16() : in.U8();
        k.adjustment = in.S16();
        if (in.Failed()) break;
        font->kerning.push_back(k);
    }
    // A table cut short keeps its entries read so far; missing advances count as zero.
    font->advances.resize(count, 0);
    font->glyphBounds.resize(count);
}

bool ReadFont23(std::span<const std::uint8_t> body, ModelBudget& budget, Font* font) {
    BitReader in(body);
    font->id = in.U16();
    const std::uint8_t flags = in.U8();
    font->hasLayout = false;
    font->shiftJis = flags & 0x40;
    font->smallText = flags & 0x20;
    font->ansi = flags & 0x10;
    const bool wideOffsets = flags & 0x08;
    font->wideCodes = flags & 0x04;
    font->italic = flags & 0x02;
    font->bold = flags & 0x01;
    font->language = in.U8();
    const std::size_t nameLength = in.U8();
    const auto name = in.Bytes(nameLength);
    font->name.assign(name.begin(), name.end());
    // Some writers end the name with a zero byte.
    font->name.erase(std::find(font->name.begin(), font->name.end(), '\0'), font->name.end());
    const std::size_t count = in.U16();
    if (in.Failed()) return false;
    if (count == 0) return true;  // a device font: a name and perhaps a lone code table offset

    const auto table = body.subspan(in.Position());
    std::vector<std::uint32_t> offsets;
    if (!budget.Charge(count * (sizeof(std::uint32_t) + sizeof(std::vector<ShapeRecord>) +
                                sizeof(std::uint16_t))))
        return false;
    offsets.reserve(count);
    for (std::size_t i = 0; i < count; ++i) offsets.push_back(wideOffsets ? in.U32() : in.U16());
    const std::uint32_t codeTableOffset = wideOffsets ? in.U32() : in.U16();
    if (in.Failed()) return false;
    if (!ReadGlyphs(table, offsets, codeTableOffset, budget, &font->glyphs)) return false;
    if (codeTableOffset > table.size()) return true;  // outlines without codes or layout

    BitReader rest(table.subspan(codeTableOffset));
    for (std::size_t i = 0; i < count && !rest.Failed(); ++i)
        font->codes.push_back(font->wideCodes ? rest.U16() : rest.U8());
    if (rest.Failed()) {
        font->codes.resize(count, 0);
        return true;
    }
    if (flags & 0x80) ReadLayout(rest, count, budget, font);
    return true;
}

TextRecord ReadTextRecord(BitReader& in, std::uint8_t flags, int version, int glyphBits,
                          int advanceBits, ModelBudget& budget) {
    TextRecord r;
    if (flags & 0x08) r.fontId = in.U16();
    if (flags & 0x04) r.color = version == 2 ? ReadRgba(in) : ReadRgb(in);
    if (flags & 0x01) r.xOffset = in.S16();
    if (flags & 0x02) r.yOffset = in.S16();
    if (flags & 0x08) r.height = in.U16();
    const std::size_t count = in.U8();
    if (in.Failed() || !budget.Charge(count * sizeof(GlyphEntry))) {
        in.Fail();
        return r;
    }
    r.glyphs.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        GlyphEntry g;
        g.index = in.UBits(glyphBits);
        g.advance = in.SBits(advanceBits);
        if (in.Failed()) break;
        r.glyphs.push_back(g);
    }
    in.Align();
    return r;
}

}  // namespace

bool ReadFont(std::span<const std::uint8_t> body, int version, ModelBudget& budget, Font* font) {
    font->version = version;
    return version == 1 ? ReadFont1(body, budget, font) : ReadFont23(body, budget, font);
}

bool ReadFontInfo(std::span<const std::uint8_t> body, int version, FontInfoTag* info) {
    BitReader in(body);
    info->fontId = in.U16();
    const std::size_t nameLength = in.U8();
    const auto name = in.Bytes(nameLength);
    info->name.assign(name.begin(), name.end());
    info->name.erase(std::find(info->name.begin(), info->name.end(), '\0'), info->name.end());
    const std::uint8_t flags = in.U8();
    info->smallText = flags & 0x20;
    info->shiftJis = flags & 0x10;
    info->ansi = flags & 0x08;
    info->italic = flags & 0x04;
    info->bold = flags & 0x02;
    info->wideCodes = flags & 0x01;
    if (version == 2) info->language = in.U8();
    if (in.Failed()) return false;
    // The code table fills the rest of the tag, one code per glyph of the font.
    const std::size_t width = info->wideCodes ? 2 : 1;
    info->codes.reserve(in.Remaining() / width);
    while (in.Remaining() >= width) info->codes.push_back(width == 2 ? in.U16() : in.U8());
    return true;
}

bool ReadFontName(std::span<const std::uint8_t> body, FontNameTag* name) {
    BitReader in(body);
    name->fontId = in.U16();
    name->name = in.String();
    if (in.Failed()) return false;
    name->copyright = in.String();  // optional in practice
    return true;
}

bool ReadStaticText(std::span<const std::uint8_t> body, int version, ModelBudget& budget,
                    StaticText* text) {
    BitReader in(body);
    text->version = version;
    text->id = in.U16();
    text->bounds = ReadRect(in);
    text->matrix = ReadMatrix(in);
    const int glyphBits = in.U8();
    const int advanceBits = in.U8();
    if (in.Failed()) return false;
    // Records until the end byte; a record that breaks off ends the text with what came before.
    while (true) {
        const std::uint8_t flags = in.U8();
        if (in.Failed() || flags == 0) break;
        if (!budget.Charge(sizeof(TextRecord))) return false;
        TextRecord record = ReadTextRecord(in, flags, version, glyphBits, advanceBits, budget);
        if (in.Failed()) {
            if (!record.glyphs.empty()) text->records.push_back(std::move(record));
            break;
        }
        text->records.push_back(std::move(record));
    }
    return true;
}

bool ReadEditText(std::span<const std::uint8_t> body, EditText* f) {
    BitReader in(body);
    f->id = in.U16();
    f->bounds = ReadRect(in);
    const std::uint8_t flags1 = in.U8();
    const std::uint8_t flags2 = in.U8();
    const bool hasText = flags1 & 0x80;
    f->wordWrap = flags1 & 0x40;
    f->multiline = flags1 & 0x20;
    f->password = flags1 & 0x10;
    f->readOnly = flags1 & 0x08;
    const bool hasColor = flags1 & 0x04;
    const bool hasMaxLength = flags1 & 0x02;
    const bool hasFont = flags1 & 0x01;
    const bool hasFontClass = flags2 & 0x80;
    f->autoSize = flags2 & 0x40;
    const bool hasLayout = flags2 & 0x20;
    f->noSelect = flags2 & 0x10;
    f->border = f->background = flags2 & 0x08;
    f->wasStatic = flags2 & 0x04;
    f->html = flags2 & 0x02;
    f->useOutlines = flags2 & 0x01;
    if (hasFont) f->fontId = in.U16();
    if (hasFontClass) f->fontClass = in.String();
    if (hasFont || hasFontClass) f->fontHeight = in.U16();
    if (hasColor) f->color = ReadRgba(in);
    if (hasMaxLength) f->maxLength = in.U16();
    if (hasLayout) {
        const std::uint8_t align = in.U8();
        f->align = align <= 3 ? static_cast<TextAlign>(align) : TextAlign::kLeft;
        f->leftMargin = in.U16();
        f->rightMargin = in.U16();
        f->indent = in.U16();
        f->leading = in.S16();
    }
    if (in.Failed()) return false;
    f->variableName = in.String();
    if (hasText && !in.Failed()) f->initialText = in.String();
    // A field whose strings break off still draws its frame; its text is what was read.
    return true;
}

void ApplyFontInfo(const FontInfoTag& info, Font* font) {
    if (!info.name.empty()) font->name = info.name;
    font->bold = info.bold;
    font->italic = info.italic;
    font->smallText = info.smallText;
    font->shiftJis = info.shiftJis;
    font->ansi = info.ansi;
    font->wideCodes = info.wideCodes;
    if (info.language) font->language = info.language;
    if (!info.codes.empty()) {
        font->codes = info.codes;
        font->codes.resize(font->glyphs.size(), 0);
    }
}

void ApplyFontName(const FontNameTag& name, Font* font) {
    font->displayName = name.name;
    font->copyright = name.copyright;
}

}  // namespace player
