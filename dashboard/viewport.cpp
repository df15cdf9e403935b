#include "dashboard/viewport.h"

#include <algorithm>
#include <cmath>

namespace velocimo {

int32_t scaledLength(int32_t length, double scale) {
    return static_cast<int32_t>(std::lround(length * scale));
}

DashboardViewport fitDashboard(int32_t width, int32_t height, bool mirrored) {
    DashboardViewport view;
    view.scale = std::max(1.0, std::min(static_cast<double>(width) / kDashboardWidth,
                                        static_cast<double>(height) / kDashboardHeight));
    view.width = scaledLength(kDashboardWidth, view.scale);
    view.height = scaledLength(kDashboardHeight, view.scale);
    view.left = std::max(0, (width - view.width) / 2);
    view.top = std::max(0, (height - view.height) / 2);
    view.mirrored = mirrored;
    return view;
}

std::optional<Point> dashboardPixel(const DashboardViewport& view, int32_t x, int32_t y) {
    int32_t column = x - view.left;
    const int32_t row = y - view.top;
    if (column < 0 || row < 0 || column >= view.width || row >= view.height) {
        return std::nullopt;
    }
    if (view.mirrored) {
        column = view.width - 1 - column;
    }
    // The pixel's centre decides, as it does when the picture is drawn.
    const Point p{static_cast<int32_t>(std::floor((column + 0.5) / view.scale)),
                  static_cast<int32_t>(std::floor((row + 0.5) / view.scale))};
    if (p.x >= kDashboardWidth || p.y >= kDashboardHeight) {
        return std::nullopt;
    }
    return p;
}

} // namespace velocimo
