#include "player/media/inflate.h"

#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "player/limits.h"

namespace media {
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

// Output is grown in steps as the stream fills it, so a length field that lies large costs
// only what the data really inflates to.
constexpr std::size_t kOutputStep = std::size_t{1} << 16;

// Inflated bytes kept, in a vector grown a step at a time up to `want`.
class KeptOutput {
  public:
    explicit KeptOutput(std::size_t want) : want_(want) {}
    bool Full() const { return used_ >= want_; }
    std::span<std::uint8_t> Room() {
        bytes_.resize(std::min(want_, used_ + std::max(kOutputStep, used_)));
        return std::span(bytes_).subspan(used_);
    }
    void Produced(std::size_t count) { used_ += count; }
    std::vector<std::uint8_t> Take() {
        bytes_.resize(used_);
        return std::move(bytes_);
    }

  private:
    std::size_t want_;
    std::size_t used_ = 0;
    std::vector<std::uint8_t> bytes_;
};

// Inflated bytes counted through a scratch buffer, up to `cap`.
class CountedOutput {
  public:
    explicit CountedOutput(std::uint64_t cap) : cap_(cap), scratch_(kOutputStep) {}
    bool Full() const { return count_ >= cap_; }
    std::span<std::uint8_t> Room() { return scratch_; }
    void Produced(std::size_t count) { count_ += count; }
    std::uint64_t Count() const { return std::min(count_, cap_); }

  private:
    std::uint64_t cap_;
    std::uint64_t count_ = 0;
    std::vector<std::uint8_t> scratch_;
};

// Runs a zlib stream into `out` until it ends, breaks off, fails or fills `out`.
template <class Output>
InflateStatus RunZlib(std::span<const std::uint8_t> stream, Output& out) {
    ZlibInflater inflater;
    if (!inflater.live()) return InflateStatus::kCorrupt;
    z_stream& z = inflater.stream();
    z.next_in = const_cast<Bytef*>(stream.data());
    std::size_t unread = stream.size();
    while (!out.Full()) {
        if (z.avail_in == 0 && unread > 0) {
            z.avail_in = static_cast<uInt>(std::min<std::size_t>(unread, UINT_MAX));
            unread -= z.avail_in;
        }
        const std::span<std::uint8_t> room = out.Room();
        const auto given = static_cast<uInt>(std::min<std::size_t>(room.size(), UINT_MAX));
        z.next_out = room.data();
        z.avail_out = given;
        const int code = inflate(&z, Z_NO_FLUSH);
        out.Produced(given - z.avail_out);
        if (code == Z_STREAM_END) break;
        // Room left over while the input is spent: the stream breaks off here.
        const bool spent = z.avail_in == 0 && unread == 0;
        if ((code == Z_BUF_ERROR && spent) || (code == Z_OK && spent && z.avail_out != 0))
            return InflateStatus::kTruncated;
        if (code != Z_OK) return InflateStatus::kCorrupt;
    }
    return InflateStatus::kOk;
}

// The same for raw LZMA data after its 5 property bytes, the dictionary held to `dictLimit`.
template <class Output>
InflateStatus RunLzma(std::span<const std::uint8_t> properties,
                      std::span<const std::uint8_t> stream, std::uint32_t dictLimit, Output& out) {
    lzma_options_lzma options{};
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    LzmaDecoder decoder;
    lzma_stream& s = decoder.stream();
    if (!DecodeLzmaFilter(properties, dictLimit, options) ||
        lzma_raw_decoder(&s, filters) != LZMA_OK)
        return InflateStatus::kCorrupt;
    s.next_in = stream.data();
    s.avail_in = stream.size();
    while (!out.Full()) {
        const std::span<std::uint8_t> room = out.Room();
        s.next_out = room.data();
        s.avail_out = room.size();
        const lzma_ret code = lzma_code(&s, LZMA_RUN);
        out.Produced(room.size() - s.avail_out);
        if (code == LZMA_STREAM_END) break;
        if (code == LZMA_BUF_ERROR || (code == LZMA_OK && s.avail_in == 0 && s.avail_out != 0))
            return InflateStatus::kTruncated;
        if (code != LZMA_OK) return InflateStatus::kCorrupt;
    }
    return InflateStatus::kOk;
}

// A match can reach back no further than the bytes produced, so a dictionary of `want` bytes
// decodes them exactly, and a hostile dictionary size allocates nothing.
std::uint32_t DictionaryFor(std::uint64_t want, std::uint64_t maxDictionary) {
    return static_cast<std::uint32_t>(std::clamp<std::uint64_t>(
        want, LZMA_DICT_SIZE_MIN, std::max<std::uint64_t>(maxDictionary, LZMA_DICT_SIZE_MIN)));
}

}  // namespace

const char* InflateStatusName(InflateStatus status) {
    switch (status) {
        case InflateStatus::kOk:
            return "complete";
        case InflateStatus::kTruncated:
            return "the compressed data breaks off";
        case InflateStatus::kCorrupt:
            return "the compressed data is not valid";
    }
    return "unknown inflate status";
}

InflateResult InflateZlibPrefix(std::span<const std::uint8_t> stream, std::size_t limit) {
    if (limit == 0) return {InflateStatus::kOk, {}};
    KeptOutput out(limit);
    const InflateStatus status = RunZlib(stream, out);
    return {status, out.Take()};
}

InflateResult InflateLzmaPrefix(std::span<const std::uint8_t> properties,
                                std::span<const std::uint8_t> stream, std::size_t limit,
                                std::size_t maxDictionary) {
    if (limit == 0) return {InflateStatus::kOk, {}};
    KeptOutput out(limit);
    const InflateStatus status = RunLzma(properties, stream, DictionaryFor(limit, maxDictionary), out);
    return {status, out.Take()};
}

InflateStatus InflateCapped(std::span<const std::uint8_t> input, std::size_t limit,
                            std::vector<std::uint8_t>& output) {
    InflateResult result = InflateZlibPrefix(input, limit);
    output = std::move(result.bytes);
    return result.status;
}

InflatedSize ZlibInflatedSize(std::span<const std::uint8_t> stream, std::uint64_t cap) {
    CountedOutput out(cap);
    const InflateStatus status = RunZlib(stream, out);
    return {status, out.Count()};
}

InflatedSize LzmaInflatedSize(std::span<const std::uint8_t> properties,
                              std::span<const std::uint8_t> stream, std::uint64_t cap) {
    CountedOutput out(cap);
    const InflateStatus status = RunLzma(properties, stream, DictionaryFor(cap, player::Limits{}.maxLzmaDictionaryBytes), out);
    return {status, out.Count()};
}

}  // namespace media
