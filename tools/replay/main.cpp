// velocimo-replay: shows what the dashboard would have held for a recorded NMEA log.

#include "replay.h"

#include <charconv>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>

namespace {

const char kUsage[] =
    "usage: velocimo-replay [--units 0|1|2] [--elevation-offset N] [FILE]\n"
    "Reads NMEA-0183 from FILE (or standard input) and prints one JSON object per tick:\n"
    "just before every $GPRMC sentence except the first, and once at the end.\n"
    "  --units 0|1|2          knots/nm, km/h/km (default), mph/mi\n"
    "  --elevation-offset N   whole number subtracted from the elevation while the fix is valid\n";

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

    std::string input;
    if (path == nullptr || std::strcmp(path, "-") == 0) {
        std::ostringstream buffer;
        buffer << std::cin.rdbuf();
        input = buffer.str();
    } else {
        std::ifstream file(path, std::ios::binary);
        if (!file) {
            std::cerr << "velocimo-replay: cannot read " << path << ": " << std::strerror(errno)
                      << "\n";
            return 1;
        }
        input.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }

    std::ios::sync_with_stdio(false);
    velocimo::runReplay(input, options, std::cout);
    std::cout.flush();
    return std::cout ? 0 : 1;
}
