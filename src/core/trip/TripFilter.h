// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Passes on only the trip that holds one recording, numbered 1: the viewer exports the drive of the
// recording the user has selected. Whether a trip holds the recording is known only when it ends, so
// the points of the trip being joined are held until then (one trip, never the card).

#include "core/trip/TripJoiner.h"

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace nura {

class TripFilter : public TripSink {
public:
    TripFilter(TripSink& out, size_t wantedRecording) : m_out(out), m_wanted(wantedRecording) {}

    // The recording whose fixes the joiner is given next.
    void setRecording(size_t index) { m_recording = index; }
    // The wanted trip has been passed on.
    bool found() const { return m_found; }
    // The trip being joined holds the wanted recording.
    bool holdsWanted() const { return m_holdsWanted; }

    void tripStarted(size_t) override;
    void tripPoint(const TripFix& fix, const std::string& file) override;
    void tripEnded(const TripSummary& summary) override;

private:
    TripSink& m_out;
    size_t m_wanted;
    size_t m_recording = 0;
    bool m_holdsWanted = false;
    bool m_found = false;
    std::vector<std::pair<TripFix, std::string>> m_points;
};

} // namespace nura
