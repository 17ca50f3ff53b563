#include "player/player.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "player/limits.h"
#include "player/reader.h"
#include "player/renderer.h"
#include "player/sound/mixer.h"
#include "player/timeline.h"
#include "player/units.h"

namespace player {

struct Player::State {
    explicit State(std::shared_ptr<const Movie> m)
        : movie(m),
          timeline(m),
          renderer(m->limits),
          mixer(m->sounds, m->frameRate / 256.0, sound::MixLimits::From(m->limits)) {}
    std::shared_ptr<const Movie> movie;
    StageInfo stage;
    MovieState timeline;
    Renderer renderer;
    sound::Mixer mixer;
    std::vector<std::string> problems;  // the movie's, then the renderer's
};

namespace {

StageInfo DescribeStage(const Movie& movie) {
    StageInfo s;
    s.version = movie.version;
    const Rect& r = movie.frameSize;
    s.widthPx = static_cast<int>(
        std::clamp((std::int64_t(r.xMax) - r.xMin) / kTwipsPerPixel, std::int64_t{0},
                   std::int64_t{INT32_MAX}));
    s.heightPx = static_cast<int>(
        std::clamp((std::int64_t(r.yMax) - r.yMin) / kTwipsPerPixel, std::int64_t{0},
                   std::int64_t{INT32_MAX}));
    s.frameRate = FromFixed8(movie.frameRate);
    s.frameCount = static_cast<int>(movie.root.frames.size());
    s.declaredFrameCount = movie.declaredFrameCount;
    s.endedEarly = movie.truncated;
    const Rgba bg = movie.background.value_or(Rgba{255, 255, 255, 255});
    s.background = 0xFF000000u | (std::uint32_t(bg.r) << 16) | (std::uint32_t(bg.g) << 8) | bg.b;
    return s;
}

}  // namespace

Player::Player() = default;
Player::~Player() = default;

namespace {

template <class Loaded>
std::unique_ptr<Player> WithReason(Loaded load, std::string* error) {
    LoadFailure failure;
    std::unique_ptr<Player> player = load(&failure);
    if (error) *error = player ? std::string() : failure.Describe();
    return player;
}

}  // namespace

std::unique_ptr<Player> Player::Load(std::span<const std::uint8_t> bytes, LoadFailure* failure,
                                     const Limits& limits) {
    LoadError error = LoadError::kNone;
    auto movie = ReadMovie(bytes, &error, limits);
    if (failure) *failure = {error, 0};
    if (!movie) return nullptr;
    std::unique_ptr<Player> p(new Player());
    p->state_ = std::make_unique<State>(movie);
    p->state_->stage = DescribeStage(*movie);
    return p;
}

std::unique_ptr<Player> Player::Load(std::span<const std::uint8_t> bytes, std::string* error,
                                     const Limits& limits) {
    return WithReason([&](LoadFailure* failure) { return Load(bytes, failure, limits); }, error);
}

std::unique_ptr<Player> Player::LoadFile(const std::string& path, LoadFailure* failure,
                                         const Limits& limits) {
    LoadFailure ignored;
    if (!failure) failure = &ignored;
    // A folder opens like a file but reads as nothing; say what it is.
    std::error_code kind;
    if (std::filesystem::is_directory(path, kind)) {
        *failure = {LoadError::kCannotOpen, EISDIR};
        return nullptr;
    }
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *failure = {LoadError::kCannotOpen, errno};
        return nullptr;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    if (size < 0) {
        *failure = {LoadError::kCannotRead, errno};
        return nullptr;
    }
    if (static_cast<std::uint64_t>(size) > limits.maxMovieBytes) {
        *failure = {LoadError::kFileTooLarge, 0};
        return nullptr;
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    errno = 0;
    if (!in.read(reinterpret_cast<char*>(bytes.data()), size)) {
        *failure = {LoadError::kCannotRead, errno};
        return nullptr;
    }
    auto player = Load(bytes, failure, limits);
    if (player) {
        std::error_code ignored;
        const std::filesystem::path folder =
            std::filesystem::absolute(std::filesystem::path(path), ignored).parent_path();
        player->state_->timeline.SetMovieFolder(folder.string());
    }
    return player;
}

std::unique_ptr<Player> Player::LoadFile(const std::string& path, std::string* error,
                                         const Limits& limits) {
    return WithReason([&](LoadFailure* failure) { return LoadFile(path, failure, limits); }, error);
}

const Limits& Player::Caps() const {
    return state_->movie->limits;
}

std::unique_ptr<Player> Player::Restart() const {
    std::unique_ptr<Player> p(new Player());
    p->state_ = std::make_unique<State>(state_->movie);
    p->state_->stage = state_->stage;
    p->state_->renderer.SetQuality(state_->renderer.GetQuality());
    p->state_->renderer.SetTransparentStage(state_->renderer.TransparentStage());
    p->state_->timeline.SetMovieFolder(state_->timeline.MovieFolder());
    p->SetScripting(state_->timeline.GetScriptSettings());
    return p;
}

const StageInfo& Player::Stage() const {
    return state_->stage;
}
const std::vector<std::string>& Player::Problems() const {
    const auto& found = state_->renderer.Problems();
    const auto& scripts = state_->timeline.ScriptProblems();
    const auto& sounds = state_->mixer.Problems();
    if (found.empty() && scripts.empty() && sounds.empty()) return state_->movie->problems;
    state_->problems = state_->movie->problems;
    state_->problems.insert(state_->problems.end(), scripts.begin(), scripts.end());
    state_->problems.insert(state_->problems.end(), sounds.begin(), sounds.end());
    state_->problems.insert(state_->problems.end(), found.begin(), found.end());
    return state_->problems;
}

void Player::SetScripting(ScriptSettings settings) {
    state_->timeline.SetScriptSettings(std::move(settings));
    state_->timeline.Reset();
}

void Player::SendInput(const InputEvent& event) {
    state_->timeline.QueueInput(event);
}

namespace {

bool TimelineHasScripts(const Timeline& timeline) {
    for (const Frame& frame : timeline.frames) {
        if (!frame.actions.empty() || !frame.initActions.empty()) return true;
        for (const DisplayCommand& command : frame.commands) {
            const auto* place = std::get_if<PlaceObject>(&command);
            if (place && !place->clipActions.empty()) return true;
        }
    }
    return false;
}

}  // namespace

bool Player::HasScripts() const {
    const Movie& movie = *state_->movie;
    if (movie.actionScript3) return false;
    if (TimelineHasScripts(movie.root)) return true;
    for (const auto& [id, character] : movie.dictionary) {
        if (const auto* sprite = std::get_if<Sprite>(character.get()))
            if (TimelineHasScripts(sprite->timeline)) return true;
        if (const auto* button = std::get_if<Button>(character.get()))
            if (!button->actions.empty()) return true;
    }
    return false;
}

bool Player::UsesActionScript3() const { return state_->movie->actionScript3; }
int Player::TotalFrames() const {
    return state_->timeline.TotalFrames();
}
int Player::CurrentFrame() const {
    return state_->timeline.CurrentFrame();
}
bool Player::RootPlaying() const {
    return state_->timeline.RootPlaying();
}
void Player::SetRootPlaying(bool playing) {
    state_->timeline.SetRootPlaying(playing);
}

void Player::Tick(bool force, bool loop) {
    state_->timeline.Tick(force, loop);
}

void Player::GotoFrame(int n) {
    const int total = TotalFrames();
    if (total == 0) return;
    n = std::clamp(n, 0, total - 1);
    // The host asks for a frame and must get it: a frame whose actions send the root back
    // (a preloader loop, a "go to frame 1" at the end) would otherwise keep a frame-by-frame
    // capture from ever reaching the later frames.
    MovieState& timeline = state_->timeline;
    timeline.FollowRootJumps(false);
    if (n == CurrentFrame() + 1) {
        timeline.Tick(true, false);
    } else {
        // Any other frame is rebuilt from the start, so the picture does not depend on the
        // way there (clips inside keep the phase they would have had when stepping).
        timeline.Reset();
        for (int i = 0; i < n; ++i) timeline.Tick(true, false);
    }
    timeline.FollowRootJumps(true);
}

void Player::Rewind() {
    state_->timeline.Reset();
}

void Player::PlayTicksFromStart(int n) {
    state_->timeline.Reset();
    for (int i = 0; i < n; ++i) state_->timeline.Tick(false, true);
}

int Player::LongestClipTimeline() const {
    int longest = 0;
    for (const auto& [id, character] : state_->movie->dictionary) {
        if (const auto* sprite = std::get_if<Sprite>(character.get()))
            longest = std::max(longest, static_cast<int>(sprite->timeline.frames.size()));
    }
    return longest;
}

void Player::Render(const BufferView& target) {
    state_->renderer.Render(state_->timeline, target);
}

std::size_t Player::FramesCut() const {
    return state_->renderer.FramesCut();
}

void Player::SetQuality(Quality quality) {
    state_->renderer.SetQuality(quality);
}

void Player::SetTransparentStage(bool transparent) {
    state_->renderer.SetTransparentStage(transparent);
}

Quality Player::GetQuality() const {
    return state_->renderer.GetQuality();
}

std::vector<float> Player::MixAudio(int fromTick, int toTick) const {
    const auto tick = [](int t) { return static_cast<std::uint32_t>(std::max(t, 0)); };
    return state_->mixer.Mix(state_->timeline.Sounds(), tick(fromTick), tick(toTick));
}

std::uint64_t Player::AudioFrameOfTick(int tick) const {
    return state_->mixer.TickFrame(static_cast<std::uint32_t>(std::max(tick, 0)));
}

bool Player::HasSound() const {
    const Movie& movie = *state_->movie;
    if (!movie.sounds.empty() || movie.root.streamHead) return true;
    return std::any_of(movie.dictionary.begin(), movie.dictionary.end(), [](const auto& entry) {
        const auto* sprite = std::get_if<Sprite>(entry.second.get());
        return sprite && sprite->timeline.streamHead;
    });
}

}  // namespace player
