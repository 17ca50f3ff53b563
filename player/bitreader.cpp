#include "player/bitreader.h"

#include <cstring>

namespace player {

bool BitReader::Need(std::size_t n) {
    if (failed_ || data_.size() - pos_ < n) {
        failed_ = true;
        return false;
    }
    return true;
}

std::uint8_t BitReader::U8() {
    Align();
    if (!Need(1)) return 0;
    return data_[pos_++];
}

std::uint16_t BitReader::U16() {
    Align();
    if (!Need(2)) return 0;
    const std::uint16_t v = static_cast<std::uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
    pos_ += 2;
    return v;
}

std::uint32_t BitReader::U32() {
    Align();
    if (!Need(4)) return 0;
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | data_[pos_ + i];
    pos_ += 4;
    return v;
}

float BitReader::Float() {
    const std::uint32_t bits = U32();
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

std::string BitReader::String() {
    Align();
    if (failed_) return {};
    const auto* begin = data_.data() + pos_;
    const auto* end = static_cast<const std::uint8_t*>(std::memchr(begin, 0, data_.size() - pos_));
    if (!end) {
        failed_ = true;
        return {};
    }
    std::string s(reinterpret_cast<const char*>(begin), end - begin);
    pos_ += s.size() + 1;
    return s;
}

std::span<const std::uint8_t> BitReader::Bytes(std::size_t n) {
    Align();
    if (!Need(n)) return {};
    auto out = data_.subspan(pos_, n);
    pos_ += n;
    return out;
}

void BitReader::Skip(std::size_t n) {
    Align();
    if (Need(n)) pos_ += n;
}

std::uint32_t BitReader::UBits(int n) {
    if (n < 0 || n > 32) {
        failed_ = true;
        return 0;
    }
    std::uint64_t v = 0;
    while (n > 0) {
        if (bitCount_ == 0) {
            if (!Need(1)) return 0;
            bitBuffer_ = data_[pos_++];
            bitCount_ = 8;
        }
        const int take = n < bitCount_ ? n : bitCount_;
        bitCount_ -= take;
        v = (v << take) | ((bitBuffer_ >> bitCount_) & ((1u << take) - 1));
        n -= take;
    }
    return static_cast<std::uint32_t>(v);
}

std::int32_t BitReader::SBits(int n) {
    if (n == 0) return 0;
    const std::uint32_t u = UBits(n);
    if (n >= 32) return static_cast<std::int32_t>(u);
    const std::uint32_t sign = 1u << (n - 1);
    return static_cast<std::int32_t>((u ^ sign)) - static_cast<std::int32_t>(sign);
}

}  // namespace player
