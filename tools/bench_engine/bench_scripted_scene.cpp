// Benchmarks a scene a script animates, as most authored movies of one frame are: 200 balls
// attached from the library, each moved and turned by its own onEnterFrame handler, and a
// filled curve sketch cleared and redrawn with the drawing API every frame. Each iteration is
// one tick (the scripts run) and one frame drawn at 550 x 400; items_per_second is frames per
// second.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "player/player.h"
#include "tests/support/avm1_asm.h"
#include "tests/support/swf_writer.h"

namespace {

using swfw::Asm;
using Op = swfw::Op;

constexpr int kBalls = 200;
constexpr int kSketchPoints = 24;

// this.<member> = this.<member> + <push delta>, wrapped into [0, size).
void StepMember(Asm& a, const std::string& member, const std::string& speed, int size) {
    a.GetVariable("this").Push(member);
    a.GetVariable("this").Push(member).Op(Op::kGetMember);
    a.GetVariable("this").Push(speed).Op(Op::kGetMember).Op(Op::kAdd2);
    a.Push(size).Op(Op::kAdd2).Push(size).Op(Op::kModulo);
    a.Op(Op::kSetMember);
}

// The handler every ball runs: moves by (vx, vy) across the stage and turns.
void DefineMover(Asm& a) {
    a.DefineFunction("mover", {}, [](Asm& body) {
        StepMember(body, "_x", "vx", 550);
        StepMember(body, "_y", "vy", 400);
        body.GetVariable("this").Push("_rotation");
        body.GetVariable("this").Push("_rotation").Op(Op::kGetMember).Push(7).Op(Op::kAdd2);
        body.Op(Op::kSetMember);
    });
}

// Pushes Math.<fn>(<push argument>).
void MathCall(Asm& a, const std::string& fn, const swfw::Block& argument) {
    argument(a);
    a.CallMethod(fn, 1, [](Asm& o) { o.GetVariable("Math"); });
}

// sketch.<method>(arguments pushed by `args`, the last first), result dropped.
void SketchCall(Asm& a, const std::string& method, int argCount, const swfw::Block& args) {
    args(a);
    a.CallMethod(method, argCount, [](Asm& o) { o.GetVariable("sketch"); }).Op(Op::kPop);
}

// A closed, filled star of curves whose points breathe with the tick counter t.
void DefineRedraw(Asm& a) {
    a.DefineFunction("redraw", {}, [](Asm& body) {
        body.SetVariable("t", [](Asm& v) { v.GetVariable("t").Op(Op::kIncrement); });
        SketchCall(body, "clear", 0, [](Asm&) {});
        SketchCall(body, "lineStyle", 3, [](Asm& v) { v.Push(100, 0x3366cc, 3); });
        SketchCall(body, "beginFill", 2, [](Asm& v) { v.Push(60, 0xffcc00); });
        SketchCall(body, "moveTo", 2, [](Asm& v) { v.Push(200, 425); });
        body.SetVariable("k", swfw::PushItem(1));
        body.Label("point")
            .GetVariable("k")
            .Push(kSketchPoints)
            .Op(Op::kGreater)
            .If("closed");
        // r = 100 + 60 * sin(k + t / 10); a = k * 2pi / n
        body.SetVariable("r", [](Asm& v) {
            MathCall(v, "sin", [](Asm& x) {
                x.GetVariable("k").GetVariable("t").Push(10).Op(Op::kDivide).Op(Op::kAdd2);
            });
            v.Push(60).Op(Op::kMultiply).Push(100).Op(Op::kAdd2);
        });
        body.SetVariable("ang", [](Asm& v) {
            v.GetVariable("k").Push(6.283185307179586 / kSketchPoints).Op(Op::kMultiply);
        });
        SketchCall(body, "curveTo", 4, [](Asm& v) {
            // y, x, control y, control x
            MathCall(v, "sin", [](Asm& x) { x.GetVariable("ang"); });
            v.GetVariable("r").Op(Op::kMultiply).Push(200).Op(Op::kAdd2);
            MathCall(v, "cos", [](Asm& x) { x.GetVariable("ang"); });
            v.GetVariable("r").Op(Op::kMultiply).Push(275).Op(Op::kAdd2);
            MathCall(v, "sin", [](Asm& x) { x.GetVariable("ang").Push(0.13).Op(Op::kSubtract); });
            v.Push(180).Op(Op::kMultiply).Push(200).Op(Op::kAdd2);
            MathCall(v, "cos", [](Asm& x) { x.GetVariable("ang").Push(0.13).Op(Op::kSubtract); });
            v.Push(180).Op(Op::kMultiply).Push(275).Op(Op::kAdd2);
        });
        body.SetVariable("k", [](Asm& v) { v.GetVariable("k").Op(Op::kIncrement); })
            .Jump("point")
            .Label("closed");
        SketchCall(body, "endFill", 0, [](Asm&) {});
    });
}

// c = _root.attachMovie("ball", "b" + i, i + 1); c._x, c._y, c.vx, c.vy; c.onEnterFrame = mover
void AttachBalls(Asm& a) {
    a.SetVariable("i", swfw::PushItem(0))
        .Label("attach")
        .GetVariable("i")
        .Push(kBalls)
        .Op(Op::kLess2)
        .Op(Op::kNot)
        .If("attached");
    a.SetVariable("c", [](Asm& v) {
        v.GetVariable("i").Push(1).Op(Op::kAdd2);
        v.Push("b").GetVariable("i").Op(Op::kAdd2);
        v.Push("ball").CallMethod("attachMovie", 3, [](Asm& o) { o.GetVariable("_root"); });
    });
    auto setOnBall = [&a](const std::string& member, double factor, int modulus) {
        a.GetVariable("c").Push(member);
        a.GetVariable("i").Push(factor).Op(Op::kMultiply).Push(modulus).Op(Op::kModulo);
        a.Op(Op::kSetMember);
    };
    setOnBall("_x", 137.5, 550);
    setOnBall("_y", 91.7, 400);
    a.GetVariable("c").Push("vx");
    a.GetVariable("i").Push(5).Op(Op::kModulo).Push(1).Op(Op::kAdd2).Op(Op::kSetMember);
    a.GetVariable("c").Push("vy");
    a.GetVariable("i").Push(3).Op(Op::kModulo).Push(1).Op(Op::kAdd2).Op(Op::kSetMember);
    a.GetVariable("c").Push("onEnterFrame").GetVariable("mover").Op(Op::kSetMember);
    a.SetVariable("i", [](Asm& v) { v.GetVariable("i").Op(Op::kIncrement); })
        .Jump("attach")
        .Label("attached");
}

std::vector<std::uint8_t> ScriptedSceneMovie() {
    swfw::Movie m;
    m.Version(8).Size(550, 400).Background(swfw::Rgb(250, 250, 245));
    swfw::Shape ball(1);
    ball.Fill(ball.AddFill(swfw::FillStyle::Radial(
                  swfw::Matrix::GradientBox(-240, -240, 480, 480),
                  {{0, swfw::Rgb(255, 255, 255)}, {255, swfw::Rgb(40, 90, 200)}})))
        .Line(ball.AddLine(swfw::LineStyle::Solid(20, swfw::Rgb(0, 0, 0))))
        .Circle(0, 0, 240);
    swfw::Sprite clip(2);
    clip.Place(swfw::PlaceObject::New(1, 1)).ShowFrame();
    m.Define(ball).Define(clip);
    m.Tag(swfw::RawTag(56, {0x01, 0x00, 0x02, 0x00, 'b', 'a', 'l', 'l', 0x00}));  // export "ball"

    Asm a;
    DefineMover(a);
    DefineRedraw(a);
    AttachBalls(a);
    a.SetVariable("t", swfw::PushItem(0));
    a.Push(kBalls + 10, "sketch").CallMethod("createEmptyMovieClip", 2, [](Asm& o) {
        o.GetVariable("_root");
    });
    a.Op(Op::kPop);
    a.GetVariable("_root").Push("onEnterFrame").GetVariable("redraw").Op(Op::kSetMember);
    a.Op(Op::kStop);
    m.Do(a).ShowFrame();
    return m.Bytes();
}

void BM_ScriptedScene(benchmark::State& state) {
    std::string error;
    auto player = player::Player::Load(ScriptedSceneMovie(), &error);
    if (!player) {
        state.SkipWithError(("cannot load the scripted scene: " + error).c_str());
        return;
    }
    player->SetScripting(player::ScriptSettings{});
    constexpr int kWidth = 550, kHeight = 400;
    std::vector<std::uint8_t> pixels(std::size_t(kWidth) * kHeight * 4);
    const player::BufferView view{pixels.data(), kWidth, kHeight, kWidth * 4};
    for (auto _ : state) {
        player->Tick(false, true);
        player->Render(view);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["problems"] = static_cast<double>(player->Problems().size());
}
BENCHMARK(BM_ScriptedScene)->Unit(benchmark::kMillisecond);

}  // namespace
