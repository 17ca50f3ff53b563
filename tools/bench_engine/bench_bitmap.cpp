// Benchmarks BitmapData's heavy methods as a movie calls them once a frame on a 550 x 400
// bitmap: draw of a clip holding a hundred shapes turned and scaled, a blur through
// applyFilter, and four octaves of perlinNoise. Each iteration is one tick; items_per_second is
// calls per second.
#include <benchmark/benchmark.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "player/player.h"
#include "tests/support/avm1_asm.h"
#include "tests/support/script_calls.h"
#include "tests/support/swf_writer.h"

namespace {

using swfw::Asm;
using namespace swfw::calls;

// A movie whose clip "scene" holds 100 red boxes placed turned and scaled, with a 550 x 400
// bitmap "b" and whatever `prepare` makes; every frame runs `perFrame`.
std::unique_ptr<player::Player> BitmapMovie(const std::function<void(Asm&)>& prepare,
                                            const std::function<void(Asm&)>& perFrame) {
    swfw::Movie m;
    m.Version(8);
    swfw::Shape box(1);
    box.Fill(box.AddFill(swfw::FillStyle::Solid(swfw::Rgb(200, 40, 40)))).Rectangle(0, 0, 800, 600);
    m.Define(box);
    swfw::Sprite scene(2);
    for (int i = 0; i < 100; ++i) {
        const swfw::Matrix placed = swfw::Matrix::ScaleRotate(0.5 + i % 7 * 0.25, 0.5 + i % 5 * 0.3,
                                                              i * 0.3, i % 10 * 1100, i / 10 * 800);
        scene.Place(swfw::PlaceObject::New(1, static_cast<std::uint16_t>(i + 1)).With(placed));
    }
    scene.ShowFrame();
    m.Define(scene);
    m.Place(swfw::PlaceObject::New(2, 1).Name("scene"));
    Asm a;
    New(a, "b", "flash.display.BitmapData", {550, 400, true, 0});
    prepare(a);
    a.DefineFunction("tick", {}, [&perFrame](Asm& body) { perFrame(body); });
    Set(a, "_root.onEnterFrame", P{"tick"});
    m.Do(a).ShowFrame().ShowFrame();
    std::string error;
    auto player = player::Player::Load(m.Bytes(), &error);
    if (player) player->SetScripting({});
    return player;
}

void RunTicks(benchmark::State& state, player::Player& player) {
    for (auto _ : state) player.Tick(true, true);
    state.SetItemsProcessed(state.iterations());
}

void BM_DrawClip(benchmark::State& state) {
    auto player = BitmapMovie([](Asm&) {}, [](Asm& a) { Call(a, "b.draw", {P{"scene"}}); });
    if (!player) return state.SkipWithError("movie not loaded");
    RunTicks(state, *player);
}
BENCHMARK(BM_DrawClip)->Unit(benchmark::kMillisecond);

void BM_ApplyBlur(benchmark::State& state) {
    auto player = BitmapMovie(
        [](Asm& a) {
            Call(a, "b.noise", {1});
            New(a, "r", "flash.geom.Rectangle", {0, 0, 550, 400});
            New(a, "at", "flash.geom.Point", {0, 0});
            New(a, "blur", "flash.filters.BlurFilter", {8, 8, 3});
        },
        [](Asm& a) {
            Call(a, "b.applyFilter", {P{"b"}, P{"r"}, P{"at"}, P{"blur"}});
        });
    if (!player) return state.SkipWithError("movie not loaded");
    RunTicks(state, *player);
}
BENCHMARK(BM_ApplyBlur)->Unit(benchmark::kMillisecond);

void BM_PerlinNoise(benchmark::State& state) {
    auto player = BitmapMovie([](Asm&) {},
                              [](Asm& a) {
                                  Call(a, "b.perlinNoise", {120, 80, 4, 7, false, true, 7, false});
                              });
    if (!player) return state.SkipWithError("movie not loaded");
    RunTicks(state, *player);
}
BENCHMARK(BM_PerlinNoise)->Unit(benchmark::kMillisecond);

}  // namespace
