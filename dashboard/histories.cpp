#include "dashboard/dashboard.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace velocimo {

namespace {

void shiftIn(int8_t (&history)[kHistorySize], int8_t sample) {
    std::memmove(history + 1, history, kHistorySize - 1);
    history[0] = sample;
}

int8_t toSample(int64_t percent) {
    return static_cast<int8_t>(std::clamp<int64_t>(percent, -128, 127));
}

int32_t speedPercent(double speed, int32_t maxSpeed) {
    // No scale, nothing to plot against.
    if (maxSpeed <= 0) {
        return 0;
    }
    double p = speed * 100.0 / maxSpeed;
    if (p > 100.0) {
        p = 100.0;
    }
    if (p < 0.0) {
        p = 0.0;
    }
    return truncToInt(p);
}

int32_t limitPercent(const Settings& settings) {
    if (settings.maxSpeed <= 0 || settings.selectedLimit < 0 || settings.selectedLimit > 2) {
        return 0;
    }
    // 64 bits: a limit typed as 30000000 must not overflow the product.
    const int64_t p = static_cast<int64_t>(settings.speedLimits[settings.selectedLimit]) * 100 /
                      settings.maxSpeed;
    return static_cast<int32_t>(std::clamp<int64_t>(p, 0, 100));
}

} // namespace

void sampleHistories(DashboardState& state, const NavState& nav, Settings& settings) {
    shiftIn(state.speedHistory, toSample(speedPercent(nav.speed, settings.maxSpeed)));
    shiftIn(state.limitHistory, toSample(limitPercent(settings)));

    if (settings.maxElevation <= 0) {
        shiftIn(state.elevationHistory, 0);
        return;
    }
    double p = nav.elevation * 100.0 / settings.maxElevation;
    if (p < 0.0) {
        p = 0.0;
    }
    // A sample beyond 127 % is kept at 127 until the scale has caught up; the growth below
    // only needs to know that it reached 100.
    shiftIn(state.elevationHistory, toSample(truncToInt(p)));
    if (!(p >= 100.0)) {
        return;
    }
    const double grown = std::ceil(settings.maxElevation * 0.15) * 10.0;
    if (grown > kMaxElevationCap) {
        return;
    }
    settings.maxElevation = truncToInt(grown);
    for (int8_t& s : state.elevationHistory) {
        s = toSample(truncToInt(s * 0.6666666666666666));
    }
}

} // namespace velocimo
