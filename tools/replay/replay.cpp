#include "replay.h"

#include "alarm/speedalarm.h"
#include "gpslink/framing.h"
#include "logging/csvlog.h"
#include "nmea/handlers.h"
#include "shell/core/liverecord.h"
#include "trip/readouts.h"
#include "trip/timeofday.h"

#include <charconv>
#include <cmath>
#include <mutex>
#include <vector>

namespace velocimo {

namespace {

void writeString(std::ostream& out, std::u16string_view text) {
    out << '"';
    const std::string utf8 = toUtf8(text);
    for (unsigned char c : utf8) {
        switch (c) {
        case '"':
            out << "\\\"";
            break;
        case '\\':
            out << "\\\\";
            break;
        default:
            if (c < 0x20) {
                static const char kHex[] = "0123456789abcdef";
                out << "\\u00" << kHex[c >> 4] << kHex[c & 0xF];
            } else {
                out << static_cast<char>(c);
            }
        }
    }
    out << '"';
}

void writeNumber(std::ostream& out, double value) {
    if (!std::isfinite(value)) {
        out << "null";
        return;
    }
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    out.write(buf, ec == std::errc() ? end - buf : 0);
}

class JsonObject {
public:
    explicit JsonObject(std::ostream& out, bool braces = true) : m_out(out), m_braces(braces) {
        if (m_braces) {
            m_out << '{';
        }
    }
    ~JsonObject() {
        if (m_braces) {
            m_out << '}';
        }
    }
    JsonObject(const JsonObject&) = delete;
    JsonObject& operator=(const JsonObject&) = delete;

    std::ostream& key(const char* name) {
        if (!m_first) {
            m_out << ',';
        }
        m_first = false;
        m_out << '"' << name << "\":";
        return m_out;
    }
    void field(const char* name, double v) { writeNumber(key(name), v); }
    void field(const char* name, int32_t v) { key(name) << v; }
    void field(const char* name, bool v) { key(name) << (v ? "true" : "false"); }
    template <std::size_t N> void field(const char* name, const FixedText<N>& t) {
        writeString(key(name), t.view());
    }

private:
    std::ostream& m_out;
    bool m_braces;
    bool m_first = true;
};

void writeCoordinate(JsonObject& parent, const char* name, const Coordinate& c, std::ostream& out) {
    parent.key(name);
    JsonObject o(out);
    o.field("degrees", c.degrees);
    o.field("minutes", c.minutes);
    o.field("seconds", c.seconds);
    o.field("dmsText", c.dmsText);
    o.field("hemisphereText", c.hemisphereText);
    o.field("rawValue", c.rawValue);
    o.field("decimalDegrees", c.decimalDegrees);
    o.field("decText", c.decText);
    o.field("dmmText", c.dmmText);
}

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
class TickingHandlers : public SentenceHandlers {
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

    // What the program's one-second tick does while connected: the alarm, then the log.
    void tick() {
        const NavState nav = m_record.snapshot();
        checkSpeedLimit(m_alarm, m_settings, nav.speed, m_sounds);
        const std::vector<std::string> sounds = m_sounds.take();
        if (m_options.csv) {
            if (m_options.everyTick || shouldLog(m_settings, nav.speed)) {
                char line[kLogLineCapacity];
                m_out.write(line, static_cast<std::streamsize>(
                                      formatLogRecord(m_options.fields, nav, line, sizeof line)));
            }
            return;
        }
        m_out << '{';
        writeNavStateFields(m_out, nav);
        m_out << ",\"sounds\":[";
        for (std::size_t i = 0; i < sounds.size(); ++i) {
            m_out << (i ? ",\"" : "\"") << sounds[i] << '"';
        }
        m_out << "]}\n";
    }

private:
    LiveRecord& m_record;
    LiveDecoder& m_decoder;
    const ReplayOptions& m_options;
    SoundLog& m_sounds;
    std::ostream& m_out;
    Settings m_settings;
    SpeedAlarm m_alarm;
    bool m_seenRmc = false;
};

} // namespace

bool parseLogFields(std::string_view names, LogFieldSet& fields, std::string& bad) {
    struct Name {
        const char* name;
        bool LogFieldSet::*flag;
    };
    static const Name kNames[] = {
        {"Position_DEC", &LogFieldSet::logPositionDec},
        {"Position_DMM", &LogFieldSet::logPositionDmm},
        {"Elevation", &LogFieldSet::logElevation},
        {"SpeedCurrent", &LogFieldSet::logSpeedCurrent},
        {"SpeedAverage", &LogFieldSet::logSpeedAverage},
        {"DistanceTrip", &LogFieldSet::logDistanceTrip},
        {"DistanceTotal", &LogFieldSet::logDistanceTotal},
        {"Satellites", &LogFieldSet::logSatellites},
        {"HDOP", &LogFieldSet::logHdop},
    };
    fields = LogFieldSet{};
    while (!names.empty()) {
        const std::size_t comma = names.find(',');
        const std::string_view name = names.substr(0, comma);
        names = comma == std::string_view::npos ? std::string_view() : names.substr(comma + 1);
        if (name.empty()) {
            continue;
        }
        bool known = false;
        for (const Name& n : kNames) {
            if (name == n.name) {
                fields.*(n.flag) = true;
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

void writeNavStateJson(std::ostream& out, const NavState& nav) {
    out << '{';
    writeNavStateFields(out, nav);
    out << '}';
}

void writeNavStateFields(std::ostream& out, const NavState& nav) {
    JsonObject o(out, false);
    o.field("gpsConnected", nav.gpsConnected);
    o.field("fixValid", nav.fixValid);
    writeCoordinate(o, "latitude", nav.latitude, out);
    writeCoordinate(o, "longitude", nav.longitude, out);
    writeCoordinate(o, "prevLatitude", nav.prevLatitude, out);
    writeCoordinate(o, "prevLongitude", nav.prevLongitude, out);
    o.field("dataStatusText", nav.dataStatusText);
    o.field("dataValidText", nav.dataValidText);
    o.field("utcTime", nav.utcTime);
    o.field("utcDate", nav.utcDate);
    o.field("fixTimeSeconds", nav.fixTimeSeconds);
    o.field("prevFixTimeSeconds", nav.prevFixTimeSeconds);
    o.field("utcTimeText", nav.utcTimeText);
    o.field("localTimeText", nav.localTimeText);
    o.field("magneticVariation", nav.magneticVariation);
    o.field("variationText", nav.variationText);
    o.field("speedKnots", nav.speedKnots);
    o.field("speed", nav.speed);
    o.field("topSpeed", nav.topSpeed);
    o.field("averageSpeed", nav.averageSpeed);
    o.field("course", nav.course);
    o.field("speedText", nav.speedText);
    o.field("topSpeedText", nav.topSpeedText);
    o.field("averageSpeedText", nav.averageSpeedText);
    o.field("speedUnitText", nav.speedUnitText);
    o.field("courseText", nav.courseText);
    o.field("compassPointText", nav.compassPointText);
    o.field("elevationRaw", nav.elevationRaw);
    o.field("elevationUnitText", nav.elevationUnitText);
    o.field("elevation", nav.elevation);
    o.field("elevationText", nav.elevationText);
    o.field("fixQuality", nav.fixQuality);
    o.field("fixQualityText", nav.fixQualityText);
    o.field("fixDimension", nav.fixDimension);
    o.field("fixDimensionText", nav.fixDimensionText);
    o.field("satellites", nav.satellites);
    o.field("satellitesText", nav.satellitesText);
    o.field("hdop", nav.hdop);
    o.field("hdopText", nav.hdopText);
    o.field("tripDistance", nav.tripDistance);
    o.field("totalDistance", nav.totalDistance);
    o.field("totalDistanceWhole", nav.totalDistanceWhole);
    o.field("tripElapsedSeconds", nav.tripElapsedSeconds);
    o.field("tripDistanceText", nav.tripDistanceText);
    o.field("totalDistanceText", nav.totalDistanceText);
    o.field("distanceUnitText", nav.distanceUnitText);
    o.field("topAvgLineText", nav.topAvgLineText);
    o.field("distanceLineText", nav.distanceLineText);
    o.field("statusPageText", nav.statusPageText);
    o.field("positionLineText", nav.positionLineText);
}

void runReplay(std::string_view input, const ReplayOptions& options, std::ostream& out) {
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

    MemoryByteSource source(input);
    while (!source.atEnd()) {
        readLinePass(source, handlers);
    }
    handlers.tick();
}

} // namespace velocimo
