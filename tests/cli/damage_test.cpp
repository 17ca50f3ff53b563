// What `filmcast` says about damaged and outsized movies: a movie that ends early converts what
// it has and says how many frames its header promised and how many were read; a stage larger
// than the cap is drawn at the cap with a note; a frame rate faster than GIF delays can show
// gives the shortest delay players honour.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/cli_scratch.h"
#include "tests/support/gif_reader.h"
#include "tests/support/test_movies.h"
#include "tests/support/swf_writer.h"

namespace fs = std::filesystem;

namespace {

using testcli::Result;

class Damage : public testcli::ScratchTest {
  protected:
    void Save(const std::string& name, const swfw::Buffer& bytes) const {
        std::ofstream(Path(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
};

// Ten frames, each placing a shape of its own, so a cut anywhere loses whole frames.
swfw::Movie TenFrames() {
    swfw::Movie m;
    m.Size(110, 80).Background(swfw::Rgb(255, 255, 255));
    for (std::uint16_t i = 1; i <= 10; ++i) {
        swfw::Shape s(i);
        s.Fill(s.AddFill(swfw::FillStyle::Solid(swfw::Rgb(std::uint8_t(i * 20), 0, 0))))
            .Rectangle(i * 100, 200, 300, 300);
        m.Define(s).Place(swfw::PlaceObject::Replace(i, 1)).ShowFrame();
        if (i == 1) m.Place(swfw::PlaceObject::New(1, 2));
    }
    return m;
}

// Frames read before a tag whose length runs past the end of the file.
swfw::Movie LyingTagAfter(int frames) {
    swfw::Movie cut;
    cut.Size(110, 80).Background(swfw::Rgb(255, 255, 255));
    cut.frameCount = 10;
    for (std::uint16_t i = 1; i <= frames; ++i) {
        swfw::Shape s(i);
        s.Fill(s.AddFill(swfw::FillStyle::Solid(swfw::Rgb(200, 0, 0)))).Rectangle(0, 0, 300, 300);
        cut.Define(s).Place(swfw::PlaceObject::Replace(i, 1)).ShowFrame();
    }
    cut.Tag(swfw::RawTag(12, {0x07, 0x00}, false, 100000));  // a DoAction claiming 100,000 bytes
    return cut;
}

TEST_F(Damage, TruncatedBodyConvertsWhatItHasAndSaysSo) {
    for (const swfw::Compression compression : {swfw::Compression::None, swfw::Compression::Zlib}) {
        swfw::Movie m = TenFrames();
        m.compression = compression;
        swfw::Buffer bytes = m.Bytes();
        bytes.resize(bytes.size() * 45 / 100);
        Save("cut.swf", bytes);
        const Result r = Run("convert cut.swf -o out");
        ASSERT_EQ(r.status, 0) << r.err;
        const testgif::Gif gif = testgif::Read(Path("out/cut.gif"));
        ASSERT_TRUE(gif.ok);
        EXPECT_LT(gif.pages.size(), 10u);
        EXPECT_NE(r.err.find("its header promises 10 frames, " + std::to_string(gif.pages.size()) +
                             " could be read"),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(Run("convert -q cut.swf -o quiet").err, "");
    }
}

TEST_F(Damage, TagRunningPastTheEndIsSaid) {
    Save("lying.swf", LyingTagAfter(6).Bytes());
    // Its frames look alike: unmerged, one picture each.
    const Result r = Run("convert lying.swf -o out --no-optimize");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(testgif::Read(Path("out/lying.gif")).pages.size(), 6u);
    EXPECT_NE(r.err.find("promises 10 frames, 6 could be read"), std::string::npos) << r.err;

    const Result frames = Run("frames lying.swf -o seq --format png");
    EXPECT_EQ(frames.status, 0);
    EXPECT_NE(frames.err.find("promises 10 frames, 6 could be read"), std::string::npos);
}

TEST_F(Damage, TagRunningPastTheEndBeforeTheFirstFrameFails) {
    Save("lying.swf", LyingTagAfter(0).Bytes());
    const Result r = Run("convert lying.swf -o out");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("ends before its first frame (its header promises 10)"), std::string::npos)
        << r.err;
}

TEST_F(Damage, StageLargerThanTheCapIsDrawnAtTheCapWithANote) {
    swfw::Movie m;
    m.Size(53687091, 53687091).Background(swfw::Rgb(200, 220, 240));
    m.ShowFrame().ShowFrame();
    Save("huge.swf", m.Bytes());
    const Result r = Run("convert huge.swf -o out --to 0");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("the stage is 53687091x53687091 pixels, larger than the 4096-pixel cap; "
                         "drawn at 4096x4096"),
              std::string::npos)
        << r.err;
    const testgif::Gif gif = testgif::Read(Path("out/huge.gif"));
    EXPECT_EQ(gif.width, 4096);
    EXPECT_EQ(gif.height, 4096);
    EXPECT_NE(Run("frame huge.swf -o shot.bmp").err.find("4096-pixel cap"), std::string::npos);
}

// GIF delays are whole hundredths; players show one under two hundredths at a tenth of a
// second, so the fastest rates show 50 pictures a second of the movie's time, two hundredths
// each, and the movie lasts as long as it plays.
TEST_F(Damage, FrameRatesFasterThanGifDelaysGiveTwoHundredths) {
    // 30 frames at 255.99 a second: 0.117 s.
    ASSERT_TRUE(testmovies::WriteSteppedMovie(Path("fast.swf"), 30, 255.99));
    const Result r = Run("convert fast.swf -o out");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("the GIF shows 50 frames a second"), std::string::npos) << r.err;
    ASSERT_EQ(Run("convert fast.swf -o asked --fps 100").status, 0);
    ASSERT_EQ(Run("convert fast.swf -o fifty --fps 50").status, 0);
    for (const char* folder : {"out", "asked", "fifty"}) {
        const testgif::Gif gif = testgif::Read(Path(std::string(folder) + "/fast.gif"));
        ASSERT_EQ(gif.pages.size(), 6u) << folder;
        for (const auto& page : gif.pages) EXPECT_EQ(page.delayCs, 2) << folder;
    }
    ASSERT_EQ(Run("convert fast.swf -o twelve --fps 12").status, 0);
    const testgif::Gif twelve = testgif::Read(Path("twelve/fast.gif"));
    ASSERT_EQ(twelve.pages.size(), 2u);
    EXPECT_EQ(twelve.pages[0].delayCs, 8);
    EXPECT_EQ(twelve.pages[1].delayCs, 4);
}

// A frame needing more drawing work than a frame may take (a thousand tiny clips under the
// widest blur) keeps what it drew; the conversion goes on, says so once and succeeds.
TEST_F(Damage, FrameCutAtTheWorkBudgetIsSaidAndTheConversionSucceeds) {
    ASSERT_TRUE(testmovies::WriteHeavyFilterMovie(Path("heavy.swf"), 2));
    const Result r = Run("convert heavy.swf -o out --no-optimize");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("2 of 2 frames needed more drawing work than a frame may take"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(testgif::Read(Path("out/heavy.gif")).pages.size(), 2u);
}

}  // namespace
