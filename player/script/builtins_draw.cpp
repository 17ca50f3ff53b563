// The MovieClip drawing methods: each call's arguments are read into a DrawCommand and handed to
// the clip, which keeps the drawing.
#include <algorithm>
#include <cmath>

#include "player/script/builtins.h"

namespace player::script {

namespace {

// Gradients take at most this many colours; extra ones are ignored.
constexpr std::uint32_t kMaxGradientStops = 15;

ClipHost* ThisClip(Vm& vm, const Value& self) {
    return vm.ClipOf(self.AsObject());
}

double Number(Vm& vm, std::span<const Value> args, std::size_t i, double fallback) {
    if (i >= args.size() || args[i].IsUndefined()) return fallback;
    return vm.ToNumber(args[i]);
}

void Send(Vm& vm, const Value& self, const DrawCommand& command) {
    if (ClipHost* clip = ThisClip(vm, self)) clip->Draw(command);
}

Value Point(Vm& vm, const Value& self, std::span<const Value> args, DrawCommand::Kind kind) {
    if (args.size() < 2) return Value();
    DrawCommand c;
    c.kind = kind;
    c.x = vm.ToNumber(args[0]);
    c.y = vm.ToNumber(args[1]);
    Send(vm, self, c);
    return Value();
}

Value MoveTo(Vm& vm, const Value& self, std::span<const Value> args) {
    return Point(vm, self, args, DrawCommand::Kind::kMoveTo);
}

Value LineTo(Vm& vm, const Value& self, std::span<const Value> args) {
    return Point(vm, self, args, DrawCommand::Kind::kLineTo);
}

// curveTo(controlX, controlY, anchorX, anchorY)
Value CurveTo(Vm& vm, const Value& self, std::span<const Value> args) {
    if (args.size() < 4) return Value();
    DrawCommand c;
    c.kind = DrawCommand::Kind::kCurveTo;
    c.controlX = vm.ToNumber(args[0]);
    c.controlY = vm.ToNumber(args[1]);
    c.x = vm.ToNumber(args[2]);
    c.y = vm.ToNumber(args[3]);
    Send(vm, self, c);
    return Value();
}

// beginFill(rgb [, alpha]); without a colour the clip stops filling.
Value BeginFill(Vm& vm, const Value& self, std::span<const Value> args) {
    DrawCommand c;
    c.kind = DrawCommand::Kind::kBeginFill;
    c.none = args.empty() || args[0].IsUndefined();
    if (!c.none) c.rgb = vm.ToUint32(args[0]);
    c.alpha = Number(vm, args, 1, 100);
    Send(vm, self, c);
    return Value();
}

// lineStyle(thickness, rgb, alpha, pixelHinting, noScale, capsStyle, jointStyle, miterLimit);
// without a thickness the clip stops drawing lines.
Value LineStyle(Vm& vm, const Value& self, std::span<const Value> args) {
    DrawCommand c;
    c.kind = DrawCommand::Kind::kLineStyle;
    c.thickness = Number(vm, args, 0, NAN);
    c.none = std::isnan(c.thickness);
    c.rgb = args.size() > 1 ? vm.ToUint32(args[1]) : 0;
    c.alpha = Number(vm, args, 2, 100);
    c.pixelHinting = args.size() > 3 && vm.ToBoolean(args[3]);
    if (args.size() > 4 && !args[4].IsUndefined()) {
        const std::string scale = vm.ToString(args[4]);
        c.noHScale = scale == "none" || scale == "horizontal";
        c.noVScale = scale == "none" || scale == "vertical";
    }
    if (args.size() > 5 && !args[5].IsUndefined()) {
        const std::string caps = vm.ToString(args[5]);
        if (caps == "none") c.cap = DrawCommand::Cap::kNone;
        if (caps == "square") c.cap = DrawCommand::Cap::kSquare;
    }
    if (args.size() > 6 && !args[6].IsUndefined()) {
        const std::string joint = vm.ToString(args[6]);
        if (joint == "miter") c.join = DrawCommand::Join::kMiter;
        if (joint == "bevel") c.join = DrawCommand::Join::kBevel;
    }
    c.miterLimit = Number(vm, args, 7, 3);
    Send(vm, self, c);
    return Value();
}

// An array argument's first `count` elements.
std::vector<Value> Elements(Vm& vm, const Value& array, std::uint32_t count) {
    std::vector<Value> out;
    Object* o = array.AsObject();
    if (!o) return out;
    for (std::uint32_t i = 0; i < count; ++i) out.push_back(vm.Get(o, std::to_string(i)));
    return out;
}

std::uint32_t Length(Vm& vm, const Value& array) {
    Object* o = array.AsObject();
    if (!o) return 0;
    const double n = vm.ToNumber(vm.Get(o, "length"));
    return std::isfinite(n) && n > 0 ? static_cast<std::uint32_t>(std::min<double>(n, 1u << 30))
                                     : 0;
}

// A gradient's matrix: {a, b, c, d, tx, ty}, or {matrixType: "box", x, y, w, h, r}, which
// fits the gradient to a box turned by r radians about its centre.
void ReadGradientMatrix(Vm& vm, const Value& value, double out[6]) {
    Object* m = value.AsObject();
    if (!m) return;
    auto field = [&](const char* name) { return vm.ToNumber(vm.Get(m, name)); };
    if (vm.ToString(vm.Get(m, "matrixType")) == "box") {
        const double x = field("x"), y = field("y"), w = field("w"), h = field("h"), r = field("r");
        constexpr double kGradientSize = 1638.4;  // pixels
        out[0] = std::cos(r) * w / kGradientSize;
        out[1] = std::sin(r) * w / kGradientSize;
        out[2] = -std::sin(r) * h / kGradientSize;
        out[3] = std::cos(r) * h / kGradientSize;
        out[4] = x + w / 2;
        out[5] = y + h / 2;
        return;
    }
    const char* names[6] = {"a", "b", "c", "d", "tx", "ty"};
    for (int i = 0; i < 6; ++i) out[i] = field(names[i]);
}

// (type, colors, alphas, ratios, matrix [, spread, interpolation, focal]); false when the
// arguments describe no gradient.
bool ReadGradient(Vm& vm, std::span<const Value> args, DrawCommand& c) {
    if (args.size() < 5) return false;
    const std::string type = vm.ToString(args[0]);
    if (type == "linear") {
        c.gradient = DrawCommand::Gradient::kLinear;
    } else if (type == "radial") {
        c.gradient = DrawCommand::Gradient::kRadial;
    } else {
        return false;
    }
    const std::uint32_t count = Length(vm, args[1]);
    if (count == 0 || count != Length(vm, args[2]) || count != Length(vm, args[3])) return false;
    const std::uint32_t kept = std::min(count, kMaxGradientStops);
    const std::vector<Value> colors = Elements(vm, args[1], kept);
    const std::vector<Value> alphas = Elements(vm, args[2], kept);
    const std::vector<Value> ratios = Elements(vm, args[3], kept);
    for (std::uint32_t i = 0; i < kept; ++i) {
        DrawCommand::Stop stop;
        stop.rgb = vm.ToUint32(colors[i]);
        stop.alpha = vm.ToNumber(alphas[i]);
        stop.ratio = vm.ToNumber(ratios[i]);
        c.stops.push_back(stop);
    }
    ReadGradientMatrix(vm, args[4], c.matrix);
    if (args.size() > 5 && !args[5].IsUndefined()) {
        const std::string spread = vm.ToString(args[5]);
        c.spread = spread == "reflect" ? 1 : spread == "repeat" ? 2 : 0;
    }
    if (args.size() > 6 && !args[6].IsUndefined())
        c.interpolation = vm.ToString(args[6]) == "linearRGB" ? 1 : 0;
    c.focal = Number(vm, args, 7, 0);
    return true;
}

Value BeginGradientFill(Vm& vm, const Value& self, std::span<const Value> args) {
    DrawCommand c;
    c.kind = DrawCommand::Kind::kBeginGradientFill;
    c.none = !ReadGradient(vm, args, c);
    Send(vm, self, c);
    return Value();
}

// beginBitmapFill(bitmap [, matrix, repeat, smoothing]): the bitmap's pixels tiled (or their
// edges stretched) through the matrix; anything that is not a live bitmap stops filling.
Value BeginBitmapFill(Vm& vm, const Value& self, std::span<const Value> args) {
    DrawCommand c;
    c.kind = DrawCommand::Kind::kBeginBitmapFill;
    c.bitmap = BitmapPixels(Arg(args, 0));
    c.none = !c.bitmap;
    if (args.size() > 1 && args[1].AsObject()) {
        Object* m = args[1].AsObject();
        const char* names[6] = {"a", "b", "c", "d", "tx", "ty"};
        for (int i = 0; i < 6; ++i) c.matrix[i] = vm.ToNumber(vm.Get(m, names[i]));
    }
    c.repeat = args.size() > 2 && !args[2].IsUndefined() ? vm.ToBoolean(args[2]) : true;
    c.smooth = args.size() > 3 && !args[3].IsUndefined() ? vm.ToBoolean(args[3]) : false;
    Send(vm, self, c);
    return Value();
}

Value LineGradientStyle(Vm& vm, const Value& self, std::span<const Value> args) {
    DrawCommand c;
    c.kind = DrawCommand::Kind::kLineGradientStyle;
    if (ReadGradient(vm, args, c)) Send(vm, self, c);
    return Value();
}

Value EndFill(Vm& vm, const Value& self, std::span<const Value>) {
    DrawCommand c;
    c.kind = DrawCommand::Kind::kEndFill;
    Send(vm, self, c);
    return Value();
}

Value Clear(Vm& vm, const Value& self, std::span<const Value>) {
    DrawCommand c;
    c.kind = DrawCommand::Kind::kClear;
    Send(vm, self, c);
    return Value();
}

}  // namespace

void InstallDrawing(Vm& vm) {
    Object* mp = vm.GetRealm().clipProto;
    vm.DefineMethod(mp, "moveTo", MoveTo);
    vm.DefineMethod(mp, "lineTo", LineTo);
    vm.DefineMethod(mp, "curveTo", CurveTo);
    vm.DefineMethod(mp, "beginFill", BeginFill);
    vm.DefineMethod(mp, "beginGradientFill", BeginGradientFill);
    vm.DefineMethod(mp, "beginBitmapFill", BeginBitmapFill, kDontEnum | kVersion8);
    vm.DefineMethod(mp, "lineStyle", LineStyle);
    vm.DefineMethod(mp, "lineGradientStyle", LineGradientStyle);
    vm.DefineMethod(mp, "endFill", EndFill);
    vm.DefineMethod(mp, "clear", Clear);
}

}  // namespace player::script
