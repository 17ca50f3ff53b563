// Benchmarks the movie engine on one movie (samples/demo.swf unless a path is given first):
// loading it, and rendering every root frame in turn at 550 x 400 and 1650 x 1200 on one
// thread. items_per_second is frames per second.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "player/player.h"

namespace {

std::string g_moviePath = FILMCAST_DEMO_MOVIE;

std::vector<std::uint8_t> ReadMovieFile() {
    std::ifstream in(g_moviePath, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void BM_Load(benchmark::State& state) {
    const auto bytes = ReadMovieFile();
    for (auto _ : state) {
        std::string error;
        auto player = player::Player::Load(bytes, &error);
        if (!player) {
            state.SkipWithError(("cannot load " + g_moviePath + ": " + error).c_str());
            return;
        }
        benchmark::DoNotOptimize(player.get());
    }
}
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond);

// Steps through the movie frame by frame as a conversion does, drawing each frame.
void BM_RenderFrames(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    const auto bytes = ReadMovieFile();
    std::string error;
    auto player = player::Player::Load(bytes, &error);
    if (!player || player->TotalFrames() == 0) {
        state.SkipWithError(("cannot load " + g_moviePath + ": " + error).c_str());
        return;
    }
    std::vector<std::uint8_t> pixels(std::size_t(width) * height * 4);
    const player::BufferView view{pixels.data(), width, height, width * 4};
    const int total = player->TotalFrames();
    for (auto _ : state) {
        if (player->CurrentFrame() + 1 >= total) {
            player->Rewind();
        } else {
            player->GotoFrame(player->CurrentFrame() + 1);
        }
        player->Render(view);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["frames"] = total;
}
BENCHMARK(BM_RenderFrames)->Args({550, 400})->Args({1650, 1200})->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && argv[1][0] != '-') {
        g_moviePath = argv[1];
        --argc;
        ++argv;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
