#pragma once

// The unit systems behind the Units setting, and the one degree-to-radian factor.

#include <cstdint>
#include <optional>

namespace velocimo {

// The stored Units value: knots and nautical miles, km/h and km, or mph and miles.
enum class UnitSystem : int32_t { Knots = 0, Kmh = 1, Mph = 2 };

// A stored number outside the three gives nothing: each user decides what that means.
constexpr std::optional<UnitSystem> unitSystemFrom(int32_t stored) {
    switch (stored) {
    case 0:
        return UnitSystem::Knots;
    case 1:
        return UnitSystem::Kmh;
    case 2:
        return UnitSystem::Mph;
    default:
        return std::nullopt;
    }
}

// Speeds, distances and elevations read an unknown stored number as knots.
constexpr UnitSystem unitSystemOrKnots(int32_t stored) {
    return unitSystemFrom(stored).value_or(UnitSystem::Knots);
}

// Pi taken as 3.1415926535: the distance sums must keep their last digit across builds, and
// the compass card must agree with them to the pixel.
inline constexpr double kRadiansPerDegree = 0.017453292519444445;

} // namespace velocimo
