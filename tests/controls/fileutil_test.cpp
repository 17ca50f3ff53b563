#include "controls/fileutil.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

class FileUtil : public testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "fileutil-XXXXXX").string();
        root_ = mkdtemp(pattern.data());
    }
    void TearDown() override { fs::remove_all(root_); }

    std::string At(const std::string& relative) const { return root_ + "/" + relative; }
    void Touch(const std::string& relative) const { std::ofstream(At(relative)) << "x"; }

    std::string root_;
};

}  // namespace

TEST_F(FileUtil, CreateDirectoryTreeMakesMissingLevelsOnce) {
    fs::create_directory(At("a"));
    EXPECT_TRUE(CreateDirectoryTree(At("a/b/c")));
    EXPECT_TRUE(DirectoryExists(At("a/b")));
    EXPECT_TRUE(DirectoryExists(At("a/b/c")));
    EXPECT_FALSE(CreateDirectoryTree(At("a/b/c")));  // already there
}

TEST_F(FileUtil, CreateDirectoryTreeTakesATrailingSlashAsTheSameFolder) {
    EXPECT_TRUE(CreateDirectoryTree(At("x/y/")));
    EXPECT_TRUE(DirectoryExists(At("x/y")));
    EXPECT_FALSE(CreateDirectoryTree(At("x/y/")));
}

TEST_F(FileUtil, CreateDirectoryTreeRefusesPathsWithoutParent) {
    EXPECT_FALSE(CreateDirectoryTree(""));
    EXPECT_FALSE(CreateDirectoryTree("/"));
    EXPECT_FALSE(CreateDirectoryTree("plain-name-without-slash"));
    EXPECT_FALSE(CreateDirectoryTree("C:\\films\\out"));  // splits at "/" only
    EXPECT_FALSE(fs::exists("C:\\films\\out"));
}

TEST_F(FileUtil, CreateDirectoryTreeFailsBelowAFile) {
    Touch("file");
    EXPECT_FALSE(CreateDirectoryTree(At("file/sub/deeper")));
}

TEST_F(FileUtil, ExistenceTests) {
    Touch("movie.swf");
    Touch("README");
    fs::create_directory(At("folder"));
    EXPECT_TRUE(FileExists(At("movie.swf")));
    EXPECT_TRUE(FileExists(At("folder")));
    EXPECT_FALSE(FileExists(At("absent.swf")));
    EXPECT_FALSE(FileExists(""));
    EXPECT_TRUE(DirectoryExists(At("folder")));
    EXPECT_TRUE(DirectoryExists(At("folder/")));
    EXPECT_FALSE(DirectoryExists(At("movie.swf")));  // a plain file is no folder
    EXPECT_FALSE(DirectoryExists(At("absent")));
    EXPECT_FALSE(DirectoryExists(""));
}

TEST_F(FileUtil, FileExistsMatchesPatterns) {
    fs::create_directory(At("empty"));
    fs::create_directory(At("nodot"));
    std::ofstream(At("nodot/frame")) << "x";
    Touch("a.swf");
    EXPECT_FALSE(FileExists(At("empty/*.*")));
    EXPECT_TRUE(FileExists(At("nodot/*.*")));  // "*.*" matches names without a dot
    EXPECT_TRUE(FileExists(At("*.swf")));
    EXPECT_TRUE(FileExists(At("?.swf")));
    EXPECT_FALSE(FileExists(At("*.gif")));
    EXPECT_FALSE(FileExists(At("absent/*.*")));
}

struct NameCase {
    const char* path;
    const char* name;
};

class FileNameFromPath : public testing::TestWithParam<NameCase> {};

TEST_P(FileNameFromPath, TakesTheTextAfterTheLastSeparator) {
    EXPECT_EQ(GetFileNameFromPath(GetParam().path), GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(Paths, FileNameFromPath,
                         testing::Values(NameCase{"C:\\movies\\a.swf", "a.swf"},
                                         NameCase{"a.swf", "a.swf"},
                                         NameCase{"/films/intro.swf", "intro.swf"},
                                         NameCase{"/films\\mixed/b.swf", "b.swf"},
                                         NameCase{"/films/sub\\c.swf", "c.swf"},
                                         NameCase{"/films/", ""}, NameCase{"", ""}));

struct PadCase {
    int number;
    int width;
    const char* text;
};

class ZeroPadded : public testing::TestWithParam<PadCase> {};

TEST_P(ZeroPadded, PadsToAtLeastTheWidth) {
    EXPECT_EQ(FormatZeroPadded(GetParam().number, GetParam().width), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Numbers, ZeroPadded,
                         testing::Values(PadCase{12, 5, "00012"}, PadCase{123456, 5, "123456"},
                                         PadCase{0, 5, "00000"}, PadCase{65534, 5, "65534"},
                                         PadCase{7, 0, "7"}, PadCase{7, -3, "7"},
                                         PadCase{-12, 5, "-0012"},
                                         PadCase{2147483647, 5, "2147483647"}));

TEST(ModuleDir, IsTheFolderOfThisProgram) {
    const std::string dir = GetModuleDir();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), '/');
    EXPECT_EQ(dir.front(), '/');
    EXPECT_TRUE(fs::exists(dir + "fileutil_tests"));
}
