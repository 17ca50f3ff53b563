#include "controls/shockwaveflash.h"

#include "player/player.h"

void CViewObject::Draw(CSurface& target, const RECT& bounds) const { control_.DrawFrame(target, bounds); }

CShockwaveflash::CShockwaveflash() = default;
CShockwaveflash::~CShockwaveflash() = default;

void CShockwaveflash::SetMovie(const std::string& path) {
    moviePath_ = path;
    lastError_.clear();
    player_ = player::Player::LoadFile(path, &lastError_);
    playing_ = false;
}

void CShockwaveflash::SetLoop(BOOL loop) { loop_ = loop != FALSE; }
void CShockwaveflash::Play() { playing_ = player_ != nullptr; }
void CShockwaveflash::Stop() { playing_ = false; }
void CShockwaveflash::StopPlay() { playing_ = false; }

void CShockwaveflash::Rewind() {
    if (player_) player_->Rewind();
}

long CShockwaveflash::GetTotalFrames() const { return player_ ? player_->TotalFrames() : 0; }

void CShockwaveflash::GotoFrame(long frame) {
    if (player_) player_->GotoFrame(static_cast<int>(frame));
}

long CShockwaveflash::CurrentFrame() const { return player_ ? player_->CurrentFrame() : 0; }
BOOL CShockwaveflash::IsPlaying() const { return playing_ ? TRUE : FALSE; }

int CShockwaveflash::PlaybackIntervalMs() const { return 100; }

void CShockwaveflash::OnPlaybackTimer() {
    if (playing_ && player_) player_->Tick(false, loop_);
}

void CShockwaveflash::DrawFrame(CSurface& target, const RECT& bounds) const {
    (void)target;
    (void)bounds;
}
