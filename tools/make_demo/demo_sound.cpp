#include "tools/make_demo/demo_sound.h"

#include <cmath>
#include <cstdint>
#include <numbers>

#include "tests/support/swf_adpcm.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}

namespace demo {

namespace {

constexpr int kTuneRate = 22050;
constexpr int kTuneBitRate = 48000;
constexpr int kStreamRate = 11025;
constexpr double kNoteSeconds = 0.25;
constexpr double kPi = std::numbers::pi;

// A pentatonic phrase, in semitones above A4; -99 rests.
constexpr int kMelody[] = {3, 7, 10, 15, 12, 10, 7, 10, 3, 5, 7, -99, 10, 7, 5, 3};
// The bass line under it, in semitones above A1, one note a second.
constexpr int kBass[] = {3, 3, 10, 8, 3, 3, 10, 5, 3, 3};

double Hertz(double base, int semitones) { return base * std::pow(2.0, semitones / 12.0); }

// Plucked notes: a tone and its octave decaying over each note.
std::vector<std::int16_t> Melody() {
    const int perNote = static_cast<int>(kNoteSeconds * kTuneRate);
    std::vector<std::int16_t> samples;
    for (const int note : kMelody) {
        const double f = Hertz(440.0, note);
        for (int i = 0; i < perNote; ++i) {
            const double t = double(i) / kTuneRate;
            const double attack = std::min(1.0, t / 0.005);
            const double level = note == -99 ? 0 : attack * std::exp(-t * 9.0);
            const double wave = std::sin(2 * kPi * f * t) + 0.3 * std::sin(4 * kPi * f * t);
            samples.push_back(static_cast<std::int16_t>(std::lround(9000 * level * wave)));
        }
    }
    samples.resize(samples.size() + kTuneRate / 4, 0);  // room for the encoder's delay
    return samples;
}

// A soft bass, swelling in over the first seconds.
std::vector<std::int16_t> Bass(std::size_t length) {
    std::vector<std::int16_t> samples(length);
    for (std::size_t i = 0; i < length; ++i) {
        const double t = double(i) / kStreamRate;
        const std::size_t second = std::min(i / kStreamRate, std::size(kBass) - 1);
        const double f = Hertz(55.0, kBass[second]);
        const double within = t - double(i / kStreamRate);
        const double level = std::min(1.0, t / 3.0) * (0.6 + 0.4 * std::exp(-within * 4.0));
        const double wave = std::sin(2 * kPi * f * t) + 0.25 * std::sin(6 * kPi * f * t);
        samples[i] = static_cast<std::int16_t>(std::lround(5000 * level * wave));
    }
    return samples;
}

// MP3 frames of mono samples, through libavcodec's libmp3lame encoder, and the samples of
// delay the decoder gives before them.
bool EncodeMp3(const std::vector<std::int16_t>& samples, swfw::Buffer* frames, int* delay,
               std::string* error) {
    const AVCodec* codec = avcodec_find_encoder_by_name("libmp3lame");
    if (!codec) {
        *error = "this libavcodec has no libmp3lame encoder for the demo's tune";
        return false;
    }
    AVCodecContext* encoder = avcodec_alloc_context3(codec);
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    bool ok = encoder && frame && packet;
    if (ok) {
        encoder->sample_rate = kTuneRate;
        encoder->bit_rate = kTuneBitRate;
        encoder->sample_fmt = AV_SAMPLE_FMT_S16P;
        encoder->time_base = {1, kTuneRate};
        av_channel_layout_default(&encoder->ch_layout, 1);
        ok = avcodec_open2(encoder, codec, nullptr) >= 0;
        *delay = ok ? encoder->initial_padding : 0;
    }
    const auto drain = [&] {
        while (avcodec_receive_packet(encoder, packet) == 0) {
            frames->insert(frames->end(), packet->data, packet->data + packet->size);
            av_packet_unref(packet);
        }
    };
    for (std::size_t at = 0; ok && at < samples.size();) {
        const int count = static_cast<int>(
            std::min<std::size_t>(encoder->frame_size, samples.size() - at));
        av_frame_unref(frame);
        frame->nb_samples = count;
        frame->format = encoder->sample_fmt;
        frame->sample_rate = kTuneRate;
        av_channel_layout_copy(&frame->ch_layout, &encoder->ch_layout);
        ok = av_frame_get_buffer(frame, 0) >= 0;
        if (!ok) break;
        std::copy(samples.begin() + at, samples.begin() + at + count,
                  reinterpret_cast<std::int16_t*>(frame->data[0]));
        frame->pts = static_cast<std::int64_t>(at);
        ok = avcodec_send_frame(encoder, frame) >= 0;
        drain();
        at += count;
    }
    if (ok) {
        ok = avcodec_send_frame(encoder, nullptr) >= 0;
        drain();
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&encoder);
    if (!ok) *error = "cannot encode the demo's tune as MP3";
    return ok;
}

}  // namespace

bool MakeSoundTrack(int frames, int rate, std::uint16_t tuneId, SoundTrack* track,
                    std::string* error) {
    const std::vector<std::int16_t> melody = Melody();
    swfw::Buffer mp3;
    int delay = 0;
    if (!EncodeMp3(melody, &mp3, &delay, error)) return false;
    track->tune.id = tuneId;
    track->tune.format = {swfw::SoundCodec::Mp3, 2, true, false};
    // The count takes in the encoder's delay, which the seek samples skip.
    track->tune.sampleCount = static_cast<std::uint32_t>(melody.size() + delay);
    track->tune.data = {static_cast<std::uint8_t>(delay & 0xFF),
                        static_cast<std::uint8_t>((delay >> 8) & 0xFF)};
    track->tune.data.insert(track->tune.data.end(), mp3.begin(), mp3.end());

    // Block k holds the stream's samples from k / rate seconds to (k + 1) / rate.
    const auto blockStart = [rate](int k) {
        return static_cast<std::size_t>(std::int64_t{k} * kStreamRate / rate);
    };
    const std::vector<std::int16_t> bass = Bass(blockStart(frames));
    track->streamHead.format = {swfw::SoundCodec::Adpcm, 1, true, false};
    track->streamHead.samplesPerBlock =
        static_cast<std::uint16_t>(std::lround(double(kStreamRate) / rate));
    track->blocks.clear();
    for (int k = 0; k < frames; ++k) {
        const std::vector<std::int16_t> block(bass.begin() + blockStart(k),
                                              bass.begin() + blockStart(k + 1));
        track->blocks.push_back(swfw::AdpcmBytes(block, 1, 4));
    }
    return true;
}

}  // namespace demo
