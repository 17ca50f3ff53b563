// Runs the shared trace scorer over the script conformance tests and fails when a test that
// passed (listed in conformance_passing.txt) stops passing. Skips without ../shared (a fresh
// clone); CI has it.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

const fs::path kShared = FILMCAST_SHARED_DIR;
const fs::path kScorer = kShared / "tools" / "trace_score.py";
const fs::path kCorpus = kShared / "corpus" / "avm1";
const fs::path kFilmcast = fs::path(FILMCAST_BINARY_DIR) / "filmcast";
const fs::path kPassing =
    fs::path(FILMCAST_SOURCE_DIR) / "tests" / "player" / "script" / "conformance_passing.txt";

std::string Capture(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    std::array<char, 4096> chunk;
    while (std::size_t n = std::fread(chunk.data(), 1, chunk.size(), pipe))
        out.append(chunk.data(), n);
    pclose(pipe);
    return out;
}

std::set<std::string> Listed() {
    std::set<std::string> names;
    std::ifstream in(kPassing);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) names.insert(line);
    return names;
}

TEST(Conformance, TestsThatPassedStillPass) {
    if (!fs::exists(kScorer) || !fs::exists(kCorpus)) GTEST_SKIP() << "no shared corpus";
    ASSERT_TRUE(fs::exists(kFilmcast)) << kFilmcast;
    const std::string python = fs::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
    const std::string command = python + " '" + kScorer.string() + "' '" + kFilmcast.string() +
                                " trace {swf} --frames {frames}' '" + kCorpus.string() + "' 2>&1";
    const std::string out = Capture(command);
    // One line per test: "pass  NAME" or "fail  NAME  ...".
    std::set<std::string> passed;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("pass  ", 0) != 0) continue;
        std::istringstream words(line.substr(6));
        std::string name;
        words >> name;
        passed.insert(name);
    }
    const std::set<std::string> listed = Listed();
    ASSERT_FALSE(listed.empty()) << kPassing;
    for (const std::string& name : listed) EXPECT_TRUE(passed.count(name)) << name << " no longer passes";
}

}  // namespace
