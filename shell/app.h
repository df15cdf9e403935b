#pragma once

// The program's command logic: start-up order, every menu command by its id, the
// one-second tick and shut-down. No Qt here: the window and the subsystems are reached
// through the two interfaces below, so the whole flow runs under test with fakes.

#include "logging/logfields.h"
#include "settings/settings.h"
#include "shell/core/liverecord.h"
#include "shell/core/platform.h"
#include "shell/tick.h"

#include <cstdint>
#include <string>

namespace velocimo {

// Command and message ids, as the menus and outside programs know them.
namespace command {
inline constexpr int kQuit = 1; // Ctrl+Q
inline constexpr int kFileMenu = 40001;
inline constexpr int kGpsMenu = 40004;
inline constexpr int kGpsOpen = 40007;
inline constexpr int kGpsClose = 40008;
inline constexpr int kExit = 40009;
inline constexpr int kOptions = 40010;
inline constexpr int kAbout = 40011;
inline constexpr int kResetMenu = 40013;
inline constexpr int kResetTrip = 40016;
inline constexpr int kResetTotal = 40017;
inline constexpr int kResetTop = 40020;
inline constexpr int kLogMenu = 40022;
inline constexpr int kLogSetup = 40025;
inline constexpr int kLogOn = 40026;
inline constexpr int kLogNew = 40027;
inline constexpr int kViewMenu = 40030;
inline constexpr int kViewMirror = 40031;
inline constexpr int kViewAutoNight = 40032;
// Sent by other programs: save the run state and let go of the port.
inline constexpr int kSaveAndDisconnect = 1023;
} // namespace command

// The subsystems the shell drives, in the words of their own operations.
class Subsystems : public TickSteps {
public:
    virtual ~Subsystems() = default;
    // Start values of the state other subsystems own (alarm, layout); settings and log
    // fields are reset by the caller.
    virtual void resetStartValues() = 0;
    virtual void loadRunState() = 0;
    virtual void loadOptions() = 0;
    virtual void loadLogFields() = 0;
    virtual void saveRunState() = 0;
    virtual void saveOptions() = 0;
    virtual void applyNightMode() = 0;
    virtual void handleTap(int32_t x, int32_t y) = 0;
    // Each tick while connected: the night scheme may follow the sun.
    virtual void followSun(const NavState&) {}
    virtual bool openGps() = 0;
    virtual bool closeGps() = 0;
    virtual void ensureLogFile() = 0;
    virtual void toggleLogging() = 0;
    virtual void chooseLogFile() = 0;
    // A line for the window about what the link is doing (the baud rate search); empty when
    // there is nothing to say.
    virtual std::u16string linkStatusText() const { return {}; }
};

// What the shell asks of its window.
class WindowHost {
public:
    virtual ~WindowHost() = default;
    virtual bool createWindow() = 0;
    virtual void showAndPaint() = 0;
    virtual void requestRepaint() = 0;
    virtual void startTick() = 0;
    virtual void stopTick() = 0;
    virtual void bringToFront() = 0;
    // Ends the event loop; the window stays.
    virtual void quit(int code) = 0;
    // Closes the window as the user would; the host then calls App::windowClosed().
    virtual void closeWindow() = 0;
    virtual void runOptionsDialog() = 0;
    virtual void runAboutDialog() = 0;
    virtual void runLoggingDialog() = 0;
};

class App {
public:
    App(LiveRecord& record, Settings& settings, LogFieldSet& logFields, Subsystems& parts,
        MessageBoxService& messages);

    // Everything up to the first paint and the automatic connect. False when no window
    // could be made; the process then ends.
    bool start(WindowHost& host);

    // A menu command or message by id. False for an id the shell does not know.
    bool command(int id);
    void tick();
    // A stylus release in client pixels.
    void tap(int32_t x, int32_t y);
    // The window is going away (close box, Ctrl+Q, a signal).
    void windowClosed();
    // After the event loop: a connection still open is closed.
    void shutdown();

    // Whether the next paint follows a tick (and so advances the graph histories); reading
    // it clears it.
    bool takeTickRepaint();
    // Check mark of Log > On.
    bool loggingChecked() const { return m_settings.loggingOn; }
    // The window keeps its size, full screen and mirroring here.
    Settings& settings() { return m_settings; }
    const Settings& settings() const { return m_settings; }
    bool connected() const;
    std::u16string linkStatusText() const { return m_parts.linkStatusText(); }
    // To be called after anything changed the units or the elevation offset.
    void publishDecodeOptions();

private:
    bool ask(const char16_t* question);
    void info(const char16_t* text);
    void setConnected(bool on);
    // A paint outside the tick: the graph histories and the fix animation stay put.
    void repaintNow();
    void saveOdometerIfDue(const NavState& nav);

    static constexpr int kOdometerSaveTicks = 60;

    LiveRecord& m_record;
    Settings& m_settings;
    LogFieldSet& m_logFields;
    Subsystems& m_parts;
    MessageBoxService& m_messages;
    WindowHost* m_host = nullptr;
    bool m_tickRepaint = false;
    // The odometer as last saved or loaded, and the ticks since.
    double m_savedDistance = 0;
    int32_t m_savedWhole = 0;
    int m_ticksSinceSave = 0;
};

} // namespace velocimo
