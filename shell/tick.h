#pragma once

// What the one-second tick does with one snapshot of the live record while connected: the
// speed alarm, then the CSV record. The program and the replay tool both tick through here.

#include "settings/settings.h"
#include "shell/core/navstate.h"

namespace velocimo {

class TickSteps {
public:
    virtual ~TickSteps() = default;
    // Both get the record as it stood at this tick.
    virtual void checkSpeedLimit(const NavState& nav) = 0;
    virtual void appendLogRecord(const NavState& nav) = 0;
};

// Which ticks get a CSV record.
enum class LogGate {
    Moving,    // logging on and the speed at least the threshold: the program
    EveryTick, // logging on, whatever the speed
    Never,
};

void tickOnce(const NavState& nav, const Settings& settings, TickSteps& steps,
              LogGate gate = LogGate::Moving);

} // namespace velocimo
