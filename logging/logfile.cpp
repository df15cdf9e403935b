#include "logging/logfile.h"

#include "logging/logformat.h"
#include "shell/core/filedescriptor.h"
#include "shell/core/utf.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velocimo {

bool logFileName(std::u16string_view path, char (&out)[kLogFileNameCapacity]) {
    std::size_t length = 0;
    bool fits = true;
    encodeUtf8(path, u'?', [&](char c) {
        if (length + 1 < kLogFileNameCapacity) {
            out[length++] = c;
        } else {
            fits = false;
        }
    });
    if (!fits || std::memchr(out, 0, length) != nullptr) {
        return false;
    }
    out[length] = 0;
    return true;
}

bool appendLogRecord(const Settings& settings, const LogFieldSet& fields, const NavState& nav) {
    if (settings.logFilePath.empty()) {
        return false;
    }
    // Header and record go out in one write, so a reader never sees a header alone.
    char lines[2 * kLogLineCapacity];
    char name[kLogFileNameCapacity];
    if (!logFileName(settings.logFilePath.view(), name)) {
        return false;
    }

    // O_EXCL tells honestly whether this call created the file; only then is a header due.
    bool created = true;
    FileDescriptor fd(::open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666));
    if (!fd && errno == EEXIST) {
        created = false;
        fd.reset(::open(name, O_WRONLY | O_APPEND | O_CLOEXEC | O_NOCTTY));
    }
    if (!fd) {
        return false;
    }
    // A file another program holds locked counts as one that cannot be opened.
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        return false;
    }

    std::size_t length = 0;
    if (created) {
        length = formatLogHeader(fields, lines, kLogLineCapacity);
    }
    const std::size_t record = formatLogRecord(fields, nav, lines + length, kLogLineCapacity);

    struct stat before {};
    const bool regular = ::fstat(fd.get(), &before) == 0 && S_ISREG(before.st_mode);
    bool ok = (length > 0 || !created) && record > 0;
    if (ok) {
        ok = writeAll(fd.get(), std::string_view(lines, length + record));
    }
    if (!ok && regular) {
        if (created) {
            // Ours alone (made exclusively, still locked): remove it, so the next tick
            // creates it again with its header.
            ::unlink(name);
        } else {
            // Drop a partly written line so the next record starts on a line of its own.
            if (::ftruncate(fd.get(), before.st_size) != 0) {
                // Nothing more can be done; the next tick tries again.
            }
        }
    }
    return ok;
}

} // namespace velocimo
