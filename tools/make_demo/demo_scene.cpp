#include "tools/make_demo/demo_scene.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "tools/make_demo/demo_sound.h"

namespace demo {

namespace {

using swfw::Color;
using swfw::FillStyle;
using swfw::LineStyle;
using swfw::Matrix;
using swfw::PlaceObject;
using swfw::Point;
using swfw::Rgb;
using swfw::Rgba;

constexpr int kFrames = 120;
constexpr int kRate = 12;
// The tune starts half a second in and plays twice.
constexpr int kTuneFrame = 6;
constexpr int kOrbitFrames = 48;
constexpr double kPi = std::numbers::pi;

// Scene coordinates are pixels; the file wants twips.
std::int32_t Tw(double px) {
    return static_cast<std::int32_t>(std::lround(px * 20.0));
}
Point P(double x, double y) {
    return {Tw(x), Tw(y)};
}

double Smooth(double t) {
    return t * t * (3 - 2 * t);
}
double EaseOut(double t) {
    return 1 - (1 - t) * (1 - t);
}

Matrix Place(double x, double y, double scale = 1, double degrees = 0) {
    return Matrix::ScaleRotate(scale, scale, degrees, Tw(x), Tw(y));
}

// Gradient running from the top of the box to its bottom.
Matrix VerticalGradient(double x, double y, double w, double h) {
    return Matrix::ScaleRotate(h / 1638.4, w / 1638.4, 90, Tw(x + w / 2), Tw(y + h / 2));
}

Matrix HorizontalGradient(double x, double y, double w, double h) {
    return Matrix::GradientBox(Tw(x), Tw(y), Tw(w), Tw(h));
}

// Radial gradient of radius r centred on (cx, cy).
Matrix RadialGradient(double cx, double cy, double r) {
    return Matrix::ScaleRotate(r / 819.2, r / 819.2, 0, Tw(cx), Tw(cy));
}

std::vector<Point> StarPoints(int tips, double outer, double inner) {
    std::vector<Point> points;
    for (int i = 0; i < tips * 2; ++i) {
        const double a = -kPi / 2 + i * kPi / tips;  // clockwise on screen from the top
        const double r = i % 2 == 0 ? outer : inner;
        points.push_back(P(r * std::cos(a), r * std::sin(a)));
    }
    return points;
}

std::vector<Point> RegularPolygon(int sides, double r) {
    std::vector<Point> points;
    for (int i = 0; i < sides; ++i) {
        const double a = -kPi / 2 + i * 2 * kPi / sides;
        points.push_back(P(r * std::cos(a), r * std::sin(a)));
    }
    return points;
}

std::vector<Point> Pixels(std::initializer_list<std::pair<double, double>> xy) {
    std::vector<Point> points;
    for (const auto& [x, y] : xy) points.push_back(P(x, y));
    return points;
}

// An open arc of radius r from a0 to a1 degrees (clockwise on screen), as quadratic pieces.
template <class Path>
void Arc(Path& path, double cx, double cy, double r, double a0, double a1, int pieces) {
    const double step = (a1 - a0) / pieces * kPi / 180;
    double a = a0 * kPi / 180;
    path.MoveTo(Tw(cx + r * std::cos(a)), Tw(cy + r * std::sin(a)));
    const double reach = r / std::cos(step / 2);
    for (int i = 0; i < pieces; ++i, a += step) {
        const double mid = a + step / 2, end = a + step;
        path.CurveTo(Tw(cx + reach * std::cos(mid)), Tw(cy + reach * std::sin(mid)),
                     Tw(cx + r * std::cos(end)), Tw(cy + r * std::sin(end)));
    }
}

swfw::ColorTransform Warmth(double dawn) {
    swfw::ColorTransform cx;
    cx.redAdd = static_cast<std::int16_t>(std::lround(42 * dawn));
    cx.greenAdd = static_cast<std::int16_t>(std::lround(20 * dawn));
    cx.blueAdd = static_cast<std::int16_t>(std::lround(-6 * dawn));
    return cx;
}

// Clouds are lit grey-blue at night and white at sunrise.
swfw::ColorTransform CloudLight(double dawn) {
    swfw::ColorTransform cx = Warmth(dawn);
    const auto lit = static_cast<std::int16_t>(std::lround(256 * (0.62 + 0.38 * dawn)));
    cx.redMult = cx.greenMult = lit;
    cx.blueMult = static_cast<std::int16_t>(std::min(256, lit + 40));
    return cx;
}

// ---- Character ids and depths -------------------------------------------------------------

enum Id : std::uint16_t {
    kNightSky = 1,
    kDawnSky,
    kStar,
    kMoonBitmap,
    kMoon,
    kSunGlow,
    kSunRays,
    kSun,
    kCloud,
    kTween,
    kMeteor,
    kFarMountains,
    kNearMountains,
    kGround,
    kTower,
    kBlades,
    kHub,
    kTree,
    kCore,
    kOrbit1,                 // four orbits follow
    kPlanet1 = kOrbit1 + 4,  // four planets follow
    kPlanetRing = kPlanet1 + 4,
    kOrrery,
    kBadge,
    kLetterF,
    kLetterC,
    kLogo,
    kTune,
};

enum Depth : std::uint16_t {
    dNightSky = 1,
    dDawnSky,
    dStars,  // sixteen stars
    dMoon = dStars + 16,
    dSunGlow,
    dSunRays,
    dSun,
    dOrrery,
    dTween,
    dClouds,  // three clouds
    dMeteor = dClouds + 3,
    dFarMountains,
    dNearMountains,
    dGround,
    dTower,
    dBlades,
    dHub,
    dTrees,  // six trees
    dLogo = dTrees + 6,
};

struct StarSpot {
    double x, y, scale, phase;
};
constexpr StarSpot kStars[16] = {
    {22, 24, 0.9, 0.0},   {78, 160, 0.6, 1.3}, {140, 18, 0.7, 2.1},  {205, 64, 1.0, 0.7},
    {248, 22, 0.6, 3.3},  {300, 96, 0.8, 1.9}, {338, 30, 1.1, 4.2},  {392, 78, 0.6, 2.8},
    {430, 18, 0.8, 5.1},  {530, 40, 0.7, 0.4}, {512, 120, 0.9, 3.7}, {356, 175, 0.5, 1.1},
    {180, 120, 0.6, 4.8}, {16, 110, 0.7, 2.5}, {270, 150, 0.5, 5.6}, {460, 150, 0.6, 0.9},
};

struct CloudSpot {
    double x, y, scale, speed;
};
constexpr CloudSpot kClouds[3] = {{30, 150, 0.8, 1.8}, {300, 110, 0.55, 1.2}, {420, 238, 1.0, 2.4}};

struct TreeSpot {
    double x, y, scale;
};
constexpr TreeSpot kTrees[6] = {{38, 348, 1.0},   {74, 362, 0.8},  {112, 342, 0.7},
                                {186, 374, 0.75}, {486, 352, 0.9}, {520, 340, 1.1}};

struct Planet {
    double rx, ry, radius, turns, phase;
    Color light, dark;
};
const Planet kPlanets[4] = {
    {30, 12, 4, 4, 0.3, Rgb(0x9A, 0xD0, 0xFF), Rgb(0x1F, 0x4F, 0xA8)},
    {48, 20, 6, 3, 2.2, Rgb(0xFF, 0xB1, 0x99), Rgb(0xA3, 0x32, 0x2A)},
    {66, 27, 5, 2, 4.0, Rgb(0xB8, 0xFF, 0xC9), Rgb(0x2A, 0x8A, 0x4C)},
    {86, 36, 8, 1, 5.3, Rgb(0xFF, 0xE3, 0xA3), Rgb(0xA8, 0x74, 0x2A)},
};

// ---- Sky ----------------------------------------------------------------------------------

swfw::Shape SkyShape(std::uint16_t id, std::vector<swfw::GradientStop> stops) {
    swfw::Shape sky(id);
    sky.Fill(sky.AddFill(FillStyle::Linear(VerticalGradient(0, 0, 550, 320), std::move(stops))))
        .Rectangle(0, 0, Tw(550), Tw(400));
    return sky;
}

swfw::Shape StarShape() {
    swfw::Shape star(kStar);
    star.Fill(star.AddFill(FillStyle::Solid(Rgb(0xFF, 0xF6, 0xD8))))
        .Line(star.AddLine(LineStyle::Solid(20, Rgba(0xFF, 0xFF, 0xFF, 0x90))))
        .Polygon(StarPoints(4, 8, 3));
    return star;
}

// A grey, cratered moon face, lit from the upper left: darker seas, soft craters whose rims
// catch the light, a little grain.
swfw::Bitmap MoonBitmap() {
    constexpr int kSize = 64;
    struct Spot {
        double x, y, r, depth;
    };
    constexpr Spot kSeas[] = {{24, 28, 14, 40}, {40, 42, 11, 32}, {44, 20, 8, 22}};
    constexpr Spot kCraters[] = {{18, 44, 6, 30}, {46, 30, 4, 26}, {30, 14, 3, 22},
                                 {50, 48, 5, 24}, {12, 24, 3, 20}, {34, 52, 3, 18}};
    std::vector<std::uint32_t> argb;
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const double dx = (x - 31.5) / 31.5, dy = (y - 31.5) / 31.5;
            double shade = 238 - 62 * (dx * dx + dy * dy) - 22 * (dx + dy);
            for (const Spot& sea : kSeas) {
                const double d2 =
                    (std::pow(x - sea.x, 2) + std::pow(y - sea.y, 2)) / (sea.r * sea.r);
                shade -= sea.depth * std::exp(-d2);
            }
            for (const Spot& c : kCraters) {
                const double ux = (x - c.x) / c.r, uy = (y - c.y) / c.r;
                const double d = std::hypot(ux, uy);
                if (d < 1)
                    shade -= c.depth * (1 - d * d) * (0.6 + 0.4 * (ux + uy) / std::max(d, 0.01));
                if (d >= 1 && d < 1.4)
                    shade += 12 * (1.4 - d) / 0.4 * std::max(0.0, -(ux + uy) / d);
            }
            const unsigned grain =
                (static_cast<unsigned>(x) * 73856093u ^ static_cast<unsigned>(y) * 19349663u) % 9u;
            shade += static_cast<double>(grain) - 4;
            const auto v = static_cast<std::uint32_t>(std::clamp(shade, 60.0, 255.0));
            const std::uint32_t blue = v > 14 ? v - 14 : 0;
            argb.push_back(0xFF000000u | v << 16 | v << 8 | blue);
        }
    }
    return swfw::Bitmap::Argb(kMoonBitmap, kSize, kSize, argb, /*withAlpha=*/false);
}

swfw::Shape MoonShape() {
    swfw::Shape moon(kMoon);
    // 64 bitmap pixels across the 56 px disc.
    const Matrix toDisc = Matrix::Affine(17.5, 0, 0, 17.5, Tw(-28), Tw(-28));
    moon.Fill(moon.AddFill(FillStyle::Bitmap(kMoonBitmap, toDisc, /*repeat=*/false)))
        .Line(moon.AddLine(LineStyle::Solid(30, Rgba(0xFF, 0xFF, 0xE6, 0x80))))
        .Circle(0, 0, Tw(28));
    return moon;
}

swfw::Shape SunGlowShape() {
    swfw::Shape glow(kSunGlow);
    glow.Fill(glow.AddFill(FillStyle::Focal(RadialGradient(0, 0, 110),
                                            {{0, Rgba(0xFF, 0xEC, 0xA0, 0xB0)},
                                             {90, Rgba(0xFF, 0xBE, 0x64, 0x5A)},
                                             {255, Rgba(0xFF, 0x96, 0x50, 0x00)}},
                                            -0.2)))
        .Circle(0, 0, Tw(110));
    return glow;
}

swfw::Shape SunRaysShape() {
    swfw::Shape rays(kSunRays);
    const std::uint32_t wide = rays.AddLine(LineStyle::Solid(80, Rgba(0xFF, 0xD6, 0x78, 0xC0)));
    const std::uint32_t thin = rays.AddLine(LineStyle::Solid(40, Rgba(0xFF, 0xE8, 0xA8, 0xA0)));
    for (int i = 0; i < 12; ++i) {
        const double a = i * kPi / 6;
        const double outer = i % 2 == 0 ? 76 : 64;
        rays.Line(i % 2 == 0 ? wide : thin)
            .MoveTo(Tw(50 * std::cos(a)), Tw(50 * std::sin(a)))
            .LineTo(Tw(outer * std::cos(a)), Tw(outer * std::sin(a)));
    }
    return rays;
}

swfw::Shape SunShape() {
    swfw::Shape sun(kSun);
    sun.Fill(sun.AddFill(
                 FillStyle::Radial(RadialGradient(-8, -8, 50), {{0, Rgb(0xFF, 0xFB, 0xE0)},
                                                                {150, Rgb(0xFF, 0xD5, 0x4A)},
                                                                {255, Rgb(0xFF, 0x9A, 0x2E)}})))
        .Line(sun.AddLine(LineStyle::Solid(60, Rgb(0xFF, 0xAA, 0x3C))))
        .Circle(0, 0, Tw(40));
    return sun;
}

// One outline of puffs, clockwise: up the left, over the top, along the flat bottom.
swfw::Shape CloudShape() {
    swfw::Shape cloud(kCloud);
    cloud
        .Fill(cloud.AddFill(FillStyle::Radial(
            RadialGradient(75, -30, 95),
            {{0, Rgba(0xFF, 0xFF, 0xFF, 0xEB)}, {255, Rgba(0xC8, 0xBE, 0xE6, 0xA0)}})))
        .MoveTo(Tw(12), 0)
        .CurveTo(0, 0, 0, Tw(-12))
        .CurveTo(0, Tw(-36), Tw(26), Tw(-36))
        .CurveTo(Tw(48), Tw(-36), Tw(50), Tw(-22))
        .CurveTo(Tw(56), Tw(-52), Tw(82), Tw(-52))
        .CurveTo(Tw(110), Tw(-52), Tw(112), Tw(-22))
        .CurveTo(Tw(114), Tw(-32), Tw(130), Tw(-32))
        .CurveTo(Tw(150), Tw(-32), Tw(150), Tw(-12))
        .CurveTo(Tw(150), 0, Tw(138), 0)
        .LineTo(Tw(12), 0);
    return cloud;
}

// Star to round flower, blue to magenta, hairline to a 3 px rim.
swfw::MorphShape TweenShape() {
    swfw::MorphShape tween(kTween);
    tween.AddFill(
        swfw::MorphFillStyle::Radial(RadialGradient(0, 0, 34), RadialGradient(-6, -6, 26),
                                     {{0, Rgb(0xAE, 0xF6, 0xFF), 0, Rgb(0xFF, 0xD1, 0xF4)},
                                      {255, Rgb(0x2F, 0x8C, 0xFF), 255, Rgb(0xC0, 0x2B, 0xD6)}}));
    tween.AddLine(
        swfw::MorphLineStyle::Solid(20, Rgba(0xFF, 0xFF, 0xFF, 0xC8), 60, Rgb(0xFF, 0xE6, 0xFF)));
    tween.start.Fill(1).Line(1).Polygon(StarPoints(8, 34, 13));
    tween.end.Polygon(RegularPolygon(16, 24));
    return tween;
}

swfw::Shape MeteorShape() {
    swfw::Shape meteor(kMeteor);
    meteor
        .Fill(meteor.AddFill(FillStyle::Linear(HorizontalGradient(-90, -3, 94, 6),
                                               {{0, Rgba(0xFF, 0xFF, 0xFF, 0x00)},
                                                {200, Rgba(0xD8, 0xEC, 0xFF, 0xA0)},
                                                {255, Rgb(0xFF, 0xFF, 0xFF)}})))
        .Polygon(Pixels({{-90, 0}, {0, -2.5}, {4, 0}, {0, 2.5}}));
    return meteor;
}

// ---- Land ---------------------------------------------------------------------------------

swfw::Shape MountainShape(std::uint16_t id, const std::vector<Point>& outline, double top,
                          Color light, Color dark, std::uint16_t lineWidth, Color ridge) {
    swfw::Shape m(id);
    m.Fill(m.AddFill(FillStyle::Linear(VerticalGradient(0, top, 550, 335 - top),
                                       {{0, light}, {255, dark}})))
        .Line(m.AddLine(LineStyle::Solid(lineWidth, ridge)))
        .Polygon(outline);
    return m;
}

swfw::Shape GroundShape() {
    swfw::Shape ground(kGround);
    ground
        .Fill(ground.AddFill(
            FillStyle::Linear(VerticalGradient(0, 295, 550, 105),
                              {{0, Rgb(0x2D, 0x5A, 0x3C)}, {255, Rgb(0x0F, 0x24, 0x18)}})))
        .MoveTo(Tw(-10), Tw(325))
        .CurveTo(Tw(275), Tw(290), Tw(560), Tw(318))
        .LineTo(Tw(560), Tw(410))
        .LineTo(Tw(-10), Tw(410))
        .LineTo(Tw(-10), Tw(325));
    return ground;
}

swfw::Shape TowerShape() {
    swfw::Shape tower(kTower);
    const std::uint32_t wall = tower.AddFill(
        FillStyle::Linear(HorizontalGradient(432, 240, 16, 80),
                          {{0, Rgb(0xE4, 0xD6, 0xBA)}, {255, Rgb(0x7E, 0x6E, 0x58)}}));
    const std::uint32_t roof = tower.AddFill(FillStyle::Solid(Rgb(0x8C, 0x3B, 0x2F)));
    tower.Line(tower.AddLine(LineStyle::Solid(20, Rgb(0x3B, 0x30, 0x26))))
        .Fill(wall)
        .Polygon(Pixels({{432, 314}, {436, 245}, {444, 245}, {448, 314}}))
        .Fill(roof)
        .Polygon(Pixels({{434, 245}, {440, 235}, {446, 245}}));
    return tower;
}

swfw::Shape BladesShape() {
    swfw::Shape blades(kBlades);
    blades.Fill(blades.AddFill(FillStyle::Solid(Rgb(0xEE, 0xE8, 0xDA))))
        .Line(blades.AddLine(LineStyle::Solid(20, Rgb(0x5B, 0x4A, 0x3A))));
    for (int i = 0; i < 4; ++i) {
        const double a = i * kPi / 2, c = std::cos(a), s = std::sin(a);
        const auto at = [&](double along, double across) {
            return P(along * c - across * s, along * s + across * c);
        };
        blades.Polygon({at(5, -2), at(42, -7), at(42, 7), at(5, 2)});
    }
    return blades;
}

swfw::Shape HubShape() {
    swfw::Shape hub(kHub);
    hub.Fill(hub.AddFill(
                 FillStyle::Radial(RadialGradient(-1.5, -1.5, 6),
                                   {{0, Rgb(0xFF, 0xFF, 0xFF)}, {255, Rgb(0x6E, 0x66, 0x5E)}})))
        .Line(hub.AddLine(LineStyle::Solid(20, Rgb(0x3B, 0x30, 0x26))))
        .Circle(0, 0, Tw(4.5));
    return hub;
}

swfw::Shape TreeShape() {
    swfw::Shape tree(kTree);
    const std::uint32_t needles =
        tree.AddFill(FillStyle::Linear(VerticalGradient(-22, -50, 44, 55),
                                       {{0, Rgb(0x3F, 0x8A, 0x5A)}, {255, Rgb(0x17, 0x3D, 0x27)}}));
    const std::uint32_t bark = tree.AddFill(FillStyle::Solid(Rgb(0x4A, 0x32, 0x22)));
    tree.Fill(needles)
        .Line(tree.AddLine(LineStyle::Solid(20, Rgb(0x0C, 0x22, 0x14))))
        .Polygon(Pixels({{0, -50},
                         {12, -30},
                         {6, -30},
                         {18, -12},
                         {9, -12},
                         {22, 5},
                         {-22, 5},
                         {-9, -12},
                         {-18, -12},
                         {-6, -30},
                         {-12, -30}}))
        .Fill(bark)
        .Line(0)
        .Rectangle(Tw(-3), Tw(5), Tw(6), Tw(10));
    return tree;
}

// ---- The orrery: a clip with its own 48-frame timeline --------------------------------------

swfw::Shape CoreShape() {
    swfw::Shape core(kCore);
    core.Fill(core.AddFill(FillStyle::Radial(RadialGradient(0, 0, 14),
                                             {{0, Rgb(0xFF, 0xFF, 0xFF)},
                                              {100, Rgb(0xFF, 0xE0, 0x8A)},
                                              {200, Rgb(0xFF, 0xAB, 0x3D)},
                                              {255, Rgba(0xFF, 0x8C, 0x28, 0x00)}})))
        .Circle(0, 0, Tw(14));
    return core;
}

swfw::Shape OrbitShape(int i) {
    swfw::Shape orbit(static_cast<std::uint16_t>(kOrbit1 + i));
    const std::uint16_t width = i == 0 ? 20 : i == 3 ? 40 : 30;
    orbit.Line(orbit.AddLine(LineStyle::Solid(width, Rgba(0xAA, 0xBE, 0xFF, 0x70 + 0x10 * i))))
        .Ellipse(0, 0, Tw(kPlanets[i].rx), Tw(kPlanets[i].ry));
    return orbit;
}

swfw::Shape PlanetShape(int i) {
    const Planet& p = kPlanets[i];
    swfw::Shape planet(static_cast<std::uint16_t>(kPlanet1 + i));
    planet
        .Fill(planet.AddFill(
            FillStyle::Radial(RadialGradient(-p.radius * 0.35, -p.radius * 0.35, p.radius * 1.3),
                              {{0, p.light}, {255, p.dark}})))
        .Line(planet.AddLine(LineStyle::Solid(20, Rgba(0xFF, 0xFF, 0xFF, 0x6E))))
        .Circle(0, 0, Tw(p.radius));
    return planet;
}

swfw::Shape PlanetRingShape() {
    swfw::Shape ring(kPlanetRing);
    ring.Line(ring.AddLine(LineStyle::Solid(40, Rgba(0xFF, 0xE6, 0xB4, 0xC8))))
        .Ellipse(0, 0, Tw(15), Tw(4));
    return ring;
}

Matrix PlanetMatrix(int i, int frame) {
    const Planet& p = kPlanets[i];
    const double a = 2 * kPi * p.turns * frame / kOrbitFrames + p.phase;
    const double depth = 0.85 + 0.15 * std::sin(a);  // nearer, larger at the front
    return Place(p.rx * std::cos(a), p.ry * std::sin(a), depth);
}

swfw::Sprite Orrery() {
    swfw::Sprite clip(kOrrery);
    for (int i = 3; i >= 0; --i)
        clip.Place(PlaceObject::New(static_cast<std::uint16_t>(kOrbit1 + i),
                                    static_cast<std::uint16_t>(4 - i)));
    clip.Place(PlaceObject::New(kCore, 5));
    for (int frame = 0; frame < kOrbitFrames; ++frame) {
        for (int i = 0; i < 4; ++i) {
            const auto depth = static_cast<std::uint16_t>(6 + i);
            const Matrix m = PlanetMatrix(i, frame);
            clip.Place(
                frame == 0
                    ? PlaceObject::New(static_cast<std::uint16_t>(kPlanet1 + i), depth).With(m)
                    : PlaceObject::Move(depth).With(m));
        }
        const Matrix planet = PlanetMatrix(3, frame);
        Matrix ring = Matrix::ScaleRotate(1, 1, -18, planet.translateX, planet.translateY);
        clip.Place(frame == 0 ? PlaceObject::New(kPlanetRing, 10).With(ring)
                              : PlaceObject::Move(10).With(ring));
        clip.ShowFrame();
    }
    return clip;
}

// ---- The logo: a one-frame clip the root bounces ------------------------------------------

swfw::Shape BadgeShape() {
    swfw::Shape badge(kBadge);
    constexpr double w = 55, h = 20, r = 12;
    badge
        .Fill(badge.AddFill(FillStyle::Linear(VerticalGradient(-w, -h, 2 * w, 2 * h),
                                              {{0, Rgb(0xFF, 0x8F, 0xB8)},
                                               {128, Rgb(0xFF, 0x4D, 0x7A)},
                                               {255, Rgb(0xB8, 0x1E, 0x5A)}})))
        .Line(badge.AddLine(LineStyle::Solid(80, Rgba(0xFF, 0xFF, 0xFF, 0xE6))))
        .MoveTo(Tw(-w + r), Tw(-h))
        .LineTo(Tw(w - r), Tw(-h))
        .CurveTo(Tw(w), Tw(-h), Tw(w), Tw(-h + r))
        .LineTo(Tw(w), Tw(h - r))
        .CurveTo(Tw(w), Tw(h), Tw(w - r), Tw(h))
        .LineTo(Tw(-w + r), Tw(h))
        .CurveTo(Tw(-w), Tw(h), Tw(-w), Tw(h - r))
        .LineTo(Tw(-w), Tw(-h + r))
        .CurveTo(Tw(-w), Tw(-h), Tw(-w + r), Tw(-h));
    return badge;
}

swfw::Shape LetterF() {
    swfw::Shape f(kLetterF);
    f.Fill(f.AddFill(FillStyle::Solid(Rgb(0xFF, 0xFF, 0xFF))))
        .Line(f.AddLine(LineStyle::Solid(20, Rgba(0x78, 0x14, 0x3C, 0xC8))))
        .Polygon(Pixels({{0, 0},
                         {20, 0},
                         {20, 5},
                         {6, 5},
                         {6, 11},
                         {17, 11},
                         {17, 16},
                         {6, 16},
                         {6, 26},
                         {0, 26}}));
    return f;
}

swfw::Shape LetterC() {
    swfw::Shape c(kLetterC);
    c.Line(c.AddLine(LineStyle::Solid(110, Rgb(0xFF, 0xFF, 0xFF))));
    Arc(c, 0, 0, 10, 45, 315, 6);
    return c;
}

swfw::Sprite Logo() {
    swfw::Sprite logo(kLogo);
    logo.Place(PlaceObject::New(kBadge, 1))
        .Place(PlaceObject::New(kLetterF, 2).At(Tw(-40), Tw(-13)))
        .Place(PlaceObject::New(kLetterC, 3).At(Tw(-2), 0))
        .Place(PlaceObject::New(kStar, 4).With(Place(32, 0, 1.2, 0)))
        .ShowFrame();
    return logo;
}

// ---- Per-frame placement ------------------------------------------------------------------

struct Frame {
    int index;
    double t;     // 0 at the first frame, 1 at the last
    double dawn;  // how far the morning has come
};

PlaceObject Put(bool first, std::uint16_t id, std::uint16_t depth) {
    return first ? PlaceObject::New(id, depth) : PlaceObject::Move(depth);
}

void PlaceSky(swfw::Movie& movie, const Frame& f) {
    const bool first = f.index == 0;
    if (first) movie.Place(PlaceObject::New(kNightSky, dNightSky));
    movie.Place(Put(first, kDawnSky, dDawnSky).Colors(swfw::ColorTransform::Alpha(f.dawn)));
    for (int i = 0; i < 16; ++i) {
        const StarSpot& s = kStars[i];
        const double twinkle = 0.6 + 0.4 * std::sin(s.phase + f.index * 0.45);
        const double alpha = std::max(0.2, twinkle * (1 - 0.75 * f.dawn));
        const double spin = i % 2 == 0 ? f.index * 3.0 : 0.0;
        movie.Place(Put(first, kStar, static_cast<std::uint16_t>(dStars + i))
                        .With(Place(s.x, s.y, s.scale, spin))
                        .Colors(swfw::ColorTransform::Alpha(alpha)));
    }
    movie.Place(Put(first, kMoon, dMoon)
                    .With(Place(470 + 50 * f.t, 62 + 125 * f.t * f.t, 1, -20 * f.t))
                    .Colors(swfw::ColorTransform::Alpha(1 - 0.35 * f.dawn)));

    const double sunX = 250 + 22 * f.t, sunY = 365 - 195 * EaseOut(f.t);
    const double pulse = 1 + 0.06 * std::sin(f.index * 0.3);
    movie.Place(Put(first, kSunGlow, dSunGlow).With(Place(sunX, sunY, pulse)));
    movie.Place(Put(first, kSunRays, dSunRays).With(Place(sunX, sunY, 1, f.index * 3.0)));
    movie.Place(Put(first, kSun, dSun).With(Place(sunX, sunY)));
    if (first) movie.Place(PlaceObject::New(kOrrery, dOrrery).With(Place(110, 96)));

    const double beat = (1 - std::cos(2 * kPi * f.index / 40)) / 2;
    movie.Place(Put(first, kTween, dTween)
                    .With(Place(395, 150, 1, f.index * 4.0))
                    .Ratio(static_cast<std::uint16_t>(std::lround(65535 * beat))));
    for (int i = 0; i < 3; ++i) {
        const CloudSpot& c = kClouds[i];
        const double x = std::fmod(c.x + 160 + c.speed * f.index, 720.0) - 160;
        movie.Place(Put(first, kCloud, static_cast<std::uint16_t>(dClouds + i))
                        .With(Place(x, c.y, c.scale))
                        .Colors(CloudLight(f.dawn)));
    }
    const double trip = (f.index % 40) / 40.0;
    movie.Place(Put(first, kMeteor, dMeteor)
                    .With(Place(-100 + 700 * trip, 20 + 150 * trip, 1, 12))
                    .Colors(swfw::ColorTransform::Alpha(1 - 0.5 * f.dawn)));
}

void PlaceLand(swfw::Movie& movie, const Frame& f) {
    const bool first = f.index == 0;
    for (std::uint16_t depth : {dFarMountains, dNearMountains, dGround}) {
        const std::uint16_t id = depth == dFarMountains    ? kFarMountains
                                 : depth == dNearMountains ? kNearMountains
                                                           : kGround;
        movie.Place(Put(first, id, depth).Colors(Warmth(f.dawn)));
    }
    if (first) {
        movie.Place(PlaceObject::New(kTower, dTower));
        movie.Place(PlaceObject::New(kHub, dHub).At(Tw(440), Tw(247)));
    }
    movie.Place(Put(first, kBlades, dBlades).With(Place(440, 247, 1, -7.0 * f.index)));
    for (int i = 0; i < 6; ++i) {
        const TreeSpot& tree = kTrees[i];
        const double sway = 2.5 * std::sin(f.index * 0.25 + i);
        movie.Place(Put(first, kTree, static_cast<std::uint16_t>(dTrees + i))
                        .With(Place(tree.x, tree.y, tree.scale, sway)));
    }

    const double hop = (f.index % 24) / 24.0;
    const double height = 4 * hop * (1 - hop);
    const double squash = std::max(0.0, 1 - height * 5) * 0.18;
    const double tilt = 10 * std::sin(2 * kPi * f.index / 48);
    const double rad = tilt * kPi / 180;
    const double sx = 1 + squash, sy = 1 - squash;
    const Matrix bounce = Matrix::Affine(sx * std::cos(rad), sx * std::sin(rad),
                                         -sy * std::sin(rad), sy * std::cos(rad),
                                         Tw(75 + 400 * f.t), Tw(350 - 125 * height + 20 * squash));
    movie.Place(Put(first, kLogo, dLogo).With(bounce));
}

void DefineEverything(swfw::Movie& movie) {
    movie
        .Define(SkyShape(kNightSky, {{0, Rgb(0x0B, 0x10, 0x26)},
                                     {140, Rgb(0x1F, 0x2A, 0x5A)},
                                     {220, Rgb(0x4B, 0x3B, 0x7A)},
                                     {255, Rgb(0x8A, 0x4F, 0x7D)}}))
        .Define(SkyShape(kDawnSky, {{0, Rgb(0x2B, 0x5D, 0x9B)},
                                    {150, Rgb(0x8F, 0x9C, 0xC8)},
                                    {215, Rgb(0xF4, 0x9A, 0x6C)},
                                    {255, Rgb(0xFF, 0xD2, 0x7F)}}))
        .Define(StarShape())
        .Define(MoonBitmap())
        .Define(MoonShape())
        .Define(SunGlowShape())
        .Define(SunRaysShape())
        .Define(SunShape())
        .Define(CloudShape())
        .Define(TweenShape())
        .Define(MeteorShape())
        .Define(MountainShape(kFarMountains,
                              Pixels({{-10, 330},
                                      {-10, 210},
                                      {50, 175},
                                      {110, 215},
                                      {160, 185},
                                      {215, 240},
                                      {265, 262},
                                      {320, 235},
                                      {370, 190},
                                      {420, 160},
                                      {470, 200},
                                      {520, 175},
                                      {560, 205},
                                      {560, 330}}),
                              155, Rgb(0x4A, 0x4F, 0x86), Rgb(0x1E, 0x21, 0x42), 40,
                              Rgba(0x96, 0xA0, 0xE6, 0xA0)))
        .Define(MountainShape(kNearMountains,
                              Pixels({{-10, 335},
                                      {-10, 260},
                                      {30, 250},
                                      {80, 275},
                                      {130, 235},
                                      {185, 280},
                                      {235, 300},
                                      {300, 290},
                                      {350, 265},
                                      {395, 285},
                                      {450, 250},
                                      {500, 270},
                                      {560, 245},
                                      {560, 335}}),
                              230, Rgb(0x2B, 0x2F, 0x55), Rgb(0x11, 0x13, 0x28), 60,
                              Rgba(0x5A, 0x64, 0xAA, 0xC8)))
        .Define(GroundShape())
        .Define(TowerShape())
        .Define(BladesShape())
        .Define(HubShape())
        .Define(TreeShape())
        .Define(CoreShape());
    for (int i = 0; i < 4; ++i) movie.Define(OrbitShape(i)).Define(PlanetShape(i));
    movie.Define(PlanetRingShape())
        .Define(Orrery())
        .Define(BadgeShape())
        .Define(LetterF())
        .Define(LetterC())
        .Define(Logo());
}

}  // namespace

bool BuildDemoMovie(swfw::Movie* movie, std::string* error) {
    SoundTrack track;
    if (!MakeSoundTrack(kFrames, kRate, kTune, &track, error)) return false;
    movie->Size(550, 400).Rate(kRate).Version(10).Compress(swfw::Compression::Zlib);
    movie->Attributes(0).Background(Rgb(0x0B, 0x10, 0x26));
    DefineEverything(*movie);
    movie->Define(track.tune).StreamHead(track.streamHead);
    for (int i = 0; i < kFrames; ++i) {
        const double t = i / double(kFrames - 1);
        const Frame frame{i, t, Smooth(t)};
        PlaceSky(*movie, frame);
        PlaceLand(*movie, frame);
        movie->StreamBlock(track.blocks[static_cast<std::size_t>(i)]);
        if (i == kTuneFrame) {
            swfw::SoundInfo twice;
            twice.loops = 2;
            movie->StartSound(kTune, twice);
        }
        movie->ShowFrame();
    }
    return true;
}

}  // namespace demo
