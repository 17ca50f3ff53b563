#include "tests/support/video_encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

namespace swfw {
namespace {

std::uint8_t Clamp(int v) {
    return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

// BT.601 limited range, the conversion the decoder inverts.
void FillYuv(AVFrame* frame, int width, int height, int n, const PictureFn& picture) {
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint32_t c = picture(x, y, n);
            const int r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
            frame->data[0][y * frame->linesize[0] + x] =
                Clamp(16 + ((66 * r + 129 * g + 25 * b + 128) >> 8));
            if (x % 2 == 0 && y % 2 == 0) {
                frame->data[1][y / 2 * frame->linesize[1] + x / 2] =
                    Clamp(128 + ((-38 * r - 74 * g + 112 * b + 128) >> 8));
                frame->data[2][y / 2 * frame->linesize[2] + x / 2] =
                    Clamp(128 + ((112 * r - 94 * g - 18 * b + 128) >> 8));
            }
        }
    }
}

void FillBgr(AVFrame* frame, int width, int height, int n, const PictureFn& picture) {
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = frame->data[0] + y * frame->linesize[0];
        for (int x = 0; x < width; ++x) {
            const std::uint32_t c = picture(x, y, n);
            row[3 * x] = c & 0xFF;
            row[3 * x + 1] = (c >> 8) & 0xFF;
            row[3 * x + 2] = (c >> 16) & 0xFF;
        }
    }
}

}  // namespace

std::uint32_t QuadrantPicture(int x, int y, int frame, int width, int height) {
    static constexpr std::uint32_t kColours[4] = {0xC83232, 0x32C832, 0x3232C8, 0xC8C832};
    const int quadrant = (x < width / 2 ? 0 : 1) + (y < height / 2 ? 0 : 2);
    return kColours[(quadrant + frame) % 4];
}

std::vector<Buffer> EncodeVideo(VideoCodec codec, int width, int height, int frames,
                                const PictureFn& picture, int keyInterval) {
    std::vector<Buffer> packets;
    const bool h263 = codec == VideoCodec::H263;
    if (!h263 && codec != VideoCodec::ScreenVideo) return packets;
    const AVCodec* encoder = avcodec_find_encoder(h263 ? AV_CODEC_ID_FLV1 : AV_CODEC_ID_FLASHSV);
    if (!encoder) return packets;
    AVCodecContext* ctx = avcodec_alloc_context3(encoder);
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    if (!ctx || !frame || !packet) {
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&ctx);
        return packets;
    }
    ctx->width = width;
    ctx->height = height;
    ctx->time_base = {1, 24};
    ctx->gop_size = keyInterval;
    ctx->max_b_frames = 0;
    ctx->pix_fmt = h263 ? AV_PIX_FMT_YUV420P : AV_PIX_FMT_BGR24;
    if (h263) ctx->qmin = ctx->qmax = 2;
    ctx->thread_count = 1;
    frame->format = ctx->pix_fmt;
    frame->width = width;
    frame->height = height;
    auto drain = [&] {
        while (avcodec_receive_packet(ctx, packet) == 0) {
            packets.emplace_back(packet->data, packet->data + packet->size);
            av_packet_unref(packet);
        }
    };
    if (avcodec_open2(ctx, encoder, nullptr) >= 0 && av_frame_get_buffer(frame, 0) >= 0) {
        for (int n = 0; n < frames; ++n) {
            av_frame_make_writable(frame);
            if (h263)
                FillYuv(frame, width, height, n, picture);
            else
                FillBgr(frame, width, height, n, picture);
            frame->pts = n;
            avcodec_send_frame(ctx, frame);
            drain();
        }
        avcodec_send_frame(ctx, nullptr);
        drain();
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&ctx);
    return packets;
}

}  // namespace swfw
