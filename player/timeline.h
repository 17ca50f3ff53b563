// The playing state of a movie: the root timeline and every nested sprite, each with its own
// display list, frame and play flag, advanced by ticks. One tick moves the root on (unless its
// actions stopped it, or when forced), runs the new frames' actions, and moves every clip that
// existed before the tick one frame along its own timeline. The frames' scripts run in the
// movie's script machine, which sees each sprite instance as a clip.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>
#include <array>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "player/buttons.h"
#include "player/drawing.h"
#include "player/limits.h"
#include "player/model.h"
#include "player/player.h"
#include "player/script/host.h"
#include "player/script/vm.h"
#include "player/sound/sound_log.h"

namespace player {

// Counts live display objects; the token is held by each object and moves with it.
class LiveToken {
  public:
    LiveToken() = default;
    explicit LiveToken(std::size_t* counter) : counter_(counter) { ++*counter_; }
    LiveToken(LiveToken&& other) noexcept : counter_(std::exchange(other.counter_, nullptr)) {}
    LiveToken& operator=(LiveToken&& other) noexcept {
        if (this != &other) {
            Release();
            counter_ = std::exchange(other.counter_, nullptr);
        }
        return *this;
    }
    ~LiveToken() { Release(); }

  private:
    void Release() {
        if (counter_) --*counter_;
        counter_ = nullptr;
    }
    std::size_t* counter_ = nullptr;
};

struct SpriteInstance;
struct TextFieldInstance;

// Scripts number depths from -16384; the display list keys them from 0. Tags place objects
// at 16-bit depths, scripts up to kMaxScriptDepth.
inline constexpr int kScriptDepthOffset = 16384;
inline constexpr int kMaxScriptDepth = 2130690044;
// Scripts remove what they placed from depth 0 up to here.
inline constexpr int kMaxRemovableDepth = 2130690031;
using DepthKey = std::int32_t;
// The display list key of a script depth, or none when scripts cannot use that depth.
std::optional<DepthKey> KeyOfScriptDepth(std::int64_t scriptDepth);

struct DisplayObject {
    DepthKey depth = 0;
    std::uint16_t characterId = 0;
    const Character* character = nullptr;  // null when the id is not in the dictionary
    Matrix matrix;
    ColorTransform colorTransform;
    std::uint16_t ratio = 0;
    std::string name;
    std::uint16_t clipDepth = 0;  // non-zero: a mask over depths up to clipDepth
    // Kept for the compositing stage (filters, blend modes, bitmap caching, visibility).
    std::optional<std::vector<Filter>> filters;
    std::optional<std::uint8_t> blendMode;
    std::optional<std::uint8_t> cacheAsBitmap;
    std::optional<std::uint8_t> visible;
    std::optional<Rgba> opaqueBackground;    // filled behind the object's bounds
    std::shared_ptr<SpriteInstance> sprite;  // set when the character is a sprite
    std::shared_ptr<TextFieldInstance> text;  // set for a text field (drawn from its own copy)
    // A script's bitmap shown at this depth, drawn from its pixels as they are now.
    std::shared_ptr<const media::Image> bitmap;
    bool bitmapSmoothing = false;
    // The part of itself a clip shows, moved to its origin: x, y, width, height in pixels.
    std::optional<std::array<double, 4>> scrollRect;
    // A clip a script masks this one with (drawn only as this one's mask).
    std::weak_ptr<SpriteInstance> scriptMask;
    LiveToken token;
    // Set once a script moves, scales, turns or fades the object: from then on the timeline's
    // placements no longer change its matrix or colour transform.
    bool scriptTransformed = false;
    // The scale (percent) and rotation (degrees) a script last set, kept as given because a
    // matrix would round them.
    std::optional<std::array<double, 3>> scriptScale;
};

class MovieState;
class Renderer;

// An empty clip's timeline: one frame with nothing on it.
const Timeline& EmptyTimeline();

struct SpriteInstance : std::enable_shared_from_this<SpriteInstance>, script::ClipHost {
    const Timeline* timeline = nullptr;
    // The movie whose library the timeline's characters come from: the played movie's, or
    // one a script loaded into this clip or a parent.
    const Movie* movie = nullptr;
    int level = 0;  // for a root: the _levelN it sits on
    bool loadedMovie = false;  // playing a movie a script loaded into it
    int frame = 0;
    bool playing = true;
    int nesting = 0;                                     // 0 for the root
    std::uint64_t born = 0;                              // tick in which it was created
    std::uint64_t serial = 0;  // clips made since the run started, this one included
    std::map<DepthKey, DisplayObject> displayList;  // by depth
    MovieState* state = nullptr;
    SpriteInstance* parent = nullptr;  // null for the root
    std::string name;                  // the instance name it was placed with
    DepthKey depth = 0;                // in the parent's display list
    const std::vector<ClipAction>* clipActions = nullptr;  // its onClipEvent handlers
    std::uint16_t characterId = 0;                         // its library symbol
    std::unique_ptr<Drawing> drawing;  // what scripts drew on it, beneath its children
    // Set for a button: the state it shows (its timeline is that state's).
    const Button* button = nullptr;
    ButtonState buttonState = ButtonState::kUp;
    // While dragged: the clip under the pointer it was last over (_droptarget).
    std::weak_ptr<SpriteInstance> dropTarget;
    std::optional<bool> cacheAsBitmapByScript;  // read back by scripts; drawing is unchanged
    int maskOf = 0;  // clips this one masks for scripts: it is not drawn itself
    // Scripts no longer read the clip's static text: a duplicate of the clip took it over.
    bool staticTextHandedOn = false;
    bool constructed = false;  // its class's constructor (or onConstruct) has run
    // A root's own position, scale, rotation and visibility as scripts set them (a placed
    // clip keeps these in its parent's display list).
    DisplayObject rootTransform;

    SpriteInstance() = default;
    SpriteInstance(const SpriteInstance&) = delete;
    SpriteInstance& operator=(const SpriteInstance&) = delete;
    ~SpriteInstance() override;

    // As scripts see it.
    script::ClipObject* ScriptObject(script::Vm& vm) override;
    script::ClipHost* Parent() override { return parent; }
    script::ClipHost* Child(std::string_view childName, bool caseSensitive) override;
    std::vector<std::string> ChildNames() const override;
    bool IsButton() const override { return button != nullptr; }
    int Level() const override { return level; }
    int MovieVersion() const override;
    std::string Name() const override { return name; }
    script::Object* RegisteredClass(script::Vm& vm) override;
    bool ClaimConstruction() override { return !std::exchange(constructed, true); }
    bool ShapesCover(double x, double y) override;
    int CurrentFrame() const override { return frame; }
    int TotalFrames() const override;
    int FramesLoaded() const override { return TotalFrames(); }
    int FindLabel(std::string_view label) const override;
    void GotoFrame(int target) override;
    void SetPlaying(bool play) override { playing = play; }
    std::vector<std::span<const std::uint8_t>> FrameScripts(int index) const override;
    script::ClipHost* Duplicate(std::string_view newName, int newDepth) override;
    bool Remove() override;
    script::ClipHost* Attach(std::string_view exportName, std::string_view newName,
                             int newDepth) override;
    int Depth() const override { return depth - kScriptDepthOffset; }
    script::ClipHost* AtDepth(int scriptDepth) override;
    int NextHighestDepth() const override;
    void SwapDepths(int scriptDepth) override;
    Box Bounds(script::ClipHost* space) override;
    void LocalToGlobal(double* x, double* y) override;
    void GlobalToLocal(double* x, double* y) override;
    script::Value GetDisplayProperty(script::Vm& vm, script::ClipProperty property) override;
    void SetDisplayProperty(script::Vm& vm, script::ClipProperty property,
                            const script::Value& value) override;
    void Draw(const script::DrawCommand& command) override;
    script::ColorNumbers GetColorTransform() const override;
    void SetColorTransform(const script::ColorNumbers& color) override;
    std::array<double, 6> GetMatrix() const override;
    void SetMatrix(const std::array<double, 6>& m) override;
    std::array<double, 6> GetConcatenatedMatrix() const override;
    std::optional<std::array<double, 4>> LocalBounds() const override;
    int GetBlendMode() const override;
    void SetBlendMode(int mode) override;
    std::vector<script::FilterData> GetFilters() const override;
    void SetFilters(std::vector<script::FilterData> filters) override;
    bool AttachBitmap(std::shared_ptr<const media::Image> pixels, int scriptDepth,
                      bool smoothing) override;
    bool DrawInto(media::Image& target, const std::array<double, 6>& matrix,
                  const script::ColorNumbers& color, bool smoothing) override;
    std::optional<std::uint32_t> GetOpaqueBackground() const override;
    void SetOpaqueBackground(std::optional<std::uint32_t> rgb) override;
    bool GetCacheAsBitmap() const override;
    void SetCacheAsBitmap(bool on) override;
    std::optional<std::array<double, 4>> GetScrollRect() const override;
    void SetScrollRect(std::optional<std::array<double, 4>> rect) override;
    void SetMask(script::ClipHost* mask) override;
    double MovieBytes() const override;
    void DataArrived() override;
    // Text fields (text_field.cpp).
    script::TextHost* TextChild(std::string_view childName, bool caseSensitive) override;
    std::optional<std::u32string> StaticText() const override;
    script::TextHost* CreateTextField(std::string_view fieldName, int fieldDepth, double x,
                                      double y, double width, double height) override;

    // How deep clips may nest under the movie's caps.
    int NestingCap() const;
    // Where the parent keeps this clip; null for a root or a clip being replaced.
    DisplayObject* Placement() const;
    // Where the clip's transform lives: its placement, or for a root its own.
    DisplayObject* Transform();
    const DisplayObject* Transform() const;
    // Whether a stage point (pixels) falls on what the clip shows (for a button: on its hit
    // area), each shape judged by its box.
    bool HitsStagePoint(double x, double y) const;
};

class MovieState : private script::Host {
  public:
    // Plays under the movie's own Limits.
    explicit MovieState(std::shared_ptr<const Movie> movie, ScriptSettings settings = {});
    ~MovieState() override;
    MovieState(const MovieState&) = delete;
    MovieState& operator=(const MovieState&) = delete;

    // Back to frame 0 of a fresh start: display lists built, frame 0's actions run.
    void Reset();
    // One tick. force: the root moves on even if stopped; loop: the root wraps at its end
    // (otherwise it stops there).
    void Tick(bool force, bool loop);

    int CurrentFrame() const { return root_->frame; }
    // The caps the movie plays under.
    const Limits& Caps() const { return movie_->limits; }
    int TotalFrames() const { return static_cast<int>(movie_->root.frames.size()); }
    // When false (the host is seeking), the root's own goto, next and previous frame actions
    // are not followed, so the root stays on the frame the host asked for; clips still follow
    // theirs, and stop and play still set the root's play flag.
    void FollowRootJumps(bool follow) { followRootJumps_ = follow; }
    bool RootPlaying() const { return root_->playing; }
    void SetRootPlaying(bool playing) { root_->playing = playing; }
    const SpriteInstance& Root() const { return *root_; }
    // Movies scripts loaded onto levels above the root, by level.
    const std::map<int, std::shared_ptr<SpriteInstance>>& Levels() const { return levels_; }
    const Movie& GetMovie() const { return *movie_; }
    std::size_t LiveObjects() const { return liveObjects_; }
    // Takes effect from the next Reset.
    void SetScriptSettings(ScriptSettings settings) { settings_ = std::move(settings); }
    const ScriptSettings& GetScriptSettings() const { return settings_; }
    // What the movie's scripts could not do, one line each (at most kMaxReportedProblems).
    const std::vector<std::string>& ScriptProblems() const { return scriptProblems_; }
    script::Vm& Scripts() { return *vm_; }
    // A user's input, dispatched now: the handlers it wakes run, and the actions they queue
    // (input.cpp).
    void Input(const InputEvent& event);
    // Input for the next tick, from a user as it happens.
    void QueueInput(const InputEvent& event);
    // The folder the movie was read from: scripts load files beside it, and nothing when it
    // is empty.
    void SetMovieFolder(std::string folder) { folder_ = std::move(folder); }
    const std::string& MovieFolder() const { return folder_; }

    // What the timelines did with sound since the first frame, by tick (Reset clears it).
    const sound::SoundLog& Sounds() const { return sounds_; }
    // The entry points for a script's Sound object: a library sound by the name it is
    // exported under, started in this tick `loops` times (at least once) from `offsetSeconds`
    // into it, in a group of sounds (sound_log.h); stopped (every sound when the name is
    // empty); and how long it plays once. False or nothing when no sound is exported under
    // the name.
    bool StartExportedSound(std::string_view exportName, int loops, double offsetSeconds,
                            std::uint64_t group = 0);
    void StopExportedSound(std::string_view exportName);
    std::optional<double> ExportedSoundDuration(std::string_view exportName) const;

    // Takes `records` of this tick's shape tracing for exact hit tests; false once spent.
    bool SpendShapeHit(std::int64_t records);

  private:
    friend struct SpriteInstance;
    struct QueuedBlock;
    friend struct TextFieldInstance;
    // The script machine's questions.
    void Trace(std::string_view line) override;
    void Problem(std::string line) override;
    script::ClipHost* Level(int n) override;
    bool StageSize(double* width, double* height) const override;
    bool MeasureText(std::string_view text, std::string_view font, double size, bool bold,
                     bool italic, double wrapWidth, script::TextExtent* out) override;
    // A script's goto: the root stays put while the host seeks.
    void ScriptGoto(SpriteInstance& s, int frame);
    SpriteInstance* DuplicateClip(SpriteInstance& source, std::string_view name, int depth);
    bool AttachBitmap(SpriteInstance& parent, std::shared_ptr<const media::Image> pixels,
                      int depth, bool smoothing);
    // A script's BitmapData.draw of a clip (clip_snapshot.cpp): drawn by a renderer kept for
    // these, whose drawing work one tick's draws share; and its loadBitmap of a library bitmap.
    bool DrawClip(const SpriteInstance& clip, media::Image& target,
                  const std::array<double, 6>& matrix, const script::ColorNumbers& color);
    std::shared_ptr<const media::Image> LibraryBitmap(std::string_view exportName) override;
    SpriteInstance* AttachClip(SpriteInstance& parent, std::string_view exportName,
                               std::string_view name, int depth);
    bool RemoveClip(SpriteInstance& clip);
    // Text fields (text_field.cpp): a placed field's script state (none for null), the bound
    // variables shown after a tick's scripts, and fields made by scripts.
    void AttachTextField(SpriteInstance& s, DisplayObject& object, const EditText* field);
    void SyncTextFields(SpriteInstance& s);
    TextFieldInstance* CreateText(SpriteInstance& parent, std::string_view name, int depth,
                                  double x, double y, double width, double height);

    void Goto(SpriteInstance& s, int target);
    // Builds a frame's display list changes; with its actions, each DoAction's block is
    // queued where it stood among the placements (a clip placed before it runs its first
    // frame's actions first).
    void ApplyFrame(SpriteInstance& s, int frame, bool withActions = false);
    void Place(SpriteInstance& s, const PlaceObject& p);
    void SetCharacter(SpriteInstance& s, DisplayObject& object, std::uint16_t id);
    void Advance(SpriteInstance& s, bool force, bool loop);
    void AdvanceChildren(SpriteInstance& s);
    // The frame's sound starts and its stream block, logged for this tick.
    void RecordFrameSounds(const SpriteInstance& s, int frame);
    const sound::SoundDefinition* ExportedSound(std::string_view exportName) const;
    void QueueInitActions(SpriteInstance& s, int frame);
    void QueueClipEvents(SpriteInstance& s, std::uint32_t event);
    void RunActions();
    void RunEnterFrame();
    // A clip leaving the display: it and its children get their unload handlers after the
    // tick's actions.
    // Returns whether the sprite is kept for its handlers (then so are its parents, which
    // the handlers can reach through _parent).
    bool Unload(const std::shared_ptr<SpriteInstance>& sprite);
    // Whether the clip is on a level's display list (not removed or replaced).
    bool OnStage(const SpriteInstance& s) const;
    void RunUnloadHandlers();
    void CallHandler(SpriteInstance& s, std::string_view name);
    void RunQueued(const QueuedBlock& entry);
    // Input (input.cpp).
    bool KeyIsDown(int code) override;
    int LastKeyCode() override { return lastKeyCode_; }
    int LastKeyAscii() override { return lastKeyAscii_; }
    void StartDrag(script::ClipHost* clip, bool lockCenter,
                   const std::optional<std::array<double, 4>>& bounds) override;
    void StopDrag() override;
    void DispatchInput(const InputEvent& event);
    bool ReadTextBeside(std::string_view address, std::string* text,
                        std::string* reason) override;
    bool ReadBytesBeside(std::string_view address, std::string* bytes,
                         std::string* reason) override;
    // Script Sound objects: a clip's sounds are the group of its serial, a root's the movie's.
    static std::uint64_t SoundGroup(script::ClipHost* clip);
    bool StartSound(script::ClipHost* clip, std::string_view exportName, int loops,
                    double offsetSeconds) override;
    void StopSound(script::ClipHost* clip, std::string_view exportName) override;
    std::optional<double> SoundDuration(script::ClipHost* clip,
                                        std::string_view exportName) override;
    void SetSoundMix(script::ClipHost* clip, const script::SoundMix& mix) override;
    // Movies scripts load (movie_loading.cpp).
    script::ClipHost* LoadMovie(std::string_view address, script::ClipHost* clip, int level,
                                double* bytes, std::string* reason) override;
    void UnloadMovie(script::ClipHost* clip) override;
    // The movie file beside this one, read once a run; null with a reason when it cannot be
    // read, and with *notMovie set when it was read but is no movie.
    struct LoadedFile;
    const LoadedFile* LoadedMovie(std::string_view address, bool* notMovie, std::string* reason);
    // `movie`'s root timeline (an empty one when null) played from its first frame in `clip`,
    // or on a new `level` when clip is null.
    SpriteInstance* ReplaceContent(SpriteInstance* clip, int level, const Movie* movie);
    // A character of `movie`'s library, or of the movie beside it that one of its imports
    // names (loaded when first wanted); *from is the movie that holds it and *fromId its id
    // there. Null when neither has it.
    const Character* FindCharacter(const Movie& movie, std::uint16_t id, const Movie** from,
                                   std::uint16_t* fromId);
    // The symbol `movie` exports (or imports) under a name, with its id in `movie`; null when
    // there is none.
    const Character* FindExport(const Movie& movie, std::string_view name, const Movie** from,
                                std::uint16_t* id);
    // Movies loaded inside movies above a clip, the clip's own included.
    int LoadNesting(const SpriteInstance& clip) const;
    void RunDataHandlers(SpriteInstance& s);
    // The loads the frame's scripts asked for, the loaded movies' first frames, then what
    // waited for them (onLoadInit).
    void FinishLoads();
    // Every root: level 0, then the loaded levels upwards.
    std::vector<SpriteInstance*> Roots() const;
    void ScriptedInputAt(long tick, bool afterTick);
    std::shared_ptr<SpriteInstance> MouseTargetAt(double x, double y);
    std::shared_ptr<SpriteInstance> ClipAt(SpriteInstance& s, double x, double y,
                                           const SpriteInstance* skip, int nesting);
    bool Interactive(SpriteInstance& s);
    void UpdateHover();
    void Transition(const std::shared_ptr<SpriteInstance>& s, std::uint16_t condition,
                    ButtonState state, std::string_view handler, std::uint32_t clipEvent);
    void SetButtonState(SpriteInstance& s, ButtonState state);
    void QueueEverywhere(std::uint32_t clipEvent, int keyPressCode);
    void QueueButtonKeys(SpriteInstance& s, int keyPressCode, int nesting);
    void Broadcast(std::string_view source, std::string_view message);
    void FollowPointer();
    // Where the pointer is on the stage, in pixels (what _xmouse reads).
    double PointerX() const { return pointerX_; }
    double PointerY() const { return pointerY_; }
    // The class scripts registered for the clip's library symbol (Object.registerClass).
    script::Object* ClassOf(const SpriteInstance& s);
    void CollectPostOrder(const std::shared_ptr<SpriteInstance>& s,
                          std::vector<std::weak_ptr<SpriteInstance>>& out);
    // A clip of `timeline` from `movie`'s library (the parent's movie's when null).
    std::shared_ptr<SpriteInstance> NewInstance(const Timeline& timeline, int nesting,
                                                SpriteInstance* parent,
                                                const Movie* movie = nullptr);
    std::unique_ptr<script::Vm> NewScriptMachine();
    // Takes one unit of this tick's work; false once it is spent.
    bool Spend();

    std::shared_ptr<const Movie> movie_;
    // Movies scripts loaded, by the address they were loaded from, with their files' length.
    // They stay for the state's life (renderers key their caches by their characters), and
    // their models share one budget.
    struct LoadedFile {
        std::shared_ptr<const Movie> movie;
        double bytes = 0;
    };
    std::map<std::string, LoadedFile, std::less<>> loadedMovies_;
    ModelBudget loadBudget_;
    std::size_t liveObjects_ = 0;  // declared before root_: tokens release into it
    std::uint64_t tick_ = 0;
    std::uint64_t clipSerial_ = 0;  // the last clip's serial in this run
    std::uint64_t instances_ = 0;   // objects the timelines placed: unnamed ones are instanceN
    sound::SoundLog sounds_;
    int workLeft_ = 0;  // in this tick
    std::int64_t shapeHitWorkLeft_ = 0;  // in this tick
    bool followRootJumps_ = true;
    ScriptSettings settings_;
    std::vector<std::string> scriptProblems_;
    std::size_t problemsDropped_ = 0;
    std::unique_ptr<script::Vm> vm_;  // declared before root_: clips release into it
    std::shared_ptr<SpriteInstance> root_;
    std::map<int, std::shared_ptr<SpriteInstance>> levels_;  // above 0
    // Blocks to run this tick, with the clip they run on: initialisation, construct handlers,
    // then frame actions and load handlers.
    // A block to run on a clip, or (without a block) a step of a new clip's class: its
    // constructor, or its onLoad method.
    struct QueuedBlock {
        enum class What { kBlock, kConstructor, kOnLoad };
        QueuedBlock(std::weak_ptr<SpriteInstance> clip, const ActionBlock* actions,
                    What what = What::kBlock)
            : target(std::move(clip)), block(actions), kind(what) {}
        std::weak_ptr<SpriteInstance> target;
        const ActionBlock* block;
        What kind;
    };
    std::vector<QueuedBlock> preQueue_;
    std::vector<QueuedBlock> constructQueue_;
    std::vector<QueuedBlock> queue_;
    // Sprites whose DoInitAction ran, by movie.
    std::vector<std::pair<const Movie*, std::uint16_t>> initialized_;
    std::vector<std::shared_ptr<SpriteInstance>> unloading_;  // kept for their handlers
    const std::vector<ClipAction>* placing_ = nullptr;        // handlers of the clip being placed
    // Input: ticks since the last Reset, the pointer, the keys held, the clip under the
    // pointer and the one pressed, the one dragged and how.
    long ticksFromStart_ = 0;
    std::string folder_;
    int loadsThisTick_ = 0;
    std::vector<InputEvent> pendingInput_;
    double pointerX_ = -1, pointerY_ = -1;
    bool pointerDown_ = false;
    std::array<bool, 256> keysDown_{};
    int lastKeyCode_ = 0, lastKeyAscii_ = 0;
    std::weak_ptr<SpriteInstance> hovered_, pressed_, dragged_;
    bool dragLockCenter_ = false;
    double dragOffsetX_ = 0, dragOffsetY_ = 0;
    std::optional<std::array<double, 4>> dragBounds_;
    std::unique_ptr<Renderer> snapshotRenderer_;
    std::uint64_t snapshotTick_ = 0;  // the tick whose draws the renderer's budget counts, + 1
};

}  // namespace player
