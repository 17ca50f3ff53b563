// Caps on everything a movie file can make the engine allocate or repeat. Every size read from
// a file is checked against these before it is used.
#pragma once

#include <cstddef>
#include <cstdint>

namespace player {

struct Limits {
    // Largest body a compressed movie may inflate to, and largest plain movie accepted.
    static constexpr std::size_t kMaxMovieBytes = 256u << 20;
    // Dictionary an LZMA-compressed movie may decode with: movies compress with a few MB at
    // most, so 64 MB decodes any real one.
    static constexpr std::size_t kMaxLzmaDictionaryBytes = std::size_t{64} << 20;
    // Frames kept per timeline (the header's count is 16-bit; files may hold more ShowFrames).
    static constexpr int kMaxFramesPerTimeline = 65535;
    // Edges in one shape (each edge becomes a path segment).
    static constexpr std::size_t kMaxShapeEdges = 1u << 20;
    // Records (edges and style changes) in the drawing a script makes on one clip; later
    // drawing calls are ignored until the clip's drawing is cleared.
    static constexpr std::size_t kMaxDrawingRecords = 1u << 18;
    // Sprites nested inside sprites in the display tree (a sprite placing itself stops here).
    static constexpr int kMaxNestingDepth = 32;
    // Masks drawn inside masks (each holds a group the size of the picture); deeper ones are
    // drawn unmasked.
    static constexpr int kMaxMaskNesting = 8;
    // Display objects alive at once in one playing movie, over all nesting levels.
    static constexpr std::size_t kMaxDisplayObjects = 200000;
    // Scripts. Actions run in one tick over all blocks, handlers and timers: a script past
    // it is stopped, with the movie's other scripts, as when a user answers a player's
    // slow-script prompt; real movies run a few thousand a frame.
    static constexpr std::int64_t kMaxActionsPerTick = 5'000'000;
    // Nested function calls, unless the movie's ScriptLimits tag sets its own depth.
    static constexpr int kMaxScriptRecursion = 256;
    // One script string, and the elements one array may be given at once.
    static constexpr std::size_t kMaxScriptStringBytes = 64u << 20;
    static constexpr std::uint32_t kMaxScriptArrayLength = 1u << 24;
    // Live script data (objects, strings, closures) after a collection.
    static constexpr std::size_t kMaxScriptHeapBytes = 1024u << 20;
    // Timeline work in one tick: frames applied, display commands applied and clips created,
    // whether by stepping, by actions jumping back (each jump back rebuilds the timeline from
    // its first frame, clips and all) or by clips placing clips. The action cap alone does not
    // bound it: one action can rebuild a tree of kMaxDisplayObjects. A real movie's heaviest
    // jump costs a few hundred thousand; past the cap the tick leaves the rest undone.
    static constexpr int kMaxTimelineWorkPerTick = 1 << 20;
    // Problems recorded while reading one movie; later ones are counted, not kept.
    static constexpr std::size_t kMaxReportedProblems = 100;
    // Memory the typed model of one movie may take: small records expand when modelled (a
    // 10-bit edge becomes a shape record, a 2-byte ShowFrame a frame), so the body cap alone
    // does not bound it.
    static constexpr std::size_t kMaxModelBytes = 512u << 20;
    // Characters in one movie's dictionary: ids are 16-bit and the first definition of an id
    // wins, so the dictionary never holds more than this (each entry is charged to the model
    // budget as well).
    static constexpr std::size_t kMaxCharacters = 65536;
    // Display-list depths are 16-bit, so one list holds at most this many objects (all lists
    // together are capped by kMaxDisplayObjects).
    static constexpr std::size_t kMaxDepthsPerList = 65536;
    // Input. Scripted events (clicks and keys by tick) one run takes, and a user's events
    // waiting for the next tick; later ones are dropped.
    static constexpr std::size_t kMaxScriptedInputs = 4096;
    static constexpr std::size_t kMaxPendingInputs = 256;
    // Loading: the largest file a script may load beside its movie, and the loads one tick
    // may make (a movie loading in a loop fails the rest).
    static constexpr std::size_t kMaxLoadedFileBytes = 16u << 20;
    static constexpr int kMaxLoadsPerTick = 64;
    // Movies scripts load (loadMovie, loadMovieNum, MovieClipLoader): distinct files kept in
    // one run, the model memory they may take together, movies loaded inside loaded movies,
    // and the highest _levelN.
    static constexpr std::size_t kMaxLoadedMovies = 32;
    static constexpr std::size_t kMaxLoadedModelBytes = 512u << 20;
    static constexpr int kMaxLoadNesting = 8;
    static constexpr int kMaxLevel = 65535;
    // Ticks a scripted movie is played for when its length is judged by its picture: the
    // longest --duration is this many ticks.
    static constexpr long kMaxPlaybackTicks = 36000;
    // Movies one `convert --list` may name.
    static constexpr std::size_t kMaxListedMovies = 10'000'000;

    // Drawing one frame. Past any of these the rest of the frame is left out (and a problem
    // noted), so a frame costs seconds at worst, never hours.
    // Shape edges drawn, counted each time a shape is drawn: a million-edge shape placed a
    // thousand times would otherwise cost a billion path segments. Real movies draw at most a
    // few hundred thousand edges a frame.
    static constexpr std::size_t kMaxEdgesPerFrame = 8u << 20;
    // Pixels of the offscreen groups pushed (two per mask, one per shape whose fills touch,
    // each counted at its clipped size): 1 Gi pixels is about 64 full-picture groups at
    // 4096 x 4096 and thousands at ordinary sizes; real movies push a few dozen.
    static constexpr std::int64_t kMaxGroupPixelsPerFrame = std::int64_t{1} << 30;
    // Decoded bitmaps kept by one renderer (with their colour-transformed copies). A few
    // kilobytes of JPEG or zlib data can decode to 256 MiB, so the bodies' budget alone does
    // not bound this. When it is passed, the cache is emptied before the next frame and
    // bitmaps that no longer fit in the current frame are left out of it. Real movies keep
    // well under 100 MiB of bitmaps.
    static constexpr std::size_t kMaxDecodedBitmapBytes = 512u << 20;
    // Drawing work of one frame: every pixel composited (fills, strokes, glyphs, video,
    // groups, layers) counts one unit, each texel or ramp entry sampled for it one more, and
    // each layer pixel a filter runs over kFilterWorkPerPixel (player/frame_work.h). About a
    // second of work on one core: sixty full 4096 x 4096 pictures of plain fills, or the
    // stage of an ordinary movie drawn over two thousand times. Past it the frame keeps what
    // it has drawn and leaves the rest out. Counted, never timed, so pictures do not depend on
    // the machine; real movies use a few percent of it at most.
    static constexpr std::int64_t kMaxPixelWorkPerFrame = std::int64_t{3} << 28;

    // Sound. Frames (44.1 kHz stereo sample pairs) one sound, or one run of a stream, decodes
    // to: ten minutes, 212 MB of float samples. Longer sounds keep their first ten minutes.
    static constexpr std::size_t kMaxSoundFrames = 44100u * 600u;
    // Decoded sounds a mixer keeps; past it the cache is emptied before the next decode.
    static constexpr std::size_t kMaxDecodedSoundBytes = 512u << 20;
    // Voices playing at once; a start past it is left out (real movies play a handful).
    static constexpr std::size_t kMaxVoices = 64;
    // Sound events (starts, stops, stream blocks) recorded in one run from the start.
    static constexpr std::size_t kMaxSoundEvents = 1u << 20;
    // Seconds of audio one mixing call renders; longer ranges are mixed in pieces.
    static constexpr std::size_t kMaxMixSecondsPerCall = 600;
    // Pictures one video or animated picture holds: over five hours at 50 a second. A slow
    // movie sampled at a fast --fps asks for no more.
    static constexpr long kMaxVideoPictures = 1000000;
};

// The per-frame caps a renderer works under (tests lower them).
struct FrameWorkLimits {
    std::size_t maxEdges = Limits::kMaxEdgesPerFrame;
    std::int64_t maxGroupPixels = Limits::kMaxGroupPixelsPerFrame;
    std::size_t maxBitmapBytes = Limits::kMaxDecodedBitmapBytes;
    std::int64_t maxPixelWork = Limits::kMaxPixelWorkPerFrame;
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
