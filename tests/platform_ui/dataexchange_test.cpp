#include "platform/dataexchange.h"

#include <gtest/gtest.h>

#include <climits>

struct ParseCase {
    const char* text;
    std::optional<int> value;
};

class ParseEditIntegerTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseEditIntegerTest, ReadsLikeTheFramework) {
    EXPECT_EQ(ParseEditInteger(QString::fromUtf8(GetParam().text)), GetParam().value)
        << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseEditIntegerTest,
    ::testing::Values(ParseCase{"12", 12}, ParseCase{"-12", -12}, ParseCase{"+7", 7},
                      ParseCase{" \t 42 \t", 42}, ParseCase{"", std::nullopt},
                      ParseCase{"   ", std::nullopt}, ParseCase{"abc", std::nullopt},
                      ParseCase{"12a", std::nullopt}, ParseCase{"1 2", std::nullopt},
                      ParseCase{"0x10", std::nullopt}, ParseCase{"1.5", std::nullopt},
                      ParseCase{"-", std::nullopt}, ParseCase{"\n5", std::nullopt},
                      ParseCase{"99999999999", INT_MAX}, ParseCase{"-99999999999", INT_MIN},
                      // Only the first 31 characters are read.
                      ParseCase{"7                              junk", 7},
                      ParseCase{"                               7", std::nullopt}));
