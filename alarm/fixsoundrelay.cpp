#include "fixsoundrelay.h"

#include <utility>

namespace velocimo {

FixSoundRelay::FixSoundRelay(Wake wake) : m_wake(std::move(wake)) {}

void FixSoundRelay::fixGained() {
    post(FixSoundEvent::Gained);
}

void FixSoundRelay::fixLost() {
    post(FixSoundEvent::Lost);
}

void FixSoundRelay::post(FixSoundEvent event) {
    m_pending.store(static_cast<int>(event));
    // One outstanding wake-up is enough: the drain it triggers sees the latest event.
    if (!m_wakePending.exchange(true) && m_wake) {
        m_wake();
    }
}

FixSoundEvent FixSoundRelay::take() {
    // Re-arm before taking, so an event stored after the take always triggers a new wake-up.
    m_wakePending.store(false);
    return static_cast<FixSoundEvent>(m_pending.exchange(static_cast<int>(FixSoundEvent::None)));
}

FixSoundEvent FixSoundRelay::drain(SoundPlayer& player, const Settings& settings) {
    const FixSoundEvent event = take();
    if (event == FixSoundEvent::Gained) {
        playFixSound(player, settings);
    } else if (event == FixSoundEvent::Lost) {
        playLostFixSound(player, settings);
    }
    return event;
}

} // namespace velocimo
