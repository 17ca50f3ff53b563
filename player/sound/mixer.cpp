#include "player/sound/mixer.h"

#include <algorithm>
#include <cmath>
#include <tuple>

namespace sound {

namespace {

constexpr double kFullLevel = 32768.0;
constexpr double kDefaultFrameRate = 12.0;
constexpr std::uint64_t kRunKeyBit = std::uint64_t{1} << 63;
constexpr double kRunSeconds = 60.0;

// An envelope's level for one channel at a frame of the voice: straight lines between its
// points, the first point's level before it and the last one's after it.
double EnvelopeLevel(const std::vector<EnvelopePoint>& points, std::uint64_t at, int channel) {
    const auto level = [channel](const EnvelopePoint& p) {
        return (channel == 0 ? p.left : p.right) / kFullLevel;
    };
    auto next = std::upper_bound(points.begin(), points.end(), at,
                                 [](std::uint64_t v, const EnvelopePoint& p) { return v < p.position; });
    if (next == points.begin()) return level(points.front());
    if (next == points.end()) return level(points.back());
    const EnvelopePoint& a = *(next - 1);
    const EnvelopePoint& b = *next;
    const double t = static_cast<double>(at - a.position) / (b.position - a.position);
    return level(a) + (level(b) - level(a)) * t;
}

std::size_t Bytes(const StereoSamples& s) { return s.size() * sizeof(float); }

// Levels from a movie frame on, in the order they were set.
using LevelChanges = std::vector<std::pair<std::uint64_t, SoundLevels>>;

// Walks a list of level changes along increasing frames.
class LevelCursor {
  public:
    explicit LevelCursor(const LevelChanges& changes) : changes_(changes) {}
    // The levels at `frame`, or null while they are the recorded sound's own.
    const SoundLevels* At(std::uint64_t frame) {
        while (next_ < changes_.size() && changes_[next_].first <= frame) ++next_;
        if (next_ == 0) return nullptr;
        const SoundLevels& levels = changes_[next_ - 1].second;
        return levels.Identity() ? nullptr : &levels;
    }

  private:
    const LevelChanges& changes_;
    std::size_t next_ = 0;
};

void AddFrame(float* out, float left, float right, const SoundLevels* levels) {
    if (levels) {
        out[0] += left * levels->ll + right * levels->lr;
        out[1] += right * levels->rr + left * levels->rl;
    } else {
        out[0] += left;
        out[1] += right;
    }
}

}  // namespace

// An event sound playing from `start` (inclusive) to `end` (exclusive), in 44.1 kHz frames of
// movie time: the frames [in, in + segment) of its samples over and over, from `skip` on.
struct Mixer::Voice {
    std::size_t order = 0;  // its start's place in the log: voices are summed in this order
    std::uint16_t soundId = 0;
    Samples samples;
    const SoundInfo* info = nullptr;
    std::uint64_t start = 0;
    std::uint64_t end = 0;
    std::uint64_t in = 0;
    std::uint64_t segment = 0;
    std::uint64_t skip = 0;
    std::uint64_t group = 0;
    LevelChanges levels;
};

// Consecutive frames of one clip that carry stream blocks: one decoder, played as one piece
// from its first block's time.
struct Mixer::Run {
    std::uint64_t clip = 0;
    std::uint32_t firstTick = 0;
    std::uint32_t lastTick = 0;
    int lastFrame = 0;
    const StreamHead* head = nullptr;
    std::vector<std::span<const std::uint8_t>> blocks;
};

Mixer::Mixer(const std::map<std::uint16_t, SoundDefinition>& sounds, double frameRate,
             MixLimits limits)
    : sounds_(sounds),
      frameRate_(frameRate > 0 && std::isfinite(frameRate) ? frameRate : kDefaultFrameRate),
      limits_(limits) {}

Mixer::~Mixer() = default;

std::uint64_t Mixer::TickFrame(std::uint32_t tick) const {
    return static_cast<std::uint64_t>(std::floor(tick * static_cast<double>(kMixRate) / frameRate_));
}

void Mixer::Report(std::uint64_t key, std::string line) {
    if (line.empty() || !reported_.insert(key).second) return;
    if (problems_.size() < limits_.maxReportedProblems) problems_.push_back(std::move(line));
}

void Mixer::Keep(std::uint64_t key, const Samples& samples) {
    if (cachedBytes_ + Bytes(*samples) > limits_.maxCachedBytes) {
        cache_.clear();
        cachedBytes_ = 0;
    }
    cachedBytes_ += Bytes(*samples);
    cache_[key] = samples;
}

Mixer::Samples Mixer::Decoded(std::uint16_t soundId) {
    if (auto it = cache_.find(soundId); it != cache_.end()) return it->second;
    auto found = sounds_.find(soundId);
    if (found == sounds_.end()) return nullptr;  // a start of an undefined id plays nothing
    DecodedSound decoded = DecodeSound(found->second, limits_.maxFramesPerSound);
    Report(soundId, decoded.problem);
    auto samples = std::make_shared<const StereoSamples>(std::move(decoded.samples));
    Keep(soundId, samples);
    return samples;
}

std::uint64_t Mixer::RunKey(const Run& run) {
    return kRunKeyBit | (run.clip << 32) | run.firstTick;
}

Mixer::Samples Mixer::DecodedRun(const Run& run) {
    const std::uint64_t key = RunKey(run);
    if (auto it = cache_.find(key); it != cache_.end() && runBlocks_[key] == run.blocks.size())
        return it->second;
    StereoSamples out;
    StreamDecoder decoder(*run.head, limits_.maxFramesPerSound);
    for (const auto& block : run.blocks) {
        if (decoder.Decode(block, &out)) continue;
        Report(key, "stream sound at tick " + std::to_string(run.firstTick) + ": " +
                        decoder.Problem());
        out = {};
        break;
    }
    if (decoder.Capped())
        Report(key, "stream sound at tick " + std::to_string(run.firstTick) +
                        ": longer than the engine plays; its start plays");
    auto samples = std::make_shared<const StereoSamples>(std::move(out));
    Keep(key, samples);
    runBlocks_[key] = run.blocks.size();
    runFrames_[key] = samples->size() / 2;
    return samples;
}

StereoSamples Mixer::Mix(const SoundLog& log, std::uint32_t fromTick, std::uint32_t toTick) {
    const std::uint64_t first = TickFrame(fromTick);
    std::uint64_t last = std::max(first, TickFrame(std::max(fromTick, toTick)));
    last = std::min(last, first + limits_.maxFramesPerCall);

    // Voices and runs are laid out from the start of the log, so a range sees exactly what a
    // longer one would; only those that reach the range are kept.
    std::vector<Voice> live;
    std::vector<Voice> voices;
    std::map<std::uint64_t, Run> openRuns;
    std::vector<Run> runs;
    const auto retire = [&](std::uint64_t now) {
        for (auto it = live.begin(); it != live.end();) {
            if (it->end > now) {
                ++it;
                continue;
            }
            if (it->end > first) voices.push_back(std::move(*it));
            it = live.erase(it);
        }
    };
    // A long stream is cut into runs of a minute, each decoded afresh from its own first
    // tick: no run passes the per-sound cap, and a long mix never decodes more than one run
    // again for its next piece.
    const std::uint32_t runTicks =
        std::max<std::uint32_t>(1, static_cast<std::uint32_t>(kRunSeconds * frameRate_));
    // The levels each group plays at as the log goes on; streams follow the movie's.
    std::map<std::uint64_t, SoundLevels> groupLevels;
    LevelChanges movieLevels;
    const auto levelsOf = [&](std::uint64_t group) {
        const SoundLevels movie = groupLevels[0];
        return group == 0 ? movie : movie.Then(groupLevels[group]);
    };
    const auto& events = log.Events();
    for (std::size_t index = 0; index < events.size(); ++index) {
        const SoundEvent& e = events[index];
        if (e.tick >= toTick) break;
        const std::uint64_t now = TickFrame(e.tick);
        retire(now);
        switch (e.kind) {
            case SoundEvent::Kind::kStop:
            case SoundEvent::Kind::kStopAll:
            case SoundEvent::Kind::kStopGroup:
                for (Voice& v : live)
                    if (e.kind == SoundEvent::Kind::kStopAll ||
                        (e.kind == SoundEvent::Kind::kStop && v.soundId == e.soundId) ||
                        (e.kind == SoundEvent::Kind::kStopGroup && v.group == e.group))
                        v.end = now;
                retire(now);
                break;
            case SoundEvent::Kind::kLevels:
                groupLevels[e.group] = e.levels;
                for (Voice& v : live)
                    if (e.group == 0 || v.group == e.group)
                        v.levels.emplace_back(now, levelsOf(v.group));
                if (e.group == 0) movieLevels.emplace_back(now, e.levels);
                break;
            case SoundEvent::Kind::kStart: {
                if (e.info.noMultiple &&
                    std::any_of(live.begin(), live.end(),
                                [&](const Voice& v) { return v.soundId == e.soundId; }))
                    break;
                Samples samples = Decoded(e.soundId);
                if (!samples || samples->empty()) break;
                if (live.size() >= limits_.maxVoices) {
                    Report(kRunKeyBit - 1, "more sounds at once than the mixer plays; some are "
                                           "left out");
                    break;
                }
                const std::uint64_t length = samples->size() / 2;
                Voice v;
                v.order = index;
                v.soundId = e.soundId;
                v.info = &e.info;
                v.in = std::min<std::uint64_t>(e.info.inPoint.value_or(0), length);
                const std::uint64_t out =
                    std::clamp<std::uint64_t>(e.info.outPoint.value_or(length), v.in, length);
                v.segment = out - v.in;
                const std::uint64_t total =
                    v.segment * std::max<std::uint64_t>(e.info.loops, 1);
                v.skip = std::min<std::uint64_t>(e.offsetFrames, total);
                v.start = now;
                v.end = now + (total - v.skip);
                v.group = e.group;
                if (const SoundLevels levels = levelsOf(e.group); !levels.Identity())
                    v.levels.emplace_back(now, levels);
                if (v.segment == 0 || v.end == v.start) break;
                v.samples = std::move(samples);
                live.push_back(std::move(v));
                break;
            }
            case SoundEvent::Kind::kStreamBlock: {
                if (!e.head) break;
                auto it = openRuns.find(e.clip);
                if (it != openRuns.end() &&
                    (e.tick != it->second.lastTick + 1 || e.frame != it->second.lastFrame + 1 ||
                     e.head != it->second.head || e.tick - it->second.firstTick >= runTicks)) {
                    runs.push_back(std::move(it->second));
                    openRuns.erase(it);
                    it = openRuns.end();
                }
                if (it == openRuns.end()) {
                    Run run;
                    run.clip = e.clip;
                    run.firstTick = e.tick;
                    run.head = e.head;
                    it = openRuns.emplace(e.clip, std::move(run)).first;
                }
                it->second.lastTick = e.tick;
                it->second.lastFrame = e.frame;
                it->second.blocks.push_back(e.block);
                break;
            }
        }
    }
    retire(last);
    for (Voice& v : live) voices.push_back(std::move(v));
    for (auto& [clip, run] : openRuns) runs.push_back(std::move(run));
    // Floating-point sums depend on their order: the same in every range.
    std::sort(voices.begin(), voices.end(),
              [](const Voice& a, const Voice& b) { return a.order < b.order; });
    std::sort(runs.begin(), runs.end(), [](const Run& a, const Run& b) {
        return std::tie(a.firstTick, a.clip) < std::tie(b.firstTick, b.clip);
    });

    StereoSamples mix((last - first) * 2, 0.0f);
    for (const Voice& v : voices) {
        const std::uint64_t from = std::max(v.start, first);
        const std::uint64_t to = std::min(v.end, last);
        const StereoSamples& s = *v.samples;
        const auto& envelope = v.info->envelope;
        LevelCursor levels(v.levels);
        for (std::uint64_t f = from; f < to; ++f) {
            const std::uint64_t played = f - v.start + v.skip;
            const std::size_t at = static_cast<std::size_t>(v.in + played % v.segment) * 2;
            float left = s[at], right = s[at + 1];
            if (!envelope.empty()) {
                left *= static_cast<float>(EnvelopeLevel(envelope, played, 0));
                right *= static_cast<float>(EnvelopeLevel(envelope, played, 1));
            }
            AddFrame(&mix[(f - first) * 2], left, right, levels.At(f));
        }
    }
    for (const Run& run : runs) {
        const std::uint64_t start = TickFrame(run.firstTick);
        if (start >= last) continue;
        const std::uint64_t key = RunKey(run);
        if (auto known = runFrames_.find(key);
            known != runFrames_.end() && runBlocks_[key] == run.blocks.size() &&
            start + known->second <= first)
            continue;  // a complete run known to end before the range
        const Samples samples = DecodedRun(run);
        const std::uint64_t end = start + samples->size() / 2;
        LevelCursor levels(movieLevels);
        for (std::uint64_t f = std::max(start, first); f < std::min(end, last); ++f)
            AddFrame(&mix[(f - first) * 2], (*samples)[(f - start) * 2],
                     (*samples)[(f - start) * 2 + 1], levels.At(f));
    }
    for (float& x : mix) x = std::clamp(x, -1.0f, 1.0f);
    return mix;
}

}  // namespace sound
