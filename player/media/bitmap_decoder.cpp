#include "player/media/bitmap_decoder.h"

#include <algorithm>

#include "player/media/image_codecs.h"
#include "player/media/inflate.h"

namespace media {
namespace {

enum LosslessFormat : std::uint8_t { kColorMapped8 = 3, kRgb15 = 4, kRgb32 = 5 };

BitmapResult Fail(BitmapError error, std::string reason) {
    BitmapResult result;
    result.error = error;
    result.reason = std::move(reason);
    return result;
}

std::uint32_t ReadU16(std::span<const std::uint8_t> d, std::size_t at) {
    return d[at] | (std::uint32_t{d[at + 1]} << 8);
}

std::uint32_t ReadU32(std::span<const std::uint8_t> d, std::size_t at) {
    return ReadU16(d, at) | (ReadU16(d, at + 2) << 16);
}

BitmapResult DecodeJpegData(std::span<const std::uint8_t> data, const player::Limits& limits) {
    BitmapResult result;
    const std::vector<std::uint8_t> joined = JoinJpegStreams(data);
    if (!DecodeJpeg(joined, limits, result.image, result.reason))
        return Fail(BitmapError::kCorruptImage, std::move(result.reason));
    return result;
}

// Multiplies an opaque JPEG by a zlib-compressed plane of width * height alpha bytes.
BitmapResult ApplyAlphaPlane(BitmapResult decoded, std::span<const std::uint8_t> zlibAlpha) {
    Image& image = decoded.image;
    const std::size_t pixels = image.argb.size();
    std::vector<std::uint8_t> alpha;
    const InflateStatus status = InflateCapped(zlibAlpha, pixels, alpha);
    if (status == InflateStatus::kCorrupt && alpha.size() < pixels)
        return Fail(BitmapError::kCorruptZlib, "alpha plane is not valid zlib data");
    if (alpha.size() < pixels)
        return Fail(BitmapError::kCorruptZlib, "alpha plane holds " + std::to_string(alpha.size()) +
                                                   " of " + std::to_string(pixels) + " bytes");
    for (std::size_t i = 0; i < pixels; ++i)
        image.argb[i] = Premultiply((image.argb[i] & 0x00FFFFFF) | (std::uint32_t{alpha[i]} << 24));
    return decoded;
}

BitmapResult DecodeJpegWithAlpha(std::span<const std::uint8_t> body, std::size_t headerSize,
                                 const player::Limits& limits) {
    if (body.size() < headerSize)
        return Fail(BitmapError::kTruncated, "tag shorter than its header");
    const std::uint32_t alphaOffset = ReadU32(body, 0);
    const std::span<const std::uint8_t> rest = body.subspan(headerSize);
    if (alphaOffset > rest.size())
        return Fail(BitmapError::kTruncated, "alpha offset beyond the end of the tag");
    const std::span<const std::uint8_t> imageData = rest.first(alphaOffset);
    const std::span<const std::uint8_t> alphaData = rest.subspan(alphaOffset);
    if (DetectImageData(imageData) != ImageDataKind::kJpeg)
        return DecodeImageData(imageData, limits);
    BitmapResult decoded = DecodeJpegData(imageData, limits);
    if (!decoded.Ok() || alphaData.empty()) return decoded;
    return ApplyAlphaPlane(std::move(decoded), alphaData);
}

struct LosslessHeader {
    std::uint8_t format = 0;
    int width = 0;
    int height = 0;
    int tableEntries = 0;    // format 3 only
    std::size_t dataAt = 0;  // offset of the zlib data in the body
};

std::size_t PaddedRowBytes(std::size_t bytes) {
    return (bytes + 3) & ~std::size_t{3};
}

// Inflated bytes format `h` needs: colour table (if any) plus padded rows.
std::size_t LosslessDataSize(const LosslessHeader& h, bool hasAlpha) {
    const std::size_t w = static_cast<std::size_t>(h.width);
    const std::size_t rows = static_cast<std::size_t>(h.height);
    switch (h.format) {
        case kColorMapped8:
            return static_cast<std::size_t>(h.tableEntries) * (hasAlpha ? 4 : 3) +
                   PaddedRowBytes(w) * rows;
        case kRgb15:
            return PaddedRowBytes(w * 2) * rows;
        default:
            return w * 4 * rows;
    }
}

void ExpandColorMapped(const std::vector<std::uint8_t>& data, const LosslessHeader& h,
                       bool hasAlpha, Image& image) {
    const std::size_t entrySize = hasAlpha ? 4 : 3;
    std::vector<std::uint32_t> table(256, 0);
    for (int i = 0; i < h.tableEntries; ++i) {
        const std::uint8_t* e = data.data() + i * entrySize;
        table[i] = Premultiply(PackArgb(hasAlpha ? e[3] : 255, e[0], e[1], e[2]));
    }
    const std::uint8_t* pixels = data.data() + h.tableEntries * entrySize;
    const std::size_t stride = PaddedRowBytes(h.width);
    for (int y = 0; y < h.height; ++y) {
        const std::uint8_t* in = pixels + y * stride;
        std::uint32_t* out = image.Row(y);
        for (int x = 0; x < h.width; ++x) out[x] = table[in[x]];
    }
}

std::uint32_t Expand5(std::uint32_t v) {
    return (v << 3) | (v >> 2);
}

void ExpandRgb15(const std::vector<std::uint8_t>& data, const LosslessHeader& h, Image& image) {
    const std::size_t stride = PaddedRowBytes(static_cast<std::size_t>(h.width) * 2);
    for (int y = 0; y < h.height; ++y) {
        const std::uint8_t* in = data.data() + y * stride;
        std::uint32_t* out = image.Row(y);
        for (int x = 0; x < h.width; ++x, in += 2) {
            const std::uint32_t v = (std::uint32_t{in[0]} << 8) | in[1];
            out[x] =
                PackArgb(255, Expand5((v >> 10) & 31), Expand5((v >> 5) & 31), Expand5(v & 31));
        }
    }
}

// Format 5: XRGB (opaque) or premultiplied ARGB; colour above alpha is clamped so the image
// stays valid premultiplied data.
void ExpandRgb32(const std::vector<std::uint8_t>& data, bool hasAlpha, Image& image) {
    const std::uint8_t* in = data.data();
    for (std::uint32_t& p : image.argb) {
        const std::uint32_t a = hasAlpha ? in[0] : 255;
        p = PackArgb(a, std::min<std::uint32_t>(in[1], a), std::min<std::uint32_t>(in[2], a),
                     std::min<std::uint32_t>(in[3], a));
        in += 4;
    }
}

}  // namespace

const char* BitmapErrorName(BitmapError error) {
    switch (error) {
        case BitmapError::kNone:
            return "no error";
        case BitmapError::kTruncated:
            return "truncated";
        case BitmapError::kBadSize:
            return "bad size";
        case BitmapError::kBadFormat:
            return "bad format";
        case BitmapError::kCorruptZlib:
            return "corrupt zlib data";
        case BitmapError::kCorruptImage:
            return "corrupt image data";
    }
    return "unknown error";
}

BitmapResult DecodeImageData(std::span<const std::uint8_t> data, const player::Limits& limits) {
    BitmapResult result;
    bool ok = false;
    switch (DetectImageData(data)) {
        case ImageDataKind::kJpeg:
            return DecodeJpegData(data, limits);
        case ImageDataKind::kPng:
            ok = DecodePng(data, limits, result.image, result.reason);
            break;
        case ImageDataKind::kGif:
            ok = DecodeGif(data, limits, result.image, result.reason);
            break;
        case ImageDataKind::kUnknown:
            return Fail(BitmapError::kBadFormat, "image data is not JPEG, PNG or GIF");
    }
    if (!ok) return Fail(BitmapError::kCorruptImage, std::move(result.reason));
    return result;
}

BitmapResult DecodeDefineBits(std::span<const std::uint8_t> body,
                              std::span<const std::uint8_t> jpegTables,
                              const player::Limits& limits) {
    // The joiner removes the tables' end marker, the image's start marker and any erroneous
    // FF D9 FF D8 prefix between them.
    std::vector<std::uint8_t> joined(jpegTables.begin(), jpegTables.end());
    joined.insert(joined.end(), body.begin(), body.end());
    return DecodeJpegData(joined, limits);
}

BitmapResult DecodeDefineBitsJPEG2(std::span<const std::uint8_t> body,
                                   const player::Limits& limits) {
    return DecodeImageData(body, limits);
}

BitmapResult DecodeDefineBitsJPEG3(std::span<const std::uint8_t> body,
                                   const player::Limits& limits) {
    return DecodeJpegWithAlpha(body, 4, limits);
}

BitmapResult DecodeDefineBitsJPEG4(std::span<const std::uint8_t> body,
                                   const player::Limits& limits) {
    return DecodeJpegWithAlpha(body, 6, limits);  // UI32 alpha offset, UI16 deblocking filter value
}

BitmapResult DecodeDefineBitsLossless(std::span<const std::uint8_t> body, bool hasAlpha,
                                      const player::Limits& limits) {
    if (body.size() < 5) return Fail(BitmapError::kTruncated, "tag shorter than its header");
    LosslessHeader h;
    h.format = body[0];
    h.width = static_cast<int>(ReadU16(body, 1));
    h.height = static_cast<int>(ReadU16(body, 3));
    h.dataAt = 5;
    if (h.format == kColorMapped8) {
        if (body.size() < 6) return Fail(BitmapError::kTruncated, "colour table size missing");
        h.tableEntries = body[5] + 1;
        h.dataAt = 6;
    } else if (h.format != kRgb15 && h.format != kRgb32) {
        return Fail(BitmapError::kBadFormat, "unknown lossless format " + std::to_string(h.format));
    }
    if (!IsAllowedImageSize(h.width, h.height, limits.maxImagePixels))
        return Fail(BitmapError::kBadSize, "size " + std::to_string(h.width) + "x" +
                                               std::to_string(h.height) + " not allowed");
    const std::size_t needed = LosslessDataSize(h, hasAlpha);
    std::vector<std::uint8_t> data;
    const InflateStatus status = InflateCapped(body.subspan(h.dataAt), needed, data);
    if (status == InflateStatus::kCorrupt && data.size() < needed)
        return Fail(BitmapError::kCorruptZlib, "bitmap data is not valid zlib data");
    if (data.size() < needed)
        return Fail(BitmapError::kCorruptZlib, "bitmap data holds " + std::to_string(data.size()) +
                                                   " of the " + std::to_string(needed) +
                                                   " bytes its size needs");
    BitmapResult result;
    AllocateImage(result.image, h.width, h.height, limits.maxImagePixels);
    switch (h.format) {
        case kColorMapped8:
            ExpandColorMapped(data, h, hasAlpha, result.image);
            break;
        case kRgb15:
            ExpandRgb15(data, h, result.image);
            break;
        default:
            ExpandRgb32(data, hasAlpha, result.image);
            break;
    }
    return result;
}

}  // namespace media
