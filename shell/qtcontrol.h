#pragma once

// The Qt ends of the control socket and of the termination signals.

#include "shell/singleinstance.h"

#include <QObject>

#include <chrono>

#include <map>
#include <memory>
#include <string>
#include <string_view>

class QSocketNotifier;
class QTimer;

namespace velocimo {

// Accepts clients on a listening socket from claimInstance and reports their lines:
// "activate", "1023" and "status". A client stays connected for further lines, but one
// that sends nothing for idleLimit is dropped.
class ControlServer : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxClients = 8;
    static constexpr std::chrono::milliseconds kIdleLimit{2000};
    // Takes over listenFd and removes socketPath again when destroyed.
    ControlServer(int listenFd, std::string socketPath, QObject* parent = nullptr,
                  std::chrono::milliseconds idleLimit = kIdleLimit);
    ~ControlServer() override;

    // Writes a reply to a client; false when it could not be written whole.
    bool reply(int client, std::string_view line);

signals:
    void activateRequested();
    void saveAndDisconnectRequested();
    // A receiver answers with reply(client, ...) before it returns (a direct connection):
    // later the descriptor may belong to another client.
    void statusRequested(int client);

private:
    struct Client {
        unsigned long order = 0; // when it was accepted, counted
        std::chrono::steady_clock::time_point lastHeard;
        std::unique_ptr<QSocketNotifier> notifier;
        ControlLineReader reader;
    };
    void acceptClients();
    void readClient(int fd);
    void dropClient(int fd);
    void handleLine(int client, std::string_view line);
    void dropIdleClients();

    int m_listenFd;
    std::string m_socketPath;
    std::unique_ptr<QSocketNotifier> m_listenNotifier;
    std::map<int, Client> m_clients;
    unsigned long m_accepted = 0;
    std::chrono::milliseconds m_idleLimit;
    QTimer* m_sweep;
};

// SIGTERM, SIGINT and SIGHUP become signalReceived on the main thread (self-pipe): the
// window then closes as a close request does, saving what a close saves.
class SignalCloser : public QObject {
    Q_OBJECT
public:
    explicit SignalCloser(QObject* parent = nullptr);
    ~SignalCloser() override;
    bool installed() const { return m_notifier != nullptr; }

signals:
    void signalReceived(int signal);

private:
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace velocimo
