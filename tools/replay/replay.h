#pragma once

// Feeds recorded NMEA through the same framing and handlers as the live reader and reports
// what the live record held at every tick.

#include "gpslink/framing.h"
#include "logging/logfields.h"
#include "shell/core/navstate.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

namespace velocimo {

struct ReplayOptions {
    int32_t units = 1;
    int32_t elevationOffset = 0;
    // The speed alarm, as the Options dialog sets it.
    int32_t speedLimits[3] = {50, 80, 100};
    int32_t selectedLimit = 0;
    bool continuousOverSound = true;
    // CSV instead of JSON: the header and one record per tick that the log would write.
    bool csv = false;
    bool everyTick = false; // CSV: also the ticks below the moving threshold
    LogFieldSet fields = {true, true, true, true, true, true, true, true, true};
    // As the settings AnyTalker and VerifyChecksum.
    bool anyTalker = false;
    bool verifyChecksum = false;
};

// Sets the CSV columns from the log's value names ("HDOP,Satellites"); false names the bad one.
bool parseLogFields(std::string_view names, LogFieldSet& fields, std::string& bad);

// A tick happens just before each RMC line the handlers take except the first, and once at the end
// of the input. JSON: one object (one line) per tick, every record field plus "sounds", the sounds
// the sentences before the tick and the tick itself played ("fix", "lostfix", "warn", "over").
void runReplay(std::string_view input, const ReplayOptions& options, std::ostream& out);
// The same over a source read to its end in chunks, so memory stays flat however long it is.
void runReplay(ByteSource& input, const ReplayOptions& options, std::ostream& out);

// A file descriptor read in fixed-size chunks; its end or a read error ends the input.
class FileByteSource : public ByteSource {
public:
    explicit FileByteSource(int fd) : m_fd(fd) {}
    bool readPortByte(uint8_t& byte) override { return readBytes(&byte, 1) == 1; }
    std::size_t readBytes(uint8_t* buffer, std::size_t capacity) override;
    bool atEnd() const { return m_ended && m_pos == m_size; }

private:
    int m_fd;
    bool m_ended = false;
    std::size_t m_pos = 0;
    std::size_t m_size = 0;
    std::array<uint8_t, 64 * 1024> m_chunk;
};

} // namespace velocimo
