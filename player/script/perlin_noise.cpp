#include "player/script/perlin_noise.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <random>

namespace player::script {

namespace {

// One channel's lattice: a shuffled permutation picks each lattice point's gradient.
struct Lattice {
    std::array<std::uint8_t, 512> perm{};

    explicit Lattice(std::uint32_t seed) {
        std::array<std::uint8_t, 256> p{};
        std::iota(p.begin(), p.end(), 0);
        std::mt19937 random(seed);
        for (int i = 255; i > 0; --i) std::swap(p[i], p[random() % static_cast<unsigned>(i + 1)]);
        for (int i = 0; i < 512; ++i) perm[i] = p[i & 255];
    }

    // The gradient at (ix, iy) dotted with the offset (dx, dy) from it.
    double Corner(int ix, int iy, double dx, double dy) const {
        static constexpr double kDirections[8][2] = {{1, 1},      {-1, 1},     {1, -1},
                                                     {-1, -1},    {1.4142, 0}, {-1.4142, 0},
                                                     {0, 1.4142}, {0, -1.4142}};
        const int h = perm[perm[ix & 255] + (iy & 255)] & 7;
        return kDirections[h][0] * dx + kDirections[h][1] * dy;
    }

    // Noise in about -1..1 at (x, y) in cells; lattice indices wrap at (periodX, periodY) when
    // they are positive, so the noise tiles.
    double At(double x, double y, int periodX, int periodY) const {
        const double fx = std::floor(x), fy = std::floor(y);
        const double dx = x - fx, dy = y - fy;
        auto wrap = [](double i, int period) {
            const double w = period > 0 ? i - std::floor(i / period) * period : i;
            return static_cast<int>(static_cast<std::int64_t>(w) & 255);
        };
        const int x0 = wrap(fx, periodX), x1 = wrap(fx + 1, periodX);
        const int y0 = wrap(fy, periodY), y1 = wrap(fy + 1, periodY);
        auto fade = [](double t) { return t * t * t * (t * (t * 6 - 15) + 10); };
        const double u = fade(dx), v = fade(dy);
        const double top =
            Corner(x0, y0, dx, dy) + u * (Corner(x1, y0, dx - 1, dy) - Corner(x0, y0, dx, dy));
        const double bottom = Corner(x0, y1, dx, dy - 1) +
                              u * (Corner(x1, y1, dx - 1, dy - 1) - Corner(x0, y1, dx, dy - 1));
        return (top + v * (bottom - top)) / 1.4142;
    }
};

}  // namespace

std::vector<std::uint32_t> PerlinNoise(const PerlinSettings& s, int width, int height) {
    std::vector<std::uint32_t> out;
    if (width <= 0 || height <= 0) return out;
    out.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0xff000000u);
    const int octaves = std::clamp(s.octaves, 0, kMaxPerlinOctaves);
    if (octaves == 0) return out;
    // Per octave: cells per pixel and, when stitched, the lattice period.
    struct Octave {
        double fx = 0, fy = 0, ox = 0, oy = 0, amplitude = 1;
        int periodX = 0, periodY = 0;
    };
    std::vector<Octave> plan(static_cast<std::size_t>(octaves));
    double total = 0;
    for (int o = 0; o < octaves; ++o) {
        Octave& p = plan[static_cast<std::size_t>(o)];
        const double scale = std::ldexp(1.0, o);
        // A cell smaller than a millionth of a pixel samples as noise all the same.
        p.fx = std::isfinite(s.baseX) && s.baseX > 0 ? std::min(scale / s.baseX, 1e6) : 0;
        p.fy = std::isfinite(s.baseY) && s.baseY > 0 ? std::min(scale / s.baseY, 1e6) : 0;
        if (s.stitch) {
            // Whole cells across the picture, so its right edge meets its left.
            p.periodX =
                p.fx > 0 ? std::max(1, static_cast<int>(std::lround(std::min(width * p.fx, 1e6))))
                         : 0;
            p.periodY =
                p.fy > 0 ? std::max(1, static_cast<int>(std::lround(std::min(height * p.fy, 1e6))))
                         : 0;
            if (p.periodX) p.fx = static_cast<double>(p.periodX) / width;
            if (p.periodY) p.fy = static_cast<double>(p.periodY) / height;
        }
        if (static_cast<std::size_t>(o) < s.offsets.size()) {
            const auto [x, y] = s.offsets[static_cast<std::size_t>(o)];
            p.ox = std::isfinite(x) ? std::clamp(x, -1e9, 1e9) : 0;
            p.oy = std::isfinite(y) ? std::clamp(y, -1e9, 1e9) : 0;
        }
        p.amplitude = 1.0 / scale;
        total += p.amplitude;
    }
    // Red, green, blue, alpha: each its own lattice; gray pictures take red's for all three.
    constexpr int kBits[4] = {1, 2, 4, 8};
    constexpr int kShifts[4] = {16, 8, 0, 24};
    for (int c = 0; c < 4; ++c) {
        const bool wanted = c < 3 && s.gray ? c == 0 : (s.channels & kBits[c]) != 0;
        if (!wanted) continue;
        const Lattice lattice(s.seed * 4u + static_cast<std::uint32_t>(c));
        for (int y = 0; y < height; ++y) {
            std::uint32_t* row = out.data() + static_cast<std::size_t>(y) * width;
            for (int x = 0; x < width; ++x) {
                double sum = 0;
                for (const Octave& p : plan) {
                    const double n =
                        lattice.At((x + p.ox) * p.fx, (y + p.oy) * p.fy, p.periodX, p.periodY);
                    sum += (s.fractal ? n : std::abs(n)) * p.amplitude;
                }
                sum /= total;
                const double level = s.fractal ? (sum + 1) * 127.5 : sum * 255;
                const auto v = static_cast<std::uint32_t>(std::clamp(level, 0.0, 255.0));
                if (c == 3) {
                    row[x] = (row[x] & 0x00ffffffu) | (v << 24);
                } else if (s.gray) {
                    row[x] = (row[x] & 0xff000000u) | (v << 16) | (v << 8) | v;
                } else {
                    row[x] |= v << kShifts[c];
                }
            }
        }
    }
    return out;
}

}  // namespace player::script
