// How clips come to be under script: a clip made by attachMovie, duplicateMovieClip or
// createEmptyMovieClip takes its registered class's prototype, the init object and the class's
// constructor before the call returns (without a class, its onConstruct method runs); the
// registries of old and new movies; how variable and target paths split and resolve, and the
// root `_lockroot` makes; placements at occupied depths; instance names of unnamed placed
// objects and what a clip inside a button sees as its parent; hitTest by the shapes' outlines.
// Movies are built with the SWF writer and the bytecode assembler.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/avm1_asm.h"
#include "tests/support/script_traces.h"
#include "tests/support/swf_writer.h"

namespace {

using swfw::Asm;
using Op = swfw::Op;

// A movie of `version` with an empty one-frame sprite (id 1) exported as "Thing".
swfw::Movie WithThing(int version) {
    swfw::Movie m;
    m.Version(static_cast<std::uint8_t>(version));
    swfw::Sprite thing(1);
    thing.ShowFrame();
    m.Define(thing);
    m.Export(1, "Thing");
    return m;
}

// function Thing() { trace("made " + this.source + " " + (this.kind)); }
// Thing.prototype.__proto__ = MovieClip.prototype; Thing.prototype.kind = "thing";
// Object.registerClass(registeredAs, Thing);
Asm& DefineThing(Asm& a, const std::string& registeredAs) {
    a.DefineFunction("Thing", {}, [](Asm& f) {
        f.Push("made ").GetVariable("this").Push("source").Op(Op::kGetMember).Op(Op::kAdd2)
            .Push(" ").Op(Op::kAdd2).GetVariable("this").Push("kind").Op(Op::kGetMember)
            .Op(Op::kAdd2).Trace();
    });
    a.GetVariable("Thing").Push("prototype").Op(Op::kGetMember).Push("__proto__")
        .GetVariable("MovieClip").Push("prototype").Op(Op::kGetMember).Op(Op::kSetMember);
    a.GetVariable("Thing").Push("prototype").Op(Op::kGetMember).Push("kind", "thing")
        .Op(Op::kSetMember);
    a.GetVariable("Thing").Push(registeredAs, 2).GetVariable("Object").Push("registerClass")
        .Op(Op::kCallMethod).Op(Op::kPop);
    return a;
}

// mc = attachMovie("Thing", name, depth, {source: "init"});
Asm& AttachThing(Asm& a, const std::string& name, double depth) {
    return a.SetVariable("mc", [&](Asm& v) {
        v.Push("source", "init", 1).Op(Op::kInitObject).Push(depth, name, "Thing", 4)
            .GetVariable("_root").Push("attachMovie").Op(Op::kCallMethod);
    });
}

TEST(ClipConstruction, AnAttachedClipIsConstructedBeforeAttachMovieReturns) {
    Asm a;
    DefineThing(a, "Thing");
    AttachThing(a, "a", 1);
    a.PushTraceString("attached");
    a.GetVariable("mc").Push("__proto__").Op(Op::kGetMember).GetVariable("Thing")
        .Push("prototype").Op(Op::kGetMember).Op(Op::kStrictEquals).Trace();
    // A duplicate is an instance of the class as well, made at once too.
    a.Push(2, "b", 2).GetVariable("mc").Push("duplicateMovieClip").Op(Op::kCallMethod)
        .Op(Op::kPop);
    a.PushTraceString("duplicated");
    swfw::Movie m = WithThing(8);
    m.Do(a).ShowFrame().ShowFrame();
    // The constructor runs once for each clip, not again when the frame's queue runs.
    const std::vector<std::string> want = {"made init thing", "attached", "true",
                                           "made undefined thing", "duplicated"};
    EXPECT_EQ(swfw::PlayTraces(m, 2), want);
}

TEST(ClipConstruction, RegistriesOfOldMoviesIgnoreCaseAndNewOnesDoNot) {
    struct Case {
        int version;
        std::string registeredAs;
        std::vector<std::string> want;
    };
    const Case cases[] = {
        {6, "THING", {"made init thing", "attached"}},
        {6, "Thing", {"made init thing", "attached"}},
        {7, "THING", {"attached"}},
        {8, "Thing", {"made init thing", "attached"}},
    };
    for (const Case& c : cases) {
        Asm a;
        DefineThing(a, c.registeredAs);
        AttachThing(a, "a", 1);
        a.PushTraceString("attached");
        swfw::Movie m = WithThing(c.version);
        m.Do(a).ShowFrame();
        EXPECT_EQ(swfw::PlayTraces(m), c.want) << "version " << c.version << " " << c.registeredAs;
    }
}

TEST(ClipConstruction, NullOrUndefinedForgetsTheClassAndOtherValuesAreRefused) {
    struct Case {
        swfw::PushItem second;
        std::vector<std::string> want;
    };
    const Case cases[] = {
        {swfw::Null{}, {"true", "attached"}},
        {swfw::Undefined{}, {"true", "attached"}},
        {"a string", {"false", "made init thing", "attached"}},
    };
    for (const Case& c : cases) {
        Asm a;
        DefineThing(a, "Thing");
        a.Push(c.second, "Thing", 2).GetVariable("Object").Push("registerClass")
            .Op(Op::kCallMethod).Trace();
        AttachThing(a, "a", 1);
        a.PushTraceString("attached");
        swfw::Movie m = WithThing(8);
        m.Do(a).ShowFrame();
        EXPECT_EQ(swfw::PlayTraces(m), c.want);
    }
}

TEST(ClipConstruction, OnConstructRunsForClipsWithoutAClassAndItsExceptionStaysInside) {
    Asm a;
    a.GetVariable("MovieClip").Push("prototype").Op(Op::kGetMember).Push("onConstruct")
        .DefineFunction("", {}, [](Asm& f) {
            f.Push("construct ").GetVariable("this").Push("_name").Op(Op::kGetMember)
                .Op(Op::kAdd2).Trace();
            f.Push("thrown").Op(Op::kThrow);
        });
    a.Op(Op::kSetMember);
    a.Try(
        [](Asm& t) {
            t.Push(3, "empty", 2).GetVariable("_root").Push("createEmptyMovieClip")
                .Op(Op::kCallMethod).Op(Op::kPop);
            t.PushTraceString("made");
        },
        std::string("e"), [](Asm& c) { c.Push("caught ").GetVariable("e").Op(Op::kAdd2).Trace(); });
    swfw::Movie m;
    m.Version(7);
    m.Do(a).ShowFrame();
    const std::vector<std::string> want = {"construct empty", "Warning: Uncaught exception, thrown",
                                           "made"};
    EXPECT_EQ(swfw::PlayTraces(m), want);
}

// A button (id 3) whose up state holds a sprite (id 2) tracing its path and its parent's.
swfw::Movie ButtonHoldingAClip(int version) {
    swfw::Movie m;
    m.Version(static_cast<std::uint8_t>(version));
    swfw::Sprite inner(2);
    Asm own;
    own.GetVariable("this").Op(Op::kTargetPath).Trace();
    own.GetVariable("_parent").Op(Op::kTargetPath).Trace();
    inner.Do(own).ShowFrame();
    m.Define(inner);
    swfw::Button button;
    button.id = 3;
    swfw::ButtonRecord record;
    record.characterId = 2;
    record.up = record.hitTest = true;
    button.records.push_back(record);
    m.Define(button);
    m.Place(swfw::PlaceObject::New(2, 1));
    m.Place(swfw::PlaceObject::New(3, 2)).ShowFrame();
    return m;
}

TEST(ClipConstruction, UnnamedObjectsAreNumberedAndButtonsAreParentsFromVersionSix) {
    struct Case {
        int version;
        std::vector<std::string> want;
    };
    const Case cases[] = {
        {5, {"_level0.instance1", "_level0", "_level0.instance2.instance3", "_level0"}},
        {6, {"_level0.instance1", "_level0", "_level0.instance2.instance3", "_level0.instance2"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(swfw::PlayTraces(ButtonHoldingAClip(c.version)), c.want) << c.version;
}

// A 20 x 20 px square with a 10 x 10 px square inside, both drawn clockwise with one fill, in
// a sprite (id 2) placed as "ring" at the origin.
swfw::Movie Ring(bool nonZero) {
    swfw::Movie m;
    m.Version(8);
    swfw::Shape s(1);
    s.usesFillWindingRule = nonZero;
    if (nonZero) s.version = 4;
    s.Fill(s.AddFill(swfw::FillStyle::Solid(swfw::Rgb(0, 0, 255))))
        .Rectangle(0, 0, 400, 400)
        .Rectangle(100, 100, 200, 200);
    m.Define(s);
    swfw::Sprite ring(2);
    ring.Place(swfw::PlaceObject::New(1, 1)).ShowFrame();
    m.Define(ring);
    m.Place(swfw::PlaceObject::New(2, 1).Name("ring"));
    return m;
}

TEST(ClipHitTest, TheShapeFlagFollowsTheOutlineAndItsFillRule) {
    struct Case {
        double x, y;
        bool shapeFlag;
        bool nonZero;
        std::string want;
    };
    const Case cases[] = {
        {10, 10, false, false, "true"},  // the box holds the hole
        {10, 10, true, false, "false"},  // even-odd: the inner square is a hole
        {10, 10, true, true, "true"},    // nonzero: both squares wind the same way
        {2, 2, true, false, "true"},     // on the ring
        {25, 25, true, true, "false"},   // outside
    };
    for (const Case& c : cases) {
        Asm a;
        a.Push(c.shapeFlag, c.y, c.x, 3).GetVariable("ring").Push("hitTest").Op(Op::kCallMethod)
            .Trace();
        swfw::Movie m = Ring(c.nonZero);
        m.Do(a).ShowFrame();
        EXPECT_EQ(swfw::PlayTraces(m), std::vector<std::string>{c.want})
            << c.x << "," << c.y << " shapeFlag " << c.shapeFlag << " nonZero " << c.nonZero;
    }
}

// Tracing outlines is paid from a budget per tick: once it is spent, shapes answer by their
// boxes (a point in the ring's hole then hits), and the next tick has a new budget.
TEST(ClipHitTest, TheShapeFlagFallsBackToBoxesOnceTheTicksTracingIsSpent) {
    swfw::Movie m = Ring(false);
    for (int frame = 0; frame < 2; ++frame) {
        Asm a;
        for (int i = 0; i < 3; ++i)
            a.Push(true, 10, 10, 3).GetVariable("ring").Push("hitTest").Op(Op::kCallMethod).Trace();
        m.Do(a).ShowFrame();
    }
    player::Limits limits;
    limits.maxShapeHitWorkPerTick = 25;  // the ring's records twice, not three times
    EXPECT_EQ(swfw::PlayTraces(m, 2, limits),
              (std::vector<std::string>{"false", "false", "true", "false", "false", "true"}));
}

}  // namespace

// Clips a (holding b, holding c) on the root; a.v = "a's v"; _root["a/b"] = "slashed".
swfw::Movie Nested() {
    swfw::Movie m;
    m.Version(8);
    swfw::Sprite c(1);
    c.ShowFrame();
    m.Define(c);
    swfw::Sprite b(2);
    b.Place(swfw::PlaceObject::New(1, 1).Name("c")).ShowFrame();
    m.Define(b);
    swfw::Sprite a(3);
    a.Place(swfw::PlaceObject::New(2, 1).Name("b")).ShowFrame();
    m.Define(a);
    m.Place(swfw::PlaceObject::New(3, 1).Name("a"));
    return m;
}

TEST(ClipPaths, VariablesFollowTheLastColonOrDotAndSlashPathsAloneNameClips) {
    struct Case {
        std::string name;
        std::string want;  // trace(get(name))
    };
    const Case cases[] = {
        {"a:v", "a's v"},
        {"a.b/.c", "_level0.a.b.c"},        // dots before the slash still separate
        {"/a.b", "_level0.a.b"},            // the last dot: "b" of "/a"
        {"/a.b.c", "undefined"},            // after a slash dots do not separate: no "a.b"
        {"a/b", "_level0.a.b"},             // a slash path alone names the clip
        {"a.b/c", "undefined"},             // ... but its first name is then "a.b"
        {"a/b:", "undefined"},              // nothing after the last colon
        {"a/b/c/..", "undefined"},          // the last dot leaves no variable
        {"a/b:..", "undefined"},
        {"a/b/...v", "a's v"},              // the last dot ends the path "a/b/.."
        {"a/...b:v", "undefined"},          // ".." followed by a dot leads nowhere
        {"a/b/c/..:..:v", "a's v"},
        {"a/b::", "undefined"},             // a name followed by colons only
        {"x/y", "slashed"},                 // no clip there: a plain variable's name
    };
    for (const Case& c : cases) {
        Asm a;
        a.GetVariable("a").Push("v", "a's v").Op(Op::kSetMember);
        a.GetVariable("_root").Push("x/y", "slashed").Op(Op::kSetMember);
        a.Push(c.name).Op(Op::kGetVariable).Trace();
        swfw::Movie m = Nested();
        m.Do(a).ShowFrame();
        EXPECT_EQ(swfw::PlayTraces(m), std::vector<std::string>{c.want}) << c.name;
    }
}

TEST(ClipPaths, AssignmentsSplitLikeReadsAndTellTargetCannotStartFromThis) {
    Asm a;
    a.Push("a/b/..:w", 1).Op(Op::kSetVariable);     // a.w
    a.Push("a/q", 2).Op(Op::kSetVariable);          // a plain variable named "a/q"
    a.Push("a/b/c/...z", 3).Op(Op::kSetVariable);   // b.z: the path is "a/b/c/.."
    a.GetVariable("a").Push("w").Op(Op::kGetMember).Trace();
    a.GetVariable("_root").Push("a/q").Op(Op::kGetMember).Trace();
    a.GetVariable("a").Push("b").Op(Op::kGetMember).Push("z").Op(Op::kGetMember).Trace();
    a.Push("this/a").Op(Op::kSetTarget2).Push("", 13).Op(Op::kGetProperty).Trace().SetTarget("");
    a.Push("this/a:b").Op(Op::kGetVariable).Trace();
    swfw::Movie m = Nested();
    m.Do(a).ShowFrame();
    const std::vector<std::string> want = {"1", "2", "3", "undefined", "_level0.a.b"};
    EXPECT_EQ(swfw::PlayTraces(m), want);
}

// `_root` seen from inside a clip is the nearest clip on the way up whose `_lockroot` is set
// (a value's truth decides it), else the level.
TEST(ClipPaths, TheRootIsTheNearestClipThatLocksIt) {
    struct Case {
        std::string locked;  // the clip whose _lockroot is set, or none
        swfw::PushItem value;
        std::string want;  // c._root, then b._lockroot
    };
    const Case cases[] = {
        {"", true, "_level0 false"},
        {"a", true, "_level0.a false"},
        {"b", true, "_level0.a.b true"},
        {"b", "false", "_level0.a.b true"},  // a non-empty string is true
        {"b", "", "_level0 false"},
        {"b", 0, "_level0 false"},
        {"b", swfw::Undefined{}, "_level0 false"},
    };
    for (const Case& c : cases) {
        Asm a;
        if (c.locked == "a") a.GetVariable("a").Push("_lockroot", c.value).Op(Op::kSetMember);
        if (c.locked == "b") a.GetVariable("a.b").Push("_lockroot", c.value).Op(Op::kSetMember);
        a.GetVariable("a.b.c").Push("_root").Op(Op::kGetMember).Push(" ").Op(Op::kAdd2);
        a.GetVariable("a.b").Push("_lockroot").Op(Op::kGetMember).Op(Op::kAdd2).Trace();
        swfw::Movie m = Nested();
        m.Do(a).ShowFrame();
        EXPECT_EQ(swfw::PlayTraces(m), std::vector<std::string>{c.want}) << c.locked;
    }
}

// A placement of a new object at a depth already taken fails with a warning; moving the object
// there is fine.
TEST(ClipPlacement, ANewObjectCannotTakeAnOccupiedDepth) {
    swfw::Movie m;
    m.Version(8);
    for (std::uint16_t id : {1, 2}) {
        swfw::Sprite clip(id);
        Asm own;
        own.PushTraceString("made " + std::to_string(id));
        clip.Do(own).ShowFrame();
        m.Define(clip);
    }
    m.Place(swfw::PlaceObject::New(1, 1).Name("first"));
    m.Place(swfw::PlaceObject::New(2, 1).Name("second"));
    Asm a;
    a.GetVariable("first").Op(Op::kTargetPath).Trace();
    m.Do(a).ShowFrame();
    const std::vector<std::string> want = {"Warning: Failed to place object at depth 1.", "made 1",
                                           "_level0.first"};
    EXPECT_EQ(swfw::PlayTraces(m), want);
}

// Exactly, a shape under a mask counts only where the mask covers the point as well.
TEST(ClipHitTest, TheShapeFlagHonoursMasks) {
    swfw::Movie m;
    m.Version(8);
    swfw::Shape mask(1);  // the left half: 10 x 20 px
    mask.Fill(mask.AddFill(swfw::FillStyle::Solid(swfw::Rgb(0, 0, 0)))).Rectangle(0, 0, 200, 400);
    m.Define(mask);
    swfw::Shape box(2);  // 20 x 20 px
    box.Fill(box.AddFill(swfw::FillStyle::Solid(swfw::Rgb(255, 0, 0)))).Rectangle(0, 0, 400, 400);
    m.Define(box);
    swfw::Sprite clip(3);
    clip.Place(swfw::PlaceObject::New(1, 1).ClipDepth(2)).Place(swfw::PlaceObject::New(2, 2))
        .ShowFrame();
    m.Define(clip);
    m.Place(swfw::PlaceObject::New(3, 1).Name("clip"));
    Asm a;
    for (double x : {5.0, 15.0}) {
        a.Push(true, 10, x, 3).GetVariable("clip").Push("hitTest").Op(Op::kCallMethod).Trace();
        a.Push(10, x, 2).GetVariable("clip").Push("hitTest").Op(Op::kCallMethod).Trace();
    }
    m.Do(a).ShowFrame();
    const std::vector<std::string> want = {"true", "true", "false", "true"};
    EXPECT_EQ(swfw::PlayTraces(m), want);
}
