// Style sheet text as TextField.StyleSheet reads it: rules of selectors and property lists,
// parsed all or nothing. Property names are turned from CSS's hyphenated form into the
// camel case a script reads them in; values are kept as written.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace player::script {

struct CssRule {
    std::vector<std::string> selectors;
    // Names as scripts read them, in the order written (a later one of a name wins).
    std::vector<std::pair<std::string, std::string>> properties;
};

// The rules of `text`, or nothing when it is malformed: a selector holding white space, a
// property name holding white space or not followed by a colon, a value or a comment left
// open at the end. A block left open at the end is closed there. Comments are white space.
// maxRules caps the rules and properties kept; past it the text counts as malformed.
std::optional<std::vector<CssRule>> ParseCss(std::string_view text, std::size_t maxRules);

// "font-size" -> "fontSize": each hyphen is dropped and the character after it upper-cased
// (so "a--b" gives "a-b").
std::string CssCamelCase(std::string_view name);

}  // namespace player::script
