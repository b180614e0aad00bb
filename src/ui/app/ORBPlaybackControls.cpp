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
    if (!m_player1.hasMedia()) {
        return;
    }
    if (m_info.isPlaying()) {
        for (MediaPlayer* p : {&m_player1, &m_player2}) {
            if (isPlaying(*p)) {
                p->pause();
            }
        }
        return;
    }
    if (static_cast<double>(m_player1.position()) >= kSliderEnd) {
        const double slider = m_info.position();
        if (slider >= kSliderEnd) {
            m_player1.setMedia(QString());
            m_player2.setMedia(QString());
            playAtIndex(m_mediaIndex);
            return;
        }
        const auto time = static_cast<int64_t>(slider * static_cast<double>(m_player1.mediaLength()));
        m_player1.setTime(time);
        m_player2.setTime(time);
        later(0.1, [this] {
            m_player1.play();
            if (m_player2.hasMedia()) {
                m_player2.play();
            }
        });
        return;
    }
    m_player1.play();
    if (m_player2.hasMedia()) {
        m_player2.play();
        syncVideoPositionDelay(0.3);
    }
}

void ORBPlaybackController::setAllTimesToEnd() {
    for (MediaPlayer* p : {&m_player1, &m_player2}) {
        if (p->hasMedia()) {
            p->setTime(p->mediaLength());
        }
    }
}

void ORBPlaybackController::videoPositionSliderMoved(double value) {
    value = std::isfinite(value) ? std::clamp(value, 0.0, 1.0) : 0.0;
    nura::logf("[D ] position slider moved:%lf <=> %lf", m_info.position(), value);
    m_info.setPosition(value);
    m_info.setIsPlaying(isPlaying(m_player1));
    if (m_moving || !m_player1.hasMedia()) {
        return;
    }
    if (value >= kSliderEnd) {
        setAllTimesToEnd();
        return;
    }
    m_moving = true;
    m_movingPosition = value;
    m_player1.setPosition(static_cast<float>(value));
    if (m_player2.hasMedia()) {
        m_player2.setTime(static_cast<int64_t>(value * static_cast<double>(m_player1.mediaLength())));
    }
    syncVideoPositionDelay(0.3);
}

void ORBPlaybackController::jumpForward() {
    if (m_moving || !m_player1.hasMedia()) {
        return;
    }
    nura::logf("[D ] _player1.time=%s,remainingTime.stringValue=%s",
               MediaPlayer::timeString(m_player1.time()).toUtf8().constData(),
               MediaPlayer::timeString(m_player1.remainingTime()).toUtf8().constData());
    const int64_t length = m_player1.mediaLength();
    if (m_player1.remainingTime() / 1000 > -10 || length <= 0) {
        setAllTimesToEnd();
        return;
    }
    m_moving = true;
    m_movingPosition =
        static_cast<double>(m_player1.position()) + 10.0 / (static_cast<double>(length) / 1000.0);
    m_info.setPosition(m_movingPosition);
    m_player1.jumpForward(10);
    syncVideoPositionDelay(0.3);
}

void ORBPlaybackController::jumpBackward() {
    if (m_moving || !m_player1.hasMedia()) {
        return;
    }
    const int64_t length = m_player1.mediaLength();
    if (m_player1.time() / 1000 < 10 || length <= 0) {
        m_player1.setTime(0);
        m_player2.setTime(0);
    } else {
        // The position held while the players seek is where the jump lands.
        m_moving = true;
        m_movingPosition = std::max(0.0, static_cast<double>(m_player1.position()) -
                                             10.0 / (static_cast<double>(length) / 1000.0));
        m_info.setPosition(m_movingPosition);
        m_player1.jumpBackward(10);
        syncVideoPositionDelay(0.3);
    }
    updateAudioUI();
}

void ORBPlaybackController::increaseSpeed() {
    if (m_info.speed() + 1.0 > kMaxSpeed) {
        return;
    }
    m_player1.setRate(m_player1.rate() + 1.0f);
    m_player2.setRate(m_player2.rate() + 1.0f);
    m_info.setSpeed(m_info.speed() + 1.0);
}

void ORBPlaybackController::decreaseSpeed() {
    if (m_info.speed() <= 1.0) {
        return;
    }
    m_player1.setRate(m_player1.rate() - 1.0f);
    m_player2.setRate(m_player2.rate() - 1.0f);
    m_info.setSpeed(m_info.speed() - 1.0);
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
    if (m_swapping || !isPlaying(m_player1) || !isPlaying(m_player2)) {
        return false;
    }
    m_swapping = true;
    const int64_t time = m_player1.time();
    m_player1.pause();
    m_player2.pause();
    const QString main = m_player1.media();
    m_player1.setMedia(m_player2.media());
    m_player2.setMedia(main);
    m_player1.play();
    m_player2.play();
    emit swapped(m_player1.isRearMedia());
    m_moving = true;
    m_movingPosition = static_cast<double>(m_player1.position());
    later(0.8, [this, time] {
        m_moving = false;
        m_player1.setTime(time);
        m_player2.setTime(time);
    });
    updateAudioUI(); // both muted while swapping
    later(1.7, [this] {
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
    if (m_waitingForPlayStart) {
        failStart(L("main.play_timeout_fmt").arg(QFileInfo(m_mediaPath).fileName()));
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
