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

}  // namespace

// The output grows as data actually inflates, so a short body that claims a huge bitmap costs
// no more memory than it holds.
constexpr std::size_t kFirstOutputChunk = 64 * 1024;

InflateStatus InflateCapped(std::span<const std::uint8_t> input, std::size_t limit,
                            std::vector<std::uint8_t>& output) {
    output.assign(std::min(limit, std::max(kFirstOutputChunk, input.size() * 4)), 0);
    Inflater inflater;
    if (!inflater.Ok()) return InflateStatus::kCorrupt;
    z_stream& z = inflater.Stream();
    z.next_in = const_cast<Bytef*>(input.data());
    std::size_t inLeft = input.size();
    std::size_t produced = 0;
    InflateStatus status = InflateStatus::kOk;
    while (produced < limit) {
        if (produced == output.size()) output.resize(std::min(limit, output.size() * 2), 0);
        const uInt inChunk = static_cast<uInt>(std::min<std::size_t>(inLeft, UINT_MAX));
        const uInt outChunk =
            static_cast<uInt>(std::min<std::size_t>(output.size() - produced, UINT_MAX));
        z.avail_in = inChunk;
        z.next_out = output.data() + produced;
        z.avail_out = outChunk;
        const int rc = inflate(&z, Z_NO_FLUSH);
        inLeft -= inChunk - z.avail_in;
        produced += outChunk - z.avail_out;
        if (rc == Z_STREAM_END) break;
        if (rc == Z_BUF_ERROR && inLeft == 0 && z.avail_out > 0) {
            status = InflateStatus::kTruncated;
            break;
        }
        if (rc != Z_OK && rc != Z_BUF_ERROR) {
            status = InflateStatus::kCorrupt;
            break;
        }
    }
    output.resize(produced);
    return status;
}

}  // namespace media
