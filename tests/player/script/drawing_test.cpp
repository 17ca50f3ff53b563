// Scripts drawing on clips and colouring them: the pixels of fills, lines and gradients drawn
// with the MovieClip drawing methods, clear(), Color on a clip, and the flash.geom classes'
// arithmetic. Movies are built with the SWF writer and the bytecode assembler.
#include "player/drawing.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "player/player.h"
#include "tests/support/avm1_asm.h"
#include "tests/support/swf_writer.h"

namespace {

using swfw::Asm;
using Op = swfw::Op;

constexpr int kWidth = 550, kHeight = 400;

struct Run {
    std::unique_ptr<player::Player> player;
    std::vector<std::string> lines;
    std::vector<std::uint8_t> pixels;

    // B, G, R, A in memory.
    std::array<int, 3> Rgb(int x, int y) const {
        const std::uint8_t* p = &pixels[(y * kWidth + x) * 4];
        return {p[2], p[1], p[0]};
    }
};

// Runs one frame of `script` on the root and draws it.
std::unique_ptr<Run> Play(const Asm& script) {
    swfw::Movie m;
    m.Version(8);
    m.Do(script).ShowFrame();
    auto run = std::make_unique<Run>();
    std::string error;
    run->player = player::Player::Load(m.Bytes(), &error);
    EXPECT_TRUE(run->player) << error;
    if (!run->player) return run;
    player::ScriptSettings settings;
    settings.trace = [lines = &run->lines](std::string_view line) { lines->emplace_back(line); };
    run->player->SetScripting(std::move(settings));
    run->pixels.assign(kWidth * kHeight * 4, 0);
    run->player->Render({run->pixels.data(), kWidth, kHeight, kWidth * 4});
    return run;
}

// target.method(args...): the arguments are pushed last first.
template <class... Args>
Asm& Call(Asm& a, const std::string& target, const std::string& method, Args... args) {
    if constexpr (sizeof...(args) > 0) {
        std::vector<swfw::PushItem> items{swfw::PushItem(args)...};
        for (auto it = items.rbegin(); it != items.rend(); ++it) a.Push(*it);
    }
    a.Push(static_cast<int>(sizeof...(args)));
    a.GetVariable(target).Push(method).Op(Op::kCallMethod).Op(Op::kPop);
    return a;
}

Asm& Square(Asm& a, const std::string& target, int x0, int y0, int x1, int y1) {
    Call(a, target, "moveTo", x0, y0);
    Call(a, target, "lineTo", x1, y0);
    Call(a, target, "lineTo", x1, y1);
    Call(a, target, "lineTo", x0, y1);
    return Call(a, target, "lineTo", x0, y0);
}

bool Near(const std::array<int, 3>& got, std::array<int, 3> want, int tolerance = 12) {
    for (int i = 0; i < 3; ++i)
        if (std::abs(got[i] - want[i]) > tolerance) return false;
    return true;
}

constexpr std::array<int, 3> kWhite{255, 255, 255}, kRed{255, 0, 0}, kBlue{0, 0, 255};

TEST(ClipDrawing, FilledSquareCoversItsInsideOnly) {
    Asm a;
    Call(a, "_root", "beginFill", 0xFF0000, 100);
    Square(a, "_root", 10, 10, 50, 50);
    Call(a, "_root", "endFill");
    auto run = Play(a);
    EXPECT_TRUE(Near(run->Rgb(30, 30), kRed));
    EXPECT_TRUE(Near(run->Rgb(11, 48), kRed));
    EXPECT_TRUE(Near(run->Rgb(5, 5), kWhite));
    EXPECT_TRUE(Near(run->Rgb(60, 30), kWhite));
}

TEST(ClipDrawing, OpenFillIsClosedAndHalfAlphaBlends) {
    Asm a;
    Call(a, "_root", "beginFill", 0x0000FF, 50);
    Call(a, "_root", "moveTo", 100, 100);
    Call(a, "_root", "lineTo", 200, 100);
    Call(a, "_root", "lineTo", 200, 200);  // the fill closes itself back to (100, 100)
    Call(a, "_root", "endFill");
    auto run = Play(a);
    EXPECT_TRUE(Near(run->Rgb(190, 120), {127, 127, 255}));  // inside the triangle
    EXPECT_TRUE(Near(run->Rgb(110, 190), kWhite));           // beyond its closing edge
}

TEST(ClipDrawing, StrokedLineHasItsThickness) {
    Asm a;
    Call(a, "_root", "lineStyle", 4, 0x0000FF, 100);
    Call(a, "_root", "moveTo", 100, 100);
    Call(a, "_root", "lineTo", 200, 100);
    auto run = Play(a);
    EXPECT_TRUE(Near(run->Rgb(150, 100), kBlue));
    EXPECT_TRUE(Near(run->Rgb(150, 98), kBlue, 40));
    EXPECT_TRUE(Near(run->Rgb(150, 106), kWhite));
    EXPECT_TRUE(Near(run->Rgb(250, 100), kWhite));
}

TEST(ClipDrawing, ClearEmptiesTheDrawing) {
    Asm a;
    Call(a, "_root", "beginFill", 0xFF0000, 100);
    Square(a, "_root", 10, 10, 50, 50);
    Call(a, "_root", "clear");
    Call(a, "_root", "lineTo", 100, 100);  // the line style went with it
    auto run = Play(a);
    EXPECT_TRUE(Near(run->Rgb(30, 30), kWhite));
    EXPECT_TRUE(Near(run->Rgb(50, 50), kWhite));
}

// Both forms of a gradient's matrix put red at the box's left edge and blue at its right.
TEST(ClipDrawing, LinearGradientRunsAcrossItsBox) {
    const std::vector<std::function<void(Asm&)>> matrices = {
        [](Asm& a) {
            a.Push("matrixType", "box", "x", 0, "y", 0, "w", 200, "h", 100, "r", 0, 6)
                .Op(Op::kInitObject);
        },
        [](Asm& a) {
            a.Push("a", 200 / 1638.4, "b", 0, "c", 0, "d", 100 / 1638.4, "tx", 100, "ty", 50, 6)
                .Op(Op::kInitObject);
        },
    };
    for (const auto& matrix : matrices) {
        Asm a;
        matrix(a);
        a.Push(255, 0, 2).Op(Op::kInitArray);              // ratios
        a.Push(100, 100, 2).Op(Op::kInitArray);            // alphas
        a.Push(0x0000FF, 0xFF0000, 2).Op(Op::kInitArray);  // colours: red, blue
        a.Push("linear", 5)
            .GetVariable("_root")
            .Push("beginGradientFill")
            .Op(Op::kCallMethod)
            .Op(Op::kPop);
        Square(a, "_root", 0, 0, 200, 100);
        Call(a, "_root", "endFill");
        auto run = Play(a);
        EXPECT_TRUE(Near(run->Rgb(1, 50), kRed, 10));
        EXPECT_TRUE(Near(run->Rgb(198, 50), kBlue, 10));
        const auto middle = run->Rgb(100, 50);
        EXPECT_TRUE(middle[0] > 80 && middle[0] < 180 && middle[2] > 80 && middle[2] < 180);
    }
}

TEST(ClipDrawing, DrawingLiesBeneathTheClipsChildren) {
    Asm a;
    a.Push(1, "c", 2)
        .GetVariable("_root")
        .Push("createEmptyMovieClip")
        .Op(Op::kCallMethod)
        .Op(Op::kPop);
    Call(a, "c", "beginFill", 0x0000FF, 100);
    Square(a, "c", 20, 20, 40, 40);
    Call(a, "_root", "beginFill", 0xFF0000, 100);
    Square(a, "_root", 0, 0, 60, 60);
    auto run = Play(a);
    EXPECT_TRUE(Near(run->Rgb(30, 30), kBlue));
    EXPECT_TRUE(Near(run->Rgb(10, 10), kRed));
}

TEST(ClipDrawing, EdgesPastTheCapAreLeftOut) {
    player::Drawing drawing(8);
    player::script::DrawCommand c;
    c.kind = player::script::DrawCommand::Kind::kLineStyle;
    c.thickness = 1;
    drawing.Apply(c);
    c.kind = player::script::DrawCommand::Kind::kLineTo;
    for (int i = 0; i < 100; ++i) {
        c.x = i % 2 ? 10 : 0;
        c.y = i;
        drawing.Apply(c);
    }
    EXPECT_LE(drawing.GetShape().records.size(), 8u);
    // Coordinates far out of range are held to what an edge can span.
    player::script::DrawCommand clear;
    clear.kind = player::script::DrawCommand::Kind::kClear;
    drawing.Apply(clear);
    EXPECT_TRUE(drawing.Empty());
    c.kind = player::script::DrawCommand::Kind::kLineStyle;
    drawing.Apply(c);
    c.kind = player::script::DrawCommand::Kind::kLineTo;
    c.x = 1e300;
    c.y = -1e300;
    drawing.Apply(c);
    EXPECT_EQ(drawing.GetShape().records.size(), 2u);  // the layer and the edge
    const player::Rect& b = drawing.GetShape().bounds;
    EXPECT_GT(b.xMax, 0);
    EXPECT_LT(b.yMin, 0);
}

TEST(ClipDrawing, DuplicateTakesTheDrawing) {
    Asm a;
    a.Push(1, "c", 2).GetVariable("_root").Push("createEmptyMovieClip").Op(Op::kCallMethod)
        .Op(Op::kPop);
    Call(a, "c", "beginFill", 0xFF0000, 100);
    Square(a, "c", 10, 10, 50, 50);
    a.Push(2, "d", 2).GetVariable("c").Push("duplicateMovieClip").Op(Op::kCallMethod)
        .Op(Op::kPop);
    a.GetVariable("d").Push("_x", 100).Op(Op::kSetMember);
    Call(a, "c", "clear");  // the copy keeps its own
    auto run = Play(a);
    EXPECT_TRUE(Near(run->Rgb(130, 30), kRed));
    EXPECT_TRUE(Near(run->Rgb(30, 30), kWhite));
}

// A clip's size is what it draws and holds; setting it scales the clip, unless it has no size.
TEST(ClipDrawing, WidthAndHeightFollowTheDrawing) {
    Asm a;
    a.Push(1, "c", 2).GetVariable("_root").Push("createEmptyMovieClip").Op(Op::kCallMethod)
        .Op(Op::kPop);
    a.GetVariable("c").Push("_width", 100).Op(Op::kSetMember);
    a.GetVariable("c").Push("_width").Op(Op::kGetMember).Trace();
    Call(a, "c", "beginFill", 0xFF0000, 100);
    Square(a, "c", 10, 10, 110, 60);
    a.GetVariable("c").Push("_width").Op(Op::kGetMember).Trace();
    a.GetVariable("c").Push("_height").Op(Op::kGetMember).Trace();
    a.GetVariable("c").Push("_width", 200).Op(Op::kSetMember);
    a.GetVariable("c").Push("_xscale").Op(Op::kGetMember).Trace();
    a.GetVariable("c").Push("_width").Op(Op::kGetMember).Trace();
    auto run = Play(a);
    EXPECT_EQ(run->lines, (std::vector<std::string>{"0", "100", "50", "200", "200"}));
    EXPECT_TRUE(Near(run->Rgb(200, 30), kRed));  // the scaled square reaches 220 px
}

TEST(ClipDrawing, BoundsInOwnAndParentSpace) {
    Asm a;
    a.Push(1, "c", 2).GetVariable("_root").Push("createEmptyMovieClip").Op(Op::kCallMethod)
        .Op(Op::kPop);
    a.Push(0).GetVariable("c").Push("getBounds").Op(Op::kCallMethod).Push("xMin")
        .Op(Op::kGetMember).Trace();
    Call(a, "c", "beginFill", 0xFF0000, 100);
    Square(a, "c", 10, 10, 110, 60);
    a.GetVariable("c").Push("_x", 100).Op(Op::kSetMember);
    a.Push(0).GetVariable("c").Push("getBounds").Op(Op::kCallMethod).Push("xMin")
        .Op(Op::kGetMember).Trace();
    a.GetVariable("_root").Push(1).GetVariable("c").Push("getBounds").Op(Op::kCallMethod)
        .Push("xMax").Op(Op::kGetMember).Trace();
    a.GetVariable("c").Push("transform").Op(Op::kGetMember).Push("pixelBounds")
        .Op(Op::kGetMember).Trace();
    auto run = Play(a);
    EXPECT_EQ(run->lines,
              (std::vector<std::string>{"6710886.35", "10", "210", "(x=110, y=10, w=100, h=50)"}));
}

TEST(ColorObject, SetRgbTintsTheClipAndReadsBack) {
    Asm a;
    a.Push(1, "c", 2)
        .GetVariable("_root")
        .Push("createEmptyMovieClip")
        .Op(Op::kCallMethod)
        .Op(Op::kPop);
    Call(a, "c", "beginFill", 0xFFFFFF, 100);
    Square(a, "c", 10, 10, 50, 50);
    // col = new Color(c); col.setRGB(0x00FF00); trace(col.getRGB())
    a.Push("col").GetVariable("c").Push(1, "Color").Op(Op::kNewObject).Op(Op::kSetVariable);
    Call(a, "col", "setRGB", 0x00FF00);
    a.Push(0).GetVariable("col").Push("getRGB").Op(Op::kCallMethod).Trace();
    // setTransform with percentages and offsets, read back through getTransform.
    a.Push("ra", 50, "rb", 10, 2)
        .Op(Op::kInitObject)
        .Push(1)
        .GetVariable("col")
        .Push("setTransform")
        .Op(Op::kCallMethod)
        .Op(Op::kPop);
    a.Push(0)
        .GetVariable("col")
        .Push("getTransform")
        .Op(Op::kCallMethod)
        .Push("ra")
        .Op(Op::kGetMember)
        .Trace();
    a.Push(0)
        .GetVariable("col")
        .Push("getTransform")
        .Op(Op::kCallMethod)
        .Push("gb")
        .Op(Op::kGetMember)
        .Trace();
    auto run = Play(a);
    ASSERT_EQ(run->lines.size(), 3u);
    EXPECT_EQ(run->lines[0], "65280");
    EXPECT_EQ(run->lines[1], "50");
    EXPECT_EQ(run->lines[2], "255");
    // White * 0.5 + 10 in red; green and blue as setRGB left them.
    EXPECT_TRUE(Near(run->Rgb(30, 30), {137, 255, 0}, 3));
    EXPECT_TRUE(Near(run->Rgb(5, 5), kWhite));
}

TEST(ColorObject, InheritedFieldsAndEmptyTargetsAreIgnored) {
    Asm a;
    a.Push(1, "c", 2).GetVariable("_root").Push("createEmptyMovieClip").Op(Op::kCallMethod)
        .Op(Op::kPop);
    a.Push("col").GetVariable("c").Push(1, "Color").Op(Op::kNewObject).Op(Op::kSetVariable);
    // Object.prototype.ab = -66; col.setTransform({ga: undefined})
    a.GetVariable("Object").Push("prototype").Op(Op::kGetMember).Push("ab", -66)
        .Op(Op::kSetMember);
    a.Push("ga", swfw::Undefined{}, 1).Op(Op::kInitObject).Push(1).GetVariable("col")
        .Push("setTransform").Op(Op::kCallMethod).Op(Op::kPop);
    a.Push(0).GetVariable("col").Push("getTransform").Op(Op::kCallMethod).Push("ab")
        .Op(Op::kGetMember).Trace();
    a.Push(0).GetVariable("col").Push("getTransform").Op(Op::kCallMethod).Push("ga")
        .Op(Op::kGetMember).Trace();
    // new Color("").getRGB()
    a.Push(0).Push("", 1, "Color").Op(Op::kNewObject).Push("getRGB").Op(Op::kCallMethod).Trace();
    auto run = Play(a);
    EXPECT_EQ(run->lines, (std::vector<std::string>{"0", "0", "undefined"}));
}

// new flash.geom.<cls>(args) into variable `name`.
Asm& NewGeom(Asm& a, const std::string& name, const std::string& cls,
             const std::vector<double>& args) {
    a.Push(name);
    for (auto it = args.rbegin(); it != args.rend(); ++it) a.Push(*it);
    a.Push(static_cast<int>(args.size()))
        .GetVariable("flash")
        .Push("geom")
        .Op(Op::kGetMember)
        .Push(cls)
        .Op(Op::kNewMethod)
        .Op(Op::kSetVariable);
    return a;
}

struct MatrixCase {
    std::vector<double> matrix;  // the constructor's arguments
    std::string method;
    std::vector<double> args;
    // The method's argument is this Point or Matrix (from `args`) instead of numbers.
    std::string argClass;
    bool traceResult;  // trace what the method returns rather than the matrix after it
    std::string expected;
};

TEST(GeomMatrix, MethodsThroughTheScriptMachine) {
    const std::vector<MatrixCase> cases = {
        {{}, "toString", {}, "", true, "(a=1, b=0, c=0, d=1, tx=0, ty=0)"},
        {{2, 0, 0, 2, 5, 5}, "identity", {}, "", false, "(a=1, b=0, c=0, d=1, tx=0, ty=0)"},
        {{1, 0, 0, 1, 0, 0}, "translate", {3, 4}, "", false, "(a=1, b=0, c=0, d=1, tx=3, ty=4)"},
        {{1, 2, 3, 4, 1, 1}, "scale", {2, 3}, "", false, "(a=2, b=6, c=6, d=12, tx=2, ty=3)"},
        {{2, 0, 0, 4, 2, 4}, "invert", {}, "", false, "(a=0.5, b=0, c=0, d=0.25, tx=-1, ty=-1)"},
        {{1, 2, 3, 4, 5, 6}, "invert", {}, "", false, "(a=-2, b=1, c=1.5, d=-0.5, tx=1, ty=-2)"},
        {{2, 0, 0, 2, 1, 1},
         "concat",
         {1, 0, 0, 1, 5, 6},
         "Matrix",
         false,
         "(a=2, b=0, c=0, d=2, tx=6, ty=7)"},
        {{1, 0, 0, 1, 10, 0}, "rotate", {0}, "", false, "(a=1, b=0, c=0, d=1, tx=10, ty=0)"},
        {{}, "createBox", {2, 3, 0, 10, 20}, "", false, "(a=2, b=0, c=0, d=3, tx=10, ty=20)"},
        {{},
         "createGradientBox",
         {1638.4, 819.2, 0, 10, 20},
         "",
         false,
         "(a=1, b=0, c=0, d=0.5, tx=829.2, ty=429.6)"},
        {{2, 0, 0, 2, 10, 10}, "transformPoint", {1, 2}, "Point", true, "(x=12, y=14)"},
        {{2, 1, 0, 2, 10, 10}, "deltaTransformPoint", {1, 2}, "Point", true, "(x=2, y=5)"},
        {{1, 2, 3, 4, 5, 6}, "clone", {}, "", true, "(a=1, b=2, c=3, d=4, tx=5, ty=6)"},
    };
    for (const MatrixCase& c : cases) {
        SCOPED_TRACE(c.method);
        Asm a;
        NewGeom(a, "m", "Matrix", c.matrix);
        if (!c.argClass.empty()) NewGeom(a, "arg", c.argClass, c.args);
        a.Push("r");
        if (!c.argClass.empty()) {
            a.GetVariable("arg").Push(1);
        } else {
            for (auto it = c.args.rbegin(); it != c.args.rend(); ++it) a.Push(*it);
            a.Push(static_cast<int>(c.args.size()));
        }
        a.GetVariable("m").Push(c.method).Op(Op::kCallMethod).Op(Op::kSetVariable);
        a.GetVariable(c.traceResult ? "r" : "m").Trace();
        auto run = Play(a);
        ASSERT_EQ(run->lines.size(), 1u);
        EXPECT_EQ(run->lines[0], c.expected);
    }
}

TEST(GeomPoint, ArithmeticAndStatics) {
    Asm a;
    NewGeom(a, "p", "Point", {3, 4});
    a.Push("length").GetVariable("p").Push("length").Op(Op::kGetMember).Trace().Op(Op::kPop);
    NewGeom(a, "q", "Point", {1, 1});
    a.GetVariable("q").Push(1).GetVariable("p").Push("add").Op(Op::kCallMethod).Trace();
    // Point.distance(p, q)
    a.GetVariable("q")
        .GetVariable("p")
        .Push(2)
        .GetVariable("flash")
        .Push("geom")
        .Op(Op::kGetMember)
        .Push("Point")
        .Op(Op::kGetMember)
        .Push("distance")
        .Op(Op::kCallMethod)
        .Trace();
    auto run = Play(a);
    ASSERT_EQ(run->lines.size(), 3u);
    EXPECT_EQ(run->lines[0], "5");
    EXPECT_EQ(run->lines[1], "(x=4, y=5)");
    EXPECT_EQ(run->lines[2], "3.60555127546399");
}

TEST(GeomTransform, ClipMatrixAndColourThroughTransform) {
    Asm a;
    a.Push(1, "c", 2)
        .GetVariable("_root")
        .Push("createEmptyMovieClip")
        .Op(Op::kCallMethod)
        .Op(Op::kPop);
    NewGeom(a, "m", "Matrix", {2, 0, 0, 2, 30, 40});
    // t = c.transform; t.matrix = m; trace(c._x); trace(c._xscale); trace(c.transform.matrix)
    a.Push("t").GetVariable("c").Push("transform").Op(Op::kGetMember).Op(Op::kSetVariable);
    a.GetVariable("t").Push("matrix").GetVariable("m").Op(Op::kSetMember);
    a.GetVariable("c").Push("_x").Op(Op::kGetMember).Trace();
    a.GetVariable("c").Push("_xscale").Op(Op::kGetMember).Trace();
    a.GetVariable("c")
        .Push("transform")
        .Op(Op::kGetMember)
        .Push("matrix")
        .Op(Op::kGetMember)
        .Trace();
    NewGeom(a, "ct", "ColorTransform", {0.5, 1, 1, 1, 0, 0, 0, 0});
    a.GetVariable("t").Push("colorTransform").GetVariable("ct").Op(Op::kSetMember);
    a.GetVariable("t")
        .Push("colorTransform")
        .Op(Op::kGetMember)
        .Push("redMultiplier")
        .Op(Op::kGetMember)
        .Trace();
    auto run = Play(a);
    ASSERT_EQ(run->lines.size(), 4u);
    EXPECT_EQ(run->lines[0], "30");
    EXPECT_EQ(run->lines[1], "200");
    EXPECT_EQ(run->lines[2], "(a=2, b=0, c=0, d=2, tx=30, ty=40)");
    EXPECT_EQ(run->lines[3], "0.5");
}

}  // namespace
