// Time arithmetic for the Date object on milliseconds since 1970 (ECMAScript's time values), the
// text Date.prototype.toString writes, and the parse Date.parse does of that text.
// Local time is UTC: movies play in one fixed zone so that what they draw never depends on the
// machine converting them.
#pragma once

#include <string>
#include <string_view>

namespace player::script {

inline constexpr double kMsPerDay = 86400000.0;
inline constexpr double kMsPerHour = 3600000.0;
inline constexpr double kMsPerMinute = 60000.0;
inline constexpr double kMsPerSecond = 1000.0;
// Time values farther than this from 1970 are invalid.
inline constexpr double kMaxTimeValue = 8.64e15;

double Day(double t);
double TimeWithinDay(double t);
double DaysInYear(double year);
double DayFromYear(double year);
double TimeFromYear(double year);
double YearFromTime(double t);
bool InLeapYear(double t);
// 0 for January.
double MonthFromTime(double t);
// 1 for the first of the month.
double DateFromTime(double t);
// 0 for Sunday.
double WeekDay(double t);
double HourFromTime(double t);
double MinFromTime(double t);
double SecFromTime(double t);
double MsFromTime(double t);

// Each gives NaN when an argument is not finite.
double MakeTime(double hour, double minute, double second, double ms);
double MakeDay(double year, double month, double date);
double MakeDate(double day, double time);
// NaN outside ±8.64e15 ms, else the value truncated to an integer.
double TimeClip(double t);

// The engine's zone is UTC, so both are the identity; they mark where the conversions belong.
double LocalTime(double t);
double Utc(double t);

// "Mon Jan 1 00:00:00 GMT+0000 2001"; "Invalid Date" for NaN and times out of range.
std::string DateToString(double t);

// Reads what DateToString writes (any "GMT+hhmm" offset), "Mon DD YYYY [HH:MM[:SS]]" and
// "MM/DD/YYYY [HH:MM[:SS]]"; NaN for anything else.
double ParseDate(std::string_view text);

}  // namespace player::script
