// The tag stream: tag headers (short and long form) and the typed tags the engine models. A tag
// whose body cannot be read comes back as a RawTag with a reason.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "player/bitreader.h"
#include "player/limits.h"
#include "player/model.h"
#include "player/sound/sound_model.h"
#include "player/text.h"

namespace player {

enum TagCode : std::uint16_t {
    kTagEnd = 0,
    kTagShowFrame = 1,
    kTagDefineShape = 2,
    kTagPlaceObject = 4,
    kTagRemoveObject = 5,
    kTagSetBackgroundColor = 9,
    kTagDoAction = 12,
    kTagExportAssets = 56,
    kTagImportAssets = 57,
    kTagImportAssets2 = 71,
    kTagDoInitAction = 59,
    kTagScriptLimits = 65,
    kTagFileAttributes = 69,
    kTagDoAbcDefine = 72,
    kTagDoAbc = 82,
    kTagDefineShape2 = 22,
    kTagPlaceObject2 = 26,
    kTagRemoveObject2 = 28,
    kTagDefineShape3 = 32,
    kTagDefineSprite = 39,
    kTagFrameLabel = 43,
    kTagPlaceObject3 = 70,
    kTagDefineShape4 = 83,
    kTagDefineBits = 6,
    kTagJpegTables = 8,
    kTagDefineBitsLossless = 20,
    kTagDefineBitsJpeg2 = 21,
    kTagDefineBitsJpeg3 = 35,
    kTagDefineBitsLossless2 = 36,
    kTagDefineMorphShape = 46,
    kTagDefineMorphShape2 = 84,
    kTagDefineBitsJpeg4 = 90,
    kTagDefineButton = 7,
    kTagDefineButtonCxform = 23,
    kTagDefineButton2 = 34,
    kTagDefineFont = 10,
    kTagDefineText = 11,
    kTagDefineFontInfo = 13,
    kTagDefineText2 = 33,
    kTagDefineEditText = 37,
    kTagDefineFont2 = 48,
    kTagDefineFontInfo2 = 62,
    kTagDefineFont3 = 75,
    kTagDefineFontName = 88,
    kTagDefineVideoStream = 60,
    kTagVideoFrame = 61,
};

struct TagHeader {
    std::uint16_t code = 0;
    std::uint32_t length = 0;  // body bytes
};

// Reads a tag header; false when the data ends inside it.
bool ReadTagHeader(BitReader& in, TagHeader* header);

struct ShowFrameTag {};
struct EndTag {};
struct SetBackgroundColorTag {
    Rgba color;
};
struct FrameLabelTag {
    std::string name;
};
struct JpegTablesTag {
    std::vector<std::uint8_t> bytes;
};
struct DoActionTag {
    ActionBlock actions;
};
struct DoInitActionTag {
    InitAction action;
};
struct ScriptLimitsTag {
    std::uint16_t maxRecursion = 0;
    std::uint16_t timeoutSeconds = 0;
};
struct DoAbcTag {};
// SoundStreamBlock: one frame's data of its timeline's stream.
struct StreamBlockTag {
    std::vector<std::uint8_t> bytes;
};
struct ExportAssetsTag {
    std::vector<std::pair<std::uint16_t, std::string>> assets;
};
// ImportAssets/ImportAssets2: characters of the movie at `url`, by the names it exports them
// under, given ids in this one.
struct ImportAssetsTag {
    std::string url;
    std::vector<std::pair<std::uint16_t, std::string>> assets;
};
// DefineButtonCxform: the colour transform of every record of a DefineButton.
struct ButtonCxformTag {
    std::uint16_t buttonId = 0;
    ColorTransform colorTransform;
};

using Tag = std::variant<EndTag, ShowFrameTag, Shape, Sprite, PlaceObject, RemoveObject,
                         SetBackgroundColorTag, FrameLabelTag, DoActionTag, DoInitActionTag,
                         ScriptLimitsTag, DoAbcTag, ExportAssetsTag, ImportAssetsTag, Bitmap, MorphShape,
                         JpegTablesTag, Button, ButtonCxformTag, Font, StaticText, EditText,
                         FontInfoTag, FontNameTag, VideoStream, VideoFrame, sound::SoundDefinition,
                         sound::StartSound, sound::StreamHead, StreamBlockTag, RawTag>;

// Reads one tag's body. Unknown tags come back raw with *problem empty; tags that cannot be read
// come back raw with *problem saying why. nesting counts the sprites the tag sits in; the
// budget is charged for what the tag's model takes.
// swfVersion decides the width of clip event flags.
Tag ReadTag(std::uint16_t code, std::span<const std::uint8_t> body, int nesting,
            ModelBudget& budget, std::string* problem, int swfVersion = 10);

// Reads a PlaceObject3 or button record filter list (count byte, then the filters).
std::vector<Filter> ReadFilters(BitReader& in);

// Whether a tag the engine keeps raw defines a character (its first field is the character id).
bool IsCharacterDefinition(std::uint16_t code);

}  // namespace player
