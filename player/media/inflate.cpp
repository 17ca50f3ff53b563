#include "player/media/inflate.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

namespace media {
namespace {

// Owns one inflating z_stream.
class Inflater {
  public:
    Inflater() { ok_ = inflateInit(&stream_) == Z_OK; }
    ~Inflater() {
        if (ok_) inflateEnd(&stream_);
    }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    bool Ok() const { return ok_; }
    z_stream& Stream() { return stream_; }

  private:
    z_stream stream_{};
    bool ok_ = false;
};

// Output first made room for; doubled whenever the stream fills it.
constexpr std::size_t kFirstOutputBytes = 64u << 10;

}  // namespace

InflateStatus InflateCapped(std::span<const std::uint8_t> input, std::size_t limit,
                            std::vector<std::uint8_t>& output) {
    // The output grows with what the stream gives: a few bytes of input claiming a huge
    // bitmap must not cost its whole size in memory and zeroing before they fail.
    output.clear();
    Inflater inflater;
    if (!inflater.Ok()) return InflateStatus::kCorrupt;
    z_stream& z = inflater.Stream();
    z.next_in = const_cast<Bytef*>(input.data());
    std::size_t inLeft = input.size();
    std::size_t produced = 0;
    int rc = Z_OK;
    while (produced < limit) {
        const uInt inChunk = static_cast<uInt>(std::min<std::size_t>(inLeft, UINT_MAX));
        if (produced == output.size())
            output.resize(std::min(limit, std::max(kFirstOutputBytes, output.size() * 2)));
        const uInt outChunk =
            static_cast<uInt>(std::min<std::size_t>(output.size() - produced, UINT_MAX));
        z.avail_in = inChunk;
        z.next_out = output.data() + produced;
        z.avail_out = outChunk;
        rc = inflate(&z, Z_NO_FLUSH);
        inLeft -= inChunk - z.avail_in;
        produced += outChunk - z.avail_out;
        if (rc == Z_STREAM_END) break;
        if (rc == Z_BUF_ERROR && inLeft == 0) {
            output.resize(produced);
            return InflateStatus::kTruncated;
        }
        if (rc != Z_OK && rc != Z_BUF_ERROR) {
            output.resize(produced);
            return InflateStatus::kCorrupt;
        }
    }
    output.resize(produced);
    return InflateStatus::kOk;
}

}  // namespace media
