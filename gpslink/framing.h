#pragma once

// Line framing of the receiver's byte stream, shared by the live reader and the replay tool.

#include "nmea/handlers.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace velocimo {

// One read of exactly one byte. True with the byte; false (byte 0) on a timeout, an error,
// the end of the input or a closed port.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual bool readPortByte(uint8_t& byte) = 0;
    // One read of up to capacity bytes (capacity > 0): waits as readPortByte does for the
    // first and takes what else is ready with it. 0 where readPortByte would be false.
    virtual std::size_t readBytes(uint8_t* buffer, std::size_t capacity) {
        (void)capacity;
        return readPortByte(*buffer) ? 1 : 0;
    }
    // The read a line reader makes when the last one stopped inside a line and did not fill
    // its buffer: the rest is on its way, so a source that paces its bytes may let some arrive
    // before it waits for the first (within the same read timeout, and a close still ends the
    // wait at once). Fewer wake-ups per line; otherwise the same as readBytes.
    virtual std::size_t readRestOfLine(uint8_t* buffer, std::size_t capacity) {
        return readBytes(buffer, capacity);
    }
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
    std::size_t readBytes(uint8_t* buffer, std::size_t capacity) override {
        const std::size_t n = std::min(capacity, m_data.size() - m_pos);
        std::memcpy(buffer, m_data.data() + m_pos, n);
        m_pos += n;
        return n;
    }
    bool atEnd() const { return m_pos >= m_data.size(); }
    void rewind() { m_pos = 0; }

private:
    std::string_view m_data;
    std::size_t m_pos = 0;
};

// Sees every framed line, on the reader thread, before its sentence is handled.
class LineTap {
public:
    virtual ~LineTap() = default;
    // The line's bytes and CR LF; must not block.
    virtual void lineReceived(std::string_view bytes) = 0;
};

inline constexpr std::size_t kLineBufferSize = 100;
// Room for the line's own bytes: the buffer also holds CR, LF and the terminator.
inline constexpr std::size_t kMaxLineBytes = kLineBufferSize - 3;

// The reader's own buffer: one read takes every byte the source has ready (up to the buffer's
// size) and the framing takes them from here, so a burst costs one wake-up, not one per byte.
// Byte for byte it delivers what readPortByte would: a byte that was already in the buffer
// is one that a read would have returned at once.
class ReadBuffer {
public:
    static constexpr std::size_t kSize = 512;

    explicit ReadBuffer(ByteSource& source) : m_source(source) {}
    bool next(uint8_t& byte) {
        if (m_pos == m_size && !refill()) {
            byte = 0;
            return false;
        }
        byte = m_bytes[m_pos++];
        return true;
    }
    // Nothing taken from the source is left to frame.
    bool empty() const { return m_pos == m_size; }

private:
    bool refill() {
        m_pos = 0;
        // A read that filled the buffer left more waiting: that is taken at once, or a source
        // faster than the gather would fall ever further behind.
        m_size = m_inLine && !m_full ? m_source.readRestOfLine(m_bytes.data(), m_bytes.size())
                                     : m_source.readBytes(m_bytes.data(), m_bytes.size());
        m_full = m_size == m_bytes.size();
        const uint8_t last = m_size > 0 ? m_bytes[m_size - 1] : uint8_t{'\n'};
        m_inLine = last != '\r' && last != '\n';
        return m_size > 0;
    }

    ByteSource& m_source;
    std::size_t m_pos = 0;
    std::size_t m_size = 0;
    // The last read stopped inside a line (nothing read ends one: the framing does too).
    bool m_inLine = false;
    bool m_full = false;
    std::array<uint8_t, kSize> m_bytes;
};

// One pass of the reader: reads one line (CR or LF ends it, so does a read without a byte),
// widens it from its first '$' and dispatches it. A line longer than kMaxLineBytes cannot be
// NMEA and is dropped whole. Returns whether the pass's first read delivered a byte, which
// is what the data watchdog counts.
bool readLinePass(ByteSource& source, SentenceHandlers& handlers, DispatchOptions options = {});
// The same pass over bytes taken through the reader's buffer.
bool readLinePass(ReadBuffer& buffer, SentenceHandlers& handlers, DispatchOptions options = {},
                  LineTap* tap = nullptr);

} // namespace velocimo
