#include "shell/core/liverecord.h"
#include "shell/core/navstate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>

namespace velocimo {
namespace {

std::string u8(std::u16string_view s) {
    return toUtf8(s);
}

TEST(TruncToInt, IsDefinedForEveryDouble) {
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double in;
        int32_t out;
    } cases[] = {
        {2.9, 2},
        {-2.9, -2},
        {0.0, 0},
        {-0.0, 0},
        {2147483647.9, 2147483647},
        {2147483648.0, 2147483647},
        {1e300, 2147483647},
        {inf, 2147483647},
        {-2147483648.9, -2147483647 - 1},
        {-2147483649.0, -2147483647 - 1},
        {-inf, -2147483647 - 1},
        {std::nan(""), 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(truncToInt(c.in), c.out) << c.in;
    }
}

TEST(NavState, LoadValuesAndStartUpReset) {
    NavState nav;
    EXPECT_EQ(nav.hdop, 50.0);
    EXPECT_TRUE(nav.speedText.empty());
    nav.latitude.dmmText.assignUtf8("4807.03800");

    resetNavState(nav);
    const std::pair<std::u16string_view, const char*> texts[] = {
        {nav.speedText.view(), "0.0"},
        {nav.speedUnitText.view(), "knots"},
        {nav.elevationText.view(), "0.0m"},
        {nav.elevationUnitText.view(), "M"},
        {nav.dataStatusText.view(), "V"},
        {nav.dataValidText.view(), "No"},
        {nav.fixQualityText.view(), "No GPS fix"},
        {nav.satellitesText.view(), "00"},
        {nav.hdopText.view(), "50.0"},
        {nav.compassPointText.view(), "*"},
        {nav.courseText.view(), "0\u00b0"},
        {nav.variationText.view(), "0\u00b0"},
        {nav.utcTimeText.view(), "00:00:00"},
        {nav.localTimeText.view(), "00:00:00"},
        {nav.totalDistanceText.view(), "00000"},
        {nav.tripDistanceText.view(), "0.000"},
        {nav.topSpeedText.view(), "0.0"},
        {nav.averageSpeedText.view(), "0.0"},
        {nav.latitude.dmsText.view(), "0\u00b0 0' 0\""},
        {nav.longitude.decText.view(), "0.000000"},
        {nav.fixDimensionText.view(), ""},
    };
    for (const auto& [got, want] : texts) {
        EXPECT_EQ(u8(got), want);
    }
    // The reset leaves the DMM text alone.
    EXPECT_EQ(u8(nav.latitude.dmmText.view()), "4807.03800");
    EXPECT_FALSE(nav.fixValid);
}

TEST(NavState, ClearFixStatusKeepsTheLastReadings) {
    NavState nav;
    resetNavState(nav);
    nav.fixValid = true;
    nav.dataStatusText.assignUtf8("A");
    nav.dataValidText.assignUtf8("Yes");
    nav.fixQualityText.assignUtf8("GPS fix");
    nav.fixDimensionText.assignUtf8(" (3D)");
    nav.satellitesText.assignUtf8("08");
    nav.hdopText.assignUtf8("0.9");
    nav.speedText.assignUtf8("41.5");
    nav.tripDistanceText.assignUtf8("12.250");
    nav.utcTimeText.assignUtf8("12:35:19");

    clearFixStatus(nav);
    EXPECT_FALSE(nav.fixValid);
    EXPECT_EQ(u8(nav.dataStatusText.view()), "V");
    EXPECT_EQ(u8(nav.dataValidText.view()), "No");
    EXPECT_EQ(u8(nav.fixQualityText.view()), "No GPS fix");
    EXPECT_EQ(u8(nav.fixDimensionText.view()), "");
    EXPECT_EQ(u8(nav.satellitesText.view()), "00");
    EXPECT_EQ(u8(nav.hdopText.view()), "50.0");
    EXPECT_EQ(u8(nav.speedText.view()), "41.5");
    EXPECT_EQ(u8(nav.tripDistanceText.view()), "12.250");
    EXPECT_EQ(u8(nav.utcTimeText.view()), "12:35:19");
}

TEST(NavState, ResetCommandsTouchOnlyTheirFields) {
    NavState nav;
    resetNavState(nav);
    nav.tripDistance = 5.0;
    nav.averageSpeed = 40.0;
    nav.tripElapsedSeconds = 30.0;
    nav.prevFixTimeSeconds = 100.0;
    nav.fixTimeSeconds = 100.0;
    nav.totalDistance = 1234.9;
    nav.totalDistanceWhole = 1234;
    nav.topSpeed = 88.0;

    resetTripDistance(nav);
    EXPECT_EQ(nav.tripDistance, 0.0);
    EXPECT_EQ(nav.averageSpeed, 0.0);
    EXPECT_EQ(nav.tripElapsedSeconds, 0.0);
    EXPECT_EQ(nav.prevFixTimeSeconds, 0.0);
    EXPECT_EQ(nav.fixTimeSeconds, 0.0);
    EXPECT_EQ(u8(nav.tripDistanceText.view()), "0.000");
    EXPECT_EQ(nav.totalDistance, 1234.9);
    EXPECT_EQ(nav.topSpeed, 88.0);

    resetTotalDistance(nav);
    EXPECT_EQ(nav.totalDistance, 0.0);
    EXPECT_EQ(nav.totalDistanceWhole, 0);
    EXPECT_EQ(u8(nav.totalDistanceText.view()), "00000");
    EXPECT_EQ(nav.topSpeed, 88.0);

    resetTopSpeed(nav);
    EXPECT_EQ(nav.topSpeed, 0.0);
    EXPECT_EQ(u8(nav.topSpeedText.view()), "0.0");
}

} // namespace
} // namespace velocimo
