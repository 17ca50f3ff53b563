#include "platform/surface.h"

#include <gtest/gtest.h>

TEST(Surface, AllocatesZeroedPremultipliedRows) {
    CSurface s(10, 3);
    ASSERT_TRUE(s.IsValid());
    EXPECT_EQ(s.Stride(), 40);
    EXPECT_EQ(s.Row(2)[9], 0u);
    s.Fill(0xFF102030u);
    EXPECT_EQ(s.Row(0)[0], 0xFF102030u);
    EXPECT_EQ(s.Row(2)[9], 0xFF102030u);
}

TEST(Surface, RefusesEmptyAndAbsurdSizes) {
    EXPECT_FALSE(CSurface(0, 10).IsValid());
    EXPECT_FALSE(CSurface(10, -1).IsValid());
    EXPECT_FALSE(CSurface(100000, 100000).IsValid());
    EXPECT_EQ(CSurface(0, 10).Width(), 0);
}
