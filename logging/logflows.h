#pragma once

// The Log menu's flows: picking the CSV file and switching logging on and off.

#include "settings/settings.h"
#include "shell/core/platform.h"

namespace velocimo {

inline constexpr char16_t kNoLogFileMessage[] =
    u"No CSV log file selected, logging has been disabled.";

// Shows the save dialog ("Log", CSV files, the proposed name, the folder of the current log).
// On a chosen path: stores it in logFilePath, sets logFileChosen and returns true. Cancel,
// or a path too long for the settings text, returns false and changes nothing.
bool chooseLogFile(Settings& settings, FilePicker& picker, Clock& clock);

// Log > On. Turns logging off when it is on; otherwise on, asking for a file when none is
// known, and back off with the information message when still none is chosen.
void toggleLogging(Settings& settings, FilePicker& picker, Clock& clock,
                   MessageBoxService& messages);

// Run by GPS > Open before the port opens: logging on without a file asks for one, and
// turns off with the information message when none is chosen.
void ensureLogFile(Settings& settings, FilePicker& picker, Clock& clock,
                   MessageBoxService& messages);

} // namespace velocimo
