// Script objects: properties in creation order (enumerated newest first) with their flags,
// getter/setter pairs and watchers, and a prototype. Kinds with behaviour of their own (arrays,
// functions, movie clips, boxed primitives) derive from Object and hook the property access.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "player/script/heap.h"
#include "player/script/value.h"

namespace player::script {

class Vm;

// ASSetPropFlags bits.
enum PropertyFlag : std::uint16_t {
    kDontEnum = 1 << 0,
    kDontDelete = 1 << 1,
    kReadOnly = 1 << 2,
    // Hidden from movies older than a version until the flag is cleared.
    kVersion6 = 1 << 7,
    kVersion7 = 1 << 10,
    kVersion8 = 1 << 12,
};

struct Property {
    const String* name = nullptr;
    std::string key;  // the name as looked up (lower-cased where names ignore case)
    Value value;
    Object* getter = nullptr;  // addProperty: both set, or neither
    Object* setter = nullptr;
    std::uint16_t flags = 0;
    bool IsAccessor() const { return getter != nullptr; }
};

struct Watcher {
    Object* callback = nullptr;
    Value userData;
};

enum class ObjectKind : std::uint8_t {
    kObject,
    kFunction,
    kArray,
    kClip,
    kBoolean,
    kNumber,
    kString,
    kDate,
    kArguments,
    kNative,  // built-ins with C++ state of their own (XML nodes, loaders, ...)
    kSuper,   // `super` in a method (SuperObject)
};

class Object : public Cell {
  public:
    explicit Object(Object* proto, ObjectKind kind = ObjectKind::kObject)
        : proto_(proto), kind_(kind) {}

    ObjectKind Kind() const { return kind_; }
    Object* Proto() const { return proto_; }
    void SetProto(Object* proto) { proto_ = proto; }
    bool HasProtoSlot() const { return hasProtoSlot_; }
    void RemoveProtoSlot() {
        hasProtoSlot_ = false;
        proto_ = nullptr;
    }
    void RestoreProtoSlot() { hasProtoSlot_ = true; }

    // Own properties by already-folded key.
    Property* FindOwn(std::string_view key);
    const Property* FindOwn(std::string_view key) const;
    // Adds or replaces a plain value (no flag checks); returns the property.
    Property& Put(const String* name, std::string key, Value value, std::uint16_t flags = 0);
    bool RemoveOwn(std::string_view key);
    // Every own property and watcher gone.
    void ClearOwn();
    const std::vector<Property>& Properties() const { return properties_; }
    std::vector<Property>& Properties() { return properties_; }

    // Watchers by folded key (Object.watch).
    const Watcher* FindWatcher(std::string_view key) const;
    void SetWatcher(std::string key, Watcher watcher);
    bool RemoveWatcher(std::string_view key);

    // What a class's instances implement (ImplementsOp), as the interfaces' prototypes; a
    // class's first list stays, even an empty one.
    void SetInterfaces(std::vector<Object*> prototypes);
    const std::vector<Object*>* Interfaces() const { return interfaces_.get(); }

    // Hooks for kinds whose properties are computed (array length, clip properties). Return
    // true when the name was handled.
    virtual bool GetVirtual(Vm&, std::string_view /*key*/, Value* /*out*/) { return false; }
    virtual bool SetVirtual(Vm&, std::string_view /*key*/, const Value& /*value*/) {
        return false;
    }
    // Called after an own plain property was set (arrays follow their length).
    virtual void AfterPut(Vm&, std::string_view /*key*/) {}
    // Extra own names a for-in lists after the stored ones (clip children).
    virtual void VirtualKeys(Vm&, std::vector<Value>&) {}
    // Looked at after the own properties and before the prototype (clip children).
    virtual bool GetAfterOwn(Vm&, std::string_view /*key*/, Value* /*out*/) { return false; }

    void Trace(Marker& marker) const override;
    std::size_t Size() const override;

  protected:
    // Rebuilds the lookup index after properties were removed in place.
    void Reindex();

  private:
    Object* proto_;
    ObjectKind kind_;
    bool hasProtoSlot_ = true;
    std::vector<Property> properties_;
    struct KeyHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    std::unordered_map<std::string, std::uint32_t, KeyHash, std::equal_to<>> index_;
    std::unique_ptr<std::vector<std::pair<std::string, Watcher>>> watchers_;
    std::unique_ptr<std::vector<Object*>> interfaces_;
};

// A primitive in an object: new Number(1), new String("a"), new Boolean(true).
class BoxObject final : public Object {
  public:
    BoxObject(Object* proto, ObjectKind kind, Value primitive)
        : Object(proto, kind), primitive_(primitive) {}
    Value Primitive() const { return primitive_; }
    void SetPrimitive(Value v) { primitive_ = v; }
    // A string's length, until a script assigns one (which stays, hidden and undeletable).
    bool GetVirtual(Vm& vm, std::string_view key, Value* out) override;
    bool SetVirtual(Vm& vm, std::string_view key, const Value& value) override;
    void Trace(Marker& marker) const override;
    std::size_t Size() const override { return Object::Size() + sizeof(Value); }

  private:
    Value primitive_;
};

// An array: its elements are ordinary properties named by their index; length follows them.
class ArrayObject final : public Object {
  public:
    explicit ArrayObject(Object* proto) : Object(proto, ObjectKind::kArray) {}
    // The length as built-ins use it (a script can make it negative, which counts as 0).
    std::uint32_t Length() const { return length_ > 0 ? static_cast<std::uint32_t>(length_) : 0; }
    // Sets length (capped), dropping elements at and past it.
    void SetLength(Vm& vm, std::uint32_t length);
    // Drops the elements below the length that scripts may delete; the length stays.
    void RemoveDeletableElements();
    bool GetVirtual(Vm& vm, std::string_view key, Value* out) override;
    bool SetVirtual(Vm& vm, std::string_view key, const Value& value) override;
    void AfterPut(Vm& vm, std::string_view key) override;

  private:
    // Lengths are signed 32-bit as scripts see them: an element at 2^31 - 1 wraps it.
    void SetSignedLength(std::int32_t length);
    std::int32_t length_ = 0;
};

// The index a property name stands for ("0", "17"), when it is a canonical array index.
bool ArrayIndex(std::string_view key, std::uint32_t* index);

}  // namespace player::script
