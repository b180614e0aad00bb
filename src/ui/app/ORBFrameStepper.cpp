// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/app/ORBFrameStepper.h"

#include "platform/MediaPlayer.h"
#include "ui/app/ORBPlaybackController.h"

#include <algorithm>

namespace {

// The other picture at the lead's moment, and the texts, graph bar and sliders with it.
void follow(ORBRecordingPlayer& recording) {
    MediaPlayer& other = recording.follower();
    if (other.hasMedia() && other.state() != MediaPlayer::Failed) {
        other.showFrameAt(recording.lead().time());
    }
    recording.publishPosition();
}

} // namespace

ORBFrameStepper::~ORBFrameStepper() {
    dropPending();
}

bool ORBFrameStepper::step(int frames) {
    ORBRecordingPlayer& recording = m_playback.recording();
    MediaPlayer& lead = recording.lead();
    MediaPlayer& other = recording.follower();
    const ORBRecordingState state = recording.state();
    if (frames == 0 || !lead.hasMedia() || lead.isPlaying() || other.isPlaying() || m_playback.swapping() ||
        (state != ORBRecordingState::Paused && state != ORBRecordingState::Ended)) {
        return false;
    }
    dropPending();
    if (!lead.stepFrame(frames)) {
        return state == ORBRecordingState::Paused && stepOverJoin(frames);
    }
    follow(recording);
    return true;
}

bool ORBFrameStepper::stepOverJoin(int frames) {
    const ORBDrivePlayback& drive = m_playback.drivePlayback();
    const auto segment = drive.segment();
    if (!m_playback.driveModeActive() || !segment) {
        return false;
    }
    const ORBRecordingPlayer& recording = m_playback.recording();
    const MediaPlayer& lead = recording.lead();
    const int64_t at = lead.frameIndexAt(lead.time());
    const auto& segments = drive.drive()->segments();
    if (frames < 0) {
        // Only from the first frame (a file whose length is not known yet refuses every step).
        if (at + frames >= 0 || *segment == 0) {
            return false;
        }
        const auto& previous = segments[*segment - 1];
        // The previous recording opens paused a little before its end (a paused open first plays, so
        // its very end would end it), then shows its last frame exactly.
        m_playback.seekDriveTo(previous.endMs() - std::min<int64_t>(kLandBeforeEndMs, previous.lengthMs / 2));
        showFrameWhenPaused(true);
        return true;
    }
    // Past the lead's last frame, and the other file of the pair does not go on beyond it.
    const int64_t last = lead.lastFrameIndex();
    if (last < 0 || at + frames <= last || lead.mediaLength() < recording.length() ||
        *segment + 1 >= segments.size()) {
        return false;
    }
    // A recording opened ahead plays on for a moment before the pause takes: its first frame is
    // shown again once paused.
    m_playback.seekDriveTo(segments[*segment + 1].startMs);
    showFrameWhenPaused(false);
    return true;
}

void ORBFrameStepper::showFrameWhenPaused(bool last) {
    const auto& item = m_playback.item();
    if (!item) {
        return;
    }
    m_pendingPath = item->mainPath;
    m_pendingLast = last;
    m_pending = QObject::connect(&m_playback, &ORBPlaybackController::stateChanged, &m_playback,
                                 [this](ORBRecordingState state) { stateChanged(state); });
    // A seek asked meanwhile is the user's word on where to be.
    m_pendingSeek =
        QObject::connect(&m_playback, &ORBPlaybackController::seeked, &m_playback, [this] { dropPending(); });
    // The players may have come up paused at once.
    stateChanged(m_playback.state());
}

void ORBFrameStepper::stateChanged(ORBRecordingState state) {
    const auto& item = m_playback.item();
    if (!item || item->mainPath != m_pendingPath || state == ORBRecordingState::Idle ||
        state == ORBRecordingState::Ended || state == ORBRecordingState::Failed) {
        dropPending(); // another recording came, or this one went: nothing to show
        return;
    }
    if (state != ORBRecordingState::Paused) {
        return; // on its way to the pause
    }
    const bool last = m_pendingLast;
    dropPending();
    ORBRecordingPlayer& recording = m_playback.recording();
    MediaPlayer& lead = recording.lead();
    if (lead.showFrame(last ? lead.lastFrameIndex() : 0)) {
        follow(recording);
    }
}

void ORBFrameStepper::dropPending() {
    for (QMetaObject::Connection* c : {&m_pending, &m_pendingSeek}) {
        if (*c) {
            QObject::disconnect(*c);
            *c = {};
        }
    }
    m_pendingPath.clear();
}
