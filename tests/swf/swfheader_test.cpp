#include "swf/swfheader.h"

#include <gtest/gtest.h>
#include <lzma.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

namespace {

// A plain movie: 550 x 400 stage, 24 fps, 300 frames, then a background colour, a ShowFrame
// and an End tag.
const Bytes kPlainMovie = {
    'F', 'W', 'S',           // signature
    0x0A,                    // version 10
    0x1E, 0x00, 0x00, 0x00,  // file length 30
    // Rectangle: N = 15 (01111), Xmin 0, Xmax 11000, Ymin 0, Ymax 8000, padded to 72 bits.
    0x78, 0x00, 0x05, 0x5F, 0x00, 0x00, 0x0F, 0xA0, 0x00, 0x00,
    0x18,                          // frame rate 24.0 (8.8: fraction first)
    0x2C, 0x01,                    // frame count 300
    0x43, 0x02, 0xFF, 0xFF, 0xFF,  // SetBackgroundColor white
    0x40, 0x00,                    // ShowFrame
    0x00, 0x00,                    // End
};
constexpr std::size_t kPlainHeaderBytes = 21;

struct Expected {
    int version, length, left, top, width, height, rate, count;
};
const Expected kPlainValues{10, 30, 0, 0, 550, 400, 24, 300};

void ExpectValues(const CSwfHeader& h, const Expected& e) {
    EXPECT_EQ(h.m_version, e.version);
    EXPECT_EQ(h.m_fileLength, e.length);
    EXPECT_EQ(h.m_left, e.left);
    EXPECT_EQ(h.m_top, e.top);
    EXPECT_EQ(h.m_width, e.width);
    EXPECT_EQ(h.m_height, e.height);
    EXPECT_EQ(h.m_frameRate, e.rate);
    EXPECT_EQ(h.m_frameCount, e.count);
}

void ExpectAllZero(const CSwfHeader& h) {
    EXPECT_FALSE(h.m_opened);
    ExpectValues(h, Expected{0, 0, 0, 0, 0, 0, 0, 0});
}

class TempDir {
  public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "swfheader-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~TempDir() { fs::remove_all(path_); }
    std::string Write(const std::string& name, const Bytes& bytes) const {
        const std::string file = (path_ / name).string();
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return file;
    }
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

Bytes ZlibCompressed(const Bytes& plain) {
    Bytes out(plain.begin(), plain.begin() + 8);
    out[0] = 'C';
    uLongf size = compressBound(plain.size() - 8);
    Bytes body(size);
    compress2(body.data(), &size, plain.data() + 8, plain.size() - 8, 9);
    out.insert(out.end(), body.begin(), body.begin() + std::ptrdiff_t(size));
    return out;
}

// "ZWS", version, uncompressed length, compressed length, 5 property bytes, raw LZMA data.
Bytes LzmaCompressed(const Bytes& plain, std::uint32_t dictionaryInProperties = 1u << 16) {
    lzma_options_lzma options;
    lzma_lzma_preset(&options, 1);
    options.dict_size = 1u << 16;
    lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    std::uint8_t properties[5];
    lzma_properties_encode(filters, properties);
    for (int i = 0; i < 4; ++i) properties[1 + i] = std::uint8_t(dictionaryInProperties >> (8 * i));

    Bytes data(plain.size() + 1024);
    std::size_t written = 0;
    EXPECT_EQ(lzma_raw_buffer_encode(filters, nullptr, plain.data() + 8, plain.size() - 8,
                                     data.data(), &written, data.size()),
              LZMA_OK);
    Bytes out(plain.begin(), plain.begin() + 8);
    out[0] = 'Z';
    for (int i = 0; i < 4; ++i) out.push_back(std::uint8_t(written >> (8 * i)));
    out.insert(out.end(), properties, properties + 5);
    out.insert(out.end(), data.begin(), data.begin() + std::ptrdiff_t(written));
    return out;
}

Bytes WithLengthField(Bytes movie, std::uint32_t length) {
    for (int i = 0; i < 4; ++i) movie[4 + i] = std::uint8_t(length >> (8 * i));
    return movie;
}

}  // namespace

TEST(SwfHeader, PlainMovieGivesItsStageRateAndCount) {
    TempDir dir;
    CSwfHeader h(dir.Write("plain.swf", kPlainMovie));
    EXPECT_TRUE(h.m_opened);
    EXPECT_TRUE(h.m_signatureValid);
    EXPECT_EQ(h.LastError(), SwfHeaderError::None);
    ExpectValues(h, kPlainValues);
}

TEST(SwfHeader, ZlibAndLzmaBodiesGiveThePlainValues) {
    TempDir dir;
    for (const Bytes& movie : {ZlibCompressed(kPlainMovie), LzmaCompressed(kPlainMovie)}) {
        SCOPED_TRACE(char(movie[0]));
        CSwfHeader h(dir.Write("packed.swf", movie));
        EXPECT_TRUE(h.m_opened);
        EXPECT_TRUE(h.m_signatureValid);
        EXPECT_EQ(h.LastError(), SwfHeaderError::None);
        ExpectValues(h, kPlainValues);  // the length field is the uncompressed length
    }
}

// A body that compresses to fewer bytes than the header needs from it still decodes whole.
TEST(SwfHeader, CompressedBodyShorterThanItsHeaderBytes) {
    Bytes movie = {'F', 'W', 'S', 6, 0x1D, 0, 0, 0};
    movie.push_back(0xF8);                                // N = 31, every field 0
    movie.insert(movie.end(), 16, 0x00);                  // the rest of the 17-byte rectangle
    movie.insert(movie.end(), {0x00, 0x18, 0x2C, 0x01});  // 24 fps, 300 frames
    const Bytes packed = ZlibCompressed(movie);
    ASSERT_LT(packed.size(), movie.size());
    TempDir dir;
    CSwfHeader h(dir.Write("zeros.swf", packed));
    EXPECT_TRUE(h.m_opened);
    ExpectValues(h, Expected{6, 0x1D, 0, 0, 0, 0, 24, 300});
}

struct BodyCase {
    const char* name;
    Bytes body;  // rectangle, frame rate, frame count
    Expected values;
};

class SwfHeaderBody : public testing::TestWithParam<BodyCase> {};

TEST_P(SwfHeaderBody, DecodesTheFields) {
    Bytes plain = {'F', 'W', 'S', 8, 0x40, 0x00, 0x00, 0x00};
    plain.insert(plain.end(), GetParam().body.begin(), GetParam().body.end());
    TempDir dir;
    for (const Bytes& movie : {plain, ZlibCompressed(plain), LzmaCompressed(plain)}) {
        SCOPED_TRACE(char(movie[0]));
        CSwfHeader h(dir.Write("movie.swf", movie));
        EXPECT_TRUE(h.m_opened);
        ExpectValues(h, GetParam().values);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fields, SwfHeaderBody,
    testing::Values(
        // Xmax 11010 twips is 550.5 px: the division truncates.
        BodyCase{"XmaxTruncates",
                 {0x78, 0x00, 0x05, 0x60, 0x40, 0x00, 0x0F, 0xA0, 0x00, 0x00, 0x18, 0x01, 0x00},
                 {8, 64, 0, 0, 550, 400, 24, 1}},
        // Xmin -30 twips: -1 px after truncation toward zero, so the width is 550 - (-1).
        BodyCase{"NegativeXmin",
                 {0x7F, 0xFE, 0x25, 0x5F, 0x00, 0x00, 0x0F, 0xA0, 0x00, 0x00, 0x18, 0x01, 0x00},
                 {8, 64, -1, 0, 551, 400, 24, 1}},
        // N = 0: a one-byte rectangle; the rate and count follow at body bytes 1 to 4.
        BodyCase{"EmptyRectangle", {0x00, 0x00, 0x18, 0x2C, 0x01}, {8, 64, 0, 0, 0, 0, 24, 300}},
        // N = 16: the rectangle fills 9 bytes with 5 + 64 bits.
        BodyCase{"SixteenBitFields",
                 {0x80, 0x00, 0x01, 0x57, 0xC0, 0x00, 0x00, 0xFA, 0x00, 0x00, 0x18, 0x01, 0x00},
                 {8, 64, 0, 0, 550, 400, 24, 1}},
        // 12.5 fps shows its whole part; 0.5 fps shows 0.
        BodyCase{"RateFractionDropped", {0x00, 0x80, 0x0C, 0x01, 0x00}, {8, 64, 0, 0, 0, 0, 12, 1}},
        BodyCase{"RateBelowOne", {0x00, 0x80, 0x00, 0x01, 0x00}, {8, 64, 0, 0, 0, 0, 0, 1}},
        // The widest rectangle: N = 31 with every field at its most negative, 5 + 124 bits.
        BodyCase{"WidestRectangle",
                 {0xFC, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00,
                  0x00, 0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0x18, 0x01, 0x00},
                 {8, 64, -53687091, -53687091, 0, 0, 24, 1}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SwfHeader, MissingFileLeavesEverythingZero) {
    TempDir dir;
    CSwfHeader h((dir.path() / "absent.swf").string());
    ExpectAllZero(h);
    EXPECT_FALSE(h.m_signatureValid);
    EXPECT_EQ(h.LastError(), SwfHeaderError::CannotOpen);
    EXPECT_EQ(h.LastErrorText(), "cannot open: No such file or directory");
}

TEST(SwfHeader, FolderIsNotAMovie) {
    TempDir dir;
    CSwfHeader h(dir.path().string());
    ExpectAllZero(h);
    EXPECT_EQ(h.LastError(), SwfHeaderError::NotAFile);
    EXPECT_EQ(h.LastErrorText(), "Is a directory");
}

TEST(SwfHeader, NamedPipeIsRefusedWithoutBlocking) {
    TempDir dir;
    const std::string fifo = (dir.path() / "pipe.swf").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    CSwfHeader h(fifo);
    ExpectAllZero(h);
    EXPECT_EQ(h.LastError(), SwfHeaderError::NotAFile);
}

TEST(SwfHeader, BadSignatureIsStillDecoded) {
    Bytes movie = kPlainMovie;
    movie[0] = 'G';
    TempDir dir;
    CSwfHeader h(dir.Write("odd.swf", movie));
    EXPECT_TRUE(h.m_opened);
    EXPECT_FALSE(h.m_signatureValid);
    EXPECT_EQ(h.LastError(), SwfHeaderError::BadSignature);
    ExpectValues(h, kPlainValues);
}

TEST(SwfHeader, ShortFileWithoutSignatureIsNoMovie) {
    TempDir dir;
    CSwfHeader h(dir.Write("notes.txt", Bytes{'h', 'e', 'l', 'l', 'o', '!', '!', '!', 'x'}));
    ExpectAllZero(h);
    EXPECT_EQ(h.LastError(), SwfHeaderError::BadSignature);
}

TEST(SwfHeader, CorruptCompressedBodyIsReported) {
    Bytes movie = ZlibCompressed(kPlainMovie);
    movie[8] = 0x12;  // not a zlib header
    TempDir dir;
    CSwfHeader h(dir.Write("broken.swf", movie));
    ExpectAllZero(h);
    EXPECT_TRUE(h.m_signatureValid);
    EXPECT_EQ(h.LastError(), SwfHeaderError::CorruptBody);
}

// Every prefix of a movie either holds its whole header, and gives the full values, or does not,
// and gives zeros with m_opened FALSE; nothing is read past the bytes held.
TEST(SwfHeader, EveryTruncationIsHeaderOrNothing) {
    TempDir dir;
    ASSERT_EQ(kPlainMovie.size(), 30u);
    for (std::size_t size = 0; size <= kPlainMovie.size(); ++size) {
        SCOPED_TRACE(size);
        CSwfHeader h(dir.Write(
            "cut.swf", Bytes(kPlainMovie.begin(), kPlainMovie.begin() + std::ptrdiff_t(size))));
        if (size < kPlainHeaderBytes) {
            ExpectAllZero(h);
            EXPECT_EQ(h.LastError(), SwfHeaderError::TooShort);
        } else {
            EXPECT_TRUE(h.m_opened);
            ExpectValues(h, kPlainValues);
        }
    }
    for (const Bytes& packed : {ZlibCompressed(kPlainMovie), LzmaCompressed(kPlainMovie)}) {
        for (std::size_t size = 0; size <= packed.size(); ++size) {
            SCOPED_TRACE(std::string(1, char(packed[0])) + std::to_string(size));
            CSwfHeader h(
                dir.Write("cut.swf", Bytes(packed.begin(), packed.begin() + std::ptrdiff_t(size))));
            if (h.m_opened) {
                ExpectValues(h, kPlainValues);
            } else {
                ExpectAllZero(h);
                EXPECT_NE(h.LastError(), SwfHeaderError::None);
            }
        }
        CSwfHeader whole(dir.Write("whole.swf", packed));
        EXPECT_TRUE(whole.m_opened);
    }
}

struct LengthCase {
    std::uint32_t field;
    SwfHeaderError error;
};

class SwfHeaderLength : public testing::TestWithParam<LengthCase> {};

// The length field sizes nothing: the header decodes the same whatever it says, and a value no
// movie can have is reported.
TEST_P(SwfHeaderLength, DecodesAndJudgesTheField) {
    const Bytes plain = WithLengthField(kPlainMovie, GetParam().field);
    TempDir dir;
    for (const Bytes& movie : {plain, ZlibCompressed(plain), LzmaCompressed(plain)}) {
        SCOPED_TRACE(char(movie[0]));
        CSwfHeader h(dir.Write("length.swf", movie));
        EXPECT_TRUE(h.m_opened);
        EXPECT_EQ(h.LastError(), GetParam().error);
        Expected values = kPlainValues;
        values.length = static_cast<std::int32_t>(GetParam().field);
        ExpectValues(h, values);
    }
}

INSTANTIATE_TEST_SUITE_P(Fields, SwfHeaderLength,
                         testing::Values(LengthCase{0, SwfHeaderError::BadLength},
                                         LengthCase{7, SwfHeaderError::BadLength},
                                         LengthCase{8, SwfHeaderError::None},
                                         LengthCase{0x7FFFFFFF, SwfHeaderError::None},
                                         LengthCase{0x80000000, SwfHeaderError::BadLength},
                                         LengthCase{0xFFFFFFFF, SwfHeaderError::BadLength}));

// A dictionary size of 4 GiB in the LZMA properties must not be allocated.
TEST(SwfHeader, HugeLzmaDictionaryIsNotAllocated) {
    TempDir dir;
    CSwfHeader h(dir.Write("dict.swf", LzmaCompressed(kPlainMovie, 0xFFFFFFFF)));
    EXPECT_TRUE(h.m_opened);
    ExpectValues(h, kPlainValues);
}

TEST(SwfHeader, ErrorTextNamesTheReason) {
    TempDir dir;
    CSwfHeader h(dir.Write("len.swf", WithLengthField(kPlainMovie, 7)));
    EXPECT_EQ(h.LastErrorText(), "length field out of range (7)");
    CSwfHeader good(dir.Write("good.swf", kPlainMovie));
    EXPECT_EQ(good.LastErrorText(), "");
}

// Every real movie of the shared corpus gives a whole header with a drawable stage; the two
// text files among them are reported as no movie.
TEST(SwfHeaderCorpus, RealMoviesDecode) {
    const fs::path corpus = fs::path(FILMCAST_SHARED_DIR) / "corpus";
    if (!fs::is_directory(corpus)) GTEST_SKIP() << "no shared corpus at " << corpus;
    int movies = 0;
    for (const auto& entry : fs::recursive_directory_iterator(corpus)) {
        if (entry.path().extension() != ".swf") continue;
        SCOPED_TRACE(entry.path().string());
        CSwfHeader h(entry.path().string());
        if (!h.m_signatureValid) {
            EXPECT_EQ(h.LastError(), SwfHeaderError::BadSignature);
            continue;
        }
        ++movies;
        EXPECT_EQ(h.LastError(), SwfHeaderError::None) << h.LastErrorText();
        EXPECT_TRUE(h.m_opened);
        EXPECT_GT(h.m_width, 0);
        EXPECT_GT(h.m_height, 0);
    }
    EXPECT_GT(movies, 0);
}
