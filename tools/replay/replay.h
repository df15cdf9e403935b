#pragma once

// Feeds recorded NMEA through the same framing and handlers as the live reader and reports
// what the live record held at every tick.

#include "shell/navstate.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

namespace velocimo {

struct ReplayOptions {
    int32_t units = 1;
    int32_t elevationOffset = 0;
};

// One JSON object (one line) per tick: just before each $GPRMC line except the first, and once
// at the end of the input.
void runReplay(std::string_view input, const ReplayOptions& options, std::ostream& out);

// Every field of the record under its own name.
void writeNavStateJson(std::ostream& out, const NavState& nav);

} // namespace velocimo
