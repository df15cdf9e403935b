#pragma once

// The whole program on the desktop: every part it is made of, owned in the order they
// need each other, and the Qt wiring between them.

#include "alarm/qtsoundplayer.h"
#include "dashboard/qtcanvas.h"
#include "logging/logfields.h"
#include "settings/regfilestore.h"
#include "settings/settings.h"
#include "shell/app.h"
#include "shell/core/liverecord.h"
#include "shell/mainwindow.h"
#include "shell/program.h"
#include "shell/qtcontrol.h"
#include "shell/qtplatform.h"
#include "trip/timeofday.h"

#include <QObject>

#include <string>

namespace velocimo {

// The control socket's answer to "status": the record's fields, the ticks so far and
// how many paints followed a tick, as one line of JSON.
std::string statusLine(const NavState& nav, long ticks, long tickPaints);

class Desktop : public QObject, private DashboardSource {
    Q_OBJECT
public:
    // Needs the QApplication. Takes over the listening socket of a primary claim.
    Desktop(int listenFd, std::string socketPath);
    ~Desktop() override;

    // Start-up up to the first paint and the automatic connect. False when there is no
    // window; the process then ends.
    bool start();
    // After the event loop.
    void shutdown();

    MainWindow& window() { return m_window; }

signals:
    // Emitted on the reader thread when its watchdog drops the connection.
    void readerDroppedConnection();

private:
    const QImage& render(bool afterTick, double scale) override;
    QColor backdrop() const override;
    void runOptionsDialog();
    void runAboutDialog();
    void runLoggingDialog();
    void runReceiverDialog();
    void answerStatus(int client);

    // Members are made in this order and go in the reverse one: each part only refers to
    // those above it.
    LiveRecord m_record;
    Settings m_settings;
    LogFieldSet m_logFields;
    RegFileStore m_store;
    QtSoundPlayer m_player;
    QtFixSoundRelay m_fixSounds;
    QtMessageBoxService m_messages;
    QtFilePicker m_picker;
    LocalClock m_clock;
    SystemTimeZoneSource m_zone;
    Program m_program;
    App m_app;
    DashboardRenderer m_renderer;
    long m_ticks = 0;
    long m_tickPaints = 0;
    MainWindow m_window;
    ControlServer m_control;
    SignalCloser m_signalCloser;
};

} // namespace velocimo
