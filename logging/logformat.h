#pragma once

// The CSV log's lines: one line of the selected readings per second while moving, as 8-bit
// text (UTF-8) ending in CR LF. Pure: nothing here touches a file.

#include "logging/logfields.h"
#include "settings/settings.h"
#include "shell/core/navstate.h"
#include "shell/core/systemtime.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace velocimo {

// Records are written only from this speed on (selected speed unit, inclusive).
inline constexpr double kLogSpeedThreshold = 2.5;

// Room for one formatted line with its CR LF; every line the program makes fits.
inline constexpr std::size_t kLogLineCapacity = 514;

// The header line for the ticked columns. Returns the number of bytes written, or 0 when
// out cannot hold the line (out then holds no usable text).
std::size_t formatLogHeader(const LogFieldSet& fields, char* out, std::size_t capacity);

// One record from a snapshot of the live record, in the same form as the header.
std::size_t formatLogRecord(const LogFieldSet& fields, const NavState& nav, char* out,
                            std::size_t capacity);

// "VELO_LOG yyyymmdd hhmmss" for the given local time; no extension.
std::u16string proposedLogName(const SystemTime& localTime);

// The folder part of path up to and including its last '/' or '\'; empty without one.
std::u16string logFolderOf(std::u16string_view path);

// The tick's gate: logging is on and the speed is at least 2.5.
bool shouldLog(const Settings& settings, double speed);

} // namespace velocimo
