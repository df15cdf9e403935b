#pragma once

// Proleptic Gregorian dates and days since 1970-01-01 (Howard Hinnant's algorithms: years
// counted from March, in 400-year eras), for any date the 64-bit range holds.

#include <cstdint>

namespace velocimo {

struct CivilDate {
    int64_t year = 1970;
    int64_t month = 1; // 1..12
    int64_t day = 1;   // 1..31
};

constexpr int64_t daysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2 ? 1 : 0;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

constexpr CivilDate civilFromDays(int64_t days) {
    const int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const int64_t m = mp < 10 ? mp + 3 : mp - 9;
    return {yoe + era * 400 + (m <= 2 ? 1 : 0), m, d};
}

} // namespace velocimo
