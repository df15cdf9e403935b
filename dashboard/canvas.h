#pragma once

// The drawing surface the painter talks to: the Qt back buffer in the program, a recorder in
// the tests. Text is never clipped and never fills its background.

#include "dashboard/layout.h"
#include "dashboard/theme.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace velocimo {

// Text placement inside a rectangle. Without TextSingleLine the text starts at the top and
// breaks only at '\n'; the vertical flags apply to single lines.
enum TextFlags : uint32_t {
    TextLeft = 0,
    TextTop = 0,
    TextCenter = 1u << 0,
    TextRight = 1u << 1,
    TextVCenter = 1u << 2,
    TextBottom = 1u << 3,
    TextSingleLine = 1u << 4,
};

class Canvas {
public:
    virtual ~Canvas() = default;

    virtual void setFont(FontId font) = 0;
    virtual void setPen(const Pen& pen) = 0;
    virtual void setBrush(const Brush& brush) = 0;
    virtual void setTextColour(Colour colour) = 0;

    // Copies a whole background picture to (0, 0).
    virtual void drawPicture(int32_t resource) = 0;
    // A 32 x 32 icon with its top-left corner at (x, y).
    virtual void drawIcon(int32_t resource, int32_t x, int32_t y) = 0;
    virtual void drawText(std::u16string_view text, const Rect& rect, uint32_t flags) = 0;
    virtual void drawLine(Point from, Point to) = 0;
    virtual void drawPolyline(const Point* points, std::size_t count) = 0;
    // Filled with the brush, outlined with the pen.
    virtual void drawPolygon(const Point* points, std::size_t count) = 0;
    // Filled with the brush, outlined with the pen; corners are ellipses of the given size.
    virtual void drawRoundRect(const Rect& rect, int32_t ellipseWidth, int32_t ellipseHeight) = 0;
};

} // namespace velocimo
