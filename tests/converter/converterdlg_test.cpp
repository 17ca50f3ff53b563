#include "converter/converterdlg.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QFocusEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTreeWidget>

#include "controls/fileutil.h"
#include "controls/flashplayerwidget.h"
#include "controls/numberspin.h"
#include "converter/outputfolder.h"
#include "platform/prompt.h"
#include "res/templates.h"
#include "tests/support/fakeplayer.h"
#include "tests/support/moviefile.h"
#include "tests/support/qtapp.h"

namespace {

// Answers every prompt: the open dialog with `movie`, the folder browser with `folder`
// (cancelled when empty), message boxes and windows with OK.
struct Answers {
    std::string movie;
    std::string folder;
    int menuCommand = 0;
};

class ConverterDlgTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        EnsureQtApplication();
        QApplication::setApplicationDisplayName(kAppDisplayName);
    }

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        prompt::SetResponder([this](const prompt::Request& r) {
            prompt::Answer a;
            if (r.kind == prompt::Kind::OpenFile) {
                a.accepted = !answers.movie.empty();
                a.path = answers.movie;
            } else if (r.kind == prompt::Kind::Folder) {
                a.accepted = !answers.folder.empty();
                a.path = answers.folder;
            } else if (r.kind == prompt::Kind::Modal && r.title.starts_with("menu")) {
                a.result = answers.menuCommand;
            }
            return a;
        });
        dlg = std::make_unique<CConverterDlg>(nullptr, &player);
        // Working folders go below a folder of the test's own.
        g_strOutputFolder = dir.path().toStdString() + "/";
    }

    void TearDown() override {
        dlg.reset();
        prompt::SetResponder({});
    }

    std::string Movie(int w, int h, int fps, int frames) {
        const std::string path = dir.filePath("movie.swf").toStdString();
        WriteMovie(path, w, h, fps, frames);
        return path;
    }

    // Opens a movie with the Open button; the fake player reports `frames` frames.
    void Open(int w, int h, int fps, int frames) {
        answers.movie = Movie(w, h, fps, frames);
        player.totalFrames = frames;
        Button(IDC_OPEN)->click();
        prompt::ClearRecorded();
        player.calls.clear();
    }

    QAbstractButton* Button(int id) { return qobject_cast<QAbstractButton*>(dlg->GetDlgItem(id)); }
    QLineEdit* Edit(int id) { return qobject_cast<QLineEdit*>(dlg->GetDlgItem(id)); }
    bool Enabled(int id) { return dlg->GetDlgItem(id)->isEnabled(); }
    QString FrameText() { return Edit(IDC_FRAME_EDIT)->text(); }
    int SliderPos() {
        return qobject_cast<QSlider*>(dlg->GetDlgItem(IDC_POSITION_SLIDER))->value();
    }
    QString CountLabel() { return qobject_cast<QLabel*>(dlg->GetDlgItem(IDC_FRAME_COUNT))->text(); }

    // Leaves an edit the way the focus does, then lets the queued validation run.
    void LeaveEdit(int id) {
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(Edit(id), &out);
        QApplication::processEvents();
        QApplication::processEvents();
    }

    std::vector<prompt::Request> Messages() {
        std::vector<prompt::Request> out;
        for (const auto& r : prompt::Recorded())
            if (r.kind == prompt::Kind::MessageBox) out.push_back(r);
        return out;
    }

    QTemporaryDir dir;
    Answers answers;
    FakePlayer player;
    std::unique_ptr<CConverterDlg> dlg;
};

TEST_F(ConverterDlgTest, StartsWithExportControlsDisabledAndDefaults) {
    for (int id : {IDC_START, IDC_PAUSE, IDC_CONVERT, IDC_FRAME_RATE, IDC_CUSTOM_WIDTH,
                   IDC_CUSTOM_HEIGHT, IDC_SIZE_HALF, IDC_SIZE_ORIGINAL, IDC_SIZE_DOUBLE,
                   IDC_SIZE_TRIPLE, IDC_SIZE_CUSTOM, IDC_OUTPUT_FOLDER})
        EXPECT_FALSE(Enabled(id)) << id;
    for (int id : {IDC_OPEN, IDC_ABOUT, IDC_BUY_NOW, IDC_HELP_FILE, IDC_EXIT, IDC_BROWSE_FOLDER,
                   IDC_FRAME_SPIN})
        EXPECT_TRUE(Enabled(id)) << id;
    EXPECT_TRUE(Button(IDC_SIZE_ORIGINAL)->isChecked());
    EXPECT_EQ(Edit(IDC_CUSTOM_WIDTH)->text(), "0");
    EXPECT_EQ(Edit(IDC_CUSTOM_HEIGHT)->text(), "0");
    EXPECT_EQ(Edit(IDC_FRAME_RATE)->text(), "1");
    EXPECT_EQ(FrameText(), "0");
    EXPECT_EQ(CountLabel(), "/0");
    EXPECT_TRUE(qobject_cast<QPushButton*>(Button(IDC_OPEN))->isDefault());
    EXPECT_FALSE(dlg->IsTimerRunning());
    EXPECT_EQ(player.calls, std::vector<std::string>{"SetLoop 0"});
    EXPECT_NE(dlg->m_pViewObject, nullptr);
    const QTreeWidgetItem* header = dlg->m_listProperties->headerItem();
    EXPECT_EQ(header->text(0), "Property");
    EXPECT_EQ(header->text(1), "Value");
    EXPECT_EQ(dlg->m_listProperties->columnWidth(0), 90);
}

TEST_F(ConverterDlgTest, OutputFolderIsTheProgramFolderWithTrailingSlash) {
    // The test program's folder (the build tree) is writable, so no fallback applies.
    const QString shown = Edit(IDC_OUTPUT_FOLDER)->text();
    EXPECT_EQ(shown.toStdString(), GetModuleDir());
    EXPECT_TRUE(shown.endsWith('/'));
    EXPECT_TRUE(shown.startsWith('/'));
}

TEST_F(ConverterDlgTest, ControlsSitAtTheirDialogUnitPositions) {
    EXPECT_EQ(dlg->size(), QSize(762, 548));
    EXPECT_EQ(dlg->GetDlgItem(IDC_FLASH_PLAYER)->geometry(), QRect(11, 11, 488, 416));
    EXPECT_EQ(dlg->GetDlgItem(IDC_OPEN)->geometry(), QRect(24, 501, 75, 23));
    EXPECT_EQ(dlg->GetDlgItem(IDC_PROPERTY_LIST)->geometry().topLeft(), QPoint(525, 11));
}

// Every caption must be readable in full inside its control.
TEST_F(ConverterDlgTest, NoCaptionIsCutOff) {
    dlg->show();
    for (const ControlTemplate& t : kConverterControls) {
        if (std::string(t.caption).empty()) continue;
        const QWidget* w = nullptr;
        if (t.id > 0) {
            w = dlg->GetDlgItem(t.id);
        } else {
            for (auto* label : dlg->findChildren<QLabel*>())
                if (label->text() == t.caption) w = label;
            for (auto* group : dlg->findChildren<QGroupBox*>())
                if (group->title() == t.caption) w = group;
        }
        ASSERT_NE(w, nullptr) << t.caption;
        const QFontMetrics fm = w->fontMetrics();
        const QString text = QString(t.caption).remove('&');
        int needed = fm.horizontalAdvance(text);
        if (auto* radio = qobject_cast<const QRadioButton*>(w)) {
            needed +=
                radio->style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, radio) +
                radio->style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, radio);
        } else if (qobject_cast<const QPushButton*>(w)) {
            needed += 4;
        }
        const QString current =
            qobject_cast<const QLabel*>(w) ? qobject_cast<const QLabel*>(w)->text() : text;
        if (current != text) continue;  // texts set at start-up are checked elsewhere
        EXPECT_LE(needed, w->width()) << t.caption;
        EXPECT_LE(fm.height(), w->height() + 2) << t.caption;
    }
}

TEST_F(ConverterDlgTest, TabOrderFollowsTheTemplate) {
    std::vector<QWidget*> expected;
    for (const ControlTemplate& t : kConverterControls) {
        QWidget* w = t.id > 0 ? dlg->GetDlgItem(t.id) : nullptr;
        if (w && w->focusPolicy() & Qt::TabFocus) expected.push_back(w);
    }
    ASSERT_GT(expected.size(), 10u);
    for (std::size_t i = 0; i + 1 < expected.size(); ++i) {
        QWidget* next = expected[i]->nextInFocusChain();
        while (next && !(next->focusPolicy() & Qt::TabFocus)) next = next->nextInFocusChain();
        EXPECT_EQ(next, expected[i + 1]) << expected[i]->objectName().toStdString();
    }
}

TEST_F(ConverterDlgTest, OpeningAMovieListsItsHeaderAndLeavesItStopped) {
    Open(550, 400, 12, 300);
    const QStringList names{"Frame Count", "Frame Rate",   "Frame Height",
                            "Frame Width", "Flash Length", "Flash Ver"};
    ASSERT_EQ(dlg->m_listProperties->topLevelItemCount(), 6);
    for (int row = 0; row < 6; ++row)
        EXPECT_EQ(dlg->m_listProperties->topLevelItem(row)->text(0), names[row]);
    EXPECT_EQ(dlg->m_listProperties->topLevelItem(0)->text(1), "300");
    EXPECT_EQ(dlg->m_listProperties->topLevelItem(1)->text(1), "12");
    EXPECT_EQ(dlg->m_listProperties->topLevelItem(2)->text(1), "400");
    EXPECT_EQ(dlg->m_listProperties->topLevelItem(3)->text(1), "550");
    EXPECT_EQ(dlg->m_listProperties->topLevelItem(4)->text(1),
              QString::number(QFileInfo(dir.filePath("movie.swf")).size()));
    EXPECT_EQ(dlg->m_listProperties->topLevelItem(5)->text(1), "10");
    EXPECT_EQ(Edit(IDC_CUSTOM_WIDTH)->text(), "550");
    EXPECT_EQ(Edit(IDC_CUSTOM_HEIGHT)->text(), "400");
    EXPECT_EQ(Edit(IDC_FRAME_RATE)->text(), "12");
    EXPECT_EQ(CountLabel(), "/300");
    EXPECT_EQ(FrameText(), "0");
    EXPECT_EQ(dlg->m_bPlaying, 0);
    EXPECT_TRUE(Enabled(IDC_START));
    EXPECT_FALSE(Enabled(IDC_PAUSE));
    EXPECT_TRUE(Enabled(IDC_CONVERT));
    EXPECT_FALSE(Enabled(IDC_CUSTOM_WIDTH));
    EXPECT_TRUE(dlg->IsTimerRunning());
    EXPECT_FALSE(player.playing);
    EXPECT_EQ(dlg->m_spinFrame->m_positions, 300);
    EXPECT_TRUE(QDir(dir.filePath("Tarnwick_filmcast/Temp")).exists());
}

TEST_F(ConverterDlgTest, CancelledOpenChangesNothing) {
    Button(IDC_OPEN)->click();
    EXPECT_TRUE(dlg->m_strMovie.isEmpty());
    EXPECT_FALSE(Enabled(IDC_START));
    EXPECT_FALSE(dlg->IsTimerRunning());
}

TEST_F(ConverterDlgTest, SecondMovieReplacesRowsAndSizeWhateverOptionIsChecked) {
    Open(550, 400, 12, 300);
    Button(IDC_SIZE_DOUBLE)->click();
    EXPECT_EQ(dlg->m_nOutputWidth, 1100);
    Open(320, 240, 25, 10);
    EXPECT_EQ(dlg->m_listProperties->topLevelItemCount(), 6);
    EXPECT_EQ(dlg->m_nOutputWidth, 320);
    EXPECT_EQ(dlg->m_nOutputHeight, 240);
    EXPECT_EQ(dlg->m_nFrameRate, 25);
}

TEST_F(ConverterDlgTest, StartAndPauseDoNothingWithoutAMovie) {
    dlg->OnStart();
    dlg->OnPause();
    EXPECT_EQ(player.calls, std::vector<std::string>{"SetLoop 0"});
    EXPECT_FALSE(dlg->IsTimerRunning());
}

TEST_F(ConverterDlgTest, StartPlaysFromTheFirstFrameAndPauseStops) {
    Open(550, 400, 12, 300);
    Button(IDC_START)->click();
    EXPECT_EQ(dlg->m_bPlaying, 1);
    EXPECT_FALSE(Enabled(IDC_START));
    EXPECT_TRUE(Enabled(IDC_PAUSE));
    EXPECT_EQ(player.calls,
              (std::vector<std::string>{"SetMovie " + answers.movie, "Stop", "Play"}));
    player.calls.clear();
    Button(IDC_PAUSE)->click();
    EXPECT_EQ(dlg->m_bPlaying, 0);
    EXPECT_TRUE(Enabled(IDC_START));
    EXPECT_EQ(player.calls,
              (std::vector<std::string>{"SetMovie " + answers.movie, "Stop", "Stop"}));
}

TEST_F(ConverterDlgTest, TimerFollowsThePlaybackPosition) {
    Open(550, 400, 12, 300);
    Button(IDC_START)->click();
    player.current = 150;
    dlg->OnTimer(1);
    EXPECT_EQ(SliderPos(), 50);
    EXPECT_EQ(FrameText(), "150");
    EXPECT_EQ(dlg->m_bPlaying, 1);
}

TEST_F(ConverterDlgTest, TimerResumesPlaybackThatStoppedOnItsOwn) {
    Open(550, 400, 12, 300);
    Button(IDC_START)->click();
    player.current = 20;
    player.playing = false;
    player.calls.clear();
    dlg->OnTimer(1);
    EXPECT_EQ(player.calls, std::vector<std::string>{"Play"});
}

TEST_F(ConverterDlgTest, LastFrameWhilePlayingStopsAtTheFirstFrame) {
    Open(550, 400, 12, 300);
    Button(IDC_START)->click();
    player.current = 299;
    player.calls.clear();
    dlg->OnTimer(1);
    EXPECT_EQ(dlg->m_bPlaying, 0);
    EXPECT_TRUE(Enabled(IDC_START));
    EXPECT_FALSE(Enabled(IDC_PAUSE));
    EXPECT_EQ(player.current, 0);
    EXPECT_EQ(player.calls.back(), "Rewind");
    EXPECT_TRUE(dlg->IsTimerRunning());
}

TEST_F(ConverterDlgTest, LastFrameReachedBySteppingStartsPlayback) {
    Open(550, 400, 12, 300);
    player.current = 299;
    dlg->OnTimer(1);
    EXPECT_EQ(dlg->m_bPlaying, 1);
    EXPECT_FALSE(Enabled(IDC_START));
}

TEST_F(ConverterDlgTest, SingleFrameMovieTogglesOnEveryStep) {
    Open(100, 100, 12, 1);
    for (int step = 0; step < 4; ++step) {
        const BYTE before = dlg->m_bPlaying;
        dlg->OnTimer(1);
        EXPECT_NE(dlg->m_bPlaying, before) << step;
        EXPECT_EQ(Enabled(IDC_START), before == 1) << step;
        EXPECT_EQ(Enabled(IDC_PAUSE), before == 0) << step;
    }
}

TEST_F(ConverterDlgTest, MovieWithoutFramesLeavesPositionAlone) {
    Open(550, 400, 12, 0);
    player.totalFrames = 0;
    dlg->m_spinFrame->SetValue(7);
    dlg->OnTimer(1);
    dlg->OnSliderReleased();
    EXPECT_EQ(FrameText(), "7");
    EXPECT_EQ(SliderPos(), 0);
}

TEST_F(ConverterDlgTest, SpinAsksThePlayerForNeighbouringFramesUnchecked) {
    Open(550, 400, 12, 300);
    dlg->m_spinFrame->SetValue(10);
    dlg->m_spinFrame->Step(1);
    dlg->m_spinFrame->SetValue(0);
    dlg->m_spinFrame->Step(-1);
    dlg->m_spinFrame->SetValue(299);
    dlg->m_spinFrame->Step(1);
    EXPECT_EQ(player.gotoFrames, (std::vector<long>{11, -1, 300}));
}

TEST_F(ConverterDlgTest, SliderReleaseSeeksToItsPercentage) {
    Open(100, 100, 12, 10);
    player.totalFrames = 10;
    qobject_cast<QSlider*>(dlg->GetDlgItem(IDC_POSITION_SLIDER))->setValue(33);
    dlg->OnSliderReleased();
    EXPECT_EQ(player.gotoFrames, std::vector<long>{3});
}

struct SizeCase {
    int option;
    int movieWidth;
    int movieHeight;
    int width;
    int height;
};

class SizeOptionTest : public ConverterDlgTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(SizeOptionTest, SetsOutputSizeFromTheMovie) {
    const SizeCase c = GetParam();
    Open(c.movieWidth, c.movieHeight, 12, 30);
    Button(c.option)->click();
    EXPECT_EQ(dlg->m_nOutputWidth, c.width);
    EXPECT_EQ(dlg->m_nOutputHeight, c.height);
    EXPECT_EQ(Edit(IDC_CUSTOM_WIDTH)->text(), QString::number(c.width));
    EXPECT_EQ(Edit(IDC_CUSTOM_HEIGHT)->text(), QString::number(c.height));
    EXPECT_EQ(Enabled(IDC_CUSTOM_WIDTH), c.option == IDC_SIZE_CUSTOM);
    EXPECT_EQ(Enabled(IDC_CUSTOM_HEIGHT), c.option == IDC_SIZE_CUSTOM);
}

INSTANTIATE_TEST_SUITE_P(Options, SizeOptionTest,
                         ::testing::Values(SizeCase{IDC_SIZE_HALF, 551, 401, 275, 200},
                                           SizeCase{IDC_SIZE_HALF, 550, 400, 275, 200},
                                           SizeCase{IDC_SIZE_ORIGINAL, 550, 400, 550, 400},
                                           SizeCase{IDC_SIZE_DOUBLE, 550, 400, 1100, 800},
                                           SizeCase{IDC_SIZE_TRIPLE, 550, 400, 1650, 1200},
                                           SizeCase{IDC_SIZE_CUSTOM, 550, 400, 550, 400}));

TEST_F(ConverterDlgTest, SizeOptionEmptiesTheWorkFolder) {
    Open(550, 400, 12, 30);
    const QString stale = dir.filePath("Tarnwick_filmcast/Temp/movie.swf00001.gif");
    QFile(stale).open(QIODevice::WriteOnly);
    ASSERT_TRUE(QFile::exists(stale));
    Button(IDC_SIZE_HALF)->click();
    EXPECT_FALSE(QFile::exists(stale));
}

struct ExchangeCase {
    const char* name;
    int edit;
    const char* text;
    const char* message;  // empty: no message
    int width;            // members afterwards
    int frameRate;
};

class DataExchangeTest : public ConverterDlgTest,
                         public ::testing::WithParamInterface<ExchangeCase> {};

TEST_P(DataExchangeTest, LeavingAnEditValidatesWithTheFrameworkMessages) {
    const ExchangeCase c = GetParam();
    Open(550, 400, 12, 30);
    Edit(IDC_FRAME_RATE)->setText("7");  // read only when the width passes
    Edit(c.edit)->setText(c.text);
    LeaveEdit(c.edit);
    const auto messages = Messages();
    if (std::string(c.message).empty()) {
        EXPECT_TRUE(messages.empty());
    } else {
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].text, c.message);
        EXPECT_EQ(messages[0].title, "Filmcast Converter 1.0");
        EXPECT_EQ(messages[0].buttons & 0xF0, 0x30);  // exclamation
        EXPECT_EQ(Edit(c.edit)->selectedText(), Edit(c.edit)->text());
    }
    EXPECT_EQ(dlg->m_nOutputWidth, c.width);
    EXPECT_EQ(dlg->m_nFrameRate, c.frameRate);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, DataExchangeTest,
    ::testing::Values(
        ExchangeCase{"Letters", IDC_FRAME_RATE, "abc", "Please enter an integer.", 550, 12},
        ExchangeCase{"Empty", IDC_FRAME_RATE, "", "Please enter an integer.", 550, 12},
        ExchangeCase{"TrailingJunk", IDC_FRAME_RATE, "5x", "Please enter an integer.", 550, 12},
        ExchangeCase{"AboveRangeIsStored", IDC_FRAME_RATE, "60",
                     "Please enter an integer between 1 and 50.", 550, 60},
        ExchangeCase{"ZeroIsStored", IDC_FRAME_RATE, "0",
                     "Please enter an integer between 1 and 50.", 550, 0},
        ExchangeCase{"BlanksAndTabs", IDC_FRAME_RATE, " \t25\t ", "", 550, 25},
        ExchangeCase{"Signed", IDC_FRAME_RATE, "+30", "", 550, 30},
        ExchangeCase{"WidthStopsTheExchange", IDC_CUSTOM_WIDTH, "2000",
                     "Please enter an integer between 0 and 1600.", 2000, 12},
        ExchangeCase{"NegativeWidth", IDC_CUSTOM_WIDTH, "-1",
                     "Please enter an integer between 0 and 1600.", -1, 12},
        ExchangeCase{"WidthPassesFrameRateRead", IDC_CUSTOM_WIDTH, "640", "", 640, 7},
        ExchangeCase{"OnlyFirst31CharactersRead", IDC_CUSTOM_WIDTH,
                     "64                             x", "", 64, 7},
        ExchangeCase{"HugeNumberSaturates", IDC_CUSTOM_WIDTH, "99999999999",
                     "Please enter an integer between 0 and 1600.", 2147483647, 12}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConverterDlgTest, UnchangedOutOfRangeFrameRateIsReportedOnLeaving) {
    Open(550, 400, 0, 30);
    LeaveEdit(IDC_FRAME_RATE);
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].text, "Please enter an integer between 1 and 50.");
}

TEST_F(ConverterDlgTest, FocusChangesWhileAMessageShowsDoNotValidateAgain) {
    Open(550, 400, 12, 30);
    int boxes = 0;
    prompt::SetResponder([&](const prompt::Request& r) {
        if (r.kind == prompt::Kind::MessageBox) {
            ++boxes;
            // The box takes the focus from the other edits while it shows.
            QFocusEvent out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
            QApplication::sendEvent(Edit(IDC_CUSTOM_HEIGHT), &out);
            QApplication::processEvents();
        }
        return prompt::Answer{};
    });
    Edit(IDC_FRAME_RATE)->setText("abc");
    LeaveEdit(IDC_FRAME_RATE);
    QApplication::processEvents();
    EXPECT_EQ(boxes, 1);
}

TEST_F(ConverterDlgTest, BrowseAddsTrailingSlash) {
    answers.folder = "/tmp/clips";
    Button(IDC_BROWSE_FOLDER)->click();
    EXPECT_EQ(g_strOutputFolder, "/tmp/clips/");
    EXPECT_EQ(Edit(IDC_OUTPUT_FOLDER)->text(), "/tmp/clips/");
    answers.folder = "/";
    Button(IDC_BROWSE_FOLDER)->click();
    EXPECT_EQ(g_strOutputFolder, "/");
}

TEST_F(ConverterDlgTest, CancelledBrowseThenConvertAsksForAFolder) {
    Open(550, 400, 12, 30);
    answers.folder.clear();
    Button(IDC_BROWSE_FOLDER)->click();
    EXPECT_EQ(g_strOutputFolder, "");
    EXPECT_EQ(Edit(IDC_OUTPUT_FOLDER)->text(), "");
    Button(IDC_CONVERT)->click();
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].text, "Please select the directory for converted files");
    EXPECT_EQ(Messages()[0].title,
              QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName().toStdString());
    EXPECT_EQ(Messages()[0].buttons, 0);
    EXPECT_EQ(dlg->m_bConverting, 0);
}

TEST_F(ConverterDlgTest, ConvertWhilePlayingStopsPlaybackFirst) {
    Open(550, 400, 12, 30);
    Button(IDC_START)->click();
    player.calls.clear();
    Button(IDC_CONVERT)->click();
    EXPECT_EQ(player.calls, (std::vector<std::string>{"GotoFrame 1", "StopPlay", "SetLoop 0"}));
    EXPECT_EQ(dlg->m_bConverting, 1);
    EXPECT_EQ(dlg->m_bPlaying, 0);
    EXPECT_TRUE(dlg->IsTimerRunning());
    EXPECT_FALSE(Enabled(IDC_START));  // left as it was until the first step
    EXPECT_TRUE(Enabled(IDC_PAUSE));
}

TEST_F(ConverterDlgTest, RightButtonOverThePlayerOpensTheContextMenu) {
    dlg->show();
    QWidget* view = dlg->GetDlgItem(IDC_FLASH_PLAYER);
    const QPoint local(40, 30);
    QMouseEvent press(QEvent::MouseButtonPress, local, view->mapToGlobal(local), Qt::RightButton,
                      Qt::RightButton, Qt::NoModifier);
    QApplication::sendEvent(view, &press);
    ASSERT_EQ(prompt::Recorded().size(), 1u);
    const prompt::Request& menu = prompt::Recorded()[0];
    EXPECT_EQ(menu.text, "ExportSingle\nExportBmp\nExportTga\n");
    const QPoint global = view->mapToGlobal(local);
    EXPECT_EQ(menu.initial, std::to_string(global.x()) + "," + std::to_string(global.y()));
}

TEST_F(ConverterDlgTest, MenuKeyPlacesTheMenuInsideTheTopLeftCorner) {
    answers.menuCommand = ID_EXPORT_BMP;
    dlg->OnContextMenu(QPoint(-1, -1));
    // The menu, then ExportBmp's answer to a window without a movie.
    ASSERT_EQ(prompt::Recorded().size(), 2u);
    EXPECT_EQ(prompt::Recorded()[1].text, "No swf files!");
    const QPoint corner = dlg->mapToGlobal(QPoint(0, 0)) + QPoint(5, 5);
    EXPECT_EQ(prompt::Recorded()[0].initial,
              std::to_string(corner.x()) + "," + std::to_string(corner.y()));
}

TEST_F(ConverterDlgTest, AboutOpensFromTheButtonAndTheSystemCommand) {
    Button(IDC_ABOUT)->click();
    dlg->OnSysCommand(IDM_ABOUTBOX | 0x3);  // low bits are masked off
    dlg->OnSysCommand(0xF060);
    ASSERT_EQ(prompt::Recorded().size(), 2u);
    for (const auto& r : prompt::Recorded()) {
        EXPECT_EQ(r.kind, prompt::Kind::Modal);
        EXPECT_EQ(r.title, "Filmcast Converter 1.0 ");
    }
    EXPECT_TRUE(dlg->GetDlgItem(IDC_ABOUT)->toolTip().startsWith("About Reelcast..."));
}

TEST_F(ConverterDlgTest, EscapeEndsTheWindowAsCancelled) {
    dlg->show();
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(dlg.get(), &escape);
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->result(), QDialog::Rejected);
}

TEST_F(ConverterDlgTest, ExitEndsTheWindow) {
    dlg->show();
    Button(IDC_EXIT)->click();
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->result(), 0);
}

}  // namespace

namespace {

// The window over the real player control and movie engine.
TEST(ConverterDlgWithEngine, PlaysAndFollowsARealMovie) {
    EnsureQtApplication();
    QTemporaryDir dir;
    const std::string movie = dir.filePath("ten.swf").toStdString();
    WriteMovie(movie, 200, 100, 10, 10);
    CConverterDlg dlg;
    g_strOutputFolder = dir.path().toStdString() + "/";
    dlg.OpenMovie(QString::fromStdString(movie));
    EXPECT_EQ(qobject_cast<QLabel*>(dlg.GetDlgItem(IDC_FRAME_COUNT))->text(), "/10");
    dlg.OnStart();
    ASSERT_TRUE(dlg.m_playerView->IsPlaying());
    for (int i = 0; i < 4; ++i) dlg.m_playerView->Control().OnPlaybackTimer();
    dlg.OnTimer(1);
    EXPECT_EQ(qobject_cast<QLineEdit*>(dlg.GetDlgItem(IDC_FRAME_EDIT))->text(), "4");
    EXPECT_EQ(qobject_cast<QSlider*>(dlg.GetDlgItem(IDC_POSITION_SLIDER))->value(), 40);
    for (int i = 0; i < 5; ++i) dlg.m_playerView->Control().OnPlaybackTimer();
    dlg.OnTimer(1);  // the last frame: back to the first, stopped
    EXPECT_EQ(dlg.m_bPlaying, 0);
    EXPECT_EQ(dlg.m_playerView->CurrentFrame(), 0);
    EXPECT_FALSE(dlg.m_playerView->IsPlaying());
}

}  // namespace
