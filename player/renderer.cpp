#include "player/renderer.h"

#include <algorithm>
#include <cmath>
#include <tuple>

#include "player/effects.h"
#include "player/limits.h"
#include "player/media/bitmap_decoder.h"
#include "player/morph.h"
#include "player/render_coverage.h"
#include "player/text_field.h"
#include "player/text_render.h"
#include "player/units.h"

namespace player {

ColorMix ColorMix::From(const ColorTransform& c) {
    ColorMix m;
    for (int i = 0; i < 4; ++i) {
        m.mult[i] = FromFixed8(c.mult[i]);
        m.add[i] = c.add[i];
    }
    return m;
}

ColorMix ColorMix::Then(const ColorMix& outer) const {
    ColorMix m;
    for (int i = 0; i < 4; ++i) {
        m.mult[i] = mult[i] * outer.mult[i];
        m.add[i] = add[i] * outer.mult[i] + outer.add[i];
    }
    return m;
}

Rgba ColorMix::Apply(Rgba c) const {
    auto channel = [&](std::uint8_t v, int i) {
        const double out = v * mult[i] + add[i];
        return static_cast<std::uint8_t>(std::clamp(out, 0.0, 255.0));
    };
    return {channel(c.r, 0), channel(c.g, 1), channel(c.b, 2), channel(c.a, 3)};
}

cairo_matrix_t ToCairo(const Matrix& m) {
    cairo_matrix_t c;
    cairo_matrix_init(&c, FromFixed16(m.scaleX), FromFixed16(m.rotateSkew0),
                      FromFixed16(m.rotateSkew1), FromFixed16(m.scaleY), m.translateX,
                      m.translateY);
    return c;
}

StageFit FitStage(const Rect& frameSize, int width, int height) {
    StageFit fit;
    const double stageW = TwipsToPixels(double(frameSize.xMax) - frameSize.xMin);
    const double stageH = TwipsToPixels(double(frameSize.yMax) - frameSize.yMin);
    if (stageW <= 0 || stageH <= 0 || width <= 0 || height <= 0) return fit;
    fit.scale = std::min(width / stageW, height / stageH);
    fit.offsetX = (width - stageW * fit.scale) / 2.0;
    fit.offsetY = (height - stageH * fit.scale) / 2.0;
    return fit;
}

namespace {

double Unit(std::uint8_t v) {
    return v / 255.0;
}

void SetSolid(cairo_t* cr, Rgba c) {
    cairo_set_source_rgba(cr, Unit(c.r), Unit(c.g), Unit(c.b), Unit(c.a));
}

double ToLinear(double v) {
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}
double FromLinear(double v) {
    return v <= 0.0031308 ? v * 12.92 : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
}

void AddStop(cairo_pattern_t* p, double offset, Rgba c) {
    cairo_pattern_add_color_stop_rgba(p, offset, Unit(c.r), Unit(c.g), Unit(c.b), Unit(c.a));
}

// c0 to c1 at fraction f, in sRGB or in linear light.
Rgba Mix(Rgba c0, Rgba c1, double f, bool linearRgb) {
    auto channel = [&](std::uint8_t a, std::uint8_t b) {
        const double v =
            linearRgb ? FromLinear(ToLinear(Unit(a)) + (ToLinear(Unit(b)) - ToLinear(Unit(a))) * f)
                      : Unit(a) + (Unit(b) - Unit(a)) * f;
        return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255));
    };
    const double alpha = c0.a + (double(c1.a) - c0.a) * f;
    return {channel(c0.r, c1.r), channel(c0.g, c1.g), channel(c0.b, c1.b),
            static_cast<std::uint8_t>(std::lround(std::clamp(alpha, 0.0, 255.0)))};
}

// Stops in linear-light space: cairo blends in sRGB, so extra stops follow the linear curve.
void AddLinearRgbStops(cairo_pattern_t* p, double o0, Rgba c0, double o1, Rgba c1) {
    constexpr int kSteps = 16;
    const double r0 = ToLinear(Unit(c0.r)), g0 = ToLinear(Unit(c0.g)), b0 = ToLinear(Unit(c0.b));
    const double r1 = ToLinear(Unit(c1.r)), g1 = ToLinear(Unit(c1.g)), b1 = ToLinear(Unit(c1.b));
    for (int i = 1; i < kSteps; ++i) {
        const double t = double(i) / kSteps;
        cairo_pattern_add_color_stop_rgba(
            p, o0 + (o1 - o0) * t, FromLinear(r0 + (r1 - r0) * t), FromLinear(g0 + (g1 - g0) * t),
            FromLinear(b0 + (b1 - b0) * t), Unit(c0.a) + (Unit(c1.a) - Unit(c0.a)) * t);
    }
}

CairoPattern MakeGradient(const FillStyle& fill, const ColorMix& color, bool mask) {
    const Gradient& g = fill.gradient;
    // The gradient square spans -16384..16384 twips; the pattern works in units of half of it,
    // which keeps pixman's fixed-point coordinates in range for large shapes.
    constexpr double kHalf = 16384.0;
    CairoPattern pattern;
    if (fill.kind == FillKind::kLinear) {
        pattern.reset(cairo_pattern_create_linear(-1, 0, 1, 0));
    } else {
        const double focal = fill.kind == FillKind::kFocalRadial
                                 ? std::clamp(FromFixed8(g.focalPoint), -0.98, 0.98)
                                 : 0.0;
        pattern.reset(cairo_pattern_create_radial(focal, 0, 0, 0, 0, 1));
    }
    cairo_pattern_t* p = pattern.get();
    // The ramp is a 256-entry table in which every record takes an entry of its own: a record on
    // the same ratio as the one before moves one entry on (records pushed past the last entry
    // are dropped), while the ramp after it still runs between the records' own ratios.
    struct Stop {
        int ratio;     // as stored
        int position;  // its own entry
        Rgba color;
    };
    std::vector<Stop> stops;
    for (const GradientRecord& record : g.records) {
        const int position =
            std::max<int>(record.ratio, stops.empty() ? 0 : stops.back().position + 1);
        if (position > 255) break;
        stops.push_back(
            {record.ratio, position, mask ? Rgba{0, 0, 0, 255} : color.Apply(record.color)});
    }
    const bool linearRgb = g.interpolation == Interpolation::kLinearRgb;
    for (std::size_t i = 0; i < stops.size(); ++i) {
        const Stop& s = stops[i];
        AddStop(p, s.position / 255.0, s.color);
        if (i + 1 == stops.size()) break;
        const Stop& next = stops[i + 1];
        if (next.position <= s.position + 1) continue;  // no ramp between neighbouring entries
        // The ramp from s to next over their stored ratios, from the entry after s on.
        int from = s.position;
        Rgba start = s.color;
        if (s.position > s.ratio) {
            from = s.position + 1;
            start = Mix(s.color, next.color, double(from - s.ratio) / (next.ratio - s.ratio),
                        linearRgb);
            AddStop(p, from / 255.0, start);
        }
        if (linearRgb) AddLinearRgbStops(p, from / 255.0, start, next.position / 255.0, next.color);
    }
    switch (g.spread) {
        case SpreadMode::kPad:
            cairo_pattern_set_extend(p, CAIRO_EXTEND_PAD);
            break;
        case SpreadMode::kReflect:
            cairo_pattern_set_extend(p, CAIRO_EXTEND_REFLECT);
            break;
        case SpreadMode::kRepeat:
            cairo_pattern_set_extend(p, CAIRO_EXTEND_REPEAT);
            break;
    }
    cairo_matrix_t m = ToCairo(g.matrix);
    cairo_matrix_scale(&m, kHalf, kHalf);
    if (cairo_matrix_invert(&m) != CAIRO_STATUS_SUCCESS) return nullptr;
    cairo_pattern_set_matrix(p, &m);
    return pattern;
}

cairo_line_cap_t CairoCap(CapStyle c) {
    switch (c) {
        case CapStyle::kNone:
            return CAIRO_LINE_CAP_BUTT;
        case CapStyle::kSquare:
            return CAIRO_LINE_CAP_SQUARE;
        default:
            return CAIRO_LINE_CAP_ROUND;
    }
}

cairo_line_join_t CairoJoin(JoinStyle j) {
    switch (j) {
        case JoinStyle::kBevel:
            return CAIRO_LINE_JOIN_BEVEL;
        case JoinStyle::kMiter:
            return CAIRO_LINE_JOIN_MITER;
        default:
            return CAIRO_LINE_JOIN_ROUND;
    }
}

// Appends a path transformed to device space with every point moved to its pixel's centre.
void AppendSnapped(cairo_t* cr, const cairo_path_t* path, const cairo_matrix_t& m) {
    double pts[6];
    for (int i = 0; i < path->num_data; i += path->data[i].header.length) {
        const cairo_path_data_t* d = &path->data[i];
        const int points = d->header.type == CAIRO_PATH_CURVE_TO     ? 3
                           : d->header.type == CAIRO_PATH_CLOSE_PATH ? 0
                                                                     : 1;
        for (int k = 0; k < points; ++k) {
            double x = d[k + 1].point.x, y = d[k + 1].point.y;
            cairo_matrix_transform_point(&m, &x, &y);
            pts[2 * k] = PixelCentre(x);
            pts[2 * k + 1] = PixelCentre(y);
        }
        switch (d->header.type) {
            case CAIRO_PATH_MOVE_TO:
                cairo_move_to(cr, pts[0], pts[1]);
                break;
            case CAIRO_PATH_LINE_TO:
                cairo_line_to(cr, pts[0], pts[1]);
                break;
            case CAIRO_PATH_CURVE_TO:
                cairo_curve_to(cr, pts[0], pts[1], pts[2], pts[3], pts[4], pts[5]);
                break;
            case CAIRO_PATH_CLOSE_PATH:
                cairo_close_path(cr);
                break;
        }
    }
}

bool Drawable(const cairo_matrix_t& m) {
    const double det = m.xx * m.yy - m.xy * m.yx;
    return std::isfinite(det) && std::abs(det) > 1e-12 && std::isfinite(m.x0) &&
           std::isfinite(m.y0);
}

bool IsGradient(FillKind k) {
    return k == FillKind::kLinear || k == FillKind::kRadial || k == FillKind::kFocalRadial;
}

bool IsBitmapFill(FillKind k) {
    return k == FillKind::kRepeatingBitmap || k == FillKind::kClippedBitmap ||
           k == FillKind::kRepeatingBitmapHard || k == FillKind::kClippedBitmapHard;
}

media::BitmapResult DecodeBitmap(const Bitmap& bitmap, const Movie& movie, const Limits& limits) {
    switch (bitmap.kind) {
        case Bitmap::Kind::kJpegWithTables:
            return media::DecodeDefineBits(bitmap.body, movie.jpegTables, limits);
        case Bitmap::Kind::kJpeg2:
            return media::DecodeDefineBitsJPEG2(bitmap.body, limits);
        case Bitmap::Kind::kJpeg3:
            return media::DecodeDefineBitsJPEG3(bitmap.body, limits);
        case Bitmap::Kind::kJpeg4:
            return media::DecodeDefineBitsJPEG4(bitmap.body, limits);
        case Bitmap::Kind::kLossless:
            return media::DecodeDefineBitsLossless(bitmap.body, false, limits);
        case Bitmap::Kind::kLossless2:
            return media::DecodeDefineBitsLossless(bitmap.body, true, limits);
    }
    return {};
}

bool SameMix(const ColorMix& a, const ColorMix& b) {
    for (int i = 0; i < 4; ++i) {
        if (a.mult[i] != b.mult[i] || a.add[i] != b.add[i]) return false;
    }
    return true;
}

bool IsIdentity(const ColorMix& c) {
    return SameMix(c, ColorMix{});
}

// A copy of the image with the colour transform applied, for bitmaps under a transform.
CairoSurface TransformedCopy(const media::Image& image, const ColorMix& color) {
    CairoSurface copy(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, image.width, image.height));
    if (cairo_surface_status(copy.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
    cairo_surface_t* s = copy.get();
    cairo_surface_flush(s);
    unsigned char* data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < image.height; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(data + std::size_t(y) * stride);
        const std::uint32_t* in = image.Row(y);
        for (int x = 0; x < image.width; ++x) {
            const std::uint32_t p = media::Unpremultiply(in[x]);
            const Rgba c =
                color.Apply({std::uint8_t(media::Red(p)), std::uint8_t(media::Green(p)),
                             std::uint8_t(media::Blue(p)), std::uint8_t(media::Alpha(p))});
            row[x] = media::Premultiply(media::PackArgb(c.a, c.r, c.g, c.b));
        }
    }
    cairo_surface_mark_dirty(s);
    return copy;
}

}  // namespace

Renderer::Renderer(const Limits& limits) : limits_(limits) {}

Renderer::~Renderer() {
    ReleaseBitmaps();
}

void Renderer::ReleaseBitmaps() {
    bitmaps_.clear();
    bitmapBytes_ = 0;
}

TextRenderer& Renderer::Text() {
    if (!text_) text_ = std::make_unique<TextRenderer>();
    return *text_;
}

bool Renderer::CopyKey::operator<(const CopyKey& o) const {
    auto tie = [](const CopyKey& k) {
        return std::tie(k.plan.reduceX, k.plan.reduceY, k.plan.tilesX, k.plan.tilesY, k.smooth,
                        k.tinted);
    };
    return tie(*this) < tie(o);
}

cairo_surface_t* Renderer::SampledSurface(DecodedBitmap& decoded, cairo_surface_t* source,
                                          const SamplingPlan& plan, bool smooth, bool tinted) {
    if (plan.Plain()) return source;
    const CopyKey key{plan, smooth, tinted};
    if (const auto found = decoded.copies.find(key); found != decoded.copies.end())
        return found->second.get();
    const std::size_t bytes = std::size_t(plan.width) * plan.tilesX * plan.height * plan.tilesY * 4;
    if (bitmapBytes_ + bytes > limits_.maxDecodedBitmapBytes) {
        NoteCut(bitmapsNoted_, "decoded bitmaps");
        return nullptr;
    }
    cairo_surface_flush(source);
    CairoSurface copy(MakeSampledCopy(cairo_image_surface_get_data(source),
                                       cairo_image_surface_get_width(source),
                                       cairo_image_surface_get_height(source),
                                       cairo_image_surface_get_stride(source), plan, smooth));
    if (!copy) return nullptr;
    bitmapBytes_ += bytes;
    return decoded.copies.emplace(key, std::move(copy)).first->second.get();
}

void Renderer::DropTintedCopies(DecodedBitmap& decoded) {
    for (auto it = decoded.copies.begin(); it != decoded.copies.end();) {
        if (!it->first.tinted) {
            ++it;
            continue;
        }
        const SamplingPlan& plan = it->first.plan;
        bitmapBytes_ -= std::min(
            bitmapBytes_, std::size_t(plan.width) * plan.tilesX * plan.height * plan.tilesY * 4);
        it = decoded.copies.erase(it);
    }
}

bool Renderer::ChargePath(cairo_t* cr, int texels, double margin) {
    return work_.Charge(PathPixels(cr, margin) * (1 + std::int64_t{texels}));
}

void Renderer::NoteCut(bool& noted, const char* what) {
    if (noted) return;
    noted = true;
    if (problems_.size() < limits_.maxReportedProblems)
        problems_.push_back(std::string("a frame needs more ") + what +
                            " than the engine draws in one frame; the rest of it is left out");
}

bool Renderer::ChargeEdges(std::size_t edges) {
    if (edges > limits_.maxEdgesPerFrame - std::min(edgesDrawn_, limits_.maxEdgesPerFrame)) {
        edgesDrawn_ = limits_.maxEdgesPerFrame;
        NoteCut(edgesNoted_, "shape edges");
        return false;
    }
    edgesDrawn_ += edges;
    return true;
}

bool Renderer::ChargeGroups(cairo_t* cr, int groups) {
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    cairo_save(cr);
    cairo_identity_matrix(cr);
    cairo_clip_extents(cr, &x1, &y1, &x2, &y2);
    cairo_restore(cr);
    const std::int64_t pixels = std::int64_t(std::ceil(std::max(x2 - x1, 0.0))) *
                                std::int64_t(std::ceil(std::max(y2 - y1, 0.0)));
    if (groupPixels_ + pixels * groups > limits_.maxGroupPixelsPerFrame) {
        groupPixels_ = limits_.maxGroupPixelsPerFrame;
        NoteCut(groupsNoted_, "offscreen layers");
        return false;
    }
    groupPixels_ += pixels * groups;
    return true;
}

Renderer::DecodedBitmap* Renderer::Decoded(const Bitmap& bitmap) {
    if (const auto found = bitmaps_.find(&bitmap); found != bitmaps_.end())
        return found->second.get();
    if (bitmapBytes_ >= limits_.maxDecodedBitmapBytes) {
        NoteCut(bitmapsNoted_, "decoded bitmaps");
        return nullptr;
    }
    auto& slot = bitmaps_[&bitmap];
    slot = std::make_unique<DecodedBitmap>();
    media::BitmapResult result = DecodeBitmap(bitmap, *movie_, limits_);
    if (!result.Ok() || !result.image.IsValid()) {
        if (problems_.size() < limits_.maxReportedProblems)
            problems_.push_back(
                "bitmap " + std::to_string(bitmap.id) + " cannot be decoded: " +
                (result.reason.empty() ? media::BitmapErrorName(result.error) : result.reason));
        return slot.get();
    }
    slot->image = std::move(result.image);
    media::Image& image = slot->image;
    bitmapBytes_ += image.argb.size() * sizeof(std::uint32_t);
    CairoSurface surface(cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(image.argb.data()), CAIRO_FORMAT_ARGB32, image.width,
        image.height, image.width * 4));
    if (cairo_surface_status(surface.get()) == CAIRO_STATUS_SUCCESS)
        slot->surface = std::move(surface);
    return slot.get();
}

const media::Image* Renderer::BitmapPixels(const Bitmap& bitmap, const Movie& movie) {
    movie_ = &movie;
    const DecodedBitmap* decoded = Decoded(bitmap);
    return decoded && decoded->image.IsValid() ? &decoded->image : nullptr;
}

const Renderer::MorphFrame& Renderer::MorphAtRatio(const MorphShape& morph, std::uint16_t ratio) {
    auto& slot = morphs_[{&morph, ratio}];
    if (slot) return *slot;
    if (morphs_.size() > limits_.maxCachedMorphFrames ||
        (morphRecords_ > 0 && morphRecords_ + morph.startRecords.size() > limits_.maxCachedMorphRecords)) {
        morphs_.clear();
        morphRecords_ = 0;
        return MorphAtRatio(morph, ratio);
    }
    morphRecords_ += morph.startRecords.size();
    slot = std::make_unique<MorphFrame>();
    slot->shape = MorphAt(morph, ratio);
    slot->geometry = BuildGeometry(slot->shape);
    return *slot;
}

const ShapeGeometry& Renderer::Geometry(const Shape& shape) {
    auto& slot = geometry_[&shape];
    if (!slot) slot = std::make_unique<ShapeGeometry>(BuildGeometry(shape));
    return *slot;
}

cairo_antialias_t Renderer::Antialias() const {
    return quality_ == Quality::kLow ? CAIRO_ANTIALIAS_NONE : CAIRO_ANTIALIAS_DEFAULT;
}

cairo_filter_t Renderer::Smoothing(cairo_filter_t wanted) const {
    return quality_ == Quality::kLow ? CAIRO_FILTER_NEAREST : wanted;
}

void Renderer::DrawInto(const BufferView& target, const std::function<void(cairo_t*)>& draw) {
    if (!target.pixels || target.width <= 0 || target.height <= 0 ||
        target.stride < target.width * 4)
        return;
    const CairoSurface surface(cairo_image_surface_create_for_data(
        target.pixels, CAIRO_FORMAT_ARGB32, target.width, target.height, target.stride));
    CairoContext context(cairo_create(surface.get()));
    cairo_set_antialias(context.get(), Antialias());
    draw(context.get());
    context.reset();
    cairo_surface_flush(surface.get());
}

void Renderer::Render(const MovieState& state, const BufferView& target) {
    DrawInto(target, [&](cairo_t* cr) { DrawStage(cr, state, target); });
}

void Renderer::DrawStage(cairo_t* cr, const MovieState& state, const BufferView& target) {
    const Movie& movie = state.GetMovie();
    movie_ = &movie;
    BeginFrame();
    work_.Charge(std::int64_t{target.width} * target.height);
    const Rgba background = movie.background.value_or(Rgba{255, 255, 255, 255});
    cairo_set_operator(cr, transparentStage_ ? CAIRO_OPERATOR_CLEAR : CAIRO_OPERATOR_SOURCE);
    cairo_set_source_rgb(cr, Unit(background.r), Unit(background.g), Unit(background.b));
    cairo_paint(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);

    const StageFit fit = FitStage(movie.frameSize, target.width, target.height);
    if (fit.scale > 0) {
        const Rect& r = movie.frameSize;
        const double stageW = TwipsToPixels(double(r.xMax) - r.xMin) * fit.scale;
        const double stageH = TwipsToPixels(double(r.yMax) - r.yMin) * fit.scale;
        cairo_rectangle(cr, fit.offsetX, fit.offsetY, stageW, stageH);
        cairo_clip(cr);
        RenderState root;
        cairo_matrix_init_translate(&root.matrix, fit.offsetX, fit.offsetY);
        cairo_matrix_scale(&root.matrix, TwipsToPixels(fit.scale), TwipsToPixels(fit.scale));
        cairo_matrix_translate(&root.matrix, -double(r.xMin), -double(r.yMin));
        stageMatrix_ = root.matrix;
        stageScale_ = fit.scale;
        DrawRoot(cr, state.Root(), root);
        for (const auto& [n, level] : state.Levels()) DrawRoot(cr, *level, root);
    }
    if (work_.Spent()) {
        ++framesCut_;
        NoteCut(workNoted_, "drawing work");
    }
}

void Renderer::BeginFrame() {
    edgesDrawn_ = 0;
    groupPixels_ = 0;
    work_.Begin();
    if (bitmapBytes_ > limits_.maxDecodedBitmapBytes) ReleaseBitmaps();
    videoPixelsLeft_ = limits_.maxVideoPixelsPerFrame;
    filterBudget_ = limits_.maxFilteredPixelsPerFrame;
}

void Renderer::RenderClip(const SpriteInstance& clip, const Movie& movie,
                          const cairo_matrix_t& matrix, const ColorMix& color,
                          const BufferView& target, bool newFrame) {
    DrawInto(target, [&](cairo_t* cr) {
        movie_ = &movie;
        if (newFrame) BeginFrame();
        if (!work_.Charge(std::int64_t{target.width} * target.height)) return;
        RenderState root;
        cairo_matrix_init_scale(&root.matrix, TwipsToPixels(1.0), TwipsToPixels(1.0));
        cairo_matrix_multiply(&root.matrix, &root.matrix, &matrix);
        root.color = color;
        stageMatrix_ = root.matrix;
        // Filters and line widths scale with the matrix's larger axis, as on a scaled stage.
        stageScale_ =
            std::max(std::hypot(matrix.xx, matrix.yx), std::hypot(matrix.xy, matrix.yy));
        if (Drawable(root.matrix)) DrawList(cr, clip, root);
        if (work_.Spent()) NoteCut(workNoted_, "drawing work");
    });
}

void Renderer::DrawRoot(cairo_t* cr, const SpriteInstance& root, const RenderState& stage) {
    const DisplayObject& own = root.rootTransform;
    if (!own.scriptTransformed && !own.visible) {
        DrawList(cr, root, stage);
        return;
    }
    if (IsHidden(own)) return;
    RenderState state = stage;
    const cairo_matrix_t local = ToCairo(own.matrix);
    cairo_matrix_multiply(&state.matrix, &local, &stage.matrix);
    if (!Drawable(state.matrix)) return;
    state.color = ColorMix::From(own.colorTransform).Then(stage.color);
    DrawList(cr, root, state);
}

void Renderer::DrawList(cairo_t* cr, const SpriteInstance& instance, const RenderState& state) {
    if (instance.drawing && !instance.drawing->Empty()) {
        const Shape& drawn = instance.drawing->GetShape();
        if (ChargeEdges(drawn.records.size()))
            DrawShape(cr, drawn, instance.drawing->Geometry(), state);
    }
    // A clip of a loaded movie finds its bitmaps, fonts and video in that movie.
    const Movie* outer = movie_;
    if (instance.movie) movie_ = instance.movie;
    const auto& list = instance.displayList;
    DrawRange(cr, list, list.begin(), list.end(), state);
    movie_ = outer;
}

void Renderer::DrawRange(cairo_t* cr, const DisplayList& list, DisplayList::const_iterator begin,
                         DisplayList::const_iterator end, const RenderState& state) {
    for (auto it = begin; it != end;) {
        const DisplayObject& object = it->second;
        if (object.clipDepth == 0 || state.mask) {
            DrawObject(cr, object, state);
            ++it;
            continue;
        }
        if (state.maskNesting >= limits_.maxMaskNesting) {
            ++it;  // too deep to mask: the mask is left out, what it covers drawn plainly
            continue;
        }
        // A clip layer: the depths above it up to its clip depth (within this range) are drawn
        // through it; clip layers among them mask their own depths in turn.
        // A clip depth at or below the layer's own depth masks nothing.
        const auto maskedBegin = std::next(it);
        auto maskedEnd =
            object.clipDepth > it->first ? list.upper_bound(object.clipDepth) : maskedBegin;
        if (end != list.end() && (maskedEnd == list.end() || maskedEnd->first > end->first))
            maskedEnd = end;
        it = maskedEnd;
        if (maskedBegin == maskedEnd) continue;
        // Two groups cleared and the masked composite.
        if (!ChargeGroups(cr, 2) || !work_.Charge(3 * ClipPixels(cr))) continue;

        cairo_identity_matrix(cr);
        cairo_push_group(cr);
        RenderState inner = state;
        ++inner.maskNesting;
        DrawRange(cr, list, maskedBegin, maskedEnd, inner);
        const CairoPattern content(cairo_pop_group(cr));

        cairo_push_group_with_content(cr, CAIRO_CONTENT_ALPHA);
        cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
        RenderState maskState = state;
        maskState.mask = true;
        DrawObject(cr, object, maskState);
        const CairoPattern mask(cairo_pop_group(cr));
        cairo_set_antialias(cr, Antialias());

        cairo_identity_matrix(cr);
        cairo_set_source(cr, content.get());
        cairo_mask(cr, mask.get());
    }
}

void Renderer::DrawObject(cairo_t* cr, const DisplayObject& object, const RenderState& parent) {
    // Empty clips made by script have a sprite but no character.
    if ((!object.character && !object.sprite && !object.bitmap) || work_.Spent()) return;
    // A hidden object draws nothing, but a hidden mask still masks.
    if (!parent.mask && object.clipDepth == 0 && IsHidden(object)) return;
    RenderState state = parent;
    const cairo_matrix_t local = ToCairo(object.matrix);
    cairo_matrix_multiply(&state.matrix, &local, &parent.matrix);
    // A transform that flattens the object covers no pixels; handing it to cairo would also
    // put the context in an error state and blank the rest of the frame.
    if (!Drawable(state.matrix)) return;
    state.color = ColorMix::From(object.colorTransform).Then(parent.color);
    if (!state.mask && state.color.Invisible()) return;
    if (!state.mask) {
        // A clip a script made another's mask shows only as that mask.
        if (object.sprite && object.sprite->maskOf > 0) return;
        if (const auto mask = object.scriptMask.lock();
            mask && state.maskNesting < limits_.maxMaskNesting) {
            DrawScriptMasked(cr, object, state, *mask);
            return;
        }
    }
    if (!state.mask && NeedsLayer(object)) {
        DrawLayered(cr, object, state);
        return;
    }
    DrawContent(cr, object, state);
}

void Renderer::DrawContent(cairo_t* cr, const DisplayObject& object, const RenderState& state) {
    if (!state.mask && object.opaqueBackground) FillBackground(cr, object, state);
    if (const auto* shape = std::get_if<Shape>(object.character)) {
        if (!ChargeEdges(shape->records.size())) return;
        DrawShape(cr, *shape, Geometry(*shape), state);
    } else if (const auto* morph = std::get_if<MorphShape>(object.character)) {
        if (!ChargeEdges(morph->startRecords.size())) return;
        const MorphFrame& frame = MorphAtRatio(*morph, object.ratio);
        DrawShape(cr, frame.shape, frame.geometry, state);
    } else if (const auto* video = std::get_if<VideoStream>(object.character)) {
        DrawVideo(cr, *video, object.ratio, state);
    } else if (object.sprite && object.scrollRect) {
        DrawScrolled(cr, object, state);
    } else if (object.sprite) {
        DrawList(cr, *object.sprite, state);
    } else if (object.bitmap) {
        DrawAttachedBitmap(cr, object, state);
    } else if (const auto* text = std::get_if<StaticText>(object.character)) {
        Text().DrawStaticText(cr, *movie_, *text, state.matrix, state.color, state.mask, work_);
    } else if (object.text) {
        Text().DrawEditText(cr, *movie_, *object.text->edit, state.matrix, state.color,
                            state.mask, work_);
    } else if (const auto* field = std::get_if<EditText>(object.character)) {
        Text().DrawEditText(cr, *movie_, *field, state.matrix, state.color, state.mask, work_);
    }
}

void Renderer::DrawScriptMasked(cairo_t* cr, const DisplayObject& object,
                                const RenderState& state, const SpriteInstance& mask) {
    // The mask is drawn where it stands on the stage, whatever the masked clip's parents are.
    cairo_matrix_t maskMatrix;
    cairo_matrix_init_identity(&maskMatrix);
    int hops = 0;
    for (const SpriteInstance* c = &mask; c && hops <= limits_.maxNestingDepth;
         c = c->parent, ++hops) {
        if (const DisplayObject* placed = c->Placement()) {
            const cairo_matrix_t local = ToCairo(placed->matrix);
            cairo_matrix_multiply(&maskMatrix, &maskMatrix, &local);
        }
    }
    cairo_matrix_multiply(&maskMatrix, &maskMatrix, &stageMatrix_);
    if (!Drawable(maskMatrix)) return;  // a flattened mask covers nothing
    if (!ChargeGroups(cr, 2) || !work_.Charge(3 * ClipPixels(cr))) return;

    cairo_identity_matrix(cr);
    cairo_push_group(cr);
    RenderState inner = state;
    ++inner.maskNesting;
    if (NeedsLayer(object)) {
        DrawLayered(cr, object, inner);
    } else {
        DrawContent(cr, object, inner);
    }
    cairo_pattern_t* content = cairo_pop_group(cr);

    cairo_push_group_with_content(cr, CAIRO_CONTENT_ALPHA);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    RenderState maskState;
    maskState.matrix = maskMatrix;
    maskState.mask = true;
    maskState.maskNesting = inner.maskNesting;
    if (const DisplayObject* placed = mask.Placement()) {
        DrawContent(cr, *placed, maskState);  // with its scroll rectangle's offset
    } else {
        DrawList(cr, mask, maskState);
    }
    cairo_pattern_t* coverage = cairo_pop_group(cr);
    cairo_set_antialias(cr, Antialias());

    cairo_identity_matrix(cr);
    cairo_set_source(cr, content);
    cairo_mask(cr, coverage);
    cairo_pattern_destroy(coverage);
    cairo_pattern_destroy(content);
}

void Renderer::DrawScrolled(cairo_t* cr, const DisplayObject& object, const RenderState& state) {
    const auto& [x, y, width, height] = *object.scrollRect;
    if (!(width > 0) || !(height > 0)) return;
    // The rectangle's corner lands on the clip's origin; only what lies inside it shows.
    RenderState inner = state;
    cairo_matrix_translate(&inner.matrix, -x * 20, -y * 20);
    if (state.mask) {
        // Drawn as a mask, a scrolled clip is moved but not cut to its rectangle.
        DrawList(cr, *object.sprite, inner);
        return;
    }
    cairo_save(cr);
    cairo_set_matrix(cr, &inner.matrix);
    cairo_new_path(cr);
    cairo_rectangle(cr, x * 20, y * 20, width * 20, height * 20);
    cairo_identity_matrix(cr);
    cairo_clip(cr);
    DrawList(cr, *object.sprite, inner);
    cairo_restore(cr);
}

bool Renderer::SetFillSource(cairo_t* cr, const FillStyle& fill, const RenderState& state,
                             int* texels) {
    *texels = 0;
    if (IsGradient(fill.kind) && !fill.gradient.records.empty()) {
        if (fill.gradient.records.size() == 1) {
            SetSolid(cr, state.mask ? Rgba{} : state.color.Apply(fill.gradient.records[0].color));
            return true;
        }
        const CairoPattern gradient = MakeGradient(fill, state.color, state.mask);
        if (cairo_pattern_t* p = gradient.get()) {
            cairo_set_source(cr, p);
            // A radial ramp takes a square root and a division per pixel, a linear one a
            // multiply-add, and a pixel may look through the stops for its own: counted as
            // that many texels' worth of work.
            int stops = 0;
            cairo_pattern_get_color_stop_count(p, &stops);
            *texels = (fill.kind == FillKind::kLinear ? 1 : kRadialGradientWork) +
                      stops / kGradientStopsPerWork;
            return true;
        }
        // A gradient squeezed to nothing shows its last colour.
        SetSolid(cr, state.mask ? Rgba{} : state.color.Apply(fill.gradient.records.back().color));
        return true;
    }
    if (IsBitmapFill(fill.kind)) return SetBitmapSource(cr, fill, state, texels);
    SetSolid(cr, state.mask ? Rgba{} : state.color.Apply(fill.color));
    return true;
}

bool Renderer::SetImageSource(cairo_t* cr, const FillStyle& fill, const RenderState& state,
                              int* texels) {
    const media::Image& image = *fill.image;
    if (!image.IsValid()) return false;  // a disposed bitmap shows nothing
    cairo_matrix_t toDevice;
    cairo_get_matrix(cr, &toDevice);
    const cairo_matrix_t fillMatrix = ToCairo(fill.bitmapMatrix);
    cairo_matrix_t deviceToBitmap;
    cairo_matrix_multiply(&deviceToBitmap, &fillMatrix, &toDevice);
    if (cairo_matrix_invert(&deviceToBitmap) != CAIRO_STATUS_SUCCESS) return false;
    if (state.mask) {
        SetSolid(cr, Rgba{});
        return true;
    }
    // The script's pixels are drawn as they are now: wrapped without a copy, or copied through
    // the colour transform (each copied pixel charged as drawing work).
    CairoSurface surface;
    if (IsIdentity(state.color)) {
        surface.reset(cairo_image_surface_create_for_data(
            reinterpret_cast<unsigned char*>(const_cast<std::uint32_t*>(image.argb.data())),
            CAIRO_FORMAT_ARGB32, image.width, image.height, image.width * 4));
    } else {
        if (!work_.Charge(std::int64_t{image.width} * image.height)) return false;
        surface = TransformedCopy(image, state.color);
    }
    if (!surface || cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return false;
    const bool repeat =
        fill.kind == FillKind::kRepeatingBitmap || fill.kind == FillKind::kRepeatingBitmapHard;
    const bool smooth =
        fill.kind == FillKind::kRepeatingBitmap || fill.kind == FillKind::kClippedBitmap;
    // Bilinear at most: a pixel never reads more than four texels.
    const cairo_filter_t filter = smooth ? Smoothing(CAIRO_FILTER_BILINEAR) : CAIRO_FILTER_NEAREST;
    *texels = filter == CAIRO_FILTER_NEAREST ? 1 : 4;
    CairoPattern p(cairo_pattern_create_for_surface(surface.get()));
    cairo_pattern_set_matrix(p.get(), &deviceToBitmap);
    cairo_pattern_set_extend(p.get(), repeat ? CAIRO_EXTEND_REPEAT : CAIRO_EXTEND_PAD);
    cairo_pattern_set_filter(p.get(), filter);
    cairo_identity_matrix(cr);
    cairo_set_source(cr, p.get());
    cairo_set_matrix(cr, &toDevice);
    return true;
}

void Renderer::DrawAttachedBitmap(cairo_t* cr, const DisplayObject& object,
                                  const RenderState& state) {
    const media::Image& image = *object.bitmap;
    if (!image.IsValid()) return;
    FillStyle fill;
    fill.kind = object.bitmapSmoothing ? FillKind::kClippedBitmap : FillKind::kClippedBitmapHard;
    fill.image = object.bitmap;
    fill.bitmapMatrix.scaleX = fill.bitmapMatrix.scaleY =
        static_cast<std::int32_t>(kTwipsPerPixel * kFixed16One);  // a pixel each
    cairo_set_matrix(cr, &state.matrix);
    cairo_new_path(cr);
    int texels = 0;
    if (!SetFillSource(cr, fill, state, &texels)) return;
    cairo_rectangle(cr, 0, 0, PixelsToTwips(image.width), PixelsToTwips(image.height));
    if (ChargePath(cr, texels)) cairo_fill(cr);
    cairo_new_path(cr);
}

bool Renderer::SetBitmapSource(cairo_t* cr, const FillStyle& fill, const RenderState& state,
                               int* texels) {
    if (fill.image) return SetImageSource(cr, fill, state, texels);
    const auto* bitmap = movie_ ? std::get_if<Bitmap>(movie_->Find(fill.bitmapId)) : nullptr;
    if (!bitmap) return false;  // fills of missing bitmaps are not drawn
    DecodedBitmap* found = Decoded(*bitmap);
    if (!found || !found->surface) return false;
    DecodedBitmap& decoded = *found;
    // The fill matrix maps bitmap pixels to the shape's twips, the context's matrix twips to
    // device pixels; the pattern needs device pixels to bitmap pixels.
    cairo_matrix_t toDevice;
    cairo_get_matrix(cr, &toDevice);
    const cairo_matrix_t fillMatrix = ToCairo(fill.bitmapMatrix);
    cairo_matrix_t deviceToBitmap;
    cairo_matrix_multiply(&deviceToBitmap, &fillMatrix, &toDevice);
    if (cairo_matrix_invert(&deviceToBitmap) != CAIRO_STATUS_SUCCESS) return false;
    if (state.mask) {
        SetSolid(cr, Rgba{});
        return true;
    }
    cairo_surface_t* surface = decoded.surface.get();
    const bool tinted = !IsIdentity(state.color);
    if (tinted) {
        if (!decoded.tinted || !SameMix(decoded.tint, state.color)) {
            if (!decoded.tinted) bitmapBytes_ += decoded.image.argb.size() * sizeof(std::uint32_t);
            DropTintedCopies(decoded);
            decoded.tinted = TransformedCopy(decoded.image, state.color);
            decoded.tint = state.color;
        }
        surface = decoded.tinted.get();
        if (!surface) return false;
    }
    const bool repeat =
        fill.kind == FillKind::kRepeatingBitmap || fill.kind == FillKind::kRepeatingBitmapHard;
    const bool smooth =
        fill.kind == FillKind::kRepeatingBitmap || fill.kind == FillKind::kClippedBitmap;
    const cairo_filter_t filter = smooth ? Smoothing(CAIRO_FILTER_GOOD) : CAIRO_FILTER_NEAREST;
    const bool averaged = filter != CAIRO_FILTER_NEAREST;
    const int width = decoded.image.width, height = decoded.image.height;
    // Sampled so that a pixel never reads more than a few texels nor walks far to its period.
    SampledArea area;
    cairo_identity_matrix(cr);
    cairo_clip_extents(cr, &area.x0, &area.y0, &area.x1, &area.y1);
    cairo_set_matrix(cr, &toDevice);
    const SamplingPlan plan = PlanSampling(width, height, deviceToBitmap, repeat, area);
    cairo_surface_t* sampled = SampledSurface(decoded, surface, plan, averaged, tinted);
    if (!sampled) return false;
    const cairo_matrix_t m = PlannedPatternMatrix(deviceToBitmap, width, height, plan, repeat);
    *texels = TexelsPerPixel(deviceToBitmap, width, height, plan, averaged);
    const CairoPattern pattern(cairo_pattern_create_for_surface(sampled));
    cairo_pattern_t* p = pattern.get();
    cairo_pattern_set_matrix(p, &m);
    cairo_pattern_set_extend(p, repeat ? CAIRO_EXTEND_REPEAT : CAIRO_EXTEND_PAD);
    cairo_pattern_set_filter(p, filter);
    // The pattern's matrix is in device pixels: it is locked to the identity while set.
    cairo_identity_matrix(cr);
    cairo_set_source(cr, p);
    cairo_set_matrix(cr, &toDevice);
    return true;
}

void Renderer::DrawShape(cairo_t* cr, const Shape& shape, const ShapeGeometry& geometry,
                         const RenderState& state) {
    cairo_set_fill_rule(cr, geometry.nonZero ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
    const FillRule rule = geometry.nonZero ? FillRule::kNonZero : FillRule::kEvenOdd;
    for (const ShapeLayer& layer : geometry.layers) {
        // The fills of a layer tile the shape: added together inside a group, neighbours share
        // their edge pixels exactly instead of letting what lies beneath show through the seam.
        bool tiled = layer.fillsTouch && layer.fills.size() > 1 && !state.mask;
        if (tiled) {
            cairo_save(cr);
            cairo_set_matrix(cr, &state.matrix);
            const Rect& b = shape.bounds;
            cairo_rectangle(cr, b.xMin, b.yMin, double(b.xMax) - b.xMin, double(b.yMax) - b.yMin);
            cairo_identity_matrix(cr);
            cairo_clip(cr);
        }
        // Past the frame's group budget the fills are drawn without their group (seams may
        // show) rather than left out.
        if (tiled && (!ChargeGroups(cr, 1) || !work_.Charge(2 * ClipPixels(cr)))) {
            cairo_restore(cr);
            tiled = false;
        }
        if (tiled) {
            cairo_push_group(cr);
            cairo_set_operator(cr, CAIRO_OPERATOR_ADD);
        }
        for (const FillPath& fill : layer.fills) {
            if (fill.path.Empty()) continue;
            cairo_set_matrix(cr, &state.matrix);
            cairo_new_path(cr);
            int texels = 0;
            if (!SetFillSource(cr, *fill.style, state, &texels)) continue;
            const bool own = !IsBitmapFill(fill.style->kind) &&
                             cairo_get_antialias(cr) != CAIRO_ANTIALIAS_NONE;
            if (own && DrawSmallFill(cr, fill.path, state.matrix, rule, texels)) continue;
            cairo_append_path(cr, fill.path.Get());
            if (ChargePath(cr, texels)) cairo_fill(cr);
            cairo_new_path(cr);
        }
        if (tiled) {
            cairo_pop_group_to_source(cr);
            cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
            cairo_identity_matrix(cr);
            cairo_paint(cr);
            cairo_restore(cr);
        }
        if (state.mask) continue;  // a mask is its fills' coverage
        for (const StrokePath& stroke : layer.strokes) Stroke(cr, stroke, state);
    }
}

void Renderer::Stroke(cairo_t* cr, const StrokePath& stroke, const RenderState& state) {
    if (stroke.path.Empty()) return;
    const LineStyle& style = *stroke.style;
    const cairo_matrix_t& m = state.matrix;
    // Width in device pixels: scaled by the object's transform unless the style says not to;
    // never thinner than one pixel (hairlines).
    double width;
    if (style.noHScale && style.noVScale) {
        width = TwipsToPixels(style.width) * stageScale_;
    } else {
        width = style.width * std::sqrt(std::abs(m.xx * m.yy - m.xy * m.yx));
    }
    width = std::max(width, 1.0);

    cairo_set_matrix(cr, &m);
    int texels = 0;
    if (style.fill) {
        if (!SetFillSource(cr, *style.fill, state, &texels)) return;
    } else {
        SetSolid(cr, state.mask ? Rgba{} : state.color.Apply(style.color));
    }
    const bool outlinable = !style.fill || !IsBitmapFill(style.fill->kind);
    if (outlinable && cairo_get_antialias(cr) != CAIRO_ANTIALIAS_NONE &&
        DrawOutlinedStroke(cr, stroke, m, width, texels))
        return;
    cairo_new_path(cr);
    if (width < kMaxHairlineWidth) {
        // A one-pixel line runs through pixel centres, so it lands on one row or column
        // instead of smearing over two.
        cairo_identity_matrix(cr);
        AppendSnapped(cr, stroke.path.Get(), m);
    } else {
        cairo_append_path(cr, stroke.path.Get());
        cairo_identity_matrix(cr);
    }
    cairo_set_line_width(cr, width);
    cairo_set_line_cap(cr, CairoCap(style.startCap));
    cairo_set_line_join(cr, CairoJoin(style.join));
    cairo_set_miter_limit(cr, std::max(1.0, FromFixed8(style.miterLimit)));
    // Miter joins may reach past half the width; the limit bounds how far.
    const double reach = width / 2 * std::max(1.0, FromFixed8(style.miterLimit)) + 1;
    if (ChargePath(cr, texels, reach)) cairo_stroke(cr);
    cairo_new_path(cr);
}

bool Renderer::DrawOutlinedStroke(cairo_t* cr, const StrokePath& stroke,
                                  const cairo_matrix_t& m, double width, int texels) {
    const LineStyle& style = *stroke.style;
    const StrokeStyle outlined{width, style.startCap, style.join,
                               std::max(1.0, FromFixed8(style.miterLimit))};
    coverageLoops_.clear();
    return StrokeOutline(stroke.path.Get(), m, outlined, coverageLoops_) &&
           DrawCoverage(cr, FillRule::kNonZero, texels);
}

bool Renderer::DrawSmallFill(cairo_t* cr, const PathData& path, const cairo_matrix_t& m,
                             FillRule rule, int texels) {
    coverageLoops_.clear();
    // Cairo fills an upright rectangle as a box, without computing coverage at all.
    return FillOutline(path.Get(), m, coverageLoops_) && !IsUprightBox(coverageLoops_) &&
           DrawCoverage(cr, rule, texels);
}

bool Renderer::DrawCoverage(cairo_t* cr, FillRule rule, int texels) {
    double x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
    for (const Loop& loop : coverageLoops_) {
        for (const DevicePoint& p : loop) {
            x0 = std::min(x0, p.x);
            y0 = std::min(y0, p.y);
            x1 = std::max(x1, p.x);
            y1 = std::max(y1, p.y);
        }
    }
    if (coverageLoops_.empty()) return true;  // nothing to draw
    // Outlines far off the surface are left to cairo, which clips them.
    constexpr double kFar = 1 << 20;
    if (!(x0 > -kFar && y0 > -kFar && x1 < kFar && y1 < kFar)) return false;
    const int left = static_cast<int>(std::floor(x0)), top = static_cast<int>(std::floor(y0));
    const int right = static_cast<int>(std::ceil(x1)), bottom = static_cast<int>(std::ceil(y1));
    if (!coverageMask_.Reset(left, top, right - left, bottom - top)) return false;
    if (!work_.Charge(BoxPixels(cr, left, top, right, bottom) * (1 + std::int64_t{texels})))
        return true;
    for (const Loop& loop : coverageLoops_) coverageMask_.AddLoop(loop);
    const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_A8, right - left);
    coverageMask_.Resolve(coverageBytes_, stride, rule);
    const CairoSurface mask(cairo_image_surface_create_for_data(
        coverageBytes_.data(), CAIRO_FORMAT_A8, right - left, bottom - top, stride));
    cairo_identity_matrix(cr);
    cairo_mask_surface(cr, mask.get(), left, top);
    return true;
}

void Renderer::ReleaseOtherVideos(const VideoPlayback& current) {
    std::size_t bytes = 0;
    for (const auto& [stream, playback] : videos_) bytes += playback->CachedBytes();
    if (bytes <= limits_.maxDecodedVideoBytes) return;
    for (auto& [stream, playback] : videos_) {
        if (playback.get() != &current) playback->Release();
    }
}

void Renderer::DrawVideo(cairo_t* cr, const VideoStream& stream, std::uint16_t ratio,
                         const RenderState& state) {
    auto& playback = videos_[&stream];
    if (!playback) {
        const auto frames = movie_->videoFrames.find(stream.id);
        playback = std::make_unique<VideoPlayback>(
            stream, frames == movie_->videoFrames.end() ? nullptr : &frames->second, limits_);
    }
    const media::Image* picture = playback->PictureAt(ratio, videoPixelsLeft_);
    ReleaseOtherVideos(*playback);
    if (std::string problem = playback->TakeProblem();
        !problem.empty() && problems_.size() < limits_.maxReportedProblems)
        problems_.push_back(std::move(problem));
    if (!picture || !picture->IsValid()) return;

    cairo_matrix_t m = state.matrix;
    cairo_matrix_scale(&m, 20, 20);  // video pixels to twips
    cairo_set_matrix(cr, &m);
    cairo_new_path(cr);
    cairo_rectangle(cr, 0, 0, picture->width, picture->height);
    if (!ChargePath(cr, state.mask ? 0 : 4)) {
        cairo_new_path(cr);
        return;
    }
    if (state.mask) {
        SetSolid(cr, Rgba{});
        cairo_fill(cr);
        return;
    }
    const CairoSurface surface =
        IsIdentity(state.color)
            ? CairoSurface(cairo_image_surface_create_for_data(
                  reinterpret_cast<unsigned char*>(
                      const_cast<std::uint32_t*>(picture->argb.data())),
                  CAIRO_FORMAT_ARGB32, picture->width, picture->height, picture->width * 4))
            : TransformedCopy(*picture, state.color);
    if (!surface || cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
        cairo_new_path(cr);
        return;
    }
    const CairoPattern pattern(cairo_pattern_create_for_surface(surface.get()));
    cairo_pattern_t* p = pattern.get();
    cairo_pattern_set_extend(p, CAIRO_EXTEND_PAD);
    cairo_pattern_set_filter(
        p, stream.smoothing ? Smoothing(CAIRO_FILTER_BILINEAR) : CAIRO_FILTER_NEAREST);
    cairo_set_source(cr, p);
    cairo_fill(cr);
}

}  // namespace player
