#include "dashboard/dashboard.h"

namespace velocimo {

namespace {

// Both ends included: a button answers on 33 x 33 pixels.
bool inButton(Point origin, int32_t x, int32_t y) {
    return x >= origin.x && x <= origin.x + kIconSize && y >= origin.y && y <= origin.y + kIconSize;
}

bool inRect(const Rect& r, int32_t x, int32_t y) {
    return x >= r.left && x <= r.right && y >= r.top && y <= r.bottom;
}

// Left and top of the compass point cell, right and bottom of the course cell.
constexpr Rect kCompassReadoutsTapRect = {120, 24, 236, 40};

} // namespace

void applyNightMode(DashboardState& state, const Settings& settings) {
    state.theme = makeTheme(settings.nightMode);
}

bool handleTap(int32_t x, int32_t y, Settings& settings) {
    const DashboardLayout& l = kLayout;
    bool nightChanged = false;
    // Every entry is tested in turn, so on a shared edge the later one wins.
    if (inButton(l.nightButton, x, y)) {
        settings.nightMode = settings.nightMode == 0 ? 1 : 0;
        nightChanged = true;
    }
    if (inButton(l.speedGraphButton, x, y)) {
        settings.selectedDisplay = DisplaySpeedGraph;
    }
    if (inButton(l.elevationGraphButton, x, y)) {
        settings.selectedDisplay = DisplayElevationGraph;
    }
    if (inButton(l.compassButton, x, y)) {
        settings.selectedDisplay = DisplayCompass;
    }
    if (inButton(l.speedButton, x, y)) {
        settings.selectedDisplay = DisplaySpeed;
    }
    if (inButton(l.statusButton, x, y)) {
        settings.selectedDisplay = DisplayStatus;
    }
    if (inRect(l.speedCellRect, x, y)) {
        settings.selectedDisplay = DisplaySpeed;
    }
    if (inRect(l.elevationCellRect, x, y)) {
        settings.selectedDisplay = DisplayElevationGraph;
    }
    if (inRect(l.positionTapRect, x, y)) {
        settings.selectedDisplay = DisplayPosition;
    }
    if (inRect(kCompassReadoutsTapRect, x, y)) {
        settings.selectedDisplay = DisplayCompass;
    }
    for (int32_t i = 0; i < 3; ++i) {
        if (inRect(l.limitRects[i], x, y)) {
            settings.selectedLimit = i;
        }
    }
    return nightChanged;
}

} // namespace velocimo
