// Buttons: DefineButton and DefineButton2 read into their records, and the up state built as a
// one-frame timeline; actions and sounds are read past.
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

// The up-state records as one frame of PlaceObject commands, in record order.
Timeline UpStateTimeline(const std::vector<ButtonRecord>& records);

}  // namespace player
