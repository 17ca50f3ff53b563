#include "cli/av_writer.h"

#include <algorithm>
#include <cmath>

#include "player/avlib/av_library.h"

namespace cli::av {

namespace {

constexpr int kInputRate = 44100;
constexpr int kChannels = 2;
constexpr std::int64_t kAacBitRate = 160000;
constexpr std::int64_t kOpusBitRate = 128000;
// The most plays an APNG or WebP states (a 16-bit count).
constexpr int kMaxPlays = 65535;

struct Codecs {
    const char* muxer;
    const char* video;
    const char* audio;  // nullptr: no sound
};

// WebP pictures are each encoded whole and the muxer makes them an animation: libwebp's own
// animation encoder codes lossy pictures as changes over earlier ones, and its errors pile up
// from picture to picture.
Codecs CodecsOf(Format format) {
    switch (format) {
        case Format::kMp4: return {"mp4", "libx264", "aac"};
        case Format::kWebm: return {"webm", "libvpx-vp9", "libopus"};
        case Format::kApng: return {"apng", "apng", nullptr};
        case Format::kWebp: return {"webp", "libwebp", nullptr};
    }
    return {"mp4", "libx264", "aac"};
}

std::string AvError(const avlib::Functions& lib, int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    lib.av_strerror(code, text, sizeof text);
    return text;
}

// The pixel format each encoder is fed.
AVPixelFormat PixelFormatOf(Format format, bool alpha) {
    switch (format) {
        case Format::kApng: return alpha ? AV_PIX_FMT_RGBA : AV_PIX_FMT_RGB24;
        case Format::kWebp: return AV_PIX_FMT_BGRA;
        default: return AV_PIX_FMT_YUV420P;
    }
}

}  // namespace

bool CarriesSound(Format format) { return CodecsOf(format).audio != nullptr; }

bool KeepsAlpha(Format format) { return format == Format::kApng || format == Format::kWebp; }

std::string MissingEncoders(Format format, bool sound) {
    const Codecs codecs = CodecsOf(format);
    // Without libavcodec no encoder is there.
    std::string unused;
    const avlib::Functions* lib =
        avlib::Load({avlib::Library::kAvUtil, avlib::Library::kAvCodec}, &unused);
    const auto lacks = [lib](const char* name) {
        return !lib || !lib->avcodec_find_encoder_by_name(name);
    };
    std::string missing;
    if (lacks(codecs.video)) missing = codecs.video;
    if (sound && codecs.audio && lacks(codecs.audio))
        missing += (missing.empty() ? "" : " and ") + std::string(codecs.audio);
    return missing;
}

struct AvWriter::State {
    ~State() {
        if (!lib) return;  // FFmpeg never loaded: nothing was made
        lib->sws_freeContext(scaler);
        lib->swr_free(&resampler);
        lib->av_audio_fifo_free(fifo);
        lib->av_frame_free(&picture);
        lib->av_frame_free(&sound);
        lib->av_packet_free(&packet);
        lib->avcodec_free_context(&video);
        lib->avcodec_free_context(&audio);
        if (output && output->pb) lib->avio_closep(&output->pb);
        lib->avformat_free_context(output);
    }

    const avlib::Functions* lib = nullptr;  // every library the writer uses
    WriterSettings settings;
    AVFormatContext* output = nullptr;
    AVCodecContext* video = nullptr;
    AVCodecContext* audio = nullptr;
    int videoStream = -1;
    int audioStream = -1;
    AVFrame* picture = nullptr;
    AVFrame* sound = nullptr;
    AVPacket* packet = nullptr;
    SwsContext* scaler = nullptr;
    SwrContext* resampler = nullptr;
    AVAudioFifo* fifo = nullptr;
    std::vector<std::uint32_t> padded;  // a picture with its edge repeated to the even size
    std::int64_t pictures = 0;
    std::int64_t soundIn = 0;    // 44.1 kHz frames resampled
    std::int64_t soundOut = 0;   // encoder frames sent
    std::vector<float> held;      // 44.1 kHz sound not yet resampled
    bool headerWritten = false;
};

AvWriter::AvWriter() = default;

AvWriter::~AvWriter() = default;

bool AvWriter::Fail(const std::string& what) {
    if (error_.empty()) error_ = what;
    return false;
}

bool AvWriter::Fail(const std::string& what, int code) {
    return Fail(what + ": " + AvError(*state_->lib, code));
}

bool AvWriter::Open(const std::string& path, const WriterSettings& settings) {
    state_ = std::make_unique<State>();
    State& s = *state_;
    std::string reason;
    s.lib =
        avlib::Load({avlib::Library::kAvUtil, avlib::Library::kAvCodec, avlib::Library::kAvFormat,
                     avlib::Library::kSwResample, avlib::Library::kSwScale},
                    &reason);
    if (!s.lib) return Fail(reason);
    const avlib::Functions& lib = *s.lib;
    // Failures come back as this writer's one-line reasons; the libraries' chatter stays out.
    lib.av_log_set_level(AV_LOG_QUIET);
    s.settings = settings;
    s.settings.sound = settings.sound && CarriesSound(settings.format);
    if (settings.width <= 0 || settings.height <= 0 || settings.rate.num <= 0 ||
        settings.rate.den <= 0)
        return Fail("bad picture size or rate");
    const std::string missing = MissingEncoders(settings.format, s.settings.sound);
    if (!missing.empty())
        return Fail("this system's libavcodec has no " + missing + " encoder");
    const Codecs codecs = CodecsOf(settings.format);
    int rc = lib.avformat_alloc_output_context2(&s.output, nullptr, codecs.muxer, path.c_str());
    if (rc < 0 || !s.output) return Fail("cannot make a " + std::string(codecs.muxer) + " file");
    s.packet = lib.av_packet_alloc();
    if (!s.packet) return Fail("out of memory");
    if (!OpenVideo(s.settings)) return false;
    if (s.settings.sound && !OpenAudio()) return false;
    if ((rc = lib.avio_open(&s.output->pb, path.c_str(), AVIO_FLAG_WRITE)) < 0)
        return Fail("cannot write " + path, rc);
    AVDictionary* options = nullptr;
    const int plays = std::clamp(settings.plays, 0, kMaxPlays);
    if (settings.format == Format::kApng) lib.av_dict_set_int(&options, "plays", plays, 0);
    if (settings.format == Format::kWebp) lib.av_dict_set_int(&options, "loop", plays, 0);
    if (settings.format == Format::kMp4) lib.av_dict_set(&options, "movflags", "+faststart", 0);
    rc = lib.avformat_write_header(s.output, &options);
    lib.av_dict_free(&options);
    if (rc < 0) return Fail("cannot write " + path, rc);
    s.headerWritten = true;
    return true;
}

bool AvWriter::OpenVideo(const WriterSettings& settings) {
    State& s = *state_;
    const avlib::Functions& lib = *s.lib;
    const Codecs codecs = CodecsOf(settings.format);
    const AVCodec* codec = lib.avcodec_find_encoder_by_name(codecs.video);
    AVStream* stream = lib.avformat_new_stream(s.output, nullptr);
    s.video = lib.avcodec_alloc_context3(codec);
    s.picture = lib.av_frame_alloc();
    if (!stream || !s.video || !s.picture) return Fail("out of memory");
    s.videoStream = stream->index;
    const AVPixelFormat format = PixelFormatOf(settings.format, settings.alpha);
    const bool subsampled = format == AV_PIX_FMT_YUV420P;
    // 4:2:0 pictures have whole chroma samples only at even sizes.
    s.video->width = subsampled ? (settings.width + 1) & ~1 : settings.width;
    s.video->height = subsampled ? (settings.height + 1) & ~1 : settings.height;
    s.video->pix_fmt = format;
    s.video->time_base = {settings.rate.den, settings.rate.num};
    s.video->framerate = {settings.rate.num, settings.rate.den};
    if (subsampled) {
        s.video->color_range = AVCOL_RANGE_MPEG;
        s.video->colorspace = AVCOL_SPC_SMPTE170M;
    }
    if (s.output->oformat->flags & AVFMT_GLOBALHEADER)
        s.video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* options = nullptr;
    if (settings.format == Format::kMp4) {
        lib.av_dict_set_int(&options, "crf", settings.crf > 0 ? settings.crf : kDefaultMp4Crf, 0);
        lib.av_dict_set(&options, "preset", "medium", 0);
        lib.av_dict_set(&options, "tune", "animation", 0);
    } else if (settings.format == Format::kWebm) {
        lib.av_dict_set_int(&options, "crf", settings.crf > 0 ? settings.crf : kDefaultWebmCrf, 0);
        lib.av_dict_set(&options, "b", "0", 0);
        lib.av_dict_set(&options, "deadline", "good", 0);
        lib.av_dict_set(&options, "cpu-used", "5", 0);
        lib.av_dict_set(&options, "row-mt", "1", 0);
    } else if (settings.format == Format::kWebp) {
        lib.av_dict_set(&options, "quality", "90", 0);
    }
    int rc = lib.avcodec_open2(s.video, codec, &options);
    lib.av_dict_free(&options);
    if (rc < 0) return Fail(std::string("cannot start the ") + codecs.video + " encoder", rc);
    if ((rc = lib.avcodec_parameters_from_context(stream->codecpar, s.video)) < 0)
        return Fail("cannot describe the video", rc);
    stream->time_base = s.video->time_base;
    stream->avg_frame_rate = s.video->framerate;
    s.picture->format = format;
    s.picture->width = s.video->width;
    s.picture->height = s.video->height;
    if ((rc = lib.av_frame_get_buffer(s.picture, 0)) < 0) return Fail("out of memory", rc);
    s.scaler = lib.sws_getContext(s.video->width, s.video->height, AV_PIX_FMT_BGRA, s.video->width,
                                  s.video->height, format, SWS_BILINEAR | SWS_ACCURATE_RND, nullptr,
                                  nullptr, nullptr);
    if (!s.scaler) return Fail("cannot convert the pictures' colours");
    return true;
}

bool AvWriter::OpenAudio() {
    State& s = *state_;
    const avlib::Functions& lib = *s.lib;
    const Codecs codecs = CodecsOf(s.settings.format);
    const AVCodec* codec = lib.avcodec_find_encoder_by_name(codecs.audio);
    AVStream* stream = lib.avformat_new_stream(s.output, nullptr);
    s.audio = lib.avcodec_alloc_context3(codec);
    s.sound = lib.av_frame_alloc();
    if (!stream || !s.audio || !s.sound) return Fail("out of memory");
    s.audioStream = stream->index;
    // Opus codes 48 kHz; AAC takes the mixer's rate as it is.
    s.audio->sample_rate = s.settings.format == Format::kWebm ? 48000 : kInputRate;
    lib.av_channel_layout_default(&s.audio->ch_layout, kChannels);
    s.audio->sample_fmt = s.settings.format == Format::kWebm ? AV_SAMPLE_FMT_FLT
                                                             : AV_SAMPLE_FMT_FLTP;
    s.audio->bit_rate = s.settings.format == Format::kWebm ? kOpusBitRate : kAacBitRate;
    s.audio->time_base = {1, s.audio->sample_rate};
    if (s.output->oformat->flags & AVFMT_GLOBALHEADER)
        s.audio->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int rc = lib.avcodec_open2(s.audio, codec, nullptr);
    if (rc < 0) return Fail(std::string("cannot start the ") + codecs.audio + " encoder", rc);
    if ((rc = lib.avcodec_parameters_from_context(stream->codecpar, s.audio)) < 0)
        return Fail("cannot describe the sound", rc);
    stream->time_base = s.audio->time_base;
    AVChannelLayout stereo;
    lib.av_channel_layout_default(&stereo, kChannels);
    rc = lib.swr_alloc_set_opts2(&s.resampler, &s.audio->ch_layout, s.audio->sample_fmt,
                                 s.audio->sample_rate, &stereo, AV_SAMPLE_FMT_FLT, kInputRate, 0,
                                 nullptr);
    if (rc < 0 || (rc = lib.swr_init(s.resampler)) < 0)
        return Fail("cannot resample the sound", rc);
    s.fifo = lib.av_audio_fifo_alloc(s.audio->sample_fmt, kChannels, 4096);
    if (!s.fifo) return Fail("out of memory");
    return true;
}

bool AvWriter::WritePicture(const std::uint32_t* pixels, int stride) {
    State& s = *state_;
    const avlib::Functions& lib = *s.lib;
    const int width = s.settings.width, height = s.settings.height;
    const int paddedWidth = s.video->width, paddedHeight = s.video->height;
    const std::uint32_t* source = pixels;
    int sourceStride = stride;
    if (paddedWidth != width || paddedHeight != height) {
        s.padded.resize(std::size_t(paddedWidth) * paddedHeight);
        for (int y = 0; y < paddedHeight; ++y) {
            const std::uint32_t* row = pixels + std::size_t(std::min(y, height - 1)) * stride;
            std::uint32_t* out = s.padded.data() + std::size_t(y) * paddedWidth;
            std::copy(row, row + width, out);
            std::fill(out + width, out + paddedWidth, row[width - 1]);
        }
        source = s.padded.data();
        sourceStride = paddedWidth;
    }
    int rc = lib.av_frame_make_writable(s.picture);
    if (rc < 0) return Fail("out of memory", rc);
    const std::uint8_t* planes[1] = {reinterpret_cast<const std::uint8_t*>(source)};
    const int strides[1] = {sourceStride * 4};
    lib.sws_scale(s.scaler, planes, strides, 0, paddedHeight, s.picture->data, s.picture->linesize);
    s.picture->pts = s.pictures++;
    if ((rc = lib.avcodec_send_frame(s.video, s.picture)) < 0) return Fail("cannot encode", rc);
    return Drain(s.videoStream, false);
}

std::int64_t AvWriter::PicturesEnd() const {
    const State& s = *state_;
    return s.lib->av_rescale(s.pictures, std::int64_t{kInputRate} * s.settings.rate.den,
                             s.settings.rate.num);
}

bool AvWriter::WriteSound(const float* samples, std::size_t frames) {
    State& s = *state_;
    if (!s.settings.sound) return true;
    s.held.insert(s.held.end(), samples, samples + frames * kChannels);
    // Sound past the pictures so far, and the part that may yet fade out, waits.
    const std::int64_t fade = std::llround(kFadeOutSeconds * kInputRate);
    const std::int64_t ready = std::min<std::int64_t>(
        static_cast<std::int64_t>(s.held.size() / kChannels), PicturesEnd() - fade - s.soundIn);
    if (ready <= 0) return true;
    if (!Resample(s.held.data(), static_cast<int>(ready))) return false;
    s.held.erase(s.held.begin(), s.held.begin() + static_cast<std::ptrdiff_t>(ready * kChannels));
    return EncodeSound(false);
}

bool AvWriter::Resample(const float* samples, int count) {
    State& s = *state_;
    const avlib::Functions& lib = *s.lib;
    const std::uint8_t* in[1] = {reinterpret_cast<const std::uint8_t*>(samples)};
    const int capacity = lib.swr_get_out_samples(s.resampler, count);
    if (capacity < 0) return Fail("cannot resample the sound");
    std::uint8_t** out = nullptr;
    int rc = lib.av_samples_alloc_array_and_samples(&out, nullptr, kChannels, std::max(capacity, 1),
                                                    s.audio->sample_fmt, 0);
    if (rc < 0) return Fail("out of memory", rc);
    const int made = lib.swr_convert(s.resampler, out, capacity, samples ? in : nullptr, count);
    if (made > 0 && lib.av_audio_fifo_write(s.fifo, reinterpret_cast<void**>(out), made) < made)
        rc = AVERROR(ENOMEM);
    lib.av_freep(&out[0]);
    lib.av_freep(&out);
    if (made < 0) return Fail("cannot resample the sound", made);
    if (rc < 0) return Fail("out of memory", rc);
    s.soundIn += count;
    return true;
}

// The held sound cut or padded with silence to end with the last picture, its last
// kFadeOutSeconds faded out, and everything the resampler still holds.
bool AvWriter::FinishSound() {
    State& s = *state_;
    const avlib::Functions& lib = *s.lib;
    const std::int64_t end = PicturesEnd();
    const std::int64_t left = std::max<std::int64_t>(0, end - s.soundIn);
    s.held.resize(static_cast<std::size_t>(left) * kChannels, 0.0f);
    const std::int64_t fade = std::min<std::int64_t>(left, std::llround(kFadeOutSeconds * kInputRate));
    for (std::int64_t i = 0; i < fade; ++i) {
        const float gain = static_cast<float>(fade - 1 - i) / static_cast<float>(fade);
        for (int c = 0; c < kChannels; ++c)
            s.held[static_cast<std::size_t>((left - fade + i) * kChannels + c)] *= gain;
    }
    if (left > 0 && !Resample(s.held.data(), static_cast<int>(left))) return false;
    s.held.clear();
    if (!Resample(nullptr, 0)) return false;
    // The resampler's output, trimmed to the pictures' length at the encoder's rate.
    const std::int64_t wanted = lib.av_rescale(end, s.audio->sample_rate, kInputRate);
    const std::int64_t extra = s.soundOut + lib.av_audio_fifo_size(s.fifo) - wanted;
    if (extra > 0) {
        const int keep = std::max(0, lib.av_audio_fifo_size(s.fifo) - static_cast<int>(extra));
        lib.av_audio_fifo_drain(s.fifo, lib.av_audio_fifo_size(s.fifo) - keep);
    }
    return EncodeSound(true) && Drain(s.audioStream, true);
}

bool AvWriter::EncodeSound(bool last) {
    State& s = *state_;
    const avlib::Functions& lib = *s.lib;
    const int size = s.audio->frame_size > 0 ? s.audio->frame_size : 1024;
    while (lib.av_audio_fifo_size(s.fifo) >= size || (last && lib.av_audio_fifo_size(s.fifo) > 0)) {
        const int take = std::min(size, lib.av_audio_fifo_size(s.fifo));
        lib.av_frame_unref(s.sound);
        s.sound->nb_samples = take;
        s.sound->format = s.audio->sample_fmt;
        s.sound->sample_rate = s.audio->sample_rate;
        lib.av_channel_layout_copy(&s.sound->ch_layout, &s.audio->ch_layout);
        int rc = lib.av_frame_get_buffer(s.sound, 0);
        if (rc < 0) return Fail("out of memory", rc);
        if (lib.av_audio_fifo_read(s.fifo, reinterpret_cast<void**>(s.sound->data), take) < take)
            return Fail("cannot buffer the sound");
        s.sound->pts = s.soundOut;
        s.soundOut += take;
        if ((rc = lib.avcodec_send_frame(s.audio, s.sound)) < 0)
            return Fail("cannot encode the sound", rc);
        if (!Drain(s.audioStream, false)) return false;
    }
    return true;
}

bool AvWriter::Drain(int stream, bool flush) {
    State& s = *state_;
    const avlib::Functions& lib = *s.lib;
    AVCodecContext* encoder = stream == s.videoStream ? s.video : s.audio;
    int rc = 0;
    if (flush && (rc = lib.avcodec_send_frame(encoder, nullptr)) < 0)
        return Fail("cannot encode", rc);
    while ((rc = lib.avcodec_receive_packet(encoder, s.packet)) == 0) {
        s.packet->stream_index = stream;
        // Every picture shows for one period of the rate, the last one too.
        if (stream == s.videoStream && s.packet->duration == 0) s.packet->duration = 1;
        lib.av_packet_rescale_ts(s.packet, encoder->time_base,
                                 s.output->streams[stream]->time_base);
        if ((rc = lib.av_interleaved_write_frame(s.output, s.packet)) < 0)
            return Fail("cannot write the file", rc);
    }
    if (rc != AVERROR(EAGAIN) && rc != AVERROR_EOF) return Fail("cannot encode", rc);
    return true;
}

bool AvWriter::Close() {
    if (!state_ || !state_->headerWritten) return Fail("the file was not opened");
    State& s = *state_;
    const avlib::Functions& lib = *s.lib;
    if (s.settings.sound && !FinishSound()) return false;
    if (!Drain(s.videoStream, true)) return false;
    int rc = lib.av_write_trailer(s.output);
    if (rc < 0) return Fail("cannot write the file", rc);
    if (s.output->pb->error < 0) return Fail("cannot write the file", s.output->pb->error);
    if ((rc = lib.avio_closep(&s.output->pb)) < 0) return Fail("cannot write the file", rc);
    return true;
}

}  // namespace cli::av
