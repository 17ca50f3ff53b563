#include "player/drawing.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "player/units.h"

namespace player {

namespace {

// Pen positions stay within this many twips of the origin: edges between any two of them fit
// a record's 32-bit deltas.
constexpr double kMaxCoordinate = double(1 << 29);

std::int32_t ToFixed16(double v) {
    if (!std::isfinite(v)) return 0;
    return static_cast<std::int32_t>(
        std::clamp(std::round(v * kFixed16One), -2147483647.0, 2147483647.0));
}

std::uint8_t Alpha(double percent) {
    if (!std::isfinite(percent)) return 255;
    return static_cast<std::uint8_t>(std::lround(std::clamp(percent, 0.0, 100.0) * 2.55));
}

LineStyle LineFrom(const script::DrawCommand& c) {
    LineStyle line;
    const double thickness = std::isfinite(c.thickness) ? std::clamp(c.thickness, 0.0, 255.0) : 0;
    line.width = static_cast<std::uint16_t>(std::lround(PixelsToTwips(thickness)));
    line.color = DrawingColor(c.rgb, c.alpha);
    using Cap = script::DrawCommand::Cap;
    using Join = script::DrawCommand::Join;
    line.startCap = line.endCap = c.cap == Cap::kNone     ? CapStyle::kNone
                                  : c.cap == Cap::kSquare ? CapStyle::kSquare
                                                          : CapStyle::kRound;
    line.join = c.join == Join::kBevel   ? JoinStyle::kBevel
                : c.join == Join::kMiter ? JoinStyle::kMiter
                                         : JoinStyle::kRound;
    const double miter = std::isfinite(c.miterLimit) ? std::clamp(c.miterLimit, 1.0, 255.0) : 3;
    line.miterLimit = static_cast<std::uint16_t>(std::lround(miter * 256));
    line.noHScale = c.noHScale;
    line.noVScale = c.noVScale;
    line.pixelHinting = c.pixelHinting;
    return line;
}

}  // namespace

Rgba DrawingColor(std::uint32_t rgb, double alphaPercent) {
    return {std::uint8_t(rgb >> 16), std::uint8_t(rgb >> 8), std::uint8_t(rgb),
            Alpha(alphaPercent)};
}

FillStyle DrawingBitmap(const script::DrawCommand& c) {
    FillStyle fill;
    fill.kind = c.repeat ? (c.smooth ? FillKind::kRepeatingBitmap : FillKind::kRepeatingBitmapHard)
                         : (c.smooth ? FillKind::kClippedBitmap : FillKind::kClippedBitmapHard);
    fill.image = c.bitmap;
    // From bitmap pixels to the clip's twips.
    Matrix& m = fill.bitmapMatrix;
    m.scaleX = ToFixed16(c.matrix[0] * 20);
    m.rotateSkew0 = ToFixed16(c.matrix[1] * 20);
    m.rotateSkew1 = ToFixed16(c.matrix[2] * 20);
    m.scaleY = ToFixed16(c.matrix[3] * 20);
    auto twips = [](double px) {
        return std::isfinite(px) ? static_cast<std::int32_t>(std::clamp(
                                       std::round(px * 20), -kMaxCoordinate, kMaxCoordinate))
                                 : 0;
    };
    m.translateX = twips(c.matrix[4]);
    m.translateY = twips(c.matrix[5]);
    return fill;
}

FillStyle DrawingGradient(const script::DrawCommand& c) {
    FillStyle fill;
    const bool focal = c.gradient == script::DrawCommand::Gradient::kRadial && c.focal != 0 &&
                       std::isfinite(c.focal);
    fill.kind = c.gradient == script::DrawCommand::Gradient::kLinear ? FillKind::kLinear
                : focal                                              ? FillKind::kFocalRadial
                                                                     : FillKind::kRadial;
    Gradient& g = fill.gradient;
    g.matrix.scaleX = ToFixed16(c.matrix[0]);
    g.matrix.rotateSkew0 = ToFixed16(c.matrix[1]);
    g.matrix.rotateSkew1 = ToFixed16(c.matrix[2]);
    g.matrix.scaleY = ToFixed16(c.matrix[3]);
    auto twips = [](double px) {
        return std::isfinite(px) ? static_cast<std::int32_t>(std::clamp(
                                       std::round(PixelsToTwips(px)), -kMaxCoordinate, kMaxCoordinate))
                                 : 0;
    };
    g.matrix.translateX = twips(c.matrix[4]);
    g.matrix.translateY = twips(c.matrix[5]);
    g.spread = c.spread == 1   ? SpreadMode::kReflect
               : c.spread == 2 ? SpreadMode::kRepeat
                               : SpreadMode::kPad;
    g.interpolation = c.interpolation == 1 ? Interpolation::kLinearRgb : Interpolation::kRgb;
    if (focal)
        g.focalPoint = static_cast<std::int16_t>(std::lround(std::clamp(c.focal, -1.0, 1.0) * 256));
    for (const script::DrawCommand::Stop& stop : c.stops) {
        GradientRecord r;
        r.ratio = static_cast<std::uint8_t>(
            std::isfinite(stop.ratio) ? std::lround(std::clamp(stop.ratio, 0.0, 255.0)) : 0);
        r.color = DrawingColor(stop.rgb, stop.alpha);
        g.records.push_back(r);
    }
    return fill;
}

Drawing::Drawing(const Drawing& other)
    : shape_(other.shape_),
      maxRecords_(other.maxRecords_),
      x_(other.x_),
      y_(other.y_),
      startX_(other.startX_),
      startY_(other.startY_),
      filling_(other.filling_),
      moved_(other.moved_),
      hasLayer_(other.hasLayer_),
      layerRecord_(other.layerRecord_),
      line_(other.line_),
      lineIndex_(other.lineIndex_),
      widest_(other.widest_),
      hasBounds_(other.hasBounds_) {}

std::int32_t Drawing::Twips(double pixels) {
    if (!std::isfinite(pixels)) return 0;
    return static_cast<std::int32_t>(
        std::clamp(std::round(PixelsToTwips(pixels)), -kMaxCoordinate, kMaxCoordinate));
}

const ShapeGeometry& Drawing::Geometry() const {
    if (!geometry_) geometry_ = std::make_unique<ShapeGeometry>(BuildGeometry(shape_));
    return *geometry_;
}

StyleArrays& Drawing::LayerStyles() {
    return *std::get<StyleChange>(shape_.records[layerRecord_]).newStyles;
}

void Drawing::Include(std::int32_t x, std::int32_t y) {
    const std::int32_t half = widest_ / 2;
    Rect& b = shape_.bounds;
    const Rect r{x - half, x + half, y - half, y + half};
    if (!hasBounds_) {
        b = r;
        hasBounds_ = true;
        return;
    }
    b.xMin = std::min(b.xMin, r.xMin);
    b.xMax = std::max(b.xMax, r.xMax);
    b.yMin = std::min(b.yMin, r.yMin);
    b.yMax = std::max(b.yMax, r.yMax);
}

void Drawing::NewLayer(const std::optional<FillStyle>& fill) {
    if (!Room(1)) return;
    StyleChange change;
    change.newStyles.emplace();
    if (fill) change.newStyles->fills.push_back(*fill);
    if (line_) change.newStyles->lines.push_back(*line_);
    lineIndex_ = line_ ? 1 : 0;
    change.fill1 = fill ? 1 : 0;
    change.line = lineIndex_;
    change.moveX = x_;
    change.moveY = y_;
    layerRecord_ = shape_.records.size();
    hasLayer_ = true;
    moved_ = false;
    shape_.records.push_back(std::move(change));
}

void Drawing::SetLine(const std::optional<LineStyle>& line) {
    line_ = line;
    if (line_) widest_ = std::max<std::int32_t>(widest_, line_->width);
    if (!hasLayer_) return;  // the first layer takes it up when it begins
    if (!Room(1)) return;
    StyleChange change;
    if (line_) {
        std::vector<LineStyle>& lines = LayerStyles().lines;
        if (lines.empty() || lines.back() != *line_) lines.push_back(*line_);
        lineIndex_ = static_cast<std::uint32_t>(lines.size());
    } else {
        lineIndex_ = 0;
    }
    change.line = lineIndex_;
    shape_.records.push_back(std::move(change));
}

void Drawing::MoveTo(std::int32_t x, std::int32_t y) {
    if (filling_) CloseFill();
    x_ = startX_ = x;
    y_ = startY_ = y;
    moved_ = true;
}

void Drawing::Edge(std::int32_t x, std::int32_t y,
                   std::optional<std::pair<std::int32_t, std::int32_t>> control) {
    if (!filling_ && !line_) {  // nothing to draw: the pen moves on
        x_ = x;
        y_ = y;
        moved_ = true;
        return;
    }
    if (!hasLayer_) NewLayer(std::nullopt);
    if (!hasLayer_ || !Room(moved_ ? 2 : 1)) return;
    if (moved_) {
        StyleChange move;
        move.moveX = x_;
        move.moveY = y_;
        shape_.records.push_back(std::move(move));
        moved_ = false;
    }
    Include(x_, y_);
    Include(x, y);
    if (control) {
        Include(control->first, control->second);
        shape_.records.push_back(CurvedEdge{control->first - x_, control->second - y_,
                                            x - control->first, y - control->second});
    } else {
        shape_.records.push_back(StraightEdge{x - x_, y - y_});
    }
    x_ = x;
    y_ = y;
}

// The open fill's contour back to where it began, without a line.
void Drawing::CloseFill() {
    if (x_ == startX_ && y_ == startY_) return;
    if (!Room(3)) return;
    const std::uint32_t line = lineIndex_;
    if (line) {
        StyleChange off;
        off.line = 0;
        shape_.records.push_back(std::move(off));
    }
    const std::optional<LineStyle> kept = std::exchange(line_, std::nullopt);
    Edge(startX_, startY_, std::nullopt);
    line_ = kept;
    if (line) {
        StyleChange on;
        on.line = line;
        shape_.records.push_back(std::move(on));
    }
}

void Drawing::EndFill() {
    if (!filling_) return;
    CloseFill();
    filling_ = false;
    if (!Room(1)) return;
    StyleChange change;
    change.fill1 = 0;
    shape_.records.push_back(std::move(change));
}

void Drawing::Apply(const script::DrawCommand& c) {
    using Kind = script::DrawCommand::Kind;
    Changed();
    switch (c.kind) {
        case Kind::kMoveTo:
            MoveTo(Twips(c.x), Twips(c.y));
            break;
        case Kind::kLineTo:
            Edge(Twips(c.x), Twips(c.y), std::nullopt);
            break;
        case Kind::kCurveTo:
            Edge(Twips(c.x), Twips(c.y), std::pair{Twips(c.controlX), Twips(c.controlY)});
            break;
        case Kind::kBeginFill:
        case Kind::kBeginGradientFill:
        case Kind::kBeginBitmapFill: {
            EndFill();
            if (c.none) break;
            FillStyle fill;
            if (c.kind == Kind::kBeginFill) {
                fill.color = DrawingColor(c.rgb, c.alpha);
            } else if (c.kind == Kind::kBeginBitmapFill) {
                if (!c.bitmap) break;
                fill = DrawingBitmap(c);
            } else {
                fill = DrawingGradient(c);
                if (fill.gradient.records.empty()) break;
            }
            NewLayer(fill);
            if (!hasLayer_) break;
            filling_ = true;
            startX_ = x_;
            startY_ = y_;
            break;
        }
        case Kind::kLineStyle:
            SetLine(c.none ? std::nullopt : std::optional<LineStyle>(LineFrom(c)));
            break;
        case Kind::kLineGradientStyle: {
            if (!line_) break;
            LineStyle line = *line_;
            line.fill = DrawingGradient(c);
            if (line.fill->gradient.records.empty()) break;
            SetLine(line);
            break;
        }
        case Kind::kEndFill:
            EndFill();
            break;
        case Kind::kClear:
            *this = Drawing(maxRecords_);
            break;
    }
}

}  // namespace player
