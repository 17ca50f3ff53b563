// JPEG, PNG and GIF decoding for the bitmap decoder, each through its library with its
// errors caught (never exit(), never a read past the data) and sizes capped.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "player/limits.h"
#include "player/media/image.h"

namespace media {

enum class ImageDataKind { kJpeg, kPng, kGif, kUnknown };

// Recognises the data by its signature; JPEG data may begin with the erroneous FF D9 FF D8.
ImageDataKind DetectImageData(std::span<const std::uint8_t> data);

// Rewrites JPEG data into one well-formed stream: drops leading FF D9 FF D8 prefixes and joins
// streams where an end-of-image marker is followed by a new start-of-image (a tables stream
// followed by an image stream, as DefineBits with JPEGTables and DefineBitsJPEG2 store them),
// and ends the stream with an end-of-image marker where the data lacks one.
std::vector<std::uint8_t> JoinJpegStreams(std::span<const std::uint8_t> data);

// Each decoder fills `image` (opaque or premultiplied) and returns true, or returns false with
// the library's reason in `reason`. Sizes and the libraries' memory are capped by `limits`.
bool DecodeJpeg(std::span<const std::uint8_t> data, const player::Limits& limits, Image& image,
                std::string& reason);
bool DecodePng(std::span<const std::uint8_t> data, const player::Limits& limits, Image& image,
               std::string& reason);
bool DecodeGif(std::span<const std::uint8_t> data, const player::Limits& limits, Image& image,
               std::string& reason);

}  // namespace media
