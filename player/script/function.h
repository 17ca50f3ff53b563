// Functions (defined by a movie's actions or built into the engine), the scope chain cells
// they close over, and the script object of a movie clip.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "player/script/host.h"
#include "player/script/object.h"
#include "player/script/program.h"

namespace player::script {

class Vm;

// A built-in's body: `self` is the receiver, `args` the arguments in call order.
using NativeFn = Value (*)(Vm& vm, const Value& self, std::span<const Value> args);

// One link of a scope chain: an object whose properties are visible as variables.
class Scope final : public Cell {
  public:
    Scope(Object* object, Scope* parent) : object_(object), parent_(parent) {}
    Object* GetObject() const { return object_; }
    Scope* Parent() const { return parent_; }
    void Trace(Marker& marker) const override {
        marker.Mark(object_);
        marker.Mark(parent_);
    }
    std::size_t Size() const override { return sizeof(Scope); }

  private:
    Object* object_;
    Scope* parent_;
};

class FunctionObject final : public Object {
  public:
    // A built-in; `construct` runs for `new` when given (else `call` with a fresh object).
    FunctionObject(Object* proto, NativeFn call, NativeFn construct)
        : Object(proto, ObjectKind::kFunction), native_(call), construct_(construct) {}
    // A function of the movie's actions, closing over `scope`.
    FunctionObject(Object* proto, const Program* program, const FunctionDef* def, Scope* scope,
                   const std::vector<const String*>* pool, Object* target)
        : Object(proto, ObjectKind::kFunction),
          program_(program),
          def_(def),
          scope_(scope),
          pool_(pool),
          target_(target) {}

    bool IsNative() const { return native_ != nullptr; }
    NativeFn Native() const { return native_; }
    NativeFn Constructor() const { return construct_; }
    const Program* GetProgram() const { return program_; }
    const FunctionDef* Def() const { return def_; }
    Scope* GetScope() const { return scope_; }
    const std::vector<const String*>* Pool() const { return pool_; }
    Object* Target() const { return target_; }

    void Trace(Marker& marker) const override {
        Object::Trace(marker);
        marker.Mark(scope_);
        marker.Mark(target_);
    }
    std::size_t Size() const override { return Object::Size() + 6 * sizeof(void*); }

  private:
    NativeFn native_ = nullptr;
    NativeFn construct_ = nullptr;
    const Program* program_ = nullptr;
    const FunctionDef* def_ = nullptr;
    Scope* scope_ = nullptr;
    const std::vector<const String*>* pool_ = nullptr;
    Object* target_ = nullptr;  // the timeline the function was defined on
};

// A movie clip's script object: its variables are ordinary properties; its display
// properties and named children come from the clip while it exists. A removed clip's object
// keeps its variables and answers nothing else.
class ClipObject final : public Object {
  public:
    ClipObject(Object* proto, ClipHost* host) : Object(proto, ObjectKind::kClip), host_(host) {}
    ClipHost* Host() const { return host_; }
    void Detach() { host_ = nullptr; }
    // The clip left the display at this target path ("_level0.a.b"): scripts still holding
    // its object reach whatever clip is at that path now.
    void Leave(std::string targetPath, bool button) {
        goneTarget_ = std::move(targetPath);
        wasButton_ = button;
    }
    const std::string& GoneTarget() const { return goneTarget_; }
    bool Gone() const { return !goneTarget_.empty(); }
    bool WasButton() const { return wasButton_; }
    // Whether `_root` seen from inside this clip is the clip itself (`_lockroot`).
    bool LocksRoot() const { return lockRoot_; }

    bool GetVirtual(Vm& vm, std::string_view key, Value* out) override;
    bool SetVirtual(Vm& vm, std::string_view key, const Value& value) override;
    bool GetAfterOwn(Vm& vm, std::string_view key, Value* out) override;
    void VirtualKeys(Vm& vm, std::vector<Value>& keys) override;

    // What Sound objects made for the clip set.
    using SoundMix = script::SoundMix;
    SoundMix& Mix() { return mix_; }

  private:
    bool IsTabIndex(Vm& vm, std::string_view key) const;
    // The clip scripts reach through this object: its own, or after it left the display the
    // one at its path now (null when there is none).
    ClipHost* Current(Vm& vm);

    ClipHost* host_;
    std::string goneTarget_;
    bool wasButton_ = false;
    SoundMix mix_;
    std::optional<std::int32_t> tabIndex_;  // none until a script sets one
    bool lockRoot_ = false;
};

// A text field's object: its properties are the host field's.
class TextFieldObject final : public Object {
  public:
    TextFieldObject(Object* proto, TextHost* host) : Object(proto, ObjectKind::kNative), host_(host) {}
    TextHost* Host() const { return host_; }
    void Detach() { host_ = nullptr; }

    bool GetVirtual(Vm& vm, std::string_view key, Value* out) override;
    bool SetVirtual(Vm& vm, std::string_view key, const Value& value) override;

  private:
    TextHost* host_;
};

// `super` inside a method: members are looked up above the method's home object and run
// with the method's `this`.
class SuperObject final : public Object {
  public:
    SuperObject(Object* home, Value self)
        : Object(nullptr, ObjectKind::kSuper), home_(home), self_(self) {}
    Object* Home() const { return home_; }
    const Value& Self() const { return self_; }
    void Trace(Marker& marker) const override {
        Object::Trace(marker);
        marker.Mark(home_);
        self_.Mark(marker);
    }
    std::size_t Size() const override { return Object::Size() + sizeof(Value) + sizeof(void*); }

  private:
    Object* home_;
    Value self_;
};

}  // namespace player::script
