// Sound tags of the SWF writer: DefineSound, StartSound/StartSound2, the stream heads and
// ExportAssets.
#include "tests/support/swf_adpcm.h"
#include "tests/support/swf_writer.h"

#include <algorithm>
#include <cstdlib>

namespace swfw {

namespace {

std::uint8_t FormatByte(const SoundFormat& f) {
    return static_cast<std::uint8_t>((static_cast<int>(f.codec) << 4) | ((f.rateCode & 3) << 2) |
                                     (f.sixteenBit ? 2 : 0) | (f.stereo ? 1 : 0));
}

void WriteSoundInfo(BitWriter& out, const SoundInfo& info) {
    out.U8(static_cast<std::uint8_t>((info.stop ? 0x20 : 0) | (info.noMultiple ? 0x10 : 0) |
                                     (!info.envelope.empty() ? 0x08 : 0) |
                                     (info.loops ? 0x04 : 0) | (info.outPoint ? 0x02 : 0) |
                                     (info.inPoint ? 0x01 : 0)));
    if (info.inPoint) out.U32(*info.inPoint);
    if (info.outPoint) out.U32(*info.outPoint);
    if (info.loops) out.U16(*info.loops);
    if (!info.envelope.empty()) {
        out.U8(static_cast<std::uint8_t>(info.envelope.size()));
        for (const SoundEnvelopePoint& p : info.envelope) {
            out.U32(p.position);
            out.U16(p.left);
            out.U16(p.right);
        }
    }
}

constexpr int kAdpcmPacketFrames = 4096;

constexpr int kAdpcmSteps[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,   253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,   876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749,  3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493,  10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

// How the step index moves for each code magnitude, for 2- to 5-bit codes.
int AdpcmIndexChange(int bits, std::uint32_t magnitude) {
    static constexpr int kChanges[4][16] = {
        {-1, 2},
        {-1, -1, 2, 4},
        {-1, -1, -1, -1, 2, 4, 6, 8},
        {-1, -1, -1, -1, -1, -1, -1, -1, 1, 2, 4, 6, 8, 10, 13, 16}};
    return kChanges[bits - 2][magnitude];
}

struct AdpcmChannel {
    int sample = 0;
    int index = 0;
};

// The sample a code gives from the channel's state, as a decoder works it out.
int AdpcmPredict(const AdpcmChannel& c, std::uint32_t code, int bits) {
    const std::uint32_t sign = 1u << (bits - 1);
    int step = kAdpcmSteps[c.index];
    int delta = step >> (bits - 1);
    for (std::uint32_t k = sign >> 1; k != 0; k >>= 1) {
        if (code & k) delta += step;
        step >>= 1;
    }
    return std::clamp(code & sign ? c.sample - delta : c.sample + delta, -32768, 32767);
}

// The code whose prediction lands nearest the sample; the channel moves on with it.
std::uint32_t AdpcmCode(AdpcmChannel& c, int target, int bits) {
    std::uint32_t best = 0;
    int bestError = 1 << 30;
    for (std::uint32_t code = 0; code < (1u << bits); ++code) {
        const int error = std::abs(AdpcmPredict(c, code, bits) - target);
        if (error < bestError) {
            bestError = error;
            best = code;
        }
    }
    c.sample = AdpcmPredict(c, best, bits);
    const std::uint32_t magnitude = best & ((1u << (bits - 1)) - 1);
    c.index = std::clamp(c.index + AdpcmIndexChange(bits, magnitude), 0, 88);
    return best;
}

}  // namespace

Buffer AdpcmBytes(const std::vector<std::int16_t>& samples, int channels, int bits) {
    BitWriter out;
    channels = std::clamp(channels, 1, 2);
    bits = std::clamp(bits, 2, 5);
    out.UB(2, static_cast<std::uint32_t>(bits - 2));
    const std::size_t frames = samples.size() / static_cast<std::size_t>(channels);
    AdpcmChannel state[2];
    for (std::size_t frame = 0; frame < frames; ++frame) {
        const std::size_t at = frame * static_cast<std::size_t>(channels);
        for (int ch = 0; ch < channels; ++ch) {
            const int sample = samples[at + static_cast<std::size_t>(ch)];
            if (frame % kAdpcmPacketFrames == 0) {
                // Each packet restarts from a plain sample, keeping the step reached.
                state[ch].sample = sample;
                out.UB(16, static_cast<std::uint16_t>(sample));
                out.UB(6, static_cast<std::uint32_t>(state[ch].index));
            } else {
                out.UB(bits, AdpcmCode(state[ch], sample, bits));
            }
        }
    }
    return out.Bytes();
}

Buffer PcmBytes(const std::vector<std::int16_t>& samples) {
    BitWriter out;
    for (std::int16_t s : samples) out.S16(s);
    return out.Bytes();
}

RawTag EncodeSound(const Sound& sound) {
    BitWriter out;
    out.U16(sound.id);
    out.U8(FormatByte(sound.format));
    out.U32(sound.sampleCount);
    out.Append(sound.data);
    return RawTag{kDefineSound, out.Bytes()};
}

RawTag EncodeStartSound(std::uint16_t soundId, const SoundInfo& info) {
    BitWriter out;
    out.U16(soundId);
    WriteSoundInfo(out, info);
    return RawTag{kStartSound, out.Bytes()};
}

RawTag EncodeStartSound2(const std::string& className, const SoundInfo& info) {
    BitWriter out;
    out.String(className);
    WriteSoundInfo(out, info);
    return RawTag{kStartSound2, out.Bytes()};
}

RawTag EncodeSoundStreamHead(const SoundStreamHead& head) {
    BitWriter out;
    out.U8(FormatByte(head.format) & 0x0F);
    out.U8(FormatByte(head.format));
    out.U16(head.samplesPerBlock);
    if (head.format.codec == SoundCodec::Mp3) out.S16(head.latencySeek);
    return RawTag{head.version == 1 ? kSoundStreamHead : kSoundStreamHead2, out.Bytes()};
}

RawTag EncodeExport(std::uint16_t characterId, const std::string& name) {
    BitWriter out;
    out.U16(1);
    out.U16(characterId);
    out.String(name);
    return RawTag{kExportAssets, out.Bytes()};
}

}  // namespace swfw
