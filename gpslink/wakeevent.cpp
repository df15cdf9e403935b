#include "gpslink/wakeevent.h"

#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace velocimo {

WakeEvent::WakeEvent() : m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

void WakeEvent::signal() {
    if (m_fd) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_fd.get(), &one, sizeof one);
    }
}

void WakeEvent::drain() {
    if (m_fd) {
        uint64_t value = 0;
        [[maybe_unused]] const ssize_t n = ::read(m_fd.get(), &value, sizeof value);
    }
}

bool WakeEvent::wait(int timeoutMs) const {
    pollfd p{m_fd.get(), POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const int r = ::poll(&p, 1, remainingMs(deadline));
        if (r > 0) {
            return true;
        }
        if (r == 0 || errno != EINTR) {
            return false;
        }
    }
}

int readWaitMs(const PortTimeouts& timeouts) {
    const uint64_t total = uint64_t{timeouts.readTotalMultiplier} + timeouts.readTotalConstant;
    if (total == 0) {
        return -1;
    }
    return total > 3600000 ? 3600000 : static_cast<int>(total);
}

int remainingMs(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    return left > 0 ? static_cast<int>(left) : 0;
}

} // namespace velocimo
