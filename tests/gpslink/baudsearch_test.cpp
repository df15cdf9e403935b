#include "gpslink/framing.h"
#include "gpslink/seriallink.h"
#include "tests/support/linkfakes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

using namespace velocimo;
using namespace velocimo::test;
using namespace std::chrono_literals;

namespace {

TEST(BaudSearch, StartingRate) {
    const struct {
        int32_t stored;
        int32_t start;
    } cases[] = {
        {0, 4800},      {4800, 4800},   {9600, 9600},     {19200, 19200},
        {38400, 38400}, {57600, 57600}, {115200, 115200}, {230400, 230400},
        {1200, 4800},   {9601, 4800},   {-1, 4800},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(startingBaudRate(c.stored), c.start) << c.stored;
    }
}

TEST(BaudSearch, ListensForLinesWithAGoodChecksum) {
    const std::string rmc = "$GPRMC*4B\r\n";
    const struct {
        const char* name;
        std::string input;
        bool found;
    } cases[] = {
        {"two good lines", rmc + rmc, true},
        {"joined half-way", "RMC*4B\r\n" + rmc + rmc, true},
        {"noise before the dollar", "\xff\x13" + rmc + "\xfe" + rmc, true},
        {"one good line", rmc + "$GPRMC*4C\r\n", false},
        {"no checksums", "$GPRMC,1\r\n$GPGGA,2\r\n$GPGSA,3\r\n", false},
        {"garbage", std::string(300, '\xf0'), false},
        {"an overlong line", "$" + std::string(120, 'A') + "*00\r\n" + rmc, false},
        {"lower-case hex, LF only", "$GPRMC*4b\n$GNRMC*55\n", true},
    };
    for (const auto& c : cases) {
        MemoryByteSource source(c.input);
        const bool found =
            listenForCheckedLines(source, kBaudSearchLines, std::chrono::steady_clock::now() + 1h,
                                  [&] { return !source.atEnd(); });
        EXPECT_EQ(found, c.found) << c.name;
    }
}

speed_t speedOf(int32_t rate) {
    LineState s{};
    applyLineParameters(s, rate, 8, false, Parity::None, StopBits::One);
    return cfgetispeed(&s);
}

// A receiver that talks at one rate: at any other the port reads noise.
class RateDevice : public ScriptedDevice {
public:
    explicit RateDevice(int32_t rate) : m_speed(rate == 0 ? 0 : speedOf(rate)) {}
    bool setLineState(const LineState& state) override {
        speeds.push_back(cfgetispeed(&state));
        return ScriptedDevice::setLineState(state);
    }
    bool readPortByte(uint8_t& byte) override {
        if (speeds.empty() || speeds.back() != m_speed) {
            searchWaits.store(timeouts.readTotalConstant);
            byte = 0xf0;
            return true;
        }
        static constexpr std::string_view kLine = "$GPRMC,1,A*3B\r\n";
        byte = static_cast<uint8_t>(kLine[m_next++ % kLine.size()]);
        return true;
    }
    std::vector<speed_t> speeds;
    // The read wait last seen at a rate that gave noise.
    std::atomic<uint32_t> searchWaits{0};

private:
    speed_t m_speed;
    std::size_t m_next = 0;
};

// Counts the search's failure reports, which arrive on the reader thread.
struct SearchEvents : LinkEvents {
    void dataFlowInterrupted() override { ++interrupted; }
    void baudSearchFailed() override { ++failed; }
    std::atomic<int> interrupted{0};
    std::atomic<int> failed{0};
};

struct SearchRig {
    explicit SearchRig(int32_t rate) {
        auto dev = std::make_unique<RateDevice>(rate);
        device = dev.get();
        link = std::make_unique<SerialLink>(
            record, handlers, &sounds, &events,
            [](std::u16string_view) { return std::string("/dev/fake"); }, std::move(dev));
        link->setBaudSearchListen(50ms);
        link->setReceiverOptions({{}, 0});
        record.update([](NavState& nav) {
            resetNavState(nav);
            nav.gpsConnected = true;
        });
    }
    LiveRecord record;
    RecordingHandlers handlers;
    RecordingSounds sounds;
    SearchEvents events;
    RateDevice* device = nullptr;
    std::unique_ptr<SerialLink> link;
};

TEST(BaudSearch, KeepsTheFirstRateThatCarriesNmeaAndOnlyThenSendsSirf) {
    SearchRig rig(38400);
    PortNameText name;
    buildPortName(name, 1);
    ASSERT_EQ(rig.link->openGps(name, true), OpenResult::Opened);
    for (int i = 0; i < 500 && rig.handlers.lines().empty(); ++i) {
        std::this_thread::sleep_for(10ms);
    }
    ASSERT_FALSE(rig.handlers.lines().empty());
    EXPECT_EQ(rig.link->searchingBaudRate(), 0);
    EXPECT_TRUE(rig.link->closeGps());
    // 4800 at the open, then the search order up to the rate that answered.
    EXPECT_EQ(rig.device->speeds, (std::vector<speed_t>{B4800, B4800, B9600, B38400}));
    const auto calls = rig.device->calls();
    const auto firstWrite = std::find(calls.begin(), calls.end(), "write");
    ASSERT_NE(firstWrite, calls.end());
    EXPECT_EQ(std::count(firstWrite, calls.end(), "setLineState"), 0) << "SiRF after the search";
    EXPECT_EQ(rig.device->written().size(), 75u);
    EXPECT_EQ(rig.events.failed.load(), 0);
    // Short reads while listening, so a silent rate ends on time; the reader's own after.
    EXPECT_EQ(rig.device->searchWaits.load(), kBaudSearchReadMs);
    EXPECT_EQ(rig.device->timeouts.readTotalConstant, 1000u);
}

TEST(BaudSearch, NothingAtAnyRateClosesAndSaysSo) {
    SearchRig rig(0);
    PortNameText name;
    buildPortName(name, 1);
    ASSERT_EQ(rig.link->openGps(name, true), OpenResult::Opened);
    for (int i = 0; i < 500 && rig.events.failed.load() == 0; ++i) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(rig.events.failed.load(), 1);
    EXPECT_EQ(rig.events.interrupted.load(), 0);
    EXPECT_FALSE(rig.link->portOpen());
    EXPECT_EQ(rig.device->speeds, (std::vector<speed_t>{B4800, B4800, B9600, B38400, B115200,
                                                        B19200, B57600, B230400}));
    EXPECT_EQ(rig.device->written(), "") << "nothing goes out while searching";
    EXPECT_FALSE(rig.record.read([](const NavState& n) { return n.gpsConnected; }));
    EXPECT_TRUE(rig.handlers.lines().empty());
    EXPECT_FALSE(rig.link->closeGps());
    EXPECT_TRUE(rig.device->misuse().empty());
}

} // namespace
