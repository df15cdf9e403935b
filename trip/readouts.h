#pragma once

// Units, speed readouts and the compass point.

#include "shell/core/navstate.h"

#include <cstdint>

namespace velocimo {

// Knots to miles per hour for speeds; shorter than the factor distances use.
inline constexpr double kMphPerKnot = 1.150779;
inline constexpr double kKmhPerKnot = 1.852;

// A value of at least 100 without decimals, a smaller one with one decimal.
template <std::size_t N> void formatReadout(FixedText<N>& text, double value) {
    text.format(value >= 100.0 ? "%3.0lf" : "%3.1lf", value);
}

void updateSpeed(NavState& nav, int32_t units, double knots);
void updateUnitLabels(NavState& nav, int32_t units);
void updateCompass(NavState& nav, double course);

} // namespace velocimo
