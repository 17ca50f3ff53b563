// Shape tweens: reading DefineMorphShape/DefineMorphShape2 bodies, and the plain shape a morph
// shows at a ratio (0 = start, 65535 = end), which the renderer then draws like any shape.
#pragma once

#include <cstdint>

#include "player/bitreader.h"
#include "player/limits.h"
#include "player/model.h"

namespace player {

// Reads a morph body (version 1 or 2) after the tag header. False when the styles or the start
// edges cannot be read; end edges that break off keep what was read.
bool ReadMorphShape(BitReader& in, int version, ModelBudget& budget, MorphShape* morph);

// The shape at `ratio`. Start and end edges are walked in step: a straight edge facing a curve
// becomes a curve, end edges that run out follow the start edges, surplus end edges are ignored.
Shape MorphAt(const MorphShape& morph, std::uint16_t ratio);

}  // namespace player
