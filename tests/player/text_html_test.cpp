// HTML text written out again from its runs: paragraphs, fonts and emphasis in the player's
// markup, blank text between tags skipped, paragraph values as a TEXTFORMAT.
#include <gtest/gtest.h>

#include <string>

#include "player/text_html.h"

namespace player {
namespace {

const Limits kLimits{};

TextStyle Base() {
    TextStyle base;
    base.face = "Sans";
    base.size = 240;
    base.color = Rgba{0, 0, 0, 255};
    return base;
}

std::string Regenerated(const std::string& markup, const HtmlBlockFormat& block = {}) {
    const std::string kept = WithoutBlankText(markup);
    const StyledText text =
        ParseHtml(DecodeText(kept, true), Base(), TextAlign::kLeft, kLimits);
    return RegeneratedHtml(text, block, true);
}

constexpr const char* kFont =
    "<FONT FACE=\"Sans\" SIZE=\"12\" COLOR=\"#000000\" LETTERSPACING=\"0\" KERNING=\"0\">";

std::string P(const std::string& body, const char* align = "LEFT") {
    return std::string("<P ALIGN=\"") + align + "\">" + kFont + body + "</FONT></P>";
}

TEST(TextHtml, WritesParagraphsRunsAndEmphasis) {
    const std::pair<const char*, std::string> cases[] = {
        {"test", P("test")},
        {" test ", P(" test ")},
        {"test\n", P("test")},
        {"\ntest\n", P("") + P("test")},
        {"<b>test</b>", P("<B>test</B>")},
        {"<i><u><b>test</b></u></i>", P("<B><I><U>test</U></I></B>")},
        {"<p align=\"right\">r</p><p>l</p>", P("r", "RIGHT") + P("l")},
        {"a&amp;b &lt;c&gt;", P("a&amp;b &lt;c&gt;")},
        // The paragraph's font is its first run's; later runs name what differs.
        {"x<font color=\"#ff0000\">red</font>", P("x<FONT COLOR=\"#FF0000\">red</FONT>")},
        {"<font color=\"#ff0000\">red</font>x",
         "<P ALIGN=\"LEFT\"><FONT FACE=\"Sans\" SIZE=\"12\" COLOR=\"#FF0000\" "
         "LETTERSPACING=\"0\" KERNING=\"0\">red<FONT COLOR=\"#000000\">x</FONT></FONT></P>"},
        {"a<font size=\"20\" face=\"Serif\">big</font>",
         P("a<FONT FACE=\"Serif\" SIZE=\"20\">big</FONT>")},
        // Blank text between tags is skipped; text with characters keeps its spaces.
        {" <p>one</p>  <p>two</p> ", P("one") + P("two")},
        {"\n<p>test</p>\n", P("test")},
        {"<p> </p>", P("")},
        {"<b>\ntest\n</b>", P("<B></B>") + P("<B>test</B>")},
    };
    for (const auto& [markup, html] : cases) EXPECT_EQ(Regenerated(markup), html) << markup;
}

TEST(TextHtml, ParagraphValuesBecomeATextFormat) {
    HtmlBlockFormat block;
    block.rightMargin = 2;
    block.leading = 2;
    EXPECT_EQ(Regenerated("a\nb", block),
              "<TEXTFORMAT RIGHTMARGIN=\"2\" LEADING=\"2\">" + P("a") + "</TEXTFORMAT>" +
                  "<TEXTFORMAT RIGHTMARGIN=\"2\" LEADING=\"2\">" + P("b") + "</TEXTFORMAT>");
    HtmlBlockFormat stops;
    stops.leftMargin = 1;
    stops.tabStops = {10, 20.5};
    EXPECT_EQ(Regenerated("x", stops), "<TEXTFORMAT LEFTMARGIN=\"1\" TABSTOPS=\"10,20.5\">" +
                                           P("x") + "</TEXTFORMAT>");
}

TEST(TextHtml, BlankTextAndParagraphTags) {
    const std::pair<const char*, const char*> blanks[] = {
        {" \n\t", ""},
        {"<b> </b> <i>\n</i>", "<b></b><i></i>"},
        {"a <b> </b> b", "a <b></b> b"},
        {"<unfinished ", "<unfinished "},
    };
    for (const auto& [markup, kept] : blanks) EXPECT_EQ(WithoutBlankText(markup), kept) << markup;
    const std::pair<const char*, const char*> condensed[] = {
        {"\n \tasdf \t  \n", " asdf "},
        {"a\r\nb", "a b"},
        {"<font color=\"#010101\">  x  </font>\n\n<p>y</p>", "<font color=\"#010101\"> x </font> <p>y</p>"},
        {"<p align = \"left\">keep   tags</p>", "<p align = \"left\">keep tags</p>"},
        {"", ""},
    };
    for (const auto& [markup, kept] : condensed) EXPECT_EQ(CondensedWhite(markup), kept) << markup;
    EXPECT_TRUE(HasParagraphTag("<p></p>"));
    EXPECT_TRUE(HasParagraphTag("x<LI>y"));
    EXPECT_TRUE(HasParagraphTag("<p align='right'>"));
    EXPECT_FALSE(HasParagraphTag("<pre>x</pre><link><b></b>"));
    EXPECT_FALSE(HasParagraphTag("plain text"));
}

}  // namespace
}  // namespace player
