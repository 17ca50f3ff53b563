// Renders a sound log into 44.1 kHz stereo float samples for any range of ticks: event sounds
// as voices (in and out points, loops, envelopes, no-multiple, stops), streams as runs of
// consecutive blocks. The same log always gives the same samples, whatever the range; the sum
// is clipped to [-1, 1] once, at the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "player/limits.h"
#include "player/sound/decoder.h"
#include "player/sound/sound_log.h"
#include "player/sound/sound_model.h"

namespace sound {

// The mixer's share of a movie's Limits; tests lower them.
struct MixLimits {
    std::size_t maxFramesPerSound = player::Limits{}.maxSoundFrames;
    std::size_t maxCachedBytes = player::Limits{}.maxDecodedSoundBytes;
    std::size_t maxVoices = player::Limits{}.maxVoices;
    std::size_t maxFramesPerCall = player::Limits{}.maxMixSecondsPerCall * kMixRate;
    std::size_t maxReportedProblems = player::Limits{}.maxReportedProblems;

    static MixLimits From(const player::Limits& limits) {
        return {limits.maxSoundFrames, limits.maxDecodedSoundBytes, limits.maxVoices,
                limits.maxMixSecondsPerCall * kMixRate, limits.maxReportedProblems};
    }
};

class Mixer {
  public:
    // sounds: the movie's DefineSound characters by id, kept alive by the caller.
    Mixer(const std::map<std::uint16_t, SoundDefinition>& sounds, double frameRate,
          MixLimits limits = {});
    ~Mixer();

    // Interleaved stereo for ticks [fromTick, toTick): from TickFrame(fromTick) up to
    // TickFrame(toTick), at most maxFramesPerCall frames.
    StereoSamples Mix(const SoundLog& log, std::uint32_t fromTick, std::uint32_t toTick);
    // The first 44.1 kHz frame of a tick: tick / frame rate seconds.
    std::uint64_t TickFrame(std::uint32_t tick) const;
    // Sounds and streams that play silence, one line each.
    const std::vector<std::string>& Problems() const { return problems_; }

  private:
    struct Voice;
    struct Run;
    using Samples = std::shared_ptr<const StereoSamples>;

    Samples Decoded(std::uint16_t soundId);
    Samples DecodedRun(const Run& run);
    static std::uint64_t RunKey(const Run& run);
    void Keep(std::uint64_t key, const Samples& samples);
    void Report(std::uint64_t key, std::string line);

    const std::map<std::uint16_t, SoundDefinition>& sounds_;
    double frameRate_;
    MixLimits limits_;
    std::map<std::uint64_t, Samples> cache_;  // sounds by id, runs by clip and first tick
    // Blocks each run was last decoded from, and the frames that gave (kept when the samples
    // are let go, so a run that ends before a range need not be decoded again).
    std::map<std::uint64_t, std::size_t> runBlocks_;
    std::map<std::uint64_t, std::size_t> runFrames_;
    std::size_t cachedBytes_ = 0;
    std::set<std::uint64_t> reported_;
    std::vector<std::string> problems_;
};

}  // namespace sound
