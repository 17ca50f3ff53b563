// The renderer's compositing stage: objects with a blend mode, filters or bitmap caching are
// drawn into a layer of their own, filtered, coloured and composited onto what lies below.
#include <algorithm>
#include <array>
#include <cmath>

#include "player/effects.h"
#include "player/renderer.h"
#include "player/units.h"

namespace player {
namespace {

// Room for strokes drawn through pixel centres (hairlines) beyond a shape's stored bounds; the
// bounds of fills are exact, and a layer cut there clips their anti-aliased edge as a cached
// bitmap does.
constexpr double kStrokeMargin = 1.0;

bool HasStrokes(const ShapeGeometry& geometry) {
    return std::any_of(geometry.layers.begin(), geometry.layers.end(),
                       [](const ShapeLayer& l) { return !l.strokes.empty(); });
}

DeviceBox Union(const DeviceBox& a, const DeviceBox& b) {
    if (a.Empty()) return b;
    if (b.Empty()) return a;
    return {std::min(a.x0, b.x0), std::min(a.y0, b.y0), std::max(a.x1, b.x1), std::max(a.y1, b.y1)};
}

DeviceBox Intersect(const DeviceBox& a, const DeviceBox& b) {
    return {std::max(a.x0, b.x0), std::max(a.y0, b.y0), std::min(a.x1, b.x1), std::min(a.y1, b.y1)};
}

DeviceBox Grow(const DeviceBox& b, double left, double top, double right, double bottom) {
    return {b.x0 - left, b.y0 - top, b.x1 + right, b.y1 + bottom};
}

DeviceBox Grow(const DeviceBox& b, const media::FilterPadding& p) {
    return Grow(b, p.left, p.top, p.right, p.bottom);
}

// A rectangle in twips through the matrix, as the box around its four corners.
DeviceBox Transform(const Rect& r, const cairo_matrix_t& m) {
    if (r.xMin > r.xMax || r.yMin > r.yMax) return {};
    const double xs[2] = {double(r.xMin), double(r.xMax)};
    const double ys[2] = {double(r.yMin), double(r.yMax)};
    DeviceBox box{HUGE_VAL, HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (double x : xs)
        for (double y : ys) {
            double px = x, py = y;
            cairo_matrix_transform_point(&m, &px, &py);
            box = {std::min(box.x0, px), std::min(box.y0, py), std::max(box.x1, px),
                   std::max(box.y1, py)};
        }
    return box;
}

DeviceBox WithStrokes(const DeviceBox& box, const ShapeGeometry& geometry) {
    return HasStrokes(geometry)
               ? Grow(box, kStrokeMargin, kStrokeMargin, kStrokeMargin, kStrokeMargin)
               : box;
}

// The current clip in device pixels (the picture, or the part of a group being drawn).
DeviceBox ClipBox(cairo_t* cr) {
    cairo_save(cr);
    cairo_identity_matrix(cr);
    DeviceBox b;
    cairo_clip_extents(cr, &b.x0, &b.y0, &b.x1, &b.y1);
    cairo_restore(cr);
    return b;
}

bool IsIdentityMix(const ColorMix& c) {
    for (int i = 0; i < 4; ++i)
        if (c.mult[i] != 1 || c.add[i] != 0) return false;
    return true;
}

// The colour transform on straight colour, through one table per channel.
void ApplyColor(media::Image& layer, const ColorMix& color) {
    std::array<std::array<std::uint8_t, 256>, 4> table;
    for (int c = 0; c < 4; ++c)
        for (int v = 0; v < 256; ++v)
            table[c][v] = static_cast<std::uint8_t>(
                std::clamp(std::lround(v * color.mult[c] + color.add[c]), 0L, 255L));
    for (std::uint32_t& p : layer.argb) {
        const std::uint32_t s = media::Unpremultiply(p);
        p = media::Premultiply(media::PackArgb(table[3][media::Alpha(s)], table[0][media::Red(s)],
                                               table[1][media::Green(s)],
                                               table[2][media::Blue(s)]));
    }
}

CairoSurface Wrap(media::Image& image) {
    return CairoSurface(cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(image.argb.data()), CAIRO_FORMAT_ARGB32, image.width,
        image.height, image.width * 4));
}

void PaintOver(cairo_t* cr, media::Image& layer, int x, int y) {
    const CairoSurface surface = Wrap(layer);
    cairo_save(cr);
    cairo_identity_matrix(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    cairo_set_source_surface(cr, surface.get(), x, y);
    cairo_paint(cr);
    cairo_restore(cr);
}

// Blends the layer, its corner at device pixel (x, y), into the surface cr draws on (the
// picture, a mask's group or an enclosing layer), inside the current clip.
void Composite(cairo_t* cr, media::Image& layer, int x, int y, media::BlendMode mode) {
    cairo_surface_t* target = cairo_get_group_target(cr);
    if (mode == media::BlendMode::kNormal || mode == media::BlendMode::kLayer ||
        cairo_surface_get_type(target) != CAIRO_SURFACE_TYPE_IMAGE ||
        cairo_image_surface_get_format(target) != CAIRO_FORMAT_ARGB32) {
        PaintOver(cr, layer, x, y);
        return;
    }
    cairo_surface_flush(target);
    double ox = 0, oy = 0;
    cairo_surface_get_device_offset(target, &ox, &oy);
    const DeviceBox clip = ClipBox(cr);
    const int width = cairo_image_surface_get_width(target);
    const int height = cairo_image_surface_get_height(target);
    const int x0 = std::max(0, static_cast<int>(std::ceil(clip.x0 + ox - 1e-6)));
    const int y0 = std::max(0, static_cast<int>(std::ceil(clip.y0 + oy - 1e-6)));
    const int x1 = std::min(width, static_cast<int>(std::floor(clip.x1 + ox + 1e-6)));
    const int y1 = std::min(height, static_cast<int>(std::floor(clip.y1 + oy + 1e-6)));
    if (x0 >= x1 || y0 >= y1) return;
    const int stride = cairo_image_surface_get_stride(target) / 4;
    auto* pixels = reinterpret_cast<std::uint32_t*>(cairo_image_surface_get_data(target));
    const media::PixelView view{pixels + static_cast<std::size_t>(y0) * stride + x0, x1 - x0,
                                y1 - y0, stride};
    media::Blend(view, layer, x + static_cast<int>(std::lround(ox)) - x0,
                 y + static_cast<int>(std::lround(oy)) - y0, mode);
    cairo_surface_mark_dirty(target);
}

bool ActsOnLayerBelow(media::BlendMode mode) {
    return mode == media::BlendMode::kAlpha || mode == media::BlendMode::kErase;
}

}  // namespace

std::vector<media::Filter> Renderer::ScaledFilters(const DisplayObject& object) const {
    std::vector<media::Filter> filters;
    if (!object.filters) return filters;
    // Filter sizes are in stage pixels: a picture drawn larger than the stage blurs as much more.
    for (const media::Filter& f : DecodeFilters(*object.filters, limits_.maxFiltersPerObject))
        filters.push_back(media::ScaledFilter(f, stageScale_, stageScale_));
    return filters;
}

std::optional<DeviceBox> Renderer::ContentBounds(const DisplayObject& object,
                                                 const cairo_matrix_t& matrix, int nesting) {
    if (const auto* shape = std::get_if<Shape>(object.character))
        return WithStrokes(Transform(shape->bounds, matrix), Geometry(*shape));
    if (const auto* morph = std::get_if<MorphShape>(object.character)) {
        const DeviceBox box =
            Union(Transform(morph->startBounds, matrix), Transform(morph->endBounds, matrix));
        return WithStrokes(box, MorphAtRatio(*morph, object.ratio).geometry);
    }
    if (const auto* video = std::get_if<VideoStream>(object.character))
        return Transform(
            Rect{0, video->width * kTwipsPerPixel, 0, video->height * kTwipsPerPixel}, matrix);
    auto pixelBox = [&matrix](double x, double y, double w, double h) {
        auto twips = [](double px) {
            return static_cast<std::int32_t>(std::clamp(px * kTwipsPerPixel, -1e9, 1e9));
        };
        return Transform(Rect{twips(x), twips(x + w), twips(y), twips(y + h)}, matrix);
    };
    if (object.bitmap) {
        if (!object.bitmap->IsValid()) return DeviceBox{};
        return pixelBox(0, 0, object.bitmap->width, object.bitmap->height);
    }
    if (!object.sprite || nesting > limits_.maxNestingDepth) return std::nullopt;
    // A scrolled clip covers its rectangle, moved to its origin.
    if (object.scrollRect) {
        const auto& r = *object.scrollRect;
        if (!(r[2] > 0) || !(r[3] > 0)) return DeviceBox{};
        return pixelBox(0, 0, r[2], r[3]);
    }
    DeviceBox box;
    if (const Drawing* drawing = object.sprite->drawing.get(); drawing && !drawing->Empty())
        box = WithStrokes(Transform(drawing->GetShape().bounds, matrix), drawing->Geometry());
    for (const auto& [depth, child] : object.sprite->displayList) {
        if ((!child.character && !child.sprite && !child.bitmap) || IsHidden(child)) continue;
        cairo_matrix_t m;
        const cairo_matrix_t local = ToCairo(child.matrix);
        cairo_matrix_multiply(&m, &local, &matrix);
        const auto inner = ContentBounds(child, m, nesting + 1);
        if (!inner) return std::nullopt;
        box = Union(
            box, inner->Empty() ? *inner : Grow(*inner, media::PaddingFor(ScaledFilters(child))));
    }
    return box;
}

void Renderer::FillBackground(cairo_t* cr, const DisplayObject& object, const RenderState& state) {
    const std::optional<DeviceBox> bounds = ContentBounds(object, state.matrix, 0);
    if (!bounds || bounds->Empty()) return;
    const DeviceBox& b = *bounds;
    const Rgba c = state.color.Apply(*object.opaqueBackground);
    cairo_save(cr);
    cairo_identity_matrix(cr);
    cairo_rectangle(cr, std::round(b.x0), std::round(b.y0), std::round(b.x1) - std::round(b.x0),
                    std::round(b.y1) - std::round(b.y0));
    cairo_set_source_rgb(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0);
    if (ChargePath(cr, 0)) cairo_fill(cr);
    cairo_new_path(cr);
    cairo_restore(cr);
}

void Renderer::DrawLayered(cairo_t* cr, const DisplayObject& object, const RenderState& state) {
    const media::BlendMode mode = BlendModeOf(object);
    // Alpha and erase act on the layer of an enclosing object; with none they have nothing to
    // act on, and the object shows nothing.
    if (ActsOnLayerBelow(mode) && state.layerNesting == 0) return;
    if (state.layerNesting >= limits_.maxLayerNesting) {
        DrawContent(cr, object, state);
        return;
    }
    const std::vector<media::Filter> filters = ScaledFilters(object);
    const media::FilterPadding pad = media::PaddingFor(filters);

    // What can reach the picture: the object's own box grown by its filters, within the clip
    // grown the other way round (a shadow cast to the right comes from content to the left of
    // the clip, so only that side needs the shadow's reach).
    const DeviceBox clip = ClipBox(cr);
    const DeviceBox reachable = Grow(clip, pad.right, pad.bottom, pad.left, pad.top);
    RenderState placed = state;
    std::optional<DeviceBox> bounds = ContentBounds(object, state.matrix, 0);
    // A cached bitmap (filters make one too) lands on whole pixels: its box's corner is moved
    // to the nearest pixel corner.
    if (bounds && !bounds->Empty() && (object.cacheAsBitmap.value_or(0) || !filters.empty())) {
        const double dx = std::round(bounds->x0) - bounds->x0;
        const double dy = std::round(bounds->y0) - bounds->y0;
        placed.matrix.x0 += dx;
        placed.matrix.y0 += dy;
        bounds = Grow(*bounds, -dx, -dy, dx, dy);
    }
    DeviceBox area = Intersect(bounds ? Grow(*bounds, pad) : reachable, reachable);
    auto pixels = [](const DeviceBox& b) {
        return (std::ceil(b.x1) - std::floor(b.x0)) * (std::ceil(b.y1) - std::floor(b.y0));
    };
    const auto maxLayerPixels = double(limits_.maxLayerPixels);
    if (!area.Empty() && pixels(area) > maxLayerPixels) area = Intersect(area, clip);
    if (area.Empty()) return;
    if (pixels(area) > maxLayerPixels) {
        DrawContent(cr, object, state);
        return;
    }
    const int x = static_cast<int>(std::floor(area.x0));
    const int y = static_cast<int>(std::floor(area.y0));
    const int width = static_cast<int>(std::ceil(area.x1)) - x;
    const int height = static_cast<int>(std::ceil(area.y1)) - y;
    if (!work_.Charge(kLayerWorkPerPixel * width * height)) return;
    media::Image layer;
    if (!media::AllocateImage(layer, width, height, limits_.maxLayerPixels)) {
        DrawContent(cr, object, state);
        return;
    }

    RenderState inner = placed;
    cairo_matrix_t shift;
    cairo_matrix_init_translate(&shift, -x, -y);
    cairo_matrix_multiply(&inner.matrix, &placed.matrix, &shift);
    inner.color = ColorMix{};  // applied to the layer as a whole, after the filters
    ++inner.layerNesting;
    const CairoSurface surface = Wrap(layer);
    {
        const CairoContext layerCr(cairo_create(surface.get()));
        cairo_set_antialias(layerCr.get(), Antialias());
        DrawContent(layerCr.get(), object, inner);
    }
    cairo_surface_flush(surface.get());

    for (const media::Filter& f : filters) {
        if (filterBudget_ < std::ssize(layer.argb)) break;
        if (!work_.ChargeIfLeft(kFilterWorkPerPixel * std::ssize(layer.argb))) break;
        filterBudget_ -= std::ssize(layer.argb);
        media::ApplyFilter(layer, f, limits_.maxLayerPixels);
    }
    if (!IsIdentityMix(state.color)) ApplyColor(layer, state.color);
    Composite(cr, layer, x, y, mode);
}

}  // namespace player
