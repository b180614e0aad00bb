// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The two bus interfaces of the desktop's media-player protocol, as Qt adaptors over MprisPlayerTarget:
// the root (who the player is) and the player (what plays and how to drive it). Their properties are
// read from the target at each call; MprisService announces the changes.

#include "platform/MprisPlayerTarget.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QStringList>
#include <QVariantMap>

class MprisRootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ canQuit)
    Q_PROPERTY(bool CanRaise READ canRaise)
    Q_PROPERTY(bool HasTrackList READ hasTrackList)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ supportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ supportedMimeTypes)

public:
    MprisRootAdaptor(QObject* service, MprisPlayerTarget& target);

    bool canQuit() const { return true; }
    bool canRaise() const { return true; }
    bool hasTrackList() const { return false; }
    QString identity() const;
    QString desktopEntry() const;
    QStringList supportedUriSchemes() const;
    QStringList supportedMimeTypes() const;

public slots:
    void Raise();
    void Quit();

private:
    MprisPlayerTarget& m_target;
};

class MprisPlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(double Rate READ rate WRITE setRate)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Volume READ volume WRITE setVolume)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(double MinimumRate READ minimumRate)
    Q_PROPERTY(double MaximumRate READ maximumRate)
    Q_PROPERTY(bool CanGoNext READ canGoNext)
    Q_PROPERTY(bool CanGoPrevious READ canGoPrevious)
    Q_PROPERTY(bool CanPlay READ canPlay)
    Q_PROPERTY(bool CanPause READ canPause)
    Q_PROPERTY(bool CanSeek READ canSeek)
    Q_PROPERTY(bool CanControl READ canControl)

public:
    MprisPlayerAdaptor(QObject* service, MprisPlayerTarget& target, const QDBusConnection& bus);

    QString playbackStatus() const;
    double rate() const { return m_target.rate(); }
    void setRate(double rate);
    QVariantMap metadata() const;
    double volume() const { return m_target.volume(); }
    void setVolume(double volume);
    qlonglong position() const { return m_target.positionUs(); }
    double minimumRate() const { return m_target.minimumRate(); }
    double maximumRate() const { return m_target.maximumRate(); }
    bool canGoNext() const { return m_target.canGoNext(); }
    bool canGoPrevious() const { return m_target.canGoPrevious(); }
    bool canPlay() const { return m_target.canPlay(); }
    bool canPause() const { return m_target.canPause(); }
    bool canSeek() const { return m_target.canSeek(); }
    bool canControl() const { return true; }

    // The properties whose changes are announced (all but Position), by their bus names.
    QVariantMap announcedProperties() const;

public slots:
    void Play();
    void Pause();
    void PlayPause();
    void Stop();
    void Next();
    void Previous();
    void Seek(qlonglong Offset);
    void SetPosition(const QDBusObjectPath& TrackId, qlonglong Position);
    void OpenUri(const QString& Uri, const QDBusMessage& message);

signals:
    void Seeked(qlonglong Position);

private:
    MprisPlayerTarget& m_target;
    QDBusConnection m_bus;
};
