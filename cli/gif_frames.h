// The pictures of an animated GIF made from whole frames: frames the last picture already shows
// (within a tolerance) merged with their delays summed, each later frame stored as the
// rectangle that changed with unchanged pixels transparent where that is smaller, and disposal
// chosen so that every decoded frame shows the frame given, its transparent pixels included.
// One frame is held back until the next decides its disposal.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "cli/gif_palette.h"
#include "cli/gif_writer.h"

namespace cli::gif {

// width x height pixels, row-major: 0 is transparent, anything else 0xFFRRGGBB.
using Frame = std::vector<std::uint32_t>;

struct EncodeOptions {
    int colors = kMaxColors;  // 2..256, the transparent entry included
    Dither dither = Dither::kDiffuse;
    bool optimize = true;     // merged frames and changed rectangles
    bool transparent = false;  // frames may hold transparent pixels
    // Levels a channel by which an opaque pixel may differ from the colour it was last drawn
    // for and still be left as shown (0: only an equal colour is); with optimize only.
    int tolerance = 0;
    // Mean squared error of a channel at which a palette has entries enough (0: as many as
    // allowed).
    double enoughError = 0;
    // Colours of a palette shared by every picture (written once as the GIF's global palette,
    // with GlobalTransparentEntry() after them when a transparent entry is needed); empty:
    // each picture has its own palette.
    Palette global;
};

// Whether pictures need a transparent entry at all: for unchanged or transparent pixels.
bool NeedsTransparentEntry(const EncodeOptions& options);

// Small pictures at most this many drawn pixels may use the GIF's global palette instead of
// their own, whose 768 bytes would cost more than their pixels.
constexpr std::size_t kSharedPaletteMaxPixels = 1 << 15;

class FrameSequence {
  public:
    using Sink = std::function<bool(const Picture&)>;
    FrameSequence(int width, int height, EncodeOptions options, Sink sink);

    // The next frame, shown for delayCs. False when the sink failed or the frame has the wrong
    // size.
    bool Add(const Frame& frame, std::int64_t delayCs);
    // Hands over the last picture held back.
    bool Finish();

    // The GIF's global palette, known once the first frame is added: the shared colours (or,
    // with each picture its own palette, the first picture's, which later small pictures
    // may use) and, when needed, a transparent entry after them.
    Palette ScreenPalette() const;

  private:
    struct Box {
        int left = 0, top = 0, right = 0, bottom = 0;  // right and bottom exclusive
        bool Empty() const { return right <= left || bottom <= top; }
        Box Union(const Box& other) const;
        bool operator==(const Box&) const = default;
    };
    Box Whole() const { return {0, 0, width_, height_}; }
    // The pixels of `target` that `canvas` does not show (within the tolerance), marked in
    // changed_ for the Encode of the same two frames that follows.
    Box ChangedBox(const Frame& target, const Frame& canvas);
    Box VanishingBox(const Frame& before, const Frame& after) const;
    // Whether the coder is likely to spend less on the box with its unchanged pixels left
    // transparent than with them drawn again.
    bool HolesAreSmaller(const Frame& target, Box box) const;
    // Replaces `picture` (keeping its memory) with the one that turns `canvas` into `target`
    // within `box`, and after_ with what that shows; with optimize, after ChangedBox(target,
    // canvas).
    void Encode(const Frame& target, const Frame& canvas, Box box, std::int64_t delayCs,
                bool first, Picture* picture);
    // Drawn pixels of a picture within `box` (block_ mapped to `indices`) that may be left as
    // shown become transparent where that is smaller.
    void KeepSeenWhereCloseEnough(Box box, const Palette& colors, int blankIndex,
                                  std::vector<std::uint8_t>* indices);
    // The palette a picture's drawn pixels take: the global one, or their own.
    const Palette& ChoosePalette(bool first, bool blanks, Picture* picture);
    // Mean squared error of the drawn pixels on the palette `nearest` searches.
    double MeanError(NearestColor& nearest, const Palette& palette) const;

    int width_ = 0;
    int height_ = 0;
    EncodeOptions options_;
    Sink sink_;
    bool holding_ = false;
    bool heldIsFirst_ = false;
    Palette shared_;  // the global palette's colours
    double sharedError_ = 0;  // mean squared error of the first picture on them
    NearestColor sharedNearest_{Palette{}};
    Picture held_;     // the picture of the last frame, not yet handed over
    Box heldBox_;
    Frame heldFrame_;  // the frame of the held picture
    // What a viewer shows before and after the held picture is drawn, each pixel as the colour
    // it was drawn for (0 where transparent).
    Frame canvas_;
    Frame after_;
    // The same as the palette colours a viewer shows (0xFFRRGGBB, 0 where transparent).
    Frame seenCanvas_;
    Frame seenAfter_;
    std::vector<std::uint32_t> block_, drawn_;  // working memory of Encode
    // Working memory of KeepSeenWhereCloseEnough: by pixel of a row, 1 where it may be kept.
    std::vector<std::uint8_t> keepable_;
    std::vector<std::uint8_t> changed_;  // by pixel: 1 where the last ChangedBox found a change
    PaletteMapper mapper_;
};

}  // namespace cli::gif
