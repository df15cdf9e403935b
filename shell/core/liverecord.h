#pragma once

// The one guarded instance of the live record. The reader thread updates it sentence by
// sentence and the main thread ticks, paints, logs and resets it; every access goes
// through the mutex, so no reader ever sees a text half rewritten.

#include "shell/core/navstate.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <utility>

namespace velocimo {

// The two options the sentence handlers read on the reader thread.
struct DecodeOptions {
    int32_t units = 1;
    int32_t elevationOffset = 0;
};

class LiveRecord {
public:
    LiveRecord() = default;
    LiveRecord(const LiveRecord&) = delete;
    LiveRecord& operator=(const LiveRecord&) = delete;

    // Runs f(NavState&) with the lock held and returns its result. f must not call back
    // into this record.
    template <typename F> decltype(auto) update(F&& f) {
        std::lock_guard<std::mutex> lock(m_mutex);
        return std::forward<F>(f)(m_nav);
    }
    template <typename F> decltype(auto) read(F&& f) const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return std::forward<F>(f)(static_cast<const NavState&>(m_nav));
    }
    // A consistent copy for painting and logging.
    NavState snapshot() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_nav;
    }

    // Written on the main thread (settings load, Options OK), read by the handlers.
    void setDecodeOptions(DecodeOptions options) {
        m_units.store(options.units, std::memory_order_relaxed);
        m_elevationOffset.store(options.elevationOffset, std::memory_order_relaxed);
    }
    DecodeOptions decodeOptions() const {
        return {m_units.load(std::memory_order_relaxed),
                m_elevationOffset.load(std::memory_order_relaxed)};
    }

private:
    mutable std::mutex m_mutex;
    NavState m_nav;
    std::atomic<int32_t> m_units{1};
    std::atomic<int32_t> m_elevationOffset{0};
};

} // namespace velocimo
