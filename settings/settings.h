#pragma once

// The user options that outlive the program.

#include "shell/core/fixedtext.h"

#include <cstdint>

namespace velocimo {

using PathText = FixedText<256>;

struct Settings {
    int32_t speedLimits[3] = {0, 0, 0};
    int32_t maxSpeed = 0;
    int32_t maxElevation = 0;
    PathText soundFixPath;
    PathText soundLostFixPath;
    PathText soundWarnPath;
    PathText soundOverPath;
    int32_t comPort = 0;
    int32_t units = 0;
    int32_t autoConnect = 0;
    bool continuousOverSound = true;
    int32_t elevationOffset = 0;
    bool sirfSetup = false;
    bool loggingOn = false;
    PathText logFilePath;
    bool logFileChosen = false;
    int32_t selectedLimit = 0;
    int32_t selectedDisplay = 0;
    int32_t nightMode = 0;
    // Receivers of today: every talker, checked sentences, other line speeds (0: search).
    bool anyTalker = false;
    bool verifyChecksum = false;
    int32_t baudRate = 4800;
    // Beside the CSV log: a GPX track, and the receiver's lines as they came.
    bool trackLog = false;
    bool rawLog = false;
    // The window: full screen, the last size (0: the dashboard's own), mirrored for a
    // windscreen, and the night scheme following the sun.
    bool fullScreen = false;
    int32_t windowWidth = 0;
    int32_t windowHeight = 0;
    bool mirror = false;
    bool autoNight = false;

    friend bool operator==(const Settings&, const Settings&) = default;
};

// Defaults the settings load writes for missing values.
inline constexpr int32_t kDefaultSpeedLimits[3] = {50, 80, 100};
inline constexpr int32_t kDefaultMaxSpeed = 120;
inline constexpr int32_t kDefaultMaxElevation = 500;
inline constexpr int32_t kDefaultComPort = 1;
inline constexpr int32_t kDefaultUnits = 1;
inline constexpr int32_t kDefaultBaudRate = 4800;

// The sounds that ship with the program, used when the store has none.
struct SoundDefaults {
    PathText fix;
    PathText lostFix;
    PathText warn;
    PathText over;
};

} // namespace velocimo
