// Thin strokes drawn from their own outline: the coverage mask's areas, when an outline is
// refused, and the picture against cairo's stroker of the same line.
#include "player/render_coverage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

#include "player/cairo_handles.h"
#include "player/player.h"
#include "tests/support/swf_writer.h"

namespace player {
namespace {

// The mask's coverage of every pixel, 0..255, row by row.
std::vector<int> Resolved(CoverageMask& mask) {
    const int stride = (mask.Width() + 3) / 4 * 4;
    std::vector<std::uint8_t> bytes;
    mask.Resolve(bytes, stride);
    std::vector<int> out;
    for (int y = 0; y < mask.Height(); ++y) {
        for (int x = 0; x < mask.Width(); ++x) out.push_back(bytes[std::size_t(y) * stride + x]);
    }
    return out;
}

int Sum(const std::vector<int>& v) {
    int total = 0;
    for (int c : v) total += c;
    return total;
}

Loop Rect(double x0, double y0, double x1, double y1, bool clockwise = true) {
    Loop l{{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
    if (!clockwise) std::reverse(l.begin(), l.end());
    return l;
}

TEST(CoverageMask, PixelsGetTheAreaOfThemCovered) {
    struct Case {
        std::string name;
        std::vector<Loop> loops;
        std::vector<int> expected;  // a 3 x 3 mask at (10, 20)
    };
    const std::vector<Case> cases = {
        {"whole pixel", {Rect(11, 21, 12, 22)}, {0, 0, 0, 0, 255, 0, 0, 0, 0}},
        {"either way round", {Rect(11, 21, 12, 22, false)}, {0, 0, 0, 0, 255, 0, 0, 0, 0}},
        {"half pixels", {Rect(10.5, 20, 12.5, 21)}, {128, 255, 128, 0, 0, 0, 0, 0, 0}},
        {"quarter at a corner", {Rect(11.5, 21.5, 13, 23)}, {0, 0, 0, 0, 64, 128, 0, 128, 255}},
        {"a hole cut by the other way round",
         {Rect(10, 20, 13, 23), Rect(11, 21, 12, 22, false)},
         {255, 255, 255, 255, 0, 255, 255, 255, 255}},
        {"overlaps count once",
         {Rect(10, 20, 12, 21), Rect(11, 20, 13, 21)},
         {255, 255, 255, 0, 0, 0, 0, 0, 0}},
        // A triangle over the diagonal: half of each diagonal pixel.
        {"slanted edge", {{{10, 20}, {13, 23}, {10, 23}}}, {128, 0, 0, 255, 128, 0, 255, 255, 128}},
    };
    CoverageMask mask;
    for (const Case& c : cases) {
        ASSERT_TRUE(mask.Reset(10, 20, 3, 3));
        for (const Loop& l : c.loops) mask.AddLoop(l);
        EXPECT_EQ(Resolved(mask), c.expected) << c.name;
    }
}

TEST(CoverageMask, SteepAndShallowEdgesAddUpToTheirArea) {
    // A thin sliver across many cells in both directions: the sum is its area.
    CoverageMask mask;
    ASSERT_TRUE(mask.Reset(0, 0, 40, 40));
    mask.AddLoop({{1.3, 2.2}, {38.7, 9.9}, {38.7, 10.9}, {1.3, 3.2}});  // area 37.4
    EXPECT_NEAR(Sum(Resolved(mask)) / 255.0, 37.4, 0.3);
    ASSERT_TRUE(mask.Reset(0, 0, 40, 40));
    mask.AddLoop({{2.2, 1.3}, {3.2, 1.3}, {10.9, 38.7}, {9.9, 38.7}});
    EXPECT_NEAR(Sum(Resolved(mask)) / 255.0, 37.4, 0.3);
}

TEST(CoverageMask, LeavesOutWhatLiesAboveAndBelow) {
    // A slanted band running from above the box to below it keeps its slope inside.
    CoverageMask mask;
    ASSERT_TRUE(mask.Reset(0, 0, 8, 4));
    mask.AddLoop({{0, -4}, {4, 8}, {8, 8}, {4, -4}});  // each row 4 pixels wide, sheared
    const std::vector<int> rows = Resolved(mask);
    for (int y = 0; y < 4; ++y) {
        int row = 0;
        for (int x = 0; x < 8; ++x) row += rows[y * 8 + x];
        EXPECT_NEAR(row / 255.0, 4.0, 0.02) << y;
    }
    // Row 0 runs from x 1.33..1.67 to 5.33..5.67.
    EXPECT_EQ(rows[0], 0);
    EXPECT_EQ(rows[2], 255);
    EXPECT_EQ(rows[7], 0);
}

TEST(CoverageMask, RefusesEmptyAndOversizedBoxes) {
    CoverageMask mask;
    EXPECT_FALSE(mask.Reset(0, 0, 0, 10));
    EXPECT_FALSE(mask.Reset(0, 0, 10, -1));
    EXPECT_FALSE(mask.Reset(0, 0, CoverageMask::kMaxPixels / 4 + 1, 4));
    EXPECT_TRUE(mask.Reset(0, 0, CoverageMask::kMaxPixels / 4, 4));
}

TEST(CoverageMask, AResetDropsWhatWasNeverResolved) {
    CoverageMask mask;
    ASSERT_TRUE(mask.Reset(0, 0, 4, 4));
    mask.AddLoop(Rect(0, 0, 4, 4));
    ASSERT_TRUE(mask.Reset(0, 0, 2, 2));
    EXPECT_EQ(Sum(Resolved(mask)), 0);
}

// A cairo path made by `build` in a scratch context.
struct OwnedPath {
    cairo_path_t* path = nullptr;
    explicit OwnedPath(const std::function<void(cairo_t*)>& build) {
        const CairoSurface s(cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1));
        const CairoContext cr(cairo_create(s.get()));
        build(cr.get());
        path = cairo_copy_path(cr.get());
    }
    ~OwnedPath() { cairo_path_destroy(path); }
    OwnedPath(const OwnedPath&) = delete;
    OwnedPath& operator=(const OwnedPath&) = delete;
};

double LoopsArea(const std::vector<Loop>& loops) {
    double area = 0;
    for (const Loop& l : loops) {
        for (std::size_t i = 0; i < l.size(); ++i) {
            const DevicePoint& a = l[i];
            const DevicePoint& b = l[(i + 1) % l.size()];
            area += a.x * b.y - b.x * a.y;
        }
    }
    return std::abs(area) / 2;
}

TEST(StrokeOutline, AreaIsLengthTimesWidthPlusCaps) {
    cairo_matrix_t identity;
    cairo_matrix_init_identity(&identity);
    // A 20-pixel line from pixel centre to pixel centre.
    const OwnedPath line([](cairo_t* cr) {
        cairo_move_to(cr, 10.5, 10.5);
        cairo_line_to(cr, 30.5, 10.5);
    });
    struct Case {
        CapStyle cap;
        double width, area;
    };
    for (const Case& c :
         {Case{CapStyle::kNone, 1, 20}, Case{CapStyle::kSquare, 1, 21},
          Case{CapStyle::kRound, 1, 20 + std::numbers::pi / 4}, Case{CapStyle::kNone, 1.4, 28}}) {
        std::vector<Loop> loops;
        ASSERT_TRUE(StrokeOutline(line.path, identity, {c.width, c.cap}, loops));
        // Round caps are drawn as chords.
        EXPECT_NEAR(LoopsArea(loops), c.area, 0.05) << int(c.cap) << " " << c.width;
    }
}

TEST(StrokeOutline, ALoneMoveDrawsNothing) {
    cairo_matrix_t identity;
    cairo_matrix_init_identity(&identity);
    const OwnedPath path([](cairo_t* cr) { cairo_move_to(cr, 5, 5); });
    std::vector<Loop> loops;
    EXPECT_TRUE(StrokeOutline(path.path, identity, {1}, loops));
    EXPECT_TRUE(loops.empty());
}

TEST(StrokeOutline, LeavesWhatItCannotOutlineToTheStroker) {
    cairo_matrix_t identity;
    cairo_matrix_init_identity(&identity);
    struct Case {
        std::string name;
        std::function<void(cairo_t*)> build;
        double width;
    };
    const std::vector<Case> cases = {
        {"a line onto itself",
         [](cairo_t* cr) {
             cairo_move_to(cr, 5, 5);
             cairo_line_to(cr, 5, 4.6);  // the same pixel centre
         },
         1},
        {"a hairpin turn",
         [](cairo_t* cr) {
             cairo_move_to(cr, 5, 5);
             cairo_line_to(cr, 25, 5);
             cairo_line_to(cr, 5, 6);
         },
         1},
        {"a sharp turn between short sides",
         [](cairo_t* cr) {
             cairo_move_to(cr, 5, 5);
             cairo_line_to(cr, 6, 5);
             cairo_line_to(cr, 5, 6);
         },
         1},
        {"a point far off any surface",
         [](cairo_t* cr) {
             cairo_move_to(cr, 5, 5);
             cairo_line_to(cr, 1e12, 5);
         },
         1},
        {"a width that is not a number",
         [](cairo_t* cr) {
             cairo_move_to(cr, 5, 5);
             cairo_line_to(cr, 25, 5);
         },
         std::nan("")},
        {"a curve far larger than a mask",
         [](cairo_t* cr) {
             cairo_move_to(cr, 0, 0);
             cairo_curve_to(cr, 1e6, 0, 1e6, 1e6, 0, 1e6);
         },
         1},
        {"a wide line",
         [](cairo_t* cr) {
             cairo_move_to(cr, 5, 5);
             cairo_line_to(cr, 25, 5);
         },
         kMaxOutlinedWidth + 1},
        {"a line wider than its bend is round",
         [](cairo_t* cr) {
             cairo_arc(cr, 30, 30, 3, 0, 2 * std::numbers::pi);
             cairo_close_path(cr);
         },
         12},
    };
    for (const Case& c : cases) {
        const OwnedPath path(c.build);
        std::vector<Loop> loops;
        EXPECT_FALSE(StrokeOutline(path.path, identity, {c.width}, loops)) << c.name;
    }
}

// The outline's coverage against cairo stroking the same path (snapped when thin), on a 60 x 60
// mask.
struct Drawn {
    std::vector<int> own, cairo;
};

Drawn DrawBothWays(const std::function<void(cairo_t*)>& build, const cairo_matrix_t& m,
                   const StrokeStyle& style) {
    const OwnedPath path(build);
    std::vector<Loop> loops;
    Drawn d;
    if (!StrokeOutline(path.path, m, style, loops)) return d;
    CoverageMask mask;
    if (!mask.Reset(0, 0, 60, 60)) return d;
    for (const Loop& l : loops) mask.AddLoop(l);
    d.own = Resolved(mask);

    const CairoSurface s(cairo_image_surface_create(CAIRO_FORMAT_A8, 60, 60));
    const CairoContext context(cairo_create(s.get()));
    cairo_t* cr = context.get();
    for (int i = 0; i < path.path->num_data; i += path.path->data[i].header.length) {
        const cairo_path_data_t* p = &path.path->data[i];
        double pts[6] = {};
        const int count = p->header.type == CAIRO_PATH_CURVE_TO     ? 3
                          : p->header.type == CAIRO_PATH_CLOSE_PATH ? 0
                                                                    : 1;
        for (int k = 0; k < count; ++k) {
            double x = p[k + 1].point.x, y = p[k + 1].point.y;
            cairo_matrix_transform_point(&m, &x, &y);
            const bool snap = style.width < kMaxHairlineWidth;
            pts[2 * k] = snap ? PixelCentre(x) : x;
            pts[2 * k + 1] = snap ? PixelCentre(y) : y;
        }
        if (p->header.type == CAIRO_PATH_MOVE_TO) cairo_move_to(cr, pts[0], pts[1]);
        if (p->header.type == CAIRO_PATH_LINE_TO) cairo_line_to(cr, pts[0], pts[1]);
        if (p->header.type == CAIRO_PATH_CURVE_TO)
            cairo_curve_to(cr, pts[0], pts[1], pts[2], pts[3], pts[4], pts[5]);
        if (p->header.type == CAIRO_PATH_CLOSE_PATH) cairo_close_path(cr);
    }
    cairo_set_line_width(cr, style.width);
    cairo_set_line_cap(cr, style.cap == CapStyle::kNone     ? CAIRO_LINE_CAP_BUTT
                           : style.cap == CapStyle::kSquare ? CAIRO_LINE_CAP_SQUARE
                                                            : CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, style.join == JoinStyle::kMiter   ? CAIRO_LINE_JOIN_MITER
                            : style.join == JoinStyle::kBevel ? CAIRO_LINE_JOIN_BEVEL
                                                              : CAIRO_LINE_JOIN_ROUND);
    cairo_set_miter_limit(cr, style.miterLimit);
    cairo_stroke(cr);
    cairo_surface_flush(s.get());
    const unsigned char* data = cairo_image_surface_get_data(s.get());
    const int stride = cairo_image_surface_get_stride(s.get());
    for (int y = 0; y < 60; ++y) {
        for (int x = 0; x < 60; ++x) d.cairo.push_back(data[y * stride + x]);
    }
    return d;
}

TEST(StrokeOutline, DrawsWhatCairosStrokerDraws) {
    cairo_matrix_t identity, turned, squeezed;
    cairo_matrix_init_identity(&identity);
    cairo_matrix_init_rotate(&turned, 0.3);
    cairo_matrix_translate(&turned, 14.3, -6.1);
    cairo_matrix_init(&squeezed, 0.05, 0.01, -0.02, 0.04, 3.2, 5.7);  // twips-like units
    auto circle = [](cairo_t* cr) {
        cairo_arc(cr, 30, 30, 20, 0, 2 * std::numbers::pi);
        cairo_close_path(cr);
    };
    auto box = [](cairo_t* cr) { cairo_rectangle(cr, 8.2, 9.7, 40, 30); };
    auto zigzag = [](cairo_t* cr) {
        cairo_move_to(cr, 5, 40);
        cairo_line_to(cr, 15, 10);
        cairo_line_to(cr, 25, 40);
        cairo_line_to(cr, 35, 12);
        cairo_curve_to(cr, 45, 20, 50, 30, 52, 50);
    };
    auto polyline = [](cairo_t* cr) {
        cairo_move_to(cr, 5, 40);
        cairo_line_to(cr, 15, 10);
        cairo_line_to(cr, 25, 40);
        cairo_line_to(cr, 35, 12);
        cairo_line_to(cr, 52, 50);
    };
    auto bigZigzag = [](cairo_t* cr) {
        cairo_move_to(cr, 100, 800);
        cairo_line_to(cr, 300, 200);
        cairo_line_to(cr, 500, 800);
        cairo_curve_to(cr, 700, 300, 900, 500, 1000, 900);
    };
    struct Case {
        std::string name;
        std::function<void(cairo_t*)> build;
        const cairo_matrix_t* m;
        StrokeStyle style;
    };
    const std::vector<Case> cases = {
        {"circle", circle, &identity, {1}},
        {"circle turned, wider", circle, &turned, {1.4}},
        {"box", box, &identity, {1, CapStyle::kRound, JoinStyle::kMiter}},
        {"box bevelled", box, &turned, {1.2, CapStyle::kRound, JoinStyle::kBevel}},
        {"zigzag round", zigzag, &identity, {1}},
        {"zigzag square caps", zigzag, &turned, {1, CapStyle::kSquare, JoinStyle::kMiter, 10}},
        {"zigzag butt caps", zigzag, &identity, {1.3, CapStyle::kNone, JoinStyle::kBevel}},
        {"zigzag under a small skewed scale", bigZigzag, &squeezed, {1}},
        {"wide circle", circle, &turned, {3}},
        {"wide box mitred", box, &identity, {6, CapStyle::kRound, JoinStyle::kMiter}},
        {"wide zigzag round", zigzag, &identity, {2.5}},
        {"wide polyline square caps", polyline, &turned, {3, CapStyle::kSquare, JoinStyle::kBevel}},
    };
    for (const Case& c : cases) {
        const Drawn d = DrawBothWays(c.build, *c.m, c.style);
        ASSERT_FALSE(d.own.empty()) << c.name << ": outline refused";
        int worst = 0;
        for (std::size_t i = 0; i < d.own.size(); ++i)
            worst = std::max(worst, std::abs(d.own[i] - d.cairo[i]));
        // The same pixels, edge pixels off by antialiasing only, and the same ink in all.
        EXPECT_LE(worst, 48) << c.name;
        EXPECT_NEAR(Sum(d.own), Sum(d.cairo), Sum(d.cairo) * 0.02) << c.name;
    }
}

TEST(FillOutline, FillsWhatCairoFills) {
    cairo_matrix_t identity, turned;
    cairo_matrix_init_identity(&identity);
    cairo_matrix_init_rotate(&turned, 0.7);
    cairo_matrix_translate(&turned, 20.3, -18.6);
    // A five-pointed star drawn in one stroke: its centre is inside by the nonzero rule only.
    auto star = [](cairo_t* cr) {
        for (int k = 0; k < 5; ++k) {
            const double a = k * 4 * std::numbers::pi / 5;
            (k == 0 ? cairo_move_to : cairo_line_to)(cr, 30 + 25 * std::sin(a),
                                                     30 - 25 * std::cos(a));
        }
        cairo_close_path(cr);
    };
    auto ring = [](cairo_t* cr) {
        cairo_arc(cr, 30, 30, 22, 0, 2 * std::numbers::pi);
        cairo_close_path(cr);
        cairo_arc_negative(cr, 30, 30, 12.5, 2 * std::numbers::pi, 0);
        cairo_close_path(cr);
    };
    auto boxes = [](cairo_t* cr) {  // two boxes overlapping, not closed by the path itself
        cairo_move_to(cr, 5.3, 5.7);
        cairo_line_to(cr, 40.2, 5.7);
        cairo_line_to(cr, 40.2, 30.1);
        cairo_line_to(cr, 5.3, 30.1);
        cairo_move_to(cr, 20.5, 20.5);
        cairo_line_to(cr, 55.5, 20.5);
        cairo_line_to(cr, 55.5, 55.5);
        cairo_line_to(cr, 20.5, 55.5);
    };
    struct Case {
        std::string name;
        std::function<void(cairo_t*)> build;
        const cairo_matrix_t* m;
        FillRule rule;
        int crossings;  // of edges
    };
    const std::vector<Case> cases = {
        {"star even-odd", star, &identity, FillRule::kEvenOdd, 5},
        {"star nonzero", star, &identity, FillRule::kNonZero, 5},
        {"ring turned", ring, &turned, FillRule::kEvenOdd, 0},
        {"ring nonzero", ring, &identity, FillRule::kNonZero, 0},
        {"boxes even-odd", boxes, &turned, FillRule::kEvenOdd, 2},
        {"boxes nonzero", boxes, &identity, FillRule::kNonZero, 2},
    };
    for (const Case& c : cases) {
        const OwnedPath path(c.build);
        std::vector<Loop> loops;
        ASSERT_TRUE(FillOutline(path.path, *c.m, loops)) << c.name;
        CoverageMask mask;
        ASSERT_TRUE(mask.Reset(0, 0, 60, 60));
        for (const Loop& l : loops) mask.AddLoop(l);
        const int stride = 60;
        std::vector<std::uint8_t> own;
        mask.Resolve(own, stride, c.rule);

        const CairoSurface s(cairo_image_surface_create(CAIRO_FORMAT_A8, 60, 60));
        const CairoContext context(cairo_create(s.get()));
        cairo_t* cr = context.get();
        cairo_set_matrix(cr, c.m);
        c.build(cr);
        cairo_set_fill_rule(
            cr, c.rule == FillRule::kNonZero ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
        cairo_fill(cr);
        cairo_surface_flush(s.get());
        const unsigned char* data = cairo_image_surface_get_data(s.get());
        const int cairoStride = cairo_image_surface_get_stride(s.get());
        int off = 0, ownSum = 0, cairoSum = 0;
        for (int y = 0; y < 60; ++y) {
            for (int x = 0; x < 60; ++x) {
                const int a = own[y * stride + x], b = data[y * cairoStride + x];
                off += std::abs(a - b) > 26;
                ownSum += a;
                cairoSum += b;
            }
        }
        // Edge pixels differ by antialiasing only, except where edges cross inside a pixel:
        // there the coverage is summed over the loops rather than taken per point.
        EXPECT_LE(off, c.crossings * 2) << c.name;
        EXPECT_NEAR(ownSum, cairoSum, cairoSum * 0.005) << c.name;
    }
}

TEST(IsUprightBox, OnlyOneRectangleAlongTheRowsAndColumns) {
    struct Case {
        std::string name;
        std::vector<Loop> loops;
        bool box;
    };
    const std::vector<Case> cases = {
        {"rectangle", {Rect(1.5, 2, 30, 40)}, true},
        {"other way round", {Rect(1.5, 2, 30, 40, false)}, true},
        {"starting on an upright side", {{{1, 1}, {1, 9}, {5, 9}, {5, 1}}}, true},
        {"closed on its start", {{{1, 1}, {5, 1}, {5, 9}, {1, 9}, {1, 1}}}, true},
        {"turned", {{{5, 0}, {10, 5}, {5, 10}, {0, 5}}}, false},
        {"two rectangles", {Rect(0, 0, 1, 1), Rect(2, 2, 3, 3)}, false},
        {"triangle", {{{0, 0}, {5, 0}, {5, 5}}}, false},
        {"sides not closing a box", {{{0, 0}, {5, 0}, {5, 5}, {1, 5}}}, false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsUprightBox(c.loops), c.box) << c.name;
}

// Through the renderer: a thin outline drawn after a larger one reuses the larger one's
// buffers, and must come out as it does on a renderer that drew nothing before.
TEST(HairlineRendering, ALineAfterALargerOneDrawsAsOnAFreshRenderer) {
    swfw::Movie m;
    m.Size(120, 120).Background(swfw::Rgb(255, 255, 255));
    swfw::Shape big(1);
    big.Line(big.AddLine(swfw::LineStyle::Solid(20, swfw::Rgb(200, 0, 0))))
        .Circle(1200, 1200, 1000);
    swfw::Shape small(2);
    small.Line(small.AddLine(swfw::LineStyle::Solid(20, swfw::Rgb(0, 0, 200))))
        .Rectangle(300, 300, 400, 200);
    m.Define(big).Define(small).Place(swfw::PlaceObject::New(1, 1)).ShowFrame();
    m.Remove(1).Place(swfw::PlaceObject::New(2, 2)).ShowFrame();
    std::string error;
    auto reused = Player::Load(m.Bytes(), &error);
    auto fresh = Player::Load(m.Bytes(), &error);
    ASSERT_TRUE(reused && fresh) << error;
    std::vector<std::uint8_t> a(120 * 120 * 4), b(120 * 120 * 4);
    reused->Render({a.data(), 120, 120, 480});
    std::size_t inked = 0;
    for (std::size_t i = 0; i < a.size(); i += 4) inked += a[i] != 255;
    EXPECT_GT(inked, 100u);  // the big circle was drawn
    reused->PlayTicksFromStart(1);
    fresh->PlayTicksFromStart(1);
    reused->Render({a.data(), 120, 120, 480});
    fresh->Render({b.data(), 120, 120, 480});
    EXPECT_EQ(a, b);
}

}  // namespace
}  // namespace player
