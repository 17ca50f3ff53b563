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

// unshift(items...): the elements move up from the last one down (holes become undefined
// elements), then the new ones are written from the front, as for-in's order shows.
Value Unshift(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    if (!o) return Value();
    const std::vector<Value> items = Elements(vm, o);
    const std::size_t total = items.size() + args.size();
    if (total > vm.Limits().maxArrayLength) {
        vm.Stop("an array grew past " + std::to_string(vm.Limits().maxArrayLength) + " elements");
        return Value();
    }
    // The old elements go, except those that may not be deleted (they keep their place and
    // flags); the moved ones and then the new ones are stored afresh.
    if (o->Kind() == ObjectKind::kArray)
        static_cast<ArrayObject*>(o)->RemoveDeletableElements();
    else
        for (std::size_t i = 0; i < items.size(); ++i) vm.Delete(o, std::to_string(i));
    for (std::size_t i = items.size(); i-- > 0;)
        vm.Set(o, std::to_string(i + args.size()), items[i]);
    for (std::size_t i = 0; i < args.size(); ++i) vm.Set(o, std::to_string(i), args[i]);
    vm.Set(o, "length", Value::Number(static_cast<double>(total)));
    return Value::Number(static_cast<double>(total));
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
        if (items.size() > vm.Limits().maxArrayLength) {
            vm.Stop("an array grew past " + std::to_string(vm.Limits().maxArrayLength) +
                    " elements");
            return Value();
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

// splice(start, count, items...): an undefined start, an undefined count given explicitly or
// a negative count change nothing and answer undefined; a null start is 0.
Value Splice(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    if (!o || args.empty() || args[0].IsUndefined()) return Value();
    std::size_t count = 0;
    double c = 0;
    if (args.size() > 1) {
        if (args[1].IsUndefined()) return Value();
        c = vm.ToInteger(args[1]);
        if (c < 0) return Value();
    }
    std::vector<Value> items = Elements(vm, o);
    const std::size_t start = Position(vm, args[0], items.size(), 0);
    count = items.size() - start;
    if (args.size() > 1) count = static_cast<std::size_t>(std::min(c, static_cast<double>(count)));
    if (items.size() + (args.size() > 2 ? args.size() - 2 : 0) > vm.Limits().maxArrayLength) {
        vm.Stop("an array grew past " + std::to_string(vm.Limits().maxArrayLength) + " elements");
        return Value();
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

// ---- Sorting ---------------------------------------------------------------------------------

enum SortFlag : std::uint32_t {
    kCaseInsensitive = 1,
    kDescending = 2,
    kUniqueSort = 4,
    kReturnIndexedArray = 8,
    kNumeric = 16,
};

// A merge sort of positions that stays in bounds whatever the comparison answers (a
// script's comparator may be inconsistent). `compare` answers <0, 0 or >0; false from `ok`
// abandons the sort (an exception or a stopped machine).
template <class Compare, class Ok>
void MergeSort(std::vector<std::uint32_t>& order, Compare compare, Ok ok) {
    std::vector<std::uint32_t> scratch(order.size());
    for (std::size_t width = 1; width < order.size(); width *= 2) {
        for (std::size_t lo = 0; lo < order.size(); lo += 2 * width) {
            const std::size_t mid = std::min(lo + width, order.size());
            const std::size_t hi = std::min(lo + 2 * width, order.size());
            std::size_t a = lo, b = mid, out = lo;
            while (a < mid && b < hi) {
                if (!ok()) return;
                scratch[out++] = compare(order[b], order[a]) < 0 ? order[b++] : order[a++];
            }
            while (a < mid) scratch[out++] = order[a++];
            while (b < hi) scratch[out++] = order[b++];
        }
        order.swap(scratch);
    }
}

// The player's own sort: a quicksort whose pivot is the first element of each range, compared
// (pivot, element) in an order a script's comparator can observe. Inconsistent comparators
// cannot make it run forever: past a budget of comparisons it gives up (false) and the caller
// finishes with the merge sort.
template <class Compare, class Ok>
bool QuickSort(std::vector<std::uint32_t>& a, Compare compare, Ok ok) {
    if (a.size() < 2) return true;
    double budget = 16.0 * static_cast<double>(a.size()) * (std::log2(a.size()) + 2) + 4096;
    auto cmp = [&](std::uint32_t x, std::uint32_t y) {
        budget -= 1;
        return compare(x, y);
    };
    std::vector<std::pair<std::size_t, std::size_t>> ranges{{0, a.size() - 1}};
    while (!ranges.empty()) {
        const auto [lo, hi] = ranges.back();
        ranges.pop_back();
        if (hi <= lo) continue;
        if (!ok() || budget < 0) return false;
        if (hi - lo == 1) {
            if (cmp(a[lo], a[hi]) > 0) std::swap(a[lo], a[hi]);
            continue;
        }
        const std::uint32_t pivot = a[lo];
        std::size_t i = lo + 1, j = hi;
        while (true) {
            while (i <= hi && cmp(pivot, a[i]) > 0) ++i;
            if (i > hi) {
                j = hi;
                break;
            }
            if (j == i) --j;
            while (j > lo && cmp(pivot, a[j]) <= 0) --j;
            if (i >= j || !ok() || budget < 0) break;
            std::swap(a[i], a[j]);
        }
        if (!ok() || budget < 0) return false;
        std::swap(a[lo], a[j]);
        // The left part is sorted first.
        if (j + 1 < hi) ranges.push_back({j + 1, hi});
        if (j > lo + 1) ranges.push_back({lo, j - 1});
    }
    return true;
}

int Sign(double d) { return d < 0 ? -1 : d > 0 ? 1 : 0; }

std::string Folded(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// Two values compared as the flags ask: as numbers or as text (folded when case does not
// count), reversed when descending.
int CompareValues(Vm& vm, const Value& a, const Value& b, std::uint32_t flags) {
    int r;
    if (flags & kNumeric) {
        const double x = vm.ToNumber(a), y = vm.ToNumber(b);
        // NaN (not a number at all) goes after every number.
        if (std::isnan(x) || std::isnan(y))
            r = std::isnan(x) == std::isnan(y) ? 0 : std::isnan(x) ? 1 : -1;
        else
            r = Sign(x - y);
    } else {
        std::string x = vm.ToString(a), y = vm.ToString(b);
        if (flags & kCaseInsensitive) {
            x = Folded(std::move(x));
            y = Folded(std::move(y));
        }
        r = x.compare(y);
        r = r < 0 ? -1 : r > 0 ? 1 : 0;
    }
    return flags & kDescending ? -r : r;
}

// Sorts `items` by `compare` and answers as sort and sortOn do: the array itself, 0 when
// UNIQUESORT found two equal elements, or the sorted positions when RETURNINDEXEDARRAY.
template <class Compare>
Value SortAndAnswer(Vm& vm, Object* o, const Value& self, std::vector<Value>& items,
                    std::uint32_t flags, Compare compare) {
    std::vector<std::uint32_t> order(items.size());
    for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    auto ok = [&vm] { return !vm.Throwing() && !vm.Stopped(); };
    if (!QuickSort(order, compare, ok) && ok()) MergeSort(order, compare, ok);
    if (!ok()) return Value();
    if (flags & kUniqueSort) {
        for (std::size_t i = 1; i < order.size(); ++i)
            if (compare(order[i - 1], order[i]) == 0) return Value::Number(0);
        if (!ok()) return Value();
    }
    if (flags & kReturnIndexedArray) {
        std::vector<Value> positions;
        positions.reserve(order.size());
        for (std::uint32_t i : order) positions.push_back(Value::Number(i));
        return Value::Obj(vm.NewArray(positions));
    }
    std::vector<Value> sorted;
    sorted.reserve(order.size());
    for (std::uint32_t i : order) sorted.push_back(items[i]);
    Store(vm, o, sorted);
    return self;
}

// sort(), sort(flags), sort(compare), sort(compare, flags).
Value Sort(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    if (!o) return Value();
    Value comparator;
    std::uint32_t flags = 0;
    std::size_t next = 0;
    if (Object* f = Arg(args, 0).AsObject(); f && f->Kind() == ObjectKind::kFunction) {
        comparator = args[0];
        next = 1;
    }
    if (next < args.size()) flags = vm.ToUint32(args[next]);
    std::vector<Value> items = Elements(vm, o);
    if (comparator.IsUndefined()) {
        return SortAndAnswer(vm, o, self, items, flags, [&](std::uint32_t a, std::uint32_t b) {
            return CompareValues(vm, items[a], items[b], flags);
        });
    }
    return SortAndAnswer(vm, o, self, items, flags, [&](std::uint32_t a, std::uint32_t b) {
        const Value pair[2] = {items[a], items[b]};
        const int r = Sign(vm.ToNumber(vm.Call(comparator, Value(), pair)));
        return flags & kDescending ? -r : r;
    });
}

// sortOn(field or [fields], flags or [flags per field]).
Value SortOn(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    if (!o || args.empty()) return Value();
    std::vector<std::string> fields;
    std::vector<std::uint32_t> fieldFlags;
    Object* names = args[0].AsObject();
    if (names && names->Kind() == ObjectKind::kArray) {
        for (const Value& v : Elements(vm, names)) fields.push_back(vm.ToString(v));
    } else {
        fields.push_back(vm.ToString(args[0]));
    }
    std::uint32_t flags = 0;
    Object* flagList = Arg(args, 1).AsObject();
    if (flagList && flagList->Kind() == ObjectKind::kArray) {
        const std::vector<Value> list = Elements(vm, flagList);
        // Flags per field count only when there is one for every field.
        if (list.size() == fields.size())
            for (const Value& v : list) fieldFlags.push_back(vm.ToUint32(v));
    } else if (args.size() > 1) {
        flags = vm.ToUint32(args[1]);
    }
    if (fieldFlags.empty()) fieldFlags.assign(fields.size(), flags);
    std::vector<Value> items = Elements(vm, o);
    if (fields.empty()) return self;
    if (fields.size() * items.size() > 8.0 * vm.Limits().maxArrayLength) {
        vm.Stop("sortOn was asked to read more than " +
                std::to_string(vm.Limits().maxArrayLength) + " fields");
        return Value();
    }
    // Each element's fields, read once.
    std::vector<std::vector<Value>> keys(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        keys[i].reserve(fields.size());
        for (const std::string& field : fields) {
            Object* element = items[i].AsObject();
            keys[i].push_back(element ? vm.Get(element, field) : Value());
        }
    }
    const std::uint32_t answer = fieldFlags.empty() ? flags : fieldFlags[0];
    return SortAndAnswer(vm, o, self, items, answer, [&](std::uint32_t a, std::uint32_t b) {
        for (std::size_t f = 0; f < fields.size(); ++f) {
            const int r = CompareValues(vm, keys[a][f], keys[b][f], fieldFlags[f]);
            if (r) return r;
        }
        return 0;
    });
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
    vm.DefineMethod(ap, "sort", Sort);
    vm.DefineMethod(ap, "sortOn", SortOn);
    Object* ctor = realm.arrayCtor;
    const std::uint16_t constant = kDontEnum | kDontDelete | kReadOnly;
    vm.DefineValue(ctor, "CASEINSENSITIVE", Value::Number(kCaseInsensitive), constant);
    vm.DefineValue(ctor, "DESCENDING", Value::Number(kDescending), constant);
    vm.DefineValue(ctor, "UNIQUESORT", Value::Number(kUniqueSort), constant);
    vm.DefineValue(ctor, "RETURNINDEXEDARRAY", Value::Number(kReturnIndexedArray), constant);
    vm.DefineValue(ctor, "NUMERIC", Value::Number(kNumeric), constant);
}

}  // namespace player::script
