// Inflates a compressed movie body, or only its first bytes when that is all a reader needs,
// with memory bounded by what the stream really holds whatever its length fields claim.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace swf {

enum class InflateStatus {
    Ok,         // `want` bytes were produced, or the stream ended cleanly before that
    Truncated,  // the input ran out before the stream or `want` bytes were complete
    Corrupt,    // the stream is not valid
};

struct InflateResult {
    InflateStatus status = InflateStatus::Corrupt;
    std::vector<std::uint8_t> bytes;  // what was produced, at most `want` bytes
};

// A zlib stream (RFC 1950), as the body of a "CWS" movie.
InflateResult InflateZlibPrefix(std::span<const std::uint8_t> stream, std::size_t want);

// Raw LZMA data after its 5 property bytes (lc/lp/pb, dictionary size), as the body of a
// "ZWS" movie. The dictionary is held to what `want` bytes can reference.
InflateResult InflateLzmaPrefix(std::span<const std::uint8_t> properties,
                                std::span<const std::uint8_t> stream, std::size_t want);

// The size a whole stream inflates to, counted without keeping the bytes, up to `cap`:
// Ok when the stream ended (or the cap was reached), Truncated when the input ran out first,
// Corrupt when the stream is not valid.
struct InflatedSize {
    InflateStatus status = InflateStatus::Corrupt;
    std::uint64_t bytes = 0;
};
InflatedSize ZlibInflatedSize(std::span<const std::uint8_t> stream, std::uint64_t cap);
// A raw LZMA stream has no end of its own here: it is counted until its input runs out (Ok).
InflatedSize LzmaInflatedSize(std::span<const std::uint8_t> properties,
                              std::span<const std::uint8_t> stream, std::uint64_t cap);

}  // namespace swf
