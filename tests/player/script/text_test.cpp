// Text fields under script: text a script sets is drawn, a field's variable binding works both
// ways, auto-size fields follow their text, TextFormat values round trip through a field, and
// fields made by createTextField. Movies are built with the SWF writer and the assembler.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "player/player.h"
#include "tests/support/avm1_asm.h"
#include "tests/support/swf_writer.h"

namespace {

using swfw::Asm;
using Op = swfw::Op;

struct Run {
    std::unique_ptr<player::Player> player;
    std::vector<std::string> lines;
};

std::unique_ptr<Run> Play(const swfw::Movie& m, int frames = 1) {
    auto run = std::make_unique<Run>();
    std::string error;
    run->player = player::Player::Load(m.Bytes(), &error);
    EXPECT_TRUE(run->player) << error;
    if (!run->player) return run;
    player::ScriptSettings settings;
    settings.trace = [lines = &run->lines](std::string_view line) { lines->emplace_back(line); };
    run->player->SetScripting(std::move(settings));
    for (int i = 1; i < frames; ++i) run->player->Tick(false, true);
    return run;
}

// A movie with one field (id 1) named "t" at depth 1, 200 x 40 px at (0, 0).
swfw::Movie WithField(const std::string& text, const std::string& variable = "",
                      bool autoSize = false) {
    swfw::Movie m;
    m.Version(8);
    m.Background(swfw::Rgb(255, 255, 255));
    swfw::EditText field;
    field.id = 1;
    field.bounds = {0, 4000, 0, 800};
    if (!text.empty()) field.text = text;
    field.fontClass = "_sans";
    field.fontHeight = 400;
    field.color = swfw::Rgb(0, 0, 0);
    field.variableName = variable;
    field.autoSize = autoSize;
    field.readOnly = true;
    m.Define(field);
    m.Place(swfw::PlaceObject::New(1, 1).Name("t"));
    return m;
}

Asm& TraceMember(Asm& a, const std::string& object, const std::string& member) {
    return a.GetVariable(object).Push(member).Op(Op::kGetMember).Trace();
}

template <class V>
Asm& SetMember(Asm& a, const std::string& object, const std::string& member, V value) {
    return a.GetVariable(object).Push(member, value).Op(Op::kSetMember);
}

// Dark pixels inside the field's area of a 550 x 400 frame.
int InkInField(player::Player& p) {
    std::vector<std::uint8_t> pixels(550 * 400 * 4);
    p.Render({pixels.data(), 550, 400, 550 * 4});
    int ink = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 200; ++x)
            if (pixels[(y * 550 + x) * 4 + 1] < 128) ++ink;
    return ink;
}

TEST(TextFieldScript, TextSetByScriptIsDrawn) {
    swfw::Movie blank = WithField("");
    blank.ShowFrame();
    auto before = Play(blank);
    ASSERT_TRUE(before->player);
    EXPECT_EQ(InkInField(*before->player), 0);

    swfw::Movie m = WithField("");
    Asm a;
    SetMember(a, "t", "text", "HELLO WORLD");
    TraceMember(a, "t", "text");
    TraceMember(a, "t", "length");
    m.Do(a).ShowFrame();
    auto after = Play(m);
    ASSERT_TRUE(after->player);
    EXPECT_EQ(after->lines, (std::vector<std::string>{"HELLO WORLD", "11"}));
    EXPECT_GT(InkInField(*after->player), 50);

    // The text colour reads back as a number.
    swfw::Movie red = WithField("HELLO WORLD");
    Asm r;
    SetMember(r, "t", "textColor", 0xFF0000);
    TraceMember(r, "t", "textColor");
    red.Do(r).ShowFrame();
    auto reddened = Play(red);
    ASSERT_TRUE(reddened->player);
    EXPECT_EQ(reddened->lines, (std::vector<std::string>{"16711680"}));
}

// A field's background and border are set apart by script, each in its own colour: the pixel
// inside the field (100, 20) and the one on its left edge (0, 20) of a 200 x 40 field.
TEST(TextFieldScript, BackgroundAndBorderAreDrawnApartInTheirColours) {
    struct Case {
        bool background, border;
        std::uint32_t inside, edge;  // 0xRRGGBB expected
    };
    const Case cases[] = {
        {false, false, 0xFFFFFF, 0xFFFFFF},
        {true, false, 0xFF0000, 0xFF0000},
        {false, true, 0xFFFFFF, 0x0000FF},
        {true, true, 0xFF0000, 0x0000FF},
    };
    for (const Case& c : cases) {
        swfw::Movie m = WithField("");
        Asm a;
        SetMember(a, "t", "background", c.background);
        SetMember(a, "t", "backgroundColor", 0xFF0000);
        SetMember(a, "t", "border", c.border);
        SetMember(a, "t", "borderColor", 0x0000FF);
        m.Do(a).ShowFrame();
        auto run = Play(m);
        ASSERT_TRUE(run->player);
        std::vector<std::uint8_t> pixels(550 * 400 * 4);
        run->player->Render({pixels.data(), 550, 400, 550 * 4});
        auto rgb = [&](int x, int y) {
            const std::uint8_t* p = &pixels[(y * 550 + x) * 4];  // BGRA in memory
            return std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
        };
        SCOPED_TRACE(std::to_string(c.background) + " " + std::to_string(c.border));
        EXPECT_EQ(rgb(100, 20), c.inside);
        EXPECT_EQ(rgb(0, 20), c.edge);
    }
}

TEST(TextFieldScript, VariableBindingWorksBothWays) {
    swfw::Movie m = WithField("Hello", "v");
    Asm a;
    a.GetVariable("v").Trace();                  // the field's text set the variable
    a.Push("v", "Next").Op(Op::kSetVariable);  // the variable sets the field
    TraceMember(a, "t", "text");
    SetMember(a, "t", "text", "Back");  // the field sets the variable
    a.GetVariable("v").Trace();
    TraceMember(a, "t", "variable");
    a.Push("v", "Later").Op(Op::kSetVariable);
    m.Do(a).ShowFrame();
    Asm b;
    TraceMember(b, "t", "htmlText");  // shown after the frame's scripts
    m.Do(b).ShowFrame();
    auto run = Play(m, 2);
    EXPECT_EQ(run->lines,
              (std::vector<std::string>{"Hello", "Next", "Back", "v", "Later"}));
}

TEST(TextFieldScript, AVariableOfAPlainObjectIsReadOnce) {
    swfw::Movie m = WithField("Hello");
    Asm a;
    // o = {v: "first"}; t.variable = "o.v"; trace(t.text); o.v = "second"; trace(t.text)
    a.Push("o").Push("v", "first", 1).Op(Op::kInitObject).Op(Op::kSetVariable);
    SetMember(a, "t", "variable", "o.v");
    TraceMember(a, "t", "text");
    a.GetVariable("o").Push("v", "second").Op(Op::kSetMember);
    TraceMember(a, "t", "text");
    // Bound to a variable of a clip, it follows: t.variable = "w"; w = "x"; trace(t.text)
    SetMember(a, "t", "variable", "w");
    a.Push("w", "x").Op(Op::kSetVariable);
    TraceMember(a, "t", "text");
    m.Do(a).ShowFrame();
    auto run = Play(m);
    EXPECT_EQ(run->lines, (std::vector<std::string>{"first", "first", "x"}));
}

TEST(TextFieldScript, EmptyFieldLeavesItsVariableAlone) {
    swfw::Movie m = WithField("", "w");
    Asm a;
    a.GetVariable("w").Trace();
    m.Do(a).ShowFrame();
    auto run = Play(m);
    EXPECT_EQ(run->lines, (std::vector<std::string>{"undefined"}));
}

TEST(TextFieldScript, AutoSizeFollowsTheText) {
    struct Case {
        const char* mode;
        const char* grownX;  // _x once the text grew: the edge the mode keeps stays put
    };
    for (const Case& c : {Case{"left", "true"}, Case{"right", "false"}, Case{"none", "true"}}) {
        SCOPED_TRACE(c.mode);
        swfw::Movie m = WithField("");
        Asm a;
        SetMember(a, "t", "autoSize", c.mode);
        SetMember(a, "t", "text", "A much longer line than the field is wide at first");
        // _width > 200
        a.GetVariable("t").Push("_width").Op(Op::kGetMember).Push(200).Op(Op::kGreater).Trace();
        // _x >= 0
        a.GetVariable("t").Push("_x").Op(Op::kGetMember).Push(0).Op(Op::kLess2).Op(Op::kNot).Trace();
        SetMember(a, "t", "text", "");
        // _width < 10
        a.GetVariable("t").Push("_width").Op(Op::kGetMember).Push(10).Op(Op::kLess2).Trace();
        m.Do(a).ShowFrame();
        auto run = Play(m);
        const bool sizes = std::string(c.mode) != "none";
        EXPECT_EQ(run->lines, (std::vector<std::string>{sizes ? "true" : "false", c.grownX,
                                                        sizes ? "true" : "false"}));
    }
}

TEST(TextFieldScript, TextFormatRoundTrip) {
    swfw::Movie m = WithField("Some text");
    Asm a;
    // f = new TextFormat("_serif", 30, 0x00FF00, true); f.align = "center"; f.leftMargin = 7
    a.Push(1, 0x00FF00, 30, "_serif", 4, "TextFormat").Op(Op::kNewObject);
    a.Push("f").Op(Op::kStackSwap).Op(Op::kSetVariable);
    SetMember(a, "f", "align", "center");
    SetMember(a, "f", "leftMargin", 7);
    // t.setTextFormat(f); g = t.getTextFormat()
    a.GetVariable("f").Push(1, "t").Op(Op::kGetVariable).Push("setTextFormat")
        .Op(Op::kCallMethod).Op(Op::kPop);
    a.Push("g").Push(0, "t").Op(Op::kGetVariable).Push("getTextFormat").Op(Op::kCallMethod)
        .Op(Op::kSetVariable);
    for (const char* member : {"font", "size", "color", "bold", "italic", "align", "leftMargin",
                               "url", "display"})
        TraceMember(a, "g", member);
    // Text set later takes the new-text format, not the one set on the old text.
    SetMember(a, "t", "text", "Other");
    a.Push("h").Push(0, "t").Op(Op::kGetVariable).Push("getTextFormat").Op(Op::kCallMethod)
        .Op(Op::kSetVariable);
    TraceMember(a, "h", "size");
    TraceMember(a, "h", "font");
    m.Do(a).ShowFrame();
    auto run = Play(m);
    EXPECT_EQ(run->lines,
              (std::vector<std::string>{"_serif", "30", "65280", "true", "false", "center", "7",
                                        "", "block", "20", "_sans"}));
}

TEST(TextFieldScript, CreateTextFieldAndRemoveIt) {
    swfw::Movie m;
    m.Version(8);
    Asm a;
    // n = _root.createTextField("n", 3, 10.7, 20, 120.2, 30)
    a.Push("n").Push(30, 120.2, 20, 10.7, 3, "n", 6, "_root").Op(Op::kGetVariable)
        .Push("createTextField").Op(Op::kCallMethod).Op(Op::kSetVariable);
    a.GetVariable("n").Trace();
    for (const char* member : {"_x", "_y", "_width", "_height", "text", "type", "autoSize"})
        TraceMember(a, "n", member);
    SetMember(a, "n", "text", "made");
    a.Push("_root").Op(Op::kGetVariable).Push("n").Op(Op::kGetMember).Push("text")
        .Op(Op::kGetMember).Trace();
    a.Push(0, "n").Op(Op::kGetVariable).Push("removeTextField").Op(Op::kCallMethod).Op(Op::kPop);
    a.Push("_root").Op(Op::kGetVariable).Push("n").Op(Op::kGetMember).Push("text")
        .Op(Op::kGetMember).Trace();
    m.Do(a).ShowFrame();
    auto run = Play(m);
    EXPECT_EQ(run->lines,
              (std::vector<std::string>{"_level0.n", "10", "20", "120", "30", "", "dynamic",
                                        "none", "made", "undefined"}));
}

TEST(TextFieldScript, CreateTextFieldCalledBareWorksOnTheTimeline) {
    swfw::Movie m;
    m.Version(8);
    Asm a;
    // f = createTextField("f", 1, 0, 0, 50, 20); trace(f); trace(f._listeners.length)
    a.Push("f").Push(20, 50, 0, 0, 1, "f", 6, "createTextField").Op(Op::kCallFunction)
        .Op(Op::kSetVariable);
    a.GetVariable("f").Trace();
    a.GetVariable("f").Push("_listeners").Op(Op::kGetMember).Push("length").Op(Op::kGetMember)
        .Trace();
    m.Do(a).ShowFrame();
    auto run = Play(m);
    EXPECT_EQ(run->lines, (std::vector<std::string>{"_level0.f", "1"}));
}

TEST(TextFormatScript, ValuesAreConvertedWhenSet) {
    struct Case {
        const char* member;
        double given;
        const char* read;
    } cases[] = {
        {"size", -10.9, "-10"},          {"color", -11, "4294967285"},
        {"leftMargin", 7.8, "7"},        {"bold", 2, "true"},
        {"font", -10.5, "-10.5"},        {"letterSpacing", 1.5, "1.5"},
        {"align", 3, "null"},            {"indent", 0.2, "0"},
    };
    swfw::Movie m;
    m.Version(8);
    Asm a;
    a.Push("f").Push(0, "TextFormat").Op(Op::kNewObject).Op(Op::kSetVariable);
    TraceMember(a, "f", "size");     // null before it is set
    TraceMember(a, "f", "display");  // block
    for (const Case& c : cases) {
        SetMember(a, "f", c.member, c.given);
        TraceMember(a, "f", c.member);
    }
    SetMember(a, "f", "size", swfw::Null{});
    TraceMember(a, "f", "size");
    SetMember(a, "f", "display", "Inline");  // names are exact: anything else is a block
    TraceMember(a, "f", "display");
    SetMember(a, "f", "display", "none");
    TraceMember(a, "f", "display");
    m.Do(a).ShowFrame();
    auto run = Play(m);
    std::vector<std::string> want = {"null", "block"};
    for (const Case& c : cases) want.push_back(c.read);
    want.insert(want.end(), {"null", "block", "none"});
    EXPECT_EQ(run->lines, want);
}

TEST(TextFormatScript, TextExtentGrowsWithTheTextAndWraps) {
    swfw::Movie m;
    m.Version(8);
    Asm a;
    auto extent = [&](const std::string& var, const std::string& text, int wrap) {
        // var = new TextFormat("_sans", 12).getTextExtent(text[, wrap])
        a.Push(var);
        if (wrap > 0) a.Push(wrap, text, 2);
        else a.Push(text, 1);
        a.Push(12, "_sans", 2, "TextFormat").Op(Op::kNewObject).Push("getTextExtent")
            .Op(Op::kCallMethod).Op(Op::kSetVariable);
    };
    extent("s", "Short", 0);
    extent("l", "A rather longer line of text than the other", 0);
    extent("w", "A rather longer line of text than the other", 60);
    auto compare = [&](const std::string& x, const std::string& member, const std::string& y,
                       Op op) {
        a.GetVariable(x).Push(member).Op(Op::kGetMember).GetVariable(y).Push(member)
            .Op(Op::kGetMember).Op(op).Trace();
    };
    compare("s", "width", "l", Op::kLess2);               // true
    compare("s", "height", "l", Op::kEquals2);            // one line each: true
    compare("w", "width", "l", Op::kLess2);               // wrapped: true
    compare("l", "textFieldHeight", "w", Op::kLess2);     // more lines: true
    a.GetVariable("s").Push("textFieldWidth").Op(Op::kGetMember).GetVariable("s")
        .Push("width").Op(Op::kGetMember).Op(Op::kSubtract).Trace();  // the gutter: 4
    m.Do(a).ShowFrame();
    auto run = Play(m);
    EXPECT_EQ(run->lines, (std::vector<std::string>{"true", "true", "true", "true", "4"}));
}

}  // namespace
