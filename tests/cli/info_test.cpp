// Runs `filmcast info` as a user would and checks what it prints and how it exits.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/swf_writer.h"

namespace fs = std::filesystem;

namespace {

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

std::string ReadAll(const fs::path& file) {
    std::ifstream in(file);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class FilmcastInfo : public testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "cli-info-XXXXXX").string();
        dir_ = mkdtemp(pattern.data());
        // 550 x 400, 24 fps, 300 frames; version 10, length 25.
        const std::vector<unsigned char> movie = {
            'F',  'W',  'S',  0x0A, 0x19, 0x00, 0x00, 0x00, 0x78, 0x00, 0x05, 0x5F, 0x00,
            0x00, 0x0F, 0xA0, 0x00, 0x00, 0x18, 0x2C, 0x01, 0x40, 0x00, 0x00, 0x00};
        std::ofstream(dir_ / "movie.swf", std::ios::binary)
            .write(reinterpret_cast<const char*>(movie.data()), std::streamsize(movie.size()));
        std::ofstream(dir_ / "notes.txt") << "not a movie at all";
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string At(const char* name) const { return (dir_ / name).string(); }

    Outcome Filmcast(const std::vector<std::string>& args) const {
        std::string command = std::string(FILMCAST_BINARY_DIR) + "/filmcast";
        for (const std::string& arg : args) command += " '" + arg + "'";
        command += " >'" + At("out") + "' 2>'" + At("err") + "'";
        Outcome run;
        const int raw = std::system(command.c_str());
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        run.out = ReadAll(dir_ / "out");
        run.err = ReadAll(dir_ / "err");
        return run;
    }

    fs::path dir_;
};

}  // namespace

TEST_F(FilmcastInfo, ListsThePropertyRows) {
    const Outcome run = Filmcast({"info", At("movie.swf")});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, At("movie.swf") +
                           "\n"
                           "  Flash Ver     10\n"
                           "  Flash Length  25\n"
                           "  Frame Width   550\n"
                           "  Frame Height  400\n"
                           "  Frame Rate    24\n"
                           "  Frame Count   300\n");
}

TEST_F(FilmcastInfo, JsonListsEveryGoodMovieAndFailsForTheRest) {
    const Outcome run = Filmcast(
        {"info", "--json", At("movie.swf"), At("notes.txt"), At("missing.swf"), At("movie.swf")});
    EXPECT_EQ(run.status, 1);
    const std::string object = "{\"file\": \"" + At("movie.swf") +
                               "\", \"flash_ver\": 10, \"flash_length\": 25, \"frame_width\": "
                               "550, \"frame_height\": 400, \"frame_rate\": 24, \"frame_count\": "
                               "300}";
    EXPECT_EQ(run.out, "[\n  " + object + ",\n  " + object + "\n]\n");
    EXPECT_EQ(run.err, "filmcast: " + At("notes.txt") +
                           ": not a Flash movie (no FWS, CWS or ZWS signature)\n"
                           "filmcast: " +
                           At("missing.swf") + ": cannot open: No such file or directory\n");
}

TEST_F(FilmcastInfo, NoMovieIsAUsageError) {
    EXPECT_EQ(Filmcast({"info"}).status, 2);
    const Outcome empty = Filmcast({"info", "--json", At("missing.swf")});
    EXPECT_EQ(empty.status, 1);
    EXPECT_EQ(empty.out, "[]\n");
}

// The command line must run where Qt is not installed.
TEST(FilmcastLinks, NoQt) {
    const std::string command = "ldd " + std::string(FILMCAST_BINARY_DIR) + "/filmcast";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    ASSERT_TRUE(pipe);
    std::string libraries;
    std::array<char, 512> line{};
    while (fgets(line.data(), int(line.size()), pipe.get())) libraries += line.data();
    EXPECT_NE(libraries.find("libc.so"), std::string::npos);
    EXPECT_EQ(libraries.find("libQt"), std::string::npos) << libraries;
}

namespace {

// A movie of twenty frames, each defining and placing a shape: a body of a few kilobytes.
swfw::Buffer TwentyFrames() {
    swfw::Movie m;
    for (std::uint16_t i = 1; i <= 20; ++i) {
        swfw::Shape s(i);
        s.Fill(s.AddFill(swfw::FillStyle::Solid(swfw::Rgb(std::uint8_t(i * 12), 0, 0))))
            .Ellipse(i * 300, i * 200, 900 + i * 7, 500 + i * 11);
        m.Define(s).Place(swfw::PlaceObject::New(i, i)).ShowFrame();
    }
    return m.Body();
}

enum class Damage { kNone, kCut, kCorrupt };

struct LengthCase {
    const char* name;
    swfw::Compression compression;
    long lengthField;  // -1: the true length
    Damage damage;
    int status;
    const char* said;  // on stderr ("" for nothing)
};

class InfoLength : public FilmcastInfo, public testing::WithParamInterface<LengthCase> {};

// The header's values are listed as the file states them whatever its length field says; the
// length is compared with the movie and said on stderr: a note when players play the movie
// whole, a warning (and exit 1) when the body is short or cannot be inflated.
TEST_P(InfoLength, ListsTheMovieAndSaysHowItsLengthCompares) {
    const LengthCase& c = GetParam();
    const swfw::Buffer body = TwentyFrames();
    std::optional<std::uint32_t> field;
    if (c.lengthField >= 0) field = std::uint32_t(c.lengthField);
    swfw::Buffer file = swfw::Pack(c.compression, 10, body, field);
    if (c.damage == Damage::kCut) file.resize(file.size() * 2 / 3);
    if (c.damage == Damage::kCorrupt)
        for (std::size_t i = file.size() / 2; i < file.size() / 2 + 16; ++i) file[i] ^= 0x5A;
    std::ofstream(At("m.swf"), std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));

    const Outcome run = Filmcast({"info", "--json", At("m.swf")});
    EXPECT_EQ(run.status, c.status) << run.err;
    const std::string listed =
        "\"flash_length\": " +
        std::to_string(c.lengthField >= 0 ? c.lengthField : long(body.size() + 8)) + ",";
    EXPECT_NE(run.out.find(listed), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"frame_count\": 20}"), std::string::npos) << run.out;
    if (*c.said == 0)
        EXPECT_EQ(run.err, "");
    else
        EXPECT_NE(run.err.find(c.said), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), *c.said ? 1 : 0) << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Fields, InfoLength,
    testing::Values(
        LengthCase{"PlainExact", swfw::Compression::None, -1, Damage::kNone, 0, ""},
        LengthCase{"PlainZero", swfw::Compression::None, 0, Damage::kNone, 0, "length field is 0"},
        LengthCase{"PlainSmall", swfw::Compression::None, 100, Damage::kNone, 0, "fewer than"},
        LengthCase{"PlainCut", swfw::Compression::None, -1, Damage::kCut, 1,
                   "warning: the movie is truncated"},
        LengthCase{"PlainHuge", swfw::Compression::None, 0xFFFFFFFF, Damage::kNone, 1, "truncated"},
        LengthCase{"ZlibExact", swfw::Compression::Zlib, -1, Damage::kNone, 0, ""},
        LengthCase{"ZlibZero", swfw::Compression::Zlib, 0, Damage::kNone, 0, "length field is 0"},
        LengthCase{"ZlibSmall", swfw::Compression::Zlib, 100, Damage::kNone, 0, "fewer than"},
        LengthCase{"ZlibCut", swfw::Compression::Zlib, -1, Damage::kCut, 1, "truncated"},
        LengthCase{"ZlibCutWithZero", swfw::Compression::Zlib, 0, Damage::kCut, 1, "breaks off"},
        LengthCase{"ZlibCorrupt", swfw::Compression::Zlib, -1, Damage::kCorrupt, 1,
                   "warning: the compressed body cannot be inflated"},
        LengthCase{"LzmaExact", swfw::Compression::Lzma, -1, Damage::kNone, 0, ""},
        LengthCase{"LzmaZero", swfw::Compression::Lzma, 0, Damage::kNone, 0, "length field is 0"},
        LengthCase{"LzmaCut", swfw::Compression::Lzma, -1, Damage::kCut, 1, "truncated"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
