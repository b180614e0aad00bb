// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Tells its owner when the disk service's volumes change: a disk plugged in or pulled out
// (InterfacesAdded, InterfacesRemoved) or a file system mounted or unmounted (the MountPoints of
// org.freedesktop.UDisks2.Filesystem). A card appears unmounted and is mounted a moment later, so both
// kinds matter to a list of mounted volumes.

#include <QDBusConnection>
#include <QObject>

namespace nura {

class VolumeChangeWatcher : public QObject {
    Q_OBJECT
public:
    // Watches the service on `bus`; nothing happens when the bus is not connected.
    explicit VolumeChangeWatcher(QDBusConnection bus, QObject* parent = nullptr);

signals:
    void volumesChanged();

private slots:
    void onInterfacesChanged(const QDBusMessage& message);
    void onPropertiesChanged(const QDBusMessage& message);

private:
    QDBusConnection m_bus;
};

} // namespace nura
