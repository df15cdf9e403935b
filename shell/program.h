#pragma once

// The program's parts wired together: the settings store, the serial link with its
// decoder, the speed alarm, the CSV log and the dashboard state, behind the operations
// the command logic calls. No Qt: the window, the sound output and the dialogs come in
// through the platform interfaces.

#include "alarm/speedalarm.h"
#include "dashboard/canvas.h"
#include "dashboard/dashboard.h"
#include "gpslink/seriallink.h"
#include "logging/gpxfile.h"
#include "logging/logfields.h"
#include "logging/rawlog.h"
#include "nmea/handlers.h"
#include "settings/settings.h"
#include "settings/settingsstore.h"
#include "shell/app.h"
#include "shell/core/liverecord.h"
#include "shell/core/platform.h"
#include "shell/core/portname.h"
#include "trip/sun.h"

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

class Program : public Subsystems, public LinkEvents, private LineTap {
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
    void followSun(const NavState& nav) override;
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

    // Told whenever the night mode is applied (start, tap, the sun): night or day.
    void setNightModeListener(std::function<void(bool night)> listener) {
        m_nightListener = std::move(listener);
    }

    // The whole dashboard from a snapshot of the live record.
    void paint(Canvas& canvas, bool advance);

    // What the Options dialog needs besides the settings.
    void playSound(std::u16string_view path);
    void applyUnits();
    void applyPortName();
    void saveLogFields();
    // After the log settings changed: the raw recording follows them.
    void applyLogOptions();

    const PortNameText& portName() const { return m_portName; }
    const SpeedAlarm& speedAlarm() const { return m_alarm; }
    const DashboardState& dashboard() const { return *m_dashboard; }
    SettingsStore& store() { return m_store; }
    SerialLink& link() { return *m_link; }

private:
    // Reader thread: the raw recording, when on.
    void lineReceived(std::string_view bytes) override;
    // Opens or closes the raw recording for the connection and the log settings.
    void syncRawLog();

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
    SunFollower m_sun;
    std::function<void(bool)> m_nightListener;
    LiveDecoder m_decoder;
    GpxTrack m_track;
    // Written by the reader: declared before m_link, so it outlives the reader.
    RawLog m_rawLog;
    std::unique_ptr<SerialLink> m_link;
};

} // namespace velocimo
