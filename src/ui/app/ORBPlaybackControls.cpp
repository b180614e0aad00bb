// SPDX-License-Identifier: GPL-3.0-or-later
// ORBPlaybackController's answers to the user's controls: play and pause, the slider, jumps, speed,
// volume, the heard side, swapping the pictures, window scale and the loading indicator.

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
    switch (m_state) {
    case ORBRecordingState::Starting:
    case ORBRecordingState::Playing:
        // A player still opening keeps the pause and comes up paused.
        for (MediaPlayer* p : {&m_player1, &m_player2}) {
            if (p->hasMedia() && (p->isPlaying() || p->state() == MediaPlayer::Opening)) {
                p->pause();
            }
        }
        break;
    case ORBRecordingState::Ended:
        cancelAdvance(); // stays on the ended recording
        break;
    case ORBRecordingState::Idle:
    case ORBRecordingState::Paused:
    case ORBRecordingState::Failed:
        break;
    }
}

void ORBPlaybackController::play() {
    switch (m_state) {
    case ORBRecordingState::Idle:
        // After a stop the last recording plays again from its start; with none, nothing.
        if (m_item) {
            start(*m_item, m_mediaIndex, 0, false);
        }
        return;
    case ORBRecordingState::Failed:
        if (m_item) {
            start(*m_item, m_mediaIndex, 0, false);
        }
        return;
    case ORBRecordingState::Starting:
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
    for (MediaPlayer* p : {&m_player1, &m_player2}) {
        if (p->hasMedia() && p->state() != MediaPlayer::Failed) {
            p->play();
        }
    }
}

void ORBPlaybackController::setAllTimesToEnd() {
    for (MediaPlayer* p : {&m_player1, &m_player2}) {
        if (p->hasMedia()) {
            p->setTime(p->mediaLength());
        }
    }
}

void ORBPlaybackController::setSliderHeld(bool held) {
    m_sliderHeld = held;
}

void ORBPlaybackController::videoPositionSliderMoved(double value) {
    value = std::isfinite(value) ? std::clamp(value, 0.0, 1.0) : 0.0;
    nura::logf("[D ] position slider moved:%lf <=> %lf", m_info.position(), value);
    if (!m_item || m_state == ORBRecordingState::Idle) {
        return;
    }
    if (value >= kSliderEnd) {
        m_info.setPosition(value);
        setAllTimesToEnd();
        emit seeked(length());
        return;
    }
    seekTo(static_cast<int64_t>(std::llround(value * static_cast<double>(length()))));
    m_info.setPosition(value);
}

// Every seek, whether by slider, key, jump or the desktop's controls, goes through here. The
// players keep one seek under way and only the newest behind it, so the latest position wins.
void ORBPlaybackController::seekTo(int64_t ms) {
    if (!m_item || m_state == ORBRecordingState::Idle) {
        return;
    }
    const int64_t total = length();
    ms = std::max<int64_t>(ms, 0);
    if (total > 0 && ms >= total) {
        setAllTimesToEnd();
        emit seeked(total);
        return;
    }
    if (m_state == ORBRecordingState::Ended) {
        cancelAdvance(); // the user went back: the next recording waits for play
    }
    for (MediaPlayer* p : {&m_player1, &m_player2}) {
        if (p->hasMedia() && p->state() != MediaPlayer::Failed) {
            const int64_t own = p->mediaLength();
            p->setTime(own > 0 ? std::min(ms, own) : ms);
        }
    }
    m_timeReportCounter = -1;
    publishPosition();
    emit seeked(ms);
}

void ORBPlaybackController::jumpForward() {
    if (!m_item) {
        return;
    }
    nura::logf("[D ] _player1.time=%s,remainingTime.stringValue=%s",
               MediaPlayer::timeString(time()).toUtf8().constData(),
               MediaPlayer::timeString(time() - length()).toUtf8().constData());
    seekTo(time() + 10000);
}

void ORBPlaybackController::jumpBackward() {
    if (!m_item) {
        return;
    }
    seekTo(time() - 10000);
    updateAudioUI();
}

void ORBPlaybackController::setSpeed(double speed) {
    speed = speed > 1.5 ? kMaxSpeed : 1.0;
    if (speed == m_info.speed()) {
        return;
    }
    speed > 1.0 ? increaseSpeed() : decreaseSpeed();
}

void ORBPlaybackController::increaseSpeed() {
    if (m_info.speed() + 1.0 > kMaxSpeed) {
        return;
    }
    m_player1.setRate(m_player1.rate() + 1.0f);
    m_player2.setRate(m_player2.rate() + 1.0f);
    m_info.setSpeed(m_info.speed() + 1.0);
    emit speedChanged(m_info.speed());
}

void ORBPlaybackController::decreaseSpeed() {
    if (m_info.speed() <= 1.0) {
        return;
    }
    m_player1.setRate(m_player1.rate() - 1.0f);
    m_player2.setRate(m_player2.rate() - 1.0f);
    m_info.setSpeed(m_info.speed() - 1.0);
    emit speedChanged(m_info.speed());
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

void ORBPlaybackController::chooseAudioAuto() {
    uint side = 2;
    if (m_player1.hasMedia()) {
        side = static_cast<uint>(m_player1.mediaDirection());
    } else if (m_player2.hasMedia()) {
        side = static_cast<uint>(m_player2.mediaDirection());
    }
    m_info.setAudioMediaDirection(side);
}

void ORBPlaybackController::toggleAudioChoice(bool rear) {
    m_info.setAudioMediaDirection(rear ? 1 : 0);
}

void ORBPlaybackController::toggleAudioSide() {
    if (!m_player2.hasMedia()) {
        return;
    }
    toggleAudioChoice(m_info.audioMediaDirection() == 0);
}

void ORBPlaybackController::updateAudioUI() {
    const uint side = m_info.audioMediaDirection();
    emit audioToggleChanged(side != 2 && m_player2.hasMedia(), side == 1);
    MediaPlayer* heard = nullptr;
    if (!m_swapping && side != 2) {
        for (MediaPlayer* p : {&m_player1, &m_player2}) {
            if (p->hasMedia() && static_cast<uint>(p->mediaDirection()) == side) {
                heard = p;
                break;
            }
        }
    }
    for (MediaPlayer* p : {&m_player1, &m_player2}) {
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
    if (m_swapping || !m_item || !m_item->hasPartner() || m_state != ORBRecordingState::Playing ||
        !isPlaying(m_player1) || !isPlaying(m_player2)) {
        return false;
    }
    m_swapping = true;
    // The exchange is a start of the same recording at the same moment, with the files changed over.
    start(m_item->swapped(), m_mediaIndex, m_player1.time(), true);
    updateAudioUI(); // both muted while swapping
    later(kSwapMuteSeconds, [this] {
        m_swapping = false;
        updateAudioUI();
    });
    return true;
}

// ---- window scale

ORBScaleStep ORBPlaybackController::scaleStep(const QRect& window, const QRect& screen, bool fullScreen,
                                              int step) {
    const int width = window.width() + static_cast<int>(std::lround(kMinWidth * step * 0.2));
    const int height = window.height() + static_cast<int>(std::lround(kMinHeight * step * 0.2));
    ORBScaleStep result;
    if (step >= 1) {
        if (fullScreen) {
            return result;
        }
        if (width > screen.width() || height > screen.height() - 100) {
            result.action = ORBScaleStep::EnterFullscreen;
            return result;
        }
    } else if (fullScreen) {
        result.action = ORBScaleStep::LeaveFullscreen;
        return result;
    }
    result.action = ORBScaleStep::Resize;
    result.frame = (width < kMinWidth || height < kMinHeight)
                       ? QRect(window.topLeft(), QSize(kMinWidth, kMinHeight))
                       : QRect(window.topLeft(), QSize(width, height));
    return result;
}

// ---- loading indicator

void ORBPlaybackController::showLoading() {
    m_progress = 0;
    m_stopVideoLoadingView = false;
    const unsigned generation = ++m_loadingGeneration;
    emit loadingShown();
    m_scheduler.after(kLoadingStepSeconds, this,
                      [this, generation] { updateLoadingWindow(kLoadingGiveUpSeconds, generation); });
}

void ORBPlaybackController::updateLoadingWindow(double seconds, unsigned generation) {
    if (generation != m_loadingGeneration || m_stopVideoLoadingView) {
        return;
    }
    m_progress += 100.0 / (seconds / kLoadingStepSeconds);
    if (m_progress < 100.0 - 1e-6) {
        emit loadingProgressChanged(m_progress);
        m_scheduler.after(kLoadingStepSeconds, this,
                          [this, seconds, generation] { updateLoadingWindow(seconds, generation); });
        return;
    }
    hideLoading();
}

// A player that has shown no picture in the give-up time has failed, whether it said so or not;
// the other one plays on.
void ORBPlaybackController::giveUpSilentPlayers() {
    for (MediaPlayer* p : {&m_player1, &m_player2}) {
        const MediaPlayer::State state = p->state();
        const bool waiting =
            state == MediaPlayer::Opening ||
            ((state == MediaPlayer::Playing || state == MediaPlayer::Paused) && !p->hasVideoOut());
        if (p->hasMedia() && waiting) {
            p->giveUp(MediaPlayer::NoPicture);
        }
    }
}

void ORBPlaybackController::hideLoading() {
    if (m_stopVideoLoadingView) {
        return;
    }
    m_stopVideoLoadingView = true;
    ++m_loadingGeneration;
    emit loadingHidden();
}
