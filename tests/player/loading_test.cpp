// What a movie may load: files beside it only (paths, "..", links, schemes), the text as
// scripts get it, and loads through the script objects (LoadVars, XML, loadVariables) as they
// succeed, fail and are refused. Movies are written with the SWF writer into a scratch folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "player/limits.h"
#include "player/loading.h"
#include "player/player.h"
#include "tests/support/avm1_asm.h"
#include "tests/support/swf_writer.h"

namespace fs = std::filesystem;

namespace {

using swfw::Asm;
using Op = swfw::Op;
using Lines = std::vector<std::string>;

class LoadingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("fc_loading_" + std::to_string(::getpid()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_ / "movie" / "sub");
        fs::create_directories(root_ / "elsewhere");
        Write("movie/vars.txt", "greeting=hello&count=3");
        Write("movie/sub/inner.txt", "inner");
        Write("movie/doc.xml", "<note><to>you</to></note>");
        Write("elsewhere/secret.txt", "secret=1");
        fs::create_symlink(root_ / "elsewhere" / "secret.txt", root_ / "movie" / "link.txt");
        fs::create_symlink(root_ / "elsewhere", root_ / "movie" / "away");
    }
    void TearDown() override { fs::remove_all(root_); }

    void Write(const std::string& name, const std::string& text) const {
        std::ofstream(root_ / name, std::ios::binary) << text;
    }
    std::string Folder() const { return (root_ / "movie").string(); }

    struct Run {
        std::unique_ptr<player::Player> player;
        Lines lines;
    };
    std::unique_ptr<Run> Play(const swfw::Movie& m, int frames) const {
        auto run = std::make_unique<Run>();
        const std::string path = (root_ / "movie" / "test.swf").string();
        std::string error;
        EXPECT_TRUE(m.Save(path, &error)) << error;
        run->player = player::Player::LoadFile(path, &error);
        EXPECT_TRUE(run->player) << error;
        if (!run->player) return run;
        player::ScriptSettings settings;
        settings.trace = [lines = &run->lines](std::string_view l) { lines->emplace_back(l); };
        run->player->SetScripting(std::move(settings));
        for (int i = 1; i < frames; ++i) run->player->Tick(false, true);
        return run;
    }
    static std::size_t ProblemsMentioning(const player::Player& p, const std::string& text) {
        std::size_t n = 0;
        for (const std::string& line : p.Problems()) n += line.find(text) != std::string::npos;
        return n;
    }

    fs::path root_;
};

TEST_F(LoadingTest, OnlyFilesBesideTheMovieAreRead) {
    struct Case {
        std::string address;
        bool read;
        std::string text;
    } cases[] = {
        {"vars.txt", true, "greeting=hello&count=3"},
        {"sub/inner.txt", true, "inner"},
        {"sub/../vars.txt", true, "greeting=hello&count=3"},
        {"./sub/inner.txt", true, "inner"},
        {"vars.txt?nocache=12#top", true, "greeting=hello&count=3"},
        {"sub%2Finner.txt", true, "inner"},
        {"../elsewhere/secret.txt", false, ""},
        {"sub/../../elsewhere/secret.txt", false, ""},
        {"%2E%2E/elsewhere/secret.txt", false, ""},
        {(root_ / "elsewhere" / "secret.txt").string(), false, ""},
        {(root_ / "movie" / "vars.txt").string(), false, ""},  // absolute, even inside
        {"link.txt", false, ""},                               // a link out of the folder
        {"away/secret.txt", false, ""},
        {"http://example.invalid/vars.txt", false, ""},
        {"file:vars.txt", false, ""},
        {"C:\\vars.txt", false, ""},
        {"\\\\host\\share\\vars.txt", false, ""},
        {"missing.txt", false, ""},
        {"sub", false, ""},  // a folder
        {"", false, ""},
        {"?only=a-query", false, ""},
        {".", false, ""},
    };
    for (const Case& c : cases) {
        std::string bytes, reason;
        const bool read = player::ReadBesideMovie(Folder(), c.address, 1 << 20, &bytes, &reason);
        EXPECT_EQ(read, c.read) << c.address << ": " << reason;
        if (read) EXPECT_EQ(bytes, c.text) << c.address;
        else EXPECT_FALSE(reason.empty()) << c.address;
    }
    std::string bytes, reason;
    EXPECT_FALSE(player::ReadBesideMovie("", "vars.txt", 1 << 20, &bytes, &reason));
    EXPECT_FALSE(player::ReadBesideMovie(Folder(), "vars.txt", 5, &bytes, &reason))
        << "larger than the cap";
}

TEST(LoadedText, IsUtf8WithoutItsMark) {
    struct Case {
        std::string bytes, text;
    } cases[] = {
        {"plain", "plain"},
        {"\xEF\xBB\xBFmarked", "marked"},
        {"caf\xC3\xA9", "caf\xC3\xA9"},
        {"caf\xE9", "caf\xC3\xA9"},          // Latin-1
        {"cut \xE2\x82", "cut \xC3\xA2\xC2\x82"},  // UTF-8 broken off: Latin-1
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(player::LoadedText(c.bytes), c.text) << c.bytes;
}

// load(address) on a new object of `kind` whose onLoad traces its success and `member`.
Asm LoadAndReport(const std::string& kind, const std::string& address, const std::string& member) {
    Asm a;
    a.SetVariable("o", [kind](Asm& b) { b.Push(0, kind).Op(Op::kNewObject); });
    a.GetVariable("o").Push("onLoad");
    a.DefineFunction("", {"ok"}, [member](Asm& b) {
        b.GetVariable("ok").Trace();
        b.GetVariable("o").Push(member).Op(Op::kGetMember).Trace();
    });
    a.Op(Op::kSetMember);
    a.Push(address, 1).GetVariable("o").Push("load").Op(Op::kCallMethod).Trace();
    return a;
}

TEST_F(LoadingTest, LoadVarsAndXmlLoadFilesBesideTheMovie) {
    struct Case {
        std::string kind, address, member;
        Lines expected;
        std::size_t problems;
    } cases[] = {
        {"LoadVars", "vars.txt", "greeting", {"true", "true", "hello"}, 0},
        {"LoadVars", "../elsewhere/secret.txt", "secret", {"true", "false", "undefined"}, 1},
        {"LoadVars", "http://example.invalid/v.txt", "v", {"true", "false", "undefined"}, 1},
        {"LoadVars", "missing.txt", "v", {"true", "false", "undefined"}, 1},
        {"XML", "doc.xml", "status", {"true", "true", "0"}, 0},
        {"XML", "/etc/hostname", "status", {"true", "false", "0"}, 1},
    };
    for (const Case& c : cases) {
        swfw::Movie m;
        m.Version(8);
        m.Do(LoadAndReport(c.kind, c.address, c.member)).ShowFrame().ShowFrame().ShowFrame();
        auto run = Play(m, 3);
        EXPECT_EQ(run->lines, c.expected) << c.kind << " " << c.address;
        EXPECT_EQ(ProblemsMentioning(*run->player, c.address), c.problems)
            << c.kind << " " << c.address;
    }
}

TEST_F(LoadingTest, LoadVariablesSetsTheTargetsVariablesOnTheNextFrame) {
    swfw::Movie m;
    m.Version(8);
    Asm load;  // loadVariablesNum("vars.txt", 0), as movies store it
    load.Push("vars.txt", "_level0").GetUrl2(0x80);
    load.GetVariable("greeting").Trace();
    m.Do(load).ShowFrame();
    Asm later;
    later.GetVariable("greeting").Trace().GetVariable("count").Trace();
    m.Do(later).ShowFrame();
    EXPECT_EQ(Play(m, 2)->lines, (Lines{"undefined", "hello", "3"}));
}

TEST_F(LoadingTest, UrlsAndWindowsAreRefusedOnceAndFsCommandsIgnored) {
    struct Case {
        std::string url, target;
        std::uint8_t flags;
        std::size_t problems;
    } cases[] = {
        {"http://example.invalid/", "_blank", 0, 1},
        {"javascript:alert(1)", "", 0, 1},
        {"FSCommand:quit", "", 0, 0},
        {"fscommand:fullscreen", "true", 0, 0},
        {"../elsewhere/secret.txt", "_level0", 0x80, 1},
        {"other.swf", "_level1", 0, 1},  // a movie onto a level: not loaded, said once
    };
    for (const Case& c : cases) {
        swfw::Movie m;
        m.Version(8);
        Asm a;
        a.Push(c.url, c.target).GetUrl2(c.flags);
        m.Do(a).ShowFrame().ShowFrame();
        auto run = Play(m, 2);
        EXPECT_EQ(ProblemsMentioning(*run->player, "\"" + c.url + "\""), c.problems) << c.url;
        EXPECT_EQ(ProblemsMentioning(*run->player, "secret=1"), 0u) << "nothing of the file shows";
    }
}

// A movie that loads in a loop: the first loads of a frame are made, the rest fail at once.
TEST_F(LoadingTest, LoadsInALoopAreCappedEachFrame) {
    swfw::Movie m;
    m.Version(8);
    Asm a;
    a.Push("i", 0).Op(Op::kSetVariable);
    a.Label("top");
    a.Push("vars.txt", "_level0").GetUrl2(0x80);
    a.SetVariable("i", [](Asm& b) { b.GetVariable("i").Op(Op::kIncrement); });
    a.GetVariable("i").Push(1000).Op(Op::kLess2).If("top");
    m.Do(a).ShowFrame().ShowFrame();
    auto run = Play(m, 2);
    EXPECT_EQ(ProblemsMentioning(*run->player, "loads were asked for in one frame"), 1u);
    EXPECT_GT(player::Limits{}.maxLoadsPerTick, 0);
}

}  // namespace
