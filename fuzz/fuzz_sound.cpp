// The sound decoders and the mixer on hostile data. The first byte is a DefineSound format byte
// (codec, rate, size, channels); the second picks what is run on the rest: a whole event
// sound, a stream split into blocks, or sound tags read and mixed with their sound info.
#include <cstdint>
#include <map>
#include <span>
#include <string>

#include "player/sound/decoder.h"
#include "player/sound/mixer.h"
#include "player/sound/sound_log.h"
#include "player/sound/sound_tags.h"

namespace {

// Ten seconds a sound: enough to reach every path, small enough to keep runs fast.
constexpr std::size_t kFuzzFrames = 44100 * 10;

std::uint32_t U32(std::span<const std::uint8_t> d) {
    return d.size() < 4 ? 0 : d[0] | d[1] << 8 | d[2] << 16 | std::uint32_t{d[3]} << 24;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 6) return 0;
    const std::uint8_t format = data[0];
    const std::uint8_t mode = data[1];
    const std::span<const std::uint8_t> rest(data + 2, size - 2);
    // A DefineSound body: id 1, the format byte, the count and the data.
    std::vector<std::uint8_t> body = {1, 0, format};
    body.insert(body.end(), rest.begin(), rest.end());
    std::string problem;
    auto definition = sound::ReadDefineSound(body, &problem);
    if (!definition) return 0;
    switch (mode % 3) {
        case 0:
            sound::DecodeSound(*definition, kFuzzFrames);
            break;
        case 1: {
            // Blocks of the lengths the count's bytes give, through one stream decoder.
            sound::StreamHead head;
            head.format = definition->format;
            sound::StreamDecoder decoder(head, kFuzzFrames);
            sound::StereoSamples out;
            std::span<const std::uint8_t> left = definition->data;
            for (int i = 0; !left.empty(); i = (i + 1) % 4) {
                const std::size_t n = std::min<std::size_t>(left.size(), 1 + ((U32(rest) >> (8 * i)) & 0xFF) * 4);
                if (!decoder.Decode(left.first(n), &out)) break;
                left = left.subspan(n);
            }
            break;
        }
        default: {
            // The data read as a StartSound's info; the sound started on a few ticks and mixed.
            const auto start = sound::ReadStartSound(15, definition->data, &problem);
            if (!start) return 0;
            std::map<std::uint16_t, sound::SoundDefinition> sounds;
            definition->data = {definition->data.begin() + std::min<std::size_t>(8, definition->data.size()),
                                definition->data.end()};
            sounds.emplace(1, *definition);
            sound::SoundLog log(64);
            for (std::uint32_t tick = 0; tick < 4; ++tick) {
                log.SetTick(tick * (mode >> 2));
                log.Start(1, start->info, tick * 1000);
            }
            sound::MixLimits limits;
            limits.maxFramesPerSound = kFuzzFrames;
            limits.maxFramesPerCall = 44100 * 4;
            sound::Mixer mixer(sounds, 1 + (mode >> 4), limits);
            mixer.Mix(log, 0, 1 + (mode & 7));
            break;
        }
    }
    return 0;
}
