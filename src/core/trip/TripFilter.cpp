// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/trip/TripFilter.h"

namespace nura {

void TripFilter::tripStarted(size_t) {
    m_points.clear();
    m_holdsWanted = false;
}

void TripFilter::tripPoint(const TripFix& fix, const std::string& file) {
    m_holdsWanted = m_holdsWanted || m_recording == m_wanted;
    m_points.emplace_back(fix, file);
}

void TripFilter::tripEnded(const TripSummary& summary) {
    if (m_holdsWanted && !m_found) {
        m_found = true;
        m_out.tripStarted(1);
        for (const auto& [fix, file] : m_points) {
            m_out.tripPoint(fix, file);
        }
        TripSummary one = summary;
        one.number = 1;
        m_out.tripEnded(one);
    }
    m_points.clear();
    m_holdsWanted = false;
}

} // namespace nura
