#pragma once

// Carries fix changes from the reader thread to the main thread, where the sounds play.

#include "alarm/speedalarm.h"
#include "shell/core/fixsound.h"

#include <atomic>
#include <functional>

namespace velocimo {

enum class FixSoundEvent { None, Gained, Lost };

// fixGained/fixLost may run on any thread, with the live record locked: they store the
// event and, when no wake-up is outstanding yet, call wake() (which must not block either;
// the GUI posts a queued call). The main thread then runs drain(). Since every sound stops
// the one before, only the latest event matters: events arriving between two drains
// collapse into the last one.
class FixSoundRelay : public FixSoundSink {
public:
    using Wake = std::function<void()>;

    explicit FixSoundRelay(Wake wake = {});

    void fixGained() override;
    void fixLost() override;

    // Main thread: takes the pending event (None when there is none) and re-arms the wake-up.
    FixSoundEvent take();
    // Main thread: take(), then plays the fix or lost-fix sound for it. Returns the event.
    FixSoundEvent drain(SoundPlayer& player, const Settings& settings);

private:
    void post(FixSoundEvent event);

    Wake m_wake;
    std::atomic<int> m_pending{static_cast<int>(FixSoundEvent::None)};
    std::atomic<bool> m_wakePending{false};
};

} // namespace velocimo
