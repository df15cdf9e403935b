#pragma once

// The receiver's lines as they came, appended to a .nmea file beside the CSV log, so a drive
// can be replayed later. The file stays open while connected and logging: lines arrive on
// the reader thread several times a second.

#include "logging/gpxformat.h"
#include "shell/core/filedescriptor.h"

#include <mutex>
#include <string_view>

namespace velocimo {

class RawLog {
public:
    // Main thread: appends to path from now on (the file already open stays so). False when it
    // cannot be opened; nothing is recorded then.
    bool open(std::u16string_view path);
    void close();
    bool isOpen() const;

    // Reader thread: one line; no allocation, one write.
    void write(std::string_view bytes);

private:
    mutable std::mutex m_mutex;
    FileDescriptor m_fd;
    SiblingPathText m_path;
};

} // namespace velocimo
