#include "player/decompress.h"

#include <algorithm>

#include "player/limits.h"
#include "player/media/inflate.h"

namespace player {

const char* DecompressErrorName(DecompressError e) {
    switch (e) {
        case DecompressError::kNone:
            return "no error";
        case DecompressError::kTooShort:
            return "file too short for a movie header";
        case DecompressError::kBadSignature:
            return "not a Flash movie (bad signature)";
        case DecompressError::kCorruptStream:
            return "compressed body cannot be inflated";
        case DecompressError::kTooLarge:
            return "movie body larger than the engine accepts";
    }
    return "unknown error";
}

namespace {

constexpr std::size_t kHeaderBytes = 8;
// After the header of a ZWS movie: the compressed length (4 bytes), then the LZMA properties.
constexpr std::size_t kLzmaPropertiesOffset = 4;
constexpr std::size_t kLzmaPropertiesBytes = 5;

media::InflateResult InflateBody(Compression compression, std::span<const std::uint8_t> rest,
                               std::size_t want, const Limits& limits) {
    if (compression == Compression::kZlib) return media::InflateZlibPrefix(rest, want);
    const std::size_t dataOffset = kLzmaPropertiesOffset + kLzmaPropertiesBytes;
    if (rest.size() < dataOffset) return {};
    return media::InflateLzmaPrefix(rest.subspan(kLzmaPropertiesOffset, kLzmaPropertiesBytes),
                                  rest.subspan(dataOffset), want, limits.maxLzmaDictionaryBytes);
}

}  // namespace

DecompressError DecompressMovie(std::span<const std::uint8_t> file, MovieBody* body,
                                const Limits& limits) {
    *body = MovieBody{};
    if (file.size() < kHeaderBytes) return DecompressError::kTooShort;
    const char sig0 = static_cast<char>(file[0]);
    if (file[1] != 'W' || file[2] != 'S') return DecompressError::kBadSignature;
    if (sig0 == 'F') {
        body->compression = Compression::kNone;
    } else if (sig0 == 'C') {
        body->compression = Compression::kZlib;
    } else if (sig0 == 'Z') {
        body->compression = Compression::kLzma;
    } else {
        return DecompressError::kBadSignature;
    }
    body->version = file[3];
    body->declaredLength = static_cast<std::uint32_t>(file[4] | (file[5] << 8) | (file[6] << 16)) |
                           (static_cast<std::uint32_t>(file[7]) << 24);
    const auto rest = file.subspan(kHeaderBytes);
    // A length field that lies small is common in the wild: take what the file holds. One that
    // asks for more than the cap is refused rather than trusted.
    const std::size_t declaredBody =
        body->declaredLength > kHeaderBytes ? body->declaredLength - kHeaderBytes : 0;

    if (body->compression == Compression::kNone) {
        if (rest.size() > limits.maxMovieBytes) return DecompressError::kTooLarge;
        body->bytes.assign(rest.begin(), rest.end());
        body->truncated = rest.size() < declaredBody;
        return DecompressError::kNone;
    }

    if (declaredBody > limits.maxMovieBytes) return DecompressError::kTooLarge;
    // A compressed body is read to the end of its stream whatever the length field says, as
    // a plain one is read to the end of the file: a field of 0 or one smaller than the movie
    // does not cut the movie short.
    const media::InflateResult inflated =
        InflateBody(body->compression, rest, std::max(declaredBody, limits.maxMovieBytes), limits);
    body->bytes = std::move(inflated.bytes);
    if (body->bytes.empty()) return DecompressError::kCorruptStream;
    body->truncated = body->bytes.size() < declaredBody;
    return DecompressError::kNone;
}

}  // namespace player
