// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/app/ORBViewingTools.h"

#include "platform/PathText.h"
#include "platform/VideoView.h"
#include "ui/app/BackgroundResult.h"
#include "ui/app/CustomWindow.h"
#include "ui/app/ORBAppDelegate.h"
#include "ui/app/ORBMainWindowView.h"
#include "ui/strings/InfoPlist.h"
#include "ui/views/TKSliderMarks.h"

#include <cmath>

#include <QDateTime>
#include <QFile>
#include <QGuiApplication>
#include <QShortcut>

ORBViewingTools::ORBViewingTools(ORBAppDelegate& app)
    : QObject(&app),
      m_markers(new ORBEventMarkerController(app.playback(), app.view().graphView,
                                             {new TKSliderMarks(app.view().videoPositionSlider),
                                              new TKSliderMarks(app.view().videoPositionSliderForFullScreen)},
                                             this)),
      m_stepper(app.playback()),
      m_mirror(new ORBRearMirror(app.recording(), app.video1View(), app.video2View(), this)),
      m_playback(app.playback()),
      m_clips(new ORBClipExportController(m_markers->sliders(), app.window(), app.view().statusLabel, this)) {
    auto& playback = app.playback();
    connect(&playback, &ORBPlaybackController::telemetryChanged, m_markers,
            &ORBEventMarkerController::setTelemetry);
    connect(&playback, &ORBPlaybackController::recordingStarting, m_mirror, &ORBRearMirror::refresh);
    connect(&playback, &ORBPlaybackController::recordingStarting, m_clips,
            &ORBClipExportController::clearMarks);
    connect(&playback, &ORBPlaybackController::driveModeChanged, this, &ORBViewingTools::moveMarks);
    connect(&playback, &ORBPlaybackController::swapped, m_mirror, &ORBRearMirror::refresh);
    // A zoom belongs to its camera: when the cameras change views, their zooms go with them.
    connect(&playback, &ORBPlaybackController::swapped, this,
            [main = app.video1View(), sub = app.video2View()] {
                const VideoZoom was = main->zoom();
                main->setZoom(sub->zoom());
                sub->setZoom(was);
            });
}

void ORBViewingTools::installShortcuts(QWidget* window) {
    auto add = [this, window](const QKeySequence& keys, auto action) {
        auto* s = new QShortcut(keys, window);
        s->setContext(Qt::WindowShortcut);
        connect(s, &QShortcut::activated, this, action);
    };
    add(QKeySequence(Qt::CTRL | Qt::Key_Right), [this] { m_markers->jumpToNextMarker(); });
    add(QKeySequence(Qt::CTRL | Qt::Key_Left), [this] { m_markers->jumpToPreviousMarker(); });
    add(QKeySequence(Qt::Key_Period), [this] { m_stepper.stepForward(); });
    add(QKeySequence(Qt::Key_Comma), [this] { m_stepper.stepBackward(); });
    add(QKeySequence(Qt::Key_M), [this] { m_mirror->toggle(); });
    add(QKeySequence(Qt::Key_I), [this] {
        const MarkFrame f = markFrame();
        m_clips->setIn(f.now, f.length);
    });
    add(QKeySequence(Qt::Key_O), [this] {
        const MarkFrame f = markFrame();
        m_clips->setOut(f.now, f.length);
    });
}

ORBViewingTools::MarkFrame ORBViewingTools::markFrame() const {
    const ORBDrivePlayback& drive = m_playback.drivePlayback();
    const nura::DriveTimeline* timeline = drive.drive();
    if (!m_playback.driveModeActive() || !timeline || !drive.segment()) {
        return {recording().time() / 1000.0, recording().length() / 1000.0, 0.0};
    }
    return {static_cast<double>(drive.driveTime(recording().time())) / 1000.0,
            static_cast<double>(timeline->lengthMs()) / 1000.0,
            static_cast<double>(timeline->segments()[*drive.segment()].startMs) / 1000.0};
}

void ORBViewingTools::moveMarks(bool intoDrive) {
    if (intoDrive == m_marksInDrive) {
        return;
    }
    m_marksInDrive = intoDrive;
    MarkFrame f = markFrame();
    if (!intoDrive) {
        // Where the recording began in the drive it has just left.
        const ORBDrivePlayback& drive = m_playback.drivePlayback();
        if (drive.drive() && drive.segment()) {
            f.recordingStart =
                static_cast<double>(drive.drive()->segments()[*drive.segment()].startMs) / 1000.0;
        }
    }
    // The same moments: out of the drive, a mark outside the playing recording goes.
    const auto moved = [&](std::optional<double> mark) -> std::optional<double> {
        if (!mark) {
            return mark;
        }
        const double at = intoDrive ? *mark + f.recordingStart : *mark - f.recordingStart;
        return at >= 0 && at <= f.length ? std::optional<double>(at) : std::nullopt;
    };
    m_clips->setMarks(moved(m_clips->inMark()), moved(m_clips->outMark()), f.length);
}

void ORBViewingTools::exportDriveClip() {
    const ORBDrivePlayback& drive = m_playback.drivePlayback();
    const nura::DriveTimeline& timeline = *drive.drive();
    const MarkFrame f = markFrame();
    std::vector<double> markers;
    for (const auto& m : m_markers->markers()) {
        markers.push_back(m.seconds + f.recordingStart);
    }
    auto span =
        ORBClipExportController::defaultSpan(m_clips->inMark(), m_clips->outMark(), markers, f.now, f.length);
    if (!m_clips->inMark() && !m_clips->outMark() && markers.empty()) {
        span = {f.recordingStart, f.recordingStart + recording().length() / 1000.0}; // not the whole drive
    }
    const auto toMs = [](double seconds) { return static_cast<int64_t>(std::llround(seconds * 1000.0)); };
    const auto gap = timeline.widestGapBetween(toMs(span.first), toMs(span.second));
    if (gap && static_cast<double>(gap->gapMs) > nura::LosslessClip::kJoinSeconds * 1000.0) {
        const int64_t at = timeline.segments()[gap->segment].clockStartMs;
        m_clips->refuse(
            L("clip.gap_fmt")
                .arg(QString::number(static_cast<double>(gap->gapMs) / 1000.0, 'f', 0))
                .arg(QDateTime::fromMSecsSinceEpoch(at, Qt::UTC).toString(QStringLiteral("HH:mm:ss"))));
        return;
    }
    const auto place = timeline.placeAt(toMs(span.first));
    if (!place) {
        return;
    }
    const double start = static_cast<double>(place->msInRecording) / 1000.0;
    m_clips->exportClip(drive.itemOf(place->segment, true).telemetryPath(),
                        {start, start + span.second - span.first},
                        static_cast<double>(timeline.segments()[place->segment].lengthMs) / 1000.0);
}

void ORBViewingTools::exportClip(const QString& selected) {
    const ORBRecordingPlayer& playing = recording();
    const auto& item = playing.item();
    if (item && playing.length() > 0 && m_marksInDrive && m_playback.drivePlayback().drive() &&
        m_playback.drivePlayback().segment()) {
        exportDriveClip();
        return;
    }
    if (item && playing.length() > 0) {
        const double length = playing.length() / 1000.0;
        std::vector<double> markers;
        for (const auto& m : m_markers->markers()) {
            markers.push_back(m.seconds);
        }
        const auto span = ORBClipExportController::defaultSpan(m_clips->inMark(), m_clips->outMark(), markers,
                                                               playing.time() / 1000.0, length);
        m_clips->exportClip(item->telemetryPath(), span, length);
        return;
    }
    if (selected.isEmpty() || m_readingLength) {
        return;
    }
    // The length is in the file's index: read on a slow card, it would hold the window still.
    m_readingLength = true;
    QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    nura::runWithResult(
        this,
        [path = nura::pathBytes(selected)] {
            const auto chain = nura::LosslessClip::chain(path, 0);
            return chain.empty() ? 0.0 : chain.front().duration;
        },
        [this, selected](double length) {
            m_readingLength = false;
            QGuiApplication::restoreOverrideCursor();
            m_clips->exportClip(selected, {0.0, length}, length);
        });
}
