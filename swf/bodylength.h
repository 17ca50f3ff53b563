// How long a movie really is, against what its header's length field says: the plain body
// counted as the file holds it, a compressed one inflated to the end of its stream (counted,
// not kept). For reporting lengths that lie; the header reader itself never inflates the body.
#pragma once

#include <cstdint>
#include <span>

namespace swf {

enum class BodyState {
    kComplete,  // the body holds at least what the length field says
    kShort,     // the file or its compressed stream ends before the length field's size
    kCorrupt,   // the compressed stream fails to inflate before that
};

struct BodyLength {
    BodyState state = BodyState::kCorrupt;
    std::uint32_t declared = 0;  // the length field: header and body, uncompressed
    std::uint64_t real = 0;      // the 8 header bytes and the body as read or inflated
    bool capped = false;         // counting stopped at kMaxCountedLength: real is a floor
};

// Inflating stops once this many bytes are counted (the engine plays no larger movie).
inline constexpr std::uint64_t kMaxCountedLength = std::uint64_t{1} << 30;

// The length of the movie in `file` (its whole bytes, signature first). A file that is not a
// movie, or too short for its fixed header, is kCorrupt with nothing counted.
BodyLength MeasureBody(std::span<const std::uint8_t> file);

}  // namespace swf
