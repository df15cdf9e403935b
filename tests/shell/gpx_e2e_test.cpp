// The GPX track and the raw recording written by the real program: killed in the middle of
// the built-in drive, then started again on the same files.

#include "settings/regfilestore.h"
#include "shell/core/utf.h"
#include "tests/support/programprocess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace velocimo {
namespace {

using namespace std::chrono_literals;
using test::queryStatusFields;
using test::spawnProcess;
using test::waitUntil;

// Fast enough to pass the drive's fix loss (its seconds 111 to 116) within the test, slow
// enough that the points of one tick apart stay within the segment gap.
constexpr int kRate = 8;
constexpr long kLapSeconds = 200;
constexpr long kDriveStartUtc = 1780304400; // 2026-06-01 09:00:00, the drive's first second

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::size_t countOf(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

// Standard output of a shell command, and whether it exited with 0.
bool runCommand(const std::string& command, std::string& output) {
    output.clear();
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        return false;
    }
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        output.append(buffer, n);
    }
    return ::pclose(pipe) == 0;
}

// The <time> of every point, seconds since 1970, and the segment each belongs to.
struct TrackPoint {
    int segment = 0;
    long seconds = 0;
};

std::vector<TrackPoint> trackPoints(const std::string& gpx) {
    std::vector<TrackPoint> points;
    int segment = -1;
    for (std::size_t at = 0; (at = gpx.find('<', at)) != std::string::npos; ++at) {
        if (gpx.compare(at, 8, "<trkseg>") == 0) {
            ++segment;
        } else if (gpx.compare(at, 6, "<time>") == 0) {
            std::tm t{};
            if (::strptime(gpx.c_str() + at + 6, "%Y-%m-%dT%H:%M:%S", &t)) {
                points.push_back({segment, static_cast<long>(::timegm(&t))});
            }
        }
    }
    return points;
}

// Whether each CSV record had a fix: one without holds the position 0,0.
std::vector<bool> csvFixes(const std::string& csv) {
    std::vector<bool> fixes;
    std::size_t start = 0;
    for (std::size_t end; (end = csv.find("\r\n", start)) != std::string::npos; start = end + 2) {
        const std::string line = csv.substr(start, end - start);
        if (line.rfind("LAT_DEC", 0) != 0) {
            fixes.push_back(line.rfind("0.000000,0.000000,", 0) != 0);
        }
    }
    return fixes;
}

// Every record with a fix has its point, but those in skipped (a kill between the CSV and
// the GPX write), and a point opens a segment exactly after a record without a fix, a gap of
// more than 10 s, or at a run's first record (runStarts). What is wrong, empty if nothing.
std::string checkTrack(const std::vector<bool>& fixes, const std::vector<std::size_t>& runStarts,
                       const std::vector<std::size_t>& skipped,
                       const std::vector<TrackPoint>& points) {
    std::ostringstream why;
    std::size_t p = 0;
    bool broken = true;
    for (std::size_t r = 0; r < fixes.size(); ++r) {
        if (std::find(runStarts.begin(), runStarts.end(), r) != runStarts.end()) {
            broken = true;
        }
        if (!fixes[r]) {
            broken = true;
            continue;
        }
        if (std::find(skipped.begin(), skipped.end(), r) != skipped.end()) {
            continue;
        }
        if (p == points.size()) {
            why << "record " << r << " has no point; ";
            break;
        }
        const bool gap = p > 0 && points[p].seconds - points[p - 1].seconds > 10;
        const bool opens = p == 0 || points[p].segment != points[p - 1].segment;
        if (opens != (broken || gap)) {
            why << "point " << p << " (record " << r << ") " << (opens ? "opens" : "does not open")
                << " a segment; ";
        }
        if (p > 0 && points[p].seconds <= points[p - 1].seconds) {
            why << "point " << p << " is not later than the one before; ";
        }
        broken = false;
        ++p;
    }
    if (p != points.size()) {
        why << points.size() - p << " points more than records with a fix; ";
    }
    return why.str();
}

// How many records with a fix came before the index end.
std::size_t fixesBefore(const std::vector<bool>& fixes, std::size_t end) {
    return static_cast<std::size_t>(std::count(fixes.begin(), fixes.begin() + end, true));
}

// The last record with a fix before end.
std::size_t lastFixBefore(const std::vector<bool>& fixes, std::size_t end) {
    while (end > 0 && !fixes[end - 1]) {
        --end;
    }
    return end - 1;
}

class GpxDrive : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/velocimo-gpx-e2e-XXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        m_dir = name;
        ::mkdir((m_dir + "/run").c_str(), 0700);
        ::mkdir((m_dir + "/config").c_str(), 0700);
        ::mkdir((m_dir + "/logs").c_str(), 0700);
        const std::string link = m_dir + "/gps";
        m_sim = spawnProcess({VELOCIMO_SIM_PATH, "--rate", std::to_string(kRate), "--link", link},
                             {}, m_dir + "/sim.err");
        ASSERT_GT(m_sim, 0);
        ASSERT_TRUE(waitUntil([&] { return ::access(link.c_str(), F_OK) == 0; }, 5000ms));

        RegFileStore store(m_dir + "/config/Korvane/Velocimo.reg");
        auto main = store.openKey(kSettingsKeyPath);
        main->writeDword(u"AutoConnect", 1);
        main->writeDword(u"Log", 1);
        main->writeText(u"LogName", fromUtf8(csvPath()));
        main->writeDword(u"TrackLog", 1);
        main->writeDword(u"RawLog", 1);
        main->close();
        auto log = store.openKey(kLogKeyPath);
        for (const char16_t* field : {u"Position_DEC", u"Elevation", u"SpeedCurrent"}) {
            log->writeDword(field, 1);
        }
        log->close();
        auto ports = store.openKey(kPortsKeyPath);
        ports->writeText(u"COM1:", fromUtf8(link));
        ports->close();
    }
    void TearDown() override {
        if (m_program > 0) {
            ::kill(m_program, SIGKILL);
            ::waitpid(m_program, nullptr, 0);
        }
        if (m_sim > 0) {
            ::kill(m_sim, SIGKILL);
            ::waitpid(m_sim, nullptr, 0);
        }
        if (!m_dir.empty() && !::testing::Test::HasFailure()) {
            std::system(("rm -rf '" + m_dir + "'").c_str());
        }
    }

    void start() {
        m_program = spawnProcess({VELOCIMO_PROGRAM_PATH},
                                 {{"QT_QPA_PLATFORM", "offscreen"},
                                  {"XDG_RUNTIME_DIR", m_dir + "/run"},
                                  {"XDG_CONFIG_HOME", m_dir + "/config"}},
                                 m_dir + "/velocimo.err");
        ASSERT_GT(m_program, 0);
        ASSERT_TRUE(waitUntil(
            [&] {
                return queryStatusFields(m_dir + "/run/velocimo/control",
                                         {"gpsConnected"})["gpsConnected"] == "true";
            },
            10000ms))
            << readFile(m_dir + "/velocimo.err");
    }
    void kill() {
        ::kill(m_program, SIGKILL);
        ::waitpid(m_program, nullptr, 0);
        m_program = -1;
    }

    // Records in the CSV file: its lines but the header.
    std::size_t csvRecords() const {
        const std::size_t lines = countOf(readFile(csvPath()), "\r\n");
        return lines > 0 ? lines - 1 : 0;
    }
    bool waitForRecords(std::size_t n, std::chrono::milliseconds limit) const {
        return waitUntil([&] { return csvRecords() >= n; }, limit);
    }

    // What xmllint says against the schema kept with the tests; empty when the file is valid.
    std::string schemaErrors() const {
        std::string out;
        const bool valid =
            runCommand("xmllint --noout --schema '" VELOCIMO_TEST_DATA "/gpx/gpx.xsd' '" +
                           gpxPath() + "' 2>&1",
                       out);
        return valid ? std::string() : out.empty() ? "xmllint failed" : out;
    }
    // The points gpsbabel reads, -1 when it fails.
    long babelPoints() const {
        std::string out;
        if (!runCommand("gpsbabel -i gpx -f '" + gpxPath() + "' -o csv -F - 2>/dev/null", out)) {
            return -1;
        }
        return static_cast<long>(countOf(out, "\n"));
    }

    std::string csvPath() const { return m_dir + "/logs/drive.csv"; }
    std::string gpxPath() const { return m_dir + "/logs/drive.gpx"; }
    std::string nmeaPath() const { return m_dir + "/logs/drive.nmea"; }

    std::string m_dir;
    pid_t m_sim = -1;
    pid_t m_program = -1;
};

TEST_F(GpxDrive, KilledMidDriveTheTrackReadsAndTheRecordingReplaysThenTheNextRunAppends) {
    ASSERT_EQ(std::system("command -v xmllint gpsbabel >/dev/null"), 0)
        << "xmllint and gpsbabel are needed";

    start();
    // Past the fix loss of the drive, which starts with the simulator.
    const auto lossPassed = std::chrono::steady_clock::now() + 1000ms * 134 / kRate;
    ASSERT_TRUE(waitForRecords(5, 15000ms)) << readFile(m_dir + "/velocimo.err");
    std::this_thread::sleep_until(lossPassed);
    kill();

    const std::size_t records = csvRecords();
    const std::string gpx = readFile(gpxPath());
    const std::size_t points = countOf(gpx, "<trkpt ");
    EXPECT_EQ(schemaErrors(), "");
    EXPECT_EQ(babelPoints(), static_cast<long>(points));
    EXPECT_GE(points, 5u);
    EXPECT_LE(points, records) << "a point for a tick the CSV did not get";

    // One tick is kRate seconds of the drive, which passes its fix loss; the CSV has a 0,0
    // record for a tick in it.
    const std::vector<bool> fixes = csvFixes(readFile(csvPath()));
    ASSERT_EQ(fixes.size(), records);
    const std::size_t withFix = fixesBefore(fixes, records);
    std::printf("first run: %zu records (%zu with a fix), %zu points in %zu segments\n", records,
                withFix, points, countOf(gpx, "<trkseg>"));
    ASSERT_TRUE(points == withFix || points + 1 == withFix);
    std::vector<std::size_t> skipped;
    if (points + 1 == withFix) { // killed between the two writes
        skipped.push_back(lastFixBefore(fixes, records));
    }
    EXPECT_EQ(checkTrack(fixes, {0}, skipped, trackPoints(gpx)), "");

    // The raw recording: whole lines, and every RMC in it a tick of the replay.
    const std::string raw = readFile(nmeaPath());
    const std::size_t rmcs = countOf(raw, "$GPRMC,");
    EXPECT_GE(rmcs, 118u / 2) << "the drive up to the kill was recorded";
    EXPECT_EQ(raw.back(), '\n') << "a line cut short";
    std::string replay;
    EXPECT_TRUE(runCommand("'" VELOCIMO_REPLAY_PATH "' '" + nmeaPath() + "'", replay));
    EXPECT_GE(countOf(replay, "\n"), rmcs);
    std::string replayCsv;
    EXPECT_TRUE(runCommand("'" VELOCIMO_REPLAY_PATH "' --csv '" + nmeaPath() + "'", replayCsv));
    EXPECT_GE(countOf(replayCsv, "\n"), records) << "the replay logs at least every tick did";

    // Started again on the same files: the track goes on in a new segment.
    start();
    ASSERT_TRUE(waitForRecords(records + 3, 8000ms)) << readFile(m_dir + "/velocimo.err");
    kill();
    const std::string again = readFile(gpxPath());
    const std::size_t kept = gpx.rfind("</trkseg>");
    ASSERT_NE(kept, std::string::npos);
    EXPECT_EQ(again.compare(0, kept, gpx, 0, kept), 0)
        << "the first run's points stay as they were";
    EXPECT_EQ(countOf(again, "<trkseg>"), countOf(gpx, "<trkseg>") + 1);
    const std::vector<bool> allFixes = csvFixes(readFile(csvPath()));
    const std::size_t allPoints = countOf(again, "<trkpt ");
    EXPECT_GT(allPoints, points);
    const std::size_t allWithFix = fixesBefore(allFixes, allFixes.size());
    ASSERT_TRUE(allPoints + skipped.size() == allWithFix ||
                allPoints + skipped.size() + 1 == allWithFix);
    if (allPoints + skipped.size() + 1 == allWithFix) {
        skipped.push_back(lastFixBefore(allFixes, allFixes.size()));
    }
    EXPECT_EQ(checkTrack(allFixes, {0, records}, skipped, trackPoints(again)), "");
    EXPECT_EQ(schemaErrors(), "");
    EXPECT_EQ(babelPoints(), static_cast<long>(countOf(again, "<trkpt ")));
    EXPECT_GT(countOf(readFile(nmeaPath()), "$GPRMC,"), rmcs) << "the recording goes on";
}

} // namespace
} // namespace velocimo
