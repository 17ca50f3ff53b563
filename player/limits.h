// Caps on everything a movie file can make the engine allocate or repeat. Every size read from
// a file is checked against these before it is used. A movie is loaded and played under one
// `Limits` value (the defaults below unless its caller passes others, as tests do).
#pragma once

#include <cstddef>
#include <cstdint>

namespace player {

struct Limits {
    // Largest body a compressed movie may inflate to, and largest plain movie accepted.
    std::size_t maxMovieBytes = 256u << 20;
    // Dictionary an LZMA-compressed movie may decode with: movies compress with a few MB at
    // most, so 64 MB decodes any real one.
    std::size_t maxLzmaDictionaryBytes = std::size_t{64} << 20;
    // Frames kept per timeline (the header's count is 16-bit; files may hold more ShowFrames).
    int maxFramesPerTimeline = 65535;
    // Edges in one shape (each edge becomes a path segment).
    std::size_t maxShapeEdges = 1u << 20;
    // A button's records (its states hold a handful of characters) and condition records (it
    // reacts to a handful of transitions); later ones are dropped.
    std::size_t maxButtonRecords = 4096;
    std::size_t maxButtonActions = 256;
    // Records (edges and style changes) in the drawing a script makes on one clip; later
    // drawing calls are ignored until the clip's drawing is cleared.
    std::size_t maxDrawingRecords = 1u << 18;
    // Sprites nested inside sprites in the display tree (a sprite placing itself stops here).
    int maxNestingDepth = 32;
    // Masks drawn inside masks (each holds a group the size of the picture); deeper ones are
    // drawn unmasked.
    int maxMaskNesting = 8;
    // Display objects alive at once in one playing movie, over all nesting levels.
    std::size_t maxDisplayObjects = 200000;
    // Scripts. Actions run in one tick over all blocks, handlers and timers: a script past
    // it is stopped, with the movie's other scripts, as when a user answers a player's
    // slow-script prompt; real movies run a few thousand a frame.
    std::int64_t maxActionsPerTick = 5'000'000;
    // Nested function calls, unless the movie's ScriptLimits tag sets its own depth.
    int maxScriptRecursion = 256;
    // One script string, and the elements one array may be given at once.
    std::size_t maxScriptStringBytes = 64u << 20;
    std::uint32_t maxScriptArrayLength = 1u << 24;
    // Live script data (objects, strings, closures) after a collection.
    std::size_t maxScriptHeapBytes = 1024u << 20;
    // Values one movie may leave on its operand stack (blocks share it, so a movie that leaves
    // a value every frame must not grow it for ever).
    std::size_t maxScriptStackValues = 1u << 20;
    // Timeline work in one tick: frames applied, display commands applied and clips created,
    // whether by stepping, by actions jumping back (each jump back rebuilds the timeline from
    // its first frame, clips and all) or by clips placing clips. The action cap alone does not
    // bound it: one action can rebuild a tree of maxDisplayObjects. A real movie's heaviest
    // jump costs a few hundred thousand; past the cap the tick leaves the rest undone.
    int maxTimelineWorkPerTick = 1 << 20;
    // Shape records that hitTest's shape flag may trace in one tick (each test traces every
    // shape whose box holds the point); past it, shapes answer by their boxes.
    std::int64_t maxShapeHitWorkPerTick = 1 << 22;
    // Problems recorded while reading one movie; later ones are counted, not kept.
    std::size_t maxReportedProblems = 100;
    // Memory the typed model of one movie may take: small records expand when modelled (a
    // 10-bit edge becomes a shape record, a 2-byte ShowFrame a frame), so the body cap alone
    // does not bound it.
    std::size_t maxModelBytes = 512u << 20;
    // Fixed by the file format, not settable.
    // Characters in one movie's dictionary: ids are 16-bit and the first definition of an id
    // wins, so the dictionary never holds more than this (each entry is charged to the model
    // budget as well).
    static constexpr std::size_t kMaxCharacters = 65536;
    // The highest _levelN a movie can be loaded into or named by.
    static constexpr int kMaxLevel = 65535;
    // Input. Scripted events (clicks and keys by tick) one run takes, and a user's events
    // waiting for the next tick; later ones are dropped.
    std::size_t maxScriptedInputs = 4096;
    std::size_t maxPendingInputs = 256;
    // Loading: the largest file a script may load beside its movie, and the loads one tick
    // may make (a movie loading in a loop fails the rest).
    std::size_t maxLoadedFileBytes = 16u << 20;
    int maxLoadsPerTick = 64;
    // Movies scripts load (loadMovie, loadMovieNum, MovieClipLoader): distinct files kept in
    // one run, the model memory they may take together, and movies loaded inside loaded movies.
    std::size_t maxLoadedMovies = 32;
    std::size_t maxLoadedModelBytes = 512u << 20;
    int maxLoadNesting = 8;
    // Ticks a scripted movie is played for when its length is judged by its picture: the
    // longest --duration is this many ticks.
    long maxPlaybackTicks = 36000;
    // Movies one `convert --list` may name.
    std::size_t maxListedMovies = 10'000'000;

    // Drawing one frame. Past any of these the rest of the frame is left out (and a problem
    // noted), so a frame costs seconds at worst, never hours.
    // Shape edges drawn, counted each time a shape is drawn: a million-edge shape placed a
    // thousand times would otherwise cost a billion path segments. Real movies draw at most a
    // few hundred thousand edges a frame.
    std::size_t maxEdgesPerFrame = 8u << 20;
    // Pixels of the offscreen groups pushed (two per mask, one per shape whose fills touch,
    // each counted at its clipped size): 1 Gi pixels is about 64 full-picture groups at
    // 4096 x 4096 and thousands at ordinary sizes; real movies push a few dozen.
    std::int64_t maxGroupPixelsPerFrame = std::int64_t{1} << 30;
    // Decoded bitmaps kept by one renderer (with their colour-transformed copies). A few
    // kilobytes of JPEG or zlib data can decode to 256 MiB, so the bodies' budget alone does
    // not bound this. When it is passed, the cache is emptied before the next frame and
    // bitmaps that no longer fit in the current frame are left out of it. Real movies keep
    // well under 100 MiB of bitmaps.
    std::size_t maxDecodedBitmapBytes = 512u << 20;
    // Drawing work of one frame: every pixel composited (fills, strokes, glyphs, video,
    // groups, layers) counts one unit, each texel or ramp entry sampled for it one more, and
    // each layer pixel a filter runs over kFilterWorkPerPixel (player/frame_work.h). About a
    // second of work on one core: sixty full 4096 x 4096 pictures of plain fills, or the
    // stage of an ordinary movie drawn over two thousand times. Past it the frame keeps what
    // it has drawn and leaves the rest out. Counted, never timed, so pictures do not depend on
    // the machine; real movies use a few percent of it at most.
    std::int64_t maxPixelWorkPerFrame = std::int64_t{3} << 28;
    // Layer pixels all filters of one frame may process together: four filters over the
    // largest layer, 4096 x 4096 (about two seconds of work), or some three hundred over a
    // 550 x 400 picture; later filters in the frame are left out.
    std::int64_t maxFilteredPixelsPerFrame = std::int64_t{4} * 4096 * 4096;
    // Layers (objects drawn off-screen for a blend mode, filters or caching) inside layers;
    // objects deeper than this are drawn without their effects.
    int maxLayerNesting = 8;
    // Tween shapes kept by one renderer: a tween plays through its ratios once per loop, so the
    // shapes of a few hundred ratios (and at most a few million edges) stay, then the cache
    // starts over.
    std::size_t maxCachedMorphFrames = 256;
    std::size_t maxCachedMorphRecords = 2u << 20;
    // Filters drawn per object, whether the file or a script gives them; the rest of a longer
    // list is ignored. Each may cost a few passes over its layer.
    std::size_t maxFiltersPerObject = 16;
    // Layers a filter, blend mode or cache is drawn into: 4096 x 4096 (64 MiB). The filters make
    // a few planes of the same size and at most maxLayerNesting layers are alive at once (half
    // a GiB at the very worst, a few MiB at ordinary sizes). A larger one is cut to the picture
    // first, and drawn without its effects if still too large.
    std::int64_t maxLayerPixels = std::int64_t{4096} * 4096;
    // Video: pixels decoded while drawing one frame (about half a second; streams past it draw
    // nothing that frame and carry on from where they stopped on the next), and memory for
    // kept pictures over all streams.
    std::int64_t maxVideoPixelsPerFrame = std::int64_t{128} << 20;
    std::size_t maxDecodedVideoBytes = 256u << 20;
    // Pixels one seek in a video stream may decode (frames from the key frame on), about a
    // third of a second: a longer seek starts later, from a frame that may show damage, so a
    // movie that jumps around a stream without key frames cannot stall the conversion.
    std::int64_t maxVideoSeekPixels = std::int64_t{64} << 20;

    // Decoding pictures (bitmaps, video pictures). The largest image a decoder allocates:
    // 8192 x 8192 (256 MiB); larger sizes in a file are refused before any allocation.
    std::int64_t maxImagePixels = std::int64_t{8192} * 8192;
    // JPEG: the decoder's working memory, and the scans of a progressive picture (each one
    // passes over the whole picture; real ones have about ten).
    long maxJpegMemoryBytes = 512L << 20;
    int maxJpegScans = 200;
    // PNG: the largest ancillary chunk read and the ancillary chunks kept.
    std::size_t maxPngChunkBytes = 8u << 20;
    std::uint32_t maxPngCachedChunks = 256;

    // Text. Bytes one text field holds (text a script gives it is cut here), <font>, <b>,
    // <i> and <u> tags open at once in HTML text (deeper ones change nothing), distinct styles
    // in one field (text in further styles takes the field's own), and characters one field
    // places (the rest of a longer text is not shown).
    std::size_t maxFieldTextBytes = 1u << 20;
    std::size_t maxOpenHtmlTags = 64;
    std::size_t maxTextStyles = 1024;
    std::size_t maxPlacedGlyphs = 1u << 17;
    // Text layouts one renderer keeps; past it the cache starts over.
    std::size_t maxCachedTextLayouts = 4096;
    // XML nodes nested in one another that a script's tree may be checked through when a node
    // is moved (a deeper parent refuses it).
    std::size_t maxXmlNesting = 1u << 16;

    // Sound. Frames (44.1 kHz stereo sample pairs) one sound, or one run of a stream, decodes
    // to: ten minutes, 212 MB of float samples. Longer sounds keep their first ten minutes.
    std::size_t maxSoundFrames = 44100u * 600u;
    // Decoded sounds a mixer keeps; past it the cache is emptied before the next decode.
    std::size_t maxDecodedSoundBytes = 512u << 20;
    // Voices playing at once; a start past it is left out (real movies play a handful).
    std::size_t maxVoices = 64;
    // Sound events (starts, stops, stream blocks) recorded in one run from the start.
    std::size_t maxSoundEvents = 1u << 20;
    // Seconds of audio one mixing call renders; longer ranges are mixed in pieces.
    std::size_t maxMixSecondsPerCall = 600;
    // Pictures one video or animated picture holds: over five hours at 50 a second. A slow
    // movie sampled at a fast --fps asks for no more.
    long maxVideoPictures = 1000000;
};

// What the model of one movie may still take; every element is charged before it is kept.
class ModelBudget {
  public:
    explicit ModelBudget(const Limits& limits = {})
        : limits_(limits), left_(limits.maxModelBytes) {}
    // The caps the movie is read under.
    const Limits& Caps() const { return limits_; }
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
    Limits limits_;
    std::size_t left_;
    bool exhausted_ = false;
};

}  // namespace player
