#include "speedalarm.h"

#include "shell/core/navstate.h"

namespace velocimo {

void playAlarmSound(SoundPlayer& player, std::u16string_view path) {
    player.stop();
    if (!path.empty()) {
        player.start(path);
    }
}

void playFixSound(SoundPlayer& player, const Settings& settings) {
    playAlarmSound(player, settings.soundFixPath.view());
}

void playLostFixSound(SoundPlayer& player, const Settings& settings) {
    playAlarmSound(player, settings.soundLostFixPath.view());
}

void playOverSound(SoundPlayer& player, const Settings& settings) {
    playAlarmSound(player, settings.soundOverPath.view());
}

void checkSpeedLimit(SpeedAlarm& alarm, const Settings& settings, double speed,
                     SoundPlayer& player) {
    // The index comes straight from the stored settings; an out-of-range one must not pick
    // a limit from outside the table.
    if (settings.selectedLimit < 0 || settings.selectedLimit > 2) {
        return;
    }
    const double limit = static_cast<double>(settings.speedLimits[settings.selectedLimit]);

    if (speed > limit) {
        if (settings.continuousOverSound) {
            playOverSound(player, settings);
        } else if (alarm.overSoundCount < kMaxOverSounds) {
            playOverSound(player, settings);
            ++alarm.overSoundCount;
        }
        return;
    }

    alarm.overSoundCount = 0;
    const int32_t warnFrom = truncToInt(limit - limit * 0.1);
    if (speed >= warnFrom && !alarm.warnSoundPlayed) {
        playAlarmSound(player, settings.soundWarnPath.view());
        alarm.warnSoundPlayed = true;
    }
    // Re-arm only well below the band, so hovering at its edge does not repeat the warning.
    if (speed < static_cast<double>(warnFrom) - 5.0 && alarm.warnSoundPlayed) {
        alarm.warnSoundPlayed = false;
    }
}

} // namespace velocimo
