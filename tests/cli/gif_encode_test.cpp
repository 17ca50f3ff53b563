// The command line's GIF encoder: palettes and the nearest-colour search, dithering, the
// streamed writer and the frame sequence, read back by giflib's decoder as a viewer shows it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <random>

#include "cli/gif_frames.h"
#include "cli/gif_palette.h"
#include "cli/gif_writer.h"
#include "tests/support/gif_reader.h"

namespace cli::gif {
namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kOpaque = 0xFF000000u;

int Distance(std::uint32_t a, std::uint32_t b) {
    return testgif::ChannelDistance(a & 0xFFFFFF, b & 0xFFFFFF);
}

std::string ScratchGif(const std::string& name) {
    return (fs::path(::testing::TempDir()) /
            ("fc_gif_" + std::to_string(::getpid()) + "_" + name + ".gif"))
        .string();
}

// ---- palettes and mapping ----

TEST(MakePalette, FewColoursAreKeptExactly) {
    const std::vector<std::uint32_t> pixels = {kOpaque | 0x102030, kOpaque | 0x102030,
                                               kOpaque | 0xFFFFFF, kOpaque | 0x000001};
    Palette palette = MakePalette(pixels, 256);
    std::sort(palette.begin(), palette.end());
    EXPECT_EQ(palette, (Palette{0x000001, 0x102030, 0xFFFFFF}));
}

TEST(MakePalette, ManyColoursAreReducedToTheCountAsked) {
    std::vector<std::uint32_t> pixels;
    for (int i = 0; i < 4096; ++i) pixels.push_back(kOpaque | (i * 4099u & 0xFFFFFF));
    for (const int colors : {2, 16, 255, 256}) {
        const Palette palette = MakePalette(pixels, colors);
        EXPECT_LE(palette.size(), std::size_t(colors));
        EXPECT_GE(palette.size(), std::size_t(colors) / 2) << colors;
    }
    EXPECT_EQ(MakePalette({}, 256).size(), 1u);
}

// Sets of more colours than entries: each colour's distance to its entry stays small where the
// colours are close together (a narrow gradient, told apart level by level), and a small far
// cluster keeps entries of its own.
struct PaletteSet {
    const char* name;
    std::vector<std::uint32_t> pixels;
    int worst;  // largest channel distance of any pixel to its nearest entry
};

std::vector<std::uint32_t> NarrowGradient() {
    // 1,000 colours one level apart in red, two ramps of green: under 8 levels a channel
    // between neighbours, so a coarse histogram would merge them.
    std::vector<std::uint32_t> pixels;
    for (int i = 0; i < 1000; ++i)
        pixels.push_back(kOpaque | ((40 + i % 200) << 16) | ((90 + i / 200) << 8) | 40);
    return pixels;
}

std::vector<std::uint32_t> BigAndSmallClusters() {
    std::vector<std::uint32_t> pixels = NarrowGradient();
    for (int i = 0; i < 40; ++i) pixels.push_back(kOpaque | (0xE01020 + (i << 8)));
    return pixels;
}

class PaletteErrorTest : public ::testing::TestWithParam<PaletteSet> {};

TEST_P(PaletteErrorTest, EveryColourLiesNearAnEntry) {
    const auto& pixels = GetParam().pixels;
    const Palette palette = MakePalette(pixels, 256);
    EXPECT_LE(palette.size(), 256u);
    NearestColor nearest(palette);
    int worst = 0;
    for (const std::uint32_t pixel : pixels)
        worst = std::max(worst, Distance(palette[nearest.Find(pixel)], pixel));
    EXPECT_LE(worst, GetParam().worst);
}

// 20,000 colours of a smooth ramp: more than the refinement looks at one by one.
std::vector<std::uint32_t> WideRamp() {
    std::vector<std::uint32_t> pixels;
    for (int i = 0; i < 20000; ++i)
        pixels.push_back(kOpaque | ((20 + i % 200) << 16) | ((30 + i / 200) << 8) | (i % 7 * 9));
    return pixels;
}

INSTANTIATE_TEST_SUITE_P(Sets, PaletteErrorTest,
                         ::testing::Values(PaletteSet{"narrowGradient", NarrowGradient(), 2},
                                           PaletteSet{"bigAndSmall", BigAndSmallClusters(), 3},
                                           PaletteSet{"wideRamp", WideRamp(), 16}),
                         [](const auto& info) { return std::string(info.param.name); });

// A palette stops growing once its error is small enough: four tight clusters of 80 colours
// each need four entries for a mean squared error of 2, and all 256 for none.
TEST(MakePalette, TakesFewerEntriesWhenTheyAreCloseEnough) {
    std::vector<std::uint32_t> pixels;
    for (const std::uint32_t centre : {0x202020u, 0x80C040u, 0xC04080u, 0x4080C0u}) {
        for (int i = 0; i < 80; ++i)
            pixels.push_back(kOpaque | (centre + (i % 4) * 0x10000 + (i / 4 % 4) * 0x100 + i / 16));
    }
    const Palette enough = MakePalette(pixels, 256, 2.0);
    EXPECT_LE(enough.size(), 8u);
    NearestColor nearest(enough);
    for (const std::uint32_t pixel : pixels)
        ASSERT_LE(Distance(enough[nearest.Find(pixel)], pixel), 2);
    EXPECT_EQ(MakePalette(pixels, 256, 0).size(), 256u);
}

// The cuts fall where they lower the error most: clusters far apart each get their mean
// as an entry, however the weights lie.
TEST(MakePalette, SplitsBetweenClustersAtTheirMeans) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::uint32_t, int>> colours;  // colour, pixels of it
        Palette want;                                         // sorted
    };
    const std::vector<Case> cases = {
        {"twoEven",
         {{0x102030, 50}, {0x102032, 50}, {0xE0D0C0, 50}, {0xE0D0C4, 50}},
         {0x102031, 0xE0D0C2}},
        {"twoUneven", {{0x000000, 300}, {0x000004, 100}, {0xFFFFFF, 7}}, {0x000001, 0xFFFFFF}},
        {"blueOnly",
         {{0x404010, 10}, {0x404012, 10}, {0x4040F0, 30}, {0x4040F2, 10}},
         {0x404011, 0x4040F1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint32_t> pixels;
        for (const auto& [colour, count] : c.colours)
            pixels.insert(pixels.end(), count, kOpaque | colour);
        Palette palette = MakePalette(pixels, 2);
        std::sort(palette.begin(), palette.end());
        EXPECT_EQ(palette, c.want);
    }
}

// Palettes of different shapes: spread over all colours, packed in a small corner (cells
// with many near entries), with repeated entries (equal distances), a single entry.
struct PaletteShape {
    const char* name;
    int entries;
    std::uint32_t mask;  // of the random colours
    int repeats;         // each colour appears this many times
};

class NearestColorTest : public ::testing::TestWithParam<PaletteShape> {};

TEST_P(NearestColorTest, AgreesWithASearchOfEveryEntry) {
    std::mt19937 random(7);
    Palette palette;
    while (int(palette.size()) < GetParam().entries) {
        const std::uint32_t colour = 0x404040 + (random() & GetParam().mask);
        for (int k = 0; k < GetParam().repeats; ++k) palette.push_back(colour);
    }
    palette.resize(GetParam().entries);
    NearestColor nearest(palette);
    const auto squared = [](std::uint32_t a, std::uint32_t b) {
        int sum = 0;
        for (int shift = 0; shift <= 16; shift += 8) {
            const int d = int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF);
            sum += d * d;
        }
        return sum;
    };
    for (int i = 0; i < 30000; ++i) {
        // Half the colours near the palette's corner, where its entries crowd.
        const std::uint32_t colour =
            i % 2 ? random() & 0xFFFFFF : 0x303030 + (random() & (GetParam().mask | 0x1F1F1F));
        int best = INT32_MAX, first = -1;
        for (std::size_t e = 0; e < palette.size(); ++e) {
            const int d = squared(palette[e], colour);
            if (d < best) best = d, first = int(e);
        }
        const int found = nearest.Find(colour);
        ASSERT_EQ(found, first) << std::hex << colour << " the lowest index among the nearest";
        ASSERT_EQ(nearest.Find(colour), found) << "the learnt answer is the same";
    }
    // Another palette forgets what was learnt of this one.
    nearest.Reset({0x000000, 0xFFFFFF});
    EXPECT_EQ(nearest.Find(0x404040), 0);
    EXPECT_EQ(nearest.Find(0xC0C0C0), 1);
}

TEST(NearestColor, ForgetsAFewLearntCellsOnReset) {
    NearestColor nearest({0x000000, 0xFFFFFF});
    EXPECT_EQ(nearest.Find(0x303030), 0);
    EXPECT_EQ(nearest.Find(0xD0D0D0), 1);
    nearest.Reset({0xFFFFFF, 0x404040});
    EXPECT_EQ(nearest.Find(0x303030), 1);
    EXPECT_EQ(nearest.Find(0xD0D0D0), 0);
}

INSTANTIATE_TEST_SUITE_P(Shapes, NearestColorTest,
                         ::testing::Values(PaletteShape{"spread", 200, 0xFFFFFF, 1},
                                           PaletteShape{"crowded", 256, 0x1F1F1F, 1},
                                           PaletteShape{"repeated", 256, 0x3F3F3F, 4},
                                           PaletteShape{"single", 1, 0xFFFFFF, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

// A flat colour between two near entries: dithering mixes them to the right average.
class FlatColourDither : public ::testing::TestWithParam<Dither> {};

TEST_P(FlatColourDither, KeepsTheAverageOrSnaps) {
    const Palette palette = {0x000000, 0x101010};
    const int width = 64, height = 64;
    const std::vector<std::uint32_t> block(width * height, kOpaque | 0x060606);
    const auto indices = MapToPalette(block, width, height, palette, 2, GetParam());
    double mean = 0;
    for (const auto index : indices) mean += (palette[index] & 0xFF);
    mean /= indices.size();
    if (GetParam() == Dither::kNone)
        EXPECT_EQ(mean, 0);
    else
        EXPECT_NEAR(mean, 6, 1);
}

INSTANTIATE_TEST_SUITE_P(Modes, FlatColourDither,
                         ::testing::Values(Dither::kNone, Dither::kOrdered, Dither::kDiffuse));

TEST(MapToPalette, BlankPixelsTakeTheBlankIndexInEveryMode) {
    const Palette palette = {0xFF0000, 0x0000FF};
    const std::vector<std::uint32_t> block = {kOpaque | 0xFF0000, 0, kOpaque | 0x0000FF, 0};
    for (const Dither dither : {Dither::kNone, Dither::kOrdered, Dither::kDiffuse}) {
        EXPECT_EQ(MapToPalette(block, 2, 2, palette, 2, dither),
                  (std::vector<std::uint8_t>{0, 2, 1, 2}));
    }
}

// ---- the writer ----

Picture Solid(int width, int height, std::int64_t delayCs) {
    Picture picture;
    picture.width = width;
    picture.height = height;
    picture.indices.assign(std::size_t(width) * height, 1);
    picture.palette = {0x000000, 0x33CC66};
    picture.delayCs = delayCs;
    return picture;
}

struct LoopCase {
    int plays;
    int loopCount;  // as read back; -1 = no loop block
};

class LoopCount : public ::testing::TestWithParam<LoopCase> {};

TEST_P(LoopCount, IsWrittenAsPlaysLessOne) {
    const std::string path = ScratchGif("loop" + std::to_string(GetParam().plays));
    GifWriter writer;
    ASSERT_TRUE(writer.Open(path, 4, 3, {}, GetParam().plays)) << writer.Error();
    ASSERT_TRUE(writer.Write(Solid(4, 3, 10)));
    ASSERT_TRUE(writer.Close());
    const testgif::Gif gif = testgif::Read(path);
    fs::remove(path);
    ASSERT_TRUE(gif.ok);
    EXPECT_EQ(gif.loopCount, GetParam().loopCount);
    ASSERT_EQ(gif.pages.size(), 1u);
    EXPECT_EQ(gif.pages[0].At(3, 2), 0x33CC66u);
}

INSTANTIATE_TEST_SUITE_P(Plays, LoopCount,
                         ::testing::Values(LoopCase{0, 0}, LoopCase{1, -1}, LoopCase{2, 1},
                                           LoopCase{5, 4}, LoopCase{kMaxPlays, 65535}));

TEST(GifWriter, DelaysPastTheFieldGoOnInEmptyPictures) {
    const std::string path = ScratchGif("longdelay");
    GifWriter writer;
    ASSERT_TRUE(writer.Open(path, 4, 3, {}, 0));
    Picture picture = Solid(4, 3, 65535 + 65535 + 100);
    picture.disposal = Disposal::kClear;
    ASSERT_TRUE(writer.Write(picture));
    ASSERT_TRUE(writer.Close());
    const testgif::Gif gif = testgif::Read(path);
    fs::remove(path);
    ASSERT_EQ(gif.pages.size(), 3u);
    EXPECT_EQ(gif.pages[0].delayCs + gif.pages[1].delayCs + gif.pages[2].delayCs,
              65535 + 65535 + 100);
    EXPECT_EQ(gif.pages[1].At(0, 0), 0x33CC66u) << "the picture stays while its time runs";
    EXPECT_EQ(gif.pages[0].disposal, 1);
    EXPECT_EQ(gif.pages[2].disposal, 2) << "the last part disposes as the picture would";
}

TEST(GifWriter, MakesItsFileAsAnyOutputIsMade) {
    const std::string path = ScratchGif("mode");
    const mode_t before = ::umask(022);
    GifWriter writer;
    ASSERT_TRUE(writer.Open(path, 4, 3, {}, 0));
    ASSERT_TRUE(writer.Write(Solid(4, 3, 10)));
    ASSERT_TRUE(writer.Close());
    ::umask(before);
    const auto permissions = fs::status(path).permissions();
    fs::remove(path);
    EXPECT_EQ(permissions, fs::perms::owner_read | fs::perms::owner_write |
                               fs::perms::group_read | fs::perms::others_read);
}

TEST(GifWriter, RefusesPicturesThatDoNotFit) {
    const std::string path = ScratchGif("refuse");
    GifWriter writer;
    ASSERT_TRUE(writer.Open(path, 4, 3, {}, 0));
    Picture outside = Solid(4, 3, 10);
    outside.left = 1;
    EXPECT_FALSE(writer.Write(outside));
    Picture shortIndices = Solid(4, 3, 10);
    shortIndices.indices.pop_back();
    EXPECT_FALSE(writer.Write(shortIndices));
    Picture badTransparent = Solid(4, 3, 10);
    badTransparent.transparentIndex = 2;
    EXPECT_FALSE(writer.Write(badTransparent));
    Picture noPalette = Solid(4, 3, 10);
    noPalette.palette.clear();
    EXPECT_FALSE(writer.Write(noPalette)) << "no global palette to fall back on";
    EXPECT_TRUE(writer.Close());
    fs::remove(path);
    EXPECT_FALSE(writer.Open(path, 0, 3, {}, 0));
    EXPECT_FALSE(GifWriter().Open("/nonexistent-folder/x.gif", 4, 3, {}, 0));
}

// ---- frame sequences ----

// Frames of a scene: a background (a flat colour or a horizontal gradient), and a block that
// moves or stays.
struct Scene {
    int width = 48;
    int height = 32;
    bool gradient = false;
    bool transparentStage = false;

    std::uint32_t Background(int x) const {
        if (transparentStage) return 0;
        if (!gradient) return kOpaque | 0x2060A0;
        const int level = x * 255 / (width - 1);
        return kOpaque | (level << 16) | ((255 - level) << 8) | 0x40;
    }
    Frame Make(int blockX, int blockY, std::uint32_t blockColour = 0xE0C020) const {
        Frame frame(std::size_t(width) * height);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const bool inBlock = x >= blockX && x < blockX + 8 && y >= blockY && y < blockY + 6;
                frame[std::size_t(y) * width + x] = inBlock ? kOpaque | blockColour : Background(x);
            }
        }
        return frame;
    }
};

struct Written {
    testgif::Gif gif;
    std::vector<Picture> pictures;
};

Written Encode(const std::vector<Frame>& frames, const std::vector<std::int64_t>& delays,
               const EncodeOptions& options, int width, int height, const std::string& name) {
    const std::string path = ScratchGif(name);
    GifWriter writer;
    Written written;
    FrameSequence* pictures = nullptr;
    FrameSequence sequence(width, height, options, [&](const Picture& picture) {
        if (written.pictures.empty()) {
            EXPECT_TRUE(writer.Open(path, width, height, pictures->ScreenPalette(), 0));
        }
        written.pictures.push_back(picture);
        return writer.Write(picture);
    });
    pictures = &sequence;
    for (std::size_t i = 0; i < frames.size(); ++i)
        EXPECT_TRUE(sequence.Add(frames[i], delays[i]));
    EXPECT_TRUE(sequence.Finish());
    EXPECT_TRUE(writer.Close()) << writer.Error();
    written.gif = testgif::Read(path);
    fs::remove(path);
    return written;
}

// Every decoded page shows its frame: the same pixels shown, colours within `tolerance`.
void ExpectPagesShowFrames(const testgif::Gif& gif, const std::vector<Frame>& frames,
                           int tolerance) {
    ASSERT_TRUE(gif.ok);
    ASSERT_EQ(gif.pages.size(), frames.size());
    for (std::size_t k = 0; k < frames.size(); ++k) {
        int worst = 0;
        for (int y = 0; y < gif.height; ++y) {
            for (int x = 0; x < gif.width; ++x) {
                const std::uint32_t want = frames[k][std::size_t(y) * gif.width + x];
                ASSERT_EQ(gif.pages[k].Shown(x, y), want != 0)
                    << "page " << k << " at " << x << "," << y;
                if (want != 0) worst = std::max(worst, Distance(gif.pages[k].At(x, y), want));
            }
        }
        EXPECT_LE(worst, tolerance) << "page " << k;
    }
}

struct SequenceCase {
    const char* name;
    bool optimize;
    bool transparent;
    bool global;
    Dither dither;
};

class SequenceTest : public ::testing::TestWithParam<SequenceCase> {
  protected:
    EncodeOptions Options(const Scene& scene, const std::vector<Frame>& frames) const {
        EncodeOptions options;
        options.optimize = GetParam().optimize;
        options.transparent = GetParam().transparent;
        options.dither = GetParam().dither;
        if (GetParam().global) {
            std::vector<std::uint32_t> all;
            for (const Frame& f : frames)
                for (const auto p : f)
                    if (p) all.push_back(p);
            options.global = MakePalette(all, 255);
        }
        (void)scene;
        return options;
    }
};

// A block moving over the stage, leaving it, and standing still: few colours, so every page
// must come back exactly, transparent pixels included (no trail behind the block).
TEST_P(SequenceTest, MovingBlockDecodesToEveryFrame) {
    Scene scene;
    scene.transparentStage = GetParam().transparent;
    std::vector<Frame> frames;
    for (const auto& [x, y] : std::vector<std::pair<int, int>>{
             {2, 2}, {10, 4}, {30, 20}, {30, 20}, {40, 26}, {-20, 0}, {5, 5}})
        frames.push_back(scene.Make(x, y));
    const std::vector<std::int64_t> delays(frames.size(), 7);
    const Written w =
        Encode(frames, delays, Options(scene, frames), scene.width, scene.height, GetParam().name);
    if (GetParam().optimize) {
        // The repeated frame is merged with its delays summed.
        std::vector<Frame> distinct = frames;
        distinct.erase(distinct.begin() + 3);
        ExpectPagesShowFrames(w.gif, distinct, 0);
        ASSERT_EQ(w.gif.pages.size(), 6u);
        EXPECT_EQ(w.gif.pages[2].delayCs, 14);
        // Later pictures hold only what changed: the block's old and new places.
        EXPECT_LE(w.pictures[1].width * w.pictures[1].height, 18 * 8);
    } else {
        ExpectPagesShowFrames(w.gif, frames, 0);
        for (const Picture& p : w.pictures) EXPECT_EQ(p.width * p.height, scene.width * scene.height);
    }
    EXPECT_TRUE(w.gif.globalPalette);
    EXPECT_FALSE(w.gif.pages[0].localPalette) << "the first picture's colours are the global ones";
    if (GetParam().global) {
        for (const auto& page : w.gif.pages) EXPECT_FALSE(page.localPalette);
    }
}

// Over a gradient of more colours than a palette holds, pages stay within the quantizer's error.
TEST_P(SequenceTest, GradientStaysWithinTheQuantizersError) {
    Scene scene;
    scene.width = 300;
    scene.height = 20;
    scene.gradient = true;
    scene.transparentStage = GetParam().transparent;
    std::vector<Frame> frames;
    for (int k = 0; k < 4; ++k) frames.push_back(scene.Make(10 + 40 * k, 4 + k));
    // A tolerance lets pixels stay as shown up to four times its levels off.
    for (const int tolerance : {0, 2}) {
        EncodeOptions options = Options(scene, frames);
        options.tolerance = tolerance;
        const Written w = Encode(frames, std::vector<std::int64_t>(frames.size(), 5), options,
                                 scene.width, scene.height,
                                 std::string(GetParam().name) + "_gradient");
        // 300 levels of red and green on 255 entries: a step of a few levels; dithering adds
        // noise of about a step's size.
        const int quantizer = GetParam().dither == Dither::kNone ? 8 : 24;
        ExpectPagesShowFrames(w.gif, frames, quantizer + 4 * tolerance);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Options, SequenceTest,
    ::testing::Values(SequenceCase{"optimized", true, false, false, Dither::kDiffuse},
                      SequenceCase{"optimizedPlain", true, false, false, Dither::kNone},
                      SequenceCase{"optimizedOrdered", true, false, false, Dither::kOrdered},
                      SequenceCase{"whole", false, false, false, Dither::kDiffuse},
                      SequenceCase{"global", true, false, true, Dither::kDiffuse},
                      SequenceCase{"wholeGlobal", false, false, true, Dither::kNone},
                      SequenceCase{"transparent", true, true, false, Dither::kDiffuse},
                      SequenceCase{"transparentWhole", false, true, false, Dither::kDiffuse},
                      SequenceCase{"transparentGlobal", true, true, true, Dither::kNone}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FrameSequence, PixelsVanishingOutsideTheLastChangeAreCleared) {
    // Two blocks on a transparent stage: one stands while the other moves, then the standing
    // one goes. Its pixels lie outside the last picture's rectangle, which must grow to
    // clear them.
    Scene scene;
    scene.transparentStage = true;
    const auto twoBlocks = [&](int movingX) {
        Frame frame = scene.Make(movingX, 20);
        const Frame standing = scene.Make(2, 2, 0x30C030);
        for (std::size_t i = 0; i < frame.size(); ++i)
            if (standing[i]) frame[i] = standing[i];
        return frame;
    };
    const std::vector<Frame> frames = {twoBlocks(20), twoBlocks(30), scene.Make(36, 20)};
    EncodeOptions options;
    options.transparent = true;
    const Written w = Encode(frames, {5, 5, 5}, options, scene.width, scene.height, "vanish");
    ExpectPagesShowFrames(w.gif, frames, 0);
    EXPECT_EQ(w.gif.pages[1].disposal, 2);
    EXPECT_LE(w.pictures[1].left, 2) << "the rectangle grew over the standing block";
    EXPECT_LE(w.pictures[1].top, 2);
}

TEST(FrameSequence, SmallPicturesUseTheFirstPicturesColoursWhenTheyServe) {
    Scene scene;
    scene.width = 300;
    scene.height = 200;
    const Frame flat = scene.Make(-100, 0);  // the background alone
    scene.gradient = true;
    Frame gradient = scene.Make(-100, 0);
    Frame withOldColour = gradient, withNewColour = gradient;
    for (int y = 10; y < 20; ++y) {
        for (int x = 10; x < 20; ++x) {
            withOldColour[y * 300 + x] = flat[0];
            withNewColour[y * 300 + x] = kOpaque | 0x00FF00;
        }
    }
    const std::vector<Frame> frames = {flat, gradient, withOldColour, withNewColour};
    const Written w = Encode(frames, {5, 5, 5, 5}, {}, 300, 200, "shared");
    ExpectPagesShowFrames(w.gif, frames, 24);
    EXPECT_FALSE(w.gif.pages[0].localPalette);
    EXPECT_TRUE(w.gif.pages[1].localPalette) << "a whole new picture has its own colours";
    EXPECT_FALSE(w.gif.pages[2].localPalette) << "a small change in a colour already there";
    EXPECT_TRUE(w.gif.pages[3].localPalette) << "a small change in a colour far from all";
}

// Unchanged pixels are left transparent only where that breaks fewer runs than drawing them
// again: scattered through a flat change they are drawn, around a block over a busy
// background they are holes. Either way every page shows its frame.
TEST(FrameSequence, UnchangedPixelsAreHolesOnlyWhereThatIsSmaller) {
    const int width = 64, height = 16;
    const std::uint32_t flat = kOpaque | 0x2060A0, dot = kOpaque | 0xE0C020;
    // A flat stage strewn with dots on every fourth pixel, then the dots gone: the changed
    // rectangle is mostly pixels that did not change, between the ones that did.
    Frame dotted(std::size_t(width) * height, flat), plain = dotted;
    for (std::size_t i = 0; i < dotted.size(); i += 4) dotted[i] = dot;
    // Stripes of four colours, then a block moved across them: the unchanged stripes inside
    // the block's rectangle are cheaper left alone.
    Frame stripes(std::size_t(width) * height), moved;
    for (std::size_t i = 0; i < stripes.size(); ++i) stripes[i] = kOpaque | (0x102030 * (i % 4 + 1));
    moved = stripes;
    for (int y = 4; y < 12; ++y)
        for (int x = 10; x < 50; x += 13) moved[std::size_t(y) * width + x] = dot;
    struct Case {
        const char* name;
        Frame before, after;
        bool holes;
    };
    for (const Case& c : {Case{"flat", dotted, plain, false}, Case{"busy", stripes, moved, true}}) {
        SCOPED_TRACE(c.name);
        const std::vector<Frame> frames = {c.before, c.after};
        const Written w =
            Encode(frames, {5, 5}, {}, width, height, std::string("holes_") + c.name);
        ExpectPagesShowFrames(w.gif, frames, 0);
        ASSERT_EQ(w.pictures.size(), 2u);
        EXPECT_EQ(w.pictures[1].transparentIndex >= 0, c.holes);
    }
}

// A background drifting one level a frame under a moving block. With a tolerance of T the
// drift is left as shown until it passes T: every page within T of its frame (the colours are
// few, so drawn ones are exact), far fewer pixels drawn, and the stage redrawn once it has
// drifted too far.
struct DriftCase {
    const char* name;
    int tolerance;
    Dither dither;
    bool optimize;
};

class DriftTest : public ::testing::TestWithParam<DriftCase> {};

TEST_P(DriftTest, PagesStayWithinTheTolerance) {
    const int width = 64, height = 32;
    std::vector<Frame> frames;
    for (int k = 0; k < 8; ++k) {
        Frame frame(std::size_t(width) * height, kOpaque | (0x2060A0 + k * 0x010101));
        for (int y = 4; y < 10; ++y)
            for (int x = 4 * k; x < 4 * k + 8; ++x)
                frame[std::size_t(y) * width + x] = kOpaque | 0xE0C020;
        frames.push_back(frame);
    }
    EncodeOptions options;
    options.tolerance = GetParam().tolerance;
    options.dither = GetParam().dither;
    options.optimize = GetParam().optimize;
    const Written w = Encode(frames, std::vector<std::int64_t>(frames.size(), 5), options, width,
                             height, std::string("drift_") + GetParam().name);
    const int bound = GetParam().optimize ? GetParam().tolerance : 0;
    ExpectPagesShowFrames(w.gif, frames, bound);
    std::size_t drawnLater = 0;
    for (std::size_t k = 1; k < w.pictures.size(); ++k)
        drawnLater += std::size_t(w.pictures[k].width) * w.pictures[k].height;
    if (bound == 3) {
        // The block's rectangles, and the stage once, when the drift passes 3.
        EXPECT_LT(drawnLater, std::size_t(2) * width * height);
        EXPECT_GE(drawnLater, std::size_t(width) * height);
    } else {
        EXPECT_GE(drawnLater, std::size_t(7) * width * height) << "the stage drawn every frame";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Tolerances, DriftTest,
    ::testing::Values(DriftCase{"exact", 0, Dither::kNone, true},
                      DriftCase{"plain", 3, Dither::kNone, true},
                      DriftCase{"diffused", 3, Dither::kDiffuse, true},
                      DriftCase{"ordered", 3, Dither::kOrdered, true},
                      DriftCase{"notOptimized", 3, Dither::kNone, false}),
    [](const auto& info) { return std::string(info.param.name); });

// Frames within the tolerance of what the held picture shows are merged into it.
TEST(FrameSequence, FramesWithinTheToleranceAreMerged) {
    Scene scene;
    const Frame first = scene.Make(4, 4);
    Frame nudged = first;
    for (auto& pixel : nudged) pixel += 0x010001;
    EncodeOptions options;
    options.tolerance = 1;
    const Written w = Encode({first, nudged, first}, {5, 6, 7}, options, scene.width,
                             scene.height, "nudged");
    ASSERT_TRUE(w.gif.ok);
    ASSERT_EQ(w.gif.pages.size(), 1u);
    EXPECT_EQ(w.gif.pages[0].delayCs, 18);
}

// One pixel of a frame changes, at the stage's left or right edge: within the tolerance the
// frame is merged into the last picture; beyond it, or between transparent and opaque however
// close the numbers, it is drawn (a new opaque pixel as a picture of that pixel alone).
TEST(FrameSequence, ChangesAreFoundChannelByChannelAtTheTolerance) {
    struct Case {
        const char* name;
        std::uint32_t before, after;
        int tolerance;
        bool drawn;
    };
    const std::uint32_t base = kOpaque | 0x2060A0;
    const std::vector<Case> cases = {
        {"equal", base, base, 0, false},
        {"oneLevelExact", base, base + 1, 0, true},
        {"upToTolerance", base, base + 0x020202, 2, false},
        {"redPastTolerance", base, base + 0x030000, 2, true},
        {"greenBelowTolerance", base, base - 0x000300, 2, true},
        {"blueDownToTolerance", base, base - 0x000002, 2, false},
        {"darkFromTransparent", 0, kOpaque | 0x000001, 2, true},
        {"transparentFromDark", kOpaque | 0x000001, 0, 2, true},
        {"bothTransparent", 0, 0, 2, false},
    };
    const int width = 40, height = 3;
    for (const int x : {0, width - 1}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + " at " + std::to_string(x));
            Frame first(std::size_t(width) * height, kOpaque | 0x808080);
            first[std::size_t(width) + x] = c.before;
            Frame second = first;
            second[std::size_t(width) + x] = c.after;
            EncodeOptions options;
            options.transparent = true;
            options.tolerance = c.tolerance;
            const Written w = Encode({first, second}, {5, 5}, options, width, height,
                                     std::string("onePixel_") + c.name);
            ASSERT_EQ(w.pictures.size(), c.drawn ? 2u : 1u);
            ASSERT_TRUE(w.gif.ok);
            // A vanishing pixel is cleared with the first picture's whole rectangle.
            if (!c.drawn || c.after == 0) continue;
            const Picture& p = w.pictures[1];
            EXPECT_EQ(p.left, x);
            EXPECT_EQ(p.top, 1);
            EXPECT_EQ(p.width * p.height, 1);
        }
    }
}

// A stage of one-pixel stripes (so that holes beat drawing its unchanged parts again) with a
// block at blockX, and the colours given in its last row, so that the first picture's palette,
// which later small pictures share, holds them exactly.
Frame StripedStage(int blockX, const std::vector<std::uint32_t>& extraColours) {
    constexpr int kWidth = 48, kHeight = 32;
    Frame frame(std::size_t(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const bool inBlock = x >= blockX && x < blockX + 8 && y >= 4 && y < 10;
            frame[std::size_t(y) * kWidth + x] = kOpaque | (inBlock ? 0xE0C020
                                                            : x % 2 ? 0x2060A0
                                                                    : 0x406080);
        }
    }
    for (std::size_t i = 0; i < extraColours.size(); ++i)
        frame[std::size_t(kHeight - 1) * kWidth + i] = kOpaque | extraColours[i];
    return frame;
}

// A patch of the stage drifts by `drift` levels of red, past the tolerance. Where the colour
// on screen is within three times the tolerance of the one wanted (beyond the palette's error,
// none here) the patch is left as shown, as holes; further off, it is drawn again.
TEST(FrameSequence, ChangedPixelsCloseToWhatIsShownAreLeftAsShown) {
    struct Case {
        const char* name;
        int tolerance;
        int drift;
        bool leftAsShown;
    };
    const std::vector<Case> cases = {
        {"withinSlack", 2, 6, true},
        {"pastSlack", 2, 7, false},
        {"exactKeepsNothingOff", 0, 1, false},
        {"widerTolerance", 4, 12, true},
    };
    constexpr int kWidth = 48;
    const auto inPatch = [](int x, int y) { return x >= 28 && x < 48 && y >= 14 && y < 24; };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<std::uint32_t> drifted = {0x2060A0u + (c.drift << 16),
                                                    0x406080u + (c.drift << 16)};
        const Frame first = StripedStage(4, drifted);
        Frame second = StripedStage(10, drifted);
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < kWidth; ++x)
                if (inPatch(x, y)) second[std::size_t(y) * kWidth + x] += c.drift << 16;
        EncodeOptions options;
        options.tolerance = c.tolerance;
        options.dither = Dither::kNone;
        const Written w = Encode({first, second}, {5, 5}, options, kWidth, 32,
                                 std::string("leftAsShown_") + c.name);
        ASSERT_EQ(w.pictures.size(), 2u);
        const Picture& p = w.pictures[1];
        int holes = 0, patch = 0;
        for (int y = 0; y < p.height; ++y) {
            for (int x = 0; x < p.width; ++x) {
                if (!inPatch(p.left + x, p.top + y)) continue;
                ++patch;
                holes += p.indices[std::size_t(y) * p.width + x] == p.transparentIndex;
            }
        }
        ASSERT_EQ(patch, 200) << "the patch lies in the changed rectangle";
        EXPECT_EQ(holes, c.leftAsShown ? patch : 0);
        ExpectPagesShowFrames(w.gif, {first, second}, c.leftAsShown ? c.drift : 0);
    }
}

// A pixel drawn a few levels off, within a run of one new colour: a hole there would break
// the run, so it is drawn with it.
TEST(FrameSequence, APixelWithinARunOfOneColourIsDrawnWithIt) {
    constexpr int kWidth = 48;
    const std::vector<std::uint32_t> colours = {0x804020, 0x80401C};
    Frame first = StripedStage(4, colours);
    const std::size_t at = std::size_t(20) * kWidth + 30;
    first[at] = kOpaque | 0x804020;
    Frame second = StripedStage(10, colours);
    for (int x = 20; x < 40; ++x) second[std::size_t(20) * kWidth + x] = kOpaque | 0x80401C;
    EncodeOptions options;
    options.dither = Dither::kNone;
    options.tolerance = 2;
    const Written w = Encode({first, second}, {5, 5}, options, kWidth, 32, "run");
    ASSERT_EQ(w.pictures.size(), 2u);
    const Picture& p = w.pictures[1];
    const std::size_t inPicture = std::size_t(20 - p.top) * p.width + (30 - p.left);
    EXPECT_NE(p.indices[inPicture], p.transparentIndex);
    EXPECT_EQ(p.indices[inPicture], p.indices[inPicture - 1]);
    ExpectPagesShowFrames(w.gif, {first, second}, 0);
}

TEST(FrameSequence, AnEmptyFrameIsOneTransparentPixel) {
    Scene scene;
    scene.transparentStage = true;
    const Frame empty(std::size_t(scene.width) * scene.height, 0);
    const std::vector<Frame> frames = {empty, scene.Make(4, 4), empty};
    EncodeOptions options;
    options.transparent = true;
    const Written w = Encode(frames, {5, 5, 5}, options, scene.width, scene.height, "empty");
    ExpectPagesShowFrames(w.gif, frames, 0);
    EXPECT_EQ(w.pictures[0].width * w.pictures[0].height, 1);
}

TEST(FrameSequence, RefusesFramesOfTheWrongSize) {
    FrameSequence sequence(4, 4, {}, [](const Picture&) { return true; });
    EXPECT_FALSE(sequence.Add(Frame(15, kOpaque), 5));
    EXPECT_TRUE(sequence.Add(Frame(16, kOpaque), 5));
}

TEST(FrameSequence, AFailingSinkStopsTheSequence) {
    FrameSequence sequence(4, 4, {}, [](const Picture&) { return false; });
    EXPECT_TRUE(sequence.Add(Frame(16, kOpaque | 1), 5)) << "the first picture is held back";
    EXPECT_FALSE(sequence.Add(Frame(16, kOpaque | 2), 5));
}

}  // namespace
}  // namespace cli::gif
