// velocimo-replay: shows what the dashboard would have held for a recorded NMEA log.

#include "replay.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <string>
#include <unistd.h>

namespace {

const char kUsage[] =
    "usage: velocimo-replay [OPTIONS] [FILE]\n"
    "Reads NMEA-0183 from FILE (or standard input) and prints one JSON object per tick:\n"
    "just before every $GPRMC sentence except the first, and once at the end. Each object\n"
    "holds every field of the live record and \"sounds\": the sounds played since the\n"
    "previous tick (\"fix\", \"lostfix\", \"warn\", \"over\").\n"
    "  --units 0|1|2            knots/nm, km/h/km (default), mph/mi\n"
    "  --elevation-offset N     whole number subtracted from the elevation while the fix is valid\n"
    "  --limits A,B,C           the three speed limits (default 50,80,100)\n"
    "  --selected-limit N       the limit in force, 0..2 (default 0)\n"
    "  --continuous-over 0|1    repeat the over-limit sound every tick (default 1)\n"
    "  --csv                    print what the CSV log would hold instead of JSON\n"
    "  --fields NAMES           CSV columns by their setting names, comma-separated (default "
    "all):\n"
    "                           Position_DEC,Position_DMM,Elevation,SpeedCurrent,SpeedAverage,\n"
    "                           DistanceTrip,DistanceTotal,Satellites,HDOP\n"
    "  --every-tick             CSV: a record on every tick, not only at 2.5 speed units or more\n"
    "  --any-talker             also RMC, GGA and GSA of GL, GA, GB, GI, GQ, GN, BD and QZ\n"
    "  --verify-checksum        only sentences whose checksum matches\n";

bool parseInt(const char* text, int32_t& value) {
    const char* end = text + std::strlen(text);
    auto [ptr, ec] = std::from_chars(text, end, value);
    return ec == std::errc() && ptr == end;
}

} // namespace

int main(int argc, char** argv) {
    velocimo::ReplayOptions options;
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (arg == "--units" && hasValue) {
            if (!parseInt(argv[++i], options.units) || options.units < 0 || options.units > 2) {
                std::cerr << "velocimo-replay: --units takes 0, 1 or 2\n";
                return 2;
            }
        } else if (arg == "--elevation-offset" && hasValue) {
            if (!parseInt(argv[++i], options.elevationOffset)) {
                std::cerr << "velocimo-replay: --elevation-offset takes a whole number\n";
                return 2;
            }
        } else if (arg == "--limits" && hasValue) {
            const std::string list = argv[++i];
            const std::size_t a = list.find(',');
            const std::size_t b = a == std::string::npos ? a : list.find(',', a + 1);
            if (b == std::string::npos || list.find(',', b + 1) != std::string::npos ||
                !parseInt(list.substr(0, a).c_str(), options.speedLimits[0]) ||
                !parseInt(list.substr(a + 1, b - a - 1).c_str(), options.speedLimits[1]) ||
                !parseInt(list.substr(b + 1).c_str(), options.speedLimits[2])) {
                std::cerr << "velocimo-replay: --limits takes three whole numbers: A,B,C\n";
                return 2;
            }
        } else if (arg == "--selected-limit" && hasValue) {
            if (!parseInt(argv[++i], options.selectedLimit)) {
                std::cerr << "velocimo-replay: --selected-limit takes a whole number\n";
                return 2;
            }
        } else if (arg == "--continuous-over" && hasValue) {
            int32_t on = 0;
            if (!parseInt(argv[++i], on) || (on != 0 && on != 1)) {
                std::cerr << "velocimo-replay: --continuous-over takes 0 or 1\n";
                return 2;
            }
            options.continuousOverSound = on == 1;
        } else if (arg == "--csv") {
            options.csv = true;
        } else if (arg == "--any-talker") {
            options.anyTalker = true;
        } else if (arg == "--verify-checksum") {
            options.verifyChecksum = true;
        } else if (arg == "--every-tick") {
            options.everyTick = true;
        } else if (arg == "--fields" && hasValue) {
            std::string bad;
            if (!velocimo::parseLogFields(argv[++i], options.fields, bad)) {
                std::cerr << "velocimo-replay: unknown field " << bad << "\n";
                return 2;
            }
        } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
            std::cerr << "velocimo-replay: unknown option " << arg << "\n" << kUsage;
            return 2;
        } else if (path == nullptr) {
            path = argv[i];
        } else {
            std::cerr << kUsage;
            return 2;
        }
    }

    int fd = STDIN_FILENO;
    if (path != nullptr && std::strcmp(path, "-") != 0) {
        fd = ::open(path, O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            std::cerr << "velocimo-replay: cannot read " << path << ": " << std::strerror(errno)
                      << "\n";
            return 1;
        }
    }
    // Static: the chunk is 64 KiB, more than a stack should carry.
    static velocimo::FileByteSource input(fd);

    std::ios::sync_with_stdio(false);
    velocimo::runReplay(input, options, std::cout);
    std::cout.flush();
    return std::cout ? 0 : 1;
}
