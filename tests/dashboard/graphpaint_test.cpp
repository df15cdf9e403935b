// The graph pages painted by the renderer (traces blended from kept coverage, grid lines
// filled in place) must be the pictures the bare canvas paints, paint after paint.

#include "dashboard/keptstrokes.h"
#include "dashboard/qtcanvas.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace velocimo {
namespace {

struct GraphCase {
    int32_t display;
    double scale;
    std::size_t filled; // samples taken before the first paint
    int32_t night;
};

class GraphPage : public ::testing::TestWithParam<GraphCase> {};

TEST_P(GraphPage, IsTheBareCanvasPicturePaintAfterPaint) {
    const GraphCase page = GetParam();
    NavState nav;
    resetNavState(nav);
    nav.gpsConnected = true;
    nav.fixValid = true;
    nav.speedText.assignUtf8("57.4");
    nav.elevationText.assignUtf8("312m");
    Settings settings;
    settings.speedLimits[0] = 50;
    settings.maxSpeed = 120;
    settings.maxElevation = 500;
    settings.selectedDisplay = page.display;
    settings.nightMode = page.night;
    DashboardState state;
    applyNightMode(state, settings);
    uint32_t random = 12345;
    const auto sample = [&] {
        random = random * 1103515245u + 12345u;
        // Beyond the scales at times: clamped speeds, the elevation scale growing.
        nav.speed = static_cast<double>((random >> 8) % 150);
        nav.elevation = static_cast<double>((random >> 16) % 640);
        sampleHistories(state, nav, settings);
    };
    for (std::size_t i = 0; i < page.filled; ++i) {
        sample();
    }
    DashboardRenderer renderer;
    renderer.setScale(page.scale);
    // Shifted before most paints, as each second live; the same histories painted three
    // times running (seen, kept, blended) now and then.
    for (int step = 0; step < 24; ++step) {
        if (step % 6 < 3) {
            sample();
        }
        QImage direct(renderer.backBuffer().size(), QImage::Format_RGB32);
        direct.setDevicePixelRatio(page.scale);
        direct.fill(Qt::white);
        {
            QtCanvas canvas(direct);
            NavState n = nav;
            DashboardState s = state;
            paintDashboard(canvas, n, settings, s, true);
        }
        renderer.render(nav, settings, state, true);
        ASSERT_TRUE(renderer.backBuffer() == direct)
            << "display " << page.display << " scale " << page.scale << " filled " << page.filled
            << " night " << page.night << " step " << step;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Dashboard, GraphPage, ::testing::ValuesIn([] {
        std::vector<GraphCase> cases;
        for (const double scale : {1.0, 2.0, 1.694}) {
            for (const int32_t display : {DisplaySpeedGraph, DisplayElevationGraph}) {
                cases.push_back({display, scale, kHistorySize, 0});
                cases.push_back({display, scale, kHistorySize, 1});
                cases.push_back({display, scale, 0, 0});
                cases.push_back({display, scale, 40, 1});
            }
        }
        return cases;
    }()));

// Kept only where blending the coverage gives the painter's pixels: from the second time the
// same trace is drawn, on a 32-bit premultiplied page with an opaque solid pen.
struct StrokeCase {
    QImage::Format format;
    int alpha;
    Qt::PenCapStyle cap;
    bool kept;
};

class KeptTrace : public ::testing::TestWithParam<StrokeCase> {};

TEST_P(KeptTrace, IsBlendedOnlyWhereThePainterWouldGiveTheSame) {
    const StrokeCase c = GetParam();
    const Point points[] = {{200, 40}, {198, 47}, {196, 31}, {194, 60}, {192, 12}, {190, 44}};
    KeptStrokes strokes;
    QImage kept(240, 100, c.format);
    kept.fill(QColor(189, 206, 231));
    QImage direct = kept;
    const QPen pen(QColor(0, 0, 255, c.alpha), 2, Qt::SolidLine, c.cap, Qt::RoundJoin);
    QPointF line[std::size(points)];
    std::transform(std::begin(points), std::end(points), line,
                   [](Point p) { return QPointF(p.x, p.y); });
    int blended = 0;
    for (int paint = 0; paint < 3; ++paint) {
        for (QImage* image : {&kept, &direct}) {
            QPainter painter(image);
            painter.setRenderHint(QPainter::Antialiasing, true);
            painter.setPen(pen);
            if (image == &direct || !strokes.draw(painter, points, std::size(points))) {
                painter.drawPolyline(line, static_cast<int>(std::size(points)));
            } else {
                EXPECT_GT(paint, 0);
                ++blended;
            }
        }
        EXPECT_TRUE(kept == direct) << "paint " << paint;
    }
    EXPECT_EQ(blended, c.kept ? 2 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Dashboard, KeptTrace,
    ::testing::Values(StrokeCase{QImage::Format_RGB32, 255, Qt::RoundCap, true},
                      StrokeCase{QImage::Format_ARGB32_Premultiplied, 255, Qt::RoundCap, true},
                      StrokeCase{QImage::Format_ARGB32, 255, Qt::RoundCap, false},
                      StrokeCase{QImage::Format_RGB32, 128, Qt::RoundCap, false},
                      StrokeCase{QImage::Format_RGB32, 255, Qt::FlatCap, false}));

} // namespace
} // namespace velocimo
