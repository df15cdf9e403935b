#include "tcpfanout.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace velocimo::sim {

TcpFanout::~TcpFanout() {
    stop();
}

bool TcpFanout::start(uint16_t port, int source) {
    FileDescriptor fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd) {
        return false;
    }
    const int on = 1;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(fd.get(), 8) != 0 ||
        ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        return false;
    }
    m_port = ntohs(address.sin_port);
    m_listen = std::move(fd);
    m_source = source;
    m_thread = std::thread([this] { run(); });
    return true;
}

void TcpFanout::stop() {
    m_stop.store(true);
    if (m_thread.joinable()) {
        m_thread.join();
    }
    m_clients.clear();
    m_listen.reset();
}

void TcpFanout::run() {
    char buffer[4096];
    while (!m_stop.load()) {
        pollfd fds[2] = {{m_listen.get(), POLLIN, 0}, {m_source, POLLIN, 0}};
        if (::poll(fds, 2, 100) <= 0) {
            continue;
        }
        if (fds[0].revents & POLLIN) {
            FileDescriptor client(::accept4(m_listen.get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (client) {
                m_clients.push_back(std::move(client));
            }
        }
        if (fds[1].revents & POLLIN) {
            const ssize_t n = ::read(m_source, buffer, sizeof buffer);
            if (n <= 0) {
                continue;
            }
            // A client that cannot keep up loses bytes; one that has gone is dropped.
            std::erase_if(m_clients, [&](const FileDescriptor& c) {
                const ssize_t sent = ::send(c.get(), buffer, static_cast<std::size_t>(n),
                                            MSG_NOSIGNAL | MSG_DONTWAIT);
                return sent < 0 && errno != EAGAIN && errno != EINTR;
            });
        } else if (fds[1].revents & (POLLHUP | POLLERR)) {
            ::usleep(100000);
        }
    }
}

} // namespace velocimo::sim
