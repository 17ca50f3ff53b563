#include "swf/bodylength.h"

#include <algorithm>
#include <cstring>

#include "player/media/inflate.h"

namespace swf {

namespace {

constexpr std::size_t kFixedHeaderBytes = 8;  // signature, version, length field
// A ZWS body: 4 bytes of compressed length, 5 of LZMA properties, then the raw stream.
constexpr std::size_t kLzmaPropertiesOffset = 12;
constexpr std::size_t kLzmaPropertiesBytes = 5;
constexpr std::size_t kLzmaDataOffset = kLzmaPropertiesOffset + kLzmaPropertiesBytes;

std::uint32_t LengthField(std::span<const std::uint8_t> file) {
    return std::uint32_t{file[4]} | (std::uint32_t{file[5]} << 8) | (std::uint32_t{file[6]} << 16) |
           (std::uint32_t{file[7]} << 24);
}

}  // namespace

BodyLength MeasureBody(std::span<const std::uint8_t> file) {
    BodyLength length;
    if (file.size() < kFixedHeaderBytes || file[1] != 'W' || file[2] != 'S') return length;
    length.declared = LengthField(file);
    const std::uint64_t declaredBody =
        length.declared > kFixedHeaderBytes ? length.declared - kFixedHeaderBytes : 0;
    // Enough to tell a body longer than the field from one that matches it.
    const std::uint64_t wanted =
        declaredBody == 0 ? kMaxCountedLength : std::min(declaredBody + 1, kMaxCountedLength);
    media::InflatedSize body;
    switch (file[0]) {
        case 'F':
            body = {media::InflateStatus::kOk, file.size() - kFixedHeaderBytes};
            break;
        case 'C':
            body = media::ZlibInflatedSize(file.subspan(kFixedHeaderBytes), wanted);
            break;
        case 'Z':
            if (file.size() < kLzmaDataOffset) {
                body = {media::InflateStatus::kTruncated, 0};
                break;
            }
            // A raw LZMA stream only ends where its input does, so only a length field of 0
            // asks for it to be counted to the end; otherwise it is counted to the field.
            body = media::LzmaInflatedSize(file.subspan(kLzmaPropertiesOffset, kLzmaPropertiesBytes),
                                    file.subspan(kLzmaDataOffset),
                                    declaredBody == 0 ? kMaxCountedLength : declaredBody);
            if (body.status == media::InflateStatus::kTruncated && declaredBody == 0)
                body.status = media::InflateStatus::kOk;
            break;
        default:
            return length;
    }
    length.real = kFixedHeaderBytes + body.bytes;
    length.capped = body.bytes >= kMaxCountedLength;
    // A zlib stream that breaks off is short even when the field (0) promises nothing.
    const bool brokenOff =
        body.status == media::InflateStatus::kTruncated && file[0] == 'C' && declaredBody == 0;
    if (body.status == media::InflateStatus::kCorrupt)
        length.state = BodyState::kCorrupt;
    else if (body.bytes < declaredBody || brokenOff)
        length.state = BodyState::kShort;
    else
        length.state = BodyState::kComplete;
    return length;
}

}  // namespace swf
