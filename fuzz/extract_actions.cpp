// Writes every action block of the movies in a folder (frames of the root and of sprites, and
// DoInitAction) as seeds for fuzz_script: a version byte, then the block.
//   fuzz_extract_actions OUTPUT_FOLDER MOVIE...
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "player/reader.h"

namespace {

int written = 0;

void Save(const std::string& folder, std::uint8_t version, const player::ActionBlock& block) {
    if (block.empty()) return;
    std::ofstream out(folder + "/actions-" + std::to_string(written++) + ".bin", std::ios::binary);
    out.put(static_cast<char>(version - 5));
    out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size()));
}

void SaveTimeline(const std::string& folder, std::uint8_t version, const player::Timeline& t) {
    for (const player::Frame& frame : t.frames) {
        for (const player::ActionBlock& block : frame.actions) Save(folder, version, block);
        for (const player::InitAction& init : frame.initActions) Save(folder, version, init.actions);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: fuzz_extract_actions OUTPUT_FOLDER MOVIE...\n");
        return 2;
    }
    const std::string folder = argv[1];
    for (int i = 2; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                              std::istreambuf_iterator<char>()};
        std::string error;
        auto movie = player::ReadMovie(bytes, &error);
        if (!movie) continue;
        SaveTimeline(folder, movie->version, movie->root);
        for (const auto& [id, character] : movie->dictionary)
            if (const auto* sprite = std::get_if<player::Sprite>(character.get()))
                SaveTimeline(folder, movie->version, sprite->timeline);
    }
    std::printf("%d action blocks\n", written);
    return 0;
}
