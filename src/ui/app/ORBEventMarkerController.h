// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The event markers of the playing recording: found in its G-sensor samples once its length is
// known, drawn on the position sliders and the G-sensor graph, and the jumps to them.

#include "core/telemetry/ORBEventMarkers.h"
#include "ui/app/ORBPlaybackController.h"

#include <QObject>

#include <vector>

class GraphView;
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
    // Finds the markers again when the telemetry or the recording's length has changed since.
    void refresh();
    // Both cameras to a few seconds before the next (previous) marker; false when there is none.
    bool jumpToNextMarker();
    bool jumpToPreviousMarker();

    const std::vector<nura::ORBEventMarker>& markers() const { return m_markers; }
    const std::vector<TKSliderMarks*>& sliders() const { return m_sliders; }
    static double threshold();
    // "Sharp force: 2.53 g at 00:47"
    static QString toolTip(const nura::ORBEventMarker& marker);

private:
    bool jumpTo(std::optional<double> seconds);

    ORBPlaybackController& m_playback;
    GraphView* m_graph;
    std::vector<TKSliderMarks*> m_sliders;
    ORBTelemetry m_telemetry;
    int64_t m_lengthUsed = -1;
    int64_t m_shownLengthUsed = -1;
    std::vector<nura::ORBEventMarker> m_markers;
};
