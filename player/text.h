// Readers for the text tags: fonts (DefineFont, DefineFont2, DefineFont3 and the DefineFontInfo,
// DefineFontInfo2 and DefineFontName tags that add to them), static text (DefineText,
// DefineText2) and text fields (DefineEditText), into the model's plain structs.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "player/limits.h"
#include "player/model.h"

namespace player {

// DefineFontInfo (version 1) and DefineFontInfo2 (version 2): a name, style flags and the code
// table of a font defined before.
struct FontInfoTag {
    std::uint16_t fontId = 0;
    std::string name;
    bool bold = false, italic = false, smallText = false, shiftJis = false, ansi = false;
    bool wideCodes = false;
    std::uint8_t language = 0;
    std::vector<std::uint16_t> codes;
};

// DefineFontName: the font's display name and copyright line.
struct FontNameTag {
    std::uint16_t fontId = 0;
    std::string name, copyright;
};

// Each reader returns false when the tag's fixed fields cannot be read; parts that break off
// later (a glyph whose offset lies, a layout table cut short) are left empty instead.
// version: 1 DefineFont, 2 DefineFont2, 3 DefineFont3.
bool ReadFont(std::span<const std::uint8_t> body, int version, ModelBudget& budget, Font* font);
bool ReadFontInfo(std::span<const std::uint8_t> body, int version, FontInfoTag* info);
bool ReadFontName(std::span<const std::uint8_t> body, FontNameTag* name);
// version: 1 DefineText, 2 DefineText2.
bool ReadStaticText(std::span<const std::uint8_t> body, int version, ModelBudget& budget,
                    StaticText* text);
bool ReadEditText(std::span<const std::uint8_t> body, EditText* field);

// Adds what a DefineFontInfo or DefineFontName tag says to the font it names.
void ApplyFontInfo(const FontInfoTag& info, Font* font);
void ApplyFontName(const FontNameTag& name, Font* font);

}  // namespace player
