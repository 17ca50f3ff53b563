// CShockwaveflash: the player control the windows and the capture code talk to, over our own
// movie engine. Qt-free so the command line can use it; the window hosts it in a widget that
// calls OnPlaybackTimer() every PlaybackIntervalMs() while IsPlaying() and repaints.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/surface.h"
#include "player/player.h"
#include "platform/wintypes.h"

namespace player {
class Player;
enum class Quality;
}  // namespace player

class CShockwaveflash;

// Stand-in for the control's drawing interface: draws the frame the control shows, fitted to
// the bounds, into a surface.
class CViewObject {
  public:
    explicit CViewObject(CShockwaveflash& control) : control_(control) {}
    void Draw(CSurface& target, const RECT& bounds) const;

  private:
    CShockwaveflash& control_;
};

class CShockwaveflash {
  public:
    CShockwaveflash();
    ~CShockwaveflash();
    CShockwaveflash(const CShockwaveflash&) = delete;
    CShockwaveflash& operator=(const CShockwaveflash&) = delete;

    // Dispatch members the windows use.
    void SetMovie(const std::string& path);  // loads synchronously and shows frame 0
    void SetLoop(BOOL loop);
    void Play();
    void Stop();
    void Rewind();
    long GetTotalFrames() const;  // 0 when nothing loaded as a movie
    void StopPlay();
    void GotoFrame(long frame);  // clamps into the movie
    long CurrentFrame() const;
    BOOL IsPlaying() const;
    // Drawing quality of this movie and of every movie loaded after (high until set).
    void SetQuality(player::Quality quality);
    player::Quality GetQuality() const { return quality_; }
    // Leaves the stage transparent when drawing, in this movie and every movie loaded after.
    void SetTransparentStage(bool transparent);
    // How scripts run (seed, calendar) in this movie and every movie loaded after; the movie
    // starts again at its first frame.
    void SetScripting(const player::ScriptSettings& settings);

    // Playback clock, driven by the host: the movie's frame period (100 ms with no movie).
    int PlaybackIntervalMs() const;
    void OnPlaybackTimer();
    // One tick as a stand-alone player plays it, whether or not the root timeline has stopped
    // itself: its clips and scripts go on (a movie waiting on a stopped frame for a click).
    void AdvancePlayback();
    // A user's pointer or key, for the movie's next tick (nothing without a movie).
    void SendInput(const player::InputEvent& event);
    // A point of a view `width` x `height` that DrawFrame fills, in stage pixels; false
    // without a movie or a view.
    bool ViewToStage(int width, int height, double x, double y, double* stageX,
                     double* stageY) const;

    // The drawing interface (never null).
    CViewObject* QueryViewObject() { return &viewObject_; }
    // Draws the current frame fitted into a surface region; an empty stage is drawn white.
    void DrawFrame(CSurface& target, const RECT& bounds) const;

    // Last load error ("" when the movie loaded).
    const std::string& LastError() const { return lastError_; }
    // What is wrong with the file last given, one line: why it is no movie, or that its data
    // ends before the frames its header promises; "" when it loaded whole.
    std::string LoadProblem() const;
    // The movie as loaded (its stage, timelines), or null when nothing loaded as a movie.
    const player::Player* LoadedPlayer() const { return player_.get(); }
    // Frames drawn so far that were cut short at the engine's drawing-work limit.
    std::size_t FramesCut() const;

  private:
    // What identifies an unchanged movie file: path, size and modification time.
    struct FileStamp {
        std::string path;
        std::uintmax_t size = 0;
        std::int64_t modified = 0;
        bool operator==(const FileStamp&) const = default;
    };
    static bool StampOf(const std::string& path, FileStamp* stamp);

    std::unique_ptr<player::Player> player_;
    CViewObject viewObject_{*this};
    FileStamp loaded_;
    bool hasLoaded_ = false;  // loaded_ names the last file given, movie or not
    std::string lastError_;
    bool loop_ = true;
    bool playing_ = false;
    player::Quality quality_;
    bool transparentStage_ = false;
    player::ScriptSettings scripting_;
};
