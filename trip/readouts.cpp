#include "trip/readouts.h"

#include "shell/core/units.h"

namespace velocimo {

void updateSpeed(NavState& nav, int32_t units, double knots) {
    // A receiver's garbage, not a speed: read it as standing still.
    if (knots > 1500.0) {
        knots = 0.0;
    }
    switch (unitSystemOrKnots(units)) {
    case UnitSystem::Kmh:
        nav.speed = knots * kKmhPerKnot;
        nav.speedUnitText.assignUtf8("km/h");
        break;
    case UnitSystem::Mph:
        nav.speed = knots * kMphPerKnot;
        nav.speedUnitText.assignUtf8("mph");
        break;
    case UnitSystem::Knots:
        nav.speed = knots;
        nav.speedUnitText.assignUtf8("knots");
        break;
    }
    if (nav.speed > nav.topSpeed) {
        nav.topSpeed = nav.speed;
        formatReadout(nav.topSpeedText, nav.topSpeed);
    }
    formatReadout(nav.speedText, nav.speed);
}

void updateUnitLabels(NavState& nav, int32_t units) {
    // An unknown stored number leaves the labels as they are.
    const std::optional<UnitSystem> system = unitSystemFrom(units);
    if (!system) {
        return;
    }
    switch (*system) {
    case UnitSystem::Knots:
        nav.speedUnitText.assignUtf8("knots");
        nav.distanceUnitText.assignUtf8("nm");
        break;
    case UnitSystem::Kmh:
        nav.speedUnitText.assignUtf8("km/h");
        nav.distanceUnitText.assignUtf8("km");
        break;
    case UnitSystem::Mph:
        nav.speedUnitText.assignUtf8("mph");
        nav.distanceUnitText.assignUtf8("mi");
        break;
    }
}

void updateCompass(NavState& nav, double course) {
    double x = course;
    if (x > 360.0 || x < 0.0) {
        x = 0.0;
    }
    static constexpr const char* kPoints[] = {"N", "NE", "E", "SE", "S", "SW", "W", "NW"};
    // Sectors are closed below; 337.5 up to 360 wraps round to north.
    int sector = 0;
    for (double bound = 22.5; sector < 8 && x >= bound; bound += 45.0) {
        ++sector;
    }
    nav.compassPointText.assignUtf8(kPoints[sector % 8]);
    if (x != 0.0) {
        nav.courseText.format("%3.0f\u00b0", x);
    } else {
        nav.courseText.assignUtf8("0\u00b0");
    }
}

} // namespace velocimo
