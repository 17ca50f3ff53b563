// The reader against fixtures written byte by byte from the file format's description, so the
// reader and our SWF writer cannot share a mistake.
#include "player/reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "player/bitreader.h"
#include "player/decompress.h"
#include "player/records.h"
#include "player/tags.h"
#include "tests/support/swf_writer.h"

namespace player {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(BitReader, ReadsLittleEndianFieldsAndFailsPastTheEnd) {
    const Bytes data = {0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 0xFF};
    BitReader in(data);
    EXPECT_EQ(in.U16(), 0x1234);
    EXPECT_EQ(in.U32(), 0x12345678u);
    EXPECT_EQ(in.U16(), 0);  // one byte left
    EXPECT_TRUE(in.Failed());
    EXPECT_EQ(in.Remaining(), 0u);
}

struct BitCase {
    Bytes data;
    int width;
    bool isSigned;
    std::int64_t expected;
};

class BitFields : public ::testing::TestWithParam<BitCase> {};

TEST_P(BitFields, DecodeMostSignificantBitFirst) {
    const BitCase& c = GetParam();
    BitReader in(c.data);
    const std::int64_t v =
        c.isSigned ? std::int64_t{in.SBits(c.width)} : std::int64_t{in.UBits(c.width)};
    EXPECT_EQ(v, c.expected);
    EXPECT_FALSE(in.Failed());
}

INSTANTIATE_TEST_SUITE_P(Widths, BitFields,
                         ::testing::Values(BitCase{{0xA0}, 3, false, 5},  // 101
                                           BitCase{{0xA0}, 3, true, -3},  // 101 signed
                                           BitCase{{0x40}, 2, true, 1},   // 01
                                           BitCase{{0x00}, 0, true, 0},  // zero width reads nothing
                                           BitCase{{0xFF, 0xFF, 0xFF, 0xFE}, 31, false, 0x7FFFFFFF},
                                           BitCase{{0x80, 0x00, 0x00, 0x00}, 31, true, -1073741824},
                                           BitCase{{0x7F, 0xFF, 0xFF, 0xFE}, 31, true, 1073741823},
                                           BitCase{{0xFF, 0xFF, 0xFF, 0xFF}, 32, true, -1}));

TEST(BitReader, BitFieldRunningOutFails) {
    const Bytes data = {0xFF};
    BitReader in(data);
    in.UBits(6);
    in.UBits(6);
    EXPECT_TRUE(in.Failed());
}

TEST(Records, RectWithFiveBitWidth) {
    // nbits = 15 (01111), xMin 0, xMax 11000, yMin 0, yMax 8000: the usual 550 x 400 stage.
    const Bytes data = {0x78, 0x00, 0x05, 0x5F, 0x00, 0x00, 0x0F, 0xA0, 0x00};
    BitReader in(data);
    const Rect r = ReadRect(in);
    EXPECT_EQ(r, (Rect{0, 11000, 0, 8000}));
    EXPECT_EQ(in.Position(), data.size());
}

TEST(Records, MatrixWithScaleRotateAndTranslate) {
    // HasScale 1, NScaleBits 19: scaleX 2.0 (0x20000), scaleY 0.5 (0x8000);
    // HasRotate 1, NRotateBits 2: skew0 1, skew1 -1; NTranslateBits 8: x 100, y -100.
    swfw::BitWriter w;  // bit packing only: the field values and order come from this test
    w.UB(1, 1);
    w.UB(5, 19);
    w.SB(19, 0x20000);
    w.SB(19, 0x8000);
    w.UB(1, 1);
    w.UB(5, 2);
    w.SB(2, 1);
    w.SB(2, -1);
    w.UB(5, 8);
    w.SB(8, 100);
    w.SB(8, -100);
    const Bytes data = w.Bytes();
    BitReader in(data);
    const Matrix m = ReadMatrix(in);
    EXPECT_EQ(m, (Matrix{0x20000, 0x8000, 1, -1, 100, -100}));
    EXPECT_EQ(in.Position(), data.size());
}

TEST(Records, IdentityMatrixIsOneByteOfZeroTranslate) {
    const Bytes data = {0x00};
    BitReader in(data);
    EXPECT_EQ(ReadMatrix(in), Matrix{});
    EXPECT_FALSE(in.Failed());
}

TEST(Records, ColorTransformWithAlphaReadsMultThenAdd) {
    // HasAdd 1, HasMult 1, Nbits 10: mult 256,128,64,255; add -10,20,0,5.
    swfw::BitWriter w;
    w.UB(1, 1);
    w.UB(1, 1);
    w.UB(4, 10);
    for (int v : {256, 128, 64, 255}) w.SB(10, v);
    for (int v : {-10, 20, 0, 5}) w.SB(10, v);
    const Bytes data = w.Bytes();
    BitReader in(data);
    const ColorTransform c = ReadColorTransform(in, true);
    EXPECT_EQ(c.mult[1], 128);
    EXPECT_EQ(c.mult[3], 255);
    EXPECT_EQ(c.add[0], -10);
    EXPECT_EQ(c.add[3], 5);
}

TEST(Tags, ShortAndLongTagHeaders) {
    // ShowFrame (code 1, length 0) = 0x0040; a long DoAction (code 12) with length 2.
    const Bytes data = {0x40, 0x00, 0x3F, 0x03, 0x02, 0x00, 0x00, 0x00};
    BitReader in(data);
    TagHeader h;
    ASSERT_TRUE(ReadTagHeader(in, &h));
    EXPECT_EQ(h.code, 1);
    EXPECT_EQ(h.length, 0u);
    ASSERT_TRUE(ReadTagHeader(in, &h));
    EXPECT_EQ(h.code, 12);
    EXPECT_EQ(h.length, 2u);
}

Tag Read(std::uint16_t code, const Bytes& body, std::string* problem) {
    ModelBudget budget;
    return ReadTag(code, body, 0, budget, problem);
}

TEST(Tags, DefineShapeRedSquareByHand) {
    const Bytes body = {
        0x01, 0x00,              // shape id 1
        0x00,                    // bounds: nbits 0, all zero
        0x01,                    // one fill style
        0x00, 0xFF, 0x00, 0x00,  // solid red (RGB in DefineShape)
        0x00,                    // no line styles
        0x10,                    // NumFillBits 1, NumLineBits 0
    };
    // The shape records are packed by hand on a bit writer to keep them readable.
    swfw::BitWriter w;
    w.UB(1, 0);     // non-edge
    w.UB(5, 0x05);  // StateFillStyle1 | StateMoveTo
    w.UB(5, 1);     // MoveBits
    w.SB(1, 0);
    w.SB(1, 0);
    w.UB(1, 1);   // FillStyle1 = 1
    w.UB(1, 1);   // edge
    w.UB(1, 1);   // straight
    w.UB(4, 5);   // NumBits - 2 = 5 -> 7 bits
    w.UB(1, 0);   // not general
    w.UB(1, 1);   // vertical
    w.SB(7, 40);  // dy
    w.UB(1, 0);   // end record
    w.UB(5, 0);
    Bytes full = body;
    const Bytes& records = w.Bytes();
    full.insert(full.end(), records.begin(), records.end());

    std::string problem;
    Tag tag = Read(kTagDefineShape, full, &problem);
    ASSERT_TRUE(std::holds_alternative<Shape>(tag)) << problem;
    const Shape& s = std::get<Shape>(tag);
    EXPECT_EQ(s.id, 1);
    EXPECT_EQ(s.version, 1);
    ASSERT_EQ(s.styles.fills.size(), 1u);
    EXPECT_EQ(s.styles.fills[0].color, (Rgba{255, 0, 0, 255}));
    ASSERT_EQ(s.records.size(), 2u);
    const auto& change = std::get<StyleChange>(s.records[0]);
    EXPECT_EQ(change.fill1, 1u);
    EXPECT_EQ(change.moveX, 0);
    EXPECT_EQ(std::get<StraightEdge>(s.records[1]).dy, 40);
}

TEST(Tags, PlaceObject2WithEveryField) {
    swfw::BitWriter w;
    w.U8(0x7E);  // clip depth, name, ratio, colour transform, matrix, character (no move)
    w.U16(5);    // depth
    w.U16(9);    // character
    w.UB(1, 0);  // matrix: no scale
    w.UB(1, 0);  //         no rotate
    w.UB(5, 0);  //         zero translate bits
    w.Align();
    w.UB(1, 0);  // colour transform: no add
    w.UB(1, 1);  //                   mult
    w.UB(4, 10);
    for (int v : {256, 256, 256, 128}) w.SB(10, v);
    w.Align();
    w.U16(300);  // ratio
    w.String("clip");
    w.U16(12);  // clip depth
    std::string problem;
    Tag tag = Read(kTagPlaceObject2, w.Bytes(), &problem);
    ASSERT_TRUE(std::holds_alternative<PlaceObject>(tag)) << problem;
    const auto& p = std::get<PlaceObject>(tag);
    EXPECT_EQ(p.depth, 5);
    EXPECT_EQ(p.characterId, 9);
    EXPECT_FALSE(p.move);
    EXPECT_EQ(p.colorTransform->mult[3], 128);
    EXPECT_EQ(p.ratio, 300);
    EXPECT_EQ(p.name, "clip");
    EXPECT_EQ(p.clipDepth, 12);
}

TEST(Tags, PlaceObject3HasImageWithoutClassNameReadsNoName) {
    // Files from the authoring tool set the has-image bit alone: no class name follows.
    swfw::BitWriter w;
    w.U8(0x06);                // matrix, character
    w.U8(0x10 | 0x02 | 0x04);  // has image, blend mode, cache as bitmap
    w.U16(3);                  // depth
    w.U16(7);                  // character
    w.U8(0x00);                // identity matrix
    w.U8(3);                   // blend mode multiply
    w.U8(1);                   // cache as bitmap
    std::string problem;
    Tag tag = Read(kTagPlaceObject3, w.Bytes(), &problem);
    ASSERT_TRUE(std::holds_alternative<PlaceObject>(tag)) << problem;
    const auto& p = std::get<PlaceObject>(tag);
    EXPECT_FALSE(p.className);
    EXPECT_EQ(p.characterId, 7);
    EXPECT_EQ(p.blendMode, 3);
    EXPECT_EQ(p.cacheAsBitmap, 1);
}

TEST(Tags, PlaceObject3KeepsFiltersAndVisibility) {
    swfw::PlaceObject place = swfw::PlaceObject::New(4, 2);
    place
        .Filters({swfw::Filter::Blur(4, 4),
                  swfw::Filter::GradientGlow({{0, swfw::Rgb(1, 2, 3)}, {255, swfw::Rgb(4, 5, 6)}},
                                             2, 2, 0, 4, 1)})
        .Visible(false);
    const swfw::RawTag raw = swfw::EncodePlaceObject(place);
    std::string problem;
    Tag tag = Read(raw.code, raw.body, &problem);
    ASSERT_TRUE(std::holds_alternative<PlaceObject>(tag)) << problem;
    const auto& p = std::get<PlaceObject>(tag);
    ASSERT_TRUE(p.filters);
    ASSERT_EQ(p.filters->size(), 2u);
    EXPECT_EQ((*p.filters)[0].id, 1);
    EXPECT_EQ((*p.filters)[1].id, 4);
    EXPECT_EQ(p.visible, 0);
}

TEST(Tags, RemoveObjectsAndLabelAndBackground) {
    std::string problem;
    auto r1 = Read(kTagRemoveObject, {0x02, 0x00, 0x07, 0x00}, &problem);
    EXPECT_EQ(std::get<RemoveObject>(r1).depth, 7);
    EXPECT_EQ(std::get<RemoveObject>(r1).characterId, 2);
    auto r2 = Read(kTagRemoveObject2, {0x09, 0x00}, &problem);
    EXPECT_EQ(std::get<RemoveObject>(r2).depth, 9);
    auto label = Read(kTagFrameLabel, {'i', 'n', 't', 'r', 'o', 0}, &problem);
    EXPECT_EQ(std::get<FrameLabelTag>(label).name, "intro");
    auto bg = Read(kTagSetBackgroundColor, {0x10, 0x20, 0x30}, &problem);
    EXPECT_EQ(std::get<SetBackgroundColorTag>(bg).color, (Rgba{0x10, 0x20, 0x30, 255}));
}

TEST(Tags, CutShortTagsComeBackRawWithAReason) {
    for (std::uint16_t code :
         {kTagPlaceObject2, kTagRemoveObject2, kTagFrameLabel, kTagSetBackgroundColor,
          kTagDefineShape, kTagDefineVideoStream, kTagVideoFrame}) {
        std::string problem;
        Tag tag = Read(code, {0x06}, &problem);
        EXPECT_TRUE(std::holds_alternative<RawTag>(tag)) << code;
        EXPECT_FALSE(problem.empty()) << code;
    }
    std::string problem;
    Tag unknown = Read(777, {1, 2, 3}, &problem);
    EXPECT_EQ(std::get<RawTag>(unknown).code, 777);
    EXPECT_TRUE(problem.empty());
}

// A whole minimal movie: header, SetBackgroundColor, ShowFrame, End.
Bytes MinimalMovie(char signature) {
    Bytes body = {0x78, 0x00, 0x05, 0x5F, 0x00, 0x00, 0x0F, 0xA0, 0x00,  // 550 x 400
                  0x00, 0x18,                                            // 24 fps
                  0x01, 0x00,                                            // 1 frame
                  0x43, 0x02, 0xFF, 0x80, 0x00,                          // background
                  0x40, 0x00,                                            // ShowFrame
                  0x00, 0x00};                                           // End
    const auto compression = signature == 'C'   ? swfw::Compression::Zlib
                             : signature == 'Z' ? swfw::Compression::Lzma
                                                : swfw::Compression::None;
    return swfw::Pack(compression, signature == 'Z' ? 13 : 8, body);
}

class WholeMovie : public ::testing::TestWithParam<char> {};

TEST_P(WholeMovie, ReadsHeaderAndFrames) {
    const Bytes file = MinimalMovie(GetParam());
    ASSERT_EQ(file[0], GetParam());
    std::string error;
    auto movie = ReadMovie(file, &error);
    ASSERT_TRUE(movie) << error;
    EXPECT_EQ(movie->frameSize, (Rect{0, 11000, 0, 8000}));
    EXPECT_EQ(movie->frameRate, 24 << 8);
    EXPECT_EQ(movie->root.frames.size(), 1u);
    EXPECT_EQ(movie->background, (Rgba{0xFF, 0x80, 0x00, 255}));
    EXPECT_FALSE(movie->truncated);
    EXPECT_TRUE(movie->problems.empty());
}

INSTANTIATE_TEST_SUITE_P(Compressions, WholeMovie, ::testing::Values('F', 'C', 'Z'));

TEST(ReadMovie, RejectsWhatIsNotAMovie) {
    std::string error;
    EXPECT_FALSE(ReadMovie(Bytes{'G', 'I', 'F', '8', '9', 'a', 0, 0, 0}, &error));
    EXPECT_EQ(error, DecompressErrorName(DecompressError::kBadSignature));
    EXPECT_FALSE(ReadMovie(Bytes{'F', 'W'}, &error));
    EXPECT_EQ(error, DecompressErrorName(DecompressError::kTooShort));
    EXPECT_FALSE(ReadMovie(Bytes{'C', 'W', 'S', 8, 100, 0, 0, 0, 1, 2, 3, 4}, &error));
    EXPECT_EQ(error, DecompressErrorName(DecompressError::kCorruptStream));
}

TEST(ReadMovie, SpriteTimelineAndLabels) {
    swfw::Sprite sprite(3);
    sprite.Label("a").ShowFrame().Do(swfw::Actions().Stop()).Label("b").ShowFrame();
    swfw::Movie movie;
    movie.Define(sprite).Place(swfw::PlaceObject::New(3, 1)).ShowFrame();
    std::string error;
    auto m = ReadMovie(movie.Bytes(), &error);
    ASSERT_TRUE(m) << error;
    const auto* s = std::get_if<Sprite>(m->Find(3));
    ASSERT_TRUE(s);
    ASSERT_EQ(s->timeline.frames.size(), 2u);
    EXPECT_EQ(s->timeline.labels.at("b"), 1);
    EXPECT_EQ(s->timeline.frames[1].actions.size(), 1u);
    EXPECT_EQ(s->timeline.frames[1].label, "b");
}

TEST(ReadMovie, ShapeFourStylesRoundTrip) {
    swfw::Shape shape(1);
    shape.usesFillWindingRule = true;
    const auto fill = shape.AddFill(
        swfw::FillStyle::Focal(swfw::Matrix::GradientBox(0, 0, 2000, 2000),
                               {{0, swfw::Rgba(255, 0, 0, 128)}, {255, swfw::Rgb(0, 0, 255)}}, 0.5,
                               swfw::SpreadMode::Reflect, swfw::InterpolationMode::Linear));
    const auto line = shape.AddLine(swfw::LineStyle::Solid(60, swfw::Rgb(1, 2, 3))
                                        .Caps(swfw::CapStyle::Square)
                                        .Join(swfw::JoinStyle::Miter, 4.0)
                                        .NoScale());
    shape.Fill(fill).Line(line).Rectangle(0, 0, 2000, 2000);
    shape.NewStyles({swfw::FillStyle::Solid(swfw::Rgb(9, 9, 9))}, {})
        .Fill(1)
        .Rectangle(0, 0, 100, 100);
    const swfw::RawTag raw = swfw::EncodeShape(shape);
    ASSERT_EQ(raw.code, kTagDefineShape4);
    std::string problem;
    Tag tag = Read(raw.code, raw.body, &problem);
    ASSERT_TRUE(std::holds_alternative<Shape>(tag)) << problem;
    const auto& s = std::get<Shape>(tag);
    EXPECT_TRUE(s.nonZeroWinding);
    const FillStyle& f = s.styles.fills.at(0);
    EXPECT_EQ(f.kind, FillKind::kFocalRadial);
    EXPECT_EQ(f.gradient.spread, SpreadMode::kReflect);
    EXPECT_EQ(f.gradient.interpolation, Interpolation::kLinearRgb);
    EXPECT_EQ(f.gradient.focalPoint, 128);
    EXPECT_EQ(f.gradient.records.at(0).color, (Rgba{255, 0, 0, 128}));
    const LineStyle& l = s.styles.lines.at(0);
    EXPECT_EQ(l.width, 60);
    EXPECT_EQ(l.startCap, CapStyle::kSquare);
    EXPECT_EQ(l.join, JoinStyle::kMiter);
    EXPECT_EQ(l.miterLimit, 4 << 8);
    EXPECT_TRUE(l.noHScale && l.noVScale);
    int newStyles = 0;
    for (const auto& r : s.records)
        if (const auto* c = std::get_if<StyleChange>(&r); c && c->newStyles) ++newStyles;
    EXPECT_EQ(newStyles, 1);
}

}  // namespace
}  // namespace player
