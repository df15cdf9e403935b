#include "trip/tzrules.h"

#include "trip/timecount.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace velocimo {

namespace {

constexpr int32_t kDay = 86400;
constexpr int32_t kMaxRuleSeconds = 167 * 3600 + 59 * 60 + 59;
constexpr int32_t kMaxOffsetSeconds = 24 * 3600 + 59 * 60 + 59;

class Cursor {
public:
    explicit Cursor(std::string_view text) : m_text(text) {}
    bool atEnd() const { return m_pos >= m_text.size(); }
    char peek() const { return atEnd() ? '\0' : m_text[m_pos]; }
    bool take(char c) {
        if (peek() != c || atEnd()) {
            return false;
        }
        ++m_pos;
        return true;
    }
    // Up to maxDigits decimal digits; at least one.
    bool number(int maxDigits, int& value) {
        int digits = 0;
        value = 0;
        while (digits < maxDigits && !atEnd() && peek() >= '0' && peek() <= '9') {
            value = value * 10 + (peek() - '0');
            ++m_pos;
            ++digits;
        }
        return digits > 0;
    }
    std::size_t pos() const { return m_pos; }
    std::string_view text() const { return m_text; }
    void advance(std::size_t n) { m_pos += n; }

private:
    std::string_view m_text;
    std::size_t m_pos = 0;
};

bool isAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool parseName(Cursor& in, char (&out)[32]) {
    std::size_t length = 0;
    auto keep = [&](char c) {
        if (length < sizeof(out) - 1) {
            out[length++] = c;
        }
    };
    if (in.take('<')) {
        std::size_t count = 0;
        while (!in.atEnd() && in.peek() != '>') {
            const char c = in.peek();
            if (!isAlpha(c) && !isDigit(c) && c != '+' && c != '-') {
                return false;
            }
            keep(c);
            in.advance(1);
            ++count;
        }
        if (!in.take('>') || count < 3) {
            return false;
        }
    } else {
        std::size_t count = 0;
        while (!in.atEnd() && isAlpha(in.peek())) {
            keep(in.peek());
            in.advance(1);
            ++count;
        }
        if (count < 3) {
            return false;
        }
    }
    out[length] = '\0';
    return true;
}

// [+-]hh[:mm[:ss]]
bool parseTime(Cursor& in, int32_t maxSeconds, int32_t& seconds) {
    int sign = 1;
    if (in.take('-')) {
        sign = -1;
    } else {
        in.take('+');
    }
    int h = 0;
    int m = 0;
    int s = 0;
    if (!in.number(3, h)) {
        return false;
    }
    if (in.take(':')) {
        if (!in.number(2, m) || m > 59) {
            return false;
        }
        if (in.take(':') && (!in.number(2, s) || s > 59)) {
            return false;
        }
    }
    const int32_t total = (h * 60 + m) * 60 + s;
    if (total > maxSeconds) {
        return false;
    }
    seconds = sign * total;
    return true;
}

bool parseRule(Cursor& in, PosixRule& rule) {
    rule = PosixRule{};
    if (in.take('M')) {
        rule.kind = PosixRule::Kind::MonthWeekDay;
        if (!in.number(2, rule.month) || rule.month < 1 || rule.month > 12 || !in.take('.') ||
            !in.number(1, rule.week) || rule.week < 1 || rule.week > 5 || !in.take('.') ||
            !in.number(1, rule.weekday) || rule.weekday > 6) {
            return false;
        }
    } else if (in.take('J')) {
        rule.kind = PosixRule::Kind::Julian1;
        if (!in.number(3, rule.day) || rule.day < 1 || rule.day > 365) {
            return false;
        }
    } else {
        rule.kind = PosixRule::Kind::Julian0;
        if (!in.number(3, rule.day) || rule.day > 365) {
            return false;
        }
    }
    if (in.take('/')) {
        return parseTime(in, kMaxRuleSeconds, rule.timeSeconds);
    }
    return true;
}

bool fitsWeekdayRule(const PosixRule& rule) {
    return rule.kind == PosixRule::Kind::MonthWeekDay && rule.timeSeconds >= 0 &&
           rule.timeSeconds < kDay;
}

// 00:00 local of the rule's day in `year`, as a count.
bool ruleDayCount(const PosixRule& rule, int year, int64_t& count) {
    SystemTime date;
    date.year = static_cast<uint16_t>(year);
    if (rule.kind == PosixRule::Kind::MonthWeekDay) {
        date.month = static_cast<uint16_t>(rule.month);
        date.day = 1;
        const int first = dayOfWeek(1, rule.month, year);
        int day = 1 + (rule.weekday - first + 7) % 7 + 7 * (rule.week - 1);
        while (day > monthLength(rule.month, year)) {
            day -= 7;
        }
        date.day = static_cast<uint16_t>(day);
        return systemTimeToCount(date, count);
    }
    date.month = 1;
    date.day = 1;
    if (!systemTimeToCount(date, count)) {
        return false;
    }
    int offset = rule.day; // zero-based day of the year
    if (rule.kind == PosixRule::Kind::Julian1) {
        offset = rule.day - 1;
        // Jn never counts 29 February: from 1 March on it is one day further.
        if (isLeapYear(year) && rule.day >= 60) {
            ++offset;
        }
    }
    count += offset * kTicksPerDay;
    return true;
}

bool ruleCount(const PosixRule& rule, int year, int64_t& count) {
    if (!ruleDayCount(rule, year, count)) {
        return false;
    }
    count += static_cast<int64_t>(rule.timeSeconds) * kTicksPerSecond;
    return count >= 0;
}

bool toRecordRule(const PosixRule& rule, int year, SystemTime& out) {
    out = SystemTime{};
    if (fitsWeekdayRule(rule)) {
        out.month = static_cast<uint16_t>(rule.month);
        out.day = static_cast<uint16_t>(rule.week);
        out.dayOfWeek = static_cast<uint16_t>(rule.weekday);
        out.hour = static_cast<uint16_t>(rule.timeSeconds / 3600);
        out.minute = static_cast<uint16_t>(rule.timeSeconds / 60 % 60);
        out.second = static_cast<uint16_t>(rule.timeSeconds % 60);
        return true;
    }
    int64_t count = 0;
    return ruleCount(rule, year, count) && countToSystemTime(count, out);
}

void copyName(const char* from, char16_t (&to)[32]) {
    std::size_t i = 0;
    for (; i < 31 && from[i] != '\0'; ++i) {
        to[i] = static_cast<char16_t>(static_cast<unsigned char>(from[i]));
    }
    to[i] = u'\0';
}

uint32_t be32(const unsigned char* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

struct TzifCounts {
    uint64_t isut = 0, isstd = 0, leap = 0, time = 0, type = 0, chars = 0;
};

constexpr std::size_t kTzifHeader = 44;

bool readHeader(const unsigned char* data, std::size_t size, std::size_t at, TzifCounts& c,
                char& version) {
    if (at > size || size - at < kTzifHeader || std::memcmp(data + at, "TZif", 4) != 0) {
        return false;
    }
    version = static_cast<char>(data[at + 4]);
    const unsigned char* p = data + at + 20;
    c.isut = be32(p);
    c.isstd = be32(p + 4);
    c.leap = be32(p + 8);
    c.time = be32(p + 12);
    c.type = be32(p + 16);
    c.chars = be32(p + 20);
    return true;
}

uint64_t blockSize(const TzifCounts& c, uint64_t timeSize) {
    return c.time * (timeSize + 1) + c.type * 6 + c.chars + c.leap * (timeSize + 4) + c.isstd +
           c.isut;
}

// The offset in force after the last transition of one data block, as a fixed zone.
bool fixedFromBlock(const unsigned char* block, const TzifCounts& c, uint64_t timeSize,
                    PosixZone& zone) {
    if (c.type == 0 || c.chars == 0 || (c.isstd != 0 && c.isstd != c.type) ||
        (c.isut != 0 && c.isut != c.type)) {
        return false;
    }
    const unsigned char* indices = block + c.time * timeSize;
    const unsigned char* types = indices + c.time;
    const unsigned char* chars = types + c.type * 6;
    const uint64_t index = c.time > 0 ? indices[c.time - 1] : 0;
    if (index >= c.type) {
        return false;
    }
    const unsigned char* type = types + index * 6;
    const int32_t utoff = static_cast<int32_t>(be32(type));
    const uint64_t abbr = type[5];
    if (abbr >= c.chars || utoff < -kMaxOffsetSeconds || utoff > kMaxOffsetSeconds) {
        return false;
    }
    zone = PosixZone{};
    zone.standardOffset = -utoff;
    std::size_t i = 0;
    for (; i < sizeof(zone.standardName) - 1 && abbr + i < c.chars && chars[abbr + i] != 0; ++i) {
        zone.standardName[i] = static_cast<char>(chars[abbr + i]);
    }
    zone.standardName[i] = '\0';
    return true;
}

} // namespace

bool parsePosixTz(std::string_view text, PosixZone& zone) {
    PosixZone z;
    Cursor in(text);
    if (!parseName(in, z.standardName) || !parseTime(in, kMaxOffsetSeconds, z.standardOffset)) {
        return false;
    }
    if (!in.atEnd()) {
        if (!parseName(in, z.daylightName)) {
            return false;
        }
        z.hasDaylight = true;
        z.daylightOffset = z.standardOffset - 3600;
        if (!in.atEnd() && in.peek() != ',' &&
            !parseTime(in, kMaxOffsetSeconds, z.daylightOffset)) {
            return false;
        }
        if (in.atEnd()) {
            Cursor defaults(",M3.2.0,M11.1.0");
            defaults.take(',');
            parseRule(defaults, z.start);
            defaults.take(',');
            parseRule(defaults, z.end);
        } else if (!in.take(',') || !parseRule(in, z.start) || !in.take(',') ||
                   !parseRule(in, z.end)) {
            return false;
        }
    }
    if (!in.atEnd()) {
        return false;
    }
    zone = z;
    return true;
}

bool needsYear(const PosixZone& zone) {
    return zone.hasDaylight && (!fitsWeekdayRule(zone.start) || !fitsWeekdayRule(zone.end));
}

TimeZoneInformation toTimeZoneInformation(const PosixZone& posix, int year) {
    // The record's daylight time is ahead of standard time. A zone whose "daylight" offset is
    // behind (Europe/Dublin's winter GMT) is the same zone with the two roles swapped; each
    // rule time stays the clock time in force before its change.
    PosixZone zone = posix;
    if (zone.hasDaylight && zone.daylightOffset > zone.standardOffset) {
        std::swap(zone.standardOffset, zone.daylightOffset);
        std::swap(zone.standardName, zone.daylightName);
        std::swap(zone.start, zone.end);
    }
    TimeZoneInformation info;
    info.bias = zone.standardOffset / 60;
    copyName(zone.standardName, info.standardName);
    copyName(zone.hasDaylight ? zone.daylightName : zone.standardName, info.daylightName);
    if (!zone.hasDaylight) {
        return info;
    }
    info.daylightBias = (zone.daylightOffset - zone.standardOffset) / 60;

    if (needsYear(zone)) {
        // Daylight time from the first to past the last instant of the year is a fixed zone.
        int64_t start = 0;
        int64_t end = 0;
        SystemTime jan1;
        jan1.year = static_cast<uint16_t>(year);
        jan1.month = 1;
        jan1.day = 1;
        int64_t yearStart = 0;
        if (ruleCount(zone.start, year, start) && ruleCount(zone.end, year, end) &&
            systemTimeToCount(jan1, yearStart)) {
            // The end is given in daylight clock time; compare it on the standard clock.
            const int64_t endStandard =
                end +
                static_cast<int64_t>(zone.daylightOffset - zone.standardOffset) * kTicksPerSecond;
            const int64_t yearEnd = yearStart + (isLeapYear(year) ? 366 : 365) * kTicksPerDay;
            if (start <= yearStart && endStandard >= yearEnd) {
                info.bias = zone.daylightOffset / 60;
                info.daylightBias = 0;
                copyName(zone.daylightName, info.standardName);
                return info;
            }
        }
    }

    SystemTime daylightDate;
    SystemTime standardDate;
    if (!toRecordRule(zone.start, year, daylightDate) ||
        !toRecordRule(zone.end, year, standardDate)) {
        info.daylightBias = 0;
        return info;
    }
    info.daylightDate = daylightDate;
    info.standardDate = standardDate;
    return info;
}

bool parseTzif(const unsigned char* data, std::size_t size, PosixZone& zone) {
    TzifCounts v1;
    char version = 0;
    if (!readHeader(data, size, 0, v1, version)) {
        return false;
    }
    const uint64_t v1Size = blockSize(v1, 4);
    if (v1Size > size - kTzifHeader) {
        return false;
    }
    if (version == '\0') {
        return fixedFromBlock(data + kTzifHeader, v1, 4, zone);
    }
    TzifCounts v2;
    char version2 = 0;
    const std::size_t second = kTzifHeader + static_cast<std::size_t>(v1Size);
    if (!readHeader(data, size, second, v2, version2)) {
        return false;
    }
    const uint64_t v2Size = blockSize(v2, 8);
    if (v2Size > size - second - kTzifHeader) {
        return false;
    }
    const std::size_t footer = second + kTzifHeader + static_cast<std::size_t>(v2Size);
    if (footer >= size || data[footer] != '\n') {
        return false;
    }
    const unsigned char* textStart = data + footer + 1;
    const void* newline = std::memchr(textStart, '\n', size - footer - 1);
    if (newline == nullptr) {
        return false;
    }
    const std::size_t length =
        static_cast<std::size_t>(static_cast<const unsigned char*>(newline) - textStart);
    if (length == 0) {
        return fixedFromBlock(data + second + kTzifHeader, v2, 8, zone);
    }
    // A footer this reader does not understand still leaves the last offset in force.
    return parsePosixTz(std::string_view(reinterpret_cast<const char*>(textStart), length), zone) ||
           fixedFromBlock(data + second + kTzifHeader, v2, 8, zone);
}

namespace {

struct FileIdentity {
    bool found = false;
    dev_t device = 0;
    ino_t inode = 0;
    int64_t mtimeSeconds = 0;
    long mtimeNanoseconds = 0;
    off_t size = 0;

    static FileIdentity of(const struct stat& st) {
        FileIdentity id;
        id.found = S_ISREG(st.st_mode);
        id.device = st.st_dev;
        id.inode = st.st_ino;
        id.mtimeSeconds = st.st_mtim.tv_sec;
        id.mtimeNanoseconds = st.st_mtim.tv_nsec;
        id.size = st.st_size;
        return id;
    }
    bool operator==(const FileIdentity&) const = default;
};

struct ZoneCache {
    std::mutex mutex;
    bool filled = false;
    bool tzSet = false;
    std::string tz;
    std::string path;
    FileIdentity file;
    bool yearDependent = false;
    int year = 0;
    TimeZoneInformation info;
};

ZoneCache& zoneCache() {
    static ZoneCache cache;
    return cache;
}

int currentUtcYear() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    // Seconds from 1601 to 1970.
    const int64_t count = (static_cast<int64_t>(now.tv_sec) + 11644473600LL) * kTicksPerSecond;
    SystemTime t;
    return countToSystemTime(count, t) ? t.year : 1970;
}

// Reads a whole zone file and the identity of what was read.
bool readZoneFile(const char* path, std::vector<unsigned char>& bytes, FileIdentity& id) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= (1 << 20);
    if (ok) {
        id = FileIdentity::of(st);
        bytes.resize(static_cast<std::size_t>(st.st_size));
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            done += static_cast<std::size_t>(n);
        }
        bytes.resize(done);
    }
    ::close(fd);
    return ok;
}

} // namespace

namespace {

TimeZoneInformation currentSystemZone();
void zoneFilePath(const char* tz, char (&path)[PATH_MAX], bool& posixFallback);
int currentUtcYear();

bool sameValue(bool set, const std::string& known, const char* value) {
    return set == (value != nullptr) && (value == nullptr || known == value);
}

} // namespace

SystemTimeZoneSource::SystemTimeZoneSource(std::function<Clock::time_point()> now)
    : m_now(std::move(now)) {}

TimeZoneInformation SystemTimeZoneSource::timeZone() {
    const char* tz = std::getenv("TZ");
    const char* tzDir = std::getenv("TZDIR");
    const Clock::time_point now = m_now ? m_now() : Clock::now();
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_known && sameValue(m_tzSet, m_tz, tz) && sameValue(m_tzDirSet, m_tzDir, tzDir)) {
        if (now - m_checkedAt < kRecheck) {
            return m_info;
        }
        if (m_watch.valid() && !watchedChange() && currentUtcYear() == m_year) {
            m_checkedAt = now;
            return m_info;
        }
    }
    // Watched first: a change during the look is seen at the next.
    watch(tz);
    m_info = currentSystemZone();
    m_year = currentUtcYear();
    m_known = true;
    m_checkedAt = now;
    m_tzSet = tz != nullptr;
    m_tz = tz ? tz : "";
    m_tzDirSet = tzDir != nullptr;
    m_tzDir = tzDir ? tzDir : "";
    return m_info;
}

void SystemTimeZoneSource::watch(const char* tz) {
    // The folders of the file and of what it links to see it replaced, rewritten or removed.
    constexpr uint32_t kChanges = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                  IN_CLOSE_WRITE | IN_MODIFY | IN_ATTRIB | IN_DELETE_SELF |
                                  IN_MOVE_SELF;
    m_watch.reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    char path[PATH_MAX];
    bool posixFallback = false;
    zoneFilePath(tz, path, posixFallback);
    if (!m_watch.valid() || path[0] == '\0') {
        return;
    }
    // A folder not there yet is watched through the nearest one that is: its making is a
    // change, and the look after it watches the folder itself.
    const auto watchFolderOf = [&](const char* file) {
        char folder[PATH_MAX];
        std::strcpy(folder, file);
        for (;;) {
            char* slash = std::strrchr(folder, '/');
            if (slash == nullptr) {
                std::strcpy(folder, ".");
            } else {
                slash[slash == folder ? 1 : 0] = '\0';
            }
            if (::inotify_add_watch(m_watch.get(), folder, kChanges) >= 0) {
                return true;
            }
            if ((errno != ENOENT && errno != ENOTDIR) || slash == nullptr || slash == folder) {
                return false;
            }
        }
    };
    char target[PATH_MAX];
    if (!watchFolderOf(path) || (::realpath(path, target) != nullptr &&
                                 std::strcmp(target, path) != 0 && !watchFolderOf(target))) {
        m_watch.reset(); // looked at every second instead
    }
}

bool SystemTimeZoneSource::watchedChange() {
    alignas(inotify_event) char events[4096];
    bool changed = false;
    for (;;) {
        const ssize_t n = ::read(m_watch.get(), events, sizeof events);
        if (n > 0) {
            changed = true;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            // Nothing more (EAGAIN), or the watch failed: looked at to be sure.
            return changed || !(n < 0 && errno == EAGAIN);
        }
    }
}

namespace {

// Where a zone file would be: /etc/localtime, or the name in TZ under the zone directory;
// empty for none. posixFallback: TZ may hold rules instead.
void zoneFilePath(const char* tz, char (&path)[PATH_MAX], bool& posixFallback) {
    path[0] = '\0';
    posixFallback = false;
    if (tz == nullptr) {
        std::strcpy(path, "/etc/localtime");
    } else if (tz[0] != '\0') {
        const char* name = tz[0] == ':' ? tz + 1 : tz;
        posixFallback = tz[0] != ':';
        if (name[0] == '/') {
            if (std::strlen(name) < sizeof(path)) {
                std::strcpy(path, name);
            }
        } else if (name[0] != '\0') {
            const char* dir = std::getenv("TZDIR");
            if (dir == nullptr || dir[0] == '\0') {
                dir = "/usr/share/zoneinfo";
            }
            const std::size_t dirLength = std::strlen(dir);
            const std::size_t nameLength = std::strlen(name);
            if (dirLength + 1 + nameLength < sizeof(path)) {
                std::memcpy(path, dir, dirLength);
                path[dirLength] = '/';
                std::memcpy(path + dirLength + 1, name, nameLength + 1);
            }
        }
    }
}

TimeZoneInformation currentSystemZone() {
    const char* tz = std::getenv("TZ");
    char path[PATH_MAX];
    bool posixFallback = false;
    zoneFilePath(tz, path, posixFallback);
    FileIdentity file;
    struct stat st {};
    if (path[0] != '\0' && ::stat(path, &st) == 0) {
        file = FileIdentity::of(st);
    }

    ZoneCache& cache = zoneCache();
    std::lock_guard<std::mutex> lock(cache.mutex);
    const bool tzSet = tz != nullptr;
    if (cache.filled && cache.tzSet == tzSet && (!tzSet || cache.tz == tz) && cache.path == path &&
        cache.file == file && (!cache.yearDependent || cache.year == currentUtcYear())) {
        return cache.info;
    }

    // A zone that cannot be read or parsed is UTC, as in the C library.
    PosixZone zone;
    bool parsed = false;
    if (file.found) {
        std::vector<unsigned char> bytes;
        if (readZoneFile(path, bytes, file)) {
            parsed = parseTzif(bytes.data(), bytes.size(), zone);
        }
    }
    if (!parsed && posixFallback) {
        parsed = parsePosixTz(tz, zone);
    }
    if (!parsed) {
        zone = PosixZone{};
        std::strcpy(zone.standardName, "UTC");
    }
    const bool yearDependent = needsYear(zone);
    const int year = yearDependent ? currentUtcYear() : 0;

    cache.filled = true;
    cache.tzSet = tzSet;
    cache.tz = tzSet ? tz : "";
    cache.path = path;
    cache.file = file;
    cache.yearDependent = yearDependent;
    cache.year = year;
    cache.info = toTimeZoneInformation(zone, year);
    return cache.info;
}

} // namespace

} // namespace velocimo
