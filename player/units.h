// The movie's file units and their one conversion each: twips (a twentieth of a pixel), 8.8
// fixed point (frame rates, colour multipliers, miter limits, focal points) and 16.16 fixed
// point (matrix scales and skews, filter values).
#pragma once

#include <cstdint>

namespace player {

inline constexpr int kTwipsPerPixel = 20;
inline constexpr double kFixed8One = 256.0;
inline constexpr double kFixed16One = 65536.0;

constexpr double TwipsToPixels(double twips) {
    return twips / kTwipsPerPixel;
}
constexpr double PixelsToTwips(double pixels) {
    return pixels * kTwipsPerPixel;
}
constexpr double FromFixed8(double value) {
    return value / kFixed8One;
}
constexpr double FromFixed16(double value) {
    return value / kFixed16One;
}

}  // namespace player
