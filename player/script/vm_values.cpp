// The machine's value rules: conversions, equality and ordering by movie version, property
// access along prototypes (getters, setters, watchers, flags), variables along the scope
// chain and target paths.
#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "player/script/builtins.h"
#include "player/script/frame.h"
#include "player/script/number_text.h"
#include "player/script/utf8.h"
#include "player/script/vm.h"

namespace player::script {

namespace {

bool HiddenByVersion(const Property& p, int version) {
    // Bits 7, 8 and 10, 12, 13, 14 hide a property from movies older than 6, 7, 7, 8, 9, 10.
    const std::uint16_t f = p.flags;
    return ((f & kVersion6) && version < 6) || ((f & (1u << 8)) && version < 7) ||
           ((f & kVersion7) && version < 7) || ((f & kVersion8) && version < 8) ||
           ((f & (1u << 13)) && version < 9) || ((f & (1u << 14)) && version < 10);
}

bool Contains(std::string_view s, char c) { return s.find(c) != std::string_view::npos; }

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

}  // namespace

// ---- Strings -----------------------------------------------------------------------------------

std::size_t Vm::StringLength(std::string_view text) const {
    if (Version() < 6) return text.size();
    std::size_t n = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

const String* Vm::NewString(std::string text) { return heap_.NewString(std::move(text)); }

const String* Vm::Intern(std::string_view text) {
    auto it = interned_.find(std::string(text));
    if (it != interned_.end()) return it->second;
    const String* s = heap_.NewString(std::string(text));
    interned_.emplace(std::string(text), s);
    return s;
}

bool Vm::CheckStringSize(std::size_t bytes) {
    if (bytes <= options_.limits.maxStringBytes) return true;
    Stop("a script made a string longer than " + std::to_string(options_.limits.maxStringBytes) +
         " bytes");
    return false;
}

// Byte offsets of characters: code points from version 6 on, bytes before.
std::string Vm::ExtractString(const std::string& text, double index, double count) {
    // index is one-based; out-of-range starts clamp to the first character.
    std::vector<std::size_t> starts;
    if (Version() >= 6) {
        for (std::size_t i = 0; i < text.size(); ++i)
            if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) starts.push_back(i);
    } else {
        starts.resize(text.size());
        for (std::size_t i = 0; i < text.size(); ++i) starts[i] = i;
    }
    const double length = static_cast<double>(starts.size());
    double first = std::isnan(index) ? 0 : index - 1;
    if (first < 0) first = 0;
    if (first >= length) return {};
    double n = std::isnan(count) ? 0 : count;
    if (n < 0 || first + n > length) n = length - first;
    const auto from = static_cast<std::size_t>(first);
    const auto to = static_cast<std::size_t>(first + n);
    const std::size_t begin = starts[from];
    const std::size_t end = to < starts.size() ? starts[to] : text.size();
    return text.substr(begin, end - begin);
}

double Vm::FirstCharCode(const std::string& text) const {
    if (text.empty()) return 0;
    const auto c0 = static_cast<unsigned char>(text[0]);
    if (Version() < 6 || c0 < 0x80) return c0;
    int extra = c0 >= 0xF0 ? 3 : c0 >= 0xE0 ? 2 : c0 >= 0xC0 ? 1 : 0;
    std::uint32_t code = c0 & (0x3F >> extra);
    for (int k = 1; k <= extra && k < static_cast<int>(text.size()); ++k)
        code = code << 6 | (static_cast<unsigned char>(text[k]) & 0x3F);
    return code;
}

std::string Vm::CharFromCode(double code) const {
    const double c = std::isfinite(code) ? std::trunc(code) : 0;
    const auto n = static_cast<std::uint32_t>(std::fmod(c < 0 ? c + 65536 : c, 65536));
    if (n == 0) return {};
    std::string out;
    if (Version() < 6 && n < 256)
        out += static_cast<char>(n);
    else
        AppendUtf8(out, n);
    return out;
}

// ---- Conversions -------------------------------------------------------------------------------

double Vm::ToNumber(const Value& v) {
    switch (v.GetType()) {
        case Type::kUndefined:
        case Type::kNull:
            return Version() >= 7 ? std::numeric_limits<double>::quiet_NaN() : 0.0;
        case Type::kBoolean:
            return v.AsBoolean() ? 1 : 0;
        case Type::kNumber:
            return v.AsNumber();
        case Type::kString:
            return StringToNumber(v.Text(), Version());
        case Type::kObject: {
            // An object's number is its valueOf's, NaN when that gives no primitive.
            const Value p = ToPrimitive(v, Hint::kNumber);
            if (p.IsObject()) return Version() < 5 ? 0.0 : std::numeric_limits<double>::quiet_NaN();
            if (p.IsUndefined() && v.AsObject()->Kind() != ObjectKind::kFunction &&
                Version() < 7)
                return std::numeric_limits<double>::quiet_NaN();
            return ToNumber(p);
        }
    }
    return 0;
}

const String* Vm::ToStringCell(const Value& v) {
    if (v.IsString()) return v.AsString();
    switch (v.GetType()) {
        case Type::kUndefined:
            return Intern(Version() >= 7 ? "undefined" : "");
        case Type::kNull:
            return Intern("null");
        case Type::kBoolean:
            if (Version() < 5) return Intern(v.AsBoolean() ? "1" : "0");
            return Intern(v.AsBoolean() ? "true" : "false");
        default:
            return NewString(ToString(v));
    }
}

std::string Vm::ToString(const Value& v) {
    switch (v.GetType()) {
        case Type::kUndefined:
            return Version() >= 7 ? "undefined" : "";
        case Type::kNull:
            return "null";
        case Type::kBoolean:
            // Version 4 movies print their booleans as numbers.
            if (Version() < 5) return v.AsBoolean() ? "1" : "0";
            return v.AsBoolean() ? "true" : "false";
        case Type::kNumber:
            return NumberToString(v.AsNumber());
        case Type::kString:
            return v.Text();
        case Type::kObject: {
            Object* o = v.AsObject();
            if (ClipHost* clip = ClipOf(o)) return TargetPath(clip);
            // toString's own string; an object or undefined from it names the type instead.
            const Value p = ToPrimitive(v, Hint::kString);
            if (p.IsObject() || p.IsUndefined())
                return o->Kind() == ObjectKind::kFunction ? "[type Function]" : "[type Object]";
            return ToString(p);
        }
    }
    return {};
}

// With a string hint an object answers through toString, otherwise through valueOf. An
// object whose method gives an object stands for itself (the other method is not tried); one
// without such a method stands for undefined.
Value Vm::ToPrimitive(const Value& v, Hint hint) {
    Object* o = v.AsObject();
    if (!o) return v;
    if (hint == Hint::kString && ClipOf(o)) return Str(TargetPath(ClipOf(o)));
    const bool useString =
        hint == Hint::kString || (hint == Hint::kNone && o->Kind() == ObjectKind::kDate);
    const Value method = Get(o, useString ? "toString" : "valueOf");
    if (!method.AsObject() || method.AsObject()->Kind() != ObjectKind::kFunction) return Value();
    const Value r = Call(method, v, {});
    if (throwing_) return Value();
    return r.IsObject() ? v : r;
}

bool Vm::ToBoolean(const Value& v) const {
    switch (v.GetType()) {
        case Type::kUndefined:
        case Type::kNull:
            return false;
        case Type::kBoolean:
            return v.AsBoolean();
        case Type::kNumber:
            return !std::isnan(v.AsNumber()) && v.AsNumber() != 0;
        case Type::kString:
            if (Version() >= 7) return !v.Text().empty();
            {
                const double n = StringToNumber(v.Text(), Version());
                return !std::isnan(n) && n != 0;
            }
        case Type::kObject:
            return true;
    }
    return false;
}

double Vm::ToInteger(const Value& v) {
    const double n = ToNumber(v);
    if (std::isnan(n)) return 0;
    if (std::isinf(n)) return n;
    return std::trunc(n);
}

std::int32_t Vm::ToInt32(const Value& v) { return static_cast<std::int32_t>(ToUint32(v)); }

std::uint32_t Vm::ToUint32(const Value& v) {
    const double n = ToNumber(v);
    if (!std::isfinite(n)) return 0;
    const double m = std::fmod(std::trunc(n), 4294967296.0);
    return static_cast<std::uint32_t>(static_cast<std::int64_t>(m < 0 ? m + 4294967296.0 : m));
}

Object* Vm::ToObject(const Value& v) {
    switch (v.GetType()) {
        case Type::kUndefined:
        case Type::kNull:
            return nullptr;
        case Type::kBoolean:
            return heap_.New<BoxObject>(realm_.booleanProto, ObjectKind::kBoolean, v);
        case Type::kNumber:
            return heap_.New<BoxObject>(realm_.numberProto, ObjectKind::kNumber, v);
        case Type::kString:
            return heap_.New<BoxObject>(realm_.stringProto, ObjectKind::kString, v);
        case Type::kObject:
            return v.AsObject();
    }
    return nullptr;
}

std::string Vm::TypeOf(const Value& v) const {
    switch (v.GetType()) {
        case Type::kUndefined:
            return "undefined";
        case Type::kNull:
            return "null";
        case Type::kBoolean:
            return "boolean";
        case Type::kNumber:
            return "number";
        case Type::kString:
            return "string";
        case Type::kObject:
            switch (v.AsObject()->Kind()) {
                case ObjectKind::kFunction:
                    return "function";
                case ObjectKind::kClip: {
                    // A clip that left the display is still a movie clip to scripts.
                    const auto* clip = static_cast<ClipObject*>(v.AsObject());
                    if (clip->Gone()) return clip->WasButton() ? "object" : "movieclip";
                    const ClipHost* host = clip->Host();
                    return host && !host->IsButton() ? "movieclip" : "object";
                }
                default:
                    return "object";
            }
    }
    return "undefined";
}

Value Vm::LegacyBool(bool b) const { return Value::Boolean(b); }

Value Vm::Arithmetic(Op op, double a, double b) const {
    switch (op) {
        case Op::kAdd:
            return Value::Number(a + b);
        case Op::kSubtract:
            return Value::Number(a - b);
        case Op::kMultiply:
            return Value::Number(a * b);
        case Op::kDivide:
            if (b == 0 && Version() < 5) return Value::Str(const_cast<Vm*>(this)->Intern("#ERROR#"));
            return Value::Number(a / b);
        default:
            return Value::Number(std::fmod(a, b));
    }
}

Value Vm::Bitwise(Op op, const Value& a, const Value& b) {
    const std::int32_t x = ToInt32(a);
    const std::int32_t y = ToInt32(b);
    const unsigned shift = static_cast<unsigned>(y) & 31;
    switch (op) {
        case Op::kBitAnd:
            return Value::Number(x & y);
        case Op::kBitOr:
            return Value::Number(x | y);
        case Op::kBitXor:
            return Value::Number(x ^ y);
        case Op::kBitLShift:
            return Value::Number(static_cast<std::int32_t>(static_cast<std::uint32_t>(x) << shift));
        case Op::kBitRShift:
            return Value::Number(x >> shift);
        default:
            return Value::Number(static_cast<std::uint32_t>(x) >> shift);
    }
}

// The right operand is made primitive first; a string on either side concatenates.
Value Vm::Add(const Value& a, const Value& b) {
    const Value pb = ToPrimitive(b);
    const Value pa = ToPrimitive(a);
    if (pa.IsString() || pb.IsString()) {
        std::string text = ToString(pa);
        text += ToString(pb);
        if (!CheckStringSize(text.size())) return Value();
        return Str(std::move(text));
    }
    const double x = ToNumber(pa);
    return Value::Number(x + ToNumber(pb));
}

// Numbers compare with NaN equal to itself.
bool Vm::StrictEquals(const Value& a, const Value& b) const {
    if (a.GetType() != b.GetType()) return false;
    switch (a.GetType()) {
        case Type::kUndefined:
        case Type::kNull:
            return true;
        case Type::kBoolean:
            return a.AsBoolean() == b.AsBoolean();
        case Type::kNumber:
            return a.AsNumber() == b.AsNumber() ||
                   (std::isnan(a.AsNumber()) && std::isnan(b.AsNumber()));
        case Type::kString:
            return a.Text() == b.Text();
        case Type::kObject:
            return a.AsObject() == b.AsObject();
    }
    return false;
}

// An object met by a primitive answers with its valueOf (undefined when it has none, so a
// bare object equals undefined); a string met by a number becomes a number.
bool Vm::LooseEquals(const Value& a, const Value& b) {
    if (a.GetType() == b.GetType()) return StrictEquals(a, b);
    if (a.IsObject() || b.IsObject()) {
        const bool left = a.IsObject();
        const Value p = ToPrimitive(left ? a : b);
        if (p.IsObject() || throwing_) return false;
        return left ? LooseEquals(p, b) : LooseEquals(a, p);
    }
    if (a.IsNullish() && b.IsNullish()) return true;
    if (a.IsNullish() || b.IsNullish()) return false;
    if (a.IsBoolean()) return LooseEquals(Value::Number(a.AsBoolean() ? 1 : 0), b);
    if (b.IsBoolean()) return LooseEquals(a, Value::Number(b.AsBoolean() ? 1 : 0));
    return ToNumber(a) == ToNumber(b);
}

// a < b as Less2: the left operand first, and an object that stays an object makes the
// answer false without looking at the right one (a clip counts as NaN instead).
Value Vm::LessThan(const Value& a, const Value& b) {
    const Value pa = ToPrimitive(a, Hint::kNumber);
    if (pa.IsObject() && !ClipOf(pa.AsObject())) return Value::Boolean(false);
    const Value pb = ToPrimitive(b, Hint::kNumber);
    if (pb.IsObject() && !ClipOf(pb.AsObject())) return Value::Boolean(false);
    if (pa.IsString() && pb.IsString()) return Value::Boolean(pa.Text() < pb.Text());
    const double x = ToNumber(pa);
    const double y = ToNumber(pb);
    if (std::isnan(x) || std::isnan(y)) return Value();
    return Value::Boolean(x < y);
}

// ---- Properties ----------------------------------------------------------------------------

namespace {

// Watchers called inside watchers, from version 7 on (any property).
constexpr std::size_t kMaxWatcherNesting = 65;
// Getters and setters call one another to this nesting; past it a getter is not called and
// the property reads as the value last assigned to it, and a setter is not called.
constexpr int kMaxAccessorNesting = 130;

// Lower case of the letters of the Latin, Greek, Cyrillic and Armenian blocks that have one
// (the cases version 6 movies fold); other code points are their own.
std::uint32_t LowerCodePoint(std::uint32_t c) {
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB && c != 0x3A2) ||
        (c >= 0x410 && c <= 0x42F) || (c >= 0xFF21 && c <= 0xFF3A))
        return c + 0x20;
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;
    if (c >= 0x531 && c <= 0x556) return c + 0x30;
    if (c == 0x178) return 0xFF;
    if (c == 0x1C4 || c == 0x1C5) return 0x1C6;
    if (c == 0x1C7 || c == 0x1C8) return 0x1C9;
    if (c == 0x1CA || c == 0x1CB) return 0x1CC;
    if (c == 0x1F1 || c == 0x1F2) return 0x1F3;
    const bool evenUpper = (c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177) ||
                           (c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) ||
                           (c >= 0x4D0 && c <= 0x4FF) || (c >= 0x1E00 && c <= 0x1E95) ||
                           (c >= 0x1EA0 && c <= 0x1EFF);
    if (evenUpper && c % 2 == 0) return c + 1;
    const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E) ||
                          (c >= 0x4C1 && c <= 0x4CE);
    if (oddUpper && c % 2 == 1) return c + 1;
    return c;
}

}  // namespace

std::string Vm::Key(std::string_view name) const {
    std::string key(name);
    if (CaseSensitive()) return key;
    bool ascii = true;
    for (char& c : key) {
        c = Lower(c);
        if (static_cast<unsigned char>(c) >= 0x80) ascii = false;
    }
    if (ascii || Version() < 6) return key;
    // Version 6 text is UTF-8: fold the letters beyond ASCII too.
    std::string folded;
    folded.reserve(key.size());
    for (std::size_t i = 0; i < key.size();) {
        const auto c0 = static_cast<unsigned char>(key[i]);
        const int extra = c0 >= 0xF0 ? 3 : c0 >= 0xE0 ? 2 : c0 >= 0xC0 ? 1 : 0;
        if (extra == 0 || i + extra >= key.size()) {
            folded += key[i++];
            continue;
        }
        std::uint32_t code = c0 & (0x3F >> extra);
        bool valid = true;
        for (int k = 1; k <= extra; ++k) {
            const auto ck = static_cast<unsigned char>(key[i + k]);
            valid = valid && (ck & 0xC0) == 0x80;
            code = code << 6 | (ck & 0x3F);
        }
        if (!valid) {
            folded += key[i++];
            continue;
        }
        AppendUtf8(folded, LowerCodePoint(code));
        i += static_cast<std::size_t>(extra) + 1;
    }
    return folded;
}

Value Vm::Lookup(Object* object, std::string_view name, const Value& receiverIn, Object** holder) {
    Value receiver = receiverIn;
    if (object && object->Kind() == ObjectKind::kSuper) {
        // super.x: found above the method's home object, run on the method's `this`.
        auto* super = static_cast<SuperObject*>(object);
        receiver = super->Self();
        object = super->Home() ? super->Home()->Proto() : nullptr;
    }
    const std::string key = Key(name);
    int hops = 0;
    for (Object* o = object; o && hops < 256; o = o->Proto(), ++hops) {
        Value v;
        if (o->GetVirtual(*this, key, &v)) {
            if (holder) *holder = o;
            return v;
        }
        if (key == "__proto__" && o->HasProtoSlot()) {
            // A primitive given as __proto__ is kept as a plain hidden property.
            if (holder) *holder = o;
            if (o->Proto()) return Value::Obj(o->Proto());
            const Property* p = o->FindOwn(key);
            return p ? p->value : Value();
        }
        if (const Property* p = o->FindOwn(key); p && !HiddenByVersion(*p, Version())) {
            if (holder) *holder = o;
            // A getter's home is where it was found (for `super` inside it).
            if (p->IsAccessor()) {
                if (accessorDepth_ >= kMaxAccessorNesting) return p->value;
                return CallAccessor(p->getter, receiver, {}, o);
            }
            return p->value;
        }
        if (o->GetAfterOwn(*this, key, &v)) {
            if (holder) *holder = o;
            return v;
        }
    }
    return Value();
}

Value Vm::Get(Object* object, std::string_view name) {
    return Lookup(object, name, Value::Obj(object), nullptr);
}

Value Vm::LookupMember(const Value& target, std::string_view name, Object** holder) {
    if (target.IsString() && Key(name) == "length")
        return Value::Number(static_cast<double>(StringLength(target.Text())));
    Object* o = target.IsObject() ? target.AsObject() : ToObject(target);
    if (!o) return Value();
    Object* found = nullptr;
    Value v = Lookup(o, name, target, &found);
    if (holder) *holder = found;
    if (found || Key(name) == "__resolve") return v;
    // A missing member is asked of the first __resolve function along the prototypes; a
    // primitive or clip there is passed over, any other value ends the search.
    int hops = 0;
    for (Object* p = o; p && hops < 256; p = p->Proto(), ++hops) {
        const Property* r = p->FindOwn(Key("__resolve"));
        if (!r) continue;
        if (r->IsAccessor()) return Value();
        Object* f = r->value.AsObject();
        if (f && f->Kind() == ObjectKind::kFunction) {
            const Value function = r->value;
            const Value args[] = {Str(std::string(name))};
            return Call(function, target, args);
        }
        if (f && !ClipOf(f)) return Value();
    }
    return Value();
}

Value Vm::GetMember(const Value& target, std::string_view name) {
    return LookupMember(target, name, nullptr);
}

void Vm::Set(Object* object, std::string_view name, const Value& value) {
    std::string key = Key(name);
    if (object->Kind() == ObjectKind::kSuper) {
        // super.x = v: a setter above the home runs on the super object; anything else is
        // stored on the method's `this`.
        auto* super = static_cast<SuperObject*>(object);
        int hops = 0;
        for (Object* o = super->Home() ? super->Home()->Proto() : nullptr; o && hops < 256;
             o = o->Proto(), ++hops) {
            const Property* p = o->FindOwn(key);
            if (!p) continue;
            if (p->IsAccessor()) {
                if (p->setter && accessorDepth_ < kMaxAccessorNesting) {
                    const Value args[] = {value};
                    CallAccessor(p->setter, super->Self(), args, o);
                }
                return;
            }
            break;
        }
        if (Object* self = super->Self().AsObject()) Set(self, name, value);
        return;
    }
    Value stored = value;
    if (const Watcher* w = object->FindWatcher(key)) {
        const bool running =
            std::find(runningWatchers_.begin(), runningWatchers_.end(),
                      std::pair<const Object*, std::string>(object, key)) != runningWatchers_.end();
        const bool call = Version() >= 7 ? runningWatchers_.size() < kMaxWatcherNesting : !running;
        if (call) {
            const Watcher watcher = *w;
            // The old value as stored (here or up the prototypes): no getter runs for it.
            Value old;
            int hops = 0;
            for (Object* o = object; o && hops < 256; o = o->Proto(), ++hops) {
                if (const Property* p = o->FindOwn(key)) {
                    if (!p->IsAccessor()) old = p->value;
                    break;
                }
            }
            const Value args[] = {Value::Str(Intern(name)), old, value, watcher.userData};
            // A getter and setter pair is set aside while the watcher runs that no nested
            // assignment to the property would call again: the property reads as a plain
            // value (undefined at first) until the watcher returns, and then the setter
            // takes what the watcher gave.
            const bool last = Version() < 7 || runningWatchers_.size() + 1 >= kMaxWatcherNesting;
            Object* getter = nullptr;
            Object* setter = nullptr;
            const std::size_t keptBase = popped_.size();
            if (Property* own = object->FindOwn(key); last && own && own->IsAccessor()) {
                getter = std::exchange(own->getter, nullptr);
                setter = std::exchange(own->setter, nullptr);
                own->value = Value();
                popped_.push_back(Value::Obj(getter));  // kept reachable meanwhile
                popped_.push_back(Value::Obj(setter));
            }
            runningWatchers_.emplace_back(object, key);
            stored = Call(Value::Obj(watcher.callback), Value::Obj(object), args);
            runningWatchers_.pop_back();
            if (getter) {
                if (Property* own = object->FindOwn(key)) {
                    own->getter = getter;
                    own->setter = setter;
                    own->value = Value();
                }
                popped_.resize(keptBase);
            }
        }
    }
    if (key == "__proto__") {
        if (!object->HasProtoSlot()) object->RestoreProtoSlot();
        object->SetProto(stored.AsObject());
        if (stored.IsObject())
            object->RemoveOwn(key);
        else
            object->Put(Intern(name), std::move(key), stored, kDontEnum);
        return;
    }
    if (object->SetVirtual(*this, key, stored)) return;
    if (Property* p = object->FindOwn(key)) {
        if (p->IsAccessor()) {
            if (p->setter && accessorDepth_ < kMaxAccessorNesting) {
                const Value args[] = {stored};
                CallAccessor(p->setter, Value::Obj(object), args, nullptr);
            }
            // Kept beside the pair, for a getter nested too deep to be called.
            if (Property* after = object->FindOwn(key); after && after->IsAccessor())
                after->value = stored;
            return;
        }
        if (p->flags & kReadOnly) return;
        p->value = stored;
        object->AfterPut(*this, key);
        return;
    }
    // A getter and setter pair higher up the prototype chain takes the assignment; one the
    // movie's version does not see is not there for it.
    int hops = 0;
    for (Object* o = object->Proto(); o && hops < 256; o = o->Proto(), ++hops) {
        const Property* p = o->FindOwn(key);
        if (!p || HiddenByVersion(*p, Version())) continue;
        if (p->IsAccessor()) {
            if (p->setter && accessorDepth_ < kMaxAccessorNesting) {
                const Value args[] = {stored};
                CallAccessor(p->setter, Value::Obj(object), args, o);
            }
            return;
        }
        break;
    }
    const String* nameCell = NewString(std::string(name));
    heap_.Grew(sizeof(Property) + key.size());
    object->Put(nameCell, std::move(key), stored);
    object->AfterPut(*this, Key(name));
}

void Vm::SetMember(const Value& target, std::string_view name, const Value& value) {
    if (Object* o = target.AsObject()) Set(o, name, value);
}

bool Vm::Delete(Object* object, std::string_view name) {
    const std::string key = Key(name);
    if (key == "__proto__" && object->HasProtoSlot()) {
        object->RemoveProtoSlot();
        object->RemoveOwn(key);
        return true;
    }
    const Property* p = object->FindOwn(key);
    if (!p || (p->flags & kDontDelete)) return false;
    return object->RemoveOwn(key);
}

bool Vm::HasOwnProperty(Object* object, std::string_view name) {
    const std::string key = Key(name);
    Value v;
    if (object->GetVirtual(*this, key, &v)) return true;
    if (key == "__proto__")
        return object->HasProtoSlot() && (object->Proto() || object->FindOwn(key));
    const Property* p = object->FindOwn(key);
    return p && !HiddenByVersion(*p, Version());
}

bool Vm::HasProperty(Object* object, std::string_view name) {
    const std::string key = Key(name);
    int hops = 0;
    for (Object* o = object; o && hops < 256; o = o->Proto(), ++hops) {
        Value v;
        if (HasOwnProperty(o, name) || o->GetAfterOwn(*this, key, &v)) return true;
    }
    return false;
}

std::vector<Value> Vm::EnumerableKeys(Object* object) {
    std::vector<Value> keys;
    std::vector<std::string> seen;
    auto fresh = [&](const std::string& key) {
        if (std::find(seen.begin(), seen.end(), key) != seen.end()) return false;
        seen.push_back(key);
        return true;
    };
    int hops = 0;
    for (Object* o = object; o && hops < 256; o = o->Proto(), ++hops) {
        const auto& props = o->Properties();
        for (auto it = props.rbegin(); it != props.rend(); ++it) {
            if (!fresh(it->key)) continue;
            if ((it->flags & kDontEnum) || HiddenByVersion(*it, Version())) continue;
            keys.push_back(Value::Str(it->name));
        }
        if (o != object) continue;
        std::vector<Value> extra;
        o->VirtualKeys(*this, extra);
        for (const Value& name : extra)
            if (fresh(Key(name.Text()))) keys.push_back(name);
    }
    return keys;
}

Value Vm::OwnPrototype(const Value& constructor) {
    Object* c = constructor.AsObject();
    const Property* p = c ? c->FindOwn(Key("prototype")) : nullptr;
    return p ? p->value : Value();
}

namespace {

// Whether an interface list names `proto`, or an interface in it implements it in turn (the
// interfaces' own prototypes are not followed).
bool ListsInterface(const std::vector<Object*>& interfaces, const Object* proto, int depth) {
    for (const Object* iface : interfaces) {
        if (iface == proto) return true;
        if (depth < 64 && iface->Interfaces() &&
            ListsInterface(*iface->Interfaces(), proto, depth + 1))
            return true;
    }
    return false;
}

}  // namespace

bool Vm::InstanceOf(Object* object, Object* constructor) {
    // The constructor's own prototype as stored; a primitive one is made an object by the
    // global constructor of its type as it is now.
    Value protoValue = OwnPrototype(Value::Obj(constructor));
    if (!protoValue.IsObject() && !protoValue.IsNullish()) {
        const char* type = protoValue.IsString()   ? "String"
                           : protoValue.IsNumber() ? "Number"
                                                   : "Boolean";
        protoValue = Construct(Get(realm_.global, type), std::span<const Value>(&protoValue, 1));
    }
    Object* proto = protoValue.AsObject();
    if (!proto) return false;
    int hops = 0;
    for (Object* o = object->Proto(); o && hops < 256; o = o->Proto(), ++hops) {
        if (o == proto) return true;
        if (o->Interfaces() && ListsInterface(*o->Interfaces(), proto, 0)) return true;
    }
    return false;
}

// ---- Variables -------------------------------------------------------------------------------

bool Vm::SplitPath(std::string_view name, std::string_view* path, std::string_view* var) const {
    const auto colon = name.rfind(':');
    if (colon != std::string_view::npos) {
        // "o:c.f" names f of o:c; a dot ends the path only after the last colon.
        auto cut = colon;
        const auto dot = name.rfind('.');
        if (dot != std::string_view::npos && dot > colon + 1 && name[dot - 1] != '.')
            cut = dot;
        *path = name.substr(0, cut);
        *var = name.substr(cut + 1);
        return true;
    }
    if (Contains(name, '/')) {
        // "/a/b" names a clip; "/a/b.x" the member x of one.
        const auto slash = name.rfind('/');
        const auto dot = name.rfind('.');
        if (dot != std::string_view::npos && dot > slash + 1 && name[dot - 1] != '.' &&
            dot + 1 < name.size()) {
            *path = name.substr(0, dot);
            *var = name.substr(dot + 1);
        } else {
            *path = name;
            *var = {};
        }
        return true;
    }
    const auto dot = name.rfind('.');
    if (dot != std::string_view::npos && dot > 0 && dot + 1 < name.size()) {
        *path = name.substr(0, dot);
        *var = name.substr(dot + 1);
        return true;
    }
    return false;
}

bool Vm::SpecialName(Frame& frame, std::string_view name, Value* out) {
    if (name.empty() || (name[0] != '_' && name[0] != 't' && name[0] != 'T' && name[0] != 's' &&
                          name[0] != 'S'))
        return false;
    auto is = [&](std::string_view special) {
        return CaseSensitive() ? name == special : EqualsIgnoringCase(name, special);
    };
    if (is("this")) {
        // A hidden `this` is an ordinary (missing) name before version 6, the timeline after.
        if (frame.thisVisible)
            *out = frame.thisValue;
        else if (Version() >= 6)
            *out = Value::Obj(frame.timeline);
        else
            return false;
        return true;
    }
    if (is("super") && frame.callee) {
        Object* super = frame.superVisible ? SuperFor(frame) : nullptr;
        *out = super ? Value::Obj(super) : Value();
        return true;
    }
    if (is("_global") && Version() >= 6) {
        *out = Value::Obj(realm_.global);
        return true;
    }
    if (is("_root")) {
        *out = Value::Obj(RootOf(frame.target ? frame.target : frame.timeline));
        return true;
    }
    if (is("_parent")) {
        *out = ParentOf(frame.target ? frame.target : frame.timeline);
        return true;
    }
    if (name.size() > 6 && (CaseSensitive() ? name.starts_with("_level")
                                            : EqualsIgnoringCase(name.substr(0, 6), "_level"))) {
        int n = 0;
        for (char c : name.substr(6)) {
            if (c < '0' || c > '9' || n > 100000) return false;
            n = n * 10 + (c - '0');
        }
        ClipHost* level = host_.Level(n);
        *out = level ? Value::Obj(ClipFor(level)) : Value();
        return true;
    }
    return false;
}

bool Vm::FindVariable(Frame& frame, std::string_view name, Value* out, Object** where) {
    int hops = 0;
    for (Scope* s = frame.scope; s && hops < 4096; s = s->Parent(), ++hops) {
        Object* o = s->GetObject();
        if (HasProperty(o, name)) {
            *out = Get(o, name);
            if (where) *where = o;
            return true;
        }
    }
    if (HasProperty(realm_.global, name)) {
        *out = Get(realm_.global, name);
        if (where) *where = realm_.global;
        return true;
    }
    return false;
}

Value Vm::GetVariable(Frame& frame, std::string_view name, Object** where) {
    Value v;
    std::string_view path, var;
    if (Contains(name, '/') || Contains(name, ':')) {
        // The variable is what follows the last colon or dot; a name with neither is a plain
        // variable's, slashes and all.
        const auto cut = name.find_last_of(":.");
        if (cut != std::string_view::npos) {
            Object* o = ResolvePath(name.substr(0, cut), frame.target ? frame.target : frame.timeline);
            var = name.substr(cut + 1);
            if (!o || var.empty()) return Value();
            if (where) *where = o;
            return Get(o, var);
        }
        // A slash path alone names a clip; when none is there, the name is a variable's.
        if (Object* o = ResolveTargetPath(*this, name, frame.target ? frame.target : frame.timeline))
            return Value::Obj(o);
    } else if (SplitPath(name, &path, &var)) {
        Object* base = frame.target ? frame.target : frame.timeline;
        if (Contains(path, '/') || Contains(name, ':')) {
            Object* o = ResolvePath(path, base);
            if (!o) return Value();
            if (var.empty()) return Value::Obj(o);
            if (where) *where = o;
            return Get(o, var);
        }
        // a.b.c: the path leads to an object, whose member is the value.
        const Value object = PathValue(frame, path);
        if (where) *where = object.AsObject();
        return GetMember(object, var);
    }
    if (SpecialName(frame, name, &v)) return v;
    if (FindVariable(frame, name, &v, where)) return v;
    return Value();
}

Object* Vm::ChildClip(Object* o, std::string_view name) {
    ClipHost* clip = ClipOf(o);
    ClipHost* child = clip ? clip->Child(name, CaseSensitive()) : nullptr;
    return child ? ClipFor(child) : nullptr;
}

Value Vm::PathValue(Frame& frame, std::string_view path, int depth) {
    std::string_view head, last;
    const auto dot = path.rfind('.');
    if (dot != std::string_view::npos && dot > 0 && dot + 1 < path.size() && depth < 256) {
        head = path.substr(0, dot);
        last = path.substr(dot + 1);
        const Value parent = PathValue(frame, head, depth + 1);
        if (Object* child = ChildClip(parent.AsObject(), last)) return Value::Obj(child);
        return GetMember(parent, last);
    }
    Value v;
    if (SpecialName(frame, path, &v)) return v;
    if (Object* child = ChildClip(frame.target ? frame.target : frame.timeline, path))
        return Value::Obj(child);
    return GetVariable(frame, path);
}

Object* Vm::BottomScopeObject(Frame& frame) {
    Scope* s = frame.scope;
    int hops = 0;
    while (s && s->Parent() && hops++ < 4096) s = s->Parent();
    return s ? s->GetObject() : frame.target;
}

void Vm::SetVariable(Frame& frame, std::string_view name, const Value& value) {
    // Assigning to `this` changes it for the rest of the block or call.
    if (CaseSensitive() ? name == "this" : EqualsIgnoringCase(name, "this")) {
        frame.thisValue = value;
        frame.thisVisible = true;
        return;
    }
    std::string_view path, var;
    if (Contains(name, '/') || Contains(name, ':')) {
        // As for reading: the variable follows the last colon or dot, and a slash path
        // without either is a plain variable's name.
        if (const auto cut = name.find_last_of(":."); cut != std::string_view::npos) {
            Object* o = ResolvePath(name.substr(0, cut), frame.target ? frame.target : frame.timeline);
            if (o && cut + 1 < name.size()) Set(o, name.substr(cut + 1), value);
            return;
        }
    } else if (SplitPath(name, &path, &var)) {
        if (Object* o = PathValue(frame, path).AsObject(); o && !var.empty()) Set(o, var, value);
        return;
    }
    int hops = 0;
    for (Scope* s = frame.scope; s && hops < 4096; s = s->Parent(), ++hops) {
        Object* o = s->GetObject();
        if (!s->Parent() || HasProperty(o, name)) {
            Set(o, name, value);
            return;
        }
    }
    if (frame.target) Set(frame.target, name, value);
}

void Vm::DefineLocal(Frame& frame, std::string_view name, const Value& value, bool assign) {
    std::string_view path, var;
    if (!frame.activation && SplitPath(name, &path, &var)) {
        // Outside functions a path names the timeline or object that gets the variable
        // (inside them the whole text is the local's name).
        Object* o = nullptr;
        if (Contains(path, '/') || Contains(name, ':'))
            o = ResolvePath(path, frame.target ? frame.target : frame.timeline);
        else
            o = PathValue(frame, path).AsObject();
        if (!o || var.empty()) return;
        if (assign || !HasProperty(o, var)) Set(o, var, value);
        return;
    }
    Object* where = frame.activation ? frame.activation : BottomScopeObject(frame);
    if (!where) return;
    // A with object that has the name as its own takes the assignment.
    int hops = 0;
    for (Scope* s = frame.scope; s && s->GetObject() != where && hops < 4096;
         s = s->Parent(), ++hops) {
        if (HasOwnProperty(s->GetObject(), name)) {
            if (assign) Set(s->GetObject(), name, value);
            return;
        }
    }
    if (!assign && HasProperty(where, name)) return;
    Set(where, name, value);
}

bool Vm::DeleteVariable(Frame& frame, std::string_view name) {
    std::string_view path, var;
    if (SplitPath(name, &path, &var)) {
        // A path names the object to delete from, as for reading it.
        Value base;
        if (Contains(path, '/') || Contains(name, ':')) {
            Object* o = ResolvePath(path, frame.target ? frame.target : frame.timeline);
            base = o ? Value::Obj(o) : Value();
        } else {
            base = PathValue(frame, path);
        }
        if (base.IsString() || base.IsNumber() || base.IsBoolean()) {
            if (Version() >= 8)
                host_.Trace("Parameters of primitive types are no longer coerced into the "
                            "required type - Object.");
            return false;
        }
        Object* o = base.AsObject();
        return o && !var.empty() && Delete(o, var);
    }
    int hops = 0;
    for (Scope* s = frame.scope; s && hops < 4096; s = s->Parent(), ++hops) {
        if (HasOwnProperty(s->GetObject(), name)) return Delete(s->GetObject(), name);
    }
    if (HasOwnProperty(realm_.global, name)) return Delete(realm_.global, name);
    return false;
}

void Vm::Retarget(Frame& frame) {
    // Top-level code looks its variables up on its target; functions keep their scope.
    if (frame.activation) return;
    Object* base = frame.target ? frame.target : frame.timeline;
    if (!frame.scope || !frame.scope->Parent())
        frame.scope = base ? heap_.New<Scope>(base, nullptr) : nullptr;
}

// ---- Clips and paths -------------------------------------------------------------------------

ClipHost* Vm::ClipOf(Object* o) const {
    if (!o || o->Kind() != ObjectKind::kClip) return nullptr;
    const auto* clip = static_cast<ClipObject*>(o);
    return clip->Gone() ? ClipAtTarget(clip->GoneTarget()) : clip->Host();
}

int Vm::ActivationVersion() const {
    const ClipHost* clip = frames_.empty() ? nullptr : ClipOf(frames_.back()->timeline);
    const int version = clip ? clip->MovieVersion() : 0;
    return version > 0 ? version : Version();
}

ClipHost* Vm::ClipAtTarget(std::string_view path) const {
    constexpr std::string_view kLevel = "_level";
    if (path.substr(0, kLevel.size()) != kLevel) return nullptr;
    std::size_t end = path.find('.');
    if (end == std::string_view::npos) end = path.size();
    int level = 0;
    const std::string_view digits = path.substr(kLevel.size(), end - kLevel.size());
    if (digits.empty() || digits.size() > 9) return nullptr;
    for (char c : digits) {
        if (c < '0' || c > '9') return nullptr;
        level = level * 10 + (c - '0');
    }
    ClipHost* clip = host_.Level(level);
    while (clip && end < path.size()) {
        const std::size_t from = end + 1;
        end = path.find('.', from);
        if (end == std::string_view::npos) end = path.size();
        clip = clip->Child(path.substr(from, end - from), CaseSensitive());
    }
    return clip;
}

void Vm::ClipLeaving(ClipHost* clip) {
    if (ClipObject* object = ExistingClip(clip)) object->Leave(TargetPath(clip), clip->IsButton());
}

ClipObject* Vm::NewClipObject(ClipHost* host) {
    Object* proto = host->IsButton() && realm_.buttonProto ? realm_.buttonProto : realm_.clipProto;
    auto* clip = heap_.New<ClipObject>(proto, host);
    clips_[host] = clip;
    return clip;
}

ClipObject* Vm::ClipFor(ClipHost* clip) {
    if (!clip) return nullptr;
    auto it = clips_.find(clip);
    if (it != clips_.end()) return it->second;
    return clip->ScriptObject(*this);
}

ClipObject* Vm::ExistingClip(ClipHost* clip) const {
    auto it = clips_.find(clip);
    return it == clips_.end() ? nullptr : it->second;
}

void Vm::ReleaseClip(ClipHost* clip) {
    auto it = clips_.find(clip);
    if (it == clips_.end()) return;
    it->second->Detach();
    clips_.erase(it);
}

void Vm::ForgetClipVariables(ClipHost* clip) {
    auto it = clips_.find(clip);
    if (it == clips_.end()) return;
    it->second->ClearOwn();
    it->second->SetProto(realm_.clipProto);
}

Object* Vm::TextFor(TextHost* field) {
    if (!field) return nullptr;
    auto it = texts_.find(field);
    if (it != texts_.end()) return it->second;
    auto* object = heap_.New<TextFieldObject>(realm_.textFieldProto, field);
    texts_[field] = object;
    // A field broadcasts its changes, and hears them first itself.
    MakeBroadcaster(*this, object);
    const Value self = Value::Obj(object);
    CallMethod(self, "addListener", std::span<const Value>(&self, 1));
    return object;
}

void Vm::ReleaseText(TextHost* field) {
    auto it = texts_.find(field);
    if (it == texts_.end()) return;
    it->second->Detach();
    texts_.erase(it);
}

TextHost* Vm::TextOf(Object* o) const {
    auto* field = dynamic_cast<TextFieldObject*>(o);
    return field ? field->Host() : nullptr;
}

std::string Vm::TargetPath(ClipHost* clip) const {
    std::vector<std::string> names;
    ClipHost* c = clip;
    int hops = 0;
    while (c->Parent() && hops++ < 1024) {
        names.push_back(c->Name());
        c = c->Parent();
    }
    std::string path = "_level" + std::to_string(c->Level());
    for (auto it = names.rbegin(); it != names.rend(); ++it) path += "." + *it;
    return path;
}

std::string Vm::SlashPath(ClipHost* clip) const {
    std::vector<std::string> names;
    ClipHost* c = clip;
    int hops = 0;
    while (c->Parent() && hops++ < 1024) {
        names.push_back(c->Name());
        c = c->Parent();
    }
    if (names.empty()) return "/";
    std::string path;
    for (auto it = names.rbegin(); it != names.rend(); ++it) path += "/" + *it;
    return path;
}

Object* Vm::RootOf(Object* o) {
    ClipHost* clip = ClipOf(o);
    if (!clip) {
        ClipHost* level0 = host_.Level(0);
        return level0 ? ClipFor(level0) : nullptr;
    }
    // The nearest clip on the way up that locks the root, or the top one.
    for (int hops = 0;; ++hops) {
        Object* object = ClipFor(clip);
        const auto* clipObject = dynamic_cast<const ClipObject*>(object);
        if ((clipObject && clipObject->LocksRoot()) || !clip->Parent() || hops >= 1024)
            return object;
        clip = clip->Parent();
    }
}

namespace {

// The clip scripts see as a clip's parent. Before version 6 buttons have no script object: a
// clip inside one sees the button's parent as its own.
ClipHost* ScriptParent(ClipHost* clip) {
    ClipHost* parent = clip ? clip->Parent() : nullptr;
    const int version = clip ? clip->MovieVersion() : 0;
    if (parent && parent->IsButton() && version > 0 && version < 6) parent = parent->Parent();
    return parent;
}

}  // namespace

Value Vm::ParentOf(Object* o) {
    ClipHost* parent = ScriptParent(ClipOf(o));
    return parent ? Value::Obj(ClipFor(parent)) : Value();
}

Object* Vm::ValueToClip(Frame& frame, const Value& v) {
    if (Object* o = v.AsObject()) return o;
    // Paths from a target that left the display start from the timeline instead.
    Object* base = frame.target ? frame.target : frame.timeline;
    if (base && base->Kind() == ObjectKind::kClip && !ClipOf(base)) base = frame.timeline;
    return ResolvePath(ToString(v), base);
}

Object* ResolveTargetPath(Vm& vm, std::string_view path, Object* base) {
    if (path.size() > 4 && path.compare(0, 4, "this") == 0 &&
        (path[4] == '.' || path[4] == '/' || path[4] == ':'))
        return nullptr;
    return vm.ResolvePath(path, base);
}

Object* Vm::ResolvePath(std::string_view path, Object* base) {
    if (path.empty()) return base;
    Object* current = base;
    std::size_t pos = 0;
    if (path[0] == '/') {
        current = RootOf(base);
        pos = 1;
    }
    // Dots separate names only before the first slash; after it slashes and colons do.
    const std::size_t firstSlash = path.find('/');
    int hops = 0;
    while (pos < path.size() && current && hops++ < 1024) {
        const bool dots = firstSlash == std::string_view::npos || pos < firstSlash;
        std::size_t next = path.find_first_of(dots ? "/.:" : "/:", pos);
        // ".." is the parent in either syntax, as a whole name only.
        if (path.compare(pos, 2, "..") == 0) {
            if (pos + 2 < path.size() && path[pos + 2] != '/' && path[pos + 2] != ':') return nullptr;
            next = pos + 2;
        }
        const std::string_view part =
            path.substr(pos, (next == std::string_view::npos ? path.size() : next) - pos);
        pos = next == std::string_view::npos ? path.size() : next + 1;
        if (part.empty()) continue;
        // A name followed by colons and nothing else leads nowhere (one colon ends a name).
        if (next != std::string_view::npos && path[next] == ':' && pos < path.size() &&
            path.find_first_not_of(':', pos) == std::string_view::npos)
            return nullptr;
        Value special;
        if (part == "..") {
            current = ParentOf(current).AsObject();
        } else if (EqualsIgnoringCase(part, "_root") || EqualsIgnoringCase(part, "_parent") ||
                   EqualsIgnoringCase(part, "_global") ||
                   EqualsIgnoringCase(part.substr(0, std::min<std::size_t>(6, part.size())), "_level") ||
                   part == "this") {
            Frame scratch;
            scratch.target = scratch.timeline = current;
            scratch.thisValue = Value::Obj(current);
            if (!SpecialName(scratch, part, &special)) return nullptr;
            current = special.AsObject();
        } else if (Object* child = ChildClip(current, part)) {
            current = child;  // a clip's children come before its variables in paths
        } else {
            current = Get(current, part).AsObject();
        }
    }
    return current;
}

ClipHost* ClipObject::Current(Vm& vm) { return Gone() ? vm.ClipOf(this) : host_; }

bool ClipObject::IsTabIndex(Vm& vm, std::string_view key) const {
    return vm.CaseSensitive() ? key == "tabIndex" : EqualsIgnoringCase(key, "tabIndex");
}

bool ClipObject::GetVirtual(Vm& vm, std::string_view key, Value* out) {
    if (Gone()) {
        // Everything is asked of the clip now at the path this one left; with none there,
        // the reference has nothing to give.
        ClipHost* now = vm.ClipOf(this);
        *out = now ? vm.Get(vm.ClipFor(now), key) : Value();
        return true;
    }
    if (host_ && IsTabIndex(vm, key)) {
        *out = tabIndex_ ? Value::Number(*tabIndex_) : Value();
        return true;
    }
    if (host_ && EqualsIgnoringCase(key, "_lockroot")) {
        *out = Value::Boolean(lockRoot_);
        return true;
    }
    if (!host_ || key.empty() || key[0] != '_') return false;
    // Display property names ignore case in every version.
    if (EqualsIgnoringCase(key, "_parent")) {
        ClipHost* parent = ScriptParent(host_);
        *out = parent ? Value::Obj(vm.ClipFor(parent)) : Value();
        return true;
    }
    if (EqualsIgnoringCase(key, "_root")) {
        *out = Value::Obj(vm.RootOf(this));
        return true;
    }
    if (vm.Version() >= 6 && EqualsIgnoringCase(key, "_global")) {
        *out = Value::Obj(vm.GetRealm().global);
        return true;
    }
    for (int i = 0; i < kClipPropertyCount; ++i) {
        if (EqualsIgnoringCase(key, vm.PropertyName(i))) {
            *out = vm.ClipPropertyValue(host_, static_cast<ClipProperty>(i));
            return true;
        }
    }
    return false;
}

bool ClipObject::SetVirtual(Vm& vm, std::string_view key, const Value& value) {
    if (Gone()) {
        ClipHost* now = vm.ClipOf(this);
        if (!now) return false;
        vm.Set(vm.ClipFor(now), key, value);
        return true;
    }
    if (host_ && IsTabIndex(vm, key)) {
        // A 32-bit integer; what does not fit, NaN included, becomes the lowest one.
        const double d = value.IsUndefined() ? 0 : vm.ToNumber(value);
        if (value.IsUndefined())
            tabIndex_.reset();
        else if (d > -2147483649.0 && d < 2147483648.0)
            tabIndex_ = static_cast<std::int32_t>(d);
        else
            tabIndex_ = std::numeric_limits<std::int32_t>::min();
        return true;
    }
    if (host_ && EqualsIgnoringCase(key, "_lockroot")) {
        lockRoot_ = vm.ToBoolean(value);
        return true;
    }
    if (!host_ || key.empty() || key[0] != '_') return false;
    for (int i = 0; i < kClipPropertyCount; ++i) {
        if (EqualsIgnoringCase(key, vm.PropertyName(i))) {
            host_->SetDisplayProperty(vm, static_cast<ClipProperty>(i), value);
            return true;
        }
    }
    return false;
}

bool ClipObject::GetAfterOwn(Vm& vm, std::string_view key, Value* out) {
    ClipHost* host = Current(vm);
    if (!host) return false;
    if (ClipHost* child = host->Child(key, vm.CaseSensitive())) {
        *out = Value::Obj(vm.ClipFor(child));
        return true;
    }
    if (TextHost* field = host->TextChild(key, vm.CaseSensitive())) {
        *out = Value::Obj(vm.TextFor(field));
        return true;
    }
    return false;
}

void ClipObject::VirtualKeys(Vm& vm, std::vector<Value>& keys) {
    ClipHost* host = Current(vm);
    if (!host) return;
    // A button lists its tab index; a movie clip keeps it out of sight.
    if (host->IsButton()) keys.push_back(vm.Str("tabIndex"));
    for (std::string& name : host->ChildNames()) keys.push_back(vm.Str(std::move(name)));
}

bool TextFieldObject::GetVirtual(Vm& vm, std::string_view key, Value* out) {
    if (!host_) return false;
    if (EqualsIgnoringCase(key, "_parent")) {
        *out = host_->Parent() ? Value::Obj(vm.ClipFor(host_->Parent())) : Value();
        return true;
    }
    if (EqualsIgnoringCase(key, "_target")) {
        std::string path = host_->Parent() ? vm.SlashPath(host_->Parent()) : "";
        if (path != "/") path += "/";
        *out = vm.Str(path + host_->Name());
        return true;
    }
    return host_->GetField(vm, key, out);
}

bool TextFieldObject::SetVirtual(Vm& vm, std::string_view key, const Value& value) {
    return host_ && host_->SetField(vm, key, value);
}

std::string_view Vm::PropertyName(int index) const {
    static constexpr std::string_view kNames[kClipPropertyCount] = {
        "_x",         "_y",       "_xscale",      "_yscale",     "_currentframe", "_totalframes",
        "_alpha",     "_visible", "_width",       "_height",     "_rotation",     "_target",
        "_framesloaded", "_name", "_droptarget",  "_url",        "_highquality",  "_focusrect",
        "_soundbuftime", "_quality", "_xmouse",   "_ymouse"};
    return kNames[index];
}

Value Vm::ClipPropertyValue(ClipHost* clip, ClipProperty property) {
    switch (property) {
        case ClipProperty::kCurrentFrame:
            return Value::Number(clip->CurrentFrame() + 1);
        case ClipProperty::kTotalFrames:
            return Value::Number(clip->TotalFrames());
        case ClipProperty::kFramesLoaded:
            return Value::Number(clip->FramesLoaded());
        case ClipProperty::kName:
            return Str(clip->Name());
        case ClipProperty::kTarget:
            return Str(SlashPath(clip));
        default:
            return clip->GetDisplayProperty(*this, property);
    }
}

Value Vm::GetPropertyAction(Frame& frame, const Value& target, int index) {
    if (index < 0 || index >= kClipPropertyCount) return Value();
    const bool own = target.IsString() && target.Text().empty();
    if (own && frame.targetLost) return Value();
    Object* o = own ? frame.target : ValueToClip(frame, target);
    ClipHost* clip = ClipOf(o);
    if (!clip) return Value();
    return ClipPropertyValue(clip, static_cast<ClipProperty>(index));
}

void Vm::SetPropertyAction(Frame& frame, const Value& target, int index, const Value& value) {
    if (index < 0 || index >= kClipPropertyCount) return;
    Object* o = target.IsString() && target.Text().empty() ? frame.target : ValueToClip(frame, target);
    if (ClipHost* clip = ClipOf(o)) clip->SetDisplayProperty(*this, static_cast<ClipProperty>(index), value);
}

void Vm::GotoFrameAction(Frame& frame, const Value& which, bool play, int bias) {
    Object* target = frame.target;
    int to = -1;
    if (!which.IsNumber()) {
        // Anything but a number is a frame number or label in text ("false" is a label).
        const std::string whole = which.IsString() ? std::string() : ToString(which);
        std::string_view text = which.IsString() ? which.Text() : std::string_view(whole);
        const auto colon = text.rfind(':');
        if (colon != std::string_view::npos) {
            target = ResolvePath(text.substr(0, colon), frame.target);
            text = text.substr(colon + 1);
        }
        ClipHost* clip = ClipOf(target);
        if (!clip) return;
        const double n = StringToNumber(text, Version());
        to = std::isfinite(n) ? ClampToInt(n) - 1 + bias : clip->FindLabel(text);
    } else {
        // Whole numbers wrap as 32-bit frame numbers; a fraction is a label no frame has.
        const double n = ToNumber(which);
        if (!std::isfinite(n) || n != std::trunc(n)) return;
        const double wrapped = std::fmod(n, 4294967296.0);
        const double frameNumber = wrapped < 0 ? wrapped + 4294967296.0 : wrapped;
        if (frameNumber > 2147483647.0) return;
        to = ClampToInt(frameNumber) - 1 + bias;
    }
    ClipHost* clip = ClipOf(target);
    if (!clip || to < 0) return;
    clip->GotoFrame(to);
    clip->SetPlaying(play);
}

void Vm::CallFrameAction(Frame& frame, const Value& which) {
    Object* target = frame.target;
    std::string text = ToString(which);
    std::string_view frameText = text;
    const auto colon = frameText.rfind(':');
    if (colon != std::string_view::npos) {
        target = ResolvePath(frameText.substr(0, colon), frame.target);
        frameText = frameText.substr(colon + 1);
    }
    ClipHost* clip = ClipOf(target);
    if (!clip) return;
    const double n = StringToNumber(frameText, Version());
    const int f = std::isfinite(n) ? ClampToInt(n) - 1 : clip->FindLabel(frameText);
    if (f < 0 || f >= clip->TotalFrames()) return;
    for (std::span<const std::uint8_t> block : clip->FrameScripts(f)) {
        const std::size_t savedBase = stackBase_;
        RunBlock(block, target);
        stackBase_ = savedBase;
    }
}

}  // namespace player::script
