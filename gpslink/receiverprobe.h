#pragma once

// What the receiver dialog offers and what it warns about before an open: the serial devices
// present, and for a chosen source the plain reason it would fail.

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace velocimo {

// Where to look. Tests point root at a folder of their own and replace the access check
// (which never fails for root).
struct ProbeEnvironment {
    // Prepended to /dev, /proc; empty for the real system.
    std::string root;
    // errno an open for reading and writing would give, 0 if allowed. Null: access(2).
    std::function<int(const std::string& path)> accessError;
    std::chrono::milliseconds connectLimit{500};
};

struct DeviceEntry {
    // What goes into the Ports entry ("/dev/serial/by-id/..." where there is such a name).
    std::string path;
    // What the list shows.
    std::string label;

    friend bool operator==(const DeviceEntry&, const DeviceEntry&) = default;
};

// The by-id names first, then ttyUSB*, ttyACM*, ttyS*, rfcomm* that none of them names, in
// natural order.
std::vector<DeviceEntry> listSerialDevices(const ProbeEnvironment& env);

enum class SourceProblem {
    None,
    NotPresent,
    PermissionDenied,
    InUseByGpsd,
    BadAddress,
    ConnectionRefused,
    NoAnswer,
};

// Checks a Ports entry (device path, gpsd:// or tcp://) without opening a device.
SourceProblem diagnoseSource(const std::string& entry, const ProbeEnvironment& env);
// The words the dialog shows; empty for None.
std::string describeProblem(SourceProblem problem);

// True if a process named gpsd holds the device (by its resolved path) open.
bool heldByGpsd(const std::string& devicePath, const ProbeEnvironment& env);

} // namespace velocimo
