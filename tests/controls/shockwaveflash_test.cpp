// CShockwaveflash over the engine: loading, playback by the host's timer, stepping, and drawing
// into a surface.
#include "controls/shockwaveflash.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>

#include "player/player.h"
#include "tests/support/swf_writer.h"

namespace {

namespace fs = std::filesystem;

class ShockwaveflashTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("swf_control_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    // A movie of `frames` frames with a red square moving right by 10 px a frame.
    std::string WriteMovie(const std::string& name, int frames, bool stopAtSecond = false) {
        swfw::Movie m;
        m.Size(100, 50).Rate(25).Background(swfw::Rgb(0, 0, 255));
        swfw::Shape s(1);
        s.Fill(s.AddFill(swfw::FillStyle::Solid(swfw::Rgb(255, 0, 0)))).Rectangle(0, 0, 200, 200);
        m.Define(s).Place(swfw::PlaceObject::New(1, 1)).ShowFrame();
        for (int f = 1; f < frames; ++f) {
            m.Place(swfw::PlaceObject::Move(1).At(f * 200, 0));
            if (stopAtSecond && f == 1) m.Do(swfw::Actions().Stop());
            m.ShowFrame();
        }
        const std::string path = (dir_ / name).string();
        EXPECT_TRUE(m.Save(path));
        return path;
    }

    fs::path dir_;
};

TEST_F(ShockwaveflashTest, LoadsAndShowsTheFirstFrame) {
    CShockwaveflash control;
    control.SetMovie(WriteMovie("a.swf", 5));
    EXPECT_EQ(control.LastError(), "");
    EXPECT_EQ(control.GetTotalFrames(), 5);
    EXPECT_EQ(control.CurrentFrame(), 0);
    EXPECT_FALSE(control.IsPlaying());
    EXPECT_EQ(control.PlaybackIntervalMs(), 40);
}

TEST_F(ShockwaveflashTest, NotAMovieReportsZeroFramesAndDrawsWhite) {
    const std::string path = (dir_ / "text.swf").string();
    std::ofstream(path) << "not a movie";
    CShockwaveflash control;
    control.SetMovie(path);
    EXPECT_EQ(control.GetTotalFrames(), 0);
    EXPECT_NE(control.LastError(), "");
    control.Play();
    EXPECT_FALSE(control.IsPlaying());
    control.GotoFrame(3);
    control.OnPlaybackTimer();
    EXPECT_EQ(control.CurrentFrame(), 0);
    CSurface surface(20, 10);
    control.QueryViewObject()->Draw(surface, RECT{0, 0, 20, 10});
    EXPECT_EQ(surface.Row(5)[10], 0xFFFFFFFFu);
    control.SetMovie((dir_ / "missing.swf").string());
    EXPECT_EQ(control.GetTotalFrames(), 0);
}

TEST_F(ShockwaveflashTest, GotoStepsAndClamps) {
    CShockwaveflash control;
    control.SetMovie(WriteMovie("a.swf", 5));
    control.GotoFrame(1);
    EXPECT_EQ(control.CurrentFrame(), 1);
    control.GotoFrame(4);
    EXPECT_EQ(control.CurrentFrame(), 4);
    control.GotoFrame(5);  // past the end: the last frame
    EXPECT_EQ(control.CurrentFrame(), 4);
    control.GotoFrame(-1);
    EXPECT_EQ(control.CurrentFrame(), 0);
    control.GotoFrame(3);
    control.Rewind();
    EXPECT_EQ(control.CurrentFrame(), 0);
}

TEST_F(ShockwaveflashTest, PlaybackStopsAtTheEndWithoutLoop) {
    CShockwaveflash control;
    control.SetMovie(WriteMovie("a.swf", 3));
    control.SetLoop(FALSE);
    control.Play();
    EXPECT_TRUE(control.IsPlaying());
    control.OnPlaybackTimer();
    control.OnPlaybackTimer();
    EXPECT_EQ(control.CurrentFrame(), 2);
    control.OnPlaybackTimer();
    EXPECT_EQ(control.CurrentFrame(), 2);
    EXPECT_FALSE(control.IsPlaying());
}

TEST_F(ShockwaveflashTest, PlaybackLoopsWithLoopAndStopHalts) {
    CShockwaveflash control;
    control.SetMovie(WriteMovie("a.swf", 3));
    control.SetLoop(TRUE);
    control.Play();
    for (int i = 0; i < 4; ++i) control.OnPlaybackTimer();
    EXPECT_EQ(control.CurrentFrame(), 1);
    control.Stop();
    control.OnPlaybackTimer();
    EXPECT_EQ(control.CurrentFrame(), 1);
    EXPECT_FALSE(control.IsPlaying());
}

TEST_F(ShockwaveflashTest, MovieStoppingItselfEndsPlaybackUntilPlayAgain) {
    CShockwaveflash control;
    control.SetMovie(WriteMovie("a.swf", 4, true));
    control.Play();
    control.OnPlaybackTimer();
    EXPECT_EQ(control.CurrentFrame(), 1);
    EXPECT_FALSE(control.IsPlaying());
    control.Play();  // the window resumes playback that stopped on its own
    control.OnPlaybackTimer();
    EXPECT_EQ(control.CurrentFrame(), 2);
}

TEST_F(ShockwaveflashTest, SettingTheSameMovieAgainRestartsIt) {
    CShockwaveflash control;
    const std::string path = WriteMovie("a.swf", 4);
    control.SetMovie(path);
    control.GotoFrame(2);
    control.Play();
    control.SetMovie(path);
    EXPECT_EQ(control.CurrentFrame(), 0);
    EXPECT_FALSE(control.IsPlaying());
    EXPECT_EQ(control.GetTotalFrames(), 4);
    // A changed file is read again.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    WriteMovie("a.swf", 6);
    control.SetMovie(path);
    EXPECT_EQ(control.GetTotalFrames(), 6);
}

TEST_F(ShockwaveflashTest, DrawsTheCurrentFrameFittedIntoTheBounds) {
    CShockwaveflash control;
    control.SetMovie(WriteMovie("a.swf", 3));
    control.GotoFrame(2);  // square at x 20..30 of the 100 x 50 stage
    CSurface surface(300, 200);
    surface.Fill(0xFF000000);
    control.DrawFrame(surface, RECT{100, 50, 300, 150});  // 200 x 100: scale 2
    EXPECT_EQ(surface.Row(60)[100 + 50], 0xFFFF0000u);    // stage (25, 5)
    EXPECT_EQ(surface.Row(60)[100 + 10], 0xFF0000FFu);    // background
    EXPECT_EQ(surface.Row(40)[150], 0xFF000000u);         // outside the bounds: untouched
    // Bounds reaching past the surface draw the visible part at the same place.
    CSurface small(120, 80);
    control.DrawFrame(small, RECT{-100, -50, 100, 50});
    EXPECT_EQ(small.Row(5)[50], 0xFF0000FFu);  // stage (75, 27): background
    EXPECT_EQ(small.Row(60)[50], 0u);          // below the bounds: untouched
}

// The distinct colours of the control's frame drawn at 1.32 times the stage size, where the
// square's edges fall inside pixels.
std::size_t ColoursDrawn(CShockwaveflash& control) {
    CSurface surface(133, 66);
    control.DrawFrame(surface, RECT{0, 0, 133, 66});
    std::set<std::uint32_t> colours;
    for (int y = 0; y < surface.Height(); ++y)
        colours.insert(surface.Row(y), surface.Row(y) + surface.Width());
    return colours.size();
}

TEST_F(ShockwaveflashTest, QualityHoldsForTheShownMovieAndTheNextLoads) {
    CShockwaveflash control;
    const std::string path = WriteMovie("a.swf", 2);
    control.SetMovie(path);
    EXPECT_GT(ColoursDrawn(control), 2u);
    control.SetQuality(player::Quality::kLow);
    EXPECT_EQ(ColoursDrawn(control), 2u);
    control.SetMovie(path);  // the same file: restarted without parsing again
    EXPECT_EQ(ColoursDrawn(control), 2u);
    control.SetMovie(WriteMovie("b.swf", 2));
    EXPECT_EQ(ColoursDrawn(control), 2u);
    control.SetQuality(player::Quality::kBest);
    EXPECT_GT(ColoursDrawn(control), 2u);
}

// What the window says about a file it opened: why it is no movie, that its data ends before
// the frames its header promises, or nothing for a whole movie.
TEST_F(ShockwaveflashTest, LoadProblemNamesWhatIsWrongWithTheFileLastGiven) {
    CShockwaveflash control;
    EXPECT_EQ(control.LoadProblem(), "") << "nothing given yet";
    const std::string whole = WriteMovie("whole.swf", 4);
    control.SetMovie(whole);
    EXPECT_EQ(control.LoadProblem(), "");

    swfw::Movie m;
    m.Size(100, 50);
    for (int f = 0; f < 4; ++f) m.ShowFrame();
    const swfw::Buffer body = m.Body();
    const std::size_t tags = body.size() - (4 * 2 + 2);
    auto save = [&](const std::string& name, std::size_t frames) {
        const swfw::Buffer cut(body.begin(), body.begin() + tags + 2 * frames);
        const swfw::Buffer bytes = swfw::Pack(swfw::Compression::None, 10, cut,
                                              static_cast<std::uint32_t>(8 + body.size()));
        const std::string path = (dir_ / name).string();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return path;
    };
    control.SetMovie(save("cut.swf", 1));
    EXPECT_EQ(control.GetTotalFrames(), 1);
    EXPECT_EQ(control.LoadProblem(),
              "the movie ends early: its header promises 4 frames, 1 could be read");
    control.SetMovie(save("empty.swf", 0));
    EXPECT_EQ(control.LoadProblem(),
              "the movie ends before its first frame (its header promises 4)");

    const std::string text = (dir_ / "text.swf").string();
    std::ofstream(text) << "not a movie";
    control.SetMovie(text);
    EXPECT_EQ(control.LoadProblem(), "not a Flash movie (bad signature)");
    control.SetMovie(text);
    EXPECT_EQ(control.LoadProblem(), "not a Flash movie (bad signature)") << "the same file again";
    control.SetMovie(whole);
    EXPECT_EQ(control.LoadProblem(), "");
}

}  // namespace
