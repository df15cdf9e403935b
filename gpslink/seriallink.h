#pragma once

// The connection to the receiver: opening and configuring the port, the reader thread that
// frames and dispatches its sentences, the data watchdog, and the close.

#include "gpslink/serialdevice.h"
#include "nmea/handlers.h"
#include "shell/core/fixsound.h"
#include "shell/core/liverecord.h"
#include "shell/core/portname.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace velocimo {

// How an open ended. Each failure names the step that failed, so the caller can say so.
enum class OpenResult {
    Opened,
    // The device would not open, or a handle from an earlier failed attempt was in the way.
    OpenFailed,
    GetStateFailed,
    SetStateFailed,
    GetTimeoutsFailed,
    SetTimeoutsFailed,
    // The port was set up but no reader thread could be started; the port is closed again.
    ReaderFailed,
};

// What the link tells its owner from the reader thread.
class LinkEvents {
public:
    virtual ~LinkEvents() = default;
    // The watchdog found the data flow gone and has closed the connection. Called on the
    // reader thread: it must hand the news over and return, never wait for the main thread
    // (which may be joining the reader in closeGps).
    virtual void dataFlowInterrupted() = 0;
    // The baud rate search found no rate that carries NMEA and has closed the connection.
    // Called on the reader thread, under the same rules.
    virtual void baudSearchFailed() {}
};

// Consecutive empty first reads, with a valid fix, after which the data flow counts as lost.
inline constexpr int32_t kWatchdogReads = 20;

// The three SiRF rate-control sentences (RMC, GGA, GSA once a second), 25 bytes each.
inline constexpr std::string_view kSirfSetup[3] = {
    "$PSRF103,04,00,01,01*21\r\n",
    "$PSRF103,00,00,01,01*25\r\n",
    "$PSRF103,02,00,01,01*27\r\n",
};

// What the user chose for the receiver; taken when a connection opens.
struct ReceiverOptions {
    DispatchOptions dispatch;
    // 0: search the rates of kBaudSearchOrder.
    int32_t baudRate = 4800;
};

inline constexpr int32_t kBaudRates[] = {4800, 9600, 19200, 38400, 57600, 115200, 230400};
// The common rates first: old receivers, today's modules, fast ones.
inline constexpr int32_t kBaudSearchOrder[] = {4800, 9600, 38400, 115200, 19200, 57600, 230400};
// A rate is found once this many lines with a good checksum arrive within the listening time.
inline constexpr int kBaudSearchLines = 2;
// One read while searching waits at most this long (ms).
inline constexpr uint32_t kBaudSearchReadMs = 100;
inline constexpr std::chrono::milliseconds kBaudSearchListen{1500};

// The rate a connection is configured at first: a stored rate the link knows, the first of the
// search for 0, and 4800 for anything else.
int32_t startingBaudRate(int32_t stored);

// Reads lines until `lines` of them pass the checksum check (true), or until the deadline or
// keepGoing() says stop (false). Reads that bring no byte only cost time.
bool listenForCheckedLines(ByteSource& source, int lines,
                           std::chrono::steady_clock::time_point deadline,
                           const std::function<bool()>& keepGoing);

class SerialLink {
public:
    using PortResolver = std::function<std::string(std::u16string_view)>;

    // events may be null. resolvePort turns a port name ("COM1:") into a device path.
    // Without a device a ReceiverDevice is used.
    SerialLink(LiveRecord& record, SentenceHandlers& handlers, FixSoundSink* sounds,
               LinkEvents* events, PortResolver resolvePort,
               std::unique_ptr<SerialDevice> device = nullptr);
    // Closes an open connection (with its lost-fix sound) and joins the reader.
    ~SerialLink();
    SerialLink(const SerialLink&) = delete;
    SerialLink& operator=(const SerialLink&) = delete;

    // Main thread, before openGps: talkers, checksum check and baud rate of the next open.
    void setReceiverOptions(const ReceiverOptions& options);
    // Main thread. Opens portName, optionally sends the SiRF set-up, configures 8N1 at the
    // chosen rate and the timeouts, and starts the reader. With the automatic rate the reader
    // searches first, and the SiRF set-up waits for the rate it finds.
    OpenResult openGps(const PortNameText& portName, bool sirfSetup);
    // Any thread. Stops and joins the reader (unless called by it), clears the fix status,
    // closes the port and plays the lost-fix sound. False, with nothing done, when no port
    // was open. Never call it with the live record locked: the reader may be waiting for it.
    bool closeGps();

    // True while the reader thread runs its loop.
    bool readerRunning() const { return m_readerRunning.load(); }
    bool portOpen() const { return m_portOpen.load(); }
    // How long the search listens at each rate (tests shorten it).
    void setBaudSearchListen(std::chrono::milliseconds listen) { m_searchListen = listen; }
    // The rate the reader is listening at while it searches; 0 otherwise.
    int32_t searchingBaudRate() const { return m_searchRate.load(); }

private:
    bool openPort(const PortNameText& portName, bool sirfSetup);
    OpenResult configurePort(int32_t baudRate, int32_t dataBits, bool parityCheck, Parity parity,
                             StopBits stopBits);
    OpenResult setPortTimeouts(uint32_t readInterval, uint32_t readMultiplier,
                               uint32_t readConstant, uint32_t writeMultiplier,
                               uint32_t writeConstant);
    void readerLoop();
    // The reader thread: the baud rate search when asked for, then the loop.
    void readerMain(bool search, bool sirfSetup);
    // The first rate of the search order that carries checked lines; 0 for none, or when the
    // connection was closed meanwhile.
    int32_t searchBaudRate();
    bool setBaudRate(int32_t rate);
    void writeSirfSetup();
    // Joins a reader that has finished its loop; not one that is still running.
    void joinFinishedReader();

    LiveRecord& m_record;
    SentenceHandlers& m_handlers;
    FixSoundSink* m_sounds;
    LinkEvents* m_events;
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
    ReceiverOptions m_options;
    // The reader's copy, set before it starts.
    DispatchOptions m_readerDispatch;
    std::atomic<int32_t> m_searchRate{0};
    std::chrono::milliseconds m_searchListen = kBaudSearchListen;
};

} // namespace velocimo
