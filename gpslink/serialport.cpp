#include "gpslink/serialport.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace velocimo {

namespace {

struct Speed {
    int32_t rate;
    speed_t speed;
};
constexpr Speed kSpeeds[] = {
    {1200, B1200},   {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},
    {38400, B38400}, {57600, B57600}, {115200, B115200}, {230400, B230400},
};

bool speedFor(int32_t baudRate, speed_t& speed) {
    for (const Speed& e : kSpeeds) {
        if (e.rate == baudRate) {
            speed = e.speed;
            return true;
        }
    }
    return false;
}

int32_t rateOf(speed_t speed) {
    for (const Speed& e : kSpeeds) {
        if (e.speed == speed) {
            return e.rate;
        }
    }
    return 0;
}

using Clock = std::chrono::steady_clock;

} // namespace

int lineGatherMs(int32_t baudRate) {
    if (baudRate <= 0) {
        return kLineGatherMs;
    }
    // Ten bits a byte on the line.
    constexpr int64_t kBits = 240 * 10;
    return static_cast<int>(std::clamp<int64_t>(kBits * 1000 / baudRate, 10, 500));
}

int nextGatherMs(int32_t baudRate, std::size_t bytes, std::chrono::microseconds elapsed) {
    const int atLineSpeed = lineGatherMs(baudRate);
    if (elapsed.count() <= 0) {
        return atLineSpeed;
    }
    const int64_t seen =
        std::min<int64_t>(static_cast<int64_t>(bytes) * 10 * 1000000 / elapsed.count(),
                          std::numeric_limits<int32_t>::max());
    if (seen <= baudRate) {
        return atLineSpeed;
    }
    return std::min(atLineSpeed, lineGatherMs(static_cast<int32_t>(seen)));
}

bool applyLineParameters(LineState& state, int32_t baudRate, int32_t dataBits, bool parityCheck,
                         Parity parity, StopBits stopBits) {
    speed_t speed = 0;
    if (!speedFor(baudRate, speed)) {
        return false;
    }
    tcflag_t size = 0;
    switch (dataBits) {
    case 5:
        size = CS5;
        break;
    case 6:
        size = CS6;
        break;
    case 7:
        size = CS7;
        break;
    case 8:
        size = CS8;
        break;
    default:
        return false;
    }
    LineState s = state;
    cfmakeraw(&s);
    cfsetispeed(&s, speed);
    cfsetospeed(&s, speed);
    s.c_cflag = (s.c_cflag & ~CSIZE) | size;
    s.c_cflag &= ~(PARENB | PARODD | CSTOPB | CRTSCTS);
    if (parity != Parity::None) {
        s.c_cflag |= PARENB;
        if (parity == Parity::Odd) {
            s.c_cflag |= PARODD;
        }
    }
    if (stopBits == StopBits::Two) {
        s.c_cflag |= CSTOPB;
    }
    s.c_cflag |= CLOCAL | CREAD;
    // cfmakeraw clears INPCK and IXON; the rest of the input flow control goes here.
    s.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    if (parityCheck) {
        s.c_iflag |= INPCK;
    }
    // Reads are bounded by poll; a read that follows it returns whatever byte is there.
    s.c_cc[VMIN] = 1;
    s.c_cc[VTIME] = 0;
    state = s;
    return true;
}

SerialPort::SerialPort(std::chrono::milliseconds readTimeout)
    : m_readTimeoutOverride(readTimeout) {}

SerialPort::~SerialPort() {
    close();
}

bool SerialPort::open(const std::string& path) {
    if (m_fd || path.empty()) {
        return false;
    }
    m_wake.drain();
    // Non-blocking so a modem line without carrier cannot hold the open.
    FileDescriptor fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) {
        return false;
    }
    // TIOCEXCL keeps out other users, but not root; the lock keeps out a second copy of us
    // whoever runs it.
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        return false;
    }
    // Fails on things that are not terminals; the line state shows it.
    ::ioctl(fd.get(), TIOCEXCL);
    // The set-up sentences may go out before the line parameters are set: a port in the
    // kernel's default state would turn each LF into CR LF.
    LineState state{};
    if (::tcgetattr(fd.get(), &state) == 0 && (state.c_oflag & OPOST)) {
        state.c_oflag &= ~OPOST;
        ::tcsetattr(fd.get(), TCSANOW, &state);
    }
    // The descriptor stays non-blocking: reads wait in poll, writes wait at most
    // kWriteLimit.
    m_fd = std::move(fd);
    m_timeouts = PortTimeouts{};
    m_hungUp.store(false);
    m_baudRate.store(0);
    m_gatherMs.store(kLineGatherMs);
    m_writeStalled = false;
    return true;
}

void SerialPort::write(const uint8_t* data, std::size_t size) {
    if (!m_fd) {
        return;
    }
    // A receiver that has stopped our output (XOFF) or takes nothing must not hold the
    // window: what has not gone out by the deadline is dropped.
    const auto deadline = Clock::now() + kWriteLimit;
    while (size > 0) {
        const ssize_t n = ::write(m_fd.get(), data, size);
        if (n > 0) {
            data += n;
            size -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n == 0 || errno != EAGAIN) {
            return; // gone: the reader finds out
        }
        pollfd p{m_fd.get(), POLLOUT, 0};
        const int r = m_writeStalled ? 0 : ::poll(&p, 1, remainingMs(deadline));
        if (r == 0) {
            m_writeStalled = true;
            return;
        }
        if (r < 0 && errno != EINTR) {
            return;
        }
    }
}

bool SerialPort::getLineState(LineState& state) {
    return m_fd && ::tcgetattr(m_fd.get(), &state) == 0;
}

bool SerialPort::setLineState(const LineState& state) {
    if (!m_fd || ::tcsetattr(m_fd.get(), TCSANOW, &state) != 0) {
        return false;
    }
    // tcsetattr succeeds when any part of the request was taken: check what matters.
    LineState actual{};
    if (::tcgetattr(m_fd.get(), &actual) != 0 || cfgetispeed(&actual) != cfgetispeed(&state) ||
        cfgetospeed(&actual) != cfgetospeed(&state) ||
        (actual.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS)) !=
            (state.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS))) {
        return false;
    }
    // The receiver needs neither line; a pseudo-terminal has no modem lines at all.
    const int lines = TIOCM_DTR | TIOCM_RTS;
    if (::ioctl(m_fd.get(), TIOCMBIC, &lines) != 0 && errno != ENOTTY && errno != EINVAL) {
        return false;
    }
    m_baudRate.store(rateOf(cfgetispeed(&actual)));
    m_gatherMs.store(lineGatherMs(m_baudRate.load()));
    return true;
}

bool SerialPort::getTimeouts(PortTimeouts& timeouts) {
    if (!m_fd) {
        return false;
    }
    timeouts = m_timeouts;
    return true;
}

bool SerialPort::setTimeouts(const PortTimeouts& timeouts) {
    if (!m_fd) {
        return false;
    }
    m_timeouts = timeouts;
    return true;
}

void SerialPort::purge() {
    if (m_fd) {
        ::tcflush(m_fd.get(), TCIOFLUSH);
    }
}

void SerialPort::close() {
    if (m_fd) {
        // The exclusive mark lives on the terminal, not on our descriptor: while anyone else
        // holds the device (a simulator keeps its slave open) it would outlast this close and
        // lock every other user out of the next open.
        ::ioctl(m_fd.get(), TIOCNXCL);
        m_fd.reset(); // also releases the lock
    }
}

void SerialPort::interrupt() {
    m_wake.signal();
}

int SerialPort::readWaitMs() const {
    if (m_readTimeoutOverride.count() > 0) {
        return static_cast<int>(m_readTimeoutOverride.count());
    }
    return velocimo::readWaitMs(m_timeouts);
}

bool SerialPort::readPortByte(uint8_t& byte) {
    byte = 0;
    return readBytes(&byte, 1) == 1;
}

std::size_t SerialPort::readBytes(uint8_t* buffer, std::size_t capacity) {
    return read(buffer, capacity, 0);
}

std::size_t SerialPort::readRestOfLine(uint8_t* buffer, std::size_t capacity) {
    return read(buffer, capacity, m_gatherMs.load());
}

std::size_t SerialPort::read(uint8_t* buffer, std::size_t capacity, int gatherMs) {
    if (!m_fd) {
        return 0;
    }
    const int waitMs = readWaitMs();
    const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs < 0 ? 0 : waitMs);
    auto left = [&] { return waitMs < 0 ? -1 : remainingMs(deadline); };
    if (gatherMs > 0 && m_wake) {
        // Part of the read's own timeout; a close cuts it short and the poll below sees it.
        const int ms = left();
        const auto gatherStart = Clock::now();
        if (!m_wake.wait(ms < 0 ? gatherMs : std::min(ms, gatherMs))) {
            // What gathered is taken without polling first (the descriptor does not block);
            // nothing there, or an error, goes the usual way below.
            const ssize_t n = ::read(m_fd.get(), buffer, capacity);
            if (n > 0) {
                auto seen = static_cast<std::size_t>(n);
                int queued = 0;
                // A full read is not all that came: ask for the rest only then.
                if (seen == capacity && ::ioctl(m_fd.get(), FIONREAD, &queued) == 0 && queued > 0) {
                    seen += static_cast<std::size_t>(queued);
                }
                m_gatherMs.store(nextGatherMs(m_baudRate.load(), seen,
                                              std::chrono::duration_cast<std::chrono::microseconds>(
                                                  Clock::now() - gatherStart)));
                return static_cast<std::size_t>(n);
            }
        }
    }
    // A device that has gone away reports readiness at once, for ever: the rest of the
    // timeout is slept away so it still gives one empty read per period, not a busy loop.
    auto deviceGone = [&](bool hungUp) {
        if (hungUp) {
            m_hungUp.store(true);
        }
        const int ms = left();
        m_wake.wait(ms < 0 ? 1000 : ms);
        return std::size_t{0};
    };
    for (;;) {
        pollfd fds[2] = {{m_fd.get(), POLLIN, 0}, {m_wake.fd(), POLLIN, 0}};
        const int r = ::poll(fds, m_wake ? 2 : 1, left());
        if (r < 0) {
            if (errno == EINTR) {
                continue;
            }
            return deviceGone(false);
        }
        if (r == 0) {
            return 0;
        }
        if (fds[1].revents & POLLIN) {
            return 0;
        }
        if (fds[0].revents & POLLIN) {
            // Raw mode with VMIN 1: the read returns what has arrived, never waits for more.
            const ssize_t n = ::read(m_fd.get(), buffer, capacity);
            if (n > 0) {
                return static_cast<std::size_t>(n);
            }
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
                continue;
            }
            // End of file, EIO or ENODEV: unplugged, or the other end of a pty closed.
            return deviceGone(n == 0 || errno == EIO || errno == ENODEV);
        }
        if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            return deviceGone((fds[0].revents & (POLLHUP | POLLERR)) != 0);
        }
    }
}

} // namespace velocimo
