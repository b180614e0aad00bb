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
    auto* s = &service;
    // Told once the call that made the change is over: a join that comes up paused, or a start that
    // supersedes another, passes through states that are no news to the desktop.
    const auto queued = Qt::QueuedConnection;
    QObject::connect(p, &ORBPlaybackController::statusChanged, s, &MprisService::statusChanged, queued);
    QObject::connect(p, &ORBPlaybackController::stateChanged, s, &MprisService::capabilitiesChanged, queued);
    QObject::connect(p, &ORBPlaybackController::itemChanged, s, &MprisService::trackChanged, queued);
    // Drive mode makes the drive the track; its neighbours decide Next and Previous.
    QObject::connect(p, &ORBPlaybackController::driveModeChanged, s, &MprisService::trackChanged, queued);
    QObject::connect(p, &ORBPlaybackController::speedChanged, s, &MprisService::rateChanged, queued);
    QObject::connect(p, &ORBPlaybackController::volumeChanged, s, &MprisService::volumeChanged, queued);
    QObject::connect(p, &ORBPlaybackController::seeked, s, &MprisService::seeked, queued);
    // A file's length is known only once its player has read it, which may be after playback began
    // (the other file of the pair failing first, for one): a report that shows another length has
    // the service compare again. A new track or mode starts the comparison afresh.
    const auto forgetLength = [this] { m_lengthUsSeen = -1; };
    QObject::connect(p, &ORBPlaybackController::itemChanged, s, forgetLength);
    QObject::connect(p, &ORBPlaybackController::driveModeChanged, s, forgetLength);
    QObject::connect(&m_playback.recording(), &ORBRecordingPlayer::playersReported, s, [this, s] {
        if (const qint64 now = lengthUs(); now != m_lengthUsSeen) {
            m_lengthUsSeen = now;
            QMetaObject::invokeMethod(s, &MprisService::trackChanged, Qt::QueuedConnection);
        }
    });
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

// A track id stays the same for a recording: it names its front file (else its rear), not a row
// number and not the file in the main view, so a swap is no new track. In drive mode the track is
// the drive, named by its first recording, and a join plays on within it.
QString ORBMprisBridge::trackIdNow() const {
    const auto& item = m_playback.item();
    if (!item) {
        return {};
    }
    const ORBDrivePlayback& drive = m_playback.drivePlayback();
    const bool wholeDrive = m_playback.driveModeActive();
    const QString named = wholeDrive ? drive.itemOf(0, true).telemetryPath() : item->telemetryPath();
    const QByteArray hash =
        QCryptographicHash::hash(nura::pathBytes(named), QCryptographicHash::Sha1).toHex();
    return (wholeDrive ? QStringLiteral("/org/nura/viewer/drive/")
                       : QStringLiteral("/org/nura/viewer/track/")) +
           QString::fromLatin1(hash.left(16));
}

std::optional<MprisPlayerTarget::Track> ORBMprisBridge::track() const {
    const auto& item = m_playback.item();
    if (!item) {
        return std::nullopt;
    }
    Track track;
    track.trackId = trackIdNow();
    track.lengthUs = lengthUs();
    track.url = QStringLiteral("file://") +
                QByteArray::fromStdString(nura::pathBytes(item->mainPath)).toPercentEncoding("/");
    // The recording now playing, whichever camera is in the main view.
    track.title = QFileInfo(item->telemetryPath()).completeBaseName();
    return track;
}

qint64 ORBMprisBridge::lengthUs() const {
    if (!m_playback.item()) {
        return 0;
    }
    const int64_t ms = m_playback.driveModeActive() ? m_playback.drivePlayback().drive()->lengthMs()
                                                    : m_playback.recording().length();
    return std::max<int64_t>(ms, 0) * 1000;
}

int64_t ORBMprisBridge::timeMs() const {
    const int64_t ms = m_playback.recording().time();
    return m_playback.driveModeActive() ? m_playback.drivePlayback().driveTime(ms) : ms;
}

void ORBMprisBridge::seekToMs(int64_t ms) {
    if (m_playback.driveModeActive()) {
        m_playback.seekDriveTo(std::max<int64_t>(ms, 0));
    } else {
        m_playback.seekTo(ms);
    }
}

qint64 ORBMprisBridge::positionUs() const {
    return m_playback.item() ? timeMs() * 1000 : 0;
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
    seekToMs(timeMs() + offsetUs / 1000);
}

void ORBMprisBridge::setPosition(const QString& trackId, qint64 positionUs) {
    if (trackId == trackIdNow()) {
        seekToMs(positionUs / 1000);
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
