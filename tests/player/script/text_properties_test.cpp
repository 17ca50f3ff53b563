// The TextField prototype's listed properties, tab order indices of fields, clips and
// buttons under script (how values are converted, which names for-in lists), and the
// alignment HTML text gives a field, and how its glyphs are smoothed.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "player/player.h"
#include "tests/support/avm1_asm.h"
#include "tests/support/script_traces.h"
#include "tests/support/swf_writer.h"

namespace {

using swfw::Asm;
using swfw::PushItem;
using Op = swfw::Op;

// A movie of `version` with a field "t" and an empty clip "c", running `a`.
std::vector<std::string> Traces(const Asm& a, int version = 8) {
    swfw::Movie m;
    m.version = std::uint8_t(version);
    swfw::EditText field;
    field.id = 1;
    field.bounds = {0, 4000, 0, 800};
    field.text = "x";
    field.fontClass = "_sans";
    m.Define(field);
    m.Place(swfw::PlaceObject::New(1, 1).Name("t"));
    swfw::Sprite clip(2);
    clip.ShowFrame();
    m.Define(clip);
    m.Place(swfw::PlaceObject::New(2, 2).Name("c"));
    m.Do(a);
    m.ShowFrame();
    return swfw::PlayTraces(m);
}

// Traces every name for-in gives for the variable's value.
Asm& TraceNames(Asm& a, const std::string& variable) {
    const std::string loop = "loop_" + variable, done = "done_" + variable;
    a.GetVariable(variable).Op(Op::kEnumerate2).Label(loop).StoreRegister(0);
    a.Push(swfw::Null{}).Op(Op::kEquals2).If(done).Push(swfw::Reg{0}).Trace().Jump(loop);
    return a.Label(done);
}

bool Has(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(TabIndexScript, ConvertedByWhatHoldsIt) {
    struct Case {
        PushItem value;
        std::string field, clip;
    } cases[] = {
        {-4, "4294967292", "-4"},
        {2147483648.0, "2147483648", "-2147483648"},
        {-2147483648.0, "2147483648", "-2147483648"},
        {"x", "0", "-2147483648"},
        {1.9, "1", "1"},
        {swfw::Undefined{}, "undefined", "undefined"},
    };
    for (const Case& c : cases) {
        Asm a;
        for (const char* target : {"t", "c"}) {
            a.GetVariable(target).PushItems({"tabIndex", c.value}).Op(Op::kSetMember);
            a.GetVariable(target).Push("tabIndex").Op(Op::kGetMember).Trace();
        }
        EXPECT_EQ(Traces(a), (std::vector<std::string>{c.field, c.clip})) << "case "
                                                                          << (&c - cases);
    }
}

TEST(TabIndexScript, ListedOnFieldsNotOnClips) {
    Asm a;
    a.GetVariable("c").Push("tabIndex", 3).Op(Op::kSetMember);
    a.GetVariable("c").Push("tabEnabled", true).Op(Op::kSetMember);
    TraceNames(a, "c");
    a.PushTraceString("--");
    TraceNames(a, "t");
    const auto lines = Traces(a);
    const auto split = std::find(lines.begin(), lines.end(), "--");
    ASSERT_NE(split, lines.end());
    const std::vector<std::string> clip(lines.begin(), split), field(split + 1, lines.end());
    EXPECT_TRUE(Has(clip, "tabEnabled"));
    EXPECT_FALSE(Has(clip, "tabIndex"));
    for (const char* name : {"tabIndex", "text", "htmlText", "styleSheet", "gridFitType"})
        EXPECT_TRUE(Has(field, name)) << name;
}

TEST(TextFieldPrototype, ItsPropertiesNeedAField) {
    Asm a;
    a.Push("o", 0, "TextField").Op(Op::kNewObject).Op(Op::kSetVariable);
    for (const char* name : {"text", "filters"}) {
        a.GetVariable("o").Push(name, "set").Op(Op::kSetMember);
        a.GetVariable("o").Push(name).Op(Op::kGetMember).Trace();
    }
    // A field keeps what it does not answer itself as its own value.
    a.GetVariable("t").Push("styleSheet", 5).Op(Op::kSetMember);
    a.GetVariable("t").Push("styleSheet").Op(Op::kGetMember).Trace();
    a.GetVariable("t").Push("text").Op(Op::kGetMember).Trace();
    // Version 6 has no filters on fields: the name is any object's to use.
    EXPECT_EQ(Traces(a, 6), (std::vector<std::string>{"undefined", "set", "5", "x"}));
    EXPECT_EQ(Traces(a, 8), (std::vector<std::string>{"undefined", "undefined", "5", "x"}));
}

// Centred fields: "plain" and "marked" (HTML with text) and "empty" (HTML without text).
std::vector<std::string> AlignTraces(int version, const Asm& a) {
    swfw::Movie m;
    m.version = std::uint8_t(version);
    auto field = [&m](std::uint16_t id, bool html, const std::string& text) {
        swfw::EditText e;
        e.id = id;
        e.bounds = {0, 4000, 0, 800};
        e.html = html;
        if (!text.empty()) e.text = text;
        e.fontClass = "_sans";
        e.layout = swfw::EditText::Layout{.align = 2};
        m.Define(e);
    };
    field(1, false, "a");
    field(2, true, "a");
    field(3, true, "");
    m.Place(swfw::PlaceObject::New(1, 1).Name("plain"));
    m.Place(swfw::PlaceObject::New(2, 2).Name("marked"));
    m.Place(swfw::PlaceObject::New(3, 3).Name("empty"));
    m.Do(a);
    m.ShowFrame();
    return swfw::PlayTraces(m);
}

TEST(TextFieldFormat, HtmlTextAlignsLeftBeforeVersion8) {
    Asm a;
    a.GetVariable("plain").Push("html", true).Op(Op::kSetMember);
    a.GetVariable("plain").Push("htmlText", "b").Op(Op::kSetMember);
    for (const char* name : {"plain", "marked", "empty"}) {
        a.Push(0).GetVariable(name).Push("getNewTextFormat").Op(Op::kCallMethod);
        a.Push("align").Op(Op::kGetMember).Trace();
    }
    EXPECT_EQ(AlignTraces(7, a), (std::vector<std::string>{"left", "left", "left"}));
    EXPECT_EQ(AlignTraces(8, a), (std::vector<std::string>{"center", "center", "left"}));
}

TEST(TextFormatScript, AssignmentsKeepAlignAndSpacingSound) {
    Asm a;
    // new TextFormat with align "right" and a left margin of -3.
    a.Push("f").PushItems({-3, "right", "", "", false, false, false, 0, 12, "font", 10});
    a.Push("TextFormat").Op(Op::kNewObject).Op(Op::kSetVariable);
    auto trace = [&a](const char* name) {
        a.GetVariable("f").Push(name).Op(Op::kGetMember).Trace();
    };
    trace("leftMargin");
    struct Set {
        const char* name;
        PushItem value;
    } sets[] = {{"align", "middle"}, {"align", swfw::Null{}}, {"leftMargin", -3},
                {"indent", -0.5}, {"leading", -7}, {"size", -3}};
    for (const Set& set : sets) {
        a.GetVariable("f").PushItems({set.name, set.value}).Op(Op::kSetMember);
        trace(set.name);
    }
    a.GetVariable("f").Push("align", "CENTER").Op(Op::kSetMember);
    trace("align");
    EXPECT_EQ(Traces(a, 7), (std::vector<std::string>{"-3", "right", "right", "0", "0", "0",
                                                      "-3", "center"}));
}

TEST(TextFieldFormat, MultilineFieldsEndTheirLastClosedParagraph) {
    struct Case {
        bool multiline;
        std::string markup, text;
    } cases[] = {
        {true, "<p align=\"left\">test</p>", "test\r"},
        {false, "<p align=\"left\">test</p>", "test"},
        {true, "<p>a</p><p>b</p>", "a\rb\r"},
        // Blank text after the last paragraph is no text.
        {true, "<P>a</P> ", "a\r"},
        {true, "<p>a</p>b", "a\rb"},
        {true, "<b>a</b>", "a"},
    };
    for (const Case& c : cases) {
        swfw::Movie m;
        m.version = 8;
        swfw::EditText e;
        e.id = 1;
        e.bounds = {0, 4000, 0, 800};
        e.html = true;
        e.multiline = c.multiline;
        e.text = c.markup;
        e.fontClass = "_sans";
        m.Define(e);
        m.Place(swfw::PlaceObject::New(1, 1).Name("t"));
        Asm a;
        a.GetVariable("t").Push("text").Op(Op::kGetMember).Push("length").Op(Op::kGetMember);
        a.Trace();
        m.Do(a);
        m.ShowFrame();
        std::vector<std::string> lines;
        std::string error;
        auto player = player::Player::Load(m.Bytes(), &error);
        ASSERT_TRUE(player) << error;
        player::ScriptSettings settings;
        settings.trace = [&lines](std::string_view line) { lines.emplace_back(line); };
        player->SetScripting(std::move(settings));
        EXPECT_EQ(lines, (std::vector<std::string>{std::to_string(c.text.size())}))
            << c.markup;
    }
}

// A version 8 field "t" (id 1) with `settings` as the body of a CSMTextSettings tag after it.
std::vector<std::string> RenderingTraces(const swfw::Buffer& settings, const Asm& a) {
    swfw::Movie m;
    m.version = 8;
    swfw::EditText e;
    e.id = 1;
    e.bounds = {0, 4000, 0, 800};
    e.fontClass = "_sans";
    m.Define(e);
    if (!settings.empty()) m.Tag(swfw::RawTag(74, settings));
    m.Place(swfw::PlaceObject::New(1, 1).Name("t"));
    m.Do(a);
    m.ShowFrame();
    std::vector<std::string> lines;
    std::string error;
    auto player = player::Player::Load(m.Bytes(), &error);
    EXPECT_TRUE(player) << error;
    if (!player) return lines;
    player::ScriptSettings settingsForRun;
    settingsForRun.trace = [&lines](std::string_view line) { lines.emplace_back(line); };
    player->SetScripting(std::move(settingsForRun));
    return lines;
}

Asm& TraceRendering(Asm& a) {
    for (const char* name : {"antiAliasType", "gridFitType", "thickness", "sharpness"})
        a.GetVariable("t").Push(name).Op(Op::kGetMember).Trace();
    return a;
}

TEST(TextRenderingScript, FirstValuesComeFromTheMovie) {
    Asm a;
    TraceRendering(a);
    // Advanced smoothing, sub-pixel fitting, thickness 1.5, sharpness -2.
    const swfw::Buffer advanced = {1, 0, 0x50, 0, 0, 0xC0, 0x3F, 0, 0, 0, 0xC0, 0};
    EXPECT_EQ(RenderingTraces(advanced, a),
              (std::vector<std::string>{"advanced", "subpixel", "1.5", "-2"}));
    const swfw::Buffer otherText = {2, 0, 0x50, 0, 0, 0xC0, 0x3F, 0, 0, 0, 0xC0, 0};
    EXPECT_EQ(RenderingTraces(otherText, a),
              (std::vector<std::string>{"normal", "pixel", "0", "0"}));
    const swfw::Buffer cut = {1, 0, 0x50, 0};
    EXPECT_EQ(RenderingTraces(cut, a), (std::vector<std::string>{"normal", "pixel", "0", "0"}));
}

TEST(TextRenderingScript, UnknownNamesAreIgnored) {
    Asm a;
    a.GetVariable("t").Push("antiAliasType", "advanced").Op(Op::kSetMember);
    a.GetVariable("t").Push("gridFitType", "none").Op(Op::kSetMember);
    a.GetVariable("t").Push("antiAliasType", "sharp").Op(Op::kSetMember);
    a.GetVariable("t").Push("gridFitType", "Pixel").Op(Op::kSetMember);
    a.GetVariable("t").Push("thickness", -539).Op(Op::kSetMember);
    a.GetVariable("t").Push("sharpness", "x").Op(Op::kSetMember);
    TraceRendering(a);
    EXPECT_EQ(RenderingTraces({}, a),
              (std::vector<std::string>{"advanced", "none", "-539", "NaN"}));
}

}  // namespace

namespace {

// hscroll is kept between 0 and maxhscroll, which is what a narrow field does not show of
// its text: none for text that fits and for fields that wrap.
TEST(HScrollScript, KeptWithinWhatTheFieldHides) {
    // "x" fits the 200 px field; a long line does not.
    const std::string wide(80, 'W');
    Asm fits;
    fits.GetVariable("t").Push("maxhscroll").Op(Op::kGetMember).Trace();
    fits.GetVariable("t").Push("hscroll", 5).Op(Op::kSetMember);
    fits.GetVariable("t").Push("hscroll").Op(Op::kGetMember).Trace();
    EXPECT_EQ(Traces(fits), (std::vector<std::string>{"0", "0"}));

    struct Case {
        PushItem value;
        const char* scroll;  // "max" for maxhscroll
    } cases[] = {
        {-10, "0"},      {3, "3"},   {1.5, "1"},           {100000, "max"},
        {2147483647.0, "max"},       {2147483648.0, "0"},  {swfw::Null{}, "0"},
        {swfw::Undefined{}, "0"},
    };
    for (const Case& c : cases) {
        Asm a;
        a.GetVariable("t").Push("text", wide).Op(Op::kSetMember);
        a.GetVariable("t").Push("maxhscroll").Op(Op::kGetMember).Trace();
        a.GetVariable("t").PushItems({"hscroll", c.value}).Op(Op::kSetMember);
        a.GetVariable("t").Push("hscroll").Op(Op::kGetMember).Trace();
        // Wrapping leaves nothing to scroll to.
        a.GetVariable("t").Push("wordWrap", true).Op(Op::kSetMember);
        a.GetVariable("t").Push("maxhscroll").Op(Op::kGetMember).Trace();
        a.GetVariable("t").Push("hscroll").Op(Op::kGetMember).Trace();
        const std::vector<std::string> lines = Traces(a);
        ASSERT_EQ(lines.size(), 4u);
        EXPECT_GT(std::stoi(lines[0]), 100) << "case " << (&c - cases);
        EXPECT_EQ(lines[1], std::string(c.scroll) == "max" ? lines[0] : c.scroll)
            << "case " << (&c - cases);
        EXPECT_EQ(lines[2], "0");
        EXPECT_EQ(lines[3], "0");
    }
}

}  // namespace

namespace {

// getTextExtent answers with a bare record: no prototype, so no toString to call.
TEST(TextExtentScript, AnswersWithABareRecord) {
    Asm a;
    a.Push("e", "x", 1, 0, "TextFormat").Op(Op::kNewObject)
        .Push("getTextExtent").Op(Op::kCallMethod).Op(Op::kSetVariable);
    a.GetVariable("e").Trace();
    a.GetVariable("e").Push("__proto__").Op(Op::kGetMember).Trace();
    a.GetVariable("e").Push("width").Op(Op::kGetMember).Op(Op::kTypeOf).Trace();
    EXPECT_EQ(Traces(a), (std::vector<std::string>{"[type Object]", "undefined", "number"}));
}

}  // namespace

namespace {

// Before version 7 names ignore case, also the field's own: textColor, wordWrap and the rest
// written in any case reach the field. From version 7 only the exact name does.
TEST(FieldNamesScript, IgnoreCaseBeforeVersion7) {
    struct Case {
        const char* set;   // the name assigned
        PushItem value;
        const char* read;  // the name read back
        const char* v6;
        const char* v7;
    } cases[] = {
        {"textColor", 255, "textColor", "255", "255"},
        {"TEXTCOLOR", 255, "textColor", "255", "0"},
        {"wordwrap", true, "wordWrap", "true", "false"},
        {"condensewhite", true, "condenseWhite", "true", "false"},
        {"autosize", "left", "autoSize", "left", "none"},
        {"borderColor", 65280, "BORDERCOLOR", "65280", "undefined"},
    };
    for (const Case& c : cases) {
        Asm a;
        a.GetVariable("t").Push("html", true).Op(Op::kSetMember);
        a.GetVariable("t").PushItems({c.set, c.value}).Op(Op::kSetMember);
        a.GetVariable("t").Push(c.read).Op(Op::kGetMember).Trace();
        EXPECT_EQ(Traces(a, 6), std::vector<std::string>{c.v6}) << c.set;
        EXPECT_EQ(Traces(a, 7), std::vector<std::string>{c.v7}) << c.set;
    }
}

}  // namespace

namespace {

// An HTML field's text: blank text between tags left out, each closed paragraph and each line
// end of the text a CR; with condenseWhite, runs of white space are one space.
TEST(HtmlTextScript, TextReadsParagraphEndsAndSkipsBlankText) {
    struct Case {
        const char* html;
        bool condense;
        const char* text;
    } cases[] = {
        {"test\n", false, "test\n"},
        {"\ntest\n", false, "\ntest\n"},
        {"<b>test</b>\n", false, "test"},
        {" <p>one</p> <p>two</p> ", false, "one\ntwo"},
        {"<b> </b>", false, ""},
        {" test ", false, " test "},
        {"\n \tasdf \t  \n", true, " asdf "},
        {"a\n\nb", true, "a b"},
    };
    for (const Case& c : cases) {
        Asm a;
        a.GetVariable("t").Push("html", true).Op(Op::kSetMember);
        a.GetVariable("t").Push("condenseWhite", c.condense).Op(Op::kSetMember);
        a.GetVariable("t").Push("htmlText", c.html).Op(Op::kSetMember);
        a.GetVariable("t").Push("text").Op(Op::kGetMember).Trace();
        EXPECT_EQ(Traces(a), std::vector<std::string>{c.text}) << c.html;
    }
}

}  // namespace
