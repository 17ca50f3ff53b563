// The player's library objects under script, through the whole engine: BitmapData's pixels,
// flash.filters and the filters a clip is drawn through, blendMode, Stage, Key, Mouse,
// Selection, System, Sound mixes, SharedObject, ExternalInterface's helpers and the network
// classes, which reach nothing. Movies are built with the SWF writer and the bytecode
// assembler; results are read back through trace() and the rendered pixels.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "player/player.h"
#include "tests/support/avm1_asm.h"
#include "tests/support/script_calls.h"
#include "tests/support/swf_writer.h"

namespace {

using swfw::Asm;
using Op = swfw::Op;
using Item = swfw::PushItem;
using namespace swfw::calls;

constexpr int kWidth = 550, kHeight = 400;

struct Run {
    std::unique_ptr<player::Player> player;
    std::vector<std::string> lines;
    std::vector<std::uint8_t> pixels;
    std::array<int, 3> Rgb(int x, int y) const {
        const std::uint8_t* p = &pixels[(y * kWidth + x) * 4];
        return {p[2], p[1], p[0]};
    }
};

std::unique_ptr<Run> PlayMovie(const swfw::Movie& m) {
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

std::unique_ptr<Run> Play(const Asm& script, int version = 8) {
    swfw::Movie m;
    m.Version(version);
    m.Do(script).ShowFrame();
    return PlayMovie(m);
}

std::vector<std::string> Lines(const Asm& script, int version = 8) {
    return Play(script, version)->lines;
}

// ---- BitmapData ---------------------------------------------------------------------------------

TEST(BitmapData, SizesFollowTheMovieVersionsLimits) {
    struct Case {
        int version;
        int width, height;
        const char* traced;  // the width of what `new` gave
    };
    const Case cases[] = {
        {8, 2880, 1, "2880"},     {8, 2881, 1, "undefined"}, {8, 1, 2881, "undefined"},
        {8, 0, 10, "undefined"},  {8, -5, 10, "undefined"},  {10, 8191, 1, "8191"},
        {10, 8192, 1, "undefined"}, {10, 4096, 4096, "undefined"},
    };
    for (const Case& c : cases) {
        Asm a;
        New(a, "b", "flash.display.BitmapData", {c.width, c.height});
        TracePath(a, "b.width");
        EXPECT_EQ(Lines(a, c.version), std::vector<std::string>{c.traced})
            << "version " << c.version << ", " << c.width << "x" << c.height;
    }
}

TEST(BitmapData, PixelsKeepThePrecisionOfPremultipliedStorage) {
    struct Case {
        bool transparent;
        const char* setter;
        double color;
        const char* pixel32;
    };
    const Case cases[] = {
        {true, "setPixel32", 4294967295.0, "-1"},
        {true, "setPixel32", 2164260863.0, "-2130706433"},  // 0x80ffffff
        {true, "setPixel32", 16777215.0, "0"},              // no alpha: the colour goes too
        {false, "setPixel32", 2164260863.0, "-1"},          // opaque bitmaps stay opaque
        {false, "setPixel", 12303291.0, "-4473925"},        // 0xbbbbbb
    };
    for (const Case& c : cases) {
        Asm a;
        New(a, "b", "flash.display.BitmapData", {4, 4, c.transparent, 0.0});
        Call(a, std::string("b.") + c.setter, {1, 2, c.color});
        TraceCall(a, "b.getPixel32", {1, 2});
        EXPECT_EQ(Lines(a), std::vector<std::string>{c.pixel32}) << c.setter << " " << c.color;
    }
    // A translucent pixel rounds through its alpha: 0xbb under 0x80 reads back the same.
    Asm a;
    New(a, "b", "flash.display.BitmapData", {2, 2, true, 2164260863.0});
    Call(a, "b.setPixel", {0, 0, 12303291.0});
    TraceCall(a, "b.getPixel32", {0, 0});
    TraceCall(a, "b.getPixel", {0, 0});
    EXPECT_EQ(Lines(a), (std::vector<std::string>{"-2135180357", "12303291"}));
}

TEST(BitmapData, FillCopyAndFloodStayInsideTheBitmap) {
    Asm a;
    New(a, "b", "flash.display.BitmapData", {8, 8, false, 0.0});
    New(a, "r", "flash.geom.Rectangle", {-4, -4, 6, 6});  // only 0..1 is inside
    Call(a, "b.fillRect", {P{"r"}, 0xFF0000});
    TraceCall(a, "b.getPixel", {1, 1});
    TraceCall(a, "b.getPixel", {2, 2});
    // Copying onto itself, overlapping: the source is read before it is written.
    New(a, "all", "flash.geom.Rectangle", {0, 0, 8, 8});
    New(a, "at", "flash.geom.Point", {1, 1});
    Call(a, "b.copyPixels", {P{"b"}, P{"all"}, P{"at"}});
    TraceCall(a, "b.getPixel", {2, 2});
    TraceCall(a, "b.getPixel", {3, 3});
    // The black area around the red block is one region; the fill does not cross the red.
    Call(a, "b.floodFill", {7, 7, 0x00FF00});
    TraceCall(a, "b.getPixel", {0, 7});
    TraceCall(a, "b.getPixel", {1, 1});
    // Far outside: nothing happens and nothing breaks.
    Call(a, "b.floodFill", {100000, -100000, 0x0000FF});
    Call(a, "b.setPixel", {-1, 8, 0x0000FF});
    TraceCall(a, "b.getPixel", {-1, 8});
    EXPECT_EQ(Lines(a), (std::vector<std::string>{"16711680", "0", "16711680", "0", "65280",
                                                  "16711680", "0"}));
}

TEST(BitmapData, DisposedAndShortCallsAnswerMinusOne) {
    Asm a;
    New(a, "b", "flash.display.BitmapData", {4, 4});
    TraceCall(a, "b.getPixel", {0});
    Call(a, "b.dispose", {});
    TracePath(a, "b.width");
    TraceCall(a, "b.getPixel32", {0, 0});
    TraceCall(a, "b.clone");
    EXPECT_EQ(Lines(a), (std::vector<std::string>{"-1", "-1", "-1", "-1"}));
}

TEST(BitmapData, NoiseIsTheSameForTheSameSeed) {
    Asm a;
    for (const char* name : {"b1", "b2", "b3"}) New(a, name, "flash.display.BitmapData", {16, 16});
    Call(a, "b1.noise", {7});
    Call(a, "b2.noise", {7});
    Call(a, "b3.noise", {8});
    for (int i = 0; i < 4; ++i) {
        TraceCall(a, "b1.getPixel32", {i * 3, i});
        TraceCall(a, "b2.getPixel32", {i * 3, i});
        TraceCall(a, "b3.getPixel32", {i * 3, i});
    }
    const auto lines = Lines(a);
    ASSERT_EQ(lines.size(), 12u);
    bool seedMatters = false;
    for (std::size_t i = 0; i < lines.size(); i += 3) {
        EXPECT_EQ(lines[i], lines[i + 1]);
        seedMatters = seedMatters || lines[i] != lines[i + 2];
    }
    EXPECT_TRUE(seedMatters);
}

TEST(BitmapData, ColorBoundsOfAMatchAtTheTopLeftAloneAreEmpty) {
    struct Case {
        std::vector<std::array<int, 2>> green;  // pixels set apart from the white rest
        const char* notWhite;                    // getColorBoundsRect(~0, white, false)
    };
    const Case cases[] = {
        {{}, "(x=0, y=0, w=0, h=0)"},
        {{{0, 0}}, "(x=0, y=0, w=0, h=0)"},
        {{{1, 1}}, "(x=1, y=1, w=1, h=1)"},
        {{{0, 0}, {1, 1}}, "(x=0, y=0, w=2, h=2)"},
        {{{2, 0}}, "(x=2, y=0, w=1, h=1)"},
    };
    for (const Case& c : cases) {
        Asm a;
        New(a, "b", "flash.display.BitmapData", {3, 3, true, 4294967295.0});
        for (const auto& [x, y] : c.green) Call(a, "b.setPixel32", {x, y, 4278255360.0});
        TraceCall(a, "b.getColorBoundsRect", {4294967295.0, 4294967295.0, false});
        TraceCall(a, "b.getColorBoundsRect", {4294967295.0, 4294967295.0, true});
        EXPECT_EQ(Lines(a), (std::vector<std::string>{c.notWhite, "(x=0, y=0, w=3, h=3)"}))
            << c.green.size() << " green pixels";
    }
}

TEST(BitmapData, HitTestAgainstPointsRectanglesAndBitmaps) {
    // Two 4x4 bitmaps, clear but for one opaque pixel at (1, 1).
    struct Case {
        const char* what;
        std::vector<Arg> args;
        const char* traced;
    };
    const Case cases[] = {
        {"the opaque pixel", {P{"at00"}, 1, P{"p11"}}, "true"},
        {"a clear pixel", {P{"at00"}, 0, P{"p00"}}, "false"},
        {"a rectangle over clear pixels at threshold 0", {P{"at00"}, 0, P{"r00"}}, "true"},
        {"a rectangle over clear pixels at threshold 1", {P{"at00"}, 1, P{"r00"}}, "false"},
        {"bitmaps whose opaque pixels meet", {P{"at00"}, 1, P{"c"}, P{"at00"}, 1}, "true"},
        {"bitmaps moved apart", {P{"at00"}, 1, P{"c"}, P{"p11"}, 1}, "false"},
        {"bitmaps moved back together", {P{"p11"}, 1, P{"c"}, P{"p11"}, 1}, "true"},
        {"no first point", {Item(swfw::Null{}), 0, P{"p00"}}, "-2"},
        {"an inherited first point", {P{"inherits"}, 0, P{"p00"}}, "-2"},
        {"a second of no known shape", {P{"at00"}, 0, P{"ponly"}}, "-3"},
        {"a bitmap without its point", {P{"at00"}, 0, P{"c"}, Item(swfw::Null{}), 0}, "-4"},
    };
    for (const Case& c : cases) {
        Asm a;
        for (const char* name : {"b", "c"}) {
            New(a, name, "flash.display.BitmapData", {4, 4, true, 0});
            Call(a, std::string(name) + ".setPixel32", {1, 1, 4294967295.0});
        }
        New(a, "at00", "flash.geom.Point", {0, 0});
        New(a, "p00", "flash.geom.Point", {0, 0});
        New(a, "p11", "flash.geom.Point", {1, 1});
        New(a, "r00", "flash.geom.Rectangle", {0, 0, 1, 1});
        New(a, "inherits", "Object", {});
        Set(a, "inherits.__proto__", P{"p00"});
        New(a, "ponly", "Object", {});
        Set(a, "ponly.y", 0);
        TraceCall(a, "b.hitTest", c.args);
        EXPECT_EQ(Lines(a), std::vector<std::string>{c.traced}) << c.what;
    }
}

TEST(BitmapData, ThresholdSetsThePassingPixelsAndCountsThem) {
    // The source is opaque white but for a half-clear grey pixel at (1, 0).
    struct Case {
        const char* operation;
        double threshold, mask;
        bool copySource;
        const char* traced;  // the count, then the destination's pixels at (0, 0) and (1, 0)
    };
    const Case cases[] = {
        {"==", 4294967295.0, 4294967295.0, false, "3 -65536 0"},
        {"<", 4294967295.0, 4278190080.0, false, "1 0 -65536"},
        {">=", 4294967295.0, 4278190080.0, true, "3 -65536 -2139062144"},
        // The masked threshold for every test but "!=", which takes it whole.
        {"==", 4293918720.0, 4278190080.0, false, "3 -65536 0"},
        {"!=", 4293918720.0, 4278190080.0, false, "4 -65536 -65536"},
        {"~", 0, 0, true, "0 0 0"},
    };
    for (const Case& c : cases) {
        Asm a;
        New(a, "src", "flash.display.BitmapData", {2, 2, true, 4294967295.0});
        Call(a, "src.setPixel32", {1, 0, 2155905152.0});
        New(a, "dst", "flash.display.BitmapData", {2, 2, true, 0});
        a.Push("line");
        PushArgs(a, {P{"src"}, P{"src.rectangle"}, Item(swfw::Undefined{}), c.operation,
                     c.threshold, 4294901760.0, c.mask, c.copySource});
        PushParent(a, "dst.threshold");
        a.Op(Op::kCallMethod);
        for (int x = 0; x < 2; ++x) {
            a.Push(" ").Op(Op::kAdd2);
            PushArgs(a, {x, 0});
            PushParent(a, "dst.getPixel32");
            a.Op(Op::kCallMethod).Op(Op::kAdd2);
        }
        a.Op(Op::kSetVariable);
        TracePath(a, "line");
        EXPECT_EQ(Lines(a), std::vector<std::string>{c.traced}) << c.operation;
    }
}

TEST(BitmapData, PixelDissolveWalksEveryPixelOnceBeforeRepeating) {
    // Rounds of pixelDissolve on a 5x4 area of a 6x6 bitmap, each going on from the position
    // the last one answered; traced: how many pixels are red after each round.
    struct Case {
        int numPixels, rounds;
        const char* traced;
    };
    const Case cases[] = {
        {1, 3, "2 3 4"},
        {0, 3, "1 1 1"},
        {7, 4, "8 15 20 20"},
        {1000000, 1, "20"},
    };
    for (const Case& c : cases) {
        Asm a;
        New(a, "b", "flash.display.BitmapData", {6, 6, false, 0});
        New(a, "area", "flash.geom.Rectangle", {1, 2, 5, 4});
        Set(a, "seed", 0);
        Set(a, "line", "");
        for (int round = 0; round < c.rounds; ++round) {
            a.Push("seed");
            // No destination point: the area stays where it is.
            PushArgs(a, {P{"b"}, P{"area"}, P{"origin"}, P{"seed"}, c.numPixels, 4294901760.0});
            PushParent(a, "b.pixelDissolve");
            a.Op(Op::kCallMethod).Op(Op::kSetVariable);
            Set(a, "red", 0);
            for (int y = 0; y < 6; ++y) {
                for (int x = 0; x < 6; ++x) {
                    a.Push("red").GetVariable("red");
                    PushArgs(a, {x, y});
                    PushParent(a, "b.getPixel32");
                    a.Op(Op::kCallMethod).Push(-65536).Op(Op::kEquals2).Op(Op::kAdd2);
                    a.Op(Op::kSetVariable);
                }
            }
            a.Push("line").GetVariable("line").GetVariable("red");
            a.Op(Op::kAdd2).Push(round + 1 < c.rounds ? " " : "").Op(Op::kAdd2);
            a.Op(Op::kSetVariable);
        }
        TracePath(a, "line");
        TraceCall(a, "b.pixelDissolve", {P{"b"}, Item(swfw::Null{}), P{"origin"}, 0, 1});
        TraceCall(a, "b.pixelDissolve", {5, P{"area"}, P{"origin"}, 0, 1});
        TraceCall(a, "b.pixelDissolve", {P{"b"}, P{"area"}, P{"origin"}, P{"Infinity"}, 1});
        EXPECT_EQ(Lines(a), (std::vector<std::string>{c.traced, "-4", "-1", "1"}))
            << c.numPixels << " pixels a round";
    }
}

// ---- Filters and compositing ----------------------------------------------------------------

TEST(Filters, FieldsAreHeldInTheirRanges) {
    struct Case {
        const char* ctor;
        const char* field;
        Item value;
        const char* traced;
    };
    const Case cases[] = {
        {"BlurFilter", "quality", 100, "15"},
        {"BlurFilter", "quality", 2.5, "2"},
        {"BlurFilter", "blurX", -1, "0"},
        {"BlurFilter", "blurX", 256, "255"},
        {"DropShadowFilter", "angle", 361, "1"},
        {"DropShadowFilter", "angle", -1, "-1"},
        {"DropShadowFilter", "color", -305419896, "13347208"},
        {"DropShadowFilter", "alpha", 0.5, "0.498039215686275"},
        {"BevelFilter", "type", "INNER", "full"},
        {"BevelFilter", "type", "outer", "outer"},
        {"GlowFilter", "strength", 300, "255"},
    };
    for (const Case& c : cases) {
        Asm a;
        New(a, "f", std::string("flash.filters.") + c.ctor, {});
        Set(a, std::string("f.") + c.field, c.value);
        TracePath(a, std::string("f.") + c.field);
        EXPECT_EQ(Lines(a), std::vector<std::string>{c.traced}) << c.ctor << "." << c.field;
    }
}

TEST(Filters, ClipKeepsCopiesOfItsFilters) {
    Asm a;
    a.Push("c").Push(1, "c", 2).GetVariable("_root").Push("createEmptyMovieClip")
        .Op(Op::kCallMethod).Op(Op::kSetVariable);
    New(a, "g", "flash.filters.GlowFilter", {0x00FF00, 1, 8, 8, 2, 1});
    a.Push("list").GetVariable("g").Push(1).Op(Op::kInitArray).Op(Op::kSetVariable);
    Set(a, "c.filters", P{"list"});
    Set(a, "g.color", 0x0000FF);  // no effect on the clip's copy
    TracePath(a, "c.filters.length");
    TracePath(a, "c.filters.0.color");
    TracePath(a, "c.filters.0.blurX");
    // Something that is not a filter is left out.
    a.Push("list").Push(5).GetVariable("g").Push(2).Op(Op::kInitArray).Op(Op::kSetVariable);
    Set(a, "c.filters", P{"list"});
    TracePath(a, "c.filters.length");
    TracePath(a, "c.filters.0.color");
    EXPECT_EQ(Lines(a), (std::vector<std::string>{"1", "65280", "8", "1", "255"}));
}

TEST(Filters, GlowSetByScriptIsDrawnAroundTheClip) {
    Asm a;
    a.Push("c").Push(1, "c", 2).GetVariable("_root").Push("createEmptyMovieClip")
        .Op(Op::kCallMethod).Op(Op::kSetVariable);
    Call(a, "c.beginFill", {0xFF0000, 100});
    Call(a, "c.moveTo", {100, 100});
    Call(a, "c.lineTo", {200, 100});
    Call(a, "c.lineTo", {200, 200});
    Call(a, "c.lineTo", {100, 200});
    Call(a, "c.lineTo", {100, 100});
    Call(a, "c.endFill", {});
    New(a, "g", "flash.filters.GlowFilter", {0x0000FF, 1, 16, 16, 4, 1});
    a.Push("list").GetVariable("g").Push(1).Op(Op::kInitArray).Op(Op::kSetVariable);
    Set(a, "c.filters", P{"list"});
    auto run = Play(a);
    const auto inside = run->Rgb(150, 150), beside = run->Rgb(203, 150), far = run->Rgb(300, 150);
    EXPECT_GT(inside[0], 200);
    EXPECT_LT(inside[2], 60);
    EXPECT_GT(beside[2], 150);  // blue glow just outside
    EXPECT_LT(beside[0], 200);
    EXPECT_EQ(far, (std::array<int, 3>{255, 255, 255}));
}

// Filters placed by the timeline read back as filter objects with the stored fields, and a
// list set by script goes back to the clip in the same stored form.
TEST(Filters, PlacedFiltersReadBackAndRoundTrip) {
    swfw::Movie m;
    m.Version(8);
    swfw::Sprite clip(2);
    clip.ShowFrame();
    m.Define(clip);
    m.Place(swfw::PlaceObject::New(2, 1)
                .Name("placed")
                .Blend(swfw::BlendMode::Multiply)
                .Filters({swfw::Filter::Blur(6, 3, 2),
                          swfw::Filter::DropShadow(swfw::Rgb(0, 0, 255), 4, 4, 0, 5, 1.5, 1, true),
                          swfw::Filter::ColorMatrix({2, 0, 0, 0, 0, 0, 1, 0, 0, 0,
                                                     0, 0, 1, 0, 0, 0, 0, 0, 1, 0})}));
    Asm a;
    TracePath(a, "placed.blendMode");
    TracePath(a, "placed.filters.length");
    TracePath(a, "placed.filters.0.blurX");
    TracePath(a, "placed.filters.0.blurY");
    TracePath(a, "placed.filters.0.quality");
    TracePath(a, "placed.filters.1.color");
    TracePath(a, "placed.filters.1.inner");
    TracePath(a, "placed.filters.1.distance");
    TracePath(a, "placed.filters.1.strength");
    TracePath(a, "placed.filters.2.matrix");
    // Each read makes new objects.
    a.PushTraceString("same:");
    PushPath(a, "placed.filters.0");
    PushPath(a, "placed.filters.0");
    a.Op(Op::kStrictEquals).Trace();
    // Through a script and back: the same fields.
    Set(a, "placed.filters", P{"placed.filters"});
    TracePath(a, "placed.filters.1.color");
    TracePath(a, "placed.filters.0.blurY");
    // An empty list takes them all away.
    a.Push("none").Push(0).Op(Op::kInitArray).Op(Op::kSetVariable);
    Set(a, "placed.filters", P{"none"});
    TracePath(a, "placed.filters.length");
    m.Do(a).ShowFrame();
    auto run = PlayMovie(m);
    EXPECT_EQ(run->lines,
              (std::vector<std::string>{"multiply", "3", "6", "3", "2", "255", "true", "5", "1.5",
                                        "2,0,0,0,0,0,1,0,0,0,0,0,1,0,0,0,0,0,1,0", "same:",
                                        "false", "255", "3", "0"}));
}

TEST(BlendMode, TakesNamesAndNumbersAndIgnoresTheRest) {
    struct Case {
        Item value;
        const char* traced;
    };
    const Case cases[] = {{"multiply", "multiply"}, {3, "multiply"},   {259, "multiply"},
                          {"Multiply", "invert"},   {-1, "invert"},    {true, "invert"},
                          {swfw::Null{}, "normal"}, {14, "hardlight"}, {15, "invert"}};
    for (const Case& c : cases) {
        Asm a;
        a.Push("c").Push(1, "c", 2).GetVariable("_root").Push("createEmptyMovieClip")
            .Op(Op::kCallMethod).Op(Op::kSetVariable);
        Set(a, "c.blendMode", "invert");
        Set(a, "c.blendMode", c.value);
        TracePath(a, "c.blendMode");
        EXPECT_EQ(Lines(a), std::vector<std::string>{c.traced}) << c.traced;
    }
}

// ---- The player's objects -----------------------------------------------------------------------

TEST(PlayerObjects, StageKeyMouseAndSystemWithoutInput) {
    Asm a;
    TracePath(a, "Stage.width");
    TracePath(a, "Stage.height");
    Set(a, "Stage.scaleMode", "NOSCALE");
    TracePath(a, "Stage.scaleMode");
    Set(a, "Stage.scaleMode", "bogus");
    TracePath(a, "Stage.scaleMode");
    Set(a, "Stage.align", "rb");
    TracePath(a, "Stage.align");
    Set(a, "Stage.width", 10);  // read-only
    TracePath(a, "Stage.width");
    TraceCall(a, "Key.isDown", {32});
    TraceCall(a, "Key.isDown", {1e9});
    TracePath(a, "Key.SPACE");
    TraceCall(a, "Key.getCode");
    TraceCall(a, "Mouse.hide");
    TraceCall(a, "Mouse.hide");
    TraceCall(a, "Mouse.show");
    TracePath(a, "System.capabilities.screenDPI");
    TraceCall(a, "Selection.getFocus");
    EXPECT_EQ(Lines(a), (std::vector<std::string>{"550", "400", "noScale", "noScale", "BR",
                                                  "550", "false", "false", "32", "0", "true",
                                                  "false", "0", "72", "null"}));
}

TEST(PlayerObjects, FullScreenIsAnnouncedOnlyOnChange) {
    Asm a;
    New(a, "l", "Object", {});
    a.GetVariable("l").Push("onFullScreen");
    a.DefineFunction("", {"full"}, [](Asm& f) {
        f.Push("full:").GetVariable("full").Op(Op::kAdd2).Trace();
    });
    a.Op(Op::kSetMember);
    Call(a, "Stage.addListener", {P{"l"}});
    for (const char* state : {"fullscreen", "fullScreen", "odd", "NORMAL", "normal"}) {
        Set(a, "Stage.displayState", state);
        TracePath(a, "Stage.displayState");
    }
    EXPECT_EQ(Lines(a), (std::vector<std::string>{"full:true", "fullScreen", "fullScreen",
                                                  "fullScreen", "full:false", "normal",
                                                  "normal"}));
}

TEST(PlayerObjects, SelectionFollowsFocusAndRanges) {
    Asm a;
    Call(a, "_root.createTextField", {"field", 1, 0, 0, 100, 20});
    Set(a, "_root.field.text", "Hello world");
    a.Push("c").Push(2, "c", 2).GetVariable("_root").Push("createEmptyMovieClip")
        .Op(Op::kCallMethod).Op(Op::kSetVariable);
    TraceCall(a, "Selection.setFocus", {P{"c"}});  // a clip must allow focus
    Set(a, "c.focusEnabled", true);
    TraceCall(a, "Selection.setFocus", {P{"c"}});
    TraceCall(a, "Selection.getFocus");
    Call(a, "Selection.setSelection", {0, 3});  // no field focused: nothing to select
    TraceCall(a, "Selection.getEndIndex");
    TraceCall(a, "Selection.setFocus", {"_root.field"});
    TraceCall(a, "Selection.getBeginIndex");
    Call(a, "Selection.setSelection", {8, -4});
    TraceCall(a, "Selection.getBeginIndex");
    TraceCall(a, "Selection.getEndIndex");
    TraceCall(a, "Selection.getCaretIndex");
    Call(a, "Selection.setSelection", {2});
    TraceCall(a, "Selection.getEndIndex");
    TraceCall(a, "Selection.setFocus", {swfw::Null{}});
    TraceCall(a, "Selection.getFocus");
    TraceCall(a, "Selection.getCaretIndex");
    EXPECT_EQ(Lines(a), (std::vector<std::string>{"false", "true", "_level0.c", "-1", "true",
                                                  "-1", "0", "8", "0", "11", "true", "null",
                                                  "-1"}));
}

// A clip takes the focus when it allows it or when it has a button handler, whatever its
// focusEnabled says.
TEST(PlayerObjects, ClipsActingAsButtonsTakeTheFocus) {
    Asm a;
    a.Push("c").Push(2, "c", 2).GetVariable("_root").Push("createEmptyMovieClip")
        .Op(Op::kCallMethod).Op(Op::kSetVariable);
    Set(a, "c.focusEnabled", false);
    TraceCall(a, "Selection.setFocus", {P{"c"}});
    a.GetVariable("c").Push("onRelease").DefineFunction("", {}, [](Asm&) {}).Op(Op::kSetMember);
    TraceCall(a, "Selection.setFocus", {P{"c"}});
    TraceCall(a, "Selection.getFocus");
    EXPECT_EQ(Lines(a), (std::vector<std::string>{"false", "true", "_level0.c"}));
}

TEST(PlayerObjects, SoundMixBelongsToItsClip) {
    Asm a;
    a.Push("c").Push(1, "c", 2).GetVariable("_root").Push("createEmptyMovieClip")
        .Op(Op::kCallMethod).Op(Op::kSetVariable);
    New(a, "s", "Sound", {P{"c"}});
    New(a, "t", "Sound", {P{"c"}});
    New(a, "whole", "Sound", {});
    Call(a, "s.setVolume", {40});
    Call(a, "s.setPan", {-25});
    TraceCall(a, "t.getVolume");  // the same clip: the same mix
    TraceCall(a, "t.getPan");
    TraceCall(a, "whole.getVolume");
    New(a, "o", "Object", {});
    Set(a, "o.ll", 10);
    Call(a, "s.setTransform", {P{"o"}});
    TraceCall(a, "s.getPan");  // a left side below full pans right
    Call(a, "c.removeMovieClip", {});
    TraceCall(a, "s.getVolume");
    EXPECT_EQ(Lines(a), (std::vector<std::string>{"40", "-25", "100", "90", "undefined"}));
}

// Makes clip `name` at `depth` on _root and keeps it in variable `var`.
void MakeClip(Asm& a, const std::string& var, const std::string& name, int depth) {
    a.Push(var).Push(depth, name, 2).GetVariable("_root").Push("createEmptyMovieClip")
        .Op(Op::kCallMethod).Op(Op::kSetVariable);
}

TEST(PlayerObjects, SoundPanAndChannelLevelsWrapAsIntegers) {
    struct Case {
        Item pan;
        const char* traced;  // getPan, then ll and rr
    };
    const Case cases[] = {
        {50, "50 50 100"},
        {-50, "-50 100 50"},
        {200.2, "0 -100 100"},
        {-200.2, "0 100 -100"},
        {3000000000.0, "2147483448 100 -2147483548"},
        {Item(swfw::Undefined{}), "0 100 100"},
    };
    for (const Case& c : cases) {
        Asm a;
        MakeClip(a, "c", "c", 1);
        New(a, "s", "Sound", {P{"c"}});
        Call(a, "s.setPan", {c.pan});
        a.Push("t");
        PushArgs(a, {});
        PushParent(a, "s.getTransform");
        a.Op(Op::kCallMethod).Op(Op::kSetVariable);
        a.Push("line");
        PushArgs(a, {});
        PushParent(a, "s.getPan");
        a.Op(Op::kCallMethod);
        for (const char* channel : {"t.ll", "t.rr"}) {
            a.Push(" ").Op(Op::kAdd2);
            PushPath(a, channel);
            a.Op(Op::kAdd2);
        }
        a.Op(Op::kSetVariable);
        TracePath(a, "line");
        EXPECT_EQ(Lines(a), std::vector<std::string>{c.traced});
    }
}

TEST(PlayerObjects, SoundTransformTakesOwnLevelsWrappedTo32Bits) {
    Asm a;
    MakeClip(a, "c", "c", 1);
    New(a, "s", "Sound", {P{"c"}});
    New(a, "o", "Object", {});
    Set(a, "o.ll", 3000000000.0);
    Set(a, "o.rr", -150);
    Call(a, "s.setTransform", {P{"o"}});
    TraceCall(a, "s.getPan");  // a left side of other than 100 pans by its size
    New(a, "inherited", "Object", {});
    Set(a, "inherited.__proto__", P{"o"});
    New(a, "nan", "Object", {});
    Set(a, "nan.ll", P{"NaN"});
    Call(a, "s.setTransform", {P{"inherited"}});  // levels it only inherits change nothing
    TraceCall(a, "s.getPan");
    Call(a, "s.setTransform", {P{"nan"}});
    TraceCall(a, "s.getPan");
    EXPECT_EQ(Lines(a), (std::vector<std::string>{"-1294967196", "-1294967196", "100"}));
}

TEST(PlayerObjects, SoundFindsItsClipByThePathItHadWhenMade) {
    Asm a;
    MakeClip(a, "kept", "kept", 1);
    MakeClip(a, "c", "other", 2);
    New(a, "s", "Sound", {P{"kept"}});
    New(a, "u", "Sound", {P{"c"}});
    Call(a, "s.setVolume", {40});
    Set(a, "kept._name", "renamed");
    TraceCall(a, "s.getVolume");  // no clip is "kept" now, but the variable kept answers
    Call(a, "u.setVolume", {30});
    Set(a, "c._name", "gone");
    TraceCall(a, "u.getVolume");  // nothing answers to "other"
    Call(a, "u.setVolume", {10});  // and so this is lost
    Set(a, "c._name", "other");
    TraceCall(a, "u.getVolume");
    EXPECT_EQ(Lines(a), (std::vector<std::string>{"40", "undefined", "30"}));
}

TEST(PlayerObjects, SoundOfAnObjectTakesItsTextAndAThrowEndsTheBlock) {
    Asm a;
    New(a, "o", "Object", {});
    a.GetVariable("o").Push("toString");
    a.DefineFunction("", {}, [](Asm& f) { f.Push("no").Op(Op::kThrow); });
    a.Op(Op::kSetMember);
    a.Push("before").Trace();
    New(a, "s", "Sound", {P{"o"}});
    a.Push("after").Trace();
    EXPECT_EQ(Lines(a), (std::vector<std::string>{"before", "Warning: Uncaught exception, no"}));
}

TEST(ExternalInterface, EscapesAndUnescapesTheFiveEntitiesOnly) {
    struct Case {
        const char* method;
        Item given;
        const char* traced;
    };
    const Case cases[] = {
        {"_escapeXML", "a<b>&\"'c", "a&lt;b&gt;&amp;&quot;&apos;c"},
        {"_escapeXML", "", "null"},
        {"_escapeXML", 4, "4"},
        {"_unescapeXML", "&lt;&gt;&amp;&quot;&apos;", "<>&\"'"},
        {"_unescapeXML", "&amp;amp; &LT; &#x20; &", "&amp; &LT; &#x20; &"},
        {"_unescapeXML", "", "null"},
    };
    for (const Case& c : cases) {
        Asm a;
        TraceCall(a, std::string("flash.external.ExternalInterface.") + c.method, {c.given});
        EXPECT_EQ(Lines(a), std::vector<std::string>{c.traced}) << c.method;
    }
    Asm none;
    TracePath(none, "flash.external.ExternalInterface.available");
    TraceCall(none, "flash.external.ExternalInterface.call", {"f"});
    TraceCall(none, "flash.external.ExternalInterface._escapeXML");
    EXPECT_EQ(Lines(none), (std::vector<std::string>{"false", "null", "null"}));
}

TEST(ExternalInterface, ReadsTheBridgesXmlBackIntoValues) {
    struct Case {
        const char* xml;
        const char* traced;  // String(_toAS(first node)), with a property read for containers
    };
    const Case cases[] = {
        {"<number>-2.5</number>", "-2.5"},
        {"<number>2x</number>", "NaN"},
        {"<string>a&amp;b</string>", "a&b"},
        {"<true/>", "true"},
        {"<null/>", "null"},
        {"<TRUE/>", "undefined"},
        {"<array><property id=\"1\"><number>7</number></property></array>", "undefined,7"},
        {"<object><property id=\"k\"><string>v</string></property></object>", "v"},
    };
    for (const Case& c : cases) {
        Asm a;
        New(a, "x", "XML", {c.xml});
        a.Push("v");
        PushPath(a, "x.firstChild");
        a.Push(1);
        PushParent(a, "flash.external.ExternalInterface._toAS");
        a.Op(Op::kCallMethod).Op(Op::kSetVariable);
        // Objects show their "k", everything else itself.
        TracePath(a, std::string(c.xml).starts_with("<object") ? "v.k" : "v");
        EXPECT_EQ(Lines(a), std::vector<std::string>{c.traced}) << c.xml;
    }
}

TEST(ExternalInterface, NodesThatLoopBackEnd) {
    // <array><property id="a"> whose value is the array node itself, endlessly.
    Asm a;
    New(a, "node", "Object", {});
    New(a, "prop", "Object", {});
    New(a, "attrs", "Object", {});
    Set(a, "node.nodeName", "array");
    Set(a, "attrs.id", "a");
    Set(a, "prop.attributes", P{"attrs"});
    Set(a, "prop.firstChild", P{"node"});
    New(a, "children", "Array", {});
    Set(a, "children.0", P{"prop"});
    Set(a, "children.length", 1000000000);
    Set(a, "node.childNodes", P{"children"});
    a.Push("v");
    PushArgs(a, {P{"node"}});
    PushParent(a, "flash.external.ExternalInterface._toAS");
    a.Op(Op::kCallMethod).Op(Op::kSetVariable);
    TraceCall(a, "v.a.a.a.hasOwnProperty", {"a"});
    a.Push("done").Trace();
    EXPECT_EQ(Lines(a), (std::vector<std::string>{"true", "done"}));
}

// obj.method = function(e) { trace(prefix + e[member]); }, or trace(prefix + e) without a member.
void TraceHandler(Asm& a, const std::string& object, const std::string& method,
                  const std::string& prefix, const std::string& member = "") {
    a.GetVariable(object).Push(method);
    a.DefineFunction("", {"e"}, [&](Asm& f) {
        f.Push(prefix).GetVariable("e");
        if (!member.empty()) f.Push(member).Op(Op::kGetMember);
        f.Op(Op::kAdd2).Trace();
    });
    a.Op(Op::kSetMember);
}

std::vector<std::string> LinesOverFrames(const Asm& script, int frames) {
    swfw::Movie m;
    m.Do(script).ShowFrame();
    for (int i = 1; i < frames; ++i) m.ShowFrame();
    auto run = PlayMovie(m);
    for (int i = 1; i < frames && run->player; ++i) run->player->Tick();
    return run->lines;
}

TEST(Connections, NetConnectionReportsWhatAPlayerWithoutNetworkDoes) {
    Asm a;
    New(a, "nc", "NetConnection", {});
    TraceHandler(a, "nc", "onStatus", "status ", "code");
    Call(a, "nc.close", {});  // nothing open: nothing to say
    TraceCall(a, "nc.connect", {Item(swfw::Null{})});
    TracePath(a, "nc.isConnected");
    Call(a, "nc.connect", {Item(swfw::Null{})});  // the open one closes first
    Call(a, "nc.close", {});
    TraceCall(a, "nc.connect", {"http://example.org/gateway"});
    Call(a, "nc.close", {});  // a remoting connection says so twice, the second time with nothing
    TraceCall(a, "nc.connect", {"rtmp://example.org/app"});
    a.Push("frame ends").Trace();
    EXPECT_EQ(LinesOverFrames(a, 2),
              (std::vector<std::string>{
                  "status NetConnection.Connect.Success", "true", "true",
                  "status NetConnection.Connect.Closed", "status NetConnection.Connect.Success",
                  "status NetConnection.Connect.Closed", "true",
                  "status NetConnection.Connect.Closed", "status undefined", "false",
                  "frame ends", "status NetConnection.Connect.Failed"}));
}

TEST(Connections, AFailedConnectGivenUpOnIsNotReported) {
    Asm a;
    New(a, "nc", "NetConnection", {});
    TraceHandler(a, "nc", "onStatus", "status ", "code");
    Call(a, "nc.connect", {"rtmp://example.org/app"});
    Call(a, "nc.close", {});
    Call(a, "nc.connect", {"rtmp://example.org/other"});
    EXPECT_EQ(LinesOverFrames(a, 3),
              (std::vector<std::string>{"status NetConnection.Connect.Failed"}));
}

TEST(Connections, XmlSocketFailsToConnectAndParsesWhatItIsGiven) {
    Asm a;
    New(a, "s", "XMLSocket", {});
    TraceHandler(a, "s", "onConnect", "connected ");
    TraceHandler(a, "s", "onXML", "xml ", "firstChild");
    TraceCall(a, "s.connect", {"localhost", 1024});
    Call(a, "s.onData", {"<a>b</a>"});
    EXPECT_EQ(LinesOverFrames(a, 3),
              (std::vector<std::string>{"true", "xml <a>b</a>", "connected false"}));
}

TEST(Connections, LocalConnectionNamesAreCheckedAndHeldByOne) {
    struct Case {
        Item name;
        const char* traced;
    };
    const Case cases[] = {
        {Item("held"), "false"},       {Item("HELD"), "false"},     // the name folds case
        {Item("channel"), "true"},
        {Item("_channel"), "true"},    {Item("a:b"), "false"},      // no domain of its own
        {Item(""), "false"},           {Item(swfw::Null{}), "false"},
        {Item(0), "false"},            {Item(" ??? "), "true"},
    };
    Asm a;
    New(a, "first", "LocalConnection", {});
    Call(a, "first.connect", {"held"});
    std::vector<std::string> want;
    for (const Case& c : cases) {
        New(a, "lc", "LocalConnection", {});
        TraceCall(a, "lc.connect", {c.name});
        want.emplace_back(c.traced);
    }
    // A connection listens on one name; closing frees it.
    TraceCall(a, "first.connect", {"other"});
    Call(a, "first.close", {});
    TraceCall(a, "first.connect", {"other"});
    want.insert(want.end(), {"false", "true"});
    EXPECT_EQ(Lines(a), want);
}

TEST(Connections, LocalConnectionDeliversOnTheNextTick) {
    Asm a;
    New(a, "receiver", "LocalConnection", {});
    New(a, "sender", "LocalConnection", {});
    TraceHandler(a, "sender", "onStatus", "status ", "level");
    TraceHandler(a, "receiver", "hello", "hello ");
    Call(a, "receiver.connect", {"here"});
    TraceCall(a, "sender.send", {"LOCALHOST:Here", "hello", "world"});  // heard
    TraceCall(a, "sender.send", {"nowhere", "hello"});                  // no one listens
    TraceCall(a, "sender.send", {"here", "connect"});                   // reserved
    TraceCall(a, "sender.send", {"here", ""});
    TraceCall(a, "sender.send", {"localhost:_x", "hello"});  // a shared name takes no domain
    a.Push("frame ends").Trace();
    EXPECT_EQ(LinesOverFrames(a, 3),
              (std::vector<std::string>{"true", "true", "false", "false", "true", "frame ends",
                                        "status status", "hello world", "status error",
                                        "status error"}));
}

TEST(Connections, LocalConnectionMessageNeedsAListenerWhenSentAndWhenDue) {
    Asm a;
    New(a, "a", "LocalConnection", {});
    New(a, "b", "LocalConnection", {});
    New(a, "sender", "LocalConnection", {});
    TraceHandler(a, "sender", "onStatus", "status ", "level");
    TraceHandler(a, "a", "m", "a got ");
    TraceHandler(a, "b", "m", "b got ");
    Call(a, "sender.send", {"late", "m", 1});  // the listener comes after it was sent
    Call(a, "a.connect", {"late"});
    Call(a, "b.connect", {"moved"});
    Call(a, "sender.send", {"moved", "m", 2});  // the name changes hands before the tick ends
    Call(a, "b.close", {});
    Call(a, "a.close", {});
    Call(a, "a.connect", {"moved"});
    EXPECT_EQ(LinesOverFrames(a, 2),
              (std::vector<std::string>{"status error", "status status", "a got 2"}));
}

TEST(Connections, DevicesThereAreNoneOfAndTheFlashPackageByVersion) {
    struct Case {
        int version;
        const char* traced;
    };
    const Case cases[] = {
        {6, "undefined null false false object function"},
        {8, "object null false false object function"},
    };
    for (const Case& c : cases) {
        Asm a;
        New(a, "job", "PrintJob", {});
        a.Push("line").GetVariable("flash").Op(Op::kTypeOf);
        for (const char* call : {"Camera.get", "job.start", "Accessibility.isActive"}) {
            a.Push(" ").Op(Op::kAdd2);
            PushArgs(a, {});
            PushParent(a, call);
            a.Op(Op::kCallMethod).Op(Op::kAdd2);
        }
        for (const char* path : {"NetStream.prototype", "Video"}) {
            a.Push(" ").Op(Op::kAdd2);
            PushPath(a, path);
            a.Op(Op::kTypeOf).Op(Op::kAdd2);
        }
        a.Op(Op::kSetVariable);
        TracePath(a, "line");
        EXPECT_EQ(Lines(a, c.version), std::vector<std::string>{c.traced}) << c.version;
    }
}

TEST(PlayerObjects, SharedObjectsLastForTheRun) {
    Asm a;
    a.Push("x").Push("prefs", 1).GetVariable("SharedObject").Push("getLocal")
        .Op(Op::kCallMethod).Op(Op::kSetVariable);
    Set(a, "x.data.level", 3);
    a.Push("y").Push("prefs", 1).GetVariable("SharedObject").Push("getLocal")
        .Op(Op::kCallMethod).Op(Op::kSetVariable);
    TracePath(a, "y.data.level");
    TraceCall(a, "y.flush");
    TraceCall(a, "SharedObject.getLocal", {"bad name"});
    EXPECT_EQ(Lines(a), (std::vector<std::string>{"3", "true", "null"}));
}

// ---- Bitmaps on the display, opaqueBackground, scrollRect, cacheAsBitmap -----------------------

void Render(Run& run) {
    run.player->Render({run.pixels.data(), kWidth, kHeight, kWidth * 4});
}

// c = _root.createEmptyMovieClip("c", 1)
void MakeClip(Asm& a, const std::string& name = "c", int depth = 1) {
    a.Push(name).Push(depth, name, 2).GetVariable("_root").Push("createEmptyMovieClip")
        .Op(Op::kCallMethod).Op(Op::kSetVariable);
}

// A closed rectangle path (filled by whatever fill or line style is set).
void Rectangle(Asm& a, const std::string& clip, int x0, int y0, int x1, int y1) {
    Call(a, clip + ".moveTo", {x0, y0});
    Call(a, clip + ".lineTo", {x1, y0});
    Call(a, clip + ".lineTo", {x1, y1});
    Call(a, clip + ".lineTo", {x0, y1});
    Call(a, clip + ".lineTo", {x0, y0});
}

using Rgb = std::array<int, 3>;
constexpr Rgb kWhite{255, 255, 255}, kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255};

// An attached bitmap lies a pixel to a pixel at the clip's origin, and shows what its
// BitmapData holds on each frame: changed pixels, then nothing once disposed.
TEST(AttachBitmap, ShowsTheBitmapsPixelsAsTheyAreEachFrame) {
    Asm first;
    New(first, "b", "flash.display.BitmapData", {20, 10, false, 4294901760.0});  // red
    MakeClip(first);
    Set(first, "c._x", 100);
    Set(first, "c._y", 50);
    Call(first, "c.attachBitmap", {P{"b"}, 5});
    TraceCall(first, "c.getInstanceAtDepth", {5});  // a bitmap is no clip
    TracePath(first, "c._width");
    TracePath(first, "c._height");
    Asm second;
    Call(second, "b.fillRect", {P{"b.rectangle"}, 4278190335.0});  // blue
    Asm third;
    Call(third, "b.dispose", {});
    swfw::Movie m;
    m.Version(8);
    m.Do(first).ShowFrame().Do(second).ShowFrame().Do(third).ShowFrame();
    auto run = PlayMovie(m);
    EXPECT_EQ(run->lines, (std::vector<std::string>{"undefined", "20", "10"}));
    struct Probe {
        int x, y;
        Rgb frame1, frame2;
    };
    const Probe probes[] = {
        {100, 50, kRed, kBlue},     {119, 59, kRed, kBlue},     {120, 55, kWhite, kWhite},
        {110, 60, kWhite, kWhite},  {99, 55, kWhite, kWhite},
    };
    for (const Probe& p : probes) EXPECT_EQ(run->Rgb(p.x, p.y), p.frame1) << p.x << "," << p.y;
    run->player->Tick();
    Render(*run);
    for (const Probe& p : probes) EXPECT_EQ(run->Rgb(p.x, p.y), p.frame2) << p.x << "," << p.y;
    run->player->Tick();
    Render(*run);
    EXPECT_EQ(run->Rgb(105, 55), kWhite);
}

TEST(AttachBitmap, IgnoresWhatIsNoLiveBitmap) {
    Asm a;
    New(a, "b", "flash.display.BitmapData", {20, 10, false, 4294901760.0});
    New(a, "gone", "flash.display.BitmapData", {20, 10, false, 4294901760.0});
    Call(a, "gone.dispose", {});
    MakeClip(a);
    Call(a, "c.attachBitmap", {P{"gone"}, 1});
    Call(a, "c.attachBitmap", {P{"c"}, 2});
    Call(a, "c.attachBitmap", {P{"b"}, -20000});  // no such depth
    Call(a, "c.attachBitmap", {P{"b"}});          // no depth
    auto run = Play(a);
    EXPECT_EQ(run->Rgb(5, 5), kWhite);
}

// A 2x2 bitmap (red, green / blue, black) scaled ten times into a 60x40 rectangle: tiled, or
// with its edge pixels stretched past it.
TEST(BitmapFill, TilesOrStretchesThroughItsMatrix) {
    struct Case {
        bool repeat;
        Rgb at125x105, at105x125;
    };
    const Case cases[] = {
        {true, kRed, kRed},
        {false, kGreen, kBlue},
    };
    for (const Case& c : cases) {
        Asm a;
        New(a, "b", "flash.display.BitmapData", {2, 2, false, 4278190080.0});  // black
        Call(a, "b.setPixel", {0, 0, 0xFF0000});
        Call(a, "b.setPixel", {1, 0, 0x00FF00});
        Call(a, "b.setPixel", {0, 1, 0x0000FF});
        New(a, "m", "flash.geom.Matrix", {10, 0, 0, 10, 100, 100});
        MakeClip(a);
        Call(a, "c.beginBitmapFill", {P{"b"}, P{"m"}, c.repeat, false});
        Rectangle(a, "c", 100, 100, 160, 140);
        Call(a, "c.endFill", {});
        auto run = Play(a);
        EXPECT_EQ(run->Rgb(105, 105), kRed) << c.repeat;
        EXPECT_EQ(run->Rgb(115, 105), kGreen) << c.repeat;
        EXPECT_EQ(run->Rgb(105, 115), kBlue) << c.repeat;
        EXPECT_EQ(run->Rgb(115, 115), (Rgb{0, 0, 0})) << c.repeat;
        EXPECT_EQ(run->Rgb(125, 105), c.at125x105) << c.repeat;
        EXPECT_EQ(run->Rgb(105, 125), c.at105x125) << c.repeat;
        EXPECT_EQ(run->Rgb(165, 105), kWhite) << c.repeat;  // outside the rectangle
    }
}

TEST(BitmapFill, WithoutABitmapNothingIsFilled) {
    Asm a;
    MakeClip(a);
    Call(a, "c.beginBitmapFill", {5});
    Rectangle(a, "c", 100, 100, 160, 140);
    Call(a, "c.endFill", {});
    EXPECT_EQ(Play(a)->Rgb(120, 120), kWhite);
}

// opaqueBackground fills the box around an outline drawn with no fill; null takes it away.
TEST(OpaqueBackground, FillsTheClipsBoundsAndReadsBack) {
    struct Case {
        Arg value;
        const char* traced;
        Rgb inside;
    };
    const Case cases[] = {
        {Item(65280), "65280", kGreen},
        {Item(4278190335.0), "255", kBlue},  // the alpha byte is dropped
        {Item(swfw::Null{}), "undefined", kWhite},
        {Item(swfw::Undefined{}), "undefined", kWhite},
    };
    for (const Case& c : cases) {
        Asm a;
        MakeClip(a);
        Call(a, "c.lineStyle", {1, 0xFF0000});
        Rectangle(a, "c", 100, 100, 200, 200);
        Set(a, "c.opaqueBackground", Item(0xFF00FF));
        Set(a, "c.opaqueBackground", c.value);
        TracePath(a, "c.opaqueBackground");
        auto run = Play(a);
        EXPECT_EQ(run->lines, std::vector<std::string>{c.traced});
        EXPECT_EQ(run->Rgb(150, 150), c.inside) << c.traced;
        EXPECT_EQ(run->Rgb(250, 150), kWhite) << c.traced;
    }
}

// A clip drawn red (0..50) and blue (50..100) shows only the scroll rectangle's part of itself,
// moved to its origin; undefined shows all of it again.
TEST(ScrollRect, ShowsOnlyItsRectangleMovedToTheOrigin) {
    struct Probe {
        int x, y;
        Rgb scrolled, whole;
    };
    const Probe probes[] = {
        {205, 105, kBlue, kRed},     {228, 118, kBlue, kRed},    {235, 105, kWhite, kRed},
        {205, 125, kWhite, kRed},    {195, 105, kWhite, kWhite}, {260, 105, kWhite, kBlue},
    };
    for (bool keep : {true, false}) {
        Asm a;
        MakeClip(a);
        Call(a, "c.beginFill", {0xFF0000});
        Rectangle(a, "c", 0, 0, 50, 50);
        Call(a, "c.beginFill", {0x0000FF});
        Rectangle(a, "c", 50, 0, 100, 50);
        Call(a, "c.endFill", {});
        Set(a, "c._x", 200);
        Set(a, "c._y", 100);
        New(a, "r", "flash.geom.Rectangle", {50, 0, 30, 20});
        Set(a, "c.scrollRect", P{"r"});
        TracePath(a, "c.scrollRect.x");
        TracePath(a, "c.scrollRect.width");
        if (!keep) Set(a, "c.scrollRect", Item(swfw::Undefined{}));
        TracePath(a, "c.scrollRect");
        auto run = Play(a);
        EXPECT_EQ(run->lines, (std::vector<std::string>{
                                  "50", "30", keep ? "(x=50, y=0, w=30, h=20)" : "undefined"}));
        for (const Probe& p : probes) {
            EXPECT_EQ(run->Rgb(p.x, p.y), keep ? p.scrolled : p.whole)
                << p.x << "," << p.y << (keep ? " scrolled" : " whole");
        }
    }
}

TEST(CacheAsBitmap, IsKeptAndReadBack) {
    Asm a;
    MakeClip(a);
    TracePath(a, "c.cacheAsBitmap");
    Set(a, "c.cacheAsBitmap", 1);
    TracePath(a, "c.cacheAsBitmap");
    Set(a, "c.cacheAsBitmap", "");
    TracePath(a, "c.cacheAsBitmap");
    EXPECT_EQ(Lines(a), (std::vector<std::string>{"false", "true", "false"}));
}

// setMask: the clip shows only where the mask clip covers it, and the mask itself is not drawn;
// a mask with a scroll rectangle is moved by it but not cut to it; null takes the mask away.
TEST(SetMask, ShowsTheClipOnlyUnderTheMask) {
    struct Case {
        const char* name;
        bool scrolled, removed;
        Rgb at110x110, at150x150, at230x150;
    };
    const Case cases[] = {
        // The mask covers 100..200 (100..180 moved left and up by 20 when scrolled).
        {"plain", false, false, kRed, kRed, kWhite},
        {"scrolled", true, false, kRed, kRed, kWhite},
        {"removed", false, true, kGreen, kGreen, kRed},  // the mask is drawn again
    };
    for (const Case& c : cases) {
        Asm a;
        MakeClip(a, "c", 1);
        Call(a, "c.beginFill", {0xFF0000});
        Rectangle(a, "c", 50, 50, 300, 300);
        Call(a, "c.endFill", {});
        MakeClip(a, "m", 2);
        Call(a, "m.beginFill", {0x00FF00});
        Rectangle(a, "m", 100, 100, 200, 200);
        Call(a, "m.endFill", {});
        if (c.scrolled) {
            New(a, "r", "flash.geom.Rectangle", {20, 20, 10, 10});
            Set(a, "m.scrollRect", P{"r"});
        }
        Call(a, "c.setMask", {P{"m"}});
        if (c.removed) Call(a, "c.setMask", {Item(swfw::Null{})});
        auto run = Play(a);
        EXPECT_EQ(run->Rgb(110, 110), c.at110x110) << c.name;
        EXPECT_EQ(run->Rgb(150, 150), c.at150x150) << c.name;
        EXPECT_EQ(run->Rgb(230, 150), c.at230x150) << c.name;
        EXPECT_EQ(run->Rgb(60, 60), c.removed ? kRed : kWhite) << c.name;
        // Scrolled by (20, 20), the mask ends at 180.
        EXPECT_EQ(run->Rgb(190, 150), c.scrolled ? kWhite : c.removed ? kGreen : kRed) << c.name;
    }
}

}  // namespace
