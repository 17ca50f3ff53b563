#include "player/script/program.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>


namespace player::script {

namespace {

constexpr std::uint32_t kNoTarget = std::numeric_limits<std::uint32_t>::max();

// Little-endian fields of one action record; a read past its end gives zeros and fails.
class BitReader {
  public:
    explicit BitReader(std::span<const std::uint8_t> data) : data_(data) {}
    bool AtEnd() const { return pos_ >= data_.size(); }
    bool Failed() const { return failed_; }
    std::uint8_t U8() {
        if (pos_ >= data_.size()) {
            failed_ = true;
            return 0;
        }
        return data_[pos_++];
    }
    std::uint16_t U16() {
        const std::uint16_t lo = U8();
        return static_cast<std::uint16_t>(lo | U8() << 8);
    }
    std::uint32_t U32() {
        const std::uint32_t lo = U16();
        return lo | static_cast<std::uint32_t>(U16()) << 16;
    }
    // A zero-terminated string; one that runs to the end of the record fails.
    std::string String() {
        const std::size_t start = pos_;
        while (pos_ < data_.size() && data_[pos_] != 0) ++pos_;
        if (pos_ >= data_.size()) {
            failed_ = true;
            return {};
        }
        std::string s(reinterpret_cast<const char*>(data_.data() + start), pos_ - start);
        ++pos_;
        return s;
    }

  private:
    std::span<const std::uint8_t> data_;
    std::size_t pos_ = 0;
    bool failed_ = false;
};

struct Record {
    std::uint32_t offset = 0;  // of the action code
    std::uint32_t next = 0;    // of the action after it
    std::uint8_t code = 0;
    std::span<const std::uint8_t> data;
};

// Splits the block into records; stops at the end action or at a record that runs past it.
std::vector<Record> SplitRecords(std::span<const std::uint8_t> bytes, std::string* problem) {
    std::vector<Record> records;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        Record r;
        r.offset = static_cast<std::uint32_t>(pos);
        r.code = bytes[pos++];
        if (r.code == 0) break;
        if (r.code >= 0x80) {
            if (bytes.size() - pos < 2) {
                *problem = "an action record runs past its block";
                break;
            }
            const std::size_t length = bytes[pos] | (bytes[pos + 1] << 8);
            pos += 2;
            if (bytes.size() - pos < length) {
                *problem = "an action record runs past its block";
                break;
            }
            r.data = bytes.subspan(pos, length);
            pos += length;
        }
        r.next = static_cast<std::uint32_t>(pos);
        records.push_back(r);
    }
    return records;
}

class Decoder {
  public:
    Decoder(std::span<const std::uint8_t> bytes, Heap& heap) : heap_(heap) {
        records_ = SplitRecords(bytes, &program_.problem);
        end_ = records_.empty() ? 0 : records_.back().next;
    }

    Program Decode() {
        program_.code.reserve(records_.size() + 1);
        for (std::size_t i = 0; i < records_.size(); ++i) program_.code.push_back(DecodeOne(i));
        program_.code.push_back(Instr{});  // kEnd
        return std::move(program_);
    }

  private:
    // Index of the action starting at byte `offset`; the closing end for the block's end.
    std::uint32_t IndexAt(std::int64_t offset) const {
        if (offset == end_) return static_cast<std::uint32_t>(records_.size());
        if (offset < 0 || offset > end_) return kNoTarget;
        auto it = std::lower_bound(records_.begin(), records_.end(), offset,
                                   [](const Record& r, std::int64_t o) { return r.offset < o; });
        if (it == records_.end() || it->offset != offset) return kNoTarget;
        return static_cast<std::uint32_t>(it - records_.begin());
    }
    // Index of the first action at or after byte `offset` (body ends), clamped to the block.
    std::uint32_t IndexFrom(std::int64_t offset) const {
        auto it = std::lower_bound(records_.begin(), records_.end(), offset,
                                   [](const Record& r, std::int64_t o) { return r.offset < o; });
        return static_cast<std::uint32_t>(it - records_.begin());
    }

    const String* Str(BitReader& in) { return heap_.NewString(std::string(in.String())); }
    std::uint32_t AddString(BitReader& in) {
        program_.strings.push_back(Str(in));
        return static_cast<std::uint32_t>(program_.strings.size() - 1);
    }

    Instr Bad() { return Instr{Op::kBadRecord, 0, 0, 0}; }

    Instr DecodeOne(std::size_t i) {
        const Record& r = records_[i];
        Instr instr;
        instr.op = static_cast<Op>(r.code);
        BitReader in(r.data);
        switch (instr.op) {
            case Op::kGotoFrame:
                instr.a = in.U16();
                break;
            case Op::kGetUrl:
                instr.a = AddString(in);
                instr.b = AddString(in);
                break;
            case Op::kSetTarget:
            case Op::kGotoLabel:
                instr.a = AddString(in);
                break;
            case Op::kWaitForFrame:
                instr.a = in.U16();
                instr.b = SkipTarget(i, in.U8());
                break;
            case Op::kWaitForFrame2:
                instr.b = SkipTarget(i, in.U8());
                break;
            case Op::kStoreRegister:
            case Op::kGetUrl2:
                instr.u8 = in.U8();
                break;
            case Op::kGotoFrame2:
                instr.u8 = in.U8();
                if (instr.u8 & 0x02) instr.a = in.U16();
                break;
            case Op::kJump:
            case Op::kIf: {
                const auto offset = static_cast<std::int16_t>(in.U16());
                instr.a = IndexAt(std::int64_t{r.next} + offset);
                break;
            }
            case Op::kPush:
                return DecodePush(r);
            case Op::kConstantPool:
                return DecodePool(r);
            case Op::kDefineFunction:
            case Op::kDefineFunction2:
                return DecodeFunction(r, instr.op == Op::kDefineFunction2);
            case Op::kWith: {
                const std::uint16_t size = in.U16();
                instr.a = IndexFrom(std::int64_t{r.next} + size);
                break;
            }
            case Op::kTry:
                return DecodeTry(r);
            default:
                break;
        }
        if (in.Failed()) return Bad();
        return instr;
    }

    std::uint32_t SkipTarget(std::size_t i, std::size_t skip) const {
        return static_cast<std::uint32_t>(std::min(i + 1 + skip, records_.size()));
    }

    Instr DecodePush(const Record& r) {
        Instr instr{Op::kPush, 0, static_cast<std::uint32_t>(program_.pushes.size()), 0};
        BitReader in(r.data);
        while (!in.AtEnd()) {
            PushItem item;
            const std::uint8_t type = in.U8();
            switch (type) {
                case 0:
                    item.value = Value::Str(Str(in));
                    program_.strings.push_back(item.value.AsString());
                    break;
                case 1:
                    item.value = Value::Number(std::bit_cast<float>(in.U32()));
                    break;
                case 2:
                    item.value = Value::Null();
                    break;
                case 3:
                    break;
                case 4:
                    item.kind = PushItem::Kind::kRegister;
                    item.index = in.U8();
                    break;
                case 5:
                    item.value = Value::Boolean(in.U8() != 0);
                    break;
                case 6: {
                    // Two little-endian 32-bit halves, the high half first.
                    const std::uint64_t high = in.U32();
                    const std::uint64_t low = in.U32();
                    item.value = Value::Number(std::bit_cast<double>(high << 32 | low));
                    break;
                }
                case 7:
                    item.value = Value::Number(static_cast<std::int32_t>(in.U32()));
                    break;
                case 8:
                    item.kind = PushItem::Kind::kConstant;
                    item.index = in.U8();
                    break;
                case 9:
                    item.kind = PushItem::Kind::kConstant;
                    item.index = in.U16();
                    break;
                default:
                    return Bad();
            }
            if (in.Failed()) return Bad();
            program_.pushes.push_back(item);
            ++instr.b;
        }
        return instr;
    }

    Instr DecodePool(const Record& r) {
        BitReader in(r.data);
        const std::uint16_t count = in.U16();
        std::vector<const String*> pool;
        pool.reserve(std::min<std::size_t>(count, r.data.size()));
        for (std::uint16_t k = 0; k < count && !in.Failed(); ++k) pool.push_back(Str(in));
        if (in.Failed()) return Bad();
        program_.strings.insert(program_.strings.end(), pool.begin(), pool.end());
        program_.pools.push_back(std::move(pool));
        return Instr{Op::kConstantPool, 0, static_cast<std::uint32_t>(program_.pools.size() - 1),
                     0};
    }

    Instr DecodeFunction(const Record& r, bool v2) {
        BitReader in(r.data);
        FunctionDef def;
        def.v2 = v2;
        def.name = Str(in);
        const std::uint16_t count = in.U16();
        if (v2) {
            def.registerCount = in.U8();
            def.flags = in.U16();
        }
        for (std::uint16_t k = 0; k < count && !in.Failed(); ++k) {
            def.paramRegisters.push_back(v2 ? in.U8() : 0);
            def.params.push_back(Str(in));
        }
        const std::uint16_t size = in.U16();
        if (in.Failed()) return Bad();
        program_.strings.push_back(def.name);
        program_.strings.insert(program_.strings.end(), def.params.begin(), def.params.end());
        def.begin = IndexFrom(r.next);
        def.end = IndexFrom(std::int64_t{r.next} + size);
        program_.functions.push_back(std::move(def));
        return Instr{r.code == 0x8E ? Op::kDefineFunction2 : Op::kDefineFunction, 0,
                     static_cast<std::uint32_t>(program_.functions.size() - 1), 0};
    }

    Instr DecodeTry(const Record& r) {
        BitReader in(r.data);
        const std::uint8_t flags = in.U8();
        const std::uint16_t trySize = in.U16();
        const std::uint16_t catchSize = in.U16();
        const std::uint16_t finallySize = in.U16();
        TryDef def;
        def.hasCatch = flags & 0x01;
        def.hasFinally = flags & 0x02;
        def.catchInRegister = flags & 0x04;
        if (def.catchInRegister) {
            def.catchRegister = in.U8();
        } else {
            def.catchName = Str(in);
            program_.strings.push_back(def.catchName);
        }
        if (in.Failed()) return Bad();
        const std::int64_t tryStart = r.next;
        def.tryBegin = IndexFrom(tryStart);
        def.catchBegin = IndexFrom(tryStart + trySize);
        def.finallyBegin = IndexFrom(tryStart + trySize + catchSize);
        def.end = IndexFrom(tryStart + trySize + catchSize + finallySize);
        program_.tries.push_back(def);
        return Instr{Op::kTry, 0, static_cast<std::uint32_t>(program_.tries.size() - 1), 0};
    }

    Heap& heap_;
    Program program_;
    std::vector<Record> records_;
    std::int64_t end_ = 0;
};

}  // namespace

void Program::Mark(Marker& marker) const {
    for (const String* s : strings) marker.Mark(s);
}

Program DecodeActions(std::span<const std::uint8_t> bytes, Heap& heap) {
    return Decoder(bytes, heap).Decode();
}

}  // namespace player::script
