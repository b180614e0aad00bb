#pragma once
// The main window's tools for looking closely at a recording: event markers and the jumps to them,
// frame stepping on both cameras, and the mirrored rear view, with their keys.

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

    // Ctrl+Right / Ctrl+Left: next / previous marker; "." and ",": a frame on / back; M: the mirror.
    void installShortcuts(QWidget* window);

    ORBEventMarkerController& markers() { return *m_markers; }
    ORBFrameStepper& stepper() { return m_stepper; }
    ORBRearMirror& mirror() { return *m_mirror; }

private:
    ORBEventMarkerController* m_markers;
    ORBFrameStepper m_stepper;
    ORBRearMirror* m_mirror;
};
