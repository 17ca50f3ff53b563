#include "player/text_sheet.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <vector>

namespace player {

namespace {

struct Tag {
    std::string name;  // lower case
    std::string cls;   // the class attribute as written
    bool closing = false, selfClosing = false;
};

bool IsWhite(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// The inside of "<...>".
Tag ReadTag(std::string_view body) {
    Tag tag;
    std::size_t i = 0;
    while (i < body.size() && IsWhite(body[i])) ++i;
    if (i < body.size() && body[i] == '/') {
        tag.closing = true;
        ++i;
    }
    const std::size_t start = i;
    while (i < body.size() && !IsWhite(body[i]) && body[i] != '/') ++i;
    tag.name = Lower(body.substr(start, i - start));
    std::size_t last = body.size();
    while (last > 0 && IsWhite(body[last - 1])) --last;
    tag.selfClosing = last > 0 && body[last - 1] == '/';
    // class="..." (or '...', or bare).
    while (i < body.size()) {
        while (i < body.size() && IsWhite(body[i])) ++i;
        const std::size_t keyStart = i;
        while (i < body.size() && body[i] != '=' && !IsWhite(body[i])) ++i;
        const std::string key = Lower(body.substr(keyStart, i - keyStart));
        while (i < body.size() && IsWhite(body[i])) ++i;
        if (i >= body.size() || body[i] != '=') {
            if (key.empty()) ++i;
            continue;
        }
        ++i;
        while (i < body.size() && IsWhite(body[i])) ++i;
        std::string value;
        if (i < body.size() && (body[i] == '"' || body[i] == '\'')) {
            const char quote = body[i++];
            const std::size_t end = std::min(body.find(quote, i), body.size());
            value = body.substr(i, end - i);
            i = end + 1;
        } else {
            const std::size_t valueStart = i;
            while (i < body.size() && !IsWhite(body[i])) ++i;
            value = body.substr(valueStart, i - valueStart);
        }
        if (key == "class") tag.cls = value;
    }
    return tag;
}

void Merge(SheetStyle& into, const SheetStyle& from) {
    auto take = [](auto& a, const auto& b) {
        if (b) a = b;
    };
    take(into.font, from.font);
    take(into.size, from.size);
    take(into.color, from.color);
    take(into.letterSpacing, from.letterSpacing);
    take(into.bold, from.bold);
    take(into.italic, from.italic);
    take(into.underline, from.underline);
    take(into.kerning, from.kerning);
    take(into.align, from.align);
    take(into.display, from.display);
}

std::string AlignName(TextAlign align) {
    switch (align) {
        case TextAlign::kRight: return "right";
        case TextAlign::kCenter: return "center";
        case TextAlign::kJustify: return "justify";
        case TextAlign::kLeft: break;
    }
    return "left";
}

// Markup attributes take no entities: characters that would end the attribute or the tag
// are left out.
std::string Quoted(std::string_view value) {
    std::string out = "\"";
    for (char c : value)
        if (c != '"' && c != '<' && c != '>') out += c;
    return out + "\"";
}

std::string Number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", std::isfinite(v) ? v : 0.0);
    return text;
}

// The opening markup of a style and its closing, innermost first.
struct Written {
    std::string open, close;
};

Written Inline(const SheetStyle& s) {
    Written w;
    std::string font;
    if (s.font) font += " face=" + Quoted(*s.font);
    if (s.size) font += " size=\"" + Number(std::clamp(*s.size, 1.0, 1270.0)) + "\"";
    if (s.color) {
        char rgb[8];
        std::snprintf(rgb, sizeof rgb, "%06X", unsigned(std::fmod(std::fabs(*s.color), 16777216.0)));
        font += std::string(" color=\"#") + rgb + "\"";
    }
    if (s.letterSpacing) font += " letterSpacing=\"" + Number(*s.letterSpacing) + "\"";
    if (s.kerning) font += std::string(" kerning=\"") + (*s.kerning ? "1" : "0") + "\"";
    if (!font.empty()) {
        w.open += "<font" + font + ">";
        w.close = "</font>" + w.close;
    }
    for (const auto& [flag, name] : {std::pair{s.bold, "b"}, {s.italic, "i"}, {s.underline, "u"}}) {
        if (flag && *flag) {
            w.open += std::string("<") + name + ">";
            w.close = std::string("</") + name + ">" + w.close;
        }
    }
    return w;
}

class Styler {
  public:
    Styler(const SheetStyles& styles, std::size_t maxOpen, std::size_t maxBytes)
        : styles_(styles), maxOpen_(maxOpen), maxBytes_(maxBytes) {}

    // The styled markup, or nothing when it grows past the cap.
    std::optional<std::string> Run(std::string_view html) {
        for (std::size_t i = 0; i < html.size();) {
            if (out_.size() > maxBytes_) return std::nullopt;
            if (html[i] != '<') {
                lineHasText_ = html[i] != '\r' && html[i] != '\n';
                out_ += html[i++];
                continue;
            }
            const std::size_t end = html.find('>', i);
            if (end == std::string_view::npos) {
                out_ += html.substr(i);
                break;
            }
            const std::string_view whole = html.substr(i, end + 1 - i);
            const Tag tag = ReadTag(html.substr(i + 1, end - i - 1));
            i = end + 1;
            if (tag.name == "p" || tag.name == "li" || tag.name == "br") lineHasText_ = false;
            if (tag.closing) Close(tag, whole);
            else if (tag.selfClosing || tag.name == "br" || tag.name.empty()) out_ += whole;
            else i = Open(tag, whole, html, i);
        }
        while (!open_.empty()) {
            out_ += open_.back().close;
            open_.pop_back();
        }
        if (out_.size() > maxBytes_) return std::nullopt;
        return std::move(out_);
    }

  private:
    struct Element {
        std::string name, close;
    };

    std::optional<SheetStyle> StyleOf(const Tag& tag) const {
        std::optional<SheetStyle> style;
        for (const std::string& key : {tag.name, tag.cls.empty() ? std::string() : "." + tag.cls}) {
            if (key.empty()) continue;
            auto found = styles_.find(key);
            if (found == styles_.end()) continue;
            if (!style) style.emplace();
            Merge(*style, found->second);
        }
        return style;
    }

    // Writes the element's opening; returns where reading goes on (past hidden content).
    std::size_t Open(const Tag& tag, std::string_view whole, std::string_view html,
                     std::size_t next) {
        const std::optional<SheetStyle> style = StyleOf(tag);
        if (!style || open_.size() >= maxOpen_) {
            out_ += whole;
            return next;
        }
        const bool paragraph = tag.name == "p" || tag.name == "li";
        const SheetDisplay display =
            style->display.value_or(paragraph ? SheetDisplay::kBlock : SheetDisplay::kInline);
        if (display == SheetDisplay::kNone) return PastElement(tag.name, html, next);
        Element element{tag.name, {}};
        const std::string align =
            style->align ? " align=\"" + AlignName(*style->align) + "\"" : std::string();
        if (display == SheetDisplay::kBlock) {
            // A block inside running text starts a line of its own.
            if (!paragraph && lineHasText_) out_ += "<br>";
            lineHasText_ = false;
            out_ += "<p" + align + ">";
            element.close = "</p>";
        }
        // A paragraph tag stays only as the block written above; others keep their tag (an
        // <a> still links).
        if (!paragraph) {
            out_ += whole;
            element.close = "</" + tag.name + ">" + element.close;
        }
        const Written w = Inline(*style);
        out_ += w.open;
        element.close = w.close + element.close;
        open_.push_back(std::move(element));
        return next;
    }

    void Close(const Tag& tag, std::string_view whole) {
        for (std::size_t k = open_.size(); k-- > 0;) {
            if (open_[k].name != tag.name) continue;
            while (open_.size() > k) {
                if (open_.back().close.ends_with("</p>")) lineHasText_ = false;
                out_ += open_.back().close;
                open_.pop_back();
            }
            return;
        }
        out_ += whole;
    }

    // Where the element opened just before `from` ends: past its closing tag, counting
    // elements of the same name inside it; the end of the text when it is never closed.
    static std::size_t PastElement(const std::string& name, std::string_view html,
                                   std::size_t from) {
        int depth = 1;
        for (std::size_t i = html.find('<', from); i != std::string_view::npos;
             i = html.find('<', i + 1)) {
            const std::size_t end = html.find('>', i);
            if (end == std::string_view::npos) break;
            const Tag tag = ReadTag(html.substr(i + 1, end - i - 1));
            if (tag.name == name && !tag.selfClosing) depth += tag.closing ? -1 : 1;
            if (depth == 0) return end + 1;
            i = end;
        }
        return html.size();
    }

    const SheetStyles& styles_;
    std::size_t maxOpen_, maxBytes_;
    bool lineHasText_ = false;  // text since the last paragraph break
    std::vector<Element> open_;
    std::string out_;
};

}  // namespace

std::string StyledMarkup(std::string_view html, const SheetStyles& styles, std::size_t maxOpen,
                         std::size_t maxBytes) {
    if (styles.empty()) return std::string(html);
    std::optional<std::string> out = Styler(styles, maxOpen, maxBytes).Run(html);
    return out ? std::move(*out) : std::string(html);
}

}  // namespace player
