#include "imaging/pixelimage.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstring>
#include <tuple>

#include "tests/imaging/imaging_test_support.h"

namespace {

struct BlankCase {
    int width, height, bpp;
};

class RefusedBlank : public ::testing::TestWithParam<BlankCase> {};

TEST_P(RefusedBlank, LeavesEmptyImageEmptyAndValidImageUnchanged) {
    const BlankCase c = GetParam();
    CPixelImage empty;
    EXPECT_FALSE(empty.CreateBlank(c.width, c.height, c.bpp));
    EXPECT_FALSE(empty.IsValid());
    EXPECT_EQ(empty.GetWidth(), 0);
    EXPECT_EQ(empty.GetRedMask(), 0u);

    CPixelImage valid = PatternImage(3, 2, 24);
    const BYTE before = valid.GetRow(1)[2];
    EXPECT_FALSE(valid.CreateBlank(c.width, c.height, c.bpp));
    ASSERT_TRUE(valid.IsValid());
    EXPECT_EQ(valid.GetWidth(), 3);
    EXPECT_EQ(valid.GetRow(1)[2], before);
}

INSTANTIATE_TEST_SUITE_P(Sizes, RefusedBlank,
                         ::testing::Values(BlankCase{0, 10, 24}, BlankCase{10, -1, 24},
                                           BlankCase{10, 10, 2}, BlankCase{10, 10, 15},
                                           BlankCase{10, 10, 48}, BlankCase{70000, 1, 8},
                                           BlankCase{40000, 40000, 32}));

class Stride : public ::testing::TestWithParam<std::tuple<int, int, int>> {};

TEST_P(Stride, RowsArePaddedToFourBytes) {
    const auto [width, bpp, stride] = GetParam();
    CPixelImage image;
    ASSERT_TRUE(image.CreateBlank(width, 2, bpp));
    EXPECT_EQ(image.GetStride(), stride);
    EXPECT_EQ(image.GetRow(0) - image.GetRow(1), stride);
}

INSTANTIATE_TEST_SUITE_P(Depths, Stride,
                         ::testing::Values(std::tuple{1, 24, 4}, std::tuple{3, 8, 4},
                                           std::tuple{33, 1, 8}, std::tuple{10, 32, 40},
                                           std::tuple{5, 24, 16}, std::tuple{3, 16, 8},
                                           std::tuple{9, 4, 8}));

TEST(PixelImage, RowTableCountsFromTheTopOfABottomUpBlock) {
    CPixelImage image;
    ASSERT_TRUE(image.CreateBlank(3, 2, 8));
    EXPECT_EQ(image.GetRow(1), image.GetPixels());
    EXPECT_EQ(image.GetRow(0), image.GetPixels() + 4);
    EXPECT_EQ(image.GetHeader().biHeight, 2);
    EXPECT_EQ(image.GetPixelAddress(2, 0), image.GetPixels() + 4 + 2);
}

TEST(PixelImage, PixelAddressesByDepth) {
    const struct {
        int bpp, x, offset;
    } cases[] = {{1, 9, 1}, {4, 3, 1}, {8, 3, 3}, {16, 3, 6}, {24, 3, 9}, {32, 3, 12}};
    for (const auto& c : cases) {
        CPixelImage image;
        ASSERT_TRUE(image.CreateBlank(16, 2, c.bpp));
        EXPECT_EQ(image.GetPixelAddress(c.x, 1) - image.GetRow(1), c.offset) << c.bpp;
    }
}

TEST(PixelImage, SixteenBitMasksAndBitfieldCompression) {
    CPixelImage plain;
    ASSERT_TRUE(plain.CreateBlank(2, 2, 16));
    EXPECT_EQ(plain.GetRedMask(), 0x7C00u);
    EXPECT_EQ(plain.GetGreenMask(), 0x03E0u);
    EXPECT_EQ(plain.GetBlueMask(), 0x001Fu);

    struct {
        BITMAPINFOHEADER header{};
        std::uint32_t masks[3] = {0xF800, 0x07E0, 0x001F};
    } info;
    info.header.biWidth = 2;
    info.header.biHeight = 2;
    info.header.biBitCount = 16;
    info.header.biCompression = BI_BITFIELDS;
    info.header.biXPelsPerMeter = 2835;
    CPixelImage bitfields;
    ASSERT_TRUE(bitfields.Create(&info.header));
    EXPECT_EQ(bitfields.GetRedMask(), 0xF800u);
    EXPECT_EQ(bitfields.GetGreenMask(), 0x07E0u);
    EXPECT_EQ(bitfields.GetHeader().biCompression, BI_BITFIELDS);
    EXPECT_EQ(bitfields.GetHeader().biXPelsPerMeter, 2835);
    EXPECT_EQ(bitfields.GetHeader().biSize, 40u);
    EXPECT_EQ(bitfields.GetHeader().biPlanes, 1);

    info.header.biBitCount = 32;
    CPixelImage wide;
    ASSERT_TRUE(wide.Create(&info.header));
    EXPECT_EQ(wide.GetHeader().biCompression, BI_RGB);

    info.header.biCompression = 1;  // run-length: refused
    EXPECT_FALSE(CPixelImage().Create(&info.header));
    EXPECT_FALSE(CPixelImage().Create(nullptr));
}

TEST(PixelImage, GreyRampPalettes) {
    const struct { int bpp, step; } cases[] = {{1, 255}, {4, 17}, {8, 1}};
    for (const auto& c : cases) {
        CPixelImage image;
        ASSERT_TRUE(image.CreateBlank(1, 1, c.bpp));
        const int n = 1 << c.bpp;
        std::vector<RGBQUAD> palette(n);
        ASSERT_TRUE(image.GetPaletteEntries(0, n, palette.data()));
        for (int i = 0; i < n; ++i) {
            EXPECT_EQ(palette[i].rgbRed, i * c.step) << c.bpp << " " << i;
            EXPECT_EQ(palette[i].rgbBlue, i * c.step);
            EXPECT_EQ(palette[i].rgbReserved, 0);
        }
    }
}

TEST(PixelImage, PaletteWritesStopAtThePaletteEnd) {
    CPixelImage image;
    ASSERT_TRUE(image.CreateBlank(1, 1, 8));
    std::vector<RGBQUAD> red(10, RGBQUAD{0, 0, 255, 0});
    EXPECT_TRUE(image.SetPaletteEntries(250, 10, red.data()));
    RGBQUAD entries[7];
    ASSERT_TRUE(image.GetPaletteEntries(249, 7, entries));
    EXPECT_EQ(entries[0].rgbRed, 249);
    EXPECT_EQ(entries[0].rgbBlue, 249);
    for (int i = 1; i < 7; ++i) EXPECT_EQ(entries[i].rgbBlue, 0) << i;

    EXPECT_FALSE(image.SetPaletteEntries(-1, 1, red.data()));
    EXPECT_FALSE(image.SetPaletteEntries(0, 1, nullptr));
    CPixelImage rgb;
    ASSERT_TRUE(rgb.CreateBlank(1, 1, 24));
    EXPECT_FALSE(rgb.SetPaletteEntries(0, 1, red.data()));
    EXPECT_FALSE(CPixelImage().GetPaletteEntries(0, 1, entries));
}

TEST(PixelImage, AlphaChannelOnlyForThirtyTwoBits) {
    CPixelImage argb = PatternImage(5, 3, 32);
    argb.SetAlphaChannel(7);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(argb.GetPixelAddress(x, y)[3], 7);
    EXPECT_EQ(argb.GetPixelAddress(4, 2)[2], PatternImage(5, 3, 32).GetPixelAddress(4, 2)[2]);

    CPixelImage rgb = PatternImage(4, 2, 24);
    rgb.SetAlphaChannel(7);
    EXPECT_EQ(std::memcmp(rgb.GetPixels(), PatternImage(4, 2, 24).GetPixels(), 24), 0);
}

TEST(PixelImage, BitmapInfoCarriesPaletteOrMasks) {
    CPixelImage indexed = PatternImage(3, 3, 4);
    std::vector<BYTE> info = indexed.BuildBitmapInfo();
    ASSERT_EQ(info.size(), 40u + 64u);
    EXPECT_EQ(info[40 + 4 * 2 + 2], 2 * 13);  // red of entry 2
    CPixelImage wide = PatternImage(3, 3, 16);
    info = wide.BuildBitmapInfo();
    ASSERT_EQ(info.size(), 52u);
    EXPECT_EQ(info[40], 0x00);
    EXPECT_EQ(info[41], 0x7C);
    EXPECT_TRUE(CPixelImage().BuildBitmapInfo().empty());
}

TEST(PixelImage, CopiesCarryPixelsPaletteMasksAndOrigin) {
    for (int bpp : {1, 4, 8, 16, 24, 32}) {
        CPixelImage source = PatternImage(7, 5, bpp);
        source.m_x = 3;
        source.m_y = -4;
        CPixelImage copy(source);
        ASSERT_TRUE(copy.IsValid());
        EXPECT_NE(copy.GetPixels(), source.GetPixels());
        EXPECT_EQ(std::memcmp(copy.GetPixels(), source.GetPixels(), source.GetStride() * 5), 0);
        EXPECT_EQ(copy.GetRedMask(), source.GetRedMask());
        EXPECT_EQ(copy.m_x, 3);
        EXPECT_EQ(copy.m_y, -4);
        for (int x = 0; x < 7; ++x) EXPECT_EQ(ArgbAt(copy, x, 4), ArgbAt(source, x, 4)) << bpp;
    }
    CPixelImage image = PatternImage(2, 2, 24);
    image.CopyFrom(image);
    EXPECT_TRUE(image.IsValid());
    CPixelImage target = PatternImage(2, 2, 24);
    target.CopyFrom(CPixelImage());
    EXPECT_TRUE(target.IsValid());
    target = CPixelImage();  // assignment makes a copy, also of an empty image
    EXPECT_FALSE(target.IsValid());
}

TEST(PixelImage, BlitClipsToBothImages) {
    CPixelImage target;
    ASSERT_TRUE(target.CreateBlank(4, 4, 32));
    CPixelImage source = PatternImage(3, 3, 32);
    ASSERT_TRUE(target.Blit(source, 2, -1));
    EXPECT_EQ(ArgbAt(target, 2, 0), ArgbAt(source, 0, 1));
    EXPECT_EQ(ArgbAt(target, 3, 1), ArgbAt(source, 1, 2));
    EXPECT_EQ(ArgbAt(target, 1, 0), 0u);
    EXPECT_EQ(ArgbAt(target, 2, 2), 0u);

    EXPECT_FALSE(target.Blit(source, 4, 0));
    EXPECT_FALSE(target.Blit(source, -3, 0));
    EXPECT_FALSE(target.Blit(PatternImage(2, 2, 24), 0, 0));
    CPixelImage nibbles;
    ASSERT_TRUE(nibbles.CreateBlank(4, 4, 4));
    EXPECT_FALSE(nibbles.Blit(PatternImage(2, 2, 4), 0, 0));
    EXPECT_FALSE(target.Blit(source, 0x7FFFFFFF, 0x7FFFFFFF));
}

TEST(PixelImage, FillRectClipsAndCopiesWholePixels) {
    CPixelImage image;
    ASSERT_TRUE(image.CreateBlank(4, 3, 24));
    const BYTE pixel[3] = {1, 2, 3};
    FillRect(image, RECT{-5, 1, 2, 99}, pixel);
    EXPECT_EQ(ArgbAt(image, 0, 1), 0xFF030201u);
    EXPECT_EQ(ArgbAt(image, 1, 2), 0xFF030201u);
    EXPECT_EQ(ArgbAt(image, 2, 1), 0xFF000000u);
    EXPECT_EQ(ArgbAt(image, 0, 0), 0xFF000000u);
    FillRect(image, RECT{3, 3, 1, 1}, pixel);  // empty
    EXPECT_EQ(ArgbAt(image, 2, 2), 0xFF000000u);

    CPixelImage bits;
    ASSERT_TRUE(bits.CreateBlank(8, 1, 1));
    FillRect(bits, RECT{0, 0, 8, 1}, pixel);
    EXPECT_EQ(bits.GetRow(0)[0], 0);
}

TEST(PixelImage, ExpandBorderReplicatesEdgesAndCorners) {
    CPixelImage image = PatternImage(2, 2, 32);
    image.m_x = 5;
    const CPixelImage old(image);
    image.ExpandBorder(true, 10, 10, 10, 10);
    ASSERT_EQ(image.GetWidth(), 22);
    ASSERT_EQ(image.GetHeight(), 22);
    EXPECT_EQ(image.m_x, -5);
    EXPECT_EQ(image.m_y, -10);
    for (int y = 0; y < 22; ++y)
        for (int x = 0; x < 22; ++x)
            ASSERT_EQ(ArgbAt(image, x, y),
                      ArgbAt(old, std::clamp(x - 10, 0, 1), std::clamp(y - 10, 0, 1)))
                << x << "," << y;
}

TEST(PixelImage, ExpandBorderWithUnevenMarginsAndWithoutReplication) {
    CPixelImage image = PatternImage(3, 2, 24);
    const CPixelImage old(image);
    image.ExpandBorder(true, 1, 0, 2, 3);
    ASSERT_EQ(image.GetWidth(), 6);
    ASSERT_EQ(image.GetHeight(), 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x)
            ASSERT_EQ(ArgbAt(image, x, y),
                      ArgbAt(old, std::clamp(x - 1, 0, 2), std::clamp(y, 0, 1)))
                << x << "," << y;

    CPixelImage plain = PatternImage(2, 2, 8);
    const CPixelImage oldPlain(plain);
    plain.ExpandBorder(false, 1, 1, 1, 1);
    ASSERT_EQ(plain.GetWidth(), 4);
    EXPECT_EQ(*plain.GetPixelAddress(0, 0), 0);
    EXPECT_EQ(*plain.GetPixelAddress(1, 1), *oldPlain.GetPixelAddress(0, 0));
    EXPECT_EQ(*plain.GetPixelAddress(3, 3), 0);
}

TEST(PixelImage, ExpandBorderLeavesUnsuitableRequestsAlone) {
    const struct {
        int bpp, left, top, right, bottom;
    } cases[] = {{4, 1, 1, 1, 1}, {24, 0, 0, 0, 0}, {24, -1, 2, 2, 2}, {24, 70000, 0, 0, 0}};
    for (const auto& c : cases) {
        CPixelImage image = PatternImage(3, 3, c.bpp);
        const BYTE* pixels = image.GetPixels();
        image.ExpandBorder(true, c.left, c.top, c.right, c.bottom);
        EXPECT_EQ(image.GetWidth(), 3);
        EXPECT_EQ(image.GetPixels(), pixels);
    }
}

TEST(PixelImage, StoreRoundTripsAndRefusesShortBlocks) {
    CPixelImage image = PatternImage(5, 3, 16);
    image.m_x = 12;
    image.m_y = -7;
    const std::size_t total = 40 + 12 + 12 * 3 + 8;
    std::vector<BYTE> block(total);
    EXPECT_EQ(image.Store(true, block.data(), total - 1), 0);
    ASSERT_EQ(image.Store(true, block.data(), block.size()), int(total));

    CPixelImage restored;
    EXPECT_EQ(restored.Store(false, block.data(), total - 1), 0);
    EXPECT_FALSE(restored.IsValid());
    ASSERT_EQ(restored.Store(false, block.data(), block.size()), int(total));
    EXPECT_EQ(restored.m_x, 12);
    EXPECT_EQ(restored.m_y, -7);
    EXPECT_EQ(std::memcmp(restored.GetPixels(), image.GetPixels(), 36), 0);

    block[4] = 0xFF;  // width now huge: refused, not read past the block
    block[5] = 0xFF;
    EXPECT_EQ(CPixelImage().Store(false, block.data(), block.size()), 0);
    EXPECT_EQ(CPlacedObject().Store(true, block.data(), 7), 0);
}

#if !defined(__SANITIZE_ADDRESS__)
TEST(PixelImageDeathTest, FailedPageAllocationLeavesTheImageEmpty) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto createUnderTightLimit = [] {
        rlimit limit{256u << 20, 256u << 20};
        setrlimit(RLIMIT_AS, &limit);
        CPixelImage image = PatternImage(4, 4, 24);
        const bool created = image.CreateBlank(16000, 16000, 32);  // about 1 GB
        std::exit(!created && !image.IsValid() && image.GetWidth() == 0 ? 0 : 1);
    };
    EXPECT_EXIT(createUnderTightLimit(), ::testing::ExitedWithCode(0), "");
}
#endif

}  // namespace
