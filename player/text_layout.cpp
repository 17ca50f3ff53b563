#include "player/text_layout.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <map>
#include <optional>

namespace player {

namespace {

// "&", the longest entity name this reads ("#x10FFFF") and ";".
constexpr std::size_t kMaxEntityLength = 10;
// The gutter between a field's bounds and its text, twips.
constexpr double kGutter = 40;

bool IsBreak(char32_t c) {
    return c == U'\r' || c == U'\n';
}

bool IsSpace(char32_t c) {
    return c == U' ' || c == U'\t';
}

std::string Lower(std::u32string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char32_t c : s) out.push_back(c < 128 ? char(std::tolower(int(c))) : '?');
    return out;
}

std::string Narrow(std::u32string_view s) {
    std::string out;
    for (char32_t c : s) out += EncodeUtf8(c);
    return out;
}

// Builds paragraphs run by run, sharing equal styles.
class TextBuilder {
  public:
    TextBuilder(TextAlign align, std::size_t maxStyles) : maxStyles_(maxStyles) {
        text_.paragraphs.push_back(Paragraph{align, 0, {}});
    }

    int StyleIndex(const TextStyle& style) {
        for (std::size_t i = 0; i < text_.styles.size(); ++i) {
            if (text_.styles[i] == style) return static_cast<int>(i);
        }
        if (text_.styles.size() >= maxStyles_) return 0;
        text_.styles.push_back(style);
        return static_cast<int>(text_.styles.size() - 1);
    }

    void Add(char32_t c, int style) {
        Paragraph& p = text_.paragraphs.back();
        if (p.runs.empty()) p.style = style;
        if (p.runs.empty() || p.runs.back().style != style) p.runs.push_back({{}, style});
        p.runs.back().text.push_back(c);
    }

    void EndParagraph(TextAlign nextAlign, int style) {
        text_.paragraphs.push_back(Paragraph{nextAlign, style, {}});
    }

    bool CurrentEmpty() const { return text_.paragraphs.back().runs.empty(); }
    void SetAlign(TextAlign align) { text_.paragraphs.back().align = align; }
    void SetParagraphStyle(int style) {
        if (CurrentEmpty()) text_.paragraphs.back().style = style;
    }

    StyledText Finish(bool dropTrailingEmpty) {
        if (dropTrailingEmpty && text_.paragraphs.size() > 1 && CurrentEmpty())
            text_.paragraphs.pop_back();
        return std::move(text_);
    }

  private:
    std::size_t maxStyles_;
    StyledText text_;
};

struct HtmlTag {
    std::string name;
    bool closing = false;
    std::map<std::string, std::u32string> attributes;
};

HtmlTag ParseTag(std::u32string_view body) {
    HtmlTag tag;
    std::size_t i = 0;
    auto skipSpace = [&] {
        while (i < body.size() && (IsSpace(body[i]) || IsBreak(body[i]))) ++i;
    };
    skipSpace();
    if (i < body.size() && body[i] == U'/') {
        tag.closing = true;
        ++i;
    }
    const std::size_t nameStart = i;
    while (i < body.size() && !IsSpace(body[i]) && !IsBreak(body[i]) && body[i] != U'/') ++i;
    tag.name = Lower(body.substr(nameStart, i - nameStart));
    while (i < body.size()) {
        skipSpace();
        const std::size_t keyStart = i;
        while (i < body.size() && body[i] != U'=' && !IsSpace(body[i]) && !IsBreak(body[i])) ++i;
        const std::string key = Lower(body.substr(keyStart, i - keyStart));
        skipSpace();
        std::u32string value;
        if (i < body.size() && body[i] == U'=') {
            ++i;
            skipSpace();
            if (i < body.size() && (body[i] == U'"' || body[i] == U'\'')) {
                const char32_t quote = body[i++];
                const std::size_t end = std::min(body.find(quote, i), body.size());
                value = body.substr(i, end - i);
                i = end + 1;
            } else {
                const std::size_t start = i;
                while (i < body.size() && !IsSpace(body[i]) && !IsBreak(body[i])) ++i;
                value = body.substr(start, i - start);
            }
        } else if (key.empty()) {
            ++i;  // a stray character: skipped
        }
        if (!key.empty()) tag.attributes[key] = value;
    }
    return tag;
}

std::optional<char32_t> Entity(std::u32string_view name) {
    const std::string n = Lower(name);
    if (n == "amp") return U'&';
    if (n == "lt") return U'<';
    if (n == "gt") return U'>';
    if (n == "quot") return U'"';
    if (n == "apos") return U'\'';
    if (n == "nbsp") return char32_t(0xA0);
    if (n.size() > 1 && n[0] == '#') {
        const bool hex = n[1] == 'x';
        const std::string digits = n.substr(hex ? 2 : 1);
        if (digits.empty() || digits.size() > 8) return std::nullopt;
        char* end = nullptr;
        const unsigned long v = std::strtoul(digits.c_str(), &end, hex ? 16 : 10);
        if (*end != '\0' || v == 0 || v > 0x10FFFF) return std::nullopt;
        return char32_t(v);
    }
    return std::nullopt;
}

std::optional<TextAlign> AlignNamed(const std::u32string& value) {
    const std::string v = Lower(value);
    if (v == "left") return TextAlign::kLeft;
    if (v == "right") return TextAlign::kRight;
    if (v == "center") return TextAlign::kCenter;
    if (v == "justify") return TextAlign::kJustify;
    return std::nullopt;
}

std::optional<Rgba> ColorNamed(const std::u32string& value) {
    std::string v = Lower(value);
    if (!v.empty() && v[0] == '#') v.erase(0, 1);
    if (v.size() != 6 || v.find_first_not_of("0123456789abcdef") != std::string::npos)
        return std::nullopt;
    const unsigned long rgb = std::strtoul(v.c_str(), nullptr, 16);
    return Rgba{std::uint8_t(rgb >> 16), std::uint8_t(rgb >> 8), std::uint8_t(rgb), 255};
}

// <font size>: pixels, or a change of the current size when signed.
double SizeNamed(const std::u32string& value, double current) {
    const std::string v = Lower(value);
    if (v.empty()) return current;
    char* end = nullptr;
    const double n = std::strtod(v.c_str(), &end);
    if (end == v.c_str() || !std::isfinite(n)) return current;
    const double size = (v[0] == '+' || v[0] == '-') ? current + n * 20 : n * 20;
    return std::clamp(size, 20.0, 127.0 * 20 * 10);
}

// <font letterSpacing>: pixels, possibly fractional or negative.
double SpacingNamed(const std::u32string& value) {
    const std::string v = Lower(value);
    char* end = nullptr;
    const double n = std::strtod(v.c_str(), &end);
    if (end == v.c_str() || !std::isfinite(n)) return 0;
    return std::clamp(n, -1000.0, 1000.0) * 20;
}

}  // namespace

std::string EncodeUtf8(char32_t c) {
    std::string out;
    if (c >= 0xD800 && c < 0xE000) c = 0xFFFD;
    if (c < 0x80) {
        out.push_back(char(c));
    } else if (c < 0x800) {
        out.push_back(char(0xC0 | (c >> 6)));
        out.push_back(char(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(char(0xE0 | (c >> 12)));
        out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(char(0x80 | (c & 0x3F)));
    } else {
        out.push_back(char(0xF0 | (c >> 18)));
        out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(char(0x80 | (c & 0x3F)));
    }
    return out;
}

std::u32string DecodeText(std::string_view bytes, bool utf8) {
    std::u32string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (!utf8 || b < 0x80) {
            out.push_back(b);
            ++i;
            continue;
        }
        const int length = b >= 0xF0 && b < 0xF8   ? 4
                           : b >= 0xE0             ? 3
                           : b >= 0xC2 && b < 0xE0 ? 2
                                                   : 0;
        char32_t c = length == 4 ? (b & 0x07) : length == 3 ? (b & 0x0F) : (b & 0x1F);
        bool valid = length > 0 && i + length <= bytes.size();
        for (int k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            valid = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3F);
        }
        if (valid && c <= 0x10FFFF && (length != 3 || c >= 0x800) &&
            (length != 4 || c >= 0x10000)) {
            out.push_back(c);
            i += length;
        } else {
            out.push_back(b);
            ++i;
        }
    }
    return out;
}

StyledText PlainText(std::u32string_view text, const TextStyle& style, TextAlign align,
                     const Limits& limits) {
    TextBuilder builder(align, limits.maxTextStyles);
    const int base = builder.StyleIndex(style);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (IsBreak(text[i])) {
            if (text[i] == U'\r' && i + 1 < text.size() && text[i + 1] == U'\n') ++i;
            builder.EndParagraph(align, base);
        } else {
            builder.Add(text[i], base);
        }
    }
    return builder.Finish(false);
}

StyledText ParseHtml(std::u32string_view html, const TextStyle& style, TextAlign align,
                     const Limits& limits) {
    TextBuilder builder(align, limits.maxTextStyles);
    struct Open {
        std::string tag;
        TextStyle style;
    };
    std::vector<Open> open{{"", style}};
    int current = builder.StyleIndex(style);
    bool paragraphOpen = false;

    auto push = [&](const std::string& name, const TextStyle& s) {
        if (open.size() >= limits.maxOpenHtmlTags) return;
        open.push_back({name, s});
        current = builder.StyleIndex(s);
    };
    auto pop = [&](const std::string& name) {
        for (std::size_t k = open.size(); k-- > 1;) {
            if (open[k].tag == name) {
                open.erase(open.begin() + static_cast<std::ptrdiff_t>(k), open.end());
                break;
            }
        }
        current = builder.StyleIndex(open.back().style);
    };

    for (std::size_t i = 0; i < html.size(); ++i) {
        const char32_t c = html[i];
        if (c == U'<') {
            const std::size_t end = html.find(U'>', i);
            if (end == std::u32string_view::npos) break;  // an unfinished tag ends the text
            const HtmlTag tag = ParseTag(html.substr(i + 1, end - i - 1));
            i = end;
            TextStyle s = open.back().style;
            if (tag.name == "br" || tag.name == "br/") {
                builder.EndParagraph(align, current);
            } else if (tag.name == "p" || tag.name == "li") {
                if (tag.closing) {
                    builder.EndParagraph(align, current);
                    paragraphOpen = false;
                } else {
                    if (paragraphOpen && !builder.CurrentEmpty())
                        builder.EndParagraph(align, current);
                    paragraphOpen = true;
                    auto a = tag.attributes.find("align");
                    if (a != tag.attributes.end())
                        builder.SetAlign(AlignNamed(a->second).value_or(align));
                }
            } else if (tag.closing) {
                if (tag.name == "font" || tag.name == "b" || tag.name == "i" || tag.name == "u")
                    pop(tag.name);
            } else if (tag.name == "font") {
                if (auto a = tag.attributes.find("face"); a != tag.attributes.end())
                    s.face = Narrow(a->second);
                if (auto a = tag.attributes.find("size"); a != tag.attributes.end())
                    s.size = SizeNamed(a->second, s.size);
                if (auto a = tag.attributes.find("color"); a != tag.attributes.end())
                    s.color = ColorNamed(a->second).value_or(s.color);
                if (auto a = tag.attributes.find("letterspacing"); a != tag.attributes.end())
                    s.letterSpacing = SpacingNamed(a->second);
                if (auto a = tag.attributes.find("kerning"); a != tag.attributes.end())
                    s.kerning = Lower(a->second) == "1" || Lower(a->second) == "true";
                push("font", s);
            } else if (tag.name == "b") {
                s.bold = true;
                push("b", s);
            } else if (tag.name == "i") {
                s.italic = true;
                push("i", s);
            } else if (tag.name == "u") {
                s.underline = true;
                push("u", s);
            }
            builder.SetParagraphStyle(current);
            continue;
        }
        if (c == U'&') {
            // Entities are short: the search for their end stops soon, so a text full of
            // ampersands stays linear.
            std::size_t end = html.substr(i, kMaxEntityLength).find(U';');
            if (end != std::u32string_view::npos) {
                end += i;
                if (auto e = Entity(html.substr(i + 1, end - i - 1))) {
                    builder.Add(*e, current);
                    i = end;
                    continue;
                }
            }
        }
        if (IsBreak(c)) {
            if (c == U'\r' && i + 1 < html.size() && html[i + 1] == U'\n') ++i;
            builder.EndParagraph(align, current);
            continue;
        }
        builder.Add(c, current);
    }
    return builder.Finish(true);
}

namespace {

struct Item {
    char32_t c;
    int style;
    double advance;
};

struct Line {
    std::size_t begin = 0, end = 0;  // items
    bool last = false;               // of its paragraph
    bool first = false;
};

// Width of items [begin, end) without the spaces that end it.
double LineWidth(const std::vector<Item>& items, std::size_t begin, std::size_t end) {
    while (end > begin && IsSpace(items[end - 1].c)) --end;
    double w = 0;
    for (std::size_t k = begin; k < end; ++k) w += items[k].advance;
    return w;
}

std::vector<Line> BreakLines(const std::vector<Item>& items, bool wrap, double width,
                             double indent) {
    std::vector<Line> lines;
    std::size_t lineStart = 0, lastBreak = 0;
    double x = indent;
    for (std::size_t k = 0; k < items.size(); ++k) {
        if (IsSpace(items[k].c)) {
            x += items[k].advance;
            lastBreak = k + 1;
            continue;
        }
        if (wrap && k > lineStart && x + items[k].advance > width + 0.5) {
            const std::size_t at = lastBreak > lineStart ? lastBreak : k;
            lines.push_back({lineStart, at, false, lines.empty()});
            lineStart = at;
            lastBreak = at;
            x = 0;
            for (std::size_t m = at; m < k; ++m) x += items[m].advance;
        }
        x += items[k].advance;
    }
    lines.push_back({lineStart, items.size(), true, lines.empty()});
    return lines;
}

// Continues the last underline when it is of the same style and ends where this one starts;
// keeps at most `most` underlines.
void ExtendUnderline(std::vector<Underline>& underlines, int style, double x0, double x1, double y,
                     std::size_t most) {
    if (!underlines.empty()) {
        Underline& last = underlines.back();
        if (last.style == style && last.y == y && last.x1 == x0) {
            last.x1 = x1;
            return;
        }
    }
    if (underlines.size() < most) underlines.push_back({style, x0, x1, y});
}

}  // namespace

TextLayout LayOutText(StyledText text, const EditText& field, TextMetrics& metrics,
                      const Limits& limits) {
    TextLayout layout;
    const double left = field.bounds.xMin + kGutter + field.leftMargin;
    const double right = double(field.bounds.xMax) - kGutter - field.rightMargin;
    const double width = std::max(0.0, right - left);
    double baseline = field.bounds.yMin + kGutter;
    double previousDescent = 0;
    bool firstLine = true;

    for (const Paragraph& paragraph : text.paragraphs) {
        std::vector<Item> items;
        for (const StyledRun& run : paragraph.runs) {
            const TextStyle& style = text.styles[run.style];
            for (std::size_t k = 0; k < run.text.size(); ++k) {
                const char32_t shown = field.password ? U'*' : run.text[k];
                double advance = metrics.Advance(style, shown) + style.letterSpacing;
                if (style.kerning && k + 1 < run.text.size() && !field.password)
                    advance += metrics.Kerning(style, shown, run.text[k + 1]);
                items.push_back({shown, run.style, advance});
            }
        }
        const double indent = field.indent;
        for (const Line& line : BreakLines(items, field.wordWrap, width, indent)) {
            double ascent = 0, descent = 0;
            if (line.begin == line.end) {
                ascent = metrics.Ascent(text.styles[paragraph.style]);
                descent = metrics.Descent(text.styles[paragraph.style]);
            }
            for (std::size_t k = line.begin; k < line.end; ++k) {
                ascent = std::max(ascent, metrics.Ascent(text.styles[items[k].style]));
                descent = std::max(descent, metrics.Descent(text.styles[items[k].style]));
            }
            baseline += firstLine ? ascent : previousDescent + field.leading + ascent;
            firstLine = false;
            previousDescent = descent;

            const double lineIndent = line.first ? indent : 0;
            const double used = LineWidth(items, line.begin, line.end);
            double x = left + lineIndent;
            double spaceExtra = 0;
            switch (paragraph.align) {
                case TextAlign::kRight:
                    x = right - used;
                    break;
                case TextAlign::kCenter:
                    x = left + lineIndent + (width - lineIndent - used) / 2;
                    break;
                case TextAlign::kJustify:
                    if (!line.last) {
                        std::size_t end = line.end;
                        while (end > line.begin && IsSpace(items[end - 1].c)) --end;
                        const auto spaces =
                            std::count_if(items.begin() + std::ptrdiff_t(line.begin),
                                          items.begin() + std::ptrdiff_t(end),
                                          [](const Item& item) { return IsSpace(item.c); });
                        if (spaces > 0) spaceExtra = (width - lineIndent - used) / double(spaces);
                    }
                    break;
                case TextAlign::kLeft:
                    break;
            }
            std::size_t inkEnd = line.end;  // spaces that end a line are not underlined
            while (inkEnd > line.begin && IsSpace(items[inkEnd - 1].c)) --inkEnd;
            for (std::size_t k = line.begin; k < line.end; ++k) {
                const double start = x;
                x += items[k].advance + (IsSpace(items[k].c) ? std::max(0.0, spaceExtra) : 0.0);
                if (k < inkEnd && text.styles[items[k].style].underline)
                    ExtendUnderline(layout.underlines, items[k].style, start, x, baseline,
                                    limits.maxPlacedGlyphs);
                if (IsSpace(items[k].c) || layout.glyphs.size() >= limits.maxPlacedGlyphs) continue;
                layout.glyphs.push_back({items[k].c, items[k].style, start, baseline});
            }
        }
    }
    layout.styles = std::move(text.styles);
    return layout;
}

}  // namespace player
