#pragma once

// The CSV log: one line of the selected readings per second while moving, appended to a
// file the user picked. The file is opened, extended and closed for every record, so it is
// complete on disk after each tick and may be copied or removed in between.

#include "logging/logfields.h"
#include "settings/settings.h"
#include "shell/core/navstate.h"
#include "shell/core/platform.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace velocimo {

inline constexpr char16_t kNoLogFileMessage[] =
    u"No CSV log file selected, logging has been disabled.";

// Records are written only from this speed on (selected speed unit, inclusive).
inline constexpr double kLogSpeedThreshold = 2.5;

// Room for one formatted line with its CR LF; every line the program makes fits.
inline constexpr std::size_t kLogLineCapacity = 514;

// The header line for the ticked columns, ending in CR LF, as 8-bit text (UTF-8). Returns
// the number of bytes written, or 0 when out cannot hold the line (out then holds no
// usable text).
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

// Appends one record to logFilePath, preceded by the header when this call created the file.
// nav is a snapshot the caller took under the live record's lock. Returns true when every
// byte was written. On any failure (no file chosen, folder gone, file locked by another
// program, disk full) nothing stays behind: a file created by this call is removed again
// and a partly written line is cut off, so the next tick starts clean. Never shows anything.
bool appendLogRecord(const Settings& settings, const LogFieldSet& fields, const NavState& nav);

} // namespace velocimo
