// The command line's conventions, run as a user runs them: output names, replacing files,
// --scale, standard input and output, errors with the system's reason, frame ranges.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <utility>

#include "tests/support/cli_scratch.h"
#include "tests/support/gif_reader.h"
#include "tests/support/test_movies.h"

namespace fs = std::filesystem;

namespace {

using testcli::Result;

class Conventions : public testcli::ScratchTest {
  protected:
    void SetUp() override {
        ScratchTest::SetUp();
        ASSERT_TRUE(testmovies::WriteSteppedMovie(Path("demo.swf"), 3));
    }
    void Write(const std::string& name, const std::string& text) const {
        std::ofstream(Path(name), std::ios::binary) << text;
    }
    bool Exists(const std::string& name) const { return fs::exists(dir_ / name); }
    // Width and height from a PNG's header.
    std::pair<int, int> PngSize(const std::string& name) const {
        const std::string png = Slurp(name);
        if (png.size() < 24 || png.substr(1, 3) != "PNG") return {0, 0};
        auto at = [&](std::size_t i) {
            return int(std::uint8_t(png[i])) << 24 | int(std::uint8_t(png[i + 1])) << 16 |
                   int(std::uint8_t(png[i + 2])) << 8 | int(std::uint8_t(png[i + 3]));
        };
        return {at(16), at(20)};
    }
};

TEST_F(Conventions, OutputNamesFollowTheCommandsRules) {
    struct Case {
        const char* args;
        const char* written;
    };
    const Case cases[] = {
        {"convert demo.swf", "demo.gif"},
        {"convert demo.swf -o my.gif", "my.gif"},
        {"convert demo.swf -o sub/my.GIF", "sub/my.GIF"},
        {"convert demo.swf -o folder", "folder/demo.gif"},
        {"convert demo.swf -o folder/", "folder/demo.gif"},
        {"frames demo.swf --format png", "demo-00002.png"},
        {"frames demo.swf -o seq --format tga", "seq/demo-00000.tga"},
    };
    for (const Case& c : cases) {
        const Result r = Run(c.args);
        ASSERT_EQ(r.status, 0) << c.args << ": " << r.err;
        EXPECT_TRUE(fs::is_regular_file(dir_ / c.written)) << c.args;
    }
    EXPECT_FALSE(Exists("demo.swf.gif"));
    EXPECT_FALSE(Exists("demo.swf00000.png"));
    EXPECT_EQ(testgif::Read(Path("my.gif")).pages.size(), 3u);
}

TEST_F(Conventions, AnExistingFolderNamedLikeAFileStaysAFolder) {
    fs::create_directories(dir_ / "shots.gif");
    ASSERT_EQ(Run("convert demo.swf -o shots.gif").status, 0);
    EXPECT_TRUE(fs::is_regular_file(dir_ / "shots.gif/demo.gif"));
}

TEST_F(Conventions, OneFileNamedForSeveralMoviesIsAUsageError) {
    ASSERT_TRUE(testmovies::WriteSteppedMovie(Path("other.swf"), 2));
    const Result r = Run("convert demo.swf other.swf -o my.gif");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("several movies need a folder"), std::string::npos) << r.err;
    EXPECT_FALSE(Exists("my.gif"));
}

TEST_F(Conventions, NoClobberKeepsExistingFilesAndFails) {
    struct Case {
        const char* args;
        const char* existing;
    };
    const Case cases[] = {
        {"convert demo.swf -n", "demo.gif"},
        {"convert demo.swf --no-clobber -o my.gif", "my.gif"},
        {"frame demo.swf -n -o shot.png", "shot.png"},
        {"frames demo.swf -n --format png", "demo-00001.png"},
    };
    for (const Case& c : cases) {
        Write(c.existing, "kept");
        const Result r = Run(c.args);
        EXPECT_EQ(r.status, 1) << c.args;
        EXPECT_NE(r.err.find("exists; not replaced (--no-clobber)"), std::string::npos)
            << c.args << ": " << r.err;
        EXPECT_EQ(Slurp(c.existing), "kept") << c.args;
    }
    EXPECT_FALSE(Exists("demo-00000.png")) << "frames refuses before writing any frame";
}

TEST_F(Conventions, ExistingFilesAreReplacedByDefaultAndWithOverwrite) {
    for (const char* args : {"convert demo.swf", "convert demo.swf -y", "convert demo.swf --overwrite"}) {
        Write("demo.gif", "old");
        ASSERT_EQ(Run(args).status, 0) << args;
        EXPECT_EQ(testgif::Read(Path("demo.gif")).pages.size(), 3u) << args;
    }
    EXPECT_EQ(Run("convert demo.swf -n -y").status, 2) << "the two exclude each other";
}

TEST_F(Conventions, ScaleSizesEveryDrawingCommand) {
    ASSERT_EQ(Run("frame demo.swf --scale 0.5 -o half.png").status, 0);
    ASSERT_EQ(Run("frames demo.swf --scale 0.25 -o seq --format png").status, 0);
    ASSERT_EQ(Run("convert demo.swf --scale 2 -o big.gif").status, 0);
    // The stepped movie's stage is 220 x 160.
    EXPECT_EQ(PngSize("half.png"), std::make_pair(110, 80));
    EXPECT_EQ(PngSize("seq/demo-00000.png"), std::make_pair(55, 40));
    EXPECT_EQ(testgif::Read(Path("big.gif")).width, 440);
    EXPECT_EQ(Run("frame demo.swf --scale 0.5 --size 10x10 -o x.png").status, 2);
}

TEST_F(Conventions, StandardInputAndOutput) {
    // Run() keeps standard output in out.txt.
    Result r = Run("convert - -o - < demo.swf");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(testgif::Read(Path("out.txt")).pages.size(), 3u);
    r = Run("frame - -o - --at 1 < demo.swf");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(1, 3), "PNG");
    r = Run("frames - -o seq --format png < demo.swf");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Exists("seq/standard-input-00002.png"));
    EXPECT_TRUE(fs::is_empty(dir_ / "tmp")) << "the kept input is removed";

    struct Usage {
        const char* args;
        const char* says;
    };
    const Usage usages[] = {
        {"convert - < demo.swf", "needs -o"},
        {"convert demo.swf demo.swf -o -", "exactly one movie"},
        {"convert - - -o out < demo.swf", "only once"},
        {"frames demo.swf -o -", "name a folder"},
    };
    for (const Usage& u : usages) {
        r = Run(u.args);
        EXPECT_EQ(r.status, 2) << u.args;
        EXPECT_NE(r.err.find(u.says), std::string::npos) << u.args << ": " << r.err;
    }
    r = Run("convert - -o bad.gif < /dev/null");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("(standard input): "), std::string::npos) << r.err;
}

TEST_F(Conventions, ErrorsCarryTheSystemsReason) {
    fs::create_directories(dir_ / "folder.swf");
    struct Case {
        const char* movie;
        const char* reason;
    };
    const Case cases[] = {{"missing.swf", "No such file or directory"},
                          {"folder.swf", "Is a directory"}};
    for (const Case& c : cases) {
        for (const std::string command : {"convert ", "frame ", "frames ", "info "}) {
            const std::string args =
                command + c.movie + (command == "frame " ? " -o shot.png" : "");
            const Result r = Run(args);
            EXPECT_EQ(r.status, 1) << args;
            EXPECT_NE(r.err.find(c.reason), std::string::npos) << args << ": " << r.err;
        }
    }
    if (geteuid() != 0) {
        fs::copy_file(Path("demo.swf"), Path("locked.swf"));
        fs::permissions(Path("locked.swf"), fs::perms::none);
        const Result r = Run("convert locked.swf");
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("Permission denied"), std::string::npos) << r.err;
    }
}

TEST_F(Conventions, TruncatedMovieIsNamedTruncated) {
    const std::string whole = Slurp("demo.swf");
    Write("cut.swf", whole.substr(0, 30));
    const Result r = Run("convert cut.swf");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("truncated"), std::string::npos) << r.err;
}

TEST_F(Conventions, FrameRangeOutsideTheMovieIsAUsageErrorNamingItsLength) {
    for (const std::string args : {"convert demo.swf --from 500", "convert demo.swf --from 3",
                                   "frames demo.swf --from 3 --to 9"}) {
        const Result r = Run(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find("is outside the movie: it has 3 frames (0 to 2)"), std::string::npos)
            << args << ": " << r.err;
    }
    EXPECT_FALSE(Exists("demo.gif"));
    EXPECT_EQ(Run("convert demo.swf --from 2 --to 2").status, 0);
    EXPECT_EQ(testgif::Read(Path("demo.gif")).pages.size(), 1u);
    // A range running past the end takes the movie to its end.
    EXPECT_EQ(Run("convert demo.swf --from 1 --to 99 -o long.gif").status, 0);
    EXPECT_EQ(testgif::Read(Path("long.gif")).pages.size(), 2u);
}

TEST_F(Conventions, VerboseSaysWhatIsWrittenAndQuietSaysNothing) {
    Result r = Run("convert demo.swf -v -o my.gif");
    ASSERT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("converting 3 frames at 220x160"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("wrote my.gif"), std::string::npos) << r.err;
    r = Run("frame demo.swf -v -o shot.png");
    EXPECT_NE(r.err.find("wrote shot.png"), std::string::npos) << r.err;
    EXPECT_EQ(Run("convert demo.swf -q").err, "");
    EXPECT_EQ(Run("convert demo.swf -q -v").status, 2);
}

}  // namespace
