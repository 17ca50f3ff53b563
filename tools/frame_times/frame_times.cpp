// frame_times MOVIE [FRAMES]: steps a movie as `filmcast convert` takes its frames (root frame
// by root frame, or ticks of play when the root has one frame and a clip runs longer) and draws
// each at the stage size (at most 4096 px a side), timing every frame in CPU time: the tick
// and the drawing. Prints one JSON object: the per-frame milliseconds, the slowest frame, how
// many frames hit the drawing-work budget, or the reason the movie did not load.
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "player/player.h"

namespace {

constexpr int kMaxSide = 4096;
constexpr int kMaxAutoTicks = 1000;

double CpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

std::string Json(const std::string& text) {
    std::string out = "\"";
    for (const unsigned char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        if (c < 0x20) continue;
        out += static_cast<char>(c);
    }
    return out + "\"";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: frame_times MOVIE [FRAMES]\n");
        return 2;
    }
    const int wanted = argc > 2 ? std::max(1, std::atoi(argv[2])) : 50;
    std::string error;
    const double loadStart = CpuMs();
    auto player = player::Player::LoadFile(argv[1], &error);
    const double loadMs = CpuMs() - loadStart;
    if (!player) {
        std::printf("{\"loaded\": false, \"reason\": %s}\n", Json(error).c_str());
        return 0;
    }
    const player::StageInfo& stage = player->Stage();
    const double shrink =
        std::min(1.0, double(kMaxSide) / std::max({stage.widthPx, stage.heightPx, 1}));
    const int width = std::max(1, int(std::lround(std::max(stage.widthPx, 1) * shrink)));
    const int height = std::max(1, int(std::lround(std::max(stage.heightPx, 1) * shrink)));
    const bool ticks = player->TotalFrames() == 1 && player->LongestClipTimeline() > 1;
    const int available =
        ticks ? std::min(player->LongestClipTimeline(), kMaxAutoTicks) : player->TotalFrames();
    const int frames = std::min(wanted, available);
    std::vector<std::uint8_t> pixels(std::size_t(width) * height * 4);
    const player::BufferView view{pixels.data(), width, height, width * 4};
    std::vector<double> ms;
    for (int i = 0; i < frames; ++i) {
        const double start = CpuMs();
        if (i > 0) {
            if (ticks)
                player->Tick(false, true);
            else
                player->GotoFrame(i);
        }
        player->Render(view);
        ms.push_back(CpuMs() - start);
    }
    const auto slowest = std::max_element(ms.begin(), ms.end());
    std::printf(
        "{\"loaded\": true, \"width\": %d, \"height\": %d, \"load_ms\": %.2f, "
        "\"frames\": %d, \"slowest_frame\": %d, \"slowest_ms\": %.2f, \"total_ms\": %.2f, "
        "\"cut\": %zu, \"ms\": [",
        width, height, loadMs, frames, slowest == ms.end() ? -1 : int(slowest - ms.begin()),
        slowest == ms.end() ? 0.0 : *slowest,
        [&] {
            double t = 0;
            for (double v : ms) t += v;
            return t;
        }(),
        player->FramesCut());
    for (std::size_t i = 0; i < ms.size(); ++i) std::printf("%s%.2f", i ? ", " : "", ms[i]);
    std::printf("]}\n");
    return 0;
}
