#include "platform/gdiplus.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <tuple>

using namespace gdiplus;

namespace {

std::unique_ptr<Bitmap> Make(int w, int h, PixelFormat format) {
    std::unique_ptr<Bitmap> bitmap;
    EXPECT_EQ(Bitmap::CreateFromScan0(w, h, format, &bitmap), Status::Ok);
    return bitmap;
}

Status CopyRows(Bitmap& bitmap, const Rect& rect, unsigned mode, std::vector<std::uint8_t>& buffer,
                int stride) {
    BitmapData data;
    data.Stride = stride;
    data.Scan0 = stride < 0 ? buffer.data() + buffer.size() + stride : buffer.data();
    const Status locked =
        bitmap.LockBits(rect, mode | ImageLockModeUserInputBuf, bitmap.GetPixelFormat(), &data);
    if (locked != Status::Ok) return locked;
    return bitmap.UnlockBits(&data);
}

std::string TempPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() / ("filmcast_gdiplus_" + name)).string();
}

TEST(GdiplusBitmap, FormatSizesAndRefusedSizes) {
    EXPECT_EQ(GetPixelFormatSize(PixelFormat16bppRGB565), 16);
    EXPECT_EQ(GetPixelFormatSize(PixelFormat32bppPARGB), 32);
    EXPECT_EQ(GetPixelFormatSize(PixelFormat64bppARGB), 64);
    EXPECT_EQ(GetPixelFormatSize(0x12345), 0);
    EXPECT_TRUE(IsIndexedPixelFormat(PixelFormat4bppIndexed));
    EXPECT_FALSE(IsIndexedPixelFormat(PixelFormat24bppRGB));
    std::unique_ptr<Bitmap> bitmap;
    EXPECT_EQ(Bitmap::CreateFromScan0(0, 5, PixelFormat24bppRGB, &bitmap),
              Status::InvalidParameter);
    EXPECT_EQ(Bitmap::CreateFromScan0(5, 5, 0x12345, &bitmap), Status::InvalidParameter);
    EXPECT_EQ(Bitmap::CreateFromScan0(70000, 1, PixelFormat8bppIndexed, &bitmap),
              Status::InvalidParameter);
    EXPECT_EQ(bitmap, nullptr);
}

TEST(GdiplusBitmap, RowsGoInAndOutThroughCallerBuffersWithAnyStride) {
    auto bitmap = Make(3, 4, PixelFormat24bppRGB);
    std::vector<std::uint8_t> rows(2 * 12);
    for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = std::uint8_t(i + 1);
    ASSERT_EQ(CopyRows(*bitmap, Rect{0, 1, 3, 2}, ImageLockModeWrite, rows, 12), Status::Ok);

    std::vector<std::uint8_t> flipped(2 * 10, 0);  // bottom-up buffer, tight stride
    ASSERT_EQ(CopyRows(*bitmap, Rect{0, 1, 3, 2}, ImageLockModeRead, flipped, -10), Status::Ok);
    EXPECT_EQ(flipped[10], 1);  // first row went to the end
    EXPECT_EQ(flipped[18], 9);
    EXPECT_EQ(flipped[0], 13);  // second row at the start

    std::vector<std::uint8_t> part(3, 0);
    ASSERT_EQ(CopyRows(*bitmap, Rect{2, 2, 1, 1}, ImageLockModeRead, part, 4), Status::Ok);
    EXPECT_EQ(part[0], 13 + 6);
    std::vector<std::uint8_t> top(9, 0xAA);
    ASSERT_EQ(CopyRows(*bitmap, Rect{0, 0, 3, 1}, ImageLockModeRead, top, 12), Status::Ok);
    EXPECT_EQ(top[0], 0);  // untouched rows stay zero
}

TEST(GdiplusBitmap, LocksAreCheckedAndExclusive) {
    auto bitmap = Make(4, 4, PixelFormat32bppARGB);
    std::vector<std::uint8_t> buffer(64);
    const unsigned read = ImageLockModeRead | ImageLockModeUserInputBuf;
    BitmapData data;
    data.Stride = 16;
    data.Scan0 = buffer.data();
    for (const Rect& bad : {Rect{-1, 0, 2, 2}, Rect{3, 0, 2, 1}, Rect{0, 0, 0, 1}, Rect{0, 4, 1, 1},
                            Rect{0x7FFFFFFF, 0, 2, 1}})
        EXPECT_EQ(bitmap->LockBits(bad, read, PixelFormat32bppARGB, &data),
                  Status::InvalidParameter);
    EXPECT_EQ(bitmap->LockBits(Rect{0, 0, 4, 1}, read, PixelFormat24bppRGB, &data),
              Status::InvalidParameter);
    data.Stride = 8;  // shorter than a row
    EXPECT_EQ(bitmap->LockBits(Rect{0, 0, 4, 1}, read, PixelFormat32bppARGB, &data),
              Status::InvalidParameter);
    data.Stride = 16;
    ASSERT_EQ(bitmap->LockBits(Rect{0, 0, 4, 1}, read, PixelFormat32bppARGB, &data), Status::Ok);
    EXPECT_EQ(bitmap->LockBits(Rect{0, 0, 4, 1}, read, PixelFormat32bppARGB, &data),
              Status::WrongState);
    EXPECT_EQ(bitmap->UnlockBits(&data), Status::Ok);
    EXPECT_EQ(bitmap->UnlockBits(&data), Status::WrongState);

    BitmapData own;  // without a caller buffer the stand-in lends one
    ASSERT_EQ(bitmap->LockBits(Rect{1, 1, 2, 2}, ImageLockModeWrite, PixelFormat32bppARGB, &own),
              Status::Ok);
    static_cast<std::uint8_t*>(own.Scan0)[own.Stride] = 77;
    ASSERT_EQ(bitmap->UnlockBits(&own), Status::Ok);
    ASSERT_EQ(CopyRows(*bitmap, Rect{1, 2, 1, 1}, ImageLockModeRead, buffer, 16), Status::Ok);
    EXPECT_EQ(buffer[0], 77);
}

TEST(GdiplusBitmap, PalettesAndPropertyItems) {
    auto indexed = Make(2, 2, PixelFormat4bppIndexed);
    ColorPalette palette;
    ASSERT_EQ(indexed->GetPalette(&palette), Status::Ok);
    ASSERT_EQ(palette.Entries.size(), 16u);
    EXPECT_EQ(palette.Entries[1], 0xFF111111u);
    palette.Entries.assign(3, 0xFF00FF00u);
    EXPECT_EQ(indexed->SetPalette(palette), Status::Ok);
    EXPECT_EQ(Make(2, 2, PixelFormat24bppRGB)->SetPalette(palette), Status::InvalidParameter);
    palette.Entries.assign(257, 0);
    EXPECT_EQ(indexed->SetPalette(palette), Status::InvalidParameter);

    indexed->SetPropertyItem({0x010F, PropertyTagTypeASCII, {'a', 0}});
    indexed->SetPropertyItem({0x0110, PropertyTagTypeASCII, {'b', 0}});
    indexed->SetPropertyItem({0x010F, PropertyTagTypeASCII, {'c', 0}});
    ASSERT_EQ(indexed->GetAllPropertyItems().size(), 2u);
    EXPECT_EQ(indexed->GetAllPropertyItems()[0].Value[0], 'c');
}

TEST(GdiplusBitmap, SurfaceFreeFramesAndSelection) {
    auto bitmap = Make(2, 2, PixelFormat24bppRGB);
    EXPECT_EQ(bitmap->GetFrameCount(FrameDimensionPage), 1u);
    EXPECT_EQ(bitmap->GetFrameCount(FrameDimensionTime), 0u);
    EXPECT_EQ(bitmap->SelectActiveFrame(FrameDimensionPage, 1), Status::InvalidParameter);
    EXPECT_EQ(bitmap->SelectActiveFrame(FrameDimensionTime, 0), Status::InvalidParameter);
    EXPECT_EQ(bitmap->SelectActiveFrame(FrameDimensionPage, 0), Status::Ok);
}

TEST(GdiplusEncoders, FiveMimeTypesWithDistinctIdentifiers) {
    const std::vector<ImageCodecInfo> encoders = GetImageEncoders();
    ASSERT_EQ(encoders.size(), 5u);
    const char* mimes[] = {"image/bmp", "image/jpeg", "image/gif", "image/tiff", "image/png"};
    for (std::size_t i = 0; i < encoders.size(); ++i) {
        EXPECT_EQ(encoders[i].MimeType, mimes[i]);
        for (std::size_t j = 0; j < i; ++j) EXPECT_FALSE(encoders[i].Clsid == encoders[j].Clsid);
    }
}

CLSID EncoderFor(const std::string& mime) {
    for (const ImageCodecInfo& e : GetImageEncoders())
        if (e.MimeType == mime) return e.Clsid;
    return {};
}

class GdiplusSave : public ::testing::TestWithParam<std::tuple<PixelFormat, const char*>> {};

// Every format the stand-in holds at 32 bits or less saves in every encoder, and loads back
// at the same size.
TEST_P(GdiplusSave, EveryDepthInEveryEncoder) {
    const auto [format, mime] = GetParam();
    auto bitmap = Make(17, 9, format);
    const std::string path =
        TempPath(std::to_string(format) + "_" + std::string(mime + 6) + ".img");
    ASSERT_EQ(bitmap->Save(path, EncoderFor(mime), nullptr), Status::Ok);
    std::unique_ptr<Bitmap> back;
    ASSERT_EQ(Bitmap::CreateFromFile(path, &back), Status::Ok);
    EXPECT_EQ(back->GetWidth(), 17);
    EXPECT_EQ(back->GetHeight(), 9);
    if (std::string(mime) == "image/gif") {
        EXPECT_TRUE(IsIndexedPixelFormat(back->GetPixelFormat()));
    }
    std::remove(path.c_str());
}

INSTANTIATE_TEST_SUITE_P(
    Formats, GdiplusSave,
    ::testing::Combine(
        ::testing::Values(PixelFormat1bppIndexed, PixelFormat4bppIndexed, PixelFormat8bppIndexed,
                          PixelFormat16bppRGB555, PixelFormat16bppRGB565, PixelFormat16bppARGB1555,
                          PixelFormat24bppRGB, PixelFormat32bppRGB, PixelFormat32bppARGB,
                          PixelFormat32bppPARGB),
        ::testing::Values("image/bmp", "image/jpeg", "image/gif", "image/tiff", "image/png")),
    [](const auto& info) {
        std::string name =
            std::to_string(info.index) + "_" + std::string(std::get<1>(info.param) + 6);
        return name;
    });

// Random pictures of many sizes: some make the GIF writer hand over empty blocks, which must
// not count as a failed write; pictures of at most 256 colours keep them exactly.
TEST(GdiplusSaveGif, EverySizeSavesAndFewColoursStayExact) {
    std::uint32_t seed = 12345;
    const auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    for (int width = 1; width <= 400; ++width) {  // 337 makes an empty block
        const int height = 1 + width * 37 % 97;
        auto bitmap = Make(width, height, PixelFormat24bppRGB);
        const int stride = width * 3;
        std::vector<std::uint8_t> pixels(static_cast<std::size_t>(stride) * height);
        for (auto& byte : pixels) byte = static_cast<std::uint8_t>((next() >> 16) % 6 * 51);
        ASSERT_EQ(CopyRows(*bitmap, Rect{0, 0, width, height}, ImageLockModeWrite, pixels, stride),
                  Status::Ok);
        const std::string path = TempPath("gif_" + std::to_string(width) + ".gif");
        ASSERT_EQ(bitmap->Save(path, EncoderFor("image/gif"), nullptr), Status::Ok) << width;
        std::unique_ptr<Bitmap> back;
        ASSERT_EQ(Bitmap::CreateFromFile(path, &back), Status::Ok);
        ASSERT_EQ(back->GetPixelFormat(), PixelFormat8bppIndexed);
        ColorPalette palette;
        ASSERT_EQ(back->GetPalette(&palette), Status::Ok);
        std::vector<std::uint8_t> indexes(static_cast<std::size_t>(width) * height);
        ASSERT_EQ(CopyRows(*back, Rect{0, 0, width, height}, ImageLockModeRead, indexes, width),
                  Status::Ok);
        std::vector<std::uint8_t> read;
        for (const std::uint8_t index : indexes) {
            ASSERT_LT(index, palette.Entries.size());
            const std::uint32_t argb = palette.Entries[index];
            read.insert(read.end(),
                        {static_cast<std::uint8_t>(argb), static_cast<std::uint8_t>(argb >> 8),
                         static_cast<std::uint8_t>(argb >> 16)});
        }
        EXPECT_EQ(read, pixels) << "216 colours are kept exactly, width " << width;
        std::remove(path.c_str());
    }
}

TEST(GdiplusSaveFailure, LeavesNoFileBehind) {
    const std::string path = TempPath("fail.png");
    std::remove(path.c_str());
    EXPECT_EQ(Make(4, 4, PixelFormat48bppRGB)->Save(path, EncoderFor("image/png"), nullptr),
              Status::NotImplemented);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_NE(Make(4, 4, PixelFormat24bppRGB)->Save(path, CLSID{}, nullptr), Status::Ok);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_NE(Make(4, 4, PixelFormat24bppRGB)
                  ->Save(TempPath("no/such/folder.png"), EncoderFor("image/png"), nullptr),
              Status::Ok);
}

// A write that runs out of room is a failure, and the partial file goes.
TEST(GdiplusSaveFailureDeathTest, ShortWriteRemovesThePartialFile) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string path = TempPath("short.bmp");
    std::remove(path.c_str());
    auto saveWithTinyFileLimit = [&] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{1000, 1000};
        setrlimit(RLIMIT_FSIZE, &limit);
        const Status status =
            Make(100, 100, PixelFormat24bppRGB)->Save(path, EncoderFor("image/bmp"), nullptr);
        std::exit(status != Status::Ok && !std::filesystem::exists(path) ? 0 : 1);
    };
    EXPECT_EXIT(saveWithTinyFileLimit(), ::testing::ExitedWithCode(0), "");
}

TEST(GdiplusLoad, JunkAndTruncatedInputFailCleanly) {
    std::unique_ptr<Bitmap> bitmap;
    const std::vector<std::uint8_t> junk(64, 0x47);
    EXPECT_EQ(Bitmap::CreateFromMemory(junk, &bitmap), Status::UnknownImageFormat);
    EXPECT_EQ(Bitmap::CreateFromMemory({}, &bitmap), Status::InvalidParameter);
    EXPECT_EQ(Bitmap::CreateFromFile(TempPath("missing.png"), &bitmap), Status::FileNotFound);
    const std::vector<std::uint8_t> gifHeaderOnly = {'G', 'I', 'F', '8', '9', 'a', 10, 0, 10, 0};
    EXPECT_NE(Bitmap::CreateFromMemory(gifHeaderOnly, &bitmap), Status::Ok);
    EXPECT_EQ(bitmap, nullptr);
}

TEST(GdiplusGraphics, DrawsAScaledSourceRectangleIntoTheTarget) {
    auto source = Make(4, 4, PixelFormat24bppRGB);
    std::vector<std::uint8_t> row(12, 0);
    for (int x = 2; x < 4; ++x) row[x * 3 + 2] = 200;  // right half red
    for (int y = 0; y < 4; ++y)
        ASSERT_EQ(CopyRows(*source, Rect{0, y, 4, 1}, ImageLockModeWrite, row, 12), Status::Ok);

    auto target = Make(6, 6, PixelFormat24bppRGB);
    std::unique_ptr<Graphics> graphics;
    ASSERT_EQ(Graphics::FromImage(target.get(), &graphics), Status::Ok);
    ASSERT_EQ(graphics->SetInterpolationMode(InterpolationModeNearestNeighbor), Status::Ok);
    // The red half only, 2 x 4 pixels, drawn 4 x 4 at (1, 1).
    ASSERT_EQ(graphics->DrawImage(*source, Rect{1, 1, 4, 4}, Rect{2, 0, 2, 4}, UnitPixel),
              Status::Ok);
    std::vector<std::uint8_t> out(18);
    ASSERT_EQ(CopyRows(*target, Rect{0, 2, 6, 1}, ImageLockModeRead, out, 18), Status::Ok);
    EXPECT_EQ(out[2], 0);        // outside the destination
    EXPECT_EQ(out[3 + 2], 200);  // inside: all red
    EXPECT_EQ(out[12 + 2], 200);
    EXPECT_EQ(out[15 + 2], 0);

    EXPECT_EQ(graphics->DrawImage(*source, Rect{0, 0, 2, 2}, Rect{3, 0, 2, 2}, UnitPixel),
              Status::InvalidParameter);
    EXPECT_EQ(graphics->SetInterpolationMode(InterpolationMode(9)), Status::InvalidParameter);
    EXPECT_EQ(graphics->DrawImage(*source, Rect{-2, -2, 20, 20}, Rect{0, 0, 4, 4}, UnitPixel),
              Status::Ok);  // clipped to the target

    std::unique_ptr<Graphics> none;
    EXPECT_NE(Graphics::FromImage(Make(2, 2, PixelFormat8bppIndexed).get(), &none), Status::Ok);
    EXPECT_NE(Graphics::FromImage(Make(2, 2, PixelFormat64bppARGB).get(), &none), Status::Ok);
}

TEST(GdiplusStartup, TokensPair) {
    const int before = GdiplusStartupCount();
    StartupToken a = 0, b = 0;
    ASSERT_EQ(GdiplusStartup(&a), Status::Ok);
    ASSERT_EQ(GdiplusStartup(&b), Status::Ok);
    EXPECT_NE(a, b);
    EXPECT_EQ(GdiplusStartupCount(), before + 2);
    GdiplusShutdown(a);
    GdiplusShutdown(a);
    EXPECT_EQ(GdiplusStartupCount(), before + 1);
    GdiplusShutdown(b);
    EXPECT_EQ(GdiplusStartup(nullptr), Status::InvalidParameter);
}

}  // namespace
