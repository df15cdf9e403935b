// velocimo-sim: a GPS receiver on a pseudo-terminal, for trying Velocimo without hardware.

#include "nmeasim.h"
#include "shell/core/filedescriptor.h"
#include "tcpfanout.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <pty.h>
#include <sstream>
#include <string>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr const char* kHelp =
    "Usage: velocimo-sim [OPTIONS] [LOG]\n"
    "\n"
    "Plays a GPS receiver on a pseudo-terminal at the pace of 4800 baud (about 480 bytes\n"
    "a second, or the --baud rate). The slave device path is printed on the first line of standard "
    "output;\n"
    "point Velocimo's serial port at it (or at the --link path).\n"
    "\n"
    "Without LOG it plays a built-in drive, one $GPRMC, $GPGGA and $GPGSA epoch a second:\n"
    "standing still, accelerating through 50, 80 and 100 km/h to a top speed of 130 km/h,\n"
    "a full circle through every compass point, climbs and descents, a six-second loss of\n"
    "fix and its return, and a stop; the drive then starts again.\n"
    "With LOG it replays an NMEA capture one epoch (one second of sentences) a second,\n"
    "skipping '#' lines, from the beginning again at the end unless --once is given.\n"
    "\n"
    "Options:\n"
    "  --link PATH   also make PATH a symbolic link to the slave device (an existing\n"
    "                PATH is replaced; the link is removed at exit)\n"
    "  --rate N      run the clock and the byte pace N times faster (N > 0, default 1)\n"
    "  --once        with LOG: stop after the last epoch instead of starting again\n"
    "  --tcp PORT    serve the stream to TCP clients on 127.0.0.1:PORT instead (0 picks a\n"
    "                free port); the first output line is then tcp://127.0.0.1:PORT\n"
    "  --talker XX   the built-in drive's talker instead of GP (two capital letters), or\n"
    "                'mixed': RMC and GSA as GN, GGA as GP, and a GLGSA, as today's modules\n"
    "  --baud N      pace the bytes at N baud and set the pseudo-terminal's line speed to\n"
    "                it: 4800 (default), 9600, 19200, 38400, 57600, 115200 or 230400\n"
    "  --help        show this text\n"
    "\n"
    "Runs until killed; SIGINT and SIGTERM stop it cleanly.\n";

std::atomic<bool> g_stop{false};

extern "C" void onSignal(int) {
    g_stop.store(true);
}

struct Options {
    std::string link;
    std::string log;
    double rate = 1.0;
    bool once = false;
    int tcpPort = -1;
    std::string talker = "GP";
    int baud = 4800;
};

struct BaudEntry {
    int baud;
    speed_t speed;
};
constexpr BaudEntry kBauds[] = {{4800, B4800},    {9600, B9600},   {19200, B19200},
                                {38400, B38400},  {57600, B57600}, {115200, B115200},
                                {230400, B230400}};

speed_t speedOf(int baud) {
    for (const BaudEntry& e : kBauds) {
        if (e.baud == baud) {
            return e.speed;
        }
    }
    return B0;
}

bool parseBaud(const char* text, int& baud) {
    const char* end = text + std::strlen(text);
    const auto r = std::from_chars(text, end, baud);
    return r.ec == std::errc() && r.ptr == end && speedOf(baud) != B0;
}

bool parseRate(const char* text, double& rate) {
    const char* end = text + std::strlen(text);
    const auto r = std::from_chars(text, end, rate);
    return r.ec == std::errc() && r.ptr == end && rate > 0.0 && rate <= 1000.0;
}

// 0 to run, 1 to exit successfully (help), 2 for a usage error.
int parseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kHelp, stdout);
            return 1;
        } else if (a == "--once") {
            o.once = true;
        } else if (a == "--link" && i + 1 < argc) {
            o.link = argv[++i];
        } else if (a == "--rate" && i + 1 < argc) {
            if (!parseRate(argv[++i], o.rate)) {
                std::fprintf(stderr, "velocimo-sim: --rate needs a number above 0\n");
                return 2;
            }
        } else if (a == "--tcp" && i + 1 < argc) {
            const char* text = argv[++i];
            const char* end = text + std::strlen(text);
            const auto r = std::from_chars(text, end, o.tcpPort);
            if (r.ec != std::errc() || r.ptr != end || o.tcpPort < 0 || o.tcpPort > 65535) {
                std::fprintf(stderr, "velocimo-sim: --tcp needs a port number\n");
                return 2;
            }
        } else if (a == "--talker" && i + 1 < argc) {
            o.talker = argv[++i];
            if (!velocimo::sim::validTalker(o.talker)) {
                std::fprintf(stderr, "velocimo-sim: --talker needs two capital letters or mixed\n");
                return 2;
            }
        } else if (a == "--baud" && i + 1 < argc) {
            if (!parseBaud(argv[++i], o.baud)) {
                std::fprintf(stderr, "velocimo-sim: --baud takes 4800, 9600, 19200, 38400, 57600, "
                                     "115200 or 230400\n");
                return 2;
            }
        } else if (!a.empty() && a[0] != '-' && o.log.empty()) {
            o.log = a;
        } else {
            std::fprintf(stderr, "velocimo-sim: unknown argument '%s' (see --help)\n", a.c_str());
            return 2;
        }
    }
    return 0;
}

// Sleeps until the time point; false if a stop was requested meanwhile.
bool sleepUntil(Clock::time_point when) {
    while (!g_stop.load()) {
        const auto left = when - Clock::now();
        if (left <= 0ms) {
            return true;
        }
        std::this_thread::sleep_for(std::min<Clock::duration>(left, 20ms));
    }
    return false;
}

class Receiver {
public:
    // bytesPerSecond: ten bit times a byte (start, eight data, stop).
    Receiver(int master, int slave, double bytesPerSecond)
        : m_master(master), m_slave(slave), m_bytesPerSecond(bytesPerSecond) {}

    // Sends text at the line's pace, starting at `start`. False if stopped.
    bool send(const std::string& text, Clock::time_point start) {
        const double bytesPerSecond = m_bytesPerSecond;
        std::size_t sent = 0;
        while (sent < text.size()) {
            const auto due = start + std::chrono::duration_cast<Clock::duration>(
                                         std::chrono::duration<double>(sent / bytesPerSecond));
            if (!sleepUntil(due)) {
                return false;
            }
            discardInput();
            const std::size_t chunk = std::min<std::size_t>(8, text.size() - sent);
            const ssize_t n = ::write(m_master, text.data() + sent, chunk);
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
            } else if (n < 0 && errno != EINTR) {
                // Full (nobody reads the slave) or briefly unusable: drop what is queued.
                dropStale(0);
                if (!sleepUntil(Clock::now() + 10ms)) {
                    return false;
                }
            }
        }
        return true;
    }

    // A receiver nobody listens to does not queue up old sentences for the next listener.
    void dropStale(int limit) {
        int queued = 0;
        if (::ioctl(m_slave, TIOCINQ, &queued) == 0 && queued > limit) {
            ::tcflush(m_slave, TCIFLUSH);
        }
    }

private:
    // What the application writes (SiRF set-up) is read and dropped.
    void discardInput() {
        char buf[256];
        while (::read(m_master, buf, sizeof buf) > 0) {
        }
    }

    int m_master;
    int m_slave;
    double m_bytesPerSecond;
};

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (const int r = parseOptions(argc, argv, options); r != 0) {
        return r == 1 ? 0 : 2;
    }

    std::vector<std::string> epochs;
    if (!options.log.empty()) {
        std::ifstream in(options.log, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "velocimo-sim: cannot read '%s'\n", options.log.c_str());
            return 1;
        }
        const std::string text((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
        epochs = velocimo::sim::splitEpochs(text);
        if (epochs.empty()) {
            std::fprintf(stderr, "velocimo-sim: no sentences in '%s'\n", options.log.c_str());
            return 1;
        }
    }

    int masterFd = -1;
    int slaveFd = -1;
    char name[256] = {};
    if (openpty(&masterFd, &slaveFd, name, nullptr, nullptr) != 0) {
        std::perror("velocimo-sim: openpty");
        return 1;
    }
    // The master goes last: closing it is what hangs up whoever still reads the slave.
    const velocimo::FileDescriptor masterOwner(masterFd);
    const velocimo::FileDescriptor slaveOwner(slaveFd);
    const int master = masterOwner.get();
    const int slave = slaveOwner.get();
    // The slave stays open here, so the master never sees a hang-up between listeners. Raw,
    // so nothing is echoed or translated before the application sets the line up itself.
    termios raw{};
    if (::tcgetattr(slave, &raw) == 0) {
        cfmakeraw(&raw);
        cfsetispeed(&raw, speedOf(options.baud));
        cfsetospeed(&raw, speedOf(options.baud));
        ::tcsetattr(slave, TCSANOW, &raw);
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);

    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGHUP, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    bool linked = false;
    if (!options.link.empty()) {
        // Made aside and renamed over, so an existing link is replaced in one step.
        const std::string temp = options.link + ".velocimo-sim-" + std::to_string(::getpid());
        ::unlink(temp.c_str());
        if (::symlink(name, temp.c_str()) != 0 ||
            ::rename(temp.c_str(), options.link.c_str()) != 0) {
            std::fprintf(stderr, "velocimo-sim: cannot make link '%s': %s\n", options.link.c_str(),
                         std::strerror(errno));
            ::unlink(temp.c_str());
            return 1;
        }
        linked = true;
    }

    // With --tcp the slave end is read here and handed to the network clients.
    velocimo::sim::TcpFanout fanout;
    if (options.tcpPort >= 0) {
        if (!fanout.start(static_cast<uint16_t>(options.tcpPort), slave)) {
            std::fprintf(stderr, "velocimo-sim: cannot listen on port %d: %s\n", options.tcpPort,
                         std::strerror(errno));
            return 1;
        }
        std::printf("tcp://127.0.0.1:%u\n", static_cast<unsigned>(fanout.port()));
    } else {
        std::fputs(name, stdout);
        std::fputc('\n', stdout);
    }
    std::fflush(stdout);

    Receiver receiver(master, slave, options.baud / 10.0 * options.rate);
    const auto period = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(1.0 / options.rate));
    auto epochStart = Clock::now();
    for (uint64_t epoch = 0; !g_stop.load(); ++epoch) {
        std::string text;
        if (epochs.empty()) {
            text = velocimo::sim::formatEpoch(velocimo::sim::driveAt(epoch), options.talker);
        } else {
            if (options.once && epoch >= epochs.size()) {
                break;
            }
            text = epochs[epoch % epochs.size()];
        }
        receiver.dropStale(1024);
        if (!receiver.send(text, epochStart)) {
            break;
        }
        // A long capture epoch can take more than a second at 4800 baud: it then runs late.
        epochStart = std::max(epochStart + period, Clock::now());
        if (!sleepUntil(epochStart)) {
            break;
        }
    }

    if (linked) {
        char target[256] = {};
        const ssize_t n = ::readlink(options.link.c_str(), target, sizeof target - 1);
        if (n > 0 && std::strcmp(target, name) == 0) {
            ::unlink(options.link.c_str());
        }
    }
    if (options.once && !g_stop.load()) {
        // Let a listener read the last epoch before the hang-up.
        std::this_thread::sleep_for(std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(0.5 / options.rate)));
    }
    return 0;
}
