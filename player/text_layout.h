// Text field layout: a field's initial text (plain, or the HTML subset of <p>, <font>, <b>, <i>,
// <u> and <br> with the five named entities) split into paragraphs of styled runs, then broken
// into lines and placed inside the field's bounds. Positions are in the field's twips.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "player/limits.h"
#include "player/model.h"

namespace player {

struct TextStyle {
    std::string face;   // the font name as the movie gives it
    double size = 240;  // twips
    Rgba color;
    bool bold = false, italic = false, underline = false;
    double letterSpacing = 0;        // twips added after each character
    bool kerning = false;            // apply the font's kerning pairs
    const Font* embedded = nullptr;  // glyph outlines to draw with; device text when null
    bool operator==(const TextStyle&) const = default;
};

struct StyledRun {
    std::u32string text;
    int style = 0;  // index into StyledText::styles
};

struct Paragraph {
    TextAlign align = TextAlign::kLeft;
    int style = 0;  // sets the height of a paragraph without text
    std::vector<StyledRun> runs;
};

struct StyledText {
    std::vector<TextStyle> styles;
    std::vector<Paragraph> paragraphs;
};

// Stored text as code points: UTF-8 from movie version 6 on (a byte that is not valid UTF-8
// stands for itself), each byte one character before.
std::u32string DecodeText(std::string_view bytes, bool utf8);

// One character as UTF-8 (a lone surrogate becomes U+FFFD).
std::string EncodeUtf8(char32_t c);

// Plain text: CR, LF and CR LF end paragraphs. Styles, open tags and placed characters are
// capped by `limits`.
StyledText PlainText(std::u32string_view text, const TextStyle& style, TextAlign align,
                     const Limits& limits);
// The HTML subset (with <font letterSpacing kerning>); unknown tags are skipped and their text
// kept, as a player shows it.
StyledText ParseHtml(std::u32string_view html, const TextStyle& style, TextAlign align,
                     const Limits& limits);

// What layout needs from the fonts behind the styles.
class TextMetrics {
  public:
    virtual ~TextMetrics() = default;
    virtual double Ascent(const TextStyle& style) = 0;   // twips
    virtual double Descent(const TextStyle& style) = 0;  // twips
    virtual double Advance(const TextStyle& style, char32_t c) = 0;
    // The change to the advance of `left` when `right` follows it in the same style.
    virtual double Kerning(const TextStyle&, char32_t, char32_t) { return 0; }
};

// A character's place: its pen position on its line's baseline.
struct PlacedGlyph {
    char32_t c = 0;
    int style = 0;
    double x = 0, y = 0;
};

// An underline under characters of one underlined style, from x0 to x1 on a baseline.
struct Underline {
    int style = 0;
    double x0 = 0, x1 = 0, y = 0;
};

struct TextLayout {
    std::vector<TextStyle> styles;
    std::vector<PlacedGlyph> glyphs;  // spaces and line breaks left out
    std::vector<Underline> underlines;
};

// Lays the text out in the field: a 2 px gutter inside its bounds, then its margins; the first
// line of each paragraph indented; lines broken at spaces (or inside a word too long for a line)
// when the field wraps; each line aligned by its paragraph.
TextLayout LayOutText(StyledText text, const EditText& field, TextMetrics& metrics,
                      const Limits& limits);

}  // namespace player
