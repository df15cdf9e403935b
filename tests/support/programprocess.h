#pragma once

// The real velocimo program (and its helpers) as child processes: start with a chosen
// environment, wait, ask the control socket for the status line.

#include <chrono>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace velocimo::test {

template <typename F> bool waitUntil(F condition, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return condition();
}

// Standard output goes to /dev/null, standard error to errFile.
inline pid_t spawnProcess(const std::vector<std::string>& args,
                          const std::map<std::string, std::string>& env,
                          const std::string& errFile) {
    std::vector<std::string> envText;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (!env.count(entry.substr(0, entry.find('=')))) {
            envText.push_back(entry);
        }
    }
    for (const auto& [k, v] : env) {
        envText.push_back(k + "=" + v);
    }
    std::vector<char*> argv;
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& e : envText) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                     0600);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Asks for the status line and picks out the named top-level members; empty when no whole
// line comes back.
inline std::map<std::string, std::string> queryStatusFields(const std::string& socketPath,
                                                            const std::vector<std::string>& names) {
    std::map<std::string, std::string> values;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    socketPath.copy(address.sun_path, sizeof address.sun_path - 1);
    std::string line;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::send(fd, "status\n", 7, MSG_NOSIGNAL) == 7) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < end) {
            pollfd wait{fd, POLLIN, 0};
            if (::poll(&wait, 1, 100) <= 0) {
                continue;
            }
            char buffer[4096];
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                break;
            }
            line.append(buffer, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    if (line.empty() || line.back() != '\n') {
        return values; // no answer, or half of one
    }
    for (const std::string& name : names) {
        const std::string key = "\"" + name + "\":";
        const std::size_t at = line.find(key);
        if (at != std::string::npos) {
            const std::size_t from = at + key.size();
            values[name] = line.substr(from, line.find_first_of(",}", from) - from);
        }
    }
    return values;
}

} // namespace velocimo::test
