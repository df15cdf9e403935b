#include "nmea/handlers.h"

#include <charconv>
#include <limits>
#include <system_error>

namespace velocimo {

namespace {

bool isDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// Room for any finite double written out in full; fraction digits beyond it lie far below
// double precision. More integer digits than kMaxIntegerDigits exceed the double range.
constexpr std::size_t kNumberBufferSize = 400;
constexpr std::size_t kMaxIntegerDigits = 309;

} // namespace

// strtod would also take "nan", "inf", hex and exponents: one such field would turn speed,
// trip and the saved odometer into a non-number for good. Only the NMEA form is accepted,
// and from_chars reads it correctly rounded and without the locale.
double readNumber(std::u16string_view field) {
    std::size_t pos = 0;
    bool negative = false;
    if (pos < field.size() && (field[pos] == u'+' || field[pos] == u'-')) {
        negative = field[pos] == u'-';
        ++pos;
    }
    while (pos < field.size() && field[pos] == u'0') {
        ++pos; // leading zeros carry nothing and would only fill the buffer
    }
    const std::size_t intStart = pos;
    while (pos < field.size() && isDigit(field[pos])) {
        ++pos;
    }
    const std::size_t intEnd = pos;
    std::size_t fracStart = pos;
    std::size_t fracEnd = pos;
    if (pos < field.size() && field[pos] == u'.') {
        fracStart = ++pos;
        while (pos < field.size() && isDigit(field[pos])) {
            ++pos;
        }
        fracEnd = pos;
    }
    if (intEnd == intStart && fracEnd == fracStart) {
        return 0.0; // no digits at all, or only zeros: either way the value is 0
    }

    char buffer[kNumberBufferSize];
    std::size_t n = 0;
    if (negative) {
        buffer[n++] = '-';
    }
    if (intEnd - intStart > kMaxIntegerDigits) {
        return 0.0; // beyond the double range, like every out-of-range value below
    }
    buffer[n++] = '0';
    for (std::size_t i = intStart; i < intEnd; ++i) {
        buffer[n++] = static_cast<char>(field[i]);
    }
    if (fracEnd > fracStart) {
        buffer[n++] = '.';
        for (std::size_t i = fracStart; i < fracEnd && n < kNumberBufferSize; ++i) {
            buffer[n++] = static_cast<char>(field[i]);
        }
    }
    double value = 0.0;
    const auto result = std::from_chars(buffer, buffer + n, value, std::chars_format::fixed);
    if (result.ec != std::errc()) {
        return 0.0; // out of range: a non-finite value must never enter the record
    }
    return value;
}

int32_t readInteger(std::u16string_view field) {
    std::size_t pos = 0;
    bool negative = false;
    if (pos < field.size() && (field[pos] == u'+' || field[pos] == u'-')) {
        negative = field[pos] == u'-';
        ++pos;
    }
    // Accumulated as a negative number so that INT32_MIN itself fits.
    constexpr int64_t kMin = std::numeric_limits<int32_t>::min();
    int64_t value = 0;
    for (; pos < field.size() && isDigit(field[pos]); ++pos) {
        value = value * 10 - (field[pos] - u'0');
        if (value < kMin) {
            value = kMin - 1; // saturated; keeps the loop from overflowing
        }
    }
    if (negative) {
        return value < kMin ? std::numeric_limits<int32_t>::min() : static_cast<int32_t>(value);
    }
    return value < -std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                        : static_cast<int32_t>(-value);
}

std::size_t splitFields(std::u16string_view sentence, std::u16string_view* fields,
                        std::size_t maxFields) {
    if (maxFields == 0) {
        return 0;
    }
    std::size_t count = 0;
    std::size_t start = 0;
    while (count + 1 < maxFields) {
        const std::size_t comma = sentence.find(u',', start);
        if (comma == std::u16string_view::npos) {
            break;
        }
        fields[count++] = sentence.substr(start, comma - start);
        start = comma + 1;
    }
    fields[count++] = sentence.substr(start);
    return count;
}

} // namespace velocimo
