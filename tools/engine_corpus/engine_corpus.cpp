// Robustness run of the movie engine over a folder of movies (or one movie): each is loaded,
// played tick by tick for its first frames and drawn at its stage size (at most 1024 px a side).
// Prints one line per movie; a crash or hang shows as a missing line.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "player/player.h"

namespace {

namespace fs = std::filesystem;

constexpr int kMaxSide = 1024;

bool RunOne(const fs::path& path, int frames) {
    const auto start = std::chrono::steady_clock::now();
    std::string error;
    auto player = player::Player::LoadFile(path.string(), &error);
    if (!player) {
        std::printf("%-60s not loaded: %s\n", path.filename().c_str(), error.c_str());
        return false;
    }
    const auto& stage = player->Stage();
    const double shrink =
        std::min(1.0, double(kMaxSide) / std::max({stage.widthPx, stage.heightPx, 1}));
    const int width = std::max(1, int(stage.widthPx * shrink));
    const int height = std::max(1, int(stage.heightPx * shrink));
    std::vector<std::uint8_t> pixels(std::size_t(width) * height * 4);
    const player::BufferView view{pixels.data(), width, height, width * 4};
    player->Render(view);
    for (int i = 1; i < frames; ++i) {
        player->Tick(false, true);
        player->Render(view);
    }
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("%-60s ok: %d frames, %zu problems, %dx%d, %.1f ms\n", path.filename().c_str(),
                player->TotalFrames(), player->Problems().size(), width, height, ms);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: engine_corpus FOLDER|MOVIE [FRAMES]\n");
        return 2;
    }
    const int frames = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
    std::vector<fs::path> movies;
    std::error_code ec;
    if (fs::is_directory(argv[1], ec)) {
        for (const auto& entry : fs::directory_iterator(argv[1], ec))
            if (entry.path().extension() == ".swf") movies.push_back(entry.path());
        std::sort(movies.begin(), movies.end());
    } else {
        movies.emplace_back(argv[1]);
    }
    int loaded = 0;
    for (const auto& movie : movies) loaded += RunOne(movie, frames) ? 1 : 0;
    std::printf("engine_corpus: %d of %zu movies loaded and rendered\n", loaded, movies.size());
    return 0;
}
