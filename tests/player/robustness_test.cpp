// Malformed movies: each loads with an error or as a partial movie, then plays and renders
// without crashing, hanging or growing without bound.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "player/decompress.h"
#include "player/limits.h"
#include "player/player.h"
#include "player/reader.h"
#include "player/renderer.h"
#include "player/tags.h"
#include "player/timeline.h"
#include "tests/support/swf_writer.h"

namespace player {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A movie with a bit of everything the engine reads.
swfw::Movie Busy() {
    swfw::Movie m;
    m.Background(swfw::Rgb(10, 20, 30));
    swfw::Shape s(1);
    s.Fill(s.AddFill(
               swfw::FillStyle::Radial(swfw::Matrix::GradientBox(0, 0, 800, 800),
                                       {{0, swfw::Rgb(255, 0, 0)}, {255, swfw::Rgb(0, 0, 255)}})))
        .Line(s.AddLine(swfw::LineStyle::Solid(40, swfw::Rgb(0, 0, 0))))
        .Ellipse(400, 400, 400, 300);
    swfw::Sprite clip(2);
    clip.Place(swfw::PlaceObject::New(1, 1)).ShowFrame();
    clip.Place(swfw::PlaceObject::Move(1).At(100, 0)).Do(swfw::Actions().Play()).ShowFrame();
    m.Define(s).Define(clip);
    m.Place(swfw::PlaceObject::New(1, 1).ClipDepth(3))
        .Place(swfw::PlaceObject::New(2, 2))
        .ShowFrame();
    m.Place(swfw::PlaceObject::Move(2).At(200, 200).Colors(swfw::ColorTransform::Alpha(0.5)))
        .Label("x")
        .ShowFrame();
    m.Remove(1).Do(swfw::Actions().GotoLabel("x")).ShowFrame();
    return m;
}

// Loads, plays a few ticks both ways and renders; returns whether it loaded.
bool Exercise(const Bytes& file) {
    std::string error;
    auto p = Player::Load(file, &error);
    if (!p) {
        EXPECT_FALSE(error.empty());
        return false;
    }
    std::vector<std::uint32_t> pixels(32 * 24);
    BufferView view{reinterpret_cast<std::uint8_t*>(pixels.data()), 32, 24, 32 * 4};
    p->Render(view);
    p->PlayTicksFromStart(5);
    p->Render(view);
    p->GotoFrame(p->TotalFrames() - 1);
    p->GotoFrame(0);
    p->Render(view);
    return true;
}

class Truncated : public ::testing::TestWithParam<swfw::Compression> {};

TEST_P(Truncated, EveryCutLoadsPartlyOrFails) {
    swfw::Movie m = Busy();
    m.compression = GetParam();
    const Bytes whole = m.Bytes();
    std::string error;
    auto full = ReadMovie(whole, &error);
    ASSERT_TRUE(full) << error;
    EXPECT_EQ(full->root.frames.size(), 3u);
    for (std::size_t cut = 0; cut < whole.size(); ++cut) {
        const Bytes part(whole.begin(), whole.begin() + cut);
        auto movie = ReadMovie(part, &error);
        if (movie) {
            EXPECT_LE(movie->root.frames.size(), 3u) << cut;
            // A zlib stream cut inside its trailing checksum still gives the whole movie.
            if (movie->root.frames.size() < 3) EXPECT_TRUE(movie->truncated) << cut;
        }
        Exercise(part);
    }
}

INSTANTIATE_TEST_SUITE_P(Compressions, Truncated,
                         ::testing::Values(swfw::Compression::None, swfw::Compression::Zlib));

TEST(Malformed, TagCutMidwayKeepsTheFramesBefore) {
    const Bytes body = Busy().Body();
    // Cut inside the last tags: the first two frames survive.
    for (std::size_t less = 1; less < 12; ++less) {
        const Bytes cut(body.begin(), body.end() - less);
        std::string error;
        auto movie = ReadMovie(swfw::Pack(swfw::Compression::None, 10, cut), &error);
        ASSERT_TRUE(movie);
        EXPECT_GE(movie->root.frames.size(), 2u) << less;
        EXPECT_TRUE(movie->truncated);
    }
}

TEST(Malformed, LengthFieldsThatLie) {
    swfw::Movie m;
    m.Define([] {
         swfw::Shape s(1);
         s.Fill(s.AddFill(swfw::FillStyle::Solid(swfw::Rgb(1, 2, 3)))).Rectangle(0, 0, 100, 100);
         return s;
     }())
        .ShowFrame();
    m.Tag(swfw::RawTag(777, {1, 2, 3}, true, 0x7FFFFFFF));  // claims 2 GB
    m.ShowFrame();
    m.declaredLength = 0xFFFFFF;  // header claims more than the file holds
    auto movie = ReadMovie(m.Bytes(), static_cast<LoadError*>(nullptr));
    ASSERT_TRUE(movie);
    EXPECT_EQ(movie->root.frames.size(), 1u);
    EXPECT_FALSE(movie->problems.empty());

    // A tag body that is shorter than its fields: read raw, the movie goes on.
    swfw::Movie shortTag;
    shortTag.Tag(swfw::RawTag(swfw::kPlaceObject2, {0x06, 0x01})).ShowFrame().ShowFrame();
    auto second = ReadMovie(shortTag.Bytes(), static_cast<LoadError*>(nullptr));
    ASSERT_TRUE(second);
    EXPECT_EQ(second->root.frames.size(), 2u);
    EXPECT_FALSE(second->problems.empty());
    EXPECT_TRUE(Exercise(shortTag.Bytes()));
}

TEST(Malformed, ThirtyOneBitFieldsAndExtremeStages) {
    for (const swfw::Rect stage : {swfw::Rect{0, 0, 0, 0}, swfw::Rect{0, 2000000, 0, 2000000},
                                   swfw::Rect{-0x3FFFFFFF, 0x3FFFFFFF, -0x3FFFFFFF, 0x3FFFFFFF},
                                   swfw::Rect{500, 100, 500, 100}}) {
        swfw::Movie m;
        m.stage = stage;
        swfw::Shape s(1);
        s.Fill(s.AddFill(swfw::FillStyle::Solid(swfw::Rgb(255, 0, 0))))
            .Rectangle(-0x3FFFFFF, -0x3FFFFFF, 0x7FFFFFF, 0x7FFFFFF);
        m.Define(s)
            .Place(swfw::PlaceObject::New(1, 1).With(
                swfw::Matrix::Affine(30000.0, -30000.0, 30000.0, 30000.0, 0x3FFFFFFF, -0x3FFFFFFF)))
            .ShowFrame();
        EXPECT_TRUE(Exercise(m.Bytes()));
    }
}

TEST(Malformed, SixtyFiveThousandFrames) {
    swfw::Movie m;
    for (int i = 0; i < 65535; ++i) m.ShowFrame();
    std::string error;
    auto p = Player::Load(m.Bytes(), &error);
    ASSERT_TRUE(p) << error;
    EXPECT_EQ(p->TotalFrames(), 65535);
    p->GotoFrame(65534);
    EXPECT_EQ(p->CurrentFrame(), 65534);
    // One frame more than the engine keeps: dropped, with a note.
    m.ShowFrame();
    auto more = ReadMovie(m.Bytes(), &error);
    ASSERT_TRUE(more);
    EXPECT_EQ(more->root.frames.size(), std::size_t(Limits{}.maxFramesPerTimeline));
}

TEST(Malformed, CompressedBombsAreCapped) {
    // Declares 4 GB: refused before inflating anything.
    const Bytes zeros(4096, 0);
    std::string error;
    EXPECT_FALSE(ReadMovie(swfw::Pack(swfw::Compression::Zlib, 10, zeros, 0xFFFFFFFF), &error));
    EXPECT_EQ(error, DecompressErrorName(DecompressError::kTooLarge));
    EXPECT_FALSE(ReadMovie(swfw::Pack(swfw::Compression::Lzma, 13, zeros, 0xFFFFFFFF), &error));

    // Declares little (or nothing) but holds much more: read whole, as a plain body is, and
    // not counted as cut short.
    const Bytes big(8u << 20, 0);
    for (const std::uint32_t declared : {8u + 1000u, 0u}) {
        MovieBody body;
        ASSERT_EQ(DecompressMovie(swfw::Pack(swfw::Compression::Zlib, 10, big, declared), &body),
                  DecompressError::kNone);
        EXPECT_EQ(body.bytes.size(), big.size()) << declared;
        EXPECT_FALSE(body.truncated) << declared;
    }
}

// Bodies of several megabytes decode whole through both compressions, and a length field that
// lies large (within the cap) costs only what the stream holds.
class CompressedBody : public ::testing::TestWithParam<swfw::Compression> {};

TEST_P(CompressedBody, DecodesWholeAndTakesNoMoreThanTheStreamHolds) {
    Bytes data(3u << 20);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 7 + i / 4099);
    MovieBody body;
    ASSERT_EQ(DecompressMovie(swfw::Pack(GetParam(), 13, data), &body), DecompressError::kNone);
    EXPECT_EQ(body.bytes, data);
    EXPECT_FALSE(body.truncated);

    const Bytes small(1000, 9);
    ASSERT_EQ(DecompressMovie(swfw::Pack(GetParam(), 13, small, 200u << 20), &body),
              DecompressError::kNone);
    EXPECT_EQ(body.bytes, small);
    EXPECT_TRUE(body.truncated);
    EXPECT_LT(body.bytes.capacity(), 1u << 20);
}

INSTANTIATE_TEST_SUITE_P(Compressions, CompressedBody,
                         ::testing::Values(swfw::Compression::Zlib, swfw::Compression::Lzma));

TEST(Malformed, ModelStopsGrowingAtItsBudget) {
    // Many tiny edges: each costs a few bits in the file and far more in the model.
    swfw::Shape s(1);
    s.Line(s.AddLine(swfw::LineStyle::Solid(20, swfw::Rgb(0, 0, 0)))).MoveTo(0, 0);
    for (int i = 0; i < 20000; ++i) s.LineTo((i + 1) % 2, i / 2);
    swfw::Movie m;
    m.Define(s).Place(swfw::PlaceObject::New(1, 1)).ShowFrame().ShowFrame();
    const swfw::RawTag raw = swfw::EncodeShape(s);
    Limits halfTheEdges;
    halfTheEdges.maxModelBytes = 20000 * sizeof(ShapeRecord) / 2;
    ModelBudget small(halfTheEdges);
    std::string problem;
    Tag tag = ReadTag(raw.code, raw.body, 0, small, &problem);
    ASSERT_TRUE(std::holds_alternative<Shape>(tag));
    EXPECT_LT(std::get<Shape>(tag).records.size(), 20000u / 2 + 1);
    EXPECT_TRUE(small.Exhausted());

    Timeline timeline;
    std::vector<std::string> problems;
    Limits oneFrame;
    oneFrame.maxModelBytes = sizeof(Frame) + 10;
    ModelBudget tiny(oneFrame);
    const Bytes body = m.Body();  // stage rect (9 bytes for 550 x 400), rate, count, tags
    ReadTimeline(std::span(body).subspan(13), 0, tiny, &timeline, &problems);
    EXPECT_LE(timeline.frames.size(), 1u);
    EXPECT_FALSE(problems.empty());
}

TEST(Malformed, SpriteDefinedInsideASpriteIsKeptRaw) {
    swfw::Sprite inner(3);
    inner.ShowFrame();
    swfw::Sprite outer(2);
    outer.Define(inner).ShowFrame();
    swfw::Movie m;
    m.Define(outer).Place(swfw::PlaceObject::New(2, 1)).ShowFrame();
    auto movie = ReadMovie(m.Bytes(), static_cast<LoadError*>(nullptr));
    ASSERT_TRUE(movie);
    EXPECT_FALSE(movie->Find(3));
    EXPECT_TRUE(Exercise(m.Bytes()));
}

TEST(Malformed, GarbageTagBodiesNeverCrash) {
    // Every modelled tag code with a body of pseudo-random bytes.
    std::uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1103515245u + 12345u, std::uint8_t(seed >> 16); };
    for (std::uint16_t code : {2, 4, 5, 9, 12, 22, 26, 28, 32, 39, 43, 70, 83}) {
        for (int round = 0; round < 40; ++round) {
            Bytes body(1 + round * 3);
            for (auto& b : body) b = next();
            swfw::Movie m;
            m.Tag(swfw::RawTag(code, body)).ShowFrame();
            Exercise(m.Bytes());
        }
    }
}

// Found by fuzzing (a timeout under the sanitizers): a 40 x 30 picture and objects whose drop
// shadows reach about a thousand pixels. Each layer held the clip grown by that reach on every
// side (334 M units of drawing work a frame); content can reach the picture only from the side
// the shadow comes from, and the frame now counts 127 M.
const Bytes kFarShadowMovie = {
    0x43, 0x57, 0x53, 0x0A, 0x8A, 0x01, 0x00, 0x00, 0x78, 0xDA, 0x9D, 0x50, 0xB1, 0x4A, 0x03, 0x41,
    0x10, 0x7D, 0x33, 0x93, 0x6C, 0x2E, 0x41, 0x48, 0xAE, 0x17, 0xC2, 0x59, 0x59, 0xD8, 0x29, 0xB6,
    0x86, 0xA4, 0xB7, 0x4D, 0xDA, 0x80, 0x16, 0x69, 0x0E, 0x39, 0xAF, 0x15, 0xCE, 0x42, 0x03, 0x5A,
    0x0A, 0xD6, 0xC9, 0x37, 0xE4, 0x03, 0x14, 0x8B, 0x90, 0x5A, 0x10, 0x4C, 0x7E, 0x66, 0xF3, 0x76,
    0x25, 0x62, 0x5A, 0xDF, 0x32, 0x3B, 0xB3, 0x6F, 0xDF, 0x0C, 0x8F, 0x19, 0xE1, 0x0A, 0x72, 0x02,
    0x1C, 0x28, 0x06, 0xEA, 0xBD, 0x9F, 0x41, 0x30, 0xFC, 0xFE, 0xBC, 0x7B, 0x62, 0x06, 0xBC, 0x1C,
    0xF3, 0x46, 0x7A, 0xD6, 0xB5, 0xEC, 0xE3, 0xF5, 0xE6, 0xF2, 0xF0, 0x7C, 0x86, 0x75, 0x53, 0xA1,
    0x78, 0x70, 0x2A, 0x94, 0xF4, 0xF0, 0xE8, 0xEA, 0x82, 0xCE, 0x8A, 0x15, 0xF0, 0xD5, 0x34, 0x72,
    0xCF, 0xEE, 0x48, 0xA8, 0x98, 0xE4, 0xF9, 0x75, 0x11, 0xE9, 0x97, 0xA4, 0x06, 0xB4, 0xD0, 0x96,
    0x38, 0x93, 0x48, 0xD0, 0xC0, 0xD4, 0xF5, 0x05, 0xC6, 0x33, 0x4D, 0x55, 0x15, 0x35, 0xD8, 0x5B,
    0xBA, 0xE1, 0x9F, 0x4A, 0x98, 0xE1, 0xA8, 0x64, 0x13, 0xA3, 0x13, 0x1A, 0x56, 0xA0, 0x30, 0xC4,
    0xE9, 0x02, 0x91, 0x85, 0x64, 0x74, 0x0B, 0x4D, 0x3D, 0x62, 0x68, 0x66, 0x74, 0xEF, 0x83, 0xE7,
    0x1D, 0xF7, 0xA3, 0x65, 0x2D, 0xF3, 0xBA, 0xB1, 0xBD, 0xBA, 0xC0, 0x2F, 0x76, 0x75, 0xC8, 0xD5,
    0xFB, 0xFE, 0x3B, 0xC2, 0x9B, 0xDB, 0xEF, 0xF8, 0x8B, 0xFF, 0xF1, 0xCB, 0xD6, 0x6D, 0x39, 0x2E,
    0x4A, 0xAE, 0xA4, 0x61, 0xF7, 0xC1, 0xA2, 0x88, 0xDB, 0xD9, 0x02, 0x47, 0x47, 0x30, 0xAA,
};

TEST(Fuzzed, FarShadowsOverATinyPictureLayerOnlyWhatReachesIt) {
    std::string error;
    auto movie = ReadMovie(kFarShadowMovie, &error);
    ASSERT_TRUE(movie) << error;
    MovieState state(movie);
    Renderer renderer;
    std::vector<std::uint32_t> pixels(40 * 30);
    for (int frame = 0; frame < 3; ++frame) {
        renderer.Render(state, {reinterpret_cast<std::uint8_t*>(pixels.data()), 40, 30, 160});
        EXPECT_LT(renderer.LastFrameWork(), 200'000'000) << frame;
        EXPECT_EQ(renderer.FramesCut(), 0u);
        state.Tick(true, false);
    }
}

// A caller's Limits hold for the whole life of the movie loaded under them — reading,
// playing, drawing and restarts — and leave every other load at the defaults.
TEST(Limits, HoldPerLoad) {
    swfw::Shape box(1);
    box.Fill(box.AddFill(swfw::FillStyle::Solid(swfw::Rgb(9, 9, 9)))).Rectangle(0, 0, 100, 100);
    swfw::Movie m;
    m.Define(box);
    for (std::uint16_t depth = 1; depth <= 5; ++depth)
        m.Place(swfw::PlaceObject::New(1, depth)).ShowFrame();
    const Bytes bytes = m.Bytes();

    Limits threeFrames;
    threeFrames.maxFramesPerTimeline = 3;
    std::string error;
    auto capped = Player::Load(bytes, &error, threeFrames);
    ASSERT_TRUE(capped) << error;
    EXPECT_EQ(capped->TotalFrames(), 3);
    EXPECT_EQ(capped->Restart()->Caps().maxFramesPerTimeline, 3);
    EXPECT_EQ(Player::Load(bytes, &error)->TotalFrames(), 5);

    Limits smallBody;
    smallBody.maxMovieBytes = bytes.size() / 2;
    LoadFailure failure;
    EXPECT_FALSE(Player::Load(bytes, &failure, smallBody));
    EXPECT_EQ(failure.error, LoadError::kBodyTooLarge);
}

}  // namespace
}  // namespace player
