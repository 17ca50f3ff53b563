// Action blocks decoded once into instructions: branch targets resolved to instruction
// indexes, push items typed, literal strings made once, function and try bodies as ranges.
// Decoding checks every record against its block; a record that runs past it ends the block.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "player/script/heap.h"
#include "player/script/value.h"

namespace player::script {

enum class Op : std::uint8_t {
    kEnd = 0x00,
    kNextFrame = 0x04,
    kPrevFrame = 0x05,
    kPlay = 0x06,
    kStop = 0x07,
    kToggleQuality = 0x08,
    kStopSounds = 0x09,
    kAdd = 0x0A,
    kSubtract = 0x0B,
    kMultiply = 0x0C,
    kDivide = 0x0D,
    kEquals = 0x0E,
    kLess = 0x0F,
    kAnd = 0x10,
    kOr = 0x11,
    kNot = 0x12,
    kStringEquals = 0x13,
    kStringLength = 0x14,
    kStringExtract = 0x15,
    kPop = 0x17,
    kToInteger = 0x18,
    kGetVariable = 0x1C,
    kSetVariable = 0x1D,
    kSetTarget2 = 0x20,
    kStringAdd = 0x21,
    kGetProperty = 0x22,
    kSetProperty = 0x23,
    kCloneSprite = 0x24,
    kRemoveSprite = 0x25,
    kTrace = 0x26,
    kStartDrag = 0x27,
    kEndDrag = 0x28,
    kStringLess = 0x29,
    kThrow = 0x2A,
    kCastOp = 0x2B,
    kImplementsOp = 0x2C,
    kRandomNumber = 0x30,
    kMbStringLength = 0x31,
    kCharToAscii = 0x32,
    kAsciiToChar = 0x33,
    kGetTime = 0x34,
    kMbStringExtract = 0x35,
    kMbCharToAscii = 0x36,
    kMbAsciiToChar = 0x37,
    kDelete = 0x3A,
    kDelete2 = 0x3B,
    kDefineLocal = 0x3C,
    kCallFunction = 0x3D,
    kReturn = 0x3E,
    kModulo = 0x3F,
    kNewObject = 0x40,
    kDefineLocal2 = 0x41,
    kInitArray = 0x42,
    kInitObject = 0x43,
    kTypeOf = 0x44,
    kTargetPath = 0x45,
    kEnumerate = 0x46,
    kAdd2 = 0x47,
    kLess2 = 0x48,
    kEquals2 = 0x49,
    kToNumber = 0x4A,
    kToString = 0x4B,
    kPushDuplicate = 0x4C,
    kStackSwap = 0x4D,
    kGetMember = 0x4E,
    kSetMember = 0x4F,
    kIncrement = 0x50,
    kDecrement = 0x51,
    kCallMethod = 0x52,
    kNewMethod = 0x53,
    kInstanceOf = 0x54,
    kEnumerate2 = 0x55,
    kBitAnd = 0x60,
    kBitOr = 0x61,
    kBitXor = 0x62,
    kBitLShift = 0x63,
    kBitRShift = 0x64,
    kBitURShift = 0x65,
    kStrictEquals = 0x66,
    kGreater = 0x67,
    kStringGreater = 0x68,
    kExtends = 0x69,
    kGotoFrame = 0x81,
    kGetUrl = 0x83,
    kStoreRegister = 0x87,
    kConstantPool = 0x88,
    kWaitForFrame = 0x8A,
    kSetTarget = 0x8B,
    kGotoLabel = 0x8C,
    kWaitForFrame2 = 0x8D,
    kDefineFunction2 = 0x8E,
    kTry = 0x8F,
    kWith = 0x94,
    kPush = 0x96,
    kJump = 0x99,
    kGetUrl2 = 0x9A,
    kDefineFunction = 0x9B,
    kIf = 0x9D,
    kCall = 0x9E,
    kGotoFrame2 = 0x9F,
    // Not action codes: a branch whose target is not the start of an action in this block,
    // and a record that could not be read. Both end the block with a problem when reached.
    kBadBranch = 0xFE,
    kBadRecord = 0xFF,
};

struct PushItem {
    enum class Kind : std::uint8_t { kValue, kRegister, kConstant };
    Kind kind = Kind::kValue;
    std::uint16_t index = 0;  // register or constant index
    Value value;              // kValue
};

// DefineFunction2's preload and suppress flags.
enum FunctionFlag : std::uint16_t {
    kPreloadThis = 0x01,
    kSuppressThis = 0x02,
    kPreloadArguments = 0x04,
    kSuppressArguments = 0x08,
    kPreloadSuper = 0x10,
    kSuppressSuper = 0x20,
    kPreloadRoot = 0x40,
    kPreloadParent = 0x80,
    kPreloadGlobal = 0x100,
};

struct FunctionDef {
    const String* name = nullptr;  // empty for a function expression
    std::vector<const String*> params;
    std::vector<std::uint8_t> paramRegisters;  // DefineFunction2: 0 = no register
    std::uint8_t registerCount = 0;
    std::uint16_t flags = 0;
    bool v2 = false;
    std::uint32_t begin = 0, end = 0;  // body instructions [begin, end)
};

struct TryDef {
    std::uint32_t tryBegin = 0, catchBegin = 0, finallyBegin = 0, end = 0;
    bool hasCatch = false, hasFinally = false;
    bool catchInRegister = false;
    std::uint8_t catchRegister = 0;
    const String* catchName = nullptr;
};

struct Instr {
    Op op = Op::kEnd;
    std::uint8_t u8 = 0;
    std::uint32_t a = 0, b = 0;
};

class Program {
  public:
    std::vector<Instr> code;  // always ends with kEnd
    std::vector<PushItem> pushes;
    std::vector<const String*> strings;
    std::vector<std::vector<const String*>> pools;
    std::vector<FunctionDef> functions;
    std::vector<TryDef> tries;
    std::string problem;  // why decoding stopped early, if it did

    void Mark(Marker& marker) const;
};

// Decodes a DoAction-style body. Literal strings are made on the heap; the caller keeps the
// program (and so marks them) for as long as it may run.
Program DecodeActions(std::span<const std::uint8_t> bytes, Heap& heap);

}  // namespace player::script
