#include "dashboard/dashboard.h"
#include "dashboard/viewport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <tuple>

namespace velocimo {
namespace {

struct TapCase {
    int32_t x;
    int32_t y;
    int32_t nightBefore;
    int32_t nightAfter; // -99: unchanged
    int32_t display;    // -99: unchanged
    int32_t limit;      // -99: unchanged
    bool nightChanged;
};

constexpr int32_t kSame = -99;

class TapTable : public ::testing::TestWithParam<TapCase> {};

TEST_P(TapTable, AppliesTheTableInOrder) {
    const TapCase& c = GetParam();
    Settings s;
    s.nightMode = c.nightBefore;
    s.selectedDisplay = 2; // a value no tap sets
    s.selectedLimit = 7;
    const bool changed = handleTap(c.x, c.y, s);
    EXPECT_EQ(changed, c.nightChanged);
    EXPECT_EQ(s.nightMode, c.nightAfter == kSame ? c.nightBefore : c.nightAfter);
    EXPECT_EQ(s.selectedDisplay, c.display == kSame ? 2 : c.display);
    EXPECT_EQ(s.selectedLimit, c.limit == kSame ? 7 : c.limit);
}

const TapCase kTapCases[] = {
    // Night button corners, both ends included; one pixel right of it is the gap.
    TapCase{7, 51, 0, 1, kSame, kSame, true}, TapCase{39, 83, 0, 1, kSame, kSame, true},
    TapCase{40, 51, 0, kSame, kSame, kSame, false}, TapCase{6, 51, 0, kSame, kSame, kSame, false},
    TapCase{7, 84, 0, kSame, kSame, kSame, false},
    // Stored night values outside 0/1: 5 is night and goes to day, -1 is day and stays.
    TapCase{20, 60, 1, 0, kSame, kSame, true}, TapCase{20, 60, 5, 0, kSame, kSame, true},
    TapCase{20, 60, -1, 0, kSame, kSame, true},
    // Page buttons.
    TapCase{45, 51, 0, kSame, DisplaySpeedGraph, kSame, false},
    TapCase{84 + 32, 51 + 32, 0, kSame, DisplayElevationGraph, kSame, false},
    TapCase{123, 60, 0, kSame, DisplayCompass, kSame, false},
    TapCase{170, 70, 0, kSame, DisplaySpeed, kSame, false},
    TapCase{233, 83, 0, kSame, DisplayStatus, kSame, false},
    TapCase{234, 83, 0, kSame, kSame, kSame, false},
    // Readout line: shared edges go to the later entry.
    TapCase{4, 30, 0, kSame, DisplaySpeed, kSame, false},
    TapCase{62, 30, 0, kSame, DisplayElevationGraph, kSame, false},
    TapCase{120, 30, 0, kSame, DisplayCompass, kSame, false},
    TapCase{236, 40, 0, kSame, DisplayCompass, kSame, false},
    TapCase{237, 40, 0, kSame, kSame, kSame, false}, TapCase{3, 24, 0, kSame, kSame, kSame, false},
    // Coordinate line.
    TapCase{3, 3, 0, kSame, DisplayPosition, kSame, false},
    TapCase{237, 19, 0, kSame, DisplayPosition, kSame, false},
    TapCase{120, 21, 0, kSame, kSame, kSame, false},
    // Limit cells.
    TapCase{10, 240, 0, kSame, kSame, kSame, false}, TapCase{70, 261, 0, kSame, kSame, 0, false},
    TapCase{71, 245, 0, kSame, kSame, kSame, false}, TapCase{91, 231, 0, kSame, kSame, 1, false},
    TapCase{230, 261, 0, kSame, kSame, 2, false}, TapCase{200, 262, 0, kSame, kSame, kSame, false},
    // Far outside (the window passes 16-bit unsigned values).
    TapCase{65535, 65535, 0, kSame, kSame, kSame, false}};

INSTANTIATE_TEST_SUITE_P(Dashboard, TapTable, ::testing::ValuesIn(kTapCases));

// The window's area in device pixels and whether it is mirrored.
struct ViewCase {
    int32_t width;
    int32_t height;
    bool mirrored;
};

class ScaledTapTable : public ::testing::TestWithParam<std::tuple<TapCase, ViewCase>> {};

// Each edge case of the table, tapped on the first and the last device pixel of its
// dashboard pixel, hits what it hits unscaled; outside the picture a tap is nothing.
TEST_P(ScaledTapTable, HitsTheSameAreaAtEveryScale) {
    const auto& [c, v] = GetParam();
    const DashboardViewport view = fitDashboard(v.width, v.height, v.mirrored);
    // Device pixels whose centres fall inside dashboard pixel i.
    const auto first = [&](int32_t i) {
        return static_cast<int32_t>(std::ceil(i * view.scale - 0.5));
    };
    const auto last = [&](int32_t i) { return first(i + 1) - 1; };
    for (int32_t column : {first(c.x), last(c.x)}) {
        for (int32_t row : {first(c.y), last(c.y)}) {
            const int32_t x = view.left + (view.mirrored ? view.width - 1 - column : column);
            const std::optional<Point> p = dashboardPixel(view, x, view.top + row);
            if (c.x >= kDashboardWidth || c.y >= kDashboardHeight) {
                EXPECT_FALSE(p);
                continue;
            }
            ASSERT_TRUE(p);
            EXPECT_EQ(*p, (Point{c.x, c.y}));
            Settings s;
            s.nightMode = c.nightBefore;
            s.selectedDisplay = 2;
            s.selectedLimit = 7;
            EXPECT_EQ(handleTap(p->x, p->y, s), c.nightChanged);
            EXPECT_EQ(s.selectedDisplay, c.display == kSame ? 2 : c.display);
            EXPECT_EQ(s.selectedLimit, c.limit == kSame ? 7 : c.limit);
        }
    }
    // Beside the picture, in the backdrop.
    EXPECT_FALSE(dashboardPixel(view, view.left - 1, view.top + first(c.y) % view.height));
    EXPECT_FALSE(dashboardPixel(view, view.left + view.width, view.top));
}

INSTANTIATE_TEST_SUITE_P(
    Dashboard, ScaledTapTable,
    ::testing::Combine(::testing::ValuesIn(kTapCases),
                       ::testing::Values(ViewCase{240, 268, false}, ViewCase{480, 536, false},
                                         ViewCase{800, 454, false}, ViewCase{240, 268, true},
                                         ViewCase{480, 536, true}, ViewCase{800, 454, true},
                                         ViewCase{617, 389, true})));

TEST(Viewport, AsLargeAsFitsCentredAndNeverSmallerThanTheDashboard) {
    struct Case {
        int32_t width, height;
        DashboardViewport expected;
    };
    const Case cases[] = {
        {240, 268, {1.0, 0, 0, 240, 268, false}},
        {480, 536, {2.0, 0, 0, 480, 536, false}},
        {300, 268, {1.0, 30, 0, 240, 268, false}},
        {800, 454, {454.0 / 268, 196, 0, 407, 454, false}},
        {240, 600, {1.0, 0, 166, 240, 268, false}},
        {100, 100, {1.0, 0, 0, 240, 268, false}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(fitDashboard(c.width, c.height, false), c.expected) << c.width << "x" << c.height;
    }
}

TEST(Taps, TwoNightTapsReturnToTheStartingTheme) {
    Settings s;
    DashboardState state;
    applyNightMode(state, s);
    const DashboardTheme day = state.theme;
    ASSERT_TRUE(handleTap(7, 51, s));
    applyNightMode(state, s);
    EXPECT_EQ(state.theme.backgroundBitmap, BitmapNight);
    ASSERT_TRUE(handleTap(7, 51, s));
    applyNightMode(state, s);
    EXPECT_EQ(state.theme, day);
}

TEST(Theme, DayAndNightValues) {
    const DashboardTheme day = makeTheme(0);
    EXPECT_EQ(day.textColour, (Colour{0, 0, 0}));
    EXPECT_EQ(day.faceBrush.colour, (Colour{255, 255, 255}));
    EXPECT_EQ(day.gridPen, (Pen{{157, 157, 157}, 1}));
    EXPECT_EQ(day.seriesPen, (Pen{{0, 0, 255}, 2}));
    EXPECT_EQ(day.thickPen, (Pen{{0, 0, 0}, 3}));
    EXPECT_EQ(day.backgroundBitmap, BitmapDay);

    const DashboardTheme night = makeTheme(1);
    EXPECT_EQ(night.textColour, (Colour{255, 255, 255}));
    EXPECT_EQ(night.faceBrush.colour, (Colour{0, 0, 0}));
    EXPECT_EQ(night.gridPen, (Pen{{0, 127, 0}, 1}));
    EXPECT_EQ(night.seriesPen, (Pen{{0, 255, 0}, 2}));
    EXPECT_EQ(night.thinPen, (Pen{{255, 255, 255}, 1}));
    EXPECT_EQ(night.backgroundBitmap, BitmapNight);
    EXPECT_EQ(night.selectedLimitBrush.colour, (Colour{255, 0, 0}));

    EXPECT_EQ(makeTheme(5), night);
    EXPECT_EQ(makeTheme(-1), day);
}

} // namespace
} // namespace velocimo
