#include "gpslink/receiverprobe.h"

#include "gpslink/netsource.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace velocimo {

namespace {

std::vector<std::string> folderNames(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) {
        return names;
    }
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    ::closedir(dir);
    return names;
}

// ttyS2 before ttyS10.
bool naturalLess(const std::string& a, const std::string& b) {
    const std::size_t da = a.find_first_of("0123456789");
    const std::size_t db = b.find_first_of("0123456789");
    if (da != std::string::npos && db != std::string::npos && a.substr(0, da) == b.substr(0, db)) {
        const long na = std::strtol(a.c_str() + da, nullptr, 10);
        const long nb = std::strtol(b.c_str() + db, nullptr, 10);
        if (na != nb) {
            return na < nb;
        }
    }
    return a < b;
}

// The device's real path below root, without root; empty if it does not exist.
std::string resolvedPath(const std::string& path, const ProbeEnvironment& env) {
    char buffer[PATH_MAX];
    if (!::realpath((env.root + path).c_str(), buffer)) {
        return {};
    }
    std::string real = buffer;
    if (!env.root.empty()) {
        char rootBuffer[PATH_MAX];
        const std::string root = ::realpath(env.root.c_str(), rootBuffer) ? rootBuffer : env.root;
        if (real.compare(0, root.size(), root) != 0) {
            return {};
        }
        real.erase(0, root.size());
    }
    return real;
}

int defaultAccessError(const std::string& path) {
    return ::access(path.c_str(), R_OK | W_OK) == 0 ? 0 : errno;
}

} // namespace

std::vector<DeviceEntry> listSerialDevices(const ProbeEnvironment& env) {
    std::vector<DeviceEntry> devices;
    std::vector<std::string> named;
    std::vector<std::string> ids = folderNames(env.root + "/dev/serial/by-id");
    std::sort(ids.begin(), ids.end());
    for (const std::string& id : ids) {
        const std::string path = "/dev/serial/by-id/" + id;
        const std::string real = resolvedPath(path, env);
        if (real.empty()) {
            continue;
        }
        named.push_back(real);
        devices.push_back({path, id + " (" + real.substr(real.rfind('/') + 1) + ")"});
    }
    std::vector<std::string> plain;
    for (const std::string& name : folderNames(env.root + "/dev")) {
        for (const char* prefix : {"ttyUSB", "ttyACM", "ttyS", "rfcomm"}) {
            const std::string p = prefix;
            if (name.size() > p.size() && name.compare(0, p.size(), p) == 0 &&
                std::all_of(name.begin() + static_cast<long>(p.size()), name.end(),
                            [](char c) { return c >= '0' && c <= '9'; })) {
                plain.push_back(name);
            }
        }
    }
    auto group = [](const std::string& n) {
        static const char* const kOrder[] = {"ttyUSB", "ttyACM", "ttyS", "rfcomm"};
        for (int i = 0; i < 4; ++i) {
            if (n.rfind(kOrder[i], 0) == 0) {
                return i;
            }
        }
        return 4;
    };
    std::sort(plain.begin(), plain.end(), [&](const std::string& a, const std::string& b) {
        return group(a) != group(b) ? group(a) < group(b) : naturalLess(a, b);
    });
    for (const std::string& name : plain) {
        const std::string path = "/dev/" + name;
        if (std::find(named.begin(), named.end(), path) == named.end()) {
            devices.push_back({path, path});
        }
    }
    return devices;
}

bool heldByGpsd(const std::string& devicePath, const ProbeEnvironment& env) {
    const std::string real = resolvedPath(devicePath, env);
    if (real.empty()) {
        return false;
    }
    for (const std::string& pid : folderNames(env.root + "/proc")) {
        if (pid.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        const std::string base = env.root + "/proc/" + pid;
        std::ifstream comm(base + "/comm");
        std::string name;
        if (!std::getline(comm, name) || name != "gpsd") {
            continue;
        }
        for (const std::string& fd : folderNames(base + "/fd")) {
            char target[PATH_MAX];
            const ssize_t n = ::readlink((base + "/fd/" + fd).c_str(), target, sizeof target - 1);
            if (n > 0 && std::string(target, static_cast<std::size_t>(n)) == real) {
                return true;
            }
        }
    }
    return false;
}

SourceProblem diagnoseSource(const std::string& entry, const ProbeEnvironment& env) {
    SourceAddress address;
    if (!parseSourceAddress(entry, address)) {
        return SourceProblem::BadAddress;
    }
    if (address.kind != SourceKind::Device) {
        FileDescriptor socket;
        switch (connectTo(address.host, address.port, env.connectLimit, socket)) {
        case ConnectOutcome::Connected:
            return SourceProblem::None;
        case ConnectOutcome::Refused:
            return SourceProblem::ConnectionRefused;
        case ConnectOutcome::BadAddress:
            return SourceProblem::BadAddress;
        case ConnectOutcome::NoAnswer:
            return SourceProblem::NoAnswer;
        }
        return SourceProblem::NoAnswer;
    }
    struct stat info;
    if (entry.empty() || ::stat((env.root + entry).c_str(), &info) != 0) {
        return SourceProblem::NotPresent;
    }
    // gpsd first: choosing it works even without the dialout group.
    if (heldByGpsd(entry, env)) {
        return SourceProblem::InUseByGpsd;
    }
    const int error =
        env.accessError ? env.accessError(env.root + entry) : defaultAccessError(env.root + entry);
    if (error == EACCES || error == EPERM) {
        return SourceProblem::PermissionDenied;
    }
    return SourceProblem::None;
}

std::string describeProblem(SourceProblem problem) {
    switch (problem) {
    case SourceProblem::None:
        return {};
    case SourceProblem::NotPresent:
        return "not present";
    case SourceProblem::PermissionDenied:
        return "permission denied: add your user to the dialout group "
               "(sudo adduser $USER dialout) and log in again";
    case SourceProblem::InUseByGpsd:
        return "in use by gpsd: choose gpsd on this computer";
    case SourceProblem::BadAddress:
        return "not a valid address";
    case SourceProblem::ConnectionRefused:
        return "connection refused";
    case SourceProblem::NoAnswer:
        return "no answer";
    }
    return {};
}

} // namespace velocimo
