#include "trip/readouts.h"

#include <gtest/gtest.h>

#include <bit>

namespace velocimo {
namespace {

std::string u8(std::u16string_view s) {
    return toUtf8(s);
}

TEST(Speed, MphFactorHasTheExactBitPattern) {
    EXPECT_EQ(std::bit_cast<uint64_t>(kMphPerKnot), 0x3FF269973D9EC700u);
}

TEST(Speed, ConvertsAndFormatsPerUnitSystem) {
    const struct {
        int32_t units;
        double knots, speed;
        const char* text;
        const char* label;
    } cases[] = {
        {0, 22.4, 22.4, "22.4", "knots"},
        {1, 22.4, 22.4 * 1.852, "41.5", "km/h"},
        {2, 22.4, 22.4 * 1.150779, "25.8", "mph"},
        {7, 22.4, 22.4, "22.4", "knots"},
        {1, 60.0, 111.12, "111", "km/h"},
        {0, 99.96, 99.96, "100.0", "knots"}, // below 100: still one decimal
        {0, 100.0, 100.0, "100", "knots"},
        {0, 1500.0, 1500.0, "1500", "knots"},
        {0, 1500.1, 0.0, "0.0", "knots"},
        {1, 1500.1, 0.0, "0.0", "km/h"},
        {2, 123456789.0, 0.0, "0.0", "mph"},
    };
    for (const auto& c : cases) {
        NavState nav;
        resetNavState(nav);
        updateSpeed(nav, c.units, c.knots);
        EXPECT_EQ(nav.speed, c.speed) << c.units << " " << c.knots;
        EXPECT_EQ(u8(nav.speedText.view()), c.text) << c.units << " " << c.knots;
        EXPECT_EQ(u8(nav.speedUnitText.view()), c.label) << c.units;
    }
    NavState nav;
    updateSpeed(nav, 2, 22.4);
    EXPECT_NEAR(nav.speed, 25.7774496, 1e-12);
}

TEST(Speed, TopSpeedMovesOnlyWhenBeaten) {
    NavState nav;
    resetNavState(nav);
    const struct {
        double knots;
        const char* top;
    } steps[] = {{10.0, "10.0"}, {20.0, "20.0"}, {15.0, "20.0"}, {0.0, "20.0"}, {150.0, "150"}};
    for (const auto& s : steps) {
        updateSpeed(nav, 0, s.knots);
        EXPECT_EQ(u8(nav.topSpeedText.view()), s.top) << s.knots;
    }
    nav.topSpeedText.assignUtf8("kept");
    updateSpeed(nav, 0, 150.0); // equal is not beaten
    EXPECT_EQ(u8(nav.topSpeedText.view()), "kept");
    EXPECT_EQ(nav.topSpeed, 150.0);
}

TEST(UnitLabels, KnownSystemsOnly) {
    const struct {
        int32_t units;
        const char* speed;
        const char* distance;
    } cases[] = {{0, "knots", "nm"},
                 {1, "km/h", "km"},
                 {2, "mph", "mi"},
                 {7, "km/h", "km"},
                 {-1, "km/h", "km"}};
    NavState nav;
    for (const auto& c : cases) {
        if (c.units == 7) {
            updateUnitLabels(nav, 1); // an unknown value must leave what is there
        }
        updateUnitLabels(nav, c.units);
        EXPECT_EQ(u8(nav.speedUnitText.view()), c.speed) << c.units;
        EXPECT_EQ(u8(nav.distanceUnitText.view()), c.distance) << c.units;
    }
}

TEST(Compass, SectorsClosedBelowAndCourseText) {
    const struct {
        double course;
        const char* point;
        const char* text; // null: not checked (ties of the rounding)
    } cases[] = {
        {0.0, "N", "0°"},         {10.0, "N", " 10°"},     {22.4999, "N", " 22°"},
        {22.5, "NE", nullptr},    {67.4999, "NE", " 67°"}, {67.5, "E", nullptr},
        {84.4, "E", " 84°"},      {112.5, "SE", nullptr},  {157.5, "S", nullptr},
        {202.5, "SW", nullptr},   {247.5, "W", nullptr},   {292.5, "NW", nullptr},
        {337.4999, "NW", "337°"}, {337.5, "N", nullptr},   {359.9, "N", "360°"},
        {360.0, "N", "360°"},     {-5.0, "N", "0°"},       {400.0, "N", "0°"},
        {360.0001, "N", "0°"},
    };
    for (const auto& c : cases) {
        NavState nav;
        updateCompass(nav, c.course);
        EXPECT_EQ(u8(nav.compassPointText.view()), c.point) << c.course;
        if (c.text != nullptr) {
            EXPECT_EQ(u8(nav.courseText.view()), c.text) << c.course;
        }
    }
}

} // namespace
} // namespace velocimo
