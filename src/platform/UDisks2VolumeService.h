#pragma once
// Volumes through UDisks2 on D-Bus: one GetManagedObjects call per enumeration, read from the Block,
// Filesystem, Partition and Drive interfaces. Without the service (no system bus, no udisksd) every
// enumeration is empty, and a query says so.

#include "platform/VolumeService.h"

#include <QDBusConnection>

namespace nura {

class UDisks2VolumeService : public VolumeService {
public:
    static constexpr int kCallTimeoutMs = 5000;

    explicit UDisks2VolumeService(QDBusConnection bus);

    std::vector<VolumeDescription> describeMountedVolumes() override;
    std::optional<std::vector<VolumeDescription>> queryMountedVolumes() override;
    QString renameVolume(const TKUSBDiskEntity& disk, const QString& newName) override;

private:
    QDBusConnection m_bus;
};

} // namespace nura
