// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The event markers of the playing recording: found in its G-sensor samples once its length is
// known, drawn on the position sliders and the G-sensor graph, and the jumps to them. In drive mode
// the sliders carry the whole drive's markers, each recording's at its drive time as the read-ahead
// brings them, with a hatched band over a recording not read yet; the graph keeps the playing one's.

#include "core/telemetry/ORBEventMarkers.h"
#include "ui/app/ORBPlaybackController.h"

#include <QObject>

#include <utility>
#include <vector>

class GraphView;
class ORBDriveReadAhead;
class TKSliderMarks;

class ORBEventMarkerController : public QObject {
    Q_OBJECT
public:
    // The preference: the deviation from the recording's usual forces, in g, beyond which a sample
    // counts as a sharp force.
    static constexpr const char* kThresholdKey = "eventMarkerThreshold";

    ORBEventMarkerController(ORBPlaybackController& playback, GraphView* graph,
                             std::vector<TKSliderMarks*> sliders, QObject* parent = nullptr);

    void setTelemetry(const ORBTelemetry& telemetry);
    // Where the other recordings of a drive come from; without it, drive mode shows the playing one's.
    void setReadAhead(const ORBDriveReadAhead* readAhead);
    // Finds the markers again when the telemetry or the recording's length has changed since.
    void refresh();
    // Both cameras to a few seconds before the next (previous) marker, in drive mode across joins;
    // false when there is none.
    bool jumpToNextMarker();
    bool jumpToPreviousMarker();

    const std::vector<nura::ORBEventMarker>& markers() const { return m_markers; }
    // The bands over recordings of the drive whose markers are still being read, as slider positions.
    const std::vector<std::pair<double, double>>& placeholders() const { return m_placeholders; }
    const std::vector<TKSliderMarks*>& sliders() const { return m_sliders; }
    static double threshold();
    // "Sharp force: 2.53 g at 00:47"
    static QString toolTip(const nura::ORBEventMarker& marker);

private:
    // To `seconds` into the recording, or in drive mode into the drive.
    bool jumpTo(std::optional<double> seconds);
    double nowSeconds() const;
    // The sliders' markers: the recording's, or in drive mode every read recording's of the drive.
    void placeOnSliders();
    // The playing recording's telemetry has been read (a start holds an empty one until then).
    bool telemetryRead() const;

    ORBPlaybackController& m_playback;
    GraphView* m_graph;
    std::vector<TKSliderMarks*> m_sliders;
    ORBTelemetry m_telemetry;
    int64_t m_lengthUsed = -1;
    int64_t m_shownLengthUsed = -1;
    std::vector<nura::ORBEventMarker> m_markers;
    const ORBDriveReadAhead* m_readAhead = nullptr;
    // In drive mode, the drive's markers with their seconds into the drive; else empty.
    std::vector<nura::ORBEventMarker> m_driveMarkers;
    std::vector<std::pair<double, double>> m_placeholders;
    std::vector<TKSliderMarks*> m_bands; // a layer over each slider for the placeholders
};
