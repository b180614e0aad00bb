// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/MprisService.h"

#include "platform/MprisAdaptors.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

MprisService::MprisService(MprisPlayerTarget& target, const QDBusConnection& bus, QObject* parent)
    : QObject(parent), m_target(target), m_bus(bus) {
    if (!m_bus.isConnected()) {
        return;
    }
    new MprisRootAdaptor(this, m_target);
    m_player = new MprisPlayerAdaptor(this, m_target, m_bus);
    // The object first, so that whoever sees the name appear finds the player behind it.
    if (!m_bus.registerObject(QLatin1String(kObjectPath), this, QDBusConnection::ExportAdaptors)) {
        return;
    }
    const QString name = QLatin1String(kServiceName);
    const QString instanceName = name + QStringLiteral(".instance%1").arg(QCoreApplication::applicationPid());
    for (const QString& candidate : {name, instanceName}) {
        if (m_bus.registerService(candidate)) {
            m_serviceName = candidate;
            break;
        }
    }
    if (m_serviceName.isEmpty()) {
        m_bus.unregisterObject(QLatin1String(kObjectPath));
        return;
    }
    m_announced = m_player->announcedProperties();
}

MprisService::~MprisService() {
    if (registered()) {
        m_bus.unregisterService(m_serviceName);
        m_bus.unregisterObject(QLatin1String(kObjectPath));
    }
}

void MprisService::seeked() {
    if (registered()) {
        emit m_player->Seeked(m_target.positionUs());
    }
}

void MprisService::announceChanges() {
    if (!registered()) {
        return;
    }
    const QVariantMap now = m_player->announcedProperties();
    QVariantMap changed;
    for (auto it = now.constBegin(); it != now.constEnd(); ++it) {
        if (m_announced.value(it.key()) != it.value()) {
            changed.insert(it.key(), it.value());
        }
    }
    m_announced = now;
    if (changed.isEmpty()) {
        return;
    }
    // Qt's adaptors do not send the standard change signal themselves.
    QDBusMessage signal = QDBusMessage::createSignal(QLatin1String(kObjectPath),
                                                     QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << QStringLiteral("org.mpris.MediaPlayer2.Player") << changed << QStringList();
    m_bus.send(signal);
}

std::unique_ptr<MprisService> createSessionMprisService(MprisPlayerTarget& target) {
    // Without a bus address the bus library would start a bus of its own for the display; a desktop
    // with media keys always has one, so no address means nobody to serve.
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    const bool hasBus =
        !qgetenv("DBUS_SESSION_BUS_ADDRESS").isEmpty() ||
        (!runtime.isEmpty() && QFileInfo::exists(QFile::decodeName(runtime).append(QLatin1String("/bus"))));
    if (!hasBus) {
        return std::make_unique<MprisService>(target, QDBusConnection(QStringLiteral("nura-no-session-bus")));
    }
    return std::make_unique<MprisService>(target, QDBusConnection::sessionBus());
}
