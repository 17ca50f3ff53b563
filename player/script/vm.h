// The ActionScript 1/2 virtual machine: runs action blocks against a movie through its Host,
// with the movie's own clock and a seeded random source, under counted bounds (actions per
// tick, recursion, string and array sizes, heap). A script that passes a bound stops all
// scripts for the rest of the run, with one problem reported; the movie goes on.
#pragma once

#include <cstdint>
#include <memory>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "player/limits.h"
#include "player/script/function.h"
#include "player/script/heap.h"
#include "player/script/host.h"
#include "player/script/object.h"
#include "player/script/program.h"
#include "player/script/value.h"

namespace player::script {

// The engine's caps on scripts, taken from the movie's Limits; tests lower them.
struct ScriptLimits {
    std::int64_t actionsPerTick = Limits{}.maxActionsPerTick;
    int maxRecursion = Limits{}.maxScriptRecursion;
    std::size_t maxStringBytes = Limits{}.maxScriptStringBytes;
    std::uint32_t maxArrayLength = Limits{}.maxScriptArrayLength;
    std::size_t maxHeapBytes = Limits{}.maxScriptHeapBytes;
    std::size_t maxStackValues = Limits{}.maxScriptStackValues;
    std::size_t maxFiltersPerClip = Limits{}.maxFiltersPerObject;
    std::size_t maxXmlNesting = Limits{}.maxXmlNesting;

    static ScriptLimits From(const Limits& limits) {
        return {limits.maxActionsPerTick,    limits.maxScriptRecursion,
                limits.maxScriptStringBytes, limits.maxScriptArrayLength,
                limits.maxScriptHeapBytes,   limits.maxScriptStackValues,
                limits.maxFiltersPerObject,  limits.maxXmlNesting};
    }
};

struct VmOptions {
    int swfVersion = 8;
    double frameRate = 12.0;         // the movie's clock runs 1000 / frameRate ms per tick
    std::uint64_t seed = 1;          // Math.random and RandomNumber
    double clockStartMs = 0;         // Date's now at the first tick (ms since 1970)
    ScriptLimits limits;
};

// The engine's built-in objects.
struct Realm {
    Object* global = nullptr;
    Object* objectProto = nullptr;
    Object* functionProto = nullptr;
    Object* arrayProto = nullptr;
    Object* stringProto = nullptr;
    Object* numberProto = nullptr;
    Object* booleanProto = nullptr;
    Object* dateProto = nullptr;
    Object* errorProto = nullptr;
    Object* clipProto = nullptr;
    Object* xmlNodeProto = nullptr;
    Object* xmlProto = nullptr;
    Object* loadVarsProto = nullptr;
    Object* colorProto = nullptr;
    // flash.geom
    Object* pointProto = nullptr;
    Object* rectangleProto = nullptr;
    Object* matrixProto = nullptr;
    Object* colorTransformProto = nullptr;
    Object* transformProto = nullptr;
    Object* textFieldProto = nullptr;
    Object* textFormatProto = nullptr;
    // Built-in classes whose instances are C++ objects of their own kind. `new` of a script
    // class that extends one makes its object with the maker, for super() to set up.
    using InstanceMaker = Object* (*)(Vm& vm, Object* proto);
    std::vector<std::pair<Object*, InstanceMaker>> nativeClasses;
    Object* objectCtor = nullptr;
    Object* functionCtor = nullptr;
    Object* arrayCtor = nullptr;
    Object* stringCtor = nullptr;
    Object* numberCtor = nullptr;
    Object* booleanCtor = nullptr;
    // Object.registerClass: export names to constructors, as properties of a bare object.
    // Movies of version 7 on share one registry with names as given; older movies share
    // another with names folded to lower case.
    Object* classRegistry = nullptr;
    Object* foldedClassRegistry = nullptr;
    Object* buttonProto = nullptr;  // what button objects inherit (Button.prototype)
};

class Vm {
  public:
    Vm(Host& host, VmOptions options);
    ~Vm();
    Vm(const Vm&) = delete;
    Vm& operator=(const Vm&) = delete;

    // ---- Running -----------------------------------------------------------------------
    // Runs an action block with `target` as its timeline (`this` and the base of its scope).
    void RunBlock(std::span<const std::uint8_t> block, Object* target);
    // Calls a function from the host (an event handler); nothing when scripts are stopped.
    Value CallFromHost(const Value& function, const Value& self, std::span<const Value> args);
    // Starts a tick: the clock moves on, the action budget is renewed, intervals due fire.
    void BeginTick();
    void AdvanceClock();
    // Frees unreachable script data; called by the host between blocks.
    void CollectGarbage();
    bool Stopped() const { return stopped_; }
    std::int64_t ActionsRun() const { return actionsRun_; }
    void SetMaxRecursion(int depth) { options_.limits.maxRecursion = depth; }

    // ---- For built-ins and the host ------------------------------------------------------
    Host& GetHost() { return host_; }
    Heap& GetHeap() { return heap_; }
    Realm& GetRealm() { return realm_; }
    int Version() const { return options_.swfVersion; }
    // The version of the movie whose code runs now: a loaded movie's own for its scripts.
    int ActivationVersion() const;
    // getBounds of a clip that covers nothing gives its far corner rounded one way until a
    // version 8 movie asks for bounds, and the other way for the rest of the run.
    bool FarBoundsRoundUp() const { return farBoundsRoundUp_; }
    void SetFarBoundsRoundUp() { farBoundsRoundUp_ = true; }
    bool CaseSensitive() const { return options_.swfVersion >= 7; }
    const ScriptLimits& Limits() const { return options_.limits; }
    double NowMs() const { return nowMs_; }           // getTimer()
    double DateNowMs() const { return options_.clockStartMs + nowMs_; }
    std::mt19937_64& Random() { return random_; }
    // A uniformly drawn integer in [0, n) for n > 0.
    std::uint32_t RandomBelow(std::uint32_t n);

    // Characters in a string: code points from version 6 on (text is UTF-8), bytes before.
    std::size_t StringLength(std::string_view text) const;
    const String* NewString(std::string text);
    Value Str(std::string text) { return Value::Str(NewString(std::move(text))); }
    // The same string cell for the same common text (names, "undefined", ...).
    const String* Intern(std::string_view text);
    Object* NewObject();
    ArrayObject* NewArray();
    ArrayObject* NewArray(std::span<const Value> elements);
    FunctionObject* NewNative(NativeFn call, NativeFn construct = nullptr);
    // A native method on `on`, hidden from enumeration.
    FunctionObject* DefineMethod(Object* on, std::string_view name, NativeFn call,
                                 std::uint16_t flags = kDontEnum);
    // A constructor with its prototype object linked both ways; returns the constructor.
    FunctionObject* DefineClass(Object* on, std::string_view name, NativeFn call,
                                NativeFn construct, Object* proto);
    void DefineValue(Object* on, std::string_view name, Value value,
                     std::uint16_t flags = kDontEnum);

    // Conversions, with the movie version's rules.
    double ToNumber(const Value& v);
    std::string ToString(const Value& v);
    const String* ToStringCell(const Value& v);
    bool ToBoolean(const Value& v) const;
    std::int32_t ToInt32(const Value& v);
    std::uint32_t ToUint32(const Value& v);
    double ToInteger(const Value& v);
    enum class Hint { kNone, kNumber, kString };
    Value ToPrimitive(const Value& v, Hint hint = Hint::kNone);
    Object* ToObject(const Value& v);  // null for undefined and null
    std::string TypeOf(const Value& v) const;
    bool StrictEquals(const Value& a, const Value& b) const;
    bool LooseEquals(const Value& a, const Value& b);
    // a < b as the Less2 action: undefined when either is NaN.
    Value LessThan(const Value& a, const Value& b);
    Value Add(const Value& a, const Value& b);

    // Property names as looked up (folded to lower case in movies before version 7).
    std::string Key(std::string_view name) const;
    Value Get(Object* object, std::string_view name);
    Value GetMember(const Value& target, std::string_view name);
    // The value of `name` looked up from `object` with getters run on `receiver`; *holder
    // is where it was found.
    Value Lookup(Object* object, std::string_view name, const Value& receiver, Object** holder);
    Value LookupMember(const Value& target, std::string_view name, Object** holder);
    void Set(Object* object, std::string_view name, const Value& value);
    void SetMember(const Value& target, std::string_view name, const Value& value);
    bool Delete(Object* object, std::string_view name);
    bool HasProperty(Object* object, std::string_view name);
    bool HasOwnProperty(Object* object, std::string_view name);
    // Names a for-in visits, newest first, prototypes after the object.
    std::vector<Value> EnumerableKeys(Object* object);
    bool InstanceOf(Object* object, Object* constructor);
    // A constructor's own `prototype` as stored, no getter run (nothing for a primitive).
    Value OwnPrototype(const Value& constructor);

    Value Call(const Value& function, const Value& self, std::span<const Value> args);
    Value CallMethod(const Value& target, std::string_view name, std::span<const Value> args);
    Value Construct(const Value& constructor, std::span<const Value> args);
    // Makes an existing object (a clip of a registered class) an instance of `constructor`:
    // its prototype becomes the class's and the constructor runs on it.
    void ConstructOn(Object* object, const Value& constructor);

    // Exceptions thrown by scripts or built-ins; built-ins return after Throw.
    void Throw(const Value& value);
    bool Throwing() const { return throwing_; }
    // Ends every script for the rest of the run with one problem.
    void Stop(std::string reason);

    // Movie clips. The host makes a clip's object with NewClipObject (from its ScriptObject)
    // and releases it when the clip leaves the display.
    ClipObject* ClipFor(ClipHost* clip);
    // The clip's object if a script has seen it, else null (none is made).
    ClipObject* ExistingClip(ClipHost* clip) const;
    ClipObject* NewClipObject(ClipHost* host);
    void ReleaseClip(ClipHost* clip);
    // The clip leaves the display (its object, if any, keeps the path it had).
    void ClipLeaving(ClipHost* clip);
    // The clip at a target path as TargetPath writes it, or null.
    ClipHost* ClipAtTarget(std::string_view path) const;
    // A clip that loaded another movie keeps its object, without the variables scripts gave it.
    void ForgetClipVariables(ClipHost* clip);
    ClipHost* ClipOf(Object* o) const;
    // Text fields' objects, made on first sight and released by the host like clips'.
    Object* TextFor(TextHost* field);
    void ReleaseText(TextHost* field);
    TextHost* TextOf(Object* o) const;
    std::string TargetPath(ClipHost* clip) const;  // _level0.a.b
    std::string SlashPath(ClipHost* clip) const;   // /a/b
    Object* RootOf(Object* o);
    Value ParentOf(Object* o);
    std::string_view PropertyName(int index) const;
    Value ClipPropertyValue(ClipHost* clip, ClipProperty property);
    // Resolves a target path ("/a/b", "_root.a.b", "../x", "_level1") from `base`.
    Object* ResolvePath(std::string_view path, Object* base);

    // Intervals and timeouts (on the movie's clock).
    int AddTimer(Value function, Value self, Value methodName, std::vector<Value> args,
                 double intervalMs, bool repeat);
    bool RemoveTimer(int id);
    // Loads scripts asked for, completed by the host once the tick's frame scripts have run,
    // in the order asked (false when none waited); then the calls queued for after the loaded
    // movies' first frames (a loader's onLoadInit), the latest queued first.
    void QueueLoad(Value function, Value self, std::vector<Value> args);
    bool RunLoads();
    void CallAfterFrames(Value function, Value self, std::vector<Value> args);
    void RunAfterFrames();
    // LocalConnection within this player: names (folded, with their domain) connections
    // listen on, and messages sent, delivered when the next tick begins.
    bool Listen(std::string name, Object* connection);  // false when the name is taken
    void StopListening(Object* connection);
    bool IsListening(Object* connection) const;
    bool HasListener(std::string_view name) const;
    void QueueMessage(Value sender, std::string name, Value method, std::vector<Value> args,
                      bool heard);

  public:
    struct Frame;

  private:
    enum class Completion { kNormal, kReturn, kJumpOut, kThrow, kStop };

    // Running.
    Value BareMethodSelf(Frame& frame, std::string_view name, const Value& function);
    const Program* ProgramFor(std::span<const std::uint8_t> block);
    Completion Execute(Frame& frame, std::uint32_t begin, std::uint32_t end, std::uint32_t* pc);
    Completion RunTry(Frame& frame, const TryDef& t, std::uint32_t* pc);
    Completion RunWith(Frame& frame, Object* object, std::uint32_t begin, std::uint32_t end,
                       std::uint32_t* pc);
    void MarkRoots(Marker& marker);
    void RunTimers();
    bool CheckBudget();
    bool CheckStringSize(std::size_t bytes);
    Value Pop();
    // A register: a function's own, or past its count the enclosing block's; null if neither.
    Value* Register(Frame& frame, std::size_t index);
    void Push(const Value& v) { stack_.push_back(v); }
    std::vector<Value> PopArgs();

    // Calls.
    Value CallValue(const Value& function, const Value& self, std::span<const Value> args,
                    Object* home, std::string_view nameForProblem);
    Value CallScript(FunctionObject* f, const Value& self, std::span<const Value> args,
                     Object* home);
    // A property's getter or setter, counted in accessorDepth_.
    Value CallAccessor(Object* function, const Value& self, std::span<const Value> args,
                       Object* home);
    Value CallMethodAction(Frame& frame, const Value& object, const Value& name,
                           std::span<const Value> args);
    Value NewMethodAction(const Value& object, const Value& name, std::span<const Value> args);
    void DefineFunction(Frame& frame, const FunctionDef& def);
    void Extends(const Value& subclass, const Value& superclass);
    Object* SuperFor(Frame& frame);
    // getURL and what compiles to it: loadMovie, loadMovieNum, loadVariables and
    // loadVariablesNum (flags as GetURL2 has them; 0 for GetURL).
    void GetUrl(Frame& frame, const std::string& url, const std::string& target,
                std::uint8_t flags);

    // Values.
    Value LegacyBool(bool b) const;
    Value Arithmetic(Op op, double a, double b) const;
    Value Bitwise(Op op, const Value& a, const Value& b);
    std::string ExtractString(const std::string& text, double index, double count);
    double FirstCharCode(const std::string& text) const;
    std::string CharFromCode(double code) const;
    void SetElements(ArrayObject* array, std::span<const Value> elements);

    // Variables.
    // *where (when asked) is the object the variable was found on, null for special names.
    Value GetVariable(Frame& frame, std::string_view name, Object** where = nullptr);
    void SetVariable(Frame& frame, std::string_view name, const Value& value);
    void DefineLocal(Frame& frame, std::string_view name, const Value& value, bool assign);
    bool DeleteVariable(Frame& frame, std::string_view name);
    bool FindVariable(Frame& frame, std::string_view name, Value* out, Object** where = nullptr);
    // The object a dotted path ("a.b") leads to: clip children before variables at each step.
    Value PathValue(Frame& frame, std::string_view path, int depth = 0);
    Object* ChildClip(Object* o, std::string_view name);
    bool SpecialName(Frame& frame, std::string_view name, Value* out);
    bool SplitPath(std::string_view name, std::string_view* path, std::string_view* var) const;
    Object* BottomScopeObject(Frame& frame);
    void Retarget(Frame& frame);

    // Timelines.
    Object* ValueToClip(Frame& frame, const Value& v);
    Object* TargetByPath(Object* clip, Object* base);
    void GotoFrameAction(Frame& frame, const Value& which, bool play, int bias);
    void CallFrameAction(Frame& frame, const Value& which);
    Value GetPropertyAction(Frame& frame, const Value& target, int index);
    void SetPropertyAction(Frame& frame, const Value& target, int index, const Value& value);

    Host& host_;
    VmOptions options_;
    Heap heap_;
    Realm realm_;
    std::mt19937_64 random_;
    double nowMs_ = 0;
    std::int64_t budget_ = 0;
    std::int64_t actionsRun_ = 0;
    bool stopped_ = false;
    bool farBoundsRoundUp_ = false;
    bool throwing_ = false;
    Value thrown_;
    int depth_ = 0;          // script functions on the call stack
    int accessorDepth_ = 0;  // getters and setters running now, one inside another
    // Watchers running now: before version 7 a watcher is not called for assignments made
    // while it runs for the same property; from 7 on it is, to a nesting of 65.
    std::vector<std::pair<const Object*, std::string>> runningWatchers_;
    int nativeDepth_ = 0;    // built-ins on the call stack (no collection while any is)
    std::vector<Value> stack_;
    // Values the running instructions popped, kept reachable until each instruction is done
    // (a conversion or call in the middle of one may collect).
    std::vector<Value> popped_;
    std::size_t stackBase_ = 0;  // the running function's part of the stack starts here
    std::vector<Frame*> frames_;
    // Decoded blocks by address, checked against the bytes' length and hash: a block freed
    // and another decoded at its address must not run the old program. Programs replaced
    // that way stay alive for the functions they defined.
    struct CachedProgram {
        std::size_t size = 0;
        std::uint64_t hash = 0;
        std::unique_ptr<Program> program;
    };
    std::unordered_map<const std::uint8_t*, CachedProgram> programs_;
    std::vector<std::unique_ptr<Program>> retiredPrograms_;
    std::unordered_map<std::string, const String*> interned_;
    std::unordered_map<ClipHost*, ClipObject*> clips_;
    std::unordered_map<TextHost*, TextFieldObject*> texts_;
    struct Timer {
        int id = 0;
        Value function, self, method;
        std::vector<Value> args;
        double intervalMs = 0, dueMs = 0;
        bool repeat = false;
    };
    std::vector<Timer> timers_;
    int nextTimerId_ = 1;
    std::vector<Timer> loads_;
    std::vector<Timer> afterFrames_;
    std::vector<std::pair<std::string, Object*>> listeners_;
    // A message waiting for the next tick; `heard` when someone listened as it was sent.
    struct Message {
        Value sender, method;
        std::string name;
        std::vector<Value> args;
        bool heard = false;
    };
    std::vector<Message> messages_;
    void DeliverMessages();
};

// Installs the built-in objects and functions into a fresh machine.
void InstallBuiltins(Vm& vm);

}  // namespace player::script
