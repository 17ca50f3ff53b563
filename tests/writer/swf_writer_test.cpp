// The SWF writer's output checked against bytes worked out by hand from the format's layout.
#include "tests/support/swf_writer.h"

#include <gtest/gtest.h>
#include <lzma.h>
#include <zlib.h>

#include <numeric>

namespace {

using swfw::Buffer;

Buffer RectBytes(const swfw::Rect& r) {
    swfw::BitWriter out;
    swfw::WriteRect(out, r);
    return out.Bytes();
}

Buffer MatrixBytes(const swfw::Matrix& m) {
    swfw::BitWriter out;
    swfw::WriteMatrix(out, m);
    return out.Bytes();
}

Buffer Inflate(const std::uint8_t* data, std::size_t size, std::size_t expected) {
    Buffer out(expected + 16);
    uLongf outSize = out.size();
    if (uncompress(out.data(), &outSize, data, size) != Z_OK) return {};
    out.resize(outSize);
    return out;
}

std::uint32_t U32At(const Buffer& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

// ---- Bit fields ----------------------------------------------------------------------------

TEST(BitCounts, MinimalForSignedAndUnsigned) {
    EXPECT_EQ(swfw::SignedBits(0), 0);
    EXPECT_EQ(swfw::SignedBits(-1), 1);
    EXPECT_EQ(swfw::SignedBits(1), 2);
    EXPECT_EQ(swfw::SignedBits(-64), 7);
    EXPECT_EQ(swfw::SignedBits(63), 7);
    EXPECT_EQ(swfw::SignedBits(64), 8);
    EXPECT_EQ(swfw::SignedBits(INT32_MIN), 32);
    EXPECT_EQ(swfw::UnsignedBits(0), 0);
    EXPECT_EQ(swfw::UnsignedBits(1), 1);
    EXPECT_EQ(swfw::UnsignedBits(255), 8);
}

struct RecordCase {
    const char* name;
    Buffer actual;
    Buffer expected;
};

class PackedRecord : public testing::TestWithParam<RecordCase> {};

TEST_P(PackedRecord, MatchesHandPackedBits) {
    EXPECT_EQ(GetParam().actual, GetParam().expected);
}

swfw::ColorTransform AddOnly() {
    swfw::ColorTransform cx;
    cx.redAdd = -32;
    cx.blueAdd = 16;
    return cx;
}

Buffer ColorTransformBytes(const swfw::ColorTransform& cx, bool withAlpha) {
    swfw::BitWriter out;
    swfw::WriteColorTransform(out, cx, withAlpha);
    return out.Bytes();
}

INSTANTIATE_TEST_SUITE_P(
    Records, PackedRecord,
    testing::Values(
        // N = 0: five zero bits, padded.
        RecordCase{"EmptyRect", RectBytes({0, 0, 0, 0}), {0x00}},
        // 550 x 400 px stage: N = 15.
        RecordCase{"StageRect",
                   RectBytes({0, 11000, 0, 8000}),
                   {0x78, 0x00, 0x05, 0x5F, 0x00, 0x00, 0x0F, 0xA0, 0x00}},
        // N = 2: -1 is "11", 1 is "01".
        RecordCase{"NegativeRect", RectBytes({-1, 1, -1, 1}), {0x16, 0xE8}},
        // 00010 | 000000000 | 011001000 | 000000000 | 001100100 (N = 9).
        RecordCase{"SmallRect", RectBytes({0, 200, 0, 100}), {0x48, 0x01, 0x90, 0x00, 0x32, 0x00}},
        // No scale, no rotate, NTranslateBits 0.
        RecordCase{"IdentityMatrix", MatrixBytes({}), {0x00}},
        // 0 | 0 | 00110 | 010100 (20) | 101100 (-20).
        RecordCase{
            "TranslateMatrix", MatrixBytes(swfw::Matrix::Translate(20, -20)), {0x0C, 0xA5, 0x80}},
        // 1 | 10011 | 2.0 and 0.5 in 19 bits | 0 | 00000.
        RecordCase{"ScaleMatrix",
                   MatrixBytes(swfw::Matrix::Affine(2.0, 0, 0, 0.5, 0, 0)),
                   {0xCD, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00}},
        // Quarter turn: scale 0 and 0 in 0 bits, rotate 1.0 and -1.0 in 18 bits.
        RecordCase{"RotateMatrix",
                   MatrixBytes(swfw::Matrix::ScaleRotate(1, 1, 90, 0, 0)),
                   {0x83, 0x24, 0x00, 0x03, 0x00, 0x00, 0x00}},
        // No add | mult | 10 bits | 256 256 256 128.
        RecordCase{"AlphaColorTransform",
                   ColorTransformBytes(swfw::ColorTransform::Alpha(0.5), true),
                   {0x69, 0x00, 0x40, 0x10, 0x02, 0x00}},
        // Add | no mult | 6 bits | -32 0 16; alpha terms absent.
        RecordCase{"AddColorTransform", ColorTransformBytes(AddOnly(), false), {0x9A, 0x00, 0x10}}),
    [](const testing::TestParamInfo<RecordCase>& info) { return info.param.name; });

TEST(BitCounts, TooWideValuesSaturateInsteadOfWrappingTheCount) {
    // 31-bit fields: 11111, then INT32_MIN saturated to -2^30 = 1 followed by thirty 0s.
    const Buffer rect = RectBytes({INT32_MIN, INT32_MAX, 0, 0});
    ASSERT_EQ(rect.size(), 17u);  // 5 + 4 x 31 bits
    EXPECT_EQ(rect[0], 0xFC);
    EXPECT_EQ(rect[1], 0x00);

    swfw::ColorTransform loud;
    loud.redMult = 20000;
    // No add | mult | 15 bits | 16383 = 011111111111111 ...
    const Buffer cx = ColorTransformBytes(loud, false);
    EXPECT_EQ(cx[0], 0x7D);
    EXPECT_EQ(cx[1], 0xFF);
}

// ---- Movie header and tags -----------------------------------------------------------------

TEST(Movie, SmallMovieBytes) {
    swfw::Movie movie;
    movie.Background(swfw::Rgb(255, 255, 255)).ShowFrame();
    const Buffer expected = {
        'F',  'W',  'S',  10,                                  // signature, version
        0x1E, 0x00, 0x00, 0x00,                                // file length 30
        0x78, 0x00, 0x05, 0x5F, 0x00, 0x00, 0x0F, 0xA0, 0x00,  // 550 x 400 px
        0x00, 0x0C,                                            // 12.0 fps
        0x01, 0x00,                                            // 1 frame
        0x43, 0x02, 0xFF, 0xFF, 0xFF,                          // SetBackgroundColor
        0x40, 0x00,                                            // ShowFrame
        0x00, 0x00,                                            // End
    };
    EXPECT_EQ(movie.Bytes(), expected);
}

TEST(Movie, HeaderFieldsCanLie) {
    swfw::Movie movie;
    movie.Size(1, 1).Rate(0.5).ShowFrame().ShowFrame();
    movie.frameCount = 300;
    movie.declaredLength = 0xFFFFFFF0u;
    movie.appendEnd = false;
    const Buffer bytes = movie.Bytes();
    EXPECT_EQ(U32At(bytes, 4), 0xFFFFFFF0u);
    // Rect N = 6 (20 twips): 29 bits in 4 bytes, then rate 0x0080 and count 300.
    const Buffer tail(bytes.begin() + 12, bytes.end());
    EXPECT_EQ(tail, (Buffer{0x80, 0x00, 0x2C, 0x01, 0x40, 0x00, 0x40, 0x00}));
}

TEST(Movie, CountsShowFramesWhenNoCountGiven) {
    swfw::Movie movie;
    movie.ShowFrame().Tag(swfw::RawTag(swfw::kShowFrame, {})).ShowFrame();
    EXPECT_EQ(movie.Body()[11], 3);  // after 9 bytes of stage and 2 of rate
}

TEST(Tags, HeaderLengthForms) {
    EXPECT_EQ(swfw::RawTag(1, Buffer(62)).Bytes().size(), 2u + 62);
    EXPECT_EQ(swfw::RawTag(1, Buffer(63)).Bytes().size(), 6u + 63);
    // Code 9, forced long header: 0x027F then the 32-bit length.
    EXPECT_EQ(swfw::RawTag(9, {1, 2, 3}, true).Bytes(),
              (Buffer{0x7F, 0x02, 0x03, 0x00, 0x00, 0x00, 1, 2, 3}));
    // A lying short length: header says 5, one byte follows.
    EXPECT_EQ(swfw::RawTag(12, {7}, false, 5).Bytes(), (Buffer{0x05, 0x03, 7}));
    // A lying long length that does not fit the short form.
    EXPECT_EQ(swfw::RawTag(12, {7}, false, 1000).Bytes(),
              (Buffer{0x3F, 0x03, 0xE8, 0x03, 0x00, 0x00, 7}));
}

TEST(Tags, CutTagKeepsItsFullLength) {
    swfw::Movie movie;
    movie.appendEnd = false;
    movie.Tag(swfw::RawTag(9, {1, 2, 3}).Cut(1));
    const Buffer body = movie.Body();
    EXPECT_EQ(Buffer(body.begin() + 13, body.end()), (Buffer{0x43, 0x02, 1}));
}

TEST(Tags, DefineShapeByteByByte) {
    swfw::Shape shape(1);
    shape.Fill(shape.AddFill(swfw::FillStyle::Solid(swfw::Rgb(255, 0, 0))))
        .Rectangle(0, 0, 200, 100);
    const swfw::RawTag tag = swfw::EncodeShape(shape);
    EXPECT_EQ(tag.code, swfw::kDefineShape);
    // clang-format off
    const Buffer expected = {
        0x01, 0x00,                          // character id
        0x48, 0x01, 0x90, 0x00, 0x32, 0x00,  // bounds 0..200 x 0..100, N = 9
        0x01, 0x00, 0xFF, 0x00, 0x00,        // one solid fill, RGB red
        0x00,                                // no line styles
        0x10,                                // NumFillBits 1, NumLineBits 0
        // 0 0 0 1 0 1 | 00000 | 1: style change (fill style 1, move), move to (0, 0) in 0 bits,
        //   fill style 1 = 1
        // 11 0111 0 0 011001000: straight, 9 bits, horizontal, +200
        // 11 0110 0 1 01100100: straight, 8 bits, vertical, +100
        // 11 0111 0 0 100111000: -200;  11 0110 0 1 10011100: -100;  000000: end
        0x14, 0x1D, 0xC6, 0x46, 0xCB, 0x26, 0xE4, 0xE3, 0x66, 0x70, 0x00,
    };
    // clang-format on
    EXPECT_EQ(tag.body, expected);
    const Buffer framed = tag.Bytes();
    EXPECT_EQ(framed[0], 0x9A);  // code 2 << 6 | 26
    EXPECT_EQ(framed[1], 0x00);
}

TEST(Tags, RecordsAfterNewStylesUseTheNewBitCounts) {
    swfw::Shape shape(1);
    shape.bounds = swfw::Rect{};
    shape.NewStyles({swfw::FillStyle::Solid(swfw::Rgb(255, 0, 0))}, {})
        .Fill(1)
        .MoveTo(20, 0)
        .LineTo(40, 0);
    const swfw::RawTag tag = swfw::EncodeShape(shape);
    EXPECT_EQ(tag.code, swfw::kDefineShape2);
    // clang-format off
    const Buffer expected = {
        0x01, 0x00, 0x00,              // id, empty bounds
        0x00, 0x00, 0x00,              // no fills, no lines, 0 and 0 bits
        0x40,                          // 010000: new styles only, then aligned arrays:
        0x01, 0x00, 0xFF, 0x00, 0x00,  //   one solid red fill
        0x00,                          //   no lines
        0x10,                          //   NumFillBits 1, NumLineBits 0
        // 000101 | 00110 010100 000000 | 1: fill style 1 (one bit now) and move to (20, 0)
        // 11 0100 0 0 010100: +20 horizontally;  000000: end
        0x14, 0xCA, 0x01, 0xD0, 0x50, 0x00,
    };
    // clang-format on
    EXPECT_EQ(tag.body, expected);
}

TEST(Tags, ShapeVersionFollowsContent) {
    swfw::Shape plain(1);
    plain.AddFill(swfw::FillStyle::Solid(swfw::Rgb(1, 2, 3)));
    EXPECT_EQ(swfw::EncodeShape(plain).code, swfw::kDefineShape);

    swfw::Shape restyled(1);
    restyled.NewStyles({swfw::FillStyle::Solid(swfw::Rgb(1, 2, 3))}, {})
        .Fill(1)
        .Rectangle(0, 0, 20, 20);
    EXPECT_EQ(swfw::EncodeShape(restyled).code, swfw::kDefineShape2);

    swfw::Shape translucent(1);
    translucent.AddLine(swfw::LineStyle::Solid(20, swfw::Rgba(0, 0, 0, 128)));
    EXPECT_EQ(swfw::EncodeShape(translucent).code, swfw::kDefineShape3);

    swfw::Shape capped(1);
    capped.AddLine(swfw::LineStyle::Solid(20, swfw::Rgb(0, 0, 0)).Caps(swfw::CapStyle::Square));
    EXPECT_EQ(swfw::EncodeShape(capped).code, swfw::kDefineShape4);

    swfw::Shape forced(1);
    forced.version = 3;
    EXPECT_EQ(swfw::EncodeShape(forced).code, swfw::kDefineShape3);
}

TEST(Tags, LineStyle2Fields) {
    swfw::Shape shape(7);
    shape.AddLine(swfw::LineStyle::Solid(40, swfw::Rgba(1, 2, 3, 4))
                      .Caps(swfw::CapStyle::None)
                      .Join(swfw::JoinStyle::Miter, 2.5)
                      .NoScale(true, false));
    shape.bounds = swfw::Rect{};
    shape.edgeBounds = swfw::Rect{};
    const swfw::RawTag tag = swfw::EncodeShape(shape);
    const Buffer expected = {
        0x07, 0x00, 0x00, 0x00,  // id, bounds, edge bounds (N = 0)
        0x00,                    // reserved, no winding rule, no stroke flags
        0x00,                    // no fills
        0x01, 0x28, 0x00,        // one line, width 40
        0x64,                    // start cap 01, join 10, no fill, no h-scale 1, v 0, hint 0
        0x01,                    // reserved 00000, no close 0, end cap 01
        0x80, 0x02,              // miter 2.5
        0x01, 0x02, 0x03, 0x04,  // RGBA
        0x01,                    // NumFillBits 0, NumLineBits 1
        0x00,                    // end record
    };
    EXPECT_EQ(tag.body, expected);
}

TEST(Tags, GradientFillRecord) {
    swfw::Shape shape(1);
    shape.AddFill(
        swfw::FillStyle::Focal({}, {{0, swfw::Rgb(255, 0, 0)}, {255, swfw::Rgba(0, 0, 255, 0)}},
                               -0.5, swfw::SpreadMode::Reflect, swfw::InterpolationMode::Linear));
    shape.bounds = swfw::Rect{};
    const Buffer body = swfw::EncodeShape(shape).body;
    // After id, bounds, edge bounds and the flag byte.
    const Buffer fill(body.begin() + 5, body.begin() + 5 + 16);
    const Buffer expected = {
        0x01, 0x13,                    // one fill, focal gradient
        0x00,                          // identity matrix
        0x52,                          // reflect 01, linear RGB 01, two stops
        0x00, 0xFF, 0x00, 0x00, 0xFF,  // ratio 0, red
        0xFF, 0x00, 0x00, 0xFF, 0x00,  // ratio 255, transparent blue
        0x80, 0xFF,                    // focal point -0.5
    };
    EXPECT_EQ(fill, expected);
}

// ---- Paths ---------------------------------------------------------------------------------

std::pair<std::int64_t, std::int64_t> EdgeSum(const std::vector<swfw::ShapeRecord>& records) {
    std::int64_t x = 0, y = 0;
    for (const swfw::ShapeRecord& r : records) {
        if (const auto* s = std::get_if<swfw::StraightEdge>(&r)) {
            x += s->dx;
            y += s->dy;
        } else if (const auto* c = std::get_if<swfw::CurvedEdge>(&r)) {
            x += c->controlDx + c->anchorDx;
            y += c->controlDy + c->anchorDy;
        }
    }
    return {x, y};
}

TEST(Paths, OutlinesCloseExactly) {
    swfw::Path path;
    path.Ellipse(1234, -567, 3001, 1999).Circle(5, 5, 7).Polygon({{0, 0}, {100, 7}, {-9, 55}});
    EXPECT_EQ(EdgeSum(path.Records()), (std::pair<std::int64_t, std::int64_t>{0, 0}));
}

TEST(Paths, LongEdgesAreSplitToFitTheirFields) {
    swfw::Path path;
    path.MoveTo(0, 0).LineTo(200000, -3).CurveTo(200000, 150000, 0, 150000);
    const auto records = path.Records();
    EXPECT_EQ(EdgeSum(records), (std::pair<std::int64_t, std::int64_t>{0, 150000}));
    for (const swfw::ShapeRecord& r : records) {
        if (const auto* s = std::get_if<swfw::StraightEdge>(&r)) {
            EXPECT_LE(swfw::SignedBits({s->dx, s->dy}), 17);
        } else if (const auto* c = std::get_if<swfw::CurvedEdge>(&r)) {
            EXPECT_LE(swfw::SignedBits({c->controlDx, c->controlDy, c->anchorDx, c->anchorDy}), 17);
        }
    }
    EXPECT_GT(records.size(), 3u);
}

TEST(Paths, StyleSelectionsMergeWithTheMove) {
    swfw::Path path;
    path.Fill0(2).Line(1).MoveTo(10, 20).LineTo(30, 20);
    const auto records = path.Records();
    ASSERT_EQ(records.size(), 2u);
    const auto& sc = std::get<swfw::StyleChange>(records[0]);
    EXPECT_EQ(sc.fill0, 2u);
    EXPECT_EQ(sc.line, 1u);
    ASSERT_TRUE(sc.moveTo);
    EXPECT_EQ(sc.moveTo->x, 10);
}

TEST(Paths, NewStylesAndSelectionsSplitIntoTwoRecords) {
    swfw::Path path;
    path.NewStyles(
            {swfw::FillStyle::Solid({}), swfw::FillStyle::Solid({}), swfw::FillStyle::Solid({})},
            {})
        .Fill(3)
        .MoveTo(0, 0);
    const auto records = path.Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_TRUE(std::get<swfw::StyleChange>(records[0]).newStyles);
    EXPECT_FALSE(std::get<swfw::StyleChange>(records[1]).newStyles);
    EXPECT_EQ(std::get<swfw::StyleChange>(records[1]).fill1, 3u);
}

// ---- Other tags ----------------------------------------------------------------------------

TEST(Tags, PlaceObjectForms) {
    EXPECT_EQ(swfw::EncodePlaceObject(swfw::PlaceObject::New(1, 1).At(20, -20)).body,
              (Buffer{0x06, 0x01, 0x00, 0x01, 0x00, 0x0C, 0xA5, 0x80}));
    EXPECT_EQ(swfw::EncodePlaceObject(swfw::PlaceObject::Move(3).Ratio(0x1234)).body,
              (Buffer{0x11, 0x03, 0x00, 0x34, 0x12}));
    EXPECT_EQ(swfw::EncodePlaceObject(swfw::PlaceObject::New(2, 4).Version(1)).body,
              (Buffer{0x02, 0x00, 0x04, 0x00, 0x00}));

    const swfw::RawTag third = swfw::EncodePlaceObject(
        swfw::PlaceObject::Replace(5, 2).Name("a").Blend(swfw::BlendMode::Multiply).Visible(false));
    EXPECT_EQ(third.code, swfw::kPlaceObject3);
    EXPECT_EQ(third.body, (Buffer{0x23, 0x22, 0x02, 0x00, 0x05, 0x00, 'a', 0, 0x03, 0x00}));
}

TEST(Tags, FilterList) {
    const swfw::RawTag tag =
        swfw::EncodePlaceObject(swfw::PlaceObject::Move(1).Filters({swfw::Filter::Blur(4, 2, 3)}));
    const Buffer expected = {0x01, 0x01, 0x01, 0x00,  // move, filter list, depth 1
                             0x01, 0x01,              // one filter: blur
                             0x00, 0x00, 0x04, 0x00,  // blur x 4.0
                             0x00, 0x00, 0x02, 0x00,  // blur y 2.0
                             0x18};                   // passes 3, reserved
    EXPECT_EQ(tag.body, expected);
}

TEST(Tags, BevelStoresHighlightBeforeShadow) {
    const swfw::Filter bevel =
        swfw::Filter::Bevel(swfw::Rgba(0, 0, 255, 0x3F), swfw::Rgba(255, 0, 0, 0x3F), 20, 20,
                            0.785385, 10, 0.5, 1, true, false, false);
    // As in movies made by the authoring tool: red highlight, blue shadow, 20, 20, 45 degrees,
    // 10, 0.5, then inner | composite source | one pass.
    const Buffer expected = {0xFF, 0x00, 0x00, 0x3F, 0x00, 0x00, 0xFF, 0x3F, 0x00,
                             0x00, 0x14, 0x00, 0x00, 0x00, 0x14, 0x00, 0x0F, 0xC9,
                             0x00, 0x00, 0x00, 0x00, 0x0A, 0x00, 0x80, 0x00, 0xA1};
    EXPECT_EQ(bevel.id, 3);
    EXPECT_EQ(bevel.data, expected);
}

TEST(Tags, ActionsAndLabels) {
    swfw::Movie movie;
    movie.appendEnd = false;
    movie.Do(swfw::Actions().Stop().GotoFrame(5).GotoLabel("x").Play()).Label("go");
    const Buffer body = movie.Body();
    const Buffer tags(body.begin() + 13, body.end());
    const Buffer expected = {
        0x0D, 0x03,                    // DoAction, 13 bytes
        0x07,                          // stop
        0x81, 0x02, 0x00, 0x05, 0x00,  // gotoFrame 5
        0x8C, 0x02, 0x00, 'x',  0x00,  // gotoLabel "x"
        0x06, 0x00,                    // play, end
        0xC3, 0x0A, 'g',  'o',  0x00,  // FrameLabel "go"
    };
    EXPECT_EQ(tags, expected);
}

TEST(Tags, SpriteHasItsOwnTimeline) {
    swfw::Sprite clip(9);
    clip.Place(swfw::PlaceObject::New(1, 1)).ShowFrame().Remove(1).ShowFrame();
    const swfw::RawTag tag = swfw::EncodeSprite(clip);
    EXPECT_EQ(tag.code, swfw::kDefineSprite);
    const Buffer expected = {0x09, 0x00, 0x02, 0x00,                    // id 9, 2 frames
                             0x85, 0x06, 0x02, 0x01, 0x00, 0x01, 0x00,  // PlaceObject2
                             0x40, 0x00,                                // ShowFrame
                             0x02, 0x07, 0x01, 0x00,                    // RemoveObject2 depth 1
                             0x40, 0x00, 0x00, 0x00};                   // ShowFrame, End
    EXPECT_EQ(tag.body, expected);
}

TEST(Tags, LosslessBitmapPremultipliesAndDeflates) {
    const swfw::Bitmap bm =
        swfw::Bitmap::Argb(3, 2, 1, {0x80FF0000u, 0xFF00FF00u}, /*withAlpha=*/true);
    const swfw::RawTag tag = swfw::EncodeBitmap(bm);
    EXPECT_EQ(tag.code, swfw::kDefineBitsLossless2);
    ASSERT_GT(tag.body.size(), 7u);
    EXPECT_EQ(Buffer(tag.body.begin(), tag.body.begin() + 7),
              (Buffer{0x03, 0x00, 0x05, 0x02, 0x00, 0x01, 0x00}));
    const Buffer pixels = Inflate(tag.body.data() + 7, tag.body.size() - 7, 8);
    EXPECT_EQ(pixels, (Buffer{0x80, 0x80, 0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00}));

    const swfw::Bitmap indexed = swfw::Bitmap::Indexed(
        4, 3, 2, {swfw::Rgb(1, 2, 3), swfw::Rgb(4, 5, 6)}, {0, 1, 0, 1, 0, 1}, false);
    EXPECT_EQ(indexed.colorTableSize, 1);
    // Palette (2 x RGB), then rows of 3 indices padded to 4.
    EXPECT_EQ(indexed.pixels, (Buffer{1, 2, 3, 4, 5, 6, 0, 1, 0, 0, 1, 0, 1, 0}));

    const swfw::Bitmap translucent =
        swfw::Bitmap::Indexed(4, 1, 1, {swfw::Rgba(200, 100, 50, 128)}, {0}, true);
    EXPECT_EQ(translucent.pixels, (Buffer{200, 100, 50, 128, 0, 0, 0, 0}));
}

TEST(Tags, JpegBitmapForms) {
    const Buffer image = {0xFF, 0xD8, 0xFF, 0xD9};
    swfw::JpegBitmap jpeg{5, image, std::nullopt, std::nullopt, false};
    EXPECT_EQ(swfw::EncodeJpeg(jpeg).code, swfw::kDefineBitsJpeg2);
    EXPECT_EQ(swfw::EncodeJpeg(jpeg).body, (Buffer{0x05, 0x00, 0xFF, 0xD8, 0xFF, 0xD9}));
    jpeg.tablesSeparate = true;
    EXPECT_EQ(swfw::EncodeJpeg(jpeg).code, swfw::kDefineBits);

    swfw::JpegBitmap withAlpha{5, image, Buffer{0x00, 0x80, 0xFF}, std::nullopt, false};
    const swfw::RawTag third = swfw::EncodeJpeg(withAlpha);
    EXPECT_EQ(third.code, swfw::kDefineBitsJpeg3);
    // id, offset of the alpha data = image size, image, deflated alpha.
    ASSERT_GT(third.body.size(), 10u);
    EXPECT_EQ(Buffer(third.body.begin(), third.body.begin() + 10),
              (Buffer{0x05, 0x00, 0x04, 0x00, 0x00, 0x00, 0xFF, 0xD8, 0xFF, 0xD9}));
    EXPECT_EQ(Inflate(third.body.data() + 10, third.body.size() - 10, 3),
              (Buffer{0x00, 0x80, 0xFF}));

    swfw::JpegBitmap deblocked{5, image, std::nullopt, std::uint16_t{0x0180}, false};
    const swfw::RawTag fourth = swfw::EncodeJpeg(deblocked);
    EXPECT_EQ(fourth.code, swfw::kDefineBitsJpeg4);
    EXPECT_EQ(fourth.body,
              (Buffer{0x05, 0x00, 0x04, 0x00, 0x00, 0x00, 0x80, 0x01, 0xFF, 0xD8, 0xFF, 0xD9}));
}

TEST(Tags, VideoStreamAndFrame) {
    const swfw::VideoStream stream{7, 2, 160, 120, 2, true, swfw::VideoCodec::Vp6};
    EXPECT_EQ(swfw::EncodeVideoStream(stream).body,
              (Buffer{0x07, 0x00, 0x02, 0x00, 0xA0, 0x00, 0x78, 0x00, 0x05, 0x04}));
    const swfw::RawTag frame = swfw::EncodeVideoFrame({7, 1, {0xAB, 0xCD}});
    EXPECT_EQ(frame.code, swfw::kVideoFrame);
    EXPECT_EQ(frame.body, (Buffer{0x07, 0x00, 0x01, 0x00, 0xAB, 0xCD}));
}

TEST(Tags, DeviceFontAndTextField) {
    EXPECT_EQ(
        swfw::EncodeDeviceFont({3, "_sans", false, false}).body,
        (Buffer{0x03, 0x00, 0x04, 0x01, 0x05, '_', 's', 'a', 'n', 's', 0x00, 0x00, 0x02, 0x00}));
    EXPECT_EQ(swfw::EncodeDeviceFont({3, "A", true, true}).body[2], 0x07);

    swfw::EditText plain;
    plain.id = 1;
    plain.bounds = {0, 20, 0, 20};
    plain.border = true;
    // id, bounds (N = 6), no first-byte flags, border, empty variable name.
    EXPECT_EQ(swfw::EncodeEditText(plain).body,
              (Buffer{0x01, 0x00, 0x30, 0x0A, 0x00, 0xA0, 0x00, 0x08, 0x00}));

    swfw::EditText full;
    full.id = 2;
    full.text = "Hi";
    full.fontId = 3;
    full.fontHeight = 400;
    full.color = swfw::Rgba(1, 2, 3, 4);
    full.maxLength = 9;
    full.layout = swfw::EditText::Layout{2, 40, 60, 0, -20};
    full.variableName = "v";
    full.readOnly = full.multiline = full.html = true;
    // clang-format off
    const Buffer expected = {
        0x02, 0x00, 0x00,                    // id, empty bounds
        0xAF,                                // text, multiline, read-only, colour, max length, font
        0x22,                                // layout, HTML
        0x03, 0x00, 0x90, 0x01,              // font 3, 400 twips
        0x01, 0x02, 0x03, 0x04,              // colour
        0x09, 0x00,                          // max length
        0x02, 0x28, 0x00, 0x3C, 0x00, 0x00, 0x00, 0xEC, 0xFF,  // centred, margins, indent, leading
        'v', 0x00, 'H', 'i', 0x00,           // variable name, initial text
    };
    // clang-format on
    EXPECT_EQ(swfw::EncodeEditText(full).body, expected);
}

TEST(Tags, EmbeddedFontAndStaticText) {
    swfw::Font font;
    font.id = 5;
    font.name = "Ab";
    font.bold = true;
    font.ascent = 800;
    font.descent = 200;
    font.leading = -10;
    swfw::Glyph glyph;
    glyph.code = 'A';
    glyph.advance = 900;
    glyph.outline.Fill(1).MoveTo(1, -1).LineTo(2, -1);
    font.glyphs = {glyph};
    font.kerning = {{'A', 'A', -50}};
    // clang-format off
    const Buffer expectedFont = {
        0x05, 0x00, 0x85, 0x01, 0x02, 'A', 'b',  // id, layout + wide codes + bold, Latin, name
        0x01, 0x00, 0x04, 0x00, 0x09, 0x00,      // one glyph at 4, code table at 9
        0x10, 0x14, 0x4F, 0xC0, 0x40,            // 1 fill bit: move (1, -1) with fill 1, dx 1, end
        0x41, 0x00,                              // code
        0x20, 0x03, 0xC8, 0x00, 0xF6, 0xFF,      // ascent, descent, leading
        0x84, 0x03,                              // advance
        0x19, 0x5F, 0x80,                        // bounds: N = 3; 1, 2, -1, -1
        0x01, 0x00, 0x41, 0x00, 0x41, 0x00, 0xCE, 0xFF,  // one kerning pair
    };
    // clang-format on
    const swfw::RawTag fontTag = swfw::EncodeFont(font);
    EXPECT_EQ(fontTag.code, swfw::kDefineFont2);
    EXPECT_EQ(fontTag.body, expectedFont);
    font.version = 3;
    EXPECT_EQ(swfw::EncodeFont(font).code, swfw::kDefineFont3);

    swfw::Text text;
    text.id = 7;
    swfw::TextRun first;
    first.fontId = 5;
    first.height = 400;
    first.color = swfw::Rgb(255, 0, 0);
    first.x = 100;
    first.y = 200;
    first.glyphs = {{0, 120}, {3, -20}};
    swfw::TextRun second;
    second.x = 50;
    second.glyphs = {{1, 0}};
    text.runs = {first, second};
    // clang-format off
    const Buffer expectedText = {
        0x07, 0x00, 0x00, 0x00, 0x02, 0x08,  // id, empty bounds, identity, 2 glyph and 8 advance bits
        0x8F, 0x05, 0x00, 0xFF, 0x00, 0x00, 0x64, 0x00, 0xC8, 0x00, 0x90, 0x01,
        0x02, 0x1E, 0x3E, 0xC0,              // (0, 120), (3, -20)
        0x81, 0x32, 0x00, 0x01, 0x40, 0x00,  // x 50; (1, 0)
        0x00,
    };
    // clang-format on
    const swfw::RawTag textTag = swfw::EncodeText(text);
    EXPECT_EQ(textTag.code, swfw::kDefineText);
    EXPECT_EQ(textTag.body, expectedText);
    text.runs[0].color = swfw::Rgba(255, 0, 0, 128);
    EXPECT_EQ(swfw::EncodeText(text).code, swfw::kDefineText2);
}

TEST(Tags, ButtonRecordsAndActions) {
    swfw::Button button;
    button.id = 2;
    swfw::ButtonRecord shown;
    shown.characterId = 1;
    shown.down = shown.hitTest = true;
    swfw::ButtonRecord over;
    over.characterId = 3;
    over.up = false;
    over.over = true;
    button.records = {shown, over};
    button.actions = {{swfw::kOverUpToOverDown, swfw::Actions().Stop()},
                      {swfw::kOverDownToOverUp, swfw::Actions().Play()}};
    const swfw::RawTag tag = swfw::EncodeButton(button);
    EXPECT_EQ(tag.code, swfw::kDefineButton2);
    // clang-format off
    const Buffer expected = {
        0x02, 0x00, 0x00,                    // id, not a menu
        0x11, 0x00,                          // 17 bytes from here to the first actions
        0x0D, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00,  // up, down, hit: character 1, depth 1
        0x02, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00,  // over: character 3, depth 1
        0x00,                                // end of characters
        0x06, 0x00, 0x04, 0x00, 0x07, 0x00,  // 6 bytes to the next; on press: stop
        0x00, 0x00, 0x08, 0x00, 0x06, 0x00,  // last; on release: play
    };
    // clang-format on
    EXPECT_EQ(tag.body, expected);
}

TEST(Tags, MorphShape2ByteByByte) {
    swfw::MorphShape morph(3);
    morph.startBounds = morph.endBounds = morph.startEdgeBounds = morph.endEdgeBounds =
        swfw::Rect{};
    morph.usesScalingStrokes = true;
    swfw::MorphLineStyle line =
        swfw::MorphLineStyle::Solid(20, swfw::Rgba(1, 2, 3, 4), 40, swfw::Rgba(5, 6, 7, 8));
    line.startCap = line.endCap = swfw::CapStyle::Square;
    line.join = swfw::JoinStyle::Bevel;
    morph.AddLine(line);
    morph.start.Line(1).MoveTo(0, 0).LineTo(20, 0);
    morph.end.MoveTo(0, 0).LineTo(40, 0);
    const swfw::RawTag tag = swfw::EncodeMorphShape(morph);
    EXPECT_EQ(tag.code, swfw::kDefineMorphShape2);
    // clang-format off
    const Buffer expected = {
        0x03, 0x00,                        // id
        0x00, 0x00, 0x00, 0x00,            // four empty bounds
        0x01,                              // reserved, no non-scaling strokes, scaling strokes
        0x15, 0x00, 0x00, 0x00,            // 21 bytes to the end edges
        0x00,                              // no fills
        0x01, 0x14, 0x00, 0x28, 0x00,      // one line, 20 -> 40 twips
        0x90,                              // square start cap 10, bevel join 01, no fill, flags 0
        0x02,                              // reserved, no close 0, square end cap 10
        0x01, 0x02, 0x03, 0x04,            // start colour
        0x05, 0x06, 0x07, 0x08,            // end colour
        0x01,                              // start edges: 0 fill bits, 1 line bit
        // 001001 00000 1: line style 1 and move to (0, 0);  11 0100 0 0 010100: +20;  end
        0x24, 0x1D, 0x05, 0x00,
        0x00,                              // end edges: no style bits
        // 000001 00000: move to (0, 0);  11 0101 0 0 0101000: +40;  end
        0x04, 0x1A, 0x8A, 0x00,
    };
    // clang-format on
    EXPECT_EQ(tag.body, expected);
}

TEST(Tags, MorphShapeOffsetReachesTheEndEdges) {
    swfw::MorphShape morph(2);
    morph.AddFill(swfw::MorphFillStyle::Solid(swfw::Rgb(255, 0, 0), swfw::Rgb(0, 0, 255)));
    morph.start.Fill(1).Rectangle(0, 0, 100, 100);
    morph.end.Rectangle(50, 50, 200, 20);
    const swfw::RawTag tag = swfw::EncodeMorphShape(morph);
    EXPECT_EQ(tag.code, swfw::kDefineMorphShape);
    // id, start bounds (N = 8: 37 bits, 5 bytes), end bounds (N = 9: 41 bits, 6 bytes), offset.
    const std::size_t offsetAt = 2 + 5 + 6;
    const std::size_t endEdges = offsetAt + 4 + U32At(tag.body, offsetAt);
    ASSERT_LT(endEdges, tag.body.size());
    EXPECT_EQ(tag.body[endEdges], 0x00);  // end edges carry no style bits
    // 000001 00111 0110010 0110010: move to (50, 50) in 7 bits
    EXPECT_EQ(tag.body[endEdges + 1], 0x04);
    EXPECT_EQ(tag.body[endEdges + 2], 0xEC);
}

// ---- Compression ---------------------------------------------------------------------------

swfw::Movie SomeMovie() {
    swfw::Movie movie;
    swfw::Shape shape(1);
    shape.Fill(shape.AddFill(swfw::FillStyle::Solid(swfw::Rgb(10, 20, 30)))).Circle(0, 0, 400);
    movie.Define(shape);
    for (int i = 0; i < 20; ++i)
        movie.Place(swfw::PlaceObject::New(1, static_cast<std::uint16_t>(i + 1)).At(i * 100, 50))
            .ShowFrame();
    return movie;
}

TEST(Compression, CwsBodyInflatesToTheFwsBody) {
    swfw::Movie movie = SomeMovie();
    const Buffer plain = movie.Bytes();
    const Buffer packed = movie.Compress(swfw::Compression::Zlib).Bytes();
    ASSERT_GT(packed.size(), 8u);
    EXPECT_EQ(Buffer(packed.begin(), packed.begin() + 3), (Buffer{'C', 'W', 'S'}));
    EXPECT_EQ(Buffer(packed.begin() + 3, packed.begin() + 8),
              Buffer(plain.begin() + 3, plain.begin() + 8));
    EXPECT_EQ(Inflate(packed.data() + 8, packed.size() - 8, plain.size()),
              Buffer(plain.begin() + 8, plain.end()));
}

TEST(Compression, ZwsBodyDecodesToTheFwsBody) {
    swfw::Movie movie = SomeMovie();
    const Buffer plain = movie.Bytes();
    const Buffer packed = movie.Compress(swfw::Compression::Lzma).Bytes();
    ASSERT_GT(packed.size(), 17u);
    EXPECT_EQ(Buffer(packed.begin(), packed.begin() + 3), (Buffer{'Z', 'W', 'S'}));
    EXPECT_EQ(U32At(packed, 4), plain.size());
    EXPECT_EQ(U32At(packed, 8), packed.size() - 17);

    // Rebuild the .lzma form: properties, 64-bit unknown size, data.
    Buffer alone(packed.begin() + 12, packed.begin() + 17);
    alone.insert(alone.end(), 8, 0xFF);
    alone.insert(alone.end(), packed.begin() + 17, packed.end());
    lzma_stream s = LZMA_STREAM_INIT;
    ASSERT_EQ(lzma_alone_decoder(&s, UINT64_MAX), LZMA_OK);
    Buffer body(plain.size());
    s.next_in = alone.data();
    s.avail_in = alone.size();
    s.next_out = body.data();
    s.avail_out = body.size();
    const lzma_ret ret = lzma_code(&s, LZMA_FINISH);
    const std::size_t produced = s.total_out;
    lzma_end(&s);
    EXPECT_EQ(ret, LZMA_STREAM_END);
    EXPECT_EQ(produced, plain.size() - 8);
    body.resize(produced);
    EXPECT_EQ(body, Buffer(plain.begin() + 8, plain.end()));
}

TEST(Compression, PackKeepsALyingLengthAndACutBody) {
    const Buffer body = SomeMovie().Body();
    const Buffer cut(body.begin(), body.begin() + 10);
    const Buffer packed = swfw::Pack(swfw::Compression::Zlib, 6, cut, 123456);
    EXPECT_EQ(packed[3], 6);
    EXPECT_EQ(U32At(packed, 4), 123456u);
    EXPECT_EQ(Inflate(packed.data() + 8, packed.size() - 8, 64), cut);
}

TEST(Movie, SaveWritesTheBytes) {
    const std::string path = testing::TempDir() + "/swfw_save_test.swf";
    swfw::Movie movie = SomeMovie();
    ASSERT_TRUE(movie.Save(path));
    FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    Buffer read(movie.Bytes().size() + 1);
    const std::size_t n = std::fread(read.data(), 1, read.size(), f);
    std::fclose(f);
    std::remove(path.c_str());
    read.resize(n);
    EXPECT_EQ(read, movie.Bytes());

    std::string error;
    EXPECT_FALSE(movie.Save("/nonexistent-dir/x.swf", &error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
