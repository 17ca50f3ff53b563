// `filmcast convert --format mp4|webm|apng|webp` as a user runs it, its files read back by
// ffmpeg's command line (an independent decoder; the tests skip without it): pictures, timing,
// alpha, and sound against the engine's own mix.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "player/player.h"
#include "tests/support/cli_scratch.h"
#include "tests/support/swf_writer.h"
#include "tests/support/test_movies.h"

namespace fs = std::filesystem;

namespace {

using testcli::Result;

constexpr int kRate = 10;
constexpr int kFrames = 20;
constexpr int kToneFrames = 2205;  // 50 ms at 44.1 kHz, then as long again silent
constexpr int kStartFrame = 7;
constexpr int kLoops = 3;

// A shell command's standard output; empty when it fails.
std::string Capture(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
        if (::pclose(pipe) != 0) out.clear();
    }
    return out;
}

bool HaveFfmpeg() { return !Capture("ffmpeg -version").empty() && !Capture("ffprobe -version").empty(); }

// This ffmpeg reads no animated WebP: Debian's Python imaging library (with libwebp's
// animation support) decodes those instead.
const char kWebpToRgba[] =
    "/usr/bin/python3 -c \"import sys; from PIL import Image, ImageSequence; "
    "frames = ImageSequence.Iterator(Image.open(sys.argv[1])); "
    "open(sys.argv[2], 'wb').write(b''.join(f.convert('RGBA').tobytes() for f in frames))\"";

bool CanDecodeWebp() {
    return !Capture("/usr/bin/python3 -c \"from PIL import features; "
                    "assert features.check('webp_anim')\" && echo yes")
                .empty();
}

// 20 frames at 10 fps on a 61 x 45 stage (odd, so videos pad it): frame k a coloured block;
// from frame 7 a 1 kHz tone of 50 ms and 50 ms of silence, played three times.
swfw::Movie ToneMovie(bool withSound = true) {
    swfw::Movie movie;
    movie.Size(61, 45).Rate(kRate).Background(swfw::Rgb(255, 255, 255));
    swfw::Sound tone;
    tone.id = 1;
    tone.format = {swfw::SoundCodec::PcmLittle, 3, true, false};
    std::vector<std::int16_t> samples(2 * kToneFrames, 0);
    for (int i = 0; i < kToneFrames; ++i)
        samples[i] = static_cast<std::int16_t>(16000 * std::sin(2 * M_PI * 1000.0 * i / 44100));
    tone.sampleCount = static_cast<std::uint32_t>(samples.size());
    tone.data = swfw::PcmBytes(samples);
    if (withSound) movie.Define(tone);
    for (int k = 0; k < kFrames; ++k) {
        const std::uint16_t id = static_cast<std::uint16_t>(10 + k);
        const std::uint32_t c = testmovies::ColourOf(k);
        swfw::Shape block(id);
        block.Fill(block.AddFill(swfw::FillStyle::Solid(swfw::Rgb(std::uint8_t(c >> 16), std::uint8_t(c >> 8), std::uint8_t(c)))))
            .Rectangle(k * 40, 300, 900, 600);
        movie.Define(block);
        if (k > 0) movie.Remove(1);
        movie.Place(swfw::PlaceObject::New(id, 1));
        if (withSound && k == kStartFrame) {
            swfw::SoundInfo info;
            info.loops = kLoops;
            movie.StartSound(1, info);
        }
        movie.ShowFrame();
    }
    return movie;
}

class VideoConvertTest : public testcli::ScratchTest {
  protected:
    void SetUp() override {
        ScratchTest::SetUp();
        if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    }

    // The one file of the output folder ending in `extension`.
    std::string Output(const std::string& folder, const std::string& extension) const {
        std::string found;
        for (const auto& entry : fs::directory_iterator(dir_ / folder)) {
            if (entry.path().extension() != extension) continue;
            EXPECT_TRUE(found.empty()) << "one output";
            found = entry.path().string();
        }
        return found;
    }

    // The file's sound decoded to 44.1 kHz stereo float.
    std::vector<float> DecodeSound(const std::string& file) const {
        const std::string raw = Path("sound.f32");
        Capture("ffmpeg -nostdin -y -i '" + file + "' -vn -f f32le -ac 2 -ar 44100 '" + raw + "'");
        std::ifstream in(raw, std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
        std::vector<float> samples(bytes.size() / sizeof(float));
        std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(float));
        return samples;
    }

    // The file's pictures decoded as straight RGBA.
    std::vector<std::vector<std::uint8_t>> DecodePictures(const std::string& file, int width,
                                                          int height) const {
        const std::string raw = Path("pictures.rgba");
        fs::remove(raw);
        if (fs::path(file).extension() == ".webp")
            Capture(std::string(kWebpToRgba) + " '" + file + "' '" + raw + "'");
        else
            Capture("ffmpeg -nostdin -y -i '" + file + "' -f rawvideo -pix_fmt rgba '" + raw + "'");
        std::ifstream in(raw, std::ios::binary);
        std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
        const std::size_t size = std::size_t(width) * height * 4;
        std::vector<std::vector<std::uint8_t>> pictures;
        for (std::size_t at = 0; at + size <= bytes.size(); at += size)
            pictures.emplace_back(bytes.begin() + at, bytes.begin() + at + size);
        return pictures;
    }

    std::string Probe(const std::string& file, const std::string& entries,
                      const std::string& stream = "v:0") const {
        return Capture("ffprobe -v error -select_streams " + stream + " -show_entries " + entries +
                       " -of default=noprint_wrappers=1:nokey=1 '" + file + "'");
    }
};

// 5 ms windows of the left channel louder than `level` (RMS).
std::vector<bool> Loud(const std::vector<float>& stereo, double level) {
    constexpr std::size_t kWindow = 220;
    std::vector<bool> loud;
    for (std::size_t at = 0; (at + kWindow) * 2 <= stereo.size(); at += kWindow) {
        double sum = 0;
        for (std::size_t i = at; i < at + kWindow; ++i) sum += double(stereo[2 * i]) * stereo[2 * i];
        loud.push_back(std::sqrt(sum / kWindow) > level);
    }
    return loud;
}

// The first sample frame whose left channel reaches `level`, or -1.
long Onset(const std::vector<float>& stereo, float level) {
    for (std::size_t i = 0; i < stereo.size() / 2; ++i)
        if (std::fabs(stereo[2 * i]) >= level) return static_cast<long>(i);
    return -1;
}

TEST_F(VideoConvertTest, EveryFormatHoldsEveryFrameAtTheMoviesRate) {
    ASSERT_TRUE(ToneMovie().Save(Path("tone.swf")));
    const struct {
        const char* format;
        const char* extension;
        int width, height;  // videos pad odd sizes to even
        int tolerance;      // per channel, against the engine's picture
        double share;       // of pixels past it (lossy codecs blur the blocks' edges)
    } cases[] = {{"mp4", ".mp4", 62, 46, 40, 0.03},
                 {"webm", ".webm", 62, 46, 40, 0.03},
                 {"apng", ".png", 61, 45, 0, 0.0},
                 {"webp", ".webp", 61, 45, 40, 0.08}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format);
        const Result r = Run(std::string("convert tone.swf -q --format ") + c.format + " -o " +
                             c.format);
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string file = Output(c.format, c.extension);
        ASSERT_FALSE(file.empty());
        for (const auto& entry : fs::directory_iterator(dir_ / c.format))
            EXPECT_EQ(entry.path().string(), file) << "no temporary file is left";
        if (c.extension == std::string(".webp")) {
            if (!CanDecodeWebp()) continue;
        } else {
            EXPECT_EQ(Probe(file, "stream=width,height"),
                      std::to_string(c.width) + "\n" + std::to_string(c.height) + "\n");
        }
        const auto pictures = DecodePictures(file, c.width, c.height);
        ASSERT_EQ(pictures.size(), std::size_t(kFrames));
        for (int k = 0; k < kFrames; k += 6) {
            const CSurface engine = testmovies::EngineFrame(Path("tone.swf"), k, 61, 45);
            std::vector<std::uint32_t> rgb(61 * 45);
            for (int y = 0; y < 45; ++y)
                for (int x = 0; x < 61; ++x) {
                    const std::uint8_t* p = &pictures[k][(std::size_t(y) * c.width + x) * 4];
                    rgb[y * 61 + x] = (p[0] << 16) | (p[1] << 8) | p[2];
                }
            EXPECT_LE(testmovies::MismatchedShare(engine, rgb.data(), c.tolerance), c.share)
                << "frame " << k;
        }
    }
    // Videos keep the exact rate and length: 20 frames of a tenth of a second.
    const std::string mp4 = Output("mp4", ".mp4");
    EXPECT_EQ(Probe(mp4, "stream=r_frame_rate"), "10/1\n");
    EXPECT_NEAR(std::stod(Probe(mp4, "stream=duration")), 2.0, 1e-3);
}

TEST_F(VideoConvertTest, SoundStartsOnItsFrameLoopsAndEndsWithThePictures) {
    ASSERT_TRUE(ToneMovie().Save(Path("tone.swf")));
    std::string error;
    auto movie = player::Player::LoadFile(Path("tone.swf"), &error);
    ASSERT_TRUE(movie) << error;
    for (int t = 1; t < kFrames; ++t) movie->Tick(true, false);
    const long mixedOnset = Onset(movie->MixAudio(0, kFrames), 0.2f);
    ASSERT_NEAR(mixedOnset, kStartFrame * 44100 / kRate, 10);
    const struct {
        const char* format;
        const char* args;
        int firstFrame;  // the movie frame the output starts with
    } cases[] = {{"mp4", "", 0}, {"webm", "", 0}, {"mp4", "--from 5 --fps 30", 5}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.format) + " " + c.args);
        fs::remove_all(dir_ / "out");
        ASSERT_EQ(Run(std::string("convert tone.swf -q -o out --format ") + c.format + " " +
                      c.args)
                      .status,
                  0);
        const std::string file = Output("out", std::string(".") + c.format);
        const auto decoded = DecodeSound(file);
        const long start = c.firstFrame * 44100 / kRate;
        const long length = 44100 * kFrames / kRate - start;
        const double seconds = double(kFrames - c.firstFrame) / kRate;
        // As long as the pictures, and no more than the codec's last frame fills out past them
        // (an MP4 states the exact length, which this decoder does not cut to).
        EXPECT_GE(long(decoded.size() / 2), length - 2);
        EXPECT_LT(long(decoded.size() / 2), length + 1024);
        EXPECT_NEAR(std::stod(Probe(file, "format=duration")), seconds, 0.02);
        if (c.format == std::string("mp4")) {
            EXPECT_NEAR(std::stod(Probe(file, "stream=duration", "a:0")), seconds, 1e-3);
        }
        // The tone starts on its frame's time (within a millisecond of the mix) and plays
        // three times.
        EXPECT_NEAR(Onset(decoded, 0.2f), mixedOnset - start, 44);
        const std::vector<bool> loud = Loud(decoded, 0.05);
        int bursts = 0;
        for (std::size_t i = 0; i < loud.size(); ++i)
            if (loud[i] && (i == 0 || !loud[i - 1])) ++bursts;
        EXPECT_EQ(bursts, kLoops);
        // Silence before the tone and after its last play.
        const std::size_t toneWindows = (mixedOnset - start) / 220;
        EXPECT_TRUE(std::none_of(loud.begin(), loud.begin() + toneWindows - 2,
                                 [](bool b) { return b; }));
        const std::size_t endWindows = (mixedOnset - start + kLoops * 2 * kToneFrames) / 220 + 3;
        EXPECT_TRUE(std::none_of(loud.begin() + endWindows, loud.end(), [](bool b) { return b; }));
    }
}

TEST_F(VideoConvertTest, NoSoundLeavesTheTrackOut) {
    ASSERT_TRUE(ToneMovie().Save(Path("tone.swf")));
    ASSERT_TRUE(ToneMovie(false).Save(Path("silent.swf")));
    const struct {
        const char* args;
        bool hasSound;
    } cases[] = {{"tone.swf --format mp4", true},
                 {"tone.swf --format mp4 --no-sound", false},
                 {"silent.swf --format webm", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        fs::remove_all(dir_ / "out");
        ASSERT_EQ(Run(std::string("convert -q -o out ") + c.args).status, 0);
        std::string file = Output("out", ".mp4");
        if (file.empty()) file = Output("out", ".webm");
        const std::string streams =
            Capture("ffprobe -v error -show_entries stream=codec_type -of csv=p=0 '" + file + "'");
        EXPECT_EQ(streams.find("audio") != std::string::npos, c.hasSound) << streams;
    }
}

TEST_F(VideoConvertTest, TransparentPicturesKeepTheirAlpha) {
    ASSERT_TRUE(ToneMovie(false).Save(Path("tone.swf")));
    for (const char* format : {"apng", "webp"}) {
        SCOPED_TRACE(format);
        if (format == std::string("webp") && !CanDecodeWebp()) continue;
        ASSERT_EQ(Run(std::string("convert tone.swf -q --transparent --format ") + format +
                      " -o " + format)
                      .status,
                  0);
        const std::string file =
            Output(format, std::string(".") + (format == std::string("apng") ? "png" : "webp"));
        const auto pictures = DecodePictures(file, 61, 45);
        ASSERT_EQ(pictures.size(), std::size_t(kFrames));
        // Frame 0's block covers the lower left; the stage above it is clear.
        const auto alphaAt = [&](int x, int y) { return pictures[0][(y * 61 + x) * 4 + 3]; };
        EXPECT_EQ(alphaAt(30, 5), 0);
        EXPECT_EQ(alphaAt(20, 30), 255);
    }
}

TEST_F(VideoConvertTest, RefusedOrFailedWritesLeaveNothingBehind) {
    ASSERT_TRUE(ToneMovie().Save(Path("tone.swf")));
    // A format without alpha cannot be transparent.
    Result r = Run("convert tone.swf --format mp4 --transparent -o out");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--transparent"), std::string::npos) << r.err;
    // A folder where the video should go: the write fails and nothing else appears.
    fs::create_directories(dir_ / "blocked");
    r = Run("convert tone.swf -q --format webm -o blocked");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string name = fs::path(Output("blocked", ".webm")).filename().string();
    fs::remove_all(dir_ / "blocked");
    fs::create_directories(dir_ / "blocked" / name / "inside");
    r = Run("convert tone.swf -q --format webm -o blocked");
    EXPECT_EQ(r.status, 1);
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir_ / "blocked")) ++entries;
    EXPECT_EQ(entries, 1u) << "only the folder in the way";
    EXPECT_TRUE(fs::is_empty(dir_ / "tmp")) << "the private working folder is removed";
}

}  // namespace
