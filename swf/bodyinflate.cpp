#include "swf/bodyinflate.h"

#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace swf {
namespace {

// Movies compress with dictionaries of a few MB at most; 64 MB decodes any real one.
constexpr std::size_t kMaxLzmaDictionary = std::size_t{64} << 20;

class ZlibInflater {
  public:
    ZlibInflater() { live_ = inflateInit(&stream_) == Z_OK; }
    ~ZlibInflater() {
        if (live_) inflateEnd(&stream_);
    }
    ZlibInflater(const ZlibInflater&) = delete;
    ZlibInflater& operator=(const ZlibInflater&) = delete;

    bool live() const { return live_; }
    z_stream& stream() { return stream_; }

  private:
    z_stream stream_{};
    bool live_ = false;
};

class LzmaDecoder {
  public:
    LzmaDecoder() = default;
    ~LzmaDecoder() { lzma_end(&stream_); }
    LzmaDecoder(const LzmaDecoder&) = delete;
    LzmaDecoder& operator=(const LzmaDecoder&) = delete;

    lzma_stream& stream() { return stream_; }

  private:
    lzma_stream stream_ = LZMA_STREAM_INIT;
};

// The LZMA1 filter for a 5-byte property block, its dictionary held to `dictLimit`.
bool DecodeLzmaFilter(std::span<const std::uint8_t> properties, std::uint32_t dictLimit,
                      lzma_options_lzma& options) {
    if (properties.size() != 5) return false;
    lzma_filter filter{LZMA_FILTER_LZMA1, nullptr};
    if (lzma_properties_decode(&filter, nullptr, properties.data(), properties.size()) != LZMA_OK) {
        return false;
    }
    options = *static_cast<lzma_options_lzma*>(filter.options);
    std::free(filter.options);
    options.dict_size = std::clamp<std::uint32_t>(options.dict_size, LZMA_DICT_SIZE_MIN, dictLimit);
    return true;
}

// Output is grown in steps as the stream fills it, so a length field that lies large costs
// only what the data really inflates to.
constexpr std::size_t kOutputStep = std::size_t{1} << 16;

// Makes room for the next step of output (never past `want`) and returns its size.
std::size_t GrowOutput(std::vector<std::uint8_t>& out, std::size_t used, std::size_t want) {
    out.resize(std::min(want, used + std::max(kOutputStep, used)));
    return out.size() - used;
}

}  // namespace

InflateResult InflateZlibPrefix(std::span<const std::uint8_t> stream, std::size_t want) {
    InflateResult result;
    result.status = InflateStatus::Ok;
    if (want == 0) return result;
    ZlibInflater inflater;
    if (!inflater.live()) {
        result.status = InflateStatus::Corrupt;
        return result;
    }
    z_stream& z = inflater.stream();
    z.next_in = const_cast<Bytef*>(stream.data());
    z.avail_in = static_cast<uInt>(std::min<std::size_t>(stream.size(), UINT_MAX));
    std::size_t used = 0;
    while (used < want) {
        const std::size_t room = GrowOutput(result.bytes, used, want);
        z.next_out = result.bytes.data() + used;
        z.avail_out = static_cast<uInt>(std::min<std::size_t>(room, UINT_MAX));
        const int code = inflate(&z, Z_NO_FLUSH);
        used = static_cast<std::size_t>(z.next_out - result.bytes.data());
        if (code == Z_STREAM_END) break;
        // Room left over while the input is spent: the stream breaks off here.
        if (code == Z_BUF_ERROR || (code == Z_OK && z.avail_in == 0 && z.avail_out != 0)) {
            result.status = InflateStatus::Truncated;
            break;
        }
        if (code != Z_OK) {
            result.status = InflateStatus::Corrupt;
            break;
        }
    }
    result.bytes.resize(used);
    return result;
}

InflateResult InflateLzmaPrefix(std::span<const std::uint8_t> properties,
                                std::span<const std::uint8_t> stream, std::size_t want) {
    InflateResult result;
    result.status = InflateStatus::Ok;
    if (want == 0) return result;
    // A match can reach back no further than the bytes produced, so a dictionary of `want`
    // bytes decodes them exactly, and a hostile dictionary size allocates nothing.
    const auto dictLimit = static_cast<std::uint32_t>(
        std::clamp<std::size_t>(want, LZMA_DICT_SIZE_MIN, kMaxLzmaDictionary));
    lzma_options_lzma options{};
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    LzmaDecoder decoder;
    lzma_stream& s = decoder.stream();
    if (!DecodeLzmaFilter(properties, dictLimit, options) ||
        lzma_raw_decoder(&s, filters) != LZMA_OK) {
        result.status = InflateStatus::Corrupt;
        return result;
    }
    s.next_in = stream.data();
    s.avail_in = stream.size();
    std::size_t used = 0;
    while (used < want) {
        const std::size_t room = GrowOutput(result.bytes, used, want);
        s.next_out = result.bytes.data() + used;
        s.avail_out = room;
        const lzma_ret code = lzma_code(&s, LZMA_RUN);
        used = static_cast<std::size_t>(s.next_out - result.bytes.data());
        if (code == LZMA_STREAM_END) break;
        if (code == LZMA_BUF_ERROR || (code == LZMA_OK && s.avail_in == 0 && s.avail_out != 0)) {
            result.status = InflateStatus::Truncated;
            break;
        }
        if (code != LZMA_OK) {
            result.status = InflateStatus::Corrupt;
            break;
        }
    }
    result.bytes.resize(used);
    return result;
}

InflatedSize ZlibInflatedSize(std::span<const std::uint8_t> stream, std::uint64_t cap) {
    InflatedSize result;
    ZlibInflater inflater;
    if (!inflater.live()) return result;
    z_stream& z = inflater.stream();
    z.next_in = const_cast<Bytef*>(stream.data());
    z.avail_in = static_cast<uInt>(std::min<std::size_t>(stream.size(), UINT_MAX));
    std::vector<std::uint8_t> scratch(kOutputStep);
    result.status = InflateStatus::Ok;
    while (result.bytes < cap) {
        z.next_out = scratch.data();
        z.avail_out = static_cast<uInt>(scratch.size());
        const int code = inflate(&z, Z_NO_FLUSH);
        result.bytes += scratch.size() - z.avail_out;
        if (code == Z_STREAM_END) break;
        if (code == Z_BUF_ERROR || (code == Z_OK && z.avail_in == 0 && z.avail_out != 0)) {
            result.status = InflateStatus::Truncated;
            break;
        }
        if (code != Z_OK) {
            result.status = InflateStatus::Corrupt;
            break;
        }
    }
    result.bytes = std::min(result.bytes, cap);
    return result;
}

InflatedSize LzmaInflatedSize(std::span<const std::uint8_t> properties,
                              std::span<const std::uint8_t> stream, std::uint64_t cap) {
    InflatedSize result;
    lzma_options_lzma options{};
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    LzmaDecoder decoder;
    lzma_stream& s = decoder.stream();
    const auto dictLimit = static_cast<std::uint32_t>(
        std::clamp<std::uint64_t>(cap, LZMA_DICT_SIZE_MIN, kMaxLzmaDictionary));
    if (!DecodeLzmaFilter(properties, dictLimit, options) ||
        lzma_raw_decoder(&s, filters) != LZMA_OK)
        return result;
    s.next_in = stream.data();
    s.avail_in = stream.size();
    std::vector<std::uint8_t> scratch(kOutputStep);
    result.status = InflateStatus::Ok;
    while (result.bytes < cap) {
        s.next_out = scratch.data();
        s.avail_out = scratch.size();
        const lzma_ret code = lzma_code(&s, LZMA_RUN);
        result.bytes += scratch.size() - s.avail_out;
        if (code == LZMA_STREAM_END) break;
        if (code == LZMA_BUF_ERROR || (code == LZMA_OK && s.avail_in == 0 && s.avail_out != 0)) {
            result.status = InflateStatus::Truncated;
            break;
        }
        if (code != LZMA_OK) {
            result.status = InflateStatus::Corrupt;
            break;
        }
    }
    result.bytes = std::min(result.bytes, cap);
    return result;
}

}  // namespace swf
