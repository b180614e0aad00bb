// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/telemetry/ORBEventMarkers.h"

#include <algorithm>
#include <cmath>

namespace nura {

namespace {

// The middle of the values (the mean of the two middle ones for an even count).
double median(std::vector<float> values) {
    const size_t half = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(half), values.end());
    const double upper = values[half];
    if (values.size() % 2 != 0) {
        return upper;
    }
    const double lower =
        *std::max_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(half));
    return (lower + upper) / 2;
}

// A run of samples beyond the threshold, both ends included.
struct Run {
    size_t first, last, peakIndex;
    double peak;
};

} // namespace

std::vector<ORBEventMarker> ORBEventMarkers::find(const std::vector<ORBGSensor>& samples,
                                                  double lengthSeconds, double thresholdG) {
    const size_t n = samples.size();
    if (n == 0 || !std::isfinite(lengthSeconds) || lengthSeconds <= 0 || !std::isfinite(thresholdG) ||
        thresholdG <= 0) {
        return {};
    }
    std::vector<float> axis(n);
    double mid[3];
    float (ORBGSensor::*const getters[3])() const = {&ORBGSensor::x, &ORBGSensor::y, &ORBGSensor::z};
    for (int a = 0; a < 3; ++a) {
        std::transform(samples.begin(), samples.end(), axis.begin(),
                       [get = getters[a]](const ORBGSensor& s) { return (s.*get)(); });
        mid[a] = median(axis);
    }
    const double secondsPerSample = lengthSeconds / static_cast<double>(n);

    std::vector<Run> bursts;
    std::optional<Run> run;
    auto close = [&] {
        if (!run) {
            return;
        }
        // A run that starts within kJoinSeconds of the previous burst's end belongs to it.
        if (!bursts.empty() &&
            static_cast<double>(run->first - bursts.back().last) * secondsPerSample < kJoinSeconds) {
            Run& joined = bursts.back();
            joined.last = run->last;
            if (run->peak > joined.peak) {
                joined.peak = run->peak;
                joined.peakIndex = run->peakIndex;
            }
        } else {
            bursts.push_back(*run);
        }
        run.reset();
    };
    for (size_t i = 0; i < n; ++i) {
        const double dx = samples[i].x() - mid[0], dy = samples[i].y() - mid[1], dz = samples[i].z() - mid[2];
        const double deviation = std::sqrt(dx * dx + dy * dy + dz * dz);
        if (!(deviation > thresholdG)) {
            close();
            continue;
        }
        if (!run) {
            run = Run{i, i, i, deviation};
        }
        run->last = i;
        if (deviation > run->peak) {
            run->peak = deviation;
            run->peakIndex = i;
        }
    }
    close();

    std::vector<ORBEventMarker> markers;
    markers.reserve(bursts.size());
    for (const Run& b : bursts) {
        const double position = static_cast<double>(b.peakIndex) / static_cast<double>(n);
        markers.push_back({b.peakIndex, position, position * lengthSeconds, b.peak});
    }
    return markers;
}

double ORBEventMarkers::target(const ORBEventMarker& marker) {
    return std::max(0.0, marker.seconds - kLeadSeconds);
}

std::optional<double> ORBEventMarkers::nextTarget(const std::vector<ORBEventMarker>& markers,
                                                  double nowSeconds) {
    // A little tolerance, so that a second press right after a jump moves on to the marker after.
    constexpr double kTolerance = 0.25;
    for (const ORBEventMarker& m : markers) {
        if (target(m) > nowSeconds + kTolerance) {
            return target(m);
        }
    }
    return std::nullopt;
}

std::optional<double> ORBEventMarkers::previousTarget(const std::vector<ORBEventMarker>& markers,
                                                      double nowSeconds) {
    for (auto it = markers.rbegin(); it != markers.rend(); ++it) {
        if (target(*it) < nowSeconds - kBackSkipSeconds) {
            return target(*it);
        }
    }
    return std::nullopt;
}

} // namespace nura
