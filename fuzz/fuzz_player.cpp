// The movie engine on hostile bytes: load, then draw and step through a few frames at a small
// size, jump back and forth, and replay from a restarted player.
#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "player/player.h"

namespace {

constexpr int kWidth = 40;
constexpr int kHeight = 30;
constexpr int kFramesStepped = 4;

void Draw(player::Player& movie, std::vector<std::uint8_t>& pixels) {
    player::BufferView view{pixels.data(), kWidth, kHeight, kWidth * 4};
    movie.Render(view);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string error;
    auto movie = player::Player::Load(std::span<const std::uint8_t>(data, size), &error);
    if (!movie) return 0;
    std::vector<std::uint8_t> pixels(kWidth * kHeight * 4);
    Draw(*movie, pixels);
    const int steps = std::min(kFramesStepped, std::max(movie->TotalFrames(), 1));
    for (int i = 0; i < steps; ++i) {
        movie->Tick(true, true);
        Draw(*movie, pixels);
    }
    movie->GotoFrame(movie->TotalFrames() - 1);
    Draw(*movie, pixels);
    auto again = movie->Restart();
    if (again) {
        again->PlayTicksFromStart(2);
        Draw(*again, pixels);
    }
    return 0;
}
