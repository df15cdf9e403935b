// The rule evaluation against the C library's own zone handling: every hour of 2025-2027 in
// five zones of different kinds, with the zone record read from the installed TZif files.

#include "trip/timecount.h"
#include "trip/timeofday.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <set>
#include <string>

namespace velocimo {
namespace {

constexpr int64_t kUnixEpochSeconds = 11644473600LL; // 1601 to 1970

SystemTime fromUnix(time_t t) {
    SystemTime s;
    countToSystemTime((static_cast<int64_t>(t) + kUnixEpochSeconds) * kTicksPerSecond, s);
    return s;
}

std::string text(int y, int mo, int d, int h, int mi, int s) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
    return buf;
}

std::string text(const SystemTime& t) {
    return text(t.year, t.month, t.day, t.hour, t.minute, t.second);
}

std::string libcLocal(time_t t) {
    struct tm tm {};
    localtime_r(&t, &tm);
    return text(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
}

std::string ours(const TimeZoneInformation& zone, time_t t) {
    SystemTime local;
    utcToLocalTime(zone, fromUnix(t), local);
    return text(local);
}

class ZoneCrossCheck : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        m_hadTz = tz != nullptr;
        m_tz = tz ? tz : "";
    }
    void TearDown() override {
        if (m_hadTz) {
            setenv("TZ", m_tz.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

private:
    bool m_hadTz = false;
    std::string m_tz;
};

TEST_F(ZoneCrossCheck, EveryHourOf2025To2027) {
    // The UTC hours where the rule evaluation disagrees with the C library. Each is the very
    // instant of a change: the rules count the change instant itself as still before the
    // change ("strictly later"), so for that one second the old offset is shown.
    struct Zone {
        const char* name;
        std::set<std::string> differing;
    };
    const Zone zones[] = {
        {"Europe/Berlin",
         {"2025-03-30 01:00:00", "2025-10-26 01:00:00", "2026-03-29 01:00:00",
          "2026-10-25 01:00:00", "2027-03-28 01:00:00", "2027-10-31 01:00:00"}},
        {"America/Los_Angeles",
         {"2025-03-09 10:00:00", "2025-11-02 09:00:00", "2026-03-08 10:00:00",
          "2026-11-01 09:00:00", "2027-03-14 10:00:00", "2027-11-07 09:00:00"}},
        {"Australia/Sydney",
         {"2025-04-05 16:00:00", "2025-10-04 16:00:00", "2026-04-04 16:00:00",
          "2026-10-03 16:00:00", "2027-04-03 16:00:00", "2027-10-02 16:00:00"}},
        {"Asia/Kolkata", {}},
        {"America/Sao_Paulo", {}},
    };
    const time_t first = 1735689600; // 2025-01-01 00:00 UTC
    const time_t last = 1830297600;  // 2028-01-01 00:00 UTC
    SystemTimeZoneSource source;
    for (const Zone& zone : zones) {
        SCOPED_TRACE(zone.name);
        setenv("TZ", zone.name, 1);
        tzset();
        const TimeZoneInformation info = source.timeZone();
        std::set<std::string> differing;
        int hours = 0;
        for (time_t t = first; t < last; t += 3600, ++hours) {
            if (ours(info, t) == libcLocal(t)) {
                continue;
            }
            differing.insert(text(fromUnix(t)));
            // Only the instant: a second later both agree, and the instant shows the clock
            // of the second before it moved on by one second.
            EXPECT_EQ(ours(info, t + 1), libcLocal(t + 1)) << text(fromUnix(t));
            SystemTime before;
            utcToLocalTime(info, fromUnix(t - 1), before);
            int64_t count = 0;
            ASSERT_TRUE(systemTimeToCount(before, count));
            SystemTime next;
            ASSERT_TRUE(countToSystemTime(count + kTicksPerSecond, next));
            EXPECT_EQ(ours(info, t), text(next)) << text(fromUnix(t));
        }
        EXPECT_EQ(hours, 26280);
        EXPECT_EQ(differing, zone.differing);
    }
}

} // namespace
} // namespace velocimo
