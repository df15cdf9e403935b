#include "nmea/handlers.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>
#include <vector>

namespace velocimo {
namespace {

std::string u8(std::u16string_view s) {
    return toUtf8(s);
}

constexpr std::u16string_view kRmc =
    u"$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n";
constexpr std::u16string_view kGga =
    u"$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";

struct RecordingSounds : FixSoundSink {
    void fixGained() override { events += '+'; }
    void fixLost() override { events += '-'; }
    std::string events;
};

struct Decoding : ::testing::Test {
    Decoding() { resetNavState(nav); }
    void rmc(std::u16string_view s) { handleRmc(nav, env, s); }
    void gga(std::u16string_view s) { handleGga(nav, env, s); }
    void gsa(std::u16string_view s) { handleGsa(nav, env, s); }
    // The readouts a sentence can move, in one comparable line.
    std::string readouts() const {
        return u8(nav.speedText.view()) + "|" + u8(nav.topSpeedText.view()) + "|" +
               u8(nav.compassPointText.view()) + "|" + u8(nav.courseText.view()) + "|" +
               u8(nav.tripDistanceText.view()) + "|" + u8(nav.averageSpeedText.view()) + "|" +
               u8(nav.latitude.dmsText.view()) + "|" + u8(nav.longitude.dmsText.view()) + "|" +
               u8(nav.variationText.view()) + "|" + u8(nav.dataValidText.view());
    }

    NavState nav;
    RecordingSounds sounds;
    DecodeEnv env{{1, 0}, &sounds, nullptr};
};

TEST_F(Decoding, WorkedRmcSentence) {
    rmc(kRmc);
    EXPECT_EQ(nav.utcTime, 123519.0);
    EXPECT_TRUE(nav.fixValid);
    EXPECT_EQ(u8(nav.dataValidText.view()), "Yes");
    EXPECT_NEAR(nav.latitude.decimalDegrees, 48.1173, 1e-9);
    EXPECT_EQ(u8(nav.latitude.decText.view()), "48.117300");
    EXPECT_EQ(u8(nav.latitude.dmmText.view()), "4807.03800");
    EXPECT_EQ(u8(nav.longitude.decText.view()), "11.516667");
    EXPECT_EQ(u8(nav.longitude.dmmText.view()), "1131.000000");
    EXPECT_EQ(nav.speedKnots, 22.4);
    EXPECT_EQ(nav.course, 84.4);
    EXPECT_EQ(nav.utcDate, 230394);
    EXPECT_EQ(nav.magneticVariation, 3.1);
    EXPECT_EQ(u8(nav.utcTimeText.view()), "12:35:19");
    EXPECT_EQ(readouts(), "41.5|41.5|E| 84°|0.000|0.0|48° 7' 2\"N|11° 31' 0\"E|  3°|Yes");
    EXPECT_EQ(sounds.events, "+");
}

TEST_F(Decoding, VoidSentenceStoresFieldsButDerivesNothing) {
    std::u16string v(kRmc);
    v[14] = u'V';
    rmc(v);
    EXPECT_FALSE(nav.fixValid);
    EXPECT_EQ(nav.speedKnots, 22.4);
    EXPECT_EQ(nav.utcDate, 230394);
    EXPECT_EQ(u8(nav.latitude.decText.view()), "48.117300");
    EXPECT_EQ(readouts(), "0.0|0.0|*|0°|0.000|0.0|48° 7' 2\"|11° 31' 0\"|  3°|No");
    EXPECT_EQ(sounds.events, "");

    rmc(u"$GPRMC,123519,V,,,,,,,230394,,*hh\r\n");
    EXPECT_EQ(nav.utcDate, 230394);
    EXPECT_EQ(nav.latitude.degrees, 0);
    EXPECT_EQ(nav.latitude.decimalDegrees, 0.0);
    EXPECT_EQ(nav.prevLatitude.degrees, 48); // shifted whatever the status
    EXPECT_EQ(nav.speedKnots, 0.0);
}

TEST_F(Decoding, HemispheresSignOnlyInUpperCase) {
    const struct {
        std::u16string_view sentence;
        bool latNegative, lonNegative;
    } cases[] = {
        {u"$GPRMC,1,A,4807.038,S,01131.000,W,1,1,230394,,", true, true},
        {u"$GPRMC,1,A,4807.038,N,01131.000,E,1,1,230394,,", false, false},
        {u"$GPRMC,1,A,4807.038,s,01131.000,w,1,1,230394,,", false, false},
        {u"$GPRMC,1,A,4807.038,N,01131.000,W,1,1,230394,,", false, true},
    };
    for (const auto& c : cases) {
        rmc(c.sentence);
        EXPECT_EQ(nav.latitude.decimalDegrees < 0, c.latNegative) << u8(c.sentence);
        EXPECT_EQ(nav.latitude.rawValue < 0, c.latNegative) << u8(c.sentence);
        EXPECT_EQ(nav.longitude.decimalDegrees < 0, c.lonNegative) << u8(c.sentence);
        EXPECT_EQ(nav.longitude.rawValue < 0, c.lonNegative) << u8(c.sentence);
    }
}

TEST_F(Decoding, FixSoundsOnEveryChangeOfValidity) {
    const struct {
        const char16_t* status;
        const char* events;
    } steps[] = {{u"A", "+"},   {u"A", "+"},    {u"V", "+-"},  {u"V", "+-"},
                 {u"A", "+-+"}, {u"AV", "+-+"}, {u"", "+-+-"}, {u"a", "+-+-"}};
    for (const auto& s : steps) {
        rmc(std::u16string(u"$GPRMC,123519,") + s.status + u",4807.038,N,01131.000,E,1,1,1,,");
        EXPECT_EQ(sounds.events, s.events) << u8(s.status);
        EXPECT_EQ(nav.fixValid, s.status[0] == u'A');
    }
    DecodeEnv silent{{1, 0}, nullptr, nullptr};
    handleRmc(nav, silent, kRmc); // no sink: nothing to call, nothing to crash
    EXPECT_TRUE(nav.fixValid);
}

TEST_F(Decoding, FieldsAfterTheVariationChangeNothing) {
    rmc(kRmc);
    const std::string expected = readouts();
    rmc(u"$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,E,A,V,nan,999*00\r\n");
    EXPECT_EQ(readouts(), expected);
}

TEST_F(Decoding, ShortSentenceKeepsOneHemisphereLetter) {
    rmc(kRmc);
    const struct {
        std::u16string_view sentence;
        const char* latitude;
        const char* longitude;
    } steps[] = {
        {u"$GPRMC,123520,A", "48° 7' 2\"N", "11° 31' 0\"E"},
        {u"$GPRMC,123521,A,4907.038,N\r\n", "49° 7' 2\"N", "11° 31' 0\"E"},
        {u"$GPRMC,123522,A,4907.038,N,01231.000\r\n", "49° 7' 2\"N", "12° 31' 0\""},
    };
    for (const auto& s : steps) {
        rmc(s.sentence);
        EXPECT_EQ(u8(nav.latitude.dmsText.view()), s.latitude) << u8(s.sentence);
        EXPECT_EQ(u8(nav.longitude.dmsText.view()), s.longitude) << u8(s.sentence);
    }
    EXPECT_EQ(u8(nav.latitude.hemisphereText.view()), "N"); // the line end is not data
    EXPECT_EQ(nav.utcTime, 123522.0);
}

TEST_F(Decoding, StepsAddDistanceThroughTheHandler) {
    env.options.units = 0;
    rmc(u"$GPRMC,100000,A,4807.038,N,01131.000,E,10.0,0.0,230394,,");
    rmc(u"$GPRMC,100001,A,4808.038,N,01131.000,E,10.0,0.0,230394,,");
    EXPECT_NEAR(nav.tripDistance, 60.040525 / 60.0, 1e-9);
    EXPECT_EQ(u8(nav.tripDistanceText.view()), "1.001");
    EXPECT_EQ(u8(nav.averageSpeedText.view()), "0.0");
    EXPECT_EQ(nav.prevFixTimeSeconds, 36001.0);
}

TEST_F(Decoding, WorkedGgaSentence) {
    nav.fixValid = true;
    gga(kGga);
    EXPECT_EQ(u8(nav.fixQualityText.view()), "GPS fix");
    EXPECT_EQ(nav.satellites, 8);
    EXPECT_EQ(u8(nav.satellitesText.view()), "08");
    EXPECT_EQ(nav.hdop, 0.9);
    EXPECT_EQ(u8(nav.hdopText.view()), "0.9");
    EXPECT_EQ(nav.elevationRaw, 545.4);
    EXPECT_EQ(u8(nav.elevationText.view()), "545m");

    const struct {
        std::u16string_view sentence;
        const char* quality;
        const char* elevation;
    } cases[] = {
        {u"$GPGGA,1,2,N,3,E,2,05,1.5,12.0,M", "Differential GPS fix", "12.0m"},
        {u"$GPGGA,1,2,N,3,E,6,05,1.5,99.0", "Differential GPS fix", "12.0m"}, // no field 10
        {u"$GPGGA,1,2,N,3,E,0,00,99.9,,,", "No GPS fix", "0.0"},
        {u"$GPGGA,1,2,N,3,E", "No GPS fix", "0.0"},
    };
    for (const auto& c : cases) {
        gga(c.sentence);
        EXPECT_EQ(u8(nav.fixQualityText.view()), c.quality) << u8(c.sentence);
        EXPECT_EQ(u8(nav.elevationText.view()), c.elevation) << u8(c.sentence);
    }
}

TEST_F(Decoding, ElevationUnitsOffsetAndLimits) {
    const struct {
        const char16_t* unit;
        int32_t units, offset;
        bool fixValid;
        double altitude, elevation;
        const char* text;
    } cases[] = {
        {u"M", 1, 0, true, 545.4, 545.4, "545m"},
        {u"M", 2, 0, true, 545.4, 545.4 * 3.2808399, "1789ft"},
        {u"M", 2, 100, true, 545.4, 545.4 * 3.2808399 - 100.0, "1689ft"},
        {u"M", 1, 100, false, 545.4, 545.4, "545m"},
        {u"M", 0, 100, true, 545.4, 445.4, "445m"},
        {u"M", 1, 0, true, 99.94, 99.94, "99.9m"},
        {u"M", 1, 0, true, 100.0, 100.0, "100m"},
        {u"M", 1, 0, true, -12.5, -12.5, "-12.5m"},
        {u"M", 1, 0, true, 2000000.0, 1000000.0, "1000000m"},
        {u"M", 2, 0, true, 2000000.0, 3280839.9, "3280840ft"},
        {u"F", 2, 0, true, 300.0, 300.0, "300F"},
        {u"", 1, 0, true, 12.0, 12.0, "12.0"},
    };
    for (const auto& c : cases) {
        nav.fixValid = c.fixValid;
        nav.elevationUnitText.assign(std::u16string_view(c.unit));
        updateElevation(nav, DecodeOptions{c.units, c.offset}, c.altitude);
        EXPECT_DOUBLE_EQ(nav.elevation, c.elevation) << c.altitude;
        EXPECT_EQ(u8(nav.elevationText.view()), c.text) << c.altitude;
    }
}

TEST_F(Decoding, GsaModes) {
    const struct {
        std::u16string_view sentence;
        int32_t dimension;
        const char* text;
    } steps[] = {
        {u"$GPGSA,A,3,04,05,,,,,,,,,,,2.5,1.3,2.1*39\r\n", 3, " (3D)"},
        {u"$GPGSA,A,7,,*00", 7, " (3D)"},
        {u"$GPGSA,A,2", 2, " (2D)"},
        {u"$GPGSA,A", 2, " (2D)"},
        {u"$GPGSA,A,1,,", 1, ""},
    };
    for (const auto& s : steps) {
        gsa(s.sentence);
        EXPECT_EQ(nav.fixDimension, s.dimension) << u8(s.sentence);
        EXPECT_EQ(u8(nav.fixDimensionText.view()), s.text) << u8(s.sentence);
    }
}

TEST_F(Decoding, CommaDecimalLocaleChangesNothing) {
    const char* names[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "de_DE"};
    const char* found = nullptr;
    for (const char* name : names) {
        if (std::setlocale(LC_ALL, name) != nullptr) {
            found = name;
            break;
        }
    }
    if (found == nullptr) {
        GTEST_SKIP() << "no comma-decimal locale installed";
    }
    rmc(kRmc);
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(u8(nav.speedText.view()), "41.5") << found;
    EXPECT_EQ(nav.speedKnots, 22.4) << found;
}

struct Recorder : SentenceHandlers {
    void handleRmc(std::u16string_view) override { calls += 'R'; }
    void handleGga(std::u16string_view) override { calls += 'G'; }
    void handleGsa(std::u16string_view) override { calls += 'S'; }
    std::string calls;
};

TEST(Dispatch, OnlyTheThreeGpTagsInUpperCase) {
    const struct {
        std::u16string_view text;
        const char* calls;
    } cases[] = {
        {kRmc, "R"},         {kGga, "G"},         {u"$GPGSA,A,3", "S"}, {u"$GPRMC", "R"},
        {u"$GNRMC,1,A", ""}, {u"$gprmc,1,A", ""}, {u"$GPGSV,3", ""},    {u"$GPRM", ""},
        {u"GPRMC,1", ""},    {u"", ""},
    };
    for (const auto& c : cases) {
        Recorder r;
        dispatchSentence(r, c.text);
        EXPECT_EQ(r.calls, c.calls) << u8(c.text);
    }
}

TEST(Dispatch, AnyTalkerTakesTheSatelliteSystemsButNoOthers) {
    const struct {
        std::u16string_view text;
        const char* calls;
    } cases[] = {
        {u"$GPRMC,1", "R"}, {u"$GLRMC,1", "R"}, {u"$GARMC,1", "R"}, {u"$GBGGA,1", "G"},
        {u"$GIGGA,1", "G"}, {u"$GQGSA,1", "S"}, {u"$GNGSA,1", "S"}, {u"$BDRMC,1", "R"},
        {u"$QZGGA,1", "G"}, {u"$PGRMC,1", ""},  {u"$PRMC,12", ""},  {u"$GXRMC,1", ""},
        {u"$IIRMC,1", ""},  {u"$gnrmc,1", ""},  {u"$GNGSV,1", ""},  {u"GNRMC,1", ""},
        {u"$GNRM", ""},     {u"$GN", ""},       {u"", ""},
    };
    for (const auto& c : cases) {
        Recorder any;
        dispatchSentence(any, c.text, {.anyTalker = true});
        EXPECT_EQ(any.calls, c.calls) << u8(c.text);
        // Without the option only GP gets through.
        Recorder gpOnly;
        dispatchSentence(gpOnly, c.text);
        EXPECT_EQ(gpOnly.calls, c.text.substr(0, 3) == u"$GP" ? c.calls : "") << u8(c.text);
    }
}

TEST(Dispatch, ChecksumMustEndTheLineAndMatch) {
    const struct {
        std::u16string_view text;
        bool matches;
    } cases[] = {
        {u"$GPRMC,A,3*3F", false}, {u"$GPRMC*4B", true},  {u"$GPRMC*4b", true},
        {u"$GPRMC*4B\r\n", true},  {u"$GPRMC*4C", false}, {u"$GPRMC*4", false},
        {u"$GPRMC*4G", false},     {u"$GPRMC,1", false},  {u"$GPRMC*4B ", false},
        {u"GPRMC*4B", false},      {u"$*00", true},       {u"$GNRMC*55", true},
        {u"$GPRMC,,V*4B", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(checksumMatches(c.text), c.matches) << u8(c.text);
        Recorder checked;
        dispatchSentence(checked, c.text, {.verifyChecksum = true});
        const bool rmc = c.text.substr(0, 6) == u"$GPRMC";
        EXPECT_EQ(checked.calls, rmc && c.matches ? "R" : "") << u8(c.text);
        // Unchecked, the tag alone decides.
        Recorder unchecked;
        dispatchSentence(unchecked, c.text);
        EXPECT_EQ(unchecked.calls, rmc ? "R" : "") << u8(c.text);
    }
}

TEST(Dispatch, CheckedALineTornByLostBytesYieldsItsLastWholeSentence) {
    struct Kept : SentenceHandlers {
        void handleRmc(std::u16string_view s) override { rmc = s; }
        void handleGga(std::u16string_view) override {}
        void handleGsa(std::u16string_view) override {}
        std::u16string_view rmc = u"none";
    };
    const struct {
        std::u16string_view line;
        std::u16string_view handled;
    } cases[] = {
        // Seen from a flushed port: the whole line's XOR matches too, and read as one sentence
        // its longitude would be 0.
        {u"$GPRMC,093121.00,A,4718.$GPRMC,093133.00,A,4718.9939,N,00832.5269,E,32.40,322.5,"
         u"010626,,,A*54\r\n",
         u"$GPRMC,093133.00,A,4718.9939,N,00832.5269,E,32.40,322.5,010626,,,A*54\r\n"},
        {u"$GPRMC,1$GPRMC*39", u"none"}, // the whole line's sum, not the last sentence's
        {u"$GPRMC,1$GPRMC*4B", u"$GPRMC*4B"},
        {u"$GPRMC*4B$GPRMC,1", u"none"},
        {u"$GPGGA,1$GPRMC*4B", u"$GPRMC*4B"},
    };
    for (const auto& c : cases) {
        Kept kept;
        dispatchSentence(kept, c.line, {.verifyChecksum = true});
        EXPECT_EQ(u8(kept.rmc), u8(c.handled)) << u8(c.line);
    }
}

TEST(Dispatch, BothOptionsTogether) {
    Recorder r;
    dispatchSentence(r, u"$GNRMC*55\r\n", {.anyTalker = true, .verifyChecksum = true});
    dispatchSentence(r, u"$GNRMC*54\r\n", {.anyTalker = true, .verifyChecksum = true});
    dispatchSentence(r, u"$GNRMC*55\r\n", {.anyTalker = false, .verifyChecksum = true});
    EXPECT_EQ(r.calls, "R");
}

TEST(LiveDecoderTest, DecodesIntoTheRecordWithItsOptions) {
    LiveRecord record;
    record.update([](NavState& nav) { resetNavState(nav); });
    record.setDecodeOptions({2, 100});
    RecordingSounds sounds;
    LiveDecoder decoder(record, &sounds, nullptr);
    decoder.handleRmc(kRmc);
    decoder.handleGga(kGga);
    decoder.handleGsa(u"$GPGSA,A,3,,*00");
    const NavState nav = record.snapshot();
    EXPECT_EQ(u8(nav.speedText.view()), "25.8");
    EXPECT_EQ(u8(nav.speedUnitText.view()), "mph");
    EXPECT_EQ(u8(nav.elevationText.view()), "1689ft");
    EXPECT_EQ(u8(nav.fixDimensionText.view()), " (3D)");
    EXPECT_EQ(sounds.events, "+");
}

} // namespace
} // namespace velocimo
