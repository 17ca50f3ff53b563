#include "player/timeline.h"

#include <algorithm>
#include <limits>

#include "player/limits.h"

namespace player {

static_assert(Limits::kMaxDepthsPerList ==
                  std::size_t{std::numeric_limits<decltype(PlaceObject::depth)>::max()} + 1,
              "a display list is keyed by 16-bit depth");

MovieState::MovieState(std::shared_ptr<const Movie> movie, int workPerTick)
    : movie_(std::move(movie)), workPerTick_(workPerTick) {
    Reset();
}

bool MovieState::Spend() {
    if (workLeft_ <= 0) return false;
    --workLeft_;
    return true;
}

std::shared_ptr<SpriteInstance> MovieState::NewInstance(const Timeline& timeline, int nesting) {
    auto s = std::make_shared<SpriteInstance>();
    s->timeline = &timeline;
    s->nesting = nesting;
    s->born = tick_;
    return s;
}

void MovieState::Reset() {
    queue_.clear();
    root_.reset();
    ++tick_;
    workLeft_ = workPerTick_;
    root_ = NewInstance(movie_->root, 0);
    if (!movie_->root.frames.empty()) {
        ApplyFrame(*root_, 0);
        QueueFrameActions(*root_);
    }
    RunActions();
}

void MovieState::Tick(bool force, bool loop) {
    ++tick_;
    workLeft_ = workPerTick_;
    Advance(*root_, force, loop);
    AdvanceChildren(*root_);
    RunActions();
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
            }
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
            s.displayList.erase(std::get<RemoveObject>(command).depth);
        }
    }
}

void MovieState::SetCharacter(SpriteInstance& s, DisplayObject& object, std::uint16_t id) {
    object.characterId = id;
    object.character = movie_->Find(id);
    object.sprite.reset();
    // A button plays as a sprite of its up state.
    const Timeline* timeline = nullptr;
    if (const auto* sprite = object.character ? std::get_if<Sprite>(object.character) : nullptr)
        timeline = &sprite->timeline;
    else if (const auto* button =
                 object.character ? std::get_if<Button>(object.character) : nullptr)
        timeline = &button->upState;
    if (!timeline || s.nesting + 1 > Limits::kMaxNestingDepth || !Spend()) return;
    object.sprite = NewInstance(*timeline, s.nesting + 1);
    if (!timeline->frames.empty()) {
        ApplyFrame(*object.sprite, 0);
        QueueFrameActions(*object.sprite);
    }
}

void MovieState::Place(SpriteInstance& s, const PlaceObject& p) {
    auto it = s.displayList.find(p.depth);
    const bool fresh = it == s.displayList.end() || !p.move;
    if (fresh) {
        if (!p.characterId || liveObjects_ >= Limits::kMaxDisplayObjects) return;
        DisplayObject object;
        object.depth = p.depth;
        object.token = LiveToken(&liveObjects_);
        it = s.displayList.insert_or_assign(p.depth, std::move(object)).first;
        SetCharacter(s, it->second, *p.characterId);
    } else if (p.characterId && *p.characterId != it->second.characterId) {
        SetCharacter(s, it->second, *p.characterId);
    }
    DisplayObject& object = it->second;
    if (p.matrix) object.matrix = *p.matrix;
    if (p.colorTransform) object.colorTransform = *p.colorTransform;
    if (p.ratio) object.ratio = *p.ratio;
    if (p.name) object.name = *p.name;
    if (p.clipDepth) object.clipDepth = *p.clipDepth;
    if (p.filters) object.filters = p.filters;
    if (p.blendMode) object.blendMode = p.blendMode;
    if (p.cacheAsBitmap) object.cacheAsBitmap = p.cacheAsBitmap;
    if (p.visible) object.visible = p.visible;
    if (p.backgroundColor) object.opaqueBackground = p.backgroundColor;
}

void MovieState::QueueFrameActions(SpriteInstance& s) {
    for (const ActionList& list : s.timeline->frames[s.frame].actions)
        queue_.emplace_back(s.weak_from_this(), &list);
}

void MovieState::RunActions() {
    int budget = Limits::kMaxActionsPerTick;
    for (std::size_t i = 0; i < queue_.size() && budget > 0 && workLeft_ > 0; ++i) {
        auto target = queue_[i].first.lock();
        if (!target) continue;  // removed by an earlier action
        for (const Action& a : *queue_[i].second) {
            if (--budget < 0) break;
            Run(*target, a);
        }
    }
    queue_.clear();
}

void MovieState::Run(SpriteInstance& s, const Action& a) {
    const bool jump = a.kind != Action::Kind::kStop && a.kind != Action::Kind::kPlay;
    if (jump && !followRootJumps_ && &s == root_.get()) return;
    const int last = static_cast<int>(s.timeline->frames.size()) - 1;
    switch (a.kind) {
        case Action::Kind::kStop:
            s.playing = false;
            break;
        case Action::Kind::kPlay:
            s.playing = true;
            break;
        case Action::Kind::kNextFrame:
            Goto(s, std::min(s.frame + 1, last));
            s.playing = false;
            break;
        case Action::Kind::kPreviousFrame:
            Goto(s, std::max(s.frame - 1, 0));
            s.playing = false;
            break;
        case Action::Kind::kGotoFrame:
            Goto(s, a.frame);
            break;
        case Action::Kind::kGotoLabel: {
            auto it = s.timeline->labels.find(a.label);
            if (it != s.timeline->labels.end()) Goto(s, it->second);
            break;
        }
    }
}

}  // namespace player
