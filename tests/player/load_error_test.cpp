// A movie that cannot be loaded says why, as a value: the file's own trouble with the system's
// errno, or what makes the bytes no movie. Inputs are written by hand, byte by byte.
#include "player/load_error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <set>
#include <vector>

#include "player/player.h"

namespace {

using player::LoadError;
using player::LoadFailure;
using Bytes = std::vector<std::uint8_t>;

struct BytesCase {
    const char* name;
    Bytes file;
    LoadError error;
};

void PrintTo(const BytesCase& c, std::ostream* out) {
    *out << c.name;
}

class LoadBytes : public ::testing::TestWithParam<BytesCase> {};

TEST_P(LoadBytes, FailsWithItsReasonAndNoSystemError) {
    LoadFailure failure;
    EXPECT_FALSE(player::Player::Load(GetParam().file, &failure));
    EXPECT_EQ(failure.error, GetParam().error);
    EXPECT_EQ(failure.systemError, 0);
    std::string text;
    EXPECT_FALSE(player::Player::Load(GetParam().file, &text));
    EXPECT_EQ(text, player::LoadErrorName(GetParam().error));
}

INSTANTIATE_TEST_SUITE_P(
    Files, LoadBytes,
    ::testing::Values(
        BytesCase{"Empty", {}, LoadError::kTooShort},
        BytesCase{"SignatureOnly", {'F', 'W', 'S'}, LoadError::kTooShort},
        BytesCase{"Gif", {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0}, LoadError::kBadSignature},
        // "CWS", version 8, length 100, then bytes that are no zlib stream.
        BytesCase{
            "BrokenZlib", {'C', 'W', 'S', 8, 100, 0, 0, 0, 1, 2, 3, 4}, LoadError::kCorruptStream},
        // "FWS", version 8, length 9: one body byte, where the stage rectangle should start
        // with 5 bits of field size and four fields of 15 bits.
        BytesCase{
            "HeaderCutShort", {'F', 'W', 'S', 8, 9, 0, 0, 0, 0x78}, LoadError::kHeaderCutShort}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LoadFile, MissingFileIsCannotOpenWithTheSystemsReason) {
    LoadFailure failure;
    EXPECT_FALSE(player::Player::LoadFile("/nonexistent/folder/movie.swf", &failure));
    EXPECT_EQ(failure.error, LoadError::kCannotOpen);
    EXPECT_EQ(failure.systemError, ENOENT);
    std::string text;
    EXPECT_FALSE(player::Player::LoadFile("/nonexistent/folder/movie.swf", &text));
    EXPECT_EQ(text, "cannot open file: No such file or directory");
}

TEST(LoadFile, AFolderIsNoMovieFile) {
    LoadFailure failure;
    EXPECT_FALSE(
        player::Player::LoadFile(std::filesystem::temp_directory_path().string(), &failure));
    EXPECT_NE(failure.error, LoadError::kNone);
    EXPECT_FALSE(failure.Describe().empty());
}

TEST(LoadFile, AFileThatIsNoMovieSaysSoWithoutASystemError) {
    const auto path = std::filesystem::temp_directory_path() / "fc_load_error_not_a_movie.swf";
    { std::ofstream(path, std::ios::binary) << "GIF89a and more"; }
    LoadFailure failure;
    EXPECT_FALSE(player::Player::LoadFile(path.string(), &failure));
    std::filesystem::remove(path);
    EXPECT_EQ(failure.error, LoadError::kBadSignature);
    EXPECT_EQ(failure.Describe(), "not a Flash movie (bad signature)");
}

TEST(LoadErrorName, EveryErrorHasItsOwnName) {
    std::set<std::string> names;
    for (int e = 0; e <= int(LoadError::kHeaderCutShort); ++e)
        names.insert(player::LoadErrorName(LoadError(e)));
    EXPECT_EQ(names.size(), std::size_t(int(LoadError::kHeaderCutShort) + 1));
}

struct EndedEarlyCase {
    int declared;
    int read;
    const char* text;
};

class DescribeEndedEarly : public ::testing::TestWithParam<EndedEarlyCase> {};

TEST_P(DescribeEndedEarly, SaysWhatTheCutMovieLacks) {
    EXPECT_EQ(player::DescribeEndedEarly(GetParam().declared, GetParam().read), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Counts, DescribeEndedEarly,
    ::testing::Values(
        EndedEarlyCase{120, 0, "the movie ends before its first frame (its header promises 120)"},
        EndedEarlyCase{120, 3,
                       "the movie ends early: its header promises 120 frames, 3 could be read"},
        EndedEarlyCase{2, 1, "the movie ends early: its header promises 2 frames, 1 could be read"},
        // Every promised frame is there (only the End tag is missing), or more than promised.
        EndedEarlyCase{5, 5, ""}, EndedEarlyCase{5, 9, ""}));

}  // namespace
