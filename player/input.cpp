// A user's pointer and keys as a movie hears of them: clip events (mouseDown, keyUp, ...) for
// every clip, the Mouse and Key listeners, and for the button or clip under the pointer its
// transitions: the state a button shows, its actions, and the onPress/onRelease/... handlers.
#include <algorithm>
#include <cctype>
#include <cmath>

#include "player/timeline.h"

namespace player {

namespace {

// The names of a clip's own pointer handlers; a clip with any of them takes the pointer.
constexpr std::string_view kPointerHandlers[] = {"onPress",    "onRelease",  "onReleaseOutside",
                                                 "onRollOver", "onRollOut",  "onDragOver",
                                                 "onDragOut"};
constexpr std::uint32_t kPointerClipEvents = kClipPress | kClipRelease | kClipReleaseOutside |
                                             kClipRollOver | kClipRollOut | kClipDragOver |
                                             kClipDragOut;

// The code a key-press condition (of a button, or a clip's keyPress event) names a key by:
// the arrows and editing keys have small codes of their own, others their character.
int KeyPressCode(int keyCode, int ascii) {
    switch (keyCode) {
        case 37: return 1;   // left
        case 39: return 2;   // right
        case 36: return 3;   // home
        case 35: return 4;   // end
        case 45: return 5;   // insert
        case 46: return 6;   // delete
        case 8: return 8;    // backspace
        case 13: return 13;  // enter
        case 38: return 14;  // up
        case 40: return 15;  // down
        case 33: return 16;  // page up
        case 34: return 17;  // page down
        case 9: return 18;   // tab
        case 27: return 19;  // escape
        default: return ascii >= 32 && ascii < 127 ? ascii : 0;
    }
}

}  // namespace

void AddClick(std::vector<ScriptedInput>& input, long tick, double x, double y) {
    for (const auto kind :
         {InputEvent::Kind::kMove, InputEvent::Kind::kPress, InputEvent::Kind::kRelease}) {
        ScriptedInput in;
        in.tick = tick;
        in.event.kind = kind;
        in.event.x = x;
        in.event.y = y;
        input.push_back(in);
    }
}

void AddKeyPress(std::vector<ScriptedInput>& input, long tick, int keyCode, int ascii) {
    ScriptedInput down;
    down.tick = tick;
    down.event.kind = InputEvent::Kind::kKeyDown;
    down.event.keyCode = keyCode;
    down.event.ascii = ascii;
    ScriptedInput up = down;
    up.event.kind = InputEvent::Kind::kKeyUp;
    up.afterTick = true;
    input.push_back(down);
    input.push_back(up);
}

bool KeyByName(std::string_view name, int* keyCode, int* ascii) {
    std::string lower;
    for (char c : name) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower.size() == 1 && std::isalnum(static_cast<unsigned char>(lower[0]))) {
        const char c = lower[0];
        *keyCode = std::isdigit(static_cast<unsigned char>(c)) ? c : std::toupper(c);
        *ascii = c;
        return true;
    }
    static constexpr struct {
        const char* name;
        int code, ascii;
    } kNamed[] = {{"space", 32, 32},  {"enter", 13, 13},   {"return", 13, 13}, {"escape", 27, 27},
                  {"esc", 27, 27},    {"tab", 9, 9},       {"backspace", 8, 8}, {"delete", 46, 127},
                  {"insert", 45, 0},  {"home", 36, 0},     {"end", 35, 0},     {"pageup", 33, 0},
                  {"pagedown", 34, 0}, {"left", 37, 0},    {"right", 39, 0},   {"up", 38, 0},
                  {"down", 40, 0},    {"shift", 16, 0},    {"control", 17, 0}, {"ctrl", 17, 0}};
    for (const auto& k : kNamed) {
        if (lower == k.name) {
            *keyCode = k.code;
            *ascii = k.ascii;
            return true;
        }
    }
    if (lower.size() >= 2 && lower.size() <= 3 && lower[0] == 'f') {
        int n = 0;
        for (std::size_t i = 1; i < lower.size(); ++i) {
            if (!std::isdigit(static_cast<unsigned char>(lower[i]))) return false;
            n = n * 10 + (lower[i] - '0');
        }
        if (n < 1 || n > 12) return false;
        *keyCode = 111 + n;
        *ascii = 0;
        return true;
    }
    return false;
}

void MovieState::QueueInput(const InputEvent& event) {
    if (pendingInput_.size() < Caps().maxPendingInputs) pendingInput_.push_back(event);
}

void MovieState::ScriptedInputAt(long tick, bool afterTick) {
    std::size_t taken = 0;
    for (const ScriptedInput& in : settings_.input) {
        if (++taken > Caps().maxScriptedInputs) break;
        if (in.tick == tick && in.afterTick == afterTick) Input(in.event);
    }
}

void MovieState::Input(const InputEvent& event) {
    if (!root_ || vm_->Stopped()) return;
    // Between ticks, input has budgets of its own.
    if (workLeft_ <= 0) workLeft_ = Caps().maxTimelineWorkPerTick;
    if (shapeHitWorkLeft_ <= 0) shapeHitWorkLeft_ = Caps().maxShapeHitWorkPerTick;
    DispatchInput(event);
    RunActions();
    SyncTextFields(*root_);
}

void MovieState::DispatchInput(const InputEvent& event) {
    using Kind = InputEvent::Kind;
    switch (event.kind) {
        case Kind::kMove:
            if (!std::isfinite(event.x) || !std::isfinite(event.y)) return;
            pointerX_ = event.x;
            pointerY_ = event.y;
            FollowPointer();
            QueueEverywhere(kClipMouseMove, 0);
            Broadcast("Mouse", "onMouseMove");
            UpdateHover();
            return;
        case Kind::kPress: {
            if (std::isfinite(event.x) && std::isfinite(event.y) &&
                (event.x != pointerX_ || event.y != pointerY_)) {
                InputEvent move = event;
                move.kind = Kind::kMove;
                DispatchInput(move);
            }
            if (pointerDown_) return;
            pointerDown_ = true;
            QueueEverywhere(kClipMouseDown, 0);
            Broadcast("Mouse", "onMouseDown");
            UpdateHover();
            if (auto over = hovered_.lock()) {
                pressed_ = over;
                Transition(over, kButtonOverUpToOverDown, ButtonState::kDown, "onPress",
                           kClipPress);
            }
            return;
        }
        case Kind::kRelease: {
            if (!pointerDown_) return;
            pointerDown_ = false;
            QueueEverywhere(kClipMouseUp, 0);
            Broadcast("Mouse", "onMouseUp");
            auto pressed = pressed_.lock();
            pressed_.reset();
            if (!pressed) return UpdateHover();
            if (pressed == hovered_.lock())
                Transition(pressed, kButtonOverDownToOverUp, ButtonState::kOver, "onRelease",
                           kClipRelease);
            else
                Transition(pressed, kButtonOutDownToIdle, ButtonState::kUp, "onReleaseOutside",
                           kClipReleaseOutside);
            return;
        }
        case Kind::kKeyDown: {
            if (event.keyCode <= 0 || event.keyCode >= 256) return;
            keysDown_[event.keyCode] = true;
            lastKeyCode_ = event.keyCode;
            lastKeyAscii_ = std::clamp(event.ascii, 0, 0xFFFF);
            const int pressCode = KeyPressCode(event.keyCode, event.ascii);
            QueueEverywhere(kClipKeyDown, 0);
            if (pressCode) QueueEverywhere(kClipKeyPress, pressCode);
            Broadcast("Key", "onKeyDown");
            if (pressCode) QueueButtonKeys(*root_, pressCode, 0);
            return;
        }
        case Kind::kKeyUp:
            if (event.keyCode <= 0 || event.keyCode >= 256) return;
            keysDown_[event.keyCode] = false;
            QueueEverywhere(kClipKeyUp, 0);
            Broadcast("Key", "onKeyUp");
            return;
    }
}

bool MovieState::KeyIsDown(int code) { return code > 0 && code < 256 && keysDown_[code]; }

void MovieState::QueueEverywhere(std::uint32_t clipEvent, int keyPressCode) {
    std::vector<std::weak_ptr<SpriteInstance>> clips;
    CollectPostOrder(root_, clips);
    for (const auto& weak : clips) {
        auto clip = weak.lock();
        if (!clip || !clip->clipActions) continue;
        for (const ClipAction& handler : *clip->clipActions) {
            if (!(handler.events & clipEvent)) continue;
            if (clipEvent == kClipKeyPress && handler.keyCode != keyPressCode) continue;
            queue_.emplace_back(clip, &handler.actions);
        }
    }
}

void MovieState::QueueButtonKeys(SpriteInstance& s, int keyPressCode, int nesting) {
    if (nesting > Caps().maxNestingDepth) return;
    for (auto& [depth, object] : s.displayList) {
        SpriteInstance* child = object.sprite.get();
        if (!child) continue;
        if (child->button) {
            for (const ButtonAction& action : child->button->actions)
                if (action.keyCode == keyPressCode)
                    queue_.emplace_back(s.weak_from_this(), &action.actions);
        }
        QueueButtonKeys(*child, keyPressCode, nesting + 1);
    }
}

void MovieState::Broadcast(std::string_view source, std::string_view message) {
    if (vm_->Stopped()) return;
    const script::Value object = vm_->Get(vm_->GetRealm().global, source);
    if (!object.AsObject()) return;
    const script::Value broadcast = vm_->Get(object.AsObject(), "broadcastMessage");
    if (!broadcast.AsObject() || broadcast.AsObject()->Kind() != script::ObjectKind::kFunction)
        return;
    const script::Value args[] = {vm_->Str(std::string(message))};
    vm_->CallFromHost(broadcast, object, args);
}

bool MovieState::Interactive(SpriteInstance& s) {
    if (s.button) return true;
    if (s.clipActions) {
        for (const ClipAction& handler : *s.clipActions)
            if (handler.events & kPointerClipEvents) return true;
    }
    script::Object* object = vm_->ExistingClip(&s);
    if (!object) return false;
    if (vm_->Get(object, "enabled").IsBoolean() && !vm_->ToBoolean(vm_->Get(object, "enabled")))
        return false;
    for (std::string_view name : kPointerHandlers) {
        const script::Value handler = vm_->Get(object, name);
        if (handler.AsObject() && handler.AsObject()->Kind() == script::ObjectKind::kFunction)
            return true;
    }
    return false;
}

std::shared_ptr<SpriteInstance> MovieState::ClipAt(SpriteInstance& s, double x, double y,
                                                   const SpriteInstance* skip, int nesting) {
    if (nesting > Caps().maxNestingDepth) return nullptr;
    // Top first: the highest depth is drawn last.
    for (auto it = s.displayList.rbegin(); it != s.displayList.rend(); ++it) {
        const DisplayObject& object = it->second;
        SpriteInstance* child = object.sprite.get();
        if (!child || child == skip || (object.visible && *object.visible == 0)) continue;
        if (skip) {
            // Any clip will do (a drop target): the deepest one under the point.
            if (auto inner = ClipAt(*child, x, y, skip, nesting + 1)) return inner;
            if (!child->button && child->HitsStagePoint(x, y)) return object.sprite;
            continue;
        }
        if (Interactive(*child)) {
            if (child->HitsStagePoint(x, y)) return object.sprite;
            continue;
        }
        if (auto inner = ClipAt(*child, x, y, skip, nesting + 1)) return inner;
    }
    return nullptr;
}

std::shared_ptr<SpriteInstance> MovieState::MouseTargetAt(double x, double y) {
    return ClipAt(*root_, x, y, nullptr, 0);
}

void MovieState::UpdateHover() {
    auto target = MouseTargetAt(pointerX_, pointerY_);
    auto old = hovered_.lock();
    if (target == old) return;
    auto pressed = pressed_.lock();
    // Held down after a press on nothing: nothing hears of the pointer until it is released.
    if (pointerDown_ && !pressed) return;
    hovered_ = target;
    if (!pointerDown_) {
        if (old)
            Transition(old, kButtonOverUpToIdle, ButtonState::kUp, "onRollOut", kClipRollOut);
        if (target)
            Transition(target, kButtonIdleToOverUp, ButtonState::kOver, "onRollOver",
                       kClipRollOver);
        return;
    }
    // Held down: only the pressed one hears of the pointer leaving and coming back.
    if (old == pressed)
        Transition(pressed, kButtonOverDownToOutDown, ButtonState::kOver, "onDragOut",
                   kClipDragOut);
    if (target == pressed)
        Transition(pressed, kButtonOutDownToOverDown, ButtonState::kDown, "onDragOver",
                   kClipDragOver);
}

void MovieState::Transition(const std::shared_ptr<SpriteInstance>& s, std::uint16_t condition,
                            ButtonState state, std::string_view handler,
                            std::uint32_t clipEvent) {
    if (!s) return;
    if (s->button) {
        SetButtonState(*s, state);
        // A button's actions run on the timeline it sits on.
        if (s->parent) {
            for (const ButtonAction& action : s->button->actions)
                if (action.transitions & condition)
                    queue_.emplace_back(s->parent->weak_from_this(), &action.actions);
        }
    }
    if (s->clipActions) {
        for (const ClipAction& h : *s->clipActions)
            if (h.events & clipEvent) queue_.emplace_back(s, &h.actions);
    }
    CallHandler(*s, handler);
}

void MovieState::SetButtonState(SpriteInstance& s, ButtonState state) {
    if (!s.button || s.buttonState == state) return;
    const Timeline& timeline = state == ButtonState::kUp     ? s.button->upState
                               : state == ButtonState::kOver ? s.button->overState
                                                             : s.button->downState;
    s.buttonState = state;
    // The new state's characters replace the old ones.
    auto previous = std::move(s.displayList);
    s.displayList.clear();
    s.timeline = &timeline;
    s.frame = 0;
    for (auto& [depth, object] : previous) Unload(object.sprite);
    if (!timeline.frames.empty()) ApplyFrame(s, 0);
}

void MovieState::StartDrag(script::ClipHost* clip, bool lockCenter,
                           const std::optional<std::array<double, 4>>& bounds) {
    auto* sprite = dynamic_cast<SpriteInstance*>(clip);
    if (!sprite || !sprite->parent) return;
    dragged_ = sprite->weak_from_this();
    dragLockCenter_ = lockCenter;
    dragBounds_.reset();
    if (bounds) {
        for (double v : *bounds)
            if (!std::isfinite(v)) return StopDrag();
        dragBounds_ = std::array<double, 4>{std::min((*bounds)[0], (*bounds)[2]),
                                            std::min((*bounds)[1], (*bounds)[3]),
                                            std::max((*bounds)[0], (*bounds)[2]),
                                            std::max((*bounds)[1], (*bounds)[3])};
    }
    // Where the pointer is in the parent's space, against where the clip is.
    double px = std::max(pointerX_, 0.0), py = std::max(pointerY_, 0.0);
    sprite->parent->GlobalToLocal(&px, &py);
    const std::array<double, 6> m = sprite->GetMatrix();
    dragOffsetX_ = lockCenter ? 0 : m[4] - px;
    dragOffsetY_ = lockCenter ? 0 : m[5] - py;
    if (lockCenter || dragBounds_) FollowPointer();
}

void MovieState::StopDrag() {
    auto sprite = dragged_.lock();
    dragged_.reset();
    if (sprite) sprite->dropTarget = ClipAt(*root_, pointerX_, pointerY_, sprite.get(), 0);
}

void MovieState::FollowPointer() {
    auto sprite = dragged_.lock();
    if (!sprite || !sprite->parent) return;
    double px = pointerX_, py = pointerY_;
    sprite->parent->GlobalToLocal(&px, &py);
    px += dragOffsetX_;
    py += dragOffsetY_;
    if (dragBounds_) {
        px = std::clamp(px, (*dragBounds_)[0], (*dragBounds_)[2]);
        py = std::clamp(py, (*dragBounds_)[1], (*dragBounds_)[3]);
    }
    if (DisplayObject* placed = sprite->Placement()) {
        auto twips = [](double v) {
            return static_cast<std::int32_t>(std::clamp(std::round(v * 20), -2147483647.0,
                                                        2147483647.0));
        };
        placed->matrix.translateX = twips(px);
        placed->matrix.translateY = twips(py);
        placed->scriptTransformed = true;
    }
    sprite->dropTarget = ClipAt(*root_, pointerX_, pointerY_, sprite.get(), 0);
}

}  // namespace player
