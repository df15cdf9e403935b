// The sentence path (framing and the three handlers) must not allocate once warmed up:
// the reader runs for hours on small machines.

#include "gpslink/framing.h"
#include "nmea/handlers.h"
#include "shell/core/liverecord.h"
#include "tests/support/alloccounter.h"

#include <gtest/gtest.h>

#include <string>

namespace velocimo {
namespace {

class NullSounds : public FixSoundSink {
public:
    void fixGained() override {}
    void fixLost() override {}
};

TEST(SentencePath, DoesNotAllocatePerSentence) {
    // Valid and void fixes, moving, garbage and foreign talkers, so every branch runs.
    const std::string epoch =
        "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n"
        "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n"
        "$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*39\r\n"
        "$GPRMC,123520,A,4808.038,N,01131.000,E,022.4,184.4,230394,003.1,W*6A\r\n"
        "$GPGSV,2,1,08,01,40,083,46,02,17,308,41,12,07,344,39,14,22,228,45*75\r\n"
        "$GPRMC,123521,V,,,,,,,230394,,*6A\r\n"
        "$GNRMC,123521,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n"
        "noise$GPGGA,123519,4807.038,S,01131.000,W,2,12,1.1,99.94,M,46.9,M,,*47\r\n";
    std::string input;
    for (int i = 0; i < 1250; ++i) {
        input += epoch; // 8 lines each: 10,000 sentences
    }

    // Byte-at-a-time reads, and the reader's buffered path.
    for (const bool buffered : {false, true}) {
        SCOPED_TRACE(buffered ? "buffered" : "byte reads");
        LiveRecord record;
        record.update([](NavState& nav) { resetNavState(nav); });
        NullSounds sounds;
        SystemTimeZoneSource zone;
        LiveDecoder decoder(record, &sounds, &zone);
        MemoryByteSource source(input);
        ReadBuffer buffer(source);
        auto pass = [&] {
            return buffered ? readLinePass(buffer, decoder) : readLinePass(source, decoder);
        };

        // Warm-up: the zone is read and cached on the first sentence.
        for (int i = 0; i < 16; ++i) {
            pass();
        }
        // The rest of the input, whole lines from here on.
        while (!(source.atEnd() && buffer.empty())) {
            pass();
        }
        source.rewind();

        test::startCountingAllocations();
        int passes = 0;
        while (!(source.atEnd() && buffer.empty())) {
            pass();
            ++passes;
        }
        const long allocations = test::stopCountingAllocations();

        EXPECT_GE(passes, 10000);
        EXPECT_EQ(allocations, 0);
    }
}

} // namespace
} // namespace velocimo
