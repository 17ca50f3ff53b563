// Buttons: DefineButton and DefineButton2 read into their records, their up, over and down
// states built as one-frame timelines, and their actions with the transitions that run them.
#pragma once

#include "player/bitreader.h"
#include "player/limits.h"
#include "player/model.h"

namespace player {

// Reads a button body (after the tag header) of DefineButton (version 1) or DefineButton2.
// False when even the id cannot be read; records that break off end the list.
bool ReadButton(BitReader& in, int version, ModelBudget& budget, Button* button);

// Gives every record the colour transform (DefineButtonCxform) and rebuilds the up state.
void SetButtonColorTransform(Button& button, const ColorTransform& colorTransform);

enum class ButtonState { kUp, kOver, kDown };

// The records shown in a state as one frame of PlaceObject commands, in record order.
Timeline StateTimeline(const std::vector<ButtonRecord>& records, ButtonState state);

}  // namespace player
