#include "shell/core/filedescriptor.h"

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

namespace velocimo {

void FileDescriptor::reset(int fd) noexcept {
    const int old = std::exchange(m_fd, fd);
    if (old >= 0) {
        // Linux frees the descriptor even when close reports EINTR: never retry.
        ::close(old);
    }
}

bool writeAll(int fd, std::string_view bytes) {
    bool socket = true;
    while (!bytes.empty()) {
        ssize_t n = -1;
        if (socket) {
            n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n < 0 && errno == ENOTSOCK) {
                socket = false;
                continue;
            }
        } else {
            n = ::write(fd, bytes.data(), bytes.size());
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

} // namespace velocimo
