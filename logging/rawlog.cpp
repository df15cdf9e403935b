#include "logging/rawlog.h"

#include "logging/logfile.h"

#include <fcntl.h>

namespace velocimo {

bool RawLog::open(std::u16string_view path) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_fd && m_path == path) {
            return true;
        }
    }
    // Opened before the lock is taken: the reader never waits for the file system.
    char name[kLogFileNameCapacity];
    FileDescriptor fd;
    if (logFileName(path, name)) {
        fd.reset(::open(name, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY, 0666));
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_fd = std::move(fd);
    m_path.assign(m_fd ? path : std::u16string_view());
    return m_fd.valid();
}

void RawLog::close() {
    FileDescriptor old;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        old = std::move(m_fd);
        m_path.clear();
    }
}

bool RawLog::isOpen() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_fd.valid();
}

void RawLog::write(std::string_view bytes) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_fd) {
        // A line that cannot be written (disk full) is lost; the next one tries again.
        (void)writeAll(m_fd.get(), bytes);
    }
}

} // namespace velocimo
