#pragma once

// The nine CSV column flags, in column order.

namespace velocimo {

struct LogFieldSet {
    bool logPositionDec = false;
    bool logPositionDmm = false;
    bool logElevation = false;
    bool logSpeedCurrent = false;
    bool logSpeedAverage = false;
    bool logDistanceTrip = false;
    bool logDistanceTotal = false;
    bool logSatellites = false;
    bool logHdop = false;
};

} // namespace velocimo
