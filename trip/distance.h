#pragma once

// Trip and total distance and the average speed.

#include "shell/navstate.h"

#include <cstdint>

namespace velocimo {

void updateDistance(NavState& nav, int32_t units);
double greatCircleDistance(int32_t units, double lat1, double lon1, double lat2, double lon2);

} // namespace velocimo
