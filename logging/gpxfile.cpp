#include "logging/gpxfile.h"

#include "logging/logfile.h"
#include "shell/core/filedescriptor.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velocimo {

namespace {

bool readAt(int fd, char* out, std::size_t size, off_t offset) {
    while (size > 0) {
        const ssize_t n = ::pread(fd, out, size, offset);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        out += n;
        size -= static_cast<std::size_t>(n);
        offset += n;
    }
    return true;
}

bool writeAt(int fd, std::string_view bytes, off_t offset) {
    return ::lseek(fd, offset, SEEK_SET) == offset && writeAll(fd, bytes);
}

} // namespace

bool appendGpxPoint(const Settings& settings, GpxTrack& track, const NavState& nav) {
    if (settings.logFilePath.empty()) {
        return false;
    }
    SiblingPathText path;
    siblingLogPath(settings.logFilePath.view(), u".gpx", path);
    if (!(track.path == path.view())) {
        track.path.assign(path.view());
        track.state = GpxTrackState{};
    }
    GpxPoint point;
    if (!gpxPointOf(nav, settings.units, point)) {
        track.state.inSegment = false;
        return false;
    }
    char name[kLogFileNameCapacity];
    if (!logFileName(path.view(), name)) {
        return false;
    }

    bool created = true;
    FileDescriptor fd(::open(name, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666));
    if (!fd && errno == EEXIST) {
        created = false;
        fd.reset(::open(name, O_RDWR | O_CLOEXEC | O_NOCTTY));
    }
    if (!fd || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        return false;
    }
    struct stat before {};
    if (::fstat(fd.get(), &before) != 0 || !S_ISREG(before.st_mode)) {
        return false;
    }

    // An empty file (one left behind by a failed start) is begun afresh.
    const std::string_view closing = gpxClosingTags();
    const bool fresh = created || before.st_size == 0;
    off_t at = 0;
    if (!fresh) {
        char tail[64];
        const auto length = static_cast<off_t>(closing.size());
        if (before.st_size < length ||
            !readAt(fd.get(), tail, closing.size(), before.st_size - length) ||
            std::string_view(tail, closing.size()) != closing) {
            return false;
        }
        at = before.st_size - length;
    }

    char bytes[kGpxAppendCapacity];
    GpxTrackState next;
    const std::size_t size = formatGpxAppend(track.state, point, fresh, bytes, sizeof bytes, next);
    bool ok = size > 0 && writeAt(fd.get(), std::string_view(bytes, size), at);
    if (!ok) {
        if (created) {
            ::unlink(name);
        } else if (fresh) {
            if (::ftruncate(fd.get(), 0) != 0) {
                // The next tick tries again.
            }
        } else {
            // Put the closing tags back over whatever got written, and cut the rest.
            const bool restored =
                writeAt(fd.get(), closing, at) && ::ftruncate(fd.get(), before.st_size) == 0;
            (void)restored;
        }
        return false;
    }
    track.state = next;
    return true;
}

} // namespace velocimo
