// A user's clicks and keys: button states and actions, clips' pointer handlers, onClipEvent
// mouse and key events, Key's listeners and state, dragging; scripted input by tick and a
// user's input as it happens. Movies are built with the SWF writer and the assembler.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "player/limits.h"
#include "player/player.h"
#include "tests/support/avm1_asm.h"
#include "tests/support/swf_writer.h"

namespace {

using swfw::Asm;
using Op = swfw::Op;
using player::InputEvent;
using Lines = std::vector<std::string>;

constexpr std::uint32_t kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF;
constexpr std::uint32_t kWhite = 0xFFFFFFFF;

swfw::Shape Box(std::uint16_t id, swfw::Color color, int x, int y, int w, int h) {
    swfw::Shape s(id);
    s.Fill(s.AddFill(swfw::FillStyle::Solid(color))).Rectangle(x * 20, y * 20, w * 20, h * 20);
    return s;
}

// A 100 x 100 stage with red (1), green (2) and blue (3) 20-pixel boxes in the library.
swfw::Movie Stage() {
    swfw::Movie m;
    m.Version(8).Size(100, 100).Background(swfw::Rgb(255, 255, 255));
    m.Define(Box(1, swfw::Rgb(255, 0, 0), 0, 0, 20, 20))
        .Define(Box(2, swfw::Rgb(0, 255, 0), 0, 0, 20, 20))
        .Define(Box(3, swfw::Rgb(0, 0, 255), 0, 0, 20, 20));
    return m;
}

swfw::ButtonRecord Record(std::uint16_t id, bool up, bool over, bool down, bool hit) {
    swfw::ButtonRecord r;
    r.characterId = id;
    r.depth = id;
    r.up = up;
    r.over = over;
    r.down = down;
    r.hitTest = hit;
    return r;
}

swfw::Actions TraceAction(const std::string& text) {
    swfw::Actions a;
    Asm code;
    code.PushTraceString(text);
    const swfw::Buffer bytes = code.Bytes();
    // The assembler's program without its closing End: Actions adds its own.
    std::size_t at = 0;
    while (at + 1 < bytes.size()) {
        const std::uint8_t op = bytes[at];
        if (op < 0x80) {
            a.Raw(op);
            ++at;
            continue;
        }
        const std::size_t length = bytes[at + 1] | (bytes[at + 2] << 8);
        a.Raw(op, swfw::Buffer(bytes.begin() + at + 3, bytes.begin() + at + 3 + length));
        at += 3 + length;
    }
    return a;
}

// Button 10: red when up, green when the pointer is over, blue when pressed; its hit area is
// the 20 x 20 box. Placed at (40, 40) with the given actions.
swfw::Movie WithButton(const std::vector<swfw::ButtonAction>& actions) {
    swfw::Movie m = Stage();
    swfw::Button button;
    button.id = 10;
    button.records = {Record(1, true, false, false, true), Record(2, false, true, false, false),
                      Record(3, false, false, true, false)};
    button.actions = actions;
    m.Define(button).Place(swfw::PlaceObject::New(10, 1).At(800, 800).Name("btn"));
    return m;
}

swfw::ButtonAction On(std::uint16_t conditions, const std::string& text) {
    swfw::ButtonAction a;
    a.conditions = conditions;
    a.actions = TraceAction(text);
    return a;
}

struct Run {
    std::unique_ptr<player::Player> player;
    Lines lines;

    std::uint32_t Pixel(int x, int y) const {
        std::vector<std::uint32_t> pixels(100 * 100);
        player->Render({reinterpret_cast<std::uint8_t*>(pixels.data()), 100, 100, 400});
        return pixels[std::size_t(y) * 100 + x];
    }
};

std::unique_ptr<Run> Play(const swfw::Movie& m, std::vector<player::ScriptedInput> input,
                          int frames = 1) {
    auto run = std::make_unique<Run>();
    std::string error;
    run->player = player::Player::Load(m.Bytes(), &error);
    EXPECT_TRUE(run->player) << error;
    if (!run->player) return run;
    player::ScriptSettings settings;
    settings.trace = [lines = &run->lines](std::string_view line) { lines->emplace_back(line); };
    settings.input = std::move(input);
    run->player->SetScripting(std::move(settings));
    for (int i = 1; i < frames; ++i) run->player->Tick(false, true);
    return run;
}

std::vector<player::ScriptedInput> Clicks(const std::vector<std::array<double, 3>>& clicks) {
    std::vector<player::ScriptedInput> input;
    for (const auto& c : clicks) player::AddClick(input, static_cast<long>(c[2]), c[0], c[1]);
    return input;
}

InputEvent Pointer(InputEvent::Kind kind, double x, double y) {
    InputEvent e;
    e.kind = kind;
    e.x = x;
    e.y = y;
    return e;
}

// ---- Buttons -------------------------------------------------------------------------------

TEST(ButtonInput, ActionsRunOnTheirTransitionsOnly) {
    const auto m = WithButton({On(swfw::kIdleToOverUp, "over"),
                               On(swfw::kOverUpToOverDown, "press"),
                               On(swfw::kOverDownToOverUp, "release"),
                               On(swfw::kOverUpToIdle, "out")})
                       .ShowFrame()
                       .ShowFrame()
                       .ShowFrame();
    struct Case {
        const char* name;
        std::vector<std::array<double, 3>> clicks;  // x, y, tick
        Lines expected;
    } cases[] = {
        {"no input", {}, {}},
        {"a click on it", {{50, 50, 1}}, {"over", "press", "release"}},
        {"a click on it, then beside it", {{50, 50, 1}, {5, 5, 2}}, {"over", "press", "release", "out"}},
        {"a click beside it", {{5, 5, 1}}, {}},
        {"a click on its edge", {{40, 59, 1}}, {"over", "press", "release"}},
        {"a click at the first frame", {{50, 50, 0}}, {"over", "press", "release"}},
        {"a click after the last tick played", {{50, 50, 9}}, {}},
    };
    for (const Case& c : cases) {
        auto run = Play(m, Clicks(c.clicks), 3);
        EXPECT_EQ(run->lines, c.expected) << c.name;
    }
}

TEST(ButtonInput, ShowsOverAndDownStatesAsThePointerMoves) {
    auto m = WithButton({});
    m.ShowFrame().ShowFrame().ShowFrame().ShowFrame();
    auto run = Play(m, {});
    EXPECT_EQ(run->Pixel(50, 50), kRed);
    run->player->SendInput(Pointer(InputEvent::Kind::kMove, 45, 45));
    EXPECT_EQ(run->Pixel(50, 50), kRed) << "input waits for the next tick";
    run->player->Tick(false, true);
    EXPECT_EQ(run->Pixel(50, 50), kGreen);
    run->player->SendInput(Pointer(InputEvent::Kind::kPress, 45, 45));
    run->player->Tick(false, true);
    EXPECT_EQ(run->Pixel(50, 50), kBlue);
    run->player->SendInput(Pointer(InputEvent::Kind::kRelease, 45, 45));
    run->player->SendInput(Pointer(InputEvent::Kind::kMove, 90, 90));
    run->player->Tick(false, true);
    EXPECT_EQ(run->Pixel(50, 50), kRed);
    EXPECT_EQ(run->Pixel(95, 95), kWhite);
}

// The actions run on the timeline the button sits on: a release that sends the root on to a
// frame showing another picture.
TEST(ButtonInput, ReleaseMovesTheRootPastAStartScreen) {
    swfw::ButtonAction go;
    go.conditions = swfw::kOverDownToOverUp;
    go.actions.GotoFrame(1).Play();
    auto m = WithButton({go});
    Asm stop;
    stop.Op(Op::kStop);
    m.Do(stop).ShowFrame();
    m.Remove(1).Place(swfw::PlaceObject::New(3, 2).At(0, 0)).Do(stop).ShowFrame();
    auto idle = Play(m, {}, 5);
    EXPECT_EQ(idle->player->CurrentFrame(), 0);
    auto clicked = Play(m, Clicks({{50, 50, 2}}), 5);
    EXPECT_EQ(clicked->player->CurrentFrame(), 1);
    EXPECT_EQ(clicked->Pixel(5, 5), kBlue);
    EXPECT_EQ(clicked->Pixel(50, 50), kWhite);
}

TEST(ButtonInput, KeyPressConditionsRunForTheirKey) {
    // The key code sits above the lowest bit of the condition word.
    const auto m = WithButton({On(13 << 1, "enter"), On('a' << 1, "a")}).ShowFrame().ShowFrame();
    struct Case {
        const char* key;
        Lines expected;
    } cases[] = {{"Enter", {"enter"}}, {"a", {"a"}}, {"Space", {}}, {"Left", {}}};
    for (const Case& c : cases) {
        int code = 0, ascii = 0;
        ASSERT_TRUE(player::KeyByName(c.key, &code, &ascii)) << c.key;
        std::vector<player::ScriptedInput> input;
        player::AddKeyPress(input, 1, code, ascii);
        EXPECT_EQ(Play(m, input, 2)->lines, c.expected) << c.key;
    }
}

// ---- Clips ---------------------------------------------------------------------------------

// Clip "c" (a red box at 40, 40) whose handlers, set by script, trace their names.
swfw::Movie WithHandlerClip(const std::vector<std::string>& handlers) {
    swfw::Movie m = Stage();
    swfw::Sprite clip(20);
    clip.Place(swfw::PlaceObject::New(1, 1)).ShowFrame();
    m.Define(clip).Place(swfw::PlaceObject::New(20, 1).At(800, 800).Name("c"));
    Asm a;
    for (const std::string& name : handlers) {
        a.GetVariable("c").Push(name);
        a.DefineFunction("", {}, [name](Asm& body) { body.PushTraceString(name); });
        a.Op(Op::kSetMember);
    }
    m.Do(a);
    return m;
}

TEST(ClipInput, PointerHandlersFireInAUsersOrder) {
    const auto m = WithHandlerClip({"onPress", "onRelease", "onRollOver", "onRollOut",
                                    "onReleaseOutside", "onDragOut", "onDragOver"})
                       .ShowFrame()
                       .ShowFrame()
                       .ShowFrame()
                       .ShowFrame();
    using K = InputEvent::Kind;
    struct Step {
        K kind;
        double x, y;
        long tick;
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        Lines expected;
    } cases[] = {
        {"click", {{K::kMove, 50, 50, 1}, {K::kPress, 50, 50, 1}, {K::kRelease, 50, 50, 1}},
         {"onRollOver", "onPress", "onRelease"}},
        {"pressed, dragged off and released",
         {{K::kPress, 50, 50, 1}, {K::kMove, 5, 5, 2}, {K::kRelease, 5, 5, 3}},
         {"onRollOver", "onPress", "onDragOut", "onReleaseOutside"}},
        {"dragged off and back",
         {{K::kPress, 50, 50, 1}, {K::kMove, 5, 5, 2}, {K::kMove, 50, 50, 2},
          {K::kRelease, 50, 50, 3}},
         {"onRollOver", "onPress", "onDragOut", "onDragOver", "onRelease"}},
        {"pressed elsewhere and dragged over",
         {{K::kPress, 5, 5, 1}, {K::kMove, 50, 50, 2}, {K::kRelease, 50, 50, 3}},
         {"onRollOver"}},
        {"passing over", {{K::kMove, 50, 50, 1}, {K::kMove, 90, 90, 2}},
         {"onRollOver", "onRollOut"}},
    };
    for (const Case& c : cases) {
        std::vector<player::ScriptedInput> input;
        for (const Step& s : c.steps) {
            player::ScriptedInput in;
            in.tick = s.tick;
            in.event = Pointer(s.kind, s.x, s.y);
            input.push_back(in);
        }
        EXPECT_EQ(Play(m, input, 4)->lines, c.expected) << c.name;
    }
}

TEST(ClipInput, DisabledClipsAndClipsWithoutHandlersTakeNoClicks) {
    auto m = WithHandlerClip({"onRelease"});
    Asm off;
    off.GetVariable("c").Push("enabled", false).Op(Op::kSetMember);
    auto disabled = m;
    disabled.Do(off).ShowFrame().ShowFrame();
    EXPECT_TRUE(Play(disabled, Clicks({{50, 50, 1}}), 2)->lines.empty());
    auto none = WithHandlerClip({});
    none.ShowFrame().ShowFrame();
    EXPECT_TRUE(Play(none, Clicks({{50, 50, 1}}), 2)->lines.empty());
}

// PlaceObject2 of sprite 20 at depth 1 with onClipEvent handlers that trace their text.
swfw::RawTag PlaceWithHandlers(const std::vector<std::pair<std::uint32_t, std::string>>& handlers) {
    swfw::Buffer body = {0x82, 0x01, 0x00, 20, 0x00, 0x00, 0x00};
    auto put32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) body.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    std::uint32_t all = 0;
    for (const auto& h : handlers) all |= h.first;
    put32(all);
    for (const auto& [events, text] : handlers) {
        Asm code;
        code.PushTraceString(text);
        const swfw::Buffer bytes = code.Bytes();
        put32(events);
        put32(static_cast<std::uint32_t>(bytes.size()));
        body.insert(body.end(), bytes.begin(), bytes.end());
    }
    put32(0);
    return swfw::RawTag(26, body);
}

TEST(ClipInput, MouseAndKeyClipEventsFireOnlyWithInput) {
    swfw::Movie m = Stage();
    swfw::Sprite clip(20);
    clip.Place(swfw::PlaceObject::New(1, 1)).ShowFrame();
    m.Define(clip);
    m.Tag(PlaceWithHandlers({{1u << 3, "move"}, {1u << 4, "down"}, {1u << 5, "up"},
                             {1u << 6, "keyDown"}, {1u << 7, "keyUp"}}));
    m.ShowFrame().ShowFrame().ShowFrame();
    EXPECT_TRUE(Play(m, {}, 3)->lines.empty());
    // Anywhere on the stage, not only over the clip.
    auto input = Clicks({{95, 95, 1}});
    player::AddKeyPress(input, 2, 32, 32);
    EXPECT_EQ(Play(m, input, 3)->lines, (Lines{"move", "down", "up", "keyDown", "keyUp"}));
}

// ---- Keys and the pointer as scripts read them ------------------------------------------------

TEST(KeyInput, ListenersHearKeysHeldThroughTheirTick) {
    swfw::Movie m = Stage();
    Asm a;
    a.SetVariable("o", [](Asm& b) { b.Push(0, "Object").Op(Op::kNewObject); });
    a.GetVariable("o").Push("onKeyDown");
    a.DefineFunction("", {}, [](Asm& b) {
        b.PushTraceString("down");
        b.CallMethod("getCode", 0, [](Asm& k) { k.GetVariable("Key"); }).Trace();
        b.CallMethod("getAscii", 0, [](Asm& k) { k.GetVariable("Key"); }).Trace();
    });
    a.Op(Op::kSetMember);
    a.GetVariable("o").Push("onKeyUp");
    a.DefineFunction("", {}, [](Asm& b) { b.PushTraceString("up"); });
    a.Op(Op::kSetMember);
    a.GetVariable("o").CallMethod("addListener", 1, [](Asm& k) { k.GetVariable("Key"); });
    a.Op(Op::kPop);
    // Every frame: whether A is down.
    a.Push("_root").Op(Op::kGetVariable).Push("onEnterFrame");
    a.DefineFunction("", {}, [](Asm& b) {
        b.Push(65).CallMethod("isDown", 1, [](Asm& k) { k.GetVariable("Key"); }).Trace();
    });
    a.Op(Op::kSetMember);
    m.Do(a).ShowFrame().ShowFrame().ShowFrame();
    std::vector<player::ScriptedInput> input;
    int code = 0, ascii = 0;
    ASSERT_TRUE(player::KeyByName("A", &code, &ascii));
    player::AddKeyPress(input, 1, code, ascii);
    EXPECT_EQ(Play(m, input, 3)->lines,
              (Lines{"down", "65", "97", "true", "up", "false"}));
    EXPECT_EQ(Play(m, {}, 3)->lines, (Lines{"false", "false"}));
}

TEST(KeyInput, NamesOfKeys) {
    struct Case {
        const char* name;
        bool known;
        int code, ascii;
    } cases[] = {
        {"a", true, 65, 97},       {"Z", true, 90, 122},     {"7", true, 55, 55},
        {"Space", true, 32, 32},   {"ENTER", true, 13, 13},  {"escape", true, 27, 27},
        {"Left", true, 37, 0},     {"PageDown", true, 34, 0}, {"F1", true, 112, 0},
        {"f12", true, 123, 0},     {"F13", false, 0, 0},     {"F0", false, 0, 0},
        {"", false, 0, 0},         {"ab", false, 0, 0},      {"%", false, 0, 0},
        {"Spacebar", false, 0, 0},
    };
    for (const Case& c : cases) {
        int code = 0, ascii = 0;
        EXPECT_EQ(player::KeyByName(c.name, &code, &ascii), c.known) << c.name;
        if (!c.known) continue;
        EXPECT_EQ(code, c.code) << c.name;
        EXPECT_EQ(ascii, c.ascii) << c.name;
    }
}

TEST(PointerInput, DraggedClipFollowsThePointerWithinItsBounds) {
    auto m = WithHandlerClip({});
    Asm drag;  // c.startDrag(true, 0, 0, 60, 60)
    drag.Push(60, 60, 0, 0, true)
        .CallMethod("startDrag", 5, [](Asm& b) { b.GetVariable("c"); })
        .Op(Op::kPop);
    m.Do(drag).ShowFrame();
    Asm report;
    for (const char* p : {"_x", "_y", "_xmouse"}) {
        report.GetVariable("c").Push(p).Op(Op::kGetMember).Trace();
    }
    report.Push("_root").Op(Op::kGetVariable).Push("_xmouse").Op(Op::kGetMember).Trace();
    m.Do(report).ShowFrame();
    std::vector<player::ScriptedInput> input;
    player::ScriptedInput move;
    move.tick = 1;
    move.event = Pointer(InputEvent::Kind::kMove, 30, 90);
    input.push_back(move);
    // Locked to its centre, held inside the bounds: y stops at 60.
    EXPECT_EQ(Play(m, input, 2)->lines, (Lines{"30", "60", "0", "30"}));
}

// ---- Robustness ----------------------------------------------------------------------------

// Condition records whose sizes lie: the records before them are kept, nothing is read past
// the tag, and clicks on the button neither crash nor run what was cut.
TEST(ButtonInput, BrokenConditionRecordsEndTheList) {
    auto make = [](const swfw::Buffer& tail) {
        swfw::Movie m = Stage();
        swfw::BitWriter body;
        body.U16(10);
        body.U8(0);
        body.U16(2 + 8);  // the records below take 8 bytes with their end
        body.U8(0x09);    // up and hit area
        body.U16(1);
        body.U16(1);
        body.U8(0);  // identity matrix
        body.U8(0);  // colour transform: nothing
        body.U8(0);  // end of records
        body.Append(tail);
        m.Tag(swfw::RawTag(34, body.Bytes()))
            .Place(swfw::PlaceObject::New(10, 1).At(800, 800))
            .ShowFrame()
            .ShowFrame();
        return m;
    };
    const swfw::Buffer traceOk = {0x96, 0x04, 0x00, 0x00, 'o', 'k', 0x00, 0x26, 0x00};
    auto record = [&](std::uint16_t size) {
        swfw::Buffer r = {static_cast<std::uint8_t>(size), static_cast<std::uint8_t>(size >> 8),
                          0x08, 0x00};  // on release
        r.insert(r.end(), traceOk.begin(), traceOk.end());
        return r;
    };
    struct Case {
        const char* name;
        swfw::Buffer tail;
        Lines expected;
    } cases[] = {
        {"one last record", record(0), {"ok"}},
        {"a size past the tag", record(400), {}},
        {"a size under its header", record(2), {}},
        {"a record cut in its header", {0x00, 0x00, 0x08}, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Play(make(c.tail), Clicks({{50, 50, 1}}), 2)->lines, c.expected) << c.name;
    }
}

TEST(ButtonInput, ScriptedInputIsCapped) {
    const auto m = WithButton({On(swfw::kOverDownToOverUp, "release")}).ShowFrame().ShowFrame();
    std::vector<player::ScriptedInput> input;
    for (int i = 0; i < 10000; ++i) player::AddClick(input, 1, 50, 50);
    // A click's three events, up to the cap.
    EXPECT_EQ(Play(m, input, 2)->lines.size(), player::Limits{}.maxScriptedInputs / 3 + 0);
}

}  // namespace
