// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Volumes through UDisks2 on D-Bus: one GetManagedObjects call per enumeration, read from the Block,
// Filesystem, Partition and Drive interfaces. Without the service (no system bus, no udisksd) every
// enumeration is empty, and a query says so.

#include "platform/VolumeService.h"

#include <QDBusConnection>
#include <QMap>
#include <QVariantMap>

namespace nura {

class UDisks2VolumeService : public VolumeService {
public:
    static constexpr int kCallTimeoutMs = 5000;

    explicit UDisks2VolumeService(QDBusConnection bus);

    std::vector<VolumeDescription> describeMountedVolumes() override;
    std::optional<std::vector<VolumeDescription>> queryMountedVolumes() override;
    std::optional<VolumeDescription> describeVolume(const std::string& objectPath) override;
    QObject* watchChanges(QObject* parent) override;
    QString renameVolume(const TKUSBDiskEntity& disk, const QString& newName) override;

private:
    // Every object of the service with its interfaces and their properties, keyed by object path.
    std::optional<QMap<QString, QMap<QString, QVariantMap>>> managedObjects();

    QDBusConnection m_bus;
};

} // namespace nura
