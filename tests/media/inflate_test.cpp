#include "player/media/inflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <vector>

namespace {

std::vector<std::uint8_t> Compress(const std::vector<std::uint8_t>& data) {
    uLongf size = compressBound(data.size());
    std::vector<std::uint8_t> out(size);
    EXPECT_EQ(compress(out.data(), &size, data.data(), data.size()), Z_OK);
    out.resize(size);
    return out;
}

constexpr std::size_t kHugeLimit = 256u << 20;  // what an 8192 x 8192 ARGB bitmap needs

TEST(InflateCapped, ShortStreamUnderHugeLimitTakesMemoryForWhatItHolds) {
    const std::vector<std::uint8_t> zipped = Compress(std::vector<std::uint8_t>(100, 7));
    std::vector<std::uint8_t> out;
    EXPECT_EQ(media::InflateCapped(zipped, kHugeLimit, out), media::InflateStatus::kOk);
    EXPECT_EQ(out, std::vector<std::uint8_t>(100, 7));
    EXPECT_LT(out.capacity(), 1u << 20);
}

TEST(InflateCapped, CutStreamUnderHugeLimitIsTruncatedWithoutTakingTheLimit) {
    std::vector<std::uint8_t> zipped = Compress(std::vector<std::uint8_t>(5000, 1));
    zipped.resize(6);
    std::vector<std::uint8_t> out;
    EXPECT_EQ(media::InflateCapped(zipped, kHugeLimit, out), media::InflateStatus::kTruncated);
    EXPECT_LT(out.capacity(), 1u << 20);
}

TEST(InflateCapped, StreamLongerThanTheLimitStopsExactlyAtIt) {
    std::vector<std::uint8_t> data(300000);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 31);
    std::vector<std::uint8_t> out;
    EXPECT_EQ(media::InflateCapped(Compress(data), 200001, out), media::InflateStatus::kOk);
    ASSERT_EQ(out.size(), 200001u);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), data.begin()));
    EXPECT_EQ(media::InflateCapped(Compress(data), 400000, out), media::InflateStatus::kOk);
    EXPECT_EQ(out, data);
}

}  // namespace
