#include "replay.h"

#include "gpslink/framing.h"
#include "nmea/handlers.h"
#include "shell/liverecord.h"
#include "trip/readouts.h"
#include "trip/timeofday.h"

#include <charconv>
#include <cmath>

namespace velocimo {

namespace {

class MemoryByteSource : public ByteSource {
public:
    explicit MemoryByteSource(std::string_view data) : m_data(data) {}
    bool readPortByte(uint8_t& byte) override {
        if (m_pos >= m_data.size()) {
            byte = 0;
            return false;
        }
        byte = static_cast<uint8_t>(m_data[m_pos++]);
        return true;
    }
    bool atEnd() const { return m_pos >= m_data.size(); }

private:
    std::string_view m_data;
    std::size_t m_pos = 0;
};

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
    explicit JsonObject(std::ostream& out) : m_out(out) { m_out << '{'; }
    ~JsonObject() { m_out << '}'; }
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

// Wraps the live decoder so that a tick can be taken just before each RMC sentence.
class TickingHandlers : public SentenceHandlers {
public:
    TickingHandlers(LiveRecord& record, LiveDecoder& decoder, std::ostream& out)
        : m_record(record), m_decoder(decoder), m_out(out) {}

    void handleRmc(std::u16string_view sentence) override {
        if (m_seenRmc) {
            tick();
        }
        m_seenRmc = true;
        m_decoder.handleRmc(sentence);
    }
    void handleGga(std::u16string_view sentence) override { m_decoder.handleGga(sentence); }
    void handleGsa(std::u16string_view sentence) override { m_decoder.handleGsa(sentence); }

    void tick() {
        const NavState nav = m_record.snapshot();
        writeNavStateJson(m_out, nav);
        m_out << '\n';
    }

private:
    LiveRecord& m_record;
    LiveDecoder& m_decoder;
    std::ostream& m_out;
    bool m_seenRmc = false;
};

} // namespace

void writeNavStateJson(std::ostream& out, const NavState& nav) {
    JsonObject o(out);
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
    LiveDecoder decoder(record, nullptr, &zone);
    TickingHandlers handlers(record, decoder, out);

    MemoryByteSource source(input);
    while (!source.atEnd()) {
        readLinePass(source, handlers);
    }
    handlers.tick();
}

} // namespace velocimo
