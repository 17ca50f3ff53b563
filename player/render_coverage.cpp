#include "player/render_coverage.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace player {

namespace {

// How far a flattened curve may stray from the true one, in device pixels (cairo's default).
constexpr double kFlatness = 0.1;
// Pieces one curve may be cut into; a curve needing more is far larger than a mask.
constexpr int kMaxCurvePieces = 64;
// Points an outline may have in all.
constexpr std::size_t kMaxOutlinePoints = 1 << 14;
// Points closer than this are one point.
constexpr double kSamePoint = 1e-6;
// Points farther than this from the origin (device pixels) are left to cairo, which clips
// them; NaN is never nearer.
constexpr double kFarAway = 1 << 22;
// The sharpest turn (as the cosine of the angle turned) the outline draws itself: sharper
// turns fold the inner side back over the line.
constexpr double kSharpestTurn = -0.9;
// Round joins and caps are drawn as chords within kFlatness of the arc, of at most this angle.
constexpr double kArcStep = std::numbers::pi / 6;

DevicePoint operator+(DevicePoint a, DevicePoint b) {
    return {a.x + b.x, a.y + b.y};
}
DevicePoint operator-(DevicePoint a, DevicePoint b) {
    return {a.x - b.x, a.y - b.y};
}
DevicePoint operator*(DevicePoint a, double s) {
    return {a.x * s, a.y * s};
}
double Dot(DevicePoint a, DevicePoint b) {
    return a.x * b.x + a.y * b.y;
}
double Cross(DevicePoint a, DevicePoint b) {
    return a.x * b.y - a.y * b.x;
}
double Length(DevicePoint a) {
    return std::sqrt(a.x * a.x + a.y * a.y);
}

// One sub-path flattened to device points.
struct Polyline {
    std::vector<DevicePoint> points;
    bool closed = false;
    bool drawn = false;  // has a line or curve: a lone move draws nothing
    // Where a curve leaves the start or reaches the end (zero after a line): caps face along
    // the curve itself rather than its last straight piece.
    DevicePoint startTangent, endTangent;
};

class Flattener {
  public:
    // Points are moved to their pixels' centres when `snap` is set.
    Flattener(const cairo_matrix_t& m, bool snap) : m_(m), snap_(snap) {}

    // False when a curve needs too many pieces or the outline too many points.
    bool Run(const cairo_path_t* path, std::vector<Polyline>& out) {
        for (int i = 0; i < path->num_data; i += path->data[i].header.length) {
            const cairo_path_data_t* d = &path->data[i];
            if (d->header.length < 1 || i + d->header.length > path->num_data) return false;
            switch (d->header.type) {
                case CAIRO_PATH_MOVE_TO:
                    if (d->header.length < 2) return false;
                    out.emplace_back();
                    reopen_ = false;
                    if (!Add(out.back(), Snapped(d[1].point.x, d[1].point.y))) return false;
                    break;
                case CAIRO_PATH_LINE_TO:
                    if (d->header.length < 2 || !Continue(out)) return false;
                    out.back().drawn = true;
                    out.back().endTangent = {};
                    if (!Add(out.back(), Snapped(d[1].point.x, d[1].point.y))) return false;
                    break;
                case CAIRO_PATH_CURVE_TO:
                    if (d->header.length < 4 || !Continue(out)) return false;
                    out.back().drawn = true;
                    if (!Curve(out.back(), Snapped(d[1].point.x, d[1].point.y),
                               Snapped(d[2].point.x, d[2].point.y),
                               Snapped(d[3].point.x, d[3].point.y)))
                        return false;
                    break;
                case CAIRO_PATH_CLOSE_PATH:
                    if (out.empty() || out.back().points.empty()) return false;
                    out.back().closed = true;
                    reopen_ = true;
                    break;
            }
        }
        return true;
    }

  private:
    // The sub-path a line or curve extends: after a close, a new one from the closed one's
    // start, as in cairo. False before any point.
    bool Continue(std::vector<Polyline>& out) {
        if (out.empty() || out.back().points.empty()) return false;
        if (!reopen_) return true;
        reopen_ = false;
        out.push_back({{out.back().points.front()}, false, false});
        return ++points_ <= kMaxOutlinePoints;
    }

    DevicePoint Snapped(double x, double y) const {
        cairo_matrix_transform_point(&m_, &x, &y);
        if (!snap_) return {x, y};
        return {PixelCentre(x), PixelCentre(y)};
    }

    bool Add(Polyline& line, DevicePoint p) {
        if (!(std::abs(p.x) < kFarAway && std::abs(p.y) < kFarAway)) return false;
        if (!line.points.empty() && Length(p - line.points.back()) < kSamePoint) return true;
        line.points.push_back(p);
        return ++points_ <= kMaxOutlinePoints;
    }

    bool Curve(Polyline& line, DevicePoint p1, DevicePoint p2, DevicePoint p3) {
        if (line.points.empty()) return false;
        const DevicePoint p0 = line.points.back();
        const DevicePoint leaving = Length(p1 - p0) >= kSamePoint   ? p1 - p0
                                    : Length(p2 - p0) >= kSamePoint ? p2 - p0
                                                                    : p3 - p0;
        const DevicePoint arriving = Length(p3 - p2) >= kSamePoint   ? p3 - p2
                                     : Length(p3 - p1) >= kSamePoint ? p3 - p1
                                                                     : p3 - p0;
        if (line.points.size() == 1) line.startTangent = leaving;
        line.endTangent = arriving;
        // The second differences bound how far straight pieces stray from the curve.
        const double bend = std::max(Length(p0 - p1 * 2 + p2), Length(p1 - p2 * 2 + p3));
        const double pieces = std::ceil(std::sqrt(0.75 * bend / kFlatness));
        if (!(pieces <= kMaxCurvePieces)) return false;
        const int n = std::max(1, static_cast<int>(pieces));
        for (int k = 1; k <= n; ++k) {
            const double t = double(k) / n, s = 1 - t;
            const DevicePoint p =
                p0 * (s * s * s) + p1 * (3 * s * s * t) + p2 * (3 * s * t * t) + p3 * (t * t * t);
            if (!Add(line, p)) return false;
        }
        return true;
    }

    const cairo_matrix_t& m_;
    bool snap_;
    std::size_t points_ = 0;
    bool reopen_ = false;
};

// Points on the circle of radius r around c, from direction `from` turning by `angle`
// (radians, either way), the ends included.
void Arc(DevicePoint c, double r, DevicePoint from, double angle, std::vector<DevicePoint>& out) {
    const double step =
        r > kFlatness ? std::min(kArcStep, 2 * std::acos(1 - kFlatness / r)) : kArcStep;
    const int steps = std::max(1, static_cast<int>(std::ceil(std::abs(angle) / step)));
    const double start = std::atan2(from.y, from.x);
    for (int k = 0; k <= steps; ++k) {
        const double a = start + angle * k / steps;
        out.push_back({c.x + r * std::cos(a), c.y + r * std::sin(a)});
    }
}

// The outline of one sub-path: its two sides offset by `h`, joined at every vertex, closed by
// caps when open. False when a turn is too sharp for the outline to stay simple.
bool Outline(const Polyline& line, double h, JoinStyle join, double miterLimit, CapStyle cap,
             std::vector<Loop>& loops) {
    std::vector<DevicePoint> p = line.points;
    const bool closed = line.closed;
    if (closed && p.size() > 1 && Length(p.back() - p.front()) < kSamePoint) p.pop_back();
    const std::size_t n = p.size();
    if (n < 2 || (closed && n < 3)) return false;
    const std::size_t segments = closed ? n : n - 1;
    std::vector<DevicePoint> dir(segments), normal(segments);
    std::vector<double> length(segments);
    for (std::size_t i = 0; i < segments; ++i) {
        const DevicePoint d = p[(i + 1) % n] - p[i];
        length[i] = Length(d);
        dir[i] = d * (1 / length[i]);
        normal[i] = {-dir[i].y, dir[i].x};
    }

    std::vector<DevicePoint> left, right;  // the +normal and -normal sides, in path order
    // The join at p[v] from segment a to segment b.
    auto joinAt = [&](std::size_t v, std::size_t a, std::size_t b) {
        const double cosTurn = Dot(dir[a], dir[b]);
        if (cosTurn < kSharpestTurn) return false;
        const double turn = Cross(dir[a], dir[b]);
        const DevicePoint miter = (normal[a] + normal[b]) * (h / (1 + cosTurn));
        // How far past the line's side the mitred point reaches: h / cos(turn / 2) - h.
        const double miterReach = h * (std::sqrt(2 / (1 + cosTurn)) - 1);
        // A gentle turn takes the one mitred point whatever the join: it lies within half the
        // flatness of the round join.
        if (miterReach <= kFlatness / 2 || turn == 0) {
            left.push_back(p[v] + miter);
            right.push_back(p[v] - miter);
            return true;
        }
        // The inner side meets where the two offset sides cross, which must lie within both
        // sides' halves.
        const double inward = h * std::abs(turn) / (1 + cosTurn);
        if (inward > length[a] / 2 || inward > length[b] / 2) return false;
        // Turning towards +normal puts the outer side on -normal.
        const double outerSign = turn > 0 ? -1 : 1;
        std::vector<DevicePoint>& inner = turn > 0 ? left : right;
        std::vector<DevicePoint>& outer = turn > 0 ? right : left;
        inner.push_back(p[v] + miter * -outerSign);
        const DevicePoint na = normal[a] * outerSign, nb = normal[b] * outerSign;
        const bool mitred = join == JoinStyle::kMiter && std::sqrt(2 / (1 + cosTurn)) <= miterLimit;
        if (mitred) {
            outer.push_back(p[v] + miter * outerSign);
        } else if (join == JoinStyle::kRound) {
            Arc(p[v], h, na, std::atan2(Cross(na, nb), Dot(na, nb)), outer);
        } else {
            outer.push_back(p[v] + na * h);
            outer.push_back(p[v] + nb * h);
        }
        return true;
    };

    if (closed) {
        for (std::size_t v = 0; v < n; ++v) {
            if (!joinAt(v, (v + segments - 1) % segments, v)) return false;
        }
        loops.push_back(std::move(left));
        loops.emplace_back(right.rbegin(), right.rend());
        return true;
    }
    // The caps face along the line's ends.
    auto facing = [](DevicePoint tangent, DevicePoint fallback) {
        const double l = Length(tangent);
        return l >= kSamePoint ? tangent * (1 / l) : fallback;
    };
    const DevicePoint startDir = facing(line.startTangent, dir[0]);
    const DevicePoint endDir = facing(line.endTangent, dir[segments - 1]);
    const DevicePoint startNormal{-startDir.y, startDir.x}, endNormal{-endDir.y, endDir.x};
    const double extend = cap == CapStyle::kSquare ? h : 0;
    left.push_back(p[0] + startNormal * h - startDir * extend);
    right.push_back(p[0] - startNormal * h - startDir * extend);
    for (std::size_t v = 1; v + 1 < n; ++v) {
        if (!joinAt(v, v - 1, v)) return false;
    }
    left.push_back(p[n - 1] + endNormal * h + endDir * extend);
    right.push_back(p[n - 1] - endNormal * h + endDir * extend);

    Loop loop = std::move(left);
    if (cap == CapStyle::kRound) {
        // Around the end from the +normal side to the -normal side, through the direction.
        Arc(p[n - 1], h, endNormal, -std::numbers::pi, loop);
    }
    loop.insert(loop.end(), right.rbegin(), right.rend());
    if (cap == CapStyle::kRound) {
        // Around the start from the -normal side back to the +normal side.
        Arc(p[0], h, startNormal * -1, -std::numbers::pi, loop);
    }
    loops.push_back(std::move(loop));
    return true;
}

}  // namespace

double PixelCentre(double v) {
    return std::ceil(v) - 0.5;
}

bool CoverageMask::Reset(int x0, int y0, int width, int height) {
    if (width <= 0 || height <= 0 || std::int64_t{width} * height > kMaxPixels) return false;
    if (dirty_) std::fill(cells_.begin(), cells_.end(), 0.0f);
    dirty_ = false;
    x0_ = x0;
    y0_ = y0;
    width_ = width;
    height_ = height;
    // Resolve leaves every cell cleared, so only new cells need clearing.
    const std::size_t cells = std::size_t(width + 2) * height;
    if (cells_.size() < cells) cells_.resize(cells, 0.0f);
    return true;
}

void CoverageMask::AddLoop(const Loop& loop) {
    dirty_ = true;
    for (std::size_t i = 0; i < loop.size(); ++i) {
        const DevicePoint& a = loop[i];
        const DevicePoint& b = loop[(i + 1) % loop.size()];
        AddEdge(a.x - x0_, a.y - y0_, b.x - x0_, b.y - y0_);
    }
}

// Each row crossed gets, in every cell from the edge's left end on, the change in how much of
// the row's height the edge covers to its right; summed along the row these give the area.
void CoverageMask::AddEdge(double xa, double ya, double xb, double yb) {
    if (ya == yb) return;
    const float dir = ya < yb ? 1.0f : -1.0f;
    if (ya > yb) {
        std::swap(xa, xb);
        std::swap(ya, yb);
    }
    const double slope = (xb - xa) / (yb - ya);
    // Rows above or below the box are left out.
    const double from = std::clamp(ya, 0.0, double(height_));
    const double to = std::clamp(yb, 0.0, double(height_));
    const int stride = width_ + 2;
    const double xMax = width_ + 1 - 1e-9;
    for (int row = static_cast<int>(from); row < height_ && row < to; ++row) {
        const double top = std::max(from, double(row)), bottom = std::min(to, double(row) + 1);
        if (bottom <= top) continue;
        const double xTop = std::clamp(xa + (top - ya) * slope, 0.0, xMax);
        const double xBottom = std::clamp(xa + (bottom - ya) * slope, 0.0, xMax);
        const double lo = std::min(xTop, xBottom), hi = std::max(xTop, xBottom);
        const float height = static_cast<float>(bottom - top) * dir;
        float* cells = &cells_[std::size_t(row) * stride];
        const int first = static_cast<int>(lo);
        if (hi - lo < 1e-9 || static_cast<int>(hi) == first) {
            // Within one cell: that cell gets what lies right of the edge's middle.
            const double inside = first + 1 - (lo + hi) / 2;
            cells[first] += height * static_cast<float>(inside);
            cells[first + 1] += height * static_cast<float>(1 - inside);
            continue;
        }
        // Coverage of cell j is height * (R(j + 1 - lo) - R(j + 1 - hi)) / (hi - lo), with R the
        // integral of a ramp clamped to 0..1.
        auto ramp = [](double s) { return s <= 0 ? 0.0 : s < 1 ? s * s / 2 : s - 0.5; };
        const double scale = 1 / (hi - lo);
        double before = 0;
        const int last = std::min(static_cast<int>(hi) + 1, width_ + 1);
        for (int j = first; j <= last; ++j) {
            const double covered = (ramp(j + 1 - lo) - ramp(j + 1 - hi)) * scale;
            cells[j] += height * static_cast<float>(covered - before);
            before = covered;
        }
    }
}

void CoverageMask::Resolve(std::vector<std::uint8_t>& out, int stride, FillRule rule) {
    out.resize(std::size_t(stride) * height_);
    const int cellStride = width_ + 2;
    for (int y = 0; y < height_; ++y) {
        float* cells = &cells_[std::size_t(y) * cellStride];
        std::uint8_t* row = &out[std::size_t(y) * stride];
        float sum = 0;
        for (int x = 0; x < width_; ++x) {
            sum += cells[x];
            cells[x] = 0;
            float covered = std::abs(sum);
            if (rule == FillRule::kNonZero) {
                covered = std::min(covered, 1.0f);
            } else {
                if (covered > 1) {
                    covered -= 2 * std::floor(covered / 2);
                    if (covered > 1) covered = 2 - covered;
                }
            }
            row[x] = static_cast<std::uint8_t>(covered * 255 + 0.5f);
        }
        cells[width_] = cells[width_ + 1] = 0;
    }
    dirty_ = false;
}

bool StrokeOutline(const cairo_path_t* path, const cairo_matrix_t& toDevice,
                   const StrokeStyle& style, std::vector<Loop>& loops) {
    if (!(style.width > 0 && style.width <= kMaxOutlinedWidth)) return false;
    std::vector<Polyline> lines;
    if (!Flattener(toDevice, style.width < kMaxHairlineWidth).Run(path, lines)) return false;
    for (const Polyline& line : lines) {
        if (!line.drawn) continue;
        if (!Outline(line, style.width / 2, style.join, style.miterLimit, style.cap, loops))
            return false;
    }
    return true;
}

bool FillOutline(const cairo_path_t* path, const cairo_matrix_t& toDevice,
                 std::vector<Loop>& loops) {
    std::vector<Polyline> lines;
    if (!Flattener(toDevice, false).Run(path, lines)) return false;
    for (Polyline& line : lines) {
        if (line.points.size() > 2) loops.push_back(std::move(line.points));
    }
    return true;
}

bool IsUprightBox(const std::vector<Loop>& loops) {
    if (loops.size() != 1) return false;
    Loop box = loops.front();
    if (box.size() == 5 && Length(box.back() - box.front()) < kSamePoint) box.pop_back();
    if (box.size() != 4) return false;
    // Sides alternate between upright and level, starting with either.
    for (int start = 0; start < 2; ++start) {
        bool upright = true;
        for (int i = 0; i < 4 && upright; ++i) {
            const DevicePoint& a = box[i];
            const DevicePoint& b = box[(i + 1) % 4];
            upright = (i + start) % 2 == 0 ? std::abs(a.x - b.x) < kSamePoint
                                           : std::abs(a.y - b.y) < kSamePoint;
        }
        if (upright) return true;
    }
    return false;
}

}  // namespace player
