// A clip's own drawing, made by scripts one call at a time (moveTo, lineTo, beginFill, ...) and
// kept as an ordinary shape, so the renderer draws it with the same geometry as any other.
// Every fill begins a style layer of its own, so later fills cover earlier ones and their
// lines, as they were drawn; an open fill is closed back to where it began.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "player/geometry.h"
#include "player/limits.h"
#include "player/model.h"
#include "player/script/host.h"

namespace player {

class Drawing {
  public:
    explicit Drawing(std::size_t maxRecords = Limits{}.maxDrawingRecords)
        : maxRecords_(maxRecords) {}
    // A copy draws the same; its geometry is built afresh.
    Drawing(const Drawing& other);
    Drawing& operator=(const Drawing&) = delete;
    Drawing(Drawing&&) = default;
    Drawing& operator=(Drawing&&) = default;

    void Apply(const script::DrawCommand& command);
    bool Empty() const { return shape_.records.empty(); }
    // Twips, with the styles' bounds; valid until the next change.
    const Shape& GetShape() const { return shape_; }
    // Built on first use after each change.
    const ShapeGeometry& Geometry() const;

  private:
    void Changed() { geometry_.reset(); }
    // Pen positions in twips, clamped so that edges between them fit their records.
    static std::int32_t Twips(double pixels);
    bool Room(std::size_t records) const { return shape_.records.size() + records <= maxRecords_; }
    void NewLayer(const std::optional<FillStyle>& fill);
    void SetLine(const std::optional<LineStyle>& line);
    void MoveTo(std::int32_t x, std::int32_t y);
    // Straight when there is no control point.
    void Edge(std::int32_t x, std::int32_t y,
              std::optional<std::pair<std::int32_t, std::int32_t>> control);
    void CloseFill();
    void EndFill();
    void Include(std::int32_t x, std::int32_t y);
    StyleArrays& LayerStyles();

    Shape shape_;
    std::size_t maxRecords_;
    std::int32_t x_ = 0, y_ = 0;            // the pen
    std::int32_t startX_ = 0, startY_ = 0;  // where the open fill's contour began
    bool filling_ = false;
    bool moved_ = true;  // the pen moved since the last record: the next edge needs a move
    bool hasLayer_ = false;
    std::size_t layerRecord_ = 0;  // the record whose new styles are the current layer's
    std::optional<LineStyle> line_;
    std::uint32_t lineIndex_ = 0;  // the current line style in the layer, 0 for none
    std::int32_t widest_ = 0;      // the widest line so far, twips
    bool hasBounds_ = false;
    mutable std::unique_ptr<ShapeGeometry> geometry_;
};

// A drawing command's colour with its alpha in percent.
Rgba DrawingColor(std::uint32_t rgb, double alphaPercent);
// A gradient fill from a command's stops, matrix, spread and focal point.
FillStyle DrawingGradient(const script::DrawCommand& command);
// A bitmap fill from a command's pixels, matrix, repeat and smoothing.
FillStyle DrawingBitmap(const script::DrawCommand& command);

}  // namespace player
