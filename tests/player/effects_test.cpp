// Blend modes, layers, visibility, filters and buttons, checked by pixels on movies from the
// SWF writer.
#include "player/effects.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
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

Picture Render(const swfw::Movie& m, int width, int height) {
    std::string error;
    auto p = Player::Load(m.Bytes(), &error);
    EXPECT_TRUE(p) << error;
    Picture pic{width, height, std::vector<std::uint32_t>(std::size_t(width) * height, 0)};
    if (p)
        p->Render({reinterpret_cast<std::uint8_t*>(pic.pixels.data()), width, height, width * 4});
    return pic;
}

int Channel(std::uint32_t p, int shift) {
    return int((p >> shift) & 0xFF);
}

::testing::AssertionResult Near(std::uint32_t got, std::uint32_t want, int tolerance = 3) {
    for (int shift = 0; shift < 32; shift += 8)
        if (std::abs(Channel(got, shift) - Channel(want, shift)) > tolerance)
            return ::testing::AssertionFailure()
                   << std::hex << "0x" << got << " is not near 0x" << want;
    return ::testing::AssertionSuccess();
}

constexpr std::uint32_t kWhite = 0xFFFFFFFF, kRed = 0xFFFF0000, kBlue = 0xFF0000FF;

swfw::Movie Stage(int w, int h) {
    swfw::Movie m;
    m.Size(w, h).Background(swfw::Rgb(255, 255, 255));
    return m;
}

swfw::Shape Box(std::uint16_t id, swfw::Color color, int x, int y, int w, int h) {
    swfw::Shape s(id);
    s.Fill(s.AddFill(swfw::FillStyle::Solid(color))).Rectangle(x * 20, y * 20, w * 20, h * 20);
    return s;
}

// ---- Blend modes ---------------------------------------------------------------------------

struct BlendCase {
    const char* name;
    swfw::BlendMode mode;
    swfw::Color top;
    std::uint32_t overRed;    // the top box over the red one
    std::uint32_t overWhite;  // the top box over the white stage
};

class BlendModes : public ::testing::TestWithParam<BlendCase> {};

// A red box on the left half, the blended box over the middle: one pixel where it covers red,
// one where it covers the white stage, one where it covers nothing.
TEST_P(BlendModes, CompositesWithWhatLiesBelow) {
    const BlendCase c = GetParam();
    auto m = Stage(40, 20);
    m.Define(Box(1, swfw::Rgb(255, 0, 0), 0, 0, 20, 20)).Define(Box(2, c.top, 10, 0, 20, 20));
    m.Place(swfw::PlaceObject::New(1, 1)).Place(swfw::PlaceObject::New(2, 2).Blend(c.mode));
    m.ShowFrame();
    const Picture p = Render(m, 40, 20);
    EXPECT_TRUE(Near(p.At(15, 10), c.overRed)) << c.name;
    EXPECT_TRUE(Near(p.At(25, 10), c.overWhite)) << c.name;
    EXPECT_EQ(p.At(5, 10), kRed) << c.name;
    EXPECT_EQ(p.At(35, 10), kWhite) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Renderer, BlendModes,
    ::testing::Values(BlendCase{"multiply darkens", swfw::BlendMode::Multiply,
                                swfw::Rgb(128, 128, 128), 0xFF800000, 0xFF808080},
                      BlendCase{"screen lightens", swfw::BlendMode::Screen, swfw::Rgb(0, 128, 0),
                                0xFFFF8000, kWhite},
                      BlendCase{"darken keeps the lower channel", swfw::BlendMode::Darken,
                                swfw::Rgb(128, 255, 64), 0xFF800000, 0xFF80FF40},
                      BlendCase{"difference", swfw::BlendMode::Difference, swfw::Rgb(255, 255, 0),
                                0xFF00FF00, kBlue},
                      BlendCase{"subtract takes the top from below", swfw::BlendMode::Subtract,
                                swfw::Rgb(128, 0, 0), 0xFF7F0000, 0xFF7FFFFF},
                      BlendCase{"invert inverts below", swfw::BlendMode::Invert,
                                swfw::Rgb(10, 20, 30), 0xFF00FFFF, 0xFF000000},
                      BlendCase{"alpha outside a layer draws nothing", swfw::BlendMode::Alpha,
                                swfw::Rgb(0, 0, 255), kRed, kWhite},
                      BlendCase{"erase outside a layer draws nothing", swfw::BlendMode::Erase,
                                swfw::Rgb(0, 0, 255), kRed, kWhite}),
    [](const auto& info) { return std::string("case") + std::to_string(info.index); });

// A sprite made a layer: a blue box, and a small box in erase mode that cuts a hole through it
// (and only through it: the stage below shows).
TEST(Layers, EraseInsideALayerCutsAHole) {
    auto m = Stage(40, 40);
    swfw::Sprite group(3);
    group.Place(swfw::PlaceObject::New(1, 1))
        .Place(swfw::PlaceObject::New(2, 2).Blend(swfw::BlendMode::Erase))
        .ShowFrame();
    m.Define(Box(1, swfw::Rgb(0, 0, 255), 0, 0, 40, 40))
        .Define(Box(2, swfw::Rgb(0, 0, 0), 10, 10, 10, 10))
        .Define(Box(4, swfw::Rgb(255, 0, 0), 0, 0, 40, 5))
        .Define(group);
    m.Place(swfw::PlaceObject::New(4, 1))
        .Place(swfw::PlaceObject::New(3, 2).Blend(swfw::BlendMode::Layer))
        .ShowFrame();
    const Picture p = Render(m, 40, 40);
    EXPECT_EQ(p.At(15, 15), kWhite);
    EXPECT_EQ(p.At(30, 30), kBlue);
    EXPECT_EQ(p.At(30, 2), kBlue);  // the layer still covers what lies below it
}

TEST(Layers, AlphaInsideALayerKeepsWhatItCovers) {
    auto m = Stage(40, 40);
    swfw::Sprite group(3);
    group.Place(swfw::PlaceObject::New(1, 1))
        .Place(swfw::PlaceObject::New(2, 2)
                   .Blend(swfw::BlendMode::Alpha)
                   .Colors(swfw::ColorTransform::Alpha(0.5)))
        .ShowFrame();
    m.Define(Box(1, swfw::Rgb(0, 0, 255), 0, 0, 40, 40))
        .Define(Box(2, swfw::Rgb(0, 0, 0), 0, 0, 40, 40))
        .Define(group);
    m.Place(swfw::PlaceObject::New(3, 1).Blend(swfw::BlendMode::Layer)).ShowFrame();
    const Picture p = Render(m, 40, 40);
    EXPECT_TRUE(Near(p.At(20, 20), 0xFF8080FF));  // half the blue kept over white
}

// A faded layer fades as one picture: where its two boxes overlap the lower one does not show.
TEST(Layers, CachedSpriteFadesAsAWhole) {
    auto m = Stage(40, 20);
    swfw::Sprite group(3);
    group.Place(swfw::PlaceObject::New(1, 1)).Place(swfw::PlaceObject::New(2, 2)).ShowFrame();
    m.Define(Box(1, swfw::Rgb(255, 0, 0), 0, 0, 30, 20))
        .Define(Box(2, swfw::Rgb(0, 0, 255), 10, 0, 30, 20))
        .Define(group);
    m.Place(swfw::PlaceObject::New(3, 1).CacheAsBitmap().Colors(swfw::ColorTransform::Alpha(0.5)))
        .ShowFrame();
    const Picture p = Render(m, 40, 20);
    EXPECT_TRUE(Near(p.At(5, 10), 0xFFFF8080));
    EXPECT_TRUE(Near(p.At(20, 10), 0xFF8080FF));
    EXPECT_TRUE(Near(p.At(35, 10), 0xFF8080FF));
}

TEST(Layers, BlendedObjectInsideAMaskStaysInsideIt) {
    auto m = Stage(40, 20);
    m.Define(Box(1, swfw::Rgb(0, 0, 0), 0, 0, 20, 20))  // the mask: left half
        .Define(Box(2, swfw::Rgb(128, 128, 128), 0, 0, 40, 20));
    m.Place(swfw::PlaceObject::New(1, 1).ClipDepth(2))
        .Place(swfw::PlaceObject::New(2, 2).Blend(swfw::BlendMode::Multiply))
        .ShowFrame();
    const Picture p = Render(m, 40, 20);
    EXPECT_TRUE(Near(p.At(10, 10), 0xFF808080));
    EXPECT_EQ(p.At(30, 10), kWhite);
}

// A cached bitmap placed half a pixel off lands on whole pixels: no half-covered edge pixels.
// Its opaque background fills its bounds: the gap between its two boxes.
TEST(Layers, CachedBitmapsLandOnWholePixelsOverTheirBackground) {
    auto m = Stage(40, 20);
    swfw::Sprite pair(3);
    pair.Place(swfw::PlaceObject::New(1, 1)).Place(swfw::PlaceObject::New(2, 2)).ShowFrame();
    m.Define(Box(1, swfw::Rgb(0, 0, 255), 0, 0, 4, 10))
        .Define(Box(2, swfw::Rgb(0, 0, 255), 6, 0, 4, 10))
        .Define(pair);
    auto cached = swfw::PlaceObject::New(3, 1).At(50, 50).CacheAsBitmap();
    cached.opaqueBackground = swfw::Rgb(0, 255, 0);
    m.Place(cached).Place(swfw::PlaceObject::New(1, 2).At(450, 50)).ShowFrame();
    const Picture p = Render(m, 40, 20);
    for (int x : {3, 12}) EXPECT_TRUE(Near(p.At(x, 7), kBlue)) << x;  // both edges whole
    EXPECT_EQ(p.At(2, 7), kWhite);
    EXPECT_EQ(p.At(13, 7), kWhite);
    EXPECT_EQ(p.At(8, 7), 0xFF00FF00u);
    const std::uint32_t plainEdge = p.At(22, 7);  // the plain copy's edge is half covered
    EXPECT_FALSE(Near(plainEdge, kBlue) || Near(plainEdge, kWhite));
}

// The stage's left half is covered by a box that lies mostly off-stage; its shadow, cast to
// the right, still lands on the stage.
TEST(Layers, ObjectsOffThePictureStillCastShadowsIntoIt) {
    auto m = Stage(40, 20);
    m.Define(Box(1, swfw::Rgb(255, 0, 0), -200, 0, 210, 20));
    m.Place(swfw::PlaceObject::New(1, 1).Filters(
                {swfw::Filter::DropShadow(swfw::Rgb(0, 0, 255), 0, 0, 0, 10, 1)}))
        .ShowFrame();
    const Picture p = Render(m, 40, 20);
    EXPECT_EQ(p.At(5, 10), kRed);
    EXPECT_TRUE(Near(p.At(15, 10), kBlue));
    EXPECT_EQ(p.At(25, 10), kWhite);
}

// Thirty sprites inside each other, each a layer with a filter: the deepest ones are drawn
// without their own layers, and the box at the bottom still shows.
TEST(Layers, DeeplyNestedLayersStayBounded) {
    auto m = Stage(20, 20);
    m.Define(Box(1, swfw::Rgb(255, 0, 0), 0, 0, 20, 20));
    for (std::uint16_t id = 2; id < 32; ++id) {
        swfw::Sprite s(id);
        s.Place(swfw::PlaceObject::New(static_cast<std::uint16_t>(id - 1), 1)
                    .Blend(swfw::BlendMode::Layer)
                    .Filters({swfw::Filter::Blur(0, 0)}))
            .ShowFrame();
        m.Define(s);
    }
    m.Place(swfw::PlaceObject::New(31, 1)).ShowFrame();
    const Picture p = Render(m, 20, 20);
    EXPECT_EQ(p.At(10, 10), kRed);
}

TEST(Visibility, HiddenObjectsAndTheirChildrenDrawNothing) {
    auto m = Stage(40, 20);
    swfw::Sprite group(3);
    group.Place(swfw::PlaceObject::New(2, 1)).ShowFrame();
    m.Define(Box(1, swfw::Rgb(255, 0, 0), 0, 0, 20, 20))
        .Define(Box(2, swfw::Rgb(0, 0, 255), 20, 0, 20, 20))
        .Define(group);
    m.Place(swfw::PlaceObject::New(1, 1).Visible(false))
        .Place(swfw::PlaceObject::New(3, 2).Visible(false))
        .ShowFrame()
        .Place(swfw::PlaceObject::Move(1).Visible(true))
        .ShowFrame();
    std::string error;
    auto player = Player::Load(m.Bytes(), &error);
    ASSERT_TRUE(player) << error;
    std::vector<std::uint32_t> px(40 * 20);
    const BufferView view{reinterpret_cast<std::uint8_t*>(px.data()), 40, 20, 160};
    player->Render(view);
    EXPECT_EQ(px[10 * 40 + 10], kWhite);
    EXPECT_EQ(px[10 * 40 + 30], kWhite);
    player->Tick();
    player->Render(view);
    EXPECT_EQ(px[10 * 40 + 10], kRed);  // shown again by a later move
    EXPECT_EQ(px[10 * 40 + 30], kWhite);
}

// ---- Filters -------------------------------------------------------------------------------

TEST(Filters, BlurSpreadsAnEdge) {
    auto m = Stage(60, 20);
    m.Define(Box(1, swfw::Rgb(0, 0, 0), 30, 0, 30, 20));
    m.Place(swfw::PlaceObject::New(1, 1).Filters({swfw::Filter::Blur(10, 10, 1)})).ShowFrame();
    const Picture p = Render(m, 60, 20);
    EXPECT_TRUE(Near(p.At(30, 10), 0xFF808080, 16));  // the edge itself half covered
    EXPECT_LT(Channel(p.At(27, 10), 0), 250);         // spread outwards
    EXPECT_GT(Channel(p.At(33, 10), 0), 5);           // and inwards
    EXPECT_EQ(p.At(10, 10), kWhite);                  // not beyond the box's reach
    EXPECT_EQ(p.At(45, 10), 0xFF000000);
}

struct ShadowCase {
    double angleDegrees;
    int dx, dy;  // where the shadow's corner lands, in pixels, at 2x
};

class DropShadow : public ::testing::TestWithParam<ShadowCase> {};

// A 10 x 10 px red box with a hard shadow 5 px away, drawn at twice the stage size: the shadow
// moves 10 px in the angle's direction.
TEST_P(DropShadow, LandsAtItsDistanceAndAngle) {
    const ShadowCase c = GetParam();
    auto m = Stage(40, 40);
    m.Define(Box(1, swfw::Rgb(255, 0, 0), 15, 15, 10, 10));
    m.Place(swfw::PlaceObject::New(1, 1).Filters({swfw::Filter::DropShadow(
                swfw::Rgb(0, 0, 255), 0, 0, c.angleDegrees * M_PI / 180, 5, 1)}))
        .ShowFrame();
    const Picture p = Render(m, 80, 80);
    EXPECT_EQ(p.At(40, 40), kRed);  // the box stays on top of its shadow
    const int sx = c.dx > 0 ? 50 + c.dx - 2 : c.dx < 0 ? 30 + c.dx + 1 : 40;
    const int sy = c.dy > 0 ? 50 + c.dy - 2 : c.dy < 0 ? 30 + c.dy + 1 : 40;
    EXPECT_TRUE(Near(p.At(sx, sy), kBlue)) << sx << "," << sy;
    const int ox = c.dx > 0 ? 30 - 2 : c.dx < 0 ? 50 + 1 : 40;
    const int oy = c.dy > 0 ? 30 - 2 : c.dy < 0 ? 50 + 1 : 40;
    if (ox != 40 || oy != 40) {
        EXPECT_EQ(p.At(ox, oy), kWhite) << ox << "," << oy;
    }
}

INSTANTIATE_TEST_SUITE_P(Filters, DropShadow,
                         ::testing::Values(ShadowCase{0, 10, 0}, ShadowCase{90, 0, 10},
                                           ShadowCase{180, -10, 0}, ShadowCase{45, 7, 7}));

TEST(Filters, GlowSurroundsAndColourMatrixRecolours) {
    auto m = Stage(60, 20);
    const std::array<float, 20> swap = {0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0};
    m.Define(Box(1, swfw::Rgb(255, 0, 0), 10, 5, 10, 10))
        .Define(Box(2, swfw::Rgb(255, 0, 0), 40, 5, 10, 10));
    m.Place(
         swfw::PlaceObject::New(1, 1).Filters({swfw::Filter::Glow(swfw::Rgb(0, 0, 255), 4, 4, 10)}))
        .Place(swfw::PlaceObject::New(2, 2).Filters({swfw::Filter::ColorMatrix(swap)}))
        .ShowFrame();
    const Picture p = Render(m, 60, 20);
    EXPECT_EQ(p.At(15, 10), kRed);
    EXPECT_TRUE(Near(p.At(9, 10), kBlue, 40));
    EXPECT_TRUE(Near(p.At(21, 10), kBlue, 40));
    EXPECT_TRUE(Near(p.At(45, 10), kBlue));
}

// The widest blur at the most passes over a layer of 4000 x 4000 pixels, many times over:
// bounded work (the frame's filter budget runs out), and the frame still draws.
TEST(Filters, HugeBlursOnHugeLayersAreBounded) {
    swfw::Movie m;
    m.Size(400, 400).Background(swfw::Rgb(255, 255, 255));
    m.Define(Box(1, swfw::Rgb(0, 0, 255), 0, 0, 400, 400))
        .Define(Box(2, swfw::Rgb(255, 0, 0), 0, 0, 20, 20));
    std::vector<swfw::Filter> filters(40, swfw::Filter::Blur(255, 255, 31));
    filters.push_back(swfw::Filter::DropShadow(swfw::Rgb(0, 0, 0), 255, 255, 1, 5000, 255, 31));
    m.Place(swfw::PlaceObject::New(1, 1).Filters(filters))
        .Place(swfw::PlaceObject::New(2, 2))
        .ShowFrame();
    const auto start = std::chrono::steady_clock::now();
    const Picture p = Render(m, 4000, 4000);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 60.0);
    EXPECT_EQ(p.At(100, 100), kRed);
}

// Every filter's fields come back in media units, from the bytes the writer lays down.
TEST(FilterDecoding, ReadsTheStoredFields) {
    auto stored = [](const swfw::Filter& f) { return Filter{f.id, f.data}; };
    const auto bevel = DecodeFilter(stored(swfw::Filter::Bevel(
        swfw::Rgb(1, 2, 3), swfw::Rgb(250, 251, 252), 5.5, 6, 1.5, 7, 2, 3, false, true, true)));
    ASSERT_TRUE(bevel);
    const auto& b = std::get<media::BevelFilter>(*bevel);
    EXPECT_EQ(b.shadowColor, 0xFF010203u);
    EXPECT_EQ(b.highlightColor, 0xFFFAFBFCu);
    EXPECT_DOUBLE_EQ(b.blurX, 5.5);
    EXPECT_NEAR(b.angle, 1.5, 1e-4);
    EXPECT_DOUBLE_EQ(b.distance, 7);
    EXPECT_DOUBLE_EQ(b.strength, 2);
    EXPECT_EQ(b.passes, 3);
    EXPECT_FALSE(b.inner);
    EXPECT_TRUE(b.knockout);
    EXPECT_TRUE(b.onTop);

    const auto blur = DecodeFilter(stored(swfw::Filter::Blur(3, 4, 31)));
    ASSERT_TRUE(blur);
    EXPECT_EQ(std::get<media::BlurFilter>(*blur).passes, 31);

    const auto glow = DecodeFilter(stored(swfw::Filter::GradientGlow(
        {{0, swfw::Rgba(1, 2, 3, 4)}, {200, swfw::Rgb(9, 9, 9)}}, 2, 2, 0, 3, 1, 2, true)));
    ASSERT_TRUE(glow);
    const auto& g = std::get<media::GradientGlowFilter>(*glow);
    ASSERT_EQ(g.stops.size(), 2u);
    EXPECT_EQ(g.stops[0].color, 0x04010203u);
    EXPECT_EQ(g.stops[1].ratio, 200);
    EXPECT_TRUE(g.inner);
    EXPECT_EQ(g.passes, 2);

    const auto convolution = DecodeFilter(stored(
        swfw::Filter::Convolution(3, 1, {1, 2, 3}, 6, 0.5f, swfw::Rgb(0, 0, 0), false, false)));
    ASSERT_TRUE(convolution);
    const auto& c = std::get<media::ConvolutionFilter>(*convolution);
    EXPECT_EQ(c.matrix, (std::vector<float>{1, 2, 3}));
    EXPECT_FALSE(c.clamp);
    EXPECT_FALSE(c.preserveAlpha);
}

// Cut fields, unknown ids and a convolution larger than its bytes decode to nothing; a list
// keeps what decodes, at most as many as it is allowed.
TEST(FilterDecoding, RefusesWhatItCannotRead) {
    for (std::uint8_t id = 0; id < 8; ++id)
        EXPECT_FALSE(DecodeFilter(Filter{id, {0x01, 0x02}})) << int(id);
    EXPECT_FALSE(DecodeFilter(Filter{8, std::vector<std::uint8_t>(80, 0)}));
    EXPECT_FALSE(DecodeFilter(Filter{5, {15, 15, 0, 0, 128, 63, 0, 0, 0, 0}}));
    const swfw::Filter blur = swfw::Filter::Blur(2, 2);
    std::vector<Filter> list(40, Filter{blur.id, blur.data});
    list.insert(list.begin(), Filter{3, {1}});
    EXPECT_EQ(DecodeFilters(list, 16).size(), 16u);
    EXPECT_EQ(DecodeFilters(list, 3).size(), 3u);
}

// ---- Buttons -------------------------------------------------------------------------------

swfw::ButtonRecord Record(std::uint16_t id, std::uint16_t depth, bool up, bool over = false,
                          bool hit = false) {
    swfw::ButtonRecord r;
    r.characterId = id;
    r.depth = depth;
    r.up = up;
    r.over = over;
    r.hitTest = hit;
    return r;
}

// Only the up state draws, with each record's matrix, colours, blend mode and filters; actions
// are read past.
TEST(Buttons, DrawTheirUpStateLikeASprite) {
    auto m = Stage(60, 20);
    m.Define(Box(1, swfw::Rgb(255, 0, 0), 0, 0, 10, 10))
        .Define(Box(2, swfw::Rgb(0, 255, 0), 0, 0, 60, 20))
        .Define(Box(3, swfw::Rgb(128, 128, 128), 0, 0, 10, 10));
    swfw::Button button;
    button.id = 10;
    button.records.push_back(Record(2, 1, false, true, true));  // over and hit area only
    auto moved = Record(1, 2, true);
    moved.matrix = swfw::Matrix::Translate(200, 0);
    button.records.push_back(moved);
    auto tinted = Record(1, 3, true);
    tinted.matrix = swfw::Matrix::Translate(400, 0);
    tinted.colorTransform = swfw::ColorTransform::Tint(0, 0, 1);
    button.records.push_back(tinted);
    auto multiplied = Record(3, 4, true);
    multiplied.matrix = swfw::Matrix::Translate(200, 0);
    multiplied.blendMode = swfw::BlendMode::Multiply;
    multiplied.filters = std::vector<swfw::Filter>{swfw::Filter::Blur(0, 0)};
    button.records.push_back(multiplied);
    swfw::ButtonAction action;
    action.actions.Stop();
    button.actions.push_back(action);
    m.Define(button).Place(swfw::PlaceObject::New(10, 1).At(0, 100)).ShowFrame();
    const Picture p = Render(m, 60, 20);
    EXPECT_EQ(p.At(5, 10), kWhite);               // not the over state
    EXPECT_TRUE(Near(p.At(15, 10), 0xFF800000));  // red, multiplied by grey
    EXPECT_TRUE(Near(p.At(25, 10), 0xFF000000));  // red through a blue-only transform
    EXPECT_EQ(p.At(45, 10), kWhite);
}

// DefineButton (the first form) with DefineButtonCxform colouring its records.
TEST(Buttons, FirstFormTakesItsColourTransformTag) {
    auto m = Stage(20, 20);
    m.Define(Box(1, swfw::Rgb(255, 255, 255), 0, 0, 20, 20));
    swfw::BitWriter button;
    button.U16(10);
    button.U8(0x01);  // up state
    button.U16(1);
    button.U16(1);
    button.U8(0);  // identity matrix
    button.U8(0);  // end of records
    button.U8(0);  // end of actions
    swfw::BitWriter cxform;
    cxform.U16(10);
    cxform.UB(1, 0);  // no additions
    cxform.UB(1, 1);  // multipliers
    cxform.UB(4, 10);
    cxform.SB(10, 0);
    cxform.SB(10, 256);
    cxform.SB(10, 0);
    cxform.Align();
    m.Tag(swfw::RawTag(7, button.Bytes()))
        .Tag(swfw::RawTag(23, cxform.Bytes()))
        .Place(swfw::PlaceObject::New(10, 1))
        .ShowFrame();
    const Picture p = Render(m, 20, 20);
    EXPECT_EQ(p.At(10, 10), 0xFF00FF00);
}

TEST(Buttons, BrokenRecordsKeepWhatWasRead) {
    auto m = Stage(20, 20);
    m.Define(Box(1, swfw::Rgb(255, 0, 0), 0, 0, 20, 20));
    swfw::Button button;
    button.id = 10;
    button.records.push_back(Record(1, 1, true));
    button.records.push_back(Record(1, 2, true));
    swfw::RawTag tag = swfw::EncodeButton(button);
    tag.body.resize(14);  // the second record breaks off after its character id
    m.Tag(tag).Place(swfw::PlaceObject::New(10, 1)).ShowFrame();
    const Picture p = Render(m, 20, 20);
    EXPECT_EQ(p.At(10, 10), kRed);
}

}  // namespace
}  // namespace player
