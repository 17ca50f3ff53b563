// Converting archives: movie lists, shares of a list, the JSON-lines report, resuming with
// --skip-existing and mirrored folders with --keep-tree.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "tests/support/cli_scratch.h"
#include "tests/support/gif_reader.h"
#include "tests/support/test_movies.h"

namespace fs = std::filesystem;

namespace {

using testcli::Result;

class Batch : public testcli::ScratchTest {
  protected:
    void Movie(const std::string& name, int frames) {
        fs::create_directories((dir_ / name).parent_path());
        ASSERT_TRUE(testmovies::WriteSteppedMovie(Path(name), frames));
    }
    void Write(const std::string& name, const std::string& text) const {
        std::ofstream(Path(name), std::ios::binary) << text;
    }
    std::vector<std::string> Lines(const std::string& name) const {
        std::istringstream in(Slurp(name));
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    // The report line naming this input.
    std::string ReportOf(const std::string& report, const std::string& input) const {
        for (const std::string& line : Lines(report))
            if (line.find("{\"input\": \"" + input + "\"") == 0) return line;
        return "";
    }
    std::vector<std::string> Gifs(const std::string& folder) const {
        std::vector<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(dir_ / folder))
            if (entry.is_regular_file())
                names.push_back(fs::relative(entry.path(), dir_ / folder).string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(Batch, ListsAddMoviesFromAFileOrStandardInput) {
    Movie("a.swf", 2);
    Movie("b.swf", 2);
    Movie("c.swf", 2);
    Write("list.txt", "b.swf\n\nc.swf\n");
    ASSERT_EQ(Run("convert a.swf --list list.txt -o out").status, 0);
    EXPECT_EQ(Gifs("out"), (std::vector<std::string>{"a.gif", "b.gif", "c.gif"}));
    ASSERT_EQ(Run("convert --list - -o piped < list.txt").status, 0);
    EXPECT_EQ(Gifs("piped"), (std::vector<std::string>{"b.gif", "c.gif"}));
    const Result missing = Run("convert --list nolist.txt -o out");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("nolist.txt: No such file or directory"), std::string::npos)
        << missing.err;
    EXPECT_EQ(Run("convert -o out").status, 2) << "no movie at all";
}

TEST_F(Batch, ShardsSplitAListWithoutOverlap) {
    std::string list;
    for (int i = 0; i < 5; ++i) {
        Movie("m" + std::to_string(i) + ".swf", 1);
        list += "m" + std::to_string(i) + ".swf\n";
    }
    Write("list.txt", list);
    ASSERT_EQ(Run("convert --list list.txt --shard 1/2 -o one").status, 0);
    ASSERT_EQ(Run("convert --list list.txt --shard 2/2 -o two").status, 0);
    EXPECT_EQ(Gifs("one"), (std::vector<std::string>{"m0.gif", "m2.gif", "m4.gif"}));
    EXPECT_EQ(Gifs("two"), (std::vector<std::string>{"m1.gif", "m3.gif"}));
    for (const char* bad : {"0/2", "3/2", "x"})
        EXPECT_EQ(Run(std::string("convert --list list.txt --shard ") + bad).status, 2) << bad;
}

TEST_F(Batch, ReportHasOneJsonLineAMovie) {
    Movie("good.swf", 3);
    Write("bad.swf", "no movie");
    const Result r = Run("convert good.swf bad.swf -o out --report run.jsonl -j 2");
    EXPECT_EQ(r.status, 1);
    ASSERT_EQ(Lines("run.jsonl").size(), 2u) << Slurp("run.jsonl");
    const std::string good = ReportOf("run.jsonl", "good.swf");
    EXPECT_NE(good.find("\"output\": \"out/good.gif\", \"frames\": 3, \"seconds\": "),
              std::string::npos)
        << good;
    EXPECT_NE(good.find("\"peak_memory_kib\": "), std::string::npos) << good;
    EXPECT_EQ(good.find("\"peak_memory_kib\": 0,"), std::string::npos) << good;
    EXPECT_NE(good.find("\"outcome\": \"converted\", \"reason\": \"\"}"), std::string::npos)
        << good;
    const std::string bad = ReportOf("run.jsonl", "bad.swf");
    EXPECT_NE(bad.find("\"outcome\": \"failed\", \"reason\": \"not a Flash movie"),
              std::string::npos)
        << bad;
}

TEST_F(Batch, SkipExistingResumesAndReconvertsIncompleteOutputs) {
    Movie("a.swf", 2);
    Movie("b.swf", 2);
    Movie("c.swf", 2);
    ASSERT_EQ(Run("convert a.swf b.swf -o out").status, 0);
    const std::string finished = Slurp("out/a.gif");
    // b's GIF was cut short by a lost machine.
    Write("out/b.gif", Slurp("out/b.gif").substr(0, 40));
    const Result r = Run("convert a.swf b.swf c.swf -o out --skip-existing --report run.jsonl");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(ReportOf("run.jsonl", "a.swf").find("\"outcome\": \"skipped\""), std::string::npos);
    EXPECT_NE(ReportOf("run.jsonl", "b.swf").find("\"outcome\": \"converted\""), std::string::npos);
    EXPECT_NE(ReportOf("run.jsonl", "c.swf").find("\"outcome\": \"converted\""), std::string::npos);
    EXPECT_EQ(testgif::Read(Path("out/b.gif")).pages.size(), 2u);
    EXPECT_EQ(Slurp("out/a.gif"), finished);
}

TEST_F(Batch, NoClobberRefusesAndReportsIt) {
    Movie("a.swf", 2);
    Movie("b.swf", 2);
    fs::create_directories(dir_ / "out");
    Write("out/a.gif", "someone else's");
    const Result r = Run("convert a.swf b.swf -o out -n --report run.jsonl");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Slurp("out/a.gif"), "someone else's");
    EXPECT_NE(ReportOf("run.jsonl", "a.swf").find("\"outcome\": \"refused\""), std::string::npos)
        << Slurp("run.jsonl");
    EXPECT_EQ(testgif::Read(Path("out/b.gif")).pages.size(), 2u);
}

TEST_F(Batch, SameNamesCollideUnlessTheTreeIsKept) {
    Movie("x/intro.swf", 2);
    Movie("y/intro.swf", 3);
    Result r = Run("convert x/intro.swf y/intro.swf -o flat");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("y/intro.swf: not converted: it would write flat/intro.gif as "
                         "x/intro.swf does"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(testgif::Read(Path("flat/intro.gif")).pages.size(), 2u) << "never overwritten";
    r = Run("convert x/intro.swf y/intro.swf -o tree --keep-tree");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Gifs("tree"), (std::vector<std::string>{"x/intro.gif", "y/intro.gif"}));
    EXPECT_EQ(testgif::Read(Path("tree/y/intro.gif")).pages.size(), 3u);
    r = Run("convert ../outside.swf -o tree --keep-tree");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("climbs out"), std::string::npos) << r.err;
}

TEST_F(Batch, UsageErrorFoundInOneMovieMakesTheRunsStatusTwo) {
    Movie("long.swf", 6);
    Movie("short.swf", 2);
    const Result r = Run("convert long.swf short.swf --from 4 -o out");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(testgif::Read(Path("out/long.gif")).pages.size(), 2u);
    EXPECT_NE(r.err.find("short.swf: --from 4 is outside the movie: it has 2 frames"),
              std::string::npos)
        << r.err;
}

}  // namespace

namespace {

// On a terminal: one progress line counting the frames of every movie, with each note printed
// on a line of its own above it.
TEST_F(Batch, ProgressLineCountsAllFramesAndNotesNeverLandOnIt) {
    if (std::system("command -v script > /dev/null 2>&1") != 0) GTEST_SKIP() << "no script(1)";
    Movie("a.swf", 4);
    Movie("b.swf", 6);
    Write("bad.swf", "no movie");
    const std::string command = "cd '" + dir_.string() + "' && TMPDIR='" + (dir_ / "tmp").string() +
                                "' script -qfec \"'" FILMCAST_BINARY_DIR
                                "/filmcast' convert a.swf bad.swf b.swf -o out -j 1\" /dev/null "
                                "> tty.txt 2>&1";
    std::system(command.c_str());
    const std::string tty = Slurp("tty.txt");
    EXPECT_NE(tty.find("10/10 frames  3/3 movies"), std::string::npos) << tty;
    const auto note = tty.find("filmcast: bad.swf: ");
    ASSERT_NE(note, std::string::npos) << tty;
    // Either nothing was drawn yet or the line was cleared just before the note.
    EXPECT_TRUE(note == 0 || tty[note - 1] == '\n' || tty.compare(note - 4, 4, "\r\033[K") == 0)
        << tty;
}

}  // namespace
