// TextFormat objects for hosts that report a field's formats.
#pragma once

#include "player/script/object.h"

namespace player::script {

class Vm;

// A new TextFormat with every value null.
Object* NewTextFormat(Vm& vm);

// The TextSnapshot class and MovieClip.getTextSnapshot (builtins_text_snapshot.cpp).
void InstallTextSnapshot(Vm& vm);

}  // namespace player::script
