#include "trip/sun.h"

#include "shell/core/civildays.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <utility>

namespace velocimo {
namespace {

UtcSeconds utc(int32_t year, int32_t month, int32_t day, int hour, int minute, int second) {
    return static_cast<double>(daysFromCivil(year, month, day)) * 86400.0 + hour * 3600.0 +
           minute * 60.0 + second;
}

// References from PyEphem 4.1.4 (Debian's python3-ephem, libastro's own theory, not NOAA's):
// the sun's centre at -0°50', no refraction model, searched from local mean midnight. The
// Reykjavik December times agree with the University of Iceland Almanac as published
// (11:22 and 15:29-15:31).
TEST(Sun, SunriseAndSunsetWithinTwoMinutesOfTheAlmanac) {
    struct Case {
        const char* place;
        double latitude;
        double longitude;
        int32_t month;
        UtcSeconds sunrise;
        UtcSeconds sunset;
    };
    const Case cases[] = {
        {"Munich", 48.1374, 11.5755, 6, utc(2026, 6, 21, 3, 13, 27), utc(2026, 6, 21, 19, 17, 34)},
        {"Munich", 48.1374, 11.5755, 12, utc(2026, 12, 21, 7, 1, 14),
         utc(2026, 12, 21, 15, 22, 15)},
        {"Sydney", -33.8688, 151.2093, 6, utc(2026, 6, 20, 20, 59, 58),
         utc(2026, 6, 21, 6, 53, 49)},
        {"Sydney", -33.8688, 151.2093, 12, utc(2026, 12, 20, 18, 40, 39),
         utc(2026, 12, 21, 9, 5, 24)},
        {"Reykjavik", 64.1466, -21.9426, 6, utc(2026, 6, 21, 2, 55, 12),
         utc(2026, 6, 22, 0, 3, 58)},
        {"Reykjavik", 64.1466, -21.9426, 12, utc(2026, 12, 21, 11, 22, 22),
         utc(2026, 12, 21, 15, 29, 22)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.place) + " " + std::to_string(c.month));
        const SunTimes t = sunTimes(2026, c.month, 21, c.latitude, c.longitude);
        ASSERT_EQ(t.day, SunTimes::Day::RisesAndSets);
        EXPECT_NEAR(t.sunrise, c.sunrise, 120.0);
        EXPECT_NEAR(t.sunset, c.sunset, 120.0);
        // The elevation agrees: down five minutes before sunrise and after sunset, up within.
        EXPECT_TRUE(sunIsDown(c.sunrise - 300, c.latitude, c.longitude));
        EXPECT_FALSE(sunIsDown(c.sunrise + 300, c.latitude, c.longitude));
        EXPECT_FALSE(sunIsDown(c.sunset - 300, c.latitude, c.longitude));
        EXPECT_TRUE(sunIsDown(c.sunset + 300, c.latitude, c.longitude));
    }
    // Tromsø has midnight sun and polar night.
    EXPECT_EQ(sunTimes(2026, 6, 21, 69.65, 18.96).day, SunTimes::Day::AlwaysUp);
    EXPECT_EQ(sunTimes(2026, 12, 21, 69.65, 18.96).day, SunTimes::Day::AlwaysDown);
}

TEST(Sun, ReceiverDateAndTime) {
    EXPECT_EQ(gpsUtcSeconds(210626, 191734.5), utc(2026, 6, 21, 19, 17, 34) + 0.5);
    EXPECT_EQ(gpsUtcSeconds(290228, 235959.0), utc(2028, 2, 29, 23, 59, 59));
    // No leap year, no 31 June, no 13th month, no date, no hour 24, no minute 60.
    const std::pair<int32_t, double> invalid[] = {{290226, 0}, {310626, 0},      {211326, 0},
                                                  {0, 0},      {210626, 240000}, {210626, 126000}};
    for (const auto& [date, time] : invalid) {
        EXPECT_EQ(gpsUtcSeconds(date, time), std::nullopt) << date << " " << time;
    }
}

// Munich on 21 June: sunrise 03:13, sunset 19:17 UTC.
TEST(Sun, FollowerSwitchesOnlyWhenTheSunDoes) {
    struct Step {
        UtcSeconds time;
        bool enabled;
        bool fixValid;
        std::optional<bool> night;
    };
    const UtcSeconds day = utc(2026, 6, 21, 0, 0, 0);
    const auto at = [day](int hour, int minute, int second = 0) {
        return day + hour * 3600.0 + minute * 60.0 + second;
    };
    const Step steps[] = {
        {at(12, 0), false, true, std::nullopt}, // off: nothing
        {at(12, 0), true, false, std::nullopt}, // no fix: nothing
        {at(12, 0), true, true, false},         // the first look applies day
        {at(12, 0, 59), true, true, std::nullopt},
        {at(19, 15), true, true, std::nullopt}, // still day, whatever a tap chose
        {at(19, 15, 40), true, true, std::nullopt},
        {at(19, 16, 20), true, true, std::nullopt}, // too soon after the last look
        {at(19, 20), true, true, true},             // sunset
        {at(23, 0), true, true, std::nullopt},
        {at(27, 20), true, true, false}, // sunrise
        {at(28, 0), false, true, std::nullopt},
        {at(28, 0, 30), true, true, false}, // turned on again: applied again
        {at(20, 0), true, true, true},      // the clock went back: looked at at once
    };
    SunFollower follower;
    for (const Step& s : steps) {
        SCOPED_TRACE((s.time - day) / 60);
        EXPECT_EQ(follower.look({s.enabled, s.fixValid, 48.1374, 11.5755, s.time}), s.night);
    }
    // Without a date from the receiver there is nothing to go by.
    SunFollower fresh;
    EXPECT_EQ(fresh.look({true, true, 48.1374, 11.5755, std::nullopt}), std::nullopt);
}

} // namespace
} // namespace velocimo
