// The link against velocimo-sim: a real pseudo-terminal, the real port and the decoder.

#include "gpslink/seriallink.h"
#include "gpslink/serialport.h"
#include "tests/support/linkfakes.h"
#include "tests/support/simprocess.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>

using namespace velocimo;
using namespace velocimo::test;
using namespace std::chrono_literals;

namespace {

struct LiveRig {
    explicit LiveRig(std::chrono::milliseconds readTimeout = 0ms)
        : decoder(record, &sounds, nullptr) {
        link = std::make_unique<SerialLink>(
            record, decoder, &sounds, &events, [this](std::u16string_view) { return devicePath; },
            std::make_unique<SerialPort>(readTimeout));
        record.update([](NavState& nav) { resetNavState(nav); });
    }
    // As the Open command does: the flag follows a successful open.
    bool open(const std::string& path) {
        devicePath = path;
        PortNameText name;
        buildPortName(name, 1);
        if (link->openGps(name, false) != OpenResult::Opened) {
            return false;
        }
        record.update([](NavState& nav) { nav.gpsConnected = true; });
        return true;
    }
    bool waitFor(const std::function<bool(const NavState&)>& done,
                 std::chrono::milliseconds timeout) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (!record.read(done)) {
            if (std::chrono::steady_clock::now() > end) {
                return false;
            }
            std::this_thread::sleep_for(10ms);
        }
        return true;
    }

    LiveRecord record;
    RecordingSounds sounds;
    LiveDecoder decoder;
    RecordingEvents events;
    std::string devicePath;
    std::unique_ptr<SerialLink> link;
};

bool movingFix(const NavState& n) {
    return n.fixValid && n.speed > 0.0 && n.elevation > 0.0;
}

TEST(LinkEndToEnd, SimulatedReceiverGivesAMovingFix) {
    const int threadsBefore = baselineThreadCount();
    {
        SimProcess sim({"--rate", "10"});
        const std::string path = sim.firstLine();
        ASSERT_FALSE(path.empty());
        LiveRig rig;
        ASSERT_TRUE(rig.open(path));
        ASSERT_TRUE(rig.waitFor(movingFix, 8s));
        const NavState nav = rig.record.snapshot();
        EXPECT_NEAR(nav.latitude.decimalDegrees, 47.3769, 0.05);
        EXPECT_NEAR(nav.longitude.decimalDegrees, 8.5417, 0.05);
        EXPECT_GT(nav.elevation, 290.0);
        EXPECT_LT(nav.elevation, 550.0);
        EXPECT_EQ(nav.dataValidText, u"Yes");
        EXPECT_EQ(nav.fixDimensionText, u" (3D)");
        EXPECT_EQ(nav.hdopText, u"0.9");
        EXPECT_GE(rig.sounds.gained.load(), 1);
        EXPECT_EQ(rig.events.count(), 0);

        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(rig.link->closeGps());
        EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
        EXPECT_FALSE(rig.record.read([](const NavState& n) { return n.fixValid; }));
        sim.signal(SIGTERM);
        EXPECT_EQ(sim.wait(2s), 0);
    }
    EXPECT_EQ(threadCount(), threadsBefore);
}

TEST(LinkEndToEnd, KilledReceiverTripsTheWatchdogAndANewOneWorks) {
    const int threadsBefore = baselineThreadCount();
    {
        LiveRig rig(50ms);
        {
            SimProcess sim({"--rate", "10"});
            const std::string path = sim.firstLine();
            ASSERT_FALSE(path.empty());
            ASSERT_TRUE(rig.open(path));
            ASSERT_TRUE(rig.waitFor(movingFix, 8s));
            sim.signal(SIGKILL);
            sim.wait(2s);
        }
        // 20 empty reads of 50 ms after the hang-up.
        ASSERT_TRUE(rig.events.waitForCount(1, 5s));
        EXPECT_EQ(rig.events.count(), 1);
        EXPECT_FALSE(rig.record.read([](const NavState& n) { return n.gpsConnected; }));
        EXPECT_FALSE(rig.record.read([](const NavState& n) { return n.fixValid; }));
        EXPECT_GE(rig.sounds.lost.load(), 1);
        EXPECT_FALSE(rig.link->closeGps());

        SimProcess next({"--rate", "10"});
        const std::string path = next.firstLine();
        ASSERT_FALSE(path.empty());
        ASSERT_TRUE(rig.open(path));
        ASSERT_TRUE(rig.waitFor(movingFix, 8s));
        EXPECT_EQ(rig.events.count(), 1);
        EXPECT_TRUE(rig.link->closeGps());
        // Only the link's reader ever ran next to the test.
        EXPECT_EQ(threadCount(), threadsBefore);
    }
    EXPECT_EQ(threadCount(), threadsBefore);
}

} // namespace
