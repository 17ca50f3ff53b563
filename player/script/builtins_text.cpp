// TextField and TextFormat. A field's properties and methods are its host's (the display keeps
// the text and lays it out); TextFormat objects are plain records of a format's values, null
// where a value is not set.
#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>
#include <utility>
#include <vector>

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

// How a TextFormat value is kept when set.
enum class Conversion { kText, kInteger, kNumber, kFlag, kColor, kAlign, kStops };
constexpr Conversion kConversions[] = {
    Conversion::kText,    Conversion::kInteger, Conversion::kColor,   Conversion::kFlag,
    Conversion::kFlag,    Conversion::kFlag,    Conversion::kText,    Conversion::kText,
    Conversion::kAlign,   Conversion::kInteger, Conversion::kInteger, Conversion::kInteger,
    Conversion::kInteger, Conversion::kInteger, Conversion::kFlag,    Conversion::kFlag,
    Conversion::kNumber,  Conversion::kStops};
constexpr std::size_t kFormatValues = std::size(kFormatNames);
static_assert(std::size(kConversions) == kFormatValues);

// A TextFormat: its values live here, behind accessors on the prototype.
class TextFormatObject final : public Object {
  public:
    explicit TextFormatObject(Object* proto) : Object(proto, ObjectKind::kNative) {
        for (Value& v : values) v = Value::Null();
    }
    void Trace(Marker& marker) const override {
        Object::Trace(marker);
        for (const Value& v : values) v.Mark(marker);
    }
    std::size_t Size() const override { return Object::Size() + sizeof(values); }

    std::array<Value, kFormatValues> values;
    std::string display = "block";
};

TextFormatObject* ThisFormat(const Value& self) {
    return dynamic_cast<TextFormatObject*>(self.AsObject());
}

double Whole(Vm& vm, const Value& v) {
    const double d = vm.ToInteger(v);
    return std::isfinite(d) ? std::clamp(d, -2147483648.0, 2147483647.0) : 0;
}

Value Converted(Vm& vm, Conversion kind, const Value& v) {
    if (v.IsNullish()) return Value::Null();
    switch (kind) {
        case Conversion::kText: {
            std::string text = vm.ToString(v);
            if (text.size() > kMaxFontName) text.resize(kMaxFontName);
            return vm.Str(text);
        }
        case Conversion::kInteger:
            return Value::Number(Whole(vm, v));
        case Conversion::kNumber:
            return Value::Number(vm.ToNumber(v));
        case Conversion::kFlag:
            return Value::Boolean(vm.ToBoolean(v));
        case Conversion::kColor: {
            const double d = vm.ToNumber(v);
            if (!std::isfinite(d)) return Value::Number(0);
            const double m = std::fmod(std::trunc(d), 4294967296.0);
            return Value::Number(m < 0 ? m + 4294967296.0 : m);
        }
        case Conversion::kAlign: {
            std::string name = vm.ToString(v);
            for (char& c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
            return name == "left" || name == "right" || name == "center" || name == "justify"
                       ? vm.Str(name)
                       : Value::Null();
        }
        case Conversion::kStops: {
            Object* list = v.AsObject();
            if (!list || list->Kind() != ObjectKind::kArray) return Value::Null();
            const double n = std::clamp(vm.ToNumber(vm.Get(list, "length")), 0.0, 1024.0);
            std::vector<Value> stops;
            for (int i = 0; i < int(n); ++i)
                stops.push_back(Value::Number(Whole(vm, vm.Get(list, std::to_string(i)))));
            return Value::Obj(vm.NewArray(stops));
        }
    }
    return Value::Null();
}

template <std::size_t I>
Value FormatGet(Vm&, const Value& self, std::span<const Value>) {
    TextFormatObject* format = ThisFormat(self);
    return format ? format->values[I] : Value();
}

// Assignments (not the constructor) keep margins, indents and leading from going negative.
constexpr bool IsSpacing(std::string_view name) {
    return name == "leftMargin" || name == "rightMargin" || name == "indent" ||
           name == "leading" || name == "blockIndent";
}

template <std::size_t I>
Value FormatSet(Vm& vm, const Value& self, std::span<const Value> args) {
    TextFormatObject* format = ThisFormat(self);
    if (!format) return Value();
    Value v = Converted(vm, kConversions[I], Arg(args, 0));
    // An alignment it does not know leaves the one it had.
    if constexpr (kConversions[I] == Conversion::kAlign) {
        if (v.IsNull()) return Value();
    }
    if constexpr (IsSpacing(kFormatNames[I])) {
        if (v.IsNumber() && v.AsNumber() < 0) v = Value::Number(0);
    }
    format->values[I] = v;
    return Value();
}

Value DisplayGet(Vm& vm, const Value& self, std::span<const Value>) {
    TextFormatObject* format = ThisFormat(self);
    return format ? vm.Str(format->display) : Value();
}

Value DisplaySet(Vm& vm, const Value& self, std::span<const Value> args) {
    TextFormatObject* format = ThisFormat(self);
    if (!format) return Value();
    const Value v = Arg(args, 0);
    const std::string name = v.IsString() ? vm.ToString(v) : "";
    format->display = name == "inline" || name == "none" ? name : "block";
    return Value();
}

void DefineAccessor(Vm& vm, Object* on, std::string_view name, NativeFn get, NativeFn set) {
    std::string key = vm.Key(name);
    Property& p = on->Put(vm.Intern(name), std::move(key), Value(), kDontEnum | kDontDelete);
    p.getter = vm.NewNative(get);
    p.setter = vm.NewNative(set);
    vm.GetHeap().Grew(sizeof(Property));
}

template <std::size_t... I>
void DefineFormatAccessors(Vm& vm, Object* proto, std::index_sequence<I...>) {
    (DefineAccessor(vm, proto, kFormatNames[I], FormatGet<I>, FormatSet<I>), ...);
}

TextHost* ThisField(Vm& vm, const Value& self) { return vm.TextOf(self.AsObject()); }

// The properties the TextField prototype lists, in the order for-in gives them. A field
// answers them itself; on anything else they read undefined and ignore assignments.
constexpr std::string_view kFieldProperties[] = {
    "styleSheet", "mouseWheelEnabled", "condenseWhite", "restrict",  "textHeight",
    "textWidth",  "bottomScroll",      "length",        "selectable", "multiline",
    "password",   "wordWrap",          "background",    "border",    "html",
    "embedFonts", "maxChars",          "maxhscroll",    "hscroll",   "variable",
    "htmlText",   "type",              "text",          "autoSize",  "tabIndex",
    "textColor",  "backgroundColor",   "borderColor",   "maxscroll", "scroll",
    "filters",    "sharpness",         "thickness",     "antiAliasType", "gridFitType"};
constexpr std::size_t kFieldPropertyCount = std::size(kFieldProperties);

template <std::size_t I>
Value FieldPropertyGet(Vm& vm, const Value& self, std::span<const Value>) {
    Value out;
    if (TextHost* field = ThisField(vm, self))
        field->GetField(vm, vm.Key(kFieldProperties[I]), &out);
    return out;
}

// The last ones came with version 8: to older movies they are plain values of any object.
constexpr std::size_t kFirstVersion8Property = kFieldPropertyCount - 5;

// What a field does not keep itself becomes the object's own value.
template <std::size_t I>
Value FieldPropertySet(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* object = self.AsObject();
    if (!object) return Value();
    TextHost* field = ThisField(vm, self);
    const std::string key = vm.Key(kFieldProperties[I]);
    const bool plain = I >= kFirstVersion8Property && vm.Version() < 8;
    if ((field && !field->SetField(vm, key, Arg(args, 0))) || (!field && plain)) {
        object->Put(vm.Intern(kFieldProperties[I]), key, Arg(args, 0));
        vm.GetHeap().Grew(sizeof(Property) + key.size());
    }
    return Value();
}

template <std::size_t... I>
void DefineFieldProperties(Vm& vm, Object* proto, std::index_sequence<I...>) {
    // Enumeration gives the newest first: the list is defined from its end.
    (DefineNativeAccessor(vm, proto, kFieldProperties[kFieldPropertyCount - 1 - I],
                          FieldPropertyGet<kFieldPropertyCount - 1 - I>,
                          FieldPropertySet<kFieldPropertyCount - 1 - I>, 0),
     ...);
}

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
        static_cast<TextFormatObject*>(format)->values[i] = Converted(vm, kConversions[i], args[i]);
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
    // A bare record: no prototype, so it has no toString either.
    Object* out = vm.GetHeap().New<Object>(nullptr);
    auto whole = [](double v) { return Value::Number(std::round(v)); };
    vm.Set(out, "ascent", whole(extent.ascent));
    vm.Set(out, "descent", whole(extent.descent));
    vm.Set(out, "width", whole(extent.width));
    vm.Set(out, "height", whole(extent.height));
    vm.Set(out, "textFieldHeight", whole(extent.height + 4));
    // A width to wrap at is the field's own.
    vm.Set(out, "textFieldWidth", whole(wrap > 0 && std::isfinite(wrap) ? wrap : extent.width + 4));
    return Value::Obj(out);
}

}  // namespace

Object* NewTextFormat(Vm& vm) {
    return vm.GetHeap().New<TextFormatObject>(vm.GetRealm().textFormatProto);
}

void InstallText(Vm& vm) {
    Realm& realm = vm.GetRealm();
    realm.textFieldProto = vm.NewObject();
    FunctionObject* fieldClass =
        vm.DefineClass(realm.global, "TextField", FieldCall, nullptr, realm.textFieldProto);
    InstallStyleSheet(vm, fieldClass);
    Object* p = realm.textFieldProto;
    vm.DefineMethod(p, "setTextFormat", Forward<kSetTextFormat>);
    vm.DefineMethod(p, "getTextFormat", Forward<kGetTextFormat>);
    vm.DefineMethod(p, "setNewTextFormat", Forward<kSetNewTextFormat>);
    vm.DefineMethod(p, "getNewTextFormat", Forward<kGetNewTextFormat>);
    vm.DefineMethod(p, "replaceText", Forward<kReplaceText>, kDontEnum | kVersion7);
    vm.DefineMethod(p, "replaceSel", Forward<kReplaceSel>);
    vm.DefineMethod(p, "removeTextField", Forward<kRemoveTextField>);
    vm.DefineMethod(p, "getDepth", Forward<kGetDepth>);
    vm.DefineMethod(p, "toString", FieldToString);
    DefineFieldProperties(vm, p, std::make_index_sequence<kFieldPropertyCount>());

    realm.textFormatProto = vm.NewObject();
    vm.DefineClass(realm.global, "TextFormat", FormatCall, FormatConstruct, realm.textFormatProto);
    vm.DefineMethod(realm.textFormatProto, "getTextExtent", GetTextExtent);
    DefineFormatAccessors(vm, realm.textFormatProto, std::make_index_sequence<kFormatValues>());
    DefineAccessor(vm, realm.textFormatProto, "display", DisplayGet, DisplaySet);

    if (realm.clipProto) vm.DefineMethod(realm.clipProto, "createTextField", CreateTextField);
    InstallTextSnapshot(vm);
}

}  // namespace player::script
