#pragma once

// What velocimo-sim sends: a built-in drive as a pure function of the epoch number, its
// NMEA sentences, and the epochs of a recorded capture.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velocimo::sim {

// Epochs in one lap of the built-in drive; the drive repeats after it.
inline constexpr uint64_t kLapEpochs = 200;

struct DriveSample {
    bool fixValid = true;
    double speedKmh = 0.0;
    double course = 0.0;    // degrees true, [0, 360)
    double latitude = 0.0;  // decimal degrees, negative south
    double longitude = 0.0; // decimal degrees, negative west
    double altitude = 0.0;  // metres
    int64_t utcSeconds = 0; // seconds since 1970-01-01 UTC
};

// The state of the drive at an epoch (one epoch a second).
DriveSample driveAt(uint64_t epoch);

// "$" + body + "*" + the two-digit hex checksum of body + CR LF.
std::string sentence(std::string_view body);
// XOR of the bytes of body.
uint8_t checksum(std::string_view body);

// The talker that stands for a multi-constellation module (RMC and GSA as GN, GGA as GP,
// and a GLGSA).
inline constexpr std::string_view kMixedTalkers = "mixed";
// Two upper-case letters, or kMixedTalkers.
bool validTalker(std::string_view talker);

// RMC, GGA and GSA for one sample, each ended by CR LF, from the given talker.
std::string formatEpoch(const DriveSample& sample, std::string_view talker = "GP");

// ddmm.mmmm (or dddmm.mmmm with degreeDigits 3) of |value|, with four decimals of minutes.
std::string formatDegreesMinutes(double value, int degreeDigits);

// Splits a capture into one-second epochs. '#' lines and empty lines are skipped, every
// other line is kept as it was and ended with CR LF. A new epoch begins at a time-carrying
// sentence (RMC or GGA of any talker) whose whole second differs from the epoch's, or, when
// it carries no time, at a second sentence of the same type in the epoch.
std::vector<std::string> splitEpochs(std::string_view capture);

} // namespace velocimo::sim
