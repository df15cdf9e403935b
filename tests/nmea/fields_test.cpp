#include "nmea/handlers.h"

#include <gtest/gtest.h>

#include <bit>
#include <string>
#include <vector>

namespace velocimo {
namespace {

TEST(ReadNumber, AcceptsOnlyTheNmeaForm) {
    const std::u16string longFraction = u"0." + std::u16string(600, u'3');
    const std::u16string tooLarge(400, u'9');
    const std::u16string manyZeros = std::u16string(500, u'0') + u"12.5";
    const struct {
        std::u16string_view in;
        double out;
    } cases[] = {
        {u"4807.038", 4807.038},
        {u"022.4", 22.4},
        {u"123519.00", 123519.0},
        {u"0.1", 0.1},
        {u"-12.5", -12.5},
        {u"+3.5", 3.5},
        {u".5", 0.5},
        {u"-.5", -0.5},
        {u"5.", 5.0},
        {u"003.1*6A\r\n", 3.1},
        {u"1.2.3", 1.2},
        {u"1e5", 1.0},
        {u"0x10", 0.0},
        {u"nan", 0.0},
        {u"NaN", 0.0},
        {u"inf", 0.0},
        {u"-infinity", 0.0},
        {u"-", 0.0},
        {u"+", 0.0},
        {u".", 0.0},
        {u"--1", 0.0},
        {u" 5", 0.0},
        {u"", 0.0},
        {u"M", 0.0},
        {u"\u0663", 0.0}, // an Arabic-Indic digit is not a digit here
        {longFraction, 1.0 / 3.0},
        {manyZeros, 12.5},
        {tooLarge, 0.0},
    };
    for (const auto& c : cases) {
        const double v = readNumber(c.in);
        // Bit equality: correctly rounded, and never -0.0 where 0 is meant to be unsigned.
        EXPECT_EQ(std::bit_cast<uint64_t>(v), std::bit_cast<uint64_t>(c.out))
            << toUtf8(c.in.substr(0, 20)) << " read as " << v;
    }
}

TEST(ReadInteger, DigitsOnlyAndSaturating) {
    const struct {
        std::u16string_view in;
        int32_t out;
    } cases[] = {
        {u"230394", 230394},
        {u"08", 8},
        {u"-5", -5},
        {u"+7", 7},
        {u"1.9", 1},
        {u"3*1E", 3},
        {u"", 0},
        {u"x", 0},
        {u"-", 0},
        {u"0x10", 0},
        {u"2147483647", 2147483647},
        {u"2147483648", 2147483647},
        {u"99999999999999999999999", 2147483647},
        {u"-2147483648", -2147483647 - 1},
        {u"-2147483649", -2147483647 - 1},
        {u"-99999999999999999999999", -2147483647 - 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(readInteger(c.in), c.out) << toUtf8(c.in);
    }
}

TEST(SplitFields, EveryCommaCutsAndTheRestStaysInTheLastField) {
    const struct {
        std::u16string_view in;
        std::size_t maxFields;
        std::vector<std::u16string_view> out;
    } cases[] = {
        {u"$GPGSA,A,3,,,*1E\r\n", 24, {u"$GPGSA", u"A", u"3", u"", u"", u"*1E\r\n"}},
        {u"a,b,c", 2, {u"a", u"b,c"}},
        {u"a,b,c", 3, {u"a", u"b", u"c"}},
        {u"a,b,c", 1, {u"a,b,c"}},
        {u",", 24, {u"", u""}},
        {u"", 24, {u""}},
        {u"abc", 0, {}},
    };
    for (const auto& c : cases) {
        std::u16string_view fields[24];
        const std::size_t n = splitFields(c.in, fields, c.maxFields);
        EXPECT_EQ(std::vector(fields, fields + n), c.out) << toUtf8(c.in) << " / " << c.maxFields;
    }
}

} // namespace
} // namespace velocimo
