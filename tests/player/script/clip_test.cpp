// Movie clips under script: display properties and their rounding, clips a script moved
// leaving their timeline's placements, clips made and arranged by script (attachMovie,
// createEmptyMovieClip, depths), onClipEvent handlers and onEnterFrame, and the pixels of a
// clip a script moved. Movies are built with the SWF writer and the bytecode assembler.
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

swfw::Shape Box(std::uint16_t id) {
    swfw::Shape s(id);
    s.Fill(s.AddFill(swfw::FillStyle::Solid(swfw::Rgb(255, 0, 0)))).Rectangle(0, 0, 400, 400);
    return s;
}

// A sprite (id 2) holding a 20 x 20 px red box (id 1).
swfw::Movie WithBoxClip() {
    swfw::Movie m;
    m.Version(8);
    m.Define(Box(1));
    swfw::Sprite clip(2);
    clip.Place(swfw::PlaceObject::New(1, 1)).ShowFrame();
    m.Define(clip);
    return m;
}

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

// trace(<expression>) for a clip property: pushes clip, then the property.
Asm& TraceMember(Asm& a, const std::string& object, const std::string& member) {
    return a.GetVariable(object).Push(member).Op(Op::kGetMember).Trace();
}

Asm& SetMember(Asm& a, const std::string& object, const std::string& member, double value) {
    return a.GetVariable(object).Push(member, value).Op(Op::kSetMember);
}

TEST(ClipProperties, ReadFromThePlacementAndWrittenInTwips) {
    swfw::Movie m = WithBoxClip();
    const swfw::Matrix half = swfw::Matrix::ScaleRotate(0.5, 2.0, 0, 2010, 400);  // 100.5, 20 px
    m.Place(swfw::PlaceObject::New(2, 1).With(half).Name("a"));
    Asm a;
    TraceMember(a, "a", "_x");
    TraceMember(a, "a", "_y");
    TraceMember(a, "a", "_xscale");
    TraceMember(a, "a", "_yscale");
    SetMember(a, "a", "_x", 10.57);  // 211.4 twips: 211
    TraceMember(a, "a", "_x");
    SetMember(a, "a", "_rotation", 270);
    TraceMember(a, "a", "_rotation");
    TraceMember(a, "a", "_xscale");  // kept as set, not read back from the matrix
    SetMember(a, "a", "_alpha", 50);
    TraceMember(a, "a", "_alpha");
    TraceMember(a, "a", "_name");
    TraceMember(a, "a", "_target");
    m.Do(a).ShowFrame();
    auto run = Play(m);
    const std::vector<std::string> want = {"100.5", "20",   "50",   "200", "10.55",
                                           "-90",   "50",   "50",   "a",   "/a"};
    EXPECT_EQ(run->lines, want);
}

TEST(ClipProperties, NothingAndNonNumbersLeaveAPropertyAsItWas) {
    struct Case {
        const char* property;
        swfw::PushItem value;
        const char* traced;
    };
    // The clip starts at _x 5, visible, unturned.
    const Case cases[] = {
        {"_x", swfw::Undefined{}, "5"},   {"_x", swfw::Null{}, "5"},
        {"_x", "abc", "5"},               {"_x", "7", "7"},
        {"_visible", swfw::Undefined{}, "true"}, {"_visible", "false", "true"},
        {"_visible", "0000", "false"},    {"_visible", 2, "true"},
        {"_rotation", 180, "180"},        {"_rotation", -180, "-180"},
        {"_rotation", 181, "-179"},       {"_rotation", -181, "179"},
        {"_rotation", 540, "180"},
    };
    for (const int version : {6, 8}) {
        for (const Case& c : cases) {
            swfw::Movie m = WithBoxClip();
            m.Version(version);
            m.Place(swfw::PlaceObject::New(2, 1).At(100, 0).Name("a"));
            Asm a;
            a.GetVariable("a").Push(c.property).Push(c.value).Op(Op::kSetMember);
            TraceMember(a, "a", c.property);
            m.Do(a).ShowFrame();
            auto run = Play(m);
            EXPECT_EQ(run->lines, std::vector<std::string>{c.traced})
                << c.property << " in version " << version;
        }
    }
}

TEST(ClipProperties, TheRootKeepsItsOwnTransformAndIsDrawnThroughIt) {
    swfw::Movie m = WithBoxClip();
    m.Place(swfw::PlaceObject::New(2, 1).At(2000, 0).Name("a"));  // 100..120 px
    Asm a;
    a.Push("", 2, 50).Op(Op::kSetProperty);  // setProperty("", _xscale, 50)
    a.Push("", 2).Op(Op::kGetProperty).Trace();
    SetMember(a, "_root", "_rotation", -180);
    TraceMember(a, "_root", "_rotation");
    SetMember(a, "_root", "_rotation", 0);
    TraceMember(a, "a", "_x");  // a child's own coordinates are untouched
    m.Do(a).ShowFrame();
    auto run = Play(m);
    EXPECT_EQ(run->lines, (std::vector<std::string>{"50", "-180", "100"}));

    std::vector<std::uint8_t> pixels(550 * 400 * 4);
    run->player->Render({pixels.data(), 550, 400, 550 * 4});
    auto redAt = [&](int x, int y) {
        const std::uint8_t* p = &pixels[(y * 550 + x) * 4];
        return p[2] > 200 && p[1] < 50;  // BGRA in memory
    };
    EXPECT_TRUE(redAt(55, 10));    // the box, squeezed to 50..60 px
    EXPECT_FALSE(redAt(110, 10));  // where it stood unscaled
}

TEST(ClipProperties, AHiddenRootDrawsNothing) {
    swfw::Movie m = WithBoxClip();
    m.Place(swfw::PlaceObject::New(2, 1).At(0, 0).Name("a"));
    Asm a;
    SetMember(a, "_root", "_visible", 0);
    m.Do(a).ShowFrame();
    auto run = Play(m);
    std::vector<std::uint8_t> pixels(550 * 400 * 4);
    run->player->Render({pixels.data(), 550, 400, 550 * 4});
    const std::uint8_t* p = &pixels[(10 * 550 + 10) * 4];
    EXPECT_FALSE(p[2] > 200 && p[1] < 50);
}

TEST(ClipProperties, AClipMovedByScriptLeavesItsTimelinePlacements) {
    swfw::Movie m = WithBoxClip();
    m.Place(swfw::PlaceObject::New(2, 1).At(0, 0).Name("a"));
    Asm moveIt;
    SetMember(moveIt, "a", "_x", 100);
    m.Do(moveIt).ShowFrame();
    m.Place(swfw::PlaceObject::Move(1).At(1000, 0));  // the timeline moves it to 50 px
    Asm report;
    TraceMember(report, "a", "_x");
    m.Do(report).ShowFrame();
    auto run = Play(m, 2);
    ASSERT_EQ(run->lines.size(), 1u);
    EXPECT_EQ(run->lines[0], "100");

    // The picture agrees: the box is drawn at the script's place.
    std::vector<std::uint8_t> pixels(550 * 400 * 4);
    run->player->Render({pixels.data(), 550, 400, 550 * 4});
    auto redAt = [&](int x, int y) {
        const std::uint8_t* p = &pixels[(y * 550 + x) * 4];
        return p[2] > 200 && p[1] < 50;  // BGRA in memory
    };
    EXPECT_TRUE(redAt(110, 10));
    EXPECT_FALSE(redAt(60, 10));
}

// A 20 x 20 px box clip at (100, 50), drawn twice its size.
TEST(ClipGeometry, BoundsPointsHitsAndSize) {
    swfw::Movie m = WithBoxClip();
    m.Place(swfw::PlaceObject::New(2, 1).With(swfw::Matrix::ScaleRotate(2, 2, 0, 2000, 1000)).Name("a"));
    Asm a;
    TraceMember(a, "a", "_width");
    // b = a.getBounds(_root); trace(b.xMin, b.xMax, b.yMin, b.yMax)
    a.Push("b").Push("_root").Op(Op::kGetVariable).Push(1).Push("a").Op(Op::kGetVariable)
        .Push("getBounds").Op(Op::kCallMethod).Op(Op::kSetVariable);
    for (const char* side : {"xMin", "xMax", "yMin", "yMax"}) TraceMember(a, "b", side);
    // p = {x: 10, y: 10}; a.localToGlobal(p); trace(p.x, p.y)
    a.Push("p").Push("x", 10, "y", 10, 2).Op(Op::kInitObject).Op(Op::kSetVariable);
    a.GetVariable("p").Push(1).Push("a").Op(Op::kGetVariable).Push("localToGlobal")
        .Op(Op::kCallMethod).Op(Op::kPop);
    TraceMember(a, "p", "x");
    TraceMember(a, "p", "y");
    // a.hitTest(110, 60), a.hitTest(99, 60)
    for (int x : {110, 99})
        a.Push(60, x, 2).Push("a").Op(Op::kGetVariable).Push("hitTest").Op(Op::kCallMethod).Trace();
    SetMember(a, "a", "_width", 20);
    TraceMember(a, "a", "_xscale");
    m.Do(a).ShowFrame();
    auto run = Play(m);
    const std::vector<std::string> want = {"40",  "100", "140",  "50",    "90",
                                           "120", "70",  "true", "false", "100"};
    EXPECT_EQ(run->lines, want);
}

TEST(ClipsByScript, AttachCreateDepthsAndRemove) {
    swfw::Movie m = WithBoxClip();
    // ExportAssets: count 1; character 2 as "box".
    m.Tag(swfw::RawTag(56, {0x01, 0x00, 0x02, 0x00, 'b', 'o', 'x', 0x00}));
    Asm a;
    // b = attachMovie("box", "b", 5, {_x: 30})
    a.Push("_x", 30, 1).Op(Op::kInitObject).Push(5, "b", "box", 4);
    a.Push("_root").Op(Op::kGetVariable).Push("attachMovie").Op(Op::kCallMethod).Op(Op::kPop);
    TraceMember(a, "b", "_x");
    a.Push(0).Push("b").Op(Op::kGetVariable).Push("getDepth").Op(Op::kCallMethod).Trace();
    // createEmptyMovieClip("e", 9)
    a.Push(9, "e", 2).Push("_root").Op(Op::kGetVariable).Push("createEmptyMovieClip")
        .Op(Op::kCallMethod).Op(Op::kPop);
    TraceMember(a, "e", "_totalframes");
    a.Push(0).Push("_root").Op(Op::kGetVariable).Push("getNextHighestDepth").Op(Op::kCallMethod).Trace();
    // b.swapDepths(20); trace(b.getDepth())
    a.Push(20, 1).Push("b").Op(Op::kGetVariable).Push("swapDepths").Op(Op::kCallMethod).Op(Op::kPop);
    a.Push(0).Push("b").Op(Op::kGetVariable).Push("getDepth").Op(Op::kCallMethod).Trace();
    // attachMovie of an unknown name gives undefined
    a.Push("x", "nothing", 3).Push("_root").Op(Op::kGetVariable).Push("attachMovie")
        .Op(Op::kCallMethod).Op(Op::kTypeOf).Trace();
    // b.removeMovieClip(); typeof(b)
    a.Push(0).Push("b").Op(Op::kGetVariable).Push("removeMovieClip").Op(Op::kCallMethod).Op(Op::kPop);
    a.GetVariable("b").Op(Op::kTypeOf).Trace();
    m.Do(a).ShowFrame();
    auto run = Play(m);
    const std::vector<std::string> want = {"30", "5", "1", "10", "20", "undefined", "undefined"};
    EXPECT_EQ(run->lines, want);
}

// Clips as scripts find them: a for-in over a clip lists its own properties and then its
// named children, the highest depth first; depths wrap as 32-bit integers; targetPath names
// text fields too; tellTarget takes a clip by its path, so the first of two same-named clips.
TEST(ClipsByScript, ChildrenInForInDepthsPathsAndTargets) {
    swfw::Movie m = WithBoxClip();
    swfw::Sprite holder(3);
    holder.Place(swfw::PlaceObject::New(2, 1).Name("low"))
        .Place(swfw::PlaceObject::New(2, 5).Name("high"))
        .Place(swfw::PlaceObject::New(2, 3))  // unnamed: listed by its instanceN name
        .ShowFrame();
    m.Define(holder);
    m.Place(swfw::PlaceObject::New(3, 1).Name("main"));
    Asm a;
    // main.own = 1; for (k in main) trace(k);
    a.GetVariable("main").Push("own", 1).Op(Op::kSetMember);
    a.GetVariable("main").Op(Op::kEnumerate2);
    a.Label("next").StoreRegister(0).Push(swfw::Null{}).Op(Op::kEquals2).If("listed");
    a.Push(swfw::Reg{0}).Trace().Jump("next");
    a.Label("listed");
    // createEmptyMovieClip("first", 0); createEmptyMovieClip("second", 4294967296) replaces it.
    a.Push(0, "first", 2).GetVariable("_root").Push("createEmptyMovieClip").Op(Op::kCallMethod).Op(Op::kPop);
    a.Push(4294967296.0, "second", 2).GetVariable("_root").Push("createEmptyMovieClip")
        .Op(Op::kCallMethod).Op(Op::kPop);
    TraceMember(a, "_root", "first");
    a.Push(0).GetVariable("second").Push("getDepth").Op(Op::kCallMethod).Trace();
    // targetPath of a text field made by script
    a.Push(20, 100, 0, 0, 7, "field", 6).GetVariable("_root").Push("createTextField")
        .Op(Op::kCallMethod).Op(Op::kPop);
    a.GetVariable("field").Op(Op::kTargetPath).Trace();
    // two clips named "twin": tellTarget(the second) reaches the first
    a.SetVariable("one", [](Asm& v) {
        v.Push(10, "twin", 2).GetVariable("_root").Push("createEmptyMovieClip").Op(Op::kCallMethod);
    });
    a.SetVariable("two", [](Asm& v) {
        v.Push(11, "twin", 2).GetVariable("_root").Push("createEmptyMovieClip").Op(Op::kCallMethod);
    });
    a.GetVariable("one").Push("v", "one").Op(Op::kSetMember);
    a.GetVariable("two").Push("v", "two").Op(Op::kSetMember);
    a.GetVariable("two").Op(Op::kSetTarget2).GetVariable("v").Trace().SetTarget("");
    m.Do(a).ShowFrame();
    auto run = Play(m);
    const std::vector<std::string> want = {"own",       "high", "instance6",     "low",
                                           "undefined", "0",    "_level0.field", "one"};
    EXPECT_EQ(run->lines, want);
}

// Names in paths: a named shape stands for the clip holding it and an unnamed one is not
// found; before version 7 names fold letters beyond ASCII too; "path:frame" in gotoAndStop
// names another clip's frame; a path from a removed tellTarget target starts at the timeline.
TEST(ClipsByScript, ShapesFoldedNamesFramePathsAndRemovedTargets) {
    swfw::Movie m;
    m.Version(6);
    m.Define(Box(1));
    swfw::Sprite clip(2);
    clip.Place(swfw::PlaceObject::New(1, 1).Name("shape")).ShowFrame().ShowFrame().ShowFrame();
    m.Define(clip);
    m.Place(swfw::PlaceObject::New(2, 1).Name("clip\xC3\xA4"));  // "clip" + a with diaeresis
    m.Place(swfw::PlaceObject::New(1, 2));                       // a shape without a name
    Asm a;
    a.Push("clip\xC3\x84.shape").Op(Op::kGetVariable).Trace();  // capital A with diaeresis
    a.GetVariable("_root").Push("").Op(Op::kGetMember).Trace();
    // clip.gotoAndStop("/clip\xC3\xA4:3"); trace(clip._currentframe)
    a.Push("/clip\xC3\xA4:3", 1).Push("clip\xC3\xA4").Op(Op::kGetVariable).Push("gotoAndStop")
        .Op(Op::kCallMethod).Op(Op::kPop);
    a.Push("clip\xC3\xA4").Op(Op::kGetVariable).Push("_currentframe").Op(Op::kGetMember).Trace();
    // tellTarget(gone) { gone.removeMovieClip(); trace(getProperty("clip\xC3\xA4", _currentframe)) }
    a.Push(5, "gone", 2).GetVariable("_root").Push("createEmptyMovieClip").Op(Op::kCallMethod)
        .Op(Op::kPop);
    a.SetTarget("gone");
    a.Push(0).Push("_root").Op(Op::kGetVariable).Push("gone").Op(Op::kGetMember)
        .Push("removeMovieClip").Op(Op::kCallMethod).Op(Op::kPop);
    a.Push("clip\xC3\xA4", 4).Op(Op::kGetProperty).Trace();
    a.SetTarget("");
    m.Do(a).ShowFrame();
    auto run = Play(m);
    const std::vector<std::string> want = {"_level0.clip\xC3\xA4", "undefined", "3", "3"};
    EXPECT_EQ(run->lines, want);
}

struct Handler {
    std::uint32_t events;
    std::string text;  // what it traces
};

// PlaceObject2 of character 2 at depth 1 with onClipEvent handlers (32-bit flags).
swfw::RawTag PlaceWithHandlers(const std::vector<Handler>& handlers) {
    swfw::Buffer body = {
        0x82,        // flags: has clip actions, has character
        0x01, 0x00,  // depth 1
        0x02, 0x00,  // character 2
        0x00, 0x00,  // clip actions: reserved
    };
    auto put32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) body.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    std::uint32_t all = 0;
    for (const Handler& h : handlers) all |= h.events;
    put32(all);  // every event used
    for (const Handler& h : handlers) {
        Asm code;
        code.PushTraceString(h.text);
        const swfw::Buffer bytes = code.Bytes();
        put32(h.events);  // this handler's events
        put32(static_cast<std::uint32_t>(bytes.size()));
        body.insert(body.end(), bytes.begin(), bytes.end());
    }
    put32(0);  // end of handlers
    return swfw::RawTag(26, body);
}

TEST(ClipEvents, LoadOnceAndEnterFrameEveryTick) {
    swfw::Movie m = WithBoxClip();
    m.Tag(PlaceWithHandlers({{0x1 | 0x2, "event"}}));  // load and enterFrame
    m.ShowFrame().ShowFrame().ShowFrame();
    auto run = Play(m, 3);
    // load in the first frame, then enterFrame in each of the two ticks after it
    EXPECT_EQ(run->lines.size(), 3u);
}

// Within a tick: initialize and construct handlers before the frame's actions, load and the
// clip's first frame after them; enterFrame the next tick before that frame's actions; unload
// as soon as the timeline takes the clip away.
// duplicateMovieClip converts its name before its depth, copies its init object onto the copy,
// and the copy has the original's clip event handlers.
TEST(ClipEvents, DuplicatesKeepHandlersAndTakeInitObjects) {
    swfw::Movie m = WithBoxClip();
    m.Tag(PlaceWithHandlers({{0x1, "load"}}));
    Asm a;
    // name = {toString: function() { trace("name"); return "copy"; }}
    a.SetVariable("name", [](Asm& v) { v.Push(0).Op(Op::kInitObject); });
    a.GetVariable("name").Push("toString").DefineFunction("", {}, [](Asm& f) {
        f.PushTraceString("name").Push("copy").Op(Op::kReturn);
    }).Op(Op::kSetMember);
    // depth = {valueOf: function() { trace("depth"); return 5; }}
    a.SetVariable("depth", [](Asm& v) { v.Push(0).Op(Op::kInitObject); });
    a.GetVariable("depth").Push("valueOf").DefineFunction("", {}, [](Asm& f) {
        f.PushTraceString("depth").Push(5).Op(Op::kReturn);
    }).Op(Op::kSetMember);
    // _root.getInstanceAtDepth(-16383).duplicateMovieClip(name, depth, {given: "yes"})
    a.Push("given", "yes", 1).Op(Op::kInitObject).GetVariable("depth").GetVariable("name").Push(3);
    a.Push(-16383, 1).GetVariable("_root").Push("getInstanceAtDepth").Op(Op::kCallMethod);
    a.Push("duplicateMovieClip").Op(Op::kCallMethod).Op(Op::kPop);
    TraceMember(a, "copy", "given");
    m.Do(a).ShowFrame();
    auto run = Play(m);
    // The original's load comes first: it was placed before the frame's DoAction.
    const std::vector<std::string> want = {"load", "name", "depth", "yes", "load"};
    EXPECT_EQ(run->lines, want);
}

// Frame scripts run in the order of their tags: a clip placed between two DoActions runs its
// first frame between them. In later frames clips move on before their parent, and what a
// frame left on the stack is gone by the next one.
TEST(ClipEvents, FrameScriptsFollowTagOrderAndClipsBeforeTheirParent) {
    swfw::Movie m = WithBoxClip();
    swfw::Sprite child(3);
    child.Do(Asm().PushTraceString("child 1")).ShowFrame();
    child.Do(Asm().PushTraceString("child 2").Trace()).ShowFrame();  // pops what is left
    m.Define(child);
    m.Do(Asm().PushTraceString("root 1a"));
    m.Place(swfw::PlaceObject::New(3, 1));
    m.Do(Asm().PushTraceString("root 1b").Push("left over"));
    m.ShowFrame();
    m.Do(Asm().PushTraceString("root 2")).ShowFrame();
    auto run = Play(m, 2);
    const std::vector<std::string> want = {"root 1a", "child 1", "root 1b", "child 2",
                                           "undefined", "root 2"};
    EXPECT_EQ(run->lines, want);
}

TEST(ClipEvents, RunInThePlayersOrder) {
    swfw::Movie m;
    m.Version(8);
    m.Define(Box(1));
    swfw::Sprite clip(2);
    Asm clipFrame;
    clipFrame.PushTraceString("clip frame");
    clip.Place(swfw::PlaceObject::New(1, 1)).Do(clipFrame).ShowFrame();
    m.Define(clip);
    m.Tag(PlaceWithHandlers({{1u << 9, "initialize"},
                             {1u << 18, "construct"},
                             {1u << 0, "load"},
                             {1u << 1, "enterFrame"},
                             {1u << 2, "unload"}}));
    Asm first, second, third;
    first.PushTraceString("frame 1");
    second.PushTraceString("frame 2");
    third.PushTraceString("frame 3");
    m.Do(first).ShowFrame();
    m.Do(second).ShowFrame();
    m.Remove(1).Do(third).ShowFrame();
    auto run = Play(m, 3);
    // The clip is placed before the frame's DoAction, so its load and first frame come first.
    const std::vector<std::string> want = {"initialize", "construct",  "load", "clip frame",
                                           "frame 1",    "enterFrame", "frame 2", "unload",
                                           "frame 3"};
    EXPECT_EQ(run->lines, want);
}

TEST(ClipEvents, OnEnterFrameFunctionRunsEachTickUntilDeleted) {
    swfw::Movie m;
    m.Version(8);
    Asm a;
    // n = 0; _root.onEnterFrame = function () { n++; trace(n); if (n == 2) delete this.onEnterFrame; }
    a.SetVariable("n", swfw::PushItem(0));
    a.Push("_root").Op(Op::kGetVariable).Push("onEnterFrame");
    a.DefineFunction("", {}, [](Asm& f) {
        f.SetVariable("n", [](Asm& v) { v.GetVariable("n").Op(Op::kIncrement); });
        f.GetVariable("n").Trace();
        f.GetVariable("n").Push(2).Op(Op::kEquals2).Op(Op::kNot).If("keep");
        f.Push("this").Op(Op::kGetVariable).Push("onEnterFrame").Op(Op::kDelete).Op(Op::kPop);
        f.Label("keep");
    });
    a.Op(Op::kSetMember);
    m.Do(a).ShowFrame();
    auto run = Play(m, 5);
    const std::vector<std::string> want = {"1", "2"};
    EXPECT_EQ(run->lines, want);
}

}  // namespace
