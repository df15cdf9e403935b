#include "trip/distance.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>

namespace velocimo {
namespace {

std::string u8(std::u16string_view s) {
    return toUtf8(s);
}

constexpr double kOneMinuteNm = 60.040525 / 60.0;

TEST(GreatCircle, RadianFactorHasTheExactBitPattern) {
    EXPECT_EQ(std::bit_cast<uint64_t>(kRadiansPerDegree), 0x3F91DF46A2506B91u);
}

TEST(GreatCircle, DistancesPerUnit) {
    const double a = 48.0 + 7.038 / 60.0;
    const double b = 48.0 + 8.038 / 60.0;
    const struct {
        int32_t units;
        double lat1, lon1, lat2, lon2, distance, tolerance;
    } cases[] = {
        {0, a, 11.5, b, 11.5, kOneMinuteNm, 1e-9},
        {1, a, 11.5, b, 11.5, kOneMinuteNm * 1.852, 1e-9},
        {2, a, 11.5, b, 11.5, kOneMinuteNm * 1.150779447584, 1e-9},
        {9, b, 11.5, a, 11.5, kOneMinuteNm, 1e-9},
        {0, a, 11.5, a, 11.5, 0.0, 0.0},
        // One minute of longitude on the equator is as long as one of latitude.
        {0, 0.0, -0.5, 0.0, -0.5 + 1.0 / 60.0, kOneMinuteNm, 1e-9},
        // Antipodes: rounding must not take asin out of its domain.
        {0, 0.0, 0.0, 0.0, 180.0, 180.0 * 60.040525, 1e-6},
        {0, 45.0, -90.0, -45.0, 90.0, 180.0 * 60.040525, 1e-6},
    };
    for (const auto& c : cases) {
        const double d = greatCircleDistance(c.units, c.lat1, c.lon1, c.lat2, c.lon2);
        EXPECT_NEAR(d, c.distance, c.tolerance) << c.units << " " << c.lat1 << " " << c.lon2;
    }
}

// A record at speed between two positions d nautical miles apart (north-south).
NavState moving(double speed, double lat, double prevLat) {
    NavState nav;
    resetNavState(nav);
    nav.speed = speed;
    nav.latitude.degrees = static_cast<int32_t>(lat);
    nav.latitude.decimalDegrees = lat;
    nav.prevLatitude.degrees = static_cast<int32_t>(prevLat);
    nav.prevLatitude.decimalDegrees = prevLat;
    nav.longitude.decimalDegrees = nav.prevLongitude.decimalDegrees = 11.5;
    nav.fixTimeSeconds = 500.0;
    return nav;
}

TEST(Distance, GateNeedsSpeedAndTwoPositions) {
    const double a = 48.0 + 7.038 / 60.0;
    const double b = 48.0 + 8.038 / 60.0;
    const struct {
        double speed, lat, prevLat;
        bool counts;
    } cases[] = {
        {2.4, b, a, false},          {2.5, b, a, true},     {100.0, b, a, true},
        {10.0, b, 0.0, false},       {10.0, 0.0, a, false}, {10.0, 0.5, 0.6, false}, // 0°30'
        {std::nan(""), b, a, false},
    };
    for (const auto& c : cases) {
        NavState nav = moving(c.speed, c.lat, c.prevLat);
        updateDistance(nav, 0);
        EXPECT_EQ(nav.tripDistance > 0.0, c.counts) << c.speed << " " << c.lat;
        EXPECT_EQ(nav.prevFixTimeSeconds, c.counts ? 500.0 : 0.0) << c.speed << " " << c.lat;
        EXPECT_EQ(u8(nav.tripDistanceText.view()), c.counts ? "1.001" : "0.000");
        EXPECT_EQ(u8(nav.totalDistanceText.view()), c.counts ? "000001" : "00000");
    }
}

TEST(Distance, TextsOfTripAndTotal) {
    const struct {
        double trip, total;
        const char* tripText;
        const char* totalText;
    } cases[] = {
        {1.5, 1234.9, "1.500", "001234"},
        {12.25, 0.0, "12.250", "000000"},
        {0.0, 999999.99, "0.000", "999999"},
    };
    for (const auto& c : cases) {
        NavState nav = moving(10.0, 50.0, 50.0); // a zero step: only the texts change
        nav.tripDistance = c.trip;
        nav.totalDistance = c.total;
        updateDistance(nav, 1);
        EXPECT_EQ(u8(nav.tripDistanceText.view()), c.tripText);
        EXPECT_EQ(u8(nav.totalDistanceText.view()), c.totalText);
        EXPECT_EQ(nav.totalDistanceWhole, static_cast<int32_t>(c.total));
    }
}

TEST(Distance, AverageOverTheTimeBetweenCountedSteps) {
    // Back and forth between two points 0.01 nm apart.
    const double a = 50.0;
    const double b = 50.0 + 0.01 / 60.040525;
    NavState nav = moving(10.0, b, a);
    const struct {
        double fixTime;
        bool forward;
        double elapsed;
        const char* average;
    } steps[] = {
        {100.0, true, 0.0, "0.0"}, {101.0, false, 1.0, "72.0"}, {102.0, true, 2.0, "54.0"}};
    for (const auto& s : steps) {
        nav.fixTimeSeconds = s.fixTime;
        nav.latitude.decimalDegrees = s.forward ? b : a;
        nav.prevLatitude.decimalDegrees = s.forward ? a : b;
        updateDistance(nav, 0);
        EXPECT_EQ(nav.tripElapsedSeconds, s.elapsed) << s.fixTime;
        EXPECT_EQ(u8(nav.averageSpeedText.view()), s.average) << s.fixTime;
    }
    EXPECT_NEAR(nav.averageSpeed, 54.0, 1e-9);

    // A trip reset restarts the time base: the next step adds distance, not time.
    resetTripDistance(nav);
    nav.fixTimeSeconds = 200.0;
    updateDistance(nav, 0);
    EXPECT_GT(nav.tripDistance, 0.0);
    EXPECT_EQ(nav.tripElapsedSeconds, 0.0);
    EXPECT_EQ(u8(nav.averageSpeedText.view()), "0.0");

    // A second step within the same second: no time has passed, the average stays a number.
    updateDistance(nav, 0);
    EXPECT_EQ(nav.averageSpeed, 0.0);
    EXPECT_EQ(u8(nav.averageSpeedText.view()), "0.0");

    // Across UTC midnight the time difference is negative; the average is shown positive.
    nav.fixTimeSeconds = 150.0;
    updateDistance(nav, 0);
    EXPECT_EQ(nav.tripElapsedSeconds, -50.0);
    EXPECT_GT(nav.averageSpeed, 0.0);
}

} // namespace
} // namespace velocimo
