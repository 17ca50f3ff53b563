// flash.display.BitmapData: a picture of pixels scripts make and change. Pixels are kept as
// 32-bit ARGB with the colour premultiplied by alpha, as the player keeps them, so a pixel
// read back after a translucent write has lost the same precision it would there.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <numeric>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "player/media/blend.h"
#include "player/script/builtins.h"
#include "player/script/filter_pixels.h"
#include "player/script/perlin_noise.h"

namespace player::script {

namespace {

// The largest bitmap a movie may make: 2880 pixels a side before version 10, from then on
// 8191 a side and 16777215 pixels in all.
constexpr int kMaxSideBefore10 = 2880;
constexpr int kMaxSide = 8191;
constexpr std::int64_t kMaxPixels = 16777215;

class BitmapObject final : public Object {
  public:
    explicit BitmapObject(Object* proto) : Object(proto, ObjectKind::kNative) {}
    // Shared with the clips that show the bitmap, so they draw its pixels as they are now.
    const std::shared_ptr<media::Image> store = std::make_shared<media::Image>();
    int& width = store->width;
    int& height = store->height;
    bool transparent = true;
    bool disposed = false;
    std::vector<std::uint32_t>& pixels = store->argb;  // premultiplied ARGB, row by row

    bool Valid() const { return !disposed && width > 0 && height > 0; }
    bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
    std::uint32_t& At(int x, int y) {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
    std::size_t Size() const override {
        return Object::Size() + sizeof(*this) - sizeof(Object) +
               pixels.capacity() * sizeof(std::uint32_t);
    }
};

BitmapObject* ThisBitmap(const Value& self) {
    Object* o = self.AsObject();
    return o && o->Kind() == ObjectKind::kNative ? dynamic_cast<BitmapObject*>(o) : nullptr;
}

BitmapObject* LiveBitmap(const Value& v) {
    BitmapObject* b = ThisBitmap(v);
    return b && b->Valid() ? b : nullptr;
}

std::uint32_t Premultiply(std::uint32_t argb) {
    const std::uint32_t a = argb >> 24;
    if (a == 255) return argb;
    if (a == 0) return 0;
    auto channel = [a](std::uint32_t c) { return (c * a + 127) / 255; };
    return (a << 24) | (channel((argb >> 16) & 0xff) << 16) | (channel((argb >> 8) & 0xff) << 8) |
           channel(argb & 0xff);
}

std::uint32_t Unpremultiply(std::uint32_t argb) {
    const std::uint32_t a = argb >> 24;
    if (a == 255 || a == 0) return a == 0 ? 0 : argb;
    auto channel = [a](std::uint32_t c) { return std::min<std::uint32_t>(255, (c * 255 + a / 2) / a); };
    return (a << 24) | (channel((argb >> 16) & 0xff) << 16) | (channel((argb >> 8) & 0xff) << 8) |
           channel(argb & 0xff);
}

// A colour as stored: opaque in a bitmap without transparency.
std::uint32_t Stored(const BitmapObject& b, std::uint32_t argb) {
    return Premultiply(b.transparent ? argb : (argb | 0xff000000u));
}

int Int(Vm& vm, const Value& v) {
    const double n = vm.ToNumber(v);
    if (!std::isfinite(n)) return 0;
    return static_cast<int>(std::clamp(std::trunc(n), -2147483648.0, 2147483647.0));
}

Value Signed(std::uint32_t argb) {
    return Value::Number(static_cast<double>(static_cast<std::int32_t>(argb)));
}

// A rectangle's x, y, width and height, clipped to the bitmap; false when nothing is left.
struct Area {
    int x = 0, y = 0, w = 0, h = 0;
};

bool ReadRect(Vm& vm, const Value& v, Area* out) {
    Object* r = v.AsObject();
    if (!r) return false;
    const double x = vm.ToNumber(vm.Get(r, "x")), y = vm.ToNumber(vm.Get(r, "y"));
    const double w = vm.ToNumber(vm.Get(r, "width")), h = vm.ToNumber(vm.Get(r, "height"));
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(w) || !std::isfinite(h))
        return false;
    // The far edges are kept where they are, so a huge rectangle that covers the bitmap still
    // does once its edges are brought in.
    auto fit = [](double d) { return static_cast<int>(std::clamp(d, -1e8, 1e8)); };
    const double tx = std::trunc(x), ty = std::trunc(y);
    const int x0 = fit(tx), y0 = fit(ty);
    *out = {x0, y0, fit(tx + std::trunc(w)) - x0, fit(ty + std::trunc(h)) - y0};
    return true;
}

bool ReadPoint(Vm& vm, const Value& v, int* x, int* y) {
    Object* p = v.AsObject();
    if (!p) return false;
    *x = Int(vm, vm.Get(p, "x"));
    *y = Int(vm, vm.Get(p, "y"));
    return true;
}

// The leading arguments of the methods that read another bitmap: (source, sourceRect,
// destPoint).
struct SourceCopy {
    BitmapObject* source = nullptr;
    Area rect;
    int dx = 0, dy = 0;
};

bool ReadSourceCopy(Vm& vm, std::span<const Value> args, SourceCopy* out) {
    out->source = LiveBitmap(Arg(args, 0));
    return out->source && ReadRect(vm, Arg(args, 1), &out->rect) &&
           ReadPoint(vm, Arg(args, 2), &out->dx, &out->dy);
}

bool Clip(const BitmapObject& b, Area* a) {
    const int x0 = std::max(a->x, 0), y0 = std::max(a->y, 0);
    const int x1 = static_cast<int>(std::min<std::int64_t>(std::int64_t{a->x} + a->w, b.width));
    const int y1 = static_cast<int>(std::min<std::int64_t>(std::int64_t{a->y} + a->h, b.height));
    if (x1 <= x0 || y1 <= y0) return false;
    *a = {x0, y0, x1 - x0, y1 - y0};
    return true;
}

// Clips `a` to the source and the area it lands on at (dx, dy) to the destination, moving each
// with what the other lost; false when nothing is left.
bool ClipTransfer(const BitmapObject& src, const BitmapObject& dst, int dx, int dy, Area* a,
                  Area* d) {
    const int cutX = std::max(0, -a->x), cutY = std::max(0, -a->y);
    if (a->w <= 0 || a->h <= 0 || !Clip(src, a)) return false;
    auto near = [](std::int64_t v) {
        return static_cast<int>(std::clamp<std::int64_t>(v, -kMaxSide * 2, kMaxSide * 2));
    };
    *d = {near(std::int64_t{dx} + cutX), near(std::int64_t{dy} + cutY), a->w, a->h};
    const int beforeX = d->x, beforeY = d->y;
    if (!Clip(dst, d)) return false;
    a->x += d->x - beforeX;
    a->y += d->y - beforeY;
    return true;
}

// ---- Making --------------------------------------------------------------------------------

Object* MakeBitmap(Vm& vm, Object* proto) { return vm.GetHeap().New<BitmapObject>(proto); }

// Sizes the bitmap and fills it; false (the bitmap stays empty) when the size is not allowed
// or the pixels would not fit in the script memory left.
bool Allocate(Vm& vm, BitmapObject* b, double w, double h, bool transparent, std::uint32_t fill) {
    if (!std::isfinite(w) || !std::isfinite(h)) return false;
    const std::int64_t iw = static_cast<std::int64_t>(std::trunc(w));
    const std::int64_t ih = static_cast<std::int64_t>(std::trunc(h));
    if (iw <= 0 || ih <= 0) return false;
    if (vm.Version() < 10) {
        if (iw > kMaxSideBefore10 || ih > kMaxSideBefore10) return false;
    } else if (iw > kMaxSide || ih > kMaxSide || iw * ih > kMaxPixels) {
        return false;
    }
    const std::size_t bytes = static_cast<std::size_t>(iw * ih) * sizeof(std::uint32_t);
    if (vm.GetHeap().Bytes() + bytes > vm.Limits().maxHeapBytes) {
        vm.GetHost().Problem("BitmapData: " + std::to_string(iw) + "x" + std::to_string(ih) +
                             " is more than the script memory left");
        return false;
    }
    b->width = static_cast<int>(iw);
    b->height = static_cast<int>(ih);
    b->transparent = transparent;
    b->pixels.assign(static_cast<std::size_t>(iw * ih), Stored(*b, fill));
    vm.GetHeap().Grew(bytes);
    return true;
}

Value BitmapConstruct(Vm& vm, const Value& self, std::span<const Value> args) {
    BitmapObject* b = ThisBitmap(self);
    if (!b) return Value();
    const bool transparent = args.size() > 2 ? vm.ToBoolean(args[2]) : true;
    const std::uint32_t fill = args.size() > 3 ? vm.ToUint32(args[3]) : 0xffffffffu;
    if (args.size() < 2 ||
        !Allocate(vm, b, vm.ToNumber(args[0]), vm.ToNumber(args[1]), transparent, fill)) {
        b->disposed = true;
    }
    return self;
}

// A bitmap that could not be made is no bitmap at all: `new` gives undefined for it. A
// script class's constructor calling super() sizes the instance it already has.
Value BitmapNew(Vm& vm, const Value& self, std::span<const Value> args) {
    if (ThisBitmap(self)) return BitmapConstruct(vm, self, args);
    Object* flash = vm.Get(vm.GetRealm().global, "flash").AsObject();
    Object* display = flash ? vm.Get(flash, "display").AsObject() : nullptr;
    Object* ctor = display ? vm.Get(display, "BitmapData").AsObject() : nullptr;
    Object* proto = ctor ? vm.Get(ctor, "prototype").AsObject() : nullptr;
    auto* b = vm.GetHeap().New<BitmapObject>(proto ? proto : vm.GetRealm().objectProto);
    BitmapConstruct(vm, Value::Obj(b), args);
    if (!b->Valid()) return Value();
    return Value::Obj(b);
}

// ---- Properties ------------------------------------------------------------------------------

Value GetWidth(Vm&, const Value& self, std::span<const Value>) {
    BitmapObject* b = ThisBitmap(self);
    if (!b) return Value();
    return Value::Number(b->Valid() ? b->width : -1);
}

Value GetHeight(Vm&, const Value& self, std::span<const Value>) {
    BitmapObject* b = ThisBitmap(self);
    if (!b) return Value();
    return Value::Number(b->Valid() ? b->height : -1);
}

Value GetTransparent(Vm&, const Value& self, std::span<const Value>) {
    BitmapObject* b = ThisBitmap(self);
    if (!b) return Value();
    return b->Valid() ? Value::Boolean(b->transparent) : Value::Number(-1);
}

Value GetRectangle(Vm& vm, const Value& self, std::span<const Value>) {
    BitmapObject* b = ThisBitmap(self);
    if (!b) return Value();
    if (!b->Valid()) return Value::Number(-1);
    Object* proto = vm.GetRealm().rectangleProto;
    const Value ctor = proto ? vm.Get(proto, "constructor") : Value();
    const Value rect[4] = {Value::Number(0), Value::Number(0), Value::Number(b->width),
                           Value::Number(b->height)};
    return vm.Construct(ctor, rect);
}

Value ReadOnlySet(Vm&, const Value&, std::span<const Value>) { return Value(); }

// ---- Pixels ----------------------------------------------------------------------------------

Value GetPixel(Vm& vm, const Value& self, std::span<const Value> args) {
    BitmapObject* b = ThisBitmap(self);
    if (!b) return Value();
    if (!b->Valid()) return Value::Number(-1);
    const int x = Int(vm, Arg(args, 0)), y = Int(vm, Arg(args, 1));
    if (!b->Inside(x, y)) return Value::Number(0);
    return Value::Number(Unpremultiply(b->At(x, y)) & 0xffffff);
}

Value GetPixel32(Vm& vm, const Value& self, std::span<const Value> args) {
    BitmapObject* b = ThisBitmap(self);
    if (!b) return Value();
    if (!b->Valid()) return Value::Number(-1);
    const int x = Int(vm, Arg(args, 0)), y = Int(vm, Arg(args, 1));
    if (!b->Inside(x, y)) return Value::Number(0);
    return Signed(Unpremultiply(b->At(x, y)));
}

Value SetPixel(Vm& vm, const Value& self, std::span<const Value> args) {
    BitmapObject* b = LiveBitmap(self);
    if (!b) return Value();
    const int x = Int(vm, Arg(args, 0)), y = Int(vm, Arg(args, 1));
    const std::uint32_t rgb = vm.ToUint32(Arg(args, 2)) & 0xffffff;
    if (!b->Inside(x, y)) return Value();
    const std::uint32_t old = Unpremultiply(b->At(x, y));
    b->At(x, y) = Stored(*b, (old & 0xff000000u) | rgb);
    return Value();
}

Value SetPixel32(Vm& vm, const Value& self, std::span<const Value> args) {
    BitmapObject* b = LiveBitmap(self);
    if (!b) return Value();
    const int x = Int(vm, Arg(args, 0)), y = Int(vm, Arg(args, 1));
    const std::uint32_t argb = vm.ToUint32(Arg(args, 2));
    if (b->Inside(x, y)) b->At(x, y) = Stored(*b, argb);
    return Value();
}

Value FillRect(Vm& vm, const Value& self, std::span<const Value> args) {
    BitmapObject* b = LiveBitmap(self);
    Area a;
    if (!b || !ReadRect(vm, Arg(args, 0), &a)) return Value();
    const std::uint32_t color = Stored(*b, vm.ToUint32(Arg(args, 1)));
    if (!Clip(*b, &a)) return Value();
    for (int y = a.y; y < a.y + a.h; ++y)
        std::fill_n(&b->At(a.x, y), a.w, color);
    return Value();
}

// copyPixels(source, sourceRect, destPoint): the source's pixels replace the destination's
// (mergeAlpha, the fifth argument, lays them over instead). Source and destination may be the
// same bitmap.
Value CopyPixels(Vm& vm, const Value& self, std::span<const Value> args) {
    BitmapObject* b = LiveBitmap(self);
    SourceCopy given;
    if (!b || !ReadSourceCopy(vm, args, &given)) return Value();
    auto [src, a, dx, dy] = given;
    const bool merge = args.size() > 5 && vm.ToBoolean(args[5]);
    Area d;
    if (!ClipTransfer(*src, *b, dx, dy, &a, &d)) return Value();
    std::vector<std::uint32_t> copy(static_cast<std::size_t>(d.w) * static_cast<std::size_t>(d.h));
    for (int y = 0; y < d.h; ++y)
        for (int x = 0; x < d.w; ++x) copy[static_cast<std::size_t>(y) * d.w + x] = src->At(a.x + x, a.y + y);
    for (int y = 0; y < d.h; ++y) {
        for (int x = 0; x < d.w; ++x) {
            std::uint32_t s = copy[static_cast<std::size_t>(y) * d.w + x];
            std::uint32_t& out = b->At(d.x + x, d.y + y);
            if (merge || !src->transparent) {
                if (merge) {
                    const std::uint32_t sa = s >> 24, inv = 255 - sa;
                    std::uint32_t r = 0;
                    for (int shift = 0; shift < 32; shift += 8) {
                        const std::uint32_t sc = (s >> shift) & 0xff, dc = (out >> shift) & 0xff;
                        r |= std::min<std::uint32_t>(255, sc + (dc * inv + 127) / 255) << shift;
                    }
                    s = r;
                }
            }
            out = b->transparent ? s : Premultiply(Unpremultiply(s) | 0xff000000u);
        }
    }
    return Value();
}

// threshold(source, sourceRect, destPoint, operation, threshold [, color, mask, copySource]):
// each source pixel whose masked value passes the test against the threshold is set to the
// colour here; the others are copied over when copySource, else left. Answers how many passed.
// The tests compare the masked threshold, except "!=", which takes it as given.
Value Threshold(Vm& vm, const Value& self, std::span<const Value> args) {
    BitmapObject* b = LiveBitmap(self);
    BitmapObject* src = LiveBitmap(Arg(args, 0));
    Area a;
    if (!b || !src || !ReadRect(vm, Arg(args, 1), &a)) return Value::Number(0);
    int dx = 0, dy = 0;
    ReadPoint(vm, Arg(args, 2), &dx, &dy);
    const std::string operation = vm.ToString(Arg(args, 3));
    const std::uint32_t threshold = vm.ToUint32(Arg(args, 4));
    const std::uint32_t color = args.size() > 5 ? vm.ToUint32(args[5]) : 0;
    const std::uint32_t mask = args.size() > 6 ? vm.ToUint32(args[6]) : 0xffffffffu;
    const bool copySource = args.size() > 7 && vm.ToBoolean(args[7]);
    const std::uint32_t masked = threshold & mask;
    std::function<bool(std::uint32_t)> passes;
    if (operation == "<") passes = [masked](std::uint32_t v) { return v < masked; };
    else if (operation == "<=") passes = [masked](std::uint32_t v) { return v <= masked; };
    else if (operation == ">") passes = [masked](std::uint32_t v) { return v > masked; };
    else if (operation == ">=") passes = [masked](std::uint32_t v) { return v >= masked; };
    else if (operation == "==") passes = [masked](std::uint32_t v) { return v == masked; };
    else if (operation == "!=") passes = [threshold](std::uint32_t v) { return v != threshold; };
    else return Value::Number(0);
    Area d;
    if (!ClipTransfer(*src, *b, dx, dy, &a, &d)) return Value::Number(0);
    // Read first: the source may be this bitmap.
    std::vector<std::uint32_t> source(static_cast<std::size_t>(d.w) * static_cast<std::size_t>(d.h));
    for (int y = 0; y < d.h; ++y)
        for (int x = 0; x < d.w; ++x)
            source[static_cast<std::size_t>(y) * d.w + x] = Unpremultiply(src->At(a.x + x, a.y + y));
    double count = 0;
    for (int y = 0; y < d.h; ++y) {
        for (int x = 0; x < d.w; ++x) {
            const std::uint32_t v = source[static_cast<std::size_t>(y) * d.w + x];
            std::uint32_t& out = b->At(d.x + x, d.y + y);
            if (passes(v & mask)) {
                out = Stored(*b, color);
                ++count;
            } else if (copySource) {
                out = Stored(*b, v);
            }
        }
    }
    return Value::Number(count);
}

// The order pixelDissolve takes the pixels of an area in: index i of the walk is pixel
// (i * step) mod area, for a step that shares no factor with the area, so that one round of
// the walk meets each pixel once, scattered over the area.
std::int64_t DissolveStep(std::int64_t area) {
    std::int64_t step = area * 5 / 8 + 1;
    while (std::gcd(step, area) != 1) ++step;
    return step;
}

// pixelDissolve(source, sourceRect, destPoint [, randomSeed, numPixels, fillColor]): from the
// walk position randomSeed on, numPixels + 1 pixels of the area take the source's pixel there
// (the fill colour when the source is this bitmap); answers the position reached, from which
// the next call goes on. A bad source answers -1, a missing rectangle -4.
Value PixelDissolve(Vm& vm, const Value& self, std::span<const Value> args) {
    BitmapObject* b = LiveBitmap(self);
    BitmapObject* src = LiveBitmap(Arg(args, 0));
    if (!b || !src) return Value::Number(-1);
    Area a;
    if (!ReadRect(vm, Arg(args, 1), &a)) return Value::Number(-4);
    if (args.size() < 4) return Value::Number(0);
    int dx = 0, dy = 0;
    ReadPoint(vm, Arg(args, 2), &dx, &dy);
    double seed = vm.ToInteger(Arg(args, 3));
    if (!std::isfinite(seed)) seed = 0;
    const double asked = vm.ToInteger(Arg(args, 4));
    const std::uint32_t fill = vm.ToUint32(Arg(args, 5));
    Area d;
    if (!ClipTransfer(*src, *b, dx, dy, &a, &d)) return Value::Number(0);
    const std::int64_t area = std::int64_t{d.w} * d.h;
    const std::int64_t step = DissolveStep(area);
    const std::int64_t start =
        static_cast<std::int64_t>(std::fmod(std::fmod(seed, static_cast<double>(area)) + area,
                                            static_cast<double>(area)));
    const std::int64_t count =
        std::clamp<std::int64_t>(asked > 0 ? static_cast<std::int64_t>(std::min(asked, 1e15)) : 0, 0,
                                 area - 1);
    for (std::int64_t i = 0; i <= count; ++i) {
        const std::int64_t at = ((start + i) % area) * step % area;
        const int x = static_cast<int>(at % d.w), y = static_cast<int>(at / d.w);
        b->At(d.x + x, d.y + y) =
            src == b ? Stored(*b, fill) : Stored(*b, Unpremultiply(src->At(a.x + x, a.y + y)));
    }
    return Value::Number(static_cast<double>((start + count) % area));
}

Value Clone(Vm& vm, const Value& self, std::span<const Value>) {
    BitmapObject* b = ThisBitmap(self);
    if (!b) return Value();
    if (!b->Valid()) return Value::Number(-1);
    auto* copy = vm.GetHeap().New<BitmapObject>(b->Proto());
    const std::size_t bytes = b->pixels.size() * sizeof(std::uint32_t);
    if (vm.GetHeap().Bytes() + bytes > vm.Limits().maxHeapBytes) return Value();
    copy->width = b->width;
    copy->height = b->height;
    copy->transparent = b->transparent;
    copy->pixels = b->pixels;
    vm.GetHeap().Grew(bytes);
    return Value::Obj(copy);
}

Value Dispose(Vm&, const Value& self, std::span<const Value>) {
    if (BitmapObject* b = ThisBitmap(self)) {
        b->disposed = true;
        b->width = b->height = 0;
        std::vector<std::uint32_t>().swap(b->pixels);
    }
    return Value();
}

// noise(seed, low, high, channels, grayScale): each pixel's channels drawn from a generator
// seeded by `seed`, so the same seed gives the same picture on every run.
Value Noise(Vm& vm, const Value& self, std::span<const Value> args) {
    BitmapObject* b = LiveBitmap(self);
    if (!b) return Value();
    const std::uint32_t seed = vm.ToUint32(Arg(args, 0));
    const int low = std::clamp(args.size() > 1 ? Int(vm, args[1]) : 0, 0, 255);
    const int high = std::clamp(args.size() > 2 ? Int(vm, args[2]) : 255, 0, 255);
    const int channels = args.size() > 3 ? Int(vm, args[3]) : 7;
    const bool gray = args.size() > 4 && vm.ToBoolean(args[4]);
    std::mt19937 random(seed);
    const int lo = std::min(low, high), span = std::abs(high - low) + 1;
    auto draw = [&] { return static_cast<std::uint32_t>(lo + static_cast<int>(random() % span)); };
    for (std::uint32_t& pixel : b->pixels) {
        std::uint32_t r = 0, g = 0, bl = 0, a = 255;
        if (gray) {
            r = g = bl = draw();
        } else {
            if (channels & 1) r = draw();
            if (channels & 2) g = draw();
            if (channels & 4) bl = draw();
        }
        if ((channels & 8) && b->transparent) a = draw();
        pixel = Stored(*b, (a << 24) | (r << 16) | (g << 8) | bl);
    }
    return Value();
}

// floodFill(x, y, color): the area of the colour at (x, y) that touches it takes the new
// colour. Filled span by span from a list of seeds rather than by recursion.
Value FloodFill(Vm& vm, const Value& self, std::span<const Value> args) {
    BitmapObject* b = LiveBitmap(self);
    if (!b) return Value();
    const int x0 = Int(vm, Arg(args, 0)), y0 = Int(vm, Arg(args, 1));
    if (!b->Inside(x0, y0)) return Value();
    const std::uint32_t color = Stored(*b, vm.ToUint32(Arg(args, 2)));
    const std::uint32_t target = b->At(x0, y0);
    if (target == color) return Value();
    std::vector<std::pair<int, int>> pending{{x0, y0}};
    while (!pending.empty()) {
        auto [x, y] = pending.back();
        pending.pop_back();
        if (b->At(x, y) != target) continue;
        int left = x, right = x;
        while (left > 0 && b->At(left - 1, y) == target) --left;
        while (right + 1 < b->width && b->At(right + 1, y) == target) ++right;
        for (int i = left; i <= right; ++i) b->At(i, y) = color;
        // One seed for each run of the colour above and below the span.
        for (const int row : {y - 1, y + 1}) {
            if (row < 0 || row >= b->height) continue;
            bool inRun = false;
            for (int i = left; i <= right; ++i) {
                const bool match = b->At(i, row) == target;
                if (match && !inRun) pending.emplace_back(i, row);
                inRun = match;
            }
        }
    }
    return Value();
}

// A point or rectangle argument: its fields must be its own (inherited ones do not count).
bool HasOwnFields(Vm& vm, Object* o, std::initializer_list<const char*> names) {
    for (const char* name : names)
        if (!vm.HasOwnProperty(o, name)) return false;
    return true;
}

// hitTest(firstPoint, firstAlphaThreshold, second [, secondBitmapPoint, secondAlphaThreshold]):
// whether a pixel of this bitmap placed at firstPoint, at least as opaque as the threshold,
// lies at a point, inside a rectangle, or over such a pixel of a second bitmap placed at its
// point. A bad first point answers -2, a second that is none of these -3, a second bitmap
// without its point -4.
Value HitTest(Vm& vm, const Value& self, std::span<const Value> args) {
    BitmapObject* b = ThisBitmap(self);
    if (!b) return Value();
    if (!b->Valid()) return Value::Number(-1);
    Object* first = Arg(args, 0).AsObject();
    if (!first || !HasOwnFields(vm, first, {"x", "y"})) return Value::Number(-2);
    int fx = 0, fy = 0;
    ReadPoint(vm, Arg(args, 0), &fx, &fy);
    // A pixel counts where its alpha reaches the threshold; for a point or another bitmap a
    // clear pixel never does, even at threshold 0.
    auto opaque = [](BitmapObject& bitmap, std::uint32_t threshold, bool clearCounts) {
        return [&bitmap, threshold, clearCounts](int x, int y) {
            if (!bitmap.Inside(x, y)) return false;
            const std::uint32_t a = bitmap.transparent ? bitmap.At(x, y) >> 24 : 255;
            return (a > 0 || clearCounts) && a >= threshold;
        };
    };
    const std::uint32_t threshold = vm.ToUint32(Arg(args, 1)) & 0xff;
    const auto hits = opaque(*b, threshold, false);
    Object* second = Arg(args, 2).AsObject();
    if (!second) return Value::Number(-3);
    if (BitmapObject* other = LiveBitmap(Arg(args, 2))) {
        if (!Arg(args, 3).IsObject()) return Value::Number(-4);
        int sx = 0, sy = 0;
        ReadPoint(vm, Arg(args, 3), &sx, &sy);
        const auto otherHits = opaque(*other, vm.ToUint32(Arg(args, 4)) & 0xff, false);
        // Over this bitmap's pixels, in its own coordinates, the other's that lie there.
        const std::int64_t dx = std::int64_t{sx} - fx, dy = std::int64_t{sy} - fy;
        const std::int64_t x0 = std::max<std::int64_t>(0, dx), y0 = std::max<std::int64_t>(0, dy);
        const std::int64_t x1 = std::min<std::int64_t>(b->width, dx + other->width);
        const std::int64_t y1 = std::min<std::int64_t>(b->height, dy + other->height);
        for (std::int64_t y = y0; y < y1; ++y)
            for (std::int64_t x = x0; x < x1; ++x)
                if (hits(static_cast<int>(x), static_cast<int>(y)) &&
                    otherHits(static_cast<int>(x - dx), static_cast<int>(y - dy)))
                    return Value::Boolean(true);
        return Value::Boolean(false);
    }
    if (HasOwnFields(vm, second, {"x", "y", "width", "height"})) {
        const auto inside = opaque(*b, threshold, true);
        Area a;
        if (!ReadRect(vm, Arg(args, 2), &a)) return Value::Boolean(false);
        a.x -= fx;
        a.y -= fy;
        if (!Clip(*b, &a)) return Value::Boolean(false);
        for (int y = a.y; y < a.y + a.h; ++y)
            for (int x = a.x; x < a.x + a.w; ++x)
                if (inside(x, y)) return Value::Boolean(true);
        return Value::Boolean(false);
    }
    if (!HasOwnFields(vm, second, {"x", "y"})) return Value::Number(-3);
    int sx = 0, sy = 0;
    ReadPoint(vm, Arg(args, 2), &sx, &sy);
    return Value::Boolean(hits(sx - fx, sy - fy));
}

// colorTransform(rect, transform): the pixels inside take a ColorTransform's multipliers
// and offsets.
Value ColorTransformPixels(Vm& vm, const Value& self, std::span<const Value> args) {
    BitmapObject* b = LiveBitmap(self);
    Area a;
    Object* ct = Arg(args, 1).AsObject();
    if (!b || !ct || !ReadRect(vm, Arg(args, 0), &a)) return Value();
    // Only a ColorTransform will do; a look-alike object is ignored.
    bool isTransform = false;
    int hops = 0;
    for (Object* p = ct->Proto(); p && hops < 256; p = p->Proto(), ++hops)
        isTransform = isTransform || p == vm.GetRealm().colorTransformProto;
    if (!isTransform) return Value();
    const char* mults[4] = {"alphaMultiplier", "redMultiplier", "greenMultiplier", "blueMultiplier"};
    const char* offsets[4] = {"alphaOffset", "redOffset", "greenOffset", "blueOffset"};
    double m[4], o[4];
    for (int i = 0; i < 4; ++i) {
        m[i] = vm.ToNumber(vm.Get(ct, mults[i]));
        o[i] = vm.ToNumber(vm.Get(ct, offsets[i]));
        if (!std::isfinite(m[i])) m[i] = 0;
        if (!std::isfinite(o[i])) o[i] = 0;
    }
    if (!Clip(*b, &a)) return Value();
    for (int y = a.y; y < a.y + a.h; ++y) {
        for (int x = a.x; x < a.x + a.w; ++x) {
            const std::uint32_t p = Unpremultiply(b->At(x, y));
            std::uint32_t out = 0;
            for (int i = 0; i < 4; ++i) {
                const int shift = 24 - 8 * i;
                const double c = std::clamp(std::floor(((p >> shift) & 0xff) * m[i] + o[i]), 0.0, 255.0);
                out |= static_cast<std::uint32_t>(c) << shift;
            }
            b->At(x, y) = Stored(*b, out);
        }
    }
    return Value();
}

// getColorBoundsRect(mask, color, findColor): the box around the pixels whose masked colour
// is (or, with findColor false, is not) the one given.
Value GetColorBoundsRect(Vm& vm, const Value& self, std::span<const Value> args) {
    BitmapObject* b = ThisBitmap(self);
    if (!b) return Value();
    if (!b->Valid()) return Value::Number(-1);
    const std::uint32_t mask = vm.ToUint32(Arg(args, 0)), color = vm.ToUint32(Arg(args, 1));
    const bool find = args.size() > 2 ? vm.ToBoolean(args[2]) : true;
    int x0 = b->width, y0 = b->height, x1 = -1, y1 = -1;
    for (int y = 0; y < b->height; ++y) {
        for (int x = 0; x < b->width; ++x) {
            const bool same = (Unpremultiply(b->At(x, y)) & mask) == (color & mask);
            if (same != find) continue;
            x0 = std::min(x0, x);
            y0 = std::min(y0, y);
            x1 = std::max(x1, x);
            y1 = std::max(y1, y);
        }
    }
    Object* proto = vm.GetRealm().rectangleProto;
    const Value ctor = proto ? vm.Get(proto, "constructor") : Value();
    // The player keeps the far corner from (0, 0) on and takes a corner still there for
    // nothing found: a match at the top-left pixel alone gives the empty rectangle.
    const bool any = x1 > 0 || y1 > 0;
    const Value rect[4] = {Value::Number(any ? x0 : 0), Value::Number(any ? y0 : 0),
                           Value::Number(any ? x1 - x0 + 1 : 0),
                           Value::Number(any ? y1 - y0 + 1 : 0)};
    return vm.Construct(ctor, rect);
}

// scroll(dx, dy): the picture moves; what is uncovered keeps its old pixels.
Value Scroll(Vm& vm, const Value& self, std::span<const Value> args) {
    BitmapObject* b = LiveBitmap(self);
    if (!b) return Value();
    const int dx = Int(vm, Arg(args, 0)), dy = Int(vm, Arg(args, 1));
    if (std::abs(static_cast<std::int64_t>(dx)) >= b->width ||
        std::abs(static_cast<std::int64_t>(dy)) >= b->height)
        return Value();
    const std::vector<std::uint32_t> before = b->pixels;
    for (int y = 0; y < b->height; ++y) {
        const int sy = y - dy;
        if (sy < 0 || sy >= b->height) continue;
        for (int x = 0; x < b->width; ++x) {
            const int sx = x - dx;
            if (sx < 0 || sx >= b->width) continue;
            b->At(x, y) = before[static_cast<std::size_t>(sy) * b->width + sx];
        }
    }
    return Value();
}

// copyChannel(source, sourceRect, destPoint, sourceChannel, destChannel): one channel (1 red,
// 2 green, 4 blue, 8 alpha) of the source becomes one of the destination's.
Value CopyChannel(Vm& vm, const Value& self, std::span<const Value> args) {
    BitmapObject* b = LiveBitmap(self);
    SourceCopy given;
    if (!b || !ReadSourceCopy(vm, args, &given)) return Value();
    auto [src, a, dx, dy] = given;
    auto shiftOf = [](int channel) {
        switch (channel) {
            case 1: return 16;
            case 2: return 8;
            case 4: return 0;
            case 8: return 24;
            default: return -1;
        }
    };
    const int from = shiftOf(Int(vm, Arg(args, 3))), to = shiftOf(Int(vm, Arg(args, 4)));
    if (from < 0 || to < 0) return Value();
    const int cutX = std::max(0, -a.x), cutY = std::max(0, -a.y);
    if (!Clip(*src, &a)) return Value();
    Area d{dx + cutX, dy + cutY, a.w, a.h};
    const int beforeX = d.x, beforeY = d.y;
    if (!Clip(*b, &d)) return Value();
    a.x += d.x - beforeX;
    a.y += d.y - beforeY;
    std::vector<std::uint32_t> values(static_cast<std::size_t>(d.w) * static_cast<std::size_t>(d.h));
    for (int y = 0; y < d.h; ++y)
        for (int x = 0; x < d.w; ++x)
            values[static_cast<std::size_t>(y) * d.w + x] =
                (Unpremultiply(src->At(a.x + x, a.y + y)) >> from) & 0xff;
    for (int y = 0; y < d.h; ++y) {
        for (int x = 0; x < d.w; ++x) {
            std::uint32_t& out = b->At(d.x + x, d.y + y);
            const std::uint32_t old = Unpremultiply(out);
            const std::uint32_t v = values[static_cast<std::size_t>(y) * d.w + x];
            out = Stored(*b, (old & ~(0xffu << to)) | (v << to));
        }
    }
    return Value();
}

// ---- Drawing and filtering -------------------------------------------------------------------

// Whether the value is a ColorTransform (a look-alike object is not).
bool IsColorTransform(Vm& vm, Object* o) {
    int hops = 0;
    for (Object* p = o ? o->Proto() : nullptr; p && hops < 256; p = p->Proto(), ++hops)
        if (p == vm.GetRealm().colorTransformProto) return true;
    return false;
}

// A ColorTransform's multipliers and offsets, red, green, blue, alpha; identity for anything
// else.
ColorNumbers ReadColorNumbers(Vm& vm, const Value& v) {
    ColorNumbers c;
    Object* o = v.AsObject();
    if (!IsColorTransform(vm, o)) return c;
    const char* mults[4] = {"redMultiplier", "greenMultiplier", "blueMultiplier",
                            "alphaMultiplier"};
    const char* offsets[4] = {"redOffset", "greenOffset", "blueOffset", "alphaOffset"};
    for (int i = 0; i < 4; ++i) {
        const double m = vm.ToNumber(vm.Get(o, mults[i])), a = vm.ToNumber(vm.Get(o, offsets[i]));
        c.mult[i] = std::isfinite(m) ? m : 0;
        c.add[i] = std::isfinite(a) ? a : 0;
    }
    return c;
}

bool IsIdentity(const ColorNumbers& c) {
    for (int i = 0; i < 4; ++i)
        if (c.mult[i] != 1 || c.add[i] != 0) return false;
    return true;
}

// A premultiplied pixel through a colour transform.
std::uint32_t Transformed(std::uint32_t premultiplied, const ColorNumbers& c) {
    const std::uint32_t p = Unpremultiply(premultiplied);
    constexpr int kShifts[4] = {16, 8, 0, 24};
    std::uint32_t out = 0;
    for (int i = 0; i < 4; ++i) {
        const double v = ((p >> kShifts[i]) & 0xff) * c.mult[i] + c.add[i];
        out |= static_cast<std::uint32_t>(std::clamp(v, 0.0, 255.0)) << kShifts[i];
    }
    return Premultiply(out);
}

// A Matrix's a, b, c, d, tx, ty: identity when the value is no object; false when a field is
// not a finite number.
bool ReadMatrix(Vm& vm, const Value& v, std::array<double, 6>* m) {
    *m = {1, 0, 0, 1, 0, 0};
    Object* o = v.AsObject();
    if (!o) return true;
    const char* names[6] = {"a", "b", "c", "d", "tx", "ty"};
    for (int i = 0; i < 6; ++i) {
        (*m)[i] = vm.ToNumber(vm.Get(o, names[i]));
        if (!std::isfinite((*m)[i])) return false;
    }
    return true;
}

// A blend mode by its SWF number or by its name ("multiply", ...); normal for anything else.
media::BlendMode ReadBlendMode(Vm& vm, const Value& v) {
    static constexpr const char* kNames[] = {
        "normal", "layer",    "multiply", "screen", "lighten", "darken",  "difference",
        "add",    "subtract", "invert",   "alpha",  "erase",   "overlay", "hardlight"};
    if (v.IsString()) {
        const std::string name = vm.ToString(v);
        for (std::size_t i = 0; i < std::size(kNames); ++i)
            if (name == kNames[i])
                return media::BlendModeFromFile(static_cast<std::uint8_t>(i + 1));
        return media::BlendMode::kNormal;
    }
    const int n = Int(vm, v);
    return media::BlendModeFromFile(n > 0 && n < 256 ? static_cast<std::uint8_t>(n) : 1);
}

// Samples `source` (premultiplied) through the inverse of `m` into `layer`, whose pixel (0, 0)
// lies at (left, top) in the target's space: the nearest pixel, or the four nearest weighted
// when smoothing. Nothing lands where the source is not.
void SampleBitmap(const media::Image& source, const std::array<double, 6>& m, int left, int top,
                  bool smoothing, media::Image& layer) {
    const double det = m[0] * m[3] - m[1] * m[2];
    if (!std::isfinite(det) || std::abs(det) < 1e-12) return;
    // Inverse: target (x, y) to source (u, v).
    const double ia = m[3] / det, ib = -m[1] / det, ic = -m[2] / det, id = m[0] / det;
    const double itx = -(ia * m[4] + ic * m[5]), ity = -(ib * m[4] + id * m[5]);
    auto texel = [&source](std::int64_t x, std::int64_t y) -> std::uint32_t {
        if (x < 0 || y < 0 || x >= source.width || y >= source.height) return 0;
        return source.At(static_cast<int>(x), static_cast<int>(y));
    };
    for (int y = 0; y < layer.height; ++y) {
        std::uint32_t* row = layer.Row(y);
        const double ty = top + y + 0.5;
        for (int x = 0; x < layer.width; ++x) {
            const double tx = left + x + 0.5;
            const double u = ia * tx + ic * ty + itx, v = ib * tx + id * ty + ity;
            if (!(u > -1 && v > -1 && u < source.width + 1.0 && v < source.height + 1.0)) continue;
            if (!smoothing) {
                row[x] = texel(static_cast<std::int64_t>(std::floor(u)),
                               static_cast<std::int64_t>(std::floor(v)));
                continue;
            }
            const double fu = u - 0.5, fv = v - 0.5;
            const double x0 = std::floor(fu), y0 = std::floor(fv);
            const double wx = fu - x0, wy = fv - y0;
            const auto ix = static_cast<std::int64_t>(x0), iy = static_cast<std::int64_t>(y0);
            const std::uint32_t p[4] = {texel(ix, iy), texel(ix + 1, iy), texel(ix, iy + 1),
                                        texel(ix + 1, iy + 1)};
            const double w[4] = {(1 - wx) * (1 - wy), wx * (1 - wy), (1 - wx) * wy, wx * wy};
            std::uint32_t out = 0;
            for (int shift = 0; shift < 32; shift += 8) {
                double c = 0;
                for (int i = 0; i < 4; ++i) c += ((p[i] >> shift) & 0xff) * w[i];
                out |= static_cast<std::uint32_t>(std::clamp(c + 0.5, 0.0, 255.0)) << shift;
            }
            row[x] = out;
        }
    }
}

// A bitmap without transparency keeps its pixels opaque whatever was laid over them.
void KeepOpaque(BitmapObject& b, const Area& a) {
    if (b.transparent) return;
    for (int y = a.y; y < a.y + a.h; ++y)
        for (int x = a.x; x < a.x + a.w; ++x) b.At(x, y) = Stored(b, Unpremultiply(b.At(x, y)));
}

// draw(source, matrix, colorTransform, blendMode, clipRect, smoothing): a movie clip's content
// (as the player draws it, in the clip's own coordinates) or another bitmap's pixels laid over
// this bitmap through the matrix and colour transform, with the blend mode, inside the clip
// rectangle.
Value DrawSource(Vm& vm, const Value& self, std::span<const Value> args) {
    BitmapObject* b = LiveBitmap(self);
    Object* sourceObject = Arg(args, 0).AsObject();
    if (!b || !sourceObject) return Value();
    BitmapObject* sourceBitmap = LiveBitmap(Arg(args, 0));
    if (!sourceBitmap && !vm.ClipOf(sourceObject)) return Value();
    std::array<double, 6> m;
    if (!ReadMatrix(vm, Arg(args, 1), &m)) return Value();
    const ColorNumbers color = ReadColorNumbers(vm, Arg(args, 2));
    const media::BlendMode mode = ReadBlendMode(vm, Arg(args, 3));
    Area a{0, 0, b->width, b->height};
    if (Arg(args, 4).IsObject() && !ReadRect(vm, Arg(args, 4), &a)) return Value();
    const bool smoothing = vm.ToBoolean(Arg(args, 5));
    // Reading the arguments may have run scripts that disposed of either bitmap or took the
    // clip away: the clip is looked up again.
    if (!b->Valid() || (sourceBitmap && !sourceBitmap->Valid())) return Value();
    ClipHost* clip = sourceBitmap ? nullptr : vm.ClipOf(sourceObject);
    if ((!sourceBitmap && !clip) || !Clip(*b, &a)) return Value();
    media::Image layer;
    if (!media::AllocateImage(layer, a.w, a.h, player::Limits{}.maxLayerPixels)) return Value();
    if (sourceBitmap) {
        SampleBitmap(*sourceBitmap->store, m, a.x, a.y, smoothing, layer);
        if (!IsIdentity(color))
            for (std::uint32_t& p : layer.argb) p = Transformed(p, color);
    } else {
        std::array<double, 6> shifted = m;
        shifted[4] -= a.x;
        shifted[5] -= a.y;
        if (!clip->DrawInto(layer, shifted, color, smoothing)) return Value();
    }
    media::Blend(*b->store, layer, a.x, a.y, mode);
    KeepOpaque(*b, a);
    return Value();
}

// applyFilter(source, sourceRect, destPoint, filter): the source's rectangle run through the
// filter and written at the point. Answers 0 when the filter ran, -1 when it could not.
Value ApplyFilterPixels(Vm& vm, const Value& self, std::span<const Value> args) {
    BitmapObject* b = LiveBitmap(self);
    SourceCopy given;
    if (!b || !ReadSourceCopy(vm, args, &given)) return Value::Number(-1);
    auto [src, a, dx, dy] = given;
    const std::optional<media::Filter> filter = MediaFilterOf(Arg(args, 3));
    if (!filter) return Value::Number(-1);
    Area d;
    if (!b->Valid() || !src->Valid() || !ClipTransfer(*src, *b, dx, dy, &a, &d))
        return Value::Number(0);
    // The filter's result spreads past the area: it is drawn with room around it, and what
    // falls inside the area is kept.
    const media::FilterPadding pad = media::PaddingFor(*filter);
    media::Image layer;
    if (!media::AllocateImage(layer, a.w + pad.left + pad.right, a.h + pad.top + pad.bottom,
                              player::Limits{}.maxLayerPixels))
        return Value::Number(-1);
    for (int y = 0; y < a.h; ++y)
        std::copy_n(&src->At(a.x, a.y + y), a.w, layer.Row(pad.top + y) + pad.left);
    if (media::ApplyFilter(layer, *filter, player::Limits{}.maxLayerPixels) !=
        media::FilterError::kNone)
        return Value::Number(-1);
    for (int y = 0; y < d.h; ++y)
        std::copy_n(layer.Row(pad.top + y) + pad.left, d.w, &b->At(d.x, d.y + y));
    KeepOpaque(*b, d);
    return Value::Number(0);
}

// generateFilterRect(sourceRect, filter): the rectangle the filter's result covers.
Value GenerateFilterRect(Vm& vm, const Value& self, std::span<const Value> args) {
    Area a;
    if (!LiveBitmap(self) || !ReadRect(vm, Arg(args, 0), &a)) return Value::Number(-1);
    const std::optional<media::Filter> filter = MediaFilterOf(Arg(args, 1));
    media::FilterPadding pad;
    if (filter) pad = media::PaddingFor(*filter);
    Object* proto = vm.GetRealm().rectangleProto;
    const Value ctor = proto ? vm.Get(proto, "constructor") : Value();
    const Value rect[4] = {Value::Number(double(a.x) - pad.left),
                           Value::Number(double(a.y) - pad.top),
                           Value::Number(double(a.w) + pad.left + pad.right),
                           Value::Number(double(a.h) + pad.top + pad.bottom)};
    return vm.Construct(ctor, rect);
}

// The source's pixels of an area (straight ARGB), read before the destination is written,
// since the two may be the same bitmap.
std::vector<std::uint32_t> StraightPixels(BitmapObject& src, const Area& a) {
    std::vector<std::uint32_t> out(static_cast<std::size_t>(a.w) * static_cast<std::size_t>(a.h));
    for (int y = 0; y < a.h; ++y)
        for (int x = 0; x < a.w; ++x)
            out[static_cast<std::size_t>(y) * a.w + x] = Unpremultiply(src.At(a.x + x, a.y + y));
    return out;
}

// merge(source, sourceRect, destPoint, redMultiplier, greenMultiplier, blueMultiplier,
// alphaMultiplier): each channel becomes (source * m + dest * (256 - m)) / 256, m in 0..256.
Value Merge(Vm& vm, const Value& self, std::span<const Value> args) {
    BitmapObject* b = LiveBitmap(self);
    SourceCopy given;
    if (!b || !ReadSourceCopy(vm, args, &given)) return Value();
    auto [src, a, dx, dy] = given;
    std::uint32_t mult[4];  // by shift: blue, green, red, alpha
    constexpr int kArgOf[4] = {5, 4, 3, 6};
    for (int i = 0; i < 4; ++i)
        mult[i] = static_cast<std::uint32_t>(std::clamp(Int(vm, Arg(args, kArgOf[i])), 0, 256));
    Area d;
    if (!b->Valid() || !src->Valid() || !ClipTransfer(*src, *b, dx, dy, &a, &d)) return Value();
    const std::vector<std::uint32_t> source = StraightPixels(*src, a);
    for (int y = 0; y < d.h; ++y) {
        for (int x = 0; x < d.w; ++x) {
            const std::uint32_t s = source[static_cast<std::size_t>(y) * d.w + x];
            std::uint32_t& out = b->At(d.x + x, d.y + y);
            const std::uint32_t old = Unpremultiply(out);
            std::uint32_t r = 0;
            for (int i = 0; i < 4; ++i) {
                const std::uint32_t sc = (s >> (8 * i)) & 0xff, dc = (old >> (8 * i)) & 0xff;
                r |= ((sc * mult[i] + dc * (256 - mult[i])) >> 8) << (8 * i);
            }
            out = Stored(*b, r);
        }
    }
    return Value();
}

// paletteMap(source, sourceRect, destPoint, redArray, greenArray, blueArray, alphaArray): each
// channel's value picks an entry of its array (a whole colour); a pixel becomes the sum of its
// four entries. A channel without an array keeps its value.
Value PaletteMap(Vm& vm, const Value& self, std::span<const Value> args) {
    BitmapObject* b = LiveBitmap(self);
    SourceCopy given;
    if (!b || !ReadSourceCopy(vm, args, &given)) return Value();
    auto [src, a, dx, dy] = given;
    constexpr int kShifts[4] = {16, 8, 0, 24};  // red, green, blue, alpha
    std::vector<std::array<std::uint32_t, 256>> tables(4);
    for (int c = 0; c < 4; ++c) {
        Object* list = Arg(args, 3 + c).AsObject();
        for (std::uint32_t i = 0; i < 256; ++i)
            tables[c][i] = list ? vm.ToUint32(vm.Get(list, std::to_string(i))) : i << kShifts[c];
    }
    Area d;
    if (!b->Valid() || !src->Valid() || !ClipTransfer(*src, *b, dx, dy, &a, &d)) return Value();
    const std::vector<std::uint32_t> source = StraightPixels(*src, a);
    for (int y = 0; y < d.h; ++y) {
        for (int x = 0; x < d.w; ++x) {
            const std::uint32_t s = source[static_cast<std::size_t>(y) * d.w + x];
            std::uint32_t r = 0;
            for (int c = 0; c < 4; ++c) r += tables[c][(s >> kShifts[c]) & 0xff];
            b->At(d.x + x, d.y + y) = Stored(*b, r);
        }
    }
    return Value();
}

// compare(other): 0 when the two are the same size with the same pixels; else, for the same
// size, a new bitmap of the differences: where the colours differ, opaque with each channel
// this minus other (modulo 256); where only alpha differs, white with that difference as alpha;
// clear where they agree. Something that is no bitmap answers -1, a disposed one -2, widths
// that differ -3, heights -4, both -5.
Value Compare(Vm& vm, const Value& self, std::span<const Value> args) {
    BitmapObject* b = LiveBitmap(self);
    BitmapObject* other = ThisBitmap(Arg(args, 0));
    if (!b) return Value::Number(-1);
    if (!other) return Value::Number(-1);
    if (!other->Valid()) return Value::Number(-2);
    if (other->width != b->width && other->height != b->height) return Value::Number(-5);
    if (other->width != b->width) return Value::Number(-3);
    if (other->height != b->height) return Value::Number(-4);
    std::vector<std::uint32_t> diff(b->pixels.size());
    bool any = false;
    for (std::size_t i = 0; i < diff.size(); ++i) {
        const std::uint32_t p = Unpremultiply(b->pixels[i]), q = Unpremultiply(other->pixels[i]);
        if (p == q) continue;
        any = true;
        if ((p & 0xffffff) != (q & 0xffffff)) {
            std::uint32_t r = 0xff000000u;
            for (int shift = 0; shift < 24; shift += 8)
                r |= ((((p >> shift) & 0xff) - ((q >> shift) & 0xff)) & 0xff) << shift;
            diff[i] = r;
        } else {
            diff[i] = ((((p >> 24) - (q >> 24)) & 0xff) << 24) | 0xffffff;
        }
    }
    if (!any) return Value::Number(0);
    auto* out = vm.GetHeap().New<BitmapObject>(b->Proto());
    if (!Allocate(vm, out, b->width, b->height, true, 0)) return Value();
    for (std::size_t i = 0; i < diff.size(); ++i) out->pixels[i] = Premultiply(diff[i]);
    return Value::Obj(out);
}

// perlinNoise(baseX, baseY, numOctaves, randomSeed, stitch, fractalNoise [, channelOptions,
// grayScale, offsets]): the whole bitmap filled with gradient noise (perlin_noise.h).
Value PerlinNoisePixels(Vm& vm, const Value& self, std::span<const Value> args) {
    BitmapObject* b = LiveBitmap(self);
    if (!b) return Value();
    PerlinSettings s;
    s.baseX = vm.ToNumber(Arg(args, 0));
    s.baseY = vm.ToNumber(Arg(args, 1));
    s.octaves = std::clamp(Int(vm, Arg(args, 2)), 0, kMaxPerlinOctaves);
    s.seed = vm.ToUint32(Arg(args, 3));
    s.stitch = vm.ToBoolean(Arg(args, 4));
    s.fractal = vm.ToBoolean(Arg(args, 5));
    s.channels = args.size() > 6 ? Int(vm, args[6]) : 7;
    s.gray = vm.ToBoolean(Arg(args, 7));
    if (Object* list = Arg(args, 8).AsObject()) {
        for (int o = 0; o < s.octaves; ++o) {
            Object* point = vm.Get(list, std::to_string(o)).AsObject();
            s.offsets.emplace_back(point ? vm.ToNumber(vm.Get(point, "x")) : 0,
                                   point ? vm.ToNumber(vm.Get(point, "y")) : 0);
        }
    }
    if (!b->Valid()) return Value();
    const std::vector<std::uint32_t> noise = PerlinNoise(s, b->width, b->height);
    for (std::size_t i = 0; i < noise.size() && i < b->pixels.size(); ++i)
        b->pixels[i] = Stored(*b, noise[i]);
    return Value();
}

// BitmapData.loadBitmap(exportName): a new bitmap holding the pixels of the library bitmap
// exported under that name; undefined when there is none or it does not fit in the script
// memory left. It is transparent when any of its pixels is.
Value LoadBitmap(Vm& vm, const Value&, std::span<const Value> args) {
    if (args.empty()) return Value();
    const std::shared_ptr<const media::Image> pixels =
        vm.GetHost().LibraryBitmap(vm.ToString(args[0]));
    if (!pixels || !pixels->IsValid()) return Value();
    const std::size_t bytes = pixels->argb.size() * sizeof(std::uint32_t);
    if (vm.GetHeap().Bytes() + bytes > vm.Limits().maxHeapBytes) {
        vm.GetHost().Problem(
            "BitmapData.loadBitmap: the bitmap is more than the script memory left");
        return Value();
    }
    Object* flash = vm.Get(vm.GetRealm().global, "flash").AsObject();
    Object* display = flash ? vm.Get(flash, "display").AsObject() : nullptr;
    Object* ctor = display ? vm.Get(display, "BitmapData").AsObject() : nullptr;
    Object* proto = ctor ? vm.Get(ctor, "prototype").AsObject() : nullptr;
    auto* b = vm.GetHeap().New<BitmapObject>(proto ? proto : vm.GetRealm().objectProto);
    b->width = pixels->width;
    b->height = pixels->height;
    b->pixels = pixels->argb;
    b->transparent = std::any_of(b->pixels.begin(), b->pixels.end(),
                                 [](std::uint32_t p) { return (p >> 24) != 0xff; });
    vm.GetHeap().Grew(bytes);
    return Value::Obj(b);
}

template <NativeFn F, std::size_t MinArgs>
Value Guarded(Vm& vm, const Value& self, std::span<const Value> args) {
    if (!LiveBitmap(self) || args.size() < MinArgs) return Value::Number(-1);
    return F(vm, self, args);
}

}  // namespace

std::shared_ptr<const media::Image> BitmapPixels(const Value& v) {
    const BitmapObject* b = LiveBitmap(v);
    return b ? b->store : nullptr;
}

void InstallBitmapData(Vm& vm) {
    Realm& realm = vm.GetRealm();
    Object* flash = vm.Get(realm.global, "flash").AsObject();
    if (!flash) {
        flash = vm.NewObject();
        vm.DefineValue(realm.global, "flash", Value::Obj(flash));
    }
    Object* display = vm.Get(flash, "display").AsObject();
    if (!display) {
        display = vm.NewObject();
        vm.DefineValue(flash, "display", Value::Obj(display));
    }
    Object* p = vm.NewObject();
    FunctionObject* ctor = vm.DefineClass(display, "BitmapData", BitmapNew, BitmapNew, p);
    realm.nativeClasses.emplace_back(p, MakeBitmap);
    vm.DefineMethod(ctor, "loadBitmap", LoadBitmap);
    DefineNativeAccessor(vm, p, "width", GetWidth, ReadOnlySet);
    DefineNativeAccessor(vm, p, "height", GetHeight, ReadOnlySet);
    DefineNativeAccessor(vm, p, "transparent", GetTransparent, ReadOnlySet);
    DefineNativeAccessor(vm, p, "rectangle", GetRectangle, ReadOnlySet);
    // Each with the arguments it needs: called on a disposed bitmap, on something that is no
    // bitmap or with too few arguments, a method does nothing and answers -1.
    vm.DefineMethod(p, "getPixel", Guarded<GetPixel, 2>);
    vm.DefineMethod(p, "getPixel32", Guarded<GetPixel32, 2>);
    vm.DefineMethod(p, "setPixel", Guarded<SetPixel, 3>);
    vm.DefineMethod(p, "setPixel32", Guarded<SetPixel32, 3>);
    vm.DefineMethod(p, "fillRect", FillRect);
    vm.DefineMethod(p, "copyPixels", Guarded<CopyPixels, 3>);
    vm.DefineMethod(p, "copyChannel", Guarded<CopyChannel, 5>);
    vm.DefineMethod(p, "clone", Guarded<Clone, 0>);
    vm.DefineMethod(p, "dispose", Guarded<Dispose, 0>);
    vm.DefineMethod(p, "noise", Guarded<Noise, 1>);
    vm.DefineMethod(p, "floodFill", Guarded<FloodFill, 3>);
    vm.DefineMethod(p, "hitTest", Guarded<HitTest, 2>);
    vm.DefineMethod(p, "colorTransform", Guarded<ColorTransformPixels, 2>);
    vm.DefineMethod(p, "getColorBoundsRect", Guarded<GetColorBoundsRect, 2>);
    vm.DefineMethod(p, "scroll", Guarded<Scroll, 2>);
    vm.DefineMethod(p, "threshold", Guarded<Threshold, 0>);
    vm.DefineMethod(p, "pixelDissolve", Guarded<PixelDissolve, 0>);
    vm.DefineMethod(p, "draw", Guarded<DrawSource, 1>);
    vm.DefineMethod(p, "applyFilter", Guarded<ApplyFilterPixels, 4>);
    vm.DefineMethod(p, "generateFilterRect", Guarded<GenerateFilterRect, 2>);
    vm.DefineMethod(p, "merge", Guarded<Merge, 7>);
    vm.DefineMethod(p, "paletteMap", Guarded<PaletteMap, 3>);
    vm.DefineMethod(p, "perlinNoise", Guarded<PerlinNoisePixels, 6>);
    vm.DefineMethod(p, "compare", Guarded<Compare, 1>);
}

}  // namespace player::script
