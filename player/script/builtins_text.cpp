// TextField and TextFormat. A field's properties and methods are its host's (the display keeps
// the text and lays it out); TextFormat objects are plain records of a format's values, null
// where a value is not set.
#include <algorithm>
#include <cmath>

#include "player/script/builtins.h"
#include "player/script/function.h"
#include "player/script/text_format.h"

namespace player::script {

namespace {

// The TextFormat values in the order its constructor takes them, then the rest.
constexpr std::string_view kFormatNames[] = {
    "font",  "size",       "color",       "bold",   "italic",  "underline",   "url",
    "target", "align",     "leftMargin",  "rightMargin",       "indent",      "leading",
    "blockIndent", "bullet", "kerning",   "letterSpacing",     "tabStops"};
constexpr std::size_t kConstructorArgs = 13;
// Font names are cut to this many characters.
constexpr std::size_t kMaxFontName = 64;

TextHost* ThisField(Vm& vm, const Value& self) { return vm.TextOf(self.AsObject()); }

Value FieldCall(Vm&, const Value&, std::span<const Value>) { return Value(); }

// Each method hands its call to the field's host.
template <const char* kName>
Value Forward(Vm& vm, const Value& self, std::span<const Value> args) {
    TextHost* field = ThisField(vm, self);
    return field ? field->CallField(vm, kName, args) : Value();
}

constexpr char kSetTextFormat[] = "setTextFormat";
constexpr char kGetTextFormat[] = "getTextFormat";
constexpr char kSetNewTextFormat[] = "setNewTextFormat";
constexpr char kGetNewTextFormat[] = "getNewTextFormat";
constexpr char kReplaceText[] = "replaceText";
constexpr char kReplaceSel[] = "replaceSel";
constexpr char kRemoveTextField[] = "removeTextField";
constexpr char kGetDepth[] = "getDepth";

Value FieldToString(Vm& vm, const Value& self, std::span<const Value>) {
    TextHost* field = ThisField(vm, self);
    if (!field) return vm.Str("[object Object]");
    ClipHost* parent = field->Parent();
    return vm.Str(parent ? vm.TargetPath(parent) + "." + field->Name() : field->Name());
}

Value FormatCall(Vm&, const Value&, std::span<const Value>) { return Value(); }

Value FormatConstruct(Vm& vm, const Value&, std::span<const Value> args) {
    Object* format = NewTextFormat(vm);
    for (std::size_t i = 0; i < args.size() && i < kConstructorArgs; ++i) {
        if (args[i].IsUndefined()) continue;
        if (i == 0 && !args[i].IsNull()) {
            std::string font = vm.ToString(args[i]);
            if (font.size() > kMaxFontName) font.resize(kMaxFontName);
            vm.Set(format, "font", vm.Str(font));
            continue;
        }
        vm.Set(format, kFormatNames[i], args[i]);
    }
    return Value::Obj(format);
}

// createTextField(name, depth, x, y, width, height): the new field.
Value CreateTextField(Vm& vm, const Value& self, std::span<const Value> args) {
    ClipHost* clip = vm.ClipOf(self.AsObject());
    if (!clip || args.size() < 6) return Value();
    auto whole = [&](std::size_t i) {
        const double v = vm.ToInteger(args[i]);
        return std::isfinite(v) ? v : 0.0;
    };
    TextHost* field = clip->CreateTextField(vm.ToString(args[0]),
                                            static_cast<int>(std::clamp(whole(1), -1e6, 1e6)),
                                            whole(2), whole(3), whole(4), whole(5));
    return field ? Value::Obj(vm.TextFor(field)) : Value();
}

// getTextExtent(text, width): the text's size in this format, and the field that would hold it.
Value GetTextExtent(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* format = self.AsObject();
    if (!format || args.empty()) return Value();
    const Value font = vm.Get(format, "font"), size = vm.Get(format, "size");
    const double pixels = size.IsNullish() ? 12 : std::clamp(vm.ToNumber(size), 0.0, 3000.0);
    const double wrap = args.size() > 1 ? vm.ToNumber(args[1]) : 0;
    TextExtent extent;
    if (!vm.GetHost().MeasureText(vm.ToString(args[0]),
                                  font.IsNullish() ? "Times New Roman" : vm.ToString(font),
                                  std::isfinite(pixels) ? pixels : 12,
                                  vm.ToBoolean(vm.Get(format, "bold")),
                                  vm.ToBoolean(vm.Get(format, "italic")),
                                  std::isfinite(wrap) ? wrap : 0, &extent))
        return Value();
    Object* out = vm.NewObject();
    auto whole = [](double v) { return Value::Number(std::round(v)); };
    vm.Set(out, "ascent", whole(extent.ascent));
    vm.Set(out, "descent", whole(extent.descent));
    vm.Set(out, "width", whole(extent.width));
    vm.Set(out, "height", whole(extent.ascent + extent.descent));
    vm.Set(out, "textFieldHeight", whole(extent.height + 4));
    vm.Set(out, "textFieldWidth", whole(extent.width + 4));
    return Value::Obj(out);
}

}  // namespace

Object* NewTextFormat(Vm& vm) {
    Object* format = vm.GetHeap().New<Object>(vm.GetRealm().textFormatProto);
    for (std::string_view name : kFormatNames) vm.Set(format, name, Value::Null());
    vm.Set(format, "display", vm.Str("block"));
    return format;
}

void InstallText(Vm& vm) {
    Realm& realm = vm.GetRealm();
    realm.textFieldProto = vm.NewObject();
    vm.DefineClass(realm.global, "TextField", FieldCall, nullptr, realm.textFieldProto);
    Object* p = realm.textFieldProto;
    vm.DefineMethod(p, "setTextFormat", Forward<kSetTextFormat>);
    vm.DefineMethod(p, "getTextFormat", Forward<kGetTextFormat>);
    vm.DefineMethod(p, "setNewTextFormat", Forward<kSetNewTextFormat>);
    vm.DefineMethod(p, "getNewTextFormat", Forward<kGetNewTextFormat>);
    vm.DefineMethod(p, "replaceText", Forward<kReplaceText>);
    vm.DefineMethod(p, "replaceSel", Forward<kReplaceSel>);
    vm.DefineMethod(p, "removeTextField", Forward<kRemoveTextField>);
    vm.DefineMethod(p, "getDepth", Forward<kGetDepth>);
    vm.DefineMethod(p, "toString", FieldToString);

    realm.textFormatProto = vm.NewObject();
    vm.DefineClass(realm.global, "TextFormat", FormatCall, FormatConstruct, realm.textFormatProto);
    vm.DefineMethod(realm.textFormatProto, "getTextExtent", GetTextExtent);

    if (realm.clipProto) vm.DefineMethod(realm.clipProto, "createTextField", CreateTextField);
}

}  // namespace player::script
