#include "nmeasim.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <ctime>
#include <numbers>

namespace velocimo::sim {

namespace {

constexpr double kStartLatitude = 47.3769;
constexpr double kStartLongitude = 8.5417;
constexpr int64_t kStartUtc = 1780304400; // 2026-06-01 09:00:00 UTC
constexpr double kKmPerDegreeLatitude = 111.32;
constexpr double kKmPerKnot = 1.852;

// Speed and course of one second of the lap: the phases a dashboard needs to show.
void motionAt(uint64_t t, double& speedKmh, double& course) {
    const double s = static_cast<double>(t);
    if (t <= 5) { // standing still
        speedKmh = 0.0;
        course = 0.0;
    } else if (t <= 40) { // through 50, 80 and 100 to the top speed of 130
        speedKmh = 130.0 * (s - 5.0) / 35.0;
        course = 0.0;
    } else if (t <= 50) {
        speedKmh = 130.0 - 7.0 * (s - 40.0);
        course = 0.0;
    } else if (t <= 98) { // a full circle: every compass point
        speedKmh = 60.0;
        course = 7.5 * (s - 50.0);
    } else if (t <= 160) {
        speedKmh = 90.0;
        course = 180.0 + 20.0 * std::sin(2.0 * std::numbers::pi * (s - 99.0) / 31.0);
    } else if (t <= 180) {
        speedKmh = 90.0 * (180.0 - s) / 20.0;
        course = 180.0;
    } else {
        speedKmh = 0.0;
        course = 180.0;
    }
    course = std::fmod(course + 360.0, 360.0);
}

void stepPosition(double speedKmh, double course, double& dLat, double& dLon) {
    const double km = speedKmh / 3600.0;
    const double rad = course * std::numbers::pi / 180.0;
    dLat += km * std::cos(rad) / kKmPerDegreeLatitude;
    dLon += km * std::sin(rad) /
            (kKmPerDegreeLatitude * std::cos(kStartLatitude * std::numbers::pi / 180.0));
}

std::string fixed(double value, int precision) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, precision);
    return std::string(buf, r.ptr);
}

std::string padded(long long value, int width) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    std::string s(buf, r.ptr);
    if (static_cast<int>(s.size()) < width) {
        s.insert(0, static_cast<std::size_t>(width) - s.size(), '0');
    }
    return s;
}

std::string_view field(std::string_view line, std::size_t index) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < index; ++i) {
        const std::size_t comma = line.find(',', start);
        if (comma == std::string_view::npos) {
            return {};
        }
        start = comma + 1;
    }
    const std::size_t end = line.find_first_of(",*", start);
    return line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

} // namespace

DriveSample driveAt(uint64_t epoch) {
    const uint64_t lap = epoch / kLapEpochs;
    const uint64_t t = epoch % kLapEpochs;
    static const auto lapShift = [] {
        double dLat = 0.0, dLon = 0.0, v = 0.0, c = 0.0;
        for (uint64_t i = 0; i < kLapEpochs; ++i) {
            motionAt(i, v, c);
            stepPosition(v, c, dLat, dLon);
        }
        return std::pair<double, double>(dLat, dLon);
    }();
    double dLat = lapShift.first * static_cast<double>(lap);
    double dLon = lapShift.second * static_cast<double>(lap);
    double v = 0.0, c = 0.0;
    for (uint64_t i = 0; i < t; ++i) {
        motionAt(i, v, c);
        stepPosition(v, c, dLat, dLon);
    }
    DriveSample s;
    motionAt(t, s.speedKmh, s.course);
    s.latitude = kStartLatitude + dLat;
    s.longitude = kStartLongitude + dLon;
    s.altitude = 420.0 + 120.0 * std::sin(2.0 * std::numbers::pi * static_cast<double>(t) / 100.0);
    s.fixValid = !(t >= 111 && t <= 116);
    s.utcSeconds = kStartUtc + static_cast<int64_t>(epoch);
    return s;
}

uint8_t checksum(std::string_view body) {
    uint8_t sum = 0;
    for (char c : body) {
        sum ^= static_cast<uint8_t>(c);
    }
    return sum;
}

std::string sentence(std::string_view body) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const uint8_t sum = checksum(body);
    std::string s = "$";
    s += body;
    s += '*';
    s += kHex[sum >> 4];
    s += kHex[sum & 15];
    s += "\r\n";
    return s;
}

std::string formatDegreesMinutes(double value, int degreeDigits) {
    // In ten-thousandths of a minute, so rounding can never give 60 minutes.
    const long long units = std::llround(std::fabs(value) * 60.0 * 10000.0);
    const long long degrees = units / 600000;
    const long long rest = units % 600000;
    return padded(degrees, degreeDigits) + padded(rest / 10000, 2) + "." + padded(rest % 10000, 4);
}

bool validTalker(std::string_view talker) {
    return talker == kMixedTalkers ||
           (talker.size() == 2 && std::isupper(static_cast<unsigned char>(talker[0])) &&
            std::isupper(static_cast<unsigned char>(talker[1])));
}

std::string formatEpoch(const DriveSample& s, std::string_view talker) {
    // Mixed: what a multi-constellation module sends, the combined solution as GN, the
    // GGA as GP, and one GSA per constellation.
    const bool mixed = talker == kMixedTalkers;
    const std::string rmcGsa(mixed ? "GN" : talker);
    const std::string gga(mixed ? "GP" : talker);
    const std::time_t when = static_cast<std::time_t>(s.utcSeconds);
    std::tm tm{};
    gmtime_r(&when, &tm);
    const std::string time =
        padded(tm.tm_hour, 2) + padded(tm.tm_min, 2) + padded(tm.tm_sec, 2) + ".00";
    const std::string date =
        padded(tm.tm_mday, 2) + padded(tm.tm_mon + 1, 2) + padded(tm.tm_year % 100, 2);
    const std::string lat = formatDegreesMinutes(s.latitude, 2) + (s.latitude < 0 ? ",S" : ",N");
    const std::string lon = formatDegreesMinutes(s.longitude, 3) + (s.longitude < 0 ? ",W" : ",E");

    std::string out;
    if (s.fixValid) {
        out += sentence(rmcGsa + "RMC," + time + ",A," + lat + "," + lon + "," +
                        fixed(s.speedKmh / kKmPerKnot, 2) + "," + fixed(s.course, 1) + "," + date +
                        ",,,A");
        out += sentence(gga + "GGA," + time + "," + lat + "," + lon + ",1,08,0.9," +
                        fixed(s.altitude, 1) + ",M,47.0,M,,");
        out += sentence(rmcGsa + "GSA,A,3,02,05,09,12,15,18,21,25,,,,,1.6,0.9,1.3");
        if (mixed) {
            out += sentence("GLGSA,A,3,66,67,76,,,,,,,,,,1.6,0.9,1.3");
        }
    } else {
        out += sentence(rmcGsa + "RMC," + time + ",V,,,,,,," + date + ",,,N");
        out += sentence(gga + "GGA," + time + ",,,,,0,00,99.9,,M,,M,,");
        out += sentence(rmcGsa + "GSA,A,1,,,,,,,,,,,,,99.9,99.9,99.9");
        if (mixed) {
            out += sentence("GLGSA,A,1,,,,,,,,,,,,,99.9,99.9,99.9");
        }
    }
    return out;
}

std::vector<std::string> splitEpochs(std::string_view capture) {
    std::vector<std::string> epochs;
    std::string current;
    std::string key; // whole-second time of the current epoch, empty while unknown
    bool haveRmc = false;
    bool haveGga = false;
    auto finish = [&] {
        if (!current.empty()) {
            epochs.push_back(std::move(current));
        }
        current.clear();
        key.clear();
        haveRmc = haveGga = false;
    };

    std::size_t pos = 0;
    while (pos < capture.size()) {
        std::size_t end = capture.find('\n', pos);
        if (end == std::string_view::npos) {
            end = capture.size();
        }
        std::string_view line = capture.substr(pos, end - pos);
        pos = end + 1;
        while (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.empty() || line.front() == '#') {
            continue;
        }
        const std::size_t dollar = line.find('$');
        std::string_view tag;
        if (dollar != std::string_view::npos && line.size() >= dollar + 6) {
            tag = line.substr(dollar + 3, 3);
        }
        const bool isRmc = tag == "RMC";
        const bool isGga = tag == "GGA";
        if (isRmc || isGga) {
            std::string_view time = field(line.substr(dollar), 1);
            time = time.substr(0, time.find('.'));
            const bool seen = isRmc ? haveRmc : haveGga;
            if (!time.empty()) {
                if (!key.empty() && key != time) {
                    finish();
                } else if (key.empty() && seen) {
                    finish();
                }
                key = std::string(time);
            } else if (seen) {
                finish();
            }
            (isRmc ? haveRmc : haveGga) = true;
        }
        current.append(line);
        current += "\r\n";
    }
    finish();
    return epochs;
}

} // namespace velocimo::sim
