#include "player/timeline.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "player/limits.h"

namespace player {

static_assert(Limits::kMaxDepthsPerList ==
                  std::size_t{std::numeric_limits<decltype(PlaceObject::depth)>::max()} + 1,
              "a display list is keyed by 16-bit depth");

MovieState::MovieState(std::shared_ptr<const Movie> movie, int workPerTick,
                       ScriptSettings settings)
    : movie_(std::move(movie)), workPerTick_(workPerTick), settings_(std::move(settings)) {
    Reset();
}

MovieState::~MovieState() {
    queue_.clear();
    root_.reset();
}

std::unique_ptr<script::Vm> MovieState::NewScriptMachine() {
    script::VmOptions options;
    options.swfVersion = movie_->version;
    options.frameRate = movie_->frameRate / 256.0;
    options.seed = settings_.seed;
    options.clockStartMs = settings_.clockStartMs;
    if (movie_->maxRecursion && *movie_->maxRecursion > 0)
        options.limits.maxRecursion = *movie_->maxRecursion;
    script::Host& host = *this;
    return std::make_unique<script::Vm>(host, options);
}

bool MovieState::Spend() {
    if (workLeft_ <= 0) return false;
    --workLeft_;
    return true;
}

std::shared_ptr<SpriteInstance> MovieState::NewInstance(const Timeline& timeline, int nesting,
                                                        SpriteInstance* parent) {
    auto s = std::make_shared<SpriteInstance>();
    s->timeline = &timeline;
    s->nesting = nesting;
    s->born = tick_;
    s->state = this;
    s->parent = parent;
    return s;
}

void MovieState::Reset() {
    queue_.clear();
    root_.reset();
    vm_ = NewScriptMachine();
    scriptProblems_.clear();
    problemsDropped_ = 0;
    initialized_.clear();
    ++tick_;
    workLeft_ = workPerTick_;
    root_ = NewInstance(movie_->root, 0, nullptr);
    if (!movie_->root.frames.empty()) {
        ApplyFrame(*root_, 0);
        QueueFrameActions(*root_);
    }
    RunActions();
    SyncTextFields(*root_);
}

void MovieState::Tick(bool force, bool loop) {
    ++tick_;
    workLeft_ = workPerTick_;
    vm_->BeginTick();
    RunEnterFrame();
    Advance(*root_, force, loop);
    AdvanceChildren(*root_);
    RunActions();
    SyncTextFields(*root_);
}

void MovieState::Advance(SpriteInstance& s, bool force, bool loop) {
    if (!s.playing && !force) return;
    const int count = static_cast<int>(s.timeline->frames.size());
    if (s.frame + 1 < count) {
        Goto(s, s.frame + 1);
    } else if (loop && count > 1) {
        Goto(s, 0);
    } else if (!loop) {
        s.playing = false;
    }
}

void MovieState::AdvanceChildren(SpriteInstance& s) {
    for (auto& [depth, object] : s.displayList) {
        SpriteInstance* child = object.sprite.get();
        if (!child || child->born >= tick_) continue;
        Advance(*child, false, true);
        AdvanceChildren(*child);
    }
}

void MovieState::Goto(SpriteInstance& s, int target) {
    const int count = static_cast<int>(s.timeline->frames.size());
    if (count == 0) return;
    target = std::clamp(target, 0, count - 1);
    if (target == s.frame) return;
    if (target > s.frame) {
        for (int f = s.frame + 1; f <= target && workLeft_ > 0; ++f) ApplyFrame(s, f);
    } else {
        // Rebuild from the first frame; objects that stay at the same depth with the same
        // character keep their state (a clip keeps playing across the parent's loop).
        auto previous = std::move(s.displayList);
        s.displayList.clear();
        for (int f = 0; f <= target && workLeft_ > 0; ++f) ApplyFrame(s, f);
        for (auto& [depth, object] : s.displayList) {
            auto old = previous.find(depth);
            if (old != previous.end() && old->second.characterId == object.characterId &&
                old->second.sprite && object.sprite) {
                object.sprite = std::move(old->second.sprite);
                object.sprite->name = object.name;
            }
            if (old != previous.end() && old->second.characterId == object.characterId &&
                old->second.text && object.text)
                object.text = std::move(old->second.text);
        }
        // Clips made by scripts live above the timeline's depths and stay.
        for (auto& [depth, object] : previous) {
            if (depth >= kScriptDepthOffset && (object.sprite || object.text) &&
                !s.displayList.count(depth))
                s.displayList.emplace(depth, std::move(object));
            else
                Unload(object.sprite);
        }
    }
    s.frame = target;
    QueueFrameActions(s);
}

void MovieState::ApplyFrame(SpriteInstance& s, int frame) {
    if (!Spend()) return;
    for (const DisplayCommand& command : s.timeline->frames[frame].commands) {
        if (!Spend()) return;
        if (const auto* place = std::get_if<PlaceObject>(&command)) {
            Place(s, *place);
        } else {
            auto gone = s.displayList.find(std::get<RemoveObject>(command).depth);
            if (gone == s.displayList.end()) continue;
            Unload(gone->second.sprite);
            s.displayList.erase(gone);
        }
    }
}

void MovieState::SetCharacter(SpriteInstance& s, DisplayObject& object, std::uint16_t id) {
    object.characterId = id;
    object.character = movie_->Find(id);
    Unload(object.sprite);
    object.sprite.reset();
    AttachTextField(s, object, object.character ? std::get_if<EditText>(object.character) : nullptr);
    // A button plays as a sprite of its up state.
    const Timeline* timeline = nullptr;
    if (const auto* sprite = object.character ? std::get_if<Sprite>(object.character) : nullptr)
        timeline = &sprite->timeline;
    else if (const auto* button =
                 object.character ? std::get_if<Button>(object.character) : nullptr)
        timeline = &button->upState;
    if (!timeline || s.nesting + 1 > Limits::kMaxNestingDepth || !Spend()) return;
    object.sprite = NewInstance(*timeline, s.nesting + 1, &s);
    object.sprite->depth = object.depth;
    object.sprite->name = object.name;
    object.sprite->clipActions = placing_;
    QueueClipEvents(*object.sprite, kClipLoad);
    if (!timeline->frames.empty()) {
        ApplyFrame(*object.sprite, 0);
        QueueFrameActions(*object.sprite);
    }
}

void MovieState::Place(SpriteInstance& s, const PlaceObject& p) {
    auto it = s.displayList.find(p.depth);
    const bool fresh = it == s.displayList.end() || !p.move;
    placing_ = p.clipActions.empty() ? nullptr : &p.clipActions;
    if (fresh) {
        if (!p.characterId || liveObjects_ >= Limits::kMaxDisplayObjects) return;
        if (it != s.displayList.end()) Unload(it->second.sprite);
        DisplayObject object;
        object.depth = p.depth;
        object.token = LiveToken(&liveObjects_);
        it = s.displayList.insert_or_assign(p.depth, std::move(object)).first;
        SetCharacter(s, it->second, *p.characterId);
    } else if (p.characterId && *p.characterId != it->second.characterId) {
        SetCharacter(s, it->second, *p.characterId);
    }
    placing_ = nullptr;
    DisplayObject& object = it->second;
    if (!object.scriptTransformed) {
        if (p.matrix) object.matrix = *p.matrix;
        if (p.colorTransform) object.colorTransform = *p.colorTransform;
    }
    if (p.ratio) object.ratio = *p.ratio;
    if (p.name) {
        object.name = *p.name;
        if (object.sprite) object.sprite->name = object.name;
    }
    if (p.clipDepth) object.clipDepth = *p.clipDepth;
    if (p.filters) object.filters = p.filters;
    if (p.blendMode) object.blendMode = p.blendMode;
    if (p.cacheAsBitmap) object.cacheAsBitmap = p.cacheAsBitmap;
    if (p.visible) object.visible = p.visible;
    if (p.backgroundColor) object.opaqueBackground = p.backgroundColor;
}

void MovieState::QueueFrameActions(SpriteInstance& s) {
    const Frame& frame = s.timeline->frames[s.frame];
    for (const InitAction& init : frame.initActions) {
        if (std::find(initialized_.begin(), initialized_.end(), init.spriteId) !=
            initialized_.end())
            continue;
        initialized_.push_back(init.spriteId);
        queue_.emplace_back(root_, &init.actions);
    }
    for (const ActionBlock& block : frame.actions) queue_.emplace_back(s.weak_from_this(), &block);
}

void MovieState::RunActions() {
    std::size_t next = 0;
    while ((next < queue_.size() || !unloading_.empty()) && workLeft_ > 0) {
        for (; next < queue_.size() && workLeft_ > 0; ++next) {
            auto target = queue_[next].first.lock();
            if (!target) continue;  // removed by an earlier action
            vm_->RunBlock(*queue_[next].second, vm_->ClipFor(target.get()));
            if (vm_->GetHeap().WantsCollection()) vm_->CollectGarbage();
        }
        RunUnloadHandlers();
    }
    queue_.clear();
    unloading_.clear();
}

void MovieState::QueueClipEvents(SpriteInstance& s, std::uint32_t event) {
    if (!s.clipActions) return;
    for (const ClipAction& handler : *s.clipActions)
        if (handler.events & event) queue_.emplace_back(s.weak_from_this(), &handler.actions);
}

void MovieState::Unload(const std::shared_ptr<SpriteInstance>& sprite) {
    if (!sprite || !Spend()) return;
    for (auto& [depth, child] : sprite->displayList) Unload(child.sprite);
    if (sprite->clipActions || vm_->ExistingClip(sprite.get())) unloading_.push_back(sprite);
}

void MovieState::RunUnloadHandlers() {
    auto unloading = std::move(unloading_);
    unloading_.clear();
    for (const auto& sprite : unloading) {
        if (sprite->clipActions) {
            for (const ClipAction& handler : *sprite->clipActions)
                if (handler.events & kClipUnload)
                    vm_->RunBlock(handler.actions, vm_->ClipFor(sprite.get()));
        }
        CallHandler(*sprite, "onUnload");
    }
}

void MovieState::CallHandler(SpriteInstance& s, std::string_view name) {
    script::Object* object = vm_->ExistingClip(&s);
    if (!object || vm_->Stopped()) return;
    const script::Value handler = vm_->Get(object, name);
    if (handler.AsObject() && handler.AsObject()->Kind() == script::ObjectKind::kFunction)
        vm_->CallFromHost(handler, script::Value::Obj(object), {});
}

void MovieState::CollectPostOrder(const std::shared_ptr<SpriteInstance>& s,
                                  std::vector<std::weak_ptr<SpriteInstance>>& out) {
    for (auto it = s->displayList.rbegin(); it != s->displayList.rend(); ++it)
        if (it->second.sprite) CollectPostOrder(it->second.sprite, out);
    out.push_back(s);
}

void MovieState::RunEnterFrame() {
    // Newest first, as players keep their clips: children before their parent, the higher
    // depth first.
    std::vector<std::weak_ptr<SpriteInstance>> clips;
    CollectPostOrder(root_, clips);
    for (const auto& weak : clips) {
        auto clip = weak.lock();
        if (!clip || vm_->Stopped()) continue;
        if (clip->clipActions) {
            for (const ClipAction& handler : *clip->clipActions)
                if (handler.events & kClipEnterFrame)
                    vm_->RunBlock(handler.actions, vm_->ClipFor(clip.get()));
        }
        CallHandler(*clip, "onEnterFrame");
    }
}

void MovieState::ScriptGoto(SpriteInstance& s, int frame) {
    if (!followRootJumps_ && &s == root_.get()) return;
    Goto(s, frame);
}

void MovieState::Trace(std::string_view line) {
    if (!settings_.trace) return;
    // A carriage return (text fields end their paragraphs with one) ends a line of output.
    if (line.find('\r') == std::string_view::npos) return settings_.trace(line);
    std::string lines;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] != '\r') lines += line[i];
        else if (i + 1 == line.size() || line[i + 1] != '\n') lines += '\n';  // CR LF: one
    }
    settings_.trace(lines);
}

void MovieState::Problem(std::string line) {
    if (std::find(scriptProblems_.begin(), scriptProblems_.end(), line) != scriptProblems_.end())
        return;
    if (scriptProblems_.size() < Limits::kMaxReportedProblems)
        scriptProblems_.push_back(std::move(line));
    else
        ++problemsDropped_;
}

script::ClipHost* MovieState::Level(int n) { return n == 0 ? root_.get() : nullptr; }

// An empty clip's timeline: one frame with nothing on it.
const Timeline& EmptyTimeline() {
    static const Timeline empty{{Frame{}}, {}, {}};
    return empty;
}

SpriteInstance* MovieState::AttachClip(SpriteInstance& parent, std::string_view exportName,
                                       std::string_view name, int depth) {
    const int internal = depth + kScriptDepthOffset;
    if (internal < 0 || internal > 65535 || liveObjects_ >= Limits::kMaxDisplayObjects ||
        parent.nesting + 1 > Limits::kMaxNestingDepth)
        return nullptr;
    std::uint16_t id = 0;
    if (!exportName.empty()) {
        auto found = movie_->exports.find(std::string(exportName));
        if (found == movie_->exports.end()) return nullptr;
        const Character* character = movie_->Find(found->second);
        if (!character || !std::holds_alternative<Sprite>(*character)) return nullptr;
        id = found->second;
    }
    auto existing = parent.displayList.find(static_cast<std::uint16_t>(internal));
    if (existing != parent.displayList.end()) {
        Unload(existing->second.sprite);
        parent.displayList.erase(existing);
    }
    DisplayObject object;
    object.depth = static_cast<std::uint16_t>(internal);
    object.name = std::string(name);
    object.token = LiveToken(&liveObjects_);
    DisplayObject& placed = parent.displayList.emplace(object.depth, std::move(object)).first->second;
    if (id != 0) {
        SetCharacter(parent, placed, id);
    } else {
        placed.sprite = NewInstance(EmptyTimeline(), parent.nesting + 1, &parent);
        placed.sprite->depth = placed.depth;
        placed.sprite->name = placed.name;
    }
    return placed.sprite.get();
}

SpriteInstance* MovieState::DuplicateClip(SpriteInstance& source, std::string_view name,
                                          int depth) {
    SpriteInstance* parent = source.parent;
    const int internal = depth + 16384;
    if (!parent || internal < 0 || internal > 65535 || liveObjects_ >= Limits::kMaxDisplayObjects)
        return nullptr;
    auto it = parent->displayList.find(source.depth);
    if (it == parent->displayList.end() || it->second.sprite.get() != &source) return nullptr;
    const DisplayObject& original = it->second;
    DisplayObject copy;
    copy.depth = static_cast<std::uint16_t>(internal);
    copy.matrix = original.matrix;
    copy.colorTransform = original.colorTransform;
    copy.ratio = original.ratio;
    copy.name = std::string(name);
    copy.filters = original.filters;
    copy.blendMode = original.blendMode;
    copy.visible = original.visible;
    copy.token = LiveToken(&liveObjects_);
    const std::uint16_t character = original.characterId;
    auto placed = parent->displayList.insert_or_assign(copy.depth, std::move(copy)).first;
    SetCharacter(*parent, placed->second, character);
    return placed->second.sprite.get();
}

bool MovieState::RemoveClip(SpriteInstance& clip) {
    SpriteInstance* parent = clip.parent;
    if (!parent || clip.depth < 16384) return false;
    auto it = parent->displayList.find(clip.depth);
    if (it == parent->displayList.end() || it->second.sprite.get() != &clip) return false;
    parent->displayList.erase(it);
    return true;
}

// ---- Sprite instances as script clips ----------------------------------------------------------

SpriteInstance::~SpriteInstance() {
    if (state && state->vm_) state->vm_->ReleaseClip(this);
}

script::ClipObject* SpriteInstance::ScriptObject(script::Vm& vm) { return vm.NewClipObject(this); }

script::ClipHost* SpriteInstance::Child(std::string_view childName, bool caseSensitive) {
    for (auto& [d, object] : displayList) {
        if (!object.sprite || object.name.size() != childName.size()) continue;
        const bool same =
            caseSensitive ? object.name == childName
                          : std::equal(object.name.begin(), object.name.end(), childName.begin(),
                                       [](char a, char b) {
                                           return std::tolower(static_cast<unsigned char>(a)) ==
                                                  std::tolower(static_cast<unsigned char>(b));
                                       });
        if (same) return object.sprite.get();
    }
    return nullptr;
}

int SpriteInstance::TotalFrames() const { return static_cast<int>(timeline->frames.size()); }

int SpriteInstance::FindLabel(std::string_view label) const {
    for (const auto& [text, index] : timeline->labels) {
        if (text.size() == label.size() &&
            std::equal(text.begin(), text.end(), label.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            }))
            return index;
    }
    return -1;
}

void SpriteInstance::GotoFrame(int target) {
    if (state) state->ScriptGoto(*this, target);
}

std::vector<std::span<const std::uint8_t>> SpriteInstance::FrameScripts(int index) const {
    std::vector<std::span<const std::uint8_t>> blocks;
    if (index < 0 || index >= TotalFrames()) return blocks;
    for (const ActionBlock& block : timeline->frames[index].actions) blocks.emplace_back(block);
    return blocks;
}

script::ClipHost* SpriteInstance::Duplicate(std::string_view newName, int newDepth) {
    return state ? state->DuplicateClip(*this, newName, newDepth) : nullptr;
}

bool SpriteInstance::Remove() { return state && state->RemoveClip(*this); }

script::ClipHost* SpriteInstance::Attach(std::string_view exportName, std::string_view newName,
                                         int newDepth) {
    return state ? state->AttachClip(*this, exportName, newName, newDepth) : nullptr;
}

script::ClipHost* SpriteInstance::AtDepth(int scriptDepth) {
    const int internal = scriptDepth + kScriptDepthOffset;
    if (internal < 0 || internal > 65535) return nullptr;
    auto it = displayList.find(static_cast<std::uint16_t>(internal));
    return it == displayList.end() ? nullptr : it->second.sprite.get();
}

int SpriteInstance::NextHighestDepth() const {
    if (displayList.empty() || displayList.rbegin()->first < kScriptDepthOffset) return 0;
    return displayList.rbegin()->first - kScriptDepthOffset + 1;
}

void SpriteInstance::SwapDepths(int scriptDepth) {
    const int internal = scriptDepth + kScriptDepthOffset;
    if (!parent || internal < 0 || internal > 65535 || internal == depth) return;
    auto& list = parent->displayList;
    auto mine = list.find(depth);
    if (mine == list.end() || mine->second.sprite.get() != this) return;
    const auto target = static_cast<std::uint16_t>(internal);
    auto other = list.find(target);
    DisplayObject moving = std::move(mine->second);
    list.erase(mine);
    if (other != list.end()) {
        DisplayObject displaced = std::move(other->second);
        list.erase(other);
        displaced.depth = depth;
        if (displaced.sprite) displaced.sprite->depth = depth;
        list.emplace(depth, std::move(displaced));
    }
    moving.depth = target;
    depth = target;
    list.emplace(target, std::move(moving));
}

DisplayObject* SpriteInstance::Placement() const {
    if (!parent) return nullptr;
    auto it = parent->displayList.find(depth);
    if (it == parent->displayList.end() || it->second.sprite.get() != this) return nullptr;
    return &it->second;
}

namespace {

constexpr double kTwipsPerPixel = 20.0;
constexpr double kFixed16 = 65536.0;
constexpr double kRadiansToDegrees = 180.0 / 3.14159265358979323846;

// Scale in percent along x and y, and rotation in degrees, as a matrix holds them.
std::array<double, 3> ScaleAndRotation(const DisplayObject& object) {
    if (object.scriptScale) return *object.scriptScale;
    const Matrix& m = object.matrix;
    const double a = m.scaleX / kFixed16, b = m.rotateSkew0 / kFixed16;
    const double c = m.rotateSkew1 / kFixed16, d = m.scaleY / kFixed16;
    return {std::hypot(a, b) * 100, std::hypot(c, d) * 100, std::atan2(b, a) * kRadiansToDegrees};
}

std::int32_t ToFixed16(double v) {
    return static_cast<std::int32_t>(std::clamp(std::round(v * kFixed16), -2147483647.0, 2147483647.0));
}

void SetScaleAndRotation(DisplayObject& object, const std::array<double, 3>& sr) {
    const double radians = sr[2] / kRadiansToDegrees;
    const double xs = sr[0] / 100, ys = sr[1] / 100;
    object.matrix.scaleX = ToFixed16(xs * std::cos(radians));
    object.matrix.rotateSkew0 = ToFixed16(xs * std::sin(radians));
    object.matrix.rotateSkew1 = ToFixed16(-ys * std::sin(radians));
    object.matrix.scaleY = ToFixed16(ys * std::cos(radians));
    object.scriptScale = sr;
}

// Degrees in (-180, 180].
double NormalAngle(double degrees) {
    double a = std::fmod(degrees, 360.0);
    if (a > 180) a -= 360;
    if (a <= -180) a += 360;
    return a;
}

}  // namespace

script::Value SpriteInstance::GetDisplayProperty(script::Vm& vm, script::ClipProperty property) {
    using script::ClipProperty;
    using script::Value;
    const DisplayObject* placed = Placement();
    switch (property) {
        case ClipProperty::kX:
            return Value::Number(placed ? placed->matrix.translateX / kTwipsPerPixel : 0);
        case ClipProperty::kY:
            return Value::Number(placed ? placed->matrix.translateY / kTwipsPerPixel : 0);
        case ClipProperty::kXScale:
            return Value::Number(placed ? ScaleAndRotation(*placed)[0] : 100);
        case ClipProperty::kYScale:
            return Value::Number(placed ? ScaleAndRotation(*placed)[1] : 100);
        case ClipProperty::kRotation:
            return Value::Number(placed ? ScaleAndRotation(*placed)[2] : 0);
        case ClipProperty::kAlpha:
            return Value::Number(placed ? placed->colorTransform.mult[3] / 256.0 * 100 : 100);
        case ClipProperty::kVisible:
            return Value::Boolean(!placed || placed->visible.value_or(1) != 0);
        case ClipProperty::kQuality:
            return vm.Str("HIGH");
        case ClipProperty::kHighQuality:
            return Value::Number(1);
        case ClipProperty::kFocusRect:
            return Value::Boolean(true);
        case ClipProperty::kSoundBufTime:
            return Value::Number(5);
        case ClipProperty::kDropTarget:
            return vm.Str("");
        case ClipProperty::kXMouse:
        case ClipProperty::kYMouse:
            return Value::Number(0);
        default:
            return Value();
    }
}

void SpriteInstance::SetDisplayProperty(script::Vm& vm, script::ClipProperty property,
                                        const script::Value& value) {
    using script::ClipProperty;
    DisplayObject* placed = Placement();
    if (!placed) return;
    const double v = vm.ToNumber(value);
    switch (property) {
        case ClipProperty::kX:
        case ClipProperty::kY: {
            if (!std::isfinite(v)) return;
            const auto twips = static_cast<std::int32_t>(
                std::clamp(std::round(v * kTwipsPerPixel), -2147483647.0, 2147483647.0));
            (property == ClipProperty::kX ? placed->matrix.translateX : placed->matrix.translateY) =
                twips;
            break;
        }
        case ClipProperty::kXScale:
        case ClipProperty::kYScale:
        case ClipProperty::kRotation: {
            if (!std::isfinite(v)) return;
            std::array<double, 3> sr = ScaleAndRotation(*placed);
            if (property == ClipProperty::kXScale) sr[0] = v;
            if (property == ClipProperty::kYScale) sr[1] = v;
            if (property == ClipProperty::kRotation) sr[2] = NormalAngle(v);
            SetScaleAndRotation(*placed, sr);
            break;
        }
        case ClipProperty::kAlpha:
            if (!std::isfinite(v)) return;
            placed->colorTransform.mult[3] =
                static_cast<std::int16_t>(std::clamp(std::round(v * 2.56), -32768.0, 32767.0));
            break;
        case ClipProperty::kVisible:
            placed->visible = vm.ToBoolean(value) ? 1 : 0;
            return;
        case ClipProperty::kName:
            placed->name = name = vm.ToString(value);
            return;
        default:
            return;
    }
    placed->scriptTransformed = true;
}

}  // namespace player
