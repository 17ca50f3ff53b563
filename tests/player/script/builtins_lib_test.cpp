// The library objects: Date's fields and overflowing setters, Error, XML trees kept consistent
// as nodes move between parents, and LoadVars' text. Driven through a machine with a host that
// records what scripts trace and the problems they meet.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "player/script/builtins_xml.h"
#include "player/script/vm.h"
#include "tests/support/avm1_asm.h"

namespace player::script {
namespace {

class RecordingHost final : public Host {
  public:
    void Trace(std::string_view line) override { traces.emplace_back(line); }
    void Problem(std::string line) override { problems.push_back(std::move(line)); }
    ClipHost* Level(int) override { return nullptr; }
    std::vector<std::string> traces;
    std::vector<std::string> problems;
};

class Library : public ::testing::Test {
  protected:
    static constexpr double kClockStart = 1e12;

    Value Global(std::string_view name) { return vm.Get(vm.GetRealm().global, name); }
    Value New(std::string_view ctor, std::vector<Value> args = {}) {
        return vm.Construct(Global(ctor), args);
    }
    Value Call(const Value& target, std::string_view method, std::vector<Value> args = {}) {
        return vm.CallMethod(target, method, args);
    }
    std::string Text(const Value& v) { return vm.ToString(v); }
    double Number(const Value& v) { return vm.ToNumber(v); }
    Value S(std::string text) { return vm.Str(std::move(text)); }
    static Value N(double n) { return Value::Number(n); }
    Value Member(const Value& target, std::string_view name) { return vm.GetMember(target, name); }
    Value Xml(std::string text) { return New("XML", {S(std::move(text))}); }

    static VmOptions Options() {
        VmOptions options;
        options.clockStartMs = kClockStart;
        return options;
    }

    RecordingHost host;
    Vm vm{host, Options()};
};

// ---- Date --------------------------------------------------------------------------------

TEST_F(Library, DateGettersReadEveryFieldInBothZones) {
    struct Case {
        double time;
        double year, month, date, day, hours, minutes, seconds, ms;
    };
    const Case cases[] = {
        {0, 1970, 0, 1, 4, 0, 0, 0, 0},
        {-1, 1969, 11, 31, 3, 23, 59, 59, 999},
        {951782400000, 2000, 1, 29, 2, 0, 0, 0, 0},  // a leap day
        {1e12 + 123, 2001, 8, 9, 0, 1, 46, 40, 123},
    };
    for (const Case& c : cases) {
        const Value d = New("Date", {N(c.time)});
        SCOPED_TRACE(Text(d));
        const std::pair<const char*, double> fields[] = {
            {"FullYear", c.year},   {"Month", c.month},     {"Date", c.date},
            {"Day", c.day},         {"Hours", c.hours},     {"Minutes", c.minutes},
            {"Seconds", c.seconds}, {"Milliseconds", c.ms}, {"Year", c.year - 1900},
        };
        for (const auto& [field, expected] : fields) {
            EXPECT_EQ(Number(Call(d, std::string("get") + field)), expected) << field;
            EXPECT_EQ(Number(Call(d, std::string("getUTC") + field)), expected) << field;
        }
        EXPECT_EQ(Number(Call(d, "getTime")), c.time);
        EXPECT_EQ(Number(Call(d, "valueOf")), c.time);
        EXPECT_EQ(Number(Call(d, "getTimezoneOffset")), 0);
    }
}

TEST_F(Library, DateConstructorForms) {
    struct Case {
        std::vector<double> args;
        double time;
    };
    const Case cases[] = {
        {{}, kClockStart},        // the movie's clock, not the machine's
        {{1234.9}, 1234},         // a time value, truncated
        {{99, 0}, 915148800000},  // two-digit years are in the 1900s
        {{2000, 0}, 946684800000},
        {{2000, 1, 29, 12, 30}, 951827400000},
        {{1970, 0, 1, 0, 0, 0, 5}, 5},
        {{1970, 12, 1}, 31536000000},  // month 12 is January of the next year
    };
    for (const Case& c : cases) {
        std::vector<Value> args;
        for (double a : c.args) args.push_back(N(a));
        EXPECT_EQ(Number(Call(New("Date", args), "getTime")), c.time) << c.args.size() << " args";
    }
    EXPECT_EQ(Number(Call(New("Date", {N(100), N(0)}), "getFullYear")), 100);
    const Value invalid = New("Date", {N(NAN)});
    EXPECT_EQ(Text(invalid), "Invalid Date");
    EXPECT_TRUE(std::isnan(Number(Call(invalid, "getMonth"))));
    EXPECT_EQ(Text(New("Date", {N(0)})), "Thu Jan 1 00:00:00 GMT+0000 1970");
    EXPECT_EQ(Text(New("Date", {N(9e15)})), "Invalid Date");  // past the last valid time

    EXPECT_EQ(Number(Call(Global("Date"), "UTC", {N(2000), N(0), N(1)})), 946684800000);
    EXPECT_EQ(Number(Call(Global("Date"), "UTC", {N(99), N(0)})), 915148800000);
    // A Date's text is its primitive: "+" concatenates rather than adds.
    EXPECT_EQ(Text(vm.Add(S(""), New("Date", {N(0)}))), "Thu Jan 1 00:00:00 GMT+0000 1970");
}

TEST_F(Library, DateSettersCarryOverflowIntoTheNextField) {
    const double start = 980936430000;  // Wed Jan 31 10:20:30 2001
    struct Case {
        const char* setter;
        std::vector<double> args;
        double time;
    };
    const Case cases[] = {
        {"setMonth", {1}, 983614830000},     // Feb 31 is Mar 3
        {"setMonth", {13}, 1015150830000},   // month 13: Feb 2002, then Mar 3
        {"setDate", {0}, 978258030000},      // day 0: the last of December
        {"setHours", {35}, 981026430000},    // 11 o'clock the next day
        {"setMinutes", {-1}, 980935170000},  // 09:59
        {"setYear", {95}, 791547630000},     // 1995
        {"setUTCFullYear", {1995}, 791547630000},
        {"setFullYear", {2001, 0, 31}, start},
        {"setUTCDate", {31}, start},
        {"setSeconds", {30, 0}, start},
        {"setMilliseconds", {1000}, start + 1000},
        {"setTime", {12.7}, 12},
    };
    for (const Case& c : cases) {
        const Value d = New("Date", {N(start)});
        std::vector<Value> args;
        for (double a : c.args) args.push_back(N(a));
        EXPECT_EQ(Number(Call(d, c.setter, args)), c.time) << c.setter;
        EXPECT_EQ(Number(Call(d, "getTime")), c.time) << c.setter;
    }
    // An invalid date stays invalid except under a year setter, which starts from 1970.
    const Value invalid = New("Date", {N(NAN)});
    EXPECT_TRUE(std::isnan(Number(Call(invalid, "setHours", {N(1)}))));
    EXPECT_EQ(Number(Call(invalid, "setFullYear", {N(2000)})), 946684800000);
    // A setter without its argument spoils the date.
    EXPECT_TRUE(std::isnan(Number(Call(New("Date", {N(0)}), "setDate"))));
}

TEST_F(Library, DateMethodsIgnoreOtherObjects) {
    const Value getDate = Member(Member(Global("Date"), "prototype"), "getDate");
    const Value plain = Value::Obj(vm.NewObject());
    EXPECT_TRUE(vm.Call(getDate, plain, {}).IsUndefined());
    EXPECT_TRUE(vm.Call(getDate, Member(Global("Date"), "prototype"), {}).IsUndefined());
    EXPECT_TRUE(Global("Date").IsObject());
    EXPECT_EQ(Text(vm.Call(Global("Date"), Value(), {})), "Sun Sep 9 01:46:40 GMT+0000 2001");
}

// ---- Error -------------------------------------------------------------------------------

TEST_F(Library, ErrorMessageAndName) {
    const Value bare = New("Error");
    EXPECT_EQ(Text(bare), "Error");
    EXPECT_EQ(Text(Member(bare, "name")), "Error");
    EXPECT_FALSE(vm.HasOwnProperty(bare.AsObject(), "message"));

    const Value withMessage = New("Error", {S("bad thing")});
    EXPECT_EQ(Text(withMessage), "bad thing");
    EXPECT_TRUE(vm.HasOwnProperty(withMessage.AsObject(), "message"));
    EXPECT_EQ(Text(New("Error", {Value::Null()})), "null");
    EXPECT_EQ(Text(New("Error", {Value()})), "Error");

    vm.Set(withMessage.AsObject(), "message", S("changed"));
    EXPECT_EQ(Text(withMessage), "changed");
}

TEST_F(Library, UncaughtErrorIsTracedWithItsMessage) {
    swfw::Asm a;
    a.Push("it broke", 1, "Error").Op(swfw::Op::kNewObject).Op(swfw::Op::kThrow);
    a.PushTraceString("not reached");
    const auto bytes = a.Bytes();
    vm.RunBlock(bytes, vm.NewObject());
    EXPECT_EQ(host.traces, std::vector<std::string>{"Warning: Uncaught exception, it broke"});
}

// ---- XML ---------------------------------------------------------------------------------

TEST_F(Library, XmlParsesAndWritesBack) {
    struct Case {
        const char* in;
        const char* out;
        double status;
    };
    const Case cases[] = {
        {"<a><b/></a><c/>", "<a><b /></a><c />", 0},
        {"<r x='1' y=\"&lt;\">t &amp; u</r>", "<r x=\"1\" y=\"&lt;\">t &amp; u</r>", 0},
        {"<?xml version=\"1.0\"?><!DOCTYPE d><d/>", "<?xml version=\"1.0\"?><!DOCTYPE d><d />", 0},
        {"<t><!-- gone -->kept</t>", "<t>kept</t>", 0},
        {"<t><![CDATA[<raw>]]></t>", "<t>&lt;raw&gt;</t>", 0},
        {"<open><inner/>", "<open><inner /></open>", -9},
        {"</stray>", "", -10},
        {"", "", 0},
    };
    for (const Case& c : cases) {
        const Value x = Xml(c.in);
        EXPECT_EQ(Text(x), c.out) << c.in;
        EXPECT_EQ(Number(Member(x, "status")), c.status) << c.in;
    }
}

TEST_F(Library, XmlIgnoreWhiteDropsBlankText) {
    const Value x = New("XML");
    vm.Set(x.AsObject(), "ignoreWhite", Value::Boolean(true));
    Call(x, "parseXML", {S("<a>\n  <b> x </b>\n</a>")});
    EXPECT_EQ(Text(x), "<a><b> x </b></a>");
    // Parsing again replaces what was there.
    Call(x, "parseXML", {S("<z/>")});
    EXPECT_EQ(Text(x), "<z />");
    EXPECT_EQ(Number(Member(Member(x, "childNodes"), "length")), 1);

    // Set on the prototype, the flag is every document's default.
    Object* proto = Member(Global("XML"), "prototype").AsObject();
    vm.Set(proto, "ignoreWhite", Value::Boolean(true));
    EXPECT_EQ(Text(Xml("<a> <b/> </a>")), "<a><b /></a>");
    vm.Set(proto, "ignoreWhite", Value::Boolean(false));
    EXPECT_EQ(Text(Xml("<a> </a>")), "<a> </a>");
}

TEST_F(Library, XmlDocumentProperties) {
    const Value x = Xml("<?xml version=\"1.0\"?><a/>");
    EXPECT_EQ(Text(Member(x, "xmlDecl")), "<?xml version=\"1.0\"?>");
    EXPECT_TRUE(Member(x, "docTypeDecl").IsUndefined());
    EXPECT_TRUE(Member(x, "loaded").IsUndefined());
    EXPECT_EQ(Text(Member(x, "contentType")), "application/x-www-form-urlencoded");
    vm.Set(x.AsObject(), "xmlDecl", S("<?decl?>"));
    vm.Set(x.AsObject(), "docTypeDecl", S("<!DOCTYPE a>"));
    EXPECT_EQ(Text(x), "<?decl?><!DOCTYPE a><a />");
    // The flags keep their types whatever is stored in them.
    vm.Set(x.AsObject(), "status", S("12"));
    EXPECT_TRUE(vm.StrictEquals(Member(x, "status"), N(12)));
    vm.Set(x.AsObject(), "loaded", S("yes"));
    EXPECT_TRUE(vm.StrictEquals(Member(x, "loaded"), Value::Boolean(true)));
    // None of it is an own property, so for-in over a document lists nothing.
    EXPECT_TRUE(vm.EnumerableKeys(x.AsObject()).empty());
    // A node made by createElement is no document: it writes no declaration.
    const Value node = Call(x, "createElement", {S("n")});
    EXPECT_TRUE(Member(node, "status").IsUndefined());
}

TEST_F(Library, XmlNodesReportTheirParts) {
    const Value x = Xml("<p:root a=\"1\" xmlns:p=\"urn:p\">hi<leaf/></p:root>");
    const Value root = Member(x, "firstChild");
    EXPECT_EQ(Number(Member(x, "nodeType")), 1);
    EXPECT_TRUE(Member(x, "nodeName").IsNull());
    EXPECT_EQ(Text(Member(root, "nodeName")), "p:root");
    EXPECT_EQ(Text(Member(root, "prefix")), "p");
    EXPECT_EQ(Text(Member(root, "localName")), "root");
    EXPECT_EQ(Text(Member(root, "namespaceURI")), "urn:p");
    EXPECT_EQ(Text(Member(Member(root, "attributes"), "a")), "1");
    EXPECT_TRUE(Member(root, "nodeValue").IsNull());

    const Value text = Member(root, "firstChild");
    EXPECT_EQ(Number(Member(text, "nodeType")), 3);
    EXPECT_EQ(Text(Member(text, "nodeValue")), "hi");
    EXPECT_TRUE(Member(text, "nodeName").IsNull());
    EXPECT_TRUE(Member(text, "previousSibling").IsNull());

    const Value leaf = Member(text, "nextSibling");
    EXPECT_EQ(Text(Member(leaf, "nodeName")), "leaf");
    EXPECT_TRUE(vm.StrictEquals(Member(root, "lastChild"), leaf));
    EXPECT_TRUE(vm.StrictEquals(Member(leaf, "parentNode"), root));
    EXPECT_TRUE(Member(leaf, "nextSibling").IsNull());
    EXPECT_TRUE(Member(leaf, "firstChild").IsNull());
    EXPECT_FALSE(vm.ToBoolean(Call(leaf, "hasChildNodes")));
    EXPECT_TRUE(vm.ToBoolean(Call(root, "hasChildNodes")));
    // Inherited declarations, and a prefix nobody declared.
    EXPECT_EQ(Text(Call(leaf, "getNamespaceForPrefix", {S("p")})), "urn:p");
    EXPECT_EQ(Text(Call(leaf, "getPrefixForNamespace", {S("urn:p")})), "p");
    EXPECT_TRUE(Call(leaf, "getNamespaceForPrefix", {S("q")}).IsNull());
    EXPECT_TRUE(Member(leaf, "namespaceURI").IsNull());
    // The node properties are read-only apart from the name and value.
    vm.Set(leaf.AsObject(), "parentNode", Value::Null());
    EXPECT_TRUE(vm.StrictEquals(Member(leaf, "parentNode"), root));
}

TEST_F(Library, XmlEditsShowInTheText) {
    const Value x = New("XML");
    const Value root = Call(x, "createElement", {S("list")});
    Call(x, "appendChild", {root});
    const Value one = Call(x, "createElement", {S("item")});
    const Value two = Call(x, "createElement", {S("item")});
    vm.Set(Member(one, "attributes").AsObject(), "n", N(1));
    Call(root, "appendChild", {one});
    Call(root, "insertBefore", {two, one});
    Call(two, "appendChild", {Call(x, "createTextNode", {S("a<b")})});
    EXPECT_EQ(Text(x), "<list><item>a&lt;b</item><item n=\"1\" /></list>");

    vm.Set(root.AsObject(), "nodeName", S("renamed"));
    vm.Set(Member(two, "firstChild").AsObject(), "nodeValue", S("v"));
    Call(one, "removeNode");
    EXPECT_EQ(Text(x), "<renamed><item>v</item></renamed>");
    EXPECT_TRUE(Member(one, "parentNode").IsNull());
    // A nameless element writes its children alone.
    vm.Set(root.AsObject(), "nodeName", Value::Null());
    EXPECT_EQ(Text(x), "<item>v</item>");
}

// Checks that the node's children, childNodes, sibling and parent links all agree.
void ExpectConsistent(Vm& vm, const Value& parent, const std::vector<Value>& children) {
    const Value array = vm.GetMember(parent, "childNodes");
    ASSERT_EQ(vm.ToNumber(vm.GetMember(array, "length")), children.size());
    for (std::size_t i = 0; i < children.size(); ++i) {
        EXPECT_TRUE(vm.StrictEquals(vm.GetMember(array, std::to_string(i)), children[i])) << i;
        EXPECT_TRUE(vm.StrictEquals(vm.GetMember(children[i], "parentNode"), parent)) << i;
        const Value prev = vm.GetMember(children[i], "previousSibling");
        const Value next = vm.GetMember(children[i], "nextSibling");
        EXPECT_TRUE(i == 0 ? prev.IsNull() : vm.StrictEquals(prev, children[i - 1])) << i;
        EXPECT_TRUE(i + 1 == children.size() ? next.IsNull()
                                             : vm.StrictEquals(next, children[i + 1]))
            << i;
    }
    const Value first = vm.GetMember(parent, "firstChild");
    EXPECT_TRUE(children.empty() ? first.IsNull() : vm.StrictEquals(first, children.front()));
}

TEST_F(Library, XmlReparentingKeepsBothParentsConsistent) {
    const Value a = Xml("<a/><b/><c/>");
    const Value other = Xml("<x/><y/>");
    const Value na = Member(a, "firstChild");
    const Value nb = Member(na, "nextSibling");
    const Value nc = Member(a, "lastChild");
    const Value nx = Member(other, "firstChild");
    const Value ny = Member(other, "lastChild");

    Call(other, "insertBefore", {nb, ny});  // moves b from one document to the other
    ExpectConsistent(vm, a, {na, nc});
    ExpectConsistent(vm, other, {nx, nb, ny});

    Call(a, "appendChild", {na});  // to the end of its own parent
    ExpectConsistent(vm, a, {nc, na});

    Call(other, "insertBefore", {ny, nx});  // forward within the same parent
    ExpectConsistent(vm, other, {ny, nx, nb});

    Call(nx, "appendChild", {ny});  // into a sibling
    ExpectConsistent(vm, other, {nx, nb});
    ExpectConsistent(vm, nx, {ny});

    // A node never goes below itself: the tree is left as it was.
    Call(ny, "appendChild", {nx});
    Call(ny, "appendChild", {ny});
    ExpectConsistent(vm, other, {nx, nb});
    ExpectConsistent(vm, nx, {ny});
    EXPECT_EQ(Text(other), "<x><y /></x><b />");

    // insertBefore wants a child of the node as its reference.
    Call(a, "insertBefore", {nb, ny});
    ExpectConsistent(vm, a, {nc, na});
    Call(nb, "removeNode");
    ExpectConsistent(vm, other, {nx});
    Call(nb, "removeNode");  // twice is harmless
    EXPECT_TRUE(Member(nb, "parentNode").IsNull());
}

// Random moves among a few nodes: after each, every parent's children, its childNodes array
// and the children's parent links and positions agree, and no node is its own ancestor.
TEST_F(Library, XmlRandomMovesKeepTheTreeWhole) {
    const Value x = New("XML");
    std::vector<Value> nodes = {x};
    for (int i = 0; i < 12; ++i) nodes.push_back(Call(x, "createElement", {S("n")}));
    std::uint32_t seed = 12345;
    auto next = [&](std::size_t n) {
        seed = seed * 1103515245u + 12345u;
        return static_cast<std::size_t>((seed >> 8) % n);
    };
    for (int step = 0; step < 3000; ++step) {
        const Value a = nodes[next(nodes.size())];
        const Value b = nodes[next(nodes.size())];
        switch (next(3)) {
            case 0:
                Call(a, "appendChild", {b});
                break;
            case 1:
                Call(a, "insertBefore", {b, Member(a, "firstChild")});
                break;
            default:
                Call(b, "removeNode");
        }
        for (const Value& v : nodes) {
            auto* node = static_cast<XmlNodeObject*>(v.AsObject());
            ASSERT_EQ(node->ChildArray()->Length(), node->Children().size()) << step;
            for (std::size_t i = 0; i < node->Children().size(); ++i) {
                XmlNodeObject* child = node->Children()[i];
                ASSERT_EQ(child->Parent(), node) << step;
                ASSERT_EQ(child->Index(), i) << step;
                ASSERT_EQ(vm.Get(node->ChildArray(), std::to_string(i)).AsObject(), child);
            }
            int depth = 0;
            for (XmlNodeObject* up = node->Parent(); up; up = up->Parent()) {
                ASSERT_NE(up, node) << step;
                ASSERT_LT(++depth, 20) << step;
            }
        }
    }
}

TEST_F(Library, XmlCloneCopiesWithoutSharing) {
    const Value x = Xml("<a k=\"v\"><b>t</b></a>");
    const Value a = Member(x, "firstChild");
    const Value shallow = Call(a, "cloneNode", {Value::Boolean(false)});
    const Value deep = Call(a, "cloneNode", {Value::Boolean(true)});
    EXPECT_EQ(Text(shallow), "<a k=\"v\" />");
    EXPECT_EQ(Text(deep), "<a k=\"v\"><b>t</b></a>");
    EXPECT_TRUE(Member(deep, "parentNode").IsNull());
    vm.Set(Member(deep, "attributes").AsObject(), "k", S("changed"));
    Call(Member(deep, "firstChild"), "removeNode");
    EXPECT_EQ(Text(x), "<a k=\"v\"><b>t</b></a>");
    EXPECT_EQ(Text(deep), "<a k=\"changed\" />");

    // A document's copy is a document, declaration and all.
    const Value doc = Xml("<?xml?><d/>");
    EXPECT_EQ(Text(Call(doc, "cloneNode", {Value::Boolean(true)})), "<?xml?><d />");
}

TEST_F(Library, XmlNodeConstructor) {
    EXPECT_EQ(Text(New("XMLNode", {N(1), S("el")})), "<el />");
    EXPECT_EQ(Text(New("XMLNode", {N(3), S("a&b")})), "a&amp;b");
    // Without both arguments no node is made.
    const Value plain = New("XMLNode", {N(1)});
    ASSERT_TRUE(plain.IsObject());
    EXPECT_EQ(dynamic_cast<XmlNodeObject*>(plain.AsObject()), nullptr);
    EXPECT_TRUE(Member(plain, "firstChild").IsUndefined());
}

TEST_F(Library, XmlSurvivesCollectionAndDeepTrees) {
    const Value x = New("XML");
    Value node = x;
    constexpr int kDepth = 100000;  // deeper than any call stack would take
    for (int i = 0; i < kDepth; ++i) {
        const Value child = Call(x, "createElement", {S("n")});
        Call(node, "appendChild", {child});
        node = child;
    }
    vm.Set(vm.GetRealm().global, "keep", x);
    vm.CollectGarbage();
    const std::string text = Text(x);
    EXPECT_EQ(text.size(), static_cast<std::size_t>(kDepth - 1) * 7 + 5);
    EXPECT_TRUE(text.starts_with("<n><n>"));
    const Value copy = Call(Member(x, "firstChild"), "cloneNode", {Value::Boolean(true)});
    EXPECT_EQ(Text(copy), text);
    EXPECT_FALSE(vm.Stopped());

    // Below the ancestor walk's reach a leaf may still go, a node with children may not.
    const Value pair = Xml("<p><q/></p>");
    const Value subtree = Member(pair, "firstChild");
    Call(node, "appendChild", {subtree});
    EXPECT_TRUE(vm.StrictEquals(Member(subtree, "parentNode"), pair));
    const Value leaf = Member(subtree, "firstChild");
    Call(node, "appendChild", {leaf});
    EXPECT_TRUE(vm.StrictEquals(Member(leaf, "parentNode"), node));
}

TEST_F(Library, LoadingIsRefusedAndFailsOnTheNextFrame) {
    for (const char* ctor : {"XML", "LoadVars"}) {
        host.problems.clear();
        const Value target = New(ctor);
        // onLoad records its argument on the object.
        vm.Set(target.AsObject(), "onLoad",
               Value::Obj(vm.NewNative([](Vm& m, const Value& self, std::span<const Value> args) {
                   m.Set(self.AsObject(), "result", args.empty() ? Value() : args[0]);
                   return Value();
               })));
        Call(target, "load", {S("data.txt")});
        EXPECT_EQ(host.problems.size(), 1u) << ctor;
        EXPECT_FALSE(vm.ToBoolean(Member(target, "loaded")));
        EXPECT_TRUE(Member(target, "result").IsUndefined()) << "not before the next frame";
        vm.BeginTick();
        const Value result = Member(target, "result");
        ASSERT_TRUE(result.IsBoolean()) << ctor;
        EXPECT_FALSE(result.AsBoolean());
    }
}

TEST_F(Library, XmlOnDataParsesWhatCame) {
    const Value x = New("XML");
    Call(x, "onData", {S("<got/>")});
    EXPECT_EQ(Text(x), "<got />");
    EXPECT_TRUE(vm.ToBoolean(Member(x, "loaded")));
}

// A class extending a built-in: `new` makes the built-in's kind of object, and the
// constructor's super(...) call sets it up.
TEST_F(Library, ClassesExtendingBuiltInsGetTheirKindOfObject) {
    struct Case {
        const char* base;
        std::vector<Value> args;
        const char* text;
    };
    const Case cases[] = {
        {"XML", {S("<a><b/></a>")}, "<a><b /></a>"},
        {"XMLNode", {N(1), S("el")}, "<el />"},
        {"Date", {N(0)}, "Thu Jan 1 00:00:00 GMT+0000 1970"},
    };
    for (const Case& c : cases) {
        vm.Set(vm.GetRealm().global, "Base", Global(c.base));
        // Stands for function Sub(...) { super(...); } with Sub extending the base.
        FunctionObject* sub =
            vm.NewNative([](Vm& m, const Value& self, std::span<const Value> args) {
                return m.Call(m.Get(m.GetRealm().global, "Base"), self, args);
            });
        Object* proto = vm.GetHeap().New<Object>(Member(Global(c.base), "prototype").AsObject());
        vm.Set(sub, "prototype", Value::Obj(proto));
        const Value object = vm.Construct(Value::Obj(sub), c.args);
        EXPECT_EQ(Text(object), c.text) << c.base;
        EXPECT_TRUE(vm.InstanceOf(object.AsObject(), Global(c.base).AsObject())) << c.base;
    }
    // Plain classes still get plain objects.
    FunctionObject* plain =
        vm.NewNative([](Vm&, const Value&, std::span<const Value>) { return Value(); });
    const Value object = vm.Construct(Value::Obj(plain), {});
    EXPECT_EQ(object.AsObject()->Kind(), ObjectKind::kObject);
}

// ---- LoadVars ----------------------------------------------------------------------------

TEST_F(Library, LoadVarsDecodesAndWritesVariables) {
    struct Case {
        const char* in;
        const char* out;  // newest variable first, as for-in lists them
    };
    const Case cases[] = {
        {"a=1&b=two+words", "b=two%20words&a=1"},
        {"x=%26%3D&=skipped", "x=%26%3D"},
        {"same=1&same=2", "same=2"},
        {"", ""},
    };
    for (const Case& c : cases) {
        const Value lv = New("LoadVars");
        Call(lv, "decode", {S(c.in)});
        EXPECT_EQ(Text(lv), c.out) << c.in;
    }
    const Value lv = New("LoadVars");
    Call(lv, "decode", {S("k=v")});
    EXPECT_EQ(Text(Member(lv, "k")), "v");
    Call(lv, "onData", {S("m=n")});
    EXPECT_TRUE(vm.ToBoolean(Member(lv, "loaded")));
    EXPECT_EQ(Text(Member(lv, "m")), "n");
    EXPECT_TRUE(Call(lv, "getBytesTotal").IsUndefined());
}

}  // namespace
}  // namespace player::script
