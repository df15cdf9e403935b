#include "alarm/fixsoundrelay.h"
#include "shell/core/liverecord.h"
#include "tests/support/recordingplayer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace velocimo {
namespace {

using test::RecordingPlayer;
using Calls = std::vector<std::string>;

TEST(FixSoundRelay, HandsEventsOverFromAnotherThread) {
    struct Case {
        const char* name;
        std::vector<bool> gained; // events posted on the reader thread before one drain
        FixSoundEvent drained;
        Calls sound;
    };
    const Case cases[] = {
        {"gained", {true}, FixSoundEvent::Gained, {"stop", "fix"}},
        {"lost", {false}, FixSoundEvent::Lost, {"stop", "lost"}},
        {"latest wins", {true, false, true, false}, FixSoundEvent::Lost, {"stop", "lost"}},
        {"nothing", {}, FixSoundEvent::None, {}},
    };
    const Settings settings = test::alarmSettings();
    for (const Case& c : cases) {
        std::atomic<int> wakes{0};
        FixSoundRelay relay([&] { ++wakes; });
        LiveRecord live;
        std::thread reader([&] {
            // As the decoder does: report while holding the live record.
            live.update([&](NavState&) {
                for (bool g : c.gained) {
                    g ? relay.fixGained() : relay.fixLost();
                }
            });
        });
        reader.join();
        EXPECT_EQ(wakes.load(), c.gained.empty() ? 0 : 1) << c.name;
        RecordingPlayer player;
        EXPECT_EQ(relay.drain(player, settings), c.drained) << c.name;
        EXPECT_EQ(player.take(), c.sound) << c.name;
        EXPECT_EQ(relay.drain(player, settings), FixSoundEvent::None) << c.name;
    }
}

// A reader reporting while the main thread drains: the wake-up re-arms after every drain,
// so the last event is never stranded without one.
TEST(FixSoundRelay, NoEventIsStrandedUnderConcurrency) {
    const Settings settings = test::alarmSettings();
    std::atomic<int> wakes{0};
    FixSoundRelay relay([&] { ++wakes; });
    std::atomic<bool> done{false};
    std::thread reader([&] {
        for (int i = 0; i < 20000; ++i) {
            (i % 2 == 0) ? relay.fixGained() : relay.fixLost();
        }
        done = true;
    });
    RecordingPlayer player;
    int drains = 0;
    FixSoundEvent last = FixSoundEvent::None;
    while (!done) {
        if (wakes.load() > drains) {
            ++drains;
            const FixSoundEvent e = relay.drain(player, settings);
            if (e != FixSoundEvent::None) {
                last = e;
            }
        }
    }
    reader.join();
    if (wakes.load() > drains) {
        const FixSoundEvent e = relay.drain(player, settings);
        if (e != FixSoundEvent::None) {
            last = e;
        }
        ++drains;
    }
    EXPECT_EQ(last, FixSoundEvent::Lost); // the final event was a loss
    EXPECT_EQ(wakes.load(), drains);
    EXPECT_EQ(relay.take(), FixSoundEvent::None);
}

} // namespace
} // namespace velocimo
