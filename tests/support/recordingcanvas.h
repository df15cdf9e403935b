#pragma once

// A canvas that keeps every operation, so the painter is tested without Qt.

#include "dashboard/canvas.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace velocimo {

class RecordingCanvas : public Canvas {
public:
    enum class Kind {
        Font,
        PenSel,
        BrushSel,
        TextColour,
        Picture,
        Icon,
        Text,
        Line,
        Polyline,
        Polygon,
        RoundRect
    };
    struct Op {
        Kind kind = Kind::Font;
        FontId font = FontId::Font12;
        Pen pen;
        Brush brush;
        Colour colour;
        int32_t resource = 0;
        Point at;
        std::u16string text;
        Rect rect;
        uint32_t flags = 0;
        std::vector<Point> points;
        int32_t ellipseWidth = 0;
        int32_t ellipseHeight = 0;
    };

    void setFont(FontId font) override;
    void setPen(const Pen& pen) override;
    void setBrush(const Brush& brush) override;
    void setTextColour(Colour colour) override;
    void drawPicture(int32_t resource) override;
    void drawIcon(int32_t resource, int32_t x, int32_t y) override;
    void drawText(std::u16string_view text, const Rect& rect, uint32_t flags) override;
    void drawLine(Point from, Point to) override;
    void drawPolyline(const Point* points, std::size_t count) override;
    void drawPolygon(const Point* points, std::size_t count) override;
    void drawRoundRect(const Rect& rect, int32_t ellipseWidth, int32_t ellipseHeight) override;

    const std::vector<Op>& ops() const { return m_ops; }
    void clear() { m_ops.clear(); }

private:
    std::vector<Op> m_ops;
};

} // namespace velocimo
