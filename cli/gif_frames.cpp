#include "cli/gif_frames.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

namespace cli::gif {

namespace {

constexpr std::uint32_t kTransparent = 0;
// Colours as far as runs are counted: a palette seldom tells apart colours closer than this.
constexpr std::uint32_t kCoarseMask = 0xFFF8F8F8u;
// The shared palette serves a small picture whose error on it, above that on its own colours
// and spread over the whole frame, is at most this (squared error a pixel, over its channels):
// a few hundred bytes of palette saved for a loss the frame hardly shows.
constexpr double kSharedPaletteBudget = 0.5;
// Levels a channel a colour on screen may be off beyond the palette's error, by level of
// tolerance: where a redraw would itself land a few levels off, a few more are seldom seen
// in motion, and they make the demo's GIF a quarter smaller.
constexpr int kSeenSlackPerLevel = 3;

// Whether a pixel wanting `want` may be left showing what was drawn for `shown`: the same
// colour, or two opaque ones within `tolerance` levels a channel.
// Marks 1 where a pixel of `want` may not be left showing `shown`, 0 where it may. Written
// without branches so that the compiler runs it over several pixels at once.
void MarkChanged(const std::uint32_t* want, const std::uint32_t* shown, int width, int tolerance,
                 std::uint8_t* marks) {
    if (tolerance == 0) {
        for (int x = 0; x < width; ++x) marks[x] = want[x] != shown[x];
        return;
    }
    for (int x = 0; x < width; ++x) {
        const std::uint32_t a = want[x], b = shown[x];
        const int dr = int((a >> 16) & 0xFF) - int((b >> 16) & 0xFF);
        const int dg = int((a >> 8) & 0xFF) - int((b >> 8) & 0xFF);
        const int db = int(a & 0xFF) - int(b & 0xFF);
        const bool near = (dr <= tolerance) & (-dr <= tolerance) & (dg <= tolerance) &
                          (-dg <= tolerance) & (db <= tolerance) & (-db <= tolerance);
        const bool opaque = (a != kTransparent) & (b != kTransparent);
        marks[x] = !((a == b) | (near & opaque));
    }
}

// Four colours at once, in the processor's vector registers where it has them.
using Words = std::uint32_t __attribute__((vector_size(16)));
using Bytes = std::uint8_t __attribute__((vector_size(16)));

// The largest difference on a channel of each of four pairs of colours.
Words ChannelDistances(Words a, Words b) {
    const Bytes x = reinterpret_cast<Bytes>(a), y = reinterpret_cast<Bytes>(b);
    const Words d = reinterpret_cast<Words>(x > y ? x - y : y - x);
    const Words red = (d >> 16) & 0xFF, green = (d >> 8) & 0xFF, blue = d & 0xFF;
    const Words most = red > green ? red : green;
    return most > blue ? most : blue;
}

// The largest difference of two colours on a channel.
int ChannelDistance(std::uint32_t a, std::uint32_t b) {
    const int dr = std::abs(int((a >> 16) & 0xFF) - int((b >> 16) & 0xFF));
    const int dg = std::abs(int((a >> 8) & 0xFF) - int((b >> 8) & 0xFF));
    const int db = std::abs(int(a & 0xFF) - int(b & 0xFF));
    return std::max(dr, std::max(dg, db));
}

}  // namespace

bool NeedsTransparentEntry(const EncodeOptions& options) {
    return options.optimize || options.transparent;
}

Palette FrameSequence::ScreenPalette() const {
    Palette palette = shared_;
    if (!palette.empty() && NeedsTransparentEntry(options_)) palette.push_back(0);
    return palette;
}

FrameSequence::Box FrameSequence::Box::Union(const Box& other) const {
    if (Empty()) return other;
    if (other.Empty()) return *this;
    return {std::min(left, other.left), std::min(top, other.top), std::max(right, other.right),
            std::max(bottom, other.bottom)};
}

FrameSequence::FrameSequence(int width, int height, EncodeOptions options, Sink sink)
    : width_(width), height_(height), options_(std::move(options)), sink_(std::move(sink)) {
    options_.colors = std::clamp(options_.colors, 2, kMaxColors);
    options_.tolerance = std::clamp(options_.tolerance, 0, 255);
    const std::size_t room = options_.colors - (NeedsTransparentEntry(options_) ? 1 : 0);
    if (options_.global.size() > room) options_.global.resize(room);
    shared_ = options_.global;
    sharedNearest_.Reset(shared_);
}

double FrameSequence::MeanError(NearestColor& nearest, const Palette& palette) const {
    if (drawn_.empty()) return 0;
    double sum = 0;
    for (const std::uint32_t pixel : drawn_) {
        const std::uint32_t got = palette[nearest.Find(pixel)];
        for (int shift = 0; shift <= 16; shift += 8) {
            const int d = int((pixel >> shift) & 0xFF) - int((got >> shift) & 0xFF);
            sum += d * d;
        }
    }
    return sum / drawn_.size();
}

const Palette& FrameSequence::ChoosePalette(bool first, bool blanks, Picture* picture) {
    picture->palette.clear();
    const int room = options_.colors - (NeedsTransparentEntry(options_) ? 1 : 0);
    if (!options_.global.empty()) return shared_;
    if (first) {
        shared_ = MakePalette(drawn_, room, options_.enoughError);
        sharedNearest_.Reset(shared_);
        sharedError_ = MeanError(sharedNearest_, shared_);
        return shared_;
    }
    picture->palette =
        MakePalette(drawn_, options_.colors - (blanks ? 1 : 0), options_.enoughError);
    if (drawn_.size() <= kSharedPaletteMaxPixels) {
        // The shared palette serves when it is about as close as the picture's own, or as
        // close as it is to the first picture it was made for.
        // Learnt through the mapper's search, which the picture then goes on using.
        const double own = MeanError(mapper_.Nearest(picture->palette), picture->palette);
        const double shared = MeanError(sharedNearest_, shared_);
        const double spread = (shared - own) * double(drawn_.size()) / (double(width_) * height_);
        if (shared <= std::max(own * 1.25 + 0.5, sharedError_) || spread <= kSharedPaletteBudget) {
            picture->palette.clear();
            return shared_;
        }
    }
    return picture->palette;
}

FrameSequence::Box FrameSequence::ChangedBox(const Frame& target, const Frame& canvas) {
    changed_.resize(target.size());
    Box box{width_, height_, 0, 0};
    for (int y = 0; y < height_; ++y) {
        const std::size_t row = std::size_t(y) * width_;
        const std::uint32_t* a = target.data() + row;
        const std::uint32_t* b = canvas.data() + row;
        std::uint8_t* marks = changed_.data() + row;
        if (std::memcmp(a, b, std::size_t(width_) * sizeof *a) == 0) {
            std::memset(marks, 0, width_);
            continue;
        }
        MarkChanged(a, b, width_, options_.tolerance, marks);
        const auto* first = static_cast<const std::uint8_t*>(std::memchr(marks, 1, width_));
        if (!first) continue;
        int last = width_ - 1;
        while (marks[last] == 0) --last;
        box = {std::min(box.left, int(first - marks)), std::min(box.top, y),
               std::max(box.right, last + 1), y + 1};
    }
    return box.Empty() ? Box{} : box;
}

// Pixels shown in `before` that are transparent in `after`: only clearing can take them away.
FrameSequence::Box FrameSequence::VanishingBox(const Frame& before, const Frame& after) const {
    Box box{width_, height_, 0, 0};
    for (int y = 0; y < height_; ++y) {
        const std::size_t row = std::size_t(y) * width_;
        for (int x = 0; x < width_; ++x) {
            if (before[row + x] == kTransparent || after[row + x] != kTransparent) continue;
            box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x + 1),
                   y + 1};
        }
    }
    return box.Empty() ? Box{} : box;
}

// The coder's output grows with the runs of equal indices it is given. A hole of unchanged
// pixels ends a run and starts one; drawing them instead ends a run wherever a colour differs
// from its left neighbour's. Counted on the frame's colours, before they are reduced.
bool FrameSequence::HolesAreSmaller(const Frame& target, Box box) const {
    std::size_t withHoles = 0, drawn = 0;
    for (int y = box.top; y < box.bottom; ++y) {
        const std::size_t row = std::size_t(y) * width_;
        std::uint32_t lastHole = ~0u, lastDrawn = ~0u;
        for (int x = box.left; x < box.right; ++x) {
            const std::uint32_t want = target[row + x];
            const std::uint32_t coarse = want & kCoarseMask;
            const std::uint32_t hole = changed_[row + x] ? coarse : kTransparent;
            withHoles += hole != lastHole;
            drawn += coarse != lastDrawn;
            lastHole = hole;
            lastDrawn = coarse;
        }
    }
    return withHoles <= drawn;
}

// Pixels that are transparent, or (when optimizing and that is smaller) already shown, take
// the transparent entry.
void FrameSequence::Encode(const Frame& target, const Frame& canvas, Box box,
                           std::int64_t delayCs, bool first, Picture* picture) {
    if (box.Empty()) box = {0, 0, 1, 1};  // a picture holds at least one pixel
    picture->left = box.left;
    picture->top = box.top;
    picture->width = box.right - box.left;
    picture->height = box.bottom - box.top;
    picture->delayCs = delayCs;
    picture->disposal = Disposal::kKeep;
    block_.resize(std::size_t(picture->width) * picture->height);
    drawn_.clear();
    const bool holes = options_.optimize && !first && HolesAreSmaller(target, box);
    bool blanks = false;
    after_ = canvas;
    for (int y = 0; y < picture->height; ++y) {
        const std::size_t row = std::size_t(box.top + y) * width_ + box.left;
        std::uint32_t* out = block_.data() + std::size_t(y) * picture->width;
        for (int x = 0; x < picture->width; ++x) {
            const std::uint32_t want = target[row + x];
            const bool shown = holes && !changed_[row + x];
            const std::uint32_t pixel = shown ? kTransparent : want;
            out[x] = pixel;
            if (!shown) after_[row + x] = want;
            if (pixel == kTransparent)
                blanks = true;
            else
                drawn_.push_back(pixel);
        }
    }
    const Palette& colors = ChoosePalette(first, blanks, picture);
    const int blankIndex = blanks ? int(colors.size()) : -1;
    mapper_.Map(block_, picture->width, picture->height, colors, std::max(blankIndex, 0),
                options_.dither, &picture->indices);
    if (holes && blanks) KeepSeenWhereCloseEnough(box, colors, blankIndex, &picture->indices);
    picture->transparentIndex = blankIndex;
    seenAfter_ = seenCanvas_;
    for (int y = 0; y < picture->height; ++y) {
        const std::size_t row = std::size_t(box.top + y) * width_ + box.left;
        const std::size_t at = std::size_t(y) * picture->width;
        for (int x = 0; x < picture->width; ++x) {
            const int index = picture->indices[at + x];
            if (index != blankIndex) seenAfter_[row + x] = colors[index] | 0xFF000000u;
        }
    }
    if (!picture->palette.empty() && blanks) picture->palette.push_back(0);
}

// A drawn pixel whose colour on screen is within the error of the entry it was given plus a
// slack of kSeenSlackPerLevel times the tolerance may be left as shown. Each span of such
// pixels in a row is left as holes when that breaks fewer of the coder's runs than drawing
// it: a hole in the middle of a run of one entry costs more than it saves. Distances are a
// channel's largest difference.
void FrameSequence::KeepSeenWhereCloseEnough(Box box, const Palette& colors, int blankIndex,
                                             std::vector<std::uint8_t>* indices) {
    constexpr int kEdge = -1;
    const int slack = kSeenSlackPerLevel * options_.tolerance;
    const int width = box.right - box.left;
    keepable_.resize(width);
    // The entries by index, with room for the transparent one (its holes are not tested).
    std::array<std::uint32_t, kMaxColors + 1> entries{};
    std::copy(colors.begin(), colors.end(), entries.begin());
    for (int y = box.top; y < box.bottom; ++y) {
        const std::uint32_t* seen = seenCanvas_.data() + std::size_t(y) * width_ + box.left;
        const std::uint32_t* want = block_.data() + std::size_t(y - box.top) * width;
        std::uint8_t* index = indices->data() + std::size_t(y - box.top) * width;
        int x = 0;
        for (; x + 4 <= width; x += 4) {
            Words wanted, shown;
            std::memcpy(&wanted, want + x, sizeof wanted);
            std::memcpy(&shown, seen + x, sizeof shown);
            const Words given = {entries[index[x]], entries[index[x + 1]], entries[index[x + 2]],
                                 entries[index[x + 3]]};
            const Words near =
                ChannelDistances(wanted, shown) <= ChannelDistances(wanted, given) + slack;
            for (int k = 0; k < 4; ++k)
                keepable_[x + k] =
                    (near[k] != 0) & (index[x + k] != blankIndex) & (seen[x + k] != kTransparent);
        }
        for (; x < width; ++x) {
            const bool near = ChannelDistance(want[x], seen[x]) <=
                              ChannelDistance(want[x], entries[index[x]]) + slack;
            keepable_[x] = near & (index[x] != blankIndex) & (seen[x] != kTransparent);
        }
        for (int x = 0; x < width;) {
            const auto* found =
                static_cast<const std::uint8_t*>(std::memchr(keepable_.data() + x, 1, width - x));
            if (!found) break;
            const int begin = int(found - keepable_.data());
            x = begin + 1;
            while (x < width && keepable_[x]) ++x;
            const int left = begin > 0 ? index[begin - 1] : kEdge;
            const int right = x < width ? index[x] : kEdge;
            int drawnBreaks = 0, last = left;
            for (int i = begin; i < x; ++i) {
                drawnBreaks += last != kEdge && index[i] != last;
                last = index[i];
            }
            drawnBreaks += right != kEdge && right != last;
            const int holeBreaks =
                (left != kEdge && left != blankIndex) + (right != kEdge && right != blankIndex);
            if (holeBreaks < drawnBreaks)
                std::fill(index + begin, index + x, static_cast<std::uint8_t>(blankIndex));
        }
    }
}

bool FrameSequence::Add(const Frame& frame, std::int64_t delayCs) {
    if (frame.size() != std::size_t(width_) * height_) return false;
    if (!holding_) {
        // Nothing is shown before the first picture: a screen of transparent pixels, which
        // no opaque frame matches.
        canvas_.assign(frame.size(), kTransparent);
        seenCanvas_.assign(frame.size(), kTransparent);
        heldBox_ = options_.optimize ? ChangedBox(frame, canvas_) : Whole();
        Encode(frame, canvas_, heldBox_, delayCs, true, &held_);
        heldFrame_ = frame;
        holding_ = true;
        heldIsFirst_ = true;
        return true;
    }
    // A frame the held picture already shows lengthens it.
    const Box changed = options_.optimize ? ChangedBox(frame, after_) : Whole();
    if (options_.optimize && changed.Empty()) {
        held_.delayCs += delayCs;
        return true;
    }
    // Pixels that vanish must be cleared with the held picture's rectangle, which grows to
    // cover them (the pixels it gains were shown already, so it draws nothing more there).
    Box cleared;
    if (options_.transparent) {
        const Box vanishing = options_.optimize ? VanishingBox(heldFrame_, frame) : Whole();
        if (!vanishing.Empty()) {
            cleared = heldBox_.Union(vanishing);
            if (!(cleared == heldBox_)) {
                ChangedBox(heldFrame_, canvas_);  // the marks Encode leaves holes by
                Encode(heldFrame_, canvas_, cleared, held_.delayCs, heldIsFirst_, &held_);
            }
            held_.disposal = Disposal::kClear;
        }
    }
    if (!sink_(held_)) return false;
    canvas_.swap(after_);
    seenCanvas_.swap(seenAfter_);
    for (int y = cleared.top; y < cleared.bottom; ++y) {
        const std::ptrdiff_t row = std::ptrdiff_t(y) * width_ + cleared.left;
        std::fill_n(canvas_.begin() + row, cleared.right - cleared.left, kTransparent);
        std::fill_n(seenCanvas_.begin() + row, cleared.right - cleared.left, kTransparent);
    }
    heldBox_ = !options_.optimize ? Whole() : cleared.Empty() ? changed : ChangedBox(frame, canvas_);
    Encode(frame, canvas_, heldBox_, delayCs, false, &held_);
    heldFrame_ = frame;
    heldIsFirst_ = false;
    return true;
}

bool FrameSequence::Finish() {
    if (!holding_) return true;
    holding_ = false;
    return sink_(held_);
}

}  // namespace cli::gif
