#pragma once

// Serves what the simulated receiver sends to any number of TCP clients on the loopback
// address, the way phone apps and NMEA multiplexers share a receiver.

#include "shell/core/filedescriptor.h"

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace velocimo::sim {

class TcpFanout {
public:
    TcpFanout() = default;
    ~TcpFanout();
    TcpFanout(const TcpFanout&) = delete;
    TcpFanout& operator=(const TcpFanout&) = delete;

    // Listens on 127.0.0.1:port (0 picks a free one) and starts copying every byte readable
    // from source to all clients. False if the port cannot be had.
    bool start(uint16_t port, int source);
    uint16_t port() const { return m_port; }
    void stop();

private:
    void run();

    FileDescriptor m_listen;
    int m_source = -1;
    uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    std::vector<FileDescriptor> m_clients;
};

} // namespace velocimo::sim
