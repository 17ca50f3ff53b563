// Writes the GIF benchmark's two movies into a folder (550 x 400, 12 fps, 120 frames):
// full_motion.swf, where a turning gradient and moving discs change nearly every pixel in every
// frame, and mostly_static.swf, a detailed still scene where one small ball moves.
//   make_gif_bench_movies FOLDER
#include <cmath>
#include <cstdio>
#include <string>

#include "tests/support/swf_writer.h"

namespace {

constexpr int kFrames = 120;
constexpr int kWidthTw = 550 * 20, kHeightTw = 400 * 20;

swfw::Shape Disc(std::uint16_t id, swfw::Color inner, swfw::Color outer, int radius) {
    swfw::Shape shape(id);
    const auto fill = shape.AddFill(swfw::FillStyle::Radial(
        swfw::Matrix::GradientBox(-radius, -radius, 2 * radius, 2 * radius),
        {{0, inner}, {255, outer}}));
    shape.Fill(fill).Circle(0, 0, radius);
    return shape;
}

bool WriteFullMotion(const std::string& path) {
    swfw::Movie movie;
    movie.Size(550, 400).Rate(12).Background(swfw::Rgb(0, 0, 0));
    // A square twice the stage's diagonal, filled with a rainbow, turning about the centre.
    swfw::Shape wheel(1);
    const int half = 14000;
    wheel.Fill(wheel.AddFill(swfw::FillStyle::Linear(
                   swfw::Matrix::GradientBox(-half, -half, 2 * half, 2 * half),
                   {{0, swfw::Rgb(230, 40, 40)},
                    {60, swfw::Rgb(240, 200, 40)},
                    {120, swfw::Rgb(40, 200, 90)},
                    {180, swfw::Rgb(40, 90, 230)},
                    {255, swfw::Rgb(200, 40, 200)}})))
        .Rectangle(-half, -half, 2 * half, 2 * half);
    movie.Define(wheel);
    movie.Define(Disc(2, swfw::Rgb(255, 255, 255), swfw::Rgb(20, 60, 160), 1600));
    movie.Define(Disc(3, swfw::Rgb(255, 240, 180), swfw::Rgb(160, 40, 20), 1200));
    for (int k = 0; k < kFrames; ++k) {
        const double t = double(k) / kFrames;
        const auto wheelMatrix =
            swfw::Matrix::ScaleRotate(1, 1, 360 * t, kWidthTw / 2, kHeightTw / 2);
        const auto discA = swfw::Matrix::Translate(
            int(kWidthTw / 2 + 4000 * std::cos(2 * M_PI * t)),
            int(kHeightTw / 2 + 2500 * std::sin(4 * M_PI * t)));
        const auto discB = swfw::Matrix::ScaleRotate(
            1 + 0.5 * std::sin(2 * M_PI * t), 1, 0, int(kWidthTw * (0.1 + 0.8 * t)),
            int(kHeightTw * (0.8 - 0.6 * t)));
        if (k == 0) {
            movie.Place(swfw::PlaceObject::New(1, 1).With(wheelMatrix));
            movie.Place(swfw::PlaceObject::New(2, 2).With(discA));
            movie.Place(swfw::PlaceObject::New(3, 3).With(discB));
        } else {
            movie.Place(swfw::PlaceObject::Move(1).With(wheelMatrix));
            movie.Place(swfw::PlaceObject::Move(2).With(discA));
            movie.Place(swfw::PlaceObject::Move(3).With(discB));
        }
        movie.ShowFrame();
    }
    return movie.Save(path);
}

bool WriteMostlyStatic(const std::string& path) {
    swfw::Movie movie;
    movie.Size(550, 400).Rate(12).Background(swfw::Rgb(250, 250, 245));
    // A sky gradient, three rows of hills and a field of small discs: detailed, never moving.
    swfw::Shape sky(1);
    sky.Fill(sky.AddFill(swfw::FillStyle::Linear(
                 swfw::Matrix::GradientBox(0, 0, kWidthTw, kHeightTw, 90),
                 {{0, swfw::Rgb(30, 60, 140)}, {170, swfw::Rgb(240, 150, 90)},
                  {255, swfw::Rgb(250, 220, 160)}})))
        .Rectangle(0, 0, kWidthTw, kHeightTw);
    movie.Define(sky);
    movie.Place(swfw::PlaceObject::New(1, 1));
    for (int row = 0; row < 3; ++row) {
        swfw::Shape hills(std::uint16_t(2 + row));
        const int base = kHeightTw * (6 + row) / 10;
        std::vector<swfw::Point> outline = {{0, kHeightTw}};
        for (int x = 0; x <= kWidthTw; x += 550)
            outline.push_back({x, base - int(900 * std::sin(x * 0.0011 + row * 1.7))});
        outline.push_back({kWidthTw, kHeightTw});
        const std::uint8_t shade = std::uint8_t(60 + 50 * row);
        hills.Fill(hills.AddFill(swfw::FillStyle::Linear(
                       swfw::Matrix::GradientBox(0, base - 1000, kWidthTw, 3000, 90),
                       {{0, swfw::Rgb(40, shade, 50)}, {255, swfw::Rgb(10, shade / 2, 20)}})))
            .Polygon(outline);
        movie.Define(hills);
        movie.Place(swfw::PlaceObject::New(std::uint16_t(2 + row), std::uint16_t(2 + row)));
    }
    movie.Define(Disc(10, swfw::Rgb(255, 255, 230), swfw::Rgb(200, 120, 40), 240));
    for (int i = 0; i < 40; ++i) {
        movie.Place(swfw::PlaceObject::New(10, std::uint16_t(20 + i))
                        .At(300 + (i * 2711) % (kWidthTw - 600), 300 + (i * 1523) % 3000));
    }
    movie.Define(Disc(11, swfw::Rgb(255, 80, 80), swfw::Rgb(120, 0, 0), 360));
    for (int k = 0; k < kFrames; ++k) {
        const double t = double(k) / kFrames;
        const auto at = swfw::Matrix::Translate(int(1000 + t * (kWidthTw - 2000)),
                                                int(kHeightTw * 0.55 - 2000 * std::sin(M_PI * t * 4) * std::sin(M_PI * t * 4)));
        movie.Place(k == 0 ? swfw::PlaceObject::New(11, 100).With(at)
                           : swfw::PlaceObject::Move(100).With(at));
        movie.ShowFrame();
    }
    return movie.Save(path);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_gif_bench_movies FOLDER\n");
        return 2;
    }
    const std::string folder = std::string(argv[1]) + "/";
    if (!WriteFullMotion(folder + "full_motion.swf") ||
        !WriteMostlyStatic(folder + "mostly_static.swf")) {
        std::fprintf(stderr, "make_gif_bench_movies: cannot write into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
