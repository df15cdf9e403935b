#pragma once

// The nine CSV column flags, in column order.

#include "settings/settingsstore.h"

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

// The flags live in the "Log" subkey; missing values are written back as 0.
void loadLogFields(SettingsStore& store, LogFieldSet& fields);
void saveLogFields(SettingsStore& store, const LogFieldSet& fields);

} // namespace velocimo
