#include "tests/support/avm1_asm.h"

#include <cstring>
#include <stdexcept>

namespace swfw {

namespace {

// An ActionPush double: the IEEE bits as two little-endian 32-bit words, the high word first.
void WritePushDouble(BitWriter& out, double value) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    out.U32(static_cast<std::uint32_t>(bits >> 32));
    out.U32(static_cast<std::uint32_t>(bits));
}

}  // namespace

void PushItem::Write(BitWriter& out) const {
    struct Writer {
        BitWriter& out;
        void operator()(const std::string& s) const {
            out.U8(0);
            out.String(s);
        }
        void operator()(float f) const {
            out.U8(1);
            out.Float(f);
        }
        void operator()(Null) const { out.U8(2); }
        void operator()(Undefined) const { out.U8(3); }
        void operator()(Reg r) const {
            out.U8(4);
            out.U8(r.index);
        }
        void operator()(bool b) const {
            out.U8(5);
            out.U8(b ? 1 : 0);
        }
        void operator()(double d) const {
            out.U8(6);
            WritePushDouble(out, d);
        }
        void operator()(std::int32_t i) const {
            out.U8(7);
            out.U32(static_cast<std::uint32_t>(i));
        }
        void operator()(Const c) const {
            if (c.wide || c.index > 0xFF) {
                out.U8(9);
                out.U16(c.index);
            } else {
                out.U8(8);
                out.U8(static_cast<std::uint8_t>(c.index));
            }
        }
    };
    std::visit(Writer{out}, value_);
}

Asm& Asm::Op(std::uint8_t code) {
    return Record(code, {});
}

Asm& Asm::Raw(std::uint8_t code, const Buffer& data, std::optional<std::uint16_t> length) {
    code_.push_back(code);
    if (code < 0x80) return *this;
    const std::size_t field = code_.size();
    code_.resize(field + 2);
    Put16(field, length.value_or(static_cast<std::uint16_t>(data.size())));
    code_.insert(code_.end(), data.begin(), data.end());
    return *this;
}

Asm& Asm::Record(std::uint8_t code, const Buffer& data) {
    if (data.size() > 0xFFFF) throw std::logic_error("action record longer than 65535 bytes");
    return Raw(code, data);
}

void Asm::Put16(std::size_t at, std::size_t value) {
    code_[at] = static_cast<std::uint8_t>(value);
    code_[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void Asm::Nested(const Block& body, std::size_t sizeField) {
    const std::size_t start = code_.size();
    if (body) body(*this);
    const std::size_t size = code_.size() - start;
    if (size > 0xFFFF) throw std::logic_error("block longer than 65535 bytes");
    Put16(sizeField, size);
}

Asm& Asm::PushItems(const std::vector<PushItem>& items) {
    BitWriter data;
    for (const PushItem& item : items) item.Write(data);
    return Record(static_cast<std::uint8_t>(Op::kPush), data.Bytes());
}

Asm& Asm::ConstantPool(const std::vector<std::string>& strings) {
    BitWriter data;
    data.U16(static_cast<std::uint16_t>(strings.size()));
    for (const std::string& s : strings) data.String(s);
    return Record(static_cast<std::uint8_t>(Op::kConstantPool), data.Bytes());
}

Asm& Asm::Label(const std::string& name) {
    if (!labels_.emplace(name, code_.size()).second)
        throw std::logic_error("label defined twice: " + name);
    return *this;
}

Asm& Asm::Branching(swfw::Op code, const std::string& label) {
    Record(static_cast<std::uint8_t>(code), {0, 0});
    branches_.push_back({code_.size() - 2, label});
    return *this;
}

Asm& Asm::Jump(const std::string& label) {
    return Branching(Op::kJump, label);
}

Asm& Asm::If(const std::string& label) {
    return Branching(Op::kIf, label);
}

Asm& Asm::DefineFunction(const std::string& name, const std::vector<std::string>& params,
                         const Block& body) {
    BitWriter data;
    data.String(name);
    data.U16(static_cast<std::uint16_t>(params.size()));
    for (const std::string& p : params) data.String(p);
    data.U16(0);  // body size, filled in below
    Record(static_cast<std::uint8_t>(Op::kDefineFunction), data.Bytes());
    Nested(body, code_.size() - 2);
    return *this;
}

Asm& Asm::DefineFunction2(const std::string& name, std::uint8_t registerCount, std::uint16_t flags,
                          const std::vector<RegisterParam>& params, const Block& body) {
    BitWriter data;
    data.String(name);
    data.U16(static_cast<std::uint16_t>(params.size()));
    data.U8(registerCount);
    data.U16(flags);
    for (const RegisterParam& p : params) {
        data.U8(p.reg);
        data.String(p.name);
    }
    data.U16(0);  // body size, filled in below
    Record(static_cast<std::uint8_t>(Op::kDefineFunction2), data.Bytes());
    Nested(body, code_.size() - 2);
    return *this;
}

Asm& Asm::With(const Block& body) {
    Record(static_cast<std::uint8_t>(Op::kWith), {0, 0});
    Nested(body, code_.size() - 2);
    return *this;
}

Asm& Asm::Try(const Block& body, const CatchInto& into, const Block& catchBody,
              const Block& finallyBody) {
    const auto* reg = std::get_if<Reg>(&into);
    BitWriter data;
    data.U8(static_cast<std::uint8_t>((reg ? 0x04 : 0) | (finallyBody ? 0x02 : 0) |
                                      (catchBody ? 0x01 : 0)));
    data.U16(0);  // try, catch and finally sizes, filled in below
    data.U16(0);
    data.U16(0);
    if (reg) {
        data.U8(reg->index);
    } else {
        data.String(std::get<std::string>(into));
    }
    Record(static_cast<std::uint8_t>(Op::kTry), data.Bytes());
    const std::size_t sizes = code_.size() - data.Size() + 1;
    Nested(body, sizes);
    Nested(catchBody, sizes + 2);
    Nested(finallyBody, sizes + 4);
    return *this;
}

Asm& Asm::GotoFrame(std::uint16_t frame) {
    BitWriter data;
    data.U16(frame);
    return Record(static_cast<std::uint8_t>(Op::kGotoFrame), data.Bytes());
}

Asm& Asm::GotoLabel(const std::string& label) {
    BitWriter data;
    data.String(label);
    return Record(static_cast<std::uint8_t>(Op::kGotoLabel), data.Bytes());
}

Asm& Asm::GetUrl(const std::string& url, const std::string& target) {
    BitWriter data;
    data.String(url);
    data.String(target);
    return Record(static_cast<std::uint8_t>(Op::kGetUrl), data.Bytes());
}

Asm& Asm::GetUrl2(std::uint8_t flags) {
    return Record(static_cast<std::uint8_t>(Op::kGetUrl2), {flags});
}

Asm& Asm::GotoFrame2(bool play, std::optional<std::uint16_t> sceneBias) {
    BitWriter data;
    data.U8(static_cast<std::uint8_t>((sceneBias ? 0x02 : 0) | (play ? 0x01 : 0)));
    if (sceneBias) data.U16(*sceneBias);
    return Record(static_cast<std::uint8_t>(Op::kGotoFrame2), data.Bytes());
}

Asm& Asm::WaitForFrame(std::uint16_t frame, std::uint8_t skipCount) {
    BitWriter data;
    data.U16(frame);
    data.U8(skipCount);
    return Record(static_cast<std::uint8_t>(Op::kWaitForFrame), data.Bytes());
}

Asm& Asm::WaitForFrame2(std::uint8_t skipCount) {
    return Record(static_cast<std::uint8_t>(Op::kWaitForFrame2), {skipCount});
}

Asm& Asm::SetTarget(const std::string& path) {
    BitWriter data;
    data.String(path);
    return Record(static_cast<std::uint8_t>(Op::kSetTarget), data.Bytes());
}

Asm& Asm::StoreRegister(std::uint8_t reg) {
    return Record(static_cast<std::uint8_t>(Op::kStoreRegister), {reg});
}

Asm& Asm::GetVariable(const std::string& name) {
    return Push(name).Op(Op::kGetVariable);
}

Asm& Asm::SetVariable(const std::string& name, const Block& pushValue) {
    Push(name);
    pushValue(*this);
    return Op(Op::kSetVariable);
}

Asm& Asm::SetVariable(const std::string& name, const PushItem& value) {
    return PushItems({name, value}).Op(Op::kSetVariable);
}

Asm& Asm::CallFunction(const std::string& name, int argCount) {
    return Push(argCount, name).Op(Op::kCallFunction);
}

Asm& Asm::CallMethod(const std::string& name, int argCount, const Block& pushObject) {
    Push(argCount);
    pushObject(*this);
    return Push(name).Op(Op::kCallMethod);
}

Buffer Asm::Bytes() const {
    Buffer out = code_;
    for (const Branch& b : branches_) {
        const auto target = labels_.find(b.label);
        if (target == labels_.end()) throw std::logic_error("label never defined: " + b.label);
        const auto offset =
            static_cast<std::ptrdiff_t>(target->second) - static_cast<std::ptrdiff_t>(b.field + 2);
        if (offset < INT16_MIN || offset > INT16_MAX)
            throw std::logic_error("branch to " + b.label + " too far for its offset");
        const auto field = static_cast<std::uint16_t>(offset);
        out[b.field] = static_cast<std::uint8_t>(field);
        out[b.field + 1] = static_cast<std::uint8_t>(field >> 8);
    }
    out.push_back(0);
    return out;
}

}  // namespace swfw
