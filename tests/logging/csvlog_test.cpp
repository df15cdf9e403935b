#include "logging/csvlog.h"

#include <gtest/gtest.h>

#include <clocale>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace velocimo {
namespace {

namespace fs = std::filesystem;

NavState sampleNav() {
    NavState nav;
    resetNavState(nav);
    nav.latitude.decText.assignUtf8("48.123456");
    nav.longitude.decText.assignUtf8("-11.654321");
    nav.latitude.dmmText.assignUtf8("4807.40736");
    nav.longitude.dmmText.assignUtf8("-1139.259260");
    nav.elevationText.assignUtf8("521.0m");
    nav.speedText.assignUtf8(" 12.5");
    nav.averageSpeedText.assignUtf8("9.8");
    nav.tripDistanceText.assignUtf8("3.141");
    nav.totalDistanceText.assignUtf8("001234");
    nav.satellitesText.assignUtf8("07");
    nav.hdopText.assignUtf8("1.2");
    return nav;
}

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

struct FakePicker : FilePicker {
    std::u16string answer;
    std::vector<FileRequest> requests;
    std::u16string openFile(const FileRequest& r) override { return requests.push_back(r), answer; }
    std::u16string saveFile(const FileRequest& r) override { return requests.push_back(r), answer; }
};
struct FakeClock : Clock {
    SystemTime localNow() override {
        SystemTime t;
        t.year = 2005, t.month = 6, t.day = 14, t.hour = 9, t.minute = 30, t.second = 5;
        return t;
    }
};
struct FakeMessages : MessageBoxService {
    std::vector<MessageRequest> shown;
    MessageResult show(const MessageRequest& r) override {
        shown.push_back(r);
        return MessageResult::Ok;
    }
    void post(const MessageRequest& r) override { shown.push_back(r); }
};

TEST(CsvCommands, ChooseLogFileFillsTheSaveDialog) {
    FakePicker picker;
    FakeClock clock;
    Settings s;
    picker.answer = u"/data/logs/one.csv";
    ASSERT_TRUE(chooseLogFile(s, picker, clock));
    EXPECT_EQ(s.logFilePath, u"/data/logs/one.csv");
    EXPECT_TRUE(s.logFileChosen);
    EXPECT_FALSE(s.loggingOn);
    const FileRequest& first = picker.requests.at(0);
    EXPECT_EQ(first.title, u"Log");
    EXPECT_EQ(first.filterName, u"CSV Files (*.csv)");
    EXPECT_EQ(first.filterPattern, u"*.csv");
    EXPECT_EQ(first.proposedName, u"VELO_LOG 20050614 093005");
    EXPECT_EQ(first.initialFolder, u"");

    // "New": the dialog opens in the folder of the current log; cancel changes nothing,
    // nor does a path that would not fit.
    for (const std::u16string& answer : {std::u16string(), std::u16string(300, u'x')}) {
        picker.answer = answer;
        EXPECT_FALSE(chooseLogFile(s, picker, clock));
        EXPECT_EQ(picker.requests.back().initialFolder, u"/data/logs/");
        EXPECT_EQ(s.logFilePath, u"/data/logs/one.csv");
    }
}

TEST(CsvCommands, OnAndOpenAskForAFileOnlyWhenNeeded) {
    enum class Command { Toggle, Ensure };
    struct Case {
        Command command;
        bool on, chosen;
        const char16_t* answer; // what the dialog returns
        bool dialogShown, onAfter, messageShown;
    };
    const Case cases[] = {
        {Command::Toggle, false, true, u"", false, true, false},
        {Command::Toggle, false, false, u"/t/new.csv", true, true, false},
        {Command::Toggle, false, false, u"", true, false, true},
        {Command::Toggle, true, true, u"", false, false, false},
        {Command::Toggle, true, false, u"", false, false, false},
        {Command::Ensure, false, false, u"", false, false, false},
        {Command::Ensure, true, true, u"", false, true, false},
        {Command::Ensure, true, false, u"/t/new.csv", true, true, false},
        {Command::Ensure, true, false, u"", true, false, true},
    };
    for (const Case& c : cases) {
        FakePicker picker;
        FakeClock clock;
        FakeMessages messages;
        picker.answer = c.answer;
        Settings s;
        s.loggingOn = c.on;
        s.logFileChosen = c.chosen;
        if (c.chosen) {
            s.logFilePath.assignUtf8("/t/old.csv");
        }
        if (c.command == Command::Toggle) {
            toggleLogging(s, picker, clock, messages);
        } else {
            ensureLogFile(s, picker, clock, messages);
        }
        const int row = static_cast<int>(&c - cases);
        EXPECT_EQ(picker.requests.size(), c.dialogShown ? 1u : 0u) << row;
        EXPECT_EQ(s.loggingOn, c.onAfter) << row;
        ASSERT_EQ(messages.shown.size(), c.messageShown ? 1u : 0u) << row;
        if (c.messageShown) {
            EXPECT_EQ(messages.shown[0].text, kNoLogFileMessage);
            EXPECT_EQ(messages.shown[0].caption, u"Velocimo");
            EXPECT_EQ(messages.shown[0].icon, MessageIcon::Information);
            EXPECT_TRUE(messages.shown[0].topmost);
        }
        EXPECT_EQ(s.logFileChosen, c.chosen || c.answer[0] != 0) << row;
    }
}

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class CsvFile : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/velocimo-csv-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        m_dir = tmpl;
        m_file = m_dir / "trip.csv";
        m_settings.loggingOn = true;
        m_settings.logFileChosen = true;
        m_settings.logFilePath.assignUtf8(m_file.string());
        m_fields.logSpeedCurrent = m_fields.logDistanceTotal = true;
    }
    void TearDown() override { fs::remove_all(m_dir); }
    bool append() { return appendLogRecord(m_settings, m_fields, m_nav); }

    fs::path m_dir, m_file;
    Settings m_settings;
    LogFieldSet m_fields;
    NavState m_nav = sampleNav();
};

constexpr const char* kHeader = "SPEED_CUR,DIST_TOTAL\r\n";
constexpr const char* kLine = " 12.5,001234\r\n";

TEST_F(CsvFile, HeaderOnlyInANewFile) {
    ASSERT_TRUE(append());
    ASSERT_TRUE(append());
    EXPECT_EQ(readFile(m_file), std::string(kHeader) + kLine + kLine);

    // Existing files never get a header, whatever they hold.
    for (const std::string before : {"", "A,B\r\nx,y\r\n"}) {
        std::ofstream(m_file, std::ios::binary) << before;
        ASSERT_TRUE(append());
        EXPECT_EQ(readFile(m_file), before + kLine);
    }
}

TEST_F(CsvFile, NewTargetAndRemovedFileStartWithAHeader) {
    ASSERT_TRUE(append());
    fs::remove(m_file); // removed between two ticks
    ASSERT_TRUE(append());
    EXPECT_EQ(readFile(m_file), std::string(kHeader) + kLine);

    FakePicker picker;
    FakeClock clock;
    picker.answer = fromUtf8((m_dir / "zweite Fahrt \u00fc.csv").string());
    ASSERT_TRUE(chooseLogFile(m_settings, picker, clock));
    ASSERT_TRUE(append());
    EXPECT_EQ(readFile(m_dir / "zweite Fahrt \u00fc.csv"), std::string(kHeader) + kLine);
    EXPECT_EQ(readFile(m_file), std::string(kHeader) + kLine);
}

TEST_F(CsvFile, FailuresWriteNothingAndRecover) {
    // Locked by another program: nothing written until the lock goes.
    ASSERT_TRUE(append());
    const int other = ::open(m_file.c_str(), O_RDWR);
    ASSERT_EQ(::flock(other, LOCK_EX), 0);
    EXPECT_FALSE(append());
    ::close(other);
    ASSERT_TRUE(append());
    EXPECT_EQ(readFile(m_file), std::string(kHeader) + kLine + kLine);

    m_settings.logFilePath.assignUtf8("/dev/full");
    EXPECT_FALSE(append());
    m_settings.logFilePath.clear();
    EXPECT_FALSE(append());
    m_settings.logFilePath.assignUtf8((m_dir / "gone" / "x.csv").string());
    EXPECT_FALSE(append());
    EXPECT_FALSE(fs::exists(m_dir / "gone"));
}

// A write that runs out of room leaves no half line and no header-less new file behind.
TEST_F(CsvFile, ShortWritesAreRolledBack) {
    ASSERT_TRUE(append());
    const std::string before = readFile(m_file);
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit tight = saved;
    tight.rlim_cur = before.size() + 5;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
    const bool grown = append();
    m_settings.logFilePath.assignUtf8((m_dir / "fresh.csv").string());
    tight.rlim_cur = 10; // room for part of the header only
    setrlimit(RLIMIT_FSIZE, &tight);
    const bool fresh = append();
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_FALSE(grown);
    EXPECT_EQ(readFile(m_file), before);
    EXPECT_FALSE(fresh);
    EXPECT_FALSE(fs::exists(m_dir / "fresh.csv"));
    ASSERT_TRUE(append());
    EXPECT_EQ(readFile(m_dir / "fresh.csv"), std::string(kHeader) + kLine);
}

TEST_F(CsvFile, GermanLocaleStillWritesPoints) {
    const std::string old = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
        GTEST_SKIP() << "de_DE.UTF-8 not installed";
    }
    m_nav.speedText.format("%3.1lf", 12.5);
    m_nav.totalDistanceText.format("%06.3f", 1.5);
    const bool ok = append();
    std::setlocale(LC_ALL, old.c_str());
    ASSERT_TRUE(ok);
    EXPECT_EQ(readFile(m_file), std::string(kHeader) + "12.5,01.500\r\n");
}

} // namespace
} // namespace velocimo
