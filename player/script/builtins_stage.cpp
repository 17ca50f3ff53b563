// Stage, Key, Mouse and Selection: the player's window and its input as scripts see them. The
// converter has no window and no user, so by default nothing is held, the pointer rests at the
// stage's origin and the stage keeps the movie's size; keys and the pointer come from the
// host's input, which tells the listeners as events happen.
#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cmath>
#include <string>

#include "player/script/builtins.h"
#include "player/script/function.h"

namespace player::script {

namespace {

// An input object with state of its own: the focus Selection holds, whether Mouse shows the
// pointer, how Stage scales and lines up the movie.
class PlayerObject final : public Object {
  public:
    explicit PlayerObject(Object* proto) : Object(proto, ObjectKind::kNative) {}
    Value focus;  // Selection: the focused clip or field, or null
    std::string focusPath;  // the focused object's target path when it took the focus
    // Selection in the focused text field, -1 when none was made.
    int selectionBegin = -1, selectionEnd = -1, caret = -1;
    bool pointerShown = true;
    std::string scaleMode = "showAll";
    std::string align;
    bool fullScreen = false;
    bool showMenu = true;

    void Trace(Marker& marker) const override {
        Object::Trace(marker);
        focus.Mark(marker);
    }
    std::size_t Size() const override { return Object::Size() + sizeof(*this) - sizeof(Object); }
};

PlayerObject* Player(const Value& self) {
    Object* o = self.AsObject();
    return o && o->Kind() == ObjectKind::kNative ? dynamic_cast<PlayerObject*>(o) : nullptr;
}

PlayerObject* NewPlayerObject(Vm& vm, std::string_view name) {
    auto* o = vm.GetHeap().New<PlayerObject>(vm.GetRealm().objectProto);
    MakeBroadcaster(vm, o);
    vm.DefineValue(vm.GetRealm().global, name, Value::Obj(o));
    return o;
}

bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// ---- Stage ----------------------------------------------------------------------------------

double StageDimension(Vm& vm, bool height) {
    double w = 0, h = 0;
    if (!vm.GetHost().StageSize(&w, &h)) return 0;
    return height ? h : w;
}

Value StageWidth(Vm& vm, const Value&, std::span<const Value>) {
    return Value::Number(StageDimension(vm, false));
}

Value StageHeight(Vm& vm, const Value&, std::span<const Value>) {
    return Value::Number(StageDimension(vm, true));
}

Value StageGetScaleMode(Vm& vm, const Value& self, std::span<const Value>) {
    PlayerObject* stage = Player(self);
    return stage ? vm.Str(stage->scaleMode) : Value();
}

Value StageSetScaleMode(Vm& vm, const Value& self, std::span<const Value> args) {
    PlayerObject* stage = Player(self);
    if (!stage) return Value();
    const std::string mode = vm.ToString(Arg(args, 0));
    for (std::string_view known : {"showAll", "noBorder", "exactFit", "noScale"}) {
        if (SameText(mode, known)) stage->scaleMode = std::string(known);
    }
    return Value();
}

// Alignment is kept as the letters given, vertical before horizontal: "T", "BR", "L".
Value StageGetAlign(Vm& vm, const Value& self, std::span<const Value>) {
    PlayerObject* stage = Player(self);
    return stage ? vm.Str(stage->align) : Value();
}

Value StageSetAlign(Vm& vm, const Value& self, std::span<const Value> args) {
    PlayerObject* stage = Player(self);
    if (!stage) return Value();
    const std::string given = vm.ToString(Arg(args, 0));
    bool has[4] = {};  // T B L R
    for (char c : given) {
        switch (std::toupper(static_cast<unsigned char>(c))) {
            case 'T': has[0] = true; break;
            case 'B': has[1] = true; break;
            case 'L': has[2] = true; break;
            case 'R': has[3] = true; break;
            default: break;
        }
    }
    stage->align.clear();
    const char letters[4] = {'T', 'B', 'L', 'R'};
    for (int i = 0; i < 4; ++i) {
        if (has[i]) stage->align += letters[i];
    }
    return Value();
}

Value StageGetShowMenu(Vm&, const Value& self, std::span<const Value>) {
    PlayerObject* stage = Player(self);
    return stage ? Value::Boolean(stage->showMenu) : Value();
}

Value StageSetShowMenu(Vm& vm, const Value& self, std::span<const Value> args) {
    if (PlayerObject* stage = Player(self)) stage->showMenu = vm.ToBoolean(Arg(args, 0));
    return Value();
}

Value StageGetDisplayState(Vm& vm, const Value& self, std::span<const Value>) {
    PlayerObject* stage = Player(self);
    if (!stage) return Value();
    return vm.Str(stage->fullScreen ? "fullScreen" : "normal");
}

// The converter has no screen to fill, but a movie that asks for full screen is told it got
// it, as its listeners expect.
Value StageSetDisplayState(Vm& vm, const Value& self, std::span<const Value> args) {
    PlayerObject* stage = Player(self);
    if (!stage) return Value();
    const std::string state = vm.ToString(Arg(args, 0));
    bool full;
    if (SameText(state, "fullScreen")) {
        full = true;
    } else if (SameText(state, "normal")) {
        full = false;
    } else {
        return Value();
    }
    if (full == stage->fullScreen) return Value();
    stage->fullScreen = full;
    const Value event[1] = {Value::Boolean(full)};
    BroadcastInput(vm, "Stage", "onFullScreen", event);
    return Value();
}

// ---- Key ------------------------------------------------------------------------------------

Value KeyIsDown(Vm& vm, const Value&, std::span<const Value> args) {
    const double code = vm.ToNumber(Arg(args, 0));
    if (!(code >= 0 && code < 256)) return Value::Boolean(false);
    return Value::Boolean(vm.GetHost().KeyIsDown(static_cast<int>(code)));
}

// Caps Lock and Num Lock are never on: scripted keys press and release, nothing toggles.
Value KeyIsToggled(Vm&, const Value&, std::span<const Value>) { return Value::Boolean(false); }

Value KeyGetCode(Vm& vm, const Value&, std::span<const Value>) {
    return Value::Number(vm.GetHost().LastKeyCode());
}

Value KeyGetAscii(Vm& vm, const Value&, std::span<const Value>) {
    return Value::Number(vm.GetHost().LastKeyAscii());
}

Value KeyIsAccessible(Vm&, const Value&, std::span<const Value>) { return Value::Boolean(false); }

// ---- Mouse ----------------------------------------------------------------------------------

// show() answers 1 or 0 for whether the pointer was showing; hide() answers it as a boolean.
Value MouseShow(Vm&, const Value& self, std::span<const Value>) {
    PlayerObject* mouse = Player(self);
    if (!mouse) return Value();
    const bool was = mouse->pointerShown;
    mouse->pointerShown = true;
    return Value::Number(was ? 1 : 0);
}

Value MouseHide(Vm&, const Value& self, std::span<const Value>) {
    PlayerObject* mouse = Player(self);
    if (!mouse) return Value();
    const bool was = mouse->pointerShown;
    mouse->pointerShown = false;
    return Value::Boolean(was);
}

// ---- Selection ------------------------------------------------------------------------------

// Whether a clip has a handler that makes it act as a button.
bool ActsAsButton(Vm& vm, Object* clip) {
    static constexpr std::string_view kHandlers[] = {"onPress",   "onRelease", "onReleaseOutside",
                                                     "onRollOver", "onRollOut", "onDragOver",
                                                     "onDragOut"};
    for (std::string_view name : kHandlers) {
        const Value handler = vm.Get(clip, name);
        if (handler.AsObject() && handler.AsObject()->Kind() == ObjectKind::kFunction) return true;
    }
    return false;
}

// What can hold the focus: a text field, a button, or a clip that allows it or acts as a
// button, still on the display.
bool Focusable(Vm& vm, Object* o) {
    if (!o) return false;
    if (vm.TextOf(o)) return true;
    ClipHost* clip = vm.ClipOf(o);
    return clip && (clip->IsButton() || vm.ToBoolean(vm.Get(o, "focusEnabled")) ||
                    ActsAsButton(vm, o));
}

// The held focus, if it is still on the display: a clip that left it, or a field whose clip
// left it (kept a while for its unload handlers), holds it no more.
Object* Focused(Vm& vm, PlayerObject* selection) {
    Object* o = selection->focus.AsObject();
    if (!o) return nullptr;
    if (TextHost* field = vm.TextOf(o)) {
        const ClipObject* parent = field->Parent() ? vm.ExistingClip(field->Parent()) : nullptr;
        return parent && parent->Gone() ? nullptr : o;
    }
    if (o->Kind() == ObjectKind::kClip && static_cast<const ClipObject*>(o)->Gone()) return nullptr;
    return vm.ClipOf(o) ? o : nullptr;
}

std::string TargetOf(Vm& vm, Object* o) {
    if (ClipHost* clip = vm.ClipOf(o)) return vm.TargetPath(clip);
    if (TextHost* field = vm.TextOf(o)) {
        std::string path = field->Parent() ? vm.TargetPath(field->Parent()) : std::string();
        return path + "." + field->Name();
    }
    return {};
}

// Focus held by something that has since left the display is lost, and listeners hear so.
void DropRemovedFocus(Vm& vm, PlayerObject* selection) {
    Object* held = selection->focus.AsObject();
    if (!held || Focused(vm, selection)) return;
    // A clip that left the display no longer knows its path: listeners get the one it had.
    const Value event[2] = {vm.Str(selection->focusPath), Value::Null()};
    selection->focus = Value::Null();
    selection->selectionBegin = selection->selectionEnd = selection->caret = -1;
    BroadcastInput(vm, "Selection", "onSetFocus", event);
}

Value SelectionGetFocus(Vm& vm, const Value& self, std::span<const Value>) {
    PlayerObject* selection = Player(self);
    if (!selection) return Value();
    DropRemovedFocus(vm, selection);
    Object* focused = Focused(vm, selection);
    if (!focused) return Value::Null();
    return vm.Str(TargetOf(vm, focused));
}

Value SelectionSetFocus(Vm& vm, const Value& self, std::span<const Value> args) {
    PlayerObject* selection = Player(self);
    if (!selection) return Value();
    const Value target = Arg(args, 0);
    Object* next = nullptr;
    if (target.IsNull() || target.IsUndefined()) {
        next = nullptr;
    } else if (target.IsBoolean()) {
        return Value::Boolean(false);
    } else if (target.IsString()) {
        ClipHost* root = vm.GetHost().Level(0);
        next = root ? vm.ResolvePath(target.Text(), vm.ClipFor(root)) : nullptr;
        if (!Focusable(vm, next)) return Value::Boolean(false);
    } else {
        next = target.AsObject();
        if (!Focusable(vm, next)) return Value::Boolean(false);
    }
    DropRemovedFocus(vm, selection);
    // A field given the focus has all of its text selected, also when it had the focus.
    if (TextHost* field = vm.TextOf(next)) {
        const std::size_t length = vm.StringLength(vm.ToString(vm.Get(next, "text")));
        field->Select(0, int(std::min<std::size_t>(length, INT_MAX)));
    }
    Object* previous = Focused(vm, selection);
    if (previous == next) return Value::Boolean(true);
    selection->focus = next ? Value::Obj(next) : Value::Null();
    selection->focusPath = next ? TargetOf(vm, next) : std::string();
    selection->selectionBegin = selection->selectionEnd = selection->caret = -1;
    const Value oldValue = previous ? Value::Obj(previous) : Value::Null();
    const Value newValue = next ? Value::Obj(next) : Value::Null();
    if (previous) {
        const Value a[1] = {newValue};
        const Value handler = vm.GetMember(oldValue, "onKillFocus");
        if (handler.IsObject()) vm.Call(handler, oldValue, a);
    }
    if (next) {
        const Value a[1] = {oldValue};
        const Value handler = vm.GetMember(newValue, "onSetFocus");
        if (handler.IsObject()) vm.Call(handler, newValue, a);
    }
    const Value event[2] = {oldValue, newValue};
    BroadcastInput(vm, "Selection", "onSetFocus", event);
    return Value::Boolean(true);
}

// Nothing is selected until a script selects part of the focused text field.
Value SelectionBegin(Vm&, const Value& self, std::span<const Value>) {
    PlayerObject* selection = Player(self);
    return selection ? Value::Number(selection->selectionBegin) : Value();
}

Value SelectionEnd(Vm&, const Value& self, std::span<const Value>) {
    PlayerObject* selection = Player(self);
    return selection ? Value::Number(selection->selectionEnd) : Value();
}

Value SelectionCaret(Vm&, const Value& self, std::span<const Value>) {
    PlayerObject* selection = Player(self);
    return selection ? Value::Number(selection->caret) : Value();
}

// setSelection(from [, to]): the range between them, within the text; the caret goes to `to`
// (the end of the text when it is left out).
Value SelectionSetSelection(Vm& vm, const Value& self, std::span<const Value> args) {
    PlayerObject* selection = Player(self);
    Object* field = selection ? Focused(vm, selection) : nullptr;
    if (!field || !vm.TextOf(field) || args.empty()) return Value();
    const double length =
        static_cast<double>(vm.StringLength(vm.ToString(vm.Get(field, "text"))));
    auto place = [length](double v) {
        return static_cast<int>(std::clamp(std::isfinite(v) ? std::trunc(v) : 0.0, 0.0, length));
    };
    const int from = place(vm.ToNumber(args[0]));
    const int to = args.size() > 1 ? place(vm.ToNumber(args[1])) : static_cast<int>(length);
    selection->selectionBegin = std::min(from, to);
    selection->selectionEnd = std::max(from, to);
    selection->caret = to;
    vm.TextOf(field)->Select(selection->selectionBegin, selection->selectionEnd);
    return Value();
}

struct KeyCode {
    const char* name;
    int code;
};

constexpr std::array<KeyCode, 19> kKeyCodes = {{
    {"ALT", 18},    {"BACKSPACE", 8}, {"CAPSLOCK", 20}, {"CONTROL", 17}, {"DELETEKEY", 46},
    {"DOWN", 40},   {"END", 35},      {"ENTER", 13},    {"ESCAPE", 27},  {"HOME", 36},
    {"INSERT", 45}, {"LEFT", 37},     {"PGDN", 34},     {"PGUP", 33},    {"RIGHT", 39},
    {"SHIFT", 16},  {"SPACE", 32},    {"TAB", 9},       {"UP", 38},
}};

}  // namespace

void BroadcastInput(Vm& vm, std::string_view source, std::string_view event,
                    std::span<const Value> args) {
    const Value target = vm.Get(vm.GetRealm().global, source);
    if (!target.IsObject()) return;
    std::vector<Value> message;
    message.reserve(args.size() + 1);
    message.push_back(vm.Str(std::string(event)));
    message.insert(message.end(), args.begin(), args.end());
    vm.CallMethod(target, "broadcastMessage", message);
}

void InstallStageAndInput(Vm& vm) {
    PlayerObject* stage = NewPlayerObject(vm, "Stage");
    DefineNativeAccessor(vm, stage, "width", StageWidth, nullptr);
    DefineNativeAccessor(vm, stage, "height", StageHeight, nullptr);
    DefineNativeAccessor(vm, stage, "scaleMode", StageGetScaleMode, StageSetScaleMode);
    DefineNativeAccessor(vm, stage, "align", StageGetAlign, StageSetAlign);
    DefineNativeAccessor(vm, stage, "showMenu", StageGetShowMenu, StageSetShowMenu);
    DefineNativeAccessor(vm, stage, "displayState", StageGetDisplayState, StageSetDisplayState);

    Object* key = vm.Get(vm.GetRealm().global, "Key").AsObject();
    if (!key) {
        key = vm.NewObject();
        MakeBroadcaster(vm, key);
        vm.DefineValue(vm.GetRealm().global, "Key", Value::Obj(key));
    }
    for (const KeyCode& k : kKeyCodes) {
        vm.DefineValue(key, k.name, Value::Number(k.code), kDontEnum | kDontDelete | kReadOnly);
    }
    vm.DefineMethod(key, "isDown", KeyIsDown);
    vm.DefineMethod(key, "isToggled", KeyIsToggled);
    vm.DefineMethod(key, "getCode", KeyGetCode);
    vm.DefineMethod(key, "getAscii", KeyGetAscii);
    vm.DefineMethod(key, "isAccessible", KeyIsAccessible);

    PlayerObject* mouse = NewPlayerObject(vm, "Mouse");
    vm.DefineMethod(mouse, "show", MouseShow);
    vm.DefineMethod(mouse, "hide", MouseHide);

    PlayerObject* selection = NewPlayerObject(vm, "Selection");
    selection->focus = Value::Null();
    vm.DefineMethod(selection, "getFocus", SelectionGetFocus);
    vm.DefineMethod(selection, "setFocus", SelectionSetFocus);
    vm.DefineMethod(selection, "getBeginIndex", SelectionBegin);
    vm.DefineMethod(selection, "getEndIndex", SelectionEnd);
    vm.DefineMethod(selection, "getCaretIndex", SelectionCaret);
    vm.DefineMethod(selection, "setSelection", SelectionSetSelection);
}

}  // namespace player::script
