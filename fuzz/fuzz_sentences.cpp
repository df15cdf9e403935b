// Any byte stream from a receiver must decode without a crash, an overflow, undefined
// behaviour or a non-finite odometer.

#include "gpslink/framing.h"
#include "nmea/handlers.h"
#include "shell/core/liverecord.h"
#include "shell/core/navstatejson.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

class Sounds : public velocimo::FixSoundSink {
public:
    void fixGained() override {}
    void fixLost() override {}
};

// A fixed zone with daylight saving, so the transition code runs on garbage dates too.
class BerlinZone : public velocimo::TimeZoneSource {
public:
    velocimo::TimeZoneInformation timeZone() override {
        velocimo::TimeZoneInformation z;
        z.bias = -60;
        z.daylightBias = -60;
        z.daylightDate.month = 3;
        z.daylightDate.day = 5;
        z.daylightDate.hour = 2;
        z.standardDate.month = 10;
        z.standardDate.day = 5;
        z.standardDate.hour = 3;
        return z;
    }
};

} // namespace

namespace {

// Decodes the input through one of the two framing paths and returns the record it leaves.
velocimo::NavState decode(const uint8_t* data, std::size_t size, bool buffered) {
    velocimo::LiveRecord record;
    record.update([](velocimo::NavState& nav) { velocimo::resetNavState(nav); });
    const int32_t units = size > 0 ? data[0] % 4 : 1;
    record.setDecodeOptions({units, size > 1 ? static_cast<int8_t>(data[1]) * 100 : 0});
    Sounds sounds;
    BerlinZone zone;
    velocimo::LiveDecoder decoder(record, &sounds, &zone);
    velocimo::MemoryByteSource source(std::string_view(reinterpret_cast<const char*>(data), size));
    velocimo::ReadBuffer buffer(source);
    while (!(source.atEnd() && buffer.empty())) {
        if (buffered) {
            velocimo::readLinePass(buffer, decoder);
        } else {
            velocimo::readLinePass(source, decoder);
        }
    }
    return record.snapshot();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const velocimo::NavState nav = decode(data, size, false);
    if (!std::isfinite(nav.tripDistance) || !std::isfinite(nav.totalDistance) ||
        !std::isfinite(nav.speed) || !std::isfinite(nav.averageSpeed)) {
        std::abort();
    }
    // The reader's buffered framing must leave exactly the same record.
    std::string bytes;
    std::string bufferedBytes;
    velocimo::appendNavStateJson(bytes, nav);
    velocimo::appendNavStateJson(bufferedBytes, decode(data, size, true));
    if (bytes != bufferedBytes) {
        std::abort();
    }
    return 0;
}
