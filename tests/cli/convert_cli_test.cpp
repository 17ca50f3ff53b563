// `filmcast convert` and `filmcast frames` as a user runs them: the binary in a scratch folder,
// its GIFs read back by giflib and compared with the engine's own pictures.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/cli_scratch.h"
#include "tests/support/gif_reader.h"
#include "tests/support/test_movies.h"
#include "tests/support/swf_writer.h"

namespace fs = std::filesystem;

namespace {

using testcli::Result;

class ConvertCliTest : public testcli::ScratchTest {
  protected:
    testgif::Gif ReadGif(const std::string& name) const { return testgif::Read(Path(name)); }
};

TEST_F(ConvertCliTest, GifHasEveryFrameAtTheSizeAndRateAsked) {
    ASSERT_TRUE(testmovies::WriteSteppedMovie(Path("intro.swf"), 5));
    const Result r = Run("convert intro.swf -o out --fps 25 --size 110x80");
    ASSERT_EQ(r.status, 0) << r.err;
    const testgif::Gif gif = ReadGif("out/intro.gif");
    ASSERT_TRUE(gif.ok);
    ASSERT_EQ(gif.pages.size(), 5u);
    EXPECT_EQ(gif.width, 110);
    EXPECT_EQ(gif.height, 80);
    // Five frames at 12 a second sampled 25 times a second: each frame from the first
    // twenty-fifth after it starts, the movie's 0.42 s kept.
    const int delays[] = {12, 8, 8, 8, 6};
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(gif.pages[k].delayCs, delays[k]) << "page " << k;
        const CSurface expected = testmovies::EngineFrame(Path("intro.swf"), k, 110, 80);
        EXPECT_LT(testmovies::MismatchedShare(expected, gif.pages[k].rgb.data(), 24), 0.01)
            << "page " << k;
    }
    EXPECT_TRUE(fs::is_empty(dir_ / "tmp")) << "the private working folder is removed";
    for (const auto& entry : fs::directory_iterator(dir_ / "out"))
        EXPECT_EQ(entry.path().filename(), "intro.gif") << "no temporary file is left";
}

TEST_F(ConvertCliTest, StageSizeAndTheMoviesRateByDefault) {
    ASSERT_TRUE(testmovies::WriteSteppedMovie(Path("intro.swf"), 3, 10.0));
    ASSERT_EQ(Run("convert intro.swf").status, 0);
    const testgif::Gif gif = ReadGif("intro.gif");
    ASSERT_EQ(gif.pages.size(), 3u);
    EXPECT_EQ(gif.width, 220);
    EXPECT_EQ(gif.height, 160);
    EXPECT_EQ(gif.pages[0].delayCs, 10);
    ASSERT_EQ(Run("convert intro.swf --scale 0.5 -o half").status, 0);
    EXPECT_EQ(ReadGif("half/intro.gif").width, 110);
}

TEST_F(ConvertCliTest, BrokenMovieIsReportedAndTheOthersStillConvert) {
    ASSERT_TRUE(testmovies::WriteSteppedMovie(Path("good.swf"), 3));
    { std::ofstream(Path("bad.swf")) << "this is no movie"; }
    fs::create_directories(dir_ / "out");
    { std::ofstream(Path("out/bad.gif")) << "an older animation"; }
    const Result r = Run("convert bad.swf good.swf -o out -j 2");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("bad.swf: "), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(ReadGif("out/good.gif").pages.size(), 3u);
    std::ifstream old(Path("out/bad.gif"));
    std::string text;
    std::getline(old, text);
    EXPECT_EQ(text, "an older animation") << "a failed conversion keeps the existing GIF";
}

TEST_F(ConvertCliTest, InterruptedBatchStopsAndLeavesNoPartialFiles) {
    // Long enough at this size that the batch is still converting when Ctrl-C comes.
    ASSERT_TRUE(testmovies::WriteSteppedMovie(Path("long.swf"), 3000));
    ASSERT_TRUE(testmovies::WriteSteppedMovie(Path("later.swf"), 3000));
    // The shell starts filmcast in the background and sends it SIGINT, as Ctrl-C would.
    const std::string command = "cd '" + dir_.string() + "' || exit 9; TMPDIR='" +
                                (dir_ / "tmp").string() +
                                "' '" FILMCAST_BINARY_DIR
                                "/filmcast' convert long.swf later.swf -o out --size 1600x1200 "
                                "-j 2 2> err.txt & pid=$!; sleep 1.5; kill -INT $pid; wait $pid";
    const int raw = std::system(command.c_str());
    Result r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    EXPECT_EQ(r.status, 130) << r.err;
    EXPECT_TRUE(fs::is_empty(dir_ / "tmp")) << "the private working folders are removed";
    if (fs::exists(dir_ / "out")) {
        EXPECT_TRUE(fs::is_empty(dir_ / "out")) << "no partial GIF";
    }
}

TEST_F(ConvertCliTest, SameOutputNameTwiceIsAClashForTheLaterInput) {
    fs::create_directories(dir_ / "a");
    fs::create_directories(dir_ / "b");
    ASSERT_TRUE(testmovies::WriteSteppedMovie(Path("a/x.swf"), 2));
    ASSERT_TRUE(testmovies::WriteSteppedMovie(Path("b/x.swf"), 4));
    const Result r = Run("convert a/x.swf b/x.swf");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("b/x.swf"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("a/x.swf:"), std::string::npos) << r.err;
    EXPECT_EQ(ReadGif("x.gif").pages.size(), 2u);
}

TEST_F(ConvertCliTest, UsageErrorsExitWithTwoAndAHint) {
    ASSERT_TRUE(testmovies::WriteSteppedMovie(Path("m.swf"), 2));
    for (const char* args :
         {"convert", "convert m.swf --size 3y4", "convert m.swf --fps 0",
          "convert m.swf --size 10x10 --scale 2", "convert m.swf --from 3 --to 1",
          "frames m.swf --format jpg", "nonsense"}) {
        const Result r = Run(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find("--help"), std::string::npos) << args << ": " << r.err;
    }
    EXPECT_FALSE(fs::exists(Path("m.gif")));
}

TEST_F(ConvertCliTest, OneRootFrameIsPlayedForItsLongestClip) {
    ASSERT_TRUE(testmovies::WriteClipMovie(Path("clip.swf"), 6));
    const Result r = Run("convert clip.swf");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("6 ticks"), std::string::npos) << r.err;
    const testgif::Gif gif = ReadGif("clip.gif");
    ASSERT_EQ(gif.pages.size(), 6u);
    for (int k = 0; k < 6; ++k) {
        const CSurface expected = testmovies::EngineFrame(Path("clip.swf"), k, 220, 160, true);
        EXPECT_LT(testmovies::MismatchedShare(expected, gif.pages[k].rgb.data(), 24), 0.01)
            << "page " << k;
    }
    EXPECT_TRUE(Run("convert -q clip.swf").err.empty());
}

TEST_F(ConvertCliTest, FramesAndRangesSelectWhatIsCaptured) {
    ASSERT_TRUE(testmovies::WriteSteppedMovie(Path("m.swf"), 6));
    ASSERT_EQ(Run("convert m.swf --frames 3 -o ticks").status, 0);
    EXPECT_EQ(ReadGif("ticks/m.gif").pages.size(), 3u);
    ASSERT_EQ(Run("convert m.swf --from 2 --to 4 -o range").status, 0);
    const testgif::Gif gif = ReadGif("range/m.gif");
    ASSERT_EQ(gif.pages.size(), 3u);
    for (int k = 0; k < 3; ++k) {
        const CSurface expected = testmovies::EngineFrame(Path("m.swf"), k + 2, 220, 160);
        EXPECT_LT(testmovies::MismatchedShare(expected, gif.pages[k].rgb.data(), 24), 0.01);
    }
    // The first N frames (as the corpus run asks): --to N-1 alone stops there, and a movie
    // shorter than that is taken whole instead of failing.
    ASSERT_EQ(Run("convert m.swf --to 1 -o first").status, 0);
    EXPECT_EQ(ReadGif("first/m.gif").pages.size(), 2u);
    ASSERT_EQ(Run("convert m.swf -o all").status, 0);
    ASSERT_EQ(Run("convert m.swf --to 49 -o fifty").status, 0);
    EXPECT_EQ(ReadGif("fifty/m.gif").pages.size(), ReadGif("all/m.gif").pages.size());
}

TEST_F(ConvertCliTest, FramesWritesTheNumberedSequence) {
    ASSERT_TRUE(testmovies::WriteSteppedMovie(Path("m.swf"), 3));
    const Result r = Run("frames m.swf -o seq --format png --size 64x48");
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* name : {"m-00000.png", "m-00001.png", "m-00002.png"})
        EXPECT_TRUE(fs::exists(dir_ / "seq" / name)) << name;
    EXPECT_FALSE(fs::exists(dir_ / "seq/m-00003.png"));
    ASSERT_EQ(Run("frames m.swf -o tga --format tga").status, 0);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "tga"), fs::directory_iterator{}), 3);
    EXPECT_EQ(Run("frames missing.swf").status, 1);
}

// A red triangle on white whose long side runs diagonally across the 40 x 40 stage.
bool WriteDiagonalMovie(const std::string& path) {
    swfw::Movie m;
    m.Size(40, 40).Background(swfw::Rgb(255, 255, 255));
    swfw::Shape s(1);
    s.Fill(s.AddFill(swfw::FillStyle::Solid(swfw::Rgb(255, 0, 0))))
        .Polygon({{0, 0}, {800, 0}, {0, 800}});
    m.Define(s).Place(swfw::PlaceObject::New(1, 1)).ShowFrame();
    return m.Save(path);
}

std::size_t ColoursOf(const testgif::Gif& gif) {
    if (gif.pages.empty()) return 0;
    const auto& rgb = gif.pages.front().rgb;
    std::vector<std::uint32_t> sorted(rgb);
    std::sort(sorted.begin(), sorted.end());
    return std::unique(sorted.begin(), sorted.end()) - sorted.begin();
}

TEST_F(ConvertCliTest, QualityReachesTheEngine) {
    ASSERT_TRUE(WriteDiagonalMovie(Path("m.swf")));
    Result r = Run("convert m.swf -o low --quality low");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ColoursOf(ReadGif("low/m.gif")), 2u);
    r = Run("convert m.swf -o high");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_GT(ColoursOf(ReadGif("high/m.gif")), 2u);
    EXPECT_EQ(Run("frames m.swf -o seq --quality LOW").status, 0);
    for (const char* command : {"convert", "frames", "frame"})
        EXPECT_EQ(Run(std::string(command) + " m.swf -o x.png --quality crisp").status, 2)
            << command;
}

TEST_F(ConvertCliTest, TheGifLastsAsLongAsTheMovie) {
    ASSERT_TRUE(testmovies::WriteSteppedMovie(Path("m.swf"), 12, 12.0));
    ASSERT_EQ(Run("convert m.swf").status, 0);
    const testgif::Gif gif = ReadGif("m.gif");
    ASSERT_EQ(gif.pages.size(), 12u);
    int total = 0;
    for (const auto& page : gif.pages) {
        EXPECT_TRUE(page.delayCs == 8 || page.delayCs == 9) << page.delayCs;
        total += page.delayCs;
    }
    EXPECT_EQ(total, 100);
    // Half the pictures, the same second.
    ASSERT_EQ(Run("convert m.swf --fps 6 -o six").status, 0);
    const testgif::Gif six = ReadGif("six/m.gif");
    ASSERT_EQ(six.pages.size(), 6u);
    const int delays[] = {17, 16, 17, 17, 16, 17};
    for (int k = 0; k < 6; ++k) EXPECT_EQ(six.pages[k].delayCs, delays[k]) << "page " << k;
}

TEST_F(ConvertCliTest, AStillMovieIsOnePicture) {
    ASSERT_TRUE(WriteDiagonalMovie(Path("m.swf")));
    ASSERT_EQ(Run("convert m.swf --frames 40").status, 0);
    const testgif::Gif gif = ReadGif("m.gif");
    ASSERT_EQ(gif.pages.size(), 1u);
    EXPECT_EQ(gif.pages[0].delayCs, 333) << "40 ticks at 12 a second";
    ASSERT_EQ(Run("convert m.swf --frames 40 --no-optimize -o whole").status, 0);
    EXPECT_EQ(ReadGif("whole/m.gif").pages.size(), 40u) << "unmerged, one a tick";
}

struct LoopOption {
    const char* args;
    int loopCount;
};

TEST_F(ConvertCliTest, LoopCountsArePlaysLessOne) {
    ASSERT_TRUE(testmovies::WriteSteppedMovie(Path("m.swf"), 2));
    for (const LoopOption& c : {LoopOption{"", 0}, LoopOption{"--loop 0", 0},
                                LoopOption{"--loop 1", -1}, LoopOption{"--loop 3", 2}}) {
        ASSERT_EQ(Run(std::string("convert m.swf -o out ") + c.args).status, 0) << c.args;
        EXPECT_EQ(ReadGif("out/m.gif").loopCount, c.loopCount) << c.args;
    }
}

TEST_F(ConvertCliTest, ColourOptionsShapeThePictures) {
    ASSERT_TRUE(testmovies::WriteSteppedMovie(Path("m.swf"), 4));
    ASSERT_EQ(Run("convert m.swf -o global --palette global").status, 0);
    const testgif::Gif global = ReadGif("global/m.gif");
    EXPECT_TRUE(global.globalPalette);
    for (const auto& page : global.pages) EXPECT_FALSE(page.localPalette);
    ASSERT_EQ(Run("convert m.swf -o whole --no-optimize --dither none").status, 0);
    for (const auto& page : ReadGif("whole/m.gif").pages)
        EXPECT_EQ(page.pictureWidth * page.pictureHeight, 220 * 160);
    ASSERT_EQ(Run("convert m.swf -o few --colors 3 --dither ordered").status, 0);
    for (const auto& page : ReadGif("few/m.gif").pages) {
        std::vector<std::uint32_t> colours(page.rgb);
        std::sort(colours.begin(), colours.end());
        EXPECT_LE(std::unique(colours.begin(), colours.end()) - colours.begin(), 3 + 1);
    }
    ASSERT_EQ(Run("convert m.swf -o exact --tolerance 0").status, 0);
    for (const char* bad : {"--colors 1", "--colors 257", "--dither floyd", "--palette shared",
                            "--matte red", "--matte #12345", "--loop -1", "--fps 0",
                            "--tolerance -1", "--tolerance 256"})
        EXPECT_EQ(Run(std::string("convert m.swf ") + bad).status, 2) << bad;
}

// Blocks moving over a transparent stage leave no trail: every page shows exactly the pixels
// the movie draws, whatever was shown before.
TEST_F(ConvertCliTest, TransparentStageShowsOnlyWhatIsDrawn) {
    ASSERT_TRUE(testmovies::WriteSteppedMovie(Path("m.swf"), 6));
    const Result r = Run("convert m.swf --transparent --matte '#102030'");
    ASSERT_EQ(r.status, 0) << r.err;
    const testgif::Gif gif = ReadGif("m.gif");
    ASSERT_EQ(gif.pages.size(), 6u);
    for (int k = 0; k < 6; ++k) {
        const CSurface engine = testmovies::EngineFrame(Path("m.swf"), k, 220, 160);
        int wrong = 0;
        for (int y = 0; y < 160; ++y) {
            for (int x = 0; x < 220; ++x) {
                const bool drawn = (engine.Row(y)[x] & 0xFFFFFF) != 0xFFFFFF;
                if (gif.pages[k].Shown(x, y) != drawn) ++wrong;
            }
        }
        EXPECT_EQ(wrong, 0) << "page " << k;
    }
}

TEST(ConvertCli, LinksNoQt) {
    const std::string command = "ldd '" FILMCAST_BINARY_DIR "/filmcast' | grep -qi qt";
    EXPECT_NE(std::system(command.c_str()), 0);
}

}  // namespace

namespace {

struct FormatCase {
    const char* extension;
    std::string magic;
    int offset = 0;  // where the magic bytes start
};

class FrameFormatTest : public ConvertCliTest, public ::testing::WithParamInterface<FormatCase> {};

// `filmcast frame` writes every format of the codec registry by the file's extension.
TEST_P(FrameFormatTest, ExtensionPicksTheFormat) {
    ASSERT_TRUE(testmovies::WriteSteppedMovie(Path("m.swf"), 3));
    const std::string name = std::string("shot.") + GetParam().extension;
    const Result r = Run("frame m.swf --at 1 -o " + name);
    ASSERT_EQ(r.status, 0) << r.err;
    std::ifstream in(Path(name), std::ios::binary);
    in.seekg(GetParam().offset);
    std::string head(GetParam().magic.size(), '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    EXPECT_EQ(head, GetParam().magic);
}

INSTANTIATE_TEST_SUITE_P(Formats, FrameFormatTest,
                         ::testing::Values(FormatCase{"png", "\x89PNG"}, FormatCase{"bmp", "BM"},
                                           FormatCase{"gif", "GIF8"}, FormatCase{"jpg", "\xFF\xD8"},
                                           FormatCase{"jpeg", "\xFF\xD8"},
                                           FormatCase{"tif", std::string("II*\0", 4)},
                                           FormatCase{"tga", std::string("\0\2", 2), 1}));

TEST_F(ConvertCliTest, FrameRefusesAnUnknownExtension) {
    ASSERT_TRUE(testmovies::WriteSteppedMovie(Path("m.swf"), 1));
    const Result r = Run("frame m.swf -o shot.xyz");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("shot.xyz"), std::string::npos) << r.err;
}

}  // namespace
