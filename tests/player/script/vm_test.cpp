// The script machine run on programs written with the assembler: conversions and equality by
// movie version, number text, scopes and closures, with, exceptions, prototypes and super,
// DefineFunction2 registers, and the bounds that keep hostile movies from crashing or hanging.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <functional>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include "player/script/host.h"
#include "player/script/vm.h"
#include "tests/support/avm1_asm.h"

namespace player::script {
namespace {

using swfw::Asm;
using Ops = swfw::Op;

class TestHost final : public Host {
  public:
    void Trace(std::string_view line) override { lines.emplace_back(line); }
    void Problem(std::string line) override { problems.push_back(std::move(line)); }
    ClipHost* Level(int) override { return nullptr; }

    std::vector<std::string> lines;
    std::vector<std::string> problems;
};

// A machine whose timeline is the global object (no clips); blocks stay alive for as long as
// the machine, as a movie's do.
class Machine {
  public:
    explicit Machine(int version = 8, ScriptLimits limits = {})
        : vm(host, VmOptions{.swfVersion = version, .limits = limits}) {}

    // The block's bytes, kept for the machine's life (programs are cached by address).
    std::span<const std::uint8_t> Keep(const Asm& a) {
        blocks_.push_back(a.Bytes());
        return blocks_.back();
    }
    void Run(std::span<const std::uint8_t> block) { vm.RunBlock(block, vm.GetRealm().global); }
    void Run(const Asm& a) { Run(Keep(a)); }
    std::vector<std::string> Lines(const Asm& a) {
        host.lines.clear();
        Run(a);
        return host.lines;
    }

    TestHost host;
    Vm vm;

  private:
    std::deque<swfw::Buffer> blocks_;
};

using Strings = std::vector<std::string>;

// ---- Conversions and equality ------------------------------------------------------------

struct OpCase {
    int version;
    std::function<void(Asm&)> code;  // leaves one value on the stack
    std::string traced;
};

TEST(VmValues, OperatorsByVersion) {
    const swfw::Undefined undef;
    const swfw::Null null;
    const std::vector<OpCase> cases = {
        // undefined is "" and 0 before version 7, "undefined" and NaN from it.
        {6, [&](Asm& a) { a.PushItems({"x", undef}).Op(Ops::kAdd2); }, "x"},
        {7, [&](Asm& a) { a.PushItems({"x", undef}).Op(Ops::kAdd2); }, "xundefined"},
        {6, [&](Asm& a) { a.PushItems({undef, 1}).Op(Ops::kSubtract); }, "-1"},
        {7, [&](Asm& a) { a.PushItems({undef, 1}).Op(Ops::kSubtract); }, "NaN"},
        // Strings are numbers to ToBoolean before version 7.
        {6, [&](Asm& a) { a.Push("abc").Op(Ops::kNot); }, "true"},
        {7, [&](Asm& a) { a.Push("abc").Op(Ops::kNot); }, "false"},
        {6, [&](Asm& a) { a.Push("1").Op(Ops::kNot); }, "false"},
        // Version 4 logic gives numbers, and a division by zero an error text.
        {4, [&](Asm& a) { a.Push(2, 2).Op(Ops::kEquals); }, "1"},
        {4, [&](Asm& a) { a.Push(1, 2).Op(Ops::kLess); }, "1"},
        {4, [&](Asm& a) { a.Push(3, 0).Op(Ops::kDivide); }, "#ERROR#"},
        {5, [&](Asm& a) { a.Push(3, 0).Op(Ops::kDivide); }, "Infinity"},
        // Loose equality.
        {8, [&](Asm& a) { a.PushItems({null, undef}).Op(Ops::kEquals2); }, "true"},
        {8, [&](Asm& a) { a.PushItems({null, 0}).Op(Ops::kEquals2); }, "false"},
        {8, [&](Asm& a) { a.Push("1", true).Op(Ops::kEquals2); }, "true"},
        {8, [&](Asm& a) { a.Push("NaN").GetVariable("NaN").Op(Ops::kEquals2); }, "false"},
        // NaN equals itself in both equalities.
        {8, [&](Asm& a) { a.GetVariable("NaN").GetVariable("NaN").Op(Ops::kEquals2); }, "true"},
        {8, [&](Asm& a) { a.GetVariable("NaN").GetVariable("NaN").Op(Ops::kStrictEquals); },
         "true"},
        {8, [&](Asm& a) { a.Push(1, "1").Op(Ops::kStrictEquals); }, "false"},
        // Ordering: NaN gives undefined, strings compare by code unit.
        {8, [&](Asm& a) { a.GetVariable("NaN").Push(1).Op(Ops::kLess2); }, "undefined"},
        {8, [&](Asm& a) { a.Push(1).GetVariable("NaN").Op(Ops::kGreater); }, "undefined"},
        {8, [&](Asm& a) { a.Push("B", "a").Op(Ops::kLess2); }, "true"},
        {8, [&](Asm& a) { a.Push("10", 9).Op(Ops::kGreater); }, "true"},
        {8, [&](Asm& a) { a.Push("10", "9").Op(Ops::kLess2); }, "true"},
        // Add2 concatenates when either side is a string.
        {8, [&](Asm& a) { a.Push(1, "2").Op(Ops::kAdd2); }, "12"},
        {8, [&](Asm& a) { a.Push(1, true).Op(Ops::kAdd2); }, "2"},
        {8, [&](Asm& a) { a.PushItems({null, "x"}).Op(Ops::kAdd2); }, "nullx"},
        // Legacy Add is always numeric.
        {5, [&](Asm& a) { a.Push("3", "4").Op(Ops::kAdd); }, "7"},
        // Version 4 booleans print as numbers but stay booleans.
        {4, [&](Asm& a) { a.Push(1, 1).Op(Ops::kEquals).Op(Ops::kTypeOf); }, "boolean"},
        {4, [&](Asm& a) { a.Push(true); }, "1"},
        // typeof.
        {8, [&](Asm& a) { a.PushItems({null}).Op(Ops::kTypeOf); }, "null"},
        {8, [&](Asm& a) { a.Push(0).Op(Ops::kInitObject).Op(Ops::kTypeOf); }, "object"},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        Machine m(cases[i].version);
        Asm code;
        cases[i].code(code);
        code.Trace();
        EXPECT_EQ(m.Lines(code), Strings{cases[i].traced}) << "case " << i;
        EXPECT_TRUE(m.host.problems.empty()) << "case " << i;
    }
}

// An object with valueOf and toString that trace when called.
void DefineNoisy(Asm& a, const std::string& name, const swfw::PushItem& value) {
    a.Push(name, "valueOf")
        .DefineFunction("", {}, [&](Asm& f) {
            f.PushTraceString(name + ".valueOf").PushItems({value}).Op(Ops::kReturn);
        })
        .Push("toString")
        .DefineFunction("", {}, [&](Asm& f) {
            f.PushTraceString(name + ".toString").Push("str").Op(Ops::kReturn);
        })
        .Push(2)
        .Op(Ops::kInitObject)
        .Op(Ops::kSetVariable);
}

TEST(VmValues, ObjectsAnswerThroughValueOfRightOperandFirst) {
    Machine m;
    Asm a;
    DefineNoisy(a, "p", 1);
    DefineNoisy(a, "q", "q");
    a.GetVariable("p").GetVariable("q").Op(Ops::kAdd2).Trace();      // both valueOf, q first
    a.GetVariable("p").Push(2).Op(Ops::kLess2).Trace();              // valueOf for ordering
    a.GetVariable("p").Push(1).Op(Ops::kEquals2).Trace();            // and for equality
    a.GetVariable("p").Op(Ops::kToString).Trace();                   // toString for text
    EXPECT_EQ(m.Lines(a), (Strings{"q.valueOf", "p.valueOf", "1q", "p.valueOf", "true",
                                   "p.valueOf", "true", "p.toString", "str"}));
}

TEST(VmValues, BareObjectsHaveNoPrimitive) {
    Machine m(6);
    Asm a;
    // o = {}; o.__proto__ = undefined: no valueOf or toString left.
    a.SetVariable("o", [](Asm& v) { v.Push(0).Op(Ops::kInitObject); })
        .GetVariable("o")
        .PushItems({"__proto__", swfw::Undefined{}})
        .Op(Ops::kSetMember);
    a.GetVariable("o").PushItems({swfw::Undefined{}}).Op(Ops::kEquals2).Trace();
    a.GetVariable("o").Op(Ops::kToString).Trace();
    a.GetVariable("_global").PushItems({swfw::Null{}}).Op(Ops::kEquals2).Trace();
    EXPECT_EQ(m.Lines(a), (Strings{"true", "[type Object]", "true"}));
}

TEST(VmValues, NumbersPrintAsTheMovieExpects) {
    const std::vector<std::pair<double, std::string>> cases = {
        {0.0, "0"},           {-0.0, "0"},          {255, "255"},
        {0.5, "0.5"},         {-2.25, "-2.25"},     {1.0 / 3, "0.333333333333333"},
        {1e21, "1e+21"},      {NAN, "NaN"},         {-INFINITY, "-Infinity"},
        {INFINITY, "Infinity"}, {0.1 + 0.2, "0.3"}, {123456789, "123456789"},
    };
    Machine m;
    Asm a;
    Strings expected;
    for (const auto& [number, text] : cases) {
        a.Push(number).Trace();
        expected.push_back(text);
    }
    EXPECT_EQ(m.Lines(a), expected);
}

// ---- Scopes, closures and with -----------------------------------------------------------

TEST(VmScopes, ClosuresKeepTheirOwnActivation) {
    Machine m;
    Asm a;
    // function make() { var n = 0; return function() { n = n + 1; return n; }; }
    a.DefineFunction("make", {}, [](Asm& f) {
        f.Push("n", 0).Op(Ops::kDefineLocal);
        f.DefineFunction("", {}, [](Asm& g) {
            g.SetVariable("n", [](Asm& v) { v.GetVariable("n").Push(1).Op(Ops::kAdd2); });
            g.GetVariable("n").Op(Ops::kReturn);
        });
        f.Op(Ops::kReturn);
    });
    a.SetVariable("f", [](Asm& v) { v.Push(0, "make").Op(Ops::kCallFunction); });
    a.SetVariable("g", [](Asm& v) { v.Push(0, "make").Op(Ops::kCallFunction); });
    a.Push(0, "f").Op(Ops::kCallFunction).Trace();
    a.Push(0, "f").Op(Ops::kCallFunction).Trace();
    a.Push(0, "g").Op(Ops::kCallFunction).Trace();
    a.GetVariable("n").Trace();  // never leaked to the timeline
    EXPECT_EQ(m.Lines(a), (Strings{"1", "2", "1", "undefined"}));
}

TEST(VmScopes, LocalsShadowAndAssignmentsClimbTheChain) {
    Machine m;
    Asm a;
    a.SetVariable("x", "outer");
    a.DefineFunction("f", {"p"}, [](Asm& f) {
        f.Push("x", "local").Op(Ops::kDefineLocal);
        f.GetVariable("x").Trace();
        f.SetVariable("y", "set in f");  // no local y: lands on the timeline
        f.GetVariable("p").Trace();
    });
    a.Push("arg", 1, "f").Op(Ops::kCallFunction).Op(Ops::kPop);
    a.GetVariable("x").Trace();
    a.GetVariable("y").Trace();
    EXPECT_EQ(m.Lines(a), (Strings{"local", "arg", "outer", "set in f"}));
}

TEST(VmScopes, PlainCallsRunOnWhereTheFunctionWasFound) {
    Machine m;
    Asm a;
    // function outer() { var x = "local"; var g = function() { return this.x; }; return g(); }
    a.DefineFunction("outer", {}, [](Asm& f) {
        f.Push("x", "local").Op(Ops::kDefineLocal);
        f.Push("g");
        f.DefineFunction("", {}, [](Asm& g) {
            g.GetVariable("this").Push("x").Op(Ops::kGetMember).Op(Ops::kReturn);
        });
        f.Op(Ops::kDefineLocal);
        f.Push(0, "g").Op(Ops::kCallFunction).Op(Ops::kReturn);
    });
    a.SetVariable("x", "timeline");
    a.Push(0, "outer").Op(Ops::kCallFunction).Trace();
    a.DefineFunction("top", {}, [](Asm& f) {
        f.GetVariable("this").Push("x").Op(Ops::kGetMember).Op(Ops::kReturn);
    });
    a.Push(0, "top").Op(Ops::kCallFunction).Trace();
    EXPECT_EQ(m.Lines(a), (Strings{"local", "timeline"}));
}

TEST(VmScopes, WithLooksUpInItsObjectFirst) {
    Machine m;
    Asm a;
    a.SetVariable("o", [](Asm& v) { v.Push("x", 1, 1).Op(Ops::kInitObject); });
    a.GetVariable("o").With([](Asm& w) {
        w.GetVariable("x").Trace();
        w.SetVariable("x", 2);            // o has x: o.x changes
        w.SetVariable("z", 3);            // o has no z: the timeline gets it
        w.Push("x", 4).Op(Ops::kDefineLocal);  // DefineLocal of o's own name goes to o
    });
    a.GetVariable("o").Push("x").Op(Ops::kGetMember).Trace();
    a.GetVariable("z").Trace();
    a.GetVariable("o").Push("z").Op(Ops::kGetMember).Trace();
    a.GetVariable("x").Trace();
    EXPECT_EQ(m.Lines(a), (Strings{"1", "4", "3", "undefined", "undefined"}));
}

TEST(VmScopes, ThisCanBeReplacedAndNamesFoldCaseBeforeVersion7) {
    Machine m6(6);
    Asm a;
    a.SetVariable("Name", "v");
    a.GetVariable("NAME").Trace();
    a.SetVariable("this", "replaced");
    a.GetVariable("this").Trace();
    EXPECT_EQ(m6.Lines(a), (Strings{"v", "replaced"}));

    // Version 6 folds letters beyond ASCII too (Ä and ä, Ǳ and ǳ), version 5 only ASCII.
    Machine m6u(6);
    Asm u;
    u.SetVariable("\xC3\x84x\xC7\xB1", "folded");
    u.GetVariable("\xC3\xA4X\xC7\xB3").Trace();
    EXPECT_EQ(m6u.Lines(u), (Strings{"folded"}));
    Machine m5(5);
    EXPECT_EQ(m5.Lines(u), (Strings{"undefined"}));

    Machine m7(7);
    Asm b;
    b.SetVariable("Name", "v");
    b.GetVariable("NAME").Trace();
    EXPECT_EQ(m7.Lines(b), (Strings{"undefined"}));
}

// ---- Exceptions --------------------------------------------------------------------------

TEST(VmExceptions, CatchAndFinallyRunInOrder) {
    Machine m;
    Asm a;
    a.DefineFunction("thrower", {}, [](Asm& f) {
        f.PushTraceString("throwing").Push("boom").Op(Ops::kThrow).PushTraceString("not here");
    });
    a.Try(
        [](Asm& t) {
            t.PushTraceString("try");
            t.Push(0, "thrower").Op(Ops::kCallFunction).Op(Ops::kPop);
            t.PushTraceString("not reached");
        },
        std::string("e"),
        [](Asm& c) { c.Push("caught ").GetVariable("e").Op(Ops::kAdd2).Trace(); },
        [](Asm& f) { f.PushTraceString("finally"); });
    a.PushTraceString("after");
    EXPECT_EQ(m.Lines(a), (Strings{"try", "throwing", "caught boom", "finally", "after"}));
}

TEST(VmExceptions, FinallyRunsOnReturnAndRethrow) {
    Machine m;
    Asm a;
    // function f() { try { return "r"; } finally { trace("fin"); } }
    a.DefineFunction("f", {}, [](Asm& f) {
        f.Try([](Asm& t) { t.Push("r").Op(Ops::kReturn); }, std::string("e"), nullptr,
              [](Asm& fin) { fin.PushTraceString("fin"); });
    });
    a.Push(0, "f").Op(Ops::kCallFunction).Trace();
    // A throw inside catch still runs finally and leaves to the outer handler.
    a.Try(
        [](Asm& outer) {
            outer.Try([](Asm& t) { t.Push("one").Op(Ops::kThrow); }, swfw::Reg{0},
                      [](Asm& c) { c.Push("two").Op(Ops::kThrow); },
                      [](Asm& fin) { fin.PushTraceString("inner finally"); });
        },
        swfw::Reg{1}, [](Asm& c) { c.Push(swfw::Reg{1}).Trace(); });
    EXPECT_EQ(m.Lines(a), (Strings{"fin", "r", "inner finally", "two"}));
}

TEST(VmExceptions, UncaughtEndsTheBlockOnlyAndIsReported) {
    Machine m;
    Asm a;
    a.PushTraceString("before").Push("Oh no!").Op(Ops::kThrow).PushTraceString("skipped");
    Asm b;
    b.PushTraceString("next block");
    m.Run(a);
    m.Run(b);
    EXPECT_EQ(m.host.lines,
              (Strings{"before", "Warning: Uncaught exception, Oh no!", "next block"}));
}

// ---- Prototypes, constructors and super --------------------------------------------------

TEST(VmObjects, ExtendsAndSuperReachTheParentClass) {
    Machine m;
    Asm a;
    // function A() { this.made = "A"; }  A.prototype.who = function() { return "A"; }
    a.DefineFunction("A", {}, [](Asm& f) {
        f.GetVariable("this").Push("made", "by A").Op(Ops::kSetMember);
    });
    a.GetVariable("A").Push("prototype").Op(Ops::kGetMember).Push("who");
    a.DefineFunction("", {}, [](Asm& f) { f.Push("A").Op(Ops::kReturn); });
    a.Op(Ops::kSetMember);
    // function B() { super(); }  B extends A
    a.DefineFunction("B", {}, [](Asm& f) {
        f.Push(0, "super").Op(Ops::kCallFunction).Op(Ops::kPop);
    });
    a.GetVariable("B").GetVariable("A").Op(Ops::kExtends);
    // B.prototype.who = function() { return "B" + super.who(); }
    a.GetVariable("B").Push("prototype").Op(Ops::kGetMember).Push("who");
    a.DefineFunction("", {}, [](Asm& f) {
        f.Push("B", 0).GetVariable("super").Push("who").Op(Ops::kCallMethod);
        f.Op(Ops::kAdd2).Op(Ops::kReturn);
    });
    a.Op(Ops::kSetMember);
    a.SetVariable("b", [](Asm& v) { v.Push(0, "B").Op(Ops::kNewObject); });
    a.Push(0).GetVariable("b").Push("who").Op(Ops::kCallMethod).Trace();
    a.GetVariable("b").Push("made").Op(Ops::kGetMember).Trace();
    a.GetVariable("b").GetVariable("A").Op(Ops::kInstanceOf).Trace();
    a.GetVariable("b").Push("constructor").Op(Ops::kGetMember).GetVariable("B");
    a.Op(Ops::kStrictEquals).Trace();
    EXPECT_EQ(m.Lines(a), (Strings{"BA", "by A", "true", "true"}));
}

TEST(VmObjects, ProtoTakesPrimitivesAndArgumentsKnowTheirCaller) {
    Machine m;
    Asm a;
    a.SetVariable("o", [](Asm& v) { v.Push(0).Op(Ops::kInitObject); });
    a.GetVariable("o").Push("__proto__", 5).Op(Ops::kSetMember);
    a.GetVariable("o").Push("__proto__").Op(Ops::kGetMember).Op(Ops::kTypeOf).Trace();
    a.DefineFunction("inner", {}, [](Asm& f) {
        f.GetVariable("arguments").Push("caller").Op(Ops::kGetMember);
        f.GetVariable("outer").Op(Ops::kStrictEquals).Trace();
    });
    a.DefineFunction("outer", {}, [](Asm& f) {
        f.Push(0, "inner").Op(Ops::kCallFunction).Op(Ops::kPop);
    });
    a.Push(0, "outer").Op(Ops::kCallFunction).Op(Ops::kPop);
    // From a frame's block the caller is null.
    a.DefineFunction("top", {}, [](Asm& f) {
        f.GetVariable("arguments").Push("caller").Op(Ops::kGetMember).Op(Ops::kTypeOf).Trace();
    });
    a.Push(0, "top").Op(Ops::kCallFunction).Op(Ops::kPop);
    EXPECT_EQ(m.Lines(a), (Strings{"number", "true", "null"}));
}

TEST(VmObjects, ResolveAnswersMissingMembersAndPathsNameObjects) {
    Machine m;
    Asm a;
    a.SetVariable("o", [](Asm& v) { v.Push("x", 1, 1).Op(Ops::kInitObject); });
    a.GetVariable("o").Push("__resolve");
    a.DefineFunction("", {"n"}, [](Asm& f) {
        f.Push("asked ").GetVariable("n").Op(Ops::kAdd2).Op(Ops::kReturn);
    });
    a.Op(Ops::kSetMember);
    a.GetVariable("o").Push("missing").Op(Ops::kGetMember).Trace();
    a.GetVariable("o").Push("x").Op(Ops::kGetMember).Trace();
    // Delete2 and DefineLocal through a dotted path act on the object it names.
    a.Push("o.x").Op(Ops::kDelete2).Trace();
    a.Push("o.y", "defined").Op(Ops::kDefineLocal);
    a.GetVariable("o.y").Trace();
    a.SetVariable("s", "text");
    a.Push("s.length").Op(Ops::kDelete2).Trace();  // a primitive has nothing to delete
    EXPECT_EQ(m.Lines(a),
              (Strings{"asked missing", "1", "true", "defined",
                       "Parameters of primitive types are no longer coerced into the required "
                       "type - Object.",
                       "false"}));
}

TEST(VmObjects, VersionFlagsHidePropertiesFromOlderMovies) {
    struct Case {
        int bit;
        int firstVersionThatSees;
    };
    const std::vector<Case> cases = {{7, 6}, {8, 7}, {10, 7}, {12, 8}, {13, 9}, {14, 10}};
    for (const Case& c : cases) {
        for (int version = 5; version <= 10; ++version) {
            Machine m(version);
            Asm a;
            a.SetVariable("o", [](Asm& v) { v.Push("p", "seen", 1).Op(Ops::kInitObject); });
            a.Push(1 << c.bit, "p").GetVariable("o").Push(3, "ASSetPropFlags");
            a.Op(Ops::kCallFunction).Op(Ops::kPop);
            a.GetVariable("o").Push("p").Op(Ops::kGetMember).Trace();
            const std::string expected = version >= c.firstVersionThatSees ? "seen" : "undefined";
            EXPECT_EQ(m.Lines(a), Strings{expected}) << "bit " << c.bit << " version " << version;
        }
    }
}

TEST(VmObjects, AStringObjectsLengthCanBeReplaced) {
    Machine m;
    Asm a;
    a.SetVariable("s", [](Asm& v) { v.Push("abcd", 1, "String").Op(Ops::kNewObject); });
    a.GetVariable("s").Push("length").Op(Ops::kGetMember).Trace();
    a.GetVariable("s").Push("length", "set").Op(Ops::kSetMember);
    a.GetVariable("s").Push("length").Op(Ops::kDelete).Trace();
    a.GetVariable("s").Push("length").Op(Ops::kGetMember).Trace();
    EXPECT_EQ(m.Lines(a), (Strings{"4", "false", "set"}));
}

TEST(VmObjects, ArrayLengthsFollowElementsAsSigned32BitNumbers) {
    // Each row: the element set (after the ones above it), then the length.
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"3", "4"},
        {"-5", "4"},                                   // negative: no element
        {"2147483648", "4"},                           // wraps to -2^31: below the length
        {"2147483647", "-2147483648"},                 // one past it wraps the length
        {"4294967295", "0"},                           // -1 + 1
        {"302231454903657293676544", "1"},             // 2^78 wraps to 0
    };
    Machine m;
    Asm a;
    a.SetVariable("a", [](Asm& v) { v.Push(0).Op(Ops::kInitArray); });
    Strings expected;
    for (const auto& [index, length] : rows) {
        a.GetVariable("a").Push(index, "x").Op(Ops::kSetMember);
        a.GetVariable("a").Push("length").Op(Ops::kGetMember).Trace();
        expected.push_back(length);
    }
    // Elements below a length that wrapped went with it.
    a.GetVariable("a").Push("3").Op(Ops::kGetMember).Trace();
    expected.push_back("undefined");
    EXPECT_EQ(m.Lines(a), expected);
}

TEST(VmObjects, WatchersNestFromVersion7Only) {
    for (const auto& [version, calls] : {std::pair{6, "1"}, std::pair{7, "65"}}) {
        Machine m(version);
        Asm a;
        a.SetVariable("count", swfw::PushItem(0));
        a.SetVariable("o", [](Asm& v) { v.Push("p", "a", 1).Op(Ops::kInitObject); });
        // o.watch("p", function(name, old, value) { count++; o.p = "again"; return value; })
        a.DefineFunction("", {"name", "old", "value"}, [](Asm& f) {
            f.SetVariable("count", [](Asm& v) { v.GetVariable("count").Op(Ops::kIncrement); });
            f.GetVariable("o").Push("p", "again").Op(Ops::kSetMember);
            f.GetVariable("value").Op(Ops::kReturn);
        });
        a.Push("p", 2).GetVariable("o").Push("watch").Op(Ops::kCallMethod).Op(Ops::kPop);
        a.GetVariable("o").Push("p", "b").Op(Ops::kSetMember);
        a.GetVariable("count").Trace();
        a.GetVariable("o").Push("p").Op(Ops::kGetMember).Trace();
        EXPECT_EQ(m.Lines(a), (Strings{calls, "b"})) << "version " << version;
        EXPECT_FALSE(m.vm.Stopped());
    }
}

// A watched getter and setter pair: while the watcher runs that a nested assignment would not
// call again (always before version 7), the property is a plain value, undefined at first; the
// setter then takes what the watcher returned.
TEST(VmObjects, WatcherOnAGetterSetsItAsideWhenNoNestedCallFollows) {
    struct Case {
        int version;
        bool assignsInside;  // the watcher assigns the property itself
        Strings traced;
    } cases[] = {
        {6, true, {"in ", "then c", "set d", "get", "after g"}},
        {7, false, {"get", "in g", "set d", "get", "after g"}},
    };
    for (const Case& c : cases) {
        Machine m(c.version);
        Asm a;
        a.SetVariable("o", [](Asm& v) { v.Push(0).Op(Ops::kInitObject); });
        // o.addProperty("p", function() { trace("get"); return "g"; },
        //                    function(v) { trace("set " + v); })
        a.DefineFunction("", {"v"}, [](Asm& f) {
            f.Push("set ").GetVariable("v").Op(Ops::kAdd2).Trace();
        });
        a.DefineFunction("", {}, [](Asm& f) { f.PushTraceString("get").Push("g").Op(Ops::kReturn); });
        a.Push("p", 3).GetVariable("o").Push("addProperty").Op(Ops::kCallMethod).Op(Ops::kPop);
        // o.watch("p", function() { trace("in " + o.p); [o.p = "c"; trace("then " + o.p);]
        //                           return "d"; })
        a.DefineFunction("", {}, [&](Asm& f) {
            f.Push("in ").GetVariable("o").Push("p").Op(Ops::kGetMember).Op(Ops::kAdd2).Trace();
            if (c.assignsInside) {
                f.GetVariable("o").Push("p", "c").Op(Ops::kSetMember);
                f.Push("then ").GetVariable("o").Push("p").Op(Ops::kGetMember).Op(Ops::kAdd2).Trace();
            }
            f.Push("d").Op(Ops::kReturn);
        });
        a.Push("p", 2).GetVariable("o").Push("watch").Op(Ops::kCallMethod).Op(Ops::kPop);
        a.GetVariable("o").Push("p", "b").Op(Ops::kSetMember);
        a.Push("after ").GetVariable("o").Push("p").Op(Ops::kGetMember).Op(Ops::kAdd2).Trace();
        EXPECT_EQ(m.Lines(a), c.traced) << "version " << c.version;
    }
}

// Two properties whose setters assign each other and whose getters read each other: the
// chain stops at 130 nested calls without stopping the scripts, and a getter nested too deep
// reads the value the outermost assignment left.
TEST(VmObjects, GettersAndSettersNestTo130AndThenFallBackToTheAssignedValue) {
    Machine m(7);
    Asm a;
    a.SetVariable("calls", swfw::PushItem(0));
    a.SetVariable("o", [](Asm& v) { v.Push(0).Op(Ops::kInitObject); });
    for (const auto& [self, other, value] : {std::tuple{"p", "q", "from p"},
                                             std::tuple{"q", "p", "from q"}}) {
        // o.addProperty(self, function() { calls++; return o[other]; },
        //                     function() { calls++; o[other] = value; })
        a.DefineFunction("", {}, [&](Asm& f) {
            f.SetVariable("calls", [](Asm& v) { v.GetVariable("calls").Op(Ops::kIncrement); });
            f.GetVariable("o").Push(other, value).Op(Ops::kSetMember);
        });
        a.DefineFunction("", {}, [&](Asm& f) {
            f.SetVariable("calls", [](Asm& v) { v.GetVariable("calls").Op(Ops::kIncrement); });
            f.GetVariable("o").Push(other).Op(Ops::kGetMember).Op(Ops::kReturn);
        });
        a.Push(self, 3).GetVariable("o").Push("addProperty").Op(Ops::kCallMethod).Op(Ops::kPop);
    }
    a.GetVariable("o").Push("p", "outer").Op(Ops::kSetMember);
    a.GetVariable("calls").Trace();
    a.SetVariable("calls", swfw::PushItem(0));
    a.GetVariable("o").Push("p").Op(Ops::kGetMember).Trace();
    a.GetVariable("calls").Trace();
    EXPECT_EQ(m.Lines(a), (Strings{"130", "outer", "130"}));
    EXPECT_FALSE(m.vm.Stopped());
}

// ImplementsOp keeps the interfaces' prototypes as they were; instanceof finds them on the
// instance's prototypes and through interfaces the interfaces implement, reading each
// constructor's own stored prototype without running a getter.
TEST(VmObjects, InterfacesAreTheirPrototypesFixedByTheFirstImplements) {
    struct Case {
        const char* name;
        std::function<void(Asm&)> setUp;  // after C, A, B and Nested exist and obj = new C
        const char* constructor;
        const char* traced;
    };
    // implements(C, interfaces...): pushes the interfaces, their count and the class.
    const auto implements = [](Asm& a, const std::string& cls,
                               const std::vector<std::string>& interfaces) {
        for (auto it = interfaces.rbegin(); it != interfaces.rend(); ++it) a.GetVariable(*it);
        a.Push(static_cast<int>(interfaces.size())).GetVariable(cls).Op(Ops::kImplementsOp);
    };
    const Case cases[] = {
        {"direct", [&](Asm& a) { implements(a, "C", {"A"}); }, "A", "true"},
        {"not implemented", [&](Asm&) {}, "A", "false"},
        {"a second list is ignored",
         [&](Asm& a) {
             implements(a, "C", {"A"});
             implements(a, "C", {"B"});
         },
         "B", "false"},
        {"an empty first list stays",
         [&](Asm& a) {
             a.Push(0).GetVariable("C").Op(Ops::kImplementsOp);  // nothing: no list
             implements(a, "C", {"nothing"});                      // undefined: an empty list
             implements(a, "C", {"A"});
         },
         "A", "false"},
        {"through an interface's interfaces",
         [&](Asm& a) {
             implements(a, "C", {"A"});
             implements(a, "A", {"Nested"});
         },
         "Nested", "true"},
        {"the prototype as it was",
         [&](Asm& a) {
             implements(a, "C", {"A"});
             a.GetVariable("A").Push("prototype", 0).Op(Ops::kInitObject).Op(Ops::kSetMember);
         },
         "A", "false"},
        {"an object sharing the prototype",
         [&](Asm& a) {
             implements(a, "C", {"A"});
             a.SetVariable("Fake", [](Asm& v) {
                 v.Push("prototype").GetVariable("A").Push("prototype").Op(Ops::kGetMember);
                 v.Push(1).Op(Ops::kInitObject);
             });
         },
         "Fake", "true"},
        {"a getter on prototype is not run",
         [&](Asm& a) {
             implements(a, "C", {"A"});
             // A.addProperty("prototype", function() { trace("getter"); }, null)
             a.Push(swfw::Null{});
             a.DefineFunction("", {}, [](Asm& f) { f.PushTraceString("getter"); });
             a.Push("prototype", 3).GetVariable("A").Push("addProperty");
             a.Op(Ops::kCallMethod).Op(Ops::kPop);
         },
         "A", "true"},
    };
    for (const Case& c : cases) {
        Machine m(7);
        Asm a;
        for (const char* name : {"C", "A", "B", "Nested"})
            a.SetVariable(name, [](Asm& v) { v.DefineFunction("", {}, [](Asm&) {}); });
        a.SetVariable("obj", [](Asm& v) { v.Push(0, "C").Op(Ops::kNewObject); });
        c.setUp(a);
        a.GetVariable("obj").GetVariable(c.constructor).Op(Ops::kInstanceOf).Trace();
        EXPECT_EQ(m.Lines(a), Strings{c.traced}) << c.name;
    }
}

// Text from movies before version 6 is in the author's code page; trace prints it as UTF-8.
TEST(VmValues, OldMoviesTraceTheirCodePageAsUtf8) {
    struct Case {
        int version;
        std::string pushed, traced;
    } cases[] = {
        {5, "test\xC5test", "test\xC3\x85test"},      // Latin-1 A with ring
        {5, "\x80 \x9F", "\xE2\x82\xAC \xC5\xB8"},  // the code page's euro and Y diaeresis
        {5, "caf\xC3\xA9", "caf\xC3\xA9"},           // already UTF-8: left alone
        {6, "test\xC5test", "test\xC5test"},           // version 6 text is passed through
    };
    for (const Case& c : cases) {
        Machine m(c.version);
        Asm a;
        a.PushTraceString(c.pushed);
        EXPECT_EQ(m.Lines(a), Strings{c.traced}) << c.version << " " << c.pushed;
    }
}

// ---- DefineFunction2 ---------------------------------------------------------------------

TEST(VmFunction2, PreloadsTakeRegistersInOrder) {
    using swfw::Reg;
    struct Case {
        std::uint16_t flags;
        Strings traced;  // r1, r2, r3, then the names this and arguments
    };
    const std::vector<Case> cases = {
        // Preloaded: this, arguments, then _global; the names are hidden.
        {swfw::kPreloadThis | swfw::kPreloadArguments | swfw::kPreloadGlobal,
         {"[object Object]", "7,8", "[type Object]", "[type Object]", "undefined"}},
        // A suppressed `this` keeps its register empty; arguments still load.
        {swfw::kPreloadThis | swfw::kSuppressThis | swfw::kPreloadArguments,
         {"undefined", "7,8", "undefined", "[type Object]", "undefined"}},
        // Nothing preloaded: the names work.
        {0, {"undefined", "undefined", "undefined", "[object Object]", "7,8"}},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        Machine m;
        Asm a;
        // o = {f: function}; o.f(7, 8)
        a.SetVariable("o", [&](Asm& v) {
            v.Push("f");
            v.DefineFunction2("", 4, cases[i].flags, {}, [](Asm& f) {
                f.Push(Reg{1}).Trace().Push(Reg{2}).Trace().Push(Reg{3}).Trace();
                f.GetVariable("this").Trace().GetVariable("arguments").Trace();
            });
            v.Push(1).Op(Ops::kInitObject);
        });
        a.Push(8, 7, 2).GetVariable("o").Push("f").Op(Ops::kCallMethod).Op(Ops::kPop);
        EXPECT_EQ(m.Lines(a), cases[i].traced) << "case " << i;
    }
}

TEST(VmFunction2, ParametersInRegistersAndRegistersPastTheCount) {
    using swfw::Reg;
    Machine m;
    Asm a;
    a.Push(41).StoreRegister(3).Op(Ops::kPop);  // the block's register 3
    a.DefineFunction2("f", 2, 0, {{1, "x"}, {0, "y"}}, [](Asm& f) {
        f.Push(Reg{1}).Trace();        // x
        f.GetVariable("y").Trace();     // y by name
        f.GetVariable("x").Trace();     // x has no name binding
        f.Push(Reg{3}).Trace();         // past the count: the block's
        f.Push(42).StoreRegister(3).Op(Ops::kPop);
    });
    a.Push("b", "a", 2, "f").Op(Ops::kCallFunction).Op(Ops::kPop);
    a.Push(Reg{3}).Trace();
    EXPECT_EQ(m.Lines(a), (Strings{"a", "b", "undefined", "41", "42"}));
}

// ---- Timelines ---------------------------------------------------------------------------

// A clip with frames and named children; frames are zero-based as the host's are.
class FakeClip final : public ClipHost {
  public:
    FakeClip(std::string name, FakeClip* parent, int frames)
        : name_(std::move(name)), parent_(parent), frames_(frames) {
        if (parent) parent->children_.push_back(this);
    }
    ClipObject* ScriptObject(Vm& vm) override { return vm.NewClipObject(this); }
    ClipHost* Parent() override { return parent_; }
    ClipHost* Child(std::string_view name, bool) override {
        for (FakeClip* c : children_)
            if (c->name_ == name) return c;
        return nullptr;
    }
    int Level() const override { return 0; }
    std::string Name() const override { return name_; }
    int CurrentFrame() const override { return frame; }
    int TotalFrames() const override { return frames_; }
    int FramesLoaded() const override { return frames_; }
    int FindLabel(std::string_view label) const override { return label == "end" ? 4 : -1; }
    void GotoFrame(int f) override { frame = std::clamp(f, 0, frames_ - 1); }
    void SetPlaying(bool p) override { playing = p; }
    std::vector<std::span<const std::uint8_t>> FrameScripts(int) const override { return {}; }
    ClipHost* Duplicate(std::string_view, int) override { return nullptr; }
    bool Remove() override { return false; }
    Value GetDisplayProperty(Vm&, ClipProperty) override { return Value(); }
    void SetDisplayProperty(Vm&, ClipProperty, const Value&) override {}
    ClipHost* Attach(std::string_view, std::string_view, int) override { return nullptr; }
    int Depth() const override { return 0; }
    ClipHost* AtDepth(int) override { return nullptr; }
    int NextHighestDepth() const override { return 0; }
    void SwapDepths(int) override {}
    Box Bounds(ClipHost*) override { return {}; }
    void LocalToGlobal(double*, double*) override {}
    void GlobalToLocal(double*, double*) override {}

    int frame = 0;
    bool playing = true;

  private:
    std::string name_;
    FakeClip* parent_;
    int frames_;
    std::vector<FakeClip*> children_;
};

class StageHost final : public Host {
  public:
    void Trace(std::string_view line) override { lines.emplace_back(line); }
    void Problem(std::string line) override { problems.push_back(std::move(line)); }
    ClipHost* Level(int n) override { return n == 0 ? &root : nullptr; }

    FakeClip root{"", nullptr, 5};
    FakeClip kid{"kid", &root, 3};
    Strings lines, problems;
};

TEST(VmTimeline, GotosAndTargets) {
    StageHost stage;
    Vm vm(stage, VmOptions{.swfVersion = 8, .limits = {}});
    struct Case {
        const char* what;
        std::function<void(Asm&)> code;
        int rootFrame;  // zero-based, after the code
        bool rootPlaying;
    };
    const std::vector<Case> cases = {
        {"past the end is ignored", [](Asm& a) { a.GotoFrame(9); }, 0, true},
        {"in range", [](Asm& a) { a.GotoFrame(3); }, 3, true},
        {"GotoFrame2 by number", [](Asm& a) { a.Push(2).GotoFrame2(false); }, 1, false},
        {"a fraction is no frame", [](Asm& a) { a.Push(2.5).GotoFrame2(false); }, 0, true},
        {"numbers wrap at 32 bits", [](Asm& a) { a.Push(4294967299.0).GotoFrame2(true); }, 2,
         true},
        {"a label", [](Asm& a) { a.Push("end").GotoFrame2(false); }, 4, false},
        {"a lost target acts on the root",
         [](Asm& a) { a.SetTarget("nowhere").Push(3).GotoFrame2(false).SetTarget(""); }, 2,
         false},
    };
    for (const Case& c : cases) {
        stage.root.frame = 0;
        stage.root.playing = true;
        Asm a;
        c.code(a);
        const swfw::Buffer bytes = a.Bytes();
        vm.RunBlock(bytes, vm.ClipFor(&stage.root));
        EXPECT_EQ(stage.root.frame, c.rootFrame) << c.what;
        EXPECT_EQ(stage.root.playing, c.rootPlaying) << c.what;
    }

    // Inside tellTarget the target's own properties answer, or nothing for a lost target;
    // variables of a lost target land on the root.
    Asm a;
    a.SetTarget("kid").Push("", 13).Op(Ops::kGetProperty).Trace().SetTarget("");
    a.SetTarget("nowhere").Push("", 13).Op(Ops::kGetProperty).Trace();
    a.SetVariable("v", "on root").SetTarget("");
    a.Push("_root.v").Op(Ops::kGetVariable).Trace();
    const swfw::Buffer bytes = a.Bytes();
    stage.lines.clear();
    vm.RunBlock(bytes, vm.ClipFor(&stage.root));
    EXPECT_EQ(stage.lines, (Strings{"kid", "undefined", "on root"}));
}

// ---- Robustness --------------------------------------------------------------------------

TEST(VmRobustness, DamagedBlocksEndWithAProblemAndTheNextRuns) {
    struct Case {
        const char* what;
        std::function<void(Asm&)> damage;
    };
    const std::vector<Case> cases = {
        {"record past the block",
         [](Asm& a) { a.Raw(static_cast<std::uint8_t>(Ops::kPush), {0x00, 'x'}, 200); }},
        {"jump outside the block",
         [](Asm& a) { a.Raw(static_cast<std::uint8_t>(Ops::kJump), {0x00, 0x40}); }},
        {"jump backwards out of the block",
         [](Asm& a) { a.Raw(static_cast<std::uint8_t>(Ops::kJump), {0x00, 0x80}); }},
        {"constant index out of range",
         [](Asm& a) { a.ConstantPool({"only"}).Push(swfw::Const{7}).Trace(); }},
    };
    for (const Case& c : cases) {
        Machine m;
        Asm bad;
        bad.PushTraceString("start");
        c.damage(bad);
        bad.PushTraceString("unreachable");
        Asm next;
        next.PushTraceString("next");
        m.Run(bad);
        m.Run(next);
        EXPECT_EQ(m.host.lines, (Strings{"start", "next"})) << c.what;
        EXPECT_FALSE(m.host.problems.empty()) << c.what;
        EXPECT_FALSE(m.vm.Stopped()) << c.what;
    }
}

TEST(VmRobustness, ActionBudgetStopsEveryScriptWithOneProblem) {
    Machine m(8, ScriptLimits{.actionsPerTick = 5000});
    Asm loop;
    loop.Label("top").Push(1).Op(Ops::kPop).Jump("top");
    Asm next;
    next.PushTraceString("never");
    m.vm.BeginTick();
    m.Run(loop);
    m.Run(next);
    m.vm.BeginTick();
    m.Run(next);
    EXPECT_TRUE(m.vm.Stopped());
    EXPECT_TRUE(m.host.lines.empty());
    EXPECT_EQ(m.host.problems.size(), 1u);
}

TEST(VmRobustness, DeepRecursionStops) {
    Machine m(8, ScriptLimits{.maxRecursion = 40});
    Asm a;
    a.DefineFunction("f", {}, [](Asm& f) { f.Push(0, "f").Op(Ops::kCallFunction); });
    a.Push(0, "f").Op(Ops::kCallFunction).Op(Ops::kPop).PushTraceString("after");
    m.Run(a);
    EXPECT_TRUE(m.vm.Stopped());
    EXPECT_EQ(m.host.problems.size(), 1u);
    EXPECT_TRUE(m.host.lines.empty());
}

TEST(VmRobustness, LongStringsStop) {
    Machine m(8, ScriptLimits{.maxStringBytes = 4096});
    Asm a;
    a.SetVariable("s", "0123456789abcdef");
    a.Label("grow");
    a.SetVariable("s", [](Asm& v) { v.GetVariable("s").GetVariable("s").Op(Ops::kAdd2); });
    a.Jump("grow");
    m.vm.BeginTick();
    m.Run(a);
    EXPECT_TRUE(m.vm.Stopped());
    ASSERT_EQ(m.host.problems.size(), 1u);
    EXPECT_NE(m.host.problems[0].find("string"), std::string::npos);
}

TEST(VmRobustness, CyclicGarbageEveryFrameKeepsTheHeapBounded) {
    Machine m;
    // Each frame: 50 pairs of objects pointing at each other, a closure over them, then all
    // of it dropped.
    Asm frame;
    frame.Push("i", 0).Op(Ops::kSetVariable);
    frame.Label("loop");
    frame.SetVariable("a", [](Asm& v) { v.Push(0).Op(Ops::kInitObject); });
    frame.SetVariable("b", [](Asm& v) {
        v.Push("peer").GetVariable("a").Push(1).Op(Ops::kInitObject);
    });
    frame.GetVariable("a").Push("peer").GetVariable("b").Op(Ops::kSetMember);
    frame.GetVariable("a").Push("f");
    frame.DefineFunction("", {}, [](Asm& f) { f.GetVariable("b").Op(Ops::kReturn); });
    frame.Op(Ops::kSetMember);
    frame.SetVariable("i", [](Asm& v) { v.GetVariable("i").Op(Ops::kIncrement); });
    frame.GetVariable("i").Push(50).Op(Ops::kLess2).If("loop");
    frame.SetVariable("a", swfw::Undefined{}).SetVariable("b", swfw::Undefined{});

    const auto block = m.Keep(frame);
    std::size_t early = 0;
    for (int n = 0; n < 300; ++n) {
        m.vm.BeginTick();
        m.Run(block);
        m.vm.CollectGarbage();
        if (n == 20) early = m.vm.GetHeap().Bytes();
    }
    EXPECT_FALSE(m.vm.Stopped());
    EXPECT_TRUE(m.host.problems.empty());
    EXPECT_LE(m.vm.GetHeap().Bytes(), early + early / 4);
}

TEST(VmRobustness, OperandsSurviveACollectionInsideAConversion) {
    Machine m;
    Asm a;
    // b.valueOf makes more than a collection's worth of garbage; the left operand, an object
    // that lives only on the operand stack, must survive it.
    a.SetVariable("b", [](Asm& v) {
        v.Push("valueOf");
        v.DefineFunction("", {}, [](Asm& f) {
            f.Push("i", 0).Op(Ops::kDefineLocal);
            f.Label("churn");
            f.Push("g", 0).Op(Ops::kInitObject).Op(Ops::kDefineLocal);
            f.Push("i").GetVariable("i").Op(Ops::kIncrement).Op(Ops::kSetVariable);
            f.GetVariable("i").Push(120000).Op(Ops::kLess2).If("churn");
            f.Push(1).Op(Ops::kReturn);
        });
        v.Push(1).Op(Ops::kInitObject);
    });
    a.Push("tag", "kept", "valueOf");
    a.DefineFunction("", {}, [](Asm& f) {
        f.GetVariable("this").Push("tag").Op(Ops::kGetMember).Op(Ops::kReturn);
    });
    a.Push(2).Op(Ops::kInitObject);  // the left operand, on the stack only
    a.GetVariable("b").Op(Ops::kAdd2).Trace();
    EXPECT_EQ(m.Lines(a), Strings{"kept1"});
    EXPECT_TRUE(m.host.problems.empty());
}

TEST(VmRobustness, HugeCountsDoNotAllocate) {
    Machine m;
    Asm a;
    a.Push("a", "b", 4294967297.0).Op(Ops::kInitArray).Trace();  // no such array
    a.Trace().Trace();
    a.Push(1e9, "Array").Op(Ops::kNewObject).Push("length").Op(Ops::kGetMember).Trace();
    m.Run(a);
    ASSERT_GE(m.host.lines.size(), 3u);
    EXPECT_EQ(m.host.lines[0], "undefined");
    EXPECT_EQ(m.host.lines[1], "b");
    EXPECT_EQ(m.host.lines[2], "a");
}

}  // namespace
}  // namespace player::script
