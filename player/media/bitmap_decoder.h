// Decodes the bitmap characters of a movie (DefineBits with JPEGTables, DefineBitsJPEG2/3/4,
// DefineBitsLossless/Lossless2) into premultiplied ARGB images. Each function takes the tag
// body after the 2-byte character id. Decoding goes through libjpeg-turbo, libpng and giflib;
// every size in the data is checked against the caps of the engine's Limits and the data
// actually present.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "player/limits.h"
#include "player/media/image.h"

namespace media {

enum class BitmapError {
    kNone,
    kTruncated,     // the tag body is shorter than its fields say
    kBadSize,       // zero or over-large width/height
    kBadFormat,     // unknown lossless format or unrecognised image data
    kCorruptZlib,   // zlib data that does not inflate, or inflates short
    kCorruptImage,  // the JPEG/PNG/GIF decoder rejected the data
};

// Names an error for messages ("truncated", "bad size", ...).
const char* BitmapErrorName(BitmapError error);

struct BitmapResult {
    Image image;
    BitmapError error = BitmapError::kNone;
    std::string reason;  // empty on success

    bool Ok() const { return error == BitmapError::kNone; }
};

// DefineBits (tag 6): JPEG image data that relies on the movie's JPEGTables (tag 8) body,
// which may be empty.
BitmapResult DecodeDefineBits(std::span<const std::uint8_t> body,
                              std::span<const std::uint8_t> jpegTables,
                              const player::Limits& limits);

// DefineBitsJPEG2 (tag 21): a complete JPEG, or PNG or GIF data (by signature).
BitmapResult DecodeDefineBitsJPEG2(std::span<const std::uint8_t> body,
                                   const player::Limits& limits);

// DefineBitsJPEG3 (tag 35): UI32 alpha offset, image data, then a zlib alpha plane
// (width * height bytes) applied to JPEG data; PNG and GIF data keep their own alpha. An absent
// alpha plane leaves the JPEG opaque.
BitmapResult DecodeDefineBitsJPEG3(std::span<const std::uint8_t> body,
                                   const player::Limits& limits);

// DefineBitsJPEG4 (tag 90): as DefineBitsJPEG3 with a UI16 deblocking value after the alpha
// offset (read and ignored).
BitmapResult DecodeDefineBitsJPEG4(std::span<const std::uint8_t> body,
                                   const player::Limits& limits);

// DefineBitsLossless (tag 20, hasAlpha false) and DefineBitsLossless2 (tag 36, hasAlpha true):
// format 3 (8-bit colour-mapped), 4 (15-bit RGB, Lossless only in the format but accepted in
// both) and 5 (32-bit XRGB, or premultiplied ARGB in Lossless2).
BitmapResult DecodeDefineBitsLossless(std::span<const std::uint8_t> body, bool hasAlpha,
                                      const player::Limits& limits);

// Decodes standalone JPEG, PNG or GIF data, chosen by signature. JPEG data may carry the
// erroneous FF D9 FF D8 prefix and embedded table/image stream joins.
BitmapResult DecodeImageData(std::span<const std::uint8_t> data, const player::Limits& limits);

}  // namespace media
