#include "player/frame_work.h"

#include <algorithm>
#include <cmath>

namespace player {

namespace {

struct Box {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

// Extents cairo reports (of the path or the clip) read under the identity: cairo keeps both in
// device space, so they come in device pixels.
Box DeviceExtents(cairo_t* cr, void (*read)(cairo_t*, double*, double*, double*, double*)) {
    Box b;
    cairo_matrix_t saved;
    cairo_get_matrix(cr, &saved);
    cairo_identity_matrix(cr);
    read(cr, &b.x0, &b.y0, &b.x1, &b.y1);
    cairo_set_matrix(cr, &saved);
    return b;
}

Box DeviceClip(cairo_t* cr) {
    return DeviceExtents(cr, cairo_clip_extents);
}

std::int64_t Pixels(const Box& b) {
    const double w = std::ceil(b.x1) - std::floor(b.x0);
    const double h = std::ceil(b.y1) - std::floor(b.y0);
    if (!(w > 0 && h > 0)) return 0;
    // A clip is at most a surface, so the product stays far inside 64 bits.
    return static_cast<std::int64_t>(w) * static_cast<std::int64_t>(h);
}

Box Intersect(const Box& a, const Box& b) {
    return {std::max(a.x0, b.x0), std::max(a.y0, b.y0), std::min(a.x1, b.x1), std::min(a.y1, b.y1)};
}

}  // namespace

bool FrameWork::Charge(std::int64_t units) {
    if (spent_) return false;
    units = std::max<std::int64_t>(units, 0);
    if (units > budget_ - done_) {
        spent_ = true;
        return false;
    }
    done_ += units;
    return true;
}

bool FrameWork::ChargeIfLeft(std::int64_t units) {
    units = std::max<std::int64_t>(units, 0);
    if (spent_ || units > budget_ - done_) return false;
    done_ += units;
    return true;
}

std::int64_t PathPixels(cairo_t* cr, double margin) {
    Box path = DeviceExtents(cr, cairo_path_extents);
    if (!(margin >= 0)) margin = 0;
    path = {path.x0 - margin, path.y0 - margin, path.x1 + margin, path.y1 + margin};
    return Pixels(Intersect(path, DeviceClip(cr)));
}

std::int64_t ClipPixels(cairo_t* cr) {
    return Pixels(DeviceClip(cr));
}

std::int64_t BoxPixels(cairo_t* cr, double x0, double y0, double x1, double y1) {
    return Pixels(Intersect({x0, y0, x1, y1}, DeviceClip(cr)));
}

}  // namespace player
