// Every receiver capture, byte for byte through the line framing and the decoder.

#include "gpslink/framing.h"
#include "nmea/handlers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace velocimo {
namespace {

struct Sounds : FixSoundSink {
    void fixGained() override { events += '+'; }
    void fixLost() override { events += '-'; }
    std::string events;
};

// Forwards to the decoder and checks the record after every RMC sentence.
struct CheckingHandlers : SentenceHandlers {
    CheckingHandlers(LiveRecord& r, LiveDecoder& d) : record(r), decoder(d) {}
    void handleRmc(std::u16string_view s) override {
        decoder.handleRmc(s);
        record.read([&](const NavState& nav) {
            ++rmc;
            valid += nav.fixValid ? 1 : 0;
            const double values[] = {nav.speed,
                                     nav.topSpeed,
                                     nav.averageSpeed,
                                     nav.tripDistance,
                                     nav.totalDistance,
                                     nav.course,
                                     nav.latitude.decimalDegrees,
                                     nav.longitude.decimalDegrees,
                                     nav.tripElapsedSeconds};
            for (double v : values) {
                finite = finite && std::isfinite(v);
            }
            monotonic = monotonic && nav.tripDistance >= lastTrip;
            lastTrip = nav.tripDistance;
        });
    }
    void handleGga(std::u16string_view s) override {
        decoder.handleGga(s);
        record.read([&](const NavState& nav) {
            finite = finite && std::isfinite(nav.elevation) && std::isfinite(nav.hdop);
        });
    }
    void handleGsa(std::u16string_view s) override { decoder.handleGsa(s); }

    LiveRecord& record;
    LiveDecoder& decoder;
    int rmc = 0;
    int valid = 0;
    bool finite = true;
    bool monotonic = true;
    double lastTrip = 0.0;
};

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << "missing " << path;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Expected {
    int rmc, valid;
    const char* sounds;
};

TEST(Captures, EveryLogDecodesToFiniteValues) {
    // Counts of the GP RMC sentences and the fix changes they make, from the logs' own
    // description; the torture log is only required not to break anything.
    const std::map<std::string, Expected> expected = {
        {"bundg_zeus_9.log", {146, 146, "+"}}, {"bu353s4.log", {25, 25, "+"}},
        {"ch-4711.log", {7, 0, ""}},           {"cat-ms352.log", {40, 40, "+"}},
        {"garmin48.log", {7, 7, "+"}},         {"haicom-305N.log", {74, 68, nullptr}},
        {"quectel.log", {42, 34, nullptr}},    {"motorola-t805.log", {25, 16, "+-+"}},
        {"mt3339.log", {30, 30, "+"}},         {"et-332.log", {19, 19, "+"}},
    };
    const std::filesystem::path dir = VELOCIMO_TEST_DATA "/nmea";
    ASSERT_TRUE(std::filesystem::is_directory(dir)) << dir;
    int logs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() != ".log") {
            continue;
        }
        ++logs;
        const std::string name = entry.path().filename().string();
        LiveRecord record;
        record.update([](NavState& nav) { resetNavState(nav); });
        record.setDecodeOptions({0, 0});
        Sounds sounds;
        LiveDecoder decoder(record, &sounds, nullptr);
        CheckingHandlers handlers(record, decoder);
        const std::string bytes = readFile(entry.path());
        MemoryByteSource source(bytes);
        while (!source.atEnd()) {
            readLinePass(source, handlers);
        }
        EXPECT_TRUE(handlers.finite) << name;
        EXPECT_TRUE(handlers.monotonic) << name;
        const auto it = expected.find(name);
        if (it == expected.end()) {
            continue;
        }
        EXPECT_EQ(handlers.rmc, it->second.rmc) << name;
        EXPECT_EQ(handlers.valid, it->second.valid) << name;
        if (it->second.sounds != nullptr) {
            EXPECT_EQ(sounds.events, it->second.sounds) << name;
        }
    }
    EXPECT_EQ(logs, 19);
}

TEST(Captures, MovingBoatAveragesItsLoggedSpeed) {
    // Two and a half minutes at 5.3 to 6.7 knots: the great-circle sum over the time must
    // give an average inside that band.
    LiveRecord record;
    record.update([](NavState& nav) { resetNavState(nav); });
    record.setDecodeOptions({0, 0});
    LiveDecoder decoder(record, nullptr, nullptr);
    const std::string bytes = readFile(VELOCIMO_TEST_DATA "/nmea/bundg_zeus_9.log");
    ASSERT_FALSE(bytes.empty());
    MemoryByteSource source(bytes);
    while (!source.atEnd()) {
        readLinePass(source, decoder);
    }
    const NavState nav = record.snapshot();
    EXPECT_GT(nav.tripElapsedSeconds, 140.0);
    EXPECT_GT(nav.averageSpeed, 5.0);
    EXPECT_LT(nav.averageSpeed, 6.8);
    EXPECT_NEAR(nav.tripDistance, nav.averageSpeed * nav.tripElapsedSeconds / 3600.0, 1e-12);
    EXPECT_EQ(nav.totalDistance, nav.tripDistance);
}

} // namespace
} // namespace velocimo
