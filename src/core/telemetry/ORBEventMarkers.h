// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Moments of sharp force in a recording, found in its G-sensor samples: where the car braked hard,
// hit something or was hit. A sample's deviation is the length of its difference from the
// recording's per-axis medians, so gravity and the way the camera is mounted cancel out; a burst is
// a run of samples beyond the threshold, and runs closer than half a second are one burst. Each
// burst is marked at its strongest sample.

#include "core/telemetry/ORBGSensor.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace nura {

struct ORBEventMarker {
    size_t index = 0;    // the burst's strongest sample
    double position = 0; // index / count: its place in the recording, 0 to 1
    double seconds = 0;  // position x the recording's length
    double peak = 0;     // the deviation there, in g
};

class ORBEventMarkers {
public:
    static constexpr double kDefaultThresholdG = 0.5;
    static constexpr double kJoinSeconds = 0.5;
    // A jump lands this long before a marker, so the moment is seen coming.
    static constexpr double kLeadSeconds = 3.0;
    // Going back, a marker whose landing point is this close behind is the one just jumped to.
    static constexpr double kBackSkipSeconds = 1.0;

    // The markers of a recording `lengthSeconds` long, in time order. None without samples, without
    // a known length, or with a threshold that is not a positive number.
    static std::vector<ORBEventMarker> find(const std::vector<ORBGSensor>& samples, double lengthSeconds,
                                            double thresholdG = kDefaultThresholdG);

    // Where a jump to a marker lands: kLeadSeconds before it, not before the start.
    static double target(const ORBEventMarker& marker);
    // The landing point of the first marker whose landing point lies ahead of `nowSeconds`.
    static std::optional<double> nextTarget(const std::vector<ORBEventMarker>& markers, double nowSeconds);
    // The landing point of the last marker whose landing point lies more than kBackSkipSeconds
    // behind `nowSeconds`.
    static std::optional<double> previousTarget(const std::vector<ORBEventMarker>& markers,
                                                double nowSeconds);
};

} // namespace nura
