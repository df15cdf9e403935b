#include "nmeasim.h"
#include "tests/support/simprocess.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

using namespace velocimo::sim;
using namespace std::chrono_literals;

namespace {

std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> out;
    std::string body = line.substr(1, line.find('*') - 1);
    std::stringstream ss(body);
    std::string f;
    while (std::getline(ss, f, ',')) {
        out.push_back(f);
    }
    if (!body.empty() && body.back() == ',') {
        out.push_back("");
    }
    return out;
}

// The checksum after '*' matches the bytes between '$' and '*'.
bool checksumOk(const std::string& line) {
    const auto star = line.find('*');
    if (line.empty() || line[0] != '$' || star == std::string::npos || star + 3 > line.size()) {
        return false;
    }
    unsigned sum = 0;
    for (std::size_t i = 1; i < star; ++i) {
        sum ^= static_cast<unsigned char>(line[i]);
    }
    return std::stoul(line.substr(star + 1, 2), nullptr, 16) == sum;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto end = text.find("\r\n", pos);
        if (end == std::string::npos) {
            break;
        }
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

TEST(SimSentences, ChecksumsMatchKnownSentences) {
    const std::pair<const char*, const char*> cases[] = {
        {"PSRF103,04,00,01,01", "$PSRF103,04,00,01,01*21\r\n"},
        {"PSRF103,00,00,01,01", "$PSRF103,00,00,01,01*25\r\n"},
        {"PSRF103,02,00,01,01", "$PSRF103,02,00,01,01*27\r\n"},
        {"GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,",
         "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n"},
        {"", "$*00\r\n"},
    };
    for (const auto& [body, expected] : cases) {
        EXPECT_EQ(sentence(body), expected);
    }
}

TEST(SimSentences, DegreesAndMinutesCarryInsteadOfShowingSixty) {
    const struct {
        double value;
        int digits;
        const char* text;
    } cases[] = {
        {47.3769, 2, "4722.6140"},    {8.5417, 3, "00832.5020"},      {-33.5, 2, "3330.0000"},
        {-122.25, 3, "12215.0000"},   {59.999999999, 2, "6000.0000"}, {0.0, 3, "00000.0000"},
        {12.0000001, 2, "1200.0000"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formatDegreesMinutes(c.value, c.digits), c.text) << c.value;
    }
}

TEST(SimDrive, LapShowsEverythingTheDashboardCan) {
    std::set<int> octants;
    double top = 0.0;
    bool rose = false, fell = false;
    int firstInvalid = -1, invalidCount = 0;
    bool above[3] = {}, below[3] = {};
    const double limits[3] = {50.0, 80.0, 100.0};
    for (uint64_t t = 0; t < kLapEpochs; ++t) {
        const DriveSample s = driveAt(t);
        const DriveSample next = driveAt(t + 1);
        top = std::max(top, s.speedKmh);
        for (int i = 0; i < 3; ++i) {
            above[i] = above[i] || s.speedKmh > limits[i];
            below[i] = below[i] || (s.speedKmh > 0.0 && s.speedKmh < limits[i]);
        }
        if (s.fixValid && s.speedKmh > 0.0) {
            octants.insert(static_cast<int>(std::fmod(s.course + 22.5, 360.0) / 45.0));
        }
        rose = rose || next.altitude > s.altitude;
        fell = fell || next.altitude < s.altitude;
        if (!s.fixValid) {
            if (firstInvalid < 0) {
                firstInvalid = static_cast<int>(t);
            }
            ++invalidCount;
        }
        EXPECT_GE(s.course, 0.0);
        EXPECT_LT(s.course, 360.0);
    }
    for (uint64_t t = 0; t < 5; ++t) {
        EXPECT_EQ(driveAt(t).speedKmh, 0.0) << t;
    }
    EXPECT_EQ(top, 130.0);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(above[i] && below[i]) << limits[i];
    }
    EXPECT_EQ(octants.size(), 8u);
    EXPECT_TRUE(rose && fell);
    // One loss of fix of a few seconds, in the middle of the lap, and its return.
    ASSERT_GT(firstInvalid, 0);
    EXPECT_GE(invalidCount, 3);
    EXPECT_LE(invalidCount, 10);
    for (int t = firstInvalid; t < firstInvalid + invalidCount; ++t) {
        EXPECT_FALSE(driveAt(static_cast<uint64_t>(t)).fixValid) << t;
    }
    EXPECT_TRUE(driveAt(static_cast<uint64_t>(firstInvalid + invalidCount)).fixValid);
}

TEST(SimDrive, DeterministicAndContinuousAcrossLaps) {
    for (uint64_t e : {0ull, 17ull, 199ull, 200ull, 201ull, 4000ull}) {
        const DriveSample a = driveAt(e);
        const DriveSample b = driveAt(e);
        EXPECT_EQ(a.latitude, b.latitude);
        EXPECT_EQ(a.longitude, b.longitude);
        const DriveSample nextLap = driveAt(e + kLapEpochs);
        EXPECT_EQ(nextLap.speedKmh, a.speedKmh);
        EXPECT_EQ(nextLap.utcSeconds, a.utcSeconds + static_cast<int64_t>(kLapEpochs));
    }
    // Each second moves the position by about what the speed says, over the lap boundary too.
    for (uint64_t e = 0; e < 2 * kLapEpochs + 5; ++e) {
        const DriveSample a = driveAt(e);
        const DriveSample b = driveAt(e + 1);
        const double dy = (b.latitude - a.latitude) * 111.32;
        const double dx = (b.longitude - a.longitude) * 111.32 * std::cos(a.latitude * M_PI / 180);
        const double km = std::hypot(dx, dy);
        EXPECT_NEAR(km, a.speedKmh / 3600.0, 0.002) << e;
        EXPECT_EQ(b.utcSeconds, a.utcSeconds + 1);
    }
}

TEST(SimDrive, EpochSentencesAreWellFormed) {
    for (uint64_t e = 0; e < kLapEpochs; ++e) {
        const DriveSample s = driveAt(e);
        const auto lines = linesOf(formatEpoch(s));
        ASSERT_EQ(lines.size(), 3u);
        for (const std::string& l : lines) {
            EXPECT_TRUE(checksumOk(l)) << l;
            EXPECT_LE(l.size() + 2, 82u) << l;
        }
        const auto rmc = fields(lines[0]);
        const auto gga = fields(lines[1]);
        const auto gsa = fields(lines[2]);
        ASSERT_EQ(rmc.size(), 13u) << lines[0];
        ASSERT_EQ(gga.size(), 15u) << lines[1];
        EXPECT_EQ(rmc[0], "GPRMC");
        EXPECT_EQ(gga[0], "GPGGA");
        EXPECT_EQ(gsa[0], "GPGSA");
        EXPECT_EQ(rmc[1], gga[1]);
        EXPECT_EQ(rmc[2], s.fixValid ? "A" : "V");
        EXPECT_EQ(gga[6], s.fixValid ? "1" : "0");
        EXPECT_EQ(gsa[2], s.fixValid ? "3" : "1");
        if (s.fixValid) {
            EXPECT_NEAR(std::stod(rmc[7]) * 1.852, s.speedKmh, 0.01) << lines[0];
            EXPECT_NEAR(std::stod(rmc[8]), s.course, 0.05);
            EXPECT_NEAR(std::stod(gga[9]), s.altitude, 0.05);
            EXPECT_EQ(rmc[3], gga[2]);
            EXPECT_EQ(rmc[4], "N");
            EXPECT_EQ(rmc[6], "E");
        }
    }
    // The clock is UTC and the date rolls over at midnight.
    DriveSample midnight = driveAt(0);
    midnight.utcSeconds = 1780358399; // 2026-06-01 23:59:59
    EXPECT_EQ(fields(linesOf(formatEpoch(midnight))[0])[9], "010626");
    ++midnight.utcSeconds;
    const auto rmc = fields(linesOf(formatEpoch(midnight))[0]);
    EXPECT_EQ(rmc[1], "000000.00");
    EXPECT_EQ(rmc[9], "020626");
}

TEST(SimDrive, TalkersOfTheEpoch) {
    const struct {
        const char* talker;
        std::vector<std::string> names;
    } cases[] = {
        {"GP", {"GPRMC", "GPGGA", "GPGSA"}},
        {"GN", {"GNRMC", "GNGGA", "GNGSA"}},
        {"BD", {"BDRMC", "BDGGA", "BDGSA"}},
        {"mixed", {"GNRMC", "GPGGA", "GNGSA", "GLGSA"}},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(validTalker(c.talker));
        for (uint64_t e : {uint64_t{0}, uint64_t{100}}) {
            std::vector<std::string> names;
            for (const std::string& l : linesOf(formatEpoch(driveAt(e), c.talker))) {
                EXPECT_TRUE(checksumOk(l)) << l;
                names.push_back(fields(l)[0]);
            }
            EXPECT_EQ(names, c.names) << c.talker;
        }
    }
    // Without a talker the drive is what it always was.
    EXPECT_EQ(formatEpoch(driveAt(7)), formatEpoch(driveAt(7), "GP"));
    for (const char* bad : {"", "G", "gp", "GPS", "Mixed", "P1"}) {
        EXPECT_FALSE(validTalker(bad)) << bad;
    }
}

TEST(SimCapture, EpochsEndWhenTheSecondChanges) {
    const struct {
        const char* name;
        std::string capture;
        std::vector<std::string> epochs;
    } cases[] = {
        {"comments skipped, endings made CR LF",
         "# Name: x\n$GPRMC,120000.00,A\r\n$GPGGA,120000.00\n\n$GPRMC,120001.00,A\n",
         {"$GPRMC,120000.00,A\r\n$GPGGA,120000.00\r\n", "$GPRMC,120001.00,A\r\n"}},
        {"GGA before RMC",
         "$GPGGA,120000,x\n$GPRMC,120000,A\n$GPGGA,120001,x\n$GPRMC,120001,A\n",
         {"$GPGGA,120000,x\r\n$GPRMC,120000,A\r\n", "$GPGGA,120001,x\r\n$GPRMC,120001,A\r\n"}},
        {"two fixes a second stay together",
         "$GPRMC,120000.00,A\n$GPRMC,120000.50,A\n$GPRMC,120001.00,A\n",
         {"$GPRMC,120000.00,A\r\n$GPRMC,120000.50,A\r\n", "$GPRMC,120001.00,A\r\n"}},
        {"no time: a repeated sentence starts the next epoch",
         "$GPRMC,,V\n$GPGGA,,\n$GPGSA,A,1\n$GPRMC,,V\n",
         {"$GPRMC,,V\r\n$GPGGA,,\r\n$GPGSA,A,1\r\n", "$GPRMC,,V\r\n"}},
        {"other talkers count, other sentences ride along",
         "$GNRMC,1\n$SDHDG,x\n#mid\n$GNRMC,2\n$GP\n",
         {"$GNRMC,1\r\n$SDHDG,x\r\n", "$GNRMC,2\r\n$GP\r\n"}},
        {"empty", "# only\n\n", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(splitEpochs(c.capture), c.epochs);
    }
}

TEST(SimCapture, RealCapturesKeepEveryLineAndOneSecondPerEpoch) {
    const std::filesystem::path dir = VELOCIMO_TEST_DATA "/nmea";
    ASSERT_TRUE(std::filesystem::is_directory(dir)) << dir;
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() != ".log") {
            continue;
        }
        ++files;
        SCOPED_TRACE(entry.path().filename().string());
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
        std::string expected;
        std::stringstream ss(text);
        std::string line;
        while (std::getline(ss, line)) {
            while (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            if (!line.empty() && line[0] != '#') {
                expected += line + "\r\n";
            }
        }
        const auto epochs = splitEpochs(text);
        ASSERT_FALSE(epochs.empty());
        std::string joined;
        for (const std::string& e : epochs) {
            joined += e;
            std::set<std::string> seconds;
            for (const std::string& l : linesOf(e)) {
                const auto d = l.find('$');
                if (d != std::string::npos && l.size() >= d + 7 &&
                    (l.compare(d + 3, 4, "RMC,") == 0 || l.compare(d + 3, 4, "GGA,") == 0)) {
                    const auto t = fields(l.substr(d))[1];
                    if (!t.empty()) {
                        seconds.insert(t.substr(0, t.find('.')));
                    }
                }
            }
            EXPECT_LE(seconds.size(), 1u) << e;
        }
        EXPECT_EQ(joined, expected);
    }
    EXPECT_GE(files, 10);
}

// Reads the slave for a while and returns what arrived.
std::string readSlave(const std::string& path, std::chrono::milliseconds duration) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) {
        return {};
    }
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
    std::string out;
    const auto end = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 20) > 0) {
            char buf[512];
            const ssize_t n = read(fd, buf, sizeof buf);
            if (n <= 0) {
                break;
            }
            out.append(buf, static_cast<std::size_t>(n));
        }
    }
    close(fd);
    return out;
}

TEST(SimProgram, DrivesAPtyAtPaceAndStopsCleanly) {
    const std::string link = std::string(VELOCIMO_BINARY_DIR) + "/sim-test-link";
    { std::ofstream(link) << "stale"; } // an existing path is replaced
    velocimo::test::SimProcess sim({"--rate", "10", "--link", link});
    ASSERT_TRUE(sim.started());
    const std::string path = sim.firstLine();
    ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
    ASSERT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), path);

    const auto start = std::chrono::steady_clock::now();
    const std::string got = readSlave(link, 1500ms);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // 4800 baud ten times over is 4800 bytes a second at most; anything queued before we
    // connected is at most 1 KiB and an epoch.
    EXPECT_LE(static_cast<double>(got.size()), 4800.0 * seconds + 1400.0);
    auto lines = linesOf(got.substr(got.find('$')));
    ASSERT_GE(lines.size(), 12u);
    // Start at an RMC and follow the epochs.
    while (!lines.empty() && lines.front().rfind("$GPRMC", 0) != 0) {
        lines.erase(lines.begin());
    }
    std::string prevTime;
    for (std::size_t i = 0; i + 3 <= lines.size(); i += 3) {
        EXPECT_EQ(lines[i].substr(0, 6), "$GPRMC");
        EXPECT_EQ(lines[i + 1].substr(0, 6), "$GPGGA");
        EXPECT_EQ(lines[i + 2].substr(0, 6), "$GPGSA");
        for (int k = 0; k < 3; ++k) {
            EXPECT_TRUE(checksumOk(lines[i + k])) << lines[i + k];
        }
        const std::string time = fields(lines[i])[1];
        if (!prevTime.empty()) {
            EXPECT_EQ(std::stoi(time.substr(4, 2)), (std::stoi(prevTime.substr(4, 2)) + 1) % 60);
        }
        prevTime = time;
    }

    sim.signal(SIGTERM);
    EXPECT_EQ(sim.wait(2s), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}

TEST(SimProgram, ReplaysACaptureOnceAndEnds) {
    const std::string log = VELOCIMO_TEST_DATA "/nmea/motorola-t805.log";
    ASSERT_TRUE(std::filesystem::is_regular_file(log)) << log;
    velocimo::test::SimProcess sim({"--rate", "40", "--once", log});
    const std::string path = sim.firstLine();
    ASSERT_FALSE(path.empty());
    const std::string got = readSlave(path, 2500ms);
    EXPECT_EQ(sim.wait(3s), 0);
    std::ifstream in(log, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string all;
    for (const std::string& e : splitEpochs(text)) {
        all += e;
    }
    // Whatever arrived is the capture's tail, ending with its last line.
    ASSERT_GT(got.size(), 200u);
    EXPECT_EQ(all.substr(all.size() - got.size()), got);
}

TEST(SimProgram, HelpAndBadArguments) {
    const struct {
        std::vector<std::string> args;
        int status;
        bool printsHelp;
    } cases[] = {
        {{"--help"}, 0, true},
        {{"--rate", "0"}, 2, false},
        {{"--rate", "fast"}, 2, false},
        {{"--baud", "4801"}, 2, false},
        {{"--baud", "1200"}, 2, false},
        {{"--talker", "gp"}, 2, false},
        {{"--talker", "GPS"}, 2, false},
        {{"--bogus"}, 2, false},
        {{"/nonexistent/capture.log"}, 1, false},
    };
    for (const auto& c : cases) {
        velocimo::test::SimProcess sim(c.args);
        const std::string out = sim.restOfOutput();
        EXPECT_EQ(sim.wait(2s), c.status) << c.args[0];
        EXPECT_EQ(out.find("--link PATH") != std::string::npos, c.printsHelp) << c.args[0];
    }
}

} // namespace
