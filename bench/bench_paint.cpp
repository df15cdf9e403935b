// Time of one whole dashboard paint into the back buffer. Run with
// --benchmark_repetitions=9 --benchmark_report_aggregates_only=true for the median.

#include "dashboard/qtcanvas.h"

#include <benchmark/benchmark.h>

#include <QGuiApplication>

#include <cstdlib>

namespace velocimo {
namespace {

// keptLayouts false paints through a bare canvas, as every paint did before the renderer
// kept its text layouts: the reference the cache is measured against. scale: device pixels
// per dashboard pixel, as in a larger window. moving: the histories take a new sample before
// every paint, as each second live; else only the grid moves.
void paintPage(benchmark::State& run, int32_t display, bool keptLayouts, double scale,
               bool moving = false) {
    NavState nav;
    resetNavState(nav);
    nav.gpsConnected = true;
    nav.fixValid = true;
    nav.speed = 57.4;
    nav.speedText.assignUtf8("57.4");
    nav.course = 233.0;
    nav.courseText.assignUtf8("233\u00b0");
    nav.compassPointText.assignUtf8("SW");
    nav.elevation = 312.0;
    nav.elevationText.assignUtf8("312m");
    Settings settings;
    settings.speedLimits[0] = 50;
    settings.speedLimits[1] = 80;
    settings.speedLimits[2] = 100;
    settings.maxSpeed = 120;
    settings.maxElevation = 500;
    settings.selectedDisplay = display;
    DashboardState state;
    applyNightMode(state, settings);
    DashboardRenderer renderer;
    renderer.setScale(scale);
    // Full histories, as after a few minutes of driving.
    const auto sample = [&](std::size_t i) {
        nav.speed = 40.0 + static_cast<double>(i % 37);
        if (moving) {
            nav.elevation = 280.0 + static_cast<double>(i % 29) * 3.0;
        }
        sampleHistories(state, nav, settings);
    };
    std::size_t samples = 0;
    for (; samples < kHistorySize; ++samples) {
        sample(samples);
    }
    for (auto _ : run) {
        if (moving) {
            sample(samples++);
        }
        if (keptLayouts) {
            renderer.render(nav, settings, state, true);
        } else {
            renderDashboard(renderer.backBuffer(), nav, settings, state, true);
        }
        benchmark::DoNotOptimize(renderer.backBuffer().constBits());
    }
}

void BM_Paint(benchmark::State& run, int32_t display, bool keptLayouts) {
    paintPage(run, display, keptLayouts, 1.0);
}

// Twice the size each way: within twice the time of the same page at 1x.
void BM_Paint2x(benchmark::State& run, int32_t display) {
    paintPage(run, display, true, 2.0);
}

// Each paint after a new sample: the traces change every time.
void BM_PaintMoving(benchmark::State& run, int32_t display, double scale) {
    paintPage(run, display, true, scale, true);
}

BENCHMARK_CAPTURE(BM_Paint, BigSpeed, DisplaySpeed, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Paint, SpeedGraph, DisplaySpeedGraph, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Paint, Compass, DisplayCompass, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Paint, ElevationGraph, DisplayElevationGraph, true)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Paint, Status, DisplayStatus, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Paint, Position, DisplayPosition, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Paint, BigSpeedDrawText, DisplaySpeed, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Paint, SpeedGraphDrawText, DisplaySpeedGraph, false)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Paint, CompassDrawText, DisplayCompass, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Paint, ElevationGraphDrawText, DisplayElevationGraph, false)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Paint, StatusDrawText, DisplayStatus, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Paint, PositionDrawText, DisplayPosition, false)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Paint2x, BigSpeed, DisplaySpeed)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Paint2x, SpeedGraph, DisplaySpeedGraph)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Paint2x, Compass, DisplayCompass)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Paint2x, ElevationGraph, DisplayElevationGraph)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Paint2x, Status, DisplayStatus)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Paint2x, Position, DisplayPosition)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_PaintMoving, SpeedGraph, DisplaySpeedGraph, 1.0)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_PaintMoving, ElevationGraph, DisplayElevationGraph, 1.0)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_PaintMoving, SpeedGraph2x, DisplaySpeedGraph, 2.0)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_PaintMoving, ElevationGraph2x, DisplayElevationGraph, 2.0)
    ->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace velocimo

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
