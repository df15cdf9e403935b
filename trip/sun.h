#pragma once

// Where the sun stands, for the night scheme that follows it: NOAA's solar position
// formulas (good to about a minute for sunrise and sunset between the polar circles), and
// the once-a-minute decision when to switch.

#include <cstdint>
#include <optional>

namespace velocimo {

// Seconds since 1970-01-01 00:00 UTC.
using UtcSeconds = double;

// The sun's centre this far below the horizon is sunrise or sunset (refraction and the
// sun's radius together).
inline constexpr double kSunsetElevation = -0.833;

// Degrees above the horizon, without refraction. Latitude north and longitude east are
// positive.
double solarElevation(UtcSeconds time, double latitude, double longitude);

inline bool sunIsDown(UtcSeconds time, double latitude, double longitude) {
    return solarElevation(time, latitude, longitude) < kSunsetElevation;
}

struct SunTimes {
    enum class Day { RisesAndSets, AlwaysUp, AlwaysDown };
    Day day = Day::RisesAndSets;
    // Only for RisesAndSets.
    UtcSeconds sunrise = 0;
    UtcSeconds sunset = 0;
};

// Sunrise and sunset of a calendar date in the place's mean solar time: the ones around
// the sun's highest point that day, so they may fall on the UTC day before or after.
SunTimes sunTimes(int32_t year, int32_t month, int32_t day, double latitude, double longitude);

// The receiver's date (ddmmyy, 20yy) and time (hhmmss.ss) as one instant; nothing for a
// date or time that cannot be one.
std::optional<UtcSeconds> gpsUtcSeconds(int32_t utcDate, double utcTime);

// Decides, a tick at a time, when the night scheme follows the sun. Only a change of the
// sun's state switches it, so a tap holds until the next sunrise or sunset; the first look
// (after start, or after the option was turned on) applies the state as it is.
class SunFollower {
public:
    static constexpr UtcSeconds kLookEvery = 60;

    struct Sky {
        bool enabled = false;
        bool fixValid = false;
        double latitude = 0;
        double longitude = 0;
        std::optional<UtcSeconds> time;
    };

    // Whether night (true) or day (false) is to be applied now; nothing when the scheme
    // stays as it is.
    std::optional<bool> look(const Sky& sky);

private:
    std::optional<bool> m_sunDown;
    UtcSeconds m_lookedAt = 0;
};

} // namespace velocimo
