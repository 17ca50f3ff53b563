// BitmapData's drawing and pixel methods through the whole engine: draw of clips and bitmaps,
// applyFilter and generateFilterRect, merge, paletteMap, compare and perlinNoise, and hostile
// arguments to each. Results are read back with getPixel32 through trace().
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "player/script/perlin_noise.h"
#include "tests/support/avm1_asm.h"
#include "tests/support/script_calls.h"
#include "tests/support/script_traces.h"
#include "tests/support/swf_writer.h"

namespace {

using swfw::Asm;
using namespace swfw::calls;

constexpr const char* kBitmap = "flash.display.BitmapData";
const std::string kRed = "-65536";  // 0xFFFF0000 as getPixel32 answers it

std::vector<std::string> Lines(const Asm& script) {
    swfw::Movie m;
    m.Version(8);
    m.Do(script).ShowFrame();
    return swfw::PlayTraces(m);
}

// A movie whose stage holds clip "a" (at 100, 100, which draw ignores): a sprite showing a
// 20 x 20 px red box at its origin.
swfw::Movie WithBoxClip() {
    swfw::Movie m;
    m.Version(8);
    swfw::Shape box(1);
    box.Fill(box.AddFill(swfw::FillStyle::Solid(swfw::Rgb(255, 0, 0)))).Rectangle(0, 0, 400, 400);
    m.Define(box);
    swfw::Sprite clip(2);
    clip.Place(swfw::PlaceObject::New(1, 1)).ShowFrame();
    m.Define(clip);
    m.Place(swfw::PlaceObject::New(2, 1).At(2000, 2000).Name("a"));
    return m;
}

void TracePixels(Asm& a, const std::string& bitmap, const std::vector<std::pair<int, int>>& at) {
    for (const auto& [x, y] : at) TraceCall(a, bitmap + ".getPixel32", {x, y});
}

// ---- draw -------------------------------------------------------------------------------------

TEST(BitmapDraw, AClipIsDrawnInItsOwnSpaceThroughMatrixColourAndClipRect) {
    struct Case {
        const char* name;
        std::vector<Arg> matrix;     // Matrix arguments; none: null
        std::vector<Arg> transform;  // ColorTransform arguments; none: null
        std::vector<Arg> clipRect;   // Rectangle arguments; none: null
        std::vector<std::pair<int, int>> probes;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"plain", {}, {}, {}, {{0, 0}, {19, 19}, {20, 20}, {39, 0}}, {kRed, kRed, "0", "0"}},
        {"moved",
         {1, 0, 0, 1, 10, 5},
         {},
         {},
         {{9, 5}, {10, 5}, {29, 24}, {30, 24}},
         {"0", kRed, kRed, "0"}},
        {"scaled", {2, 0, 0, 2, 0, 0}, {}, {}, {{39, 39}, {25, 3}}, {kRed, kRed}},
        {"recoloured", {}, {0, 1, 1, 1, 0, 255, 0, 0}, {}, {{5, 5}, {25, 25}}, {"-16711936", "0"}},
        {"half alpha", {}, {1, 1, 1, 0.5, 0, 0, 0, 0}, {}, {{5, 5}}, {"2147418112"}},
        {"clipped", {}, {}, {2, 2, 3, 3}, {{1, 1}, {2, 2}, {4, 4}, {5, 5}}, {"0", kRed, kRed, "0"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        swfw::Movie m = WithBoxClip();
        Asm a;
        New(a, "b", kBitmap, {40, 40, true, 0});
        if (!c.matrix.empty()) New(a, "m", "flash.geom.Matrix", c.matrix);
        if (!c.transform.empty()) New(a, "ct", "flash.geom.ColorTransform", c.transform);
        if (!c.clipRect.empty()) New(a, "r", "flash.geom.Rectangle", c.clipRect);
        const Arg none = swfw::Null{};
        Call(a, "b.draw",
             {P{"a"}, c.matrix.empty() ? none : P{"m"}, c.transform.empty() ? none : P{"ct"}, none,
              c.clipRect.empty() ? none : P{"r"}});
        TracePixels(a, "b", c.probes);
        m.Do(a).ShowFrame();
        EXPECT_EQ(swfw::PlayTraces(m), c.expected);
    }
}

TEST(BitmapDraw, ABitmapSourceIsSampledThroughTheMatrixAndBlended) {
    Asm a;
    New(a, "src", kBitmap, {2, 2, true, 0});
    Call(a, "src.setPixel32", {0, 0, 4294901760.0});  // red
    Call(a, "src.setPixel32", {1, 1, 4278190335.0});  // blue
    New(a, "b", kBitmap, {8, 8, false, 0xFFFFFF});
    New(a, "m", "flash.geom.Matrix", {2, 0, 0, 2, 1, 1});
    Call(a, "b.draw", {P{"src"}, P{"m"}});
    // Each source pixel covers 2 x 2 from (1, 1); the clear ones leave the white.
    TracePixels(a, "b", {{0, 0}, {1, 1}, {2, 2}, {3, 1}, {3, 3}, {4, 4}, {5, 5}});
    // Difference by name and by number: red over white gives cyan, cyan over red white.
    New(a, "w", kBitmap, {2, 2, false, 0xFFFFFF});
    Call(a, "w.draw", {P{"src"}, swfw::Null{}, swfw::Null{}, "difference"});
    TracePixels(a, "w", {{0, 0}, {1, 0}});
    Call(a, "w.draw", {P{"w"}, swfw::Null{}, swfw::Null{}, 7});
    TracePixels(a, "w", {{0, 0}});
    EXPECT_EQ(Lines(a),
              (std::vector<std::string>{"-1", "-65536", "-65536", "-1", "-16776961", "-16776961",
                                        "-1", "-16711681", "-1", "-16777216"}));
}

TEST(BitmapDraw, HostileArgumentsDrawNothingAndBreakNothing) {
    swfw::Movie m = WithBoxClip();
    Asm a;
    New(a, "b", kBitmap, {16, 16, true, 0});
    New(a, "nan", "flash.geom.Matrix", {0.0 / 0.0, 0, 0, 1, 0, 0});
    New(a, "huge", "flash.geom.Matrix", {1e300, 0, 0, 1e300, -1e300, 1e300});
    New(a, "flat", "flash.geom.Matrix", {0, 0, 0, 0, 0, 0});
    New(a, "wide", "flash.geom.Rectangle", {-1e12, -1e12, 1e13, 1e13});
    New(a, "negative", "flash.geom.Rectangle", {10, 10, -50, -50});
    Call(a, "b.draw", {P{"a"}, P{"nan"}});
    Call(a, "b.draw", {P{"a"}, P{"huge"}});
    Call(a, "b.draw", {P{"a"}, P{"flat"}});
    Call(a, "b.draw", {P{"b"}, P{"huge"}, swfw::Null{}, "no such mode"});
    Call(a, "b.draw", {P{"a"}, swfw::Null{}, swfw::Null{}, 255, P{"negative"}});
    Call(a, "b.draw", {"not a clip"});
    TracePixels(a, "b", {{0, 0}, {15, 15}});
    Call(a, "b.draw", {P{"a"}, swfw::Null{}, swfw::Null{}, swfw::Null{}, P{"wide"}});
    TracePixels(a, "b", {{15, 15}});
    m.Do(a).ShowFrame();
    EXPECT_EQ(swfw::PlayTraces(m), (std::vector<std::string>{"0", "0", kRed}));
}

TEST(BitmapDraw, ArgumentsWhoseScriptsTakeTheClipOrTheBitmapAwayDrawNothing) {
    Asm a;
    New(a, "b", kBitmap, {8, 8, true, 0});
    Call(a, "_root.createEmptyMovieClip", {"c", 5});
    Call(a, "c.beginFill", {0xFF0000});
    Call(a, "c.lineTo", {8, 0});
    Call(a, "c.lineTo", {8, 8});
    Call(a, "c.lineTo", {0, 8});
    Call(a, "c.endFill", {});
    // A matrix field whose valueOf removes the clip; then one that disposes the bitmap.
    a.DefineFunction("removeClip", {}, [](Asm& f) {
        Call(f, "c.removeMovieClip", {});
        f.Push(1).Op(swfw::Op::kReturn);
    });
    a.DefineFunction("disposeBitmap", {}, [](Asm& f) {
        Call(f, "b.dispose", {});
        f.Push(1).Op(swfw::Op::kReturn);
    });
    New(a, "m", "flash.geom.Matrix", {});
    New(a, "one", "Object", {});
    Set(a, "one.valueOf", P{"removeClip"});
    Set(a, "m.a", P{"one"});
    Call(a, "b.draw", {P{"c"}, P{"m"}});
    TraceCall(a, "b.getPixel32", {1, 1});
    New(a, "src", kBitmap, {2, 2, false, 0xFF});
    Set(a, "one.valueOf", P{"disposeBitmap"});
    Call(a, "b.draw", {P{"src"}, P{"m"}});
    TracePath(a, "b.width");
    EXPECT_EQ(Lines(a), (std::vector<std::string>{"0", "-1"}));
}

// ---- applyFilter ------------------------------------------------------------------------------

std::uint32_t AlphaOf(const std::string& traced) {
    return static_cast<std::uint32_t>(static_cast<std::int64_t>(std::stod(traced))) >> 24;
}

TEST(BitmapApplyFilter, ABlurChangesPixelsInsideTheRectangleOnly) {
    Asm a;
    New(a, "src", kBitmap, {20, 20, true, 0});
    New(a, "block", "flash.geom.Rectangle", {8, 8, 4, 4});
    Call(a, "src.fillRect", {P{"block"}, 4294901760.0});
    New(a, "b", kBitmap, {20, 20, true, 0});
    New(a, "r", "flash.geom.Rectangle", {5, 5, 10, 10});
    New(a, "at", "flash.geom.Point", {5, 5});
    New(a, "blur", "flash.filters.BlurFilter", {6, 6, 1});
    TraceCall(a, "b.applyFilter", {P{"src"}, P{"r"}, P{"at"}, P{"blur"}});
    TracePixels(a, "b", {{8, 8}, {6, 10}, {4, 10}, {15, 10}, {10, 15}});
    TraceCall(a, "b.applyFilter", {P{"src"}, P{"r"}, P{"at"}, "not a filter"});
    New(a, "far", "flash.geom.Point", {1e9, -1e9});
    New(a, "everything", "flash.geom.Rectangle", {-1e9, -1e9, 4e9, 4e9});
    TraceCall(a, "b.applyFilter", {P{"src"}, P{"everything"}, P{"far"}, P{"blur"}});
    TraceCall(a, "b.applyFilter", {P{"src"}, P{"everything"}, P{"at"}, P{"blur"}});
    // The rectangle a filter's result covers is larger than what it filters.
    a.Push("grown");
    PushArgs(a, {P{"r"}, P{"blur"}});
    PushParent(a, "b.generateFilterRect");
    a.Op(swfw::Op::kCallMethod).Op(swfw::Op::kSetVariable);
    TracePath(a, "grown.x");
    TracePath(a, "grown.width");
    const auto lines = Lines(a);
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines[0], "0");
    EXPECT_GT(AlphaOf(lines[1]), 0u) << "the block's corner keeps some cover";
    EXPECT_LT(AlphaOf(lines[1]), 255u) << "the block's corner is softened";
    EXPECT_GT(AlphaOf(lines[2]), 0u) << "the blur reaches beside the block";
    EXPECT_EQ(lines[3], "0");
    EXPECT_EQ(lines[4], "0");
    EXPECT_EQ(lines[5], "0");
    EXPECT_EQ(lines[6], "-1");
    EXPECT_EQ(lines[7], "0");
    EXPECT_EQ(lines[8], "0");
    EXPECT_LT(std::stod(lines[9]), 5);
    EXPECT_GT(std::stod(lines[10]), 10);
}

// ---- Filter fields the pixel methods read -----------------------------------------------------

TEST(GradientFilterStops, ColoursCountTheStopsAndTheOtherListsFillThem) {
    struct Step {
        const char* field;
        Arg value;
        const char* expected;  // colors | alphas | ratios after the step
    };
    const std::vector<Step> steps = {
        {"alphas", P{"one"}, "||"},  // no stops yet
        {"colors", P{"two"}, "1,2|0,0|0,0"},
        {"ratios", P{"three"}, "1,2|0,0|255,50"},  // clamped, whole, no more stops
        {"colors", "ABCD", "0,0,0,0|0,0,0,0|255,50,0,0"},
        {"ratios", swfw::Null{}, "0,0,0,0|0,0,0,0|255,50,0,0"},
        {"alphas", P{"halves"}, "0,0,0,0|0.501960784313725,1,0,1|255,50,0,0"},
        {"ratios", P{"one"}, "0|0.501960784313725|1"},  // a short list cuts the stops
        {"colors", 5, "||"},
        {"colors", P{"two"}, "1,2|0.501960784313725,1|1,50"},  // the old values come back
    };
    Asm a;
    New(a, "f", "flash.filters.GradientGlowFilter", {});
    a.Push("one").Push(1, 1).Op(swfw::Op::kInitArray).Op(swfw::Op::kSetVariable);
    a.Push("two").Push(2, 1, 2).Op(swfw::Op::kInitArray).Op(swfw::Op::kSetVariable);
    a.Push("three").Push(100, 50.5, 500, 3).Op(swfw::Op::kInitArray).Op(swfw::Op::kSetVariable);
    a.Push("halves").Push(-0.5, 1.5, 0.5, 3).Op(swfw::Op::kInitArray).Op(swfw::Op::kSetVariable);
    std::vector<std::string> expected;
    for (const Step& step : steps) {
        Set(a, std::string("f.") + step.field, step.value);
        for (const char* list : {"f.colors", "f.alphas", "f.ratios"}) TracePath(a, list);
        std::string text = step.expected;
        for (int i = 0; i < 3; ++i) {
            const std::size_t bar = text.find('|');
            expected.push_back(text.substr(0, bar));
            text = bar == std::string::npos ? "" : text.substr(bar + 1);
        }
    }
    EXPECT_EQ(Lines(a), expected);
}

TEST(GradientFilterStops, AMapPointMissingACoordinateIsTheOrigin) {
    Asm a;
    New(a, "f", "flash.filters.DisplacementMapFilter", {});
    New(a, "p", "Object", {});
    Set(a, "p.x", 3);
    Set(a, "f.mapPoint", P{"p"});
    TracePath(a, "f.mapPoint");
    Set(a, "p.y", -7.5);
    Set(a, "f.mapPoint", P{"p"});
    TracePath(a, "f.mapPoint");
    EXPECT_EQ(Lines(a), (std::vector<std::string>{"(x=0, y=0)", "(x=3, y=-7)"}));
}

// ---- loadBitmap -------------------------------------------------------------------------------

TEST(BitmapLoad, ALibraryBitmapComesWithItsPixelsAndTransparency) {
    swfw::Movie m;
    m.Version(8);
    m.Define(swfw::Bitmap::Argb(1, 2, 1, {0xFFFF0000u, 0xFF0000FFu}, false));
    m.Define(swfw::Bitmap::Argb(2, 1, 1, {0x80FFFFFFu}, true));
    m.Export(1, "opaque").Export(2, "Clear");
    Asm a;
    for (const char* name : {"opaque", "clear", "missing"}) {
        a.Push(name);
        PushArgs(a, {name});
        PushParent(a, "flash.display.BitmapData.loadBitmap");
        a.Op(swfw::Op::kCallMethod).Op(swfw::Op::kSetVariable);
    }
    TracePath(a, "opaque.width");
    TracePath(a, "opaque.transparent");
    TracePixels(a, "opaque", {{0, 0}, {1, 0}});
    TracePath(a, "clear.transparent");
    TraceCall(a, "clear.getPixel", {0, 0});
    TracePath(a, "missing");
    m.Do(a).ShowFrame();
    EXPECT_EQ(swfw::PlayTraces(m), (std::vector<std::string>{"2", "false", kRed, "-16776961",
                                                             "true", "16777215", "undefined"}));
}

// ---- merge, paletteMap, compare ---------------------------------------------------------------

TEST(BitmapChannels, MergeMixesEachChannelByItsMultiplier) {
    Asm a;
    New(a, "src", kBitmap, {2, 2, false, 0xFFFFFF});
    New(a, "b", kBitmap, {4, 4, false, 0});
    New(a, "r", "flash.geom.Rectangle", {0, 0, 2, 2});
    New(a, "at", "flash.geom.Point", {1, 1});
    Call(a, "b.merge", {P{"src"}, P{"r"}, P{"at"}, 128, 0, 256, 256});
    TracePixels(a, "b", {{0, 0}, {1, 1}, {2, 2}, {3, 3}});
    // Multipliers past 256 count as 256; a rectangle far outside changes nothing.
    Call(a, "b.merge", {P{"src"}, P{"r"}, P{"at"}, 1e9, -5, 0, 0});
    TracePixels(a, "b", {{1, 1}});
    New(a, "far", "flash.geom.Point", {-1e9, 1e9});
    Call(a, "b.merge", {P{"src"}, P{"r"}, P{"far"}, 256, 256, 256, 256});
    TracePixels(a, "b", {{3, 3}});
    EXPECT_EQ(Lines(a), (std::vector<std::string>{"-16777216", "-8453889", "-8453889", "-16777216",
                                                  "-65281", "-16777216"}));
}

TEST(BitmapChannels, PaletteMapSumsTheEntriesEachChannelPicks) {
    Asm a;
    New(a, "b", kBitmap, {2, 1, true, 4279246896.0});  // 0xFF102030
    New(a, "red", "Array", {});
    Set(a, "red.16", 0x00AA0000);
    New(a, "blue", "Array", {});
    Set(a, "blue.48", 0x00000055);
    New(a, "r", "flash.geom.Rectangle", {0, 0, 1, 1});
    New(a, "at", "flash.geom.Point", {0, 0});
    // No green or alpha array: those channels keep their values.
    Call(a, "b.paletteMap", {P{"b"}, P{"r"}, P{"at"}, P{"red"}, swfw::Null{}, P{"blue"}});
    TracePixels(a, "b", {{0, 0}, {1, 0}});
    // Values that are no arrays leave their channels as they are; an array's missing entries
    // count as 0.
    Call(a, "b.paletteMap", {P{"b"}, P{"r"}, P{"at"}, "abc", 5, swfw::Null{}});
    TracePixels(a, "b", {{0, 0}});
    New(a, "empty", "Array", {});
    Call(a, "b.paletteMap",
         {P{"b"}, P{"r"}, P{"at"}, P{"empty"}, P{"empty"}, P{"empty"}, P{"empty"}});
    TracePixels(a, "b", {{0, 0}});
    EXPECT_EQ(Lines(a), (std::vector<std::string>{"-5627819", "-15720400", "-5627819", "0"}));
}

TEST(BitmapCompare, AnswersCodesOrABitmapOfTheDifferences) {
    struct Case {
        const char* name;
        std::vector<Arg> first, second;  // BitmapData arguments
        bool disposeSecond;
        std::vector<std::string> expected;  // the answer, then pixel (0, 0) of a bitmap answer
    };
    const std::vector<Case> cases = {
        {"same", {3, 3, true, 0x112233}, {3, 3, true, 0x112233}, false, {"0"}},
        {"widths", {3, 3}, {4, 3}, false, {"-3"}},
        {"heights", {3, 3}, {3, 4}, false, {"-4"}},
        {"both", {3, 3}, {4, 4}, false, {"-5"}},
        {"disposed", {3, 3}, {3, 3}, true, {"-2"}},
        {"colours",
         {2, 2, true, 4278255513.0},
         {2, 2, true, 4289344358.0},
         false,
         {"[object Object]", "-11088845"}},
        {"alpha only",
         {2, 2, true, 4294945280.0},
         {2, 2, true, 3439307264.0},
         false,
         {"[object Object]", "872415231"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Asm a;
        New(a, "one", kBitmap, c.first);
        New(a, "two", kBitmap, c.second);
        if (c.disposeSecond) Call(a, "two.dispose", {});
        a.Push("d");
        PushArgs(a, {P{"two"}});
        PushParent(a, "one.compare");
        a.Op(swfw::Op::kCallMethod).Op(swfw::Op::kSetVariable);
        TracePath(a, "d");
        if (c.expected.size() > 1) TraceCall(a, "d.getPixel32", {0, 0});
        EXPECT_EQ(Lines(a), c.expected);
    }
    Asm a;
    New(a, "one", kBitmap, {2, 2});
    TraceCall(a, "one.compare", {"no bitmap"});
    TraceCall(a, "one.compare", {});
    EXPECT_EQ(Lines(a), (std::vector<std::string>{"-1", "-1"}));
}

// ---- perlinNoise ------------------------------------------------------------------------------

using player::script::PerlinNoise;
using player::script::PerlinSettings;

TEST(PerlinNoise, TheSameSeedGivesTheSamePictureAndAnotherSeedAnother) {
    PerlinSettings s{.baseX = 16, .baseY = 16, .octaves = 3, .seed = 7, .fractal = true};
    const auto first = PerlinNoise(s, 48, 32);
    EXPECT_EQ(first, PerlinNoise(s, 48, 32));
    s.seed = 8;
    EXPECT_NE(first, PerlinNoise(s, 48, 32));
}

TEST(PerlinNoise, ChannelsSpreadOverTheRangeAndChangeSmoothly) {
    struct Case {
        const char* name;
        PerlinSettings settings;
        std::uint32_t zeroMask;  // bits every pixel has clear
        std::uint32_t fullMask;  // bits every pixel has set
    };
    const std::vector<Case> cases = {
        {"fractal rgb",
         {.baseX = 20, .baseY = 20, .octaves = 2, .seed = 1, .fractal = true},
         0,
         0xff000000u},
        {"turbulence red",
         {.baseX = 20, .baseY = 20, .octaves = 1, .seed = 2, .channels = 1},
         0x0000ffffu,
         0xff000000u},
        {"alpha",
         {.baseX = 20, .baseY = 20, .octaves = 1, .seed = 3, .fractal = true, .channels = 8},
         0x00ffffffu,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int w = 64, h = 64;
        const auto pixels = PerlinNoise(c.settings, w, h);
        ASSERT_EQ(pixels.size(), std::size_t{w * h});
        const int shift = c.settings.channels == 8 ? 24 : 16;
        int lowest = 255, highest = 0, steepest = 0;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const std::uint32_t p = pixels[y * w + x];
                EXPECT_EQ(p & c.zeroMask, 0u);
                EXPECT_EQ(p & c.fullMask, c.fullMask);
                const int v = static_cast<int>((p >> shift) & 0xff);
                lowest = std::min(lowest, v);
                highest = std::max(highest, v);
                if (x > 0) {
                    const int left = static_cast<int>((pixels[y * w + x - 1] >> shift) & 0xff);
                    steepest = std::max(steepest, std::abs(v - left));
                }
            }
        }
        EXPECT_GT(highest - lowest, 60) << "too flat";
        EXPECT_LT(steepest, 64) << "not smooth";
    }
}

TEST(PerlinNoise, GrayIsOneNoiseInEveryColourAndStitchingTiles) {
    const auto gray =
        PerlinNoise({.baseX = 10, .baseY = 10, .octaves = 2, .seed = 5, .gray = true}, 32, 8);
    for (const std::uint32_t p : gray) {
        EXPECT_EQ((p >> 16) & 0xff, p & 0xff);
        EXPECT_EQ((p >> 8) & 0xff, p & 0xff);
    }
    // Stitched, the column after the last (the picture one width along) is the first again.
    PerlinSettings s{
        .baseX = 12, .baseY = 12, .octaves = 2, .seed = 9, .stitch = true, .fractal = true};
    const auto base = PerlinNoise(s, 40, 4);
    s.offsets = {{40, 0}, {40, 0}};
    const auto along = PerlinNoise(s, 40, 4);
    ASSERT_EQ(base.size(), along.size());
    for (std::size_t i = 0; i < base.size(); ++i)
        for (int shift = 0; shift < 24; shift += 8)
            EXPECT_NEAR(int((base[i] >> shift) & 0xff), int((along[i] >> shift) & 0xff), 1) << i;
}

TEST(PerlinNoise, HostileSettingsStayBoundedAndDefined) {
    const std::vector<PerlinSettings> cases = {
        {.baseX = 0, .baseY = -5, .octaves = 4},
        {.baseX = 0.0 / 0.0, .baseY = 1e-300, .octaves = 1 << 30},
        {.baseX = 1e300, .baseY = 3, .octaves = -7, .stitch = true},
        {.baseX = 1e-300,
         .baseY = 1e-300,
         .octaves = 2,
         .stitch = true,
         .offsets = {{1e308, -1e308}, {0.0 / 0.0, 1}}},
    };
    for (const PerlinSettings& s : cases) EXPECT_EQ(PerlinNoise(s, 9, 7).size(), 63u);
    EXPECT_TRUE(PerlinNoise(cases[0], 0, 7).empty());
}

TEST(PerlinNoise, ScriptsGetTheSamePictureForTheSameSeed) {
    Asm a;
    for (const char* name : {"b1", "b2", "b3"}) New(a, name, kBitmap, {24, 24, true, 0});
    Call(a, "b1.perlinNoise", {8, 8, 2, 11, false, true, 15, false});
    Call(a, "b2.perlinNoise", {8, 8, 2, 11, false, true, 15, false});
    Call(a, "b3.perlinNoise", {8, 8, 2, 12, false, true, 15, false});
    // Hostile: a billion octaves, no size, offsets that are no points.
    Call(a, "b3.perlinNoise", {0, 0.0 / 0.0, 1e9, 12, true, true, 7, true, "offsets"});
    TraceCall(a, "b1.perlinNoise", {8});
    for (int i = 0; i < 4; ++i) {
        TraceCall(a, "b1.getPixel32", {i * 5, i * 3});
        TraceCall(a, "b2.getPixel32", {i * 5, i * 3});
    }
    const auto lines = Lines(a);
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[0], "-1");
    for (std::size_t i = 1; i < lines.size(); i += 2) EXPECT_EQ(lines[i], lines[i + 1]);
}

}  // namespace
