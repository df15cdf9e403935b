#include "dashboard/dashboard.h"

#include <gtest/gtest.h>

#include <limits>

namespace velocimo {
namespace {

Settings defaults() {
    Settings s;
    s.speedLimits[0] = 50;
    s.speedLimits[1] = 80;
    s.speedLimits[2] = 100;
    s.maxSpeed = 120;
    s.maxElevation = 500;
    return s;
}

struct SpeedCase {
    double speed;
    int32_t maxSpeed;
    int32_t selectedLimit;
    int32_t limit2;
    int speedSample;
    int limitSample;
};

class SpeedSamples : public ::testing::TestWithParam<SpeedCase> {};

TEST_P(SpeedSamples, PercentOfScaleClamped) {
    const SpeedCase& c = GetParam();
    Settings s = defaults();
    s.maxSpeed = c.maxSpeed;
    s.selectedLimit = c.selectedLimit;
    s.speedLimits[2] = c.limit2;
    NavState nav;
    nav.speed = c.speed;
    DashboardState state;
    sampleHistories(state, nav, s);
    EXPECT_EQ(state.speedHistory[0], c.speedSample);
    EXPECT_EQ(state.limitHistory[0], c.limitSample);
}

INSTANTIATE_TEST_SUITE_P(
    Dashboard, SpeedSamples,
    ::testing::Values(SpeedCase{60.0, 120, 0, 100, 50, 41}, SpeedCase{200.0, 120, 1, 100, 100, 66},
                      SpeedCase{-5.0, 120, 2, 100, 0, 83}, SpeedCase{119.99, 120, 2, 100, 99, 83},
                      // No scale: nothing to divide by, both plot 0.
                      SpeedCase{60.0, 0, 2, 100, 0, 0}, SpeedCase{60.0, -10, 2, 100, 0, 0},
                      // No limit in force outside 0..2.
                      SpeedCase{60.0, 120, 3, 100, 50, 0}, SpeedCase{60.0, 120, -1, 100, 50, 0},
                      // Limits far beyond the scale or negative are clamped, without overflow.
                      SpeedCase{60.0, 120, 2, std::numeric_limits<int32_t>::max(), 50, 100},
                      SpeedCase{60.0, 120, 2, std::numeric_limits<int32_t>::min(), 50, 0},
                      SpeedCase{std::numeric_limits<double>::quiet_NaN(), 120, 2, 100, 0, 83}));

TEST(ElevationSamples, GrowthRescalesEverySample) {
    Settings s = defaults();
    DashboardState state;
    NavState nav;
    nav.elevation = 10.0; // 2 %
    sampleHistories(state, nav, s);
    nav.elevation = 15.0; // 3 %
    sampleHistories(state, nav, s);
    nav.elevation = 600.0; // 120 %
    sampleHistories(state, nav, s);
    EXPECT_EQ(s.maxElevation, 750);
    EXPECT_EQ(state.elevationHistory[0], 80);
    EXPECT_EQ(state.elevationHistory[1], 2);
    EXPECT_EQ(state.elevationHistory[2], 1);
    EXPECT_EQ(state.elevationHistory[3], 0);
}

TEST(ElevationSamples, ReachingTheScaleExactlyGrows) {
    Settings s = defaults();
    s.maxElevation = 100;
    DashboardState state;
    NavState nav;
    nav.elevation = 100.0;
    sampleHistories(state, nav, s);
    EXPECT_EQ(s.maxElevation, 150);
    EXPECT_EQ(state.elevationHistory[0], 66);
    nav.elevation = 99.0; // 66 % of 150: no growth
    sampleHistories(state, nav, s);
    EXPECT_EQ(s.maxElevation, 150);
    EXPECT_EQ(state.elevationHistory[0], 66);
}

struct GrowthCase {
    int32_t start;
    std::vector<int32_t> steps;
};

class ElevationGrowth : public ::testing::TestWithParam<GrowthCase> {};

TEST_P(ElevationGrowth, OneStepPerSample) {
    const GrowthCase& c = GetParam();
    Settings s = defaults();
    s.maxElevation = c.start;
    DashboardState state;
    NavState nav;
    nav.elevation = 1.0e7; // far above every scale here: grows on each paint
    for (int32_t expected : c.steps) {
        sampleHistories(state, nav, s);
        EXPECT_EQ(s.maxElevation, expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Dashboard, ElevationGrowth,
                         ::testing::Values(GrowthCase{100, {150, 230, 350}},
                                           GrowthCase{500, {750, 1130}}));

TEST(ElevationSamples, SampleAbove127IsClampedButStillGrows) {
    Settings s = defaults();
    DashboardState state;
    NavState nav;
    nav.elevation = 1000.0; // 200 % of 500
    sampleHistories(state, nav, s);
    EXPECT_EQ(s.maxElevation, 750);
    // Stored as 127 and then rescaled: it stays positive and above the box until caught up.
    EXPECT_EQ(state.elevationHistory[0], 84);
    sampleHistories(state, nav, s); // 133 % of 750
    EXPECT_EQ(s.maxElevation, 1130);
    EXPECT_EQ(state.elevationHistory[0], 84);
    EXPECT_EQ(state.elevationHistory[1], 56);
}

TEST(ElevationSamples, NoScaleAndHugeScaleDoNotFault) {
    DashboardState state;
    NavState nav;
    nav.elevation = 300.0;

    Settings zero = defaults();
    zero.maxElevation = 0;
    sampleHistories(state, nav, zero);
    EXPECT_EQ(zero.maxElevation, 0);
    EXPECT_EQ(state.elevationHistory[0], 0);

    Settings negative = defaults();
    negative.maxElevation = -500;
    sampleHistories(state, nav, negative);
    EXPECT_EQ(negative.maxElevation, -500);
    EXPECT_EQ(state.elevationHistory[0], 0);

    // The next step would not fit 32 bits: the scale stays and the history keeps its values.
    Settings huge = defaults();
    huge.maxElevation = 2000000000;
    nav.elevation = 3.0e9;
    sampleHistories(state, nav, huge);
    EXPECT_EQ(huge.maxElevation, 2000000000);
    EXPECT_EQ(state.elevationHistory[0], 127);

    // Just below the cap it still grows once, to a value that fits.
    Settings nearCap = defaults();
    nearCap.maxElevation = 1400000000;
    nav.elevation = std::numeric_limits<double>::infinity();
    sampleHistories(state, nav, nearCap);
    EXPECT_EQ(nearCap.maxElevation, 2100000000);
    sampleHistories(state, nav, nearCap);
    EXPECT_EQ(nearCap.maxElevation, 2100000000);
}

TEST(Histories, ShiftKeeps512AndDropsTheOldest) {
    Settings s = defaults();
    DashboardState state;
    NavState nav;
    nav.speed = 120.0;
    sampleHistories(state, nav, s);
    nav.speed = 0.0;
    for (int i = 0; i < 511; ++i) {
        sampleHistories(state, nav, s);
    }
    EXPECT_EQ(state.speedHistory[511], 100);
    sampleHistories(state, nav, s);
    EXPECT_EQ(state.speedHistory[511], 0);
}

} // namespace
} // namespace velocimo
