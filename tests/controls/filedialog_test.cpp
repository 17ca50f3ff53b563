#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <filesystem>
#include <string>

#include "controls/filedialogs.h"
#include "platform/prompt.h"

namespace {

// Answers every prompt with a fixed answer and restores real dialogs afterwards.
class Answering : public testing::Test {
  protected:
    void Answer(bool accepted, std::string path = {}, int filter = 1) {
        prompt::SetResponder([=](const prompt::Request&) {
            prompt::Answer answer;
            answer.accepted = accepted;
            answer.path = path;
            answer.selectedFilter = filter;
            return answer;
        });
    }
    void TearDown() override { prompt::SetResponder({}); }
};

struct SaveCase {
    const char* typed;
    int filter;
    const char* saved;
};

class SaveImage : public Answering, public testing::WithParamInterface<SaveCase> {};

}  // namespace

TEST_P(SaveImage, AddsTheFilterExtensionOnlyToNamesWithoutOne) {
    Answer(true, GetParam().typed, GetParam().filter);
    std::string path = "unchanged";
    EXPECT_TRUE(PromptSaveImage(path));
    EXPECT_EQ(path, GetParam().saved);
}

INSTANTIATE_TEST_SUITE_P(
    Names, SaveImage,
    testing::Values(SaveCase{"frame", 3, "frame.jpg"}, SaveCase{"frame.png", 1, "frame.png"},
                    SaveCase{"/tmp/shot", 1, "/tmp/shot.bmp"},
                    SaveCase{"/tmp/shot", 2, "/tmp/shot.gif"},
                    SaveCase{"/tmp/shot", 4, "/tmp/shot.png"},
                    SaveCase{"/tmp/shot", 5, "/tmp/shot.tif"},
                    // A dot in a folder name is not the file's extension.
                    SaveCase{"/home/u/.local/frames/shot", 4, "/home/u/.local/frames/shot.png"},
                    SaveCase{"/home/u/v1.2/shot.tga", 2, "/home/u/v1.2/shot.tga"},
                    // A filter number out of range adds nothing rather than a wrong extension.
                    SaveCase{"/tmp/shot", 9, "/tmp/shot"}));

TEST_F(Answering, SaveImageAsksWithTheFiveFiltersInOrder) {
    Answer(true, "/tmp/a.png");
    std::string path;
    PromptSaveImage(path);
    ASSERT_EQ(prompt::Recorded().size(), 1u);
    EXPECT_EQ(prompt::Recorded()[0].kind, prompt::Kind::SaveFile);
    EXPECT_EQ(prompt::Recorded()[0].text,
              "BMP File (*.bmp)|*.bmp|GIF File (*.gif)|*.gif|"
              "JPEG File (*.jpg;*.jpeg)|*.jpg;*.jpeg|PNG Files (*.png)|*.png|"
              "TIFF Files (*.tif;*.tiff)|*.tif;*.tiff|");
}

TEST_F(Answering, CancelledFileDialogsLeaveThePathAlone) {
    Answer(false, "/tmp/ignored.swf");
    std::string path = "/films/previous.swf";
    EXPECT_FALSE(PromptOpenMovie(path));
    EXPECT_FALSE(PromptSaveImage(path));
    EXPECT_EQ(path, "/films/previous.swf");
}

TEST_F(Answering, OpenMovieAsksForFlashFiles) {
    Answer(true, "/films/intro.swf");
    std::string path;
    EXPECT_TRUE(PromptOpenMovie(path));
    EXPECT_EQ(path, "/films/intro.swf");
    ASSERT_EQ(prompt::Recorded().size(), 1u);
    EXPECT_EQ(prompt::Recorded()[0].kind, prompt::Kind::OpenFile);
    EXPECT_EQ(prompt::Recorded()[0].text, "Flash Files (*.swf)|*.swf|");
}

TEST_F(Answering, FolderDialogDefaultsToTitleOpen) {
    Answer(true, "/gifs");
    CFolderDialog picker;
    EXPECT_TRUE(picker.Browse());
    EXPECT_EQ(picker.m_strPath, "/gifs");
    ASSERT_EQ(prompt::Recorded().size(), 1u);
    EXPECT_EQ(prompt::Recorded()[0].kind, prompt::Kind::Folder);
    EXPECT_EQ(prompt::Recorded()[0].title, "Open");
    EXPECT_EQ(prompt::Recorded()[0].initial, "");
}

TEST_F(Answering, FolderDialogPassesItsOptions) {
    Answer(true, "/tmp");
    CFolderDialog picker;
    picker.m_strTitle = "Output folder";
    picker.m_strRoot = "/";
    picker.m_strInitialSelection = "/tmp";
    EXPECT_TRUE(picker.Browse());
    ASSERT_EQ(prompt::Recorded().size(), 1u);
    EXPECT_EQ(prompt::Recorded()[0].title, "Output folder");
    EXPECT_EQ(prompt::Recorded()[0].root, "/");
    EXPECT_EQ(prompt::Recorded()[0].initial, "/tmp");
}

TEST_F(Answering, CancelledFolderDialogKeepsThePreviousPath) {
    Answer(false);
    CFolderDialog picker;
    EXPECT_FALSE(picker.Browse());
    EXPECT_EQ(picker.m_strPath, "");
    picker.m_strPath = "/gifs";
    EXPECT_FALSE(picker.Browse());
    EXPECT_EQ(picker.m_strPath, "/gifs");
}

TEST_F(Answering, FolderDialogWithAMissingRootFailsWithoutAsking) {
    Answer(true, "/tmp");
    CFolderDialog picker;
    picker.m_strRoot = "/no/such/root/folder";
    EXPECT_FALSE(picker.Browse());
    EXPECT_TRUE(prompt::Recorded().empty());
    EXPECT_EQ(picker.m_strPath, "");
}

TEST(NameFilters, BecomeQtFilters) {
    EXPECT_EQ(ToNameFilters(kMovieFilter), std::vector<std::string>{"Flash Files (*.swf)"});
    EXPECT_EQ(ToNameFilters(kImageFilter),
              (std::vector<std::string>{"BMP File (*.bmp)", "GIF File (*.gif)",
                                        "JPEG File (*.jpg *.jpeg)", "PNG Files (*.png)",
                                        "TIFF Files (*.tif *.tiff)"}));
    EXPECT_EQ(ToNameFilters("Any|*|"), std::vector<std::string>{"Any (*)"});
    EXPECT_TRUE(ToNameFilters("").empty());
}

// Without a responder the real Qt dialogs open; closing them is a cancel.
TEST(RealDialogs, CancelReturnsFalse) {
    int argc = 1;
    char name[] = "filedialog_tests";
    char* argv[] = {name};
    QApplication app(argc, argv);
    prompt::SetResponder({});
    QTimer closer;  // closes whichever modal dialog is up
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    });
    closer.start(20);
    std::string path = "/films/previous.swf";
    EXPECT_FALSE(PromptOpenMovie(path));
    EXPECT_EQ(path, "/films/previous.swf");

    CFolderDialog picker;
    picker.m_strPath = "/gifs";
    picker.m_strRoot = std::filesystem::temp_directory_path().string();
    EXPECT_FALSE(picker.Browse());
    EXPECT_EQ(picker.m_strPath, "/gifs");
}
