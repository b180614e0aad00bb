// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/app/ORBFrameStepper.h"

#include "platform/MediaPlayer.h"
#include "ui/app/ORBPlaybackController.h"

bool ORBFrameStepper::step(int frames) {
    ORBRecordingPlayer& recording = m_playback.recording();
    MediaPlayer& lead = recording.lead();
    MediaPlayer& other = recording.follower();
    const ORBRecordingState state = recording.state();
    if (!lead.hasMedia() || lead.isPlaying() || other.isPlaying() || m_playback.swapping() ||
        (state != ORBRecordingState::Paused && state != ORBRecordingState::Ended)) {
        return false;
    }
    if (!lead.stepFrame(frames)) {
        return false;
    }
    if (other.hasMedia() && other.state() != MediaPlayer::Failed) {
        other.showFrameAt(lead.time());
    }
    // The texts, the graph's bar and the sliders follow the position.
    recording.publishPosition();
    return true;
}
