#pragma once

// The live record as JSON, for the replay tool and the control socket's status line.

#include "shell/core/navstate.h"

#include <string>

namespace velocimo {

// Appends every field of the record as JSON members, without the braces:
// "gpsConnected":false,"fixValid":false,"latitude":{...},... Numbers in shortest round-trip
// form (a non-finite one as null), texts as UTF-8 strings.
void appendNavStateJson(std::string& out, const NavState& nav);

} // namespace velocimo
