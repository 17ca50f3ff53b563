// The frame writer: what it saves in the background is what it saves at once, byte for byte;
// the first failure is kept with its reason and stops later saves; the worker never touches the
// process-wide codec factory. Run under ThreadSanitizer by scripts/test-sanitize.sh --thread.
#include "capture/frame_file_writer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "capture/frame_capture.h"
#include "imaging/codecfactory.h"

namespace fs = std::filesystem;
using capture::FrameFileWriter;

namespace {

class FrameFileWriterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("fc_writer_" + std::to_string(::getpid()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    void TearDown() override { fs::remove_all(root_); }

    std::string PathOf(const std::string& name) const { return (root_ / name).string(); }
    static std::vector<char> Bytes(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    // A surface with a gradient that differs for every frame.
    static CSurface Frame(int k) {
        CSurface surface(40, 30);
        for (int y = 0; y < surface.Height(); ++y)
            for (int x = 0; x < surface.Width(); ++x)
                reinterpret_cast<std::uint32_t*>(surface.Pixels() + y * surface.Stride())[x] =
                    0xFF000000u | std::uint32_t((x * 6 + k * 40) & 255) << 16 |
                    std::uint32_t((y * 8) & 255) << 8 | std::uint32_t((k * 29) & 255);
        return surface;
    }

    fs::path root_;
};

// Codecs whose every save fails, counting the saves asked of them.
class FailingCodec : public CImageCodec {
  public:
    bool SaveFile(const char*, const CImageList&, const CPropertyBag*) override { return false; }
};
class FailingFactory : public CCodecFactory {
  public:
    std::unique_ptr<CImageCodec> CreateCodec(ImageType) override {
        ++created;
        return std::make_unique<FailingCodec>();
    }
    std::atomic<int> created{0};
};

TEST_F(FrameFileWriterTest, BackgroundFilesEqualThoseSavedAtOnce) {
    for (const char* extension : {".gif", ".png", ".bmp"}) {
        {
            FrameFileWriter background(true);
            for (int k = 0; k < 6; ++k)
                background.Save(Frame(k), PathOf("bg" + std::to_string(k) + extension));
            background.WaitForAll();
            EXPECT_EQ(background.FirstFailure(), "");
        }
        FrameFileWriter atOnce(false);
        for (int k = 0; k < 6; ++k) {
            const std::string name = std::to_string(k) + extension;
            atOnce.Save(Frame(k), PathOf("now" + name));
            const std::vector<char> bytes = Bytes(PathOf("bg" + name));
            EXPECT_FALSE(bytes.empty()) << name;
            EXPECT_EQ(bytes, Bytes(PathOf("now" + name))) << name;
        }
    }
}

TEST_F(FrameFileWriterTest, WaitForReturnsOnceThatFileIsComplete) {
    FrameFileWriter writer(true);
    for (int k = 0; k < 8; ++k) {
        const std::string path = PathOf(std::to_string(k) + ".gif");
        writer.Save(Frame(k), path);
        writer.WaitFor(path);
        EXPECT_GT(fs::file_size(path), 0u) << k;
    }
}

TEST_F(FrameFileWriterTest, FailingEncoderIsReportedOnceAndStopsLaterSaves) {
    auto codecs = std::make_shared<FailingFactory>();
    FrameFileWriter writer(true, codecs);
    for (int k = 0; k < 6; ++k) writer.Save(Frame(k), PathOf(std::to_string(k) + ".gif"));
    writer.WaitForAll();
    const std::string failure = writer.FirstFailure();
    EXPECT_NE(failure.find("0.gif"), std::string::npos) << failure;
    EXPECT_NE(failure.find("the image encoder failed"), std::string::npos) << failure;
    EXPECT_LT(codecs->created.load(), 6) << "saves after the first failure are dropped";
}

TEST_F(FrameFileWriterTest, UnwritableFolderIsReportedWithTheSystemsReason) {
    for (bool background : {false, true}) {
        FrameFileWriter writer(background);
        writer.Save(Frame(0), PathOf("missing/0.gif"));
        writer.WaitForAll();
        EXPECT_NE(writer.FirstFailure().find("No such file or directory"), std::string::npos)
            << writer.FirstFailure();
    }
}

TEST_F(FrameFileWriterTest, BackgroundSavesLeaveTheCurrentFactoryAlone) {
    CCodecFactory* before = GetCodecFactory();
    {
        FrameFileWriter writer(true);
        for (int k = 0; k < 4; ++k) writer.Save(Frame(k), PathOf(std::to_string(k) + ".gif"));
    }
    EXPECT_EQ(GetCodecFactory(), before);
}

// The UI thread goes on capturing (which makes the run's factory current each time) while the
// worker saves: nothing is shared between them, so this is clean under ThreadSanitizer.
TEST_F(FrameFileWriterTest, CapturingOnTheCallingThreadWhileTheWorkerSaves) {
    FrameFileWriter writer(true);
    for (int k = 0; k < 12; ++k) {
        writer.Save(Frame(k), PathOf(std::to_string(k) + ".png"));
        CPixelImage image;
        EXPECT_TRUE(capture::ImageFromSurface(Frame(k), image));
    }
    writer.WaitForAll();
    EXPECT_EQ(writer.FirstFailure(), "");
    for (int k = 0; k < 12; ++k) EXPECT_TRUE(fs::exists(PathOf(std::to_string(k) + ".png")));
}

}  // namespace
