// The timeline: display list commands, nested clips by the tick rule, the action subset, and
// goto replaying the same state as stepping.
#include "player/timeline.h"

#include <gtest/gtest.h>

#include <memory>

#include "player/limits.h"
#include "player/player.h"
#include "player/reader.h"
#include "tests/support/avm1_asm.h"
#include "tests/support/swf_writer.h"

namespace player {
namespace {

swfw::Shape Box(std::uint16_t id, swfw::Color color) {
    swfw::Shape s(id);
    s.Fill(s.AddFill(swfw::FillStyle::Solid(color))).Rectangle(0, 0, 200, 200);
    return s;
}

std::shared_ptr<const Movie> Read(const swfw::Movie& m, const Limits& limits = {}) {
    std::string error;
    auto movie = ReadMovie(m.Bytes(), &error, limits);
    EXPECT_TRUE(movie) << error;
    return movie;
}

const DisplayObject* At(const SpriteInstance& s, std::uint16_t depth) {
    auto it = s.displayList.find(depth);
    return it == s.displayList.end() ? nullptr : &it->second;
}

TEST(Timeline, PlaceMoveReplaceRemove) {
    swfw::Movie m;
    m.Define(Box(1, swfw::Rgb(255, 0, 0))).Define(Box(2, swfw::Rgb(0, 255, 0)));
    m.Place(swfw::PlaceObject::New(1, 1).At(100, 100).Name("a")).ShowFrame();
    m.Place(swfw::PlaceObject::Move(1).At(300, 100)).ShowFrame();
    m.Place(swfw::PlaceObject::Replace(2, 1)).ShowFrame();
    m.Remove(1).ShowFrame();
    MovieState state(Read(m));

    ASSERT_TRUE(At(state.Root(), 1));
    EXPECT_EQ(At(state.Root(), 1)->matrix.translateX, 100);
    EXPECT_EQ(At(state.Root(), 1)->name, "a");
    state.Tick(false, false);
    EXPECT_EQ(At(state.Root(), 1)->matrix.translateX, 300);
    EXPECT_EQ(At(state.Root(), 1)->characterId, 1);
    state.Tick(false, false);
    EXPECT_EQ(At(state.Root(), 1)->characterId, 2);
    EXPECT_EQ(At(state.Root(), 1)->matrix.translateX, 300);  // kept across the replace
    EXPECT_EQ(At(state.Root(), 1)->name, "a");
    state.Tick(false, false);
    EXPECT_FALSE(At(state.Root(), 1));
    EXPECT_EQ(state.CurrentFrame(), 3);
    state.Tick(false, false);  // at the end without looping: stays and stops
    EXPECT_EQ(state.CurrentFrame(), 3);
    EXPECT_FALSE(state.RootPlaying());
}

// A sprite of `frames` frames moving a box one step per frame: its x tells its frame.
swfw::Sprite Counter(std::uint16_t id, std::uint16_t boxId, int frames) {
    swfw::Sprite s(id);
    s.Place(swfw::PlaceObject::New(boxId, 1).At(0, 0)).ShowFrame();
    for (int f = 1; f < frames; ++f) s.Place(swfw::PlaceObject::Move(1).At(f * 20, 0)).ShowFrame();
    return s;
}

int ClipFrame(const SpriteInstance& root, std::uint16_t depth) {
    const DisplayObject* o = At(root, depth);
    return o && o->sprite ? o->sprite->frame : -1;
}

TEST(Timeline, NestedClipsAdvanceOnTheirOwnAndLoop) {
    swfw::Movie m;
    m.Define(Box(1, swfw::Rgb(0, 0, 255))).Define(Counter(2, 1, 3));
    m.Place(swfw::PlaceObject::New(2, 1)).ShowFrame();  // a one-frame root
    MovieState state(Read(m));
    EXPECT_EQ(ClipFrame(state.Root(), 1), 0);
    for (int tick = 1; tick <= 4; ++tick) {
        state.Tick(false, true);
        EXPECT_EQ(ClipFrame(state.Root(), 1), tick % 3) << tick;
    }
    EXPECT_EQ(state.CurrentFrame(), 0);
}

TEST(Timeline, ClipPlacedThisTickStartsAtItsFirstFrame) {
    swfw::Movie m;
    m.Define(Box(1, swfw::Rgb(0, 0, 255))).Define(Counter(2, 1, 5));
    m.ShowFrame();
    m.Place(swfw::PlaceObject::New(2, 1)).ShowFrame();
    m.ShowFrame();
    MovieState state(Read(m));
    state.Tick(false, false);
    EXPECT_EQ(ClipFrame(state.Root(), 1), 0);
    state.Tick(false, false);
    EXPECT_EQ(ClipFrame(state.Root(), 1), 1);
}

TEST(Timeline, ActionsStopPlayAndGoto) {
    swfw::Movie m;
    m.ShowFrame();                                          // 0
    m.Do(swfw::Actions().Stop()).ShowFrame();               // 1: stops
    m.Label("there").ShowFrame();                           // 2
    m.Do(swfw::Actions().GotoLabel("there")).ShowFrame();   // 3
    m.Do(swfw::Actions().GotoFrame(1).Play()).ShowFrame();  // 4
    MovieState state(Read(m));
    state.Tick(false, true);
    EXPECT_EQ(state.CurrentFrame(), 1);
    EXPECT_FALSE(state.RootPlaying());
    state.Tick(false, true);  // stopped: stays
    EXPECT_EQ(state.CurrentFrame(), 1);
    state.Tick(true, false);  // forced on
    EXPECT_EQ(state.CurrentFrame(), 2);
    state.Tick(true, false);  // frame 3 jumps back to "there"
    EXPECT_EQ(state.CurrentFrame(), 2);
}

// A preloader: `if (loaded) gotoAndPlay(3); else gotoAndPlay(1);` takes one branch only.
TEST(Timeline, BranchesDecideWhichGotoRuns) {
    for (const bool loaded : {false, true}) {
        swfw::Asm code;
        code.SetVariable("loaded", loaded)
            .GetVariable("loaded")
            .If("yes")
            .GotoFrame(0)
            .Op(swfw::Op::kPlay)
            .Jump("end")
            .Label("yes")
            .GotoFrame(2)
            .Op(swfw::Op::kPlay)
            .Label("end");
        swfw::Movie m;
        m.Do(code).ShowFrame();
        m.ShowFrame();
        m.ShowFrame();
        m.ShowFrame();
        MovieState state(Read(m));
        EXPECT_EQ(state.CurrentFrame(), loaded ? 2 : 0) << "loaded " << loaded;
        EXPECT_TRUE(state.RootPlaying());
    }
}

TEST(Timeline, NextAndPreviousFrameStop) {
    swfw::Movie m;
    m.Do(swfw::Actions().NextFrame()).ShowFrame();
    m.ShowFrame();
    m.Do(swfw::Actions().PrevFrame()).ShowFrame();
    MovieState state(Read(m));
    EXPECT_EQ(state.CurrentFrame(), 1);
    EXPECT_FALSE(state.RootPlaying());
}

TEST(Timeline, ActionsThatJumpForeverEndWithinATick) {
    swfw::Movie m;
    m.ShowFrame();
    m.Do(swfw::Actions().GotoFrame(2)).ShowFrame();
    m.Do(swfw::Actions().GotoFrame(1)).ShowFrame();
    MovieState state(Read(m));
    state.Tick(false, false);  // returns: the action budget ends the ping-pong
    EXPECT_GE(state.CurrentFrame(), 1);
}

TEST(Timeline, ClipActionsHoldTheClip) {
    swfw::Sprite clip(2);
    clip.Place(swfw::PlaceObject::New(1, 1)).ShowFrame();
    clip.Do(swfw::Actions().Stop()).ShowFrame();
    clip.ShowFrame();
    swfw::Movie m;
    m.Define(Box(1, swfw::Rgb(1, 1, 1)))
        .Define(clip)
        .Place(swfw::PlaceObject::New(2, 1))
        .ShowFrame();
    MovieState state(Read(m));
    for (int i = 0; i < 5; ++i) state.Tick(false, true);
    EXPECT_EQ(ClipFrame(state.Root(), 1), 1);
}

TEST(Timeline, LoopingRootKeepsAPersistentClipRunning) {
    swfw::Movie m;
    m.Define(Box(1, swfw::Rgb(1, 1, 1))).Define(Counter(2, 1, 10));
    m.Place(swfw::PlaceObject::New(2, 1)).ShowFrame();
    m.ShowFrame();
    MovieState state(Read(m));
    for (int i = 0; i < 3; ++i) state.Tick(false, true);  // root 0 -> 1 -> 0 -> 1
    EXPECT_EQ(state.CurrentFrame(), 1);
    EXPECT_EQ(ClipFrame(state.Root(), 1), 3);
}

TEST(Timeline, SelfPlacingSpritesStopAtTheNestingCap) {
    swfw::Sprite a(2), b(3);
    a.Place(swfw::PlaceObject::New(1, 1)).Place(swfw::PlaceObject::New(3, 2)).ShowFrame();
    b.Place(swfw::PlaceObject::New(2, 1)).Place(swfw::PlaceObject::New(2, 2)).ShowFrame();
    swfw::Movie m;
    m.Define(Box(1, swfw::Rgb(1, 1, 1))).Define(a).Define(b);
    m.Place(swfw::PlaceObject::New(2, 1)).ShowFrame();
    auto movie = Read(m);
    MovieState state(movie);
    EXPECT_LE(state.LiveObjects(), Limits{}.maxDisplayObjects);
    state.Tick(false, true);
    EXPECT_LE(state.LiveObjects(), Limits{}.maxDisplayObjects);
    int depth = 0;
    for (const SpriteInstance* s = &state.Root(); s && At(*s, 1); s = At(*s, 1)->sprite.get())
        ++depth;
    EXPECT_LE(depth, Limits{}.maxNestingDepth + 1);
}

// Found by fuzzing: every jump back rebuilds the root's tree of self-placing clips (capped
// at kMaxDisplayObjects), and hundreds of such jumps in one tick took minutes.
TEST(Timeline, JumpsBackOverAHugeTreeEndWithinATick) {
    swfw::Sprite a(2), b(3);
    a.Place(swfw::PlaceObject::New(1, 1)).Place(swfw::PlaceObject::New(3, 2)).ShowFrame();
    b.Place(swfw::PlaceObject::New(2, 1)).Place(swfw::PlaceObject::New(2, 2)).ShowFrame();
    swfw::Movie m;
    m.Define(Box(1, swfw::Rgb(1, 1, 1))).Define(a).Define(b);
    m.Place(swfw::PlaceObject::New(2, 1)).ShowFrame();
    swfw::Actions pingPong;
    for (int i = 0; i < 500; ++i) pingPong.GotoFrame(0).GotoFrame(1);
    m.Do(pingPong).ShowFrame();
    MovieState state(Read(m));
    state.Tick(false, false);  // returns within the tick's work cap
    EXPECT_LE(state.LiveObjects(), Limits{}.maxDisplayObjects);
}

// The work cap is per tick: a tick cut short leaves the rest of its frame undone, and the next
// tick starts with the whole budget again.
TEST(Timeline, WorkCapCutsOneTickOnly) {
    swfw::Movie m;
    m.Define(Box(1, swfw::Rgb(1, 1, 1)));
    for (std::uint16_t depth = 1; depth <= 4; ++depth) m.Place(swfw::PlaceObject::New(1, depth));
    m.ShowFrame();
    m.Place(swfw::PlaceObject::New(1, 5)).ShowFrame();
    Limits limits;
    limits.maxTimelineWorkPerTick = 3;  // the frame, then two of its four commands
    MovieState state(Read(m, limits));
    EXPECT_TRUE(At(state.Root(), 2));
    EXPECT_FALSE(At(state.Root(), 3));
    state.Tick(false, false);
    EXPECT_EQ(state.CurrentFrame(), 1);
    EXPECT_TRUE(At(state.Root(), 5));
}

// The player's goto: the next frame is one tick, any other frame replays from the start.
class GotoReplay : public ::testing::TestWithParam<int> {};

TEST_P(GotoReplay, EqualsSteppingFromTheStart) {
    swfw::Movie m;
    m.Define(Box(1, swfw::Rgb(1, 1, 1))).Define(Counter(2, 1, 7));
    m.Place(swfw::PlaceObject::New(2, 1)).ShowFrame();
    for (int f = 1; f < 12; ++f) m.Place(swfw::PlaceObject::Move(1).At(f * 40, 0)).ShowFrame();
    const auto bytes = m.Bytes();
    std::string error;
    auto stepped = Player::Load(bytes, &error);
    auto jumped = Player::Load(bytes, &error);
    ASSERT_TRUE(stepped && jumped);
    const int target = GetParam();
    for (int f = 1; f <= target; ++f) stepped->GotoFrame(f);
    jumped->GotoFrame(9);
    jumped->GotoFrame(target);
    EXPECT_EQ(jumped->CurrentFrame(), target);

    std::vector<std::uint8_t> a(64 * 48 * 4), b(64 * 48 * 4);
    stepped->Render({a.data(), 64, 48, 64 * 4});
    jumped->Render({b.data(), 64, 48, 64 * 4});
    EXPECT_EQ(a, b);
}

INSTANTIATE_TEST_SUITE_P(Frames, GotoReplay, ::testing::Values(0, 1, 5, 11));

// A preloader-style loop: frame 2 sends the root back to frame 0 and plays on.
TEST(Timeline, HostGotoLandsOnTheFrameAskedForWhilePlaybackFollowsTheJump) {
    swfw::Movie m;
    m.ShowFrame();
    m.ShowFrame();
    m.Do(swfw::Actions().GotoFrame(0).Play()).ShowFrame();
    m.ShowFrame();
    std::string error;
    auto p = Player::Load(m.Bytes(), &error);
    ASSERT_TRUE(p) << error;
    for (int f = 1; f < 4; ++f) {
        p->GotoFrame(f);
        EXPECT_EQ(p->CurrentFrame(), f);
    }
    p->GotoFrame(2);
    EXPECT_EQ(p->CurrentFrame(), 2);
    p->Rewind();
    p->Tick(false, true);
    p->Tick(false, true);
    EXPECT_EQ(p->CurrentFrame(), 0);
}

TEST(Player, GotoClampsAndPlayTicksLoops) {
    swfw::Movie m;
    m.ShowFrame().ShowFrame().ShowFrame();
    std::string error;
    auto p = Player::Load(m.Bytes(), &error);
    ASSERT_TRUE(p);
    p->GotoFrame(-4);
    EXPECT_EQ(p->CurrentFrame(), 0);
    p->GotoFrame(99);
    EXPECT_EQ(p->CurrentFrame(), 2);
    p->PlayTicksFromStart(4);  // 0 1 2 0 1
    EXPECT_EQ(p->CurrentFrame(), 1);
}

}  // namespace
}  // namespace player
