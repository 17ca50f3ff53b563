#include "tests/support/test_movies.h"

#include <algorithm>
#include <cstdlib>

#include "player/player.h"
#include "tests/support/swf_writer.h"

namespace testmovies {

namespace {

swfw::Color AsColor(std::uint32_t rgb) {
    return swfw::Rgb((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

swfw::Shape Block(std::uint16_t id, std::uint32_t rgb, int x, int y, int w, int h) {
    swfw::Shape shape(id);
    shape.Fill(shape.AddFill(swfw::FillStyle::Solid(AsColor(rgb)))).Rectangle(x, y, w, h);
    return shape;
}

}  // namespace

std::uint32_t ColourOf(int k) {
    static const std::uint32_t colours[] = {0xE02020, 0x20B040, 0x2040E0, 0xF0C000,
                                            0x10C0C0, 0xC020C0, 0x806040, 0x404040};
    return colours[k % 8];
}

bool WriteSteppedMovie(const std::string& path, int frames, double rate, int loopBackFrame) {
    swfw::Movie movie;
    movie.Size(220, 160).Rate(rate);
    movie.Background(swfw::Rgb(255, 255, 255));
    movie.Define(Block(1, 0x000000, 0, 2800, 4400, 400));
    movie.Place(swfw::PlaceObject::New(1, 1));
    for (int k = 0; k < frames; ++k) {
        const std::uint16_t id = static_cast<std::uint16_t>(10 + k);
        movie.Define(Block(id, ColourOf(k), 200 + 300 * (k % 8), 200 + 200 * (k % 5), 1600, 1200));
        if (k > 0) movie.Remove(2);
        movie.Place(swfw::PlaceObject::New(id, 2));
        if (k == loopBackFrame) movie.Do(swfw::Actions().GotoFrame(0).Play());
        movie.ShowFrame();
    }
    return movie.Save(path);
}

bool WriteHeavyFilterMovie(const std::string& path, int frames) {
    swfw::Movie m;
    m.Size(550, 400);
    swfw::Shape dot(1);
    dot.Fill(dot.AddFill(swfw::FillStyle::Solid(swfw::Rgb(255, 0, 0)))).Rectangle(0, 0, 20, 20);
    m.Define(dot);
    for (int i = 0; i < 1000; ++i)
        m.Place(swfw::PlaceObject::New(1, std::uint16_t(i + 1))
                    .At((i * 37) % 11000, (i * 53) % 8000)
                    .Filters({swfw::Filter::Blur(255, 255, 15)}));
    for (int f = 0; f < frames; ++f) m.ShowFrame();
    return m.Save(path);
}

bool WriteClipMovie(const std::string& path, int clipFrames) {
    swfw::Sprite clip(100);
    for (int k = 0; k < clipFrames; ++k) {
        if (k > 0) clip.Remove(1);
        clip.Place(swfw::PlaceObject::New(static_cast<std::uint16_t>(10 + k), 1));
        clip.ShowFrame();
    }
    swfw::Movie movie;
    movie.Size(220, 160).Rate(12);
    movie.Background(swfw::Rgb(255, 255, 255));
    for (int k = 0; k < clipFrames; ++k)
        movie.Define(Block(static_cast<std::uint16_t>(10 + k), ColourOf(k), 400, 400, 2400, 1600));
    movie.Define(clip);
    movie.Place(swfw::PlaceObject::New(100, 1));
    movie.ShowFrame();
    return movie.Save(path);
}

CSurface EngineFrame(const std::string& path, int frame, int width, int height, bool ticks) {
    CSurface surface(width, height);
    std::string error;
    auto player = player::Player::LoadFile(path, &error);
    if (!player) return {};
    if (ticks) {
        player->PlayTicksFromStart(frame);
    } else {
        player->GotoFrame(frame);
    }
    player->Render({surface.Pixels(), width, height, surface.Stride()});
    return surface;
}

double MismatchedShare(const CSurface& engine, const std::uint32_t* rgb, int tolerance) {
    long mismatched = 0;
    for (int y = 0; y < engine.Height(); ++y) {
        for (int x = 0; x < engine.Width(); ++x) {
            const std::uint32_t a = engine.Row(y)[x];
            const std::uint32_t b = rgb[std::size_t(y) * engine.Width() + x];
            for (int shift = 0; shift <= 16; shift += 8) {
                if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > tolerance) {
                    ++mismatched;
                    break;
                }
            }
        }
    }
    return double(mismatched) / (double(engine.Width()) * engine.Height());
}

}  // namespace testmovies
