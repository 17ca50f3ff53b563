// Turns a movie file's bytes into its uncompressed body: plain (FWS), zlib (CWS) or LZMA (ZWS,
// version 13 and up), never inflating past the movie-size cap of its `Limits`.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "player/limits.h"

namespace player {

enum class Compression { kNone, kZlib, kLzma };

enum class DecompressError {
    kNone,
    kTooShort,
    kBadSignature,
    kCorruptStream,  // the stream could not be inflated at all
    kTooLarge,       // header asks for more than the cap
};

const char* DecompressErrorName(DecompressError e);

struct MovieBody {
    Compression compression = Compression::kNone;
    std::uint8_t version = 0;
    std::uint32_t declaredLength = 0;  // header's file length (uncompressed, header included)
    // The bytes after the 8-byte signature/version/length header, uncompressed. May be shorter
    // than declaredLength - 8 when the file breaks off or the stream ends early (truncated).
    std::vector<std::uint8_t> bytes;
    bool truncated = false;
};

// On failure returns the error; on success fills *body (a partial body counts as success).
DecompressError DecompressMovie(std::span<const std::uint8_t> file, MovieBody* body,
                                const Limits& limits = {});

}  // namespace player
