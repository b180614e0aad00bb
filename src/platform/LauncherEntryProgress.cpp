// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/LauncherEntryProgress.h"

#include <QDBusMessage>
#include <QFile>
#include <QFileInfo>
#include <QVariantMap>

#include <algorithm>

LauncherEntryProgress::LauncherEntryProgress(const QDBusConnection& bus, QString appUri)
    : m_bus(bus), m_appUri(std::move(appUri)) {}

QString LauncherEntryProgress::defaultAppUri() {
    return QStringLiteral("application://nura-viewer.desktop");
}

void LauncherEntryProgress::setProgress(double fraction, bool visible) {
    if (!m_bus.isConnected()) {
        return;
    }
    QDBusMessage signal = QDBusMessage::createSignal(QLatin1String(kObjectPath), QLatin1String(kInterface),
                                                     QStringLiteral("Update"));
    const QVariantMap properties{{QStringLiteral("progress"), std::clamp(fraction, 0.0, 1.0)},
                                 {QStringLiteral("progress-visible"), visible}};
    signal << m_appUri << properties;
    m_bus.send(signal);
}

std::unique_ptr<TaskbarProgress> createSessionTaskbarProgress() {
    // Without a bus address the bus library would start a bus of its own for the display; a desktop
    // with a dock always has one, so no address means no dock to tell.
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    const bool hasBus =
        !qgetenv("DBUS_SESSION_BUS_ADDRESS").isEmpty() ||
        (!runtime.isEmpty() && QFileInfo::exists(QFile::decodeName(runtime).append(QLatin1String("/bus"))));
    if (!hasBus) {
        return std::make_unique<LauncherEntryProgress>(
            QDBusConnection(QStringLiteral("nura-no-session-bus")));
    }
    return std::make_unique<LauncherEntryProgress>(QDBusConnection::sessionBus());
}
