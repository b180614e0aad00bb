// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Frame by frame through a paused recording on both cameras: the leading picture moves one of its
// own frames, the other picture shows its frame at or before that moment, and the telemetry follows.

class ORBPlaybackController;

class ORBFrameStepper {
public:
    explicit ORBFrameStepper(const ORBPlaybackController& playback) : m_playback(playback) {}

    // One frame on (back when `frames` is negative). Refused (false, nothing moves) while either
    // picture plays, while a start, seek or swap is under way, and at the first or last frame.
    bool step(int frames);
    bool stepForward() { return step(1); }
    bool stepBackward() { return step(-1); }

private:
    const ORBPlaybackController& m_playback;
};
