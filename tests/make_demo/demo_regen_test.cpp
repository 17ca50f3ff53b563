// samples/demo.swf is what tools/make_demo writes, byte for byte, and has the promised header.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const std::filesystem::path kCommitted =
    std::filesystem::path(FILMCAST_SOURCE_DIR) / "samples/demo.swf";

TEST(DemoMovie, RegeneratesByteForByte) {
    const std::filesystem::path fresh =
        std::filesystem::path(testing::TempDir()) / "demo_regenerated.swf";
    const std::string command = std::string("\"") + MAKE_DEMO_EXE + "\" \"" + fresh.string() + "\"";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const Bytes made = ReadFile(fresh);
    std::filesystem::remove(fresh);
    const Bytes committed = ReadFile(kCommitted);
    ASSERT_FALSE(committed.empty()) << kCommitted;
    EXPECT_TRUE(made == committed)
        << "samples/demo.swf is stale: run make_demo samples/demo.swf and commit it";
}

TEST(DemoMovie, HeaderIsCompressedStageRateAndCount) {
    const Bytes file = ReadFile(kCommitted);
    ASSERT_GT(file.size(), 8u);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 3), (Bytes{'C', 'W', 'S'}));
    const std::uint32_t length = file[4] | file[5] << 8 | file[6] << 16 | file[7] << 24;
    Bytes body(length - 8);
    uLongf size = body.size();
    ASSERT_EQ(uncompress(body.data(), &size, file.data() + 8, file.size() - 8), Z_OK);
    ASSERT_EQ(size, body.size());
    const Bytes header(body.begin(), body.begin() + 13);
    // 550 x 400 px, 12.0 fps, 120 frames.
    EXPECT_EQ(header, (Bytes{0x78, 0x00, 0x05, 0x5F, 0x00, 0x00, 0x0F, 0xA0, 0x00, 0x00, 0x0C, 0x78,
                             0x00}));
}

}  // namespace
