// Movies scripts load beside the movie: into clips (with their own library), onto levels and
// off them again, through a MovieClipLoader and its events, through imported assets; refused
// and missing files, and loads inside loads, stop where they must. Movies are written with the
// SWF writer into a scratch folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "player/limits.h"
#include "player/player.h"
#include "tests/support/avm1_asm.h"
#include "tests/support/swf_writer.h"

namespace fs = std::filesystem;

namespace {

using swfw::Asm;
using Op = swfw::Op;
using Lines = std::vector<std::string>;

// A sprite of `frames` empty frames exported as "box".
void DefineBox(swfw::Movie& movie, std::uint16_t id, int frames) {
    swfw::Sprite box(id);
    for (int f = 0; f < frames; ++f) box.ShowFrame();
    movie.Define(box).Export(id, "box");
}

void TraceText(Asm& a, const std::string& text) { a.PushTraceString(text); }

// trace(prefix + <value pushed by push>)
void TraceJoined(Asm& a, const std::string& prefix, const std::function<void(Asm&)>& push) {
    a.Push(prefix);
    push(a);
    a.Op(Op::kAdd2).Trace();
}

void Holder(Asm& a) { a.Push(1, "holder").CallFunction("createEmptyMovieClip", 2).Op(Op::kPop); }

void OnHolder(Asm& a, const std::string& method, const std::string& arg) {
    a.Push(arg).CallMethod(method, 1, [](Asm& o) { o.GetVariable("holder"); }).Op(Op::kPop);
}

// The loaded movie: traces where it is, attaches its own "box" (three frames) and traces its
// length.
swfw::Movie Child() {
    swfw::Movie child;
    DefineBox(child, 1, 3);
    Asm a;
    TraceJoined(a, "child ", [](Asm& v) { v.GetVariable("this"); });
    a.Push(1, "b", "box").CallFunction("attachMovie", 3).Op(Op::kPop);
    TraceJoined(a, "box ", [](Asm& v) { v.GetVariable("b").Push("_totalframes").Op(Op::kGetMember); });
    child.Do(a).ShowFrame();
    return child;
}

class MovieLoadingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("fc_movie_loading_" + std::to_string(::getpid()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_ / "movie");
        Save(Child(), "movie/child.swf");
        Save(Child(), "outside.swf");
        std::ofstream(root_ / "movie" / "notes.txt") << "not a movie";
    }
    void TearDown() override { fs::remove_all(root_); }

    void Save(const swfw::Movie& m, const std::string& name) const {
        std::string error;
        ASSERT_TRUE(m.Save((root_ / name).string(), &error)) << error;
    }

    // Plays the movie as test.swf beside the others for `frames` frames; its trace lines.
    Lines Play(const swfw::Movie& m, int frames) {
        Save(m, "movie/test.swf");
        std::string error;
        player_ = player::Player::LoadFile((root_ / "movie" / "test.swf").string(), &error);
        EXPECT_TRUE(player_) << error;
        Lines lines;
        if (!player_) return lines;
        player::ScriptSettings settings;
        settings.trace = [&lines](std::string_view l) { lines.emplace_back(l); };
        player_->SetScripting(std::move(settings));
        for (int i = 1; i < frames; ++i) player_->Tick(false, false);
        return lines;
    }
    std::size_t ProblemsMentioning(const std::string& text) const {
        std::size_t n = 0;
        for (const std::string& line : player_->Problems()) n += line.find(text) != line.npos;
        return n;
    }

    fs::path root_;
    std::unique_ptr<player::Player> player_;
};

TEST_F(MovieLoadingTest, AClipLoadsAMovieThatUsesItsOwnLibrary) {
    swfw::Movie movie;
    DefineBox(movie, 1, 1);  // the same id and name in the played movie: one frame
    Asm a;
    Holder(a);
    OnHolder(a, "loadMovie", "child.swf");
    TraceText(a, "asked");
    movie.Do(a).ShowFrame().ShowFrame();
    EXPECT_EQ(Play(movie, 2), (Lines{"asked", "child _level0.holder", "box 3"}));
}

TEST_F(MovieLoadingTest, RefusedAndMissingFilesTellTheLoaderAndLeaveTheClipAsItWas) {
    for (const std::string address :
         {"../outside.swf", "http://example.com/child.swf", "missing.swf", "/etc/passwd"}) {
        SCOPED_TRACE(address);
        swfw::Movie movie;
        Asm a;
        Holder(a);
        a.SetVariable("l", [](Asm& v) { v.Push(0, "MovieClipLoader").Op(Op::kNewObject); });
        a.GetVariable("l").Push("onLoadError");
        a.DefineFunction("", {"mc", "error"}, [](Asm& f) {
            TraceJoined(f, "error ", [](Asm& v) { v.GetVariable("error"); });
        });
        a.Op(Op::kSetMember);
        a.Push("holder", address).CallMethod("loadClip", 2, [](Asm& o) { o.GetVariable("l"); });
        a.Op(Op::kPop);
        movie.Do(a).ShowFrame();
        Asm later;
        TraceJoined(later, "frames ", [](Asm& v) {
            v.GetVariable("holder").Push("_totalframes").Op(Op::kGetMember);
        });
        movie.Do(later).ShowFrame();
        EXPECT_EQ(Play(movie, 2), (Lines{"error URLNotFound", "frames 1"}));
        EXPECT_EQ(ProblemsMentioning(address), 1u);
    }
}

TEST_F(MovieLoadingTest, ALoaderHearsStartProgressCompleteThenInitAfterTheFirstFrame) {
    swfw::Movie movie;
    Asm a;
    Holder(a);
    a.SetVariable("l", [](Asm& v) { v.Push(0, "MovieClipLoader").Op(Op::kNewObject); });
    for (const std::string event : {"onLoadStart", "onLoadProgress", "onLoadComplete",
                                    "onLoadInit"}) {
        a.GetVariable("l").Push(event);
        a.DefineFunction("", {"mc", "loaded"}, [event](Asm& f) {
            TraceJoined(f, event + " ", [](Asm& v) {
                v.GetVariable("mc").Push(" ").Op(Op::kAdd2).GetVariable("loaded").Op(Op::kAdd2);
            });
        });
        a.Op(Op::kSetMember);
    }
    a.Push("holder", "child.swf").CallMethod("loadClip", 2, [](Asm& o) { o.GetVariable("l"); });
    a.Op(Op::kPop);
    movie.Do(a).ShowFrame();
    const std::string bytes = std::to_string(fs::file_size(root_ / "movie" / "child.swf"));
    EXPECT_EQ(Play(movie, 1), (Lines{"onLoadStart _level0.holder undefined",
                                     "onLoadProgress _level0.holder " + bytes,
                                     "onLoadComplete _level0.holder 0",
                                     "child _level0.holder", "box 3",
                                     "onLoadInit _level0.holder undefined"}));
}

TEST_F(MovieLoadingTest, LevelsComeWithLoadMovieNumAndGoWithUnloadMovieNum) {
    swfw::Movie movie;
    Asm load;  // loadMovieNum("child.swf", 2), as movies store it
    load.Push("child.swf", "_level2").GetUrl2(0);
    movie.Do(load).ShowFrame();
    Asm unload;  // unloadMovieNum(2)
    TraceJoined(unload, "before ", [](Asm& v) { v.GetVariable("_level2").Op(Op::kTypeOf); });
    unload.Push("", "_level2").GetUrl2(0);
    TraceJoined(unload, "after ", [](Asm& v) { v.GetVariable("_level2").Op(Op::kTypeOf); });
    movie.Do(unload).ShowFrame().ShowFrame();
    EXPECT_EQ(Play(movie, 3),
              (Lines{"child _level2", "box 3", "before movieclip", "after undefined"}));
}

TEST_F(MovieLoadingTest, AFileThatIsNoMovieArrivesAndLeavesTheClipEmpty) {
    swfw::Movie movie;
    Asm a;
    Holder(a);
    a.GetVariable("holder").Push("x", 5).Op(Op::kSetMember);
    OnHolder(a, "loadMovie", "notes.txt");
    movie.Do(a).ShowFrame();
    Asm later;
    TraceJoined(later, "x ", [](Asm& v) { v.GetVariable("holder").Push("x").Op(Op::kGetMember); });
    movie.Do(later).ShowFrame();
    EXPECT_EQ(Play(movie, 2), (Lines{"x undefined"}));
    EXPECT_EQ(ProblemsMentioning("notes.txt"), 1u);
}

TEST_F(MovieLoadingTest, ImportedAssetsAreAttachedFromTheMovieThatExportsThem) {
    swfw::Movie library;
    DefineBox(library, 4, 3);
    library.ShowFrame();
    Save(library, "movie/library.swf");
    swfw::Movie movie;
    // ImportAssets: "library.swf", one asset: id 9 as "box".
    swfw::Buffer body = {'l', 'i', 'b', 'r', 'a', 'r', 'y', '.', 's', 'w', 'f', 0, 1, 0, 9, 0,
                         'b', 'o', 'x', 0};
    movie.Tag(swfw::RawTag(57, body));
    Asm a;
    a.Push(1, "b", "box").CallFunction("attachMovie", 3).Op(Op::kPop);
    TraceJoined(a, "box ", [](Asm& v) { v.GetVariable("b").Push("_totalframes").Op(Op::kGetMember); });
    movie.Do(a).ShowFrame();
    EXPECT_EQ(Play(movie, 1), (Lines{"box 3"}));
}

TEST_F(MovieLoadingTest, AMovieLoadingItselfStopsAtTheNestingCap) {
    swfw::Movie movie;
    Asm a;
    TraceText(a, "loaded");
    Holder(a);
    OnHolder(a, "loadMovie", "test.swf");
    movie.Do(a).ShowFrame();
    const Lines lines = Play(movie, 3 * player::Limits{}.maxLoadNesting);
    EXPECT_EQ(lines.size(), std::size_t{1} + player::Limits{}.maxLoadNesting);
    EXPECT_EQ(ProblemsMentioning("deep"), 1u);
}

}  // namespace
