// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/app/ORBEventMarkerController.h"

#include "ui/app/ORBDriveReadAhead.h"
#include "ui/strings/InfoPlist.h"
#include "ui/views/GraphView.h"
#include "ui/views/TKSliderMarks.h"

#include <QPainter>
#include <QSettings>
#include <QSlider>

#include <algorithm>
#include <cmath>

namespace {

// Hatched bands over the groove where a recording of the drive is still being read: its markers are
// not known yet, which an empty stretch would not say.
class PlaceholderBands final : public TKSliderMarks {
public:
    using TKSliderMarks::TKSliderMarks;
    void setBands(std::vector<std::pair<double, double>> bands) {
        if (bands != m_bands) {
            m_bands = std::move(bands);
            update();
        }
    }

protected:
    void paintEvent(QPaintEvent*) override {
        if (m_bands.empty()) {
            return;
        }
        QPainter p(this);
        const QBrush hatch(QColor(255, 176, 0, 110), Qt::BDiagPattern);
        const double middle = height() / 2.0;
        for (const auto& [from, to] : m_bands) {
            const double a = xOf(from), b = xOf(to);
            p.fillRect(QRectF(a, middle - 8, std::max(1.0, b - a), 16), hatch);
        }
    }

private:
    std::vector<std::pair<double, double>> m_bands;
};

} // namespace

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

void ORBEventMarkerController::setReadAhead(const ORBDriveReadAhead* readAhead) {
    if (m_readAhead) {
        disconnect(m_readAhead, nullptr, this, nullptr);
    }
    m_readAhead = readAhead;
    if (readAhead) {
        connect(readAhead, &ORBDriveReadAhead::changed, this, &ORBEventMarkerController::placeOnSliders);
    }
    placeOnSliders();
}

bool ORBEventMarkerController::telemetryRead() const {
    return m_telemetry && (!m_telemetry->gSensors().empty() || !m_telemetry->nmeas().empty() ||
                           m_telemetry->lastError() != nura::ORBTelemetryError::None);
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
    std::vector<TKMarker> onGraph;
    onGraph.reserve(m_markers.size());
    for (const auto& m : m_markers) {
        onGraph.push_back({m.position, toolTip(m)});
    }
    if (m_graph) {
        m_graph->setMarkers(std::move(onGraph));
    }
    placeOnSliders();
}

void ORBEventMarkerController::placeOnSliders() {
    std::vector<TKMarker> onSliders;
    m_driveMarkers.clear();
    m_placeholders.clear();
    const ORBDrivePlayback& playback = m_playback.drivePlayback();
    const nura::DriveTimeline* drive = m_playback.driveModeActive() ? playback.drive() : nullptr;
    if (drive && drive->lengthMs() > 0) {
        const auto driveLength = static_cast<double>(drive->lengthMs());
        const auto& segments = drive->segments();
        for (size_t i = 0; i < segments.size(); ++i) {
            const nura::DriveSegment& s = segments[i];
            // The playing recording's come from playback's own read, the others' from the read-ahead.
            const ORBDriveRead read = m_readAhead ? m_readAhead->readOf(m_readAhead->pathOf(i)) : nullptr;
            const std::vector<nura::ORBEventMarker>* markers =
                playback.segment() == i && (telemetryRead() || !m_readAhead) ? &m_markers
                : read                                                       ? &read->markers
                                                                             : nullptr;
            if (!markers) {
                m_placeholders.emplace_back(static_cast<double>(s.startMs) / driveLength,
                                            static_cast<double>(s.endMs()) / driveLength);
                continue;
            }
            for (nura::ORBEventMarker m : *markers) {
                const double ms = std::clamp(m.seconds * 1000.0, 0.0, static_cast<double>(s.lengthMs));
                m.seconds = (static_cast<double>(s.startMs) + ms) / 1000.0; // the tip says the drive's time
                m.position = m.seconds * 1000.0 / driveLength;
                m_driveMarkers.push_back(m);
                onSliders.push_back({m.position, toolTip(m)});
            }
        }
    } else {
        const int64_t length = m_lengthUsed, shown = m_shownLengthUsed;
        for (const auto& m : m_markers) {
            const double at =
                shown > 0 && length > 0 ? m.seconds * 1000.0 / static_cast<double>(shown) : m.position;
            if (at <= 1.0) { // a moment past the main picture's end has no place on its slider
                onSliders.push_back({at, toolTip(m)});
            }
        }
    }
    for (TKSliderMarks* slider : m_sliders) {
        slider->setMarkers(onSliders);
    }
    if (m_bands.empty() && !m_placeholders.empty()) {
        for (TKSliderMarks* marks : m_sliders) {
            if (auto* slider = qobject_cast<QSlider*>(marks->parentWidget())) {
                auto* bands = new PlaceholderBands(slider);
                bands->setObjectName(QStringLiteral("readingBands"));
                bands->show();
                m_bands.push_back(bands);
            }
        }
    }
    for (TKSliderMarks* bands : m_bands) {
        static_cast<PlaceholderBands*>(bands)->setBands(m_placeholders);
    }
}

bool ORBEventMarkerController::jumpTo(std::optional<double> seconds) {
    if (!seconds || m_playback.recording().length() <= 0 ||
        m_playback.recording().state() == ORBRecordingState::Idle) {
        return false;
    }
    // In drive mode a marker of another recording is a seek across the joins.
    m_playback.driveModeActive() ? m_playback.seekDriveTo(std::llround(*seconds * 1000.0))
                                 : m_playback.seekTo(std::llround(*seconds * 1000.0));
    return true;
}

double ORBEventMarkerController::nowSeconds() const {
    const int64_t ms = m_playback.recording().time();
    return static_cast<double>(m_playback.driveModeActive() ? m_playback.drivePlayback().driveTime(ms) : ms) /
           1000.0;
}

bool ORBEventMarkerController::jumpToNextMarker() {
    return jumpTo(nura::ORBEventMarkers::nextTarget(m_playback.driveModeActive() ? m_driveMarkers : m_markers,
                                                    nowSeconds()));
}

bool ORBEventMarkerController::jumpToPreviousMarker() {
    return jumpTo(nura::ORBEventMarkers::previousTarget(
        m_playback.driveModeActive() ? m_driveMarkers : m_markers, nowSeconds()));
}
