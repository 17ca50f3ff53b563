// One running action block or function call: its code, scope chain, `this`, targets and
// registers. Internal to the machine.
#pragma once

#include "player/script/vm.h"

namespace player::script {

struct Vm::Frame {
    const Program* program = nullptr;
    const std::vector<const String*>* pool = nullptr;
    Scope* scope = nullptr;       // innermost; its outermost link is the timeline
    Value thisValue;
    Object* target = nullptr;     // what timeline actions act on (SetTarget changes it)
    Object* timeline = nullptr;   // the block's own timeline, or the function's
    FunctionObject* callee = nullptr;
    Object* activation = nullptr;  // null in a frame's block
    Object* home = nullptr;        // where the running method was found, for `super`
    std::vector<Value> registers;
    Value returnValue;
    // DefineFunction2 may hide `this` and `super` as names (preloaded or suppressed).
    bool thisVisible = true;
    bool superVisible = true;
    // SetTarget named nothing: timeline actions and variables go to the root, but the
    // target's own properties read as undefined.
    bool targetLost = false;
    std::size_t stackBase = 0;

    void Mark(Marker& marker) const {
        if (program) program->Mark(marker);
        marker.Mark(scope);
        thisValue.Mark(marker);
        marker.Mark(target);
        marker.Mark(timeline);
        marker.Mark(callee);
        marker.Mark(activation);
        marker.Mark(home);
        for (const Value& v : registers) v.Mark(marker);
        returnValue.Mark(marker);
    }
};

}  // namespace player::script
