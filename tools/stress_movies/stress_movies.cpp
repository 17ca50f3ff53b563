// make_stress_movies FOLDER: writes the robustness run's own movies, made with the SWF writer,
// that stress what makes a frame expensive to draw: bitmaps and bitmap patterns at extreme
// scales, repetitions and origins, gradients on huge shapes, filters on tiny and huge clips,
// text at extreme scales, masks and layers by the hundred. Each has eight frames that move or
// zoom, so no frame is only a cached copy of the one before.
//   build/tools/stress_movies/make_stress_movies stress/
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/swf_writer.h"

// After <cstdio> and <cstddef>: the header uses FILE and size_t without including them.
#include <jpeglib.h>

namespace {

constexpr int kFrames = 8;
constexpr int kStageTwipsX = 11000, kStageTwipsY = 8000;  // 550 x 400

using Build = std::function<void(swfw::Movie&)>;

struct StressMovie {
    std::string name;
    Build build;
};

swfw::Movie Stage() {
    swfw::Movie m;
    m.Size(550, 400).Rate(12).Background(swfw::Rgb(250, 250, 245));
    m.compression = swfw::Compression::Zlib;
    return m;
}

// A deterministic texture: a coloured checkerboard of `side` texels with a little noise.
std::vector<std::uint32_t> Texture(int width, int height, std::uint32_t seed) {
    std::vector<std::uint32_t> argb(std::size_t(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            seed = seed * 1103515245u + 12345u;
            const std::uint32_t noise = (seed >> 16) & 0x3F;
            const bool dark = ((x / 2) + (y / 2)) % 2;
            argb[std::size_t(y) * width + x] = 0xFF000000 | ((dark ? 0x30 : 0xC0) + noise) << 16 |
                                               (0x60 + noise) << 8 | (dark ? 0xB0 : 0x40);
        }
    return argb;
}

swfw::Bitmap LosslessTexture(std::uint16_t id, int width, int height) {
    return swfw::Bitmap::Argb(id, std::uint16_t(width), std::uint16_t(height),
                              Texture(width, height, id * 7919u), false);
}

// The texture as a baseline JPEG (the pool table's kind of bitmap).
swfw::JpegBitmap JpegTexture(std::uint16_t id, int side) {
    const std::vector<std::uint32_t> argb = Texture(side, side, 4242);
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* data = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &data, &size);
    info.image_width = JDIMENSION(side);
    info.image_height = JDIMENSION(side);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 85, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<unsigned char> row(std::size_t(side) * 3);
    while (info.next_scanline < info.image_height) {
        for (int x = 0; x < side; ++x) {
            const std::uint32_t p = argb[std::size_t(info.next_scanline) * side + x];
            row[x * 3] = (p >> 16) & 0xFF, row[x * 3 + 1] = (p >> 8) & 0xFF,
                    row[x * 3 + 2] = p & 0xFF;
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    swfw::JpegBitmap bitmap;
    bitmap.id = id;
    bitmap.image.assign(data, data + size);
    jpeg_destroy_compress(&info);
    free(data);
    return bitmap;
}

// A shape covering the stage (and well beyond) with fill style `fill`.
swfw::Shape Cover(std::uint16_t id, const swfw::FillStyle& fill, int margin = 20000) {
    swfw::Shape s(id);
    s.Fill(s.AddFill(fill))
        .Rectangle(-margin, -margin, kStageTwipsX + 2 * margin, kStageTwipsY + 2 * margin);
    return s;
}

double GeometricLerp(double a, double b, int frame) {
    return a * std::pow(b / a, double(frame) / (kFrames - 1));
}

// Places character `id` at depth 1 for frame 0 and moves it every frame by `matrix(frame)`.
void Animate(swfw::Movie& m, std::uint16_t id, const std::function<swfw::Matrix(int)>& matrix) {
    for (int f = 0; f < kFrames; ++f) {
        m.Place(f == 0 ? swfw::PlaceObject::New(id, 1).With(matrix(f))
                       : swfw::PlaceObject::Move(1).With(matrix(f)))
            .ShowFrame();
    }
}

void Frames(swfw::Movie& m) {
    for (int f = 0; f < kFrames; ++f) m.ShowFrame();
}

// ---- Bitmaps ---------------------------------------------------------------------------------

// A bitmap fill at a twips matrix of scale `scale` (1 draws a texel per twip, a twentieth of a
// pixel), turning a little each frame.
Build BitmapFill(int side, double scale, bool repeat, bool smooth, double shift = 0,
                 bool jpeg = false) {
    return [=](swfw::Movie& m) {
        if (jpeg)
            m.Define(JpegTexture(1, side));
        else
            m.Define(LosslessTexture(1, side, side));
        for (int f = 0; f < kFrames; ++f) {
            const std::uint16_t id = std::uint16_t(10 + f);
            m.Define(
                Cover(id, swfw::FillStyle::Bitmap(
                              1,
                              swfw::Matrix::ScaleRotate(scale, scale, f * 7.0, std::int32_t(shift),
                                                        std::int32_t(shift)),
                              repeat, smooth)));
            m.Place(f == 0 ? swfw::PlaceObject::New(id, 1) : swfw::PlaceObject::Replace(id, 1))
                .ShowFrame();
        }
    };
}

// The pool table: a JPEG repeated at a twips matrix of scale 1 under table sprites.
void PoolTable(swfw::Movie& m) {
    m.Define(JpegTexture(1, 128));
    m.Define(Cover(2, swfw::FillStyle::Bitmap(1, swfw::Matrix::Affine(1, 0, 0, 1, 0, 0))));
    swfw::Shape ball(3);
    ball.Fill(ball.AddFill(swfw::FillStyle::Solid(swfw::Rgb(240, 240, 240)))).Circle(0, 0, 180);
    m.Define(ball);
    m.Place(swfw::PlaceObject::New(2, 1));
    for (int f = 0; f < kFrames; ++f) {
        for (int b = 0; b < 15; ++b) {
            const auto at = swfw::Matrix::Translate(1000 + (b * 617 + f * 240) % 9000,
                                                    1000 + (b * 331 + f * 150) % 6000);
            m.Place(f == 0 ? swfw::PlaceObject::New(3, std::uint16_t(2 + b)).With(at)
                           : swfw::PlaceObject::Move(std::uint16_t(2 + b)).With(at));
        }
        m.ShowFrame();
    }
}

Build BitmapZoom(int side, double from, double to) {
    return [=](swfw::Movie& m) {
        m.Define(LosslessTexture(1, side, side))
            .Define(Cover(2, swfw::FillStyle::Bitmap(1, swfw::Matrix::Affine(20, 0, 0, 20, 0, 0))));
        Animate(m, 2, [&](int f) {
            const double s = GeometricLerp(from, to, f);
            return swfw::Matrix::ScaleRotate(s, s, f * 3.0, 5500, 4000);
        });
    };
}

void TintedMinified(swfw::Movie& m) {
    m.Define(LosslessTexture(1, 200, 200))
        .Define(Cover(2, swfw::FillStyle::Bitmap(1, swfw::Matrix::Affine(1, 0, 0, 1, 0, 0))));
    for (int f = 0; f < kFrames; ++f) {
        const auto tint = swfw::ColorTransform::Tint(1.0 - f * 0.1, 0.5, 1.0, 0.9);
        m.Place(f == 0 ? swfw::PlaceObject::New(2, 1).Colors(tint)
                       : swfw::PlaceObject::Move(1).Colors(tint))
            .ShowFrame();
    }
}

void BitmapLineFill(swfw::Movie& m) {
    m.Define(LosslessTexture(1, 64, 64));
    swfw::Shape s(2);
    auto line = swfw::LineStyle::Solid(400, swfw::Rgb(0, 0, 0))
                    .FillWith(swfw::FillStyle::Bitmap(1, swfw::Matrix::Affine(1, 0, 0, 1, 0, 0)));
    s.Line(s.AddLine(line));
    for (int i = 0; i < 40; ++i) s.MoveTo(0, i * 200).LineTo(kStageTwipsX, i * 200 + 3000);
    m.Define(s);
    Animate(m, 2, [](int f) { return swfw::Matrix::Translate(0, -f * 100); });
}

void BitmapMorph(swfw::Movie& m) {
    m.Define(LosslessTexture(1, 96, 96));
    swfw::MorphShape morph(2);
    morph.AddFill(swfw::MorphFillStyle::Bitmap(1, swfw::Matrix::Affine(20, 0, 0, 20, 0, 0),
                                               swfw::Matrix::Affine(0.5, 0, 0, 0.5, 0, 0)));
    morph.start.Fill(1).Rectangle(-2000, -2000, 15000, 12000);
    morph.end.Fill(1).Rectangle(-3000, -1000, 17000, 11000);
    m.Define(morph);
    for (int f = 0; f < kFrames; ++f) {
        const auto ratio = std::uint16_t(f * 65535 / (kFrames - 1));
        m.Place(f == 0 ? swfw::PlaceObject::New(2, 1).Ratio(ratio)
                       : swfw::PlaceObject::Move(1).Ratio(ratio))
            .ShowFrame();
    }
}

void ThousandsOfTiles(swfw::Movie& m) {
    m.Define(LosslessTexture(1, 32, 32));
    swfw::Shape tile(2);
    tile.Fill(tile.AddFill(swfw::FillStyle::Bitmap(1, swfw::Matrix::Affine(0.5, 0, 0, 0.5, 0, 0))))
        .Rectangle(0, 0, 400, 400);
    m.Define(tile);
    for (int i = 0; i < 2000; ++i)
        m.Place(swfw::PlaceObject::New(2, std::uint16_t(i + 1))
                    .At((i * 97) % kStageTwipsX, (i * 61) % kStageTwipsY));
    for (int f = 0; f < kFrames; ++f) {
        m.Place(swfw::PlaceObject::Move(1).At(f * 300, f * 200)).ShowFrame();
    }
}

void NestedScaledClips(swfw::Movie& m) {
    m.Define(LosslessTexture(1, 16, 16))
        .Define(Cover(2, swfw::FillStyle::Bitmap(1, swfw::Matrix::Affine(20, 0, 0, 20, 0, 0)),
                      4000000));
    std::uint16_t inner = 2;
    for (std::uint16_t level = 0; level < 5; ++level) {
        swfw::Sprite clip(std::uint16_t(3 + level));
        clip.Place(swfw::PlaceObject::New(inner, 1).With(
                       swfw::Matrix::ScaleRotate(0.25, 0.25, 11.0 * level, 0, 0)))
            .ShowFrame();
        m.Define(clip);
        inner = clip.id;
    }
    Animate(m, inner,
            [](int f) { return swfw::Matrix::ScaleRotate(1 + f * 0.3, 1 + f * 0.3, 0, 0, 0); });
}

void SkewedFill(swfw::Movie& m) {
    m.Define(LosslessTexture(1, 48, 48));
    for (int f = 0; f < kFrames; ++f) {
        const std::uint16_t id = std::uint16_t(10 + f);
        m.Define(Cover(id, swfw::FillStyle::Bitmap(1, swfw::Matrix::Affine(20, 19.99 - f, 19.99,
                                                                           20 + f * 0.001, 0, 0))));
        m.Place(f == 0 ? swfw::PlaceObject::New(id, 1) : swfw::PlaceObject::Replace(id, 1))
            .ShowFrame();
    }
}

void ManyScales(swfw::Movie& m) {
    m.Define(LosslessTexture(1, 128, 128));
    for (int i = 0; i < 50; ++i) {
        swfw::Shape s(std::uint16_t(2 + i));
        const double scale = std::pow(2.0, (i % 25) - 15.0) * 20;
        s.Fill(s.AddFill(swfw::FillStyle::Bitmap(
                   1, swfw::Matrix::ScaleRotate(scale, scale, i * 7.0, 0, 0), i % 2 == 0)))
            .Rectangle((i % 10) * 1100, (i / 10) * 1600, 1100, 1600);
        m.Define(s).Place(swfw::PlaceObject::New(std::uint16_t(2 + i), std::uint16_t(1 + i)));
    }
    Frames(m);
}

// ---- Gradients -------------------------------------------------------------------------------

swfw::FillStyle GradientFill(swfw::FillType type, double scale, swfw::SpreadMode spread,
                             double degrees = 15,
                             swfw::InterpolationMode mode = swfw::InterpolationMode::Normal) {
    const std::vector<swfw::GradientStop> stops = {
        {0, swfw::Rgb(255, 0, 0)}, {90, swfw::Rgba(0, 255, 0, 160)}, {255, swfw::Rgb(0, 0, 255)}};
    const auto matrix = swfw::Matrix::ScaleRotate(scale, scale, degrees, 5500, 4000);
    switch (type) {
        case swfw::FillType::Linear:
            return swfw::FillStyle::Linear(matrix, stops, spread, mode);
        case swfw::FillType::Focal:
            return swfw::FillStyle::Focal(matrix, stops, 0.98, spread, mode);
        default:
            return swfw::FillStyle::Radial(matrix, stops, spread, mode);
    }
}

Build HugeGradient(swfw::FillType type, double from, double to, swfw::SpreadMode spread,
                   int copies = 1) {
    return [=](swfw::Movie& m) {
        for (int f = 0; f < kFrames; ++f) {
            const std::uint16_t id = std::uint16_t(10 + f);
            m.Define(Cover(id, GradientFill(type, GeometricLerp(from, to, f), spread, f * 5.0),
                           4000000));
            for (int c = 0; c < copies; ++c)
                m.Place(f == 0 ? swfw::PlaceObject::New(id, std::uint16_t(1 + c))
                               : swfw::PlaceObject::Replace(id, std::uint16_t(1 + c)));
            m.ShowFrame();
        }
    };
}

void LinearRgbStops(swfw::Movie& m) {
    std::vector<swfw::GradientStop> stops;
    for (int i = 0; i < 15; ++i)
        stops.push_back({std::uint8_t(i * 18),
                         swfw::Rgba(std::uint8_t(i * 17), 80, std::uint8_t(255 - i * 17), 200)});
    m.Define(Cover(
        1, swfw::FillStyle::Radial(swfw::Matrix::GradientBox(0, 0, 11000, 8000), stops,
                                   swfw::SpreadMode::Reflect, swfw::InterpolationMode::Linear)));
    for (int i = 0; i < 100; ++i)
        m.Place(swfw::PlaceObject::New(1, std::uint16_t(1 + i)).At(i * 20, i * 10));
    for (int f = 0; f < kFrames; ++f)
        m.Place(swfw::PlaceObject::Move(1).At(f * 500, 0)).ShowFrame();
}

void GradientMasks(swfw::Movie& m) {
    m.Define(Cover(1, GradientFill(swfw::FillType::Radial, 0.3, swfw::SpreadMode::Repeat)));
    swfw::Shape hole(2);
    hole.Fill(hole.AddFill(swfw::FillStyle::Solid(swfw::Rgb(0, 0, 0))))
        .Ellipse(5500, 4000, 5000, 3600);
    m.Define(hole);
    for (int i = 0; i < 50; ++i) {
        m.Place(swfw::PlaceObject::New(2, std::uint16_t(2 * i + 1))
                    .ClipDepth(std::uint16_t(2 * i + 2)))
            .Place(swfw::PlaceObject::New(1, std::uint16_t(2 * i + 2)).At(i * 30, 0));
    }
    for (int f = 0; f < kFrames; ++f)
        m.Place(swfw::PlaceObject::Move(1).At(f * 100, f * 50)).ShowFrame();
}

void GradientNestedClips(swfw::Movie& m) {
    m.Define(Cover(1, GradientFill(swfw::FillType::Focal, 0.5, swfw::SpreadMode::Reflect), 400000));
    std::uint16_t inner = 1;
    for (std::uint16_t level = 0; level < 6; ++level) {
        swfw::Sprite clip(std::uint16_t(2 + level));
        clip.Place(swfw::PlaceObject::New(inner, 1).With(swfw::Matrix::ScaleRotate(
                       level % 2 ? 30 : 0.03, level % 2 ? 30 : 0.03, 13.0 * level, 0, 0)))
            .ShowFrame();
        m.Define(clip);
        inner = clip.id;
    }
    Animate(m, inner, [](int f) { return swfw::Matrix::ScaleRotate(1, 1, f * 10.0, 5500, 4000); });
}

void GradientStroke(swfw::Movie& m) {
    swfw::Shape s(1);
    auto line = swfw::LineStyle::Solid(65535, swfw::Rgb(0, 0, 0))
                    .Join(swfw::JoinStyle::Miter, 255)
                    .FillWith(GradientFill(swfw::FillType::Radial, 0.2, swfw::SpreadMode::Repeat));
    s.Line(s.AddLine(line)).Polygon({{0, 0}, {11000, 200}, {100, 7900}, {10900, 7800}});
    m.Define(s);
    Animate(m, 1, [](int f) { return swfw::Matrix::ScaleRotate(1, 1, f * 4.0, 0, 0); });
}

// ---- Filters and layers ----------------------------------------------------------------------

swfw::Shape Dot(std::uint16_t id, int size = 20) {
    swfw::Shape s(id);
    s.Fill(s.AddFill(swfw::FillStyle::Solid(swfw::Rgb(220, 40, 40)))).Rectangle(0, 0, size, size);
    return s;
}

Build ManyFiltered(int count, std::vector<swfw::Filter> filters, int size = 20,
                   double scale = 1.0) {
    return [=](swfw::Movie& m) {
        m.Define(Dot(1, size));
        for (int i = 0; i < count; ++i)
            m.Place(swfw::PlaceObject::New(1, std::uint16_t(1 + i))
                        .With(swfw::Matrix::ScaleRotate(scale, scale, 0, (i * 37) % kStageTwipsX,
                                                        (i * 53) % kStageTwipsY))
                        .Filters(filters));
        for (int f = 0; f < kFrames; ++f)
            m.Place(swfw::PlaceObject::Move(1).With(
                        swfw::Matrix::ScaleRotate(scale, scale, 0, f * 400, f * 300)))
                .ShowFrame();
    };
}

std::vector<swfw::Filter> SixteenFilters() {
    std::vector<swfw::Filter> list;
    for (int i = 0; i < 4; ++i) {
        list.push_back(swfw::Filter::Blur(40 + i * 50, 40, 3));
        list.push_back(swfw::Filter::Glow(swfw::Rgb(0, 200, 255), 60, 60, 2, 3));
        list.push_back(swfw::Filter::DropShadow(swfw::Rgb(0, 0, 0), 80, 80, 0.7, 200, 1, 3));
        list.push_back(swfw::Filter::Bevel(swfw::Rgb(0, 0, 0), swfw::Rgb(255, 255, 255), 30, 30,
                                           0.7, 10, 2, 3));
    }
    return list;
}

void NestedFiltered(swfw::Movie& m) {
    m.Define(Dot(1, 800));
    std::uint16_t inner = 1;
    for (std::uint16_t level = 0; level < 8; ++level) {
        swfw::Sprite clip(std::uint16_t(2 + level));
        clip.Place(swfw::PlaceObject::New(inner, 1).At(100, 100).Filters(
                       {swfw::Filter::Blur(100, 100, 3),
                        swfw::Filter::Glow(swfw::Rgb(255, 255, 0), 80, 80, 3, 3)}))
            .ShowFrame();
        m.Define(clip);
        inner = clip.id;
    }
    Animate(m, inner, [](int f) { return swfw::Matrix::Translate(2000 + f * 300, 1500); });
}

void BlendLayers(swfw::Movie& m) {
    swfw::Shape s(1);
    s.Fill(s.AddFill(swfw::FillStyle::Solid(swfw::Rgba(40, 120, 200, 180))))
        .Rectangle(0, 0, 9000, 6000);
    m.Define(s);
    const swfw::BlendMode modes[] = {swfw::BlendMode::Multiply,   swfw::BlendMode::Screen,
                                     swfw::BlendMode::Overlay,    swfw::BlendMode::Hardlight,
                                     swfw::BlendMode::Difference, swfw::BlendMode::Add};
    for (int i = 0; i < 200; ++i)
        m.Place(
            swfw::PlaceObject::New(1, std::uint16_t(1 + i)).At(i * 10, i * 7).Blend(modes[i % 6]));
    for (int f = 0; f < kFrames; ++f)
        m.Place(swfw::PlaceObject::Move(1).At(f * 200, 0)).ShowFrame();
}

void CachedClips(swfw::Movie& m) {
    m.Define(Dot(1, 60));
    for (int i = 0; i < 1000; ++i)
        m.Place(swfw::PlaceObject::New(1, std::uint16_t(1 + i))
                    .At((i * 41) % kStageTwipsX, (i * 67) % kStageTwipsY)
                    .CacheAsBitmap());
    for (int f = 0; f < kFrames; ++f)
        m.Place(swfw::PlaceObject::Move(1).At(f * 100, 0)).ShowFrame();
}

// ---- Text ------------------------------------------------------------------------------------

std::string Words(int characters) {
    std::string text;
    const char* words[] = {"stress ", "movie ", "glyphs ", "at ",  "extreme ",
                           "scales ", "quick ", "brown ",  "fox\n"};
    for (int i = 0; int(text.size()) < characters; ++i) text += words[i % 9];
    return text;
}

Build DeviceText(double from, double to, int characters, double degrees = 0, bool border = false) {
    return [=](swfw::Movie& m) {
        m.Define(swfw::DeviceFont{1, "_sans"});
        swfw::EditText field;
        field.id = 2;
        field.bounds = {0, 6000, 0, 4000};
        field.text = Words(characters);
        field.fontId = 1;
        field.fontHeight = 360;
        field.wordWrap = field.multiline = true;
        field.border = border;
        field.color = swfw::Rgb(20, 20, 60);
        m.Define(field);
        Animate(m, 2, [&](int f) {
            const double s = GeometricLerp(from, to, f);
            return swfw::Matrix::ScaleRotate(s, s, degrees + f * 2.0, -int(s * 1000),
                                             -int(s * 800));
        });
    };
}

swfw::Font BlockFont(std::uint16_t id) {
    swfw::Font font;
    font.id = id;
    font.name = "Blocks";
    font.ascent = 900;
    font.descent = 200;
    for (int c = 0; c < 26; ++c) {
        swfw::Glyph g;
        g.code = std::uint16_t('a' + c);
        g.advance = 700;
        g.outline.Fill(1)
            .Rectangle(50, -800 + c * 10, 500, 700)
            .Ellipse(300, -400, 150 + c * 5, 200);
        font.glyphs.push_back(g);
    }
    return font;
}

Build EmbeddedText(std::uint16_t height, int glyphs, double from, double to) {
    return [=](swfw::Movie& m) {
        m.Define(BlockFont(1));
        swfw::Text text;
        text.id = 2;
        text.bounds = {0, 60000, -20000, 20000};
        swfw::TextRun run;
        run.fontId = 1;
        run.height = height;
        run.color = swfw::Rgb(30, 30, 30);
        run.x = 0;
        run.y = 0;
        for (int i = 0; i < glyphs; ++i) {
            run.glyphs.push_back({std::uint32_t(i % 26), std::int32_t(height * 0.7)});
            if (run.glyphs.size() == 200 || i + 1 == glyphs) {
                text.runs.push_back(run);
                run = swfw::TextRun{};
                run.y = std::int16_t(std::min(32000, int(text.runs.size()) * height));
                run.x = 0;
            }
        }
        m.Define(text);
        Animate(m, 2, [&](int f) {
            const double s = GeometricLerp(from, to, f);
            return swfw::Matrix::ScaleRotate(s, s, f * 3.0, 0, 2000);
        });
    };
}

void TextMasks(swfw::Movie& m) {
    m.Define(swfw::DeviceFont{1, "_serif"});
    swfw::EditText field;
    field.id = 2;
    field.bounds = {0, 11000, 0, 8000};
    field.text = Words(3000);
    field.fontId = 1;
    field.fontHeight = 600;
    field.wordWrap = field.multiline = true;
    m.Define(field).Define(
        Cover(3, GradientFill(swfw::FillType::Linear, 0.4, swfw::SpreadMode::Reflect)));
    for (int i = 0; i < 20; ++i)
        m.Place(swfw::PlaceObject::New(2, std::uint16_t(2 * i + 1))
                    .ClipDepth(std::uint16_t(2 * i + 2))
                    .At(i * 40, 0))
            .Place(swfw::PlaceObject::New(3, std::uint16_t(2 * i + 2)));
    for (int f = 0; f < kFrames; ++f)
        m.Place(swfw::PlaceObject::Move(1).At(f * 100, f * 60)).ShowFrame();
}

// ---- Stage -----------------------------------------------------------------------------------

void HugeStage(swfw::Movie& m) {
    m.Size(53687091, 53687091);
    swfw::Shape s(1);
    s.Fill(s.AddFill(swfw::FillStyle::Solid(swfw::Rgb(200, 60, 60)))).Rectangle(0, 0, 2000, 2000);
    m.Define(s);
    Animate(m, 1, [](int f) { return swfw::Matrix::Translate(f * 1000000, f * 1000000); });
}

std::vector<StressMovie> Movies() {
    using swfw::FillType;
    using swfw::SpreadMode;
    std::vector<StressMovie> movies;
    // Bitmaps: at a twips matrix of scale 1 (a texel per twip), repeated, clipped, hard.
    for (const int side : {2, 4, 16, 64, 256, 1024})
        movies.push_back({"bitmap-twips-repeat-" + std::to_string(side) + "px",
                          BitmapFill(side, 1, true, true)});
    movies.push_back({"bitmap-twips-clipped-256px", BitmapFill(256, 1, false, true)});
    movies.push_back({"bitmap-twips-hard-16px", BitmapFill(16, 1, true, false)});
    movies.push_back({"bitmap-jpeg-twips-repeat-128px", BitmapFill(128, 1, true, true, 0, true)});
    movies.push_back({"bitmap-pool-table", PoolTable});
    movies.push_back({"bitmap-tiny-far-origin", BitmapFill(2, 20, true, true, 2000000)});
    movies.push_back({"bitmap-magnified-far-origin", BitmapFill(16, 400, true, true, -3000000)});
    movies.push_back({"bitmap-zoom-out", BitmapZoom(64, 1, 0.0001)});
    movies.push_back({"bitmap-zoom-in", BitmapZoom(16, 1, 5000)});
    movies.push_back({"bitmap-tinted-minified", TintedMinified});
    movies.push_back({"bitmap-line-fill-minified", BitmapLineFill});
    movies.push_back({"bitmap-morph-minified", BitmapMorph});
    movies.push_back({"bitmap-2000-tiles", ThousandsOfTiles});
    movies.push_back({"bitmap-nested-scaled-clips", NestedScaledClips});
    movies.push_back({"bitmap-skewed", SkewedFill});
    movies.push_back({"bitmap-50-scales", ManyScales});
    // Gradients on huge shapes, squeezed and stretched, heaped up.
    movies.push_back({"gradient-radial-repeat-squeezed",
                      HugeGradient(FillType::Radial, 0.01, 0.00005, SpreadMode::Repeat)});
    movies.push_back({"gradient-linear-reflect-squeezed",
                      HugeGradient(FillType::Linear, 0.01, 0.00005, SpreadMode::Reflect)});
    movies.push_back(
        {"gradient-focal-huge", HugeGradient(FillType::Focal, 1, 30000, SpreadMode::Pad)});
    movies.push_back({"gradient-radial-zoom",
                      HugeGradient(FillType::Radial, 0.0001, 10000, SpreadMode::Reflect)});
    movies.push_back({"gradient-300-overlapping",
                      HugeGradient(FillType::Radial, 0.5, 0.4, SpreadMode::Repeat, 300)});
    movies.push_back({"gradient-linear-rgb-15-stops", LinearRgbStops});
    movies.push_back({"gradient-50-masks", GradientMasks});
    movies.push_back({"gradient-nested-clips", GradientNestedClips});
    movies.push_back({"gradient-huge-miter-stroke", GradientStroke});
    // Filters on tiny and huge clips, many of them, nested; layers by the hundred.
    movies.push_back(
        {"filter-1000-tiny-blurs", ManyFiltered(1000, {swfw::Filter::Blur(255, 255, 15)})});
    movies.push_back(
        {"filter-huge-clip-blur", ManyFiltered(3, {swfw::Filter::Blur(100, 100, 3)}, 20, 2000)});
    movies.push_back({"filter-tiny-scaled-clip",
                      ManyFiltered(50, {swfw::Filter::Glow(swfw::Rgb(0, 0, 255), 255, 255, 4, 15)},
                                   400, 0.0001)});
    movies.push_back({"filter-16-per-object", ManyFiltered(20, SixteenFilters(), 400)});
    movies.push_back({"filter-far-drop-shadows",
                      ManyFiltered(200, {swfw::Filter::DropShadow(swfw::Rgb(0, 0, 0), 255, 255, 0.5,
                                                                  1024, 2, 15)})});
    movies.push_back({"filter-convolution-15x15",
                      ManyFiltered(100,
                                   {swfw::Filter::Convolution(15, 15, std::vector<float>(225, 1.0f),
                                                              225, 0, swfw::Rgb(0, 0, 0))},
                                   600)});
    movies.push_back({"filter-nested-8-levels", NestedFiltered});
    movies.push_back({"layers-200-blend-modes", BlendLayers});
    movies.push_back({"layers-1000-cached-clips", CachedClips});
    // Text at extreme scales and lengths.
    movies.push_back({"text-device-huge", DeviceText(100, 400, 500)});
    movies.push_back({"text-device-tiny", DeviceText(0.001, 0.01, 2000)});
    movies.push_back({"text-device-zoom", DeviceText(0.01, 1000, 1000)});
    movies.push_back({"text-device-10000-chars", DeviceText(1, 1.2, 10000)});
    movies.push_back({"text-device-rotated-huge", DeviceText(300, 310, 800, 33)});
    movies.push_back({"text-field-border-huge", DeviceText(1000, 2000, 50, 0, true)});
    movies.push_back({"text-embedded-huge", EmbeddedText(20000, 100, 10, 100)});
    movies.push_back({"text-embedded-5000-glyphs", EmbeddedText(240, 5000, 1, 2)});
    movies.push_back({"text-embedded-zoom", EmbeddedText(400, 400, 0.001, 3000)});
    movies.push_back({"text-20-masks", TextMasks});
    movies.push_back({"stage-huge", HugeStage});
    return movies;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_stress_movies FOLDER\n");
        return 2;
    }
    const std::filesystem::path folder(argv[1]);
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    int written = 0;
    for (const StressMovie& movie : Movies()) {
        swfw::Movie m = Stage();
        movie.build(m);
        const std::string path = (folder / (movie.name + ".swf")).string();
        if (!m.Save(path)) {
            std::fprintf(stderr, "make_stress_movies: cannot write %s\n", path.c_str());
            return 1;
        }
        ++written;
    }
    std::printf("make_stress_movies: %d movies in %s\n", written, folder.c_str());
    return 0;
}
