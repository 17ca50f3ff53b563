// The global functions: conversions, number parsing, escaping, timers and ASSetPropFlags.
#include <cmath>
#include <limits>

#include "player/script/builtins.h"
#include "player/script/number_text.h"
#include "player/script/utf8.h"

namespace player::script {

namespace {

Value IsNaN(Vm& vm, const Value&, std::span<const Value> args) {
    return Value::Boolean(std::isnan(vm.ToNumber(Arg(args, 0))));
}

// Called with nothing, isFinite is false and parseFloat undefined (not as for undefined).
Value IsFinite(Vm& vm, const Value&, std::span<const Value> args) {
    return Value::Boolean(!args.empty() && std::isfinite(vm.ToNumber(args[0])));
}

Value ParseIntFn(Vm& vm, const Value&, std::span<const Value> args) {
    std::optional<int> radix;
    if (args.size() > 1 && !args[1].IsUndefined()) radix = ClampToInt(vm.ToInteger(args[1]));
    return Value::Number(ParseInt(vm.ToString(Arg(args, 0)), radix));
}

Value ParseFloatFn(Vm& vm, const Value&, std::span<const Value> args) {
    return args.empty() ? Value() : Value::Number(ParseFloat(vm.ToString(args[0])));
}

Value EscapeFn(Vm& vm, const Value&, std::span<const Value> args) {
    return vm.Str(Escape(vm.ToString(Arg(args, 0))));
}

Value UnescapeFn(Vm& vm, const Value&, std::span<const Value> args) {
    return vm.Str(Unescape(vm.ToString(Arg(args, 0))));
}

Value IntFn(Vm& vm, const Value&, std::span<const Value> args) {
    return Value::Number(vm.ToInt32(Arg(args, 0)));
}

Value GetTimer(Vm& vm, const Value&, std::span<const Value>) {
    return Value::Number(std::floor(vm.NowMs()));
}

// setInterval(function, ms, args...) or setInterval(object, "method", ms, args...).
Value AddTimer(Vm& vm, std::span<const Value> args, bool repeat) {
    Object* first = Arg(args, 0).AsObject();
    if (!first) return Value();
    if (first->Kind() == ObjectKind::kFunction) {
        if (Arg(args, 1).IsUndefined()) return Value();  // no interval, no timer
        std::vector<Value> rest(args.size() > 2 ? args.begin() + 2 : args.end(), args.end());
        return Value::Number(vm.AddTimer(args[0], Value(), Value(), std::move(rest),
                                         vm.ToNumber(Arg(args, 1)), repeat));
    }
    if (args.size() < 3 || args[2].IsUndefined()) return Value();
    std::vector<Value> rest(args.begin() + 3, args.end());
    return Value::Number(vm.AddTimer(Value(), args[0], vm.Str(vm.ToString(args[1])),
                                     std::move(rest), vm.ToNumber(args[2]), repeat));
}

Value SetInterval(Vm& vm, const Value&, std::span<const Value> args) {
    return AddTimer(vm, args, true);
}

Value SetTimeout(Vm& vm, const Value&, std::span<const Value> args) {
    return AddTimer(vm, args, false);
}

Value ClearTimer(Vm& vm, const Value&, std::span<const Value> args) {
    vm.RemoveTimer(ClampToInt(vm.ToInteger(Arg(args, 0))));
    return Value();
}

// ASSetPropFlags(object, names, set, clear): names is a comma list, an array or null (all).
Value SetPropFlags(Vm& vm, const Value&, std::span<const Value> args) {
    Object* o = Arg(args, 0).AsObject();
    if (!o) return Value();
    const auto set = static_cast<std::uint16_t>(vm.ToUint32(Arg(args, 2)));
    const auto clear = static_cast<std::uint16_t>(vm.ToUint32(Arg(args, 3)));
    auto apply = [&](Property& p) { p.flags = static_cast<std::uint16_t>((p.flags & ~clear) | set); };
    const Value names = Arg(args, 1);
    if (names.IsNull()) {
        for (Property& p : o->Properties()) apply(p);
        return Value();
    }
    std::vector<std::string> list;
    if (Object* array = names.AsObject()) {
        const double n = vm.ToNumber(vm.Get(array, "length"));
        for (std::uint32_t i = 0; i < n && i < 65536; ++i)
            list.push_back(vm.ToString(vm.Get(array, std::to_string(i))));
    } else {
        const std::string text = vm.ToString(names);
        std::size_t start = 0;
        while (start <= text.size()) {
            const auto comma = text.find(',', start);
            list.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
    }
    for (const std::string& name : list)
        if (Property* p = o->FindOwn(vm.Key(name))) apply(*p);
    return Value();
}

Value Chr(Vm& vm, const Value&, std::span<const Value> args) {
    const double code = vm.ToInteger(Arg(args, 0));
    std::string out;
    const auto c = static_cast<std::uint32_t>(std::fmod(code < 0 ? code + 65536 : code, 65536));
    if (c == 0) return vm.Str("");
    if (vm.Version() < 6)
        out += static_cast<char>(c & 0xFF);
    else
        AppendUtf8(out, c);
    return vm.Str(out);
}

Value Ord(Vm& vm, const Value&, std::span<const Value> args) {
    const std::string text = vm.ToString(Arg(args, 0));
    if (text.empty()) return Value::Number(0);
    const auto c0 = static_cast<unsigned char>(text[0]);
    if (vm.Version() < 6 || c0 < 0x80) return Value::Number(c0);
    const int extra = c0 >= 0xF0 ? 3 : c0 >= 0xE0 ? 2 : c0 >= 0xC0 ? 1 : 0;
    std::uint32_t code = c0 & (0x3F >> extra);
    for (int k = 1; k <= extra && k < static_cast<int>(text.size()); ++k)
        code = code << 6 | (static_cast<unsigned char>(text[k]) & 0x3F);
    return Value::Number(code);
}

Value Length(Vm& vm, const Value&, std::span<const Value> args) {
    return Value::Number(static_cast<double>(vm.StringLength(vm.ToString(Arg(args, 0)))));
}

Value TraceFn(Vm& vm, const Value&, std::span<const Value> args) {
    const Value v = Arg(args, 0);
    vm.GetHost().Trace(v.IsUndefined() ? std::string("undefined") : vm.ToString(v));
    return Value();
}

// An unnumbered math native: reads its two operands as numbers and has no result.
Value NoMath(Vm& vm, const Value&, std::span<const Value> args) {
    for (std::size_t i = 0; i < args.size() && i < 2; ++i) vm.ToNumber(args[i]);
    return Value::Number(std::numeric_limits<double>::quiet_NaN());
}

// ASnative(category, index): the built-in functions by the numbers players file them under.
// Known ones are the global and Math functions of the same name; other indexes of a known
// category give a function that does nothing.
Value AsNative(Vm& vm, const Value&, std::span<const Value> args) {
    static constexpr std::string_view kGlobals[] = {"escape", "unescape", "parseInt",
                                                    "parseFloat"};
    static constexpr std::string_view kMath[] = {
        "abs",   "min",  "max",   "sin",  "cos",  "atan2", "tan",  "exp",  "log",
        "sqrt",  "round", "random", "floor", "ceil", "atan", "asin", "acos", "pow"};
    if (args.size() != 2 || std::isnan(vm.ToNumber(args[0]))) return Value();
    const std::int32_t category = vm.ToInt32(args[0]);
    const std::int32_t index = vm.ToInt32(args[1]);
    Object* global = vm.GetRealm().global;
    if (category == 100) {
        if (index >= 0 && index < 4) return vm.Get(global, kGlobals[index]);
        return Value::Obj(vm.NewNative(index == 4 ? TraceFn : Nothing));
    }
    if (category == 200) {
        Object* math = vm.Get(global, "Math").AsObject();
        if (math && index >= 0 && index < static_cast<int>(std::size(kMath)))
            return vm.Get(math, kMath[index]);
        return Value::Obj(vm.NewNative(NoMath));
    }
    if (category == 103) {
        static constexpr std::string_view kDate[] = {
            "getFullYear", "getYear",    "getMonth",          "getDate",         "getDay",
            "getHours",    "getMinutes", "getSeconds",        "getMilliseconds", "setFullYear",
            "setMonth",    "setDate",    "setHours",          "setMinutes",      "setSeconds",
            "setMilliseconds", "getTime", "setTime", "getTimezoneOffset", "toString",
            "setYear"};
        Object* proto = vm.GetRealm().dateProto;
        if (proto && index >= 0 && index < static_cast<int>(std::size(kDate)))
            return vm.Get(proto, kDate[index]);
    }
    return Value::Obj(vm.NewNative(Nothing));
}

// ASSetNative(object, category, "name,name,...", first): the natives of a category from
// index `first` on, stored under the names (an empty name skips its index).
Value AsSetNative(Vm& vm, const Value&, std::span<const Value> args) {
    Object* target = Arg(args, 0).AsObject();
    if (!target || args.size() < 3) return Value();
    const Value category = args[1];
    const std::string names = vm.ToString(args[2]);
    std::int32_t index = vm.ToInt32(Arg(args, 3));
    if (vm.Throwing()) return Value();
    std::size_t from = 0;
    while (from <= names.size()) {
        std::size_t comma = names.find(',', from);
        if (comma == std::string::npos) comma = names.size();
        const std::string name = names.substr(from, comma - from);
        if (!name.empty()) {
            const Value native[] = {category, Value::Number(index)};
            vm.Set(target, name, AsNative(vm, Value(), native));
        }
        ++index;
        from = comma + 1;
    }
    return Value();
}

}  // namespace

void InstallGlobals(Vm& vm) {
    Object* g = vm.GetRealm().global;
    vm.DefineMethod(g, "isNaN", IsNaN);
    vm.DefineMethod(g, "isFinite", IsFinite);
    vm.DefineMethod(g, "parseInt", ParseIntFn);
    vm.DefineMethod(g, "parseFloat", ParseFloatFn);
    vm.DefineMethod(g, "escape", EscapeFn);
    vm.DefineMethod(g, "unescape", UnescapeFn);
    vm.DefineMethod(g, "int", IntFn);
    vm.DefineMethod(g, "getTimer", GetTimer);
    vm.DefineMethod(g, "setInterval", SetInterval);
    vm.DefineMethod(g, "setTimeout", SetTimeout);
    vm.DefineMethod(g, "clearInterval", ClearTimer);
    vm.DefineMethod(g, "clearTimeout", ClearTimer);
    vm.DefineMethod(g, "ASSetPropFlags", SetPropFlags);
    vm.DefineMethod(g, "chr", Chr);
    vm.DefineMethod(g, "mbchr", Chr);
    vm.DefineMethod(g, "ord", Ord);
    vm.DefineMethod(g, "mbord", Ord);
    vm.DefineMethod(g, "length", Length);
    vm.DefineMethod(g, "mblength", Length);
    vm.DefineMethod(g, "updateAfterEvent", Nothing);
    vm.DefineMethod(g, "ASnative", AsNative);
    vm.DefineMethod(g, "ASSetNative", AsSetNative);
    vm.DefineMethod(g, "fscommand", Nothing);
    vm.DefineValue(g, "NaN", Value::Number(std::numeric_limits<double>::quiet_NaN()));
    vm.DefineValue(g, "Infinity", Value::Number(std::numeric_limits<double>::infinity()));
}

}  // namespace player::script
