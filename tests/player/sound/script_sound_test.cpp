// Scripts' Sound objects heard through the mixer: the samples start where the script started
// the sound, stop where it stopped them, and follow the volume, pan and transform it set;
// onSoundComplete runs on the movie's clock.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "player/player.h"
#include "tests/support/avm1_asm.h"
#include "tests/support/swf_writer.h"

namespace {

using swfw::Asm;
using swfw::Op;

constexpr std::size_t kTick = 4410;  // frames per tick at 10 fps

// A sound of ten ticks at a quarter of full level on both channels, exported as "ding".
swfw::Movie MovieWithDing() {
    swfw::Movie movie;
    movie.frameRate = 10 << 8;
    swfw::Sound s;
    s.id = 1;
    s.format = {swfw::SoundCodec::PcmLittle, 3, true, false};
    s.sampleCount = 10 * kTick;
    s.data = swfw::PcmBytes(std::vector<std::int16_t>(10 * kTick, 8192));
    movie.Define(s).Export(1, "ding");
    return movie;
}

// s.method(args...) with the arguments pushed by `pushArgs`, the result dropped.
Asm& Call(Asm& a, const std::string& method, int argCount,
          const std::function<void(Asm&)>& pushArgs = [](Asm&) {}) {
    pushArgs(a);
    return a.CallMethod(method, argCount, [](Asm& o) { o.GetVariable("s"); }).Op(Op::kPop);
}

// s = new Sound(); s.attachSound("ding"); s.start();
Asm StartDing() {
    Asm a;
    a.SetVariable("s", [](Asm& v) { v.Push(0, "Sound").Op(Op::kNewObject); });
    Call(a, "attachSound", 1, [](Asm& v) { v.Push("ding"); });
    Call(a, "start", 0);
    return a;
}

std::vector<float> Play(const swfw::Movie& movie, int ticks,
                        std::vector<std::string>* traced = nullptr) {
    std::string error;
    auto p = player::Player::Load(movie.Bytes(), &error);
    EXPECT_TRUE(p) << error;
    if (!p) return {};
    player::ScriptSettings settings;
    if (traced) settings.trace = [traced](std::string_view line) { traced->emplace_back(line); };
    p->SetScripting(settings);
    for (int i = 1; i < ticks; ++i) p->Tick(false, false);
    return p->MixAudio(0, ticks);
}

float Left(const std::vector<float>& mix, int tick) { return mix[(tick * kTick + 7) * 2]; }
float Right(const std::vector<float>& mix, int tick) { return mix[(tick * kTick + 7) * 2 + 1]; }

TEST(ScriptSoundTest, StartsWhereTheScriptStartedAndStopsWhereItStopped) {
    auto movie = MovieWithDing();
    movie.ShowFrame();
    movie.Do(StartDing()).ShowFrame().ShowFrame();
    Asm stop;
    Call(stop, "stop", 0);
    movie.Do(stop).ShowFrame().ShowFrame();
    const auto mix = Play(movie, 5);
    ASSERT_EQ(mix.size(), 5 * kTick * 2);
    const float expected[5] = {0, 0.25f, 0.25f, 0, 0};
    for (int tick = 0; tick < 5; ++tick) {
        SCOPED_TRACE(tick);
        EXPECT_FLOAT_EQ(Left(mix, tick), expected[tick]);
        EXPECT_FLOAT_EQ(Right(mix, tick), expected[tick]);
    }
}

TEST(ScriptSoundTest, LevelsSetByScriptsApplyFromTheirFrameToPlayingSounds) {
    struct Case {
        const char* what;
        std::function<void(Asm&)> change;
        float left, right;
    };
    const std::vector<Case> cases = {
        {"half volume", [](Asm& a) { Call(a, "setVolume", 1, [](Asm& v) { v.Push(50); }); },
         0.125f, 0.125f},
        {"panned left", [](Asm& a) { Call(a, "setPan", 1, [](Asm& v) { v.Push(-100); }); },
         0.25f, 0},
        {"panned half right", [](Asm& a) { Call(a, "setPan", 1, [](Asm& v) { v.Push(50); }); },
         0.125f, 0.25f},
        {"both inputs to the left",
         [](Asm& a) {
             Call(a, "setTransform", 1, [](Asm& v) {
                 v.Push("ll", 100, "lr", 100, "rr", 0, "rl", 0, 4).Op(Op::kInitObject);
             });
         },
         0.5f, 0},
        {"muted", [](Asm& a) { Call(a, "setVolume", 1, [](Asm& v) { v.Push(0); }); }, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto movie = MovieWithDing();
        movie.Do(StartDing()).ShowFrame();
        Asm change;
        c.change(change);
        movie.Do(change).ShowFrame().ShowFrame();
        const auto mix = Play(movie, 3);
        ASSERT_EQ(mix.size(), 3 * kTick * 2);
        EXPECT_FLOAT_EQ(Left(mix, 0), 0.25f);
        EXPECT_FLOAT_EQ(Right(mix, 0), 0.25f);
        for (int tick : {1, 2}) {
            EXPECT_FLOAT_EQ(Left(mix, tick), c.left);
            EXPECT_FLOAT_EQ(Right(mix, tick), c.right);
        }
    }
}

TEST(ScriptSoundTest, AClipsLevelsLeaveTheMoviesOwnSoundsAlone) {
    // mc = createEmptyMovieClip("mc", 1); quiet = new Sound(mc); quiet.setVolume(0);
    // quiet.attachSound("ding"); quiet.start(); then the movie's own Sound starts "ding": one
    // is heard, the clip's is not.
    auto movie = MovieWithDing();
    Asm script;
    script.Push(1, "mc").CallFunction("createEmptyMovieClip", 2).Op(Op::kPop);
    script.SetVariable("quiet", [](Asm& v) {
        v.GetVariable("mc").Push(1, "Sound").Op(Op::kNewObject);
    });
    const auto quiet = [](Asm& o) { o.GetVariable("quiet"); };
    script.Push(0).CallMethod("setVolume", 1, quiet).Op(Op::kPop);
    script.Push("ding").CallMethod("attachSound", 1, quiet).Op(Op::kPop);
    script.CallMethod("start", 0, quiet).Op(Op::kPop);
    movie.Do(script).Do(StartDing()).ShowFrame().ShowFrame();
    const auto mix = Play(movie, 2);
    ASSERT_EQ(mix.size(), 2 * kTick * 2);
    EXPECT_FLOAT_EQ(Left(mix, 1), 0.25f);
}

TEST(ScriptSoundTest, OnSoundCompleteRunsOnTheMoviesClockWhenTheLastLoopEnds) {
    // s.start(0.5, 2) of a one-second sound: 1.5 s of movie time, fifteen ticks.
    auto movie = MovieWithDing();
    Asm a;
    a.SetVariable("s", [](Asm& v) { v.Push(0, "Sound").Op(Op::kNewObject); });
    Call(a, "attachSound", 1, [](Asm& v) { v.Push("ding"); });
    a.GetVariable("s").Push("onSoundComplete");
    a.DefineFunction("", {}, [](Asm& body) { body.Op(Op::kGetTime).Trace(); });
    a.Op(Op::kSetMember);
    Call(a, "start", 2, [](Asm& v) { v.Push(2, 0.5); });
    movie.Do(a);
    for (int f = 0; f < 20; ++f) movie.ShowFrame();
    std::vector<std::string> traced;
    const auto mix = Play(movie, 20, &traced);
    EXPECT_EQ(traced, std::vector<std::string>{"1500"});
    EXPECT_FLOAT_EQ(Left(mix, 14), 0.25f);
    EXPECT_FLOAT_EQ(Left(mix, 15), 0);
}

}  // namespace
