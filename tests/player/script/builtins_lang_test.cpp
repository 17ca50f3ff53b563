// The language's built-in library called through the machine: Array's sort flags and splice's
// edges, String's methods by movie version, Math's argument reading, number text by radix,
// ASSetPropFlags, AsBroadcaster and Object.registerClass.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "player/script/builtins.h"
#include "player/script/vm.h"

namespace player::script {
namespace {

class NoHost final : public Host {
  public:
    void Trace(std::string_view line) override { lines.emplace_back(line); }
    void Problem(std::string line) override { problems.push_back(std::move(line)); }
    ClipHost* Level(int) override { return nullptr; }
    std::vector<std::string> lines, problems;
};

// A machine of one movie version with helpers to build values and call methods.
struct Machine {
    explicit Machine(int version, ScriptLimits limits = {})
        : vm(host, VmOptions{.swfVersion = version, .limits = limits}) {}

    Value S(const char* text) { return vm.Str(text); }
    static Value N(double n) { return Value::Number(n); }
    Value Array(std::vector<Value> items) { return Value::Obj(vm.NewArray(items)); }
    Value Numbers(std::vector<double> items) {
        std::vector<Value> values;
        for (double d : items) values.push_back(N(d));
        return Array(values);
    }
    Value Call(const Value& target, const char* method, std::vector<Value> args = {}) {
        return vm.CallMethod(target, method, args);
    }
    Value Global(const char* name, std::vector<Value> args = {}) {
        return vm.Call(vm.Get(vm.GetRealm().global, name), Value(), args);
    }
    std::string Text(const Value& v) { return vm.ToString(v); }

    NoHost host;
    Vm vm;
};

constexpr int kCaseInsensitive = 1, kDescending = 2, kUniqueSort = 4, kIndexed = 8,
                 kNumeric = 16;

TEST(ArraySort, FlagsOnText) {
    struct Case {
        const char* name;
        std::vector<const char*> items;
        int flags;
        const char* sorted;  // the array afterwards
    } cases[] = {
        {"default is by text", {"b", "10", "a", "9", "B"}, 0, "10,9,B,a,b"},
        {"descending", {"b", "10", "a", "9", "B"}, kDescending, "b,a,B,9,10"},
        {"case insensitive", {"b", "C", "a", "D"}, kCaseInsensitive, "a,b,C,D"},
        {"case insensitive descending", {"b", "A", "c"}, kCaseInsensitive | kDescending,
         "c,b,A"},
    };
    for (const Case& c : cases) {
        Machine m(8);
        std::vector<Value> items;
        for (const char* t : c.items) items.push_back(m.S(t));
        const Value array = m.Array(items);
        const Value result = m.Call(array, "sort", {Machine::N(c.flags)});
        EXPECT_EQ(m.Text(array), c.sorted) << c.name;
        EXPECT_TRUE(m.vm.StrictEquals(result, array)) << c.name;
    }
}

TEST(ArraySort, NumericUniqueAndIndexed) {
    Machine m(8);
    Value array = m.Numbers({10, 9, 100, -1});
    m.Call(array, "sort", {Machine::N(kNumeric)});
    EXPECT_EQ(m.Text(array), "-1,9,10,100");
    m.Call(array, "sort", {Machine::N(kNumeric | kDescending)});
    EXPECT_EQ(m.Text(array), "100,10,9,-1");

    // RETURNINDEXEDARRAY leaves the array as it was and answers the sorted positions.
    array = m.Numbers({30, 10, 20});
    const Value positions = m.Call(array, "sort", {Machine::N(kNumeric | kIndexed)});
    EXPECT_EQ(m.Text(positions), "1,2,0");
    EXPECT_EQ(m.Text(array), "30,10,20");

    // UNIQUESORT refuses with 0 and leaves the array alone when two are equal.
    array = m.Numbers({3, 1, 3});
    const Value refused = m.Call(array, "sort", {Machine::N(kUniqueSort | kNumeric)});
    ASSERT_TRUE(refused.IsNumber());
    EXPECT_EQ(refused.AsNumber(), 0);
    EXPECT_EQ(m.Text(array), "3,1,3");
    array = m.Numbers({3, 1, 2});
    EXPECT_TRUE(m.Call(array, "sort", {Machine::N(kUniqueSort | kNumeric)}).IsObject());
    EXPECT_EQ(m.Text(array), "1,2,3");
}

Value ByNumberDescending(Vm& vm, const Value&, std::span<const Value> args) {
    return Value::Number(vm.ToNumber(Arg(args, 1)) - vm.ToNumber(Arg(args, 0)));
}

// Answers by a fixed pattern whatever it is asked: a comparator that contradicts itself.
Value Inconsistent(Vm& vm, const Value&, std::span<const Value>) {
    return Value::Number(static_cast<double>(vm.RandomBelow(3)) - 1);
}

TEST(ArraySort, ComparatorsAndTheirFlags) {
    Machine m(8);
    const Value byDescending = Value::Obj(m.vm.NewNative(ByNumberDescending));
    Value array = m.Numbers({2, 30, 1});
    m.Call(array, "sort", {byDescending});
    EXPECT_EQ(m.Text(array), "30,2,1");
    m.Call(array, "sort", {byDescending, Machine::N(kDescending)});
    EXPECT_EQ(m.Text(array), "1,2,30");

    // Whatever a comparator answers, every element stays, once.
    std::vector<double> many;
    for (int i = 0; i < 200; ++i) many.push_back(i);
    array = m.Numbers(many);
    m.Call(array, "sort", {Value::Obj(m.vm.NewNative(Inconsistent))});
    m.Call(array, "sort", {Machine::N(kNumeric)});
    EXPECT_EQ(m.Text(array), m.Text(m.Numbers(many)));
}

Value LoggedComparison(Vm& vm, const Value&, std::span<const Value> args) {
    const double a = vm.ToNumber(Arg(args, 0)), b = vm.ToNumber(Arg(args, 1));
    vm.GetHost().Trace(vm.ToString(Arg(args, 0)) + ":" + vm.ToString(Arg(args, 1)));
    return Value::Number(a < b ? -1 : a > b ? 1 : 0);
}

// A comparator sees the pivot (the first element of each range) against the others, in the
// player's order.
TEST(ArraySort, ComparatorCallOrder) {
    struct Case {
        std::vector<double> items;
        const char* calls;
    } cases[] = {
        {{3, 1, 2}, "3:1 3:2 2:1 "},
        {{2, 3, 1, 5, 4}, "2:3 2:4 2:5 2:1 2:1 2:3 2:1 3:5 3:4 3:5 5:4 "},
        {{1, 2, 3, 4}, "1:2 1:4 1:3 1:2 2:3 2:4 2:3 3:4 "},
    };
    for (const Case& c : cases) {
        Machine m(8);
        const Value array = m.Numbers(c.items);
        m.Call(array, "sort", {Value::Obj(m.vm.NewNative(LoggedComparison))});
        std::string calls;
        for (const std::string& line : m.host.lines) calls += line + " ";
        EXPECT_EQ(calls, c.calls);
        EXPECT_EQ(m.Text(m.Call(array, "join", {m.S("")})).size(), c.items.size());
    }
}

TEST(ArraySortOn, FieldsAndPerFieldFlags) {
    Machine m(8);
    auto record = [&](const char* name, double age) {
        Object* o = m.vm.NewObject();
        m.vm.Set(o, "name", m.S(name));
        m.vm.Set(o, "age", Machine::N(age));
        return Value::Obj(o);
    };
    const Value array = m.Array({record("bo", 30), record("al", 4), record("Cy", 30),
                                 record("Dee", 100)});
    auto names = [&] {
        std::string out;
        for (int i = 0; i < 4; ++i)
            out += m.Text(m.vm.GetMember(m.vm.GetMember(array, std::to_string(i)), "name")) + " ";
        return out;
    };
    m.Call(array, "sortOn", {m.S("name")});
    EXPECT_EQ(names(), "Cy Dee al bo ");
    // Age descending as numbers, then name ascending for equal ages.
    m.Call(array, "sortOn", {m.Array({m.S("age"), m.S("name")}),
                             m.Numbers({kNumeric | kDescending, 0})});
    EXPECT_EQ(names(), "Dee Cy bo al ");
    // Ages as text: "100" < "30" < "4".
    const Value byText = m.Call(array, "sortOn", {m.S("age"), Machine::N(kIndexed)});
    EXPECT_EQ(m.Text(byText).substr(0, 2), "0,");
    EXPECT_EQ(m.Text(byText).substr(6), "3");
    const Value positions =
        m.Call(array, "sortOn", {m.S("name"), Machine::N(kCaseInsensitive | kIndexed)});
    EXPECT_EQ(m.Text(positions), "3,2,1,0");
    EXPECT_EQ(names(), "Dee Cy bo al ");
    EXPECT_EQ(m.Text(m.vm.Get(m.vm.GetRealm().arrayCtor, "NUMERIC")), "16");
    EXPECT_EQ(m.Text(m.vm.Get(m.vm.GetRealm().arrayCtor, "RETURNINDEXEDARRAY")), "8");
}

TEST(ArraySplice, Edges) {
    struct Case {
        const char* name;
        std::vector<Value> (*args)(Machine&);
        const char* after;
        const char* removed;  // "undefined" when splice answers nothing
    } cases[] = {
        {"no arguments", [](Machine&) { return std::vector<Value>{}; }, "a,b,c,d,e", "undefined"},
        {"undefined start", [](Machine&) { return std::vector<Value>{Value()}; }, "a,b,c,d,e",
         "undefined"},
        {"null start is 0", [](Machine&) { return std::vector<Value>{Value::Null()}; }, "",
         "a,b,c,d,e"},
        {"start past the end", [](Machine&) { return std::vector<Value>{Machine::N(6)}; },
         "a,b,c,d,e", ""},
        {"explicit undefined count",
         [](Machine&) { return std::vector<Value>{Machine::N(2), Value()}; }, "a,b,c,d,e",
         "undefined"},
        {"negative count", [](Machine&) { return std::vector<Value>{Machine::N(2), Machine::N(-2)}; },
         "a,b,c,d,e", "undefined"},
        {"count past the end",
         [](Machine&) { return std::vector<Value>{Machine::N(2), Machine::N(8)}; }, "a,b", "c,d,e"},
        {"replace",
         [](Machine& m) {
             return std::vector<Value>{Machine::N(1), Machine::N(2), m.S("x"), m.S("y"), m.S("z")};
         },
         "a,x,y,z,d,e", "b,c"},
        {"negative start from the end",
         [](Machine& m) { return std::vector<Value>{Machine::N(-9), Machine::N(0), m.S("w")}; },
         "w,a,b,c,d,e", ""},
    };
    for (const Case& c : cases) {
        Machine m(8);
        const Value array = m.Array({m.S("a"), m.S("b"), m.S("c"), m.S("d"), m.S("e")});
        const Value removed = m.Call(array, "splice", c.args(m));
        EXPECT_EQ(m.Text(array), c.after) << c.name;
        EXPECT_EQ(removed.IsUndefined() ? std::string("undefined") : m.Text(removed), c.removed)
            << c.name;
    }
}

TEST(ArrayUnshift, MovesElementsUpAndCountsTheResult) {
    Machine m(8);
    const Value array = m.Numbers({1, 2});
    const Value n = m.Call(array, "unshift", {m.S("x"), m.S("y")});
    EXPECT_EQ(m.Text(n), "4");
    EXPECT_EQ(m.Text(array), "x,y,1,2");
}

// unshift stores the moved and new elements afresh, except an element that may not be deleted:
// it keeps its place in for-in order, its flags and (when read-only) its value.
TEST(ArrayUnshift, ProtectedElementsKeepTheirPlaceAndFlags) {
    constexpr int kDontEnum = 1, kDontDelete = 2, kReadOnly = 4;
    struct Case {
        int flags;  // ASSetPropFlags on element 0 of [1, 2, 3] before unshift(42, 43, 44)
        const char* keys;   // for-in order afterwards
        const char* array;
    } cases[] = {
        {0, "2,1,0,3,4,5", "42,43,44,1,2,3"},
        {kDontEnum, "2,1,0,3,4,5", "42,43,44,1,2,3"},
        {kReadOnly, "2,1,0,3,4,5", "42,43,44,1,2,3"},
        {kDontDelete, "2,1,3,4,5,0", "42,43,44,1,2,3"},
        {kDontDelete | kDontEnum, "2,1,3,4,5", "42,43,44,1,2,3"},
        {kDontDelete | kReadOnly, "2,1,3,4,5,0", "1,43,44,1,2,3"},
    };
    for (const Case& c : cases) {
        Machine m(8);
        const Value array = m.Numbers({1, 2, 3});
        m.Global("ASSetPropFlags", {array, m.S("0"), Machine::N(c.flags), Machine::N(0)});
        const Value n = m.Call(array, "unshift", {Machine::N(42), Machine::N(43), Machine::N(44)});
        EXPECT_EQ(m.Text(n), "6") << c.flags;
        std::string keys;
        for (const Value& k : m.vm.EnumerableKeys(array.AsObject()))
            keys += (keys.empty() ? "" : ",") + m.Text(k);
        EXPECT_EQ(keys, c.keys) << c.flags;
        EXPECT_EQ(m.Text(array), c.array) << c.flags;
    }
}

// Growing an array past the cap stops the scripts instead of allocating.
TEST(ArrayCaps, GrowthPastTheCapStops) {
    using Grow = Value (*)(Machine&, const Value&);
    const Grow grows[] = {
        [](Machine& m, const Value& a) { return m.Call(a, "unshift", {a, a, a, a, a, a}); },
        [](Machine& m, const Value& a) {
            return m.Call(a, "splice", {Machine::N(0), Machine::N(0), a, a, a, a, a, a});
        },
        [](Machine& m, const Value& a) { return m.Call(a, "concat", {a, a}); },
    };
    for (Grow grow : grows) {
        ScriptLimits limits;
        limits.maxArrayLength = 10;
        Machine m(8, limits);
        const Value array = m.Numbers({1, 2, 3, 4, 5});
        grow(m, array);
        EXPECT_TRUE(m.vm.Stopped());
        EXPECT_FALSE(m.host.problems.empty());
    }
}

TEST(StringMethods, ByVersionAndArgument) {
    struct Case {
        int version;
        const char* text;
        const char* method;
        std::vector<Value> (*args)(Machine&);
        const char* want;
    } cases[] = {
        {8, "hello world", "substr", [](Machine&) { return std::vector<Value>{Machine::N(0), Machine::N(-1)}; }, "hello worl"},
        {8, "hello world", "substr", [](Machine&) { return std::vector<Value>{Machine::N(3), Machine::N(-4)}; }, "lo worl"},
        {8, "hello world", "substr", [](Machine&) { return std::vector<Value>{Machine::N(3), Machine::N(-3)}; }, ""},
        {8, "abcd", "substr", [](Machine&) { return std::vector<Value>{Machine::N(-5), Machine::N(-3)}; }, "a"},
        {8, "HELLOhello", "substr", [](Machine&) { return std::vector<Value>{Machine::N(4294967296.0), Machine::N(-4294967294.0)}; }, "HE"},
        {8, "HELLOhello", "substr", [](Machine&) { return std::vector<Value>{}; }, "undefined"},
        {8, "Hello1234", "slice", [](Machine&) { return std::vector<Value>{}; }, "undefined"},
        {8, "foo+foo", "charAt", [](Machine&) { return std::vector<Value>{Machine::N(4294967297.0)}; }, "o"},
        {5, "foo+foo", "charCodeAt", [](Machine&) { return std::vector<Value>{Machine::N(9)}; }, "0"},
        {8, "foo+foo", "charCodeAt", [](Machine&) { return std::vector<Value>{Machine::N(9)}; }, "NaN"},
        {8, "aaatestFOOtestaaanull", "indexOf", [](Machine& m) { return std::vector<Value>{m.S("test"), Machine::N(4294967300.0)}; }, "10"},
        {8, "abc", "indexOf", [](Machine& m) { return std::vector<Value>{m.S(""), Machine::N(100)}; }, "-1"},
        {8, "abc", "indexOf", [](Machine&) { return std::vector<Value>{}; }, "undefined"},
        {5, "a,b,c", "split", [](Machine&) { return std::vector<Value>{}; }, "a|b|c"},
        {8, "a,b,c", "split", [](Machine&) { return std::vector<Value>{}; }, "a,b,c"},
        {5, "a,b", "split", [](Machine& m) { return std::vector<Value>{m.S("")}; }, "a,b"},
        {8, "a,b", "split", [](Machine& m) { return std::vector<Value>{m.S("")}; }, "a|,|b"},
        {5, "a,b", "split", [](Machine& m) { return std::vector<Value>{m.S(","), Machine::N(-100)}; }, ""},
        {8, "a,b", "split", [](Machine& m) { return std::vector<Value>{m.S(","), Machine::N(-100)}; }, "a|b"},
    };
    for (const Case& c : cases) {
        Machine m(c.version);
        const Value result = m.Call(m.S(c.text), c.method, c.args(m));
        std::string got = result.IsUndefined() ? "undefined" : m.Text(result);
        if (std::string(c.method) == "split") got = m.Text(m.Call(result, "join", {m.S("|")}));
        EXPECT_EQ(got, c.want) << c.method << " on " << c.text << " in version " << c.version;
    }
}

TEST(StringMethods, FromCharCodeEndsAtZero) {
    Machine m(8);
    const Value s = m.vm.Get(m.vm.GetRealm().global, "String");
    EXPECT_EQ(m.Text(m.vm.CallMethod(s, "fromCharCode", std::vector<Value>{Machine::N(80), Machine::N(0), Machine::N(82)})), "P");
}

TEST(StringObject, LengthIsAnOwnReplaceableProperty) {
    Machine m(8);
    const Value box = m.vm.Construct(m.vm.Get(m.vm.GetRealm().global, "String"), std::vector<Value>{m.S("blah")});
    Object* o = box.AsObject();
    ASSERT_NE(o, nullptr);
    EXPECT_TRUE(m.vm.HasOwnProperty(o, "length"));
    EXPECT_EQ(m.Text(m.vm.Get(o, "length")), "4");
    m.vm.Set(o, "length", m.S("hmm"));
    m.vm.Delete(o, "length");
    EXPECT_EQ(m.Text(m.vm.Get(o, "length")), "hmm");
    EXPECT_TRUE(m.vm.EnumerableKeys(o).empty());
}

TEST(NumberText, ToStringByRadix) {
    struct Case {
        double n;
        double radix;
        const char* want;
    } cases[] = {{255, 16, "ff"}, {255, 2, "11111111"}, {-255, 16, "-ff"}, {35, 36, "z"}, {10, 10, "10"}};
    for (const Case& c : cases) {
        Machine m(8);
        EXPECT_EQ(m.Text(m.Call(Machine::N(c.n), "toString", {Machine::N(c.radix)})), c.want)
            << c.n << " in radix " << c.radix;
    }
}

Value Noisy(Vm& vm, const Value& self, std::span<const Value>) {
    vm.GetHost().Trace("valueOf " + vm.ToString(vm.GetMember(self, "v")));
    return vm.GetMember(self, "v");
}

TEST(MathFunctions, ReadTheFirstTwoArgumentsOnly) {
    Machine m(7);
    auto noisy = [&](double v) {
        Object* o = m.vm.NewObject();
        m.vm.Set(o, "v", Machine::N(v));
        m.vm.Set(o, "valueOf", Value::Obj(m.vm.NewNative(Noisy)));
        return Value::Obj(o);
    };
    const Value math = m.vm.Get(m.vm.GetRealm().global, "Math");
    EXPECT_EQ(m.Text(m.Call(math, "min", {noisy(3), noisy(2), noisy(1)})), "2");
    EXPECT_EQ(m.host.lines, (std::vector<std::string>{"valueOf 3", "valueOf 2"}));
    m.host.lines.clear();
    EXPECT_EQ(m.Text(m.Call(math, "abs", {noisy(-4), noisy(2), noisy(1)})), "4");
    EXPECT_EQ(m.host.lines, (std::vector<std::string>{"valueOf -4", "valueOf 2"}));
    EXPECT_EQ(m.Text(m.Call(math, "max", {Machine::N(1)})), "NaN");
    EXPECT_EQ(m.Text(m.Call(math, "max")), "-Infinity");
    EXPECT_EQ(m.Text(m.Call(math, "min")), "Infinity");
}

TEST(GlobalFunctions, NoArgumentsAreNotUndefined) {
    Machine m(7);
    EXPECT_EQ(m.Text(m.Global("isFinite")), "false");
    EXPECT_TRUE(m.Global("parseFloat").IsUndefined());
    EXPECT_TRUE(m.Global("Boolean").IsUndefined());
    EXPECT_EQ(m.Text(m.Global("isFinite", {m.S("12")})), "true");
    EXPECT_EQ(m.Text(m.Global("Function", {Machine::N(5)})), "5");
    const Value bare = m.Global("Function");
    ASSERT_TRUE(bare.IsObject());
    EXPECT_EQ(bare.AsObject()->Proto(), nullptr);
}

TEST(SetPropFlags, HidesAndProtects) {
    Machine m(6);
    Object* o = m.vm.NewObject();
    m.vm.Set(o, "a", Machine::N(1));
    m.vm.Set(o, "b", Machine::N(2));
    m.Global("ASSetPropFlags", {Value::Obj(o), m.S("a"), Machine::N(1), Machine::N(0)});
    const std::vector<Value> keys = m.vm.EnumerableKeys(o);
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(m.Text(keys[0]), "b");
    // Read-only and undeletable by a list of names.
    m.Global("ASSetPropFlags", {Value::Obj(o), m.Array({m.S("a"), m.S("b")}), Machine::N(6), Machine::N(0)});
    m.vm.Set(o, "b", Machine::N(5));
    EXPECT_FALSE(m.vm.Delete(o, "a"));
    EXPECT_EQ(m.Text(m.vm.Get(o, "b")), "2");
    // The version-6 bit hides a property from older movies only.
    m.Global("ASSetPropFlags", {Value::Obj(o), Value::Null(), Machine::N(128), Machine::N(7)});
    EXPECT_EQ(m.Text(m.vm.Get(o, "a")), "1");
    Machine old(5);
    Object* p = old.vm.NewObject();
    old.vm.Set(p, "a", Machine::N(1));
    old.Global("ASSetPropFlags", {Value::Obj(p), old.S("a"), Machine::N(128), Machine::N(0)});
    EXPECT_TRUE(old.vm.Get(p, "a").IsUndefined());
}

Value TraceSetter(Vm& vm, const Value&, std::span<const Value> args) {
    vm.GetHost().Trace("setter " + vm.ToString(Arg(args, 0)));
    return Value();
}

Value FixedGetter(Vm&, const Value&, std::span<const Value>) { return Value::Number(42); }

TEST(SetPropFlags, AccessorHiddenByVersionDoesNotTakeAssignments) {
    for (const int version : {6, 7}) {
        Machine m(version);
        Object* proto = m.vm.NewObject();
        Object* o = m.vm.NewObject();
        o->SetProto(proto);
        m.Call(Value::Obj(proto), "addProperty",
               {m.S("x"), Value::Obj(m.vm.NewNative(FixedGetter)),
                Value::Obj(m.vm.NewNative(TraceSetter))});
        // Bit 10: seen from version 7 on.
        m.Global("ASSetPropFlags", {Value::Obj(proto), m.S("x"), Machine::N(1024), Machine::N(0)});
        m.vm.Set(o, "x", Machine::N(5));
        if (version == 6) {
            EXPECT_TRUE(m.host.lines.empty());
            EXPECT_EQ(m.Text(m.vm.Get(o, "x")), "5");  // an own property of its own
        } else {
            EXPECT_EQ(m.host.lines, std::vector<std::string>{"setter 5"});
            EXPECT_EQ(m.Text(m.vm.Get(o, "x")), "42");
        }
    }
}

Value CountCalls(Vm& vm, const Value& self, std::span<const Value> args) {
    vm.GetHost().Trace("heard " + vm.ToString(Arg(args, 0)));
    (void)self;
    return Value();
}

TEST(AsBroadcaster, ListenersHearMessagesOnceEach) {
    Machine m(8);
    const Value broadcaster = m.vm.Get(m.vm.GetRealm().global, "AsBroadcaster");
    Object* source = m.vm.NewObject();
    m.Call(broadcaster, "initialize", {Value::Obj(source)});
    EXPECT_TRUE(m.vm.EnumerableKeys(source).empty());
    Object* listener = m.vm.NewObject();
    m.vm.Set(listener, "onPing", Value::Obj(m.vm.NewNative(CountCalls)));
    const Value s = Value::Obj(source);
    EXPECT_TRUE(m.Call(s, "broadcastMessage", {m.S("onPing")}).IsUndefined());
    EXPECT_EQ(m.Text(m.Call(s, "addListener", {Value::Obj(listener)})), "true");
    m.Call(s, "addListener", {Value::Obj(listener)});
    EXPECT_EQ(m.Text(m.vm.GetMember(m.vm.GetMember(s, "_listeners"), "length")), "1");
    EXPECT_EQ(m.Text(m.Call(s, "broadcastMessage", {m.S("onPing"), m.S("x")})), "true");
    EXPECT_EQ(m.host.lines, (std::vector<std::string>{"heard x"}));
    EXPECT_EQ(m.Text(m.Call(s, "removeListener", {Value::Obj(listener)})), "true");
    EXPECT_EQ(m.Text(m.Call(s, "removeListener", {Value::Obj(listener)})), "false");
    // The event sources share the broadcaster's methods.
    const Value key = m.vm.Get(m.vm.GetRealm().global, "Key");
    EXPECT_TRUE(m.vm.StrictEquals(m.vm.GetMember(key, "addListener"),
                                  m.vm.GetMember(broadcaster, "addListener")));
}

Value Nothing(Vm&, const Value&, std::span<const Value>) { return Value(); }

TEST(RegisterClass, AnswersAndRegistry) {
    Machine m(8);
    const Value object = m.vm.Get(m.vm.GetRealm().global, "Object");
    const Value ctor = Value::Obj(m.vm.NewNative(Nothing));
    EXPECT_EQ(m.Text(m.Call(object, "registerClass")), "false");
    EXPECT_EQ(m.Text(m.Call(object, "registerClass", {m.S("foo")})), "false");
    EXPECT_EQ(m.Text(m.Call(object, "registerClass", {m.S("foo"), Machine::N(12)})), "false");
    EXPECT_EQ(m.Text(m.Call(object, "registerClass", {m.S("foo"), Value::Obj(m.vm.NewObject())})), "false");
    EXPECT_EQ(RegisteredClass(m.vm, "foo", m.vm.Version()), nullptr);
    EXPECT_EQ(m.Text(m.Call(object, "registerClass", {m.S("foo"), ctor, m.S("extra")})), "true");
    EXPECT_EQ(RegisteredClass(m.vm, "foo", m.vm.Version()), ctor.AsObject());
    m.vm.CollectGarbage();
    EXPECT_EQ(RegisteredClass(m.vm, "foo", m.vm.Version()), ctor.AsObject());
    EXPECT_EQ(m.Text(m.Call(object, "registerClass", {m.S("foo"), Value::Null()})), "true");
    EXPECT_EQ(RegisteredClass(m.vm, "foo", m.vm.Version()), nullptr);
    EXPECT_EQ(m.Text(m.Call(object, "registerClass", {Value::Null(), Value::Null()})), "true");
}

}  // namespace
}  // namespace player::script

namespace player::script {
namespace {

// ASnative 103 is Date.prototype's methods in their filing order; ASSetNative stores a run of
// natives under names, an empty name skipping its number.
TEST(AsNative, DateMethodsAndSetNative) {
    Machine m(8);
    const Value date = m.vm.Construct(m.vm.Get(m.vm.GetRealm().global, "Date"),
                                      std::vector<Value>{Machine::N(1234)});
    ASSERT_TRUE(date.IsObject());
    const Value getTime = m.Global("ASnative", {Machine::N(103), Machine::N(16)});
    EXPECT_EQ(m.Text(m.vm.Call(getTime, date, {})), "1234");
    struct Case {
        const char* names;
        double first;
        const char* method;  // expected to answer getTime's 1234
    } cases[] = {
        {"a", 16, "a"},
        {",b", 15, "b"},
        {",,,,,,,,,,,,,,,,,c", -1, "c"},
    };
    for (const Case& c : cases) {
        m.Global("ASSetNative", {date, Machine::N(103), m.S(c.names), Machine::N(c.first)});
        EXPECT_EQ(m.Text(m.Call(date, c.method)), "1234") << c.names;
    }
    // A start whose valueOf throws stores nothing and lets the exception through.
    Object* noisy = m.vm.NewObject();
    m.vm.Set(noisy, "valueOf", Value::Obj(m.vm.NewNative([](Vm& vm, const Value&, std::span<const Value>) {
                 vm.Throw(vm.Str("boom"));
                 return Value();
             })));
    m.Global("ASSetNative", {date, Machine::N(103), m.S("d"), Value::Obj(noisy)});
    EXPECT_TRUE(m.vm.Throwing());
    EXPECT_TRUE(m.vm.Get(date.AsObject(), "d").IsUndefined());
}

// ASnative gives the global and Math functions filed under their numbers.
TEST(AsNative, NumberedFunctions) {
    Machine m(8);
    struct Case {
        double category, index;
        Value argument;
        const char* result;  // of calling it with the argument; null: not a function
    };
    const Case cases[] = {
        {100, 0, m.S("&"), "%26"},         // escape
        {100, 1, m.S("%26"), "&"},         // unescape
        {100, 2, m.S("12px"), "12"},       // parseInt
        {200, 0, Machine::N(-3), "3"},     // Math.abs
        {200, 9, Machine::N(16), "4"},     // Math.sqrt
        {200, 50, Machine::N(1), "NaN"},   // an unnumbered math function
        {4294967296.0 + 200, 12, Machine::N(2.5), "2"},  // categories wrap to 32 bits: floor
    };
    for (const Case& c : cases) {
        const Value f = m.Global("ASnative", {Machine::N(c.category), Machine::N(c.index)});
        ASSERT_TRUE(f.IsObject()) << c.category << "," << c.index;
        EXPECT_EQ(m.Text(m.vm.Call(f, Value(), std::vector<Value>{c.argument})), c.result);
    }
    EXPECT_TRUE(m.Global("ASnative", {Machine::N(100)}).IsUndefined());
    EXPECT_TRUE(m.Global("ASnative", {m.S("onehundred"), Machine::N(0)}).IsUndefined());
    // 100, 4 traces its argument.
    const Value trace = m.Global("ASnative", {Machine::N(100), Machine::N(4)});
    m.vm.Call(trace, Value(), std::vector<Value>{m.S("success")});
    ASSERT_EQ(m.host.lines.size(), 1u);
    EXPECT_EQ(m.host.lines[0], "success");
}

}  // namespace
}  // namespace player::script
