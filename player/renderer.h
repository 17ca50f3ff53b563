// Draws a movie's current display tree into a caller's premultiplied ARGB32 buffer with cairo:
// the stage fitted with its aspect kept and centred (margins in the background colour), matrices
// and colour transforms concatenated down the tree, masks by clip depth. Keeps each shape's
// geometry from its first use on, each bitmap decoded once, and the shapes of recent tween ratios.
#pragma once

#include <cairo.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "player/cairo_handles.h"
#include "player/bitmap_sampling.h"
#include "player/frame_work.h"
#include "player/geometry.h"
#include "player/limits.h"
#include "player/media/filters.h"
#include "player/media/image.h"
#include "player/player.h"
#include "player/render_coverage.h"
#include "player/timeline.h"
#include "player/video.h"

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

// A box in device pixels; x0 >= x1 or y0 >= y1 is empty.
struct DeviceBox {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool Empty() const { return !(x0 < x1 && y0 < y1); }
};

// Where the stage lands in a width x height target: scale (pixels per pixel of stage) and
// top-left offset. A stage of no area gets scale 0.
struct StageFit {
    double scale = 0;
    double offsetX = 0, offsetY = 0;
};
StageFit FitStage(const Rect& frameSize, int width, int height);

class TextRenderer;

class Renderer {
  public:
    explicit Renderer(const Limits& limits = {});
    ~Renderer();
    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;

    void Render(const MovieState& state, const BufferView& target);
    // Draws what one clip holds (its drawing and children, not its own placement) over
    // `target`: a pixel of the clip lands on the target through `matrix` (pixels to pixels),
    // its colours go through `color`. With `newFrame` the drawing work starts from a fresh
    // budget; otherwise it counts on from the clips drawn before.
    void RenderClip(const SpriteInstance& clip, const Movie& movie, const cairo_matrix_t& matrix,
                    const ColorMix& color, const BufferView& target, bool newFrame);
    // A bitmap character of `movie` decoded, kept with the bitmaps this renderer draws; null
    // when it cannot be decoded or the decoded-bitmap budget is spent.
    const media::Image* BitmapPixels(const Bitmap& bitmap, const Movie& movie);
    void SetQuality(Quality quality) { quality_ = quality; }
    Quality GetQuality() const { return quality_; }
    // Whether the stage is left transparent instead of filled with the background colour.
    void SetTransparentStage(bool transparent) { transparentStage_ = transparent; }
    bool TransparentStage() const { return transparentStage_; }
    // Bitmaps and video streams that could not be decoded (they draw nothing) and frames cut
    // short at their work limits, one line each.
    const std::vector<std::string>& Problems() const { return problems_; }
    // Frames drawn so far that ran out of their drawing work (kept what they had drawn).
    std::size_t FramesCut() const { return framesCut_; }
    // The drawing work the last frame counted.
    std::int64_t LastFrameWork() const { return work_.Done(); }

  private:
    struct RenderState {
        cairo_matrix_t matrix;  // twips of the object -> device pixels
        ColorMix color;
        bool mask = false;     // drawing a mask: coverage only
        int maskNesting = 0;   // masks this drawing is inside
        int layerNesting = 0;  // off-screen layers this drawing is inside
    };

    using DisplayList = std::map<DepthKey, DisplayObject>;

    // Starts a frame's work, video, filter and group budgets; lets go of bitmaps past their cap.
    void BeginFrame();
    // Runs `draw` on a cairo context over the target's pixels, antialiased as set; nothing when
    // the target is no whole buffer.
    void DrawInto(const BufferView& target, const std::function<void(cairo_t*)>& draw);
    // The stage: its background, then the root and the levels fitted into the target.
    void DrawStage(cairo_t* cr, const MovieState& state, const BufferView& target);
    // A root or level, moved, faded or hidden as scripts set its own transform.
    void DrawRoot(cairo_t* cr, const SpriteInstance& root, const RenderState& stage);
    void DrawList(cairo_t* cr, const SpriteInstance& instance, const RenderState& state);
    void DrawRange(cairo_t* cr, const DisplayList& list, DisplayList::const_iterator begin,
                   DisplayList::const_iterator end, const RenderState& state);
    void DrawObject(cairo_t* cr, const DisplayObject& object, const RenderState& parent);
    // The object's character with the object's own matrix and colour already in `state`.
    void DrawContent(cairo_t* cr, const DisplayObject& object, const RenderState& state);
    // Objects with a blend mode, filters or bitmap caching (player/layers.cpp): drawn into an
    // off-screen layer, filtered, coloured, then composited onto what lies below.
    void DrawLayered(cairo_t* cr, const DisplayObject& object, const RenderState& state);
    // Device-space bounds of what the object's character draws under `matrix`, filters of
    // nested objects included; nothing when a character's extent is not known.
    std::optional<DeviceBox> ContentBounds(const DisplayObject& object,
                                           const cairo_matrix_t& matrix, int nesting);
    std::vector<media::Filter> ScaledFilters(const DisplayObject& object) const;
    // The object's opaque background: its bounds filled in the colour, whole pixels.
    void FillBackground(cairo_t* cr, const DisplayObject& object, const RenderState& state);
    void DrawShape(cairo_t* cr, const Shape& shape, const ShapeGeometry& geometry,
                   const RenderState& state);
    // False when the fill draws nothing (a bitmap that is missing or cannot be decoded). Sets
    // *texels to what a covered pixel samples from the source (0 for a plain colour).
    bool SetFillSource(cairo_t* cr, const FillStyle& fill, const RenderState& state, int* texels);
    bool SetBitmapSource(cairo_t* cr, const FillStyle& fill, const RenderState& state, int* texels);
    // A fill of a script's bitmap, drawn from its pixels as they are now.
    bool SetImageSource(cairo_t* cr, const FillStyle& fill, const RenderState& state, int* texels);
    // A bitmap a script attached to a clip, a pixel to a pixel of the object's space.
    void DrawAttachedBitmap(cairo_t* cr, const DisplayObject& object, const RenderState& state);
    // A clip showing only its scroll rectangle, moved to its origin.
    void DrawScrolled(cairo_t* cr, const DisplayObject& object, const RenderState& state);
    // A clip shown only where the clip a script made its mask covers it.
    void DrawScriptMasked(cairo_t* cr, const DisplayObject& object, const RenderState& state,
                          const SpriteInstance& mask);
    void Stroke(cairo_t* cr, const StrokePath& stroke, const RenderState& state);
    // Shapes drawn from coverage we compute (render_coverage.h) in the current source, false
    // when they need cairo's own path. A stroke `width` device pixels wide sampling `texels` a
    // pixel:
    bool DrawOutlinedStroke(cairo_t* cr, const StrokePath& stroke, const cairo_matrix_t& m,
                            double width, int texels);
    // A fill whose device box is small enough for a mask, sampling `texels` a pixel:
    bool DrawSmallFill(cairo_t* cr, const PathData& path, const cairo_matrix_t& m, FillRule rule,
                       int texels);
    // The loops in coverageLoops_, in device pixels:
    bool DrawCoverage(cairo_t* cr, FillRule rule, int texels);
    // Charges the current path's pixels, each sampling `texels`, grown by `margin` (strokes).
    bool ChargePath(cairo_t* cr, int texels, double margin = 0);
    // A placed video stream: the picture its ratio selects, one video pixel per pixel of the
    // object, clipped to the stream's size.
    void DrawVideo(cairo_t* cr, const VideoStream& stream, std::uint16_t ratio,
                   const RenderState& state);
    // When the pictures kept for all streams take more than the video memory cap, every stream
    // but the current one lets its pictures and decoder go.
    void ReleaseOtherVideos(const VideoPlayback& current);
    const ShapeGeometry& Geometry(const Shape& shape);
    TextRenderer& Text();
    // Edge and sampling settings of the quality: every cairo context the renderer creates
    // takes Antialias(); smoothed bitmaps take Smoothing(wanted).
    cairo_antialias_t Antialias() const;
    cairo_filter_t Smoothing(cairo_filter_t wanted) const;

    // A reduced or tiled copy of a bitmap (bitmap_sampling.h), of the plain or tinted pixels.
    struct CopyKey {
        SamplingPlan plan;
        bool smooth = false;
        bool tinted = false;
        bool operator<(const CopyKey& o) const;
    };
    // A bitmap character decoded, wrapped in a cairo surface; no surface when decoding failed.
    // The copy under the last colour transform it was drawn with is kept beside it, and the
    // sampled copies made for the scales it was drawn at.
    struct DecodedBitmap {
        media::Image image;
        CairoSurface surface;
        CairoSurface tinted;
        ColorMix tint;
        std::map<CopyKey, CairoSurface> copies;
    };
    // The surface to sample for `plan`: the bitmap (or its tinted copy) itself when the plan is
    // plain, else a copy made once and kept. Null when no copy can be made.
    cairo_surface_t* SampledSurface(DecodedBitmap& decoded, cairo_surface_t* source,
                                    const SamplingPlan& plan, bool smooth, bool tinted);
    void DropTintedCopies(DecodedBitmap& decoded);
    // Null when the decoded-bitmap budget is spent for this frame.
    DecodedBitmap* Decoded(const Bitmap& bitmap);
    void ReleaseBitmaps();

    // The frame's work so far against limits_; false (noting it once) when a cap is passed.
    bool ChargeEdges(std::size_t edges);
    // Charges `groups` offscreen groups of the current clip's size.
    bool ChargeGroups(cairo_t* cr, int groups);
    void NoteCut(bool& noted, const char* what);

    // A tween's shape at one ratio, with its geometry (which refers to the shape's styles).
    struct MorphFrame {
        Shape shape;
        ShapeGeometry geometry;
    };
    const MorphFrame& MorphAtRatio(const MorphShape& morph, std::uint16_t ratio);

    std::unordered_map<const Shape*, std::unique_ptr<ShapeGeometry>> geometry_;
    std::unordered_map<const Bitmap*, std::unique_ptr<DecodedBitmap>> bitmaps_;
    std::map<std::pair<const MorphShape*, std::uint16_t>, std::unique_ptr<MorphFrame>> morphs_;
    std::size_t morphRecords_ = 0;  // edge records in morphs_
    std::unordered_map<const VideoStream*, std::unique_ptr<VideoPlayback>> videos_;
    std::int64_t videoPixelsLeft_ = 0;  // decoding budget of the frame being drawn
    std::vector<std::string> problems_;
    // Kept between shapes drawn from our own coverage, which reuse their buffers.
    std::vector<Loop> coverageLoops_;
    CoverageMask coverageMask_;
    std::vector<std::uint8_t> coverageBytes_;
    std::unique_ptr<TextRenderer> text_;  // fonts' glyph outlines and text field layouts
    Limits limits_;
    std::size_t edgesDrawn_ = 0;    // this frame
    std::int64_t groupPixels_ = 0;  // this frame
    std::size_t bitmapBytes_ = 0;   // in bitmaps_, tinted copies included
    bool edgesNoted_ = false, groupsNoted_ = false, bitmapsNoted_ = false, workNoted_ = false;
    FrameWork work_{limits_.maxPixelWorkPerFrame};
    std::size_t framesCut_ = 0;
    const Movie* movie_ = nullptr;
    Quality quality_ = Quality::kHigh;
    bool transparentStage_ = false;
    double stageScale_ = 1;          // device pixels per stage pixel
    cairo_matrix_t stageMatrix_{1, 0, 0, 1, 0, 0};  // stage twips -> device pixels
    std::int64_t filterBudget_ = 0;  // layer pixels the frame's filters may still process
};

}  // namespace player
