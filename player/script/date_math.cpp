#include "player/script/date_math.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>

namespace player::script {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Years beyond this are past every valid time value; MakeDay stops there instead of counting.
constexpr double kMaxYearMagnitude = 400000;
constexpr std::array<const char*, 7> kWeekDayNames = {"Sun", "Mon", "Tue", "Wed",
                                                      "Thu", "Fri", "Sat"};
constexpr std::array<const char*, 12> kMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
// Day of the year on which each month starts, in a common year.
constexpr std::array<int, 13> kMonthStarts = {0,   31,  59,  90,  120, 151, 181,
                                              212, 243, 273, 304, 334, 365};
constexpr int kMaxNumberDigits = 9;
constexpr int kYearCorrectionSteps = 4;

double PositiveModulo(double a, double b) {
    const double r = std::fmod(a, b);
    return r < 0 ? r + b : r;
}

double ToInteger(double value) {
    return std::trunc(value);
}

double DayWithinYear(double t) {
    return Day(t) - DayFromYear(YearFromTime(t));
}

double MonthStart(int month, bool leap) {
    return kMonthStarts[static_cast<std::size_t>(month)] + (leap && month >= 2 ? 1 : 0);
}

// ---- Reading dates ---------------------------------------------------------------------------

bool IsAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool StartsWithName(std::string_view word, const char* name) {
    if (word.size() < 3) return false;
    for (std::size_t i = 0; i < 3; ++i) {
        if (Lower(word[i]) != Lower(name[i])) return false;
    }
    return true;
}

template <std::size_t N>
int FindName(std::string_view word, const std::array<const char*, N>& names) {
    for (std::size_t i = 0; i < N; ++i) {
        if (StartsWithName(word, names[i])) return static_cast<int>(i);
    }
    return -1;
}

class DateReader {
  public:
    explicit DateReader(std::string_view text) : text_(text) {}

    double Read() {
        while (SkipSeparators()) {
            const bool ok = IsAlpha(text_[at_]) ? ReadWord() : IsDigit(text_[at_]) && ReadNumber();
            if (!ok) return kNaN;
        }
        if (month_ < 0 || day_ < 0 || std::isnan(year_)) return kNaN;
        const double time = MakeTime(hour_, minute_, second_, 0);
        const double local = MakeDate(MakeDay(year_, month_, day_), time);
        return TimeClip(local - offsetMinutes_ * kMsPerMinute);
    }

  private:
    bool SkipSeparators() {
        while (at_ < text_.size() &&
               (text_[at_] == ' ' || text_[at_] == ',' || text_[at_] == '\t')) {
            ++at_;
        }
        return at_ < text_.size();
    }

    std::string_view TakeWhile(bool (*accept)(char)) {
        const std::size_t start = at_;
        while (at_ < text_.size() && accept(text_[at_])) ++at_;
        return text_.substr(start, at_ - start);
    }

    bool Take(char c) {
        if (at_ >= text_.size() || text_[at_] != c) return false;
        ++at_;
        return true;
    }

    // Up to nine digits; -1 when there are none or more.
    double TakeNumber() {
        const std::string_view digits = TakeWhile(IsDigit);
        if (digits.empty() || digits.size() > kMaxNumberDigits) return -1;
        double value = 0;
        for (const char c : digits) value = value * 10 + (c - '0');
        return value;
    }

    bool ReadWord() {
        const std::string_view word = TakeWhile(IsAlpha);
        if (word == "GMT" || word == "UTC") return ReadOffset();
        if (const int month = FindName(word, kMonthNames); month >= 0) {
            month_ = month;
            return true;
        }
        return FindName(word, kWeekDayNames) >= 0;
    }

    bool ReadOffset() {
        if (at_ >= text_.size() || (text_[at_] != '+' && text_[at_] != '-')) return true;
        const double sign = text_[at_++] == '-' ? -1 : 1;
        const double hhmm = TakeNumber();
        if (hhmm < 0) return false;
        offsetMinutes_ = sign * (std::floor(hhmm / 100) * 60 + std::fmod(hhmm, 100));
        return true;
    }

    bool ReadNumber() {
        const double first = TakeNumber();
        if (first < 0) return false;
        if (Take(':')) return ReadTime(first);
        if (Take('/')) return ReadSlashedDate(first);
        if (day_ < 0) {
            day_ = first;
        } else if (std::isnan(year_)) {
            year_ = first;
        } else {
            return false;
        }
        return true;
    }

    bool ReadTime(double hour) {
        hour_ = hour;
        minute_ = TakeNumber();
        if (minute_ < 0) return false;
        if (Take(':')) {
            second_ = TakeNumber();
            if (second_ < 0) return false;
        }
        return true;
    }

    bool ReadSlashedDate(double month) {
        const double day = TakeNumber();
        if (day < 0 || !Take('/')) return false;
        const double year = TakeNumber();
        if (year < 0) return false;
        month_ = month - 1;
        day_ = day;
        year_ = year;
        return true;
    }

    std::string_view text_;
    std::size_t at_ = 0;
    double month_ = -1, day_ = -1, year_ = kNaN;
    double hour_ = 0, minute_ = 0, second_ = 0;
    double offsetMinutes_ = 0;
};

}  // namespace

double Day(double t) {
    return std::floor(t / kMsPerDay);
}

double TimeWithinDay(double t) {
    return PositiveModulo(t, kMsPerDay);
}

double DaysInYear(double year) {
    if (std::fmod(year, 4) != 0) return 365;
    if (std::fmod(year, 100) != 0) return 366;
    if (std::fmod(year, 400) != 0) return 365;
    return 366;
}

double DayFromYear(double year) {
    return 365 * (year - 1970) + std::floor((year - 1969) / 4) - std::floor((year - 1901) / 100) +
           std::floor((year - 1601) / 400);
}

double TimeFromYear(double year) {
    return kMsPerDay * DayFromYear(year);
}

double YearFromTime(double t) {
    if (!std::isfinite(t)) return kNaN;
    // The average year's length puts the estimate within a year of the answer; the bounded
    // steps keep times too large for whole years from looping.
    double year = std::floor(t / (kMsPerDay * 365.2425)) + 1970;
    for (int step = 0; step < kYearCorrectionSteps && TimeFromYear(year) > t; ++step) --year;
    for (int step = 0; step < kYearCorrectionSteps && TimeFromYear(year + 1) <= t; ++step) ++year;
    return year;
}

bool InLeapYear(double t) {
    return DaysInYear(YearFromTime(t)) == 366;
}

double MonthFromTime(double t) {
    if (!std::isfinite(t)) return kNaN;
    const double day = DayWithinYear(t);
    const bool leap = InLeapYear(t);
    int month = 0;
    while (month < 11 && day >= MonthStart(month + 1, leap)) ++month;
    return month;
}

double DateFromTime(double t) {
    if (!std::isfinite(t)) return kNaN;
    const auto month = static_cast<int>(MonthFromTime(t));
    return DayWithinYear(t) - MonthStart(month, InLeapYear(t)) + 1;
}

double WeekDay(double t) {
    return PositiveModulo(Day(t) + 4, 7);
}

double HourFromTime(double t) {
    return PositiveModulo(std::floor(t / kMsPerHour), 24);
}

double MinFromTime(double t) {
    return PositiveModulo(std::floor(t / kMsPerMinute), 60);
}

double SecFromTime(double t) {
    return PositiveModulo(std::floor(t / kMsPerSecond), 60);
}

double MsFromTime(double t) {
    return PositiveModulo(t, kMsPerSecond);
}

double MakeTime(double hour, double minute, double second, double ms) {
    if (!std::isfinite(hour) || !std::isfinite(minute) || !std::isfinite(second) ||
        !std::isfinite(ms)) {
        return kNaN;
    }
    return ToInteger(hour) * kMsPerHour + ToInteger(minute) * kMsPerMinute +
           ToInteger(second) * kMsPerSecond + ToInteger(ms);
}

double MakeDay(double year, double month, double date) {
    if (!std::isfinite(year) || !std::isfinite(month) || !std::isfinite(date)) return kNaN;
    const double wholeMonth = ToInteger(month);
    const double y = ToInteger(year) + std::floor(wholeMonth / 12);
    if (std::fabs(y) > kMaxYearMagnitude) return kNaN;
    const auto m = static_cast<int>(PositiveModulo(wholeMonth, 12));
    const bool leap = DaysInYear(y) == 366;
    return DayFromYear(y) + MonthStart(m, leap) + ToInteger(date) - 1;
}

double MakeDate(double day, double time) {
    if (!std::isfinite(day) || !std::isfinite(time)) return kNaN;
    return day * kMsPerDay + time;
}

double TimeClip(double t) {
    if (!std::isfinite(t) || std::fabs(t) > kMaxTimeValue) return kNaN;
    return ToInteger(t) + 0.0;
}

double LocalTime(double t) {
    return t;
}

double Utc(double t) {
    return t;
}

std::string DateToString(double t) {
    if (std::isnan(TimeClip(t))) return "Invalid Date";
    const double local = LocalTime(t);
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "%s %s %d %02d:%02d:%02d GMT+0000 %.0f",
                  kWeekDayNames[static_cast<std::size_t>(WeekDay(local))],
                  kMonthNames[static_cast<std::size_t>(MonthFromTime(local))],
                  static_cast<int>(DateFromTime(local)), static_cast<int>(HourFromTime(local)),
                  static_cast<int>(MinFromTime(local)), static_cast<int>(SecFromTime(local)),
                  YearFromTime(local));
    return buffer;
}

double ParseDate(std::string_view text) {
    return DateReader(text).Read();
}

}  // namespace player::script
