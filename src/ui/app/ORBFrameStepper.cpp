// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/app/ORBFrameStepper.h"

#include "platform/MediaPlayer.h"
#include "ui/app/ORBPlayInfo.h"
#include "ui/app/ORBPlaybackController.h"

bool ORBFrameStepper::step(int frames) {
    const ORBRecordingState state = m_playback.state();
    if (!m_main.hasMedia() || m_main.isPlaying() || m_sub.isPlaying() || m_playback.swapping() ||
        (state != ORBRecordingState::Paused && state != ORBRecordingState::Ended)) {
        return false;
    }
    if (!m_main.stepFrame(frames)) {
        return false;
    }
    if (m_sub.hasMedia()) {
        m_sub.showFrameAt(m_main.time());
    }
    // The texts, the graph's bar and the sliders follow the position.
    m_info.setPosition(static_cast<double>(m_main.position()));
    m_playback.recording().publishPosition();
    return true;
}
