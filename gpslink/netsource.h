#pragma once

// Receivers that are not serial devices: a gpsd daemon that shares its receiver, or a TCP
// server sending raw NMEA (phone apps, multiplexers). They stand in for the serial port, so
// the reader, the watchdog and the close work on them unchanged.

#include "gpslink/serialdevice.h"
#include "gpslink/serialport.h"
#include "gpslink/wakeevent.h"
#include "shell/core/filedescriptor.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace velocimo {

enum class SourceKind { Device, Gpsd, Tcp };

struct SourceAddress {
    SourceKind kind = SourceKind::Device;
    // The device path for a device, the host name or address otherwise.
    std::string host;
    uint16_t port = 0;

    friend bool operator==(const SourceAddress&, const SourceAddress&) = default;
};

inline constexpr uint16_t kGpsdDefaultPort = 2947;

// True for an entry naming a network source ("gpsd:" or "tcp:", any case), well formed or not.
bool isNetworkSource(std::string_view entry);
// Splits a Ports entry: "gpsd://HOST[:PORT]" (localhost and 2947 when left out),
// "tcp://HOST:PORT", "[v6]" hosts in brackets, or anything else as a device path.
// False for a network entry that is malformed (no host for tcp, no or a bad port).
bool parseSourceAddress(std::string_view entry, SourceAddress& address);
// The entry for an address, as parseSourceAddress reads it.
std::string formatSourceAddress(const SourceAddress& address);

// How a connection attempt ended.
enum class ConnectOutcome { Connected, Refused, NoAnswer, BadAddress };

// Connects a stream socket with a deadline (numeric hosts and names alike); the socket is
// valid only when Connected.
ConnectOutcome connectTo(const std::string& host, uint16_t port, std::chrono::milliseconds limit,
                         FileDescriptor& socket);

class NetSource : public SerialDevice {
public:
    explicit NetSource(std::chrono::milliseconds connectLimit = std::chrono::milliseconds(1500));
    ~NetSource() override;
    NetSource(const NetSource&) = delete;
    NetSource& operator=(const NetSource&) = delete;

    // Connects to a gpsd:// or tcp:// entry; for gpsd asks for the NMEA it relays.
    bool open(const std::string& path) override;
    bool isOpen() const override { return m_socket.valid(); }
    // Passed on to a TCP server (which may be a serial bridge); gpsd would only complain.
    void write(const uint8_t* data, std::size_t size) override;
    // There is no line to set up: these succeed and change nothing.
    bool getLineState(LineState& state) override;
    bool setLineState(const LineState& state) override;
    bool getTimeouts(PortTimeouts& timeouts) override;
    bool setTimeouts(const PortTimeouts& timeouts) override;
    void purge() override;
    void close() override;
    void interrupt() override;
    bool readPortByte(uint8_t& byte) override;

private:
    // Takes the next byte from the buffer, skipping gpsd's JSON lines.
    bool takeBuffered(uint8_t& byte);

    FileDescriptor m_socket;
    WakeEvent m_wake;
    PortTimeouts m_timeouts;
    std::chrono::milliseconds m_connectLimit;
    bool m_gpsd = false;
    bool m_peerGone = false;
    bool m_atLineStart = true;
    bool m_skippingLine = false;
    uint8_t m_buffer[4096] = {};
    std::size_t m_begin = 0;
    std::size_t m_end = 0;
};

// The device the link opens: a serial port for a device path, a NetSource for a network
// entry, chosen on each open.
class ReceiverDevice : public SerialDevice {
public:
    ReceiverDevice() = default;

    bool open(const std::string& path) override;
    bool isOpen() const override { return active().isOpen(); }
    void write(const uint8_t* data, std::size_t size) override { active().write(data, size); }
    bool getLineState(LineState& state) override { return active().getLineState(state); }
    bool setLineState(const LineState& state) override { return active().setLineState(state); }
    bool getTimeouts(PortTimeouts& timeouts) override { return active().getTimeouts(timeouts); }
    bool setTimeouts(const PortTimeouts& timeouts) override {
        return active().setTimeouts(timeouts);
    }
    void purge() override { active().purge(); }
    void close() override { active().close(); }
    // Both, so a wake-up requested before an open still reaches whichever one opens.
    void interrupt() override;
    bool hungUp() const override { return active().hungUp(); }
    bool readPortByte(uint8_t& byte) override { return active().readPortByte(byte); }
    std::size_t readBytes(uint8_t* buffer, std::size_t capacity) override {
        return active().readBytes(buffer, capacity);
    }
    std::size_t readRestOfLine(uint8_t* buffer, std::size_t capacity) override {
        return active().readRestOfLine(buffer, capacity);
    }

private:
    SerialDevice& active();
    const SerialDevice& active() const;

    SerialPort m_serial;
    NetSource m_net;
    std::atomic<bool> m_netActive{false};
};

} // namespace velocimo
