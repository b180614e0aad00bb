// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/app/ORBMprisBridge.h"

#include "platform/MprisService.h"
#include "ui/app/ORBPlayInfo.h"
#include "ui/app/ORBPlaybackController.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QUrl>

#include <algorithm>
#include <cmath>

ORBMprisBridge::ORBMprisBridge(ORBPlaybackController& playback, ORBPlayInfo& info, Actions actions)
    : m_playback(playback), m_info(info), m_actions(std::move(actions)) {}

void ORBMprisBridge::connectTo(MprisService& service) {
    auto* p = &m_playback;
    QObject::connect(p, &ORBPlaybackController::statusChanged, &service, &MprisService::statusChanged);
    QObject::connect(p, &ORBPlaybackController::stateChanged, &service, &MprisService::capabilitiesChanged);
    QObject::connect(p, &ORBPlaybackController::itemChanged, &service, &MprisService::trackChanged);
    QObject::connect(p, &ORBPlaybackController::speedChanged, &service, &MprisService::rateChanged);
    QObject::connect(p, &ORBPlaybackController::volumeChanged, &service, &MprisService::volumeChanged);
    QObject::connect(p, &ORBPlaybackController::seeked, &service, &MprisService::seeked);
}

MprisPlayerTarget::Status ORBMprisBridge::playbackStatus() const {
    switch (m_playback.status()) {
    case ORBPlaybackStatus::Playing:
        return Status::Playing;
    case ORBPlaybackStatus::Paused:
        return Status::Paused;
    case ORBPlaybackStatus::Stopped:
        break;
    }
    return Status::Stopped;
}

// A track id stays the same for a recording: it names the main file, not a row number.
QString ORBMprisBridge::trackIdNow() const {
    const auto& item = m_playback.item();
    if (!item) {
        return {};
    }
    const QByteArray hash =
        QCryptographicHash::hash(nura::pathBytes(item->mainPath), QCryptographicHash::Sha1).toHex();
    return QStringLiteral("/org/nura/viewer/track/") + QString::fromLatin1(hash.left(16));
}

std::optional<MprisPlayerTarget::Track> ORBMprisBridge::track() const {
    const auto& item = m_playback.item();
    if (!item) {
        return std::nullopt;
    }
    Track track;
    track.trackId = trackIdNow();
    track.lengthUs = std::max<int64_t>(m_playback.recording().length(), 0) * 1000;
    track.url = QStringLiteral("file://") +
                QByteArray::fromStdString(nura::pathBytes(item->mainPath)).toPercentEncoding("/");
    track.title = QFileInfo(item->mainPath).completeBaseName();
    return track;
}

qint64 ORBMprisBridge::positionUs() const {
    return m_playback.item() ? m_playback.recording().time() * 1000 : 0;
}

double ORBMprisBridge::rate() const {
    return m_info.speed();
}

double ORBMprisBridge::minimumRate() const {
    return ORBPlaybackController::kMinSpeed;
}

double ORBMprisBridge::maximumRate() const {
    return ORBPlaybackController::kMaxSpeed;
}

void ORBMprisBridge::setRate(double rate) {
    if (std::isfinite(rate) && rate > 0) {
        m_playback.setSpeed(rate);
    }
}

double ORBMprisBridge::volume() const {
    return m_playback.volume() / 100.0;
}

void ORBMprisBridge::setVolume(double volume) {
    if (std::isfinite(volume)) {
        m_playback.setVolume(static_cast<int>(std::lround(std::clamp(volume, 0.0, 2.0) * 100)));
    }
}

bool ORBMprisBridge::canGoNext() const {
    return m_playback.hasNext();
}

bool ORBMprisBridge::canGoPrevious() const {
    return m_playback.hasPrevious();
}

bool ORBMprisBridge::canPlay() const {
    return m_playback.item().has_value();
}

bool ORBMprisBridge::canPause() const {
    return m_playback.item().has_value();
}

bool ORBMprisBridge::canSeek() const {
    return m_playback.item().has_value() && m_playback.state() != ORBRecordingState::Idle;
}

void ORBMprisBridge::play() {
    m_playback.play();
}

void ORBMprisBridge::pause() {
    m_playback.pause();
}

void ORBMprisBridge::playPause() {
    m_playback.clickPlayButton();
}

void ORBMprisBridge::stop() {
    m_playback.stopPlay(false);
}

void ORBMprisBridge::next() {
    m_playback.playNext();
}

void ORBMprisBridge::previous() {
    m_playback.playPrevious();
}

void ORBMprisBridge::seekBy(qint64 offsetUs) {
    m_playback.seekTo(m_playback.recording().time() + offsetUs / 1000);
}

void ORBMprisBridge::setPosition(const QString& trackId, qint64 positionUs) {
    if (trackId == trackIdNow()) {
        m_playback.seekTo(positionUs / 1000);
    }
}

bool ORBMprisBridge::openUri(const QString& uri) {
    const QUrl url(uri);
    if (!url.isLocalFile() || !m_actions.openRecording) {
        return false;
    }
    return m_actions.openRecording(url.toLocalFile());
}

void ORBMprisBridge::raise() {
    if (m_actions.raise) {
        m_actions.raise();
    }
}

void ORBMprisBridge::quit() {
    if (m_actions.quit) {
        m_actions.quit();
    }
}
