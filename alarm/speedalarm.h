#pragma once

// The speed alarm: once a second the current speed is judged against the selected limit,
// with a warning sound on the approach and an over sound while the limit is exceeded.

#include "settings/settings.h"

#include <cstdint>
#include <string_view>

namespace velocimo {

// Plays WAV files. stop() ends the sound in progress (if any); start() begins the named
// file without waiting for it to finish. Both return at once and never report a failure:
// a missing or unreadable file, or no sound device, simply plays nothing.
class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    virtual void stop() = 0;
    virtual void start(std::u16string_view path) = 0;
};

// The alarm's memory between ticks.
struct SpeedAlarm {
    int32_t overSoundCount = 0;   // over sounds played in the current excursion above the limit
    bool warnSoundPlayed = false; // the warning has sounded and is not yet re-armed
};

// How many over sounds one excursion plays unless the over sound is continuous.
inline constexpr int32_t kMaxOverSounds = 5;

// One tick of the alarm. speed is in the selected speed unit. A selectedLimit outside 0..2
// selects no limit: the tick plays nothing and leaves the alarm state alone.
void checkSpeedLimit(SpeedAlarm& alarm, const Settings& settings, double speed,
                     SoundPlayer& player);

// Stops the sound in progress, then starts path. An empty path only stops.
void playAlarmSound(SoundPlayer& player, std::u16string_view path);
void playFixSound(SoundPlayer& player, const Settings& settings);
void playLostFixSound(SoundPlayer& player, const Settings& settings);
void playOverSound(SoundPlayer& player, const Settings& settings);

} // namespace velocimo
