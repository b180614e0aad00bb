// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Joins the fixes of a card's recordings, taken in list order, into trips: a drive recorded as many
// short files is one trip until the receiver's clock jumps by more than the gap between two fixes.
// Trips are handed on as they complete, so a card of any size is exported in bounded memory.

#include "core/trip/TripFix.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace nura {

struct TripSummary {
    size_t number = 0; // from 1
    _SYSTEMTIME start;
    _SYSTEMTIME end;
    size_t points = 0;
    double distanceMetres = 0;           // great-circle sum, unrounded
    std::optional<double> maxSpeedKmh;   // empty when no fix reported a speed
    std::vector<std::string> recordings; // file names of the recordings with points in the trip, in order
};

// Receives the trips in order: tripStarted, the trip's points, tripEnded.
class TripSink {
public:
    virtual ~TripSink() = default;
    virtual void tripStarted(size_t number) = 0;
    virtual void tripPoint(const TripFix& fix, const std::string& file) = 0;
    virtual void tripEnded(const TripSummary& summary) = 0;
};

class TripJoiner {
public:
    static constexpr double kDefaultGapMinutes = 5.0;
    static constexpr double kEarthRadiusMetres = 6371000.0;

    explicit TripJoiner(TripSink& sink, double gapMinutes = kDefaultGapMinutes);

    // The next recording's fixes, in file order. A fix at or before the last one kept is a repeat (the
    // same second in the next file) or a clock step back, and is dropped.
    void addRecording(const std::string& file, std::span<const TripFix> fixes);
    // Ends the open trip, if any.
    void finish();

    size_t tripCount() const { return m_trips; }

    // Great-circle distance on a sphere of kEarthRadiusMetres between two positions in decimal degrees.
    static double greatCircleMetres(double lat1, double lon1, double lat2, double lon2);
    // Knots as the receiver reports them, in km/h.
    static double kilometresPerHour(double knots) { return knots * 1.852; }

private:
    void endTrip();

    TripSink& m_sink;
    double m_gapMs;
    size_t m_trips = 0;
    size_t m_recording = 0;           // serial of the recording being added
    size_t m_lastRecordingInTrip = 0; // serial of the last recording named in the open trip
    bool m_open = false;
    std::optional<TripFix> m_last; // the last fix kept, across trips
    TripSummary m_current;
};

} // namespace nura
