// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The drives of a listing with what their recordings tell: the length of every file from its header,
// and from the telemetry the distance and top speed (joined as a trip joins them) and the moments of
// sharp force. Recordings are read on several threads in drive order, and each drive is summed up as
// soon as it has ended, so only the open drives' fixes are held.

#include "core/media/DriveTimeline.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace nura {

struct DriveSummary {
    DriveTimeline timeline;
    double distanceMetres = 0;         // over the segments' fixes, as the trip export sums them
    std::optional<double> maxSpeedKmh; // empty when no fix reported a speed
    size_t eventMarkers = 0;           // moments of sharp force in the segments (ORBEventMarkers)
};

// What could not be read, counted over every recording of the listing, with the first file named.
struct DriveListingProblems {
    size_t refused = 0; // the card refused a read, or a file could not be opened
    std::string firstRefused;
    size_t unreadableTelemetry = 0;
    std::string firstUnreadable; // "file: reason"
    size_t withoutTelemetry = 0;
};

class DriveListing {
public:
    // Fills in the lengths of `recordings` and returns their drives, earliest first.
    static std::vector<DriveSummary> read(std::vector<DriveRecording>& recordings, unsigned workers,
                                          DriveListingProblems& problems);
    // One drive whose lengths are known, read on the calling thread: its segments' telemetry summed as
    // read() sums it. `cancelled` is asked before each recording; nothing when it said so, or when memory
    // ran out.
    static std::optional<DriveSummary> summarize(const DriveTimeline& timeline,
                                                 const std::vector<DriveRecording>& recordings,
                                                 const std::function<bool()>& cancelled = {});
};

} // namespace nura
