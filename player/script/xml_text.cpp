#include "player/script/xml_text.h"

#include <algorithm>
#include <cstdint>

#include "player/script/utf8.h"

namespace player::script {
namespace {

// "&#x10FFFF;" is the longest entity worth reading; an '&' with no ';' this close is plain text.
constexpr std::size_t kMaxEntityLength = 10;
constexpr std::uint32_t kMaxCodePoint = 0x10FFFF;

bool IsWhitespace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool IsNameEnd(char c) {
    return IsWhitespace(c) || c == '/' || c == '>' || c == '<' || c == '=';
}

bool IsAllWhitespace(std::string_view text) {
    return std::all_of(text.begin(), text.end(), IsWhitespace);
}

bool StartsWith(std::string_view text, std::size_t at, std::string_view prefix) {
    return text.substr(at, prefix.size()) == prefix;
}

bool StartsWithNoCase(std::string_view text, std::size_t at, std::string_view prefix) {
    if (text.size() - at < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char c = text[at + i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != prefix[i]) return false;
    }
    return true;
}


// "#65" or "#x41" to its code point; 0 when it is not a usable character reference.
std::uint32_t CharacterReference(std::string_view entity) {
    if (entity.size() < 2 || entity[0] != '#') return 0;
    const bool hex = entity[1] == 'x' || entity[1] == 'X';
    const std::string_view digits = entity.substr(hex ? 2 : 1);
    if (digits.empty()) return 0;
    std::uint32_t code = 0;
    for (const char c : digits) {
        std::uint32_t digit;
        if (c >= '0' && c <= '9') {
            digit = static_cast<std::uint32_t>(c - '0');
        } else if (hex && c >= 'a' && c <= 'f') {
            digit = static_cast<std::uint32_t>(c - 'a' + 10);
        } else if (hex && c >= 'A' && c <= 'F') {
            digit = static_cast<std::uint32_t>(c - 'A' + 10);
        } else {
            return 0;
        }
        code = code * (hex ? 16u : 10u) + digit;
        if (code > kMaxCodePoint) return 0;
    }
    if (code >= 0xD800 && code <= 0xDFFF) return 0;
    return code;
}

// Appends the entity's text and returns true, or returns false for one this parser keeps as is.
bool AppendEntity(std::string& out, std::string_view entity) {
    static constexpr std::pair<std::string_view, char> kNamed[] = {
        {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}};
    for (const auto& [name, c] : kNamed) {
        if (entity == name) {
            out += c;
            return true;
        }
    }
    const std::uint32_t code = CharacterReference(entity);
    if (code == 0) return false;
    AppendUtf8(out, code);
    return true;
}

std::string DecodeEntities(std::string_view raw) {
    std::string out;
    out.reserve(raw.size());
    std::size_t at = 0;
    while (at < raw.size()) {
        const std::size_t amp = raw.find('&', at);
        if (amp == std::string_view::npos) {
            out.append(raw.substr(at));
            break;
        }
        out.append(raw.substr(at, amp - at));
        const std::size_t semicolon = raw.substr(0, amp + kMaxEntityLength + 2).find(';', amp);
        if (semicolon != std::string_view::npos &&
            AppendEntity(out, raw.substr(amp + 1, semicolon - amp - 1))) {
            at = semicolon + 1;
        } else {
            out += '&';
            at = amp + 1;
        }
    }
    return out;
}

class XmlParser {
  public:
    XmlParser(std::string_view text, bool ignoreWhite, const XmlLimits& limits,
              XmlDocument& document)
        : text_(text), ignoreWhite_(ignoreWhite), limits_(limits), document_(document) {}

    void Run() {
        while (at_ < text_.size() && document_.status == xml_status::kOk) {
            if (text_[at_] == '<') {
                ReadMarkup();
            } else {
                ReadText();
            }
        }
        if (document_.status == xml_status::kOk && !open_.empty()) {
            document_.status = xml_status::kStartTagWithoutEnd;
        }
    }

  private:
    std::vector<XmlNode>& Siblings() {
        return open_.empty() ? document_.children : open_.back()->children;
    }

    void Fail(int status) { document_.status = status; }

    bool AddNode(XmlNode&& node) {
        if (nodeCount_ >= limits_.maxNodes) {
            Fail(xml_status::kOutOfMemory);
            return false;
        }
        ++nodeCount_;
        Siblings().push_back(std::move(node));
        return true;
    }

    void AddText(std::string value) {
        XmlNode node;
        node.kind = XmlNode::Kind::kText;
        node.value = std::move(value);
        AddNode(std::move(node));
    }

    // The position after `terminator` searched from `from`, or npos.
    std::size_t EndOf(std::string_view terminator, std::size_t from) const {
        const std::size_t found = text_.find(terminator, from);
        return found == std::string_view::npos ? found : found + terminator.size();
    }

    void ReadText() {
        std::size_t end = text_.find('<', at_);
        if (end == std::string_view::npos) end = text_.size();
        const std::string_view raw = text_.substr(at_, end - at_);
        at_ = end;
        if (ignoreWhite_ && IsAllWhitespace(raw)) return;
        AddText(DecodeEntities(raw));
    }

    void ReadMarkup() {
        if (StartsWith(text_, at_, "<!--")) {
            SkipComment();
        } else if (StartsWith(text_, at_, "<![CDATA[")) {
            ReadCdata();
        } else if (StartsWith(text_, at_, "<?")) {
            ReadDeclaration();
        } else if (StartsWithNoCase(text_, at_, "<!DOCTYPE")) {
            ReadDocType();
        } else if (StartsWith(text_, at_, "</")) {
            ReadEndTag();
        } else {
            ReadStartTag();
        }
    }

    void SkipComment() {
        const std::size_t end = EndOf("-->", at_ + 4);
        if (end == std::string_view::npos) return Fail(xml_status::kCommentNotTerminated);
        at_ = end;
    }

    void ReadCdata() {
        constexpr std::string_view kOpen = "<![CDATA[";
        const std::size_t contentStart = at_ + kOpen.size();
        const std::size_t close = text_.find("]]>", contentStart);
        if (close == std::string_view::npos) return Fail(xml_status::kCdataNotTerminated);
        at_ = close + 3;
        AddText(std::string(text_.substr(contentStart, close - contentStart)));
    }

    void ReadDeclaration() {
        const std::size_t end = EndOf("?>", at_ + 2);
        if (end == std::string_view::npos) return Fail(xml_status::kDeclarationNotTerminated);
        document_.xmlDecl.append(text_.substr(at_, end - at_));
        at_ = end;
    }

    // Up to the '>' that is not inside an internal subset's brackets.
    void ReadDocType() {
        int bracketDepth = 0;
        for (std::size_t i = at_ + 2; i < text_.size(); ++i) {
            const char c = text_[i];
            if (c == '[') ++bracketDepth;
            if (c == ']' && bracketDepth > 0) --bracketDepth;
            if (c == '>' && bracketDepth == 0) {
                document_.docTypeDecl.assign(text_.substr(at_, i + 1 - at_));
                at_ = i + 1;
                return;
            }
        }
        Fail(xml_status::kDocTypeNotTerminated);
    }

    std::string_view TakeName() {
        const std::size_t start = at_;
        while (at_ < text_.size() && !IsNameEnd(text_[at_])) ++at_;
        return text_.substr(start, at_ - start);
    }

    void SkipWhitespace() {
        while (at_ < text_.size() && IsWhitespace(text_[at_])) ++at_;
    }

    bool Take(char c) {
        if (at_ >= text_.size() || text_[at_] != c) return false;
        ++at_;
        return true;
    }

    void ReadEndTag() {
        at_ += 2;
        const std::string_view name = TakeName();
        SkipWhitespace();
        if (!Take('>')) return Fail(xml_status::kMalformedElement);
        if (open_.empty() || open_.back()->name != name) {
            return Fail(xml_status::kEndTagWithoutStart);
        }
        open_.pop_back();
    }

    void ReadStartTag() {
        ++at_;
        const std::string_view name = TakeName();
        if (name.empty()) return Fail(xml_status::kMalformedElement);
        XmlNode element;
        element.name.assign(name);
        bool selfClosing = false;
        while (true) {
            SkipWhitespace();
            if (Take('>')) break;
            if (Take('/')) {
                if (!Take('>')) return Fail(xml_status::kMalformedElement);
                selfClosing = true;
                break;
            }
            if (!ReadAttribute(element)) return;
        }
        if (open_.size() >= limits_.maxDepth) return Fail(xml_status::kOutOfMemory);
        if (!AddNode(std::move(element))) return;
        if (!selfClosing) open_.push_back(&Siblings().back());
    }

    // name="value" or name='value'; a repeated name takes the later value in the first place.
    bool ReadAttribute(XmlNode& element) {
        const std::string_view name = TakeName();
        if (name.empty()) {
            Fail(xml_status::kMalformedElement);
            return false;
        }
        SkipWhitespace();
        if (!Take('=')) {
            Fail(xml_status::kMalformedElement);
            return false;
        }
        SkipWhitespace();
        if (at_ >= text_.size() || (text_[at_] != '"' && text_[at_] != '\'')) {
            Fail(xml_status::kMalformedElement);
            return false;
        }
        const char quote = text_[at_++];
        const std::size_t close = text_.find(quote, at_);
        if (close == std::string_view::npos) {
            Fail(xml_status::kAttributeNotTerminated);
            return false;
        }
        std::string value = DecodeEntities(text_.substr(at_, close - at_));
        at_ = close + 1;
        auto& attributes = element.attributes;
        const auto same = std::find_if(attributes.begin(), attributes.end(),
                                       [&](const auto& pair) { return pair.first == name; });
        if (same != attributes.end()) {
            same->second = std::move(value);
        } else {
            attributes.emplace_back(std::string(name), std::move(value));
        }
        return true;
    }

    std::string_view text_;
    bool ignoreWhite_;
    const XmlLimits& limits_;
    XmlDocument& document_;
    std::size_t at_ = 0;
    std::size_t nodeCount_ = 0;
    // Elements whose end tag is still to come, outermost first. Each points into its parent's
    // children, which only grow while that parent is the innermost open element.
    std::vector<XmlNode*> open_;
};

// Writes the start of `node` and returns whether its children and end tag are still to come.
bool WriteOpening(std::string& out, const XmlNode& node) {
    if (node.kind == XmlNode::Kind::kText) {
        out += EscapeXml(node.value);
        return false;
    }
    if (node.name.empty()) return !node.children.empty();
    out += '<';
    out += node.name;
    for (const auto& [name, value] : node.attributes) {
        out += ' ';
        out += name;
        out += "=\"";
        out += EscapeXml(value);
        out += '"';
    }
    if (node.children.empty()) {
        out += " />";
        return false;
    }
    out += '>';
    return true;
}

}  // namespace

XmlDocument ParseXml(std::string_view text, bool ignoreWhite, const XmlLimits& limits) {
    XmlDocument document;
    XmlParser(text, ignoreWhite, limits, document).Run();
    return document;
}

std::string EscapeXml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// Walks with its own stack so that no tree, however deep, runs out of call stack.
std::string XmlToString(const XmlNode& node) {
    struct Frame {
        const XmlNode* node;
        std::size_t nextChild;
    };
    std::string out;
    std::vector<Frame> stack;
    if (WriteOpening(out, node)) stack.push_back({&node, 0});
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.nextChild < frame.node->children.size()) {
            const XmlNode& child = frame.node->children[frame.nextChild++];
            if (WriteOpening(out, child)) stack.push_back({&child, 0});
            continue;
        }
        if (!frame.node->name.empty()) {
            out += "</";
            out += frame.node->name;
            out += '>';
        }
        stack.pop_back();
    }
    return out;
}

std::string XmlToString(const XmlDocument& document) {
    std::string out = document.xmlDecl + document.docTypeDecl;
    for (const XmlNode& child : document.children) out += XmlToString(child);
    return out;
}

}  // namespace player::script
