// Readers for the movie's shared records: rectangles, matrices, colour transforms, colours, fill
// and line styles, and shape records. Each reads one record and leaves the reader after it; a
// record that runs past its data leaves the reader failed.
#pragma once

#include <algorithm>
#include <cstdint>

#include "player/bitreader.h"
#include "player/limits.h"
#include "player/model.h"

namespace player {

Rect ReadRect(BitReader& in);
Matrix ReadMatrix(BitReader& in);
ColorTransform ReadColorTransform(BitReader& in, bool withAlpha);
Rgba ReadRgb(BitReader& in);
Rgba ReadRgba(BitReader& in);

// The caps, join, scaling and miter fields that LINESTYLE2 shares with its tweened form;
// returns whether a fill style follows.
template <typename Style>
bool ReadLineStyle2Flags(BitReader& in, Style& s) {
    s.startCap = static_cast<CapStyle>(std::min<std::uint32_t>(in.UBits(2), 2));
    const std::uint32_t join = in.UBits(2);
    s.join = static_cast<JoinStyle>(std::min<std::uint32_t>(join, 2));
    const bool hasFill = in.Flag();
    s.noHScale = in.Flag();
    s.noVScale = in.Flag();
    s.pixelHinting = in.Flag();
    in.UBits(5);
    s.noClose = in.Flag();
    s.endCap = static_cast<CapStyle>(std::min<std::uint32_t>(in.UBits(2), 2));
    if (join == 2) s.miterLimit = in.U16();
    return hasFill;
}

// shapeVersion is 1..4 (DefineShape..DefineShape4): it decides colour sizes, extended counts and
// the line style layout.
FillStyle ReadFillStyle(BitReader& in, int shapeVersion);
StyleArrays ReadStyleArrays(BitReader& in, int shapeVersion, ModelBudget& budget);
// Reads shape records up to and including the end record. Stops early (reader failed) when the
// data runs out, the edge count passes the shape-edge cap or the budget runs out.
std::vector<ShapeRecord> ReadShapeRecords(BitReader& in, int shapeVersion, int fillBits,
                                          int lineBits, ModelBudget& budget);

}  // namespace player
