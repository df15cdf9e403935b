#pragma once

// Numbers of the coordinate conversion. Multipliers rather than divisions, so every build
// gives the same last digit.

namespace velocimo {

// The double nearest to 1/60: fractional minutes to degrees.
inline constexpr double kDegreesPerMinute = 0.016666666666666666;
inline constexpr double kHundredth = 0.01;

} // namespace velocimo
