// Frames whose drawing once cost time in proportion to something other than the pixels they
// cover: bitmaps drawn far smaller than their texels or repeated thousands of times, device
// text at extreme sizes, heaps of gradients and filters. Each is drawn under a generous time
// limit (seconds where the cost used to be minutes), and what it draws is checked.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "player/reader.h"
#include "player/renderer.h"
#include "player/timeline.h"
#include "tests/support/swf_writer.h"

namespace player {
namespace {

// Far above what these frames take now, far below what they took before.
constexpr double kGenerousSeconds = 20.0;

struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t At(int x, int y) const { return pixels[std::size_t(y) * width + x]; }
};

struct Drawn {
    Picture picture;
    double seconds = 0;
    std::int64_t work = 0;
    std::size_t cut = 0;
};

Drawn Draw(const swfw::Movie& m, int width, int height, const Limits& limits = {}) {
    std::string error;
    auto movie = ReadMovie(m.Bytes(), &error);
    EXPECT_TRUE(movie) << error;
    Drawn d;
    if (!movie) return d;
    MovieState state(movie);
    Renderer renderer(limits);
    d.picture = {width, height, std::vector<std::uint32_t>(std::size_t(width) * height)};
    const auto start = std::chrono::steady_clock::now();
    renderer.Render(state, {reinterpret_cast<std::uint8_t*>(d.picture.pixels.data()), width, height,
                            width * 4});
    d.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    d.work = renderer.LastFrameWork();
    d.cut = renderer.FramesCut();
    return d;
}

int Channel(std::uint32_t p, int shift) {
    return int((p >> shift) & 0xFF);
}

bool Near(std::uint32_t a, std::uint32_t b, int tolerance) {
    for (int shift = 0; shift < 32; shift += 8)
        if (std::abs(Channel(a, shift) - Channel(b, shift)) > tolerance) return false;
    return true;
}

// A square bitmap: opaque red and blue texels in a checkerboard.
swfw::Bitmap Checkerboard(std::uint16_t id, int side) {
    std::vector<std::uint32_t> argb(std::size_t(side) * side);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            argb[std::size_t(y) * side + x] = (x + y) % 2 ? 0xFFFF0000 : 0xFF0000FF;
    return swfw::Bitmap::Argb(id, std::uint16_t(side), std::uint16_t(side), argb, false);
}

// A 550 x 400 stage covered by one shape filled with bitmap 1 under `fill` (bitmap pixels to
// twips), placed under `place`.
swfw::Movie BitmapStage(const swfw::Bitmap& bitmap, const swfw::Matrix& fill, bool repeat,
                        bool smooth, const swfw::Matrix& place = {}) {
    swfw::Movie m;
    m.Size(550, 400).Background(swfw::Rgb(255, 255, 255));
    swfw::Shape s(2);
    s.Fill(s.AddFill(swfw::FillStyle::Bitmap(1, fill, repeat, smooth)))
        .Rectangle(-20000, -20000, 60000, 60000);
    m.Define(bitmap).Define(s).Place(swfw::PlaceObject::New(2, 1).With(place)).ShowFrame();
    return m;
}

struct BitmapCase {
    const char* name;
    int side;
    double scale;  // the fill matrix's 16.16 scale: 20 draws one texel per pixel
    double degrees;
    std::int32_t shift;  // twips
    bool repeat, smooth;
};

class StalledBitmap : public ::testing::TestWithParam<BitmapCase> {};

// Each case took from seconds to minutes a frame before: smoothing read every texel under a
// pixel, and a repeating source was walked to its period one period at a time.
TEST_P(StalledBitmap, DrawsInTimeAsTheMixOfItsTexels) {
    const BitmapCase& c = GetParam();
    const Drawn d =
        Draw(BitmapStage(Checkerboard(1, c.side),
                         swfw::Matrix::ScaleRotate(c.scale, c.scale, c.degrees, c.shift, c.shift),
                         c.repeat, c.smooth),
             550, 400);
    EXPECT_LT(d.seconds, kGenerousSeconds);
    EXPECT_EQ(d.cut, 0u);
    // Minified and smoothed, a checkerboard of red and blue is an even purple.
    if (c.smooth && c.scale < 5) EXPECT_TRUE(Near(d.picture.At(275, 200), 0xFF800080, 12));
    // Drawn at all: no white of the background shows through.
    for (int y = 0; y < 400; y += 37)
        for (int x = 0; x < 550; x += 41)
            ASSERT_NE(d.picture.At(x, y), 0xFFFFFFFFu) << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StalledBitmap,
    ::testing::Values(
        // The pool table: a bitmap fill at a twips matrix of scale 1, repeated and smoothed.
        BitmapCase{"TwipScaleRepeated", 16, 1, 0, 0, true, true},
        BitmapCase{"TwipScaleSmallTexture", 4, 1, 0, 0, true, true},
        BitmapCase{"TwipScaleClipped", 64, 1, 0, 0, false, true},
        BitmapCase{"TwipScaleHard", 16, 1, 0, 0, true, false},
        // Normal scale, but a tiny texture repeated far from its origin and turned.
        BitmapCase{"TinyTextureFarAway", 2, 20, 30, 100000, true, true},
        BitmapCase{"TinyTextureFarAwayHard", 2, 20, 30, 100000, true, false},
        BitmapCase{"MagnifiedTurnedFarAway", 16, 40, 30, 600000, true, true}),
    [](const auto& info) { return std::string(info.param.name); });

// The same minified pattern reached through clips scaled inside clips.
TEST(BoundedDrawing, RepeatedPatternInsideNestedScaledClips) {
    swfw::Movie m;
    m.Size(550, 400).Background(swfw::Rgb(255, 255, 255));
    swfw::Shape s(2);
    s.Fill(s.AddFill(swfw::FillStyle::Bitmap(1, swfw::Matrix::Affine(20, 0, 0, 20, 0, 0))))
        .Rectangle(0, 0, 20000000, 20000000);
    m.Define(Checkerboard(1, 8)).Define(s);
    swfw::Sprite inner(3), outer(4);
    inner.Place(swfw::PlaceObject::New(2, 1).With(swfw::Matrix::ScaleRotate(0.1, 0.1, 10, 0, 0)))
        .ShowFrame();
    outer.Place(swfw::PlaceObject::New(3, 1).With(swfw::Matrix::ScaleRotate(0.05, 0.05, 20, 0, 0)))
        .ShowFrame();
    m.Define(inner).Define(outer).Place(swfw::PlaceObject::New(4, 1)).ShowFrame();
    const Drawn d = Draw(m, 550, 400);
    EXPECT_LT(d.seconds, kGenerousSeconds);
    EXPECT_TRUE(Near(d.picture.At(300, 300), 0xFF800080, 12));
}

// A small repeating bitmap at normal scale is drawn from a tile of several periods: the same
// pixels as the bitmap repeated in the file itself.
TEST(BoundedDrawing, TiledRepeatDrawsTheSamePixelsAsALargerBitmap) {
    const int side = 6;
    std::vector<std::uint32_t> small(side * side), large(side * side * 64);
    for (int y = 0; y < side * 8; ++y)
        for (int x = 0; x < side * 8; ++x) {
            const std::uint32_t p = 0xFF000000 | std::uint32_t((x % side) * 40 << 16) |
                                    std::uint32_t((y % side) * 40 << 8) | 0x60;
            if (x < side && y < side) small[std::size_t(y) * side + x] = p;
            large[std::size_t(y) * side * 8 + x] = p;
        }
    for (const double degrees : {0.0, 17.0}) {
        const swfw::Matrix fill = swfw::Matrix::ScaleRotate(27, 27, degrees, 3000, -5000);
        const Drawn a =
            Draw(BitmapStage(swfw::Bitmap::Argb(1, side, side, small, false), fill, true, true),
                 550, 400);
        const Drawn b = Draw(
            BitmapStage(swfw::Bitmap::Argb(1, side * 8, side * 8, large, false), fill, true, true),
            550, 400);
        int differing = 0;
        for (std::size_t i = 0; i < a.picture.pixels.size(); ++i)
            differing += !Near(a.picture.pixels[i], b.picture.pixels[i], 1);
        // Bilinear sampling across the large bitmap's own wrap is the only difference.
        EXPECT_LT(differing, 550 * 400 / 100) << degrees;
    }
}

// Device text whose glyphs are thousands of pixels tall: filled as outlines, not rendered into
// glyph masks of their full size (a few hundred megabytes and seconds for a field's worth).
TEST(BoundedDrawing, DeviceTextAtAnExtremeScale) {
    swfw::Movie m;
    m.Size(550, 400).Background(swfw::Rgb(255, 255, 255));
    m.Define(swfw::DeviceFont{1, "_sans"});
    swfw::EditText field;
    field.id = 2;
    field.bounds = {0, 4000, 0, 4000};
    std::string text;
    for (int i = 0; i < 40; ++i) text += "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz ";
    field.text = text;
    field.fontId = 1;
    field.fontHeight = 400;
    field.wordWrap = field.multiline = true;
    field.color = swfw::Rgb(0, 0, 0);
    m.Define(field).Place(
        swfw::PlaceObject::New(2, 1).With(swfw::Matrix::ScaleRotate(200, 200, 0, -30000, -30000)));
    m.ShowFrame();
    const Drawn d = Draw(m, 550, 400);
    EXPECT_LT(d.seconds, kGenerousSeconds);
    EXPECT_EQ(d.cut, 0u);
    int ink = 0;
    for (const std::uint32_t p : d.picture.pixels) ink += p == 0xFF000000;
    EXPECT_GT(ink, 1000) << "the glyphs' outlines are drawn";
}

// Work that is plain but heaped up: a thousand huge radial gradients, a thousand tiny clips
// each with the widest blur. The frame's work budget ends them; the frame keeps what it drew.
TEST(BoundedDrawing, HeapsOfGradientsAndFiltersEndAtTheFrameBudget) {
    swfw::Movie gradients;
    gradients.Size(550, 400);
    swfw::Shape g(1);
    g.Fill(g.AddFill(swfw::FillStyle::Radial(
               swfw::Matrix::ScaleRotate(0.01, 0.01, 10, 0, 0),
               {{0, swfw::Rgb(255, 0, 0)}, {255, swfw::Rgb(0, 0, 255)}}, swfw::SpreadMode::Repeat)))
        .Rectangle(-4000000, -4000000, 8000000, 8000000);
    gradients.Define(g);
    for (int i = 0; i < 1000; ++i) gradients.Place(swfw::PlaceObject::New(1, i + 1));
    gradients.ShowFrame();

    swfw::Movie blurs;
    blurs.Size(550, 400);
    swfw::Shape dot(1);
    dot.Fill(dot.AddFill(swfw::FillStyle::Solid(swfw::Rgb(255, 0, 0)))).Rectangle(0, 0, 20, 20);
    blurs.Define(dot);
    for (int i = 0; i < 1000; ++i)
        blurs.Place(swfw::PlaceObject::New(1, i + 1)
                        .At((i * 37) % 11000, (i * 53) % 8000)
                        .Filters({swfw::Filter::Blur(255, 255, 15)}));
    blurs.ShowFrame();

    for (const swfw::Movie* m : {&gradients, &blurs}) {
        const Drawn d = Draw(*m, 1100, 800);
        EXPECT_LT(d.seconds, kGenerousSeconds);
        EXPECT_LE(d.work, Limits{}.maxPixelWorkPerFrame);
        EXPECT_EQ(d.cut, 1u);
    }
}

}  // namespace
}  // namespace player
