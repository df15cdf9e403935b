#include "gpslink/netsource.h"

#include <cerrno>
#include <charconv>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace velocimo {

namespace {

using Clock = std::chrono::steady_clock;

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (c != prefix[i]) {
            return false;
        }
    }
    return true;
}

bool parsePort(std::string_view text, uint16_t& port) {
    unsigned value = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size() || value == 0 ||
        value > 65535) {
        return false;
    }
    port = static_cast<uint16_t>(value);
    return true;
}

// "HOST", "HOST:PORT", "[V6]" or "[V6]:PORT"; hasPort tells whether a port was given.
bool splitHostPort(std::string_view text, std::string& host, uint16_t& port, bool& hasPort) {
    hasPort = false;
    std::string_view rest;
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos || close == 1) {
            return false;
        }
        host = std::string(text.substr(1, close - 1));
        rest = text.substr(close + 1);
    } else {
        const std::size_t colon = text.find(':');
        host = std::string(text.substr(0, colon));
        rest = colon == std::string_view::npos ? std::string_view() : text.substr(colon);
    }
    if (host.find_first_of(" /[]") != std::string::npos) {
        return false;
    }
    if (rest.empty()) {
        return true;
    }
    if (rest.front() != ':' || !parsePort(rest.substr(1), port)) {
        return false;
    }
    hasPort = true;
    return true;
}

// Resolves with a deadline: a name server that does not answer must not hold the window.
addrinfo* resolve(const std::string& host, uint16_t port, Clock::time_point deadline) {
    const std::string service = std::to_string(port);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* result = nullptr;
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &result) == 0) {
        return result;
    }
    // A name goes to a thread of its own, so the wait can end on time; one that outlives the
    // deadline frees its own answer.
    struct Lookup {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        bool abandoned = false;
        addrinfo* result = nullptr;
    };
    auto lookup = std::make_shared<Lookup>();
    try {
        std::thread([lookup, host, service] {
            addrinfo nameHints{};
            nameHints.ai_family = AF_UNSPEC;
            nameHints.ai_socktype = SOCK_STREAM;
            nameHints.ai_flags = AI_NUMERICSERV;
            addrinfo* answer = nullptr;
            if (::getaddrinfo(host.c_str(), service.c_str(), &nameHints, &answer) != 0) {
                answer = nullptr;
            }
            std::lock_guard<std::mutex> lock(lookup->mutex);
            if (lookup->abandoned) {
                if (answer) {
                    ::freeaddrinfo(answer);
                }
                return;
            }
            lookup->result = answer;
            lookup->finished = true;
            lookup->done.notify_one();
        }).detach();
    } catch (const std::system_error&) {
        return nullptr;
    }
    std::unique_lock<std::mutex> lock(lookup->mutex);
    if (!lookup->done.wait_until(lock, deadline, [&] { return lookup->finished; })) {
        lookup->abandoned = true;
        return nullptr;
    }
    return lookup->result;
}

ConnectOutcome connectOne(const addrinfo& a, Clock::time_point deadline, FileDescriptor& out) {
    FileDescriptor fd(
        ::socket(a.ai_family, a.ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a.ai_protocol));
    if (!fd) {
        return ConnectOutcome::NoAnswer;
    }
    if (::connect(fd.get(), a.ai_addr, a.ai_addrlen) != 0) {
        if (errno == ECONNREFUSED) {
            return ConnectOutcome::Refused;
        }
        if (errno != EINPROGRESS) {
            return ConnectOutcome::NoAnswer;
        }
        pollfd p{fd.get(), POLLOUT, 0};
        int r = 0;
        while ((r = ::poll(&p, 1, remainingMs(deadline))) < 0 && errno == EINTR) {
        }
        if (r <= 0) {
            return ConnectOutcome::NoAnswer;
        }
        int error = 0;
        socklen_t size = sizeof error;
        if (::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) {
            return error == ECONNREFUSED ? ConnectOutcome::Refused : ConnectOutcome::NoAnswer;
        }
    }
    out = std::move(fd);
    return ConnectOutcome::Connected;
}

constexpr std::string_view kWatch = "?WATCH={\"enable\":true,\"nmea\":true};\n";

} // namespace

bool isNetworkSource(std::string_view entry) {
    return startsWithNoCase(entry, "gpsd:") || startsWithNoCase(entry, "tcp:");
}

bool parseSourceAddress(std::string_view entry, SourceAddress& address) {
    SourceAddress a;
    std::string_view rest;
    if (startsWithNoCase(entry, "gpsd:")) {
        a.kind = SourceKind::Gpsd;
        rest = entry.substr(5);
    } else if (startsWithNoCase(entry, "tcp:")) {
        a.kind = SourceKind::Tcp;
        rest = entry.substr(4);
    } else {
        a.host = std::string(entry);
        address = a;
        return true;
    }
    if (rest.substr(0, 2) != "//") {
        return false;
    }
    rest.remove_prefix(2);
    if (!rest.empty() && rest.back() == '/') {
        rest.remove_suffix(1);
    }
    bool hasPort = false;
    if (!splitHostPort(rest, a.host, a.port, hasPort)) {
        return false;
    }
    if (a.kind == SourceKind::Gpsd) {
        if (a.host.empty()) {
            a.host = "localhost";
        }
        if (!hasPort) {
            a.port = kGpsdDefaultPort;
        }
    } else if (a.host.empty() || !hasPort) {
        return false;
    }
    address = a;
    return true;
}

std::string formatSourceAddress(const SourceAddress& address) {
    if (address.kind == SourceKind::Device) {
        return address.host;
    }
    const bool v6 = address.host.find(':') != std::string::npos;
    const std::string host = v6 ? "[" + address.host + "]" : address.host;
    return (address.kind == SourceKind::Gpsd ? "gpsd://" : "tcp://") + host + ":" +
           std::to_string(address.port);
}

ConnectOutcome connectTo(const std::string& host, uint16_t port, std::chrono::milliseconds limit,
                         FileDescriptor& socket) {
    socket.reset();
    const auto deadline = Clock::now() + limit;
    addrinfo* list = resolve(host, port, deadline);
    if (!list) {
        return ConnectOutcome::BadAddress;
    }
    ConnectOutcome outcome = ConnectOutcome::NoAnswer;
    for (const addrinfo* a = list; a && outcome != ConnectOutcome::Connected; a = a->ai_next) {
        const ConnectOutcome o = connectOne(*a, deadline, socket);
        // A refusal on one address family says more than silence on another.
        if (o == ConnectOutcome::Connected || o == ConnectOutcome::Refused ||
            outcome != ConnectOutcome::Refused) {
            outcome = o;
        }
    }
    ::freeaddrinfo(list);
    return outcome;
}

NetSource::NetSource(std::chrono::milliseconds connectLimit) : m_connectLimit(connectLimit) {}

NetSource::~NetSource() {
    close();
}

bool NetSource::open(const std::string& path) {
    SourceAddress address;
    if (m_socket || !parseSourceAddress(path, address) || address.kind == SourceKind::Device) {
        return false;
    }
    m_wake.drain();
    FileDescriptor socket;
    if (connectTo(address.host, address.port, m_connectLimit, socket) !=
        ConnectOutcome::Connected) {
        return false;
    }
    m_gpsd = address.kind == SourceKind::Gpsd;
    if (m_gpsd && !writeAll(socket.get(), kWatch)) {
        return false;
    }
    m_socket = std::move(socket);
    m_timeouts = PortTimeouts{};
    m_peerGone = false;
    m_atLineStart = true;
    m_skippingLine = false;
    m_begin = m_end = 0;
    return true;
}

void NetSource::write(const uint8_t* data, std::size_t size) {
    if (m_socket && !m_gpsd && !m_peerGone) {
        writeAll(m_socket.get(), std::string_view(reinterpret_cast<const char*>(data), size));
    }
}

bool NetSource::getLineState(LineState& state) {
    if (!m_socket) {
        return false;
    }
    state = LineState{};
    return true;
}

bool NetSource::setLineState(const LineState&) {
    return m_socket.valid();
}

bool NetSource::getTimeouts(PortTimeouts& timeouts) {
    if (!m_socket) {
        return false;
    }
    timeouts = m_timeouts;
    return true;
}

bool NetSource::setTimeouts(const PortTimeouts& timeouts) {
    if (!m_socket) {
        return false;
    }
    m_timeouts = timeouts;
    return true;
}

void NetSource::purge() {
    m_begin = m_end = 0;
}

void NetSource::close() {
    m_socket.reset();
    m_begin = m_end = 0;
}

void NetSource::interrupt() {
    m_wake.signal();
}

bool NetSource::takeBuffered(uint8_t& byte) {
    while (m_begin < m_end) {
        const uint8_t b = m_buffer[m_begin++];
        // gpsd's own reports are JSON objects, one a line; only the relayed NMEA goes on.
        if (m_gpsd && m_atLineStart && b == '{') {
            m_skippingLine = true;
        }
        m_atLineStart = b == '\n';
        if (m_skippingLine) {
            if (b == '\n') {
                m_skippingLine = false;
            }
            continue;
        }
        byte = b;
        return true;
    }
    return false;
}

bool NetSource::readPortByte(uint8_t& byte) {
    byte = 0;
    if (!m_socket) {
        return false;
    }
    if (takeBuffered(byte)) {
        return true;
    }
    const int waitMs = velocimo::readWaitMs(m_timeouts);
    const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs < 0 ? 0 : waitMs);
    auto left = [&] { return waitMs < 0 ? -1 : remainingMs(deadline); };
    // A peer that has hung up is an unplugged receiver: one empty read per period, no spin.
    auto peerGone = [&] {
        m_peerGone = true;
        const int ms = left();
        m_wake.wait(ms < 0 ? 1000 : ms);
        return false;
    };
    if (m_peerGone) {
        return peerGone();
    }
    for (;;) {
        pollfd fds[2] = {{m_socket.get(), POLLIN, 0}, {m_wake.fd(), POLLIN, 0}};
        const int r = ::poll(fds, m_wake ? 2 : 1, left());
        if (r < 0) {
            if (errno == EINTR) {
                continue;
            }
            return peerGone();
        }
        if (r == 0 || (fds[1].revents & POLLIN)) {
            return false;
        }
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t n = ::recv(m_socket.get(), m_buffer, sizeof m_buffer, 0);
            if (n > 0) {
                m_begin = 0;
                m_end = static_cast<std::size_t>(n);
                if (takeBuffered(byte)) {
                    return true;
                }
                if (left() == 0) {
                    return false; // nothing but JSON for a whole period
                }
                continue;
            }
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
                continue;
            }
            return peerGone();
        }
        if (fds[0].revents & POLLNVAL) {
            return peerGone();
        }
    }
}

bool ReceiverDevice::open(const std::string& path) {
    if (active().isOpen()) {
        return false;
    }
    const bool net = isNetworkSource(path);
    m_netActive.store(net);
    return net ? m_net.open(path) : m_serial.open(path);
}

void ReceiverDevice::interrupt() {
    m_serial.interrupt();
    m_net.interrupt();
}

SerialDevice& ReceiverDevice::active() {
    return m_netActive.load() ? static_cast<SerialDevice&>(m_net) : m_serial;
}

const SerialDevice& ReceiverDevice::active() const {
    return m_netActive.load() ? static_cast<const SerialDevice&>(m_net) : m_serial;
}

} // namespace velocimo
