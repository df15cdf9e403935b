#pragma once

// Zone rules from the system: POSIX TZ strings and TZif files, turned into the zone record
// that utcToLocalTime evaluates.

#include "trip/timeofday.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace velocimo {

// One transition rule of a POSIX TZ string: "Mm.w.d", "Jn" or "n", each with "/time".
struct PosixRule {
    enum class Kind { MonthWeekDay, Julian1, Julian0 };
    Kind kind = Kind::MonthWeekDay;
    int month = 0;              // Mm.w.d: 1..12
    int week = 0;               // Mm.w.d: 1..5, 5 = last
    int weekday = 0;            // Mm.w.d: 0 = Sunday
    int day = 0;                // Jn: 1..365 (29 February never counted); n: 0..365 (counted)
    int32_t timeSeconds = 7200; // local time of the change, -167 h .. 167 h
};

// Offsets are in the POSIX sense: seconds to add to local time to get UTC (west positive).
struct PosixZone {
    char standardName[32] = {};
    char daylightName[32] = {};
    int32_t standardOffset = 0;
    bool hasDaylight = false;
    int32_t daylightOffset = 0;
    PosixRule start; // to daylight time
    PosixRule end;   // back to standard time
};

// The whole text must be a valid "std offset [dst [offset] [,start[/time],end[/time]]]".
// A daylight zone without rules takes the US rules ",M3.2.0,M11.1.0", as the C library does.
bool parsePosixTz(std::string_view text, PosixZone& zone);

// The zone record of a POSIX zone. Rules that a weekday-in-month rule cannot express (Jn, n,
// or a time outside 0..24 h) become absolute dates in `year`; a rule pair that keeps daylight
// time all year becomes a fixed zone at the daylight offset.
TimeZoneInformation toTimeZoneInformation(const PosixZone& zone, int year);

// True when the record depends on the year passed to toTimeZoneInformation.
bool needsYear(const PosixZone& zone);

// Reads a TZif file image. A v2+ file yields its footer rule; a v1 file or an empty footer
// yields the fixed offset in force after the last transition, as does a footer that cannot be
// parsed. False for anything malformed.
bool parseTzif(const unsigned char* data, std::size_t size, PosixZone& zone);

} // namespace velocimo
