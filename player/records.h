// Readers for the movie's shared records: rectangles, matrices, colour transforms, colours, fill
// and line styles, and shape records. Each reads one record and leaves the reader after it; a
// record that runs past its data leaves the reader failed.
#pragma once

#include "player/bitreader.h"
#include "player/limits.h"
#include "player/model.h"

namespace player {

Rect ReadRect(BitReader& in);
Matrix ReadMatrix(BitReader& in);
ColorTransform ReadColorTransform(BitReader& in, bool withAlpha);
Rgba ReadRgb(BitReader& in);
Rgba ReadRgba(BitReader& in);

// shapeVersion is 1..4 (DefineShape..DefineShape4): it decides colour sizes, extended counts and
// the line style layout.
FillStyle ReadFillStyle(BitReader& in, int shapeVersion);
StyleArrays ReadStyleArrays(BitReader& in, int shapeVersion, ModelBudget& budget);
// Reads shape records up to and including the end record. Stops early (reader failed) when the
// data runs out, the edge count passes Limits::kMaxShapeEdges or the budget runs out.
std::vector<ShapeRecord> ReadShapeRecords(BitReader& in, int shapeVersion, int fillBits,
                                          int lineBits, ModelBudget& budget);

}  // namespace player
