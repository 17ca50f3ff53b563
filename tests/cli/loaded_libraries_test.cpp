// Which of FFmpeg's libraries a run of the built `filmcast` loads, as the dynamic loader reports
// it (LD_DEBUG): pictures of a movie without video or sound load none, and the commands that
// encode sound or video load what they use. Fails when FFmpeg is linked back into the program or
// opened before a run needs it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>

#include "player/avlib/av_library.h"
#include "tests/support/cli_scratch.h"
#include "tests/support/test_movies.h"

namespace {

namespace fs = std::filesystem;

struct RunCase {
    const char* name;
    const char* args;    // after `filmcast`, in a folder holding movie.swf
    const char* output;  // the file the run writes, "" for none
    bool loadsFfmpeg;    // whether libavcodec may (and must) be loaded
};

void PrintTo(const RunCase& c, std::ostream* out) {
    *out << c.name;
}

class LoadedLibraries : public testcli::ScratchTest, public ::testing::WithParamInterface<RunCase> {
  protected:
    // Runs filmcast with the dynamic loader's report of each file it opens written beside,
    // and returns the report (of every process the run started).
    testcli::Result RunReported(const std::string& args, std::string* report) {
        const fs::path reports = dir_ / "ld";
        fs::create_directories(reports);
        ::setenv("LD_DEBUG", "files", 1);
        ::setenv("LD_DEBUG_OUTPUT", (reports / "report").c_str(), 1);
        testcli::Result result = Run(args);
        ::unsetenv("LD_DEBUG");
        ::unsetenv("LD_DEBUG_OUTPUT");
        std::stringstream text;
        for (const auto& entry : fs::directory_iterator(reports))
            text << std::ifstream(entry.path()).rdbuf();
        *report = text.str();
        return result;
    }
};

bool Loads(const std::string& report, const std::string& library) {
    return report.find(library + ".so.") != std::string::npos;
}

TEST_P(LoadedLibraries, FfmpegIsLoadedOnlyByRunsThatUseIt) {
    const RunCase& c = GetParam();
    ASSERT_TRUE(testmovies::WriteSteppedMovie(Path("movie.swf"), 3));
    std::string report;
    const testcli::Result result = RunReported(c.args, &report);
    ASSERT_EQ(result.status, 0) << result.err;
    if (*c.output) EXPECT_TRUE(fs::exists(Path(c.output))) << c.output;
    // The report names the libraries every run loads; an empty one would prove nothing.
    ASSERT_TRUE(Loads(report, "libcairo")) << "the dynamic loader wrote no report";
    EXPECT_EQ(Loads(report, "libavcodec"), c.loadsFfmpeg);
    EXPECT_EQ(Loads(report, "libavformat"), c.loadsFfmpeg);
    if (!c.loadsFfmpeg) {
        EXPECT_FALSE(Loads(report, "libavutil"));
        EXPECT_FALSE(Loads(report, "libswresample"));
        EXPECT_FALSE(Loads(report, "libswscale"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Runs, LoadedLibraries,
    ::testing::Values(RunCase{"Version", "--version", "", false},
                      RunCase{"Info", "info movie.swf", "", false},
                      RunCase{"Gif", "convert -q -j 1 movie.swf -o movie.gif", "movie.gif", false},
                      RunCase{"Png", "frame movie.swf --at 1 -o shot.png", "shot.png", false},
                      RunCase{"Sequence", "frames movie.swf -o frames/ --format png", "frames",
                              false},
                      // A movie without sound still makes a silent file through libavformat.
                      RunCase{"Sound", "sound -q movie.swf -o movie.wav", "movie.wav", true}),
    [](const auto& info) { return std::string(info.param.name); });

// Runs with a libavcodec that cannot be loaded (an empty file of its name found first): those
// that need it fail with the loader's reason, the others are untouched.
struct UnloadableCase {
    const char* name;
    const char* args;
    int status;
};

void PrintTo(const UnloadableCase& c, std::ostream* out) {
    *out << c.name;
}

class UnloadableLibavcodec : public testcli::ScratchTest,
                             public ::testing::WithParamInterface<UnloadableCase> {};

TEST_P(UnloadableLibavcodec, FailsWithTheReasonOnlyWhereItIsNeeded) {
    const UnloadableCase& c = GetParam();
    ASSERT_TRUE(testmovies::WriteSteppedMovie(Path("movie.swf"), 3));
    const std::string soname =
        avlib::CompiledSonames()[static_cast<std::size_t>(avlib::Library::kAvCodec)];
    fs::create_directories(dir_ / "libs");
    std::ofstream(dir_ / "libs" / soname).close();
    ::setenv("LD_LIBRARY_PATH", (dir_ / "libs").c_str(), 1);
    const testcli::Result result = Run(c.args);
    ::unsetenv("LD_LIBRARY_PATH");
    EXPECT_EQ(result.status, c.status) << result.err;
    const bool reported = result.err.find("cannot load " + soname + ": ") != std::string::npos;
    EXPECT_EQ(reported, c.status != 0) << result.err;
    EXPECT_FALSE(fs::exists(Path("out.mp4")));
    EXPECT_FALSE(fs::exists(Path("out.wav")));
}

INSTANTIATE_TEST_SUITE_P(
    Runs, UnloadableLibavcodec,
    ::testing::Values(UnloadableCase{"Gif", "convert -q -j 1 movie.swf -o out.gif", 0},
                      UnloadableCase{"Video", "convert -q -j 1 movie.swf --format mp4 -o out.mp4",
                                     1},
                      UnloadableCase{"Sound", "sound -q movie.swf -o out.wav", 1}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
