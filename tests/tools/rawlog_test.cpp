// The raw recording of a drive, replayed: the .nmea file the line tap writes gives the same
// ticks as the capture it recorded, and its GPX is a valid track.

#include "gpslink/framing.h"
#include "logging/rawlog.h"
#include "tools/replay/replay.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace velocimo {
namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class Recorder : public LineTap {
public:
    explicit Recorder(RawLog& log) : m_log(log) {}
    void lineReceived(std::string_view bytes) override { m_log.write(bytes); }

private:
    RawLog& m_log;
};

struct NoHandlers : SentenceHandlers {
    void handleRmc(std::u16string_view) override {}
    void handleGga(std::u16string_view) override {}
    void handleGsa(std::u16string_view) override {}
};

std::string replayed(std::string_view input, bool gpx) {
    ReplayOptions options;
    options.gpx = gpx;
    options.everyTick = gpx;
    std::ostringstream out;
    runReplay(input, options, out);
    return out.str();
}

TEST(RawLog, ARecordedDriveReplaysAsTheCaptureDid) {
    char tmpl[] = "/tmp/velocimo-raw-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const fs::path dir = tmpl;
    const fs::path file = dir / "trip.nmea";
    for (const char* name : {"bt451.log", "bu353s4.log", "mt3339.log"}) {
        const std::string capture = readFile(fs::path(VELOCIMO_TEST_DATA) / "nmea" / name);
        ASSERT_FALSE(capture.empty());
        fs::remove(file);
        RawLog log;
        ASSERT_TRUE(log.open(file.u16string()));
        Recorder tap(log);
        NoHandlers handlers;
        MemoryByteSource source(capture);
        ReadBuffer buffer(source);
        while (readLinePass(buffer, handlers, {}, &tap)) {
        }
        log.close();
        const std::string recorded = readFile(file);
        EXPECT_FALSE(recorded.empty()) << name;
        const std::string ticks = replayed(recorded, false);
        EXPECT_GT(std::count(ticks.begin(), ticks.end(), '\n'), 2) << name;
        EXPECT_EQ(ticks, replayed(capture, false)) << name;
        EXPECT_EQ(replayed(recorded, true), replayed(capture, true)) << name;
    }
    fs::remove_all(dir);
}

TEST(RawLog, ClosedItWritesNothing) {
    RawLog log;
    EXPECT_FALSE(log.isOpen());
    log.write("$GPRMC\r\n");
    EXPECT_FALSE(log.open(u"/nonexistent/dir/trip.nmea"));
    EXPECT_FALSE(log.isOpen());
}

} // namespace
} // namespace velocimo
