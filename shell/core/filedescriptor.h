#pragma once

// An owning file descriptor and the one loop that writes a buffer out whole.

#include <string_view>
#include <utility>

namespace velocimo {

class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) noexcept : m_fd(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(FileDescriptor&& other) noexcept : m_fd(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const noexcept { return m_fd; }
    bool valid() const noexcept { return m_fd >= 0; }
    explicit operator bool() const noexcept { return valid(); }
    // Gives up ownership without closing.
    int release() noexcept { return std::exchange(m_fd, -1); }
    // Closes what it holds (if anything) and takes fd.
    void reset(int fd = -1) noexcept;

private:
    int m_fd = -1;
};

// Writes every byte, retrying after signals and short writes. False on an error or when
// nothing more can be written. A socket whose peer has gone gives false, never SIGPIPE.
bool writeAll(int fd, std::string_view bytes);

} // namespace velocimo
