#include "shell/tick.h"

#include "logging/logformat.h"

namespace velocimo {

void tickOnce(const NavState& nav, const Settings& settings, TickSteps& steps, LogGate gate) {
    steps.checkSpeedLimit(nav);
    bool log = false;
    switch (gate) {
    case LogGate::Moving:
        log = shouldLog(settings, nav.speed);
        break;
    case LogGate::EveryTick:
        log = settings.loggingOn;
        break;
    case LogGate::Never:
        break;
    }
    if (log) {
        steps.appendLogRecord(nav);
    }
}

} // namespace velocimo
