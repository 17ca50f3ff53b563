// Color (a clip's colour transform in percent and offsets) and the flash.geom package: Point,
// Rectangle, Matrix, ColorTransform and Transform. Their fields are ordinary properties, so
// scripts may read, change and even replace them; the methods work on whatever is there.
#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <string>

#include "player/script/builtins.h"
#include "player/script/number_text.h"

namespace player::script {

void DefineNativeAccessor(Vm& vm, Object* on, std::string_view name, NativeFn get, NativeFn set,
                    std::uint16_t flags) {
    FunctionObject* getter = vm.NewNative(get);
    FunctionObject* setter = set ? vm.NewNative(set) : nullptr;
    std::string key = vm.Key(name);
    Property& p = on->Put(vm.Intern(name), std::move(key), Value(), flags);
    p.getter = getter;
    p.setter = setter;
}

namespace {

constexpr double kGradientBoxPixels = 1638.4;
// Where a Color or Transform keeps the clip (or path) it acts on.
constexpr const char* kTargetKey = "target";
constexpr const char* kClipKey = "__clip";

double Num(Vm& vm, Object* o, std::string_view name) {
    return vm.ToNumber(vm.Get(o, name));
}

double NumArg(Vm& vm, std::span<const Value> args, std::size_t i, double fallback) {
    if (i >= args.size() || args[i].IsUndefined()) return fallback;
    return vm.ToNumber(args[i]);
}

void SetNum(Vm& vm, Object* o, std::string_view name, double v) {
    vm.Set(o, name, Value::Number(v));
}

// A clip from a clip object or a target path (from _level0).
ClipHost* ClipFromTarget(Vm& vm, const Value& target) {
    if (Object* o = target.AsObject()) {
        if (ClipHost* clip = vm.ClipOf(o)) return clip;
    }
    if (!target.IsString() || target.Text().empty()) return nullptr;
    ClipHost* root = vm.GetHost().Level(0);
    if (!root) return nullptr;
    Object* found = vm.ResolvePath(target.Text(), vm.ClipFor(root));
    return found ? vm.ClipOf(found) : nullptr;
}

// ---- Color ---------------------------------------------------------------------------------

ClipHost* ColorClip(Vm& vm, const Value& self) {
    Object* o = self.AsObject();
    return o ? ClipFromTarget(vm, vm.Get(o, kTargetKey)) : nullptr;
}

Value ColorCall(Vm& vm, const Value& self, std::span<const Value> args) {
    if (Object* o = self.AsObject()) vm.DefineValue(o, kTargetKey, Arg(args, 0), kDontEnum);
    return Value();
}

// Multipliers and offsets keep 8.8 and 16-bit whole numbers as clips store them.
double Wrap16(double v) {
    if (!std::isfinite(v)) return 0;
    const auto n = static_cast<std::int64_t>(std::fmod(std::trunc(v), 65536.0));
    return static_cast<double>(static_cast<std::int16_t>(static_cast<std::uint16_t>(n & 0xffff)));
}

Value ColorGetRgb(Vm& vm, const Value& self, std::span<const Value>) {
    ClipHost* clip = ColorClip(vm, self);
    if (!clip) return Value();
    const ColorNumbers c = clip->GetColorTransform();
    const auto r = static_cast<std::int32_t>(c.add[0]), g = static_cast<std::int32_t>(c.add[1]),
               b = static_cast<std::int32_t>(c.add[2]);
    return Value::Number(static_cast<std::int32_t>(static_cast<std::uint32_t>(r) << 16 |
                                                   static_cast<std::uint32_t>(g) << 8 |
                                                   static_cast<std::uint32_t>(b)));
}

Value ColorSetRgb(Vm& vm, const Value& self, std::span<const Value> args) {
    ClipHost* clip = ColorClip(vm, self);
    if (!clip || args.empty()) return Value();
    const std::uint32_t rgb = vm.ToUint32(args[0]);
    ColorNumbers c = clip->GetColorTransform();
    for (int i = 0; i < 3; ++i) {
        c.mult[i] = 0;
        c.add[i] = (rgb >> (16 - 8 * i)) & 0xff;
    }
    clip->SetColorTransform(c);
    return Value();
}

constexpr const char* kPercentNames[4] = {"ra", "ga", "ba", "aa"};
constexpr const char* kOffsetNames[4] = {"rb", "gb", "bb", "ab"};

Value ColorGetTransform(Vm& vm, const Value& self, std::span<const Value>) {
    ClipHost* clip = ColorClip(vm, self);
    if (!clip) return Value();
    const ColorNumbers c = clip->GetColorTransform();
    Object* out = vm.NewObject();
    for (int i = 0; i < 4; ++i) {
        SetNum(vm, out, kPercentNames[i], c.mult[i] * 100);
        SetNum(vm, out, kOffsetNames[i], c.add[i]);
    }
    return Value::Obj(out);
}

Value ColorSetTransform(Vm& vm, const Value& self, std::span<const Value> args) {
    ClipHost* clip = ColorClip(vm, self);
    Object* in = Arg(args, 0).AsObject();
    if (!clip || !in) return Value();
    ColorNumbers c = clip->GetColorTransform();
    for (int i = 0; i < 4; ++i) {
        // An own field counts, even when it is undefined; inherited ones do not.
        if (vm.HasOwnProperty(in, kPercentNames[i]))
            c.mult[i] = Wrap16(vm.ToNumber(vm.Get(in, kPercentNames[i])) * 2.56) / 256;
        if (vm.HasOwnProperty(in, kOffsetNames[i]))
            c.add[i] = Wrap16(vm.ToNumber(vm.Get(in, kOffsetNames[i])));
    }
    clip->SetColorTransform(c);
    return Value();
}

// ---- Point ---------------------------------------------------------------------------------

Object* NewPoint(Vm& vm, const Value& x, const Value& y) {
    Object* p = vm.GetHeap().New<Object>(vm.GetRealm().pointProto);
    vm.Set(p, "x", x);
    vm.Set(p, "y", y);
    return p;
}

Object* NewPoint(Vm& vm, double x, double y) {
    return NewPoint(vm, Value::Number(x), Value::Number(y));
}

Value PointCall(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    if (!o) return Value();
    vm.Set(o, "x", args.empty() ? Value::Number(0) : args[0]);
    vm.Set(o, "y", args.empty() ? Value::Number(0) : Arg(args, 1));
    return Value();
}

// The x and y of any value (undefined for what has none).
std::pair<double, double> XY(Vm& vm, const Value& v) {
    Object* o = v.AsObject();
    if (!o) return {NAN, NAN};
    return {Num(vm, o, "x"), Num(vm, o, "y")};
}

Value PointToString(Vm& vm, const Value& self, std::span<const Value>) {
    Object* o = self.AsObject();
    if (!o) return Value();
    return vm.Str("(x=" + vm.ToString(vm.Get(o, "x")) + ", y=" + vm.ToString(vm.Get(o, "y")) + ")");
}

Value PointAdd(Vm& vm, const Value& self, std::span<const Value> args) {
    const auto [x, y] = XY(vm, self);
    const auto [ox, oy] = XY(vm, Arg(args, 0));
    return Value::Obj(NewPoint(vm, x + ox, y + oy));
}

Value PointSubtract(Vm& vm, const Value& self, std::span<const Value> args) {
    const auto [x, y] = XY(vm, self);
    const auto [ox, oy] = XY(vm, Arg(args, 0));
    return Value::Obj(NewPoint(vm, x - ox, y - oy));
}

Value PointClone(Vm& vm, const Value& self, std::span<const Value>) {
    Object* o = self.AsObject();
    if (!o) return Value();
    return Value::Obj(NewPoint(vm, vm.Get(o, "x"), vm.Get(o, "y")));
}

bool IsA(Vm& vm, const Value& v, Object* proto) {
    Object* o = v.AsObject();
    int hops = 0;
    for (Object* p = o ? o->Proto() : nullptr; p && hops < 256; p = p->Proto(), ++hops)
        if (p == proto) return true;
    (void)vm;
    return false;
}

Value PointEquals(Vm& vm, const Value& self, std::span<const Value> args) {
    if (!IsA(vm, Arg(args, 0), vm.GetRealm().pointProto)) return Value::Boolean(false);
    const auto [x, y] = XY(vm, self);
    const auto [ox, oy] = XY(vm, args[0]);
    return Value::Boolean(x == ox && y == oy);
}

Value PointLength(Vm& vm, const Value& self, std::span<const Value>) {
    const auto [x, y] = XY(vm, self);
    return Value::Number(std::sqrt(x * x + y * y));
}

Value PointNormalize(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    if (!o) return Value();
    const auto [x, y] = XY(vm, self);
    const double length = std::sqrt(x * x + y * y);
    if (!(length > 0)) return Value();
    const double by = vm.ToNumber(Arg(args, 0)) / length;
    SetNum(vm, o, "x", x * by);
    SetNum(vm, o, "y", y * by);
    return Value();
}

Value PointOffset(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    if (!o) return Value();
    const auto [x, y] = XY(vm, self);
    SetNum(vm, o, "x", x + vm.ToNumber(Arg(args, 0)));
    SetNum(vm, o, "y", y + vm.ToNumber(Arg(args, 1)));
    return Value();
}

// Point.distance(a, b): the length of a.subtract(b), for whatever a's subtract is.
Value PointDistance(Vm& vm, const Value&, std::span<const Value> args) {
    const Value a = Arg(args, 0);
    if (!a.AsObject()) return Value();
    const Value b = Arg(args, 1);
    const Value difference = vm.CallMethod(a, "subtract", std::span<const Value>(&b, 1));
    return difference.AsObject() ? vm.GetMember(difference, "length") : Value();
}

// Point.interpolate(a, b, f): f = 1 gives a, f = 0 gives b.
Value PointInterpolate(Vm& vm, const Value&, std::span<const Value> args) {
    const auto [ax, ay] = XY(vm, Arg(args, 0));
    const auto [bx, by] = XY(vm, Arg(args, 1));
    const double f = vm.ToNumber(Arg(args, 2));
    return Value::Obj(NewPoint(vm, bx + (ax - bx) * f, by + (ay - by) * f));
}

Value PointPolar(Vm& vm, const Value&, std::span<const Value> args) {
    const double length = vm.ToNumber(Arg(args, 0)), angle = vm.ToNumber(Arg(args, 1));
    return Value::Obj(NewPoint(vm, length * std::cos(angle), length * std::sin(angle)));
}

// ---- Rectangle -----------------------------------------------------------------------------

struct Box {
    double x = 0, y = 0, width = 0, height = 0;
};

Box BoxOf(Vm& vm, const Value& v) {
    Object* o = v.AsObject();
    if (!o) return {NAN, NAN, NAN, NAN};
    return {Num(vm, o, "x"), Num(vm, o, "y"), Num(vm, o, "width"), Num(vm, o, "height")};
}

Object* NewRectangle(Vm& vm, const Box& b) {
    Object* r = vm.GetHeap().New<Object>(vm.GetRealm().rectangleProto);
    SetNum(vm, r, "x", b.x);
    SetNum(vm, r, "y", b.y);
    SetNum(vm, r, "width", b.width);
    SetNum(vm, r, "height", b.height);
    return r;
}

Value RectangleCall(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    if (!o) return Value();
    const char* names[4] = {"x", "y", "width", "height"};
    for (std::size_t i = 0; i < 4; ++i)
        vm.Set(o, names[i], args.empty() ? Value::Number(0) : Arg(args, i));
    return Value();
}

Value RectangleToString(Vm& vm, const Value& self, std::span<const Value>) {
    Object* o = self.AsObject();
    if (!o) return Value();
    return vm.Str("(x=" + vm.ToString(vm.Get(o, "x")) + ", y=" + vm.ToString(vm.Get(o, "y")) +
                  ", w=" + vm.ToString(vm.Get(o, "width")) +
                  ", h=" + vm.ToString(vm.Get(o, "height")) + ")");
}

Value RectangleClone(Vm& vm, const Value& self, std::span<const Value>) {
    return Value::Obj(NewRectangle(vm, BoxOf(vm, self)));
}

bool EmptyBox(const Box& b) {
    return !(b.width > 0 && b.height > 0);
}

Value RectangleIsEmpty(Vm& vm, const Value& self, std::span<const Value>) {
    return Value::Boolean(EmptyBox(BoxOf(vm, self)));
}

Value RectangleSetEmpty(Vm& vm, const Value& self, std::span<const Value>) {
    if (Object* o = self.AsObject()) {
        for (const char* name : {"x", "y", "width", "height"}) SetNum(vm, o, name, 0);
    }
    return Value();
}

Value RectangleContains(Vm& vm, const Value& self, std::span<const Value> args) {
    const Box b = BoxOf(vm, self);
    const double x = vm.ToNumber(Arg(args, 0)), y = vm.ToNumber(Arg(args, 1));
    return Value::Boolean(x >= b.x && x < b.x + b.width && y >= b.y && y < b.y + b.height);
}

Value RectangleContainsPoint(Vm& vm, const Value& self, std::span<const Value> args) {
    const auto [x, y] = XY(vm, Arg(args, 0));
    const Box b = BoxOf(vm, self);
    return Value::Boolean(x >= b.x && x < b.x + b.width && y >= b.y && y < b.y + b.height);
}

Value RectangleOffset(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    if (!o) return Value();
    const Box b = BoxOf(vm, self);
    SetNum(vm, o, "x", b.x + vm.ToNumber(Arg(args, 0)));
    SetNum(vm, o, "y", b.y + vm.ToNumber(Arg(args, 1)));
    return Value();
}

Value RectangleInflate(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    if (!o) return Value();
    const Box b = BoxOf(vm, self);
    const double dx = vm.ToNumber(Arg(args, 0)), dy = vm.ToNumber(Arg(args, 1));
    SetNum(vm, o, "x", b.x - dx);
    SetNum(vm, o, "y", b.y - dy);
    SetNum(vm, o, "width", b.width + 2 * dx);
    SetNum(vm, o, "height", b.height + 2 * dy);
    return Value();
}

Value RectangleEquals(Vm& vm, const Value& self, std::span<const Value> args) {
    if (!IsA(vm, Arg(args, 0), vm.GetRealm().rectangleProto)) return Value::Boolean(false);
    const Box a = BoxOf(vm, self), b = BoxOf(vm, args[0]);
    return Value::Boolean(a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height);
}

Value RectangleIntersection(Vm& vm, const Value& self, std::span<const Value> args) {
    const Box a = BoxOf(vm, self), b = BoxOf(vm, Arg(args, 0));
    const double x0 = std::max(a.x, b.x), y0 = std::max(a.y, b.y);
    const double x1 = std::min(a.x + a.width, b.x + b.width);
    const double y1 = std::min(a.y + a.height, b.y + b.height);
    if (EmptyBox(a) || EmptyBox(b) || !(x1 > x0 && y1 > y0))
        return Value::Obj(NewRectangle(vm, {}));
    return Value::Obj(NewRectangle(vm, {x0, y0, x1 - x0, y1 - y0}));
}

Value RectangleIntersects(Vm& vm, const Value& self, std::span<const Value> args) {
    const Box a = BoxOf(vm, self), b = BoxOf(vm, Arg(args, 0));
    const double x0 = std::max(a.x, b.x), y0 = std::max(a.y, b.y);
    const double x1 = std::min(a.x + a.width, b.x + b.width);
    const double y1 = std::min(a.y + a.height, b.y + b.height);
    return Value::Boolean(!EmptyBox(a) && !EmptyBox(b) && x1 > x0 && y1 > y0);
}

Value RectangleUnion(Vm& vm, const Value& self, std::span<const Value> args) {
    const Box a = BoxOf(vm, self), b = BoxOf(vm, Arg(args, 0));
    if (EmptyBox(a)) return Value::Obj(NewRectangle(vm, b));
    if (EmptyBox(b)) return Value::Obj(NewRectangle(vm, a));
    const double x0 = std::min(a.x, b.x), y0 = std::min(a.y, b.y);
    const double x1 = std::max(a.x + a.width, b.x + b.width);
    const double y1 = std::max(a.y + a.height, b.y + b.height);
    return Value::Obj(NewRectangle(vm, {x0, y0, x1 - x0, y1 - y0}));
}

Value RectangleLeft(Vm& vm, const Value& self, std::span<const Value>) {
    return Value::Number(BoxOf(vm, self).x);
}
Value RectangleTop(Vm& vm, const Value& self, std::span<const Value>) {
    return Value::Number(BoxOf(vm, self).y);
}
Value RectangleRight(Vm& vm, const Value& self, std::span<const Value>) {
    const Box b = BoxOf(vm, self);
    return Value::Number(b.x + b.width);
}
Value RectangleBottom(Vm& vm, const Value& self, std::span<const Value>) {
    const Box b = BoxOf(vm, self);
    return Value::Number(b.y + b.height);
}

// ---- Matrix --------------------------------------------------------------------------------

struct Affine {
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;
};
constexpr const char* kMatrixNames[6] = {"a", "b", "c", "d", "tx", "ty"};

Affine AffineOf(Vm& vm, const Value& v) {
    Object* o = v.AsObject();
    if (!o) return {NAN, NAN, NAN, NAN, NAN, NAN};
    return {Num(vm, o, "a"), Num(vm, o, "b"),  Num(vm, o, "c"),
            Num(vm, o, "d"), Num(vm, o, "tx"), Num(vm, o, "ty")};
}

void Store(Vm& vm, Object* o, const Affine& m) {
    const double v[6] = {m.a, m.b, m.c, m.d, m.tx, m.ty};
    for (int i = 0; i < 6; ++i) SetNum(vm, o, kMatrixNames[i], v[i]);
}

Object* NewMatrix(Vm& vm, const Affine& m) {
    Object* o = vm.GetHeap().New<Object>(vm.GetRealm().matrixProto);
    Store(vm, o, m);
    return o;
}

// m applied first, then n.
Affine Then(const Affine& m, const Affine& n) {
    return {m.a * n.a + m.b * n.c, m.a * n.b + m.b * n.d,          m.c * n.a + m.d * n.c,
            m.c * n.b + m.d * n.d, m.tx * n.a + m.ty * n.c + n.tx, m.tx * n.b + m.ty * n.d + n.ty};
}

Value MatrixCall(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    if (!o) return Value();
    if (args.empty()) {
        Store(vm, o, Affine{});
        return Value();
    }
    for (std::size_t i = 0; i < 6; ++i) vm.Set(o, kMatrixNames[i], Arg(args, i));
    return Value();
}

Value MatrixToString(Vm& vm, const Value& self, std::span<const Value>) {
    Object* o = self.AsObject();
    if (!o) return Value();
    std::string text = "(";
    for (int i = 0; i < 6; ++i) {
        if (i) text += ", ";
        text += std::string(kMatrixNames[i]) + "=" + vm.ToString(vm.Get(o, kMatrixNames[i]));
    }
    return vm.Str(text + ")");
}

Value MatrixClone(Vm& vm, const Value& self, std::span<const Value>) {
    return Value::Obj(NewMatrix(vm, AffineOf(vm, self)));
}

Value MatrixIdentity(Vm& vm, const Value& self, std::span<const Value>) {
    if (Object* o = self.AsObject()) Store(vm, o, Affine{});
    return Value();
}

Value MatrixConcat(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    if (!o) return Value();
    Store(vm, o, Then(AffineOf(vm, self), AffineOf(vm, Arg(args, 0))));
    return Value();
}

Value MatrixInvert(Vm& vm, const Value& self, std::span<const Value>) {
    Object* o = self.AsObject();
    if (!o) return Value();
    const Affine m = AffineOf(vm, self);
    const double det = m.a * m.d - m.b * m.c;
    if (det == 0) {
        Store(vm, o, Affine{});
        return Value();
    }
    Affine r{m.d / det, -m.b / det, -m.c / det, m.a / det, 0, 0};
    r.tx = -(r.a * m.tx + r.c * m.ty);
    r.ty = -(r.b * m.tx + r.d * m.ty);
    Store(vm, o, r);
    return Value();
}

Value MatrixRotate(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    if (!o) return Value();
    const double angle = vm.ToNumber(Arg(args, 0));
    const double cos = std::cos(angle), sin = std::sin(angle);
    Store(vm, o, Then(AffineOf(vm, self), Affine{cos, sin, -sin, cos, 0, 0}));
    return Value();
}

Value MatrixScale(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    if (!o) return Value();
    const double sx = vm.ToNumber(Arg(args, 0)), sy = vm.ToNumber(Arg(args, 1));
    Store(vm, o, Then(AffineOf(vm, self), Affine{sx, 0, 0, sy, 0, 0}));
    return Value();
}

Value MatrixTranslate(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    if (!o) return Value();
    Affine m = AffineOf(vm, self);
    m.tx += vm.ToNumber(Arg(args, 0));
    m.ty += vm.ToNumber(Arg(args, 1));
    Store(vm, o, m);
    return Value();
}

// createBox(scaleX, scaleY [, rotation, tx, ty])
Value MatrixCreateBox(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    if (!o) return Value();
    const double sx = vm.ToNumber(Arg(args, 0)), sy = vm.ToNumber(Arg(args, 1));
    const double r = NumArg(vm, args, 2, 0);
    const double cos = std::cos(r), sin = std::sin(r);
    Store(
        vm, o,
        {sx * cos, sx * sin, -sy * sin, sy * cos, NumArg(vm, args, 3, 0), NumArg(vm, args, 4, 0)});
    return Value();
}

// createGradientBox(width, height [, rotation, tx, ty]): the gradient square fitted to the box.
Value MatrixCreateGradientBox(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    if (!o) return Value();
    const double w = vm.ToNumber(Arg(args, 0)), h = vm.ToNumber(Arg(args, 1));
    const double r = NumArg(vm, args, 2, 0);
    const double cos = std::cos(r), sin = std::sin(r);
    const double sx = w / kGradientBoxPixels, sy = h / kGradientBoxPixels;
    Store(vm, o,
          {sx * cos, sx * sin, -sy * sin, sy * cos, NumArg(vm, args, 3, 0) + w / 2,
           NumArg(vm, args, 4, 0) + h / 2});
    return Value();
}

Value MatrixTransformPoint(Vm& vm, const Value& self, std::span<const Value> args) {
    const Affine m = AffineOf(vm, self);
    const auto [x, y] = XY(vm, Arg(args, 0));
    return Value::Obj(NewPoint(vm, m.a * x + m.c * y + m.tx, m.b * x + m.d * y + m.ty));
}

Value MatrixDeltaTransformPoint(Vm& vm, const Value& self, std::span<const Value> args) {
    const Affine m = AffineOf(vm, self);
    const auto [x, y] = XY(vm, Arg(args, 0));
    return Value::Obj(NewPoint(vm, m.a * x + m.c * y, m.b * x + m.d * y));
}

// ---- ColorTransform ------------------------------------------------------------------------

constexpr const char* kColorNames[8] = {"redMultiplier",   "greenMultiplier", "blueMultiplier",
                                        "alphaMultiplier", "redOffset",       "greenOffset",
                                        "blueOffset",      "alphaOffset"};

ColorNumbers ColorNumbersOf(Vm& vm, const Value& v) {
    ColorNumbers c;
    Object* o = v.AsObject();
    if (!o) return c;
    for (int i = 0; i < 4; ++i) {
        c.mult[i] = Num(vm, o, kColorNames[i]);
        c.add[i] = Num(vm, o, kColorNames[4 + i]);
    }
    return c;
}

void StoreColor(Vm& vm, Object* o, const ColorNumbers& c) {
    for (int i = 0; i < 4; ++i) {
        SetNum(vm, o, kColorNames[i], c.mult[i]);
        SetNum(vm, o, kColorNames[4 + i], c.add[i]);
    }
}

Object* NewColorTransform(Vm& vm, const ColorNumbers& c) {
    Object* o = vm.GetHeap().New<Object>(vm.GetRealm().colorTransformProto);
    StoreColor(vm, o, c);
    return o;
}

Value ColorTransformCall(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    if (!o) return Value();
    for (std::size_t i = 0; i < 8; ++i)
        SetNum(vm, o, kColorNames[i], NumArg(vm, args, i, i < 4 ? 1 : 0));
    return Value();
}

Value ColorTransformToString(Vm& vm, const Value& self, std::span<const Value>) {
    Object* o = self.AsObject();
    if (!o) return Value();
    std::string text = "(";
    for (int i = 0; i < 8; ++i) {
        if (i) text += ", ";
        text += std::string(kColorNames[i]) + "=" + vm.ToString(vm.Get(o, kColorNames[i]));
    }
    return vm.Str(text + ")");
}

// `second` applied after this one.
Value ColorTransformConcat(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    if (!o) return Value();
    const ColorNumbers first = ColorNumbersOf(vm, self), second = ColorNumbersOf(vm, Arg(args, 0));
    ColorNumbers out;
    for (int i = 0; i < 4; ++i) {
        out.mult[i] = first.mult[i] * second.mult[i];
        out.add[i] = first.add[i] * second.mult[i] + second.add[i];
    }
    StoreColor(vm, o, out);
    return Value();
}

Value ColorTransformGetRgb(Vm& vm, const Value& self, std::span<const Value>) {
    const ColorNumbers c = ColorNumbersOf(vm, self);
    auto part = [](double v) {
        return std::isfinite(v) ? static_cast<std::uint32_t>(static_cast<std::int64_t>(v)) & 0xff
                                : 0u;
    };
    return Value::Number(part(c.add[0]) << 16 | part(c.add[1]) << 8 | part(c.add[2]));
}

Value ColorTransformSetRgb(Vm& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    if (!o) return Value();
    const std::uint32_t rgb = vm.ToUint32(Arg(args, 0));
    for (int i = 0; i < 3; ++i) {
        SetNum(vm, o, kColorNames[i], 0);
        SetNum(vm, o, kColorNames[4 + i], (rgb >> (16 - 8 * i)) & 0xff);
    }
    return Value();
}

// ---- Transform -----------------------------------------------------------------------------

ClipHost* TransformClip(Vm& vm, const Value& self) {
    Object* o = self.AsObject();
    return o ? ClipFromTarget(vm, vm.Get(o, kClipKey)) : nullptr;
}

Value TransformCall(Vm& vm, const Value& self, std::span<const Value> args) {
    if (Object* o = self.AsObject()) vm.DefineValue(o, kClipKey, Arg(args, 0), kDontEnum);
    return Value();
}

Affine FromArray(const std::array<double, 6>& m) {
    return {m[0], m[1], m[2], m[3], m[4], m[5]};
}

Value TransformGetMatrix(Vm& vm, const Value& self, std::span<const Value>) {
    ClipHost* clip = TransformClip(vm, self);
    return clip ? Value::Obj(NewMatrix(vm, FromArray(clip->GetMatrix()))) : Value();
}

Value TransformSetMatrix(Vm& vm, const Value& self, std::span<const Value> args) {
    ClipHost* clip = TransformClip(vm, self);
    if (!clip || !Arg(args, 0).AsObject()) return Value();
    const Affine m = AffineOf(vm, args[0]);
    clip->SetMatrix({m.a, m.b, m.c, m.d, m.tx, m.ty});
    return Value();
}

Value TransformGetConcatenatedMatrix(Vm& vm, const Value& self, std::span<const Value>) {
    ClipHost* clip = TransformClip(vm, self);
    return clip ? Value::Obj(NewMatrix(vm, FromArray(clip->GetConcatenatedMatrix()))) : Value();
}

Value TransformGetColor(Vm& vm, const Value& self, std::span<const Value>) {
    ClipHost* clip = TransformClip(vm, self);
    return clip ? Value::Obj(NewColorTransform(vm, clip->GetColorTransform())) : Value();
}

Value TransformGetConcatenatedColor(Vm& vm, const Value& self, std::span<const Value>) {
    ClipHost* clip = TransformClip(vm, self);
    if (!clip) return Value();
    ColorNumbers total = clip->GetColorTransform();
    int guard = 0;
    for (ClipHost* p = clip->Parent(); p && guard < 256; p = p->Parent(), ++guard) {
        const ColorNumbers outer = p->GetColorTransform();
        for (int i = 0; i < 4; ++i) {
            total.add[i] = total.add[i] * outer.mult[i] + outer.add[i];
            total.mult[i] *= outer.mult[i];
        }
    }
    return Value::Obj(NewColorTransform(vm, total));
}

Value TransformSetColor(Vm& vm, const Value& self, std::span<const Value> args) {
    ClipHost* clip = TransformClip(vm, self);
    if (!clip || !Arg(args, 0).AsObject()) return Value();
    clip->SetColorTransform(ColorNumbersOf(vm, args[0]));
    return Value();
}

// The clip's bounds carried through `m`: x min, y min, x max, y max.
std::optional<std::array<double, 4>> BoundsThrough(ClipHost* clip, const Affine& m) {
    const auto local = clip->LocalBounds();
    if (!local) return std::nullopt;
    std::array<double, 4> out{INFINITY, INFINITY, -INFINITY, -INFINITY};
    for (const double x : {(*local)[0], (*local)[2]}) {
        for (const double y : {(*local)[1], (*local)[3]}) {
            const double px = m.a * x + m.c * y + m.tx, py = m.b * x + m.d * y + m.ty;
            out[0] = std::min(out[0], px);
            out[1] = std::min(out[1], py);
            out[2] = std::max(out[2], px);
            out[3] = std::max(out[3], py);
        }
    }
    return out;
}

Affine Inverse(const Affine& m) {
    const double det = m.a * m.d - m.b * m.c;
    if (det == 0 || !std::isfinite(det)) return {};
    Affine r{m.d / det, -m.b / det, -m.c / det, m.a / det, 0, 0};
    r.tx = -(r.a * m.tx + r.c * m.ty);
    r.ty = -(r.b * m.tx + r.d * m.ty);
    return r;
}

// The stage area the clip covers, in whole pixels.
Value TransformGetPixelBounds(Vm& vm, const Value& self, std::span<const Value>) {
    ClipHost* clip = TransformClip(vm, self);
    if (!clip) return Value();
    const auto b = BoundsThrough(clip, FromArray(clip->GetConcatenatedMatrix()));
    if (!b) return Value::Obj(NewRectangle(vm, {}));
    const double x0 = std::floor((*b)[0]), y0 = std::floor((*b)[1]);
    return Value::Obj(
        NewRectangle(vm, {x0, y0, std::ceil((*b)[2]) - x0, std::ceil((*b)[3]) - y0}));
}

// clip.getBounds([targetClip]): {xMin, xMax, yMin, yMax} in the target's space (the clip's
// own without one); a clip that covers nothing has all four at the far corner.
Value ClipGetBounds(Vm& vm, const Value& self, std::span<const Value> args) {
    ClipHost* clip = vm.ClipOf(self.AsObject());
    if (!clip) return Value();
    Affine m;
    ClipHost* target = clip;
    if (!args.empty()) {
        target = ClipFromTarget(vm, args[0]);
        if (!target) return Value();
        m = Then(FromArray(clip->GetConcatenatedMatrix()),
                 Inverse(FromArray(target->GetConcatenatedMatrix())));
    }
    if (vm.ActivationVersion() >= 8) vm.SetFarBoundsRoundUp();
    // The far corner in twips (0x7FFFFFF), or rounded up to 2^27 when carried into another
    // clip's space.
    const double kNowhere = vm.FarBoundsRoundUp() && target != clip ? 6710886.4 : 6710886.35;
    const auto b = BoundsThrough(clip, m);
    Object* out = vm.NewObject();
    SetNum(vm, out, "xMin", b ? (*b)[0] : kNowhere);
    SetNum(vm, out, "xMax", b ? (*b)[2] : kNowhere);
    SetNum(vm, out, "yMin", b ? (*b)[1] : kNowhere);
    SetNum(vm, out, "yMax", b ? (*b)[3] : kNowhere);
    return Value::Obj(out);
}

// clip.transform: a new Transform on the clip each time; setting one copies its matrix and
// colour transform onto the clip.
Value ClipGetTransform(Vm& vm, const Value& self, std::span<const Value>) {
    if (!vm.ClipOf(self.AsObject())) return Value();
    Object* t = vm.GetHeap().New<Object>(vm.GetRealm().transformProto);
    vm.DefineValue(t, kClipKey, self, kDontEnum);
    return Value::Obj(t);
}

Value ClipSetTransform(Vm& vm, const Value& self, std::span<const Value> args) {
    ClipHost* clip = vm.ClipOf(self.AsObject());
    ClipHost* source = TransformClip(vm, Arg(args, 0));
    if (!clip || !source) return Value();
    clip->SetMatrix(source->GetMatrix());
    clip->SetColorTransform(source->GetColorTransform());
    return Value();
}

Object* NewClass(Vm& vm, Object* package, std::string_view name, NativeFn call, Object** proto) {
    *proto = vm.GetHeap().New<Object>(vm.GetRealm().objectProto);
    vm.DefineClass(package, name, call, nullptr, *proto);
    return vm.Get(package, name).AsObject();
}

}  // namespace

void InstallColorAndGeom(Vm& vm) {
    Realm& realm = vm.GetRealm();
    NewClass(vm, realm.global, "Color", ColorCall, &realm.colorProto);
    vm.DefineMethod(realm.colorProto, "getRGB", ColorGetRgb);
    vm.DefineMethod(realm.colorProto, "setRGB", ColorSetRgb);
    vm.DefineMethod(realm.colorProto, "getTransform", ColorGetTransform);
    vm.DefineMethod(realm.colorProto, "setTransform", ColorSetTransform);

    Object* flash = vm.NewObject();
    vm.DefineValue(realm.global, "flash", Value::Obj(flash));
    Object* geom = vm.NewObject();
    vm.DefineValue(flash, "geom", Value::Obj(geom));

    Object* point = NewClass(vm, geom, "Point", PointCall, &realm.pointProto);
    Object* pp = realm.pointProto;
    vm.DefineMethod(pp, "toString", PointToString);
    vm.DefineMethod(pp, "add", PointAdd);
    vm.DefineMethod(pp, "subtract", PointSubtract);
    vm.DefineMethod(pp, "clone", PointClone);
    vm.DefineMethod(pp, "equals", PointEquals);
    vm.DefineMethod(pp, "normalize", PointNormalize);
    vm.DefineMethod(pp, "offset", PointOffset);
    DefineNativeAccessor(vm, pp, "length", PointLength, nullptr);
    if (point) {
        vm.DefineMethod(point, "distance", PointDistance);
        vm.DefineMethod(point, "interpolate", PointInterpolate);
        vm.DefineMethod(point, "polar", PointPolar);
    }

    NewClass(vm, geom, "Rectangle", RectangleCall, &realm.rectangleProto);
    Object* rp = realm.rectangleProto;
    vm.DefineMethod(rp, "toString", RectangleToString);
    vm.DefineMethod(rp, "clone", RectangleClone);
    vm.DefineMethod(rp, "isEmpty", RectangleIsEmpty);
    vm.DefineMethod(rp, "setEmpty", RectangleSetEmpty);
    vm.DefineMethod(rp, "contains", RectangleContains);
    vm.DefineMethod(rp, "containsPoint", RectangleContainsPoint);
    vm.DefineMethod(rp, "offset", RectangleOffset);
    vm.DefineMethod(rp, "inflate", RectangleInflate);
    vm.DefineMethod(rp, "equals", RectangleEquals);
    vm.DefineMethod(rp, "intersection", RectangleIntersection);
    vm.DefineMethod(rp, "intersects", RectangleIntersects);
    vm.DefineMethod(rp, "union", RectangleUnion);
    DefineNativeAccessor(vm, rp, "left", RectangleLeft, nullptr);
    DefineNativeAccessor(vm, rp, "top", RectangleTop, nullptr);
    DefineNativeAccessor(vm, rp, "right", RectangleRight, nullptr);
    DefineNativeAccessor(vm, rp, "bottom", RectangleBottom, nullptr);

    NewClass(vm, geom, "Matrix", MatrixCall, &realm.matrixProto);
    Object* mp = realm.matrixProto;
    vm.DefineMethod(mp, "toString", MatrixToString);
    vm.DefineMethod(mp, "clone", MatrixClone);
    vm.DefineMethod(mp, "concat", MatrixConcat);
    vm.DefineMethod(mp, "createBox", MatrixCreateBox);
    vm.DefineMethod(mp, "createGradientBox", MatrixCreateGradientBox);
    vm.DefineMethod(mp, "deltaTransformPoint", MatrixDeltaTransformPoint);
    vm.DefineMethod(mp, "identity", MatrixIdentity);
    vm.DefineMethod(mp, "invert", MatrixInvert);
    vm.DefineMethod(mp, "rotate", MatrixRotate);
    vm.DefineMethod(mp, "scale", MatrixScale);
    vm.DefineMethod(mp, "transformPoint", MatrixTransformPoint);
    vm.DefineMethod(mp, "translate", MatrixTranslate);

    NewClass(vm, geom, "ColorTransform", ColorTransformCall, &realm.colorTransformProto);
    Object* cp = realm.colorTransformProto;
    vm.DefineMethod(cp, "toString", ColorTransformToString);
    vm.DefineMethod(cp, "concat", ColorTransformConcat);
    DefineNativeAccessor(vm, cp, "rgb", ColorTransformGetRgb, ColorTransformSetRgb);

    NewClass(vm, geom, "Transform", TransformCall, &realm.transformProto);
    Object* tp = realm.transformProto;
    DefineNativeAccessor(vm, tp, "matrix", TransformGetMatrix, TransformSetMatrix);
    DefineNativeAccessor(vm, tp, "concatenatedMatrix", TransformGetConcatenatedMatrix, nullptr);
    DefineNativeAccessor(vm, tp, "colorTransform", TransformGetColor, TransformSetColor);
    DefineNativeAccessor(vm, tp, "concatenatedColorTransform", TransformGetConcatenatedColor, nullptr);
    DefineNativeAccessor(vm, tp, "pixelBounds", TransformGetPixelBounds, nullptr);

    if (realm.clipProto) {
        DefineNativeAccessor(vm, realm.clipProto, "transform", ClipGetTransform, ClipSetTransform);
        vm.DefineMethod(realm.clipProto, "getBounds", ClipGetBounds);
        vm.DefineMethod(realm.clipProto, "getRect", ClipGetBounds);
    }
}

}  // namespace player::script
