#include "gpslink/netsource.h"
#include "gpslink/seriallink.h"
#include "tests/support/linkfakes.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <functional>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace velocimo;
using namespace velocimo::test;
using namespace std::chrono_literals;

namespace {

struct ParseCase {
    const char* entry;
    bool ok;
    SourceKind kind;
    const char* host;
    uint16_t port;
};

TEST(SourceAddress, ParsesPortsEntries) {
    const ParseCase cases[] = {
        {"/dev/ttyUSB0", true, SourceKind::Device, "/dev/ttyUSB0", 0},
        {"", true, SourceKind::Device, "", 0},
        {"gpsd://", true, SourceKind::Gpsd, "localhost", 2947},
        {"gpsd://127.0.0.1", true, SourceKind::Gpsd, "127.0.0.1", 2947},
        {"GPSD://pi.local:3000/", true, SourceKind::Gpsd, "pi.local", 3000},
        {"gpsd://[::1]:2948", true, SourceKind::Gpsd, "::1", 2948},
        {"tcp://192.168.1.20:10110", true, SourceKind::Tcp, "192.168.1.20", 10110},
        {"tcp://[fe80::1]:10110", true, SourceKind::Tcp, "fe80::1", 10110},
        {"tcp://phone:1", true, SourceKind::Tcp, "phone", 1},
        {"tcp://phone", false, SourceKind::Device, "", 0},
        {"tcp://:10110", false, SourceKind::Device, "", 0},
        {"tcp://phone:0", false, SourceKind::Device, "", 0},
        {"tcp://phone:65536", false, SourceKind::Device, "", 0},
        {"tcp://phone:12a", false, SourceKind::Device, "", 0},
        {"tcp:phone:10110", false, SourceKind::Device, "", 0},
        {"gpsd://[::1", false, SourceKind::Device, "", 0},
        {"gpsd://a b", false, SourceKind::Device, "", 0},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.entry);
        SourceAddress a;
        ASSERT_EQ(parseSourceAddress(c.entry, a), c.ok);
        EXPECT_EQ(isNetworkSource(c.entry), !c.ok || c.kind != SourceKind::Device);
        if (c.ok) {
            EXPECT_EQ(a.kind, c.kind);
            EXPECT_EQ(a.host, c.host);
            EXPECT_EQ(a.port, c.port);
            SourceAddress again;
            ASSERT_TRUE(parseSourceAddress(formatSourceAddress(a), again));
            EXPECT_EQ(again, a);
        }
    }
}

int openDescriptors() {
    int n = 0;
    DIR* dir = ::opendir("/proc/self/fd");
    while (dir && ::readdir(dir)) {
        ++n;
    }
    ::closedir(dir);
    return n;
}

// A one-client loopback server running a script on the accepted connection.
class Server {
public:
    explicit Server(std::function<void(int)> script) {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof a;
        ::bind(m_listen, reinterpret_cast<sockaddr*>(&a), size);
        ::listen(m_listen, 1);
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &size);
        port = ntohs(a.sin_port);
        m_thread = std::thread([this, script] {
            pollfd p{m_listen, POLLIN, 0};
            if (::poll(&p, 1, 5000) <= 0) {
                return;
            }
            const int client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0) {
                script(client);
                ::close(client);
            }
        });
    }
    ~Server() {
        join();
        ::close(m_listen);
    }
    void join() {
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }
    std::string entry(const char* scheme) const {
        return std::string(scheme) + "://127.0.0.1:" + std::to_string(port);
    }
    uint16_t port = 0;

private:
    int m_listen = -1;
    std::thread m_thread;
};

uint16_t closedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), size);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
    ::close(fd);
    return ntohs(a.sin_port);
}

std::string readLine(int fd) {
    std::string line;
    char c = 0;
    while (line.size() < 200 && ::recv(fd, &c, 1, 0) == 1 && c != '\n') {
        line += c;
    }
    return line;
}

const PortTimeouts kShortReads{100, 1, 200, 0, 0};

TEST(NetSource, RefusedOrMalformedEntriesDoNotOpen) {
    NetSource source;
    const int before = openDescriptors();
    for (const std::string& entry : {"tcp://127.0.0.1:" + std::to_string(closedPort()),
                                     "gpsd://127.0.0.1:" + std::to_string(closedPort()),
                                     std::string("tcp://127.0.0.1"), std::string("/dev/ttyUSB0")}) {
        SCOPED_TRACE(entry);
        EXPECT_FALSE(source.open(entry));
        EXPECT_FALSE(source.isOpen());
    }
    FileDescriptor socket;
    EXPECT_EQ(connectTo("127.0.0.1", closedPort(), 500ms, socket), ConnectOutcome::Refused);
    EXPECT_EQ(connectTo("no such host.invalid", 1, 500ms, socket), ConnectOutcome::BadAddress);
    EXPECT_EQ(openDescriptors(), before);
}

TEST(NetSource, ARefusedConnectionIsAFailedOpenOfTheLink) {
    LiveRecord record;
    RecordingHandlers handlers;
    const std::string entry = "gpsd://127.0.0.1:" + std::to_string(closedPort());
    SerialLink link(record, handlers, nullptr, nullptr, [&](std::u16string_view) { return entry; });
    PortNameText port;
    port.assign(u"COM1:");
    EXPECT_EQ(link.openGps(port, false), OpenResult::OpenFailed);
    EXPECT_FALSE(link.portOpen());
    EXPECT_FALSE(link.closeGps());
}

TEST(NetSource, TcpPassesBytesBothWaysAndLinesThroughTheFraming) {
    std::string received;
    Server server([&](int fd) {
        const std::string text = "$GPRMC,1*00\r\n{\"not\":\"gpsd\"}$GPGGA,2*00\r\n";
        ::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
        received = readLine(fd);
    });
    NetSource source;
    ASSERT_TRUE(source.open(server.entry("tcp")));
    LineState state{};
    EXPECT_TRUE(source.getLineState(state));
    EXPECT_TRUE(source.setLineState(state));
    EXPECT_TRUE(source.setTimeouts(kShortReads));
    RecordingHandlers handlers;
    for (int i = 0; i < 4; ++i) { // CR and LF each end a pass
        EXPECT_TRUE(readLinePass(source, handlers));
    }
    const uint8_t out[] = {'h', 'i', '\n'};
    source.write(out, sizeof out);
    server.join();
    EXPECT_EQ(handlers.lines(),
              (std::vector<std::string>{"RMC:$GPRMC,1*00\r\n", "GGA:$GPGGA,2*00\r\n"}));
    source.close();
    EXPECT_EQ(received, "hi");
}

TEST(NetSource, GpsdIsAskedForNmeaAndItsJsonLinesAreSkipped) {
    std::string request;
    Server server([&](int fd) {
        request = readLine(fd);
        const std::string text = "{\"class\":\"VERSION\",\"release\":\"3.22\"}\r\n"
                                 "{\"class\":\"DEVICE\",\"path\":\"$GPRMC,fake\"}\n"
                                 "$GPGGA,1*00\r\n{\"class\":\"WATCH\"}\n$GPRMC,2*00\r\n";
        ::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
        readLine(fd); // until the client goes
    });
    NetSource source;
    ASSERT_TRUE(source.open(server.entry("gpsd")));
    source.setTimeouts(kShortReads);
    RecordingHandlers handlers;
    for (int i = 0; i < 4; ++i) {
        readLinePass(source, handlers);
    }
    source.write(reinterpret_cast<const uint8_t*>("x\n"), 2); // not for gpsd
    source.close();
    EXPECT_EQ(request, "?WATCH={\"enable\":true,\"nmea\":true};");
    EXPECT_EQ(handlers.lines(),
              (std::vector<std::string>{"GGA:$GPGGA,1*00\r\n", "RMC:$GPRMC,2*00\r\n"}));
}

TEST(NetSource, AnEndlessJsonLineStillGivesEmptyReadsAtThePeriod) {
    Server server([](int fd) {
        const std::string junk = "{" + std::string(4096, 'x');
        while (::send(fd, junk.data(), junk.size(), MSG_NOSIGNAL) > 0) {
        }
    });
    NetSource source;
    ASSERT_TRUE(source.open(server.entry("gpsd")));
    source.setTimeouts(kShortReads);
    uint8_t byte = 0;
    EXPECT_FALSE(source.readPortByte(byte)); // returns although bytes keep coming
    EXPECT_FALSE(source.readPortByte(byte));
    source.close();
}

TEST(NetSource, APeerThatHangsUpGivesEmptyReadsLikeAnUnpluggedDevice) {
    Server server([](int fd) { ::send(fd, "$", 1, MSG_NOSIGNAL); });
    NetSource source;
    ASSERT_TRUE(source.open(server.entry("gpsd")));
    source.setTimeouts(kShortReads);
    uint8_t byte = 0;
    EXPECT_TRUE(source.readPortByte(byte));
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(source.readPortByte(byte));
    }
    // Each empty read takes its period: no busy loop after the hang-up.
    EXPECT_GE(std::chrono::steady_clock::now() - start, 500ms);
    EXPECT_TRUE(source.isOpen()) << "the watchdog, not the read, closes it";
}

TEST(NetSource, InterruptWakesAReadWithoutTimeout) {
    Server server([](int fd) { readLine(fd); });
    NetSource source;
    ASSERT_TRUE(source.open(server.entry("tcp")));
    std::thread waker([&] {
        std::this_thread::sleep_for(100ms);
        source.interrupt();
    });
    uint8_t byte = 0;
    EXPECT_FALSE(source.readPortByte(byte)); // would wait for ever without the wake-up
    waker.join();
    source.close();
}

TEST(NetSource, LinkOpensChoosesByEntryAndClosesAFloodingServerCleanly) {
    const int before = openDescriptors();
    {
        std::atomic<bool> stop{false};
        Server server([&](int fd) {
            std::string burst;
            for (int i = 0; i < 50; ++i) {
                burst += "$GPGGA,flood*00\r\n";
                burst += std::string(150, 'x') + "\n";
            }
            while (!stop.load() && ::send(fd, burst.data(), burst.size(), MSG_NOSIGNAL) > 0) {
            }
        });
        LiveRecord record;
        RecordingHandlers handlers;
        RecordingSounds sounds;
        const std::string entry = server.entry("tcp");
        SerialLink link(record, handlers, &sounds, nullptr,
                        [&](std::u16string_view) { return entry; });
        PortNameText port;
        port.assign(u"COM1:");
        ASSERT_EQ(link.openGps(port, true), OpenResult::Opened);
        while (handlers.lines().size() < 1000) {
            std::this_thread::yield();
        }
        EXPECT_TRUE(link.closeGps());
        EXPECT_FALSE(link.readerRunning());
        stop.store(true);
    }
    EXPECT_EQ(openDescriptors(), before) << "no socket or wake-up descriptor left behind";
}

} // namespace
