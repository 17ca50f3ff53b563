// TextField.StyleSheet: named styles kept as plain objects of CSS values (_css) beside the
// TextFormats `transform` makes of them (_styles), which fields with the sheet apply to the
// tags and classes of their HTML text.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <string>

#include "player/limits.h"
#include "player/script/builtins.h"
#include "player/script/css_text.h"
#include "player/script/number_text.h"
#include "player/script/text_format.h"

namespace player::script {

namespace {

constexpr std::uint16_t kLocked = kDontEnum | kDontDelete | kReadOnly;

// The sheet's store named `name` ("_css" or "_styles"), made when first needed.
Object* Store(Vm& vm, Object* sheet, std::string_view name) {
    if (Object* store = vm.Get(sheet, name).AsObject()) return store;
    Object* store = vm.NewObject();
    vm.Set(sheet, name, Value::Obj(store));
    return store;
}

// A new object with the enumerable values of `from`.
Object* ShallowCopy(Vm& vm, Object* from) {
    Object* copy = vm.NewObject();
    for (const Value& key : vm.EnumerableKeys(from)) {
        if (vm.Stopped()) break;
        const std::string name = vm.ToString(key);
        vm.Set(copy, name, vm.Get(from, name));
    }
    return copy;
}

// Keeps `style` (or null: the name stays, without a style) under `name`, with what the
// sheet's transform makes of it.
void Update(Vm& vm, Object* sheet, const std::string& name, Object* style) {
    Object* css = Store(vm, sheet, "_css");
    Object* styles = Store(vm, sheet, "_styles");
    const Value kept = style ? Value::Obj(style) : Value::Null();
    vm.Set(css, name, kept);
    const Value arg[] = {kept};
    vm.Set(styles, name, vm.CallMethod(Value::Obj(sheet), "transform", arg));
}

// A sheet keeps everything in script-visible members; it is a native object only in that a
// built-in class of its own makes it.
class StyleSheetObject final : public Object {
  public:
    explicit StyleSheetObject(Object* proto) : Object(proto, ObjectKind::kNative) {}
};

Object* MakeSheet(Vm& vm, Object* proto) {
    return vm.GetHeap().New<StyleSheetObject>(proto);
}

// The stores are made when first needed: a new sheet has no members of its own.
Value SheetCall(Vm&, const Value& self, std::span<const Value>) { return self; }

Value SetStyle(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* sheet = self.AsObject();
    if (!sheet) return Value();
    Object* given = Arg(args, 1).AsObject();
    const bool isStyle = given && vm.TypeOf(Arg(args, 1)) == "object";
    Update(vm, sheet, vm.ToString(Arg(args, 0)), isStyle ? ShallowCopy(vm, given) : nullptr);
    return Value();
}

Value GetStyle(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* sheet = self.AsObject();
    Object* css = sheet ? vm.Get(sheet, "_css").AsObject() : nullptr;
    Object* style = css ? vm.Get(css, vm.ToString(Arg(args, 0))).AsObject() : nullptr;
    return style ? Value::Obj(ShallowCopy(vm, style)) : Value::Null();
}

Value GetStyleNames(Vm& vm, const Value& self, std::span<const Value>) {
    Object* sheet = self.AsObject();
    Object* css = sheet ? vm.Get(sheet, "_css").AsObject() : nullptr;
    return Value::Obj(vm.NewArray(css ? vm.EnumerableKeys(css) : std::vector<Value>{}));
}

Value Clear(Vm& vm, const Value& self, std::span<const Value>) {
    if (Object* sheet = self.AsObject()) {
        vm.Set(sheet, "_css", Value::Obj(vm.NewObject()));
        vm.Set(sheet, "_styles", Value::Obj(vm.NewObject()));
    }
    return Value();
}

// parseCSS and parse: true when the whole text was read; a malformed text changes nothing.
Value ParseCssText(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* sheet = self.AsObject();
    if (!sheet) return Value::Boolean(false);
    const std::string text = vm.ToString(Arg(args, 0));
    // A sheet is read like a field's text: no longer, and with no more styles than one.
    constexpr Limits kCaps{};
    if (text.size() > kCaps.maxFieldTextBytes) {
        vm.GetHost().Problem("a style sheet of " + std::to_string(text.size()) +
                             " bytes is past the text cap; it is not read");
        return Value::Boolean(false);
    }
    const auto rules = ParseCss(text, kCaps.maxTextStyles);
    if (!rules) return Value::Boolean(false);
    for (const CssRule& rule : *rules) {
        for (const std::string& selector : rule.selectors) {
            if (vm.Stopped()) return Value::Boolean(false);
            Object* style = vm.NewObject();
            for (const auto& [name, value] : rule.properties) vm.Set(style, name, vm.Str(value));
            Update(vm, sheet, selector, style);
        }
    }
    return Value::Boolean(true);
}

std::string Trimmed(std::string s) {
    const auto white = [](unsigned char c) { return std::isspace(c) != 0; };
    while (!s.empty() && white(s.back())) s.pop_back();
    std::size_t start = 0;
    while (start < s.size() && white(s[start])) ++start;
    s.erase(0, start);
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// "#RRGGBB" (or "#RGB") as a number; negative when it is not a colour.
double CssColor(const std::string& value) {
    if (value.size() < 2 || value[0] != '#') return -1;
    std::string digits = value.substr(1);
    if (digits.size() == 3) digits = {digits[0], digits[0], digits[1], digits[1], digits[2], digits[2]};
    if (digits.size() != 6 || digits.find_first_not_of("0123456789abcdef") != std::string::npos)
        return -1;
    return double(std::stoul(digits, nullptr, 16));
}

// The generic families stand for the player's device fonts.
std::string CssFont(const std::string& value) {
    const std::string first = Trimmed(value.substr(0, value.find(',')));
    if (first == "sans-serif") return "_sans";
    if (first == "serif") return "_serif";
    if (first == "mono" || first == "monospace") return "_typewriter";
    std::string name = value.substr(0, value.find(','));
    while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back()))) name.pop_back();
    return name;
}

// transform(style): a TextFormat of the CSS values it knows, or null for no style.
Value Transform(Vm& vm, const Value&, std::span<const Value> args) {
    Object* style = Arg(args, 0).AsObject();
    if (!style) return Value::Null();
    Object* format = NewTextFormat(vm);
    auto css = [&](std::string_view name) -> std::optional<std::string> {
        const Value v = vm.Get(style, name);
        if (v.IsUndefined()) return std::nullopt;
        return vm.ToString(v);
    };
    auto number = [&](std::string_view name, std::string_view member, bool fractional) {
        const auto v = css(name);
        if (!v) return;
        const double n = fractional ? ParseFloat(*v) : ParseInt(*v, 10);
        if (std::isfinite(n)) vm.Set(format, member, Value::Number(n));
    };
    auto flag = [&](std::string_view name, std::string_view member, std::string_view on,
                    std::string_view off) {
        const auto v = css(name);
        if (!v) return;
        const std::string t = Trimmed(*v);
        if (t == on) vm.Set(format, member, Value::Boolean(true));
        else if (t == off) vm.Set(format, member, Value::Boolean(false));
    };
    if (const auto v = css("color")) {
        const double rgb = CssColor(Trimmed(*v));
        if (rgb >= 0) vm.Set(format, "color", Value::Number(rgb));
    }
    if (const auto v = css("fontFamily")) vm.Set(format, "font", vm.Str(CssFont(*v)));
    number("fontSize", "size", false);
    flag("fontWeight", "bold", "bold", "normal");
    flag("fontStyle", "italic", "italic", "normal");
    flag("textDecoration", "underline", "underline", "none");
    flag("kerning", "kerning", "true", "false");
    if (const auto v = css("textAlign")) vm.Set(format, "align", vm.Str(Trimmed(*v)));
    number("marginLeft", "leftMargin", false);
    number("marginRight", "rightMargin", false);
    number("textIndent", "indent", false);
    number("letterSpacing", "letterSpacing", true);
    if (const auto v = css("display")) vm.Set(format, "display", vm.Str(Trimmed(*v)));
    return Value::Obj(format);
}

// load(url): true when asked; onData hears of the file on the next frame.
Value Load(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* sheet = self.AsObject();
    if (!sheet || Arg(args, 0).IsUndefined()) return Value::Boolean(false);
    const std::string url = vm.ToString(args[0]);
    std::string text, reason;
    std::vector<Value> arrived;
    if (vm.GetHost().ReadTextBeside(url, &text, &reason))
        arrived.push_back(vm.Str(std::move(text)));
    else
        vm.GetHost().Problem("a script asked a style sheet to load \"" + url + "\": " + reason +
                             "; the load fails");
    vm.AddTimer(Value(), self, vm.Str("onData"), std::move(arrived), 1, false);
    return Value::Boolean(true);
}

// The default onData: the text parsed and onLoad told whether it was read.
Value OnData(Vm& vm, const Value& self, std::span<const Value> args) {
    const Value src = Arg(args, 0);
    Value success = Value::Boolean(false);
    if (!src.IsUndefined()) {
        const Value text[] = {src};
        success = Value::Boolean(vm.ToBoolean(vm.CallMethod(self, "parse", text)));
    }
    const Value done[] = {success};
    vm.CallMethod(self, "onLoad", done);
    return Value();
}

}  // namespace

void InstallStyleSheet(Vm& vm, Object* textField) {
    Object* p = vm.NewObject();
    vm.GetRealm().nativeClasses.emplace_back(p, MakeSheet);
    FunctionObject* ctor = vm.NewNative(SheetCall);
    vm.DefineValue(ctor, "prototype", Value::Obj(p), kHidden);
    vm.DefineValue(p, "constructor", Value::Obj(ctor));
    vm.DefineValue(textField, "StyleSheet", Value::Obj(ctor), kDontEnum | kVersion7);
    vm.DefineMethod(p, "clear", Clear, kLocked);
    vm.DefineMethod(p, "getStyle", GetStyle, kLocked);
    vm.DefineMethod(p, "getStyleNames", GetStyleNames, kLocked);
    vm.DefineMethod(p, "load", Load, kLocked);
    vm.DefineMethod(p, "parseCSS", ParseCssText, kLocked);
    vm.DefineMethod(p, "setStyle", SetStyle, kLocked);
    vm.DefineMethod(p, "transform", Transform, kLocked);
    vm.DefineMethod(p, "parse", ParseCssText);
    vm.DefineMethod(p, "onData", OnData);
    vm.DefineMethod(p, "onLoad", Nothing);
}

}  // namespace player::script
