// The movie bitmap decoders on hostile tag bodies. The first byte picks the decoder (and, for
// DefineBits, where the JPEGTables body ends); the rest is the body after the character id.
#include <cstdint>
#include <span>

#include "player/media/bitmap_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::uint8_t selector = data[0];
    const std::span<const std::uint8_t> body(data + 1, size - 1);
    const player::Limits limits;
    switch (selector % 7) {
        case 0: {
            const std::size_t split = std::min<std::size_t>(body.size(), (selector >> 3) * 16u);
            media::DecodeDefineBits(body.subspan(split), body.first(split), limits);
            break;
        }
        case 1:
            media::DecodeDefineBitsJPEG2(body, limits);
            break;
        case 2:
            media::DecodeDefineBitsJPEG3(body, limits);
            break;
        case 3:
            media::DecodeDefineBitsJPEG4(body, limits);
            break;
        case 4:
            media::DecodeDefineBitsLossless(body, false, limits);
            break;
        case 5:
            media::DecodeDefineBitsLossless(body, true, limits);
            break;
        default:
            media::DecodeImageData(body, limits);
            break;
    }
    return 0;
}
