// POSIX zone rules, TZif files and the cached system zone.

#include "tests/support/alloccounter.h"
#include "trip/timecount.h"
#include "trip/tzrules.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace velocimo {
namespace {

const std::string kZoneDir = "/usr/share/zoneinfo/";

std::vector<unsigned char> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

std::string rule(const SystemTime& r) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d %d/%d/%d %02d:%02d:%02d", r.year, r.month, r.day,
                  r.dayOfWeek, r.hour, r.minute, r.second);
    return buf;
}

// Keeps TZ and TZDIR as they were around each test.
class EnvGuard {
public:
    EnvGuard() {
        save("TZ", m_tz, m_hadTz);
        save("TZDIR", m_tzdir, m_hadTzdir);
    }
    ~EnvGuard() {
        restore("TZ", m_tz, m_hadTz);
        restore("TZDIR", m_tzdir, m_hadTzdir);
    }

private:
    static void save(const char* name, std::string& value, bool& had) {
        const char* v = std::getenv(name);
        had = v != nullptr;
        value = v ? v : "";
    }
    static void restore(const char* name, const std::string& value, bool had) {
        if (had) {
            setenv(name, value.c_str(), 1);
        } else {
            unsetenv(name);
        }
    }
    std::string m_tz, m_tzdir;
    bool m_hadTz = false, m_hadTzdir = false;
};

TEST(PosixTz, Parses) {
    using K = PosixRule::Kind;
    struct Case {
        const char* text;
        int32_t stdOffset;
        bool daylight;
        int32_t dstOffset;
        K startKind;
        int startA, startB, startC; // month, week, weekday (or day, 0, 0)
        int32_t startTime;
        K endKind;
        int endA, endB, endC;
        int32_t endTime;
        const char* stdName;
        const char* dstName;
    };
    const K M = K::MonthWeekDay;
    const Case cases[] = {
        {"CET-1CEST,M3.5.0,M10.5.0/3", -3600, true, -7200, M, 3, 5, 0, 7200, M, 10, 5, 0, 10800,
         "CET", "CEST"},
        {"PST8PDT", 28800, true, 25200, M, 3, 2, 0, 7200, M, 11, 1, 0, 7200, "PST", "PDT"},
        {"IST-5:30", -19800, false, 0, M, 0, 0, 0, 7200, M, 0, 0, 0, 7200, "IST", ""},
        {"<-03>3", 10800, false, 0, M, 0, 0, 0, 7200, M, 0, 0, 0, 7200, "-03", ""},
        {"<+1245>-12:45<+1345>,M9.5.0/2:45,M4.1.0/3:45", -45900, true, -49500, M, 9, 5, 0, 9900, M,
         4, 1, 0, 13500, "+1245", "+1345"},
        {"<-02>2<-01>,M3.5.0/-1,M10.5.0/0", 7200, true, 3600, M, 3, 5, 0, -3600, M, 10, 5, 0, 0,
         "-02", "-01"},
        {"EET-2EEST,M3.4.4/50,M10.4.4/50", -7200, true, -10800, M, 3, 4, 4, 180000, M, 10, 4, 4,
         180000, "EET", "EEST"},
        {"IST-1GMT0,M10.5.0,M3.5.0/1", -3600, true, 0, M, 10, 5, 0, 7200, M, 3, 5, 0, 3600, "IST",
         "GMT"},
        {"XXX3YYY2:30:15,J60/1:02:03,300/-167", 10800, true, 9015, K::Julian1, 60, 0, 0, 3723,
         K::Julian0, 300, 0, 0, -601200, "XXX", "YYY"},
        {"UTC0", 0, false, 0, M, 0, 0, 0, 7200, M, 0, 0, 0, 7200, "UTC", ""},
        {"ABC+24", 86400, false, 0, M, 0, 0, 0, 7200, M, 0, 0, 0, 7200, "ABC", ""},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJ5", 18000, false, 0, M, 0, 0, 0, 7200, M, 0, 0, 0,
         7200, "ABCDEFGHIJKLMNOPQRSTUVWXYZABCDE", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        PosixZone z;
        ASSERT_TRUE(parsePosixTz(c.text, z));
        EXPECT_EQ(z.standardOffset, c.stdOffset);
        EXPECT_EQ(z.hasDaylight, c.daylight);
        EXPECT_STREQ(z.standardName, c.stdName);
        EXPECT_STREQ(z.daylightName, c.dstName);
        if (!c.daylight) {
            continue;
        }
        EXPECT_EQ(z.daylightOffset, c.dstOffset);
        const PosixRule* rules[] = {&z.start, &z.end};
        const K kinds[] = {c.startKind, c.endKind};
        const int a[] = {c.startA, c.endA}, b[] = {c.startB, c.endB}, d[] = {c.startC, c.endC};
        const int32_t t[] = {c.startTime, c.endTime};
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(rules[i]->kind, kinds[i]) << i;
            if (kinds[i] == K::MonthWeekDay) {
                EXPECT_EQ(rules[i]->month, a[i]) << i;
                EXPECT_EQ(rules[i]->week, b[i]) << i;
                EXPECT_EQ(rules[i]->weekday, d[i]) << i;
            } else {
                EXPECT_EQ(rules[i]->day, a[i]) << i;
            }
            EXPECT_EQ(rules[i]->timeSeconds, t[i]) << i;
        }
    }
}

TEST(PosixTz, RejectsMalformed) {
    const char* bad[] = {
        "",
        "C",
        "CE-1",
        "CET",
        "CET-",
        "CET-1CE",
        "CET-1CEST,",
        "CET-1CEST,M3.5.0",
        "CET-1CEST,M3.5.0,",
        "CET-1CEST,M13.5.0,M10.5.0",
        "CET-1CEST,M0.5.0,M10.5.0",
        "CET-1CEST,M3.6.0,M10.5.0",
        "CET-1CEST,M3.0.0,M10.5.0",
        "CET-1CEST,M3.5.7,M10.5.0",
        "CET-1CEST,J0,J100",
        "CET-1CEST,J366,J100",
        "CET-1CEST,366,100",
        "CET-1CEST,M3.5.0/168,M10.5.0",
        "CET-1CEST,M3.5.0/2:60,M10.5.0",
        "CET-25",
        "CET-1:99",
        "CET-1CEST,M3.5.0,M10.5.0/3x",
        "CET-1 CEST",
        "<AB>1",
        "<ABC",
        "<A*C>1",
        "CET-1CEST,M3.5.0,M10.5.0,M11.1.0",
        "Europe/Berlin",
        ":Europe/Berlin",
        "1CET",
    };
    for (const char* text : bad) {
        PosixZone z;
        z.standardOffset = 42;
        EXPECT_FALSE(parsePosixTz(text, z)) << text;
        EXPECT_EQ(z.standardOffset, 42) << text; // untouched on failure
    }
}

TEST(PosixTz, ZoneRecord) {
    struct Case {
        const char* text;
        int year;
        int32_t bias;
        int32_t daylightBias;
        const char* daylightDate;
        const char* standardDate;
        bool yearDependent;
    };
    const Case cases[] = {
        {"CET-1CEST,M3.5.0,M10.5.0/3", 2026, -60, -60, "0 3/5/0 02:00:00", "0 10/5/0 03:00:00",
         false},
        {"PST8PDT,M3.2.0,M11.1.0", 2026, 480, -60, "0 3/2/0 02:00:00", "0 11/1/0 02:00:00", false},
        {"IST-5:30", 2026, -330, 0, "0 0/0/0 00:00:00", "0 0/0/0 00:00:00", false},
        {"<-03>3", 2026, 180, 0, "0 0/0/0 00:00:00", "0 0/0/0 00:00:00", false},
        {"AEST-10AEDT,M10.1.0,M4.1.0/3", 2026, -600, -60, "0 10/1/0 02:00:00", "0 4/1/0 03:00:00",
         false},
        {"<+1245>-12:45<+1345>,M9.5.0/2:45,M4.1.0/3:45", 2026, -765, -60, "0 9/5/0 02:45:00",
         "0 4/1/0 03:45:00", false},
        {"EST5EDT,M3.2.0/2:30:15,M11.1.0/23:59:59", 2026, 300, -60, "0 3/2/0 02:30:15",
         "0 11/1/0 23:59:59", false},
        // Winter "daylight" behind standard time: the roles swap, the rule times stay.
        {"IST-1GMT0,M10.5.0,M3.5.0/1", 2026, 0, -60, "0 3/5/0 01:00:00", "0 10/5/0 02:00:00",
         false},
        // Times outside the day become absolute dates of the year (Sundays 6 Sep, 5 Apr).
        {"<-04>4<-03>,M9.1.6/24,M4.1.6/24", 2026, 240, -60, "2026 9/6/0 00:00:00",
         "2026 4/5/0 00:00:00", true},
        {"<-04>4<-03>,M9.1.6/24,M4.1.6/24", 2024, 240, -60, "2024 9/8/0 00:00:00",
         "2024 4/7/0 00:00:00", true},
        {"IST-2IDT,M3.4.4/26,M10.5.0", 2026, -120, -60, "2026 3/27/5 02:00:00", "0 10/5/0 02:00:00",
         true},
        {"<-02>2<-01>,M3.5.0/-1,M10.5.0/0", 2026, 120, -60, "2026 3/28/6 23:00:00",
         "0 10/5/0 00:00:00", true},
        {"EET-2EEST,M4.5.5/0,M10.5.4/24", 2026, -120, -60, "0 4/5/5 00:00:00",
         "2026 10/30/5 00:00:00", true},
        {"EET-2EEST,M4.5.5/0,M10.5.4/24", 2024, -120, -60, "0 4/5/5 00:00:00",
         "2024 11/1/5 00:00:00", true}, // the last Thursday is 31 October
        // Julian days: Jn skips 29 February, n counts it.
        {"XXX3YYY,J60/1,J300", 2024, 180, -60, "2024 3/1/5 01:00:00", "2024 10/27/0 02:00:00",
         true},
        {"XXX3YYY,59,299", 2024, 180, -60, "2024 2/29/4 02:00:00", "2024 10/26/6 02:00:00", true},
        {"XXX3YYY,59,299", 2025, 180, -60, "2025 3/1/6 02:00:00", "2025 10/27/1 02:00:00", true},
        // Daylight time all year is a fixed zone at the daylight offset.
        {"EST5EDT4,0/0,J365/25", 2026, 240, 0, "0 0/0/0 00:00:00", "0 0/0/0 00:00:00", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        SCOPED_TRACE(c.year);
        PosixZone z;
        ASSERT_TRUE(parsePosixTz(c.text, z));
        EXPECT_EQ(needsYear(z), c.yearDependent);
        const TimeZoneInformation info = toTimeZoneInformation(z, c.year);
        EXPECT_EQ(info.bias, c.bias);
        EXPECT_EQ(info.standardBias, 0);
        EXPECT_EQ(info.daylightBias, c.daylightBias);
        EXPECT_EQ(rule(info.daylightDate), c.daylightDate);
        EXPECT_EQ(rule(info.standardDate), c.standardDate);
    }
}

TEST(PosixTz, AbsoluteRulesSwitchAtTheirInstant) {
    // Chile: 24:00 on the first Saturday of September 2026 (= Sunday 00:00 at -04).
    PosixZone z;
    ASSERT_TRUE(parsePosixTz("<-04>4<-03>,M9.1.6/24,M4.1.6/24", z));
    const TimeZoneInformation info = toTimeZoneInformation(z, 2026);
    struct Case {
        int day, hour, minute, second;
        int localHour;
    };
    const Case cases[] = {{6, 3, 59, 59, 23}, {6, 4, 0, 1, 1}, {5, 12, 0, 0, 8}, {7, 12, 0, 0, 9}};
    for (const Case& c : cases) {
        SystemTime utc;
        utc.year = 2026;
        utc.month = 9;
        utc.day = static_cast<uint16_t>(c.day);
        utc.hour = static_cast<uint16_t>(c.hour);
        utc.minute = static_cast<uint16_t>(c.minute);
        utc.second = static_cast<uint16_t>(c.second);
        utc.dayOfWeek = static_cast<uint16_t>(dayOfWeek(c.day, 9, 2026));
        SystemTime local;
        utcToLocalTime(info, utc, local);
        EXPECT_EQ(local.hour, c.localHour) << c.day << " " << c.hour;
    }
}

TEST(Tzif, FootersOfRealFiles) {
    struct Case {
        const char* zone;
        int32_t stdOffset;
        bool daylight;
        const char* name;
    };
    const Case cases[] = {
        {"Europe/Berlin", -3600, true, "CET"},      {"America/Los_Angeles", 28800, true, "PST"},
        {"Australia/Sydney", -36000, true, "AEST"}, {"Asia/Kolkata", -19800, false, "IST"},
        {"America/Sao_Paulo", 10800, false, "-03"}, {"UTC", 0, false, "UTC"},
    };
    for (const Case& c : cases) {
        const std::vector<unsigned char> bytes = readBytes(kZoneDir + c.zone);
        ASSERT_FALSE(bytes.empty()) << c.zone << ": tzdata missing";
        PosixZone z;
        ASSERT_TRUE(parseTzif(bytes.data(), bytes.size(), z)) << c.zone;
        EXPECT_EQ(z.standardOffset, c.stdOffset) << c.zone;
        EXPECT_EQ(z.hasDaylight, c.daylight) << c.zone;
        EXPECT_STREQ(z.standardName, c.name) << c.zone;
    }
}

void put32(std::vector<unsigned char>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<unsigned char>(v >> shift));
    }
}

// A TZif image with one transition to the second of two types.
std::vector<unsigned char> makeTzif(char version, const std::string& footer) {
    std::vector<unsigned char> out;
    auto block = [&](int timeSize) {
        const char* magic = "TZif";
        out.insert(out.end(), magic, magic + 4);
        out.push_back(static_cast<unsigned char>(version));
        out.insert(out.end(), 15, 0);
        const uint32_t counts[] = {0, 0, 0, 1, 2, 8}; // isut isstd leap time type chars
        for (uint32_t c : counts) {
            put32(out, c);
        }
        out.insert(out.end(), static_cast<std::size_t>(timeSize), 0); // transition time
        out.push_back(1);                                             // its type
        put32(out, 0);
        out.push_back(0);
        out.push_back(0); // type 0: UTC, "LMT"
        put32(out, static_cast<uint32_t>(-18000));
        out.push_back(0);
        out.push_back(4); // type 1: -05, "EST"
        const char chars[8] = {'L', 'M', 'T', 0, 'E', 'S', 'T', 0};
        out.insert(out.end(), chars, chars + 8);
    };
    block(4);
    if (version != '\0') {
        block(8);
        out.push_back('\n');
        out.insert(out.end(), footer.begin(), footer.end());
        out.push_back('\n');
    }
    return out;
}

TEST(Tzif, FixedZoneWithoutFooter) {
    struct Case {
        char version;
        const char* footer;
        int32_t offset;
        bool daylight;
    };
    const Case cases[] = {
        {'\0', "", 18000, false},
        {'2', "", 18000, false},
        {'3', "", 18000, false},
        {'2', "CET-1CEST,M3.5.0,M10.5.0/3", -3600, true},
        {'2', "CET-1CEST,Q3", 18000, false}, // unknown footer: the last offset
    };
    for (const Case& c : cases) {
        const std::vector<unsigned char> bytes = makeTzif(c.version, c.footer);
        PosixZone z;
        ASSERT_TRUE(parseTzif(bytes.data(), bytes.size(), z)) << int(c.version) << c.footer;
        EXPECT_EQ(z.standardOffset, c.offset);
        EXPECT_EQ(z.hasDaylight, c.daylight);
    }
}

TEST(Tzif, TruncatedOrCorruptFilesFail) {
    const std::vector<unsigned char> berlin = readBytes(kZoneDir + "Europe/Berlin");
    ASSERT_GT(berlin.size(), 100u);
    for (std::size_t n = 0; n < berlin.size(); ++n) {
        PosixZone z;
        EXPECT_FALSE(parseTzif(berlin.data(), n, z)) << n;
    }
    std::vector<unsigned char> bytes = makeTzif('2', "CET-1CEST,M3.5.0,M10.5.0/3");
    struct Patch {
        std::size_t at;
        unsigned char value;
    };
    const Patch patches[] = {
        {0, 'X'},   // magic
        {32, 0xff}, // time count of the first block: far past the end
        {39, 200},  // type count
        {43, 0x7f}, // char count
        {48, 7},    // transition index past the types
        {55, 0x7f}, // offset of the used type: absurd
        {60, 0xff}, // abbreviation past the chars
    };
    for (const Patch& p : patches) {
        std::vector<unsigned char> broken = makeTzif('\0', "");
        broken[p.at] = p.value;
        PosixZone z;
        EXPECT_FALSE(parseTzif(broken.data(), broken.size(), z)) << p.at;
    }
    bytes.back() = 'x'; // footer without its newline
    PosixZone z;
    EXPECT_FALSE(parseTzif(bytes.data(), bytes.size(), z));
}

class SystemZone : public ::testing::Test {
protected:
    EnvGuard m_env;
};

TEST_F(SystemZone, FromTzVariable) {
    struct Case {
        const char* tz;
        int32_t bias;
        int daylightMonth;
    };
    const Case cases[] = {
        {"CET-1CEST,M3.5.0,M10.5.0/3", -60, 3},
        {"Asia/Kolkata", -330, 0},
        {":Asia/Kolkata", -330, 0},
        {"America/Los_Angeles", 480, 3},
        {"/usr/share/zoneinfo/America/Sao_Paulo", 180, 0},
        {":/usr/share/zoneinfo/Australia/Sydney", -600, 10},
        {"EST5EDT", 300, 3},
        {"", 0, 0},
        {"not a zone!", 0, 0},
        {":No/Such/Zone", 0, 0},
        {":CET-1CEST,M3.5.0,M10.5.0/3", 0, 0}, // a colon means a file only
        {"Europe", 0, 0},                      // a directory
    };
    SystemTimeZoneSource source;
    for (const Case& c : cases) {
        setenv("TZ", c.tz, 1);
        const TimeZoneInformation info = source.timeZone();
        EXPECT_EQ(info.bias, c.bias) << c.tz;
        EXPECT_EQ(info.daylightDate.month, c.daylightMonth) << c.tz;
    }
    unsetenv("TZ");
    PosixZone expected;
    const std::vector<unsigned char> bytes = readBytes("/etc/localtime");
    if (bytes.empty() || !parseTzif(bytes.data(), bytes.size(), expected)) {
        expected = PosixZone{};
    }
    EXPECT_EQ(source.timeZone().bias, toTimeZoneInformation(expected, 2026).bias);
}

TEST_F(SystemZone, FollowsFileChanges) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("velocimo-tz-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir / "Test");
    setenv("TZDIR", dir.c_str(), 1);
    setenv("TZ", "Test/Zone", 1);
    // The file is looked at once a second: each step lets a second pass.
    std::chrono::steady_clock::time_point now;
    SystemTimeZoneSource source([&now] { return now; });

    const std::filesystem::path zone = dir / "Test" / "Zone";
    std::filesystem::copy_file(kZoneDir + "Asia/Kolkata", zone);
    EXPECT_EQ(source.timeZone().bias, -330);
    EXPECT_EQ(source.timeZone().bias, -330);

    // Rewritten in place.
    std::filesystem::copy_file(kZoneDir + "Europe/Berlin", zone,
                               std::filesystem::copy_options::overwrite_existing);
    now += std::chrono::seconds(1);
    EXPECT_EQ(source.timeZone().bias, -60);

    // Replaced by a rename, as package managers do.
    std::filesystem::copy_file(kZoneDir + "America/Sao_Paulo", dir / "new");
    std::filesystem::rename(dir / "new", zone);
    now += std::chrono::seconds(1);
    EXPECT_EQ(source.timeZone().bias, 180);

    // Removed: UTC, then a POSIX text in TZ is read as rules again.
    std::filesystem::remove(zone);
    now += std::chrono::seconds(1);
    EXPECT_EQ(source.timeZone().bias, 0);
    setenv("TZ", "<+0545>-5:45", 1);
    EXPECT_EQ(source.timeZone().bias, -345);
    setenv("TZ", "Test/Zone", 1);
    std::filesystem::copy_file(kZoneDir + "Asia/Kolkata", zone);
    EXPECT_EQ(source.timeZone().bias, -330);

    // Through a link in another folder, as /etc/localtime is: what it points to is rewritten,
    // then the link points elsewhere.
    const std::filesystem::path link = dir / "localtime";
    std::filesystem::create_symlink(zone, link);
    setenv("TZ", (":" + link.string()).c_str(), 1);
    EXPECT_EQ(source.timeZone().bias, -330);
    std::filesystem::copy_file(kZoneDir + "Europe/Berlin", zone,
                               std::filesystem::copy_options::overwrite_existing);
    now += std::chrono::seconds(1);
    EXPECT_EQ(source.timeZone().bias, -60);
    std::filesystem::copy_file(kZoneDir + "Asia/Kolkata", dir / "Test" / "Other");
    std::filesystem::create_symlink(dir / "Test" / "Other", dir / "newlink");
    std::filesystem::rename(dir / "newlink", link);
    now += std::chrono::seconds(1);
    EXPECT_EQ(source.timeZone().bias, -330);
    std::filesystem::remove_all(dir);
}

// A zone in a folder that does not exist yet is found once the folder and the file are made.
TEST_F(SystemZone, FollowsAFileWhoseFolderComesLater) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("velocimo-tz2-" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    setenv("TZ", (":" + (dir / "later" / "Zone").string()).c_str(), 1);
    std::chrono::steady_clock::time_point now;
    SystemTimeZoneSource source([&now] { return now; });
    EXPECT_EQ(source.timeZone().bias, 0);
    std::filesystem::create_directories(dir / "later");
    std::filesystem::copy_file(kZoneDir + "Asia/Kolkata", dir / "later" / "Zone");
    now += std::chrono::seconds(1);
    EXPECT_EQ(source.timeZone().bias, -330);
    std::filesystem::remove_all(dir);
}

TEST_F(SystemZone, LooksAtTheFileAtMostOnceASecond) {
    using namespace std::chrono_literals;
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("velocimo-tz1-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    setenv("TZDIR", dir.c_str(), 1);
    setenv("TZ", "Zone", 1);
    std::chrono::steady_clock::time_point now;
    SystemTimeZoneSource source([&now] { return now; });
    std::filesystem::copy_file(kZoneDir + "Asia/Kolkata", dir / "Zone");
    EXPECT_EQ(source.timeZone().bias, -330);

    std::filesystem::copy_file(kZoneDir + "Europe/Berlin", dir / "Zone",
                               std::filesystem::copy_options::overwrite_existing);
    struct Step {
        std::chrono::milliseconds after; // since the last look at the file
        int32_t bias;
    };
    const Step steps[] = {{0ms, -330}, {999ms, -330}, {1000ms, -60}, {1ms, -60}};
    std::chrono::steady_clock::time_point lookedAt = now;
    for (const Step& step : steps) {
        now = lookedAt + step.after;
        EXPECT_EQ(source.timeZone().bias, step.bias) << step.after.count();
        if (step.after >= 1000ms) {
            lookedAt = now;
        }
    }
    // A change of TZ or TZDIR is followed at once.
    setenv("TZ", "Asia/Kolkata", 1);
    setenv("TZDIR", kZoneDir.c_str(), 1);
    EXPECT_EQ(source.timeZone().bias, -330);
    unsetenv("TZDIR");
    std::filesystem::remove_all(dir);
}

TEST_F(SystemZone, CacheHitDoesNotAllocate) {
    SystemTimeZoneSource source;
    const char* values[] = {"Europe/Berlin", "CET-1CEST,M3.5.0,M10.5.0/3",
                            "<-04>4<-03>,M9.1.6/24,M4.1.6/24", nullptr};
    for (const char* tz : values) {
        if (tz) {
            setenv("TZ", tz, 1);
        } else {
            unsetenv("TZ");
        }
        const int32_t bias = source.timeZone().bias;
        test::startCountingAllocations();
        int32_t same = 0;
        for (int i = 0; i < 100; ++i) {
            same += source.timeZone().bias == bias;
        }
        const long allocations = test::stopCountingAllocations();
        EXPECT_EQ(allocations, 0) << (tz ? tz : "(unset)");
        EXPECT_EQ(same, 100);
    }
}

TEST_F(SystemZone, ConcurrentCallers) {
    setenv("TZ", "Australia/Sydney", 1);
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&wrong] {
            SystemTimeZoneSource source;
            for (int i = 0; i < 2000; ++i) {
                const TimeZoneInformation info = source.timeZone();
                if (info.bias != -600 || info.daylightDate.month != 10 ||
                    info.standardDate.month != 4) {
                    ++wrong;
                }
            }
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    EXPECT_EQ(wrong.load(), 0);
}

} // namespace
} // namespace velocimo
