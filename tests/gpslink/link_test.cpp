#include "gpslink/framing.h"
#include "gpslink/seriallink.h"
#include "tests/support/linkfakes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <thread>
#include <utility>

using namespace velocimo;
using namespace velocimo::test;
using namespace std::chrono_literals;

namespace {

class ScriptSource : public ByteSource {
public:
    explicit ScriptSource(std::string_view text) : m_script(script(text)) {}
    bool readPortByte(uint8_t& byte) override {
        byte = 0;
        if (m_next >= m_script.size() || !m_script[m_next]) {
            ++m_next;
            return false;
        }
        byte = *m_script[m_next++];
        return true;
    }
    // A burst: every byte up to the next gap, as a port hands over what has arrived.
    std::size_t readBytes(uint8_t* buffer, std::size_t capacity) override {
        std::size_t n = 0;
        if (m_next >= m_script.size() || !m_script[m_next]) {
            ++m_next;
            return 0;
        }
        while (n < capacity && m_next < m_script.size() && m_script[m_next]) {
            buffer[n++] = *m_script[m_next++];
        }
        return n;
    }

private:
    std::vector<std::optional<uint8_t>> m_script;
    std::size_t m_next = 0;
};

struct FramingCase {
    const char* name;
    std::string input;
    int passes;
    std::vector<std::string> dispatched;
    std::string firstArrived; // one letter per pass: y or n
};

TEST(Framing, PassesDispatchWhatTheHandlersRelyOn) {
    const std::string longBody(120, '1');
    const std::string fits = "$GPRMC," + std::string(97 - 7, '2');
    const std::string tooLong = "$GPRMC," + std::string(98 - 7, '3');
    const FramingCase cases[] = {
        {"crlf gives an empty pass after each sentence",
         "$GPRMC,1*00\r\n$GPGGA,2*00\r\n",
         4,
         {"RMC:$GPRMC,1*00\r\n", "GGA:$GPGGA,2*00\r\n"},
         "yyyy"},
        {"noise before the dollar", "xx\x01$GPRMC,1\r\n", 1, {"RMC:$GPRMC,1\r\n"}, "y"},
        {"partial first line dropped",
         "23,A,4807.038,N*6A\r\n$GPGSA,A,3\r\n",
         3,
         {"GSA:$GPGSA,A,3\r\n"},
         "yyy"},
        {"other sentences, talkers and lower case dropped",
         "$GPGSV,1\n$GNRMC,1\n$gprmc,1\n$GPRMB,1\n",
         4,
         {},
         "yyyy"},
        {"lf alone ends a line",
         "$GPGGA,1\n$GPGSA,2\n",
         2,
         {"GGA:$GPGGA,1\r\n", "GSA:$GPGSA,2\r\n"},
         "yy"},
        {"read error after eleven bytes",
         "$GPRMC,1234|$GPGGA,9\r",
         2,
         {"RMC:$GPRMC,1234\r\n", "GGA:$GPGGA,9\r\n"},
         "yy"},
        {"silent port", "||", 2, {}, "nn"},
        {"97 bytes fit", fits + "\r\n", 2, {"RMC:" + fits + "\r\n"}, "yy"},
        {"98 bytes are dropped whole",
         tooLong + "\r\n$GPGGA,1\r\n",
         4,
         {"GGA:$GPGGA,1\r\n"},
         "yyyy"},
        {"over-long line is dropped and the next one survives",
         "$GPRMC," + longBody + "\n$GPGSA,1\n",
         2,
         {"GSA:$GPGSA,1\r\n"},
         "yy"},
        {"a NUL before the dollar is skipped",
         std::string("ab\0$GPRMC\r\n", 11),
         1,
         {"RMC:$GPRMC\r\n"},
         "y"},
    };
    for (const FramingCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptSource source(c.input);
        RecordingHandlers handlers;
        std::string arrived;
        for (int i = 0; i < c.passes; ++i) {
            arrived += readLinePass(source, handlers) ? 'y' : 'n';
        }
        EXPECT_EQ(handlers.lines(), c.dispatched);
        EXPECT_EQ(arrived, c.firstArrived);

        // The reader's buffered path frames bursts exactly as byte-at-a-time reads.
        ScriptSource bursts(c.input);
        ReadBuffer buffer(bursts);
        RecordingHandlers buffered;
        std::string bufferedArrived;
        for (int i = 0; i < c.passes; ++i) {
            bufferedArrived += readLinePass(buffer, buffered) ? 'y' : 'n';
        }
        EXPECT_EQ(buffered.lines(), c.dispatched);
        EXPECT_EQ(bufferedArrived, c.firstArrived);
    }
}

TEST(Framing, BurstsLongerThanTheBufferLoseNothing) {
    // Each burst spans several buffer fills, and a line straddles every refill.
    std::string burst;
    std::vector<std::string> expected;
    for (int i = 0; i < 150; ++i) {
        const std::string line = "$GPGGA," + std::to_string(i) + ",abc\r\n";
        burst += line;
        expected.push_back("GGA:" + line);
    }
    static_assert(ReadBuffer::kSize < 150 * 14);
    const std::string input = burst + "|" + burst;
    ScriptSource source(input);
    ReadBuffer buffer(source);
    RecordingHandlers handlers;
    std::string arrived;
    for (int i = 0; i < 601; ++i) {
        arrived += readLinePass(buffer, handlers) ? 'y' : 'n';
    }
    std::vector<std::string> twice = expected;
    twice.insert(twice.end(), expected.begin(), expected.end());
    EXPECT_EQ(handlers.lines(), twice);
    // The gap between the bursts is one empty first read, after 150 CR and 150 LF passes.
    EXPECT_EQ(arrived, std::string(300, 'y') + "n" + std::string(300, 'y'));
}

// Inside a line the reader lets the rest gather before its next read, unless the last read
// filled its buffer: more is waiting, and a fast source would fall ever further behind.
TEST(Framing, AReadThatFillsTheBufferIsFollowedAtOnce) {
    struct Chunks : ByteSource {
        std::string data, kinds; // kinds: b for readBytes, g for readRestOfLine
        std::size_t sizes[3] = {ReadBuffer::kSize, 305, 3}, pos = 0;
        std::size_t take(uint8_t* to, std::size_t n, char kind) {
            kinds += kind;
            n = std::min(n, sizes[kinds.size() - 1]);
            std::memcpy(to, data.data() + std::exchange(pos, pos + n), n);
            return n;
        }
        bool readPortByte(uint8_t& byte) override { return take(&byte, 1, 'b') == 1; }
        std::size_t readBytes(uint8_t* to, std::size_t n) override { return take(to, n, 'b'); }
        std::size_t readRestOfLine(uint8_t* to, std::size_t n) override { return take(to, n, 'g'); }
    } source;
    for (int i = 0; i < 82; ++i) { // ends inside a line after the first two reads
        source.data += "$GPGGA,1\r\n";
    }
    ReadBuffer buffer(source);
    RecordingHandlers handlers;
    for (int i = 0; i < 82 * 2; ++i) { // CR and LF each end a pass
        readLinePass(buffer, handlers);
    }
    EXPECT_EQ(handlers.lines().size(), 82u);
    EXPECT_EQ(source.kinds, "bbg");
}

// A link around a scripted device, with the record a watchdog needs.
struct Rig {
    explicit Rig(FailAt failAt = FailAt::Nothing) {
        auto dev = std::make_unique<ScriptedDevice>(failAt);
        device = dev.get();
        link = std::make_unique<SerialLink>(
            record, handlers, &sounds, &events,
            [this](std::u16string_view name) {
                resolved.push_back(toUtf8(name));
                return std::string("/dev/fake");
            },
            std::move(dev));
        record.update([](NavState& nav) { resetNavState(nav); });
    }
    OpenResult open(bool sirf = false) {
        PortNameText name;
        buildPortName(name, 3);
        return link->openGps(name, sirf);
    }

    LiveRecord record;
    RecordingHandlers handlers;
    RecordingSounds sounds;
    RecordingEvents events;
    std::vector<std::string> resolved;
    ScriptedDevice* device = nullptr;
    std::unique_ptr<SerialLink> link;
};

TEST(SerialLink, OpenSendsSirfBeforeTouchingTheLineState) {
    for (bool sirf : {true, false}) {
        SCOPED_TRACE(sirf);
        Rig rig;
        ASSERT_EQ(rig.open(sirf), OpenResult::Opened);
        EXPECT_EQ(rig.resolved, std::vector<std::string>{"COM3:"});
        std::vector<std::string> expected = {"open /dev/fake"};
        if (sirf) {
            expected.insert(expected.end(), {"write", "write", "write"});
        }
        expected.insert(expected.end(),
                        {"getLineState", "setLineState", "getTimeouts", "setTimeouts"});
        auto calls = rig.device->calls();
        calls.resize(std::min(calls.size(), expected.size()));
        EXPECT_EQ(calls, expected);
        EXPECT_EQ(rig.device->written(), sirf ? "$PSRF103,04,00,01,01*21\r\n"
                                                "$PSRF103,00,00,01,01*25\r\n"
                                                "$PSRF103,02,00,01,01*27\r\n"
                                              : "");
        EXPECT_EQ(rig.device->written().size(), sirf ? 75u : 0u);
        EXPECT_EQ(rig.device->timeouts, (PortTimeouts{100, 1, 1000, 0, 0}));
        EXPECT_TRUE(rig.link->closeGps());
        EXPECT_TRUE(rig.device->misuse().empty());
    }
}

TEST(SerialLink, LineStateIsRaw4800WithoutFlowControl) {
    Rig rig;
    // A port left cooked, with parity, two stop bits and both kinds of flow control.
    LineState& in = rig.device->initialState;
    in.c_iflag = ICRNL | IXON | IXOFF | IXANY | INPCK | ISTRIP | IGNCR;
    in.c_oflag = OPOST | ONLCR;
    in.c_lflag = ICANON | ECHO | ISIG | IEXTEN;
    in.c_cflag = CS7 | PARENB | PARODD | CSTOPB | CRTSCTS | HUPCL;
    cfsetispeed(&in, B9600);
    cfsetospeed(&in, B9600);
    ASSERT_EQ(rig.open(), OpenResult::Opened);
    const LineState& s = rig.device->lineState;
    EXPECT_EQ(cfgetispeed(&s), speed_t{B4800});
    EXPECT_EQ(cfgetospeed(&s), speed_t{B4800});
    EXPECT_EQ(s.c_cflag & CSIZE, tcflag_t{CS8});
    struct Flag {
        const char* name;
        tcflag_t value;
        tcflag_t mask;
        bool set;
    };
    const Flag flags[] = {
        {"PARENB", s.c_cflag, PARENB, false},   {"CSTOPB", s.c_cflag, CSTOPB, false},
        {"CRTSCTS", s.c_cflag, CRTSCTS, false}, {"CLOCAL", s.c_cflag, CLOCAL, true},
        {"CREAD", s.c_cflag, CREAD, true},      {"HUPCL kept", s.c_cflag, HUPCL, true},
        {"IXON", s.c_iflag, IXON, false},       {"IXOFF", s.c_iflag, IXOFF, false},
        {"IXANY", s.c_iflag, IXANY, false},     {"INPCK", s.c_iflag, INPCK, false},
        {"ISTRIP", s.c_iflag, ISTRIP, false},   {"ICRNL", s.c_iflag, ICRNL, false},
        {"IGNCR", s.c_iflag, IGNCR, false},     {"OPOST", s.c_oflag, OPOST, false},
        {"ICANON", s.c_lflag, ICANON, false},   {"ECHO", s.c_lflag, ECHO, false},
        {"ISIG", s.c_lflag, ISIG, false},
    };
    for (const Flag& f : flags) {
        EXPECT_EQ((f.value & f.mask) != 0, f.set) << f.name;
    }
    EXPECT_EQ(s.c_cc[VMIN], 1);
    EXPECT_EQ(s.c_cc[VTIME], 0);
}

TEST(SerialLink, LineParametersRejectWhatTermiosCannotSay) {
    LineState s{};
    EXPECT_FALSE(applyLineParameters(s, 4801, 8, false, Parity::None, StopBits::One));
    EXPECT_FALSE(applyLineParameters(s, 4800, 9, false, Parity::None, StopBits::One));
    ASSERT_TRUE(applyLineParameters(s, 4800, 7, true, Parity::Odd, StopBits::Two));
    EXPECT_EQ(s.c_cflag & (CSIZE | PARENB | PARODD | CSTOPB),
              tcflag_t{CS7 | PARENB | PARODD | CSTOPB});
    EXPECT_TRUE(s.c_iflag & INPCK);
}

TEST(SerialLink, OpenFailuresNameTheirStepAndNeverReuseAClosedHandle) {
    struct Case {
        FailAt failAt;
        OpenResult result;
        bool portOpenAfter;
        bool deviceOpenAfter;
        bool nextOpenBlocked; // the next attempt fails on the recorded handle
    };
    const Case cases[] = {
        {FailAt::Open, OpenResult::OpenFailed, false, false, false},
        {FailAt::GetLineState, OpenResult::GetStateFailed, true, false, true},
        {FailAt::SetLineState, OpenResult::SetStateFailed, true, false, true},
        {FailAt::GetTimeouts, OpenResult::GetTimeoutsFailed, true, true, true},
        {FailAt::SetTimeouts, OpenResult::SetTimeoutsFailed, true, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.failAt));
        Rig rig(c.failAt);
        EXPECT_EQ(rig.open(), c.result);
        EXPECT_EQ(rig.link->portOpen(), c.portOpenAfter);
        EXPECT_EQ(rig.device->isOpen(), c.deviceOpenAfter);
        EXPECT_FALSE(rig.link->readerRunning());
        EXPECT_FALSE(rig.record.read([](const NavState& n) { return n.gpsConnected; }));

        rig.device->setFailAt(FailAt::Nothing);
        if (c.nextOpenBlocked) {
            EXPECT_EQ(rig.open(), OpenResult::OpenFailed);
            // A handle still open was closed, not leaked.
            EXPECT_FALSE(rig.device->isOpen());
        }
        EXPECT_EQ(rig.open(), OpenResult::Opened);
        EXPECT_TRUE(rig.link->closeGps());
        EXPECT_TRUE(rig.device->misuse().empty());
    }
}

TEST(SerialLink, CloseAfterAFailedConfigureRunsWithoutTouchingTheClosedHandle) {
    Rig rig(FailAt::SetLineState);
    EXPECT_EQ(rig.open(), OpenResult::SetStateFailed);
    const auto before = rig.device->calls();
    const auto closesBefore = std::count(before.begin(), before.end(), std::string("close"));
    EXPECT_TRUE(rig.link->closeGps());
    EXPECT_EQ(rig.sounds.lost.load(), 1);
    const auto calls = rig.device->calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), std::string("close")), closesBefore);
    EXPECT_TRUE(rig.device->misuse().empty());
    EXPECT_FALSE(rig.link->closeGps());
}

TEST(SerialLink, CloseReportsWhetherAPortWasOpen) {
    Rig rig;
    EXPECT_FALSE(rig.link->closeGps());
    EXPECT_EQ(rig.sounds.lost.load(), 0);

    rig.device->setScript(script("$GPGGA,1\r\n"));
    ASSERT_EQ(rig.open(), OpenResult::Opened);
    ASSERT_TRUE(rig.device->waitUntilBlocked(2s));
    rig.record.update([](NavState& n) {
        n.fixValid = true;
        n.hdopText.assignUtf8("0.9");
        n.fixDimensionText.assignUtf8(" (3D)");
        n.speedText.assignUtf8("42.0");
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(rig.link->closeGps());
    // The reader is woken and joined, not waited for by the clock.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 400ms);
    EXPECT_FALSE(rig.link->readerRunning());
    EXPECT_EQ(rig.sounds.lost.load(), 1);
    EXPECT_FALSE(rig.device->isOpen());
    const NavState nav = rig.record.snapshot();
    EXPECT_FALSE(nav.fixValid);
    EXPECT_EQ(nav.hdopText, u"50.0");
    EXPECT_EQ(nav.fixDimensionText, u"");
    EXPECT_EQ(nav.speedText, u"42.0");
    EXPECT_EQ(rig.handlers.lines(), std::vector<std::string>{"GGA:$GPGGA,1\r\n"});
    const auto calls = rig.device->calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[calls.size() - 2], "purge");
    EXPECT_EQ(calls.back(), "close");
    EXPECT_TRUE(rig.device->misuse().empty());
    EXPECT_FALSE(rig.link->closeGps());
    EXPECT_EQ(rig.sounds.lost.load(), 1);
}

TEST(SerialLink, WatchdogCountsOnlyEmptyFirstReadsWithAValidFix) {
    struct Case {
        const char* name;
        std::string input;
        bool fixValid;
        bool fires;
    };
    const Case cases[] = {
        {"19 empty reads then a byte", std::string(19, '|') + "x" + std::string(19, '|'), true,
         false},
        {"20 empty reads", std::string(20, '|'), true, true},
        {"a line resets the count", std::string(10, '|') + "$GPGGA\r\n" + std::string(19, '|'),
         true, false},
        {"no fix, never", std::string(60, '|'), false, false},
        // Reads made inside a line never count: the broken line ends the pass, not a second.
        {"reads inside a line", "$GP" + std::string(1, '|') + std::string(19, '|'), true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int threadsBefore = baselineThreadCount();
        {
            Rig rig;
            rig.record.update([&](NavState& n) {
                n.fixValid = c.fixValid;
                n.gpsConnected = true;
            });
            rig.device->setScript(script(c.input));
            ASSERT_EQ(rig.open(), OpenResult::Opened);
            if (c.fires) {
                // Reported once, after the connection is closed.
                ASSERT_TRUE(rig.events.waitForCount(1, 2s));
                EXPECT_EQ(rig.events.count(), 1);
                EXPECT_EQ(rig.sounds.lost.load(), 1);
                const NavState nav = rig.record.snapshot();
                EXPECT_FALSE(nav.gpsConnected);
                EXPECT_FALSE(nav.fixValid);
                EXPECT_FALSE(rig.link->portOpen());
                // The close ran on the reader thread; the main thread has nothing to close.
                EXPECT_FALSE(rig.link->closeGps());
                // And a new connection works after it.
                rig.device->setScript(script("$GPRMC,2\r\n"));
                ASSERT_EQ(rig.open(), OpenResult::Opened);
                ASSERT_TRUE(rig.device->waitUntilBlocked(2s));
                EXPECT_EQ(rig.handlers.lines().back(), "RMC:$GPRMC,2\r\n");
                EXPECT_TRUE(rig.link->closeGps());
            } else {
                ASSERT_TRUE(rig.device->waitUntilBlocked(2s));
                EXPECT_EQ(rig.events.count(), 0);
                EXPECT_TRUE(rig.record.read([](const NavState& n) { return n.gpsConnected; }));
                EXPECT_TRUE(rig.link->readerRunning());
                EXPECT_TRUE(rig.link->closeGps());
            }
            EXPECT_TRUE(rig.device->misuse().empty());
        }
        EXPECT_EQ(threadCount(), threadsBefore);
    }
}

TEST(SerialLink, DestructorClosesAnOpenConnection) {
    Rig rig;
    ASSERT_EQ(rig.open(), OpenResult::Opened);
    ASSERT_TRUE(rig.device->waitUntilBlocked(2s));
    rig.link.reset();
    EXPECT_EQ(rig.sounds.lost.load(), 1);
}

TEST(SerialLink, ConcurrentClosesCloseOnce) {
    for (int round = 0; round < 20; ++round) {
        Rig rig;
        ASSERT_EQ(rig.open(), OpenResult::Opened);
        std::atomic<int> trues{0};
        std::thread a([&] { trues += rig.link->closeGps() ? 1 : 0; });
        std::thread b([&] { trues += rig.link->closeGps() ? 1 : 0; });
        a.join();
        b.join();
        EXPECT_EQ(trues.load(), 1);
        EXPECT_EQ(rig.sounds.lost.load(), 1);
        EXPECT_TRUE(rig.device->misuse().empty());
    }
}

} // namespace
