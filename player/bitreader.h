// Bounds-checked reading of the movie's little-endian fields and packed bit fields. A read past
// the end yields zero and sets a sticky failure flag, so callers check once per record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace player {

class BitReader {
  public:
    explicit BitReader(std::span<const std::uint8_t> data) : data_(data) {}

    bool Failed() const { return failed_; }
    // Marks the data as unusable from here on (a field the reader cannot make sense of).
    void Fail() { failed_ = true; }
    std::size_t Position() const { return pos_; }  // byte offset of the next aligned read
    std::size_t Remaining() const { return failed_ ? 0 : data_.size() - pos_; }
    bool AtEnd() const { return Remaining() == 0; }

    std::uint8_t U8();
    std::uint16_t U16();
    std::uint32_t U32();
    std::int16_t S16() { return static_cast<std::int16_t>(U16()); }
    float Float();
    // Zero-terminated string; a missing terminator fails.
    std::string String();
    // Returns the next n bytes and skips them; fails (empty span) when fewer remain.
    std::span<const std::uint8_t> Bytes(std::size_t n);
    // Skips n bytes; fails when fewer remain.
    void Skip(std::size_t n);

    // Bit fields, most significant bit first. Widths above 32 fail.
    std::uint32_t UBits(int n);
    std::int32_t SBits(int n);
    // Fixed-point bit field, 16.16: returned raw as the signed integer it encodes.
    std::int32_t FBits(int n) { return SBits(n); }
    bool Flag() { return UBits(1) != 0; }
    // Drops the rest of a partly read byte so the next read starts on a byte boundary.
    void Align() { bitCount_ = 0; }

  private:
    bool Need(std::size_t n);

    std::span<const std::uint8_t> data_;
    std::size_t pos_ = 0;
    std::uint8_t bitBuffer_ = 0;
    int bitCount_ = 0;  // unread bits left in bitBuffer_
    bool failed_ = false;
};

}  // namespace player
