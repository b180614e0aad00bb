#include "ui/app/ORBViewingTools.h"

#include "ui/app/ORBAppDelegate.h"
#include "ui/app/ORBMainWindowView.h"
#include "ui/views/TKSliderMarks.h"

#include <QShortcut>

ORBViewingTools::ORBViewingTools(ORBAppDelegate& app)
    : QObject(&app),
      m_markers(new ORBEventMarkerController(app.playback(), *app.player1(), *app.player2(),
                                             app.view().graphView,
                                             {new TKSliderMarks(app.view().videoPositionSlider),
                                              new TKSliderMarks(app.view().videoPositionSliderForFullScreen)},
                                             this)),
      m_stepper(app.playback(), *app.player1(), *app.player2(), app.playInfo()),
      m_mirror(new ORBRearMirror(*app.player1(), app.video1View(), *app.player2(), app.video2View(), this)) {
    auto& playback = app.playback();
    connect(&playback, &ORBPlaybackController::telemetryChanged, m_markers,
            &ORBEventMarkerController::setTelemetry);
    // The length, and so the markers' times, is known only once a player has opened its file.
    for (MediaPlayer* player : {app.player1(), app.player2()}) {
        connect(player, &MediaPlayer::stateChanged, m_markers, &ORBEventMarkerController::refresh);
        connect(player, &MediaPlayer::timeChanged, m_markers, &ORBEventMarkerController::refresh);
    }
    connect(&playback, &ORBPlaybackController::recordingStarting, m_mirror, &ORBRearMirror::refresh);
    connect(&playback, &ORBPlaybackController::swapped, m_mirror, &ORBRearMirror::refresh);
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
}
