// The HTML a field's text reads back as: its paragraphs and styled runs written out again in
// the player's own markup (<TEXTFORMAT>, <P ALIGN>, <FONT FACE SIZE COLOR LETTERSPACING
// KERNING>, <B>, <I>, <U>), whatever markup the text was set with.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "player/text_layout.h"

namespace player {

// The field's paragraph values in pixels; the ones not zero are written as a <TEXTFORMAT>
// around each paragraph.
struct HtmlBlockFormat {
    double leftMargin = 0, rightMargin = 0, indent = 0, blockIndent = 0, leading = 0;
    std::vector<double> tabStops;
};

// Markup with its blank text left out: text between two tags (or a tag and an end of the
// markup) made only of white space, as the player's HTML reader skips it.
std::string WithoutBlankText(std::string_view markup);

// Markup as a field with condenseWhite takes it: each run of white space (spaces, tabs, line
// ends) in its text becomes one space, so line ends no longer end paragraphs.
std::string CondensedWhite(std::string_view markup);

// Whether the markup has a paragraph tag (<p> or <li>): text without one and without
// characters has no paragraphs at all.
bool HasParagraphTag(std::string_view markup);

// The text written out; `utf8` chooses how characters are stored (else one byte each).
std::string RegeneratedHtml(const StyledText& text, const HtmlBlockFormat& block, bool utf8);

}  // namespace player
