#include "gpslink/seriallink.h"
#include "gpslink/serialport.h"
#include "tests/support/linkfakes.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

using namespace velocimo;
using namespace velocimo::test;
using namespace std::chrono_literals;

namespace {

struct Pty {
    Pty() {
        char name[128] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) == 0) {
            path = name;
        }
    }
    ~Pty() {
        closeMaster();
        if (slave >= 0) {
            ::close(slave);
        }
    }
    void closeMaster() {
        if (master >= 0) {
            ::close(master);
            master = -1;
        }
    }
    void makeSlaveRaw() const {
        termios t{};
        tcgetattr(slave, &t);
        cfmakeraw(&t);
        tcsetattr(slave, TCSANOW, &t);
    }
    void send(std::string_view s) const {
        ASSERT_EQ(::write(master, s.data(), s.size()), static_cast<ssize_t>(s.size()));
    }
    // Everything the master can read within the wait.
    std::string drain(std::chrono::milliseconds wait) const {
        std::string out;
        const auto end = std::chrono::steady_clock::now() + wait;
        while (std::chrono::steady_clock::now() < end) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0 && (p.revents & POLLIN)) {
                char buf[256];
                const ssize_t n = ::read(master, buf, sizeof buf);
                if (n <= 0) {
                    break;
                }
                out.append(buf, static_cast<std::size_t>(n));
            }
        }
        return out;
    }
    int master = -1;
    int slave = -1;
    std::string path;
};

// Counts the reads the reader makes, so a busy loop shows.
class CountingPort : public SerialPort {
public:
    using SerialPort::SerialPort;
    std::size_t readBytes(uint8_t* buffer, std::size_t capacity) override {
        ++reads;
        return SerialPort::readBytes(buffer, capacity);
    }
    std::atomic<int> reads{0};
};

struct PtyRig {
    explicit PtyRig(std::string path, std::chrono::milliseconds timeout = 0ms) {
        auto port = std::make_unique<CountingPort>(timeout);
        device = port.get();
        link = std::make_unique<SerialLink>(
            record, handlers, &sounds, &events, [path](std::u16string_view) { return path; },
            std::move(port));
        record.update([](NavState& nav) { resetNavState(nav); });
    }
    OpenResult open(bool sirf = false) {
        PortNameText name;
        buildPortName(name, 1);
        return link->openGps(name, sirf);
    }
    LiveRecord record;
    RecordingHandlers handlers;
    RecordingSounds sounds;
    RecordingEvents events;
    CountingPort* device = nullptr;
    std::unique_ptr<SerialLink> link;
};

bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

TEST(SerialPortPty, OpenConfiguresTheSlaveRaw4800) {
    Pty pty;
    ASSERT_FALSE(pty.path.empty());
    PtyRig rig(pty.path);
    ASSERT_EQ(rig.open(), OpenResult::Opened);
    termios t{};
    ASSERT_EQ(tcgetattr(pty.slave, &t), 0);
    EXPECT_EQ(cfgetispeed(&t), speed_t{B4800});
    EXPECT_EQ(cfgetospeed(&t), speed_t{B4800});
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t{CS8});
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t{0});
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), tcflag_t{0});
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY | ICRNL), tcflag_t{0});
    EXPECT_EQ(t.c_oflag & OPOST, tcflag_t{0});
    int exclusive = 0;
    ASSERT_EQ(ioctl(pty.slave, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);

    // Bytes arrive unchanged: a CR is not turned into a LF on the way.
    pty.send("$GPRMC,1*00\r\n$GPGSV,2\r\n$GPGGA,3*00\r\n");
    ASSERT_TRUE(waitFor([&] { return rig.handlers.lines().size() == 2; }, 3s));
    EXPECT_EQ(rig.handlers.lines(),
              (std::vector<std::string>{"RMC:$GPRMC,1*00\r\n", "GGA:$GPGGA,3*00\r\n"}));
    EXPECT_TRUE(rig.link->closeGps());
    // The terminal outlives our descriptor here; it must not stay closed to other users.
    ASSERT_EQ(ioctl(pty.slave, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
}

TEST(SerialPortPty, SecondOpenerAndMissingDeviceFailTheOpenItself) {
    Pty pty;
    PtyRig first(pty.path);
    ASSERT_EQ(first.open(), OpenResult::Opened);
    struct Case {
        const char* name;
        std::string path;
    };
    const Case cases[] = {
        {"port already open", pty.path},
        {"no such device", "/dev/velocimo-no-such-port"},
        {"nothing resolved", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PtyRig second(c.path);
        EXPECT_EQ(second.open(), OpenResult::OpenFailed);
        EXPECT_FALSE(second.link->portOpen());
        EXPECT_FALSE(second.device->isOpen());
        EXPECT_FALSE(second.link->readerRunning());
        EXPECT_FALSE(second.link->closeGps());
        EXPECT_EQ(second.sounds.lost.load(), 0);
    }
    EXPECT_TRUE(first.link->closeGps());
    // Once closed, the port can be opened again.
    PtyRig again(pty.path);
    EXPECT_EQ(again.open(), OpenResult::Opened);
}

TEST(SerialPortPty, FailedAndClosedOpensLeaveNoDescriptorBehind) {
    Pty pty;
    SerialPort holder;
    ASSERT_TRUE(holder.open(pty.path));
    const int before = descriptorCount();
    struct Case {
        const char* name;
        std::string path;
        bool opens;
    };
    const Case cases[] = {
        {"held by another port", pty.path, false},
        {"no such device", "/dev/velocimo-no-such-port", false},
        {"not a terminal", "/dev/null", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        {
            SerialPort port;
            EXPECT_EQ(port.open(c.path), c.opens);
            EXPECT_EQ(port.isOpen(), c.opens);
            port.close();
            EXPECT_FALSE(port.isOpen());
        }
        EXPECT_EQ(descriptorCount(), before);
    }
    holder.close();
    EXPECT_EQ(descriptorCount(), before - 1);
}

TEST(SerialPortPty, NotATerminalFailsOnTheLineState) {
    PtyRig rig("/dev/null");
    EXPECT_EQ(rig.open(), OpenResult::GetStateFailed);
    EXPECT_FALSE(rig.device->isOpen());
}

TEST(SerialPortPty, SirfSentencesReachTheReceiverOnlyWhenAsked) {
    // A raw port as an earlier session left it, and one in the kernel's default state (a
    // new pty, a freshly plugged adapter), whose output processing would add a CR per LF.
    for (bool raw : {true, false})
        for (bool sirf : {true, false}) {
            SCOPED_TRACE(raw);
            SCOPED_TRACE(sirf);
            Pty pty;
            if (raw) {
                pty.makeSlaveRaw();
            }
            PtyRig rig(pty.path);
            ASSERT_EQ(rig.open(sirf), OpenResult::Opened);
            const std::string got = pty.drain(300ms);
            EXPECT_EQ(got, sirf ? "$PSRF103,04,00,01,01*21\r\n$PSRF103,00,00,01,01*25\r\n"
                                  "$PSRF103,02,00,01,01*27\r\n"
                                : "");
            EXPECT_TRUE(rig.link->closeGps());
        }
}

TEST(SerialPortPty, CloseWakesABlockedRead) {
    Pty pty;
    PtyRig rig(pty.path); // the real one-second timeout
    ASSERT_EQ(rig.open(), OpenResult::Opened);
    ASSERT_TRUE(waitFor([&] { return rig.device->reads.load() > 0; }, 2s));
    std::this_thread::sleep_for(50ms);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(rig.link->closeGps());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 300ms);
    EXPECT_FALSE(rig.link->readerRunning());
    EXPECT_EQ(rig.sounds.lost.load(), 1);
}

TEST(SerialPortPty, IdleReadsTimeOutAtTheConfiguredPace) {
    Pty pty;
    PtyRig rig(pty.path, 100ms);
    ASSERT_EQ(rig.open(), OpenResult::Opened);
    std::this_thread::sleep_for(1s);
    const int reads = rig.device->reads.load();
    EXPECT_GE(reads, 5);
    EXPECT_LE(reads, 12);
    EXPECT_TRUE(rig.link->closeGps());
}

// Output stopped by the receiver (XOFF): the open still returns, in about the write limit.
TEST(SerialPortPty, AReceiverThatTakesNothingDoesNotHoldTheOpen) {
    Pty pty;
    ASSERT_EQ(::tcflow(pty.slave, TCOOFF), 0);
    PtyRig rig(pty.path);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(rig.open(true), OpenResult::Opened);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, SerialPort::kWriteLimit + 300ms);
    EXPECT_TRUE(rig.link->closeGps());
}

// Unplugged, or the other end of the pty closed: noticed with or without a fix, and
// without spinning on the dead descriptor meanwhile.
TEST(SerialPortPty, UnpluggedDeviceIsNoticedWithoutAFixAndDoesNotSpin) {
    Pty pty;
    PtyRig rig(pty.path); // the real one-second timeout
    ASSERT_EQ(rig.open(), OpenResult::Opened);
    rig.record.update([](NavState& n) { n.gpsConnected = true; });
    pty.send("$GPGGA,1\r\n");
    ASSERT_TRUE(waitFor([&] { return rig.handlers.lines().size() == 1; }, 2s));
    const double cpuBefore = cpuSeconds();
    pty.closeMaster();
    ASSERT_TRUE(rig.events.waitForCount(1, 2s));
    EXPECT_LT(cpuSeconds() - cpuBefore, 0.2);
    EXPECT_LE(rig.device->reads.load(), 4);
    EXPECT_EQ(rig.sounds.lost.load(), 1);
    EXPECT_FALSE(rig.record.read([](const NavState& n) { return n.gpsConnected; }));
    ASSERT_TRUE(waitFor([&] { return !rig.link->readerRunning(); }, 1s));
    EXPECT_FALSE(rig.device->isOpen());
    EXPECT_FALSE(rig.link->closeGps()) << "already closed";
}

// A one-second burst (about 200 bytes) must gather in one read after its first bytes at
// the usual speeds, and a fast line must not wait a slow line's time.
TEST(SerialPort, LineGatherFollowsTheLineSpeed) {
    const struct {
        int32_t baud;
        int ms;
    } cases[] = {{0, kLineGatherMs}, {1200, 500},  {4800, 500}, {9600, 250},
                 {38400, 62},        {115200, 20}, {230400, 10}};
    for (const auto& c : cases) {
        EXPECT_EQ(lineGatherMs(c.baud), c.ms) << c.baud;
        if (c.baud >= 4800) {
            EXPECT_GT(c.ms * c.baud / 10 / 1000, 200) << c.baud;
        }
    }
}

// A pseudo-terminal or a USB receiver brings more than its set speed could: the gather follows
// the pace seen, and never waits longer than the line's own speed asks.
TEST(SerialPort, GatherFollowsAPaceFasterThanTheLine) {
    const struct {
        int32_t baud;
        std::size_t bytes;
        int64_t micros;
        int ms;
    } cases[] = {
        {4800, 240, 500000, 500},       {4800, 0, 500000, 500},    {4800, 3000, 500000, 40},
        {4800, 400, 10000, 10},         {115200, 240, 500000, 20}, {0, 3000, 500000, 40},
        {0, 10, 500000, kLineGatherMs}, {4800, 512, 0, 500},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(nextGatherMs(c.baud, c.bytes, std::chrono::microseconds(c.micros)), c.ms)
            << c.baud << " baud, " << c.bytes << " bytes in " << c.micros << " us";
    }

    // Set to 4800 baud, a pty has 3000 bytes ready after one gather: a full read counts them
    // all, and the next gather is a fraction of the line's half second.
    Pty pty;
    SerialPort port(1000ms);
    ASSERT_TRUE(port.open(pty.path));
    LineState state{};
    ASSERT_TRUE(port.getLineState(state));
    ASSERT_TRUE(applyLineParameters(state, 4800, 8, false, Parity::None, StopBits::One));
    ASSERT_TRUE(port.setLineState(state));
    EXPECT_EQ(port.gatherMs(), 500);
    pty.send(std::string(3000, 'x'));
    uint8_t buffer[512];
    EXPECT_EQ(port.readRestOfLine(buffer, sizeof buffer), sizeof buffer);
    EXPECT_LT(port.gatherMs(), 150);
}

// Inside a line the reader gathers the rest before it reads: an unplug or a close meanwhile
// still ends the read at once and without spinning.
TEST(SerialPortPty, UnplugOrCloseWhileGatheringALineEndsTheRead) {
    for (const bool unplug : {true, false}) {
        Pty pty;
        PtyRig rig(pty.path); // the real one-second timeout
        ASSERT_EQ(rig.open(), OpenResult::Opened);
        rig.record.update([](NavState& n) { n.gpsConnected = true; });
        pty.send("$GPGGA,1\r\n$GPRMC,2");
        ASSERT_TRUE(waitFor([&] { return rig.handlers.lines().size() == 1; }, 2s));
        std::this_thread::sleep_for(50ms); // well inside the gather
        const double cpuBefore = cpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        if (unplug) {
            pty.closeMaster();
            ASSERT_TRUE(rig.events.waitForCount(1, 2s));
        } else {
            EXPECT_TRUE(rig.link->closeGps());
            EXPECT_LT(std::chrono::steady_clock::now() - start, 300ms);
        }
        ASSERT_TRUE(waitFor([&] { return !rig.link->readerRunning(); }, 1s)) << unplug;
        EXPECT_LT(cpuSeconds() - cpuBefore, 0.2) << unplug;
        EXPECT_EQ(rig.sounds.lost.load(), 1) << unplug;
    }
}

TEST(SerialPortPty, UnplugWithAFixFiresTheWatchdog) {
    const int threadsBefore = baselineThreadCount();
    {
        Pty pty;
        PtyRig rig(pty.path, 20ms);
        rig.record.update([](NavState& n) {
            n.fixValid = true;
            n.gpsConnected = true;
        });
        ASSERT_EQ(rig.open(), OpenResult::Opened);
        pty.closeMaster();
        ASSERT_TRUE(rig.events.waitForCount(1, 3s));
        EXPECT_EQ(rig.events.count(), 1);
        EXPECT_EQ(rig.sounds.lost.load(), 1);
        EXPECT_FALSE(rig.record.read([](const NavState& n) { return n.gpsConnected; }));
        ASSERT_TRUE(waitFor([&] { return !rig.link->readerRunning(); }, 1s));
        EXPECT_FALSE(rig.device->isOpen());

        // A new device through the same link.
        Pty next;
        PtyRig nextRig(next.path);
        ASSERT_EQ(nextRig.open(), OpenResult::Opened);
        EXPECT_TRUE(nextRig.link->closeGps());
    }
    EXPECT_EQ(threadCount(), threadsBefore);
}

} // namespace
