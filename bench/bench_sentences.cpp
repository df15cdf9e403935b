// Sentences per second through the line framing and the three handlers.
// Run: build/bench/bench_sentences

#include "gpslink/framing.h"
#include "nmea/handlers.h"
#include "shell/core/liverecord.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

class NullSounds : public velocimo::FixSoundSink {
public:
    void fixGained() override {}
    void fixLost() override {}
};

void sentencePath(benchmark::State& state) {
    const std::string epoch =
        "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n"
        "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n"
        "$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*39\r\n"
        "$GPRMC,123520,A,4808.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n";
    velocimo::LiveRecord record;
    record.update([](velocimo::NavState& nav) { velocimo::resetNavState(nav); });
    NullSounds sounds;
    velocimo::SystemTimeZoneSource zone;
    velocimo::LiveDecoder decoder(record, &sounds, &zone);
    velocimo::MemoryByteSource source(epoch);
    int64_t sentences = 0;
    for (auto _ : state) {
        if (source.atEnd()) {
            source.rewind();
        }
        // One sentence and the empty pass its CR LF leaves.
        velocimo::readLinePass(source, decoder);
        velocimo::readLinePass(source, decoder);
        ++sentences;
    }
    state.counters["sentences/s"] =
        benchmark::Counter(static_cast<double>(sentences), benchmark::Counter::kIsRate);
}
BENCHMARK(sentencePath);

} // namespace

BENCHMARK_MAIN();
