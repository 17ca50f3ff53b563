// A style sheet applied to a field's HTML text: the styles of tags and classes are written
// into the markup as the <p>, <font>, <b>, <i> and <u> tags the layout reads, and text of a
// style shown as `display: none` is left out.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "player/model.h"

namespace player {

enum class SheetDisplay : std::uint8_t { kInline, kBlock, kNone };

// What a sheet says of one selector; unset values leave the text's own.
struct SheetStyle {
    std::optional<std::string> font;
    std::optional<double> size, color, letterSpacing;  // size and spacing in pixels
    std::optional<bool> bold, italic, underline, kerning;
    std::optional<TextAlign> align;
    std::optional<SheetDisplay> display;
};

// By selector: a tag name ("p", "a", "span") or a class (".note").
using SheetStyles = std::map<std::string, SheetStyle>;

// The markup with the sheet's styles written in. An element takes its tag's style, then its
// class's over it. <p> and <li> are blocks unless a style makes them inline; other elements
// are inline unless a style makes them blocks. At most `maxOpen` styled elements are open at
// once (deeper ones keep their text unstyled); markup that would grow past `maxBytes` is
// returned as given.
std::string StyledMarkup(std::string_view html, const SheetStyles& styles, std::size_t maxOpen,
                         std::size_t maxBytes);

}  // namespace player
