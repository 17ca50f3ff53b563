// Text fields as scripts see them: each placed field keeps its own copy of its definition,
// which scripts change (text, colours, formats, size) and the renderer draws. A field with a
// variable name shows that variable of its clip and sets it when a script sets its text.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "player/model.h"
#include "player/script/host.h"
#include "player/text_sheet.h"

namespace player {

struct SpriteInstance;
struct DisplayObject;
class MovieState;

// A TextFormat's values; unset ones are null to scripts.
struct FieldFormat {
    std::optional<std::string> font, url, target;
    std::optional<double> size, color, leftMargin, rightMargin, indent, leading, blockIndent,
        letterSpacing;
    std::optional<bool> bold, italic, underline, bullet, kerning;
    std::optional<TextAlign> align;
    std::optional<std::vector<double>> tabStops;
};

// How a field's glyphs are smoothed and fitted to pixels, as scripts read and set it; the
// movie's CSMTextSettings give a field's first values.
struct TextRendering {
    std::string antiAliasType = "normal";  // or "advanced"
    std::string gridFitType = "pixel";     // or "none", "subpixel"
    double thickness = 0, sharpness = 0;
};

struct TextFieldInstance : script::TextHost {
    MovieState* state = nullptr;
    SpriteInstance* parent = nullptr;
    std::int32_t depth = 0;  // its display list key (as DepthKey)
    std::string name;
    std::shared_ptr<EditText> edit;  // the field as drawn
    Rect origin;                     // its bounds as placed: auto-size moves _x with xMin
    std::string text;                // as scripts see it (markup for HTML fields)
    std::string initialText;         // as the definition gives it
    FieldFormat format, newFormat;   // of the text, and for text a script sets
    std::string autoSize = "none";
    bool background = false, border = false, selectable = true, embedFonts = false;
    bool password = false, condenseWhite = false, input = false;
    std::uint32_t backgroundColor = 0xFFFFFF, borderColor = 0;
    std::optional<int> maxChars;
    std::optional<double> tabIndex;
    std::optional<TextRendering> rendering;  // read from the movie when first asked for
    // The styles of the field's style sheet as they were when the sheet was assigned or the
    // HTML text last set; applied to the HTML text as it is laid out.
    SheetStyles sheet;
    bool settledOnObject = false;  // the variable was found on an object that is not a clip
    int selectionBegin = 0, selectionEnd = 0;  // characters; replaceSel replaces them
    int hscroll = 0;  // pixels the text is scrolled left by, as scripts set it

    TextFieldInstance() = default;
    TextFieldInstance(const TextFieldInstance&) = delete;
    TextFieldInstance& operator=(const TextFieldInstance&) = delete;
    ~TextFieldInstance() override;

    script::ClipHost* Parent() override;
    std::string Name() const override;
    bool GetField(script::Vm& vm, std::string_view key, script::Value* out) override;
    bool SetField(script::Vm& vm, std::string_view key, const script::Value& value) override;
    script::Value CallField(script::Vm& vm, std::string_view method,
                            std::span<const script::Value> args) override;
    void Select(int begin, int end) override;

    // Where the parent keeps this field; null once it left the display.
    DisplayObject* Placement() const;
    // Sets the text (markup for HTML fields), lays the field out again, and resizes it when
    // it sizes itself.
    void SetText(std::string value);
    // Reads the bound variable and shows it when it differs; true when the text changed.
    // Outside of binding, only variables of clips are followed.
    bool PullVariable(script::Vm& vm, bool binding = false);
    void PushVariable(script::Vm& vm);
    // The text with markup taken out.
    std::string PlainText() const;
    // What scripts read as htmlText: an HTML field's text written out again from its runs;
    // other fields' text as it is.
    std::string HtmlText() const;
    void Changed();  // the definition changed: a new layout and, for auto-size, new bounds
    // Reads the styles of a StyleSheet object (none for anything else).
    void TakeSheet(script::Vm& vm, const script::Value& styleSheet);
    // How far (whole pixels) the text can scroll left: how much of its widest line the field
    // does not show; none when the field wraps.
    int MaxHScroll() const;
    // HTML text sets the alignment its paragraphs do not give: left before version 8; from
    // then on the field's own. A field defined without text starts out left.
    void TakeHtmlAlign(int version);
    TextRendering& Rendering();
};

}  // namespace player
