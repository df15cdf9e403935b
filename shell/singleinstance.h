#pragma once

// One running program per user, and the control socket through which a second start (or
// any other program of the user) talks to it: "activate\n" raises the window, "1023\n"
// saves the run state and lets go of the port, "status\n" answers the live record as one
// JSON line. Plain POSIX, no Qt.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace velocimo {

// $XDG_RUNTIME_DIR/velocimo, or /tmp/velocimo-<uid> when the variable is unset or empty.
std::string controlDirectory(const char* runtimeDir, uid_t uid);
std::string controlSocketPath(const std::string& directory);

// Creates the folder with mode 0700 when it is missing. True only when it is then a real
// folder (not a link) owned by uid that nobody else may enter; otherwise error says why.
bool preparePrivateDirectory(const std::string& directory, uid_t uid, std::string& error);

enum class InstanceRole { Primary, Secondary, Failed };

struct InstanceClaim {
    InstanceRole role = InstanceRole::Failed;
    int listenFd = -1; // Primary only: non-blocking, close-on-exec
    std::string error; // Failed only
};

// Asks a running program to come forward ("activate\n"); when none answers, a stale
// socket file is replaced and this process listens. Serialised by a lock file next to the
// socket, so two programs started together cannot both become primary.
InstanceClaim claimInstance(const std::string& socketPath);

// Connects, writes the line (a newline is added when missing) and closes.
bool sendControlLine(const std::string& socketPath, std::string_view line);

// Cuts a client's bytes into command lines. A line longer than kMaxLine cannot be a
// command and is dropped whole; a trailing CR is ignored.
class ControlLineReader {
public:
    static constexpr std::size_t kMaxLine = 64;
    void feed(const char* data, std::size_t size,
              const std::function<void(std::string_view)>& onLine);

private:
    std::string m_line;
    bool m_overlong = false;
};

} // namespace velocimo
