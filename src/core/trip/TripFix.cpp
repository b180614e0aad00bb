// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/trip/TripFix.h"

#include "core/telemetry/ConvertNmeaCoordinates.h"
#include "core/telemetry/GpsFixes.h"

#include <new>

namespace nura {

std::vector<TripFix> tripFixes(const ORBBlackBoxData& data) {
    const auto& states = data.nmeas();
    std::vector<TripFix> fixes;
    for (size_t i = 0; i < states.size(); ++i) {
        if (!isFixState(states, i)) {
            continue;
        }
        const ORBGpsData& s = states[i];
        const auto ms = utcMilliseconds(s.Now);
        if (!ms) {
            continue;
        }
        const auto p = decimalPosition(s);
        fixes.push_back({s.Now, *ms, p.latitude, p.longitude, s.SpeedOverGround, s.CourseOverGround, s.HDOP,
                         s.SatelliteUsedCount});
    }
    return fixes;
}

RecordingFixes readRecordingFixes(const std::string& path, ORBBlackBoxData& scratch) {
    RecordingFixes out;
    try {
        if (!scratch.ExtractStreamInformation(path)) {
            out.error = scratch.lastError();
        } else {
            out.records = scratch.times().size();
            out.truncated = scratch.isTruncated();
            out.fixes = tripFixes(scratch);
        }
    } catch (const std::bad_alloc&) {
        out = {};
        out.error = ORBTelemetryError::OutOfMemory;
    }
    return out;
}

} // namespace nura
