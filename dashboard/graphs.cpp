#include "dashboard/dashboard.h"

#include "shell/core/units.h"

#include <cmath>

namespace velocimo {

namespace {

void drawTrace(Canvas& canvas, const Rect& r, const int8_t (&history)[kHistorySize]) {
    Point points[kHistorySize];
    std::size_t count = 0;
    const int32_t height = r.bottom - r.top;
    for (std::size_t j = 0; j < kHistorySize; ++j) {
        const int32_t x = r.right - 2 * static_cast<int32_t>(j);
        if (x <= r.left) {
            break;
        }
        points[count++] = {x, r.top + ((100 - history[j]) * height) / 100};
    }
    canvas.drawPolyline(points, count);
}

} // namespace

Point compassPoint(Point centre, double radius, double angleDegrees) {
    const double a = angleDegrees * kRadiansPerDegree;
    return {truncToInt(std::sin(a) * radius + centre.x),
            truncToInt(centre.y - std::cos(a) * radius)};
}

void drawGraph(Canvas& canvas, const NavState& nav, const Settings& settings, DashboardState& state,
               bool advance) {
    const bool speedGraph = displayModeFrom(settings.selectedDisplay) == DisplayMode::SpeedGraph;
    const Rect r = speedGraph ? kLayout.speedGraphRect : kLayout.elevationGraphRect;

    // The grid moves only on this page and only with a live fix.
    if (advance && nav.gpsConnected && nav.fixValid) {
        state.gridScrollOffset = (state.gridScrollOffset + 2) % 12;
    }

    canvas.setPen(state.theme.gridPen);
    for (int32_t k = 0; k <= r.bottom - r.top; k += 12) {
        canvas.drawLine({r.left, r.top + k}, {r.right, r.top + k});
    }
    for (int32_t k = 12;; k += 12) {
        const int32_t x = r.left - state.gridScrollOffset + k;
        if (x >= r.right) {
            break;
        }
        canvas.drawLine({x, r.top}, {x, r.bottom});
    }

    canvas.setPen(state.theme.seriesPen);
    if (speedGraph) {
        drawTrace(canvas, r, state.speedHistory);
        canvas.setPen(kFixedObjects.limitSeriesPen);
        drawTrace(canvas, r, state.limitHistory);
    } else {
        drawTrace(canvas, r, state.elevationHistory);
    }

    FixedText<16> scale;
    scale.format("%d", speedGraph ? settings.maxSpeed : settings.maxElevation);
    canvas.setFont(FontId::Font12);
    canvas.drawText(scale.view(), r, TextLeft | TextTop | TextSingleLine);
    canvas.drawText(u"0", r, TextLeft | TextBottom | TextSingleLine);
    canvas.setFont(FontId::Font30);
    canvas.drawText(speedGraph ? nav.speedText.view() : nav.elevationText.view(), r,
                    TextRight | TextBottom | TextSingleLine);
}

void drawCompass(Canvas& canvas, const NavState& nav, const DashboardState& state) {
    static constexpr const char16_t* kLabels[8] = {u"N", u"NE", u"E", u"SE",
                                                   u"S", u"SW", u"W", u"NW"};
    const DashboardTheme& theme = state.theme;
    const Point c = kLayout.compassCentre;
    const double h = nav.fixValid ? nav.course : 0.0;

    canvas.setPen(theme.thinPen);
    canvas.setBrush(theme.faceBrush);
    canvas.setFont(FontId::Font12);
    canvas.drawRoundRect({c.x - 51, c.y - 51, c.x + 51, c.y + 51}, 100, 100);

    for (int32_t t = 0; t < 360; t += 15) {
        const double a = t - h;
        if (t % 45 == 0) {
            const Point at = compassPoint(c, 61, a);
            canvas.drawText(kLabels[t / 45], {at.x, at.y, at.x, at.y},
                            TextCenter | TextVCenter | TextSingleLine);
            canvas.setPen(theme.thickPen);
        } else {
            canvas.setPen(theme.thinPen);
        }
        canvas.drawLine(compassPoint(c, 40, a), compassPoint(c, 50, a));
    }

    // Outlined with the pen of the last tick.
    const Point base1 = compassPoint(c, 8, -h - 90);
    const Point base2 = compassPoint(c, 8, 90 - h);
    const Point north[3] = {base1, compassPoint(c, 50, -h), base2};
    const Point south[3] = {base1, compassPoint(c, 50, 180 - h), base2};
    canvas.setBrush(kFixedObjects.northBrush);
    canvas.drawPolygon(north, 3);
    canvas.setBrush(kFixedObjects.southBrush);
    canvas.drawPolygon(south, 3);

    canvas.setFont(FontId::Font30);
    canvas.drawText(nav.courseText.view(), kLayout.compassCourseRect,
                    TextRight | TextVCenter | TextSingleLine);
    canvas.drawText(nav.compassPointText.view(), kLayout.compassPointRect,
                    TextRight | TextVCenter | TextSingleLine);
}

} // namespace velocimo
