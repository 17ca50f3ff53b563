// Drawing quality: at low quality nothing the renderer draws (shapes, strokes, layers, bitmaps,
// device text) is anti-aliased or smoothed, so a picture holds only the colours the movie names;
// the default still blends its edges.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "player/player.h"
#include "tests/support/swf_writer.h"

namespace player {
namespace {

constexpr int kSide = 40;

// The distinct pixel values of the movie's first frame drawn at the quality.
std::set<std::uint32_t> ColoursOf(const swfw::Movie& m, Quality quality) {
    std::string error;
    auto p = Player::Load(m.Bytes(), &error);
    EXPECT_TRUE(p) << error;
    if (!p) return {};
    p->SetQuality(quality);
    // Restarting keeps the quality: the picture below is drawn by the restarted player.
    p = p->Restart();
    std::vector<std::uint32_t> pixels(kSide * kSide, 0);
    p->Render({reinterpret_cast<std::uint8_t*>(pixels.data()), kSide, kSide, kSide * 4});
    return {pixels.begin(), pixels.end()};
}

swfw::Movie WhiteStage() {
    swfw::Movie m;
    m.Size(kSide, kSide).Background(swfw::Rgb(255, 255, 255));
    return m;
}

// A red triangle whose long side runs diagonally across the stage.
swfw::Shape Triangle() {
    swfw::Shape s(1);
    s.Fill(s.AddFill(swfw::FillStyle::Solid(swfw::Rgb(255, 0, 0))))
        .Polygon({{0, 0}, {kSide * 20, 0}, {0, kSide * 20}});
    return s;
}

swfw::Movie FilledEdge() {
    auto m = WhiteStage();
    m.Define(Triangle()).Place(swfw::PlaceObject::New(1, 1)).ShowFrame();
    return m;
}

swfw::Movie StrokedDiagonal() {
    auto m = WhiteStage();
    swfw::Shape s(1);
    s.Line(s.AddLine(swfw::LineStyle::Solid(60, swfw::Rgb(0, 0, 0))))
        .MoveTo(100, 100)
        .LineTo(kSide * 20 - 100, kSide * 20 - 300);
    m.Define(s).Place(swfw::PlaceObject::New(1, 1)).ShowFrame();
    return m;
}

// Drawn through an off-screen layer (a blend mode).
swfw::Movie LayeredEdge() {
    auto m = WhiteStage();
    m.Define(Triangle())
        .Place(swfw::PlaceObject::New(1, 1).Blend(swfw::BlendMode::Multiply))
        .ShowFrame();
    return m;
}

// Two bitmap pixels, red and blue, stretched over the stage with smoothing asked for.
swfw::Movie SmoothedBitmap() {
    auto m = WhiteStage();
    m.Define(swfw::Bitmap::Argb(2, 2, 1, {0xFFFF0000, 0xFF0000FF}, false));
    swfw::Shape s(1);
    s.Fill(s.AddFill(swfw::FillStyle::Bitmap(
               2, swfw::Matrix::Affine(kSide * 10, 0, 0, kSide * 20, 0, 0), false, true)))
        .Rectangle(0, 0, kSide * 20, kSide * 20);
    m.Define(s).Place(swfw::PlaceObject::New(1, 1)).ShowFrame();
    return m;
}

// A text field in the system's sans-serif font, black on white.
swfw::Movie DeviceText() {
    auto m = WhiteStage();
    swfw::EditText f;
    f.id = 2;
    f.bounds = {0, kSide * 20, 0, kSide * 20};
    f.fontId = 1;
    f.fontHeight = 500;
    f.color = swfw::Rgb(0, 0, 0);
    f.text = "Wo";
    f.readOnly = true;
    m.Define(swfw::DeviceFont{1, "_sans"}).Define(f);
    m.Place(swfw::PlaceObject::New(2, 1)).ShowFrame();
    return m;
}

struct Case {
    const char* name;
    swfw::Movie (*movie)();
};

class QualityCase : public ::testing::TestWithParam<Case> {};

TEST_P(QualityCase, LowDrawsOnlyTheTwoColoursHighBlendsThem) {
    const swfw::Movie m = GetParam().movie();
    EXPECT_EQ(ColoursOf(m, Quality::kLow).size(), 2u);
    EXPECT_GT(ColoursOf(m, Quality::kHigh).size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Quality, QualityCase,
                         ::testing::Values(Case{"FilledEdge", FilledEdge},
                                           Case{"StrokedDiagonal", StrokedDiagonal},
                                           Case{"LayeredEdge", LayeredEdge},
                                           Case{"SmoothedBitmap", SmoothedBitmap},
                                           Case{"DeviceText", DeviceText}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Quality, DefaultIsHigh) {
    std::string error;
    auto p = Player::Load(FilledEdge().Bytes(), &error);
    ASSERT_TRUE(p) << error;
    EXPECT_EQ(p->GetQuality(), Quality::kHigh);
}

}  // namespace
}  // namespace player
