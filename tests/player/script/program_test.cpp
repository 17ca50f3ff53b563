// The action decoder: records split by their lengths, arguments typed, branches resolved to
// instructions, and damaged blocks ending where they break. Bytes are written by hand.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "player/script/heap.h"
#include "player/script/program.h"

namespace player::script {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(DecodeActions, RecordsWithTheirArguments) {
    const Bytes body = {
        0x07,                                // stop
        0x81, 0x02, 0x00, 0x05, 0x00,        // goto frame 5
        0x8C, 0x03, 0x00, 'a',  'b',  0x00,  // goto label "ab"
        0x96, 0x02, 0x00, 0x08, 0x01,        // push constant 1
        0x87, 0x01, 0x00, 0x03,              // store register 3
        0x00,                                // end
        0x07,                                // after the end: not read
    };
    Heap heap;
    const Program p = DecodeActions(body, heap);
    ASSERT_EQ(p.code.size(), 6u);  // five actions and the closing end
    EXPECT_EQ(p.code[0].op, Op::kStop);
    EXPECT_EQ(p.code[1].op, Op::kGotoFrame);
    EXPECT_EQ(p.code[1].a, 5u);
    EXPECT_EQ(p.code[2].op, Op::kGotoLabel);
    EXPECT_EQ(p.strings[p.code[2].a]->Text(), "ab");
    ASSERT_EQ(p.code[3].op, Op::kPush);
    ASSERT_EQ(p.code[3].b, 1u);
    EXPECT_EQ(p.pushes[p.code[3].a].kind, PushItem::Kind::kConstant);
    EXPECT_EQ(p.pushes[p.code[3].a].index, 1);
    EXPECT_EQ(p.code[4].op, Op::kStoreRegister);
    EXPECT_EQ(p.code[4].u8, 3);
    EXPECT_EQ(p.code[5].op, Op::kEnd);
    EXPECT_TRUE(p.problem.empty());
}

TEST(DecodeActions, PushTypes) {
    const Bytes body = {
        0x96, 0x1B, 0x00,              // push, 27 bytes:
        0x00, 'h', 'i', 0x00,          //   string "hi"
        0x01, 0x00, 0x00, 0xC0, 0x3F,  //   float 1.5
        0x02,                          //   null
        0x03,                          //   undefined
        0x05, 0x01,                    //   true
        0x06, 0x00, 0x00, 0x04, 0x40,  //   double 2.5: high word first
        0x00, 0x00, 0x00, 0x00,        //   ... then the low word
        0x07, 0xFE, 0xFF, 0xFF, 0xFF,  //   int -2
        0x00,
    };
    Heap heap;
    const Program p = DecodeActions(body, heap);
    ASSERT_EQ(p.code[0].op, Op::kPush);
    ASSERT_EQ(p.code[0].b, 7u);
    const PushItem* items = &p.pushes[p.code[0].a];
    EXPECT_EQ(items[0].value.Text(), "hi");
    EXPECT_EQ(items[1].value.AsNumber(), 1.5);
    EXPECT_TRUE(items[2].value.IsNull());
    EXPECT_TRUE(items[3].value.IsUndefined());
    EXPECT_TRUE(items[4].value.AsBoolean());
    EXPECT_EQ(items[5].value.AsNumber(), 2.5);
    EXPECT_EQ(items[6].value.AsNumber(), -2);
}

TEST(DecodeActions, BranchesResolveToInstructionsOrAreMarkedBad) {
    const Bytes body = {
        0x99, 0x02, 0x00, 0x01, 0x00,  // 0: jump +1 -> 6
        0x07,                          // 5: stop (skipped)
        0x06,                          // 6: play
        0x99, 0x02, 0x00, 0xF4, 0xFF,  // 7: jump -12 -> 0
        0x99, 0x02, 0x00, 0x02, 0x00,  // 12: jump +2 -> 19, inside the next record
        0x96, 0x02, 0x00, 0x05, 0x01,  // 17: push true
        0x99, 0x02, 0x00, 0x00, 0x00,  // 22: jump +0 -> 27, the block's end
        0x00,                          // 27
    };
    Heap heap;
    const Program p = DecodeActions(body, heap);
    EXPECT_EQ(p.code[0].a, 2u);
    EXPECT_EQ(p.code[3].a, 0u);
    EXPECT_EQ(p.code[4].a, UINT32_MAX);
    EXPECT_EQ(p.code[6].a, 7u);  // the closing end
}

TEST(DecodeActions, DamagedBlocksStopWhereTheyBreak) {
    struct Case {
        Bytes body;
        std::size_t instructions;  // closing end included
        bool problem;
    };
    const Case cases[] = {
        {{0x07, 0x81, 0xFF, 0x00, 0x01}, 2, true},  // a length past the block
        {{0x07, 0x81}, 2, true},                    // a length cut in half
        {{0x96, 0x02, 0x00, 0x00, 'x'}, 2, false},  // a string without its end: a bad record
        {{0x96, 0x01, 0x00, 0x0A}, 2, false},       // an unknown push type
        {{0x07, 0x06}, 3, false},                   // no closing end action
        {{}, 1, false},
    };
    Heap heap;
    for (const Case& c : cases) {
        const Program p = DecodeActions(c.body, heap);
        EXPECT_EQ(p.code.size(), c.instructions);
        EXPECT_EQ(!p.problem.empty(), c.problem);
        EXPECT_EQ(p.code.back().op, Op::kEnd);
    }
    const Program bad = DecodeActions(Bytes{0x96, 0x01, 0x00, 0x0A, 0x00}, heap);
    EXPECT_EQ(bad.code[0].op, Op::kBadRecord);
}

TEST(DecodeActions, FunctionBodiesAreInstructionRanges) {
    const Bytes body = {
        0x9B, 0x08, 0x00,        // define function, 8 bytes:
        'f', 0x00,               //   name "f"
        0x01, 0x00, 'a', 0x00,   //   one parameter "a"
        0x02, 0x00,              //   body of 2 bytes
        0x07, 0x06,              // body: stop, play
        0x06,                    // after the function
        0x00,
    };
    Heap heap;
    const Program p = DecodeActions(body, heap);
    ASSERT_EQ(p.functions.size(), 1u);
    const FunctionDef& f = p.functions[0];
    EXPECT_EQ(f.name->Text(), "f");
    ASSERT_EQ(f.params.size(), 1u);
    EXPECT_EQ(f.params[0]->Text(), "a");
    EXPECT_EQ(f.begin, 1u);
    EXPECT_EQ(f.end, 3u);
}

}  // namespace
}  // namespace player::script
