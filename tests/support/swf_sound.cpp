// Sound tags of the SWF writer: DefineSound, StartSound/StartSound2, the stream heads and
// ExportAssets.
#include "tests/support/swf_writer.h"

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

}  // namespace

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
