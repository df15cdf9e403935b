// Time of day from RMC fields and the zone-rule evaluation.

#include "trip/timecount.h"
#include "trip/timeofday.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace velocimo {
namespace {

class FixedZone : public TimeZoneSource {
public:
    explicit FixedZone(const TimeZoneInformation& zone) : m_zone(zone) {}
    TimeZoneInformation timeZone() override {
        ++calls;
        return m_zone;
    }
    int calls = 0;

private:
    TimeZoneInformation m_zone;
};

SystemTime weekdayRule(int month, int occurrence, int weekday, int hour, int minute = 0) {
    SystemTime r;
    r.month = static_cast<uint16_t>(month);
    r.day = static_cast<uint16_t>(occurrence);
    r.dayOfWeek = static_cast<uint16_t>(weekday);
    r.hour = static_cast<uint16_t>(hour);
    r.minute = static_cast<uint16_t>(minute);
    return r;
}

// bias 480, daylight from the first Sunday of April to the last Sunday of October, 02:00.
TimeZoneInformation pacific2005() {
    TimeZoneInformation z;
    z.bias = 480;
    z.standardBias = 0;
    z.daylightBias = -60;
    z.daylightDate = weekdayRule(4, 1, 0, 2);
    z.standardDate = weekdayRule(10, 5, 0, 2);
    return z;
}

SystemTime at(int y, int mo, int d, int h, int mi, int s = 0) {
    SystemTime t;
    t.year = static_cast<uint16_t>(y);
    t.month = static_cast<uint16_t>(mo);
    t.day = static_cast<uint16_t>(d);
    t.dayOfWeek = static_cast<uint16_t>(dayOfWeek(d, mo, y));
    t.hour = static_cast<uint16_t>(h);
    t.minute = static_cast<uint16_t>(mi);
    t.second = static_cast<uint16_t>(s);
    return t;
}

std::string hms(const SystemTime& t) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    return buf;
}

NavState validFix() {
    NavState nav;
    resetNavState(nav);
    nav.fixValid = true;
    nav.fixDimension = 3;
    return nav;
}

TEST(UpdateClock, TimeTextsAndSecondsOfDay) {
    struct Case {
        double utcTime;
        int32_t utcDate;
        const char* utcText;
        double seconds;
        const char* localText; // in the 2005 Pacific zone
    };
    const Case cases[] = {
        {123519.0, 230394, "12:35:19", 45319.0, "04:35:19"}, // 23 March 2094, standard time
        {235959.99, 230394, "23:59:59", 86399.0, "15:59:59"},
        {0.5, 230394, "00:00:00", 0.0, "16:00:00"},          // the day before, locally
        {120000.0, 10705, "12:00:00", 43200.0, "05:00:00"},  // 1 July 2005, daylight
        {120000.0, 150105, "12:00:00", 43200.0, "04:00:00"}, // 15 January 2005, standard
        {103000.0, 30405, "10:30:00", 37800.0, "03:30:00"},  // first Sunday of April, 02:30 std
        {95959.0, 30405, "09:59:59", 35999.0, "01:59:59"},   // just before the change
        {85959.0, 301005, "08:59:59", 32399.0, "01:59:59"},  // last Sunday of October, PDT
        {90001.0, 301005, "09:00:01", 32401.0, "01:00:01"},  // back to PST
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.utcTime);
        SCOPED_TRACE(c.utcDate);
        FixedZone zone(pacific2005());
        NavState nav = validFix();
        updateClock(nav, &zone, c.utcTime, c.utcDate);
        EXPECT_EQ(nav.utcTimeText.toUtf8(), c.utcText);
        EXPECT_EQ(nav.fixTimeSeconds, c.seconds);
        EXPECT_EQ(nav.localTimeText.toUtf8(), c.localText);
        EXPECT_EQ(zone.calls, 1);
    }
}

TEST(UpdateClock, EveryWholeSecondOfTheDay) {
    // The hhmmss split goes through floating-point products; no second may be misread.
    NavState nav = validFix();
    for (int s = 0; s < 86400; ++s) {
        const int h = s / 3600;
        const int m = s / 60 % 60;
        const int sec = s % 60;
        const double utcTime = h * 10000 + m * 100 + sec + 0.99 * (s % 2);
        updateClock(nav, nullptr, utcTime, 10126);
        char want[32];
        std::snprintf(want, sizeof want, "%02d:%02d:%02d", h, m, sec);
        ASSERT_EQ(nav.utcTimeText.toUtf8(), want) << utcTime;
        ASSERT_EQ(nav.localTimeText.toUtf8(), want) << utcTime; // no zone: local is UTC
        ASSERT_EQ(nav.fixTimeSeconds, static_cast<double>(s));
    }
}

TEST(UpdateClock, LocalTimeOnlyWithValid3dFix) {
    struct Case {
        bool fixValid;
        int32_t dimension;
        const char* localText;
    };
    const Case cases[] = {
        {true, 3, "04:35:19"},        {true, 2, "Calculating..."}, {false, 3, "Calculating..."},
        {false, 0, "Calculating..."}, {true, 1, "Calculating..."},
    };
    for (const Case& c : cases) {
        FixedZone zone(pacific2005());
        NavState nav;
        resetNavState(nav);
        nav.fixValid = c.fixValid;
        nav.fixDimension = c.dimension;
        updateClock(nav, &zone, 123519.0, 230394);
        EXPECT_EQ(nav.localTimeText.toUtf8(), c.localText) << c.fixValid << c.dimension;
        EXPECT_EQ(nav.utcTimeText.toUtf8(), "12:35:19");
        EXPECT_EQ(nav.fixTimeSeconds, 45319.0);
    }
}

TEST(UpdateClock, InvalidDateKeepsCalculating) {
    const int32_t dates[] = {
        0,       // no date yet
        230094,  // month 0
        239994,  // month 99
        1394,    // day 0
        450394,  // day 45
        310494,  // 31 April
        290201,  // 29 February of a common year
        -230394, // negative
        999999,  // day 99, month 99
        std::numeric_limits<int32_t>::max(),
        std::numeric_limits<int32_t>::min(),
        1230394, // seven digits: day 123
    };
    for (int32_t date : dates) {
        FixedZone zone(pacific2005());
        NavState nav = validFix();
        updateClock(nav, &zone, 123519.0, date);
        EXPECT_EQ(nav.localTimeText.toUtf8(), "Calculating...") << date;
        EXPECT_EQ(nav.utcTimeText.toUtf8(), "12:35:19") << date;
        EXPECT_EQ(nav.fixTimeSeconds, 45319.0) << date;
    }
    // 29 February of a leap year is a date.
    NavState nav = validFix();
    updateClock(nav, nullptr, 123519.0, 290204);
    EXPECT_EQ(nav.localTimeText.toUtf8(), "12:35:19");
}

TEST(UpdateClock, GarbageTimeStaysInsideTheText) {
    // Out-of-range times wrap into the 16-bit fields; the text is cut to its 11 characters and
    // the local time is not shown for a time of day that does not exist.
    struct Case {
        double utcTime;
        const char* utcText;
    };
    const Case cases[] = {
        {246000.0, "24:60:00"},
        {-1.0, "00:00:65535"},
        {-123519.0, "65524:65501"},
        {1e300, "65535:65535"},
        {-1e300, "00:00:00"},
        {std::nan(""), "00:00:00"},
        {std::numeric_limits<double>::infinity(), "65535:65535"},
        {999999.0, "99:99:99"},
    };
    for (const Case& c : cases) {
        NavState nav = validFix();
        updateClock(nav, nullptr, c.utcTime, 230394);
        EXPECT_EQ(nav.utcTimeText.toUtf8(), c.utcText) << c.utcTime;
        EXPECT_LE(nav.utcTimeText.size(), 11u);
        if (c.utcTime >= 0.0 && c.utcTime < 240000.0) {
            continue;
        }
        EXPECT_EQ(nav.localTimeText.toUtf8(), "Calculating...") << c.utcTime;
    }
}

TEST(DayOfWeek, KnownDatesAndBadMonths) {
    struct Case {
        int day, month, year, expected;
    };
    const Case cases[] = {
        {23, 3, 2094, 2},  {1, 1, 2000, 6},   {29, 2, 2004, 0},  {1, 1, 1601, 1},
        {31, 12, 2099, 4}, {1, 3, 2100, 1},   {28, 2, 2100, 0},  {9, 12, 2026, 3},
        {1, 0, 2026, -1},  {1, 13, 2026, -1}, {1, 99, 2026, -1}, {1, -5, 2026, -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(dayOfWeek(c.day, c.month, c.year), c.expected)
            << c.day << "." << c.month << "." << c.year;
    }
    // Extreme arguments stay in range (and overflow nothing under the sanitizers).
    const int extremes[] = {std::numeric_limits<int>::min(), -1, 0,
                            std::numeric_limits<int>::max()};
    for (int a : extremes) {
        for (int b : extremes) {
            const int r = dayOfWeek(a, 2, b);
            EXPECT_TRUE(r >= 0 && r <= 6) << a << " " << b;
        }
    }
}

TEST(TimeCount, RoundTripAgreesWithDayOfWeek) {
    // Every day from 1601 to 2400 through both conversions, against Sakamoto's weekday.
    int64_t previous = -kTicksPerSecond; // 1600-12-31 23:59:59
    for (int y = kFirstYear; y <= 2400; ++y) {
        for (int m = 1; m <= 12; ++m) {
            for (int d = 1; d <= monthLength(m, y); ++d) {
                const SystemTime t = at(y, m, d, 23, 59, 59);
                int64_t count = 0;
                ASSERT_TRUE(systemTimeToCount(t, count)) << hms(t);
                ASSERT_EQ(count - previous, kTicksPerDay) << hms(t);
                previous = count;
                SystemTime back;
                ASSERT_TRUE(countToSystemTime(count, back));
                ASSERT_EQ(hms(back), hms(t));
                ASSERT_EQ(back.dayOfWeek, t.dayOfWeek) << hms(t);
            }
        }
    }
}

TEST(TimeCount, RejectsWhatItCannotRepresent) {
    const SystemTime bad[] = {
        at(1600, 12, 31, 0, 0),   at(30828, 1, 1, 0, 0), at(2026, 0, 1, 0, 0),
        at(2026, 13, 1, 0, 0),    at(2026, 2, 29, 0, 0), at(2026, 4, 31, 0, 0),
        at(2026, 1, 0, 0, 0),     at(2026, 1, 1, 24, 0), at(2026, 1, 1, 0, 60),
        at(2026, 1, 1, 0, 0, 60),
    };
    for (const SystemTime& t : bad) {
        int64_t count = 12345;
        EXPECT_FALSE(systemTimeToCount(t, count)) << hms(t);
        EXPECT_EQ(count, 12345);
    }
    SystemTime t;
    EXPECT_FALSE(countToSystemTime(-1, t));
    EXPECT_FALSE(countToSystemTime(std::numeric_limits<int64_t>::max(), t));
    EXPECT_TRUE(countToSystemTime(0, t));
    EXPECT_EQ(hms(t), "1601-01-01 00:00:00");
    int64_t minute = 0;
    ASSERT_TRUE(systemTimeToCount(at(1601, 1, 1, 0, 1), minute));
    EXPECT_EQ(minute, 600000000);
}

TEST(TransitionDate, WeekdayInMonth) {
    struct Case {
        SystemTime time;
        SystemTime rule;
        int expectedDay;
    };
    const Case cases[] = {
        {at(2008, 2, 10, 12, 0), weekdayRule(2, 5, 0, 2), 24}, // leap year: 29th is a Friday
        {at(2009, 2, 27, 12, 0), weekdayRule(2, 5, 0, 2), 22},
        {at(2005, 4, 30, 0, 0), weekdayRule(4, 1, 0, 2), 3},
        {at(2005, 10, 1, 0, 0), weekdayRule(10, 5, 0, 2), 30},
        {at(2026, 3, 1, 0, 0), weekdayRule(3, 2, 0, 2), 8}, // 1 March 2026 is a Sunday
        {at(2026, 3, 31, 0, 0), weekdayRule(3, 5, 0, 1), 29},
        {at(2026, 11, 15, 0, 0), weekdayRule(11, 1, 0, 2), 1},
        {at(2026, 8, 31, 0, 0), weekdayRule(8, 5, 1, 0), 31}, // a fifth Monday exists
        {at(2026, 8, 1, 0, 0), weekdayRule(8, 4, 6, 0), 22},
    };
    for (const Case& c : cases) {
        const SystemTime d = transitionDate(c.time, c.rule);
        EXPECT_EQ(d.day, c.expectedDay) << hms(c.time);
        EXPECT_EQ(d.year, c.time.year);
        EXPECT_EQ(d.month, c.rule.month);
        EXPECT_EQ(d.hour, c.rule.hour);
        EXPECT_EQ(d.dayOfWeek, c.rule.dayOfWeek);
    }
}

TEST(IsAfterTransition, StrictlyLaterOnly) {
    const SystemTime rule = weekdayRule(4, 1, 0, 2); // 3 April 2005
    SystemTime absolute = at(2005, 4, 10, 12, 0);
    struct Case {
        SystemTime time;
        SystemTime rule;
        bool expected;
    };
    const Case cases[] = {
        {at(2005, 3, 31, 23, 59), rule, false},
        {at(2005, 5, 1, 0, 0), rule, true},
        {at(2005, 4, 3, 1, 59, 59), rule, false},
        {at(2005, 4, 3, 2, 0, 0), rule, false},
        {at(2005, 4, 3, 2, 0, 1), rule, true},
        {at(2005, 4, 2, 23, 0), rule, false},
        {at(2005, 4, 10, 12, 0), absolute, false},
        {at(2005, 4, 10, 12, 1), absolute, true},
        {at(2005, 4, 3, 3, 0), weekdayRule(4, 9, 0, 2), false}, // unusable rule
        {at(2005, 4, 3, 3, 0), weekdayRule(4, 1, 7, 2), false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(isAfterTransition(c.time, c.rule), c.expected) << hms(c.time);
    }
}

TEST(UtcToLocalTime, RuleOrderings) {
    TimeZoneInformation noRules = pacific2005();
    noRules.daylightDate.month = 0;
    noRules.standardDate.month = 0;
    noRules.standardBias = 30; // not applied without rules
    TimeZoneInformation onlyOneRule = pacific2005();
    onlyOneRule.standardDate.month = 0;

    // Southern zone: bias -600, daylight from the first Sunday of October to the first
    // Sunday of April, 03:00 daylight time.
    TimeZoneInformation southern;
    southern.bias = -600;
    southern.daylightBias = -60;
    southern.daylightDate = weekdayRule(10, 1, 0, 2);
    southern.standardDate = weekdayRule(4, 1, 0, 3);

    TimeZoneInformation sameMonth = pacific2005();
    sameMonth.standardDate = weekdayRule(4, 4, 0, 2);

    TimeZoneInformation badRule = pacific2005();
    badRule.daylightDate.month = 14;

    struct Case {
        const char* name;
        TimeZoneInformation zone;
        SystemTime utc;
        const char* local;
    };
    const Case cases[] = {
        {"no rules, July", noRules, at(2005, 7, 1, 12, 0), "2005-07-01 04:00:00"},
        {"no rules, January", noRules, at(2005, 1, 15, 12, 0), "2005-01-15 04:00:00"},
        {"one rule month 0", onlyOneRule, at(2005, 7, 1, 12, 0), "2005-07-01 04:00:00"},
        {"north, new year", pacific2005(), at(2006, 1, 1, 7, 30), "2005-12-31 23:30:00"},
        {"south, January", southern, at(2026, 1, 15, 0, 0), "2026-01-15 11:00:00"},
        {"south, July", southern, at(2026, 7, 15, 0, 0), "2026-07-15 10:00:00"},
        {"south, new year", southern, at(2025, 12, 31, 13, 30), "2026-01-01 00:30:00"},
        {"south, April before", southern, at(2026, 4, 4, 15, 59), "2026-04-05 02:59:00"},
        {"south, April after", southern, at(2026, 4, 4, 16, 1), "2026-04-05 02:01:00"},
        {"south, October before", southern, at(2026, 10, 3, 15, 59), "2026-10-04 01:59:00"},
        {"south, October after", southern, at(2026, 10, 3, 16, 1), "2026-10-04 03:01:00"},
        {"same month", sameMonth, at(2005, 4, 10, 12, 0), "2005-04-10 04:00:00"},
        {"unusable rule", badRule, at(2005, 7, 1, 12, 0), "2005-07-01 04:00:00"},
    };
    for (const Case& c : cases) {
        SystemTime local;
        utcToLocalTime(c.zone, c.utc, local);
        EXPECT_EQ(hms(local), c.local) << c.name;
    }
}

TEST(UtcToLocalTime, ExtremesDoNotWrap) {
    // The largest bias still lands inside the count range...
    TimeZoneInformation huge;
    huge.bias = std::numeric_limits<int32_t>::min();
    SystemTime local;
    const SystemTime utc = at(2026, 7, 1, 12, 0);
    int64_t u = 0;
    ASSERT_TRUE(systemTimeToCount(utc, u));
    SystemTime expected;
    ASSERT_TRUE(countToSystemTime(u + 2147483648LL * kTicksPerMinute, expected));
    utcToLocalTime(huge, utc, local);
    EXPECT_EQ(hms(local), hms(expected));
    // ...but not past the last representable year: the UTC time stands in.
    utcToLocalTime(huge, at(30000, 1, 1, 0, 0), local);
    EXPECT_EQ(hms(local), "30000-01-01 00:00:00");
    huge.bias = 0;
    huge.daylightBias = std::numeric_limits<int32_t>::min();
    huge.daylightDate = weekdayRule(3, 5, 0, 2);
    huge.standardDate = weekdayRule(10, 5, 0, 3);
    utcToLocalTime(huge, at(30000, 7, 1, 0, 0), local);
    EXPECT_EQ(hms(local), "30000-07-01 00:00:00");

    TimeZoneInformation before1601;
    before1601.bias = 600;
    utcToLocalTime(before1601, at(1601, 1, 1, 5, 0), local);
    EXPECT_EQ(hms(local), "1601-01-01 05:00:00");

    SystemTime invalid = at(2026, 7, 1, 12, 0);
    invalid.month = 99;
    utcToLocalTime(TimeZoneInformation{}, invalid, local);
    EXPECT_EQ(local.month, 99);
}

} // namespace
} // namespace velocimo
