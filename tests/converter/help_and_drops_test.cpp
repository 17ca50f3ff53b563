// The converter window's desktop habits: where Help finds its help and hands it to the desktop,
// and movie files dropped on the window.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QUrl>
#include <filesystem>
#include <fstream>

#include "controls/fileutil.h"
#include "converter/converterdlg.h"
#include "converter/helpfile.h"
#include "converter/outputfolder.h"
#include "platform/prompt.h"
#include "res/resource.h"
#include "tests/support/fakeplayer.h"
#include "tests/support/moviefile.h"
#include "tests/support/qtapp.h"

namespace fs = std::filesystem;

// Takes what the window hands the desktop to open, instead of the desktop.
class DesktopOpener : public QObject {
    Q_OBJECT
  public:
    QList<QUrl> opened;
  public slots:
    void open(const QUrl& url) { opened << url; }
};

namespace {

void Touch(const QString& path) {
    QDir().mkpath(QFileInfo(path).path());
    std::ofstream(path.toStdString()) << "help";
}

// ---- Where help is found --------------------------------------------------------------------

struct HelpCase {
    const char* name;
    std::vector<const char*> files;  // below the case's folder
    helpfile::HelpKind kind;
    const char* found;  // below the case's folder
};

class FindHelp : public ::testing::TestWithParam<HelpCase> {};

// The current folder is "work"; the program lies in "prefix/bin".
TEST_P(FindHelp, TakesTheHelpFileThenTheManualBesideThenTheInstalledOne) {
    const HelpCase& c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QDir().mkpath(dir.filePath("work"));
    QDir().mkpath(dir.filePath("prefix/bin"));
    for (const char* file : c.files) Touch(dir.filePath(file));
    const helpfile::HelpLocation help =
        helpfile::FindHelp(dir.filePath("work"), dir.filePath("prefix/bin"));
    EXPECT_EQ(help.kind, c.kind);
    EXPECT_EQ(help.path, std::string(c.found).empty() ? QString() : dir.filePath(c.found));
}

INSTANTIATE_TEST_SUITE_P(
    Places, FindHelp,
    ::testing::Values(
        HelpCase{"Nothing", {}, helpfile::HelpKind::None, ""},
        HelpCase{"HelpFileInTheCurrentFolder",
                 {"work/Tarnwick_Filmcast.chm", "prefix/bin/manual/index.html"},
                 helpfile::HelpKind::HelpFile,
                 "work/Tarnwick_Filmcast.chm"},
        HelpCase{"HelpFileBesideTheProgramOnlyDoesNotCount",
                 {"prefix/bin/Tarnwick_Filmcast.chm"},
                 helpfile::HelpKind::None,
                 ""},
        HelpCase{"ManualBesideTheProgram",
                 {"prefix/bin/manual/index.html", "prefix/share/doc/filmcast/manual/index.html"},
                 helpfile::HelpKind::Manual,
                 "prefix/bin/manual/index.html"},
        HelpCase{"InstalledManual",
                 {"prefix/share/doc/filmcast/manual/index.html"},
                 helpfile::HelpKind::Manual,
                 "prefix/share/doc/filmcast/manual/index.html"},
        HelpCase{"AFolderNamedLikeTheHelpFileIsNoHelpFile",
                 {"work/Tarnwick_Filmcast.chm/x", "prefix/share/doc/filmcast/manual/index.html"},
                 helpfile::HelpKind::Manual,
                 "prefix/share/doc/filmcast/manual/index.html"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- The window -----------------------------------------------------------------------------

class WindowDesktopTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { EnsureQtApplication(); }

    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        previousFolder_ = QDir::currentPath();
        QDesktopServices::setUrlHandler("file", &opener_, "open");
        prompt::SetResponder([this](const prompt::Request& r) {
            prompt::Answer a;
            if (r.kind == prompt::Kind::OpenFile) a.path = chosen_;
            return a;
        });
    }
    void TearDown() override {
        QDesktopServices::unsetUrlHandler("file");
        QDir::setCurrent(previousFolder_);
        prompt::SetResponder({});
    }

    std::unique_ptr<CConverterDlg> Window(FakePlayer& player) {
        auto dlg = std::make_unique<CConverterDlg>(nullptr, &player);
        g_strOutputFolder = dir_.path().toStdString() + "/";
        return dlg;
    }
    std::string Movie(const char* name, int frames) {
        const std::string path = dir_.filePath(name).toStdString();
        WriteMovie(path, 320, 240, 12, frames);
        return path;
    }

    // Drags `urls` over the window and drops them; whether the window took the drag and the drop.
    static std::pair<bool, bool> DragAndDrop(CConverterDlg& dlg, const QList<QUrl>& urls) {
        QMimeData data;
        data.setUrls(urls);
        const QPoint at(100, 100);
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        enter.setAccepted(false);
        QApplication::sendEvent(&dlg, &enter);
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        drop.setAccepted(false);
        QApplication::sendEvent(&dlg, &drop);
        return {enter.isAccepted(), drop.isAccepted()};
    }
    static QUrl FileUrl(const std::string& path) {
        return QUrl::fromLocalFile(QString::fromStdString(path));
    }

    QTemporaryDir dir_;
    QString previousFolder_;
    DesktopOpener opener_;
    std::string chosen_;
};

TEST_F(WindowDesktopTest, HelpOpensTheHelpFileOfTheCurrentFolder) {
    Touch(dir_.filePath("Tarnwick_Filmcast.chm"));
    ASSERT_TRUE(QDir::setCurrent(dir_.path()));
    FakePlayer player;
    auto dlg = Window(player);
    qobject_cast<QAbstractButton*>(dlg->GetDlgItem(IDC_HELP_FILE))->click();
    ASSERT_EQ(opener_.opened.size(), 1);
    EXPECT_EQ(opener_.opened[0], QUrl::fromLocalFile(dir_.filePath("Tarnwick_Filmcast.chm")));
}

TEST_F(WindowDesktopTest, HelpWithoutAHelpFileOpensTheManualBesideTheProgram) {
    ASSERT_TRUE(QDir::setCurrent(dir_.path()));
    FakePlayer player;
    auto dlg = Window(player);
    qobject_cast<QAbstractButton*>(dlg->GetDlgItem(IDC_HELP_FILE))->click();
    ASSERT_EQ(opener_.opened.size(), 1);
    const QString manual = opener_.opened[0].toLocalFile();
    EXPECT_TRUE(manual.endsWith("/manual/index.html")) << manual.toStdString();
    EXPECT_TRUE(QFileInfo(manual).isFile()) << manual.toStdString();
    EXPECT_TRUE(prompt::Recorded().empty()) << "no message of the program's own";
}

TEST_F(WindowDesktopTest, DroppedMovieOpensExactlyAsOpenDoes) {
    chosen_ = Movie("intro.swf", 30);
    FakePlayer opened;
    opened.totalFrames = 30;
    auto byOpen = Window(opened);
    qobject_cast<QAbstractButton*>(byOpen->GetDlgItem(IDC_OPEN))->click();

    FakePlayer dropped;
    dropped.totalFrames = 30;
    auto byDrop = Window(dropped);
    EXPECT_EQ(DragAndDrop(*byDrop, {FileUrl(chosen_)}), std::make_pair(true, true));

    EXPECT_EQ(byDrop->m_strMovie, byOpen->m_strMovie);
    EXPECT_EQ(dropped.calls, opened.calls);
    ASSERT_EQ(byDrop->m_listProperties->topLevelItemCount(), 6);
    for (int row = 0; row < 6; ++row)
        EXPECT_EQ(byDrop->m_listProperties->topLevelItem(row)->text(1),
                  byOpen->m_listProperties->topLevelItem(row)->text(1));
    for (int id : {IDC_START, IDC_PAUSE, IDC_CONVERT, IDC_FRAME_RATE, IDC_SIZE_HALF})
        EXPECT_EQ(byDrop->GetDlgItem(id)->isEnabled(), byOpen->GetDlgItem(id)->isEnabled()) << id;
    EXPECT_TRUE(byDrop->IsTimerRunning());
}

TEST_F(WindowDesktopTest, DropOfTheFirstOfSeveralFilesOpensThatOne) {
    const std::string first = Movie("first.swf", 3);
    const std::string second = Movie("second.swf", 4);
    FakePlayer player;
    auto dlg = Window(player);
    DragAndDrop(*dlg, {FileUrl(first), FileUrl(second)});
    EXPECT_EQ(dlg->m_strMovie.toStdString(), first);
}

struct RefusedDrop {
    const char* name;
    bool folder;   // a folder instead of a movie file
    bool remote;   // a web address
    bool missing;  // a file that is not there
};

class DropRefused : public WindowDesktopTest, public ::testing::WithParamInterface<RefusedDrop> {};

TEST_P(DropRefused, LeavesTheWindowAsItWas) {
    const RefusedDrop& c = GetParam();
    QUrl url = FileUrl(Movie("intro.swf", 3));
    if (c.folder) url = QUrl::fromLocalFile(dir_.path());
    if (c.remote) url = QUrl("https://www.example.com/intro.swf");
    if (c.missing) url = FileUrl(dir_.filePath("gone.swf").toStdString());
    FakePlayer player;
    auto dlg = Window(player);
    player.calls.clear();
    EXPECT_EQ(DragAndDrop(*dlg, {url}), std::make_pair(false, false));
    EXPECT_TRUE(dlg->m_strMovie.isEmpty());
    EXPECT_TRUE(player.calls.empty());
}

INSTANTIATE_TEST_SUITE_P(Drops, DropRefused,
                         ::testing::Values(RefusedDrop{"Folder", true, false, false},
                                           RefusedDrop{"WebAddress", false, true, false},
                                           RefusedDrop{"MissingFile", false, false, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(WindowDesktopTest, DropsAreIgnoredWhileARunGoesOn) {
    chosen_ = Movie("intro.swf", 10);
    const std::string other = Movie("other.swf", 3);
    FakePlayer player;
    player.totalFrames = 10;
    auto dlg = Window(player);
    qobject_cast<QAbstractButton*>(dlg->GetDlgItem(IDC_OPEN))->click();
    qobject_cast<QAbstractButton*>(dlg->GetDlgItem(IDC_CONVERT))->click();
    dlg->OnTimer(1);
    ASSERT_TRUE(dlg->m_bConverting);
    player.calls.clear();
    EXPECT_EQ(DragAndDrop(*dlg, {FileUrl(other)}), std::make_pair(false, false));
    EXPECT_EQ(dlg->m_strMovie.toStdString(), chosen_);
    for (const std::string& call : player.calls) EXPECT_FALSE(call.starts_with("SetMovie")) << call;
    EXPECT_TRUE(dlg->m_bConverting) << "the run goes on";
    for (int ticks = 0; dlg->m_bConverting && ticks < 50; ++ticks) dlg->OnTimer(1);
    EXPECT_EQ(DragAndDrop(*dlg, {FileUrl(other)}), std::make_pair(true, true))
        << "taken again once the run is over";
    EXPECT_EQ(dlg->m_strMovie.toStdString(), other);
}

TEST_F(WindowDesktopTest, EditsTakeNoDropsOfTheirOwn) {
    FakePlayer player;
    auto dlg = Window(player);
    for (int id :
         {IDC_CUSTOM_WIDTH, IDC_CUSTOM_HEIGHT, IDC_FRAME_RATE, IDC_FRAME_EDIT, IDC_OUTPUT_FOLDER})
        EXPECT_FALSE(dlg->GetDlgItem(id)->acceptDrops()) << id;
    EXPECT_TRUE(dlg->acceptDrops());
}

}  // namespace

#include "help_and_drops_test.moc"
