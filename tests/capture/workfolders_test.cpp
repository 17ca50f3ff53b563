#include "capture/workfolders.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;
using namespace capture;

struct FrameNameCase {
    const char* output;
    const char* movie;
    int frame;
    const char* conversionFrame;
    const char* animation;
    const char* tgaFrame;
};

class WorkNames : public testing::TestWithParam<FrameNameCase> {};

TEST_P(WorkNames, FollowTheFolderAndNameLayout) {
    const FrameNameCase& c = GetParam();
    EXPECT_EQ(ConversionFramePath(c.output, c.movie, c.frame), c.conversionFrame);
    EXPECT_EQ(OutputAnimationPath(c.output, c.movie), c.animation);
    EXPECT_EQ(SequenceFramePath(c.output, c.movie, c.frame, ".tga"), c.tgaFrame);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, WorkNames,
    testing::Values(
        FrameNameCase{"/gifs/", "/films/intro.swf", 42,
                      "/gifs/Tarnwick_filmcast/Temp/intro.swf00042.gif", "/gifs/intro.swf.gif",
                      "/gifs/Tarnwick_reelcast/intro.swf00042.tga"},
        FrameNameCase{"/gifs/", "/films/intro.swf", 7,
                      "/gifs/Tarnwick_filmcast/Temp/intro.swf00007.gif", "/gifs/intro.swf.gif",
                      "/gifs/Tarnwick_reelcast/intro.swf00007.tga"},
        // A movie path from a dialog written with "\" separators.
        FrameNameCase{"/gifs/", "C:\\films\\intro.swf", 65534,
                      "/gifs/Tarnwick_filmcast/Temp/intro.swf65534.gif", "/gifs/intro.swf.gif",
                      "/gifs/Tarnwick_reelcast/intro.swf65534.tga"},
        // The root as output folder, and the empty one (names relative to the current folder).
        FrameNameCase{"/", "/films/intro.swf", 3, "/Tarnwick_filmcast/Temp/intro.swf00003.gif",
                      "/intro.swf.gif", "/Tarnwick_reelcast/intro.swf00003.tga"},
        FrameNameCase{"", "/films/intro.swf", 100000, "Tarnwick_filmcast/Temp/intro.swf100000.gif",
                      "intro.swf.gif", "Tarnwick_reelcast/intro.swf100000.tga"}));

TEST(WorkFolders, AreBelowTheOutputFolder) {
    EXPECT_EQ(ConversionWorkFolder("/gifs/"), "/gifs/Tarnwick_filmcast/Temp/");
    EXPECT_EQ(SequenceFolder("/gifs/"), "/gifs/Tarnwick_reelcast/");
    EXPECT_EQ(SequenceTempFolder("/gifs/"), "/gifs/Tarnwick_reelcast/Temp/");
    EXPECT_EQ(FrameFileName("/films/intro.swf", 42, ".bmp"), "intro.swf00042.bmp");
}

namespace {

class PrepareWork : public testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "workfolders-XXXXXX").string();
        output_ = std::string(mkdtemp(pattern.data())) + "/";
    }
    void TearDown() override { fs::remove_all(output_); }

    std::string Work() const { return ConversionWorkFolder(output_); }
    static void Touch(const std::string& path) { std::ofstream(path) << "x"; }

    std::string output_;
};

}  // namespace

TEST_F(PrepareWork, CreatesTheMissingFolder) {
    EXPECT_TRUE(PrepareWorkFolder(output_));
    EXPECT_TRUE(fs::is_directory(Work()));
    EXPECT_TRUE(fs::is_empty(Work()));
}

TEST_F(PrepareWork, DeletesEveryFileAndLeavesFoldersAndOutputs) {
    ASSERT_TRUE(PrepareWorkFolder(output_));
    for (const char* name : {"intro.swf00000.gif", "frame", ".hidden", "a.b.c"}) {
        Touch(Work() + name);
    }
    fs::create_directory(Work() + "sub");
    Touch(Work() + "sub/kept.gif");
    Touch(output_ + "intro.swf.gif");
    fs::create_directories(SequenceFolder(output_));
    Touch(SequenceFolder(output_) + "intro.swf00000.tga");
    Touch(output_ + "target.gif");
    fs::create_symlink(output_ + "target.gif", Work() + "link.gif");

    EXPECT_TRUE(PrepareWorkFolder(output_));

    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(Work())) {
        left.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(left, std::vector<std::string>{"sub"});
    EXPECT_TRUE(fs::exists(Work() + "sub/kept.gif"));
    EXPECT_TRUE(fs::exists(output_ + "intro.swf.gif"));
    EXPECT_TRUE(fs::exists(SequenceFolder(output_) + "intro.swf00000.tga"));
    EXPECT_TRUE(fs::exists(output_ + "target.gif"));  // a link goes, not what it points to
}

TEST_F(PrepareWork, FailsWhenTheFolderCannotBeMade) {
    Touch(output_ + "Tarnwick_filmcast");  // a file where the folder belongs
    EXPECT_FALSE(PrepareWorkFolder(output_));
}

TEST_F(PrepareWork, EmptyOutputFolderWorksRelativeToTheCurrentFolder) {
    const fs::path previous = fs::current_path();
    fs::current_path(output_);
    EXPECT_TRUE(PrepareWorkFolder(""));
    Touch("Tarnwick_filmcast/Temp/x.gif");
    EXPECT_TRUE(PrepareWorkFolder(""));
    fs::current_path(previous);
    EXPECT_TRUE(fs::is_directory(Work()));
    EXPECT_TRUE(fs::is_empty(Work()));
}

TEST_F(PrepareWork, EnsureFolderMakesSequenceTemp) {
    EXPECT_TRUE(EnsureFolder(SequenceTempFolder(output_)));
    EXPECT_TRUE(fs::is_directory(SequenceFolder(output_)));
    EXPECT_TRUE(EnsureFolder(SequenceTempFolder(output_)));  // already there is fine
    EXPECT_TRUE(EnsureFolder(""));                           // the current folder
    Touch(output_ + "file");
    EXPECT_FALSE(EnsureFolder(output_ + "file/below/"));
}
