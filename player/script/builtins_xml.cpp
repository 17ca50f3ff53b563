// XMLNode and XML: live trees of node objects. Each node keeps its children and its parent in
// C++; childNodes is a script array rewritten whenever the children change, and the node
// properties (firstChild, nodeName, ...) are getter/setter pairs on XMLNode.prototype. XML is
// a node without a name that parses text into children and writes them back.
#include "player/script/builtins_xml.h"

#include <algorithm>
#include <string>
#include <vector>

#include "player/script/builtins.h"
#include "player/script/number_text.h"
#include "player/script/xml_text.h"

namespace player::script {

namespace {

constexpr int kElementNode = 1;
constexpr int kTextNode = 3;

XmlNodeObject* ThisNode(const Value& self) {
    Object* o = self.AsObject();
    return o && o->Kind() == ObjectKind::kNative ? dynamic_cast<XmlNodeObject*>(o) : nullptr;
}

// A node's name or value as stored: null for null and undefined, else the string.
Value TextOrNull(Vm& vm, const Value& v) {
    if (v.IsNullish()) return Value::Null();
    return Value::Str(vm.ToStringCell(v));
}

bool HeapFull(Vm& vm) {
    if (vm.GetHeap().Bytes() <= vm.Limits().maxHeapBytes) return false;
    vm.Stop("the movie's XML outgrew the script heap of " +
            std::to_string(vm.Limits().maxHeapBytes >> 20) + " MiB");
    return true;
}

// A plain property whose name is not interned: attribute names and array indices come from
// movie data and need not live for ever.
void PutPlain(Vm& vm, Object* on, const std::string& name, const Value& value) {
    std::string key = vm.Key(name);
    if (Property* p = on->FindOwn(key); p && !p->IsAccessor()) {
        p->value = value;
    } else {
        vm.GetHeap().Grew(sizeof(Property) + 2 * name.size());
        on->Put(vm.NewString(name), std::move(key), value);
    }
    on->AfterPut(vm, vm.Key(name));
}

// Rewrites the childNodes array from `from` on and renumbers the children there.
void SyncChildren(Vm& vm, XmlNodeObject* node, std::size_t from) {
    auto& children = node->Children();
    for (std::size_t i = from; i < children.size(); ++i) {
        children[i]->SetIndex(i);
        PutPlain(vm, node->ChildArray(), std::to_string(i), Value::Obj(children[i]));
    }
    node->ChildArray()->SetLength(vm, static_cast<std::uint32_t>(children.size()));
}

// Whether `child` may go under `parent`: not when that would put it below itself. A node
// with children is only moved under a parent whose ancestry can be checked in a walk of at
// most `maxWalk` steps.
bool CanAdopt(const XmlNodeObject* parent, const XmlNodeObject* child, std::size_t maxWalk) {
    if (child->Children().empty()) return parent != child;
    std::size_t steps = 0;
    for (const XmlNodeObject* n = parent; n; n = n->Parent()) {
        if (n == child || ++steps > maxWalk) return false;
    }
    return true;
}

void Detach(Vm& vm, XmlNodeObject* child) {
    XmlNodeObject* parent = child->Parent();
    if (!parent) return;
    auto& siblings = parent->Children();
    const std::size_t at = child->Index();
    if (at < siblings.size() && siblings[at] == child) {
        siblings.erase(siblings.begin() + static_cast<std::ptrdiff_t>(at));
        SyncChildren(vm, parent, at);
    }
    child->SetParent(nullptr);
}

// Moves `child` under `parent` at position `at` (clamped), unless CanAdopt refuses.
void Insert(Vm& vm, XmlNodeObject* parent, XmlNodeObject* child, std::size_t at) {
    if (!CanAdopt(parent, child, vm.Limits().maxXmlNesting)) return;
    if (child->Parent() == parent && child->Index() < at) --at;
    Detach(vm, child);
    auto& children = parent->Children();
    at = std::min(at, children.size());
    children.insert(children.begin() + static_cast<std::ptrdiff_t>(at), child);
    child->SetParent(parent);
    SyncChildren(vm, parent, at);
}

XmlNodeObject* NewNode(Vm& vm, Object* proto, int type, const Value& nameOrValue) {
    auto* node = vm.GetHeap().New<XmlNodeObject>(proto, vm.NewObject(), vm.NewArray());
    node->SetType(type);
    if (type == kTextNode)
        node->SetValue(nameOrValue);
    else
        node->SetName(nameOrValue);
    return node;
}

// ---- Text in and out ---------------------------------------------------------------------

// Appends the parsed nodes under `parent`; the parser's depth cap bounds the recursion.
void Build(Vm& vm, XmlNodeObject* parent, const std::vector<XmlNode>& nodes) {
    for (const XmlNode& n : nodes) {
        if (HeapFull(vm)) return;
        const bool text = n.kind == XmlNode::Kind::kText;
        XmlNodeObject* node =
            NewNode(vm, vm.GetRealm().xmlNodeProto, text ? kTextNode : kElementNode,
                    vm.Str(text ? n.value : n.name));
        // Stored last first: the attributes object lists its newest property first, so a
        // for-in over it (and the text written back) follows the document's order.
        for (auto it = n.attributes.rbegin(); it != n.attributes.rend(); ++it)
            PutPlain(vm, node->Attributes(), it->first, vm.Str(it->second));
        node->SetParent(parent);
        parent->Children().push_back(node);
        SyncChildren(vm, parent, parent->Children().size() - 1);
        Build(vm, node, n.children);
    }
}

void RemoveChildren(Vm& vm, XmlNodeObject* node) {
    for (XmlNodeObject* child : node->Children()) child->SetParent(nullptr);
    node->Children().clear();
    SyncChildren(vm, node, 0);
}

XmlLimits LimitsFor(Vm& vm) {
    XmlLimits limits;
    // A node costs its object, its attributes and its child array: about a kilobyte.
    limits.maxNodes = std::min<std::size_t>(limits.maxNodes, vm.Limits().maxHeapBytes / 1024);
    return limits;
}

void Parse(Vm& vm, XmlNodeObject* doc, const std::string& text) {
    RemoveChildren(vm, doc);
    // Read as a property: a movie may have set it on XML.prototype.
    const bool ignoreWhite = vm.ToBoolean(vm.Get(doc, "ignoreWhite"));
    const XmlDocument parsed = ParseXml(text, ignoreWhite, LimitsFor(vm));
    if (!parsed.xmlDecl.empty()) doc->SetXmlDecl(vm.Str(parsed.xmlDecl));
    if (!parsed.docTypeDecl.empty()) doc->SetDocTypeDecl(vm.Str(parsed.docTypeDecl));
    Build(vm, doc, parsed.children);
    doc->SetStatus(parsed.status);
}

class Writer {
  public:
    Writer(Vm& vm, std::string& out) : vm_(vm), out_(out) {}

    // Walks with its own stack: script-built trees can be deeper than any call stack.
    bool Write(XmlNodeObject* root) {
        struct Frame {
            XmlNodeObject* node;
            std::size_t next;
        };
        std::vector<Frame> stack;
        if (Open(root)) stack.push_back({root, 0});
        while (!stack.empty() && Fits()) {
            Frame& f = stack.back();
            if (f.next < f.node->Children().size()) {
                XmlNodeObject* child = f.node->Children()[f.next++];
                if (Open(child)) stack.push_back({child, 0});
                continue;
            }
            if (f.node->Name().IsString()) {
                out_ += "</";
                out_ += f.node->Name().Text();
                out_ += '>';
            }
            stack.pop_back();
        }
        return Fits();
    }

  private:
    bool Fits() const { return out_.size() <= vm_.Limits().maxStringBytes; }

    // Writes the node's start; true when its children and end are still to come.
    bool Open(XmlNodeObject* node) {
        if (node->Type() == kTextNode) {
            if (node->GetValue().IsString()) out_ += EscapeXml(node->GetValue().Text());
            return false;
        }
        if (!node->Name().IsString()) return !node->Children().empty();
        out_ += '<';
        out_ += node->Name().Text();
        Object* attributes = node->Attributes();
        // Newest first, as a for-in lists them. Converting a value can run a script's
        // toString, which may change the attributes.
        for (std::size_t k = attributes->Properties().size(); k > 0 && Fits(); --k) {
            if (k > attributes->Properties().size()) continue;
            const Property p = attributes->Properties()[k - 1];
            if ((p.flags & kDontEnum) || p.IsAccessor()) continue;
            const std::string value = vm_.ToString(p.value);
            out_ += ' ';
            out_ += p.name->Text();
            out_ += "=\"";
            out_ += EscapeXml(value);
            out_ += '"';
        }
        if (node->Children().empty()) {
            out_ += " />";
            return false;
        }
        out_ += '>';
        return true;
    }

    Vm& vm_;
    std::string& out_;
};

Value WriteText(Vm& vm, std::string out, XmlNodeObject* node) {
    if (!Writer(vm, out).Write(node)) {
        vm.Stop("an XML object's text grew past " + std::to_string(vm.Limits().maxStringBytes) +
                " bytes");
        return Value();
    }
    return vm.Str(std::move(out));
}

// ---- Namespaces --------------------------------------------------------------------------

// The prefix an attribute declares a namespace for: "xmlns:p" declares p; "xmlns", "xmlns:"
// and any other name starting "xmlns" declare the default one (""). False for other names.
bool DeclaredPrefix(const std::string& name, std::string* prefix) {
    if (!name.starts_with("xmlns")) return false;
    *prefix = name.size() > 5 && name[5] == ':' ? name.substr(6) : "";
    return true;
}

// Calls `visit(prefix, value)` for the node's declarations in document order (newest
// property first) until it returns true.
template <class Visit>
bool VisitDeclarations(XmlNodeObject* node, Visit&& visit) {
    const auto& props = node->Attributes()->Properties();
    for (std::size_t k = props.size(); k > 0; --k) {
        if (k > props.size()) continue;
        const Property p = props[k - 1];
        std::string prefix;
        if (p.IsAccessor() || !p.name || !DeclaredPrefix(p.name->Text(), &prefix)) continue;
        if (visit(prefix, p.value)) return true;
    }
    return false;
}

// The namespace the node or its nearest ancestor declaring the prefix gives it.
Value NamespaceFor(XmlNodeObject* node, const std::string& prefix) {
    Value found = Value::Null();
    for (XmlNodeObject* n = node; n; n = n->Parent()) {
        const bool hit = VisitDeclarations(n, [&](const std::string& p, const Value& v) {
            if (p != prefix) return false;
            found = v;
            return true;
        });
        if (hit) break;
    }
    return found;
}

std::string PrefixOf(const std::string& name) {
    const auto colon = name.find(':');
    return colon == std::string::npos ? "" : name.substr(0, colon);
}

std::string LocalNameOf(const std::string& name) {
    const auto colon = name.find(':');
    return colon == std::string::npos ? name : name.substr(colon + 1);
}

// ---- XMLNode properties ------------------------------------------------------------------

template <Value (*Read)(Vm&, XmlNodeObject*)>
Value NodeGetter(Vm& vm, const Value& self, std::span<const Value>) {
    XmlNodeObject* node = ThisNode(self);
    return node ? Read(vm, node) : Value();
}

Value NodeOrNull(XmlNodeObject* node) {
    return node ? Value::Obj(node) : Value::Null();
}

Value ReadType(Vm&, XmlNodeObject* n) {
    return Value::Number(n->Type());
}
Value ReadName(Vm&, XmlNodeObject* n) {
    return n->Name();
}
Value ReadValue(Vm&, XmlNodeObject* n) {
    return n->GetValue();
}
Value ReadAttributes(Vm&, XmlNodeObject* n) {
    return Value::Obj(n->Attributes());
}
Value ReadChildNodes(Vm&, XmlNodeObject* n) {
    return Value::Obj(n->ChildArray());
}
Value ReadParent(Vm&, XmlNodeObject* n) {
    return NodeOrNull(n->Parent());
}
Value ReadFirstChild(Vm&, XmlNodeObject* n) {
    return NodeOrNull(n->Children().empty() ? nullptr : n->Children().front());
}
Value ReadLastChild(Vm&, XmlNodeObject* n) {
    return NodeOrNull(n->Children().empty() ? nullptr : n->Children().back());
}
Value ReadNextSibling(Vm&, XmlNodeObject* n) {
    XmlNodeObject* p = n->Parent();
    const std::size_t next = n->Index() + 1;
    return NodeOrNull(p && next < p->Children().size() ? p->Children()[next] : nullptr);
}
Value ReadPreviousSibling(Vm&, XmlNodeObject* n) {
    XmlNodeObject* p = n->Parent();
    return NodeOrNull(p && n->Index() > 0 ? p->Children()[n->Index() - 1] : nullptr);
}
Value ReadPrefix(Vm& vm, XmlNodeObject* n) {
    return n->Name().IsString() ? vm.Str(PrefixOf(n->Name().Text())) : Value::Null();
}
Value ReadLocalName(Vm& vm, XmlNodeObject* n) {
    return n->Name().IsString() ? vm.Str(LocalNameOf(n->Name().Text())) : Value::Null();
}
Value ReadNamespaceUri(Vm&, XmlNodeObject* n) {
    if (!n->Name().IsString()) return Value::Null();
    return NamespaceFor(n, PrefixOf(n->Name().Text()));
}

// Undefined leaves the name or value as it was.
Value SetNodeName(Vm& vm, const Value& self, std::span<const Value> args) {
    XmlNodeObject* node = ThisNode(self);
    if (node && !Arg(args, 0).IsUndefined()) node->SetName(TextOrNull(vm, args[0]));
    return Value();
}

Value SetNodeValue(Vm& vm, const Value& self, std::span<const Value> args) {
    XmlNodeObject* node = ThisNode(self);
    if (node && !Arg(args, 0).IsUndefined()) node->SetValue(TextOrNull(vm, args[0]));
    return Value();
}

void DefineAccessor(Vm& vm, Object* on, std::string_view name, NativeFn get, NativeFn set) {
    FunctionObject* getter = vm.NewNative(get);
    FunctionObject* setter = set ? vm.NewNative(set) : nullptr;
    vm.GetHeap().Grew(sizeof(Property));
    Property& p = on->Put(vm.Intern(name), vm.Key(name), Value(), kDontEnum);
    p.getter = getter;
    p.setter = setter;
}

// ---- XMLNode methods ---------------------------------------------------------------------

Value NodeConstruct(Vm& vm, const Value&, std::span<const Value> args) {
    Object* proto = vm.GetRealm().xmlNodeProto;
    // Without both a type and a text the node is never made: the object stays a plain one.
    if (args.size() < 2) return Value::Obj(vm.GetHeap().New<Object>(proto));
    const int type = vm.ToNumber(args[0]) == kTextNode ? kTextNode : kElementNode;
    return Value::Obj(NewNode(vm, proto, type, TextOrNull(vm, args[1])));
}

Object* MakeNodeInstance(Vm& vm, Object* proto) {
    return NewNode(vm, proto, kElementNode, Value::Null());
}

// On a node (super() in a class extending XMLNode) sets its type and text.
Value NodeCall(Vm& vm, const Value& self, std::span<const Value> args) {
    XmlNodeObject* node = ThisNode(self);
    if (!node || args.size() < 2 || node->IsDocument()) return Value();
    node->SetType(vm.ToNumber(args[0]) == kTextNode ? kTextNode : kElementNode);
    node->SetName(Value::Null());
    node->SetValue(Value::Null());
    if (node->Type() == kTextNode)
        node->SetValue(TextOrNull(vm, args[1]));
    else
        node->SetName(TextOrNull(vm, args[1]));
    return Value();
}

Value AppendChild(Vm& vm, const Value& self, std::span<const Value> args) {
    XmlNodeObject* node = ThisNode(self);
    XmlNodeObject* child = ThisNode(Arg(args, 0));
    if (node && child) Insert(vm, node, child, node->Children().size());
    return Value();
}

Value InsertBefore(Vm& vm, const Value& self, std::span<const Value> args) {
    XmlNodeObject* node = ThisNode(self);
    XmlNodeObject* child = ThisNode(Arg(args, 0));
    XmlNodeObject* before = ThisNode(Arg(args, 1));
    if (!node || !child || !before || before->Parent() != node || child == before) return Value();
    Insert(vm, node, child, before->Index());
    return Value();
}

Value RemoveNode(Vm& vm, const Value& self, std::span<const Value>) {
    if (XmlNodeObject* node = ThisNode(self)) Detach(vm, node);
    return Value();
}

Value HasChildNodes(Vm&, const Value& self, std::span<const Value>) {
    XmlNodeObject* node = ThisNode(self);
    return node ? Value::Boolean(!node->Children().empty()) : Value();
}

XmlNodeObject* CopyOne(Vm& vm, XmlNodeObject* source) {
    XmlNodeObject* copy = NewNode(vm, source->Proto(), source->Type(), Value::Null());
    copy->SetName(source->Name());
    copy->SetValue(source->GetValue());
    if (source->IsDocument()) {
        copy->MakeDocument();
        copy->SetStatus(source->Status());
        copy->SetIgnoreWhite(source->IgnoreWhite());
        copy->SetLoaded(source->Loaded());
        copy->SetXmlDecl(source->XmlDecl());
        copy->SetDocTypeDecl(source->DocTypeDecl());
    }
    for (const Property& p : source->Attributes()->Properties()) {
        if (p.IsAccessor()) continue;
        vm.GetHeap().Grew(sizeof(Property) + p.key.size());
        copy->Attributes()->Put(p.name, p.key, p.value, p.flags);
    }
    return copy;
}

Value CloneNode(Vm& vm, const Value& self, std::span<const Value> args) {
    XmlNodeObject* source = ThisNode(self);
    if (!source) return Value();
    XmlNodeObject* root = CopyOne(vm, source);
    if (!vm.ToBoolean(Arg(args, 0))) return Value::Obj(root);
    std::vector<std::pair<XmlNodeObject*, XmlNodeObject*>> pending = {{source, root}};
    while (!pending.empty() && !HeapFull(vm)) {
        auto [from, to] = pending.back();
        pending.pop_back();
        for (XmlNodeObject* child : from->Children()) {
            XmlNodeObject* copy = CopyOne(vm, child);
            copy->SetParent(to);
            to->Children().push_back(copy);
            pending.emplace_back(child, copy);
        }
        SyncChildren(vm, to, 0);
    }
    return Value::Obj(root);
}

// A document starts with its declaration and DOCTYPE.
Value NodeToString(Vm& vm, const Value& self, std::span<const Value>) {
    XmlNodeObject* node = ThisNode(self);
    if (!node) return Value();
    std::string head;
    if (node->IsDocument()) {
        for (const Value* v : {&node->XmlDecl(), &node->DocTypeDecl()})
            if (!v->IsNullish()) head += vm.ToString(*v);
    }
    return WriteText(vm, std::move(head), node);
}

Value GetNamespaceForPrefix(Vm& vm, const Value& self, std::span<const Value> args) {
    XmlNodeObject* node = ThisNode(self);
    if (!node) return Value();
    return NamespaceFor(node, vm.ToString(Arg(args, 0)));
}

Value GetPrefixForNamespace(Vm& vm, const Value& self, std::span<const Value> args) {
    XmlNodeObject* node = ThisNode(self);
    if (!node) return Value();
    const std::string uri = vm.ToString(Arg(args, 0));
    Value found = Value::Null();
    for (XmlNodeObject* n = node; n; n = n->Parent()) {
        const bool hit = VisitDeclarations(n, [&](const std::string& p, const Value& v) {
            if (vm.ToString(v) != uri) return false;
            found = vm.Str(p);
            return true;
        });
        if (hit) break;
    }
    return found;
}

// ---- XML ---------------------------------------------------------------------------------

Value XmlConstruct(Vm& vm, const Value&, std::span<const Value> args) {
    XmlNodeObject* doc = NewNode(vm, vm.GetRealm().xmlProto, kElementNode, Value::Null());
    doc->MakeDocument();
    if (!args.empty() && !args[0].IsUndefined()) Parse(vm, doc, vm.ToString(args[0]));
    return Value::Obj(doc);
}

Object* MakeXmlInstance(Vm& vm, Object* proto) {
    XmlNodeObject* doc = NewNode(vm, proto, kElementNode, Value::Null());
    doc->MakeDocument();
    return doc;
}

// On a document (super() in a class extending XML) parses the text given.
Value XmlCall(Vm& vm, const Value& self, std::span<const Value> args) {
    XmlNodeObject* doc = ThisNode(self);
    if (doc && doc->IsDocument() && !args.empty() && !args[0].IsUndefined())
        Parse(vm, doc, vm.ToString(args[0]));
    return Value();
}

Value ParseXmlMethod(Vm& vm, const Value& self, std::span<const Value> args) {
    if (XmlNodeObject* doc = ThisNode(self)) Parse(vm, doc, vm.ToString(Arg(args, 0)));
    return Value();
}

Value CreateElement(Vm& vm, const Value&, std::span<const Value> args) {
    return Value::Obj(
        NewNode(vm, vm.GetRealm().xmlNodeProto, kElementNode, TextOrNull(vm, Arg(args, 0))));
}

Value CreateTextNode(Vm& vm, const Value&, std::span<const Value> args) {
    return Value::Obj(
        NewNode(vm, vm.GetRealm().xmlNodeProto, kTextNode, TextOrNull(vm, Arg(args, 0))));
}

// ---- XML properties ----------------------------------------------------------------------

XmlNodeObject* ThisDocument(const Value& self) {
    XmlNodeObject* node = ThisNode(self);
    return node && node->IsDocument() ? node : nullptr;
}

template <Value (*Read)(Vm&, XmlNodeObject*)>
Value DocumentGetter(Vm& vm, const Value& self, std::span<const Value>) {
    XmlNodeObject* doc = ThisDocument(self);
    return doc ? Read(vm, doc) : Value();
}

Value ReadStatus(Vm&, XmlNodeObject* d) {
    return Value::Number(d->Status());
}
Value ReadIgnoreWhite(Vm&, XmlNodeObject* d) {
    return Value::Boolean(d->IgnoreWhite());
}
Value ReadLoaded(Vm&, XmlNodeObject* d) {
    return d->Loaded();
}
Value ReadXmlDecl(Vm&, XmlNodeObject* d) {
    return d->XmlDecl();
}
Value ReadDocTypeDecl(Vm&, XmlNodeObject* d) {
    return d->DocTypeDecl();
}

Value SetStatus(Vm& vm, const Value& self, std::span<const Value> args) {
    if (XmlNodeObject* doc = ThisDocument(self)) doc->SetStatus(vm.ToNumber(Arg(args, 0)));
    return Value();
}

// On an object that is no document (XML.prototype itself, as movies set it to change every
// document's default) the value becomes a plain property in place of the pair.
Value SetIgnoreWhite(Vm& vm, const Value& self, std::span<const Value> args) {
    const bool ignore = vm.ToBoolean(Arg(args, 0));
    if (XmlNodeObject* doc = ThisDocument(self)) {
        doc->SetIgnoreWhite(ignore);
    } else if (Object* o = self.AsObject()) {
        o->Put(vm.Intern("ignoreWhite"), vm.Key("ignoreWhite"), Value::Boolean(ignore), kDontEnum);
    }
    return Value();
}

Value SetLoaded(Vm& vm, const Value& self, std::span<const Value> args) {
    if (XmlNodeObject* doc = ThisDocument(self))
        doc->SetLoaded(Value::Boolean(vm.ToBoolean(Arg(args, 0))));
    return Value();
}

Value SetXmlDecl(Vm&, const Value& self, std::span<const Value> args) {
    if (XmlNodeObject* doc = ThisDocument(self)) doc->SetXmlDecl(Arg(args, 0));
    return Value();
}

Value SetDocTypeDecl(Vm&, const Value& self, std::span<const Value> args) {
    if (XmlNodeObject* doc = ThisDocument(self)) doc->SetDocTypeDecl(Arg(args, 0));
    return Value();
}

// The default onData: text parsed and onLoad(true), or onLoad(false) when nothing came.
Value XmlOnData(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    if (!o) return Value();
    const Value src = Arg(args, 0);
    if (src.IsUndefined()) {
        const Value failed[] = {Value::Boolean(false)};
        vm.CallMethod(self, "onLoad", failed);
        return Value();
    }
    if (XmlNodeObject* doc = ThisNode(self)) Parse(vm, doc, vm.ToString(src));
    vm.Set(o, "loaded", Value::Boolean(true));
    const Value done[] = {Value::Boolean(true)};
    vm.CallMethod(self, "onLoad", done);
    return Value();
}

Value XmlLoad(Vm& vm, const Value& self, std::span<const Value> args) {
    return LoadText(vm, self, "XML", vm.ToString(Arg(args, 0)));
}

Value XmlSendAndLoad(Vm& vm, const Value&, std::span<const Value> args) {
    return LoadText(vm, Arg(args, 1), "XML", vm.ToString(Arg(args, 0)));
}

Value XmlSend(Vm& vm, const Value&, std::span<const Value> args) {
    vm.GetHost().Problem("a script sent XML to \"" + vm.ToString(Arg(args, 0)) +
                         "\"; nothing is sent");
    return Value::Boolean(false);
}

}  // namespace

void XmlNodeObject::Trace(Marker& marker) const {
    Object::Trace(marker);
    name_.Mark(marker);
    value_.Mark(marker);
    marker.Mark(attributes_);
    marker.Mark(childArray_);
    marker.Mark(parent_);
    for (const XmlNodeObject* child : children_) marker.Mark(child);
    loaded_.Mark(marker);
    xmlDecl_.Mark(marker);
    docTypeDecl_.Mark(marker);
}

std::size_t XmlNodeObject::Size() const {
    return Object::Size() + sizeof(XmlNodeObject) - sizeof(Object) +
           children_.capacity() * sizeof(XmlNodeObject*);
}

Value LoadText(Vm& vm, const Value& target, std::string_view kind, const std::string& url) {
    std::string text, reason;
    const bool read = vm.GetHost().ReadTextBeside(url, &text, &reason);
    if (!read)
        vm.GetHost().Problem("a script asked " + std::string(kind) + " to load \"" + url +
                             "\": " + reason + "; the load fails");
    Object* o = target.AsObject();
    if (!o) return Value::Boolean(false);
    vm.Set(o, "loaded", Value::Boolean(false));
    // As a download does: onData on the next frame, with the text or with nothing.
    std::vector<Value> args;
    if (read) args.push_back(vm.Str(std::move(text)));
    vm.AddTimer(Value(), target, vm.Str("onData"), std::move(args), 1, false);
    return Value::Boolean(true);
}

namespace {

// The variables of loaded text set on the clip it was loaded into, then its onData.
Value VariablesArrived(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* clip = self.AsObject();
    if (!clip || args.empty()) return Value();
    for (const auto& [name, value] : DecodeVariables(vm.ToString(args[0]))) {
        if (vm.Stopped()) return Value();
        vm.Set(clip, name, vm.Str(value));
    }
    if (ClipHost* host = vm.ClipOf(clip)) host->DataArrived();
    const Value handler = vm.Get(clip, "onData");
    if (handler.AsObject() && handler.AsObject()->Kind() == ObjectKind::kFunction)
        vm.Call(handler, self, {});
    return Value();
}

}  // namespace

void LoadVariablesInto(Vm& vm, ClipHost* clip, const std::string& url) {
    std::string text, reason;
    if (!vm.GetHost().ReadTextBeside(url, &text, &reason)) {
        vm.GetHost().Problem("a script asked to load variables from \"" + url + "\": " +
                             reason + "; the load fails");
        return;
    }
    if (!clip) {
        vm.GetHost().Problem("a script loaded variables from \"" + url +
                             "\" into a clip that is not there");
        return;
    }
    const Value args[] = {vm.Str(std::move(text))};
    vm.AddTimer(Value::Obj(vm.NewNative(VariablesArrived)), Value::Obj(vm.ClipFor(clip)),
                Value(), std::vector<Value>(std::begin(args), std::end(args)), 1, false);
}

// Members are defined in the reverse of the order for-in lists them.
void InstallXml(Vm& vm) {
    Realm& realm = vm.GetRealm();
    Heap& heap = vm.GetHeap();

    realm.xmlNodeProto = heap.New<Object>(realm.objectProto);
    Object* np = realm.xmlNodeProto;
    vm.DefineClass(realm.global, "XMLNode", NodeCall, NodeConstruct, np);
    realm.nativeClasses.emplace_back(np, MakeNodeInstance);
    DefineAccessor(vm, np, "namespaceURI", NodeGetter<ReadNamespaceUri>, nullptr);
    DefineAccessor(vm, np, "localName", NodeGetter<ReadLocalName>, nullptr);
    DefineAccessor(vm, np, "prefix", NodeGetter<ReadPrefix>, nullptr);
    DefineAccessor(vm, np, "previousSibling", NodeGetter<ReadPreviousSibling>, nullptr);
    DefineAccessor(vm, np, "parentNode", NodeGetter<ReadParent>, nullptr);
    DefineAccessor(vm, np, "nodeValue", NodeGetter<ReadValue>, SetNodeValue);
    DefineAccessor(vm, np, "nodeType", NodeGetter<ReadType>, nullptr);
    DefineAccessor(vm, np, "nodeName", NodeGetter<ReadName>, SetNodeName);
    DefineAccessor(vm, np, "nextSibling", NodeGetter<ReadNextSibling>, nullptr);
    DefineAccessor(vm, np, "lastChild", NodeGetter<ReadLastChild>, nullptr);
    DefineAccessor(vm, np, "firstChild", NodeGetter<ReadFirstChild>, nullptr);
    DefineAccessor(vm, np, "childNodes", NodeGetter<ReadChildNodes>, nullptr);
    DefineAccessor(vm, np, "attributes", NodeGetter<ReadAttributes>, nullptr);
    vm.DefineMethod(np, "getPrefixForNamespace", GetPrefixForNamespace);
    vm.DefineMethod(np, "getNamespaceForPrefix", GetNamespaceForPrefix);
    vm.DefineMethod(np, "toString", NodeToString);
    vm.DefineMethod(np, "hasChildNodes", HasChildNodes);
    vm.DefineMethod(np, "appendChild", AppendChild);
    vm.DefineMethod(np, "insertBefore", InsertBefore);
    vm.DefineMethod(np, "removeNode", RemoveNode);
    vm.DefineMethod(np, "cloneNode", CloneNode);

    realm.xmlProto = heap.New<Object>(np);
    Object* xp = realm.xmlProto;
    vm.DefineClass(realm.global, "XML", XmlCall, XmlConstruct, xp);
    realm.nativeClasses.emplace_back(xp, MakeXmlInstance);
    DefineAccessor(vm, xp, "xmlDecl", DocumentGetter<ReadXmlDecl>, SetXmlDecl);
    DefineAccessor(vm, xp, "status", DocumentGetter<ReadStatus>, SetStatus);
    DefineAccessor(vm, xp, "loaded", DocumentGetter<ReadLoaded>, SetLoaded);
    DefineAccessor(vm, xp, "ignoreWhite", DocumentGetter<ReadIgnoreWhite>, SetIgnoreWhite);
    DefineAccessor(vm, xp, "docTypeDecl", DocumentGetter<ReadDocTypeDecl>, SetDocTypeDecl);
    vm.DefineValue(xp, "contentType", vm.Str("application/x-www-form-urlencoded"));
    vm.DefineMethod(xp, "addRequestHeader", Nothing);
    vm.DefineMethod(xp, "getBytesTotal", Nothing);
    vm.DefineMethod(xp, "getBytesLoaded", Nothing);
    vm.DefineMethod(xp, "onData", XmlOnData);
    vm.DefineMethod(xp, "onLoad", Nothing);
    vm.DefineMethod(xp, "sendAndLoad", XmlSendAndLoad);
    vm.DefineMethod(xp, "send", XmlSend);
    vm.DefineMethod(xp, "load", XmlLoad);
    vm.DefineMethod(xp, "parseXML", ParseXmlMethod);
    vm.DefineMethod(xp, "createTextNode", CreateTextNode);
    vm.DefineMethod(xp, "createElement", CreateElement);
}

}  // namespace player::script
