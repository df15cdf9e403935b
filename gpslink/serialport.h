#pragma once

// A serial port through termios: exclusive open, raw line state, reads of what is ready with
// a timeout that an unplugged device cannot turn into a busy loop, writes that give up
// rather than wait on a receiver that takes nothing.

#include "gpslink/serialdevice.h"
#include "gpslink/wakeevent.h"
#include "shell/core/filedescriptor.h"

#include <atomic>
#include <chrono>

namespace velocimo {

// How long a read inside a line lets bytes gather first: what 240 bytes take at the line's
// speed, more than a one-second burst of RMC, GGA and GSA (about 200 bytes). Such a burst
// thus costs two wake-ups, its first bytes and the rest, instead of one per write of the
// sender. A line reaches the handlers at most this long after its last byte: half a second
// at 4800 baud, a quarter at 9600, well inside the one-second tick that shows it.
int lineGatherMs(int32_t baudRate);
// Before the line's speed is known.
inline constexpr int kLineGatherMs = 250;
// The gather after one that found `bytes` ready after `elapsed`: lineGatherMs at the faster of
// the line's speed and the pace seen. A pseudo-terminal or a USB receiver ignores the speed
// set and may bring many times what the line could; gathering for the line's speed would
// only hold its lines back, and let a sender that drops what queues up tear them.
int nextGatherMs(int32_t baudRate, std::size_t bytes, std::chrono::microseconds elapsed);

class SerialPort : public SerialDevice {
public:
    // The longest writes may wait for room, all of them together until the next open:
    // they run on the window's thread.
    static constexpr std::chrono::milliseconds kWriteLimit{500};
    // readTimeout > 0 replaces the timeout taken from the configured timeouts (tests only).
    explicit SerialPort(std::chrono::milliseconds readTimeout = std::chrono::milliseconds(0));
    ~SerialPort() override;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    bool open(const std::string& path) override;
    bool isOpen() const override { return m_fd.valid(); }
    void write(const uint8_t* data, std::size_t size) override;
    bool getLineState(LineState& state) override;
    bool setLineState(const LineState& state) override;
    bool getTimeouts(PortTimeouts& timeouts) override;
    bool setTimeouts(const PortTimeouts& timeouts) override;
    void purge() override;
    void close() override;
    void interrupt() override;
    bool hungUp() const override { return m_hungUp.load(); }
    bool readPortByte(uint8_t& byte) override;
    std::size_t readBytes(uint8_t* buffer, std::size_t capacity) override;
    std::size_t readRestOfLine(uint8_t* buffer, std::size_t capacity) override;
    // How long the next read inside a line lets bytes gather.
    int gatherMs() const { return m_gatherMs.load(); }

private:
    std::size_t read(uint8_t* buffer, std::size_t capacity, int gatherMs);
    // Milliseconds one read may wait; -1 for no limit.
    int readWaitMs() const;

    FileDescriptor m_fd;
    // Signalled by interrupt(); lives as long as the port object.
    WakeEvent m_wake;
    PortTimeouts m_timeouts;
    std::chrono::milliseconds m_readTimeoutOverride;
    std::atomic<bool> m_hungUp{false};
    // Set with the line state; the reader adjusts the gather to the pace it sees.
    std::atomic<int32_t> m_baudRate{0};
    std::atomic<int> m_gatherMs{kLineGatherMs};
    // A write has waited its limit out: the rest only take what fits at once.
    bool m_writeStalled = false;
};

} // namespace velocimo
