#include "player/script/perlin_noise.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <random>

namespace player::script {

namespace {

// Where a coordinate (in cells) falls: the lattice lines on either side (wrapped at `period`
// when it is positive, so that the noise tiles), the distance past the first and its eased
// weight. Kept per column and per row, so a pixel costs only its four corners.
struct AxisPlace {
    int i0 = 0, i1 = 0;
    double d = 0, eased = 0;

    static AxisPlace Of(double coordinate, int period) {
        AxisPlace p;
        const double cell = std::floor(coordinate);
        p.d = coordinate - cell;
        p.eased = p.d * p.d * p.d * (p.d * (p.d * 6 - 15) + 10);
        auto wrap = [period](double i) {
            const double w = period > 0 ? i - std::floor(i / period) * period : i;
            return static_cast<int>(static_cast<std::int64_t>(w) & 255);
        };
        p.i0 = wrap(cell);
        p.i1 = wrap(cell + 1);
        return p;
    }
};

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

    // The gradient at (ix, iy) dotted with the offset (dx, dy) from it: one of sixteen unit
    // directions, none along the axes, so that no lattice lines show.
    double Corner(int ix, int iy, double dx, double dy) const {
        static const std::array<std::array<double, 2>, 16> kDirections = [] {
            std::array<std::array<double, 2>, 16> d{};
            for (int k = 0; k < 16; ++k) {
                const double angle = (k + 0.5) * 3.14159265358979323846 / 8;
                d[static_cast<std::size_t>(k)] = {std::cos(angle), std::sin(angle)};
            }
            return d;
        }();
        const auto& g = kDirections[perm[perm[ix & 255] + (iy & 255)] & 15];
        return g[0] * dx + g[1] * dy;
    }

    // Noise in about -1..1 at a point given by its place along each axis.
    double At(const AxisPlace& px, const AxisPlace& py) const;
};

double Lattice::At(const AxisPlace& px, const AxisPlace& py) const {
    const double c00 = Corner(px.i0, py.i0, px.d, py.d);
    const double c10 = Corner(px.i1, py.i0, px.d - 1, py.d);
    const double c01 = Corner(px.i0, py.i1, px.d, py.d - 1);
    const double c11 = Corner(px.i1, py.i1, px.d - 1, py.d - 1);
    const double top = c00 + px.eased * (c10 - c00);
    const double bottom = c01 + px.eased * (c11 - c01);
    return (top + py.eased * (bottom - top)) * 1.4142;
}

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
    }
    // Each octave's place of every column.
    std::vector<std::vector<AxisPlace>> columns(plan.size());
    for (std::size_t o = 0; o < plan.size(); ++o) {
        columns[o].resize(static_cast<std::size_t>(width));
        for (int x = 0; x < width; ++x)
            columns[o][static_cast<std::size_t>(x)] =
                AxisPlace::Of((x + plan[o].ox) * plan[o].fx, plan[o].periodX);
    }
    // Red, green, blue, alpha: each its own lattice; gray pictures take red's for all three.
    constexpr int kBits[4] = {1, 2, 4, 8};
    constexpr int kShifts[4] = {16, 8, 0, 24};
    std::vector<double> sums(static_cast<std::size_t>(width));
    for (int c = 0; c < 4; ++c) {
        const bool wanted = c < 3 && s.gray ? c == 0 : (s.channels & kBits[c]) != 0;
        if (!wanted) continue;
        const Lattice lattice(s.seed * 4u + static_cast<std::uint32_t>(c));
        for (int y = 0; y < height; ++y) {
            std::fill(sums.begin(), sums.end(), 0.0);
            for (std::size_t o = 0; o < plan.size(); ++o) {
                const Octave& p = plan[o];
                const AxisPlace row = AxisPlace::Of((y + p.oy) * p.fy, p.periodY);
                for (int x = 0; x < width; ++x) {
                    const double n = lattice.At(columns[o][static_cast<std::size_t>(x)], row);
                    sums[static_cast<std::size_t>(x)] +=
                        (s.fractal ? n : std::abs(n)) * p.amplitude;
                }
            }
            std::uint32_t* pixels = out.data() + static_cast<std::size_t>(y) * width;
            for (int x = 0; x < width; ++x) {
                const double sum = sums[static_cast<std::size_t>(x)];
                const double level = s.fractal ? (sum + 1) * 127.5 : sum * 255;
                const auto v = static_cast<std::uint32_t>(std::clamp(level, 0.0, 255.0));
                if (c == 3) {
                    pixels[x] = (pixels[x] & 0x00ffffffu) | (v << 24);
                } else if (s.gray) {
                    pixels[x] = (pixels[x] & 0xff000000u) | (v << 16) | (v << 8) | v;
                } else {
                    pixels[x] |= v << kShifts[c];
                }
            }
        }
    }
    return out;
}

}  // namespace player::script
