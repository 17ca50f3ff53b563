// Numbers and text as the scripts see them: number-to-string and string-to-number conversions,
// the global parseInt, parseFloat, escape and unescape, and URL-encoded variable lists.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace player::script {

// "NaN", "Infinity", "-Infinity"; otherwise at most 15 significant digits, with the exponent
// form ("1e+15", "1.5e-7") for decimal exponents of 15 and above or below -5.
std::string NumberToString(double value);

// Number.prototype.toString(radix). Radix 10 (or one outside 2..36) gives NumberToString; other
// radixes write the value truncated to a 32-bit integer, with a '-' for negatives.
std::string NumberToStringRadix(double value, int radix);

// A string's numeric value for a movie of the given SWF version. Version 4 reads the longest
// leading decimal number and gives 0 when there is none; later versions want the whole string to
// be a number (leading whitespace allowed), accept "0x" hex and, from version 6, octal with a
// leading zero, and give NaN otherwise.
double StringToNumber(std::string_view text, int swfVersion);

// The global parseInt: radix absent (or 0) detects "0x" hex and leading-zero octal; a radix
// outside 2..36 gives NaN.
double ParseInt(std::string_view text, std::optional<int> radix);

// The global parseFloat: the longest leading decimal number after whitespace, NaN if none.
double ParseFloat(std::string_view text);

// The global escape: every byte but ASCII letters and digits becomes %XX (upper-case hex).
std::string Escape(std::string_view text);

// The global unescape: %XX becomes the byte, '+' a space; a broken escape is dropped.
std::string Unescape(std::string_view text);

using Variables = std::vector<std::pair<std::string, std::string>>;

// "a=1&b=two+words" into name/value pairs in order; empty names are skipped.
Variables DecodeVariables(std::string_view text);

// Pairs into "name=value&..." with both sides escaped.
std::string EncodeVariables(const Variables& variables);

}  // namespace player::script
