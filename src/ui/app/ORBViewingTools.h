// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window's tools for looking closely at a recording: event markers and the jumps to them,
// frame stepping on both cameras, the mirrored rear view, and the in and out marks of a clip, with their
// keys.

#include "ui/app/ORBClipExportController.h"
#include "ui/app/ORBEventMarkerController.h"
#include "ui/app/ORBFrameStepper.h"
#include "ui/app/ORBRearMirror.h"

#include <QObject>

class ORBAppDelegate;
class QWidget;

class ORBViewingTools : public QObject {
    Q_OBJECT
public:
    // Wires itself to the delegate's players, playback and window boxes.
    explicit ORBViewingTools(ORBAppDelegate& app);

    // Ctrl+Right / Ctrl+Left: next / previous marker; "." and ",": a frame on / back; M: the mirror;
    // I and O: the clip's in and out marks at the playback position.
    void installShortcuts(QWidget* window);
    // Asks for and exports a clip of the playing recording, or of `selected` when none plays.
    void exportClip(const QString& selected);

    ORBEventMarkerController& markers() { return *m_markers; }
    ORBFrameStepper& stepper() { return m_stepper; }
    ORBRearMirror& mirror() { return *m_mirror; }
    ORBClipExportController& clips() { return *m_clips; }

private:
    ORBEventMarkerController* m_markers;
    ORBFrameStepper m_stepper;
    ORBRearMirror* m_mirror;
    ORBPlaybackController& m_playback;
    ORBClipExportController* m_clips;
    // The recording playing now: the clip's times are its lead's.
    const ORBRecordingPlayer& recording() const { return m_playback.recording(); }
};
