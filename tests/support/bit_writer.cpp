#include "tests/support/bit_writer.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace swfw {

int UnsignedBits(std::uint32_t value) {
    return std::bit_width(value);
}

int SignedBits(std::int32_t value) {
    if (value == 0) return 0;
    const auto magnitude = static_cast<std::uint32_t>(value < 0 ? ~value : value);
    return std::bit_width(magnitude) + 1;
}

int SignedBits(std::initializer_list<std::int32_t> values) {
    int bits = 0;
    for (std::int32_t v : values) bits = std::max(bits, SignedBits(v));
    return bits;
}

std::int32_t Fixed16(double value) {
    return static_cast<std::int32_t>(std::lround(value * 65536.0));
}

std::int16_t Fixed8(double value) {
    return static_cast<std::int16_t>(std::lround(value * 256.0));
}

void BitWriter::U8(std::uint8_t value) {
    Align();
    bytes_.push_back(value);
}

void BitWriter::U16(std::uint16_t value) {
    U8(static_cast<std::uint8_t>(value));
    U8(static_cast<std::uint8_t>(value >> 8));
}

void BitWriter::U32(std::uint32_t value) {
    U16(static_cast<std::uint16_t>(value));
    U16(static_cast<std::uint16_t>(value >> 16));
}

void BitWriter::Float(float value) {
    U32(std::bit_cast<std::uint32_t>(value));
}

void BitWriter::Append(const Buffer& bytes) {
    Align();
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
}

void BitWriter::String(std::string_view text) {
    Align();
    bytes_.insert(bytes_.end(), text.begin(), text.end());
    bytes_.push_back(0);
}

void BitWriter::UB(int bits, std::uint32_t value) {
    for (int i = bits - 1; i >= 0; --i) {
        if (bitPos_ == 0) bytes_.push_back(0);
        if ((value >> i) & 1u) bytes_.back() |= static_cast<std::uint8_t>(0x80u >> bitPos_);
        bitPos_ = (bitPos_ + 1) % 8;
    }
}

void BitWriter::Align() {
    bitPos_ = 0;
}

const Buffer& BitWriter::Bytes() {
    Align();
    return bytes_;
}

std::size_t BitWriter::Size() {
    Align();
    return bytes_.size();
}

}  // namespace swfw
