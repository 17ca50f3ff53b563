#include "player/timeline.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "player/geometry.h"
#include "player/limits.h"
#include "player/loading.h"
#include "player/renderer.h"
#include "player/script/builtins.h"
#include "player/sound/decoder.h"
#include "player/text_field.h"
#include "player/units.h"

namespace player {

std::optional<DepthKey> KeyOfScriptDepth(std::int64_t scriptDepth) {
    if (scriptDepth < -kScriptDepthOffset || scriptDepth > kMaxScriptDepth) return std::nullopt;
    return static_cast<DepthKey>(scriptDepth + kScriptDepthOffset);
}

namespace {

// Movies scripts load are read under the played movie's caps, their models sharing one budget.
Limits ForLoadedMovies(const Limits& limits) {
    Limits loaded = limits;
    loaded.maxModelBytes = limits.maxLoadedModelBytes;
    return loaded;
}

}  // namespace

MovieState::MovieState(std::shared_ptr<const Movie> movie, ScriptSettings settings)
    : movie_(std::move(movie)),
      loadBudget_(ForLoadedMovies(movie_->limits)),
      sounds_(movie_->limits.maxSoundEvents),
      settings_(std::move(settings)) {
    Reset();
}

MovieState::~MovieState() {
    queue_.clear();
    levels_.clear();
    root_.reset();
}

std::unique_ptr<script::Vm> MovieState::NewScriptMachine() {
    script::VmOptions options;
    options.swfVersion = movie_->version;
    options.frameRate = FromFixed8(movie_->frameRate);
    options.seed = settings_.seed;
    options.clockStartMs = settings_.clockStartMs;
    options.limits = script::ScriptLimits::From(Caps());
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

bool MovieState::SpendShapeHit(std::int64_t records) {
    if (shapeHitWorkLeft_ < records) return false;
    shapeHitWorkLeft_ -= records;
    return true;
}

std::shared_ptr<SpriteInstance> MovieState::NewInstance(const Timeline& timeline, int nesting,
                                                        SpriteInstance* parent,
                                                        const Movie* movie) {
    auto s = std::make_shared<SpriteInstance>();
    s->timeline = &timeline;
    s->movie = movie ? movie : parent ? parent->movie : movie_.get();
    s->nesting = nesting;
    s->born = tick_;
    s->serial = ++clipSerial_;
    s->state = this;
    s->parent = parent;
    return s;
}

void MovieState::Reset() {
    queue_.clear();
    levels_.clear();
    root_.reset();
    vm_ = NewScriptMachine();
    scriptProblems_.clear();
    problemsDropped_ = 0;
    initialized_.clear();
    clipSerial_ = 0;
    instances_ = 0;
    sounds_.Clear();
    ++tick_;
    workLeft_ = Caps().maxTimelineWorkPerTick;
    shapeHitWorkLeft_ = Caps().maxShapeHitWorkPerTick;
    root_ = NewInstance(movie_->root, 0, nullptr);
    ticksFromStart_ = 0;
    loadsThisTick_ = 0;
    pendingInput_.clear();
    pointerX_ = pointerY_ = -1;
    pointerDown_ = false;
    keysDown_.fill(false);
    lastKeyCode_ = lastKeyAscii_ = 0;
    hovered_.reset();
    pressed_.reset();
    dragged_.reset();
    if (!movie_->root.frames.empty()) {
        RecordFrameSounds(*root_, 0);
        ApplyFrame(*root_, 0, true);
    }
    // The root's onLoad, which its first frame's actions may have set, runs after them.
    queue_.emplace_back(root_, nullptr, QueuedBlock::What::kOnLoad);
    RunActions();
    FinishLoads();
    ScriptedInputAt(0, false);
    ScriptedInputAt(0, true);
    SyncTextFields(*root_);
}

void MovieState::Tick(bool force, bool loop) {
    ++tick_;
    sounds_.SetTick(sounds_.Tick() + 1);
    workLeft_ = Caps().maxTimelineWorkPerTick;
    shapeHitWorkLeft_ = Caps().maxShapeHitWorkPerTick;
    vm_->BeginTick();
    ++ticksFromStart_;
    loadsThisTick_ = 0;
    // A user's input since the last tick comes first, with what it set off.
    auto pending = std::move(pendingInput_);
    pendingInput_.clear();
    for (const InputEvent& event : pending) Input(event);
    ScriptedInputAt(ticksFromStart_, false);
    // The timelines move; clips they took away hear of it at once, clips that were already
    // there get their enterFrame, then the queued actions run.
    AdvanceChildren(*root_);
    Advance(*root_, force, loop);
    for (SpriteInstance* level : Roots()) {
        if (level == root_.get()) continue;
        AdvanceChildren(*level);
        if (level->born < tick_) Advance(*level, false, true);
    }
    RunUnloadHandlers();
    RunEnterFrame();
    RunActions();
    FinishLoads();
    ScriptedInputAt(ticksFromStart_, true);
    for (SpriteInstance* root : Roots()) SyncTextFields(*root);
}

std::vector<SpriteInstance*> MovieState::Roots() const {
    std::vector<SpriteInstance*> roots = {root_.get()};
    for (const auto& [n, level] : levels_) roots.push_back(level.get());
    return roots;
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
        AdvanceChildren(*child);
        Advance(*child, false, true);
    }
}

void MovieState::Goto(SpriteInstance& s, int target) {
    const int count = static_cast<int>(s.timeline->frames.size());
    if (count == 0) return;
    target = std::clamp(target, 0, count - 1);
    if (target == s.frame) return;
    RecordFrameSounds(s, target);
    if (target > s.frame) {
        for (int f = s.frame + 1; f <= target && workLeft_ > 0; ++f) ApplyFrame(s, f, f == target);
    } else {
        // Rebuild from the first frame; objects that stay at the same depth with the same
        // character keep their state (a clip keeps playing across the parent's loop).
        auto previous = std::move(s.displayList);
        s.displayList.clear();
        for (int f = 0; f <= target && workLeft_ > 0; ++f) ApplyFrame(s, f, f == target);
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
}

void MovieState::ApplyFrame(SpriteInstance& s, int frame, bool withActions) {
    const Frame& f = s.timeline->frames[frame];
    std::size_t queued = 0;
    // Queues the action blocks that stood before the command at `done`.
    auto queueBefore = [&](std::size_t done) {
        for (; withActions && queued < f.actions.size(); ++queued) {
            if (queued < f.actionsAfter.size() && f.actionsAfter[queued] > done) break;
            queue_.emplace_back(s.weak_from_this(), &f.actions[queued]);
        }
    };
    if (Spend()) {
        QueueInitActions(s, frame);
        for (std::size_t i = 0; i < f.commands.size(); ++i) {
            queueBefore(i);
            if (!Spend()) break;
            if (const auto* place = std::get_if<PlaceObject>(&f.commands[i])) {
                Place(s, *place);
                continue;
            }
            auto gone = s.displayList.find(std::get<RemoveObject>(f.commands[i]).depth);
            if (gone == s.displayList.end()) continue;
            Unload(gone->second.sprite);
            s.displayList.erase(gone);
        }
    }
    queueBefore(std::numeric_limits<std::size_t>::max());
}

void MovieState::SetCharacter(SpriteInstance& s, DisplayObject& object, std::uint16_t id) {
    object.characterId = id;
    const Movie* from = s.movie;
    std::uint16_t fromId = id;
    object.character = FindCharacter(*s.movie, id, &from, &fromId);
    Unload(object.sprite);
    object.sprite.reset();
    AttachTextField(s, object, object.character ? std::get_if<EditText>(object.character) : nullptr);
    // A button plays as a sprite of its state, up at first.
    const Timeline* timeline = nullptr;
    const Button* button = object.character ? std::get_if<Button>(object.character) : nullptr;
    if (const auto* sprite = object.character ? std::get_if<Sprite>(object.character) : nullptr)
        timeline = &sprite->timeline;
    else if (button)
        timeline = &button->upState;
    if (!timeline || s.nesting + 1 > Caps().maxNestingDepth || !Spend()) return;
    object.sprite = NewInstance(*timeline, s.nesting + 1, &s, from);
    object.sprite->button = button;
    object.sprite->depth = object.depth;
    object.sprite->name = object.name;
    object.sprite->clipActions = placing_;
    object.sprite->characterId = fromId;
    // Initialize handlers run before the placing frame's actions, then construct handlers and
    // the clip's class constructor; load handlers, onLoad and the clip's first frame after
    // them.
    QueueClipEvents(*object.sprite, kClipInitialize);
    QueueClipEvents(*object.sprite, kClipConstruct);
    constructQueue_.emplace_back(object.sprite, nullptr, QueuedBlock::What::kConstructor);
    QueueClipEvents(*object.sprite, kClipLoad);
    queue_.emplace_back(object.sprite, nullptr, QueuedBlock::What::kOnLoad);
    if (!timeline->frames.empty()) {
        RecordFrameSounds(*object.sprite, 0);
        ApplyFrame(*object.sprite, 0, true);
    }
}

void MovieState::Place(SpriteInstance& s, const PlaceObject& p) {
    auto it = s.displayList.find(p.depth);
    const bool fresh = it == s.displayList.end() || !p.move;
    placing_ = p.clipActions.empty() ? nullptr : &p.clipActions;
    if (fresh) {
        if (!p.characterId || liveObjects_ >= Caps().maxDisplayObjects) return;
        // A new object cannot go where one already is.
        if (it != s.displayList.end()) {
            Trace("Warning: Failed to place object at depth " + std::to_string(p.depth) + ".");
            placing_ = nullptr;
            return;
        }
        DisplayObject object;
        object.depth = p.depth;
        object.token = LiveToken(&liveObjects_);
        // Every placed object is numbered; one placed without a name goes by instanceN.
        ++instances_;
        if (!p.name) object.name = "instance" + std::to_string(instances_);
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


void MovieState::RecordFrameSounds(const SpriteInstance& s, int frame) {
    // The mixer holds the played movie's sounds; loaded movies play theirs silently.
    if (s.movie != movie_.get()) return;
    const Frame& f = s.timeline->frames[frame];
    for (const sound::StartSound& start : f.sounds) {
        const std::uint64_t group = s.parent ? s.serial : 0;
        if (start.className.empty()) {
            sounds_.Start(start.soundId, start.info, 0, group);
            continue;
        }
        auto exported = movie_->exports.find(start.className);
        if (exported != movie_->exports.end())
            sounds_.Start(exported->second, start.info, 0, group);
    }
    if (f.streamBlock && s.timeline->streamHead)
        sounds_.StreamBlock(s.serial, frame, *s.timeline->streamHead, *f.streamBlock);
}

const sound::SoundDefinition* MovieState::ExportedSound(std::string_view exportName) const {
    auto exported = movie_->exports.find(std::string(exportName));
    if (exported == movie_->exports.end()) return nullptr;
    auto found = movie_->sounds.find(exported->second);
    return found == movie_->sounds.end() ? nullptr : &found->second;
}

bool MovieState::StartExportedSound(std::string_view exportName, int loops,
                                    double offsetSeconds, std::uint64_t group) {
    const sound::SoundDefinition* definition = ExportedSound(exportName);
    if (!definition) return false;
    sound::SoundInfo info;
    info.loops = static_cast<std::uint16_t>(std::clamp(loops, 1, 65535));
    // A day at most; NaN and negative offsets start at the beginning.
    const double offset =
        offsetSeconds > 0 ? std::min(offsetSeconds, 86400.0) * sound::kMixRate : 0.0;
    sounds_.Start(definition->id, info, static_cast<std::uint32_t>(offset), group);
    return true;
}

void MovieState::StopExportedSound(std::string_view exportName) {
    if (exportName.empty()) {
        sounds_.StopAll();
        return;
    }
    const sound::SoundDefinition* definition = ExportedSound(exportName);
    if (!definition) return;
    sound::SoundInfo stop;
    stop.stop = true;
    sounds_.Start(definition->id, stop);
}

std::optional<double> MovieState::ExportedSoundDuration(std::string_view exportName) const {
    const sound::SoundDefinition* definition = ExportedSound(exportName);
    if (!definition) return std::nullopt;
    return sound::Duration(*definition);
}

std::uint64_t MovieState::SoundGroup(script::ClipHost* clip) {
    const auto* sprite = dynamic_cast<SpriteInstance*>(clip);
    return sprite && sprite->parent ? sprite->serial : 0;
}

bool MovieState::StartSound(script::ClipHost* clip, std::string_view exportName, int loops,
                            double offsetSeconds) {
    return StartExportedSound(exportName, loops, offsetSeconds, SoundGroup(clip));
}

void MovieState::StopSound(script::ClipHost* clip, std::string_view exportName) {
    if (!exportName.empty()) return StopExportedSound(exportName);
    if (const std::uint64_t group = SoundGroup(clip)) return sounds_.StopGroup(group);
    sounds_.StopAll();
}

std::optional<double> MovieState::SoundDuration(script::ClipHost*, std::string_view exportName) {
    return ExportedSoundDuration(exportName);
}

void MovieState::SetSoundMix(script::ClipHost* clip, const script::SoundMix& mix) {
    // Levels past 100 % amplify, negative ones invert; a thousandfold is as far as they go.
    const auto level = [&mix](double channel) {
        return static_cast<float>(std::clamp(mix.volume / 100 * channel / 100, -1000.0, 1000.0));
    };
    sounds_.Levels(SoundGroup(clip), {level(mix.ll), level(mix.lr), level(mix.rr), level(mix.rl)});
}

void MovieState::QueueInitActions(SpriteInstance& s, int frame) {
    // Each symbol's initialisation runs once, on the timeline that holds it, before the
    // actions of the clips the frame places.
    for (const InitAction& init : s.timeline->frames[frame].initActions) {
        const std::pair<const Movie*, std::uint16_t> symbol{s.movie, init.spriteId};
        if (std::find(initialized_.begin(), initialized_.end(), symbol) != initialized_.end())
            continue;
        initialized_.push_back(symbol);
        preQueue_.emplace_back(s.weak_from_this(), &init.actions);
    }
}

void MovieState::RunActions() {
    // Initialisation first (DoInitAction, initialize handlers), then construct handlers, then
    // frame actions and load handlers, each in the order queued; unload handlers after them.
    std::size_t pre = 0, construct = 0, next = 0;
    auto runOne = [this](const QueuedBlock& entry) { RunQueued(entry); };
    while (workLeft_ > 0) {
        if (pre < preQueue_.size()) {
            runOne(preQueue_[pre++]);
        } else if (construct < constructQueue_.size()) {
            runOne(constructQueue_[construct++]);
        } else if (next < queue_.size()) {
            runOne(queue_[next++]);
        } else if (!unloading_.empty()) {
            RunUnloadHandlers();
        } else {
            break;
        }
    }
    preQueue_.clear();
    constructQueue_.clear();
    queue_.clear();
    unloading_.clear();
}

void MovieState::RunQueued(const QueuedBlock& entry) {
    auto target = entry.target.lock();
    if (!target || !OnStage(*target)) return;  // removed by an earlier action
    switch (entry.kind) {
        case QueuedBlock::What::kBlock:
            vm_->RunBlock(*entry.block, vm_->ClipFor(target.get()));
            break;
        case QueuedBlock::What::kConstructor:
            script::ConstructClip(*vm_, target.get(), script::Value());
            break;
        case QueuedBlock::What::kOnLoad:
            CallHandler(*target, "onLoad");
            break;
    }
    if (vm_->GetHeap().WantsCollection()) vm_->CollectGarbage();
}

script::Object* MovieState::ClassOf(const SpriteInstance& s) {
    // Buttons keep their own class whatever is registered for their symbol.
    if (s.characterId == 0 || s.button || !s.movie) return nullptr;
    for (const auto& [name, id] : s.movie->exports)
        if (id == s.characterId)
            if (script::Object* c = script::RegisteredClass(*vm_, name, s.movie->version))
                return c;
    return nullptr;
}

script::Object* SpriteInstance::RegisteredClass(script::Vm&) {
    return state ? state->ClassOf(*this) : nullptr;
}

void MovieState::QueueClipEvents(SpriteInstance& s, std::uint32_t event) {
    if (!s.clipActions) return;
    auto& queue = event == kClipInitialize  ? preQueue_
                  : event == kClipConstruct ? constructQueue_
                                            : queue_;
    for (const ClipAction& handler : *s.clipActions)
        if (handler.events & event) queue.emplace_back(s.weak_from_this(), &handler.actions);
}

bool MovieState::Unload(const std::shared_ptr<SpriteInstance>& sprite) {
    if (!sprite || !Spend()) return false;
    vm_->ClipLeaving(sprite.get());
    bool keep = sprite->clipActions || vm_->ExistingClip(sprite.get());
    for (auto& [depth, child] : sprite->displayList) keep = Unload(child.sprite) || keep;
    if (keep) unloading_.push_back(sprite);
    return keep;
}

bool MovieState::OnStage(const SpriteInstance& s) const {
    int steps = 0;
    const SpriteInstance* c = &s;
    for (; c->parent; c = c->parent) {
        if (!c->Placement() || ++steps > Caps().maxNestingDepth) return false;
    }
    if (c == root_.get()) return true;
    auto level = levels_.find(c->level);
    return level != levels_.end() && level->second.get() == c;
}

void MovieState::RunUnloadHandlers() {
    auto unloading = std::move(unloading_);
    unloading_.clear();
    for (const auto& sprite : unloading) {
        // Its own handlers still reach the clip that is leaving, not the one at its path.
        script::ClipObject* object = vm_->ExistingClip(sprite.get());
        const std::string gone = object ? object->GoneTarget() : std::string();
        if (object) object->Leave({}, false);
        if (sprite->clipActions) {
            for (const ClipAction& handler : *sprite->clipActions)
                if (handler.events & kClipUnload)
                    vm_->RunBlock(handler.actions, vm_->ClipFor(sprite.get()));
        }
        CallHandler(*sprite, "onUnload");
        if (object && vm_->ExistingClip(sprite.get()) == object) object->Leave(gone, sprite->IsButton());
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
    for (auto level = levels_.rbegin(); level != levels_.rend(); ++level)
        CollectPostOrder(level->second, clips);
    CollectPostOrder(root_, clips);
    for (const auto& weak : clips) {
        auto clip = weak.lock();
        if (!clip || clip->born >= tick_ || vm_->Stopped()) continue;
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
    if (scriptProblems_.size() < Caps().maxReportedProblems)
        scriptProblems_.push_back(std::move(line));
    else
        ++problemsDropped_;
}

bool MovieState::ReadBytesBeside(std::string_view address, std::string* bytes,
                                 std::string* reason) {
    // A movie loading in a loop reads only so many files a tick.
    if (++loadsThisTick_ > Caps().maxLoadsPerTick) {
        *reason = "more than " + std::to_string(Caps().maxLoadsPerTick) +
                  " loads were asked for in one frame";
        return false;
    }
    return ReadBesideMovie(folder_, address, Caps().maxLoadedFileBytes, bytes, reason);
}

bool MovieState::ReadTextBeside(std::string_view address, std::string* text,
                                std::string* reason) {
    std::string bytes;
    if (!ReadBytesBeside(address, &bytes, reason)) return false;
    *text = LoadedText(std::move(bytes));
    return true;
}

script::ClipHost* MovieState::Level(int n) {
    if (n == 0) return root_.get();
    auto found = levels_.find(n);
    return found == levels_.end() ? nullptr : found->second.get();
}


const Timeline& EmptyTimeline() {
    static const Timeline empty{{Frame{}}, {}, {}, std::nullopt};
    return empty;
}

SpriteInstance* MovieState::AttachClip(SpriteInstance& parent, std::string_view exportName,
                                       std::string_view name, int depth) {
    const std::optional<DepthKey> key = KeyOfScriptDepth(depth);
    if (!key || liveObjects_ >= Caps().maxDisplayObjects ||
        parent.nesting + 1 > Caps().maxNestingDepth)
        return nullptr;
    std::uint16_t id = 0;
    if (!exportName.empty()) {
        const Movie* from = nullptr;
        const Character* character = FindExport(*parent.movie, exportName, &from, &id);
        if (!character ||
            !(std::holds_alternative<Sprite>(*character) || std::holds_alternative<Button>(*character)))
            return nullptr;
    }
    auto existing = parent.displayList.find(*key);
    if (existing != parent.displayList.end()) {
        Unload(existing->second.sprite);
        parent.displayList.erase(existing);
    }
    DisplayObject object;
    object.depth = *key;
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

bool MovieState::AttachBitmap(SpriteInstance& parent, std::shared_ptr<const media::Image> pixels,
                              int depth, bool smoothing) {
    const std::optional<DepthKey> key = KeyOfScriptDepth(depth);
    if (!pixels || !key || liveObjects_ >= Caps().maxDisplayObjects) return false;
    auto existing = parent.displayList.find(*key);
    if (existing != parent.displayList.end()) {
        Unload(existing->second.sprite);
        parent.displayList.erase(existing);
    }
    DisplayObject object;
    object.depth = *key;
    object.token = LiveToken(&liveObjects_);
    object.bitmap = std::move(pixels);
    object.bitmapSmoothing = smoothing;
    parent.displayList.emplace(object.depth, std::move(object));
    return true;
}

SpriteInstance* MovieState::DuplicateClip(SpriteInstance& source, std::string_view name,
                                          int depth) {
    SpriteInstance* parent = source.parent;
    const std::optional<DepthKey> key = KeyOfScriptDepth(depth);
    if (!parent || !key || liveObjects_ >= Caps().maxDisplayObjects) return nullptr;
    auto it = parent->displayList.find(source.depth);
    if (it == parent->displayList.end() || it->second.sprite.get() != &source) return nullptr;
    const DisplayObject& original = it->second;
    DisplayObject copy;
    copy.depth = *key;
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
    // The copy has the original's clip event handlers.
    placing_ = source.clipActions;
    SetCharacter(*parent, placed->second, character);
    placing_ = nullptr;
    if (!placed->second.sprite && character == 0) {  // an empty clip made by script
        placed->second.sprite = NewInstance(EmptyTimeline(), parent->nesting + 1, parent);
        placed->second.sprite->depth = placed->second.depth;
        placed->second.sprite->name = placed->second.name;
    }
    // The copy takes what was drawn on the original.
    if (SpriteInstance* made = placed->second.sprite.get(); made && source.drawing)
        made->drawing = std::make_unique<Drawing>(*source.drawing);
    // Scripts read static text through the newest copy only.
    if (SpriteInstance* made = placed->second.sprite.get()) {
        made->staticTextHandedOn = source.staticTextHandedOn;
        source.staticTextHandedOn = true;
    }
    return placed->second.sprite.get();
}

bool MovieState::RemoveClip(SpriteInstance& clip) {
    SpriteInstance* parent = clip.parent;
    if (!parent || clip.depth < kScriptDepthOffset ||
        clip.depth > kMaxRemovableDepth + kScriptDepthOffset)
        return false;
    auto it = parent->displayList.find(clip.depth);
    if (it == parent->displayList.end() || it->second.sprite.get() != &clip) return false;
    Unload(it->second.sprite);
    parent->displayList.erase(it);
    return true;
}

// ---- Sprite instances as script clips ----------------------------------------------------------

SpriteInstance::~SpriteInstance() {
    if (state && state->vm_) state->vm_->ReleaseClip(this);
}

script::ClipObject* SpriteInstance::ScriptObject(script::Vm& vm) { return vm.NewClipObject(this); }

script::ClipHost* SpriteInstance::Child(std::string_view childName, bool caseSensitive) {
    const bool ascii = std::all_of(childName.begin(), childName.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    // Other letters than ASCII fold as the script machine folds names.
    const std::string folded = caseSensitive || ascii || !state || !state->vm_
                                   ? std::string()
                                   : state->vm_->Key(childName);
    for (auto& [d, object] : displayList) {
        if (object.text || (!object.sprite && object.name.empty())) continue;
        bool same;
        if (caseSensitive) {
            same = object.name == childName;
        } else if (ascii) {
            same = object.name.size() == childName.size() &&
                   std::equal(object.name.begin(), object.name.end(), childName.begin(),
                              [](char a, char b) {
                                  return std::tolower(static_cast<unsigned char>(a)) ==
                                         std::tolower(static_cast<unsigned char>(b));
                              });
        } else {
            same = !folded.empty() && state->vm_->Key(object.name) == folded;
        }
        // A named shape (or other object without a script object, as buttons are before
        // version 6) stands for its clip.
        if (!same) continue;
        if (!object.sprite || (object.sprite->button && MovieVersion() > 0 && MovieVersion() < 6))
            return this;
        return object.sprite.get();
    }
    return nullptr;
}

std::vector<std::string> SpriteInstance::ChildNames() const {
    std::vector<std::string> names;
    for (auto it = displayList.rbegin(); it != displayList.rend(); ++it)
        if ((it->second.sprite || it->second.text) && !it->second.name.empty())
            names.push_back(it->second.name);
    return names;
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

int SpriteInstance::MovieVersion() const { return movie ? movie->version : 0; }

bool SpriteInstance::Remove() { return state && state->RemoveClip(*this); }

script::ClipHost* SpriteInstance::Attach(std::string_view exportName, std::string_view newName,
                                         int newDepth) {
    return state ? state->AttachClip(*this, exportName, newName, newDepth) : nullptr;
}

script::ClipHost* SpriteInstance::AtDepth(int scriptDepth) {
    const std::optional<DepthKey> key = KeyOfScriptDepth(scriptDepth);
    if (!key) return nullptr;
    auto it = displayList.find(*key);
    return it == displayList.end() ? nullptr : it->second.sprite.get();
}

int SpriteInstance::NextHighestDepth() const {
    if (displayList.empty() || displayList.rbegin()->first < kScriptDepthOffset) return 0;
    return displayList.rbegin()->first - kScriptDepthOffset + 1;
}

void SpriteInstance::SwapDepths(int scriptDepth) {
    const std::optional<DepthKey> key = KeyOfScriptDepth(scriptDepth);
    if (!parent || !key || *key == depth) return;
    auto& list = parent->displayList;
    auto mine = list.find(depth);
    if (mine == list.end() || mine->second.sprite.get() != this) return;
    const DepthKey target = *key;
    auto other = list.find(target);
    DisplayObject moving = std::move(mine->second);
    list.erase(mine);
    if (other != list.end()) {
        DisplayObject displaced = std::move(other->second);
        list.erase(other);
        displaced.depth = depth;
        displaced.scriptTransformed = true;
        if (displaced.sprite) displaced.sprite->depth = depth;
        if (displaced.text) displaced.text->depth = depth;
        list.emplace(depth, std::move(displaced));
    }
    // Clips a script rearranged no longer follow the timeline's placements.
    moving.depth = target;
    moving.scriptTransformed = true;
    depth = target;
    list.emplace(target, std::move(moving));
}

DisplayObject* SpriteInstance::Placement() const {
    if (!parent) return nullptr;
    auto it = parent->displayList.find(depth);
    if (it == parent->displayList.end() || it->second.sprite.get() != this) return nullptr;
    return &it->second;
}

DisplayObject* SpriteInstance::Transform() { return parent ? Placement() : &rootTransform; }

const DisplayObject* SpriteInstance::Transform() const {
    return parent ? Placement() : &rootTransform;
}

namespace {

constexpr double kRadiansToDegrees = 180.0 / 3.14159265358979323846;

// Scale in percent along x and y, and rotation in degrees, as a matrix holds them.
std::array<double, 3> ScaleAndRotation(const DisplayObject& object) {
    if (object.scriptScale) return *object.scriptScale;
    const Matrix& m = object.matrix;
    const double a = FromFixed16(m.scaleX), b = FromFixed16(m.rotateSkew0);
    const double c = FromFixed16(m.rotateSkew1), d = FromFixed16(m.scaleY);
    return {std::hypot(a, b) * 100, std::hypot(c, d) * 100, std::atan2(b, a) * kRadiansToDegrees};
}

std::int32_t ToFixed16(double v) {
    return static_cast<std::int32_t>(std::clamp(std::round(v * kFixed16One), -2147483647.0, 2147483647.0));
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

// Degrees in [-180, 180]: a turn of exactly half a circle keeps the sign it was given.
double NormalAngle(double degrees) {
    double a = std::fmod(degrees, 360.0);
    if (a > 180) a -= 360;
    if (a < -180) a += 360;
    return a;
}

// A box in twips; empty until something is added to it.
struct Extent {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool empty = true;

    void Add(double x, double y) {
        if (empty) {
            x0 = x1 = x;
            y0 = y1 = y;
            empty = false;
            return;
        }
        x0 = std::min(x0, x);
        x1 = std::max(x1, x);
        y0 = std::min(y0, y);
        y1 = std::max(y1, y);
    }
    // `box` through `m` into this one.
    void Add(const Extent& box, const Matrix& m) {
        if (box.empty) return;
        const double a = FromFixed16(m.scaleX), b = FromFixed16(m.rotateSkew0);
        const double c = FromFixed16(m.rotateSkew1), d = FromFixed16(m.scaleY);
        for (const double x : {box.x0, box.x1})
            for (const double y : {box.y0, box.y1})
                Add(a * x + c * y + m.translateX, b * x + d * y + m.translateY);
    }
    void Add(const Rect& r) {
        Add(r.xMin, r.yMin);
        Add(r.xMax, r.yMax);
    }
};

Extent SpriteExtent(const SpriteInstance& s, int nesting);

// What a script set an object to cover, twips: an attached bitmap's pixels, a clip's scroll
// rectangle; nothing for other objects.
std::optional<Rect> ScriptBox(const DisplayObject& object) {
    auto twips = [](double px) {
        return static_cast<std::int32_t>(std::clamp(PixelsToTwips(px), -1e9, 1e9));
    };
    if (object.bitmap) {
        if (!object.bitmap->IsValid()) return std::nullopt;
        return Rect{0, twips(object.bitmap->width), 0, twips(object.bitmap->height)};
    }
    if (object.sprite && object.scrollRect && (*object.scrollRect)[2] > 0 &&
        (*object.scrollRect)[3] > 0)
        return Rect{0, twips((*object.scrollRect)[2]), 0, twips((*object.scrollRect)[3])};
    return std::nullopt;
}

// What an object's character covers in its own space, twips.
Extent ObjectExtent(const DisplayObject& object, int nesting) {
    Extent e;
    if (const std::optional<Rect> r = ScriptBox(object)) {
        e.Add(*r);
        return e;
    }
    if (object.sprite)
        return nesting > object.sprite->NestingCap() ? e : SpriteExtent(*object.sprite, nesting + 1);
    if (!object.character) return e;
    if (const auto* shape = std::get_if<Shape>(object.character)) {
        e.Add(shape->bounds);
    } else if (const auto* morph = std::get_if<MorphShape>(object.character)) {
        e.Add(morph->startBounds);
        e.Add(morph->endBounds);
    } else if (const auto* text = std::get_if<StaticText>(object.character)) {
        Extent own;
        own.Add(text->bounds);
        e.Add(own, text->matrix);
    } else if (const auto* field = std::get_if<EditText>(object.character)) {
        e.Add(field->bounds);
    } else if (const auto* video = std::get_if<VideoStream>(object.character)) {
        e.Add(Rect{0, video->width * kTwipsPerPixel, 0, video->height * kTwipsPerPixel});
    }
    return e;
}

Extent SpriteExtent(const SpriteInstance& s, int nesting) {
    Extent e;
    if (s.drawing && !s.drawing->Empty()) e.Add(s.drawing->GetShape().bounds);
    for (const auto& [depth, child] : s.displayList)
        e.Add(ObjectExtent(child, nesting), child.matrix);
    return e;
}

}  // namespace

// ---- Geometry as scripts see it -------------------------------------------------------------

namespace {

// A 2-D affine map in pixels: x' = a x + c y + tx, y' = b x + d y + ty.
struct Affine {
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;

    static Affine From(const Matrix& m) {
        return {FromFixed16(m.scaleX),      FromFixed16(m.rotateSkew0), FromFixed16(m.rotateSkew1),
                FromFixed16(m.scaleY),      TwipsToPixels(m.translateX),
                TwipsToPixels(m.translateY)};
    }
    // This map after `inner` (inner first).
    Affine After(const Affine& inner) const {
        return {a * inner.a + c * inner.b,         b * inner.a + d * inner.b,
                a * inner.c + c * inner.d,         b * inner.c + d * inner.d,
                a * inner.tx + c * inner.ty + tx,  b * inner.tx + d * inner.ty + ty};
    }
    void Apply(double* x, double* y) const {
        const double nx = a * *x + c * *y + tx;
        *y = b * *x + d * *y + ty;
        *x = nx;
    }
    bool Invert(Affine* out) const {
        const double det = a * d - b * c;
        if (det == 0 || !std::isfinite(det)) return false;
        *out = {d / det, -b / det, -c / det, a / det, (c * ty - d * tx) / det,
                (b * tx - a * ty) / det};
        return true;
    }
};

using Box = script::ClipHost::Box;

void Include(Box& box, double x, double y) {
    if (box.empty) {
        box = {x, y, x, y, false};
        return;
    }
    box.xMin = std::min(box.xMin, x);
    box.yMin = std::min(box.yMin, y);
    box.xMax = std::max(box.xMax, x);
    box.yMax = std::max(box.yMax, y);
}

// A rectangle in twips, mapped and added to the box.
void IncludeRect(Box& box, const Rect& r, const Affine& map) {
    if (r.xMin > r.xMax || r.yMin > r.yMax) return;
    const double xs[2] = {TwipsToPixels(r.xMin), TwipsToPixels(r.xMax)};
    const double ys[2] = {TwipsToPixels(r.yMin), TwipsToPixels(r.yMax)};
    for (double x : xs) {
        for (double y : ys) {
            double px = x, py = y;
            map.Apply(&px, &py);
            Include(box, px, py);
        }
    }
}

void IncludeList(Box& box, const SpriteInstance& s, const Affine& map, int nesting);

void IncludeObject(Box& box, const DisplayObject& object, const Affine& parent, int nesting) {
    const Affine map = parent.After(Affine::From(object.matrix));
    if (const std::optional<Rect> r = ScriptBox(object)) {
        IncludeRect(box, *r, map);
        return;
    }
    if (object.sprite) {
        IncludeList(box, *object.sprite, map, nesting + 1);
        return;
    }
    if (!object.character) return;
    if (const auto* shape = std::get_if<Shape>(object.character))
        IncludeRect(box, shape->bounds, map);
    else if (const auto* morph = std::get_if<MorphShape>(object.character))
        IncludeRect(box, morph->startBounds, map);
    else if (const auto* text = std::get_if<StaticText>(object.character))
        IncludeRect(box, text->bounds, map.After(Affine::From(text->matrix)));
    else if (const auto* field = std::get_if<EditText>(object.character))
        IncludeRect(box, field->bounds, map);
    else if (const auto* video = std::get_if<VideoStream>(object.character))
        IncludeRect(box, Rect{0, video->width * kTwipsPerPixel, 0, video->height * kTwipsPerPixel}, map);
}

void IncludeList(Box& box, const SpriteInstance& s, const Affine& map, int nesting) {
    if (nesting > s.NestingCap()) return;
    if (s.drawing && !s.drawing->Empty()) IncludeRect(box, s.drawing->GetShape().bounds, map);
    for (const auto& [depth, object] : s.displayList) IncludeObject(box, object, map, nesting);
}

// The clip's coordinates to the stage's.
Affine ToStage(const SpriteInstance& s) {
    Affine map;
    int hops = 0;
    for (const SpriteInstance* c = &s; c && hops < 1024; c = c->parent, ++hops)
        if (const DisplayObject* placed = c->Transform()) map = Affine::From(placed->matrix).After(map);
    return map;
}

bool Inside(const Rect& r, const Affine& map, double x, double y) {
    Affine back;
    if (r.xMin > r.xMax || r.yMin > r.yMax || !map.Invert(&back)) return false;
    back.Apply(&x, &y);
    x = PixelsToTwips(x);
    y = PixelsToTwips(y);
    return x >= r.xMin && x <= r.xMax && y >= r.yMin && y <= r.yMax;
}

bool HitsList(const SpriteInstance& s, const Affine& map, double x, double y, int nesting,
              MovieState* exact);

// Whether a stage point falls in a shape drawn through `map`: in its box, or when exact (a
// movie whose tick pays for the tracing) in what it fills or strokes. Once the tick's tracing
// is spent, boxes answer.
bool HitsShape(const Shape& shape, const Affine& map, double x, double y, MovieState* exact) {
    if (!Inside(shape.bounds, map, x, y)) return false;
    if (!exact || !exact->SpendShapeHit(std::int64_t(shape.records.size()) + 1)) return true;
    Affine back;
    if (!map.Invert(&back)) return false;
    back.Apply(&x, &y);
    return ShapeCovers(shape, PixelsToTwips(x), PixelsToTwips(y));
}

// Whether a character drawn through `map` covers the point (shapes by their boxes unless
// exact).
bool HitsCharacter(const Character* character, const Affine& map, double x, double y,
                   MovieState* exact = nullptr) {
    if (!character) return false;
    if (const auto* shape = std::get_if<Shape>(character)) return HitsShape(*shape, map, x, y, exact);
    if (const auto* morph = std::get_if<MorphShape>(character))
        return Inside(morph->startBounds, map, x, y);
    if (const auto* text = std::get_if<StaticText>(character))
        return Inside(text->bounds, map.After(Affine::From(text->matrix)), x, y);
    if (const auto* field = std::get_if<EditText>(character)) return Inside(field->bounds, map, x, y);
    return false;
}

bool HitsObject(const DisplayObject& object, const Affine& parent, double x, double y, int nesting,
                MovieState* exact, bool asMask = false) {
    if (object.visible && *object.visible == 0 && !asMask) return false;
    if (object.clipDepth && !asMask) return false;  // a mask shows nothing of its own
    const Affine map = parent.After(Affine::From(object.matrix));
    if (object.sprite) return HitsList(*object.sprite, map, x, y, nesting + 1, exact);
    return HitsCharacter(object.character, map, x, y, exact);
}

bool HitsList(const SpriteInstance& s, const Affine& map, double x, double y, int nesting,
              MovieState* exact) {
    if (nesting > s.NestingCap()) return false;
    if (s.drawing && !s.drawing->Empty() && HitsShape(s.drawing->GetShape(), map, x, y, exact))
        return true;
    // Exactly, what a mask covers counts only where the mask covers the point too.
    std::vector<std::pair<DepthKey, bool>> masks;  // up to which depth, and whether it is hit
    for (const auto& [depth, object] : s.displayList) {
        if (exact && object.clipDepth) {
            masks.emplace_back(object.clipDepth,
                               HitsObject(object, map, x, y, nesting, exact, true));
            continue;
        }
        const bool maskedOut = std::any_of(masks.begin(), masks.end(), [&](const auto& m) {
            return depth <= m.first && !m.second;
        });
        if (!maskedOut && HitsObject(object, map, x, y, nesting, exact)) return true;
    }
    return false;
}

}  // namespace

bool SpriteInstance::ShapesCover(double x, double y) {
    return HitsList(*this, ToStage(*this), x, y, nesting, state);
}

bool SpriteInstance::HitsStagePoint(double x, double y) const {
    const Affine map = ToStage(*this);
    if (!button) return HitsList(*this, map, x, y, nesting, nullptr);
    // A button answers to its hit state's characters, whatever state it shows.
    for (const ButtonRecord& r : button->records) {
        if (!r.hitTest || !state) continue;
        const Affine at = map.After(Affine::From(r.matrix));
        const Character* character = movie->Find(r.characterId);
        if (HitsCharacter(character, at, x, y)) return true;
        if (const auto* sprite = character ? std::get_if<Sprite>(character) : nullptr) {
            // A clip in the hit state: what its first frame places.
            if (sprite->timeline.frames.empty()) continue;
            for (const DisplayCommand& command : sprite->timeline.frames[0].commands) {
                const auto* place = std::get_if<PlaceObject>(&command);
                if (!place || !place->characterId) continue;
                const Affine inner = at.After(Affine::From(place->matrix.value_or(Matrix{})));
                if (HitsCharacter(movie->Find(*place->characterId), inner, x, y))
                    return true;
            }
        }
    }
    return false;
}

script::ClipHost::Box SpriteInstance::Bounds(script::ClipHost* space) {
    Affine map = ToStage(*this);
    if (auto* other = dynamic_cast<SpriteInstance*>(space)) {
        Affine back;
        if (!ToStage(*other).Invert(&back)) return {};
        map = back.After(map);
    }
    Box box;
    IncludeList(box, *this, map, nesting);
    return box;
}

void SpriteInstance::LocalToGlobal(double* x, double* y) { ToStage(*this).Apply(x, y); }

void SpriteInstance::GlobalToLocal(double* x, double* y) {
    Affine back;
    if (ToStage(*this).Invert(&back)) back.Apply(x, y);
}

script::Value SpriteInstance::GetDisplayProperty(script::Vm& vm, script::ClipProperty property) {
    using script::ClipProperty;
    using script::Value;
    const DisplayObject* placed = Transform();
    switch (property) {
        case ClipProperty::kX:
            return Value::Number(placed ? TwipsToPixels(placed->matrix.translateX) : 0);
        case ClipProperty::kY:
            return Value::Number(placed ? TwipsToPixels(placed->matrix.translateY) : 0);
        case ClipProperty::kXScale:
            return Value::Number(placed ? ScaleAndRotation(*placed)[0] : 100);
        case ClipProperty::kYScale:
            return Value::Number(placed ? ScaleAndRotation(*placed)[1] : 100);
        case ClipProperty::kRotation:
            return Value::Number(placed ? ScaleAndRotation(*placed)[2] : 0);
        case ClipProperty::kAlpha:
            return Value::Number(placed ? FromFixed8(placed->colorTransform.mult[3]) * 100 : 100);
        case ClipProperty::kWidth:
        case ClipProperty::kHeight: {
            Extent outer;
            outer.Add(SpriteExtent(*this, nesting), placed ? placed->matrix : Matrix{});
            if (outer.empty) return Value::Number(0);
            const double twips =
                property == ClipProperty::kWidth ? outer.x1 - outer.x0 : outer.y1 - outer.y0;
            return Value::Number(TwipsToPixels(std::round(twips)));
        }
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
        case ClipProperty::kDropTarget: {
            const auto over = dropTarget.lock();
            return vm.Str(over ? vm.SlashPath(over.get()) : "");
        }
        case ClipProperty::kXMouse:
        case ClipProperty::kYMouse: {
            double x = state ? state->PointerX() : 0, y = state ? state->PointerY() : 0;
            GlobalToLocal(&x, &y);
            return Value::Number(property == ClipProperty::kXMouse ? x : y);
        }
        default:
            return Value();
    }
}

void SpriteInstance::SetDisplayProperty(script::Vm& vm, script::ClipProperty property,
                                        const script::Value& value) {
    using script::ClipProperty;
    DisplayObject* placed = Transform();
    if (!placed) return;
    // Nothing, and numbers that are not numbers, leave the property as it was.
    if (value.IsNullish() && property != ClipProperty::kName) return;
    const double v = vm.ToNumber(value);
    switch (property) {
        case ClipProperty::kX:
        case ClipProperty::kY: {
            if (!std::isfinite(v)) return;
            const auto twips = static_cast<std::int32_t>(
                std::clamp(std::round(PixelsToTwips(v)), -2147483647.0, 2147483647.0));
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
        case ClipProperty::kWidth:
        case ClipProperty::kHeight: {
            // Scales the clip's own x (or y) axis by how far its bounds, as they stand now, are
            // from the size; a clip of no size stays as it is.
            if (!std::isfinite(v)) return;
            Extent outer;
            outer.Add(SpriteExtent(*this, nesting), placed->matrix);
            const double size =
                property == ClipProperty::kWidth ? outer.x1 - outer.x0 : outer.y1 - outer.y0;
            if (outer.empty || size <= 0) return;
            std::array<double, 3> sr = ScaleAndRotation(*placed);
            sr[property == ClipProperty::kWidth ? 0 : 1] *= PixelsToTwips(v) / size;
            SetScaleAndRotation(*placed, sr);
            break;
        }
        case ClipProperty::kAlpha:
            if (!std::isfinite(v)) return;
            placed->colorTransform.mult[3] =
                static_cast<std::int16_t>(std::clamp(std::round(v * 2.56), -32768.0, 32767.0));
            break;
        case ClipProperty::kVisible:
            if (std::isnan(v)) return;
            placed->visible = v != 0 ? 1 : 0;
            return;
        case ClipProperty::kName:
            placed->name = name = vm.ToString(value);
            return;
        default:
            return;
    }
    placed->scriptTransformed = true;
}

int SpriteInstance::NestingCap() const {
    return state ? state->Caps().maxNestingDepth : Limits{}.maxNestingDepth;
}

void SpriteInstance::Draw(const script::DrawCommand& command) {
    if (!drawing) {
        if (command.kind == script::DrawCommand::Kind::kClear) return;
        drawing = std::make_unique<Drawing>(state ? state->Caps().maxDrawingRecords
                                                  : Limits{}.maxDrawingRecords);
    }
    drawing->Apply(command);
}

bool MovieState::StageSize(double* width, double* height) const {
    const Rect& frame = movie_->frameSize;
    *width = std::max(0.0, TwipsToPixels(frame.xMax - frame.xMin));
    *height = std::max(0.0, TwipsToPixels(frame.yMax - frame.yMin));
    return true;
}

int SpriteInstance::GetBlendMode() const {
    const DisplayObject* placed = Placement();
    return placed && placed->blendMode ? *placed->blendMode : 0;
}

void SpriteInstance::SetBlendMode(int mode) {
    if (DisplayObject* placed = Placement(); placed && mode >= 1 && mode <= 14)
        placed->blendMode = static_cast<std::uint8_t>(mode);
}

std::vector<script::FilterData> SpriteInstance::GetFilters() const {
    std::vector<script::FilterData> out;
    const DisplayObject* placed = Placement();
    if (!placed || !placed->filters) return out;
    for (const Filter& f : *placed->filters) out.push_back({f.id, f.bytes});
    return out;
}

void SpriteInstance::SetFilters(std::vector<script::FilterData> filters) {
    DisplayObject* placed = Placement();
    if (!placed) return;
    std::vector<Filter> stored;
    stored.reserve(filters.size());
    for (script::FilterData& f : filters) stored.push_back({f.id, std::move(f.bytes)});
    if (stored.empty()) {
        placed->filters.reset();
    } else {
        placed->filters = std::move(stored);
    }
}

bool SpriteInstance::AttachBitmap(std::shared_ptr<const media::Image> pixels, int scriptDepth,
                                  bool smoothing) {
    return state && state->AttachBitmap(*this, std::move(pixels), scriptDepth, smoothing);
}

std::optional<std::uint32_t> SpriteInstance::GetOpaqueBackground() const {
    const DisplayObject* placed = Placement();
    if (!placed || !placed->opaqueBackground) return std::nullopt;
    const Rgba& c = *placed->opaqueBackground;
    return (std::uint32_t{c.r} << 16) | (std::uint32_t{c.g} << 8) | c.b;
}

void SpriteInstance::SetOpaqueBackground(std::optional<std::uint32_t> rgb) {
    DisplayObject* placed = Placement();
    if (!placed) return;
    if (!rgb) {
        placed->opaqueBackground.reset();
        return;
    }
    placed->opaqueBackground = Rgba{static_cast<std::uint8_t>(*rgb >> 16),
                                    static_cast<std::uint8_t>(*rgb >> 8),
                                    static_cast<std::uint8_t>(*rgb), 255};
}

bool SpriteInstance::GetCacheAsBitmap() const {
    if (cacheAsBitmapByScript) return *cacheAsBitmapByScript;
    const DisplayObject* placed = Placement();
    return placed && placed->cacheAsBitmap.value_or(0) != 0;
}

void SpriteInstance::SetCacheAsBitmap(bool on) {
    // Kept for scripts only: the placement's flag would change how the clip is composited.
    cacheAsBitmapByScript = on;
}

std::optional<std::array<double, 4>> SpriteInstance::GetScrollRect() const {
    const DisplayObject* placed = Placement();
    return placed ? placed->scrollRect : std::nullopt;
}

void SpriteInstance::SetScrollRect(std::optional<std::array<double, 4>> rect) {
    if (DisplayObject* placed = Placement()) placed->scrollRect = rect;
}

void SpriteInstance::SetMask(script::ClipHost* mask) {
    DisplayObject* placed = Placement();
    if (!placed) return;
    if (auto old = placed->scriptMask.lock()) old->maskOf = std::max(0, old->maskOf - 1);
    placed->scriptMask.reset();
    auto* sprite = dynamic_cast<SpriteInstance*>(mask);
    if (!sprite || sprite == this) return;
    sprite->maskOf++;
    placed->scriptMask = sprite->shared_from_this();
}

script::ColorNumbers SpriteInstance::GetColorTransform() const {
    script::ColorNumbers color;
    if (const DisplayObject* placed = Placement()) {
        for (int i = 0; i < 4; ++i) {
            color.mult[i] = FromFixed8(placed->colorTransform.mult[i]);
            color.add[i] = placed->colorTransform.add[i];
        }
    }
    return color;
}

void SpriteInstance::SetColorTransform(const script::ColorNumbers& color) {
    DisplayObject* placed = Placement();
    if (!placed) return;
    auto fit = [](double v) {
        return static_cast<std::int16_t>(
            std::isfinite(v) ? std::clamp(std::round(v), -32768.0, 32767.0) : 0.0);
    };
    for (int i = 0; i < 4; ++i) {
        placed->colorTransform.mult[i] = fit(color.mult[i] * 256);
        placed->colorTransform.add[i] = fit(color.add[i]);
    }
    placed->scriptTransformed = true;
}

std::array<double, 6> SpriteInstance::GetMatrix() const {
    const DisplayObject* placed = Placement();
    if (!placed) return {1, 0, 0, 1, 0, 0};
    const Matrix& m = placed->matrix;
    return {FromFixed16(m.scaleX),      FromFixed16(m.rotateSkew0),       FromFixed16(m.rotateSkew1),
            FromFixed16(m.scaleY),      TwipsToPixels(m.translateX), TwipsToPixels(m.translateY)};
}

void SpriteInstance::SetMatrix(const std::array<double, 6>& m) {
    DisplayObject* placed = Placement();
    if (!placed) return;
    for (double v : m)
        if (!std::isfinite(v)) return;
    placed->matrix.scaleX = ToFixed16(m[0]);
    placed->matrix.rotateSkew0 = ToFixed16(m[1]);
    placed->matrix.rotateSkew1 = ToFixed16(m[2]);
    placed->matrix.scaleY = ToFixed16(m[3]);
    auto twips = [](double px) {
        return static_cast<std::int32_t>(
            std::clamp(std::round(PixelsToTwips(px)), -2147483647.0, 2147483647.0));
    };
    placed->matrix.translateX = twips(m[4]);
    placed->matrix.translateY = twips(m[5]);
    placed->scriptScale.reset();
    placed->scriptTransformed = true;
}

std::array<double, 6> SpriteInstance::GetConcatenatedMatrix() const {
    std::array<double, 6> m = GetMatrix();
    int guard = 0;
    for (const SpriteInstance* p = parent; p && guard <= NestingCap();
         p = p->parent, ++guard) {
        const std::array<double, 6> o = p->GetMatrix();
        m = {m[0] * o[0] + m[1] * o[2],        m[0] * o[1] + m[1] * o[3],
             m[2] * o[0] + m[3] * o[2],        m[2] * o[1] + m[3] * o[3],
             m[4] * o[0] + m[5] * o[2] + o[4], m[4] * o[1] + m[5] * o[3] + o[5]};
    }
    return m;
}

std::optional<std::array<double, 4>> SpriteInstance::LocalBounds() const {
    const Extent e = SpriteExtent(*this, nesting);
    if (e.empty) return std::nullopt;
    return std::array<double, 4>{TwipsToPixels(e.x0), TwipsToPixels(e.y0),
                                 TwipsToPixels(e.x1), TwipsToPixels(e.y1)};
}

}  // namespace player
