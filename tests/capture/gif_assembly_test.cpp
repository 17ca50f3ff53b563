#include "capture/gif_assembly.h"

#include <FreeImage.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/support/gif_reader.h"

namespace fs = std::filesystem;
using capture::GifAssembly;

namespace {

// Writes a solid-colour 8-bit GIF frame file of the given size.
void WriteFrameFile(const fs::path& path, std::uint32_t rgb, int width = 16, int height = 12) {
    FIBITMAP* bits = FreeImage_Allocate(width, height, 24);
    RGBQUAD colour{};
    colour.rgbRed = (rgb >> 16) & 0xFF;
    colour.rgbGreen = (rgb >> 8) & 0xFF;
    colour.rgbBlue = rgb & 0xFF;
    FreeImage_FillBackground(bits, &colour);
    FIBITMAP* indexed = FreeImage_ColorQuantize(bits, FIQ_WUQUANT);
    ASSERT_TRUE(FreeImage_Save(FIF_GIF, indexed, path.c_str(), 0));
    FreeImage_Unload(indexed);
    FreeImage_Unload(bits);
}

class GifAssemblyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("fc_gif_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Frame(int i) const {
        return (dir_ / ("m.swf0000" + std::to_string(i) + ".gif")).string();
    }
    std::string Output() const { return (dir_ / "m.swf.gif").string(); }
    fs::path dir_;
};

const std::uint32_t kColours[] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0x00FFFF};

}  // namespace

TEST(FrameTime, MillisecondsPerRate) {
    const std::pair<int, int> cases[] = {{1, 1000}, {7, 143}, {10, 100}, {12, 83}, {15, 67},
                                         {16, 63},  {24, 42}, {25, 40},  {30, 33}, {32, 31},
                                         {40, 25},  {50, 20}, {0, 100},  {-3, 100}};
    for (auto [rate, ms] : cases) EXPECT_EQ(capture::FrameTimeMs(rate), ms) << "rate " << rate;
}

TEST_F(GifAssemblyTest, PagesKeepAppendOrderAndPixels) {
    for (int i = 0; i < 5; ++i) WriteFrameFile(Frame(i), kColours[i]);
    GifAssembly gif;
    ASSERT_TRUE(gif.Begin(Output(), 10));
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(gif.AppendFrameFile(Frame(i)));
    EXPECT_EQ(gif.PageCount(), 5);
    ASSERT_TRUE(gif.Finish()) << gif.LastError();
    EXPECT_FALSE(gif.IsBegun());

    const testgif::Gif read = testgif::Read(Output());
    ASSERT_TRUE(read.ok);
    ASSERT_EQ(read.pages.size(), 5u);
    EXPECT_EQ(read.width, 16);
    EXPECT_EQ(read.height, 12);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(read.pages[i].At(3, 4), kColours[i]) << "page " << i;
        EXPECT_EQ(read.pages[i].At(15, 11), kColours[i]) << "page " << i;
    }
}

class GifDelayTest : public GifAssemblyTest,
                     public ::testing::WithParamInterface<std::pair<int, int>> {};

// FreeImage stores the millisecond delay in hundredths, truncated (33 ms -> 3).
TEST_P(GifDelayTest, EveryPageCarriesTheRatesDelay) {
    const auto [rate, hundredths] = GetParam();
    WriteFrameFile(Frame(0), kColours[0]);
    WriteFrameFile(Frame(1), kColours[1]);
    GifAssembly gif;
    ASSERT_TRUE(gif.Begin(Output(), rate));
    gif.AppendFrameFile(Frame(0));
    gif.AppendFrameFile(Frame(1));
    ASSERT_TRUE(gif.Finish());
    const testgif::Gif read = testgif::Read(Output());
    ASSERT_EQ(read.pages.size(), 2u);
    for (const auto& page : read.pages) EXPECT_EQ(page.delayCs, hundredths);
}

INSTANTIATE_TEST_SUITE_P(Rates, GifDelayTest,
                         ::testing::Values(std::pair{10, 10}, std::pair{30, 3}, std::pair{50, 2},
                                           std::pair{0, 10}, std::pair{-1, 10}));

TEST_F(GifAssemblyTest, MissingFrameFileIsSkippedAndOrderKept) {
    WriteFrameFile(Frame(0), kColours[0]);
    WriteFrameFile(Frame(2), kColours[2]);
    GifAssembly gif;
    ASSERT_TRUE(gif.Begin(Output(), 10));
    EXPECT_TRUE(gif.AppendFrameFile(Frame(0)));
    EXPECT_FALSE(gif.AppendFrameFile(Frame(1)));
    EXPECT_TRUE(gif.AppendFrameFile(Frame(2)));
    ASSERT_TRUE(gif.Finish());
    const testgif::Gif read = testgif::Read(Output());
    ASSERT_EQ(read.pages.size(), 2u);
    EXPECT_EQ(read.pages[0].At(0, 0), kColours[0]);
    EXPECT_EQ(read.pages[1].At(0, 0), kColours[2]);
}

TEST_F(GifAssemblyTest, GifWithoutPagesLeavesNoFile) {
    { std::ofstream(Output()) << "old animation"; }
    GifAssembly gif;
    ASSERT_TRUE(gif.Begin(Output(), 10));
    EXPECT_FALSE(fs::exists(Output())) << "the old output is deleted when a GIF begins";
    EXPECT_FALSE(gif.AppendFrameFile(Frame(0)));
    EXPECT_FALSE(gif.Finish());
    EXPECT_FALSE(gif.LastError().empty());
    EXPECT_FALSE(fs::exists(Output()));
}

TEST_F(GifAssemblyTest, BeginningAgainReplacesTheEarlierGif) {
    for (int i = 0; i < 3; ++i) WriteFrameFile(Frame(i), kColours[i]);
    GifAssembly gif;
    ASSERT_TRUE(gif.Begin(Output(), 10));
    gif.AppendFrameFile(Frame(2));
    ASSERT_TRUE(gif.Begin(Output(), 10));
    gif.AppendFrameFile(Frame(0));
    gif.AppendFrameFile(Frame(1));
    ASSERT_TRUE(gif.Finish());
    const testgif::Gif read = testgif::Read(Output());
    ASSERT_EQ(read.pages.size(), 2u);
    EXPECT_EQ(read.pages[0].At(0, 0), kColours[0]);
}

TEST_F(GifAssemblyTest, AbandonedGifWritesNothing) {
    WriteFrameFile(Frame(0), kColours[0]);
    {
        GifAssembly gif;
        ASSERT_TRUE(gif.Begin(Output(), 10));
        gif.AppendFrameFile(Frame(0));
    }
    EXPECT_FALSE(fs::exists(Output()));
    GifAssembly idle;
    EXPECT_FALSE(idle.AppendFrameFile(Frame(0)));
    EXPECT_FALSE(idle.Finish());
}

TEST_F(GifAssemblyTest, UnwritableOutputFailsToBegin) {
    WriteFrameFile(Frame(0), kColours[0]);
    GifAssembly gif;
    bool written = gif.Begin((dir_ / "no/such/folder/x.gif").string(), 10);
    if (written) {
        gif.AppendFrameFile(Frame(0));
        written = gif.Finish();
    }
    EXPECT_FALSE(written);
    EXPECT_FALSE(gif.LastError().empty());
}
