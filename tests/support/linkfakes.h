#pragma once

// Recording stand-ins for what the link talks to. All of them are safe to call from the
// reader thread while a test waits on the main thread.

#include "gpslink/serialdevice.h"
#include "gpslink/seriallink.h"
#include "nmea/handlers.h"
#include "shell/core/fixsound.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <dirent.h>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace velocimo {

inline void PrintTo(OpenResult r, std::ostream* os) {
    static constexpr const char* kNames[] = {
        "Opened",         "OpenFailed",        "GetStateFailed",
        "SetStateFailed", "GetTimeoutsFailed", "SetTimeoutsFailed",
        "ReaderFailed"};
    *os << kNames[static_cast<int>(r)];
}

} // namespace velocimo

namespace velocimo::test {

class RecordingHandlers : public SentenceHandlers {
public:
    void handleRmc(std::u16string_view s) override { add("RMC", s); }
    void handleGga(std::u16string_view s) override { add("GGA", s); }
    void handleGsa(std::u16string_view s) override { add("GSA", s); }
    std::vector<std::string> lines() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }

private:
    void add(const char* kind, std::u16string_view s) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.push_back(std::string(kind) + ":" + toUtf8(s));
    }
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

class RecordingSounds : public FixSoundSink {
public:
    void fixGained() override { ++gained; }
    void fixLost() override { ++lost; }
    std::atomic<int> gained{0};
    std::atomic<int> lost{0};
};

// Counts the watchdog's reports, which arrive on the reader thread.
class RecordingEvents : public LinkEvents {
public:
    void dataFlowInterrupted() override {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            ++m_count;
        }
        m_cv.notify_all();
    }
    int count() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_count;
    }
    bool waitForCount(int n, std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_cv.wait_for(lock, timeout, [&] { return m_count >= n; });
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    int m_count = 0;
};

enum class FailAt { Nothing, Open, GetLineState, SetLineState, GetTimeouts, SetTimeouts };

// A device whose reads follow a script (nullopt: a read without a byte). When the script is
// used up a read blocks until interrupt(). Records every call in order.
class ScriptedDevice : public SerialDevice {
public:
    explicit ScriptedDevice(FailAt failAt = FailAt::Nothing) : m_failAt(failAt) {}

    void setScript(std::vector<std::optional<uint8_t>> script) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_script = std::move(script);
        m_next = 0;
    }
    void setFailAt(FailAt f) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_failAt = f;
    }

    bool open(const std::string& path) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_calls.push_back("open " + path);
        if (m_failAt == FailAt::Open || m_open) {
            return false;
        }
        m_open = true;
        m_interrupted = false;
        return true;
    }
    bool isOpen() const override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_open;
    }
    void write(const uint8_t* data, std::size_t size) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        check("write");
        m_calls.push_back("write");
        m_written.append(reinterpret_cast<const char*>(data), size);
    }
    bool getLineState(LineState& state) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        check("getLineState");
        m_calls.push_back("getLineState");
        state = initialState;
        return m_failAt != FailAt::GetLineState;
    }
    bool setLineState(const LineState& state) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        check("setLineState");
        m_calls.push_back("setLineState");
        lineState = state;
        return m_failAt != FailAt::SetLineState;
    }
    bool getTimeouts(PortTimeouts& t) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        check("getTimeouts");
        m_calls.push_back("getTimeouts");
        t = PortTimeouts{7, 7, 7, 7, 7};
        return m_failAt != FailAt::GetTimeouts;
    }
    bool setTimeouts(const PortTimeouts& t) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        check("setTimeouts");
        m_calls.push_back("setTimeouts");
        timeouts = t;
        return m_failAt != FailAt::SetTimeouts;
    }
    void purge() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        check("purge");
        m_calls.push_back("purge");
    }
    void close() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        check("close");
        m_calls.push_back("close");
        m_open = false;
    }
    void interrupt() override {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_interrupted = true;
        }
        m_cv.notify_all();
    }
    bool readPortByte(uint8_t& byte) override {
        byte = 0;
        std::unique_lock<std::mutex> lock(m_mutex);
        check("read");
        ++m_reads;
        if (m_next < m_script.size()) {
            const auto entry = m_script[m_next++];
            m_cv.notify_all();
            if (entry) {
                byte = *entry;
                return true;
            }
            return false;
        }
        m_blocked = true;
        m_cv.notify_all();
        m_cv.wait(lock, [&] { return m_interrupted; });
        m_blocked = false;
        return false;
    }

    // Waits until the script is used up and a read is waiting for more.
    bool waitUntilBlocked(std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_cv.wait_for(lock, timeout, [&] { return m_blocked; });
    }
    std::vector<std::string> calls() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_calls;
    }
    std::string written() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_written;
    }
    // Calls made on a device that was not open: each one is a fault of the link.
    std::vector<std::string> misuse() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_misuse;
    }

    LineState initialState{};
    LineState lineState{};
    PortTimeouts timeouts;

private:
    void check(const char* what) {
        if (!m_open) {
            m_misuse.push_back(what);
        }
    }
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    FailAt m_failAt;
    bool m_open = false;
    bool m_interrupted = false;
    bool m_blocked = false;
    std::vector<std::optional<uint8_t>> m_script;
    std::size_t m_next = 0;
    int m_reads = 0;
    std::vector<std::string> m_calls;
    std::vector<std::string> m_misuse;
    std::string m_written;
};

// Script from text: every character is a byte, '|' a read without a byte.
inline std::vector<std::optional<uint8_t>> script(std::string_view text) {
    std::vector<std::optional<uint8_t>> s;
    for (char c : text) {
        if (c == '|') {
            s.push_back(std::nullopt);
        } else {
            s.push_back(static_cast<uint8_t>(c));
        }
    }
    return s;
}

int threadCount();

// The thread count to compare against: a sanitizer runtime starts a helper thread of its own
// with the first thread the process creates, so one is created (and joined) first.
inline int baselineThreadCount() {
    std::thread([] {}).join();
    return threadCount();
}

inline int threadCount() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/task")) {
        while (dirent* e = readdir(d)) {
            if (e->d_name[0] != '.') {
                ++n;
            }
        }
        closedir(d);
    }
    return n;
}

// Descriptors the process holds, not counting the one that lists them.
inline int descriptorCount() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (dirent* e = readdir(d)) {
            if (e->d_name[0] != '.') {
                ++n;
            }
        }
        closedir(d);
    }
    return n - 1;
}

} // namespace velocimo::test
