#include "player/sound/adpcm.h"

#include <algorithm>

namespace sound {

namespace {

constexpr int kPacketFrames = 4096;

constexpr int kStepSizes[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,   253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,   876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749,  3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493,  10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

// Step index changes by the code's magnitude, per code size (2 to 5 bits).
constexpr int kIndex2[2] = {-1, 2};
constexpr int kIndex3[4] = {-1, -1, 2, 4};
constexpr int kIndex4[8] = {-1, -1, -1, -1, 2, 4, 6, 8};
constexpr int kIndex5[16] = {-1, -1, -1, -1, -1, -1, -1, -1, 1, 2, 4, 6, 8, 10, 13, 16};
constexpr const int* kIndexTables[4] = {kIndex2, kIndex3, kIndex4, kIndex5};

class BitSource {
  public:
    explicit BitSource(std::span<const std::uint8_t> data) : data_(data) {}
    std::size_t BitsLeft() const { return data_.size() * 8 - pos_; }
    // n <= 22 bits, MSB first; the caller checks BitsLeft first.
    std::uint32_t Read(int n) {
        std::uint32_t v = 0;
        for (int i = 0; i < n; ++i, ++pos_)
            v = (v << 1) | ((data_[pos_ >> 3] >> (7 - (pos_ & 7))) & 1u);
        return v;
    }

  private:
    std::span<const std::uint8_t> data_;
    std::size_t pos_ = 0;
};

struct Channel {
    int sample = 0;
    int index = 0;
};

int Step(Channel& c, std::uint32_t code, int bits) {
    const std::uint32_t sign = 1u << (bits - 1);
    int step = kStepSizes[c.index];
    int delta = step >> (bits - 1);
    for (std::uint32_t k = sign >> 1; k != 0; k >>= 1) {
        if (code & k) delta += step;
        step >>= 1;
    }
    c.sample = std::clamp(code & sign ? c.sample - delta : c.sample + delta, -32768, 32767);
    c.index = std::clamp(c.index + kIndexTables[bits - 2][code & (sign - 1)], 0, 88);
    return c.sample;
}

}  // namespace

std::vector<std::int16_t> DecodeAdpcm(std::span<const std::uint8_t> data, int channels,
                                      std::size_t maxFrames) {
    std::vector<std::int16_t> out;
    BitSource in(data);
    if (in.BitsLeft() < 2 || channels < 1 || channels > 2) return out;
    const int bits = static_cast<int>(in.Read(2)) + 2;
    Channel state[2];
    std::size_t frames = 0;
    while (frames < maxFrames && in.BitsLeft() >= static_cast<std::size_t>(22 * channels)) {
        for (int ch = 0; ch < channels; ++ch) {
            state[ch].sample = static_cast<std::int16_t>(in.Read(16));
            state[ch].index = static_cast<int>(in.Read(6));
            state[ch].index = std::min(state[ch].index, 88);
            out.push_back(static_cast<std::int16_t>(state[ch].sample));
        }
        ++frames;
        for (int i = 1; i < kPacketFrames && frames < maxFrames; ++i, ++frames) {
            if (in.BitsLeft() < static_cast<std::size_t>(bits * channels)) return out;
            for (int ch = 0; ch < channels; ++ch)
                out.push_back(static_cast<std::int16_t>(Step(state[ch], in.Read(bits), bits)));
        }
    }
    return out;
}

}  // namespace sound
