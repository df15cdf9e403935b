#pragma once

// Calendar time as a signed count of 100-ns units since 1601-01-01 00:00, the time base of the
// zone rules. Pure arithmetic: no libc time functions, no locale, no allocation.

#include "trip/timeofday.h"

#include <cstdint>

namespace velocimo {

inline constexpr int64_t kTicksPerSecond = 10000000;
inline constexpr int64_t kTicksPerMinute = 60 * kTicksPerSecond; // 600000000
inline constexpr int64_t kTicksPerDay = 1440 * kTicksPerMinute;

// Convertible range: 1601-01-01 to 30827-12-31.
inline constexpr int kFirstYear = 1601;
inline constexpr int kLastYear = 30827;

bool isLeapYear(int year);
// 0 for a month outside 1..12.
int monthLength(int month, int year);

// Fails (false, count untouched) when a field is out of range: year 1601..30827, month 1..12,
// day 1..month length, hour < 24, minute < 60, second < 60, milliseconds < 1000. The day of
// week is not looked at.
bool systemTimeToCount(const SystemTime& time, int64_t& count);
// Fails for a count before 1601 or after 30827; fills the day of week.
bool countToSystemTime(int64_t count, SystemTime& time);

} // namespace velocimo
