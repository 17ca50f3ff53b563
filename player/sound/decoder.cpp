#include "player/sound/decoder.h"

#include <algorithm>
#include <cstring>

#include "player/avlib/av_library.h"
#include "player/sound/adpcm.h"

namespace sound {

namespace {

// Nellymoser's packets are 64 bytes, each 256 samples.
constexpr std::size_t kNellymoserPacket = 64;

// Source samples a codec may come short of the stated count by: its last frame.
std::uint32_t FrameSlack(Codec codec) {
    switch (codec) {
        case Codec::kMp3:
            return 1152;
        case Codec::kNellymoser:
        case Codec::kNellymoser8k:
        case Codec::kNellymoser16k:
            return 256;
        case Codec::kSpeex:
            return 320;
        default:
            return 0;
    }
}

const char* DecoderName(Codec codec) {
    switch (codec) {
        case Codec::kMp3:
            return "mp3float";
        case Codec::kNellymoser:
        case Codec::kNellymoser8k:
        case Codec::kNellymoser16k:
            return "nellymoser";
        case Codec::kSpeex:
            return "libspeex";
        default:
            return nullptr;
    }
}

bool IsPcm(Codec codec) {
    return codec == Codec::kPcmNativeEndian || codec == Codec::kPcmLittleEndian;
}

}  // namespace

// One sound's decoding pipeline: the codec (ours or libavcodec's) and the conversion to the
// mix format. FFmpeg's libraries are loaded when a sound first needs them.
class Pipeline {
  public:
    Pipeline(SoundFormat f, std::size_t cap) : format(f), maxFrames(cap) {}
    ~Pipeline() {
        // Each handle was made by a library that had loaded.
        if (swr) lib->swr_free(&swr);
        if (parser) lib->av_parser_close(parser);
        if (context) lib->avcodec_free_context(&context);
        if (frame) lib->av_frame_free(&frame);
        if (packet) lib->av_packet_free(&packet);
    }

    bool LoadLibraries(std::initializer_list<avlib::Library> libraries, std::string* problem) {
        const avlib::Functions* loaded = avlib::Load(libraries, problem);
        if (!loaded) return false;
        lib = loaded;
        return true;
    }

    // Decodes data and appends its samples to out; false with *problem on failure.
    bool Feed(std::span<const std::uint8_t> data, StereoSamples* out, std::string* problem) {
        if (Full()) return true;
        if (IsPcm(format.codec)) return FeedPcm(data, out, problem);
        if (format.codec == sound::Codec::kAdpcm) {
            const int channels = format.stereo ? 2 : 1;
            const std::size_t limit = SourceFramesLeft(format.rate);
            const auto pcm = DecodeAdpcm(data, channels, limit);
            capped = capped || pcm.size() / channels >= limit;
            return ConvertInterleaved(pcm, out, problem);
        }
        if (!OpenLibraryDecoder(problem)) return false;
        if (format.codec == sound::Codec::kMp3) return FeedParsed(data, out, problem);
        const std::size_t step =
            format.codec == sound::Codec::kSpeex ? data.size() : kNellymoserPacket;
        for (std::size_t at = 0; at < data.size() && !Full(); at += step) {
            const std::size_t n = std::min(step, data.size() - at);
            if (!SendPacket(data.subspan(at, n), out, problem)) return false;
        }
        return true;
    }

    // Drains what the resampler holds back (event sounds, at their end).
    bool Flush(StereoSamples* out, std::string* problem) {
        if (!swr) return true;
        return Convert(nullptr, 0, out, problem);
    }

    // Source frames that still fit under the cap (one more, for the converter's rounding).
    std::size_t SourceFramesLeft(int rate) const {
        const std::size_t left = maxFrames - std::min(maxFrames, produced);
        return static_cast<std::size_t>(static_cast<std::uint64_t>(left) *
                                        static_cast<std::uint64_t>(std::max(rate, 1)) /
                                        kMixRate) +
               1;
    }
    bool Full() const { return produced >= maxFrames; }

    bool FeedPcm(std::span<const std::uint8_t> data, StereoSamples* out, std::string* problem) {
        const std::size_t frameBytes = (format.sixteenBit ? 2u : 1u) * (format.stereo ? 2u : 1u);
        const std::size_t limit = SourceFramesLeft(format.rate) * frameBytes;
        capped = capped || data.size() > limit;
        data = data.first(std::min(data.size(), limit));
        std::vector<std::int16_t> pcm;
        if (format.sixteenBit) {
            pcm.resize(data.size() / 2);
            for (std::size_t i = 0; i < pcm.size(); ++i)
                pcm[i] = static_cast<std::int16_t>(data[2 * i] | (data[2 * i + 1] << 8));
        } else {
            // 8-bit samples are unsigned, 128 being silence.
            pcm.resize(data.size());
            for (std::size_t i = 0; i < pcm.size(); ++i)
                pcm[i] = static_cast<std::int16_t>((data[i] - 128) * 256);
        }
        if (format.stereo && pcm.size() % 2) pcm.pop_back();
        return ConvertInterleaved(pcm, out, problem);
    }

    bool ConvertInterleaved(const std::vector<std::int16_t>& pcm, StereoSamples* out,
                            std::string* problem) {
        const int channels = format.stereo ? 2 : 1;
        if (!Configure(AV_SAMPLE_FMT_S16, format.rate, channels, problem)) return false;
        const auto* plane = reinterpret_cast<const std::uint8_t*>(pcm.data());
        return Convert(&plane, static_cast<int>(pcm.size() / channels), out, problem);
    }

    bool OpenLibraryDecoder(std::string* problem) {
        if (context) return true;
        if (!LoadLibraries({avlib::Library::kAvUtil, avlib::Library::kAvCodec}, problem))
            return false;
        // Problems are reported once per sound; the library's own messages would repeat them
        // on stderr.
        lib->av_log_set_level(AV_LOG_QUIET);
        const char* name = DecoderName(format.codec);
        const AVCodec* codec = name ? lib->avcodec_find_decoder_by_name(name) : nullptr;
        if (!codec) {
            *problem = "sound codec " + std::to_string(static_cast<int>(format.codec)) +
                       " is not supported";
            return false;
        }
        context = lib->avcodec_alloc_context3(codec);
        frame = lib->av_frame_alloc();
        packet = lib->av_packet_alloc();
        if (!context || !frame || !packet) {
            *problem = "cannot start the sound decoder";
            return false;
        }
        context->sample_rate = format.rate;
        lib->av_channel_layout_default(&context->ch_layout, format.stereo ? 2 : 1);
        if (format.codec == sound::Codec::kMp3) parser = lib->av_parser_init(codec->id);
        if (lib->avcodec_open2(context, codec, nullptr) < 0) {
            *problem = std::string("cannot open the ") + name + " decoder";
            lib->avcodec_free_context(&context);
            return false;
        }
        return true;
    }

    // MP3 data split into frames by libavcodec's parser.
    bool FeedParsed(std::span<const std::uint8_t> data, StereoSamples* out,
                    std::string* problem) {
        if (!parser) {
            *problem = "cannot start the MP3 parser";
            return false;
        }
        // The parser reads a few bytes past its input: give it a padded copy.
        std::vector<std::uint8_t> padded(data.begin(), data.end());
        padded.resize(data.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        const std::uint8_t* at = padded.data();
        int left = static_cast<int>(data.size());
        while (left > 0 && !Full()) {
            std::uint8_t* frameData = nullptr;
            int frameSize = 0;
            const int used = lib->av_parser_parse2(parser, context, &frameData, &frameSize, at,
                                                   left, AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
            if (used < 0) {
                *problem = "corrupt MP3 data";
                return false;
            }
            at += used;
            left -= used;
            if (frameSize > 0 && !SendPacket({frameData, static_cast<std::size_t>(frameSize)},
                                             out, problem))
                return false;
            if (used == 0 && frameSize == 0) break;
        }
        return true;
    }

    bool SendPacket(std::span<const std::uint8_t> bytes, StereoSamples* out,
                    std::string* problem) {
        if (lib->av_new_packet(packet, static_cast<int>(bytes.size())) < 0) {
            *problem = "cannot allocate a sound packet";
            return false;
        }
        std::memcpy(packet->data, bytes.data(), bytes.size());
        const int sent = lib->avcodec_send_packet(context, packet);
        lib->av_packet_unref(packet);
        if (sent < 0 && sent != AVERROR(EAGAIN)) {
            *problem = "corrupt sound data";
            return false;
        }
        while (lib->avcodec_receive_frame(context, frame) == 0) {
            const bool ok = ConvertFrame(out, problem);
            lib->av_frame_unref(frame);
            if (!ok) return false;
        }
        return true;
    }

    bool ConvertFrame(StereoSamples* out, std::string* problem) {
        const int channels = frame->ch_layout.nb_channels;
        if (channels < 1 || channels > 2 || frame->sample_rate <= 0) {
            *problem = "sound data decodes to an unusable format";
            return false;
        }
        if (!Configure(static_cast<AVSampleFormat>(frame->format), frame->sample_rate, channels,
                       problem))
            return false;
        return Convert(const_cast<const std::uint8_t**>(frame->extended_data), frame->nb_samples,
                       out, problem);
    }

    // (Re)creates the converter when the input's format changes.
    bool Configure(AVSampleFormat sampleFormat, int rate, int channels, std::string* problem) {
        if (swr && sampleFormat == inFormat && rate == inRate && channels == inChannels)
            return true;
        if (!LoadLibraries({avlib::Library::kAvUtil, avlib::Library::kSwResample}, problem))
            return false;
        lib->swr_free(&swr);
        AVChannelLayout in, stereo;
        lib->av_channel_layout_default(&in, channels);
        lib->av_channel_layout_default(&stereo, 2);
        // Mono plays at full level on both sides (the default mix would lower it by 3 dB).
        static constexpr double kMonoToBoth[2] = {1.0, 1.0};
        if (lib->swr_alloc_set_opts2(&swr, &stereo, AV_SAMPLE_FMT_FLT, kMixRate, &in, sampleFormat,
                                     rate, 0, nullptr) < 0 ||
            (channels == 1 && lib->swr_set_matrix(swr, kMonoToBoth, 1) < 0) ||
            lib->swr_init(swr) < 0) {
            lib->swr_free(&swr);
            *problem = "cannot convert the sound's samples";
            return false;
        }
        inFormat = sampleFormat;
        inRate = rate;
        inChannels = channels;
        return true;
    }

    bool Convert(const std::uint8_t** in, int count, StereoSamples* out, std::string* problem) {
        // Input past the cap is not converted at all: a few bytes of low-rate data would
        // otherwise make gigabytes of output first.
        if (count > 0 && static_cast<std::size_t>(count) > SourceFramesLeft(inRate)) {
            count = static_cast<int>(SourceFramesLeft(inRate));
            capped = true;
        }
        sourceFrames += static_cast<std::size_t>(std::max(count, 0));
        const int room = lib->swr_get_out_samples(swr, count);
        if (room <= 0) return true;
        const std::size_t left = maxFrames - std::min(maxFrames, produced);
        const std::size_t take = std::min<std::size_t>(static_cast<std::size_t>(room), left);
        const std::size_t start = out->size();
        out->resize(start + static_cast<std::size_t>(room) * 2);
        auto* target = reinterpret_cast<std::uint8_t*>(out->data() + start);
        const int made = lib->swr_convert(swr, &target, room, in, count);
        if (made < 0) {
            out->resize(start);
            *problem = "cannot convert the sound's samples";
            return false;
        }
        const std::size_t kept = std::min<std::size_t>(static_cast<std::size_t>(made), take);
        out->resize(start + kept * 2);
        produced += kept;
        capped = capped || kept < static_cast<std::size_t>(made);
        return true;
    }

    SoundFormat format;
    std::size_t maxFrames;
    std::size_t produced = 0;      // frames at kMixRate
    std::size_t sourceFrames = 0;  // frames at the source's rate
    bool capped = false;           // frames were left out for the cap
    const avlib::Functions* lib = nullptr;  // FFmpeg, once this sound has needed it
    AVCodecContext* context = nullptr;
    AVCodecParserContext* parser = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    SwrContext* swr = nullptr;
    AVSampleFormat inFormat = AV_SAMPLE_FMT_NONE;
    int inRate = 0;
    int inChannels = 0;
};

DecodedSound DecodeSound(const SoundDefinition& sound, std::size_t maxFrames) {
    DecodedSound result;
    std::span<const std::uint8_t> data = sound.data;
    std::uint32_t seekSamples = 0;
    if (sound.format.codec == Codec::kMp3) {
        if (data.size() < 2) {
            result.problem = "sound " + std::to_string(sound.id) + ": MP3 data is cut short";
            return result;
        }
        seekSamples = static_cast<std::uint16_t>(data[0] | (data[1] << 8));
        data = data.subspan(2);
    }
    Pipeline codec(sound.format, maxFrames);
    std::string problem;
    if (!codec.Feed(data, &result.samples, &problem) || !codec.Flush(&result.samples, &problem)) {
        result.samples = {};
        result.problem = "sound " + std::to_string(sound.id) + ": " + problem;
        return result;
    }
    if (codec.capped) {
        result.problem = "sound " + std::to_string(sound.id) +
                         ": longer than the engine plays; its first " +
                         std::to_string(maxFrames / kMixRate) + " seconds play";
    } else if (codec.sourceFrames + FrameSlack(sound.format.codec) < sound.sampleCount) {
        result.samples = {};
        result.problem = "sound " + std::to_string(sound.id) + ": data ends after " +
                         std::to_string(codec.sourceFrames) + " of " +
                         std::to_string(sound.sampleCount) + " samples";
        return result;
    }
    // The stated count ends the sound (a codec's last frame may run past it); MP3's seek
    // samples are the encoder's delay at its start.
    const auto toMix = [&](std::uint64_t n) {
        return static_cast<std::size_t>(n * kMixRate / static_cast<std::uint64_t>(sound.format.rate));
    };
    const std::size_t frames = std::min(result.samples.size() / 2, toMix(sound.sampleCount));
    result.samples.resize(frames * 2);
    const std::size_t skip = std::min(frames, toMix(seekSamples));
    result.samples.erase(result.samples.begin(),
                         result.samples.begin() + static_cast<std::ptrdiff_t>(skip * 2));
    return result;
}

StreamDecoder::StreamDecoder(const StreamHead& head, std::size_t maxFrames)
    : codec_(std::make_unique<Pipeline>(head.format, maxFrames)) {}

StreamDecoder::~StreamDecoder() = default;

bool StreamDecoder::Decode(std::span<const std::uint8_t> block, StereoSamples* out) {
    if (!problem_.empty()) return false;
    if (codec_->Full()) {  // past the cap: left out
        capped_ = capped_ || !block.empty();
        return true;
    }
    // An MP3 block starts with its sample count and seek samples.
    if (codec_->format.codec == sound::Codec::kMp3) {
        if (block.size() < 4) return true;
        block = block.subspan(4);
    }
    if (codec_->Feed(block, out, &problem_)) {
        capped_ = capped_ || codec_->capped;
        return true;
    }
    if (problem_.empty()) problem_ = "stream sound cannot be decoded";
    return false;
}

}  // namespace sound
