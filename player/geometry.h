// Shape geometry: a shape's edge records turned once into drawable paths, one closed path per
// fill style (left fills reversed, edges linked end to start) and one open path per line style,
// grouped in the layers that new style arrays begin. Coordinates stay in twips.
#pragma once

#include <cairo.h>

#include <vector>

#include "player/model.h"

namespace player {

// A path in cairo's own layout, ready for cairo_append_path.
class PathData {
  public:
    void MoveTo(double x, double y);
    void LineTo(double x, double y);
    void CurveTo(double x1, double y1, double x2, double y2, double x3, double y3);
    void Close();
    bool Empty() const { return data_.empty(); }
    // Valid while this object lives and is not changed.
    const cairo_path_t* Get() const;

  private:
    void Point(double x, double y);
    std::vector<cairo_path_data_t> data_;
    mutable cairo_path_t path_{};
};

struct FillPath {
    const FillStyle* style = nullptr;
    PathData path;
};

struct StrokePath {
    const LineStyle* style = nullptr;
    PathData path;
};

struct ShapeLayer {
    std::vector<FillPath> fills;      // in fill style order
    std::vector<StrokePath> strokes;  // in line style order, drawn over the fills
    bool fillsTouch = false;          // some edge has different fills on its two sides
};

struct ShapeGeometry {
    std::vector<ShapeLayer> layers;
    bool nonZero = false;
};

// The geometry refers to the shape's styles: the shape must outlive it.
ShapeGeometry BuildGeometry(const Shape& shape);

// Whether a point of the shape's space (twips) falls inside one of its fills, by the shape's
// fill rule, or on one of its strokes (a hairline counting as one pixel wide).
bool ShapeCovers(const Shape& shape, double x, double y);

}  // namespace player
