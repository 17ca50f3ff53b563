#include "cli/gif_convert.h"

#include <malloc.h>

#include <algorithm>
#include <mutex>
#include <new>

#include "cli/encode_queue.h"
#include "cli/gif_timing.h"
#include "cli/gif_writer.h"

namespace cli::gif {

namespace {

// Frames the global palette is made from, spread over the movie, and the pixels taken from
// them at most.
constexpr int kPaletteSampleFrames = 16;
constexpr std::size_t kPaletteSamplePixels = 1 << 20;
// Frames drawn ahead of the encoder at most.
constexpr std::size_t kMaxQueuedFrames = 2;

// Matte blended under a premultiplied channel of alpha `a`.
std::uint32_t Matted(std::uint32_t channel, std::uint32_t a, std::uint32_t matte) {
    return std::min<std::uint32_t>(255, channel + (matte * (255 - a) + 127) / 255);
}

// Steps the source forward to `frame` one frame at a time, as a capture steps (jumping would
// rebuild the movie from its start every time).
class Cursor {
  public:
    explicit Cursor(capture::FrameSource& source) : source_(source) { source_.Rewind(); }
    void MoveTo(long frame) {
        if (frame < at_) {
            source_.Rewind();
            at_ = 0;
        }
        while (at_ < frame) source_.GotoFrame(++at_);
    }

  private:
    capture::FrameSource& source_;
    long at_ = 0;
};

// Encodes frames on its own thread, in the order given; at most kMaxQueuedFrames wait, and the
// memory of encoded frames comes back for the next ones.
class EncodeThread {
  public:
    explicit EncodeThread(FrameSequence& sequence)
        : queue_(kMaxQueuedFrames, [this, &sequence](Item& item) {
              if (!sequence.Add(item.frame, item.delayCs)) return false;
              std::lock_guard lock(freeMutex_);
              free_.push_back(std::move(item.frame));
              return true;
          }) {}

    // A frame's memory back from the encoder, or a new one.
    Frame TakeFree() {
        std::lock_guard lock(freeMutex_);
        if (free_.empty()) return {};
        Frame frame = std::move(free_.back());
        free_.pop_back();
        return frame;
    }
    // False once encoding has failed.
    bool Push(Frame frame, std::int64_t delayCs) { return queue_.Push({std::move(frame), delayCs}); }
    // Waits for every frame given; false when one failed.
    bool Stop() { return queue_.Stop(); }
    bool OutOfMemory() const { return queue_.OutOfMemory(); }

  private:
    struct Item {
        Frame frame;
        std::int64_t delayCs = 0;
    };

    std::mutex freeMutex_;
    std::vector<Frame> free_;
    EncodeQueue<Item> queue_;  // last: its thread stops before the free list goes
};

// The encoder and the quantizer allocate and free a few frames' worth of memory for every
// frame; left to itself the allocator hands it back to the system each time and takes page
// faults to get it again. What one conversion uses at its peak is kept instead.
void KeepFreedMemory() {
    constexpr int kKeptBytes = 256 << 20;
    constexpr int kMappedAbove = 64 << 20;
    mallopt(M_TRIM_THRESHOLD, kKeptBytes);
    mallopt(M_MMAP_THRESHOLD, kMappedAbove);
}

bool DrawFrame(capture::FrameSource& source, CSurface& surface, const GifOptions& options,
               std::uint32_t matte, Frame* frame) {
    if (!source.Draw(surface)) return false;
    FrameFromSurface(surface, options.transparent, matte, frame);
    return true;
}

// One palette for the whole GIF, from frames spread over its showing order.
Palette SharedPalette(capture::FrameSource& source, const std::vector<TimedFrame>& schedule,
                      CSurface& surface, const EncodeOptions& encode, const GifOptions& options,
                      std::uint32_t matte) {
    const std::size_t samples = std::min<std::size_t>(schedule.size(), kPaletteSampleFrames);
    const std::size_t perFrame = kPaletteSamplePixels / samples;
    const std::size_t pixels = std::size_t(surface.Width()) * surface.Height();
    const std::size_t step = std::max<std::size_t>(1, pixels / perFrame);
    std::vector<std::uint32_t> taken;
    Cursor cursor(source);
    Frame frame;
    for (std::size_t i = 0; i < samples; ++i) {
        cursor.MoveTo(schedule[i * schedule.size() / samples].source);
        if (!DrawFrame(source, surface, options, matte, &frame)) continue;
        for (std::size_t p = 0; p < frame.size(); p += step) {
            if (frame[p] != 0) taken.push_back(frame[p]);
        }
    }
    const int room = encode.colors - (NeedsTransparentEntry(encode) ? 1 : 0);
    return MakePalette(taken, std::max(room, 1), kEnoughPaletteError);
}

}  // namespace

void FrameFromSurface(const CSurface& surface, bool transparent, std::uint32_t matte,
                      Frame* frame) {
    const int width = surface.Width(), height = surface.Height();
    frame->resize(std::size_t(width) * height);
    const std::uint32_t mr = (matte >> 16) & 0xFF, mg = (matte >> 8) & 0xFF, mb = matte & 0xFF;
    for (int y = 0; y < height; ++y) {
        const std::uint32_t* row = surface.Row(y);
        std::uint32_t* out = frame->data() + std::size_t(y) * width;
        for (int x = 0; x < width; ++x) {
            const std::uint32_t pixel = row[x];
            const std::uint32_t a = pixel >> 24;
            if (a == 255) {
                out[x] = pixel;
            } else if (transparent && a < kAlphaThreshold) {
                out[x] = 0;
            } else {
                out[x] = 0xFF000000u | (Matted((pixel >> 16) & 0xFF, a, mr) << 16) |
                         (Matted((pixel >> 8) & 0xFF, a, mg) << 8) | Matted(pixel & 0xFF, a, mb);
            }
        }
    }
}

namespace {

bool Write(capture::FrameSource& source, const MovieClock& movie, int width, int height,
           const GifOptions& options, const std::string& path, const Progress& progress,
           std::string* error) {
    const std::vector<TimedFrame> schedule =
        Schedule(source.TotalFrames(), movie.frameRate, options.fps);
    if (schedule.empty()) {
        *error = "the movie has no frames";
        return false;
    }
    CSurface surface(width, height);
    if (!surface.IsValid()) {
        *error = "cannot draw at " + std::to_string(width) + "x" + std::to_string(height);
        return false;
    }
    const std::uint32_t matte = options.matte.value_or(movie.stageColor) & 0xFFFFFF;
    EncodeOptions encode;
    encode.colors = options.colors;
    encode.dither = options.dither;
    encode.optimize = options.optimize;
    encode.tolerance = options.tolerance;
    encode.enoughError = kEnoughPaletteError;
    encode.transparent = options.transparent;
    if (options.globalPalette)
        encode.global = SharedPalette(source, schedule, surface, encode, options, matte);

    KeepFreedMemory();
    GifWriter writer;
    bool opened = false;
    FrameSequence* pictures = nullptr;
    // The file begins with the global palette, known once the first frame is encoded.
    FrameSequence sequence(width, height, encode, [&](const Picture& picture) {
        if (!opened) {
            opened = true;
            if (!writer.Open(path, width, height, pictures->ScreenPalette(), options.plays))
                return false;
        }
        return writer.Write(picture);
    });
    pictures = &sequence;
    EncodeThread encoder(sequence);
    Cursor cursor(source);
    const long total = static_cast<long>(schedule.size());
    for (long i = 0; i < total; ++i) {
        cursor.MoveTo(schedule[i].source);
        Frame frame = encoder.TakeFree();
        if (!DrawFrame(source, surface, options, matte, &frame)) {
            encoder.Stop();
            *error = "the player drew nothing at frame " + std::to_string(schedule[i].source);
            return false;
        }
        if (!encoder.Push(std::move(frame), schedule[i].delayCs)) break;
        if (!progress(i + 1, total)) {
            encoder.Stop();
            *error = "interrupted";
            return false;
        }
    }
    if (!encoder.Stop() || !sequence.Finish() || !opened || !writer.Close()) {
        *error = encoder.OutOfMemory()     ? "out of memory encoding the GIF"
                 : writer.Error().empty() ? "cannot encode the GIF " + path
                                          : writer.Error();
        return false;
    }
    return true;
}

}  // namespace

bool WriteGif(capture::FrameSource& source, const MovieClock& movie, int width, int height,
              const GifOptions& options, const std::string& path, const Progress& progress,
              std::string* error) {
    if (std::int64_t{width} * height > kMaxGifPixels) {
        *error = "a GIF of " + std::to_string(width) + "x" + std::to_string(height) +
                 " pixels is larger than the " + std::to_string(kMaxGifPixels) + "-pixel cap";
        return false;
    }
    try {
        return Write(source, movie, width, height, options, path, progress, error);
    } catch (const std::bad_alloc&) {
        *error = "out of memory encoding the GIF";
        return false;
    }
}

}  // namespace cli::gif
