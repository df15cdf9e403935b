#pragma once

// The nine CSV columns: their flags and every name they go by, in column order.

#include "settings/settingsstore.h"
#include "shell/core/navstate.h"

#include <array>
#include <span>
#include <string_view>

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

// A position fills two columns, everything else one; the second text of a one-column field
// stays empty.
using LogFieldTexts = std::array<std::u16string_view, 2>;

struct LogFieldInfo {
    bool LogFieldSet::*flag;
    std::u16string_view registryName; // value name in the "Log" subkey, and --fields name
    int controlId;                    // check box "check<id>" of the Logging dialog
    std::u16string_view checkBoxText;
    std::string_view csvHeader; // its column names, comma-separated
    int columns;
    LogFieldTexts (*texts)(const NavState& nav);
};

// Column order.
std::span<const LogFieldInfo> logFields();

// The flags live in the "Log" subkey; missing values are written back as 0.
void loadLogFields(SettingsStore& store, LogFieldSet& fields);
void saveLogFields(SettingsStore& store, const LogFieldSet& fields);

} // namespace velocimo
