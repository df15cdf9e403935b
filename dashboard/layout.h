#pragma once

// Where everything sits on the 240 x 268 dashboard, in client pixels.

#include <cstdint>
#include <optional>

namespace velocimo {

// The pages the SelectedDisplay setting picks.
enum class DisplayMode : int32_t {
    Speed = 0,
    SpeedGraph = 1,
    Compass = 3,
    ElevationGraph = 4,
    Status = 5,
    Position = 6,
};

// The stored SelectedDisplay values, as taps write them.
inline constexpr int32_t DisplaySpeed = static_cast<int32_t>(DisplayMode::Speed);
inline constexpr int32_t DisplaySpeedGraph = static_cast<int32_t>(DisplayMode::SpeedGraph);
inline constexpr int32_t DisplayCompass = static_cast<int32_t>(DisplayMode::Compass);
inline constexpr int32_t DisplayElevationGraph = static_cast<int32_t>(DisplayMode::ElevationGraph);
inline constexpr int32_t DisplayStatus = static_cast<int32_t>(DisplayMode::Status);
inline constexpr int32_t DisplayPosition = static_cast<int32_t>(DisplayMode::Position);

// 2 is unused: it, like any unknown stored value, gives nothing and paints an empty panel.
constexpr std::optional<DisplayMode> displayModeFrom(int32_t stored) {
    switch (stored) {
    case DisplaySpeed:
    case DisplaySpeedGraph:
    case DisplayCompass:
    case DisplayElevationGraph:
    case DisplayStatus:
    case DisplayPosition:
        return static_cast<DisplayMode>(stored);
    default:
        return std::nullopt;
    }
}

struct Point {
    int32_t x = 0;
    int32_t y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

// Edges as (left, top, right, bottom).
struct Rect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

struct DashboardLayout {
    Rect longitudeRect;
    Rect latitudeRect;
    Rect positionTapRect;
    Rect speedCellRect;
    Rect elevationCellRect;
    Rect compassPointCellRect;
    Rect courseCellRect;
    // Button origins: the top-left corner of each 32 x 32 icon.
    Point nightButton;
    Point speedGraphButton;
    Point elevationGraphButton;
    Point compassButton;
    Point speedButton;
    Point statusButton;
    Rect limitRects[3];
    Rect unitRect;
    Rect bigSpeedRect;
    Rect summaryRect;
    Rect speedGraphRect;
    Rect elevationGraphRect;
    Point compassCentre;
    Rect compassCourseRect;
    Rect compassPointRect;
    Rect statusPageRect;
    Rect positionPageRect;
};

inline constexpr int32_t kDashboardWidth = 240;
inline constexpr int32_t kDashboardHeight = 268;
inline constexpr int32_t kIconSize = 32;

inline constexpr DashboardLayout kLayout = {
    .longitudeRect = {3, 3, 120, 19},
    .latitudeRect = {120, 3, 237, 19},
    .positionTapRect = {3, 3, 237, 19},
    .speedCellRect = {4, 24, 62, 40},
    .elevationCellRect = {62, 24, 120, 40},
    .compassPointCellRect = {120, 24, 178, 40},
    .courseCellRect = {178, 24, 236, 40},
    .nightButton = {7, 51},
    .speedGraphButton = {45, 51},
    .elevationGraphButton = {84, 51},
    .compassButton = {123, 51},
    .speedButton = {162, 51},
    .statusButton = {201, 51},
    .limitRects = {{11, 231, 70, 261}, {91, 231, 150, 261}, {171, 231, 230, 261}},
    .unitRect = {160, 172, 230, 182},
    .bigSpeedRect = {11, 101, 230, 172},
    .summaryRect = {11, 180, 230, 210},
    .speedGraphRect = {10, 100, 230, 220},
    .elevationGraphRect = {10, 100, 230, 220},
    .compassCentre = {82, 158},
    .compassCourseRect = {180, 100, 215, 150},
    .compassPointRect = {180, 150, 215, 200},
    .statusPageRect = {11, 92, 230, 222},
    .positionPageRect = {11, 92, 230, 222},
};

} // namespace velocimo
