// The reader thread decodes while the main thread snapshots, ticks and resets: every
// snapshot must be one consistent state, and ThreadSanitizer must find no race.

#include "gpslink/framing.h"
#include "nmea/handlers.h"
#include "shell/core/liverecord.h"
#include "trip/readouts.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <string>
#include <thread>

namespace velocimo {
namespace {

class CountingSounds : public FixSoundSink {
public:
    void fixGained() override { ++gained; }
    void fixLost() override { ++lost; }
    std::atomic<int> gained{0};
    std::atomic<int> lost{0};
};

class UtcZone : public TimeZoneSource {
public:
    TimeZoneInformation timeZone() override { return {}; }
};

std::string makeDrive(int epochs) {
    std::string out;
    char line[128];
    for (int i = 0; i < epochs; ++i) {
        const int s = i % 60;
        const int m = (i / 60) % 60;
        const double knots = 2.0 + (i % 70);
        const char status = (i % 97) < 90 ? 'A' : 'V';
        std::snprintf(
            line, sizeof line,
            "$GPRMC,12%02d%02d,%c,48%02d.%03d,N,011%02d.%03d,E,%.1f,%.1f,230394,003.1,W*6A\r\n", m,
            s, status, 7 + i % 50, i % 1000, 31 + i % 20, (i * 7) % 1000, knots,
            (i * 13) % 360 + 0.5);
        out += line;
        std::snprintf(line, sizeof line,
                      "$GPGGA,12%02d%02d,4807.038,N,01131.000,E,1,%02d,0.9,%d.4,M,46.9,M,,*47\r\n",
                      m, s, 4 + i % 8, 100 + i % 900);
        out += line;
        out += "$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*39\r\n";
    }
    return out;
}

TEST(LiveRecordStress, SnapshotsAreConsistentWhileDecodingAndResetting) {
    LiveRecord record;
    record.update([](NavState& nav) { resetNavState(nav); });
    CountingSounds sounds;
    UtcZone zone;
    LiveDecoder decoder(record, &sounds, &zone);
    const std::string drive = makeDrive(3000);

    std::atomic<bool> done{false};
    std::thread reader([&] {
        for (int round = 0; round < 3; ++round) {
            MemoryByteSource source(drive);
            while (!source.atEnd()) {
                readLinePass(source, decoder);
            }
        }
        done = true;
    });

    int snapshots = 0;
    int inconsistent = 0;
    while (!done) {
        const NavState nav = record.snapshot();
        FixedText<12> expected;
        formatReadout(expected, nav.speed);
        if (nav.fixValid && !(nav.speedText == expected.view())) {
            ++inconsistent;
        }
        if (++snapshots % 50 == 0) {
            record.update([](NavState& n) {
                resetTripDistance(n);
                resetTopSpeed(n);
            });
        }
        if (snapshots % 170 == 0) {
            record.update([](NavState& n) { resetTotalDistance(n); });
            record.setDecodeOptions({snapshots % 340 == 0 ? 1 : 2, 0});
        }
        if (snapshots % 1000 == 0) {
            record.update([](NavState& n) {
                clearFixStatus(n);
                n.gpsConnected = false;
            });
        }
    }
    reader.join();

    EXPECT_GT(snapshots, 0);
    EXPECT_EQ(inconsistent, 0);
    EXPECT_GT(sounds.gained.load(), 0);
    const NavState last = record.snapshot();
    EXPECT_TRUE(std::isfinite(last.tripDistance));
    EXPECT_TRUE(std::isfinite(last.averageSpeed));
}

} // namespace
} // namespace velocimo
