#pragma once

// The live record: everything the program knows about the current GPS connection,
// with a ready-to-draw text for nearly every value.

#include "shell/core/fixedtext.h"

#include <cstdint>
#include <type_traits>

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

// Every field of a coordinate with its name, in declaration order: v(name, field).
template <typename C, typename Visitor>
void visitFields(C& c, Visitor&& v) requires std::is_same_v<std::remove_const_t<C>, Coordinate> {
    v("degrees", c.degrees);
    v("minutes", c.minutes);
    v("seconds", c.seconds);
    v("dmsText", c.dmsText);
    v("hemisphereText", c.hemisphereText);
    v("rawValue", c.rawValue);
    v("decimalDegrees", c.decimalDegrees);
    v("decText", c.decText);
    v("dmmText", c.dmmText);
}

// Every field of the record with its name, in declaration order: v(name, field), where a
// Coordinate field is handed over whole (walk it with visitFields). The one list of the
// record's fields for anything that prints or compares them.
template <typename N, typename Visitor>
void visitFields(N& nav, Visitor&& v) requires std::is_same_v<std::remove_const_t<N>, NavState> {
    v("gpsConnected", nav.gpsConnected);
    v("fixValid", nav.fixValid);
    v("latitude", nav.latitude);
    v("longitude", nav.longitude);
    v("prevLatitude", nav.prevLatitude);
    v("prevLongitude", nav.prevLongitude);
    v("dataStatusText", nav.dataStatusText);
    v("dataValidText", nav.dataValidText);
    v("utcTime", nav.utcTime);
    v("utcDate", nav.utcDate);
    v("fixTimeSeconds", nav.fixTimeSeconds);
    v("prevFixTimeSeconds", nav.prevFixTimeSeconds);
    v("utcTimeText", nav.utcTimeText);
    v("localTimeText", nav.localTimeText);
    v("magneticVariation", nav.magneticVariation);
    v("variationText", nav.variationText);
    v("speedKnots", nav.speedKnots);
    v("speed", nav.speed);
    v("topSpeed", nav.topSpeed);
    v("averageSpeed", nav.averageSpeed);
    v("course", nav.course);
    v("speedText", nav.speedText);
    v("topSpeedText", nav.topSpeedText);
    v("averageSpeedText", nav.averageSpeedText);
    v("speedUnitText", nav.speedUnitText);
    v("courseText", nav.courseText);
    v("compassPointText", nav.compassPointText);
    v("elevationRaw", nav.elevationRaw);
    v("elevationUnitText", nav.elevationUnitText);
    v("elevation", nav.elevation);
    v("elevationText", nav.elevationText);
    v("fixQuality", nav.fixQuality);
    v("fixQualityText", nav.fixQualityText);
    v("fixDimension", nav.fixDimension);
    v("fixDimensionText", nav.fixDimensionText);
    v("satellites", nav.satellites);
    v("satellitesText", nav.satellitesText);
    v("hdop", nav.hdop);
    v("hdopText", nav.hdopText);
    v("tripDistance", nav.tripDistance);
    v("totalDistance", nav.totalDistance);
    v("totalDistanceWhole", nav.totalDistanceWhole);
    v("tripElapsedSeconds", nav.tripElapsedSeconds);
    v("tripDistanceText", nav.tripDistanceText);
    v("totalDistanceText", nav.totalDistanceText);
    v("distanceUnitText", nav.distanceUnitText);
    v("topAvgLineText", nav.topAvgLineText);
    v("distanceLineText", nav.distanceLineText);
    v("statusPageText", nav.statusPageText);
    v("positionLineText", nav.positionLineText);
}

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
