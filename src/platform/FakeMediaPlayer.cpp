// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FakeMediaPlayer.h"

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>

FakeMediaPlayer::FakeMediaPlayer(QObject* parent) : MediaPlayer(parent) {}

void FakeMediaPlayer::changeState(State state) {
    if (m_deferred) {
        if (state != m_state) {
            m_state = state;
            m_pending.append(state);
        }
        return;
    }
    if (m_queued) {
        QMetaObject::invokeMethod(
            this, [this, state] { applyState(state); }, Qt::QueuedConnection);
    } else {
        applyState(state);
    }
}

void FakeMediaPlayer::deliverState() {
    if (m_pending.isEmpty()) {
        return;
    }
    const State state = m_pending.takeFirst();
    if (state != m_reported) {
        m_reported = state;
        emit stateChanged(this);
    }
}

void FakeMediaPlayer::applyState(State state) {
    if (state != Failed) {
        m_failure = NoFailure;
    }
    if (state == m_state) {
        return;
    }
    m_state = state;
    emit stateChanged(this);
}

void FakeMediaPlayer::moveTo(int64_t ms) {
    m_time = std::max<int64_t>(ms, 0);
    if (m_length > 0) {
        m_time = std::min(m_time, m_length);
    }
}

void FakeMediaPlayer::setMedia(const QString& path) {
    m_calls << QStringLiteral("setMedia:") + path;
    m_path = path;
    m_length = path.isEmpty() ? 0 : m_lengths.value(path, m_defaultLength);
    m_time = 0;
    m_pausePending = false;
    m_seekedSinceEnd = false;
    settle(Idle);
}

// A change that is the player's own doing (a new media, a stop, a give-up) holds at once: reports
// still on their way from the engine belong to what came before and are dropped.
void FakeMediaPlayer::settle(State state) {
    if (!m_deferred) {
        changeState(state);
        return;
    }
    m_pending.clear();
    m_state = state;
    if (m_reported != state) {
        m_reported = state;
        emit stateChanged(this);
    }
}

void FakeMediaPlayer::play() {
    m_calls << QStringLiteral("play");
    if (m_path.isEmpty()) {
        return;
    }
    m_pausePending = false;
    switch (m_state) {
    case Paused:
        changeState(Playing);
        return;
    case Playing:
    case Opening:
        return;
    case Ended:
        // Like the real player, a recording played to its end starts again from the beginning.
        if (!m_seekedSinceEnd) {
            m_time = 0;
        }
        m_seekedSinceEnd = false;
        changeState(Playing);
        return;
    case Idle:
    case Failed:
        changeState(m_holdInOpening ? Opening : Playing);
        return;
    }
}

void FakeMediaPlayer::finishOpening() {
    if (m_state != Opening) {
        return;
    }
    const bool pause = m_pausePending;
    m_pausePending = false;
    changeState(pause ? Paused : Playing);
}

void FakeMediaPlayer::pause() {
    m_calls << QStringLiteral("pause");
    if (m_state == Playing) {
        changeState(Paused);
    } else if (m_state == Opening) {
        m_pausePending = true;
    }
}

void FakeMediaPlayer::stop() {
    m_calls << QStringLiteral("stop");
    m_time = 0;
    m_pausePending = false;
    if (!m_path.isEmpty()) {
        settle(Idle);
    }
}

void FakeMediaPlayer::fail(Failure reason) {
    m_failure = reason;
    changeState(Failed);
}

void FakeMediaPlayer::giveUp(Failure reason) {
    m_calls << QStringLiteral("giveUp");
    if (m_path.isEmpty()) {
        return;
    }
    m_failure = reason;
    if (m_deferred) {
        settle(Failed);
    } else {
        applyState(Failed);
    }
}

void FakeMediaPlayer::advance(int64_t ms) {
    if (m_state != Playing) {
        return;
    }
    moveTo(m_time + static_cast<int64_t>(std::llround(static_cast<double>(ms) * m_rate)));
    if (atEnd()) {
        changeState(Ended);
        return;
    }
    emit timeChanged(this);
}

float FakeMediaPlayer::position() const {
    if (m_length <= 0) {
        return 0;
    }
    return static_cast<float>(static_cast<double>(m_time) / static_cast<double>(m_length));
}

void FakeMediaPlayer::setPosition(float position) {
    m_calls << QStringLiteral("setPosition:%1").arg(static_cast<double>(position), 0, 'f', 3);
    if (m_path.isEmpty()) {
        return;
    }
    position = std::isnan(position) ? 0.0f : std::clamp(position, 0.0f, 1.0f);
    moveTo(static_cast<int64_t>(std::llround(static_cast<double>(position) * m_length)));
    m_seekedSinceEnd = m_state == Ended;
}

void FakeMediaPlayer::setTime(int64_t ms) {
    m_calls << QStringLiteral("setTime:%1").arg(ms);
    if (!m_path.isEmpty()) {
        moveTo(ms);
        m_seekedSinceEnd = m_state == Ended;
    }
}

void FakeMediaPlayer::jumpForward(int seconds) {
    m_calls << QStringLiteral("jumpForward:%1").arg(seconds);
    if (!m_path.isEmpty()) {
        moveTo(m_time + static_cast<int64_t>(seconds) * 1000);
    }
}

void FakeMediaPlayer::jumpBackward(int seconds) {
    m_calls << QStringLiteral("jumpBackward:%1").arg(seconds);
    if (!m_path.isEmpty()) {
        moveTo(m_time - static_cast<int64_t>(seconds) * 1000);
    }
}

void FakeMediaPlayer::setRate(float rate) {
    m_calls << QStringLiteral("setRate:%1").arg(static_cast<double>(rate), 0, 'f', 1);
    if (rate > 0.0f && std::isfinite(rate)) {
        m_rate = rate;
    }
}

bool FakeMediaPlayer::hasVideoOut() const {
    return m_pictureAvailable && !m_path.isEmpty() && (m_state == Playing || isHalted());
}

QSize FakeMediaPlayer::videoSize() const {
    return m_path.isEmpty() ? QSize() : m_videoSize;
}

void FakeMediaPlayer::setMute(bool mute) {
    m_calls << QStringLiteral("setMute:%1").arg(mute ? 1 : 0);
    m_muted = mute;
}

void FakeMediaPlayer::setVolume(int volume) {
    m_calls << QStringLiteral("setVolume:%1").arg(volume);
    m_volume = std::clamp(volume, 0, 200);
}

bool FakeMediaPlayer::saveVideoSnapshotAt(const QString& path, int width, int height) {
    m_calls << QStringLiteral("snapshot:%1:%2x%3").arg(path).arg(width).arg(height);
    if (!hasVideoOut() || !m_videoSize.isValid()) {
        return false;
    }
    const QSize size(width > 0 ? width : m_videoSize.width(), height > 0 ? height : m_videoSize.height());
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(Qt::darkGray);
    QPainter(&picture).drawText(picture.rect(), Qt::AlignCenter, QStringLiteral("%1 ms").arg(m_time));
    return picture.save(path, "JPEG");
}

bool FakeMediaPlayer::showFrame(int64_t index) {
    if (!isHalted() || index < 0 || index > lastFrameIndex()) {
        return false;
    }
    m_calls << QStringLiteral("showFrame:%1").arg(index);
    m_time = frameStart(index);
    if (m_state == Ended) {
        changeState(Paused);
    }
    return true;
}
