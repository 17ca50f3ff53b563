// Draws a movie's current display tree into a caller's premultiplied ARGB32 buffer with cairo:
// the stage fitted with its aspect kept and centred (margins in the background colour), matrices
// and colour transforms concatenated down the tree, masks by clip depth. Keeps each shape's
// geometry from its first use on.
#pragma once

#include <cairo.h>

#include <map>
#include <memory>
#include <unordered_map>

#include "player/geometry.h"
#include "player/limits.h"
#include "player/player.h"
#include "player/timeline.h"

namespace player {

// A colour transform in floating point, as concatenated down the tree.
struct ColorMix {
    double mult[4] = {1, 1, 1, 1};
    double add[4] = {0, 0, 0, 0};  // 0..255 units

    static ColorMix From(const ColorTransform& c);
    ColorMix Then(const ColorMix& outer) const;  // this applied first, outer after
    Rgba Apply(Rgba c) const;
    bool Invisible() const { return mult[3] <= 0 && add[3] <= 0; }
};

cairo_matrix_t ToCairo(const Matrix& m);

// Where the stage lands in a width x height target: scale (pixels per pixel of stage) and
// top-left offset. A stage of no area gets scale 0.
struct StageFit {
    double scale = 0;
    double offsetX = 0, offsetY = 0;
};
StageFit FitStage(const Rect& frameSize, int width, int height);

class Renderer {
  public:
    Renderer() = default;
    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;

    void Render(const MovieState& state, const BufferView& target);

  private:
    struct RenderState {
        cairo_matrix_t matrix;  // twips of the object -> device pixels
        ColorMix color;
        bool mask = false;    // drawing a mask: coverage only
        int maskNesting = 0;  // masks this drawing is inside
    };

    using DisplayList = std::map<std::uint16_t, DisplayObject>;

    void DrawList(cairo_t* cr, const SpriteInstance& instance, const RenderState& state);
    void DrawRange(cairo_t* cr, const DisplayList& list, DisplayList::const_iterator begin,
                   DisplayList::const_iterator end, const RenderState& state);
    void DrawObject(cairo_t* cr, const DisplayObject& object, const RenderState& parent);
    void DrawShape(cairo_t* cr, const Shape& shape, const RenderState& state);
    void SetFillSource(cairo_t* cr, const FillStyle& fill, const RenderState& state);
    void Stroke(cairo_t* cr, const StrokePath& stroke, const RenderState& state);
    const ShapeGeometry& Geometry(const Shape& shape);

    std::unordered_map<const Shape*, std::unique_ptr<ShapeGeometry>> geometry_;
    double stageScale_ = 1;  // device pixels per stage pixel
};

}  // namespace player
