// The converter window's conversion run and exports, driven as the user would (offscreen, with
// every prompt answered through the seam), checked on the files they write.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QSlider>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

#include "capture/exportdialog.h"
#include "converter/converterdlg.h"
#include "converter/outputfolder.h"
#include "platform/prompt.h"
#include "res/resource.h"
#include "tests/support/gif_reader.h"
#include "tests/support/test_movies.h"
#include "tests/support/fakeplayer.h"
#include "tests/support/qtapp.h"

namespace fs = std::filesystem;

namespace {

class WindowCaptureTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { EnsureQtApplication(); }

    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        root_ = dir_.path().toStdString() + "/";
        movie_ = root_ + "intro.swf";
        prompt::SetResponder([this](const prompt::Request& r) {
            prompt::Answer a;
            if (r.kind == prompt::Kind::OpenFile) a.path = movie_;
            if (r.kind == prompt::Kind::SaveFile) {
                a.accepted = !savePath_.empty();
                a.path = savePath_;
                a.selectedFilter = saveFilter_;
            }
            return a;
        });
    }
    void TearDown() override { prompt::SetResponder({}); }

    // Opens the movie with the Open button, which leaves it stopped at frame 0.
    std::unique_ptr<CConverterDlg> OpenStopped(CPlayerControl* player = nullptr) {
        auto dlg = std::make_unique<CConverterDlg>(nullptr, player);
        g_strOutputFolder = root_;  // the window starts with the program's folder
        Button(*dlg, IDC_OPEN)->click();
        prompt::ClearRecorded();
        return dlg;
    }
    static QAbstractButton* Button(CConverterDlg& dlg, int id) {
        return qobject_cast<QAbstractButton*>(dlg.GetDlgItem(id));
    }
    // Ticks timer 1 until the run ends; returns the ticks taken.
    static int ConvertToEnd(CConverterDlg& dlg) {
        Button(dlg, IDC_CONVERT)->click();
        int ticks = 0;
        while (dlg.m_bConverting && ticks < 200) {
            dlg.OnTimer(1);
            ++ticks;
        }
        return ticks;
    }
    std::vector<std::string> Messages() const {
        std::vector<std::string> texts;
        for (const auto& r : prompt::Recorded())
            if (r.kind == prompt::Kind::MessageBox) texts.push_back(r.text);
        return texts;
    }

    QTemporaryDir dir_;
    std::string root_;
    std::string movie_;
    std::string savePath_;
    int saveFilter_ = 1;
};

TEST_F(WindowCaptureTest, ConvertFromFrameZeroGivesEveryFrameAsThePlayerShowsIt) {
    ASSERT_TRUE(testmovies::WriteSteppedMovie(movie_, 5, 25));
    auto dlg = OpenStopped();
    EXPECT_EQ(ConvertToEnd(*dlg), 4);
    const testgif::Gif gif = testgif::Read(root_ + "intro.swf.gif");
    ASSERT_TRUE(gif.ok);
    ASSERT_EQ(gif.pages.size(), 5u);
    const int w = dlg->m_rectPlayer.Width(), h = dlg->m_rectPlayer.Height();
    EXPECT_EQ(gif.width, w);
    EXPECT_EQ(gif.height, h);
    for (int k = 0; k < 5; ++k) {
        const CSurface expected = testmovies::EngineFrame(movie_, k, w, h);
        EXPECT_LT(testmovies::MismatchedShare(expected, gif.pages[k].rgb.data(), 24), 0.01)
            << "page " << k;
    }
    for (int k = 0; k < 5; ++k)
        EXPECT_TRUE(fs::exists(root_ + "Tarnwick_filmcast/Temp/intro.swf0000" + std::to_string(k) +
                               ".gif"));
    EXPECT_TRUE(Button(*dlg, IDC_OPEN)->isEnabled());
    EXPECT_TRUE(Button(*dlg, IDC_CONVERT)->isEnabled());
    EXPECT_FALSE(Button(*dlg, IDC_PAUSE)->isEnabled());
    EXPECT_FALSE(dlg->IsTimerRunning());
    EXPECT_EQ(qobject_cast<QSlider*>(dlg->GetDlgItem(IDC_POSITION_SLIDER))->value(), 0);
}

TEST_F(WindowCaptureTest, ConvertWhilePlayingStartsAtFrameOne) {
    ASSERT_TRUE(testmovies::WriteSteppedMovie(movie_, 4));
    auto dlg = OpenStopped();  // opening empties the working folder
    Button(*dlg, IDC_START)->click();
    ASSERT_EQ(dlg->m_bPlaying, 1);
    ConvertToEnd(*dlg);
    const testgif::Gif gif = testgif::Read(root_ + "intro.swf.gif");
    ASSERT_EQ(gif.pages.size(), 3u);
    const CSurface first = testmovies::EngineFrame(movie_, 1, gif.width, gif.height);
    EXPECT_LT(testmovies::MismatchedShare(first, gif.pages[0].rgb.data(), 24), 0.01);
}

TEST_F(WindowCaptureTest, PlayerWithoutFramesEndsAtOnceAndKeepsTheOldGif) {
    ASSERT_TRUE(testmovies::WriteSteppedMovie(movie_, 3));
    { std::ofstream(root_ + "intro.swf.gif") << "older animation"; }
    FakePlayer player;
    player.totalFrames = 0;
    auto dlg = OpenStopped(&player);
    EXPECT_EQ(ConvertToEnd(*dlg), 1);
    EXPECT_FALSE(dlg->IsTimerRunning());
    EXPECT_TRUE(Button(*dlg, IDC_OPEN)->isEnabled());
    EXPECT_EQ(fs::file_size(root_ + "intro.swf.gif"), std::string("older animation").size());
}

// A run that fails keeps the older GIF, shows no message box and keeps its reason for the
// window's status line.
TEST_F(WindowCaptureTest, FailedRunKeepsTheOldGifAndItsReasonWithoutAMessage) {
    ASSERT_TRUE(testmovies::WriteSteppedMovie(movie_, 3));
    { std::ofstream(root_ + "intro.swf.gif") << "older animation"; }
    { std::ofstream(root_ + "Tarnwick_filmcast") << "a file where the working folder goes"; }
    auto dlg = OpenStopped();
    ConvertToEnd(*dlg);
    EXPECT_FALSE(dlg->IsTimerRunning());
    EXPECT_TRUE(Button(*dlg, IDC_CONVERT)->isEnabled());
    EXPECT_EQ(fs::file_size(root_ + "intro.swf.gif"), std::string("older animation").size());
    EXPECT_NE(dlg->LastCaptureError().find("Not a directory"), std::string::npos)
        << dlg->LastCaptureError();
    EXPECT_TRUE(Messages().empty());
    for (const auto& entry : fs::directory_iterator(root_))
        EXPECT_NE(entry.path().filename().string()[0], '.') << "left: " << entry.path();
}

TEST_F(WindowCaptureTest, ExportWindowWritesOneFramePerTickAndCounts) {
    ASSERT_TRUE(testmovies::WriteSteppedMovie(movie_, 3));
    CExportDialog export_;
    export_.m_strMovie = QString::fromStdString(movie_);
    export_.m_strExtension = ".tga";
    export_.m_strOutputFolder = root_;
    export_.m_rectExport = RECT{0, 0, 200, 150};
    export_.OnInitDialog();
    auto* count = qobject_cast<QLabel*>(export_.GetDlgItem(IDC_EXPORT_COUNT));
    for (const char* text : {"1/3", "2/3", "3/3"}) {
        ASSERT_FALSE(export_.IsFinished());
        export_.OnTimer(1);
        EXPECT_EQ(count->text().toStdString(), text);
    }
    EXPECT_TRUE(export_.IsFinished()) << "closes on the tick that writes the last frame";
    for (int k = 0; k < 3; ++k) {
        std::ifstream in(root_ + "Tarnwick_reelcast/intro.swf0000" + std::to_string(k) + ".tga",
                         std::ios::binary);
        unsigned char header[18] = {};
        ASSERT_TRUE(in.read(reinterpret_cast<char*>(header), sizeof header)) << k;
        EXPECT_EQ(header[12] | header[13] << 8, 200);
        EXPECT_EQ(header[14] | header[15] << 8, 150);
    }
    EXPECT_TRUE(fs::is_empty(root_ + "Tarnwick_reelcast/Temp"));
}

TEST_F(WindowCaptureTest, ExportWindowOfAMovieWithoutFramesClosesAtOnce) {
    { std::ofstream(movie_) << "not a movie"; }
    CExportDialog export_;
    export_.m_strMovie = QString::fromStdString(movie_);
    export_.m_strOutputFolder = root_;
    export_.OnInitDialog();
    export_.OnTimer(1);
    EXPECT_TRUE(export_.IsFinished());
    EXPECT_FALSE(fs::exists(root_ + "Tarnwick_reelcast/intro.swf00000.bmp"));
}

TEST_F(WindowCaptureTest, ContextMenuTgaExportWritesEveryFrameAndLeavesThePlayer) {
    ASSERT_TRUE(testmovies::WriteSteppedMovie(movie_, 10));
    auto dlg = OpenStopped();
    dlg->m_nOutputWidth = 320;
    dlg->m_nOutputHeight = 240;
    dlg->OnExportTga();
    int files = 0;
    for (const auto& entry : fs::directory_iterator(root_ + "Tarnwick_reelcast"))
        files += entry.path().extension() == ".tga";
    EXPECT_EQ(files, 10);
    EXPECT_TRUE(fs::exists(root_ + "Tarnwick_reelcast/intro.swf00009.tga"));
    EXPECT_EQ(dlg->m_flashPlayer->CurrentFrame(), 0);
}

struct ShotCase {
    const char* typed;
    int filter;
    int outputWidth;
    int outputHeight;
    const char* written;
    bool scaled;  // to the output size, else the player's size
};

class SingleShotTest : public WindowCaptureTest, public ::testing::WithParamInterface<ShotCase> {};

TEST_P(SingleShotTest, SavesTheFrameOnShowByTheNamesExtension) {
    const ShotCase& c = GetParam();
    ASSERT_TRUE(testmovies::WriteSteppedMovie(movie_, 2));
    auto dlg = OpenStopped();
    dlg->m_nOutputWidth = c.outputWidth;
    dlg->m_nOutputHeight = c.outputHeight;
    savePath_ = root_ + c.typed;
    saveFilter_ = c.filter;
    dlg->OnExportSingle();
    const fs::path written = root_ + c.written;
    ASSERT_TRUE(fs::exists(written)) << written;
    if (written.extension() == ".png") {
        std::ifstream in(written, std::ios::binary);
        unsigned char h[24] = {};
        in.read(reinterpret_cast<char*>(h), sizeof h);
        const int w = h[16] << 24 | h[17] << 16 | h[18] << 8 | h[19];
        const int ht = h[20] << 24 | h[21] << 16 | h[22] << 8 | h[23];
        EXPECT_EQ(w, c.scaled ? c.outputWidth : dlg->m_rectPlayer.Width());
        EXPECT_EQ(ht, c.scaled ? c.outputHeight : dlg->m_rectPlayer.Height());
    } else {
        std::ifstream in(written, std::ios::binary);
        unsigned char h[2] = {};
        in.read(reinterpret_cast<char*>(h), 2);
        EXPECT_EQ(h[0], 0xFF) << "a JPEG";
        EXPECT_EQ(h[1], 0xD8);
    }
}

INSTANTIATE_TEST_SUITE_P(Shots, SingleShotTest,
                         ::testing::Values(ShotCase{"shot.png", 4, 640, 480, "shot.png", true},
                                           ShotCase{"shot.png", 4, 0, 480, "shot.png", false},
                                           ShotCase{"shot", 3, 640, 480, "shot.jpg", true}));

TEST_F(WindowCaptureTest, EveryExportAsksForAMovieFirst) {
    CConverterDlg dlg(nullptr, nullptr);
    g_strOutputFolder = root_;
    savePath_ = root_ + "shot.png";
    dlg.OnExportSingle();
    dlg.OnExportBmp();
    dlg.OnExportTga();
    EXPECT_EQ(Messages(), (std::vector<std::string>(3, "No swf files!")));
    EXPECT_FALSE(fs::exists(root_ + "shot.png"));
    EXPECT_FALSE(fs::exists(root_ + "Tarnwick_reelcast"));
}

}  // namespace
