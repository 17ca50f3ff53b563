// Caps on everything a movie file can make the engine allocate or repeat. Every size read from
// a file is checked against these before it is used.
#pragma once

#include <cstddef>
#include <cstdint>

namespace player {

struct Limits {
    // Largest body a compressed movie may inflate to, and largest plain movie accepted.
    static constexpr std::size_t kMaxMovieBytes = 256u << 20;
    // Frames kept per timeline (the header's count is 16-bit; files may hold more ShowFrames).
    static constexpr int kMaxFramesPerTimeline = 65535;
    // Edges in one shape (each edge becomes a path segment).
    static constexpr std::size_t kMaxShapeEdges = 1u << 20;
    // Sprites nested inside sprites in the display tree (a sprite placing itself stops here).
    static constexpr int kMaxNestingDepth = 32;
    // Masks drawn inside masks (each holds a group the size of the picture); deeper ones are
    // drawn unmasked.
    static constexpr int kMaxMaskNesting = 8;
    // Display objects alive at once in one playing movie, over all nesting levels.
    static constexpr std::size_t kMaxDisplayObjects = 200000;
    // Actions run in one tick (frames whose actions jump back and forth end here).
    static constexpr int kMaxActionsPerTick = 100000;
    // Problems recorded while reading one movie; later ones are counted, not kept.
    static constexpr std::size_t kMaxReportedProblems = 100;
    // Memory the typed model of one movie may take: small records expand when modelled (a
    // 10-bit edge becomes a shape record, a 2-byte ShowFrame a frame), so the body cap alone
    // does not bound it.
    static constexpr std::size_t kMaxModelBytes = 512u << 20;
};

// What the model of one movie may still take; every element is charged before it is kept.
class ModelBudget {
  public:
    explicit ModelBudget(std::size_t bytes = Limits::kMaxModelBytes) : left_(bytes) {}
    // False (and exhausted from then on) when the bytes are not left.
    bool Charge(std::size_t bytes) {
        if (exhausted_ || bytes > left_) {
            exhausted_ = true;
            return false;
        }
        left_ -= bytes;
        return true;
    }
    bool Exhausted() const { return exhausted_; }

  private:
    std::size_t left_;
    bool exhausted_ = false;
};

}  // namespace player
