#pragma once

// Colours, pens, brushes, fonts and art numbers of the dashboard, as plain values.

#include <cstdint>

namespace velocimo {

struct Colour {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    friend bool operator==(const Colour&, const Colour&) = default;
};

// Every pen is solid.
struct Pen {
    Colour colour;
    int32_t width = 1;
    friend bool operator==(const Pen&, const Pen&) = default;
};

struct Brush {
    Colour colour;
    friend bool operator==(const Brush&, const Brush&) = default;
};

// Tahoma at a character height of 12, 18, 30 and 80 pixels; only font80 is bold.
enum class FontId { Font12, Font18, Font30, Font80 };

struct FontSpec {
    int32_t pixelHeight;
    int32_t weight;
};
FontSpec fontSpec(FontId id);

// What a fresh drawing surface holds before anything is selected.
inline constexpr Pen kDefaultPen = {{0, 0, 0}, 1};
inline constexpr Brush kDefaultBrush = {{255, 255, 255}};

// Made once, the same by day and night.
struct FixedObjects {
    Pen limitSeriesPen = {{255, 0, 0}, 2};
    Brush northBrush = {{255, 0, 0}};
    Brush southBrush = {{0, 0, 255}};
};
inline constexpr FixedObjects kFixedObjects{};

// Resource numbers of the art.
enum ArtResource : int32_t {
    IconProgram = 112,
    IconSun = 115,
    IconMoon = 116,
    IconNoFix = 127,
    IconSpeedGraph = 129,
    IconOdometer = 130,
    IconMountain = 132,
    IconCompass = 135,
    IconFix3 = 142,
    IconFix0 = 143,
    IconFix1 = 144,
    IconFix2 = 145,
    BitmapNight = 137,
    BitmapDay = 138,
};

// The set that changes with NightMode.
struct DashboardTheme {
    Colour textColour;
    int32_t backgroundBitmap = BitmapDay;
    // The background picture's colour around its panels; a larger window shows it around the
    // dashboard too.
    Colour backdrop;
    Brush faceBrush;
    Pen gridPen;
    Pen seriesPen;
    Brush limitBrush;
    Brush selectedLimitBrush;
    Pen thinPen;
    Pen thickPen;
    friend bool operator==(const DashboardTheme&, const DashboardTheme&) = default;
};

// NightMode 1 or more is night; anything less (negative included) is day.
inline bool isNight(int32_t nightMode) {
    return nightMode >= 1;
}
DashboardTheme makeTheme(int32_t nightMode);

} // namespace velocimo
