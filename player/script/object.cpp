#include "player/script/object.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "player/script/vm.h"

namespace player::script {

namespace {
constexpr std::size_t kIndexFrom = 8;  // properties past which lookups go through a hash index
}

const Property* Object::FindOwn(std::string_view key) const {
    if (properties_.size() > kIndexFrom) {
        auto it = index_.find(key);
        return it == index_.end() ? nullptr : &properties_[it->second];
    }
    for (const Property& p : properties_)
        if (p.key == key) return &p;
    return nullptr;
}

Property* Object::FindOwn(std::string_view key) {
    return const_cast<Property*>(static_cast<const Object*>(this)->FindOwn(key));
}

Property& Object::Put(const String* name, std::string key, Value value, std::uint16_t flags) {
    if (Property* p = FindOwn(key)) {
        p->value = value;
        p->getter = p->setter = nullptr;
        p->flags = flags;
        return *p;
    }
    Property p;
    p.name = name;
    p.key = std::move(key);
    p.value = value;
    p.flags = flags;
    properties_.push_back(std::move(p));
    if (properties_.size() > kIndexFrom) {
        if (index_.empty())
            Reindex();
        else
            index_.emplace(properties_.back().key,
                           static_cast<std::uint32_t>(properties_.size() - 1));
    }
    return properties_.back();
}

void Object::ClearOwn() {
    properties_.clear();
    index_.clear();
    watchers_.reset();
}

bool Object::RemoveOwn(std::string_view key) {
    auto it = std::find_if(properties_.begin(), properties_.end(),
                           [&](const Property& p) { return p.key == key; });
    if (it == properties_.end()) return false;
    properties_.erase(it);
    Reindex();
    return true;
}

void Object::Reindex() {
    index_.clear();
    if (properties_.size() <= kIndexFrom) return;
    index_.reserve(properties_.size());
    for (std::uint32_t i = 0; i < properties_.size(); ++i) index_.emplace(properties_[i].key, i);
}

const Watcher* Object::FindWatcher(std::string_view key) const {
    if (!watchers_) return nullptr;
    for (const auto& [k, w] : *watchers_)
        if (k == key) return &w;
    return nullptr;
}

void Object::SetWatcher(std::string key, Watcher watcher) {
    if (!watchers_) watchers_ = std::make_unique<std::vector<std::pair<std::string, Watcher>>>();
    for (auto& [k, w] : *watchers_) {
        if (k == key) {
            w = watcher;
            return;
        }
    }
    watchers_->emplace_back(std::move(key), watcher);
}

bool Object::RemoveWatcher(std::string_view key) {
    if (!watchers_) return false;
    auto it = std::find_if(watchers_->begin(), watchers_->end(),
                           [&](const auto& entry) { return entry.first == key; });
    if (it == watchers_->end()) return false;
    watchers_->erase(it);
    return true;
}

void Object::SetInterfaces(std::vector<Object*> prototypes) {
    if (!interfaces_) interfaces_ = std::make_unique<std::vector<Object*>>(std::move(prototypes));
}

void Object::Trace(Marker& marker) const {
    marker.Mark(proto_);
    for (const Property& p : properties_) {
        marker.Mark(p.name);
        p.value.Mark(marker);
        marker.Mark(p.getter);
        marker.Mark(p.setter);
    }
    if (watchers_) {
        for (const auto& [key, w] : *watchers_) {
            marker.Mark(w.callback);
            w.userData.Mark(marker);
        }
    }
    if (interfaces_)
        for (Object* o : *interfaces_) marker.Mark(o);
}

std::size_t Object::Size() const {
    std::size_t bytes = sizeof(Object) + properties_.capacity() * sizeof(Property);
    for (const Property& p : properties_) bytes += p.key.capacity();
    return bytes + index_.size() * 48;
}

void Value::Mark(Marker& marker) const {
    if (type_ == Type::kString)
        marker.Mark(string_);
    else if (type_ == Type::kObject)
        marker.Mark(object_);
}

bool BoxObject::GetVirtual(Vm& vm, std::string_view key, Value* out) {
    // new String(...) keeps its length as an own property, which a script may replace.
    if (Kind() != ObjectKind::kString || key != "length" || FindOwn(key)) return false;
    *out = Value::Number(static_cast<double>(vm.StringLength(primitive_.Text())));
    return true;
}

bool BoxObject::SetVirtual(Vm& vm, std::string_view key, const Value& value) {
    if (Kind() != ObjectKind::kString || key != "length") return false;
    Put(vm.Intern("length"), std::string(key), value, kDontEnum | kDontDelete);
    return true;
}

void BoxObject::Trace(Marker& marker) const {
    Object::Trace(marker);
    primitive_.Mark(marker);
}

bool ArrayIndex(std::string_view key, std::uint32_t* index) {
    if (key.empty() || key.size() > 10 || (key.size() > 1 && key[0] == '0')) return false;
    std::uint64_t n = 0;
    for (char c : key) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + static_cast<unsigned>(c - '0');
    }
    if (n >= 0xFFFFFFFFu) return false;
    *index = static_cast<std::uint32_t>(n);
    return true;
}

void ArrayObject::SetLength(Vm& vm, std::uint32_t length) {
    const std::uint32_t capped = std::min({length, vm.Limits().maxArrayLength, 0x7FFFFFFFu});
    SetSignedLength(static_cast<std::int32_t>(capped));
}

void ArrayObject::RemoveDeletableElements() {
    auto& props = Properties();
    const auto before = props.size();
    std::erase_if(props, [&](const Property& p) {
        std::uint32_t i;
        return !(p.flags & kDontDelete) && ArrayIndex(p.key, &i) && std::int64_t{i} < length_;
    });
    if (props.size() != before) Reindex();
}

void ArrayObject::SetSignedLength(std::int32_t length) {
    if (length < length_) {
        // Elements from the new length (or 0) up to the old one go.
        const std::int64_t from = std::max<std::int32_t>(length, 0);
        auto& props = Properties();
        const auto before = props.size();
        std::erase_if(props, [&](const Property& p) {
            std::uint32_t i;
            return ArrayIndex(p.key, &i) && i >= from && std::int64_t{i} < length_;
        });
        if (props.size() != before) Reindex();
    }
    length_ = length;
}

bool ArrayObject::GetVirtual(Vm&, std::string_view key, Value* out) {
    if (key != "length") return false;
    *out = Value::Number(length_);
    return true;
}

bool ArrayObject::SetVirtual(Vm& vm, std::string_view key, const Value& value) {
    if (key != "length") return false;
    const double n = vm.ToNumber(value);
    SetLength(vm, n >= 0 && n < 4294967295.0 ? static_cast<std::uint32_t>(n) : 0);
    return true;
}

void ArrayObject::AfterPut(Vm& vm, std::string_view key) {
    // An integer name, wrapped to 32 bits, at or past the length moves it (wrapping too).
    std::string_view digits = key;
    if (!digits.empty() && digits[0] == '-') digits.remove_prefix(1);
    if (digits.empty() || digits.size() > 400) return;
    std::uint32_t n = 0;  // the number modulo 2^32, exactly
    for (char c : digits) {
        if (c < '0' || c > '9') return;
        n = n * 10u + static_cast<std::uint32_t>(c - '0');
    }
    if (key[0] == '-') n = 0u - n;
    const auto index = static_cast<std::int32_t>(n);
    if (index < length_) return;
    const auto length = static_cast<std::int32_t>(n + 1u);
    const auto cap = static_cast<std::int32_t>(std::min(vm.Limits().maxArrayLength, 0x7FFFFFFFu));
    SetSignedLength(std::min(length, cap));
}

}  // namespace player::script
