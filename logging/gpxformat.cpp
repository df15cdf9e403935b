#include "logging/gpxformat.h"

#include "shell/core/civildays.h"
#include "shell/core/units.h"

#include <charconv>
#include <cmath>

namespace velocimo {

namespace {

constexpr std::string_view kDocumentStart =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<gpx version=\"1.1\" creator=\"Velocimo\" xmlns=\"http://www.topografix.com/GPX/1/1\""
    " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\""
    " xmlns:gpxtpx=\"http://www.garmin.com/xmlschemas/TrackPointExtension/v2\""
    " xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1"
    " http://www.topografix.com/GPX/1/1/gpx.xsd\">\n";
constexpr std::string_view kTrackStart = "  <trk>\n    <trkseg>\n";
constexpr std::string_view kSegmentBreak = "    </trkseg>\n    <trkseg>\n";
constexpr std::string_view kClosing = "    </trkseg>\n  </trk>\n</gpx>\n";

constexpr double kFeetPerMetre = 3.2808399;
constexpr double kMetresPerSecondPerKnot = 1852.0 / 3600.0;

// Bounded appending into the caller's buffer; overflow is remembered, not written.
class Out {
public:
    Out(char* out, std::size_t capacity) : m_out(out), m_capacity(capacity) {}
    void text(std::string_view s) {
        if (s.size() > m_capacity - m_length) {
            m_overflow = true;
            return;
        }
        s.copy(m_out + m_length, s.size());
        m_length += s.size();
    }
    // Fixed notation in the C locale: xsd:decimal has no exponent.
    void number(double value, int decimals) {
        char digits[64];
        const auto r = std::to_chars(digits, digits + sizeof digits, value,
                                     std::chars_format::fixed, decimals);
        if (r.ec != std::errc()) {
            m_overflow = true;
            return;
        }
        text(std::string_view(digits, static_cast<std::size_t>(r.ptr - digits)));
    }
    void integer(int64_t value, int width) {
        char digits[24];
        const auto r = std::to_chars(digits, digits + sizeof digits, value);
        const auto n = static_cast<int>(r.ptr - digits);
        for (int i = n; i < width; ++i) {
            text("0");
        }
        text(std::string_view(digits, static_cast<std::size_t>(n)));
    }
    std::size_t length() const { return m_overflow ? 0 : m_length; }

private:
    char* m_out;
    std::size_t m_capacity;
    std::size_t m_length = 0;
    bool m_overflow = false;
};

void formatTime(Out& out, int64_t ms) {
    const int64_t days = ms >= 0 ? ms / 86400000 : (ms - 86399999) / 86400000;
    const int64_t ofDay = ms - days * 86400000;
    const CivilDate date = civilFromDays(days);
    out.integer(date.year, 4);
    out.text("-");
    out.integer(date.month, 2);
    out.text("-");
    out.integer(date.day, 2);
    out.text("T");
    out.integer(ofDay / 3600000, 2);
    out.text(":");
    out.integer(ofDay / 60000 % 60, 2);
    out.text(":");
    out.integer(ofDay / 1000 % 60, 2);
    if (ofDay % 1000 != 0) {
        out.text(".");
        out.integer(ofDay % 1000, 3);
    }
    out.text("Z");
}

void formatPoint(Out& out, const GpxPoint& p) {
    out.text("      <trkpt lat=\"");
    out.number(p.latitude, 7);
    out.text("\" lon=\"");
    out.number(p.longitude, 7);
    out.text("\">\n");
    if (p.hasElevation) {
        out.text("        <ele>");
        out.number(p.elevation, 2);
        out.text("</ele>\n");
    }
    if (p.hasTime) {
        out.text("        <time>");
        formatTime(out, p.timeMs);
        out.text("</time>\n");
    }
    if (p.hasSpeed) {
        out.text("        <extensions><gpxtpx:TrackPointExtension><gpxtpx:speed>");
        out.number(p.speed, 2);
        out.text("</gpxtpx:speed></gpxtpx:TrackPointExtension></extensions>\n");
    }
    out.text("      </trkpt>\n");
}

} // namespace

std::string_view gpxDocumentStart() {
    return kDocumentStart;
}

std::string_view gpxClosingTags() {
    return kClosing;
}

bool gpsTimeMs(int32_t ddmmyy, double hhmmss, int64_t& ms) {
    const int32_t day = ddmmyy / 10000;
    const int32_t month = ddmmyy / 100 % 100;
    const int32_t yy = ddmmyy % 100;
    if (ddmmyy <= 0 || day < 1 || day > 31 || month < 1 || month > 12 || !std::isfinite(hhmmss) ||
        hhmmss < 0 || hhmmss >= 240000) {
        return false;
    }
    // Two-digit years: receivers of the last century said 80-99.
    const int32_t year = yy >= 80 ? 1900 + yy : 2000 + yy;
    const auto clock = static_cast<int64_t>(std::llround(hhmmss * 1000));
    const int64_t whole = clock / 1000;
    const int64_t hours = whole / 10000;
    const int64_t minutes = whole / 100 % 100;
    const int64_t seconds = whole % 100;
    if (hours > 23 || minutes > 59 || seconds > 60) {
        return false;
    }
    ms = daysFromCivil(year, month, day) * 86400000 + hours * 3600000 + minutes * 60000 +
         seconds * 1000 + clock % 1000;
    return true;
}

bool gpxPointOf(const NavState& nav, int32_t units, GpxPoint& point) {
    const double lat = nav.latitude.decimalDegrees;
    double lon = nav.longitude.decimalDegrees;
    if (!nav.fixValid || !std::isfinite(lat) || !std::isfinite(lon) || lat < -90 || lat > 90 ||
        lon < -180 || lon > 180) {
        return false;
    }
    if (lon == 180) {
        lon = -180; // the schema's longitude stops short of 180
    }
    point = GpxPoint{};
    point.latitude = lat;
    point.longitude = lon;
    // The record's elevation is in metres unless the mph/mi units turned metres into feet, or
    // the receiver itself said feet.
    const char16_t unit = nav.elevationUnitText[0];
    const bool feet = unit == u'F' || (unit == u'M' && unitSystemOrKnots(units) == UnitSystem::Mph);
    if ((unit == u'M' || unit == u'F') && std::isfinite(nav.elevation)) {
        point.hasElevation = true;
        point.elevation = feet ? nav.elevation / kFeetPerMetre : nav.elevation;
    }
    point.hasTime = gpsTimeMs(nav.utcDate, nav.utcTime, point.timeMs);
    if (std::isfinite(nav.speedKnots) && nav.speedKnots >= 0) {
        point.hasSpeed = true;
        point.speed = nav.speedKnots * kMetresPerSecondPerKnot;
    }
    return true;
}

bool startsSegment(const GpxTrackState& state, const GpxPoint& point) {
    if (!state.inSegment) {
        return true;
    }
    if (!state.hasTime || !point.hasTime) {
        return false;
    }
    const int64_t step = point.timeMs - state.lastTimeMs;
    return step < 0 || step > kGpxSegmentGapMs;
}

std::size_t formatGpxAppend(const GpxTrackState& state, const GpxPoint& point, bool newFile,
                            char* out, std::size_t capacity, GpxTrackState& next) {
    Out o(out, capacity);
    if (newFile) {
        o.text(kDocumentStart);
        o.text(kTrackStart);
    } else if (startsSegment(state, point)) {
        o.text(kSegmentBreak);
    }
    formatPoint(o, point);
    o.text(kClosing);
    next.inSegment = true;
    next.hasTime = point.hasTime;
    next.lastTimeMs = point.timeMs;
    return o.length();
}

void siblingLogPath(std::u16string_view csvPath, std::u16string_view extension,
                    SiblingPathText& out) {
    std::u16string_view stem = csvPath;
    if (stem.size() >= 4) {
        const std::u16string_view tail = stem.substr(stem.size() - 4);
        auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c; };
        if (tail[0] == u'.' && lower(tail[1]) == u'c' && lower(tail[2]) == u's' &&
            lower(tail[3]) == u'v') {
            stem.remove_suffix(4);
        }
    }
    out.assign(stem);
    out.append(extension);
}

} // namespace velocimo
