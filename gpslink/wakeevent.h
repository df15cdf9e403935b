#pragma once

// What the serial port and the network sources share for their reads: a wake-up that a
// blocked read also polls, so a close from another thread ends the wait at once, and the
// arithmetic of read deadlines.

#include "gpslink/serialdevice.h"
#include "shell/core/filedescriptor.h"

#include <chrono>

namespace velocimo {

class WakeEvent {
public:
    WakeEvent();
    // False when no event could be made; reads then only end by their timeout.
    explicit operator bool() const { return m_fd.valid(); }
    int fd() const { return m_fd.get(); }
    // Any thread.
    void signal();
    // Forgets a signal left from an earlier connection.
    void drain();
    // Waits up to timeoutMs; true if a signal came.
    bool wait(int timeoutMs) const;

private:
    FileDescriptor m_fd;
};

// Milliseconds one read may wait under these timeouts; -1 for no limit.
int readWaitMs(const PortTimeouts& timeouts);

// What is left until deadline in whole milliseconds, never below 0.
int remainingMs(std::chrono::steady_clock::time_point deadline);

} // namespace velocimo
