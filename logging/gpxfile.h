#pragma once

// The GPX track beside the CSV log. Like the CSV file it is opened, extended and closed for
// every point, and it is a whole GPX document on disk after each one.

#include "logging/gpxformat.h"
#include "settings/settings.h"
#include "shell/core/navstate.h"

namespace velocimo {

// What the track file needs to remember between ticks.
struct GpxTrack {
    GpxTrackState state;
    // The file the state belongs to; another one starts a new segment.
    SiblingPathText path;
};

// Adds the tick's point to the .gpx file beside settings.logFilePath, replacing the closing
// tags. Without a valid fix nothing is written and the next point opens a new segment. A file
// that does not end in the closing tags this writes is left alone. A failed write puts the
// previous document back. Returns true when the point was written.
bool appendGpxPoint(const Settings& settings, GpxTrack& track, const NavState& nav);

} // namespace velocimo
