// Little-endian byte and most-significant-bit-first bit writer for SWF records, with the
// minimal bit counts that signed and unsigned bit fields need.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace swfw {

using Buffer = std::vector<std::uint8_t>;

// Bits a field needs to hold `value` unsigned (0 for 0).
int UnsignedBits(std::uint32_t value);
// Bits a two's-complement field needs to hold `value` (0 for 0, 1 for -1).
int SignedBits(std::int32_t value);
int SignedBits(std::initializer_list<std::int32_t> values);

// 16.16 and 8.8 fixed point, rounded to nearest.
std::int32_t Fixed16(double value);
std::int16_t Fixed8(double value);

class BitWriter {
  public:
    // Byte-aligned writes; each flushes a partly written bit byte first.
    void U8(std::uint8_t value);
    void U16(std::uint16_t value);
    void U32(std::uint32_t value);
    void S16(std::int16_t value) { U16(static_cast<std::uint16_t>(value)); }
    void Float(float value);
    void Append(const Buffer& bytes);
    void String(std::string_view text);  // with its terminating zero

    // Bit fields, most significant bit first; `bits` from 0 to 32.
    void UB(int bits, std::uint32_t value);
    void SB(int bits, std::int32_t value) { UB(bits, static_cast<std::uint32_t>(value)); }
    // Pads the current byte with zero bits.
    void Align();

    // The bytes written so far, the last partial byte padded.
    const Buffer& Bytes();
    std::size_t Size();

  private:
    Buffer bytes_;
    int bitPos_ = 0;  // bits used in the last byte; 0 when aligned
};

}  // namespace swfw
