#pragma once

// The CSV log file the user picked. It is opened, extended and closed for every record, so
// it is complete on disk after each tick and may be copied or removed in between.

#include "logging/logfields.h"
#include "settings/settings.h"
#include "shell/core/navstate.h"

#include <cstddef>
#include <string_view>

namespace velocimo {

// Appends one record to logFilePath, preceded by the header when this call created the file.
// nav is a snapshot the caller took under the live record's lock. Returns true when every
// byte was written. On any failure (no file chosen, folder gone, file locked by another
// program, disk full) nothing stays behind: a file created by this call is removed again
// and a partly written line is cut off, so the next tick starts clean. Never shows anything.
bool appendLogRecord(const Settings& settings, const LogFieldSet& fields, const NavState& nav);

// Each UTF-16 unit of a path takes at most three bytes, plus the closing zero; with room for
// the extension of a file beside the log.
inline constexpr std::size_t kLogFileNameCapacity = PathText::kCapacity * 3 + 1 + 32;

// The file name for open(), converted without allocating. False when it does not fit or
// holds a zero, which would make open() act on some other name.
bool logFileName(std::u16string_view path, char (&out)[kLogFileNameCapacity]);

} // namespace velocimo
