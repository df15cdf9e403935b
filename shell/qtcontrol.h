#pragma once

// The Qt ends of the control socket and of the termination signals.

#include "shell/singleinstance.h"

#include <QObject>

#include <functional>
#include <map>
#include <memory>

class QSocketNotifier;

namespace velocimo {

// Accepts clients on a listening socket from claimInstance and reports their lines.
class ControlServer : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxClients = 8;
    // Takes over listenFd and removes socketPath again when destroyed.
    ControlServer(int listenFd, std::string socketPath, QObject* parent = nullptr);
    ~ControlServer() override;

    std::function<void()> onActivate;
    std::function<void()> onSaveAndDisconnect;

private:
    struct Client {
        std::unique_ptr<QSocketNotifier> notifier;
        ControlLineReader reader;
    };
    void acceptClients();
    void readClient(int fd);
    void dropClient(int fd);
    void handleLine(std::string_view line);

    int m_listenFd;
    std::string m_socketPath;
    std::unique_ptr<QSocketNotifier> m_listenNotifier;
    std::map<int, Client> m_clients;
};

// SIGTERM, SIGINT and SIGHUP become a call of onSignal on the main thread (self-pipe):
// the window then closes as a close request does, saving what a close saves.
class SignalCloser : public QObject {
    Q_OBJECT
public:
    explicit SignalCloser(QObject* parent = nullptr);
    ~SignalCloser() override;
    bool installed() const { return m_notifier != nullptr; }
    std::function<void(int signal)> onSignal;

private:
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace velocimo
