// Sound in movies played by the player: starts on root and clip frames, streams on the root
// and in clips, seeking, broken sound data, and the entry points for scripts.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "player/player.h"
#include "player/reader.h"
#include "player/sound/mixer.h"
#include "player/timeline.h"
#include "tests/support/swf_writer.h"

namespace {

constexpr std::size_t kTick = 4410;  // frames per tick at 10 fps

swfw::Sound ConstantSound(std::uint16_t id, std::size_t frames, std::int16_t level) {
    swfw::Sound s;
    s.id = id;
    s.format = {swfw::SoundCodec::PcmLittle, 3, true, false};
    s.sampleCount = static_cast<std::uint32_t>(frames);
    s.data = swfw::PcmBytes(std::vector<std::int16_t>(frames, level));
    return s;
}

swfw::Movie TenFps() {
    swfw::Movie movie;
    movie.frameRate = 10 << 8;
    return movie;
}

std::unique_ptr<player::Player> Load(const swfw::Movie& movie) {
    std::string error;
    auto p = player::Player::Load(movie.Bytes(), &error);
    EXPECT_TRUE(p) << error;
    return p;
}

std::vector<float> PlayAndMix(player::Player& p, int ticks) {
    p.PlayTicksFromStart(ticks - 1);
    return p.MixAudio(0, ticks);
}

std::size_t FirstSounding(const std::vector<float>& mix) {
    for (std::size_t i = 0; i < mix.size(); ++i)
        if (mix[i] != 0) return i / 2;
    return mix.size() / 2;
}

TEST(MovieSoundTest, AStartOnRootFrameNPlaysFromNOverTheFrameRate) {
    for (const int frame : {0, 2, 5}) {
        SCOPED_TRACE(frame);
        auto movie = TenFps();
        movie.Define(ConstantSound(1, kTick, 8192));
        for (int f = 0; f < 8; ++f) {
            if (f == frame) movie.StartSound(1);
            movie.ShowFrame();
        }
        auto p = Load(movie);
        const auto mix = PlayAndMix(*p, 8);
        EXPECT_EQ(mix.size(), 8 * kTick * 2);
        EXPECT_EQ(FirstSounding(mix), frame * kTick);
        EXPECT_FLOAT_EQ(mix[frame * kTick * 2], 0.25f);
        EXPECT_TRUE(p->HasSound());
    }
}

TEST(MovieSoundTest, ClipsStartSoundsOnTheirOwnFrames) {
    auto movie = TenFps();
    movie.Define(ConstantSound(1, kTick, 8192));
    swfw::Sprite clip(2);
    clip.ShowFrame().StartSound(1).ShowFrame();
    movie.Define(clip).ShowFrame().ShowFrame();
    movie.Place(swfw::PlaceObject::New(2, 1)).ShowFrame().ShowFrame().ShowFrame();
    auto p = Load(movie);
    // Placed on tick 2 (its frame 0), the clip shows its frame 1 on tick 3.
    EXPECT_EQ(FirstSounding(PlayAndMix(*p, 5)), 3 * kTick);
}

TEST(MovieSoundTest, StreamsOnTheRootAndInClipsFollowTheirBlocks) {
    swfw::SoundStreamHead head;
    head.format = {swfw::SoundCodec::PcmLittle, 3, true, false};
    head.samplesPerBlock = kTick;
    const auto block = [](int level) {
        return swfw::PcmBytes(std::vector<std::int16_t>(kTick, static_cast<std::int16_t>(level)));
    };
    auto movie = TenFps();
    swfw::Sprite clip(2);
    clip.StreamHead(head).StreamBlock(block(3277)).ShowFrame().StreamBlock(block(3277)).ShowFrame();
    clip.Do(swfw::Actions().Stop()).ShowFrame();
    movie.Define(clip).StreamHead(head);
    movie.ShowFrame().StreamBlock(block(16384)).ShowFrame().StreamBlock(block(16384)).ShowFrame();
    movie.Place(swfw::PlaceObject::New(2, 1)).ShowFrame().ShowFrame().ShowFrame().ShowFrame();
    auto p = Load(movie);
    const auto mix = PlayAndMix(*p, 7);
    const float expected[7] = {0.0f, 0.5f, 0.5f, 0.1f, 0.1f, 0.0f, 0.0f};
    for (int tick = 0; tick < 7; ++tick) {
        SCOPED_TRACE(tick);
        EXPECT_NEAR(mix[(tick * kTick + 100) * 2], expected[tick], 1e-4);
        EXPECT_NEAR(mix[(tick * kTick + kTick - 1) * 2 + 1], expected[tick], 1e-4);
    }
}

TEST(MovieSoundTest, SeekingGivesTheSamplesOfPlayingThrough) {
    auto movie = TenFps();
    movie.Define(ConstantSound(1, 3 * kTick, 8192));
    for (int f = 0; f < 6; ++f) movie.StartSound(1).ShowFrame();
    auto p = Load(movie);
    p->PlayTicksFromStart(5);
    const auto straight = p->MixAudio(0, 6);
    p->GotoFrame(2);
    p->GotoFrame(5);
    EXPECT_EQ(p->MixAudio(0, 6), straight);
    EXPECT_FLOAT_EQ(straight[(4 * kTick + 5) * 2], 0.75f);
}

TEST(MovieSoundTest, BrokenSoundDataIsSilentWithOneProblem) {
    auto movie = TenFps();
    swfw::Sound adpcm;
    adpcm.id = 1;
    adpcm.format = {swfw::SoundCodec::Adpcm, 1, true, false};
    adpcm.sampleCount = 100000;
    adpcm.data = {0x80, 0x10, 0x20, 0x30};
    movie.Define(adpcm).Define(ConstantSound(2, kTick, 8192));
    movie.StartSound(1).ShowFrame().StartSound(1).StartSound(2).ShowFrame().StartSound(1).ShowFrame();
    auto p = Load(movie);
    const auto mix = PlayAndMix(*p, 3);
    EXPECT_EQ(FirstSounding(mix), kTick);
    int soundProblems = 0;
    for (const auto& line : p->Problems()) soundProblems += line.find("sound 1") != line.npos;
    EXPECT_EQ(soundProblems, 1);
}

TEST(MovieSoundTest, CutSoundTagsAreReportedAndTheMovieStillPlays) {
    auto movie = TenFps();
    movie.Tag(swfw::RawTag(swfw::kDefineSound, {1, 0, 0x3E}));
    movie.Tag(swfw::RawTag(swfw::kStartSound, {1})).ShowFrame().ShowFrame();
    auto p = Load(movie);
    EXPECT_EQ(FirstSounding(PlayAndMix(*p, 2)), 2 * kTick);
    EXPECT_GE(p->Problems().size(), 2u);
}

TEST(MovieSoundTest, ScriptsStartStopAndMeasureExportedSounds) {
    auto movie = TenFps();
    movie.Define(ConstantSound(1, kTick, 8192)).Export(1, "ding");
    movie.ShowFrame().ShowFrame().ShowFrame().ShowFrame();
    std::string error;
    const auto bytes = movie.Bytes();
    auto model = player::ReadMovie(bytes, &error);
    ASSERT_TRUE(model) << error;
    player::MovieState state(model);
    state.Reset();
    EXPECT_DOUBLE_EQ(*state.ExportedSoundDuration("ding"), 0.1);
    EXPECT_FALSE(state.ExportedSoundDuration("dong"));
    EXPECT_FALSE(state.StartExportedSound("dong", 1, 0));
    state.Tick(true, false);
    EXPECT_TRUE(state.StartExportedSound("ding", 3, 0.05));  // 2.5 plays left
    state.Tick(true, false);
    state.Tick(true, false);
    state.StopExportedSound("");
    sound::Mixer mixer(model->sounds, 10.0);
    const auto mix = mixer.Mix(state.Sounds(), 0, 4);
    EXPECT_EQ(FirstSounding(mix), kTick);
    EXPECT_FLOAT_EQ(mix[(3 * kTick - 1) * 2], 0.25f);
    EXPECT_FLOAT_EQ(mix[(3 * kTick) * 2], 0.0f);  // stopped before its last half play
}

}  // namespace
