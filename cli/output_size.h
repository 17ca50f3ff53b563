// The size every command draws at: the one --size parser, the default-size rule (the stage,
// at most kMaxDefaultSide a side) and the one pixel cap (what a surface can hold).
#pragma once

#include <optional>
#include <string>

#include "platform/surface.h"
#include "player/player.h"

namespace cli {

// Largest picture any command draws.
inline constexpr long long kMaxOutputPixels = CSurface::kMaxPixels;
// Longest side of the default size.
inline constexpr int kMaxDefaultSide = 4096;

// Output size: --size WxH, else --scale F of the stage, else the stage size.
struct SizeOption {
    int width = 0;
    int height = 0;
    double scale = 0.0;
};

// "WxH" with both sides positive and at most kMaxOutputPixels; nothing otherwise.
std::optional<SizeOption> ParseSize(const std::string& text);

// The stage size for output, at most kMaxDefaultSide a side (aspect kept; a stage of no area
// is 1 x 1). Sets *note when the stage had to be drawn smaller than it says.
void StageOutputSize(const player::StageInfo& stage, int* width, int* height, std::string* note);

// The size to draw at for the option and the stage; false when it passes kMaxOutputPixels.
bool ChooseOutputSize(const SizeOption& option, const player::StageInfo& stage, int* width,
                      int* height, std::string* note);

}  // namespace cli
