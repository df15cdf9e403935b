#pragma once

// Line framing of the receiver's byte stream, shared by the live reader and the replay tool.

#include "nmea/handlers.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace velocimo {

// One read of exactly one byte. True with the byte; false (byte 0) on a timeout, an error,
// the end of the input or a closed port.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual bool readPortByte(uint8_t& byte) = 0;
};

// Bytes already in memory (a recorded log): every read delivers the next one until the end.
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
    void rewind() { m_pos = 0; }

private:
    std::string_view m_data;
    std::size_t m_pos = 0;
};

inline constexpr std::size_t kLineBufferSize = 100;
// Room for the line's own bytes: the buffer also holds CR, LF and the terminator.
inline constexpr std::size_t kMaxLineBytes = kLineBufferSize - 3;

// One pass of the reader: reads one line (CR or LF ends it, so does a read without a byte),
// widens it from its first '$' and dispatches it. A line longer than kMaxLineBytes cannot be
// NMEA and is dropped whole. Returns whether the pass's first read delivered a byte, which
// is what the data watchdog counts.
bool readLinePass(ByteSource& source, SentenceHandlers& handlers, DispatchOptions options = {});

} // namespace velocimo
