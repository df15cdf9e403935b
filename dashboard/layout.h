#pragma once

// Where everything sits on the 240 x 268 dashboard, in client pixels.

#include <cstdint>

namespace velocimo {

// The value of the SelectedDisplay setting. 2 is unused: it, like any unknown value,
// paints an empty page panel.
enum DisplayMode : int32_t {
    DisplaySpeed = 0,
    DisplaySpeedGraph = 1,
    DisplayCompass = 3,
    DisplayElevationGraph = 4,
    DisplayStatus = 5,
    DisplayPosition = 6,
};

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
