#pragma once

// Loading and saving the options and the run state in the main settings key, and the
// mapping of port names to device files.

#include "settings/settings.h"
#include "settings/settingsstore.h"
#include "shell/core/navstate.h"

#include <string>
#include <string_view>

namespace velocimo {

// Only loads (writing the defaults of missing values back): the caller derives the port name
// and the unit labels. False when the key could not be opened; nothing is loaded then.
bool loadOptions(SettingsStore& store, Settings& settings, const SoundDefaults& sounds);
void saveOptions(SettingsStore& store, const Settings& settings);
void loadRunState(SettingsStore& store, Settings& settings, NavState& nav);
void saveRunState(SettingsStore& store, const Settings& settings, const NavState& nav);

// The device file for a port name ("COM1:" gives "/dev/ttyUSB0" unless the user changed it),
// from the "Ports" subkey; the ten defaults are written there when missing. An unknown name
// gives an empty path.
std::string portDevicePath(SettingsStore& store, std::u16string_view portName);

} // namespace velocimo
