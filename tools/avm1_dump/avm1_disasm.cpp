#include "tools/avm1_dump/avm1_disasm.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <utility>

#include "player/bitreader.h"

namespace avm1dump {

namespace {

constexpr std::pair<std::uint8_t, const char*> kNames[] = {
    {0x00, "End"},
    {0x04, "NextFrame"},
    {0x05, "PreviousFrame"},
    {0x06, "Play"},
    {0x07, "Stop"},
    {0x08, "ToggleQuality"},
    {0x09, "StopSounds"},
    {0x0A, "Add"},
    {0x0B, "Subtract"},
    {0x0C, "Multiply"},
    {0x0D, "Divide"},
    {0x0E, "Equals"},
    {0x0F, "Less"},
    {0x10, "And"},
    {0x11, "Or"},
    {0x12, "Not"},
    {0x13, "StringEquals"},
    {0x14, "StringLength"},
    {0x15, "StringExtract"},
    {0x17, "Pop"},
    {0x18, "ToInteger"},
    {0x1C, "GetVariable"},
    {0x1D, "SetVariable"},
    {0x20, "SetTarget2"},
    {0x21, "StringAdd"},
    {0x22, "GetProperty"},
    {0x23, "SetProperty"},
    {0x24, "CloneSprite"},
    {0x25, "RemoveSprite"},
    {0x26, "Trace"},
    {0x27, "StartDrag"},
    {0x28, "EndDrag"},
    {0x29, "StringLess"},
    {0x2A, "Throw"},
    {0x2B, "CastOp"},
    {0x2C, "ImplementsOp"},
    {0x30, "RandomNumber"},
    {0x31, "MBStringLength"},
    {0x32, "CharToAscii"},
    {0x33, "AsciiToChar"},
    {0x34, "GetTime"},
    {0x35, "MBStringExtract"},
    {0x36, "MBCharToAscii"},
    {0x37, "MBAsciiToChar"},
    {0x3A, "Delete"},
    {0x3B, "Delete2"},
    {0x3C, "DefineLocal"},
    {0x3D, "CallFunction"},
    {0x3E, "Return"},
    {0x3F, "Modulo"},
    {0x40, "NewObject"},
    {0x41, "DefineLocal2"},
    {0x42, "InitArray"},
    {0x43, "InitObject"},
    {0x44, "TypeOf"},
    {0x45, "TargetPath"},
    {0x46, "Enumerate"},
    {0x47, "Add2"},
    {0x48, "Less2"},
    {0x49, "Equals2"},
    {0x4A, "ToNumber"},
    {0x4B, "ToString"},
    {0x4C, "PushDuplicate"},
    {0x4D, "StackSwap"},
    {0x4E, "GetMember"},
    {0x4F, "SetMember"},
    {0x50, "Increment"},
    {0x51, "Decrement"},
    {0x52, "CallMethod"},
    {0x53, "NewMethod"},
    {0x54, "InstanceOf"},
    {0x55, "Enumerate2"},
    {0x60, "BitAnd"},
    {0x61, "BitOr"},
    {0x62, "BitXor"},
    {0x63, "BitLShift"},
    {0x64, "BitRShift"},
    {0x65, "BitURShift"},
    {0x66, "StrictEquals"},
    {0x67, "Greater"},
    {0x68, "StringGreater"},
    {0x69, "Extends"},
    {0x81, "GotoFrame"},
    {0x83, "GetURL"},
    {0x87, "StoreRegister"},
    {0x88, "ConstantPool"},
    {0x8A, "WaitForFrame"},
    {0x8B, "SetTarget"},
    {0x8C, "GotoLabel"},
    {0x8D, "WaitForFrame2"},
    {0x8E, "DefineFunction2"},
    {0x8F, "Try"},
    {0x94, "With"},
    {0x96, "Push"},
    {0x99, "Jump"},
    {0x9A, "GetURL2"},
    {0x9B, "DefineFunction"},
    {0x9D, "If"},
    {0x9E, "Call"},
    {0x9F, "GotoFrame2"},
};

constexpr std::array<const char*, 256> MakeNameTable() {
    std::array<const char*, 256> table{};
    for (const auto& [code, name] : kNames) table[code] = name;
    return table;
}
constexpr std::array<const char*, 256> kNameTable = MakeNameTable();

// Function2 flag names, by bit of the 16-bit field (first stored byte low).
constexpr const char* kFunction2Flags[] = {
    "preloadThis",   "suppressThis", "preloadArguments", "suppressArguments", "preloadSuper",
    "suppressSuper", "preloadRoot",  "preloadParent",    "preloadGlobal",
};

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (byte < 0x20 || byte == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            out += hex;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

template <class Number>
std::string Shortest(Number value) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

std::string Hex(unsigned value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

// Decodes one record's data into its argument text. `pool` is the latest constant pool seen
// in the block, to show what constant pushes refer to.
class RecordDecoder {
  public:
    RecordDecoder(std::span<const std::uint8_t> data, std::size_t next,
                  std::vector<std::string>& pool)
        : in_(data), next_(next), pool_(pool) {}

    std::string Decode(std::uint8_t code) {
        switch (code) {
            case 0x81:
                Add("frame " + std::to_string(in_.U16()));
                break;
            case 0x83:
                Url();
                break;
            case 0x87:
                Add("r" + std::to_string(in_.U8()));
                break;
            case 0x88:
                Pool();
                break;
            case 0x8A:
                Add("frame " + std::to_string(in_.U16()));
                Add("skip " + std::to_string(in_.U8()));
                break;
            case 0x8B:
            case 0x8C:
                Add(Quoted(in_.String()));
                break;
            case 0x8D:
                Add("skip " + std::to_string(in_.U8()));
                break;
            case 0x8E:
                Function2();
                break;
            case 0x8F:
                Try();
                break;
            case 0x94:
                Add("body " + Block(in_.U16()));
                break;
            case 0x96:
                Push();
                break;
            case 0x99:
            case 0x9D:
                Branch();
                break;
            case 0x9A:
                Url2();
                break;
            case 0x9B:
                Function();
                break;
            case 0x9F:
                Goto2();
                break;
            default:
                break;
        }
        if (in_.Failed()) {
            text_ += text_.empty() ? "<cut short>" : " <cut short>";
        } else if (in_.Remaining() > 0) {
            Add("+" + std::to_string(in_.Remaining()) + " bytes");
        }
        return text_;
    }

  private:
    void Add(const std::string& part) {
        if (in_.Failed()) return;
        if (!text_.empty()) text_ += ' ';
        text_ += part;
    }

    // A nested block of `size` bytes starting where the previous one ended.
    std::string Block(std::size_t size) {
        const std::size_t start = blockEnd_ ? blockEnd_ : next_;
        blockEnd_ = start + size;
        return std::to_string(size) + " bytes [" + std::to_string(start) + ", " +
               std::to_string(blockEnd_) + ")";
    }

    void Url() {
        const std::string url = in_.String();
        const std::string target = in_.String();
        Add(Quoted(url));
        Add("target " + Quoted(target));
    }

    void Url2() {
        const std::uint8_t flags = in_.U8();
        static constexpr const char* kMethods[] = {"none", "GET", "POST", "method 3"};
        std::string text = Hex(flags, 2) + " (send " + kMethods[flags >> 6];
        if (flags & 0x02) text += ", target";
        if (flags & 0x01) text += ", variables";
        Add(text + ")");
    }

    void Goto2() {
        const std::uint8_t flags = in_.U8();
        Add(flags & 0x01 ? "play" : "stop");
        if (flags & 0x02) Add("scene bias " + std::to_string(in_.U16()));
    }

    void Pool() {
        const std::uint16_t count = in_.U16();
        pool_.clear();
        Add(std::to_string(count) + " entries:");
        for (std::uint16_t i = 0; i < count && !in_.Failed(); ++i) {
            const std::string entry = in_.String();
            if (in_.Failed()) break;
            if (i > 0) text_ += ',';
            Add(std::to_string(i) + " " + Quoted(entry));
            pool_.push_back(entry);
        }
    }

    void Branch() {
        const std::int16_t offset = in_.S16();
        const auto target = static_cast<long long>(next_) + offset;
        Add("-> " + std::to_string(target) + " (" + (offset >= 0 ? "+" : "") +
            std::to_string(offset) + ")");
    }

    void Push() {
        while (!in_.Failed() && in_.Remaining() > 0) {
            const std::uint8_t type = in_.U8();
            if (type > 9) {  // the rest cannot be told apart: left as extra bytes
                Add("<unknown push type " + std::to_string(type) + ">");
                return;
            }
            const std::string item = Item(type);
            if (in_.Failed()) return;
            if (!text_.empty()) text_ += ',';
            Add(item);
        }
    }

    std::string Constant(unsigned index, const char* type) {
        std::string text = std::string(type) + " " + std::to_string(index);
        if (index < pool_.size()) text += " (" + Quoted(pool_[index]) + ")";
        return text;
    }

    std::string Item(std::uint8_t type) {
        switch (type) {
            case 0:
                return "string " + Quoted(in_.String());
            case 1:
                return "float " + Shortest(in_.Float());
            case 2:
                return "null";
            case 3:
                return "undefined";
            case 4:
                return "register " + std::to_string(in_.U8());
            case 5:
                return std::string("bool ") + (in_.U8() ? "true" : "false");
            case 6: {
                // The IEEE bits as two little-endian words, the high word first.
                const std::uint64_t high = in_.U32();
                const std::uint64_t bits = high << 32 | in_.U32();
                double value = 0;
                std::memcpy(&value, &bits, sizeof value);
                return "double " + Shortest(value);
            }
            case 7:
                return "int " + std::to_string(static_cast<std::int32_t>(in_.U32()));
            case 8:
                return Constant(in_.U8(), "constant");
            default:
                return Constant(in_.U16(), "constant16");
        }
    }

    void Function() {
        const std::string name = in_.String();
        const std::uint16_t count = in_.U16();
        Add(Quoted(name));
        std::string params = "(";
        for (std::uint16_t i = 0; i < count && !in_.Failed(); ++i) {
            params += (i ? ", " : "") + Quoted(in_.String());
        }
        Add(params + ")");
        Add("body " + Block(in_.U16()));
    }

    void Function2() {
        const std::string name = in_.String();
        const std::uint16_t count = in_.U16();
        const std::uint8_t registers = in_.U8();
        const std::uint16_t flags = in_.U16();
        Add(Quoted(name));
        std::string params = "(";
        for (std::uint16_t i = 0; i < count && !in_.Failed(); ++i) {
            const std::uint8_t reg = in_.U8();
            const std::string param = in_.String();
            params += (i ? ", " : "");
            if (reg != 0) params += "r" + std::to_string(reg) + ":";
            params += Quoted(param);
        }
        Add(params + ")");
        Add("registers " + std::to_string(registers));
        std::string flagText = "flags " + Hex(flags, 4);
        std::string names;
        for (std::size_t bit = 0; bit < std::size(kFunction2Flags); ++bit) {
            if (flags & (1u << bit))
                names += (names.empty() ? "" : "|") + std::string(kFunction2Flags[bit]);
        }
        if (!names.empty()) flagText += " (" + names + ")";
        Add(flagText);
        Add("body " + Block(in_.U16()));
    }

    void Try() {
        const std::uint8_t flags = in_.U8();
        const std::uint16_t trySize = in_.U16();
        const std::uint16_t catchSize = in_.U16();
        const std::uint16_t finallySize = in_.U16();
        const std::string into =
            flags & 0x04 ? "r" + std::to_string(in_.U8()) : Quoted(in_.String());
        if (in_.Failed()) return;
        Add("try " + Block(trySize));
        Add(std::string(flags & 0x01 ? "catch " : "no catch ") + into + " " + Block(catchSize));
        Add(std::string(flags & 0x02 ? "finally " : "no finally ") + Block(finallySize));
    }

    player::BitReader in_;
    std::size_t next_;  // offset of the action after this record
    std::vector<std::string>& pool_;
    std::size_t blockEnd_ = 0;
    std::string text_;
};

}  // namespace

const char* ActionName(std::uint8_t code) {
    return kNameTable[code];
}

Listing Disassemble(std::span<const std::uint8_t> block) {
    Listing listing;
    std::vector<std::string> pool;
    std::size_t at = 0;
    while (at < block.size()) {
        Instruction action;
        action.offset = at;
        action.code = block[at];
        const char* name = ActionName(action.code);
        action.name = name ? name : "Unknown " + Hex(action.code, 2);
        std::size_t next = at + 1;
        if (action.code >= 0x80) {
            if (block.size() - next < 2) {
                listing.note = "record at " + std::to_string(at) + " cut inside its length";
                return listing;
            }
            const std::size_t length = block[next] | block[next + 1] << 8;
            next += 2;
            if (block.size() - next < length) {
                listing.note = "record at " + std::to_string(at) + " runs past the block (" +
                               std::to_string(length) + " bytes, " +
                               std::to_string(block.size() - next) + " left)";
                return listing;
            }
            RecordDecoder decoder(block.subspan(next, length), next + length, pool);
            action.args = decoder.Decode(action.code);
            if (!name) action.args = std::to_string(length) + " bytes";
            next += length;
        }
        listing.actions.push_back(std::move(action));
        if (block[at] == 0) {
            if (next < block.size())
                listing.note = std::to_string(block.size() - next) + " bytes after End";
            return listing;
        }
        at = next;
    }
    listing.note = "no End action";
    return listing;
}

std::string ToText(const Listing& listing) {
    std::string out;
    for (const Instruction& a : listing.actions) {
        char offset[24];
        std::snprintf(offset, sizeof offset, "%6zu  ", a.offset);
        out += offset + a.name;
        if (!a.args.empty()) out += " " + a.args;
        out += '\n';
    }
    if (!listing.note.empty()) out += "; " + listing.note + '\n';
    return out;
}

}  // namespace avm1dump
