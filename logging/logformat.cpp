#include "logging/logformat.h"

#include "shell/core/utf.h"

namespace velocimo {

namespace {

// Builds one line in a caller buffer. Texts go out as UTF-8 with '?' for an unpaired
// surrogate. Any overflow spoils the line.
class LineWriter {
public:
    LineWriter(char* out, std::size_t capacity) : m_out(out), m_capacity(capacity) {}

    void item(std::u16string_view text) {
        separate();
        encodeUtf8(text, u'?', [this](char c) { putByte(c); });
    }
    void item(std::string_view ascii) {
        separate();
        for (char c : ascii) {
            putByte(c);
        }
    }
    // Ends the line with CR LF; returns its length, or 0 when it did not fit.
    std::size_t finish() {
        putByte('\r');
        putByte('\n');
        return m_overflow ? 0 : m_length;
    }

private:
    void separate() {
        if (m_items++ > 0) {
            putByte(',');
        }
    }
    void putByte(char c) {
        if (m_length < m_capacity) {
            m_out[m_length++] = c;
        } else {
            m_overflow = true;
        }
    }

    char* m_out;
    std::size_t m_capacity;
    std::size_t m_length = 0;
    std::size_t m_items = 0;
    bool m_overflow = false;
};

} // namespace

std::size_t formatLogHeader(const LogFieldSet& fields, char* out, std::size_t capacity) {
    LineWriter line(out, capacity);
    for (const LogFieldInfo& field : logFields()) {
        if (fields.*field.flag) {
            line.item(field.csvHeader);
        }
    }
    return line.finish();
}

std::size_t formatLogRecord(const LogFieldSet& fields, const NavState& nav, char* out,
                            std::size_t capacity) {
    LineWriter line(out, capacity);
    for (const LogFieldInfo& field : logFields()) {
        if (fields.*field.flag) {
            const LogFieldTexts texts = field.texts(nav);
            for (int i = 0; i < field.columns; ++i) {
                line.item(texts[static_cast<std::size_t>(i)]);
            }
        }
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

} // namespace velocimo
