// ActionScript 1/2 bytecode assembler for tests: action records with typed push values, labels
// resolved to branch offsets, and nested blocks (functions, with, try) whose sizes are filled in.
//
//   swfw::Asm a;
//   a.ConstantPool({"x"})
//       .Push(swfw::Const{0}, 0).Op(swfw::Op::kSetVariable)       // x = 0 (int32)
//       .Label("loop")
//       .GetVariable("x").Push(10).Op(swfw::Op::kLess2).Op(swfw::Op::kNot).If("end")
//       .SetVariable("x", [](swfw::Asm& v) { v.GetVariable("x").Op(swfw::Op::kIncrement); })
//       .Jump("loop")
//       .Label("end")
//       .PushTraceString("done");
//   movie.Do(a).ShowFrame();
//
// Blocks are written in place: a nested block's lambda receives this same assembler, so labels
// are shared by the whole program and must be unique in it. Mistakes (a label defined twice or
// never, a branch or block too long for its field) throw std::logic_error from the call that
// finds them.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "tests/support/bit_writer.h"

namespace swfw {

// Action codes of SWF 3 to 8. Codes from 0x80 carry a 16-bit length and data.
enum class Op : std::uint8_t {
    kEnd = 0x00,
    // SWF 3
    kNextFrame = 0x04,
    kPreviousFrame = 0x05,
    kPlay = 0x06,
    kStop = 0x07,
    kToggleQuality = 0x08,
    kStopSounds = 0x09,
    kGotoFrame = 0x81,
    kGetUrl = 0x83,
    kWaitForFrame = 0x8A,
    kSetTarget = 0x8B,
    kGotoLabel = 0x8C,
    // SWF 4
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
    kRandomNumber = 0x30,
    kMbStringLength = 0x31,
    kCharToAscii = 0x32,
    kAsciiToChar = 0x33,
    kGetTime = 0x34,
    kMbStringExtract = 0x35,
    kMbCharToAscii = 0x36,
    kMbAsciiToChar = 0x37,
    kWaitForFrame2 = 0x8D,
    kPush = 0x96,
    kJump = 0x99,
    kGetUrl2 = 0x9A,
    kIf = 0x9D,
    kCall = 0x9E,
    kGotoFrame2 = 0x9F,
    // SWF 5
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
    kBitAnd = 0x60,
    kBitOr = 0x61,
    kBitXor = 0x62,
    kBitLShift = 0x63,
    kBitRShift = 0x64,
    kBitURShift = 0x65,
    kStoreRegister = 0x87,
    kConstantPool = 0x88,
    kWith = 0x94,
    kDefineFunction = 0x9B,
    // SWF 6
    kInstanceOf = 0x54,
    kEnumerate2 = 0x55,
    kStrictEquals = 0x66,
    kGreater = 0x67,
    kStringGreater = 0x68,
    // SWF 7
    kThrow = 0x2A,
    kCastOp = 0x2B,
    kImplementsOp = 0x2C,
    kExtends = 0x69,
    kDefineFunction2 = 0x8E,
    kTry = 0x8F,
};

// ---- Push values ---------------------------------------------------------------------------

struct Null {};
struct Undefined {};
struct Reg {
    std::uint8_t index = 0;
};
// A constant pool index: type 8 (one byte) when it fits and `wide` is not asked, else type 9.
struct Const {
    std::uint16_t index = 0;
    bool wide = false;
};

// One value of an ActionPush. C++ types choose the push type: strings 0, float 1, null 2,
// undefined 3, Reg 4, bool 5, double 6, int 7 (int32), Const 8 or 9.
class PushItem {
  public:
    using Value =
        std::variant<std::string, float, Null, Undefined, Reg, bool, double, std::int32_t, Const>;

    PushItem(const char* text) : value_(std::string(text)) {}
    PushItem(std::string text) : value_(std::move(text)) {}
    PushItem(float number) : value_(number) {}
    PushItem(double number) : value_(number) {}
    PushItem(int number) : value_(std::int32_t{number}) {}
    PushItem(bool flag) : value_(flag) {}
    PushItem(Null n) : value_(n) {}
    PushItem(Undefined u) : value_(u) {}
    PushItem(Reg r) : value_(r) {}
    PushItem(Const c) : value_(c) {}

    void Write(BitWriter& out) const;

  private:
    Value value_;
};

// ---- Function and try blocks ---------------------------------------------------------------

// DefineFunction2 flags, the first stored byte low and the second high.
enum Function2Flag : std::uint16_t {
    kPreloadThis = 0x0001,
    kSuppressThis = 0x0002,
    kPreloadArguments = 0x0004,
    kSuppressArguments = 0x0008,
    kPreloadSuper = 0x0010,
    kSuppressSuper = 0x0020,
    kPreloadRoot = 0x0040,
    kPreloadParent = 0x0080,
    kPreloadGlobal = 0x0100,
};

// A DefineFunction2 parameter: kept in `reg`, or by name when `reg` is 0.
struct RegisterParam {
    std::uint8_t reg = 0;
    std::string name;
};

// GetUrl2 flags: send method in the top two bits (1 GET, 2 POST), then target and variables.
enum GetUrl2Flag : std::uint8_t {
    kSendGet = 0x40,
    kSendPost = 0x80,
    kLoadTarget = 0x02,
    kLoadVariables = 0x01,
};

class Asm;
using Block = std::function<void(Asm&)>;
// Where a try's catch block finds the thrown value: a variable name or a register.
using CatchInto = std::variant<std::string, Reg>;

// ---- The assembler -------------------------------------------------------------------------

class Asm {
  public:
    // An action without data (codes below 0x80), or with an empty record (0x80 and up).
    Asm& Op(swfw::Op code) { return Op(static_cast<std::uint8_t>(code)); }
    Asm& Op(std::uint8_t code);
    // Any action with any data, for malformed programs: codes from 0x80 get a length of
    // data.size() (or `length` when given) before the data.
    Asm& Raw(std::uint8_t code, const Buffer& data, std::optional<std::uint16_t> length = {});

    // One ActionPush with every item, the last one ending up on top of the stack.
    template <class... Items>
    Asm& Push(const Items&... items) {
        return PushItems({PushItem(items)...});
    }
    Asm& PushItems(const std::vector<PushItem>& items);
    Asm& ConstantPool(const std::vector<std::string>& strings);

    // Branches to a label defined before or after; offsets are resolved by Bytes().
    Asm& Label(const std::string& name);
    Asm& Jump(const std::string& label);
    Asm& If(const std::string& label);

    // Function, with and try blocks: `body` writes the block's actions into this assembler.
    Asm& DefineFunction(const std::string& name, const std::vector<std::string>& params,
                        const Block& body);
    Asm& DefineFunction2(const std::string& name, std::uint8_t registerCount, std::uint16_t flags,
                         const std::vector<RegisterParam>& params, const Block& body);
    Asm& With(const Block& body);
    // A missing (empty) catchBody or finallyBody leaves that block and its flag out.
    Asm& Try(const Block& body, const CatchInto& into, const Block& catchBody,
             const Block& finallyBody = nullptr);

    Asm& GotoFrame(std::uint16_t frame);  // zero-based
    Asm& GotoLabel(const std::string& label);
    Asm& GetUrl(const std::string& url, const std::string& target);
    Asm& GetUrl2(std::uint8_t flags);
    // Pops the frame (number or label); sceneBias is added to a numbered frame when given.
    Asm& GotoFrame2(bool play, std::optional<std::uint16_t> sceneBias = {});
    // Skips `skipCount` actions when the frame is not loaded yet.
    Asm& WaitForFrame(std::uint16_t frame, std::uint8_t skipCount);
    Asm& WaitForFrame2(std::uint8_t skipCount);
    Asm& SetTarget(const std::string& path);
    Asm& StoreRegister(std::uint8_t reg);
    Asm& Trace() { return Op(swfw::Op::kTrace); }

    // Conveniences for the common sequences.
    Asm& PushTraceString(const std::string& text) { return Push(text).Trace(); }
    // Pushes the variable's value.
    Asm& GetVariable(const std::string& name);
    // Pushes the name, then lets `pushValue` push the value, then sets the variable.
    Asm& SetVariable(const std::string& name, const Block& pushValue);
    Asm& SetVariable(const std::string& name, const PushItem& value);
    // Calls a function with the arguments already pushed (the last argument first).
    Asm& CallFunction(const std::string& name, int argCount);
    // Calls a method with the arguments already pushed (the last argument first); `pushObject`
    // pushes the object the method is looked up on.
    Asm& CallMethod(const std::string& name, int argCount, const Block& pushObject);

    // The program with labels resolved and the closing End action.
    Buffer Bytes() const;
    // Bytes written so far: the offset the next action starts at.
    std::size_t Size() const { return code_.size(); }

  private:
    struct Branch {
        std::size_t field;  // offset of the 16-bit branch offset
        std::string label;
    };

    Asm& Record(std::uint8_t code, const Buffer& data);
    // Writes `body`, then stores its size in the 16-bit field at `sizeField`.
    void Nested(const Block& body, std::size_t sizeField);
    Asm& Branching(swfw::Op code, const std::string& label);
    void Put16(std::size_t at, std::size_t value);

    Buffer code_;
    std::map<std::string, std::size_t> labels_;
    std::vector<Branch> branches_;
};

}  // namespace swfw
