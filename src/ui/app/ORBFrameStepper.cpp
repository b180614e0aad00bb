#include "ui/app/ORBFrameStepper.h"

#include "platform/MediaPlayer.h"
#include "ui/app/ORBPlayInfo.h"
#include "ui/app/ORBPlaybackController.h"

bool ORBFrameStepper::step(int frames) {
    if (!m_main.hasMedia() || m_main.isPlaying() || m_sub.isPlaying() || m_playback.waitingForPlayStart() ||
        m_playback.moving() || m_playback.swapping()) {
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
    return true;
}
