// The action assembler's output checked against records packed by hand from the action formats,
// and the disassembler's reading of them, of movies and of garbage.
#include "tests/support/avm1_asm.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>

#include "tests/support/swf_writer.h"
#include "tools/avm1_dump/action_blocks.h"
#include "tools/avm1_dump/avm1_disasm.h"

namespace {

using swfw::Asm;
using swfw::Buffer;
using swfw::Op;

void Stop(Asm& a) {
    a.Op(Op::kStop);
}
void Play(Asm& a) {
    a.Op(Op::kPlay);
}

// ---- Bytes -----------------------------------------------------------------------------------

struct BytesCase {
    const char* name;
    Buffer actual;
    Buffer expected;
};

class AsmBytes : public testing::TestWithParam<BytesCase> {};

TEST_P(AsmBytes, MatchesHandPackedRecords) {
    EXPECT_EQ(GetParam().actual, GetParam().expected);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Push, AsmBytes,
    testing::Values(
        BytesCase{"String", Asm().Push("ab").Bytes(), {
            0x96, 0x04, 0x00,          // Push, 4 bytes
            0x00, 'a', 'b', 0x00,      // type 0 string, zero-terminated
            0x00}},                    // End
        BytesCase{"DoubleHighWordFirst", Asm().Push(1.5, 0.1).Bytes(), {
            0x96, 0x12, 0x00,          // Push, 18 bytes
            0x06,                      // type 6 double 1.5 = 0x3FF80000'00000000:
            0x00, 0x00, 0xF8, 0x3F,    //   high word, little-endian
            0x00, 0x00, 0x00, 0x00,    //   low word
            0x06,                      // double 0.1 = 0x3FB99999'9999999A
            0x99, 0x99, 0xB9, 0x3F,
            0x9A, 0x99, 0x99, 0x99,
            0x00}},
        BytesCase{"Int32", Asm().Push(-2).Bytes(), {
            0x96, 0x05, 0x00,
            0x07, 0xFE, 0xFF, 0xFF, 0xFF,  // type 7, -2 little-endian
            0x00}},
        BytesCase{"Float", Asm().Push(0.5f).Bytes(), {
            0x96, 0x05, 0x00,
            0x01, 0x00, 0x00, 0x00, 0x3F,  // type 1, 0x3F000000
            0x00}},
        BytesCase{"ShortTypes",
                  Asm().Push(swfw::Null{}, swfw::Undefined{}, true, false, swfw::Reg{3}).Bytes(), {
            0x96, 0x08, 0x00,
            0x02,                      // null
            0x03,                      // undefined
            0x05, 0x01,                // bool true
            0x05, 0x00,                // bool false
            0x04, 0x03,                // register 3
            0x00}},
        BytesCase{"Constants",
                  Asm().Push(swfw::Const{5}, swfw::Const{5, true}, swfw::Const{300}).Bytes(), {
            0x96, 0x08, 0x00,
            0x08, 0x05,                // type 8: one-byte index 5
            0x09, 0x05, 0x00,          // type 9 asked for
            0x09, 0x2C, 0x01,          // 300 needs type 9
            0x00}},
        BytesCase{"ConstantPool", Asm().ConstantPool({"a", "bc"}).Bytes(), {
            0x88, 0x07, 0x00,          // ConstantPool, 7 bytes
            0x02, 0x00,                // 2 strings
            'a', 0x00, 'b', 'c', 0x00,
            0x00}}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Branches, AsmBytes,
    testing::Values(
        BytesCase{"Forward", Asm().Jump("end").Op(Op::kStop).Label("end").Bytes(), {
            0x99, 0x02, 0x00,          // Jump, 2 bytes
            0x01, 0x00,                // +1 from the next action: over the Stop
            0x07,                      // Stop
            0x00}},                    // End, the target
        BytesCase{"Backward", Asm().Label("top").Op(Op::kPlay).If("top").Bytes(), {
            0x06,                      // Play at 0, the target
            0x9D, 0x02, 0x00,          // If, 2 bytes
            0xFA, 0xFF,                // -6: from 6, the next action, back to 0
            0x00}},
        BytesCase{"ToItself", Asm().Label("x").Jump("x").Bytes(), {
            0x99, 0x02, 0x00, 0xFB, 0xFF,  // -5: back over its own record
            0x00}},
        BytesCase{"OverAFunctionAndItsBody",
                  Asm().If("after").DefineFunction("f", {}, Stop).Label("after").Bytes(), {
            0x9D, 0x02, 0x00, 0x0A, 0x00,  // If +10
            0x9B, 0x06, 0x00,              // DefineFunction, 6 bytes
            'f', 0x00, 0x00, 0x00,         // "f", no parameters
            0x01, 0x00,                    // body 1 byte
            0x07,                          // body: Stop
            0x00}}),                       // the target
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Blocks, AsmBytes,
    testing::Values(
        BytesCase{"DefineFunction",
                  Asm().DefineFunction("f", {"a"}, [](Asm& b) { b.Push("x").Trace(); }).Bytes(), {
            0x9B, 0x08, 0x00,          // DefineFunction, 8 bytes
            'f', 0x00,                 // name
            0x01, 0x00,                // 1 parameter
            'a', 0x00,
            0x07, 0x00,                // body 7 bytes, not in the record's length
            0x96, 0x03, 0x00, 0x00, 'x', 0x00,  // body: Push "x"
            0x26,                      //   Trace
            0x00}},
        BytesCase{"DefineFunction2",
                  Asm().DefineFunction2("g", 3,
                                        swfw::kPreloadParent | swfw::kSuppressThis |
                                            swfw::kPreloadGlobal,
                                        {{1, "p"}, {0, "q"}},
                                        [](Asm& b) { b.Op(Op::kReturn); }).Bytes(), {
            0x8E, 0x0F, 0x00,          // DefineFunction2, 15 bytes
            'g', 0x00,                 // name
            0x02, 0x00,                // 2 parameters
            0x03,                      // 3 registers
            0x82,                      // preload parent (bit 7), suppress this (bit 1)
            0x01,                      // 7 reserved bits, preload global
            0x01, 'p', 0x00,           // "p" in register 1
            0x00, 'q', 0x00,           // "q" by name
            0x01, 0x00,                // body 1 byte
            0x3E,                      // body: Return
            0x00}},
        BytesCase{"TryCatchFinally",
                  Asm().Try(Play, "e", Stop,
                            [](Asm& b) { b.Op(Op::kNextFrame).Op(Op::kNextFrame); }).Bytes(), {
            0x8F, 0x09, 0x00,          // Try, 9 bytes
            0x03,                      // 5 reserved, catch by name, finally, catch
            0x01, 0x00,                // try 1 byte
            0x01, 0x00,                // catch 1 byte
            0x02, 0x00,                // finally 2 bytes
            'e', 0x00,                 // catch into "e"
            0x06,                      // try: Play
            0x07,                      // catch: Stop
            0x04, 0x04,                // finally: NextFrame twice
            0x00}},
        BytesCase{"TryCatchIntoRegister", Asm().Try(Play, swfw::Reg{2}, Stop).Bytes(), {
            0x8F, 0x08, 0x00,
            0x05,                      // catch in register, no finally, catch
            0x01, 0x00, 0x01, 0x00, 0x00, 0x00,  // try 1, catch 1, finally 0
            0x02,                      // register 2
            0x06, 0x07,
            0x00}},
        BytesCase{"TryFinallyOnly", Asm().Try(Play, "", nullptr, Stop).Bytes(), {
            0x8F, 0x08, 0x00,
            0x02,                      // finally only
            0x01, 0x00, 0x00, 0x00, 0x01, 0x00,  // try 1, catch 0, finally 1
            0x00,                      // empty catch name
            0x06, 0x07,
            0x00}},
        BytesCase{"With", Asm().With([](Asm& b) { b.Op(Op::kStop).Op(Op::kPlay); }).Bytes(), {
            0x94, 0x02, 0x00,          // With, 2 bytes
            0x02, 0x00,                // body 2 bytes
            0x07, 0x06,
            0x00}},
        BytesCase{"NestedSizesIncludeInnerRecords",
                  Asm().DefineFunction("", {}, [](Asm& f) {
                          f.With([](Asm& w) { w.Push(true); });
                      }).Bytes(), {
            0x9B, 0x05, 0x00,          // DefineFunction, 5 bytes
            0x00, 0x00, 0x00,          // anonymous, no parameters
            0x0A, 0x00,                // body 10 bytes: the With record and its body
            0x94, 0x02, 0x00, 0x05, 0x00,   // With, body 5 bytes
            0x96, 0x02, 0x00, 0x05, 0x01,   // Push true
            0x00}}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Records, AsmBytes,
    testing::Values(
        BytesCase{"GotoFrame", Asm().GotoFrame(2).Bytes(), {0x81, 0x02, 0x00, 0x02, 0x00, 0x00}},
        BytesCase{"GotoLabel", Asm().GotoLabel("a").Bytes(), {0x8C, 0x02, 0x00, 'a', 0x00, 0x00}},
        BytesCase{"GetUrl", Asm().GetUrl("u", "t").Bytes(), {
            0x83, 0x04, 0x00, 'u', 0x00, 't', 0x00, 0x00}},
        BytesCase{"GetUrl2", Asm().GetUrl2(swfw::kSendPost | swfw::kLoadTarget).Bytes(), {
            0x9A, 0x01, 0x00,
            0x82,                      // POST (2 in the top two bits), load target
            0x00}},
        BytesCase{"GotoFrame2Bias", Asm().GotoFrame2(true, 5).Bytes(), {
            0x9F, 0x03, 0x00,
            0x03,                      // scene bias follows, play
            0x05, 0x00,
            0x00}},
        BytesCase{"GotoFrame2Stop", Asm().GotoFrame2(false).Bytes(), {
            0x9F, 0x01, 0x00, 0x00, 0x00}},
        BytesCase{"WaitForFrame", Asm().WaitForFrame(10, 2).Bytes(), {
            0x8A, 0x03, 0x00, 0x0A, 0x00, 0x02, 0x00}},
        BytesCase{"WaitForFrame2", Asm().WaitForFrame2(1).Bytes(), {0x8D, 0x01, 0x00, 0x01, 0x00}},
        BytesCase{"SetTarget", Asm().SetTarget("m").Bytes(), {0x8B, 0x02, 0x00, 'm', 0x00, 0x00}},
        BytesCase{"StoreRegister", Asm().StoreRegister(1).Bytes(), {0x87, 0x01, 0x00, 0x01, 0x00}},
        BytesCase{"CallHasAnEmptyRecord", Asm().Op(0x9E).Bytes(), {0x9E, 0x00, 0x00, 0x00}},
        BytesCase{"RawWithLyingLength", Asm().Raw(0x96, {0x02}, 9).Bytes(), {
            0x96, 0x09, 0x00, 0x02, 0x00}},
        BytesCase{"SetVariable", Asm().SetVariable("v", 2).Bytes(), {
            0x96, 0x08, 0x00, 0x00, 'v', 0x00, 0x07, 0x02, 0x00, 0x00, 0x00,  // "v", 2
            0x1D,                      // SetVariable pops the value, then the name
            0x00}},
        BytesCase{"CallFunction", Asm().Push(true).CallFunction("f", 1).Bytes(), {
            0x96, 0x02, 0x00, 0x05, 0x01,                                     // argument
            0x96, 0x08, 0x00, 0x07, 0x01, 0x00, 0x00, 0x00, 0x00, 'f', 0x00,  // 1, "f"
            0x3D,
            0x00}},
        BytesCase{"CallMethod",
                  Asm().CallMethod("m", 0, [](Asm& o) { o.GetVariable("o"); }).Bytes(), {
            0x96, 0x05, 0x00, 0x07, 0x00, 0x00, 0x00, 0x00,  // 0 arguments
            0x96, 0x03, 0x00, 0x00, 'o', 0x00, 0x1C,         // the object
            0x96, 0x03, 0x00, 0x00, 'm', 0x00,               // the method name, on top
            0x52,
            0x00}},
        BytesCase{"PushTraceString", Asm().PushTraceString("hi").Bytes(), {
            0x96, 0x04, 0x00, 0x00, 'h', 'i', 0x00, 0x26, 0x00}}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST(Asm, LabelMistakesThrow) {
    EXPECT_THROW(Asm().Label("a").Label("a"), std::logic_error);
    EXPECT_THROW(Asm().Jump("nowhere").Bytes(), std::logic_error);
    Asm far;
    far.Jump("end").Push(std::string(40000, 'x')).Label("end");
    EXPECT_THROW(far.Bytes(), std::logic_error);
    EXPECT_THROW(Asm().Push(std::string(70000, 'x')), std::logic_error);
}

TEST(Asm, IntoMovieTags) {
    swfw::Movie movie;
    movie.Do(Asm().Op(Op::kStop)).DoInit(7, Asm().Op(Op::kPlay));
    const auto& tags = movie.Tags();
    ASSERT_EQ(tags.size(), 2u);
    EXPECT_EQ(tags[0].Bytes(), (Buffer{0x02, 0x03, 0x07, 0x00}));  // code 12, 2 bytes
    // Code 59, 4 bytes: sprite 7, Play, End.
    EXPECT_EQ(tags[1].Bytes(), (Buffer{0xC4, 0x0E, 0x07, 0x00, 0x06, 0x00}));
}

// ---- Disassembly -----------------------------------------------------------------------------

struct ListingCase {
    const char* name;
    Buffer code;
    const char* listing;
};

class Disassembly : public testing::TestWithParam<ListingCase> {};

TEST_P(Disassembly, ListsEachAction) {
    EXPECT_EQ(avm1dump::ToText(avm1dump::Disassemble(GetParam().code)), GetParam().listing);
}

INSTANTIATE_TEST_SUITE_P(
    AssembledPrograms, Disassembly,
    testing::Values(
        ListingCase{"PoolAndConstants",
                    Asm().ConstantPool({"a", "b"}).Push(swfw::Const{1}, swfw::Const{2}).Bytes(),
                    "     0  ConstantPool 2 entries: 0 \"a\", 1 \"b\"\n"
                    "     9  Push constant 1 (\"b\"), constant 2\n"
                    "    16  End\n"},
        ListingCase{"EveryPushType",
                    Asm()
                        .Push("s\"\n", 0.5f, swfw::Null{}, swfw::Undefined{}, swfw::Reg{1}, true,
                              2.5, -7, swfw::Const{300})
                        .Bytes(),
                    "     0  Push string \"s\\\"\\n\", float 0.5, null, undefined, register 1, "
                    "bool true, double 2.5, int -7, constant16 300\n"
                    "    36  End\n"},
        ListingCase{"Branches",
                    Asm()
                        .Label("top")
                        .Op(Op::kPlay)
                        .If("top")
                        .Jump("end")
                        .Op(Op::kStop)
                        .Label("end")
                        .Bytes(),
                    "     0  Play\n"
                    "     1  If -> 0 (-6)\n"
                    "     6  Jump -> 12 (+1)\n"
                    "    11  Stop\n"
                    "    12  End\n"},
        ListingCase{"Function",
                    Asm()
                        .DefineFunction("f", {"a", "b"},
                                        [](Asm& b) { b.Push(swfw::Reg{1}).Op(Op::kReturn); })
                        .Bytes(),
                    "     0  DefineFunction \"f\" (\"a\", \"b\") body 6 bytes [13, 19)\n"
                    "    13  Push register 1\n"
                    "    18  Return\n"
                    "    19  End\n"},
        ListingCase{"Function2",
                    Asm()
                        .DefineFunction2("g", 2, swfw::kPreloadThis | swfw::kSuppressArguments,
                                         {{1, "x"}}, [](Asm& b) { b.Op(Op::kReturn); })
                        .Bytes(),
                    "     0  DefineFunction2 \"g\" (r1:\"x\") registers 2 flags 0x0009 "
                    "(preloadThis|suppressArguments) body 1 bytes [15, 16)\n"
                    "    15  Return\n"
                    "    16  End\n"},
        ListingCase{"Try", Asm().Try(Play, "e", Stop, [](Asm& b) { b.Op(Op::kNextFrame); }).Bytes(),
                    "     0  Try try 1 bytes [12, 13) catch \"e\" 1 bytes [13, 14) "
                    "finally 1 bytes [14, 15)\n"
                    "    12  Play\n"
                    "    13  Stop\n"
                    "    14  NextFrame\n"
                    "    15  End\n"},
        ListingCase{"TryIntoRegister", Asm().Try(Play, swfw::Reg{3}, Stop).Bytes(),
                    "     0  Try try 1 bytes [11, 12) catch r3 1 bytes [12, 13) "
                    "no finally 0 bytes [13, 13)\n"
                    "    11  Play\n"
                    "    12  Stop\n"
                    "    13  End\n"},
        ListingCase{"With", Asm().With(Stop).Bytes(),
                    "     0  With body 1 bytes [5, 6)\n"
                    "     5  Stop\n"
                    "     6  End\n"},
        ListingCase{"CountingLoop",
                    Asm()
                        .ConstantPool({"x"})
                        .Push(swfw::Const{0}, 0)
                        .Op(Op::kSetVariable)
                        .Label("loop")
                        .GetVariable("x")
                        .Push(10)
                        .Op(Op::kLess2)
                        .Op(Op::kNot)
                        .If("end")
                        .SetVariable("x", [](Asm& v) { v.GetVariable("x").Op(Op::kIncrement); })
                        .Jump("loop")
                        .Label("end")
                        .PushTraceString("done")
                        .Bytes(),
                    "     0  ConstantPool 1 entries: 0 \"x\"\n"
                    "     7  Push constant 0 (\"x\"), int 0\n"
                    "    17  SetVariable\n"
                    "    18  Push string \"x\"\n"
                    "    24  GetVariable\n"
                    "    25  Push int 10\n"
                    "    33  Less2\n"
                    "    34  Not\n"
                    "    35  If -> 60 (+20)\n"
                    "    40  Push string \"x\"\n"
                    "    46  Push string \"x\"\n"
                    "    52  GetVariable\n"
                    "    53  Increment\n"
                    "    54  SetVariable\n"
                    "    55  Jump -> 18 (-42)\n"
                    "    60  Push string \"done\"\n"
                    "    69  Trace\n"
                    "    70  End\n"},
        ListingCase{"FrameRecords",
                    Asm()
                        .GotoFrame2(true, 3)
                        .GetUrl2(swfw::kSendGet | swfw::kLoadVariables)
                        .WaitForFrame(4, 1)
                        .GetUrl("a.swf", "_level1")
                        .StoreRegister(0)
                        .Bytes(),
                    "     0  GotoFrame2 play scene bias 3\n"
                    "     6  GetURL2 0x41 (send GET, variables)\n"
                    "    10  WaitForFrame frame 4 skip 1\n"
                    "    16  GetURL \"a.swf\" target \"_level1\"\n"
                    "    33  StoreRegister r0\n"
                    "    37  End\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Garbage, Disassembly,
    testing::Values(
        ListingCase{"Empty", {}, "; no End action\n"},
        ListingCase{"CutInsideTheLength", {0x96, 0x05}, "; record at 0 cut inside its length\n"},
        ListingCase{"LengthPastTheBlock", {0x07, 0x96, 0x05, 0x00, 0x00},
                    "     0  Stop\n"
                    "; record at 1 runs past the block (5 bytes, 1 left)\n"},
        ListingCase{"UnterminatedString", {0x96, 0x02, 0x00, 0x00, 'a', 0x00},
                    "     0  Push <cut short>\n"
                    "     5  End\n"},
        ListingCase{"UnknownPushType", {0x96, 0x02, 0x00, 0x0A, 0x01, 0x00},
                    "     0  Push <unknown push type 10> +1 bytes\n"
                    "     5  End\n"},
        ListingCase{"ShortBranch", {0x99, 0x01, 0x00, 0x05, 0x00},
                    "     0  Jump <cut short>\n"
                    "     4  End\n"},
        ListingCase{"UnknownCodes", {0x5A, 0xC0, 0x01, 0x00, 0xFF, 0x00},
                    "     0  Unknown 0x5A\n"
                    "     1  Unknown 0xC0 1 bytes\n"
                    "     5  End\n"},
        ListingCase{"BytesAfterEnd", {0x07, 0x00, 0x07},
                    "     0  Stop\n"
                    "     1  End\n"
                    "; 1 bytes after End\n"}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// Offsets inside the block and increasing, whatever the bytes.
void ExpectSaneListing(const Buffer& code) {
    const avm1dump::Listing listing = avm1dump::Disassemble(code);
    std::size_t previous = 0;
    for (std::size_t i = 0; i < listing.actions.size(); ++i) {
        ASSERT_LT(listing.actions[i].offset, code.size());
        if (i > 0) {
            ASSERT_GT(listing.actions[i].offset, previous);
        }
        previous = listing.actions[i].offset;
    }
    avm1dump::ToText(listing);
}

Buffer RichProgram() {
    return Asm()
        .ConstantPool({"a", "b"})
        .Push("s", 0.5f, swfw::Null{}, 2.5, -7, swfw::Const{1}, swfw::Const{300})
        .DefineFunction2("g", 2, swfw::kPreloadThis, {{1, "x"}},
                         [](Asm& b) { b.Try(Play, "e", Stop, Play); })
        .DefineFunction("f", {"a"}, [](Asm& b) { b.With(Stop); })
        .Label("l")
        .If("l")
        .GetUrl("u", "t")
        .GotoFrame2(true, 1)
        .Bytes();
}

TEST(Disassembly, EveryCutOfAProgramStaysInside) {
    const Buffer program = RichProgram();
    for (std::size_t n = 0; n <= program.size(); ++n) {
        ExpectSaneListing(Buffer(program.begin(), program.begin() + n));
    }
}

TEST(Disassembly, RandomBytesStayInside) {
    std::mt19937 random(7);
    const Buffer program = RichProgram();
    for (int round = 0; round < 2000; ++round) {
        Buffer code = program;
        for (int flips = 0; flips < 4; ++flips) code[random() % code.size()] = random();
        ExpectSaneListing(code);
        Buffer noise(random() % 64);
        for (auto& b : noise) b = random();
        ExpectSaneListing(noise);
    }
}

// ---- Action blocks of a movie ----------------------------------------------------------------

swfw::Movie MovieWithEveryBlock() {
    swfw::Sprite clip(1);
    clip.Do(Asm().Op(Op::kPlay)).ShowFrame().Do(Asm().Op(Op::kStop)).ShowFrame();

    swfw::Button button;
    button.id = 2;
    button.actions.push_back({swfw::kOverDownToOverUp, swfw::Actions().Stop()});
    button.actions.push_back({65 << 1, swfw::Actions().Play()});

    // clang-format off
    const Buffer placeWithClipActions = {
        0x82,                    // clip actions, character
        0x01, 0x00,              // depth 1
        0x01, 0x00,              // character 1
        0x00, 0x00,              // reserved
        0x03, 0x00, 0x02, 0x00,  // every event used: load, enter frame, key press
        0x03, 0x00, 0x00, 0x00,  // load and enter frame:
        0x02, 0x00, 0x00, 0x00,  //   2 bytes
        0x07, 0x00,              //   Stop, End
        0x00, 0x00, 0x02, 0x00,  // key press:
        0x03, 0x00, 0x00, 0x00,  //   3 bytes
        0x0D, 0x06, 0x00,        //   key 13, Play, End
        0x00, 0x00, 0x00, 0x00,  // end of the clip actions
    };
    const Buffer button1 = {
        0x03, 0x00,                    // button 3
        0x01, 0x01, 0x00, 0x01, 0x00,  // up state, character 1, depth 1
        0x00,                          // identity matrix
        0x00,                          // end of the records
        0x06, 0x00,                    // actions: Play, End
    };
    // clang-format on

    swfw::Movie movie;
    movie.Version(6)
        .Define(clip)
        .DoInit(1, Asm().Op(Op::kNextFrame))
        .Tag({swfw::kPlaceObject2, placeWithClipActions})
        .ShowFrame()
        .Do(Asm().Op(Op::kPreviousFrame))
        .Define(button)
        .Tag({7, button1})
        .ShowFrame();
    return movie;
}

TEST(ActionBlocks, FoundOnEveryTimelineWithWhereTheySit) {
    const Buffer file = MovieWithEveryBlock().Bytes();
    avm1dump::MovieActions movie;
    std::string error;
    ASSERT_TRUE(avm1dump::FindActionBlocks(file, &movie, &error)) << error;
    EXPECT_TRUE(movie.problems.empty());
    const std::vector<std::pair<std::string, Buffer>> expected = {
        {"sprite 1 frame 1: DoAction", {0x06, 0x00}},
        {"sprite 1 frame 2: DoAction", {0x07, 0x00}},
        {"root frame 1: DoInitAction sprite 1", {0x04, 0x00}},
        {"root frame 1: PlaceObject2 depth 1 onClipEvent(enterFrame load)", {0x07, 0x00}},
        {"root frame 1: PlaceObject2 depth 1 onClipEvent(keyPress key 13)", {0x06, 0x00}},
        {"root frame 2: DoAction", {0x05, 0x00}},
        {"root frame 2: DefineButton2 2 on(overDownToOverUp)", {0x07, 0x00}},
        {"root frame 2: DefineButton2 2 on(key 65)", {0x06, 0x00}},
        {"root frame 2: DefineButton 3", {0x06, 0x00}},
    };
    ASSERT_EQ(movie.blocks.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(movie.blocks[i].where, expected[i].first);
        EXPECT_EQ(movie.blocks[i].code, expected[i].second) << expected[i].first;
    }
}

TEST(ActionBlocks, CutAndDamagedMoviesStayInside) {
    const Buffer file = MovieWithEveryBlock().Bytes();
    std::mt19937 random(11);
    for (std::size_t n = 0; n <= file.size(); ++n) {
        avm1dump::MovieActions movie;
        std::string error;
        avm1dump::FindActionBlocks(Buffer(file.begin(), file.begin() + n), &movie, &error);
        for (const auto& block : movie.blocks) ExpectSaneListing(block.code);
    }
    for (int round = 0; round < 2000; ++round) {
        Buffer damaged = file;
        for (int flips = 0; flips < 3; ++flips)
            damaged[8 + random() % (damaged.size() - 8)] = random();
        avm1dump::MovieActions movie;
        std::string error;
        avm1dump::FindActionBlocks(damaged, &movie, &error);
        for (const auto& block : movie.blocks) ExpectSaneListing(block.code);
    }
}

}  // namespace
