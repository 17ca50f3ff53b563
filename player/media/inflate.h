// Capped zlib inflation for the media units: never produces more than the caller's limit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace media {

enum class InflateStatus {
    kOk,         // the stream ended, or the limit was reached with data to spare
    kTruncated,  // the input ran out before the stream ended
    kCorrupt,    // not a valid zlib stream
};

// Inflates the zlib stream `input` into `output` (replacing its contents), stopping after
// `limit` bytes. A stream that holds more than `limit` bytes is kOk with exactly `limit` bytes;
// the caller compares the size it got with the size it needs.
InflateStatus InflateCapped(std::span<const std::uint8_t> input, std::size_t limit,
                            std::vector<std::uint8_t>& output);

}  // namespace media
