// Video streams encoded at test time through libavcodec's encoders, decoded back to pixels;
// corrupt frames fail and reset; the corpus's reference pictures when the shared folder exists.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <utility>

#include "player/media/bitmap_decoder.h"
#include "player/media/video_decoder.h"
#include "tests/media/corpus_swf.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

namespace media {
namespace {

const player::Limits kLimits;

using Bytes = std::vector<std::uint8_t>;

// Straight opaque RGB picture of the test pattern: four coloured quadrants.
std::uint32_t PatternAt(int x, int y, int width, int height, int frame) {
    static constexpr std::uint32_t kColours[4] = {0xFFC83232, 0xFF32C832, 0xFF3232C8, 0xFFC8C832};
    const int quadrant = (x < width / 2 ? 0 : 1) + (y < height / 2 ? 0 : 2);
    return kColours[(quadrant + frame) % 4];
}

// Encodes `frames` pattern frames with a libavcodec encoder; empty when the encoder is absent.
std::vector<Bytes> EncodePattern(AVCodecID id, int width, int height, int frames) {
    const AVCodec* encoder = avcodec_find_encoder(id);
    if (!encoder) return {};
    AVCodecContext* ctx = avcodec_alloc_context3(encoder);
    ctx->width = width;
    ctx->height = height;
    ctx->time_base = {1, 10};
    // libavcodec's Screen Video 2 encoder writes inter frames that repeat the key frame and
    // reduces colours to 15 bits, so its streams are all key frames and compared loosely.
    ctx->gop_size = id == AV_CODEC_ID_FLASHSV2 ? 1 : 3;
    const bool yuv = id == AV_CODEC_ID_FLV1;
    ctx->pix_fmt = yuv ? AV_PIX_FMT_YUV420P : AV_PIX_FMT_BGR24;
    if (yuv) {
        ctx->qmin = ctx->qmax = 2;
    }
    std::vector<Bytes> packets;
    if (avcodec_open2(ctx, encoder, nullptr) < 0) {
        avcodec_free_context(&ctx);
        return {};
    }
    AVFrame* frame = av_frame_alloc();
    frame->format = ctx->pix_fmt;
    frame->width = width;
    frame->height = height;
    av_frame_get_buffer(frame, 0);
    AVPacket* packet = av_packet_alloc();
    auto drain = [&] {
        while (avcodec_receive_packet(ctx, packet) == 0) {
            packets.emplace_back(packet->data, packet->data + packet->size);
            av_packet_unref(packet);
        }
    };
    for (int n = 0; n < frames; ++n) {
        av_frame_make_writable(frame);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const std::uint32_t c = PatternAt(x, y, width, height, n);
                const int r = Red(c), g = Green(c), b = Blue(c);
                if (yuv) {
                    frame->data[0][y * frame->linesize[0] + x] =
                        static_cast<std::uint8_t>(16 + ((66 * r + 129 * g + 25 * b + 128) >> 8));
                    if (x % 2 == 0 && y % 2 == 0) {
                        frame->data[1][y / 2 * frame->linesize[1] + x / 2] =
                            static_cast<std::uint8_t>(128 +
                                                      ((-38 * r - 74 * g + 112 * b + 128) >> 8));
                        frame->data[2][y / 2 * frame->linesize[2] + x / 2] =
                            static_cast<std::uint8_t>(128 +
                                                      ((112 * r - 94 * g - 18 * b + 128) >> 8));
                    }
                } else {
                    std::uint8_t* p = frame->data[0] + y * frame->linesize[0] + x * 3;
                    p[0] = static_cast<std::uint8_t>(b), p[1] = static_cast<std::uint8_t>(g),
                    p[2] = static_cast<std::uint8_t>(r);
                }
            }
        frame->pts = n;
        avcodec_send_frame(ctx, frame);
        drain();
    }
    avcodec_send_frame(ctx, nullptr);
    drain();
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&ctx);
    return packets;
}

int MaxChannelDifference(std::uint32_t a, std::uint32_t b) {
    int worst = 0;
    for (int shift = 0; shift < 32; shift += 8)
        worst = std::max(worst, std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)));
    return worst;
}

struct CodecCase {
    const char* name;
    VideoCodec codec;
    AVCodecID encoder;
    int tolerance;  // lossy codecs drift a little from the pattern
};

class EncodedStreams : public ::testing::TestWithParam<CodecCase> {};

// Every frame of the stream decodes to the pattern, away from the quadrant edges where
// chroma subsampling and blocking blur the colours.
TEST_P(EncodedStreams, DecodeToThePattern) {
    const CodecCase& c = GetParam();
    const int width = 64, height = 48;
    const std::vector<Bytes> packets = EncodePattern(c.encoder, width, height, 5);
    if (packets.empty()) GTEST_SKIP() << "no encoder for " << c.name;
    ASSERT_EQ(packets.size(), 5u);
    VideoDecoder decoder(static_cast<std::uint8_t>(c.codec), width, height, kLimits);
    ASSERT_TRUE(decoder.IsOpen()) << decoder.OpenReason();
    for (int n = 0; n < 5; ++n) {
        const VideoResult r = decoder.Decode(packets[n]);
        ASSERT_TRUE(r.Ok()) << "frame " << n << ": " << r.reason;
        ASSERT_EQ(r.frame.width, width);
        ASSERT_EQ(r.frame.height, height);
        for (const auto [x, y] :
             {std::pair{8, 8}, std::pair{56, 8}, std::pair{8, 40}, std::pair{56, 40}})
            EXPECT_LE(MaxChannelDifference(r.frame.At(x, y), PatternAt(x, y, width, height, n)),
                      c.tolerance)
                << "frame " << n << " at " << x << "," << y << std::hex << " got "
                << r.frame.At(x, y);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, EncodedStreams,
    ::testing::Values(CodecCase{"SorensonH263", VideoCodec::kSorensonH263, AV_CODEC_ID_FLV1, 12},
                      CodecCase{"ScreenVideo", VideoCodec::kScreenVideo, AV_CODEC_ID_FLASHSV, 0},
                      CodecCase{"ScreenVideo2", VideoCodec::kScreenVideo2, AV_CODEC_ID_FLASHSV2,
                                4}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(VideoSizes, MacroblockPaddingIsCroppedOtherSizesAreScaled) {
    const std::vector<Bytes> packets = EncodePattern(AV_CODEC_ID_FLASHSV, 64, 48, 1);
    if (packets.empty()) GTEST_SKIP() << "no Screen Video encoder";
    VideoDecoder cropping(3, 60, 40, kLimits);
    const VideoResult cropped = cropping.Decode(packets[0]);
    ASSERT_TRUE(cropped.Ok()) << cropped.reason;
    EXPECT_EQ(cropped.frame.width, 60);
    EXPECT_EQ(cropped.frame.At(59, 39), PatternAt(59, 39, 64, 48, 0));

    VideoDecoder scaling(3, 32, 24, kLimits);
    const VideoResult scaled = scaling.Decode(packets[0]);
    ASSERT_TRUE(scaled.Ok()) << scaled.reason;
    EXPECT_EQ(scaled.frame.height, 24);
    EXPECT_EQ(scaled.frame.At(4, 4), PatternAt(8, 8, 64, 48, 0));
    EXPECT_EQ(scaled.frame.At(28, 20), PatternAt(56, 40, 64, 48, 0));
}

TEST(VideoErrors, UnsupportedOrBadStreamsDoNotOpen) {
    VideoDecoder h264(7, 64, 48, kLimits);
    EXPECT_FALSE(h264.IsOpen());
    EXPECT_EQ(h264.OpenError(), VideoError::kUnsupportedCodec);
    EXPECT_EQ(h264.Decode(Bytes{1, 2, 3}).error, VideoError::kUnsupportedCodec);
    EXPECT_EQ(VideoDecoder(2, 0, 48, kLimits).OpenError(), VideoError::kBadSize);
    EXPECT_EQ(VideoDecoder(2, 65535, 65535, kLimits).OpenError(), VideoError::kBadSize);
    player::Limits small;
    small.maxImagePixels = 64 * 48 - 1;
    EXPECT_EQ(VideoDecoder(2, 64, 48, small).OpenError(), VideoError::kBadSize);
}

TEST(VideoErrors, CorruptFramesFailAndTheNextKeyFrameDecodes) {
    const std::vector<Bytes> packets = EncodePattern(AV_CODEC_ID_FLV1, 64, 48, 4);
    if (packets.empty()) GTEST_SKIP() << "no H.263 encoder";
    VideoDecoder decoder(2, 64, 48, kLimits);
    EXPECT_FALSE(decoder.Decode(Bytes{0x00, 0x00, 0x84}).Ok());        // picture header cut short
    EXPECT_FALSE(decoder.Decode(Bytes(200, 0xFF)).Ok());               // not H.263 at all
    EXPECT_EQ(decoder.Decode(Bytes{}).error, VideoError::kNoPicture);  // empty frame
    Bytes truncated = packets[0];
    truncated.resize(truncated.size() / 3);
    EXPECT_EQ(decoder.Decode(truncated).error, VideoError::kCorruptData);
    const VideoResult next = decoder.Decode(packets[3]);  // gop 3: frame 3 is a key frame
    ASSERT_TRUE(next.Ok()) << next.reason;
    EXPECT_LE(MaxChannelDifference(next.frame.At(8, 8), PatternAt(8, 8, 64, 48, 3)), 12);
}

TEST(VideoErrors, MutatedFramesNeverCrash) {
    std::vector<std::pair<VideoCodec, std::vector<Bytes>>> streams = {
        {VideoCodec::kSorensonH263, EncodePattern(AV_CODEC_ID_FLV1, 64, 48, 3)},
        {VideoCodec::kScreenVideo, EncodePattern(AV_CODEC_ID_FLASHSV, 64, 48, 3)},
        {VideoCodec::kScreenVideo2, EncodePattern(AV_CODEC_ID_FLASHSV2, 64, 48, 3)}};
    std::mt19937 random(99);
    for (auto& [codec, packets] : streams) {
        if (packets.empty()) continue;
        for (std::uint8_t id :
             {static_cast<std::uint8_t>(codec), std::uint8_t{4}, std::uint8_t{5}}) {
            VideoDecoder decoder(id, 64, 48, kLimits);
            for (int round = 0; round < 60; ++round) {
                Bytes data = packets[round % packets.size()];
                for (int e = 0; e < 4; ++e)
                    data[random() % data.size()] = static_cast<std::uint8_t>(random());
                if (round % 3 == 0) data.resize(random() % data.size());
                const VideoResult r = decoder.Decode(data);
                if (r.Ok()) ASSERT_EQ(r.frame.argb.size(), 64u * 48u);
            }
        }
    }
}

TEST(VideoKeyFrames, PictureTypesAndCompleteScreens) {
    const std::vector<Bytes> h263 = EncodePattern(AV_CODEC_ID_FLV1, 64, 48, 4);
    if (h263.empty()) GTEST_SKIP() << "no H.263 encoder";
    const std::vector<std::optional<bool>> expected = {true, false, false, true};  // gop 3
    for (std::size_t n = 0; n < h263.size(); ++n)
        EXPECT_EQ(IsVideoKeyFrame(2, h263[n]), expected[n]) << n;
    EXPECT_EQ(IsVideoKeyFrame(2, Bytes{0x00, 0x00}), std::nullopt);
    EXPECT_EQ(IsVideoKeyFrame(2, Bytes(20, 0xFF)), std::nullopt);  // no start code

    // 32 x 16 screen in two 16 x 16 blocks: both present, or the second unchanged.
    EXPECT_EQ(IsVideoKeyFrame(3, Bytes{0x00, 0x20, 0x00, 0x10, 0, 1, 9, 0, 1, 9}), true);
    EXPECT_EQ(IsVideoKeyFrame(3, Bytes{0x00, 0x20, 0x00, 0x10, 0, 1, 9, 0, 0}), false);
    EXPECT_EQ(IsVideoKeyFrame(3, Bytes{0x00, 0x20, 0x00, 0x10, 0, 1, 9}), std::nullopt);

    EXPECT_EQ(IsVideoKeyFrame(4, Bytes{0x64, 0x30}), true);
    EXPECT_EQ(IsVideoKeyFrame(4, Bytes{0xE4}), false);
    // VP6 with alpha: a key frame only when both streams are intra frames.
    EXPECT_EQ(IsVideoKeyFrame(5, Bytes{0, 0, 1, 0x64, 0x64}), true);
    EXPECT_EQ(IsVideoKeyFrame(6, Bytes{1, 2, 3, 4}), std::nullopt);
    EXPECT_EQ(IsVideoKeyFrame(7, Bytes{1, 2, 3, 4}), std::nullopt);
}

// ---- Corpus movies -------------------------------------------------------------------------

struct CorpusVideo {
    std::uint8_t codec = 0;
    int width = 0;
    int height = 0;
    Bytes firstFrame;
};

// The first DefineVideoStream and the VideoData of its first VideoFrame.
CorpusVideo ReadCorpusVideo(const Bytes& file) {
    CorpusVideo video;
    for (const testing::RawTag& tag : testing::ReadMovieTags(file)) {
        const Bytes& b = tag.body;
        if (tag.code == 60 && b.size() >= 10) {
            video.width = b[4] | (b[5] << 8);
            video.height = b[6] | (b[7] << 8);
            video.codec = b[9];
        }
        if (tag.code == 61 && b.size() > 4 && video.firstFrame.empty())
            video.firstFrame.assign(b.begin() + 4, b.end());
    }
    return video;
}

struct CorpusCase {
    const char* name;
    int maxInexactPercent;  // pixels allowed to differ at all from the reference
};

class CorpusVideos : public ::testing::TestWithParam<CorpusCase> {};

// The first frame matches the reference picture (the video fills the stage at 1:1) in at least
// 98 % of its pixels within 32 per channel, the fidelity scorer's visual measure; the colour
// conversion lands exactly on the reference's values wherever the decoded planes agree (all of
// VP6; H.263 pictures differ slightly in luma after the inverse transform).
TEST_P(CorpusVideos, FirstFrameMatchesTheReferencePicture) {
    const std::filesystem::path folder =
        std::filesystem::path(FILMCAST_SHARED_DIR) / "corpus/visual" / GetParam().name;
    if (!std::filesystem::exists(folder / "test.swf")) GTEST_SKIP() << "shared corpus absent";
    const CorpusVideo video = ReadCorpusVideo(testing::ReadFileBytes(folder / "test.swf"));
    ASSERT_FALSE(video.firstFrame.empty());
    EXPECT_EQ(IsVideoKeyFrame(video.codec, video.firstFrame), true);
    const BitmapResult expected =
        DecodeImageData(testing::ReadFileBytes(folder / "output.expected.png"), kLimits);
    ASSERT_TRUE(expected.Ok()) << expected.reason;
    VideoDecoder decoder(video.codec, video.width, video.height, kLimits);
    if (!decoder.IsOpen()) GTEST_SKIP() << decoder.OpenReason();
    const VideoResult r = decoder.Decode(video.firstFrame);
    ASSERT_TRUE(r.Ok()) << r.reason;
    const int width = std::min(r.frame.width, expected.image.width);
    const int height = std::min(r.frame.height, expected.image.height);
    int differing = 0, inexact = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int difference = MaxChannelDifference(r.frame.At(x, y), expected.image.At(x, y));
            differing += difference > 32;
            inexact += difference > 0;
        }
    EXPECT_LE(differing, width * height / 50)
        << differing << " of " << width * height << " pixels differ";
    EXPECT_LE(inexact, width * height * GetParam().maxInexactPercent / 100)
        << inexact << " of " << width * height << " pixels are not exact";
}

INSTANTIATE_TEST_SUITE_P(Visual, CorpusVideos,
                         ::testing::Values(CorpusCase{"video__colorconversion__h263", 2},
                                           CorpusCase{"video__vp6_dispsize", 0}),
                         [](const auto& info) { return std::string(info.param.name); });

// A VP6-with-alpha packet built from the corpus's VP6 key frame used as both the colour and the
// alpha stream: the alpha plane is then the picture's luma. Its 24-bit offset decodes the same
// whichever byte order the file used.
TEST(CorpusVideoAlpha, AlphaStreamBecomesPremultipliedAlpha) {
    const std::filesystem::path movie =
        std::filesystem::path(FILMCAST_SHARED_DIR) / "corpus/visual/video__vp6_dispsize/test.swf";
    if (!std::filesystem::exists(movie)) GTEST_SKIP() << "shared corpus absent";
    const CorpusVideo video = ReadCorpusVideo(testing::ReadFileBytes(movie));
    ASSERT_EQ(video.codec, 4);
    const std::size_t n = video.firstFrame.size();
    Bytes bigEndian = {std::uint8_t(n >> 16), std::uint8_t(n >> 8), std::uint8_t(n)};
    bigEndian.insert(bigEndian.end(), video.firstFrame.begin(), video.firstFrame.end());
    bigEndian.insert(bigEndian.end(), video.firstFrame.begin(), video.firstFrame.end());
    Bytes littleEndian = bigEndian;
    std::swap(littleEndian[0], littleEndian[2]);

    VideoDecoder plain(4, video.width, video.height, kLimits);
    const VideoResult colour = plain.Decode(video.firstFrame);
    ASSERT_TRUE(colour.Ok()) << colour.reason;
    VideoDecoder big(5, video.width, video.height, kLimits);
    VideoDecoder little(5, video.width, video.height, kLimits);
    const VideoResult a = big.Decode(bigEndian);
    const VideoResult b = little.Decode(littleEndian);
    ASSERT_TRUE(a.Ok()) << a.reason;
    ASSERT_TRUE(b.Ok()) << b.reason;
    EXPECT_EQ(a.frame.argb, b.frame.argb);
    int translucent = 0;
    for (std::size_t i = 0; i < a.frame.argb.size(); ++i) {
        const std::uint32_t p = a.frame.argb[i];
        ASSERT_LE(Red(p), Alpha(p));
        ASSERT_LE(Blue(p), Alpha(p));
        if (Alpha(p) < 128) ++translucent;
        // Dark parts of the picture are the transparent ones.
        if (Alpha(p) < 40) ASSERT_LT(Green(colour.frame.argb[i]), 80u);
    }
    EXPECT_GT(translucent, 0);
}

struct AlphaKeyCase {
    const char* name;
    Bytes packet;
    std::optional<bool> expected;
};

class Vp6AlphaKeyFrames : public ::testing::TestWithParam<AlphaKeyCase> {};

// The 24-bit offset (either byte order) finds the alpha stream, whose own frame mode counts:
// seeking to a colour key frame over an inter alpha frame would show another frame's mask.
TEST_P(Vp6AlphaKeyFrames, NeedBothStreamsIntra) {
    EXPECT_EQ(IsVideoKeyFrame(5, GetParam().packet), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Packets, Vp6AlphaKeyFrames,
    ::testing::Values(AlphaKeyCase{"BothIntra", {0, 0, 2, 0x64, 0x30, 0x64, 0x30}, true},
                      AlphaKeyCase{
                          "BothIntraLittleEndian", {2, 0, 0, 0x64, 0x30, 0x64, 0x30}, true},
                      AlphaKeyCase{"AlphaInter", {0, 0, 2, 0x64, 0x30, 0xE4, 0x30}, false},
                      AlphaKeyCase{"ColourInter", {0, 0, 2, 0xE4, 0x30, 0x64, 0x30}, false},
                      AlphaKeyCase{"AlphaInterLittleEndian", {2, 0, 0, 0x64, 0x30, 0xA4}, false},
                      AlphaKeyCase{"NoAlphaBytes", {0, 0, 2, 0x64, 0x30}, std::nullopt},
                      AlphaKeyCase{"OffsetPastTheData", {0x70, 0, 0x70, 0x64, 0x64}, std::nullopt},
                      AlphaKeyCase{"NoOffset", {0, 0}, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

// A YUV 4:2:0 picture with an alpha plane, as libavcodec's VP6-with-alpha decoder hands it
// over: luma rising by row, alpha rising by column, grey chroma; odd sizes leave the last
// chroma sample half used.
AVFrame* AlphaPicture(int width, int height) {
    AVFrame* f = av_frame_alloc();
    f->format = AV_PIX_FMT_YUVA420P;
    f->width = width;
    f->height = height;
    if (av_frame_get_buffer(f, 0) < 0) {
        av_frame_free(&f);
        return nullptr;
    }
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            f->data[0][y * f->linesize[0] + x] = std::uint8_t(16 + (y * 219) / (height - 1));
            f->data[3][y * f->linesize[3] + x] = std::uint8_t((x * 255) / (width - 1));
        }
    for (int y = 0; y < (height + 1) / 2; ++y)
        for (int x = 0; x < (width + 1) / 2; ++x)
            f->data[1][y * f->linesize[1] + x] = f->data[2][y * f->linesize[2] + x] = 128;
    return f;
}

// The alpha plane lands pixel for pixel on the colour planes: full size, the same rows top
// first, each colour premultiplied by its own alpha.
TEST(VideoPicture, AlphaPlaneLandsOnTheColourPlanes) {
    for (const auto& [width, height] : {std::pair{641, 481}, std::pair{16, 2}}) {
        AVFrame* f = AlphaPicture(width, height);
        ASSERT_TRUE(f);
        Image image;
        std::string reason;
        ASSERT_TRUE(ImageFromPicture(*f, kLimits.maxImagePixels, image, reason)) << reason;
        ASSERT_EQ(image.width, width);
        ASSERT_EQ(image.height, height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const std::uint32_t p = image.At(x, y);
                const std::uint32_t alpha = f->data[3][y * f->linesize[3] + x];
                ASSERT_EQ(Alpha(p), alpha) << x << "," << y;
                // Grey of the row's luma (0..255 from 16..235), premultiplied.
                const int grey = std::clamp((y * 219 / (height - 1) * 298 + 128) >> 8, 0, 255);
                ASSERT_NEAR(int(Red(p)), int(MulDiv255(std::uint32_t(grey), alpha)), 2)
                    << x << "," << y;
                ASSERT_EQ(Red(p), Green(p));
                ASSERT_EQ(Green(p), Blue(p));
            }
        av_frame_free(&f);
    }
}

TEST(VideoPicture, MissingAlphaPlaneIsRefused) {
    AVFrame* f = AlphaPicture(32, 16);
    ASSERT_TRUE(f);
    f->linesize[3] = 8;  // narrower than the picture
    Image image;
    std::string reason;
    EXPECT_FALSE(ImageFromPicture(*f, kLimits.maxImagePixels, image, reason));
    EXPECT_NE(reason.find("alpha plane"), std::string::npos);
    av_frame_free(&f);
}

TEST(VideoPicture, PictureAboveTheImageCapIsRefused) {
    AVFrame* f = AlphaPicture(32, 16);
    ASSERT_TRUE(f);
    Image image;
    std::string reason;
    EXPECT_FALSE(ImageFromPicture(*f, 32 * 16 - 1, image, reason));
    EXPECT_TRUE(ImageFromPicture(*f, 32 * 16, image, reason)) << reason;
    av_frame_free(&f);
}

// A real VP6 key frame used as both streams of a VP6-with-alpha frame: the decoder's alpha
// plane must then be the colour stream's luma plane exactly, pixel for pixel (same size, same
// orientation, no offset, not upsampled from blocks).
TEST(CorpusVideoAlpha, AlphaPlaneIsTheAlphaStreamsLumaPixelForPixel) {
    const std::filesystem::path movie =
        std::filesystem::path(FILMCAST_SHARED_DIR) / "corpus/visual/video__vp6_dispsize/test.swf";
    if (!std::filesystem::exists(movie)) GTEST_SKIP() << "shared corpus absent";
    const CorpusVideo video = ReadCorpusVideo(testing::ReadFileBytes(movie));
    ASSERT_EQ(video.codec, 4);
    const AVCodec* vp6 = avcodec_find_decoder(AV_CODEC_ID_VP6F);
    if (!vp6) GTEST_SKIP() << "no VP6 decoder";
    AVCodecContext* ctx = avcodec_alloc_context3(vp6);
    ASSERT_EQ(avcodec_open2(ctx, vp6, nullptr), 0);
    AVPacket* packet = av_packet_alloc();
    ASSERT_EQ(av_new_packet(packet, int(video.firstFrame.size())), 0);
    std::copy(video.firstFrame.begin(), video.firstFrame.end(), packet->data);
    AVFrame* luma = av_frame_alloc();
    ASSERT_EQ(avcodec_send_packet(ctx, packet), 0);
    ASSERT_EQ(avcodec_receive_frame(ctx, luma), 0);

    const std::size_t n = video.firstFrame.size();
    Bytes both = {std::uint8_t(n), std::uint8_t(n >> 8), std::uint8_t(n >> 16)};  // as stored
    both.insert(both.end(), video.firstFrame.begin(), video.firstFrame.end());
    both.insert(both.end(), video.firstFrame.begin(), video.firstFrame.end());
    EXPECT_EQ(IsVideoKeyFrame(5, both), true);
    VideoDecoder decoder(5, video.width, video.height, kLimits);
    const VideoResult r = decoder.Decode(both);
    ASSERT_TRUE(r.Ok()) << r.reason;
    ASSERT_EQ(r.frame.width, luma->width);
    ASSERT_EQ(r.frame.height, luma->height);
    int differing = 0;
    for (int y = 0; y < luma->height; ++y)
        for (int x = 0; x < luma->width; ++x)
            differing += Alpha(r.frame.At(x, y)) != luma->data[0][y * luma->linesize[0] + x];
    EXPECT_EQ(differing, 0);
    av_frame_free(&luma);
    av_packet_free(&packet);
    avcodec_free_context(&ctx);
}

}  // namespace
}  // namespace media
