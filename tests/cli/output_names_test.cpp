// The naming rules of the command line, the movie lists and shares a run takes, and the
// progress line's text.
#include "cli/output_names.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <sstream>

#include "cli/progress.h"

namespace {

namespace fs = std::filesystem;

TEST(OutputNames, OutputNamesAFileOnlyWhenItEndsInTheFormatsExtension) {
    struct Case {
        const char* output;
        bool file;
    };
    const Case cases[] = {
        {"my.gif", true},       {"out/my.GIF", true},  {"my.gif/", false}, {"out/", false},
        {"out", false},         {".gif", false},       {"out/.gif", false}, {"my.png", false},
        {"gif", false},         {"", false},           {"a.b.gif", true},
    };
    for (const Case& c : cases) EXPECT_EQ(cli::NamesOutputFile(c.output, "gif"), c.file) << c.output;
    EXPECT_FALSE(cli::NamesOutputFile("my.gif", "unknown-format"));
}

TEST(OutputNames, ExistingFolderEndingInTheExtensionStaysAFolder) {
    const fs::path folder = fs::temp_directory_path() / ("fc_names_" + std::to_string(getpid()) + ".gif");
    fs::create_directories(folder);
    EXPECT_FALSE(cli::NamesOutputFile(folder.string(), "gif"));
    fs::remove(folder);
    EXPECT_TRUE(cli::NamesOutputFile(folder.string(), "gif"));
}

TEST(OutputNames, DefaultNamesDropTheMoviesExtension) {
    struct Case {
        const char* movie;
        const char* stem;
    };
    const Case cases[] = {{"demo.swf", "demo"},       {"films/demo.swf", "demo"},
                          {"/a/b/demo.v2.swf", "demo.v2"}, {"noextension", "noextension"},
                          {".hidden", ".hidden"},     {"dir/", "movie"}};
    for (const Case& c : cases) EXPECT_EQ(cli::MovieStem(c.movie), c.stem) << c.movie;
    EXPECT_EQ(cli::SequenceFrameName("demo", 0, ".png"), "demo-00000.png");
    EXPECT_EQ(cli::SequenceFrameName("demo", 123456, ".bmp"), "demo-123456.bmp");
}

TEST(OutputNames, MirroredFolderKeepsTheInputsTreeAndRefusesClimbingOut) {
    struct Case {
        const char* movie;
        std::optional<std::string> folder;
    };
    const Case cases[] = {
        {"intro.swf", ""},
        {"a/b/intro.swf", "a/b/"},
        {"./a/./intro.swf", "a/"},
        {"/archive/2004/intro.swf", "archive/2004/"},
        {"a/../b/intro.swf", "b/"},
        {"../intro.swf", std::nullopt},
        {"a/../../intro.swf", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(cli::MirroredFolder(c.movie), c.folder) << c.movie;
}

TEST(MovieList, ReadsOneMovieALineSkippingBlankLines) {
    std::istringstream in("a.swf\r\n\nsub dir/b.swf\n  \nc.swf");
    std::vector<std::string> movies{"given.swf"};
    std::string error;
    ASSERT_TRUE(cli::ReadMovieList(in, 10, &movies, &error)) << error;
    EXPECT_EQ(movies, (std::vector<std::string>{"given.swf", "a.swf", "sub dir/b.swf", "c.swf"}));
}

TEST(MovieList, RefusesMoreMoviesThanTheCapAndOverlongLines) {
    std::istringstream many("a\nb\nc\n");
    std::vector<std::string> movies;
    std::string error;
    EXPECT_FALSE(cli::ReadMovieList(many, 2, &movies, &error));
    EXPECT_EQ(error, "more than 2 movies");
    std::istringstream longLine("a\n" + std::string(100000, 'x') + "\n");
    movies.clear();
    EXPECT_FALSE(cli::ReadMovieList(longLine, 10, &movies, &error));
    EXPECT_EQ(error, "line 2 is longer than a path may be");
}

TEST(Shard, ParsesKOfNAndRefusesTheRest) {
    struct Case {
        const char* text;
        bool valid;
        std::size_t k, n;
    };
    const Case cases[] = {{"1/1", true, 1, 1},   {"2/3", true, 2, 3},  {"3/3", true, 3, 3},
                          {"0/3", false, 0, 0},  {"4/3", false, 0, 0}, {"1/0", false, 0, 0},
                          {"1", false, 0, 0},    {"a/b", false, 0, 0}, {"-1/3", false, 0, 0},
                          {"1/3/5", false, 0, 0}, {"/3", false, 0, 0},
                          {"1/99999999999", false, 0, 0}};
    for (const Case& c : cases) {
        const auto shard = cli::ParseShard(c.text);
        ASSERT_EQ(shard.has_value(), c.valid) << c.text;
        if (!shard) continue;
        EXPECT_EQ(shard->index, c.k) << c.text;
        EXPECT_EQ(shard->count, c.n) << c.text;
    }
}

TEST(Shard, SharesTogetherTakeEveryMovieOnce) {
    std::vector<std::string> movies;
    for (int i = 0; i < 11; ++i) movies.push_back("m" + std::to_string(i));
    EXPECT_EQ(cli::TakeShard(movies, {2, 3}), (std::vector<std::string>{"m1", "m4", "m7", "m10"}));
    std::vector<std::string> all;
    for (std::size_t k = 1; k <= 4; ++k)
        for (const std::string& m : cli::TakeShard(movies, {k, 4})) all.push_back(m);
    std::sort(all.begin(), all.end());
    std::vector<std::string> sorted = movies;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(all, sorted);
    EXPECT_TRUE(cli::TakeShard(movies, {12, 20}).empty());
}

TEST(Json, EscapesQuotesBackslashesAndControlBytes) {
    EXPECT_EQ(cli::JsonString("a\"b\\c\nd\x01"), "\"a\\\"b\\\\c\\u000ad\\u0001\"");
}

TEST(ProgressLine, CountsFramesAndNamesTheMoviesOnlyWhenSeveral) {
    EXPECT_EQ(cli::ProgressLine({0, 1, 60, 120, 0.5}),
              "[===============               ] 60/120 frames");
    EXPECT_EQ(cli::ProgressLine({1, 1, 120, 120, 1.0}),
              "[==============================] 120/120 frames");
    EXPECT_EQ(cli::ProgressLine({2, 5, 340, 600, 0.5}),
              "[===============               ] 340/600 frames  2/5 movies");
    EXPECT_EQ(cli::ProgressLine({0, 3, 0, 0, -1}),
              "[                              ] 0/0 frames  0/3 movies");
}

}  // namespace
