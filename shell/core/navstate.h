#pragma once

// The live record: everything the program knows about the current GPS connection,
// with a ready-to-draw text for nearly every value.

#include "shell/core/fixedtext.h"

#include <cstdint>

namespace velocimo {

// A double to a 32-bit integer by dropping the fraction (toward zero). Defined for every
// double: values outside the int32 range saturate and NaN gives 0.
int32_t truncToInt(double x);

// Degrees, minutes and seconds of a coordinate; the hemisphere letter is appended to it.
inline constexpr const char* kDmsFormat = "%d° %d' %d\"";

struct Coordinate {
    int32_t degrees = 0;
    int32_t minutes = 0;
    int32_t seconds = 0;
    FixedText<15> dmsText;
    FixedText<3> hemisphereText;
    double rawValue = 0.0;
    double decimalDegrees = 0.0;
    FixedText<15> decText;
    FixedText<17> dmmText;
};

struct NavState {
    // Connection flags.
    bool gpsConnected = false;
    bool fixValid = false;

    // Position and time.
    Coordinate latitude;
    Coordinate longitude;
    Coordinate prevLatitude;
    Coordinate prevLongitude;
    FixedText<4> dataStatusText;
    FixedText<8> dataValidText;
    double utcTime = 0.0;
    int32_t utcDate = 0;
    double fixTimeSeconds = 0.0;
    double prevFixTimeSeconds = 0.0;
    FixedText<12> utcTimeText;
    FixedText<20> localTimeText;
    double magneticVariation = 0.0;
    FixedText<8> variationText;

    // Motion.
    double speedKnots = 0.0;
    double speed = 0.0;
    double topSpeed = 0.0;
    double averageSpeed = 0.0;
    double course = 0.0;
    FixedText<12> speedText;
    FixedText<16> topSpeedText;
    FixedText<16> averageSpeedText;
    FixedText<8> speedUnitText;
    FixedText<8> courseText;
    FixedText<4> compassPointText;

    // Elevation and fix quality.
    double elevationRaw = 0.0;
    FixedText<2> elevationUnitText;
    double elevation = 0.0;
    FixedText<12> elevationText;
    int32_t fixQuality = 0;
    FixedText<28> fixQualityText;
    int32_t fixDimension = 0;
    FixedText<8> fixDimensionText;
    int32_t satellites = 0;
    FixedText<8> satellitesText;
    double hdop = 50.0;
    FixedText<8> hdopText;

    // Trip.
    double tripDistance = 0.0;
    double totalDistance = 0.0;
    int32_t totalDistanceWhole = 0;
    double tripElapsedSeconds = 0.0;
    FixedText<16> tripDistanceText;
    FixedText<16> totalDistanceText;
    FixedText<8> distanceUnitText;

    // Page texts composed by the dashboard while painting.
    FixedText<52> topAvgLineText;
    FixedText<52> distanceLineText;
    FixedText<256> statusPageText;
    FixedText<256> positionLineText;
};

// The start-up reset: gives every displayed text its initial value.
void resetNavState(NavState& nav);

// Run when the GPS connection closes: the fix status goes back to "no fix" while the last
// position, speed, times and trip values stay on show.
void clearFixStatus(NavState& nav);

// The reset commands of the Reset menu.
void resetTripDistance(NavState& nav);
void resetTotalDistance(NavState& nav);
void resetTopSpeed(NavState& nav);

} // namespace velocimo
