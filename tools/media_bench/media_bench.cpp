// Speed of the media units on worst-case and typical inputs: run
// build/tools/media_bench/media_bench.
#include <benchmark/benchmark.h>

#include <vector>

#include "player/media/blend.h"
#include "player/media/filters.h"
#include "player/media/video_decoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace media {
namespace {

Image Layer(int size) {
    Image image;
    AllocateImage(image, size, size, player::Limits{}.maxLayerPixels);
    for (int y = size / 4; y < size * 3 / 4; ++y)
        for (int x = size / 4; x < size * 3 / 4; ++x) image.At(x, y) = 0xFFCC3366;
    return image;
}

// The hostile case: 255 passes of a 255-pixel blur on a 4000 x 4000 layer.
void BM_WorstCaseBlur(benchmark::State& state) {
    const Image source = Layer(4000);
    for (auto _ : state) {
        Image layer = source;
        ApplyFilter(layer, BlurFilter{255, 255, 255}, player::Limits{}.maxLayerPixels);
        benchmark::DoNotOptimize(layer.argb.data());
    }
}
BENCHMARK(BM_WorstCaseBlur)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_WorstCaseDropShadow(benchmark::State& state) {
    const Image source = Layer(4000);
    DropShadowFilter f;
    f.blurX = f.blurY = 255;
    f.passes = 255;
    for (auto _ : state) {
        Image layer = source;
        ApplyFilter(layer, f, player::Limits{}.maxLayerPixels);
        benchmark::DoNotOptimize(layer.argb.data());
    }
}
BENCHMARK(BM_WorstCaseDropShadow)->Unit(benchmark::kMillisecond)->Iterations(2);

// A typical banner effect: a 3-pass 8-pixel glow on a 400 x 400 layer.
void BM_TypicalGlow(benchmark::State& state) {
    const Image source = Layer(400);
    GlowFilter f;
    f.blurX = f.blurY = 8;
    f.passes = 3;
    for (auto _ : state) {
        Image layer = source;
        ApplyFilter(layer, f, player::Limits{}.maxLayerPixels);
        benchmark::DoNotOptimize(layer.argb.data());
    }
}
BENCHMARK(BM_TypicalGlow)->Unit(benchmark::kMillisecond);

void BM_MultiplyBlend(benchmark::State& state) {
    const Image source = Layer(1000);
    Image dest = Layer(1000);
    for (auto _ : state) {
        Blend(dest, source, 0, 0, BlendMode::kMultiply);
        benchmark::DoNotOptimize(dest.argb.data());
    }
}
BENCHMARK(BM_MultiplyBlend)->Unit(benchmark::kMillisecond);

// 50 frames of a moving gradient, 320 x 240, through libavcodec's Sorenson H.263 encoder.
std::vector<std::vector<std::uint8_t>> EncodeH263Stream() {
    std::vector<std::vector<std::uint8_t>> packets;
    const AVCodec* encoder = avcodec_find_encoder(AV_CODEC_ID_FLV1);
    if (!encoder) return packets;
    AVCodecContext* ctx = avcodec_alloc_context3(encoder);
    ctx->width = 320;
    ctx->height = 240;
    ctx->time_base = {1, 25};
    ctx->gop_size = 25;
    ctx->pix_fmt = AV_PIX_FMT_YUV420P;
    ctx->bit_rate = 400000;
    avcodec_open2(ctx, encoder, nullptr);
    AVFrame* frame = av_frame_alloc();
    frame->format = ctx->pix_fmt;
    frame->width = ctx->width;
    frame->height = ctx->height;
    av_frame_get_buffer(frame, 0);
    AVPacket* packet = av_packet_alloc();
    for (int n = 0; n <= 50; ++n) {
        if (n < 50) {
            av_frame_make_writable(frame);
            for (int y = 0; y < 240; ++y)
                for (int x = 0; x < 320; ++x)
                    frame->data[0][y * frame->linesize[0] + x] =
                        static_cast<std::uint8_t>(x + y + n * 4);
            for (int y = 0; y < 120; ++y)
                for (int x = 0; x < 160; ++x) {
                    frame->data[1][y * frame->linesize[1] + x] =
                        static_cast<std::uint8_t>(128 + x / 4 - n);
                    frame->data[2][y * frame->linesize[2] + x] =
                        static_cast<std::uint8_t>(128 - y / 4 + n);
                }
            frame->pts = n;
        }
        avcodec_send_frame(ctx, n < 50 ? frame : nullptr);
        while (avcodec_receive_packet(ctx, packet) == 0) {
            packets.emplace_back(packet->data, packet->data + packet->size);
            av_packet_unref(packet);
        }
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&ctx);
    return packets;
}

// Decoded frames per second of a 320 x 240 Sorenson H.263 stream (items/s in the output).
void BM_H263Decode320x240(benchmark::State& state) {
    const auto packets = EncodeH263Stream();
    if (packets.empty()) {
        state.SkipWithError("no H.263 encoder");
        return;
    }
    std::int64_t frames = 0;
    for (auto _ : state) {
        VideoDecoder decoder(2, 320, 240, player::Limits{});
        for (const auto& packet : packets) {
            VideoResult r = decoder.Decode(packet);
            benchmark::DoNotOptimize(r.frame.argb.data());
            ++frames;
        }
    }
    state.SetItemsProcessed(frames);
}
BENCHMARK(BM_H263Decode320x240)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace media
