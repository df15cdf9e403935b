#pragma once

// The operations the link needs from a serial device. One real implementation
// (SerialPort, termios) and, in tests, fakes that script reads or fail a chosen step.

#include "gpslink/framing.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <termios.h>

namespace velocimo {

// Read and write timeouts in milliseconds, as the link configures them. With one byte
// requested a read waits at most readTotalMultiplier + readTotalConstant.
struct PortTimeouts {
    uint32_t readInterval = 0;
    uint32_t readTotalMultiplier = 0;
    uint32_t readTotalConstant = 0;
    uint32_t writeTotalMultiplier = 0;
    uint32_t writeTotalConstant = 0;

    friend bool operator==(const PortTimeouts&, const PortTimeouts&) = default;
};

enum class Parity { None, Odd, Even };
enum class StopBits { One, Two };

// The line state is the termios record; DTR and RTS are dropped whenever it is written.
using LineState = termios;

// Writes the receiver's line parameters into a line state read from the port: raw bytes,
// the given speed and framing, receiver on, modem lines ignored, no hardware or software
// flow control. Everything else keeps its value. False for a speed termios cannot express
// or a data-bit count other than 5 to 8 (the state is then unchanged).
bool applyLineParameters(LineState& state, int32_t baudRate, int32_t dataBits, bool parityCheck,
                         Parity parity, StopBits stopBits);

class SerialDevice : public ByteSource {
public:
    // Opens the device exclusively; false if it does not exist or someone else has it.
    virtual bool open(const std::string& path) = 0;
    virtual bool isOpen() const = 0;
    // Results are not reported: the only writes are best-effort receiver set-up.
    virtual void write(const uint8_t* data, std::size_t size) = 0;
    virtual bool getLineState(LineState& state) = 0;
    virtual bool setLineState(const LineState& state) = 0;
    virtual bool getTimeouts(PortTimeouts& timeouts) = 0;
    virtual bool setTimeouts(const PortTimeouts& timeouts) = 0;
    // Discards pending input and output.
    virtual void purge() = 0;
    virtual void close() = 0;
    // Any thread: a read in progress (or the next one) returns at once without a byte.
    // Cleared by the next open.
    virtual void interrupt() = 0;
    // The device reported a hang-up or its removal since it was opened: it will not come
    // back under this descriptor.
    virtual bool hungUp() const { return false; }
};

} // namespace velocimo
