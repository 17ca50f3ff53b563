// What a movie's timelines did with sound, tick by tick: starts and stops of library sounds and
// the stream blocks of each clip's frames. The timeline records it while it plays; the mixer
// renders it afterwards for any range of ticks, so audio never disturbs the pictures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "player/limits.h"
#include "player/sound/sound_model.h"

namespace sound {

// Sounds belong to a group: 0 for the whole movie's, else the clip (by its serial) whose
// timeline or script Sound object started them. A group's levels apply to its sounds; the
// whole movie's apply to every sound.
struct SoundEvent {
    enum class Kind : std::uint8_t { kStart, kStop, kStopAll, kStreamBlock, kStopGroup, kLevels };
    std::uint32_t tick = 0;  // ticks since the movie's first frame
    Kind kind = Kind::kStart;
    std::uint16_t soundId = 0;       // kStart, kStop
    SoundInfo info;                  // kStart
    std::uint32_t offsetFrames = 0;  // kStart: 44.1 kHz frames into the sound to begin at
    std::uint64_t group = 0;         // kStart, kStopGroup, kLevels
    SoundLevels levels;              // kLevels
    std::uint64_t clip = 0;          // kStreamBlock: the playing clip
    int frame = 0;                   // kStreamBlock: the clip's frame
    const StreamHead* head = nullptr;     // kStreamBlock: kept by the movie
    std::span<const std::uint8_t> block;  // kStreamBlock: kept by the movie
};

class SoundLog {
  public:
    explicit SoundLog(std::size_t maxEvents = player::Limits{}.maxSoundEvents)
        : maxEvents_(maxEvents) {}

    void Clear() {
        events_.clear();
        tick_ = 0;
    }
    void SetTick(std::uint32_t tick) { tick_ = tick; }
    std::uint32_t Tick() const { return tick_; }

    // A start with its sound info (a stop when the info says so).
    void Start(std::uint16_t soundId, const SoundInfo& info, std::uint32_t offsetFrames = 0,
               std::uint64_t group = 0) {
        SoundEvent e = At(info.stop ? SoundEvent::Kind::kStop : SoundEvent::Kind::kStart);
        e.soundId = soundId;
        e.offsetFrames = offsetFrames;
        e.group = group;
        if (!info.stop) e.info = info;
        Push(std::move(e));
    }
    // Every event sound stops.
    void StopAll() { Push(At(SoundEvent::Kind::kStopAll)); }
    // Every event sound of one group stops.
    void StopGroup(std::uint64_t group) {
        SoundEvent e = At(SoundEvent::Kind::kStopGroup);
        e.group = group;
        Push(std::move(e));
    }
    // A group's sounds play at these levels from now on, those playing included.
    void Levels(std::uint64_t group, const SoundLevels& levels) {
        SoundEvent e = At(SoundEvent::Kind::kLevels);
        e.group = group;
        e.levels = levels;
        Push(std::move(e));
    }
    void StreamBlock(std::uint64_t clip, int frame, const StreamHead& head,
                     std::span<const std::uint8_t> block) {
        SoundEvent e = At(SoundEvent::Kind::kStreamBlock);
        e.clip = clip;
        e.frame = frame;
        e.head = &head;
        e.block = block;
        Push(std::move(e));
    }

    const std::vector<SoundEvent>& Events() const { return events_; }
    // True once events were left out for the cap.
    bool Full() const { return events_.size() >= maxEvents_; }

  private:
    SoundEvent At(SoundEvent::Kind kind) const {
        SoundEvent e;
        e.tick = tick_;
        e.kind = kind;
        return e;
    }
    void Push(SoundEvent&& e) {
        if (events_.size() < maxEvents_) events_.push_back(std::move(e));
    }

    std::vector<SoundEvent> events_;
    std::uint32_t tick_ = 0;
    std::size_t maxEvents_;
};

}  // namespace sound
