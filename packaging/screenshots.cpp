// Paints the pictures the software centres show: the day dashboard on the big-speed page and
// the night compass, each after a short made-up drive fed through the sentence handlers, so
// they look as the program would after a few minutes on the road.
// Usage: velocimo_screenshots OUTPUT_DIR

#include "dashboard/qtcanvas.h"
#include "nmea/handlers.h"
#include "shell/core/utf.h"
#include "trip/readouts.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>

#include <cmath>
#include <cstdio>
#include <string>

namespace velocimo {
namespace {

constexpr int kScale = 2; // the dashboard is 240 x 268; the stores show bigger pictures
constexpr double kKnotsPerKmh = 1.0 / 1.852;

std::string nmeaAngle(double degrees, int degreeDigits) {
    const double whole = std::floor(degrees);
    char text[32];
    std::snprintf(text, sizeof text, "%0*d%07.4f", degreeDigits, static_cast<int>(whole),
                  (degrees - whole) * 60.0);
    return text;
}

void feed(NavState& nav, const DecodeEnv& env, const char* format, auto... values) {
    char line[160];
    std::snprintf(line, sizeof line, format, values...);
    const std::u16string text = fromUtf8(line);
    if (text.starts_with(u"$GPRMC")) {
        handleRmc(nav, env, text);
    } else if (text.starts_with(u"$GPGGA")) {
        handleGga(nav, env, text);
    } else {
        handleGsa(nav, env, text);
    }
}

// Four minutes: away from the lights, up to town speed, through a roundabout and out on the
// main road, over a hill.
void drive(NavState& nav, Settings& settings, DashboardState& state, double finalCourse) {
    DecodeEnv env;
    env.options.units = settings.units;
    double latitude = 48.13712;
    double longitude = 11.57549;
    const int seconds = 240;
    for (int t = 0; t < seconds; ++t) {
        const double kmh = t < 20 ? 0.0 : std::min(62.0, (t - 20) * 1.6) - 5.0 * std::sin(t / 9.0);
        const double course = std::fmod(
            finalCourse + 360.0 + (t < 120 ? 3.0 * (120 - t) : 8.0 * std::sin(t / 15.0)), 360.0);
        const double metres = std::max(0.0, kmh) / 3.6;
        latitude += metres * std::cos(course * M_PI / 180) / 111320.0;
        longitude +=
            metres * std::sin(course * M_PI / 180) / (111320.0 * std::cos(latitude * M_PI / 180));
        const double altitude = 520.0 + 40.0 * std::sin(t / 40.0);
        const int clock = 14 * 3600 + 32 * 60 + t;
        const int hhmmss = clock / 3600 * 10000 + clock / 60 % 60 * 100 + clock % 60;
        const std::string lat = nmeaAngle(latitude, 2);
        const std::string lon = nmeaAngle(longitude, 3);
        feed(nav, env, "$GPRMC,%06d.00,A,%s,N,%s,E,%.1f,%.1f,090726,2.9,E", hhmmss, lat.c_str(),
             lon.c_str(), std::max(0.0, kmh) * kKnotsPerKmh, course);
        feed(nav, env, "$GPGGA,%06d.00,%s,N,%s,E,1,09,0.9,%.1f,M,47.0,M,,", hhmmss, lat.c_str(),
             lon.c_str(), altitude);
        feed(nav, env, "%s", "$GPGSA,A,3,02,05,07,13,15,18,20,24,29,,,,1.7,0.9,1.4");
        sampleHistories(state, nav, settings);
    }
}

bool shoot(const QString& path, int32_t display, int32_t nightMode, double finalCourse) {
    NavState nav;
    resetNavState(nav);
    Settings settings;
    settings.speedLimits[0] = kDefaultSpeedLimits[0];
    settings.speedLimits[1] = kDefaultSpeedLimits[1];
    settings.speedLimits[2] = kDefaultSpeedLimits[2];
    settings.maxSpeed = kDefaultMaxSpeed;
    settings.maxElevation = kDefaultMaxElevation;
    settings.units = kDefaultUnits;
    settings.selectedLimit = 1;
    settings.selectedDisplay = display;
    settings.nightMode = nightMode;
    nav.gpsConnected = true;
    updateUnitLabels(nav, settings.units);
    DashboardState state;
    applyNightMode(state, settings);
    drive(nav, settings, state, finalCourse);

    QImage image(240 * kScale, 268 * kScale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(kScale);
    renderDashboard(image, nav, settings, state, true);
    image.setDevicePixelRatio(1);
    if (!image.save(path)) {
        std::fprintf(stderr, "velocimo_screenshots: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace
} // namespace velocimo

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: velocimo_screenshots OUTPUT_DIR\n");
        return 2;
    }
    // Runs during the build, where there may be no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QString folder = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "velocimo_screenshots: cannot make %s\n", argv[1]);
        return 1;
    }
    using namespace velocimo;
    const bool ok = shoot(folder + QStringLiteral("/dashboard-day.png"), DisplaySpeed, 0, 75.0) &&
                    shoot(folder + QStringLiteral("/compass-night.png"), DisplayCompass, 1, 233.0);
    return ok ? 0 : 1;
}
