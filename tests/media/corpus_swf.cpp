#include "tests/media/corpus_swf.h"

#include <fstream>
#include <iterator>

#include "player/media/inflate.h"

namespace media::testing {

std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::vector<RawTag> ReadMovieTags(const std::vector<std::uint8_t>& file) {
    std::vector<RawTag> tags;
    if (file.size() < 8 || (file[0] != 'F' && file[0] != 'C')) return tags;
    std::vector<std::uint8_t> body;
    if (file[0] == 'C') {
        const std::uint32_t length =
            file[4] | (file[5] << 8) | (file[6] << 16) | (std::uint32_t(file[7]) << 24);
        InflateCapped(std::span(file).subspan(8),
                      length > 8 ? std::min<std::uint32_t>(length - 8, 1u << 28) : 0, body);
    } else {
        body.assign(file.begin() + 8, file.end());
    }
    if (body.empty()) return tags;
    std::size_t pos = (5 + 4 * (body[0] >> 3) + 7) / 8 + 4;  // frame rectangle, rate, count
    while (pos + 2 <= body.size()) {
        const int header = body[pos] | (body[pos + 1] << 8);
        pos += 2;
        std::size_t length = header & 63;
        if (length == 63) {
            if (pos + 4 > body.size()) break;
            length = body[pos] | (body[pos + 1] << 8) | (body[pos + 2] << 16) |
                     (std::size_t(body[pos + 3]) << 24);
            pos += 4;
        }
        if (length > body.size() - pos) break;
        tags.push_back({header >> 6, {body.begin() + pos, body.begin() + pos + length}});
        pos += length;
    }
    return tags;
}

}  // namespace media::testing
