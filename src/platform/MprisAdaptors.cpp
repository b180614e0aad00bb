// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/MprisAdaptors.h"

#include <QDBusError>
#include <QRegularExpression>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace {

// A track id that is not a valid object path would make the whole reply unsendable.
bool isObjectPath(const QString& path) {
    static const QRegularExpression pattern(QStringLiteral("^/([A-Za-z0-9_]+(/[A-Za-z0-9_]+)*)?$"));
    return pattern.match(path).hasMatch();
}

// Only files on this machine: a host other than this one would name someone else's share.
bool isLocalFileUri(const QString& uri) {
    const QUrl url(uri, QUrl::StrictMode);
    if (!url.isValid() || url.scheme() != QLatin1String("file") || url.path().isEmpty()) {
        return false;
    }
    return url.host().isEmpty() || url.host() == QLatin1String("localhost");
}

} // namespace

MprisRootAdaptor::MprisRootAdaptor(QObject* service, MprisPlayerTarget& target)
    : QDBusAbstractAdaptor(service), m_target(target) {}

QString MprisRootAdaptor::identity() const {
    return QStringLiteral("Nura Viewer");
}

QString MprisRootAdaptor::desktopEntry() const {
    return QStringLiteral("nura-viewer");
}

QStringList MprisRootAdaptor::supportedUriSchemes() const {
    return {QStringLiteral("file")};
}

QStringList MprisRootAdaptor::supportedMimeTypes() const {
    return {QStringLiteral("video/mp4")};
}

void MprisRootAdaptor::Raise() {
    m_target.raise();
}

void MprisRootAdaptor::Quit() {
    // Queued: quitting waits for the players to wind down and takes this service with it; the caller
    // gets its reply first.
    QMetaObject::invokeMethod(
        this, [this] { m_target.quit(); }, Qt::QueuedConnection);
}

MprisPlayerAdaptor::MprisPlayerAdaptor(QObject* service, MprisPlayerTarget& target,
                                       const QDBusConnection& bus)
    : QDBusAbstractAdaptor(service), m_target(target), m_bus(bus) {}

QString MprisPlayerAdaptor::playbackStatus() const {
    switch (m_target.playbackStatus()) {
    case MprisPlayerTarget::Status::Playing:
        return QStringLiteral("Playing");
    case MprisPlayerTarget::Status::Paused:
        return QStringLiteral("Paused");
    case MprisPlayerTarget::Status::Stopped:
        break;
    }
    return QStringLiteral("Stopped");
}

void MprisPlayerAdaptor::setRate(double rate) {
    if (!std::isfinite(rate)) {
        return;
    }
    // A rate of zero means a pause to the desktop; the players have no such speed.
    if (rate <= 0.0) {
        if (m_target.canPause()) {
            m_target.pause();
        }
        return;
    }
    m_target.setRate(rate);
}

QVariantMap MprisPlayerAdaptor::metadata() const {
    const std::optional<MprisPlayerTarget::Track> track = m_target.track();
    if (!track || !isObjectPath(track->trackId)) {
        return {};
    }
    QVariantMap map{{QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(track->trackId))}};
    if (track->lengthUs > 0) {
        map.insert(QStringLiteral("mpris:length"), QVariant::fromValue(qint64(track->lengthUs)));
    }
    if (!track->url.isEmpty()) {
        map.insert(QStringLiteral("xesam:url"), track->url);
    }
    if (!track->title.isEmpty()) {
        map.insert(QStringLiteral("xesam:title"), track->title);
    }
    return map;
}

void MprisPlayerAdaptor::setVolume(double volume) {
    if (!std::isfinite(volume)) {
        return;
    }
    m_target.setVolume(std::clamp(volume, 0.0, 2.0));
}

QVariantMap MprisPlayerAdaptor::announcedProperties() const {
    return {
        {QStringLiteral("PlaybackStatus"), playbackStatus()},
        {QStringLiteral("Rate"), rate()},
        {QStringLiteral("Metadata"), metadata()},
        {QStringLiteral("Volume"), volume()},
        {QStringLiteral("MinimumRate"), minimumRate()},
        {QStringLiteral("MaximumRate"), maximumRate()},
        {QStringLiteral("CanGoNext"), canGoNext()},
        {QStringLiteral("CanGoPrevious"), canGoPrevious()},
        {QStringLiteral("CanPlay"), canPlay()},
        {QStringLiteral("CanPause"), canPause()},
        {QStringLiteral("CanSeek"), canSeek()},
        {QStringLiteral("CanControl"), canControl()},
    };
}

// A method that the player cannot do right now does nothing, as the Can* properties told the caller.

void MprisPlayerAdaptor::Play() {
    if (m_target.canPlay()) {
        m_target.play();
    }
}

void MprisPlayerAdaptor::Pause() {
    if (m_target.canPause()) {
        m_target.pause();
    }
}

void MprisPlayerAdaptor::PlayPause() {
    if (m_target.canPause() || m_target.canPlay()) {
        m_target.playPause();
    }
}

void MprisPlayerAdaptor::Stop() {
    m_target.stop();
}

void MprisPlayerAdaptor::Next() {
    if (m_target.canGoNext()) {
        m_target.next();
    }
}

void MprisPlayerAdaptor::Previous() {
    if (m_target.canGoPrevious()) {
        m_target.previous();
    }
}

void MprisPlayerAdaptor::Seek(qlonglong Offset) {
    if (m_target.canSeek()) {
        m_target.seekBy(Offset);
    }
}

void MprisPlayerAdaptor::SetPosition(const QDBusObjectPath& TrackId, qlonglong Position) {
    // A position for a track that has meanwhile been replaced is stale: ignore it, as one out of range.
    const std::optional<MprisPlayerTarget::Track> track = m_target.track();
    if (!m_target.canSeek() || !track || TrackId.path() != track->trackId || Position < 0 ||
        (track->lengthUs > 0 && Position > track->lengthUs)) {
        return;
    }
    m_target.setPosition(track->trackId, Position);
}

void MprisPlayerAdaptor::OpenUri(const QString& Uri, const QDBusMessage& message) {
    if (!isLocalFileUri(Uri)) {
        message.setDelayedReply(true);
        m_bus.send(message.createErrorReply(QDBusError::NotSupported,
                                            QStringLiteral("Only local file:// URIs can be opened")));
        return;
    }
    if (!m_target.openUri(Uri)) {
        message.setDelayedReply(true);
        m_bus.send(
            message.createErrorReply(QDBusError::InvalidArgs, QStringLiteral("Cannot open %1").arg(Uri)));
    }
}
