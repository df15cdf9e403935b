#pragma once

// Runs velocimo-sim as a child process and reads what it writes on its pseudo-terminal.

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace velocimo::test {

class SimProcess {
public:
    explicit SimProcess(std::vector<std::string> args) {
        int out[2];
        if (pipe(out) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::vector<char*> argv;
        args.insert(args.begin(), VELOCIMO_SIM_PATH);
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, VELOCIMO_SIM_PATH, &actions, nullptr, argv.data(), environ) != 0) {
            m_pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        m_out = out[0];
    }
    ~SimProcess() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        if (m_out >= 0) {
            close(m_out);
        }
    }

    // The first line of standard output (the slave path), or empty after the timeout.
    std::string firstLine(std::chrono::milliseconds timeout = std::chrono::milliseconds(3000)) {
        std::string line;
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < end) {
            pollfd p{m_out, POLLIN, 0};
            if (poll(&p, 1, 50) > 0) {
                char c = 0;
                if (read(m_out, &c, 1) != 1) {
                    break;
                }
                if (c == '\n') {
                    return line;
                }
                line += c;
            }
        }
        return {};
    }
    // Everything else on standard output until it closes (the process ends).
    std::string restOfOutput() {
        std::string s;
        char buf[4096];
        ssize_t n = 0;
        while ((n = read(m_out, buf, sizeof buf)) > 0) {
            s.append(buf, static_cast<std::size_t>(n));
        }
        return s;
    }

    void signal(int sig) const {
        if (m_pid > 0) {
            kill(m_pid, sig);
        }
    }
    // The exit status, or -1 if the process has not ended within the timeout (or was killed
    // by a signal).
    int wait(std::chrono::milliseconds timeout) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (m_pid > 0) {
            int status = 0;
            const pid_t r = waitpid(m_pid, &status, WNOHANG);
            if (r == m_pid) {
                m_pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            if (std::chrono::steady_clock::now() > end) {
                return -1;
            }
            usleep(10000);
        }
        return -1;
    }
    bool started() const { return m_pid > 0; }

private:
    pid_t m_pid = -1;
    int m_out = -1;
};

} // namespace velocimo::test
