// The one capped inflater: zlib streams (compressed movies, lossless bitmaps, bitmap alpha) and
// raw LZMA data (LZMA-compressed movies), never producing more than the caller's limit and with
// memory bounded by what the stream really holds, whatever its length fields claim.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "player/limits.h"

namespace media {

enum class InflateStatus {
    kOk,         // the stream ended, or the limit was reached with data to spare
    kTruncated,  // the input ran out before the stream or the limit was reached
    kCorrupt,    // not a valid stream
};

const char* InflateStatusName(InflateStatus status);

struct InflateResult {
    InflateStatus status = InflateStatus::kCorrupt;
    std::vector<std::uint8_t> bytes;  // what was produced, at most the limit
};

// A zlib stream (RFC 1950), inflated up to `limit` bytes.
InflateResult InflateZlibPrefix(std::span<const std::uint8_t> stream, std::size_t limit);

// Raw LZMA data after its 5 property bytes (lc/lp/pb, dictionary size), inflated up to `limit`
// bytes. The dictionary is held to what `limit` bytes can reference, and to `maxDictionary`.
InflateResult InflateLzmaPrefix(std::span<const std::uint8_t> properties,
                                std::span<const std::uint8_t> stream, std::size_t limit,
                                std::size_t maxDictionary = player::Limits{}.maxLzmaDictionaryBytes);

// Inflates the zlib stream `input` into `output` (replacing its contents), stopping after
// `limit` bytes. A stream that holds more than `limit` bytes is kOk with exactly `limit` bytes;
// the caller compares the size it got with the size it needs.
InflateStatus InflateCapped(std::span<const std::uint8_t> input, std::size_t limit,
                            std::vector<std::uint8_t>& output);

// The size a whole stream inflates to, counted without keeping the bytes, up to `cap`.
struct InflatedSize {
    InflateStatus status = InflateStatus::kCorrupt;
    std::uint64_t bytes = 0;
};
InflatedSize ZlibInflatedSize(std::span<const std::uint8_t> stream, std::uint64_t cap);
// A raw LZMA stream has no end of its own here: it is counted until its input runs out (kOk).
InflatedSize LzmaInflatedSize(std::span<const std::uint8_t> properties,
                              std::span<const std::uint8_t> stream, std::uint64_t cap);

}  // namespace media
