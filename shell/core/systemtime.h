#pragma once

#include <cstdint>

namespace velocimo {

// Calendar time, as the zone rules describe it.
struct SystemTime {
    uint16_t year = 0;
    uint16_t month = 0;     // 1..12
    uint16_t dayOfWeek = 0; // 0 = Sunday
    uint16_t day = 0;
    uint16_t hour = 0;
    uint16_t minute = 0;
    uint16_t second = 0;
    uint16_t milliseconds = 0;
};

} // namespace velocimo
