#include "logging/logformat.h"
#include "logtestutil.h"

#include <gtest/gtest.h>

namespace velocimo {
namespace {

using testutil::sampleNav;

std::string header(const LogFieldSet& f) {
    char buf[kLogLineCapacity];
    return std::string(buf, formatLogHeader(f, buf, sizeof buf));
}
std::string record(const LogFieldSet& f, const NavState& nav) {
    char buf[kLogLineCapacity];
    return std::string(buf, formatLogRecord(f, nav, buf, sizeof buf));
}

TEST(CsvFormat, ColumnsInFixedOrder) {
    LogFieldSet all{true, true, true, true, true, true, true, true, true};
    LogFieldSet total;
    total.logDistanceTotal = true;
    LogFieldSet decHdop;
    decHdop.logPositionDec = decHdop.logHdop = true;
    LogFieldSet dmmElevSats;
    dmmElevSats.logPositionDmm = dmmElevSats.logElevation = dmmElevSats.logSatellites = true;
    struct Case {
        LogFieldSet fields;
        const char* header;
        const char* record;
    };
    const Case cases[] = {
        {LogFieldSet{}, "\r\n", "\r\n"},
        {total, "DIST_TOTAL\r\n", "001234\r\n"},
        {decHdop, "LAT_DEC,LONG_DEC,HDOP\r\n", "48.123456,-11.654321,1.2\r\n"},
        {dmmElevSats, "LAT_DMM,LONG_DMM,ELEVATION,SATELLITES\r\n",
         "4807.40736,-1139.259260,521.0m,07\r\n"},
        {all,
         "LAT_DEC,LONG_DEC,LAT_DMM,LONG_DMM,ELEVATION,SPEED_CUR,SPEED_AVG,DIST_TRIP,DIST_TOTAL,"
         "SATELLITES,HDOP\r\n",
         "48.123456,-11.654321,4807.40736,-1139.259260,521.0m, 12.5,9.8,3.141,001234,07,1.2\r\n"},
    };
    const NavState nav = sampleNav();
    for (const Case& c : cases) {
        EXPECT_EQ(header(c.fields), c.header);
        EXPECT_EQ(record(c.fields, nav), c.record);
    }
}

TEST(CsvFormat, EightBitTextAndShortBuffers) {
    NavState nav = sampleNav();
    LogFieldSet f;
    f.logElevation = f.logHdop = true;
    nav.elevationText.assign(u"5\u00b0\U0001F600");
    nav.hdopText.assign(std::u16string(1, char16_t(0xD800)) + u"1"); // unpaired surrogate
    EXPECT_EQ(record(f, nav), "5\xc2\xb0\xf0\x9f\x98\x80,?1\r\n");
    char small[16];
    EXPECT_EQ(formatLogRecord(f, nav, small, 8), 0u);
    EXPECT_EQ(formatLogHeader(f, small, 15), 0u); // "ELEVATION,HDOP" needs 16 with CR LF
    EXPECT_EQ(formatLogHeader(f, small, 16), 16u);
    EXPECT_EQ(formatLogHeader(f, small, 0), 0u);
}

TEST(CsvFormat, ProposedNameFolderAndGate) {
    SystemTime t;
    t.year = 2005, t.month = 6, t.day = 14, t.hour = 9, t.minute = 30, t.second = 5;
    EXPECT_EQ(proposedLogName(t), u"VELO_LOG 20050614 093005");

    const std::pair<std::u16string, std::u16string> folders[] = {
        {u"/home/u/logs/a.csv", u"/home/u/logs/"},
        {u"C:\\Logs\\trip.csv", u"C:\\Logs\\"},
        {u"a.csv", u""},
        {u"/a.csv", u"/"},
        {u"", u""}};
    for (const auto& [path, folder] : folders) {
        EXPECT_EQ(logFolderOf(path), folder);
    }

    Settings s;
    s.loggingOn = true;
    EXPECT_TRUE(shouldLog(s, 2.5));
    EXPECT_TRUE(shouldLog(s, 80.0));
    EXPECT_FALSE(shouldLog(s, 2.49));
    EXPECT_FALSE(shouldLog(s, 2.4999999999));
    s.loggingOn = false;
    EXPECT_FALSE(shouldLog(s, 80.0));
}

} // namespace
} // namespace velocimo
