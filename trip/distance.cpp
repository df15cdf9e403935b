#include "trip/distance.h"

#include <cmath>

namespace velocimo {

double greatCircleDistance(int32_t units, double lat1, double lon1, double lat2, double lon2) {
    const double r = kRadiansPerDegree;
    const double dLat = (lat2 - lat1) * r;
    const double dLon = (lon2 - lon1) * r;
    const double a =
        std::sin(dLon * 0.5) * std::sin(dLon * 0.5) * std::cos(lat2 * r) * std::cos(lat1 * r) +
        std::sin(dLat * 0.5) * std::sin(dLat * 0.5);
    double s = std::sqrt(a);
    if (s > 1.0) {
        s = 1.0; // rounding can push antipodal points just past the domain of asin
    }
    const double nm = std::asin(s) * 2.0 * kDegreesPerRadian * kNauticalMilesPerDegree;
    switch (unitSystemOrKnots(units)) {
    case UnitSystem::Kmh:
        return nm * kKilometresPerNauticalMile;
    case UnitSystem::Mph:
        return nm * kMilesPerNauticalMile;
    case UnitSystem::Knots:
        break;
    }
    return nm;
}

void updateDistance(NavState& nav, int32_t units) {
    // Standing still or without two positions nothing moves, not even the time base.
    if (!(nav.speed >= 2.5) || nav.prevLatitude.degrees <= 0 || nav.latitude.degrees <= 0) {
        return;
    }
    const double d =
        greatCircleDistance(units, nav.latitude.decimalDegrees, nav.longitude.decimalDegrees,
                            nav.prevLatitude.decimalDegrees, nav.prevLongitude.decimalDegrees);
    nav.tripDistance += d;
    nav.totalDistance += d;
    nav.totalDistanceWhole = truncToInt(nav.totalDistance);
    nav.tripDistanceText.format("%05.3lf", nav.tripDistance);
    nav.totalDistanceText.format("%06d", nav.totalDistanceWhole);

    if (nav.prevFixTimeSeconds != 0.0) {
        nav.tripElapsedSeconds += nav.fixTimeSeconds - nav.prevFixTimeSeconds;
        // Two steps within the same second after a restart of the time base: no time has
        // passed yet, and dividing by it would show a non-number.
        if (nav.tripElapsedSeconds != 0.0) {
            nav.averageSpeed = nav.tripDistance * 3600.0 / nav.tripElapsedSeconds;
            if (nav.averageSpeed < 0) {
                nav.averageSpeed *= -1.0;
            }
        }
    }
    nav.prevFixTimeSeconds = nav.fixTimeSeconds;
    nav.averageSpeedText.format("%3.1lf", nav.averageSpeed);
}

} // namespace velocimo
