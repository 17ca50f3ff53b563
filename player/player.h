// The movie engine's public surface: load a movie from bytes, step or play it by ticks, and
// draw the current frame into a caller's pixel buffer. Knows nothing of windows or files other
// than the movie it is given.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "player/limits.h"
#include "player/load_error.h"

namespace player {

// A caller-owned premultiplied ARGB32 buffer (native byte order, cairo's ARGB32 layout).
struct BufferView {
    std::uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;  // bytes per row
};

struct StageInfo {
    int version = 0;
    int widthPx = 0;  // stage width in pixels (twips / 20)
    int heightPx = 0;
    double frameRate = 0.0;                 // frames per second from the 8.8 header value
    int frameCount = 0;                     // root frames actually read
    int declaredFrameCount = 0;             // root frames the header promises
    bool endedEarly = false;                // the data ends before the movie's End tag
    std::uint32_t background = 0xFFFFFFFF;  // opaque ARGB
};

struct Movie;  // parsed, immutable movie model

// One thing a user does to a movie: the pointer moves to, is pressed or released at a point
// of the stage (pixels), or a key goes down or up. Keys are named by their Key codes
// (Key.getCode) with the character they type (Key.getAscii; 0 for none).
struct InputEvent {
    enum class Kind : std::uint8_t { kMove, kPress, kRelease, kKeyDown, kKeyUp };
    Kind kind = Kind::kMove;
    double x = 0, y = 0;
    int keyCode = 0;
    int ascii = 0;
};

// An input event at a tick counted from the start (0: right after the first frame's actions;
// n: before the timelines move on tick n, so frame n is the first to show what it did). One
// marked `afterTick` happens at the end of its tick instead, after its actions.
struct ScriptedInput {
    long tick = 0;
    InputEvent event;
    bool afterTick = false;
};

// A user's click at a stage point on a tick: the pointer moves there, presses and releases.
void AddClick(std::vector<ScriptedInput>& input, long tick, double x, double y);
// A key pressed on a tick and held until that tick's actions have run.
void AddKeyPress(std::vector<ScriptedInput>& input, long tick, int keyCode, int ascii);

// A key by its name as a user types it: a letter or digit, Space, Enter, Escape, Tab,
// Backspace, Delete, Insert, Home, End, PageUp, PageDown, Left, Right, Up, Down, Shift,
// Control or F1..F12 (names ignore case). False for any other name.
bool KeyByName(std::string_view name, int* keyCode, int* ascii);

// How a movie's scripts run. They see the movie's own clock (getTimer and intervals move on by
// one frame's time per tick), a seeded random source and a calendar that starts at a fixed
// moment, so the same movie gives the same frames on every run and machine.
struct ScriptSettings {
    std::uint64_t seed = 1;
    // Date's now at the first frame, in ms since 1970: 2005-01-01 00:00:00 UTC by default.
    double clockStartMs = 1104537600000.0;
    // Where trace() output goes, one line a call; nowhere when empty.
    std::function<void(std::string_view)> trace;
    // A user's clicks and keys, by tick (at most the movie's cap on scripted inputs are kept).
    std::vector<ScriptedInput> input;
};

// Drawing quality, as players offer it: low draws every edge, stroke, bitmap and glyph without
// anti-aliasing or smoothing (crisp pixels); the others draw alike, anti-aliased.
enum class Quality { kLow, kMedium, kHigh, kBest };

// One playing instance of a movie: the root timeline, nested clips, display lists.
class Player {
  public:
    // Loads a movie from its file bytes, to be read and played under `limits`. Never throws; on
    // a fatal error (not a movie, bad header, decompression failure) returns nullptr and sets
    // *failure to the reason.
    static std::unique_ptr<Player> Load(std::span<const std::uint8_t> bytes, LoadFailure* failure,
                                        const Limits& limits = {});
    // The same with the reason as one line of text.
    static std::unique_ptr<Player> Load(std::span<const std::uint8_t> bytes, std::string* error,
                                        const Limits& limits = {});
    // Reads the file and loads it; same contracts.
    static std::unique_ptr<Player> LoadFile(const std::string& path, LoadFailure* failure,
                                            const Limits& limits = {});
    static std::unique_ptr<Player> LoadFile(const std::string& path, std::string* error,
                                            const Limits& limits = {});
    // The caps the movie is read and played under.
    const Limits& Caps() const;

    ~Player();

    // A new player over the same parsed movie, at its first frame (no parsing again).
    std::unique_ptr<Player> Restart() const;

    const StageInfo& Stage() const;
    // What could not be read or decoded (the movie plays what it can), one line each; bitmaps
    // are decoded when first drawn, so their problems show after a Render.
    const std::vector<std::string>& Problems() const;
    int TotalFrames() const;   // root timeline frames
    int CurrentFrame() const;  // zero-based

    // One tick: the root timeline advances (forced on when `force` even if stopped by its
    // actions, looping at its end when `loop`), actions run, nested clips advance.
    void Tick(bool force = true, bool loop = false);
    // Rebuilds the state at root frame n by replaying ticks from the start; clamps n.
    void GotoFrame(int n);
    void Rewind();
    // Plays n ticks from the start the way a stand-alone player does (root loops and obeys its
    // own stop actions, clips keep running).
    void PlayTicksFromStart(int n);
    // The root timeline's own play flag: cleared by its stop actions and, when not looping, at
    // its last frame; set again by Play.
    bool RootPlaying() const;
    void SetRootPlaying(bool playing);
    // Longest nested-clip timeline (frames), for movies that animate inside one root frame.
    int LongestClipTimeline() const;

    // Draws the current frame fitted into the whole buffer (aspect kept, centred, margins in
    // the background colour). Not const: drawing fills the renderer's bitmap cache and counts
    // its work.
    void Render(const BufferView& target);
    // Frames drawn so far that needed more drawing work than a frame may take: each kept what
    // it had drawn and left the rest out.
    std::size_t FramesCut() const;
    // High unless set; a restarted player keeps its quality.
    void SetQuality(Quality quality);
    Quality GetQuality() const;
    // Draws the stage and margins transparent instead of in the background colour (off unless
    // set); a restarted player keeps the choice.
    void SetTransparentStage(bool transparent);
    // Sets how scripts run and starts the movie again at its first frame; a restarted player
    // keeps the settings.
    void SetScripting(ScriptSettings settings);
    // A user's input, as it happens: it reaches the movie's scripts at the start of the next
    // tick (events past the cap on pending inputs before then are dropped).
    void SendInput(const InputEvent& event);
    // True when the movie has ActionScript 1 or 2 to run: frame or initialisation actions,
    // clip event handlers or button actions.
    bool HasScripts() const;
    // True for a movie scripted in ActionScript 3, whose scripts are not run.
    bool UsesActionScript3() const;

    // Sound. The movie's audio for ticks [fromTick, toTick) of the run since the first frame
    // (tick 0): interleaved stereo float samples at kAudioRate, clipped to [-1, 1], from
    // AudioFrameOfTick(fromTick) to AudioFrameOfTick(toTick) (at most ten minutes a call).
    // Ticks not yet played are silent; play them first. Seeking replays from the start, as
    // pictures do, so the same ticks always give the same samples. Sounds that cannot be
    // decoded play silence and are added to Problems().
    static constexpr int kAudioRate = 44100;
    std::vector<float> MixAudio(int fromTick, int toTick) const;
    // The first sample frame of a tick: tick / frame rate seconds.
    std::uint64_t AudioFrameOfTick(int tick) const;
    // Whether the movie defines any sound or stream.
    bool HasSound() const;

  private:
    Player();
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace player
