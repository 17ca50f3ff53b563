// Text: font, static text and text field tags read from hand-written bytes; the HTML subset and
// line layout against fixed metrics; glyphs, field frames, alignment and wrapping by pixels.
#include "player/text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "player/player.h"
#include "player/reader.h"
#include "player/tags.h"
#include "player/text_layout.h"
#include "tests/support/swf_writer.h"

namespace player {
namespace {

using Bytes = std::vector<std::uint8_t>;

const Limits kLimits;

// ---- Reading ---------------------------------------------------------------------------------

// One glyph: a SHAPE of one fill bit and no line bits; move to (1, -1) selecting fill 1, a
// horizontal edge of dx 1, the end record.
const Bytes kGlyphShape = {0x10, 0x14, 0x4F, 0xC0, 0x40};

const std::vector<ShapeRecord> kGlyphRecords = {
    StyleChange{1, -1, std::nullopt, 1u, std::nullopt, std::nullopt},
    StraightEdge{1, 0},
};

Tag Read(std::uint16_t code, const Bytes& body) {
    ModelBudget budget;
    std::string problem;
    Tag tag = ReadTag(code, body, 0, budget, &problem);
    EXPECT_TRUE(problem.empty()) << problem;
    return tag;
}

TEST(TextTags, DefineFont2WithLayoutAndKerningByHand) {
    Bytes body = {
        0x05, 0x00,                   // font id 5
        0x85,                         // has layout, wide codes, bold
        0x01,                         // language
        0x02, 'A',  'b', 0x01, 0x00,  // one glyph
        0x04, 0x00,                   // its offset, from the offset table
        0x09, 0x00,                   // code table offset
    };
    body.insert(body.end(), kGlyphShape.begin(), kGlyphShape.end());
    const Bytes tail = {
        0x41, 0x00,                          // code 'A'
        0x20, 0x03, 0xC8, 0x00,              // ascent 800, descent 200
        0xF6, 0xFF,                          // leading -10
        0x84, 0x03,                          // advance 900
        0x00,                                // empty bounds
        0x01, 0x00,                          // one kerning pair
        0x41, 0x00, 0x41, 0x00, 0xCE, 0xFF,  // 'A' 'A' -50
    };
    body.insert(body.end(), tail.begin(), tail.end());
    const Tag tag = Read(48, body);
    const auto* font = std::get_if<Font>(&tag);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->id, 5);
    EXPECT_EQ(font->version, 2);
    EXPECT_EQ(font->name, "Ab");
    EXPECT_TRUE(font->bold);
    EXPECT_FALSE(font->italic);
    ASSERT_EQ(font->glyphs.size(), 1u);
    EXPECT_EQ(font->glyphs[0], kGlyphRecords);
    EXPECT_EQ(font->codes, std::vector<std::uint16_t>{0x41});
    EXPECT_TRUE(font->hasLayout);
    EXPECT_EQ(font->ascent, 800);
    EXPECT_EQ(font->descent, 200);
    EXPECT_EQ(font->leading, -10);
    EXPECT_EQ(font->advances, std::vector<std::int16_t>{900});
    EXPECT_EQ(font->kerning, (std::vector<KerningPair>{{0x41, 0x41, -50}}));
    EXPECT_EQ(font->EmSquare(), 1024);

    const Tag font3 = Read(75, body);
    ASSERT_TRUE(std::holds_alternative<Font>(font3));
    EXPECT_EQ(std::get<Font>(font3).EmSquare(), 20480);
}

TEST(TextTags, GlyphOffsetsThatLieLeaveThoseGlyphsEmpty) {
    Bytes body = {0x05, 0x00, 0x04, 0x01, 0x00, 0x02,
                  0x00, 0x06, 0x00, 0xF0, 0x00,  // second offset past the data
                  0x0B, 0x00};                   // code table offset
    body.insert(body.end(), kGlyphShape.begin(), kGlyphShape.end());
    body.insert(body.end(), {0x41, 0x00, 0x42, 0x00});
    const Tag tag = Read(48, body);
    const auto* font = std::get_if<Font>(&tag);
    ASSERT_NE(font, nullptr);
    ASSERT_EQ(font->glyphs.size(), 2u);
    EXPECT_EQ(font->glyphs[0], kGlyphRecords);
    EXPECT_TRUE(font->glyphs[1].empty());
    EXPECT_EQ(font->codes, (std::vector<std::uint16_t>{0x41, 0x42}));
}

TEST(TextTags, DefineTextRecordsByHand) {
    const Bytes body = {
        0x07, 0x00,  // text id 7
        0x00,        // empty bounds
        0x00,        // identity matrix
        0x02, 0x08,  // 2 glyph bits, 8 advance bits
        0x8F,        // font, colour, y, x
        0x05, 0x00, 0xFF, 0x00, 0x00, 0x64,
        0x00, 0xC8, 0x00, 0x90, 0x01,  // font 5, red, 100, 200, 400
        0x02, 0x1E, 0x3E, 0xC0,        // (0, 120), (3, -20)
        0x81, 0x32, 0x00,              // x 50
        0x01, 0x40, 0x00,              // (1, 0)
        0x00,                          // end
    };
    const Tag tag = Read(11, body);
    const auto* text = std::get_if<StaticText>(&tag);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->id, 7);
    ASSERT_EQ(text->records.size(), 2u);
    const TextRecord first{5, Rgba{255, 0, 0, 255}, 100, 200, 400, {{0, 120}, {3, -20}}};
    EXPECT_EQ(text->records[0], first);
    const TextRecord second{std::nullopt, std::nullopt, 50, std::nullopt, 0, {{1, 0}}};
    EXPECT_EQ(text->records[1], second);
}

TEST(TextTags, FontInfoNamesAndCodesAnEarlierDefineFont) {
    swfw::Movie m;
    Bytes font = {0x01, 0x00, 0x02, 0x00};
    font.insert(font.end(), kGlyphShape.begin(), kGlyphShape.end());
    m.Tag(swfw::RawTag(10, font));
    m.Tag(swfw::RawTag(13, {0x01, 0x00, 0x03, 'F', 'o', 'o', 0x03, 0x41, 0x00}));
    m.Tag(swfw::RawTag(88, {0x01, 0x00, 'S', 0x00, 'C', 0x00}));
    m.ShowFrame();
    std::string error;
    const auto movie = ReadMovie(m.Bytes(), &error);
    ASSERT_TRUE(movie) << error;
    const auto* read = std::get_if<Font>(movie->Find(1));
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->version, 1);
    EXPECT_EQ(read->glyphs, std::vector<std::vector<ShapeRecord>>{kGlyphRecords});
    EXPECT_EQ(read->name, "Foo");
    EXPECT_TRUE(read->bold);
    EXPECT_EQ(read->codes, std::vector<std::uint16_t>{0x41});
    EXPECT_EQ(read->displayName, "S");
    EXPECT_EQ(read->copyright, "C");
}

TEST(TextTags, EditTextFieldsAsTheWriterLaysThemOut) {
    swfw::EditText f;
    f.id = 3;
    f.bounds = {-40, 2000, -40, 400};
    f.text = "<b>hi</b>";
    f.fontId = 2;
    f.fontHeight = 300;
    f.color = swfw::Rgba(1, 2, 3, 4);
    f.layout = swfw::EditText::Layout{1, 20, 30, 40, -5};
    f.variableName = "v";
    f.wordWrap = f.multiline = f.border = f.html = f.useOutlines = true;
    const Tag tag = Read(37, swfw::EncodeEditText(f).body);
    const auto* field = std::get_if<EditText>(&tag);
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->id, 3);
    EXPECT_EQ(field->bounds, (Rect{-40, 2000, -40, 400}));
    EXPECT_EQ(field->initialText, "<b>hi</b>");
    EXPECT_EQ(field->fontId, 2);
    EXPECT_EQ(field->fontHeight, 300);
    EXPECT_EQ(field->color, (Rgba{1, 2, 3, 4}));
    EXPECT_EQ(field->align, TextAlign::kRight);
    EXPECT_EQ(field->leftMargin, 20);
    EXPECT_EQ(field->rightMargin, 30);
    EXPECT_EQ(field->indent, 40);
    EXPECT_EQ(field->leading, -5);
    EXPECT_EQ(field->variableName, "v");
    EXPECT_TRUE(field->wordWrap && field->multiline && field->border && field->html &&
                field->useOutlines);
    EXPECT_FALSE(field->password || field->readOnly || field->autoSize);
}

// ---- The HTML subset ---------------------------------------------------------------------------

struct HtmlCase {
    std::string html;
    std::vector<std::u32string> paragraphs;  // each paragraph's text
    std::vector<TextAlign> aligns;
};

class Html : public ::testing::TestWithParam<HtmlCase> {};

TEST_P(Html, SplitsParagraphsAndDecodesEntities) {
    const HtmlCase& c = GetParam();
    const StyledText t =
        ParseHtml(DecodeText(c.html, true), TextStyle{}, TextAlign::kLeft, kLimits);
    std::vector<std::u32string> texts;
    std::vector<TextAlign> aligns;
    for (const Paragraph& p : t.paragraphs) {
        std::u32string s;
        for (const StyledRun& r : p.runs) s += r.text;
        texts.push_back(s);
        aligns.push_back(p.align);
    }
    EXPECT_EQ(texts, c.paragraphs);
    if (!c.aligns.empty()) {
        EXPECT_EQ(aligns, c.aligns);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Subset, Html,
    ::testing::Values(HtmlCase{"plain", {U"plain"}, {}},
                      HtmlCase{"a&amp;b &lt;c&gt; &quot;d&quot; &apos;e&apos; &#65;&#x42;",
                               {U"a&b <c> \"d\" 'e' AB"},
                               {}},
                      HtmlCase{"a &unknown; b", {U"a &unknown; b"}, {}},
                      HtmlCase{"one<br>two<BR/>three", {U"one", U"two", U"three"}, {}},
                      HtmlCase{"<p align=\"right\">r</p><p align='center'>c</p><p>l</p>",
                               {U"r", U"c", U"l"},
                               {TextAlign::kRight, TextAlign::kCenter, TextAlign::kLeft}},
                      HtmlCase{"<span class=\"x\">kept</span> <u>text</u>", {U"kept text"}, {}},
                      HtmlCase{"caf\xc3\xa9 \xe2\x82\xac", {U"caf\u00e9 \u20ac"}, {}},
                      HtmlCase{"broken <font", {U"broken "}, {}}));

TEST(Html, FontBoldAndItalicNestAndClose) {
    TextStyle base;
    base.face = "_sans";
    base.size = 240;
    const StyledText t = ParseHtml(
        U"a<font face=\"_serif\" size=\"20\" color=\"#FF0000\">b<b>c<i>d</i></b>e</font>f", base,
        TextAlign::kLeft, kLimits);
    ASSERT_EQ(t.paragraphs.size(), 1u);
    const auto& runs = t.paragraphs[0].runs;
    ASSERT_EQ(runs.size(), 6u);
    auto style = [&](int i) { return t.styles[runs[i].style]; };
    EXPECT_EQ(style(0), base);
    EXPECT_EQ(style(1).face, "_serif");
    EXPECT_EQ(style(1).size, 400);
    EXPECT_EQ(style(1).color, (Rgba{255, 0, 0, 255}));
    EXPECT_TRUE(style(2).bold);
    EXPECT_FALSE(style(2).italic);
    EXPECT_TRUE(style(3).bold && style(3).italic);
    EXPECT_EQ(style(3).face, "_serif");
    EXPECT_FALSE(style(4).bold);
    EXPECT_EQ(style(4).face, "_serif");
    EXPECT_EQ(style(5), base);
}

TEST(TextDecoding, Utf8FromVersion6AndBytesBefore) {
    EXPECT_EQ(DecodeText("\xc3\xa9", true), U"\u00e9");
    EXPECT_EQ(DecodeText("\xc3\xa9", false), U"\u00c3\u00a9");
    // Bytes that are not UTF-8 stand for themselves.
    EXPECT_EQ(DecodeText("a\xe9z\xc3", true), U"a\u00e9z\u00c3");
    EXPECT_EQ(DecodeText("\xe0\x80\x80", true), U"\u00e0\u0080\u0080");  // overlong
}

// ---- Layout ---------------------------------------------------------------------------------

// Every character 100 twips wide, ascent 200, descent 50.
class FixedMetrics : public TextMetrics {
  public:
    double Ascent(const TextStyle&) override { return 200; }
    double Descent(const TextStyle&) override { return 50; }
    double Advance(const TextStyle&, char32_t) override { return 100; }
};

EditText Field(std::int32_t width) {
    EditText f;
    f.bounds = {0, width, 0, 2000};
    return f;
}

std::vector<double> Xs(const TextLayout& layout) {
    std::vector<double> xs;
    for (const PlacedGlyph& g : layout.glyphs) xs.push_back(g.x);
    return xs;
}

struct AlignCase {
    TextAlign align;
    std::vector<double> xs;
};

class Alignment : public ::testing::TestWithParam<AlignCase> {};

TEST_P(Alignment, PlacesTheLineBetweenGutterAndMargins) {
    // Field 0..1000 with margins 100 and 60: text runs from 140 to 900 (760 wide).
    EditText f = Field(1000);
    f.leftMargin = 100;
    f.rightMargin = 60;
    f.align = GetParam().align;
    FixedMetrics metrics;
    const TextLayout layout =
        LayOutText(PlainText(U"ab c", {}, f.align, kLimits), f, metrics, kLimits);
    EXPECT_EQ(Xs(layout), GetParam().xs);
}

INSTANTIATE_TEST_SUITE_P(Aligns, Alignment,
                         ::testing::Values(AlignCase{TextAlign::kLeft, {140, 240, 440}},
                                           AlignCase{TextAlign::kRight, {500, 600, 800}},
                                           AlignCase{TextAlign::kCenter, {320, 420, 620}},
                                           // The last line of a paragraph is not spread.
                                           AlignCase{TextAlign::kJustify, {140, 240, 440}}));

TEST(Layout, WrapsAtSpacesAndSpreadsJustifiedLines) {
    EditText f = Field(680);  // 600 twips for text
    f.wordWrap = true;
    f.align = TextAlign::kJustify;
    f.leading = 30;
    FixedMetrics metrics;
    const TextLayout layout =
        LayOutText(PlainText(U"aa bb cc", {}, f.align, kLimits), f, metrics, kLimits);
    ASSERT_EQ(layout.glyphs.size(), 6u);
    // "aa bb" spread over 600: the space takes 200.
    EXPECT_EQ(Xs(layout), (std::vector<double>{40, 140, 440, 540, 40, 140}));
    EXPECT_EQ(layout.glyphs[0].y, 240);                  // gutter + ascent
    EXPECT_EQ(layout.glyphs[4].y, 240 + 50 + 30 + 200);  // descent, leading, ascent
}

TEST(Layout, BreaksInsideAWordTooLongForALineAndIndentsFirstLines) {
    EditText f = Field(380);  // 300 twips for text
    f.wordWrap = true;
    f.indent = 100;
    FixedMetrics metrics;
    const TextLayout layout =
        LayOutText(PlainText(U"abcdefg\nh", {}, f.align, kLimits), f, metrics, kLimits);
    EXPECT_EQ(Xs(layout), (std::vector<double>{140, 240, 40, 140, 240, 40, 140, 140}));
    EXPECT_EQ(layout.glyphs[2].y, layout.glyphs[0].y + 250);
    EXPECT_EQ(layout.glyphs[7].y, layout.glyphs[0].y + 750);
}

// FixedMetrics with one kerning pair, "AV" closer by 30 twips.
class KernedMetrics : public FixedMetrics {
  public:
    double Kerning(const TextStyle&, char32_t left, char32_t right) override {
        return left == U'A' && right == U'V' ? -30 : 0;
    }
};

TEST(Layout, LetterSpacingAndKerningOnlyWhereTheFontTagAsksForThem) {
    EditText f = Field(4000);
    KernedMetrics metrics;
    const TextLayout plain =
        LayOutText(ParseHtml(U"AVA", {}, f.align, kLimits), f, metrics, kLimits);
    EXPECT_EQ(Xs(plain), (std::vector<double>{40, 140, 240}));
    const TextLayout kerned = LayOutText(
        ParseHtml(U"<font kerning=\"1\">AVA</font>", {}, f.align, kLimits), f, metrics, kLimits);
    EXPECT_EQ(Xs(kerned), (std::vector<double>{40, 110, 210}));
    const TextLayout spaced = LayOutText(
        ParseHtml(U"<FONT LETTERSPACING=\"1.5\" KERNING=\"0\">AVA</FONT>", {}, f.align, kLimits), f,
        metrics, kLimits);
    EXPECT_EQ(Xs(spaced), (std::vector<double>{40, 170, 300}));
}

TEST(Layout, UnderlinesRunUnderUnderlinedTextAndItsInnerSpaces) {
    EditText f = Field(4000);
    FixedMetrics metrics;
    const TextLayout layout = LayOutText(
        ParseHtml(U"a<u>b c </u>d<u>e</u><br><u>f</u>", {}, f.align, kLimits), f, metrics, kLimits);
    ASSERT_EQ(layout.underlines.size(), 3u);
    EXPECT_EQ(layout.underlines[0].x0, 140);
    EXPECT_EQ(layout.underlines[0].x1, 540);  // "b c " with its space before "d"
    EXPECT_EQ(layout.underlines[1].x0, 640);
    EXPECT_EQ(layout.underlines[1].x1, 740);
    EXPECT_EQ(layout.underlines[2].x0, 40);
    EXPECT_GT(layout.underlines[2].y, layout.underlines[1].y);
}

TEST(Layout, WithoutWrapALineRunsPastTheField) {
    EditText f = Field(380);
    FixedMetrics metrics;
    const TextLayout layout =
        LayOutText(PlainText(U"abcdefg", {}, f.align, kLimits), f, metrics, kLimits);
    ASSERT_EQ(layout.glyphs.size(), 7u);
    EXPECT_EQ(layout.glyphs.back().x, 640);
    EXPECT_EQ(layout.glyphs.back().y, layout.glyphs.front().y);
}

// ---- Pixels ---------------------------------------------------------------------------------

struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t At(int x, int y) const { return pixels[std::size_t(y) * width + x]; }
};

Picture Render(const swfw::Movie& m, int width, int height) {
    std::string error;
    auto p = Player::Load(m.Bytes(), &error);
    EXPECT_TRUE(p) << error;
    Picture pic{width, height, std::vector<std::uint32_t>(std::size_t(width) * height, 0)};
    if (!p) return pic;
    p->Render({reinterpret_cast<std::uint8_t*>(pic.pixels.data()), width, height, width * 4});
    return pic;
}

constexpr std::uint32_t kWhite = 0xFFFFFFFF, kRed = 0xFFFF0000, kBlack = 0xFF000000,
                        kGrey = 0xFF808080;

bool Dark(std::uint32_t c) {
    return ((c >> 16) & 0xFF) < 128 && ((c >> 8) & 0xFF) < 128 && (c & 0xFF) < 128;
}

// A font whose glyph for 'A' fills the EM square above the baseline; `em` is 1024 (DefineFont2)
// or 20480 (DefineFont3).
swfw::Font SquareFont(std::uint16_t id, int version, std::int16_t advance) {
    const std::int32_t em = version == 3 ? 20480 : 1024;
    swfw::Font font;
    font.id = id;
    font.version = version;
    font.name = "Square";
    swfw::Glyph glyph;
    glyph.code = 'A';
    glyph.outline.Fill(1).Rectangle(0, -em, em, em);
    glyph.advance = static_cast<std::int16_t>(version == 3 ? advance * 20 : advance);
    font.glyphs.push_back(glyph);
    font.ascent = static_cast<std::uint16_t>(em);
    font.descent = 0;
    return font;
}

swfw::Movie Stage(int w, int h, swfw::Color background = swfw::Rgb(255, 255, 255)) {
    swfw::Movie m;
    m.Size(w, h).Background(background);
    return m;
}

class StaticGlyphs : public ::testing::TestWithParam<int> {};

TEST_P(StaticGlyphs, LandAtTheirAdvancesAndSkipIndexesBeyondTheFont) {
    // Glyphs 20 px high at pen steps of 30 px, from (10, 50); the second entry's index is not
    // in the font.
    swfw::Text text;
    text.id = 2;
    text.bounds = {0, 2000, -400, 0};
    text.matrix = swfw::Matrix::Translate(200, 1000);
    swfw::TextRun run;
    run.fontId = 1;
    run.height = 400;
    run.color = swfw::Rgb(255, 0, 0);
    run.x = 0;
    run.y = 0;
    run.glyphs = {{0, 600}, {5, 600}, {0, 600}};
    text.runs.push_back(run);
    auto m = Stage(100, 100);
    m.Define(SquareFont(1, GetParam(), 1024)).Define(text);
    m.Place(swfw::PlaceObject::New(2, 1)).ShowFrame();
    const Picture p = Render(m, 100, 100);
    EXPECT_EQ(p.At(11, 31), kRed);
    EXPECT_EQ(p.At(28, 48), kRed);
    EXPECT_EQ(p.At(11, 29), kWhite);
    EXPECT_EQ(p.At(11, 51), kWhite);
    EXPECT_EQ(p.At(35, 40), kWhite);
    EXPECT_EQ(p.At(50, 40), kWhite);  // the glyph beyond the font
    EXPECT_EQ(p.At(71, 31), kRed);
    EXPECT_EQ(p.At(88, 48), kRed);
}

INSTANTIATE_TEST_SUITE_P(FontVersions, StaticGlyphs, ::testing::Values(2, 3));

TEST(StaticText, RecordsKeepThePenAndTakeTheColourTransform) {
    swfw::Text text;
    text.id = 2;
    text.bounds = {0, 2000, -400, 0};
    swfw::TextRun first;
    first.fontId = 1;
    first.height = 200;
    first.color = swfw::Rgb(255, 0, 0);
    first.x = 200;
    first.y = 400;
    first.glyphs = {{0, 400}};
    swfw::TextRun second;  // no offsets: goes on from the pen, in the same font
    second.color = swfw::Rgb(0, 0, 255);
    second.glyphs = {{0, 400}};
    text.runs = {first, second};
    auto m = Stage(50, 30);
    m.Define(SquareFont(1, 2, 1024)).Define(text);
    m.Place(swfw::PlaceObject::New(2, 1).Colors(swfw::ColorTransform::Tint(1, 1, 0.5))).ShowFrame();
    const Picture p = Render(m, 50, 30);
    EXPECT_EQ(p.At(15, 15), kRed);         // 10..20 x 10..20
    EXPECT_EQ(p.At(35, 15), 0xFF00007Fu);  // 30..40, blue halved
    EXPECT_EQ(p.At(25, 15), kWhite);
}

swfw::EditText BorderedField(std::uint16_t id, std::int32_t width, std::int32_t height) {
    swfw::EditText f;
    f.id = id;
    f.bounds = {0, width, 0, height};
    f.border = true;
    f.readOnly = true;
    return f;
}

TEST(EditTextPixels, BorderAndBackgroundAtTheBounds) {
    // 50 x 30 px at (10, 10), on grey.
    auto m = Stage(80, 60, swfw::Rgb(128, 128, 128));
    m.Define(BorderedField(1, 1000, 600)).Place(swfw::PlaceObject::New(1, 1).At(200, 200));
    m.ShowFrame();
    const Picture p = Render(m, 80, 60);
    EXPECT_EQ(p.At(10, 10), kBlack);
    EXPECT_EQ(p.At(35, 10), kBlack);
    EXPECT_EQ(p.At(10, 25), kBlack);
    EXPECT_EQ(p.At(60, 25), kBlack);
    EXPECT_EQ(p.At(35, 40), kBlack);
    EXPECT_EQ(p.At(35, 25), kWhite);
    EXPECT_EQ(p.At(11, 11), kWhite);
    EXPECT_EQ(p.At(9, 25), kGrey);
    EXPECT_EQ(p.At(61, 25), kGrey);
    EXPECT_EQ(p.At(35, 41), kGrey);
    EXPECT_EQ(p.At(35, 9), kGrey);
}

// Columns and rows that hold dark pixels.
struct Ink {
    int left = 1 << 30, right = -1, top = 1 << 30, bottom = -1;
};
Ink InkOf(const Picture& p) {
    Ink ink;
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
            if (!Dark(p.At(x, y))) continue;
            ink.left = std::min(ink.left, x);
            ink.right = std::max(ink.right, x);
            ink.top = std::min(ink.top, y);
            ink.bottom = std::max(ink.bottom, y);
        }
    }
    return ink;
}

swfw::Movie DeviceTextMovie(std::uint8_t align, bool wrap, const std::string& text) {
    swfw::EditText f;
    f.id = 2;
    f.bounds = {0, 4000, 0, 2000};  // 200 x 100 px
    f.fontId = 1;
    f.fontHeight = 240;
    f.color = swfw::Rgb(0, 0, 0);
    f.text = text;
    f.wordWrap = wrap;
    f.multiline = true;
    f.layout = swfw::EditText::Layout{align, 0, 0, 0, 0};
    auto m = Stage(200, 100);
    m.Define(swfw::DeviceFont{1, "_sans"}).Define(f);
    m.Place(swfw::PlaceObject::New(2, 1)).ShowFrame();
    return m;
}

TEST(EditTextPixels, DeviceTextFollowsTheAlignment) {
    const Ink left = InkOf(Render(DeviceTextMovie(0, false, "Wide words"), 200, 100));
    const Ink right = InkOf(Render(DeviceTextMovie(1, false, "Wide words"), 200, 100));
    const Ink centre = InkOf(Render(DeviceTextMovie(2, false, "Wide words"), 200, 100));
    ASSERT_GE(left.right, 0);
    EXPECT_GE(left.left, 2);  // the gutter
    EXPECT_LE(left.left, 4);
    EXPECT_LE(right.right, 198);
    EXPECT_GE(right.right, 195);
    const int width = left.right - left.left;
    EXPECT_NEAR(right.right - right.left, width, 1);
    EXPECT_NEAR((centre.left + centre.right) / 2.0, 100, 2);
    // 12 px text on the first line.
    EXPECT_GE(left.top, 2);
    EXPECT_LE(left.bottom, 18);
}

TEST(EditTextPixels, WordWrapMakesASecondLine) {
    const std::string text = "Words enough to fill more than one line of this field";
    const Ink wrapped = InkOf(Render(DeviceTextMovie(0, true, text), 200, 100));
    const Ink single = InkOf(Render(DeviceTextMovie(0, false, text), 200, 100));
    EXPECT_LE(single.bottom, 18);
    EXPECT_GE(single.right, 197);  // cut at the field's edge
    EXPECT_GT(wrapped.bottom, 24);
    EXPECT_LT(wrapped.right, 198);
}

TEST(EditTextPixels, EmbeddedGlyphsWithHtmlColoursAndBreaks) {
    // Square glyphs 20 px high; 1200/1024 EM advances (23.4 px); the field at (10, 10).
    swfw::EditText f;
    f.id = 2;
    f.bounds = {0, 3000, 0, 2000};
    f.fontId = 1;
    f.fontHeight = 400;
    f.color = swfw::Rgb(255, 0, 0);
    f.text = "AA<br><font color=\"#0000ff\">A</font>";
    f.html = f.useOutlines = f.multiline = true;
    auto m = Stage(170, 100);
    m.Define(SquareFont(1, 3, 1200)).Define(f);
    m.Place(swfw::PlaceObject::New(2, 1).At(200, 200)).ShowFrame();
    const Picture p = Render(m, 170, 100);
    // First line: the gutter puts the glyphs at 12..32 and 35.4..55.4, rows 12..32.
    EXPECT_EQ(p.At(13, 13), kRed);
    EXPECT_EQ(p.At(31, 31), kRed);
    EXPECT_EQ(p.At(34, 20), kWhite);
    EXPECT_EQ(p.At(40, 20), kRed);
    EXPECT_EQ(p.At(58, 20), kWhite);
    // Second line, one line height (ascent 20 px) lower, in blue.
    EXPECT_EQ(p.At(20, 40), 0xFF0000FFu);
    EXPECT_EQ(p.At(40, 40), kWhite);
}

TEST(EditTextPixels, EmbeddedKerningPairsMoveTheNextGlyph) {
    // Square glyphs 20 px high, advances of 1200/1024 EM (23.4 px), the pair "AA" 500/1024 EM
    // (9.8 px) closer where kerning is asked for.
    swfw::Font font = SquareFont(1, 2, 1200);
    font.kerning = {{'A', 'A', -500}};
    swfw::EditText f;
    f.id = 2;
    f.bounds = {0, 3000, 0, 2000};
    f.fontId = 1;
    f.fontHeight = 400;
    f.color = swfw::Rgb(255, 0, 0);
    f.text = "<font kerning=\"1\">AA</font>A";
    f.html = f.useOutlines = true;
    auto m = Stage(120, 40);
    m.Define(font).Define(f).Place(swfw::PlaceObject::New(2, 1)).ShowFrame();
    const Picture p = Render(m, 120, 40);
    // Glyphs at 2..22, 15.7..35.7 (kerned) and 39.1..59.1 (the pair ends with the run).
    EXPECT_EQ(p.At(34, 10), kRed);
    EXPECT_EQ(p.At(37, 10), kWhite);
    EXPECT_EQ(p.At(40, 10), kRed);
    EXPECT_EQ(p.At(58, 10), kRed);
    EXPECT_EQ(p.At(61, 10), kWhite);
}

// ---- Robustness -------------------------------------------------------------------------------

TEST(TextRobustness, EveryCutOfTextTagsLoadsAndRenders) {
    swfw::Text text;
    text.id = 2;
    text.bounds = {0, 2000, -400, 0};
    swfw::TextRun run;
    run.fontId = 1;
    run.height = 400;
    run.glyphs = {{0, 600}, {300, 600}};
    text.runs.push_back(run);
    swfw::EditText f;
    f.id = 3;
    f.bounds = {0, 2000, 0, 2000};
    f.fontId = 1;
    f.text = "<p align='center'><font size='+2'>A<b>A</b></font></p>";
    f.html = f.useOutlines = f.wordWrap = f.border = true;
    f.layout = swfw::EditText::Layout{3, 10, 10, 10, -400};
    const std::vector<swfw::RawTag> tags = {swfw::EncodeFont(SquareFont(1, 2, 1024)),
                                            swfw::EncodeText(text), swfw::EncodeEditText(f)};
    for (std::size_t which = 0; which < tags.size(); ++which) {
        for (std::size_t keep = 0; keep <= tags[which].body.size(); ++keep) {
            swfw::Movie m = Stage(40, 40);
            for (std::size_t k = 0; k < tags.size(); ++k)
                m.Tag(k == which ? swfw::RawTag(tags[k].code, Bytes(tags[k].body.begin(),
                                                                    tags[k].body.begin() + keep))
                                 : tags[k]);
            m.Place(swfw::PlaceObject::New(2, 1)).Place(swfw::PlaceObject::New(3, 2)).ShowFrame();
            Render(m, 40, 40);
        }
    }
}

TEST(TextRobustness, LongPathologicalHtmlStaysLinear) {
    // Ampersands without a semicolon, tags left open, unfinished tags: each would cost a scan
    // to the end of the text per character if searches were not bounded.
    const std::u32string amps(1 << 18, U'&');
    EXPECT_EQ(ParseHtml(amps, {}, TextAlign::kLeft, kLimits).paragraphs[0].runs[0].text.size(),
              amps.size());
    std::u32string opens;
    for (int i = 0; i < 1 << 15; ++i) opens += U"<b><font size='+1'><i>x";
    const StyledText t = ParseHtml(opens, {}, TextAlign::kLeft, kLimits);
    EXPECT_LE(t.styles.size(), kLimits.maxTextStyles);
    EXPECT_EQ(t.paragraphs.size(), 1u);
    Limits few;
    few.maxTextStyles = 3;
    EXPECT_EQ(ParseHtml(opens, {}, TextAlign::kLeft, few).styles.size(), 3u);
}

TEST(TextRobustness, PlacedCharactersStopAtTheCap) {
    EditText f = Field(100000);
    FixedMetrics metrics;
    Limits few;
    few.maxPlacedGlyphs = 3;
    EXPECT_EQ(LayOutText(PlainText(U"abcdefg", {}, f.align, few), f, metrics, few).glyphs.size(),
              3u);
    EXPECT_EQ(
        LayOutText(PlainText(U"abcdefg", {}, f.align, kLimits), f, metrics, kLimits).glyphs.size(),
        7u);
}

TEST(TextRobustness, DegenerateHeightsAndMatricesDrawNothing) {
    swfw::Text text;
    text.id = 2;
    text.matrix = swfw::Matrix::Affine(0, 0, 0, 0, 0, 0);
    swfw::TextRun run;
    run.fontId = 1;
    run.height = 0;
    run.glyphs = {{0, 600}};
    text.runs.push_back(run);
    swfw::Text flat = text;
    flat.id = 3;
    flat.matrix = swfw::Matrix{};
    swfw::EditText f;
    f.id = 4;
    f.bounds = {0, 800, 0, 800};
    f.fontId = 5;
    f.fontHeight = 0;
    f.text = "text";
    f.border = true;
    auto m = Stage(40, 40);
    m.Define(SquareFont(1, 2, 1024)).Define(text).Define(flat).Define(f);
    m.Define(swfw::DeviceFont{5, "_typewriter"});
    m.Place(swfw::PlaceObject::New(2, 1))
        .Place(swfw::PlaceObject::New(3, 2))
        .Place(swfw::PlaceObject::New(4, 3).With(swfw::Matrix::Affine(0, 0, 0, 0, 0, 0)))
        .Place(swfw::PlaceObject::New(4, 4).At(200, 200))
        .ShowFrame();
    const Picture p = Render(m, 40, 40);
    EXPECT_EQ(p.At(5, 5), kWhite);
    EXPECT_EQ(p.At(10, 10), kBlack);  // the last field's border still draws
}

}  // namespace
}  // namespace player
