#include "swf/bodyinflate.h"

#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace swf {
namespace {

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

}  // namespace

InflateResult InflateZlibPrefix(std::span<const std::uint8_t> stream, std::size_t want) {
    InflateResult result;
    if (want == 0) {
        result.status = InflateStatus::Ok;
        return result;
    }
    ZlibInflater inflater;
    if (!inflater.live()) return result;
    result.bytes.resize(want);
    z_stream& z = inflater.stream();
    z.next_in = const_cast<Bytef*>(stream.data());
    z.avail_in = static_cast<uInt>(std::min<std::size_t>(stream.size(), UINT_MAX));
    z.next_out = result.bytes.data();
    z.avail_out = static_cast<uInt>(want);
    for (;;) {
        const int code = inflate(&z, Z_NO_FLUSH);
        if (code == Z_STREAM_END || z.avail_out == 0) {
            result.status = InflateStatus::Ok;
            break;
        }
        if (code == Z_BUF_ERROR || (code == Z_OK && z.avail_in == 0)) {
            result.status = InflateStatus::Truncated;
            break;
        }
        if (code != Z_OK) {
            result.status = InflateStatus::Corrupt;
            break;
        }
    }
    result.bytes.resize(want - z.avail_out);
    return result;
}

InflateResult InflateLzmaPrefix(std::span<const std::uint8_t> properties,
                                std::span<const std::uint8_t> stream, std::size_t want) {
    InflateResult result;
    if (want == 0) {
        result.status = InflateStatus::Ok;
        return result;
    }
    // A match can reach back no further than the bytes produced, so a dictionary of `want`
    // bytes decodes them exactly, and a hostile dictionary size allocates nothing.
    const auto dictLimit = static_cast<std::uint32_t>(
        std::clamp<std::size_t>(want, LZMA_DICT_SIZE_MIN, std::size_t{1} << 24));
    lzma_options_lzma options{};
    if (!DecodeLzmaFilter(properties, dictLimit, options)) return result;
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    LzmaDecoder decoder;
    lzma_stream& s = decoder.stream();
    if (lzma_raw_decoder(&s, filters) != LZMA_OK) return result;
    result.bytes.resize(want);
    s.next_in = stream.data();
    s.avail_in = stream.size();
    s.next_out = result.bytes.data();
    s.avail_out = want;
    for (;;) {
        const lzma_ret code = lzma_code(&s, LZMA_RUN);
        if (code == LZMA_STREAM_END || s.avail_out == 0) {
            result.status = InflateStatus::Ok;
            break;
        }
        if (code == LZMA_BUF_ERROR || (code == LZMA_OK && s.avail_in == 0)) {
            result.status = InflateStatus::Truncated;
            break;
        }
        if (code != LZMA_OK) {
            result.status = InflateStatus::Corrupt;
            break;
        }
    }
    result.bytes.resize(want - s.avail_out);
    return result;
}

}  // namespace swf
