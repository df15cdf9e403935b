#pragma once

// The CSV log file the user picked. It is opened, extended and closed for every record, so
// it is complete on disk after each tick and may be copied or removed in between.

#include "logging/logfields.h"
#include "settings/settings.h"
#include "shell/core/navstate.h"

namespace velocimo {

// Appends one record to logFilePath, preceded by the header when this call created the file.
// nav is a snapshot the caller took under the live record's lock. Returns true when every
// byte was written. On any failure (no file chosen, folder gone, file locked by another
// program, disk full) nothing stays behind: a file created by this call is removed again
// and a partly written line is cut off, so the next tick starts clean. Never shows anything.
bool appendLogRecord(const Settings& settings, const LogFieldSet& fields, const NavState& nav);

} // namespace velocimo
