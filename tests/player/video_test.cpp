// Embedded video: streams and frames read into the model (root and sprites), placed streams
// drawn by pixels (where the matrix puts them, which frame the ratio picks, colour transforms,
// clipping, sampling), seeking from key frames with the picture cache, and broken streams that draw
// nothing while the rest of the frame renders.
#include "player/video.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "player/media/image.h"
#include "player/player.h"
#include "player/reader.h"
#include "tests/support/swf_writer.h"
#include "tests/support/video_encoder.h"

namespace player {
namespace {

constexpr int kVideoSize = 32;
constexpr std::uint16_t kStreamId = 1;

// The quadrant colour (opaque ARGB) of picture `frame` at video pixel (x, y).
std::uint32_t Expected(int x, int y, int frame) {
    return 0xFF000000u | swfw::QuadrantPicture(x, y, frame, kVideoSize, kVideoSize);
}

bool Near(std::uint32_t a, std::uint32_t b, int tolerance = 16) {
    for (int shift = 0; shift < 32; shift += 8) {
        if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > tolerance) return false;
    }
    return true;
}

// Frames of the quadrant pattern, a key frame every `keyInterval`; shared between tests.
const std::vector<swfw::Buffer>& Frames(int keyInterval = 4) {
    static std::map<int, std::vector<swfw::Buffer>> encoded;
    auto& frames = encoded[keyInterval];
    if (frames.empty())
        frames = swfw::EncodeVideo(
            swfw::VideoCodec::H263, kVideoSize, kVideoSize, 8,
            [](int x, int y, int n) {
                return swfw::QuadrantPicture(x, y, n, kVideoSize, kVideoSize);
            },
            keyInterval);
    return frames;
}

swfw::VideoStream Stream(swfw::VideoCodec codec = swfw::VideoCodec::H263, int frames = 8) {
    swfw::VideoStream s;
    s.id = kStreamId;
    s.frameCount = static_cast<std::uint16_t>(frames);
    s.width = s.height = kVideoSize;
    s.codec = codec;
    return s;
}

swfw::Shape Square(std::uint16_t id, swfw::Color color, int x, int y, int sizePx) {
    swfw::Shape s(id);
    s.Fill(s.AddFill(swfw::FillStyle::Solid(color)))
        .Rectangle(x * 20, y * 20, sizePx * 20, sizePx * 20);
    return s;
}

// A 100 x 100 stage: a green square at (80, 80), the stream placed at depth 2 by `place`,
// then one movie frame per stream frame, each moving the video to the ratio of its number.
swfw::Movie VideoMovie(const std::vector<swfw::Buffer>& data, swfw::PlaceObject place,
                       swfw::VideoStream stream = Stream()) {
    swfw::Movie m;
    m.Size(100, 100).Background(swfw::Rgb(255, 255, 255));
    m.Define(Square(2, swfw::Rgb(0, 200, 0), 80, 80, 10)).Define(stream);
    m.Place(swfw::PlaceObject::New(2, 1));
    m.Place(place);
    for (std::size_t n = 0; n < data.size(); ++n) {
        m.Video({kStreamId, static_cast<std::uint16_t>(n), data[n]});
        if (n > 0) m.Place(swfw::PlaceObject::Move(2).Ratio(static_cast<std::uint16_t>(n)));
        m.ShowFrame();
    }
    return m;
}

struct Picture {
    std::vector<std::uint32_t> pixels = std::vector<std::uint32_t>(100 * 100, 0);
    std::uint32_t At(int x, int y) const { return pixels[std::size_t(y) * 100 + x]; }
};

Picture Draw(Player& p) {
    Picture pic;
    p.Render({reinterpret_cast<std::uint8_t*>(pic.pixels.data()), 100, 100, 400});
    return pic;
}

std::unique_ptr<Player> Load(const swfw::Movie& m) {
    std::string error;
    auto p = Player::Load(m.Bytes(), &error);
    EXPECT_TRUE(p) << error;
    return p;
}

// The video's four quadrants, sampled away from their edges, show picture `frame` when the
// video's corner is at (left, top) drawn `scale` times its size.
void ExpectPicture(const Picture& pic, int frame, int left, int top, int scale = 1) {
    for (const auto& [x, y] :
         {std::pair{6, 6}, std::pair{26, 6}, std::pair{6, 26}, std::pair{26, 26}})
        EXPECT_TRUE(Near(pic.At(left + x * scale, top + y * scale), Expected(x, y, frame)))
            << "frame " << frame << " at video pixel " << x << "," << y << ": " << std::hex
            << pic.At(left + x * scale, top + y * scale);
}

void ExpectSquareDrawn(const Picture& pic) {
    EXPECT_EQ(pic.At(85, 85), 0xFF00C800u);
}

#define REQUIRE_ENCODER() \
    if (Frames().empty()) GTEST_SKIP() << "libavcodec has no flv encoder"

TEST(VideoModel, StreamsAndFramesFromRootAndSprites) {
    REQUIRE_ENCODER();
    swfw::VideoStream stream = Stream();
    stream.deblocking = 3;
    stream.smoothing = true;
    swfw::Sprite clip(5);
    clip.Video({kStreamId, 2, {7, 8}}).ShowFrame();
    swfw::Movie m;
    m.Video({kStreamId, 0, {1, 2, 3}})  // before its stream: still filed
        .Define(stream)
        .Define(clip)
        .Video({kStreamId, 1, {4, 5}})
        .Video({kStreamId, 1, {9}})  // a repeated number: the first one stays
        .Video({9, 0, {}})
        .ShowFrame();
    std::string error;
    auto movie = ReadMovie(m.Bytes(), &error);
    ASSERT_TRUE(movie) << error;
    const auto* s = std::get_if<VideoStream>(movie->Find(kStreamId));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->frameCount, 8);
    EXPECT_EQ(s->width, kVideoSize);
    EXPECT_EQ(s->height, kVideoSize);
    EXPECT_EQ(s->deblocking, 3);
    EXPECT_TRUE(s->smoothing);
    EXPECT_EQ(s->codecId, 2);
    const VideoFrames& frames = movie->videoFrames.at(kStreamId);
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames.at(0), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(frames.at(1), (std::vector<std::uint8_t>{4, 5}));
    EXPECT_EQ(frames.at(2), (std::vector<std::uint8_t>{7, 8}));
    EXPECT_TRUE(movie->videoFrames.at(9).at(0).empty());
    const auto* sprite = std::get_if<Sprite>(movie->Find(5));
    ASSERT_TRUE(sprite);
    EXPECT_TRUE(sprite->timeline.videoFrames.empty());
}

TEST(VideoRender, LandsWhereTheMatrixPutsIt) {
    REQUIRE_ENCODER();
    auto p = Load(VideoMovie(Frames(), swfw::PlaceObject::New(kStreamId, 2).At(200, 300)));
    const Picture pic = Draw(*p);
    ExpectPicture(pic, 0, 10, 15);
    EXPECT_EQ(pic.At(9, 20), 0xFFFFFFFFu);   // left of it
    EXPECT_EQ(pic.At(20, 48), 0xFFFFFFFFu);  // below its 32 rows
    ExpectSquareDrawn(pic);
    EXPECT_TRUE(p->Problems().empty());
}

TEST(VideoRender, ScaledIsClippedToTheStreamSize) {
    REQUIRE_ENCODER();
    auto p = Load(VideoMovie(
        Frames(),
        swfw::PlaceObject::New(kStreamId, 2).With(swfw::Matrix::Affine(2, 0, 0, 2, 0, 0))));
    const Picture pic = Draw(*p);
    ExpectPicture(pic, 0, 0, 0, 2);
    EXPECT_EQ(pic.At(66, 10), 0xFFFFFFFFu);
    EXPECT_EQ(pic.At(10, 66), 0xFFFFFFFFu);
}

TEST(VideoRender, ColourTransformApplies) {
    REQUIRE_ENCODER();
    auto place = swfw::PlaceObject::New(kStreamId, 2).Colors(swfw::ColorTransform::Tint(0, 1, 1));
    auto p = Load(VideoMovie(Frames(), place));
    const Picture pic = Draw(*p);
    const std::uint32_t expected = Expected(6, 6, 0) & 0xFF00FFFFu;
    EXPECT_TRUE(Near(pic.At(6, 6), expected)) << std::hex << pic.At(6, 6);
}

// Each movie frame moves the video to the ratio of its number; stepping, jumping back and
// jumping ahead past key frames all show the picture of that number.
TEST(VideoRender, RatioSelectsTheFrameInAnyOrder) {
    REQUIRE_ENCODER();
    auto p = Load(VideoMovie(Frames(), swfw::PlaceObject::New(kStreamId, 2)));
    for (int frame : {0, 1, 2, 6, 3, 7, 5, 5, 0}) {
        p->GotoFrame(frame);
        ExpectPicture(Draw(*p), frame, 0, 0);
    }
    EXPECT_TRUE(p->Problems().empty());
}

TEST(VideoRender, InsideASprite) {
    REQUIRE_ENCODER();
    swfw::Sprite clip(5);
    clip.Place(swfw::PlaceObject::New(kStreamId, 1).Ratio(1))
        .Video({kStreamId, 0, Frames()[0]})
        .Video({kStreamId, 1, Frames()[1]})
        .ShowFrame();
    swfw::Movie m;
    m.Size(100, 100).Background(swfw::Rgb(255, 255, 255));
    m.Define(Stream()).Define(clip).Place(swfw::PlaceObject::New(5, 1).At(400, 0)).ShowFrame();
    auto p = Load(m);
    ExpectPicture(Draw(*p), 1, 20, 0);
}

// A lossless Screen Video stream, red left half and blue right half, drawn four times its
// size: nearest sampling keeps the edge between two stage pixels, smoothing blends across it.
TEST(VideoRender, SmoothingFlagPicksTheSampling) {
    const auto halves = [](int x, int, int) -> std::uint32_t {
        return x < 8 ? 0xFF0000 : 0x0000FF;
    };
    const std::vector<swfw::Buffer> frames =
        swfw::EncodeVideo(swfw::VideoCodec::ScreenVideo, 16, 16, 1, halves);
    if (frames.empty()) GTEST_SKIP() << "libavcodec has no Screen Video encoder";
    for (const bool smoothing : {false, true}) {
        swfw::VideoStream stream = Stream(swfw::VideoCodec::ScreenVideo, 1);
        stream.width = stream.height = 16;
        stream.smoothing = smoothing;
        auto p = Load(VideoMovie(
            frames,
            swfw::PlaceObject::New(kStreamId, 2).With(swfw::Matrix::Affine(4, 0, 0, 4, 0, 0)),
            stream));
        const Picture pic = Draw(*p);
        EXPECT_EQ(pic.At(2, 30), 0xFFFF0000u) << smoothing;
        EXPECT_EQ(pic.At(61, 30), 0xFF0000FFu) << smoothing;
        if (smoothing) {
            EXPECT_GT(pic.At(31, 30) & 0xFF, 40u) << std::hex << pic.At(31, 30);
            EXPECT_GT(pic.At(32, 30) & 0xFF0000, 40u << 16) << std::hex << pic.At(32, 30);
        } else {
            EXPECT_EQ(pic.At(31, 30), 0xFFFF0000u);
            EXPECT_EQ(pic.At(32, 30), 0xFF0000FFu);
        }
    }
}

// Seeking decodes from the last key frame before the target; a picture drawn again comes from
// the cache; stepping on decodes one frame.
TEST(VideoPlaybackTest, SeeksFromTheLastKeyFrameAndKeepsPictures) {
    REQUIRE_ENCODER();
    VideoStream stream{kStreamId, 8, kVideoSize, kVideoSize, 0, false, 2};
    VideoFrames frames;
    for (std::size_t n = 0; n < Frames().size(); ++n) frames[std::uint16_t(n)] = Frames()[n];
    VideoPlayback playback(stream, &frames, Limits{});
    std::int64_t budget = Limits{}.maxVideoPixelsPerFrame;
    ASSERT_TRUE(playback.PictureAt(6, budget));
    EXPECT_EQ(playback.DecodedFrames(), 3u);  // 4, 5, 6
    ASSERT_TRUE(playback.PictureAt(6, budget));
    EXPECT_EQ(playback.DecodedFrames(), 3u);
    ASSERT_TRUE(playback.PictureAt(7, budget));
    EXPECT_EQ(playback.DecodedFrames(), 4u);
    ASSERT_TRUE(playback.PictureAt(1, budget));
    EXPECT_EQ(playback.DecodedFrames(), 6u);                     // 0, 1
    const media::Image* past = playback.PictureAt(500, budget);  // past the end: the last frame
    ASSERT_TRUE(past);
    EXPECT_TRUE(Near(past->At(6, 6), Expected(6, 6, 7)));
    EXPECT_EQ(playback.DecodedFrames(), 6u);
    EXPECT_EQ(budget, Limits{}.maxVideoPixelsPerFrame - 6 * kVideoSize * kVideoSize);
    EXPECT_TRUE(playback.TakeProblem().empty());

    // Released, it decodes again from the key frame.
    playback.Release();
    EXPECT_EQ(playback.CachedBytes(), 0u);
    ASSERT_TRUE(playback.PictureAt(5, budget));
    EXPECT_EQ(playback.DecodedFrames(), 8u);  // 4, 5
}

// A seek that runs out of budget shows nothing and goes on from where it stopped next time.
TEST(VideoPlaybackTest, BudgetCarriesASeekOverToTheNextFrame) {
    REQUIRE_ENCODER();
    VideoStream stream{kStreamId, 8, kVideoSize, kVideoSize, 0, false, 2};
    VideoFrames frames;
    for (std::size_t n = 0; n < Frames().size(); ++n) frames[std::uint16_t(n)] = Frames()[n];
    VideoPlayback playback(stream, &frames, Limits{});
    std::int64_t budget = 2 * kVideoSize * kVideoSize;
    EXPECT_FALSE(playback.PictureAt(7, budget));
    EXPECT_EQ(playback.DecodedFrames(), 2u);  // 4, 5
    EXPECT_EQ(budget, 0);
    budget = 2 * kVideoSize * kVideoSize;
    const media::Image* picture = playback.PictureAt(7, budget);
    ASSERT_TRUE(picture);
    EXPECT_EQ(playback.DecodedFrames(), 4u);  // 6, 7
    EXPECT_TRUE(Near(picture->At(6, 6), Expected(6, 6, 7)));
}

// A seek decodes no more than the Limits' seek pixels: with room for two frames, frame 7 is
// decoded from frame 6 on instead of from the key frame at 4.
TEST(VideoPlaybackTest, SeekGoesBackNoFurtherThanItsCap) {
    REQUIRE_ENCODER();
    VideoStream stream{kStreamId, 8, kVideoSize, kVideoSize, 0, false, 2};
    VideoFrames frames;
    for (std::size_t n = 0; n < Frames().size(); ++n) frames[std::uint16_t(n)] = Frames()[n];
    std::int64_t budget = Limits{}.maxVideoPixelsPerFrame;
    VideoPlayback fromKeyFrame(stream, &frames, Limits{});
    fromKeyFrame.PictureAt(7, budget);
    EXPECT_EQ(fromKeyFrame.DecodedFrames(), 4u);  // 4, 5, 6, 7
    Limits shortSeeks;
    shortSeeks.maxVideoSeekPixels = 2 * kVideoSize * kVideoSize;
    VideoPlayback cut(stream, &frames, shortSeeks);
    cut.PictureAt(7, budget);
    EXPECT_GE(cut.DecodedFrames(), 1u);
    EXPECT_LE(cut.DecodedFrames(), 2u);  // 6, 7 at most
}

struct BrokenCase {
    const char* name;
    swfw::VideoCodec codec;
    // Replaces the stream's frames.
    std::vector<swfw::Buffer> (*data)();
    std::uint16_t size = kVideoSize;  // the stream's declared width and height
};

std::vector<swfw::Buffer> Garbage() {
    return std::vector<swfw::Buffer>(3, swfw::Buffer(200, 0xA5));
}
std::vector<swfw::Buffer> Truncated() {
    std::vector<swfw::Buffer> frames = Frames();
    frames.resize(3);
    for (auto& f : frames) f.resize(f.size() / 3);
    return frames;
}
std::vector<swfw::Buffer> Good() {
    std::vector<swfw::Buffer> frames = Frames();
    frames.resize(3);
    return frames;
}

class BrokenVideo : public ::testing::TestWithParam<BrokenCase> {};

// Nothing in the video's place, the rest of the frame drawn, one problem however many frames.
TEST_P(BrokenVideo, DrawsNothingAndReportsOnce) {
    REQUIRE_ENCODER();
    const BrokenCase& c = GetParam();
    swfw::VideoStream stream = Stream(c.codec);
    stream.width = stream.height = c.size;
    auto p = Load(VideoMovie(c.data(), swfw::PlaceObject::New(kStreamId, 2), stream));
    for (int frame = 0; frame < 3; ++frame) {
        p->GotoFrame(frame);
        const Picture pic = Draw(*p);
        for (const auto& [x, y] : {std::pair{6, 6}, std::pair{26, 26}, std::pair{16, 16}})
            EXPECT_EQ(pic.At(x, y), 0xFFFFFFFFu) << "frame " << frame;
        ExpectSquareDrawn(pic);
    }
    int reported = 0;
    for (const std::string& problem : p->Problems())
        reported += problem.find("video stream 1") != std::string::npos;
    EXPECT_EQ(reported, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, BrokenVideo,
    ::testing::Values(BrokenCase{"Garbage", swfw::VideoCodec::H263, Garbage},
                      BrokenCase{"Truncated", swfw::VideoCodec::H263, Truncated},
                      BrokenCase{"UnknownCodec", static_cast<swfw::VideoCodec>(7), Good},
                      BrokenCase{"NoSize", swfw::VideoCodec::H263, Good, 0},
                      BrokenCase{"HugeSize", swfw::VideoCodec::H263, Good, 65535}),
    [](const auto& info) { return info.param.name; });

// A corrupt inter frame blanks the video until the next key frame, which shows again.
TEST(VideoErrors, RecoversAtTheNextKeyFrame) {
    REQUIRE_ENCODER();
    std::vector<swfw::Buffer> frames = Frames();
    frames[2] = swfw::Buffer(200, 0xA5);
    auto p = Load(VideoMovie(frames, swfw::PlaceObject::New(kStreamId, 2)));
    const std::vector<bool> shown = {true, true, false, false, true, true};
    for (int frame = 0; frame < 6; ++frame) {
        p->GotoFrame(frame);
        const Picture pic = Draw(*p);
        if (shown[frame])
            ExpectPicture(pic, frame, 0, 0);
        else
            EXPECT_EQ(pic.At(6, 6), 0xFFFFFFFFu) << "frame " << frame;
    }
    EXPECT_EQ(p->Problems().size(), 1u);
}

// Real frames with bytes changed, cut and read as every codec: each frame is drawn stepping
// and jumping without a crash, and the rest of the frame still renders.
TEST(VideoErrors, MutatedStreamsUnderEveryCodecNeverCrash) {
    REQUIRE_ENCODER();
    std::uint32_t seed = 777;
    auto next = [&] { return seed = seed * 1103515245u + 12345u, seed >> 8; };
    for (int round = 0; round < 6; ++round) {
        std::vector<swfw::Buffer> frames = Frames();
        for (swfw::Buffer& f : frames) {
            for (int i = 0; i < 3; ++i) f[next() % f.size()] ^= std::uint8_t(1 + next() % 255);
            if (round % 2) f.resize(next() % f.size());
        }
        for (std::uint8_t codec = 0; codec <= 8; ++codec) {
            auto p = Load(VideoMovie(frames, swfw::PlaceObject::New(kStreamId, 2),
                                     Stream(static_cast<swfw::VideoCodec>(codec))));
            for (int frame : {0, 1, 2, 3, 4, 5, 6, 7, 2, 6, 0}) {
                p->GotoFrame(frame);
                ExpectSquareDrawn(Draw(*p));
            }
        }
    }
}

}  // namespace
}  // namespace player
