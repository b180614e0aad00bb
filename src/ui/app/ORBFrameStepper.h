// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Frame by frame through a paused recording on both cameras: the leading picture moves one of its
// own frames, the other picture shows its frame at or before that moment, and the telemetry follows.
// In drive mode a step past a recording's first or last frame goes on in the neighbouring recording.

#include "ui/app/ORBPlaybackState.h"

#include <QMetaObject>
#include <QString>

#include <cstdint>

class ORBPlaybackController;

class ORBFrameStepper {
public:
    explicit ORBFrameStepper(ORBPlaybackController& playback) : m_playback(playback) {}
    ~ORBFrameStepper();
    ORBFrameStepper(const ORBFrameStepper&) = delete;
    ORBFrameStepper& operator=(const ORBFrameStepper&) = delete;

    // One frame on (back when `frames` is negative). Refused (false, nothing moves) while either
    // picture plays, while a start, seek or swap is under way, and at the first or last frame, unless
    // the drive goes on there: then the neighbouring recording comes up paused on its first (last)
    // frame.
    bool step(int frames);
    bool stepForward() { return step(1); }
    bool stepBackward() { return step(-1); }

private:
    bool stepOverJoin(int frames);
    // Once the recording stepped into has come up paused, its last (first) frame is shown exactly.
    void showFrameWhenPaused(bool last);
    void stateChanged(ORBRecordingState state);
    void dropPending();

    static constexpr int64_t kLandBeforeEndMs = 1000;

    ORBPlaybackController& m_playback;
    QMetaObject::Connection m_pending, m_pendingSeek;
    QString m_pendingPath;
    bool m_pendingLast = false;
};
