#include "shell/desktop.h"

#include "alarm/soundpaths.h"
#include "gpslink/receiverdialog.h"
#include "logging/loggingdialog.h"
#include "settings/aboutdialog.h"
#include "settings/optionsdialog.h"
#include "settings/persistence.h"
#include "shell/core/navstatejson.h"
#include "shell/nightpalette.h"

#include <QCoreApplication>

namespace velocimo {

std::string statusLine(const NavState& nav, long ticks, long tickPaints) {
    std::string line = "{";
    appendNavStateJson(line, nav);
    line += ",\"ticks\":" + std::to_string(ticks);
    line += ",\"tickPaints\":" + std::to_string(tickPaints);
    line += "}\n";
    return line;
}

namespace {

ProgramServices servicesOf(RegFileStore& store, QtSoundPlayer& player, QtFilePicker& picker,
                           LocalClock& clock, QtMessageBoxService& messages,
                           QtFixSoundRelay& fixSounds, SystemTimeZoneSource& zone,
                           Desktop& desktop) {
    return ProgramServices{store,
                           defaultSoundPaths(QCoreApplication::applicationDirPath().toStdString()),
                           player,
                           picker,
                           clock,
                           messages,
                           &fixSounds.sink(),
                           &zone,
                           [&desktop] { emit desktop.readerDroppedConnection(); },
                           nullptr};
}

} // namespace

Desktop::Desktop(int listenFd, std::string socketPath)
    : m_fixSounds(m_player, m_settings),
      m_program(
          m_record, m_settings, m_logFields,
          servicesOf(m_store, m_player, m_picker, m_clock, m_messages, m_fixSounds, m_zone, *this)),
      m_app(m_record, m_settings, m_logFields, m_program, m_messages), m_window(m_app, *this),
      m_control(listenFd, std::move(socketPath)) {
    m_window.setWindowIcon(programIcon());
    m_messages.setParentWindow(&m_window);
    m_picker.setParentWindow(&m_window);
    m_program.setNightModeListener([](bool night) { applyNightPalette(night); });

    // The reader thread cannot stop the window's timer itself (the next tick would).
    connect(this, &Desktop::readerDroppedConnection, &m_window, &MainWindow::stopTick,
            Qt::QueuedConnection);
    connect(&m_window, &MainWindow::ticked, this, [this] { ++m_ticks; });
    connect(&m_window, &MainWindow::optionsDialogRequested, this, &Desktop::runOptionsDialog);
    connect(&m_window, &MainWindow::aboutDialogRequested, this, &Desktop::runAboutDialog);
    connect(&m_window, &MainWindow::loggingDialogRequested, this, &Desktop::runLoggingDialog);
    connect(&m_window, &MainWindow::receiverDialogRequested, this, &Desktop::runReceiverDialog);
    connect(&m_control, &ControlServer::activateRequested, &m_window, &MainWindow::bringToFront);
    connect(&m_control, &ControlServer::saveAndDisconnectRequested, this,
            [this] { m_app.command(command::kSaveAndDisconnect); });
    connect(&m_control, &ControlServer::statusRequested, this, &Desktop::answerStatus);
    connect(&m_signalCloser, &SignalCloser::signalReceived, &m_window, &QWidget::close);
}

Desktop::~Desktop() = default;

bool Desktop::start() {
    return m_app.start(m_window);
}

void Desktop::shutdown() {
    m_app.shutdown();
}

const QImage& Desktop::render(bool afterTick, double scale) {
    m_renderer.setScale(scale);
    QtCanvas canvas(m_renderer.backBuffer(), &m_renderer.textCache(), &m_renderer.strokes());
    m_program.paint(canvas, afterTick);
    if (afterTick) {
        ++m_tickPaints;
    }
    return m_renderer.backBuffer();
}

QColor Desktop::backdrop() const {
    const Colour c = m_program.dashboard().theme.backdrop;
    return QColor(c.red, c.green, c.blue);
}

void Desktop::runOptionsDialog() {
    OptionsDialog dialog(m_settings, m_picker, &m_window);
    connect(&dialog, &OptionsDialog::soundPlayRequested, this,
            [this](const std::u16string& path) { m_program.playSound(path); });
    connect(&dialog, &OptionsDialog::unitsChanged, this, [this] { m_program.applyUnits(); });
    connect(&dialog, &OptionsDialog::portChanged, this, [this] { m_program.applyPortName(); });
    connect(&dialog, &OptionsDialog::saveRequested, this, [this] { m_program.saveOptions(); });
    dialog.exec();
}

void Desktop::runAboutDialog() {
    AboutDialog dialog(programIcon(), &m_window);
    dialog.exec();
}

void Desktop::runLoggingDialog() {
    LoggingDialog dialog(m_logFields, m_settings, &m_window);
    connect(&dialog, &LoggingDialog::saveRequested, this, [this] {
        m_program.saveLogFields();
        m_program.saveOptions();
        m_program.applyLogOptions();
    });
    dialog.exec();
}

void Desktop::runReceiverDialog() {
    PortNameText portName;
    buildPortName(portName, m_settings.comPort);
    const ReceiverChoice current{portDevicePath(m_store, portName.view()), m_settings.baudRate,
                                 m_settings.anyTalker, m_settings.verifyChecksum};
    ReceiverDialog dialog(QString::fromStdU16String(std::u16string(portName.view())), current,
                          ProbeEnvironment{}, &m_window);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    const ReceiverChoice chosen = dialog.choice();
    if (auto ports = m_store.openKey(kPortsKeyPath)) {
        ports->writeText(portName.view(), fromUtf8(chosen.source));
        ports->close();
    }
    m_settings.baudRate = chosen.baudRate;
    m_settings.anyTalker = chosen.anyTalker;
    m_settings.verifyChecksum = chosen.verifyChecksum;
    m_program.saveOptions();
}

void Desktop::answerStatus(int client) {
    m_control.reply(client, statusLine(m_record.snapshot(), m_ticks, m_tickPaints));
}

} // namespace velocimo
