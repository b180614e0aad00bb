// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One GPS fix of a drive, as the trip export uses it: the fix time, the signed position and the values
// the receiver reported with it.

#include "core/telemetry/ORBBlackBoxData.h"
#include "core/telemetry/ORBGpsData.h"
#include "core/telemetry/ORBTelemetryError.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace nura {

struct TripFix {
    _SYSTEMTIME utc;
    int64_t utcMs = 0;     // milliseconds since 1970, for ordering and gaps
    double latitude = 0;   // decimal degrees, south negative
    double longitude = 0;  // decimal degrees, west negative
    double speedKnots = 0; // as the receiver wrote it
    double course = 0;
    double hdop = 0;
    uint32_t satellites = 0;
};

// What reading one recording gave: its fixes in file order, or why its telemetry could not be read.
struct RecordingFixes {
    ORBTelemetryError error = ORBTelemetryError::None;
    size_t records = 0;     // telemetry records in the file; 0 for a recording without telemetry
    bool truncated = false; // the file was cut before the end of its chunk table; `fixes` holds what was read
    std::vector<TripFix> fixes;
};

// One fix per GPS fix of the recording (see isFixState), skipping fixes without a usable time.
std::vector<TripFix> tripFixes(const ORBBlackBoxData& data);

// Reads the recording's telemetry into `scratch` (kept between calls so its lists are reused) and takes
// its fixes. Never throws: running out of memory reads as ORBTelemetryError::OutOfMemory.
RecordingFixes readRecordingFixes(const std::string& path, ORBBlackBoxData& scratch);

} // namespace nura
