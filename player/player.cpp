#include "player/player.h"

#include <fstream>
#include <iterator>
#include <vector>

namespace player {

struct Player::State {
    StageInfo stage;
    int current = 0;
};

Player::Player() : state_(std::make_unique<State>()) {}
Player::~Player() = default;

std::unique_ptr<Player> Player::Load(std::span<const std::uint8_t> bytes, std::string* error) {
    (void)bytes;
    if (error) *error = "movie engine not built yet";
    return nullptr;
}

std::unique_ptr<Player> Player::LoadFile(const std::string& path, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error) *error = "cannot open file";
        return nullptr;
    }
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return Load(bytes, error);
}

const StageInfo& Player::Stage() const { return state_->stage; }
int Player::TotalFrames() const { return state_->stage.frameCount; }
int Player::CurrentFrame() const { return state_->current; }
void Player::Tick(bool, bool) {}
void Player::GotoFrame(int) {}
void Player::Rewind() { state_->current = 0; }
void Player::PlayTicksFromStart(int) {}
int Player::LongestClipTimeline() const { return 0; }
void Player::Render(const BufferView&) const {}

}  // namespace player
