// The movie format's own ADPCM: a 2-bit code size, then packets of 4096 samples per channel,
// each starting with a 16-bit sample and a 6-bit step index per channel followed by 2 to 5 bit
// codes, MSB first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace sound {

// Decodes into interleaved 16-bit samples (channels 1 or 2), at most maxFrames sample frames.
// A packet header cut short ends the data; a packet cut short keeps its whole samples.
std::vector<std::int16_t> DecodeAdpcm(std::span<const std::uint8_t> data, int channels,
                                      std::size_t maxFrames);

}  // namespace sound
