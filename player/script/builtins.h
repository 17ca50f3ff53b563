// Shared pieces of the built-in objects: argument access and the installers of each group.
#pragma once

#include <span>
#include <string>

#include "player/script/vm.h"

namespace player::script {

inline Value Arg(std::span<const Value> args, std::size_t i) {
    return i < args.size() ? args[i] : Value();
}

// The object a method was called on, when it is of the given kind.
template <class T>
T* This(const Value& self, ObjectKind kind) {
    Object* o = self.AsObject();
    return o && o->Kind() == kind ? static_cast<T*>(o) : nullptr;
}

void InstallObjectAndFunction(Vm& vm);
void InstallGlobals(Vm& vm);
void InstallPrimitives(Vm& vm);  // Boolean, Number, String
void InstallArray(Vm& vm);
void InstallMath(Vm& vm);
void InstallMovieClip(Vm& vm);
// AsBroadcaster; returns it.
Object* InstallBroadcaster(Vm& vm);
// Gives `o` a fresh listener list and AsBroadcaster's methods.
void MakeBroadcaster(Vm& vm, Object* o);

// The constructor Object.registerClass gave a library symbol's export name, or null.
Object* RegisteredClass(Vm& vm, std::string_view exportName);

}  // namespace player::script
