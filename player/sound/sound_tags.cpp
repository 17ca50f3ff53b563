#include "player/sound/sound_tags.h"

#include <cstddef>

namespace sound {

namespace {

// Little-endian fields over a tag body; a read past the end fails from then on.
class FieldReader {
  public:
    explicit FieldReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::uint8_t U8() { return Has(1) ? bytes_[pos_++] : 0; }
    std::uint16_t U16() {
        if (!Has(2)) return 0;
        const auto v = static_cast<std::uint16_t>(bytes_[pos_] | (bytes_[pos_ + 1] << 8));
        pos_ += 2;
        return v;
    }
    std::uint32_t U32() {
        const std::uint32_t low = U16();
        return low | (std::uint32_t{U16()} << 16);
    }
    std::string String() {
        std::string s;
        while (Has(1)) {
            const char c = static_cast<char>(bytes_[pos_++]);
            if (c == '\0') return s;
            s.push_back(c);
        }
        failed_ = true;
        return s;
    }
    std::span<const std::uint8_t> Rest() const { return bytes_.subspan(pos_); }
    std::size_t Left() const { return bytes_.size() - pos_; }
    bool Failed() const { return failed_; }
    void Fail() { failed_ = true; }

  private:
    bool Has(std::size_t n) {
        if (failed_ || bytes_.size() - pos_ < n) {
            failed_ = true;
            return false;
        }
        return true;
    }

    std::span<const std::uint8_t> bytes_;
    std::size_t pos_ = 0;
    bool failed_ = false;
};

constexpr int kRates[4] = {5512, 11025, 22050, 44100};

// The format byte shared by DefineSound and the stream head: codec, rate, size, channels.
SoundFormat ReadFormat(std::uint8_t bits) {
    SoundFormat f;
    f.codec = static_cast<Codec>(bits >> 4);
    f.rate = kRates[(bits >> 2) & 3];
    f.sixteenBit = (bits & 2) != 0;
    f.stereo = (bits & 1) != 0;
    // Nellymoser's fixed-rate variants and Speex name their own rate.
    if (f.codec == Codec::kNellymoser16k || f.codec == Codec::kSpeex) f.rate = 16000;
    if (f.codec == Codec::kNellymoser8k) f.rate = 8000;
    return f;
}

SoundInfo ReadSoundInfo(FieldReader& in) {
    SoundInfo info;
    const std::uint8_t flags = in.U8();
    info.stop = (flags & 0x20) != 0;
    info.noMultiple = (flags & 0x10) != 0;
    if (flags & 0x01) info.inPoint = in.U32();
    if (flags & 0x02) info.outPoint = in.U32();
    if (flags & 0x04) info.loops = in.U16();
    if (flags & 0x08) {
        const std::uint8_t points = in.U8();
        // Each point takes 8 bytes; a count the body cannot hold fails before anything is kept.
        if (in.Left() < std::size_t{points} * 8) {
            in.Fail();
            return info;
        }
        info.envelope.reserve(points);
        for (int i = 0; i < points; ++i) {
            EnvelopePoint p;
            p.position = in.U32();
            p.left = in.U16();
            p.right = in.U16();
            info.envelope.push_back(p);
        }
    }
    return info;
}

}  // namespace

double Duration(const SoundDefinition& sound) {
    return sound.format.rate > 0 ? static_cast<double>(sound.sampleCount) / sound.format.rate
                                 : 0.0;
}

std::optional<SoundDefinition> ReadDefineSound(std::span<const std::uint8_t> body,
                                               std::string* problem) {
    FieldReader in(body);
    SoundDefinition sound;
    sound.id = in.U16();
    sound.format = ReadFormat(in.U8());
    sound.sampleCount = in.U32();
    if (in.Failed()) {
        *problem = "DefineSound is cut short";
        return std::nullopt;
    }
    const auto rest = in.Rest();
    sound.data.assign(rest.begin(), rest.end());
    return sound;
}

std::optional<StartSound> ReadStartSound(std::uint16_t code, std::span<const std::uint8_t> body,
                                         std::string* problem) {
    FieldReader in(body);
    StartSound start;
    if (code == kTagStartSound2)
        start.className = in.String();
    else
        start.soundId = in.U16();
    start.info = ReadSoundInfo(in);
    if (in.Failed()) {
        *problem = code == kTagStartSound2 ? "StartSound2 is cut short" : "StartSound is cut short";
        return std::nullopt;
    }
    return start;
}

std::optional<StreamHead> ReadStreamHead(std::span<const std::uint8_t> body,
                                         std::string* problem) {
    FieldReader in(body);
    StreamHead head;
    in.U8();  // the playback format: a hint for the player's output, not the data's
    head.format = ReadFormat(in.U8());
    head.samplesPerBlock = in.U16();
    if (head.format.codec == Codec::kMp3 && in.Left() >= 2)
        head.latencySeek = static_cast<std::int16_t>(in.U16());
    if (in.Failed()) {
        *problem = "SoundStreamHead is cut short";
        return std::nullopt;
    }
    return head;
}

}  // namespace sound
