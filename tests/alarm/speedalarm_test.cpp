#include "alarm/speedalarm.h"
#include "tests/support/recordingplayer.h"

#include <gtest/gtest.h>

namespace velocimo {
namespace {

using test::RecordingPlayer;
using Calls = std::vector<std::string>;

const Calls kSilent{};
const Calls kWarn{"stop", "warn"};
const Calls kOver{"stop", "over"};

struct Tick {
    double speed;
    Calls sound;
    int32_t overCount;
    bool warnPlayed;
};

// One approach, five over sounds, a return below the limit, a second excursion, the re-arm
// (40 is not yet more than 5 below the band at 45).
TEST(SpeedAlarm, LimitFiftySequence) {
    const Tick ticks[] = {
        {40, kSilent, 0, false}, {44, kSilent, 0, false}, {45, kWarn, 0, true},
        {48, kSilent, 0, true},  {50, kSilent, 0, true},  {51, kOver, 1, true},
        {52, kOver, 2, true},    {53, kOver, 3, true},    {54, kOver, 4, true},
        {55, kOver, 5, true},    {56, kSilent, 5, true},  {57, kSilent, 5, true},
        {49, kSilent, 0, true},  {51, kOver, 1, true},    {40, kSilent, 0, true},
        {39, kSilent, 0, false}, {45, kWarn, 0, true},
    };
    Settings settings = test::alarmSettings();
    SpeedAlarm alarm;
    RecordingPlayer player;
    for (const Tick& t : ticks) {
        checkSpeedLimit(alarm, settings, t.speed, player);
        EXPECT_EQ(player.take(), t.sound) << "speed " << t.speed;
        EXPECT_EQ(alarm.overSoundCount, t.overCount) << "speed " << t.speed;
        EXPECT_EQ(alarm.warnSoundPlayed, t.warnPlayed) << "speed " << t.speed;
    }
}

TEST(SpeedAlarm, ContinuousOverSoundPlaysEveryTick) {
    Settings settings = test::alarmSettings();
    settings.continuousOverSound = true;
    SpeedAlarm alarm;
    RecordingPlayer player;
    for (int i = 0; i < 8; ++i) {
        checkSpeedLimit(alarm, settings, 60.0, player);
        EXPECT_EQ(player.take(), kOver) << "tick " << i;
    }
}

// The first tick from a fresh alarm, at the edges of the band and of the limit.
TEST(SpeedAlarm, Thresholds) {
    struct Case {
        int32_t limit;
        double speed;
        Calls sound;
    };
    const Case cases[] = {
        {50, 50.0, kWarn},    {50, 50.0001, kOver}, {50, 44.999, kSilent}, {80, 72.0, kWarn},
        {80, 71.99, kSilent}, {100, 90.0, kWarn},   {45, 40.0, kWarn},     {45, 39.9, kSilent},
        {0, 0.0, kWarn},      {0, 0.1, kOver},
    };
    for (const Case& c : cases) {
        Settings settings = test::alarmSettings();
        settings.speedLimits[0] = c.limit;
        SpeedAlarm alarm;
        RecordingPlayer player;
        checkSpeedLimit(alarm, settings, c.speed, player);
        EXPECT_EQ(player.take(), c.sound) << "limit " << c.limit << " speed " << c.speed;
    }
}

TEST(SpeedAlarm, LimitZeroWarnsOnceAtStandstill) {
    Settings settings = test::alarmSettings();
    settings.speedLimits[0] = 0;
    SpeedAlarm alarm;
    RecordingPlayer player;
    checkSpeedLimit(alarm, settings, 0.0, player);
    EXPECT_EQ(player.take(), kWarn);
    for (int i = 0; i < 20; ++i) {
        checkSpeedLimit(alarm, settings, 0.0, player);
    }
    EXPECT_EQ(player.take(), kSilent);
    EXPECT_TRUE(alarm.warnSoundPlayed);
}

TEST(SpeedAlarm, SwitchingToALowerLimitSoundsOnTheNextTick) {
    Settings settings = test::alarmSettings();
    settings.selectedLimit = 2;
    SpeedAlarm alarm;
    RecordingPlayer player;
    checkSpeedLimit(alarm, settings, 60.0, player);
    EXPECT_EQ(player.take(), kSilent);
    settings.selectedLimit = 0;
    checkSpeedLimit(alarm, settings, 60.0, player);
    EXPECT_EQ(player.take(), kOver);
}

// The index is read from the store unchecked: neither neighbour of the table may act as a limit.
TEST(SpeedAlarm, SelectedLimitOutOfRangeIsSilent) {
    for (int32_t index : {3, -1, 1000, INT32_MIN}) {
        for (double speed : {0.0, 45.0, 200.0}) {
            Settings settings = test::alarmSettings();
            settings.selectedLimit = index;
            SpeedAlarm alarm{2, true};
            RecordingPlayer player;
            checkSpeedLimit(alarm, settings, speed, player);
            EXPECT_EQ(player.take(), kSilent) << index << " " << speed;
            EXPECT_EQ(alarm.overSoundCount, 2);
            EXPECT_TRUE(alarm.warnSoundPlayed);
        }
    }
}

TEST(SpeedAlarm, SoundsUseTheirOwnPathsAndAlwaysStopFirst) {
    const Settings settings = test::alarmSettings();
    RecordingPlayer player;
    playFixSound(player, settings);
    playLostFixSound(player, settings);
    playOverSound(player, settings);
    playAlarmSound(player, u"");
    EXPECT_EQ(player.take(), (Calls{"stop", "fix", "stop", "lost", "stop", "over", "stop"}));
}

} // namespace
} // namespace velocimo
