// Decodes the frames of an embedded video stream (DefineVideoStream + VideoFrame) through
// libavcodec into premultiplied ARGB images of the stream's size. Sorenson H.263, Screen
// Video 1 and 2, VP6 and VP6 with alpha; colour converted as BT.601.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "player/limits.h"
#include "player/media/image.h"

struct AVFrame;

namespace media {

// DefineVideoStream codec ids.
enum class VideoCodec : std::uint8_t {
    kSorensonH263 = 2,
    kScreenVideo = 3,
    kVp6 = 4,
    kVp6Alpha = 5,
    kScreenVideo2 = 6,
};

enum class VideoError {
    kNone,
    kUnsupportedCodec,  // a codec id this decoder does not handle (such as 7, H.264)
    kBadSize,           // stream or picture size zero or above the Limits' image cap
    kDecoderMissing,    // libavcodec lacks the decoder, could not open it or could not be loaded
    kCorruptData,       // the decoder rejected the frame (the decoder has been reset)
    kNoPicture,         // the frame decoded to no picture (empty or skipped frame)
};

const char* VideoErrorName(VideoError error);

struct VideoResult {
    Image frame;
    VideoError error = VideoError::kNone;
    std::string reason;

    bool Ok() const { return error == VideoError::kNone; }
};

// One decoder per placed stream. Opening one silences libavcodec's log (process-wide): hostile
// movies must not flood the command line's stderr with decoder complaints. Frames must come in
// stream order from a key frame; after an error the decoder is reset and the caller should resume
// at the next key frame.
class VideoDecoder {
  public:
    // codecId and the size come from DefineVideoStream; pictures are capped by `limits`.
    VideoDecoder(std::uint8_t codecId, int width, int height, const player::Limits& limits);
    ~VideoDecoder();
    VideoDecoder(const VideoDecoder&) = delete;
    VideoDecoder& operator=(const VideoDecoder&) = delete;

    // Whether the decoder opened; if not, OpenError() says why and Decode fails with it.
    bool IsOpen() const;
    VideoError OpenError() const { return openError_; }
    const std::string& OpenReason() const { return openReason_; }

    // Decodes the VideoData of one VideoFrame tag (the bytes after StreamID and FrameNum).
    // A frame libavcodec rejects, or could only show by concealing damage (a truncated or
    // corrupt frame), is kCorruptData and resets the decoder.
    // The picture is cropped to the stream's size when the codec pads it to whole macroblocks,
    // and scaled to it (bilinear) when its size differs otherwise.
    VideoResult Decode(std::span<const std::uint8_t> videoData);

    // Forgets all decoding state (for seeking or after an error).
    void Reset();

  private:
    struct Codec;
    std::unique_ptr<Codec> codec_;
    int width_ = 0;
    int height_ = 0;
    std::int64_t maxPixels_ = 0;
    bool alphaPacket_ = false;
    VideoError openError_ = VideoError::kNone;
    std::string openReason_;
};

// A picture as libavcodec decodes it (planar YUV 4:2:0, with a full-size alpha plane for VP6
// with alpha, or packed RGB) in premultiplied ARGB at its own size, rows top first as the
// planes hold them; false, with the reason, for a format or layout it does not take or a size
// above maxPixels.
bool ImageFromPicture(const AVFrame& picture, std::int64_t maxPixels, Image& out,
                      std::string& reason);

// Whether libavcodec on this machine can decode the codec id.
bool CanDecodeVideo(std::uint8_t codecId);

// Whether a VideoFrame's VideoData decodes on its own (a key frame), so seeking can start
// there: from the picture type of H.263 and VP6 frames (of both the colour and the alpha
// stream of VP6 with alpha), and for Screen Video from every block being present. nullopt when the
// data is too short to tell or the codec does not say (Screen Video 2): start from the stream's
// first frame then.
std::optional<bool> IsVideoKeyFrame(std::uint8_t codecId, std::span<const std::uint8_t> videoData);

}  // namespace media
