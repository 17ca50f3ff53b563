// The mixer over hand-made sound logs: when voices start and end, loops, envelopes, in and out
// points, no-multiple and stop, stream runs, caps, and ranges that agree with each other.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <map>
#include <vector>

#include "player/sound/mixer.h"
#include "player/sound/sound_log.h"
#include "tests/support/swf_writer.h"

namespace {

using sound::SoundInfo;
using sound::SoundLog;

constexpr double kFps = 10.0;
constexpr std::size_t kTick = 4410;  // frames per tick at 10 fps

// Mono 44.1 kHz PCM: `frames` samples of one level, or a ramp (sample i = i).
sound::SoundDefinition Pcm(std::uint16_t id, std::size_t frames, std::int16_t level,
                           bool ramp = false) {
    std::vector<std::int16_t> samples(frames, level);
    if (ramp)
        for (std::size_t i = 0; i < frames; ++i) samples[i] = static_cast<std::int16_t>(i);
    sound::SoundDefinition d;
    d.id = id;
    d.format = {sound::Codec::kPcmLittleEndian, 44100, true, false};
    d.sampleCount = static_cast<std::uint32_t>(frames);
    d.data = swfw::PcmBytes(samples);
    return d;
}

float Left(const std::vector<float>& mix, std::size_t frame) { return mix[frame * 2]; }
float Right(const std::vector<float>& mix, std::size_t frame) { return mix[frame * 2 + 1]; }

// First and one-past-last frames that are not silent.
std::pair<std::size_t, std::size_t> Sounding(const std::vector<float>& mix) {
    std::size_t first = mix.size() / 2, last = 0;
    for (std::size_t f = 0; f < mix.size() / 2; ++f) {
        if (Left(mix, f) == 0 && Right(mix, f) == 0) continue;
        first = std::min(first, f);
        last = f + 1;
    }
    return {first, last};
}

class MixerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sounds_.emplace(1, Pcm(1, kTick, 8192));        // 0.1 s at 0.25
        sounds_.emplace(2, Pcm(2, 3 * kTick, 8192));    // 0.3 s at 0.25
        sounds_.emplace(3, Pcm(3, 4000, 0, true));      // a ramp
        sounds_.emplace(4, Pcm(4, 2 * kTick, 26214));   // 0.2 s at 0.8
        sounds_.emplace(5, Pcm(5, 2 * kTick, -26214));  // 0.2 s at -0.8
    }
    void Start(std::uint32_t tick, std::uint16_t id, SoundInfo info = {}) {
        log_.SetTick(tick);
        log_.Start(id, info);
    }
    std::vector<float> Mix(std::uint32_t from, std::uint32_t to, sound::MixLimits limits = {}) {
        sound::Mixer mixer(sounds_, kFps, limits);
        auto mix = mixer.Mix(log_, from, to);
        problems_ = mixer.Problems();
        return mix;
    }

    std::map<std::uint16_t, sound::SoundDefinition> sounds_;
    SoundLog log_;
    std::vector<std::string> problems_;
};

TEST_F(MixerTest, AnEventSoundStartsAtItsTicksTime) {
    for (const double fps : {10.0, 12.0, 24.0, 30.0}) {
        for (const std::uint32_t tick : {0u, 1u, 3u, 7u}) {
            SCOPED_TRACE(testing::Message() << fps << " fps, tick " << tick);
            SoundLog log;
            log.SetTick(tick);
            log.Start(1, {});
            sound::Mixer mixer(sounds_, fps);
            const auto mix = mixer.Mix(log, 0, 12);
            const double seconds = Sounding(mix).first / 44100.0;
            EXPECT_NEAR(seconds, tick / fps, 0.001);
            EXPECT_EQ(Sounding(mix).second - Sounding(mix).first, kTick);
            EXPECT_FLOAT_EQ(Left(mix, Sounding(mix).first), 0.25f);
            EXPECT_EQ(mix.size(), static_cast<std::size_t>(std::floor(12 / fps * 44100)) * 2);
        }
    }
}

TEST_F(MixerTest, ALoopCountPlaysThatManyTimes) {
    const struct {
        std::uint16_t loops;
        std::size_t frames;
    } cases[] = {{0, kTick}, {1, kTick}, {3, 3 * kTick}, {7, 7 * kTick}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.loops);
        log_.Clear();
        SoundInfo info;
        info.loops = c.loops;
        Start(1, 1, info);
        const auto [first, last] = Sounding(Mix(0, 20));
        EXPECT_EQ(first, kTick);
        EXPECT_EQ(last - first, c.frames);
    }
}

TEST_F(MixerTest, AnEnvelopeSetsEachSidesLevelAtItsPoints) {
    SoundInfo info;
    info.envelope = {{1000, 0, 32768}, {3000, 32768, 16384}};
    Start(0, 1, info);
    const auto mix = Mix(0, 1);
    const struct {
        std::size_t frame;
        float left, right;
    } points[] = {{0, 0.0f, 0.25f},       {1000, 0.0f, 0.25f},  {2000, 0.125f, 0.1875f},
                  {3000, 0.25f, 0.125f},  {4000, 0.25f, 0.125f}};
    for (const auto& p : points) {
        SCOPED_TRACE(p.frame);
        EXPECT_NEAR(Left(mix, p.frame), p.left, 1e-6);
        EXPECT_NEAR(Right(mix, p.frame), p.right, 1e-6);
    }
}

TEST_F(MixerTest, InAndOutPointsCutTheSoundAndEveryLoop) {
    SoundInfo info;
    info.inPoint = 1000;
    info.outPoint = 3000;
    info.loops = 2;
    Start(0, 3, info);
    const auto mix = Mix(0, 2);
    EXPECT_FLOAT_EQ(Left(mix, 0), 1000 / 32768.0f);
    EXPECT_FLOAT_EQ(Left(mix, 1999), 2999 / 32768.0f);
    EXPECT_FLOAT_EQ(Left(mix, 2000), 1000 / 32768.0f);  // the second loop
    EXPECT_EQ(Sounding(mix).second, 4000u);
    // Points past the sound's end keep to the sound.
    log_.Clear();
    info = {};
    info.inPoint = 3900;
    info.outPoint = 1u << 30;
    Start(0, 3, info);
    EXPECT_EQ(Sounding(Mix(0, 2)).second, 100u);
}

TEST_F(MixerTest, NoMultipleAndStop) {
    SoundInfo once;
    once.noMultiple = true;
    SoundInfo stop;
    stop.stop = true;
    Start(0, 2);
    Start(1, 2, once);  // still playing: not started again
    Start(1, 1);
    Start(2, 2);        // a plain start adds a voice
    Start(4, 2, stop);  // stops both voices of sound 2
    Start(5, 2, once);  // nothing of sound 2 plays: starts
    const auto mix = Mix(0, 10);
    EXPECT_FLOAT_EQ(Left(mix, kTick / 2), 0.25f);
    EXPECT_FLOAT_EQ(Left(mix, kTick + kTick / 2), 0.5f);          // sounds 2 and 1
    EXPECT_FLOAT_EQ(Left(mix, 2 * kTick + kTick / 2), 0.5f);      // two voices of 2
    EXPECT_FLOAT_EQ(Left(mix, 3 * kTick + kTick / 2), 0.25f);     // the first has ended
    EXPECT_FLOAT_EQ(Left(mix, 4 * kTick + kTick / 2), 0.0f);      // stopped
    EXPECT_FLOAT_EQ(Left(mix, 5 * kTick + kTick / 2), 0.25f);
    EXPECT_EQ(Sounding(mix).second, 8 * kTick);
}

TEST_F(MixerTest, TheSumIsClippedOnceAtTheEnd) {
    Start(0, 4);
    Start(0, 4);
    Start(0, 5);
    Start(1, 4);
    const auto mix = Mix(0, 2);
    EXPECT_NEAR(Left(mix, 10), 0.8f, 1e-4);        // 0.8 + 0.8 - 0.8, not 1 - 0.8
    EXPECT_FLOAT_EQ(Left(mix, kTick + 10), 1.0f);  // 1.6 clipped
}

TEST_F(MixerTest, VoicesPastTheCapAreLeftOutWithOneProblem) {
    sound::MixLimits limits;
    limits.maxVoices = 2;
    for (int i = 0; i < 5; ++i) Start(0, 1);
    const auto mix = Mix(0, 1, limits);
    EXPECT_FLOAT_EQ(Left(mix, 0), 0.5f);
    EXPECT_EQ(problems_.size(), 1u);
}

TEST_F(MixerTest, UndecodableSoundsAreSilentAndReportedOnce) {
    auto broken = Pcm(9, 10, 100);
    broken.sampleCount = 1u << 30;
    sounds_.emplace(9, broken);
    Start(0, 9);
    Start(1, 9);
    Start(2, 1);
    Start(3, 9);
    Start(3, 77);  // not defined: plays nothing, reports nothing
    const auto mix = Mix(0, 5);
    EXPECT_EQ(Sounding(mix), std::make_pair(2 * kTick, 3 * kTick));
    ASSERT_EQ(problems_.size(), 1u);
    EXPECT_NE(problems_[0].find("sound 9"), std::string::npos);
}

TEST_F(MixerTest, AnyRangeGivesTheSamplesOfTheWhole) {
    SoundInfo info;
    info.loops = 3;
    info.envelope = {{0, 0, 0}, {20000, 32768, 32768}};
    Start(0, 2, info);
    Start(3, 3);
    Start(5, 1);
    const auto whole = Mix(0, 12);
    std::vector<float> pieces;
    for (std::uint32_t t = 0; t < 12; t += 5) {
        const auto piece = Mix(t, std::min(t + 5, 12u));
        pieces.insert(pieces.end(), piece.begin(), piece.end());
    }
    EXPECT_EQ(pieces, whole);
}

TEST_F(MixerTest, NothingLoggedIsSilence) {
    const auto mix = Mix(3, 8);
    EXPECT_EQ(mix.size(), 5 * kTick * 2);
    EXPECT_EQ(Sounding(mix).second, 0u);
    EXPECT_TRUE(Mix(8, 3).empty());
}

TEST_F(MixerTest, AStreamPlaysItsBlocksAtTheirFramesAndRestartsAfterAGap) {
    sound::StreamHead head;
    head.format = {sound::Codec::kPcmLittleEndian, 44100, true, false};
    head.samplesPerBlock = kTick;
    std::vector<std::vector<std::uint8_t>> blocks;
    for (int i = 1; i <= 4; ++i)
        blocks.push_back(swfw::PcmBytes(std::vector<std::int16_t>(kTick, i * 3277)));
    // Frames 0-2 of clip 1 on ticks 2-4; after a gap, frame 3 on tick 6.
    for (int i = 0; i < 3; ++i) {
        log_.SetTick(2 + i);
        log_.StreamBlock(1, i, head, blocks[i]);
    }
    log_.SetTick(6);
    log_.StreamBlock(1, 3, head, blocks[3]);
    const auto mix = Mix(0, 9);
    for (std::size_t tick = 0; tick < 9; ++tick) {
        SCOPED_TRACE(tick);
        const float expected = tick >= 2 && tick <= 4 ? (tick - 1) * 3277 / 32768.0f
                               : tick == 6             ? 4 * 3277 / 32768.0f
                                                       : 0.0f;
        EXPECT_FLOAT_EQ(Left(mix, tick * kTick + 7), expected);
        EXPECT_FLOAT_EQ(Right(mix, tick * kTick + kTick - 1), expected);
    }
}

TEST_F(MixerTest, CorruptStreamBlocksSilenceTheirRunWithOneProblem) {
    sound::StreamHead head;
    head.format = {sound::Codec::kNellymoser, 44100, true, false};
    head.format.codec = static_cast<sound::Codec>(9);
    const std::vector<std::uint8_t> block(64, 1);
    for (int i = 0; i < 3; ++i) {
        log_.SetTick(i);
        log_.StreamBlock(1, i, head, block);
    }
    EXPECT_EQ(Sounding(Mix(0, 4)).second, 0u);
    EXPECT_EQ(problems_.size(), 1u);
}

TEST_F(MixerTest, TheLogKeepsAtMostItsCap) {
    SoundLog log(3);
    for (int i = 0; i < 10; ++i) log.Start(1, {});
    EXPECT_EQ(log.Events().size(), 3u);
    EXPECT_TRUE(log.Full());
}

}  // namespace
