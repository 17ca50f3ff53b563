#include "player/tags.h"

#include <algorithm>

#include "player/buttons.h"
#include "player/limits.h"
#include "player/morph.h"
#include "player/reader.h"
#include "player/records.h"
#include "player/sound/sound_tags.h"
#include "player/text.h"

namespace player {

bool ReadTagHeader(BitReader& in, TagHeader* header) {
    const std::uint16_t codeAndLength = in.U16();
    header->code = codeAndLength >> 6;
    header->length = codeAndLength & 0x3F;
    if (header->length == 0x3F) header->length = in.U32();
    return !in.Failed();
}

bool IsCharacterDefinition(std::uint16_t code) {
    switch (code) {
        case 6:
        case 7:
        case 10:
        case 11:
        case 14:
        case 20:
        case 21:
        case 33:
        case 34:
        case 35:
        case 36:
        case 37:
        case 46:
        case 48:
        case 60:
        case 75:
        case 84:
        case 87:
        case 90:
        case 91:
            return true;
        default:
            return false;
    }
}

namespace {

int ShapeVersion(std::uint16_t code) {
    switch (code) {
        case kTagDefineShape2:
            return 2;
        case kTagDefineShape3:
            return 3;
        case kTagDefineShape4:
            return 4;
        default:
            return 1;
    }
}

Bitmap::Kind BitmapKind(std::uint16_t code) {
    switch (code) {
        case kTagDefineBits:
            return Bitmap::Kind::kJpegWithTables;
        case kTagDefineBitsJpeg2:
            return Bitmap::Kind::kJpeg2;
        case kTagDefineBitsJpeg3:
            return Bitmap::Kind::kJpeg3;
        case kTagDefineBitsJpeg4:
            return Bitmap::Kind::kJpeg4;
        case kTagDefineBitsLossless2:
            return Bitmap::Kind::kLossless2;
        default:
            return Bitmap::Kind::kLossless;
    }
}

bool ReadShape(BitReader& in, int version, ModelBudget& budget, Shape* shape) {
    shape->version = version;
    shape->id = in.U16();
    shape->bounds = ReadRect(in);
    if (version == 4) {
        shape->edgeBounds = ReadRect(in);
        in.UBits(5);
        shape->nonZeroWinding = in.Flag();
        shape->usesNonScalingStrokes = in.Flag();
        shape->usesScalingStrokes = in.Flag();
    }
    shape->styles = ReadStyleArrays(in, version, budget);
    const int fillBits = static_cast<int>(in.UBits(4));
    const int lineBits = static_cast<int>(in.UBits(4));
    if (in.Failed()) return false;
    shape->records = ReadShapeRecords(in, version, fillBits, lineBits, budget);
    // A shape that breaks off keeps the edges read so far: it still draws what it can.
    return true;
}

PlaceObject ReadPlaceObject1(BitReader& in) {
    PlaceObject p;
    p.version = 1;
    p.characterId = in.U16();
    p.depth = in.U16();
    p.matrix = ReadMatrix(in);
    if (!in.Failed() && !in.AtEnd()) p.colorTransform = ReadColorTransform(in, false);
    return p;
}

// The onClipEvent handlers after PlaceObject2/3's fields: event flags are 16 bits before
// version 6, 32 after. A handler that runs past the tag ends the list.
std::vector<ClipAction> ReadClipActions(BitReader& in, int swfVersion) {
    std::vector<ClipAction> handlers;
    const bool wide = swfVersion >= 6;
    auto flagsField = [&] { return wide ? in.U32() : std::uint32_t{in.U16()}; };
    in.U16();      // reserved
    flagsField();  // every event used
    while (!in.Failed() && !in.AtEnd()) {
        ClipAction handler;
        handler.events = flagsField();
        if (handler.events == 0 || in.Failed()) break;
        std::uint32_t size = in.U32();
        if (handler.events & kClipKeyPress) {
            handler.keyCode = in.U8();
            if (size > 0) --size;
        }
        if (in.Failed() || size > in.Remaining()) break;
        const auto bytes = in.Bytes(size);
        handler.actions.assign(bytes.begin(), bytes.end());
        handlers.push_back(std::move(handler));
    }
    return handlers;
}

PlaceObject ReadPlaceObject23(BitReader& in, int version, int swfVersion) {
    PlaceObject p;
    p.version = version;
    const std::uint8_t flags = in.U8();
    const std::uint8_t flags2 = version == 3 ? in.U8() : 0;
    p.depth = in.U16();
    p.move = flags & 0x01;
    if (flags2 & 0x08) p.className = in.String();
    if (flags & 0x02) p.characterId = in.U16();
    if (flags & 0x04) p.matrix = ReadMatrix(in);
    if (flags & 0x08) p.colorTransform = ReadColorTransform(in, true);
    if (flags & 0x10) p.ratio = in.U16();
    if (flags & 0x20) p.name = in.String();
    if (flags & 0x40) p.clipDepth = in.U16();
    if (flags2 & 0x01) p.filters = ReadFilters(in);
    if (flags2 & 0x02) p.blendMode = in.U8();
    if (flags2 & 0x04) p.cacheAsBitmap = in.U8();
    if (flags2 & 0x20) p.visible = in.U8();
    if (flags2 & 0x40) p.backgroundColor = ReadRgba(in);
    if (flags & 0x80) p.clipActions = ReadClipActions(in, swfVersion);
    return p;
}

VideoStream ReadVideoStream(BitReader& in) {
    VideoStream s;
    s.id = in.U16();
    s.frameCount = in.U16();
    s.width = in.U16();
    s.height = in.U16();
    in.UBits(4);
    s.deblocking = static_cast<std::uint8_t>(in.UBits(3));
    s.smoothing = in.Flag();
    s.codecId = in.U8();
    return s;
}

Tag Raw(std::uint16_t code, std::span<const std::uint8_t> body) {
    return RawTag{code, std::vector<std::uint8_t>(body.begin(), body.end())};
}

Tag Broken(std::uint16_t code, std::span<const std::uint8_t> body, const char* what,
           std::string* problem) {
    *problem = std::string(what) + " (tag " + std::to_string(code) + ", " +
               std::to_string(body.size()) + " bytes) cannot be read";
    return Raw(code, body);
}

}  // namespace

std::vector<Filter> ReadFilters(BitReader& in) {
    std::vector<Filter> filters;
    const int count = in.U8();
    for (int i = 0; i < count && !in.Failed(); ++i) {
        Filter f;
        f.id = in.U8();
        std::size_t size = 0;
        switch (f.id) {
            case 0:
                size = 23;
                break;  // drop shadow
            case 1:
                size = 9;
                break;  // blur
            case 2:
                size = 15;
                break;  // glow
            case 3:
                size = 27;
                break;  // bevel
            case 4:     // gradient glow
            case 7: {   // gradient bevel
                const auto head = in.Bytes(1);
                if (head.empty()) break;
                const auto rest = in.Bytes(std::size_t(head[0]) * 5 + 19);
                f.bytes.assign(head.begin(), head.end());
                f.bytes.insert(f.bytes.end(), rest.begin(), rest.end());
                break;
            }
            case 5: {  // convolution
                const auto dims = in.Bytes(2);
                if (dims.empty()) break;
                auto rest = in.Bytes(8 + std::size_t(dims[0]) * dims[1] * 4 + 5);
                f.bytes.assign(dims.begin(), dims.end());
                f.bytes.insert(f.bytes.end(), rest.begin(), rest.end());
                break;
            }
            case 6:
                size = 80;
                break;  // colour matrix
            default:
                in.Fail();
                break;
        }
        if (size) {
            const auto data = in.Bytes(size);
            f.bytes.assign(data.begin(), data.end());
        }
        if (!in.Failed()) filters.push_back(std::move(f));
    }
    return filters;
}

Tag ReadTag(std::uint16_t code, std::span<const std::uint8_t> body, int nesting,
            ModelBudget& budget, std::string* problem, int swfVersion) {
    problem->clear();
    BitReader in(body);
    switch (code) {
        case kTagEnd:
            return EndTag{};
        case kTagShowFrame:
            return ShowFrameTag{};
        case kTagDefineShape:
        case kTagDefineShape2:
        case kTagDefineShape3:
        case kTagDefineShape4: {
            Shape shape;
            if (!ReadShape(in, ShapeVersion(code), budget, &shape))
                return Broken(code, body, "shape", problem);
            return shape;
        }
        case kTagDefineSprite: {
            if (nesting > 0) return Broken(code, body, "sprite inside a sprite", problem);
            Sprite sprite;
            sprite.id = in.U16();
            sprite.declaredFrameCount = in.U16();
            if (in.Failed()) return Broken(code, body, "sprite", problem);
            std::vector<std::string> inner;
            ReadTimeline(body.subspan(4), nesting + 1, budget, &sprite.timeline, &inner, nullptr,
                         swfVersion);
            if (!inner.empty())
                *problem = "in sprite " + std::to_string(sprite.id) + ": " + inner.front();
            return sprite;
        }
        case kTagPlaceObject: {
            PlaceObject p = ReadPlaceObject1(in);
            if (in.Failed()) return Broken(code, body, "PlaceObject", problem);
            return p;
        }
        case kTagPlaceObject2:
        case kTagPlaceObject3: {
            PlaceObject p = ReadPlaceObject23(in, code == kTagPlaceObject2 ? 2 : 3, swfVersion);
            if (in.Failed()) return Broken(code, body, "PlaceObject", problem);
            return p;
        }
        case kTagRemoveObject: {
            RemoveObject r;
            r.characterId = in.U16();
            r.depth = in.U16();
            if (in.Failed()) return Broken(code, body, "RemoveObject", problem);
            return r;
        }
        case kTagRemoveObject2: {
            RemoveObject r;
            r.depth = in.U16();
            if (in.Failed()) return Broken(code, body, "RemoveObject2", problem);
            return r;
        }
        case kTagSetBackgroundColor: {
            SetBackgroundColorTag t{ReadRgb(in)};
            if (in.Failed()) return Broken(code, body, "SetBackgroundColor", problem);
            return t;
        }
        case kTagFrameLabel: {
            FrameLabelTag t{in.String()};
            if (in.Failed()) return Broken(code, body, "FrameLabel", problem);
            return t;
        }
        case kTagDoAction:
            return DoActionTag{ActionBlock(body.begin(), body.end())};
        case kTagDoInitAction: {
            DoInitActionTag t;
            t.action.spriteId = in.U16();
            if (in.Failed()) return Broken(code, body, "DoInitAction", problem);
            t.action.actions.assign(body.begin() + 2, body.end());
            return t;
        }
        case kTagExportAssets: {
            ExportAssetsTag t;
            const std::uint16_t count = in.U16();
            for (std::uint16_t i = 0; i < count && !in.Failed(); ++i) {
                const std::uint16_t id = in.U16();
                std::string name = in.String();
                if (!in.Failed()) t.assets.emplace_back(id, std::move(name));
            }
            if (!budget.Charge(t.assets.size() * 64)) return Raw(code, body);
            return t;
        }
        case kTagImportAssets:
        case kTagImportAssets2: {
            ImportAssetsTag t;
            t.url = in.String();
            if (code == kTagImportAssets2) in.U16();  // two reserved bytes
            const std::uint16_t count = in.U16();
            for (std::uint16_t i = 0; i < count && !in.Failed(); ++i) {
                const std::uint16_t id = in.U16();
                std::string name = in.String();
                if (!in.Failed()) t.assets.emplace_back(id, std::move(name));
            }
            if (in.Failed() && t.assets.empty())
                return Broken(code, body, "ImportAssets", problem);
            if (!budget.Charge(t.url.size() + t.assets.size() * 64)) return Raw(code, body);
            return t;
        }
        case kTagScriptLimits: {
            ScriptLimitsTag t;
            t.maxRecursion = in.U16();
            t.timeoutSeconds = in.U16();
            if (in.Failed()) return Broken(code, body, "ScriptLimits", problem);
            return t;
        }
        case kTagDoAbc:
        case kTagDoAbcDefine:
            return DoAbcTag{};
        case kTagFileAttributes:
            // The ActionScript 3 flag: such a movie's DoAction tags are never run.
            if (!body.empty() && (body[0] & 0x08)) return DoAbcTag{};
            return Raw(code, body);
        case kTagDefineMorphShape:
        case kTagDefineMorphShape2: {
            MorphShape morph;
            if (!ReadMorphShape(in, code == kTagDefineMorphShape ? 1 : 2, budget, &morph))
                return Broken(code, body, "morph shape", problem);
            return morph;
        }
        case kTagDefineButton:
        case kTagDefineButton2: {
            Button button;
            if (!ReadButton(in, code == kTagDefineButton ? 1 : 2, budget, &button))
                return Broken(code, body, "button", problem);
            return button;
        }
        case kTagDefineButtonCxform: {
            ButtonCxformTag t;
            t.buttonId = in.U16();
            t.colorTransform = ReadColorTransform(in, false);
            if (in.Failed()) return Broken(code, body, "DefineButtonCxform", problem);
            return t;
        }
        case kTagJpegTables:
            return JpegTablesTag{std::vector<std::uint8_t>(body.begin(), body.end())};
        case kTagDefineBits:
        case kTagDefineBitsJpeg2:
        case kTagDefineBitsJpeg3:
        case kTagDefineBitsJpeg4:
        case kTagDefineBitsLossless:
        case kTagDefineBitsLossless2: {
            if (body.size() < 2) return Broken(code, body, "bitmap", problem);
            Bitmap bitmap;
            bitmap.id = static_cast<std::uint16_t>(body[0] | (body[1] << 8));
            bitmap.kind = BitmapKind(code);
            bitmap.body.assign(body.begin() + 2, body.end());
            return bitmap;
        }
        case kTagDefineFont:
        case kTagDefineFont2:
        case kTagDefineFont3: {
            Font font;
            const int version = code == kTagDefineFont ? 1 : code == kTagDefineFont2 ? 2 : 3;
            if (!ReadFont(body, version, budget, &font)) return Broken(code, body, "font", problem);
            return font;
        }
        case kTagDefineFontInfo:
        case kTagDefineFontInfo2: {
            FontInfoTag info;
            if (!ReadFontInfo(body, code == kTagDefineFontInfo ? 1 : 2, &info))
                return Broken(code, body, "font info", problem);
            return info;
        }
        case kTagDefineFontName: {
            FontNameTag name;
            if (!ReadFontName(body, &name)) return Broken(code, body, "font name", problem);
            return name;
        }
        case kTagDefineText:
        case kTagDefineText2: {
            StaticText text;
            if (!ReadStaticText(body, code == kTagDefineText ? 1 : 2, budget, &text))
                return Broken(code, body, "text", problem);
            return text;
        }
        case kTagDefineEditText: {
            EditText field;
            if (!ReadEditText(body, &field)) return Broken(code, body, "text field", problem);
            return field;
        }
        case kTagDefineVideoStream: {
            VideoStream stream = ReadVideoStream(in);
            if (in.Failed()) return Broken(code, body, "DefineVideoStream", problem);
            return stream;
        }
        case kTagVideoFrame: {
            if (body.size() < 4) return Broken(code, body, "VideoFrame", problem);
            VideoFrame frame;
            frame.streamId = in.U16();
            frame.frameNumber = in.U16();
            frame.data.assign(body.begin() + 4, body.end());
            return frame;
        }
        case sound::kTagDefineSound: {
            auto sound = sound::ReadDefineSound(body, problem);
            if (!sound) return Raw(code, body);
            return std::move(*sound);
        }
        case sound::kTagStartSound:
        case sound::kTagStartSound2: {
            auto start = sound::ReadStartSound(code, body, problem);
            if (!start) return Raw(code, body);
            return std::move(*start);
        }
        case sound::kTagSoundStreamHead:
        case sound::kTagSoundStreamHead2: {
            auto head = sound::ReadStreamHead(body, problem);
            if (!head) return Raw(code, body);
            return *head;
        }
        case sound::kTagSoundStreamBlock:
            return StreamBlockTag{{body.begin(), body.end()}};
        default:
            return Raw(code, body);
    }
}

}  // namespace player
