#include "player/text_html.h"

#include <cctype>
#include <cmath>
#include <cstdio>

namespace player {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string Number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", std::isfinite(v) ? v : 0.0);
    return text;
}

std::string Hex(const Rgba& c) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X%02X%02X", c.r, c.g, c.b);
    return text;
}

const char* AlignName(TextAlign align) {
    switch (align) {
        case TextAlign::kRight: return "RIGHT";
        case TextAlign::kCenter: return "CENTER";
        case TextAlign::kJustify: return "JUSTIFY";
        case TextAlign::kLeft: break;
    }
    return "LEFT";
}

std::string TextFormatTag(const HtmlBlockFormat& b) {
    std::string attributes;
    auto add = [&](const char* name, double v) {
        if (v != 0) attributes += std::string(" ") + name + "=\"" + Number(v) + "\"";
    };
    add("LEFTMARGIN", b.leftMargin);
    add("RIGHTMARGIN", b.rightMargin);
    add("INDENT", b.indent);
    add("BLOCKINDENT", b.blockIndent);
    add("LEADING", b.leading);
    if (!b.tabStops.empty()) {
        std::string stops;
        for (double s : b.tabStops) stops += (stops.empty() ? "" : ",") + Number(s);
        attributes += " TABSTOPS=\"" + stops + "\"";
    }
    return attributes.empty() ? "" : "<TEXTFORMAT" + attributes + ">";
}

// The <FONT> attributes of `style`; with `base`, only those that differ from it.
std::string FontAttributes(const TextStyle& style, const TextStyle* base) {
    std::string out;
    auto add = [&](bool differs, const char* name, const std::string& value) {
        if (!base || differs) out += std::string(" ") + name + "=\"" + value + "\"";
    };
    add(base && base->face != style.face, "FACE", style.face);
    add(base && base->size != style.size, "SIZE", Number(style.size / 20));
    add(base && !(base->color == style.color), "COLOR", "#" + Hex(style.color));
    add(base && base->letterSpacing != style.letterSpacing, "LETTERSPACING",
        Number(style.letterSpacing / 20));
    add(base && base->kerning != style.kerning, "KERNING", style.kerning ? "1" : "0");
    return out;
}

void Escaped(std::string& out, std::u32string_view text, bool utf8) {
    for (char32_t c : text) {
        if (c == U'<') out += "&lt;";
        else if (c == U'>') out += "&gt;";
        else if (c == U'&') out += "&amp;";
        else if (c == U'"') out += "&quot;";
        else if (utf8) out += EncodeUtf8(c);
        else out += char(c & 0xFF);
    }
}

// <B><I><U>, those the style has, around `body`.
void Emphasised(std::string& out, const TextStyle& style, std::u32string_view body, bool utf8) {
    if (style.bold) out += "<B>";
    if (style.italic) out += "<I>";
    if (style.underline) out += "<U>";
    Escaped(out, body, utf8);
    if (style.underline) out += "</U>";
    if (style.italic) out += "</I>";
    if (style.bold) out += "</B>";
}

}  // namespace

std::string WithoutBlankText(std::string_view markup) {
    std::string out;
    out.reserve(markup.size());
    std::size_t i = 0;
    while (i < markup.size()) {
        if (markup[i] == '<') {
            const std::size_t end = markup.find('>', i);
            const std::size_t stop = end == std::string_view::npos ? markup.size() : end + 1;
            out.append(markup.substr(i, stop - i));
            i = stop;
            continue;
        }
        const std::size_t next = std::min(markup.find('<', i), markup.size());
        const std::string_view text = markup.substr(i, next - i);
        bool blank = true;
        for (char c : text) blank = blank && IsBlank(c);
        if (!blank) out.append(text);
        i = next;
    }
    return out;
}

std::string CondensedWhite(std::string_view markup) {
    std::string out;
    out.reserve(markup.size());
    bool inTag = false;
    for (std::size_t i = 0; i < markup.size(); ++i) {
        const char c = markup[i];
        if (c == '<') inTag = true;
        if (inTag || !IsBlank(c)) {
            out += c;
        } else if (out.empty() || out.back() != ' ') {
            out += ' ';
        }
        if (c == '>') inTag = false;
    }
    return out;
}

bool HasParagraphTag(std::string_view markup) {
    for (std::size_t i = markup.find('<'); i != std::string_view::npos;
         i = markup.find('<', i + 1)) {
        std::size_t k = i + 1;
        std::string name;
        while (k < markup.size() && name.size() < 3 && std::isalpha(static_cast<unsigned char>(markup[k])))
            name += char(std::tolower(static_cast<unsigned char>(markup[k++])));
        const bool ends = k >= markup.size() || !std::isalpha(static_cast<unsigned char>(markup[k]));
        if (ends && (name == "p" || name == "li")) return true;
    }
    return false;
}

std::string RegeneratedHtml(const StyledText& text, const HtmlBlockFormat& block, bool utf8) {
    const std::string format = TextFormatTag(block);
    std::string out;
    for (const Paragraph& p : text.paragraphs) {
        const int first = p.runs.empty() ? p.style : p.runs.front().style;
        if (first < 0 || std::size_t(first) >= text.styles.size()) continue;
        const TextStyle& base = text.styles[std::size_t(first)];
        out += format;
        out += std::string("<P ALIGN=\"") + AlignName(p.align) + "\">";
        out += "<FONT" + FontAttributes(base, nullptr) + ">";
        if (p.runs.empty()) Emphasised(out, base, {}, utf8);
        for (const StyledRun& run : p.runs) {
            if (run.style < 0 || std::size_t(run.style) >= text.styles.size()) continue;
            const TextStyle& style = text.styles[std::size_t(run.style)];
            const std::string differs = FontAttributes(style, &base);
            if (!differs.empty()) out += "<FONT" + differs + ">";
            Emphasised(out, style, run.text, utf8);
            if (!differs.empty()) out += "</FONT>";
        }
        out += "</FONT></P>";
        if (!format.empty()) out += "</TEXTFORMAT>";
    }
    return out;
}

}  // namespace player
