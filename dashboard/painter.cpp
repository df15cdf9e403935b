#include "dashboard/dashboard.h"

namespace velocimo {

namespace {

constexpr uint32_t kReadoutLeft = TextVCenter | TextSingleLine;
constexpr uint32_t kReadoutRight = TextRight | TextVCenter | TextSingleLine;

int32_t fixIcon(int32_t frame) {
    switch (frame) {
    case 1:
        return IconFix1;
    case 2:
        return IconFix2;
    case 3:
        return IconFix3;
    default:
        return IconFix0;
    }
}

void drawSpeedPage(Canvas& canvas, NavState& nav) {
    const DashboardLayout& l = kLayout;
    canvas.setFont(FontId::Font18);
    canvas.drawText(nav.speedUnitText.view(), l.unitRect, TextRight | TextBottom | TextSingleLine);
    canvas.setFont(FontId::Font80);
    canvas.drawText(nav.speedText.view(), l.bigSpeedRect, TextRight | TextBottom | TextSingleLine);
    canvas.setFont(FontId::Font18);
    nav.topAvgLineText.assignUtf8("TOP: ");
    nav.topAvgLineText.append(nav.topSpeedText);
    nav.topAvgLineText.appendUtf8("\nAVG: ");
    nav.topAvgLineText.append(nav.averageSpeedText);
    nav.distanceLineText.assign(nav.tripDistanceText);
    nav.distanceLineText.appendUtf8("\n");
    nav.distanceLineText.append(nav.totalDistanceText);
    canvas.drawText(nav.topAvgLineText.view(), l.summaryRect, TextLeft | TextTop);
    canvas.drawText(nav.distanceLineText.view(), l.summaryRect, TextRight | TextTop);
}

void drawStatusPage(Canvas& canvas, NavState& nav) {
    FixedText<256>& t = nav.statusPageText;
    t.assign(nav.fixQualityText);
    t.append(nav.fixDimensionText);
    t.appendUtf8("\nData Valid = ");
    t.append(nav.dataValidText);
    t.appendUtf8("\nSatellites in View = ");
    t.append(nav.satellitesText);
    t.appendUtf8("\nHDOP = ");
    t.append(nav.hdopText);
    t.appendUtf8("\nUTC = ");
    t.append(nav.utcTimeText);
    t.appendUtf8("\nLOC = ");
    t.append(nav.localTimeText);
    canvas.setFont(FontId::Font18);
    canvas.drawText(t.view(), kLayout.statusPageRect, TextLeft | TextTop);
}

void drawPositionPage(Canvas& canvas, NavState& nav) {
    FixedText<256>& t = nav.positionLineText;
    t.assign(nav.latitude.dmsText);
    t.appendUtf8("\n");
    t.append(nav.longitude.dmsText);
    t.appendUtf8("\n");
    t.append(nav.elevationText);
    canvas.setFont(FontId::Font30);
    canvas.drawText(t.view(), kLayout.positionPageRect, TextCenter | TextTop);
}

} // namespace

void paintDashboard(Canvas& canvas, NavState& nav, Settings& settings, DashboardState& state,
                    bool advance) {
    const DashboardLayout& l = kLayout;
    const DashboardTheme& theme = state.theme;

    // A fresh surface every paint: nothing selected by the previous one carries over.
    canvas.setPen(kDefaultPen);
    canvas.setBrush(kDefaultBrush);
    canvas.setTextColour(theme.textColour);
    canvas.drawPicture(theme.backgroundBitmap);

    canvas.setFont(FontId::Font18);
    canvas.drawText(nav.longitude.dmsText.view(), l.longitudeRect, kReadoutLeft);
    canvas.drawText(nav.latitude.dmsText.view(), l.latitudeRect, kReadoutRight);

    // The selected cell is outlined with the default pen: no pen is chosen before it.
    canvas.setFont(FontId::Font30);
    for (int32_t i = 0; i < 3; ++i) {
        if (i == settings.selectedLimit) {
            canvas.setBrush(theme.selectedLimitBrush);
            canvas.drawRoundRect(l.limitRects[i], 10, 10);
        }
        FixedText<16> limit;
        limit.format("%d", settings.speedLimits[i]);
        canvas.drawText(limit.view(), l.limitRects[i], TextCenter | TextVCenter | TextSingleLine);
    }

    canvas.drawIcon(isNight(settings.nightMode) ? IconSun : IconMoon, l.nightButton.x,
                    l.nightButton.y);
    canvas.drawIcon(IconSpeedGraph, l.speedGraphButton.x, l.speedGraphButton.y);
    canvas.drawIcon(IconMountain, l.elevationGraphButton.x, l.elevationGraphButton.y);
    canvas.setFont(FontId::Font18);
    canvas.drawText(nav.elevationText.view(), l.elevationCellRect, kReadoutLeft);
    canvas.drawIcon(IconOdometer, l.speedButton.x, l.speedButton.y);
    canvas.setFont(FontId::Font18);
    canvas.drawText(nav.speedText.view(), l.speedCellRect, kReadoutLeft);
    canvas.drawIcon(IconCompass, l.compassButton.x, l.compassButton.y);
    canvas.setFont(FontId::Font18);
    canvas.drawText(nav.compassPointText.view(), l.compassPointCellRect, kReadoutRight);
    canvas.drawText(nav.courseText.view(), l.courseCellRect, kReadoutRight);

    if (nav.fixValid) {
        canvas.drawIcon(fixIcon(state.gpsIconFrame), l.statusButton.x, l.statusButton.y);
        if (advance) {
            state.gpsIconFrame =
                state.gpsIconFrame >= 3 || state.gpsIconFrame < 0 ? 0 : state.gpsIconFrame + 1;
        }
    } else {
        canvas.drawIcon(IconNoFix, l.statusButton.x, l.statusButton.y);
    }

    if (nav.fixValid && advance) {
        sampleHistories(state, nav, settings);
    }

    const std::optional<DisplayMode> page = displayModeFrom(settings.selectedDisplay);
    if (!page) {
        return;
    }
    switch (*page) {
    case DisplayMode::Speed:
        drawSpeedPage(canvas, nav);
        break;
    case DisplayMode::SpeedGraph:
    case DisplayMode::ElevationGraph:
        drawGraph(canvas, nav, settings, state, advance);
        break;
    case DisplayMode::Compass:
        drawCompass(canvas, nav, state);
        break;
    case DisplayMode::Status:
        drawStatusPage(canvas, nav);
        break;
    case DisplayMode::Position:
        drawPositionPage(canvas, nav);
        break;
    }
}

} // namespace velocimo
