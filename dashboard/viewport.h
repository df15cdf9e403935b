#pragma once

// Where the 240 x 268 dashboard sits in a larger area of device pixels: as large as fits,
// its shape kept, centred; and which dashboard pixel a device pixel shows.

#include "dashboard/layout.h"

#include <cstdint>
#include <optional>

namespace velocimo {

struct DashboardViewport {
    double scale = 1.0; // device pixels per dashboard pixel
    // The picture's place and size in the area, in device pixels.
    int32_t left = 0;
    int32_t top = 0;
    int32_t width = kDashboardWidth;
    int32_t height = kDashboardHeight;
    // Flipped left to right, for reading in a windscreen.
    bool mirrored = false;
    friend bool operator==(const DashboardViewport&, const DashboardViewport&) = default;
};

// The picture's size in device pixels at a scale.
int32_t scaledLength(int32_t length, double scale);

// The viewport for an area of width x height device pixels. Never smaller than scale 1: the
// window does not get smaller than the dashboard.
DashboardViewport fitDashboard(int32_t width, int32_t height, bool mirrored);

// The dashboard pixel shown at device pixel (x, y) of the area; nothing outside the picture.
std::optional<Point> dashboardPixel(const DashboardViewport& view, int32_t x, int32_t y);

} // namespace velocimo
