// What runs of `filmcast` leave behind and what they destroy when they are killed, interrupted
// or stopped by a full disk, on real processes: nothing of theirs is left in the output folder
// or the temporary folder, and an older output is only ever replaced by a complete new one.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/gif_reader.h"
#include "tests/support/test_movies.h"

namespace fs = std::filesystem;

namespace {

class Leftovers : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("fc_left_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "tmp");
        fs::create_directories(dir_ / "out");
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Runs a shell script in the scratch folder with `filmcast` standing for the binary and
    // the private temporary folder as TMPDIR; returns its exit status.
    int Shell(const std::string& script) const {
        const std::string command = "cd '" + dir_.string() + "' || exit 99; export TMPDIR='" +
                                    (dir_ / "tmp").string() +
                                    "'; filmcast='" FILMCAST_BINARY_DIR "/filmcast'; " + script;
        const int raw = std::system(command.c_str());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    std::string Read(const std::string& name) const {
        std::ifstream in(Path(name), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    void Write(const std::string& name, const std::string& text) const {
        std::ofstream(Path(name), std::ios::binary) << text;
    }
    std::vector<std::string> Names(const std::string& folder) const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_ / folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir_;
};

using NameList = std::vector<std::string>;

// Waits (up to 20 s) until the processes listed in `kids.txt` are gone, writing 0 to
// alive.txt when they are and 1 when one still runs. Zombies count as gone.
constexpr char kWaitForKids[] =
    "for i in $(seq 200); do alive=0; for k in $(cat kids.txt); do "
    "st=$(ps -o stat= -p $k 2>/dev/null); case \"$st\" in ''|Z*) ;; *) alive=1;; esac; done; "
    "[ $alive = 0 ] && break; sleep 0.1; done; echo $alive > alive.txt";

TEST_F(Leftovers, KilledCommandTakesItsChildAlongAndReplacesNothing) {
    ASSERT_TRUE(testmovies::WriteSteppedMovie(Path("long.swf"), 3000));
    Write("out/long.gif", "an older animation");
    Shell(std::string("$filmcast convert long.swf -o out --size 1600x1200 -j 1 2>err.txt & "
                      "pid=$!; sleep 1.5; pgrep -P $pid > kids.txt; kill -KILL $pid; "
                      "wait $pid; ") +
          kWaitForKids);
    EXPECT_FALSE(Read("kids.txt").empty()) << "the conversion ran in a child";
    EXPECT_EQ(Read("alive.txt"), "0\n") << "the child stops when its parent dies";
    EXPECT_EQ(Names("tmp"), NameList{}) << "the child removes its working folder";
    EXPECT_EQ(Names("out"), NameList{"long.gif"}) << "no temporary file is left";
    std::this_thread::sleep_for(std::chrono::seconds(2));
    EXPECT_EQ(Read("out/long.gif"), "an older animation");
}

TEST_F(Leftovers, StoppedBatchLeavesNothingForMoviesThatNeverStarted) {
    for (const char* name : {"a.swf", "b.swf", "c.swf", "d.swf"})
        ASSERT_TRUE(testmovies::WriteSteppedMovie(Path(name), 3000));
    Write("out/d.gif", "an older animation");
    const int status = Shell(
        "$filmcast convert a.swf b.swf c.swf d.swf -o out --size 1600x1200 -j 1 2>err.txt & "
        "pid=$!; sleep 1.5; kill -TERM $pid; wait $pid");
    EXPECT_EQ(status, 130) << Read("err.txt");
    EXPECT_EQ(Names("tmp"), NameList{});
    EXPECT_EQ(Names("out"), NameList{"d.gif"}) << "no temporary or spool file";
    EXPECT_EQ(Read("out/d.gif"), "an older animation");
}

TEST_F(Leftovers, NextRunRemovesTheWorkingFoldersOfKilledRunsOnly) {
    ASSERT_TRUE(testmovies::WriteSteppedMovie(Path("m.swf"), 2));
    const auto longAgo = fs::file_time_type::clock::now() - std::chrono::hours(1);
    for (const char* name :
         {"filmcast-Old123", "filmcast-New456", "filmcast-Held78", "filmcast-other-folder"}) {
        fs::create_directories(dir_ / "tmp" / name);
        Write(std::string("tmp/") + name + "/frame00000.gif", "a frame file");
        if (std::string(name) != "filmcast-New456")
            fs::last_write_time(dir_ / "tmp" / name, longAgo);
    }
    // A live run holds its folder locked.
    const int held = open(Path("tmp/filmcast-Held78").c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    EXPECT_EQ(Shell("$filmcast convert m.swf -o out -q"), 0);
    close(held);
    EXPECT_EQ(Names("tmp"),
              (NameList{"filmcast-Held78", "filmcast-New456", "filmcast-other-folder"}));
}

TEST_F(Leftovers, StaleTemporaryOutputsOfTheSameMovieAreRemoved) {
    ASSERT_TRUE(testmovies::WriteSteppedMovie(Path("m.swf"), 2));
    Write("out/.m.gif.Ab12Cd.gif", "left by a killed run");
    Write("out/.m.gif.Ef34Gh.gif", "being written right now");
    Write("out/.notes.txt", "the user's own");
    fs::last_write_time(dir_ / "out/.m.gif.Ab12Cd.gif",
                        fs::file_time_type::clock::now() - std::chrono::hours(1));
    EXPECT_EQ(Shell("$filmcast convert m.swf -o out -q"), 0);
    EXPECT_EQ(Names("out"), (NameList{".m.gif.Ef34Gh.gif", ".notes.txt", "m.gif"}));
}

struct FullDiskCase {
    const char* name;
    const char* command;  // run under a 64 KiB file-size limit
    const char* older;    // the output that exists before
    const char* folder;   // where no temporary file may be left
};

class FullDisk : public Leftovers, public ::testing::WithParamInterface<FullDiskCase> {};

// A write past the limit fails as on a full disk: the command fails with a reason, and the
// older output is still whole.
TEST_P(FullDisk, FailsAndKeepsTheOlderOutput) {
    const FullDiskCase& c = GetParam();
    ASSERT_TRUE(testmovies::WriteSteppedMovie(Path("m.swf"), 60));
    fs::create_directories(fs::path(Path(c.older)).parent_path());
    Write(c.older, "the older output");
    const int status = Shell(std::string("ulimit -f 64; $filmcast ") + c.command + " 2>err.txt");
    EXPECT_EQ(status, 1);
    // The system's own reason reaches the user, not only that something failed.
    EXPECT_NE(Read("err.txt").find("File too large"), std::string::npos) << Read("err.txt");
    EXPECT_EQ(Read(c.older), "the older output");
    for (const std::string& name : Names(c.folder))
        EXPECT_NE(name[0], '.') << "temporary file left: " << name;
    EXPECT_EQ(Names("tmp"), NameList{});
}

INSTANTIATE_TEST_SUITE_P(
    Commands, FullDisk,
    ::testing::Values(
        FullDiskCase{"Convert", "convert m.swf -o out --size 800x600 -q", "out/m.gif", "out"},
        FullDiskCase{"Frame", "frame m.swf --size 800x600 -o out/shot.bmp", "out/shot.bmp", "out"},
        FullDiskCase{"Frames", "frames m.swf --size 800x600 -o seq -q", "seq/m-00000.bmp",
                     "seq"}),
    [](const auto& info) { return std::string(info.param.name); });

struct UnwritableCase {
    const char* name;
    const char* command;  // writes below "blocked/", which is a file
    const char* older;    // the output that exists before, elsewhere
};

class UnwritableFolder : public Leftovers, public ::testing::WithParamInterface<UnwritableCase> {};

// An output folder that cannot be made: the command fails with the system's reason, naming the
// folder, and an older output elsewhere is untouched.
TEST_P(UnwritableFolder, FailsWithTheReasonAndTouchesNothingElse) {
    const UnwritableCase& c = GetParam();
    ASSERT_TRUE(testmovies::WriteSteppedMovie(Path("m.swf"), 4));
    Write("blocked", "a file where a folder is asked for");
    Write(c.older, "the older output");
    const int status = Shell(std::string("$filmcast ") + c.command + " 2>err.txt");
    EXPECT_EQ(status, 1);
    const std::string err = Read("err.txt");
    EXPECT_NE(err.find("Not a directory"), std::string::npos) << err;
    EXPECT_NE(err.find("blocked/"), std::string::npos) << err;
    EXPECT_EQ(Read(c.older), "the older output");
    EXPECT_EQ(Read("blocked"), "a file where a folder is asked for");
}

INSTANTIATE_TEST_SUITE_P(
    Commands, UnwritableFolder,
    ::testing::Values(
        UnwritableCase{"Convert", "convert m.swf -o blocked/out -q", "m.gif"},
        UnwritableCase{"Frame", "frame m.swf -o blocked/out/shot.png", "shot.png"},
        UnwritableCase{"Frames", "frames m.swf -o blocked/seq -q", "m-00000.bmp"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Leftovers, InterruptedFrameLeavesNoPartFileAndKeepsTheOlderOne) {
    // A frame slow to draw and save at 4000 x 4000.
    ASSERT_TRUE(testmovies::WriteHeavyFilterMovie(Path("heavy.swf"), 1));
    Write("out/shot.png", "the older picture");
    const int status = Shell(
        "$filmcast frame heavy.swf --size 4000x4000 -o out/shot.png 2>err.txt & pid=$!; "
        "sleep 1; kill -INT $pid; wait $pid");
    EXPECT_EQ(status, 130) << Read("err.txt");
    EXPECT_EQ(Names("out"), NameList{"shot.png"});
    EXPECT_EQ(Read("out/shot.png"), "the older picture");
}

TEST_F(Leftovers, FrameMakesItsOutputFolder) {
    ASSERT_TRUE(testmovies::WriteSteppedMovie(Path("m.swf"), 2));
    EXPECT_EQ(Shell("$filmcast frame m.swf -o missing/dir/f.png 2>err.txt"), 0) << Read("err.txt");
    EXPECT_EQ(Names("missing/dir"), NameList{"f.png"});
}

// Names whose output fits the file-name limit convert, though a temporary name built from them
// would not fit.
TEST_F(Leftovers, LongMovieNamesConvert) {
    const std::string stem(251, 'n');
    const std::string name = stem + ".swf";  // 255 bytes, and its GIF
    ASSERT_TRUE(testmovies::WriteSteppedMovie(Path(name), 3));
    EXPECT_EQ(Shell("$filmcast convert " + name + " -o out 2>err.txt"), 0) << Read("err.txt");
    EXPECT_EQ(Names("out"), NameList{stem + ".gif"});
    EXPECT_EQ(testgif::Read(Path("out/" + stem + ".gif")).pages.size(), 3u);
    EXPECT_EQ(Shell("$filmcast frame " + name + " -o out/" + stem + ".png 2>err.txt"), 0)
        << Read("err.txt");
}

}  // namespace
