#pragma once

// The GPX 1.1 track beside the CSV log: one track point per CSV record, a document that is
// complete after every point. Pure: nothing here touches a file.

#include "shell/core/navstate.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace velocimo {

// The points further apart than this (GPS time) start a new track segment.
inline constexpr int64_t kGpxSegmentGapMs = 10000;

// Room for what one point adds to the file, segment break and closing tags included.
inline constexpr std::size_t kGpxAppendCapacity = 1024;

// One track point, in the units GPX uses.
struct GpxPoint {
    double latitude = 0.0;  // decimal degrees
    double longitude = 0.0; // decimal degrees
    bool hasElevation = false;
    double elevation = 0.0; // metres
    bool hasTime = false;
    int64_t timeMs = 0; // milliseconds since 1970-01-01 UTC
    bool hasSpeed = false;
    double speed = 0.0; // metres per second
};

// Where the track stands after the last point written.
struct GpxTrackState {
    bool inSegment = false;
    bool hasTime = false;
    int64_t lastTimeMs = 0;
};

// The XML declaration and the opening <gpx> tag.
std::string_view gpxDocumentStart();
// What ends the document after the last point; always the same bytes, so the next point can
// overwrite them.
std::string_view gpxClosingTags();

// The point of a tick's snapshot. False without a valid fix or with a position GPX cannot
// hold. units tells what the record's elevation is in (feet with mph/mi).
bool gpxPointOf(const NavState& nav, int32_t units, GpxPoint& point);

// Milliseconds since 1970 of an RMC date (ddmmyy) and time (hhmmss.sss); false for no date.
bool gpsTimeMs(int32_t ddmmyy, double hhmmss, int64_t& ms);

// Whether point has to open a new segment after state.
bool startsSegment(const GpxTrackState& state, const GpxPoint& point);

// The bytes that replace the closing tags (or fill a new file when newFile) to add point,
// closing tags included; next is the state once they are written. 0 when out is too small.
std::size_t formatGpxAppend(const GpxTrackState& state, const GpxPoint& point, bool newFile,
                            char* out, std::size_t capacity, GpxTrackState& next);

// A file beside the CSV log: its name with extension (".gpx") in place of a final ".csv"
// (any case), or appended. Room for any CSV name plus the extension.
using SiblingPathText = FixedText<264>;
void siblingLogPath(std::u16string_view csvPath, std::u16string_view extension,
                    SiblingPathText& out);

} // namespace velocimo
