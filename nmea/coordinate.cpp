#include "nmea/constants.h"
#include "nmea/handlers.h"

#include <cmath>

namespace velocimo {

double toDecimalDegrees(double x) {
    const int32_t d = truncToInt(x * kHundredth);
    // In doubles: a garbage field can make d large enough to overflow an int product.
    return (x - d * 100.0) * kDegreesPerMinute + d;
}

Coordinate decodeCoordinate(double x) {
    // Some receivers report "no position" as 360 or 720 degrees.
    if (x == 36000.0 || x == 72000.0) {
        x = 0.0;
    }
    Coordinate c;
    c.decimalDegrees = toDecimalDegrees(x);
    c.rawValue = x;
    double i = 0.0;
    const double f = std::modf(x, &i);
    c.seconds = truncToInt(f * 60.0);
    c.degrees = truncToInt(i * kHundredth);
    c.minutes = truncToInt((x - c.degrees * 100.0) - f);
    c.dmsText.format(kDmsFormat, c.degrees, c.minutes, c.seconds);
    return c;
}

void applyHemisphere(Coordinate& c, std::u16string_view letterText, char16_t negativeLetter,
                     const char* dmmFormat) {
    c.hemisphereText.assign(letterText);
    if (c.hemisphereText[0] == negativeLetter) {
        c.rawValue *= -1.0;
        c.decimalDegrees *= -1.0;
    }
    c.decText.format("%3.6lf", c.decimalDegrees);
    c.dmmText.format(dmmFormat, c.rawValue);
}

} // namespace velocimo
