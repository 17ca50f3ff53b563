#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstring>
#include <filesystem>

#include "imaging/bmpcodec.h"
#include "imaging/tgacodec.h"
#include "tests/imaging/freeimage_oracle.h"
#include "tests/imaging/imaging_test_support.h"

namespace {

std::uint32_t U32At(const std::vector<BYTE>& b, std::size_t o) {
    return b[o] | b[o + 1] << 8 | b[o + 2] << 16 | std::uint32_t(b[o + 3]) << 24;
}

CPixelImage Bitfields565(int width, int height) {
    struct {
        BITMAPINFOHEADER header{};
        std::uint32_t masks[3] = {0xF800, 0x07E0, 0x001F};
    } info;
    info.header.biWidth = width;
    info.header.biHeight = height;
    info.header.biBitCount = 16;
    info.header.biCompression = BI_BITFIELDS;
    CPixelImage image;
    EXPECT_TRUE(image.Create(&info.header));
    const CPixelImage pattern = PatternImage(width, height, 16);
    image.Blit(pattern, 0, 0);
    return image;
}

bool Save(CImageCodec&& codec, const CPixelImage& image, const std::string& path) {
    CImageList list{const_cast<CPixelImage*>(&image)};
    return codec.SaveFile(path.c_str(), list, nullptr);
}

struct Loaded {
    bool ok = false;
    CImageList images;
    std::unique_ptr<CPropertyBag> bag;
    ~Loaded() {
        for (CPixelImage* image : images) delete image;
    }
};

void LoadBytes(CImageCodec&& codec, const std::vector<BYTE>& bytes, Loaded& out) {
    out.ok = codec.LoadMemory(bytes.data(), bytes.size(), out.images, out.bag);
}

void ExpectSamePixels(const CPixelImage& ours, const OraclePicture& theirs) {
    ASSERT_TRUE(theirs.ok);
    ASSERT_EQ(theirs.width, ours.GetWidth());
    ASSERT_EQ(theirs.height, ours.GetHeight());
    for (int y = 0; y < ours.GetHeight(); ++y)
        for (int x = 0; x < ours.GetWidth(); ++x)
            ASSERT_EQ(theirs.At(x, y), ArgbAt(ours, x, y)) << x << "," << y;
}

// ---- writers: layout ----

class BmpLayout : public ScratchFolder {};

TEST_F(BmpLayout, SizesOffsetsAndTables) {
    const struct {
        CPixelImage image;
        std::uint32_t fileSize, dataOffset;
    } cases[] = {
        {PatternImage(3, 2, 24), 78, 54},      {PatternImage(3, 2, 8), 1078 + 8, 1078},
        {Bitfields565(3, 2), 66 + 16, 66},     {PatternImage(3, 2, 4), 54 + 64 + 8, 54 + 64},
        {PatternImage(3, 2, 32), 54 + 24, 54}, {PatternImage(3, 2, 16), 54 + 16, 54},
    };
    for (const auto& c : cases) {
        const std::string path = PathOf("layout.bmp");
        ASSERT_TRUE(Save(CBmpCodec(), c.image, path));
        const std::vector<BYTE> bytes = ReadBytes(path);
        SCOPED_TRACE(c.image.GetBitsPerPixel());
        ASSERT_EQ(bytes.size(), c.fileSize);
        EXPECT_EQ(bytes[0], 'B');
        EXPECT_EQ(bytes[1], 'M');
        EXPECT_EQ(U32At(bytes, 2), c.fileSize);
        EXPECT_EQ(U32At(bytes, 6), 0u);
        EXPECT_EQ(U32At(bytes, 10), c.dataOffset);
        EXPECT_EQ(U32At(bytes, 14), 40u);
        EXPECT_EQ(U32At(bytes, 18 + 4), 2u);  // positive height: bottom-up
        EXPECT_EQ(
            std::memcmp(&bytes[c.dataOffset], c.image.GetPixels(), bytes.size() - c.dataOffset), 0);
    }
    const std::vector<BYTE> masks = [&] {
        Save(CBmpCodec(), Bitfields565(3, 2), PathOf("masks.bmp"));
        return ReadBytes(PathOf("masks.bmp"));
    }();
    EXPECT_EQ(U32At(masks, 54), 0xF800u);
    EXPECT_EQ(U32At(masks, 58), 0x07E0u);
    EXPECT_EQ(U32At(masks, 62), 0x001Fu);
}

class TgaLayout : public ScratchFolder {};

TEST_F(TgaLayout, HeaderIdColourMapAndUnpaddedRows) {
    ASSERT_TRUE(Save(CTgaCodec(), PatternImage(2, 2, 32), PathOf("a.tga")));
    std::vector<BYTE> bytes = ReadBytes(PathOf("a.tga"));
    ASSERT_EQ(bytes.size(), 46u);
    const BYTE header[18] = {12, 0, 2, 0, 0, 0, 1, 24, 0, 0, 0, 0, 2, 0, 2, 0, 32, 0x20};
    EXPECT_EQ(std::memcmp(bytes.data(), header, 18), 0);
    EXPECT_EQ(std::string(bytes.begin() + 18, bytes.begin() + 30), "Qentu -- TGA");

    const CPixelImage indexed = PatternImage(1, 1, 8);
    ASSERT_TRUE(Save(CTgaCodec(), indexed, PathOf("b.tga")));
    bytes = ReadBytes(PathOf("b.tga"));
    ASSERT_EQ(bytes.size(), 799u);
    EXPECT_EQ(bytes[1], 1);
    EXPECT_EQ(bytes[2], 1);
    RGBQUAD e;
    indexed.GetPaletteEntries(5, 1, &e);
    EXPECT_EQ(bytes[30 + 15], e.rgbBlue);
    EXPECT_EQ(bytes[30 + 17], e.rgbRed);
    EXPECT_EQ(bytes[798], *indexed.GetRow(0));

    const CPixelImage rgb = PatternImage(5, 3, 24);
    ASSERT_TRUE(Save(CTgaCodec(), rgb, PathOf("c.tga")));
    bytes = ReadBytes(PathOf("c.tga"));
    ASSERT_EQ(bytes.size(), 30u + 3 * 15);
    EXPECT_EQ(std::memcmp(&bytes[30 + 15], rgb.GetRow(1), 15), 0);

    EXPECT_FALSE(Save(CTgaCodec(), PatternImage(3, 3, 4), PathOf("d.tga")));
    EXPECT_FALSE(std::filesystem::exists(PathOf("d.tga")));
    EXPECT_TRUE(Save(CBmpCodec(), PatternImage(3, 3, 4), PathOf("d.bmp")));
}

TEST_F(BmpLayout, UnwritablePathsAndEmptyListsFailWithoutAFile) {
    const CPixelImage image = PatternImage(2, 2, 24);
    for (const char* name : {"missing/x.bmp", "missing/x.tga"}) {
        EXPECT_FALSE(Save(CBmpCodec(), image, PathOf(name)));
        EXPECT_FALSE(Save(CTgaCodec(), image, PathOf(name)));
    }
    CImageList empty;
    EXPECT_FALSE(CBmpCodec().SaveFile(PathOf("e.bmp").c_str(), empty, nullptr));
    CPixelImage invalid;
    CImageList withInvalid{&invalid};
    EXPECT_FALSE(CTgaCodec().SaveFile(PathOf("e.tga").c_str(), withInvalid, nullptr));
    EXPECT_TRUE(std::filesystem::is_empty(folder_));
}

// A disk that fills up mid-file: the writers report it and leave no partial file.
TEST(WriterFailureDeathTest, ShortWritesFailAndRemoveTheFile) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string bmp = (std::filesystem::temp_directory_path() / "fc_short.bmp").string();
    const std::string tga = (std::filesystem::temp_directory_path() / "fc_short.tga").string();
    auto saveWithTinyFileLimit = [&] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{1000, 1000};
        setrlimit(RLIMIT_FSIZE, &limit);
        const CPixelImage image = PatternImage(100, 100, 24);
        const bool savedBmp = Save(CBmpCodec(), image, bmp);
        const bool savedTga = Save(CTgaCodec(), image, tga);
        const bool gone = !std::filesystem::exists(bmp) && !std::filesystem::exists(tga);
        std::exit(!savedBmp && !savedTga && gone ? 0 : 1);
    };
    EXPECT_EXIT(saveWithTinyFileLimit(), ::testing::ExitedWithCode(0), "");
}

// ---- writers: an independent reader sees the same pixels ----

struct DepthCase {
    const char* extension;
    int bpp;
    bool bitfields565;
};

class IndependentReader : public ScratchFolder, public ::testing::WithParamInterface<DepthCase> {};

TEST_P(IndependentReader, ReadsOurFilesToTheSamePixels) {
    const DepthCase c = GetParam();
    const CPixelImage image = c.bitfields565 ? Bitfields565(13, 7) : PatternImage(13, 7, c.bpp);
    const std::string path = PathOf(std::string("frame.") + c.extension);
    if (std::string(c.extension) == "bmp")
        ASSERT_TRUE(Save(CBmpCodec(), image, path));
    else
        ASSERT_TRUE(Save(CTgaCodec(), image, path));
    ExpectSamePixels(image, DecodeWithFreeImage(path));

    Loaded ours;
    if (std::string(c.extension) == "bmp")
        LoadBytes(CBmpCodec(), ReadBytes(path), ours);
    else
        LoadBytes(CTgaCodec(), ReadBytes(path), ours);
    ASSERT_TRUE(ours.ok);
    ASSERT_EQ(ours.images.size(), 1u);
    const CPixelImage& back = *ours.images.front();
    ASSERT_EQ(back.GetBitsPerPixel(), image.GetBitsPerPixel());
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 13; ++x) ASSERT_EQ(ArgbAt(back, x, y), ArgbAt(image, x, y));
}

INSTANTIATE_TEST_SUITE_P(Files, IndependentReader,
                         ::testing::Values(DepthCase{"bmp", 1, false}, DepthCase{"bmp", 4, false},
                                           DepthCase{"bmp", 8, false}, DepthCase{"bmp", 16, false},
                                           DepthCase{"bmp", 16, true}, DepthCase{"bmp", 24, false},
                                           DepthCase{"bmp", 32, false}, DepthCase{"tga", 8, false},
                                           DepthCase{"tga", 16, false}, DepthCase{"tga", 24, false},
                                           DepthCase{"tga", 32, false}),
                         [](const auto& info) {
                             return std::string(info.param.extension) +
                                    std::to_string(info.param.bpp) +
                                    (info.param.bitfields565 ? "_565" : "");
                         });

// ---- BMP reader ----

std::vector<BYTE> SmallBmp() {
    std::vector<BYTE> b(54 + 8, 0);  // 2 x 2 at 24 bits: stride 8
    b[0] = 'B';
    b[1] = 'M';
    b[2] = BYTE(b.size());
    b[10] = 54;
    b[14] = 40;
    b[18] = 2;   // width
    b[22] = 2;   // height
    b[26] = 1;   // planes
    b[28] = 24;  // bits
    for (int i = 0; i < 8; ++i) b[54 + i] = BYTE(0x10 + i);
    return b;
}

TEST(BmpReader, ShortPixelDataLeavesTheRestZero) {
    std::vector<BYTE> bytes = SmallBmp();
    bytes.resize(54 + 5);
    Loaded loaded;
    LoadBytes(CBmpCodec(), bytes, loaded);
    ASSERT_TRUE(loaded.ok);
    const CPixelImage& image = *loaded.images.front();
    EXPECT_EQ(ArgbAt(image, 0, 1), 0xFF121110u);  // bottom row first
    EXPECT_EQ(image.GetRow(1)[4], 0x14);
    EXPECT_EQ(image.GetRow(1)[5], 0);
    EXPECT_EQ(ArgbAt(image, 1, 0), 0xFF000000u);
    EXPECT_EQ(loaded.bag, nullptr);
}

TEST(BmpReader, MalformedFilesFailAndAddNothing) {
    auto with = [](auto change) {
        std::vector<BYTE> b = SmallBmp();
        change(b);
        return b;
    };
    const std::vector<BYTE> cases[] = {
        with([](auto& b) { b.resize(14); }),                                     // exactly 14 bytes
        with([](auto& b) { b.resize(40); }),                                     // header cut short
        with([](auto& b) { b[0] = 'X'; }),                                       // signature
        with([](auto& b) { b[10] = BYTE(b.size()); }),                           // data at the end
        with([](auto& b) { b[13] = 0x80; }),                                     // data far beyond
        with([](auto& b) { b[22] = 0xFE, b[23] = b[24] = b[25] = 0xFF; }),       // top-down
        with([](auto& b) { b[30] = 1; }),                                        // run-length
        with([](auto& b) { b[28] = 8; }),                                        // palette missing
        with([](auto& b) { b[28] = 16, b[30] = 3, b.resize(60), b[10] = 58; }),  // masks cut
        with([](auto& b) { b[14] = 12; }),                                       // core header
        with([](auto& b) { b[14] = 0xF0, b[17] = 0xFF, b[28] = 8; }),            // palette past end
        with([](auto& b) { b[21] = 0x7F; }),                                     // absurd width
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        Loaded loaded;
        LoadBytes(CBmpCodec(), cases[i], loaded);
        EXPECT_FALSE(loaded.ok) << "case " << i;
        EXPECT_TRUE(loaded.images.empty()) << "case " << i;
    }
    Loaded none;
    EXPECT_FALSE(CBmpCodec().LoadMemory(nullptr, 100, none.images, none.bag));
}

TEST(BmpReader, ShortPaletteUsesColoursUsed) {
    std::vector<BYTE> b(54 + 8 + 4, 0);  // 2 x 1 at 8 bits with two palette entries
    b[0] = 'B';
    b[1] = 'M';
    b[10] = 62;
    b[14] = 40;
    b[18] = 2;
    b[22] = 1;
    b[26] = 1;
    b[28] = 8;
    b[46] = 2;             // colours used
    b[54 + 4 + 2] = 0xFF;  // entry 1 is red
    b[62] = 1;
    Loaded loaded;
    LoadBytes(CBmpCodec(), b, loaded);
    ASSERT_TRUE(loaded.ok);
    EXPECT_EQ(ArgbAt(*loaded.images.front(), 0, 0), 0xFFFF0000u);
    EXPECT_EQ(ArgbAt(*loaded.images.front(), 1, 0), 0xFF000000u);
}

// ---- TGA reader ----

std::vector<BYTE> TgaHeader(BYTE imageType, int width, int height, BYTE depth, BYTE descriptor) {
    return {0,           0, imageType,    0, 0,     0,         0, 0, 0, 0, 0, 0,
            BYTE(width), 0, BYTE(height), 0, depth, descriptor};
}

TEST(TgaReader, RunLengthRowsBottomUp) {
    std::vector<BYTE> b = TgaHeader(10, 3, 2, 24, 0x00);
    // file row 0 (the bottom row): a run of two blue pixels, then one raw red pixel
    b.insert(b.end(), {0x81, 0xFF, 0, 0, 0x00, 0, 0, 0xFF});
    // file row 1: three raw pixels in one packet
    b.insert(b.end(), {0x02, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    Loaded loaded;
    LoadBytes(CTgaCodec(), b, loaded);
    ASSERT_TRUE(loaded.ok);
    const CPixelImage& image = *loaded.images.front();
    EXPECT_EQ(ArgbAt(image, 0, 1), 0xFF0000FFu);
    EXPECT_EQ(ArgbAt(image, 1, 1), 0xFF0000FFu);
    EXPECT_EQ(ArgbAt(image, 2, 1), 0xFFFF0000u);
    EXPECT_EQ(ArgbAt(image, 0, 0), 0xFF030201u);
    EXPECT_EQ(ArgbAt(image, 2, 0), 0xFF090807u);
    ASSERT_NE(loaded.bag, nullptr);
    EXPECT_EQ(loaded.bag->Get(PROP_TGA_RLE), "1");
}

TEST(TgaReader, PacketLongerThanTheRowIsCutAtTheRowEnd) {
    std::vector<BYTE> b = TgaHeader(11, 2, 2, 8, 0x20);
    b.insert(b.end(), {0x84, 7});     // five pixels of 7 for a two-pixel row
    b.insert(b.end(), {0x01, 8, 9});  // the next row starts at the next packet
    Loaded loaded;
    LoadBytes(CTgaCodec(), b, loaded);
    ASSERT_TRUE(loaded.ok);
    const CPixelImage& image = *loaded.images.front();
    EXPECT_EQ(image.GetRow(0)[0], 7);
    EXPECT_EQ(image.GetRow(0)[1], 7);
    EXPECT_EQ(image.GetRow(0)[2], 0);  // row padding untouched
    EXPECT_EQ(image.GetRow(1)[0], 8);
    EXPECT_EQ(image.GetRow(1)[1], 9);
}

TEST(TgaReader, ColourMapWithOffsetAndAlpha) {
    std::vector<BYTE> b = TgaHeader(1, 2, 1, 8, 0x20);
    b[1] = 1;   // colour map present
    b[3] = 4;   // first entry 4
    b[5] = 2;   // two entries
    b[7] = 32;  // of 32 bits
    b.insert(b.end(), {10, 20, 30, 40, 50, 60, 70, 80});
    b.insert(b.end(), {4, 5});
    Loaded loaded;
    LoadBytes(CTgaCodec(), b, loaded);
    ASSERT_TRUE(loaded.ok);
    RGBQUAD e[3];
    ASSERT_TRUE(loaded.images.front()->GetPaletteEntries(3, 3, e));
    EXPECT_EQ(e[0].rgbBlue, 0);  // entries outside the map are zero, not the grey ramp
    EXPECT_EQ(e[1].rgbBlue, 10);
    EXPECT_EQ(e[1].rgbReserved, 40);
    EXPECT_EQ(e[2].rgbRed, 70);
    EXPECT_EQ(loaded.bag->Get(PROP_TGA_RLE), "-1");
}

TEST(TgaReader, MalformedFilesFailAndLeaveListAndBagAlone) {
    auto with = [](std::vector<BYTE> b, auto change) {
        change(b);
        return b;
    };
    const std::vector<BYTE> plain = [] {
        std::vector<BYTE> b = TgaHeader(2, 2, 2, 24, 0x20);
        b.resize(b.size() + 12, 0x55);
        return b;
    }();
    const std::vector<BYTE> cases[] = {
        std::vector<BYTE>(plain.begin(), plain.begin() + 18),  // header only
        std::vector<BYTE>(plain.begin(), plain.end() - 1),     // last byte missing
        with(plain, [](auto& b) { b[7] = 16; }),               // 16-bit colour map
        with(plain, [](auto& b) { b[7] = 15; }),
        with(plain, [](auto& b) { b[16] = 4; }),   // 4-bit pixels
        with(plain, [](auto& b) { b[12] = 0; }),   // zero width
        with(plain, [](auto& b) { b[0] = 200; }),  // ID runs off the end
        with(plain, [](auto& b) { b[1] = 1, b[3] = 200, b[5] = 100, b[7] = 24; }),  // map > 256
        with(plain, [](auto& b) { b[1] = 1, b[5] = 100, b[7] = 24; }),  // map runs off the end
        with(plain, [](auto& b) { b[2] = 10, b.resize(19), b[18] = 0x80; }),      // packet cut
        with(plain, [](auto& b) { b[2] = 10, b.resize(18 + 4), b[18] = 0x7F; }),  // raw cut
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        Loaded loaded;
        loaded.bag = std::make_unique<CPropertyBag>();
        CPropertyBag* before = loaded.bag.get();
        LoadBytes(CTgaCodec(), cases[i], loaded);
        EXPECT_FALSE(loaded.ok) << "case " << i;
        EXPECT_TRUE(loaded.images.empty()) << "case " << i;
        EXPECT_EQ(loaded.bag.get(), before) << "case " << i;
    }
}

// Mutated and cut copies of valid files: the readers must fail cleanly or give a sane image,
// never read outside the buffer (run under the sanitizers in CI).
TEST(CodecReaders, SurviveMutatedFiles) {
    std::vector<std::vector<BYTE>> seeds;
    std::vector<bool> isBmp;
    const std::string folder = std::filesystem::temp_directory_path() / "fc_mutation_seeds";
    std::filesystem::create_directories(folder);
    for (int bpp : {1, 4, 8, 16, 24, 32}) {
        const std::string path = folder + "/seed.bmp";
        ASSERT_TRUE(Save(CBmpCodec(), PatternImage(5, 3, bpp), path));
        seeds.push_back(ReadBytes(path));
        isBmp.push_back(true);
    }
    for (int bpp : {8, 16, 24, 32}) {
        const std::string path = folder + "/seed.tga";
        ASSERT_TRUE(Save(CTgaCodec(), PatternImage(5, 3, bpp), path));
        seeds.push_back(ReadBytes(path));
        isBmp.push_back(false);
    }
    std::filesystem::remove_all(folder);
    std::vector<BYTE> rle = TgaHeader(10, 4, 2, 24, 0);
    rle.insert(rle.end(), {0x83, 1, 2, 3, 0x01, 4, 5, 6, 7, 8, 9, 0x81, 1, 1, 1});
    seeds.push_back(rle);
    isBmp.push_back(false);

    std::uint32_t state = 12345;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    int loaded = 0;
    for (int round = 0; round < 3000; ++round) {
        const std::size_t which = next() % seeds.size();
        std::vector<BYTE> bytes = seeds[which];
        const int flips = 1 + int(next() % 4);
        for (int i = 0; i < flips; ++i) bytes[next() % bytes.size()] = BYTE(next());
        if (next() % 3 == 0) bytes.resize(1 + next() % bytes.size());
        Loaded result;
        if (isBmp[which])
            LoadBytes(CBmpCodec(), bytes, result);
        else
            LoadBytes(CTgaCodec(), bytes, result);
        if (!result.ok) continue;
        ++loaded;
        ASSERT_EQ(result.images.size(), 1u);
        const CPixelImage& image = *result.images.front();
        ASSERT_TRUE(image.IsValid());
        ASSERT_LE(std::int64_t(image.GetStride()) * image.GetHeight(), kMaxPixelBytes);
    }
    EXPECT_GT(loaded, 100);  // the mutations do not only produce refusals
}

class CodecFiles : public ScratchFolder {};

TEST_F(CodecFiles, LoadFileReadsWholeFilesAndRefusesEmptyOrMissingOnes) {
    const CPixelImage image = PatternImage(4, 3, 24);
    ASSERT_TRUE(Save(CTgaCodec(), image, PathOf("f.tga")));
    Loaded loaded;
    loaded.ok = CTgaCodec().LoadFile(PathOf("f.tga").c_str(), loaded.images, loaded.bag);
    ASSERT_TRUE(loaded.ok);
    EXPECT_EQ(ArgbAt(*loaded.images.front(), 3, 2), ArgbAt(image, 3, 2));
    WriteBytes(PathOf("empty.bmp"), {});
    Loaded failed;
    EXPECT_FALSE(CBmpCodec().LoadFile(PathOf("empty.bmp").c_str(), failed.images, failed.bag));
    EXPECT_FALSE(CBmpCodec().LoadFile(PathOf("none.bmp").c_str(), failed.images, failed.bag));
    EXPECT_FALSE(CBmpCodec().LoadFile(nullptr, failed.images, failed.bag));
}

}  // namespace
