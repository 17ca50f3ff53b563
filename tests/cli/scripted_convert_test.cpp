// Movies animated by their scripts through the binary: how long `convert` plays them (to their
// picture's loop or for --duration), and scripted clicks and keys (--click, --key) that take a
// movie past its start screen. The movies are built with the SWF writer and the assembler.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/cli_scratch.h"
#include "tests/support/gif_reader.h"
#include "tests/support/avm1_asm.h"
#include "tests/support/swf_writer.h"

namespace fs = std::filesystem;

namespace {

using testcli::Result;

using swfw::Asm;
using Op = swfw::Op;

swfw::Shape Box(std::uint16_t id, swfw::Color color, int x, int y, int w, int h) {
    swfw::Shape s(id);
    s.Fill(s.AddFill(swfw::FillStyle::Solid(color))).Rectangle(x * 20, y * 20, w * 20, h * 20);
    return s;
}

// 100 x 100 at 10 frames a second, with a red (1) and a blue (3) box in the library.
swfw::Movie Stage() {
    swfw::Movie m;
    m.Version(8).Size(100, 100).Rate(10).Background(swfw::Rgb(255, 255, 255));
    m.Define(Box(1, swfw::Rgb(255, 0, 0), 0, 0, 20, 20))
        .Define(Box(3, swfw::Rgb(0, 0, 255), 0, 0, 100, 100));
    return m;
}

// One root frame; clip "c" (the red box) moved by its onEnterFrame with `step`.
swfw::Movie MovedByScript(const std::function<void(Asm&)>& step) {
    swfw::Movie m = Stage();
    swfw::Sprite clip(20);
    clip.Place(swfw::PlaceObject::New(1, 1)).ShowFrame();
    m.Define(clip).Place(swfw::PlaceObject::New(20, 1).Name("c"));
    Asm a;
    a.GetVariable("c").Push("onEnterFrame");
    a.DefineFunction("", {}, step);
    a.Op(Op::kSetMember);
    m.Do(a).ShowFrame();
    return m;
}

// A start screen: the red box is a button (hit area the box at 40, 40) whose release sends
// the root to its second frame, all blue; both frames stop. With --key, Enter does the same.
swfw::Movie StartScreen() {
    swfw::Movie m = Stage();
    swfw::Button button;
    button.id = 10;
    swfw::ButtonRecord r;
    r.characterId = 1;
    r.up = r.over = r.down = r.hitTest = true;
    button.records.push_back(r);
    for (std::uint16_t conditions : {std::uint16_t(swfw::kOverDownToOverUp), std::uint16_t(13 << 1)}) {
        swfw::ButtonAction go;
        go.conditions = conditions;
        go.actions.GotoFrame(1);
        button.actions.push_back(go);
    }
    Asm stop;
    stop.Op(Op::kStop);
    m.Define(button).Place(swfw::PlaceObject::New(10, 1).At(800, 800)).Do(stop).ShowFrame();
    m.Remove(1).Place(swfw::PlaceObject::New(3, 2)).Do(stop).ShowFrame();
    return m;
}

class ScriptedConvertTest : public testcli::ScratchTest {
  protected:
    void Save(const swfw::Movie& m, const std::string& name) const {
        std::string error;
        ASSERT_TRUE(m.Save((dir_ / name).string(), &error)) << error;
    }
    testgif::Gif Gif(const std::string& name) const { return testgif::Read((dir_ / name).string()); }
};

// How many frames a scripted one-frame movie gives, and what stderr says of it.
TEST_F(ScriptedConvertTest, ScriptedMoviesPlayToTheirLoopOrForTheDuration) {
    // this._x = (this._x + 4) % 20: back where it started after five ticks.
    Save(MovedByScript([](Asm& b) {
             b.Push("this").Op(Op::kGetVariable).Push("_x");
             b.Push("this").Op(Op::kGetVariable).Push("_x").Op(Op::kGetMember);
             b.Push(4).Op(Op::kAdd2).Push(20).Op(Op::kModulo).Op(Op::kSetMember);
         }),
         "loops.swf");
    // this._x += 1: never back.
    Save(MovedByScript([](Asm& b) {
             b.Push("this").Op(Op::kGetVariable).Push("_x");
             b.Push("this").Op(Op::kGetVariable).Push("_x").Op(Op::kGetMember);
             b.Push(1).Op(Op::kAdd2).Op(Op::kSetMember);
         }),
         "drifts.swf");
    struct Case {
        const char* args;
        const char* gif;
        std::size_t pages;
        const char* says;  // in stderr
    } cases[] = {
        {"convert loops.swf", "loops.gif", 5, "a loop"},
        {"convert loops.swf --duration 0.3", "loops.gif", 3, "--duration"},
        {"convert drifts.swf", "drifts.gif", 100, "10 s of movie time"},
        {"convert drifts.swf --duration 1.5", "drifts.gif", 15, "--duration"},
        {"convert drifts.swf --frames 7", "drifts.gif", 7, ""},
    };
    for (const Case& c : cases) {
        const Result r = Run(c.args);
        ASSERT_EQ(r.status, 0) << c.args << ": " << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << c.args << ": " << r.err;
        EXPECT_EQ(Gif(c.gif).pages.size(), c.pages) << c.args;
    }
}

// The start screen waits: without input the last frame still shows the button; a click on it
// (or Enter) moves the movie on, and the GIF's last frame shows the second picture.
TEST_F(ScriptedConvertTest, ClickOrKeyTakesAMoviePastItsStartScreen) {
    Save(StartScreen(), "start.swf");
    constexpr std::uint32_t kBlue = 0x0000FF, kRed = 0xFF0000, kWhite = 0xFFFFFF;
    struct Case {
        const char* input;
        std::uint32_t centre, corner;  // the last page at (50, 50) and (5, 5)
    } cases[] = {
        {"", kRed, kWhite},
        {"--click 50,50@3", kBlue, kBlue},
        {"--click 5,5@3", kRed, kWhite},  // beside the button
        {"--key Enter@2", kBlue, kBlue},
        {"--key Space@2", kRed, kWhite},
    };
    for (const Case& c : cases) {
        const Result r = Run(std::string("convert start.swf --no-optimize --duration 1 ") + c.input);
        ASSERT_EQ(r.status, 0) << c.input << ": " << r.err;
        const testgif::Gif gif = Gif("start.gif");
        ASSERT_EQ(gif.pages.size(), 10u) << c.input;
        EXPECT_EQ(gif.pages.back().At(50, 50) & 0xFFFFFF, c.centre) << c.input;
        EXPECT_EQ(gif.pages.back().At(5, 5) & 0xFFFFFF, c.corner) << c.input;
        EXPECT_EQ(gif.pages.front().At(50, 50) & 0xFFFFFF, kRed) << c.input;
    }
}

TEST_F(ScriptedConvertTest, TraceAndFrameTakeInputToo) {
    Save(StartScreen(), "start.swf");
    Result r = Run("frame start.swf --at 4 --click 50,50@2 -o after.png");
    ASSERT_EQ(r.status, 0) << r.err;
    r = Run("frame start.swf --at 1 --click 50,50@2 -o before.png");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(Slurp("after.png"), Slurp("before.png"));
}

TEST_F(ScriptedConvertTest, MalformedInputOptionsAreUsageErrors) {
    Save(StartScreen(), "start.swf");
    for (const char* bad : {"--click 50@3", "--click 50,50", "--click x,50@3", "--click 50,50@-1",
                            "--click 50,50@99999999999", "--key Hyper@1", "--key Enter",
                            "--key @1", "--click 1e9,5@1"}) {
        const Result r = Run(std::string("trace start.swf ") + bad);
        EXPECT_EQ(r.status, 2) << bad << ": " << r.err;
    }
}

}  // namespace
