// The pictures of an animated GIF made from whole frames: identical frames merged with their
// delays summed, each later frame stored as the rectangle that changed with unchanged pixels
// transparent, and disposal chosen so that every decoded frame shows the frame given, its
// transparent pixels included. One frame is held back until the next decides its disposal.
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
    // Colours of a palette shared by every picture (written once as the GIF's global palette,
    // with GlobalTransparentEntry() after them when a transparent entry is needed); empty:
    // each picture has its own palette.
    Palette global;
};

// Whether pictures need a transparent entry at all: for unchanged or transparent pixels.
bool NeedsTransparentEntry(const EncodeOptions& options);
// The global palette as written: the colours and, when needed, a transparent entry after them.
Palette WrittenGlobalPalette(const EncodeOptions& options);

class FrameSequence {
  public:
    using Sink = std::function<bool(const Picture&)>;
    FrameSequence(int width, int height, EncodeOptions options, Sink sink);

    // The next frame, shown for delayCs. False when the sink failed or the frame has the wrong
    // size.
    bool Add(const Frame& frame, std::int64_t delayCs);
    // Hands over the last picture held back.
    bool Finish();

  private:
    struct Box {
        int left = 0, top = 0, right = 0, bottom = 0;  // right and bottom exclusive
        bool Empty() const { return right <= left || bottom <= top; }
        Box Union(const Box& other) const;
        bool operator==(const Box&) const = default;
    };
    Box Whole() const { return {0, 0, width_, height_}; }
    Box ChangedBox(const Frame& target, const Frame& canvas) const;
    Box VanishingBox(const Frame& before, const Frame& after) const;
    // Replaces `picture` (keeping its memory) with the one that turns `canvas` into `target`
    // within `box`.
    void Encode(const Frame& target, const Frame& canvas, Box box, std::int64_t delayCs,
                Picture* picture);

    int width_ = 0;
    int height_ = 0;
    EncodeOptions options_;
    Sink sink_;
    bool holding_ = false;
    Picture held_;     // the picture of the last frame, not yet handed over
    Box heldBox_;
    Frame heldFrame_;  // the last frame
    Frame canvas_;     // what a viewer shows before the held picture is drawn
    std::vector<std::uint32_t> block_, drawn_;  // working memory of Encode
    PaletteMapper mapper_;
};

}  // namespace cli::gif
