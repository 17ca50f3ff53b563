// Bitmap fills and shape tweens, checked by pixels: where a bitmap lands, clipped against
// repeating, broken bitmap data, tweens half-way and tweens whose edge lists disagree.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "player/player.h"
#include "tests/support/swf_writer.h"

namespace player {
namespace {

struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
    std::vector<std::string> problems;
    std::uint32_t At(int x, int y) const { return pixels[std::size_t(y) * width + x]; }
};

Picture Render(const swfw::Movie& m, int width, int height) {
    std::string error;
    auto p = Player::Load(m.Bytes(), &error);
    EXPECT_TRUE(p) << error;
    Picture pic{width, height, std::vector<std::uint32_t>(std::size_t(width) * height, 0), {}};
    if (!p) return pic;
    p->Render({reinterpret_cast<std::uint8_t*>(pic.pixels.data()), width, height, width * 4});
    pic.problems = p->Problems();
    return pic;
}

bool Near(std::uint32_t a, std::uint32_t b, int tolerance = 3) {
    for (int shift = 0; shift < 32; shift += 8) {
        if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > tolerance) return false;
    }
    return true;
}

constexpr std::uint32_t kWhite = 0xFFFFFFFF, kRed = 0xFFFF0000, kGreen = 0xFF00FF00,
                        kBlue = 0xFF0000FF, kYellow = 0xFFFFFF00;

swfw::Movie Stage(int w, int h) {
    swfw::Movie m;
    m.Size(w, h).Background(swfw::Rgb(255, 255, 255));
    return m;
}

// 2 x 2 pixels: red green / blue yellow.
swfw::Bitmap Quad(std::uint16_t id) {
    return swfw::Bitmap::Argb(id, 2, 2, {kRed, kGreen, kBlue, kYellow}, false);
}

// A rectangle of widthPx x heightPx at (x, y) px filled with bitmap 1, one bitmap pixel
// covering `scale` stage pixels, the bitmap's corner at the rectangle's.
swfw::Shape BitmapRect(std::uint16_t id, int x, int y, int widthPx, int heightPx, double scale,
                       bool repeat, bool smooth = false) {
    swfw::Shape s(id);
    const auto fill = swfw::FillStyle::Bitmap(
        1, swfw::Matrix::Affine(20 * scale, 0, 0, 20 * scale, x * 20, y * 20), repeat, smooth);
    s.Fill(s.AddFill(fill)).Rectangle(x * 20, y * 20, widthPx * 20, heightPx * 20);
    return s;
}

swfw::Shape Square(std::uint16_t id, swfw::Color color, int x, int y, int sizePx) {
    swfw::Shape s(id);
    s.Fill(s.AddFill(swfw::FillStyle::Solid(color)))
        .Rectangle(x * 20, y * 20, sizePx * 20, sizePx * 20);
    return s;
}

TEST(BitmapFill, LandsWhereItsMatrixPutsIt) {
    auto m = Stage(40, 40);
    m.Define(Quad(1)).Define(BitmapRect(2, 10, 10, 10, 10, 5, true));
    m.Place(swfw::PlaceObject::New(2, 1)).ShowFrame();
    const Picture p = Render(m, 40, 40);
    EXPECT_EQ(p.At(12, 12), kRed);
    EXPECT_EQ(p.At(17, 12), kGreen);
    EXPECT_EQ(p.At(12, 17), kBlue);
    EXPECT_EQ(p.At(17, 17), kYellow);
    EXPECT_EQ(p.At(8, 8), kWhite);
    EXPECT_EQ(p.At(22, 22), kWhite);
    EXPECT_TRUE(p.problems.empty());
}

struct ExtendCase {
    bool repeat;
    std::uint32_t beyondRight;  // a pixel one bitmap width right of the red one
    std::uint32_t beyondBelow;
};

class BitmapExtend : public ::testing::TestWithParam<ExtendCase> {};

TEST_P(BitmapExtend, BeyondTheBitmapRepeatsOrStretchesItsEdge) {
    const ExtendCase c = GetParam();
    auto m = Stage(40, 40);
    m.Define(Quad(1)).Define(BitmapRect(2, 10, 10, 20, 20, 5, c.repeat));
    m.Place(swfw::PlaceObject::New(2, 1)).ShowFrame();
    const Picture p = Render(m, 40, 40);
    EXPECT_EQ(p.At(12, 12), kRed);
    EXPECT_EQ(p.At(22, 12), c.beyondRight);
    EXPECT_EQ(p.At(12, 22), c.beyondBelow);
    EXPECT_EQ(p.At(32, 32), kWhite);  // outside the shape nothing is drawn
}

INSTANTIATE_TEST_SUITE_P(Fills, BitmapExtend,
                         ::testing::Values(ExtendCase{true, kRed, kRed},
                                           ExtendCase{false, kGreen, kBlue}));

TEST(BitmapFill, SmoothedFillBlendsNeighbours) {
    auto m = Stage(40, 40);
    m.Define(Quad(1)).Define(BitmapRect(2, 0, 0, 40, 40, 20, false, true));
    m.Place(swfw::PlaceObject::New(2, 1)).ShowFrame();
    const Picture p = Render(m, 40, 40);
    // Half-way between the red and the green pixel.
    const std::uint32_t between = p.At(20, 5);
    EXPECT_GT((between >> 16) & 0xFF, 60u);
    EXPECT_GT((between >> 8) & 0xFF, 60u);
}

TEST(BitmapFill, EachPlacementKeepsItsOwnColourTransform) {
    auto m = Stage(40, 40);
    m.Define(Quad(1)).Define(BitmapRect(2, 0, 0, 10, 10, 5, true));
    m.Place(swfw::PlaceObject::New(2, 1).Colors(swfw::ColorTransform::Alpha(0.5)))
        .Place(swfw::PlaceObject::New(2, 2).With(swfw::Matrix::Translate(400, 0)))
        .Place(swfw::PlaceObject::New(2, 3)
                   .With(swfw::Matrix::Translate(0, 400))
                   .Colors(swfw::ColorTransform::Tint(0, 1, 1)))
        .ShowFrame();
    const Picture p = Render(m, 40, 40);
    EXPECT_TRUE(Near(p.At(2, 2), 0xFFFF8080)) << std::hex << p.At(2, 2);
    EXPECT_EQ(p.At(22, 2), kRed);
    EXPECT_EQ(p.At(2, 22), 0xFF000000) << std::hex << p.At(2, 22);
    EXPECT_EQ(p.At(27, 2), kGreen);
}

// Broken bitmaps draw nothing, say why, and leave the rest of the frame alone.
struct BrokenCase {
    const char* name;
    swfw::RawTag tag;
    bool reported;
};

swfw::RawTag LyingLossless() {
    swfw::Bitmap b = Quad(1);
    b.width = 300;  // the data holds 2 x 2 pixels
    b.height = 300;
    return swfw::EncodeBitmap(b);
}

swfw::RawTag CutLossless() {
    swfw::RawTag t = swfw::EncodeBitmap(Quad(1));
    t.body.resize(t.body.size() - 6);
    return t;
}

swfw::RawTag NotJpeg() {
    swfw::JpegBitmap j;
    j.id = 1;
    j.image = {0xFF, 0xD8, 0xFF, 0xE0, 1, 2, 3, 4, 5};
    return swfw::EncodeJpeg(j);
}

class BrokenBitmap : public ::testing::TestWithParam<BrokenCase> {};

TEST_P(BrokenBitmap, DrawsNothingAndTheFrameStillRenders) {
    const BrokenCase& c = GetParam();
    auto m = Stage(40, 40);
    m.Tag(c.tag)
        .Define(BitmapRect(2, 0, 0, 20, 20, 5, true))
        .Define(Square(3, swfw::Rgb(0, 0, 255), 25, 25, 10));
    m.Place(swfw::PlaceObject::New(2, 1)).Place(swfw::PlaceObject::New(3, 2)).ShowFrame();
    const Picture p = Render(m, 40, 40);
    EXPECT_EQ(p.At(5, 5), kWhite);
    EXPECT_EQ(p.At(30, 30), kBlue);
    EXPECT_EQ(!p.problems.empty(), c.reported);
}

INSTANTIATE_TEST_SUITE_P(Data, BrokenBitmap,
                         ::testing::Values(BrokenCase{"LyingSize", LyingLossless(), true},
                                           BrokenCase{"CutZlib", CutLossless(), true},
                                           BrokenCase{"NotJpeg", NotJpeg(), true},
                                           BrokenCase{"Missing", swfw::RawTag{9, {255, 255, 255}},
                                                      false}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Shape tweens ----------------------------------------------------------------------------

// A red 10 x 10 px square at (0, 10) growing to a blue 30 x 10 px one.
swfw::MorphShape GrowingBar(std::uint16_t id) {
    swfw::MorphShape morph(id);
    const auto fill =
        morph.AddFill(swfw::MorphFillStyle::Solid(swfw::Rgb(255, 0, 0), swfw::Rgb(0, 0, 255)));
    morph.start.Fill(fill).Rectangle(0, 200, 200, 200);
    morph.end.Fill(fill).Rectangle(0, 200, 600, 200);
    return morph;
}

struct RatioCase {
    std::uint16_t ratio;
    int rightEdge;  // px
    std::uint32_t color;
};

class MorphRatio : public ::testing::TestWithParam<RatioCase> {};

TEST_P(MorphRatio, ShapeAndColourFollowTheRatio) {
    const RatioCase c = GetParam();
    auto m = Stage(40, 40);
    m.Define(GrowingBar(1)).Place(swfw::PlaceObject::New(1, 1).Ratio(c.ratio)).ShowFrame();
    const Picture p = Render(m, 40, 40);
    EXPECT_TRUE(Near(p.At(c.rightEdge - 2, 15), c.color)) << std::hex << p.At(c.rightEdge - 2, 15);
    EXPECT_EQ(p.At(c.rightEdge + 1, 15), kWhite);
    EXPECT_EQ(p.At(5, 5), kWhite);
}

INSTANTIATE_TEST_SUITE_P(Tween, MorphRatio,
                         ::testing::Values(RatioCase{0, 10, kRed}, RatioCase{32768, 20, 0xFF7F0080},
                                           RatioCase{65535, 30, kBlue}));

TEST(Morph, RatioChangesAsTheObjectMoves) {
    auto m = Stage(40, 40);
    m.Define(GrowingBar(1)).Place(swfw::PlaceObject::New(1, 1).Ratio(0)).ShowFrame();
    m.Place(swfw::PlaceObject::Move(1).Ratio(65535)).ShowFrame();
    std::string error;
    auto p = Player::Load(m.Bytes(), &error);
    ASSERT_TRUE(p) << error;
    std::vector<std::uint32_t> pixels(40 * 40);
    const BufferView view{reinterpret_cast<std::uint8_t*>(pixels.data()), 40, 40, 160};
    p->Render(view);
    EXPECT_EQ(pixels[15 * 40 + 25], kWhite);
    p->GotoFrame(1);
    p->Render(view);
    EXPECT_EQ(pixels[15 * 40 + 25], kBlue);
}

TEST(Morph, DisagreeingEdgeListsStillDraw) {
    swfw::MorphShape morph(1);
    const auto fill =
        morph.AddFill(swfw::MorphFillStyle::Solid(swfw::Rgb(255, 0, 0), swfw::Rgb(255, 0, 0)));
    morph.start.Fill(fill).Rectangle(0, 0, 400, 400);
    // Fewer edges, and a curve where the start has a line.
    morph.end.Fill(fill).MoveTo(0, 0).CurveTo(200, -100, 400, 0).LineTo(400, 400);
    swfw::MorphShape extra(2);
    const auto fill2 =
        extra.AddFill(swfw::MorphFillStyle::Solid(swfw::Rgb(0, 0, 255), swfw::Rgb(0, 0, 255)));
    extra.start.Fill(fill2).MoveTo(0, 0).LineTo(400, 0).LineTo(0, 400).LineTo(0, 0);
    extra.end.Fill(fill2).Rectangle(0, 0, 400, 400).Rectangle(0, 0, 200, 200);

    auto m = Stage(40, 40);
    m.Define(morph).Define(extra).Define(Square(3, swfw::Rgb(0, 255, 0), 30, 30, 10));
    m.Place(swfw::PlaceObject::New(1, 1).Ratio(30000))
        .Place(swfw::PlaceObject::New(2, 2).Ratio(50000).With(swfw::Matrix::Translate(0, 400)))
        .Place(swfw::PlaceObject::New(3, 3))
        .ShowFrame();
    const Picture p = Render(m, 40, 40);
    EXPECT_EQ(p.At(5, 5), kRed);
    EXPECT_EQ(p.At(3, 23), kBlue);
    EXPECT_EQ(p.At(35, 35), kGreen);
}

TEST(Morph, CutShortAnywhereNeverTakesTheFrameDown) {
    const swfw::RawTag whole = swfw::EncodeMorphShape(GrowingBar(1));
    for (std::size_t n = 0; n < whole.body.size(); ++n) {
        swfw::RawTag cut = whole;
        cut.body.resize(n);
        auto m = Stage(40, 40);
        m.Tag(cut).Define(Square(2, swfw::Rgb(0, 0, 255), 30, 30, 10));
        m.Place(swfw::PlaceObject::New(1, 1).Ratio(20000))
            .Place(swfw::PlaceObject::New(2, 2))
            .ShowFrame();
        const Picture p = Render(m, 40, 40);
        EXPECT_EQ(p.At(35, 35), kBlue) << "cut at " << n;
    }
}

}  // namespace
}  // namespace player
