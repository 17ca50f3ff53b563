// Test and tool helper: encodes pictures into Sorenson H.263 or Screen Video frames through
// libavcodec's encoders, for movies built with the SWF writer.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "tests/support/swf_writer.h"

namespace swfw {

// The straight 0xRRGGBB colour of pixel (x, y) in picture `frame`.
using PictureFn = std::function<std::uint32_t(int x, int y, int frame)>;

// Encodes `frames` pictures of width x height (even sizes) as VideoData of the codec, one
// buffer per frame, with a key frame every `keyInterval` frames: H.263 with near-lossless
// quantisers, Screen Video losslessly. Empty for other codecs or when libavcodec lacks the
// encoder.
std::vector<Buffer> EncodeVideo(VideoCodec codec, int width, int height, int frames,
                                const PictureFn& picture, int keyInterval = 12);

// Four quadrants of flat colour (red, green, blue, yellow) turning one step per frame.
std::uint32_t QuadrantPicture(int x, int y, int frame, int width, int height);

}  // namespace swfw
