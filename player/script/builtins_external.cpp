// flash.external.ExternalInterface: the bridge to a page around the movie. The converter runs
// in no container, so available is false, call answers null and addCallback false; the static
// helpers that escape text and read the bridge's XML back into values work as in any player.
#include <algorithm>
#include <string>
#include <string_view>

#include "player/script/builtins.h"
#include "player/script/function.h"
#include "player/script/xml_text.h"

namespace player::script {

namespace {

// The five entities the bridge writes, read back; anything else (other spellings, numeric
// references) stays as it is.
std::string UnescapeBridgeXml(std::string_view text) {
    static constexpr std::pair<std::string_view, char> kEntities[] = {
        {"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}, {"&lt;", '<'}, {"&gt;", '>'}};
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        bool replaced = false;
        if (text[i] == '&') {
            for (const auto& [entity, c] : kEntities) {
                if (text.substr(i, entity.size()) == entity) {
                    out += c;
                    i += entity.size();
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced) out += text[i++];
    }
    return out;
}

// _escapeXML and _unescapeXML take any value as its text; the empty text (or none) is null.
Value EscapeXmlText(Vm& vm, const Value&, std::span<const Value> args) {
    if (args.empty()) return Value::Null();
    std::string text = vm.ToString(args[0]);
    if (text.empty()) return Value::Null();
    return vm.Str(EscapeXml(text));
}

Value UnescapeXmlText(Vm& vm, const Value&, std::span<const Value> args) {
    if (args.empty()) return Value::Null();
    std::string text = vm.ToString(args[0]);
    if (text.empty()) return Value::Null();
    return vm.Str(UnescapeBridgeXml(text));
}

// Reads the bridge's XML nodes back into values: <number>, <string>, <true/>, <false/>,
// <null/>, <undefined/>, <date>, <array> and <object> of <property id="..."> children, and
// <arguments> of values. Nodes are script objects, so a document can loop back on itself:
// past the script recursion cap, or once as many nodes as an XML document may hold were read,
// what is left reads as undefined or empty.
class BridgeReader {
  public:
    // No more nodes are read than an XML document may hold.
    explicit BridgeReader(Vm& vm)
        : vm_(vm),
          budget_(std::min<std::size_t>(XmlLimits{}.maxNodes, vm.Limits().maxHeapBytes / 1024)) {}

    Value ToValue(const Value& node) {
        Nesting nesting(*this);
        if (!nesting.Allowed()) return Value();
        const std::string type = NodeType(node);
        if (type == "number") return Value::Number(vm_.ToNumber(vm_.Str(FirstChildText(node))));
        if (type == "string") return vm_.Str(FirstChildText(node));
        if (type == "true") return Value::Boolean(true);
        if (type == "false") return Value::Boolean(false);
        if (type == "null") return Value::Null();
        if (type == "date") {
            Value time = Value::Number(vm_.ToNumber(vm_.Str(FirstChildText(node))));
            return vm_.Construct(vm_.Get(vm_.GetRealm().global, "Date"), {&time, 1});
        }
        if (type == "array") return ToArray(node);
        if (type == "object") return ToObject(node);
        return Value();
    }

    Value ToArray(const Value& node) {
        ArrayObject* array = vm_.NewArray();
        Nesting nesting(*this);
        if (nesting.Allowed()) ReadProperties(node, array);
        return Value::Obj(array);
    }

    Value ToObject(const Value& node) {
        Object* object = vm_.NewObject();
        Nesting nesting(*this);
        if (nesting.Allowed()) ReadProperties(node, object);
        return Value::Obj(object);
    }

    Value ToArguments(const Value& node) {
        ArrayObject* array = vm_.NewArray();
        Nesting nesting(*this);
        if (!nesting.Allowed()) return Value::Obj(array);
        Value children = vm_.GetMember(node, "childNodes");
        const std::uint32_t count = ChildCount(children);
        for (std::uint32_t i = 0; i < count && TakeNode(); ++i) {
            Value value = ToValue(vm_.GetMember(children, std::to_string(i)));
            vm_.Set(array, std::to_string(i), value);
        }
        return Value::Obj(array);
    }

  private:
    class Nesting {
      public:
        explicit Nesting(BridgeReader& reader) : reader_(reader) { ++reader_.depth_; }
        ~Nesting() { --reader_.depth_; }
        bool Allowed() const {
            return reader_.depth_ <= reader_.vm_.Limits().maxRecursion && !reader_.vm_.Throwing();
        }

      private:
        BridgeReader& reader_;
    };

    // A node's name as a string: a string, or what an object's valueOf gives when that is one.
    std::string NodeType(const Value& node) {
        Value name = vm_.GetMember(node, "nodeName");
        if (name.IsObject()) name = vm_.CallMethod(name, "valueOf", {});
        return name.IsString() ? vm_.ToString(name) : std::string();
    }

    std::string FirstChildText(const Value& node) {
        return UnescapeBridgeXml(vm_.ToString(vm_.GetMember(node, "firstChild")));
    }

    // How many children the list says it has.
    std::uint32_t ChildCount(const Value& children) {
        if (!children.IsObject()) return 0;
        const double length = vm_.ToNumber(vm_.GetMember(children, "length"));
        if (!(length > 0)) return 0;
        return length < 4294967295.0 ? static_cast<std::uint32_t>(length) : 4294967295u;
    }

    // Spends one node of the budget; false once it is spent or a script threw.
    bool TakeNode() {
        if (budget_ == 0 || vm_.Throwing()) return false;
        --budget_;
        return true;
    }

    // <property id="name">value</property> children become properties of `into`.
    void ReadProperties(const Value& node, Object* into) {
        Value children = vm_.GetMember(node, "childNodes");
        const std::uint32_t count = ChildCount(children);
        for (std::uint32_t i = 0; i < count && TakeNode(); ++i) {
            Value child = vm_.GetMember(children, std::to_string(i));
            std::string id = vm_.ToString(vm_.GetMember(vm_.GetMember(child, "attributes"), "id"));
            Value value = ToValue(vm_.GetMember(child, "firstChild"));
            vm_.Set(into, id, value);
        }
    }

    Vm& vm_;
    std::size_t budget_;
    int depth_ = 0;
};

Value ToAs(Vm& vm, const Value&, std::span<const Value> args) {
    return BridgeReader(vm).ToValue(Arg(args, 0));
}

Value ArrayToAs(Vm& vm, const Value&, std::span<const Value> args) {
    return BridgeReader(vm).ToArray(Arg(args, 0));
}

Value ObjectToAs(Vm& vm, const Value&, std::span<const Value> args) {
    return BridgeReader(vm).ToObject(Arg(args, 0));
}

Value ArgumentsToAs(Vm& vm, const Value&, std::span<const Value> args) {
    return BridgeReader(vm).ToArguments(Arg(args, 0));
}

}  // namespace

void InstallExternalInterface(Vm& vm) {
    Realm& realm = vm.GetRealm();
    Object* flash = vm.Get(realm.global, "flash").AsObject();
    if (!flash) {
        flash = vm.NewObject();
        vm.DefineValue(realm.global, "flash", Value::Obj(flash));
    }
    Object* external = vm.NewObject();
    vm.DefineValue(flash, "external", Value::Obj(external));
    Object* p = vm.NewObject();
    FunctionObject* ctor = vm.DefineClass(external, "ExternalInterface", Nothing, nullptr, p);

    // The bridge to a page: there is none. Defined in the order scripts enumerate them back.
    for (const char* name : {"_initJS", "_objectID", "_addCallback", "_evalJS", "_callOut"}) {
        vm.DefineMethod(ctor, name, Nothing, kHidden);
    }
    vm.DefineMethod(ctor, "_escapeXML", EscapeXmlText, kHidden);
    vm.DefineMethod(ctor, "_unescapeXML", UnescapeXmlText, kHidden);
    vm.DefineMethod(ctor, "_jsQuoteString", Nothing, kHidden);
    vm.DefineValue(ctor, "_useSetReturnValueHack", Value::Boolean(false), kHidden);
    vm.DefineValue(ctor, "available", Value::Boolean(false), kHidden | kReadOnly);
    vm.DefineMethod(ctor, "addCallback", No, kHidden);
    vm.DefineMethod(ctor, "call", Null, kHidden);
    for (const char* name : {"_callIn", "_arrayToXML", "_argumentsToXML", "_objectToXML",
                             "_toXML"}) {
        vm.DefineMethod(ctor, name, Nothing, kHidden);
    }
    vm.DefineMethod(ctor, "_objectToAS", ObjectToAs, kHidden);
    vm.DefineMethod(ctor, "_arrayToAS", ArrayToAs, kHidden);
    vm.DefineMethod(ctor, "_toAS", ToAs, kHidden);
    vm.DefineMethod(ctor, "_argumentsToAS", ArgumentsToAs, kHidden);
    for (const char* name : {"_arrayToJS", "_objectToJS", "_toJS"}) {
        vm.DefineMethod(ctor, name, Nothing, kHidden);
    }
}

}  // namespace player::script
