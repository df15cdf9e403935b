#pragma once

// The program's parts wired together: the settings store, the serial link with its
// decoder, the speed alarm, the CSV log and the dashboard state, behind the operations
// the command logic calls. No Qt: the window, the sound output and the dialogs come in
// through the platform interfaces.

#include "alarm/speedalarm.h"
#include "dashboard/canvas.h"
#include "dashboard/dashboard.h"
#include "gpslink/seriallink.h"
#include "logging/logfields.h"
#include "nmea/handlers.h"
#include "settings/settings.h"
#include "settings/settingsstore.h"
#include "shell/app.h"
#include "shell/core/liverecord.h"
#include "shell/core/platform.h"
#include "shell/core/portname.h"

#include <functional>
#include <memory>

namespace velocimo {

struct ProgramServices {
    SettingsStore& store;
    SoundDefaults soundDefaults;
    SoundPlayer& player;
    FilePicker& picker;
    Clock& clock;
    MessageBoxService& messages;
    FixSoundSink* fixSounds = nullptr;
    TimeZoneSource* zone = nullptr;
    // Called on the reader thread after the data watchdog has dropped the connection; must
    // not block (the GUI queues the timer stop to the main thread).
    std::function<void()> stopTimerFromReader;
    // Tests hand in a scripted device; null opens real serial ports.
    std::unique_ptr<SerialDevice> device;
};

class Program : public Subsystems, public LinkEvents {
public:
    Program(LiveRecord& record, Settings& settings, LogFieldSet& logFields,
            ProgramServices services);
    ~Program() override;

    void resetStartValues() override;
    void loadRunState() override;
    void loadOptions() override;
    void loadLogFields() override;
    void saveRunState() override;
    void saveOptions() override;
    void applyNightMode() override;
    void handleTap(int32_t x, int32_t y) override;
    bool openGps() override;
    bool closeGps() override;
    void checkSpeedLimit(const NavState& nav) override;
    void appendLogRecord(const NavState& nav) override;
    void ensureLogFile() override;
    void toggleLogging() override;
    void chooseLogFile() override;

    // Reader thread: stops the timer and posts the data-flow box.
    void dataFlowInterrupted() override;
    // Reader thread: stops the timer and posts the no-data box.
    void baudSearchFailed() override;
    std::u16string linkStatusText() const override;

    // The whole dashboard from a snapshot of the live record.
    void paint(Canvas& canvas, bool advance);

    // What the Options dialog needs besides the settings.
    void playSound(std::u16string_view path);
    void applyUnits();
    void applyPortName();
    void saveLogFields();

    const PortNameText& portName() const { return m_portName; }
    const SpeedAlarm& speedAlarm() const { return m_alarm; }
    const DashboardState& dashboard() const { return *m_dashboard; }
    SettingsStore& store() { return m_store; }
    SerialLink& link() { return *m_link; }

private:
    // Boxes for whatever the settings store ran into since the last call.
    void tellStoreNotices();

    LiveRecord& m_record;
    Settings& m_settings;
    LogFieldSet& m_logFields;
    SettingsStore& m_store;
    SoundDefaults m_soundDefaults;
    SoundPlayer& m_player;
    FilePicker& m_picker;
    Clock& m_clock;
    MessageBoxService& m_messages;
    // Outlives m_link, whose reader may still call it while the link is destroyed.
    std::function<void()> m_stopTimerFromReader;

    PortNameText m_portName;
    SpeedAlarm m_alarm;
    // Large (three sample histories): kept off the stack.
    std::unique_ptr<DashboardState> m_dashboard;
    LiveDecoder m_decoder;
    std::unique_ptr<SerialLink> m_link;
};

} // namespace velocimo
