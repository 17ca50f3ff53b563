// Clips as scripts hold and place them: depths over the whole range scripts may use, what
// removeMovieClip takes off the display, and references to a clip that left the display,
// which reach whatever clip is at its path now. Movies are built with the SWF writer and the
// bytecode assembler.
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
using Op = swfw::Op;

swfw::Movie Movie() {
    swfw::Movie m;
    m.Version(8);
    return m;
}

// _root.createEmptyMovieClip(name, depth)
Asm& Create(Asm& a, const std::string& name, double depth) {
    return a.Push(depth, name, 2).GetVariable("_root").Push("createEmptyMovieClip")
        .Op(Op::kCallMethod);
}

// object.method(arg)
Asm& CallOn(Asm& a, const std::string& object, const std::string& method,
            const swfw::PushItem& arg) {
    return a.Push(arg, 1).GetVariable(object).Push(method).Op(Op::kCallMethod);
}

Asm& TraceDepth(Asm& a, const std::string& clip) {
    return a.Push(0).GetVariable(clip).Push("getDepth").Op(Op::kCallMethod).Trace();
}

TEST(ScriptDepths, ClipsAreMadeAcrossTheWholeRangeAndNoFurther) {
    struct Case {
        double depth;
        std::string want;  // typeof what createEmptyMovieClip gave
    };
    const Case cases[] = {
        {2130690044, "movieclip"}, {2130690045, "undefined"}, {-16384, "movieclip"},
        {-16385, "undefined"},     {70000, "movieclip"},
    };
    for (const Case& c : cases) {
        Asm a;
        Create(a, "c", c.depth).Op(Op::kTypeOf).Trace();
        swfw::Movie m = Movie();
        m.Do(a).ShowFrame();
        EXPECT_EQ(swfw::PlayTraces(m), std::vector<std::string>{c.want}) << "depth " << c.depth;
    }
}

TEST(ScriptDepths, WideDepthsAreKeptAndCounted) {
    Asm a;
    Create(a, "top", 2130690044).Op(Op::kPop);
    TraceDepth(a, "top");
    a.Push(0).GetVariable("_root").Push("getNextHighestDepth").Op(Op::kCallMethod).Trace();
    a.Push(2130690044, 1).GetVariable("_root").Push("getInstanceAtDepth").Op(Op::kCallMethod)
        .Trace();
    // The action form counts 16384 higher: 2130706428 is the same top depth.
    a.GetVariable("top").Push("twin", 2130706428).Op(Op::kCloneSprite);
    a.GetVariable("top").Push("none", 2130706429).Op(Op::kCloneSprite);
    a.GetVariable("twin").Trace();
    a.GetVariable("none").Op(Op::kTypeOf).Trace();
    swfw::Movie m = Movie();
    m.Do(a).ShowFrame();
    const std::vector<std::string> want = {"2130690044", "2130690045", "_level0.top",
                                           "_level0.twin", "undefined"};
    EXPECT_EQ(swfw::PlayTraces(m), want);
}

TEST(ScriptDepths, SwapDepthsTakesInt32DepthsInRangeClipsAndPaths) {
    struct Case {
        swfw::PushItem argument;
        std::string want;  // a's depth after a.swapDepths(argument), from 7
    };
    const Case cases[] = {
        {4294967297.1, "1"},   // wraps as a 32-bit integer
        {2130690044, "2130690044"},
        {2130690045, "7"},     // out of range: stays
        {-16385, "7"},
        {-1.5, "-1"},
        {std::string("../b"), "9"},  // a path to a sibling: they trade places
        {swfw::Undefined{}, "7"},
        {std::string("x"), "0"},  // neither a clip nor a number: NaN, depth 0
    };
    for (const Case& c : cases) {
        Asm a;
        Create(a, "a", 7).Op(Op::kPop);
        Create(a, "b", 9).Op(Op::kPop);
        CallOn(a, "a", "swapDepths", c.argument).Op(Op::kPop);
        TraceDepth(a, "a");
        swfw::Movie m = Movie();
        m.Do(a).ShowFrame();
        EXPECT_EQ(swfw::PlayTraces(m), std::vector<std::string>{c.want}) << c.want;
    }
}

// A timeline clip a script swapped (even back to its own depth) no longer moves with the
// timeline's placements.
TEST(ScriptDepths, SwappedClipsLeaveTheTimelinesPlacements) {
    swfw::Movie m = Movie();
    swfw::Sprite empty(1);
    empty.ShowFrame();
    m.Define(empty);
    Asm swap;
    CallOn(swap, "a", "swapDepths", -16382).Op(Op::kPop);
    CallOn(swap, "a", "swapDepths", -16383).Op(Op::kPop);
    m.Place(swfw::PlaceObject::New(1, 1).At(300, 0).Name("a")).Do(swap).ShowFrame();
    Asm read;
    read.GetVariable("a").Push("_x").Op(Op::kGetMember).Trace();
    m.Place(swfw::PlaceObject::Move(1).At(2000, 0)).Do(read).ShowFrame();
    EXPECT_EQ(swfw::PlayTraces(m, 2), std::vector<std::string>{"15"});
}

TEST(ScriptDepths, RemovalStopsBelowTheTopDepths) {
    Asm a;
    Create(a, "low", 2130690031).Op(Op::kPop);
    Create(a, "high", 2130690032).Op(Op::kPop);
    a.Push(0).GetVariable("low").Push("removeMovieClip").Op(Op::kCallMethod).Op(Op::kPop);
    a.GetVariable("high").Op(Op::kRemoveSprite);
    a.Push("_root").GetVariable("_root").Push("low").Op(Op::kGetMember).Op(Op::kTypeOf).Trace();
    a.GetVariable("_root").Push("high").Op(Op::kGetMember).Trace();
    swfw::Movie m = Movie();
    m.Do(a).ShowFrame();
    EXPECT_EQ(swfw::PlayTraces(m), (std::vector<std::string>{"undefined", "_level0.high"}));
}

TEST(ScriptDepths, TextFieldsTradePlacesAndAreRemovedLikeClips) {
    Asm a;
    Create(a, "clip", 3).Op(Op::kPop);
    a.Push(20, 100, 0, 0, -16000, "field", 6).GetVariable("_root").Push("createTextField")
        .Op(Op::kCallMethod).Op(Op::kPop);
    // A field below 0 cannot be removed; once swapped up to 3 it can.
    a.GetVariable("field").Op(Op::kRemoveSprite);
    a.GetVariable("field").Op(Op::kTypeOf).Trace();
    a.GetVariable("field").Push(1).GetVariable("clip").Push("swapDepths").Op(Op::kCallMethod)
        .Op(Op::kPop);
    a.Push(0).GetVariable("field").Push("getDepth").Op(Op::kCallMethod).Trace();
    TraceDepth(a, "clip");
    a.GetVariable("field").Push(1).GetVariable("MovieClip").Push("prototype")
        .Op(Op::kGetMember).Push("removeMovieClip").Op(Op::kGetMember).Push("apply")
        .Op(Op::kCallMethod).Op(Op::kPop);
    a.GetVariable("field").Op(Op::kTypeOf).Trace();
    swfw::Movie m = Movie();
    m.Do(a).ShowFrame();
    const std::vector<std::string> want = {"object", "3", "-16000", "undefined"};
    EXPECT_EQ(swfw::PlayTraces(m), want);
}

// getBounds of an empty clip gives the far corner: as stored (.35) in the clip's own space and
// in a version 7 movie's calls, rounded up (.4) into another clip's space once a version 8
// movie has asked for bounds.
TEST(ScriptDepths, EmptyBoundsFarCornerRoundsByTheAskingMoviesVersion) {
    struct Case {
        int version;
        std::vector<std::string> want;  // into the root's space, then into its own
    };
    const Case cases[] = {
        {7, {"6710886.35", "6710886.35"}},
        {8, {"6710886.4", "6710886.35"}},
    };
    for (const Case& c : cases) {
        Asm a;
        Create(a, "e", 1).Op(Op::kPop);
        for (const char* space : {"_root", "e"}) {
            a.GetVariable(space).Push(1).GetVariable("e").Push("getBounds").Op(Op::kCallMethod)
                .Push("xMin").Op(Op::kGetMember).Trace();
        }
        swfw::Movie m;
        m.Version(c.version);
        m.Do(a).ShowFrame();
        EXPECT_EQ(swfw::PlayTraces(m), c.want) << "version " << c.version;
    }
}

// A script's reference to a removed clip: still a movie clip to typeof, empty while nothing
// is at its path, then the new clip at that path in every respect.
TEST(ClipReferences, AReferenceToARemovedClipReachesTheClipNowAtItsPath) {
    Asm a;
    a.SetVariable("ref", [](Asm& v) { Create(v, "a", 1); });
    a.GetVariable("ref").Push("mark", "old").Op(Op::kSetMember);
    a.Push(0).GetVariable("ref").Push("removeMovieClip").Op(Op::kCallMethod).Op(Op::kPop);
    a.GetVariable("ref").Op(Op::kTypeOf).Trace();
    a.GetVariable("ref").Push("_x").Op(Op::kGetMember).Trace();
    a.SetVariable("fresh", [](Asm& v) { Create(v, "a", 2); });
    a.GetVariable("fresh").Push("_x", 25).Op(Op::kSetMember);
    a.GetVariable("fresh").Push("mark", "new").Op(Op::kSetMember);
    a.GetVariable("ref").Push("_x").Op(Op::kGetMember).Trace();
    a.GetVariable("ref").Push("mark").Op(Op::kGetMember).Trace();
    TraceDepth(a, "ref");
    // Writes through the old reference land on the new clip.
    a.GetVariable("ref").Push("_y", 40).Op(Op::kSetMember);
    a.GetVariable("fresh").Push("_y").Op(Op::kGetMember).Trace();
    a.GetVariable("ref").Trace();
    swfw::Movie m = Movie();
    m.Do(a).ShowFrame();
    const std::vector<std::string> want = {"movieclip", "undefined", "25", "new",
                                           "2",         "40",        "_level0.a"};
    EXPECT_EQ(swfw::PlayTraces(m), want);
}

// A clip the timeline removes and places again under the same name: a function defined on
// the first keeps finding its timeline's parent through the second.
TEST(ClipReferences, TimelineReplacementsAreFoundByName) {
    swfw::Movie m = Movie();
    swfw::Sprite inner(1);
    inner.ShowFrame();
    m.Define(inner);
    Asm first;
    first.SetVariable("held", [](Asm& v) { v.GetVariable("one"); });
    first.GetVariable("held").Push("v", 1).Op(Op::kSetMember);
    m.Place(swfw::PlaceObject::New(1, 1).Name("one")).Do(first).ShowFrame();
    Asm second;
    second.GetVariable("held").Op(Op::kTypeOf).Trace();
    second.GetVariable("held").Push("v").Op(Op::kGetMember).Trace();
    m.Remove(1).Place(swfw::PlaceObject::New(1, 2).Name("other")).Do(second).ShowFrame();
    Asm third;
    third.GetVariable("held").Push("v").Op(Op::kGetMember).Op(Op::kTypeOf).Trace();
    third.GetVariable("held").Trace();
    m.Place(swfw::PlaceObject::New(1, 3).Name("one")).Do(third).ShowFrame();
    const std::vector<std::string> want = {"movieclip", "undefined", "undefined", "_level0.one"};
    EXPECT_EQ(swfw::PlayTraces(m, 3), want);
}

// onUnload runs for removeMovieClip; a clip replaced before its first frame ran never runs it.
TEST(ClipReferences, RemovedAndReplacedClipsRunNoMoreFrames) {
    swfw::Movie m = Movie();
    swfw::Sprite clip(1);
    Asm own;
    own.Push("frame of ").GetVariable("_name").Op(Op::kAdd2).Trace();
    clip.Do(own).ShowFrame();
    m.Define(clip);
    m.Export(1, "Clip");
    Asm a;
    a.Push(0, "first", "cLiP", 3).GetVariable("_root").Push("attachMovie").Op(Op::kCallMethod)
        .Op(Op::kPop);
    a.Push(0, "second", "Clip", 3).GetVariable("_root").Push("attachMovie").Op(Op::kCallMethod)
        .Op(Op::kPop);
    a.Push(1, "third", "Clip", 3).GetVariable("_root").Push("attachMovie").Op(Op::kCallMethod)
        .Op(Op::kPop);
    a.GetVariable("third").Push("onUnload").DefineFunction("", {}, [](Asm& f) {
        f.PushTraceString("unload third");
    });
    a.Op(Op::kSetMember);
    a.Push(0).GetVariable("third").Push("removeMovieClip").Op(Op::kCallMethod).Op(Op::kPop);
    m.Do(a).ShowFrame();
    const std::vector<std::string> want = {"frame of second", "unload third"};
    EXPECT_EQ(swfw::PlayTraces(m), want);
}

// The timeline removes a clip no script has seen whose child has an onUnload handler: the
// handler runs after the removal and still finds the parent through _parent.
TEST(ClipReferences, UnloadHandlersReachTheParentsOfRemovedClips) {
    swfw::Movie m = Movie();
    swfw::Sprite inner(1);
    Asm own;
    own.GetVariable("this").Push("onUnload").DefineFunction("", {}, [](Asm& f) {
        f.Push("unload in ").GetVariable("this").Push("_parent").Op(Op::kGetMember)
            .Op(Op::kAdd2).Trace();
    });
    own.Op(Op::kSetMember);
    inner.Do(own).ShowFrame();
    m.Define(inner);
    swfw::Sprite outer(2);
    outer.Place(swfw::PlaceObject::New(1, 1).Name("inner")).ShowFrame();
    m.Define(outer);
    m.Place(swfw::PlaceObject::New(2, 1).Name("outer")).ShowFrame();
    m.Remove(1).ShowFrame();
    EXPECT_EQ(swfw::PlayTraces(m, 2), std::vector<std::string>{"unload in _level0.outer"});
}

// The root's onLoad, set by its first frame, runs once after that frame's actions.
TEST(ClipReferences, TheRootsOnLoadRunsAfterItsFirstFrame) {
    Asm a;
    a.GetVariable("_root").Push("onLoad").DefineFunction("", {}, [](Asm& f) {
        f.PushTraceString("root loaded");
    });
    a.Op(Op::kSetMember);
    a.PushTraceString("first frame");
    swfw::Movie m = Movie();
    m.Do(a).ShowFrame().ShowFrame();
    const std::vector<std::string> want = {"first frame", "root loaded"};
    EXPECT_EQ(swfw::PlayTraces(m, 2), want);
}

}  // namespace
