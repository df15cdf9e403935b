#include "tests/support/recordingcanvas.h"

namespace velocimo {

void RecordingCanvas::setFont(FontId font) {
    Op op;
    op.kind = Kind::Font;
    op.font = font;
    m_ops.push_back(std::move(op));
}

void RecordingCanvas::setPen(const Pen& pen) {
    Op op;
    op.kind = Kind::PenSel;
    op.pen = pen;
    m_ops.push_back(std::move(op));
}

void RecordingCanvas::setBrush(const Brush& brush) {
    Op op;
    op.kind = Kind::BrushSel;
    op.brush = brush;
    m_ops.push_back(std::move(op));
}

void RecordingCanvas::setTextColour(Colour colour) {
    Op op;
    op.kind = Kind::TextColour;
    op.colour = colour;
    m_ops.push_back(std::move(op));
}

void RecordingCanvas::drawPicture(int32_t resource) {
    Op op;
    op.kind = Kind::Picture;
    op.resource = resource;
    m_ops.push_back(std::move(op));
}

void RecordingCanvas::drawIcon(int32_t resource, int32_t x, int32_t y) {
    Op op;
    op.kind = Kind::Icon;
    op.resource = resource;
    op.at = {x, y};
    m_ops.push_back(std::move(op));
}

void RecordingCanvas::drawText(std::u16string_view text, const Rect& rect, uint32_t flags) {
    Op op;
    op.kind = Kind::Text;
    op.text = std::u16string(text);
    op.rect = rect;
    op.flags = flags;
    m_ops.push_back(std::move(op));
}

void RecordingCanvas::drawLine(Point from, Point to) {
    Op op;
    op.kind = Kind::Line;
    op.points = {from, to};
    m_ops.push_back(std::move(op));
}

void RecordingCanvas::drawPolyline(const Point* points, std::size_t count) {
    Op op;
    op.kind = Kind::Polyline;
    op.points.assign(points, points + count);
    m_ops.push_back(std::move(op));
}

void RecordingCanvas::drawPolygon(const Point* points, std::size_t count) {
    Op op;
    op.kind = Kind::Polygon;
    op.points.assign(points, points + count);
    m_ops.push_back(std::move(op));
}

void RecordingCanvas::drawRoundRect(const Rect& rect, int32_t ellipseWidth, int32_t ellipseHeight) {
    Op op;
    op.kind = Kind::RoundRect;
    op.rect = rect;
    op.ellipseWidth = ellipseWidth;
    op.ellipseHeight = ellipseHeight;
    m_ops.push_back(std::move(op));
}

} // namespace velocimo
