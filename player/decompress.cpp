#include "player/decompress.h"

#include <lzma.h>
#include <zlib.h>

#include <algorithm>

#include "player/limits.h"

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
constexpr std::size_t kChunk = 1u << 16;

// Owns a z_stream for the life of one inflate.
class ZlibInflater {
  public:
    ZlibInflater() { ok_ = inflateInit(&stream_) == Z_OK; }
    ~ZlibInflater() {
        if (ok_) inflateEnd(&stream_);
    }
    ZlibInflater(const ZlibInflater&) = delete;
    ZlibInflater& operator=(const ZlibInflater&) = delete;
    bool Ok() const { return ok_; }
    z_stream* Get() { return &stream_; }

  private:
    z_stream stream_{};
    bool ok_ = false;
};

// Owns an lzma_stream for the life of one decode.
class LzmaDecoder {
  public:
    LzmaDecoder() = default;
    ~LzmaDecoder() { lzma_end(&stream_); }
    LzmaDecoder(const LzmaDecoder&) = delete;
    LzmaDecoder& operator=(const LzmaDecoder&) = delete;
    lzma_stream* Get() { return &stream_; }

  private:
    lzma_stream stream_ = LZMA_STREAM_INIT;
};

// Grows out by up to kChunk bytes without passing want; returns the new free space.
std::size_t GrowOutput(std::vector<std::uint8_t>& out, std::size_t used, std::size_t want) {
    const std::size_t next = std::min(want, used + kChunk);
    out.resize(next);
    return next - used;
}

void InflateZlib(std::span<const std::uint8_t> in, std::size_t want, MovieBody* body) {
    ZlibInflater z;
    if (!z.Ok()) return;
    z_stream* s = z.Get();
    s->next_in = const_cast<Bytef*>(in.data());
    s->avail_in = static_cast<uInt>(std::min<std::size_t>(in.size(), UINT32_MAX));
    std::vector<std::uint8_t>& out = body->bytes;
    std::size_t used = 0;
    while (used < want) {
        const std::size_t room = GrowOutput(out, used, want);
        s->next_out = out.data() + used;
        s->avail_out = static_cast<uInt>(room);
        const int rc = inflate(s, Z_NO_FLUSH);
        used += room - s->avail_out;
        if (rc != Z_OK) break;  // stream end, data error or input exhausted
        if (s->avail_out == room && s->avail_in == 0) break;
    }
    out.resize(used);
}

void DecodeLzma(std::span<const std::uint8_t> in, std::size_t want, MovieBody* body) {
    // After the header: 4-byte compressed length, 5 bytes of LZMA properties, raw LZMA data.
    if (in.size() < 9) return;
    lzma_options_lzma options{};
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, nullptr}, {LZMA_VLI_UNKNOWN, nullptr}};
    if (lzma_properties_decode(&filters[0], nullptr, in.data() + 4, 5) != LZMA_OK) return;
    options = *static_cast<lzma_options_lzma*>(filters[0].options);
    free(filters[0].options);
    filters[0].options = &options;
    if (options.dict_size > (64u << 20)) options.dict_size = 64u << 20;

    LzmaDecoder decoder;
    lzma_stream* s = decoder.Get();
    if (lzma_raw_decoder(s, filters) != LZMA_OK) return;
    s->next_in = in.data() + 9;
    s->avail_in = in.size() - 9;
    std::vector<std::uint8_t>& out = body->bytes;
    std::size_t used = 0;
    while (used < want) {
        const std::size_t room = GrowOutput(out, used, want);
        s->next_out = out.data() + used;
        s->avail_out = room;
        const lzma_ret rc = lzma_code(s, s->avail_in ? LZMA_RUN : LZMA_FINISH);
        used += room - s->avail_out;
        if (rc != LZMA_OK) break;
        if (s->avail_out == room && s->avail_in == 0) break;
    }
    out.resize(used);
}

}  // namespace

DecompressError DecompressMovie(std::span<const std::uint8_t> file, MovieBody* body) {
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
        if (rest.size() > Limits::kMaxMovieBytes) return DecompressError::kTooLarge;
        body->bytes.assign(rest.begin(), rest.end());
        body->truncated = rest.size() < declaredBody;
        return DecompressError::kNone;
    }

    if (declaredBody > Limits::kMaxMovieBytes) return DecompressError::kTooLarge;
    if (body->compression == Compression::kZlib) {
        InflateZlib(rest, declaredBody, body);
    } else {
        DecodeLzma(rest, declaredBody, body);
    }
    if (body->bytes.empty() && declaredBody > 0) return DecompressError::kCorruptStream;
    body->truncated = body->bytes.size() < declaredBody;
    return DecompressError::kNone;
}

}  // namespace player
