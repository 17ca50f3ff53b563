#include "app/converterapp.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTreeWidget>

#include "converter/converterdlg.h"
#include "platform/messagebox.h"
#include "platform/prompt.h"
#include "tests/support/moviefile.h"
#include "tests/support/qtapp.h"

namespace {

CConverterDlg* RunningWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* dlg = qobject_cast<CConverterDlg*>(w)) return dlg;
    return nullptr;
}

// What the test saw while the window ran modally.
struct Seen {
    bool windowRan = false;
    int gdiplusHolders = 0;
    std::string movie;
    int rows = 0;
    std::string messageCaption;
};

class ConverterAppTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { EnsureQtApplication(); }
    void SetUp() override {
        prompt::SetResponder([this](const prompt::Request& r) {
            if (r.kind == prompt::Kind::Modal && r.title == "FILMCAST CONVERTER 1.0") {
                seen.windowRan = true;
                seen.gdiplusHolders = gdiplus::GdiplusStartupCount();
                if (CConverterDlg* dlg = RunningWindow()) {
                    seen.movie = dlg->m_strMovie.toStdString();
                    seen.rows = dlg->m_listProperties->topLevelItemCount();
                }
                AfxMessageBox("probe");
            } else if (r.kind == prompt::Kind::MessageBox) {
                seen.messageCaption = r.title;
            }
            return prompt::Answer{};
        });
    }
    void TearDown() override { prompt::SetResponder({}); }

    Seen seen;
};

TEST_F(ConverterAppTest, RunsTheWindowModallyInsideTheGraphicsLibrarysLifetime) {
    const int before = gdiplus::GdiplusStartupCount();
    {
        CConverterApp app;
        EXPECT_EQ(app.InitInstance({}), FALSE);
    }
    EXPECT_TRUE(seen.windowRan);
    EXPECT_EQ(seen.gdiplusHolders, before + 1);
    EXPECT_EQ(gdiplus::GdiplusStartupCount(), before);
    EXPECT_EQ(RunningWindow(), nullptr);  // gone when the modal run returned
}

TEST_F(ConverterAppTest, MessageBoxesCarryTheDisplayName) {
    CConverterApp app;
    app.InitInstance({});
    EXPECT_EQ(seen.messageCaption, "Filmcast Converter 1.0");
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), "Filmcast Converter 1.0");
}

TEST_F(ConverterAppTest, OpensTheMovieGivenOnTheCommandLine) {
    QTemporaryDir dir;
    const QString movie = dir.filePath("start.swf");
    WriteMovie(movie.toStdString(), 320, 240, 24, 5);
    CConverterApp app;
    app.InitInstance(movie);
    EXPECT_EQ(seen.movie, movie.toStdString());
    EXPECT_EQ(seen.rows, 6);
}

TEST_F(ConverterAppTest, MissingMovieArgumentStartsAsUsual) {
    CConverterApp app;
    app.InitInstance("/nonexistent/movie.swf");
    EXPECT_TRUE(seen.windowRan);
    EXPECT_EQ(seen.movie, "");
    EXPECT_EQ(seen.rows, 0);
}

TEST_F(ConverterAppTest, StyleSheetIsOptional) {
    QTemporaryDir dir;
    EXPECT_FALSE(CConverterApp::LoadSkin(dir.filePath("soft.qss")));
    QFile sheet(dir.filePath("soft.qss"));
    ASSERT_TRUE(sheet.open(QIODevice::WriteOnly));
    sheet.write("QPushButton { color: #123456; }");
    sheet.close();
    EXPECT_TRUE(CConverterApp::LoadSkin(sheet.fileName()));
    EXPECT_EQ(qApp->styleSheet(), "QPushButton { color: #123456; }");
    qApp->setStyleSheet({});
}

}  // namespace
