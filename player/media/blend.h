// Composites a premultiplied source layer onto a destination with one of the movie format's
// blend modes (PlaceObject3's BlendMode values).
#pragma once

#include <cstdint>

#include "player/media/image.h"

namespace media {

// Values as stored in the file; 0 and 1 both mean normal.
enum class BlendMode : std::uint8_t {
    kNormal = 1,
    kLayer = 2,
    kMultiply = 3,
    kScreen = 4,
    kLighten = 5,
    kDarken = 6,
    kDifference = 7,
    kAdd = 8,
    kSubtract = 9,
    kInvert = 10,
    kAlpha = 11,
    kErase = 12,
    kOverlay = 13,
    kHardlight = 14,
};

// Maps a file value to a mode; 0 and unknown values (such as 15, shader) become normal.
BlendMode BlendModeFromFile(std::uint8_t value);

// True for modes that need the object drawn into a layer of its own and composited with Blend
// (everything except normal; layer itself only isolates its children).
bool NeedsLayer(BlendMode mode);

// Composites `source` onto `dest` with its top-left corner at (x, y) in dest; only the
// overlapping rectangle is touched. Separable modes use the premultiplied form
//   result = B(Sc, Dc) + Sc * (1 - Da) + Dc * (1 - Sa),  alpha = Sa + Da - Sa * Da,
// where B is the mode's blend of the two colours. Add and subtract instead add the source's
// premultiplied colour to (or take it from) the destination where it is, Dc + Sc or Dc - Sc
// times Da, saturating at the limits.
// Invert inverts the destination under the source's coverage; alpha keeps the destination
// where the source is opaque (dest *= Sa), erase removes it there (dest *= 1 - Sa). Both act
// on the overlapping rectangle only, so the caller passes the source at its layer's extent.
void Blend(Image& dest, const Image& source, int x, int y, BlendMode mode);

// Pixels owned elsewhere (a cairo image surface), rows `stride` pixels apart, same layout.
struct PixelView {
    std::uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;  // in pixels, at least width
};

// As above, onto a view.
void Blend(PixelView dest, const Image& source, int x, int y, BlendMode mode);

}  // namespace media
