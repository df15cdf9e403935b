#include "shell/qtcontrol.h"

#include "shell/core/filedescriptor.h"

#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace velocimo {

ControlServer::ControlServer(int listenFd, std::string socketPath, QObject* parent,
                             std::chrono::milliseconds idleLimit)
    : QObject(parent), m_listenFd(listenFd), m_socketPath(std::move(socketPath)),
      m_idleLimit(idleLimit), m_sweep(new QTimer(this)) {
    m_listenNotifier = std::make_unique<QSocketNotifier>(listenFd, QSocketNotifier::Read);
    connect(m_listenNotifier.get(), &QSocketNotifier::activated, this, [this] { acceptClients(); });
    // A quarter of the limit: an idle client goes at most a quarter late.
    m_sweep->setInterval(std::max(idleLimit / 4, std::chrono::milliseconds(1)));
    connect(m_sweep, &QTimer::timeout, this, &ControlServer::dropIdleClients);
}

ControlServer::~ControlServer() {
    m_listenNotifier.reset();
    while (!m_clients.empty()) {
        dropClient(m_clients.begin()->first);
    }
    ::close(m_listenFd);
    ::unlink(m_socketPath.c_str());
}

void ControlServer::acceptClients() {
    for (;;) {
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            return; // EAGAIN: no more waiting; other errors: try again at the next wake-up
        }
        // Clients that connect and never write must not use up our descriptors, nor keep
        // a newcomer's "1023" out: the longest-connected one makes room.
        // Whatever it has already sent is still served.
        while (m_clients.size() >= static_cast<std::size_t>(kMaxClients)) {
            auto oldest = m_clients.begin();
            for (auto it = m_clients.begin(); it != m_clients.end(); ++it) {
                if (it->second.order < oldest->second.order) {
                    oldest = it;
                }
            }
            const int oldestFd = oldest->first;
            readClient(oldestFd);
            dropClient(oldestFd);
        }
        Client& client = m_clients[fd];
        client.order = ++m_accepted;
        client.lastHeard = std::chrono::steady_clock::now();
        if (!m_sweep->isActive()) {
            m_sweep->start();
        }
        client.notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        connect(client.notifier.get(), &QSocketNotifier::activated, this,
                [this, fd] { readClient(fd); });
    }
}

void ControlServer::readClient(int fd) {
    char buffer[256];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            auto it = m_clients.find(fd);
            if (it == m_clients.end()) {
                return;
            }
            it->second.lastHeard = std::chrono::steady_clock::now();
            it->second.reader.feed(buffer, static_cast<std::size_t>(n),
                                   [this, fd](std::string_view line) { handleLine(fd, line); });
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return;
        }
        dropClient(fd); // end of input or an error
        return;
    }
}

void ControlServer::dropClient(int fd) {
    auto it = m_clients.find(fd);
    if (it == m_clients.end()) {
        return;
    }
    it->second.notifier->setEnabled(false);
    // The notifier may be the one whose signal is running: delete it later.
    it->second.notifier.release()->deleteLater();
    m_clients.erase(it);
    ::close(fd);
    if (m_clients.empty()) {
        m_sweep->stop();
    }
}

void ControlServer::dropIdleClients() {
    const auto now = std::chrono::steady_clock::now();
    std::vector<int> idle;
    for (const auto& [fd, client] : m_clients) {
        if (now - client.lastHeard >= m_idleLimit) {
            idle.push_back(fd);
        }
    }
    for (int fd : idle) {
        readClient(fd); // a line that came in just now still counts
        auto it = m_clients.find(fd);
        if (it != m_clients.end() && now - it->second.lastHeard >= m_idleLimit) {
            dropClient(fd);
        }
    }
}

void ControlServer::handleLine(int client, std::string_view line) {
    if (line == "activate") {
        emit activateRequested();
    } else if (line == "1023") {
        emit saveAndDisconnectRequested();
    } else if (line == "status") {
        emit statusRequested(client);
    }
}

bool ControlServer::reply(int client, std::string_view line) {
    // A client that has gone is dropped at its next read, not here: its line reader may
    // still be running.
    return m_clients.count(client) != 0 && writeAll(client, line);
}

namespace {

int g_signalPipe[2] = {-1, -1};

void onTerminationSignal(int signal) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

SignalCloser::SignalCloser(QObject* parent) : QObject(parent) {
    if (g_signalPipe[0] < 0 && ::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    m_notifier = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] {
        unsigned char byte = 0;
        while (::read(g_signalPipe[0], &byte, 1) == 1) {
            emit signalReceived(byte);
        }
    });
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        ::sigaction(signal, &action, nullptr);
    }
}

SignalCloser::~SignalCloser() {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        ::sigaction(signal, &action, nullptr);
    }
    m_notifier.reset();
}

} // namespace velocimo
