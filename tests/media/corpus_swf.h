// Test helper: the tags of a movie file from the shared corpus (uncompressed or zlib), read
// independently of the engine's reader.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace media::testing {

struct RawTag {
    int code = 0;
    std::vector<std::uint8_t> body;
};

std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& path);

// Tags in file order; a movie that cannot be read (LZMA, broken) yields none.
std::vector<RawTag> ReadMovieTags(const std::vector<std::uint8_t>& file);

}  // namespace media::testing
