// Number and text conversions against what movies print: number formatting at 15 digits, string
// to number per SWF version, parseInt, parseFloat, escape, unescape and variable lists.
#include "player/script/number_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>

namespace player::script {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Equal numbers, or both NaN.
::testing::AssertionResult SameNumber(double actual, double expected) {
    if ((std::isnan(actual) && std::isnan(expected)) || actual == expected) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "got " << actual << ", want " << expected;
}

// ---- Number to string ---------------------------------------------------------------------------

struct TextCase {
    const char* in;
    const char* out;
};

struct NumberTextCase {
    double value;
    const char* text;
};

TEST(NumberToString, WritesAsMoviesPrint) {
    const NumberTextCase cases[] = {
        {0.0, "0"},
        {-0.0, "0"},
        {kNaN, "NaN"},
        {kInf, "Infinity"},
        {-kInf, "-Infinity"},
        {1, "1"},
        {-2, "-2"},
        {100, "100"},
        {0.1, "0.1"},
        {-0.5, "-0.5"},
        {12.3, "12.3"},
        {0.1 + 0.2, "0.3"},
        {4294967295.0, "4294967295"},
        {3 / 12.34, "0.243111831442464"},
        {12.34 / 3, "4.11333333333333"},
        {12.34 / 56.78, "0.217330045790771"},
        {56.78 / 12.34, "4.60129659643436"},
        {127.0 / 255, "0.498039215686275"},
        {128.0 / 255, "0.501960784313725"},
        {std::cos(2.0), "-0.416146836547142"},
        {std::exp(-1.0), "0.367879441171442"},
        {std::log(2.0), "0.693147180559945"},
        {-22222222.222222222, "-22222222.2222222"},
        {1e14, "100000000000000"},
        {123456789012345.0, "123456789012345"},
        {999999999999999.0, "999999999999999"},
    };
    for (const auto& c : cases) EXPECT_EQ(NumberToString(c.value), c.text) << c.text;
}

TEST(NumberToString, UsesExponentFormOutsidePlainRange) {
    const NumberTextCase cases[] = {
        {1e15, "1e+15"},
        {999999999999999.9, "1e+15"},
        {-22222222222222222.0, "-2.22222222222222e+16"},
        {2e19, "2e+19"},
        {1e21, "1e+21"},
        {-2.123123123219e20, "-2.123123123219e+20"},
        {-1.23234e68, "-1.23234e+68"},
        {1.010101e107, "1.010101e+107"},
        {0.00001, "0.00001"},
        {0.000123, "0.000123"},
        {0.000001, "1e-6"},
        {1.5e-7, "1.5e-7"},
        {1.010101e-13, "1.010101e-13"},
        {5e-25, "5e-25"},
        {1e-98, "1e-98"},
        {std::numeric_limits<double>::max(), "1.79769313486232e+308"},
        {std::numeric_limits<double>::denorm_min(), "4.94065645841247e-324"},
    };
    for (const auto& c : cases) EXPECT_EQ(NumberToString(c.value), c.text) << c.text;
}

struct RadixCase {
    double value;
    int radix;
    const char* text;
};

TEST(NumberToStringRadix, WritesIntegersInRadix) {
    const RadixCase cases[] = {
        {255, 16, "ff"},
        {-255, 16, "-ff"},
        {5, 2, "101"},
        {35, 36, "z"},
        {0, 2, "0"},
        {8, 8, "10"},
        {1.9, 2, "1"},
        {-1.9, 2, "-1"},
        {-2147483648.0, 16, "-80000000"},
        {kNaN, 16, "NaN"},
        {-kInf, 2, "-Infinity"},
        {255, 10, "255"},
        {0.5, 10, "0.5"},
        {0.5, 99, "0.5"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NumberToStringRadix(c.value, c.radix), c.text) << c.value << " radix " << c.radix;
    }
}

// ---- String to number ---------------------------------------------------------------------------

struct StringNumberCase {
    const char* text;
    double value;
};

void ExpectStringToNumber(int swfVersion, std::initializer_list<StringNumberCase> cases) {
    for (const auto& c : cases) {
        EXPECT_TRUE(SameNumber(StringToNumber(c.text, swfVersion), c.value))
            << "SWF " << swfVersion << " \"" << c.text << "\"";
    }
}

TEST(StringToNumber, Swf7WholeStringRules) {
    ExpectStringToNumber(7, {
                                {"0", 0},
                                {"1", 1},
                                {"-5", -5},
                                {"123e-1", 12.3},
                                {"12.34", 12.34},
                                {".5", 0.5},
                                {"", kNaN},
                                {" ", kNaN},
                                {"Hello", kNaN},
                                {"true", kNaN},
                                {"NaN", kNaN},
                                {"Infinity", kNaN},
                                {"-Infinity", kNaN},
                                {"inf", kNaN},
                                {"100a", kNaN},
                                {"1e", kNaN},
                                {"1.2.3", kNaN},
                            });
}

TEST(StringToNumber, Swf7WhitespaceOnlyLeads) {
    ExpectStringToNumber(7, {
                                {" 5", 5},
                                {"  5  ", kNaN},
                                {"\t\r12", 12},
                                {" \t 12", 12},
                                {"\r12\r", kNaN},
                                {"- 5", kNaN},
                            });
}

TEST(StringToNumber, Swf7HexAndOctal) {
    ExpectStringToNumber(7, {
                                {"0x10", 16},
                                {"0x12", 18},
                                {"0X1f", 31},
                                {"0xhello", kNaN},
                                {"0xUIXUIDFKHJDF012345678", kNaN},
                                {"0x", kNaN},
                                {"0x1999999981ffffff", -2113929217},
                                {"+010", 8},
                                {"-010", -8},
                                {"037777777777", -1},
                                {"-037777777777", 1},
                                {" 010", 10},
                                {" +010", 10},
                                {" -010", -10},
                                {"09", 9},
                                {"0.5", 0.5},
                            });
}

TEST(StringToNumber, LaterVersionsAsSwf7) {
    ExpectStringToNumber(6, {{"", kNaN}, {" ", kNaN}, {"0x10", 16}, {"123e-1", 12.3}});
    ExpectStringToNumber(15, {{"150", 150}, {"0x96", 150}, {"010", 8}, {"150a", kNaN}});
}

TEST(StringToNumber, Swf5HasNoOctal) {
    ExpectStringToNumber(5, {{"010", 10}, {"10", 10}, {"101ABC", kNaN}, {"", kNaN}});
}

TEST(StringToNumber, Swf4ReadsLeadingNumberElseZero) {
    ExpectStringToNumber(4, {
                                {"12.34", 12.34},
                                {"12.34A", 12.34},
                                {"56.78A", 56.78},
                                {"100ABC", 100},
                                {"ABC", 0},
                                {"", 0},
                                {"true", 0},
                                {"Infinity", 0},
                                {"0x10", 0},
                                {"010", 10},
                                {"  -3e2x", -300},
                            });
}

// ---- parseFloat and parseInt --------------------------------------------------------------------

// What movies print for parseFloat of each text.
TEST(ParseFloat, ReadsLeadingNumber) {
    const TextCase cases[] = {
        {"12345", "12345"},
        {"012345.67890", "12345.6789"},
        {"    99999.99999          ", "99999.99999"},
        {"-22222222222222222", "-2.22222222222222e+16"},
        {"-22222222.222222222", "-22222222.2222222"},
        {".0000000000000000000000005", "5e-25"},
        {"0000.12345GIBBERISH", "0.12345"},
        {"1        2", "1"},
        {"+100e-100", "1e-98"},
        {"-123.234E+66", "-1.23234e+68"},
        {".2E20E1", "2e+19"},
        {"-034.1+e20", "-34.1"},
        {"-2.123123123219e20", "-2.123123123219e+20"},
        {"10101010e+100", "1.010101e+107"},
        {"10101010e-20.0", "1.010101e-13"},
        {"0xff", "0"},
        {"1.2", "1.2"},
    };
    for (const auto& c : cases) EXPECT_EQ(NumberToString(ParseFloat(c.in)), c.out) << c.in;
}

TEST(ParseFloat, ExponentAndPointQuirks) {
    const TextCase cases[] = {
        {"9e99999", "Infinity"},
        {"-9e99999", "-Infinity"},
        {"9e-99999", "0"},
        {"10e", "10"},
        {"10e-", "10"},
        {"1e4294967297", "10"},
        {"1.2345.678", "1.2345678"},
        {"1.2345.6e50", "1.23456"},
        {"-2.123123.123219e20", "-2.123123123219"},
        {"1e308", "1e+308"},
        {"1000e-310", "1e-307"},
    };
    for (const auto& c : cases) EXPECT_EQ(NumberToString(ParseFloat(c.in)), c.out) << c.in;
}

// The player's decimal reader is not correctly rounded; scripts can see the last bit.
TEST(ParseFloat, RoundsAsThePlayer) {
    EXPECT_EQ(ParseFloat(".1499999"), 0.14999990000000005);
    EXPECT_EQ(ParseFloat("0.1"), 0.1);
    EXPECT_EQ(ParseFloat("12.34"), 12.34);
    EXPECT_EQ(ParseFloat("123e-1"), 12.3);
}

TEST(ParseFloat, NaNWithoutDigits) {
    const char* const cases[] = {"",          "-",      "e10",      "Infinity", "-Infinity",
                                 "+Infinity", "BADBAD", "\xC4\xB1", "."};
    for (const char* text : cases) EXPECT_TRUE(std::isnan(ParseFloat(text))) << text;
}

struct ParseIntCase {
    const char* text;
    std::optional<int> radix;
    double value;
};

TEST(ParseInt, DetectsRadixAndStopsAtNonDigits) {
    const ParseIntCase cases[] = {
        {"123", std::nullopt, 123},
        {"  42abc", std::nullopt, 42},
        {"12.9", std::nullopt, 12},
        {"1e3", std::nullopt, 1},
        {"-17", std::nullopt, -17},
        {"+17", std::nullopt, 17},
        {"0x1F", std::nullopt, 31},
        {"-0x1f", std::nullopt, -31},
        {"010", std::nullopt, 8},
        {"08", std::nullopt, 0},
        {"0", std::nullopt, 0},
        {"10", 0, 10},
        {"9007199254740993", std::nullopt, 9007199254740992.0},
        {"ff", 16, 255},
        {"0xff", 16, 255},
        {"z", 36, 35},
        {"Z", 36, 35},
        {"101", 2, 5},
        {"777", 8, 511},
        {"010", 10, 10},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(SameNumber(ParseInt(c.text, c.radix), c.value)) << c.text;
    }
}

TEST(ParseInt, NaNWithoutDigitsOrWithBadRadix) {
    const ParseIntCase cases[] = {
        {"", std::nullopt, kNaN},
        {"abc", std::nullopt, kNaN},
        {"0x", std::nullopt, kNaN},
        {"-", std::nullopt, kNaN},
        {"2", 2, kNaN},
        {"12", 1, kNaN},
        {"12", 37, kNaN},
        {"12", -5, kNaN},
        {"0xg", 16, kNaN},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(SameNumber(ParseInt(c.text, c.radix), c.value)) << c.text;
    }
}

// ---- escape and unescape ------------------------------------------------------------------------

TEST(Escape, KeepsOnlyLettersAndDigits) {
    const TextCase cases[] = {
        {"ABCxyz0189", "ABCxyz0189"},
        {"@*_+-./", "%40%2A%5F%2B%2D%2E%2F"},
        {" ", "%20"},
        {"a b&c=d", "a%20b%26c%3Dd"},
        {"\xC4\x80\xE3\x81\x82", "%C4%80%E3%81%82"},
        {"\n", "%0A"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(Escape(c.in), c.out) << c.in;
}

TEST(Unescape, DecodesAndDropsBrokenEscapes) {
    const TextCase cases[] = {
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"},
        {"%40%2A%5F%2B%2D%2E%2F", "@*_+-./"},
        {"%40%2a%5f%2b%2d%2e%2f", "@*_+-./"},
        {"%20", " "},
        {"Hello+World", "Hello World"},
        {"One%20+mo%2+re", "One  moe"},
        {"%C4%80%E3%81%82", "\xC4\x80\xE3\x81\x82"},
        {"%0A", "\n"},
        {"%u0100", "0100"},
        {"aaa%", "aaa"},
        {"aaa%z", "aaa"},
        {"aaa%zz", "aaaz"},
        {"aaa%4", "aaa"},
        {"aaa%4z", "aaa"},
        {"aaa%4zz", "aaaz"},
        {"%", ""},
        {"%%", ""},
        {"%_a%@b%.c", "abc"},
        {"", ""},
        {"ab%00cd", "ab"},
    };
    for (const auto& c : cases) EXPECT_EQ(Unescape(c.in), c.out) << c.in;
}

TEST(Unescape, UndoesEscapeForEveryByte) {
    std::string all;
    for (int byte = 1; byte < 256; ++byte) all += static_cast<char>(byte);
    EXPECT_EQ(Unescape(Escape(all)), all);
}

// ---- Variable lists -----------------------------------------------------------------------------

struct DecodeCase {
    const char* text;
    Variables variables;
};

TEST(DecodeVariables, SplitsPairsAndUnescapes) {
    const DecodeCase cases[] = {
        {"a=1&b=two+words", {{"a", "1"}, {"b", "two words"}}},
        {"", {}},
        {"x=%26%3D&&=v&flag", {{"x", "&="}, {"flag", ""}}},
        {"a=1=2", {{"a", "1=2"}}},
        {"na%20me=%C4%80", {{"na me", "\xC4\x80"}}},
        {"a=1&a=2", {{"a", "1"}, {"a", "2"}}},
    };
    for (const auto& c : cases) EXPECT_EQ(DecodeVariables(c.text), c.variables) << c.text;
}

TEST(EncodeVariables, JoinsEscapedPairs) {
    EXPECT_EQ(EncodeVariables({}), "");
    EXPECT_EQ(EncodeVariables({{"a", "1"}, {"b c", "d&e"}}), "a=1&b%20c=d%26e");
    const Variables variables = {{"name", "x y+z"}, {"n2", ""}, {"\xC4\x80", "%"}};
    EXPECT_EQ(DecodeVariables(EncodeVariables(variables)), variables);
}

}  // namespace
}  // namespace player::script
