// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/app/ORBEventMarkerController.h"

#include "ui/strings/InfoPlist.h"
#include "ui/views/GraphView.h"
#include "ui/views/TKSliderMarks.h"

#include <QSettings>

#include <cmath>

ORBEventMarkerController::ORBEventMarkerController(ORBPlaybackController& playback, GraphView* graph,
                                                   std::vector<TKSliderMarks*> sliders, QObject* parent)
    : QObject(parent), m_playback(playback), m_graph(graph), m_sliders(std::move(sliders)) {
    // The length, and so the markers' times, is known only once a player has opened its file.
    connect(&playback.recording(), &ORBRecordingPlayer::playersReported, this,
            &ORBEventMarkerController::refresh);
    // In drive mode the sliders run over the whole drive: the ticks move.
    connect(&playback, &ORBPlaybackController::driveModeChanged, this, [this] {
        m_lengthUsed = -1;
        refresh();
    });
}

double ORBEventMarkerController::threshold() {
    bool ok = false;
    const double value = QSettings().value(QLatin1String(kThresholdKey)).toDouble(&ok);
    return ok && std::isfinite(value) && value > 0 ? value : nura::ORBEventMarkers::kDefaultThresholdG;
}

QString ORBEventMarkerController::toolTip(const nura::ORBEventMarker& marker) {
    return L("main.marker_tip_fmt")
        .arg(QString::number(marker.peak, 'f', 2))
        .arg(MediaPlayer::timeString(std::llround(marker.seconds * 1000)));
}

void ORBEventMarkerController::setTelemetry(const ORBTelemetry& telemetry) {
    m_telemetry = telemetry;
    m_lengthUsed = -1;
    refresh();
}

void ORBEventMarkerController::refresh() {
    // The markers come from the telemetry's file, whichever view shows it.
    const ORBRecordingPlayer& recording = m_playback.recording();
    const MediaPlayer* telemetryPlayer = recording.telemetryPlayer();
    const int64_t length = m_telemetry && telemetryPlayer ? telemetryPlayer->mediaLength() : 0;
    // The sliders show the main picture's own length, which after a swap or with a partner of
    // another length is not the telemetry's: a marker sits where its moment is on that slider.
    const int64_t shown = m_telemetry ? recording.length() : 0;
    if (length == m_lengthUsed && shown == m_shownLengthUsed) {
        return;
    }
    m_lengthUsed = length;
    m_shownLengthUsed = shown;
    // The samples are bounded by the reader (at most an hour's worth): a few milliseconds at most.
    m_markers = m_telemetry ? nura::ORBEventMarkers::find(m_telemetry->gSensors(),
                                                          static_cast<double>(length) / 1000.0, threshold())
                            : std::vector<nura::ORBEventMarker>();
    std::vector<TKMarker> onGraph, onSliders;
    onGraph.reserve(m_markers.size());
    for (const auto& m : m_markers) {
        onGraph.push_back({m.position, toolTip(m)});
        const ORBDrivePlayback& drive = m_playback.drivePlayback();
        const double at = m_playback.driveModeActive() ? drive.position(std::llround(m.seconds * 1000.0))
                          : shown > 0 && length > 0    ? m.seconds * 1000.0 / static_cast<double>(shown)
                                                       : m.position;
        if (at <= 1.0) { // a moment past the main picture's end has no place on its slider
            onSliders.push_back({at, onGraph.back().toolTip});
        }
    }
    for (TKSliderMarks* slider : m_sliders) {
        slider->setMarkers(onSliders);
    }
    if (m_graph) {
        m_graph->setMarkers(std::move(onGraph));
    }
}

bool ORBEventMarkerController::jumpTo(std::optional<double> seconds) {
    if (!seconds || m_playback.recording().length() <= 0 ||
        m_playback.recording().state() == ORBRecordingState::Idle) {
        return false;
    }
    m_playback.seekTo(std::llround(*seconds * 1000.0));
    return true;
}

bool ORBEventMarkerController::jumpToNextMarker() {
    return jumpTo(nura::ORBEventMarkers::nextTarget(
        m_markers, static_cast<double>(m_playback.recording().time()) / 1000.0));
}

bool ORBEventMarkerController::jumpToPreviousMarker() {
    return jumpTo(nura::ORBEventMarkers::previousTarget(
        m_markers, static_cast<double>(m_playback.recording().time()) / 1000.0));
}
