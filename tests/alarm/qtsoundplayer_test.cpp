#include "alarm/qtsoundplayer.h"
#include "alarm/soundpaths.h"
#include "tests/support/recordingplayer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSoundEffect>
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <thread>

namespace velocimo {
namespace {

// Runs the event loop until done() or the deadline; never longer.
bool pumpUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return done();
}

// Plays a shipped sound whether or not a sound server exists: the call returns at once,
// the effect settles (ready, playing, or failed) within a bounded wait, and stop works.
TEST(QtSoundPlayer, PlaysAShippedWavWithoutBlocking) {
    const SoundDefaults d = defaultSoundPaths(VELOCIMO_BINARY_DIR "/bin");
    const QString path = QString::fromStdString(d.warn.toUtf8());
    QtSoundPlayer player;
    QElapsedTimer timer;
    timer.start();
    playAlarmSound(player, d.warn.view());
    EXPECT_LT(timer.elapsed(), 1000);
    QSoundEffect* effect = player.effectFor(path);
    ASSERT_NE(effect, nullptr);
    pumpUntil([&] { return effect->status() != QSoundEffect::Loading; }, 3000);
    player.stop();
    pumpUntil([&] { return !effect->isPlaying(); }, 1000);
    EXPECT_FALSE(effect->isPlaying());
    // Starting it again reuses the effect of that path.
    player.start(d.warn.view());
    EXPECT_EQ(player.effectFor(path), effect);
    player.stop();
}

TEST(QtSoundPlayer, MissingFilePlaysNothing) {
    QtSoundPlayer player;
    playAlarmSound(player, u"/nonexistent/velocimo/none.wav");
    playAlarmSound(player, u"");
    EXPECT_EQ(player.effectFor("/nonexistent/velocimo/none.wav"), nullptr);
}

// The reader thread reports; the sound plays on the main thread once the queued call runs.
TEST(QtFixSoundRelay, PlaysOnTheMainThread) {
    const Settings settings = test::alarmSettings();
    test::RecordingPlayer player;
    QtFixSoundRelay relay(player, settings);
    std::thread reader([&] {
        relay.sink().fixGained();
        relay.sink().fixLost();
    });
    reader.join();
    EXPECT_TRUE(player.take().empty()); // nothing plays before the main thread runs
    std::vector<std::string> calls;
    pumpUntil(
        [&] {
            auto more = player.take();
            calls.insert(calls.end(), more.begin(), more.end());
            return !calls.empty();
        },
        2000);
    EXPECT_EQ(calls, (std::vector<std::string>{"stop", "lost"}));
}

} // namespace
} // namespace velocimo

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
