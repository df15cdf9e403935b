#include "nmea/constants.h"
#include "nmea/handlers.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>

namespace velocimo {
namespace {

std::string u8(std::u16string_view s) {
    return toUtf8(s);
}

TEST(Coordinate, MultiplierHasTheExactBitPattern) {
    EXPECT_EQ(std::bit_cast<uint64_t>(kDegreesPerMinute), 0x3F91111111111111u);
    // 11.516666666666666, where dividing by 60 would give ...667: the multiplier is used.
    EXPECT_EQ(toDecimalDegrees(1131.0), 0x1.7088888888888p+3);
    EXPECT_NE(toDecimalDegrees(1131.0), 31.0 / 60.0 + 11.0);
    EXPECT_EQ(toDecimalDegrees(4807.038), 0x1.80f03afb7e90fp+5);
}

TEST(Coordinate, DecodesDegreesMinutesSeconds) {
    const struct {
        double raw;
        int32_t degrees, minutes, seconds;
        const char* dms;
        double decimal;
    } cases[] = {
        {4807.038, 48, 7, 2, "48° 7' 2\"", 48.1173},
        {1131.000, 11, 31, 0, "11° 31' 0\"", 11.516667},
        {5959.999, 59, 59, 59, "59° 59' 59\"", 59.999983},
        {36000.0, 0, 0, 0, "0° 0' 0\"", 0.0},
        {72000.0, 0, 0, 0, "0° 0' 0\"", 0.0},
        {35999.0, 359, 99, 0, "359° 99' 0\"", 360.65},
        {36000.5, 360, 0, 30, "360° 0' 30\"", 360.008333},
        {0.0, 0, 0, 0, "0° 0' 0\"", 0.0},
    };
    for (const auto& c : cases) {
        const Coordinate co = decodeCoordinate(c.raw);
        EXPECT_EQ(co.degrees, c.degrees) << c.raw;
        EXPECT_EQ(co.minutes, c.minutes) << c.raw;
        EXPECT_EQ(co.seconds, c.seconds) << c.raw;
        EXPECT_EQ(u8(co.dmsText.view()), c.dms) << c.raw;
        EXPECT_NEAR(co.decimalDegrees, c.decimal, 5e-7) << c.raw;
        EXPECT_EQ(co.rawValue, c.raw == 36000.0 || c.raw == 72000.0 ? 0.0 : c.raw);
        EXPECT_TRUE(co.hemisphereText.empty() && co.decText.empty() && co.dmmText.empty());
    }
}

TEST(Coordinate, GarbageMagnitudesStayFinite) {
    // Far beyond any coordinate: whole degrees saturate, the doubles must not overflow.
    for (double raw : {1e12, 1e300, -1e300, 2147483647.0 * 100.0}) {
        const Coordinate co = decodeCoordinate(raw);
        EXPECT_TRUE(std::isfinite(co.decimalDegrees)) << raw;
        EXPECT_TRUE(std::isfinite(toDecimalDegrees(raw))) << raw;
        EXPECT_LE(co.dmsText.size(), 14u);
    }
}

TEST(Coordinate, HemisphereSignsValuesAndTexts) {
    const struct {
        double raw;
        std::u16string_view letter;
        char16_t negative;
        const char* dmmFormat;
        const char* hemisphere;
        const char* dec;
        const char* dmm;
    } cases[] = {
        {4807.038, u"N", u'S', "%5.5lf", "N", "48.117300", "4807.03800"},
        {4807.038, u"S", u'S', "%5.5lf", "S", "-48.117300", "-4807.03800"},
        {4807.038, u"s", u'S', "%5.5lf", "s", "48.117300", "4807.03800"},
        {1131.000, u"W", u'W', "%5.6lf", "W", "-11.516667", "-1131.000000"},
        {1131.000, u"w", u'W', "%5.6lf", "w", "11.516667", "1131.000000"},
        {1131.000, u"", u'W', "%5.6lf", "", "11.516667", "1131.000000"},
        {1131.000, u"WEST", u'W', "%5.6lf", "WE", "-11.516667", "-1131.000000"},
        {36000.0, u"N", u'S', "%5.5lf", "N", "0.000000", "0.00000"},
    };
    for (const auto& c : cases) {
        Coordinate co = decodeCoordinate(c.raw);
        const std::string dms = u8(co.dmsText.view());
        applyHemisphere(co, c.letter, c.negative, c.dmmFormat);
        EXPECT_EQ(u8(co.hemisphereText.view()), c.hemisphere);
        EXPECT_EQ(u8(co.decText.view()), c.dec) << c.raw << u8(c.letter);
        EXPECT_EQ(u8(co.dmmText.view()), c.dmm) << c.raw << u8(c.letter);
        EXPECT_EQ(std::signbit(co.decimalDegrees), c.dec[0] == '-');
        EXPECT_EQ(std::signbit(co.rawValue), c.dec[0] == '-');
        // The whole-number parts stay unsigned; the letter shows the hemisphere.
        EXPECT_GE(co.degrees, 0);
        EXPECT_EQ(u8(co.dmsText.view()), dms);
    }
}

} // namespace
} // namespace velocimo
