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
// per dashboard pixel, as in a larger window.
void paintPage(benchmark::State& run, int32_t display, bool keptLayouts, double scale) {
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
    for (std::size_t i = 0; i < kHistorySize; ++i) {
        nav.speed = 40.0 + static_cast<double>(i % 37);
        sampleHistories(state, nav, settings);
    }
    for (auto _ : run) {
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
