// The reason a save fails travels with it: every writer of the toolkit leaves the error and the
// system's errno behind for the caller, whatever the format.
#include "imaging/imageerror.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "imaging/codecfactory.h"
#include "tests/imaging/imaging_test_support.h"

namespace {

using imaging::ImageError;
using imaging::LastImageFailure;

class SaveFailures : public ScratchFolder, public ::testing::WithParamInterface<const char*> {
  protected:
    std::string Name(const std::string& stem) const { return PathOf(stem + GetParam()); }
};

TEST_P(SaveFailures, MissingFolderIsACreateErrorWithTheSystemsReason) {
    CPixelImage image = PatternImage(16, 8, 24);
    EXPECT_FALSE(image.SaveToFile((PathOf("no/such/folder/") + "x" + GetParam()).c_str(), -1));
    EXPECT_TRUE(LastImageFailure().error == ImageError::kCannotCreate ||
                LastImageFailure().error == ImageError::kCannotWrite);
    EXPECT_EQ(LastImageFailure().systemError, ENOENT);
    EXPECT_NE(LastImageFailure().Describe("x.out").find("No such file or directory"),
              std::string::npos);
}

TEST_P(SaveFailures, AFileInPlaceOfTheFolderSaysNotADirectory) {
    { std::ofstream(PathOf("plain")) << "a file"; }
    CPixelImage image = PatternImage(16, 8, 24);
    EXPECT_FALSE(image.SaveToFile((PathOf("plain/") + "x" + GetParam()).c_str(), -1));
    EXPECT_EQ(LastImageFailure().systemError, ENOTDIR);
}

TEST_P(SaveFailures, EmptyImageIsNoImage) {
    CPixelImage empty;
    EXPECT_FALSE(empty.SaveToFile(Name("e").c_str(), -1));
    EXPECT_EQ(LastImageFailure().error, ImageError::kNoImage);
    EXPECT_FALSE(std::filesystem::exists(Name("e")));
}

TEST_P(SaveFailures, ASuccessClearsTheEarlierFailure) {
    CPixelImage empty;
    EXPECT_FALSE(empty.SaveToFile(Name("e").c_str(), -1));
    CPixelImage image = PatternImage(16, 8, 24);
    EXPECT_TRUE(image.SaveToFile(Name("ok").c_str(), -1));
    EXPECT_EQ(LastImageFailure().error, ImageError::kNone);
    EXPECT_EQ(LastImageFailure().Describe("ok"), "");
}

// A disk that fills up mid-file (a file-size limit in a child): the save fails as a write
// error with EFBIG, whichever writer wrote it, and no partial file is left.
TEST_P(SaveFailures, FullDiskIsAWriteErrorWithTheSystemsReason) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string path = Name("big");
    auto saveWithTinyFileLimit = [&] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{2000, 2000};
        setrlimit(RLIMIT_FSIZE, &limit);
        CPixelImage image = PatternImage(200, 200, 24);
        const bool saved = image.SaveToFile(path.c_str(), -1);
        const imaging::ImageFailure failure = LastImageFailure();
        const bool reasoned = failure.error == ImageError::kCannotWrite &&
                              failure.systemError == EFBIG &&
                              failure.Describe("big").find("File too large") != std::string::npos;
        std::exit(!saved && reasoned && !std::filesystem::exists(path) ? 0 : 1);
    };
    EXPECT_EXIT(saveWithTinyFileLimit(), ::testing::ExitedWithCode(0), "");
}

INSTANTIATE_TEST_SUITE_P(Formats, SaveFailures,
                         ::testing::Values(".bmp", ".tga", ".png", ".gif", ".tif"),
                         [](const auto& info) { return std::string(info.param + 1); });

TEST(SaveFailure, UnknownExtensionIsNoCodecAndNamesTheFile) {
    CPixelImage image = PatternImage(4, 4, 24);
    EXPECT_FALSE(image.SaveToFile("/nowhere/picture.xyz", -1));
    EXPECT_EQ(LastImageFailure().error, ImageError::kNoCodec);
    EXPECT_EQ(LastImageFailure().Describe("picture.xyz"),
              "cannot write picture.xyz: no image format for the file's extension");
}

TEST(SaveFailure, TheReasonIsKeptPerThread) {
    CPixelImage image = PatternImage(4, 4, 24);
    EXPECT_FALSE(image.SaveToFile("/nowhere/picture.xyz", -1));
    std::thread([] { EXPECT_EQ(LastImageFailure().error, ImageError::kNone); }).join();
    EXPECT_EQ(LastImageFailure().error, ImageError::kNoCodec);
}

}  // namespace
