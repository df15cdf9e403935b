#pragma once

// Where the sounds that ship with the program live.

#include "settings/settings.h"

#include <string>

namespace velocimo {

// File names inside the sounds folder.
inline constexpr const char* kFixSoundFile = "fix.wav";
inline constexpr const char* kLostFixSoundFile = "lostfix.wav";
inline constexpr const char* kWarnSoundFile = "warn.wav";
inline constexpr const char* kOverSoundFile = "over.wav";

// The shipped sounds, found relative to the folder of the running program:
// "<exe>/../share/velocimo/sounds" (installed, and the build tree copy for build/bin),
// "<exe>/../../share/velocimo/sounds" (binaries one folder deeper in the build tree), then
// the installation folder this build was configured for. The first folder that holds the
// fix sound wins; when none does, the paths of the first candidate are returned (playing
// them then plays nothing). Paths longer than a settings text can hold are never returned
// cut short: such a candidate is skipped.
SoundDefaults defaultSoundPaths(const std::string& executableDir);

} // namespace velocimo
