// Gradient ("Perlin") noise for BitmapData.perlinNoise: octaves of smooth noise summed into
// channels, the same picture for the same seed on every run. A pure unit: no script values.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace player::script {

struct PerlinSettings {
    double baseX = 0, baseY = 0;  // the first octave's cell size in pixels
    int octaves = 1;
    std::uint32_t seed = 0;
    bool stitch = false;   // cells fitted to the picture so that it tiles
    bool fractal = false;  // signed noise summed (smooth clouds) rather than its size (turbulence)
    int channels = 7;      // 1 red, 2 green, 4 blue, 8 alpha
    bool gray = false;     // red, green and blue the same (the red noise)
    std::vector<std::pair<double, double>> offsets{};  // by octave, in pixels; missing ones 0
};

// Octaves past this change no pixel by a whole level (each adds half the one before): more
// cost time and show nothing.
inline constexpr int kMaxPerlinOctaves = 12;

// Straight ARGB pixels of a width x height picture, row by row. Channels not asked for are 0
// (alpha 255).
std::vector<std::uint32_t> PerlinNoise(const PerlinSettings& settings, int width, int height);

}  // namespace player::script
