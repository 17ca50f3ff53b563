#include "tools/avm1_dump/action_blocks.h"

#include "player/bitreader.h"
#include "player/decompress.h"
#include "player/records.h"
#include "player/tags.h"

namespace avm1dump {

namespace {

constexpr std::uint16_t kTagDoInitAction = 59;
constexpr int kMaxSpriteNesting = 8;

// Clip event names by bit, the first stored byte's high bit first; the fourth byte is reserved.
constexpr const char* kClipEvents[32] = {
    "keyUp",      "keyDown", "mouseUp",    "mouseDown", "mouseMove", "unload",
    "enterFrame", "load",    "dragOver",   "rollOut",   "rollOver",  "releaseOutside",
    "release",    "press",   "initialize", "data",      nullptr,     nullptr,
    nullptr,      nullptr,   nullptr,      "construct", "keyPress",  "dragOut",
};

// Button transitions by bit, the first stored byte's high bit first (key code apart).
constexpr const char* kButtonConditions[16] = {
    "idleToOverDown",
    "outDownToIdle",
    "outDownToOverDown",
    "overDownToOutDown",
    "overDownToOverUp",
    "overUpToOverDown",
    "overUpToIdle",
    "idleToOverUp",
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    "overDownToIdle",
};

std::string FlagNames(std::span<const std::uint8_t> bytes, std::span<const char* const> names) {
    std::string out;
    for (std::size_t bit = 0; bit < bytes.size() * 8 && bit < names.size(); ++bit) {
        if (!(bytes[bit / 8] & (0x80 >> (bit % 8))) || !names[bit]) continue;
        out += (out.empty() ? "" : " ") + std::string(names[bit]);
    }
    return out;
}

class Walker {
  public:
    explicit Walker(MovieActions& out) : out_(out) {}

    // Reads one timeline's tags until End or the data's end.
    void Timeline(std::span<const std::uint8_t> data, const std::string& name, int nesting) {
        player::BitReader in(data);
        int frame = 1;
        while (!in.AtEnd()) {
            const std::size_t at = in.Position();
            player::TagHeader header;
            if (!player::ReadTagHeader(in, &header)) {
                Problem(name + ": tag header at " + std::to_string(at) + " cut short");
                return;
            }
            auto body = in.Bytes(header.length);
            if (in.Failed()) {
                Problem(name + ": tag " + std::to_string(header.code) + " at " +
                        std::to_string(at) + " runs past the data");
                return;
            }
            const std::string where = name + " frame " + std::to_string(frame) + ": ";
            switch (header.code) {
                case player::kTagEnd:
                    return;
                case player::kTagShowFrame:
                    ++frame;
                    break;
                case player::kTagDoAction:
                    Add(where + "DoAction", body);
                    break;
                case kTagDoInitAction:
                    DoInit(where, body);
                    break;
                case player::kTagPlaceObject2:
                    Place(where, body, 2);
                    break;
                case player::kTagPlaceObject3:
                    Place(where, body, 3);
                    break;
                case player::kTagDefineButton:
                    Button1(where, body);
                    break;
                case player::kTagDefineButton2:
                    Button2(where, body);
                    break;
                case player::kTagDefineSprite:
                    Sprite(where, body, nesting);
                    break;
                default:
                    break;
            }
        }
    }

  private:
    void Add(std::string where, std::span<const std::uint8_t> code) {
        out_.blocks.push_back({std::move(where), {code.begin(), code.end()}});
    }
    void Problem(std::string what) { out_.problems.push_back(std::move(what)); }

    void DoInit(const std::string& where, std::span<const std::uint8_t> body) {
        player::BitReader in(body);
        const std::uint16_t sprite = in.U16();
        if (in.Failed()) return Problem(where + "DoInitAction without a sprite id");
        Add(where + "DoInitAction sprite " + std::to_string(sprite), body.subspan(2));
    }

    void Sprite(const std::string& where, std::span<const std::uint8_t> body, int nesting) {
        if (body.size() < 4) return Problem(where + "DefineSprite cut short");
        if (nesting >= kMaxSpriteNesting) return Problem(where + "sprites nested too deep");
        const std::uint16_t id = body[0] | body[1] << 8;
        Timeline(body.subspan(4), "sprite " + std::to_string(id), nesting + 1);
    }

    void Place(const std::string& where, std::span<const std::uint8_t> body, int version) {
        player::BitReader in(body);
        const std::uint8_t flags = in.U8();
        const std::uint8_t flags2 = version == 3 ? in.U8() : 0;
        const std::uint16_t depth = in.U16();
        if (!(flags & 0x80)) return;
        if (flags2 & 0x08) in.String();  // class name
        if (flags & 0x02) in.U16();      // character
        if (flags & 0x04) player::ReadMatrix(in);
        if (flags & 0x08) player::ReadColorTransform(in, true);
        if (flags & 0x10) in.U16();     // ratio
        if (flags & 0x20) in.String();  // name
        if (flags & 0x40) in.U16();     // clip depth
        if (flags2 & 0x01) player::ReadFilters(in);
        if (flags2 & 0x02) in.U8();  // blend mode
        if (flags2 & 0x04) in.U8();  // bitmap caching
        if (flags2 & 0x20) in.U8();  // visibility
        if (flags2 & 0x40) player::ReadRgba(in);
        const std::string place =
            where + "PlaceObject" + std::to_string(version) + " depth " + std::to_string(depth);
        const int flagBytes = out_.version >= 6 ? 4 : 2;
        in.U16();             // reserved
        in.Bytes(flagBytes);  // every event used
        while (!in.Failed()) {
            const auto stored = in.Bytes(flagBytes);
            if (in.Failed()) break;
            std::uint8_t bytes[4] = {};
            for (int i = 0; i < flagBytes; ++i) bytes[i] = stored[i];
            if (!(bytes[0] | bytes[1] | bytes[2] | bytes[3])) return;
            const std::uint32_t size = in.U32();
            auto record = in.Bytes(size);
            if (in.Failed()) break;
            std::string events = FlagNames(stored, kClipEvents);
            if (bytes[2] & 0x02 && !record.empty()) {  // key press: the key code comes first
                events += " key " + std::to_string(record[0]);
                record = record.subspan(1);
            }
            Add(place + " onClipEvent(" + events + ")", record);
        }
        Problem(place + ": clip actions cut short");
    }

    void Button1(const std::string& where, std::span<const std::uint8_t> body) {
        player::BitReader in(body);
        const std::uint16_t id = in.U16();
        while (!in.Failed() && in.U8() != 0) {  // button records until the 0 flags byte
            in.U16();                           // character
            in.U16();                           // depth
            player::ReadMatrix(in);
        }
        if (in.Failed()) return Problem(where + "DefineButton cut short");
        Add(where + "DefineButton " + std::to_string(id), body.subspan(in.Position()));
    }

    void Button2(const std::string& where, std::span<const std::uint8_t> body) {
        player::BitReader head(body);
        const std::uint16_t id = head.U16();
        head.U8();  // track as menu
        const std::size_t offset = head.U16();
        if (head.Failed()) return Problem(where + "DefineButton2 cut short");
        if (offset == 0) return;
        const std::string button = where + "DefineButton2 " + std::to_string(id);
        std::size_t at = 3 + offset;  // the offset counts from its own field
        while (at + 4 <= body.size()) {
            const std::size_t size = body[at] | body[at + 1] << 8;
            const std::uint8_t conditions[2] = {body[at + 2], body[at + 3]};
            const std::size_t end = size == 0 ? body.size() : at + size;
            if (size != 0 && (size < 4 || end > body.size())) break;
            std::string events = FlagNames(conditions, kButtonConditions);
            if (conditions[1] >> 1)
                events += (events.empty() ? "key " : " key ") + std::to_string(conditions[1] >> 1);
            Add(button + " on(" + events + ")", body.subspan(at + 4, end - at - 4));
            if (size == 0) return;
            at = end;
        }
        Problem(button + ": conditional actions cut short");
    }

    MovieActions& out_;
};

}  // namespace

bool FindActionBlocks(std::span<const std::uint8_t> file, MovieActions* out, std::string* error) {
    player::MovieBody body;
    const player::DecompressError e = player::DecompressMovie(file, &body);
    if (e != player::DecompressError::kNone) {
        *error = player::DecompressErrorName(e);
        return false;
    }
    *out = MovieActions{};
    out->version = body.version;
    if (body.truncated) out->problems.push_back("the movie's body is cut short");
    player::BitReader in(body.bytes);
    player::ReadRect(in);  // stage
    in.U16();              // frame rate
    in.U16();              // frame count
    if (in.Failed()) {
        *error = "the movie ends inside its header";
        return false;
    }
    Walker(*out).Timeline(std::span(body.bytes).subspan(in.Position()), "root", 0);
    return true;
}

}  // namespace avm1dump
