// Capped inflation: exact sizes, limits, and broken streams.
#include "player/media/inflate.h"

#include <gtest/gtest.h>

#include "tests/media/encoders.h"

namespace media {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Counting(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    return bytes;
}

TEST(InflateCapped, GrowsToTheWholeStreamWithinTheLimit) {
    const Bytes original = Counting(3'000'000);  // well past the first output chunk
    Bytes out;
    EXPECT_EQ(InflateCapped(testing::Deflate(original), 8'000'000, out), InflateStatus::kOk);
    EXPECT_EQ(out, original);
}

TEST(InflateCapped, StopsAtTheLimit) {
    const Bytes original = Counting(100'000);
    Bytes out;
    EXPECT_EQ(InflateCapped(testing::Deflate(original), 1000, out), InflateStatus::kOk);
    EXPECT_EQ(out, Bytes(original.begin(), original.begin() + 1000));
}

TEST(InflateCapped, ShortAndBrokenStreams) {
    Bytes packed = testing::Deflate(Counting(100'000));
    Bytes out;
    packed.resize(packed.size() / 2);
    EXPECT_EQ(InflateCapped(packed, 200'000, out), InflateStatus::kTruncated);
    EXPECT_LT(out.size(), 100'000u);
    EXPECT_EQ(InflateCapped(Bytes{1, 2, 3, 4, 5}, 100, out), InflateStatus::kCorrupt);
    EXPECT_EQ(InflateCapped(Bytes{}, 100, out), InflateStatus::kTruncated);
    EXPECT_TRUE(out.empty());
}


constexpr std::size_t kHugeLimit = 256u << 20;  // what an 8192 x 8192 ARGB bitmap needs

TEST(InflateCapped, ShortStreamUnderHugeLimitTakesMemoryForWhatItHolds) {
    Bytes out;
    EXPECT_EQ(InflateCapped(testing::Deflate(Bytes(100, 7)), kHugeLimit, out), InflateStatus::kOk);
    EXPECT_EQ(out, Bytes(100, 7));
    EXPECT_LT(out.capacity(), 1u << 20);
}

TEST(InflateCapped, CutStreamUnderHugeLimitIsTruncatedWithoutTakingTheLimit) {
    Bytes zipped = testing::Deflate(Bytes(5000, 1));
    zipped.resize(6);
    Bytes out;
    EXPECT_EQ(InflateCapped(zipped, kHugeLimit, out), InflateStatus::kTruncated);
    EXPECT_LT(out.capacity(), 1u << 20);
}

}  // namespace
}  // namespace media
