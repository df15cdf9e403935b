#include "trip/timeofday.h"

#include "shell/core/civildays.h"
#include "trip/timecount.h"

namespace velocimo {

namespace {

constexpr int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

constexpr int64_t kEpochDays = daysFromCivil(1601, 1, 1);
constexpr int64_t kLastCount = (daysFromCivil(kLastYear + 1, 1, 1) - kEpochDays) * kTicksPerDay - 1;

// A shift by a bias in minutes; false where the result would leave the 64-bit range.
bool shiftByMinutes(int64_t count, int32_t minutes, int64_t& result) {
    const int64_t delta = static_cast<int64_t>(minutes) * kTicksPerMinute;
    return !__builtin_sub_overflow(count, delta, &result);
}

bool validDate(int day, int month, int year) {
    return month >= 1 && month <= 12 && day >= 1 && day <= monthLength(month, year);
}

// A rule the evaluation can use without leaving its tables.
bool usableRule(const SystemTime& rule) {
    if (rule.month < 1 || rule.month > 12 || rule.hour > 23 || rule.minute > 59 ||
        rule.second > 59 || rule.milliseconds > 999) {
        return false;
    }
    if (rule.year != 0) {
        return validDate(rule.day, rule.month, rule.year);
    }
    return rule.day >= 1 && rule.day <= 5 && rule.dayOfWeek <= 6;
}

} // namespace

bool isLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int monthLength(int month, int year) {
    if (month < 1 || month > 12) {
        return 0;
    }
    if (month == 2 && isLeapYear(year)) {
        return 29;
    }
    return kMonthDays[month - 1];
}

bool systemTimeToCount(const SystemTime& time, int64_t& count) {
    if (time.year < kFirstYear || time.year > kLastYear ||
        !validDate(time.day, time.month, time.year) || time.hour > 23 || time.minute > 59 ||
        time.second > 59 || time.milliseconds > 999) {
        return false;
    }
    const int64_t days = daysFromCivil(time.year, time.month, time.day) - kEpochDays;
    const int64_t seconds = (time.hour * 60 + time.minute) * 60 + time.second;
    count = days * kTicksPerDay + seconds * kTicksPerSecond +
            static_cast<int64_t>(time.milliseconds) * 10000;
    return true;
}

bool countToSystemTime(int64_t count, SystemTime& time) {
    if (count < 0 || count > kLastCount) {
        return false;
    }
    const int64_t days = count / kTicksPerDay;
    int64_t rest = count % kTicksPerDay;
    const CivilDate date = civilFromDays(days + kEpochDays);

    time.year = static_cast<uint16_t>(date.year);
    time.month = static_cast<uint16_t>(date.month);
    time.day = static_cast<uint16_t>(date.day);
    // 1601-01-01 was a Monday.
    time.dayOfWeek = static_cast<uint16_t>((days + 1) % 7);
    time.hour = static_cast<uint16_t>(rest / (3600 * kTicksPerSecond));
    rest %= 3600 * kTicksPerSecond;
    time.minute = static_cast<uint16_t>(rest / kTicksPerMinute);
    rest %= kTicksPerMinute;
    time.second = static_cast<uint16_t>(rest / kTicksPerSecond);
    rest %= kTicksPerSecond;
    time.milliseconds = static_cast<uint16_t>(rest / 10000);
    return true;
}

int dayOfWeek(int day, int month, int year) {
    static constexpr int t[12] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    if (month < 1 || month > 12) {
        return -1;
    }
    // 64-bit so that no year or day can overflow the sum.
    int64_t y = year;
    if (month < 3) {
        y -= 1;
    }
    const int64_t r = (y + y / 4 - y / 100 + y / 400 + t[month - 1] + day) % 7;
    return static_cast<int>(r < 0 ? r + 7 : r);
}

SystemTime transitionDate(const SystemTime& time, const SystemTime& rule) {
    SystemTime result = rule;
    result.year = time.year;
    const int n = rule.day;
    int day = 7 * n - 6 + ((time.day - time.dayOfWeek + rule.dayOfWeek + 6) % 7);
    const int length = monthLength(rule.month, time.year);
    if (day > length) {
        day -= 7;
    }
    result.day = static_cast<uint16_t>(day > 0 ? day : 0);
    return result;
}

bool isAfterTransition(const SystemTime& time, const SystemTime& rule) {
    if (time.month != rule.month) {
        return time.month > rule.month;
    }
    if (!usableRule(rule)) {
        return false;
    }
    const SystemTime concrete = rule.year != 0 ? rule : transitionDate(time, rule);
    int64_t timeCount = 0;
    int64_t ruleCount = 0;
    if (!systemTimeToCount(time, timeCount) || !systemTimeToCount(concrete, ruleCount)) {
        return false;
    }
    return timeCount > ruleCount;
}

void utcToLocalTime(const TimeZoneInformation& zone, const SystemTime& utc, SystemTime& local) {
    int64_t u = 0;
    int64_t l = 0;
    int64_t d = 0;
    SystemTime cs;
    SystemTime cd;
    // A time or zone outside the convertible range has no local time: the UTC time stands in.
    if (!systemTimeToCount(utc, u) || !shiftByMinutes(u, zone.bias, l) ||
        !countToSystemTime(l, cs)) {
        local = utc;
        return;
    }
    const bool haveDaylight = shiftByMinutes(l, zone.daylightBias, d) && countToSystemTime(d, cd);

    const SystemTime& ds = zone.daylightDate;
    const SystemTime& ss = zone.standardDate;
    if (ss.month == 0 || ds.month == 0 || !haveDaylight) {
        local = cs;
        return;
    }
    // A record whose rules cannot be evaluated keeps standard time all year.
    bool daylight = false;
    if (usableRule(ds) && usableRule(ss)) {
        if (ds.month < ss.month) {
            daylight =
                cd.month >= cs.month && isAfterTransition(cs, ds) && !isAfterTransition(cd, ss);
        } else if (ds.month > ss.month) {
            daylight = !isAfterTransition(cd, ss) || isAfterTransition(cs, ds);
        }
    }
    int64_t result = 0;
    if (!shiftByMinutes(l, daylight ? zone.daylightBias : zone.standardBias, result) ||
        !countToSystemTime(result, local)) {
        local = cs;
    }
}

void updateClock(NavState& nav, TimeZoneSource* zone, double utcTime, int32_t utcDate) {
    // Garbage fields wrap into the 16-bit fields; the products below stay inside int.
    const uint16_t hour = static_cast<uint16_t>(truncToInt(utcTime * 0.0001));
    const uint16_t minute = static_cast<uint16_t>(truncToInt((utcTime - hour * 10000) * 0.01));
    const uint16_t second =
        static_cast<uint16_t>(truncToInt(utcTime - (hour * 100 + minute) * 100));

    const int32_t day = utcDate / 10000;
    const int32_t month = (utcDate - day * 10000) / 100;
    const int32_t year = 2000 + (utcDate - day * 10000 - month * 100);
    const bool dateValid = utcDate > 0 && validDate(day, month, year);

    nav.fixTimeSeconds = static_cast<double>((hour * 60 + minute) * 60 + second);

    bool localValid = false;
    SystemTime local;
    // NaN and negative times fail here too, although they wrap to a plausible text.
    const bool timeValid = utcTime >= 0.0 && utcTime < 240000.0 && minute < 60 && second < 60;
    if (dateValid && timeValid) {
        SystemTime utc;
        utc.year = static_cast<uint16_t>(year);
        utc.month = static_cast<uint16_t>(month);
        utc.day = static_cast<uint16_t>(day);
        utc.dayOfWeek = static_cast<uint16_t>(dayOfWeek(day, month, year));
        utc.hour = hour;
        utc.minute = minute;
        utc.second = second;
        const TimeZoneInformation tz = zone ? zone->timeZone() : TimeZoneInformation{};
        utcToLocalTime(tz, utc, local);
        localValid = true;
    }

    if (nav.fixValid && nav.fixDimension == 3 && localValid) {
        nav.localTimeText.format("%02d:%02d:%02d", local.hour, local.minute, local.second);
    } else {
        nav.localTimeText.assignUtf8("Calculating...");
    }
    nav.utcTimeText.format("%02d:%02d:%02d", hour, minute, second);
}

} // namespace velocimo
