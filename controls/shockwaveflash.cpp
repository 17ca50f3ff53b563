#include "controls/shockwaveflash.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>

#include "player/player.h"

namespace {

constexpr int kDefaultIntervalMs = 100;
constexpr std::uint32_t kWhite = 0xFFFFFFFF;

}  // namespace

void CViewObject::Draw(CSurface& target, const RECT& bounds) const {
    control_.DrawFrame(target, bounds);
}

CShockwaveflash::CShockwaveflash() : quality_(player::Quality::kHigh) {}
CShockwaveflash::~CShockwaveflash() = default;

bool CShockwaveflash::StampOf(const std::string& path, FileStamp* stamp) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) return false;
    const auto modified = std::filesystem::last_write_time(path, ec);
    if (ec) return false;
    stamp->path = path;
    stamp->size = size;
    stamp->modified = modified.time_since_epoch().count();
    return true;
}

void CShockwaveflash::SetMovie(const std::string& path) {
    playing_ = false;
    FileStamp stamp;
    const bool stamped = StampOf(path, &stamp);
    if (stamped && hasLoaded_ && stamp == loaded_) {
        // The same unchanged file: back to its first frame without parsing it again.
        if (player_) player_ = player_->Restart();
        return;
    }
    lastError_.clear();
    player_ = player::Player::LoadFile(path, &lastError_);
    if (player_) {
        player_->SetQuality(quality_);
        player_->SetTransparentStage(transparentStage_);
        player_->SetScripting(scripting_);
    }
    hasLoaded_ = stamped;
    loaded_ = stamp;
}

std::string CShockwaveflash::LoadProblem() const {
    if (!player_) return lastError_;
    const player::StageInfo& stage = player_->Stage();
    if (!stage.endedEarly) return "";
    return player::DescribeEndedEarly(stage.declaredFrameCount, stage.frameCount);
}

void CShockwaveflash::SetQuality(player::Quality quality) {
    quality_ = quality;
    if (player_) player_->SetQuality(quality);
}

void CShockwaveflash::SetTransparentStage(bool transparent) {
    transparentStage_ = transparent;
    if (player_) player_->SetTransparentStage(transparent);
}

void CShockwaveflash::SetScripting(const player::ScriptSettings& settings) {
    scripting_ = settings;
    if (player_) player_->SetScripting(settings);
}

void CShockwaveflash::SetLoop(BOOL loop) {
    loop_ = loop != FALSE;
}

void CShockwaveflash::Play() {
    if (!player_ || player_->TotalFrames() == 0) return;
    player_->SetRootPlaying(true);
    playing_ = true;
}

void CShockwaveflash::Stop() {
    playing_ = false;
}
void CShockwaveflash::StopPlay() {
    playing_ = false;
}

void CShockwaveflash::Rewind() {
    if (player_) player_->Rewind();
}

long CShockwaveflash::GetTotalFrames() const {
    return player_ ? player_->TotalFrames() : 0;
}

void CShockwaveflash::GotoFrame(long frame) {
    if (!player_ || player_->TotalFrames() == 0) return;
    const long last = player_->TotalFrames() - 1;
    player_->GotoFrame(static_cast<int>(std::clamp(frame, 0L, last)));
}

long CShockwaveflash::CurrentFrame() const {
    return player_ ? player_->CurrentFrame() : 0;
}
BOOL CShockwaveflash::IsPlaying() const {
    return playing_ ? TRUE : FALSE;
}

int CShockwaveflash::PlaybackIntervalMs() const {
    if (!player_) return kDefaultIntervalMs;
    const double rate = player_->Stage().frameRate;
    // A rate of 0 (or one too small to matter) plays at the default pace; very fast rates are
    // held to 1 ms ticks.
    if (rate < 0.01) return kDefaultIntervalMs;
    return static_cast<int>(std::clamp(std::lround(1000.0 / rate), 1L, 100000L));
}

void CShockwaveflash::OnPlaybackTimer() {
    if (!playing_ || !player_) return;
    player_->Tick(false, loop_);
    // The movie stopped itself (its actions, or the last frame without looping).
    if (!player_->RootPlaying()) playing_ = false;
}

void CShockwaveflash::AdvancePlayback() {
    if (player_ && player_->TotalFrames() > 0) player_->Tick(false, loop_);
}

void CShockwaveflash::SendInput(const player::InputEvent& event) {
    if (player_) player_->SendInput(event);
}

bool CShockwaveflash::ViewToStage(int width, int height, double x, double y, double* stageX,
                                  double* stageY) const {
    if (!player_ || width <= 0 || height <= 0) return false;
    // The frame is fitted into the view with its aspect kept, centred.
    const double w = std::max(player_->Stage().widthPx, 1);
    const double h = std::max(player_->Stage().heightPx, 1);
    const double scale = std::min(width / w, height / h);
    if (!(scale > 0)) return false;
    *stageX = (x - (width - w * scale) / 2) / scale;
    *stageY = (y - (height - h * scale) / 2) / scale;
    return true;
}

std::size_t CShockwaveflash::FramesCut() const {
    return player_ ? player_->FramesCut() : 0;
}

void CShockwaveflash::DrawFrame(CSurface& target, const RECT& bounds) const {
    const long width = long(bounds.right) - bounds.left;
    const long height = long(bounds.bottom) - bounds.top;
    if (!target.IsValid() || width <= 0 || height <= 0) return;
    const long left = std::max<long>(bounds.left, 0), top = std::max<long>(bounds.top, 0);
    const long right = std::min<long>(bounds.right, target.Width());
    const long bottom = std::min<long>(bounds.bottom, target.Height());
    if (left >= right || top >= bottom) return;

    auto fillWhite = [&] {
        for (long y = top; y < bottom; ++y)
            std::fill(target.Row(y) + left, target.Row(y) + right, kWhite);
    };
    if (!player_) {
        fillWhite();
        return;
    }
    const bool inside = left == bounds.left && top == bounds.top && right == bounds.right &&
                        bottom == bounds.bottom;
    if (inside) {
        player::BufferView view{target.Pixels() + top * target.Stride() + left * 4,
                                static_cast<int>(width), static_cast<int>(height), target.Stride()};
        player_->Render(view);
        return;
    }
    // Bounds reaching past the surface: draw the whole frame aside, copy the visible part.
    CSurface frame(static_cast<int>(width), static_cast<int>(height));
    if (!frame.IsValid()) {
        fillWhite();
        return;
    }
    player_->Render({frame.Pixels(), frame.Width(), frame.Height(), frame.Stride()});
    for (long y = top; y < bottom; ++y) {
        const std::uint32_t* src =
            frame.Row(static_cast<int>(y - bounds.top)) + (left - bounds.left);
        std::copy(src, src + (right - left), target.Row(static_cast<int>(y)) + left);
    }
}
