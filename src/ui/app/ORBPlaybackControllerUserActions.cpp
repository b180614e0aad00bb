// SPDX-License-Identifier: GPL-3.0-or-later
// ORBPlaybackController's answers to the user's controls: play and pause, the slider, jumps, speed,
// volume, the heard side and swapping the pictures.

#include "ui/app/ORBPlaybackController.h"

#include "core/log.h"
#include "ui/app/ORBPlayInfo.h"
#include "ui/strings/InfoPlist.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>

// ---- controls

void ORBPlaybackController::clickPlayButton() {
    if (status() == ORBPlaybackStatus::Playing) {
        pause();
    } else {
        play();
    }
}

void ORBPlaybackController::pause() {
    switch (state()) {
    case ORBRecordingState::Starting:
    case ORBRecordingState::Playing:
        m_recording.pause();
        updateIsPlaying(); // a pause while opening shows at once
        break;
    case ORBRecordingState::Ended:
    case ORBRecordingState::Failed:
        cancelAdvance(); // stays on the ended (or unplayable) recording
        break;
    case ORBRecordingState::Idle:
    case ORBRecordingState::Paused:
        break;
    }
}

void ORBPlaybackController::play() {
    switch (state()) {
    case ORBRecordingState::Idle:
        // After a stop the last recording plays again from its start; with none, nothing.
        if (m_item) {
            start(*m_item, m_mediaIndex, 0, ORBStartKind::Fresh);
        }
        return;
    case ORBRecordingState::Failed:
        if (m_item) {
            start(*m_item, m_mediaIndex, 0, ORBStartKind::Fresh);
        }
        return;
    case ORBRecordingState::Starting:
        // Takes back a pause asked while the players open.
        if (m_recording.pauseAskedWhileStarting()) {
            m_recording.play();
            updateIsPlaying();
        }
        return;
    case ORBRecordingState::Playing:
        return;
    case ORBRecordingState::Ended: {
        cancelAdvance();
        // At the end with the slider there too the recording plays again from its start;
        // with the slider moved back, from the slider's time.
        const double slider = m_info.position();
        const int64_t time =
            slider >= kSliderEnd ? 0 : static_cast<int64_t>(slider * static_cast<double>(length()));
        seekTo(time);
        break;
    }
    case ORBRecordingState::Paused:
        break;
    }
    m_recording.play();
}

void ORBPlaybackController::setSliderHeld(bool held) {
    m_sliderHeld = held;
    updateFollowing();
}

void ORBPlaybackController::videoPositionSliderMoved(double value) {
    value = std::isfinite(value) ? std::clamp(value, 0.0, 1.0) : 0.0;
    nura::logf("[D ] position slider moved:%lf <=> %lf", m_info.position(), value);
    if (!m_item || state() == ORBRecordingState::Idle) {
        return;
    }
    if (m_drive.active()) {
        seekDriveTo(std::llround(value * static_cast<double>(m_drive.drive()->lengthMs())));
        m_info.setPosition(value);
        return;
    }
    if (value >= kSliderEnd) {
        m_recording.seekToEnd();
        emit seeked(length());
        m_recording.publishPosition();
        m_info.setPosition(value);
        return;
    }
    seekTo(static_cast<int64_t>(std::llround(value * static_cast<double>(length()))));
    m_info.setPosition(value);
}

// Every seek, whether by slider, key, jump or the desktop's controls, goes through here. The
// players keep one seek under way and only the newest behind it, so the latest position wins.
void ORBPlaybackController::seekTo(int64_t ms) {
    if (!m_item || state() == ORBRecordingState::Idle) {
        return;
    }
    const int64_t total = length();
    ms = std::max<int64_t>(ms, 0);
    if (total > 0 && ms >= total) {
        m_recording.seekToEnd();
        emit seeked(total);
        m_recording.publishPosition();
        return;
    }
    if (state() == ORBRecordingState::Ended) {
        cancelAdvance(); // the user went back: the next recording waits for play
    }
    m_recording.seek(ms);
    // Told before the position, so that the map draws the trail up to where the seek landed.
    emit seeked(ms);
    m_recording.publishPosition();
}

void ORBPlaybackController::jumpForward() {
    if (!m_item) {
        return;
    }
    nura::logf("[D ] _player1.time=%s,remainingTime.stringValue=%s",
               MediaPlayer::timeString(time()).toUtf8().constData(),
               MediaPlayer::timeString(time() - length()).toUtf8().constData());
    if (m_drive.active()) {
        seekDriveTo(m_drive.driveTime(time()) + 10000);
        return;
    }
    seekTo(time() + 10000);
}

void ORBPlaybackController::jumpBackward() {
    if (!m_item) {
        return;
    }
    if (m_drive.active()) {
        seekDriveTo(std::max<int64_t>(m_drive.driveTime(time()) - 10000, 0));
        return;
    }
    seekTo(time() - 10000);
    updateAudioUI();
}

double ORBPlaybackController::nearestSpeed(double speed) {
    if (!std::isfinite(speed) || speed <= 0) {
        return 1.0;
    }
    // The steps double each time: the nearest is nearest by ratio, so 3x is closer to 4x than to 2x.
    return *std::min_element(kSpeeds.begin(), kSpeeds.end(), [speed](double a, double b) {
        return std::abs(std::log2(a / speed)) < std::abs(std::log2(b / speed));
    });
}

void ORBPlaybackController::setSpeed(double speed) {
    speed = nearestSpeed(speed);
    if (speed == m_info.speed()) {
        return;
    }
    m_recording.setRate(static_cast<float>(speed));
    m_info.setSpeed(speed);
    updateAudioUI(); // no sound above kMaxSpeedWithSound
    emit speedChanged(speed);
}

void ORBPlaybackController::increaseSpeed() {
    const auto next = std::upper_bound(kSpeeds.begin(), kSpeeds.end(), m_info.speed());
    if (next != kSpeeds.end()) {
        setSpeed(*next);
    }
}

void ORBPlaybackController::decreaseSpeed() {
    const auto at = std::lower_bound(kSpeeds.begin(), kSpeeds.end(), m_info.speed());
    if (at != kSpeeds.begin()) {
        setSpeed(*std::prev(at));
    }
}

void ORBPlaybackController::setVolume(int volume) {
    volume = std::clamp(volume, 0, kMaxVolume);
    if (volume == m_volume) {
        return;
    }
    m_volume = volume;
    emit volumeChanged(volume);
}

// ---- the heard side

// The main picture's side is heard; with no file at all, none.
void ORBPlaybackController::chooseAudioAuto() {
    uint side = 2;
    if (const MediaPlayer* main = &m_recording.main(); main->hasMedia()) {
        side = main == m_recording.rear() ? 1 : 0;
    } else if (m_recording.sub().hasMedia()) {
        side = &m_recording.sub() == m_recording.rear() ? 1 : 0;
    }
    m_info.setAudioMediaDirection(side);
}

void ORBPlaybackController::toggleAudioChoice(bool rear) {
    m_info.setAudioMediaDirection(rear ? 1 : 0);
}

void ORBPlaybackController::toggleAudioSide() {
    if (!m_recording.sub().hasMedia()) {
        return;
    }
    toggleAudioChoice(m_info.audioMediaDirection() == 0);
}

void ORBPlaybackController::updateAudioUI() {
    const uint side = m_info.audioMediaDirection();
    emit audioToggleChanged(side != 2 && m_recording.sub().hasMedia(), side == 1);
    MediaPlayer* heard = nullptr;
    if (m_move != ORBPlaybackMove::Swapping && side != 2 && m_info.speed() <= kMaxSpeedWithSound) {
        heard = m_recording.side(side);
        if (heard && !heard->hasMedia()) {
            heard = nullptr;
        }
    }
    for (MediaPlayer* p : {&m_recording.main(), &m_recording.sub()}) {
        if (p == heard) {
            p->setMute(false);
            p->setVolume(m_volume);
        } else {
            p->setMute(true);
        }
    }
}

// ---- swapping the pictures

bool ORBPlaybackController::swapPlayer() {
    if (m_move == ORBPlaybackMove::Swapping || !m_item || !m_item->hasPartner() ||
        state() != ORBRecordingState::Playing || !isPlaying(m_recording.main()) ||
        !isPlaying(m_recording.sub())) {
        return false;
    }
    // The exchange is a start of the same recording at the same moment, with the files changed over.
    start(m_item->swapped(), m_mediaIndex, m_recording.main().time(), ORBStartKind::Swap);
    updateAudioUI(); // both muted while swapping
    later(kSwapMuteSeconds, [this] {
        if (m_move == ORBPlaybackMove::Swapping) {
            m_move = ORBPlaybackMove::None;
        }
        updateFollowing();
        updateAudioUI();
    });
    return true;
}
