// A style sheet applied to HTML text: tag and class styles change the runs the layout reads,
// display decides paragraphs and hidden text, and hostile markup stays bounded.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "player/text_layout.h"
#include "player/text_sheet.h"

namespace player {
namespace {

const Limits kLimits{};

StyledText Styled(const std::string& html, const SheetStyles& sheet) {
    const std::string markup = StyledMarkup(html, sheet, kLimits.maxOpenHtmlTags, 1 << 20);
    return ParseHtml(DecodeText(markup, true), TextStyle{}, TextAlign::kLeft, kLimits);
}

// Each paragraph's text, runs split by "|".
std::vector<std::string> Paragraphs(const StyledText& t) {
    std::vector<std::string> out;
    for (const Paragraph& p : t.paragraphs) {
        std::string s;
        for (std::size_t i = 0; i < p.runs.size(); ++i) {
            if (i) s += "|";
            for (char32_t c : p.runs[i].text) s += EncodeUtf8(c);
        }
        out.push_back(s);
    }
    return out;
}

const TextStyle& RunStyle(const StyledText& t, std::size_t paragraph, std::size_t run) {
    return t.styles[t.paragraphs.at(paragraph).runs.at(run).style];
}

SheetStyles Sheet() {
    SheetStyles sheet;
    SheetStyle red;
    red.color = 0xFF0000;
    red.bold = true;
    sheet[".red"] = red;
    SheetStyle big;
    big.size = 30;
    big.font = "_serif";
    sheet["span"] = big;
    SheetStyle hidden;
    hidden.display = SheetDisplay::kNone;
    sheet[".hide"] = hidden;
    SheetStyle block;
    block.display = SheetDisplay::kBlock;
    block.align = TextAlign::kCenter;
    sheet[".block"] = block;
    SheetStyle flow;
    flow.display = SheetDisplay::kInline;
    sheet[".flow"] = flow;
    SheetStyle link;
    link.underline = true;
    sheet["a"] = link;
    return sheet;
}

struct Case {
    const char* html;
    std::vector<std::string> paragraphs;
};

TEST(TextSheet, DisplayDecidesParagraphsAndHiddenText) {
    const Case cases[] = {
        {"a<span class=\"hide\">gone</span>b", {"a|b"}},
        {"a<span class=\"hide\">x<span>y</span>z</span>b", {"a|b"}},
        {"a<span class=\"hide\">never closed", {"a"}},
        {"a<i class=\"block\">mid</i>b", {"a", "mid", "b"}},
        {"<p class=\"flow\">one</p><p class=\"flow\">two</p>", {"onetwo"}},
        {"<p>one</p><p>two</p>", {"one", "two"}},
        {"no styles at all", {"no styles at all"}},
        // Unknown classes and stray closing tags change nothing.
        {"<b class=\"none\">x</b></span>y", {"xy"}},
    };
    for (const Case& c : cases) {
        const StyledText t = Styled(c.html, Sheet());
        std::vector<std::string> plain;
        for (const std::string& p : Paragraphs(t)) {
            std::string s;
            for (char ch : p)
                if (ch != '|') s += ch;
            plain.push_back(s);
        }
        std::vector<std::string> want;
        for (const std::string& p : c.paragraphs) {
            std::string s;
            for (char ch : p)
                if (ch != '|') s += ch;
            want.push_back(s);
        }
        EXPECT_EQ(plain, want) << c.html;
    }
}

TEST(TextSheet, TagAndClassStylesChangeTheRuns) {
    const StyledText t =
        Styled("a<span>b<span class=\"red\">c</span></span><a href=\"x\">d</a>e", Sheet());
    ASSERT_EQ(t.paragraphs.size(), 1u);
    ASSERT_EQ(Paragraphs(t), std::vector<std::string>{"a|b|c|d|e"});
    EXPECT_EQ(RunStyle(t, 0, 0), TextStyle{});
    EXPECT_EQ(RunStyle(t, 0, 1).size, 600);  // 30 px in twips
    EXPECT_EQ(RunStyle(t, 0, 1).face, "_serif");
    // The class's values over the tag's.
    EXPECT_EQ(RunStyle(t, 0, 2).color, (Rgba{255, 0, 0, 255}));
    EXPECT_TRUE(RunStyle(t, 0, 2).bold);
    EXPECT_EQ(RunStyle(t, 0, 2).size, 600);
    EXPECT_TRUE(RunStyle(t, 0, 3).underline);
    EXPECT_EQ(RunStyle(t, 0, 4), TextStyle{});
}

TEST(TextSheet, BlockStylesAlignTheirParagraph) {
    const StyledText t = Styled("<p class=\"block\">c</p>", Sheet());
    ASSERT_FALSE(t.paragraphs.empty());
    EXPECT_EQ(t.paragraphs[0].align, TextAlign::kCenter);
}

TEST(TextSheet, HostileMarkupStaysBounded) {
    // Deep nesting: past the cap elements keep their text unstyled and all of it is kept.
    std::string deep;
    for (int i = 0; i < 5000; ++i) deep += "<span class=\"red\">";
    deep += "x";
    const std::string markup = StyledMarkup(deep, Sheet(), 64, 1 << 20);
    EXPECT_NE(markup.find('x'), std::string::npos);
    EXPECT_LT(markup.size(), deep.size() + 64 * 200);
    // Markup that would grow past its cap comes back as given.
    std::string many;
    for (int i = 0; i < 2000; ++i) many += "<span>a</span>";
    EXPECT_EQ(StyledMarkup(many, Sheet(), 64, many.size() + 100), many);
    // Quotes in a font name do not break out of the attribute.
    SheetStyles sheet;
    SheetStyle odd;
    odd.font = "a\" size=\"99";
    sheet["b"] = odd;
    const StyledText t = Styled("<b>x</b>", sheet);
    EXPECT_EQ(RunStyle(t, 0, 0).face, "a size=99");
    EXPECT_EQ(RunStyle(t, 0, 0).size, TextStyle{}.size);
    // Unfinished tags end the text as the layout does.
    EXPECT_EQ(StyledMarkup("a<span", Sheet(), 64, 1 << 20), "a<span");
}

}  // namespace
}  // namespace player
