#include "imaging/gdiplusbridge.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>

#include "imaging/codecfactory.h"
#include "imaging/systemcodec.h"
#include "platform/surface.h"
#include "tests/imaging/freeimage_oracle.h"
#include "tests/imaging/imaging_test_support.h"

using namespace gdiplus;

namespace {

std::unique_ptr<CGdiplusBitmap> BlankBitmap(int w, int h, PixelFormat format) {
    auto bitmap = std::make_unique<CGdiplusBitmap>();
    bitmap->m_lastStatus = Bitmap::CreateFromScan0(w, h, format, &bitmap->m_pBitmap);
    return bitmap;
}

void WriteRow(Bitmap& bitmap, int y, std::vector<BYTE> bytes) {
    BitmapData data;
    data.Stride = int(bytes.size());
    data.Scan0 = bytes.data();
    ASSERT_EQ(bitmap.LockBits(Rect{0, y, bitmap.GetWidth(), 1},
                              ImageLockModeWrite | ImageLockModeUserInputBuf,
                              bitmap.GetPixelFormat(), &data),
              Status::Ok);
    ASSERT_EQ(bitmap.UnlockBits(&data), Status::Ok);
}

TEST(GdiplusBridge, SurfaceBecomesAnOpaqueImage) {
    CSurface surface(3, 2);
    surface.Fill(0x80402010u);  // half-transparent premultiplied
    surface.Row(1)[2] = 0x00000000u;
    const std::unique_ptr<CGdiplusBitmap> bitmap = CreateGdiplusBitmapFromHBITMAP(&surface);
    ASSERT_TRUE(bitmap->m_pBitmap);
    EXPECT_EQ(bitmap->m_pBitmap->GetPixelFormat(), PixelFormat32bppRGB);
    CPixelImage image;
    ASSERT_TRUE(ImageFromGdiplusBitmap(*bitmap, image));
    ASSERT_EQ(image.GetBitsPerPixel(), 32);
    EXPECT_EQ(ArgbAt(image, 0, 0), 0xFF402010u);
    EXPECT_EQ(ArgbAt(image, 2, 1), 0xFF000000u);
    EXPECT_EQ(ArgbAt(image, 2, 0), 0xFF402010u);

    EXPECT_EQ(CreateGdiplusBitmapFromHBITMAP(nullptr)->m_pBitmap, nullptr);
    const CSurface empty;
    EXPECT_NE(CreateGdiplusBitmapFromHBITMAP(&empty)->m_lastStatus, Status::Ok);
}

TEST(GdiplusBridge, ArgbKeepsAlphaAndWideFormatsLeaveTheTargetAlone) {
    auto argb = BlankBitmap(2, 1, PixelFormat32bppARGB);
    WriteRow(*argb->m_pBitmap, 0, {1, 2, 3, 4, 5, 6, 7, 8});
    CPixelImage image;
    ASSERT_TRUE(ImageFromGdiplusBitmap(*argb, image));
    EXPECT_EQ(ArgbAt(image, 1, 0), 0x08070605u);

    for (PixelFormat wide : {PixelFormat48bppRGB, PixelFormat64bppARGB, PixelFormat64bppPARGB}) {
        CPixelImage target = PatternImage(5, 5, 24);
        const BYTE* pixels = target.GetPixels();
        EXPECT_FALSE(ImageFromGdiplusBitmap(*BlankBitmap(2, 2, wide), target));
        EXPECT_EQ(target.GetWidth(), 5);
        EXPECT_EQ(target.GetPixels(), pixels);
    }
}

TEST(GdiplusBridge, ShortPaletteKeepsTheGreyRampBeyondIt) {
    auto indexed = BlankBitmap(4, 2, PixelFormat8bppIndexed);
    ColorPalette palette;
    for (int i = 0; i < 16; ++i) palette.Entries.push_back(0x80000000u | ARGB(i) << 16);
    ASSERT_EQ(indexed->m_pBitmap->SetPalette(palette), Status::Ok);
    CPixelImage image;
    ASSERT_TRUE(ImageFromGdiplusBitmap(*indexed, image));
    RGBQUAD entries[256];
    ASSERT_TRUE(image.GetPaletteEntries(0, 256, entries));
    EXPECT_EQ(entries[15].rgbRed, 15);
    EXPECT_EQ(entries[15].rgbBlue, 0);
    EXPECT_EQ(entries[15].rgbReserved, 0x80);
    for (int i = 16; i < 256; ++i) ASSERT_EQ(entries[i].rgbGreen, i);
}

TEST(GdiplusBridge, ImagesRoundTripThroughBitmapsAtEveryDepth) {
    struct {
        int bpp;
        bool bitfields565;
        PixelFormat format;
    } cases[] = {{1, false, PixelFormat1bppIndexed}, {4, false, PixelFormat4bppIndexed},
                 {8, false, PixelFormat8bppIndexed}, {16, false, PixelFormat16bppRGB555},
                 {16, true, PixelFormat16bppRGB565}, {24, false, PixelFormat24bppRGB},
                 {32, false, PixelFormat32bppARGB}};
    for (const auto& c : cases) {
        CPixelImage image = PatternImage(11, 4, c.bpp);
        if (c.bitfields565) {
            std::vector<BYTE> info = image.BuildBitmapInfo();
            reinterpret_cast<BITMAPINFOHEADER*>(info.data())->biCompression = BI_BITFIELDS;
            const std::uint32_t masks[3] = {0xF800, 0x07E0, 0x001F};
            std::memcpy(info.data() + 40, masks, 12);
            CPixelImage wide;
            ASSERT_TRUE(wide.Create(reinterpret_cast<BITMAPINFOHEADER*>(info.data())));
            wide.Blit(image, 0, 0);
            image = wide;
        }
        const std::unique_ptr<CGdiplusBitmap> bitmap = GdiplusBitmapFromImage(image);
        ASSERT_TRUE(bitmap && bitmap->m_pBitmap) << c.bpp;
        EXPECT_EQ(bitmap->m_pBitmap->GetPixelFormat(), c.format) << c.bpp;
        CPixelImage back;
        ASSERT_TRUE(ImageFromGdiplusBitmap(*bitmap, back));
        ASSERT_EQ(back.GetBitsPerPixel(), c.bpp);
        EXPECT_EQ(back.GetGreenMask(), image.GetGreenMask());
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 11; ++x)
                ASSERT_EQ(ArgbAt(back, x, y), ArgbAt(image, x, y)) << c.bpp << " " << x;
    }
    EXPECT_EQ(GdiplusBitmapFromImage(CPixelImage()), nullptr);
}

TEST(Stretch, ThirtyTwoBitImageReachesTheNewSizeWithoutDarkEdges) {
    CPixelImage image;
    ASSERT_TRUE(image.CreateBlank(100, 50, 32));
    const BYTE pixel[4] = {40, 160, 220, 255};
    FillRect(image, RECT{0, 0, 100, 50}, pixel);
    image.Stretch(200, 100);
    ASSERT_EQ(image.GetWidth(), 200);
    ASSERT_EQ(image.GetHeight(), 100);
    ASSERT_EQ(image.GetBitsPerPixel(), 32);
    for (auto [x, y] : {std::pair{0, 0}, {199, 0}, {0, 99}, {199, 99}, {100, 50}})
        EXPECT_EQ(ArgbAt(image, x, y), 0xFFDCA028u) << x << "," << y;
}

// Catmull-Rom overshoots at a hard edge where a bilinear filter cannot.
TEST(Stretch, HighQualityIsBicubic) {
    CPixelImage image;
    ASSERT_TRUE(image.CreateBlank(8, 4, 24));
    const BYTE dark[3] = {60, 60, 60};
    const BYTE light[3] = {200, 200, 200};
    FillRect(image, RECT{0, 0, 4, 4}, dark);
    FillRect(image, RECT{4, 0, 8, 4}, light);
    CPixelImage bilinear(image);
    image.Stretch(32, 4);
    StretchWithMode(bilinear, 32, 4, InterpolationModeBilinear);
    int lowest = 255, highest = 0, bilinearLowest = 255, bilinearHighest = 0;
    for (int x = 0; x < 32; ++x) {
        lowest = std::min<int>(lowest, image.GetPixelAddress(x, 2)[1]);
        highest = std::max<int>(highest, image.GetPixelAddress(x, 2)[1]);
        bilinearLowest = std::min<int>(bilinearLowest, bilinear.GetPixelAddress(x, 2)[1]);
        bilinearHighest = std::max<int>(bilinearHighest, bilinear.GetPixelAddress(x, 2)[1]);
    }
    EXPECT_LT(lowest, 60);
    EXPECT_GT(highest, 200);
    EXPECT_EQ(bilinearLowest, 60);
    EXPECT_EQ(bilinearHighest, 200);
}

TEST(Stretch, SixteenBitImagesKeepTheirMasks) {
    CPixelImage image = PatternImage(6, 6, 16);
    image.Stretch(12, 3);
    ASSERT_EQ(image.GetWidth(), 12);
    EXPECT_EQ(image.GetBitsPerPixel(), 16);
    EXPECT_EQ(image.GetGreenMask(), 0x03E0u);
}

TEST(Stretch, UnsuitableRequestsChangeNothing) {
    const struct {
        int bpp, width, height;
    } cases[] = {{8, 20, 20}, {4, 20, 20}, {24, 0, 10}, {24, 10, -1}, {24, 70000, 10}};
    for (const auto& c : cases) {
        CPixelImage image = PatternImage(10, 10, c.bpp);
        image.m_x = 4;
        const BYTE* pixels = image.GetPixels();
        image.Stretch(c.width, c.height);
        EXPECT_EQ(image.GetWidth(), 10);
        EXPECT_EQ(image.GetPixels(), pixels);
        EXPECT_EQ(image.m_x, 4);
    }
}

TEST(EncoderClsid, FoundForTheFiveSystemFormatsOnly) {
    CLSID bmp, jpeg;
    ASSERT_TRUE(FindEncoderClsid(IMG_BMP, &bmp));
    ASSERT_TRUE(FindEncoderClsid(IMG_JPEG, &jpeg));
    EXPECT_FALSE(bmp == jpeg);
    for (ImageType t : {IMG_GIF, IMG_TIFF, IMG_PNG}) {
        CLSID clsid;
        EXPECT_TRUE(FindEncoderClsid(t, &clsid)) << t;
    }
    for (ImageType t : {IMG_ICO, IMG_TGA, IMG_PCX, IMG_UNKNOWN}) {
        CLSID clsid;
        EXPECT_FALSE(FindEncoderClsid(t, &clsid)) << t;
    }
}

TEST(GdiplusGuard, StartsAndStopsTheLibraryInPairs) {
    const int before = GdiplusStartupCount();
    {
        CGdiplusGuard a;
        CGdiplusGuard b;
        EXPECT_EQ(GdiplusStartupCount(), before + 2);
    }
    EXPECT_EQ(GdiplusStartupCount(), before);
}

// ---- the system codec ----

class SaveQuality : public ::testing::TestWithParam<std::tuple<const char*, const char*, int>> {};

TEST_P(SaveQuality, ParsedAndClamped) {
    const auto [quality, tag, expected] = GetParam();
    CPropertyBag bag;
    if (quality) bag.Set(PROP_QUALITY, quality);
    if (tag) bag.Set(kJpegQualityTag, tag);
    EXPECT_EQ(SaveQualityFromProperties(&bag), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SaveQuality,
    ::testing::Values(std::tuple{"-1", nullptr, 80}, std::tuple{nullptr, nullptr, 80},
                      std::tuple{"150", nullptr, 100}, std::tuple{"0", nullptr, 1},
                      std::tuple{"x", nullptr, 1}, std::tuple{"42", "90", 42},
                      std::tuple{"", "55", 55}, std::tuple{nullptr, "-1", 80},
                      std::tuple{"99999999999", nullptr, 100}, std::tuple{"-7", nullptr, 1},
                      std::tuple{"70abc", nullptr, 70}));

class SystemCodecFiles : public ScratchFolder {};

TEST_F(SystemCodecFiles, JpegQualityReachesTheEncoder) {
    CPixelImage image = PatternImage(64, 48, 32);
    auto save = [&](const char* name, const char* quality) {
        CPropertyBag bag;
        bag.Set(PROP_QUALITY, quality);
        EXPECT_TRUE(image.SaveWithProperties(PathOf(name).c_str(), &bag));
        return ReadBytes(PathOf(name));
    };
    ASSERT_TRUE(image.SaveToFile(PathOf("default.jpg").c_str(), -1));
    EXPECT_EQ(ReadBytes(PathOf("default.jpg")), save("q80.jpg", "80"));
    EXPECT_EQ(save("q150.jpg", "150"), save("q100.jpg", "100"));
    EXPECT_EQ(save("q0.jpg", "0"), save("q1.jpg", "1"));
    EXPECT_EQ(save("qx.jpg", "x"), save("q1b.jpg", "1"));
    EXPECT_NE(ReadBytes(PathOf("q80.jpg")), ReadBytes(PathOf("q100.jpg")));
    EXPECT_GT(ReadBytes(PathOf("q100.jpg")).size(), ReadBytes(PathOf("q1.jpg")).size());
}

// A smooth 32-bit frame with anti-aliased-looking content: far more than 256 colours.
CPixelImage GradientFrame(int width, int height) {
    CPixelImage image;
    EXPECT_TRUE(image.CreateBlank(width, height, 32));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            BYTE* p = image.GetPixelAddress(x, y);
            const double d = std::hypot(x - width / 2.0, y - height / 2.0);
            p[0] = BYTE(x * 255 / width);
            p[1] = BYTE(y * 255 / height);
            p[2] = BYTE(d < height / 3.0 ? 230 : 40 + (x + y) % 64);
            p[3] = 255;
        }
    return image;
}

TEST_F(SystemCodecFiles, GifFromAThirtyTwoBitFrameHasAPaletteAndStaysClose) {
    const CPixelImage frame = GradientFrame(120, 80);
    ASSERT_TRUE(const_cast<CPixelImage&>(frame).SaveToFile(PathOf("frame.gif").c_str(), -1));
    const OraclePicture gif = DecodeWithFreeImage(PathOf("frame.gif"));
    ASSERT_TRUE(gif.ok);
    EXPECT_LE(gif.bpp, 8);
    double error = 0;
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 120; ++x) {
            const std::uint32_t a = gif.At(x, y), b = ArgbAt(frame, x, y);
            for (int shift : {0, 8, 16})
                error += std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF));
        }
    EXPECT_LT(error / (120 * 80 * 3), 6.0);
}

TEST_F(SystemCodecFiles, LosslessFormatsLoadBackToTheSamePixels) {
    for (const char* name : {"a.png", "a.tif", "a.gif"}) {
        CPixelImage image = PatternImage(9, 7, std::string(name) == "a.gif" ? 8 : 32);
        ASSERT_TRUE(image.SaveToFile(PathOf(name).c_str(), -1)) << name;
        CSystemCodec codec;
        CImageList images;
        auto bag = std::make_unique<CPropertyBag>();
        ASSERT_TRUE(codec.LoadFile(PathOf(name).c_str(), images, bag)) << name;
        ASSERT_EQ(images.size(), 1u);
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 9; ++x)
                ASSERT_EQ(ArgbAt(*images.front(), x, y), ArgbAt(image, x, y)) << name;
        delete images.front();
    }
}

TEST_F(SystemCodecFiles, AnimatedGifGivesEveryFrameAndItsDelays) {
    ASSERT_TRUE(
        WriteAnimatedGif(PathOf("anim.gif"), 6, 4, {0xFF0000, 0x00FF00, 0x0000FF}, {100, 250, 40}));
    const std::vector<BYTE> bytes = ReadBytes(PathOf("anim.gif"));
    CSystemCodec codec;
    CImageList images;
    std::unique_ptr<CPropertyBag> bag;
    ASSERT_TRUE(codec.LoadMemory(bytes.data(), bytes.size(), images, bag));
    ASSERT_EQ(images.size(), 3u);
    EXPECT_EQ(ArgbAt(*images[0], 5, 3) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(ArgbAt(*images[2], 0, 0) & 0xFFFFFF, 0x0000FFu);
    ASSERT_NE(bag, nullptr);
    EXPECT_EQ(bag->Get(PROP_FRAME_DELAYS),
              "0000000000000100"
              "0000000000000250"
              "0000000000000040");
    for (CPixelImage* image : images) delete image;
}

TEST_F(SystemCodecFiles, UnreadableInputFailsAndLeavesTheBag) {
    CSystemCodec codec;
    CImageList images;
    auto bag = std::make_unique<CPropertyBag>();
    CPropertyBag* before = bag.get();
    const std::vector<BYTE> junk(300, 0x42);
    EXPECT_FALSE(codec.LoadMemory(junk.data(), junk.size(), images, bag));
    std::vector<BYTE> png = [&] {
        CPixelImage image = PatternImage(20, 20, 24);
        image.SaveToFile(PathOf("t.png").c_str(), -1);
        return ReadBytes(PathOf("t.png"));
    }();
    png.resize(png.size() / 2);
    EXPECT_FALSE(codec.LoadMemory(png.data(), png.size(), images, bag));
    EXPECT_FALSE(codec.LoadFile(PathOf("missing.png").c_str(), images, bag));
    EXPECT_TRUE(images.empty());
    EXPECT_EQ(bag.get(), before);
}

TEST(SystemCodecMetadata, BagTextsBecomeTypedItems) {
    CPropertyBag bag;
    bag.Set(0x010F, "Maker");
    bag.Set(0x829A, "1/250");
    bag.Set(0x9204, "-2/3");
    bag.Set(0x8827, "400");
    bag.Set(0x829D, "28");  // no "/": skipped
    bag.Set(PROP_QUALITY, "90");
    const std::vector<PropertyItem> items = PropertyItemsFromBag(bag);
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].Type, PropertyTagTypeASCII);
    EXPECT_EQ(items[0].Value, (std::vector<std::uint8_t>{'M', 'a', 'k', 'e', 'r', 0}));
    EXPECT_EQ(items[1].Type, PropertyTagTypeRational);
    EXPECT_EQ(items[1].Value, (std::vector<std::uint8_t>{1, 0, 0, 0, 250, 0, 0, 0}));
    EXPECT_EQ(items[2].Type, PropertyTagTypeSRational);
    EXPECT_EQ(items[2].Value, (std::vector<std::uint8_t>{0xFE, 0xFF, 0xFF, 0xFF, 3, 0, 0, 0}));
    EXPECT_EQ(items[3].Type, PropertyTagTypeShort);
    EXPECT_EQ(items[3].Value, (std::vector<std::uint8_t>{0x90, 0x01}));

    const std::unique_ptr<CPropertyBag> back = PropertyBagFromItems(items);
    EXPECT_EQ(back->Get(0x010F), "Maker");
    EXPECT_EQ(back->Get(0x829A), "1/250");
    EXPECT_EQ(back->Get(0x9204), "-2/3");
    EXPECT_EQ(back->Get(0x8827), "400");
}

TEST(SystemCodecMetadata, ItemsOfOddShapesAreSkipped) {
    const std::vector<PropertyItem> items = {
        {0x5100, PropertyTagTypeLong, {10, 0, 0, 0, 1, 0, 0, 0}},
        {0x0100, PropertyTagTypeLong, {1, 2, 3, 4, 5, 6, 7, 8}},  // two longs: skipped
        {0x0101, PropertyTagTypeLong, {0x2A, 0, 0, 0}},
        {0x0102, PropertyTagTypeShort, {1, 0, 2, 0}},     // two shorts: skipped
        {0x0103, PropertyTagTypeRational, {1, 0, 0, 0}},  // cut: skipped
        {0x0104, PropertyTagTypeUndefined, {1}},
        {0x0105, PropertyTagTypeASCII, {'a', 'b', 0, 'c'}},
        {0x0106, PropertyTagTypeASCII, {'n', 'o', 'z', 'e', 'r', 'o'}},
    };
    const std::unique_ptr<CPropertyBag> bag = PropertyBagFromItems(items);
    EXPECT_EQ(bag->Get(PROP_FRAME_DELAYS),
              "0000000000000100"
              "0000000000000010");
    EXPECT_EQ(bag->GetCount(), 4u);
    EXPECT_EQ(bag->Get(0x0101), "42");
    EXPECT_EQ(bag->Get(0x0105), "ab");
    EXPECT_EQ(bag->Get(0x0106), "nozero");
}

}  // namespace
