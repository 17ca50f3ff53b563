// The renderer, checked by pixels: where shapes land, their colours through colour transforms,
// gradients, fill rules, masks and the show-all fit.
#include "player/renderer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "player/player.h"
#include "tests/support/swf_writer.h"

namespace player {
namespace {

struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t At(int x, int y) const { return pixels[std::size_t(y) * width + x]; }
};

Picture Render(const swfw::Movie& m, int width, int height, int ticks = 0) {
    std::string error;
    auto p = Player::Load(m.Bytes(), &error);
    EXPECT_TRUE(p) << error;
    Picture pic{width, height, std::vector<std::uint32_t>(std::size_t(width) * height, 0)};
    if (!p) return pic;
    p->PlayTicksFromStart(ticks);
    p->Render({reinterpret_cast<std::uint8_t*>(pic.pixels.data()), width, height, width * 4});
    return pic;
}

// Colour distance per channel, for anti-aliased expectations.
bool Near(std::uint32_t a, std::uint32_t b, int tolerance = 2) {
    for (int shift = 0; shift < 32; shift += 8) {
        if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > tolerance) return false;
    }
    return true;
}

constexpr std::uint32_t kWhite = 0xFFFFFFFF, kRed = 0xFFFF0000, kBlue = 0xFF0000FF;

swfw::Movie Stage(int w, int h) {
    swfw::Movie m;
    m.Size(w, h).Background(swfw::Rgb(255, 255, 255));
    return m;
}

swfw::Shape Square(std::uint16_t id, swfw::Color color, int sizeTwips = 400) {
    swfw::Shape s(id);
    s.Fill(s.AddFill(swfw::FillStyle::Solid(color))).Rectangle(0, 0, sizeTwips, sizeTwips);
    return s;
}

TEST(Renderer, RedSquareLandsWhereTheMatrixPutsIt) {
    auto m = Stage(100, 100);
    m.Define(Square(1, swfw::Rgb(255, 0, 0)))
        .Place(swfw::PlaceObject::New(1, 1).With(swfw::Matrix::Affine(2, 0, 0, 1, 600, 200)))
        .ShowFrame();
    const Picture p = Render(m, 100, 100);
    // 20 x 20 px square scaled to 40 x 20 at (30, 10).
    EXPECT_EQ(p.At(31, 11), kRed);
    EXPECT_EQ(p.At(68, 28), kRed);
    EXPECT_EQ(p.At(29, 11), kWhite);
    EXPECT_EQ(p.At(71, 11), kWhite);
    EXPECT_EQ(p.At(50, 31), kWhite);
}

TEST(Renderer, ColourTransformsConcatenateDownTheTree) {
    swfw::Sprite clip(2);
    clip.Place(swfw::PlaceObject::New(1, 1).Colors(swfw::ColorTransform::Tint(0.5, 1, 1)))
        .ShowFrame();
    auto m = Stage(20, 20);
    m.Define(Square(1, swfw::Rgb(200, 100, 40))).Define(clip);
    swfw::ColorTransform outer;
    outer.greenMult = 128;
    outer.blueAdd = 60;
    m.Place(swfw::PlaceObject::New(2, 1).Colors(outer)).ShowFrame();
    const Picture p = Render(m, 20, 20);
    // red 200 * 0.5, green 100 * 0.5, blue 40 + 60
    EXPECT_TRUE(Near(p.At(10, 10), 0xFF643264)) << std::hex << p.At(10, 10);
}

TEST(Renderer, AlphaBlendsOverTheBackground) {
    auto m = Stage(20, 20);
    m.Define(Square(1, swfw::Rgb(0, 0, 0)))
        .Place(swfw::PlaceObject::New(1, 1).Colors(swfw::ColorTransform::Alpha(0.5)))
        .ShowFrame();
    EXPECT_TRUE(Near(Render(m, 20, 20).At(10, 10), 0xFF7F7F7F, 3));
}

TEST(Renderer, LinearGradientRunsAcrossItsBox) {
    auto m = Stage(100, 20);
    swfw::Shape s(1);
    s.Fill(s.AddFill(
               swfw::FillStyle::Linear(swfw::Matrix::GradientBox(0, 0, 2000, 400),
                                       {{0, swfw::Rgb(255, 0, 0)}, {255, swfw::Rgb(0, 0, 255)}})))
        .Rectangle(0, 0, 2000, 400);
    m.Define(s).Place(swfw::PlaceObject::New(1, 1)).ShowFrame();
    const Picture p = Render(m, 100, 20);
    EXPECT_TRUE(Near(p.At(0, 10), kRed, 8));
    EXPECT_TRUE(Near(p.At(99, 10), kBlue, 8));
    EXPECT_TRUE(Near(p.At(50, 10), 0xFF7F007F, 8)) << std::hex << p.At(50, 10);
}

TEST(Renderer, RadialGradientPadsBeyondItsCircle) {
    auto m = Stage(100, 100);
    swfw::Shape s(1);
    s.Fill(s.AddFill(
               swfw::FillStyle::Radial(swfw::Matrix::GradientBox(500, 500, 1000, 1000),
                                       {{0, swfw::Rgb(255, 255, 255)}, {255, swfw::Rgb(0, 0, 0)}})))
        .Rectangle(0, 0, 2000, 2000);
    m.Define(s).Place(swfw::PlaceObject::New(1, 1)).ShowFrame();
    const Picture p = Render(m, 100, 100);
    EXPECT_TRUE(Near(p.At(50, 50), kWhite, 12));
    EXPECT_EQ(p.At(95, 95), 0xFF000000u);
}

TEST(Renderer, RepeatSpreadRepeatsTheRamp) {
    auto m = Stage(100, 10);
    swfw::Shape s(1);
    s
        .Fill(s.AddFill(swfw::FillStyle::Linear(
            swfw::Matrix::GradientBox(0, 0, 1000, 200),
            {{0, swfw::Rgb(0, 0, 0)}, {255, swfw::Rgb(255, 255, 255)}}, swfw::SpreadMode::Repeat)))
        .Rectangle(0, 0, 2000, 200);
    m.Define(s).Place(swfw::PlaceObject::New(1, 1)).ShowFrame();
    const Picture p = Render(m, 100, 10);
    EXPECT_TRUE(Near(p.At(48, 5), 0xFFFFFFFF, 20));
    EXPECT_TRUE(Near(p.At(51, 5), 0xFF000000, 20));
}

// Two overlapping squares of one outline drawn as one fill: the overlap is a hole under the
// even-odd rule and filled under the non-zero rule of DefineShape4.
swfw::Movie Overlap(bool nonZero) {
    auto m = Stage(40, 40);
    swfw::Shape s(1);
    s.usesFillWindingRule = nonZero;
    if (nonZero) s.version = 4;
    const auto fill = s.AddFill(swfw::FillStyle::Solid(swfw::Rgb(0, 0, 255)));
    s.Fill(fill).Rectangle(0, 0, 400, 400).Rectangle(200, 200, 400, 400);
    m.Define(s).Place(swfw::PlaceObject::New(1, 1)).ShowFrame();
    return m;
}

TEST(Renderer, EvenOddByDefaultNonZeroWhenAsked) {
    EXPECT_EQ(Render(Overlap(false), 40, 40).At(15, 15), kWhite);
    EXPECT_EQ(Render(Overlap(true), 40, 40).At(15, 15), kBlue);
    EXPECT_EQ(Render(Overlap(false), 40, 40).At(5, 5), kBlue);
}

TEST(Renderer, ClipLayerMasksDepthsUpToItsClipDepth) {
    auto m = Stage(40, 40);
    m.Define(Square(1, swfw::Rgb(0, 0, 0), 400))        // mask: top-left 20 x 20
        .Define(Square(2, swfw::Rgb(255, 0, 0), 800))   // masked: whole stage red
        .Define(Square(3, swfw::Rgb(0, 0, 255), 200));  // above the clip range: not masked
    m.Place(swfw::PlaceObject::New(1, 1).ClipDepth(2))
        .Place(swfw::PlaceObject::New(2, 2))
        .Place(swfw::PlaceObject::New(3, 3).At(600, 600))
        .ShowFrame();
    const Picture p = Render(m, 40, 40);
    EXPECT_EQ(p.At(5, 5), kRed);
    EXPECT_EQ(p.At(25, 5), kWhite);      // red outside the mask is cut away
    EXPECT_EQ(p.At(35, 35), kBlue);      // depth 3 is above the clip depth
    EXPECT_NE(p.At(5, 5), 0xFF000000u);  // the mask itself is not drawn
}

TEST(Renderer, NestedMasksIntersect) {
    auto m = Stage(40, 40);
    swfw::Shape wide(1), tall(2);
    wide.Fill(wide.AddFill(swfw::FillStyle::Solid(swfw::Rgb(0, 0, 0)))).Rectangle(0, 0, 800, 300);
    tall.Fill(tall.AddFill(swfw::FillStyle::Solid(swfw::Rgb(0, 0, 0)))).Rectangle(0, 0, 300, 800);
    m.Define(wide).Define(tall).Define(Square(3, swfw::Rgb(255, 0, 0), 800));
    m.Place(swfw::PlaceObject::New(1, 1).ClipDepth(3))
        .Place(swfw::PlaceObject::New(2, 2).ClipDepth(3))
        .Place(swfw::PlaceObject::New(3, 3))
        .ShowFrame();
    const Picture p = Render(m, 40, 40);
    EXPECT_EQ(p.At(5, 5), kRed);
    EXPECT_EQ(p.At(30, 5), kWhite);
    EXPECT_EQ(p.At(5, 30), kWhite);
}

TEST(Renderer, MasksNestedTooDeepAreLeftOut) {
    // A clip that masks itself inside itself: masks stop at the nesting cap, the picture comes.
    swfw::Sprite clip(2);
    clip.Place(swfw::PlaceObject::New(1, 1).ClipDepth(3))
        .Place(swfw::PlaceObject::New(2, 2))
        .ShowFrame();
    auto m = Stage(40, 40);
    m.Define(Square(1, swfw::Rgb(255, 0, 0), 400)).Define(clip);
    m.Place(swfw::PlaceObject::New(2, 1)).ShowFrame();
    const Picture p = Render(m, 40, 40);
    EXPECT_EQ(p.At(30, 30), kWhite);
}

TEST(Renderer, ShowAllFitsCentredWithBackgroundMargins) {
    swfw::Movie m;
    m.Size(100, 50).Background(swfw::Rgb(0, 255, 0));
    m.Define(Square(1, swfw::Rgb(255, 0, 0), 1000)).Place(swfw::PlaceObject::New(1, 1)).ShowFrame();
    // 100 x 50 stage into 100 x 100: scale 1, 25 px margins above and below.
    const Picture p = Render(m, 100, 100);
    EXPECT_EQ(p.At(50, 10), 0xFF00FF00u);
    EXPECT_EQ(p.At(50, 90), 0xFF00FF00u);
    EXPECT_EQ(p.At(10, 30), kRed);
    EXPECT_EQ(p.At(10, 70), kRed);
    EXPECT_EQ(p.At(60, 50), 0xFF00FF00u);  // right of the square, inside the stage
    const StageFit fit = FitStage({0, 2000, 0, 1000}, 300, 100);
    EXPECT_DOUBLE_EQ(fit.scale, 2.0);
    EXPECT_DOUBLE_EQ(fit.offsetX, 50.0);
    EXPECT_DOUBLE_EQ(fit.offsetY, 0.0);
}

TEST(Renderer, ObjectScaledToNothingLeavesTheRestOfTheFrame) {
    auto m = Stage(40, 40);
    m.Define(Square(1, swfw::Rgb(0, 0, 255), 800)).Define(Square(2, swfw::Rgb(255, 0, 0), 400));
    m.Place(swfw::PlaceObject::New(1, 1).With(swfw::Matrix::Affine(0, 0, 0, 1, 0, 0)))
        .Place(swfw::PlaceObject::New(2, 2))
        .ShowFrame();
    const Picture p = Render(m, 40, 40);
    EXPECT_EQ(p.At(5, 5), kRed);
    EXPECT_EQ(p.At(30, 30), kWhite);
}

TEST(Renderer, HairlinesAreAtLeastOnePixel) {
    auto m = Stage(40, 40);
    swfw::Shape s(1);
    s.Line(s.AddLine(swfw::LineStyle::Solid(0, swfw::Rgb(0, 0, 0))))
        .MoveTo(0, 410)
        .LineTo(800, 410);
    m.Define(s)
        .Place(swfw::PlaceObject::New(1, 1).With(swfw::Matrix::Affine(0.1, 0, 0, 0.1, 0, 0)))
        .ShowFrame();
    const Picture p = Render(m, 40, 40);
    EXPECT_EQ(p.At(2, 2) & 0xFFFFFF, 0x000000u) << std::hex << p.At(2, 2);
}

TEST(Renderer, StrokesDrawnOverFills) {
    auto m = Stage(40, 40);
    swfw::Shape s(1);
    s.Fill(s.AddFill(swfw::FillStyle::Solid(swfw::Rgb(255, 0, 0))))
        .Line(s.AddLine(swfw::LineStyle::Solid(160, swfw::Rgb(0, 0, 255))))
        .Rectangle(200, 200, 400, 400);
    m.Define(s).Place(swfw::PlaceObject::New(1, 1)).ShowFrame();
    const Picture p = Render(m, 40, 40);
    EXPECT_EQ(p.At(20, 20), kRed);
    EXPECT_EQ(p.At(10, 20), kBlue);  // on the left edge: stroke wins
}

TEST(Renderer, AnySizeAndStrideWithoutTouchingPadding) {
    auto m = Stage(30, 20);
    m.Define(Square(1, swfw::Rgb(255, 0, 0), 600)).Place(swfw::PlaceObject::New(1, 1)).ShowFrame();
    std::string error;
    auto p = Player::Load(m.Bytes(), &error);
    ASSERT_TRUE(p);
    const int width = 7, height = 5, stride = 40;
    std::vector<std::uint8_t> buffer(stride * height, 0xAB);
    p->Render({buffer.data(), width, height, stride});
    for (int y = 0; y < height; ++y)
        for (int x = width * 4; x < stride; ++x) ASSERT_EQ(buffer[y * stride + x], 0xAB);
    p->Render({buffer.data(), 0, 0, 0});  // nothing to draw into: ignored
    p->Render({nullptr, 10, 10, 40});
}

}  // namespace
}  // namespace player
