// Boolean, Number and String: constructors, boxing and their prototypes' methods.
#include <algorithm>
#include <cmath>
#include <limits>

#include "player/script/builtins.h"
#include "player/script/number_text.h"
#include "player/script/utf8.h"

namespace player::script {

namespace {

// ---- Text as characters --------------------------------------------------------------------

// Strings are UTF-8 from version 6 on; before, each byte is a character.
std::u32string Decode(const Vm& vm, const std::string& text) {
    std::u32string out;
    out.reserve(text.size());
    if (vm.Version() < 6) {
        for (unsigned char c : text) out += c;
        return out;
    }
    for (std::size_t i = 0; i < text.size();) {
        const auto c0 = static_cast<unsigned char>(text[i]);
        const int extra = c0 >= 0xF0 ? 3 : c0 >= 0xE0 ? 2 : c0 >= 0xC0 ? 1 : 0;
        std::uint32_t code = extra ? (c0 & (0x3F >> extra)) : c0;
        std::size_t k = 1;
        for (; k <= static_cast<std::size_t>(extra) && i + k < text.size(); ++k)
            code = code << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        out += code;
        i += k;
    }
    return out;
}

std::string Encode(const Vm& vm, std::u32string_view chars) {
    std::string out;
    out.reserve(chars.size());
    for (char32_t c : chars) {
        if (vm.Version() < 6)
            out += static_cast<char>(c);
        else
            AppendUtf8(out, c);
    }
    return out;
}

std::u32string ThisText(Vm& vm, const Value& self) { return Decode(vm, vm.ToString(self)); }

// A position argument clamped into [0, length]; negatives count from the end when asked.
std::size_t Clamp(double n, std::size_t length, bool fromEnd) {
    if (std::isnan(n)) return 0;
    if (n < 0) n = fromEnd ? std::max(0.0, static_cast<double>(length) + n) : 0;
    return static_cast<std::size_t>(std::min(n, static_cast<double>(length)));
}

// ---- Boolean ---------------------------------------------------------------------------------

// Boolean() called with nothing is undefined.
Value BooleanCall(Vm& vm, const Value&, std::span<const Value> args) {
    if (args.empty()) return Value();
    return Value::Boolean(vm.ToBoolean(Arg(args, 0)));
}

Value BooleanConstruct(Vm& vm, const Value&, std::span<const Value> args) {
    return Value::Obj(vm.GetHeap().New<BoxObject>(vm.GetRealm().booleanProto, ObjectKind::kBoolean,
                                                  Value::Boolean(vm.ToBoolean(Arg(args, 0)))));
}

Value PrimitiveOf(const Value& self, ObjectKind kind) {
    if (auto* box = This<BoxObject>(self, kind)) return box->Primitive();
    return self.IsObject() ? Value() : self;
}

Value BooleanToString(Vm& vm, const Value& self, std::span<const Value>) {
    const Value v = PrimitiveOf(self, ObjectKind::kBoolean);
    return v.IsBoolean() ? vm.Str(v.AsBoolean() ? "true" : "false") : Value();
}

Value BooleanValueOf(Vm&, const Value& self, std::span<const Value>) {
    return PrimitiveOf(self, ObjectKind::kBoolean);
}

// ---- Number ----------------------------------------------------------------------------------

Value NumberCall(Vm& vm, const Value&, std::span<const Value> args) {
    return Value::Number(args.empty() ? 0 : vm.ToNumber(args[0]));
}

Value NumberConstruct(Vm& vm, const Value&, std::span<const Value> args) {
    const double n = args.empty() ? 0 : vm.ToNumber(args[0]);
    return Value::Obj(vm.GetHeap().New<BoxObject>(vm.GetRealm().numberProto, ObjectKind::kNumber,
                                                  Value::Number(n)));
}

Value NumberToStringMethod(Vm& vm, const Value& self, std::span<const Value> args) {
    const Value v = PrimitiveOf(self, ObjectKind::kNumber);
    if (!v.IsNumber()) return Value();
    const int radix = args.empty() || args[0].IsUndefined() ? 10 : ClampToInt(vm.ToInteger(args[0]));
    return vm.Str(NumberToStringRadix(v.AsNumber(), radix));
}

Value NumberValueOf(Vm&, const Value& self, std::span<const Value>) {
    return PrimitiveOf(self, ObjectKind::kNumber);
}

// ---- String ----------------------------------------------------------------------------------

Value StringCall(Vm& vm, const Value&, std::span<const Value> args) {
    return args.empty() ? vm.Str("") : Value::Str(vm.ToStringCell(args[0]));
}

Value StringConstruct(Vm& vm, const Value&, std::span<const Value> args) {
    const Value text = args.empty() ? vm.Str("") : Value::Str(vm.ToStringCell(args[0]));
    auto* box = vm.GetHeap().New<BoxObject>(vm.GetRealm().stringProto, ObjectKind::kString, text);
    vm.DefineValue(box, "length",
                   Value::Number(static_cast<double>(vm.StringLength(text.Text()))),
                   kDontEnum | kDontDelete);
    return Value::Obj(box);
}

Value StringValueOf(Vm& vm, const Value& self, std::span<const Value>) {
    const Value v = PrimitiveOf(self, ObjectKind::kString);
    return v.IsString() ? v : Value::Str(vm.ToStringCell(self));
}

// Positions and counts are 32-bit integers (4294967297 is 1).
double Index(Vm& vm, const Value& v) { return vm.ToInt32(v); }

Value CharAt(Vm& vm, const Value& self, std::span<const Value> args) {
    const std::u32string text = ThisText(vm, self);
    const double i = Index(vm, Arg(args, 0));
    if (i < 0 || i >= static_cast<double>(text.size())) return vm.Str("");
    return vm.Str(Encode(vm, std::u32string_view(text).substr(static_cast<std::size_t>(i), 1)));
}

// Past the end, movies before version 6 read the text's terminating 0.
Value CharCodeAt(Vm& vm, const Value& self, std::span<const Value> args) {
    const std::u32string text = ThisText(vm, self);
    const double i = Index(vm, Arg(args, 0));
    if (i >= static_cast<double>(text.size()) && vm.Version() < 6) return Value::Number(0);
    if (i < 0 || i >= static_cast<double>(text.size()))
        return Value::Number(std::numeric_limits<double>::quiet_NaN());
    return Value::Number(text[static_cast<std::size_t>(i)]);
}

Value Concat(Vm& vm, const Value& self, std::span<const Value> args) {
    std::string text = vm.ToString(self);
    for (const Value& a : args) {
        text += vm.ToString(a);
        if (text.size() > vm.Limits().maxStringBytes) {
            vm.Stop("a string grew past " + std::to_string(vm.Limits().maxStringBytes) + " bytes");
            return Value();
        }
    }
    return vm.Str(std::move(text));
}

// indexOf(needle, from): a start past the end finds nothing, not even "".
Value IndexOf(Vm& vm, const Value& self, std::span<const Value> args) {
    if (args.empty()) return Value();
    const std::u32string text = ThisText(vm, self);
    const std::u32string needle = Decode(vm, vm.ToString(args[0]));
    const double start = Index(vm, Arg(args, 1));
    if (start > static_cast<double>(text.size())) return Value::Number(-1);
    const std::size_t from = Clamp(start, text.size(), false);
    const auto at = text.find(needle, from);
    return Value::Number(at == std::u32string::npos ? -1 : static_cast<double>(at));
}

Value LastIndexOf(Vm& vm, const Value& self, std::span<const Value> args) {
    if (args.empty()) return Value();
    const std::u32string text = ThisText(vm, self);
    const std::u32string needle = Decode(vm, vm.ToString(Arg(args, 0)));
    std::size_t from = std::u32string::npos;
    if (args.size() > 1 && !args[1].IsUndefined()) {
        const double n = Index(vm, args[1]);
        if (n < 0) return Value::Number(-1);
        from = static_cast<std::size_t>(std::min(n, static_cast<double>(text.size())));
    }
    const auto at = text.rfind(needle, from);
    return Value::Number(at == std::u32string::npos ? -1 : static_cast<double>(at));
}

Value Slice(Vm& vm, const Value& self, std::span<const Value> args) {
    if (args.empty()) return Value();
    const std::u32string text = ThisText(vm, self);
    const std::size_t begin = Clamp(Index(vm, Arg(args, 0)), text.size(), true);
    const std::size_t end = args.size() > 1 && !args[1].IsUndefined()
                                ? Clamp(Index(vm, args[1]), text.size(), true)
                                : text.size();
    if (end <= begin) return vm.Str("");
    return vm.Str(Encode(vm, std::u32string_view(text).substr(begin, end - begin)));
}

Value Substring(Vm& vm, const Value& self, std::span<const Value> args) {
    if (args.empty()) return Value();
    const std::u32string text = ThisText(vm, self);
    std::size_t begin = Clamp(Index(vm, Arg(args, 0)), text.size(), false);
    std::size_t end = args.size() > 1 && !args[1].IsUndefined()
                          ? Clamp(Index(vm, args[1]), text.size(), false)
                          : text.size();
    if (end < begin) std::swap(begin, end);
    return vm.Str(Encode(vm, std::u32string_view(text).substr(begin, end - begin)));
}

// substr(start, count): a negative count is counted back from the length of the whole text,
// and gives nothing when that reaches the end.
Value Substr(Vm& vm, const Value& self, std::span<const Value> args) {
    if (args.empty()) return Value();
    const std::u32string text = ThisText(vm, self);
    const double length = static_cast<double>(text.size());
    const std::size_t begin = Clamp(Index(vm, Arg(args, 0)), text.size(), true);
    double count = args.size() > 1 && !args[1].IsUndefined() ? Index(vm, args[1]) : length;
    if (count < 0) {
        count += length;
        if (count < 0 || static_cast<double>(begin) + count >= length) return vm.Str("");
    }
    const std::size_t n = static_cast<std::size_t>(std::min(count, length - static_cast<double>(begin)));
    return vm.Str(Encode(vm, std::u32string_view(text).substr(begin, n)));
}

// split(separator, limit). Before version 6 a missing separator splits at commas, an empty
// one does not split, and a negative limit gives nothing.
Value Split(Vm& vm, const Value& self, std::span<const Value> args) {
    const std::u32string text = ThisText(vm, self);
    const bool old = vm.Version() < 6;
    std::vector<Value> parts;
    double limitArg = 4294967295.0;
    if (args.size() > 1 && !args[1].IsUndefined()) {
        limitArg = old ? vm.ToInt32(args[1]) : vm.ToNumber(args[1]);
        if (limitArg < 0) limitArg = old ? 0 : 4294967295.0;
    }
    const std::size_t limit = static_cast<std::size_t>(std::min(limitArg, 4294967295.0));
    if (args.empty() || args[0].IsUndefined()) {
        if (!old) {
            if (limit > 0) parts.push_back(Value::Str(vm.ToStringCell(self)));
            return Value::Obj(vm.NewArray(parts));
        }
    }
    const std::u32string sep =
        args.empty() || args[0].IsUndefined() ? U"," : Decode(vm, vm.ToString(args[0]));
    const std::size_t cap = std::min<std::size_t>(limit, vm.Limits().maxArrayLength);
    if (sep.empty() && old) {
        if (cap > 0) parts.push_back(Value::Str(vm.ToStringCell(self)));
    } else if (sep.empty()) {
        for (std::size_t i = 0; i < text.size() && parts.size() < cap; ++i)
            parts.push_back(vm.Str(Encode(vm, std::u32string_view(text).substr(i, 1))));
    } else {
        std::size_t start = 0;
        while (parts.size() < cap) {
            const auto at = text.find(sep, start);
            if (at == std::u32string::npos) {
                parts.push_back(vm.Str(Encode(vm, std::u32string_view(text).substr(start))));
                break;
            }
            parts.push_back(vm.Str(Encode(vm, std::u32string_view(text).substr(start, at - start))));
            start = at + sep.size();
        }
    }
    return Value::Obj(vm.NewArray(parts));
}

char32_t CaseChar(char32_t c, bool upper) {
    if (upper) {
        if ((c >= U'a' && c <= U'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 32;
    } else {
        if ((c >= U'A' && c <= U'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 32;
    }
    return c;
}

Value ToUpperCase(Vm& vm, const Value& self, std::span<const Value>) {
    std::u32string text = ThisText(vm, self);
    for (char32_t& c : text) c = CaseChar(c, true);
    return vm.Str(Encode(vm, text));
}

Value ToLowerCase(Vm& vm, const Value& self, std::span<const Value>) {
    std::u32string text = ThisText(vm, self);
    for (char32_t& c : text) c = CaseChar(c, false);
    return vm.Str(Encode(vm, text));
}

Value FromCharCode(Vm& vm, const Value&, std::span<const Value> args) {
    std::u32string chars;
    for (const Value& a : args) {
        const auto c = static_cast<char32_t>(vm.ToUint32(a) & 0xFFFF);
        if (!c) break;  // the text ends at a 0
        chars += c;
    }
    return vm.Str(Encode(vm, chars));
}

}  // namespace

void InstallPrimitives(Vm& vm) {
    Realm& realm = vm.GetRealm();
    Heap& heap = vm.GetHeap();
    Object* g = realm.global;

    realm.booleanProto = heap.New<BoxObject>(realm.objectProto, ObjectKind::kBoolean, Value::Boolean(false));
    realm.booleanCtor = vm.DefineClass(g, "Boolean", BooleanCall, BooleanConstruct, realm.booleanProto);
    vm.DefineMethod(realm.booleanProto, "toString", BooleanToString);
    vm.DefineMethod(realm.booleanProto, "valueOf", BooleanValueOf);

    realm.numberProto = heap.New<BoxObject>(realm.objectProto, ObjectKind::kNumber, Value::Number(0));
    realm.numberCtor = vm.DefineClass(g, "Number", NumberCall, NumberConstruct, realm.numberProto);
    vm.DefineMethod(realm.numberProto, "toString", NumberToStringMethod);
    vm.DefineMethod(realm.numberProto, "valueOf", NumberValueOf);
    Object* n = realm.numberCtor;
    const std::uint16_t constant = kDontEnum | kDontDelete | kReadOnly;
    vm.DefineValue(n, "MAX_VALUE", Value::Number(std::numeric_limits<double>::max()), constant);
    vm.DefineValue(n, "MIN_VALUE", Value::Number(std::numeric_limits<double>::denorm_min()), constant);
    vm.DefineValue(n, "NaN", Value::Number(std::numeric_limits<double>::quiet_NaN()), constant);
    vm.DefineValue(n, "POSITIVE_INFINITY", Value::Number(std::numeric_limits<double>::infinity()), constant);
    vm.DefineValue(n, "NEGATIVE_INFINITY", Value::Number(-std::numeric_limits<double>::infinity()), constant);

    realm.stringProto = heap.New<BoxObject>(realm.objectProto, ObjectKind::kString, vm.Str(""));
    realm.stringCtor = vm.DefineClass(g, "String", StringCall, StringConstruct, realm.stringProto);
    Object* sp = realm.stringProto;
    vm.DefineMethod(sp, "toString", StringValueOf);
    vm.DefineMethod(sp, "valueOf", StringValueOf);
    vm.DefineMethod(sp, "charAt", CharAt);
    vm.DefineMethod(sp, "charCodeAt", CharCodeAt);
    vm.DefineMethod(sp, "concat", Concat);
    vm.DefineMethod(sp, "indexOf", IndexOf);
    vm.DefineMethod(sp, "lastIndexOf", LastIndexOf);
    vm.DefineMethod(sp, "slice", Slice);
    vm.DefineMethod(sp, "substring", Substring);
    vm.DefineMethod(sp, "substr", Substr);
    vm.DefineMethod(sp, "split", Split);
    vm.DefineMethod(sp, "toUpperCase", ToUpperCase);
    vm.DefineMethod(sp, "toLowerCase", ToLowerCase);
    vm.DefineMethod(realm.stringCtor, "fromCharCode", FromCharCode);
}

}  // namespace player::script
