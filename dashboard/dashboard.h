#pragma once

// The dashboard: taps, sample histories, the painter and its graph and compass pages.

#include "dashboard/canvas.h"
#include "dashboard/layout.h"
#include "dashboard/theme.h"
#include "settings/settings.h"
#include "shell/core/navstate.h"

#include <cstdint>

namespace velocimo {

inline constexpr std::size_t kHistorySize = 512;
// Steps of MaxElev beyond this would not fit the 32-bit setting; the scale stops there.
inline constexpr int32_t kMaxElevationCap = 2147483647;

// Painting state that lives for the whole run. One instance, main thread only.
struct DashboardState {
    DashboardTheme theme = makeTheme(0);
    int32_t gpsIconFrame = 0;
    int32_t gridScrollOffset = 0;
    // Index 0 is the newest sample; percentages of the graph's full scale.
    int8_t speedHistory[kHistorySize] = {};
    int8_t limitHistory[kHistorySize] = {};
    int8_t elevationHistory[kHistorySize] = {};
};

// Replaces the theme for the current NightMode. Run at start-up once the settings are loaded,
// and whenever handleTap reports a night-mode change.
void applyNightMode(DashboardState& state, const Settings& settings);

// One stylus release in client pixels. Changes SelectedDisplay, SelectedLimit or NightMode;
// returns true when NightMode changed (the caller then runs applyNightMode and repaints).
bool handleTap(int32_t x, int32_t y, Settings& settings);

// Adds one sample to each history; may raise settings.maxElevation.
void sampleHistories(DashboardState& state, const NavState& nav, Settings& settings);

// The whole picture. nav is the caller's snapshot of the live record; the page texts
// (topAvgLineText, statusPageText, ...) are composed into it. advance is true only for the
// paint that follows a tick: only then do the histories, the grid and the fix animation move.
void paintDashboard(Canvas& canvas, NavState& nav, Settings& settings, DashboardState& state,
                    bool advance);

// The two drawn pages, as paintDashboard calls them.
void drawGraph(Canvas& canvas, const NavState& nav, const Settings& settings, DashboardState& state,
               bool advance);
void drawCompass(Canvas& canvas, const NavState& nav, const DashboardState& state);

// The compass's point at radius r and angle a (degrees clockwise from the top).
Point compassPoint(Point centre, double radius, double angleDegrees);

} // namespace velocimo
