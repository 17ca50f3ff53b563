#include "player/script/css_text.h"

#include <cctype>

namespace player::script {

namespace {

bool IsWhite(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

class CssReader {
  public:
    CssReader(std::string_view text, std::size_t maxRules) : text_(text), maxRules_(maxRules) {}

    std::optional<std::vector<CssRule>> Rules() {
        std::vector<CssRule> rules;
        std::size_t kept = 0;
        for (;;) {
            if (!SkipWhite()) return std::nullopt;
            if (AtEnd()) return rules;
            CssRule rule;
            if (!Selectors(&rule) || !Block(&rule)) return std::nullopt;
            kept += rule.selectors.size() + rule.properties.size();
            if (kept > maxRules_) return std::nullopt;
            rules.push_back(std::move(rule));
        }
    }

  private:
    bool AtEnd() const { return pos_ >= text_.size(); }
    char Peek() const { return text_[pos_]; }

    // White space and comments; false when a comment is left open.
    bool SkipWhite() {
        while (!AtEnd()) {
            if (IsWhite(Peek())) {
                ++pos_;
            } else if (text_.substr(pos_, 2) == "/*") {
                const std::size_t end = text_.find("*/", pos_ + 2);
                if (end == std::string_view::npos) return false;
                pos_ = end + 2;
            } else {
                break;
            }
        }
        return true;
    }

    // "a, b {": the selectors and the opening brace.
    bool Selectors(CssRule* rule) {
        for (;;) {
            if (!SkipWhite()) return false;
            const std::size_t start = pos_;
            while (!AtEnd() && !IsWhite(Peek()) && Peek() != ',' && Peek() != '{' &&
                   text_.substr(pos_, 2) != "/*")
                ++pos_;
            const std::string_view name = text_.substr(start, pos_ - start);
            if (!SkipWhite() || AtEnd() || name.empty()) return false;
            rule->selectors.emplace_back(name);
            const char c = text_[pos_++];
            if (c == '{') return true;
            if (c != ',') return false;
        }
    }

    // The properties up to the closing brace (or the end of the text).
    bool Block(CssRule* rule) {
        for (;;) {
            if (!SkipWhite()) return false;
            if (AtEnd()) return true;
            if (Peek() == '}') {
                ++pos_;
                return true;
            }
            // The name runs to white space or the colon; only white space may come between.
            const std::size_t start = pos_;
            while (!AtEnd() && !IsWhite(Peek()) && Peek() != ':') ++pos_;
            while (!AtEnd() && IsWhite(Peek())) ++pos_;
            if (AtEnd() || Peek() != ':') return false;
            const std::string_view name = text_.substr(start, pos_ - start);
            ++pos_;
            while (!AtEnd() && IsWhite(Peek())) ++pos_;
            const std::size_t valueStart = pos_;
            while (!AtEnd() && Peek() != ';' && Peek() != '}') ++pos_;
            if (AtEnd()) return false;
            const std::string_view value = text_.substr(valueStart, pos_ - valueStart);
            if (!name.empty()) {
                if (rule->properties.size() >= maxRules_) return false;
                rule->properties.emplace_back(CssCamelCase(name), std::string(value));
            }
            if (text_[pos_++] == '}') return true;
        }
    }

    std::string_view text_;
    std::size_t maxRules_;
    std::size_t pos_ = 0;
};

}  // namespace

std::optional<std::vector<CssRule>> ParseCss(std::string_view text, std::size_t maxRules) {
    return CssReader(text, maxRules).Rules();
}

std::string CssCamelCase(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] != '-') {
            out.push_back(name[i]);
        } else if (i + 1 < name.size()) {
            out.push_back(char(std::toupper(static_cast<unsigned char>(name[++i]))));
        }
    }
    return out;
}

}  // namespace player::script
