#include "player/geometry.h"

#include <algorithm>
#include <cmath>

#include <cstdint>
#include <map>
#include <unordered_map>

#include "player/cairo_handles.h"
#include "player/units.h"

namespace player {

void PathData::Point(double x, double y) {
    cairo_path_data_t p;
    p.point.x = x;
    p.point.y = y;
    data_.push_back(p);
}

void PathData::MoveTo(double x, double y) {
    cairo_path_data_t h;
    h.header.type = CAIRO_PATH_MOVE_TO;
    h.header.length = 2;
    data_.push_back(h);
    Point(x, y);
}

void PathData::LineTo(double x, double y) {
    cairo_path_data_t h;
    h.header.type = CAIRO_PATH_LINE_TO;
    h.header.length = 2;
    data_.push_back(h);
    Point(x, y);
}

void PathData::CurveTo(double x1, double y1, double x2, double y2, double x3, double y3) {
    cairo_path_data_t h;
    h.header.type = CAIRO_PATH_CURVE_TO;
    h.header.length = 4;
    data_.push_back(h);
    Point(x1, y1);
    Point(x2, y2);
    Point(x3, y3);
}

void PathData::Close() {
    cairo_path_data_t h;
    h.header.type = CAIRO_PATH_CLOSE_PATH;
    h.header.length = 1;
    data_.push_back(h);
}

const cairo_path_t* PathData::Get() const {
    path_.status = CAIRO_STATUS_SUCCESS;
    path_.data = const_cast<cairo_path_data_t*>(data_.data());
    path_.num_data = static_cast<int>(data_.size());
    return &path_;
}

namespace {

struct Edge {
    std::int64_t x0, y0, cx, cy, x1, y1;
    bool curved;

    Edge Reversed() const { return {x1, y1, cx, cy, x0, y0, curved}; }
};

std::uint64_t Key(std::int64_t x, std::int64_t y) {
    return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(x)) << 32) |
           static_cast<std::uint32_t>(y);
}

// Quadratic edge as cairo's cubic.
void AddEdge(PathData& path, const Edge& e) {
    if (!e.curved) {
        path.LineTo(double(e.x1), double(e.y1));
        return;
    }
    const double c1x = e.x0 + 2.0 / 3.0 * (e.cx - e.x0), c1y = e.y0 + 2.0 / 3.0 * (e.cy - e.y0);
    const double c2x = e.x1 + 2.0 / 3.0 * (e.cx - e.x1), c2y = e.y1 + 2.0 / 3.0 * (e.cy - e.y1);
    path.CurveTo(c1x, c1y, c2x, c2y, double(e.x1), double(e.y1));
}

// Links a fill's edges into closed contours: each contour follows edges whose start is the
// previous edge's end until it returns to where it began or no edge continues it.
void LinkFill(const std::vector<Edge>& edges, PathData& path) {
    std::unordered_multimap<std::uint64_t, std::size_t> byStart;
    byStart.reserve(edges.size());
    for (std::size_t i = 0; i < edges.size(); ++i)
        byStart.emplace(Key(edges[i].x0, edges[i].y0), i);
    std::vector<bool> used(edges.size(), false);
    for (std::size_t first = 0; first < edges.size(); ++first) {
        if (used[first]) continue;
        const std::uint64_t start = Key(edges[first].x0, edges[first].y0);
        path.MoveTo(double(edges[first].x0), double(edges[first].y0));
        std::size_t current = first;
        while (true) {
            used[current] = true;
            AddEdge(path, edges[current]);
            const std::uint64_t end = Key(edges[current].x1, edges[current].y1);
            if (end == start) break;
            auto [lo, hi] = byStart.equal_range(end);
            std::size_t next = edges.size();
            for (auto it = lo; it != hi; ++it) {
                if (!used[it->second]) {
                    next = it->second;
                    byStart.erase(it);
                    break;
                }
            }
            if (next == edges.size()) break;
            current = next;
        }
        path.Close();
    }
}

// Strokes follow the record order; a gap starts a new sub-path, a return to the start closes it.
void TraceStroke(const std::vector<Edge>& edges, bool noClose, PathData& path) {
    std::size_t i = 0;
    while (i < edges.size()) {
        const Edge& first = edges[i];
        path.MoveTo(double(first.x0), double(first.y0));
        std::size_t j = i;
        AddEdge(path, edges[j]);
        while (j + 1 < edges.size() && edges[j + 1].x0 == edges[j].x1 &&
               edges[j + 1].y0 == edges[j].y1) {
            ++j;
            AddEdge(path, edges[j]);
        }
        if (!noClose && j > i && edges[j].x1 == first.x0 && edges[j].y1 == first.y0) path.Close();
        i = j + 1;
    }
}

// Edges gathered for one style layer, keyed by 1-based style index.
struct LayerEdges {
    const StyleArrays* styles = nullptr;
    std::map<std::uint32_t, std::vector<Edge>> fills;
    std::map<std::uint32_t, std::vector<Edge>> lines;
    bool fillsTouch = false;
};

ShapeLayer FinishLayer(const LayerEdges& edges) {
    ShapeLayer layer;
    layer.fillsTouch = edges.fillsTouch;
    for (const auto& [index, list] : edges.fills) {
        if (index == 0 || index > edges.styles->fills.size()) continue;
        FillPath fill;
        fill.style = &edges.styles->fills[index - 1];
        LinkFill(list, fill.path);
        layer.fills.push_back(std::move(fill));
    }
    for (const auto& [index, list] : edges.lines) {
        if (index == 0 || index > edges.styles->lines.size()) continue;
        StrokePath stroke;
        stroke.style = &edges.styles->lines[index - 1];
        TraceStroke(list, stroke.style->noClose, stroke.path);
        layer.strokes.push_back(std::move(stroke));
    }
    return layer;
}

}  // namespace

ShapeGeometry BuildGeometry(const Shape& shape) {
    ShapeGeometry geometry;
    geometry.nonZero = shape.nonZeroWinding;
    LayerEdges current;
    current.styles = &shape.styles;
    std::int64_t x = 0, y = 0;
    std::uint32_t fill0 = 0, fill1 = 0, line = 0;

    auto addEdge = [&](const Edge& e) {
        if (fill1) current.fills[fill1].push_back(e);
        if (fill0) current.fills[fill0].push_back(e.Reversed());
        if (line) current.lines[line].push_back(e);
        if (fill0 && fill1 && fill0 != fill1) current.fillsTouch = true;
    };

    for (const ShapeRecord& record : shape.records) {
        if (const auto* c = std::get_if<StyleChange>(&record)) {
            if (c->newStyles) {
                geometry.layers.push_back(FinishLayer(current));
                current = LayerEdges{};
                current.styles = &*c->newStyles;
                fill0 = fill1 = line = 0;
            }
            if (c->moveX) {
                x = *c->moveX;
                y = *c->moveY;
            }
            if (c->fill0) fill0 = *c->fill0;
            if (c->fill1) fill1 = *c->fill1;
            if (c->line) line = *c->line;
        } else if (const auto* s = std::get_if<StraightEdge>(&record)) {
            const Edge e{x, y, 0, 0, x + s->dx, y + s->dy, false};
            addEdge(e);
            x = e.x1;
            y = e.y1;
        } else {
            const auto& q = std::get<CurvedEdge>(record);
            const std::int64_t cx = x + q.controlDx, cy = y + q.controlDy;
            const Edge e{x, y, cx, cy, cx + q.anchorDx, cy + q.anchorDy, true};
            addEdge(e);
            x = e.x1;
            y = e.y1;
        }
    }
    geometry.layers.push_back(FinishLayer(current));
    return geometry;
}

bool ShapeCovers(const Shape& shape, double x, double y) {
    if (!std::isfinite(x) || !std::isfinite(y) || x < shape.bounds.xMin ||
        x > shape.bounds.xMax || y < shape.bounds.yMin || y > shape.bounds.yMax)
        return false;
    const ShapeGeometry geometry = BuildGeometry(shape);
    const CairoSurface surface(cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1));
    const CairoContext cr(cairo_create(surface.get()));
    cairo_t* c = cr.get();
    cairo_set_fill_rule(c, geometry.nonZero ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
    for (const ShapeLayer& layer : geometry.layers) {
        for (const FillPath& fill : layer.fills) {
            if (fill.path.Empty()) continue;
            cairo_new_path(c);
            cairo_append_path(c, fill.path.Get());
            if (cairo_in_fill(c, x, y)) return true;
        }
        for (const StrokePath& stroke : layer.strokes) {
            if (stroke.path.Empty() || !stroke.style) continue;
            cairo_new_path(c);
            cairo_append_path(c, stroke.path.Get());
            cairo_set_line_width(c, std::max<double>(stroke.style->width, kTwipsPerPixel));
            cairo_set_line_cap(c, CAIRO_LINE_CAP_ROUND);
            cairo_set_line_join(c, CAIRO_LINE_JOIN_ROUND);
            if (cairo_in_stroke(c, x, y)) return true;
        }
    }
    return false;
}

}  // namespace player
