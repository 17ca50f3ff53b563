// Writes the fuzz targets' seeds into a folder: small movies made with the SWF writer that
// between them reach shapes, gradients, bitmaps, morphs, clips, buttons, text, video, filters,
// actions and all three compressions (*.swf), bitmap tag bodies for fuzz_bitmap (*.bits), and
// small BMP and TGA files.
//   fuzz_make_seeds OUTPUT_FOLDER
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/swf_writer.h"
#include "tests/support/video_encoder.h"

namespace {

using namespace swfw;

Shape Box(std::uint16_t id, Color color) {
    Shape shape(id);
    shape.Fill(shape.AddFill(FillStyle::Solid(color)))
        .Line(shape.AddLine(LineStyle::Solid(40, Rgb(0, 0, 0))))
        .Rectangle(0, 0, 400, 300);
    return shape;
}

Movie Small() {
    Movie movie;
    movie.Size(40, 30).Background(Rgb(255, 255, 255));
    return movie;
}

Movie Shapes() {
    Movie movie = Small();
    Shape gradient(2);
    gradient
        .Fill(gradient.AddFill(FillStyle::Radial(Matrix::GradientBox(0, 0, 400, 300),
                                                 {{0, Rgb(255, 0, 0)}, {255, Rgba(0, 0, 255, 128)}},
                                                 SpreadMode::Reflect)))
        .Ellipse(200, 150, 200, 150)
        .MoveTo(0, 0)
        .CurveTo(200, 300, 400, 0);
    movie.Define(Box(1, Rgb(0, 128, 0)))
        .Define(gradient)
        .Place(PlaceObject::New(1, 1).At(20, 20))
        .Place(PlaceObject::New(2, 2).With(Matrix::ScaleRotate(0.5, 2, 30, 100, 100)))
        .ShowFrame()
        .Place(PlaceObject::Move(1).At(200, 100).Colors(ColorTransform::Tint(1, 0, 0, 0.5)))
        .Remove(2)
        .ShowFrame();
    return movie;
}

Movie Bitmaps() {
    Movie movie = Small();
    movie.Define(Bitmap::Argb(1, 3, 2, {0xFFFF0000, 0x8000FF00, 0x000000FF, 0xFFFFFFFF}, true))
        .Define(Bitmap::Indexed(2, 2, 2, {Rgb(1, 2, 3), Rgb(200, 100, 0)}, {0, 1, 1, 0}, false));
    Shape filled(3);
    filled.Fill(filled.AddFill(FillStyle::Bitmap(1, Matrix::Translate(0, 0))))
        .Rectangle(0, 0, 300, 200)
        .Fill(filled.AddFill(FillStyle::Bitmap(2, Matrix::Translate(0, 0), false, false)))
        .Rectangle(300, 0, 200, 200);
    movie.Define(filled).Place(PlaceObject::New(3, 1)).ShowFrame();
    return movie;
}

Movie Morph() {
    Movie movie = Small();
    MorphShape morph(1);
    morph.AddFill(MorphFillStyle::Solid(Rgb(255, 0, 0), Rgba(0, 0, 255, 100)));
    morph.AddLine(MorphLineStyle::Solid(20, Rgb(0, 0, 0), 80, Rgb(0, 255, 0)));
    morph.start.Fill(1).Line(1).Rectangle(0, 0, 200, 200);
    morph.end.Rectangle(100, 50, 400, 300);
    movie.Define(morph)
        .Place(PlaceObject::New(1, 1).Ratio(0))
        .ShowFrame()
        .Place(PlaceObject::Move(1).Ratio(40000))
        .ShowFrame();
    return movie;
}

Movie Clips() {
    Movie movie = Small();
    Sprite inner(2);
    inner.Place(PlaceObject::New(1, 1))
        .ShowFrame()
        .Place(PlaceObject::Move(1).At(100, 0))
        .ShowFrame();
    Sprite outer(3);
    outer.Place(PlaceObject::New(2, 1).Name("inner")).ShowFrame();
    Button button;
    button.id = 4;
    ButtonRecord record;
    record.characterId = 1;
    record.over = record.down = record.hitTest = true;
    button.records.push_back(record);
    Actions stop;
    stop.Stop();
    button.actions.push_back({kOverDownToOverUp, stop});
    movie.Define(Box(1, Rgb(0, 0, 255)))
        .Define(inner)
        .Define(outer)
        .Define(button)
        .Place(PlaceObject::New(3, 1).ClipDepth(3))
        .Place(PlaceObject::New(4, 2).Blend(BlendMode::Multiply))
        .Place(PlaceObject::New(1, 3).Filters(
            {Filter::Blur(4, 4, 2), Filter::DropShadow(Rgba(0, 0, 0, 200), 3, 3, 0.7, 4, 1),
             Filter::Glow(Rgb(255, 255, 0), 2, 2, 2),
             Filter::Bevel(Rgb(0, 0, 0), Rgb(255, 255, 255), 2, 2, 0.7, 2, 1),
             Filter::Convolution(3, 3, {0, 1, 0, 1, -4, 1, 0, 1, 0}, 1, 0, Rgb(0, 0, 0)),
             Filter::ColorMatrix({1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0})}))
        .Label("start")
        .ShowFrame()
        .Do(Actions().GotoFrame(0).Play())
        .ShowFrame();
    return movie;
}

Movie TextAndVideo() {
    Movie movie = Small();
    DeviceFont font;
    font.id = 1;
    EditText field;
    field.id = 2;
    field.bounds = {0, 800, 0, 400};
    field.text = "Hi";
    field.fontId = 1;
    field.color = Rgb(0, 0, 0);
    VideoStream stream;
    stream.id = 3;
    stream.frameCount = 2;
    stream.width = 16;
    stream.height = 16;
    stream.codec = VideoCodec::ScreenVideo;
    movie.Define(font)
        .Define(field)
        .Define(stream)
        .Place(PlaceObject::New(2, 1))
        .Place(PlaceObject::New(3, 2))
        .Video({3, 0, {0x10, 0x10, 0x00, 0x10, 0x00, 0x10, 0x00}})
        .ShowFrame()
        .Place(PlaceObject::Move(2).Ratio(1))
        .Video({3, 1, {0x10, 0x10, 0x00, 0x10, 0x00, 0x10, 0x00}})
        .ShowFrame();
    return movie;
}

// A real 16 x 16 Sorenson H.263 stream (a key frame and two inter frames) played by ratio,
// placed scaled, tinted and inside a clip, so fuzzing reaches the decoder with valid data.
Movie H263Video() {
    Movie movie = Small();
    VideoStream stream;
    stream.id = 1;
    stream.frameCount = 3;
    stream.width = 16;
    stream.height = 16;
    stream.smoothing = true;
    const std::vector<Buffer> frames = EncodeVideo(
        VideoCodec::H263, 16, 16, 3,
        [](int x, int y, int n) { return QuadrantPicture(x, y, n, 16, 16); }, 2);
    Sprite clip(2);
    clip.Place(PlaceObject::New(1, 1).Ratio(1)).ShowFrame();
    movie.Define(stream).Define(clip);
    movie.Place(PlaceObject::New(1, 1).With(Matrix::ScaleRotate(1.5, 1, 10, 20, 20)));
    movie.Place(PlaceObject::New(2, 2).At(300, 200).Colors(ColorTransform::Tint(1, 0.5, 0)));
    for (std::size_t n = 0; n < frames.size(); ++n) {
        movie.Video({1, static_cast<std::uint16_t>(n), frames[n]});
        if (n > 0) movie.Place(PlaceObject::Move(1).Ratio(static_cast<std::uint16_t>(n)));
        movie.ShowFrame();
    }
    return movie;
}

// 2 x 2 pixels, 24 bits, bottom-up rows padded to 4 bytes.
Buffer SmallBmp() {
    Buffer bytes = {'B', 'M', 70, 0, 0,    0,    0, 0, 0,    0,    54, 0, 0, 0,  // file header
                    40,  0,   0,  0, 2,    0,    0, 0, 2,    0,    0,  0, 1, 0, 24, 0, 0, 0, 0, 0,
                    16,  0,   0,  0, 0x13, 0x0b, 0, 0, 0x13, 0x0b, 0,  0, 0, 0, 0,  0, 0, 0, 0, 0};
    const Buffer rows = {0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 255, 255, 255, 0, 0};
    bytes.insert(bytes.end(), rows.begin(), rows.end());
    return bytes;
}

// 2 x 2 pixels, 32 bits, top-left origin; uncompressed (type 2) or run-length (type 10).
Buffer SmallTga(bool runLength) {
    Buffer bytes = {0, 0,  static_cast<std::uint8_t>(runLength ? 10 : 2),
                    0, 0,  0,
                    0, 0,  0,
                    0, 0,  0,
                    2, 0,  2,
                    0, 32, 0x28};
    const Buffer pixels = runLength
                              ? Buffer{0x81, 255, 0, 0, 255, 0x01, 0, 255, 0, 128, 0, 0, 0, 0}
                              : Buffer{255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 128, 0, 0, 0, 0};
    bytes.insert(bytes.end(), pixels.begin(), pixels.end());
    return bytes;
}

// fuzz_bitmap inputs: the selector byte, then a tag body after the character id.
std::vector<Buffer> BitmapBodies() {
    std::vector<Buffer> bodies;
    for (const Bitmap& bitmap :
         {Bitmap::Argb(1, 3, 2, {0xFFFF0000, 0x8000FF00, 0x000000FF}, true),
          Bitmap::Indexed(1, 2, 2, {Rgb(1, 2, 3), Rgb(200, 100, 0)}, {0, 1, 1, 0}, false)}) {
        const Buffer tag = EncodeBitmap(bitmap).body;
        Buffer input = {static_cast<std::uint8_t>(bitmap.withAlpha ? 5 : 4)};
        input.insert(input.end(), tag.begin() + 2, tag.end());
        bodies.push_back(input);
    }
    return bodies;
}

bool Write(const std::string& path, const Buffer& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_make_seeds OUTPUT_FOLDER\n");
        return 2;
    }
    const std::string folder = std::string(argv[1]) + "/";
    struct Named {
        const char* name;
        Movie movie;
    };
    std::vector<Named> movies = {
        {"shapes", Shapes()}, {"bitmaps", Bitmaps()},         {"morph", Morph()},
        {"clips", Clips()},   {"text-video", TextAndVideo()}, {"h263-video", H263Video()},
    };
    for (Named& entry : movies) {
        for (const auto& [suffix, compression] :
             {std::pair{"fws", Compression::None}, std::pair{"cws", Compression::Zlib},
              std::pair{"zws", Compression::Lzma}}) {
            entry.movie.compression = compression;
            const std::string path = folder + entry.name + "-" + suffix + ".swf";
            if (!Write(path, entry.movie.Bytes())) {
                std::fprintf(stderr, "fuzz_make_seeds: cannot write %s\n", path.c_str());
                return 1;
            }
        }
    }
    bool written = Write(folder + "small.bmp", SmallBmp()) &&
                   Write(folder + "small.tga", SmallTga(false)) &&
                   Write(folder + "small-rle.tga", SmallTga(true));
    int index = 0;
    for (const Buffer& body : BitmapBodies())
        written = written && Write(folder + "lossless-" + std::to_string(index++) + ".bits", body);
    if (!written) {
        std::fprintf(stderr, "fuzz_make_seeds: cannot write into %s\n", folder.c_str());
        return 1;
    }
    return 0;
}
