// `filmcast sound`: the file it writes holds the mixer's samples (checked by decoding it with
// ffmpeg's command line, an independent decoder), every format is written, and bad requests
// leave nothing behind.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "player/player.h"
#include "tests/support/swf_writer.h"

namespace {

namespace fs = std::filesystem;

const std::string kFilmcast = std::string(FILMCAST_BINARY_DIR) + "/filmcast";

int Shell(const std::string& command) {
    const int status = std::system((command + " 2>/dev/null").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool HaveFfmpeg() { return Shell("ffmpeg -version >/dev/null") == 0; }

class SoundCommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("filmcast-sound-test-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        movie_ = (dir_ / "tone.swf").string();
        ASSERT_TRUE(Movie().Save(movie_));
    }
    void TearDown() override { fs::remove_all(dir_); }

    // 10 fps, 8 frames: a 22.05 kHz tone started on frame 1 and twice more over it with an
    // envelope, so the mix has resampled, overlapping and faded parts.
    static swfw::Movie Movie() {
        swfw::Movie movie;
        movie.frameRate = 10 << 8;
        swfw::Sound tone;
        tone.id = 1;
        tone.format = {swfw::SoundCodec::PcmLittle, 2, true, false};
        std::vector<std::int16_t> samples(6000);
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = static_cast<std::int16_t>(12000 * std::sin(i * 0.05));
        tone.sampleCount = static_cast<std::uint32_t>(samples.size());
        tone.data = swfw::PcmBytes(samples);
        swfw::SoundInfo faded;
        faded.envelope = {{0, 32768, 0}, {10000, 0, 32768}};
        movie.Define(tone).ShowFrame().StartSound(1).ShowFrame().StartSound(1, faded).ShowFrame();
        movie.StartSound(1).ShowFrame().ShowFrame().ShowFrame().ShowFrame().ShowFrame();
        return movie;
    }

    // The movie's mix for ticks [from, to) as the player makes it.
    std::vector<float> Mix(int from, int to) {
        std::string error;
        auto p = player::Player::LoadFile(movie_, &error);
        EXPECT_TRUE(p) << error;
        p->Rewind();
        for (int t = 1; t < to; ++t) p->Tick(true, false);
        return p->MixAudio(from, to);
    }

    // The file decoded by ffmpeg to 32-bit float stereo at 44.1 kHz.
    std::vector<float> Decode(const std::string& file) {
        const std::string raw = (dir_ / "decoded.f32").string();
        EXPECT_EQ(Shell("ffmpeg -nostdin -loglevel error -y -i '" + file +
                      "' -f f32le -ac 2 -ar 44100 '" + raw + "'"),
                  0);
        std::ifstream in(raw, std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
        std::vector<float> samples(bytes.size() / sizeof(float));
        std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(float));
        return samples;
    }

    int Sound(const std::string& args) {
        return Shell(kFilmcast + " sound '" + movie_ + "' " + args);
    }

    fs::path dir_;
    std::string movie_;
};

TEST_F(SoundCommandTest, AWavHoldsTheMixersSamples) {
    if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    const std::string wav = (dir_ / "out.wav").string();
    const struct {
        std::string args;
        int from, to;
    } cases[] = {{"", 0, 8}, {"--from 2 --to 5", 2, 6}, {"--frames 3", 0, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        ASSERT_EQ(Sound(c.args + " -o '" + wav + "'"), 0);
        const auto expected = Mix(c.from, c.to);
        const auto decoded = Decode(wav);
        ASSERT_EQ(decoded.size(), expected.size());
        double worst = 0;
        for (std::size_t i = 0; i < expected.size(); ++i)
            worst = std::max(worst, std::fabs(double(decoded[i]) - expected[i]));
        EXPECT_LE(worst, 1.0 / 32768 + 1e-7);  // 16-bit samples
        float peak = 0;
        for (float s : expected) peak = std::max(peak, std::fabs(s));
        EXPECT_GT(peak, 0.3f);
    }
}

TEST_F(SoundCommandTest, FlacAndOggAreWrittenToo) {
    if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    const auto expected = Mix(0, 8);
    for (const char* name : {"out.flac", "out.ogg", "OUT.FLAC"}) {
        SCOPED_TRACE(name);
        const std::string file = (dir_ / name).string();
        ASSERT_EQ(Sound("-o '" + file + "'"), 0);
        const auto decoded = Decode(file);
        // Vorbis is lossy and may pad its last packet; FLAC keeps the 16-bit samples.
        EXPECT_NEAR(static_cast<double>(decoded.size()), static_cast<double>(expected.size()),
                    4096.0);
        double error = 0;
        const std::size_t n = std::min(decoded.size(), expected.size());
        for (std::size_t i = 0; i < n; ++i) error += std::fabs(double(decoded[i]) - expected[i]);
        EXPECT_LT(error / n, 0.01);
    }
}

TEST_F(SoundCommandTest, FailuresLeaveNoFileBehind) {
    const struct {
        std::string args;
        int status;
    } cases[] = {
        {"-o '" + (dir_ / "out.mp4").string() + "'", 2},
        {"--frames 0 -o '" + (dir_ / "out.wav").string() + "'", 2},
        {"--from 20 -o '" + (dir_ / "out.wav").string() + "'", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        EXPECT_EQ(Sound(c.args), c.status);
    }
    EXPECT_EQ(Shell(kFilmcast + " sound '" + (dir_ / "missing.swf").string() + "' -o '" +
                  (dir_ / "out.wav").string() + "'"),
              1);
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(dir_)) left.push_back(entry.path().filename());
    EXPECT_EQ(left, std::vector<std::string>{"tone.swf"});
}

}  // namespace
