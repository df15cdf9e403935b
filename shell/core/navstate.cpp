#include "shell/core/navstate.h"

#include <cmath>
#include <limits>

namespace velocimo {

int32_t truncToInt(double x) {
    if (std::isnan(x)) {
        return 0;
    }
    if (x >= 2147483648.0) {
        return std::numeric_limits<int32_t>::max();
    }
    if (x <= -2147483649.0) {
        return std::numeric_limits<int32_t>::min();
    }
    return static_cast<int32_t>(x);
}

namespace {

void resetCoordinate(Coordinate& c) {
    c.degrees = 0;
    c.minutes = 0;
    c.seconds = 0;
    c.dmsText.format(kDmsFormat, 0, 0, 0);
    c.hemisphereText.clear();
    c.decimalDegrees = 0.0;
    c.rawValue = 0.0;
    c.decText.assignUtf8("0.000000");
    // dmmText stays empty until the first sentence with a position.
}

} // namespace

void resetNavState(NavState& nav) {
    resetCoordinate(nav.latitude);
    resetCoordinate(nav.longitude);

    nav.speedKnots = 0.0;
    nav.speed = 0.0;
    nav.speedText.assignUtf8("0.0");
    nav.speedUnitText.assignUtf8("knots");
    nav.topSpeedText.assignUtf8("0.0");
    nav.averageSpeedText.assignUtf8("0.0");
    nav.tripDistanceText.assignUtf8("0.000");
    nav.totalDistanceText.assignUtf8("00000");
    nav.topAvgLineText.clear();
    nav.distanceLineText.clear();

    nav.elevationRaw = 0.0;
    nav.elevation = 0.0;
    nav.elevationText.assignUtf8("0.0m");
    nav.elevationUnitText.assignUtf8("M");
    nav.dataStatusText.assignUtf8("V");
    nav.dataValidText.assignUtf8("No");
    nav.fixQualityText.assignUtf8("No GPS fix");
    nav.satellitesText.assignUtf8("00");
    nav.hdopText.assignUtf8("50.0");

    nav.course = 0.0;
    nav.compassPointText.assignUtf8("*");
    nav.courseText.assignUtf8("0\u00b0");
    nav.variationText.assignUtf8("0\u00b0");

    nav.fixValid = false;

    nav.utcTimeText.assignUtf8("00:00:00");
    nav.localTimeText.assignUtf8("00:00:00");
}

void clearFixStatus(NavState& nav) {
    nav.fixValid = false;
    nav.dataStatusText.assignUtf8("V");
    nav.dataValidText.assignUtf8("No");
    nav.fixQualityText.assignUtf8("No GPS fix");
    nav.fixDimensionText.clear();
    nav.satellitesText.assignUtf8("00");
    nav.hdopText.assignUtf8("50.0");
}

void resetTripDistance(NavState& nav) {
    nav.tripDistance = 0.0;
    nav.averageSpeed = 0.0;
    nav.fixTimeSeconds = 0.0;
    nav.tripElapsedSeconds = 0.0;
    nav.prevFixTimeSeconds = 0.0;
    nav.averageSpeedText.assignUtf8("0.0");
    nav.tripDistanceText.assignUtf8("0.000");
}

void resetTotalDistance(NavState& nav) {
    nav.totalDistance = 0.0;
    nav.totalDistanceWhole = 0;
    nav.totalDistanceText.assignUtf8("00000");
}

void resetTopSpeed(NavState& nav) {
    nav.topSpeed = 0.0;
    nav.topSpeedText.assignUtf8("0.0");
}

} // namespace velocimo
