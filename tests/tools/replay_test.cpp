#include "tools/replay/replay.h"

#include "shell/tick.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace velocimo {
namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << "missing " << path;
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> replayLines(const std::string& input, ReplayOptions options = {}) {
    std::ostringstream out;
    runReplay(input, options, out);
    std::vector<std::string> lines;
    std::istringstream in(out.str());
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The value that follows "key": in a JSON object line, starting the search at `from`.
std::string jsonValue(const std::string& json, const std::string& key, std::size_t from = 0) {
    const std::string needle = "\"" + key + "\":";
    const std::size_t at = json.find(needle, from);
    if (at == std::string::npos) {
        return {};
    }
    std::size_t begin = at + needle.size();
    std::size_t end = begin;
    if (json[begin] == '"') {
        end = begin + 1;
        while (end < json.size() && json[end] != '"') {
            end += json[end] == '\\' ? 2 : 1;
        }
        return json.substr(begin + 1, end - begin - 1);
    }
    while (end < json.size() && json[end] != ',' && json[end] != '}') {
        ++end;
    }
    return json.substr(begin, end - begin);
}

double coordinateDegrees(const std::string& json, const std::string& name) {
    const std::size_t at = json.find("\"" + name + "\":{");
    return std::strtod(jsonValue(json, "decimalDegrees", at).c_str(), nullptr);
}

TEST(Replay, TicksBeforeEveryRmcButTheFirstAndAtTheEnd) {
    const std::string input =
        "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n"
        "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n"
        "$GPRMC,123520,V,4807.038,S,01131.000,W,022.4,084.4,230394,003.1,W*6A\r\n";
    const auto lines = replayLines(input);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(jsonValue(lines[0], "fixValid"), "true");
    EXPECT_EQ(jsonValue(lines[0], "speedText"), "41.5");
    EXPECT_EQ(jsonValue(lines[0], "speedUnitText"), "km/h");
    EXPECT_EQ(jsonValue(lines[0], "elevationText"), "545m");
    EXPECT_EQ(jsonValue(lines[0], "satellites"), "8");
    EXPECT_EQ(jsonValue(lines[0], "hdop"), "0.9");
    EXPECT_EQ(jsonValue(lines[0], "utcTimeText"), "12:35:19");
    EXPECT_EQ(jsonValue(lines[0], "compassPointText"), "E");
    EXPECT_EQ(jsonValue(lines[0], "decText", lines[0].find("\"latitude\"")), "48.117300");
    EXPECT_DOUBLE_EQ(coordinateDegrees(lines[0], "longitude"), 11.516666666666666);
    EXPECT_EQ(jsonValue(lines[1], "fixValid"), "false");
    EXPECT_EQ(jsonValue(lines[1], "dataValidText"), "No");
    EXPECT_EQ(jsonValue(lines[1], "decText", lines[1].find("\"latitude\"")), "-48.117300");

    // An input without any sentence still reports once: the start-up state.
    const auto empty = replayLines("");
    ASSERT_EQ(empty.size(), 1u);
    EXPECT_EQ(jsonValue(empty[0], "speedText"), "0.0");
    EXPECT_EQ(jsonValue(empty[0], "hdop"), "50");
}

TEST(Replay, UnitsAndElevationOffset) {
    const std::string input =
        "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n"
        "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";
    const struct {
        int32_t units;
        int32_t offset;
        const char* speed;
        const char* unit;
        const char* elevation;
    } cases[] = {
        {0, 0, "22.4", "knots", "545m"},
        {1, 0, "41.5", "km/h", "545m"},
        {2, 0, "25.8", "mph", "1789ft"},
        {2, 100, "25.8", "mph", "1689ft"},
    };
    for (const auto& c : cases) {
        const auto lines = replayLines(input, {c.units, c.offset});
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(jsonValue(lines[0], "speedText"), c.speed) << c.units;
        EXPECT_EQ(jsonValue(lines[0], "speedUnitText"), c.unit) << c.units;
        EXPECT_EQ(jsonValue(lines[0], "elevationText"), c.elevation) << c.units << " " << c.offset;
    }
}

std::string rmcAtKnots(int second, double knots, char status = 'A') {
    char line[128];
    std::snprintf(line, sizeof line,
                  "$GPRMC,1235%02d,%c,4807.038,N,01131.000,E,%.1f,084.4,230394,003.1,W*6A\r\n",
                  second, status, knots);
    return line;
}

// The alarm hears each tick's speed: the warning once per approach, five over sounds per
// excursion, and the fix sounds from the sentences in between.
TEST(Replay, ReportsTheSoundsOfEveryTick) {
    const double speeds[] = {40, 44, 45, 48, 50, 51, 52, 53, 54, 55, 56, 57, 49, 51, 40, 39, 45};
    const char* expected[] = {"fix,",  "", "warn,", "", "",      "over,", "over,", "over,", "over,",
                              "over,", "", "",      "", "over,", "",      "",      "warn,"};
    std::string input;
    int second = 0;
    for (double knots : speeds) {
        input += rmcAtKnots(second++, knots);
    }
    ReplayOptions options;
    options.units = 0;
    options.continuousOverSound = false;
    const auto lines = replayLines(input, options);
    ASSERT_EQ(lines.size(), std::size(speeds));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::size_t at = lines[i].find("\"sounds\":[");
        ASSERT_NE(at, std::string::npos);
        std::string got = lines[i].substr(at + 10, lines[i].find(']', at) - at - 10);
        std::string want;
        for (const char* c = expected[i]; *c; ++c) {
            want += *c == ',' ? std::string("\",\"") : std::string(1, *c);
        }
        want = want.empty() ? "" : "\"" + want.substr(0, want.size() - 2);
        EXPECT_EQ(got, want) << "tick " << i << " at " << speeds[i];
    }

    // Losing the fix reports it; the limit in force and the repeat switch come from options.
    options.selectedLimit = 2;
    options.speedLimits[2] = 10;
    options.continuousOverSound = true;
    const auto lost = replayLines(rmcAtKnots(0, 20) + rmcAtKnots(1, 20, 'V'), options);
    ASSERT_EQ(lost.size(), 2u);
    EXPECT_NE(lost[0].find("\"sounds\":[\"fix\",\"over\"]"), std::string::npos);
    EXPECT_NE(lost[1].find("\"sounds\":[\"lostfix\",\"over\"]"), std::string::npos);
}

TEST(Replay, CsvHoldsWhatTheLogWouldWrite) {
    const std::string input =
        rmcAtKnots(0, 2.4) + rmcAtKnots(1, 2.5) + rmcAtKnots(2, 3.04) +
        "$GPGGA,123503,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";
    ReplayOptions options;
    options.units = 0;
    options.csv = true;
    std::string bad;
    ASSERT_TRUE(parseLogFields("SpeedCurrent,HDOP", options.fields, bad));
    std::ostringstream out;
    runReplay(input, options, out);
    EXPECT_EQ(out.str(), "SPEED_CUR,HDOP\r\n2.5,50.0\r\n3.0,0.9\r\n");

    options.everyTick = true;
    std::ostringstream all;
    runReplay(input, options, all);
    EXPECT_EQ(all.str(), "SPEED_CUR,HDOP\r\n2.4,50.0\r\n2.5,50.0\r\n3.0,0.9\r\n");

    EXPECT_FALSE(parseLogFields("HDOP,Altitude", options.fields, bad));
    EXPECT_EQ(bad, "Altitude");
    ASSERT_TRUE(parseLogFields("Position_DEC,DistanceTotal", options.fields, bad));
    EXPECT_TRUE(options.fields.logPositionDec);
    EXPECT_TRUE(options.fields.logDistanceTotal);
    EXPECT_FALSE(options.fields.logHdop);
}

// The tick this tool shares with the program: the alarm always, then the record the gate
// lets through.
TEST(Replay, SharedTickGates) {
    struct Steps : TickSteps {
        std::string calls;
        void checkSpeedLimit(const NavState&) override { calls += "alarm"; }
        void appendLogRecord(const NavState&) override { calls += ",log"; }
    };
    const struct {
        LogGate gate;
        bool loggingOn;
        double speed;
        const char* calls;
    } cases[] = {
        {LogGate::Moving, true, 2.5, "alarm,log"},  {LogGate::Moving, true, 2.49, "alarm"},
        {LogGate::Moving, false, 50.0, "alarm"},    {LogGate::EveryTick, true, 0.0, "alarm,log"},
        {LogGate::EveryTick, false, 50.0, "alarm"}, {LogGate::Never, true, 50.0, "alarm"},
    };
    for (const auto& c : cases) {
        Settings settings;
        settings.loggingOn = c.loggingOn;
        NavState nav;
        nav.speed = c.speed;
        Steps steps;
        tickOnce(nav, settings, steps, c.gate);
        EXPECT_EQ(steps.calls, c.calls) << static_cast<int>(c.gate) << " " << c.speed;
    }
}

struct GpsdFix {
    double lat;
    double lon;
};

// Milliseconds of the UTC day from gpsd's "time":"YYYY-MM-DDThh:mm:ss.sssZ".
long long millisOfDay(const std::string& iso) {
    const std::size_t t = iso.find('T');
    if (t == std::string::npos || iso.size() < t + 9) {
        return -1;
    }
    const int h = std::atoi(iso.substr(t + 1, 2).c_str());
    const int m = std::atoi(iso.substr(t + 4, 2).c_str());
    const double s = std::strtod(iso.substr(t + 7).c_str(), nullptr);
    return (h * 3600LL + m * 60LL) * 1000LL + std::llround(s * 1000.0);
}

long long millisOfDay(double hhmmss) {
    const long long whole = static_cast<long long>(hhmmss);
    const long long h = whole / 10000;
    const long long m = (whole / 100) % 100;
    const double s = hhmmss - static_cast<double>(h * 10000 + m * 100);
    return (h * 3600 + m * 60) * 1000 + std::llround(s * 1000.0);
}

// Every TPV position gpsd reported, by time of day. gpsd reports several per second, some
// made from other sentences of the cycle (GLL runs a second ahead in one capture), so a
// position counts as agreeing when it matches one of them.
std::map<long long, std::vector<GpsdFix>> gpsdFixes(const fs::path& chk) {
    std::map<long long, std::vector<GpsdFix>> fixes;
    std::istringstream in(readFile(chk));
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("{\"class\":\"TPV\"", 0) != 0) {
            continue;
        }
        const std::string time = jsonValue(line, "time");
        const std::string lat = jsonValue(line, "lat");
        const std::string lon = jsonValue(line, "lon");
        if (time.empty() || lat.empty() || lon.empty()) {
            continue;
        }
        fixes[millisOfDay(time)].push_back(
            {std::strtod(lat.c_str(), nullptr), std::strtod(lon.c_str(), nullptr)});
    }
    return fixes;
}

// Every valid RMC position of every capture, against what gpsd reported for the same second.
TEST(Replay, PositionsAgreeWithGpsdOnEveryCapture) {
    const fs::path dir = VELOCIMO_TEST_DATA "/nmea";
    ASSERT_TRUE(fs::is_directory(dir)) << dir;
    int logs = 0;
    int compared = 0;
    std::ostringstream summary;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.path().extension() != ".log") {
            continue;
        }
        ++logs;
        const auto lines = replayLines(readFile(entry.path()));
        const auto fixes = gpsdFixes(fs::path(entry.path()).concat(".chk"));
        // The chartplotter's RMC carries a position of its own (near, never equal to, its GGA
        // and GLL), and gpsd reports only the GGA/GLL ones: nothing of gpsd's to compare with.
        if (entry.path().filename() == "bundg_zeus_9.log") {
            continue;
        }
        int here = 0;
        for (const auto& json : lines) {
            if (jsonValue(json, "fixValid") != "true" ||
                jsonValue(json, "dataStatusText").rfind("A", 0) != 0) {
                continue;
            }
            const double utc = std::strtod(jsonValue(json, "utcTime").c_str(), nullptr);
            const auto it = fixes.find(millisOfDay(utc));
            if (it == fixes.end()) {
                continue;
            }
            const std::vector<GpsdFix>& candidates = it->second;
            const double lat = coordinateDegrees(json, "latitude");
            const double lon = coordinateDegrees(json, "longitude");
            bool agrees = false;
            for (const GpsdFix& fix : candidates) {
                agrees = agrees ||
                         (std::fabs(lat - fix.lat) <= 1e-6 && std::fabs(lon - fix.lon) <= 1e-6);
            }
            EXPECT_TRUE(agrees) << entry.path().filename() << " at " << jsonValue(json, "utcTime")
                                << ": " << lat << ", " << lon;
            ++here;
        }
        summary << entry.path().filename().string() << ": " << here << "\n";
        compared += here;
    }
    EXPECT_EQ(logs, 19);
    EXPECT_GE(compared, 250);
    std::printf("valid fixes compared with gpsd: %d in %d logs\n%s", compared, logs,
                summary.str().c_str());
}

// Receivers that mix the satellite systems' talkers, with and without AnyTalker.
TEST(Replay, AnyTalkerTakesEveryConstellation) {
    const std::string ch4711 = readFile(VELOCIMO_TEST_DATA "/nmea/ch-4711.log");
    const std::string sl869 = readFile(VELOCIMO_TEST_DATA "/nmea/sl869.log");
    const struct {
        const std::string& input;
        bool anyTalker;
        std::size_t ticks;
        bool dimensionShown;
    } cases[] = {
        {ch4711, false, 7, false},
        {ch4711, true, 14, true},
        {sl869, false, 15, false},
        {sl869, true, 15, true},
    };
    for (const auto& c : cases) {
        ReplayOptions options;
        options.anyTalker = c.anyTalker;
        const auto lines = replayLines(c.input, options);
        EXPECT_EQ(lines.size(), c.ticks);
        bool shown = false;
        for (const auto& json : lines) {
            const std::string dim = jsonValue(json, "fixDimensionText");
            shown = shown || dim == " (2D)" || dim == " (3D)";
        }
        EXPECT_EQ(shown, c.dimensionShown) << c.anyTalker;
        // Every capture line carries a good checksum: checking changes nothing.
        options.verifyChecksum = true;
        EXPECT_EQ(replayLines(c.input, options), lines);
    }
}

TEST(Replay, VerifyChecksumDropsBadAndMissingOnes) {
    const std::string good =
        "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n";
    const std::string bad =
        "$GPRMC,123520,A,4807.038,N,01131.000,E,050.0,084.4,230394,003.1,W*6A\r\n";
    const std::string none = "$GPRMC,123521,A,4807.038,N,01131.000,E,060.0,084.4,230394,,W\r\n";
    ReplayOptions checked;
    checked.verifyChecksum = true;
    EXPECT_EQ(replayLines(good + bad + none).size(), 3u);
    const auto lines = replayLines(good + bad + none, checked);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(jsonValue(lines[0], "speedText"), "41.5");
}

TEST(ReplayProgram, ReadsStdinAndRejectsBadOptions) {
    const std::string bin = VELOCIMO_REPLAY_BIN;
    const fs::path input = fs::temp_directory_path() / "velocimo-replay-test.nmea";
    {
        std::ofstream out(input, std::ios::binary);
        out << "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n";
    }
    FILE* p = popen((bin + " --units 0 < " + input.string()).c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[4096];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, p)) {
        out.append(buf, n);
    }
    EXPECT_EQ(pclose(p), 0);
    EXPECT_EQ(jsonValue(out, "speedText"), "22.4");
    EXPECT_EQ(jsonValue(out, "speedUnitText"), "knots");

    EXPECT_NE(std::system((bin + " --units 7 " + input.string() + " >/dev/null 2>&1").c_str()), 0);
    EXPECT_NE(std::system((bin + " /nonexistent/file >/dev/null 2>&1").c_str()), 0);
    fs::remove(input);
}

} // namespace
} // namespace velocimo
