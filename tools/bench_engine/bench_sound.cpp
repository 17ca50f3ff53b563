// Mixing speed: a 24 fps movie of 600 frames (25 s) built here, with eight 22.05 kHz event
// sounds started in turn (some looping, some under envelopes, up to a dozen voices at once)
// over a 44.1 kHz stream on the root. The ticks are played once; each iteration mixes the
// whole run. items_per_second is seconds of audio mixed per second.
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

#include "player/player.h"
#include "tests/support/swf_writer.h"

namespace {

constexpr int kFrames = 600;
constexpr int kFps = 24;

std::vector<std::uint8_t> SoundMovie() {
    swfw::Movie movie;
    movie.frameRate = kFps << 8;
    for (std::uint16_t id = 1; id <= 8; ++id) {
        swfw::Sound s;
        s.id = id;
        s.format = {swfw::SoundCodec::PcmLittle, 2, true, id % 2 == 0};
        std::vector<std::int16_t> samples(22050 * (id % 2 == 0 ? 2 : 1));
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = static_cast<std::int16_t>(3000 * std::sin(i * 0.01 * id));
        s.sampleCount = 22050;
        s.data = swfw::PcmBytes(samples);
        movie.Define(s);
    }
    swfw::SoundStreamHead head;
    head.format = {swfw::SoundCodec::PcmLittle, 3, true, true};
    head.samplesPerBlock = 44100 / kFps;
    movie.StreamHead(head);
    std::vector<std::int16_t> block(2 * 44100 / kFps);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<std::int16_t>(2000 * std::sin(i * 0.02));
    const auto blockBytes = swfw::PcmBytes(block);
    for (int f = 0; f < kFrames; ++f) {
        if (f % 6 == 0) {
            swfw::SoundInfo info;
            if (f % 12 == 0) info.loops = 2;
            if (f % 18 == 0) info.envelope = {{0, 0, 32768}, {30000, 32768, 0}};
            movie.StartSound(static_cast<std::uint16_t>(1 + (f / 6) % 8), info);
        }
        movie.StreamBlock(blockBytes).ShowFrame();
    }
    return movie.Bytes();
}

void BM_MixSound(benchmark::State& state) {
    std::string error;
    auto player = player::Player::Load(SoundMovie(), &error);
    if (!player) {
        state.SkipWithError(error.c_str());
        return;
    }
    player->PlayTicksFromStart(kFrames - 1);
    benchmark::DoNotOptimize(player->MixAudio(0, kFrames));  // decodes once
    for (auto _ : state) benchmark::DoNotOptimize(player->MixAudio(0, kFrames));
    state.SetItemsProcessed(state.iterations() * kFrames / kFps);
}
BENCHMARK(BM_MixSound)->Unit(benchmark::kMillisecond);

}  // namespace
