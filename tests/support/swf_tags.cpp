// Bitmaps, filters, PlaceObject, actions, raw tags and the shared timeline tag list.
#include <algorithm>
#include <cmath>

#include "tests/support/avm1_asm.h"
#include "tests/support/swf_writer.h"

namespace swfw {

namespace {

// A 16.16 value as its 32 raw bits.
std::uint32_t Fixed16Bits(double v) {
    return static_cast<std::uint32_t>(Fixed16(v));
}

void WriteRgba(BitWriter& out, Color c) {
    out.U8(c.r);
    out.U8(c.g);
    out.U8(c.b);
    out.U8(c.a);
}

std::uint8_t Premultiply(std::uint8_t channel, std::uint8_t alpha) {
    return static_cast<std::uint8_t>((channel * alpha + 127) / 255);
}

void WriteFilterList(BitWriter& out, const std::vector<Filter>& filters) {
    out.U8(static_cast<std::uint8_t>(filters.size()));
    for (const Filter& f : filters) {
        out.U8(f.id);
        out.Append(f.data);
    }
}

void PadRow(Buffer& data, std::size_t rowBytes) {
    for (std::size_t i = rowBytes; i % 4 != 0; ++i) data.push_back(0);
}

// The flag bits that close the shadow, glow and bevel filters.
void WriteFilterFlags(BitWriter& out, bool inner, bool knockout, std::optional<bool> onTop,
                      int passes) {
    out.UB(1, inner);
    out.UB(1, knockout);
    out.UB(1, 1);  // composite source: always set
    if (onTop) {
        out.UB(1, *onTop);
        out.UB(4, static_cast<std::uint32_t>(passes));
    } else {
        out.UB(5, static_cast<std::uint32_t>(passes));
    }
}

Filter GradientFilter(std::uint8_t id, const std::vector<GradientStop>& stops, double blurX,
                      double blurY, double angle, double distance, double strength, int passes,
                      bool inner, bool knockout, bool onTop) {
    BitWriter out;
    out.U8(static_cast<std::uint8_t>(stops.size()));
    for (const GradientStop& s : stops) WriteRgba(out, s.color);
    for (const GradientStop& s : stops) out.U8(s.ratio);
    out.U32(Fixed16Bits(blurX));
    out.U32(Fixed16Bits(blurY));
    out.U32(Fixed16Bits(angle));
    out.U32(Fixed16Bits(distance));
    out.S16(Fixed8(strength));
    WriteFilterFlags(out, inner, knockout, onTop, passes);
    return Filter{id, out.Bytes()};
}

}  // namespace

// ---- Bitmaps -------------------------------------------------------------------------------

Bitmap Bitmap::Argb(std::uint16_t id, std::uint16_t width, std::uint16_t height,
                    const std::vector<std::uint32_t>& argb, bool withAlpha) {
    Bitmap bm{id, withAlpha, 5, width, height, 0, {}};
    const std::size_t count = std::size_t{width} * height;
    bm.pixels.reserve(count * 4);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t p = i < argb.size() ? argb[i] : 0;  // short input: transparent
        const auto a = static_cast<std::uint8_t>(p >> 24);
        const auto r = static_cast<std::uint8_t>(p >> 16);
        const auto g = static_cast<std::uint8_t>(p >> 8);
        const auto b = static_cast<std::uint8_t>(p);
        if (withAlpha) {
            bm.pixels.insert(bm.pixels.end(),
                             {a, Premultiply(r, a), Premultiply(g, a), Premultiply(b, a)});
        } else {
            // The first byte is reserved; authoring tools write 0xFF, readers ignore it.
            bm.pixels.insert(bm.pixels.end(), {0xFF, r, g, b});
        }
    }
    return bm;
}

Bitmap Bitmap::Indexed(std::uint16_t id, std::uint16_t width, std::uint16_t height,
                       const std::vector<Color>& palette, const std::vector<std::uint8_t>& indices,
                       bool withAlpha) {
    const std::size_t entries = std::clamp<std::size_t>(palette.size(), 1, 256);
    Bitmap bm{id, withAlpha, 3, width, height, static_cast<std::uint8_t>(entries - 1), {}};
    for (std::size_t i = 0; i < entries; ++i) {
        const Color c = i < palette.size() ? palette[i] : Color{};
        if (withAlpha)
            bm.pixels.insert(bm.pixels.end(), {c.r, c.g, c.b, c.a});
        else
            bm.pixels.insert(bm.pixels.end(), {c.r, c.g, c.b});
    }
    for (std::size_t y = 0; y < height; ++y) {
        for (std::size_t x = 0; x < width; ++x) {
            const std::size_t i = y * width + x;
            bm.pixels.push_back(i < indices.size() ? indices[i] : 0);
        }
        PadRow(bm.pixels, width);
    }
    return bm;
}

RawTag EncodeBitmap(const Bitmap& bitmap) {
    BitWriter out;
    out.U16(bitmap.id);
    out.U8(bitmap.format);
    out.U16(bitmap.width);
    out.U16(bitmap.height);
    if (bitmap.format == 3) out.U8(bitmap.colorTableSize);
    out.Append(Deflate(bitmap.pixels));
    return RawTag{bitmap.withAlpha ? kDefineBitsLossless2 : kDefineBitsLossless, out.Bytes()};
}

RawTag EncodeJpeg(const JpegBitmap& bitmap) {
    BitWriter out;
    out.U16(bitmap.id);
    if (bitmap.tablesSeparate || !(bitmap.alpha || bitmap.deblock)) {
        out.Append(bitmap.image);
        return RawTag{bitmap.tablesSeparate ? kDefineBits : kDefineBitsJpeg2, out.Bytes()};
    }
    out.U32(static_cast<std::uint32_t>(bitmap.image.size()));
    if (bitmap.deblock) out.U16(*bitmap.deblock);
    out.Append(bitmap.image);
    if (bitmap.alpha) out.Append(Deflate(*bitmap.alpha));
    return RawTag{bitmap.deblock ? kDefineBitsJpeg4 : kDefineBitsJpeg3, out.Bytes()};
}

RawTag EncodeVideoStream(const VideoStream& stream) {
    BitWriter out;
    out.U16(stream.id);
    out.U16(stream.frameCount);
    out.U16(stream.width);
    out.U16(stream.height);
    out.UB(4, 0);
    out.UB(3, stream.deblocking);
    out.UB(1, stream.smoothing);
    out.U8(static_cast<std::uint8_t>(stream.codec));
    return RawTag{kDefineVideoStream, out.Bytes()};
}

RawTag EncodeVideoFrame(const VideoFrame& frame) {
    BitWriter out;
    out.U16(frame.streamId);
    out.U16(frame.frame);
    out.Append(frame.data);
    return RawTag{kVideoFrame, out.Bytes()};
}

// ---- Text ----------------------------------------------------------------------------------

RawTag EncodeDeviceFont(const DeviceFont& font) {
    BitWriter out;
    out.U16(font.id);
    out.UB(5, 0);  // no layout, no Shift-JIS, no small text, no ANSI, narrow offsets
    out.UB(1, 1);  // wide codes, required from version 6 on
    out.UB(1, font.italic);
    out.UB(1, font.bold);
    out.U8(1);  // language: Latin
    out.U8(static_cast<std::uint8_t>(font.name.size()));
    out.Append(Buffer(font.name.begin(), font.name.end()));
    out.U16(0);  // no glyphs
    out.U16(2);  // the (empty) code table follows this offset field
    return RawTag{kDefineFont2, out.Bytes()};
}

RawTag EncodeEditText(const EditText& f) {
    BitWriter out;
    out.U16(f.id);
    WriteRect(out, f.bounds);
    out.UB(1, f.text.has_value());
    out.UB(1, f.wordWrap);
    out.UB(1, f.multiline);
    out.UB(1, f.password);
    out.UB(1, f.readOnly);
    out.UB(1, f.color.has_value());
    out.UB(1, f.maxLength.has_value());
    out.UB(1, f.fontId.has_value());
    out.UB(1, f.fontClass.has_value());
    out.UB(1, f.autoSize);
    out.UB(1, f.layout.has_value());
    out.UB(1, f.noSelect);
    out.UB(1, f.border);
    out.UB(1, f.wasStatic);
    out.UB(1, f.html);
    out.UB(1, f.useOutlines);
    if (f.fontId) out.U16(*f.fontId);
    if (f.fontClass) out.String(*f.fontClass);
    if (f.fontId || f.fontClass) out.U16(f.fontHeight);
    if (f.color) WriteRgba(out, *f.color);
    if (f.maxLength) out.U16(*f.maxLength);
    if (f.layout) {
        out.U8(f.layout->align);
        out.U16(f.layout->leftMargin);
        out.U16(f.layout->rightMargin);
        out.U16(f.layout->indent);
        out.S16(f.layout->leading);
    }
    out.String(f.variableName);
    if (f.text) out.String(*f.text);
    return RawTag{kDefineEditText, out.Bytes()};
}

// ---- Filters -------------------------------------------------------------------------------

Filter Filter::DropShadow(Color color, double blurX, double blurY, double angleRadians,
                          double distance, double strength, int passes, bool inner, bool knockout) {
    BitWriter out;
    WriteRgba(out, color);
    out.U32(Fixed16Bits(blurX));
    out.U32(Fixed16Bits(blurY));
    out.U32(Fixed16Bits(angleRadians));
    out.U32(Fixed16Bits(distance));
    out.S16(Fixed8(strength));
    WriteFilterFlags(out, inner, knockout, std::nullopt, passes);
    return Filter{0, out.Bytes()};
}

Filter Filter::Blur(double blurX, double blurY, int passes) {
    BitWriter out;
    out.U32(Fixed16Bits(blurX));
    out.U32(Fixed16Bits(blurY));
    out.UB(5, static_cast<std::uint32_t>(passes));
    out.UB(3, 0);
    return Filter{1, out.Bytes()};
}

Filter Filter::Glow(Color color, double blurX, double blurY, double strength, int passes,
                    bool inner, bool knockout) {
    BitWriter out;
    WriteRgba(out, color);
    out.U32(Fixed16Bits(blurX));
    out.U32(Fixed16Bits(blurY));
    out.S16(Fixed8(strength));
    WriteFilterFlags(out, inner, knockout, std::nullopt, passes);
    return Filter{2, out.Bytes()};
}

Filter Filter::Bevel(Color shadow, Color highlight, double blurX, double blurY, double angleRadians,
                     double distance, double strength, int passes, bool inner, bool knockout,
                     bool onTop) {
    BitWriter out;
    // Movies store the highlight colour first (it is drawn on the side the angle lights),
    // although the published field list names the shadow colour first.
    WriteRgba(out, highlight);
    WriteRgba(out, shadow);
    out.U32(Fixed16Bits(blurX));
    out.U32(Fixed16Bits(blurY));
    out.U32(Fixed16Bits(angleRadians));
    out.U32(Fixed16Bits(distance));
    out.S16(Fixed8(strength));
    WriteFilterFlags(out, inner, knockout, onTop, passes);
    return Filter{3, out.Bytes()};
}

Filter Filter::GradientGlow(const std::vector<GradientStop>& stops, double blurX, double blurY,
                            double angleRadians, double distance, double strength, int passes,
                            bool inner, bool knockout, bool onTop) {
    return GradientFilter(4, stops, blurX, blurY, angleRadians, distance, strength, passes, inner,
                          knockout, onTop);
}

Filter Filter::GradientBevel(const std::vector<GradientStop>& stops, double blurX, double blurY,
                             double angleRadians, double distance, double strength, int passes,
                             bool inner, bool knockout, bool onTop) {
    return GradientFilter(7, stops, blurX, blurY, angleRadians, distance, strength, passes, inner,
                          knockout, onTop);
}

Filter Filter::Convolution(int columns, int rows, const std::vector<float>& matrix, float divisor,
                           float bias, Color defaultColor, bool clamp, bool preserveAlpha) {
    BitWriter out;
    out.U8(static_cast<std::uint8_t>(columns));
    out.U8(static_cast<std::uint8_t>(rows));
    out.Float(divisor);
    out.Float(bias);
    for (int i = 0; i < columns * rows; ++i)
        out.Float(static_cast<std::size_t>(i) < matrix.size() ? matrix[i] : 0.0f);
    WriteRgba(out, defaultColor);
    out.UB(6, 0);
    out.UB(1, clamp);
    out.UB(1, preserveAlpha);
    return Filter{5, out.Bytes()};
}

Filter Filter::ColorMatrix(const std::array<float, 20>& matrix) {
    BitWriter out;
    for (float v : matrix) out.Float(v);
    return Filter{6, out.Bytes()};
}

// ---- PlaceObject ---------------------------------------------------------------------------

PlaceObject PlaceObject::New(std::uint16_t characterId, std::uint16_t depth) {
    PlaceObject p;
    p.characterId = characterId;
    p.depth = depth;
    return p;
}

PlaceObject PlaceObject::Move(std::uint16_t depth) {
    PlaceObject p;
    p.depth = depth;
    p.move = true;
    return p;
}

PlaceObject PlaceObject::Replace(std::uint16_t characterId, std::uint16_t depth) {
    PlaceObject p = Move(depth);
    p.characterId = characterId;
    return p;
}

PlaceObject& PlaceObject::With(const Matrix& m) {
    matrix = m;
    return *this;
}
PlaceObject& PlaceObject::Colors(const ColorTransform& cx) {
    colorTransform = cx;
    return *this;
}
PlaceObject& PlaceObject::Ratio(std::uint16_t r) {
    ratio = r;
    return *this;
}
PlaceObject& PlaceObject::Name(std::string n) {
    name = std::move(n);
    return *this;
}
PlaceObject& PlaceObject::ClipDepth(std::uint16_t d) {
    clipDepth = d;
    return *this;
}
PlaceObject& PlaceObject::Blend(BlendMode mode) {
    blendMode = mode;
    return *this;
}
PlaceObject& PlaceObject::Filters(std::vector<Filter> list) {
    filters = std::move(list);
    return *this;
}
PlaceObject& PlaceObject::CacheAsBitmap(bool on) {
    cacheAsBitmap = on;
    return *this;
}
PlaceObject& PlaceObject::Visible(bool on) {
    visible = on;
    return *this;
}
PlaceObject& PlaceObject::Version(int v) {
    version = v;
    return *this;
}

int PlaceObject::ResolvedVersion() const {
    if (version != 0) return version;
    const bool third =
        className || filters || blendMode || cacheAsBitmap || visible || opaqueBackground;
    return third ? 3 : 2;
}

static RawTag EncodePlaceObject1(const PlaceObject& p) {
    BitWriter out;
    out.U16(p.characterId.value_or(0));
    out.U16(p.depth);
    WriteMatrix(out, p.matrix.value_or(Matrix{}));
    if (p.colorTransform) WriteColorTransform(out, *p.colorTransform, false);
    return RawTag{kPlaceObject, out.Bytes()};
}

RawTag EncodePlaceObject(const PlaceObject& p) {
    const int v = p.ResolvedVersion();
    if (v <= 1) return EncodePlaceObject1(p);
    BitWriter out;
    out.UB(1, 0);  // clip actions
    out.UB(1, p.clipDepth.has_value());
    out.UB(1, p.name.has_value());
    out.UB(1, p.ratio.has_value());
    out.UB(1, p.colorTransform.has_value());
    out.UB(1, p.matrix.has_value());
    out.UB(1, p.characterId.has_value());
    out.UB(1, p.move);
    if (v >= 3) {
        out.UB(1, 0);  // reserved
        out.UB(1, p.opaqueBackground.has_value());
        out.UB(1, p.visible.has_value());
        out.UB(1, 0);  // image
        out.UB(1, p.className.has_value());
        out.UB(1, p.cacheAsBitmap.has_value());
        out.UB(1, p.blendMode.has_value());
        out.UB(1, p.filters.has_value());
    }
    out.U16(p.depth);
    if (v >= 3 && p.className) out.String(*p.className);
    if (p.characterId) out.U16(*p.characterId);
    if (p.matrix) WriteMatrix(out, *p.matrix);
    if (p.colorTransform) WriteColorTransform(out, *p.colorTransform, true);
    if (p.ratio) out.U16(*p.ratio);
    if (p.name) out.String(*p.name);
    if (p.clipDepth) out.U16(*p.clipDepth);
    if (v >= 3) {
        if (p.filters) WriteFilterList(out, *p.filters);
        if (p.blendMode) out.U8(static_cast<std::uint8_t>(*p.blendMode));
        if (p.cacheAsBitmap) out.U8(*p.cacheAsBitmap ? 1 : 0);
        if (p.visible) out.U8(*p.visible ? 1 : 0);
        if (p.opaqueBackground) WriteRgba(out, *p.opaqueBackground);
    }
    return RawTag{v >= 3 ? kPlaceObject3 : kPlaceObject2, out.Bytes()};
}

// ---- Buttons -------------------------------------------------------------------------------

namespace {

void WriteButtonRecord(BitWriter& out, const ButtonRecord& r) {
    out.UB(2, 0);
    out.UB(1, r.blendMode.has_value());
    out.UB(1, r.filters.has_value());
    out.UB(1, r.hitTest);
    out.UB(1, r.down);
    out.UB(1, r.over);
    out.UB(1, r.up);
    out.U16(r.characterId);
    out.U16(r.depth);
    WriteMatrix(out, r.matrix);
    WriteColorTransform(out, r.colorTransform, true);
    if (r.filters) WriteFilterList(out, *r.filters);
    if (r.blendMode) out.U8(static_cast<std::uint8_t>(*r.blendMode));
}

}  // namespace

RawTag EncodeButton(const Button& button) {
    BitWriter records;
    for (const ButtonRecord& r : button.records) WriteButtonRecord(records, r);
    records.U8(0);  // end of the characters

    BitWriter out;
    out.U16(button.id);
    out.U8(button.trackAsMenu ? 1 : 0);
    // Counted from the start of this field to the first condition record.
    out.U16(button.actions.empty() ? 0 : static_cast<std::uint16_t>(2 + records.Size()));
    out.Append(records.Bytes());
    for (std::size_t i = 0; i < button.actions.size(); ++i) {
        const Buffer actions = button.actions[i].actions.Bytes();
        const bool last = i + 1 == button.actions.size();
        out.U16(last ? 0 : static_cast<std::uint16_t>(4 + actions.size()));
        out.U8(static_cast<std::uint8_t>(button.actions[i].conditions >> 8));
        out.U8(static_cast<std::uint8_t>(button.actions[i].conditions));
        out.Append(actions);
    }
    return RawTag{kDefineButton2, out.Bytes()};
}

// ---- Actions -------------------------------------------------------------------------------

Actions& Actions::GotoFrame(std::uint16_t frame) {
    BitWriter data;
    data.U16(frame);
    return Raw(0x81, data.Bytes());
}

Actions& Actions::GotoLabel(const std::string& label) {
    BitWriter data;
    data.String(label);
    return Raw(0x8C, data.Bytes());
}

Actions& Actions::Raw(std::uint8_t code, const Buffer& data) {
    out_.U8(code);
    if (code >= 0x80) {
        out_.U16(static_cast<std::uint16_t>(data.size()));
        out_.Append(data);
    }
    return *this;
}

Buffer Actions::Bytes() const {
    BitWriter copy = out_;
    copy.U8(0);
    return copy.Bytes();
}

// ---- Tags and timelines --------------------------------------------------------------------

Buffer RawTag::Bytes() const {
    BitWriter out;
    const std::uint32_t length = declaredLength.value_or(static_cast<std::uint32_t>(body.size()));
    const auto codeBits = static_cast<std::uint16_t>((code & 0x3FF) << 6);
    if (!longHeader && length < 0x3F) {
        out.U16(static_cast<std::uint16_t>(codeBits | length));
    } else {
        out.U16(static_cast<std::uint16_t>(codeBits | 0x3F));
        out.U32(length);
    }
    out.Append(body);
    return out.Bytes();
}

RawTag RawTag::Cut(std::size_t keep) const {
    RawTag cut = *this;
    cut.declaredLength = declaredLength.value_or(static_cast<std::uint32_t>(body.size()));
    cut.body.resize(std::min(keep, body.size()));
    return cut;
}

template <class Self>
Self& Timeline<Self>::Tag(RawTag tag) {
    if (tag.code == kShowFrame) ++framesShown_;
    tags_.push_back(std::move(tag));
    return self();
}

template <class Self>
Self& Timeline<Self>::Background(Color color) {
    return Tag(RawTag{kSetBackgroundColor, {color.r, color.g, color.b}});
}

template <class Self>
Self& Timeline<Self>::Remove(std::uint16_t depth) {
    BitWriter out;
    out.U16(depth);
    return Tag(RawTag{kRemoveObject2, out.Bytes()});
}

template <class Self>
Self& Timeline<Self>::Remove(std::uint16_t characterId, std::uint16_t depth) {
    BitWriter out;
    out.U16(characterId);
    out.U16(depth);
    return Tag(RawTag{kRemoveObject, out.Bytes()});
}

template <class Self>
Self& Timeline<Self>::ShowFrame() {
    return Tag(RawTag{kShowFrame, {}});
}

template <class Self>
Self& Timeline<Self>::Label(const std::string& name, bool namedAnchor) {
    BitWriter out;
    out.String(name);
    if (namedAnchor) out.U8(1);
    return Tag(RawTag{kFrameLabel, out.Bytes()});
}

template <class Self>
Self& Timeline<Self>::Do(const Actions& actions) {
    return Tag(RawTag{kDoAction, actions.Bytes()});
}

template <class Self>
Self& Timeline<Self>::Do(const Asm& code) {
    return Tag(RawTag{kDoAction, code.Bytes()});
}

template <class Self>
Self& Timeline<Self>::DoInit(std::uint16_t spriteId, const Asm& code) {
    BitWriter out;
    out.U16(spriteId);
    out.Append(code.Bytes());
    return Tag(RawTag{kDoInitAction, out.Bytes()});
}

template <class Self>
Buffer Timeline<Self>::TagBytes() const {
    Buffer out;
    for (const RawTag& t : tags_) {
        const Buffer b = t.Bytes();
        out.insert(out.end(), b.begin(), b.end());
    }
    const bool endsWithEnd = !tags_.empty() && tags_.back().code == kEnd;
    if (appendEnd && !endsWithEnd) out.insert(out.end(), {0, 0});
    return out;
}

template class Timeline<Sprite>;
template class Timeline<Movie>;

Buffer Sprite::Body() const {
    BitWriter out;
    out.U16(id);
    out.U16(frameCount.value_or(static_cast<std::uint16_t>(FramesShown())));
    out.Append(TagBytes());
    return out.Bytes();
}

RawTag EncodeSprite(const Sprite& sprite) {
    return RawTag{kDefineSprite, sprite.Body()};
}

}  // namespace swfw
