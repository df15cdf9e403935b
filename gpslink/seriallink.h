#pragma once

// The connection to the receiver: opening and configuring the port, the reader thread that
// frames and dispatches its sentences, the data watchdog, and the close.

#include "gpslink/serialdevice.h"
#include "nmea/handlers.h"
#include "shell/core/fixsound.h"
#include "shell/core/liverecord.h"
#include "shell/core/platform.h"
#include "shell/core/portname.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace velocimo {

inline constexpr std::u16string_view kOpenFailedText =
    u"Could not open port!\n\nPort may already be open";
inline constexpr std::u16string_view kConfigureFailedText = u"Could not configure port!";
inline constexpr std::u16string_view kTimeoutsFailedText = u"Could not set port timeouts!";
inline constexpr std::u16string_view kGetStateFailedText = u"GetCommState Error";
inline constexpr std::u16string_view kSetStateFailedText = u"SetCommState Error";
inline constexpr std::u16string_view kSetTimeoutsFailedText = u"SetCommTimeouts function failed";
inline constexpr std::u16string_view kReaderFailedText = u"Could not start the GPS reader!";
inline constexpr std::u16string_view kDataFlowText =
    u"Data flow interrupted!\n\nGPS may have disconnected, please check connection.";

// Consecutive empty first reads, with a valid fix, after which the data flow counts as lost.
inline constexpr int32_t kWatchdogReads = 20;

// The three SiRF rate-control sentences (RMC, GGA, GSA once a second), 25 bytes each.
inline constexpr std::string_view kSirfSetup[3] = {
    "$PSRF103,04,00,01,01*21\r\n",
    "$PSRF103,00,00,01,01*25\r\n",
    "$PSRF103,02,00,01,01*27\r\n",
};

class SerialLink {
public:
    using StopTimer = std::function<void()>;
    using PortResolver = std::function<std::string(std::u16string_view)>;

    // stopTimer is called on the reader thread when the watchdog fires; it must hand the
    // request over and return, never wait for the main thread (which may be joining the
    // reader in closeGps). resolvePort turns a port name ("COM1:") into a device path.
    // Without a device a SerialPort is used.
    SerialLink(LiveRecord& record, SentenceHandlers& handlers, FixSoundSink* sounds,
               MessageBoxService& messages, StopTimer stopTimer, PortResolver resolvePort,
               std::unique_ptr<SerialDevice> device = nullptr);
    // Closes an open connection (with its lost-fix sound) and joins the reader.
    ~SerialLink();
    SerialLink(const SerialLink&) = delete;
    SerialLink& operator=(const SerialLink&) = delete;

    // Main thread. Opens portName, optionally sends the SiRF set-up, configures 4800 8N1 and
    // the timeouts, and starts the reader. Failures are shown in message boxes.
    bool openGps(const PortNameText& portName, bool sirfSetup);
    // Any thread. Stops and joins the reader (unless called by it), clears the fix status,
    // closes the port and plays the lost-fix sound. False, with nothing done, when no port
    // was open. Never call it with the live record locked: the reader may be waiting for it.
    bool closeGps();

    // True while the reader thread runs its loop.
    bool readerRunning() const { return m_readerRunning.load(); }
    bool portOpen() const { return m_portOpen.load(); }

private:
    bool openPort(const PortNameText& portName, bool sirfSetup);
    bool configurePort(int32_t baudRate, int32_t dataBits, bool parityCheck, Parity parity,
                       StopBits stopBits);
    bool setPortTimeouts(uint32_t readInterval, uint32_t readMultiplier, uint32_t readConstant,
                         uint32_t writeMultiplier, uint32_t writeConstant);
    void readerLoop();
    // Joins a reader that has finished its loop; not one that is still running.
    void joinFinishedReader();
    void showStop(std::u16string_view text, std::u16string_view caption, bool topmost);

    LiveRecord& m_record;
    SentenceHandlers& m_handlers;
    FixSoundSink* m_sounds;
    MessageBoxService& m_messages;
    StopTimer m_stopTimer;
    PortResolver m_resolvePort;
    std::unique_ptr<SerialDevice> m_device;

    // Guards m_handleRecorded, the device's open and close, and m_reader.
    std::mutex m_mutex;
    // A handle from an attempt is still on record (it may already be closed).
    bool m_handleRecorded = false;
    std::thread m_reader;
    std::atomic<bool> m_portOpen{false};
    std::atomic<bool> m_readerRunning{false};
    LineState m_lineState{};
    PortTimeouts m_timeouts;
};

} // namespace velocimo
