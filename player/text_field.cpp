#include "player/text_field.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

#include "player/script/function.h"
#include "player/script/text_format.h"
#include "player/script/vm.h"
#include "player/text_html.h"
#include "player/text_layout.h"
#include "player/text_render.h"
#include "player/timeline.h"

namespace player {

namespace {

using script::Value;
using script::Vm;

constexpr double kTwips = 20.0;
constexpr double kGutterTwips = 80.0;  // 2 px each side

// Where the character at `index` starts in text of the movie's encoding (UTF-8 from version
// 6 on, one byte a character before); the end for an index past it.
std::size_t ByteAt(std::string_view text, std::size_t index, bool utf8) {
    if (!utf8) return std::min(index, text.size());
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
        if (chars++ == index) return i;
    }
    return text.size();
}

std::size_t CharCount(std::string_view text, bool utf8) {
    if (!utf8) return text.size();
    return std::size_t(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::uint64_t NextRevision() {
    static std::atomic<std::uint64_t> next{1};
    return next++;
}

// Measures text for scripts (textWidth, auto-size); its fonts stay loaded for every movie.
TextRenderer& Measurer() {
    static TextRenderer renderer;
    return renderer;
}

bool Same(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// Field positions and sizes drop what is finer than a twip.
std::int32_t ToTwips(double pixels) {
    if (!std::isfinite(pixels)) return 0;
    return static_cast<std::int32_t>(std::clamp(std::trunc(pixels * kTwips), -1e9, 1e9));
}

std::string AlignName(TextAlign a) {
    switch (a) {
        case TextAlign::kRight: return "right";
        case TextAlign::kCenter: return "center";
        case TextAlign::kJustify: return "justify";
        default: return "left";
    }
}

std::optional<TextAlign> AlignFromName(std::string_view name) {
    if (Same(name, "left")) return TextAlign::kLeft;
    if (Same(name, "right")) return TextAlign::kRight;
    if (Same(name, "center")) return TextAlign::kCenter;
    if (Same(name, "justify")) return TextAlign::kJustify;
    return std::nullopt;
}

std::uint32_t ColorOf(const EditText& e) {
    const Rgba c = e.color.value_or(Rgba{0, 0, 0, 255});
    return std::uint32_t(c.r) << 16 | std::uint32_t(c.g) << 8 | c.b;
}

Rgba RgbaOf(double v) {
    const auto n = static_cast<std::uint32_t>(static_cast<std::int64_t>(v));
    return Rgba{std::uint8_t(n >> 16), std::uint8_t(n >> 8), std::uint8_t(n), 255};
}

// A colour as scripts give it: its low 24 bits.
std::uint32_t ScriptColor(Vm& vm, const Value& value) {
    const double v = vm.ToNumber(value);
    if (!std::isfinite(v)) return 0;
    const auto n = static_cast<std::int64_t>(std::clamp(v, -4294967296.0, 4294967296.0));
    return static_cast<std::uint32_t>(n) & 0xFFFFFF;
}

// The format a field's definition gives its text.
FieldFormat DefinitionFormat(const Movie& movie, const EditText& e) {
    FieldFormat f;
    const Font* font = e.fontId ? std::get_if<Font>(movie.Find(*e.fontId)) : nullptr;
    f.font = font ? font->name : !e.fontClass.empty() ? e.fontClass : "Times New Roman";
    f.size = e.fontHeight / kTwips;
    f.color = ColorOf(e);
    f.bold = font && font->bold;
    f.italic = font && font->italic;
    f.underline = false;
    f.url = "";
    f.target = "";
    f.align = e.align;
    f.leftMargin = e.leftMargin / kTwips;
    f.rightMargin = e.rightMargin / kTwips;
    f.indent = e.indent / kTwips;
    f.leading = e.leading / kTwips;
    f.blockIndent = 0;
    f.bullet = false;
    f.letterSpacing = 0;
    f.kerning = false;
    f.tabStops = std::vector<double>{};
    return f;
}

// Sets each value `from` has on `to`.
void Merge(FieldFormat& to, const FieldFormat& from) {
    auto take = [](auto& a, const auto& b) {
        if (b) a = b;
    };
    take(to.font, from.font), take(to.url, from.url), take(to.target, from.target);
    take(to.size, from.size), take(to.color, from.color), take(to.leftMargin, from.leftMargin);
    take(to.rightMargin, from.rightMargin), take(to.indent, from.indent);
    take(to.leading, from.leading), take(to.blockIndent, from.blockIndent);
    take(to.letterSpacing, from.letterSpacing), take(to.bold, from.bold);
    take(to.italic, from.italic), take(to.underline, from.underline);
    take(to.bullet, from.bullet), take(to.kerning, from.kerning), take(to.align, from.align);
    take(to.tabStops, from.tabStops);
}

script::Object* FormatObject(Vm& vm, const FieldFormat& f) {
    script::Object* o = script::NewTextFormat(vm);
    auto str = [&](const char* key, const std::optional<std::string>& v) {
        if (v) vm.Set(o, key, vm.Str(*v));
    };
    auto num = [&](const char* key, const std::optional<double>& v) {
        if (v) vm.Set(o, key, Value::Number(*v));
    };
    auto flag = [&](const char* key, const std::optional<bool>& v) {
        if (v) vm.Set(o, key, Value::Boolean(*v));
    };
    str("font", f.font), str("url", f.url), str("target", f.target);
    num("size", f.size), num("color", f.color), num("leftMargin", f.leftMargin);
    num("rightMargin", f.rightMargin), num("indent", f.indent), num("leading", f.leading);
    num("blockIndent", f.blockIndent), num("letterSpacing", f.letterSpacing);
    flag("bold", f.bold), flag("italic", f.italic), flag("underline", f.underline);
    flag("bullet", f.bullet), flag("kerning", f.kerning);
    if (f.align) vm.Set(o, "align", vm.Str(AlignName(*f.align)));
    if (f.tabStops) {
        std::vector<Value> stops;
        for (double s : *f.tabStops) stops.push_back(Value::Number(s));
        vm.Set(o, "tabStops", Value::Obj(vm.NewArray(stops)));
    }
    return o;
}

FieldFormat FormatFrom(Vm& vm, script::Object* o) {
    FieldFormat f;
    if (!o) return f;
    auto str = [&](const char* key, std::optional<std::string>& out) {
        const Value v = vm.Get(o, key);
        if (!v.IsNullish()) out = vm.ToString(v);
    };
    auto num = [&](const char* key, std::optional<double>& out) {
        const Value v = vm.Get(o, key);
        if (v.IsNullish()) return;
        const double d = vm.ToNumber(v);
        if (std::isfinite(d)) out = d;
    };
    auto flag = [&](const char* key, std::optional<bool>& out) {
        const Value v = vm.Get(o, key);
        if (!v.IsNullish()) out = vm.ToBoolean(v);
    };
    str("font", f.font), str("url", f.url), str("target", f.target);
    num("size", f.size), num("color", f.color), num("leftMargin", f.leftMargin);
    num("rightMargin", f.rightMargin), num("indent", f.indent), num("leading", f.leading);
    num("blockIndent", f.blockIndent), num("letterSpacing", f.letterSpacing);
    flag("bold", f.bold), flag("italic", f.italic), flag("underline", f.underline);
    flag("bullet", f.bullet), flag("kerning", f.kerning);
    const Value align = vm.Get(o, "align");
    if (!align.IsNullish()) f.align = AlignFromName(vm.ToString(align));
    if (f.color) f.color = static_cast<double>(ScriptColor(vm, Value::Number(*f.color)));
    if (f.size) f.size = std::clamp(std::trunc(*f.size), 0.0, 3000.0);
    return f;
}

std::uint16_t TwipsField(double pixels) {
    return static_cast<std::uint16_t>(std::clamp(std::round(pixels * kTwips), 0.0, 65535.0));
}

// Puts a format into the definition the renderer lays out.
void ApplyFormat(const Movie& movie, EditText& e, const FieldFormat& f) {
    if (f.size) e.fontHeight = TwipsField(*f.size);
    if (f.color) e.color = RgbaOf(*f.color);
    if (f.align) e.align = *f.align;
    if (f.leftMargin) e.leftMargin = TwipsField(*f.leftMargin);
    if (f.rightMargin) e.rightMargin = TwipsField(*f.rightMargin);
    if (f.indent) e.indent = TwipsField(*f.indent);
    if (f.leading)
        e.leading = static_cast<std::int16_t>(std::clamp(std::round(*f.leading * kTwips), -32768.0, 32767.0));
    if (f.font) {
        const Font* font = e.fontId ? std::get_if<Font>(movie.Find(*e.fontId)) : nullptr;
        if (!font || !Same(font->name, *f.font)) {
            e.fontId.reset();
            e.fontClass = *f.font;
        }
    }
}

// Plain text as markup that shows it: the markup characters escaped, line ends as breaks.
std::string Markup(std::string_view plain) {
    std::string out;
    for (std::size_t i = 0; i < plain.size(); ++i) {
        const char c = plain[i];
        if (c == '&') out += "&amp;";
        else if (c == '<') out += "&lt;";
        else if (c == '>') out += "&gt;";
        else if (c == '\n' || c == '\r') {
            if (c == '\r' && i + 1 < plain.size() && plain[i + 1] == '\n') ++i;
            out += "<br>";
        } else out += c;
    }
    return out;
}

}  // namespace

TextFieldInstance::~TextFieldInstance() {
    if (state && state->vm_) state->vm_->ReleaseText(this);
}

script::ClipHost* TextFieldInstance::Parent() { return parent; }

std::string TextFieldInstance::Name() const {
    const DisplayObject* placed = Placement();
    return placed ? placed->name : name;
}

DisplayObject* TextFieldInstance::Placement() const {
    if (!parent) return nullptr;
    auto it = parent->displayList.find(depth);
    if (it == parent->displayList.end() || it->second.text.get() != this) return nullptr;
    return &it->second;
}

std::string TextFieldInstance::PlainText() const {
    if (!edit->html) return text;
    const bool utf8 = state->GetMovie().version >= 6;
    // A mark after the text shows whether it ends with a paragraph's end: the layout drops
    // the empty paragraph after it, the text keeps its CR.
    constexpr char32_t kEndMark = 0xFFFF;
    const std::string kept = WithoutBlankText(text);
    std::u32string marked = DecodeText(kept, utf8);
    marked.push_back(kEndMark);
    const StyledText styled = ParseHtml(marked, TextStyle{}, TextAlign::kLeft, state->Caps());
    std::string out;
    for (std::size_t p = 0; p < styled.paragraphs.size(); ++p) {
        if (p) out += '\r';
        for (const StyledRun& run : styled.paragraphs[p].runs)
            for (char32_t c : run.text) {
                if (c == kEndMark) continue;
                out += utf8 ? EncodeUtf8(c) : std::string(1, char(c));
            }
    }
    // A closing paragraph tag at the end leaves its CR only in a multiline field.
    const bool closedLast = kept.size() >= 4 && Same(std::string_view(kept).substr(kept.size() - 4), "</p>");
    if (closedLast && !edit->multiline && !out.empty() && out.back() == '\r') out.pop_back();
    return out;
}

void TextFieldInstance::Changed() {
    const Limits caps = state ? state->Caps() : Limits{};
    edit->initialText = edit->html && !sheet.empty()
                            ? StyledMarkup(text, sheet, caps.maxOpenHtmlTags, caps.maxFieldTextBytes)
                            : text;
    edit->revision = NextRevision();
    if (autoSize == "none") return;
    const TextRenderer::Extent extent = Measurer().Measure(state->GetMovie(), *edit);
    Rect& b = edit->bounds;
    if (!edit->wordWrap) {
        const auto width = static_cast<std::int32_t>(
            std::ceil(extent.width + kGutterTwips + edit->leftMargin + edit->rightMargin));
        if (autoSize == "right") {
            b.xMin = b.xMax - width;
        } else if (autoSize == "center") {
            const std::int32_t middle = b.xMin + (b.xMax - b.xMin) / 2;
            b.xMin = middle - width / 2;
            b.xMax = b.xMin + width;
        } else {
            b.xMax = b.xMin + width;
        }
    }
    b.yMax = b.yMin + static_cast<std::int32_t>(std::ceil(extent.height + kGutterTwips));
    edit->revision = NextRevision();
}

void TextFieldInstance::SetText(std::string value) {
    const bool utf8 = state && state->GetMovie().version >= 6;
    const std::size_t most = state ? state->Caps().maxFieldTextBytes : Limits{}.maxFieldTextBytes;
    if (value.size() > most) {
        std::size_t cut = most;  // not inside a character
        while (utf8 && cut > 0 && (static_cast<unsigned char>(value[cut]) & 0xC0) == 0x80) --cut;
        value.resize(cut);
    }
    if (maxChars && *maxChars > 0 && input)
        value.resize(ByteAt(value, std::size_t(*maxChars), utf8));
    text = std::move(value);
    Changed();
}

void TextFieldInstance::TakeSheet(Vm& vm, const Value& styleSheet) {
    sheet.clear();
    script::Object* object = styleSheet.AsObject();
    script::Object* formats = object ? vm.Get(object, "_styles").AsObject() : nullptr;
    script::Object* css = object ? vm.Get(object, "_css").AsObject() : nullptr;
    if (!formats) return;
    const std::size_t most = state ? state->Caps().maxTextStyles : Limits{}.maxTextStyles;
    for (const Value& key : vm.EnumerableKeys(formats)) {
        if (sheet.size() >= most || vm.Stopped()) break;
        std::string name = vm.ToString(key);
        script::Object* format = vm.Get(formats, name).AsObject();
        if (!format) continue;
        auto member = [&](std::string_view m) { return vm.Get(format, m); };
        auto number = [&](std::string_view m) -> std::optional<double> {
            const Value v = member(m);
            if (!v.IsNumber() || !std::isfinite(v.AsNumber())) return std::nullopt;
            return v.AsNumber();
        };
        auto flag = [&](std::string_view m) -> std::optional<bool> {
            const Value v = member(m);
            if (!v.IsBoolean()) return std::nullopt;
            return v.AsBoolean();
        };
        SheetStyle style;
        if (const Value font = member("font"); font.IsString()) style.font = vm.ToString(font);
        style.size = number("size");
        style.color = number("color");
        style.letterSpacing = number("letterSpacing");
        style.bold = flag("bold");
        style.italic = flag("italic");
        style.underline = flag("underline");
        style.kerning = flag("kerning");
        const std::string align = member("align").IsString() ? vm.ToString(member("align")) : "";
        if (align == "left") style.align = TextAlign::kLeft;
        if (align == "right") style.align = TextAlign::kRight;
        if (align == "center") style.align = TextAlign::kCenter;
        if (align == "justify") style.align = TextAlign::kJustify;
        // Only a display the sheet names overrides an element's own.
        script::Object* written = css ? vm.Get(css, name).AsObject() : nullptr;
        if (written && !vm.Get(written, "display").IsUndefined()) {
            const std::string display = vm.ToString(member("display"));
            style.display = display == "none"     ? SheetDisplay::kNone
                            : display == "inline" ? SheetDisplay::kInline
                                                  : SheetDisplay::kBlock;
        }
        if (name.empty() || name[0] != '.')
            for (char& c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
        sheet[std::move(name)] = std::move(style);
    }
}

std::string TextFieldInstance::HtmlText() const {
    if (!edit->html || !state) return text;
    const Movie& movie = state->GetMovie();
    FieldFormat f = DefinitionFormat(movie, *edit);
    Merge(f, format);
    TextStyle base;
    base.face = f.font.value_or("Times New Roman");
    base.size = f.size.value_or(12) * kTwips;
    base.color = RgbaOf(f.color.value_or(0));
    base.bold = f.bold.value_or(false);
    base.italic = f.italic.value_or(false);
    base.underline = f.underline.value_or(false);
    base.letterSpacing = f.letterSpacing.value_or(0) * kTwips;
    base.kerning = f.kerning.value_or(false);
    const bool utf8 = movie.version >= 6;
    const std::string kept = WithoutBlankText(text);
    const StyledText styled = ParseHtml(DecodeText(kept, utf8), base,
                                        f.align.value_or(TextAlign::kLeft), state->Caps());
    bool characters = false;
    for (const Paragraph& p : styled.paragraphs)
        for (const StyledRun& run : p.runs) characters = characters || !run.text.empty();
    if (!characters && !HasParagraphTag(kept)) return "";
    HtmlBlockFormat block;
    block.leftMargin = f.leftMargin.value_or(0);
    block.rightMargin = f.rightMargin.value_or(0);
    block.indent = f.indent.value_or(0);
    block.blockIndent = f.blockIndent.value_or(0);
    block.leading = f.leading.value_or(0);
    block.tabStops = f.tabStops.value_or(std::vector<double>{});
    return RegeneratedHtml(styled, block, utf8);
}

int TextFieldInstance::MaxHScroll() const {
    if (edit->wordWrap || !state) return 0;
    const TextRenderer::Extent extent = Measurer().Measure(state->GetMovie(), *edit);
    const double visible = double(edit->bounds.xMax - edit->bounds.xMin) - kGutterTwips -
                           edit->leftMargin - edit->rightMargin;
    const double hidden = std::floor((extent.width - visible) / kTwips);
    return hidden > 0 ? int(std::min(hidden, 2147483647.0)) : 0;
}

void TextFieldInstance::TakeHtmlAlign(int version) {
    if (version < 8) format.align = newFormat.align = TextAlign::kLeft;
}

TextRendering& TextFieldInstance::Rendering() {
    if (rendering) return *rendering;
    rendering.emplace();
    const Movie* movie =
        parent && parent->movie ? parent->movie : state ? &state->GetMovie() : nullptr;
    if (!movie || edit->id == 0) return *rendering;
    // CSMTextSettings: the text's id, flags (2 bits smoothing, 3 bits grid fitting),
    // thickness and sharpness as 32-bit floats.
    constexpr std::uint16_t kCsmTextSettings = 74;
    for (const RawTag& tag : movie->rawTags) {
        const auto& b = tag.bytes;
        if (tag.code != kCsmTextSettings || b.size() < 11 || (b[0] | (b[1] << 8)) != edit->id)
            continue;
        rendering->antiAliasType = (b[2] >> 6) == 1 ? "advanced" : "normal";
        static constexpr const char* kGridFit[] = {"none", "pixel", "subpixel"};
        const int grid = (b[2] >> 3) & 7;
        if (grid < 3) rendering->gridFitType = kGridFit[grid];
        auto real = [&b](std::size_t at) {
            const std::uint32_t bits = std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 |
                                       std::uint32_t(b[at + 2]) << 16 |
                                       std::uint32_t(b[at + 3]) << 24;
            float f;
            std::memcpy(&f, &bits, sizeof f);
            return double(f);
        };
        rendering->thickness = real(3);
        rendering->sharpness = real(7);
        break;
    }
    return *rendering;
}

void TextFieldInstance::Select(int begin, int end) {
    selectionBegin = std::max(begin, 0);
    selectionEnd = std::max(end, selectionBegin);
}

namespace {

// The object and the name a field's variable path ("a", "clip.a", "/clip:a") leads to.
std::pair<script::Object*, std::string> VariableSlot(Vm& vm, TextFieldInstance& field) {
    const std::string& path = field.edit->variableName;
    script::Object* base = field.parent ? vm.ClipFor(field.parent) : nullptr;
    if (!base || path.empty()) return {nullptr, {}};
    const std::size_t split = path.find_last_of(".:");
    if (split == std::string::npos) return {base, path};
    script::Object* target = vm.ResolvePath(std::string_view(path).substr(0, split), base);
    return {target, path.substr(split + 1)};
}

}  // namespace

bool TextFieldInstance::PullVariable(Vm& vm, bool binding) {
    if (edit->variableName.empty() || vm.Stopped()) return false;
    auto [object, variable] = VariableSlot(vm, *this);
    if (!object || variable.empty()) return false;
    // A plain object's variable is read once, when the field first finds it; a clip's is
    // followed.
    if (!vm.ClipOf(object)) {
        if (settledOnObject && !binding) return false;
        settledOnObject = true;
    }
    const Value value = vm.Get(object, variable);
    if (value.IsUndefined()) return false;
    std::string shown = vm.ToString(value);
    if (shown == text) return false;
    SetText(std::move(shown));
    return true;
}

void TextFieldInstance::PushVariable(Vm& vm) {
    if (edit->variableName.empty()) return;
    auto [object, variable] = VariableSlot(vm, *this);
    if (object && !variable.empty()) vm.Set(object, variable, vm.Str(PlainText()));
}

bool TextFieldInstance::GetField(Vm& vm, std::string_view key, Value* out) {
    DisplayObject* placed = Placement();
    const Rect& b = edit->bounds;
    // Names are matched as the movie looks them up: ignoring case before version 7.
    const bool fold = vm.Version() < 7;
    auto is = [&](std::string_view name) { return key == name || (fold && Same(key, name)); };
    if (!key.empty() && key[0] == '_') {
        const Matrix m = placed ? placed->matrix : Matrix{};
        const double xs = std::hypot(m.scaleX, m.rotateSkew0) / 65536.0;
        const double ys = std::hypot(m.scaleY, m.rotateSkew1) / 65536.0;
        if (Same(key, "_x"))
            *out = Value::Number((double(m.translateX) + b.xMin - origin.xMin) / kTwips);
        else if (Same(key, "_y"))
            *out = Value::Number((double(m.translateY) + b.yMin - origin.yMin) / kTwips);
        else if (Same(key, "_width")) *out = Value::Number(std::abs(b.xMax - b.xMin) * xs / kTwips);
        else if (Same(key, "_height")) *out = Value::Number(std::abs(b.yMax - b.yMin) * ys / kTwips);
        else if (Same(key, "_xscale")) *out = Value::Number(xs * 100);
        else if (Same(key, "_yscale")) *out = Value::Number(ys * 100);
        else if (Same(key, "_rotation")) *out = Value::Number(0);
        else if (Same(key, "_visible"))
            *out = Value::Boolean(!placed || placed->visible.value_or(1) != 0);
        else if (Same(key, "_alpha"))
            *out = Value::Number(placed ? placed->colorTransform.mult[3] / 256.0 * 100 : 100);
        else if (Same(key, "_name")) *out = vm.Str(name);
        else if (Same(key, "_highquality")) *out = Value::Number(1);
        else if (Same(key, "_quality")) *out = vm.Str("HIGH");
        else return false;
        return true;
    }
    if (is("text")) {
        PullVariable(vm);
        *out = vm.Str(PlainText());
    } else if (is("htmlText")) {
        PullVariable(vm);
        *out = vm.Str(HtmlText());
    } else if (is("html")) {
        *out = Value::Boolean(edit->html);
    } else if (is("length")) {
        *out = Value::Number(double(DecodeText(PlainText(), state->GetMovie().version >= 6).size()));
    } else if (is("textColor")) {
        *out = Value::Number(ColorOf(*edit));
    } else if (is("background")) {
        *out = Value::Boolean(background);
    } else if (is("backgroundColor")) {
        *out = Value::Number(backgroundColor);
    } else if (is("border")) {
        *out = Value::Boolean(border);
    } else if (is("borderColor")) {
        *out = Value::Number(borderColor);
    } else if (is("autoSize")) {
        *out = vm.Str(autoSize);
    } else if (is("wordWrap")) {
        *out = Value::Boolean(edit->wordWrap);
    } else if (is("multiline")) {
        *out = Value::Boolean(edit->multiline);
    } else if (is("selectable")) {
        *out = Value::Boolean(selectable);
    } else if (is("embedFonts")) {
        *out = Value::Boolean(embedFonts);
    } else if (is("password")) {
        *out = Value::Boolean(password);
    } else if (is("condenseWhite")) {
        *out = Value::Boolean(condenseWhite);
    } else if (is("maxChars")) {
        *out = maxChars ? Value::Number(*maxChars) : Value::Null();
    } else if (is("type")) {
        *out = vm.Str(input ? "input" : "dynamic");
    } else if (is("variable")) {
        *out = edit->variableName.empty() ? Value::Null() : vm.Str(edit->variableName);
    } else if (is("textWidth") || is("textHeight")) {
        const TextRenderer::Extent extent = Measurer().Measure(state->GetMovie(), *edit);
        *out = Value::Number(std::round((is("textWidth") ? extent.width : extent.height) / kTwips));
    } else if (is("scroll") || is("maxscroll") || is("bottomScroll")) {
        *out = Value::Number(1);
    } else if (is("maxhscroll")) {
        *out = Value::Number(MaxHScroll());
    } else if (is("hscroll")) {
        *out = Value::Number(std::min(hscroll, MaxHScroll()));
    } else if (is("restrict")) {
        *out = Value::Null();
    } else if (is("mouseWheelEnabled")) {
        *out = Value::Boolean(true);
    } else if (is("tabIndex")) {
        *out = tabIndex ? Value::Number(*tabIndex) : Value();
    } else if (vm.Version() >= 8 && is("antiAliasType")) {
        *out = vm.Str(Rendering().antiAliasType);
    } else if (vm.Version() >= 8 && is("gridFitType")) {
        *out = vm.Str(Rendering().gridFitType);
    } else if (vm.Version() >= 8 && is("thickness")) {
        *out = Value::Number(Rendering().thickness);
    } else if (vm.Version() >= 8 && is("sharpness")) {
        *out = Value::Number(Rendering().sharpness);
    } else {
        return false;
    }
    return true;
}

bool TextFieldInstance::SetField(Vm& vm, std::string_view key, const Value& value) {
    DisplayObject* placed = Placement();
    // Names are matched as the movie looks them up: ignoring case before version 7.
    const bool fold = vm.Version() < 7;
    auto is = [&](std::string_view name) { return key == name || (fold && Same(key, name)); };
    if (!key.empty() && key[0] == '_') {
        if (Same(key, "_name")) {
            name = vm.ToString(value);
            if (placed) placed->name = name;
            return true;
        }
        if (Same(key, "_visible")) {
            if (placed) placed->visible = vm.ToBoolean(value) ? 1 : 0;
            return true;
        }
        const double v = vm.ToNumber(value);
        const bool known = Same(key, "_x") || Same(key, "_y") || Same(key, "_width") ||
                           Same(key, "_height") || Same(key, "_alpha");
        if (!known) return Same(key, "_xscale") || Same(key, "_yscale") || Same(key, "_rotation");
        if (!std::isfinite(v)) return true;
        Rect& b = edit->bounds;
        if (Same(key, "_x") && placed)
            placed->matrix.translateX = ToTwips(v) - (b.xMin - origin.xMin);
        if (Same(key, "_y") && placed)
            placed->matrix.translateY = ToTwips(v) - (b.yMin - origin.yMin);
        if (Same(key, "_width") && v >= 0) b.xMax = b.xMin + ToTwips(v);
        if (Same(key, "_height") && v >= 0) b.yMax = b.yMin + ToTwips(v);
        if (Same(key, "_alpha") && placed)
            placed->colorTransform.mult[3] =
                static_cast<std::int16_t>(std::clamp(std::round(v * 2.56), -32768.0, 32767.0));
        if (placed) placed->scriptTransformed = true;
        edit->revision = NextRevision();
        return true;
    }
    if (is("text")) {
        format = newFormat;
        ApplyFormat(state->GetMovie(), *edit, format);
        SetText(edit->html ? Markup(vm.ToString(value)) : vm.ToString(value));
        PushVariable(vm);
    } else if (is("htmlText")) {
        if (edit->html) TakeHtmlAlign(state->GetMovie().version);
        if (script::Object* self = vm.TextFor(this)) TakeSheet(vm, vm.Get(self, "styleSheet"));
        SetText(edit->html && condenseWhite ? CondensedWhite(vm.ToString(value))
                                            : vm.ToString(value));
        PushVariable(vm);
    } else if (is("html")) {
        edit->html = vm.ToBoolean(value);
        Changed();
    } else if (is("styleSheet")) {
        // The sheet stays the object's own value, as scripts read it back.
        TakeSheet(vm, value);
        Changed();
        return false;
    } else if (is("textColor")) {
        const std::uint32_t c = ScriptColor(vm, value);
        edit->color = RgbaOf(c);
        format.color = newFormat.color = c;
        Changed();
    } else if (is("background")) {
        background = edit->background = vm.ToBoolean(value);
        edit->revision = NextRevision();
    } else if (is("backgroundColor")) {
        backgroundColor = ScriptColor(vm, value);
        edit->backgroundColor = RgbaOf(backgroundColor);
        edit->revision = NextRevision();
    } else if (is("border")) {
        border = edit->border = vm.ToBoolean(value);
        edit->revision = NextRevision();
    } else if (is("borderColor")) {
        borderColor = ScriptColor(vm, value);
        edit->borderColor = RgbaOf(borderColor);
        edit->revision = NextRevision();
    } else if (is("autoSize")) {
        if (value.IsBoolean()) {
            autoSize = value.AsBoolean() ? "left" : "none";
        } else {
            const std::string s = vm.ToString(value);
            autoSize = Same(s, "left") || Same(s, "right") || Same(s, "center") ? s : "none";
            for (char& c : autoSize) c = char(std::tolower(static_cast<unsigned char>(c)));
        }
        Changed();
    } else if (is("wordWrap")) {
        edit->wordWrap = vm.ToBoolean(value);
        Changed();
    } else if (is("multiline")) {
        edit->multiline = vm.ToBoolean(value);
        Changed();
    } else if (is("selectable")) {
        selectable = vm.ToBoolean(value);
    } else if (is("embedFonts")) {
        embedFonts = vm.ToBoolean(value);
        edit->useOutlines = embedFonts;
        Changed();
    } else if (is("password")) {
        password = vm.ToBoolean(value);
    } else if (is("condenseWhite")) {
        condenseWhite = vm.ToBoolean(value);
    } else if (is("maxChars")) {
        const double n = vm.ToNumber(value);
        if (value.IsNullish() || !std::isfinite(n) || n <= 0) maxChars.reset();
        else maxChars = static_cast<int>(std::min(n, 2147483647.0));
    } else if (is("type")) {
        const std::string s = vm.ToString(value);
        if (Same(s, "input")) input = true;
        if (Same(s, "dynamic")) input = false;
    } else if (is("variable")) {
        edit->variableName = value.IsNullish() ? "" : vm.ToString(value);
        settledOnObject = false;
        // Bound to a variable that has no value, the field starts again from its first text.
        if (!PullVariable(vm, true) && !edit->variableName.empty()) {
            SetText(initialText);
            if (!initialText.empty()) PushVariable(vm);
        }
    } else if (is("hscroll")) {
        // Whole pixels as Int32 does them (a value past its range wraps), kept within reach.
        hscroll = std::clamp(vm.ToInt32(value), 0, MaxHScroll());
    } else if (is("scroll") || is("restrict") || is("mouseWheelEnabled") ||
               is("length") || is("textWidth") || is("textHeight") || is("maxscroll") ||
               is("bottomScroll") || is("maxhscroll")) {
        // Scrolling is not modelled and the measures are read-only.
    } else if (vm.Version() >= 8 && (is("antiAliasType") || is("gridFitType"))) {
        // Names it does not know leave the value as it was.
        const std::string name = vm.ToString(value);
        const bool known = is("antiAliasType")
                               ? name == "normal" || name == "advanced"
                               : name == "none" || name == "pixel" || name == "subpixel";
        TextRendering& r = Rendering();
        if (known) (is("antiAliasType") ? r.antiAliasType : r.gridFitType) = name;
    } else if (vm.Version() >= 8 && (is("thickness") || is("sharpness"))) {
        (is("thickness") ? Rendering().thickness : Rendering().sharpness) = vm.ToNumber(value);
    } else if (is("tabIndex")) {
        // Kept as an unsigned 32-bit number; what is not a number counts as 0.
        if (value.IsUndefined()) {
            tabIndex.reset();
        } else {
            const double d = vm.ToNumber(value);
            const double m = std::isfinite(d) ? std::fmod(std::trunc(d), 4294967296.0) : 0;
            tabIndex = m < 0 ? m + 4294967296.0 : m;
        }
    } else {
        return false;
    }
    return true;
}

Value TextFieldInstance::CallField(Vm& vm, std::string_view method,
                                   std::span<const Value> args) {
    auto arg = [&](std::size_t i) { return i < args.size() ? args[i] : Value(); };
    if (method == "getTextFormat") {
        // A range with no characters in it has no format.
        const double length = double(PlainText().size());
        double begin = 0, end = length;
        if (!args.empty() && !arg(0).IsUndefined()) {
            begin = vm.ToInteger(arg(0));
            end = args.size() > 1 && !arg(1).IsUndefined() ? vm.ToInteger(arg(1)) : begin + 1;
        }
        begin = std::clamp(begin, 0.0, length);
        end = std::clamp(end, 0.0, length);
        if (end <= begin) return Value::Obj(FormatObject(vm, FieldFormat{}));
        return Value::Obj(FormatObject(vm, format));
    }
    if (method == "getNewTextFormat") return Value::Obj(FormatObject(vm, newFormat));
    if (method == "setTextFormat" || method == "setNewTextFormat") {
        if (args.empty()) return Value();
        script::Object* given = args.back().AsObject();
        if (!given) return Value();
        const FieldFormat f = FormatFrom(vm, given);
        if (method == "setNewTextFormat") {
            Merge(newFormat, f);
            return Value();
        }
        Merge(format, f);
        ApplyFormat(state->GetMovie(), *edit, f);
        Changed();
        return Value();
    }
    if (method == "replaceText") {
        if (args.size() < 3) return Value();
        std::string plain = PlainText();
        const bool utf8 = state->GetMovie().version >= 6;
        const double n = static_cast<double>(CharCount(plain, utf8));
        const double from = std::clamp(vm.ToInteger(arg(0)), 0.0, n);
        const double to = std::clamp(vm.ToInteger(arg(1)), from, n);
        const std::size_t begin = ByteAt(plain, std::size_t(from), utf8);
        plain.replace(begin, ByteAt(plain, std::size_t(to), utf8) - begin, vm.ToString(arg(2)));
        SetText(std::move(plain));
        PushVariable(vm);
        return Value();
    }
    if (method == "replaceSel") {
        if (args.empty()) return Value();
        std::string plain = PlainText();
        const bool utf8 = state->GetMovie().version >= 6;
        const int n = int(CharCount(plain, utf8));
        const int from = std::clamp(selectionBegin, 0, n);
        const int to = std::clamp(selectionEnd, from, n);
        const std::string inserted = vm.ToString(arg(0));
        const std::size_t begin = ByteAt(plain, std::size_t(from), utf8);
        plain.replace(begin, ByteAt(plain, std::size_t(to), utf8) - begin, inserted);
        SetText(std::move(plain));
        PushVariable(vm);
        // The caret follows what went in.
        const int caret = from + int(CharCount(inserted, utf8));
        Select(caret, caret);
        return Value();
    }
    if (method == "getDepth") return Value::Number(double(depth) - kScriptDepthOffset);
    if (method == "removeTextField") {
        if (!parent || depth < kScriptDepthOffset || depth > kMaxRemovableDepth + kScriptDepthOffset)
            return Value();
        auto it = parent->displayList.find(depth);
        if (it == parent->displayList.end() || it->second.text.get() != this) return Value();
        auto keep = std::move(it->second.text);  // this field ends with `keep`
        parent->displayList.erase(it);
        return Value();
    }
    return Value();
}

// ---- The timeline's side -----------------------------------------------------------------------

void MovieState::AttachTextField(SpriteInstance& s, DisplayObject& object, const EditText* field) {
    object.text.reset();
    if (!field) return;
    auto text = std::make_shared<TextFieldInstance>();
    text->state = this;
    text->parent = &s;
    text->depth = object.depth;
    text->name = object.name;
    text->edit = std::make_shared<EditText>(*field);
    text->edit->revision = NextRevision();
    text->origin = field->bounds;
    text->text = text->initialText = field->initialText;
    text->border = text->background = field->border;
    text->selectable = !field->noSelect;
    text->embedFonts = field->useOutlines;
    text->password = field->password;
    text->input = !field->readOnly;
    if (field->maxLength) text->maxChars = *field->maxLength;
    if (field->autoSize) text->autoSize = "left";
    text->format = text->newFormat = DefinitionFormat(*movie_, *field);
    if (field->html) text->TakeHtmlAlign(field->initialText.empty() ? 0 : movie_->version);
    object.text = std::move(text);
    TextFieldInstance& placed = *object.text;
    if (!field->variableName.empty() && vm_) {
        if (!placed.PullVariable(*vm_) && !field->initialText.empty()) placed.PushVariable(*vm_);
    }
}

void MovieState::SyncTextFields(SpriteInstance& s) {
    for (auto& [depth, object] : s.displayList) {
        if (object.text) {
            object.text->name = object.name;
            object.text->PullVariable(*vm_);
        }
        if (object.sprite) SyncTextFields(*object.sprite);
    }
}

TextFieldInstance* MovieState::CreateText(SpriteInstance& parent, std::string_view name,
                                          int depth, double x, double y, double width,
                                          double height) {
    const std::optional<DepthKey> key = KeyOfScriptDepth(depth);
    if (!key || liveObjects_ >= Caps().maxDisplayObjects) return nullptr;
    auto existing = parent.displayList.find(*key);
    if (existing != parent.displayList.end()) {
        Unload(existing->second.sprite);
        parent.displayList.erase(existing);
    }
    DisplayObject object;
    object.depth = *key;
    object.name = std::string(name);
    object.token = LiveToken(&liveObjects_);
    object.matrix.translateX = ToTwips(x);
    object.matrix.translateY = ToTwips(y);
    DisplayObject& placed =
        parent.displayList.emplace(object.depth, std::move(object)).first->second;
    EditText field;
    field.bounds.xMax = ToTwips(std::abs(width));
    field.bounds.yMax = ToTwips(std::abs(height));
    field.readOnly = true;
    AttachTextField(parent, placed, &field);
    placed.text->input = false;
    return placed.text.get();
}

bool MovieState::MeasureText(std::string_view text, std::string_view font, double size,
                             bool bold, bool italic, double wrapWidth, script::TextExtent* out) {
    (void)bold, (void)italic;  // device faces are measured in their regular style
    EditText field;
    field.fontClass = std::string(font);
    field.fontHeight = TwipsField(size);
    field.initialText = std::string(text.substr(0, Caps().maxFieldTextBytes));
    field.multiline = true;
    field.wordWrap = wrapWidth > 0;
    field.bounds.xMax = field.wordWrap ? ToTwips(std::min(wrapWidth, 1e6)) : 1 << 30;
    field.bounds.yMax = 1 << 30;
    const TextRenderer::Extent extent = Measurer().Measure(*movie_, field);
    out->ascent = extent.ascent / kTwips;
    out->descent = extent.descent / kTwips;
    out->width = extent.width / kTwips;
    out->height = extent.height / kTwips;
    if (text.empty()) out->height = (field.fontHeight * 1.164) / kTwips;
    return true;
}

script::TextHost* SpriteInstance::TextChild(std::string_view childName, bool caseSensitive) {
    for (auto& [d, object] : displayList) {
        if (!object.text) continue;
        if (caseSensitive ? object.name == childName : Same(object.name, childName))
            return object.text.get();
    }
    return nullptr;
}

script::TextHost* SpriteInstance::CreateTextField(std::string_view fieldName, int fieldDepth,
                                                  double x, double y, double width,
                                                  double height) {
    return state ? state->CreateText(*this, fieldName, fieldDepth, x, y, width, height) : nullptr;
}

std::optional<std::u32string> SpriteInstance::StaticText() const {
    if (staticTextHandedOn || !movie) return std::nullopt;
    std::optional<std::u32string> out;
    for (const auto& [d, object] : displayList) {
        const auto* text =
            object.character ? std::get_if<player::StaticText>(object.character) : nullptr;
        if (!text) continue;
        if (!out) out.emplace();
        const Font* font = nullptr;
        for (const TextRecord& record : text->records) {
            if (record.fontId) {
                const Character* c = movie->Find(*record.fontId);
                font = c ? std::get_if<Font>(c) : nullptr;
            }
            if (!font) continue;
            for (const GlyphEntry& glyph : record.glyphs)
                if (glyph.index < font->codes.size()) out->push_back(font->codes[glyph.index]);
        }
    }
    return out;
}

}  // namespace player
