// Benchmarks the movie engine on one movie (samples/demo.swf unless a path is given first):
// loading it, and rendering every root frame in turn at 550 x 400 and 1650 x 1200 on one
// thread, and the same for a bitmap-heavy movie built here (photo-sized bitmaps, tiled, rotated,
// tinted and fading, and a shape tween), a filter-heavy one (blurred, glowing, shadowed and
// bevelled objects over blend modes), a text-heavy one (embedded glyphs, device-font and
// embedded-font fields), and a 320 x 240 Sorenson H.263 stream encoded here (decoded alone,
// and played as a movie). items_per_second is frames per second.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "player/media/video_decoder.h"
#include "player/player.h"
#include "tests/support/swf_writer.h"
#include "tests/support/video_encoder.h"

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

// 60 frames: a 512 x 512 bitmap as a background, twelve tiles of a 64 x 64 one turning and
// fading, and a tween growing across the stage.
std::vector<std::uint8_t> BitmapHeavyMovie() {
    auto pixels = [](int size) {
        std::vector<std::uint32_t> argb(std::size_t(size) * size);
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                argb[std::size_t(y) * size + x] =
                    0xFF000000u | std::uint32_t(x * 255 / size) << 16 |
                    std::uint32_t(y * 255 / size) << 8 | std::uint32_t((x ^ y) & 0xFF);
        return argb;
    };
    swfw::Movie m;
    m.Size(550, 400).Background(swfw::Rgb(0, 0, 0));
    m.Define(swfw::Bitmap::Argb(1, 512, 512, pixels(512), false));
    m.Define(swfw::Bitmap::Argb(2, 64, 64, pixels(64), true));
    swfw::Shape back(3);
    back.Fill(back.AddFill(swfw::FillStyle::Bitmap(1, swfw::Matrix::Affine(22, 0, 0, 16, 0, 0))))
        .Rectangle(0, 0, 11000, 8000);
    swfw::Shape tile(4);
    tile.Fill(tile.AddFill(
                  swfw::FillStyle::Bitmap(2, swfw::Matrix::Affine(20, 0, 0, 20, -640, -640))))
        .Rectangle(-1280, -1280, 2560, 2560);
    swfw::MorphShape tween(5);
    const auto fill = tween.AddFill(swfw::MorphFillStyle::Bitmap(
        2, swfw::Matrix::Affine(20, 0, 0, 20, 0, 0), swfw::Matrix::Affine(60, 0, 0, 60, 0, 0)));
    tween.start.Fill(fill).Rectangle(0, 0, 2000, 2000);
    tween.end.Fill(fill).Circle(5500, 4000, 3000);
    m.Define(back).Define(tile).Define(tween);
    m.Place(swfw::PlaceObject::New(3, 1));
    for (int frame = 0; frame < 60; ++frame) {
        for (int i = 0; i < 12; ++i) {
            auto place =
                frame == 0 ? swfw::PlaceObject::New(4, 10 + i) : swfw::PlaceObject::Move(10 + i);
            place
                .With(swfw::Matrix::ScaleRotate(1, 1, frame * 6 + i * 30, 1000 + (i % 4) * 3000,
                                                1500 + (i / 4) * 2500))
                .Colors(swfw::ColorTransform::Alpha(0.3 + 0.7 * ((frame + i) % 20) / 20.0));
            m.Place(place);
        }
        auto morph = frame == 0 ? swfw::PlaceObject::New(5, 50) : swfw::PlaceObject::Move(50);
        m.Place(morph.Ratio(static_cast<std::uint16_t>(frame * 65535 / 59))).ShowFrame();
    }
    return m.Bytes();
}

// 60 frames over a gradient: eight moving objects, each with its own filters (blur, glow,
// drop shadow, bevel, gradient glow, colour matrix, two at once), and a multiply, a screen and
// a hard-light object crossing them.
std::vector<std::uint8_t> FilterHeavyMovie() {
    swfw::Movie m;
    m.Size(550, 400).Background(swfw::Rgb(255, 255, 255));
    swfw::Shape back(1);
    back.Fill(back.AddFill(swfw::FillStyle::Linear(
                  swfw::Matrix::GradientBox(0, 0, 11000, 8000, 30),
                  {{0, swfw::Rgb(30, 60, 140)}, {255, swfw::Rgb(240, 200, 90)}})))
        .Rectangle(0, 0, 11000, 8000);
    swfw::Shape ball(2);
    ball.Fill(ball.AddFill(swfw::FillStyle::Radial(
                  swfw::Matrix::GradientBox(-1000, -1000, 2000, 2000),
                  {{0, swfw::Rgb(255, 255, 255)}, {255, swfw::Rgb(200, 40, 40)}})))
        .Circle(0, 0, 1000);
    swfw::Shape bar(3);
    bar.Fill(bar.AddFill(swfw::FillStyle::Solid(swfw::Rgba(90, 160, 90, 200))))
        .Rectangle(-3000, -600, 6000, 1200);
    m.Define(back).Define(ball).Define(bar);
    const std::array<float, 20> sepia = {0.39f, 0.77f, 0.19f, 0, 0, 0.35f, 0.69f, 0.17f, 0, 0,
                                         0.27f, 0.53f, 0.13f, 0, 0, 0,     0,     0,     1, 0};
    const std::vector<std::vector<swfw::Filter>> filters = {
        {swfw::Filter::Blur(8, 8, 2)},
        {swfw::Filter::Glow(swfw::Rgb(255, 220, 0), 12, 12, 2, 2)},
        {swfw::Filter::DropShadow(swfw::Rgba(0, 0, 0, 160), 6, 6, 0.785, 8, 1, 2)},
        {swfw::Filter::Bevel(swfw::Rgb(0, 0, 0), swfw::Rgb(255, 255, 255), 4, 4, 0.785, 4, 1)},
        {swfw::Filter::GradientGlow({{0, swfw::Rgba(0, 0, 255, 0)}, {255, swfw::Rgb(0, 255, 255)}},
                                    10, 10, 0, 0, 1.5, 2, false, false, false)},
        {swfw::Filter::ColorMatrix(sepia)},
        {swfw::Filter::Blur(4, 4, 1),
         swfw::Filter::DropShadow(swfw::Rgb(40, 0, 60), 10, 10, 1.2, 6, 1, 3)},
        {swfw::Filter::Glow(swfw::Rgb(255, 255, 255), 6, 6, 3, 1, true)},
    };
    const swfw::BlendMode modes[] = {swfw::BlendMode::Multiply, swfw::BlendMode::Screen,
                                     swfw::BlendMode::Hardlight};
    m.Place(swfw::PlaceObject::New(1, 1));
    for (int frame = 0; frame < 60; ++frame) {
        for (int i = 0; i < 8; ++i) {
            const int x = 1000 + (i % 4) * 2800 + frame * 20, y = 2000 + (i / 4) * 4000;
            auto place = frame == 0 ? swfw::PlaceObject::New(2, 10 + i).Filters(filters[i])
                                    : swfw::PlaceObject::Move(10 + i);
            m.Place(place.At(x, y));
        }
        for (int i = 0; i < 3; ++i) {
            auto place = frame == 0 ? swfw::PlaceObject::New(3, 30 + i).Blend(modes[i])
                                    : swfw::PlaceObject::Move(30 + i);
            m.Place(place.With(
                swfw::Matrix::ScaleRotate(1, 1, frame * 3 + i * 60, 3000 + i * 2500, 4000)));
        }
        m.ShowFrame();
    }
    return m.Bytes();
}

// Steps through a movie frame by frame as a conversion does, drawing each frame.
void RenderFrames(benchmark::State& state, const std::vector<std::uint8_t>& bytes) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
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

void BM_RenderFrames(benchmark::State& state) {
    RenderFrames(state, ReadMovieFile());
}
BENCHMARK(BM_RenderFrames)->Args({550, 400})->Args({1650, 1200})->Unit(benchmark::kMillisecond);

void BM_RenderBitmapFrames(benchmark::State& state) {
    RenderFrames(state, BitmapHeavyMovie());
}
BENCHMARK(BM_RenderBitmapFrames)->Args({550, 400})->Unit(benchmark::kMillisecond);

void BM_RenderFilterFrames(benchmark::State& state) {
    RenderFrames(state, FilterHeavyMovie());
}
BENCHMARK(BM_RenderFilterFrames)->Args({550, 400})->Unit(benchmark::kMillisecond);

// 60 frames of text: a static text of 24 lines of 40 glyphs from an embedded font (each glyph a
// ring with a bar) turning slowly, two device-font fields of wrapped paragraphs (sans and serif,
// one in HTML with bold and colours) and a field drawn with the embedded glyphs, fading.
std::vector<std::uint8_t> TextHeavyMovie() {
    swfw::Font font;
    font.id = 1;
    font.name = "Rings";
    font.ascent = 900;
    font.descent = 200;
    for (int i = 0; i < 26; ++i) {
        swfw::Glyph glyph;
        glyph.code = static_cast<std::uint16_t>('a' + i);
        glyph.advance = 700;
        glyph.outline.Fill(1).Circle(320, -400, 300).Rectangle(100, -100 - i * 30, 440, 80);
        font.glyphs.push_back(glyph);
    }
    swfw::Text text;
    text.id = 2;
    text.bounds = {0, 11000, 0, 8000};
    for (int line = 0; line < 24; ++line) {
        swfw::TextRun run;
        if (line == 0) run.fontId = 1;
        run.height = 300;
        run.color = swfw::Rgb(static_cast<std::uint8_t>(line * 10), 40, 200);
        run.x = 100;
        run.y = static_cast<std::int16_t>(300 + line * 320);
        for (int k = 0; k < 40; ++k)
            run.glyphs.push_back({static_cast<std::uint32_t>((line + k) % 26), 260});
        text.runs.push_back(run);
    }
    const std::string words =
        "Flash movies hold text as glyph outlines of embedded fonts or as device text drawn "
        "with the fonts of the machine, wrapped to the width of the field and aligned. ";
    swfw::EditText sans;
    sans.id = 4;
    sans.bounds = {0, 5000, 0, 3800};
    sans.fontId = 3;
    sans.fontHeight = 260;
    sans.text = words + words + words;
    sans.wordWrap = sans.multiline = sans.border = true;
    swfw::EditText serif = sans;
    serif.id = 6;
    serif.fontId = 5;
    serif.html = true;
    serif.text = "<p align=\"justify\">" + words + "<b>" + words + "</b><font color=\"#c02020\">" +
                 words + "</font></p>";
    swfw::EditText outlined = sans;
    outlined.id = 7;
    outlined.fontId = 1;
    outlined.useOutlines = true;
    outlined.border = false;
    outlined.text = "abcdefghijklm nopqrstuvwxyz abcdefghijklm nopqrstuvwxyz abcdefghijklm";
    swfw::Movie m;
    m.Size(550, 400).Background(swfw::Rgb(255, 255, 255));
    m.Define(font).Define(text).Define(swfw::DeviceFont{3, "_sans"});
    m.Define(swfw::DeviceFont{5, "_serif"}).Define(sans).Define(serif).Define(outlined);
    m.Place(swfw::PlaceObject::New(4, 2).At(200, 200));
    m.Place(swfw::PlaceObject::New(6, 3).At(5600, 200));
    for (int frame = 0; frame < 60; ++frame) {
        auto place = frame == 0 ? swfw::PlaceObject::New(2, 1) : swfw::PlaceObject::Move(1);
        m.Place(place.With(swfw::Matrix::ScaleRotate(1, 1, frame * 0.5, 0, 0)));
        auto field = frame == 0 ? swfw::PlaceObject::New(7, 4) : swfw::PlaceObject::Move(4);
        m.Place(field.At(2000, 4200).Colors(swfw::ColorTransform::Alpha(0.4 + frame / 100.0)));
        m.ShowFrame();
    }
    return m.Bytes();
}

// Five seconds of 320 x 240 video at 24 frames a second, a key frame every 12: colour bars
// with a gradient square sliding across them, so every frame changes.
const std::vector<swfw::Buffer>& VideoFrames() {
    static const std::vector<swfw::Buffer> frames = swfw::EncodeVideo(
        swfw::VideoCodec::H263, 320, 240, 120,
        [](int x, int y, int n) -> std::uint32_t {
            static constexpr std::uint32_t kBars[7] = {0xC0C0C0, 0xC0C000, 0x00C0C0, 0x00C000,
                                                       0xC000C0, 0xC00000, 0x0000C0};
            const int left = n * 2, top = 60 + n / 2;
            if (x >= left && x < left + 80 && y >= top && y < top + 80)
                return std::uint32_t((x - left) * 3) << 16 | std::uint32_t((y - top) * 3) << 8 |
                       std::uint32_t(n * 2);
            return kBars[x * 7 / 320];
        },
        12);
    return frames;
}

std::vector<std::uint8_t> VideoMovie() {
    swfw::Movie m;
    m.Size(320, 240).Background(swfw::Rgb(0, 0, 0));
    swfw::VideoStream stream;
    stream.id = 1;
    stream.frameCount = static_cast<std::uint16_t>(VideoFrames().size());
    stream.width = 320;
    stream.height = 240;
    m.Define(stream).Place(swfw::PlaceObject::New(1, 1));
    for (std::size_t n = 0; n < VideoFrames().size(); ++n) {
        m.Video({1, static_cast<std::uint16_t>(n), VideoFrames()[n]});
        if (n > 0) m.Place(swfw::PlaceObject::Move(1).Ratio(static_cast<std::uint16_t>(n)));
        m.ShowFrame();
    }
    return m.Bytes();
}

void BM_RenderTextFrames(benchmark::State& state) {
    RenderFrames(state, TextHeavyMovie());
}
BENCHMARK(BM_RenderTextFrames)->Args({550, 400})->Unit(benchmark::kMillisecond);

// The stream through the decoder alone, in order, looping.
void BM_DecodeH263(benchmark::State& state) {
    const auto& frames = VideoFrames();
    if (frames.empty()) {
        state.SkipWithError("libavcodec has no flv encoder");
        return;
    }
    media::VideoDecoder decoder(static_cast<std::uint8_t>(media::VideoCodec::kSorensonH263), 320,
                                240, player::Limits{});
    std::size_t next = 0;
    for (auto _ : state) {
        if (next == frames.size()) {
            decoder.Reset();
            next = 0;
        }
        benchmark::DoNotOptimize(decoder.Decode(frames[next++]));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DecodeH263)->Unit(benchmark::kMillisecond);

// The stream placed on a movie's timeline, decoded and drawn frame by frame.
void BM_RenderVideoFrames(benchmark::State& state) {
    if (VideoFrames().empty()) {
        state.SkipWithError("libavcodec has no flv encoder");
        return;
    }
    RenderFrames(state, VideoMovie());
}
BENCHMARK(BM_RenderVideoFrames)->Args({320, 240})->Unit(benchmark::kMillisecond);

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
