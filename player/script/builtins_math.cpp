// Math: the constants and functions, random numbers from the machine's seeded source.
#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "player/script/builtins.h"

namespace player::script {

namespace {

// Math's functions read their first two arguments as numbers, in order (their valueOf runs,
// used or not) and ignore the rest; a missing one is NaN.
struct Pair {
    double x, y;
};

Pair Numbers(Vm& vm, std::span<const Value> args) {
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    Pair p{kNaN, kNaN};
    if (!args.empty()) p.x = vm.ToNumber(args[0]);
    if (args.size() > 1 && !vm.Throwing()) p.y = vm.ToNumber(args[1]);
    return p;
}

template <double (*F)(double)>
Value Unary(Vm& vm, const Value&, std::span<const Value> args) {
    return Value::Number(F(Numbers(vm, args).x));
}

double Abs(double x) { return std::fabs(x); }
double Acos(double x) { return std::acos(x); }
double Asin(double x) { return std::asin(x); }
double Atan(double x) { return std::atan(x); }
double Ceil(double x) { return std::ceil(x); }
double Cos(double x) { return std::cos(x); }
double Exp(double x) { return std::exp(x); }
double Floor(double x) { return std::floor(x); }
double Log(double x) { return std::log(x); }
double Round(double x) { return std::floor(x + 0.5); }
double Sin(double x) { return std::sin(x); }
double Sqrt(double x) { return std::sqrt(x); }
double Tan(double x) { return std::tan(x); }

Value Atan2(Vm& vm, const Value&, std::span<const Value> args) {
    const Pair p = Numbers(vm, args);
    return Value::Number(std::atan2(p.x, p.y));
}

Value Pow(Vm& vm, const Value&, std::span<const Value> args) {
    const Pair p = Numbers(vm, args);
    return Value::Number(std::pow(p.x, p.y));
}

// max and min of no arguments are the identities; of one, NaN (it meets a missing second).
Value Max(Vm& vm, const Value&, std::span<const Value> args) {
    if (args.empty()) return Value::Number(-std::numeric_limits<double>::infinity());
    const Pair p = Numbers(vm, args);
    if (std::isnan(p.x) || std::isnan(p.y)) return Value::Number(std::numeric_limits<double>::quiet_NaN());
    return Value::Number(std::max(p.x, p.y));
}

Value Min(Vm& vm, const Value&, std::span<const Value> args) {
    if (args.empty()) return Value::Number(std::numeric_limits<double>::infinity());
    const Pair p = Numbers(vm, args);
    if (std::isnan(p.x) || std::isnan(p.y)) return Value::Number(std::numeric_limits<double>::quiet_NaN());
    return Value::Number(std::min(p.x, p.y));
}

Value Random(Vm& vm, const Value&, std::span<const Value> args) {
    Numbers(vm, args);
    return Value::Number(std::ldexp(static_cast<double>(vm.Random()() >> 11), -53));
}

}  // namespace

void InstallMath(Vm& vm) {
    Object* math = vm.NewObject();
    vm.DefineValue(vm.GetRealm().global, "Math", Value::Obj(math));
    const std::uint16_t constant = kDontEnum | kDontDelete | kReadOnly;
    vm.DefineValue(math, "E", Value::Number(std::numbers::e), constant);
    vm.DefineValue(math, "LN10", Value::Number(std::numbers::ln10), constant);
    vm.DefineValue(math, "LN2", Value::Number(std::numbers::ln2), constant);
    vm.DefineValue(math, "LOG10E", Value::Number(std::numbers::log10e), constant);
    vm.DefineValue(math, "LOG2E", Value::Number(std::numbers::log2e), constant);
    vm.DefineValue(math, "PI", Value::Number(std::numbers::pi), constant);
    vm.DefineValue(math, "SQRT1_2", Value::Number(1 / std::numbers::sqrt2), constant);
    vm.DefineValue(math, "SQRT2", Value::Number(std::numbers::sqrt2), constant);
    vm.DefineMethod(math, "abs", Unary<Abs>);
    vm.DefineMethod(math, "acos", Unary<Acos>);
    vm.DefineMethod(math, "asin", Unary<Asin>);
    vm.DefineMethod(math, "atan", Unary<Atan>);
    vm.DefineMethod(math, "atan2", Atan2);
    vm.DefineMethod(math, "ceil", Unary<Ceil>);
    vm.DefineMethod(math, "cos", Unary<Cos>);
    vm.DefineMethod(math, "exp", Unary<Exp>);
    vm.DefineMethod(math, "floor", Unary<Floor>);
    vm.DefineMethod(math, "log", Unary<Log>);
    vm.DefineMethod(math, "max", Max);
    vm.DefineMethod(math, "min", Min);
    vm.DefineMethod(math, "pow", Pow);
    vm.DefineMethod(math, "random", Random);
    vm.DefineMethod(math, "round", Unary<Round>);
    vm.DefineMethod(math, "sin", Unary<Sin>);
    vm.DefineMethod(math, "sqrt", Unary<Sqrt>);
    vm.DefineMethod(math, "tan", Unary<Tan>);
}

}  // namespace player::script
