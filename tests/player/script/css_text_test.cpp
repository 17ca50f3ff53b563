// Style sheet text: which texts read as rules (and as which), which are malformed, and the
// caps on what one text may hold.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "player/script/css_text.h"

namespace player::script {
namespace {

// Rules written back compactly: "a,b{name=value;...}" one after another; "malformed" when
// the text does not read.
std::string Written(std::string_view text, std::size_t maxRules = 1024) {
    const auto rules = ParseCss(text, maxRules);
    if (!rules) return "malformed";
    std::string out;
    for (const CssRule& rule : *rules) {
        for (std::size_t i = 0; i < rule.selectors.size(); ++i)
            out += (i ? "," : "") + rule.selectors[i];
        out += "{";
        for (const auto& [name, value] : rule.properties) out += name + "=" + value + ";";
        out += "}";
    }
    return out;
}

struct Case {
    const char* text;
    const char* rules;
};

TEST(CssText, ReadsRulesAsWritten) {
    const Case cases[] = {
        {"", ""},
        {"  \n\t ", ""},
        {"p { color: #FF0000; }", "p{color=#FF0000;}"},
        {"a, b { kerning: 5 }", "a,b{kerning=5 ;}"},
        {"one{a:1}two{b:2}", "one{a=1;}two{b=2;}"},
        {".note { font-size: 12px; font-weight: bold }",
         ".note{fontSize=12px;fontWeight=bold ;}"},
        // Values keep what follows their first character, colons included.
        {"k {  name  :   two   words   }", "k{name  =two   words   ;}"},
        {"k { a: b : c; }", "k{a=b : c;}"},
        // No escapes and no strings: backslashes and quotes are characters like others.
        {"t\\ {c: \\}", "t\\{c=\\;}"},
        {"\"q\" {c: \"r\"}", "\"q\"{c=\"r\";}"},
        // A closing brace in a selector or a name is part of it.
        {"a}{}", "a}{}"},
        {"a{n}b{:v}", "a{n}b{=v;}"},
        // Empty names are skipped; empty values kept.
        {"a{:}", "a{}"},
        {"a{k:}", "a{k=;}"},
        // Semicolons only end values: stray ones start the next name.
        {"b{;;k: v;;o: v;}", "b{;;k=v;;o=v;}"},
        {"e{k;o: v;}", "e{k;o=v;}"},
        {"g{k:v; }", "g{k=v;}"},
        // A block left open at the end is closed there, when nothing is half read.
        {"a{", "a{}"},
        {"a{k:;", "a{k=;}"},
        {"a{:;", "a{}"},
        // Comments count as white space between the parts.
        {"/* head */ p /* x */ { /* y */ color: #000000; /* z */ }", "p{color=#000000;}"},
        // Non-ASCII selectors pass through.
        {"a.b-c!#@\xF0\x9F\x98\x9C { w: ok }", "a.b-c!#@\xF0\x9F\x98\x9C{w=ok ;}"},
    };
    for (const Case& c : cases) EXPECT_EQ(Written(c.text), c.rules) << c.text;
}

TEST(CssText, MalformedTextsReadAsNothing) {
    const char* cases[] = {
        "long key { kerning: 5 }",       // white space inside a selector
        "{color:}",                       // no selector
        "a, { c: d }",                    // an empty selector in a list
        "name",                           // a selector and nothing else
        "a{name",                         // a name left open
        "a{name}",                        // a name with no colon
        "a{:",                            // a value never started
        "a{key:value",                    // a value never ended
        "a{x: y;;}",                      // ";}" read as a name with no colon
        "k {property with space: value}",  // white space inside a name
        "one { color: blue; }; this isn't valid!",
        "p { color: red } /* never closed",
        "p /* never closed",
    };
    for (const char* text : cases) EXPECT_EQ(Written(text), "malformed") << text;
}

TEST(CssText, CapsRulesAndProperties) {
    EXPECT_EQ(Written("a{x:1}b{y:2}", 4), "a{x=1;}b{y=2;}");
    EXPECT_EQ(Written("a{x:1}b{y:2}c{z:3}", 4), "malformed");
    EXPECT_EQ(Written("a,b,c,d,e{}", 4), "malformed");
    // Many properties in one block count too.
    std::string many = "a{";
    for (int i = 0; i < 100; ++i) many += "p" + std::to_string(i) + ":v;";
    EXPECT_EQ(Written(many + "}", 50), "malformed");
    // A long text of many rules reads in one pass.
    std::string big;
    for (int i = 0; i < 20000; ++i) big += "s" + std::to_string(i) + "{c:#000000}";
    EXPECT_EQ(Written(big, 100000).size(), big.size() + 20000);
    EXPECT_EQ(Written(big, 1024), "malformed");
}

TEST(CssText, NamesTurnToCamelCase) {
    const std::pair<const char*, const char*> cases[] = {
        {"font-size", "fontSize"},
        {"text-decoration", "textDecoration"},
        {"this--one--has", "this-one-has"},
        {"UPPER-DASHES", "UPPERDASHES"},
        {"trailing-", "trailing"},
        {"-leading", "Leading"},
        {"plain", "plain"},
        {"", ""},
    };
    for (const auto& [name, camel] : cases) EXPECT_EQ(CssCamelCase(name), camel) << name;
}

}  // namespace
}  // namespace player::script
