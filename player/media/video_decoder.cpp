#include "player/media/video_decoder.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "player/avlib/av_library.h"

namespace media {
namespace {

// Pictures padded to whole 16-pixel macroblocks are cropped, not scaled.
constexpr int kMacroblock = 16;

AVCodecID CodecIdFor(std::uint8_t codecId) {
    switch (static_cast<VideoCodec>(codecId)) {
        case VideoCodec::kSorensonH263:
            return AV_CODEC_ID_FLV1;
        case VideoCodec::kScreenVideo:
            return AV_CODEC_ID_FLASHSV;
        case VideoCodec::kVp6:
            return AV_CODEC_ID_VP6F;
        case VideoCodec::kVp6Alpha:
            return AV_CODEC_ID_VP6A;
        case VideoCodec::kScreenVideo2:
            return AV_CODEC_ID_FLASHSV2;
    }
    return AV_CODEC_ID_NONE;
}

std::string AvErrorText(const avlib::Functions& lib, int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    lib.av_strerror(code, text, sizeof text);
    return text;
}

std::uint32_t ClampByte(int v) {
    return static_cast<std::uint32_t>(std::clamp(v, 0, 255));
}

// BT.601 YCbCr to RGB; limited range (16-235) unless the decoder reports full range.
std::uint32_t YuvToRgb(int y, int u, int v, bool fullRange) {
    const int d = u - 128, e = v - 128;
    if (fullRange) {
        const int c = y * 256;
        return PackArgb(255, ClampByte((c + 359 * e + 128) >> 8),
                        ClampByte((c - 88 * d - 183 * e + 128) >> 8),
                        ClampByte((c + 454 * d + 128) >> 8));
    }
    // 16-bit coefficients: the 8-bit ones (298, 409, ...) land one below the reference
    // pictures on about one pixel in twenty.
    const int c = 76309 * (y - 16);
    return PackArgb(255, ClampByte((c + 104597 * e + 32768) >> 16),
                    ClampByte((c - 25675 * d - 53279 * e + 32768) >> 16),
                    ClampByte((c + 132202 * d + 32768) >> 16));
}

bool IsYuv420(int format) {
    return format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_YUVJ420P ||
           format == AV_PIX_FMT_YUVA420P;
}

}  // namespace

bool ImageFromPicture(const AVFrame& f, std::int64_t maxPixels, Image& out,
                      std::string& reason) {
    if (!AllocateImage(out, f.width, f.height, maxPixels)) {
        reason = "picture size not allowed";
        return false;
    }
    if (IsYuv420(f.format)) {
        const bool full = f.format == AV_PIX_FMT_YUVJ420P || f.color_range == AVCOL_RANGE_JPEG;
        const bool alpha = f.format == AV_PIX_FMT_YUVA420P;
        // The alpha plane is a full-size plane like the luma, read row for row with it.
        if (alpha && (!f.data[3] || std::abs(f.linesize[3]) < f.width)) {
            reason = "the picture's alpha plane is missing or narrower than the picture";
            return false;
        }
        for (int y = 0; y < f.height; ++y) {
            const std::uint8_t* ly = f.data[0] + static_cast<std::ptrdiff_t>(y) * f.linesize[0];
            const std::uint8_t* lu = f.data[1] + static_cast<std::ptrdiff_t>(y / 2) * f.linesize[1];
            const std::uint8_t* lv = f.data[2] + static_cast<std::ptrdiff_t>(y / 2) * f.linesize[2];
            const std::uint8_t* la =
                alpha ? f.data[3] + static_cast<std::ptrdiff_t>(y) * f.linesize[3] : nullptr;
            std::uint32_t* row = out.Row(y);
            for (int x = 0; x < f.width; ++x) {
                const std::uint32_t rgb = YuvToRgb(ly[x], lu[x / 2], lv[x / 2], full);
                row[x] = la ? Premultiply((rgb & 0x00FFFFFF) | (std::uint32_t{la[x]} << 24)) : rgb;
            }
        }
        return true;
    }
    if (f.format == AV_PIX_FMT_BGR24 || f.format == AV_PIX_FMT_RGB24) {
        const bool bgr = f.format == AV_PIX_FMT_BGR24;
        for (int y = 0; y < f.height; ++y) {
            const std::uint8_t* in = f.data[0] + static_cast<std::ptrdiff_t>(y) * f.linesize[0];
            std::uint32_t* row = out.Row(y);
            for (int x = 0; x < f.width; ++x, in += 3)
                row[x] =
                    bgr ? PackArgb(255, in[2], in[1], in[0]) : PackArgb(255, in[0], in[1], in[2]);
        }
        return true;
    }
    reason = "unexpected pixel format " + std::to_string(f.format);
    return false;
}

namespace {

bool IsMacroblockPadding(int decoded, int wanted) {
    return decoded >= wanted && decoded - wanted < kMacroblock;
}

Image CropTo(const Image& picture, int width, int height, std::int64_t maxPixels) {
    Image out;
    AllocateImage(out, width, height, maxPixels);
    for (int y = 0; y < height; ++y) std::copy_n(picture.Row(y), width, out.Row(y));
    return out;
}

std::uint32_t Lerp(std::uint32_t a, std::uint32_t b, std::uint32_t t) {  // t in 0..256
    std::uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const std::uint32_t ca = (a >> shift) & 0xFF, cb = (b >> shift) & 0xFF;
        out |= ((ca * (256 - t) + cb * t + 128) >> 8) << shift;
    }
    return out;
}

Image ScaleTo(const Image& picture, int width, int height, std::int64_t maxPixels) {
    Image out;
    AllocateImage(out, width, height, maxPixels);
    const double sx = double(picture.width) / width, sy = double(picture.height) / height;
    for (int y = 0; y < height; ++y) {
        const double fy = std::max(0.0, (y + 0.5) * sy - 0.5);
        const int y0 = std::min(static_cast<int>(fy), picture.height - 1);
        const int y1 = std::min(y0 + 1, picture.height - 1);
        const auto ty = static_cast<std::uint32_t>((fy - y0) * 256);
        for (int x = 0; x < width; ++x) {
            const double fx = std::max(0.0, (x + 0.5) * sx - 0.5);
            const int x0 = std::min(static_cast<int>(fx), picture.width - 1);
            const int x1 = std::min(x0 + 1, picture.width - 1);
            const auto tx = static_cast<std::uint32_t>((fx - x0) * 256);
            const std::uint32_t top = Lerp(picture.At(x0, y0), picture.At(x1, y0), tx);
            const std::uint32_t bottom = Lerp(picture.At(x0, y1), picture.At(x1, y1), tx);
            out.At(x, y) = Lerp(top, bottom, ty);
        }
    }
    return out;
}

// VP6 with alpha starts with a 24-bit offset to its alpha stream, which libavcodec reads
// big-endian. Files that store it little-endian (as the movie format writes its other
// numbers) are recognised by which reading fits the data. Nothing when neither fits.
struct AlphaOffset {
    std::size_t offset = 0;  // from the end of the 3 offset bytes to the alpha stream
    bool littleEndian = false;
};

std::optional<AlphaOffset> ReadAlphaOffset(std::span<const std::uint8_t> packet) {
    if (packet.size() < 3) return std::nullopt;
    const std::size_t rest = packet.size() - 3;
    const std::size_t bigEndian = (std::size_t{packet[0]} << 16) | (packet[1] << 8) | packet[2];
    const std::size_t littleEndian = (std::size_t{packet[2]} << 16) | (packet[1] << 8) | packet[0];
    if (bigEndian <= rest) return AlphaOffset{bigEndian, false};
    if (littleEndian <= rest) return AlphaOffset{littleEndian, true};
    return std::nullopt;
}

// Rewrites a little-endian offset in the byte order libavcodec reads.
void NormaliseAlphaOffset(std::span<std::uint8_t> packet) {
    const std::optional<AlphaOffset> found = ReadAlphaOffset(packet);
    if (found && found->littleEndian) std::swap(packet[0], packet[2]);
}

// VP6 frame mode, the first bit of a frame: 0 is an intra frame.
std::optional<bool> IsVp6KeyFrame(std::span<const std::uint8_t> data) {
    if (data.empty()) return std::nullopt;
    return (data[0] & 0x80) == 0;
}

// A VP6-with-alpha frame decodes on its own only when both its colour and its alpha stream are
// intra frames: the alpha stream predicts from its own earlier pictures, and a seek that
// started at a colour key frame over an inter alpha frame would show another frame's mask.
std::optional<bool> IsVp6AlphaKeyFrame(std::span<const std::uint8_t> packet) {
    const std::optional<AlphaOffset> found = ReadAlphaOffset(packet);
    if (!found) return std::nullopt;
    const std::optional<bool> colour = IsVp6KeyFrame(packet.subspan(3, found->offset));
    const std::optional<bool> alpha = IsVp6KeyFrame(packet.subspan(3 + found->offset));
    if (colour == false || alpha == false) return false;
    if (!colour || !alpha) return std::nullopt;
    return true;
}

// Reads big-endian bit fields, returning nullopt past the end.
class BitReader {
  public:
    explicit BitReader(std::span<const std::uint8_t> data) : data_(data) {}

    std::optional<std::uint32_t> Read(int bits) {
        std::uint32_t value = 0;
        for (int i = 0; i < bits; ++i, ++position_) {
            if (position_ / 8 >= data_.size()) return std::nullopt;
            value = (value << 1) | ((data_[position_ / 8] >> (7 - position_ % 8)) & 1);
        }
        return value;
    }

  private:
    std::span<const std::uint8_t> data_;
    std::size_t position_ = 0;
};

// Sorenson H.263 picture header: start code, version, temporal reference, picture size (with
// a custom size of 8 or 16 bits a side), then the picture type; 0 is an intra picture.
std::optional<bool> IsH263KeyFrame(std::span<const std::uint8_t> data) {
    BitReader bits(data);
    if (bits.Read(17) != 1u) return std::nullopt;
    if (!bits.Read(5) || !bits.Read(8)) return std::nullopt;
    const std::optional<std::uint32_t> size = bits.Read(3);
    if (!size) return std::nullopt;
    if (*size <= 1 && !bits.Read(*size == 0 ? 16 : 32)) return std::nullopt;
    const std::optional<std::uint32_t> type = bits.Read(2);
    if (!type) return std::nullopt;
    return *type == 0;
}

// Screen Video: block and image sizes, then one 16-bit size per block; a block of size 0 is
// unchanged from the previous frame.
std::optional<bool> IsScreenVideoKeyFrame(std::span<const std::uint8_t> data) {
    if (data.size() < 4) return std::nullopt;
    const int blockWidth = ((data[0] >> 4) + 1) * 16;
    const int imageWidth = ((data[0] & 0x0F) << 8) | data[1];
    const int blockHeight = ((data[2] >> 4) + 1) * 16;
    const int imageHeight = ((data[2] & 0x0F) << 8) | data[3];
    const std::size_t blocks =
        static_cast<std::size_t>((imageWidth + blockWidth - 1) / blockWidth) *
        static_cast<std::size_t>((imageHeight + blockHeight - 1) / blockHeight);
    std::size_t pos = 4;
    for (std::size_t i = 0; i < blocks; ++i) {
        if (pos + 2 > data.size()) return std::nullopt;
        const std::size_t size = (std::size_t{data[pos]} << 8) | data[pos + 1];
        if (size == 0) return false;
        pos += 2 + size;
    }
    return true;
}

}  // namespace

std::optional<bool> IsVideoKeyFrame(std::uint8_t codecId, std::span<const std::uint8_t> videoData) {
    switch (static_cast<VideoCodec>(codecId)) {
        case VideoCodec::kSorensonH263:
            return IsH263KeyFrame(videoData);
        case VideoCodec::kScreenVideo:
            return IsScreenVideoKeyFrame(videoData);
        case VideoCodec::kVp6:
            return IsVp6KeyFrame(videoData);
        case VideoCodec::kVp6Alpha:
            return IsVp6AlphaKeyFrame(videoData);
        case VideoCodec::kScreenVideo2:
            break;
    }
    return std::nullopt;
}

// Owns the libavcodec context, packet and frame.
struct VideoDecoder::Codec {
    explicit Codec(const avlib::Functions& functions) : lib(functions) {}
    ~Codec() {
        lib.av_frame_free(&frame);
        lib.av_packet_free(&packet);
        lib.avcodec_free_context(&context);
    }

    const avlib::Functions& lib;
    AVCodecContext* context = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
};

namespace {

const avlib::Functions* LoadLibavcodec(std::string* reason) {
    return avlib::Load({avlib::Library::kAvUtil, avlib::Library::kAvCodec}, reason);
}

}  // namespace

const char* VideoErrorName(VideoError error) {
    switch (error) {
        case VideoError::kNone:
            return "no error";
        case VideoError::kUnsupportedCodec:
            return "unsupported video codec";
        case VideoError::kBadSize:
            return "bad video size";
        case VideoError::kDecoderMissing:
            return "video decoder unavailable";
        case VideoError::kCorruptData:
            return "corrupt video data";
        case VideoError::kNoPicture:
            return "no picture";
    }
    return "unknown error";
}

bool CanDecodeVideo(std::uint8_t codecId) {
    const AVCodecID id = CodecIdFor(codecId);
    if (id == AV_CODEC_ID_NONE) return false;
    std::string unused;
    const avlib::Functions* lib = LoadLibavcodec(&unused);
    return lib && lib->avcodec_find_decoder(id) != nullptr;
}

VideoDecoder::VideoDecoder(std::uint8_t codecId, int width, int height,
                           const player::Limits& limits)
    : width_(width),
      height_(height),
      maxPixels_(limits.maxImagePixels),
      alphaPacket_(codecId == static_cast<std::uint8_t>(VideoCodec::kVp6Alpha)) {
    const AVCodecID id = CodecIdFor(codecId);
    if (id == AV_CODEC_ID_NONE) {
        openError_ = VideoError::kUnsupportedCodec;
        openReason_ = "video codec " + std::to_string(codecId) + " is not supported";
        return;
    }
    if (!IsAllowedImageSize(width, height, maxPixels_)) {
        openError_ = VideoError::kBadSize;
        openReason_ =
            "video size " + std::to_string(width) + "x" + std::to_string(height) + " not allowed";
        return;
    }
    const avlib::Functions* lib = LoadLibavcodec(&openReason_);
    if (!lib) {
        openError_ = VideoError::kDecoderMissing;
        return;
    }
    lib->av_log_set_level(AV_LOG_QUIET);
    const AVCodec* decoder = lib->avcodec_find_decoder(id);
    auto codec = std::make_unique<Codec>(*lib);
    if (decoder) codec->context = lib->avcodec_alloc_context3(decoder);
    codec->packet = lib->av_packet_alloc();
    codec->frame = lib->av_frame_alloc();
    if (!decoder || !codec->context || !codec->packet || !codec->frame) {
        openError_ = VideoError::kDecoderMissing;
        openReason_ = std::string("libavcodec has no ") + lib->avcodec_get_name(id) + " decoder";
        return;
    }
    // Every codec here reads its picture size from the frames; a preset size would make the
    // screen video decoders reject pictures that differ from the stream's declared size.
    codec->context->thread_count = 1;
    codec->context->max_pixels = maxPixels_;
    const int rc = lib->avcodec_open2(codec->context, decoder, nullptr);
    if (rc < 0) {
        openError_ = VideoError::kDecoderMissing;
        openReason_ = "cannot open the " + std::string(lib->avcodec_get_name(id)) +
                      " decoder: " + AvErrorText(*lib, rc);
        return;
    }
    codec_ = std::move(codec);
}

VideoDecoder::~VideoDecoder() = default;

bool VideoDecoder::IsOpen() const {
    return codec_ != nullptr;
}

void VideoDecoder::Reset() {
    if (codec_) codec_->lib.avcodec_flush_buffers(codec_->context);
}

VideoResult VideoDecoder::Decode(std::span<const std::uint8_t> videoData) {
    VideoResult result;
    if (!codec_) {
        result.error = openError_;
        result.reason = openReason_;
        return result;
    }
    if (videoData.empty()) {
        result.error = VideoError::kNoPicture;
        result.reason = "empty video frame";
        return result;
    }
    if (videoData.size() > static_cast<std::size_t>(INT32_MAX - AV_INPUT_BUFFER_PADDING_SIZE)) {
        result.error = VideoError::kCorruptData;
        result.reason = "video frame too large";
        return result;
    }
    const avlib::Functions& lib = codec_->lib;
    AVPacket* packet = codec_->packet;
    lib.av_packet_unref(packet);
    // av_new_packet zeroes AV_INPUT_BUFFER_PADDING_SIZE bytes after the data, so the decoder's
    // bit reader never reads past the frame.
    if (lib.av_new_packet(packet, static_cast<int>(videoData.size())) < 0) {
        result.error = VideoError::kCorruptData;
        result.reason = "out of memory for the video frame";
        return result;
    }
    std::memcpy(packet->data, videoData.data(), videoData.size());
    if (alphaPacket_) NormaliseAlphaOffset({packet->data, videoData.size()});
    int rc = lib.avcodec_send_packet(codec_->context, packet);
    lib.av_packet_unref(packet);
    if (rc >= 0) rc = lib.avcodec_receive_frame(codec_->context, codec_->frame);
    if (rc == AVERROR(EAGAIN)) {
        result.error = VideoError::kNoPicture;
        result.reason = "the frame produced no picture";
        return result;
    }
    if (rc < 0) {
        Reset();
        result.error = VideoError::kCorruptData;
        result.reason = "video frame rejected: " + AvErrorText(lib, rc);
        return result;
    }
    if (codec_->frame->decode_error_flags != 0) {
        // libavcodec concealed damage (a truncated or corrupt frame); later frames would build
        // on the damaged picture, so drop it and start again from the next key frame.
        lib.av_frame_unref(codec_->frame);
        Reset();
        result.error = VideoError::kCorruptData;
        result.reason = "video frame damaged";
        return result;
    }
    Image picture;
    const bool converted = ImageFromPicture(*codec_->frame, maxPixels_, picture, result.reason);
    lib.av_frame_unref(codec_->frame);
    if (!converted) {
        Reset();
        result.error = VideoError::kCorruptData;
        return result;
    }
    if (picture.width == width_ && picture.height == height_)
        result.frame = std::move(picture);
    else if (IsMacroblockPadding(picture.width, width_) &&
             IsMacroblockPadding(picture.height, height_))
        result.frame = CropTo(picture, width_, height_, maxPixels_);
    else
        result.frame = ScaleTo(picture, width_, height_, maxPixels_);
    return result;
}

}  // namespace media
