#include "csvlog.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velocimo {

namespace {

// Builds one line of 8-bit text in a caller buffer. Texts are converted from UTF-16 to
// UTF-8 (ASCII unchanged; an unpaired surrogate becomes '?'). Any overflow spoils the line.
class LineWriter {
public:
    LineWriter(char* out, std::size_t capacity) : m_out(out), m_capacity(capacity) {}

    void item(std::u16string_view text) {
        if (m_items++ > 0) {
            putByte(',');
        }
        putText(text);
    }
    void item(std::string_view ascii) {
        if (m_items++ > 0) {
            putByte(',');
        }
        for (char c : ascii) {
            putByte(c);
        }
    }
    // Text without a separator (a file name).
    void text(std::u16string_view s) { putText(s); }
    // Ends the line with CR LF; returns its length, or 0 when it did not fit.
    std::size_t finish() {
        putByte('\r');
        putByte('\n');
        return m_overflow ? 0 : m_length;
    }

private:
    void putByte(char c) {
        if (m_length < m_capacity) {
            m_out[m_length++] = c;
        } else {
            m_overflow = true;
        }
    }
    void putText(std::u16string_view s) {
        for (std::size_t i = 0; i < s.size(); ++i) {
            char32_t cp = s[i];
            if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
                s[i + 1] <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
                ++i;
            } else if (cp >= 0xD800 && cp <= 0xDFFF) {
                cp = '?';
            }
            if (cp < 0x80) {
                putByte(static_cast<char>(cp));
            } else if (cp < 0x800) {
                putByte(static_cast<char>(0xC0 | (cp >> 6)));
                putByte(static_cast<char>(0x80 | (cp & 0x3F)));
            } else if (cp < 0x10000) {
                putByte(static_cast<char>(0xE0 | (cp >> 12)));
                putByte(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
                putByte(static_cast<char>(0x80 | (cp & 0x3F)));
            } else {
                putByte(static_cast<char>(0xF0 | (cp >> 18)));
                putByte(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
                putByte(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
                putByte(static_cast<char>(0x80 | (cp & 0x3F)));
            }
        }
    }

    char* m_out;
    std::size_t m_capacity;
    std::size_t m_length = 0;
    std::size_t m_items = 0;
    bool m_overflow = false;
};

// The file name for open(), converted without allocating. False when it does not fit or
// holds a zero, which would make open() act on some other name.
bool toFileName(std::u16string_view path, char* out, std::size_t capacity) {
    LineWriter name(out, capacity - 1);
    name.text(path);
    const std::size_t length = name.finish();
    if (length < 2 || std::memchr(out, 0, length - 2) != nullptr) {
        return false;
    }
    out[length - 2] = 0; // over the CR LF
    return true;
}

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (n == 0) {
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

void showNoLogFile(MessageBoxService& messages) {
    MessageRequest request;
    request.text = kNoLogFileMessage;
    request.icon = MessageIcon::Information;
    request.buttons = MessageButtons::Ok;
    request.topmost = true;
    messages.show(request);
}

} // namespace

std::size_t formatLogHeader(const LogFieldSet& fields, char* out, std::size_t capacity) {
    LineWriter line(out, capacity);
    if (fields.logPositionDec) {
        line.item(std::string_view("LAT_DEC,LONG_DEC"));
    }
    if (fields.logPositionDmm) {
        line.item(std::string_view("LAT_DMM,LONG_DMM"));
    }
    if (fields.logElevation) {
        line.item(std::string_view("ELEVATION"));
    }
    if (fields.logSpeedCurrent) {
        line.item(std::string_view("SPEED_CUR"));
    }
    if (fields.logSpeedAverage) {
        line.item(std::string_view("SPEED_AVG"));
    }
    if (fields.logDistanceTrip) {
        line.item(std::string_view("DIST_TRIP"));
    }
    if (fields.logDistanceTotal) {
        line.item(std::string_view("DIST_TOTAL"));
    }
    if (fields.logSatellites) {
        line.item(std::string_view("SATELLITES"));
    }
    if (fields.logHdop) {
        line.item(std::string_view("HDOP"));
    }
    return line.finish();
}

std::size_t formatLogRecord(const LogFieldSet& fields, const NavState& nav, char* out,
                            std::size_t capacity) {
    LineWriter line(out, capacity);
    if (fields.logPositionDec) {
        line.item(nav.latitude.decText.view());
        line.item(nav.longitude.decText.view());
    }
    if (fields.logPositionDmm) {
        line.item(nav.latitude.dmmText.view());
        line.item(nav.longitude.dmmText.view());
    }
    if (fields.logElevation) {
        line.item(nav.elevationText.view());
    }
    if (fields.logSpeedCurrent) {
        line.item(nav.speedText.view());
    }
    if (fields.logSpeedAverage) {
        line.item(nav.averageSpeedText.view());
    }
    if (fields.logDistanceTrip) {
        line.item(nav.tripDistanceText.view());
    }
    if (fields.logDistanceTotal) {
        line.item(nav.totalDistanceText.view());
    }
    if (fields.logSatellites) {
        line.item(nav.satellitesText.view());
    }
    if (fields.logHdop) {
        line.item(nav.hdopText.view());
    }
    return line.finish();
}

std::u16string proposedLogName(const SystemTime& t) {
    FixedText<32> name;
    name.format("VELO_LOG %04d%02d%02d %02d%02d%02d", static_cast<int>(t.year),
                static_cast<int>(t.month), static_cast<int>(t.day), static_cast<int>(t.hour),
                static_cast<int>(t.minute), static_cast<int>(t.second));
    return std::u16string(name.view());
}

std::u16string logFolderOf(std::u16string_view path) {
    const std::size_t cut = path.find_last_of(u"/\\");
    if (cut == std::u16string_view::npos) {
        return {};
    }
    return std::u16string(path.substr(0, cut + 1));
}

bool shouldLog(const Settings& settings, double speed) {
    return settings.loggingOn && speed >= kLogSpeedThreshold;
}

bool chooseLogFile(Settings& settings, FilePicker& picker, Clock& clock) {
    FileRequest request;
    request.title = u"Log";
    request.filterName = u"CSV Files (*.csv)";
    request.filterPattern = u"*.csv";
    request.proposedName = proposedLogName(clock.localNow());
    if (settings.logFileChosen) {
        request.initialFolder = logFolderOf(settings.logFilePath.view());
    }

    const std::u16string chosen = picker.saveFile(request);
    // A path cut to fit the settings text would name some other file.
    if (chosen.empty() || chosen.size() > PathText::kCapacity) {
        return false;
    }
    settings.logFilePath.assign(chosen);
    settings.logFileChosen = true;
    return true;
}

void toggleLogging(Settings& settings, FilePicker& picker, Clock& clock,
                   MessageBoxService& messages) {
    if (settings.loggingOn) {
        settings.loggingOn = false;
        return;
    }
    settings.loggingOn = true;
    if (settings.logFileChosen || chooseLogFile(settings, picker, clock)) {
        return;
    }
    showNoLogFile(messages);
    settings.loggingOn = false;
}

void ensureLogFile(Settings& settings, FilePicker& picker, Clock& clock,
                   MessageBoxService& messages) {
    if (!settings.loggingOn || settings.logFileChosen) {
        return;
    }
    if (!chooseLogFile(settings, picker, clock)) {
        showNoLogFile(messages);
        settings.loggingOn = false;
    }
}

bool appendLogRecord(const Settings& settings, const LogFieldSet& fields, const NavState& nav) {
    if (settings.logFilePath.empty()) {
        return false;
    }
    // Header and record go out in one write, so a reader never sees a header alone.
    char lines[2 * kLogLineCapacity];
    // Each UTF-16 unit of the path takes at most three bytes, plus the CR LF and the zero.
    char name[PathText::kCapacity * 3 + 3];
    if (!toFileName(settings.logFilePath.view(), name, sizeof name)) {
        return false;
    }

    // O_EXCL tells honestly whether this call created the file; only then is a header due.
    bool created = true;
    int fd = ::open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0 && errno == EEXIST) {
        created = false;
        fd = ::open(name, O_WRONLY | O_APPEND | O_CLOEXEC | O_NOCTTY);
    }
    if (fd < 0) {
        return false;
    }
    // A file another program holds locked counts as one that cannot be opened.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }

    std::size_t length = 0;
    if (created) {
        length = formatLogHeader(fields, lines, kLogLineCapacity);
    }
    const std::size_t record = formatLogRecord(fields, nav, lines + length, kLogLineCapacity);

    struct stat before {};
    const bool regular = ::fstat(fd, &before) == 0 && S_ISREG(before.st_mode);
    bool ok = (length > 0 || !created) && record > 0;
    if (ok) {
        ok = writeAll(fd, lines, length + record);
    }
    if (!ok && regular) {
        if (created) {
            // Ours alone (made exclusively, still locked): remove it, so the next tick
            // creates it again with its header.
            ::unlink(name);
        } else {
            // Drop a partly written line so the next record starts on a line of its own.
            if (::ftruncate(fd, before.st_size) != 0) {
                // Nothing more can be done; the next tick tries again.
            }
        }
    }
    ::close(fd);
    return ok;
}

} // namespace velocimo
