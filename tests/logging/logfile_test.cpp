#include "logging/logfile.h"
#include "logging/logflows.h"
#include "logtestutil.h"

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
using testutil::FakeClock;
using testutil::FakePicker;
using testutil::sampleNav;

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
