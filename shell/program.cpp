#include "shell/program.h"

#include "dashboard/theme.h"
#include "logging/gpxfile.h"
#include "logging/logfile.h"
#include "logging/logflows.h"
#include "settings/persistence.h"
#include "shell/linkmessages.h"
#include "shell/storemessages.h"
#include "trip/readouts.h"

#include <optional>
#include <string>

namespace velocimo {

Program::Program(LiveRecord& record, Settings& settings, LogFieldSet& logFields,
                 ProgramServices services)
    : m_record(record), m_settings(settings), m_logFields(logFields), m_store(services.store),
      m_soundDefaults(services.soundDefaults), m_player(services.player), m_picker(services.picker),
      m_clock(services.clock), m_messages(services.messages),
      m_stopTimerFromReader(std::move(services.stopTimerFromReader)),
      m_dashboard(std::make_unique<DashboardState>()),
      m_decoder(record, services.fixSounds, services.zone) {
    SerialLink::PortResolver resolve = [this](std::u16string_view name) {
        return portDevicePath(m_store, name);
    };
    m_link = std::make_unique<SerialLink>(m_record, m_decoder, services.fixSounds, this,
                                          std::move(resolve), std::move(services.device));
    m_link->setLineTap(this);
}

Program::~Program() = default;

void Program::resetStartValues() {
    m_alarm = SpeedAlarm{};
    *m_dashboard = DashboardState{};
    m_sun = SunFollower{};
    m_portName.clear();
}

void Program::loadRunState() {
    m_record.update([this](NavState& nav) { velocimo::loadRunState(m_store, m_settings, nav); });
    tellStoreNotices();
}

void Program::loadOptions() {
    m_record.update([this](NavState& nav) {
        if (velocimo::loadOptions(m_store, m_settings, m_soundDefaults)) {
            buildPortName(m_portName, m_settings.comPort);
            updateUnitLabels(nav, m_settings.units);
        }
    });
    tellStoreNotices();
}

void Program::loadLogFields() {
    velocimo::loadLogFields(m_store, m_logFields);
    tellStoreNotices();
}

void Program::saveLogFields() {
    velocimo::saveLogFields(m_store, m_logFields);
    tellStoreNotices();
}

void Program::saveRunState() {
    // The store writes a file: not while the reader waits for the lock.
    const NavState nav = m_record.snapshot();
    velocimo::saveRunState(m_store, m_settings, nav);
    tellStoreNotices();
}

void Program::saveOptions() {
    velocimo::saveOptions(m_store, m_settings);
    tellStoreNotices();
}

void Program::tellStoreNotices() {
    // Posted, not shown: a load at start-up comes before the window and must not wait.
    for (const StoreNotice& notice : m_store.takeNotices()) {
        m_messages.post(storeMessage(notice));
    }
}

void Program::applyNightMode() {
    velocimo::applyNightMode(*m_dashboard, m_settings);
    if (m_nightListener) {
        m_nightListener(isNight(m_settings.nightMode));
    }
}

void Program::followSun(const NavState& nav) {
    const std::optional<bool> night =
        m_sun.look({m_settings.autoNight, nav.fixValid, nav.latitude.decimalDegrees,
                    nav.longitude.decimalDegrees, gpsUtcSeconds(nav.utcDate, nav.utcTime)});
    if (night && *night != isNight(m_settings.nightMode)) {
        m_settings.nightMode = *night ? 1 : 0;
        applyNightMode();
    }
}

void Program::handleTap(int32_t x, int32_t y) {
    if (velocimo::handleTap(x, y, m_settings)) {
        applyNightMode();
    }
}

bool Program::openGps() {
    m_link->setReceiverOptions(
        {{m_settings.anyTalker, m_settings.verifyChecksum}, m_settings.baudRate});
    const OpenResult result = m_link->openGps(m_portName, m_settings.sirfSetup);
    tellStoreNotices();
    syncRawLog();
    for (const MessageRequest& box : openMessages(result)) {
        m_messages.show(box);
    }
    return result == OpenResult::Opened;
}

bool Program::closeGps() {
    const bool closed = m_link->closeGps();
    syncRawLog();
    return closed;
}

void Program::applyLogOptions() {
    syncRawLog();
}

void Program::syncRawLog() {
    if (m_settings.rawLog && m_settings.loggingOn && !m_settings.logFilePath.empty() &&
        m_link->portOpen()) {
        SiblingPathText path;
        siblingLogPath(m_settings.logFilePath.view(), u".nmea", path);
        m_rawLog.open(path.view());
    } else {
        m_rawLog.close();
    }
}

void Program::lineReceived(std::string_view bytes) {
    m_rawLog.write(bytes);
}

void Program::dataFlowInterrupted() {
    if (m_stopTimerFromReader) {
        m_stopTimerFromReader();
    }
    m_messages.post(dataFlowMessage());
}

void Program::baudSearchFailed() {
    if (m_stopTimerFromReader) {
        m_stopTimerFromReader();
    }
    m_messages.post(baudSearchFailedMessage());
}

std::u16string Program::linkStatusText() const {
    const int32_t rate = m_link->searchingBaudRate();
    if (rate == 0) {
        return {};
    }
    const std::string number = std::to_string(rate);
    return u"Searching at " + std::u16string(number.begin(), number.end()) + u" baud";
}

void Program::checkSpeedLimit(const NavState& nav) {
    velocimo::checkSpeedLimit(m_alarm, m_settings, nav.speed, m_player);
}

void Program::appendLogRecord(const NavState& nav) {
    velocimo::appendLogRecord(m_settings, m_logFields, nav);
    if (m_settings.trackLog) {
        appendGpxPoint(m_settings, m_track, nav);
    }
}

void Program::ensureLogFile() {
    velocimo::ensureLogFile(m_settings, m_picker, m_clock, m_messages);
    syncRawLog();
}

void Program::toggleLogging() {
    velocimo::toggleLogging(m_settings, m_picker, m_clock, m_messages);
    syncRawLog();
}

void Program::chooseLogFile() {
    velocimo::chooseLogFile(m_settings, m_picker, m_clock);
    syncRawLog();
}

void Program::paint(Canvas& canvas, bool advance) {
    NavState nav = m_record.snapshot();
    paintDashboard(canvas, nav, m_settings, *m_dashboard, advance);
}

void Program::playSound(std::u16string_view path) {
    playAlarmSound(m_player, path);
}

void Program::applyUnits() {
    const int32_t units = m_settings.units;
    m_record.update([units](NavState& nav) { updateUnitLabels(nav, units); });
    m_record.setDecodeOptions({m_settings.units, m_settings.elevationOffset});
}

void Program::applyPortName() {
    buildPortName(m_portName, m_settings.comPort);
}

} // namespace velocimo
