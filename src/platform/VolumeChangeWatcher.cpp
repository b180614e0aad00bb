// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/VolumeChangeWatcher.h"

#include <QDBusMessage>
#include <QStringList>

namespace nura {

namespace {

const QString kService = QStringLiteral("org.freedesktop.UDisks2");
const QString kObjectManager = QStringLiteral("org.freedesktop.DBus.ObjectManager");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kFilesystem = QStringLiteral("org.freedesktop.UDisks2.Filesystem");

} // namespace

VolumeChangeWatcher::VolumeChangeWatcher(QDBusConnection bus, QObject* parent)
    : QObject(parent), m_bus(std::move(bus)) {
    if (!m_bus.isConnected()) {
        return;
    }
    const QString root = QStringLiteral("/org/freedesktop/UDisks2");
    m_bus.connect(kService, root, kObjectManager, QStringLiteral("InterfacesAdded"), this,
                  SLOT(onInterfacesChanged(QDBusMessage)));
    m_bus.connect(kService, root, kObjectManager, QStringLiteral("InterfacesRemoved"), this,
                  SLOT(onInterfacesChanged(QDBusMessage)));
    // Any object's property changes; only those of a file system are passed on.
    m_bus.connect(kService, QString(), kProperties, QStringLiteral("PropertiesChanged"),
                  QStringList{kFilesystem}, QString(), this, SLOT(onPropertiesChanged(QDBusMessage)));
}

void VolumeChangeWatcher::onInterfacesChanged(const QDBusMessage&) {
    emit volumesChanged();
}

void VolumeChangeWatcher::onPropertiesChanged(const QDBusMessage& message) {
    if (!message.arguments().isEmpty() && message.arguments().front().toString() == kFilesystem) {
        emit volumesChanged();
    }
}

} // namespace nura
