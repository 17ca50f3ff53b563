#include "player/video.h"

#include <algorithm>
#include <iterator>

namespace player {

VideoPlayback::VideoPlayback(const VideoStream& stream, const VideoFrames* frames,
                             const Limits& limits)
    : stream_(stream), frames_(frames), limits_(limits) {}

VideoPlayback::~VideoPlayback() = default;

std::string VideoPlayback::TakeProblem() {
    if (problem_.empty() || problemTaken_) return {};
    problemTaken_ = true;
    return problem_;
}

void VideoPlayback::Release() {
    decoder_.reset();
    lastDecoded_.reset();
    pictures_.clear();
    lastUse_.clear();
    cachedBytes_ = 0;
}

const media::Image* VideoPlayback::PictureAt(std::uint16_t ratio, std::int64_t& pixelBudget) {
    if (!frames_ || frames_->empty()) return nullptr;
    auto target = frames_->upper_bound(ratio);
    if (target == frames_->begin()) return nullptr;
    --target;
    const std::uint16_t number = target->first;
    if (auto kept = pictures_.find(number); kept != pictures_.end()) {
        lastUse_[number] = ++uses_;
        return &kept->second;
    }
    if (!decoder_)
        decoder_ = std::make_unique<media::VideoDecoder>(stream_.codecId, stream_.width,
                                                         stream_.height, limits_);
    if (!decoder_->IsOpen()) {
        if (problem_.empty())
            problem_ = "video stream " + std::to_string(stream_.id) + ": " + decoder_->OpenReason();
        return nullptr;
    }
    FrameIt from = SeekStart(target);
    // Frames between the last failure and the next key frame build on a picture that never
    // decoded: they show nothing rather than being decoded (and failing) again.
    if (brokenFrame_ && from->first <= *brokenFrame_ && *brokenFrame_ <= number) return nullptr;
    if (lastDecoded_ && *lastDecoded_ >= from->first && *lastDecoded_ < number) {
        from = std::next(frames_->find(*lastDecoded_));
    } else {
        decoder_->Reset();
        lastDecoded_.reset();
    }
    if (!DecodeRange(from, target, pixelBudget)) return nullptr;
    auto kept = pictures_.find(number);
    return kept == pictures_.end() ? nullptr : &kept->second;
}

bool VideoPlayback::IsKeyFrame(FrameIt frame) const {
    return frame == frames_->begin() ||
           media::IsVideoKeyFrame(stream_.codecId, frame->second).value_or(false);
}

VideoPlayback::FrameIt VideoPlayback::SeekStart(FrameIt target) const {
    const std::int64_t pixels =
        std::max<std::int64_t>(1, std::int64_t{stream_.width} * stream_.height);
    const std::int64_t maxFrames = std::max<std::int64_t>(1, limits_.maxVideoSeekPixels / pixels);
    FrameIt from = target;
    for (std::int64_t n = 1; n < maxFrames && !IsKeyFrame(from); ++n) --from;
    return from;
}

bool VideoPlayback::DecodeRange(FrameIt from, FrameIt target, std::int64_t& pixelBudget) {
    const std::int64_t framePixels =
        std::max<std::int64_t>(1, std::int64_t{stream_.width} * stream_.height);
    for (FrameIt it = from;; ++it) {
        if (pixelBudget < framePixels) return false;
        pixelBudget -= framePixels;
        media::VideoResult result = decoder_->Decode(it->second);
        ++decodedFrames_;
        // A frame that decodes to no picture (an empty or dropped frame) leaves the decoder's
        // state intact; anything else that fails has reset it.
        if (!result.Ok() && result.error != media::VideoError::kNoPicture) {
            Fail(it->first, result);
            return false;
        }
        lastDecoded_ = it->first;
        if (it == target) {
            if (!result.Ok()) return false;
            Keep(it->first, std::move(result.frame));
            return true;
        }
    }
}

void VideoPlayback::Fail(std::uint16_t frameNumber, const media::VideoResult& result) {
    decoder_->Reset();
    lastDecoded_.reset();
    brokenFrame_ = frameNumber;
    if (problem_.empty())
        problem_ = "video stream " + std::to_string(stream_.id) + ", frame " +
                   std::to_string(frameNumber) + ": " +
                   (result.reason.empty() ? media::VideoErrorName(result.error) : result.reason);
}

void VideoPlayback::Keep(std::uint16_t frameNumber, media::Image&& picture) {
    const std::size_t bytes = picture.argb.size() * sizeof(std::uint32_t);
    while (!pictures_.empty() &&
           (pictures_.size() >= kCachedPictures || cachedBytes_ + bytes > kCachedBytes)) {
        const auto oldest =
            std::min_element(lastUse_.begin(), lastUse_.end(),
                             [](const auto& a, const auto& b) { return a.second < b.second; });
        const auto evicted = pictures_.find(oldest->first);
        cachedBytes_ -= evicted->second.argb.size() * sizeof(std::uint32_t);
        pictures_.erase(evicted);
        lastUse_.erase(oldest);
    }
    cachedBytes_ += bytes;
    pictures_[frameNumber] = std::move(picture);
    lastUse_[frameNumber] = ++uses_;
}

}  // namespace player
