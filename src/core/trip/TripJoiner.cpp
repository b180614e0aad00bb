// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/trip/TripJoiner.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace nura {

TripJoiner::TripJoiner(TripSink& sink, double gapMinutes) : m_sink(sink), m_gapMs(gapMinutes * 60000.0) {}

double TripJoiner::greatCircleMetres(double lat1, double lon1, double lat2, double lon2) {
    constexpr double kRadians = std::numbers::pi / 180.0;
    const double dLat = (lat2 - lat1) * kRadians;
    const double dLon = (lon2 - lon1) * kRadians;
    const double s = std::sin(dLat / 2);
    const double t = std::sin(dLon / 2);
    const double a = s * s + std::cos(lat1 * kRadians) * std::cos(lat2 * kRadians) * t * t;
    return 2 * kEarthRadiusMetres * std::asin(std::min(1.0, std::sqrt(a)));
}

void TripJoiner::addRecording(const std::string& file, std::span<const TripFix> fixes) {
    ++m_recording;
    for (const TripFix& fix : fixes) {
        if (m_last && fix.utcMs <= m_last->utcMs) {
            continue;
        }
        if (m_open && static_cast<double>(fix.utcMs - m_last->utcMs) > m_gapMs) {
            endTrip();
        }
        if (!m_open) {
            m_open = true;
            m_current = {};
            m_current.number = ++m_trips;
            m_current.start = fix.utc;
            m_lastRecordingInTrip = 0;
            m_sink.tripStarted(m_current.number);
        } else {
            m_current.distanceMetres +=
                greatCircleMetres(m_last->latitude, m_last->longitude, fix.latitude, fix.longitude);
        }
        if (m_lastRecordingInTrip != m_recording) {
            m_lastRecordingInTrip = m_recording;
            m_current.recordings.push_back(file);
        }
        const double kmh = kilometresPerHour(fix.speedKnots);
        if (std::isfinite(kmh) && kmh >= 0) {
            m_current.maxSpeedKmh = std::max(m_current.maxSpeedKmh.value_or(0.0), kmh);
        }
        ++m_current.points;
        m_current.end = fix.utc;
        m_last = fix;
        m_sink.tripPoint(fix, file);
    }
}

void TripJoiner::finish() {
    if (m_open) {
        endTrip();
    }
}

void TripJoiner::endTrip() {
    m_open = false;
    m_sink.tripEnded(m_current);
    m_current = {};
}

} // namespace nura
