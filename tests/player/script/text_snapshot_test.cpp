// Static text read through TextSnapshot and MovieClip.getTextSnapshot, and text fields'
// selection under script: replaceSel, focus given by setFocus and lost when the focused
// object leaves the display. Movies are built with the SWF writer and the assembler.
#include <gtest/gtest.h>

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

// object.method(args...), its result left on the stack.
Asm& Call(Asm& a, const std::string& object, const std::string& method,
          const std::vector<PushItem>& args = {}) {
    std::vector<PushItem> reversed(args.rbegin(), args.rend());
    if (!reversed.empty()) a.PushItems(reversed);
    return a.Push(int(args.size())).GetVariable(object).Push(method).Op(Op::kCallMethod);
}

// name = new TextSnapshot(clip).
Asm& Snapshot(Asm& a, const std::string& name, const std::string& clip) {
    return a.Push(name).GetVariable(clip).Push(1, "TextSnapshot").Op(Op::kNewObject)
        .Op(Op::kSetVariable);
}

// A font of the letters A to E (glyphs 0 to 4) and static text of glyph indices.
swfw::Text StaticText(std::uint16_t id, const std::vector<std::uint32_t>& glyphs) {
    swfw::Text text;
    text.id = id;
    text.bounds = {0, 2000, 0, 400};
    swfw::TextRun run;
    run.fontId = 1;
    run.color = swfw::Rgb(0, 0, 0);
    run.x = 0;
    run.y = 300;
    for (std::uint32_t g : glyphs) run.glyphs.push_back({g, 200});
    text.runs.push_back(run);
    return text;
}

// The root shows "CD" at depth 2 and "AB" at depth 1; the clip "child" (depth 3) shows "E".
swfw::Movie LetterMovie() {
    swfw::Movie m;
    m.version = 8;
    swfw::Font font;
    font.id = 1;
    for (char c = 'A'; c <= 'E'; ++c) font.glyphs.push_back({std::uint16_t(c), {}, 500});
    m.Define(font);
    m.Define(StaticText(2, {2, 3}));
    m.Define(StaticText(3, {0, 1}));
    m.Define(StaticText(4, {4}));
    swfw::Sprite child(5);
    child.Place(swfw::PlaceObject::New(4, 1)).ShowFrame();
    m.Define(child);
    m.Place(swfw::PlaceObject::New(2, 2));
    m.Place(swfw::PlaceObject::New(3, 1));
    m.Place(swfw::PlaceObject::New(5, 3).Name("child"));
    return m;
}

swfw::Movie WithScript(swfw::Movie m, const Asm& a) {
    m.Do(a);
    m.ShowFrame();
    return m;
}

TEST(TextSnapshotScript, ReadsTheClipsOwnStaticTextInDepthOrder) {
    Asm a;
    Snapshot(a, "ts", "_root");
    Call(a, "ts", "getCount").Trace();
    Call(a, "ts", "getText", {0, 100}).Trace();
    Call(a, "ts", "getText", {1, 3}).Trace();
    Call(a, "ts", "getText", {3, 1}).Trace();
    Snapshot(a, "inner", "child");
    Call(a, "inner", "getText", {0, 10}).Trace();
    EXPECT_EQ(swfw::PlayTraces(WithScript(LetterMovie(), a)),
              (std::vector<std::string>{"4", "ABCD", "BC", "", "E"}));
}

TEST(TextSnapshotScript, FindText) {
    struct Case {
        std::vector<PushItem> args;
        std::string found;
    } cases[] = {
        {{0, "cd", false}, "2"},  {{0, "cd", true}, "-1"},   {{0, "CD", true}, "2"},
        {{2, "CD", true}, "2"},   {{3, "CD", true}, "-1"},   {{-1, "A", true}, "-1"},
        {{5, "A", true}, "-1"},   {{0, "", false}, "-1"},    {{0, "ABCDE", true}, "-1"},
        {{0, "A"}, "undefined"},  {{0, "A", true, 1}, "undefined"},
    };
    for (const Case& c : cases) {
        Asm a;
        Snapshot(a, "ts", "_root");
        Call(a, "ts", "findText", c.args).Trace();
        const auto lines = swfw::PlayTraces(WithScript(LetterMovie(), a));
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0], c.found) << "case " << (&c - cases);
    }
}

TEST(TextSnapshotScript, SelectionOfCharacters) {
    Asm a;
    Snapshot(a, "ts", "_root");
    Call(a, "ts", "setSelected", {1, 3, true}).Op(Op::kPop);
    Call(a, "ts", "getSelected", {0, 1}).Trace();
    Call(a, "ts", "getSelected", {0, 2}).Trace();
    Call(a, "ts", "getSelectedText").Trace();
    Call(a, "ts", "setSelected", {0, 99, false}).Op(Op::kPop);
    Call(a, "ts", "getSelectedText").Trace();
    EXPECT_EQ(swfw::PlayTraces(WithScript(LetterMovie(), a)),
              (std::vector<std::string>{"false", "true", "BC", ""}));
}

TEST(TextSnapshotScript, NothingToReadAnswersUndefined) {
    Asm a;
    a.Push("o", 0, "Object").Op(Op::kNewObject).Op(Op::kSetVariable);
    Snapshot(a, "ts", "o");
    Call(a, "ts", "getCount").Trace();
    Call(a, "_root", "createEmptyMovieClip", {"empty", 10}).Op(Op::kPop);
    Snapshot(a, "ts", "empty");
    Call(a, "ts", "getText", {0, 10}).Trace();
    a.Push(0, "TextSnapshot").Op(Op::kCallFunction).Trace();  // called without new
    EXPECT_EQ(swfw::PlayTraces(WithScript(LetterMovie(), a)),
              (std::vector<std::string>{"undefined", "undefined", "undefined"}));
}

TEST(TextSnapshotScript, ADuplicateTakesTheStaticTextOver) {
    Asm a;
    Snapshot(a, "before", "child");
    Call(a, "child", "duplicateMovieClip", {"copy", 20}).Op(Op::kPop);
    Call(a, "before", "getText", {0, 10}).Trace();
    Snapshot(a, "now", "child");
    Call(a, "now", "getText", {0, 10}).Trace();
    Snapshot(a, "now", "copy");
    Call(a, "now", "getText", {0, 10}).Trace();
    EXPECT_EQ(swfw::PlayTraces(WithScript(LetterMovie(), a)),
              (std::vector<std::string>{"E", "undefined", "E"}));
}

TEST(TextSnapshotScript, GetTextSnapshotBuildsWithTheGlobalClass) {
    Asm a;
    a.Push("ts").Push(0).GetVariable("_root").Push("getTextSnapshot").Op(Op::kCallMethod);
    a.Op(Op::kSetVariable);
    Call(a, "ts", "getText", {0, 10}).Trace();
    a.GetVariable("ts").GetVariable("TextSnapshot").Op(Op::kInstanceOf).Trace();
    // A script's own TextSnapshot class is the one getTextSnapshot builds with.
    a.GetVariable("_global").Push("TextSnapshot");
    a.DefineFunction("", {"clip"}, [](Asm& f) {
        f.GetVariable("clip").Push("_name").Op(Op::kGetMember).Trace();
    });
    a.Op(Op::kSetMember);
    Call(a, "child", "getTextSnapshot").Op(Op::kPop);
    EXPECT_EQ(swfw::PlayTraces(WithScript(LetterMovie(), a)),
              (std::vector<std::string>{"ABCD", "true", "child"}));
}

// ---- Selection in text fields ------------------------------------------------------------

// An input field "t" (version 8) holding `text`.
swfw::Movie FieldMovie(const std::string& text, int version = 8) {
    swfw::Movie m;
    m.version = std::uint8_t(version);
    swfw::EditText field;
    field.id = 1;
    field.bounds = {0, 4000, 0, 800};
    field.text = text;
    field.fontClass = "_sans";
    field.fontHeight = 240;
    m.Define(field);
    m.Place(swfw::PlaceObject::New(1, 1).Name("t"));
    return m;
}

Asm& TraceText(Asm& a) { return a.GetVariable("t").Push("text").Op(Op::kGetMember).Trace(); }

TEST(TextFieldSelection, ReplaceSelFollowsFocusAndSelection) {
    Asm a;
    Call(a, "t", "replaceSel", {"|"}).Op(Op::kPop);  // no focus: at the start
    TraceText(a);
    Call(a, "Selection", "setFocus", {"t"}).Op(Op::kPop);  // selects everything
    a.GetVariable("t").Push("text", "text").Op(Op::kSetMember);
    Call(a, "t", "replaceSel", {"ab"}).Op(Op::kPop);
    TraceText(a);
    Call(a, "t", "replaceSel", {"c"}).Op(Op::kPop);  // at the caret after "ab"
    TraceText(a);
    Call(a, "Selection", "setSelection", {0, 1}).Op(Op::kPop);
    Call(a, "t", "replaceSel", {"XY"}).Op(Op::kPop);
    TraceText(a);
    Call(a, "Selection", "setFocus", {"t"}).Op(Op::kPop);  // again: everything
    Call(a, "t", "replaceSel", {""}).Op(Op::kPop);
    TraceText(a);
    EXPECT_EQ(swfw::PlayTraces(WithScript(FieldMovie("text"), a)),
              (std::vector<std::string>{"|text", "ab", "abc", "XYbc", ""}));
}

TEST(TextFieldSelection, EditsCountCharactersNotBytes) {
    Asm a;
    Call(a, "t", "replaceText", {1, 2, "e"}).Op(Op::kPop);
    TraceText(a);
    a.GetVariable("t").Push("type", "input").Op(Op::kSetMember);
    a.GetVariable("t").Push("maxChars", 3).Op(Op::kSetMember);
    a.GetVariable("t").Push("text", "\xC3\xA9\xC3\xA9\xC3\xA9\xE2\x82\xAC").Op(Op::kSetMember);
    TraceText(a);
    EXPECT_EQ(swfw::PlayTraces(WithScript(FieldMovie("h\xC3\xA9llo"), a)),
              (std::vector<std::string>{"hello", "\xC3\xA9\xC3\xA9\xC3\xA9"}));
}

TEST(TextFieldSelection, FocusIsLostWhenTheFocusedClipLeaves) {
    Asm a;
    a.Push("listener", 0, "Object").Op(Op::kNewObject).Op(Op::kSetVariable);
    a.GetVariable("listener").Push("onSetFocus");
    a.DefineFunction("", {"was", "now"}, [](Asm& f) {
        f.GetVariable("was").Trace().GetVariable("now").Trace();
    });
    a.Op(Op::kSetMember);
    a.GetVariable("listener").Push(1).GetVariable("Selection").Push("addListener");
    a.Op(Op::kCallMethod);
    a.Op(Op::kPop);
    Call(a, "_root", "createEmptyMovieClip", {"c", 5}).Op(Op::kPop);
    a.GetVariable("c").Push("focusEnabled", true).Op(Op::kSetMember);
    a.GetVariable("c").Push(1).GetVariable("Selection").Push("setFocus").Op(Op::kCallMethod);
    a.Op(Op::kPop);
    Call(a, "c", "removeMovieClip").Op(Op::kPop);
    Call(a, "Selection", "getFocus").Trace();
    Call(a, "Selection", "getFocus").Trace();  // heard once
    EXPECT_EQ(swfw::PlayTraces(WithScript(FieldMovie(""), a)),
              (std::vector<std::string>{"null", "_level0.c", "_level0.c", "null", "null",
                                        "null"}));
}

// A field whose clip was removed loses the focus at once, though the clip is kept a while for
// its unload handlers.
TEST(TextFieldSelection, FocusIsLostWhenTheFocusedFieldsClipLeaves) {
    Asm a;
    Call(a, "_root", "createEmptyMovieClip", {"c", 5}).Op(Op::kPop);
    Call(a, "c", "createTextField", {"f", 1, 0, 0, 100, 20}).Op(Op::kPop);
    a.GetVariable("c").Push("f").Op(Op::kGetMember);
    a.Push(1).GetVariable("Selection").Push("setFocus").Op(Op::kCallMethod).Op(Op::kPop);
    Call(a, "Selection", "getFocus").Trace();
    Call(a, "c", "removeMovieClip").Op(Op::kPop);
    Call(a, "Selection", "getFocus").Trace();
    EXPECT_EQ(swfw::PlayTraces(WithScript(FieldMovie(""), a)),
              (std::vector<std::string>{"_level0.c.f", "null"}));
}
}  // namespace
