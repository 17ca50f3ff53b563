// XML text: documents read and written back as the XML object's toString prints them, the status
// of each kind of broken document with what it keeps, the caps, and hostile input.
#include "player/script/xml_text.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace player::script {
namespace {

struct RoundTripCase {
    const char* name;
    const char* in;
    bool ignoreWhite;
    const char* out;
};

TEST(XmlText, ParsesAndPrintsAsThePlayer) {
    const RoundTripCase cases[] = {
        {"empty element", "<test></test>", false, "<test />"},
        {"self-closing", "<a><b/></a><c/>", false, "<a><b /></a><c />"},
        {"top-level text and UTF-8 names",
         "<test></test>\nI'm a <b>text node</b>!\n<продукция>Название_Name</продукция>", false,
         "<test />\nI&apos;m a <b>text node</b>!\n<продукция>Название_Name</продукция>"},
        {"comment dropped", "<test><!-- Comment -->This is a text node</test>", false,
         "<test>This is a text node</test>"},
        {"attributes in order", "<test attrx=\"\" attry=\"attr y string\"></test>", false,
         "<test attrx=\"\" attry=\"attr y string\" />"},
        {"single quotes become double", "<test:t1 xmlns:test='https://example.com'></test:t1>",
         false, "<test:t1 xmlns:test=\"https://example.com\" />"},
        {"repeated attribute", "<a x=\"1\" y=\"2\" x=\"3\"/>", false, "<a x=\"3\" y=\"2\" />"},
        {"entities", "<a>&lt;&gt;&amp;&quot;&apos;&#65;&#x42;&#x10FFFF;&unknown;&</a>", false,
         "<a>&lt;&gt;&amp;&quot;&apos;AB\xF4\x8F\xBF\xBF&amp;unknown;&amp;</a>"},
        {"bad character references stay", "<a>&#0;&#xD800;&#x110000;&#;&#x;&#12a;</a>", false,
         "<a>&amp;#0;&amp;#xD800;&amp;#x110000;&amp;#;&amp;#x;&amp;#12a;</a>"},
        {"attribute entities", "<a v=\"&quot;x&apos; &lt;y&gt; &amp;\"/>", false,
         "<a v=\"&quot;x&apos; &lt;y&gt; &amp;\" />"},
        {"CDATA is raw text", "<a><![CDATA[<b>&amp;</b>]]></a>", false,
         "<a>&lt;b&gt;&amp;amp;&lt;/b&gt;</a>"},
        {"whitespace kept", "<a>\n  <b>x</b>\n</a>", false, "<a>\n  <b>x</b>\n</a>"},
        {"whitespace ignored", "<a>\n  <b>x</b>\n</a>", true, "<a><b>x</b></a>"},
        {"text around whitespace kept", " <a> x </a> ", true, "<a> x </a>"},
        {"spaces inside tags", "<a  k = \"v\" ></a >", false, "<a k=\"v\" />"},
        {"declaration first", "<?xml version=\"1.0\"?><a/>", false, "<?xml version=\"1.0\"?><a />"},
        {"doctype with subset",
         "<!DOCTYPE greeting [<!ELEMENT greeting (#PCDATA)>]><greeting>hi</greeting>", false,
         "<!DOCTYPE greeting [<!ELEMENT greeting (#PCDATA)>]><greeting>hi</greeting>"},
        {"empty", "", false, ""},
    };
    for (const auto& c : cases) {
        const XmlDocument document = ParseXml(c.in, c.ignoreWhite, XmlLimits{});
        EXPECT_EQ(document.status, xml_status::kOk) << c.name;
        EXPECT_EQ(XmlToString(document), c.out) << c.name;
    }
}

TEST(XmlText, BuildsNodeTree) {
    const XmlDocument document =
        ParseXml("<?xml v?><!DOCTYPE d><r a=\"1\" b='2'>t<![CDATA[c]]><e/></r>", false, {});
    ASSERT_EQ(document.status, xml_status::kOk);
    EXPECT_EQ(document.xmlDecl, "<?xml v?>");
    EXPECT_EQ(document.docTypeDecl, "<!DOCTYPE d>");
    ASSERT_EQ(document.children.size(), 1u);
    const XmlNode& root = document.children[0];
    EXPECT_EQ(root.kind, XmlNode::Kind::kElement);
    EXPECT_EQ(root.name, "r");
    const std::vector<std::pair<std::string, std::string>> attributes = {{"a", "1"}, {"b", "2"}};
    EXPECT_EQ(root.attributes, attributes);
    ASSERT_EQ(root.children.size(), 3u);
    EXPECT_EQ(root.children[0].kind, XmlNode::Kind::kText);
    EXPECT_EQ(root.children[0].value, "t");
    EXPECT_EQ(root.children[1].kind, XmlNode::Kind::kText);
    EXPECT_EQ(root.children[1].value, "c");
    EXPECT_EQ(root.children[2].name, "e");
    EXPECT_TRUE(root.children[2].children.empty());
}

struct BrokenCase {
    const char* in;
    int status;
    const char* kept;
};

TEST(XmlText, BrokenDocumentsKeepWhatWasRead) {
    const BrokenCase cases[] = {
        {"<a><![CDATA[x</a>", xml_status::kCdataNotTerminated, "<a />"},
        {"<a/><?xml version", xml_status::kDeclarationNotTerminated, "<a />"},
        {"<!DOCTYPE x [ <!ELEMENT y> ]", xml_status::kDocTypeNotTerminated, ""},
        {"<a>t<!-- x", xml_status::kCommentNotTerminated, "<a>t</a>"},
        {"<a b>", xml_status::kMalformedElement, ""},
        {"<a b=c>", xml_status::kMalformedElement, ""},
        {"<a><b/ ></a>", xml_status::kMalformedElement, "<a />"},
        {"x < y", xml_status::kMalformedElement, "x "},
        {"<>", xml_status::kMalformedElement, ""},
        {"<a", xml_status::kMalformedElement, ""},
        {"<a></a", xml_status::kMalformedElement, "<a />"},
        {"<a b=\"x>", xml_status::kAttributeNotTerminated, ""},
        {"<a>x</a><b>", xml_status::kStartTagWithoutEnd, "<a>x</a><b />"},
        {"<a><b>t", xml_status::kStartTagWithoutEnd, "<a><b>t</b></a>"},
        {"<a><b></a>", xml_status::kEndTagWithoutStart, "<a><b /></a>"},
        {"</a>", xml_status::kEndTagWithoutStart, ""},
        {"text</a><b/>", xml_status::kEndTagWithoutStart, "text"},
    };
    for (const auto& c : cases) {
        const XmlDocument document = ParseXml(c.in, false, XmlLimits{});
        EXPECT_EQ(document.status, c.status) << c.in;
        EXPECT_EQ(XmlToString(document), c.kept) << c.in;
    }
}

struct LimitCase {
    const char* in;
    XmlLimits limits;
    int status;
    const char* kept;
};

TEST(XmlText, CapsDepthAndNodes) {
    const LimitCase cases[] = {
        {"<a><b><c></c></b></a>", {3, 100}, xml_status::kOk, "<a><b><c /></b></a>"},
        {"<a><b><c>t</c></b></a>", {3, 100}, xml_status::kOk, "<a><b><c>t</c></b></a>"},
        {"<a><b><c><d/></c></b></a>", {3, 100}, xml_status::kOutOfMemory, "<a><b><c /></b></a>"},
        {"<a><b/><c/></a>", {8, 3}, xml_status::kOk, "<a><b /><c /></a>"},
        {"<a><b/><c/>x</a>", {8, 3}, xml_status::kOutOfMemory, "<a><b /><c /></a>"},
        {"<a/><b/><c/><d/>", {8, 3}, xml_status::kOutOfMemory, "<a /><b /><c />"},
    };
    for (const auto& c : cases) {
        const XmlDocument document = ParseXml(c.in, false, c.limits);
        EXPECT_EQ(document.status, c.status) << c.in;
        EXPECT_EQ(XmlToString(document), c.kept) << c.in;
    }
}

TEST(XmlText, DeepNestingStopsAtDefaultCap) {
    std::string deep;
    for (int i = 0; i < 100000; ++i) deep += "<a>";
    const XmlDocument document = ParseXml(deep, false, XmlLimits{});
    EXPECT_EQ(document.status, xml_status::kOutOfMemory);
    std::size_t depth = 0;
    for (const XmlNode* node = &document.children.at(0); !node->children.empty();
         node = &node->children[0]) {
        ++depth;
    }
    EXPECT_EQ(depth + 1, XmlLimits{}.maxDepth);
}

TEST(XmlText, PrintsDeepTreesWithoutRecursion) {
    constexpr int kDepth = 5000;
    XmlNode root;
    root.name = "n";
    XmlNode* node = &root;
    for (int i = 1; i < kDepth; ++i) {
        node->children.push_back(XmlNode{});
        node = &node->children.back();
        node->name = "n";
    }
    std::string expected;
    for (int i = 1; i < kDepth; ++i) expected += "<n>";
    expected += "<n />";
    for (int i = 1; i < kDepth; ++i) expected += "</n>";
    EXPECT_EQ(XmlToString(root), expected);
}

TEST(XmlText, NamelessElementPrintsChildrenOnly) {
    XmlNode text;
    text.kind = XmlNode::Kind::kText;
    text.value = "a&b";
    XmlNode holder;
    holder.children = {text, XmlNode{XmlNode::Kind::kElement, "x", {}, "", {}}};
    EXPECT_EQ(XmlToString(holder), "a&amp;b<x />");
    EXPECT_EQ(XmlToString(XmlNode{}), "");
}

TEST(EscapeXml, EscapesMarkupCharacters) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"`~!@#$%^&*()_+-=[]{}\\|;':\",./<>?",
         "`~!@#$%^&amp;*()_+-=[]{}\\|;&apos;:&quot;,./&lt;&gt;?"},
        {"&amp;", "&amp;amp;"},
        {"plain", "plain"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(EscapeXml(c.in), c.out) << c.in;
}

// Random markup-heavy text: the parser never fails outside its status codes, and a document that
// parses cleanly prints to text that parses back to the same print.
TEST(XmlText, SurvivesRandomMarkup) {
    static constexpr char kAlphabet[] = "<>/!?-[]CDATA=\"' &;#xab\n";
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> pick(0, sizeof kAlphabet - 2);
    std::uniform_int_distribution<int> length(0, 60);
    int clean = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        for (int n = length(random); n > 0; --n) text += kAlphabet[pick(random)];
        const XmlDocument document = ParseXml(text, round % 2 == 0, XmlLimits{8, 64});
        EXPECT_TRUE(document.status <= 0 && document.status >= -10 && document.status != -1)
            << text;
        if (document.status != xml_status::kOk) continue;
        ++clean;
        const std::string printed = XmlToString(document);
        const XmlDocument again = ParseXml(printed, false, XmlLimits{8, 64});
        EXPECT_EQ(again.status, xml_status::kOk) << text;
        EXPECT_EQ(XmlToString(again), printed) << text;
    }
    EXPECT_GT(clean, 100);
}

}  // namespace
}  // namespace player::script
