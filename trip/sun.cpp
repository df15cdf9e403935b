#include "trip/sun.h"

#include "shell/core/civildays.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace velocimo {

namespace {

constexpr double kSecondsPerDay = 86400.0;
constexpr double kUnixEpochJulianDay = 2440587.5;

double radians(double degrees) {
    return degrees * std::numbers::pi / 180.0;
}

double degrees(double radians) {
    return radians * 180.0 / std::numbers::pi;
}

struct SolarPosition {
    double declination;    // radians
    double equationOfTime; // minutes
};

SolarPosition solarPosition(UtcSeconds time) {
    const double julianCentury =
        (time / kSecondsPerDay + kUnixEpochJulianDay - 2451545.0) / 36525.0;
    const double t = julianCentury;
    const double meanLongitude = std::fmod(280.46646 + t * (36000.76983 + t * 0.0003032), 360.0);
    const double meanAnomaly = 357.52911 + t * (35999.05029 - 0.0001537 * t);
    const double eccentricity = 0.016708634 - t * (0.000042037 + 0.0000001267 * t);
    const double m = radians(meanAnomaly);
    const double centre = std::sin(m) * (1.914602 - t * (0.004817 + 0.000014 * t)) +
                          std::sin(2 * m) * (0.019993 - 0.000101 * t) + std::sin(3 * m) * 0.000289;
    const double omega = radians(125.04 - 1934.136 * t);
    const double apparentLongitude = meanLongitude + centre - 0.00569 - 0.00478 * std::sin(omega);
    const double meanObliquity =
        23.0 + (26.0 + (21.448 - t * (46.815 + t * (0.00059 - t * 0.001813))) / 60.0) / 60.0;
    const double obliquity = radians(meanObliquity + 0.00256 * std::cos(omega));

    SolarPosition p{};
    p.declination = std::asin(std::sin(obliquity) * std::sin(radians(apparentLongitude)));
    const double y = std::pow(std::tan(obliquity / 2), 2);
    const double l = radians(meanLongitude);
    p.equationOfTime = 4.0 * degrees(y * std::sin(2 * l) - 2 * eccentricity * std::sin(m) +
                                     4 * eccentricity * y * std::sin(m) * std::cos(2 * l) -
                                     0.5 * y * y * std::sin(4 * l) -
                                     1.25 * eccentricity * eccentricity * std::sin(2 * m));
    return p;
}

// The cosine of the hour angle at which the sun's centre stands at the sunset elevation.
double sunsetHourAngleCosine(double latitude, double declination) {
    const double lat = radians(latitude);
    return (std::sin(radians(kSunsetElevation)) - std::sin(lat) * std::sin(declination)) /
           (std::cos(lat) * std::cos(declination));
}

} // namespace

double solarElevation(UtcSeconds time, double latitude, double longitude) {
    const SolarPosition p = solarPosition(time);
    const double dayStart = std::floor(time / kSecondsPerDay) * kSecondsPerDay;
    const double minutes = (time - dayStart) / 60.0;
    const double trueSolarTime = minutes + p.equationOfTime + 4.0 * longitude;
    const double hourAngle = radians(trueSolarTime / 4.0 - 180.0);
    const double lat = radians(latitude);
    const double cosZenith = std::sin(lat) * std::sin(p.declination) +
                             std::cos(lat) * std::cos(p.declination) * std::cos(hourAngle);
    return 90.0 - degrees(std::acos(std::clamp(cosZenith, -1.0, 1.0)));
}

SunTimes sunTimes(int32_t year, int32_t month, int32_t day, double latitude, double longitude) {
    const double midnight = static_cast<double>(daysFromCivil(year, month, day)) * kSecondsPerDay;
    // The sun moves on between noon and the event: look again at the estimate.
    auto event = [&](double sign, SunTimes::Day& polar) {
        double at = midnight + (720.0 - 4.0 * longitude) * 60.0;
        for (int i = 0; i < 3; ++i) {
            const SolarPosition p = solarPosition(at);
            const double noon = midnight + (720.0 - 4.0 * longitude - p.equationOfTime) * 60.0;
            const double c = sunsetHourAngleCosine(latitude, p.declination);
            if (c > 1.0) {
                polar = SunTimes::Day::AlwaysDown;
                return noon;
            }
            if (c < -1.0) {
                polar = SunTimes::Day::AlwaysUp;
                return noon;
            }
            at = noon + sign * degrees(std::acos(c)) * 4.0 * 60.0;
        }
        return at;
    };
    SunTimes times;
    SunTimes::Day riseDay = SunTimes::Day::RisesAndSets;
    SunTimes::Day setDay = SunTimes::Day::RisesAndSets;
    times.sunrise = event(-1.0, riseDay);
    times.sunset = event(1.0, setDay);
    times.day = riseDay != SunTimes::Day::RisesAndSets ? riseDay : setDay;
    return times;
}

std::optional<UtcSeconds> gpsUtcSeconds(int32_t utcDate, double utcTime) {
    if (utcDate <= 0 || !(utcTime >= 0.0 && utcTime < 240000.0)) {
        return std::nullopt;
    }
    const int32_t day = utcDate / 10000;
    const int32_t month = utcDate / 100 % 100;
    const int32_t year = 2000 + utcDate % 100;
    static constexpr int32_t kMonthDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    if (month < 1 || month > 12 || day < 1 || day > kMonthDays[month - 1] ||
        (month == 2 && day == 29 && !leap)) {
        return std::nullopt;
    }
    const int32_t hour = static_cast<int32_t>(utcTime / 10000.0);
    const int32_t minute = static_cast<int32_t>(utcTime / 100.0) % 100;
    const double second = utcTime - hour * 10000.0 - minute * 100.0;
    if (minute >= 60 || second >= 60.0) {
        return std::nullopt;
    }
    return static_cast<double>(daysFromCivil(year, month, day)) * kSecondsPerDay + hour * 3600.0 +
           minute * 60.0 + second;
}

std::optional<bool> SunFollower::look(const Sky& sky) {
    if (!sky.enabled) {
        m_sunDown.reset();
        return std::nullopt;
    }
    if (!sky.fixValid || !sky.time) {
        return std::nullopt;
    }
    const UtcSeconds now = *sky.time;
    // A clock that went back (a new receiver, a replayed drive) is looked at again at once.
    if (m_sunDown && now >= m_lookedAt && now - m_lookedAt < kLookEvery) {
        return std::nullopt;
    }
    m_lookedAt = now;
    const bool down = sunIsDown(now, sky.latitude, sky.longitude);
    if (m_sunDown == down) {
        return std::nullopt;
    }
    m_sunDown = down;
    return down;
}

} // namespace velocimo
