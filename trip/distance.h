#pragma once

// Trip and total distance and the average speed.

#include "shell/core/navstate.h"
#include "shell/core/units.h"

#include <cstdint>

namespace velocimo {

// Pi taken as 3.1415926535, as kRadiansPerDegree.
inline constexpr double kDegreesPerRadian = 57.29577951471995;
inline constexpr double kNauticalMilesPerDegree = 60.040525;
inline constexpr double kKilometresPerNauticalMile = 1.852;
inline constexpr double kMilesPerNauticalMile = 1.150779447584;

void updateDistance(NavState& nav, int32_t units);
double greatCircleDistance(int32_t units, double lat1, double lon1, double lat2, double lon2);

} // namespace velocimo
