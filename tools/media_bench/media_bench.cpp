// Speed of the media units on worst-case and typical inputs: run
// build/tools/media_bench/media_bench.
#include <benchmark/benchmark.h>

#include "player/media/blend.h"
#include "player/media/filters.h"

namespace media {
namespace {

Image Layer(int size) {
    Image image;
    AllocateImage(image, size, size);
    for (int y = size / 4; y < size * 3 / 4; ++y)
        for (int x = size / 4; x < size * 3 / 4; ++x) image.At(x, y) = 0xFFCC3366;
    return image;
}

// The hostile case: 255 passes of a 255-pixel blur on a 4000 x 4000 layer.
void BM_WorstCaseBlur(benchmark::State& state) {
    const Image source = Layer(4000);
    for (auto _ : state) {
        Image layer = source;
        ApplyFilter(layer, BlurFilter{255, 255, 255});
        benchmark::DoNotOptimize(layer.argb.data());
    }
}
BENCHMARK(BM_WorstCaseBlur)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_WorstCaseDropShadow(benchmark::State& state) {
    const Image source = Layer(4000);
    DropShadowFilter f;
    f.blurX = f.blurY = 255;
    f.passes = 255;
    for (auto _ : state) {
        Image layer = source;
        ApplyFilter(layer, f);
        benchmark::DoNotOptimize(layer.argb.data());
    }
}
BENCHMARK(BM_WorstCaseDropShadow)->Unit(benchmark::kMillisecond)->Iterations(2);

// A typical banner effect: a 3-pass 8-pixel glow on a 400 x 400 layer.
void BM_TypicalGlow(benchmark::State& state) {
    const Image source = Layer(400);
    GlowFilter f;
    f.blurX = f.blurY = 8;
    f.passes = 3;
    for (auto _ : state) {
        Image layer = source;
        ApplyFilter(layer, f);
        benchmark::DoNotOptimize(layer.argb.data());
    }
}
BENCHMARK(BM_TypicalGlow)->Unit(benchmark::kMillisecond);

void BM_MultiplyBlend(benchmark::State& state) {
    const Image source = Layer(1000);
    Image dest = Layer(1000);
    for (auto _ : state) {
        Blend(dest, source, 0, 0, BlendMode::kMultiply);
        benchmark::DoNotOptimize(dest.argb.data());
    }
}
BENCHMARK(BM_MultiplyBlend)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace media
