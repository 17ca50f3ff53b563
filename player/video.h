// Plays one embedded video stream for the renderer: picks the stored frame a placement's ratio
// names, decodes in stream order from the last key frame before it, and keeps a few recent
// pictures so a frame drawn again (or a stream placed twice) is not decoded again.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "player/media/image.h"
#include "player/media/video_decoder.h"
#include "player/model.h"

namespace player {

class VideoPlayback {
  public:
    // Pictures kept per stream, and the memory they may take (the newest is always kept).
    static constexpr std::size_t kCachedPictures = 8;
    static constexpr std::size_t kCachedBytes = 64u << 20;
    // frames may be null (a stream without frames shows nothing). A seek decodes at most the
    // Limits' seek pixels and each picture is capped by them.
    VideoPlayback(const VideoStream& stream, const VideoFrames* frames, const Limits& limits);
    ~VideoPlayback();
    VideoPlayback(const VideoPlayback&) = delete;
    VideoPlayback& operator=(const VideoPlayback&) = delete;

    // The picture for a placement's ratio: the stored frame with that number, or the last one
    // before it when the number has none. Null when there is nothing to show (no frame yet,
    // or the data cannot be decoded, or pixelBudget ran out first). Decoding charges the
    // stream's size per frame to pixelBudget. The picture stays valid until the next call.
    const media::Image* PictureAt(std::uint16_t ratio, std::int64_t& pixelBudget);

    // Memory the kept pictures take.
    std::size_t CachedBytes() const { return cachedBytes_; }
    // Drops the kept pictures and the decoder (the next picture decodes from a key frame).
    void Release();

    // Why the stream failed the first time it did, returned once; empty otherwise.
    std::string TakeProblem();

    // Frames passed to the decoder so far (for measuring).
    std::uint64_t DecodedFrames() const { return decodedFrames_; }

  private:
    using FrameIt = VideoFrames::const_iterator;

    // The frame seeking to `target` must start decoding from.
    FrameIt SeekStart(FrameIt target) const;
    bool IsKeyFrame(FrameIt frame) const;
    // Decodes from `from` up to and including `target`; false when a frame failed or the
    // budget ran out (the decoder then stays where it got to).
    bool DecodeRange(FrameIt from, FrameIt target, std::int64_t& pixelBudget);
    void Fail(std::uint16_t frameNumber, const media::VideoResult& result);
    void Keep(std::uint16_t frameNumber, media::Image&& picture);

    const VideoStream& stream_;
    const VideoFrames* frames_;
    const Limits limits_;
    std::unique_ptr<media::VideoDecoder> decoder_;  // opened on first use
    std::optional<std::uint16_t> lastDecoded_;      // the decoder's state follows this frame
    std::optional<std::uint16_t> brokenFrame_;      // the last frame that failed to decode
    std::map<std::uint16_t, media::Image> pictures_;
    std::map<std::uint16_t, std::uint64_t> lastUse_;  // per kept picture
    std::size_t cachedBytes_ = 0;
    std::uint64_t uses_ = 0;
    std::uint64_t decodedFrames_ = 0;
    std::string problem_;
    bool problemTaken_ = false;
};

}  // namespace player
