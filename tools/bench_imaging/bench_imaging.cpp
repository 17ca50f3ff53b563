// Times the steps a conversion takes for every frame: the captured 32-bit surface becomes a
// CPixelImage and is saved as a GIF frame file; single-frame export also stretches it.
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "imaging/codecfactory.h"
#include "imaging/gdiplusbridge.h"
#include "platform/surface.h"

namespace {

constexpr int kWidth = 550;
constexpr int kHeight = 400;

// A frame like a movie's: a background gradient and anti-aliased discs, so that it has far
// more than 256 colours.
CSurface MovieLikeFrame() {
    CSurface surface(kWidth, kHeight);
    for (int y = 0; y < kHeight; ++y) {
        std::uint32_t* row = surface.Row(y);
        for (int x = 0; x < kWidth; ++x) {
            double r = 30 + 150.0 * y / kHeight, g = 60 + 100.0 * x / kWidth, b = 200;
            for (int i = 0; i < 6; ++i) {
                const double cx = 60 + i * 85, cy = 120 + 40 * (i % 3);
                const double d = std::hypot(x - cx, y - cy) - (30 + 8 * i);
                const double cover = std::clamp(0.5 - d, 0.0, 1.0);
                r += cover * ((i * 53) % 256 - r);
                g += cover * ((i * 97) % 256 - g);
                b += cover * ((i * 31) % 256 - b);
            }
            row[x] =
                0xFF000000u | std::uint32_t(r) << 16 | std::uint32_t(g) << 8 | std::uint32_t(b);
        }
    }
    return surface;
}

std::string FramePath(const char* extension) {
    return (std::filesystem::temp_directory_path() / (std::string("bench_frame") + extension))
        .string();
}

CPixelImage ImageOf(const CSurface& surface) {
    CPixelImage image;
    const std::unique_ptr<CGdiplusBitmap> bitmap = CreateGdiplusBitmapFromHBITMAP(&surface);
    ImageFromGdiplusBitmap(*bitmap, image);
    return image;
}

void BM_SurfaceToImage(benchmark::State& state) {
    const CSurface surface = MovieLikeFrame();
    for (auto _ : state) {
        CPixelImage image = ImageOf(surface);
        benchmark::DoNotOptimize(image.GetPixels());
    }
}
BENCHMARK(BM_SurfaceToImage)->Unit(benchmark::kMillisecond);

void SaveBenchmark(benchmark::State& state, const char* extension) {
    CPixelImage image = ImageOf(MovieLikeFrame());
    const std::string path = FramePath(extension);
    SetCodecFactory(new CAppCodecFactory);
    for (auto _ : state) {
        if (!image.SaveToFile(path.c_str(), -1)) state.SkipWithError("save failed");
    }
    std::filesystem::remove(path);
}
void BM_SaveGifFrame(benchmark::State& state) {
    SaveBenchmark(state, ".gif");
}
void BM_SaveBmpFrame(benchmark::State& state) {
    SaveBenchmark(state, ".bmp");
}
void BM_SaveTgaFrame(benchmark::State& state) {
    SaveBenchmark(state, ".tga");
}
void BM_SavePngFrame(benchmark::State& state) {
    SaveBenchmark(state, ".png");
}
BENCHMARK(BM_SaveGifFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveBmpFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveTgaFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SavePngFrame)->Unit(benchmark::kMillisecond);

// The whole per-frame path of a conversion run, as the capture code takes it.
void BM_ConversionFramePath(benchmark::State& state) {
    const CSurface surface = MovieLikeFrame();
    const std::string path = FramePath(".gif");
    for (auto _ : state) {
        const std::unique_ptr<CGdiplusBitmap> bitmap = CreateGdiplusBitmapFromHBITMAP(&surface);
        CPixelImage image;
        ImageFromGdiplusBitmap(*bitmap, image);
        SetCodecFactory(new CAppCodecFactory);
        if (!image.SaveToFile(path.c_str(), -1)) state.SkipWithError("save failed");
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_ConversionFramePath)->Unit(benchmark::kMillisecond);

void BM_Stretch550x400To1100x800(benchmark::State& state) {
    const CPixelImage frame = ImageOf(MovieLikeFrame());
    for (auto _ : state) {
        CPixelImage image(frame);
        image.Stretch(2 * kWidth, 2 * kHeight);
        benchmark::DoNotOptimize(image.GetPixels());
    }
}
BENCHMARK(BM_Stretch550x400To1100x800)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
