#include "shell/singleinstance.h"

#include "shell/core/filedescriptor.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace velocimo {

namespace {

std::string errnoText(const char* what, const std::string& path) {
    return std::string(what) + " " + path + ": " + std::strerror(errno);
}

bool fillAddress(const std::string& path, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        return false;
    }
    std::memcpy(address.sun_path, path.data(), path.size());
    return true;
}

// Not valid when nobody listens there (or the path cannot be a socket address).
FileDescriptor connectTo(const std::string& path) {
    sockaddr_un address;
    if (!fillAddress(path, address)) {
        return {};
    }
    FileDescriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (fd &&
        ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        fd.reset();
    }
    return fd;
}

// Held from construction until destruction: closing the file releases the lock.
class FileLock {
public:
    explicit FileLock(const std::string& path)
        : m_fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600)) {
        if (m_fd) {
            while (::flock(m_fd.get(), LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    bool held() const { return m_fd.valid(); }

private:
    FileDescriptor m_fd;
};

} // namespace

std::string controlDirectory(const char* runtimeDir, uid_t uid) {
    if (runtimeDir && *runtimeDir) {
        return std::string(runtimeDir) + "/velocimo";
    }
    return "/tmp/velocimo-" + std::to_string(uid);
}

std::string controlSocketPath(const std::string& directory) {
    return directory + "/control";
}

bool preparePrivateDirectory(const std::string& directory, uid_t uid, std::string& error) {
    if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) {
        error = errnoText("cannot create", directory);
        return false;
    }
    struct stat info;
    if (::lstat(directory.c_str(), &info) != 0) {
        error = errnoText("cannot examine", directory);
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        error = directory + " is not a folder";
        return false;
    }
    if (info.st_uid != uid) {
        error = directory + " belongs to another user";
        return false;
    }
    if ((info.st_mode & 077) != 0) {
        error = directory + " is open to other users (mode must be 0700)";
        return false;
    }
    return true;
}

InstanceClaim claimInstance(const std::string& socketPath) {
    InstanceClaim claim;
    sockaddr_un address;
    if (!fillAddress(socketPath, address)) {
        claim.error = "socket path too long: " + socketPath;
        return claim;
    }
    FileLock lock(socketPath + ".lock");
    if (!lock.held()) {
        claim.error = errnoText("cannot lock", socketPath + ".lock");
        return claim;
    }

    if (const FileDescriptor peer = connectTo(socketPath)) {
        writeAll(peer.get(), "activate\n");
        claim.role = InstanceRole::Secondary;
        return claim;
    }

    // Nobody answers: whatever socket file is there was left by a run that died.
    struct stat info;
    if (::lstat(socketPath.c_str(), &info) == 0) {
        if (!S_ISSOCK(info.st_mode)) {
            claim.error = socketPath + " exists and is not a socket";
            return claim;
        }
        if (::unlink(socketPath.c_str()) != 0) {
            claim.error = errnoText("cannot remove stale", socketPath);
            return claim;
        }
    }

    FileDescriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd) {
        claim.error = errnoText("cannot make a socket for", socketPath);
        return claim;
    }
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd.get(), 8) != 0) {
        claim.error = errnoText("cannot listen on", socketPath);
        return claim;
    }
    ::chmod(socketPath.c_str(), 0600);
    claim.role = InstanceRole::Primary;
    // The control server takes it over.
    claim.listenFd = fd.release();
    return claim;
}

bool sendControlLine(const std::string& socketPath, std::string_view line) {
    const FileDescriptor fd = connectTo(socketPath);
    if (!fd) {
        return false;
    }
    bool ok = writeAll(fd.get(), line);
    if (ok && (line.empty() || line.back() != '\n')) {
        ok = writeAll(fd.get(), "\n");
    }
    return ok;
}

void ControlLineReader::feed(const char* data, std::size_t size,
                             const std::function<void(std::string_view)>& onLine) {
    for (std::size_t i = 0; i < size; ++i) {
        const char c = data[i];
        if (c == '\n') {
            if (!m_overlong) {
                std::string_view line(m_line);
                if (!line.empty() && line.back() == '\r') {
                    line.remove_suffix(1);
                }
                onLine(line);
            }
            m_line.clear();
            m_overlong = false;
        } else if (!m_overlong) {
            if (m_line.size() >= kMaxLine) {
                m_overlong = true;
                m_line.clear();
            } else {
                m_line.push_back(c);
            }
        }
    }
}

} // namespace velocimo
