// Bitmap tags decoded to premultiplied pixels, and hostile tag bodies refused with a reason.
#include "player/media/bitmap_decoder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>

#include "tests/media/corpus_swf.h"
#include "tests/media/encoders.h"

namespace media {
namespace {

const player::Limits kLimits;

using testing::Deflate;
using Bytes = std::vector<std::uint8_t>;

// Left half opaque red, right half opaque blue: survives JPEG compression with a clear edge.
testing::RgbaPixels RedBlue(int width = 16, int height = 16) {
    testing::RgbaPixels p{width, height, {}};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) p.argb.push_back(x < width / 2 ? 0xFFFF0000 : 0xFF0000FF);
    return p;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

std::uint8_t Byte(std::uint32_t v) {
    return static_cast<std::uint8_t>(v & 0xFF);
}
Bytes U32(std::uint32_t v) {
    return {Byte(v), Byte(v >> 8), Byte(v >> 16), Byte(v >> 24)};
}

void ExpectNear(std::uint32_t actual, std::uint32_t expected, int tolerance) {
    for (int shift = 0; shift < 32; shift += 8) {
        const int a = (actual >> shift) & 0xFF, e = (expected >> shift) & 0xFF;
        EXPECT_LE(std::abs(a - e), tolerance)
            << std::hex << "pixel " << actual << " expected " << expected;
    }
}

void ExpectRedBlue(const BitmapResult& r, int tolerance = 12) {
    ASSERT_TRUE(r.Ok()) << r.reason;
    ASSERT_EQ(r.image.width, 16);
    ASSERT_EQ(r.image.height, 16);
    ExpectNear(r.image.At(2, 5), 0xFFFF0000, tolerance);
    ExpectNear(r.image.At(13, 10), 0xFF0000FF, tolerance);
}

// ---- JPEG family ---------------------------------------------------------------------------

TEST(JpegBitmaps, DefineBitsJPEG2DecodesACompleteJpeg) {
    ExpectRedBlue(DecodeDefineBitsJPEG2(testing::EncodeJpeg(RedBlue()), kLimits));
}

TEST(JpegBitmaps, ErroneousPrefixIsDropped) {
    const Bytes jpeg = testing::EncodeJpeg(RedBlue());
    ExpectRedBlue(DecodeDefineBitsJPEG2(Concat({{0xFF, 0xD9, 0xFF, 0xD8}, jpeg}), kLimits));
}

TEST(JpegBitmaps, TablesAndImageStreamsInOneBodyAreJoined) {
    Bytes tables, image;
    testing::SplitJpegTables(testing::EncodeJpeg(RedBlue()), tables, image);
    ExpectRedBlue(DecodeDefineBitsJPEG2(Concat({tables, image}), kLimits));
}

TEST(JpegBitmaps, DefineBitsUsesTheMovieTables) {
    Bytes tables, image;
    testing::SplitJpegTables(testing::EncodeJpeg(RedBlue()), tables, image);
    ExpectRedBlue(DecodeDefineBits(image, tables, kLimits));
    ExpectRedBlue(DecodeDefineBits(Concat({{0xFF, 0xD9, 0xFF, 0xD8}, image}),
                                   Concat({{0xFF, 0xD9, 0xFF, 0xD8}, tables}), kLimits));
    EXPECT_FALSE(DecodeDefineBits(image, {}, kLimits).Ok());  // tables are needed and absent
}

TEST(JpegBitmaps, DefineBitsAcceptsEmptyTablesWithACompleteImage) {
    ExpectRedBlue(DecodeDefineBits(testing::EncodeJpeg(RedBlue()), {}, kLimits));
}

TEST(JpegBitmaps, Jpeg3AppliesAndPremultipliesTheAlphaPlane) {
    const Bytes jpeg = testing::EncodeJpeg(RedBlue());
    Bytes alpha(16 * 16, 255);
    alpha[5 * 16 + 2] = 128;  // half-transparent red
    alpha[10 * 16 + 13] = 0;  // transparent blue
    const BitmapResult r = DecodeDefineBitsJPEG3(
        Concat({U32(static_cast<std::uint32_t>(jpeg.size())), jpeg, Deflate(alpha)}), kLimits);
    ASSERT_TRUE(r.Ok()) << r.reason;
    ExpectNear(r.image.At(2, 5), 0x80800000, 8);
    EXPECT_EQ(r.image.At(13, 10), 0u);
    ExpectNear(r.image.At(13, 2), 0xFF0000FF, 12);
}

TEST(JpegBitmaps, Jpeg4SkipsTheDeblockingValue) {
    const Bytes jpeg = testing::EncodeJpeg(RedBlue());
    const Bytes alpha(16 * 16, 255);
    const Bytes body =
        Concat({U32(static_cast<std::uint32_t>(jpeg.size())), {0x00, 0x01}, jpeg, Deflate(alpha)});
    ExpectRedBlue(DecodeDefineBitsJPEG4(body, kLimits));
}

TEST(JpegBitmaps, Jpeg3WithoutAlphaDataIsOpaque) {
    const Bytes jpeg = testing::EncodeJpeg(RedBlue());
    ExpectRedBlue(DecodeDefineBitsJPEG3(
        Concat({U32(static_cast<std::uint32_t>(jpeg.size())), jpeg}), kLimits));
}

TEST(JpegBitmaps, Jpeg3WithShortOrBrokenAlphaPlaneFails) {
    const Bytes jpeg = testing::EncodeJpeg(RedBlue());
    const Bytes head = U32(static_cast<std::uint32_t>(jpeg.size()));
    const BitmapResult shortPlane =
        DecodeDefineBitsJPEG3(Concat({head, jpeg, Deflate(Bytes(100, 255))}), kLimits);
    EXPECT_EQ(shortPlane.error, BitmapError::kCorruptZlib);
    EXPECT_FALSE(shortPlane.reason.empty());
    EXPECT_EQ(DecodeDefineBitsJPEG3(Concat({head, jpeg, {1, 2, 3, 4}}), kLimits).error,
              BitmapError::kCorruptZlib);
}

TEST(JpegBitmaps, AlphaOffsetBeyondTheTagFails) {
    const Bytes jpeg = testing::EncodeJpeg(RedBlue());
    EXPECT_EQ(DecodeDefineBitsJPEG3(Concat({U32(0xFFFFFFF0), jpeg}), kLimits).error,
              BitmapError::kTruncated);
    EXPECT_EQ(DecodeDefineBitsJPEG3(Bytes{0x01, 0x00}, kLimits).error, BitmapError::kTruncated);
    EXPECT_EQ(DecodeDefineBitsJPEG4(Concat({U32(0), {0x00}}), kLimits).error,
              BitmapError::kTruncated);
}

TEST(JpegBitmaps, TruncatedOrForeignDataFailsWithAReason) {
    Bytes jpeg = testing::EncodeJpeg(RedBlue());
    jpeg.resize(jpeg.size() / 2);
    for (const Bytes& body : {jpeg, Bytes{0xFF, 0xD8}, Bytes{'h', 'e', 'l', 'l', 'o'}, Bytes{}}) {
        const BitmapResult r = DecodeDefineBitsJPEG2(body, kLimits);
        EXPECT_FALSE(r.Ok());
        EXPECT_FALSE(r.reason.empty());
    }
}

TEST(JpegBitmaps, MissingEndMarkerIsToleratedAndEarlyEndIsNot) {
    testing::RgbaPixels noise{32, 96, {}};  // noise: the scan data dwarfs the headers
    for (std::uint32_t i = 0; i < 32 * 96; ++i)
        noise.argb.push_back(0xFF000000 | (i * 2654435761u >> 8));
    const Bytes jpeg = testing::EncodeJpeg(noise);
    const BitmapResult full = DecodeDefineBitsJPEG2(jpeg, kLimits);
    ASSERT_TRUE(full.Ok()) << full.reason;
    const BitmapResult noEnd = DecodeDefineBitsJPEG2(Bytes(jpeg.begin(), jpeg.end() - 2), kLimits);
    ASSERT_TRUE(noEnd.Ok()) << noEnd.reason;
    EXPECT_EQ(noEnd.image.argb, full.image.argb);
    const Bytes half(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(jpeg.size() * 3 / 4));
    const BitmapResult cut = DecodeDefineBitsJPEG2(half, kLimits);
    EXPECT_EQ(cut.error, BitmapError::kCorruptImage);
    EXPECT_NE(cut.reason.find("ends before"), std::string::npos) << cut.reason;
}

// ---- PNG and GIF in place of JPEG ----------------------------------------------------------

testing::RgbaPixels FourColours() {
    return {2, 2, {0xFFFF0000, 0x8000FF00, 0x00000000, 0xFF0000FF}};
}

TEST(EmbeddedImages, PngIsDecodedAndPremultiplied) {
    const BitmapResult r = DecodeDefineBitsJPEG2(testing::EncodePng(FourColours()), kLimits);
    ASSERT_TRUE(r.Ok()) << r.reason;
    EXPECT_EQ(r.image.argb, (std::vector<std::uint32_t>{0xFFFF0000, 0x80008000, 0, 0xFF0000FF}));
}

TEST(EmbeddedImages, PngInJpeg3KeepsItsOwnAlpha) {
    const Bytes png = testing::EncodePng(FourColours());
    const BitmapResult r =
        DecodeDefineBitsJPEG3(Concat({U32(static_cast<std::uint32_t>(png.size())), png}), kLimits);
    ASSERT_TRUE(r.Ok()) << r.reason;
    EXPECT_EQ(r.image.At(1, 0), 0x80008000u);
}

TEST(EmbeddedImages, GifTransparentIndexIsTransparent) {
    const BitmapResult r = DecodeDefineBitsJPEG2(testing::EncodeGif(FourColours()), kLimits);
    ASSERT_TRUE(r.Ok()) << r.reason;
    EXPECT_EQ(r.image.argb, (std::vector<std::uint32_t>{0xFFFF0000, 0xFF00FF00, 0, 0xFF0000FF}));
}

TEST(EmbeddedImages, TruncatedPngAndGifFail) {
    Bytes png = testing::EncodePng(RedBlue());
    png.resize(png.size() - 20);
    EXPECT_EQ(DecodeDefineBitsJPEG2(png, kLimits).error, BitmapError::kCorruptImage);
    Bytes gif = testing::EncodeGif(RedBlue());
    gif.resize(gif.size() / 2);
    EXPECT_EQ(DecodeDefineBitsJPEG2(gif, kLimits).error, BitmapError::kCorruptImage);
}

TEST(EmbeddedImages, OversizedPngIsRefusedFromItsHeader) {
    Bytes png = testing::EncodePng(RedBlue());
    // IHDR width at offset 16, big-endian: claim 60000 x 16.
    png[16] = 0, png[17] = 0, png[18] = 0xEA, png[19] = 0x60;
    EXPECT_FALSE(DecodeDefineBitsJPEG2(png, kLimits).Ok());
}

// Every decoder refuses a picture above the image cap it is given and decodes it at the cap.
TEST(BitmapCaps, EachDecoderKeepsToTheImageCapItIsGiven) {
    const testing::RgbaPixels pixels = RedBlue();  // 16 x 16
    Bytes lossless = {5, 16, 0, 16, 0};
    const Bytes rows(16 * 16 * 4, 0xFF);
    const Bytes zlib = Deflate(rows);
    lossless.insert(lossless.end(), zlib.begin(), zlib.end());
    const std::vector<std::pair<const char*, Bytes>> bodies = {
        {"jpeg", testing::EncodeJpeg(pixels)},
        {"png", testing::EncodePng(pixels)},
        {"gif", testing::EncodeGif(pixels)},
    };
    player::Limits atCap, belowCap;
    atCap.maxImagePixels = 16 * 16;
    belowCap.maxImagePixels = 16 * 16 - 1;
    for (const auto& [name, body] : bodies) {
        EXPECT_TRUE(DecodeDefineBitsJPEG2(body, atCap).Ok()) << name;
        EXPECT_FALSE(DecodeDefineBitsJPEG2(body, belowCap).Ok()) << name;
    }
    EXPECT_TRUE(DecodeDefineBitsLossless(lossless, true, atCap).Ok());
    EXPECT_EQ(DecodeDefineBitsLossless(lossless, true, belowCap).error, BitmapError::kBadSize);
}

// ---- Lossless ------------------------------------------------------------------------------

struct LosslessCase {
    const char* name;
    bool hasAlpha;
    Bytes header;  // format, width, height[, table size]
    Bytes data;    // before zlib
    std::vector<std::uint32_t> expected;
};

class LosslessBitmaps : public ::testing::TestWithParam<LosslessCase> {};

TEST_P(LosslessBitmaps, DecodesToPremultipliedPixels) {
    const LosslessCase& c = GetParam();
    const BitmapResult r =
        DecodeDefineBitsLossless(Concat({c.header, Deflate(c.data)}), c.hasAlpha, kLimits);
    ASSERT_TRUE(r.Ok()) << r.reason;
    EXPECT_EQ(r.image.argb, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, LosslessBitmaps,
    ::testing::Values(
        // 3 x 2 colour-mapped, two RGB entries; rows padded from 3 to 4 bytes.
        LosslessCase{"ColorMappedRgb",
                     false,
                     {3, 3, 0, 2, 0, 1},
                     {255, 0, 0, /**/ 0, 0, 255, /**/ 0, 1, 0, 9, /**/ 1, 1, 0, 9},
                     {0xFFFF0000, 0xFF0000FF, 0xFFFF0000, 0xFF0000FF, 0xFF0000FF, 0xFFFF0000}},
        // RGBA table entries are straight colour; index 7 lies beyond the table: transparent.
        LosslessCase{"ColorMappedRgba",
                     true,
                     {3, 3, 0, 1, 0, 1},
                     {255, 255, 255, 128, /**/ 0, 0, 255, 255, /**/ 0, 7, 1, 0},
                     {0x80808080, 0, 0xFF0000FF}},
        // 15-bit big-endian 0RRRRRGGGGGBBBBB; a 1-pixel row is padded to 4 bytes.
        LosslessCase{"Rgb15",
                     false,
                     {4, 1, 0, 2, 0},
                     {0x7C, 0x00, 0, 0, /**/ 0x03, 0xE0, 0, 0},
                     {0xFFFF0000, 0xFF00FF00}},
        // 32-bit XRGB: the reserved byte is ignored.
        LosslessCase{"Xrgb32",
                     false,
                     {5, 2, 0, 1, 0},
                     {0x00, 1, 2, 3, /**/ 0x7F, 255, 255, 255},
                     {0xFF010203, 0xFFFFFFFF}},
        // 32-bit premultiplied ARGB; colour above alpha is clamped to alpha.
        LosslessCase{"PremultipliedArgb32",
                     true,
                     {5, 2, 0, 1, 0},
                     {0x80, 0x40, 0x80, 0x00, /**/ 0x10, 0xFF, 0x05, 0x20},
                     {0x80408000, 0x10100510}}),
    [](const auto& info) { return std::string(info.param.name); });

struct HostileLossless {
    const char* name;
    Bytes body;
    BitmapError error;
};

class HostileLosslessBitmaps : public ::testing::TestWithParam<HostileLossless> {};

TEST_P(HostileLosslessBitmaps, FailCleanly) {
    const BitmapResult r = DecodeDefineBitsLossless(GetParam().body, true, kLimits);
    EXPECT_EQ(r.error, GetParam().error) << r.reason;
    EXPECT_FALSE(r.reason.empty());
    EXPECT_TRUE(r.image.argb.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HostileLosslessBitmaps,
    ::testing::Values(
        HostileLossless{"ShortHeader", {5, 1, 0}, BitmapError::kTruncated},
        HostileLossless{"MissingTableSize", {3, 1, 0, 1, 0}, BitmapError::kTruncated},
        HostileLossless{"UnknownFormat", Concat({{7, 1, 0, 1, 0}, Deflate(Bytes(4))}),
                        BitmapError::kBadFormat},
        HostileLossless{"ZeroWidth", Concat({{5, 0, 0, 1, 0}, Deflate(Bytes(4))}),
                        BitmapError::kBadSize},
        // 65535 x 65535 is refused before anything is allocated or inflated.
        HostileLossless{"HugeSize", Concat({{5, 0xFF, 0xFF, 0xFF, 0xFF}, Deflate(Bytes(4))}),
                        BitmapError::kBadSize},
        // The size says 100 x 100 but the data holds one row.
        HostileLossless{"SizeLies", Concat({{5, 100, 0, 100, 0}, Deflate(Bytes(400, 0xFF))}),
                        BitmapError::kCorruptZlib},
        // 256-entry table announced, data holds 10 bytes.
        HostileLossless{"TableLongerThanData",
                        Concat({{3, 1, 0, 1, 0, 255}, Deflate(Bytes(10, 1))}),
                        BitmapError::kCorruptZlib},
        HostileLossless{
            "NotZlib", {5, 1, 0, 1, 0, 1, 2, 3, 4, 5, 6, 7, 8}, BitmapError::kCorruptZlib},
        HostileLossless{"NoData", {5, 1, 0, 1, 0}, BitmapError::kCorruptZlib}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Mutated data never crashes --------------------------------------------------------------

TEST(HostileBitmaps, MutatedDataNeverCrashes) {
    const Bytes jpeg = testing::EncodeJpeg(RedBlue(40, 24));
    Bytes tables, image;
    testing::SplitJpegTables(jpeg, tables, image);
    const std::vector<Bytes> seeds = {jpeg, testing::EncodePng(RedBlue(40, 24)),
                                      testing::EncodeGif(RedBlue(40, 24)), image};
    std::mt19937 random(1234);
    for (int round = 0; round < 300; ++round) {
        Bytes data = seeds[round % seeds.size()];
        const int edits = 1 + static_cast<int>(random() % 8);
        for (int e = 0; e < edits; ++e)
            data[random() % data.size()] = static_cast<std::uint8_t>(random());
        if (round % 5 == 0) data.resize(random() % data.size());
        DecodeDefineBitsJPEG2(data, kLimits);
        DecodeDefineBits(data, tables, kLimits);
        DecodeDefineBitsLossless(data, round % 2 == 0, kLimits);
    }
    SUCCEED();
}

// ---- Corpus movies -------------------------------------------------------------------------

// Every bitmap character in the shared corpus's movies decodes (real files carry the old
// JPEG quirks: tables apart, erroneous prefixes, joined streams).
TEST(CorpusBitmaps, EveryBitmapTagDecodes) {
    const std::filesystem::path corpus = std::filesystem::path(FILMCAST_SHARED_DIR) / "corpus";
    if (!std::filesystem::exists(corpus)) GTEST_SKIP() << "shared corpus absent";
    int decoded = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(corpus)) {
        if (entry.path().extension() != ".swf") continue;
        Bytes tables;
        for (const testing::RawTag& tag :
             testing::ReadMovieTags(testing::ReadFileBytes(entry.path()))) {
            if (tag.body.size() < 2) continue;
            const std::span<const std::uint8_t> body = std::span(tag.body).subspan(2);
            BitmapResult r;
            switch (tag.code) {
                case 8:
                    tables = tag.body;
                    continue;
                case 6:
                    r = DecodeDefineBits(body, tables, kLimits);
                    break;
                case 21:
                    r = DecodeDefineBitsJPEG2(body, kLimits);
                    break;
                case 35:
                    r = DecodeDefineBitsJPEG3(body, kLimits);
                    break;
                case 90:
                    r = DecodeDefineBitsJPEG4(body, kLimits);
                    break;
                case 20:
                    r = DecodeDefineBitsLossless(body, false, kLimits);
                    break;
                case 36:
                    r = DecodeDefineBitsLossless(body, true, kLimits);
                    break;
                default:
                    continue;
            }
            EXPECT_TRUE(r.Ok()) << entry.path().filename() << " tag " << tag.code << ": "
                                << r.reason;
            ++decoded;
        }
    }
    EXPECT_GT(decoded, 0);
}

}  // namespace
}  // namespace media
