// The movie's sounds as plain structs read from their tags: sound definitions, the sound info
// of a start, and a timeline's stream head. Sample data stays as stored until it is mixed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sound {

// The codec numbers as the tags store them.
enum class Codec : std::uint8_t {
    kPcmNativeEndian = 0,  // little-endian in practice, as every movie was written on one
    kAdpcm = 1,
    kMp3 = 2,
    kPcmLittleEndian = 3,
    kNellymoser16k = 4,
    kNellymoser8k = 5,
    kNellymoser = 6,
    kSpeex = 11,
};

struct SoundFormat {
    Codec codec = Codec::kPcmLittleEndian;
    int rate = 5512;  // samples per second per channel, from the 2-bit rate field
    bool sixteenBit = true;
    bool stereo = false;
    bool operator==(const SoundFormat&) const = default;
};

// DefineSound: an event sound in the library.
struct SoundDefinition {
    std::uint16_t id = 0;
    SoundFormat format;
    std::uint32_t sampleCount = 0;  // per channel, as stated
    std::vector<std::uint8_t> data;  // MP3: SeekSamples (S16) and then the frames
};

// One point of a volume envelope: levels 0..32768 at a position in 44.1 kHz samples from the
// start of the sound's playing.
struct EnvelopePoint {
    std::uint32_t position = 0;
    std::uint16_t left = 0;
    std::uint16_t right = 0;
    bool operator==(const EnvelopePoint&) const = default;
};

// SOUNDINFO: how a start plays its sound.
struct SoundInfo {
    bool stop = false;        // stops the sound's voices instead of starting one
    bool noMultiple = false;  // not started while the sound already plays
    std::optional<std::uint32_t> inPoint;   // 44.1 kHz samples into the sound
    std::optional<std::uint32_t> outPoint;  // 44.1 kHz samples into the sound
    std::uint16_t loops = 1;
    std::vector<EnvelopePoint> envelope;
    bool operator==(const SoundInfo&) const = default;
};

// StartSound (by id) or StartSound2 (by the class name its sound is exported under).
struct StartSound {
    std::uint16_t soundId = 0;
    std::string className;  // StartSound2 only
    SoundInfo info;
};

// SoundStreamHead/SoundStreamHead2: the format of a timeline's stream blocks.
struct StreamHead {
    SoundFormat format;
    std::uint16_t samplesPerBlock = 0;
    std::int16_t latencySeek = 0;  // MP3 only
};

// How a group of sounds reaches the speakers: the left speaker plays left * ll + right * lr,
// the right one right * rr + left * rl, volume folded in (1 = as recorded).
struct SoundLevels {
    float ll = 1, lr = 0, rr = 1, rl = 0;
    bool operator==(const SoundLevels&) const = default;
    bool Identity() const { return *this == SoundLevels{}; }
    // `inner` first, then this.
    SoundLevels Then(const SoundLevels& inner) const {
        return {ll * inner.ll + lr * inner.rl, ll * inner.lr + lr * inner.rr,
                rl * inner.lr + rr * inner.rr, rl * inner.ll + rr * inner.rl};
    }
};

// Seconds a definition plays once, from its stated sample count and rate.
double Duration(const SoundDefinition& sound);

}  // namespace sound
