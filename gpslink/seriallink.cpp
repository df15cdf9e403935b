#include "gpslink/seriallink.h"

#include "gpslink/netsource.h"

#include <system_error>

namespace velocimo {

int32_t startingBaudRate(int32_t stored) {
    if (stored == 0) {
        return kBaudSearchOrder[0];
    }
    for (int32_t rate : kBaudRates) {
        if (rate == stored) {
            return rate;
        }
    }
    return 4800;
}

bool listenForCheckedLines(ByteSource& source, int lines,
                           std::chrono::steady_clock::time_point deadline,
                           const std::function<bool()>& keepGoing) {
    char16_t text[kLineBufferSize] = {};
    std::size_t length = 0;
    bool overlong = false;
    int good = 0;
    while (good < lines && keepGoing() && std::chrono::steady_clock::now() < deadline) {
        uint8_t byte = 0;
        if (!source.readPortByte(byte)) {
            continue;
        }
        if (byte == '\r' || byte == '\n') {
            if (!overlong && length > 0 && checksumMatches(std::u16string_view(text, length))) {
                ++good;
            }
            length = 0;
            overlong = false;
        } else if (byte == '$') {
            // Whatever came before belongs to a line we joined half-way.
            text[0] = u'$';
            length = 1;
            overlong = false;
        } else if (length > 0 && length < kMaxLineBytes) {
            text[length++] = byte;
        } else if (length > 0) {
            overlong = true;
        }
    }
    return good >= lines;
}

namespace {

void writeSirfSentences(SerialDevice& device) {
    for (std::string_view sentence : kSirfSetup) {
        device.write(reinterpret_cast<const uint8_t*>(sentence.data()), sentence.size());
    }
}

} // namespace

SerialLink::SerialLink(LiveRecord& record, SentenceHandlers& handlers, FixSoundSink* sounds,
                       LinkEvents* events, PortResolver resolvePort,
                       std::unique_ptr<SerialDevice> device)
    : m_record(record), m_handlers(handlers), m_sounds(sounds), m_events(events),
      m_resolvePort(std::move(resolvePort)),
      m_device(device ? std::move(device) : std::make_unique<ReceiverDevice>()) {}

SerialLink::~SerialLink() {
    closeGps();
    std::thread reader;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        reader = std::move(m_reader);
    }
    if (reader.joinable()) {
        if (reader.get_id() == std::this_thread::get_id()) {
            reader.detach();
        } else {
            reader.join();
        }
    }
}

void SerialLink::joinFinishedReader() {
    std::thread finished;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_reader.joinable() || m_readerRunning.load() ||
            m_reader.get_id() == std::this_thread::get_id()) {
            return;
        }
        finished = std::move(m_reader);
    }
    // Its loop flag is clear, so at most it is finishing its last pass.
    finished.join();
}

OpenResult SerialLink::openGps(const PortNameText& portName, bool sirfSetup) {
    joinFinishedReader();
    ReceiverOptions options;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        options = m_options;
    }
    // Nothing goes to a receiver whose rate is not known yet.
    const bool search = options.baudRate == 0;
    if (!openPort(portName, sirfSetup && !search)) {
        return OpenResult::OpenFailed;
    }
    if (const OpenResult r = configurePort(startingBaudRate(options.baudRate), 8, false,
                                           Parity::None, StopBits::One);
        r != OpenResult::Opened) {
        return r;
    }
    if (const OpenResult r = setPortTimeouts(100, 1, 1000, 0, 0); r != OpenResult::Opened) {
        return r;
    }

    // The flag is set before the thread exists: a close that comes first must not be
    // overwritten by the reader starting late.
    m_readerRunning.store(true);
    try {
        std::lock_guard<std::mutex> lock(m_mutex);
        // No reader is left to read it: an earlier one has been joined.
        m_readerDispatch = options.dispatch;
        m_reader = std::thread([this, search, sirfSetup] { readerMain(search, sirfSetup); });
    } catch (const std::system_error&) {
        // Without a reader nothing would ever arrive and the watchdog could not notice:
        // this is a failed open, not a silent connection.
        m_readerRunning.store(false);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_device->close();
            m_handleRecorded = false;
            m_portOpen.store(false);
        }
        return OpenResult::ReaderFailed;
    }
    return OpenResult::Opened;
}

bool SerialLink::openPort(const PortNameText& portName, bool sirfSetup) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_handleRecorded) {
        // Left by a failed configuration. A live connection is never torn down from here;
        // a handle that is still open is closed rather than leaked.
        if (!m_readerRunning.load()) {
            if (m_device->isOpen()) {
                m_device->close();
            }
            m_handleRecorded = false;
        }
        return false;
    }
    const std::string path = m_resolvePort ? m_resolvePort(portName.view()) : std::string();
    if (!m_device->open(path)) {
        m_handleRecorded = false;
        m_portOpen.store(false);
        return false;
    }
    m_handleRecorded = true;
    if (sirfSetup) {
        writeSirfSentences(*m_device);
    }
    m_portOpen.store(true);
    return true;
}

OpenResult SerialLink::configurePort(int32_t baudRate, int32_t dataBits, bool parityCheck,
                                     Parity parity, StopBits stopBits) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_device->getLineState(m_lineState)) {
        m_device->close();
        return OpenResult::GetStateFailed;
    }
    if (!applyLineParameters(m_lineState, baudRate, dataBits, parityCheck, parity, stopBits) ||
        !m_device->setLineState(m_lineState)) {
        m_device->close();
        return OpenResult::SetStateFailed;
    }
    return OpenResult::Opened;
}

OpenResult SerialLink::setPortTimeouts(uint32_t readInterval, uint32_t readMultiplier,
                                       uint32_t readConstant, uint32_t writeMultiplier,
                                       uint32_t writeConstant) {
    std::lock_guard<std::mutex> lock(m_mutex);
    // The handle stays open here: the next open finds it on record and closes it.
    if (!m_device->getTimeouts(m_timeouts)) {
        return OpenResult::GetTimeoutsFailed;
    }
    m_timeouts.readInterval = readInterval;
    m_timeouts.readTotalMultiplier = readMultiplier;
    m_timeouts.readTotalConstant = readConstant;
    m_timeouts.writeTotalMultiplier = writeMultiplier;
    m_timeouts.writeTotalConstant = writeConstant;
    if (!m_device->setTimeouts(m_timeouts)) {
        m_device->close();
        return OpenResult::SetTimeoutsFailed;
    }
    return OpenResult::Opened;
}

bool SerialLink::closeGps() {
    std::thread reader;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_portOpen.load()) {
            return false;
        }
        // Clearing the flag here claims the close: a second caller returns false.
        m_portOpen.store(false);
        m_readerRunning.store(false);
        m_device->interrupt();
        if (m_reader.joinable() && m_reader.get_id() != std::this_thread::get_id()) {
            reader = std::move(m_reader);
        }
    }
    // The reader leaves its read at once; the port is closed only after it has gone.
    if (reader.joinable()) {
        reader.join();
    }
    m_record.update([](NavState& nav) { clearFixStatus(nav); });
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_device->isOpen()) {
            m_device->purge();
            m_device->close();
        }
        m_handleRecorded = false;
    }
    if (m_sounds) {
        m_sounds->fixLost();
    }
    return true;
}

void SerialLink::setReceiverOptions(const ReceiverOptions& options) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_options = options;
}

bool SerialLink::setBaudRate(int32_t rate) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_device->isOpen() ||
        !applyLineParameters(m_lineState, rate, 8, false, Parity::None, StopBits::One) ||
        !m_device->setLineState(m_lineState)) {
        return false;
    }
    // What arrived at the last rate is noise at this one.
    m_device->purge();
    return true;
}

int32_t SerialLink::searchBaudRate() {
    const auto keepGoing = [this] { return m_readerRunning.load(); };
    // Short reads while listening, so a silent rate ends on time rather than up to a second
    // late; the reader's own one-second reads come back before it starts.
    const auto readFor = [this](uint32_t milliseconds) {
        std::lock_guard<std::mutex> lock(m_mutex);
        PortTimeouts timeouts = m_timeouts;
        timeouts.readTotalConstant = milliseconds;
        if (m_device->isOpen()) {
            m_device->setTimeouts(timeouts);
        }
    };
    readFor(kBaudSearchReadMs);
    struct Restore {
        decltype(readFor)& apply;
        uint32_t milliseconds;
        ~Restore() { apply(milliseconds); }
    } restore{readFor, m_timeouts.readTotalConstant};
    for (int32_t rate : kBaudSearchOrder) {
        if (!keepGoing()) {
            return 0;
        }
        m_searchRate.store(rate);
        if (!setBaudRate(rate)) {
            continue;
        }
        const auto deadline = std::chrono::steady_clock::now() + m_searchListen;
        if (listenForCheckedLines(*m_device, kBaudSearchLines, deadline, keepGoing)) {
            return rate;
        }
    }
    return 0;
}

void SerialLink::writeSirfSetup() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_device->isOpen()) {
        return;
    }
    writeSirfSentences(*m_device);
}

void SerialLink::readerMain(bool search, bool sirfSetup) {
    if (search) {
        const int32_t rate = searchBaudRate();
        m_searchRate.store(0);
        if (rate == 0) {
            // A Close during the search has already taken the connection down: no report.
            if (m_readerRunning.load()) {
                m_record.update([](NavState& nav) { nav.gpsConnected = false; });
                if (closeGps() && m_events) {
                    m_events->baudSearchFailed();
                }
            }
            return;
        }
        if (sirfSetup) {
            writeSirfSetup();
        }
    }
    readerLoop();
}

void SerialLink::readerLoop() {
    int32_t emptyReads = 0;
    // One per connection: nothing read from an earlier port is framed on a later one.
    ReadBuffer buffer(*m_device);
    do {
        if (!m_portOpen.load() || !m_device->isOpen()) {
            continue;
        }
        const bool firstArrived = readLinePass(buffer, m_handlers, m_readerDispatch, m_tap);
        const bool fixValid = m_record.read([](const NavState& nav) { return nav.fixValid; });
        emptyReads = (!firstArrived && fixValid) ? emptyReads + 1 : 0;
        // A device that has hung up is gone whether or not it had a fix.
        if (emptyReads == kWatchdogReads || m_device->hungUp()) {
            m_record.update([](NavState& nav) { nav.gpsConnected = false; });
            closeGps();
            if (m_events) {
                m_events->dataFlowInterrupted();
            }
        }
    } while (m_readerRunning.load());
}

} // namespace velocimo
