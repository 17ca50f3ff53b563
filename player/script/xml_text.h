// XML text as the XML object reads and writes it: a forgiving parser into plain node structs
// with the player's status codes, and the serialisation its toString prints.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace player::script {

struct XmlNode {
    enum class Kind { kElement = 1, kText = 3 };
    Kind kind = Kind::kElement;
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;  // in document order
    std::string value;                                            // text nodes only
    std::vector<XmlNode> children;
};

struct XmlDocument {
    std::vector<XmlNode> children;
    std::string xmlDecl;      // every "<?...?>" met, one after another
    std::string docTypeDecl;  // the last "<!DOCTYPE ...>"
    int status = 0;
};

// The XML object's status values.
namespace xml_status {
inline constexpr int kOk = 0;
inline constexpr int kCdataNotTerminated = -2;
inline constexpr int kDeclarationNotTerminated = -3;
inline constexpr int kDocTypeNotTerminated = -4;
inline constexpr int kCommentNotTerminated = -5;
inline constexpr int kMalformedElement = -6;
inline constexpr int kOutOfMemory = -7;
inline constexpr int kAttributeNotTerminated = -8;
inline constexpr int kStartTagWithoutEnd = -9;
inline constexpr int kEndTagWithoutStart = -10;
}  // namespace xml_status

// Past either cap the parse stops with status kOutOfMemory.
struct XmlLimits {
    std::size_t maxDepth = 256;
    std::size_t maxNodes = 1 << 20;
};

// Parses the whole text; on an error the document keeps every node read before it, and elements
// still open stay where they were. With ignoreWhite, text nodes of whitespace alone are dropped.
// Entities (&lt; &gt; &amp; &quot; &apos; and &#N; &#xH;) are decoded, CDATA sections become text
// nodes and comments are dropped.
XmlDocument ParseXml(std::string_view text, bool ignoreWhite, const XmlLimits& limits);

// &, <, >, " and ' as entities: how text and attribute values are written.
std::string EscapeXml(std::string_view text);

// An element as <name a="v">children</name>, or <name a="v" /> without children; an element
// without a name writes its children alone; a text node writes its escaped value.
std::string XmlToString(const XmlNode& node);

// The declaration, the DOCTYPE, then every top-level node.
std::string XmlToString(const XmlDocument& document);

}  // namespace player::script
