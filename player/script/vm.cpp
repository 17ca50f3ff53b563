#include "player/script/vm.h"

#include "player/script/builtins.h"
#include "player/script/frame.h"
#include "player/script/number_text.h"
#include "player/script/utf8.h"

#include <cstdint>
#include <algorithm>
#include <cmath>
#include <limits>

namespace player::script {

namespace {

constexpr std::uint32_t kNoTarget = std::numeric_limits<std::uint32_t>::max();
constexpr int kRegistersOfBlock = 4;

}  // namespace

Vm::Vm(Host& host, VmOptions options)
    : host_(host), options_(options), random_(options.seed) {
    budget_ = options_.limits.actionsPerTick;
    InstallBuiltins(*this);
}

Vm::~Vm() = default;

// ---- Running ---------------------------------------------------------------------------------

const Program* Vm::ProgramFor(std::span<const std::uint8_t> block) {
    std::uint64_t hash = 1469598103934665603ull;  // FNV-1a
    for (std::uint8_t byte : block) hash = (hash ^ byte) * 1099511628211ull;
    CachedProgram& slot = programs_[block.data()];
    if (slot.program && (slot.size != block.size() || slot.hash != hash)) {
        if (retiredPrograms_.size() >= 4096) Stop("too many action blocks were replaced");
        retiredPrograms_.push_back(std::move(slot.program));
    }
    if (!slot.program) {
        slot.program = std::make_unique<Program>(DecodeActions(block, heap_));
        slot.size = block.size();
        slot.hash = hash;
        if (!slot.program->problem.empty()) host_.Problem(slot.program->problem);
    }
    return slot.program.get();
}

void Vm::BeginTick() {
    // Values a frame's blocks left on the shared stack are gone by the next frame.
    if (frames_.empty()) stack_.clear();
    AdvanceClock();
    budget_ = options_.limits.actionsPerTick;
    RunTimers();
    DeliverMessages();
}

void Vm::AdvanceClock() { nowMs_ += 1000.0 / (options_.frameRate > 0 ? options_.frameRate : 12.0); }

void Vm::RunBlock(std::span<const std::uint8_t> block, Object* target) {
    if (stopped_ || block.empty()) return;
    const Program* program = ProgramFor(block);
    Frame frame;
    frame.program = program;
    frame.target = frame.timeline = target;
    frame.thisValue = Value::Obj(target);
    frame.scope = target ? heap_.New<Scope>(target, nullptr) : nullptr;
    frame.registers.resize(kRegistersOfBlock);
    frames_.push_back(&frame);
    std::uint32_t pc = 0;
    const Completion c = Execute(frame, 0, static_cast<std::uint32_t>(program->code.size()), &pc);
    frames_.pop_back();
    if (c == Completion::kThrow) {
        throwing_ = false;
        host_.Trace("Warning: Uncaught exception, " + ToString(thrown_));
        thrown_ = Value();
    }
}

Value Vm::CallFromHost(const Value& function, const Value& self, std::span<const Value> args) {
    if (stopped_) return Value();
    Value result = Call(function, self, args);
    if (throwing_) {
        throwing_ = false;
        host_.Trace("Warning: Uncaught exception, " + ToString(thrown_));
        thrown_ = Value();
    }
    return result;
}

void Vm::Throw(const Value& value) {
    throwing_ = true;
    thrown_ = value;
}

void Vm::Stop(std::string reason) {
    if (stopped_) return;
    stopped_ = true;
    host_.Problem(std::move(reason) + "; the movie's scripts are stopped");
}

bool Vm::CheckBudget() {
    if (budget_ > 0) return true;
    Stop("a script ran more than " + std::to_string(options_.limits.actionsPerTick) +
         " actions in one frame");
    return false;
}

void Vm::CollectGarbage() {
    if (nativeDepth_ > 0) return;
    heap_.Collect([this](Marker& marker) { MarkRoots(marker); });
    if (heap_.Bytes() > options_.limits.maxHeapBytes)
        Stop("the movie's scripts hold more than " +
             std::to_string(options_.limits.maxHeapBytes >> 20) + " MiB");
}

void Vm::MarkRoots(Marker& marker) {
    for (Object* o : {realm_.global, realm_.objectProto, realm_.functionProto, realm_.arrayProto,
                      realm_.stringProto, realm_.numberProto, realm_.booleanProto,
                      realm_.dateProto, realm_.errorProto, realm_.clipProto, realm_.objectCtor,
                      realm_.functionCtor, realm_.arrayCtor, realm_.stringCtor,
                      realm_.numberCtor, realm_.booleanCtor, realm_.classRegistry,
                      realm_.foldedClassRegistry, realm_.buttonProto,
                      realm_.xmlNodeProto, realm_.xmlProto, realm_.loadVarsProto,
                      realm_.colorProto, realm_.pointProto, realm_.rectangleProto,
                      realm_.matrixProto, realm_.colorTransformProto, realm_.transformProto,
                      realm_.textFieldProto, realm_.textFormatProto})
        marker.Mark(o);
    for (const Value& v : stack_) v.Mark(marker);
    for (const Value& v : popped_) v.Mark(marker);
    for (const Frame* f : frames_) f->Mark(marker);
    for (const auto& [bytes, cached] : programs_) cached.program->Mark(marker);
    for (const auto& program : retiredPrograms_) program->Mark(marker);
    for (const auto& [text, cell] : interned_) marker.Mark(cell);
    for (const auto& [host, clip] : clips_) marker.Mark(clip);
    for (const auto& [host, field] : texts_) marker.Mark(field);
    for (const auto& [name, connection] : listeners_) marker.Mark(connection);
    for (const Message& m : messages_) {
        m.sender.Mark(marker);
        m.method.Mark(marker);
        for (const Value& v : m.args) v.Mark(marker);
    }
    for (const auto* calls : {&loads_, &afterFrames_}) {
        for (const Timer& t : *calls) {
            t.function.Mark(marker);
            t.self.Mark(marker);
            for (const Value& v : t.args) v.Mark(marker);
        }
    }
    for (const Timer& t : timers_) {
        t.function.Mark(marker);
        t.self.Mark(marker);
        t.method.Mark(marker);
        for (const Value& v : t.args) v.Mark(marker);
    }
    thrown_.Mark(marker);
}

Value* Vm::Register(Frame& frame, std::size_t index) {
    if (index < frame.registers.size()) return &frame.registers[index];
    if (!frame.callee) return nullptr;
    for (auto it = frames_.rbegin(); it != frames_.rend(); ++it) {
        if ((*it)->callee) continue;
        return index < (*it)->registers.size() ? &(*it)->registers[index] : nullptr;
    }
    return nullptr;
}

Value Vm::Pop() {
    if (stack_.size() <= stackBase_) return Value();
    Value v = stack_.back();
    stack_.pop_back();
    popped_.push_back(v);
    return v;
}

// ---- The interpreter ---------------------------------------------------------------------------

Vm::Completion Vm::Execute(Frame& frame, std::uint32_t begin, std::uint32_t end,
                           std::uint32_t* pcOut) {
    const Program& program = *frame.program;
    std::uint32_t pc = *pcOut;
    // This run's popped values are released instruction by instruction, and all at the end.
    struct PoppedScope {
        std::vector<Value>& popped;
        std::size_t base;
        ~PoppedScope() { popped.resize(base); }
    } poppedScope{popped_, popped_.size()};
    auto jumpTo = [&](std::uint32_t target) -> bool {
        if (target >= begin && target < end) {
            pc = target;
            return true;
        }
        *pcOut = target;
        return false;
    };
    while (pc < end) {
        popped_.resize(poppedScope.base);
        const Instr& in = program.code[pc++];
        if (--budget_ < 0 && !CheckBudget()) return Completion::kStop;
        ++actionsRun_;
        switch (in.op) {
            case Op::kEnd:
                *pcOut = pc;
                return Completion::kReturn;
            case Op::kBadRecord:
                host_.Problem("an action could not be read; the rest of its block is skipped");
                return Completion::kReturn;
            case Op::kBadBranch:
                host_.Problem("a branch leads outside its block; the rest of it is skipped");
                return Completion::kReturn;

            // ---- Timeline control ----
            case Op::kNextFrame:
            case Op::kPrevFrame:
                if (ClipHost* clip = ClipOf(frame.target)) {
                    const int to = clip->CurrentFrame() + (in.op == Op::kNextFrame ? 1 : -1);
                    if (to >= 0 && to < clip->TotalFrames()) clip->GotoFrame(to);
                    clip->SetPlaying(false);
                }
                break;
            case Op::kPlay:
            case Op::kStop:
                if (ClipHost* clip = ClipOf(frame.target)) clip->SetPlaying(in.op == Op::kPlay);
                break;
            case Op::kGotoFrame:
                // A frame past the end of the timeline is ignored.
                if (ClipHost* clip = ClipOf(frame.target); clip && in.a < static_cast<std::uint32_t>(clip->TotalFrames()))
                    clip->GotoFrame(static_cast<int>(in.a));
                break;
            case Op::kGotoLabel:
                if (ClipHost* clip = ClipOf(frame.target)) {
                    const int f = clip->FindLabel(program.strings[in.a]->Text());
                    if (f >= 0) clip->GotoFrame(f);
                }
                break;
            case Op::kGotoFrame2:
                GotoFrameAction(frame, Pop(), in.u8 & 0x01, static_cast<int>(in.a));
                break;
            case Op::kWaitForFrame:
            case Op::kWaitForFrame2: {
                const double wanted = in.op == Op::kWaitForFrame ? in.a : ToNumber(Pop());
                ClipHost* clip = ClipOf(frame.target);
                if (clip && !(wanted < clip->FramesLoaded()) && !jumpTo(in.b))
                    return Completion::kJumpOut;
                break;
            }
            case Op::kSetTarget:
            case Op::kSetTarget2: {
                if (in.op == Op::kSetTarget) {
                    const std::string& path = program.strings[in.a]->Text();
                    frame.target = path.empty() ? frame.timeline : ResolveTargetPath(*this, path, frame.timeline);
                } else {
                    const Value t = Pop();
                    if (t.IsString() && t.Text().empty())
                        frame.target = frame.timeline;
                    else if (Object* o = t.AsObject(); o && o->Kind() == ObjectKind::kClip)
                        frame.target = TargetByPath(o, frame.timeline);
                    else
                        frame.target = ResolveTargetPath(*this, ToString(t), frame.timeline);
                }
                // A path that leads nowhere targets the movie's root.
                frame.targetLost = !frame.target;
                if (!frame.target) frame.target = RootOf(frame.timeline);
                Retarget(frame);
                break;
            }
            case Op::kCall:
                CallFrameAction(frame, Pop());
                break;
            case Op::kToggleQuality:
            case Op::kStopSounds:
                break;
            case Op::kGetUrl:
                GetUrl(frame, program.strings[in.a]->Text(), program.strings[in.b]->Text(), 0);
                break;
            case Op::kGetUrl2: {
                const Value target = Pop();
                const Value url = Pop();
                GetUrl(frame, ToString(url), ToString(target), in.u8);
                break;
            }

            // ---- Stack ----
            case Op::kPush: {
                for (std::uint32_t k = 0; k < in.b; ++k) {
                    const PushItem& item = program.pushes[in.a + k];
                    switch (item.kind) {
                        case PushItem::Kind::kValue:
                            Push(item.value);
                            break;
                        case PushItem::Kind::kRegister:
                            if (const Value* r = Register(frame, item.index))
                                Push(*r);
                            else
                                Push(Value());
                            break;
                        case PushItem::Kind::kConstant:
                            if (!frame.pool || item.index >= frame.pool->size()) {
                                host_.Problem("a constant index is outside its pool; the rest "
                                              "of the block is skipped");
                                return Completion::kReturn;
                            }
                            Push(Value::Str((*frame.pool)[item.index]));
                            break;
                    }
                }
                if (stack_.size() > Limits().maxStackValues) {
                    Stop("the script stack passed " + std::to_string(Limits().maxStackValues) +
                         " values");
                    return Completion::kStop;
                }
                break;
            }
            case Op::kPop:
                Pop();
                break;
            case Op::kPushDuplicate: {
                const Value v = stack_.size() > stackBase_ ? stack_.back() : Value();
                Push(v);
                break;
            }
            case Op::kStackSwap: {
                const Value a = Pop();
                const Value b = Pop();
                Push(a);
                Push(b);
                break;
            }
            case Op::kStoreRegister:
                if (Value* r = Register(frame, in.u8))
                    *r = stack_.size() > stackBase_ ? stack_.back() : Value();
                break;
            case Op::kConstantPool:
                frame.pool = &program.pools[in.a];
                break;

            // ---- Branches ----
            case Op::kJump:
                if (in.a == kNoTarget) {
                    host_.Problem("a branch leads outside its block; the rest of it is skipped");
                    return Completion::kReturn;
                }
                if (in.a < pc && heap_.WantsCollection()) CollectGarbage();
                if (!jumpTo(in.a)) return Completion::kJumpOut;
                break;
            case Op::kIf:
                if (ToBoolean(Pop())) {
                    if (in.a == kNoTarget) {
                        host_.Problem("a branch leads outside its block; the rest of it is skipped");
                        return Completion::kReturn;
                    }
                    if (in.a < pc && heap_.WantsCollection()) CollectGarbage();
                    if (!jumpTo(in.a)) return Completion::kJumpOut;
                }
                break;

            // ---- Arithmetic and logic ----
            case Op::kAdd:
            case Op::kSubtract:
            case Op::kMultiply:
            case Op::kDivide:
            case Op::kModulo: {
                const Value bv = Pop();
                const double a = ToNumber(Pop());
                Push(Arithmetic(in.op, a, ToNumber(bv)));
                break;
            }
            case Op::kAdd2: {
                const Value b = Pop();
                const Value a = Pop();
                Push(Add(a, b));
                break;
            }
            case Op::kIncrement:
            case Op::kDecrement:
                Push(Value::Number(ToNumber(Pop()) + (in.op == Op::kIncrement ? 1 : -1)));
                break;
            case Op::kEquals: {
                // Unlike Add, Equals converts its right operand first.
                const double b = ToNumber(Pop());
                const double a = ToNumber(Pop());
                Push(LegacyBool(a == b));
                break;
            }
            case Op::kLess: {
                const Value bv = Pop();
                const double a = ToNumber(Pop());
                const double b = ToNumber(bv);
                Push(LegacyBool(a < b));
                break;
            }
            case Op::kAnd:
            case Op::kOr: {
                const bool b = ToBoolean(Pop());
                const bool a = ToBoolean(Pop());
                Push(LegacyBool(in.op == Op::kAnd ? (a && b) : (a || b)));
                break;
            }
            case Op::kNot:
                Push(LegacyBool(!ToBoolean(Pop())));
                break;
            case Op::kEquals2: {
                const Value b = Pop();
                const Value a = Pop();
                Push(Value::Boolean(LooseEquals(a, b)));
                break;
            }
            case Op::kStrictEquals: {
                const Value b = Pop();
                const Value a = Pop();
                Push(Value::Boolean(StrictEquals(a, b)));
                break;
            }
            case Op::kLess2: {
                const Value b = Pop();
                const Value a = Pop();
                Push(LessThan(a, b));
                break;
            }
            case Op::kGreater: {
                const Value b = Pop();
                const Value a = Pop();
                Push(LessThan(b, a));
                break;
            }
            case Op::kBitAnd:
            case Op::kBitOr:
            case Op::kBitXor:
            case Op::kBitLShift:
            case Op::kBitRShift:
            case Op::kBitURShift: {
                const Value b = Pop();
                const Value a = Pop();
                Push(Bitwise(in.op, a, b));
                break;
            }
            case Op::kToInteger:
                Push(Value::Number(ToInteger(Pop())));
                break;
            case Op::kToNumber:
                Push(Value::Number(ToNumber(Pop())));
                break;
            case Op::kToString:
                Push(Value::Str(ToStringCell(Pop())));
                break;
            case Op::kTypeOf:
                Push(Value::Str(Intern(TypeOf(Pop()))));
                break;

            // ---- Strings ----
            case Op::kStringEquals:
            case Op::kStringLess:
            case Op::kStringGreater: {
                const std::string b = ToString(Pop());
                const std::string a = ToString(Pop());
                const bool r = in.op == Op::kStringEquals ? a == b
                               : in.op == Op::kStringLess ? a < b
                                                          : a > b;
                Push(LegacyBool(r));
                break;
            }
            case Op::kStringAdd: {
                const Value b = Pop();
                const Value a = Pop();
                std::string text = ToString(a);
                text += ToString(b);
                if (!CheckStringSize(text.size())) return Completion::kStop;
                Push(Str(std::move(text)));
                break;
            }
            case Op::kStringLength:
            case Op::kMbStringLength:
                Push(Value::Number(static_cast<double>(StringLength(ToString(Pop())))));
                break;
            case Op::kStringExtract:
            case Op::kMbStringExtract: {
                const double count = ToInteger(Pop());
                const double index = ToInteger(Pop());
                const std::string text = ToString(Pop());
                Push(Str(ExtractString(text, index, count)));
                break;
            }
            case Op::kCharToAscii:
            case Op::kMbCharToAscii:
                Push(Value::Number(FirstCharCode(ToString(Pop()))));
                break;
            case Op::kAsciiToChar:
            case Op::kMbAsciiToChar:
                Push(Str(CharFromCode(ToNumber(Pop()))));
                break;

            // ---- Variables and members ----
            case Op::kGetVariable: {
                const Value name = Pop();
                Push(GetVariable(frame, ToString(name)));
                break;
            }
            case Op::kSetVariable: {
                const Value value = Pop();
                const Value name = Pop();
                SetVariable(frame, ToString(name), value);
                break;
            }
            case Op::kDefineLocal: {
                const Value value = Pop();
                const Value name = Pop();
                DefineLocal(frame, ToString(name), value, true);
                break;
            }
            case Op::kDefineLocal2:
                DefineLocal(frame, ToString(Pop()), Value(), false);
                break;
            case Op::kGetMember: {
                const Value name = Pop();
                const Value object = Pop();
                Push(GetMember(object, ToString(name)));
                break;
            }
            case Op::kSetMember: {
                const Value value = Pop();
                const Value name = Pop();
                const Value object = Pop();
                SetMember(object, ToString(name), value);
                break;
            }
            case Op::kDelete: {
                const Value name = Pop();
                const Value object = Pop();
                Object* o = object.AsObject();
                Push(Value::Boolean(o && Delete(o, ToString(name))));
                break;
            }
            case Op::kDelete2:
                Push(Value::Boolean(DeleteVariable(frame, ToString(Pop()))));
                break;
            case Op::kGetProperty: {
                const int index = ClampToInt(ToNumber(Pop()));
                const Value target = Pop();
                Push(GetPropertyAction(frame, target, index));
                break;
            }
            case Op::kSetProperty: {
                const Value value = Pop();
                const int index = ClampToInt(ToNumber(Pop()));
                const Value target = Pop();
                SetPropertyAction(frame, target, index, value);
                break;
            }
            case Op::kTargetPath: {
                const Value v = Pop();
                Object* o = v.AsObject();
                if (ClipHost* clip = ClipOf(o)) {
                    Push(Str(TargetPath(clip)));
                } else if (TextHost* field = TextOf(o); field && field->Parent()) {
                    Push(Str(TargetPath(field->Parent()) + "." + field->Name()));
                } else {
                    Push(Value());
                }
                break;
            }
            case Op::kEnumerate:
            case Op::kEnumerate2: {
                Value v = Pop();
                if (in.op == Op::kEnumerate) v = GetVariable(frame, ToString(v));
                Push(Value::Null());
                if (Object* o = v.AsObject()) {
                    // Pushed oldest first so that the loop pops the newest first.
                    const std::vector<Value> keys = EnumerableKeys(o);
                    for (auto it = keys.rbegin(); it != keys.rend(); ++it) Push(*it);
                }
                break;
            }
            case Op::kInitArray: {
                const double n = ToNumber(Pop());
                if (!(n >= 0 && n <= 2147483647.0)) {
                    Push(Value());  // a count no array can have makes nothing
                    break;
                }
                const std::size_t count = n > 0 ? static_cast<std::size_t>(std::min(n, 1e9)) : 0;
                ArrayObject* array = NewArray();
                std::vector<Value> items;
                for (std::size_t k = 0; k < count && stack_.size() > stackBase_; ++k)
                    items.push_back(Pop());
                SetElements(array, items);
                if (count > items.size()) array->SetLength(*this, static_cast<std::uint32_t>(std::min<std::size_t>(count, Limits().maxArrayLength)));
                Push(Value::Obj(array));
                break;
            }
            case Op::kInitObject: {
                const double n = ToNumber(Pop());
                const std::size_t count = n > 0 ? static_cast<std::size_t>(std::min(n, 1e9)) : 0;
                Object* object = NewObject();
                for (std::size_t k = 0; k < count && stack_.size() > stackBase_; ++k) {
                    const Value value = Pop();
                    const Value name = Pop();
                    Set(object, ToString(name), value);
                }
                Push(Value::Obj(object));
                break;
            }

            // ---- Functions and objects ----
            case Op::kDefineFunction:
            case Op::kDefineFunction2: {
                const FunctionDef& def = program.functions[in.a];
                DefineFunction(frame, def);
                if (!jumpTo(def.end)) return Completion::kJumpOut;
                break;
            }
            case Op::kCallFunction: {
                const std::string name = ToString(Pop());
                std::vector<Value> args = PopArgs();
                // The function runs on the object it was found on (a timeline, a with
                // object, a function's locals).
                Object* where = nullptr;
                const Value function = GetVariable(frame, name, &where);
                if (function.AsObject() && function.AsObject()->Kind() == ObjectKind::kSuper)
                    Push(CallMethodAction(frame, function, Value(), args));  // super(...)
                else
                    Push(CallValue(function,
                                   where ? Value::Obj(where) : BareMethodSelf(frame, name, function),
                                   args, nullptr,
                                   name));
                break;
            }
            case Op::kCallMethod:
            case Op::kNewMethod: {
                const Value nameValue = Pop();
                const Value object = Pop();
                std::vector<Value> args = PopArgs();
                Push(in.op == Op::kCallMethod ? CallMethodAction(frame, object, nameValue, args)
                                              : NewMethodAction(object, nameValue, args));
                break;
            }
            case Op::kNewObject: {
                const std::string name = ToString(Pop());
                std::vector<Value> args = PopArgs();
                const Value constructor = GetVariable(frame, name);
                Push(Construct(constructor, args));
                break;
            }
            case Op::kReturn:
                frame.returnValue = Pop();
                return Completion::kReturn;
            case Op::kInstanceOf: {
                const Value constructor = Pop();
                const Value object = Pop();
                Push(Value::Boolean(object.AsObject() && constructor.AsObject() &&
                                    InstanceOf(object.AsObject(), constructor.AsObject())));
                break;
            }
            case Op::kCastOp: {
                const Value object = Pop();
                const Value constructor = Pop();
                const bool is = object.AsObject() && constructor.AsObject() &&
                                InstanceOf(object.AsObject(), constructor.AsObject());
                Push(is ? object : Value::Null());
                break;
            }
            case Op::kImplementsOp: {
                // The interfaces' prototypes as they are now; primitives and clips count for
                // nothing, but a class's first list stays, even an empty one.
                const Value constructor = Pop();
                const double n = ToNumber(Pop());
                const std::size_t count = n > 0 ? static_cast<std::size_t>(std::min(n, 1e6)) : 0;
                Object* proto = OwnPrototype(constructor).AsObject();
                std::vector<Object*> prototypes;
                for (std::size_t k = 0; k < count && stack_.size() > stackBase_; ++k) {
                    Object* iface = OwnPrototype(Pop()).AsObject();
                    if (iface && !ClipOf(iface)) prototypes.push_back(iface);
                }
                if (proto && count > 0) proto->SetInterfaces(std::move(prototypes));
                break;
            }
            case Op::kExtends: {
                const Value superclass = Pop();
                const Value subclass = Pop();
                Extends(subclass, superclass);
                break;
            }
            case Op::kWith: {
                Object* object = ToObject(Pop());
                if (!object) {
                    if (!jumpTo(in.a)) return Completion::kJumpOut;
                    break;
                }
                std::uint32_t sub = pc;
                const Completion c = RunWith(frame, object, pc, in.a, &sub);
                if (c == Completion::kNormal) {
                    if (!jumpTo(in.a)) return Completion::kJumpOut;
                } else if (c == Completion::kJumpOut) {
                    if (!jumpTo(sub)) return Completion::kJumpOut;
                } else {
                    *pcOut = sub;
                    return c;
                }
                break;
            }
            case Op::kTry: {
                const TryDef& t = program.tries[in.a];
                std::uint32_t sub = t.tryBegin;
                const Completion c = RunTry(frame, t, &sub);
                if (c == Completion::kNormal) {
                    if (!jumpTo(t.end)) return Completion::kJumpOut;
                } else if (c == Completion::kJumpOut) {
                    if (!jumpTo(sub)) return Completion::kJumpOut;
                } else {
                    return c;
                }
                break;
            }
            case Op::kThrow:
                Throw(Pop());
                break;

            // ---- Clips ----
            case Op::kCloneSprite: {
                // The depth counts from the bottom of the display list, 16384 below the
                // depths scripts name.
                const std::int32_t depth = ToInt32(Pop());
                const std::string name = ToString(Pop());
                const Value source = Pop();
                if (ClipHost* clip = ClipOf(ValueToClip(frame, source)))
                    clip->Duplicate(name, depth < INT32_MIN + 16384 ? INT32_MIN : depth - 16384);
                break;
            }
            case Op::kRemoveSprite:
                RemoveDisplayObject(*this, ValueToClip(frame, Pop()));
                break;
            case Op::kStartDrag: {
                const Value target = Pop();
                const bool lockCenter = ToBoolean(Pop());
                std::optional<std::array<double, 4>> bounds;
                if (ToBoolean(Pop())) {
                    std::array<double, 4> box{};
                    for (int k = 3; k >= 0; --k) box[k] = ToNumber(Pop());
                    bounds = box;
                }
                if (ClipHost* clip = ClipOf(ValueToClip(frame, target)))
                    host_.StartDrag(clip, lockCenter, bounds);
                break;
            }
            case Op::kEndDrag:
                host_.StopDrag();
                break;

            // ---- Host services ----
            case Op::kTrace: {
                const Value v = Pop();
                std::string line = v.IsUndefined() ? std::string("undefined") : ToString(v);
                // Movies before version 6 hold their text in the author's code page.
                if (Version() < 6 && !IsUtf8(line)) line = CodePageToUtf8(line);
                host_.Trace(line);
                break;
            }
            case Op::kRandomNumber: {
                const double max = ToInteger(Pop());
                Push(Value::Number(max >= 1 ? RandomBelow(static_cast<std::uint32_t>(std::min(max, 4294967295.0))) : 0));
                break;
            }
            case Op::kGetTime:
                Push(Value::Number(std::floor(nowMs_)));
                break;
        }
        if (throwing_) {
            *pcOut = pc;
            return Completion::kThrow;
        }
        if (stopped_) return Completion::kStop;
    }
    *pcOut = pc;
    return Completion::kNormal;
}

// A clip as tellTarget takes it: by its path, so that of two clips of the same name the
// first found is the target.
Object* Vm::TargetByPath(Object* clip, Object* base) {
    ClipHost* host = ClipOf(clip);
    if (!host) return clip;
    Object* found = ResolvePath(TargetPath(host), base);
    return found ? found : clip;
}

Vm::Completion Vm::RunWith(Frame& frame, Object* object, std::uint32_t begin, std::uint32_t end,
                           std::uint32_t* pc) {
    Scope* saved = frame.scope;
    frame.scope = heap_.New<Scope>(object, saved);
    *pc = begin;
    const Completion c = Execute(frame, begin, end, pc);
    frame.scope = saved;
    return c;
}

Vm::Completion Vm::RunTry(Frame& frame, const TryDef& t, std::uint32_t* pc) {
    // A part that jumps to the start of a later part or to the end has simply finished.
    auto settle = [&](Completion c) {
        if (c == Completion::kJumpOut &&
            (*pc == t.catchBegin || *pc == t.finallyBegin || *pc == t.end))
            return Completion::kNormal;
        return c;
    };
    *pc = t.tryBegin;
    Completion c = settle(Execute(frame, t.tryBegin, t.catchBegin, pc));
    if (c == Completion::kThrow && t.hasCatch) {
        const Value error = thrown_;
        throwing_ = false;
        thrown_ = Value();
        if (t.catchInRegister) {
            if (Value* r = Register(frame, t.catchRegister)) *r = error;
        } else {
            DefineLocal(frame, t.catchName->Text(), error, true);
        }
        *pc = t.catchBegin;
        c = settle(Execute(frame, t.catchBegin, t.finallyBegin, pc));
    }
    if (t.hasFinally && c != Completion::kStop) {
        const bool wasThrowing = throwing_;
        const Value pendingError = thrown_;
        const Value pendingReturn = frame.returnValue;
        const std::uint32_t pendingPc = *pc;
        throwing_ = false;
        std::uint32_t sub = t.finallyBegin;
        const Completion f = Execute(frame, t.finallyBegin, t.end, &sub);
        if (f != Completion::kNormal) {
            *pc = sub;
            return f;
        }
        throwing_ = wasThrowing;
        thrown_ = pendingError;
        frame.returnValue = pendingReturn;
        *pc = pendingPc;
    }
    return c;
}

void Vm::DefineFunction(Frame& frame, const FunctionDef& def) {
    auto* function = heap_.New<FunctionObject>(realm_.functionProto, frame.program, &def,
                                               frame.scope, frame.pool, frame.timeline);
    Object* proto = NewObject();
    DefineValue(proto, "constructor", Value::Obj(function));
    DefineValue(function, "prototype", Value::Obj(proto));
    if (def.name->Text().empty())
        Push(Value::Obj(function));
    else
        DefineLocal(frame, def.name->Text(), Value::Obj(function), true);
}

void Vm::SetElements(ArrayObject* array, std::span<const Value> elements) {
    for (std::size_t i = 0; i < elements.size(); ++i) {
        std::string key = std::to_string(i);
        array->Put(Intern(key), key, elements[i]);
    }
    heap_.Grew(elements.size() * sizeof(Property));
    array->SetLength(*this, static_cast<std::uint32_t>(elements.size()));
}

std::vector<Value> Vm::PopArgs() {
    const double n = ToNumber(Pop());
    const std::size_t count = n > 0 ? static_cast<std::size_t>(std::min(n, 1e9)) : 0;
    std::vector<Value> args;
    for (std::size_t k = 0; k < count && stack_.size() > stackBase_; ++k) args.push_back(Pop());
    return args;
}

// ---- Calls -------------------------------------------------------------------------------------

Value Vm::Call(const Value& function, const Value& self, std::span<const Value> args) {
    return CallValue(function, self, args, nullptr, {});
}

Value Vm::BareMethodSelf(Frame& frame, std::string_view name, const Value& function) {
    // A built-in method of the clip the code runs on, called without an object
    // (createTextField(...) on a timeline), works on that clip.
    auto* f = function.AsObject() && function.AsObject()->Kind() == ObjectKind::kFunction
                  ? static_cast<FunctionObject*>(function.AsObject())
                  : nullptr;
    Object* clip = frame.target ? frame.target : frame.timeline;
    if (!f || !f->Native() || !clip || clip->Kind() != ObjectKind::kClip) return Value();
    const Value own = Get(clip, name);
    return own.AsObject() == f ? Value::Obj(clip) : Value();
}

Value Vm::CallValue(const Value& function, const Value& self, std::span<const Value> args,
                    Object* home, std::string_view nameForProblem) {
    Object* o = function.AsObject();
    if (!o || o->Kind() != ObjectKind::kFunction) {
        (void)nameForProblem;
        return Value();
    }
    auto* f = static_cast<FunctionObject*>(o);
    if (f->IsNative()) {
        std::vector<Value> copy(args.begin(), args.end());
        ++nativeDepth_;
        Value result = f->Native()(*this, self, copy);
        --nativeDepth_;
        return result;
    }
    return CallScript(f, self, args, home);
}

Value Vm::CallAccessor(Object* function, const Value& self, std::span<const Value> args,
                       Object* home) {
    ++accessorDepth_;
    Value result = CallValue(Value::Obj(function), self, args, home, {});
    --accessorDepth_;
    return result;
}

Value Vm::CallMethod(const Value& target, std::string_view name, std::span<const Value> args) {
    Object* holder = nullptr;
    const Value function = LookupMember(target, name, &holder);
    return CallValue(function, target, args, holder, name);
}

Value Vm::CallScript(FunctionObject* f, const Value& self, std::span<const Value> args,
                     Object* home) {
    if (stopped_) return Value();
    if (depth_ >= options_.limits.maxRecursion) {
        Stop(std::to_string(options_.limits.maxRecursion) + " levels of recursion were exceeded");
        return Value();
    }
    const FunctionDef& def = *f->Def();
    Frame frame;
    frame.program = f->GetProgram();
    frame.pool = f->Pool();
    frame.callee = f;
    frame.home = home;
    // Called without a receiver, a function runs on the timeline it was defined on.
    frame.thisValue = self.IsNullish() && f->Target() ? Value::Obj(f->Target()) : self;
    frame.timeline = f->Target();
    frame.target = f->Target();
    frame.activation = heap_.New<Object>(nullptr);
    frame.activation->RemoveProtoSlot();
    frame.scope = heap_.New<Scope>(frame.activation, f->GetScope());
    frame.registers.resize(def.v2 ? std::max<int>(def.registerCount, 1) : kRegistersOfBlock);
    frame.stackBase = stack_.size();

    const bool v2 = def.v2;
    const auto flags = v2 ? def.flags : 0;
    // `this`, `arguments` and `super` are names in the body unless preloaded or suppressed.
    auto named = [&](std::uint16_t preload, std::uint16_t suppress) {
        return !(flags & (preload | suppress));
    };
    frame.thisVisible = named(kPreloadThis, kSuppressThis);
    frame.superVisible = named(kPreloadSuper, kSuppressSuper);
    ArrayObject* arguments = nullptr;
    if (named(kPreloadArguments, kSuppressArguments) || (flags & kPreloadArguments)) {
        arguments = NewArray(args);
        DefineValue(arguments, "callee", Value::Obj(f));
        // The script function that made this call, null from a frame's block.
        Object* caller = frames_.empty() ? nullptr : frames_.back()->callee;
        DefineValue(arguments, "caller", caller ? Value::Obj(caller) : Value::Null());
    }
    int reg = 1;
    auto preload = [&](const Value& v) {
        if (reg < static_cast<int>(frame.registers.size())) frame.registers[reg] = v;
        ++reg;
    };
    // Preloaded values take registers from 1 in this order; a suppressed `this` or `super`
    // keeps its register empty.
    if (flags & kPreloadThis) preload((flags & kSuppressThis) ? Value() : frame.thisValue);
    if (flags & kPreloadArguments) preload(Value::Obj(arguments));
    if (flags & kPreloadSuper) {
        Object* super = (flags & kSuppressSuper) ? nullptr : SuperFor(frame);
        preload(super ? Value::Obj(super) : Value());
    }
    if (flags & kPreloadRoot) preload(Value::Obj(RootOf(frame.timeline)));
    if (flags & kPreloadParent) preload(ParentOf(frame.timeline));
    if (flags & kPreloadGlobal) preload(Value::Obj(realm_.global));
    if (named(kPreloadArguments, kSuppressArguments))
        frame.activation->Put(Intern("arguments"), Key("arguments"), Value::Obj(arguments));
    for (std::size_t k = 0; k < def.params.size(); ++k) {
        const Value arg = k < args.size() ? args[k] : Value();
        const std::uint8_t r = v2 ? def.paramRegisters[k] : 0;
        if (r != 0) {
            if (r < frame.registers.size()) frame.registers[r] = arg;
        } else {
            frame.activation->Put(def.params[k], Key(def.params[k]->Text()), arg);
        }
    }

    const std::size_t savedBase = stackBase_;
    stackBase_ = frame.stackBase;
    frames_.push_back(&frame);
    ++depth_;
    std::uint32_t pc = def.begin;
    Execute(frame, def.begin, def.end, &pc);
    --depth_;
    frames_.pop_back();
    stack_.resize(std::max(frame.stackBase, std::min(stack_.size(), frame.stackBase)));
    stackBase_ = savedBase;
    return frame.returnValue;
}

Object* Vm::SuperFor(Frame& frame) {
    Object* home = frame.home;
    if (!home) return nullptr;
    return heap_.New<SuperObject>(home, frame.thisValue);
}

Value Vm::CallMethodAction(Frame& frame, const Value& object, const Value& nameValue,
                           std::span<const Value> args) {
    const bool noName = nameValue.IsUndefined() || (nameValue.IsString() && nameValue.Text().empty());
    Object* o = object.AsObject();
    if (o && o->Kind() == ObjectKind::kSuper) {
        auto* super = static_cast<SuperObject*>(o);
        Object* above = super->Home()->Proto();
        if (noName) {
            // super(...) runs the superclass's constructor on this object.
            const Value ctor = above ? Get(super->Home(), "__constructor__") : Value();
            return CallValue(ctor, super->Self(), args, above, {});
        }
        Object* holder = nullptr;
        const Value method = above ? Lookup(above, ToString(nameValue), super->Self(), &holder) : Value();
        return CallValue(method, super->Self(), args, holder, {});
    }
    (void)frame;
    if (noName) return CallValue(object, Value(), args, nullptr, {});
    return CallMethod(object, ToString(nameValue), args);
}

Value Vm::NewMethodAction(const Value& object, const Value& nameValue, std::span<const Value> args) {
    const bool noName = nameValue.IsUndefined() || (nameValue.IsString() && nameValue.Text().empty());
    const Value constructor = noName ? object : GetMember(object, ToString(nameValue));
    return Construct(constructor, args);
}

Value Vm::Construct(const Value& constructor, std::span<const Value> args) {
    Object* c = constructor.AsObject();
    if (!c || c->Kind() != ObjectKind::kFunction) return Value();
    auto* f = static_cast<FunctionObject*>(c);
    if (f->IsNative() && f->Constructor()) {
        std::vector<Value> copy(args.begin(), args.end());
        ++nativeDepth_;
        Value result = f->Constructor()(*this, Value(), copy);
        --nativeDepth_;
        return result;
    }
    Object* proto = Get(f, "prototype").AsObject();
    // Instances of built-in classes with C++ state (XML nodes, ...) are made by their class,
    // also when a script's class extends one.
    Object* object = nullptr;
    int hops = 0;
    for (Object* p = proto; p && !object && hops < 256; p = p->Proto(), ++hops) {
        for (const auto& [nativeProto, make] : realm_.nativeClasses)
            if (p == nativeProto && !object) object = make(*this, proto);
    }
    if (!object) object = heap_.New<Object>(proto);
    // The instance knows its constructor; from version 6 also as __constructor__ (super).
    if (Version() >= 6) DefineValue(object, "__constructor__", Value::Obj(f));
    DefineValue(object, "constructor", Value::Obj(f));
    const Value result = CallValue(constructor, Value::Obj(object), args, proto, {});
    if (f->IsNative() && result.IsObject()) return result;
    return Value::Obj(object);
}

void Vm::ConstructOn(Object* object, const Value& constructor) {
    Object* c = constructor.AsObject();
    if (!object || !c || c->Kind() != ObjectKind::kFunction || stopped_) return;
    Object* proto = Get(c, "prototype").AsObject();
    object->SetProto(proto);
    if (Version() >= 6) DefineValue(object, "__constructor__", constructor);
    DefineValue(object, "constructor", constructor);
    CallValue(constructor, Value::Obj(object), {}, proto, {});
    if (throwing_) {
        throwing_ = false;
        host_.Trace("Warning: Uncaught exception, " + ToString(thrown_));
        thrown_ = Value();
    }
}

void Vm::Extends(const Value& subclass, const Value& superclass) {
    Object* sub = subclass.AsObject();
    Object* super = superclass.AsObject();
    if (!sub || !super) return;
    Object* proto = heap_.New<Object>(Get(super, "prototype").AsObject());
    DefineValue(proto, "__constructor__", Value::Obj(super));
    Set(sub, "prototype", Value::Obj(proto));
}

void Vm::GetUrl(Frame& frame, const std::string& url, const std::string& target,
                std::uint8_t flags) {
    std::string lower = url.substr(0, 10);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    if (lower.starts_with("fscommand:")) return;
    // As movies store them: variables wanted (0x80), the target a clip rather than a window
    // or level (0x40), the method in the low bits.
    const bool variables = flags & 0x80;
    const bool clipTarget = flags & 0x40;
    std::string level = target.substr(0, 6);
    std::transform(level.begin(), level.end(), level.begin(), [](unsigned char c) { return std::tolower(c); });
    const bool levelTarget = !clipTarget && level == "_level";
    if (!variables && !clipTarget && !levelTarget) {
        host_.Problem("a script asked to open \"" + url + "\"" +
                      (target.empty() ? "" : " in \"" + target + "\"") + "; nothing is opened");
        return;
    }
    ClipHost* into = nullptr;
    if (levelTarget) {
        const double n = StringToNumber(std::string_view(target).substr(6), options_.swfVersion);
        if (n >= 0 && n <= player::Limits::kMaxLevel && n == std::floor(n))
            into = host_.Level(static_cast<int>(n));
    } else {
        into = ClipOf(ResolvePath(target, frame.target));
    }
    if (variables) return LoadVariablesInto(*this, into, url);
    // loadMovie and loadMovieNum; unloadMovie and unloadMovieNum name no file.
    Value where;
    if (levelTarget) {
        const double n = StringToNumber(std::string_view(target).substr(6), options_.swfVersion);
        if (n >= 0 && n <= player::Limits::kMaxLevel && n == std::floor(n))
            where = Value::Number(n);
    } else if (into) {
        where = Value::Obj(ClipFor(into));
    }
    if (where.IsUndefined()) {
        host_.Problem("a script asked to load the movie \"" + url + "\" into \"" + target +
                      "\", which is not there; it is not loaded");
        return;
    }
    if (url.empty()) return UnloadMovieFrom(*this, where);
    RequestMovieLoad(*this, url, where, Value());
}

// ---- Timers ----------------------------------------------------------------------------------

int Vm::AddTimer(Value function, Value self, Value methodName, std::vector<Value> args,
                 double intervalMs, bool repeat) {
    Timer t;
    t.id = nextTimerId_++;
    t.function = function;
    t.self = self;
    t.method = methodName;
    t.args = std::move(args);
    t.intervalMs = std::max(intervalMs, 1.0);
    t.dueMs = nowMs_ + t.intervalMs;
    t.repeat = repeat;
    timers_.push_back(std::move(t));
    return timers_.back().id;
}

bool Vm::RemoveTimer(int id) {
    auto it = std::find_if(timers_.begin(), timers_.end(), [&](const Timer& t) { return t.id == id; });
    if (it == timers_.end()) return false;
    timers_.erase(it);
    return true;
}

void Vm::RunTimers() {
    // Each due timer fires at most once a tick, in the order they were made.
    std::vector<int> due;
    for (const Timer& t : timers_)
        if (t.dueMs <= nowMs_) due.push_back(t.id);
    for (int id : due) {
        auto it = std::find_if(timers_.begin(), timers_.end(), [&](const Timer& t) { return t.id == id; });
        if (it == timers_.end() || stopped_) continue;
        Timer t = *it;
        if (t.repeat)
            it->dueMs = nowMs_ + t.intervalMs;
        else
            timers_.erase(it);
        if (t.method.IsUndefined())
            CallFromHost(t.function, t.self, t.args);
        else
            CallFromHost(GetMember(t.self, ToString(t.method)), t.self, t.args);
    }
}

void Vm::QueueLoad(Value function, Value self, std::vector<Value> args) {
    Timer load;
    load.function = function;
    load.self = self;
    load.args = std::move(args);
    loads_.push_back(std::move(load));
}

bool Vm::RunLoads() {
    if (loads_.empty()) return false;
    // Loads asked for by these wait for the next frame's end.
    for (std::size_t left = loads_.size(); left > 0 && !stopped_; --left) {
        const Timer load = loads_.front();
        loads_.erase(loads_.begin());
        CallFromHost(load.function, load.self, load.args);
    }
    return true;
}

void Vm::CallAfterFrames(Value function, Value self, std::vector<Value> args) {
    Timer call;
    call.function = function;
    call.self = self;
    call.args = std::move(args);
    afterFrames_.push_back(std::move(call));
}

void Vm::RunAfterFrames() {
    // Calls queued by these calls wait for the next tick's frames; the waiting ones stay in
    // the list, where collection sees them.
    for (std::size_t left = afterFrames_.size(); left > 0 && !stopped_;) {
        --left;
        const Timer call = afterFrames_[left];
        afterFrames_.erase(afterFrames_.begin() + static_cast<std::ptrdiff_t>(left));
        CallFromHost(call.function, call.self, call.args);
    }
}

bool Vm::Listen(std::string name, Object* connection) {
    if (HasListener(name) || IsListening(connection)) return false;
    listeners_.emplace_back(std::move(name), connection);
    return true;
}

void Vm::StopListening(Object* connection) {
    std::erase_if(listeners_, [&](const auto& entry) { return entry.second == connection; });
}

bool Vm::IsListening(Object* connection) const {
    return std::any_of(listeners_.begin(), listeners_.end(),
                       [&](const auto& entry) { return entry.second == connection; });
}

bool Vm::HasListener(std::string_view name) const {
    return std::any_of(listeners_.begin(), listeners_.end(),
                       [&](const auto& entry) { return entry.first == name; });
}

void Vm::QueueMessage(Value sender, std::string name, Value method, std::vector<Value> args,
                      bool heard) {
    // Each send costs actions, so the tick's action budget bounds the queue.
    messages_.push_back({sender, method, std::move(name), std::move(args), heard});
}

void Vm::DeliverMessages() {
    // The sender hears how it went, then the listener on the name now runs the method;
    // messages these calls send wait for the next tick.
    std::vector<Message> due;
    due.swap(messages_);
    for (const Message& m : due) {
        if (stopped_) break;
        const auto listener = std::find_if(listeners_.begin(), listeners_.end(),
                                           [&](const auto& entry) { return entry.first == m.name; });
        const bool delivered = m.heard && listener != listeners_.end();
        Object* to = delivered ? listener->second : nullptr;
        Object* status = NewObject();
        Set(status, "level", Str(delivered ? "status" : "error"));
        const Value handler = GetMember(m.sender, "onStatus");
        if (handler.IsObject()) {
            const Value info = Value::Obj(status);
            CallFromHost(handler, m.sender, std::span<const Value>(&info, 1));
        }
        if (!to) continue;
        const Value method = GetMember(Value::Obj(to), ToString(m.method));
        if (method.IsObject()) CallFromHost(method, Value::Obj(to), m.args);
    }
}

std::uint32_t Vm::RandomBelow(std::uint32_t n) {
    return static_cast<std::uint32_t>(random_() % n);
}

}  // namespace player::script
