#include "logging/gpxformat.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace velocimo {
namespace {

NavState fixAt(double lat, double lon, int32_t date, double time) {
    NavState nav;
    nav.fixValid = true;
    nav.latitude.decimalDegrees = lat;
    nav.longitude.decimalDegrees = lon;
    nav.utcDate = date;
    nav.utcTime = time;
    nav.elevationUnitText.assignUtf8("M");
    nav.elevation = 100.0;
    nav.speedKnots = 10.0;
    return nav;
}

std::string append(GpxTrackState& state, const GpxPoint& point, bool newFile) {
    char out[kGpxAppendCapacity];
    GpxTrackState next;
    const std::size_t n = formatGpxAppend(state, point, newFile, out, sizeof out, next);
    state = next;
    return std::string(out, n);
}

TEST(GpxFormat, TimesFromTheRmcDateAndTime) {
    struct Case {
        int32_t date;
        double time;
        bool ok;
        const char* text;
    };
    const Case cases[] = {
        {91209, 152505.0, true, "2009-12-09T15:25:05Z"},
        {91209, 152505.5, true, "2009-12-09T15:25:05.500Z"},
        {10100, 0.0, true, "2000-01-01T00:00:00Z"},
        {311299, 235959.999, true, "1999-12-31T23:59:59.999Z"},
        {290224, 120000.0, true, "2024-02-29T12:00:00Z"},
        {0, 120000.0, false, ""},
        {321299, 120000.0, false, ""},
        {11399, 120000.0, false, ""},
        {10100, 246000.0, false, ""},
    };
    for (const Case& c : cases) {
        GpxPoint point;
        ASSERT_TRUE(gpxPointOf(fixAt(1, 2, c.date, c.time), 1, point));
        EXPECT_EQ(point.hasTime, c.ok) << c.date << " " << c.time;
        if (c.ok) {
            GpxTrackState state;
            const std::string text = append(state, point, false);
            EXPECT_NE(text.find(std::string("<time>") + c.text + "</time>"), std::string::npos)
                << text;
        }
    }
}

TEST(GpxFormat, NumbersAndUnits) {
    // A comma-decimal locale must not reach the file.
    const char* old = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    struct Case {
        double lat, lon;
        int32_t units;
        const char* unit;
        double elevation;
        double knots;
        const char* expect[3];
    };
    const Case cases[] = {
        {55.797018833,
         23.569021667,
         1,
         "M",
         37.0,
         1.0,
         {"lat=\"55.7970188\" lon=\"23.5690217\"", "<ele>37.00</ele>", "speed>0.51<"}},
        {-33.5,
         -70.25,
         2,
         "M",
         328.08399,
         0.0,
         {"lat=\"-33.5000000\" lon=\"-70.2500000\"", "<ele>100.00</ele>", "speed>0.00<"}},
        {0.00001,
         0.0,
         0,
         "M",
         -5.5,
         100.0,
         {"lat=\"0.0000100\" lon=\"0.0000000\"", "<ele>-5.50</ele>", "speed>51.44<"}},
        {10,
         179.9999999,
         1,
         "F",
         32.808399,
         2.0,
         {"lon=\"179.9999999\"", "<ele>10.00</ele>", "speed>1.03<"}},
        {10, 180.0, 1, "M", 1.0, 2.0, {"lon=\"-180.0000000\"", "<ele>1.00</ele>", "<trkpt"}},
    };
    for (const Case& c : cases) {
        NavState nav = fixAt(c.lat, c.lon, 10100, 0);
        nav.elevationUnitText.assignUtf8(c.unit);
        nav.elevation = c.elevation;
        nav.speedKnots = c.knots;
        GpxPoint point;
        ASSERT_TRUE(gpxPointOf(nav, c.units, point));
        GpxTrackState state;
        const std::string text = append(state, point, false);
        for (const char* e : c.expect) {
            EXPECT_NE(text.find(e), std::string::npos) << e << "\n" << text;
        }
        EXPECT_EQ(text.find(','), std::string::npos) << text;
    }
    std::setlocale(LC_NUMERIC, old ? old : "C");
}

TEST(GpxFormat, NoPointWithoutAFixOrAPlaceOnEarth) {
    struct Case {
        bool fix;
        double lat, lon;
        bool point;
    };
    const Case cases[] = {{true, 1, 2, true},     {false, 1, 2, false},    {true, 90.5, 2, false},
                          {true, -91, 2, false},  {true, 1, 180.5, false}, {true, 1, -181, false},
                          {true, -90, -180, true}};
    for (const Case& c : cases) {
        NavState nav = fixAt(c.lat, c.lon, 10100, 0);
        nav.fixValid = c.fix;
        GpxPoint point;
        EXPECT_EQ(gpxPointOf(nav, 1, point), c.point) << c.lat << " " << c.lon;
    }
    // Without a GGA yet the elevation is unknown and stays out.
    NavState nav = fixAt(1, 2, 10100, 0);
    nav.elevationUnitText.clear();
    GpxPoint point;
    ASSERT_TRUE(gpxPointOf(nav, 1, point));
    EXPECT_FALSE(point.hasElevation);
}

TEST(GpxFormat, SegmentsOnGapsAndFixLoss) {
    struct Step {
        double time; // hhmmss of 2000-01-01; negative: a tick without a fix
        bool newSegment;
    };
    const Step steps[] = {
        {120000, false},                    // the new file opens the first segment itself
        {120001, false},   {120011, false}, // exactly 10 s: same segment
        {120022, true},                     // 11 s
        {-1, false},       {120023, true},  // fix lost in between
        {120020, true},                     // time went back
        {120020.5, false},
    };
    GpxTrackState state;
    bool newFile = true;
    for (const Step& s : steps) {
        if (s.time < 0) {
            state.inSegment = false;
            continue;
        }
        GpxPoint point;
        ASSERT_TRUE(gpxPointOf(fixAt(1, 2, 10100, s.time), 1, point));
        const std::string text = append(state, point, newFile);
        EXPECT_EQ(text.find("</trkseg>\n    <trkseg>") != std::string::npos, s.newSegment)
            << s.time;
        EXPECT_EQ(text.starts_with("<?xml"), newFile);
        newFile = false;
    }
}

TEST(GpxFormat, EveryAppendEndsWithTheClosingTags) {
    GpxPoint point;
    ASSERT_TRUE(gpxPointOf(fixAt(1, 2, 10100, 0), 1, point));
    for (bool newFile : {true, false}) {
        GpxTrackState state;
        const std::string text = append(state, point, newFile);
        EXPECT_TRUE(text.ends_with(gpxClosingTags())) << text;
        EXPECT_EQ(gpxClosingTags(), "    </trkseg>\n  </trk>\n</gpx>\n");
    }
    // Too small a buffer gives nothing rather than half a point.
    char small[64];
    GpxTrackState state, next;
    EXPECT_EQ(formatGpxAppend(state, point, true, small, sizeof small, next), 0u);
}

TEST(GpxFormat, SiblingFileNames) {
    struct Case {
        std::u16string_view csv;
        std::u16string_view ext;
        std::u16string_view expect;
    };
    const Case cases[] = {
        {u"/home/a/trip.csv", u".gpx", u"/home/a/trip.gpx"},
        {u"/home/a/TRIP.CSV", u".gpx", u"/home/a/TRIP.gpx"},
        {u"/home/a/VELO_LOG 20240101 120000", u".nmea", u"/home/a/VELO_LOG 20240101 120000.nmea"},
        {u"/home/a/trip.csv.bak", u".gpx", u"/home/a/trip.csv.bak.gpx"},
        {u"csv", u".gpx", u"csv.gpx"},
    };
    for (const Case& c : cases) {
        SiblingPathText out;
        siblingLogPath(c.csv, c.ext, out);
        EXPECT_EQ(out.view(), c.expect);
    }
}

} // namespace
} // namespace velocimo
