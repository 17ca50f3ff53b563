#include "capture/conversion_run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <vector>

#include "capture/frame_capture.h"
#include "imaging/codecfactory.h"
#include "tests/capture/fake_frame_source.h"
#include "tests/support/gif_reader.h"

namespace fs = std::filesystem;
using capture::ConversionRun;
using capture::RunOutcome;

namespace {

struct RecordingObserver : capture::RunObserver {
    void DisableControls() override { ++disables; }
    void ShowPosition(long frame, long total) override { positions.push_back({frame, total}); }
    void Finished() override { ++finished; }
    int disables = 0;
    int finished = 0;
    std::vector<std::pair<long, long>> positions;
};

class ConversionRunTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("fc_run_" + std::to_string(::getpid()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    void TearDown() override { fs::remove_all(root_); }

    capture::RunSettings Settings(int rate = 10) const {
        capture::RunSettings s;
        s.moviePath = "/films/intro.swf";
        s.outputFolder = root_.string() + "/";
        s.workFolder = root_.string() + "/Tarnwick_filmcast/Temp/";
        s.captureWidth = 24;
        s.captureHeight = 18;
        s.frameRate = rate;
        return s;
    }
    std::string Gif() const { return (root_ / "intro.swf.gif").string(); }

    // Steps until the run ends (at most `limit` ticks); returns the ticks taken.
    static int RunToEnd(ConversionRun& run, int limit = 100) {
        int ticks = 0;
        while (run.IsActive() && ticks < limit) {
            run.Step();
            ++ticks;
        }
        return ticks;
    }

    // The frame each page shows, found by its colour.
    static std::vector<long> FramesOf(const testgif::Gif& gif) {
        std::vector<long> frames;
        for (const auto& page : gif.pages) {
            long found = -1;
            for (long f = 0; f < 8; ++f) {
                if (testgif::ChannelDistance(page.At(5, 5), FakeFrameSource::ColourOf(f)) <= 8)
                    found = f;
            }
            frames.push_back(found);
        }
        return frames;
    }

    fs::path root_;
};

struct TickCase {
    long frames;
    int ticks;
    std::vector<long> pages;
};

class RunLengthTest : public ConversionRunTest, public ::testing::WithParamInterface<TickCase> {};

TEST_P(RunLengthTest, EndsOnTheTickBeforeTheLastFrameWithEveryFrameInOrder) {
    const TickCase& c = GetParam();
    FakeFrameSource source(c.frames);
    RecordingObserver observer;
    ConversionRun run(source, Settings(), &observer);
    EXPECT_EQ(RunToEnd(run), c.ticks);
    EXPECT_EQ(run.Outcome(), RunOutcome::GifWritten) << run.Error();
    EXPECT_EQ(observer.finished, 1);
    EXPECT_EQ(observer.disables, c.ticks);
    EXPECT_EQ(source.CurrentFrame(), 0) << "rewound at the end";
    ASSERT_FALSE(observer.positions.empty());
    EXPECT_EQ(observer.positions.back(), (std::pair<long, long>{0, c.frames}));

    const testgif::Gif gif = testgif::Read(Gif());
    ASSERT_TRUE(gif.ok);
    EXPECT_EQ(gif.width, 24);
    EXPECT_EQ(gif.height, 18);
    EXPECT_EQ(FramesOf(gif), c.pages);
    for (long f = 0; f < c.frames; ++f)
        EXPECT_TRUE(fs::exists(run.FrameFile(f))) << run.FrameFile(f);
}

INSTANTIATE_TEST_SUITE_P(Frames, RunLengthTest,
                         ::testing::Values(TickCase{5, 4, {0, 1, 2, 3, 4}},
                                           TickCase{3, 2, {0, 1, 2}}, TickCase{2, 1, {0, 1}},
                                           TickCase{1, 1, {0}}));

TEST_F(ConversionRunTest, FrameFilesUseTheWindowsNaming) {
    FakeFrameSource source(5);
    ConversionRun run(source, Settings());
    RunToEnd(run);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(root_ / "Tarnwick_filmcast/Temp"))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"intro.swf00000.gif", "intro.swf00001.gif",
                                               "intro.swf00002.gif", "intro.swf00003.gif",
                                               "intro.swf00004.gif"}));
}

TEST_F(ConversionRunTest, ConvertingWhilePlayingStartsAtFrameOne) {
    FakeFrameSource source(4, 1);
    ConversionRun run(source, Settings());
    RunToEnd(run);
    EXPECT_EQ(FramesOf(testgif::Read(Gif())), (std::vector<long>{1, 2, 3}));

    // A frame-0 file left in the working folder is taken as the first page.
    FakeFrameSource again(4, 1);
    capture::CaptureToFile(again, 24, 18, run.FrameFile(0));
    ConversionRun second(again, Settings());
    RunToEnd(second);
    EXPECT_EQ(FramesOf(testgif::Read(Gif())), (std::vector<long>{1, 1, 2, 3}))
        << "the left-over file holds what was drawn when it was written";
}

TEST_F(ConversionRunTest, StartedAboveFrameOneWritesFramesButNoGif) {
    { std::ofstream(Gif()) << "older animation"; }
    FakeFrameSource source(15, 10);
    RecordingObserver observer;
    ConversionRun run(source, Settings(), &observer);
    RunToEnd(run);
    EXPECT_EQ(run.Outcome(), RunOutcome::NoGif);
    EXPECT_EQ(observer.finished, 1);
    for (long f = 10; f < 15; ++f) EXPECT_TRUE(fs::exists(run.FrameFile(f)));
    EXPECT_FALSE(fs::exists(run.FrameFile(9)));
    std::ifstream in(Gif());
    std::string text;
    std::getline(in, text);
    EXPECT_EQ(text, "older animation");
}

TEST_F(ConversionRunTest, MovieWithoutFramesEndsAtOnceAndKeepsTheOldGif) {
    { std::ofstream(Gif()) << "older animation"; }
    FakeFrameSource source(0);
    RecordingObserver observer;
    ConversionRun run(source, Settings(), &observer);
    EXPECT_EQ(RunToEnd(run), 1);
    EXPECT_EQ(run.Outcome(), RunOutcome::NoGif);
    EXPECT_EQ(observer.finished, 1);
    EXPECT_EQ(source.draws, 0);
    EXPECT_EQ(fs::file_size(Gif()), std::string("older animation").size());
}

TEST_F(ConversionRunTest, ConvertingTwiceReplacesTheGif) {
    FakeFrameSource five(5);
    ConversionRun first(five, Settings());
    RunToEnd(first);
    FakeFrameSource two(2);
    ConversionRun second(two, Settings());
    RunToEnd(second);
    EXPECT_EQ(FramesOf(testgif::Read(Gif())), (std::vector<long>{0, 1}))
        << "the first run's frame-0 file is not taken as an extra page";
}

TEST_F(ConversionRunTest, FrameFileDeletedBeforeItsAppendIsSkipped) {
    FakeFrameSource source(5);
    ConversionRun run(source, Settings());
    run.Step();
    run.Step();  // frame 1 is captured now and appended on the next tick
    fs::remove(run.FrameFile(1));
    RunToEnd(run);
    EXPECT_EQ(FramesOf(testgif::Read(Gif())), (std::vector<long>{0, 2, 3, 4}));
}

TEST_F(ConversionRunTest, PositionShownEachTickIsTheFrameBeingCaptured) {
    FakeFrameSource source(4);
    RecordingObserver observer;
    ConversionRun run(source, Settings(), &observer);
    RunToEnd(run);
    EXPECT_EQ(observer.positions,
              (std::vector<std::pair<long, long>>{{0, 4}, {1, 4}, {2, 4}, {0, 4}}));
}

TEST_F(ConversionRunTest, NothingDrawnMeansNoFramesAndNoGif) {
    { std::ofstream(Gif()) << "x"; }
    FakeFrameSource source(3);
    source.drawable = false;
    ConversionRun run(source, Settings());
    RunToEnd(run);
    EXPECT_EQ(run.Outcome(), RunOutcome::NoGif);
    EXPECT_FALSE(run.Error().empty());
    EXPECT_EQ(fs::file_size(Gif()), 1u) << "the older GIF stays; an empty one is not left";
    EXPECT_FALSE(fs::exists(run.FrameFile(0)));
}

// A movie whose frame `from` holds an action jumping back to frame `to`.
class JumpingBackSource : public FakeFrameSource {
  public:
    JumpingBackSource(long total, long from, long to)
        : FakeFrameSource(total), from_(from), to_(to) {}
    void GotoFrame(long frame) override {
        FakeFrameSource::GotoFrame(frame == from_ ? to_ : frame);
    }

  private:
    long from_, to_;
};

TEST_F(ConversionRunTest, MovieJumpingBackEndsWithoutGifInsteadOfLoopingForEver) {
    JumpingBackSource source(5, 3, 1);
    ConversionRun run(source, Settings());
    EXPECT_LT(RunToEnd(run, 1000), 1000);
    EXPECT_EQ(run.Outcome(), RunOutcome::NoGif);
    EXPECT_NE(run.Error().find("back from frame 3 to frame 1"), std::string::npos);
    EXPECT_FALSE(fs::exists(Gif()));
}

TEST(FrameRangeSource, NumbersTheRangeFromZeroAndClampsIt) {
    FakeFrameSource movie(10);
    capture::FrameRangeSource range(movie, 3, 6);
    EXPECT_EQ(range.TotalFrames(), 4);
    range.GotoFrame(2);
    EXPECT_EQ(movie.CurrentFrame(), 5);
    EXPECT_EQ(range.CurrentFrame(), 2);
    range.GotoFrame(9);
    EXPECT_EQ(movie.CurrentFrame(), 6);
    range.Rewind();
    EXPECT_EQ(movie.CurrentFrame(), 3);
    EXPECT_EQ(capture::FrameRangeSource(movie, 8, 40).TotalFrames(), 2);
    EXPECT_EQ(capture::FrameRangeSource(movie, 7, 2).TotalFrames(), 1);
    FakeFrameSource empty(0);
    EXPECT_EQ(capture::FrameRangeSource(empty, 0, 5).TotalFrames(), 0);
}

}  // namespace

// ---- failures: each ends the run with its reason and keeps the older GIF ----

// Codecs whose every save fails.
class FailingCodec : public CImageCodec {
  public:
    bool SaveFile(const char*, const CImageList&, const CPropertyBag*) override { return false; }
};
class FailingFactory : public CCodecFactory {
  public:
    std::unique_ptr<CImageCodec> CreateCodec(ImageType) override {
        return std::make_unique<FailingCodec>();
    }
};

struct FailureCase {
    const char* name;
    // Spoils the settings (and the scratch folder) so that the run must fail.
    std::function<void(capture::RunSettings&, const fs::path& root)> spoil;
    const char* reason;  // found in Error()
};

void PrintTo(const FailureCase& c, std::ostream* out) {
    *out << c.name;
}

class RunFailure : public ConversionRunTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(RunFailure, EndsWithTheReasonAndKeepsTheOlderGif) {
    { std::ofstream(Gif()) << "older animation"; }
    capture::RunSettings settings = Settings();
    GetParam().spoil(settings, root_);
    FakeFrameSource source(6);
    RecordingObserver observer;
    ConversionRun run(source, settings, &observer);
    EXPECT_LT(RunToEnd(run), 6) << "the run ends at the failure, not after every frame";
    EXPECT_EQ(run.Outcome(), RunOutcome::NoGif);
    EXPECT_EQ(observer.finished, 1);
    EXPECT_NE(run.Error().find(GetParam().reason), std::string::npos) << run.Error();
    EXPECT_EQ(fs::file_size(Gif()), std::string("older animation").size());
    for (const auto& entry : fs::directory_iterator(root_))
        EXPECT_NE(entry.path().filename().string()[0], '.') << "left: " << entry.path();
}

INSTANTIATE_TEST_SUITE_P(
    Faults, RunFailure,
    ::testing::Values(
        FailureCase{"FailingEncoderInTheBackground",
                    [](capture::RunSettings& s, const fs::path&) {
                        s.backgroundFrameFiles = true;
                        s.frameCodecs = std::make_shared<FailingFactory>();
                    },
                    "the image encoder failed"},
        FailureCase{"WorkFolderBlockedByAFile",
                    [](capture::RunSettings& s, const fs::path& root) {
                        std::ofstream(root / "blocker") << "x";
                        s.workFolder = (root / "blocker" / "Temp/").string();
                    },
                    "Not a directory"},
        FailureCase{"WorkFolderBlockedByAFileInTheBackground",
                    [](capture::RunSettings& s, const fs::path& root) {
                        std::ofstream(root / "blocker") << "x";
                        s.workFolder = (root / "blocker" / "Temp/").string();
                        s.backgroundFrameFiles = true;
                    },
                    "Not a directory"},
        FailureCase{"OutputFolderMissing",
                    [](capture::RunSettings& s, const fs::path& root) {
                        s.outputFile = (root / "gone" / "intro.swf.gif").string();
                    },
                    "No such file or directory"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConversionRunTest, EveryFrameRequiredFailsARunThatLostOne) {
    { std::ofstream(Gif()) << "older animation"; }
    capture::RunSettings settings = Settings();
    settings.requireEveryFrame = true;
    FakeFrameSource source(5);
    ConversionRun run(source, settings);
    run.Step();
    run.Step();
    fs::remove(run.FrameFile(1));
    RunToEnd(run);
    EXPECT_EQ(run.Outcome(), RunOutcome::NoGif);
    EXPECT_NE(run.Error().find("only 4 of 5 frames"), std::string::npos) << run.Error();
    EXPECT_EQ(fs::file_size(Gif()), std::string("older animation").size());
}

TEST_F(ConversionRunTest, GifAppearsOnlyWhenCompleteUnderItsOwnName) {
    { std::ofstream(Gif()) << "older animation"; }
    FakeFrameSource source(4);
    ConversionRun run(source, Settings());
    run.Step();
    EXPECT_EQ(fs::file_size(Gif()), std::string("older animation").size())
        << "a run under way leaves the older GIF in place";
    RunToEnd(run);
    EXPECT_EQ(run.Outcome(), RunOutcome::GifWritten);
    EXPECT_EQ(FramesOf(testgif::Read(Gif())), (std::vector<long>{0, 1, 2, 3}));
}

TEST_F(ConversionRunTest, DroppedRunLeavesTheOlderGifAndNoTemporaryFile) {
    { std::ofstream(Gif()) << "older animation"; }
    {
        FakeFrameSource source(6);
        ConversionRun run(source, Settings());
        run.Step();
        run.Step();
    }
    EXPECT_EQ(fs::file_size(Gif()), std::string("older animation").size());
    for (const auto& entry : fs::directory_iterator(root_))
        EXPECT_NE(entry.path().filename().string()[0], '.') << "left: " << entry.path();
}
