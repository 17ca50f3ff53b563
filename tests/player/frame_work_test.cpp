// The renderer's per-frame work caps, lowered so small movies reach them: what passes a cap is
// left out of that frame only, the rest of the frame and the next frames still draw, and the
// cut is reported.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "player/reader.h"
#include "player/renderer.h"
#include "player/timeline.h"
#include "tests/support/swf_writer.h"

namespace player {
namespace {

constexpr std::uint32_t kWhite = 0xFFFFFFFF, kRed = 0xFFFF0000, kBlue = 0xFF0000FF,
                        kGreen = 0xFF00FF00;

struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t At(int x, int y) const { return pixels[std::size_t(y) * width + x]; }
};

// One movie drawn frame after frame by one renderer under the given limits.
class Drawing {
  public:
    Drawing(const swfw::Movie& m, const Limits& limits) : renderer_(limits) {
        std::string error;
        movie_ = ReadMovie(m.Bytes(), &error);
        EXPECT_TRUE(movie_) << error;
        state_ = std::make_unique<MovieState>(movie_);
    }
    Picture Draw(int width, int height) {
        Picture pic{width, height, std::vector<std::uint32_t>(std::size_t(width) * height, 0)};
        renderer_.Render(*state_, {reinterpret_cast<std::uint8_t*>(pic.pixels.data()), width,
                                   height, width * 4});
        return pic;
    }
    const std::vector<std::string>& Problems() const { return renderer_.Problems(); }
    std::size_t FramesCut() const { return renderer_.FramesCut(); }
    std::int64_t LastFrameWork() const { return renderer_.LastFrameWork(); }

  private:
    std::shared_ptr<const Movie> movie_;
    std::unique_ptr<MovieState> state_;
    Renderer renderer_;
};

swfw::Movie Stage() {
    swfw::Movie m;
    m.Size(40, 20).Background(swfw::Rgb(255, 255, 255));
    return m;
}

swfw::Shape Square(std::uint16_t id, swfw::Color color, int x) {
    swfw::Shape s(id);
    s.Fill(s.AddFill(swfw::FillStyle::Solid(color))).Rectangle(x * 20, 0, 200, 200);
    return s;
}

// Blue at x 0..10 px placed at depth 1, red at x 20..30 px at depth 2.
swfw::Movie TwoSquares() {
    auto m = Stage();
    m.Define(Square(1, swfw::Rgb(0, 0, 255), 0)).Define(Square(2, swfw::Rgb(255, 0, 0), 20));
    m.Place(swfw::PlaceObject::New(1, 1)).Place(swfw::PlaceObject::New(2, 2)).ShowFrame();
    return m;
}

bool Mentions(const std::vector<std::string>& problems, const std::string& what) {
    for (const std::string& p : problems)
        if (p.find(what) != std::string::npos) return true;
    return false;
}

TEST(FrameWork, EdgesPastTheCapLeaveTheRestOfThatFrameOut) {
    const swfw::Movie m = TwoSquares();
    Drawing plenty(m, {});
    const Picture all = plenty.Draw(40, 20);
    EXPECT_EQ(all.At(5, 5), kBlue);
    EXPECT_EQ(all.At(25, 5), kRed);
    EXPECT_TRUE(plenty.Problems().empty());

    // Room for one square's records but not two.
    Limits one;
    one.maxEdgesPerFrame = 7;
    Drawing cut(m, one);
    for (int frame = 0; frame < 2; ++frame) {  // the budget is per frame, not per renderer
        const Picture p = cut.Draw(40, 20);
        EXPECT_EQ(p.At(5, 5), kBlue) << frame;
        EXPECT_EQ(p.At(25, 5), kWhite) << frame;
    }
    EXPECT_TRUE(Mentions(cut.Problems(), "shape edges"));
    EXPECT_EQ(cut.Problems().size(), 1u);  // noted once, not per frame
}

TEST(FrameWork, MaskGroupsPastTheCapLeaveTheirContentOutAndTheRestDraws) {
    auto m = Stage();
    m.Define(Square(1, swfw::Rgb(0, 0, 255), 0))
        .Define(Square(2, swfw::Rgb(255, 0, 0), 0))
        .Define(Square(3, swfw::Rgb(0, 255, 0), 25));
    m.Place(swfw::PlaceObject::New(1, 1).ClipDepth(2))
        .Place(swfw::PlaceObject::New(2, 2))
        .Place(swfw::PlaceObject::New(3, 3))
        .ShowFrame();
    Drawing plenty(m, {});
    EXPECT_EQ(plenty.Draw(40, 20).At(5, 5), kRed);

    Limits few;
    few.maxGroupPixelsPerFrame = 100;  // less than two groups the size of the 40 x 20 picture
    Drawing cut(m, few);
    const Picture p = cut.Draw(40, 20);
    EXPECT_EQ(p.At(5, 5), kWhite);
    EXPECT_EQ(p.At(30, 5), kGreen);
    EXPECT_TRUE(Mentions(cut.Problems(), "offscreen layers"));
}

swfw::Shape BitmapSquare(std::uint16_t id, std::uint16_t bitmapId, int x) {
    swfw::Shape s(id);
    const auto fill = swfw::FillStyle::Bitmap(
        bitmapId, swfw::Matrix::Affine(20 * 5, 0, 0, 20 * 5, x * 20, 0), true, false);
    s.Fill(s.AddFill(fill)).Rectangle(x * 20, 0, 200, 200);
    return s;
}

TEST(FrameWork, DecodedBitmapsPastTheCapAreLeftOutOfTheFrameAndTheCacheStartsOver) {
    auto m = Stage();
    m.Define(swfw::Bitmap::Argb(1, 2, 2, {kRed, kRed, kRed, kRed}, false))
        .Define(swfw::Bitmap::Argb(2, 2, 2, {kBlue, kBlue, kBlue, kBlue}, false))
        .Define(BitmapSquare(3, 1, 0))
        .Define(BitmapSquare(4, 2, 20));
    m.Place(swfw::PlaceObject::New(3, 1)).Place(swfw::PlaceObject::New(4, 2)).ShowFrame();

    Limits small;
    small.maxDecodedBitmapBytes = 8;  // one 2 x 2 bitmap is 16 bytes
    Drawing cut(m, small);
    for (int frame = 0; frame < 3; ++frame) {
        const Picture p = cut.Draw(40, 20);
        EXPECT_EQ(p.At(5, 5), kRed) << frame;     // decoded again each frame
        EXPECT_EQ(p.At(25, 5), kWhite) << frame;  // never fits
    }
    EXPECT_TRUE(Mentions(cut.Problems(), "decoded bitmaps"));

    Drawing plenty(m, {});
    EXPECT_EQ(plenty.Draw(40, 20).At(25, 5), kBlue);
}

// The drawing-work budget, lowered: the 40 x 20 background costs 800 units and each
// 10 x 10 square (its 11 x 11 pixel box) 121 more.
TEST(FrameWork, DrawingWorkPastTheBudgetKeepsWhatWasDrawnAndNotesIt) {
    const swfw::Movie m = TwoSquares();
    Drawing plenty(m, {});
    plenty.Draw(40, 20);
    EXPECT_EQ(plenty.FramesCut(), 0u);

    Limits tight;
    tight.maxPixelWorkPerFrame = 800 + 121 + 60;  // the background and the first square
    Drawing cut(m, tight);
    for (int frame = 0; frame < 3; ++frame) {
        const Picture p = cut.Draw(40, 20);
        EXPECT_EQ(p.At(5, 5), kBlue) << frame;
        EXPECT_EQ(p.At(25, 5), kWhite) << frame;
        EXPECT_EQ(cut.FramesCut(), std::size_t(frame) + 1);  // every frame counts anew
    }
    EXPECT_TRUE(Mentions(cut.Problems(), "drawing work"));
    EXPECT_EQ(cut.Problems().size(), 1u);
}

// Filters are what a frame can do without: past the budget an object is drawn unfiltered and
// the objects after it still draw.
TEST(FrameWork, FiltersPastTheBudgetAreLeftOutAndTheFrameGoesOn) {
    auto m = Stage();
    m.Define(Square(1, swfw::Rgb(0, 0, 255), 0)).Define(Square(2, swfw::Rgb(255, 0, 0), 20));
    m.Place(swfw::PlaceObject::New(1, 1).Filters({swfw::Filter::Blur(8, 8, 1)}))
        .Place(swfw::PlaceObject::New(2, 2))
        .ShowFrame();
    Drawing blurred(m, {});
    const Picture soft = blurred.Draw(40, 20);
    EXPECT_NE(soft.At(0, 0), kBlue) << "the blur spreads the square's corner";

    Limits noFilters;
    noFilters.maxPixelWorkPerFrame = 8000;  // layers and squares, but no filter pass over a layer
    Drawing plain(m, noFilters);
    const Picture p = plain.Draw(40, 20);
    EXPECT_EQ(p.At(0, 0), kBlue);
    EXPECT_EQ(p.At(25, 5), kRed);
    EXPECT_EQ(plain.FramesCut(), 0u);
}

// A drop shadow cast far to the right: the layer holds what can reach the picture, the clip
// grown only on the side the shadow comes from. An object outside the picture still casts its
// shadow into it, and one inside costs no layer for where its shadow falls outside.
TEST(FrameWork, FarShadowsLayerOnlyWhatReachesThePicture) {
    const double kRight = 0.0;  // radians
    auto shadowed = [&](int x) {
        auto m = Stage();
        m.Define(Square(1, swfw::Rgb(0, 0, 255), 0));
        m.Place(swfw::PlaceObject::New(1, 1).At(x * 20, 0).Filters(
                    {swfw::Filter::DropShadow(swfw::Rgb(255, 0, 0), 0, 0, kRight, 520, 1)}))
            .ShowFrame();
        return m;
    };
    Drawing outside(shadowed(-500), {});
    const Picture cast = outside.Draw(40, 20);
    EXPECT_EQ(cast.At(25, 5), kRed) << "the shadow of an object left of the picture";
    EXPECT_EQ(cast.At(5, 5), kWhite);

    Drawing inside(shadowed(0), {});
    const Picture own = inside.Draw(40, 20);
    EXPECT_EQ(own.At(5, 5), kBlue);
    // The background, a layer of the picture's width and the filter over it: far below the
    // 530-pixel-wide layer the shadow's whole reach would take.
    EXPECT_LT(inside.LastFrameWork(), 40000);
}

}  // namespace
}  // namespace player
