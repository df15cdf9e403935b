// velocimo: the GPS speed monitor.

#include "alarm/qtsoundplayer.h"
#include "alarm/soundpaths.h"
#include "dashboard/qtcanvas.h"
#include "logging/loggingdialog.h"
#include "settings/aboutdialog.h"
#include "settings/optionsdialog.h"
#include "settings/regfilestore.h"
#include "shell/app.h"
#include "shell/mainwindow.h"
#include "shell/program.h"
#include "shell/qtcontrol.h"
#include "shell/qtplatform.h"
#include "shell/singleinstance.h"
#include "trip/timeofday.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

using namespace velocimo;

namespace {

// VELOCIMO_STATUS_FILE names a file that each tick replaces with a few lines about the
// connection, so scripts and tests can watch a running program without a display.
class StatusFile {
public:
    explicit StatusFile(const char* path) : m_path(path ? path : "") {}
    bool enabled() const { return !m_path.empty(); }
    void write(const NavState& nav, long ticks, long tickPaints) const {
        const std::string temp = m_path + ".tmp";
        std::FILE* out = std::fopen(temp.c_str(), "w");
        if (!out) {
            return;
        }
        const std::string text = "connected " + std::to_string(nav.gpsConnected ? 1 : 0) +
                                 "\nfixValid " + std::to_string(nav.fixValid ? 1 : 0) + "\nticks " +
                                 std::to_string(ticks) + "\ntickPaints " +
                                 std::to_string(tickPaints) + "\nspeed " + nav.speedText.toUtf8() +
                                 "\ntotalDistance " + nav.totalDistanceText.toUtf8() + "\n";
        std::fputs(text.c_str(), out);
        if (std::fclose(out) == 0) {
            std::rename(temp.c_str(), m_path.c_str());
        }
    }

private:
    std::string m_path;
};

} // namespace

int main(int argc, char** argv) {
    // One program per user: a second start hands over to the first and ends here, before
    // any window or port is touched.
    const std::string directory = controlDirectory(std::getenv("XDG_RUNTIME_DIR"), ::getuid());
    std::string error;
    if (!preparePrivateDirectory(directory, ::getuid(), error)) {
        std::fprintf(stderr, "velocimo: %s\n", error.c_str());
        return 1;
    }
    const std::string socketPath = controlSocketPath(directory);
    InstanceClaim claim = claimInstance(socketPath);
    if (claim.role == InstanceRole::Secondary) {
        return 0;
    }
    if (claim.role == InstanceRole::Failed) {
        std::fprintf(stderr, "velocimo: %s\n", claim.error.c_str());
        return 1;
    }

    QApplication application(argc, argv);
    application.setApplicationName(QStringLiteral("Velocimo"));
    application.setQuitOnLastWindowClosed(false);
    ControlServer control(claim.listenFd, socketPath);
    SignalCloser signalCloser;

    LiveRecord record;
    Settings settings;
    LogFieldSet logFields;
    RegFileStore store;
    QtSoundPlayer player;
    QtFixSoundRelay fixSounds(player, settings);
    QtMessageBoxService messages;
    QtFilePicker picker;
    LocalClock clock;
    SystemTimeZoneSource zone;

    // The reader thread reports a dropped connection through this; the window's timer is
    // stopped on the main thread (the next tick would stop it too).
    QObject tickGuard;
    std::function<void()> stopTick;
    ProgramServices services{store,
                             defaultSoundPaths(application.applicationDirPath().toStdString()),
                             player,
                             picker,
                             clock,
                             messages,
                             &fixSounds.sink(),
                             &zone,
                             [&tickGuard, &stopTick] {
                                 QMetaObject::invokeMethod(
                                     &tickGuard,
                                     [&stopTick] {
                                         if (stopTick) {
                                             stopTick();
                                         }
                                     },
                                     Qt::QueuedConnection);
                             },
                             nullptr};
    Program program(record, settings, logFields, std::move(services));
    App app(record, settings, logFields, program, messages);

    DashboardRenderer renderer;
    long ticks = 0;
    long tickPaints = 0;
    WindowDialogs dialogs;
    dialogs.options = [&](QWidget* parent) {
        OptionsActions actions;
        actions.play = [&](std::u16string_view path) { program.playSound(path); };
        actions.unitsChanged = [&] { program.applyUnits(); };
        actions.portChanged = [&] { program.applyPortName(); };
        actions.save = [&] { program.saveOptions(); };
        OptionsDialog dialog(settings, picker, std::move(actions), parent);
        dialog.exec();
    };
    dialogs.about = [](QWidget* parent) {
        AboutDialog dialog(programIcon(), parent);
        dialog.exec();
    };
    dialogs.logging = [&](QWidget* parent) {
        LoggingDialog dialog(
            logFields, [&] { program.saveLogFields(); }, parent);
        dialog.exec();
    };
    MainWindow window(
        app,
        [&](bool afterTick) -> const QImage& {
            QtCanvas canvas(renderer.backBuffer());
            program.paint(canvas, afterTick);
            if (afterTick) {
                ++tickPaints;
            }
            return renderer.backBuffer();
        },
        std::move(dialogs));
    window.setWindowIcon(programIcon());
    messages.setParentWindow(&window);
    picker.setParentWindow(&window);
    stopTick = [&window] { window.stopTick(); };

    const StatusFile status(std::getenv("VELOCIMO_STATUS_FILE"));
    window.afterTick = [&] {
        ++ticks;
        if (status.enabled()) {
            status.write(record.snapshot(), ticks, tickPaints);
        }
    };
    control.onActivate = [&window] { window.bringToFront(); };
    control.onSaveAndDisconnect = [&app, &status, &record, &ticks, &tickPaints] {
        app.command(command::kSaveAndDisconnect);
        if (status.enabled()) {
            status.write(record.snapshot(), ticks, tickPaints);
        }
    };
    signalCloser.onSignal = [&window](int) { window.close(); };

    if (!app.start(window)) {
        return 0;
    }
    const int code = application.exec();
    app.shutdown();
    return code;
}
