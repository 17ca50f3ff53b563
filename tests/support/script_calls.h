// Script calls for movies built with the assembler: objects made with `new`, methods called and
// their results traced, properties set, each named by a dotted path ("b.getPixel",
// "flash.geom.Rectangle").
#pragma once

#include <string>
#include <variant>
#include <vector>

#include "tests/support/avm1_asm.h"

namespace swfw::calls {

// A dotted path pushed as a value ("b", "flash.filters.BlurFilter", "Stage.width").
struct P {
    std::string path;
};
using Arg = std::variant<swfw::PushItem, P>;

inline std::vector<std::string> Split(const std::string& path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t dot = path.find('.', start);
        parts.push_back(path.substr(start, dot == std::string::npos ? dot : dot - start));
        if (dot == std::string::npos) return parts;
        start = dot + 1;
    }
}

inline void PushPath(swfw::Asm& a, const std::string& path) {
    const auto parts = Split(path);
    a.GetVariable(parts[0]);
    for (std::size_t i = 1; i < parts.size(); ++i) a.Push(parts[i]).Op(swfw::Op::kGetMember);
}

inline void PushArgs(swfw::Asm& a, const std::vector<Arg>& args) {
    for (auto it = args.rbegin(); it != args.rend(); ++it) {
        if (const auto* p = std::get_if<P>(&*it)) {
            PushPath(a, p->path);
        } else {
            a.Push(std::get<swfw::PushItem>(*it));
        }
    }
    a.Push(static_cast<int>(args.size()));
}

// Pushes the parent of a dotted path and the last name, for GetMember, SetMember and calls.
inline std::string PushParent(swfw::Asm& a, const std::string& path) {
    const std::size_t dot = path.rfind('.');
    PushPath(a, path.substr(0, dot));
    const std::string last = path.substr(dot + 1);
    a.Push(last);
    return last;
}

// var = new Ctor(args...)
inline void New(swfw::Asm& a, const std::string& var, const std::string& ctor,
                const std::vector<Arg>& args) {
    a.Push(var);
    PushArgs(a, args);
    if (ctor.find('.') == std::string::npos) {
        a.Push(ctor).Op(swfw::Op::kNewObject);
    } else {
        PushParent(a, ctor);
        a.Op(swfw::Op::kNewMethod);
    }
    a.Op(swfw::Op::kSetVariable);
}

// path(args...) as a method call; its result is traced or dropped.
inline void Call(swfw::Asm& a, const std::string& method, const std::vector<Arg>& args,
                 bool trace = false) {
    PushArgs(a, args);
    PushParent(a, method);
    a.Op(swfw::Op::kCallMethod);
    if (trace) {
        a.Trace();
    } else {
        a.Op(swfw::Op::kPop);
    }
}

inline void TraceCall(swfw::Asm& a, const std::string& method, const std::vector<Arg>& args = {}) {
    Call(a, method, args, true);
}

inline void TracePath(swfw::Asm& a, const std::string& path) {
    PushPath(a, path);
    a.Trace();
}

inline void Set(swfw::Asm& a, const std::string& path, const Arg& value) {
    if (path.find('.') == std::string::npos) {
        a.Push(path);
    } else {
        PushParent(a, path);
    }
    if (const auto* p = std::get_if<P>(&value)) {
        PushPath(a, p->path);
    } else {
        a.Push(std::get<swfw::PushItem>(value));
    }
    a.Op(path.find('.') == std::string::npos ? swfw::Op::kSetVariable : swfw::Op::kSetMember);
}

}  // namespace swfw::calls
