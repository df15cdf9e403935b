#pragma once

#include "alarm/speedalarm.h"
#include "shell/core/fixedtext.h"

#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace velocimo::test {

// Keeps every request as "stop" or the UTF-8 path started.
class RecordingPlayer : public SoundPlayer {
public:
    void stop() override { add("stop"); }
    void start(std::u16string_view path) override { add(toUtf8(path)); }

    std::vector<std::string> take() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return std::exchange(m_calls, {});
    }

private:
    void add(std::string call) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_calls.push_back(std::move(call));
    }
    std::mutex m_mutex;
    std::vector<std::string> m_calls;
};

inline Settings alarmSettings() {
    Settings s;
    s.speedLimits[0] = 50;
    s.speedLimits[1] = 80;
    s.speedLimits[2] = 100;
    s.maxSpeed = 120;
    s.continuousOverSound = false;
    s.soundFixPath.assignUtf8("fix");
    s.soundLostFixPath.assignUtf8("lost");
    s.soundWarnPath.assignUtf8("warn");
    s.soundOverPath.assignUtf8("over");
    return s;
}

} // namespace velocimo::test
