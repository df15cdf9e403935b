#pragma once

// The graphs' traces kept between paints as the coverage their smoothed strokes leave: while a
// trace's points stay the same it is blended from that, for a fraction of stroking it again.

#include "dashboard/canvas.h"
#include "dashboard/coverage.h"

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QRgb>

#include <cstdint>
#include <vector>

class QPainter;

namespace velocimo {

class KeptStrokes {
public:
    // Draws the polyline smoothed with the painter's pen (solid, round caps and joins), from
    // the kept coverage where the same was drawn before. Draws nothing and returns false the
    // first time a polyline is seen, and where the painter cannot take the coverage pixel for
    // pixel: then draw it with the painter.
    bool draw(QPainter& painter, const Point* points, std::size_t count);
    void clear() { m_strokes.clear(); }

private:
    struct Stroke {
        std::vector<Point> points;
        QRgb colour = 0;
        qreal width = 0;
        qreal scaleX = 0;
        qreal scaleY = 0;
        QImage coverage; // premultiplied: the pen's colour times the stroke's coverage; null
                         // until the polyline is drawn a second time
        QPoint at;       // where the coverage lies, device pixels before the painter's move
        CoverageRuns runs;
        uint64_t lastUse = 0;
    };
    static void make(Stroke& stroke, const QPainter& painter);
    static constexpr std::size_t kCapacity = 4; // the speed, limit and elevation traces
    std::vector<Stroke> m_strokes;
    uint64_t m_clock = 0;
};

} // namespace velocimo
