#include "dashboard/theme.h"

namespace velocimo {

FontSpec fontSpec(FontId id) {
    switch (id) {
    case FontId::Font12:
        return {12, 400};
    case FontId::Font18:
        return {18, 400};
    case FontId::Font30:
        return {30, 400};
    case FontId::Font80:
        return {80, 700};
    }
    return {12, 400};
}

DashboardTheme makeTheme(int32_t nightMode) {
    const bool night = isNight(nightMode);
    DashboardTheme t;
    t.textColour = night ? Colour{255, 255, 255} : Colour{0, 0, 0};
    t.faceBrush = night ? Brush{{0, 0, 0}} : Brush{{255, 255, 255}};
    t.gridPen = night ? Pen{{0, 127, 0}, 1} : Pen{{157, 157, 157}, 1};
    t.seriesPen = night ? Pen{{0, 255, 0}, 2} : Pen{{0, 0, 255}, 2};
    t.backgroundBitmap = night ? BitmapNight : BitmapDay;
    t.backdrop = night ? Colour{66, 66, 66} : Colour{189, 206, 231};
    t.limitBrush = Brush{{200, 200, 200}};
    t.selectedLimitBrush = Brush{{255, 0, 0}};
    t.thinPen = Pen{t.textColour, 1};
    t.thickPen = Pen{t.textColour, 3};
    return t;
}

} // namespace velocimo
