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
    // Asks for and exports a clip of the playing recording, or of `selected` when none plays (once its
    // length has been read, off the UI thread).
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
    // Where the clip's marks are measured: seconds of the recording, or in drive mode of the drive.
    struct MarkFrame {
        double now = 0, length = 0;
        double recordingStart = 0; // the playing recording's first moment, in the drive
    };
    MarkFrame markFrame() const;
    // The marks follow the slider into the drive and back; false while they are the recording's.
    void moveMarks(bool intoDrive);
    // In drive mode: the span of the drive asked for, from the recording where it begins; refused,
    // said in the status line, across a gap longer than a clip goes on over.
    void exportDriveClip();

    bool m_marksInDrive = false;
    bool m_readingLength = false; // of a selected recording, before its dialog opens
};
