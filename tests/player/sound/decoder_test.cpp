// Sound decoding: the format's ADPCM and PCM against samples worked out by hand, conversion to
// 44.1 kHz stereo, and data that is cut short or cannot be decoded.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "player/sound/adpcm.h"
#include "player/sound/decoder.h"
#include "player/sound/sound_tags.h"
#include "tests/support/bit_writer.h"
#include "tests/support/swf_adpcm.h"
#include "tests/support/swf_writer.h"

namespace {

using sound::Codec;
using sound::DecodeAdpcm;
using swfw::BitWriter;

constexpr std::size_t kNoCap = 1u << 24;

struct AdpcmCase {
    const char* name;
    int bits;
    std::vector<std::uint32_t> codes;
    std::vector<std::int16_t> expected;  // the initial sample first
};

// One mono packet: code size, initial sample 1000 at step index 0, then the codes.
std::vector<std::uint8_t> MonoPacket(int bits, std::int16_t initial, int index,
                                     const std::vector<std::uint32_t>& codes) {
    BitWriter out;
    out.UB(2, static_cast<std::uint32_t>(bits - 2));
    out.SB(16, initial);
    out.UB(6, static_cast<std::uint32_t>(index));
    for (std::uint32_t c : codes) out.UB(bits, c);
    out.Align();
    return out.Bytes();
}

TEST(AdpcmTest, DecodesEachCodeSizeAsWorkedOut) {
    // Step 7 at index 0. 4 bits, code 0111: 7>>3 + 7 + 3 + 1 = 11, index 0+8; code 1000 at
    // step 16: -(16>>3) = -2, index 8-1; code 0011 at step 14: 1 + 7 + 3 = 11, index 6.
    const AdpcmCase cases[] = {
        {"2 bits", 2, {0b01, 0b11}, {1000, 1010, 997}},        // +3+7; step 9: -(4+9)
        {"3 bits", 3, {0b011, 0b100}, {1000, 1011, 1009}},     // +1+7+3; step 11: -(11>>2)
        {"4 bits", 4, {0b0111, 0b1000, 0b0011}, {1000, 1011, 1009, 1020}},
        {"5 bits", 5, {0b01111, 0b10000}, {1000, 1011, 1009}},  // +0+7+3+1; step 34: -(34>>4)
    };
    for (const AdpcmCase& c : cases) {
        SCOPED_TRACE(c.name);
        const auto samples = DecodeAdpcm(MonoPacket(c.bits, 1000, 0, c.codes), 1, kNoCap);
        // Padding bits of the last byte may hold one more short code; the worked ones come first.
        ASSERT_GE(samples.size(), c.expected.size());
        EXPECT_EQ(std::vector<std::int16_t>(samples.begin(), samples.begin() + c.expected.size()),
                  c.expected);
    }
}

TEST(AdpcmTest, StereoInterleavesChannelsAndClampsToSixteenBits) {
    BitWriter out;
    out.UB(2, 2);  // 4 bits
    out.SB(16, 32760);
    out.UB(6, 0);
    out.SB(16, -5);
    out.UB(6, 0);
    out.UB(4, 0b0111);  // left: +11, clamped at 32767
    out.UB(4, 0b1111);  // right: -11
    out.Align();
    const auto samples = DecodeAdpcm(out.Bytes(), 2, kNoCap);
    ASSERT_GE(samples.size(), 4u);
    EXPECT_EQ(samples[0], 32760);
    EXPECT_EQ(samples[1], -5);
    EXPECT_EQ(samples[2], 32767);
    EXPECT_EQ(samples[3], -16);
}

TEST(AdpcmTest, EveryPacketStartsAfresh) {
    BitWriter out;
    out.UB(2, 0);  // 2 bits
    out.SB(16, 0);
    out.UB(6, 0);
    for (int i = 1; i < 4096; ++i) out.UB(2, 0);
    out.SB(16, 5000);
    out.UB(6, 0);
    out.UB(2, 0);
    out.Align();
    const auto samples = DecodeAdpcm(out.Bytes(), 1, kNoCap);
    ASSERT_GE(samples.size(), 4098u);
    EXPECT_EQ(samples[4096], 5000);
    EXPECT_EQ(samples[4097], 5003);  // 7 >> 1
}

TEST(AdpcmTest, StopsAtTheCapAndAtAHeaderCutShort) {
    const auto packet = MonoPacket(4, 1000, 0, std::vector<std::uint32_t>(100, 1));
    EXPECT_EQ(DecodeAdpcm(packet, 1, 10).size(), 10u);
    EXPECT_TRUE(DecodeAdpcm(std::vector<std::uint8_t>{0x80, 0x01}, 1, kNoCap).empty());
    EXPECT_TRUE(DecodeAdpcm({}, 1, kNoCap).empty());
}

sound::SoundDefinition Definition(Codec codec, int rate, bool sixteen, bool stereo,
                                  std::uint32_t count, std::vector<std::uint8_t> data) {
    sound::SoundDefinition d;
    d.id = 7;
    d.format = {codec, rate, sixteen, stereo};
    d.sampleCount = count;
    d.data = std::move(data);
    return d;
}

TEST(DecodeSoundTest, PcmBecomesStereoFloat) {
    struct Case {
        const char* name;
        sound::SoundDefinition sound;
        std::vector<float> expected;  // left, right, ...
    };
    const Case cases[] = {
        {"16-bit mono", Definition(Codec::kPcmLittleEndian, 44100, true, false, 2,
                                   swfw::PcmBytes({16384, -32768})),
         {0.5f, 0.5f, -1.0f, -1.0f}},
        {"16-bit stereo", Definition(Codec::kPcmNativeEndian, 44100, true, true, 1,
                                     swfw::PcmBytes({8192, -8192})),
         {0.25f, -0.25f}},
        {"8-bit unsigned", Definition(Codec::kPcmLittleEndian, 44100, false, false, 3,
                                      {128, 192, 0}),
         {0.0f, 0.0f, 0.5f, 0.5f, -1.0f, -1.0f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto decoded = sound::DecodeSound(c.sound, kNoCap);
        EXPECT_EQ(decoded.problem, "");
        EXPECT_EQ(decoded.samples, c.expected);
    }
}

TEST(DecodeSoundTest, LowerRatesAreResampledToTheMixRate) {
    std::vector<std::int16_t> tone(5512);
    for (std::size_t i = 0; i < tone.size(); ++i)
        tone[i] = static_cast<std::int16_t>(8000 * std::sin(i * 2 * M_PI * 200 / 5512.0));
    const auto decoded = sound::DecodeSound(
        Definition(Codec::kPcmLittleEndian, 5512, true, false, 5512, swfw::PcmBytes(tone)), kNoCap);
    ASSERT_EQ(decoded.problem, "");
    // One second of source makes one second at 44.1 kHz, within the converter's edge.
    EXPECT_NEAR(static_cast<double>(decoded.samples.size() / 2), 44100.0, 50.0);
    float peak = 0;
    for (float s : decoded.samples) peak = std::max(peak, std::fabs(s));
    EXPECT_NEAR(peak, 8000 / 32768.0, 0.02);
}

TEST(DecodeSoundTest, BadDataGivesSilenceAndAReason) {
    struct Case {
        const char* name;
        sound::SoundDefinition sound;
        const char* reason;
    };
    const Case cases[] = {
        {"PCM cut short", Definition(Codec::kPcmLittleEndian, 44100, true, false, 1000,
                                     swfw::PcmBytes({1, 2, 3})),
         "data ends after 3 of 1000 samples"},
        {"ADPCM cut short", Definition(Codec::kAdpcm, 22050, true, false, 4096,
                                       MonoPacket(4, 0, 0, {1, 2, 3})),
         "data ends after"},
        {"MP3 of noise", Definition(Codec::kMp3, 44100, true, false, 1152 * 4,
                                    std::vector<std::uint8_t>(600, 0x5A)),
         "data ends after 0 of"},
        {"MP3 without its seek field", Definition(Codec::kMp3, 44100, true, false, 10, {1}),
         "cut short"},
        {"unknown codec", Definition(static_cast<Codec>(9), 44100, true, false, 10, {1, 2}),
         "not supported"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto decoded = sound::DecodeSound(c.sound, kNoCap);
        EXPECT_TRUE(decoded.samples.empty());
        EXPECT_NE(decoded.problem.find(c.reason), std::string::npos) << decoded.problem;
        EXPECT_EQ(decoded.problem.rfind("sound 7: ", 0), 0u);
    }
}

TEST(DecodeSoundTest, NellymoserDecodesThroughTheLibrary) {
    // Any 64 bytes are a Nellymoser block of 256 samples.
    std::vector<std::uint8_t> data(64 * 10);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 37);
    const auto decoded = sound::DecodeSound(
        Definition(Codec::kNellymoser8k, 8000, true, false, 2560, data), kNoCap);
    EXPECT_EQ(decoded.problem, "");
    EXPECT_NEAR(static_cast<double>(decoded.samples.size() / 2), 2560 * 44100 / 8000.0, 40.0);
}

TEST(SoundTagsTest, ReadsStartSoundInfoAndRejectsEnvelopesPastTheBody) {
    swfw::SoundInfo info;
    info.inPoint = 10;
    info.outPoint = 20;
    info.loops = 3;
    info.noMultiple = true;
    info.envelope = {{0, 1, 2}, {100, 3, 4}};
    const auto tag = swfw::EncodeStartSound(5, info);
    std::string problem;
    const auto start = sound::ReadStartSound(tag.code, tag.body, &problem);
    ASSERT_TRUE(start);
    EXPECT_EQ(start->soundId, 5);
    EXPECT_EQ(start->info.inPoint, 10u);
    EXPECT_EQ(start->info.outPoint, 20u);
    EXPECT_EQ(start->info.loops, 3);
    EXPECT_TRUE(start->info.noMultiple);
    EXPECT_FALSE(start->info.stop);
    EXPECT_EQ(start->info.envelope,
              (std::vector<sound::EnvelopePoint>{{0, 1, 2}, {100, 3, 4}}));

    // The envelope claims 255 points in a 2-point body.
    auto lying = tag.body;
    lying[2 + 1 + 4 + 4 + 2] = 255;
    EXPECT_FALSE(sound::ReadStartSound(tag.code, lying, &problem));
    EXPECT_NE(problem, "");
    auto cut = tag.body;
    cut.resize(5);
    EXPECT_FALSE(sound::ReadStartSound(tag.code, cut, &problem));
}

TEST(SoundTagsTest, ReadsFormatsOfDefinitionsAndStreamHeads) {
    swfw::Sound s;
    s.id = 3;
    s.format = {swfw::SoundCodec::Adpcm, 1, true, true};
    s.sampleCount = 99;
    s.data = {1, 2, 3};
    std::string problem;
    const auto tag = swfw::EncodeSound(s);
    const auto sound = sound::ReadDefineSound(tag.body, &problem);
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->format, (sound::SoundFormat{Codec::kAdpcm, 11025, true, true}));
    EXPECT_EQ(sound->sampleCount, 99u);
    EXPECT_EQ(sound->data, (std::vector<std::uint8_t>{1, 2, 3}));

    swfw::SoundStreamHead head;
    head.format = {swfw::SoundCodec::Nellymoser8k, 0, true, false};
    head.samplesPerBlock = 512;
    const auto headTag = swfw::EncodeSoundStreamHead(head);
    const auto read = sound::ReadStreamHead(headTag.body, &problem);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->format.rate, 8000);
    EXPECT_EQ(read->samplesPerBlock, 512);
    EXPECT_FALSE(sound::ReadDefineSound(std::vector<std::uint8_t>{1, 0, 0x3E}, &problem));
}

}  // namespace

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}

namespace {

// A mono tone as MP3 frames, made with the library's LAME encoder; empty without it.
std::vector<std::uint8_t> Mp3Tone(int rate, int frames) {
    const AVCodec* codec = avcodec_find_encoder_by_name("libmp3lame");
    if (!codec) return {};
    AVCodecContext* c = avcodec_alloc_context3(codec);
    c->sample_rate = rate;
    c->sample_fmt = AV_SAMPLE_FMT_S16P;
    c->bit_rate = 64000;
    av_channel_layout_default(&c->ch_layout, 1);
    std::vector<std::uint8_t> out;
    if (avcodec_open2(c, codec, nullptr) < 0) {
        avcodec_free_context(&c);
        return out;
    }
    AVFrame* f = av_frame_alloc();
    AVPacket* p = av_packet_alloc();
    const auto drain = [&](AVFrame* frame) {
        avcodec_send_frame(c, frame);
        while (avcodec_receive_packet(c, p) == 0) {
            out.insert(out.end(), p->data, p->data + p->size);
            av_packet_unref(p);
        }
    };
    for (int at = 0; at < frames; at += c->frame_size) {
        f->nb_samples = c->frame_size;
        f->format = c->sample_fmt;
        av_channel_layout_copy(&f->ch_layout, &c->ch_layout);
        av_frame_get_buffer(f, 0);
        auto* s = reinterpret_cast<std::int16_t*>(f->data[0]);
        for (int i = 0; i < c->frame_size; ++i)
            s[i] = static_cast<std::int16_t>(10000 * std::sin((at + i) * 2 * M_PI * 440 / rate));
        drain(f);
        av_frame_unref(f);
    }
    drain(nullptr);
    av_packet_free(&p);
    av_frame_free(&f);
    avcodec_free_context(&c);
    return out;
}

TEST(DecodeSoundTest, Mp3DecodesWholeAndAsAStreamAlike) {
    const auto mp3 = Mp3Tone(22050, 22050);
    if (mp3.empty()) GTEST_SKIP() << "no MP3 encoder";
    std::vector<std::uint8_t> data = {0, 0};  // no seek samples
    data.insert(data.end(), mp3.begin(), mp3.end());
    const auto whole =
        sound::DecodeSound(Definition(Codec::kMp3, 22050, true, false, 22050, data), kNoCap);
    ASSERT_EQ(whole.problem, "");
    EXPECT_EQ(whole.samples.size(), 44100u * 2);  // ends at the stated count
    float peak = 0;
    for (float s : whole.samples) peak = std::max(peak, std::fabs(s));
    EXPECT_NEAR(peak, 10000 / 32768.0, 0.05);

    // The same frames in blocks of odd sizes, each with its sample count and seek fields.
    sound::StreamHead head;
    head.format = {Codec::kMp3, 22050, true, false};
    sound::StreamDecoder stream(head, kNoCap);
    sound::StereoSamples streamed;
    for (std::size_t at = 0; at < mp3.size(); at += 417) {
        std::vector<std::uint8_t> block = {0, 0, 0, 0};
        block.insert(block.end(), mp3.begin() + at, mp3.begin() + std::min(mp3.size(), at + 417));
        ASSERT_TRUE(stream.Decode(block, &streamed)) << stream.Problem();
    }
    ASSERT_GE(streamed.size(), whole.samples.size() - 2048);
    for (std::size_t i = 0; i + 2048 < whole.samples.size(); ++i)
        ASSERT_FLOAT_EQ(streamed[i], whole.samples[i]) << i;
}

TEST(DecodeSoundTest, TheCapKeepsTheStartAndSaysSo) {
    const auto decoded = sound::DecodeSound(
        Definition(Codec::kPcmLittleEndian, 11025, true, false, 11025,
                   swfw::PcmBytes(std::vector<std::int16_t>(11025, 100))),
        1000);
    EXPECT_EQ(decoded.samples.size(), 2000u);
    EXPECT_NE(decoded.problem.find("longer than the engine plays"), std::string::npos);
}

}  // namespace

namespace {

// The SWF writer's ADPCM encoder (which the demo movie's stream uses) against our decoder: a
// tone over several packets comes back close, in mono and stereo, at each code size.
TEST(AdpcmTest, WritersEncodingDecodesBackNearTheSamples) {
    const struct {
        int channels, bits;
        double minSnrDb;
    } cases[] = {{1, 2, 6}, {1, 3, 14}, {1, 4, 20}, {1, 5, 26}, {2, 4, 20}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.channels) + " channels, " + std::to_string(c.bits) + " bits");
        constexpr int kFrames = 9000;  // three packets, the last one short
        std::vector<std::int16_t> samples;
        for (int i = 0; i < kFrames; ++i)
            for (int ch = 0; ch < c.channels; ++ch)
                samples.push_back(static_cast<std::int16_t>(
                    12000 * std::sin(i * (0.031 + 0.02 * ch)) * (i < 4500 ? 1.0 : 0.25)));
        const auto decoded = DecodeAdpcm(swfw::AdpcmBytes(samples, c.channels, c.bits),
                                         c.channels, kNoCap);
        // Padding bits of the last byte may decode as one more code.
        ASSERT_GE(decoded.size(), samples.size());
        ASSERT_LE(decoded.size(), samples.size() + std::size_t(c.channels));
        double signal = 0, noise = 0;
        for (std::size_t i = 0; i < samples.size(); ++i) {
            signal += double(samples[i]) * samples[i];
            noise += std::pow(double(decoded[i]) - samples[i], 2);
        }
        EXPECT_GT(10 * std::log10(signal / std::max(noise, 1.0)), c.minSnrDb);
    }
}

}  // namespace
