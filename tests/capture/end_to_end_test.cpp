// The conversion run over the real player control and engine: every page of the GIF, read back
// by giflib, shows the engine's own picture of its frame within the colour reduction's error.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "capture/conversion_run.h"
#include "capture/exports.h"
#include "controls/shockwaveflash.h"
#include "imaging/pixelimage.h"
#include "tests/support/gif_reader.h"
#include "tests/support/test_movies.h"

namespace fs = std::filesystem;

namespace {

class EndToEndTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("fc_e2e_" + std::to_string(::getpid()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_);
        movie_ = (root_ / "intro.swf").string();
    }
    void TearDown() override { fs::remove_all(root_); }
    fs::path root_;
    std::string movie_;
};

class EveryPageTest : public EndToEndTest, public ::testing::WithParamInterface<int> {};

// With and without a frame whose actions loop the movie back (a preloader, an endless
// banner): a conversion steps through every frame either way.
TEST_P(EveryPageTest, EveryPageIsTheEnginesPictureOfItsFrame) {
    ASSERT_TRUE(testmovies::WriteSteppedMovie(movie_, 6, 12.0, GetParam()));
    CShockwaveflash control;
    control.SetMovie(movie_);
    ASSERT_EQ(control.GetTotalFrames(), 6) << control.LastError();
    capture::ControlFrameSource source(control);
    capture::RunSettings settings;
    settings.moviePath = movie_;
    settings.outputFolder = root_.string() + "/";
    settings.workFolder = root_.string() + "/Tarnwick_filmcast/Temp/";
    settings.captureWidth = 220;
    settings.captureHeight = 160;
    settings.frameRate = 25;
    capture::ConversionRun run(source, settings);
    while (run.IsActive()) run.Step();
    ASSERT_EQ(run.Outcome(), capture::RunOutcome::GifWritten) << run.Error();

    const testgif::Gif gif = testgif::Read((root_ / "intro.swf.gif").string());
    ASSERT_TRUE(gif.ok);
    ASSERT_EQ(gif.pages.size(), 6u);
    for (int k = 0; k < 6; ++k) {
        const CSurface expected = testmovies::EngineFrame(movie_, k, 220, 160);
        EXPECT_LT(testmovies::MismatchedShare(expected, gif.pages[k].rgb.data(), 24), 0.01)
            << "page " << k;
        EXPECT_EQ(gif.pages[k].delayCs, 4);
    }
    EXPECT_EQ(control.CurrentFrame(), 0) << "the player is rewound after the run";
}

INSTANTIATE_TEST_SUITE_P(LoopBackFrame, EveryPageTest, ::testing::Values(-1, 2, 5));

TEST_F(EndToEndTest, SequenceExportWritesEveryFrameAtTheOutputSize) {
    ASSERT_TRUE(testmovies::WriteSteppedMovie(movie_, 3));
    CShockwaveflash control;
    control.SetMovie(movie_);
    capture::ControlFrameSource source(control);
    capture::SequenceExport settings{movie_, root_.string() + "/", ".tga", 200, 150};
    for (long p = 0; p < 3; ++p) EXPECT_TRUE(capture::ExportSequenceFrame(source, settings, p));
    for (const char* name : {"intro.swf00000.tga", "intro.swf00001.tga", "intro.swf00002.tga"}) {
        const fs::path file = root_ / "Tarnwick_reelcast" / name;
        ASSERT_TRUE(fs::exists(file)) << file;
        // TGA header: width and height, little-endian, at offsets 12 and 14.
        std::ifstream in(file, std::ios::binary);
        unsigned char header[18] = {};
        in.read(reinterpret_cast<char*>(header), sizeof header);
        EXPECT_EQ(header[12] | header[13] << 8, 200);
        EXPECT_EQ(header[14] | header[15] << 8, 150);
    }
    EXPECT_TRUE(fs::is_directory(root_ / "Tarnwick_reelcast/Temp"));
    EXPECT_TRUE(fs::is_empty(root_ / "Tarnwick_reelcast/Temp"));
}

struct SingleCase {
    int outputWidth;
    int outputHeight;
    int expectedWidth;
    int expectedHeight;
};

class SingleExportTest : public EndToEndTest, public ::testing::WithParamInterface<SingleCase> {};

TEST_P(SingleExportTest, ScalesToTheOutputSizeUnlessADimensionIsNotPositive) {
    const SingleCase& c = GetParam();
    ASSERT_TRUE(testmovies::WriteSteppedMovie(movie_, 2));
    CShockwaveflash control;
    control.SetMovie(movie_);
    capture::ControlFrameSource source(control);
    const std::string shot = (root_ / "shot.png").string();
    ASSERT_TRUE(capture::ExportSingleFrame(source, 480, 400, c.outputWidth, c.outputHeight, shot));
    // PNG IHDR: big-endian width and height at offsets 16 and 20.
    std::ifstream in(shot, std::ios::binary);
    unsigned char header[24] = {};
    in.read(reinterpret_cast<char*>(header), sizeof header);
    EXPECT_EQ(header[1], 'P');
    EXPECT_EQ(header[16] << 24 | header[17] << 16 | header[18] << 8 | header[19], c.expectedWidth);
    EXPECT_EQ(header[20] << 24 | header[21] << 16 | header[22] << 8 | header[23], c.expectedHeight);
}

INSTANTIATE_TEST_SUITE_P(Sizes, SingleExportTest,
                         ::testing::Values(SingleCase{640, 480, 640, 480},
                                           SingleCase{0, 480, 480, 400},
                                           SingleCase{640, -1, 480, 400}));

}  // namespace
