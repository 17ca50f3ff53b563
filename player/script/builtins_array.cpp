// Array: the constructor and the prototype's methods over elements stored as properties.
#include <algorithm>
#include <cmath>

#include "player/script/builtins.h"

namespace player::script {

namespace {

std::uint32_t LengthOf(Vm& vm, Object* o) {
    if (o->Kind() == ObjectKind::kArray) return static_cast<ArrayObject*>(o)->Length();
    const double n = vm.ToNumber(vm.Get(o, "length"));
    return n > 0 ? static_cast<std::uint32_t>(std::min<double>(n, vm.Limits().maxArrayLength)) : 0;
}

std::vector<Value> Elements(Vm& vm, Object* o) {
    std::vector<Value> items;
    const std::uint32_t n = LengthOf(vm, o);
    items.reserve(n);
    for (std::uint32_t i = 0; i < n; ++i) items.push_back(vm.Get(o, std::to_string(i)));
    return items;
}

// Replaces every element of the array with `items`.
void Store(Vm& vm, Object* o, const std::vector<Value>& items) {
    if (o->Kind() == ObjectKind::kArray) static_cast<ArrayObject*>(o)->SetLength(vm, 0);
    for (std::size_t i = 0; i < items.size(); ++i) vm.Set(o, std::to_string(i), items[i]);
    vm.Set(o, "length", Value::Number(static_cast<double>(items.size())));
}

Value ArrayConstruct(Vm& vm, const Value&, std::span<const Value> args) {
    if (args.size() == 1 && args[0].IsNumber()) {
        ArrayObject* array = vm.NewArray();
        const double n = args[0].AsNumber();
        if (n >= 0 && n <= vm.Limits().maxArrayLength)
            array->SetLength(vm, static_cast<std::uint32_t>(n));
        return Value::Obj(array);
    }
    return Value::Obj(vm.NewArray(args));
}

Value Push(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    if (!o) return Value();
    std::uint32_t n = LengthOf(vm, o);
    for (const Value& a : args) vm.Set(o, std::to_string(n++), a);
    if (o->Kind() != ObjectKind::kArray) vm.Set(o, "length", Value::Number(n));
    return Value::Number(n);
}

Value Pop(Vm& vm, const Value& self, std::span<const Value>) {
    Object* o = self.AsObject();
    if (!o) return Value();
    const std::uint32_t n = LengthOf(vm, o);
    if (n == 0) return Value();
    const std::string key = std::to_string(n - 1);
    const Value last = vm.Get(o, key);
    vm.Delete(o, key);
    vm.Set(o, "length", Value::Number(n - 1));
    return last;
}

Value Shift(Vm& vm, const Value& self, std::span<const Value>) {
    Object* o = self.AsObject();
    if (!o) return Value();
    std::vector<Value> items = Elements(vm, o);
    if (items.empty()) return Value();
    const Value first = items.front();
    items.erase(items.begin());
    Store(vm, o, items);
    return first;
}

Value Unshift(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    if (!o) return Value();
    std::vector<Value> items = Elements(vm, o);
    items.insert(items.begin(), args.begin(), args.end());
    Store(vm, o, items);
    return Value::Number(static_cast<double>(items.size()));
}

std::string JoinWith(Vm& vm, Object* o, const std::string& separator) {
    std::string text;
    const std::uint32_t n = LengthOf(vm, o);
    for (std::uint32_t i = 0; i < n; ++i) {
        if (i) text += separator;
        const Value v = vm.Get(o, std::to_string(i));
        if (!v.IsUndefined() || vm.Version() >= 7) text += vm.ToString(v);
        if (text.size() > vm.Limits().maxStringBytes) break;
    }
    return text;
}

Value Join(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    if (!o) return Value();
    const std::string separator =
        args.empty() || args[0].IsUndefined() ? std::string(",") : vm.ToString(args[0]);
    return vm.Str(JoinWith(vm, o, separator));
}

Value ToStringMethod(Vm& vm, const Value& self, std::span<const Value>) {
    Object* o = self.AsObject();
    return o ? vm.Str(JoinWith(vm, o, ",")) : Value();
}

Value Concat(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    std::vector<Value> items = o ? Elements(vm, o) : std::vector<Value>{};
    for (const Value& a : args) {
        Object* other = a.AsObject();
        if (other && other->Kind() == ObjectKind::kArray) {
            std::vector<Value> more = Elements(vm, other);
            items.insert(items.end(), more.begin(), more.end());
        } else {
            items.push_back(a);
        }
    }
    return Value::Obj(vm.NewArray(items));
}

std::size_t Position(Vm& vm, const Value& v, std::size_t length, std::size_t otherwise) {
    if (v.IsUndefined()) return otherwise;
    double n = vm.ToInteger(v);
    if (n < 0) n = std::max(0.0, static_cast<double>(length) + n);
    return static_cast<std::size_t>(std::min(n, static_cast<double>(length)));
}

Value Slice(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    if (!o) return Value();
    const std::vector<Value> items = Elements(vm, o);
    const std::size_t begin = Position(vm, Arg(args, 0), items.size(), 0);
    const std::size_t end = Position(vm, Arg(args, 1), items.size(), items.size());
    std::vector<Value> part;
    if (end > begin) part.assign(items.begin() + begin, items.begin() + end);
    return Value::Obj(vm.NewArray(part));
}

Value Splice(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    if (!o || args.empty()) return Value();
    std::vector<Value> items = Elements(vm, o);
    const std::size_t start = Position(vm, args[0], items.size(), 0);
    std::size_t count = items.size() - start;
    if (args.size() > 1) {
        const double c = vm.ToInteger(args[1]);
        count = c < 0 ? 0 : static_cast<std::size_t>(std::min(c, static_cast<double>(count)));
    }
    std::vector<Value> removed(items.begin() + start, items.begin() + start + count);
    items.erase(items.begin() + start, items.begin() + start + count);
    if (args.size() > 2) items.insert(items.begin() + start, args.begin() + 2, args.end());
    Store(vm, o, items);
    return Value::Obj(vm.NewArray(removed));
}

Value Reverse(Vm& vm, const Value& self, std::span<const Value>) {
    Object* o = self.AsObject();
    if (!o) return Value();
    std::vector<Value> items = Elements(vm, o);
    std::reverse(items.begin(), items.end());
    Store(vm, o, items);
    return self;
}

}  // namespace

void InstallArray(Vm& vm) {
    Realm& realm = vm.GetRealm();
    realm.arrayProto = vm.GetHeap().New<ArrayObject>(realm.objectProto);
    realm.arrayCtor = vm.DefineClass(realm.global, "Array", ArrayConstruct, ArrayConstruct, realm.arrayProto);
    Object* ap = realm.arrayProto;
    vm.DefineMethod(ap, "push", Push);
    vm.DefineMethod(ap, "pop", Pop);
    vm.DefineMethod(ap, "shift", Shift);
    vm.DefineMethod(ap, "unshift", Unshift);
    vm.DefineMethod(ap, "join", Join);
    vm.DefineMethod(ap, "toString", ToStringMethod);
    vm.DefineMethod(ap, "concat", Concat);
    vm.DefineMethod(ap, "slice", Slice);
    vm.DefineMethod(ap, "splice", Splice);
    vm.DefineMethod(ap, "reverse", Reverse);
}

}  // namespace player::script
