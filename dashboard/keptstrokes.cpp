#include "dashboard/keptstrokes.h"

#include "dashboard/devicepixels.h"

#include <QPainter>
#include <QPointF>

#include <algorithm>
#include <cstring>

namespace velocimo {

namespace {

constexpr std::size_t kMaxPoints = 512;

void drawLine(QPainter& painter, const Point* points, std::size_t count) {
    QPointF buffer[kMaxPoints];
    for (std::size_t i = 0; i < count; ++i) {
        buffer[i] = QPointF(points[i].x, points[i].y);
    }
    painter.drawPolyline(buffer, static_cast<int>(count));
}

} // namespace

bool KeptStrokes::draw(QPainter& painter, const Point* points, std::size_t count) {
    const QImage* target = directImage(painter);
    const QPen& pen = painter.pen();
    // Qt fills a wide smoothed stroke as one outline, each pixel blended once with its
    // coverage: the same as the coverage drawn alone and blended as a premultiplied pixel.
    if (!target || count < 2 || count > kMaxPoints || pen.style() != Qt::SolidLine ||
        pen.brush().style() != Qt::SolidPattern || pen.color().alpha() != 255 || pen.isCosmetic() ||
        pen.capStyle() != Qt::RoundCap || pen.joinStyle() != Qt::RoundJoin ||
        (target->format() != QImage::Format_RGB32 &&
         target->format() != QImage::Format_ARGB32_Premultiplied)) {
        return false;
    }
    const QTransform& device = painter.deviceTransform();
    const QRgb colour = pen.color().rgba();
    ++m_clock;
    Stroke* found = nullptr;
    for (Stroke& s : m_strokes) {
        if (s.colour == colour && s.width == pen.widthF() && s.scaleX == device.m11() &&
            s.scaleY == device.m22() && s.points.size() == count &&
            std::memcmp(s.points.data(), points, count * sizeof(Point)) == 0) {
            found = &s;
            break;
        }
    }
    if (!found) {
        if (m_strokes.size() < kCapacity) {
            found = &m_strokes.emplace_back();
        } else {
            found = &*std::min_element(
                m_strokes.begin(), m_strokes.end(),
                [](const Stroke& a, const Stroke& b) { return a.lastUse < b.lastUse; });
        }
        found->points.assign(points, points + count);
        found->colour = colour;
        found->width = pen.widthF();
        found->scaleX = device.m11();
        found->scaleY = device.m22();
        found->coverage = QImage();
        found->lastUse = m_clock;
        // Seen once: a trace that moves every paint costs no more than before.
        return false;
    }
    found->lastUse = m_clock;
    if (found->coverage.isNull()) {
        make(*found, painter);
    }

    // What the painter's own blend gives: the premultiplied coverage over the page.
    found->runs.blend(*target, found->coverage, found->at + deviceShift(painter));
    return true;
}

void KeptStrokes::make(Stroke& stroke, const QPainter& painter) {
    const std::vector<Point>& p = stroke.points;
    int32_t left = p[0].x, right = left, top = p[0].y, bottom = top;
    for (const Point& point : p) {
        left = std::min(left, point.x);
        right = std::max(right, point.x);
        top = std::min(top, point.y);
        bottom = std::max(bottom, point.y);
    }
    // Room for the pen and smoothing; drawn through the same scale, moved by whole pixels.
    const qreal margin = stroke.width + 2;
    const QTransform scale = QTransform::fromScale(stroke.scaleX, stroke.scaleY);
    const QRect bounds = scale
                             .mapRect(QRectF(QPointF(left, top), QPointF(right, bottom))
                                          .adjusted(-margin, -margin, margin, margin))
                             .toAlignedRect();
    stroke.coverage = QImage(bounds.size(), QImage::Format_ARGB32_Premultiplied);
    stroke.coverage.fill(Qt::transparent);
    {
        QPainter line(&stroke.coverage);
        line.setRenderHint(QPainter::Antialiasing, true);
        line.setTransform(scale * QTransform::fromTranslate(-bounds.x(), -bounds.y()));
        line.setPen(painter.pen());
        drawLine(line, p.data(), p.size());
    }
    stroke.at = bounds.topLeft();
    stroke.runs.find(stroke.coverage);
}

} // namespace velocimo
