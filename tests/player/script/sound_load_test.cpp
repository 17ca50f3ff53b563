// Sound.loadSound of an MP3 file beside the movie: its tags on id3 and onID3, its length and
// onLoad, a streamed file's completion on the movie's clock, and files that are missing or
// refused. Movies and sound files are written into a scratch folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "player/player.h"
#include "tests/support/avm1_asm.h"
#include "tests/support/swf_writer.h"

namespace fs = std::filesystem;

namespace {

using swfw::Asm;
using Op = swfw::Op;
using Lines = std::vector<std::string>;

// MPEG-1 layer III frames at 128 kbit/s and 44.1 kHz: 40 of them play 1045 ms.
std::string Frames(int count) {
    std::string out;
    for (int i = 0; i < count; ++i) {
        std::string frame(417, '\x55');
        frame[0] = '\xFF';
        frame[1] = '\xFB';
        frame[2] = '\x90';
        frame[3] = '\x00';
        out += frame;
    }
    return out;
}

// A version 2.3 text frame in Latin-1.
std::string TextFrame(const std::string& id, const std::string& body) {
    const std::string content = std::string(1, '\0') + body;
    std::string out = id;
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>((content.size() >> shift) & 0xFF);
    out += std::string(2, '\0');
    return out + content;
}

std::string Tagged(const std::string& frames) {
    std::string out = "ID3";
    out += std::string("\x03\x00\x00", 3);
    for (int shift = 21; shift >= 0; shift -= 7)
        out += static_cast<char>((frames.size() >> shift) & 0x7F);
    return out + frames;
}

// trace(prefix + <path>), the path read member by member from a variable.
void TraceJoined(Asm& a, const std::string& prefix, const std::string& variable,
                 const std::vector<std::string>& members = {}) {
    a.Push(prefix).GetVariable(variable);
    for (const std::string& m : members) a.Push(m).Op(Op::kGetMember);
    a.Op(Op::kAdd2).Trace();
}

// s.<handler> = function(arg) { <body> }
void Handler(Asm& a, const std::string& handler, const std::function<void(Asm&)>& body) {
    a.GetVariable("s").Push(handler);
    a.DefineFunction("", {"arg"}, body);
    a.Op(Op::kSetMember);
}

void CallOnSound(Asm& a, const std::string& method, const std::vector<swfw::PushItem>& args) {
    for (auto it = args.rbegin(); it != args.rend(); ++it) a.Push(*it);
    a.CallMethod(method, static_cast<int>(args.size()), [](Asm& o) { o.GetVariable("s"); });
}

class SoundLoadTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("fc_sound_load_" + std::to_string(::getpid()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_ / "movie");
        Write("movie/tagged.mp3",
              Tagged(TextFrame("TIT2", "Song") + TextFrame("TPE1", "Band") +
                     TextFrame("COMM", std::string("eng\0first", 9)) +
                     TextFrame("COMM", std::string("eng\0second", 10))) +
                  Frames(40));
        Write("movie/bare.mp3", Frames(40));
        Write("outside.mp3", Frames(40));
    }
    void TearDown() override { fs::remove_all(root_); }

    void Write(const std::string& name, const std::string& bytes) const {
        std::ofstream(root_ / name, std::ios::binary) << bytes;
    }

    // Plays the movie (12 frames a second) for `frames` frames; its trace lines.
    Lines Play(const Asm& script, int frames) {
        swfw::Movie m;
        m.Version(8);
        m.Do(script).ShowFrame();
        std::string error;
        EXPECT_TRUE(m.Save((root_ / "movie" / "test.swf").string(), &error)) << error;
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

    fs::path root_;
    std::unique_ptr<player::Player> player_;
};

TEST_F(SoundLoadTest, TagsReachId3BeforeTheLengthReachesOnLoad) {
    Asm a;
    a.SetVariable("s", [](Asm& v) { v.Push(0, "Sound").Op(Op::kNewObject); });
    Handler(a, "onID3", [](Asm& f) {
        TraceJoined(f, "id3 ", "arg");
        TraceJoined(f, "title ", "s", {"id3", "songname"});
        TraceJoined(f, "artist ", "s", {"id3", "TPE1"});
        TraceJoined(f, "comments ", "s", {"id3", "COMM"});
        TraceJoined(f, "comment ", "s", {"id3", "comment"});
        CallOnSound(f, "getDuration", {});
        f.Trace();
    });
    Handler(a, "onLoad", [](Asm& f) {
        TraceJoined(f, "loaded ", "arg");
        CallOnSound(f, "getDuration", {});
        f.Trace();
    });
    CallOnSound(a, "loadSound", {"tagged.mp3", false});
    a.Op(Op::kPop);
    // The id3 object is read-only.
    a.GetVariable("s").Push("id3", "x").Op(Op::kSetMember);
    TraceJoined(a, "still ", "s", {"id3", "artist"});
    EXPECT_EQ(Play(a, 1), (Lines{"id3 true", "title Song", "artist Band", "comments first,second",
                                 "comment second", "0", "loaded true", "1045", "still Band"}));
}

TEST_F(SoundLoadTest, AnId3SetFirstIsKeptAndAFileWithoutTagsHasNone) {
    Asm a;
    a.SetVariable("s", [](Asm& v) { v.Push(0, "Sound").Op(Op::kNewObject); });
    a.GetVariable("s").Push("id3", "mine").Op(Op::kSetMember);
    CallOnSound(a, "loadSound", {"tagged.mp3", false});
    a.Op(Op::kPop);
    TraceJoined(a, "kept ", "s", {"id3"});
    a.SetVariable("s", [](Asm& v) { v.Push(0, "Sound").Op(Op::kNewObject); });
    Handler(a, "onID3", [](Asm& f) { f.PushTraceString("no tags expected"); });
    CallOnSound(a, "loadSound", {"bare.mp3", false});
    a.Op(Op::kPop);
    TraceJoined(a, "none ", "s", {"id3"});
    CallOnSound(a, "getBytesTotal", {});
    a.Trace();
    EXPECT_EQ(Play(a, 1), (Lines{"kept mine", "none undefined", "16680"}));
}

TEST_F(SoundLoadTest, AStreamedFileCompletesOnTheMoviesClock) {
    Asm a;
    a.SetVariable("s", [](Asm& v) { v.Push(0, "Sound").Op(Op::kNewObject); });
    Handler(a, "onSoundComplete", [](Asm& f) {
        f.PushTraceString("complete");
        CallOnSound(f, "getPosition", {});
        f.Trace();
    });
    CallOnSound(a, "loadSound", {"bare.mp3", true});
    a.Op(Op::kPop);
    CallOnSound(a, "getPosition", {});
    a.Trace();
    // 1045 ms at 12 frames a second: the thirteenth frame after this one.
    EXPECT_EQ(Play(a, 13), (Lines{"0"}));
    EXPECT_EQ(Play(a, 15), (Lines{"0", "complete", "1045"}));
}

TEST_F(SoundLoadTest, MissingAndRefusedFilesFailTheLoad) {
    for (const std::string address : {"missing.mp3", "../outside.mp3", "http://example.org/a.mp3"}) {
        SCOPED_TRACE(address);
        Asm a;
        a.SetVariable("s", [](Asm& v) { v.Push(0, "Sound").Op(Op::kNewObject); });
        Handler(a, "onLoad", [](Asm& f) { TraceJoined(f, "loaded ", "arg"); });
        CallOnSound(a, "loadSound", {address, true});
        a.Op(Op::kPop);
        CallOnSound(a, "getDuration", {});
        a.Trace();
        EXPECT_EQ(Play(a, 1), (Lines{"loaded false", "undefined"}));
    }
}

}  // namespace
