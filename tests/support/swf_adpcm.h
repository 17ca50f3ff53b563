// The SWF writer's ADPCM encoder: sound data in the format's ADPCM, for DefineSound and stream
// blocks.
#pragma once

#include <cstdint>
#include <vector>

#include "tests/support/swf_writer.h"

namespace swfw {

// The format's ADPCM of interleaved 16-bit samples (1 or 2 channels, 2- to 5-bit codes): the
// code size, then packets of 4096 frames, each a plain first sample and step index per
// channel followed by the codes nearest each sample.
Buffer AdpcmBytes(const std::vector<std::int16_t>& samples, int channels, int bits = 4);

}  // namespace swfw
