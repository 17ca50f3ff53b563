// The converter window's status line, driven as a user drives the window (offscreen, every
// prompt answered through the seam): what it says after a conversion that wrote no GIF and
// after opening a file that is no whole movie, and that it stays blank otherwise.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>
#include <functional>

#include "converter/converterdlg.h"
#include "converter/outputfolder.h"
#include "converter/statusline.h"
#include "platform/prompt.h"
#include "res/resource.h"
#include "tests/support/fakeplayer.h"
#include "tests/support/qtapp.h"
#include "tests/support/swf_writer.h"
#include "tests/support/test_movies.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kOldGif = "older animation";

// ---- The line itself ------------------------------------------------------------------------

class StatusLineWidget : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { EnsureQtApplication(); }
    void SetUp() override {
        line.resize(300, 20);
        line.show();
    }
    CStatusLine line;
};

TEST_F(StatusLineWidget, ShowsAShortMessageWholeWithoutATooltip) {
    line.Say("No GIF was written: the movie has no frames");
    EXPECT_EQ(line.text(), "No GIF was written: the movie has no frames");
    EXPECT_EQ(line.Message(), line.text());
    EXPECT_TRUE(line.toolTip().isEmpty());
}

TEST_F(StatusLineWidget, CutsALongMessageInTheMiddleAndKeepsItWholeAsTooltip) {
    const QString message = "No GIF was written: cannot write /" +
                            QString("very-long-folder/").repeated(20) +
                            "intro.swf.gif: Permission denied";
    line.Say(message);
    EXPECT_EQ(line.Message(), message);
    EXPECT_EQ(line.toolTip(), message);
    EXPECT_LE(line.fontMetrics().horizontalAdvance(line.text()), line.contentsRect().width());
    EXPECT_TRUE(line.text().startsWith("No GIF")) << line.text().toStdString();
    EXPECT_TRUE(line.text().endsWith("Permission denied")) << line.text().toStdString();
}

TEST_F(StatusLineWidget, RefitsWhenResizedAndClears) {
    const QString message = "cannot write " + QString("x").repeated(200);
    line.Say(message);
    const QString cut = line.text();
    line.resize(3000, 20);
    EXPECT_EQ(line.text(), message);
    EXPECT_NE(cut, message);
    line.Clear();
    EXPECT_TRUE(line.Message().isEmpty());
    EXPECT_TRUE(line.text().isEmpty());
    EXPECT_TRUE(line.toolTip().isEmpty());
}

TEST_F(StatusLineWidget, KeepsToOneLine) {
    line.Say("first\nsecond");
    EXPECT_EQ(line.Message(), "first second");
}

// ---- The window ----------------------------------------------------------------------------

class WindowStatusTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { EnsureQtApplication(); }

    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        root_ = dir_.path().toStdString() + "/";
        movie_ = root_ + "intro.swf";
        gif_ = root_ + "intro.swf.gif";
        prompt::SetResponder([this](const prompt::Request& r) {
            prompt::Answer a;
            if (r.kind == prompt::Kind::OpenFile) a.path = movie_;
            if (r.kind == prompt::Kind::SaveFile) {
                a.path = shot_;
                a.selectedFilter = 4;  // PNG
            }
            return a;
        });
    }
    void TearDown() override { prompt::SetResponder({}); }

    // A window with the movie opened by the Open button (stopped at frame 0).
    std::unique_ptr<CConverterDlg> Open(CPlayerControl* player = nullptr) {
        auto dlg = std::make_unique<CConverterDlg>(nullptr, player);
        g_strOutputFolder = root_;
        Button(*dlg, IDC_OPEN)->click();
        return dlg;
    }
    static QAbstractButton* Button(CConverterDlg& dlg, int id) {
        return qobject_cast<QAbstractButton*>(dlg.GetDlgItem(id));
    }
    // Clicks Convert and ticks timer 1 until the run ends.
    static void Convert(CConverterDlg& dlg) {
        Button(dlg, IDC_CONVERT)->click();
        for (int ticks = 0; dlg.m_bConverting && ticks < 200; ++ticks) dlg.OnTimer(1);
        ASSERT_FALSE(dlg.m_bConverting);
    }
    void WriteOldGif() const { std::ofstream(gif_) << kOldGif; }
    bool OldGifKept() const {
        std::ifstream in(gif_);
        std::string text;
        std::getline(in, text);
        return text == kOldGif;
    }
    bool NoMessageBox() const {
        for (const auto& r : prompt::Recorded())
            if (r.kind == prompt::Kind::MessageBox) return false;
        return true;
    }

    QTemporaryDir dir_;
    std::string root_;
    std::string movie_;
    std::string gif_;
    std::string shot_;
};

// A conversion that ends without a GIF: how the case is set up, what the line must say, and
// whether an older GIF of the output's name was there to be kept.
struct FailedRunCase {
    const char* name;
    std::function<void(WindowStatusTest&, const std::string& root, const std::string& movie)>
        prepare;
    const char* says;  // after "No GIF was written: "
    bool oldGif = true;
};

class FailedRun : public WindowStatusTest, public ::testing::WithParamInterface<FailedRunCase> {};

TEST_P(FailedRun, SaysWhyOnTheStatusLineAndKeepsTheOldGif) {
    const FailedRunCase& c = GetParam();
    c.prepare(*this, root_, movie_);
    if (c.oldGif) WriteOldGif();
    auto dlg = Open();
    Convert(*dlg);
    const std::string status = dlg->StatusMessage().toStdString();
    EXPECT_TRUE(status.starts_with("No GIF was written: ")) << status;
    EXPECT_NE(status.find(c.says), std::string::npos) << status;
    if (c.oldGif) {
        EXPECT_TRUE(OldGifKept());
    }
    EXPECT_TRUE(NoMessageBox());
    EXPECT_TRUE(Button(*dlg, IDC_CONVERT)->isEnabled()) << "the window is usable again";
    for (const auto& entry : fs::directory_iterator(root_))
        EXPECT_NE(entry.path().filename().string()[0], '.') << "left: " << entry.path();
}

INSTANTIATE_TEST_SUITE_P(
    Reasons, FailedRun,
    ::testing::Values(
        FailedRunCase{"WorkingFolderCannotBeMade",
                      [](WindowStatusTest&, const std::string& root, const std::string& movie) {
                          testmovies::WriteSteppedMovie(movie, 3);
                          std::ofstream(root + "Tarnwick_filmcast") << "a file, not a folder";
                      },
                      "Not a directory"},
        FailedRunCase{"NotAMovie",
                      [](WindowStatusTest&, const std::string&, const std::string& movie) {
                          std::ofstream(movie) << "plain text, not a movie";
                      },
                      "not a Flash movie (bad signature)"},
        FailedRunCase{"GifNameTakenByAFolder",
                      [](WindowStatusTest&, const std::string& root, const std::string& movie) {
                          testmovies::WriteSteppedMovie(movie, 3);
                          fs::create_directory(root + "intro.swf.gif");
                      },
                      "intro.swf.gif: Is a directory", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WindowStatusTest, PlayerWithoutFramesSaysSo) {
    testmovies::WriteSteppedMovie(movie_, 3);
    WriteOldGif();
    FakePlayer player;
    auto dlg = Open(&player);
    Convert(*dlg);
    EXPECT_EQ(dlg->StatusMessage(), "No GIF was written: the movie has no frames");
    EXPECT_TRUE(OldGifKept());
}

// A player whose frame 2 holds actions that send it back to frame 0.
class JumpingBackPlayer : public FakePlayer {
  public:
    void GotoFrame(long frame) override {
        FakePlayer::GotoFrame(frame);
        if (frame == 2) current = 0;
    }
};

TEST_F(WindowStatusTest, MovieThatJumpsBackSaysItCannotBeStepped) {
    testmovies::WriteSteppedMovie(movie_, 5);
    WriteOldGif();
    JumpingBackPlayer player;
    player.totalFrames = 5;
    auto dlg = Open(&player);
    Convert(*dlg);
    EXPECT_EQ(dlg->StatusMessage(),
              "No GIF was written: the movie's actions send it back from frame 2 to frame 0, so "
              "its frames cannot be stepped through");
    EXPECT_TRUE(OldGifKept());
}

TEST_F(WindowStatusTest, RunBegunAboveFrameOneSaysNoGifWasBegun) {
    testmovies::WriteSteppedMovie(movie_, 3);
    FakePlayer player;
    player.totalFrames = 20;
    auto dlg = Open(&player);
    player.current = 10;  // stepped there with the frame box
    Convert(*dlg);
    EXPECT_EQ(dlg->StatusMessage(),
              "No GIF was written: the run began above frame 1, so no GIF was begun");
    EXPECT_FALSE(fs::exists(gif_));
}

TEST_F(WindowStatusTest, GoodRunLeavesTheLineBlank) {
    testmovies::WriteSteppedMovie(movie_, 4);
    auto dlg = Open();
    EXPECT_TRUE(dlg->StatusMessage().isEmpty());
    Convert(*dlg);
    EXPECT_TRUE(fs::exists(gif_));
    EXPECT_TRUE(dlg->StatusMessage().isEmpty());
    EXPECT_TRUE(dlg->LastCaptureError().empty());
}

TEST_F(WindowStatusTest, NextRunClearsTheLineAsItStarts) {
    testmovies::WriteSteppedMovie(movie_, 3);
    std::ofstream(root_ + "Tarnwick_filmcast") << "a file, not a folder";
    auto dlg = Open();
    Convert(*dlg);
    ASSERT_FALSE(dlg->StatusMessage().isEmpty());
    fs::remove(root_ + "Tarnwick_filmcast");
    Button(*dlg, IDC_CONVERT)->click();
    EXPECT_TRUE(dlg->StatusMessage().isEmpty()) << "blank while the run goes on";
    for (int ticks = 0; dlg->m_bConverting && ticks < 200; ++ticks) dlg->OnTimer(1);
    EXPECT_TRUE(dlg->StatusMessage().isEmpty());
    EXPECT_TRUE(fs::exists(gif_));
}

TEST_F(WindowStatusTest, OpeningAMovieClearsTheLine) {
    testmovies::WriteSteppedMovie(movie_, 3);
    std::ofstream(root_ + "Tarnwick_filmcast") << "a file, not a folder";
    auto dlg = Open();
    Convert(*dlg);
    ASSERT_FALSE(dlg->StatusMessage().isEmpty());
    Button(*dlg, IDC_OPEN)->click();
    EXPECT_TRUE(dlg->StatusMessage().isEmpty());
}

TEST_F(WindowStatusTest, SingleFrameExportThatFailsSaysWhyAndTheNextClears) {
    testmovies::WriteSteppedMovie(movie_, 3);
    auto dlg = Open();
    shot_ = root_ + "missing/shot.png";
    dlg->OnExportSingle();
    const std::string status = dlg->StatusMessage().toStdString();
    EXPECT_TRUE(status.starts_with("The frame was not exported: ")) << status;
    EXPECT_NE(status.find("No such file or directory"), std::string::npos) << status;
    EXPECT_TRUE(NoMessageBox());
    shot_ = root_ + "shot.png";
    dlg->OnExportSingle();
    EXPECT_TRUE(fs::exists(shot_));
    EXPECT_TRUE(dlg->StatusMessage().isEmpty());
}

// ---- Files that are no whole movie ---------------------------------------------------------

// A movie of five empty frames on a 100 x 80 stage, its body cut after `frames` ShowFrame tags;
// the length field still gives the whole movie's length.
swfw::Buffer CutMovie(int frames, swfw::Compression compression) {
    swfw::Movie movie;
    movie.Size(100, 80);
    for (int k = 0; k < 5; ++k) movie.ShowFrame();
    const swfw::Buffer body = movie.Body();
    const std::size_t tagsStart = body.size() - (5 * 2 + 2);  // five ShowFrames and End
    const swfw::Buffer cut(body.begin(), body.begin() + tagsStart + 2 * frames);
    return swfw::Pack(compression, 10, cut, static_cast<std::uint32_t>(8 + body.size()));
}

struct BadFileCase {
    const char* name;
    std::function<swfw::Buffer()> bytes;
    const char* says;  // the whole line
};

class BadFile : public WindowStatusTest, public ::testing::WithParamInterface<BadFileCase> {};

TEST_P(BadFile, OpeningItSaysWhatIsWrongAndTheWindowBehavesAsBefore) {
    const BadFileCase& c = GetParam();
    const swfw::Buffer bytes = c.bytes();
    std::ofstream(movie_, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    auto dlg = Open();
    EXPECT_EQ(dlg->StatusMessage().toStdString(), c.says);
    EXPECT_EQ(dlg->m_listProperties->topLevelItemCount(), 6) << "the rows stay";
    EXPECT_TRUE(Button(*dlg, IDC_CONVERT)->isEnabled());
    EXPECT_TRUE(Button(*dlg, IDC_START)->isEnabled());
    EXPECT_TRUE(NoMessageBox());
}

INSTANTIATE_TEST_SUITE_P(
    Files, BadFile,
    ::testing::Values(
        BadFileCase{"NotAMovie",
                    [] {
                        const std::string text = "GIF89a, a picture and no movie";
                        return swfw::Buffer(text.begin(), text.end());
                    },
                    "intro.swf: not a Flash movie (bad signature)"},
        BadFileCase{"TooShortForAHeader",
                    [] {
                        return swfw::Buffer{'F', 'W', 'S'};
                    },
                    "intro.swf: file too short for a movie header"},
        BadFileCase{"CutInsideTheHeader",
                    [] {
                        swfw::Buffer b = CutMovie(5, swfw::Compression::None);
                        b.resize(12);
                        return b;
                    },
                    "intro.swf: the movie is truncated: its header is cut short"},
        BadFileCase{"CompressedBodyCorrupt",
                    [] {
                        swfw::Buffer b = CutMovie(5, swfw::Compression::Zlib);
                        for (std::size_t i = 8; i < b.size(); ++i) b[i] = 0xFF;
                        return b;
                    },
                    "intro.swf: compressed body cannot be inflated"},
        BadFileCase{"TruncatedBody", [] { return CutMovie(2, swfw::Compression::None); },
                    "intro.swf: the movie ends early: its header promises 5 frames, 2 could be "
                    "read"},
        BadFileCase{"TruncatedCompressedBody", [] { return CutMovie(3, swfw::Compression::Zlib); },
                    "intro.swf: the movie ends early: its header promises 5 frames, 3 could be "
                    "read"},
        BadFileCase{"EndsBeforeItsFirstFrame", [] { return CutMovie(0, swfw::Compression::None); },
                    "intro.swf: the movie ends before its first frame (its header promises 5)"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WindowStatusTest, MissingFileSaysTheSystemsReason) {
    auto dlg = std::make_unique<CConverterDlg>();
    g_strOutputFolder = root_;
    dlg->OpenMovie(QString::fromStdString(root_ + "gone.swf"));
    EXPECT_EQ(dlg->StatusMessage(), "gone.swf: cannot open file: No such file or directory");
}

TEST_F(WindowStatusTest, WholeMovieOpensSilently) {
    testmovies::WriteSteppedMovie(movie_, 3);
    auto dlg = Open();
    EXPECT_TRUE(dlg->StatusMessage().isEmpty());
}

TEST_F(WindowStatusTest, ConvertingATruncatedMovieWithoutFramesGivesTheLoadReason) {
    const swfw::Buffer bytes = CutMovie(0, swfw::Compression::None);
    std::ofstream(movie_, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    auto dlg = Open();
    Convert(*dlg);
    EXPECT_EQ(dlg->StatusMessage(),
              "No GIF was written: the movie ends before its first frame (its header promises 5)");
}

}  // namespace
