// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Media keys, desktop media widgets and scripts (playerctl) reach playback through the desktop's
// media-player protocol on the session bus: the name org.mpris.MediaPlayer2.nura_viewer (a second
// instance takes ….nura_viewer.instance<pid>) with the object /org/mpris/MediaPlayer2. Without a bus,
// or with both names taken, it does nothing and says so only through registered().

#include "platform/MprisPlayerTarget.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <memory>

class MprisPlayerAdaptor;

class MprisService : public QObject {
    Q_OBJECT

public:
    static constexpr const char* kServiceName = "org.mpris.MediaPlayer2.nura_viewer";
    static constexpr const char* kObjectPath = "/org/mpris/MediaPlayer2";

    // `target` must outlive the service.
    MprisService(MprisPlayerTarget& target, const QDBusConnection& bus, QObject* parent = nullptr);
    ~MprisService() override;

    bool registered() const { return !m_serviceName.isEmpty(); }
    // The bus name taken; empty when not registered.
    QString serviceName() const { return m_serviceName; }

public slots:
    // Playback tells of its changes through these; each announces the properties whose values differ
    // from what was last announced, whatever slot was called.
    void statusChanged() { announceChanges(); }
    void trackChanged() { announceChanges(); }
    void rateChanged() { announceChanges(); }
    void volumeChanged() { announceChanges(); }
    void capabilitiesChanged() { announceChanges(); }
    // After every seek, with the target's position now.
    void seeked();

private:
    void announceChanges();

    MprisPlayerTarget& m_target;
    QDBusConnection m_bus;
    MprisPlayerAdaptor* m_player = nullptr;
    QString m_serviceName;
    QVariantMap m_announced;
};

// On the session bus of the user's desktop; silent without one.
std::unique_ptr<MprisService> createSessionMprisService(MprisPlayerTarget& target);
