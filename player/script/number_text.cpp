#include "player/script/number_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>

namespace player::script {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr int kSignificantDigits = 15;
constexpr int kLargestPlainExponent = 14;
constexpr int kSmallestPlainExponent = -5;
constexpr double kFirstExponentFormInteger = 1e15;
// 10^309 is infinite; past 10^400 no double scaled by it stays finite or non-zero.
constexpr std::int64_t kLargestPowerOfTen = 308;
constexpr std::int64_t kExponentCap = 400;
constexpr char kUpperHex[] = "0123456789ABCDEF";
constexpr char kLowerDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsWhitespace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool IsAsciiAlphanumeric(char c) {
    return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The digit's value in radixes up to 36, or 99 for anything that is no digit.
int DigitValue(char c) {
    if (IsDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return 99;
}

std::size_t SkipWhitespace(std::string_view text, std::size_t at) {
    while (at < text.size() && IsWhitespace(text[at])) ++at;
    return at;
}

std::int32_t WrapToInt32(std::uint32_t bits) {
    return static_cast<std::int32_t>(bits);
}

std::int32_t ToInt32(double value) {
    if (!std::isfinite(value)) return 0;
    const double modulo = std::fmod(std::trunc(value), 4294967296.0);
    const double positive = modulo < 0 ? modulo + 4294967296.0 : modulo;
    return WrapToInt32(static_cast<std::uint32_t>(positive));
}

// ---- Writing numbers ----------------------------------------------------------------------------

void AppendExponentForm(std::string& out, std::string_view digits, int exponent) {
    out += digits[0];
    if (digits.size() > 1) {
        out += '.';
        out.append(digits.substr(1));
    }
    out += exponent < 0 ? "e-" : "e+";
    char buffer[8];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, std::abs(exponent));
    out.append(buffer, written.ptr);
}

void AppendPlainForm(std::string& out, std::string_view digits, int exponent) {
    if (exponent < 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-exponent - 1), '0');
        out.append(digits);
        return;
    }
    const auto integerDigits = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() <= integerDigits) {
        out.append(digits);
        out.append(integerDigits - digits.size(), '0');
        return;
    }
    out.append(digits.substr(0, integerDigits));
    out += '.';
    out.append(digits.substr(integerDigits));
}

// ---- Reading decimal numbers -------------------------------------------------------------------

struct DecimalScan {
    bool found = false;   // at least one mantissa digit
    std::size_t end = 0;  // first position not taken
    double value = 0;
};

double PowerOfTen(std::int64_t exponent) {
    return std::pow(10.0, static_cast<double>(std::min<std::int64_t>(exponent, kExponentCap)));
}

// value × 10^exponent; exponents past ±308 go in two steps, since 10^309 alone is infinite and
// 10^-324 alone is zero.
double ScaleByPowerOfTen(double value, std::int64_t exponent) {
    if (value == 0 || !std::isfinite(value) || exponent == 0) return value;
    if (exponent > kLargestPowerOfTen) {
        return value * 1e308 * PowerOfTen(exponent - kLargestPowerOfTen);
    }
    if (exponent < -kLargestPowerOfTen) {
        return value / 1e308 / PowerOfTen(-exponent - kLargestPowerOfTen);
    }
    return exponent > 0 ? value * PowerOfTen(exponent) : value / PowerOfTen(-exponent);
}

// [+-] digits [. digits] [e [+-] digits] from `at`. The player's reader is not correctly
// rounded: it adds each fraction digit times a tenth, a hundredth... kept by repeated division
// (so ".1499999" reads as 0.14999990000000005), and its exponent's digits wrap at 32 bits. With
// `skipExtraPoints`, further points in the mantissa are passed over (parseFloat's "1.2.3" is
// 1.23) and then no exponent is read.
DecimalScan ScanDecimal(std::string_view text, std::size_t at, bool skipExtraPoints) {
    DecimalScan scan;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        negative = text[at] == '-';
        ++at;
    }
    double integer = 0, fraction = 0, place = 1;
    bool sawDigit = false, sawPoint = false, extraPoint = false;
    for (; at < text.size(); ++at) {
        const char c = text[at];
        if (IsDigit(c)) {
            sawDigit = true;
            if (sawPoint) {
                place /= 10;
                fraction += (c - '0') * place;
            } else {
                integer = integer * 10 + (c - '0');
            }
        } else if (c == '.' && !sawPoint) {
            sawPoint = true;
        } else if (c == '.' && skipExtraPoints) {
            extraPoint = true;
        } else {
            break;
        }
    }
    if (!sawDigit) return scan;
    std::int64_t exponent = 0;
    if (!extraPoint && at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        std::size_t cursor = at + 1;
        bool negativeExponent = false;
        if (cursor < text.size() && (text[cursor] == '+' || text[cursor] == '-')) {
            negativeExponent = text[cursor] == '-';
            ++cursor;
        }
        if (cursor < text.size() && IsDigit(text[cursor])) {
            std::uint32_t bits = 0;
            for (; cursor < text.size() && IsDigit(text[cursor]); ++cursor) {
                bits = bits * 10u + static_cast<std::uint32_t>(text[cursor] - '0');
            }
            exponent = WrapToInt32(bits);
            if (negativeExponent) exponent = -exponent;
            at = cursor;
        }
    }
    scan.found = true;
    scan.end = at;
    const double magnitude = ScaleByPowerOfTen(integer + fraction, exponent);
    scan.value = negative ? -magnitude : magnitude;
    return scan;
}

// "0x..." to the end: hex digits taken modulo 2^32 as a signed integer; NaN if any is no digit.
double HexValue(std::string_view digits) {
    if (digits.empty()) return kNaN;
    std::uint32_t bits = 0;
    for (const char c : digits) {
        const int digit = DigitValue(c);
        if (digit >= 16) return kNaN;
        bits = bits * 16u + static_cast<std::uint32_t>(digit);
    }
    return WrapToInt32(bits);
}

bool HasHexPrefix(std::string_view text, std::size_t at) {
    return at + 1 < text.size() && text[at] == '0' && (text[at + 1] == 'x' || text[at + 1] == 'X');
}

// [+-]0[0-7]* over the whole string, as a signed 32-bit value; nullopt when it is no such thing.
std::optional<double> OctalValue(std::string_view text) {
    bool negative = false;
    std::size_t at = 0;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        at = 1;
    }
    if (at >= text.size() || text[at] != '0') return std::nullopt;
    std::uint32_t bits = 0;
    for (; at < text.size(); ++at) {
        if (text[at] < '0' || text[at] > '7') return std::nullopt;
        bits = bits * 8u + static_cast<std::uint32_t>(text[at] - '0');
    }
    const double value = WrapToInt32(bits);
    return negative ? -value : value;
}

double LeadingNumberOrZero(std::string_view text) {
    const DecimalScan scan = ScanDecimal(text, SkipWhitespace(text, 0), false);
    return scan.found ? scan.value : 0;
}

double WholeStringNumber(std::string_view text, int swfVersion) {
    if (HasHexPrefix(text, 0)) return HexValue(text.substr(2));
    if (swfVersion >= 6) {
        if (const auto octal = OctalValue(text)) return *octal;
    }
    const DecimalScan scan = ScanDecimal(text, SkipWhitespace(text, 0), false);
    if (!scan.found || scan.end != text.size()) return kNaN;
    return scan.value;
}

// Digits of `radix` from `at` while they last; NaN when there is not even one.
double ParseDigits(std::string_view text, std::size_t at, int radix) {
    std::size_t end = at;
    while (end < text.size() && DigitValue(text[end]) < radix) ++end;
    if (end == at) return kNaN;
    double value = 0;
    for (const char c : text.substr(at, end - at)) value = value * radix + DigitValue(c);
    return value;
}

void AppendEscapedByte(std::string& out, unsigned char byte) {
    out += '%';
    out += kUpperHex[byte >> 4];
    out += kUpperHex[byte & 0x0F];
}

}  // namespace

std::string NumberToString(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
    if (value == 0) return "0";
    if (std::fabs(value) < kFirstExponentFormInteger && value == std::trunc(value)) {
        char buffer[24];
        const auto written =
            std::to_chars(buffer, buffer + sizeof buffer, static_cast<std::int64_t>(value));
        return std::string(buffer, written.ptr);
    }
    // d.dddddddddddddde±x, rounded to 15 significant digits.
    char buffer[40];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                       std::chars_format::scientific, kSignificantDigits - 1);
    const std::string_view scientific(buffer, static_cast<std::size_t>(written.ptr - buffer));
    const std::size_t e = scientific.find('e');
    int exponent = 0;
    std::from_chars(scientific.data() + e + (scientific[e + 1] == '+' ? 2 : 1),
                    scientific.data() + scientific.size(), exponent);
    char digits[kSignificantDigits];
    std::size_t count = 0;
    for (std::size_t i = 0; i < e; ++i) {
        if (scientific[i] != '.') digits[count++] = scientific[i];
    }
    while (count > 1 && digits[count - 1] == '0') --count;
    std::string out;
    out.reserve(24);
    if (value < 0) out += '-';
    const std::string_view significant(digits, count);
    if (exponent > kLargestPlainExponent || exponent < kSmallestPlainExponent) {
        AppendExponentForm(out, significant, exponent);
    } else {
        AppendPlainForm(out, significant, exponent);
    }
    return out;
}

std::string NumberToStringRadix(double value, int radix) {
    if (radix == 10 || radix < 2 || radix > 36) return NumberToString(value);
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
    const std::int64_t integer = ToInt32(value);
    std::uint64_t magnitude = static_cast<std::uint64_t>(integer < 0 ? -integer : integer);
    char buffer[40];
    char* cursor = buffer + sizeof buffer;
    do {
        *--cursor = kLowerDigits[magnitude % static_cast<std::uint64_t>(radix)];
        magnitude /= static_cast<std::uint64_t>(radix);
    } while (magnitude != 0);
    if (integer < 0) *--cursor = '-';
    return std::string(cursor, buffer + sizeof buffer);
}

double StringToNumber(std::string_view text, int swfVersion) {
    if (swfVersion <= 4) return LeadingNumberOrZero(text);
    return WholeStringNumber(text, swfVersion);
}

double ParseInt(std::string_view text, std::optional<int> radix) {
    std::size_t at = SkipWhitespace(text, 0);
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        negative = text[at] == '-';
        ++at;
    }
    int base = radix.value_or(0);
    if (base == 0) {
        if (HasHexPrefix(text, at)) {
            base = 16;
            at += 2;
        } else if (at + 1 < text.size() && text[at] == '0') {
            base = 8;
        } else {
            base = 10;
        }
    } else if (base < 2 || base > 36) {
        return kNaN;
    } else if (base == 16 && HasHexPrefix(text, at)) {
        at += 2;
    }
    const double magnitude = ParseDigits(text, at, base);
    return negative ? -magnitude : magnitude;
}

double ParseFloat(std::string_view text) {
    const DecimalScan scan = ScanDecimal(text, SkipWhitespace(text, 0), true);
    return scan.found ? scan.value : kNaN;
}

std::string Escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (IsAsciiAlphanumeric(c)) {
            out += c;
        } else {
            AppendEscapedByte(out, static_cast<unsigned char>(c));
        }
    }
    return out;
}

std::string Unescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t at = 0;
    while (at < text.size()) {
        const char c = text[at];
        if (c == '+') {
            out += ' ';
            ++at;
            continue;
        }
        if (c != '%') {
            out += c;
            ++at;
            continue;
        }
        // "%" then two hex digits. A first digit that is none drops the pair; a second that is
        // none drops all three, and a '+' there takes the character after it along too.
        if (at + 1 >= text.size()) break;
        const int high = DigitValue(text[at + 1]);
        if (high >= 16) {
            at += 2;
            continue;
        }
        if (at + 2 >= text.size()) break;
        const int low = DigitValue(text[at + 2]);
        if (low >= 16) {
            at += text[at + 2] == '+' ? 4 : 3;
            continue;
        }
        const auto byte = static_cast<char>(high * 16 + low);
        if (byte == '\0') break;
        out += byte;
        at += 3;
    }
    return out;
}

Variables DecodeVariables(std::string_view text) {
    Variables variables;
    std::size_t at = 0;
    while (at <= text.size()) {
        std::size_t end = text.find('&', at);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view pair = text.substr(at, end - at);
        const std::size_t equals = pair.find('=');
        std::string name = Unescape(pair.substr(0, equals));
        if (!name.empty()) {
            std::string value = equals == std::string_view::npos
                                    ? std::string()
                                    : Unescape(pair.substr(equals + 1));
            variables.emplace_back(std::move(name), std::move(value));
        }
        at = end + 1;
    }
    return variables;
}

std::string EncodeVariables(const Variables& variables) {
    std::string out;
    for (const auto& [name, value] : variables) {
        if (!out.empty()) out += '&';
        out += Escape(name);
        out += '=';
        out += Escape(value);
    }
    return out;
}

}  // namespace player::script
