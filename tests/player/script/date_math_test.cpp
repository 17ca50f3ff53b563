// Date arithmetic on time values: calendar fields across leap years, before 1970 and at the ends
// of the valid range; MakeDay/MakeTime overflow; the toString text and its parse.
#include "player/script/date_math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace player::script {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct FieldsCase {
    double t;
    double year, month, date, weekDay, hour, minute, second, ms;
};

TEST(DateFields, SplitTimeValues) {
    const FieldsCase cases[] = {
        {0, 1970, 0, 1, 4, 0, 0, 0, 0},
        {123456, 1970, 0, 1, 4, 0, 2, 3, 456},
        {-1, 1969, 11, 31, 3, 23, 59, 59, 999},
        {978307200000, 2001, 0, 1, 1, 0, 0, 0, 0},
        {951782400000, 2000, 1, 29, 2, 0, 0, 0, 0},  // a leap day
        {951868800000, 2000, 2, 1, 3, 0, 0, 0, 0},
        {-2203891200000, 1900, 2, 1, 4, 0, 0, 0, 0},  // 1900 has no leap day
        {1585958400000, 2020, 3, 4, 6, 0, 0, 0, 0},
        {1609459199999, 2020, 11, 31, 4, 23, 59, 59, 999},
        {8.64e15, 275760, 8, 13, 6, 0, 0, 0, 0},
        {-8.64e15, -271821, 3, 20, 2, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(YearFromTime(c.t), c.year) << c.t;
        EXPECT_EQ(MonthFromTime(c.t), c.month) << c.t;
        EXPECT_EQ(DateFromTime(c.t), c.date) << c.t;
        EXPECT_EQ(WeekDay(c.t), c.weekDay) << c.t;
        EXPECT_EQ(HourFromTime(c.t), c.hour) << c.t;
        EXPECT_EQ(MinFromTime(c.t), c.minute) << c.t;
        EXPECT_EQ(SecFromTime(c.t), c.second) << c.t;
        EXPECT_EQ(MsFromTime(c.t), c.ms) << c.t;
    }
}

TEST(DateFields, YearLengths) {
    const struct {
        double year;
        double days;
        double dayFromYear;
    } cases[] = {
        {1970, 365, 0},     {1972, 366, 730},  {2000, 366, 10957},   {1900, 365, -25567},
        {2100, 365, 47482}, {1969, 365, -365}, {1600, 366, -135140},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DaysInYear(c.year), c.days) << c.year;
        EXPECT_EQ(DayFromYear(c.year), c.dayFromYear) << c.year;
        EXPECT_EQ(InLeapYear(TimeFromYear(c.year)), c.days == 366) << c.year;
    }
}

TEST(DateFields, DayAndTimeWithinDay) {
    EXPECT_EQ(Day(-1), -1);
    EXPECT_EQ(TimeWithinDay(-1), kMsPerDay - 1);
    EXPECT_EQ(Day(kMsPerDay), 1);
    EXPECT_EQ(TimeWithinDay(kMsPerDay + 5), 5);
}

TEST(DateFields, NonFiniteGivesNaN) {
    for (const double t : {kNaN, kInf, -kInf}) {
        EXPECT_TRUE(std::isnan(YearFromTime(t)));
        EXPECT_TRUE(std::isnan(MonthFromTime(t)));
        EXPECT_TRUE(std::isnan(DateFromTime(t)));
    }
    EXPECT_FALSE(std::isnan(YearFromTime(1e300)));  // bounded, whatever it is
}

struct MakeDayCase {
    double year, month, date;
    double day;
};

TEST(MakeDay, NormalisesMonthAndDate) {
    const MakeDayCase cases[] = {
        {1970, 0, 1, 0},           {2001, 0, 1, 11323},  {2001, 13, 1, 11719},  // February 2002
        {2001, -1, 1, 11292},                                                   // December 2000
        {2001, 0, 0, 11322},                                                    // 31 December 2000
        {2000, 1, 29, 11016},      {2000, 1, 30, 11017},                        // 1 March
        {2001.9, 0.7, 1.5, 11323}, {kNaN, 0, 1, kNaN},   {2001, kInf, 1, kNaN}, {1e9, 0, 1, kNaN},
    };
    for (const auto& c : cases) {
        const double day = MakeDay(c.year, c.month, c.date);
        EXPECT_TRUE((std::isnan(day) && std::isnan(c.day)) || day == c.day)
            << c.year << "-" << c.month << "-" << c.date << " gave " << day;
    }
}

TEST(MakeTime, CombinesIntegerParts) {
    EXPECT_EQ(MakeTime(1, 2, 3, 4), 3723004);
    EXPECT_EQ(MakeTime(1.9, 0, 0, 0), kMsPerHour);
    EXPECT_EQ(MakeTime(0, -1, 0, 0), -kMsPerMinute);
    EXPECT_EQ(MakeTime(25, 0, 0, 0), 25 * kMsPerHour);
    EXPECT_TRUE(std::isnan(MakeTime(kNaN, 0, 0, 0)));
    EXPECT_TRUE(std::isnan(MakeTime(0, 0, 0, kInf)));
    EXPECT_EQ(MakeDate(1, 5), kMsPerDay + 5);
    EXPECT_TRUE(std::isnan(MakeDate(kNaN, 0)));
}

TEST(TimeClip, KeepsValidRangeAsIntegers) {
    const struct {
        double in, out;
    } cases[] = {
        {0, 0},
        {1.7, 1},
        {-1.7, -1},
        {8.64e15, 8.64e15},
        {-8.64e15, -8.64e15},
        {8.64e15 + 1, kNaN},
        {kNaN, kNaN},
        {kInf, kNaN},
    };
    for (const auto& c : cases) {
        const double clipped = TimeClip(c.in);
        EXPECT_TRUE((std::isnan(clipped) && std::isnan(c.out)) || clipped == c.out) << c.in;
    }
    EXPECT_FALSE(std::signbit(TimeClip(-0.0)));
}

struct DateTextCase {
    double t;
    const char* text;
};

TEST(DateToString, WritesPlayerForm) {
    const DateTextCase cases[] = {
        {0, "Thu Jan 1 00:00:00 GMT+0000 1970"},
        {123456, "Thu Jan 1 00:02:03 GMT+0000 1970"},
        {978307200000, "Mon Jan 1 00:00:00 GMT+0000 2001"},
        {1585958400000, "Sat Apr 4 00:00:00 GMT+0000 2020"},
        {1609459199999, "Thu Dec 31 23:59:59 GMT+0000 2020"},
        {-1, "Wed Dec 31 23:59:59 GMT+0000 1969"},
        {kNaN, "Invalid Date"},
    };
    for (const auto& c : cases) EXPECT_EQ(DateToString(c.t), c.text);
}

TEST(ParseDate, ReadsKnownForms) {
    const DateTextCase cases[] = {
        {978307200000, "Mon Jan 1 00:00:00 GMT+0000 2001"},
        {123000, "Thu Jan 1 05:47:03 GMT+0545 1970"},
        {1585983600000, "Sat Apr 4 00:00:00 GMT-0700 2020"},
        {978307200000, "Jan 1 2001"},
        {978307200000, "January 1, 2001"},
        {978344400000, "01/01/2001 10:20"},
        {978344430000, "1/1/2001 10:20:30"},
        {kNaN, ""},
        {kNaN, "garbage"},
        {kNaN, "Jan 2001"},
        {kNaN, "Jan 1 2001 5"},
        {kNaN, "Jan 1 2001 12345678901"},
        {kNaN, "Jan 1 2001 10:"},
        {kNaN, "Invalid Date"},
    };
    for (const auto& c : cases) {
        const double t = ParseDate(c.text);
        EXPECT_TRUE((std::isnan(t) && std::isnan(c.t)) || t == c.t) << c.text << " gave " << t;
    }
}

TEST(ParseDate, ReadsBackWhatToStringWrites) {
    for (double t = -3e12; t < 3e12; t += 7777777000) {
        EXPECT_EQ(ParseDate(DateToString(t)), t) << DateToString(t);
    }
}

}  // namespace
}  // namespace player::script
