#pragma once

// GPS time of day, the seconds-of-day time base and the local time from the zone rules.

#include "shell/core/filedescriptor.h"
#include "shell/core/navstate.h"
#include "shell/core/systemtime.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace velocimo {

// The device time zone. UTC = local + bias (minutes). A rule with month 0 means no daylight
// saving; a rule with year 0 is "occurrence `day` (1..5, 5 = last) of weekday `dayOfWeek` in
// `month`, at the local clock time hour:minute:second"; a non-zero year is an absolute date.
struct TimeZoneInformation {
    int32_t bias = 0;
    char16_t standardName[32] = {};
    SystemTime standardDate;
    int32_t standardBias = 0;
    char16_t daylightName[32] = {};
    SystemTime daylightDate;
    int32_t daylightBias = 0;
};

// Where the handlers get the current zone; asked on every RMC sentence.
class TimeZoneSource {
public:
    virtual ~TimeZoneSource() = default;
    virtual TimeZoneInformation timeZone() = 0;
};

// The system zone: the TZ variable, else /etc/localtime. Cached by TZ value and file identity;
// the file's identity is looked at no more than once a second, so asking on every sentence
// costs two getenv calls while TZ stays the same, and a changed zone file is seen within a
// second.
class SystemTimeZoneSource : public TimeZoneSource {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr Clock::duration kRecheck = std::chrono::seconds(1);

    // now replaces the monotonic clock (tests).
    explicit SystemTimeZoneSource(std::function<Clock::time_point()> now = {});
    TimeZoneInformation timeZone() override;

private:
    std::function<Clock::time_point()> m_now;
    std::mutex m_mutex;
    bool m_known = false;
    Clock::time_point m_checkedAt;
    // What the last full look was made for; a change of either looks again at once.
    bool m_tzSet = false;
    std::string m_tz;
    bool m_tzDirSet = false;
    std::string m_tzDir;
    TimeZoneInformation m_info;
    // The kernel's word that the zone file may have changed, so that the check each second
    // reads a descriptor instead of walking the path; closed where it cannot watch (the file
    // is then looked at each second).
    FileDescriptor m_watch;
    int m_year = 0; // UTC, at the last look: some zones' rules depend on it
    void watch(const char* tz);
    bool watchedChange();
};

// zone may be null: local time is then UTC.
void updateClock(NavState& nav, TimeZoneSource* zone, double utcTime, int32_t utcDate);
// 0 = Sunday; -1 for a month outside 1..12.
int dayOfWeek(int day, int month, int year);
void utcToLocalTime(const TimeZoneInformation& zone, const SystemTime& utc, SystemTime& local);
bool isAfterTransition(const SystemTime& time, const SystemTime& rule);
SystemTime transitionDate(const SystemTime& time, const SystemTime& rule);

} // namespace velocimo
