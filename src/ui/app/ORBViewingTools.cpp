// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/app/ORBViewingTools.h"

#include "platform/PathText.h"
#include "platform/VideoView.h"
#include "ui/app/CustomWindow.h"
#include "ui/app/ORBAppDelegate.h"
#include "ui/app/ORBMainWindowView.h"
#include "ui/views/TKSliderMarks.h"

#include <QFile>
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
    add(QKeySequence(Qt::Key_I),
        [this] { m_clips->setIn(recording().time() / 1000.0, recording().length() / 1000.0); });
    add(QKeySequence(Qt::Key_O),
        [this] { m_clips->setOut(recording().time() / 1000.0, recording().length() / 1000.0); });
}

void ORBViewingTools::exportClip(const QString& selected) {
    const ORBRecordingPlayer& playing = recording();
    const auto& item = playing.item();
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
    if (selected.isEmpty()) {
        return;
    }
    const auto chain = nura::LosslessClip::chain(nura::pathBytes(selected), 0);
    const double length = chain.empty() ? 0.0 : chain.front().duration;
    m_clips->exportClip(selected, {0.0, length}, length);
}
