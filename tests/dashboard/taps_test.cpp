#include "dashboard/dashboard.h"

#include <gtest/gtest.h>

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

INSTANTIATE_TEST_SUITE_P(
    Dashboard, TapTable,
    ::testing::Values(
        // Night button corners, both ends included; one pixel right of it is the gap.
        TapCase{7, 51, 0, 1, kSame, kSame, true}, TapCase{39, 83, 0, 1, kSame, kSame, true},
        TapCase{40, 51, 0, kSame, kSame, kSame, false},
        TapCase{6, 51, 0, kSame, kSame, kSame, false},
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
        TapCase{237, 40, 0, kSame, kSame, kSame, false},
        TapCase{3, 24, 0, kSame, kSame, kSame, false},
        // Coordinate line.
        TapCase{3, 3, 0, kSame, DisplayPosition, kSame, false},
        TapCase{237, 19, 0, kSame, DisplayPosition, kSame, false},
        TapCase{120, 21, 0, kSame, kSame, kSame, false},
        // Limit cells.
        TapCase{10, 240, 0, kSame, kSame, kSame, false},
        TapCase{70, 261, 0, kSame, kSame, 0, false},
        TapCase{71, 245, 0, kSame, kSame, kSame, false},
        TapCase{91, 231, 0, kSame, kSame, 1, false}, TapCase{230, 261, 0, kSame, kSame, 2, false},
        TapCase{200, 262, 0, kSame, kSame, kSame, false},
        // Far outside (the window passes 16-bit unsigned values).
        TapCase{65535, 65535, 0, kSame, kSame, kSame, false}));

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
