#include "shell/core/fixedtext.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <string>

namespace velocimo {
namespace {

template <std::size_t N> std::string u8(const FixedText<N>& t) {
    return t.toUtf8();
}

TEST(FixedText, CutsEveryWriteToCapacity) {
    FixedText<4> t;
    t.assignUtf8("abcdef");
    EXPECT_EQ(u8(t), "abc");
    t.appendUtf8("x");
    EXPECT_EQ(u8(t), "abc");
    t.assign(u"xy");
    t.append(u"zzzz");
    EXPECT_EQ(u8(t), "xyz");
    EXPECT_EQ(t.c_str()[3], 0);

    FixedText<12> time;
    time.format("%02d:%02d:%02d", 65535, 65535, 65535);
    EXPECT_EQ(u8(time), "65535:65535");
    EXPECT_EQ(time.size(), 11u);
}

struct FormatCase {
    const char* format;
    double value;
    const char* expected;
};

// Every readout format of the program, against glibc's printf in the "C" locale.
TEST(FixedText, FixedPointMatchesPrintf) {
    const FormatCase cases[] = {
        {"%3.1lf", 41.4848, "41.5"},
        {"%3.1lf", 99.96, "100.0"},
        {"%3.0lf", 111.12, "111"},
        {"%3.0lf", 100.5, "100"},
        {"%3.0lf", 101.5, "102"},
        {"%3.6lf", -11.516666666, "-11.516667"},
        {"%5.5lf", 4807.038, "4807.03800"},
        {"%5.6lf", -1131.0, "-1131.000000"},
        {"%05.3lf", 1.5, "1.500"},
        {"%05.3lf", 0.0, "0.000"},
        {"%07.2lf", -1.5, "-001.50"},
        {"%3.1lf", -12.5, "-12.5"},
        {"%3.1lf", 0.05, "0.1"},
        {"%3.1lf", 0.25, "0.2"},
        {"%3.0lf", 1e21, "1000000000000000000000"},
        {"%3.1lf", 2.5e-320, "0.0"},
        {"%-6.1lf|", 2.0, "2.0   |"},
        {"%3.0f", 84.4, " 84"},
    };
    for (const auto& c : cases) {
        FixedText<64> t;
        t.format(c.format, c.value);
        char ref[128];
        std::snprintf(ref, sizeof ref, c.format, c.value);
        EXPECT_EQ(u8(t), c.expected) << c.format << " " << c.value;
        EXPECT_EQ(u8(t), std::string(ref)) << c.format << " " << c.value;
    }
}

TEST(FixedText, IntegersAndTexts) {
    FixedText<64> t;
    t.format("%06d", 1234);
    EXPECT_EQ(u8(t), "001234");
    t.format("%06d", -5);
    EXPECT_EQ(u8(t), "-00005");
    t.format("%d", -2147483647 - 1);
    EXPECT_EQ(u8(t), "-2147483648");
    t.format("%d\u00b0 %d' %d\"", 48, 7, 2);
    EXPECT_EQ(u8(t), "48\u00b0 7' 2\"");
    t.format("%s + %s = %d%%", u"one", std::u16string_view(u"two"), 3);
    EXPECT_EQ(u8(t), "one + two = 3%");
    t.format("%d %d", 1); // a missing argument writes nothing
    EXPECT_EQ(u8(t), "1 ");
}

TEST(FixedText, IgnoresTheProcessLocale) {
    const char* locales[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "C.UTF-8"};
    const char* applied = nullptr;
    for (const char* name : locales) {
        if (std::setlocale(LC_ALL, name) != nullptr) {
            applied = name;
            break;
        }
    }
    FixedText<16> t;
    t.format("%3.1lf", 41.4848);
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(u8(t), "41.5") << (applied ? applied : "no comma locale installed");
}

TEST(Utf8, RoundTripsAndReplacesInvalidInput) {
    const std::u16string s = u"\u00b0 \u20ac \U0001F600 a";
    EXPECT_EQ(fromUtf8(toUtf8(s)), s);
    EXPECT_EQ(fromUtf8("\xff"
                       "a"),
              u"\ufffd"
              u"a");
    EXPECT_EQ(toUtf8(std::u16string(1, char16_t(0xD800))), "\xef\xbf\xbd");
}

} // namespace
} // namespace velocimo
