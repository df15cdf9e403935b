#include "shell/app.h"

namespace velocimo {

App::App(LiveRecord& record, Settings& settings, LogFieldSet& logFields, Subsystems& parts,
         MessageBoxService& messages)
    : m_record(record), m_settings(settings), m_logFields(logFields), m_parts(parts),
      m_messages(messages) {}

bool App::start(WindowHost& host) {
    m_host = &host;
    m_record.update([](NavState& nav) { resetNavState(nav); });
    m_settings = Settings{};
    m_logFields = LogFieldSet{};
    m_parts.resetStartValues();

    m_parts.loadRunState();
    m_savedDistance = m_record.read([](const NavState& nav) { return nav.totalDistance; });
    m_savedWhole = m_record.read([](const NavState& nav) { return nav.totalDistanceWhole; });
    m_parts.loadOptions();
    publishDecodeOptions();
    m_parts.loadLogFields();
    m_parts.applyNightMode();

    if (!host.createWindow()) {
        return false;
    }
    host.showAndPaint();
    if (m_settings.autoConnect > 0) {
        command(command::kGpsOpen);
    }
    return true;
}

void App::publishDecodeOptions() {
    m_record.setDecodeOptions({m_settings.units, m_settings.elevationOffset});
}

bool App::connected() const {
    return m_record.read([](const NavState& nav) { return nav.gpsConnected; });
}

void App::setConnected(bool on) {
    m_record.update([on](NavState& nav) { nav.gpsConnected = on; });
}

bool App::ask(const char16_t* question) {
    MessageRequest request;
    request.text = question;
    request.icon = MessageIcon::Question;
    request.buttons = MessageButtons::YesNo;
    request.topmost = true;
    return m_messages.show(request) == MessageResult::Yes;
}

void App::info(const char16_t* text) {
    MessageRequest request;
    request.text = text;
    request.icon = MessageIcon::Information;
    request.topmost = true;
    m_messages.show(request);
}

bool App::command(int id) {
    switch (id) {
    case command::kQuit:
        if (m_host) {
            m_host->closeWindow();
        }
        return true;
    case command::kGpsOpen:
        if (connected()) {
            info(u"GPS is already connected!");
            return true;
        }
        m_parts.ensureLogFile();
        if (m_parts.openGps()) {
            if (m_host) {
                m_host->bringToFront();
                m_host->startTick();
            }
            setConnected(true);
        }
        return true;
    case command::kGpsClose:
        if (m_host) {
            m_host->stopTick();
        }
        setConnected(false);
        if (m_parts.closeGps() && m_host) {
            m_host->requestRepaint();
        }
        return true;
    case command::kExit:
        m_parts.saveRunState();
        m_parts.saveOptions();
        if (m_host) {
            m_host->quit(0);
        }
        return true;
    case command::kOptions:
        if (m_host) {
            m_host->runOptionsDialog();
        }
        publishDecodeOptions();
        // New units or limits show at once, not only with the next tick (none while
        // disconnected); a paint of its own does not move the graphs.
        repaintNow();
        return true;
    case command::kAbout:
        if (m_host) {
            m_host->runAboutDialog();
        }
        return true;
    case command::kResetTrip:
        if (ask(u"Are you sure you want to reset the trip distance?\n\n"
                u"This will also reset the average speed!")) {
            m_record.update([](NavState& nav) { resetTripDistance(nav); });
            repaintNow();
        }
        return true;
    case command::kResetTotal:
        if (ask(u"Are you sure you want to reset the total distance?")) {
            m_record.update([](NavState& nav) { resetTotalDistance(nav); });
            repaintNow();
        }
        return true;
    case command::kResetTop:
        if (ask(u"Are you sure you want to reset the top speed?")) {
            m_record.update([](NavState& nav) { resetTopSpeed(nav); });
            repaintNow();
        }
        return true;
    case command::kLogSetup:
        if (m_host) {
            m_host->runLoggingDialog();
        }
        return true;
    case command::kLogOn:
        m_parts.toggleLogging();
        return true;
    case command::kLogNew:
        m_parts.chooseLogFile();
        return true;
    case command::kViewMirror:
        m_settings.mirror = !m_settings.mirror;
        m_parts.saveOptions();
        repaintNow();
        return true;
    case command::kViewAutoNight:
        m_settings.autoNight = !m_settings.autoNight;
        m_parts.saveOptions();
        return true;
    case command::kSaveAndDisconnect:
        m_parts.saveRunState();
        if (m_host) {
            m_host->stopTick();
        }
        setConnected(false);
        m_parts.closeGps();
        return true;
    default:
        return false;
    }
}

void App::tick() {
    // The reader's watchdog may have dropped the connection since the last tick; it
    // cannot stop our timer from its own thread, so the first tick after it does.
    const NavState nav = m_record.snapshot();
    if (!nav.gpsConnected) {
        if (m_host) {
            m_host->stopTick();
        }
        return;
    }
    m_tickRepaint = true;
    if (m_host) {
        m_host->requestRepaint();
    }
    tickOnce(nav, m_settings, m_parts);
    m_parts.followSun(nav);
    saveOdometerIfDue(nav);
}

void App::saveOdometerIfDue(const NavState& nav) {
    // A power cut or a kill must not cost more than a minute of driving: save when the
    // whole value turns and otherwise at most once a minute while the odometer moves.
    ++m_ticksSinceSave;
    if (nav.totalDistance == m_savedDistance) {
        return;
    }
    if (nav.totalDistanceWhole == m_savedWhole && m_ticksSinceSave < kOdometerSaveTicks) {
        return;
    }
    m_parts.saveRunState();
    m_savedDistance = nav.totalDistance;
    m_savedWhole = nav.totalDistanceWhole;
    m_ticksSinceSave = 0;
}

void App::repaintNow() {
    if (m_host) {
        m_host->requestRepaint();
    }
}

bool App::takeTickRepaint() {
    const bool was = m_tickRepaint;
    m_tickRepaint = false;
    return was;
}

void App::tap(int32_t x, int32_t y) {
    m_parts.handleTap(x, y);
    // Seen at once, not with the next tick; the paint moves the graphs only if a tick's
    // repaint is still pending anyway.
    repaintNow();
}

void App::windowClosed() {
    m_parts.saveRunState();
    if (m_host) {
        m_host->stopTick();
        m_host->quit(0);
    }
}

void App::shutdown() {
    if (m_host) {
        m_host->stopTick();
    }
    setConnected(false);
    m_parts.closeGps();
}

} // namespace velocimo
