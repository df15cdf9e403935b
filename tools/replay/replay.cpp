#include "replay.h"

#include "alarm/speedalarm.h"
#include "gpslink/framing.h"
#include "logging/logformat.h"
#include "nmea/handlers.h"
#include "shell/core/liverecord.h"
#include "shell/core/navstatejson.h"
#include "shell/tick.h"
#include "trip/readouts.h"
#include "trip/timeofday.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <unistd.h>
#include <vector>

namespace velocimo {

namespace {

// Sound paths are the event names, so what was started is what is reported.
class SoundLog : public SoundPlayer, public FixSoundSink {
public:
    void stop() override {}
    void start(std::u16string_view path) override { add(toUtf8(path)); }
    void fixGained() override { add("fix"); }
    void fixLost() override { add("lostfix"); }
    std::vector<std::string> take() {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<std::string> out;
        out.swap(m_events);
        return out;
    }

private:
    void add(std::string name) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.push_back(std::move(name));
    }
    std::mutex m_mutex;
    std::vector<std::string> m_events;
};

// Wraps the live decoder so that a tick can be taken just before each RMC sentence.
class TickingHandlers : public SentenceHandlers, private TickSteps {
public:
    TickingHandlers(LiveRecord& record, LiveDecoder& decoder, const ReplayOptions& options,
                    SoundLog& sounds, std::ostream& out)
        : m_record(record), m_decoder(decoder), m_options(options), m_sounds(sounds), m_out(out) {
        m_settings.speedLimits[0] = options.speedLimits[0];
        m_settings.speedLimits[1] = options.speedLimits[1];
        m_settings.speedLimits[2] = options.speedLimits[2];
        m_settings.selectedLimit = options.selectedLimit;
        m_settings.continuousOverSound = options.continuousOverSound;
        m_settings.soundFixPath.assign(u"fix");
        m_settings.soundLostFixPath.assign(u"lostfix");
        m_settings.soundWarnPath.assign(u"warn");
        m_settings.soundOverPath.assign(u"over");
        m_settings.loggingOn = true;
        if (m_options.csv) {
            char line[kLogLineCapacity];
            m_out.write(line, static_cast<std::streamsize>(
                                  formatLogHeader(m_options.fields, line, sizeof line)));
        }
    }

    void handleRmc(std::u16string_view sentence) override {
        if (m_seenRmc) {
            tick();
        }
        m_seenRmc = true;
        m_decoder.handleRmc(sentence);
    }
    void handleGga(std::u16string_view sentence) override { m_decoder.handleGga(sentence); }
    void handleGsa(std::u16string_view sentence) override { m_decoder.handleGsa(sentence); }

    // What the program's one-second tick does while connected. JSON reports the sounds the
    // alarm played; CSV writes the records the log would hold.
    void tick() {
        const NavState nav = m_record.snapshot();
        const LogGate gate = !m_options.csv        ? LogGate::Never
                             : m_options.everyTick ? LogGate::EveryTick
                                                   : LogGate::Moving;
        tickOnce(nav, m_settings, *this, gate);
        const std::vector<std::string> sounds = m_sounds.take();
        if (m_options.csv) {
            return;
        }
        m_line.assign(1, '{');
        appendNavStateJson(m_line, nav);
        m_line += ",\"sounds\":[";
        for (std::size_t i = 0; i < sounds.size(); ++i) {
            m_line += i ? ",\"" : "\"";
            m_line += sounds[i];
            m_line += '"';
        }
        m_line += "]}\n";
        m_out.write(m_line.data(), static_cast<std::streamsize>(m_line.size()));
    }

private:
    void checkSpeedLimit(const NavState& nav) override {
        velocimo::checkSpeedLimit(m_alarm, m_settings, nav.speed, m_sounds);
    }
    void appendLogRecord(const NavState& nav) override {
        char line[kLogLineCapacity];
        m_out.write(line, static_cast<std::streamsize>(
                              formatLogRecord(m_options.fields, nav, line, sizeof line)));
    }

    LiveRecord& m_record;
    LiveDecoder& m_decoder;
    const ReplayOptions& m_options;
    SoundLog& m_sounds;
    std::ostream& m_out;
    Settings m_settings;
    SpeedAlarm m_alarm;
    bool m_seenRmc = false;
    std::string m_line; // reused for every tick's object
};

} // namespace

bool parseLogFields(std::string_view names, LogFieldSet& fields, std::string& bad) {
    fields = LogFieldSet{};
    while (!names.empty()) {
        const std::size_t comma = names.find(',');
        const std::string_view name = names.substr(0, comma);
        names = comma == std::string_view::npos ? std::string_view() : names.substr(comma + 1);
        if (name.empty()) {
            continue;
        }
        const std::u16string wide(name.begin(), name.end());
        bool known = false;
        for (const LogFieldInfo& field : logFields()) {
            if (wide == field.registryName) {
                fields.*field.flag = true;
                known = true;
            }
        }
        if (!known) {
            bad = std::string(name);
            return false;
        }
    }
    return true;
}

void runReplay(std::string_view input, const ReplayOptions& options, std::ostream& out) {
    MemoryByteSource source(input);
    runReplay(source, options, out);
}

void runReplay(ByteSource& input, const ReplayOptions& options, std::ostream& out) {
    LiveRecord record;
    record.update([&](NavState& nav) {
        resetNavState(nav);
        updateUnitLabels(nav, options.units);
    });
    record.setDecodeOptions({options.units, options.elevationOffset});
    SystemTimeZoneSource zone;
    SoundLog sounds;
    LiveDecoder decoder(record, &sounds, &zone);
    TickingHandlers handlers(record, decoder, options, sounds, out);

    // Only the end of the input gives a pass without a first byte, and that pass frames an
    // empty line, which holds no sentence.
    ReadBuffer buffer(input);
    const DispatchOptions dispatch{options.anyTalker, options.verifyChecksum};
    while (readLinePass(buffer, handlers, dispatch)) {
    }
    handlers.tick();
}

std::size_t FileByteSource::readBytes(uint8_t* buffer, std::size_t capacity) {
    if (m_pos == m_size && !m_ended) {
        m_pos = 0;
        m_size = 0;
        for (;;) {
            const ssize_t n = ::read(m_fd, m_chunk.data(), m_chunk.size());
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                m_ended = true;
            } else {
                m_size = static_cast<std::size_t>(n);
            }
            break;
        }
    }
    const std::size_t n = std::min(capacity, m_size - m_pos);
    std::memcpy(buffer, m_chunk.data() + m_pos, n);
    m_pos += n;
    return n;
}

} // namespace velocimo
